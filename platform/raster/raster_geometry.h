// Exact integer arithmetic shared by the raster shapes (internal).
#pragma once

#include "platform/raster/raster_shapes.h"

namespace pelmora::raster {

// Products of int coordinates and their differences need more than 64 bits.
using Wide = __int128;

inline Wide FloorDiv(Wide a, Wide b) {  // b > 0
  Wide q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

inline Wide CeilDiv(Wide a, Wide b) {
  return -FloorDiv(-a, b);
}  // b > 0

// GDI's body of a wide segment: a rectangle for horizontal and vertical
// segments, otherwise the parallelogram whose sides are the segment moved by
// the rounded halves of the pen's width across it (the wider half towards the
// segment's left, seen from p1 with y down). The corners of that
// parallelogram for a slanted segment (dx, dy both non-zero).
void BodyCorners(LinePoint p1, LinePoint p2, int width, LinePoint v[4]);

}  // namespace pelmora::raster
