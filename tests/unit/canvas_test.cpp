// Canvas and Bitmap on tiny bitmaps, every pixel checked against a picture:
// '.' is index 0 (white), '#' index 1 (black), 'r' index 2 (red), 'g' index 3
// (green) of a 4-bit table, unless a test says otherwise.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <climits>
#include <iostream>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"

namespace pelmora {
namespace {

constexpr Colour kWhite = Rgb(255, 255, 255);
constexpr Colour kBlack = Rgb(0, 0, 0);
constexpr Colour kRed = Rgb(255, 0, 0);
constexpr Colour kGreen = Rgb(0, 255, 0);

std::unique_ptr<Bitmap> Make(int width, int height, int bits = 4) {
  std::string error;
  auto bitmap = Bitmap::Create(width, height, bits, &error);
  EXPECT_NE(bitmap, nullptr) << error;
  if (bits == 4) bitmap->SetColourTable({kWhite, kBlack, kRed, kGreen});
  return bitmap;
}

// The bitmap's stored values as rows of characters, one row per line.
std::string Picture(const Bitmap& bitmap, const std::string& legend = ".#rg") {
  std::string out;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      const std::uint32_t v = bitmap.ValueAt(x, y);
      out += v < legend.size() ? legend[v] : '?';
    }
    out += '\n';
  }
  return out;
}

std::string Rows(std::initializer_list<const char*> rows) {
  std::string out;
  for (const char* row : rows) out += std::string(row) + '\n';
  return out;
}

// Black one-pixel pen, solid white brush, on a white 4-bit bitmap.
struct Fixture {
  explicit Fixture(int width, int height) : bitmap(Make(width, height)), canvas(*bitmap) {
    canvas.SetPenColour(kBlack);
  }
  std::unique_ptr<Bitmap> bitmap;
  Canvas canvas;
};

TEST(CanvasLines, PaintFromStartToBeforeTheEndWithTiesTowardsSmallerCoordinates) {
  Fixture f(11, 4);
  f.canvas.MoveTo(0, 0);
  f.canvas.LineTo(10, 3);
  EXPECT_EQ(Picture(*f.bitmap), Rows({"##.........",
                                      "..####.....",
                                      "......###..",
                                      ".........#."}));
  EXPECT_EQ(f.canvas.PenPosition(), (Point{10, 3}));

  // Backwards: the same pixels, without the start and with the far end.
  Fixture back(11, 4);
  back.canvas.MoveTo(10, 3);
  back.canvas.LineTo(0, 0);
  EXPECT_EQ(Picture(*back.bitmap), Rows({".#.........",
                                         "..####.....",
                                         "......###..",
                                         ".........##"}));

  // Exact half slopes, both ways round.
  Fixture half(9, 5);
  half.canvas.MoveTo(0, 0);
  half.canvas.LineTo(8, 4);
  half.canvas.MoveTo(0, 4);
  half.canvas.LineTo(8, 0);
  EXPECT_EQ(Picture(*half.bitmap), Rows({"##.....#.",
                                         "..##.##..",
                                         "...###...",
                                         ".##...##.",
                                         "#........"}));
}

TEST(CanvasLines, ZeroAndOnePixelLines) {
  Fixture f(4, 2);
  f.canvas.MoveTo(1, 0);
  f.canvas.LineTo(1, 0);  // a point to itself: nothing
  f.canvas.MoveTo(2, 1);
  f.canvas.LineTo(3, 1);  // only the start
  EXPECT_EQ(Picture(*f.bitmap), Rows({"....", "..#."}));
}

TEST(CanvasLines, ThereAndBackUnderExclusiveOrLeavesOnlyTheEnds) {
  Fixture f(11, 5);
  f.canvas.SetPenMode(PenMode::kXor);
  f.canvas.MoveTo(0, 0);
  f.canvas.LineTo(10, 4);
  f.canvas.LineTo(0, 0);
  EXPECT_EQ(Picture(*f.bitmap), Rows({"#..........",
                                      "...........",
                                      "...........",
                                      "...........",
                                      "..........#"}));
}

TEST(CanvasLines, FarAwayEndsAreClippedToTheExactPath) {
  // Billions of pixels long; only the visible part may cost anything.
  Fixture f(12, 3);
  const auto start = std::chrono::steady_clock::now();
  f.canvas.MoveTo(-1000000000, -5);
  f.canvas.LineTo(1000000000, 5);
  f.canvas.MoveTo(INT_MIN, INT_MIN);
  f.canvas.LineTo(INT_MAX, INT_MAX);
  f.canvas.MoveTo(INT_MAX, INT_MIN);
  f.canvas.LineTo(INT_MIN, INT_MAX);  // passes just above and left of (0, 0)
  f.canvas.SetPenWidth(3);
  f.canvas.MoveTo(INT_MIN, INT_MAX);
  f.canvas.LineTo(INT_MAX, INT_MAX);  // wide, far below
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(Picture(*f.bitmap), Rows({"############",
                                      ".#..........",
                                      "..#........."}));
}

TEST(CanvasLines, WidePensPaintGdiRoundDots) {
  Fixture f(17, 7);
  for (int width : {2, 3, 5}) {
    f.canvas.SetPenWidth(width);
    const int x = width == 2 ? 2 : width == 3 ? 6 : 12;
    f.canvas.MoveTo(x, 3);
    f.canvas.LineTo(x, 3);
  }
  EXPECT_EQ(Picture(*f.bitmap), Rows({".................",
                                      "...........###...",
                                      ".##...#...#####..",
                                      ".##..###..#####..",
                                      "......#...#####..",
                                      "...........###...",
                                      "................."}));
}

TEST(CanvasLines, WideLinesIncludeBothEndsWithRoundCaps) {
  Fixture f(17, 9);
  f.canvas.SetPenWidth(3);
  f.canvas.MoveTo(2, 2);
  f.canvas.LineTo(14, 2);
  f.canvas.SetPenWidth(2);  // even widths reach one pixel further up and left
  f.canvas.MoveTo(2, 7);
  f.canvas.LineTo(14, 7);
  EXPECT_EQ(Picture(*f.bitmap), Rows({".................",
                                      "..#############..",
                                      ".###############.",
                                      "..#############..",
                                      ".................",
                                      ".................",
                                      ".##############..",
                                      ".##############..",
                                      "................."}));
}

TEST(CanvasLines, EachWideLineToIsPaintedOnceUnderExclusiveOr) {
  // A there-and-back stroke cancels completely; a corner cancels where the
  // two strokes' round caps overlap.
  Fixture f(12, 9);
  f.canvas.SetPenMode(PenMode::kXor);
  f.canvas.SetPenWidth(3);
  f.canvas.MoveTo(2, 1);
  f.canvas.LineTo(9, 1);
  f.canvas.LineTo(2, 1);
  f.canvas.MoveTo(2, 5);
  f.canvas.LineTo(6, 5);
  f.canvas.LineTo(6, 8);
  EXPECT_EQ(Picture(*f.bitmap), Rows({"............",
                                      "............",
                                      "............",
                                      "............",
                                      "..####......",
                                      ".####.......",
                                      "..###..#....",
                                      ".....###....",
                                      ".....###...."}));
}

// Draws `strokes` (x0, y0, x1, y1) as the literal pair LineTo(end),
// LineTo(start), MoveTo(end) and as one LineThereAndBack each, and expects the
// same pixels and pen position.
void ExpectOnePassEqualsPair(int width, std::initializer_list<std::array<int, 4>> strokes) {
  Fixture pair(40, 40), once(40, 40);
  std::string what = "width " + std::to_string(width);
  for (Fixture* f : {&pair, &once}) f->canvas.SetPenWidth(width);
  for (const auto& [x0, y0, x1, y1] : strokes) {
    what += " (" + std::to_string(x0) + "," + std::to_string(y0) + ")-(" + std::to_string(x1) +
            "," + std::to_string(y1) + ")";
    pair.canvas.MoveTo(x0, y0);
    pair.canvas.LineTo(x1, y1);
    pair.canvas.LineTo(x0, y0);
    pair.canvas.MoveTo(x1, y1);
    once.canvas.MoveTo(x0, y0);
    once.canvas.LineThereAndBack(x1, y1);
    ASSERT_EQ(once.canvas.PenPosition(), (Point{x1, y1})) << what;
  }
  ASSERT_EQ(Picture(*once.bitmap), Picture(*pair.bitmap)) << what;
}

TEST(CanvasLines, ThereAndBackInOnePassPaintsWhatThePairPaints) {
  // The shortcut must stay pixel-identical to the literal pair of strokes for
  // every slope, width and clipping, including lines that leave the bitmap.
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> coordinate(-20, 60);
  for (const int width : {1, 2, 3, 5, 8, 15}) {
    // Zero length, inside, on the edge and outside; one pixel long.
    ExpectOnePassEqualsPair(width, {{5, 5, 5, 5}});
    ExpectOnePassEqualsPair(width, {{0, 39, 0, 39}});
    ExpectOnePassEqualsPair(width, {{-1, 20, -1, 20}});
    ExpectOnePassEqualsPair(width, {{7, 7, 8, 7}});
    ExpectOnePassEqualsPair(width, {{7, 7, 6, 8}});
    // A dashed line whose length is an exact multiple of its pattern: the
    // last dash ends on the segment's end and the cut dash after it has no
    // length left (type 2: 3 on, 3 off, a 12-pixel segment).
    ExpectOnePassEqualsPair(width, {{2, 10, 5, 10}, {8, 10, 11, 10}, {14, 10, 14, 10}});
    ExpectOnePassEqualsPair(width, {{2, 2, 4, 4}, {6, 6, 8, 8}, {10, 10, 10, 10}});
    for (int i = 0; i < 300; ++i) {
      const int x0 = coordinate(random), y0 = coordinate(random);
      const int x1 = coordinate(random), y1 = coordinate(random);
      ExpectOnePassEqualsPair(width, {{x0, y0, x1, y1}});
      if (HasFatalFailure()) return;
    }
  }
}

TEST(CanvasLines, ThereAndBackUnderExclusiveOrStillPaintsTwice) {
  Fixture f(12, 1);
  f.canvas.SetPenMode(PenMode::kXor);
  f.canvas.MoveTo(1, 0);
  f.canvas.LineThereAndBack(10, 0);
  EXPECT_EQ(Picture(*f.bitmap), Rows({".#........#."}));
}

TEST(CanvasShapes, RectangleOutlineBrushAndDegenerateBoxes) {
  Fixture f(15, 5);
  f.canvas.SetBrushColour(kRed);
  f.canvas.Rectangle(1, 1, 4, 4);    // 8 outline pixels and 1 inside
  f.canvas.Rectangle(6, 1, 7, 2);    // 1 × 1: nothing
  f.canvas.Rectangle(9, 1, 11, 3);   // 2 × 2: outline only
  f.canvas.Rectangle(13, 3, 12, 1);  // corners swapped, 1 × 2: a line
  f.canvas.Rectangle(5, 4, 5, 9);    // empty
  EXPECT_EQ(Picture(*f.bitmap), Rows({"...............",
                                      ".###.....##.#..",
                                      ".#r#.....##.#..",
                                      ".###...........",
                                      "..............."}));
}

TEST(CanvasShapes, ClearBrushIsWhiteAndLeavesTheInside) {
  Fixture f(6, 4);
  f.canvas.SetBrushColour(kGreen);
  f.canvas.SetBrushStyle(BrushStyle::kClear);
  EXPECT_EQ(f.canvas.BrushColour(), kWhite);
  f.bitmap->SetValue(2, 1, 2);
  f.canvas.Rectangle(0, 0, 6, 4);
  EXPECT_EQ(Picture(*f.bitmap), Rows({"######", "#.r..#", "#....#", "######"}));
}

TEST(CanvasShapes, DiagonalCrossHatchIsAnchoredAtTheBitmapOrigin) {
  Fixture f(10, 10);
  f.canvas.SetPenColour(kWhite);
  f.canvas.SetBrushStyle(BrushStyle::kDiagCross);
  f.canvas.SetBrushColour(kBlack);
  f.canvas.Rectangle(0, 0, 10, 10);
  EXPECT_EQ(Picture(*f.bitmap), Rows({"..........",
                                      ".#....#...",
                                      "..#..#....",
                                      "...##.....",
                                      "...##.....",
                                      "..#..#....",
                                      ".#....#...",
                                      ".......##.",
                                      ".......##.",
                                      ".........."}));
}

TEST(CanvasShapes, SmallEllipsesAsGdiPaintsThem) {
  Fixture f(18, 6);
  f.canvas.SetBrushColour(kRed);
  f.canvas.Ellipse(0, 0, 4, 4);
  f.canvas.Ellipse(5, 0, 10, 5);
  f.canvas.Ellipse(11, 0, 14, 3);
  f.canvas.Ellipse(15, 0, 17, 2);  // too thin for a curve: its box outlined
  f.canvas.Ellipse(17, 5, 18, 6);  // 1 × 1: nothing
  EXPECT_EQ(Picture(*f.bitmap), Rows({".##...###...#..##.",
                                      "#rr#.#rrr#.#r#.##.",
                                      "#rr#.#rrr#..#.....",
                                      ".##..#rrr#........",
                                      "......###.........",
                                      ".................."}));
}

TEST(CanvasShapes, FiguresFarBeyondTheBitmapAreClipped) {
  Fixture f(8, 6);
  f.canvas.SetBrushColour(kRed);
  const auto start = std::chrono::steady_clock::now();
  f.canvas.Ellipse(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_EQ(Picture(*f.bitmap), Rows({"rrrrrrrr", "rrrrrrrr", "rrrrrrrr", "rrrrrrrr", "rrrrrrrr",
                                      "rrrrrrrr"}));
  f.canvas.SetBrushColour(kGreen);
  f.canvas.SetPenWidth(5);
  f.canvas.Ellipse(-1000000000, -1000000000, 1000000000, 1000000000);
  f.canvas.SetPenWidth(9);
  f.canvas.Rectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX);  // the frame lies far outside
  f.canvas.SetPenWidth(1);
  f.canvas.Rectangle(-5, 2, INT_MAX, 4);  // top and bottom rows inside, no inside rows
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(Picture(*f.bitmap), Rows({"gggggggg", "gggggggg", "########", "########", "gggggggg",
                                      "gggggggg"}));
}

// Clipping must never change a visible pixel: a figure drawn on a bitmap that
// holds all of it, and drawn on a window of that bitmap whose edge cuts
// through it (coordinates moved by the window's corner, as a band of the
// output is drawn), paints the same pixels inside the window.
enum class Figure { kEllipse, kRectangle, kLine };

struct ClipSweep {
  long cases = 0;
  long differing = 0;
  std::string first;
};

void Draw(Canvas& canvas, Figure figure, int l, int t, int r, int b) {
  switch (figure) {
    case Figure::kEllipse:
      canvas.Ellipse(l, t, r, b);
      break;
    case Figure::kRectangle:
      canvas.Rectangle(l, t, r, b);
      break;
    case Figure::kLine:
      canvas.MoveTo(l, b);
      canvas.LineTo(r, t);
  }
}

std::unique_ptr<Bitmap> DrawOn(int width, int height, Figure figure, int pen, PenMode mode,
                               int l, int t, int r, int b) {
  auto bitmap = Make(width, height);
  Canvas canvas(*bitmap);
  canvas.SetPenColour(kBlack);
  canvas.SetPenWidth(pen);
  canvas.SetPenMode(mode);
  canvas.SetBrushColour(kRed);
  Draw(canvas, figure, l, t, r, b);
  return bitmap;
}

void SweepClipping(Figure figure, int pen, PenMode mode, int w, int h, ClipSweep& sweep) {
  const int margin = pen + 2;
  const int width = w + 2 * margin, height = h + 2 * margin;
  const auto whole = DrawOn(width, height, figure, pen, mode, margin, margin, margin + w, margin + h);
  // Windows: rows k.. (top edge cut), rows ..k (bottom), columns k.., columns ..k.
  for (int edge = 0; edge < 4; ++edge) {
    const bool rows = edge < 2;
    for (int k = 1; k < (rows ? height : width); ++k) {
      const int ox = edge == 2 ? k : 0, oy = edge == 0 ? k : 0;
      const int ww = edge == 2 ? width - k : edge == 3 ? k : width;
      const int wh = edge == 0 ? height - k : edge == 1 ? k : height;
      const auto window = DrawOn(ww, wh, figure, pen, mode, margin - ox, margin - oy,
                                 margin + w - ox, margin + h - oy);
      ++sweep.cases;
      bool same = true;
      for (int y = 0; y < wh && same; ++y) {
        for (int x = 0; x < ww && same; ++x) same = window->ValueAt(x, y) == whole->ValueAt(x + ox, y + oy);
      }
      if (same) continue;
      if (sweep.differing++ == 0) {
        sweep.first = "figure " + std::to_string(static_cast<int>(figure)) + " pen " +
                      std::to_string(pen) + (mode == PenMode::kXor ? " xor" : "") + " box " +
                      std::to_string(w) + "x" + std::to_string(h) + " edge " +
                      std::to_string(edge) + " at " + std::to_string(k);
      }
    }
  }
}

TEST(CanvasClipping, ClippedFiguresPaintWhatTheUnclippedOnesPaintInside) {
  ClipSweep sweep;
  const std::vector<int> sizes = {3, 4, 5, 6, 7, 9, 12, 16, 23};
  for (const PenMode mode : {PenMode::kCopy, PenMode::kXor}) {
    for (int pen = 1; pen <= 7; ++pen) {
      for (const int w : sizes) {
        for (const int h : sizes) SweepClipping(Figure::kEllipse, pen, mode, w, h, sweep);
      }
      for (const int size : {3, 9, 24}) {
        for (const Figure figure : {Figure::kRectangle, Figure::kLine}) {
          SweepClipping(figure, pen, mode, size, 7, sweep);
          SweepClipping(figure, pen, mode, 7, size, sweep);
        }
      }
    }
  }
  std::cout << "[ clipping ] " << sweep.differing << " of " << sweep.cases
            << " clipped figures differ\n";
  EXPECT_EQ(sweep.differing, 0) << "first: " << sweep.first;
}

// GDI's ellipse outline as Zingl's published walk over the box plots it (x
// steps whenever y does not): for each row of the box, the smallest and the
// largest x plotted in its left half.
// Rows nothing was plotted in hold (w, -1).
std::vector<std::pair<long long, long long>> WalkedOutline(long long w, long long h) {
  std::vector<std::pair<long long, long long>> rows(static_cast<std::size_t>(h), {w, -1});
  auto plot = [&](long long x, long long y) {
    auto& row = rows[static_cast<std::size_t>(y)];
    row = {std::min(row.first, x), std::max(row.second, x)};
  };
  __int128 a = w - 1, b = h - 1, b1 = b & 1;
  __int128 dx = 4 * (1 - a) * b * b, dy = 4 * (b1 + 1) * a * a, err = dx + dy + b1 * a * a;
  long long x0 = 0, x1 = static_cast<long long>(a);
  long long y0 = static_cast<long long>((b + 1) / 2), y1 = y0 - static_cast<long long>(b1);
  a *= 8 * a;
  b1 = 8 * b * b;
  do {
    plot(x0, y0);
    plot(x0, y1);
    const __int128 e2 = 2 * err;
    const bool y_step = e2 <= dy;
    if (y_step) {
      ++y0;
      --y1;
      err += dy += a;
    }
    if (e2 >= dx || !y_step) {
      ++x0;
      --x1;
      err += dx += b1;
    }
  } while (x0 <= x1);
  return rows;
}

TEST(CanvasShapes, HugeEllipsesTakeTheExactWalk) {
  // Boxes above 2^22 pixels wide plus high, seen at the top, at the side and
  // at a diagonal: black outline, red inside, as the walk plots them.
  for (const auto& [w, h] : {std::pair{2200001LL, 2200001LL}, std::pair{2200000LL, 2300001LL},
                            std::pair{4000000LL, 97LL}}) {
    const auto outline = WalkedOutline(w, h);
    const long long diagonal_row = static_cast<long long>(h / 2 - (h / 2) * 0.7071);
    const long long windows[3][2] = {{w / 2 - 40, 0}, {0, h / 2 - 8}, {outline[static_cast<std::size_t>(diagonal_row)].first - 40, diagonal_row - 8}};
    for (const auto& [wx, wy] : windows) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " at " + std::to_string(wx) + "," + std::to_string(wy));
      Fixture f(80, 16);
      f.canvas.SetBrushColour(kRed);
      f.canvas.Ellipse(static_cast<int>(-wx), static_cast<int>(-wy), static_cast<int>(w - wx), static_cast<int>(h - wy));
      std::string want;
      for (long long y = wy; y < wy + 16; ++y) {
        for (long long x = wx; x < wx + 80; ++x) {
          const auto& [left, run_end] = outline[static_cast<std::size_t>(y)];
          const long long mx = std::min(x, w - 1 - x);  // the mirror image in the left half
          const char c = mx < left ? '.' : mx <= run_end ? '#' : 'r';
          want += c;
        }
        want += '\n';
      }
      EXPECT_EQ(Picture(*f.bitmap), want);
    }
  }
}

TEST(CanvasShapes, EllipsesTooLargeToWalkToTheVisibleRowsAreNotDrawn) {
  // A box a billion pixels high seen at its top row: the walk would take a
  // billion steps from the middle. Near its middle rows it is drawn.
  Fixture f(8, 2);
  f.canvas.SetBrushColour(kRed);
  const auto start = std::chrono::steady_clock::now();
  f.canvas.Ellipse(-500000000, 0, 500000004, 1000000000);
  EXPECT_EQ(Picture(*f.bitmap), Rows({"........", "........"}));
  f.canvas.Ellipse(0, -500000000, 1000000000, 500000001);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(Picture(*f.bitmap), Rows({"#rrrrrrr", "#rrrrrrr"}));
}

TEST(CanvasColours, NearestEntryWithTiesToTheLowerIndex) {
  auto bitmap = Make(4, 1);
  bitmap->SetColourTable({kWhite, kBlack, Rgb(0, 160, 0), Rgb(128, 128, 128)});
  EXPECT_EQ(bitmap->ValueFor(Rgb(64, 64, 64)), 1u);  // black and grey equally far
  EXPECT_EQ(bitmap->ValueFor(Rgb(0, 80, 0)), 1u);    // black and green equally far
  EXPECT_EQ(bitmap->ValueFor(Rgb(100, 150, 90)), 3u);
  Canvas canvas(*bitmap);
  canvas.SetPenColour(Rgb(0, 120, 10));
  canvas.MoveTo(0, 0);
  canvas.LineTo(2, 0);
  canvas.SetPixel(3, 0, Rgb(250, 250, 250));
  EXPECT_EQ(Picture(*bitmap, ".#gs"), "gg..\n");
  EXPECT_EQ(bitmap->ColourAt(0, 0), Rgb(0, 160, 0));
}

TEST(CanvasColours, PenIsMatchedAgainAfterTheColourTableChanges) {
  auto bitmap = Make(3, 1);
  Canvas canvas(*bitmap);
  canvas.SetPenColour(kRed);  // index 2 of the fixture's table
  bitmap->SetColourTable({kBlack, kWhite, kGreen, kRed});
  canvas.MoveTo(0, 0);
  canvas.LineTo(3, 0);
  EXPECT_EQ(Picture(*bitmap, "0123"), "333\n");
}

TEST(CanvasColours, OneBitPensShowAgainstTheBackground) {
  auto bitmap = Make(6, 1, 1);
  Canvas canvas(*bitmap);
  bitmap->SetValue(5, 0, 1);
  const Colour light = Rgb(200, 200, 200), dark = Rgb(64, 64, 64);
  // Background white: a light grey pen is not its nearest entry (white) but
  // black, so that it shows; SetPixel takes the nearest.
  canvas.SetPenColour(light);
  canvas.MoveTo(0, 0);
  canvas.LineTo(1, 0);
  canvas.SetPixel(1, 0, light);
  // Background black: a dark grey pen paints white.
  canvas.SetBackgroundColour(kBlack);
  canvas.SetPenColour(dark);
  canvas.MoveTo(2, 0);
  canvas.LineTo(3, 0);
  // The background colour itself takes its nearest entry; table colours
  // stay themselves.
  canvas.SetBackgroundColour(light);
  canvas.SetPenColour(light);
  canvas.MoveTo(3, 0);
  canvas.LineTo(4, 0);
  canvas.SetPenColour(kBlack);
  canvas.MoveTo(5, 0);
  canvas.LineTo(6, 0);
  EXPECT_EQ(Picture(*bitmap, "01"), "011100\n");

  // Text masks follow the pens' rule.
  auto text = Make(2, 1, 1);
  text->SetValue(0, 0, 1);
  Canvas text_canvas(*text);
  const std::uint8_t mask[] = {0x80};
  text_canvas.FillMask(0, 0, 1, 1, mask, 1, light);
  EXPECT_EQ(Picture(*text, "01"), "00\n");
}

TEST(CanvasColours, SixteenBitsTruncateEachChannel) {
  auto bitmap = Make(2, 1, 16);
  EXPECT_EQ(bitmap->ValueFor(Rgb(132, 132, 132)), 0x8430u);
  EXPECT_EQ(bitmap->ValueFor(Rgb(7, 3, 7)), 0u);
  EXPECT_EQ(bitmap->ValueFor(Rgb(8, 4, 8)), 0x0821u);
  EXPECT_EQ(bitmap->ValueFor(Rgb(255, 0, 0)), 0xF800u);
  Canvas canvas(*bitmap);
  canvas.SetPixel(0, 0, Rgb(255, 128, 7));
  EXPECT_EQ(bitmap->ValueAt(0, 0), 0xFC00u);
  EXPECT_EQ(bitmap->Row(0)[0], 0x00);  // little-endian word
  EXPECT_EQ(bitmap->Row(0)[1], 0xFC);
  EXPECT_EQ(bitmap->ColourAt(0, 0), Rgb(255, 130, 0));
}

TEST(CanvasColours, ExclusiveOrCombinesStoredValues) {
  auto rgb = Make(1, 1, 24);
  Canvas canvas(*rgb);
  canvas.SetPixel(0, 0, 0x123456);
  canvas.SetPenMode(PenMode::kXor);
  canvas.SetPixel(0, 0, 0x00FF00);
  EXPECT_EQ(rgb->ValueAt(0, 0), 0x12CB56u);
  EXPECT_EQ(rgb->Row(0)[0], 0x12);  // blue first
  EXPECT_EQ(rgb->Row(0)[2], 0x56);

  // Indexed bitmaps combine the indices, whatever colours they stand for.
  auto indexed = Make(2, 1, 4);
  Canvas xor_canvas(*indexed);
  indexed->SetValue(0, 0, 3);
  xor_canvas.SetPenMode(PenMode::kXor);
  xor_canvas.SetPenColour(kRed);  // index 2
  xor_canvas.MoveTo(0, 0);
  xor_canvas.LineTo(2, 0);
  EXPECT_EQ(Picture(*indexed, "0123"), "12\n");
}

// Random figures of every kind, drawn twice with an exclusive-or pen over
// random pixels, leave every format's bitmap as it was.
TEST(CanvasXor, DrawingTwiceRestoresTheBitmapInEveryFormat) {
  for (int bits : {1, 4, 8, 16, 24}) {
    SCOPED_TRACE(bits);
    auto bitmap = Make(61, 43, bits);
    if (bits == 8) {
      std::vector<Colour> table;
      for (int i = 0; i < 256; ++i) table.push_back(Rgb(i, 255 - i, (i * 7) & 0xFF));
      bitmap->SetColourTable(table);
    }
    std::mt19937 random(bits);
    for (std::size_t i = 0; i < bitmap->SizeBytes(); ++i) {
      bitmap->Row(0)[i] = static_cast<std::uint8_t>(random());
    }
    const std::vector<std::uint8_t> before(bitmap->Row(0), bitmap->Row(0) + bitmap->SizeBytes());
    Canvas canvas(*bitmap);
    canvas.SetPenMode(PenMode::kXor);
    for (int pass = 0; pass < 2; ++pass) {
      std::mt19937 figures(99);
      auto coord = [&](int size) { return static_cast<int>(figures() % (size + 40)) - 20; };
      for (int i = 0; i < 60; ++i) {
        canvas.SetPenColour(figures() & 0xFFFFFF);
        canvas.SetPenWidth(static_cast<int>(figures() % 4 == 0 ? 2 + figures() % 8 : 1));
        canvas.SetBrushColour(figures() & 0xFFFFFF);
        canvas.SetBrushStyle(static_cast<BrushStyle>(figures() % 3));
        const int x1 = coord(61), y1 = coord(43), x2 = coord(61), y2 = coord(43);
        switch (figures() % 4) {
          case 0:
            canvas.MoveTo(x1, y1);
            canvas.LineTo(x2, y2);
            canvas.LineTo(x1, y2);
            break;
          case 1:
            canvas.Rectangle(x1, y1, x2, y2);
            break;
          case 2:
            canvas.Ellipse(x1, y1, x2, y2);
            break;
          default:
            canvas.SetPixel(x1, y1, figures() & 0xFFFFFF);
        }
      }
      if (pass == 0) {
        EXPECT_NE(std::vector<std::uint8_t>(bitmap->Row(0), bitmap->Row(0) + bitmap->SizeBytes()),
                  before);
      }
    }
    EXPECT_EQ(std::vector<std::uint8_t>(bitmap->Row(0), bitmap->Row(0) + bitmap->SizeBytes()), before);
  }
}

TEST(CanvasText, MasksAreClippedAndNeedARowPitch) {
  Fixture f(8, 3);
  // 10 × 2: row 0 pixels 0, 2, 3 and 9; row 1 pixels 0..9.
  const std::uint8_t mask[] = {0xB0, 0x40, 0xFF, 0xC0};
  f.canvas.FillMask(-2, -1, 10, 2, mask, 2, kBlack);
  f.canvas.FillMask(5, 1, 10, 2, mask, 2, kRed);
  f.canvas.FillMask(0, 1, 10, 2, mask, 1, kRed);        // pitch shorter than a row
  f.canvas.FillMask(0, 1, 10, 2, nullptr, 2, kRed);     // no mask
  f.canvas.FillMask(INT_MAX, INT_MAX, 10, 2, mask, 2, kRed);
  f.canvas.TextOut(0, 0, "no rasterizer: nothing");
  EXPECT_EQ(Picture(*f.bitmap), Rows({"########", ".....r.r", ".....rrr"}));
}

TEST(CanvasText, MasksPaintExactlyTheirSetBitsWhateverTheBytes) {
  // Whole clear and whole set bytes beside single bits, and set padding bits
  // beyond the width, which must not paint.
  std::mt19937 random(7);
  for (const int width : {1, 7, 8, 9, 23, 40}) {
    const int pitch = (width + 7) / 8 + 1;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(pitch) * 5);
    for (std::uint8_t& byte : mask) {
      const unsigned r = random() % 4;
      byte = r == 0 ? 0x00 : r == 1 ? 0xFF : static_cast<std::uint8_t>(random());
    }
    Fixture masked(48, 7);
    Fixture reference(48, 7);
    masked.canvas.FillMask(3, 1, width, 5, mask.data(), pitch, kRed);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < width; ++x) {
        if (mask[static_cast<std::size_t>(y * pitch + x / 8)] & (0x80 >> (x % 8))) {
          reference.canvas.SetPixel(3 + x, 1 + y, kRed);
        }
      }
    }
    EXPECT_EQ(Picture(*masked.bitmap), Picture(*reference.bitmap)) << width;
  }
}

TEST(CanvasPen, WidthsAreHeldToOneAndTheLimit) {
  Fixture f(1, 1);
  f.canvas.SetPenWidth(0);
  EXPECT_EQ(f.canvas.PenWidth(), 1);
  f.canvas.SetPenWidth(-7);
  EXPECT_EQ(f.canvas.PenWidth(), 1);
  f.canvas.SetPenWidth(INT_MAX);
  EXPECT_EQ(f.canvas.PenWidth(), Canvas::kMaxPenWidth);
  f.canvas.MoveTo(0, 0);
  f.canvas.LineTo(0, 0);
  EXPECT_EQ(Picture(*f.bitmap), "#\n");
}

TEST(CanvasPixel, SaturateToPixelRoundsHalvesToEvenAndHoldsTheRange) {
  EXPECT_EQ(SaturateToPixel(2.5L), 2);
  EXPECT_EQ(SaturateToPixel(3.5L), 4);
  EXPECT_EQ(SaturateToPixel(-2.5L), -2);
  EXPECT_EQ(SaturateToPixel(-2.6L), -3);
  EXPECT_EQ(SaturateToPixel(std::numeric_limits<long double>::quiet_NaN()), 0);
  EXPECT_EQ(SaturateToPixel(std::numeric_limits<long double>::infinity()), 1 << 30);
  EXPECT_EQ(SaturateToPixel(-std::numeric_limits<long double>::infinity()), -(1 << 30));
  EXPECT_EQ(SaturateToPixel(1e300L), 1 << 30);
  EXPECT_EQ(SaturateToPixel(-1073741823.5L), -1073741824);
}

TEST(CanvasBitmap, EmptyBitmapsTakeEveryOperation) {
  for (auto [w, h] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{5, 0}}) {
    std::string error;
    auto bitmap = Bitmap::Create(w, h, 24, &error);
    ASSERT_NE(bitmap, nullptr) << error;
    EXPECT_EQ(bitmap->SizeBytes(), 0u);
    Canvas canvas(*bitmap);
    canvas.SetBrushStyle(BrushStyle::kDiagCross);
    for (int width : {1, 6}) {
      canvas.SetPenWidth(width);
      canvas.MoveTo(-3, -3);
      canvas.LineTo(4, 4);
      canvas.Rectangle(-1, -1, 3, 3);
      canvas.Ellipse(-1, -1, 3, 3);
    }
    canvas.SetPixel(0, 0, kRed);
    const std::uint8_t mask[] = {0xFF};
    canvas.FillMask(0, 0, 8, 1, mask, 1, kRed);
  }
}

TEST(CanvasBitmap, RowsArePaddedToFourBytes) {
  struct Case {
    int width, bits;
    std::size_t stride;
  } cases[] = {{1, 1, 4},  {32, 1, 4},  {33, 1, 8}, {9, 4, 8},   {8, 4, 4},
               {5, 8, 8},  {3, 16, 8},  {2, 16, 4}, {5, 24, 16}, {4, 24, 12}};
  for (const auto& c : cases) {
    auto bitmap = Bitmap::Create(c.width, 3, c.bits);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Stride(), c.stride) << c.width << " px at " << c.bits << " bits";
    EXPECT_EQ(bitmap->SizeBytes(), 3 * c.stride);
    for (std::size_t i = 0; i < bitmap->SizeBytes(); ++i) ASSERT_EQ(bitmap->Row(0)[i], 0);
  }
  EXPECT_EQ(Bitmap::Create(3, 3, 1)->ColourTable(), (std::vector<Colour>{kBlack, kWhite}));
  EXPECT_TRUE(Bitmap::Create(3, 3, 8)->ColourTable().empty());
  auto four = Bitmap::Create(3, 3, 4);
  four->SetColourTable(std::vector<Colour>(20, kRed));  // more than 16 entries: cut
  EXPECT_EQ(four->ColourTable().size(), 16u);
}

TEST(CanvasBitmap, CreationFailsWithAReason) {
  std::string error;
  EXPECT_EQ(Bitmap::Create(-1, 5, 24, &error), nullptr);
  EXPECT_NE(error.find("negative"), std::string::npos) << error;
  EXPECT_EQ(Bitmap::Create(5, 5, 32, &error), nullptr);
  EXPECT_NE(error.find("format"), std::string::npos) << error;
  EXPECT_EQ(Bitmap::Create(INT_MAX, INT_MAX, 24, &error), nullptr);
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
  // An exabyte: the size fits in 64 bits, the memory does not exist.
  EXPECT_EQ(Bitmap::Create(1 << 30, 1 << 30, 8, &error), nullptr);
  EXPECT_NE(error.find("memory"), std::string::npos) << error;
  EXPECT_EQ(Bitmap::Create(5, 5, 24, nullptr)->Width(), 5);
}

TEST(CanvasBitmap, AnA0SheetAt600DpiIn24Bits) {
  std::string error;
  auto sheet = Bitmap::Create(28087, 19866, 24, &error);
  ASSERT_NE(sheet, nullptr) << error;
  EXPECT_EQ(sheet->Stride(), 84264u);
  EXPECT_EQ(sheet->SizeBytes(), 84264u * 19866u);
  Canvas canvas(*sheet);
  canvas.SetPixel(28086, 19865, kRed);
  canvas.SetPixel(0, 0, kGreen);
  EXPECT_EQ(sheet->ColourAt(28086, 19865), kRed);
  EXPECT_EQ(sheet->ColourAt(0, 0), kGreen);
  EXPECT_EQ(sheet->ColourAt(14000, 10000), kBlack);
}

}  // namespace
}  // namespace pelmora
