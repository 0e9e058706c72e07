// Stands in for client and the compile tools in tests. Appends one line to
// "calls.log" beside its program file:
//   <program name> <arguments...> | <working folder>
// then follows "<program file>.do" when there is one, a line each:
//   touch NAME   create NAME in the working folder
//   exit N       end with status N
//   signal N     end by signal N
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  const std::string self = argv[0];
  const size_t slash = self.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : self.substr(0, slash + 1);
  char cwd[4096] = {};
  if (::getcwd(cwd, sizeof cwd) == nullptr) return 100;
  {
    std::ofstream log(folder + "calls.log", std::ios::app);
    log << self.substr(slash + 1);
    for (int i = 1; i < argc; ++i) log << ' ' << argv[i];
    log << " | " << cwd << '\n';
  }
  std::ifstream script(self + ".do");
  std::string verb, value;
  while (script >> verb >> value) {
    if (verb == "touch") std::ofstream(value) << "stand-in\n";
    if (verb == "exit") return std::stoi(value);
    if (verb == "signal") std::raise(std::stoi(value));
  }
  return 0;
}
