#include <dirent.h>
#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "platform/platform.h"
#include "platform/temp_files.h"

extern char** environ;

namespace cellforge::platform {

namespace {

std::string cause(int err) { return std::strerror(err); }

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// "<what><the system's cause>": notFound when the path is not there, an
// ioError for any other refusal.
Error systemError(std::string what, int err) {
  std::string message = std::move(what) + cause(err);
  return err == ENOENT || err == ENOTDIR ? Error::notFound(std::move(message))
                                         : Error::ioError(std::move(message));
}

}  // namespace

char separator() { return '/'; }
std::string_view programSuffix() { return ""; }

// The default game folder sits inside the install tree, never outside it.
std::string defaultTargetFolder(const std::string& iniFolder) {
  return iniFolder + "../baseq2/maps";
}

std::vector<std::string> initFolders(const std::string& iniFolder) {
  return {iniFolder + "../baseq2", iniFolder + "../baseq2/maps"};
}

std::string describeExit(const ExitStatus& status) {
  if (status.timedOut) return "ran too long and was stopped";
  if (status.signalled) return "was killed by signal " + std::to_string(status.code);
  return "failed with exit status " + std::to_string(status.code);
}

void showMessageBox(std::string_view, std::string_view) {}

uint64_t currentProcessId() { return static_cast<uint64_t>(::getpid()); }

bool processRunning(uint64_t pid) {
  // EPERM: it runs, as another user.
  return pid > 0 && pid <= 0x7FFFFFFF &&
         (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

void keepFreedMemory() {
#if defined(__GLIBC__)
  // glibc trims the heap's top once 128 KB of it are free, grows it in
  // steps just as small, and maps (and unmaps) every block of 128 KB or
  // more on its own; a run's own memory is small, so it may as well keep
  // it.
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_TOP_PAD, 1 << 20);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
}

Expected<std::string> programPath() {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<size_t>(n) >= buf.size())
    return systemError("cannot find the program's own path: ", errno);
  buf.resize(static_cast<size_t>(n));
  return buf;
}

Expected<std::vector<std::string>> listFolder(const std::string& folder, std::string_view pattern) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return systemError(folder + ": cannot list folder: ", errno);
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (wildcardMatch(pattern, name)) names.emplace_back(name);
  }
  const int err = errno;
  ::closedir(dir);
  if (err != 0) return systemError(folder + ": cannot list folder: ", err);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return folderOrderLess(a, b); });
  return names;
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

Status makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return success();
  const int err = errno;
  if (err == EEXIST && isFolder(path)) return success();
  return systemError(path + ": cannot make folder: ", err);
}

Status deleteFile(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return success();
  return systemError(path + ": cannot delete: ", errno);
}

namespace {

// readFile's work once the file is open; `path` names it in messages.
Expected<std::string> readOpened(const Fd& fd, const std::string& path) {
  // Nearly every file read is small: one read into a buffer on the stack
  // takes a whole small file without asking the system what it is. A read
  // that fills the buffer, finds nothing or fails asks (a folder, a device
  // that never ends, a pipe with no writer, an empty file or a large one).
  std::array<char, 1 << 16> first;
  ssize_t got = 0;
  do {
    got = ::read(fd.get(), first.data(), first.size());
  } while (got < 0 && errno == EINTR);
  if (got > 0 && static_cast<size_t>(got) < first.size())
    return std::string(first.data(), static_cast<size_t>(got));
  const int readError = got < 0 ? errno : 0;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return systemError(path + ": cannot read: ", errno);
  if (S_ISDIR(st.st_mode)) return Error::invalid(path + ": is a folder, not a file");
  if (!S_ISREG(st.st_mode)) return Error::invalid(path + ": is a device or pipe, not a file");
  if (readError != 0) return systemError(path + ": cannot read: ", readError);
  if (got == 0) return std::string();
  // A large file: the size is a hint only (the file may change while we
  // read). One byte more than it, so a file read whole ends in a short read
  // and needs no further call; reads go straight into the result.
  const auto size = static_cast<size_t>(std::min<off_t>(st.st_size, off_t{1} << 30));
  std::string bytes(std::max(size + 1, first.size() + 1), '\0');
  std::memcpy(bytes.data(), first.data(), first.size());
  size_t have = first.size();
  for (;;) {
    if (have == bytes.size()) bytes.resize(bytes.size() * 2);
    const size_t want = bytes.size() - have;
    const ssize_t n = ::read(fd.get(), bytes.data() + have, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return systemError(path + ": cannot read: ", errno);
    }
    have += static_cast<size_t>(n);
    if (n == 0 || (have >= size && static_cast<size_t>(n) < want)) break;
  }
  bytes.resize(have);
  return bytes;
}

// Opened without blocking, so a pipe does not hang the open; /dev/zero and
// the like never end. Nothing we read is anything but a file.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;

}  // namespace

Expected<std::string> readFile(const std::string& path) {
  Fd fd(::open(path.c_str(), kReadFlags));
  if (fd.get() < 0) return systemError(path + ": cannot open: ", errno);
  return readOpened(fd, path);
}

Expected<uint64_t> fileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return systemError(path + ": cannot open: ", errno);
  if (S_ISDIR(st.st_mode)) return Error::invalid(path + ": is a folder, not a file");
  return static_cast<uint64_t>(st.st_size);
}

Expected<std::string> readFileRange(const std::string& path, uint64_t offset, uint64_t length) {
  constexpr uint64_t kMostOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
  if (offset > kMostOffset || length > kMostOffset - offset ||
      static_cast<size_t>(length) != length)
    return Error::ioError(path + ": cannot read " + std::to_string(length) + " bytes at offset " +
                          std::to_string(offset) + ": past what a file can hold");
  Fd fd(::open(path.c_str(), kReadFlags));
  if (fd.get() < 0) return systemError(path + ": cannot open: ", errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return systemError(path + ": cannot read: ", errno);
  if (S_ISDIR(st.st_mode)) return Error::invalid(path + ": is a folder, not a file");
  if (!S_ISREG(st.st_mode)) return Error::invalid(path + ": is a device or pipe, not a file");
  std::string bytes(static_cast<size_t>(length), '\0');
  size_t have = 0;
  while (have < bytes.size()) {
    const ssize_t n = ::pread(fd.get(), bytes.data() + have, bytes.size() - have,
                              static_cast<off_t>(offset + have));
    if (n < 0) {
      if (errno == EINTR) continue;
      return systemError(path + ": cannot read: ", errno);
    }
    if (n == 0)
      return Error::ioError(path + ": cannot read: the file ends at byte " +
                            std::to_string(offset + have) + ", before byte " +
                            std::to_string(offset + length));
    have += static_cast<size_t>(n);
  }
  return bytes;
}

Folder::Folder(std::string path)
    : path_(std::move(path)),
      handle_(::open(path_.empty() ? "." : path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

Folder::Folder(Folder&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(handle_);
    path_ = std::move(other.path_);
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

Folder::~Folder() {
  if (handle_ >= 0) ::close(handle_);
}

Expected<std::string> Folder::readFile(std::string_view name) const {
  std::string path = path_ + std::string(name);
  // An absolute name would ignore the folder; so would an empty one.
  if (handle_ < 0 || name.empty() || name.front() == '/') return platform::readFile(path);
  Fd fd(::openat(handle_, std::string(name).c_str(), kReadFlags));
  if (fd.get() < 0) return systemError(path + ": cannot open: ", errno);
  return readOpened(fd, path);
}

struct FileReplacement::State : ReplacementFiles {
  int fd = -1;
};

FileReplacement::FileReplacement(std::unique_ptr<State> state) : state_(std::move(state)) {}
FileReplacement::FileReplacement(FileReplacement&&) noexcept = default;
FileReplacement& FileReplacement::operator=(FileReplacement&&) noexcept = default;

FileReplacement::~FileReplacement() {
  if (!state_) return;
  if (state_->fd >= 0) ::close(state_->fd);
  if (!state_->committed && !state_->temp.empty()) ::unlink(state_->temp.c_str());
}

Expected<FileReplacement> FileReplacement::begin(const std::string& path, Durable durable) {
  auto state = std::make_unique<State>();
  state->path = path;
  state->durable = durable == Durable::yes;
  struct stat st {};
  const bool existed = ::stat(path.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) return Error::invalid(path + ": is a folder, not a file");
  // A device or pipe is written in place: renaming a file over it would
  // replace the device itself.
  if (existed && !S_ISREG(st.st_mode)) {
    state->fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (state->fd < 0) return systemError(path + ": cannot write: ", errno);
    return FileReplacement(std::move(state));
  }
  // A file the user made read-only is theirs to keep, even where the
  // folder would let us rename over it.
  if (existed && ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0))
    return Error::ioError(path + ": cannot write: the file is read-only");

  removeStaleTempFiles(path);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    state->temp = tempFileName(path, currentProcessId(), attempt);
    state->fd = ::open(state->temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (state->fd >= 0 || errno != EEXIST) break;
  }
  if (state->fd < 0) {
    const int err = errno;
    state->temp.clear();  // not ours to delete
    return systemError(path + ": cannot write: ", err);
  }
  const mode_t mode = existed ? (st.st_mode & 07777) : static_cast<mode_t>(0666 & ~[] {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
  }());
  ::fchmod(state->fd, mode);
  return FileReplacement(std::move(state));
}

Status FileReplacement::write(std::string_view bytes) {
  if (state_->fd < 0) return Error::ioError(state_->path + ": cannot write: already closed");
  if (!writeAll(state_->fd, bytes)) return systemError(state_->path + ": cannot write: ", errno);
  return success();
}

Status FileReplacement::commit() {
  State& s = *state_;
  if (s.fd < 0) return Error::ioError(s.path + ": cannot write: already closed");
  const bool synced = s.temp.empty() || !s.durable || ::fsync(s.fd) == 0;
  const int syncErr = errno;
  const bool closed = ::close(std::exchange(s.fd, -1)) == 0;
  if (!synced || !closed) return systemError(s.path + ": cannot write: ", synced ? errno : syncErr);
  if (!s.temp.empty() && ::rename(s.temp.c_str(), s.path.c_str()) != 0)
    return systemError(s.path + ": cannot replace: ", errno);
  s.committed = true;
  return success();
}

Expected<ExitStatus> runProgram(const std::vector<std::string>& argv, const std::string& folder,
                                unsigned timeoutSeconds, Window) {
  if (argv.empty() || argv[0].empty()) return Error::couldNotRun("no program to start");
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Own process group, so a tool that hangs can be stopped with its children.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return Error::couldNotRun(argv[0] + ": cannot start: " + cause(rc));

  ExitStatus result;
  int status = 0;
  if (timeoutSeconds == 0) {
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return systemError(argv[0] + ": cannot wait: ", errno);
    }
  } else {
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (done < 0 && errno != EINTR) return systemError(argv[0] + ": cannot wait: ", errno);
      timespec now{};
      ::clock_gettime(CLOCK_MONOTONIC, &now);
      if (now.tv_sec - start.tv_sec >= static_cast<time_t>(timeoutSeconds)) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        result.timedOut = true;
        break;
      }
      const timespec pause{0, 20'000'000};
      ::nanosleep(&pause, nullptr);
    }
  }
  if (WIFSIGNALED(status)) {
    result.signalled = true;
    result.code = WTERMSIG(status);
  } else {
    result.code = WEXITSTATUS(status);
  }
  return result;
}

}  // namespace cellforge::platform
