// The map builder on a full 10 x 10 x 2 layout, and the limits check on its
// map, against a plain copy of the same number of bytes, so the cost of
// parsing and moving stands out.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "client/client_app.h"
#include "client/map_census.h"
#include "layout/layout_file.h"
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

struct Folder {
  Folder() {
    // std only, so the benchmark needs no calls outside the platform seam.
    std::random_device seed;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("cfbench-" + std::to_string(seed()) + std::to_string(seed()));
    std::filesystem::create_directories(dir);
    root = dir.string();
    root += '/';
    for (const char* sub : {"bin", "tpl", "src", "maps"}) (void)platform::makeFolder(root + sub);
    (void)platform::replaceFile(root + "bin/Cellforge.INI",
                                "[globals]\ntemplate_directory=" + root +
                                    "tpl/\nsource_directory=" + root +
                                    "src/\ntarget_directory=" + root + "maps/\n");
    Template room;
    room.id = 1;
    room.name = "room.map";
    room.cells.push_back(Cell{});
    (void)platform::replaceFile(root + "src/room.mmd", encodeMmd(room));
    (void)platform::replaceFile(root + "src/room.map", kPiece);
    CellGrid grid;
    grid.resize({10, 10, 2});
    for (int32_t z = 0; z < 2; ++z)
      for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x) grid.place({x, y, z}, room);
    (void)writeLayoutFile(root + "tpl/sample.mtf", grid);
  }
  ~Folder() { std::filesystem::remove_all(root); }
  std::string root;
};

void BM_Client10x10x2(benchmark::State& state) {
  Folder f;
  for (auto _ : state) {
    std::ostringstream out, err;
    if (runClient({}, f.root + "bin/client", out, err) != 0) state.SkipWithError(err.str().c_str());
  }
  auto map = platform::readFile(f.root + "maps/sample.map");
  state.counters["map_bytes"] = static_cast<double>(map ? map->size() : 0);
}
BENCHMARK(BM_Client10x10x2)->Unit(benchmark::kMillisecond);

// Reads the finished map and writes the same bytes through the same
// temp-and-rename path.
void BM_PlainCopy(benchmark::State& state) {
  Folder f;
  std::ostringstream out, err;
  (void)runClient({}, f.root + "bin/client", out, err);
  for (auto _ : state) {
    auto bytes = platform::readFile(f.root + "maps/sample.map");
    if (!bytes || !platform::replaceFile(f.root + "maps/copy.map", *bytes))
      state.SkipWithError("copy failed");
  }
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);

// The limits check server runs on the finished map: reading it and counting
// brushes, entities and corners, beside the copy above.
void BM_MapCensus(benchmark::State& state) {
  Folder f;
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
BENCHMARK(BM_MapCensus)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace cellforge
