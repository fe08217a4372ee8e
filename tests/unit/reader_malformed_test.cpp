// Malformed drawings: one named fixture per fault, each rejected with result 1
// and a reason while the previous drawing stays; then a deterministic sweep that
// truncates a valid file at every length and damages it byte by byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "drawing/jwcunit.h"
#include "drawing/summary.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

// A drawing with a little of everything; the sweeps damage it.
JwcWriter SmallDrawing(JwcVariant variant = JwcVariant::kReal) {
  JwcWriter writer(variant);
  writer.Paper(3).WindowWidth(640).GroupScale(1, 50).LayerName(0x10, "wall").GroupName(1, "plan");
  writer.AddLine({.X1 = 1, .Y1 = 2, .X2 = 3, .Y2 = 4, .LineType = 2, .PenColor = 3, .Layer = 0x10});
  writer.AddLine({.X1 = -5, .Y1 = 6, .X2 = 7, .Y2 = -8, .Layer = 0x11});
  writer.AddArc({.CenterX = 10,
                 .CenterY = 10,
                 .Radius = 5,
                 .Flatness = 0.5f,
                 .StartAngle = 30,
                 .EndAngle = 120,
                 .Tilt = 15,
                 .Layer = 0x10});
  writer.AddText({.X1 = 1, .Y1 = 1, .X2 = 20, .Y2 = 1, .Text = "A-1", .Style = 3});
  writer.AddText({.X1 = 1, .Y1 = 9, .X2 = 1, .Y2 = -9, .Text = Cp932("縦"), .Flags = 0x20});
  writer.AddDot({.X = 3, .Y = 3, .Layer = 0x10, .PenColor = 2});
  return writer;
}

// The drawing every rejection must leave in place.
class Malformed : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(m_reader.JwcLoadBytes(SmallDrawing().Paper(1).WindowWidth(3364).Bytes()), 0);
  }
  void ExpectPreviousDrawing() {
    EXPECT_EQ(m_reader.JwcLineCount(), 2);
    EXPECT_EQ(m_reader.JwcArcCount(), 1);
    EXPECT_EQ(m_reader.JwcTextCount(), 2);
    EXPECT_EQ(m_reader.JwcDotCount(), 1);
    EXPECT_EQ(m_reader.JwcPaperSize(), 1);
    EXPECT_EQ(m_reader.JwcPaperSizemm(), 841);
    EXPECT_EQ(m_reader.JwcWindowWidth(), 3364);
    TJwcLine line;
    m_reader.JwcLineData(1, line);
    EXPECT_EQ(line.Y2, -8.0f);
    TJwcText text;
    m_reader.JwcTextData(1, text);
    EXPECT_EQ(text.Text, Cp932("縦"));
    std::string name;
    m_reader.JwcLayerName(0x10, name);
    EXPECT_EQ(name, std::string("wall\0\0\0\0", 8));
  }
  Tjwcin m_reader;
};

std::vector<std::byte> Truncated(const JwcWriter& writer, std::size_t cut) {
  auto bytes = writer.Bytes();
  bytes.resize(bytes.size() - cut);
  return bytes;
}

std::vector<std::byte> Filled(std::size_t size, char from_200) {
  JwcImage image = JwcWriter().Build();
  image.bytes.resize(size);
  for (std::size_t i = 200; i < size; ++i) image.bytes[i] = std::byte(from_200);
  return image.bytes;
}

// The only text's NUL replaced, and no NUL in the names behind it.
std::vector<std::byte> UnterminatedString() {
  JwcWriter writer;
  writer.AddText({.Text = "abc"});
  for (int l = 0; l < 256; ++l) writer.LayerName(l, "layer---");
  for (int g = 0; g < 16; ++g) writer.GroupName(g, "group-----------");
  JwcImage image = writer.Build();
  image.bytes[image.strings + 3] = std::byte{'x'};
  return image.bytes;
}

struct Fixture {
  const char* name;
  std::function<std::vector<std::byte>()> bytes;
  const char* reason;  // a phrase of LastError()
};

const Fixture kFixtures[] = {
    {"empty_file", [] { return std::vector<std::byte>{}; }, "shorter than its fixed head"},
    {"signature_only", [] { return Truncated(JwcWriter(), 4725 - 20); }, "fixed head"},
    {"head_cut_real", [] { return Truncated(JwcWriter(), 4725 - 2420); }, "fixed head"},
    {"head_cut_integer", [] { return Truncated(JwcWriter(JwcVariant::kInteger), 4693 - 2388); },
     "fixed head"},
    // A real-variant layout read as the integer variant is just another drawing;
    // the other way round the head is 32 bytes short of the names.
    {"integer_file_marked_real",
     [] { return JwcWriter(JwcVariant::kInteger).VariantByte('f').Bytes(); }, "need at least"},
    {"header_without_terminator", [] { return Filled(5000, '7'); }, "no terminator"},
    {"header_starts_with_space", [] { return JwcWriter().HeaderText(" 1,2,3").Bytes(); },
     "lacks field 0"},
    {"header_text_empty", [] { return JwcWriter().HeaderText(std::string("", 1)).Bytes(); },
     "lacks field 0"},
    {"dots_count_missing", [] { return JwcWriter().HeaderFieldCount(3).Bytes(); }, "lacks field 3"},
    {"paper_missing", [] { return JwcWriter().HeaderFieldCount(11).Bytes(); }, "lacks field 11"},
    {"width_missing", [] { return JwcWriter().HeaderFieldCount(30).Bytes(); }, "lacks field 30"},
    {"lines_count_empty", [] { return JwcWriter().HeaderField(0, "").Bytes(); }, "not an integer"},
    {"arcs_count_not_a_number", [] { return JwcWriter().HeaderField(1, "12a").Bytes(); },
     "not an integer"},
    {"texts_count_real", [] { return JwcWriter().HeaderField(2, "1.0").Bytes(); },
     "not an integer"},
    {"dots_count_leading_space", [] { return JwcWriter().HeaderField(3, "+ 1").Bytes(); },
     "not an integer"},
    {"count_sign_only", [] { return JwcWriter().HeaderField(0, "-").Bytes(); }, "not an integer"},
    {"count_double_sign", [] { return JwcWriter().HeaderField(0, "+-1").Bytes(); },
     "not an integer"},
    {"count_beyond_32_bits", [] { return JwcWriter().HeaderField(0, "2147483648").Bytes(); },
     "32-bit range"},
    {"count_negative", [] { return JwcWriter().HeaderField(2, "-1").Bytes(); }, "negative"},
    {"paper_empty", [] { return JwcWriter().HeaderField(11, "").Bytes(); }, "not an integer"},
    {"paper_beyond_32_bits", [] { return JwcWriter().HeaderField(11, "-2147483649").Bytes(); },
     "32-bit range"},
    {"paper_hex", [] { return JwcWriter().HeaderField(11, "0x3").Bytes(); }, "not an integer"},
    {"width_zero", [] { return JwcWriter().WindowWidth(0).Bytes(); }, "must be positive"},
    {"width_negative", [] { return JwcWriter().WindowWidth(-640).Bytes(); }, "must be positive"},
    // An empty last field cannot be told from no field: the text ends at its NUL.
    {"width_empty", [] { return JwcWriter().HeaderField(30, "").Bytes(); }, "lacks field 30"},
    {"width_real", [] { return JwcWriter().HeaderField(30, "640.0").Bytes(); }, "not an integer"},
    {"plotter_comma_decimal", [] { return JwcWriter().Plotter("1", "2;5").Bytes(); },
     "not a number"},
    {"plotter_empty", [] { return JwcWriter().Plotter("", "0").Bytes(); }, "not a number"},
    {"plotter_infinite", [] { return JwcWriter().Plotter("inf", "0").Bytes(); }, "not a number"},
    {"plotter_nan", [] { return JwcWriter().Plotter("0", "nan").Bytes(); }, "not a number"},
    {"plotter_beyond_float", [] { return JwcWriter().Plotter("1e39", "0").Bytes(); },
     "float range"},
    {"plotter_trailing_text", [] { return JwcWriter().Plotter("1.5mm", "0").Bytes(); },
     "not a number"},
    {"one_line_too_many", [] { return SmallDrawing().HeaderField(0, "3").Bytes(); }, "counts"},
    {"one_arc_too_many", [] { return SmallDrawing().HeaderField(1, "2").Bytes(); }, "counts"},
    {"one_text_too_many", [] { return SmallDrawing().HeaderField(2, "3").Bytes(); }, "counts"},
    {"one_dot_too_many", [] { return SmallDrawing().HeaderField(3, "2").Bytes(); }, "counts"},
    // Long strings leave room for the extra arc in the first check; the walk
    // through the tail then runs out.
    {"one_arc_too_many_beside_long_strings",
     [] {
       return SmallDrawing().AddText({.Text = std::string(300, 's')}).HeaderField(1, "2").Bytes();
     },
     "the file ends inside"},
    {"all_counts_at_maximum",
     [] {
       return JwcWriter()
           .HeaderField(0, "2147483647")
           .HeaderField(1, "2147483647")
           .HeaderField(2, "2147483647")
           .HeaderField(3, "2147483647")
           .Bytes();
     },
     "counts"},
    {"string_runs_to_the_end", [] { return UnterminatedString(); }, "no terminator"},
    {"group_names_cut", [] { return Truncated(SmallDrawing(), 1); }, "group names"},
    {"layer_names_cut",
     [] { return Truncated(SmallDrawing().AddText({.Text = std::string(300, 's')}), 257); },
     "layer names"},
};

TEST_F(Malformed, EachFixtureIsRejectedAndTheDrawingStays) {
  for (const Fixture& fixture : kFixtures) {
    SCOPED_TRACE(fixture.name);
    EXPECT_EQ(m_reader.JwcLoadBytes(fixture.bytes()), 1);
    EXPECT_NE(m_reader.LastError().find(fixture.reason), std::string::npos) << m_reader.LastError();
    ExpectPreviousDrawing();
  }
}

// Oddities the reader accepts: they are the caller's to handle or harmless.
TEST(MalformedAccepted, OdditiesThatLoad) {
  Tjwcin reader;
  EXPECT_EQ(reader.JwcLoadBytes(JwcWriter().Paper(9).Bytes()), 0);
  EXPECT_EQ(reader.JwcLoadBytes(JwcWriter().Paper(-2147483647 - 1).Bytes()), 0);
  EXPECT_EQ(reader.JwcLoadBytes(JwcWriter().WindowWidth(2147483647).Bytes()), 0);
  EXPECT_EQ(reader.JwcLoadBytes(JwcWriter().HeaderField(0, "-0").Bytes()), 0);
  EXPECT_EQ(reader.JwcLoadBytes(SmallDrawing().Trailing("garbage after the names").Bytes()), 0);
  EXPECT_EQ(reader.JwcLineCount(), 2);
  // Fields other than the converted ones may hold anything, spaces included.
  EXPECT_EQ(reader.JwcLoadBytes(JwcWriter().HeaderField(5, "x y").HeaderField(29, "?").Bytes()), 0);
}

// Decodes everything a loaded reader holds, as the renderer and the summary do.
void DecodeEverything(const Tjwcin& reader) {
  (void)SummarizeDrawing(reader, "sweep.jwc", 0);
  for (int i = 0; i < reader.JwcTextCount(); ++i) {
    TJwcText text;
    reader.JwcTextData(i, text);
    ASSERT_LE(text.Text.size(), 255u);
  }
}

TEST(MalformedSweep, EveryTruncationIsRejected) {
  for (const JwcVariant variant : {JwcVariant::kReal, JwcVariant::kInteger}) {
    const std::vector<std::byte> whole = SmallDrawing(variant).Bytes();
    Tjwcin reader;
    ASSERT_EQ(reader.JwcLoadBytes(SmallDrawing().Paper(1).Bytes()), 0);
    for (std::size_t length = 0; length < whole.size(); ++length) {
      const std::span<const std::byte> cut(whole.data(), length);
      ASSERT_EQ(reader.JwcLoadBytes(cut), 1) << "length " << length;
      ASSERT_EQ(reader.JwcPaperSize(), 1) << "length " << length;
    }
    EXPECT_EQ(reader.JwcLoadBytes(whole), 0);
  }
}

TEST(MalformedSweep, DamagedBytesNeverCrash) {
  const std::vector<std::byte> whole = SmallDrawing().Bytes();
  Tjwcin reader;
  int loaded = 0, rejected = 0;
  auto attempt = [&](const std::vector<std::byte>& image) {
    // A rejected image must leave the last good drawing exactly in place.
    const std::int32_t lines = reader.JwcLineCount(), width = reader.JwcWindowWidth();
    if (reader.JwcLoadBytes(image) == 0) {
      ++loaded;
      reader.JwcReadMode(loaded % 2);  // both decoding paths
      DecodeEverything(reader);
    } else {
      ++rejected;
      ASSERT_FALSE(reader.LastError().empty());
      ASSERT_EQ(reader.JwcLineCount(), lines);
      ASSERT_EQ(reader.JwcWindowWidth(), width);
    }
  };
  // Every byte inverted, one at a time; the header text also gets the bytes
  // that steer its scan.
  for (std::size_t i = 0; i < whole.size(); ++i) {
    std::vector<std::byte> image = whole;
    image[i] ^= std::byte{0xFF};
    attempt(image);
    if (i >= 200 && i < 300) {
      for (const char c : {'\0', ' ', ',', '-', '9'}) {
        image[i] = std::byte(c);
        attempt(image);
      }
    }
  }
  // Then random damage of a few bytes at a time, from a fixed seed.
  std::uint64_t state = 0x243F6A8885A308D3ull;
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::byte> image = whole;
    const int changes = 1 + static_cast<int>(next() % 4);
    for (int k = 0; k < changes; ++k) image[next() % image.size()] = std::byte(next() & 0xFF);
    if (next() % 4 == 0) image.resize(next() % image.size());
    attempt(image);
  }
  // Both outcomes must have been reached, or the sweep tested little.
  EXPECT_GT(loaded, 1000);
  EXPECT_GT(rejected, 100);
}

}  // namespace
}  // namespace pelmora
