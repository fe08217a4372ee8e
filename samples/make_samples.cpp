// make_samples: writes the sample drawings that `make run`, the benchmarks and
// the fuzzer start from. Deterministic: the same bytes on every run and machine
// (no libm, no standard distributions; every coordinate is formed from exact
// float operations on integers and fixed constants).
//
//   make_samples [DIR]          write floorplan.jwc, floorplan-int.jwc, a0-large.jwc
//   make_samples --check DIR    exit 1 unless the files in DIR are what it would write
//
// Floor plan: A3 (420 × 297 mm), WindowWidth 1680, so one millimetre of paper is
// 4 drawing units and the paper is 1680 × 1188 units. The house is drawn at 1:50
// (group 0 scale 50): one metre of house is 20 mm of paper, 80 drawing units.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

constexpr float kUnitsPerMm = 4.0f;  // drawing units per millimetre of A3 paper

// Layer bytes (group × 16 + layer).
constexpr std::uint8_t kWalls = 0x00, kOpenings = 0x01, kDimensions = 0x02, kRoomTexts = 0x03,
                       kGrid = 0x04, kFurniture = 0x05, kAux = 0x08, kMemo = 0x0E;
constexpr std::uint8_t kFrame = 0x10, kTitle = 0x11, kLegend = 0x12, kNotes = 0x13;
constexpr std::uint8_t kSite = 0x20;

constexpr std::uint8_t kVertical = 0x20;  // text flag: vertical writing

// Text styles used: index → (pen, width, height, spacing) in tenths of a mm.
struct StyleDef {
  std::int16_t pen, width, height, spacing;
};
constexpr StyleDef kStyles[11] = {
    {7, 30, 35, 10},   // 0: narrow, wide-spaced
    {1, 20, 20, 0},    // 1
    {1, 25, 25, 0},    // 2: dimensions
    {2, 30, 30, 5},    // 3
    {2, 40, 40, 0},    // 4: room names
    {3, 50, 50, 0},    // 5
    {3, 60, 60, 10},   // 6
    {4, 70, 70, 0},    // 7: title
    {5, 80, 80, 0},    // 8
    {6, 90, 90, 0},    // 9
    {7, 100, 100, 0},  // 10
};

// A point of the house, metres from its lower-left outer corner, in drawing units.
struct Point {
  float x, y;
};
constexpr float kHouseX = 280.0f, kHouseY = 300.0f;  // drawing units
constexpr float kUnitsPerMetre = 80.0f;              // 1:50 on A3 at 4 units per mm
Point House(float x_m, float y_m) {
  return {kHouseX + x_m * kUnitsPerMetre, kHouseY + y_m * kUnitsPerMetre};
}

// Length of a CP932 text on paper, in drawing units: a double-byte character
// is one character width, a single-byte one half of it.
float TextLength(std::string_view cp932, const StyleDef& style, bool vertical) {
  int halves = 0, characters = 0;
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    const auto byte = static_cast<unsigned char>(cp932[i]);
    const bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    if (lead && i + 1 < cp932.size()) ++i;
    halves += lead ? 2 : 1;
    ++characters;
  }
  const float spacing = style.spacing * (characters - 1) / 10.0f;
  const float extent = vertical ? style.height * characters / 10.0f : style.width * halves / 20.0f;
  return (extent + spacing) * kUnitsPerMm;
}

class FloorPlan {
 public:
  explicit FloorPlan(JwcVariant variant) : m_w(variant) {}

  JwcWriter Build() {
    Head();
    Frame();
    TitleBlock();
    Legend();
    Grid();
    Walls();
    Doors();
    Windows();
    Furniture();
    Dimensions();
    RoomTexts();
    Notes();
    AuxiliaryAndHidden();
    return m_w;
  }

 private:
  void Line(Point a, Point b, std::uint8_t layer, std::uint8_t pen = 1, std::uint8_t type = 1) {
    m_w.AddLine({.X1 = a.x,
                 .Y1 = a.y,
                 .X2 = b.x,
                 .Y2 = b.y,
                 .LineType = type,
                 .PenColor = pen,
                 .Layer = layer});
  }
  void Rect(Point a, Point b, std::uint8_t layer, std::uint8_t pen = 1, std::uint8_t type = 1) {
    Line(a, {b.x, a.y}, layer, pen, type);
    Line({b.x, a.y}, b, layer, pen, type);
    Line(b, {a.x, b.y}, layer, pen, type);
    Line({a.x, b.y}, a, layer, pen, type);
  }
  // Angles in degrees; flatness = second semi-axis / radius; tilt in degrees.
  void Arc(Point c, float radius, float start, float end, std::uint8_t layer, std::uint8_t pen = 1,
           float flatness = 1.0f, float tilt = 0.0f, std::uint8_t type = 1) {
    m_w.AddArc({.CenterX = c.x,
                .CenterY = c.y,
                .Radius = radius,
                .Flatness = flatness,
                .StartAngle = start,
                .EndAngle = end,
                .Tilt = tilt,
                .LineType = type,
                .PenColor = pen,
                .Layer = layer});
  }
  void Circle(Point c, float radius, std::uint8_t layer, std::uint8_t pen = 1) {
    Arc(c, radius, 0, 0, layer, pen);
  }
  // A text whose baseline starts at `at` and runs along (dx, dy) (a unit vector);
  // vertical writing runs downward from `at`.
  void Text(Point at, std::string_view utf8, int style, std::uint8_t layer, float dx = 1,
            float dy = 0, std::uint8_t flags = 0) {
    const std::string text = Cp932(utf8);
    const float length = TextLength(text, kStyles[style], (flags & kVertical) != 0);
    const Point end = (flags & kVertical) ? Point{at.x, at.y - length}
                                          : Point{at.x + dx * length, at.y + dy * length};
    m_w.AddText({.X1 = at.x,
                 .Y1 = at.y,
                 .X2 = end.x,
                 .Y2 = end.y,
                 .Text = text,
                 .Style = static_cast<std::uint8_t>(style),
                 .Layer = layer,
                 .Flags = flags});
  }
  // Horizontal text centred on `c`.
  void CentredText(Point c, std::string_view utf8, int style, std::uint8_t layer) {
    const float length = TextLength(Cp932(utf8), kStyles[style], false);
    const float height = kStyles[style].height / 10.0f * kUnitsPerMm;
    Text({c.x - length / 2, c.y - height / 2}, utf8, style, layer);
  }
  void Dot(Point p, std::uint8_t layer, std::uint8_t pen) {
    m_w.AddDot({.X = p.x, .Y = p.y, .Layer = layer, .PenColor = pen});
  }

  void Head() {
    m_w.Paper(3).WindowWidth(1680).Plotter("420.0", "297.0");
    for (int i = 0; i < 11; ++i) {
      m_w.TextStyle(i, kStyles[i].pen, kStyles[i].width, kStyles[i].height, kStyles[i].spacing);
    }
    m_w.GroupScale(0, 50).GroupScale(1, 1).GroupScale(2, 50);
    m_w.GroupName(0, Cp932("平面図 1/50")).GroupName(1, Cp932("図枠")).GroupName(2, Cp932("敷地"));
    const std::pair<std::uint8_t, const char*> names[] = {
        {kWalls, "壁"},    {kOpenings, "建具"},  {kDimensions, "寸法"}, {kRoomTexts, "室名"},
        {kGrid, "通り芯"}, {kFurniture, "家具"}, {kAux, "補助線"},      {kMemo, "メモ"},
        {kFrame, "図枠"},  {kTitle, "表題"},     {kLegend, "凡例"},     {kNotes, "注記"},
        {kSite, "境界"}};
    for (const auto& [layer, name] : names) m_w.LayerName(layer, Cp932(name));
    // A layer name with spaces and NULs in it, as old files have them.
    m_w.LayerName(0x06, std::string("ab  \0\0\0\0", 8));
    // Hidden by the drawing's own view states: the auxiliary lines (0), the memo
    // layer (2) and the whole site group (0). Search states mirror the views.
    m_w.LayerView(kAux, 0).LayerSearch(kAux, 0);
    m_w.LayerView(kMemo, 2).LayerSearch(kMemo, 2);
    m_w.GroupView(2, 0).GroupSearch(2, 0);
  }

  // Paper border 10 mm in, and a thin inner line.
  void Frame() {
    Rect({40, 40}, {1640, 1148}, kFrame, 3);
    Rect({48, 48}, {1632, 1140}, kFrame, 1);
  }

  void TitleBlock() {
    const float left = 1320, right = 1632, bottom = 48, top = 288;
    Rect({left, bottom}, {right, top}, kTitle, 2);
    for (float y : {96.0f, 144.0f, 192.0f, 240.0f}) Line({left, y}, {right, y}, kTitle, 1);
    Line({1420, bottom}, {1420, top}, kTitle, 1);
    Text({1330, 258}, "図面名", 3, kTitle);
    Text({1432, 250}, "平面図", 7, kTitle);
    Text({1330, 210}, "縮尺", 3, kTitle);
    Text({1432, 210}, "S=1/50 (A3)", 4, kTitle);
    Text({1330, 162}, "工事名", 3, kTitle);
    Text({1432, 162}, "Pelmora邸 新築工事", 4, kTitle);
    Text({1330, 114}, "日付", 3, kTitle);
    Text({1432, 114}, "2024.04.01", 4, kTitle);
    Text({1330, 66}, "図番", 3, kTitle);
    Text({1432, 62}, "A-101", 5, kTitle);
    Text({1330, 1090}, "JW", 10, kTitle);
    Text({1530, 1094}, "A3", 9, kTitle);
    // North arrow: a circle, a needle and an upright "N".
    const Point north{1440, 1010};
    Circle(north, 56, kTitle, 2);
    Line({north.x, north.y - 56}, {north.x, north.y + 72}, kTitle, 2);
    Line({north.x - 20, north.y + 36}, {north.x, north.y + 72}, kTitle, 2);
    Line({north.x + 20, north.y + 36}, {north.x, north.y + 72}, kTitle, 2);
    CentredText({north.x, north.y + 100}, "N", 5, kTitle);
  }

  // Every line type 0..9 and every pen 1..7, labelled.
  void Legend() {
    const float x = 1330, label = 1490;
    Text({x, 920}, "凡例", 4, kLegend);
    for (int type = 0; type <= 9; ++type) {
      const float y = 890 - 22.0f * type;
      Line({x, y}, {x + 140, y}, kLegend, 1, static_cast<std::uint8_t>(type));
      Text({label, y - 6}, "線種 " + std::to_string(type), 2, kLegend);
    }
    for (int pen = 1; pen <= 7; ++pen) {
      const float y = 660 - 22.0f * pen;
      Line({x, y}, {x + 140, y}, kLegend, static_cast<std::uint8_t>(pen), 1);
      Text({label, y - 6}, "ペン " + std::to_string(pen), 2, kLegend);
    }
  }

  // Structural grid: chain lines through the walls with labelled balloons, and
  // a dot at every crossing.
  void Grid() {
    const float xs[] = {0, 4, 8, 12};
    const float ys[] = {0, 4.5f, 8};
    for (int i = 0; i < 4; ++i) {
      Line(House(xs[i], -1.9f), House(xs[i], 9.4f), kGrid, 1, 6);
      const Point balloon = House(xs[i], 9.4f + 0.3f);
      Circle(balloon, 24, kGrid, 1);
      CentredText(balloon, "X" + std::to_string(i + 1), 2, kGrid);
    }
    for (int j = 0; j < 3; ++j) {
      Line(House(-2.2f, ys[j]), House(12.4f, ys[j]), kGrid, 1, 5);
      const Point balloon = House(-2.2f - 0.3f, ys[j]);
      Circle(balloon, 24, kGrid, 1);
      CentredText(balloon, "Y" + std::to_string(j + 1), 2, kGrid);
    }
    for (float x : xs) {
      for (float y : ys) Dot(House(x, y), kGrid, 2);
    }
  }

  // A wall 150 mm thick along an axis-aligned centre line, with openings given
  // as [from, to] along the wall in metres. Faces in pen 2, cut ends closed.
  void Wall(Point a_m, Point b_m, std::vector<std::pair<float, float>> openings) {
    const bool horizontal = a_m.y == b_m.y;
    const float half = 0.075f;
    const float from = horizontal ? a_m.x : a_m.y, to = horizontal ? b_m.x : b_m.y;
    std::vector<std::pair<float, float>> pieces;
    float start = from - half;
    for (const auto& [o1, o2] : openings) {
      pieces.push_back({start, o1});
      start = o2;
    }
    pieces.push_back({start, to + half});
    const float across = horizontal ? a_m.y : a_m.x;
    auto at = [&](float along, float side) {
      return horizontal ? House(along, across + side) : House(across + side, along);
    };
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const auto [p1, p2] = pieces[i];
      Line(at(p1, -half), at(p2, -half), kWalls, 2);
      Line(at(p1, half), at(p2, half), kWalls, 2);
      if (i > 0) Line(at(p1, -half), at(p1, half), kWalls, 2);
      if (i + 1 < pieces.size()) Line(at(p2, -half), at(p2, half), kWalls, 2);
    }
  }

  void Walls() {
    // Exterior, 12.0 × 8.0 m, with window and door openings.
    Wall({0, 0}, {12, 0}, {{1.0f, 4.0f}, {5.0f, 7.0f}, {9.0f, 11.0f}});
    Wall({0, 8}, {12, 8}, {{1.0f, 2.5f}, {4.0f, 5.0f}, {7.3f, 8.2f}, {9.5f, 11.0f}});
    Wall({0, 0}, {0, 8}, {{1.5f, 3.0f}, {5.5f, 7.0f}});
    Wall({12, 0}, {12, 8}, {{1.5f, 3.0f}, {5.5f, 7.0f}});
    // Interior.
    Wall({0, 4.5f}, {12, 4.5f}, {{2.4f, 3.2f}, {4.0f, 4.7f}, {5.8f, 6.5f}, {7.1f, 7.9f}});
    Wall({8, 0}, {8, 4.5f}, {{3.4f, 4.2f}});
    Wall({3.5f, 4.5f}, {3.5f, 8}, {});
    Wall({5.5f, 4.5f}, {5.5f, 8}, {});
    Wall({7, 4.5f}, {7, 8}, {});
    Wall({8.5f, 4.5f}, {8.5f, 8}, {{5.0f, 5.8f}});
  }

  // Doors: a leaf line from the hinge and a quarter arc of its swing.
  void Door(Point hinge_m, float width_m, float start, int leaf_direction) {
    const Point hinge = House(hinge_m.x, hinge_m.y);
    const float r = width_m * kUnitsPerMetre;
    // Leaf along the end direction of the swing: 0 = +x, 1 = +y, 2 = -x, 3 = -y.
    const Point directions[4] = {{r, 0}, {0, r}, {-r, 0}, {0, -r}};
    const Point d = directions[leaf_direction];
    Line(hinge, {hinge.x + d.x, hinge.y + d.y}, kOpenings, 3);
    Arc(hinge, r, start, start + 90, kOpenings, 1);
  }

  void Doors() {
    Door({7.3f, 8.0f}, 0.9f, 270, 3);  // entrance, opens inward (down)
    Door({2.4f, 4.5f}, 0.8f, 0, 1);    // bedroom 1
    Door({4.7f, 4.5f}, 0.7f, 90, 1);   // bathroom
    Door({5.8f, 4.5f}, 0.7f, 0, 1);    // toilet
    Door({7.1f, 4.5f}, 0.8f, 270, 3);  // hall → living room
    Door({8.5f, 5.0f}, 0.8f, 0, 0);    // bedroom 2
    Door({8.0f, 4.2f}, 0.8f, 270, 0);  // main bedroom
  }

  // Windows: the two wall faces across the opening and the glass between them.
  void Window(Point a_m, Point b_m) {
    const bool horizontal = a_m.y == b_m.y;
    for (float side : {-0.075f, 0.0f, 0.075f}) {
      const Point s = horizontal ? House(a_m.x, a_m.y + side) : House(a_m.x + side, a_m.y);
      const Point e = horizontal ? House(b_m.x, b_m.y + side) : House(b_m.x + side, b_m.y);
      Line(s, e, kOpenings, side == 0.0f ? 4 : 1);
    }
  }

  void Windows() {
    Window({1.0f, 0}, {4.0f, 0});
    Window({5.0f, 0}, {7.0f, 0});
    Window({9.0f, 0}, {11.0f, 0});
    Window({1.0f, 8}, {2.5f, 8});
    Window({4.0f, 8}, {5.0f, 8});
    Window({9.5f, 8}, {11.0f, 8});
    Window({0, 1.5f}, {0, 3.0f});
    Window({0, 5.5f}, {0, 7.0f});
    Window({12, 1.5f}, {12, 3.0f});
    Window({12, 5.5f}, {12, 7.0f});
  }

  void Furniture() {
    // Kitchen counter along the living room's top wall, sink as a small ellipse.
    Rect(House(4.2f, 3.75f), House(6.9f, 4.42f), kFurniture, 5);
    Arc(House(4.9f, 4.08f), 16, 0, 0, kFurniture, 5, 0.6f);
    // Oval dining table turned 30 degrees, with its long axis drawn as a centre line.
    const Point table = House(2.4f, 2.7f);
    Arc(table, 72, 0, 0, kFurniture, 5, 0.55f, 30);
    Line({table.x - 62.35383f, table.y - 36.0f}, {table.x + 62.35383f, table.y + 36.0f}, kFurniture,
         1, 9);
    // Sofa and low table.
    Rect(House(0.4f, 0.4f), House(2.6f, 1.2f), kFurniture, 5);
    Rect(House(0.9f, 1.5f), House(2.1f, 2.0f), kFurniture, 6);
    // Bath: tub and its elliptic basin.
    Rect(House(3.7f, 6.4f), House(5.3f, 7.8f), kFurniture, 5);
    Arc(House(4.5f, 7.1f), 52, 0, 0, kFurniture, 5, 0.6f);
    // Toilet bowl: half an ellipse on the tank.
    Rect(House(5.9f, 7.55f), House(6.6f, 7.8f), kFurniture, 5);
    Arc(House(6.25f, 7.55f), 18, 180, 360, kFurniture, 5, 1.4f);
    // Beds.
    Rect(House(9.2f, 0.4f), House(10.8f, 2.4f), kFurniture, 5);
    Rect(House(9.4f, 2.0f), House(10.6f, 2.3f), kFurniture, 6);
    Rect(House(0.3f, 5.0f), House(1.3f, 7.0f), kFurniture, 5);
    Rect(House(10.6f, 5.0f), House(11.6f, 7.0f), kFurniture, 5);
    // A tilted elliptic arc: a curved planter in the living room's corner, a
    // 200-degree sweep (from 200 to 400 degrees) of an ellipse turned 20 degrees.
    Arc(House(0.7f, 3.8f), 36, 200, 400, kFurniture, 7, 0.5f, 20);
  }

  // One dimension: extension lines from the measured points, the dimension line
  // at `offset` metres beside them, tick marks, and the measure in millimetres.
  void Dimension(Point a_m, Point b_m, float offset_m) {
    const bool horizontal = a_m.y == b_m.y;
    const Point a = House(a_m.x, a_m.y), b = House(b_m.x, b_m.y);
    const float off = offset_m * kUnitsPerMetre;
    const Point da = horizontal ? Point{a.x, a.y + off} : Point{a.x + off, a.y};
    const Point db = horizontal ? Point{b.x, b.y + off} : Point{b.x + off, b.y};
    Line(a, da, kDimensions, 1);
    Line(b, db, kDimensions, 1);
    Line(da, db, kDimensions, 1);
    for (Point p : {da, db}) Line({p.x - 6, p.y - 6}, {p.x + 6, p.y + 6}, kDimensions, 2);
    const int measure =
        static_cast<int>((horizontal ? b_m.x - a_m.x : b_m.y - a_m.y) * 1000.0f + 0.5f);
    const std::string label = std::to_string(measure);
    const float length = TextLength(label, kStyles[2], false);
    if (horizontal) {
      Text({(da.x + db.x) / 2 - length / 2, da.y + 4}, label, 2, kDimensions);
    } else {
      // Reads upward, to the left of the dimension line.
      Text({da.x - 4, (da.y + db.y) / 2 - length / 2}, label, 2, kDimensions, 0, 1);
    }
  }

  void Dimensions() {
    Dimension({0, 0}, {4, 0}, -1.0f);
    Dimension({4, 0}, {8, 0}, -1.0f);
    Dimension({8, 0}, {12, 0}, -1.0f);
    Dimension({0, 0}, {12, 0}, -1.6f);
    Dimension({0, 0}, {0, 4.5f}, -1.0f);
    Dimension({0, 4.5f}, {0, 8}, -1.0f);
    Dimension({0, 0}, {0, 8}, -1.6f);
    Dimension({12, 0}, {12, 4.5f}, 0.5f);
    Dimension({12, 4.5f}, {12, 8}, 0.5f);
    // One measure written downward (turned 270 degrees) and one upside down, as
    // hand-made drawings have them.
    Text(House(11.75f, 7.4f), "3000", 2, kDimensions, 0, -1);
    Text(House(7.0f, 9.0f), "4000", 2, kDimensions, -1, 0);
  }

  void RoomTexts() {
    CentredText(House(5.0f, 2.4f), "居間・食堂", 4, kRoomTexts);
    CentredText(House(5.0f, 1.8f), "LDK 36.0m^u2", 3, kRoomTexts);
    CentredText(House(10.0f, 3.2f), "主寝室", 4, kRoomTexts);
    CentredText(House(1.75f, 6.25f), "洋室1", 4, kRoomTexts);
    CentredText(House(10.25f, 6.25f), "洋室2", 4, kRoomTexts);
    CentredText(House(4.5f, 5.6f), "浴室", 3, kRoomTexts);
    CentredText(House(6.25f, 6.25f), "WC", 3, kRoomTexts);
    CentredText(House(5.6f, 3.45f), "台所", 1, kRoomTexts);
    // The hall's name in vertical writing, top to bottom.
    Text(House(7.55f, 7.6f), "玄関ホール", 3, kRoomTexts, 1, 0, kVertical);
    CentredText(House(0.7f, 3.3f), "植栽", 1, kRoomTexts);
    // Along the turned table: a text at 30 degrees.
    Text(House(1.9f, 3.05f), "ﾀﾞｲﾆﾝｸﾞ", 1, kRoomTexts, 0.8660254f, 0.5f);
    CentredText(House(7.4f, 0.4f), "収納・", 1, kRoomTexts);
  }

  // General notes beside the plan: the text control codes and a trailing "・".
  void Notes() {
    const float x = 1330;
    Text({x, 470}, "特記事項", 4, kNotes);
    const char* notes[] = {
        "1. 延床面積 96.00m^u2 (29.04坪)", "2. 天井高 CH=2400 / 床 FL^d±0",
        "3. ^c居室は24時間換気とする",     "4. 外壁 ^o窯業系サイディング^o t=16",
        "5. 構造 ^b木造軸組^B 2階建",      "6. 詳細は別図参照・",
        "Notes: all dimensions in mm",
    };
    float y = 440;
    for (const char* note : notes) {
      Text({x, y}, note, 1, kNotes);
      y -= 20;
    }
    Text({64, 1100}, "PELMORA SAMPLE", 0, kNotes);
    Text({64, 60}, "ｻﾝﾌﾟﾙ図面", 5, kNotes);
    Text({280, 96}, "1階平面図", 8, kNotes);
    Text({480, 96}, "S=1/50", 6, kNotes);
  }

  void AuxiliaryAndHidden() {
    // Construction lines (type 9) on a layer the drawing keeps hidden.
    for (float x : {2.0f, 6.0f, 10.0f}) Line(House(x, -0.5f), House(x, 8.5f), kAux, 1, 9);
    for (float y : {2.25f, 6.25f}) Line(House(-0.5f, y), House(12.5f, y), kAux, 1, 9);
    Dot(House(6.0f, 4.0f), kAux, 3);
    // The memo layer, view state 2.
    Text(House(9.0f, 9.0f), "未確定: 窓W3の寸法", 2, kMemo);
    Circle(House(11.8f, 6.3f), 40, kMemo, 6);
    // The site group (hidden): boundary in chain line type 7 and setback type 8.
    Rect(House(-2.0f, -2.6f), House(14.0f, 10.6f), kSite, 6, 7);
    Rect(House(-1.0f, -1.8f), House(13.0f, 9.8f), kSite, 6, 8);
    Text(House(-1.8f, 10.2f), "隣地境界線", 3, kSite);
    for (Point p :
         {House(-2.0f, -2.6f), House(14.0f, -2.6f), House(14.0f, 10.6f), House(-2.0f, 10.6f)}) {
      Dot(p, kSite, 6);
    }
    // Spare bytes carried through unchanged.
    m_w.AddLine({.X1 = 64,
                 .Y1 = 1092,
                 .X2 = 200,
                 .Y2 = 1092,
                 .LineType = 1,
                 .PenColor = 7,
                 .Layer = kNotes,
                 .Spare = {0x12, 0x34, 0x56}});
    m_w.AddDot({.X = 56, .Y = 56, .Layer = kFrame, .PenColor = 7, .Spare = {0xAB, 0xCD}});
  }

  JwcWriter m_w;
};

// splitmix64: a fixed, portable sequence.
class Random {
 public:
  explicit Random(std::uint64_t seed) : m_state(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Integer in [0, n).
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
  // Float in [low, high) on a grid of 1/16 unit: exact and portable.
  float Between(float low, float high) {
    const auto steps = static_cast<std::uint32_t>((high - low) * 16.0f);
    return low + static_cast<float>(Below(steps)) / 16.0f;
  }

 private:
  std::uint64_t m_state;
};

// A0 (1189 × 841 mm) at 4 units per millimetre: 4756 × 3363 drawing units.
JwcWriter LargeDrawing() {
  constexpr float kWidth = 4756, kHeight = 3363;
  JwcWriter w(JwcVariant::kReal);
  w.Paper(0).WindowWidth(4756).Plotter("1189.0", "841.0");
  for (int g = 0; g < 16; ++g) w.GroupScale(g, g == 0 ? 1.0f : 100.0f);
  w.GroupView(7, 0).LayerView(0x13, 2);
  Random random(20240401);
  auto layer = [&] {
    // Most entities in groups 0..3, a few anywhere.
    return static_cast<std::uint8_t>(random.Below(8) == 0 ? random.Below(256) : random.Below(64));
  };
  for (int i = 0; i < 50000; ++i) {
    const float x = random.Between(0, kWidth), y = random.Between(0, kHeight);
    w.AddLine({.X1 = x,
               .Y1 = y,
               .X2 = x + random.Between(-200, 200),
               .Y2 = y + random.Between(-200, 200),
               .LineType = static_cast<std::uint8_t>(1 + random.Below(9)),
               .PenColor = static_cast<std::uint8_t>(1 + random.Below(7)),
               .Layer = layer()});
  }
  for (int i = 0; i < 10000; ++i) {
    const bool circle = random.Below(4) == 0;
    const std::int32_t start = static_cast<std::int32_t>(random.Below(360 * 65536));
    w.AddArcRecord(
        {.CenterX = random.Between(0, kWidth),
         .CenterY = random.Between(0, kHeight),
         .Radius = random.Between(2, 200),
         .Flatness =
             static_cast<std::int16_t>(random.Below(3) == 0 ? 2000 + random.Below(8000) : 10000),
         .StartAngle = circle ? 0 : start,
         .EndAngle = circle ? 0 : start + static_cast<std::int32_t>(random.Below(360 * 65536)),
         .Tilt = static_cast<std::int32_t>(random.Below(4) == 0 ? random.Below(180 * 65536) : 0),
         .LineType = static_cast<std::uint8_t>(1 + random.Below(9)),
         .PenColor = static_cast<std::uint8_t>(1 + random.Below(7)),
         .Layer = layer()});
  }
  const std::string words[] = {Cp932("平面図"), Cp932("寸法"), Cp932("通り芯"),
                               Cp932("ｷｯﾁﾝ"),   "GL+300",      "W=1800",
                               "D19@200",       Cp932("・"),   Cp932("m^u2")};
  for (int i = 0; i < 2000; ++i) {
    std::string text;
    const int parts = 1 + static_cast<int>(random.Below(4));
    for (int k = 0; k < parts; ++k) text += words[random.Below(std::size(words))];
    const float x = random.Between(0, kWidth - 200), y = random.Between(0, kHeight - 40);
    const bool vertical = random.Below(10) == 0;
    const float length = static_cast<float>(text.size()) * 8;
    w.AddText({.X1 = x,
               .Y1 = y,
               .X2 = vertical ? x : x + length,
               .Y2 = vertical ? y - length : y,
               .Text = text,
               .Style = static_cast<std::uint8_t>(random.Below(11)),
               .Layer = layer(),
               .Flags = static_cast<std::uint8_t>(vertical ? 0x20 : 0)});
  }
  for (int i = 0; i < 10000; ++i) {
    w.AddDot({.X = random.Between(0, kWidth),
              .Y = random.Between(0, kHeight),
              .Layer = layer(),
              .PenColor = static_cast<std::uint8_t>(1 + random.Below(7))});
  }
  return w;
}

std::vector<std::pair<std::string, std::vector<std::byte>>> Samples() {
  return {{"floorplan.jwc", FloorPlan(JwcVariant::kReal).Build().Bytes()},
          {"floorplan-int.jwc", FloorPlan(JwcVariant::kInteger).Build().Bytes()},
          {"a0-large.jwc", LargeDrawing().Bytes()}};
}

std::vector<std::byte> ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
  return std::vector<std::byte>(data, data + bytes.size());
}

int Run(int argc, char** argv) {
  const bool check = argc == 3 && std::string_view(argv[1]) == "--check";
  if (argc > 2 && !check) {
    std::fputs("usage: make_samples [DIR] | make_samples --check DIR\n", stderr);
    return 2;
  }
  const std::filesystem::path dir = argc >= 2 ? argv[argc - 1] : ".";
  int status = 0;
  for (const auto& [name, bytes] : Samples()) {
    const std::filesystem::path path = dir / name;
    if (check) {
      if (ReadAll(path) != bytes) {
        std::fprintf(stderr, "make_samples: %s differs from what make_samples writes\n",
                     path.c_str());
        status = 1;
      }
      continue;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
      std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
  }
  return status;
}

}  // namespace
}  // namespace pelmora

int main(int argc, char** argv) {
  try {
    return pelmora::Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_samples: %s\n", error.what());
    return 1;
  }
}
