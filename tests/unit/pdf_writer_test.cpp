// The vector PDF writer fed directly, read back with poppler's and qpdf's tools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/fonts/face_lookup.h"
#include "platform/fonts/font_rasterizer.h"
#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"
#include "render/draw_image.h"
#include "settings/settings.h"
#include "tests/support/jwc_writer.h"
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

using Image = std::vector<std::vector<Colour>>;

// A P6 file's pixels.
Image ReadPpm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  Image image(static_cast<std::size_t>(h), std::vector<Colour>(static_cast<std::size_t>(w)));
  for (auto& row : image) {
    for (Colour& c : row) {
      unsigned char rgb[3] = {};
      in.read(reinterpret_cast<char*>(rgb), 3);
      c = Rgb(rgb[0], rgb[1], rgb[2]);
    }
  }
  return image;
}

Image Pixels(const Bitmap& bitmap) {
  Image image(static_cast<std::size_t>(bitmap.Height()),
              std::vector<Colour>(static_cast<std::size_t>(bitmap.Width())));
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) image[y][x] = bitmap.ColourAt(x, y);
  }
  return image;
}

// The share of `a`'s drawn pixels (not `background`) with a pixel of the same
// colour within one pixel in `b`.
double Covered(const Image& a, const Image& b, Colour background) {
  long long drawn = 0, near = 0;
  const int h = static_cast<int>(std::min(a.size(), b.size()));
  for (int y = 0; y < h; ++y) {
    const int w = static_cast<int>(std::min(a[y].size(), b[y].size()));
    for (int x = 0; x < w; ++x) {
      if (a[y][x] == background) continue;
      ++drawn;
      bool found = false;
      for (int yy = std::max(0, y - 1); yy <= std::min(h - 1, y + 1) && !found; ++yy) {
        for (int xx = std::max(0, x - 1); xx <= std::min(w - 1, x + 1) && !found; ++xx) {
          found = b[yy][xx] == a[y][x];
        }
      }
      near += found ? 1 : 0;
    }
  }
  return drawn == 0 ? 0.0 : static_cast<double>(near) / static_cast<double>(drawn);
}

// The PDF rasterised by poppler at `dpi`, without antialiasing.
Image Rasterise(const std::vector<std::uint8_t>& pdf, int dpi) {
  const std::string path = Save(pdf, "raster.pdf");
  Shell("pdftoppm -r " + std::to_string(dpi) + " -aa no -aaVector no -singlefile " + path + ' ' +
        testing::TempDir() + "raster");
  return ReadPpm(testing::TempDir() + "raster.ppm");
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
    const char* family = "IPAGothic";
  };
  const std::vector<Case> cases = {
      {"upright", "\x8A\xBF", 60, 30, 0},         // 漢
      {"narrow", "A", 60, 12, 0},                 // a half-width letter squeezed
      {"quarter turn", "\x82\xA0", 48, 24, 900},  // あ, vertical writing
      {"three quarters", "\x8E\x9A", 48, 24, 2700},
      {"slanted", "\x83\x41", 70, 50, 300},  // ア, 30 degrees
      {"em height", "W", -40, 0, 1800},      // negative height: the em
      {"stamp string", "360dpi", 30, 0, 0},  // several characters, own advances
      // A face the PDF cannot embed as TrueType: outlines, with invisible text.
      {"CFF face", "Rg\x8A\xBF", 50, 0, 200, "Nimbus Sans"},
  };
  constexpr int kSize = 200, kDpi = 96;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FaceChoice face = ChooseFace(c.family);
    ASSERT_TRUE(face.Found());
    JwcTextChar ch;
    ch.bytes = c.bytes;
    ch.font.height = c.height;
    ch.font.width = c.width;
    ch.font.escapement = c.escapement;
    ch.font.face_name = c.family;
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
    const Image raster = Pixels(*bitmap);

    VectorText text;
    text.chars = {ch};
    text.face_file = face.file;
    text.face_index = face.index;
    const Image vector = Rasterise(
        WritePdf(Page(kSize, kSize, kDpi), [&](VectorTarget& t) { t.Text(0, text, {}, {}); }),
        kDpi);
    EXPECT_GE(Covered(raster, vector, kWhite), 0.98);
    EXPECT_GE(Covered(vector, raster, kWhite), 0.98);
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

// A random drawing through the render's walk: the PDF rasterised at the dpi
// lies on the 24-bit bitmap of the same render, colour for colour, both ways.
TEST(PdfWriter, RandomDrawingLiesOnTheBitmap) {
  std::mt19937 random(20261210);
  const auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  const auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  // A3, 4 drawing units per millimetre: 1680 x 1188 units.
  JwcWriter drawing;
  for (int i = 0; i < 11; ++i) {
    drawing.TextStyle(i, static_cast<std::int16_t>(1 + i % 7),
                      static_cast<std::int16_t>(20 + 8 * i), static_cast<std::int16_t>(25 + 10 * i),
                      static_cast<std::int16_t>(i % 4));
  }
  const auto layer = [&] { return static_cast<std::uint8_t>(pick(0, 3) * 16 + pick(0, 5)); };
  for (int i = 0; i < 300; ++i) {
    const float x = static_cast<float>(uniform(0, 1680)), y = static_cast<float>(uniform(0, 1188));
    drawing.AddLine({.X1 = x,
                     .Y1 = y,
                     .X2 = x + static_cast<float>(uniform(-300, 300)),
                     .Y2 = y + static_cast<float>(uniform(-300, 300)),
                     .LineType = static_cast<std::uint8_t>(pick(1, 8)),
                     .PenColor = static_cast<std::uint8_t>(pick(1, 7)),
                     .Layer = layer()});
  }
  for (int i = 0; i < 60; ++i) {
    const float start = static_cast<float>(uniform(0, 360));
    drawing.AddArc({.CenterX = static_cast<float>(uniform(0, 1680)),
                    .CenterY = static_cast<float>(uniform(0, 1188)),
                    .Radius = static_cast<float>(uniform(5, 200)),
                    .Flatness = i % 3 == 0 ? static_cast<float>(uniform(0.2, 1)) : 1.0f,
                    .StartAngle = i % 4 == 0 ? 0.0f : start,
                    .EndAngle = i % 4 == 0 ? 0.0f : start + static_cast<float>(uniform(10, 300)),
                    .Tilt = i % 3 == 0 ? static_cast<float>(uniform(0, 180)) : 0.0f,
                    .LineType = static_cast<std::uint8_t>(pick(1, 8)),
                    .PenColor = static_cast<std::uint8_t>(pick(1, 7)),
                    .Layer = layer()});
  }
  const std::vector<std::string> words = {"\x95\xBD\x96\xCA\x90\x7D", "A-101",
                                          "\x8F\x6B\x8E\xDA 1:50",
                                          "\x83\x4C\x83\x62\x83\x60\x83\x93"};
  for (int i = 0; i < 30; ++i) {
    const float x = static_cast<float>(uniform(100, 1500)),
                y = static_cast<float>(uniform(100, 1100));
    const double angle = i % 3 == 0 ? uniform(0, 6.283) : 0.0;
    drawing.AddText({.X1 = x,
                     .Y1 = y,
                     .X2 = x + static_cast<float>(100 * std::cos(angle)),
                     .Y2 = y + static_cast<float>(100 * std::sin(angle)),
                     .Text = words[static_cast<std::size_t>(i) % words.size()],
                     .Style = static_cast<std::uint8_t>(pick(0, 10)),
                     .Layer = layer(),
                     .Flags = static_cast<std::uint8_t>(i % 5 == 0 ? 0x20 : 0)});
  }
  for (int i = 0; i < 60; ++i) {
    drawing.AddDot({.X = static_cast<float>(uniform(0, 1680)),
                    .Y = static_cast<float>(uniform(0, 1188)),
                    .Layer = layer(),
                    .PenColor = static_cast<std::uint8_t>(pick(1, 7))});
  }
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(drawing.Bytes()), 0) << reader.LastError();
  constexpr int kDpi = 100;
  Settings settings;
  settings.dpi = kDpi;
  settings.ColorMode = 24;
  settings.PenWidth2 = 3;
  settings.PenWidth5 = 6;
  std::array<std::uint8_t, 256> layers;
  std::array<std::uint8_t, 16> groups;
  layers.fill(1);
  groups.fill(1);
  RenderContext context;
  context.reader = &reader;
  context.settings = &settings;
  context.LayerVisible = &layers;
  context.GroupVisible = &groups;
  context.PixelsPerMm = 4.0f;
  const int width = 1654, height = 1169;  // 420 x 297 mm at 100 dpi
  const float scale = static_cast<float>(kDpi / 25.4 / 4.0);
  Image bitmap;
  context.delivery = [&](const Bitmap& image, std::string*) {
    bitmap = Pixels(image);
    return true;
  };
  ASSERT_EQ(DrawImage(context, width, height, 0, height, scale, kRenderFile), 1);
  std::vector<std::uint8_t> pdf;
  ByteSink sink(&pdf);
  auto writer = CreatePdfVectorWriter(sink, {});
  ASSERT_EQ(DrawVector(context, width, height, 0, height, scale, *writer), 1);
  const Image vector = Rasterise(pdf, kDpi);
  const Colour background = settings.BackColor;
  EXPECT_GE(Covered(bitmap, vector, background), 0.95);
  EXPECT_GE(Covered(vector, bitmap, background), 0.95);
}

}  // namespace
}  // namespace pelmora
