#include "platform/raster/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pelmora {

namespace {

using Wide = __int128;

// floor(a / b) for b > 0.
Wide FloorDiv(Wide a, Wide b) {
  Wide q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return q;
}

}  // namespace

int SaturateToPixel(long double value) {
  constexpr long double kLimit = static_cast<long double>(1 << 30);
  if (std::isnan(value)) return 0;
  if (value >= kLimit) return 1 << 30;
  if (value <= -kLimit) return -(1 << 30);
  return static_cast<int>(std::nearbyint(value));
}

Canvas::Canvas(Bitmap& bitmap) : m_bitmap(bitmap) { MatchColours(); }

void Canvas::MatchColours() {
  m_matched_generation = m_bitmap.TableGeneration();
  m_pen_value = m_bitmap.ValueFor(m_pen_colour);
  m_brush_value = m_bitmap.ValueFor(m_brush_colour);
}

void Canvas::SetPenColour(Colour colour) {
  m_pen_colour = colour & 0xFFFFFF;
  MatchColours();
}

void Canvas::SetPenWidth(int width) { m_pen_width = std::max(width, 1); }

void Canvas::SetPenMode(PenMode mode) { m_pen_mode = mode; }

void Canvas::SetBrushColour(Colour colour) {
  m_brush_colour = colour & 0xFFFFFF;
  MatchColours();
}

void Canvas::SetBrushStyle(BrushStyle style) {
  m_brush_style = style;
  if (style == BrushStyle::kClear) SetBrushColour(Rgb(255, 255, 255));
}

void Canvas::MoveTo(int x, int y) { m_position = {x, y}; }

namespace {

void Plot(Bitmap& bitmap, int x, int y, std::uint32_t value, PenMode mode) {
  if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) return;
  if (mode == PenMode::kXor) value ^= bitmap.ValueAt(x, y);
  bitmap.SetValue(x, y, value);
}

// One-pixel line: along the major axis every position from `a` (painted) to
// `b` (painted only when include_end); on the minor axis the exact position
// rounded with ties to the smaller coordinate, so that both directions paint
// the same pixels.
void ThinLine(Bitmap& bitmap, Point a, Point b, bool include_end, std::uint32_t value,
              PenMode mode) {
  const long long dx = static_cast<long long>(b.x) - a.x;
  const long long dy = static_cast<long long>(b.y) - a.y;
  const bool x_major = std::llabs(dx) >= std::llabs(dy);
  const long long n = x_major ? std::llabs(dx) : std::llabs(dy);
  const long long steps = include_end ? n + 1 : n;
  if (steps == 0) return;
  const int major_size = x_major ? bitmap.Width() : bitmap.Height();
  const int minor_size = x_major ? bitmap.Height() : bitmap.Width();
  const long long major0 = x_major ? a.x : a.y;
  const long long minor0 = x_major ? a.y : a.x;
  const long long major_step = (x_major ? dx : dy) >= 0 ? 1 : -1;
  const long long dminor = x_major ? dy : dx;
  const long long minor_step = dminor >= 0 ? 1 : -1;
  const Wide span = std::llabs(dminor);
  const Wide den = 2 * static_cast<Wide>(std::max<long long>(n, 1));
  // Minor offset at step i: floor((2·i·span + c) / den), ties rounding toward
  // the smaller coordinate whichever way the line runs.
  const Wide c = minor_step > 0 ? std::max<long long>(n, 1) - 1 : std::max<long long>(n, 1);

  // Steps whose major coordinate lies inside the bitmap.
  Wide lo = 0, hi = steps - 1;
  if (major_step > 0) {
    lo = std::max<Wide>(lo, -static_cast<Wide>(major0));
    hi = std::min<Wide>(hi, static_cast<Wide>(major_size) - 1 - major0);
  } else {
    lo = std::max<Wide>(lo, static_cast<Wide>(major0) - (major_size - 1));
    hi = std::min<Wide>(hi, static_cast<Wide>(major0));
  }
  if (lo > hi) return;
  // Steps whose minor coordinate lies inside: the offset range [off_lo, off_hi].
  Wide off_lo, off_hi;
  if (minor_step > 0) {
    off_lo = -static_cast<Wide>(minor0);
    off_hi = static_cast<Wide>(minor_size) - 1 - minor0;
  } else {
    off_lo = static_cast<Wide>(minor0) - (minor_size - 1);
    off_hi = static_cast<Wide>(minor0);
  }
  if (off_hi < 0) return;
  if (span == 0) {
    if (off_lo > 0) return;
  } else {
    // First i with offset ≥ off_lo, last i with offset ≤ off_hi.
    if (off_lo > 0) lo = std::max(lo, FloorDiv(den * off_lo - c + 2 * span - 1, 2 * span));
    hi = std::min(hi, FloorDiv(den * (off_hi + 1) - c - 1, 2 * span));
  }
  if (lo > hi) return;

  Wide numerator = 2 * lo * span + c;
  long long offset = static_cast<long long>(numerator / den);
  long long remainder = static_cast<long long>(numerator % den);
  const long long step_r = static_cast<long long>(2 * span);
  const long long den_ll = static_cast<long long>(den);
  long long major = major0 + major_step * static_cast<long long>(lo);
  for (Wide i = lo; i <= hi; ++i) {
    const long long minor = minor0 + minor_step * offset;
    if (x_major) {
      Plot(bitmap, static_cast<int>(major), static_cast<int>(minor), value, mode);
    } else {
      Plot(bitmap, static_cast<int>(minor), static_cast<int>(major), value, mode);
    }
    major += major_step;
    remainder += step_r;
    if (remainder >= den_ll) {
      remainder -= den_ll;
      ++offset;
    }
  }
}

// Filled disc of `width` pixels centred on (cx, cy), as a wide pen's dot.
void Dot(Bitmap& bitmap, long long cx, long long cy, int width, std::uint32_t value, PenMode mode) {
  const int lo = -(width / 2);
  const int hi = lo + width - 1;
  const long double r = width / 2.0L;
  for (int dy = lo; dy <= hi; ++dy) {
    for (int dx = lo; dx <= hi; ++dx) {
      const long double fx = dx + 0.5L - (width % 2 ? 0.5L : 0.0L);
      const long double fy = dy + 0.5L - (width % 2 ? 0.5L : 0.0L);
      if (fx * fx + fy * fy > r * r) continue;
      const long long x = cx + dx, y = cy + dy;
      if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) continue;
      Plot(bitmap, static_cast<int>(x), static_cast<int>(y), value, mode);
    }
  }
}

}  // namespace

void Canvas::LineTo(int x, int y) {
  EnsureMatched();
  const Point from = m_position;
  const Point to{x, y};
  m_position = to;
  if (m_pen_width <= 1) {
    ThinLine(m_bitmap, from, to, false, m_pen_value, m_pen_mode);
    return;
  }
  // Interim wide pen: a dot at every pixel of the centre line.
  const long long dx = static_cast<long long>(to.x) - from.x;
  const long long dy = static_cast<long long>(to.y) - from.y;
  const long long n = std::max(std::llabs(dx), std::llabs(dy));
  const int w = m_pen_width;
  // Skip lines entirely outside the bitmap grown by the pen.
  if (std::max(from.x, to.x) < -w || std::min(from.x, to.x) > m_bitmap.Width() + w ||
      std::max(from.y, to.y) < -w || std::min(from.y, to.y) > m_bitmap.Height() + w || n > 100000) {
    return;
  }
  for (long long i = 0; i <= n; ++i) {
    const long long px = from.x + (n == 0 ? 0 : (dx * i) / n);
    const long long py = from.y + (n == 0 ? 0 : (dy * i) / n);
    Dot(m_bitmap, px, py, w, m_pen_value, m_pen_mode);
  }
}

void Canvas::Rectangle(int left, int top, int right, int bottom) {
  EnsureMatched();
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (right - left < 2 || bottom - top < 2) return;
  const int l = std::max(left, 0), t = std::max(top, 0);
  const int r = std::min(right, m_bitmap.Width()), b = std::min(bottom, m_bitmap.Height());
  for (int y = t; y < b; ++y) {
    for (int x = l; x < r; ++x) {
      const bool edge = x == left || x == right - 1 || y == top || y == bottom - 1;
      if (edge) {
        Plot(m_bitmap, x, y, m_pen_value, m_pen_mode);
      } else if (m_brush_style == BrushStyle::kSolid ||
                 (m_brush_style == BrushStyle::kDiagCross &&
                  ((x & 7) == (y & 7) || (x & 7) == 7 - (y & 7)))) {
        Plot(m_bitmap, x, y, m_brush_value, m_pen_mode);
      }
    }
  }
}

void Canvas::Ellipse(int left, int top, int right, int bottom) {
  EnsureMatched();
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (right - left < 2 || bottom - top < 2) return;
  const long double cx = (static_cast<long double>(left) + right - 1) / 2;
  const long double cy = (static_cast<long double>(top) + bottom - 1) / 2;
  const long double rx = (static_cast<long double>(right) - left) / 2;
  const long double ry = (static_cast<long double>(bottom) - top) / 2;
  const int l = std::max(left, 0), t = std::max(top, 0);
  const int r = std::min(right, m_bitmap.Width()), b = std::min(bottom, m_bitmap.Height());
  auto inside = [&](long double x, long double y) {
    const long double u = (x - cx) / rx, v = (y - cy) / ry;
    return u * u + v * v <= 1;
  };
  for (int y = t; y < b; ++y) {
    for (int x = l; x < r; ++x) {
      if (!inside(x, y)) continue;
      const bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
      if (edge) {
        Plot(m_bitmap, x, y, m_pen_value, m_pen_mode);
      } else if (m_brush_style == BrushStyle::kSolid ||
                 (m_brush_style == BrushStyle::kDiagCross &&
                  ((x & 7) == (y & 7) || (x & 7) == 7 - (y & 7)))) {
        Plot(m_bitmap, x, y, m_brush_value, m_pen_mode);
      }
    }
  }
}

void Canvas::SetPixel(int x, int y, Colour colour) {
  if (x < 0 || y < 0 || x >= m_bitmap.Width() || y >= m_bitmap.Height()) return;
  m_bitmap.SetValue(x, y, m_bitmap.ValueFor(colour));
}

void Canvas::TextOut(int x, int y, std::string_view bytes) {
  if (m_text != nullptr) m_text->TextOut(*this, x, y, bytes);
}

void Canvas::FillMask(int left, int top, int width, int height, const std::uint8_t* bits, int pitch,
                      Colour colour) {
  if (bits == nullptr || width <= 0 || height <= 0) return;
  const std::uint32_t value = m_bitmap.ValueFor(colour);
  const long long x0 = std::max<long long>(0, -static_cast<long long>(left));
  const long long y0 = std::max<long long>(0, -static_cast<long long>(top));
  const long long x1 = std::min<long long>(width, static_cast<long long>(m_bitmap.Width()) - left);
  const long long y1 = std::min<long long>(height, static_cast<long long>(m_bitmap.Height()) - top);
  for (long long my = y0; my < y1; ++my) {
    const std::uint8_t* row = bits + my * static_cast<long long>(pitch);
    for (long long mx = x0; mx < x1; ++mx) {
      if (row[mx >> 3] & (0x80 >> (mx & 7))) {
        m_bitmap.SetValue(static_cast<int>(left + mx), static_cast<int>(top + my), value);
      }
    }
  }
}

}  // namespace pelmora
