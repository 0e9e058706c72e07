#pragma once

#include <array>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/game_limits.h"
#include "maptext/piece_model.h"
#include "template_tool/brush_geometry.h"
#include "templates/records.h"

namespace cellforge {

// Every open side's passage sits here, in the cell's own coordinates: the
// middle 128 units of the face, from the top of the 16-unit floor slab up
// 128 units. Pieces that keep to it join any other piece.
inline constexpr int kDoorLow = 64, kDoorHigh = 192;
inline constexpr int kDoorBottom = 16, kDoorTop = 144;

// As many brushes and brush sides as a whole Quake II map holds; a piece
// beyond them is refused before any geometry is built, so the check ends
// quickly on anything.
inline constexpr size_t kMaxBrushes = 8192;
inline constexpr size_t kMaxBrushSides = 65536;
inline constexpr size_t kMaxPlanesPerBrush = 64;
// Brush volume the seal's voxel grid takes, in voxels summed over brushes.
inline constexpr double kMaxSealVoxels = double(1 << 27);

// One brush of the piece with what the rules ask of it.
struct BrushFacts {
  const maptext::Entity* entity = nullptr;
  const maptext::Brush* brush = nullptr;
  size_t line = 0;  // its "{"
  std::vector<const maptext::Line*> planeLines;
  ConvexBrush shape;
  bool hasVolume = false;
  bool seals = false;         // stops the compiler's flood: world, not liquid, clip or trigger
  bool blocksPlayer = false;  // world, not liquid or trigger
  // What it would block in the world: a door's brush while the door is shut.
  bool blocksShut = false;
};

// One template with its piece text, and what the rules derive from them once.
struct PieceFacts {
  PieceFacts(const Template& t, std::string_view mmd, const maptext::Piece& piece, Game game);

  const Template& t;
  std::string mmd;  // what problems about the template call it
  const maptext::Piece& piece;
  std::string file;  // what problems about the piece text call it
  Game game;
  std::map<std::array<int32_t, 3>, const Cell*> cells;
  GridCoord lo, hi;  // the cells' box, in cells
  // Cells that make a box the geometric rules can work in.
  bool cellsUsable = false;
  size_t brushCount = 0, sideCount = 0;
  // Every brush of every entity the map holds; none when there are more
  // than kMaxBrushes or kMaxBrushSides.
  std::vector<BrushFacts> brushes;

  bool withinBounds() const { return brushCount <= kMaxBrushes && sideCount <= kMaxBrushSides; }
  bool geometric() const { return cellsUsable && withinBounds(); }

  bool inTemplate(GridCoord g) const { return cells.count({g.x, g.y, g.z}) != 0; }
  // The entities the map holds (a second worldspawn is never written).
  std::vector<const maptext::Entity*> entities() const;
  // The entity's origin, and its line; false without a usable one.
  bool origin(const maptext::Entity& e, Vec3& at, const maptext::Line*& line) const;
};

// One rule of the kit check: its problems, each naming the file (and line).
struct PieceRule {
  const char* name;
  std::vector<std::string> (*check)(const PieceFacts&);
};
// Every rule, in the order their problems are reported.
std::span<const PieceRule> pieceRules();

// The problems of one template with its read piece text.
std::vector<std::string> checkPiece(const Template& t, std::string_view mmdName,
                                    const maptext::Piece& piece, Game game);

// Whether the piece's worldspawn names a wad, which only Quake's tools take.
bool namesWad(const maptext::Piece& piece);

// Checks every "*.mmd" of a folder (ending in a separator) and its piece
// text for `game`, or without one for Quake when a piece names a wad and
// Quake II otherwise. No lines means the kit is sound.
std::vector<std::string> checkKit(const std::string& folder, std::optional<Game> game);

}  // namespace cellforge
