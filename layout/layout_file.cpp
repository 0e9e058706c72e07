#include "layout/layout_file.h"

#include "foundation/stream.h"
#include "platform/platform.h"

namespace cellforge {

std::vector<Cell> collectRecords(const CellGrid& grid) {
  std::vector<Cell> records;
  const GridCoord size = grid.size();
  for (int32_t x = 0; x < size.x; ++x)
    for (int32_t y = 0; y < size.y; ++y)
      for (int32_t z = 0; z < size.z; ++z)
        if (const Cell& c = grid.cellAt({x, y, z}); c.templateId != 0) records.push_back(c);
  return records;
}

std::string encodeLayout(const CellGrid& grid) {
  const std::vector<Cell> records = collectRecords(grid);
  Stream out;
  out.writeString(kMtfMagic);
  out.writeTriple(grid.size().x, grid.size().y, grid.size().z);
  out.writeInt32(static_cast<int32_t>(records.size()));
  for (size_t i = 0; i < records.size(); ++i) {
    const Cell& r = records[i];
    out.writeInt32(r.templateId);
    out.writeTriple(r.x, r.y, r.z);
    out.writeInt32(i == 0 ? 1 : 0);
  }
  return out.written();
}

namespace {

bool readHeader(Stream& in) {
  std::string header;
  return in.readString(header) && header == kMtfMagic;
}

}  // namespace

bool isLayoutFile(std::string_view bytes) {
  Stream in(bytes);
  return readHeader(in);
}

Expected<Layout> decodeLayout(std::string_view bytes, std::string_view name) {
  const std::string where(name);
  Stream in(bytes);
  if (!readHeader(in)) return fail(where + ": not a layout file");
  Layout layout;
  GridCoord& size = layout.size;
  if (!in.readTriple(size.x, size.y, size.z))
    return fail(where + ": file ends inside the grid size");
  // Each side first: three sides near 2^31 overflow even a 64-bit product.
  if (size.x < 1 || size.y < 1 || size.z < 1 || size.x > kMaxLayoutCells ||
      size.y > kMaxLayoutCells || size.z > kMaxLayoutCells ||
      int64_t{size.x} * size.y * size.z > kMaxLayoutCells)
    return fail(where + ": grid size " + std::to_string(size.x) + " x " + std::to_string(size.y) +
                " x " + std::to_string(size.z) + " is out of range (each at least 1, at most " +
                std::to_string(kMaxLayoutCells) + " cells)");
  int32_t count = 0;
  if (!in.readInt32(count)) return fail(where + ": file ends inside the record count");
  const size_t held = in.remaining() / kMtfRecordSize;
  if (count < 0 || static_cast<size_t>(count) != held || in.remaining() % kMtfRecordSize != 0)
    return fail(where + ": record count " + std::to_string(count) + " does not match the " +
                std::to_string(in.remaining()) + " bytes of records in the file");
  layout.records.resize(held);
  for (LayoutRecord& r : layout.records) {
    int32_t first = 0;
    // Cannot fail: the records were counted against the bytes above.
    (void)(in.readInt32(r.templateId) && in.readTriple(r.at.x, r.at.y, r.at.z) &&
           in.readInt32(first));
    r.first = first != 0;
  }
  return layout;
}

Status rebuildGrid(const Layout& layout, std::string_view name, const TemplateLibrary& library,
                   CellGrid& grid) {
  const GridCoord size = layout.size;
  const std::string count = std::to_string(layout.records.size());
  CellGrid rebuilt;
  rebuilt.resize(size);
  for (size_t i = 0; i < layout.records.size(); ++i) {
    const LayoutRecord& r = layout.records[i];
    const std::string record =
        std::string(name) + ": record " + std::to_string(i + 1) + " of " + count;
    const Template* t = library.findById(r.templateId);
    if (t == nullptr)
      return fail(record + " names template id " + std::to_string(r.templateId) +
                  ", which no template of the library has");
    for (const Cell& c : t->cells) {
      // In 64 bits: stored anchors and offsets may be anything.
      const int64_t px = int64_t{r.at.x} + c.x, py = int64_t{r.at.y} + c.y,
                    pz = int64_t{r.at.z} + c.z;
      if (px < 0 || px >= size.x || py < 0 || py >= size.y || pz < 0 || pz >= size.z)
        return fail(record + " puts a cell of template " + std::to_string(r.templateId) + " at (" +
                    std::to_string(px) + ", " + std::to_string(py) + ", " + std::to_string(pz) +
                    "), outside the grid");
    }
    rebuilt.place(r.at, *t);
  }
  grid = std::move(rebuilt);
  return success();
}

Status readLayout(std::string_view bytes, std::string_view name, const TemplateLibrary& library,
                  CellGrid& grid) {
  auto layout = decodeLayout(bytes, name);
  if (!layout) return layout.error();
  return rebuildGrid(*layout, name, library, grid);
}

Status writeLayoutFile(const std::string& path, const CellGrid& grid) {
  return platform::replaceFile(path, encodeLayout(grid));
}

Status readLayoutFile(const std::string& path, const TemplateLibrary& library, CellGrid& grid) {
  auto bytes = platform::readFile(path);
  if (!bytes) return bytes.error();
  return readLayout(*bytes, path, library, grid);
}

}  // namespace cellforge
