#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/test_support.h"

namespace cellforge::test {

bool folderPermissionsApply() { return true; }

// SIGKILL, which no sanitizer's handler can catch and turn into an exit.
Crash crashScript() { return {"signal 9\n", "was killed by signal 9"}; }

bool runningAsRoot() { return ::geteuid() == 0; }

int asUnprivilegedUser(const std::function<int()>& body) {
  if (!runningAsRoot()) return body();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(125);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 126;
}

}  // namespace cellforge::test
