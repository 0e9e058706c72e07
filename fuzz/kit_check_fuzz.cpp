// The piece-text model and the kit check on arbitrary text. The model reads
// every text as the map builder does (same entities, warnings, written lines
// and first fault), and the check ends on anything with one line per
// problem.
#include <cstdlib>
#include <string>
#include <string_view>

#include "client/piece_text.h"
#include "maptext/piece_model.h"
#include "template_tool/kit_check.h"

namespace {

using namespace cellforge;

void oneLine(const std::string& message) {
  if (message.empty() || message.find('\n') != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  PieceText client;
  client.read(text, "fuzz.map");
  std::string written;
  Status built = client.writeWorldBrushes(written, {1, -2, 3}, true);
  if (built) built = client.writeEntities(written, {1, -2, 3}, true);

  maptext::Piece piece = maptext::Piece::parse(std::string(text), "fuzz.map");
  if (piece.fault().empty() != built.ok()) std::abort();
  if (!built.ok() && piece.fault() != built.message()) std::abort();
  if (piece.warnings() != client.warnings()) std::abort();
  if (piece.entities().size() != client.blocks().size()) std::abort();
  if (!built.ok()) return 0;
  const std::array<int64_t, 3> offset{256, -512, 768};
  for (size_t b = 0; b < client.blocks().size(); ++b) {
    const maptext::Entity& e = piece.entities()[b];
    if (e.className != className(client.blocks()[b])) std::abort();
    if (e.unused) continue;
    const auto lines = piece.linesOf(e);
    for (size_t i = 0; i < lines.size(); ++i) {
      auto expected = translateLine(client.blocks()[b][i].text, offset);
      std::string out;
      maptext::appendMovedLine(out, lines[i], offset);
      if (!expected || out != *expected) std::abort();
    }
  }

  Template t;
  t.id = 1;
  t.name = "fuzz.map";
  t.cells.push_back(Cell{});
  t.cells.back().setOpenings(static_cast<uint16_t>(size % 16));
  for (Game game : {Game::quake2, Game::quake})
    for (const std::string& problem : checkPiece(t, "fuzz.mmd", piece, game)) oneLine(problem);
  return 0;
}
