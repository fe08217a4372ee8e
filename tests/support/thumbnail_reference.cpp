#include "tests/support/thumbnail_reference.h"

#include <cmath>
#include <vector>

#include "drawing/jwcunit.h"
#include "platform/raster/canvas.h"
#include "render/jwtools.h"
#include "render/palettes.h"
#include "settings/settings_fields.h"

namespace pelmora {

namespace {

int Scaled(float value, float scale) {
  return SaturateToPixel(std::nearbyint(static_cast<long double>(value) * scale));
}

}  // namespace

std::array<std::unique_ptr<Bitmap>, 16> ReferenceLayerImages(const Tjwcin& reader,
                                                             const Settings& settings,
                                                             const LayerMask& drawn, int width,
                                                             int height, int originX, int originY,
                                                             float scale) {
  // Thumbnails, too, start from a freshly started program's line state.
  ResetLinePattern();
  std::array<std::unique_ptr<Bitmap>, 16> images;
  std::vector<std::unique_ptr<Canvas>> canvases;
  const Colour background = ColourEntry(settings, 0);
  for (auto& image : images) {
    image = Bitmap::Create(width, height, 24);
    if (!image) image = Bitmap::Create(0, 0, 24);
    auto canvas = std::make_unique<Canvas>(*image);
    canvas->SetPenColour(background);
    canvas->SetBrushColour(background);
    canvas->SetBrushStyle(BrushStyle::kSolid);
    canvas->Rectangle(0, 0, width + 1, height + 1);
    canvas->SetPenMode(PenMode::kCopy);
    canvas->SetBrushStyle(BrushStyle::kClear);
    SetLineWidth(*canvas, 1);
    canvases.push_back(std::move(canvas));
  }

  const auto x_of = [&](float x) { return Scaled(x, scale) - originX; };
  const auto y_of = [&](float y) { return originY - Scaled(y, scale); };
  const auto is_drawn = [&drawn](std::uint8_t layer) { return drawn[layer] == 1; };

  TJwcLine line;
  for (std::int32_t i = 0, count = reader.JwcLineCount(); i < count; ++i) {
    reader.JwcLineData(i, line);
    Canvas& canvas = *canvases[line.Layer % 16];
    SetLineType(canvas, line.LineType);
    canvas.SetPenColour(PenColourOf(settings, line.PenColor));
    if (!is_drawn(line.Layer)) continue;
    LineMoveTo(canvas, x_of(line.X1), y_of(line.Y1));
    LineDrawTo(canvas, x_of(line.X2), y_of(line.Y2));
  }

  TJwcArc arc;
  for (std::int32_t i = 0, count = reader.JwcArcCount(); i < count; ++i) {
    reader.JwcArcData(i, arc);
    Canvas& canvas = *canvases[arc.Layer % 16];
    SetLineType(canvas, arc.LineType);
    canvas.SetPenColour(PenColourOf(settings, arc.PenColor));
    if (!is_drawn(arc.Layer)) continue;
    DrawJwcArc(canvas, x_of(arc.CenterX), y_of(arc.CenterY),
               static_cast<float>(Scaled(arc.Radius, scale)), arc.Flatness, arc.StartAngle,
               arc.EndAngle, arc.Tilt);
  }

  TJwcText text;
  TJwcTextStyle style;
  for (std::int32_t i = 0, count = reader.JwcTextCount(); i < count; ++i) {
    reader.JwcTextData(i, text);
    if (text.Style >= kJwcTextStyleCount) continue;  // no style, no colour: not drawn anywhere
    reader.JwcTextStyle(text.Style, style);
    Canvas& canvas = *canvases[text.Layer % 16];
    canvas.SetPenColour(PenColourOf(settings, style.PenColor));
    if (!is_drawn(text.Layer)) continue;
    LineMoveTo(canvas, x_of(text.X1), y_of(text.Y1));
    LineDrawTo(canvas, x_of(text.X2), y_of(text.Y2));
  }

  TJwcDot dot;
  for (std::int32_t i = 0, count = reader.JwcDotCount(); i < count; ++i) {
    reader.JwcDotData(i, dot);
    if (!is_drawn(dot.Layer)) continue;
    canvases[dot.Layer % 16]->SetPixel(x_of(dot.X), y_of(dot.Y),
                                       PenColourOf(settings, dot.PenColor));
  }
  canvases.clear();  // before their images leave
  return images;
}

}  // namespace pelmora
