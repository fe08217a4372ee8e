#include "render/draw_image.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "drawing/jwcunit.h"
#include "drawing/printf.h"
#include "drawing/summary.h"
#include "platform/fonts/font_rasterizer.h"
#include "platform/fonts/shift_jis.h"
#include "render/jwtools.h"
#include "render/jwtools_text.h"
#include "render/palettes.h"
#include "render/render_pass.h"
#include "render/summary_format.h"
#include "render/vector_walk.h"

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

// One pass over the drawing into its canvases: the whole image, one band of
// it (a canvas whose bitmap holds some of the image's rows), or the 16
// thumbnails an entity is routed among by its layer byte. Every band visits
// every entity and sets every pen, colour and line type the whole render sets,
// so that each stroke starts from the same state; only the painting of
// strokes and dots that cannot reach the band's rows is skipped. The entity
// loops are written once; where the rules differ, a small helper chosen at
// compile time does, so the image pass pays nothing for the thumbnails.
class Renderer {
 public:
  Renderer(const RenderContext& context, const RenderTargets& targets, const RenderBand& band,
           const Mapping& map, int mode, RenderRules rules, const RenderTick& tick)
      : m_reader(*context.reader),
        m_settings(*context.settings),
        m_visible(*context.LayerVisible, *context.GroupVisible),
        m_tick(tick),
        m_routes(targets.routes),
        m_text_rows(band.text_rows),
        m_width(band.image_width),
        m_height(band.image_height),
        m_map(map),
        m_rules(rules),
        m_output(mode != kRenderPreview),
        m_mono(rules != RenderRules::kThumbnail && OutputDepth(*context.settings) == 1),
        m_texts_shown(rules == RenderRules::kThumbnail || context.settings->TextMode),
        m_pixels_per_mm(context.PixelsPerMm),
        m_face_name(FontFaceBytes(context.settings->FontName)) {
    // Reserved whole: canvases are not moved once made.
    m_canvases.reserve(static_cast<std::size_t>(m_routes) + 1);
    for (std::size_t k = 0; k <= m_routes; ++k) {
      assert(targets.bitmaps[k] != nullptr);
      m_canvases.emplace_back(*targets.bitmaps[k], band.first_row);
    }
  }

  // Makes the pass hand its entities to `target` (kVector rules): hidden
  // layers' too with keep_hidden; texts name the file `face` draws them from.
  void SetVectorTarget(VectorTarget& target, const VectorOptions& options, const FaceChoice& face) {
    m_vector = &target;
    m_keep_hidden = options.keep_hidden;
    m_face_file = face.file;
    m_face_index = face.index;
  }

  Colour BackgroundColour() const { return m_mono ? kWhite : m_settings.BackColor; }

  void Run(TextRasterizer* text) {
    // A freshly started program's line state: the pixels never depend on
    // what an earlier render (or the layer dialog's thumbnails) left.
    ResetLinePattern();
    for (Canvas& canvas : m_canvases) {
      canvas.SetTextRasterizer(text);
      if (m_rules != RenderRules::kVector) Background(canvas);
    }
    m_total = static_cast<std::int64_t>(m_reader.JwcLineCount()) + m_reader.JwcArcCount() +
              m_reader.JwcTextCount() + m_reader.JwcDotCount();
    Report(0);
    SetWidth(1);
    for (Canvas& canvas : m_canvases) {
      canvas.SetPenMode(PenMode::kCopy);
      canvas.SetBrushStyle(BrushStyle::kClear);
    }
    SetWidth(1);
    if (m_rules == RenderRules::kImage) {
      Walk<RenderRules::kImage>();
    } else if (m_rules == RenderRules::kVector) {
      Walk<RenderRules::kVector>();
    } else {
      Walk<RenderRules::kThumbnail>();
    }
    Report(0);
    if (m_output && m_settings.WriteDPI) Stamp();
  }

 private:
  template <RenderRules R>
  void Walk() {
    StartLineType<R>();
    for (Canvas& canvas : m_canvases) canvas.SetPenColour(kBlack);
    m_current_colour = kBlack;
    Lines<R>();
    Arcs<R>();
    Texts<R>();
    Dots<R>();
  }

  // Images begin solid; thumbnails keep the program's first state (type 0,
  // which only moves), so a text before any line or arc draws nothing.
  template <RenderRules R>
  void StartLineType() {
    if constexpr (R != RenderRules::kThumbnail) SetLineType(m_canvases.front(), 1);
  }

  Canvas& Route(std::uint8_t layer) { return m_canvases[layer & m_routes]; }

  void Background(Canvas& canvas) {
    const Colour background = BackgroundColour();
    canvas.SetPenColour(background);
    canvas.SetBrushColour(background);
    canvas.SetBrushStyle(BrushStyle::kSolid);
    // A new image is all zero: a background stored as 0 is there already.
    if (canvas.Target().ValueFor(background) == 0) return;
    const int right = m_width == INT_MAX ? INT_MAX : m_width + 1;
    const int bottom = m_height == INT_MAX ? INT_MAX : m_height + 1;
    canvas.Rectangle(0, 0, right, bottom);
  }

  void Report(std::int64_t position) {
    if (m_tick) m_tick(position, m_total);
  }

  // Whether a stroke between image rows y1 and y2 (pen centre) may paint a
  // row of the canvas: its pen reaches at most its width beyond them.
  bool MayReach(const Canvas& canvas, int y1, int y2) const {
    const long long margin = static_cast<long long>(m_pen_width) + 2;
    return static_cast<long long>(std::max(y1, y2)) + margin >= canvas.FirstRow() &&
           static_cast<long long>(std::min(y1, y2)) - margin < canvas.EndRow();
  }
  void Visit(std::int64_t step) {
    ++m_count;
    if (m_count % step == 0) Report(m_count);
  }

  // The pen colour of a line, arc or dot, set only when it differs from the
  // current one (black throughout at 1 bit). True when it changed. Image
  // rules only: the current colour is that of their one canvas.
  bool UpdatePenColour(Canvas& canvas, int pen) {
    const Colour colour = m_mono ? kBlack : PenColourOf(m_settings, pen);
    if (colour == m_current_colour) return false;
    canvas.SetPenColour(colour);
    m_current_colour = colour;
    return true;
  }

  // The thumbnails' placement: the product rounded and held within ±2^30
  // first, the origin applied after, as they were first drawn.
  template <RenderRules R>
  int X(float x) const {
    if constexpr (R == RenderRules::kThumbnail) return Whole(x) - m_map.origin_x;
    return m_map.X(x);
  }
  template <RenderRules R>
  int Y(float y) const {
    if constexpr (R == RenderRules::kThumbnail) return m_map.origin_y - Whole(y);
    return m_map.Y(y);
  }
  int Whole(float value) const { return SaturateToPixel(std::nearbyint(value * m_map.scale)); }

  // Thumbnails draw every arc on a whole number of pixels of radius.
  template <RenderRules R>
  float Radius(float radius) const {
    if constexpr (R == RenderRules::kThumbnail) return static_cast<float>(Whole(radius));
    return static_cast<float>(radius * m_map.scale);
  }

  // A straight stroke, skipped when it cannot reach the canvas's rows: every
  // stroke starts with LineMoveTo (position, pen width and dash phase anew),
  // and the pattern comes from SetLineType alone, so it leaves nothing behind
  // that the next one uses.
  template <RenderRules R>
  void Stroke(Canvas& canvas, float x1, float y1, float x2, float y2) {
    const int row1 = Y<R>(y1), row2 = Y<R>(y2);
    if (!MayReach(canvas, row1, row2)) return;
    LineMoveTo(canvas, X<R>(x1), row1);
    LineDrawTo(canvas, X<R>(x2), row2);
  }

  // Chooses a line's pen; false when the line is not drawn. An image's hidden
  // and skipped lines choose nothing; a thumbnail's every line chooses its type
  // and colour on its image, drawn or not (the dash state is module-wide: what
  // a hidden line leaves is what a later text strokes with).
  template <RenderRules R>
  bool LinePen(Canvas& canvas, const TJwcLine& line) {
    if constexpr (R == RenderRules::kThumbnail) {
      SetLineType(canvas, line.LineType);
      canvas.SetPenColour(PenColourOf(m_settings, line.PenColor));
      return m_visible.Shows(line.Layer);
    }
    if (line.LineType == 9 && !m_settings.No9) return false;
    if (!m_visible.Shows(line.Layer)) {
      if constexpr (R == RenderRules::kVector) {
        return m_keep_hidden && HiddenPen(line.PenColor, LineDashesIfSelected(line.LineType));
      }
      return false;
    }
    if (m_output) SetWidth(PenWidthOf(m_settings, line.PenColor));
    if (line.LineType != m_line_type) {
      SetLineType(canvas, line.LineType);
      m_line_type = line.LineType;
    }
    UpdatePenColour(canvas, line.PenColor);
    if constexpr (R == RenderRules::kVector) return ShownPen();
    return true;
  }

  template <RenderRules R>
  void Lines() {
    TJwcLine line;
    m_line_type = 1;
    const std::int32_t count = m_reader.JwcLineCount();
    for (std::int32_t i = 0; i < count; ++i) {
      Visit(kLineStep);
      m_reader.JwcLineData(i, line);
      Canvas& canvas = Route(line.Layer);
      if (!LinePen<R>(canvas, line)) continue;
      if constexpr (R == RenderRules::kVector) {
        VectorLine(line);
      } else {
        Stroke<R>(canvas, line.X1, line.Y1, line.X2, line.Y2);
      }
    }
  }

  // An arc's pen after its type, which every arc selects, drawn or not.
  template <RenderRules R>
  bool ArcPen(Canvas& canvas, const TJwcArc& arc) {
    if constexpr (R == RenderRules::kThumbnail) {
      canvas.SetPenColour(PenColourOf(m_settings, arc.PenColor));
      return m_visible.Shows(arc.Layer);
    }
    if (arc.LineType == 9 && !m_settings.No9) return false;
    if (!m_visible.Shows(arc.Layer)) {
      if constexpr (R == RenderRules::kVector) {
        return m_keep_hidden && HiddenPen(arc.PenColor, CurrentLineDashes());
      }
      return false;
    }
    if (m_output) SetWidth(PenWidthOf(m_settings, arc.PenColor));
    UpdatePenColour(canvas, arc.PenColor);
    if constexpr (R == RenderRules::kVector) return ShownPen();
    return true;
  }

  template <RenderRules R>
  void Arcs() {
    TJwcArc arc;
    const std::int32_t count = m_reader.JwcArcCount();
    for (std::int32_t i = 0; i < count; ++i) {
      Visit(kArcStep);
      m_reader.JwcArcData(i, arc);
      Canvas& canvas = Route(arc.Layer);
      SetLineType(canvas, arc.LineType);
      if (!ArcPen<R>(canvas, arc)) continue;
      if constexpr (R == RenderRules::kVector) {
        VectorCurve(arc);
        continue;
      }
      // DrawJwcArc itself draws nothing for a curve that cannot reach the band.
      DrawJwcArc(canvas, X<R>(arc.CenterX), Y<R>(arc.CenterY), Radius<R>(arc.Radius), arc.Flatness,
                 arc.StartAngle, arc.EndAngle, arc.Tilt);
    }
  }

  // Reads a text's style when the text is drawn; false when it is not. A
  // thumbnail's text sets its colour on its image even when not drawn.
  template <RenderRules R>
  bool TextStyle(Canvas& canvas, std::int32_t i, const TJwcText& text, TJwcTextStyle& style) {
    if constexpr (R == RenderRules::kThumbnail) {
      m_reader.JwcTextStyle(text.Style, style);
      canvas.SetPenColour(PenColourOf(m_settings, style.PenColor));
      return m_visible.Shows(text.Layer);
    }
    if (!m_visible.Shows(text.Layer) && !(R == RenderRules::kVector && m_keep_hidden)) return false;
    // The rows a text paints were measured before the bands began.
    if (m_text_rows != nullptr && !Meets(canvas, (*m_text_rows)[static_cast<std::size_t>(i)]))
      return false;
    m_reader.JwcTextStyle(text.Style, style);
    return true;
  }

  // Thumbnails stroke a text from its start to its end point in whatever
  // line type the lines and arcs left; images draw its glyphs.
  template <RenderRules R>
  void Text(Canvas& canvas, const TJwcText& text, const TJwcTextStyle& style,
            long double size_scale, JwcTextBatch& batch) {
    if constexpr (R == RenderRules::kThumbnail) {
      Stroke<R>(canvas, text.X1, text.Y1, text.X2, text.Y2);
      return;
    }
    const Colour colour = m_mono ? kBlack : PenColourOf(m_settings, style.PenColor);
    if constexpr (R == RenderRules::kVector) {
      VectorWords(text, style, size_scale, colour);
      return;
    }
    batch.Draw(canvas, text.Text, m_map.FX(text.X1), m_map.FY(text.Y1), m_map.FX(text.X2),
               m_map.FY(text.Y2), static_cast<float>(style.Height * size_scale),
               static_cast<float>(style.Width * size_scale),
               static_cast<float>(style.Spacing * size_scale), colour, text.Flags);
  }

  template <RenderRules R>
  void Texts() {
    for (Canvas& canvas : m_canvases) {
      canvas.SetPenMode(PenMode::kCopy);
      canvas.SetBrushStyle(BrushStyle::kClear);
      canvas.Font().face_name = m_face_name;
    }
    TJwcText text;
    TJwcTextStyle style;
    // Style sizes are millimetres of paper: drawing units per millimetre times
    // image pixels per drawing unit.
    const long double size_scale = static_cast<long double>(m_pixels_per_mm) * m_map.scale;
    const std::int32_t count = m_reader.JwcTextCount();
    // Only texts paint until the loop ends, so texts of one colour may be
    // painted together (huge characters that overlap, once).
    JwcTextBatch batch;
    for (std::int32_t i = 0; i < count; ++i) {
      Visit(kTextStep);
      if (!m_texts_shown) continue;
      m_reader.JwcTextData(i, text);
      // A style beyond the drawing's 11 has no size or colour: not drawn.
      if (text.Style >= kJwcTextStyleCount) continue;
      Canvas& canvas = Route(text.Layer);
      if (!TextStyle<R>(canvas, i, text, style)) continue;
      Text<R>(canvas, text, style, size_scale, batch);
    }
    batch.Flush();
  }

  bool Meets(const Canvas& canvas, const RowRange& rows) const {
    return rows.first < rows.end && rows.end > canvas.FirstRow() && rows.first < canvas.EndRow();
  }

 public:
  // The rows each text would paint (its glyphs' boxes), without painting:
  // empty for a text that is not drawn, every row when `text` cannot tell.
  std::vector<RowRange> MeasureTexts(TextRasterizer& text) {
    Canvas& canvas = m_canvases.front();
    std::vector<RowRange> rows(static_cast<std::size_t>(std::max(m_reader.JwcTextCount(), 0)));
    canvas.Font().face_name = m_face_name;
    TJwcText record;
    TJwcTextStyle style;
    const long double size_scale = static_cast<long double>(m_pixels_per_mm) * m_map.scale;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (!m_settings.TextMode) break;
      m_reader.JwcTextData(static_cast<std::int32_t>(i), record);
      if (!m_visible.Shows(record.Layer) || record.Style >= kJwcTextStyleCount) continue;
      m_reader.JwcTextStyle(record.Style, style);
      InkSink ink(canvas, text);
      LayoutJwcText(record.Text, m_map.FX(record.X1), m_map.FY(record.Y1), m_map.FX(record.X2),
                    m_map.FY(record.Y2), static_cast<float>(style.Height * size_scale),
                    static_cast<float>(style.Width * size_scale),
                    static_cast<float>(style.Spacing * size_scale), record.Flags,
                    canvas.Font().face_name, ink);
      rows[i] = ink.rows;
    }
    // The stamp's lookups, for the substitutions they record.
    if (m_output && m_settings.WriteDPI) {
      SetStampFont(canvas);
      long long top = 0, bottom = 0;
      text.InkRows(canvas, 0, 0, StampText(), &top, &bottom);
    }
    return rows;
  }

 private:
  // Unions the ink rows of a text's characters.
  class InkSink final : public JwcTextSink {
   public:
    InkSink(Canvas& canvas, TextRasterizer& text) : m_canvas(canvas), m_text(text) {}
    void Char(std::string_view bytes, const LogFont& font, Point at) override {
      if (rows.first == kAllRows.first) return;
      m_canvas.SetFont(font);
      long long top = 0, bottom = 0;
      if (!m_text.InkRows(m_canvas, at.x, at.y, bytes, &top, &bottom)) {
        rows = kAllRows;
      } else if (top < bottom) {
        rows = rows.first < rows.end
                   ? RowRange{std::min(rows.first, top), std::max(rows.end, bottom)}
                   : RowRange{top, bottom};
      }
    }
    RowRange rows;

   private:
    Canvas& m_canvas;
    TextRasterizer& m_text;
  };

  // The colour a dot paints in. Images keep the disc's brush with the pen.
  template <RenderRules R>
  Colour DotColour(Canvas& canvas, int pen) {
    if constexpr (R == RenderRules::kThumbnail) return PenColourOf(m_settings, pen);
    if (UpdatePenColour(canvas, pen)) canvas.SetBrushColour(m_current_colour);
    return m_current_colour;
  }

  template <RenderRules R>
  void Dots() {
    SetWidth(1);
    for (Canvas& canvas : m_canvases) {
      // The disc's outline is one pixel whatever width the last stroke left on
      // the canvas (the line routines set the canvas width only when a stroke starts).
      canvas.SetPenWidth(1);
      canvas.SetBrushStyle(BrushStyle::kSolid);
      canvas.SetPenColour(m_current_colour);
      canvas.SetBrushColour(m_current_colour);
    }
    TJwcDot dot;
    const int diameter = m_settings.Dot;
    const std::int32_t count = m_reader.JwcDotCount();
    for (std::int32_t i = 0; i < count; ++i) {
      Visit(kDotStep);
      m_reader.JwcDotData(i, dot);
      const bool shown = m_visible.Shows(dot.Layer);
      if constexpr (R == RenderRules::kVector) {
        if (shown || m_keep_hidden) VectorDot(dot, shown);
        continue;
      }
      if (!shown) continue;
      Canvas& canvas = Route(dot.Layer);
      const Colour colour = DotColour<R>(canvas, dot.PenColor);
      const int x = X<R>(dot.X);
      const int y = Y<R>(dot.Y);
      if (m_output) {
        if (!DiscMayReach(canvas, y, diameter)) continue;
        DrawDotDisc(canvas, x, y, diameter);
      } else {
        canvas.SetPixel(x, y, colour);
      }
    }
  }

  // The vector pen of a shown entity: the state its raster stroke is drawn
  // with. False when that draws nothing (a type that only moves).
  bool ShownPen() { return FillPen(m_current_colour, m_pen_width, CurrentLineDashes()); }
  // A hidden entity's pen (keep_hidden): what it would be drawn with were it
  // shown, without changing the state that the shown entities see.
  bool HiddenPen(int pen, LineDashes look) {
    const Colour colour = m_mono ? kBlack : PenColourOf(m_settings, pen);
    const int width = m_output ? PenWidthOf(m_settings, pen) : 1;
    return FillPen(colour, width <= 0 ? 1 : width, std::move(look));
  }
  bool FillPen(Colour colour, int width, LineDashes look) {
    if (!look.draws) return false;
    m_pen.colour = colour;
    m_pen.width = std::clamp(width, 1, Canvas::kMaxPenWidth);
    m_pen.line_type = look.line_type;
    m_pen.dashes = std::move(look.dashes);
    return true;
  }

  // The centre of the raster's pixel for a drawing point.
  VectorPoint PixelCentre(float x, float y) const { return {m_map.X(x) + 0.5, m_map.Y(y) + 0.5}; }
  // Whether a box of page pixels grown by `margin` meets the page.
  bool OnPage(double left, double top, double right, double bottom, double margin) const {
    return right + margin >= 0 && left - margin <= m_width && bottom + margin >= 0 &&
           top - margin <= m_height;
  }

  void VectorLine(const TJwcLine& line) {
    if (!std::isfinite(line.X1) || !std::isfinite(line.Y1) || !std::isfinite(line.X2) ||
        !std::isfinite(line.Y2)) {
      return;
    }
    const VectorPoint from = PixelCentre(line.X1, line.Y1);
    const VectorPoint to = PixelCentre(line.X2, line.Y2);
    if (!OnPage(std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x),
                std::max(from.y, to.y), m_pen.width + 2.0)) {
      return;
    }
    m_vector->Line(line.Layer, m_pen, from, to, line);
  }

  // The curve DrawJwcArc strokes, normalised as it normalises it.
  void VectorCurve(const TJwcArc& arc) {
    const float radius = Radius<RenderRules::kVector>(arc.Radius);
    if (radius == 0.0f || !std::isfinite(radius) || !std::isfinite(arc.CenterX) ||
        !std::isfinite(arc.CenterY) || !std::isfinite(arc.Flatness) ||
        !std::isfinite(arc.StartAngle) || !std::isfinite(arc.EndAngle) ||
        !std::isfinite(arc.Tilt)) {
      return;
    }
    VectorArc curve;
    curve.centre = PixelCentre(arc.CenterX, arc.CenterY);
    curve.radius = radius;
    curve.flatness = arc.Flatness <= 0.0f ? 1.0 : static_cast<double>(arc.Flatness);
    float a0 = arc.StartAngle;
    float a1 = arc.EndAngle;
    if (a1 == 0.0f) a1 = 360.0f;
    if (a1 < a0) a1 += 360.0f;
    if (a1 == a0) {
      a0 = 0.0f;
      a1 = 360.0f;
    }
    double sweep = static_cast<double>(a1) - a0;
    // Turns beyond the second retrace the curve.
    if (sweep > 720.0) sweep = 360.0 + std::fmod(sweep, 360.0);
    curve.start = std::fmod(static_cast<double>(a0), 360.0);
    curve.end = curve.start + sweep;
    curve.tilt = arc.Tilt;
    const double extent = std::fabs(curve.radius) * std::max(1.0, curve.flatness);
    if (!std::isfinite(extent) ||
        !OnPage(curve.centre.x - extent, curve.centre.y - extent, curve.centre.x + extent,
                curve.centre.y + extent, m_pen.width + 2.0)) {
      return;
    }
    m_vector->Arc(arc.Layer, m_pen, curve, arc);
  }

  VectorText TextOnFace(Colour colour) const {
    VectorText text;
    text.colour = colour;
    text.face_file = m_face_file;
    text.face_index = m_face_index;
    return text;
  }

  void VectorWords(const TJwcText& text, const TJwcTextStyle& style, long double size_scale,
                   Colour colour) {
    if (!std::isfinite(text.X1) || !std::isfinite(text.Y1) || !std::isfinite(text.X2) ||
        !std::isfinite(text.Y2)) {
      return;
    }
    VectorText words = TextOnFace(colour);
    words.chars = LayoutJwcText(
        text.Text, m_map.FX(text.X1), m_map.FY(text.Y1), m_map.FX(text.X2), m_map.FY(text.Y2),
        static_cast<float>(style.Height * size_scale), static_cast<float>(style.Width * size_scale),
        static_cast<float>(style.Spacing * size_scale), text.Flags, m_face_name);
    if (words.chars.empty()) return;
    m_vector->Text(text.Layer, words, text, style);
  }

  // A dot's disc: the middle of the box the raster fills, its width across.
  void VectorDot(const TJwcDot& dot, bool shown) {
    Colour colour = m_mono ? kBlack : PenColourOf(m_settings, dot.PenColor);
    if (shown) {
      UpdatePenColour(m_canvases.front(), dot.PenColor);
      colour = m_current_colour;
    }
    const int diameter = m_settings.Dot;
    if (diameter == 0 || !std::isfinite(dot.X) || !std::isfinite(dot.Y)) return;
    const double half = diameter / 2 - diameter / 2.0;  // the truncation's offset
    const VectorPoint centre{m_map.X(dot.X) - half, m_map.Y(dot.Y) - half};
    const double across = std::fabs(static_cast<double>(diameter));
    if (!OnPage(centre.x, centre.y, centre.x, centre.y, across)) return;
    m_vector->Dot(dot.Layer, colour, centre, static_cast<int>(std::min(across, double{INT_MAX})),
                  dot);
  }

  void Stamp() {
    Canvas& canvas = m_canvases.front();
    canvas.SetFontColour(m_mono ? kBlack : kStampRed);
    SetStampFont(canvas);
    if (m_rules == RenderRules::kVector) {
      VectorText stamp = TextOnFace(m_mono ? kBlack : kStampRed);
      stamp.chars.push_back({StampText(), canvas.Font(), Point{0, 0}});
      m_vector->Stamp(stamp);
      return;
    }
    canvas.SetBrushStyle(BrushStyle::kClear);
    canvas.TextOut(0, 0, StampText());
  }

  void SetStampFont(Canvas& canvas) const {
    LogFont font;
    font.height = kStampFontHeight;
    font.face_name = m_face_name;
    canvas.SetFont(font);
  }
  std::string StampText() const { return std::to_string(m_settings.dpi) + "dpi"; }

  // SetLineWidth, with the width kept for culling (the same rule: 0 or less is 1).
  void SetWidth(int width) {
    SetLineWidth(m_canvases.front(), width);
    m_pen_width = width <= 0 ? 1 : width;
  }

  // A disc in the box of rows y - D/2 .. y - D/2 + D - 1 (its outline inside).
  static bool DiscMayReach(const Canvas& canvas, int y, int diameter) {
    const long long top = static_cast<long long>(y) - diameter / 2;
    return top + diameter + 1 >= canvas.FirstRow() && top - 1 < canvas.EndRow();
  }

  const Tjwcin& m_reader;
  const Settings& m_settings;
  Visibility m_visible;
  const RenderTick& m_tick;
  std::vector<Canvas> m_canvases;  // [0 .. m_routes]
  LayerRoutes m_routes;
  const std::vector<RowRange>* m_text_rows;
  int m_width;
  int m_height;
  int m_pen_width = 1;
  int m_line_type = 1;  // the type the image's lines last selected
  Mapping m_map;
  RenderRules m_rules;
  bool m_output;
  bool m_mono;
  bool m_texts_shown;
  float m_pixels_per_mm;
  std::string m_face_name;
  std::int64_t m_total = 0;
  std::int64_t m_count = 0;
  Colour m_current_colour = kBlack;
  // kVector rules only.
  VectorTarget* m_vector = nullptr;
  bool m_keep_hidden = false;
  VectorPen m_pen;
  std::string m_face_file;
  int m_face_index = 0;
};

}  // namespace

void RenderPass(const RenderContext& context, const RenderTargets& targets, const RenderBand& band,
                float scale, int origin_x, int origin_y, int mode, RenderRules rules,
                TextRasterizer* text, const RenderTick& tick) {
  Renderer renderer(context, targets, band, Mapping{scale, origin_x, origin_y}, mode, rules, tick);
  renderer.Run(text);
}

std::vector<RowRange> MeasureTextRows(const RenderContext& context, int width, int height,
                                      float scale, int origin_x, int origin_y, int mode,
                                      TextRasterizer& text) {
  auto none = Bitmap::Create(0, 0, 24);
  const RenderTick no_tick;
  Renderer renderer(context, RenderTargets(*none), RenderBand{width, height, 0},
                    Mapping{scale, origin_x, origin_y}, mode, RenderRules::kImage, no_tick);
  return renderer.MeasureTexts(text);
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
    RenderPass(context, RenderTargets(*image), RenderBand{width, height, 0}, scale, originX,
               originY, mode, RenderRules::kImage, text, tick);
  } catch (const std::exception& e) {
    return fail(std::string("rendering failed: ") + e.what());
  }
  if (context.delivery) {
    why.clear();
    if (!context.delivery(*image, &why)) return fail(why.empty() ? "delivery failed" : why);
  }
  return 1;
}

namespace {

// Notes the layers a walk hands entities on; draws nothing.
class LayerCollector final : public VectorTarget {
 public:
  void Begin(const VectorPage&) override {}
  void Line(std::uint8_t layer, const VectorPen&, VectorPoint, VectorPoint,
            const TJwcLine&) override {
    drawn[layer] = true;
  }
  void Arc(std::uint8_t layer, const VectorPen&, const VectorArc&, const TJwcArc&) override {
    drawn[layer] = true;
  }
  void Text(std::uint8_t layer, const VectorText&, const TJwcText&, const TJwcTextStyle&) override {
    drawn[layer] = true;
  }
  void Dot(std::uint8_t layer, Colour, VectorPoint, int, const TJwcDot&) override {
    drawn[layer] = true;
  }
  void Stamp(const VectorText&) override {}
  bool Finish(std::string*) override { return true; }

  std::array<bool, 256> drawn{};
};

// "2-3" or "2-3 name": the layer as --info names it.
std::string Labelled(std::string id, const std::string& stored) {
  const std::string name = Cp932ToUtf8Lossy(TrimStoredName(stored));
  return name.empty() ? id : id + " " + name;
}

}  // namespace

int DrawVector(const RenderContext& context, int width, int height, int originX, int originY,
               float scale, VectorTarget& target, const VectorOptions& options) {
  auto fail = [&](std::string reason) {
    if (context.error != nullptr) *context.error = std::move(reason);
    return 0;
  };
  assert(context.reader && context.settings && context.LayerVisible && context.GroupVisible);
  if (!context.reader || !context.settings || !context.LayerVisible || !context.GroupVisible) {
    return fail("nothing to render: no drawing, settings or visibility tables");
  }
  if (width <= 0 || height <= 0) {
    return fail("the region is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; it must be at least 1 x 1 (half a millimetre at least each way)");
  }
  const Settings& settings = *context.settings;
  const Tjwcin& reader = *context.reader;
  try {
    // Glyphs come from the file the raster's rasterizer draws the face from.
    // The shared rasterizer is not the calling thread's to use (batches walk
    // several drawings at once): a private one looks the face up.
    auto* fonts = dynamic_cast<FontRasterizer*>(context.text);
    std::unique_ptr<FontRasterizer> own;
    if (fonts == nullptr) fonts = (own = std::make_unique<FontRasterizer>()).get();
    const FaceChoice face = fonts->FaceFor(FontFaceBytes(settings.FontName));
    auto none = Bitmap::Create(0, 0, 24);
    const Mapping map{scale, originX, originY};
    const RenderBand band{width, height, 0};

    // A first walk finds the layers that hold drawn entities: the page lists
    // them before the first entity arrives.
    LayerCollector collector;
    const RenderTick no_tick;
    Renderer first(context, RenderTargets(*none), band, map, kRenderFile, RenderRules::kVector,
                   no_tick);
    first.SetVectorTarget(collector, options, face);
    first.Run(nullptr);

    VectorPage page;
    page.width = width;
    page.height = height;
    page.dpi = settings.dpi;
    page.background = first.BackgroundColour();
    page.mono = OutputDepth(settings) == 1;
    page.scale = scale;
    page.origin_x = originX;
    page.origin_y = originY;
    page.pixels_per_mm_paper = settings.dpi / 25.4;
    page.drawing_units_per_mm = context.PixelsPerMm;
    const Visibility visible(*context.LayerVisible, *context.GroupVisible);
    std::string stored;
    for (int layer = 0; layer < 256; ++layer) {
      if (!collector.drawn[static_cast<std::size_t>(layer)]) continue;
      VectorLayer entry;
      entry.layer = static_cast<std::uint8_t>(layer);
      entry.shown = visible.Shows(entry.layer);
      reader.JwcGroupeName(layer >> 4, stored);
      entry.group_name = Labelled(Printf("%X", unsigned(layer >> 4)), stored);
      reader.JwcLayerName(layer, stored);
      entry.name = Labelled(LayerId(entry.layer), stored);
      entry.group_scale = reader.JwcGroupeScale(layer >> 4);
      page.layers.push_back(std::move(entry));
    }

    target.Begin(page);
    const RenderTick tick = [&context](std::int64_t position, std::int64_t total) {
      if (context.progress) context.progress(position, total);
    };
    Renderer walk(context, RenderTargets(*none), band, map, kRenderFile, RenderRules::kVector,
                  tick);
    walk.SetVectorTarget(target, options, face);
    walk.Run(nullptr);
  } catch (const std::exception& e) {
    return fail(std::string("rendering failed: ") + e.what());
  }
  std::string why;
  if (!target.Finish(&why)) return fail(why.empty() ? "the vector document failed" : why);
  return 1;
}

}  // namespace pelmora
