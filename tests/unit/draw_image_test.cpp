// The render pipeline on small drawings built with the fixture writer: pixel
// formats and colour tables, skips, progress, the 1-bit rules, dots, the stamp.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "drawing/jwcunit.h"
#include "render/draw_image.h"
#include "render/geometry.h"
#include "render/jwtools_lines_testing.h"
#include "render/palettes.h"
#include "settings/settings_fields.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

constexpr Colour kBlack = Rgb(0, 0, 0);
constexpr Colour kWhite = Rgb(255, 255, 255);
constexpr Colour kRed = Rgb(255, 0, 0);

std::unique_ptr<Bitmap> Copy(const Bitmap& image) {
  auto copy = Bitmap::Create(image.Width(), image.Height(), image.BitsPerPixel());
  if (image.BitsPerPixel() <= 8) copy->SetColourTable(image.ColourTable());
  if (image.SizeBytes() > 0) std::memcpy(copy->Row(0), image.Row(0), image.SizeBytes());
  return copy;
}

// Smallest box holding every pixel whose colour differs from `background`:
// left, top, right, bottom with right and bottom exclusive; all 0 when none.
std::array<int, 4> InkBox(const Bitmap& image, Colour background) {
  std::array<int, 4> box{image.Width(), image.Height(), 0, 0};
  bool any = false;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      if (image.ColourAt(x, y) == background) continue;
      any = true;
      box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1),
             std::max(box[3], y + 1)};
    }
  }
  return any ? box : std::array<int, 4>{0, 0, 0, 0};
}

std::set<Colour> ColoursIn(const Bitmap& image) {
  std::set<Colour> colours;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) colours.insert(image.ColourAt(x, y));
  }
  return colours;
}

class DrawImageTest : public ::testing::Test {
 protected:
  DrawImageTest() {
    layers.fill(1);
    groups.fill(1);
    settings.BackColor = kWhite;
    settings.WriteDPI = false;
  }

  void Load(const JwcWriter& writer) {
    const auto bytes = writer.Bytes();
    ASSERT_EQ(reader.JwcLoadBytes(bytes), 0) << reader.LastError();
  }

  // Renders and keeps a copy of the delivered image in `image`.
  int Render(int width, int height, int origin_x, int origin_y, float scale, int mode) {
    image.reset();
    deliveries = 0;
    error.clear();
    RenderContext context;
    context.reader = &reader;
    context.settings = &settings;
    context.LayerVisible = &layers;
    context.GroupVisible = &groups;
    context.PixelsPerMm = pixels_per_mm;
    context.delivery = [this](const Bitmap& delivered, std::string* why) {
      ++deliveries;
      image = Copy(delivered);
      if (fail_delivery) *why = "disk full";
      return !fail_delivery;
    };
    context.progress = [this](std::int64_t position, std::int64_t total) {
      progress.emplace_back(position, total);
    };
    context.error = &error;
    return DrawImage(context, width, height, origin_x, origin_y, scale, mode);
  }

  Tjwcin reader;
  Settings settings;
  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
  float pixels_per_mm = 1.0f;
  bool fail_delivery = false;
  std::unique_ptr<Bitmap> image;
  int deliveries = 0;
  std::string error;
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;
};

TEST_F(DrawImageTest, PixelFormatAndColourTableFollowModeAndDepth) {
  Load(JwcWriter());
  const Colour back = Rgb(10, 20, 30);
  settings.BackColor = back;
  settings.Color3 = Rgb(1, 2, 3);
  struct Case {
    int depth;
    bool use_palette;
    std::vector<Colour> table;
  };
  std::vector<Colour> render16 = {kBlack,
                                  kWhite,
                                  back,
                                  settings.Color1,
                                  settings.Color2,
                                  settings.Color3,
                                  settings.Color4,
                                  settings.Color5,
                                  settings.Color6,
                                  settings.Color7,
                                  kRed};
  std::vector<Colour> render256 = render16;
  render16.resize(16, kBlack);
  render256.resize(256, kBlack);
  const auto& halftone = HalftonePalette256();
  const std::vector<Case> cases = {
      {1, false, {kBlack, kWhite}},
      {1, true, {kBlack, kWhite}},
      {4, false, {kDefault16Colours.begin(), kDefault16Colours.end()}},
      {4, true, render16},
      {8, false, {halftone.begin(), halftone.end()}},
      {8, true, render256},
      {16, true, {}},
      {24, true, {}},
  };
  for (const Case& c : cases) {
    settings.ColorMode = c.depth;
    settings.usePalette = c.use_palette;
    for (int mode : {kRenderFile, kRenderClipboard}) {
      ASSERT_EQ(Render(8, 4, 0, 4, 1.0f, mode), 1) << error;
      EXPECT_EQ(image->BitsPerPixel(), c.depth);
      if (c.depth <= 8) {
        EXPECT_EQ(image->ColourTable(), c.table) << c.depth << " bit";
      }
    }
    ASSERT_EQ(Render(8, 4, 0, 4, 1.0f, kRenderPreview), 1);
    EXPECT_EQ(image->BitsPerPixel(), 24) << "the preview is always 24 bits";
  }
}

TEST_F(DrawImageTest, HalftonePaletteHoldsBlackWhiteAndTheSixteenColoursOnce) {
  const auto& halftone = HalftonePalette256();
  const std::set<Colour> distinct(halftone.begin(), halftone.end());
  EXPECT_EQ(distinct.size(), 256u);
  for (std::size_t i = 0; i < kDefault16Colours.size(); ++i)
    EXPECT_EQ(halftone[i], kDefault16Colours[i]);
  EXPECT_EQ(halftone[0], kBlack);
  EXPECT_EQ(halftone[15], kWhite);
  EXPECT_EQ(halftone[16], Rgb(0, 0, 51));  // the cube begins with its first non-corner
  EXPECT_EQ(halftone[223], Rgb(255, 255, 204));
  EXPECT_EQ(halftone[224], Rgb(8, 8, 8));  // then the greys
  EXPECT_EQ(halftone[255], Rgb(247, 247, 247));
}

TEST_F(DrawImageTest, DefaultColoursAndStampRedAreExactInTheDefaultSixteen) {
  // A 4-bit image without the render palette still shows every default colour
  // (and the stamp's red) unchanged.
  const Settings defaults;
  const std::set<Colour> sixteen(kDefault16Colours.begin(), kDefault16Colours.end());
  for (int i = 0; i < kColourTableSize; ++i)
    EXPECT_TRUE(sixteen.count(ColourEntry(defaults, i))) << i;
  EXPECT_TRUE(sixteen.count(kRed));

  settings = Settings();
  settings.WriteDPI = false;
  settings.ColorMode = 4;
  JwcWriter writer;
  for (int pen = 1; pen <= 7; ++pen) {
    const float y = 10.0f + 2 * pen;
    writer.AddLine({.X1 = 0,
                    .Y1 = y,
                    .X2 = 20,
                    .Y2 = y,
                    .LineType = 1,
                    .PenColor = static_cast<std::uint8_t>(pen)});
  }
  Load(writer);
  ASSERT_EQ(Render(20, 30, 0, 30, 1.0f, kRenderFile), 1) << error;
  for (int pen = 1; pen <= 7; ++pen) {
    EXPECT_EQ(image->ColourAt(5, 30 - (10 + 2 * pen)), ColourEntry(settings, pen)) << pen;
  }
  EXPECT_EQ(image->ColourAt(5, 29), settings.BackColor);
}

TEST_F(DrawImageTest, PenNumbersOutsideTheTablesDrawAsPenOne) {
  settings.Color1 = Rgb(0, 0, 255);
  settings.PenWidth1 = 3;
  settings.PenWidth2 = 1;
  EXPECT_EQ(PenColourOf(settings, 8), settings.Color1);
  EXPECT_EQ(PenColourOf(settings, 255), settings.Color1);
  EXPECT_EQ(PenColourOf(settings, -1), settings.Color1);
  EXPECT_EQ(PenColourOf(settings, 0), settings.BackColor);
  EXPECT_EQ(PenColourOf(settings, 7), settings.Color7);
  EXPECT_EQ(PenWidthOf(settings, 0), 3);
  EXPECT_EQ(PenWidthOf(settings, 7), 3);
  EXPECT_EQ(PenWidthOf(settings, 2), 1);

  // A horizontal line of pen 200 at row 10 draws in Color1, 3 pixels thick.
  Load(
      JwcWriter().AddLine({.X1 = 5, .Y1 = 10, .X2 = 25, .Y2 = 10, .LineType = 1, .PenColor = 200}));
  ASSERT_EQ(Render(30, 20, 0, 20, 1.0f, kRenderFile), 1) << error;
  EXPECT_EQ(image->ColourAt(15, 10), settings.Color1);
  const auto box = InkBox(*image, kWhite);
  EXPECT_EQ(box[3] - box[1], 3) << "rows 9..11";
}

TEST_F(DrawImageTest, PenWidthsApplyToOutputOnly) {
  settings.PenWidth2 = 5;
  Load(JwcWriter().AddLine({.X1 = 10, .Y1 = 20, .X2 = 30, .Y2 = 20, .LineType = 1, .PenColor = 2}));
  settings.Color2 = kBlack;
  ASSERT_EQ(Render(40, 40, 0, 40, 1.0f, kRenderPreview), 1);
  auto box = InkBox(*image, kWhite);
  EXPECT_EQ(box[3] - box[1], 1);
  ASSERT_EQ(Render(40, 40, 0, 40, 1.0f, kRenderFile), 1);
  box = InkBox(*image, kWhite);
  EXPECT_EQ(box[3] - box[1], 5);
}

TEST_F(DrawImageTest, PointMappingRoundsHalfToEven) {
  // With scale 1 and originY 841, (2.5, 3.5) is the pixel (2, 837).
  settings.Color1 = kBlack;
  Load(JwcWriter().AddDot({.X = 2.5f, .Y = 3.5f, .Layer = 0, .PenColor = 1}));
  ASSERT_EQ(Render(6, 841, 0, 841, 1.0f, kRenderPreview), 1);
  EXPECT_EQ(InkBox(*image, kWhite), (std::array<int, 4>{2, 837, 3, 838}));

  // Negative halves and the origins: x = round(x × 2) − originX, y = originY − round(y × 2).
  Load(JwcWriter()
           .AddDot({.X = -0.75f, .Y = 1.25f, .PenColor = 1})    // (-1.5, 2.5) -> (-2, 2)
           .AddDot({.X = 1.25f, .Y = -0.25f, .PenColor = 1}));  // (2.5, -0.5) -> (2, -0)
  ASSERT_EQ(Render(8, 8, -3, 6, 2.0f, kRenderPreview), 1);
  EXPECT_EQ(image->ColourAt(1, 4), kBlack);
  EXPECT_EQ(image->ColourAt(5, 6), kBlack);
  EXPECT_EQ(ColoursIn(*image).size(), 2u);
  int black = 0;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) black += image->ColourAt(x, y) == kBlack;
  }
  EXPECT_EQ(black, 2);
}

TEST_F(DrawImageTest, DotsArePixelsInThePreviewAndDiscsInOutput) {
  settings.Color1 = kBlack;
  settings.PenWidth1 = 7;
  // A wide line first: the disc's outline must still be one pixel.
  Load(JwcWriter()
           .AddLine({.X1 = 10, .Y1 = 190, .X2 = 150, .Y2 = 190, .LineType = 1, .PenColor = 1})
           .AddDot({.X = 100, .Y = 150, .Layer = 0, .PenColor = 1}));
  // (100, 150) lands on pixel (100, 50) with originY 200.
  auto dot_box = [&] {
    // Only the lower part of the image, away from the line at row 10.
    std::array<int, 4> box{1000, 1000, 0, 0};
    for (int y = 30; y < image->Height(); ++y) {
      for (int x = 0; x < image->Width(); ++x) {
        if (image->ColourAt(x, y) == kWhite) continue;
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1),
               std::max(box[3], y + 1)};
      }
    }
    return box;
  };
  settings.Dot = 6;
  ASSERT_EQ(Render(200, 200, 0, 200, 1.0f, kRenderFile), 1);
  EXPECT_EQ(dot_box(), (std::array<int, 4>{97, 47, 103, 53}));
  EXPECT_EQ(image->ColourAt(100, 50), kBlack) << "filled";
  settings.Dot = 5;
  ASSERT_EQ(Render(200, 200, 0, 200, 1.0f, kRenderClipboard), 1);
  EXPECT_EQ(dot_box(), (std::array<int, 4>{98, 48, 103, 53}));
  ASSERT_EQ(Render(200, 200, 0, 200, 1.0f, kRenderPreview), 1);
  EXPECT_EQ(dot_box(), (std::array<int, 4>{100, 50, 101, 51}));
}

TEST_F(DrawImageTest, HiddenLayersGroupsAndAuxiliaryLinesAreSkippedButCounted) {
  settings.Color1 = kBlack;
  JwcWriter writer;
  // 1000 lines: layer 0x12 hidden by its layer, 0x35 by its group, type 9 with No9 off.
  for (int i = 0; i < 1000; ++i) {
    const std::uint8_t layer = i % 3 == 0 ? 0x12 : i % 3 == 1 ? 0x35 : 0x00;
    const std::uint8_t type = i % 3 == 2 ? 9 : 1;
    writer.AddLine(
        {.X1 = 0, .Y1 = 5, .X2 = 20, .Y2 = 5, .LineType = type, .PenColor = 1, .Layer = layer});
  }
  for (int i = 0; i < 500; ++i) {
    writer.AddArc({.CenterX = 10,
                   .CenterY = 10,
                   .Radius = 4,
                   .Flatness = 1,
                   .LineType = 9,
                   .PenColor = 1,
                   .Layer = 0});
  }
  for (int i = 0; i < 100; ++i) {
    writer.AddText(
        {.X1 = 2, .Y1 = 15, .X2 = 18, .Y2 = 15, .Text = "AB", .Style = 1, .Layer = 0x12});
  }
  for (int i = 0; i < 100; ++i) writer.AddDot({.X = 3, .Y = 3, .Layer = 0x35, .PenColor = 1});
  Load(writer);
  layers[0x12] = 2;  // anything but 1 hides
  groups[0x3] = 0;
  settings.No9 = false;
  ASSERT_EQ(Render(20, 20, 0, 20, 1.0f, kRenderFile), 1) << error;
  EXPECT_EQ(InkBox(*image, kWhite), (std::array<int, 4>{0, 0, 0, 0})) << "nothing drawn";
  const std::vector<std::pair<std::int64_t, std::int64_t>> expected = {
      {0, 1700}, {1000, 1700}, {1500, 1700}, {1600, 1700}, {1700, 1700}, {0, 1700}};
  EXPECT_EQ(progress, expected);

  // The same auxiliary lines drawn once No9 is on.
  settings.No9 = true;
  ASSERT_EQ(Render(20, 20, 0, 20, 1.0f, kRenderFile), 1);
  EXPECT_EQ(image->ColourAt(10, 15), kBlack);
}

TEST_F(DrawImageTest, TextsAdvanceTheCountWhenTextModeIsOff) {
  JwcWriter writer;
  for (int i = 0; i < 200; ++i) writer.AddText({.X1 = 0, .Y1 = 0, .X2 = 10, .Y2 = 0, .Text = "A"});
  Load(writer);
  settings.TextMode = false;
  ASSERT_EQ(Render(10, 10, 0, 10, 1.0f, kRenderPreview), 1);
  const std::vector<std::pair<std::int64_t, std::int64_t>> expected = {
      {0, 200}, {100, 200}, {200, 200}, {0, 200}};
  EXPECT_EQ(progress, expected);
}

TEST_F(DrawImageTest, TextsAreDrawnInTheirStyleColourAndUnknownStylesAreNot) {
  settings.Color4 = Rgb(0, 0, 255);
  // Style 2: pen 4, 5 mm characters; 4 drawing units per millimetre.
  pixels_per_mm = 4.0f;
  auto drawing = [](std::uint8_t style) {
    return JwcWriter()
        .TextStyle(2, 4, 50, 50, 0)
        .AddText({.X1 = 10, .Y1 = 10, .X2 = 100, .Y2 = 10, .Text = "AB", .Style = style});
  };
  Load(drawing(2));
  ASSERT_EQ(Render(120, 60, 0, 60, 1.0f, kRenderPreview), 1);
  EXPECT_EQ(ColoursIn(*image), (std::set<Colour>{kWhite, settings.Color4}));
  const auto box = InkBox(*image, kWhite);
  EXPECT_GE(box[1], 25) << "20 pixels high above the baseline at row 50";
  EXPECT_LE(box[3], 52);

  Load(drawing(11));
  ASSERT_EQ(Render(120, 60, 0, 60, 1.0f, kRenderPreview), 1);
  EXPECT_EQ(ColoursIn(*image), std::set<Colour>{kWhite});
}

TEST_F(DrawImageTest, OneBitDrawsBlackOnWhiteInEveryMode) {
  settings.ColorMode = 1;
  settings.BackColor = Rgb(255, 0, 0);
  settings.Color1 = Rgb(0, 255, 0);
  settings.Color2 = kWhite;  // a white pen still draws black
  Load(JwcWriter()
           .AddLine({.X1 = 1, .Y1 = 2, .X2 = 15, .Y2 = 2, .LineType = 1, .PenColor = 1})
           .AddLine({.X1 = 1, .Y1 = 6, .X2 = 15, .Y2 = 6, .LineType = 1, .PenColor = 2})
           .AddDot({.X = 8, .Y = 12, .Layer = 0, .PenColor = 2}));
  for (int mode : {kRenderPreview, kRenderFile, kRenderClipboard}) {
    ASSERT_EQ(Render(16, 16, 0, 16, 1.0f, mode), 1) << error;
    EXPECT_EQ(ColoursIn(*image), (std::set<Colour>{kBlack, kWhite})) << "mode " << mode;
    EXPECT_EQ(image->ColourAt(5, 14), kBlack);
    EXPECT_EQ(image->ColourAt(5, 10), kBlack);
    EXPECT_EQ(image->ColourAt(8, 4), kBlack);
    EXPECT_EQ(image->ColourAt(0, 0), kWhite);
  }
}

TEST_F(DrawImageTest, ResolutionStampInOutputOnly) {
  Load(JwcWriter());
  settings.dpi = 300;
  settings.WriteDPI = true;
  ASSERT_EQ(Render(120, 40, 0, 40, 1.0f, kRenderFile), 1) << error;
  EXPECT_EQ(ColoursIn(*image), (std::set<Colour>{kWhite, kRed}));
  const auto box = InkBox(*image, kWhite);
  EXPECT_LE(box[0], 2);
  EXPECT_LE(box[1], 4);
  EXPECT_GE(box[2] - box[0], 25) << "six characters";
  EXPECT_LE(box[2], 60);
  EXPECT_LE(box[3], 13) << "8 points at 96 pixels per inch: 11 pixels";

  const auto stamp24 = InkBox(*image, kWhite);
  settings.ColorMode = 1;
  ASSERT_EQ(Render(120, 40, 0, 40, 1.0f, kRenderClipboard), 1);
  EXPECT_EQ(ColoursIn(*image), (std::set<Colour>{kWhite, kBlack}));
  EXPECT_EQ(InkBox(*image, kWhite), stamp24) << "same size at every depth";

  settings.ColorMode = 24;
  ASSERT_EQ(Render(120, 40, 0, 40, 1.0f, kRenderPreview), 1);
  EXPECT_EQ(ColoursIn(*image), std::set<Colour>{kWhite}) << "never in the preview";
  settings.WriteDPI = false;
  ASSERT_EQ(Render(120, 40, 0, 40, 1.0f, kRenderFile), 1);
  EXPECT_EQ(ColoursIn(*image), std::set<Colour>{kWhite});
}

TEST_F(DrawImageTest, EmptyDrawingIsTheBackgroundAlone) {
  Load(JwcWriter());
  settings.BackColor = Rgb(0, 128, 0);
  for (int depth : {4, 8, 16, 24}) {
    settings.ColorMode = depth;
    ASSERT_EQ(Render(13, 7, 0, 7, 1.0f, kRenderFile), 1) << error;
    const std::uint32_t value = image->ValueFor(settings.BackColor);
    if (depth != 16) {
      EXPECT_EQ(image->ColourAt(0, 0), settings.BackColor) << depth;
    }
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 13; ++x) ASSERT_EQ(image->ValueAt(x, y), value) << depth;
    }
  }
  // Black, the value of a fresh image, at every depth with a table.
  settings.BackColor = kBlack;
  settings.ColorMode = 8;
  ASSERT_EQ(Render(13, 7, 0, 7, 1.0f, kRenderFile), 1);
  EXPECT_EQ(ColoursIn(*image), std::set<Colour>{kBlack});
  const std::vector<std::pair<std::int64_t, std::int64_t>> two_clears = {{0, 0}, {0, 0}};
  progress.clear();
  ASSERT_EQ(Render(13, 7, 0, 7, 1.0f, kRenderFile), 1);
  EXPECT_EQ(progress, two_clears);
}

TEST_F(DrawImageTest, EmptyOutputRegionIsRefusedBeforeDelivery) {
  Load(JwcWriter().AddLine({.X1 = 0, .Y1 = 0, .X2 = 10, .Y2 = 10}));
  for (auto [w, h] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{0, 0}, std::pair{-3, 4}}) {
    for (int mode : {kRenderFile, kRenderClipboard}) {
      EXPECT_EQ(Render(w, h, 0, h, 1.0f, mode), 0);
      EXPECT_EQ(deliveries, 0);
      EXPECT_NE(error.find("pixels"), std::string::npos) << error;
    }
  }
  // A preview of nothing (no drawing loaded) is valid and delivers an empty image.
  ASSERT_EQ(Render(0, 0, 0, 0, 1.0f, kRenderPreview), 1);
  EXPECT_EQ(deliveries, 1);
  EXPECT_EQ(image->Width(), 0);
  EXPECT_EQ(Render(-1, 5, 0, 5, 1.0f, kRenderPreview), 0);
  EXPECT_EQ(deliveries, 0);
  EXPECT_EQ(Render(5, 5, 0, 5, 1.0f, 4), 0) << "unknown mode";
}

TEST_F(DrawImageTest, DeliveryFailureIsAFailedRenderWithItsReason) {
  Load(JwcWriter());
  fail_delivery = true;
  EXPECT_EQ(Render(4, 4, 0, 4, 1.0f, kRenderFile), 0);
  EXPECT_EQ(error, "disk full");
}

TEST_F(DrawImageTest, ImageTooLargeIsAFailedRender) {
  Load(JwcWriter());
  settings.ColorMode = 24;
  EXPECT_EQ(Render(2000000000, 2000000000, 0, 0, 1.0f, kRenderFile), 0);
  EXPECT_EQ(deliveries, 0);
  EXPECT_FALSE(error.empty());
}

TEST_F(DrawImageTest, OutputGeometryPlacesTheBoxOnThePaper) {
  // WindowWidth 1189 on A0 (1 unit per mm), box 297 × 210 at 72 dpi: the
  // paper's top edge is row 0 and the box's lower edge (y 631) row 595.
  const OutputGeometry g = ComputeOutputGeometry({0, 0, 297, 210}, 1.0f, 72, 1189);
  ASSERT_TRUE(g.Renderable());
  settings.Color1 = kBlack;
  Load(JwcWriter()
           .Paper(0)
           .WindowWidth(1189)
           .AddDot({.X = 0, .Y = 841, .PenColor = 1})
           .AddDot({.X = 10, .Y = 632, .PenColor = 1})
           .AddDot({.X = 10, .Y = 631, .PenColor = 1}));
  ASSERT_EQ(Render(g.width, g.height, g.originX, g.originY, g.scale, kRenderPreview), 1);
  EXPECT_EQ(image->Width(), 842);
  EXPECT_EQ(image->Height(), 595);
  EXPECT_EQ(image->ColourAt(0, 0), kBlack);
  EXPECT_EQ(image->ColourAt(28, 593), kBlack);  // round(10 × 72 / 25.4) = 28
  EXPECT_EQ(ColoursIn(*image).size(), 2u);
  int black = 0;
  for (int y = 0; y < image->Height(); ++y) {
    for (int x = 0; x < image->Width(); ++x) black += image->ColourAt(x, y) == kBlack;
  }
  EXPECT_EQ(black, 2) << "y 631 maps to row 595, just below the image";
}

TEST_F(DrawImageTest, SameDrawingAndSettingsGiveTheSameImage) {
  JwcWriter writer;
  for (int i = 0; i < 40; ++i) {
    const float f = static_cast<float>(i);
    writer.AddLine({.X1 = f,
                    .Y1 = 0,
                    .X2 = 80 - f,
                    .Y2 = 60,
                    .LineType = static_cast<std::uint8_t>(i % 10),
                    .PenColor = static_cast<std::uint8_t>(i % 9)});
    writer.AddArc({.CenterX = 40,
                   .CenterY = 30,
                   .Radius = f,
                   .Flatness = 0.5f,
                   .StartAngle = f * 7,
                   .EndAngle = 300,
                   .Tilt = f,
                   .LineType = static_cast<std::uint8_t>(i % 10),
                   .PenColor = static_cast<std::uint8_t>(i % 8)});
  }
  writer.AddText({.X1 = 5, .Y1 = 40, .X2 = 70, .Y2 = 50, .Text = Cp932("居間ABC"), .Style = 3});
  writer.AddDot({.X = 20, .Y = 20, .PenColor = 5});
  Load(writer);
  pixels_per_mm = 2.0f;
  settings.WriteDPI = true;
  for (int depth : {1, 4, 8, 16, 24}) {
    settings.ColorMode = depth;
    settings.PenWidth3 = 4;
    ASSERT_EQ(Render(160, 120, -10, 130, 1.7f, kRenderFile), 1);
    const auto first = Copy(*image);
    ASSERT_EQ(Render(160, 120, -10, 130, 1.7f, kRenderFile), 1);
    ASSERT_EQ(first->SizeBytes(), image->SizeBytes());
    EXPECT_EQ(std::memcmp(first->Row(0), image->Row(0), image->SizeBytes()), 0) << depth;
  }
}

// A line type outside 2..9 draws with the last pattern chosen; a render must
// not take it from an earlier render, so a drawing converted after another
// gives the bytes it gives alone.
TEST_F(DrawImageTest, EachRenderStartsFromAFreshLineState) {
  ResetLinePatternForTesting();
  const JwcWriter dashed =
      JwcWriter().AddLine({.X1 = 0, .Y1 = 10, .X2 = 100, .Y2 = 10, .LineType = 5, .PenColor = 1});
  const JwcWriter unknown_types =
      JwcWriter()
          .AddLine({.X1 = 0, .Y1 = 20, .X2 = 150, .Y2 = 20, .LineType = 12, .PenColor = 1})
          .AddArc({.CenterX = 60, .CenterY = 40, .Radius = 15, .LineType = 200, .PenColor = 1});
  for (int mode : {kRenderPreview, kRenderFile}) {
    SCOPED_TRACE(mode);
    Load(unknown_types);
    ASSERT_EQ(Render(160, 60, 0, 60, 1.0f, mode), 1) << error;
    const auto alone = Copy(*image);
    Load(dashed);
    ASSERT_EQ(Render(160, 60, 0, 60, 1.0f, mode), 1) << error;
    Load(unknown_types);
    ASSERT_EQ(Render(160, 60, 0, 60, 1.0f, mode), 1) << error;
    ASSERT_EQ(alone->SizeBytes(), image->SizeBytes());
    EXPECT_EQ(std::memcmp(alone->Row(0), image->Row(0), image->SizeBytes()), 0);
    // Without a pattern chosen in this render the line is solid.
    for (int x = 0; x <= 150; ++x) ASSERT_NE(image->ColourAt(x, 40), kWhite) << x;
  }
}

TEST_F(DrawImageTest, WildCoordinatesAreClippedNotFatal) {
  settings.Dot = 2000000000;
  Load(JwcWriter()
           .AddLine({.X1 = -3e38f, .Y1 = 3e38f, .X2 = 1e30f, .Y2 = -1e30f, .LineType = 1})
           .AddArc({.CenterX = 1e20f, .CenterY = 5, .Radius = 1e30f})
           .AddDot({.X = 2e9f, .Y = -2e9f, .PenColor = 3})
           .AddDot({.X = 5, .Y = 5, .PenColor = 3}));
  EXPECT_EQ(Render(20, 20, 2147483647, -2147483647 - 1, 3.0e5f, kRenderFile), 1) << error;
  EXPECT_EQ(Render(20, 20, 0, 20, 1.0f, kRenderFile), 1) << error;
}

}  // namespace
}  // namespace pelmora
