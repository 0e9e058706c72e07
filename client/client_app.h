#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cellforge {

// One whole run of `client`. Returns the exit status.
int runClient(const std::vector<std::string>& args, const std::string& programPath,
              std::ostream& out, std::ostream& err);

}  // namespace cellforge
