#include "tests/test_support.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "platform/platform.h"
#include "templates/mmd_file.h"

namespace cellforge::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device entropy;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; path_.empty(); ++attempt) {
    if (attempt == 100) throw std::runtime_error("cannot make a temporary folder");
    const fs::path folder = base / ("cellforge-test-" + std::to_string(entropy()));
    if (fs::create_directory(folder)) path_ = folder.string() + char(fs::path::preferred_separator);
  }
  // Readable by the unprivileged user of asUnprivilegedUser.
  fs::permissions(path_, fs::perms::all);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only folders made by a test must not stop the clean-up.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeText(const std::string& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string missingFileCause() {
  const TempDir dir;
  const auto read = platform::readFile(dir / "absent");
  const std::string marker = ": cannot open: ";
  if (read.ok()) throw std::runtime_error("absent file was read");
  const std::string& message = read.message();
  const auto at = message.find(marker);
  if (at == std::string::npos) throw std::runtime_error("unexpected: " + message);
  return message.substr(at + marker.size());
}

std::string installProgram(const std::string& built, const std::string& path) {
  const std::string installed = program(path);
  fs::copy_file(built, installed, fs::copy_options::overwrite_existing);
  return installed;
}

InstallTree::InstallTree(std::string_view kit)
    : bin(native(dir / "bin/")),
      templates(native(dir / "maps/templates/")),
      source(native(dir / ("maps/" + std::string(kit) + "/"))),
      target(native(dir / "baseq2/maps/")) {
  for (const std::string* folder : {&bin, &templates, &source, &target}) makeFolders(*folder);
}

std::string InstallTree::iniText(std::string_view more) const {
  return "[globals]\ntemplate_directory=" + templates + "\nsource_directory=" + source +
         "\ntarget_directory=" + target + "\n" + std::string(more);
}

std::string InstallTree::install(const std::string& built, std::string_view name) const {
  return installProgram(built, bin + std::string(name));
}

void InstallTree::copyKit(const std::string& kit) const {
  for (const auto& entry : fs::directory_iterator(kit))
    fs::copy_file(entry.path(), source + entry.path().filename().string());
}

void InstallTree::writeTemplate(const Template& t) const {
  writeText(source + "t" + std::to_string(t.id) + ".mmd", encodeMmd(t));
}

std::string native(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '/') c = platform::separator();
  return out;
}

std::string program(std::string_view name) {
  return std::string(name) + std::string(platform::programSuffix());
}

std::string fill(std::string_view text, const std::string& folder, bool crlf) {
  std::string out;
  bool path = false;
  for (char c : text) {
    if (c == '@') {
      out += folder;
      path = true;
    } else if (c == '%') {
      out += platform::defaultTargetFolder(folder) + platform::separator();
    } else if (c == '!') {
      out += platform::programSuffix();
    } else if (c == '\n') {
      out += crlf ? "\r\n" : "\n";
      path = false;
    } else {
      out += path && c == '/' ? platform::separator() : c;
    }
  }
  return out;
}

void makeFolders(const std::string& path) { fs::create_directories(path); }

void makeReadOnly(const std::string& path) {
  const bool folder = fs::is_directory(path);
  fs::permissions(path, folder ? fs::perms(0555) : fs::perms(0444));
}

std::string boxBrush(std::array<int, 3> lo, std::array<int, 3> hi, std::string_view texture) {
  auto point = [](std::array<int, 3> p) {
    return "( " + std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) +
           " )";
  };
  // Through `at`, with the points one unit along axes `a` and `b`.
  auto plane = [&](std::array<int, 3> at, size_t a, size_t b) {
    std::array<int, 3> pa = at, pb = at;
    ++pa[a];
    ++pb[b];
    return point(at) + " " + point(pa) + " " + point(pb) + " " + std::string(texture) +
           " 0 0 0 1 1\n";
  };
  return "{\n" + plane(lo, 1, 2) + plane(lo, 2, 0) + plane(lo, 0, 1) + plane(hi, 1, 0) +
         plane(hi, 0, 2) + plane(hi, 2, 1) + "}\n";
}

Template cellTemplate(int32_t id, uint16_t openings) {
  Template t;
  t.id = id;
  t.name = "t" + std::to_string(id) + ".map";
  Cell c;
  c.setOpenings(openings);
  t.cells.push_back(c);
  return t;
}

TemplateLibrary singles(bool withHall) {
  TemplateLibrary lib;
  for (uint16_t o = 1; o <= 15; ++o) lib.add(cellTemplate(o, o));
  if (withHall) {
    Template hall;
    hall.id = 20;
    hall.name = "t20.map";
    Cell a, b;
    a.openNegX = a.openPosX = true;
    b = a;
    b.x = 1;
    hall.cells = {a, b};
    lib.add(hall);
  }
  for (auto [id, low, high] : {std::tuple{30, 2, 1}, {31, 4, 8}}) {
    Template stair;
    stair.id = id;
    stair.name = "t" + std::to_string(id) + ".map";
    Cell lo, hi;
    lo.setOpenings(static_cast<uint16_t>(low));
    hi.setOpenings(static_cast<uint16_t>(high));
    hi.z = 1;
    stair.cells = {lo, hi};
    lib.add(stair);
  }
  return lib;
}

}  // namespace cellforge::test
