#include "tests/support/hostile_drawings.h"

#include <cmath>
#include <cstdint>

#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

constexpr float kSheetWidth = 420;   // A3, millimetres
constexpr float kSheetHeight = 297;  //

// A radius, in millimetres of paper, that is `pixels` output pixels at `dpi`.
float RadiusForPixels(double pixels, double dpi) {
  return static_cast<float>(pixels * 25.4 / dpi);
}

// Just under the radius (output pixels) beyond which arcs take fewer chords.
constexpr double kJustUnderExact = 9.99e6;

// `count` circles of radius `radius` mm centred on the sheet: their curves
// never come near the image, though their boxes hold it.
std::vector<std::byte> CirclesAroundTheSheet(int count, float radius, std::uint8_t line_type) {
  JwcWriter writer;
  for (int i = 0; i < count; ++i) {
    writer.AddArc({.CenterX = kSheetWidth / 2 + static_cast<float>(i % 10),
                   .CenterY = kSheetHeight / 2 + static_cast<float>(i / 10),
                   .Radius = radius,
                   .Flatness = 1,
                   .StartAngle = 0,
                   .EndAngle = 360,
                   .LineType = line_type == 0 ? static_cast<std::uint8_t>(1 + i % 8) : line_type,
                   .PenColor = static_cast<std::uint8_t>(1 + i % 6)});
  }
  return writer.Bytes();
}

// `count` circles whose curve crosses the sheet about half a turn after their
// start, solid and dashed by turns.
std::vector<std::byte> CirclesThroughTheSheet(int count, float radius) {
  JwcWriter writer;
  for (int i = 0; i < count; ++i) {
    // The centre left of the sheet, so that the curve's rightmost point, at
    // angle 0, lies on it; the circle starts at 180 degrees, far away.
    const float y = kSheetHeight * static_cast<float>(i + 1) / static_cast<float>(count + 1);
    writer.AddArc({.CenterX = kSheetWidth / 2 - radius + static_cast<float>(i % 7) * 10,
                   .CenterY = y,
                   .Radius = radius,
                   .Flatness = 1,
                   .StartAngle = 180,
                   .EndAngle = 179,
                   .LineType = static_cast<std::uint8_t>(1 + i % 8),
                   .PenColor = static_cast<std::uint8_t>(1 + i % 6)});
  }
  return writer.Bytes();
}

// `count` texts of `characters` full-width characters each, style width and
// spacing 0 (so every character lands on the same spot), `height` mm tall.
std::vector<std::byte> StackedCharacters(int count, int characters, std::int16_t height_tenths) {
  JwcWriter writer;
  writer.TextStyle(1, 1, 0, height_tenths, 0);
  static const char kCharacters[] = "\x88\xa4\x8a\xd4\x8e\xba\x90\x85\x81\xa1\x82\xa0";
  for (int i = 0; i < count; ++i) {
    std::string text;
    for (int c = 0; c < characters; ++c) {
      const int k = (i + c / 20) % 6;
      text += kCharacters[2 * k];
      text += kCharacters[2 * k + 1];
    }
    writer.AddText({.X1 = 20 + static_cast<float>(i % 4) * 90,
                    .Y1 = 20 + static_cast<float>(i / 4) * 60,
                    .X2 = 400,
                    .Y2 = 20 + static_cast<float>(i / 4) * 60,
                    .Text = text,
                    .Style = 1});
  }
  return writer.Bytes();
}

}  // namespace

std::vector<HostileDrawing> HostileDrawings() {
  const float at_36 = RadiusForPixels(kJustUnderExact, 36);
  const float at_300 = RadiusForPixels(kJustUnderExact, 300);
  return {
      {"arcs-huge-solid", CirclesAroundTheSheet(100, at_36, 1)},
      {"arcs-huge-dashed", CirclesAroundTheSheet(100, at_36, 0)},
      {"arcs-huge-through", CirclesThroughTheSheet(100, at_36)},
      {"arcs-huge-300dpi", CirclesAroundTheSheet(100, at_300, 0)},
      {"arcs-huge-through-300dpi", CirclesThroughTheSheet(100, at_300)},
      {"arcs-beyond-exact", CirclesAroundTheSheet(400, at_36 * 100, 0)},
      {"text-huge-stacked", StackedCharacters(10, 120, 1500)},
      {"text-giant-stacked", StackedCharacters(4, 120, 3000)},
  };
}

}  // namespace pelmora
