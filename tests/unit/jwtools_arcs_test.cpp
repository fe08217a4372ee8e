// Arcs: chord counts, angle normalisation, orientation, flatness and tilt, and
// arcs that must draw nothing or finish quickly. Chord corners are listed by
// hand, and the arc must paint exactly what a polyline through them paints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/raster/canvas.h"
#include "render/jwtools.h"
#include "render/jwtools_lines_testing.h"

namespace pelmora {
namespace {

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -(1 << 30), bottom = -(1 << 30);  // inclusive
  friend bool operator==(const Box&, const Box&) = default;
};

std::ostream& operator<<(std::ostream& out, const Box& b) {
  return out << "[" << b.left << ".." << b.right << "] x [" << b.top << ".." << b.bottom << "]";
}

Box PaintedBox(const Bitmap& bitmap) {
  Box box;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (bitmap.ValueAt(x, y) == 0) continue;
      box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
             std::max(box.bottom, y)};
    }
  }
  return box;
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.ValueAt(x, y) != b.ValueAt(x, y)) return false;
    }
  }
  return true;
}

// A black 24-bit bitmap and a canvas on it with a white pen.
struct Sheet {
  explicit Sheet(int size) : bitmap(Bitmap::Create(size, size, 24)), canvas(*bitmap) {
    canvas.SetPenColour(Rgb(255, 255, 255));
  }
  std::unique_ptr<Bitmap> bitmap;
  Canvas canvas;
};

std::uint64_t Draws() {
  return LinePatternForTesting().line_draw_calls;
}

class JwtoolsArcs : public ::testing::Test {
 protected:
  void SetUp() override { ResetLinePatternForTesting(); }
  void TearDown() override { ResetLinePatternForTesting(); }
};

TEST_F(JwtoolsArcs, ChordCountsFollowTheDensity) {
  struct Case {
    float radius, start, end;
    std::uint64_t draws;  // N + 1 chords' ends, the end point, the diagonal step
  };
  const Case cases[] = {
      {10, 0, 360, 12 + 3},     // 1.2 per pixel of radius: 30-degree steps
      {5, 0, 360, 20 + 3},      // below 10 pixels 4.0 per pixel: 18-degree steps
      {9.99f, 0, 360, 39 + 3},  //
      {100, 0, 90, 30 + 3},     // a quarter turn
      {10, 90, 0, 9 + 3},       // end 0 means 360
      {10, -90, 0, 15 + 3},     // ... also when the start is below 0: -90..360
      {10, 45, 45, 12 + 3},     // equal angles: a full circle
      {10, 300, 60, 4 + 3},     // end before start: 300..420
      {10, 0, 0.01f, 0 + 3},    // N = 0: one zero-length chord
      {-10, 0, 360, 2},         // negative radius: N < 0, only the end and the step
  };
  for (const Case& c : cases) {
    Sheet sheet(64);
    SetLineType(sheet.canvas, 1);
    const std::uint64_t before = Draws();
    DrawJwcArc(sheet.canvas, 32, 32, c.radius, 1, c.start, c.end, 0);
    EXPECT_EQ(Draws() - before, c.draws) << c.radius << " " << c.start << ".." << c.end;
  }
}

TEST_F(JwtoolsArcs, CircleIsThePolylineThroughItsCorners) {
  // Radius 10 at (20, 20): corners every 30 degrees, counterclockwise from the
  // right with y up, then the end point and one diagonal step past it.
  const std::vector<Point> corners = {{30, 20}, {30, 20}, {29, 15}, {25, 11}, {20, 10}, {15, 11},
                                      {11, 15}, {10, 20}, {11, 25}, {15, 29}, {20, 30}, {25, 29},
                                      {29, 25}, {30, 20}, {30, 20}, {31, 21}};
  struct Angles {
    float start, end;
  };
  for (const Angles angles : {Angles{0, 360}, Angles{45, 45}, Angles{0, 0}}) {
    for (int type : {1, 2, 7}) {
      Sheet arc(40);
      Sheet polyline(40);
      SetLineType(arc.canvas, type);
      DrawJwcArc(arc.canvas, 20, 20, 10, 1, angles.start, angles.end, 0);
      const LinePatternView after_arc = LinePatternForTesting();
      LineMoveTo(polyline.canvas, corners[0].x, corners[0].y);
      for (std::size_t i = 1; i < corners.size(); ++i) {
        LineDrawTo(polyline.canvas, corners[i].x, corners[i].y);
      }
      EXPECT_TRUE(SamePixels(*arc.bitmap, *polyline.bitmap))
          << "type " << type << ", " << angles.start << ".." << angles.end;
      EXPECT_EQ(after_arc.phase_element, LinePatternForTesting().phase_element) << type;
      EXPECT_EQ(after_arc.phase_offset, LinePatternForTesting().phase_offset) << type;
      EXPECT_EQ(arc.canvas.PenPosition(), (Point{31, 21}));
      if (type == 1) {
        EXPECT_EQ(PaintedBox(*arc.bitmap), (Box{10, 10, 31, 30}));
      }
    }
  }
}

TEST_F(JwtoolsArcs, OrientationFlatnessAndTilt) {
  struct Case {
    float flatness, start, end, tilt;
    Box painted;  // radius 20 at (30, 30); the end step lands at end + (1, 1)
  };
  const Case cases[] = {
      {1, 0, 90, 0, {30, 10, 50, 30}},       // counterclockwise with y up: the upper right
      {0.5f, 0, 360, 0, {10, 20, 51, 40}},   // long axis horizontal
      {0.5f, 0, 360, 90, {20, 10, 40, 50}},  // long axis vertical, start and end at the top
      {0, 0, 360, 0, {10, 10, 51, 50}},      // flatness 0 or below is a circle
      {-2, 0, 360, 0, {10, 10, 51, 50}},
      {1, 0, 360, 180, {10, 10, 50, 50}},  // start and end on the left
  };
  for (const Case& c : cases) {
    Sheet sheet(61);
    SetLineType(sheet.canvas, 1);
    DrawJwcArc(sheet.canvas, 30, 30, 20, c.flatness, c.start, c.end, c.tilt);
    EXPECT_EQ(PaintedBox(*sheet.bitmap), c.painted) << c.flatness << " " << c.end << " " << c.tilt;
  }
}

TEST_F(JwtoolsArcs, DegenerateAndFarArcsDrawNothing) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    int cx, cy;
    float radius, flatness, start, end, tilt;
  };
  const Case cases[] = {
      {20, 20, 0, 1, 0, 360, 0},
      {20, 20, kNaN, 1, 0, 360, 0},
      {20, 20, kInf, 1, 0, 360, 0},
      {20, 20, 10, kNaN, 0, 360, 0},
      {20, 20, 10, kInf, 0, 360, 0},
      {20, 20, 10, 1, kNaN, 360, 0},
      {20, 20, 10, 1, 0, -kInf, 0},
      {20, 20, 10, 1, 0, 360, kNaN},
      {100, 20, 10, 1, 0, 360, 0},
      {20, -40, 10, 1, 0, 360, 0},
      {-(1 << 30), 20, 1e8f, 1, 0, 360, 0},
  };
  for (const Case& c : cases) {
    Sheet sheet(40);
    SetLineType(sheet.canvas, 1);
    sheet.canvas.MoveTo(3, 4);
    DrawJwcArc(sheet.canvas, c.cx, c.cy, c.radius, c.flatness, c.start, c.end, c.tilt);
    EXPECT_EQ(Draws(), 0u) << c.cx << "," << c.cy << " r " << c.radius;
    EXPECT_EQ(sheet.canvas.PenPosition(), (Point{3, 4}));
    EXPECT_EQ(PaintedBox(*sheet.bitmap), Box{});
  }
}

TEST_F(JwtoolsArcs, HugeArcsUseBoundedChordCounts) {
  struct Case {
    int cx;
    float radius, flatness, start, end;
    std::uint64_t most_draws;
  };
  const Case cases[] = {
      {20 - 10000000, 1e7f, 1, 0, 360, 28200},  // a quarter pixel of sagitta per chord
      {20, 1e30f, 1, 0, 360, 262147},           // at most 2^18 chords per turn
      {20, 3e38f, 3e38f, 0, 360, 262147},       //
      {20, 10, 1, 0, 1e30f, 2 * 12 + 3},        // turns beyond the second dropped
      {20, 10, 1, -3e38f, 3e38f, 2 * 12 + 3},   //
      {20, 10, 1e30f, 0, 360, 12 + 3},          // huge second axis, density of radius 10
  };
  for (const Case& c : cases) {
    for (int type : {1, 2}) {
      Sheet sheet(40);
      SetLineType(sheet.canvas, type);
      const std::uint64_t before = Draws();
      DrawJwcArc(sheet.canvas, c.cx, 20, c.radius, c.flatness, c.start, c.end, 0);
      EXPECT_LE(Draws() - before, c.most_draws) << c.radius << " " << c.start << ".." << c.end;
      EXPECT_GT(Draws() - before, 2u);
    }
  }
  // Angles beyond all precision still give a whole circle.
  for (const float start : {0.0f, -3e38f}) {
    Sheet sheet(40);
    SetLineType(sheet.canvas, 1);
    DrawJwcArc(sheet.canvas, 20, 20, 10, 1, start, 3e38f, 0);
    const Box box = PaintedBox(*sheet.bitmap);
    EXPECT_EQ(box.left, 10) << start;
    EXPECT_EQ(box.top, 10) << start;
    EXPECT_GE(box.right, 30) << start;
    EXPECT_GE(box.bottom, 30) << start;
  }
  // A circle of radius 10^7 touching x = 20 from the left is a straight line there.
  Sheet sheet(40);
  SetLineType(sheet.canvas, 1);
  DrawJwcArc(sheet.canvas, 20 - 10000000, 20, 1e7f, 1, 0, 360, 0);
  EXPECT_EQ(PaintedBox(*sheet.bitmap), (Box{20, 0, 21, 39}));
  for (int y = 0; y < 40; ++y) EXPECT_NE(sheet.bitmap->ValueAt(20, y), 0u) << y;
}

// Skipping the chords that cannot reach the bitmap paints what walking every
// chord paints, leaves the pen where the walk leaves it and, for solid and
// moves-only arcs, the walk's phase. The arcs are large enough to be skipped in
// blocks (hundreds to tens of thousands of chords) and pass close by or through
// the bitmap, so that visible and skipped stretches alternate.
TEST_F(JwtoolsArcs, SkippedChordsChangeNoPixel) {
  std::mt19937 random(20261209);
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(random);
  };
  const int types[] = {0, 1, 2, 3, 5, 7, 9, 12};
  int compared = 0;
  for (int i = 0; i < 320; ++i) {
    // Every tenth arc is a short piece of a circle of radius 2^22..10^7, where
    // single precision keeps no fraction: any error in a point shows.
    const bool huge = i % 10 == 9;
    const float radius = static_cast<float>(
        huge ? uniform(4.2e6, 9.99e6) : std::exp(uniform(std::log(60.0), std::log(30000.0))));
    const float flatness = static_cast<float>(i % 3 == 0 || huge ? 1.0 : uniform(0.05, 3.0));
    const float tilt = static_cast<float>(i % 4 == 0 ? 0.0 : uniform(-360.0, 360.0));
    float start = static_cast<float>(uniform(-720.0, 720.0));
    float end = i % 5 == 0 ? start : static_cast<float>(uniform(-720.0, 720.0));
    // The centre about one semi-axis away from the bitmap's middle.
    double reach = radius * (i % 2 == 0 ? 1.0 : flatness) + uniform(-40.0, 40.0);
    double direction = uniform(0.0, 6.283185307179586);
    if (huge) {
      // From about 2000 chords before the bitmap to as many after it.
      const double middle = uniform(-180.0, 180.0);
      const double half = 2000 / (1.2 * radius) * 360;
      start = static_cast<float>(middle - half);
      end = static_cast<float>(middle + half * uniform(0.5, 1.5));
      reach = radius + uniform(-20.0, 20.0);
      direction = (180.0 + tilt + middle) * 3.141592653589793 / 180.0;
      direction = -direction;  // y down
    }
    const int cx = 32 + static_cast<int>(std::lround(reach * std::cos(direction)));
    const int cy = 24 + static_cast<int>(std::lround(reach * std::sin(direction)));
    const int type = types[i % 8];
    const int width = i % 7 == 0 ? 5 : (i % 7 == 1 ? 2 : 1);

    LinePatternView after[2];
    Point pen[2];
    std::unique_ptr<Bitmap> bitmaps[2];
    for (int culled = 0; culled < 2; ++culled) {
      ResetLinePatternForTesting();
      SetArcShortcutsForTesting(culled == 1);
      bitmaps[culled] = Bitmap::Create(64, 48, 24);
      Canvas canvas(*bitmaps[culled]);
      canvas.SetPenColour(Rgb(255, 255, 255));
      SetLineType(canvas, 5);  // the pattern a type-12 arc keeps
      SetLineType(canvas, type);
      SetLineWidth(canvas, width);
      DrawJwcArc(canvas, cx, cy, radius, flatness, start, end, tilt);
      after[culled] = LinePatternForTesting();
      pen[culled] = canvas.PenPosition();
    }
    SetArcShortcutsForTesting(true);
    const std::string what = "arc " + std::to_string(i) + ": type " + std::to_string(type) + " r " +
                             std::to_string(radius) + " centre " + std::to_string(cx) + "," +
                             std::to_string(cy);
    ASSERT_TRUE(SamePixels(*bitmaps[0], *bitmaps[1])) << what;
    EXPECT_EQ(pen[0], pen[1]) << what;
    EXPECT_EQ(after[0].line_draw_calls, after[1].line_draw_calls) << what;
    if (type == 0 || type == 1) {
      EXPECT_EQ(after[0].phase_element, after[1].phase_element) << what;
      EXPECT_EQ(after[0].phase_offset, after[1].phase_offset) << what;
    }
    if (PaintedBox(*bitmaps[0]) != Box{}) ++compared;
  }
  // A quarter of the arcs at least paint something: the sweep compares pixels,
  // not only empty sheets.
  EXPECT_GT(compared, 80);
}

// Curves beyond the density rule (radius 10^7 and more, or a semi-axis past
// 2^30 whose points are held at ±2^30): the skipped chords are still only
// those that cannot paint.
TEST_F(JwtoolsArcs, HugeCurvesSkipOnlyWhatCannotPaint) {
  struct Case {
    double cx, cy;
    float radius, flatness, start, end, tilt;
  };
  const Case cases[] = {
      {32 - 2e7, 24, 2e7f, 1, 0, 360, 0},   // through the bitmap at angle 0
      {32, 24 + 3e7, 3e7f, 1, 60, 120, 0},  // over it at 90
      {32, 24, 1e8f, 2e-7f, 0, 360, 30},    // a flat ellipse: a line there and back
      {32, 24, 20, 1e8f, 0, 360, 0},        // points held at ±2^30 on one axis
      {32, 24, 20, 1e8f, 0, 360, 45},       //
      {40, -20, 3e9f, 1e-9f, 0, 360, 91},   //
      {32 - 2e9, 24, 2e9f, 1, -10, 10, 0},  // chords of 50 000 pixels
      {32 - 1.5e7, 24 + 1.5e7, 2.12132e7f, 1, 30, 60, 0},
  };
  int painted = 0;
  for (const Case& c : cases) {
    for (const int type : {1, 3, 6}) {
      std::unique_ptr<Bitmap> bitmaps[2];
      Point pen[2];
      for (int shortcuts = 0; shortcuts < 2; ++shortcuts) {
        ResetLinePatternForTesting();
        SetArcShortcutsForTesting(shortcuts == 1);
        bitmaps[shortcuts] = Bitmap::Create(64, 48, 24);
        Canvas canvas(*bitmaps[shortcuts]);
        canvas.SetPenColour(Rgb(255, 255, 255));
        SetLineType(canvas, type);
        SetLineWidth(canvas, type == 6 ? 3 : 1);
        DrawJwcArc(canvas, static_cast<int>(c.cx), static_cast<int>(c.cy), c.radius, c.flatness,
                   c.start, c.end, c.tilt);
        pen[shortcuts] = canvas.PenPosition();
      }
      SetArcShortcutsForTesting(true);
      EXPECT_TRUE(SamePixels(*bitmaps[0], *bitmaps[1]))
          << c.radius << " " << c.flatness << " " << type;
      EXPECT_EQ(pen[0], pen[1]) << c.radius << " " << c.flatness << " " << type;
      painted += PaintedBox(*bitmaps[0]) != Box{};
    }
  }
  EXPECT_GE(painted, 21);
}

// After a dashed arc whose last chords were skipped, the next stroke starts its
// pattern afresh (LineMoveTo), as after any arc: the strokes paint the same.
TEST_F(JwtoolsArcs, StrokesAfterASkippedArcPaintTheSame) {
  std::unique_ptr<Bitmap> bitmaps[2];
  for (int culled = 0; culled < 2; ++culled) {
    ResetLinePatternForTesting();
    SetArcShortcutsForTesting(culled == 1);
    bitmaps[culled] = Bitmap::Create(80, 60, 24);
    Canvas canvas(*bitmaps[culled]);
    canvas.SetPenColour(Rgb(255, 255, 255));
    SetLineType(canvas, 6);
    // Starts in view, leaves it for good after a few dozen chords.
    DrawJwcArc(canvas, 40 + 20000, 30, 20000, 1, 179.9f, 300, 0);
    LineMoveTo(canvas, 0, 55);
    LineDrawTo(canvas, 79, 55);
    DrawJwcArc(canvas, 40, 30 - 15000, 15000, 0.5f, 260, 280, 3);
  }
  SetArcShortcutsForTesting(true);
  EXPECT_TRUE(SamePixels(*bitmaps[0], *bitmaps[1]));
  EXPECT_NE(PaintedBox(*bitmaps[1]), Box{});
}

// Long dashed curves whose phase is carried over hundreds of thousands of
// chords before they reach the bitmap, drawn band by band as the banded render
// draws them (each band a canvas of its own rows, the later ones finding the
// phase the first remembered): the same pixels as the whole bitmap walked
// chord by chord.
TEST_F(JwtoolsArcs, BandsOfALongDashedCurveMatchTheWalk) {
  constexpr int kWidth = 64, kHeight = 48, kBand = 8;
  const float radius = 2.1e5f;
  int painted = 0;
  for (const int type : {2, 3, 4, 5, 6, 7, 8, 9, 12}) {
    for (const int width : {1, 3}) {
      // From the far side of the curve (about 125 000 chords away) through
      // the bitmap near angle 0, on to most of a second turn.
      const int cx = 40 - static_cast<int>(radius), cy = 20 + type;
      const float start = 180.0f + static_cast<float>(type), end = 170.0f;
      const auto draw = [&](Canvas& canvas) {
        ResetLinePatternForTesting();
        SetLineType(canvas, 5);  // the pattern a type-12 curve keeps
        SetLineType(canvas, type);
        SetLineWidth(canvas, width);
        DrawJwcArc(canvas, cx, cy, radius, 1.0f, start, end, 0.0f);
      };
      SetArcShortcutsForTesting(false);
      auto walked = Bitmap::Create(kWidth, kHeight, 24);
      {
        Canvas canvas(*walked);
        canvas.SetPenColour(Rgb(255, 255, 255));
        draw(canvas);
      }
      SetArcShortcutsForTesting(true);
      for (int pass = 0; pass < 2; ++pass) {
        auto banded = Bitmap::Create(kWidth, kHeight, 24);
        for (int first = 0; first < kHeight; first += kBand) {
          auto band = Bitmap::Create(kWidth, kBand, 24);
          Canvas canvas(*band, first);
          canvas.SetPenColour(Rgb(255, 255, 255));
          draw(canvas);
          for (int y = 0; y < kBand; ++y)
            std::copy_n(band->Row(y), band->Stride(), banded->Row(first + y));
        }
        EXPECT_TRUE(SamePixels(*walked, *banded))
            << "type " << type << ", width " << width << ", pass " << pass;
      }
      painted += PaintedBox(*walked) != Box{};
    }
  }
  EXPECT_EQ(painted, 18);
}

}  // namespace
}  // namespace pelmora
