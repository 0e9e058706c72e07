#include "foundation/default_settings.h"

#include <cstdio>

#include "foundation/stream.h"
#include "platform/platform.h"

namespace cellforge {

std::string defaultSettingsText(const Settings& s) {
  char percent[64];
  std::snprintf(percent, sizeof percent, "%f", static_cast<double>(s.percent_to_fill));
  const std::string lines[] = {
      "; This INI file is utilized by Server.EXE, Client.EXE and Joinery.EXE",
      "; It is highly recommended that prior to editing this file, you first",
      "; create a backup.",
      ";",
      "[globals]",
      ";",
      "; The template directory specifies where the template files will be written.",
      "template_directory=" + s.template_directory,
      ";",
      "; The source directory specifies the location of the prefab foundry.",
      "source_directory=" + s.source_directory,
      ";",
      "; The target directory specifies where the map files will be written.",
      "; It is highly recommended that this be set to C:\\Quake2\\baseq2\\maps.",
      "; Of course you should ensure that this corresponds to your machine's",
      "; current configuration.",
      "target_directory=" + s.target_directory,
      ";",
      "; The game type will be used in the future to provide compatibility with",
      "; Quake I and possibly Hexen2 and other 3d games.",
      "; 2= Quake2, which is currently the only game being supported.",
      "game_type=" + std::to_string(s.game_type),
      ";",
      "; The client path is actually the location of the Client.EXE application",
      "; distributed with the current release of the Cellforge generator.",
      "client_path=" + s.client_path,
      ";",
      "; This variable sets the location of the Quake I utility QBSP.EXE",
      "quake_i_qbsp=" + s.quake_i_qbsp,
      ";",
      "; This variable sets the location of the Quake I utility LIGHT.EXE",
      "quake_i_light=" + s.quake_i_light,
      ";",
      "; This variable sets the location of the Quake I utility VIS.EXE",
      "quake_i_vis=" + s.quake_i_vis,
      ";",
      "; This variable sets the location of the Quake II utility QBSP3.EXE",
      "quake_ii_qbsp=" + s.quake_ii_qbsp,
      ";",
      "; This variable sets the location of the Quake II utility QVIS3.EXE",
      "quake_ii_vis=" + s.quake_ii_vis,
      ";",
      "; This variable sets the location of the Quake II utility QRAD3.EXE",
      "quake_ii_light=" + s.quake_ii_light,
      ";",
      "; This next set of variables set the bounding box of the resulting .MAP file",
      "; It is highly recommended for this current release that you not exceed 10x10x2",
      "; Also do not go below 3x3x2.",
      "[template_settings]",
      "x=4",
      "y=4",
      "z=2",
      "; This next line sets the target percentage with which to fill the bouding box",
      "; of the resulting .MAP file.",
      "; It is highly recommended that you not exceed 0.75.",
      std::string("percent_to_fill=") + percent,
  };
  std::string out;
  for (const std::string& line : lines) TextStream::writeLine(out, line);
  return out;
}

Status writeDefaultSettingsFile(Settings& settings) {
  // Defaults only: whatever the old file held has no say in the new one.
  readSettings(settings, IniFile{});
  return platform::replaceFile(settings.ini_path, defaultSettingsText(settings));
}

}  // namespace cellforge
