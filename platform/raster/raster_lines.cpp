// One-pixel lines with exact clipping, and the bodies of wide-pen segments.
#include "platform/raster/raster_shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "platform/raster/raster_geometry.h"

namespace pelmora::raster {

namespace {

// ceil(x) of one polygon edge at successive integer rows: the first pixel
// whose centre lies on or right of the edge. Active for y_top <= y < y_end
// (top row included, bottom row excluded, as GDI fills polygons).
class EdgeStepper {
 public:
  EdgeStepper() = default;
  EdgeStepper(LinePoint p, LinePoint q) {
    if (p.y > q.y) std::swap(p, q);
    m_top = p.y;
    m_end = q.y;
    m_x0 = p.x;
    m_dx = q.x - p.x;
    m_den = q.y - p.y;
    if (m_den > 0) {
      m_step_q = static_cast<long long>(CeilDiv(m_dx, m_den));
      m_step_r = m_step_q * m_den - m_dx;
    }
  }
  bool Active(long long y) const { return y >= m_top && y < m_end; }
  long long Top() const { return m_top; }
  long long End() const { return m_end; }
  // Positions the stepper on row y (y_top <= y < y_end).
  void Seek(long long y) {
    const Wide t = static_cast<Wide>(y - m_top) * m_dx;
    const Wide q = CeilDiv(t, m_den);
    m_q = static_cast<long long>(q);
    m_r = static_cast<long long>(q * m_den - t);
    m_row = y;
  }
  // ceil(x) on row y; rows must be asked for in increasing order.
  long long XAt(long long y) {
    if (y != m_row) {
      if (y == m_row + 1) {
        m_q += m_step_q;
        m_r += m_step_r;
        if (m_r >= m_den) {
          m_r -= m_den;
          --m_q;
        }
        m_row = y;
      } else {
        Seek(y);
      }
    }
    return m_x0 + m_q;
  }

 private:
  long long m_top = 0, m_end = 0, m_x0 = 0, m_dx = 0, m_den = 0;
  long long m_step_q = 0, m_step_r = 0;
  long long m_q = 0, m_r = 0;
  long long m_row = -(1LL << 62);
};

// The body of one wide segment between its tips.
struct SegmentBody {
  enum class Kind { kNone, kRect, kQuad } kind = Kind::kNone;
  long long x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // kRect: x0 <= x < x1, y0 <= y < y1
  EdgeStepper edges[4];                      // kQuad

  long long TopRow() const {
    if (kind == Kind::kRect) return y0;
    long long top = edges[0].Top();
    for (const auto& e : edges) top = std::min(top, e.Top());
    return top;
  }
  long long EndRow() const {
    if (kind == Kind::kRect) return y1;
    long long end = edges[0].End();
    for (const auto& e : edges) end = std::max(end, e.End());
    return end;
  }

  // The body's pixels x0 <= x < x1 on row y; false when it has none there.
  bool RowSpan(long long y, long long& span_x0, long long& span_x1) {
    if (kind == Kind::kRect) {
      span_x0 = x0;
      span_x1 = x1;
      return y >= y0 && y < y1;
    }
    if (kind != Kind::kQuad) return false;
    long long xs[2];
    int n = 0;
    for (auto& e : edges) {
      if (e.Active(y) && n < 2) xs[n++] = e.XAt(y);
    }
    if (n != 2) return false;
    span_x0 = std::min(xs[0], xs[1]);
    span_x1 = std::max(xs[0], xs[1]);
    return true;
  }

  void AddRow(RowUnion& row_union, long long y) {
    long long span_x0, span_x1;
    if (RowSpan(y, span_x0, span_x1)) row_union.Add(span_x0, span_x1);
  }
};

int GdiRound(double v) { return static_cast<int>(std::floor(v + 0.5)); }

}  // namespace

void BodyCorners(LinePoint p1, LinePoint p2, int width, LinePoint v[4]) {
  const long long dx = p2.x - p1.x, dy = p2.y - p1.y;
  const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
  const double width_x = width * static_cast<double>(std::llabs(dy)) / length;
  const double width_y = width * static_cast<double>(std::llabs(dx)) / length;
  long long narrow_x = GdiRound(width_x / 2), narrow_y = GdiRound(width_y / 2);
  long long wide_x = GdiRound((width_x + 1) / 2), wide_y = GdiRound((width_y + 1) / 2);
  if (dx < 0) {
    wide_y = -wide_y;
    narrow_y = -narrow_y;
  }
  if (dy < 0) {
    std::swap(narrow_x, wide_x);
    std::swap(narrow_y, wide_y);
    wide_x = -wide_x;
    narrow_x = -narrow_x;
  }
  v[0] = {p1.x - narrow_x, p1.y + narrow_y};
  v[1] = {p1.x + wide_x, p1.y - wide_y};
  v[2] = {p2.x + wide_x, p2.y - wide_y};
  v[3] = {p2.x - narrow_x, p2.y + narrow_y};
}

namespace {

SegmentBody MakeBody(LinePoint p1, LinePoint p2, int width) {
  SegmentBody body;
  const long long dx = p2.x - p1.x, dy = p2.y - p1.y;
  if (dx == 0 && dy == 0) return body;
  const long long half = width / 2;
  if (dy == 0) {
    body.kind = SegmentBody::Kind::kRect;
    body.x0 = std::min(p1.x, p2.x);
    body.x1 = std::max(p1.x, p2.x);
    body.y0 = p1.y - half;
    body.y1 = body.y0 + width;
    return body;
  }
  if (dx == 0) {
    body.kind = SegmentBody::Kind::kRect;
    body.y0 = std::min(p1.y, p2.y);
    body.y1 = std::max(p1.y, p2.y);
    body.x0 = p1.x - half;
    body.x1 = body.x0 + width;
    return body;
  }
  LinePoint v[4];
  BodyCorners(p1, p2, width, v);
  body.kind = SegmentBody::Kind::kQuad;
  for (int i = 0; i < 4; ++i) body.edges[i] = EdgeStepper(v[i], v[(i + 1) % 4]);
  return body;
}

// The Bresenham walk of a clipped one-pixel line. `count` pixels from (x, row);
// the error term r grows by step_r and wraps at den, moving the minor axis.
template <class W, bool kXMajor>
void ThinWalk(std::uint8_t* row, std::ptrdiff_t row_step, long long x, long long x_step,
              long long count, long long r, long long step_r, long long den, std::uint32_t v) {
  int xi = static_cast<int>(x);
  const int xs = static_cast<int>(x_step);
  for (; count > 0; --count) {
    W::Put(row, xi, v);
    r += step_r;
    if constexpr (kXMajor) {
      xi += xs;
      if (r >= den) {
        r -= den;
        row += row_step;
      }
    } else {
      row += row_step;
      if (r >= den) {
        r -= den;
        xi += xs;
      }
    }
  }
}

template <class W>
void ThinWalkAny(bool x_major, std::uint8_t* row, std::ptrdiff_t row_step, long long x,
                 long long x_step, long long count, long long r, long long step_r, long long den,
                 std::uint32_t v) {
  if (x_major) {
    if (step_r == 0) {  // horizontal: one span
      const long long x_end = x + x_step * (count - 1);
      W::Fill(row, static_cast<int>(std::min(x, x_end)), static_cast<int>(std::max(x, x_end)) + 1, v);
      return;
    }
    ThinWalk<W, true>(row, row_step, x, x_step, count, r, step_r, den, v);
  } else {
    ThinWalk<W, false>(row, row_step, x, x_step, count, r, step_r, den, v);
  }
}

}  // namespace

Painter::Painter(Bitmap& bitmap, Rop rop, std::uint32_t value, const std::uint8_t* hatch)
    : m_bitmap(bitmap),
      m_ops(RowOpsFor(bitmap.BitsPerPixel(), rop)),
      m_value(value),
      m_hatch(hatch),
      m_width(bitmap.Width()),
      m_height(bitmap.Height()) {}

void Painter::SpanInside(int y, int x0, int x1) {
  std::uint8_t* row = m_bitmap.Row(y);
  if (m_hatch == nullptr) {
    m_ops.fill(row, x0, x1, m_value);
    return;
  }
  const unsigned pattern = m_hatch[y & 7];
  for (int x = x0; x < x1; ++x) {
    if ((pattern << (x & 7)) & 0x80u) m_ops.put(row, x, m_value);
  }
}

void RowUnion::Paint(Painter& painter, long long y) {
  // Insertion sort of at most kMaxPieces intervals, then merge and paint.
  for (int i = 1; i < m_count; ++i) {
    const Piece p = m_pieces[i];
    int j = i - 1;
    while (j >= 0 && m_pieces[j].x0 > p.x0) {
      m_pieces[j + 1] = m_pieces[j];
      --j;
    }
    m_pieces[j + 1] = p;
  }
  int i = 0;
  while (i < m_count) {
    long long x0 = m_pieces[i].x0, x1 = m_pieces[i].x1;
    ++i;
    while (i < m_count && m_pieces[i].x0 <= x1) {
      x1 = std::max(x1, m_pieces[i].x1);
      ++i;
    }
    painter.Span(y, x0, x1);
  }
  m_count = 0;
}

namespace {

// A one-pixel line as its walk sees it: `steps` pixels along the major axis
// from (major0, minor0); step i lies at minor offset floor((2·i·span + c) /
// den).
struct ThinLine {
  bool x_major;
  long long steps, major0, minor0, major_step, minor_step, span, den, c;
};

ThinLine DescribeThinLine(LinePoint a, LinePoint b, bool include_end) {
  const long long dx = b.x - a.x, dy = b.y - a.y;
  ThinLine line;
  line.x_major = std::llabs(dx) >= std::llabs(dy);
  const long long n = line.x_major ? std::llabs(dx) : std::llabs(dy);
  line.steps = include_end ? n + 1 : n;
  line.major0 = line.x_major ? a.x : a.y;
  line.minor0 = line.x_major ? a.y : a.x;
  line.major_step = (line.x_major ? dx : dy) >= 0 ? 1 : -1;
  const long long dminor = line.x_major ? dy : dx;
  line.minor_step = dminor >= 0 ? 1 : -1;
  line.span = std::llabs(dminor);
  const long long n1 = std::max<long long>(n, 1);
  line.den = 2 * n1;
  // c rounds exact halves towards the smaller coordinate whichever way the
  // line runs, so that both directions paint the same pixels.
  line.c = line.minor_step > 0 ? n1 - 1 : n1;
  return line;
}

// The visible part of a walk: `count` steps from step `first`, whose minor
// offset is `offset` with remainder `r` of den.
struct VisibleSteps {
  long long first, count, offset, r;
};

// The steps inside a major_size × minor_size bitmap, exactly, for any int
// coordinates (products need 128 bits); false when there are none.
bool ClipThinLine(const ThinLine& line, long long major_size, long long minor_size,
                  VisibleSteps& visible) {
  // Steps whose major coordinate lies inside the bitmap...
  Wide lo = 0, hi = line.steps - 1;
  if (line.major_step > 0) {
    lo = std::max<Wide>(lo, -static_cast<Wide>(line.major0));
    hi = std::min<Wide>(hi, static_cast<Wide>(major_size) - 1 - line.major0);
  } else {
    lo = std::max<Wide>(lo, static_cast<Wide>(line.major0) - (major_size - 1));
    hi = std::min<Wide>(hi, static_cast<Wide>(line.major0));
  }
  if (lo > hi) return false;
  // ... and whose minor offset lies in [off_lo, off_hi].
  Wide off_lo, off_hi;
  if (line.minor_step > 0) {
    off_lo = -static_cast<Wide>(line.minor0);
    off_hi = static_cast<Wide>(minor_size) - 1 - line.minor0;
  } else {
    off_lo = static_cast<Wide>(line.minor0) - (minor_size - 1);
    off_hi = static_cast<Wide>(line.minor0);
  }
  if (off_hi < 0) return false;
  const Wide den = line.den, c = line.c, two_span = 2 * static_cast<Wide>(line.span);
  if (line.span == 0) {
    if (off_lo > 0) return false;
  } else {
    if (off_lo > 0) lo = std::max(lo, CeilDiv(den * off_lo - c, two_span));
    hi = std::min(hi, FloorDiv(den * (off_hi + 1) - c - 1, two_span));
  }
  if (lo > hi) return false;
  const Wide numerator = lo * two_span + c;
  visible = {static_cast<long long>(lo), static_cast<long long>(hi - lo + 1),
             static_cast<long long>(numerator / den), static_cast<long long>(numerator % den)};
  return true;
}

}  // namespace

void DrawThinLine(Bitmap& bitmap, Rop rop, std::uint32_t value, LinePoint a, LinePoint b,
                  bool include_end) {
  const ThinLine line = DescribeThinLine(a, b, include_end);
  if (line.steps == 0) return;
  const long long width = bitmap.Width(), height = bitmap.Height();
  VisibleSteps visible;
  if (a.x >= 0 && a.x < width && a.y >= 0 && a.y < height && b.x >= 0 && b.x < width &&
      b.y >= 0 && b.y < height) {
    // Both ends inside, so is every step: the walk starts at a (c < den).
    visible = {0, line.steps, 0, line.c};
  } else if (!ClipThinLine(line, line.x_major ? width : height, line.x_major ? height : width,
                           visible)) {
    return;
  }
  const long long major = line.major0 + line.major_step * visible.first;
  const long long minor = line.minor0 + line.minor_step * visible.offset;
  const long long x = line.x_major ? major : minor;
  const long long y = line.x_major ? minor : major;
  const auto stride = static_cast<std::ptrdiff_t>(bitmap.Stride());
  const std::ptrdiff_t row_step = (line.x_major ? line.minor_step : line.major_step) * stride;
  const long long x_step = line.x_major ? line.major_step : line.minor_step;
  std::uint8_t* row = bitmap.Row(static_cast<int>(y));
  WithWriter(bitmap.BitsPerPixel(), rop, [&](auto writer) {
    ThinWalkAny<decltype(writer)>(line.x_major, row, row_step, x, x_step, visible.count, visible.r,
                                  2 * line.span, line.den, value);
  });
}

void DrawWideLine(Painter& painter, const PenTip& tip, LinePoint a, LinePoint b) {
  SegmentBody body = MakeBody(a, b, tip.Width());
  long long top = std::min(a.y, b.y) + tip.Top();
  long long end = std::max(a.y, b.y) + tip.Top() + tip.Width();
  if (body.kind != SegmentBody::Kind::kNone) {
    top = std::min(top, body.TopRow());
    end = std::max(end, body.EndRow());
  }
  top = std::max<long long>(top, 0);
  end = std::min(end, painter.Height());
  // Rows away from both tips hold the body alone: one span, no union.
  const long long a_top = a.y + tip.Top(), a_end = a_top + tip.Width();
  const long long b_top = b.y + tip.Top(), b_end = b_top + tip.Width();
  RowUnion row_union;
  for (long long y = top; y < end; ++y) {
    if ((y < a_top || y >= a_end) && (y < b_top || y >= b_end)) {
      long long x0, x1;
      if (body.RowSpan(y, x0, x1)) painter.Span(y, x0, x1);
      continue;
    }
    tip.AddRow(row_union, a.x, a.y, y);
    tip.AddRow(row_union, b.x, b.y, y);
    body.AddRow(row_union, y);
    row_union.Paint(painter, y);
  }
}

void DrawWideFrame(Painter& painter, const PenTip& tip, long long l, long long t, long long r,
                   long long b) {
  const LinePoint corners[4] = {{l, t}, {r, t}, {r, b}, {l, b}};
  SegmentBody bodies[4];
  for (int i = 0; i < 4; ++i) bodies[i] = MakeBody(corners[i], corners[(i + 1) % 4], tip.Width());
  long long top = std::min(t, b) + tip.Top();
  long long end = std::max(t, b) + tip.Top() + tip.Width();
  top = std::max<long long>(top, 0);
  end = std::min(end, painter.Height());
  RowUnion row_union;
  for (long long y = top; y < end; ++y) {
    for (const auto& corner : corners) tip.AddRow(row_union, corner.x, corner.y, y);
    for (auto& body : bodies) body.AddRow(row_union, y);
    row_union.Paint(painter, y);
  }
}

}  // namespace pelmora::raster
