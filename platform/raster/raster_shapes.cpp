#include "platform/raster/raster_shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace pelmora::raster {

namespace {

using Wide = __int128;

Wide FloorDiv(Wide a, Wide b) {  // b > 0
  Wide q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

Wide CeilDiv(Wide a, Wide b) { return -FloorDiv(-a, b); }  // b > 0

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

// GDI's body of a wide segment: a rectangle for horizontal and vertical
// segments, otherwise the parallelogram whose sides are the segment moved by
// the rounded halves of the pen's width across it (the wider half towards the
// segment's left, seen from p1 with y down).
// The parallelogram of a slanted segment (dx, dy both non-zero).
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

class TipRows final : public EllipseRowSink {
 public:
  TipRows(std::vector<int>& left, std::vector<int>& right, int width)
      : m_left(left), m_right(right), m_width(width) {}
  void Row(long long dy, long long left, long long) override {
    const int top = -(m_width / 2);
    m_left[static_cast<std::size_t>(dy)] = static_cast<int>(left) + top;
    m_right[static_cast<std::size_t>(dy)] = static_cast<int>(m_width - 1 - left) + top;
  }

 private:
  std::vector<int>& m_left;
  std::vector<int>& m_right;
  int m_width;
};

}  // namespace

void ComputePenTip(int width, std::vector<int>& left, std::vector<int>& right) {
  // Rows an ellipse leaves out stay empty (left > right).
  left.assign(static_cast<std::size_t>(width), 1);
  right.assign(static_cast<std::size_t>(width), 0);
  TipRows rows(left, right, width);
  EllipseRows(width, width, 0, width, rows);
}

void DrawThinLine(Bitmap& bitmap, Rop rop, std::uint32_t value, LinePoint a, LinePoint b,
                  bool include_end) {
  const long long dx = b.x - a.x, dy = b.y - a.y;
  const bool x_major = std::llabs(dx) >= std::llabs(dy);
  const long long n = x_major ? std::llabs(dx) : std::llabs(dy);
  const long long steps = include_end ? n + 1 : n;
  if (steps == 0) return;
  const long long major_size = x_major ? bitmap.Width() : bitmap.Height();
  const long long minor_size = x_major ? bitmap.Height() : bitmap.Width();
  const long long major0 = x_major ? a.x : a.y;
  const long long minor0 = x_major ? a.y : a.x;
  const long long major_step = (x_major ? dx : dy) >= 0 ? 1 : -1;
  const long long dminor = x_major ? dy : dx;
  const long long minor_step = dminor >= 0 ? 1 : -1;
  const long long span = std::llabs(dminor);
  const long long n1 = std::max<long long>(n, 1);
  const long long den = 2 * n1;
  // Minor offset of step i: floor((2·i·span + c) / den). c rounds exact
  // halves towards the smaller coordinate whichever way the line runs, so that
  // both directions paint the same pixels.
  const long long c = minor_step > 0 ? n1 - 1 : n1;

  // Steps whose major coordinate lies inside the bitmap...
  Wide lo = 0, hi = steps - 1;
  if (major_step > 0) {
    lo = std::max<Wide>(lo, -static_cast<Wide>(major0));
    hi = std::min<Wide>(hi, static_cast<Wide>(major_size) - 1 - major0);
  } else {
    lo = std::max<Wide>(lo, static_cast<Wide>(major0) - (major_size - 1));
    hi = std::min<Wide>(hi, static_cast<Wide>(major0));
  }
  if (lo > hi) return;
  // ... and whose minor offset lies in [off_lo, off_hi].
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
    if (off_lo > 0) lo = std::max(lo, CeilDiv(static_cast<Wide>(den) * off_lo - c, 2 * static_cast<Wide>(span)));
    hi = std::min(hi, FloorDiv(static_cast<Wide>(den) * (off_hi + 1) - c - 1, 2 * static_cast<Wide>(span)));
  }
  if (lo > hi) return;

  const Wide numerator = 2 * lo * span + c;
  const long long offset = static_cast<long long>(numerator / den);
  const long long r = static_cast<long long>(numerator % den);
  const long long major = major0 + major_step * static_cast<long long>(lo);
  const long long minor = minor0 + minor_step * offset;
  const long long count = static_cast<long long>(hi - lo + 1);
  const long long x = x_major ? major : minor;
  const long long y = x_major ? minor : major;
  const auto stride = static_cast<std::ptrdiff_t>(bitmap.Stride());
  const std::ptrdiff_t row_step = (x_major ? minor_step : major_step) * stride;
  const long long x_step = x_major ? major_step : minor_step;
  std::uint8_t* row = bitmap.Row(static_cast<int>(y));
  const bool xor_mode = rop == Rop::kXor;
  switch (bitmap.BitsPerPixel()) {
#define PELMORA_WALK(bits)                                                                        \
  case bits:                                                                                      \
    if (xor_mode) {                                                                               \
      ThinWalkAny<Writer<bits, Rop::kXor>>(x_major, row, row_step, x, x_step, count, r, 2 * span, \
                                           den, value);                                          \
    } else {                                                                                      \
      ThinWalkAny<Writer<bits, Rop::kCopy>>(x_major, row, row_step, x, x_step, count, r,         \
                                            2 * span, den, value);                               \
    }                                                                                             \
    break;
    PELMORA_WALK(1)
    PELMORA_WALK(4)
    PELMORA_WALK(8)
    PELMORA_WALK(16)
    PELMORA_WALK(24)
#undef PELMORA_WALK
  }
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

namespace {

// The walk below takes one step per outline pixel from the middle rows out to
// the farthest row wanted. Past this many steps (about a tenth of a second) an
// ellipse is not drawn: only a box thousands of sheets across, seen near its
// top or bottom, needs more, and nothing the program draws comes near it
// (dots and pens are a hundred pixels at most).
constexpr long long kWalkBudget = 1LL << 25;

// An upper bound of the walk's steps to reach the rows first_row..end_row - 1
// (0 <= first_row < end_row <= h): the rows away from the middle plus the
// columns the outline has moved in by then, taken from the real curve with a
// pixel to spare.
long long WalkSteps(long long w, long long h, long long first_row, long long end_row) {
  const long long middle = h / 2;
  const long long far_row = std::max(middle - first_row, end_row - 1 - middle);
  const long double a = static_cast<long double>(w - 1), b = static_cast<long double>(h - 1);
  const long double cx = a / 2, cy = b / 2;
  const long double v = std::min<long double>(1, (static_cast<long double>(far_row) + 1) / cy);
  const long double moved_in = cx - cx * std::sqrt(std::max<long double>(0, 1 - v * v));
  return far_row + static_cast<long long>(moved_in) + 4;
}

}  // namespace

void EllipseRows(long long w, long long h, long long first_row, long long end_row,
                 EllipseRowSink& sink) {
  if (w <= 0 || h <= 0) return;
  first_row = std::max<long long>(first_row, 0);
  end_row = std::min(end_row, h);
  if (first_row >= end_row) return;
  if (w < 3 || h < 3) {
    // GDI fills boxes this thin completely, all of it outline.
    for (long long dy = first_row; dy < end_row; ++dy) sink.Row(dy, 0, w);
    return;
  }
  if (w + h > kWalkBudget && WalkSteps(w, h, first_row, end_row) > kWalkBudget) return;
  // Alois Zingl's ellipse walk over the box: from the middle rows outwards,
  // one pixel per step, x moving in as y moves out. GDI takes an x step
  // whenever it takes no y step, and leaves out the rows a very flat ellipse
  // does not reach.
  const Wide a = w - 1, b = h - 1;
  const int b_odd = static_cast<int>(b & 1);
  Wide dx = 4 * (1 - a) * b * b;
  Wide dy = 4 * (b_odd + 1) * a * a;
  Wide err = dx + dy + b_odd * a * a;
  const Wide a8 = 8 * a * a, b8 = 8 * b * b;
  long long x0 = 0, x1 = static_cast<long long>(a);
  long long y0 = static_cast<long long>((b + 1) / 2), y1 = y0 - b_odd;
  long long row_left = 0;
  auto emit = [&](long long run_end) {
    const long long run = run_end - row_left + 1;
    if (y0 >= first_row && y0 < end_row) sink.Row(y0, row_left, run);
    if (y1 != y0 && y1 >= first_row && y1 < end_row) sink.Row(y1, row_left, run);
  };
  for (;;) {
    const long long run_end = x0;
    const Wide e2 = 2 * err;
    const bool y_step = e2 <= dy;
    if (y_step) {
      emit(run_end);
      ++y0;
      --y1;
      dy += a8;
      err += dy;
      // Once both rows have left the wanted range nothing more is needed.
      if (y0 >= end_row && y1 < first_row) return;
    }
    if (e2 >= dx || !y_step) {
      ++x0;
      --x1;
      dx += b8;
      err += dx;
    }
    if (y_step) row_left = x0;
    if (x0 > x1) {
      if (!y_step) emit(run_end);
      return;
    }
  }
}

namespace {

// A row's union of many intervals, merged as they come; sorted, disjoint.
class SpanSet {
 public:
  static constexpr int kCapacity = 32;
  void Clear() { m_count = 0; }
  void Add(long long x0, long long x1) {
    if (x0 >= x1) return;
    // Absorb every interval that overlaps or touches [x0, x1).
    int i = 0;
    while (i < m_count && m_spans[i].x1 < x0) ++i;
    int j = i;
    while (j < m_count && m_spans[j].x0 <= x1) {
      x0 = std::min(x0, m_spans[j].x0);
      x1 = std::max(x1, m_spans[j].x1);
      ++j;
    }
    const int removed = j - i;
    if (removed == 0 && m_count == kCapacity) {
      // Never reached by a ring-shaped figure; keep the union a superset.
      if (i == m_count) --i;
      m_spans[i].x0 = std::min(m_spans[i].x0, x0);
      m_spans[i].x1 = std::max(m_spans[i].x1, x1);
      return;
    }
    if (removed == 0) {
      for (int k = m_count; k > i; --k) m_spans[k] = m_spans[k - 1];
      ++m_count;
    } else if (removed > 1) {
      for (int k = j; k < m_count; ++k) m_spans[k - removed + 1] = m_spans[k];
      m_count -= removed - 1;
    }
    m_spans[i] = {x0, x1};
  }
  int Count() const { return m_count; }
  long long X0(int i) const { return m_spans[i].x0; }
  long long X1(int i) const { return m_spans[i].x1; }

 private:
  struct Span {
    long long x0, x1;
  };
  Span m_spans[kCapacity];
  int m_count = 0;
};

class OutlineRows final : public EllipseRowSink {
 public:
  OutlineRows(std::vector<long long>& rows, long long first) : m_rows(rows), m_first(first) {}
  void Row(long long dy, long long left, long long run) override {
    const auto i = static_cast<std::size_t>(2 * (dy - m_first));
    m_rows[i] = left;
    m_rows[i + 1] = run;
  }

 private:
  std::vector<long long>& m_rows;
  long long m_first;
};

// Adds row y of a slanted segment's body from p to q (the path's direction).
void AddBodyRow(SpanSet& spans, LinePoint p, LinePoint q, int width, long long y) {
  LinePoint v[4];
  BodyCorners(p, q, width, v);
  long long xs[2];
  int n = 0;
  for (int i = 0; i < 4 && n < 2; ++i) {
    LinePoint a = v[i], b = v[(i + 1) % 4];
    if (a.y == b.y) continue;
    if (a.y > b.y) std::swap(a, b);
    if (y < a.y || y >= b.y) continue;
    // Corners lie within a few pen widths of each other: 64 bits suffice.
    xs[n++] = a.x + static_cast<long long>(CeilDiv(static_cast<Wide>(y - a.y) * (b.x - a.x), b.y - a.y));
  }
  if (n == 2) spans.Add(std::min(xs[0], xs[1]), std::max(xs[0], xs[1]));
}

// The diagonal steps of the outline between row dy and the next row away
// from the middle, on both sides, in the order GDI's path runs: clockwise on
// screen (down the right side, up the left side).
void AddDiagonalBodies(SpanSet& spans, const std::vector<long long>& rows, long long first,
                       long long end, long long dy, long long l, long long t, long long w,
                       long long h, int width, long long y) {
  const long long middle_low = h / 2;         // first row of the lower half
  const long long middle_high = (h - 1) / 2;  // last row of the upper half
  const bool lower = dy >= middle_low, upper = dy <= middle_high;
  auto row_at = [&](long long r, long long& left, long long& run) {
    if (r < first || r >= end) return false;
    const auto i = static_cast<std::size_t>(2 * (r - first));
    left = rows[i];
    run = rows[i + 1];
    return run > 0;
  };
  long long left, run;
  if (!row_at(dy, left, run)) return;
  auto step = [&](long long outer_row, bool outer_is_below) {
    long long outer_left, outer_run;
    if (!row_at(outer_row, outer_left, outer_run) || outer_left != left + run) return;
    const LinePoint inner_l{l + left + run - 1, t + dy}, outer_l{l + outer_left, t + outer_row};
    const LinePoint inner_r{l + (w - 1 - left) - (run - 1), t + dy},
        outer_r{l + (w - 1 - outer_left), t + outer_row};
    if (outer_is_below) {
      AddBodyRow(spans, inner_r, outer_r, width, y);  // right side, going down
      AddBodyRow(spans, outer_l, inner_l, width, y);  // left side, going up
    } else {
      AddBodyRow(spans, inner_l, outer_l, width, y);  // left side, going up
      AddBodyRow(spans, outer_r, inner_r, width, y);  // right side, going down
    }
  };
  if (lower) step(dy + 1, true);
  if (upper) step(dy - 1, false);
}

}  // namespace

void DrawWideEllipse(Painter& pen, Painter* brush, const PenTip& tip, long long l, long long t,
                     long long w, long long h, std::vector<long long>& scratch) {
  const long long pw = tip.Width();
  const long long y_begin = std::max<long long>(0, t + tip.Top());
  const long long y_end = std::min(pen.Height(), t + h - 1 + tip.Top() + pw);
  if (y_begin >= y_end) return;
  // Outline rows whose tips can reach the visible rows, and one more each
  // side: the diagonal step from a row beyond them reaches into them too.
  // (left, run), run 0 = none.
  const long long first = std::max<long long>(0, y_begin - t - (tip.Top() + pw - 1) - 1);
  const long long end = std::min(h, y_end - t - tip.Top() + 1);
  if (first >= end) return;
  scratch.assign(static_cast<std::size_t>(2 * (end - first)), 0);
  OutlineRows rows(scratch, first);
  EllipseRows(w, h, first, end, rows);
  SpanSet spans;
  for (long long y = y_begin; y < y_end; ++y) {
    spans.Clear();
    const long long lo = std::max(first, y - t - (tip.Top() + pw - 1));
    const long long hi = std::min(end - 1, y - t - tip.Top());
    for (long long dy = lo; dy <= hi; ++dy) {
      const auto i = static_cast<std::size_t>(2 * (dy - first));
      const long long left = scratch[i], run = scratch[i + 1];
      if (run == 0) continue;
      const long long off = y - (t + dy);
      const long long tl = tip.Left(off), tr = tip.Right(off);
      if (tl > tr) continue;
      const long long right = w - 1 - left;
      spans.Add(l + left + tl, l + left + run - 1 + tr + 1);
      spans.Add(l + right - (run - 1) + tl, l + right + tr + 1);
    }
    // Where the outline steps diagonally from one row to the next, the
    // segment's body can reach beyond the two tips.
    for (long long dy = std::max(first, lo - 1); dy <= std::min(end - 1, hi + 1); ++dy) {
      AddDiagonalBodies(spans, scratch, first, end, dy, l, t, w, h, tip.Width(), y);
    }
    for (int k = 0; k < spans.Count(); ++k) pen.Span(y, spans.X0(k), spans.X1(k));
    const long long dy = y - t;
    if (brush == nullptr || dy < first || dy >= end) continue;
    const auto i = static_cast<std::size_t>(2 * (dy - first));
    if (scratch[i + 1] == 0) continue;
    // The brush fills the figure's row where the pen leaves it.
    long long x = l + scratch[i];
    const long long x_end = l + w - scratch[i];
    for (int k = 0; k < spans.Count() && x < x_end; ++k) {
      if (spans.X1(k) <= x) continue;
      brush->Span(y, x, std::min(x_end, spans.X0(k)));
      x = std::max(x, spans.X1(k));
    }
    if (x < x_end) brush->Span(y, x, x_end);
  }
}

}  // namespace pelmora::raster
