// Stands in for client and the compile tools in tests. Appends one line to
// "calls.log" beside its program file:
//   <program name> <arguments...> | <working folder>
// (the name without ".exe"), then follows "<program name>.do" beside it when
// there is one, a line each:
//   touch NAME   create NAME in the working folder
//   check PATH   log "  PATH present" or "  PATH absent" (from the working folder)
//   sleep N      wait N seconds
//   exit N       end with status N (read unsigned, so Windows exception
//                codes such as 3221225477 can be given)
//   signal N     end by signal N
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  const std::string self = argv[0];
  const size_t slash = self.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : self.substr(0, slash + 1);
  std::string name = self.substr(slash + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
    name.resize(name.size() - 4);
  {
    // Binary, so the log reads the same on every system.
    std::ofstream log(folder + "calls.log", std::ios::app | std::ios::binary);
    log << name;
    for (int i = 1; i < argc; ++i) log << ' ' << argv[i];
    log << " | " << std::filesystem::current_path().string() << '\n';
  }
  std::ifstream script(folder + name + ".do");
  std::string verb, value;
  while (script >> verb >> value) {
    if (verb == "touch") std::ofstream(value) << "stand-in\n";
    if (verb == "check")
      std::ofstream(folder + "calls.log", std::ios::app | std::ios::binary)
          << "  " << value << (std::filesystem::exists(value) ? " present" : " absent") << '\n';
    if (verb == "sleep") std::this_thread::sleep_for(std::chrono::seconds(std::stoi(value)));
    if (verb == "exit") return static_cast<int>(std::stoul(value));
    if (verb == "signal") std::raise(std::stoi(value));
  }
  return 0;
}
