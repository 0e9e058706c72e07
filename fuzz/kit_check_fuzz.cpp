// The piece-text model and the kit check on arbitrary text: every fault and
// warning is one line, the map builder refuses what the model finds faulty,
// and the check ends on anything with one line per problem.
#include <cstdlib>
#include <string>
#include <string_view>

#include "client/piece_writer.h"
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
  maptext::Piece piece = maptext::Piece::parse(std::string(text), "fuzz.map");
  if (!piece.fault().empty()) oneLine(piece.fault());
  for (const std::string& warning : piece.warnings()) oneLine(warning);
  // The map builder refuses what the model finds faulty, in one line.
  auto writer = PieceWriter::make(std::string(text), "fuzz.map", Game::quake2);
  if (!piece.fault().empty() && writer.ok()) std::abort();
  if (!writer) oneLine(writer.message());

  Template t;
  t.id = 1;
  t.name = "fuzz.map";
  t.cells.push_back(Cell{});
  t.cells.back().setOpenings(static_cast<uint16_t>(size % 16));
  for (Game game : {Game::quake2, Game::quake})
    for (const std::string& problem : checkPiece(t, "fuzz.mmd", piece, game)) oneLine(problem);
  return 0;
}
