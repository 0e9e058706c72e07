#pragma once

// The one seam between Cellforge and the operating system. Everything that
// touches files, folders or processes goes through here; the posix and
// windows implementations sit side by side and CMake picks one.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace cellforge::platform {

// Folder separator used when building paths from settings.
char separator();
// Suffix of program files ("" on posix, ".exe" on windows).
std::string_view programSuffix();

// The game map folder used when the INI names none, for an INI in
// `iniFolder` (which ends in a separator).
std::string defaultTargetFolder(const std::string& iniFolder);
// The folders -INIT makes for that game map folder, outermost first.
std::vector<std::string> initFolders(const std::string& iniFolder);

// Full path of the running program file.
Expected<std::string> programPath();

// Lets the heap keep what the program frees for its next allocations
// rather than hand it back to the system at once: a short run that reads
// and lets go of one piece after another would otherwise give its memory
// back and ask for it again many times. Call first thing in main.
void keepFreedMemory();

// True when `pattern` (with `*` and `?`) matches `name`, ignoring ASCII case.
bool wildcardMatch(std::string_view pattern, std::string_view name);
// Orders names byte by byte after ASCII upper-casing; names equal after
// upper-casing fall back to their raw bytes. Same order on every platform.
bool folderOrderLess(std::string_view a, std::string_view b);

// Names of the entries of `folder` matching `pattern`, sorted by
// folderOrderLess. Sub-folders are listed too; "." and ".." never are.
Expected<std::vector<std::string>> listFolder(const std::string& folder, std::string_view pattern);

bool isFolder(const std::string& path);
bool exists(const std::string& path);

// Makes one folder level; an existing folder counts as success.
Status makeFolder(const std::string& path);
// Deletes a file; a file that is not there counts as success.
Status deleteFile(const std::string& path);

// Reads a whole file. Refuses folders.
Expected<std::string> readFile(const std::string& path);

// The size of a file in bytes. Refuses folders.
Expected<uint64_t> fileSize(const std::string& path);
// `length` bytes of a file from `offset` on (a game's pak is read an entry
// at a time, not whole). Fails when the file ends before them.
Expected<std::string> readFileRange(const std::string& path, uint64_t offset, uint64_t length);

// A folder whose files are read one after another (a template folder):
// opened once where the system allows, so each file is looked up from the
// folder rather than walked to from the root again. Reading a file is
// readFile of the folder's path followed by the name, with the same errors.
class Folder {
 public:
  // `path` as settings hold it: ending in a separator, or empty for the
  // working folder. A folder that cannot be opened reads each file by its
  // whole path, so its errors are readFile's own.
  explicit Folder(std::string path);
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  ~Folder();

  const std::string& path() const { return path_; }
  Expected<std::string> readFile(std::string_view name) const;

 private:
  std::string path_;
  int handle_ = -1;  // an open descriptor of the folder (posix), else -1
};
// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so `path` holds either its old or its new content, never a part.
// Temporary files of `path` that writers no longer running left behind
// (platform/temp_files.h) are deleted first.
Status replaceFile(const std::string& path, std::string_view bytes);

// replaceFile a piece at a time, for files too large to hold: the bytes go
// to the temporary file as they come and it takes the file's place on
// commit. Dropped before commit, it deletes the temporary file and `path`
// keeps its old content. A device or pipe is written in place.
class FileReplacement {
 public:
  // `durable`: the bytes reach the disk before the rename, so a power cut
  // leaves the old file or the new one. A file made anew from other files
  // on every run (the map) needs only the rename: a run never leaves it
  // half written, and skipping the flush saves more time than the writing.
  enum class Durable { yes, no };
  static Expected<FileReplacement> begin(const std::string& path, Durable durable = Durable::yes);
  FileReplacement(FileReplacement&&) noexcept;
  FileReplacement& operator=(FileReplacement&&) noexcept;
  ~FileReplacement();

  Status write(std::string_view bytes);
  Status commit();

  struct State;  // per system

 private:
  explicit FileReplacement(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

struct ExitStatus {
  bool signalled = false;  // killed by a signal or an exception; `code` says which
  int code = 0;            // exit code, signal number or exception code
  bool timedOut = false;   // killed because it ran past the time limit
};

// How a program that did not succeed ended, for a message: "failed with
// exit status 2", "was killed by signal 11".
std::string describeExit(const ExitStatus& status);

enum class Window { kShown, kHidden };

// Starts `argv[0]` with the arguments `argv` (no shell) in `folder`, waits
// for it and returns how it ended. An error means it could not be started.
// A `timeoutSeconds` of 0 waits without limit. On Windows the command line
// is the arguments joined by blanks, unquoted, so a program path with blanks
// in it is split there.
Expected<ExitStatus> runProgram(const std::vector<std::string>& argv, const std::string& folder,
                                unsigned timeoutSeconds = 0, Window window = Window::kShown);

// A message for the user: one line on the error stream, prefixed with the
// program's name.
void showMessage(std::ostream& err, std::string_view program, std::string_view text);
// The same text in a modal box with one OK button where the system has
// them (Windows), unless CELLFORGE_NO_MSGBOX is set; elsewhere nothing.
void showMessageBox(std::string_view title, std::string_view text);

}  // namespace cellforge::platform
