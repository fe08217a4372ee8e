// Editing the selection box with the mouse: which grab zone a point is in, how
// a drag moves or resizes the box, and the release that puts crossed edges
// back in order. Coordinates are preview pixels (y down). No Qt here.
#pragma once

#include <cstdint>

#include "render/geometry.h"

namespace pelmora {

// Zones 1..9 in reading order (corners, edge middles, 5 = inside), 0 = none.
inline constexpr int kNoZone = 0;
inline constexpr int kMoveZone = 5;

enum class ZoneCursor { kDefault, kSizeNwse, kSizeNs, kSizeNesw, kSizeWe, kOpenHand };

// The zone under (X, Y). Zones are tested in the order 1..9 and the last one
// that matches wins, so on a small box an edge middle beats the corner before
// it. Arithmetic is 64-bit: a stored box may hold any 32-bit values.
int GrabZoneAt(const SelectionBox& box, int X, int Y);
ZoneCursor CursorForZone(int zone);
bool IsResizeZone(int zone);  // 1..4, 6..9

// What the press on a zone remembers.
struct Grab {
  std::int64_t offset_x = 0, offset_y = 0;  // mouse − (x1, y1)
  std::int64_t width = 0, height = 0;       // x2 − x1, y2 − y1
};
Grab GrabAt(const SelectionBox& box, int X, int Y);

// Applies a drag of `zone` to the mouse position (X, Y), then holds x1 and x2
// within 0..paper_width and y1 and y2 within 0..paper_height, one coordinate at
// a time. A moved box pushed against an edge is cut there; its size comes back
// when it is dragged back, because the grab keeps it.
void DragBox(SelectionBox& box, int zone, const Grab& grab, int X, int Y, int paper_width,
             int paper_height);

// The release: swaps x1/x2 and then y1/y2 where they crossed. Returns true when
// anything was swapped (the window then sets the default cursor).
bool ReleaseBox(SelectionBox& box);

// The middle of an edge, truncating toward zero as the grab zones and the
// handles are placed.
std::int64_t Middle(int a, int b);

}  // namespace pelmora
