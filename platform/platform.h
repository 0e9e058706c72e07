#pragma once

// The one seam between Cellforge and the operating system. Everything that
// touches files, folders or processes goes through here; the posix and
// windows implementations sit side by side and CMake picks one.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/result.h"

namespace cellforge::platform {

// Folder separator used when building paths from settings.
char separator();
// Suffix of program files ("" on posix, ".exe" on windows).
std::string_view programSuffix();

// Full path of the running program file.
Expected<std::string> programPath();

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
// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so `path` holds either its old or its new content, never a part.
Status replaceFile(const std::string& path, std::string_view bytes);

struct ExitStatus {
  bool signalled = false;  // killed by a signal; `code` is the signal number
  int code = 0;            // exit code, or signal number
  bool timedOut = false;   // killed because it ran past the time limit
};

// Starts `argv[0]` with the arguments `argv` (no shell) in `folder`, waits
// for it and returns how it ended. An error means it could not be started.
// A `timeoutSeconds` of 0 waits without limit.
Expected<ExitStatus> runProgram(const std::vector<std::string>& argv, const std::string& folder,
                                unsigned timeoutSeconds = 0);

// A message for the user: one line on the error stream, prefixed with the
// program's name.
void showMessage(std::ostream& err, std::string_view program, std::string_view text);

}  // namespace cellforge::platform
