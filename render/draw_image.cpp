#include "render/draw_image.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>

#include "drawing/jwcunit.h"
#include "platform/fonts/font_rasterizer.h"
#include "platform/fonts/shift_jis.h"
#include "render/jwtools.h"
#include "render/palettes.h"
#include "render/render_pass.h"

namespace pelmora {

namespace {

constexpr Colour kBlack = Rgb(0, 0, 0);
constexpr Colour kWhite = Rgb(255, 255, 255);
constexpr Colour kStampRed = Rgb(255, 0, 0);

// Progress is reported once per this many entities of each kind visited.
constexpr std::int64_t kLineStep = 1000;
constexpr std::int64_t kArcStep = 500;
constexpr std::int64_t kTextStep = 100;
constexpr std::int64_t kDotStep = 100;

// The resolution stamp: 8 points on the fixed 96 pixels per inch of every
// canvas, -MulDiv(8, 96, 72) = -11 (a character height, hence negative).
constexpr int kStampPoints = 8;
constexpr int kStampFontHeight = -((kStampPoints * Canvas::kPixelsPerInch + 36) / 72);
static_assert(kStampFontHeight == -11);

// Pixel coordinates are held within ±2^30, as SaturateToPixel holds them, so
// that later integer arithmetic on them cannot overflow.
constexpr long long kPixelLimit = 1LL << 30;

// origin + sign × round(product), rounded half to even (llrint under the default
// rounding mode: the same result as nearbyint without saving the FPU state on
// every call), saturated to ±kPixelLimit; NaN gives 0.
int Place(long double product, long long origin, int sign) {
  constexpr long double kExact = 0x1p62L;  // llrint's result and the sum stay in range
  long long pixel;
  if (product > -kExact && product < kExact) {
    pixel = origin + sign * std::llrint(product);
  } else if (std::isnan(product)) {
    return 0;
  } else {
    pixel = (product > 0) == (sign > 0) ? kPixelLimit : -kPixelLimit;
  }
  return static_cast<int>(std::clamp(pixel, -kPixelLimit, kPixelLimit));
}

// One drawing point to one image pixel: round half to even of the product
// formed in extended precision (a float times a float is exact there), then the
// origin. Huge or non-finite values saturate rather than overflow.
struct Mapping {
  long double scale;
  int origin_x;
  int origin_y;

  int X(float x) const { return Place(x * scale, -static_cast<long long>(origin_x), 1); }
  int Y(float y) const { return Place(y * scale, origin_y, -1); }
  // Texts are placed between pixels: single reals, not rounded.
  float FX(float x) const { return static_cast<float>(x * scale - origin_x); }
  float FY(float y) const { return static_cast<float>(origin_y - y * scale); }
};

class Visibility {
 public:
  Visibility(const std::array<std::uint8_t, 256>& layers,
             const std::array<std::uint8_t, 16>& groups)
      : m_layers(layers), m_groups(groups) {}
  // Only an entry of exactly 1 shows; the layer byte's high nibble is the group.
  bool Shows(std::uint8_t layer) const { return m_layers[layer] == 1 && m_groups[layer >> 4] == 1; }

 private:
  const std::array<std::uint8_t, 256>& m_layers;
  const std::array<std::uint8_t, 16>& m_groups;
};

}  // namespace

int OutputDepth(const Settings& settings) {
  switch (settings.ColorMode) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
      return settings.ColorMode;
    default:
      return 24;
  }
}

namespace {

// Filled circle of `diameter` pixels around (x, y): the box (x - h, y - h) to
// (x - h + D, y - h + D), h = D / 2 truncated; 64-bit so a huge Dot cannot wrap.
void DrawDotDisc(Canvas& canvas, int x, int y, int diameter) {
  const long long h = diameter / 2;
  const long long left = static_cast<long long>(x) - h;
  const long long top = static_cast<long long>(y) - h;
  canvas.Ellipse(SaturateToPixel(left), SaturateToPixel(top), SaturateToPixel(left + diameter),
                 SaturateToPixel(top + diameter));
}

// One pass over the drawing into one canvas: the whole image, or one band of
// it (a canvas whose bitmap holds some of the image's rows). Every band visits
// every entity and sets every pen, colour and line type the whole render sets,
// so that each stroke starts from the same state; only the painting of
// strokes and dots that cannot reach the band's rows is skipped.
class Renderer {
 public:
  Renderer(const RenderContext& context, Bitmap& target, const RenderBand& band, const Mapping& map,
           int mode, const RenderTick& tick)
      : m_reader(*context.reader),
        m_settings(*context.settings),
        m_visible(*context.LayerVisible, *context.GroupVisible),
        m_tick(tick),
        m_canvas(target, band.first_row),
        m_width(band.image_width),
        m_height(band.image_height),
        m_map(map),
        m_output(mode != kRenderPreview),
        m_mono(OutputDepth(*context.settings) == 1),
        m_pixels_per_mm(context.PixelsPerMm),
        m_face_name(FontFaceBytes(context.settings->FontName)) {}

  void Run(TextRasterizer& text) {
    // A freshly started program's line state: the pixels never depend on
    // what an earlier render (or the layer dialog's thumbnails) left.
    ResetLinePattern();
    m_canvas.SetTextRasterizer(&text);
    Background();
    m_total = static_cast<std::int64_t>(m_reader.JwcLineCount()) + m_reader.JwcArcCount() +
              m_reader.JwcTextCount() + m_reader.JwcDotCount();
    Report(0);
    SetWidth(1);
    m_canvas.SetPenMode(PenMode::kCopy);
    m_canvas.SetBrushStyle(BrushStyle::kClear);
    SetWidth(1);
    SetLineType(m_canvas, 1);
    m_canvas.SetPenColour(kBlack);
    m_current_colour = kBlack;
    Lines();
    Arcs();
    Texts();
    Dots();
    Report(0);
    if (m_output && m_settings.WriteDPI) Stamp();
  }

 private:
  void Background() {
    const Colour background = m_mono ? kWhite : m_settings.BackColor;
    m_canvas.SetPenColour(background);
    m_canvas.SetBrushColour(background);
    m_canvas.SetBrushStyle(BrushStyle::kSolid);
    // A new image is all zero: a background stored as 0 is there already.
    if (m_canvas.Target().ValueFor(background) == 0) return;
    const int right = m_width == INT_MAX ? INT_MAX : m_width + 1;
    const int bottom = m_height == INT_MAX ? INT_MAX : m_height + 1;
    m_canvas.Rectangle(0, 0, right, bottom);
  }

  void Report(std::int64_t position) {
    if (m_tick) m_tick(position, m_total);
  }

  // Whether a stroke between image rows y1 and y2 (pen centre) may paint a
  // row of this canvas: its pen reaches at most its width beyond them.
  bool MayReach(int y1, int y2) const {
    const long long margin = static_cast<long long>(m_pen_width) + 2;
    return static_cast<long long>(std::max(y1, y2)) + margin >= m_canvas.FirstRow() &&
           static_cast<long long>(std::min(y1, y2)) - margin < m_canvas.EndRow();
  }
  void Visit(std::int64_t step) {
    ++m_count;
    if (m_count % step == 0) Report(m_count);
  }

  // The pen colour of a line, arc or dot, set only when it differs from the
  // current one (black throughout at 1 bit). True when it changed.
  bool UpdatePenColour(int pen) {
    const Colour colour = m_mono ? kBlack : PenColourOf(m_settings, pen);
    if (colour == m_current_colour) return false;
    m_canvas.SetPenColour(colour);
    m_current_colour = colour;
    return true;
  }

  void Lines() {
    TJwcLine line;
    int current_type = 1;
    const std::int32_t count = m_reader.JwcLineCount();
    for (std::int32_t i = 0; i < count; ++i) {
      Visit(kLineStep);
      m_reader.JwcLineData(i, line);
      if ((line.LineType == 9 && !m_settings.No9) || !m_visible.Shows(line.Layer)) continue;
      if (m_output) SetWidth(PenWidthOf(m_settings, line.PenColor));
      if (line.LineType != current_type) {
        SetLineType(m_canvas, line.LineType);
        current_type = line.LineType;
      }
      UpdatePenColour(line.PenColor);
      // A stroke that misses the band leaves nothing behind that the next one
      // uses: every line and arc starts with LineMoveTo (position, pen width
      // and dash phase anew), and the pattern comes from SetLineType alone.
      const int y1 = m_map.Y(line.Y1), y2 = m_map.Y(line.Y2);
      if (!MayReach(y1, y2)) continue;
      LineMoveTo(m_canvas, m_map.X(line.X1), y1);
      LineDrawTo(m_canvas, m_map.X(line.X2), y2);
    }
  }

  void Arcs() {
    TJwcArc arc;
    const std::int32_t count = m_reader.JwcArcCount();
    for (std::int32_t i = 0; i < count; ++i) {
      Visit(kArcStep);
      m_reader.JwcArcData(i, arc);
      // Every arc selects its own type, visible or not.
      SetLineType(m_canvas, arc.LineType);
      if ((arc.LineType == 9 && !m_settings.No9) || !m_visible.Shows(arc.Layer)) continue;
      if (m_output) SetWidth(PenWidthOf(m_settings, arc.PenColor));
      UpdatePenColour(arc.PenColor);
      // DrawJwcArc itself draws nothing for a curve that cannot reach the band.
      const auto radius = static_cast<float>(arc.Radius * m_map.scale);
      DrawJwcArc(m_canvas, m_map.X(arc.CenterX), m_map.Y(arc.CenterY), radius, arc.Flatness,
                 arc.StartAngle, arc.EndAngle, arc.Tilt);
    }
  }

  void Texts() {
    m_canvas.SetPenMode(PenMode::kCopy);
    m_canvas.SetBrushStyle(BrushStyle::kClear);
    m_canvas.Font().face_name = m_face_name;
    TJwcText text;
    TJwcTextStyle style;
    // Style sizes are millimetres of paper: drawing units per millimetre times
    // image pixels per drawing unit.
    const long double size_scale = static_cast<long double>(m_pixels_per_mm) * m_map.scale;
    const std::int32_t count = m_reader.JwcTextCount();
    for (std::int32_t i = 0; i < count; ++i) {
      Visit(kTextStep);
      if (!m_settings.TextMode) continue;
      m_reader.JwcTextData(i, text);
      if (!m_visible.Shows(text.Layer)) continue;
      // A style beyond the drawing's 11 has no size or colour: not drawn.
      if (text.Style >= kJwcTextStyleCount) continue;
      m_reader.JwcTextStyle(text.Style, style);
      const Colour colour = m_mono ? kBlack : PenColourOf(m_settings, style.PenColor);
      DrawJwcText(m_canvas, text.Text, m_map.FX(text.X1), m_map.FY(text.Y1), m_map.FX(text.X2),
                  m_map.FY(text.Y2), static_cast<float>(style.Height * size_scale),
                  static_cast<float>(style.Width * size_scale),
                  static_cast<float>(style.Spacing * size_scale), colour, text.Flags);
    }
  }

  void Dots() {
    SetWidth(1);
    // The disc's outline is one pixel whatever width the last stroke left on
    // the canvas (the line routines set the canvas width only when a stroke starts).
    m_canvas.SetPenWidth(1);
    m_canvas.SetBrushStyle(BrushStyle::kSolid);
    m_canvas.SetPenColour(m_current_colour);
    m_canvas.SetBrushColour(m_current_colour);
    TJwcDot dot;
    const int diameter = m_settings.Dot;
    const std::int32_t count = m_reader.JwcDotCount();
    for (std::int32_t i = 0; i < count; ++i) {
      Visit(kDotStep);
      m_reader.JwcDotData(i, dot);
      if (!m_visible.Shows(dot.Layer)) continue;
      if (UpdatePenColour(dot.PenColor)) m_canvas.SetBrushColour(m_current_colour);
      const int x = m_map.X(dot.X);
      const int y = m_map.Y(dot.Y);
      if (m_output) {
        if (!DiscMayReach(y, diameter)) continue;
        DrawDotDisc(m_canvas, x, y, diameter);
      } else {
        m_canvas.SetPixel(x, y, m_current_colour);
      }
    }
  }

  void Stamp() {
    m_canvas.SetFontColour(m_mono ? kBlack : kStampRed);
    LogFont font;
    font.height = kStampFontHeight;
    font.face_name = m_face_name;
    m_canvas.SetFont(font);
    m_canvas.SetBrushStyle(BrushStyle::kClear);
    m_canvas.TextOut(0, 0, std::to_string(m_settings.dpi) + "dpi");
  }

  // SetLineWidth, with the width kept for culling (the same rule: 0 or less is 1).
  void SetWidth(int width) {
    SetLineWidth(m_canvas, width);
    m_pen_width = width <= 0 ? 1 : width;
  }

  // A disc in the box of rows y - D/2 .. y - D/2 + D - 1 (its outline inside).
  bool DiscMayReach(int y, int diameter) const {
    const long long top = static_cast<long long>(y) - diameter / 2;
    return top + diameter + 1 >= m_canvas.FirstRow() && top - 1 < m_canvas.EndRow();
  }

  const Tjwcin& m_reader;
  const Settings& m_settings;
  Visibility m_visible;
  const RenderTick& m_tick;
  Canvas m_canvas;
  int m_width;
  int m_height;
  int m_pen_width = 1;
  Mapping m_map;
  bool m_output;
  bool m_mono;
  float m_pixels_per_mm;
  std::string m_face_name;
  std::int64_t m_total = 0;
  std::int64_t m_count = 0;
  Colour m_current_colour = kBlack;
};

}  // namespace

void RenderPass(const RenderContext& context, Bitmap& target, const RenderBand& band, float scale,
                int origin_x, int origin_y, int mode, TextRasterizer& text,
                const RenderTick& tick) {
  Renderer renderer(context, target, band, Mapping{scale, origin_x, origin_y}, mode, tick);
  renderer.Run(text);
}

std::string FontFaceBytes(const std::string& font_name) {
  std::string bytes = Utf8ToCp932(font_name).value_or(std::string());
  std::size_t end = 0;
  while (end < bytes.size()) {
    const std::size_t length = IsShiftJisLeadByte(static_cast<std::uint8_t>(bytes[end])) ? 2 : 1;
    if (end + length > kMaxFaceNameBytes) break;
    end += length;
  }
  bytes.resize(std::min(end, bytes.size()));
  return bytes;
}

int DrawImage(const RenderContext& context, int width, int height, int originX, int originY,
              float scale, int mode) {
  auto fail = [&](std::string reason) {
    if (context.error != nullptr) *context.error = std::move(reason);
    return 0;
  };
  if (mode != kRenderPreview && mode != kRenderFile && mode != kRenderClipboard) {
    return fail("unknown render mode " + std::to_string(mode));
  }
  assert(context.reader && context.settings && context.LayerVisible && context.GroupVisible);
  if (!context.reader || !context.settings || !context.LayerVisible || !context.GroupVisible) {
    return fail("nothing to render: no drawing, settings or visibility tables");
  }
  const bool output = mode != kRenderPreview;
  // An output region under half a millimetre rounds to no pixels; refused here,
  // before an image is made or a file or the clipboard is touched.
  if (output && (width <= 0 || height <= 0)) {
    return fail("the region is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; it must be at least 1 x 1 (half a millimetre at least each way)");
  }
  const Settings& settings = *context.settings;
  const int bits = output ? OutputDepth(settings) : 24;
  std::string why;
  std::unique_ptr<Bitmap> image = Bitmap::Create(width, height, bits, &why);
  if (!image)
    return fail("cannot create the " + std::to_string(width) + " x " + std::to_string(height) +
                " image: " + why);
  if (output && bits <= 8) image->SetColourTable(OutputColourTable(settings, bits));

  try {
    TextRasterizer* text = context.text != nullptr ? context.text : &DefaultTextRasterizer();
    const RenderTick tick = [&context](std::int64_t position, std::int64_t total) {
      if (context.progress) context.progress(position, total);
    };
    RenderPass(context, *image, RenderBand{width, height, 0}, scale, originX, originY, mode, *text,
               tick);
  } catch (const std::exception& e) {
    return fail(std::string("rendering failed: ") + e.what());
  }
  if (context.delivery) {
    why.clear();
    if (!context.delivery(*image, &why)) return fail(why.empty() ? "delivery failed" : why);
  }
  return 1;
}

}  // namespace pelmora
