#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "foundation/settings.h"
#include "platform/result.h"

namespace cellforge {

// One compile step: the program and the one argument it is given.
struct ToolStep {
  std::string label;  // "map compiler", "visibility tool", "light tool"
  std::string program;
  std::string argument;
};

// The three compile steps in the order of the game: Quake runs the map
// compiler, light, then vis; Quake II the map compiler, vis, then light.
std::vector<ToolStep> compileSteps(const Settings& settings);

// The file the map compiler leaves in the target folder when the map leaks.
std::string leakFileName(const Settings& settings);

struct ToolChainOptions {
  bool compile = true;  // false: run client only
  // client builds a map in well under a second; one still running after
  // this long is stuck and is stopped. The compile tools have no limit: vis
  // on a large map may rightly take hours.
  unsigned clientTimeoutSeconds = 600;
  // Runs once client has succeeded, before any compile tool; an error stops
  // the chain there.
  std::function<Status()> afterClient;
  // Given to client after its path.
  std::vector<std::string> clientArguments;
};

// Runs client (and waits for it, since the map compiler reads what it
// writes), then the compile tools in target_directory, one after the other.
// Stops at the first program that cannot be started (an error of kind
// couldNotRun, "Couldn't execute <program>"), fails, or at a leak.
// Each stage gets a line on `out`; the tools' own output passes through.
Status runToolChain(const Settings& settings, const ToolChainOptions& options, std::ostream& out);

}  // namespace cellforge
