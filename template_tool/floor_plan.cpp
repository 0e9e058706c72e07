#include "template_tool/floor_plan.h"

namespace cellforge {
namespace {

constexpr int kPx = 48;      // one cell
constexpr int kMargin = 24;  // around and between panels
constexpr int kTitle = 20;

std::string colourOf(int32_t id) {
  const int hue = static_cast<int>((static_cast<uint32_t>(id) * 47u) % 360u);
  return "hsl(" + std::to_string(hue) + ",55%,78%)";
}

std::string line(int x1, int y1, int x2, int y2, const char* style) {
  return "<line x1=\"" + std::to_string(x1) + "\" y1=\"" + std::to_string(y1) + "\" x2=\"" +
         std::to_string(x2) + "\" y2=\"" + std::to_string(y2) + "\" " + style + "/>\n";
}

// A round marker with a letter, and what it means as a tooltip.
std::string marker(int cx, int cy, const char* colour, char letter, const std::string& title) {
  return "<g><title>" + title + "</title><circle cx=\"" + std::to_string(cx) + "\" cy=\"" +
         std::to_string(cy - 4) + "\" r=\"9\" fill=\"" + colour + "\"/><text x=\"" +
         std::to_string(cx) + "\" y=\"" + std::to_string(cy) +
         "\" font-size=\"11\" fill=\"white\" text-anchor=\"middle\">" + letter + "</text></g>\n";
}

}  // namespace

std::string renderFloorPlan(const CellGrid& grid, const TemplateLibrary& library,
                            const LevelPlan& level) {
  const GridCoord none{-1, -1, -1};
  const GridCoord start = level.placements.empty() ? none : level.placements.front().anchor;
  const GridCoord exit = level.exit ? level.placements[*level.exit].anchor : none;

  const GridCoord size = grid.size();
  const int panelW = size.x * kPx, panelH = size.y * kPx;
  const int width = kMargin + size.z * (panelW + kMargin);
  const int height = kMargin + kTitle + panelH + kMargin + kTitle + (level.keys.empty() ? 0 : 14);
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                    "\" height=\"" + std::to_string(height) + "\" font-family=\"sans-serif\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  const char* wall = "stroke=\"#222\" stroke-width=\"4\" stroke-linecap=\"square\"";
  const char* door = "stroke=\"#c33\" stroke-width=\"3\"";
  const char* gridLine = "stroke=\"#ccc\" stroke-width=\"1\"";
  const char* locked = "stroke=\"#d4a017\" stroke-width=\"7\"";
  for (int32_t z = 0; z < size.z; ++z) {
    const int left = kMargin + z * (panelW + kMargin), top = kMargin + kTitle;
    svg += "<text x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(top - 6) +
           "\" font-size=\"14\">storey " + std::to_string(z) + "</text>\n";
    svg += "<rect x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(top) + "\" width=\"" +
           std::to_string(panelW) + "\" height=\"" + std::to_string(panelH) +
           "\" fill=\"#f4f4f4\" " + gridLine + "/>\n";
    for (int32_t y = 0; y < size.y; ++y)
      for (int32_t x = 0; x < size.x; ++x) {
        // +y points up the page.
        const int px = left + x * kPx, py = top + (size.y - 1 - y) * kPx;
        const Placement* o = level.ownerOf({x, y, z});
        const Template* t = o == nullptr ? nullptr : library.findById(o->templateId);
        if (t == nullptr) continue;
        svg += "<rect x=\"" + std::to_string(px) + "\" y=\"" + std::to_string(py) + "\" width=\"" +
               std::to_string(kPx) + "\" height=\"" + std::to_string(kPx) + "\" fill=\"" +
               colourOf(o->templateId) + "\"><title>template " + std::to_string(o->templateId) +
               " (" + t->name + ") at " + std::to_string(o->anchor.x) + " " +
               std::to_string(o->anchor.y) + " " + std::to_string(o->anchor.z) +
               "</title></rect>\n";
        const Cell& c = grid.cellAt({x, y, z});
        auto sameOwner = [&](int32_t nx, int32_t ny) { return level.ownerOf({nx, ny, z}) == o; };
        // Each side's edge on the page: +y the top, +x the right.
        struct Edge {
          int x1, y1, x2, y2;
        };
        Edge edges[4];
        edges[posY] = {px, py, px + kPx, py};
        edges[negY] = {px, py + kPx, px + kPx, py + kPx};
        edges[posX] = {px + kPx, py, px + kPx, py + kPx};
        edges[negX] = {px, py, px, py + kPx};
        for (int side = 0; side < 4; ++side) {
          const GridCoord n = GridCoord{x, y, z} + kSides[side].step;
          if (sameOwner(n.x, n.y)) continue;
          const Edge& e = edges[side];
          if (!isOpen(c, side)) {
            svg += line(e.x1, e.y1, e.x2, e.y2, wall);
            continue;
          }
          // A doorway: wall stubs with the middle half open, marked red.
          const int q1x = e.x1 + (e.x2 - e.x1) / 4, q1y = e.y1 + (e.y2 - e.y1) / 4;
          const int q3x = e.x1 + 3 * (e.x2 - e.x1) / 4, q3y = e.y1 + 3 * (e.y2 - e.y1) / 4;
          svg += line(e.x1, e.y1, q1x, q1y, wall);
          svg += line(q3x, q3y, e.x2, e.y2, wall);
          // A locked doorway: a thick gold bar on the side the player
          // comes from, with its key's number as a tooltip.
          const int key = level.keyLocking({{x, y, z}, static_cast<SideIndex>(side)});
          svg += key == 0 ? line(q1x, q1y, q3x, q3y, door)
                          : "<g><title>locked: key " + std::to_string(key) + "</title>" +
                                line(q1x, q1y, q3x, q3y, locked) + "</g>\n";
        }
        auto joins = [&](int32_t dz) { return level.ownerOf({x, y, z + dz}) == o; };
        const bool up = joins(1), down = joins(-1);
        std::string mark = up && down ? "&#8597;" : up ? "&#9650; up" : down ? "&#9660; down" : "";
        if (!mark.empty())
          svg += "<text x=\"" + std::to_string(px + kPx / 2) + "\" y=\"" +
                 std::to_string(py + kPx - 8) + "\" font-size=\"10\" text-anchor=\"middle\">" +
                 mark + "</text>\n";
        if (start == GridCoord{x, y, z})
          svg += marker(px + kPx / 2, py + kPx / 2, "#22aa22", 'S', "player start");
        else if (exit == GridCoord{x, y, z})
          svg +=
              marker(px + kPx / 2, py + kPx / 2, "#aa2222", 'E', "exit at " + describeExit(level));
        else if (const int key = level.keyAt({x, y, z}); key != 0)
          svg += marker(px + kPx / 2, py + kPx / 2, "#b8860b", key == 1 ? 'K' : 'k',
                        "key " + std::to_string(key));
        else
          svg += "<text x=\"" + std::to_string(px + kPx / 2) + "\" y=\"" +
                 std::to_string(py + kPx / 2) + "\" font-size=\"10\" text-anchor=\"middle\">" +
                 std::to_string(o->templateId) + "</text>\n";
      }
  }
  const int legendY = kMargin + kTitle + panelH + kMargin + 4;
  svg += "<text x=\"" + std::to_string(kMargin) + "\" y=\"" + std::to_string(legendY) +
         "\" font-size=\"11\">black: wall, red: doorway, S: player start, E: exit, numbers: "
         "template id</text>\n";
  // On a line of its own: the first would run past a small grid's edge.
  if (!level.keys.empty())
    svg += "<text x=\"" + std::to_string(kMargin) + "\" y=\"" + std::to_string(legendY + 14) +
           "\" font-size=\"11\">K, k: first and second key, gold: locked doorway</text>\n";
  svg += "</svg>\n";
  return svg;
}

}  // namespace cellforge
