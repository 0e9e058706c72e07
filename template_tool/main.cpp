#include <iostream>
#include <string>
#include <vector>

#include "template_tool/template_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return cellforge::runTemplateTool(args, std::cout, std::cerr);
}
