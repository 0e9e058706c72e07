#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cellforge {

// One run of `cellforge-template`; `args` without the program name.
// Returns the exit status: 0 success, 1 failure, 2 usage.
int runTemplateTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cellforge
