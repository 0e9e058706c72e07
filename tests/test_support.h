#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "templates/template_library.h"

namespace cellforge::test {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test. `path()` ends in a separator.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + std::string(name); }

 private:
  std::string path_;
};

std::string readText(const std::string& path);
void writeText(const std::string& path, std::string_view text);
void makeFolders(const std::string& path);
// Makes a path read-only (0555 for folders, 0444 for files).
void makeReadOnly(const std::string& path);
bool runningAsRoot();
// False on Windows, where a folder's read-only attribute does not stop
// files inside it being written or replaced.
bool folderPermissionsApply();

// What this system says about a file that does not exist ("No such file or
// directory" on posix), as the platform layer reports it.
std::string missingFileCause();

// `path` with each "/" turned into this system's separator.
std::string native(std::string_view path);
// `text` with every "@" replaced by `folder`, "%" by the default game map
// folder, "!" by the program suffix and, on request, CRLF line ends. After
// "@" the rest of the line is a path: its "/" become this system's.
std::string fill(std::string_view text, const std::string& folder, bool crlf = false);
// `name` with this system's program suffix ("client.exe" on Windows).
std::string program(std::string_view name);
// Copies the program `built` to `path` plus this system's program suffix
// and returns that path.
std::string installProgram(const std::string& built, const std::string& path);
// A stand-in script that makes it crash, and how the platform says so:
// a signal on posix, an access violation's exit code on Windows.
struct Crash {
  std::string script;
  std::string described;
};
Crash crashScript();
// Runs `body` in a child process as an unprivileged user when the tests run
// as root (root ignores read-only permissions); returns its result. Without
// root it simply calls `body`.
int asUnprivilegedUser(const std::function<int()>& body);

// A throw-away install tree laid out as the programs expect by default:
// bin/ (the programs and Cellforge.INI), maps/templates/ (the layout),
// maps/<kit>/ (templates and piece texts) and baseq2/maps/ (the map). The
// folders are this system's paths, each ending in a separator; a test may
// point `source` elsewhere before it writes the INI.
struct InstallTree {
  explicit InstallTree(std::string_view kit = "S2");
  TempDir dir;
  std::string bin, templates, source, target;

  std::string ini() const { return bin + "Cellforge.INI"; }
  std::string layout() const { return templates + "sample.mtf"; }
  std::string map() const { return target + "sample.map"; }
  // [globals] naming the three folders, then the lines `more`.
  std::string iniText(std::string_view more = "") const;
  void writeIni(std::string_view more = "") const { writeText(ini(), iniText(more)); }
  // Copies the program `built` into bin/ as `name`; returns its path.
  std::string install(const std::string& built, std::string_view name) const;
  // Copies every file of the folder `kit` into `source`.
  void copyKit(const std::string& kit) const;
  // Writes `t` into `source` as t<id>.mmd.
  void writeTemplate(const Template& t) const;
};

// An axis-aligned brush from `lo` to `hi`, each plane through a corner and
// two points one unit along the face, as the kits write them.
std::string boxBrush(std::array<int, 3> lo, std::array<int, 3> hi, std::string_view texture = "t");

// A one-cell template with these openings (bits: +y 1, -y 2, +x 4, -x 8),
// its piece text named "t<id>.map".
Template cellTemplate(int32_t id, uint16_t openings);
// Every single-cell opening set (ids 1..15, id = openings), two stairs up a
// storey (30: in at -y below, out at +y above; 31: in at +x below, out at -x
// above) and, when asked, a hall two cells along x open at both ends (20);
// each piece text named t<id>.map.
TemplateLibrary singles(bool withHall = false);

}  // namespace cellforge::test
