// Ellipses: GDI's walk of the outline, the pen tip, wide-pen outlines.
#include "platform/raster/raster_shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "platform/raster/raster_geometry.h"

namespace pelmora::raster {

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
