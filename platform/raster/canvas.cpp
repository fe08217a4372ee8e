#include "platform/raster/canvas.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/raster/raster_shapes.h"

namespace pelmora {

namespace {

using raster::LinePoint;
using raster::Painter;
using raster::Rop;

// HS_DIAGCROSS, rows top to bottom, bit 7 leftmost, anchored at the bitmap's
// pixel (0, 0).
constexpr std::uint8_t kDiagCross[8] = {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};

Rop RopOf(PenMode mode) { return mode == PenMode::kXor ? Rop::kXor : Rop::kCopy; }

}  // namespace

int SaturateToPixel(long double value) {
  constexpr long double kLimit = static_cast<long double>(1 << 30);
  if (std::isnan(value)) return 0;
  if (value >= kLimit) return 1 << 30;
  if (value <= -kLimit) return -(1 << 30);
  return static_cast<int>(std::nearbyint(value));
}

Canvas::Canvas(Bitmap& bitmap) : m_bitmap(bitmap) { MatchColours(); }

Canvas::Canvas(Bitmap& bitmap, int first_row) : m_bitmap(bitmap), m_first_row(first_row) {
  MatchColours();
}

raster::LinePoint Canvas::Local(Point p) const {
  return {p.x, static_cast<long long>(p.y) - m_first_row};
}

const std::uint8_t* Canvas::Hatch(std::uint8_t (&rows)[8]) const {
  if (m_brush_style != BrushStyle::kDiagCross) return nullptr;
  // The pattern stays anchored at the image's row 0, whichever band this is.
  for (int i = 0; i < 8; ++i) rows[i] = kDiagCross[(i + m_first_row) & 7];
  return rows;
}

std::uint32_t Canvas::MatchForDrawing(Colour colour) const {
  if (m_bitmap.BitsPerPixel() != 1) return m_bitmap.ValueFor(colour);
  // GDI's rule for pens and brushes on 1-bit bitmaps: a table colour is
  // itself, the background colour is its nearest entry, and any other colour
  // is the entry the background does not take, so that it always shows.
  const auto& table = m_bitmap.ColourTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i] == colour) return static_cast<std::uint32_t>(i);
  }
  const std::uint32_t background = m_bitmap.ValueFor(m_background);
  if (colour == m_background || table.size() < 2) return background;
  return background == 0 ? 1 : 0;
}

void Canvas::MatchColours() {
  m_matched_generation = m_bitmap.TableGeneration();
  m_pen_value = MatchForDrawing(m_pen_colour);
  m_brush_value = MatchForDrawing(m_brush_colour);
}

void Canvas::SetPenColour(Colour colour) {
  m_pen_colour = colour & 0xFFFFFF;
  MatchColours();
}

void Canvas::SetPenWidth(int width) { m_pen_width = std::clamp(width, 1, kMaxPenWidth); }

void Canvas::SetPenMode(PenMode mode) { m_pen_mode = mode; }

void Canvas::SetBrushColour(Colour colour) {
  m_brush_colour = colour & 0xFFFFFF;
  MatchColours();
}

void Canvas::SetBrushStyle(BrushStyle style) {
  m_brush_style = style;
  if (style == BrushStyle::kClear) SetBrushColour(Rgb(255, 255, 255));
}

void Canvas::SetBackgroundColour(Colour colour) {
  m_background = colour & 0xFFFFFF;
  MatchColours();
}

void Canvas::EnsurePenTip() {
  if (m_tip_width == m_pen_width) return;
  raster::ComputePenTip(m_pen_width, m_tip_left, m_tip_right);
  m_tip_width = m_pen_width;
}

void Canvas::MoveTo(int x, int y) { m_position = {x, y}; }

void Canvas::LineTo(int x, int y) {
  EnsureMatched();
  const Point from = m_position;
  m_position = {x, y};
  if (m_pen_width <= 1) {
    raster::DrawThinLine(m_bitmap, RopOf(m_pen_mode), m_pen_value, Local(from),
                         Local(m_position), false);
    return;
  }
  EnsurePenTip();
  Painter pen(m_bitmap, RopOf(m_pen_mode), m_pen_value);
  raster::DrawWideLine(pen, raster::PenTip(m_tip_width, m_tip_left.data(), m_tip_right.data()),
                       Local(from), Local(m_position));
}

void Canvas::LineThereAndBack(int x, int y) {
  const Point from = m_position;
  if (m_pen_mode == PenMode::kCopy) {
    EnsureMatched();
    m_position = {x, y};
    if (m_pen_width <= 1) {
      // A thin line paints the same pixels in both directions but for the
      // excluded end, so the pair is the forward line with its end included;
      // a point to itself is two empty strokes.
      if (from == m_position) return;
      raster::DrawThinLine(m_bitmap, Rop::kCopy, m_pen_value, Local(from),
                           Local(m_position), true);
      return;
    }
    // Wide strokes include both round caps and are symmetric: one pass paints
    // what the pair paints.
    EnsurePenTip();
    Painter pen(m_bitmap, Rop::kCopy, m_pen_value);
    raster::DrawWideLine(pen, raster::PenTip(m_tip_width, m_tip_left.data(), m_tip_right.data()),
                         Local(from), Local(m_position));
    return;
  }
  // Under exclusive-or every pass counts.
  LineTo(x, y);
  LineTo(from.x, from.y);
  MoveTo(x, y);
}

void Canvas::Rectangle(int left, int top, int right, int bottom) {
  long long l = left, t = top, r = right, b = bottom;
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  if (l == r || t == b) return;
  t -= m_first_row;
  b -= m_first_row;
  EnsureMatched();
  const Rop rop = RopOf(m_pen_mode);
  std::uint8_t hatch[8];
  const long long top_row = std::max<long long>(t, 0);
  const long long end_row = std::min<long long>(b, m_bitmap.Height());
  if (m_brush_style != BrushStyle::kClear) {
    Painter brush(m_bitmap, rop, m_brush_value, Hatch(hatch));
    // Inside the outline only: a wide pen's half-widths are kept clear, so
    // that no pixel is painted by both (it matters under exclusive-or).
    const long long inner = (m_pen_width + 1) / 2, outer = m_pen_width / 2;
    for (long long y = std::max(top_row, t + inner); y < std::min(end_row, b - 1 - outer); ++y) {
      brush.Span(y, l + inner, r - 1 - outer);
    }
  }
  Painter pen(m_bitmap, rop, m_pen_value);
  if (m_pen_width > 1) {
    EnsurePenTip();
    raster::DrawWideFrame(pen, raster::PenTip(m_tip_width, m_tip_left.data(), m_tip_right.data()),
                          l, t, r - 1, b - 1);
    return;
  }
  ThinFrame(l, t, r - 1, b - 1);
}

void Canvas::ThinFrame(long long l, long long t, long long r, long long b) {
  // GDI strokes the outline as a closed path of four one-pixel lines, each
  // without its end pixel: a frame one pixel high or wide is painted there
  // and back (under an exclusive-or pen only its two ends change).
  const LinePoint corners[4] = {{l, t}, {r, t}, {r, b}, {l, b}};
  for (int i = 0; i < 4; ++i) {
    raster::DrawThinLine(m_bitmap, RopOf(m_pen_mode), m_pen_value, corners[i], corners[(i + 1) % 4],
                         false);
  }
}

namespace {

// Paints the rows of an ellipse: the brush inside the outline (under an
// exclusive-or pen it covers the outline too, as GDI's does), then the pen.
// Exclusive-or is the only mode in which the order and overlaps show.
class EllipsePainter final : public raster::EllipseRowSink {
 public:
  EllipsePainter(Painter& pen, Painter* brush, bool exclusive_or, long long left, long long top,
                 long long width, long long height)
      : m_pen(pen),
        m_brush(brush),
        m_xor(exclusive_or),
        m_left(left),
        m_top(top),
        m_width(width),
        m_middle_row(height % 2 == 1 ? height / 2 : -1) {}

  void Row(long long dy, long long left, long long run) override {
    const long long y = m_top + dy;
    const long long x0 = m_left + left;
    const long long x1 = m_left + (m_width - 1 - left) + 1;  // exclusive
    const long long inner0 = x0 + run, inner1 = x1 - run;
    if (m_brush != nullptr) {
      if (m_xor) {
        m_brush->Span(y, x0, x1);
      } else if (inner0 < inner1) {
        m_brush->Span(y, inner0, inner1);
      }
    }
    if (inner0 >= inner1) {
      m_pen.Span(y, x0, x1);
    } else if (dy == m_middle_row && m_xor) {
      // GDI's outline is one closed path through the pixels, which runs out
      // along the middle row of an odd-height ellipse and back again: under
      // exclusive-or only the outermost pixel of each run changes.
      m_pen.Pixel(x0, y);
      m_pen.Pixel(x1 - 1, y);
    } else {
      m_pen.Span(y, x0, inner0);
      m_pen.Span(y, inner1, x1);
    }
  }

 private:
  Painter& m_pen;
  Painter* m_brush;
  bool m_xor;
  long long m_left, m_top, m_width;
  long long m_middle_row;
};

}  // namespace

void Canvas::Ellipse(int left, int top, int right, int bottom) {
  long long l = left, t = top, r = right, b = bottom;
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const long long w = r - l, h = b - t;
  if (w == 0 || h == 0) return;
  t -= m_first_row;
  b -= m_first_row;
  EnsureMatched();
  const Rop rop = RopOf(m_pen_mode);
  Painter pen(m_bitmap, rop, m_pen_value);
  if (w < 3 || h < 3) {
    // Too thin for a curve: GDI strokes the box's outline and fills nothing.
    if (m_pen_width > 1) {
      EnsurePenTip();
      raster::DrawWideFrame(pen, raster::PenTip(m_tip_width, m_tip_left.data(), m_tip_right.data()),
                            l, t, r - 1, b - 1);
    } else {
      ThinFrame(l, t, r - 1, b - 1);
    }
    return;
  }
  std::uint8_t hatch[8];
  Painter brush(m_bitmap, rop, m_brush_value, Hatch(hatch));
  if (m_pen_width > 1) {
    EnsurePenTip();
    raster::DrawWideEllipse(pen, m_brush_style == BrushStyle::kClear ? nullptr : &brush,
                            raster::PenTip(m_tip_width, m_tip_left.data(), m_tip_right.data()), l,
                            t, w, h, m_scratch);
    return;
  }
  EllipsePainter rows(pen, m_brush_style == BrushStyle::kClear ? nullptr : &brush,
                      rop == Rop::kXor, l, t, w, h);
  raster::EllipseRows(w, h, -t, static_cast<long long>(m_bitmap.Height()) - t, rows);
}

void Canvas::SetPixel(int x, int y, Colour colour) {
  // Plain nearest colour (no 1-bit background rule), combined in the pen's
  // mode as GDI does.
  Painter painter(m_bitmap, RopOf(m_pen_mode), m_bitmap.ValueFor(colour & 0xFFFFFF));
  painter.Pixel(x, static_cast<long long>(y) - m_first_row);
}

void Canvas::TextOut(int x, int y, std::string_view bytes) {
  if (m_text != nullptr) m_text->TextOut(*this, x, y, bytes);
}

void Canvas::TextOutPieces(std::span<const TextPiece> pieces) {
  if (pieces.empty()) return;
  if (m_text != nullptr) m_text->TextOutPieces(*this, pieces);
  m_font = *pieces.back().font;
}

void TextRasterizer::TextOutPieces(Canvas& canvas, std::span<const TextPiece> pieces) {
  const LogFont font = canvas.Font();
  for (const TextPiece& piece : pieces) {
    canvas.SetFont(*piece.font);
    TextOut(canvas, piece.at.x, piece.at.y, piece.bytes);
  }
  canvas.SetFont(font);
}

void Canvas::FillSpans(std::span<const PixelSpan> spans, Colour colour) {
  if (spans.empty()) return;
  Painter painter(m_bitmap, Rop::kCopy, MatchForDrawing(colour & 0xFFFFFF));
  for (const PixelSpan& span : spans) painter.Span(span.y - m_first_row, span.x0, span.x1);
}

void Canvas::FillMask(int left, int top, int width, int height, const std::uint8_t* bits, int pitch,
                      Colour colour) {
  if (bits == nullptr || width <= 0 || height <= 0) return;
  // A pitch too small for the width would read into the next row or beyond.
  if (pitch < (width + 7) / 8) return;
  // Text takes the pens' colour rule (on 1-bit bitmaps the background decides).
  Painter painter(m_bitmap, Rop::kCopy, MatchForDrawing(colour & 0xFFFFFF));
  const long long local_top = static_cast<long long>(top) - m_first_row;
  const long long first = std::max<long long>(0, -local_top);
  const long long end =
      std::min<long long>(height, static_cast<long long>(m_bitmap.Height()) - local_top);
  for (long long my = first; my < end; ++my) {
    const std::uint8_t* row = bits + my * static_cast<long long>(pitch);
    const long long y = local_top + my;
    // Runs of set bits, whole clear and whole set bytes passed in one step
    // (large glyphs are mostly such bytes).
    const auto set = [row](int x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; };
    int mx = 0;
    while (mx < width) {
      while (mx < width) {
        if ((mx & 7) == 0 && row[mx >> 3] == 0x00) {
          mx += 8;
        } else if (set(mx)) {
          break;
        } else {
          ++mx;
        }
      }
      if (mx >= width) break;
      const int run_start = mx;
      while (mx < width) {
        if ((mx & 7) == 0 && mx <= width - 8 && row[mx >> 3] == 0xFF) {
          mx += 8;
        } else if (!set(mx)) {
          break;
        } else {
          ++mx;
        }
      }
      painter.Span(y, static_cast<long long>(left) + run_start, static_cast<long long>(left) + mx);
    }
  }
}

}  // namespace pelmora
