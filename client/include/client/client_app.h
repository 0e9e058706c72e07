#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cellforge {

// One whole run of `client`: reads the layout and writes the map. Returns
// the exit status (0 success, 1 failure, 2 usage).
int runClient(const std::vector<std::string>& args, const std::string& programPath,
              std::ostream& out, std::ostream& err);

}  // namespace cellforge
