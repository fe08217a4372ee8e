// Geometry of the raster canvas (internal): which pixels GDI paints for lines,
// wide pens, rectangles and ellipses. Everything here works in 64-bit (and
// 128-bit where products need it) so that any int coordinate is safe, and
// hands clipped spans to a Painter.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/raster/bitmap.h"
#include "platform/raster/raster_writers.h"

namespace pelmora::raster {

// The one clipping layer: every span and pixel is cut to the bitmap here, so
// the writers below never test bounds.
class Painter {
 public:
  // `hatch`: eight row bytes of an 8 × 8 pattern anchored at the bitmap's
  // (0, 0), bit 7 leftmost; nullptr paints every pixel.
  Painter(Bitmap& bitmap, Rop rop, std::uint32_t value, const std::uint8_t* hatch = nullptr);

  // Paints x0 <= x < x1 on row y.
  void Span(long long y, long long x0, long long x1) {
    if (y < 0 || y >= m_height) return;
    if (x0 < 0) x0 = 0;
    if (x1 > m_width) x1 = m_width;
    if (x0 >= x1) return;
    SpanInside(static_cast<int>(y), static_cast<int>(x0), static_cast<int>(x1));
  }
  void Pixel(long long x, long long y) { Span(y, x, x + 1); }

  long long Width() const { return m_width; }
  long long Height() const { return m_height; }

 private:
  void SpanInside(int y, int x0, int x1);

  Bitmap& m_bitmap;
  RowOps m_ops;
  std::uint32_t m_value;
  const std::uint8_t* m_hatch;
  long long m_width;
  long long m_height;
};

// The union of a few intervals of one row, painted once (an exclusive-or pen
// must not touch a pixel twice where the pieces of one figure overlap).
class RowUnion {
 public:
  static constexpr int kMaxPieces = 12;
  void Clear() { m_count = 0; }
  // Adds x0 <= x < x1; empty intervals are ignored.
  void Add(long long x0, long long x1) {
    if (x0 < x1 && m_count < kMaxPieces) m_pieces[m_count++] = {x0, x1};
  }
  void Paint(Painter& painter, long long y);

 private:
  struct Piece {
    long long x0, x1;
  };
  Piece m_pieces[kMaxPieces];
  int m_count = 0;
};

// The round tip of a wide pen: GDI paints the ellipse of a w × w box whose
// top-left corner is (-w/2, -w/2) from the point, at both ends of every
// segment and at every join. A view of rows that ComputePenTip filled.
class PenTip {
 public:
  PenTip(int width, const int* left, const int* right)
      : m_width(width), m_left(left), m_right(right) {}
  int Width() const { return m_width; }
  // Row offsets from the point: Top() <= dy < Top() + Width().
  int Top() const { return -(m_width / 2); }
  // Inclusive x offsets of the tip's row dy (Top() <= dy < Top() + Width()).
  int Left(long long dy) const { return m_left[dy - Top()]; }
  int Right(long long dy) const { return m_right[dy - Top()]; }
  // Adds the tip centred on (x, y) to row `row` of a union.
  void AddRow(RowUnion& row_union, long long x, long long y, long long row) const {
    const long long dy = row - y - Top();
    if (dy < 0 || dy >= m_width) return;
    row_union.Add(x + m_left[dy], x + m_right[dy] + 1);
  }

 private:
  int m_width;
  const int* m_left;
  const int* m_right;
};

// Fills the rows of a tip of `width` >= 2 pixels: inclusive x offsets from the
// point, rows from -(width / 2) down.
void ComputePenTip(int width, std::vector<int>& left, std::vector<int>& right);

struct LinePoint {
  long long x, y;
};

// One-pixel line from a to b; the end pixel only when include_end.
void DrawThinLine(Bitmap& bitmap, Rop rop, std::uint32_t value, LinePoint a, LinePoint b,
                  bool include_end);

// One LineTo with a pen of tip.Width() >= 2 pixels: round tips at both ends
// and the segment's body between them, every pixel once.
void DrawWideLine(Painter& painter, const PenTip& tip, LinePoint a, LinePoint b);

// Outline of a rectangle whose corner pixels are (l, t) and (r, b), inclusive,
// stroked with a wide pen as one closed figure with round joins.
void DrawWideFrame(Painter& painter, const PenTip& tip, long long l, long long t, long long r,
                   long long b);

// The figure of Ellipse with a wide pen in the box of w × h pixels at (l, t):
// the pen covers its tips centred on every pixel of the one-pixel outline, the
// brush (if any) the rest of each row of the figure. `scratch` holds the
// outline rows between calls.
void DrawWideEllipse(Painter& pen, Painter* brush, const PenTip& tip, long long l, long long t,
                     long long w, long long h, std::vector<long long>& scratch);

// Receives the rows of an ellipse: the figure covers left <= x <= w - 1 - left
// of row dy (relative to its box), and its outline is the run of `run` pixels
// at each end of that range.
class EllipseRowSink {
 public:
  virtual void Row(long long dy, long long left, long long run) = 0;

 protected:
  ~EllipseRowSink() = default;
};

// The rows of the ellipse GDI draws in a box of w × h pixels (w, h >= 1) that
// fall in first_row <= dy < end_row; rows the figure leaves out (the ends of
// very flat ellipses) are not reported. Exact at every size; none at all when
// reaching those rows takes more than 2^25 steps of GDI's walk (a box
// thousands of sheets across seen near its top or bottom).
void EllipseRows(long long w, long long h, long long first_row, long long end_row,
                 EllipseRowSink& sink);

}  // namespace pelmora::raster
