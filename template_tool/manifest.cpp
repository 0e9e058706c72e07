#include "template_tool/manifest.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <vector>

#include "maptext/piece_model.h"

namespace cellforge {
namespace {

bool toInt(std::string_view s, int32_t& value) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, value);
  return ec == std::errc() && p == end;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

Expected<Template> parseManifest(std::string_view text, std::string_view where) {
  Template t;
  bool haveId = false, havePiece = false;
  size_t pos = 0;
  int lineNo = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    const std::string_view line = trimmed(text.substr(pos, nl - pos));
    pos = nl + 1;
    ++lineNo;
    const std::string at = std::string(where) + ":" + std::to_string(lineNo) + ": ";
    if (line.empty() || line.front() == '#') continue;
    const std::vector<std::string_view> w = maptext::splitWords(line);
    const std::string_view key = w[0];
    if (key == "id") {
      if (haveId) return fail(at + "second \"id\" line");
      if (w.size() != 2 || !toInt(w[1], t.id)) return fail(at + "\"id\" needs one integer");
      haveId = true;
    } else if (key == "piece") {
      if (havePiece) return fail(at + "second \"piece\" line");
      const std::string_view name = trimmed(line.substr(5));
      if (name.empty()) return fail(at + "\"piece\" needs a file name");
      // The template file ends the name at its first NUL.
      if (name.find('\0') != std::string_view::npos)
        return fail(at + "\"piece\" name holds a NUL byte");
      t.name = std::string(name);
      havePiece = true;
    } else if (key == "triple") {
      if (w.size() != 4 || !toInt(w[1], t.triple[0]) || !toInt(w[2], t.triple[1]) ||
          !toInt(w[3], t.triple[2]))
        return fail(at + "\"triple\" needs three integers");
    } else if (key == "cell") {
      Cell c;
      if (w.size() < 4 || !toInt(w[1], c.x) || !toInt(w[2], c.y) || !toInt(w[3], c.z))
        return fail(at + "\"cell\" needs its offset as three integers");
      for (size_t i = 4; i < w.size(); ++i) {
        const auto side = std::find_if(std::begin(kSides), std::end(kSides),
                                       [&](const Side& s) { return s.name == w[i]; });
        bool* flag = side != std::end(kSides) ? &(c.*side->open) : nullptr;
        if (flag != nullptr) {
          if (*flag) return fail(at + "side " + std::string(w[i]) + " named twice");
          *flag = true;
        } else if (w[i] == "templateId" || w[i] == "occupied") {
          int32_t& field = w[i] == "templateId" ? c.templateId : c.occupied;
          if (i + 1 >= w.size() || !toInt(w[i + 1], field))
            return fail(at + "\"" + std::string(w[i]) + "\" needs an integer");
          ++i;
        } else {
          return fail(at + "unknown word \"" + std::string(w[i]) +
                      "\" (sides are +y -y +x -x; also templateId N, occupied N)");
        }
      }
      t.cells.push_back(c);
    } else {
      return fail(at + "unknown key \"" + std::string(key) +
                  "\" (expected id, piece, triple or cell)");
    }
  }
  const std::string file(where);
  if (!haveId) return fail(file + ": no \"id\" line");
  if (!havePiece) return fail(file + ": no \"piece\" line");
  return t;
}

std::string formatManifest(const Template& t) {
  std::string out;
  out += "id " + std::to_string(t.id) + "\n";
  out += "piece " + t.name + "\n";
  out += "triple " + std::to_string(t.triple[0]) + " " + std::to_string(t.triple[1]) + " " +
         std::to_string(t.triple[2]) + "\n";
  for (const Cell& c : t.cells) {
    out += "cell " + std::to_string(c.x) + " " + std::to_string(c.y) + " " + std::to_string(c.z);
    for (const Side& side : kSides)
      if (c.*side.open) out += " " + std::string(side.name);
    if (c.templateId != 0) out += " templateId " + std::to_string(c.templateId);
    if (c.occupied != 0) out += " occupied " + std::to_string(c.occupied);
    out += "\n";
  }
  return out;
}

std::string formatLayout(const Layout& layout) {
  const GridCoord& d = layout.size;
  std::string out =
      "grid " + std::to_string(d.x) + " " + std::to_string(d.y) + " " + std::to_string(d.z) + "\n";
  for (const LayoutRecord& r : layout.records)
    out += "place " + std::to_string(r.templateId) + " at " + std::to_string(r.at.x) + " " +
           std::to_string(r.at.y) + " " + std::to_string(r.at.z) + (r.first ? " first" : "") + "\n";
  return out;
}

}  // namespace cellforge
