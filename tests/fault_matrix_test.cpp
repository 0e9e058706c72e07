// Whole runs of the real server and client programs in throw-away install
// trees, one fault at a time: each must end with one line that names the
// cause, a failure status, and every user file either as it was or whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "templates/mmd_file.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

namespace fs = std::filesystem;
using test::readText;
using test::TempDir;
using test::writeText;

constexpr uid_t kNobody = 65534;

struct Ran {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

// Starts `argv` with its output captured, as nobody when asked (and when we
// are root), and kills it after `limit` seconds so a hang fails the test
// instead of stopping it.
// `prepare` runs in the child first; when it fails the child ends with 126.
Ran run(const std::vector<std::string>& argv, bool unprivileged, int limit = 60,
        const std::function<bool()>& prepare = {}) {
  TempDir capture;
  const std::string outPath = capture / "out", errPath = capture / "err";
  const int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    if (prepare && !prepare()) ::_exit(126);
    if (unprivileged && test::runningAsRoot() && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(125);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(outFd);
  ::close(errFd);
  Ran ran;
  int status = 0;
  for (int waited = 0;; ++waited) {
    if (::waitpid(pid, &status, WNOHANG) == pid) break;
    if (waited == limit * 50) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ADD_FAILURE() << argv[0] << " ran past " << limit << " s";
      break;
    }
    const timespec pause{0, 20'000'000};
    ::nanosleep(&pause, nullptr);
  }
  ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ran.out = readText(outPath);
  ran.err = readText(errPath);
  return ran;
}

void writeScript(const std::string& path, const std::string& body) {
  writeText(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms(0755));
}

// Every entry of a folder, so a leftover temporary file shows.
std::set<std::string> entries(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.insert(e.path().filename());
  return names;
}

constexpr std::string_view kRoomPiece = R"({
"classname" "worldspawn"
{
( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) floor 0 0 0 1 1
}
}
{
"classname" "info_player_start"
"origin" "128 128 32"
}
)";

// The map client writes for the one-room kit at cell (1, 1, 0).
constexpr std::string_view kRoomMap = R"({
  "classname" "worldspawn"
 {
  ( 256 256 0 ) ( 256 320 0 ) ( 320 256 0 ) floor 0 0 0 1 1
 }
}
{
  "classname" "info_player_start"
  "origin"        "384 384 32"
}
)";

Template room(std::string name = "room.map") {
  Template t = test::cellTemplate(1, 0);
  t.name = std::move(name);
  return t;
}

// An install tree with both programs, shell-script compile tools that log
// their calls, the one-room kit, and an INI naming every folder and tool.
class Install : public test::InstallTree {
 public:
  Install() {
    install(CELLFORGE_SERVER_EXE, "server");
    install(CELLFORGE_CLIENT_EXE, "client");
    for (const char* tool : {"qbsp3", "qvis3", "qrad3"})
      writeScript(bin + tool, "echo \"$0 $*\" >> " + bin + "calls.log\n");
    writeTemplate(room());
    writeText(source + "room.map", kRoomPiece);
    writeTestIni();
  }

  std::string server() const { return bin + "server"; }
  // What server says after client failed with status 1.
  std::string clientFailed() const {
    return "server: " + bin + "client failed with exit status 1; no compile tool was run";
  }
  // The INI as this test wrote it.
  std::string testIni() const {
    return "; written by the test\n" +
           iniText("game_type=2\nclient_path=" + bin + "client\nquake_ii_qbsp=" + bin +
                   "qbsp3\nquake_ii_vis=" + bin + "qvis3\nquake_ii_light=" + bin +
                   "qrad3\n[template_settings]\n" + grid_);
  }
  void writeTestIni() const { writeText(ini(), testIni()); }
  void setGrid(const std::string& grid) {
    grid_ = grid;
    writeTestIni();
  }

  // A run as nobody, who is given the whole tree, with `path` read-only.
  Ran runWithReadOnly(const std::string& path) {
    if (test::runningAsRoot()) {
      for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        (void)::lchown(e.path().c_str(), kNobody, kNobody);
    }
    test::makeReadOnly(path);
    return runServer(true);
  }

  // The kit's template file is room.mmd.
  void writeTemplate(const Template& t) const { writeText(source + "room.mmd", encodeMmd(t)); }
  void writePiece(std::string_view text) const { writeText(source + "room.map", text); }

  Ran runServer(bool unprivileged = false, std::vector<std::string> args = {"--seed", "7"}) {
    args.insert(args.begin(), server());
    return run(args, unprivileged);
  }

 private:
  std::string grid_ = "x=3\ny=3\nz=1\npercent_to_fill=0.1\n";
};

// A failed run: status 1 and one line per problem, each naming the program.
void expectRefused(const Ran& ran, const std::string& lines) {
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.err, lines + "\n");
}

// A run refused before it writes anything: the INI (when a file) and the
// template folder stay as they were.
void expectRefusedBeforeAnyWrite(Install& t, const std::string& line) {
  expectRefused(t.runServer(), line);
  if (fs::is_regular_file(t.ini())) {
    EXPECT_EQ(readText(t.ini()), t.testIni());
  }
  EXPECT_TRUE(entries(t.templates).empty());
}

TEST(FaultMatrix, CleanRunWritesLayoutMapAndSettings) {
  Install t;
  const Ran ran = t.runServer();
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ran.err, "");
  EXPECT_EQ(readText(t.map()), kRoomMap);
  EXPECT_EQ(readText(t.layout()).size(), 70u);
  EXPECT_EQ(readText(t.bin + "calls.log"),
            t.bin + "qbsp3 sample.map\n" + t.bin + "qvis3 sample.bsp\n" + t.bin + "qrad3 sample\n");
  EXPECT_EQ(entries(t.templates), std::set<std::string>{"sample.mtf"});
  EXPECT_EQ(entries(t.target), std::set<std::string>{"sample.map"});
}

// --- folders ---------------------------------------------------------------

TEST(FaultMatrix, MissingSourceFolderStopsBeforeAnyWrite) {
  Install t;
  fs::remove_all(t.source);
  expectRefusedBeforeAnyWrite(
      t, "server: " + t.source + ": cannot list folder: No such file or directory");
}

TEST(FaultMatrix, EmptySourceFolderStopsBeforeAnyWrite) {
  Install t;
  fs::remove(t.source + "room.mmd");
  fs::remove(t.source + "room.map");
  expectRefusedBeforeAnyWrite(t,
                              "server: " + t.source + ": no template files (*.mmd) in this folder");
}

TEST(FaultMatrix, ReadOnlySourceFolderIsEnough) {
  Install t;
  const Ran ran = t.runWithReadOnly(t.source);
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(readText(t.map()), kRoomMap);
}

TEST(FaultMatrix, MissingTemplateFolderKeepsTheSettings) {
  Install t;
  fs::remove_all(t.templates);
  const Ran ran = t.runServer();
  expectRefused(ran, "server: " + t.layout() + ": cannot write: No such file or directory");
  EXPECT_EQ(readText(t.ini()), t.testIni());
  EXPECT_FALSE(fs::exists(t.map()));
}

TEST(FaultMatrix, ReadOnlyTemplateFolderKeepsTheOldLayout) {
  Install t;
  writeText(t.layout(), "old layout");
  const Ran ran = t.runWithReadOnly(t.templates);
  expectRefused(ran, "server: " + t.layout() + ": cannot write: Permission denied");
  EXPECT_EQ(readText(t.layout()), "old layout");
  EXPECT_EQ(entries(t.templates), std::set<std::string>{"sample.mtf"});
  EXPECT_EQ(readText(t.ini()), t.testIni());
}

TEST(FaultMatrix, MissingTargetFolderStopsAtTheClient) {
  Install t;
  fs::remove_all(t.target);
  expectRefused(
      t.runServer(),
      "client: " + t.map() + ": cannot write: No such file or directory\n" + t.clientFailed());
  EXPECT_FALSE(fs::exists(t.bin + "calls.log"));
  // The layout was written, so the settings went back, whole.
  EXPECT_NE(readText(t.ini()).find("; written by the test\n"), std::string::npos);
}

TEST(FaultMatrix, ReadOnlyTargetFolderKeepsTheOldMap) {
  Install t;
  writeText(t.map(), "old map");
  expectRefused(t.runWithReadOnly(t.target),
                "client: " + t.map() + ": cannot delete: Permission denied\n" + t.clientFailed());
  EXPECT_EQ(readText(t.map()), "old map");
  EXPECT_EQ(entries(t.target), std::set<std::string>{"sample.map"});
}

// --- the INI file ------------------------------------------------------------

TEST(FaultMatrix, ReadOnlyIniIsLeftAsItWas) {
  Install t;
  const Ran ran = t.runWithReadOnly(t.ini());
  expectRefused(ran, "server: " + t.ini() + ": cannot write: the file is read-only");
  EXPECT_EQ(readText(t.ini()), t.testIni());
  EXPECT_EQ(readText(t.map()), kRoomMap);
  EXPECT_EQ(entries(t.bin), (std::set<std::string>{"Cellforge.INI", "calls.log", "client", "qbsp3",
                                                   "qrad3", "qvis3", "server"}));
}

TEST(FaultMatrix, IniThatIsNotAFileIsRefused) {
  const std::pair<std::function<bool(const std::string&)>, std::string> kinds[] = {
      {[](const std::string& path) { return fs::create_directory(path); }, "is a folder"},
      {[](const std::string& path) {
         fs::create_symlink("/dev/zero", path);
         return true;
       },
       "is a device or pipe"},
      {[](const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; },
       "is a device or pipe"}};
  for (const auto& [make, said] : kinds) {
    Install t;
    fs::remove(t.ini());
    ASSERT_TRUE(make(t.ini())) << said;
    expectRefusedBeforeAnyWrite(t, "server: " + t.ini() + ": " + said + ", not a file");
    EXPECT_FALSE(fs::is_regular_file(t.ini()));
  }
}

// --- a full device -----------------------------------------------------------

TEST(FaultMatrix, MapLinkedToAFullDeviceIsReplacedByTheNewMap) {
  Install t;
  // client removes the old map before anything else, a link like any file,
  // so a failed run leaves nothing stale for the compile tools.
  fs::create_symlink("/dev/full", t.map());
  const Ran ran = t.runServer();
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_FALSE(fs::is_symlink(t.map()));
  EXPECT_EQ(readText(t.map()), kRoomMap);
}

TEST(FaultMatrix, LayoutOnAFullDeviceFailsCleanly) {
  Install t;
  fs::create_symlink("/dev/full", t.layout());
  const Ran ran = t.runServer();
  expectRefused(ran, "server: " + t.layout() + ": cannot write: No space left on device");
  EXPECT_TRUE(fs::is_symlink(t.layout()));
  EXPECT_EQ(entries(t.templates), std::set<std::string>{"sample.mtf"});
  EXPECT_EQ(readText(t.ini()), t.testIni());
}

// Puts `folder` on a tmpfs of its own with its files, then fills the tmpfs
// up. Runs in the child of `run`, which has a mount namespace of its own, so
// the tmpfs goes when the run ends. False where we may not mount.
bool fillUp(const std::string& folder) {
  if (!test::runningAsRoot() || ::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return false;
  struct Kept {
    std::string name, bytes;
    fs::perms perms;
  };
  std::vector<Kept> kept;
  size_t total = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (!e.is_regular_file() || e.is_symlink()) continue;
    kept.push_back({e.path().filename(), readText(e.path()), e.status().permissions()});
    total += kept.back().bytes.size();
  }
  const std::string size = "size=" + std::to_string(total + (1 << 20));
  if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) != 0) return false;
  for (const Kept& k : kept) {
    writeText(folder + k.name, k.bytes);
    fs::permissions(folder + k.name, k.perms);
  }
  const int fd = ::open((folder + "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  const std::string block(65536, 'f');
  for (size_t n = block.size(); n > 0;) {
    if (::write(fd, block.data(), n) < 0) n /= 2;
  }
  ::close(fd);
  return true;
}

// A server run with `folder` full. What the run left in the folder is
// copied out before the tmpfs goes: its listing and its user files.
struct FullRun {
  Ran ran;
  std::string listing;
  std::map<std::string, std::string> files;
};

FullRun runWithFullFolder(Install& t, const std::string& folder) {
  TempDir out;
  const std::string script =
      "\"$0\" --seed 7; s=$?; ls -A \"$1\" > \"$2\"listing; for f in Cellforge.INI sample.mtf "
      "sample.map; do [ -f \"$1$f\" ] && cp \"$1$f\" \"$2\"; done; exit $s";
  FullRun full;
  full.ran = run({"/bin/sh", "-c", script, t.server(), folder, out.path()}, false, 60,
                 [&] { return fillUp(folder); });
  full.listing = readText(out / "listing");
  for (const char* name : {"Cellforge.INI", "sample.mtf", "sample.map"})
    if (fs::exists(out / name)) full.files[name] = readText(out / name);
  return full;
}

// A full folder: one line naming the file, and the folder keeps what it
// held (the old layout, the old settings) and no partial file.
TEST(FaultMatrix, FullFolderKeepsWhatItHeld) {
  using Tree = test::InstallTree;
  const std::tuple<std::string Tree::*, std::string (Tree::*)() const, const char*> cases[] = {
      {&Tree::target, &Tree::map, "filler\n"},
      {&Tree::templates, &Tree::layout, "filler\nsample.mtf\n"},
      {&Tree::bin, &Tree::ini, "Cellforge.INI\nclient\nfiller\nqbsp3\nqrad3\nqvis3\nserver\n"}};
  for (const auto& [folder, file, listing] : cases) {
    Install t;
    writeText(t.layout(), "old layout");
    // Compile tools that write nothing into a full bin/.
    for (const char* tool : {"qbsp3", "qvis3", "qrad3"}) writeScript(t.bin + tool, "exit 0\n");
    const FullRun full = runWithFullFolder(t, t.*folder);
    if (full.ran.status == 126) GTEST_SKIP() << "cannot mount a tmpfs here";
    const bool map = folder == &Tree::target;
    expectRefused(full.ran, (map ? "client: " : "server: ") + (t.*file)() +
                                ": cannot write: No space left on device" +
                                (map ? "\n" + t.clientFailed() : ""));
    EXPECT_EQ(full.listing, listing);
    const std::map<std::string, std::string> held{{"sample.mtf", "old layout"},
                                                  {"Cellforge.INI", t.testIni()}};
    for (const auto& [name, bytes] : full.files) EXPECT_EQ(bytes, held.at(name)) << name;
  }
}

// --- hostile template packs -------------------------------------------------

TEST(FaultMatrix, PieceNamesOutsideTheKitAreRefused) {
  Install t;
  writeText(t.source + "../secret.map", kRoomPiece);
  for (const std::string& name : {std::string("../secret.map"), t.source + "room.map"}) {
    t.writeTemplate(room(name));
    expectRefused(t.runServer(), "client: " + t.source + "room.mmd: piece text name \"" + name +
                                     "\" is not a file inside the source folder\n" +
                                     t.clientFailed());
    EXPECT_FALSE(fs::exists(t.map()));
  }
}

// cellforge-template build, the way a pack author makes a template file.
Ran buildTemplate(const std::string& manifest, const std::string& target) {
  return run({CELLFORGE_TEMPLATE_EXE, "build", manifest, target}, false);
}

TEST(FaultMatrix, MillionCellTemplateIsPassedOver) {
  Install t;
  // A million cells, the last ones at offsets near 2^31, which no grid holds.
  std::string manifest = "id 2\npiece huge.map\n";
  for (int i = 0; i < 1'000'000; ++i)
    manifest += "cell " + std::to_string(2147483647 - i) + " 0 0\n";
  writeText(t.source + "huge.txt", manifest);
  const Ran built = buildTemplate(t.source + "huge.txt", t.source + "huge.mmd");
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.out, "wrote " + t.source + "huge.mmd (template 2, 1000000 cells)\n");
  fs::remove(t.source + "huge.txt");
  const Ran ran = t.runServer();
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(readText(t.map()), kRoomMap);
}

// Counts at the edges of 32 bits are built; one past, or a piece name with a
// NUL byte, is refused and the old template file kept.
TEST(FaultMatrix, ManifestEdgesAreBuiltOrRefused) {
  TempDir dir;
  writeText(dir / "edge.txt",
            "id -2147483648\npiece e.map\ntriple 2147483647 -2147483648 0\n"
            "cell 2147483647 -2147483648 0 templateId 2147483647\n");
  const Ran edge = buildTemplate(dir / "edge.txt", dir / "edge.mmd");
  EXPECT_EQ(edge.status, 0) << edge.err;
  for (const auto& [text, said] :
       {std::pair{std::string("id 2147483648\npiece e.map\n"), ":1: \"id\" needs one integer"},
        {std::string("id 1\npiece a\0b.map\n", 19), ":2: \"piece\" name holds a NUL byte"}}) {
    writeText(dir / "bad.txt", text);
    writeText(dir / "bad.mmd", "old template");
    expectRefused(buildTemplate(dir / "bad.txt", dir / "bad.mmd"),
                  "cellforge-template: " + (dir / "bad.txt") + said);
    EXPECT_EQ(readText(dir / "bad.mmd"), "old template");
  }
}

TEST(FaultMatrix, TemplateCountsNearTwoToThe31AreRefused) {
  Install t;
  const std::string bytes = encodeMmd(room());
  // The piece name's length, and the cell count as 2^31 - 1.
  for (const auto& [at, count, said] :
       {std::tuple{size_t{42}, "\xfe\xff\xff\x7f", "the piece name"},
        {bytes.size() - 26, "\xff\xff\xff\x7f", "cell record 2 of 2147483647"}}) {
    std::string changed = bytes;
    changed.replace(at, 4, std::string(count, 4));
    writeText(t.source + "room.mmd", changed);
    expectRefusedBeforeAnyWrite(
        t, "server: " + t.source + "room.mmd: file ends inside " + std::string(said));
  }
}

TEST(FaultMatrix, GridSidesNearTwoToThe31AreRefused) {
  Install t;
  t.setGrid("x=2147483647\ny=2147483647\nz=2147483647\npercent_to_fill=0.1\n");
  expectRefusedBeforeAnyWrite(t, "server: " + t.ini() +
                                     ": [template_settings] x = 2147483647 is too large: a random "
                                     "cell draw reaches every cell of at most 32768 along an axis");
}

TEST(FaultMatrix, TenMegabyteLineInAPieceTextIsCarriedThrough) {
  Install t;
  const std::string line = "// " + std::string(10 << 20, 'x');
  std::string piece(kRoomPiece);
  piece.insert(piece.find("{\n("), line + "\n");
  t.writePiece(piece);
  const Ran ran = t.runServer();
  EXPECT_EQ(ran.status, 0) << ran.err;
  std::string expected(kRoomMap);
  expected.insert(expected.find(" {\n"), line + "\n");
  EXPECT_EQ(readText(t.map()), expected);
}

TEST(FaultMatrix, TenMegabyteLineInTheIniIsReadPast) {
  Install t;
  writeText(t.ini(), t.testIni() + "; " + std::string(10 << 20, 'x') + "\n");
  const Ran ran = t.runServer();
  EXPECT_EQ(ran.status, 0) << ran.err;
  const std::string ini = readText(t.ini());
  EXPECT_EQ(ini.substr(ini.size() - (10 << 20) - 3), "; " + std::string(10 << 20, 'x') + "\n");
}

TEST(FaultMatrix, NulBytesInTextsAreKept) {
  Install t;
  std::string piece(kRoomPiece);
  piece.insert(piece.find("\"classname\" \"worldspawn\"\n") + 25,
               std::string("\"message\" \"a\0b\"\n", 16));
  t.writePiece(piece);
  t.writeTemplate(room(std::string("room.map\0ignored", 16)));
  writeText(t.ini(), t.testIni() + std::string("; a\0b\n", 6));
  const Ran ran = t.runServer();
  EXPECT_EQ(ran.status, 0) << ran.err;
  std::string expected(kRoomMap);
  expected.insert(expected.find(" {\n"), std::string("  \"message\" \"a\0b\"\n", 18));
  EXPECT_EQ(readText(t.map()), expected);
  EXPECT_NE(readText(t.ini()).find(std::string("; a\0b\n", 6)), std::string::npos);
}

// --- programs that fail ------------------------------------------------------

// One program of the chain fails (a script: killed or an exit status;
// none: missing): the run stops there, the layout written, the programs
// before it run once and none after.
TEST(FaultMatrix, FailingProgramStopsTheChain) {
  const struct {
    const char* program;
    const char* script;
    const char* said;  // around the program's path
    std::vector<std::string> ran;
  } cases[] = {
      {"client", "kill -SEGV $$", "@ was killed by signal 11; no compile tool was run", {"client"}},
      {"client", "exit 3", "@ failed with exit status 3; no compile tool was run", {"client"}},
      {"client", nullptr, "Couldn't execute @", {}},
      {"qbsp3",
       "kill -SEGV $$",
       "map compiler @ was killed by signal 11",
       {"client", "qbsp3 sample.map"}},
      {"qvis3",
       "exit 2",
       "visibility tool @ failed with exit status 2",
       {"client", "qbsp3 sample.map", "qvis3 sample.bsp"}},
      {"qrad3", nullptr, "Couldn't execute @", {"client", "qbsp3 sample.map", "qvis3 sample.bsp"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + (c.script ? c.script : "missing"));
    Install t;
    // Every program logs its call; client then runs for real.
    const std::string log = "echo \"$0${1:+ $*}\" >> " + t.bin + "calls.log\n";
    fs::rename(t.bin + "client", t.bin + "client-real");
    writeScript(t.bin + "client", log + "exec " + t.bin + "client-real\n");
    if (c.script)
      writeScript(t.bin + c.program, log + c.script);
    else
      fs::remove(t.bin + c.program);
    std::string said = c.said, calls;
    said.replace(said.find('@'), 1, t.bin + c.program);
    for (const std::string& call : c.ran) calls += t.bin + call + "\n";
    expectRefused(t.runServer(), "server: " + said);
    EXPECT_EQ(readText(t.bin + "calls.log"), calls);
    EXPECT_EQ(readText(t.layout()).size(), 70u);
    if (c.ran.size() > 1) {
      EXPECT_EQ(readText(t.map()), kRoomMap);
    }
  }
}

TEST(FaultMatrix, ClientKilledMidWriteLeavesNothingForTheNextRun) {
  Install t;
  ASSERT_EQ(t.runServer(false, {"--seed", "7", "--no-compile"}).status, 0);
  // The system kills the client at its 33rd byte, inside the map's
  // temporary copy.
  const Ran killed = run({t.bin + "client"}, false, 60, [] {
    const rlimit limit{32, 32};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  });
  EXPECT_EQ(killed.status, 128 + SIGXFSZ);
  const std::set<std::string> left = entries(t.target);
  ASSERT_EQ(left.size(), 1u);
  const std::string leftover = *left.begin();
  EXPECT_TRUE(leftover.starts_with("sample.map.") && leftover.ends_with("-0.tmp")) << leftover;
  EXPECT_EQ(readText(t.target + leftover).size(), 32u);
  // The temporary file of a writer that still runs (process 1 always does)
  // is not touched.
  writeText(t.target + "sample.map.1-0.tmp", "still being written");
  const Ran next = t.runServer();
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(entries(t.target), (std::set<std::string>{"sample.map", "sample.map.1-0.tmp"}));
}

TEST(FaultMatrix, MapPastAHardLimitNeverReachesACompileTool) {
  // One room at cell (1, 1, 0), 256 units out: a brush that ends 3840 units
  // into it reaches exactly as far as Quake II goes, one unit more too far.
  auto piece = [](int end) {
    return "{\n\"classname\" \"worldspawn\"\n" + test::boxBrush({0, 0, 0}, {end, 64, 64}) +
           "}\n{\n\"classname\" \"info_player_start\"\n\"origin\" \"32 32 32\"\n}\n";
  };
  Install t;
  t.writePiece(piece(3840));
  const Ran fits = t.runServer();
  EXPECT_EQ(fits.status, 0);
  EXPECT_EQ(fits.err, "");
  fs::remove(t.bin + "calls.log");
  // The settings go back as after any run that wrote a layout.
  const std::string saved = readText(t.ini());
  writeText(t.ini(), t.testIni());
  t.writePiece(piece(3841));
  const Ran ran = t.runServer();
  expectRefused(ran, "server: " + t.map() +
                         ": coordinates reaching 4,097 units from the origin along x, Quake II "
                         "allows 4,096; no smaller grid helps with this kit. No compile tool was "
                         "run; the map is kept for tools that take more");
  EXPECT_FALSE(fs::exists(t.bin + "calls.log"));
  EXPECT_NE(readText(t.map()).find("( 4097 320 64 )"), std::string::npos);
  EXPECT_EQ(readText(t.ini()), saved);
}

}  // namespace
}  // namespace cellforge
