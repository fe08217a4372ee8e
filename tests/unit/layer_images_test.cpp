// The layer dialog's thumbnails: every pixel of random drawings against the
// reference loops they were first drawn with, and the rules that make them
// differ from the preview, one small picture each.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "drawing/jwcunit.h"
#include "render/jwtools.h"
#include "render/visibility_render.h"
#include "settings/settings_fields.h"
#include "tests/support/jwc_writer.h"
#include "tests/support/thumbnail_reference.h"

namespace pelmora {
namespace {

using Images = std::array<std::unique_ptr<Bitmap>, 16>;

constexpr Colour kBack = Rgb(250, 250, 240);

// Where two sets of thumbnails first differ, "" when they are the same.
std::string FirstDifference(const Images& got, const Images& want) {
  for (std::size_t k = 0; k < 16; ++k) {
    const Bitmap& a = *got[k];
    const Bitmap& b = *want[k];
    const std::string image = "image " + std::to_string(k) + ": ";
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitsPerPixel() != b.BitsPerPixel())
      return image + "shape differs";
    for (int y = 0; y < a.Height(); ++y) {
      for (int x = 0; x < a.Width(); ++x) {
        if (a.ColourAt(x, y) != b.ColourAt(x, y)) {
          return image + "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
      }
    }
    if (a.SizeBytes() > 0 && std::memcmp(a.Row(0), b.Row(0), a.SizeBytes()) != 0)
      return image + "padding bytes differ";
  }
  return "";
}

long long Inked(const Bitmap& image, Colour background) {
  long long count = 0;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) count += image.ColourAt(x, y) != background;
  }
  return count;
}

// One row of a thumbnail: '.' background, 'a'..'h' pens 0..7 of `settings`,
// '?' anything else.
std::string RowOf(const Bitmap& image, int y, const Settings& settings) {
  std::string row;
  for (int x = 0; x < image.Width(); ++x) {
    const Colour c = image.ColourAt(x, y);
    char ch = '?';
    if (c == settings.BackColor) {
      ch = '.';
    } else {
      for (int pen = 1; pen < 8; ++pen) {
        if (c == ColourEntry(settings, pen)) ch = static_cast<char>('a' + pen);
      }
    }
    row += ch;
  }
  return row;
}

std::vector<std::string> PictureOf(const Bitmap& image, const Settings& settings) {
  std::vector<std::string> rows;
  for (int y = 0; y < image.Height(); ++y) rows.push_back(RowOf(image, y, settings));
  return rows;
}

Settings DistinctColours() {
  Settings settings;
  settings.BackColor = kBack;
  for (int pen = 1; pen < 8; ++pen) {
    ColourEntry(settings, pen) = Rgb(static_cast<std::uint8_t>(pen * 30), 0, 200);
  }
  return settings;
}

// --- random drawings --------------------------------------------------------

struct RandomScene {
  JwcWriter writer;
  Settings settings;
};

class SceneMaker {
 public:
  explicit SceneMaker(unsigned seed) : m_random(seed) {}

  RandomScene Make(float scale, int group) {
    RandomScene scene;
    m_scale = scale;
    m_group = group;
    RandomSettings(scene.settings);
    for (int style = 0; style < kJwcTextStyleCount; ++style)
      scene.writer.TextStyle(style, static_cast<std::int16_t>(Int(0, 9)), 30, 30, 0);
    // Some drawings have no arcs (texts then take the lines' type) or no
    // strokes at all (texts then draw in the reset state).
    const int shape = Int(0, 5);
    const int lines = shape == 0 ? 0 : Int(0, 40);
    const int arcs = shape <= 1 ? 0 : Int(0, 15);
    for (int i = 0; i < lines; ++i) scene.writer.AddLine(Line());
    for (int i = 0; i < arcs; ++i) scene.writer.AddArc(Arc());
    for (int i = 0, n = Int(0, 10); i < n; ++i) scene.writer.AddText(Text());
    for (int i = 0, n = Int(0, 15); i < n; ++i) scene.writer.AddDot(Dot());
    return scene;
  }

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }
  float Real(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(m_random); }

 private:
  // Settings the thumbnails must not read are scrambled too.
  void RandomSettings(Settings& settings) {
    for (int pen = 0; pen < 8; ++pen) {
      ColourEntry(settings, pen) =
          Rgb(static_cast<std::uint8_t>(Int(0, 255)), static_cast<std::uint8_t>(Int(0, 255)),
              static_cast<std::uint8_t>(Int(0, 255)));
    }
    for (int pen = kFirstPenWidth; pen <= kLastPenWidth; ++pen)
      PenWidthEntry(settings, pen) = Int(1, 7);
    settings.No9 = Int(0, 1) == 1;
    settings.TextMode = Int(0, 1) == 1;
    settings.Dot = Int(1, 9);
    const int depths[] = {1, 4, 8, 16, 24};
    settings.ColorMode = depths[Int(0, 4)];
  }

  // Mostly layers of the group drawn, the others spread over every group.
  std::uint8_t Layer() {
    if (Int(0, 9) < 6) return static_cast<std::uint8_t>(m_group * 16 + Int(0, 15));
    return static_cast<std::uint8_t>(Int(0, 255));
  }
  // A coordinate that lands around the thumbnail (pixels -40 .. 150), now
  // and then exactly between two pixels.
  float Coordinate() {
    const float pixel =
        Int(0, 4) == 0 ? static_cast<float>(Int(-40, 150)) + 0.5f : Real(-40.0f, 150.0f);
    return pixel / m_scale;
  }

  TJwcLine Line() {
    TJwcLine line;
    line.X1 = Coordinate();
    line.Y1 = Coordinate();
    // Horizontal, vertical and diagonal strokes as well as any.
    switch (Int(0, 3)) {
      case 0:
        line.X2 = Coordinate();
        line.Y2 = line.Y1;
        break;
      case 1:
        line.X2 = line.X1;
        line.Y2 = Coordinate();
        break;
      default:
        line.X2 = Coordinate();
        line.Y2 = Coordinate();
        break;
    }
    line.LineType = static_cast<std::uint8_t>(Int(0, 12));
    line.PenColor = static_cast<std::uint8_t>(Int(0, 9));
    line.Layer = Layer();
    return line;
  }

  TJwcArc Arc() {
    TJwcArc arc;
    arc.CenterX = Coordinate();
    arc.CenterY = Coordinate();
    // Radii of whole, half and any pixels, now and then negative.
    const float pixels = Int(0, 2) == 0 ? static_cast<float>(Int(0, 30)) + 0.5f : Real(0.0f, 60.0f);
    arc.Radius = (Int(0, 9) == 0 ? -pixels : pixels) / m_scale;
    arc.Flatness = Int(0, 2) == 0 ? 1.0f : Real(0.2f, 3.0f);
    arc.StartAngle = Int(0, 3) == 0 ? 0.0f : Real(0.0f, 360.0f);
    arc.EndAngle = Int(0, 3) == 0 ? arc.StartAngle : Real(0.0f, 360.0f);
    arc.Tilt = Int(0, 1) == 0 ? 0.0f : Real(-180.0f, 180.0f);
    arc.LineType = static_cast<std::uint8_t>(Int(0, 12));
    arc.PenColor = static_cast<std::uint8_t>(Int(0, 9));
    arc.Layer = Layer();
    return arc;
  }

  TJwcText Text() {
    TJwcText text;
    text.X1 = Coordinate();
    text.Y1 = Coordinate();
    text.X2 = Coordinate();
    text.Y2 = Int(0, 1) == 0 ? text.Y1 : Coordinate();
    text.Text = "AB";
    text.Style = static_cast<std::uint8_t>(Int(0, 12));
    text.Layer = Layer();
    return text;
  }

  TJwcDot Dot() {
    TJwcDot dot;
    dot.X = Coordinate();
    dot.Y = Coordinate();
    dot.PenColor = static_cast<std::uint8_t>(Int(0, 9));
    dot.Layer = Layer();
    return dot;
  }

  std::mt19937 m_random;
  float m_scale = 1.0f;
  int m_group = 0;
};

struct View {
  int width, height, origin_x, origin_y;
  float scale;
};

// The dialog's own view first, then others that move and scale the drawing.
constexpr View kViews[] = {{104, 73, 0, 73, 0.2f},
                           {104, 73, -20, 50, 0.37f},
                           {37, 21, 30, 100, 1.0f},
                           {64, 64, 0, 0, 0.05f}};

TEST(LayerImages, RandomDrawingsKeepTheReferencePixels) {
  long long inked = 0;
  for (unsigned seed = 1; seed <= 150; ++seed) {
    SceneMaker maker(seed);
    const View& view = kViews[seed % std::size(kViews)];
    const int group = maker.Int(0, 15);
    RandomScene scene = maker.Make(view.scale, group);
    Tjwcin reader;
    ASSERT_EQ(reader.JwcLoadBytes(scene.writer.Bytes()), 0) << reader.LastError();
    // The group as the dialog asks for it, and masks of scattered layers
    // (only 1 draws).
    LayerMask scattered{};
    for (auto& entry : scattered) entry = static_cast<std::uint8_t>(maker.Int(0, 3));
    for (const LayerMask& mask : {GroupMask(group), scattered}) {
      const Images want =
          ReferenceLayerImages(reader, scene.settings, mask, view.width, view.height, view.origin_x,
                               view.origin_y, view.scale);
      const Images got = DrawLayerImages(reader, scene.settings, mask, view.width, view.height,
                                         view.origin_x, view.origin_y, view.scale);
      ASSERT_EQ(FirstDifference(got, want), "") << "seed " << seed;
      for (const auto& image : got) inked += Inked(*image, scene.settings.BackColor);
    }
  }
  // Blank thumbnails would agree with anything.
  EXPECT_GT(inked, 20000);
}

TEST(LayerImages, EmptyAndUnmakeableImages) {
  Tjwcin reader;
  ASSERT_EQ(
      reader.JwcLoadBytes(
          JwcWriter()
              .AddLine(
                  {.X1 = 0, .Y1 = 0, .X2 = 9, .Y2 = 9, .LineType = 1, .PenColor = 1, .Layer = 0})
              .Bytes()),
      0);
  const Settings settings = DistinctColours();
  for (const View view : {View{0, 0, 0, 0, 1.0f}, View{0, 7, 0, 0, 1.0f}, View{3, 1, 0, 0, 1.0f}}) {
    const Images got =
        DrawLayerImages(reader, settings, GroupMask(0), view.width, view.height, 0, 0, 1.0f);
    const Images want =
        ReferenceLayerImages(reader, settings, GroupMask(0), view.width, view.height, 0, 0, 1.0f);
    EXPECT_EQ(FirstDifference(got, want), "") << view.width << " x " << view.height;
  }
}

// --- the thumbnails' own rules, on tiny pictures ------------------------------

class LayerImagesRules : public ::testing::Test {
 protected:
  LayerImagesRules() : settings(DistinctColours()) { writer.TextStyle(0, 3, 30, 30, 0); }

  // Drawing units are pixels; y = 0 is the bottom row of a 12 × 3 picture.
  Images Draw(const LayerMask& mask = GroupMask(0)) {
    Tjwcin reader;
    EXPECT_EQ(reader.JwcLoadBytes(writer.Bytes()), 0) << reader.LastError();
    return DrawLayerImages(reader, settings, mask, 12, 3, 0, 2, 1.0f);
  }
  // A stroke that stays off the picture, only to choose a line type.
  void HiddenLine(std::uint8_t type, std::uint8_t layer) {
    writer.AddLine({.X1 = 500,
                    .Y1 = 500,
                    .X2 = 600,
                    .Y2 = 500,
                    .LineType = type,
                    .PenColor = 1,
                    .Layer = layer});
  }
  void HiddenArc(std::uint8_t type, std::uint8_t layer) {
    writer.AddArc({.CenterX = 500,
                   .CenterY = 500,
                   .Radius = 5,
                   .Flatness = 1,
                   .LineType = type,
                   .PenColor = 1,
                   .Layer = layer});
  }
  // A text along the middle row of layer 1's picture, in style 0 (pen 3).
  void TextAcross() {
    writer.AddText({.X1 = 0, .Y1 = 1, .X2 = 11, .Y2 = 1, .Text = "ABC", .Style = 0, .Layer = 1});
  }
  std::string MiddleRow(const Images& images, int layer = 1) {
    return RowOf(*images[static_cast<std::size_t>(layer)], 1, settings);
  }

  JwcWriter writer;
  Settings settings;
};

TEST_F(LayerImagesRules, TextIsAStrokeInTheTypeTheLastLineLeft) {
  // The line is of another group, not drawn, and still sets the type.
  HiddenLine(1, 0x21);
  HiddenLine(3, 0x35);
  TextAcross();
  EXPECT_EQ(MiddleRow(Draw()), "ddddd.....dd");
}

TEST_F(LayerImagesRules, TextTakesTheLastArcsTypeOverTheLines) {
  HiddenLine(3, 0x01);
  HiddenArc(1, 0x40);
  TextAcross();
  EXPECT_EQ(MiddleRow(Draw()), "dddddddddddd");
}

TEST_F(LayerImagesRules, TypeOutsideThePatternsKeepsTheLastPattern) {
  HiddenLine(2, 0x21);
  HiddenArc(12, 0x21);
  TextAcross();
  EXPECT_EQ(MiddleRow(Draw()), "ddd...ddd...");
}

TEST_F(LayerImagesRules, TextWithNoStrokeBeforeItMovesOnly) {
  TextAcross();
  const JwcWriter texts_only = writer;
  HiddenLine(1, 0x01);
  EXPECT_EQ(MiddleRow(Draw()), "dddddddddddd");
  // What that render left behind changes nothing: every render starts from
  // the program's first state, line type 0.
  writer = texts_only;
  EXPECT_EQ(MiddleRow(Draw()), "............");
}

TEST_F(LayerImagesRules, TextIgnoresTextModeAndStylesBeyondTheEleven) {
  settings.TextMode = false;
  HiddenLine(1, 0x01);
  TextAcross();
  writer.AddText({.X1 = 0, .Y1 = 0, .X2 = 11, .Y2 = 0, .Text = "A", .Style = 11, .Layer = 1});
  const Images images = Draw();
  EXPECT_EQ(PictureOf(*images[1], settings),
            (std::vector<std::string>{"............", "dddddddddddd", "............"}));
}

TEST_F(LayerImagesRules, StrokesAreOnePixelWithTypeNineAndAnyDepth) {
  PenWidthEntry(settings, 2) = 5;
  settings.No9 = false;    // the preview would skip type 9
  settings.ColorMode = 1;  // the preview would draw black on white
  writer.AddLine({.X1 = 0, .Y1 = 2, .X2 = 11, .Y2 = 2, .LineType = 1, .PenColor = 2, .Layer = 0});
  writer.AddLine({.X1 = 0, .Y1 = 0, .X2 = 11, .Y2 = 0, .LineType = 9, .PenColor = 4, .Layer = 0});
  const Images images = Draw();
  EXPECT_EQ(PictureOf(*images[0], settings),
            (std::vector<std::string>{"cccccccccccc", "............", "e.........e."}));
}

TEST_F(LayerImagesRules, DotIsOnePixelWhateverTheDotSize) {
  settings.Dot = 7;
  writer.AddDot({.X = 3, .Y = 1, .Layer = 2, .PenColor = 5});
  writer.AddDot({.X = 4, .Y = 1, .Layer = 0x12, .PenColor = 5});  // not drawn
  const Images images = Draw();
  EXPECT_EQ(PictureOf(*images[2], settings),
            (std::vector<std::string>{"............", "...f........", "............"}));
}

TEST_F(LayerImagesRules, LayerByteModSixteenChoosesTheImage) {
  LayerMask mask{};
  mask[0x13] = 1;
  mask[0x25] = 2;  // only 1 draws
  writer.AddLine({.X1 = 0, .Y1 = 1, .X2 = 3, .Y2 = 1, .LineType = 1, .PenColor = 1, .Layer = 0x13});
  writer.AddLine({.X1 = 0, .Y1 = 1, .X2 = 3, .Y2 = 1, .LineType = 1, .PenColor = 1, .Layer = 0x25});
  writer.AddLine({.X1 = 0, .Y1 = 1, .X2 = 3, .Y2 = 1, .LineType = 1, .PenColor = 1, .Layer = 0x03});
  const Images images = Draw(mask);
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(MiddleRow(images, k), k == 3 ? "bbbb........" : "............") << k;
    EXPECT_EQ(RowOf(*images[static_cast<std::size_t>(k)], 0, settings), "............") << k;
  }
}

TEST_F(LayerImagesRules, FarCoordinateIsHeldBeforeTheOriginApplies) {
  // 2^31 pixels out is held at 2^30 and then moved by the origin, so this dot
  // lands on column 5 (the output images hold the pixel after the origin,
  // and would leave it off the picture).
  writer.AddDot({.X = 0x1p31f, .Y = 1, .Layer = 0, .PenColor = 2});
  Tjwcin reader;
  ASSERT_EQ(reader.JwcLoadBytes(writer.Bytes()), 0);
  const Images images =
      DrawLayerImages(reader, settings, GroupMask(0), 12, 3, (1 << 30) - 5, 2, 1.0f);
  EXPECT_EQ(MiddleRow(images, 0), ".....c......");
  EXPECT_EQ(FirstDifference(images, ReferenceLayerImages(reader, settings, GroupMask(0), 12, 3,
                                                         (1 << 30) - 5, 2, 1.0f)),
            "");
}

TEST_F(LayerImagesRules, ArcRadiusIsRoundedToWholePixelsHalfToEven) {
  const auto circle = [&](float radius) {
    JwcWriter one;
    one.AddArc({.CenterX = 20,
                .CenterY = 20,
                .Radius = radius,
                .Flatness = 1,
                .LineType = 1,
                .PenColor = 1,
                .Layer = 0});
    Tjwcin reader;
    EXPECT_EQ(reader.JwcLoadBytes(one.Bytes()), 0);
    return DrawLayerImages(reader, settings, GroupMask(0), 40, 40, 0, 40, 1.0f);
  };
  EXPECT_EQ(FirstDifference(circle(2.5f), circle(2.0f)), "");
  EXPECT_EQ(FirstDifference(circle(3.5f), circle(4.0f)), "");
  EXPECT_EQ(FirstDifference(circle(6.49f), circle(6.0f)), "");
  EXPECT_NE(FirstDifference(circle(6.51f), circle(6.0f)), "");
}

}  // namespace
}  // namespace pelmora
