// Tjwcin: layout of both variants, decoding, read modes, texts and names, file
// access and the drawing summary. Malformed input is in reader_malformed_test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "drawing/jwcunit.h"
#include "drawing/summary.h"
#include "render/summary_format.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;

std::vector<std::byte> Bytes(std::string_view text) {
  const auto* data = reinterpret_cast<const std::byte*>(text.data());
  return {data, data + text.size()};
}

void Put(std::vector<std::byte>& image, std::size_t offset, const void* data, std::size_t size) {
  std::memcpy(image.data() + offset, data, size);
}

// A folder of its own for each test (tests run in parallel).
class TempDir {
 public:
  TempDir() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    m_path = fs::temp_directory_path() /
             ("pelmora-" + std::string(test->name()) + "-" + std::to_string(::getpid()));
    fs::create_directories(m_path);
  }
  ~TempDir() { fs::remove_all(m_path); }
  const fs::path& path() const { return m_path; }

 private:
  fs::path m_path;
};

TEST(Reader, FreshReaderIsEmpty) {
  Tjwcin reader;
  EXPECT_EQ(reader.JwcLineCount(), 0);
  EXPECT_EQ(reader.JwcArcCount(), 0);
  EXPECT_EQ(reader.JwcTextCount(), 0);
  EXPECT_EQ(reader.JwcDotCount(), 0);
  EXPECT_EQ(reader.JwcPaperSize(), 0);
  EXPECT_EQ(reader.JwcPaperSizemm(), 0);
  EXPECT_EQ(reader.JwcWindowWidth(), 0);
  EXPECT_FALSE(reader.JwcIsReal());
  EXPECT_EQ(reader.JwcGroupeScale(15), 0.0);
  EXPECT_EQ(reader.JwcViewLayer(255), 0);
  std::string name = "x";
  reader.JwcLayerName(0, name);
  EXPECT_EQ(name, "");
  TJwcText text;
  EXPECT_THROW(reader.JwcTextData(0, text), std::out_of_range);
}

// Built byte by byte at the offsets of the format, not through JwcWriter, so a
// misunderstanding the writer and the reader share cannot hide here.
TEST(Reader, HandAssembledFilesOfBothVariants) {
  for (const bool real : {true, false}) {
    SCOPED_TRACE(real ? "real" : "integer");
    const std::size_t state = real ? 1861 : 1829, entities = real ? 2421 : 2389;
    std::vector<std::byte> image(entities + 22 + 2304);
    Put(image, 0, "jw_cad(c)data.......", 20);
    image[22] = std::byte(real ? 'f' : 'F');
    const std::string header =
        "1,0,0,0,x,,,,,,,2,,,12.5,-3,,,,,,,,,,,,,,,640,tail,";  // ends at the NUL after it
    Put(image, 200, header.data(), header.size());
    const std::int16_t pen = -3, width = 25, height = 40, spacing = 5;
    Put(image, 1709 + 2 * 10, &pen, 2);
    Put(image, 1731 + 2 * 10, &width, 2);
    Put(image, 1753 + 2 * 10, &height, 2);
    Put(image, 1775 + 2 * 10, &spacing, 2);
    if (real) {
      const float scale = 0.25f;
      Put(image, 1797 + 4 * 15, &scale, 4);
    } else {
      const std::int16_t scale = -200;
      Put(image, 1797 + 2 * 15, &scale, 2);
    }
    image[state + 3] = std::byte{4};          // group search 3
    image[state + 16 + 200] = std::byte{5};   // layer search 200
    image[state + 272 + 15] = std::byte{2};   // group view 15
    image[state + 288 + 255] = std::byte{1};  // layer view 255
    const float x1 = 1.5f, y2 = -7.25f;
    Put(image, entities, &x1, 4);
    Put(image, entities + 12, &y2, 4);
    image[entities + 16] = std::byte{9};
    image[entities + 17] = std::byte{7};
    image[entities + 18] = std::byte{0x3A};
    Put(image, entities + 22 + 8 * 255, "zz", 2);        // last layer name
    Put(image, entities + 22 + 2048 + 16 * 15, "G", 1);  // last group name

    Tjwcin reader;
    ASSERT_EQ(reader.JwcLoadBytes(image), 0) << reader.LastError();
    EXPECT_EQ(reader.JwcIsReal(), real);
    EXPECT_EQ(reader.JwcLineCount(), 1);
    EXPECT_EQ(reader.JwcPaperSize(), 2);
    EXPECT_EQ(reader.JwcPaperSizemm(), 594);
    EXPECT_EQ(reader.JwcWindowWidth(), 640);
    EXPECT_EQ(reader.JwcPlotterX(), 12.5);
    EXPECT_EQ(reader.JwcPlotterY(), -3.0);
    TJwcTextStyle style;
    reader.JwcTextStyle(10, style);
    EXPECT_EQ(style.PenColor, -3);
    EXPECT_EQ(style.Width, 2.5f);
    EXPECT_EQ(style.Height, 4.0f);
    EXPECT_EQ(style.Spacing, 0.5f);
    EXPECT_EQ(reader.JwcGroupeScale(15), real ? 0.25 : -200.0);
    EXPECT_EQ(reader.JwcSearchGroupe(3), 4);
    EXPECT_EQ(reader.JwcSearchLayer(200), 5);
    EXPECT_EQ(reader.JwcViewGroupe(15), 2);
    EXPECT_EQ(reader.JwcViewLayer(255), 1);
    EXPECT_EQ(reader.JwcViewLayer(254), 0);
    TJwcLine line;
    reader.JwcLineData(0, line);
    EXPECT_EQ(line.X1, 1.5f);
    EXPECT_EQ(line.Y2, -7.25f);
    EXPECT_EQ(line.LineType, 9);
    EXPECT_EQ(line.PenColor, 7);
    EXPECT_EQ(line.Layer, 0x3A);
    std::string name;
    reader.JwcLayerName(255, name);
    EXPECT_EQ(name, std::string("zz\0\0\0\0\0\0", 8));
    reader.JwcGroupeName(15, name);
    EXPECT_EQ(name, std::string("G") + std::string(15, '\0'));
  }
}

TEST(Reader, WriterPlacesSectionsWhereTheFormatSays) {
  const JwcImage real = JwcWriter(JwcVariant::kReal).Build();
  const JwcImage integer = JwcWriter(JwcVariant::kInteger).Build();
  EXPECT_EQ(real.lines, 2421u);
  EXPECT_EQ(integer.lines, 2389u);
  // An empty drawing ends with the names right at the entity arrays.
  EXPECT_EQ(real.bytes.size(), 4725u);
  EXPECT_EQ(integer.bytes.size(), 4693u);
  Tjwcin reader;
  EXPECT_EQ(reader.JwcLoadBytes(real.bytes), 0) << reader.LastError();
  EXPECT_EQ(reader.JwcLoadBytes(integer.bytes), 0) << reader.LastError();
}

TEST(Reader, PaperCodes) {
  const std::int32_t widths[] = {1189, 841, 594, 420, 297};
  Tjwcin reader;
  for (int code = 0; code <= 4; ++code) {
    ASSERT_EQ(reader.JwcLoadBytes(JwcWriter().Paper(code).Bytes()), 0);
    EXPECT_EQ(reader.JwcPaperSize(), code);
    EXPECT_EQ(reader.JwcPaperSizemm(), widths[code]);
  }
  // An unknown code loads and keeps the previous drawing's paper width.
  ASSERT_EQ(reader.JwcLoadBytes(JwcWriter().Paper(3).Bytes()), 0);
  ASSERT_EQ(reader.JwcLoadBytes(JwcWriter().Paper(7).Bytes()), 0);
  EXPECT_EQ(reader.JwcPaperSize(), 7);
  EXPECT_EQ(reader.JwcPaperSizemm(), 420);
  ASSERT_EQ(reader.JwcLoadBytes(JwcWriter().Paper(-1).Bytes()), 0);
  EXPECT_EQ(reader.JwcPaperSizemm(), 420);

  Tjwcin fresh;
  ASSERT_EQ(fresh.JwcLoadBytes(JwcWriter().Paper(7).Bytes()), 0);
  EXPECT_EQ(fresh.JwcPaperSizemm(), 0);
}

class ReadModes : public ::testing::Test {
 protected:
  void SetUp() override {
    JwcWriter writer;
    writer.Paper(3).WindowWidth(640).GroupScale(0, 100).GroupScale(3, 2);
    writer.AddLine({.X1 = 320, .Y1 = 0.1f, .X2 = -64, .Y2 = 1e-3f, .Layer = 0x05});
    writer.AddLine({.X1 = 320, .Layer = 0x3F});
    writer.AddArcRecord({.CenterX = 640,
                         .CenterY = 32,
                         .Radius = 64,
                         .Flatness = 5000,
                         .StartAngle = 5898240,
                         .EndAngle = -65536,
                         .Tilt = 1,
                         .Layer = 0x01});
    writer.AddText({.X1 = 64, .Y1 = 6.4f, .X2 = 128, .Y2 = 0, .Text = "A", .Layer = 0x30});
    writer.AddDot({.X = 640, .Y = 0.1f, .Layer = 0x00});
    ASSERT_EQ(m_reader.JwcLoadBytes(writer.Bytes()), 0) << m_reader.LastError();
  }
  Tjwcin m_reader;
};

TEST_F(ReadModes, AnyModeButOneReturnsStoredBits) {
  for (const int mode : {0, 2, -1, 100}) {
    m_reader.JwcReadMode(mode);
    TJwcLine line;
    m_reader.JwcLineData(0, line);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(line.Y1), std::bit_cast<std::uint32_t>(0.1f));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(line.Y2), std::bit_cast<std::uint32_t>(1e-3f));
    EXPECT_EQ(line.X1, 320.0f);
  }
}

TEST_F(ReadModes, ModeOneScalesToFullSizeMillimetres) {
  m_reader.JwcReadMode(1);
  TJwcLine line;
  m_reader.JwcLineData(0, line);  // A3 420 mm / 640 units × scale 100
  EXPECT_EQ(line.X1, 21000.0f);
  EXPECT_EQ(line.X2, -4200.0f);
  m_reader.JwcLineData(1, line);  // layer 0x3F: group 3, scale 2
  EXPECT_EQ(line.X1, 420.0f);
  TJwcArc arc;
  m_reader.JwcArcData(0, arc);
  EXPECT_EQ(arc.CenterX, 42000.0f);
  EXPECT_EQ(arc.Radius, 4200.0f);
  EXPECT_EQ(arc.Flatness, 0.5f);  // never scaled
  EXPECT_EQ(arc.StartAngle, 90.0f);
  EXPECT_EQ(arc.EndAngle, -1.0f);
  EXPECT_EQ(arc.Tilt, 1.0f / 65536);
  TJwcText text;
  m_reader.JwcTextData(0, text);
  EXPECT_EQ(text.X1, 84.0f);
  EXPECT_EQ(text.X2, 168.0f);
  TJwcDot dot;
  m_reader.JwcDotData(0, dot);
  EXPECT_EQ(dot.X, 42000.0f);
  // Text styles are paper millimetres in every mode.
  TJwcTextStyle style;
  m_reader.JwcTextStyle(2, style);
  EXPECT_EQ(style.Height, 2.5f);

  // The mode is the reader's, not the drawing's: it survives a load.
  ASSERT_EQ(m_reader.JwcLoadBytes(JwcWriter().WindowWidth(840).Paper(3).AddDot({.X = 5}).Bytes()),
            0);
  m_reader.JwcDotData(0, dot);
  EXPECT_EQ(dot.X, 2.5f);  // 420 mm / 840 units × scale 1
}

TEST(Reader, ModeOneFactorIsRoundedOnceFromExtendedPrecision) {
  // 420 / 9 × 5 = 233.33…: rounded once it is 0x1.d2aaaap+7; rounding the
  // quotient to float first would give 0x1.d2aaacp+7.
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(
                JwcWriter().Paper(3).WindowWidth(9).GroupScale(0, 5).AddLine({.X1 = 1}).Bytes()),
            0);
  reader.JwcReadMode(1);
  TJwcLine line;
  reader.JwcLineData(0, line);
  EXPECT_EQ(line.X1, 0x1.d2aaaap+7f);
}

TEST(Reader, ArcFixedPointFields) {
  JwcWriter writer;
  writer.AddArcRecord({.Flatness = 5000, .StartAngle = 5898240, .EndAngle = 0, .Tilt = -32768});
  writer.AddArcRecord(
      {.Flatness = -1, .StartAngle = INT32_MIN, .EndAngle = INT32_MAX, .Tilt = 23592960});
  writer.AddArcRecord({.Flatness = 3, .StartAngle = 0, .EndAngle = 0, .Tilt = 0});
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(writer.Bytes()), 0);
  TJwcArc arc;
  reader.JwcArcData(0, arc);
  EXPECT_EQ(arc.Flatness, 0.5f);
  EXPECT_EQ(arc.StartAngle, 90.0f);
  EXPECT_EQ(arc.EndAngle, 0.0f);
  EXPECT_EQ(arc.Tilt, -0.5f);
  reader.JwcArcData(1, arc);
  EXPECT_EQ(arc.Flatness, -0.0001f);
  EXPECT_EQ(arc.StartAngle, -32768.0f);
  EXPECT_EQ(arc.EndAngle, 32768.0f);  // 32767.99998… rounds to the float 32768
  EXPECT_EQ(arc.Tilt, 360.0f);
  reader.JwcArcData(2, arc);
  EXPECT_EQ(arc.Flatness, 0.0003f);
}

TEST(Reader, TextStringsAndTheirLimit) {
  const std::string long_text(300, 'x');
  const std::string japanese = Cp932("寸法・");
  JwcWriter writer;
  writer.AddText({.Text = long_text, .Style = 10, .Layer = 0xAB, .Flags = 0x20, .Spare = 0xEE},
                 {0xFF, 0xFF, 0xFF, 0xFF});
  writer.AddText({.Text = ""});
  writer.AddText({.Text = japanese, .Style = 200});  // styles above 10 load as they are
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(writer.Bytes()), 0);
  TJwcText text;
  reader.JwcTextData(0, text);
  EXPECT_EQ(text.Text, long_text.substr(0, 255));
  EXPECT_EQ(text.Style, 10);
  EXPECT_EQ(text.Layer, 0xAB);
  EXPECT_EQ(text.Flags, 0x20);
  EXPECT_EQ(text.Spare, 0xEE);
  reader.JwcTextData(1, text);
  EXPECT_EQ(text.Text, "");
  reader.JwcTextData(2, text);
  EXPECT_EQ(text.Text, japanese);
  EXPECT_EQ(text.Text.back(), '\x45');  // "・" is 0x81 0x45
  EXPECT_EQ(text.Style, 200);
  EXPECT_THROW(reader.JwcTextData(3, text), std::out_of_range);
  EXPECT_THROW(reader.JwcTextData(-1, text), std::out_of_range);
  // Calling again decodes afresh, with the same result.
  TJwcText again;
  reader.JwcTextData(2, again);
  EXPECT_EQ(again.Text, text.Text);
}

TEST(Reader, NamesKeepTheirNulsAndSpaces) {
  JwcWriter writer;
  writer.LayerName(0x12, std::string("ab\0\0\0\0\0\0", 8));
  writer.LayerName(0x13, "a b     ");
  writer.GroupName(4, Cp932("平面図") + std::string(" \0 ", 3));
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(writer.Bytes()), 0);
  std::string name;
  reader.JwcLayerName(0x12, name);
  EXPECT_EQ(name.size(), 8u);
  EXPECT_EQ(name, std::string("ab\0\0\0\0\0\0", 8));
  reader.JwcLayerName(0x13, name);
  EXPECT_EQ(name, "a b     ");
  reader.JwcGroupeName(4, name);
  EXPECT_EQ(name.size(), 16u);
  EXPECT_EQ(name.substr(0, 9), Cp932("平面図") + std::string(" \0 ", 3));
}

TEST(Reader, SpareAndByteFieldsComeBackUnchanged) {
  JwcWriter writer;
  writer.AddLine({.LineType = 0xFF, .PenColor = 0x80, .Layer = 0x7F, .Spare = {1, 0xFE, 3}});
  writer.AddArc({.LineType = 9, .PenColor = 0, .Layer = 0xF0, .Spare = {0xAA, 0, 0x55}});
  writer.AddDot({.Layer = 0x21, .PenColor = 0x12, .Spare = {0xDE, 0xAD}});
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(writer.Bytes()), 0);
  TJwcLine line;
  reader.JwcLineData(0, line);
  EXPECT_EQ(line.LineType, 0xFF);
  EXPECT_EQ(line.PenColor, 0x80);
  EXPECT_EQ(line.Layer, 0x7F);
  EXPECT_EQ(line.Spare, (std::array<std::uint8_t, 3>{1, 0xFE, 3}));
  TJwcArc arc;
  reader.JwcArcData(0, arc);
  EXPECT_EQ(arc.LineType, 9);
  EXPECT_EQ(arc.Layer, 0xF0);
  EXPECT_EQ(arc.Spare, (std::array<std::uint8_t, 3>{0xAA, 0, 0x55}));
  TJwcDot dot;
  reader.JwcDotData(0, dot);
  EXPECT_EQ(dot.Layer, 0x21);  // the layer byte comes first in a dot record
  EXPECT_EQ(dot.PenColor, 0x12);
  EXPECT_EQ(dot.Spare, (std::array<std::uint8_t, 2>{0xDE, 0xAD}));
}

TEST(Reader, StatesOfEveryLayerAndGroup) {
  JwcWriter writer;
  for (int l = 0; l < 256; ++l) {
    writer.LayerView(l, static_cast<std::uint8_t>(l))
        .LayerSearch(l, static_cast<std::uint8_t>(255 - l));
  }
  for (int g = 0; g < 16; ++g) {
    writer.GroupView(g, static_cast<std::uint8_t>(g * 3))
        .GroupSearch(g, static_cast<std::uint8_t>(g + 100));
  }
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(writer.Bytes()), 0);
  for (int l = 0; l < 256; ++l) {
    ASSERT_EQ(reader.JwcViewLayer(l), l);
    ASSERT_EQ(reader.JwcSearchLayer(l), 255 - l);
  }
  for (int g = 0; g < 16; ++g) {
    ASSERT_EQ(reader.JwcViewGroupe(g), g * 3);
    ASSERT_EQ(reader.JwcSearchGroupe(g), g + 100);
  }
}

TEST(Reader, HeaderTextSyntax) {
  Tjwcin reader;
  // A NUL separator followed by a digit does not end the text; a space inside
  // a skipped field is part of it; fields after 30 are skipped.
  std::string header = std::string("2\0", 2) + "0,0,0,a b,,,,,,,4,,,1.,.5,,,,,,,,,,,,,,,99,x,y,\0";
  JwcWriter writer;
  writer.HeaderText(header).AddLine({.X1 = 1}).AddLine({.X1 = 2});
  ASSERT_EQ(reader.JwcLoadBytes(writer.Bytes()), 0) << reader.LastError();
  EXPECT_EQ(reader.JwcLineCount(), 2);
  EXPECT_EQ(reader.JwcPaperSize(), 4);
  EXPECT_EQ(reader.JwcWindowWidth(), 99);
  EXPECT_EQ(reader.JwcPlotterX(), 1.0);
  EXPECT_EQ(reader.JwcPlotterY(), 0.5);

  // Signs: '+' and '-' on integers and reals.
  ASSERT_EQ(reader.JwcLoadBytes(JwcWriter()
                                    .HeaderField(0, "+0")
                                    .HeaderField(11, "-0")
                                    .HeaderField(30, "+640")
                                    .Plotter("-1.5e2", "+2E-1")
                                    .Bytes()),
            0)
      << reader.LastError();
  EXPECT_EQ(reader.JwcWindowWidth(), 640);
  EXPECT_EQ(reader.JwcPlotterX(), -150.0);
  EXPECT_EQ(reader.JwcPlotterY(), 0.2f);  // stored as float32

  // A comma followed by a space ends the text.
  const std::string ended = "0,0,0,0,, 5";
  EXPECT_EQ(reader.JwcLoadBytes(JwcWriter().HeaderText(ended + '\0').Bytes()), 1);
  EXPECT_NE(reader.LastError().find("lacks field 11"), std::string::npos) << reader.LastError();
}

TEST(Reader, FailedLoadKeepsTheDrawing) {
  JwcWriter first;
  first.Paper(1).WindowWidth(3364).GroupScale(2, 20).LayerView(7, 0);
  first.AddLine({.X1 = 1, .Y1 = 2, .X2 = 3, .Y2 = 4, .Layer = 7});
  first.AddText({.Text = "first"});
  Tjwcin reader;
  reader.JwcReadMode(1);
  ASSERT_EQ(reader.JwcLoadBytes(first.Bytes()), 0);
  auto bad = JwcWriter().AddLine({}).AddLine({}).AddText({.Text = "second"}).Bytes();
  bad.resize(bad.size() - 1);
  ASSERT_EQ(reader.JwcLoadBytes(bad), 1);
  EXPECT_FALSE(reader.LastError().empty());
  EXPECT_EQ(reader.JwcLineCount(), 1);
  EXPECT_EQ(reader.JwcTextCount(), 1);
  EXPECT_EQ(reader.JwcPaperSizemm(), 841);
  EXPECT_EQ(reader.JwcWindowWidth(), 3364);
  EXPECT_EQ(reader.JwcViewLayer(7), 0);
  TJwcLine line;
  reader.JwcLineData(0, line);
  EXPECT_EQ(line.Y2, 1.0f);  // 841 mm / 3364 units × scale 1 (layer 7 is in group 0)
  TJwcText text;
  reader.JwcTextData(0, text);
  EXPECT_EQ(text.Text, "first");
  // A later good load clears the reason.
  ASSERT_EQ(reader.JwcLoadBytes(first.Bytes()), 0);
  EXPECT_EQ(reader.LastError(), "");
}

TEST(Reader, LoadFromFile) {
  TempDir dir;
  const fs::path file = dir.path() / "plan.jwc";
  const JwcWriter writer = JwcWriter().Paper(2).AddLine({.X1 = 5}).AddText({.Text = "t"});
  writer.WriteFile(file);
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadFile(file), 0) << reader.LastError();
  EXPECT_EQ(reader.JwcLineCount(), 1);
  EXPECT_TRUE(JwcFileHasSignature(file));

  // Cannot be opened: the system's error, the drawing stays.
  try {
    reader.JwcLoadFile(dir.path() / "missing.jwc");
    FAIL() << "no exception";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
  }
  EXPECT_EQ(reader.JwcLineCount(), 1);
  EXPECT_THROW(JwcFileHasSignature(dir.path() / "missing.jwc"), std::system_error);

  // Opens but cannot be read (a folder): a read error, the drawing stays.
  EXPECT_EQ(reader.JwcLoadFile(dir.path()), 1);
  EXPECT_FALSE(reader.LastError().empty());
  EXPECT_EQ(reader.JwcPaperSize(), 2);
}

TEST(Reader, SignatureTest) {
  TempDir dir;
  auto write = [&](const std::string& name, std::string_view bytes) {
    std::ofstream(dir.path() / name, std::ios::binary).write(bytes.data(), bytes.size());
    return dir.path() / name;
  };
  const std::string padding(20, '\0');
  EXPECT_TRUE(JwcFileHasSignature(write("good", std::string(kJwcSignature) + padding)));
  EXPECT_FALSE(JwcFileHasSignature(write("caps", "JW_CAD(C)DATA......." + padding)));
  EXPECT_FALSE(JwcFileHasSignature(write("short", std::string(kJwcSignature) + "0123456789")));
  EXPECT_TRUE(JwcHasSignature(Bytes(kJwcSignature)));
  EXPECT_FALSE(JwcHasSignature(Bytes("jw_cad(c)data......")));
}

std::vector<std::byte> ReadSample(const char* name) {
  std::ifstream file(fs::path(PELMORA_SOURCE_DIR) / "samples" / name, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), {});
  return Bytes(bytes);
}

// The samples are what `make run`, the fuzzer and the renderer's tests start
// from; they must hold what they promise, identically in both variants.
TEST(Reader, FloorPlanSamplesHoldWhatTheyPromise) {
  Tjwcin real, integer;
  ASSERT_EQ(real.JwcLoadBytes(ReadSample("floorplan.jwc")), 0) << real.LastError();
  ASSERT_EQ(integer.JwcLoadBytes(ReadSample("floorplan-int.jwc")), 0) << integer.LastError();
  EXPECT_TRUE(real.JwcIsReal());
  EXPECT_FALSE(integer.JwcIsReal());
  EXPECT_EQ(real.JwcPaperSize(), 3);
  EXPECT_EQ(real.JwcWindowWidth(), 1680);
  ASSERT_EQ(real.JwcLineCount(), integer.JwcLineCount());
  ASSERT_EQ(real.JwcTextCount(), integer.JwcTextCount());

  std::set<int> line_types, pens;
  for (int i = 0; i < real.JwcLineCount(); ++i) {
    TJwcLine a, b;
    real.JwcLineData(i, a);
    integer.JwcLineData(i, b);
    ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "line " << i;
    line_types.insert(a.LineType);
    pens.insert(a.PenColor);
  }
  EXPECT_EQ(line_types, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  const std::set<int> all_pens = {1, 2, 3, 4, 5, 6, 7};
  EXPECT_TRUE(std::includes(pens.begin(), pens.end(), all_pens.begin(), all_pens.end()));
  bool tilted_ellipse = false;
  for (int i = 0; i < real.JwcArcCount(); ++i) {
    TJwcArc arc;
    real.JwcArcData(i, arc);
    tilted_ellipse |= arc.Tilt != 0 && arc.Flatness != 1 && arc.StartAngle != arc.EndAngle;
  }
  EXPECT_TRUE(tilted_ellipse);
  std::string all_texts;
  bool vertical = false, trailing_dot = false;
  for (int i = 0; i < real.JwcTextCount(); ++i) {
    TJwcText text;
    real.JwcTextData(i, text);
    all_texts += text.Text + '\n';
    vertical |= (text.Flags & 0x20) != 0;
    trailing_dot |= text.Text.ends_with("\x81\x45");
  }
  EXPECT_TRUE(vertical);
  EXPECT_TRUE(trailing_dot);
  for (const char* code : {"^u", "^c", "^d", "^o", "^b", "^B"}) {
    EXPECT_NE(all_texts.find(code), std::string::npos) << code;
  }
  EXPECT_NE(all_texts.find(Cp932("居間")), std::string::npos);
  EXPECT_GT(real.JwcDotCount(), 0);
}

TEST(Summary, FloorPlan) {
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(ReadSample("floorplan.jwc")), 0);
  const DrawingSummary s = SummarizeDrawing(reader, "floorplan.jwc", 0);
  EXPECT_EQ(s.paper, "A3版");
  EXPECT_EQ(s.window_width, 1680);
  // Hidden by the drawing: layer 0-8 (state 0), layer 0-E (state 2), group 2.
  auto layer = [&](int byte) {
    auto it = std::find_if(s.layers.begin(), s.layers.end(),
                           [&](const LayerSummary& l) { return l.layer == byte; });
    return it == s.layers.end() ? nullptr : &*it;
  };
  ASSERT_NE(layer(0x08), nullptr);
  EXPECT_EQ(layer(0x08)->view, 0);
  ASSERT_NE(layer(0x0E), nullptr);
  EXPECT_EQ(layer(0x0E)->view, 2);
  EXPECT_EQ(layer(0x07), nullptr);  // holds nothing
  std::int64_t entities = 0;
  for (const GroupSummary& g : s.groups) {
    entities += g.entities;
    EXPECT_EQ(g.view, g.group == 2 ? 0 : 1);
  }
  EXPECT_EQ(entities, s.lines + s.arcs + s.texts + s.dots);

  const std::string text = SummaryText(s);
  EXPECT_NE(text.find("Paper:        A3版\n"), std::string::npos) << text;
  EXPECT_NE(text.find("layer 0-E hidden (2)"), std::string::npos) << text;
  const std::string json = JsonLine(SummaryJson(s));
  EXPECT_NE(json.find("\"paper\":\"A3版\""), std::string::npos) << json;
  EXPECT_NE(json.find("{\"layer\":14,\"group\":0,\"view\":2,\"shown\":false"), std::string::npos);
}

TEST(Summary, LabelsAndEscapes) {
  EXPECT_EQ(PaperLabel(9), "A9版");
  EXPECT_EQ(PaperLabel(-1), "A-1版");
  // 2001-02-03 04:05:06 local time.
  std::tm t{};
  t.tm_year = 101, t.tm_mon = 1, t.tm_mday = 3, t.tm_hour = 4, t.tm_min = 5, t.tm_sec = 6;
  t.tm_isdst = -1;
  EXPECT_EQ(FormatFileDate(std::mktime(&t)), "01/02/03 04:05:06");
  DrawingSummary s;
  s.file_name = "a\"b\\c\n\xff\xe5\xb9\xb3.jwc";  // a name that is not all UTF-8
  // JSON's own escapes; the stray byte becomes U+FFFD so that the line parses.
  const std::string json = JsonLine(SummaryJson(s));
  EXPECT_NE(json.find(R"("file":"a\"b\\c\n)" "\xef\xbf\xbd" "平.jwc\""), std::string::npos) << json;
}

}  // namespace
}  // namespace pelmora
