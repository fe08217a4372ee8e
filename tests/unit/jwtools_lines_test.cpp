// Line types: pattern table, dash cutting with its phase, solid there-and-back
// strokes, pen widths. Pictures: '#' painted, '.' untouched, row 0 first.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/raster/canvas.h"
#include "render/jwtools.h"
#include "render/jwtools_lines_testing.h"

namespace pelmora {
namespace {

std::string Picture(const Bitmap& bitmap) {
  std::string out;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) out += bitmap.ValueAt(x, y) != 0 ? '#' : '.';
    out += '\n';
  }
  return out;
}

std::string Rows(std::initializer_list<std::string_view> rows) {
  std::string out;
  for (std::string_view row : rows) (out += row) += '\n';
  return out;
}

class JwtoolsLines : public ::testing::Test {
 protected:
  void SetUp() override { ResetLinePatternForTesting(); }
  void TearDown() override { ResetLinePatternForTesting(); }

  // A black 24-bit bitmap with a white one-pixel pen.
  Canvas& Paper(int width, int height) {
    m_bitmap = Bitmap::Create(width, height, 24);
    m_canvas = std::make_unique<Canvas>(*m_bitmap);
    m_canvas->SetPenColour(Rgb(255, 255, 255));
    return *m_canvas;
  }
  std::string Drawn() const { return Picture(*m_bitmap); }

  std::unique_ptr<Bitmap> m_bitmap;
  std::unique_ptr<Canvas> m_canvas;
};

TEST_F(JwtoolsLines, PatternTableAt96PixelsPerInch) {
  Canvas& canvas = Paper(1, 1);
  const std::vector<std::vector<int>> expected = {{3, 3},
                                                  {5, 5},
                                                  {8, 3},
                                                  {33, 5, 3, 5},
                                                  {67, 11, 5, 11},
                                                  {33, 3, 3, 3, 3, 3},
                                                  {67, 5, 5, 5, 5, 5},
                                                  {1, 9}};
  for (int type = 2; type <= 9; ++type) {
    SetLineType(canvas, type);
    const LinePatternView p = LinePatternForTesting();
    const std::vector<int>& row = expected[type - 2];
    ASSERT_EQ(p.count, static_cast<int>(row.size())) << "type " << type;
    int sum = 0;
    for (std::size_t k = 0; k < row.size(); ++k) {
      EXPECT_EQ(p.elements[k + 1], row[k]) << "type " << type << " element " << k + 1;
      sum += row[k];
    }
    EXPECT_EQ(p.pattern_length, sum);
    EXPECT_FLOAT_EQ(p.pattern_unit, 96.0f / 72.0f);
  }
}

TEST_F(JwtoolsLines, SolidLinesPaintBothEnds) {
  Canvas& canvas = Paper(12, 12);
  SetLineType(canvas, 1);
  LineMoveTo(canvas, 0, 0);
  LineDrawTo(canvas, 10, 0);
  EXPECT_EQ(canvas.PenPosition(), (Point{10, 0}));
  LineMoveTo(canvas, 11, 11);  // backwards and upwards
  LineDrawTo(canvas, 11, 2);
  LineMoveTo(canvas, 2, 2);
  LineDrawTo(canvas, 8, 8);
  EXPECT_EQ(Drawn(), Rows({"###########.", "............", "..#........#", "...#.......#",
                           "....#......#", ".....#.....#", "......#....#", ".......#...#",
                           "........#..#", "...........#", "...........#", "...........#"}));
}

TEST_F(JwtoolsLines, Type2DashesAndTheirPhase) {
  Canvas& canvas = Paper(24, 13);
  SetLineType(canvas, 2);
  LineMoveTo(canvas, 0, 0);
  LineDrawTo(canvas, 20, 0);  // the last dash is cut at x = 20 and painted there and back
  LinePatternView p = LinePatternForTesting();
  EXPECT_EQ(p.phase_element, 1);
  EXPECT_EQ(p.phase_offset, 3);
  EXPECT_EQ(canvas.PenPosition(), (Point{20, 0}));

  // A diagonal dash of 3 pixels' length covers 2 pixels.
  LineMoveTo(canvas, 0, 2);
  LineDrawTo(canvas, 10, 12);
  p = LinePatternForTesting();
  EXPECT_EQ(p.phase_element, 1);
  EXPECT_EQ(p.phase_offset, 3);  // 14.14 - 12 = 2.14 of the last dash used
  EXPECT_EQ(
      Drawn(),
      Rows({"###...###...###...###...", "........................", "#.......................",
            ".#......................", "........................", "........................",
            "....#...................", ".....#..................", "........................",
            "........................", "........#...............", ".........#..............",
            "..........#............."}));
}

TEST_F(JwtoolsLines, ExactMultipleOfThePatternEndsWithTheLastGap) {
  // Two whole repetitions of type 2 (3 on, 3 off): the dash after them has no
  // length left and paints nothing at the end, across and along both axes.
  Canvas& canvas = Paper(14, 14);
  SetLineType(canvas, 2);
  LineMoveTo(canvas, 0, 0);
  LineDrawTo(canvas, 12, 0);
  EXPECT_EQ(LinePatternForTesting().phase_element, 1);
  EXPECT_EQ(LinePatternForTesting().phase_offset, 1);
  LineMoveTo(canvas, 13, 13);
  LineDrawTo(canvas, 13, 1);
  EXPECT_EQ(Drawn(), Rows({"###...###.....", "..............", "..............",
                           "..............", "..............", ".............#",
                           ".............#", ".............#", "..............",
                           "..............", "..............", ".............#",
                           ".............#", ".............#"}));
}

TEST_F(JwtoolsLines, PatternRunsOnAcrossSegmentsAndCorners) {
  Canvas& canvas = Paper(12, 6);
  SetLineType(canvas, 2);
  LineMoveTo(canvas, 0, 0);  // cut into pieces, the line dashes as if whole
  LineDrawTo(canvas, 4, 0);
  LinePatternView p = LinePatternForTesting();
  EXPECT_EQ(p.phase_element, 2);
  EXPECT_EQ(p.phase_offset, 2);
  LineDrawTo(canvas, 4, 0);  // zero length: nothing drawn, phase kept
  p = LinePatternForTesting();
  EXPECT_EQ(p.phase_element, 2);
  EXPECT_EQ(p.phase_offset, 2);
  LineDrawTo(canvas, 11, 0);

  // 0..7 leaves one pixel of a dash painted there and back (7); 7..8 continues
  // it forward only (8 is left for the next segment); the turn down takes the
  // dash's last pixel and then the gap.
  LineMoveTo(canvas, 0, 2);
  LineDrawTo(canvas, 7, 2);
  LineDrawTo(canvas, 8, 2);
  p = LinePatternForTesting();
  EXPECT_EQ(p.phase_element, 1);
  EXPECT_EQ(p.phase_offset, 3);
  LineDrawTo(canvas, 8, 5);
  p = LinePatternForTesting();
  EXPECT_EQ(p.phase_element, 2);
  EXPECT_EQ(p.phase_offset, 3);
  EXPECT_EQ(Drawn(), Rows({"###...###...", "............", "###...###...", "............",
                           "............", "............"}));
}

TEST_F(JwtoolsLines, Type0MovesAndOtherTypesKeepTheLastPattern) {
  Canvas& canvas = Paper(60, 4);
  SetLineType(canvas, 5);
  SetLineType(canvas, 0);
  LineMoveTo(canvas, 0, 0);
  LineDrawTo(canvas, 59, 0);
  EXPECT_EQ(canvas.PenPosition(), (Point{59, 0}));

  for (int type : {5, 12, -3}) {  // 12 and -3 draw with type 5's pattern
    SetLineType(canvas, type);
    EXPECT_EQ(LinePatternForTesting().line_type, type);
    EXPECT_EQ(LinePatternForTesting().count, 4);
    LineMoveTo(canvas, 0, type == 5 ? 1 : type == 12 ? 2 : 3);
    LineDrawTo(canvas, 59, type == 5 ? 1 : type == 12 ? 2 : 3);
  }
  const std::string dashed = "#################################.....###.....##############";
  EXPECT_EQ(Drawn(), Rows({std::string(60, '.'), dashed, dashed, dashed}));
}

TEST_F(JwtoolsLines, PatternedTypeBeforeAnyPatternDrawsSolid) {
  Canvas& canvas = Paper(8, 1);
  SetLineType(canvas, 12);
  EXPECT_EQ(LinePatternForTesting().pattern_length, 0);
  LineMoveTo(canvas, 1, 0);
  LineDrawTo(canvas, 6, 0);
  EXPECT_EQ(Drawn(), Rows({".######."}));
}

TEST_F(JwtoolsLines, WidthZeroOrBelowIsOnePixelAndAppliesAtMoveTo) {
  Canvas& canvas = Paper(6, 5);
  LineMoveTo(canvas, 0, 0);  // program start: width 0
  EXPECT_EQ(canvas.PenWidth(), 1);
  for (int width : {0, -7}) {
    canvas.SetPenWidth(4);
    SetLineWidth(canvas, width);
    EXPECT_EQ(LinePatternForTesting().pen_width, 1);
    EXPECT_EQ(canvas.PenWidth(), 4);  // untouched until the next LineMoveTo
    LineMoveTo(canvas, 0, 0);
    EXPECT_EQ(canvas.PenWidth(), 1);
  }
  SetLineWidth(canvas, 3);
  LineMoveTo(canvas, 0, 0);
  EXPECT_EQ(canvas.PenWidth(), 3);

  SetLineWidth(canvas, 0);
  SetLineType(canvas, 1);
  LineMoveTo(canvas, 1, 2);
  LineDrawTo(canvas, 4, 2);
  EXPECT_EQ(Drawn(), Rows({"......", "......", ".####.", "......", "......"}));
}

TEST_F(JwtoolsLines, VeryLongLinesDashInPlaceAndFinish) {
  Canvas& canvas = Paper(24, 3);
  SetLineType(canvas, 2);
  // 200 000 repetitions, summed step by step; the start is a multiple of 6.
  LineMoveTo(canvas, -600000, 0);
  LineDrawTo(canvas, 600000, 0);
  // 2^31 pixels: only the repetitions near the bitmap are walked.
  LineMoveTo(canvas, -(1 << 30), 1);
  LineDrawTo(canvas, 1 << 30, 1);
  LinePatternView p = LinePatternForTesting();
  EXPECT_EQ(p.phase_element, 1);  // 2^31 = 6 × 357913941 + 2
  EXPECT_EQ(p.phase_offset, 3);
  // Wholly outside: nothing painted, the same phase, the pen at the end.
  LineMoveTo(canvas, -(1 << 30), 100);
  LineDrawTo(canvas, 1 << 30, 100);
  p = LinePatternForTesting();
  EXPECT_EQ(p.phase_element, 1);
  EXPECT_EQ(p.phase_offset, 3);
  EXPECT_EQ(canvas.PenPosition(), (Point{1 << 30, 100}));
  EXPECT_EQ(Drawn(), Rows({"###...###...###...###...", "..###...###...###...###.",
                           "........................"}));
}

TEST_F(JwtoolsLines, ExtremeCoordinatesFinishAtTheirEnd) {
  Canvas& canvas = Paper(16, 16);
  const int values[] = {std::numeric_limits<int>::min(), -(1 << 30), -3, 7, 1 << 30,
                        std::numeric_limits<int>::max()};
  for (int type : {1, 2, 9}) {
    SetLineType(canvas, type);
    for (int width : {1, 5}) {
      SetLineWidth(canvas, width);
      for (int x1 : values) {
        for (int y1 : values) {
          for (int x2 : values) {
            for (int y2 : values) {
              LineMoveTo(canvas, x1, y1);
              LineDrawTo(canvas, x2, y2);
              ASSERT_EQ(canvas.PenPosition(), (Point{x2, y2}));
              const LinePatternView p = LinePatternForTesting();
              ASSERT_TRUE(p.phase_element >= 1 && p.phase_element <= std::max(p.count, 1));
              ASSERT_TRUE(p.phase_offset >= 1 && p.phase_offset <= p.elements[p.phase_element] + 1);
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace pelmora
