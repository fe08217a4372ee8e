// Shift-JIS decoding, face lookup and FreeType glyphs on a Canvas.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/fonts/face_lookup.h"
#include "platform/fonts/font_rasterizer.h"
#include "platform/fonts/shift_jis.h"
#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"

namespace pelmora {
namespace {

const std::string kMsGothic =
    "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック
const std::string kKanji = "\x8A\xBF\x8E\x9A";               // 漢字
const std::string kHiraganaA = "\x82\xA0";                   // あ

constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kInk = 0x0000FF;

struct Box {
  int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; empty when right < left
  bool Empty() const { return right < left; }
  int Width() const { return right - left + 1; }
  int Height() const { return bottom - top + 1; }
};

std::unique_ptr<Bitmap> WhiteBitmap(int w, int h, int bits = 24) {
  auto bitmap = Bitmap::Create(w, h, bits);
  Canvas canvas(*bitmap);
  canvas.SetPenColour(kWhite);
  canvas.SetBrushColour(kWhite);
  canvas.Rectangle(-1, -1, w + 1, h + 1);
  return bitmap;
}

Box InkBox(const Bitmap& bitmap, Colour background = kWhite) {
  Box box{bitmap.Width(), bitmap.Height(), -1, -1};
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (bitmap.ColourAt(x, y) == background) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x);
      box.bottom = std::max(box.bottom, y);
    }
  }
  return box;
}

int InkCount(const Bitmap& bitmap, Colour background = kWhite) {
  int n = 0;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) n += bitmap.ColourAt(x, y) != background;
  }
  return n;
}

std::string Picture(const Bitmap& bitmap) {
  std::string out;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) out += bitmap.ColourAt(x, y) == kWhite ? '.' : '#';
    out += '\n';
  }
  return out;
}

LogFont Font(const std::string& face, int height, int width = 0, int escapement = 0) {
  LogFont font;
  font.face_name = face;
  font.height = height;
  font.width = width;
  font.escapement = escapement;
  return font;
}

// Draws with a rasterizer of its own, so that every test starts with empty caches.
std::unique_ptr<Bitmap> Draw(FontRasterizer& rasterizer, int w, int h, const LogFont& font, int x,
                             int y, std::string_view text, int bits = 24) {
  auto bitmap = WhiteBitmap(w, h, bits);
  Canvas canvas(*bitmap);
  canvas.SetTextRasterizer(&rasterizer);
  canvas.SetFont(font);
  canvas.SetFontColour(kInk);
  canvas.TextOut(x, y, text);
  return bitmap;
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.ValueAt(x, y) != b.ValueAt(x, y)) return false;
    }
  }
  return true;
}

TEST(ShiftJis, DecodesOneCharacterAtATime) {
  Cp932Char c = DecodeCp932Char("\x82\xA0\x41");
  EXPECT_TRUE(c.valid);
  EXPECT_EQ(c.code, U'あ');
  EXPECT_EQ(c.length, 2);

  c = DecodeCp932Char("\xB1");  // half-width katakana
  EXPECT_EQ(c.code, U'\uFF71');
  EXPECT_EQ(c.length, 1);
  EXPECT_EQ(DecodeCp932Char("\x81\x45").code, U'・');
  EXPECT_EQ(DecodeCp932Char("\xEA\xA4").code, U'熙');  // last row of level 2
  EXPECT_EQ(DecodeCp932Char("\x87\x40").code, U'①');   // NEC special row
  EXPECT_EQ(DecodeCp932Char("A").code, U'A');
  EXPECT_EQ(DecodeCp932Char("").length, 0);
}

TEST(ShiftJis, ByteThatIsNoCharacterIsInvalidButConsumed) {
  // A lead byte always takes the byte after it, even when the pair is no character.
  Cp932Char c = DecodeCp932Char(
      "\x81\x7F"
      "A");
  EXPECT_FALSE(c.valid);
  EXPECT_EQ(c.length, 2);
  c = DecodeCp932Char("\x82");  // cut after the lead byte
  EXPECT_FALSE(c.valid);
  EXPECT_EQ(c.length, 1);
  EXPECT_FALSE(DecodeCp932Char(std::string_view("\x82\x00", 2)).valid);
  for (const char* b : {"\x80", "\xA0", "\xFD", "\xFE", "\xFF"}) {
    c = DecodeCp932Char(b);
    EXPECT_FALSE(c.valid) << int(static_cast<unsigned char>(b[0]));
    EXPECT_EQ(c.length, 1);
  }
  c = DecodeCp932Char(std::string_view("\0", 1));
  EXPECT_TRUE(c.valid);
  EXPECT_EQ(c.code, 0u);
  EXPECT_EQ(c.length, 1);
}

TEST(ShiftJis, ConvertsWholeStrings) {
  EXPECT_EQ(Utf8ToCp932("ＭＳ ゴシック"), kMsGothic);
  EXPECT_EQ(Cp932ToUtf8(kMsGothic), "ＭＳ ゴシック");
  EXPECT_EQ(Utf8ToCp932(""), "");
  EXPECT_EQ(Utf8ToCp932("IPAGothic"), "IPAGothic");
  EXPECT_EQ(Utf8ToCp932("한글"), std::nullopt);      // no such characters in CP932
  EXPECT_EQ(Utf8ToCp932("\xE3\x81"), std::nullopt);  // cut UTF-8
  EXPECT_EQ(Cp932ToUtf8("\x82"), std::nullopt);      // cut Shift-JIS
  EXPECT_EQ(Cp932ToUtf8("\x81\x7F"), std::nullopt);
  const std::string long_text(5000, 'x');  // longer than one conversion buffer
  EXPECT_EQ(Cp932ToUtf8(long_text), long_text);
}

TEST(FaceLookup, WindowsJapaneseFacesMapToIpaFonts) {
  struct Case {
    const char* name;
    const char* family;
  };
  for (const Case& c : {Case{"ＭＳ ゴシック", "IPAGothic"}, Case{"MS Gothic", "IPAGothic"},
                        Case{"ms gothic", "IPAGothic"}, Case{"ＭＳ Ｐゴシック", "IPAPGothic"},
                        Case{"MS PGothic", "IPAPGothic"}, Case{"ＭＳ 明朝", "IPAMincho"},
                        Case{"MS Mincho", "IPAMincho"}, Case{"ＭＳ Ｐ明朝", "IPAPMincho"}}) {
    const FaceChoice choice = ChooseFace(c.name);
    EXPECT_EQ(choice.family, c.family) << c.name;
    EXPECT_TRUE(choice.substituted) << c.name;
    EXPECT_TRUE(choice.Found()) << c.name;
  }
}

TEST(FaceLookup, InstalledFamiliesAreUsedAndUnknownNamesFallBack) {
  FaceChoice choice = ChooseFace("DejaVu Sans");
  EXPECT_EQ(choice.family, "DejaVu Sans");
  EXPECT_FALSE(choice.substituted);
  choice = ChooseFace("IPAゴシック");  // fontconfig's Japanese name of IPAGothic
  EXPECT_FALSE(choice.substituted);
  EXPECT_EQ(choice.file, ChooseFace("IPAGothic").file);

  // fontconfig would answer "Arial" with some sans face; a name that is not
  // installed gets the Japanese gothic, so Japanese text still shows.
  for (const char* name : {"Arial", "No Such Face 123", ""}) {
    choice = ChooseFace(name);
    EXPECT_EQ(choice.family, "IPAGothic") << name;
    EXPECT_TRUE(choice.substituted) << name;
  }
  EXPECT_FALSE(FindInstalledFamily("No Such Face 123").Found());
}

// What "never an empty box" rests on: the gothic, or for the few symbols it
// lacks some other installed face, has a glyph for every character code page
// 932 defines, apart from the user-defined area.
TEST(FaceLookup, EveryCodePage932CharacterHasAFace) {
  const FaceChoice gothic = JapaneseGothicFace();
  ASSERT_TRUE(gothic.Found());
  FT_Library library;
  ASSERT_EQ(FT_Init_FreeType(&library), 0);
  FT_Face face;
  ASSERT_EQ(FT_New_Face(library, gothic.file.c_str(), gothic.index, &face), 0);
  std::vector<char32_t> missing;
  int checked = 0;
  auto check = [&](std::string_view bytes) {
    const Cp932Char c = DecodeCp932Char(bytes);
    if (!c.valid || c.code < 0x20 || c.code == 0x7F) return;
    if (c.code >= 0xE000 && c.code <= 0xF8FF) return;  // user-defined characters
    ++checked;
    if (FT_Get_Char_Index(face, c.code) == 0) missing.push_back(c.code);
  };
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    if (!IsShiftJisLeadByte(static_cast<std::uint8_t>(b))) check(std::string_view(&byte, 1));
    for (int t = 0; t < 256 && IsShiftJisLeadByte(static_cast<std::uint8_t>(b)); ++t) {
      const char pair[2] = {byte, static_cast<char>(t)};
      check(std::string_view(pair, 2));
    }
  }
  EXPECT_GT(checked, 7000);
  EXPECT_LT(missing.size(), 10u);
  for (char32_t code : missing) {
    const FaceChoice other = FaceForCharacter(code);
    ASSERT_TRUE(other.Found()) << std::hex << static_cast<unsigned>(code);
    FT_Face helper;
    ASSERT_EQ(FT_New_Face(library, other.file.c_str(), other.index, &helper), 0);
    EXPECT_NE(FT_Get_Char_Index(helper, code), 0u) << std::hex << static_cast<unsigned>(code);
    FT_Done_Face(helper);
  }
  EXPECT_FALSE(FaceForCharacter(0xE000).Found());
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

TEST(FontRasterizer, GlyphsLandInsideTheirTurnedCells) {
  // "あ" in the gothic, 40 pixels high and 20 wide (a full-width cell of 40 x
  // 40), from (100, 100): the cell turns counterclockwise about that corner.
  struct Case {
    int escapement;
    Box cell;
  };
  for (const Case& c : {Case{0, {100, 100, 139, 139}}, Case{900, {100, 60, 139, 99}},
                        Case{1800, {60, 60, 99, 99}}, Case{2700, {60, 100, 99, 139}}}) {
    FontRasterizer rasterizer;
    const auto bitmap =
        Draw(rasterizer, 200, 200, Font(kMsGothic, 40, 20, c.escapement), 100, 100, kHiraganaA);
    const Box ink = InkBox(*bitmap);
    ASSERT_FALSE(ink.Empty()) << c.escapement;
    EXPECT_GE(ink.left, c.cell.left) << c.escapement << "\n" << Picture(*bitmap);
    EXPECT_GE(ink.top, c.cell.top) << c.escapement;
    EXPECT_LE(ink.right, c.cell.right) << c.escapement;
    EXPECT_LE(ink.bottom, c.cell.bottom) << c.escapement;
    // The glyph fills most of its em square in both directions.
    EXPECT_GE(ink.Width(), 28) << c.escapement;
    EXPECT_GE(ink.Height(), 28) << c.escapement;
  }
}

TEST(FontRasterizer, MonochromeInEveryPixelFormat) {
  // Text at 30 degrees gives plenty of edge pixels an antialiased renderer
  // would blend; here each pixel is either the background or the ink.
  for (int bits : {24, 16, 8, 4, 1}) {
    FontRasterizer rasterizer;
    auto bitmap = WhiteBitmap(160, 100, bits);
    if (bits <= 8) {
      std::vector<Colour> table(std::size_t{1} << bits, 0x808080);
      table[0] = 0x000000;
      table[1] = kWhite;
      if (bits > 1) table[2] = kInk;
      bitmap->SetColourTable(table);
    }
    Canvas canvas(*bitmap);
    canvas.SetPenColour(kWhite);
    canvas.SetBrushColour(kWhite);
    canvas.Rectangle(-1, -1, 161, 101);
    canvas.SetTextRasterizer(&rasterizer);
    canvas.SetFont(Font(kMsGothic, 24, 0, 300));
    canvas.SetFontColour(bits == 1 ? 0x000000 : kInk);
    canvas.TextOut(10, 60, "Ag" + kKanji + "\xB1\xB2");
    std::set<std::uint32_t> values;
    for (int y = 0; y < bitmap->Height(); ++y) {
      for (int x = 0; x < bitmap->Width(); ++x) values.insert(bitmap->ValueAt(x, y));
    }
    EXPECT_EQ(values.size(), 2u) << bits << " bits";
  }
}

TEST(FontRasterizer, JapaneseCharactersProduceInk) {
  FontRasterizer rasterizer;
  for (const std::string& text : {kKanji, kHiraganaA, std::string("\xB1"), std::string("\x81\x45"),
                                  std::string("\x87\x40")}) {
    const auto bitmap = Draw(rasterizer, 80, 40, Font(kMsGothic, 30), 0, 0, text);
    EXPECT_GT(InkCount(*bitmap), 8) << text;
  }
}

TEST(FontRasterizer, CharactersAFaceLacksComeFromTheGothic) {
  FontRasterizer rasterizer;
  // DejaVu Sans has no kanji: never an empty box, the gothic's glyph instead.
  // Both sized by the same request; the gothic's glyphs sit on the DejaVu
  // baseline, 24 pixels below the top instead of the gothic's 26.
  const auto dejavu = Draw(rasterizer, 80, 40, Font("DejaVu Sans", 30), 0, 5, kKanji);
  const auto gothic = Draw(rasterizer, 80, 40, Font("IPAGothic", 30), 0, 5, kKanji);
  EXPECT_GT(InkCount(*dejavu), 50);
  const Box a = InkBox(*dejavu);
  const Box b = InkBox(*gothic);
  EXPECT_EQ(a.Width(), b.Width());
  EXPECT_EQ(a.Height(), b.Height());
  EXPECT_EQ(a.top, b.top - 2);
  // A symbol the gothic lacks (U+2211 from CP932 0x8794) still gets a glyph.
  EXPECT_GT(InkCount(*Draw(rasterizer, 80, 40, Font(kMsGothic, 30), 0, 0, "\x87\x94")), 20);
}

TEST(FontRasterizer, BytesThatAreNoCharacterDrawNothing) {
  FontRasterizer rasterizer;
  for (const std::string& text :
       {std::string("\x81\x7F"), std::string("\x82"), std::string("\x80\xA0\xFD\xFF"),
        std::string("\x00\x01\x1F\x7F", 4), std::string("\x82\x00", 2), std::string(" ")}) {
    const auto bitmap = Draw(rasterizer, 60, 40, Font(kMsGothic, 30), 5, 5, text);
    EXPECT_EQ(InkCount(*bitmap), 0) << Picture(*bitmap);
  }
  // A bad pair in the middle does not disturb what follows it.
  const auto good = Draw(rasterizer, 60, 40, Font(kMsGothic, 30), 5, 5, "A");
  const auto mixed = Draw(rasterizer, 60, 40, Font(kMsGothic, 30), 5, 5,
                          "\x81\x7F"
                          "A");
  EXPECT_TRUE(SamePixels(*good, *mixed));
}

TEST(FontRasterizer, HeightZeroDrawsNothingAndWidthZeroKeepsTheProportion) {
  FontRasterizer rasterizer;
  EXPECT_EQ(InkCount(*Draw(rasterizer, 60, 40, Font(kMsGothic, 0), 5, 5, kKanji)), 0);
  EXPECT_EQ(InkCount(*Draw(rasterizer, 60, 40, Font(kMsGothic, 0, 10), 5, 5, kKanji)), 0);
  const Box natural = InkBox(*Draw(rasterizer, 100, 60, Font(kMsGothic, 40), 0, 0, kHiraganaA));
  const Box given = InkBox(*Draw(rasterizer, 100, 60, Font(kMsGothic, 40, 20), 0, 0, kHiraganaA));
  const Box wide = InkBox(*Draw(rasterizer, 100, 60, Font(kMsGothic, 40, 40), 0, 0, kHiraganaA));
  // The gothic's average character is half an em: width 20 of height 40 is
  // its own proportion, width 40 doubles the glyphs' width, not their height.
  EXPECT_EQ(natural.Width(), given.Width());
  EXPECT_NEAR(wide.Width(), 2 * natural.Width(), 3);
  EXPECT_EQ(wide.Height(), natural.Height());
}

TEST(FontRasterizer, PositiveHeightIsTheCellNegativeTheEm) {
  // DejaVu's cell (ascender - descender) is 1.16 em, so a cell of 58 pixels is
  // an em of 50; the gothic's cell is its em.
  FontRasterizer rasterizer;
  const Box cell = InkBox(*Draw(rasterizer, 80, 80, Font("DejaVu Sans", 58), 0, 0, "H"));
  const Box em = InkBox(*Draw(rasterizer, 80, 80, Font("DejaVu Sans", -50), 0, 0, "H"));
  const Box bigger = InkBox(*Draw(rasterizer, 80, 80, Font("DejaVu Sans", -58), 0, 0, "H"));
  EXPECT_EQ(cell.Height(), em.Height());
  EXPECT_EQ(cell.top, em.top);
  EXPECT_GT(bigger.Height(), cell.Height());
  const Box g_cell = InkBox(*Draw(rasterizer, 80, 80, Font(kMsGothic, 40), 0, 0, kHiraganaA));
  const Box g_em = InkBox(*Draw(rasterizer, 80, 80, Font(kMsGothic, -40), 0, 0, kHiraganaA));
  EXPECT_EQ(g_cell.Height(), g_em.Height());
}

TEST(FontRasterizer, ResolutionStampSizeFitsItsCell) {
  // 8 points at 96 pixels per inch: an em of 11 pixels from the top-left pixel.
  FontRasterizer rasterizer;
  const auto bitmap = Draw(rasterizer, 60, 20, Font(kMsGothic, -11), 0, 0, "300dpi");
  const Box ink = InkBox(*bitmap);
  ASSERT_FALSE(ink.Empty());
  EXPECT_LE(ink.bottom, 10) << Picture(*bitmap);
  EXPECT_GE(ink.Width(), 28);  // six half-width characters side by side
  EXPECT_LE(ink.right, 34);
}

TEST(FontRasterizer, CachedGlyphsAreThePixelsOfAFreshRender) {
  FontRasterizer warm;
  for (int escapement : {0, 300, 900, 1234}) {
    const LogFont font = Font(kMsGothic, 30, 13, escapement);
    const std::string text = "W" + kKanji;
    Draw(warm, 120, 120, font, 60, 60, text);
    const auto cached = Draw(warm, 120, 120, font, 60, 60, text);
    FontRasterizer fresh;
    const auto first = Draw(fresh, 120, 120, font, 60, 60, text);
    EXPECT_TRUE(SamePixels(*cached, *first)) << escapement;
    EXPECT_GT(InkCount(*first), 50);
  }
}

TEST(FontRasterizer, LargeGlyphsAreClippedToTheBitmapWithoutChangingPixels) {
  // 300 pixels is above the cached size: the glyph is rendered only where it
  // meets the bitmap, which must be the same pixels as the whole glyph gives.
  FontRasterizer rasterizer;
  const auto whole = Draw(rasterizer, 400, 400, Font(kMsGothic, 300), 50, 50, kKanji.substr(0, 2));
  for (const Box& window : {Box{0, 0, 119, 99}, Box{150, 200, 399, 399}, Box{123, 77, 190, 90}}) {
    const auto part = Draw(rasterizer, window.Width(), window.Height(), Font(kMsGothic, 300),
                           50 - window.left, 50 - window.top, kKanji.substr(0, 2));
    bool same = true;
    for (int y = 0; y < part->Height(); ++y) {
      for (int x = 0; x < part->Width(); ++x) {
        same = same && part->ValueAt(x, y) == whole->ValueAt(x + window.left, y + window.top);
      }
    }
    EXPECT_TRUE(same) << window.left << "," << window.top;
  }
  EXPECT_GT(InkCount(*whole), 5000);
}

TEST(FontRasterizer, LargeGlyphsDrawnAgainAreThePixelsOfAFreshRender) {
  // Huge characters stacked on one spot, as texts of width and spacing 0 draw
  // them, and again where the bitmap cuts them elsewhere: the kept runs of each
  // cut must paint what a rasterizer that never drew them paints.
  FontRasterizer warm;
  struct Place {
    int x, y;
  };
  const std::string first = kKanji.substr(0, 2);
  const std::string second = kKanji.substr(2, 2);
  for (int round = 0; round < 2; ++round) {
    for (const Place place : {Place{20, 10}, Place{-150, 40}, Place{60, -120}, Place{21, 10}}) {
      for (const std::string& character : {first, second, first}) {
        const LogFont font = Font(kMsGothic, 420, 0, round == 0 ? 0 : 450);
        const auto again = Draw(warm, 360, 300, font, place.x, place.y, character);
        FontRasterizer fresh;
        const auto reference = Draw(fresh, 360, 300, font, place.x, place.y, character);
        EXPECT_TRUE(SamePixels(*again, *reference)) << place.x << "," << place.y;
        EXPECT_GT(InkCount(*reference), 1000) << place.x << "," << place.y;
      }
    }
  }
}

TEST(FontRasterizer, HugeGlyphsKeptForOneRequestAreNeverPaintedForAnother) {
  // Each case differs from the first in one thing a kept tile depends on; a
  // tile found for the wrong request would show as a pixel difference.
  struct Case {
    const char* what;
    std::string face;
    int height, width, escapement;
    std::string text;  // at 30 degrees the second 漢 lies at another pixel fraction
  };
  const std::string kan = kKanji.substr(0, 2);
  const std::vector<Case> cases = {
      {"first", kMsGothic, 420, 0, 0, kan},
      {"height", kMsGothic, 421, 0, 0, kan},
      {"width", kMsGothic, 420, 209, 0, kan},
      {"angle", kMsGothic, 420, 0, 1, kan},
      {"character", kMsGothic, 420, 0, 0, kKanji.substr(2, 2)},
      {"face", "IPAMincho", 420, 0, 0, kan},
      {"fraction", kMsGothic, 420, 0, 300, kan + kan},
      {"other fraction", kMsGothic, 420, 0, 300, "A" + kan},
  };
  FontRasterizer warm;
  for (const Case& c : cases)
    Draw(warm, 420, 380, Font(c.face, c.height, c.width, c.escapement), 30, 20, c.text);
  for (const Case& c : cases) {
    const LogFont font = Font(c.face, c.height, c.width, c.escapement);
    const auto again = Draw(warm, 420, 380, font, 30, 20, c.text);
    FontRasterizer::ReleaseSharedTiles();
    FontRasterizer fresh;
    const auto reference = Draw(fresh, 420, 380, font, 30, 20, c.text);
    EXPECT_TRUE(SamePixels(*again, *reference)) << c.what;
    EXPECT_GT(InkCount(*reference), 5000) << c.what;
  }
}

TEST(FontRasterizer, PiecesPaintWhatTheirTextOutsPaintOneByOne) {
  // Huge characters stacked and overlapping, a repeated one, small ones on top,
  // in every pixel format: painted together as their union, or one by one.
  const std::string kan = kKanji.substr(0, 2), ji = kKanji.substr(2, 2);
  struct Piece {
    LogFont font;
    std::string bytes;
    Point at;
  };
  const std::vector<Piece> pieces = {
      {Font(kMsGothic, 400), kan, {10, 10}},
      {Font(kMsGothic, 400), ji, {10, 10}},
      {Font(kMsGothic, 400), kan, {10, 10}},
      {Font(kMsGothic, 400), kan, {150, 40}},
      {Font(kMsGothic, 360, 0, 300), kan + ji, {-40, 200}},
      {Font(kMsGothic, 20), "Ab" + kan, {100, 100}},
  };
  for (const int bits : {24, 16, 8, 4, 1}) {
    // A band of a taller image, so that rows outside it are left alone.
    auto together = WhiteBitmap(300, 200, bits);
    auto alone = WhiteBitmap(300, 200, bits);
    FontRasterizer rasterizer;
    std::vector<TextPiece> list;
    for (const Piece& piece : pieces) list.push_back({piece.bytes, &piece.font, piece.at});
    Canvas band(*together, 60);
    band.SetTextRasterizer(&rasterizer);
    band.SetFontColour(bits == 1 ? 0x000000 : kInk);
    band.TextOutPieces(list);
    EXPECT_EQ(band.Font().height, pieces.back().font.height);
    Canvas one_by_one(*alone, 60);
    one_by_one.SetTextRasterizer(&rasterizer);
    one_by_one.SetFontColour(bits == 1 ? 0x000000 : kInk);
    for (const TextPiece& piece : list) {
      one_by_one.SetFont(*piece.font);
      one_by_one.TextOut(piece.at.x, piece.at.y, piece.bytes);
    }
    EXPECT_TRUE(SamePixels(*together, *alone)) << bits << " bits";
    EXPECT_GT(InkCount(*alone), 20000) << bits << " bits";
  }
}

TEST(FontRasterizer, RasterizersOnTwoThreadsDrawWhatOneDrawsAlone) {
  // One rasterizer per render thread: each loads its own faces and fills its
  // own caches, large glyphs included, while the other draws.
  struct Job {
    LogFont font;
    int x, y;
  };
  const std::vector<Job> jobs = {{Font(kMsGothic, 24, 11), 10, 10},
                                 {Font(kMsGothic, 40, 0, 300), 80, 90},
                                 {Font("no such face", 30, 0, 900), 40, 150},
                                 {Font(kMsGothic, 320), -60, -40}};
  const std::string text = "Ab" + kKanji;
  std::vector<std::unique_ptr<Bitmap>> alone;
  FontRasterizer single;
  for (const Job& job : jobs) alone.push_back(Draw(single, 200, 180, job.font, job.x, job.y, text));
  std::vector<std::unique_ptr<Bitmap>> results[2];
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([&jobs, &text, &result] {
      FontRasterizer own;
      for (int round = 0; round < 3; ++round) {
        for (const Job& job : jobs) result.push_back(Draw(own, 200, 180, job.font, job.x, job.y, text));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& result : results) {
    ASSERT_EQ(result.size(), 3 * jobs.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
      EXPECT_TRUE(SamePixels(*result[i], *alone[i % jobs.size()])) << i;
    }
  }
}

TEST(FontRasterizer, AbsurdSizesAndPositionsAreHarmless) {
  FontRasterizer rasterizer;
  // A glyph far larger than the bitmap still shows the part that falls on it.
  EXPECT_GT(InkCount(*Draw(rasterizer, 50, 50, Font(kMsGothic, 20000), -3000, -3000, kKanji)), 0);
  for (const LogFont& font :
       {Font(kMsGothic, 2000000000), Font(kMsGothic, -2147483647 - 1),
        Font(kMsGothic, 20, -2147483647 - 1), Font(kMsGothic, 20, 2000000000),
        Font(kMsGothic, 40000), Font(kMsGothic, 20, 1, -7), Font(kMsGothic, 1, 0, 99999)}) {
    Draw(rasterizer, 50, 50, font, 10, 10, kKanji);
  }
  for (int x : {-2147483647 - 1, 2147483647}) {
    EXPECT_EQ(InkCount(*Draw(rasterizer, 50, 50, Font(kMsGothic, 30, 0, 450), x, x, kKanji)), 0);
  }
  const std::string long_name(200, '\x82');  // a face name of cut characters
  EXPECT_GT(InkCount(*Draw(rasterizer, 50, 50, Font(long_name, 30), 0, 0, kKanji)), 0);
}

TEST(FontRasterizer, RecordsEverySubstitutionUntilCleared) {
  FontRasterizer rasterizer;
  EXPECT_TRUE(rasterizer.Substitutions().empty());
  Draw(rasterizer, 40, 40, Font("IPAGothic", 20), 0, 0, kKanji);
  EXPECT_TRUE(rasterizer.Substitutions().empty());
  Draw(rasterizer, 40, 40, Font(kMsGothic, 20), 0, 0, "A");
  Draw(rasterizer, 40, 40, Font("DejaVu Sans", 20), 0, 0, "A" + kKanji);
  Draw(rasterizer, 40, 40, Font(kMsGothic, 30), 0, 0, "B");
  using Kind = FontSubstitution::Kind;
  const std::vector<FontSubstitution> expected = {
      {"ＭＳ ゴシック", "IPAGothic", Kind::kReplaced},
      {"DejaVu Sans", "IPAGothic", Kind::kMissingCharacters}};
  EXPECT_EQ(rasterizer.Substitutions(), expected);

  rasterizer.ClearSubstitutions();
  EXPECT_TRUE(rasterizer.Substitutions().empty());
  // Drawn again from the caches, the substitutions are recorded again.
  Draw(rasterizer, 40, 40, Font("DejaVu Sans", 20), 0, 0, kKanji);
  Draw(rasterizer, 40, 40, Font("Arial", 20), 0, 0, "A");
  const std::vector<FontSubstitution> again = {
      {"DejaVu Sans", "IPAGothic", Kind::kMissingCharacters},
      {"Arial", "IPAGothic", Kind::kReplaced}};
  EXPECT_EQ(rasterizer.Substitutions(), again);
  // A face name ends at a zero byte, as in a LOGFONT.
  EXPECT_EQ(rasterizer.FamilyFor(std::string("DejaVu Sans\0junk", 16)), "DejaVu Sans");
  // Asking which family draws a name is no substitution made.
  EXPECT_EQ(rasterizer.FamilyFor("\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9"),
            "IPAMincho");  // ＭＳ 明朝
  EXPECT_EQ(rasterizer.Substitutions(), again);
}

}  // namespace
}  // namespace pelmora
