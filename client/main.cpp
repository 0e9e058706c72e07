#include <iostream>

#include "client/client_app.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  cellforge::platform::keepFreedMemory();
  auto self = cellforge::platform::programPath();
  if (!self) {
    cellforge::platform::showMessage(std::cerr, "client", self.message());
    return 1;
  }
  return cellforge::runClient(std::vector<std::string>(argv + 1, argv + argc), *self, std::cout,
                              std::cerr);
}
