// The vector PDF writer fed directly, read back with poppler's and qpdf's tools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/fonts/face_lookup.h"
#include "platform/fonts/font_rasterizer.h"
#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"
#include "vector/vector_writers.h"

namespace pelmora {
namespace {

constexpr Colour kWhite = 0xFFFFFF;

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

std::vector<std::uint8_t> WritePdf(const VectorPage& page,
                                   const std::function<void(VectorTarget&)>& draw) {
  std::vector<std::uint8_t> bytes;
  ByteSink sink(&bytes);
  auto writer = CreatePdfVectorWriter(sink, {});
  writer->Begin(page);
  draw(*writer);
  std::string error;
  EXPECT_TRUE(writer->Finish(&error)) << error;
  return bytes;
}

std::string Save(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  const std::string path = testing::TempDir() + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

// Ink of a P6 file as rows of flags (anything not white).
std::vector<std::vector<bool>> ReadInk(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  std::vector<std::vector<bool>> ink(static_cast<std::size_t>(h), std::vector<bool>(w));
  for (auto& row : ink) {
    for (std::size_t x = 0; x < row.size(); ++x) {
      char rgb[3];
      in.read(rgb, 3);
      row[x] = !(rgb[0] == '\xFF' && rgb[1] == '\xFF' && rgb[2] == '\xFF');
    }
  }
  return ink;
}

// The share of `a`'s ink with ink of `b` within one pixel.
double Covered(const std::vector<std::vector<bool>>& a, const std::vector<std::vector<bool>>& b) {
  long long ink = 0, near = 0;
  const int h = static_cast<int>(std::min(a.size(), b.size()));
  for (int y = 0; y < h; ++y) {
    const int w = static_cast<int>(std::min(a[y].size(), b[y].size()));
    for (int x = 0; x < w; ++x) {
      if (!a[y][x]) continue;
      ++ink;
      bool found = false;
      for (int dy = -1; dy <= 1 && !found; ++dy) {
        for (int dx = -1; dx <= 1 && !found; ++dx) {
          const int yy = y + dy, xx = x + dx;
          found = yy >= 0 && yy < h && xx >= 0 && xx < w && b[yy][xx];
        }
      }
      near += found ? 1 : 0;
    }
  }
  return ink == 0 ? 0.0 : static_cast<double>(near) / static_cast<double>(ink);
}

VectorPage Page(int width, int height, int dpi) {
  VectorPage page;
  page.width = width;
  page.height = height;
  page.dpi = dpi;
  page.background = kWhite;
  return page;
}

// Characters as the raster draws them, the PDF rasterised at the page's dpi:
// the glyphs must lie on the raster's (size, baseline, rotation, fallback face).
TEST(PdfWriter, GlyphsLieWhereTheRasterDrawsThem) {
  struct Case {
    const char* name;
    std::string bytes;
    int height, width, escapement;
  };
  const std::vector<Case> cases = {
      {"upright", "\x8A\xBF", 60, 30, 0},         // 漢
      {"narrow", "A", 60, 12, 0},                 // a half-width letter squeezed
      {"quarter turn", "\x82\xA0", 48, 24, 900},  // あ, vertical writing
      {"three quarters", "\x8E\x9A", 48, 24, 2700},
      {"slanted", "\x83\x41", 70, 50, 300},  // ア, 30 degrees
      {"em height", "W", -40, 0, 1800},      // negative height: the em
      {"stamp string", "360dpi", 30, 0, 0},  // several characters, own advances
  };
  const FaceChoice face = ChooseFace("IPAGothic");
  ASSERT_TRUE(face.Found());
  constexpr int kSize = 200, kDpi = 96;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JwcTextChar ch;
    ch.bytes = c.bytes;
    ch.font.height = c.height;
    ch.font.width = c.width;
    ch.font.escapement = c.escapement;
    ch.font.face_name = "IPAGothic";
    ch.at = {90, 90};

    auto bitmap = Bitmap::Create(kSize, kSize, 24);
    Canvas canvas(*bitmap);
    canvas.SetPenColour(kWhite);
    canvas.SetBrushColour(kWhite);
    canvas.Rectangle(-1, -1, kSize + 1, kSize + 1);
    FontRasterizer rasterizer;
    canvas.SetTextRasterizer(&rasterizer);
    canvas.SetFont(ch.font);
    canvas.SetFontColour(0);
    canvas.TextOut(ch.at.x, ch.at.y, ch.bytes);
    std::vector<std::vector<bool>> raster(kSize, std::vector<bool>(kSize));
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) raster[y][x] = bitmap->ColourAt(x, y) != kWhite;
    }

    VectorText text;
    text.chars = {ch};
    text.face_file = face.file;
    text.face_index = face.index;
    const auto pdf =
        Save(WritePdf(Page(kSize, kSize, kDpi), [&](VectorTarget& t) { t.Text(0, text, {}, {}); }),
             "glyph.pdf");
    Shell("pdftoppm -r " + std::to_string(kDpi) + " -aa no -aaVector no -singlefile " + pdf + ' ' +
          testing::TempDir() + "glyph");
    const auto vector = ReadInk(testing::TempDir() + "glyph.ppm");
    EXPECT_GE(Covered(raster, vector), 0.98);
    EXPECT_GE(Covered(vector, raster), 0.98);
  }
}

// One document read by independent tools: its text, fonts, layers, and nothing
// of a non-finite coordinate.
TEST(PdfWriter, DocumentReadsBack) {
  VectorPage page = Page(400, 300, 72);
  page.layers = {{0x12, true, "G1 \xE5\xB9\xB3\xE9\x9D\xA2", "1-2 \xE5\xA3\x81", 1.0},  // 平面, 壁
                 {0x13, false, "G1 \xE5\xB9\xB3\xE9\x9D\xA2", "1-3 hidden", 1.0}};
  const FaceChoice face = ChooseFace("IPAMincho");
  ASSERT_TRUE(face.Found());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const auto draw = [&](VectorTarget& t) {
    VectorPen pen;
    pen.colour = 0x0000FF;
    pen.width = 3;
    t.Line(0x12, pen, {10.5, 10.5}, {300.5, 10.5}, {});
    t.Line(0x12, pen, {nan, 10.5}, {300.5, 10.5}, {});
    pen.dashes = {8, 4};
    t.Arc(0x12, pen, {{200, 150}, 80, 0.5, 0, 270, 30}, {});
    t.Arc(0x13, pen, {{200, 150}, inf, 1, 0, 360, 0}, {});
    t.Dot(0x13, 0x00FF00, {50.5, 50.5}, 5, {});
    VectorText text;
    text.face_file = face.file;
    text.face_index = face.index;
    const std::string word =
        "\x90\x7D\x96\xCA\x82\xCC"
        "A-1";  // 図面のA-1
    for (std::size_t i = 0; i < word.size();) {
      const std::size_t n = static_cast<unsigned char>(word[i]) >= 0x81 ? 2 : 1;
      JwcTextChar ch;
      ch.bytes = word.substr(i, n);
      ch.font.height = 20;
      ch.font.width = 10;
      ch.at = {40 + static_cast<int>(i) * 10, 200};
      text.chars.push_back(ch);
      i += n;
    }
    t.Text(0x12, text, {}, {});
  };
  const auto bytes = WritePdf(page, draw);
  EXPECT_EQ(WritePdf(page, draw), bytes);  // deterministic
  const std::string pdf = Save(bytes, "document.pdf");

  EXPECT_NE(Shell("qpdf --check " + pdf + " 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos);
  EXPECT_NE(Shell("pdftotext " + pdf + " -")
                .find("\xE5\x9B\xB3\xE9\x9D\xA2\xE3\x81\xAE"
                      "A-1"),
            std::string::npos);
  const std::string fonts = Shell("pdffonts " + pdf);
  EXPECT_NE(fonts.find("CID TrueType"), std::string::npos) << fonts;
  EXPECT_NE(fonts.find("Identity-H       yes yes yes"), std::string::npos) << fonts;
  EXPECT_NE(fonts.find("+IPAMincho"), std::string::npos) << fonts;
  EXPECT_EQ(Shell("pdfimages -list " + pdf + " | tail -n +3"), "");
  const std::string json = Shell("qpdf --json " + pdf);
  for (const char* name : {"1-2 \xE5\xA3\x81", "1-3 hidden", "G1 \xE5\xB9\xB3\xE9\x9D\xA2"}) {
    EXPECT_NE(json.find(name), std::string::npos) << name;
  }
  const std::string content = Shell("qpdf --show-object=4 --filtered-stream-data " + pdf);
  EXPECT_NE(content.find(" c\n"), std::string::npos);
  EXPECT_EQ(content.find("nan"), std::string::npos);
  EXPECT_EQ(content.find("inf"), std::string::npos);
  EXPECT_NE(json.find("/PrintState"), std::string::npos);
}

}  // namespace
}  // namespace pelmora
