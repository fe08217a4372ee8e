// Where DrawJwcText puts each character of a JW_CAD text, and what it draws.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/fonts/font_rasterizer.h"
#include "render/jwtools_text.h"

namespace pelmora {
namespace {

const std::string kA = "\x82\xA0";                                                 // あ
const std::string kI = "\x82\xA2";                                                 // い
const std::string kU = "\x82\xA4";                                                 // う
const std::string kDot = "\x81\x45";                                               // ・
const std::string kFace = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック

// The text of the examples: W = H = 20, S = 2, from (100, 200) to the right.
std::vector<JwcTextChar> Across(std::string_view text, std::uint8_t flags = 0) {
  return LayoutJwcText(text, 100, 200, 300, 200, 20, 20, 2, flags, kFace);
}
// The same pointing down the canvas (angle 270).
std::vector<JwcTextChar> Down(std::string_view text, std::uint8_t flags = 0) {
  return LayoutJwcText(text, 100, 200, 100, 400, 20, 20, 2, flags, kFace);
}

std::vector<Point> Positions(const std::vector<JwcTextChar>& chars) {
  std::vector<Point> points;
  for (const auto& c : chars) points.push_back(c.at);
  return points;
}

std::vector<std::string> Texts(const std::vector<JwcTextChar>& chars) {
  std::vector<std::string> texts;
  for (const auto& c : chars) texts.push_back(c.bytes);
  return texts;
}

using Points = std::vector<Point>;
using Strings = std::vector<std::string>;

TEST(JwcTextLayout, HalfWidthLettersStandOnTheLine) {
  const auto chars = Across("AB");
  ASSERT_EQ(chars.size(), 2u);
  EXPECT_EQ(Positions(chars), (Points{{100, 180}, {111, 180}}));
  EXPECT_EQ(Texts(chars), (Strings{"A", "B"}));
  for (const auto& c : chars) {
    // The request CreateFontIndirectA got, field by field.
    EXPECT_EQ(c.font.height, 20);
    EXPECT_EQ(c.font.width, 10);
    EXPECT_EQ(c.font.escapement, 0);
    EXPECT_EQ(c.font.orientation, 0);
    EXPECT_EQ(c.font.weight, 0);
    EXPECT_EQ(c.font.italic, 0);
    EXPECT_EQ(c.font.underline, 0);
    EXPECT_EQ(c.font.strike_out, 0);
    EXPECT_EQ(c.font.char_set, 1);
    EXPECT_EQ(c.font.out_precision, 2);
    EXPECT_EQ(c.font.clip_precision, 0);
    EXPECT_EQ(c.font.quality, 2);
    EXPECT_EQ(c.font.pitch_and_family, 0);
    EXPECT_EQ(c.font.face_name, kFace);
  }
}

TEST(JwcTextLayout, TwoByteCharactersTakeTheFullAdvance) {
  EXPECT_EQ(Positions(Across(kA + "B")), (Points{{100, 180}, {122, 180}}));
  EXPECT_EQ(Positions(Across(kA + kI + "B" + kU)),
            (Points{{100, 180}, {122, 180}, {144, 180}, {155, 180}}));
  // Scanning goes from character to character: the 0x81 0x45 inside "\x88\x81"
  // "E" is no middle dot, so the text keeps all its characters.
  EXPECT_EQ(Texts(Across("AB\x88\x81"
                         "E")),
            (Strings{"A", "B", "\x88\x81", "E"}));
}

TEST(JwcTextLayout, AngleAndEscapementFollowTheDirection) {
  // Down the canvas is 270 degrees counterclockwise.
  const auto down = Down(kA + kI);
  EXPECT_EQ(down[0].font.escapement, 2700);
  // The cell hangs H above the line: on this line "above" is to the right.
  EXPECT_EQ(Positions(down), (Points{{120, 200}, {120, 222}}));

  // Up and to the right at 30 degrees: the steps and the cell shift turn too.
  const float dx = 100 * std::cos(30 * 3.14159265358979f / 180);
  const auto slanted = LayoutJwcText("AB", 100, 200, 100 + dx, 150, 20, 20, 2, 0, kFace);
  EXPECT_EQ(slanted[0].font.escapement, 300);
  EXPECT_EQ(Positions(slanted), (Points{{90, 183}, {100, 177}}));

  // Start and end point the same: angle 0.
  const auto still = LayoutJwcText("AB", 50, 60, 50, 60, 20, 20, 2, 0, kFace);
  EXPECT_EQ(still[0].font.escapement, 0);
  EXPECT_EQ(Positions(still), (Points{{50, 40}, {61, 40}}));
}

TEST(JwcTextLayout, VerticalWritingTurnsTheFontAndStepsByTheHeight) {
  const auto chars = LayoutJwcText(kA + kI + "B" + kU, 100, 200, 100, 400, 20, 16, 2, 0x20, kFace);
  // 2700 + 900 wraps to 0: upright characters hanging from the line.
  for (const auto& c : chars) EXPECT_EQ(c.font.escapement, 0);
  EXPECT_EQ(Positions(chars), (Points{{100, 200}, {100, 222}, {100, 244}, {100, 255}}));
  EXPECT_EQ(chars[0].font.width, 8);
  // Vertical writing across the canvas: the font turns to 900.
  EXPECT_EQ(Across(kA, 0x20)[0].font.escapement, 900);
  // Other flag bits change nothing.
  EXPECT_EQ(Positions(Across("AB", 0xDF)), (Points{{100, 180}, {111, 180}}));
}

TEST(JwcTextLayout, TrailingMiddleDotsSpreadTheText) {
  // Three characters and two dots: r = 2 / (3 - 1) = 1, each step two full advances.
  const auto chars = Across(kA + kI + kU + kDot + kDot);
  EXPECT_EQ(Texts(chars), (Strings{kA, kI, kU}));
  EXPECT_EQ(Positions(chars), (Points{{100, 180}, {144, 180}, {188, 180}}));
  // Half steps grow by the same vector: r = 1 / 2 adds 11 to each.
  EXPECT_EQ(Positions(Across("ABC" + kDot)), (Points{{100, 180}, {122, 180}, {144, 180}}));
  // Two characters are never shortened, and at least two remain.
  EXPECT_EQ(Texts(Across(kDot + kDot)), (Strings{kDot, kDot}));
  EXPECT_EQ(Positions(Across(kDot + kDot)), (Points{{100, 180}, {122, 180}}));
  const auto short_text = Across("A" + kDot + kDot);
  EXPECT_EQ(Texts(short_text), (Strings{"A", kDot}));
  EXPECT_EQ(Positions(short_text), (Points{{100, 180}, {133, 180}}));  // 11 + 22
  // Dots inside the text stay where they are.
  EXPECT_EQ(Texts(Across(kDot + "AB")), (Strings{kDot, "A", "B"}));
}

TEST(JwcTextLayout, RaisedAndLoweredCharacters) {
  // x ^u 2 y: the 2 at half height at the top of the line, then a half step.
  const auto up = Across("x^u2y");
  EXPECT_EQ(Texts(up), (Strings{"x", "2", "y"}));
  EXPECT_EQ(Positions(up), (Points{{100, 180}, {111, 180}, {122, 180}}));
  EXPECT_EQ(up[1].font.height, 10);
  EXPECT_EQ(up[1].font.width, 10);
  EXPECT_EQ(up[2].font.height, 20);  // restored after the code

  // ^c in the middle of the line, ^d on it.
  EXPECT_EQ(Positions(Across("x^c2y")), (Points{{100, 180}, {111, 185}, {122, 180}}));
  EXPECT_EQ(Positions(Across("x^d2y")), (Points{{100, 180}, {111, 190}, {122, 180}}));
  EXPECT_EQ(Across("x^d2y")[1].font.height, 10);

  // A two-byte character after a code also gets half the width.
  const auto wide = Across("x^u" + kA + "y");
  EXPECT_EQ(wide[1].font.width, 5);
  EXPECT_EQ(wide[1].font.height, 10);
  EXPECT_EQ(wide[2].at, (Point{122, 180}));  // still a half step
}

TEST(JwcTextLayout, OverlaysDrawOnThePreviousCharacter) {
  // Back by a share of the last ordinary step (11), no step afterwards.
  EXPECT_EQ(Positions(Across("x^o2y")), (Points{{100, 180}, {103, 185}, {111, 180}}));
  EXPECT_EQ(Across("x^o2y")[1].font.height, 10);
  EXPECT_EQ(Positions(Across("x^b2y")), (Points{{100, 180}, {104, 180}, {111, 180}}));
  EXPECT_EQ(Across("x^b2y")[1].font.height, 20);
  EXPECT_EQ(Positions(Across("x^B2y")), (Points{{100, 180}, {103, 180}, {111, 180}}));
  // After a two-byte character the last step is the full one (22).
  EXPECT_EQ(Positions(Across(kA + "^B" + kI + "B")), (Points{{100, 180}, {106, 180}, {122, 180}}));
  EXPECT_EQ(Across(kA + "^B" + kI)[1].font.width, 5);
  // Codes do not change the last step: two overlays go back from the same place.
  EXPECT_EQ(Positions(Across("x^b2^b3")), (Points{{100, 180}, {104, 180}, {104, 180}}));
}

TEST(JwcTextLayout, ControlCodesInVerticalWriting) {
  // Down the canvas, vertical: along = down, the normal points right.
  const auto c = Down(kA + "^c" + kI + kU, 0x20);
  EXPECT_EQ(Positions(c), (Points{{100, 200}, {100, 227}, {100, 233}}));
  EXPECT_EQ(c[1].font.height, 10);
  EXPECT_EQ(c[1].font.width, 5);
  EXPECT_EQ(Positions(Down(kA + "^d" + kI + kU, 0x20)),
            (Points{{100, 200}, {100, 232}, {100, 233}}));
  EXPECT_EQ(Positions(Down(kA + "^u" + kI + kU, 0x20)),
            (Points{{100, 200}, {100, 222}, {100, 233}}));
  // Overlays: back by 0.75 or a whole step, shifted right by a share of W.
  EXPECT_EQ(Positions(Down(kA + "^o" + kI + kU, 0x20)),
            (Points{{100, 200}, {105, 206}, {100, 222}}));
  EXPECT_EQ(Positions(Down(kA + "^b" + kI + kU, 0x20)),
            (Points{{100, 200}, {108, 200}, {100, 222}}));
  EXPECT_EQ(Positions(Down(kA + "^B" + kI + kU, 0x20)),
            (Points{{100, 200}, {105, 200}, {100, 222}}));
}

TEST(JwcTextLayout, CaretsThatAreNoCode) {
  EXPECT_EQ(Texts(Across("x^2")), (Strings{"x", "^", "2"}));
  EXPECT_EQ(Positions(Across("x^2")), (Points{{100, 180}, {111, 180}, {122, 180}}));
  EXPECT_EQ(Texts(Across("x^")), (Strings{"x", "^"}));
  EXPECT_EQ(Texts(Across("^^u2")), (Strings{"^", "2"}));
  // Count: every byte of a code counts, so "^u2" + two dots spreads by 2 / 2.
  EXPECT_EQ(Positions(Across("^u2" + kDot + kDot)), (Points{{100, 180}}));
}

TEST(JwcTextLayout, CutStringsAreCompletedByAZeroByte) {
  const auto lead = Across("A\x82");
  EXPECT_EQ(Texts(lead), (Strings{"A", std::string("\x82\x00", 2)}));
  const auto code = Across("x^u");
  EXPECT_EQ(Texts(code), (Strings{"x", std::string(1, '\0')}));
  EXPECT_EQ(code[1].font.height, 10);
  const auto code_lead = Across("x^u\x82");
  EXPECT_EQ(Texts(code_lead), (Strings{"x", std::string("\x82\x00", 2)}));
  EXPECT_EQ(code_lead[1].font.width, 5);
  EXPECT_TRUE(Across("").empty());
}

TEST(JwcTextLayout, FontSizesRoundHalfToEven) {
  auto first = [](float h, float w) {
    return LayoutJwcText("A", 0, 0, 10, 0, h, w, 0, 0, kFace)[0].font;
  };
  EXPECT_EQ(first(0.4f, 1).height, 0);
  EXPECT_EQ(first(0.5f, 1).height, 0);
  EXPECT_EQ(first(1.5f, 1).height, 2);
  EXPECT_EQ(first(2.5f, 5).height, 2);
  EXPECT_EQ(first(2.5f, 5).width, 2);  // 2.5 -> 2
  EXPECT_EQ(first(2.5f, 7).width, 4);  // 3.5 -> 4
  // Halving is integer division: 11 / 2 = 5.
  EXPECT_EQ(LayoutJwcText("x^u2", 0, 0, 10, 0, 11, 11, 0, 0, kFace)[1].font.height, 5);
}

TEST(JwcTextLayout, FaceNameIsCutToThirtyOneBytes) {
  const std::string long_name(40, 'F');
  const auto chars = LayoutJwcText("A", 0, 0, 10, 0, 10, 10, 0, 0, long_name);
  EXPECT_EQ(chars[0].font.face_name, std::string(31, 'F'));
}

TEST(JwcTextLayout, GarbageSizesAndPointsDoNotCrash) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (float v : {nan, inf, -inf, 3e38f, -3e38f}) {
    const auto a =
        LayoutJwcText("A" + kA + "^u2" + kDot + kDot + kDot, v, 0, 10, v, v, v, v, 0x20, kFace);
    ASSERT_FALSE(a.empty());
    for (const auto& c : a) {
      EXPECT_LE(std::abs(static_cast<long long>(c.at.x)), 1 << 30);
      EXPECT_LE(std::abs(static_cast<long long>(c.font.height)), 1 << 30);
    }
  }
}

// Drawn for real with the shared rasterizer.
TEST(DrawJwcText, DrawsEachCharacterInItsCell) {
  auto bitmap = Bitmap::Create(200, 100, 24);
  Canvas canvas(*bitmap);
  canvas.SetPenColour(0xFFFFFF);
  canvas.SetBrushColour(0xFFFFFF);
  canvas.Rectangle(-1, -1, 201, 101);
  canvas.SetTextRasterizer(&DefaultTextRasterizer());
  canvas.Font().face_name = kFace;
  // Two full-width characters standing on y = 60 from x = 20, cells 30 x 30.
  DrawJwcText(canvas, kA + kI, 20, 60, 180, 60, 30, 30, 10, 0x0000FF, 0);
  int inside = 0;
  int outside = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (bitmap->ColourAt(x, y) == 0xFFFFFF) continue;
      EXPECT_EQ(bitmap->ColourAt(x, y), 0x0000FFu);
      const bool in_first = x >= 20 && x < 50 && y >= 30 && y < 60;
      const bool in_second = x >= 60 && x < 90 && y >= 30 && y < 60;
      (in_first || in_second ? inside : outside)++;
    }
  }
  EXPECT_GT(inside, 100);
  EXPECT_EQ(outside, 0);
  EXPECT_EQ(canvas.Font().face_name, kFace);
  EXPECT_EQ(canvas.GetBrushStyle(), BrushStyle::kClear);
  EXPECT_EQ(canvas.FontColour(), 0x0000FFu);
}

TEST(DrawJwcText, VerticalColumnHangsBelowItsStart) {
  auto bitmap = Bitmap::Create(100, 200, 24);
  Canvas canvas(*bitmap);
  canvas.SetPenColour(0xFFFFFF);
  canvas.SetBrushColour(0xFFFFFF);
  canvas.Rectangle(-1, -1, 101, 201);
  canvas.SetTextRasterizer(&DefaultTextRasterizer());
  canvas.Font().face_name = kFace;
  DrawJwcText(canvas, kA + kI + kU, 40, 20, 40, 190, 30, 30, 5, 0x000000, 0x20);
  int top = 200, bottom = -1, left = 100, right = -1;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 100; ++x) {
      if (bitmap->ColourAt(x, y) == 0xFFFFFF) continue;
      top = std::min(top, y);
      bottom = std::max(bottom, y);
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  EXPECT_GE(left, 40);
  EXPECT_LT(right, 70);
  EXPECT_GE(top, 20);
  EXPECT_LT(bottom, 20 + 3 * 35);
  EXPECT_GT(bottom, 20 + 2 * 35);
}

}  // namespace
}  // namespace pelmora
