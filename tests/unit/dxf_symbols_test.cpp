// What DXF readers are handed: index colours, lineweights, names and texts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "output/format_encoders.h"
#include "vector/dxf_symbols.h"
#include "vector/vector_writers.h"

namespace pelmora {
namespace {

TEST(DxfSymbols, NearestIndexColour) {
  const struct {
    Colour colour;  // 0x00BBGGRR
    int aci;
  } cases[] = {
      {0x000000, 7}, {0xFFFFFF, 7}, {0x0000FF, 1}, {0x00FFFF, 2}, {0x00FF00, 3},
      {0xFFFF00, 4}, {0xFF0000, 5}, {0xFF00FF, 6}, {0x808080, 8}, {0x0000F8, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(NearestAci(c.colour), c.aci) << std::hex << c.colour;
}

TEST(DxfSymbols, NearestLineweight) {
  const struct {
    double mm;
    int weight;
  } cases[] = {{0.3, 30},  {0.33, 35}, {0.52, 53}, {0.06, 5}, {0.01, 0},
               {9.0, 211}, {0.0, 0},   {-1.0, 0},  {NAN, 0},  {INFINITY, 0}};
  for (const auto& c : cases) EXPECT_EQ(NearestLineweight(c.mm), c.weight) << c.mm;
}

TEST(DxfSymbols, NamesLoseWhatDxfForbids) {
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"0-1 壁", "0-1 壁"},   {"a<b>/c\\d\"e:f;g?h*i|j=k`l", "a_b__c_d_e_f_g_h_i_j_k_l"},
      {"  1-2 x  ", "1-2 x"}, {"1-2\tx\x7f", "1-2_x_"},
      {"   ", "fallback"},    {"", "fallback"},
  };
  for (const auto& c : cases) EXPECT_EQ(DxfSymbolName(c.name, "fallback"), c.expected) << c.name;
}

TEST(DxfSymbols, TextsAsTheyAreShown) {
  const struct {
    const char* jwc;    // Shift-JIS
    const char* utf8;   // what a UTF-8 file holds
    const char* cp932;  // what a code page 932 file holds
  } cases[] = {
      {"\x93\xfa\x96\x7b", "日本", "\x93\xfa\x96\x7b"},
      {"x^u2^dy", "x2y", "x2y"},        // placement codes dropped
      {"a^Zb^", "a^ Zb^ ", "a^ Zb^ "},  // a caret escaped
      {"a\tb\r", "a b ", "a b "},       // control bytes
      {"ab\x81", "ab?", "ab?"},         // a lead byte cut off
      {"\x85\x40z", "?z", "?z"},        // a pair that is no character
      {"\xb1\xb2", "ｱｲ", "\xb1\xb2"},   // half-width kana
      {"\x82\xa0\x81\x45\x81\x45\x81\x45", "あ・", "\x82\xa0\x81\x45"},  // spread dots
      {"\x81\x45\x81\x45", "・・", "\x81\x45\x81\x45"},                  // two characters stay
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DxfTextFromJwc(c.jwc, true), c.utf8) << c.jwc;
    EXPECT_EQ(DxfTextFromJwc(c.jwc, false), c.cp932) << c.jwc;
  }
}

TEST(DxfWriter, PaperWithoutWidthIsAnError) {
  std::vector<std::uint8_t> bytes;
  ByteSink sink(&bytes);
  auto writer = CreateDxfWriter(sink, {});
  VectorPage page;
  page.drawing_units_per_mm = 0.0f;
  writer->Begin(page);
  writer->Line(0, {}, {}, {}, {0, 0, 1, 1, 1, 1, 0, {}});
  std::string error;
  EXPECT_FALSE(writer->Finish(&error));
  EXPECT_NE(error.find("paper"), std::string::npos);
  EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace pelmora
