// What the vector walk hands a target: order, pens, dashes, visibility,
// hidden layers, the half-pixel offset, skipped entities, the page's layers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "drawing/printf.h"
#include "render/vector_walk.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

// Writes each call as one line of text.
class Recorder final : public VectorTarget {
 public:
  void Begin(const VectorPage& page) override {
    for (const VectorLayer& l : page.layers) {
      calls.push_back("layer " + l.name + " / " + l.group_name + (l.shown ? "" : " hidden"));
    }
  }
  void Line(std::uint8_t layer, const VectorPen& pen, VectorPoint from, VectorPoint to,
            const TJwcLine&) override {
    calls.push_back(
        Printf("L%02X %s (%g,%g)-(%g,%g)", layer, Pen(pen).c_str(), from.x, from.y, to.x, to.y));
  }
  void Arc(std::uint8_t layer, const VectorPen& pen, const VectorArc& arc,
           const TJwcArc&) override {
    calls.push_back(Printf("A%02X %s (%g,%g) r%g %g..%g", layer, Pen(pen).c_str(), arc.centre.x,
                           arc.centre.y, arc.radius, arc.start, arc.end));
  }
  void Text(std::uint8_t layer, const VectorText& text, const TJwcText&,
            const TJwcTextStyle&) override {
    calls.push_back(Printf("T%02X %06X %zu chars", layer, text.colour, text.chars.size()));
  }
  void Dot(std::uint8_t layer, Colour colour, VectorPoint centre, int diameter,
           const TJwcDot&) override {
    calls.push_back(Printf("D%02X %06X (%g,%g) %d", layer, colour, centre.x, centre.y, diameter));
  }
  void Stamp(const VectorText& text) override {
    calls.push_back("stamp " + (text.chars.empty() ? "" : text.chars[0].bytes));
  }
  bool Finish(std::string*) override { return true; }

  static std::string Pen(const VectorPen& pen) {
    std::string text = Printf("%06X w%d t%d", pen.colour, pen.width, pen.line_type);
    for (std::int32_t d : pen.dashes) text += Printf(" %d", d);
    return text;
  }

  std::vector<std::string> calls;
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Case {
  const char* name;
  JwcWriter drawing;
  bool keep_hidden = false;
  bool no9 = true;
  int depth = 24;
  std::vector<std::string> calls;
  bool stamp = false;
};

TEST(VectorWalkTest, HandsOverWhatTheRasterDraws) {
  // Scale 1, origin (0, 100): drawing (x, y) is pixel (x, 100 - y), handed over
  // at its centre. Dashes at 96 / 72 pixels per point: type 3 is 4,4 points.
  std::vector<Case> cases;
  cases.push_back({"order and half pixel",
                   JwcWriter()
                       .LayerName(0x12, "wall")
                       .AddDot({.X = 5, .Y = 5, .Layer = 0x12, .PenColor = 2})
                       .AddArc({.CenterX = 50,
                                .CenterY = 50,
                                .Radius = 10,
                                .Flatness = 1,
                                .StartAngle = 0,
                                .EndAngle = 90,
                                .LineType = 1,
                                .PenColor = 1,
                                .Layer = 0x12})
                       .AddLine({.X1 = 10,
                                 .Y1 = 20,
                                 .X2 = 30.4f,
                                 .Y2 = 20,
                                 .LineType = 1,
                                 .PenColor = 1,
                                 .Layer = 0x12}),
                   false,
                   true,
                   1,
                   {"layer 1-2 wall / 1", "L12 000000 w1 t1 (10.5,80.5)-(30.5,80.5)",
                    "A12 000000 w1 t1 (50.5,50.5) r10 0..90", "D12 000000 (5,95) 6"}});
  // A line selects its type only when it changes; a type beyond 2..9 keeps the
  // last pattern; type 0 only moves; type 9 only with No9; every arc selects.
  cases.push_back({"line type state",
                   JwcWriter()
                       .AddLine({.X2 = 1, .LineType = 3, .PenColor = 1})
                       .AddLine({.X2 = 2, .LineType = 12, .PenColor = 1})
                       .AddLine({.X2 = 3, .LineType = 0, .PenColor = 1})
                       .AddLine({.X2 = 4, .LineType = 9, .PenColor = 1})
                       .AddArc({.Radius = 5, .Flatness = 1, .LineType = 13, .PenColor = 1}),
                   false,
                   false,
                   1,
                   {"layer 0-0 / 0", "L00 000000 w1 t3 5 5 (0.5,100.5)-(1.5,100.5)",
                    "L00 000000 w1 t3 5 5 (0.5,100.5)-(2.5,100.5)",
                    "A00 000000 w1 t3 5 5 (0.5,100.5) r5 0..360"}});
  // Hidden layers: skipped, or with keep_hidden handed over on a hidden layer
  // without changing what the shown lines are drawn with.
  const JwcWriter hidden = JwcWriter()
                               .LayerView(0x01, 0)
                               .AddLine({.X2 = 1, .LineType = 2, .PenColor = 1})
                               .AddLine({.X2 = 2, .LineType = 4, .PenColor = 1, .Layer = 0x01})
                               .AddLine({.X2 = 3, .LineType = 12, .PenColor = 1});
  cases.push_back({"hidden skipped",
                   hidden,
                   false,
                   true,
                   1,
                   {"layer 0-0 / 0", "L00 000000 w1 t2 3 3 (0.5,100.5)-(1.5,100.5)",
                    "L00 000000 w1 t2 3 3 (0.5,100.5)-(3.5,100.5)"}});
  cases.push_back(
      {"hidden kept",
       hidden,
       true,
       true,
       1,
       {"layer 0-0 / 0", "layer 0-1 / 0 hidden", "L00 000000 w1 t2 3 3 (0.5,100.5)-(1.5,100.5)",
        "L01 000000 w1 t4 8 3 (0.5,100.5)-(2.5,100.5)",
        "L00 000000 w1 t2 3 3 (0.5,100.5)-(3.5,100.5)"}});
  // Non-finite coordinates and entities off the page are never handed over.
  cases.push_back({"skipped",
                   JwcWriter()
                       .AddLine({.X1 = kNaN, .X2 = 1, .LineType = 1, .PenColor = 1})
                       .AddLine({.X1 = 500, .X2 = 600, .LineType = 1, .PenColor = 1})
                       .AddArc({.CenterX = std::numeric_limits<float>::infinity(),
                                .Radius = 5,
                                .Flatness = 1,
                                .LineType = 1,
                                .PenColor = 1})
                       .AddDot({.X = kNaN, .Y = 1, .PenColor = 1}),
                   false,
                   true,
                   1,
                   {}});
  // Texts after dots in the order of their kind, laid out character by
  // character; the resolution stamp last, on no layer.
  cases.push_back({"text and stamp",
                   JwcWriter()
                       .AddText({.X1 = 10, .Y1 = 50, .X2 = 40, .Y2 = 50, .Text = "ab"})
                       .AddDot({.X = 5, .Y = 5, .PenColor = 1}),
                   false,
                   true,
                   1,
                   {"layer 0-0 / 0", "T00 000000 2 chars", "D00 000000 (5,95) 6", "stamp 36dpi"},
                   true});
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Tjwcin reader;
    ASSERT_EQ(reader.JwcLoadBytes(c.drawing.Bytes()), 0) << reader.LastError();
    Settings settings;
    settings.WriteDPI = c.stamp;
    settings.No9 = c.no9;
    settings.ColorMode = c.depth;
    std::array<std::uint8_t, 256> layers;
    std::array<std::uint8_t, 16> groups;
    for (int i = 0; i < 256; ++i) layers[i] = reader.JwcViewLayer(i);
    for (int i = 0; i < 16; ++i) groups[i] = reader.JwcViewGroupe(i);
    RenderContext context;
    context.reader = &reader;
    context.settings = &settings;
    context.LayerVisible = &layers;
    context.GroupVisible = &groups;
    Recorder recorder;
    ASSERT_EQ(DrawVector(context, 100, 100, 0, 100, 1.0f, recorder, {c.keep_hidden}), 1);
    EXPECT_EQ(recorder.calls, c.calls);
  }
}

}  // namespace
}  // namespace pelmora
