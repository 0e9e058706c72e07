#include <algorithm>
#include <ostream>

#include "platform/platform.h"
#include "platform/temp_files.h"

namespace cellforge::platform {

namespace {
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

Status replaceFile(const std::string& path, std::string_view bytes) {
  auto file = FileReplacement::begin(path);
  if (!file) return file.error();
  if (Status s = file->write(bytes); !s) return s;
  return file->commit();
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  // Iterative match with backtracking to the last star: linear for the
  // patterns we use, no recursion on hostile names.
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || upper(pattern[p]) == upper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool folderOrderLess(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const auto ua = static_cast<unsigned char>(upper(a[i]));
    const auto ub = static_cast<unsigned char>(upper(b[i]));
    if (ua != ub) return ua < ub;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;  // std::string_view compares as unsigned char
}

void showMessage(std::ostream& err, std::string_view program, std::string_view text) {
  err << program << ": " << text << '\n' << std::flush;
}

std::string tempFileName(const std::string& path, uint64_t pid, unsigned n) {
  return path + "." + std::to_string(pid) + "-" + std::to_string(n) + ".tmp";
}

uint64_t tempFileWriter(std::string_view name, std::string_view fileName) {
  auto digits = [&](size_t& at) {
    const size_t start = at;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
    return at > start && at - start <= 10;
  };
  if (!name.starts_with(fileName) || name.size() <= fileName.size() ||
      name[fileName.size()] != '.' || !name.ends_with(".tmp"))
    return 0;
  size_t at = fileName.size() + 1;
  const size_t pidStart = at;
  if (!digits(at) || at >= name.size() || name[at] != '-') return 0;
  const std::string_view pid = name.substr(pidStart, at - pidStart);
  ++at;
  if (!digits(at) || at + 4 != name.size()) return 0;
  uint64_t value = 0;
  for (char c : pid) value = value * 10 + static_cast<uint64_t>(c - '0');
  // Ids no system hands out are not ours to judge.
  return value <= 0x7FFFFFFF ? value : 0;
}

void removeStaleTempFiles(const std::string& path) {
  const size_t cut = path.find_last_of(std::string("/") + separator());
  const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  const std::string fileName = cut == std::string::npos ? path : path.substr(cut + 1);
  auto names = listFolder(folder, fileName + ".*-*.tmp");
  if (!names) return;
  const uint64_t self = currentProcessId();
  for (const std::string& name : *names) {
    const uint64_t writer = tempFileWriter(name, fileName);
    // A file named with our own id is an earlier process's: ours comes next.
    if (writer != 0 && (writer == self || !processRunning(writer))) (void)deleteFile(folder + name);
  }
}

}  // namespace cellforge::platform
