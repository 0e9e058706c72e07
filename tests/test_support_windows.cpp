#include "tests/test_support.h"

namespace cellforge::test {

// Windows has no root that ignores the read-only attribute.
bool folderPermissionsApply() { return false; }

// 0xC0000005, an access violation, as a crashed program's exit code.
Crash crashScript() { return {"exit 3221225477\n", "crashed with exception 0xC0000005"}; }

bool runningAsRoot() { return false; }

int asUnprivilegedUser(const std::function<int()>& body) { return body(); }

}  // namespace cellforge::test
