#include "server/tool_chain.h"

#include <algorithm>
#include <cctype>
#include <ostream>

#include "platform/platform.h"

namespace cellforge {

namespace {

Error couldntExecute(const std::string& program) {
  return Error::couldNotRun("Couldn't execute " + program);
}

bool failed(const platform::ExitStatus& status) {
  return status.signalled || status.timedOut || status.code != 0;
}

bool containsNoCase(std::string_view text, std::string_view word) {
  auto lower = [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  };
  return std::search(text.begin(), text.end(), word.begin(), word.end(),
                     [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

}  // namespace

std::vector<ToolStep> compileSteps(const Settings& s) {
  if (s.game() == Game::quake)
    return {{"map compiler", s.quake_i_qbsp, "sample.map"},
            {"light tool", s.quake_i_light, "sample"},
            {"visibility tool", s.quake_i_vis, "sample.bsp"}};
  return {{"map compiler", s.quake_ii_qbsp, "sample.map"},
          {"visibility tool", s.quake_ii_vis, "sample.bsp"},
          {"light tool", s.quake_ii_light, "sample"}};
}

std::string leakFileName(const Settings& settings) {
  return settings.game() == Game::quake ? "sample.pts" : "sample.lin";
}

Status runToolChain(const Settings& settings, const ToolChainOptions& options, std::ostream& out) {
  out << "client: " << settings.client_path << '\n' << std::flush;
  std::vector<std::string> clientCommand{settings.client_path};
  clientCommand.insert(clientCommand.end(), options.clientArguments.begin(),
                       options.clientArguments.end());
  auto client = platform::runProgram(clientCommand, "", options.clientTimeoutSeconds,
                                     platform::Window::kHidden);
  if (!client) return couldntExecute(settings.client_path);
  if (client->timedOut)
    return fail(settings.client_path + " ran longer than " +
                std::to_string(options.clientTimeoutSeconds) +
                " s and was stopped; no compile tool was run");
  if (failed(*client))
    return fail(settings.client_path + " " + platform::describeExit(*client) +
                "; no compile tool was run");
  if (options.afterClient)
    if (Status s = options.afterClient(); !s) return s;
  if (!options.compile) return success();

  // A leak file from an earlier run must not be taken for one of this run.
  const std::string leak = settings.target_directory + leakFileName(settings);
  if (Status s = platform::deleteFile(leak); !s) return s;

  const std::vector<ToolStep> steps = compileSteps(settings);
  for (size_t i = 0; i < steps.size(); ++i) {
    const ToolStep& step = steps[i];
    out << step.label << ": " << step.program << ' ' << step.argument << '\n' << std::flush;
    auto ran = platform::runProgram({step.program, step.argument}, settings.target_directory);
    if (!ran) return couldntExecute(step.program);
    if (failed(*ran)) {
      if (i == 0 && settings.game() == Game::quake2 &&
          !containsNoCase(settings.target_directory, "quake2"))
        out << "hint: qbsp3 finds the game folder by a \"quake2\" folder in the map's path, and "
               "target_directory "
            << settings.target_directory << " has none\n";
      return fail(step.label + " " + step.program + " " + platform::describeExit(*ran));
    }
    // The map compiler reports a leak only by this file; the tools after it
    // would fail or build a broken level.
    if (i == 0 && platform::exists(leak))
      return fail(leak + ": the map leaked (an opening leads out into the void); " +
                  steps[1].label + " and " + steps[2].label + " were not run");
  }
  return success();
}

}  // namespace cellforge
