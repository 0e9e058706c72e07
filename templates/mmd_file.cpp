#include "templates/mmd_file.h"

#include "foundation/stream.h"

namespace cellforge {

Expected<Template> parseMmd(std::string_view bytes, std::string_view name) {
  const std::string where(name);
  Stream in(bytes);
  std::string magic;
  if (!in.readString(magic) || magic != kMmdMagic)
    return fail(where + ": not a template file (no \"" + std::string(kMmdMagic) + "\" header)");

  Template t;
  if (!in.readInt32(t.id)) return fail(where + ": file ends inside the template id");
  if (Stream peek = in; !in.readString(t.name)) {
    int32_t length = 0;
    if (peek.readInt32(length) && length < 1)
      return fail(where + ": piece name length " + std::to_string(length) + " is below 1");
    return fail(where + ": file ends inside the piece name");
  }
  if (!in.readTriple(t.triple[0], t.triple[1], t.triple[2]))
    return fail(where + ": file ends inside the triple");
  int32_t count = 0;
  if (!in.readInt32(count)) return fail(where + ": file ends inside the cell count");
  if (count > 0) {
    const size_t wanted = static_cast<size_t>(count);
    const size_t held = in.remaining() / kMmdCellRecordSize;
    if (held < wanted)
      return fail(where + ": file ends inside cell record " + std::to_string(held + 1) + " of " +
                  std::to_string(wanted));
    t.cells.reserve(wanted);
    for (size_t i = 0; i < wanted; ++i) {
      Cell c;
      uint16_t openings = 0;
      // Cannot fail: the records were counted against the bytes above.
      (void)(in.readUInt16(openings) && in.readTriple(c.x, c.y, c.z) &&
             in.readInt32(c.templateId) && in.readInt32(c.occupied));
      c.setOpenings(openings);
      t.cells.push_back(c);
    }
  }
  return t;
}

std::string encodeMmd(const Template& t) {
  Stream out;
  out.writeString(kMmdMagic);
  out.writeInt32(t.id);
  out.writeString(t.name);
  out.writeTriple(t.triple[0], t.triple[1], t.triple[2]);
  out.writeInt32(static_cast<int32_t>(t.cells.size()));
  for (const Cell& c : t.cells) {
    out.writeUInt16(c.openings());
    out.writeTriple(c.x, c.y, c.z);
    out.writeInt32(c.templateId);
    out.writeInt32(c.occupied);
  }
  return out.written();
}

}  // namespace cellforge
