#pragma once

#include <string>
#include <vector>

#include "template_tool/kit_check.h"

namespace cellforge {

struct KitFile {
  std::string name;   // file name inside the kit folder
  std::string bytes;  // .mmd bytes or piece text
};

// The bundled kit for a game (Quake II for maps/S2, Quake for maps/S1):
// every template's .mmd and its piece text, in file-name order.
std::vector<KitFile> generateKit(Game game);

}  // namespace cellforge
