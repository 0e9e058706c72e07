#include "tests/test_support.h"

namespace cellforge::test {

// Windows has no root that ignores the read-only attribute.
bool folderPermissionsApply() { return false; }

bool runningAsRoot() { return false; }

int asUnprivilegedUser(const std::function<int()>& body) { return body(); }

}  // namespace cellforge::test
