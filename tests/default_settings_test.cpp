#include <gtest/gtest.h>

#include <sstream>

#include "foundation/settings.h"
#include "platform/platform.h"
#include "server/server_app.h"
#include "tests/test_support.h"

namespace cellforge {
namespace {

using test::TempDir;

// The default file for a program in folder "@" (replaced by the real one).
constexpr std::string_view kDefaultIni =
    R"(; This INI file is utilized by Server.EXE, Client.EXE and Joinery.EXE
; It is highly recommended that prior to editing this file, you first
; create a backup.
;
[globals]
;
; The template directory specifies where the template files will be written.
template_directory=@../maps/templates/
;
; The source directory specifies the location of the prefab foundry.
source_directory=@../maps/S2/
;
; The target directory specifies where the map files will be written.
; It is highly recommended that this be set to C:\Quake2\baseq2\maps.
; Of course you should ensure that this corresponds to your machine's
; current configuration.
target_directory=%
;
; The game type will be used in the future to provide compatibility with
; Quake I and possibly Hexen2 and other 3d games.
; 2= Quake2, which is currently the only game being supported.
game_type=2
;
; The client path is actually the location of the Client.EXE application
; distributed with the current release of the Cellforge generator.
client_path=@client!
;
; This variable sets the location of the Quake I utility QBSP.EXE
quake_i_qbsp=@qbsp!
;
; This variable sets the location of the Quake I utility LIGHT.EXE
quake_i_light=@light!
;
; This variable sets the location of the Quake I utility VIS.EXE
quake_i_vis=@vis!
;
; This variable sets the location of the Quake II utility QBSP3.EXE
quake_ii_qbsp=@qbsp3!
;
; This variable sets the location of the Quake II utility QVIS3.EXE
quake_ii_vis=@qvis3!
;
; This variable sets the location of the Quake II utility QRAD3.EXE
quake_ii_light=@qrad3!
;
; This next set of variables set the bounding box of the resulting .MAP file
; It is highly recommended for this current release that you not exceed 10x10x2
; Also do not go below 3x3x2.
[template_settings]
x=4
y=4
z=2
; This next line sets the target percentage with which to fill the bouding box
; of the resulting .MAP file.
; It is highly recommended that you not exceed 0.75.
percent_to_fill=0.600000
;
; The game directory is the game's install folder: the quake2 folder that
; holds baseq2, or the quake folder that holds id1. Given, the compile
; tools get the textures they need from the game's own pak files and the
; level is compiled in the game's maps folder, ready to play.
[game]
;game_directory=
;
; How many keys (0, 1 or 2) the player must find to open the way to the
; exit. 0 leaves every door open.
;keys=1
)";

std::string expectedFor(const std::string& folder) { return test::fill(kDefaultIni, folder); }

struct ServerRun {
  int status;
  std::string out, err;
};

ServerRun server(std::vector<std::string> args, const std::string& programPath) {
  std::ostringstream out, err;
  const int status = runServer(args, programPath, out, err);
  return {status, out.str(), err.str()};
}

TEST(DefaultSettings, InitWritesTheDefaultFileAndTheFolders) {
  TempDir dir;
  // Deep enough for Windows' game folder three levels up, whose parent must exist.
  const std::string bin = dir / test::native("a/b/bin/");
  test::makeFolders(bin);
  test::makeFolders(dir / test::native("a/b/maps"));
  test::makeFolders(dir / "baseq2");
  test::writeText(bin + "Cellforge.INI", "[globals]\ngame_type=1\n[template_settings]\nx=9\n");
  const ServerRun run = server({"-INIT"}, bin + "server");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::string written = test::readText(bin + "Cellforge.INI");
  EXPECT_EQ(written, expectedFor(bin));
  for (const std::string& folder : platform::initFolders(bin))
    EXPECT_TRUE(platform::isFolder(folder)) << folder;
  EXPECT_TRUE(platform::isFolder(dir / test::native("a/b/maps/templates")));

  // Read back, the file gives exactly the defaults (every field is in the
  // text): the same file again.
  Settings fromFile;
  setIniPath(fromFile, bin + "server");
  ASSERT_TRUE(loadSettings(fromFile).ok());
  EXPECT_EQ(defaultSettingsText(fromFile), written);
}

TEST(DefaultSettings, InitIsFoundAnywhereInAnyCase) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-init"}, {"--help", "x-InIt!"}, {"a", "-INITx"}}) {
    TempDir dir;
    test::makeFolders(dir / "bin");
    const std::string bin = dir / test::native("bin/");
    const ServerRun run = server(args, bin + "server");
    EXPECT_EQ(run.status, 0) << args.back();
    EXPECT_EQ(test::readText(bin + "Cellforge.INI"), expectedFor(bin));
    // Without its parent the template folder is not made.
    EXPECT_FALSE(platform::exists(dir / "maps"));
  }
}

TEST(DefaultSettings, InitIntoReadOnlyFolderKeepsTheOldFile) {
  if (!test::folderPermissionsApply()) GTEST_SKIP() << "folders here have no write permission";
  TempDir dir;
  test::makeFolders(dir / "bin");
  test::writeText(dir / "bin/Cellforge.INI", "[globals]\ngame_type=1\n");
  test::makeReadOnly(dir / "bin");
  const std::string ini = dir / "bin/Cellforge.INI";
  const int rc = test::asUnprivilegedUser([&] {
    const ServerRun run = server({"-INIT"}, dir / "bin/server");
    if (run.status != 1 || run.out != "") return 3;
    const std::string prefix = "server: Unable to write default INI file! (" + ini + ": ";
    if (run.err.rfind(prefix, 0) != 0) return 4;
    if (run.err.find('\n') != run.err.size() - 1) return 5;
    return 0;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(test::readText(ini), "[globals]\ngame_type=1\n");
}

TEST(DefaultSettings, HelpAndVersion) {
  TempDir dir;
  const ServerRun help = server({"--help"}, dir / "server");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: server", 0), 0u);
  const ServerRun version = server({"--version"}, dir / "server");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("server (Cellforge) ") + CELLFORGE_VERSION + "\n");
  EXPECT_FALSE(platform::exists(dir / "Cellforge.INI"));
}

}  // namespace
}  // namespace cellforge
