// The banded output render against the whole-image render: random drawings
// (every line type and pen width, arcs, tilted ellipses, texts, dots, the
// stamp), every depth, several regions, band heights and thread counts; the
// bytes must be the same. Also runs under ThreadSanitizer (make tsan).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "drawing/jwcunit.h"
#include "output/bmp_writer.h"
#include "output/encoder.h"
#include "platform/fonts/font_rasterizer.h"
#include "render/draw_image.h"
#include "tests/support/hostile_drawings.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

// Collects the bands into one image and checks the contract as it goes.
class CollectingEncoder final : public ImageEncoder {
 public:
  bool Begin(const ImageShape& shape, std::string* error) override {
    EXPECT_FALSE(began);
    began = true;
    this->shape = shape;
    image = Bitmap::Create(shape.width, shape.height, shape.bits, error);
    if (!image) return false;
    if (shape.bits <= 8) image->SetColourTable(shape.colour_table);
    return true;
  }
  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override {
    EXPECT_TRUE(began);
    EXPECT_EQ(first_row, next_row) << "bands arrive in order and cover every row once";
    EXPECT_EQ(rows.Width(), shape.width);
    EXPECT_EQ(rows.BitsPerPixel(), shape.bits);
    EXPECT_EQ(rows.ColourTable(), image->ColourTable());
    if (first_row != next_row || first_row + rows.Height() > shape.height) return false;
    for (int y = 0; y < rows.Height(); ++y) {
      std::memcpy(image->Row(first_row + y), rows.Row(y), image->Stride());
    }
    next_row += rows.Height();
    ++bands;
    if (fail_at_band == bands) {
      *error = "disk full";
      return false;
    }
    return true;
  }
  bool Finish(std::string*) override {
    EXPECT_EQ(next_row, shape.height);
    finished = true;
    return true;
  }

  ImageShape shape;
  std::unique_ptr<Bitmap> image;
  bool began = false;
  bool finished = false;
  int next_row = 0;
  int bands = 0;
  int fail_at_band = 0;
};

std::vector<std::uint8_t> Bmp(const Bitmap& image, int dpi) {
  std::vector<std::uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(EncodeBmp(image, dpi, &bytes, &error)) << error;
  return bytes;
}

// A drawing of `seed` on a sheet of 400 × 280 drawing units: entities of
// every kind, a few reaching far outside it.
JwcWriter RandomDrawing(unsigned seed) {
  std::mt19937 random(seed);
  auto real = [&](float low, float high) {
    return std::uniform_real_distribution<float>(low, high)(random);
  };
  auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const std::uint8_t types[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 200};
  JwcWriter w;
  w.WindowWidth(400);
  for (int style = 0; style < 11; ++style) {
    w.TextStyle(
        style, static_cast<std::int16_t>(1 + style % 7), static_cast<std::int16_t>(10 + 15 * style),
        static_cast<std::int16_t>(12 + 20 * style), static_cast<std::int16_t>(style % 3 * 5));
  }
  for (int i = 0; i < 120; ++i) {
    const float x = real(-20, 420), y = real(-20, 300);
    const bool far = below(20) == 0;
    w.AddLine({.X1 = x,
               .Y1 = y,
               .X2 = far ? real(-5000, 5000) : x + real(-120, 120),
               .Y2 = far ? real(-5000, 5000) : y + real(-120, 120),
               .LineType = types[below(12)],
               .PenColor = static_cast<std::uint8_t>(below(9)),
               .Layer = static_cast<std::uint8_t>(below(10) == 0 ? 0x13 : below(4))});
  }
  for (int i = 0; i < 40; ++i) {
    const float start = real(0, 360);
    w.AddArc({.CenterX = real(-20, 420),
              .CenterY = real(-20, 300),
              .Radius = below(6) == 0 ? real(0.2f, 4) : real(2, 180),
              .Flatness = below(3) == 0 ? real(0.1f, 1) : 1.0f,
              .StartAngle = below(4) == 0 ? 0 : start,
              .EndAngle = below(4) == 0 ? 0 : start + real(1, 359),
              .Tilt = below(3) == 0 ? real(0, 180) : 0.0f,
              .LineType = types[below(12)],
              .PenColor = static_cast<std::uint8_t>(below(9)),
              .Layer = static_cast<std::uint8_t>(below(4))});
  }
  const std::string words[] = {Cp932("平面図"), "GL+300", Cp932("ｷｯﾁﾝ"), "m^u2", Cp932("寸法・・")};
  for (int i = 0; i < 14; ++i) {
    const float x = real(-10, 380), y = real(0, 290);
    const float angle = below(3) == 0 ? real(-3.1f, 3.1f) : 0.0f;
    const float length = real(20, 150);
    w.AddText({.X1 = x,
               .Y1 = y,
               .X2 = x + length * std::cos(angle),
               .Y2 = y + length * std::sin(angle),
               .Text = words[below(5)] + words[below(5)],
               .Style = static_cast<std::uint8_t>(below(12)),
               .Layer = static_cast<std::uint8_t>(below(4)),
               .Flags = static_cast<std::uint8_t>(below(4) == 0 ? 0x20 : 0)});
  }
  for (int i = 0; i < 60; ++i) {
    w.AddDot({.X = real(-5, 405),
              .Y = real(-5, 285),
              .Layer = static_cast<std::uint8_t>(below(4)),
              .PenColor = static_cast<std::uint8_t>(below(9))});
  }
  return w;
}

class DrawBandsTest : public ::testing::Test {
 protected:
  DrawBandsTest() {
    layers.fill(1);
    groups.fill(1);
    layers[0x13] = 2;
    settings.WriteDPI = true;
    settings.No9 = true;
    settings.PenWidth1 = 1;
    settings.PenWidth2 = 2;
    settings.PenWidth3 = 3;
    settings.PenWidth4 = 4;
    settings.PenWidth5 = 6;
    settings.PenWidth6 = 9;
  }

  RenderContext Context() {
    RenderContext context;
    context.reader = &reader;
    context.settings = &settings;
    context.LayerVisible = &layers;
    context.GroupVisible = &groups;
    context.PixelsPerMm = 1.0f;
    context.error = &error;
    return context;
  }

  std::unique_ptr<Bitmap> Whole(int width, int height, int origin_x, int origin_y, float scale) {
    std::unique_ptr<Bitmap> whole;
    RenderContext context = Context();
    context.delivery = [&](const Bitmap& image, std::string*) {
      whole = Bitmap::Create(image.Width(), image.Height(), image.BitsPerPixel());
      if (image.BitsPerPixel() <= 8) whole->SetColourTable(image.ColourTable());
      std::memcpy(whole->Row(0), image.Row(0), image.SizeBytes());
      return true;
    };
    EXPECT_EQ(DrawImage(context, width, height, origin_x, origin_y, scale, kRenderFile), 1)
        << error;
    return whole;
  }

  Tjwcin reader;
  Settings settings;
  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
  std::string error;
};

struct Region {
  int width, height, origin_x, origin_y;
  float scale;
};

TEST_F(DrawBandsTest, BandsGiveTheWholeImageBytes) {
  // The whole sheet at two scales, and a part of it away from the origin.
  const Region regions[] = {{200, 140, 0, 140, 0.5f}, {161, 97, 40, 230, 1.37f}};
  int compared = 0;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    const auto bytes = RandomDrawing(seed).Bytes();
    ASSERT_EQ(reader.JwcLoadBytes(bytes), 0) << reader.LastError();
    for (const Region& r : regions) {
      for (int depth : {1, 4, 8, 16, 24}) {
        settings.ColorMode = depth;
        settings.usePalette = depth == 8;
        settings.Dot = 2 + static_cast<int>(seed) * 2;
        settings.dpi = 72 + depth;
        const auto whole = Whole(r.width, r.height, r.origin_x, r.origin_y, r.scale);
        ASSERT_TRUE(whole);
        const auto whole_bmp = Bmp(*whole, settings.dpi);
        for (int band_height : {1, 7, 64, r.height}) {
          for (int threads : {1, 2, 4}) {
            SCOPED_TRACE(::testing::Message()
                         << "seed " << seed << ", " << r.width << " x " << r.height << ", " << depth
                         << " bit, bands of " << band_height << ", " << threads << " threads");
            CollectingEncoder encoder;
            BandOptions options;
            options.band_height = band_height;
            options.threads = threads;
            ASSERT_EQ(DrawImageBands(Context(), r.width, r.height, r.origin_x, r.origin_y, r.scale,
                                     encoder, options),
                      1)
                << error;
            ASSERT_TRUE(encoder.finished);
            EXPECT_EQ(encoder.bands, (r.height + band_height - 1) / band_height);
            EXPECT_EQ(encoder.shape.dpi, settings.dpi);
            ASSERT_EQ(encoder.image->SizeBytes(), whole->SizeBytes());
            EXPECT_EQ(std::memcmp(encoder.image->Row(0), whole->Row(0), whole->SizeBytes()), 0);
            EXPECT_EQ(Bmp(*encoder.image, encoder.shape.dpi), whole_bmp);
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 3 * 2 * 5 * 4 * 3);
}

// The hostile fixtures take the shortcuts of long curves (skipped chords,
// remembered dash phases) and of giant glyphs (cached per size and place),
// each of which must come out the same in every band.
TEST_F(DrawBandsTest, HostileFixturesGiveTheWholeImageBytesInBands) {
  const float scale = 36 / 25.4f;  // the A3 sheet at 36 dpi
  const int width = 595, height = 421;
  int compared = 0;
  for (const HostileDrawing& drawing : HostileDrawings()) {
    // Curves that cross the sheet millions of chords after their start take
    // seconds per render; their bands are compared in the arc tests.
    if (drawing.name.find("through") != std::string::npos) continue;
    ASSERT_EQ(reader.JwcLoadBytes(drawing.bytes), 0) << reader.LastError();
    for (int depth : {1, 24}) {
      settings.ColorMode = depth;
      const auto whole = Whole(width, height, 0, height, scale);
      ASSERT_TRUE(whole);
      for (int band_height : {7, 64}) {
        SCOPED_TRACE(::testing::Message() << drawing.name << ", " << depth << " bit, bands of "
                                          << band_height);
        CollectingEncoder encoder;
        BandOptions options;
        options.band_height = band_height;
        options.threads = 2;
        ASSERT_EQ(DrawImageBands(Context(), width, height, 0, height, scale, encoder, options), 1)
            << error;
        ASSERT_TRUE(encoder.finished);
        EXPECT_EQ(std::memcmp(encoder.image->Row(0), whole->Row(0), whole->SizeBytes()), 0);
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 6 * 2 * 2);
}

TEST_F(DrawBandsTest, ProgressIsOnePassForwardOnTheCallingThread) {
  JwcWriter w;
  w.WindowWidth(400);
  for (int i = 0; i < 2500; ++i) {
    const float f = static_cast<float>(i % 280);
    w.AddLine({.X1 = 0, .Y1 = f, .X2 = 400, .Y2 = 280 - f, .LineType = 2});
  }
  for (int i = 0; i < 1200; ++i) w.AddDot({.X = static_cast<float>(i % 400), .Y = 100});
  const auto bytes = w.Bytes();
  ASSERT_EQ(reader.JwcLoadBytes(bytes), 0);
  const std::int64_t total = 2500 + 1200;
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    std::vector<std::int64_t> positions;
    RenderContext context = Context();
    const std::thread::id caller = std::this_thread::get_id();
    context.progress = [&](std::int64_t position, std::int64_t reported_total) {
      EXPECT_EQ(std::this_thread::get_id(), caller);
      EXPECT_EQ(reported_total, total);
      positions.push_back(position);
    };
    CollectingEncoder encoder;
    BandOptions options;
    options.band_height = 9;
    options.threads = threads;
    ASSERT_EQ(DrawImageBands(context, 200, 140, 0, 140, 0.5f, encoder, options), 1) << error;
    ASSERT_GE(positions.size(), 3u);
    EXPECT_EQ(positions.front(), 0);
    EXPECT_EQ(positions.back(), 0);
    for (std::size_t i = 2; i + 1 < positions.size(); ++i)
      EXPECT_GT(positions[i], positions[i - 1]);
    // Every band reports its count at 1000 and 2000 lines and every 100 dots
    // from 2600 on: one pass's worth when all bands are done.
    EXPECT_EQ(positions[positions.size() - 2], 3700);
  }
}

TEST_F(DrawBandsTest, FontSubstitutionsAreThoseOfTheWholeRender) {
  const auto bytes = RandomDrawing(11).Bytes();
  ASSERT_EQ(reader.JwcLoadBytes(bytes), 0);
  settings.FontName = "No Such Face At All";
  FontRasterizer rasterizer;
  RenderContext whole_context = Context();
  whole_context.text = &rasterizer;
  ASSERT_EQ(DrawImage(whole_context, 200, 140, 0, 140, 0.5f, kRenderFile), 1);
  const std::vector<FontSubstitution> expected = rasterizer.Substitutions();
  ASSERT_FALSE(expected.empty());
  for (int threads : {1, 2, 3}) {
    std::vector<FontSubstitution> substitutions;
    CollectingEncoder encoder;
    BandOptions options;
    options.band_height = 20;
    options.threads = threads;
    options.substitutions = &substitutions;
    ASSERT_EQ(DrawImageBands(Context(), 200, 140, 0, 140, 0.5f, encoder, options), 1) << error;
    EXPECT_EQ(substitutions, expected) << threads;
  }
}

TEST_F(DrawBandsTest, AFailingEncoderStopsTheRenderWithItsReason) {
  const auto bytes = RandomDrawing(5).Bytes();
  ASSERT_EQ(reader.JwcLoadBytes(bytes), 0);
  for (int threads : {1, 2}) {
    CollectingEncoder encoder;
    encoder.fail_at_band = 3;
    BandOptions options;
    options.band_height = 10;
    options.threads = threads;
    error.clear();
    EXPECT_EQ(DrawImageBands(Context(), 200, 140, 0, 140, 0.5f, encoder, options), 0);
    EXPECT_EQ(error, "disk full");
    EXPECT_FALSE(encoder.finished);
    EXPECT_EQ(encoder.bands, 3);
  }
  CollectingEncoder encoder;
  EXPECT_EQ(DrawImageBands(Context(), 0, 140, 0, 140, 0.5f, encoder), 0);
  EXPECT_FALSE(encoder.began) << "an empty region is refused before the encoder hears of it";
}

}  // namespace
}  // namespace pelmora
