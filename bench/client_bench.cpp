// The map builder on levels of the shipped kit and on a full 10 x 10 x 2
// grid of one room, and the limits check on its map, each beside a plain
// copy of the same bytes, so the cost of parsing and moving stands out.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "client/client_app.h"
#include "client/map_census.h"
#include "layout/generator.h"
#include "layout/layout_file.h"
#include "layout/random_source.h"
#include "platform/platform.h"
#include "templates/mmd_file.h"

namespace cellforge {
namespace {

constexpr std::string_view kPiece = R"(// one room
{
"classname" "worldspawn"
"message" "bench"
{
( 0 0 0 ) ( 0 64 0 ) ( 64 0 0 ) base/floor 0 0 0 1 1
( 0 0 16 ) ( 64 0 16 ) ( 0 64 16 ) base/floor 0 0 0 1 1
( 0 0 0 ) ( 0 0 16 ) ( 0 64 0 ) base/wall 0 0 0 1 1
( 256 0 0 ) ( 256 64 0 ) ( 256 0 16 ) base/wall 0 0 0 1 1
( 0 0 0 ) ( 64 0 0 ) ( 0 0 16 ) base/wall 0 0 0 1 1
( 0 256 0 ) ( 0 256 16 ) ( 64 256 0 ) base/wall 0 0 0 1 1
}
{
( 0 0 240.5 ) ( 0 64 240.5 ) ( 64 0 240.5 ) base/ceil 0 0 0 1 1
( 0 0 256 ) ( 64 0 256 ) ( 0 64 256 ) base/ceil 0 0 0 1 1
( 0 0 0 ) ( 0 0 16 ) ( 0 64 0 ) base/ceil 0 0 0 1 1
( 256 0 0 ) ( 256 64 0 ) ( 256 0 16 ) base/ceil 0 0 0 1 1
( 0 0 0 ) ( 64 0 0 ) ( 0 0 16 ) base/ceil 0 0 0 1 1
( 0 256 0 ) ( 0 256 16 ) ( 64 256 0 ) base/ceil 0 0 0 1 1
}
}
{
"classname" "info_player_start"
"origin" "128 128 24"
}
{
"classname" "light"
"light" "300"
"origin" "128 128 200"
}
)";

// An install tree whose layout is a generated level of the Quake II kit,
// or the synthetic full grid of one room when no kit layout is asked for.
struct Folder {
  explicit Folder(int32_t x = 0, int32_t y = 0, int32_t z = 0, float share = 0) {
    // std only, so the benchmark needs no calls outside the platform seam.
    std::random_device seed;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("cfbench-" + std::to_string(seed()) + std::to_string(seed()));
    std::filesystem::create_directories(dir);
    root = dir.string();
    root += '/';
    for (const char* sub : {"bin", "tpl", "src", "maps"}) (void)platform::makeFolder(root + sub);
    const std::string source =
        x > 0 ? std::string(CELLFORGE_SOURCE_DIR) + "/maps/S2/" : root + "src/";
    (void)platform::replaceFile(root + "bin/Cellforge.INI",
                                "[globals]\ntemplate_directory=" + root +
                                    "tpl/\nsource_directory=" + source +
                                    "\ntarget_directory=" + root + "maps/\n");
    if (x > 0) {
      TemplateLibrary library;
      (void)library.load(source);
      RandomSource random(1);
      Generator generator({{x, y, z}, share}, library, random);
      if (generator.prepare() && generator.fill())
        (void)writeLayoutFile(root + "tpl/sample.mtf", generator.grid());
      return;
    }
    Template room;
    room.id = 1;
    room.name = "room.map";
    room.cells.push_back(Cell{});
    (void)platform::replaceFile(root + "src/room.mmd", encodeMmd(room));
    (void)platform::replaceFile(root + "src/room.map", kPiece);
    CellGrid grid;
    grid.resize({10, 10, 2});
    for (int32_t gz = 0; gz < 2; ++gz)
      for (int32_t gy = 0; gy < 10; ++gy)
        for (int32_t gx = 0; gx < 10; ++gx) grid.place({gx, gy, gz}, room);
    (void)writeLayoutFile(root + "tpl/sample.mtf", grid);
  }
  ~Folder() { std::filesystem::remove_all(root); }
  std::string root;
};

Folder folderFor(const benchmark::State& state) {
  if (state.range(0) == 0) return Folder();
  const auto side = static_cast<int32_t>(state.range(0));
  return Folder(side, side, 2, side == 4 ? 0.60f : 0.75f);
}

// Levels of the shipped kit (0: the synthetic grid of one room; 4: 4 x 4 x 2
// at 0.60; 10: 10 x 10 x 2 at 0.75), the client beside a plain copy of the
// map it writes: read whole and written through a temporary file the same way.
void BM_Client(benchmark::State& state) {
  Folder f = folderFor(state);
  for (auto _ : state) {
    std::ostringstream out, err;
    if (runClient({}, f.root + "bin/client", out, err) != 0) state.SkipWithError(err.str().c_str());
  }
  auto map = platform::readFile(f.root + "maps/sample.map");
  state.counters["map_bytes"] = static_cast<double>(map ? map->size() : 0);
}
BENCHMARK(BM_Client)->Arg(0)->Arg(4)->Arg(10)->Unit(benchmark::kMillisecond);

// The copy replaces its file as the client does: a temporary file renamed
// into place, not flushed to disk first.
void BM_PlainCopy(benchmark::State& state) {
  Folder f = folderFor(state);
  std::ostringstream out, err;
  (void)runClient({}, f.root + "bin/client", out, err);
  for (auto _ : state) {
    auto bytes = platform::readFile(f.root + "maps/sample.map");
    auto copy = platform::FileReplacement::begin(f.root + "maps/copy.map",
                                                 platform::FileReplacement::Durable::no);
    if (!bytes || !copy || !copy->write(*bytes) || !copy->commit())
      state.SkipWithError("copy failed");
  }
}
BENCHMARK(BM_PlainCopy)->Arg(0)->Arg(4)->Arg(10)->Unit(benchmark::kMillisecond);

// The limits check server runs on the finished map: reading it and counting
// brushes, entities and corners, beside the copy above.
void BM_MapCensus(benchmark::State& state) {
  Folder f = folderFor(state);
  std::ostringstream out, err;
  (void)runClient({}, f.root + "bin/client", out, err);
  for (auto _ : state) {
    auto bytes = platform::readFile(f.root + "maps/sample.map");
    auto census = bytes ? takeMapCensus(*bytes, "sample.map", kQuakeIILimits)
                        : Expected<MapCensus>(bytes.error());
    if (!census) state.SkipWithError(census.message().c_str());
    benchmark::DoNotOptimize(census);
  }
}
BENCHMARK(BM_MapCensus)->Arg(0)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace cellforge
