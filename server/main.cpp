#include <iostream>

#include "platform/platform.h"
#include "server/server_app.h"

int main(int argc, char** argv) {
  auto self = cellforge::platform::programPath();
  if (!self) {
    cellforge::platform::showMessage(std::cerr, "server", self.message());
    return 1;
  }
  return cellforge::runServer(std::vector<std::string>(argv + 1, argv + argc), *self, std::cout,
                              std::cerr);
}
