#include "layout/layout_file.h"

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace cellforge {
namespace {

using namespace std::string_literals;
using test::TempDir;

const std::string kHeader = "\x1E\0\0\0ORVANDEL SOFTWORKS, MTF (1.0)\0"s;

std::string le(int32_t v) {
  std::string out;
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<char>((static_cast<uint32_t>(v) >> shift) & 0xFF));
  return out;
}

std::string record(int32_t id, int32_t x, int32_t y, int32_t z, int32_t first) {
  return le(id) + le(x) + le(y) + le(z) + le(first);
}

std::string layout(GridCoord dims, int32_t count, const std::string& records) {
  return kHeader + le(dims.x) + le(dims.y) + le(dims.z) + le(count) + records;
}

// Template 7: anchor opening +x, and a cell above it opening +y.
// Template 8: one cell opening -x.
TemplateLibrary library() {
  TemplateLibrary lib;
  Template seven = test::cellTemplate(7, 4);
  seven.cells.push_back(Cell{});
  seven.cells.back().z = 1;
  seven.cells.back().openPosY = true;
  lib.add(seven);
  lib.add(test::cellTemplate(8, 8));
  return lib;
}

CellGrid gridWith(GridCoord dims, std::vector<std::pair<int32_t, GridCoord>> placements) {
  const TemplateLibrary lib = library();
  CellGrid g;
  g.resize(dims);
  for (const auto& [id, at] : placements) g.place(at, *lib.findById(id));
  return g;
}

void expectSameGrid(const CellGrid& a, const CellGrid& b) {
  ASSERT_EQ(a.size(), b.size());
  a.forEachCell([&](GridCoord at, const Cell& c) {
    EXPECT_EQ(c, b.cellAt(at)) << at.x << "," << at.y << "," << at.z;
    EXPECT_EQ(a.frontier().isMarked(at), b.frontier().isMarked(at));
  });
}

TEST(LayoutFile, RecordsGoInXYZOrderWithFirstRecordOnTheFirst) {
  const CellGrid g = gridWith({4, 4, 2}, {{8, {2, 0, 0}}, {8, {1, 3, 1}}});
  EXPECT_EQ(encodeLayout(g), layout({4, 4, 2}, 2, record(8, 1, 3, 1, 1) + record(8, 2, 0, 0, 0)));
}

TEST(LayoutFile, EmptyLayoutIsFiftyBytesAndReadsAsEmptyGridOfStoredSize) {
  CellGrid empty;
  empty.resize({3, 5, 2});
  const std::string bytes = encodeLayout(empty);
  EXPECT_EQ(bytes, layout({3, 5, 2}, 0, ""));
  CellGrid g = gridWith({4, 4, 2}, {{8, {1, 1, 0}}});
  ASSERT_TRUE(readLayout(bytes, "e.mtf", library(), g).ok());
  expectSameGrid(g, empty);
}

TEST(LayoutFile, WriteThenReadRebuildsTheGridCellForCell) {
  TempDir dir;
  const CellGrid written = gridWith({4, 3, 2}, {{7, {0, 0, 0}}, {8, {1, 0, 0}}, {8, {3, 2, 1}}});
  ASSERT_TRUE(writeLayoutFile(dir / "sample.mtf", written).ok());
  CellGrid read;
  const Status s = readLayoutFile(dir / "sample.mtf", library(), read);
  ASSERT_TRUE(s.ok()) << s.message();
  expectSameGrid(read, written);
  EXPECT_EQ(read.occupiedCount(), 4);

  // firstRecord is never looked at.
  CellGrid zeros;
  ASSERT_TRUE(
      readLayout(layout({4, 3, 2}, 3,
                        record(7, 0, 0, 0, 0) + record(8, 1, 0, 0, 0) + record(8, 3, 2, 1, 0)),
                 "z.mtf", library(), zeros)
          .ok());
  expectSameGrid(zeros, written);
}

TEST(LayoutFile, RefusedFilesNameTheFaultAndLeaveTheGrid) {
  const std::string one = record(8, 1, 1, 0, 1);
  const std::string range = " is out of range (each at least 1, at most 1048576 cells)";
  const std::pair<std::string, std::string> cases[] = {
      {"", "l.mtf: not a layout file"},
      {"\x1E\0\0\0ORVANDEL SOFTWORKS, MMD (1.0)\0"s + std::string(20, '\0'),
       "l.mtf: not a layout file"},
      {layout({0, 4, 2}, 0, ""), "l.mtf: grid size 0 x 4 x 2" + range},
      {layout({4, -1, 2}, 0, ""), "l.mtf: grid size 4 x -1 x 2" + range},
      {layout({1024, 1024, 2}, 0, ""), "l.mtf: grid size 1024 x 1024 x 2" + range},
      {layout({65536, 65536, 65536}, 0, ""), "l.mtf: grid size 65536 x 65536 x 65536" + range},
      {layout({2147483647, 2147483647, 2147483647}, 0, ""),
       "l.mtf: grid size 2147483647 x 2147483647 x 2147483647" + range},
      {layout({4, 4, 2}, -1, ""),
       "l.mtf: record count -1 does not match the 0 bytes of records in the file"},
      {layout({4, 4, 2}, 2, one),
       "l.mtf: record count 2 does not match the 20 bytes of records in the file"},
      {layout({4, 4, 2}, 0, one),
       "l.mtf: record count 0 does not match the 20 bytes of records in the file"},
      {layout({4, 4, 2}, 1, one + "x"),
       "l.mtf: record count 1 does not match the 21 bytes of records in the file"},
      {layout({4, 4, 2}, 2, one + record(99, 0, 0, 0, 0)),
       "l.mtf: record 2 of 2 names template id 99, which no template of the library has"},
      {layout({4, 4, 2}, 1, record(7, 3, 3, 1, 1)),
       "l.mtf: record 1 of 1 puts a cell of template 7 at (3, 3, 2), outside the grid"},
      {layout({4, 4, 2}, 1, record(8, 2147483647, 0, 0, 1)),
       "l.mtf: record 1 of 1 puts a cell of template 8 at (2147483647, 0, 0), outside the grid"},
  };
  for (const auto& [bytes, message] : cases) {
    CellGrid g = gridWith({2, 2, 1}, {{8, {1, 0, 0}}});
    const CellGrid before = g;
    const Status s = readLayout(bytes, "l.mtf", library(), g);
    ASSERT_FALSE(s.ok()) << message;
    EXPECT_EQ(s.message(), message);
    expectSameGrid(g, before);
  }
}

TEST(LayoutFile, EveryCutOfARecordFileIsRefused) {
  const std::string whole = layout({4, 4, 2}, 1, record(8, 1, 1, 0, 1));
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    CellGrid g;
    const Status s = readLayout(whole.substr(0, cut), "c.mtf", library(), g);
    ASSERT_FALSE(s.ok()) << "cut at " << cut;
    const std::string field =
        cut < 34   ? "not a layout file"
        : cut < 46 ? "file ends inside the grid size"
        : cut < 50 ? "file ends inside the record count"
                   : "record count 1 does not match the " + std::to_string(cut - 50) + " bytes";
    EXPECT_EQ(s.message().rfind("c.mtf: " + field, 0), 0u) << s.message();
    EXPECT_EQ(g.size(), GridCoord{});
  }
}

// Failed writes are the fault matrix's (a full device, a read-only folder).
TEST(LayoutFile, MissingFileIsReportedAndLeavesTheGrid) {
  TempDir dir;
  const CellGrid g = gridWith({2, 2, 1}, {{8, {1, 0, 0}}});
  CellGrid kept = g;
  const Status missing = readLayoutFile(dir / "absent.mtf", library(), kept);
  EXPECT_EQ(missing.message(), dir / "absent.mtf" + ": cannot open: " + test::missingFileCause());
  expectSameGrid(kept, g);
}

}  // namespace
}  // namespace cellforge
