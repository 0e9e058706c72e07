#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/temp_files.h"

namespace cellforge::platform {

namespace {

std::string cause(DWORD err) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string out = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) ::LocalFree(text);
  // System texts end in ".\r\n"; our messages go on after the cause.
  while (!out.empty() &&
         (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
    out.pop_back();
  if (out.empty()) out = "system error " + std::to_string(err);
  return out;
}

// "<what><the system's cause>": notFound when the path is not there, an
// ioError for any other refusal.
Error systemError(std::string what, DWORD err) {
  std::string message = std::move(what) + cause(err);
  return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND
             ? Error::notFound(std::move(message))
             : Error::ioError(std::move(message));
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (valid()) ::CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  bool close() { return ::CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0; }

 private:
  HANDLE h_;
};

bool writeAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool isSeparatorChar(char c) { return c == '\\' || c == '/'; }

// The kind of an existing path that is not a folder: a disk file, or a
// device such as NUL or a pipe.
bool isDiskFile(const std::string& path) {
  Handle h(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr));
  return !h.valid() || ::GetFileType(h.get()) == FILE_TYPE_DISK;
}

}  // namespace

char separator() { return '\\'; }
std::string_view programSuffix() { return ".exe"; }

std::string defaultTargetFolder(const std::string&) { return "C:\\Quake2\\baseq2\\maps"; }

// Three levels up: Quake2\tools\cellforge\bin\ gives Quake2\baseq2\maps.
std::vector<std::string> initFolders(const std::string& iniFolder) {
  return {iniFolder + "..\\..\\..\\baseq2\\maps"};
}

std::string describeExit(const ExitStatus& status) {
  if (status.timedOut) return "ran too long and was stopped";
  if (status.signalled) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status.code));
    return std::string("crashed with exception ") + code;
  }
  return "failed with exit status " + std::to_string(status.code);
}

void showMessageBox(std::string_view title, std::string_view text) {
  // Tests and CI run without a desktop to click OK on.
  if (std::getenv("CELLFORGE_NO_MSGBOX") != nullptr) return;
  const std::string t(title), m(text);
  ::MessageBoxA(nullptr, m.c_str(), t.c_str(), MB_OK);
}

void keepFreedMemory() {}  // the Windows heap keeps freed memory itself

Expected<std::string> programPath() {
  std::string buf(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return systemError("cannot find the program's own path: ", ::GetLastError());
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    if (buf.size() >= 32768)
      return Error::ioError("cannot find the program's own path: it is too long");
    buf.resize(buf.size() * 2);
  }
}

Expected<std::vector<std::string>> listFolder(const std::string& folder, std::string_view pattern) {
  std::string search = folder;
  if (!search.empty() && !isSeparatorChar(search.back()) && search.back() != ':') search += '\\';
  search += '*';
  WIN32_FIND_DATAA found;
  HANDLE find = ::FindFirstFileA(search.c_str(), &found);
  std::vector<std::string> names;
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    // A drive's root has no "." and "..", so an empty one matches nothing.
    if (err == ERROR_FILE_NOT_FOUND && isFolder(folder.empty() ? "." : folder)) return names;
    return systemError(folder + ": cannot list folder: ", err);
  }
  do {
    const std::string_view name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (wildcardMatch(pattern, name)) names.emplace_back(name);
  } while (::FindNextFileA(find, &found));
  const DWORD err = ::GetLastError();
  ::FindClose(find);
  if (err != ERROR_NO_MORE_FILES) return systemError(folder + ": cannot list folder: ", err);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return folderOrderLess(a, b); });
  return names;
}

bool isFolder(const std::string& path) {
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Status makeFolder(const std::string& path) {
  if (::CreateDirectoryA(path.c_str(), nullptr)) return success();
  const DWORD err = ::GetLastError();
  if (err == ERROR_ALREADY_EXISTS && isFolder(path)) return success();
  return systemError(path + ": cannot make folder: ", err);
}

Status deleteFile(const std::string& path) {
  if (::DeleteFileA(path.c_str())) return success();
  const DWORD err = ::GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return success();
  return systemError(path + ": cannot delete: ", err);
}

Expected<std::string> readFile(const std::string& path) {
  if (isFolder(path)) return Error::invalid(path + ": is a folder, not a file");
  Handle h(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) return systemError(path + ": cannot open: ", ::GetLastError());
  // NUL, CON and pipes never end or block; nothing we read is anything but a file.
  if (::GetFileType(h.get()) != FILE_TYPE_DISK)
    return Error::invalid(path + ": is a device or pipe, not a file");
  std::string bytes;
  char chunk[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h.get(), chunk, sizeof chunk, &n, nullptr))
      return systemError(path + ": cannot read: ", ::GetLastError());
    if (n == 0) break;
    bytes.append(chunk, n);
  }
  return bytes;
}

Expected<uint64_t> fileSize(const std::string& path) {
  if (isFolder(path)) return Error::invalid(path + ": is a folder, not a file");
  Handle h(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr));
  if (!h.valid()) return systemError(path + ": cannot open: ", ::GetLastError());
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h.get(), &size))
    return systemError(path + ": cannot read: ", ::GetLastError());
  return static_cast<uint64_t>(size.QuadPart);
}

Expected<std::string> readFileRange(const std::string& path, uint64_t offset, uint64_t length) {
  constexpr uint64_t kMostOffset = static_cast<uint64_t>(INT64_MAX);
  if (offset > kMostOffset || length > kMostOffset - offset ||
      static_cast<size_t>(length) != length)
    return Error::ioError(path + ": cannot read " + std::to_string(length) + " bytes at offset " +
                          std::to_string(offset) + ": past what a file can hold");
  if (isFolder(path)) return Error::invalid(path + ": is a folder, not a file");
  Handle h(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) return systemError(path + ": cannot open: ", ::GetLastError());
  if (::GetFileType(h.get()) != FILE_TYPE_DISK)
    return Error::invalid(path + ": is a device or pipe, not a file");
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!::SetFilePointerEx(h.get(), at, nullptr, FILE_BEGIN))
    return systemError(path + ": cannot read: ", ::GetLastError());
  std::string bytes(static_cast<size_t>(length), '\0');
  size_t have = 0;
  while (have < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - have, 1u << 20));
    DWORD n = 0;
    if (!::ReadFile(h.get(), bytes.data() + have, chunk, &n, nullptr))
      return systemError(path + ": cannot read: ", ::GetLastError());
    if (n == 0)
      return Error::ioError(path + ": cannot read: the file ends at byte " +
                            std::to_string(offset + have) + ", before byte " +
                            std::to_string(offset + length));
    have += n;
  }
  return bytes;
}

// Windows reads each file by its whole path.
Folder::Folder(std::string path) : path_(std::move(path)) {}
Folder::Folder(Folder&& other) noexcept = default;
Folder& Folder::operator=(Folder&& other) noexcept = default;
Folder::~Folder() = default;

Expected<std::string> Folder::readFile(std::string_view name) const {
  return platform::readFile(path_ + std::string(name));
}

uint64_t currentProcessId() { return ::GetCurrentProcessId(); }

bool processRunning(uint64_t pid) {
  if (pid == 0 || pid > 0xFFFFFFFFu) return false;
  Handle process(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
  // No such process; any other refusal (access denied) means it runs.
  if (!process.valid()) return ::GetLastError() != ERROR_INVALID_PARAMETER;
  return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

struct FileReplacement::State : ReplacementFiles {
  HANDLE h = INVALID_HANDLE_VALUE;
};

FileReplacement::FileReplacement(std::unique_ptr<State> state) : state_(std::move(state)) {}
FileReplacement::FileReplacement(FileReplacement&&) noexcept = default;
FileReplacement& FileReplacement::operator=(FileReplacement&&) noexcept = default;

FileReplacement::~FileReplacement() {
  if (!state_) return;
  if (state_->h != INVALID_HANDLE_VALUE) ::CloseHandle(state_->h);
  if (!state_->committed && !state_->temp.empty()) ::DeleteFileA(state_->temp.c_str());
}

Expected<FileReplacement> FileReplacement::begin(const std::string& path, Durable durable) {
  auto state = std::make_unique<State>();
  state->path = path;
  state->durable = durable == Durable::yes;
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  const bool existed = attr != INVALID_FILE_ATTRIBUTES;
  if (existed && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return Error::invalid(path + ": is a folder, not a file");
  if (existed && !isDiskFile(path)) {
    state->h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (state->h == INVALID_HANDLE_VALUE)
      return systemError(path + ": cannot write: ", ::GetLastError());
    return FileReplacement(std::move(state));
  }
  // A file the user made read-only is theirs to keep.
  if (existed && (attr & FILE_ATTRIBUTE_READONLY) != 0)
    return Error::ioError(path + ": cannot write: the file is read-only");

  removeStaleTempFiles(path);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    state->temp = tempFileName(path, currentProcessId(), attempt);
    state->h = ::CreateFileA(state->temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (state->h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (state->h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    state->temp.clear();  // not ours to delete
    return systemError(path + ": cannot write: ", err);
  }
  return FileReplacement(std::move(state));
}

Status FileReplacement::write(std::string_view bytes) {
  if (state_->h == INVALID_HANDLE_VALUE)
    return Error::ioError(state_->path + ": cannot write: already closed");
  if (!writeAll(state_->h, bytes))
    return systemError(state_->path + ": cannot write: ", ::GetLastError());
  return success();
}

Status FileReplacement::commit() {
  State& s = *state_;
  if (s.h == INVALID_HANDLE_VALUE) return Error::ioError(s.path + ": cannot write: already closed");
  const bool flushed = s.temp.empty() || !s.durable || ::FlushFileBuffers(s.h);
  const DWORD flushErr = ::GetLastError();
  const bool closed = ::CloseHandle(std::exchange(s.h, INVALID_HANDLE_VALUE)) != 0;
  if (!flushed || !closed)
    return systemError(s.path + ": cannot write: ", flushed ? ::GetLastError() : flushErr);
  if (!s.temp.empty() && !::MoveFileExA(s.temp.c_str(), s.path.c_str(),
                                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return systemError(s.path + ": cannot replace: ", ::GetLastError());
  s.committed = true;
  return success();
}

Expected<ExitStatus> runProgram(const std::vector<std::string>& argv, const std::string& folder,
                                unsigned timeoutSeconds, Window window) {
  if (argv.empty() || argv[0].empty()) return Error::couldNotRun("no program to start");
  // The program path goes in as it is, unquoted, followed by each argument.
  std::string line = argv[0];
  for (size_t i = 1; i < argv.size(); ++i) line += " " + argv[i];
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');

  // The tools' own output goes where ours goes, so a user sees it in order.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE std : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
    if (std != nullptr && std != INVALID_HANDLE_VALUE)
      ::SetHandleInformation(std, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  DWORD flags = 0;
  if (window == Window::kHidden) {
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    flags |= CREATE_NO_WINDOW;
  }
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return Error::couldNotRun(argv[0] + ": cannot start: " + cause(::GetLastError()));
  Handle proc(process.hProcess);
  Handle thread(process.hThread);

  ExitStatus result;
  // Milliseconds in a DWORD, short of INFINITE: about 49 days at most.
  const DWORD wait = timeoutSeconds == 0
                         ? INFINITE
                         : static_cast<DWORD>(std::min(timeoutSeconds, 4294966u) * 1000u);
  const DWORD waited = ::WaitForSingleObject(proc.get(), wait);
  if (waited == WAIT_TIMEOUT) {
    ::TerminateProcess(proc.get(), 1);
    ::WaitForSingleObject(proc.get(), INFINITE);
    result.timedOut = true;
  } else if (waited != WAIT_OBJECT_0) {
    return systemError(argv[0] + ": cannot wait: ", ::GetLastError());
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(proc.get(), &code))
    return systemError(argv[0] + ": cannot read its exit status: ", ::GetLastError());
  // An unhandled exception ends a process with its NTSTATUS code.
  if (!result.timedOut && (code & 0xF0000000u) == 0xC0000000u) result.signalled = true;
  result.code = static_cast<int>(code);
  return result;
}

}  // namespace cellforge::platform
