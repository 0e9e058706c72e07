// Layout generation on libraries built in code. The draws of a layout are
// fixed by its seed, so the figure to watch is the time per draw.
#include <benchmark/benchmark.h>

#include <tuple>

#include "layout/generator.h"
#include "layout/random_source.h"

namespace cellforge {
namespace {

Cell cellAt(int32_t x, int32_t y, int32_t z, uint16_t openings) {
  Cell c;
  c.x = x;
  c.y = y;
  c.z = z;
  c.setOpenings(openings);
  return c;
}

void add(TemplateLibrary& lib, std::vector<Cell> cells) {
  Template t;
  t.id = static_cast<int32_t>(lib.size()) + 1;
  t.name = "t.map";
  t.cells = std::move(cells);
  lib.add(std::move(t));
}

// Openings as bits: 1 +y, 2 -y, 4 +x, 8 -x.
constexpr uint16_t N = 1, S = 2, E = 4, W = 8;

void addStairs(TemplateLibrary& lib) {
  for (auto [low, high] : {std::pair{S, N}, {N, S}, {E, W}, {W, E}}) {
    add(lib, {cellAt(0, 0, 0, low), cellAt(0, 0, 1, high)});
    add(lib, {cellAt(0, 0, 0, high), cellAt(0, 0, -1, low)});
  }
}

// All fifteen single-cell opening combinations and stairs up and down.
TemplateLibrary simpleLibrary() {
  TemplateLibrary lib;
  for (uint16_t o = 1; o <= 15; ++o) add(lib, {cellAt(0, 0, 0, o)});
  addStairs(lib);
  return lib;
}

// Halls, two-by-two rooms and corners, and no single crossing: many attempts
// end at a marked cell that nothing fits, and most are thrown away.
TemplateLibrary hardLibrary() {
  TemplateLibrary lib;
  // Every single cell but the crossing: a marked cell with openings on all
  // four sides takes only a larger room, if any.
  for (uint16_t o = 1; o < 15; ++o) add(lib, {cellAt(0, 0, 0, o)});
  add(lib, {cellAt(0, 0, 0, W | E), cellAt(1, 0, 0, W | E), cellAt(2, 0, 0, W | E)});
  add(lib, {cellAt(0, 0, 0, S | N), cellAt(0, 1, 0, S | N), cellAt(0, 2, 0, S | N)});
  add(lib, {cellAt(0, 0, 0, W | E | N), cellAt(1, 0, 0, W | N), cellAt(0, 1, 0, S | E),
            cellAt(1, 1, 0, W | S | E)});
  add(lib, {cellAt(0, 0, 0, S | E | N), cellAt(1, 0, 0, W | N), cellAt(0, 1, 0, S | E | W),
            cellAt(1, 1, 0, W | S)});
  add(lib, {cellAt(0, 0, 0, E | S), cellAt(1, 0, 0, W | N), cellAt(1, 1, 0, S | N | E)});
  add(lib, {cellAt(0, 0, 0, N | W), cellAt(0, 1, 0, S | E), cellAt(1, 1, 0, W | N | S)});
  addStairs(lib);
  return lib;
}

void generate(benchmark::State& state, const TemplateLibrary& lib, GridGoal goal) {
  constexpr uint32_t kSeed = 20240601;
  uint64_t draws = 0, layouts = 0;
  int64_t discarded = 0;
  for (auto _ : state) {
    RandomSource random(kSeed);
    Generator g(goal, lib, random);
    if (Status s = g.prepare(); !s) {
      state.SkipWithError(s.message().c_str());
      return;
    }
    if (!g.fill()) {
      state.SkipWithError(("gave up after " + g.shortfall().spent).c_str());
      return;
    }
    benchmark::DoNotOptimize(g.grid().occupiedCount());
    draws += random.draws();
    discarded += g.discardedAttempts();
    ++layouts;
  }
  state.counters["draws"] = static_cast<double>(draws) / static_cast<double>(layouts);
  state.counters["discarded"] = static_cast<double>(discarded) / static_cast<double>(layouts);
  // CPU time per draw, in nanoseconds.
  state.counters["ns_per_draw"] = benchmark::Counter(
      static_cast<double>(draws) * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

const TemplateLibrary& simple() {
  static const TemplateLibrary lib = simpleLibrary();
  return lib;
}
const TemplateLibrary& hard() {
  static const TemplateLibrary lib = hardLibrary();
  return lib;
}

void BM_Simple_4x4x2_060(benchmark::State& s) { generate(s, simple(), {{4, 4, 2}, 0.60f}); }
void BM_Simple_10x10x2_075(benchmark::State& s) { generate(s, simple(), {{10, 10, 2}, 0.75f}); }
void BM_Simple_16x16x4_060(benchmark::State& s) { generate(s, simple(), {{16, 16, 4}, 0.60f}); }
void BM_Hard_4x4x2_060(benchmark::State& s) { generate(s, hard(), {{4, 4, 2}, 0.60f}); }
void BM_Hard_10x10x2_075(benchmark::State& s) { generate(s, hard(), {{10, 10, 2}, 0.75f}); }
void BM_Hard_16x16x4_060(benchmark::State& s) { generate(s, hard(), {{16, 16, 4}, 0.60f}); }

BENCHMARK(BM_Simple_4x4x2_060)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Simple_10x10x2_075)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Simple_16x16x4_060)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Hard_4x4x2_060)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hard_10x10x2_075)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hard_16x16x4_060)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace cellforge
