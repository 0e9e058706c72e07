#include "client/client_app.h"

#include <ostream>

#include "platform/platform.h"

namespace cellforge {

int runClient(const std::vector<std::string>& args, const std::string& /*programPath*/,
              std::ostream& out, std::ostream& err) {
  for (const auto& a : args) {
    if (a == "--version") {
      out << "client (Cellforge) " << CELLFORGE_VERSION << '\n';
      return 0;
    }
  }
  platform::showMessage(err, "client", "the map builder is not built yet");
  return 1;
}

}  // namespace cellforge
