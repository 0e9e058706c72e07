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

Status decodeLayout(std::string_view bytes, std::string_view name, const TemplateLibrary& library,
                    CellGrid& grid) {
  const std::string where(name);
  Stream in(bytes);
  std::string header;
  if (!in.readString(header) || header != kMtfMagic) return fail(where + ": not a layout file");
  GridCoord dims;
  if (!in.readTriple(dims.x, dims.y, dims.z))
    return fail(where + ": file ends inside the grid size");
  // Each side first: three sides near 2^31 overflow even a 64-bit product.
  if (dims.x < 1 || dims.y < 1 || dims.z < 1 || dims.x > kMaxLayoutCells ||
      dims.y > kMaxLayoutCells || dims.z > kMaxLayoutCells ||
      int64_t{dims.x} * dims.y * dims.z > kMaxLayoutCells)
    return fail(where + ": grid size " + std::to_string(dims.x) + " x " + std::to_string(dims.y) +
                " x " + std::to_string(dims.z) + " is out of range (each at least 1, at most " +
                std::to_string(kMaxLayoutCells) + " cells)");
  int32_t count = 0;
  if (!in.readInt32(count)) return fail(where + ": file ends inside the record count");
  const size_t held = in.remaining() / kMtfRecordSize;
  if (count < 0 || static_cast<size_t>(count) != held || in.remaining() % kMtfRecordSize != 0)
    return fail(where + ": record count " + std::to_string(count) + " does not match the " +
                std::to_string(in.remaining()) + " bytes of records in the file");

  CellGrid rebuilt;
  rebuilt.resize(dims);
  for (int32_t i = 0; i < count; ++i) {
    int32_t id = 0, first = 0;
    GridCoord at;
    // Cannot fail: the records were counted against the bytes above.
    (void)(in.readInt32(id) && in.readTriple(at.x, at.y, at.z) && in.readInt32(first));
    const std::string record =
        where + ": record " + std::to_string(i + 1) + " of " + std::to_string(count);
    const Template* t = library.findById(id);
    if (t == nullptr)
      return fail(record + " names template id " + std::to_string(id) +
                  ", which no template of the library has");
    for (const Cell& c : t->cells) {
      // In 64 bits: stored anchors and offsets may be anything.
      const int64_t px = int64_t{at.x} + c.x, py = int64_t{at.y} + c.y, pz = int64_t{at.z} + c.z;
      if (px < 0 || px >= dims.x || py < 0 || py >= dims.y || pz < 0 || pz >= dims.z)
        return fail(record + " puts a cell of template " + std::to_string(id) + " at (" +
                    std::to_string(px) + ", " + std::to_string(py) + ", " + std::to_string(pz) +
                    "), outside the grid");
    }
    rebuilt.place(at, *t);
  }
  grid = std::move(rebuilt);
  return success();
}

Status writeLayoutFile(const std::string& path, const CellGrid& grid) {
  return platform::replaceFile(path, encodeLayout(grid));
}

Status readLayoutFile(const std::string& path, const TemplateLibrary& library, CellGrid& grid) {
  auto bytes = platform::readFile(path);
  if (!bytes) return bytes.error();
  return decodeLayout(*bytes, path, library, grid);
}

}  // namespace cellforge
