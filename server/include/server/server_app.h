#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cellforge {

// One whole run of `server`: `args` without the program name,
// `programPath` the program file (its folder holds Cellforge.INI).
// Returns the exit status: 0 success, 1 failure, 2 usage.
int runServer(const std::vector<std::string>& args, const std::string& programPath,
              std::ostream& out, std::ostream& err);

}  // namespace cellforge
