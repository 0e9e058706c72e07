#include <iostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "template_tool/template_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  auto self = cellforge::platform::programPath();
  return cellforge::runTemplateTool(args, self ? *self : std::string(argv[0]), std::cout,
                                    std::cerr);
}
