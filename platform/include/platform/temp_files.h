#pragma once

// The temporary files replaceFile writes beside a file, named the same on
// every system: "<file>.<process id>-<n>.tmp". The process id tells a later
// run whether the writer still runs; a writer killed mid-write leaves its
// file, and the next replacement of the same file removes it.

#include <cstdint>
#include <string>
#include <string_view>

namespace cellforge::platform {

// The n-th name the process `pid` tries for its temporary copy of `path`.
std::string tempFileName(const std::string& path, uint64_t pid, unsigned n);

// The process id in `name` when it is a temporary name of the file named
// `fileName` (no folder) exactly as tempFileName makes it; 0 otherwise.
uint64_t tempFileWriter(std::string_view name, std::string_view fileName);

// Deletes the temporary files of `path` left by writers no longer running.
// Best effort: a file that cannot be listed or deleted stays.
void removeStaleTempFiles(const std::string& path);

// What a FileReplacement holds on every system; each adds its file handle.
struct ReplacementFiles {
  std::string path, temp;  // no temp: written in place
  bool committed = false;
  bool durable = true;
};

// Implemented per system.
uint64_t currentProcessId();
bool processRunning(uint64_t pid);

}  // namespace cellforge::platform
