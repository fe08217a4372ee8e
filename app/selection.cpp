#include "app/selection.h"

#include <algorithm>
#include <utility>

namespace pelmora {

namespace {

// Handles reach 8 pixels each way from their centre (strict); the move zone
// keeps 10 pixels away from every edge.
constexpr std::int64_t kGrabReach = 8;
constexpr std::int64_t kMoveMargin = 10;

bool Near(std::int64_t X, std::int64_t Y, std::int64_t cx, std::int64_t cy) {
  return cx - kGrabReach < X && X < cx + kGrabReach && cy - kGrabReach < Y && Y < cy + kGrabReach;
}

int Clamp(std::int64_t value, int limit) {
  // A negative limit (no paper) leaves 0 as the only place to go.
  return static_cast<int>(std::clamp<std::int64_t>(value, 0, std::max(limit, 0)));
}

}  // namespace

std::int64_t Middle(int a, int b) {
  return a + (static_cast<std::int64_t>(b) - a) / 2;
}

int GrabZoneAt(const SelectionBox& box, int X, int Y) {
  const std::int64_t x1 = box.x1, y1 = box.y1, x2 = box.x2, y2 = box.y2;
  const std::int64_t mx = Middle(box.x1, box.x2), my = Middle(box.y1, box.y2);
  const bool inside =
      x1 + kMoveMargin < X && X < x2 - kMoveMargin && y1 + kMoveMargin < Y && Y < y2 - kMoveMargin;
  const bool matches[10] = {
      false,           Near(X, Y, x1, y1), Near(X, Y, mx, y1), Near(X, Y, x2, y1),
      Near(X, Y, x1, my), inside,          Near(X, Y, x2, my), Near(X, Y, x1, y2),
      Near(X, Y, mx, y2), Near(X, Y, x2, y2)};
  int zone = kNoZone;
  for (int z = 1; z <= 9; ++z)
    if (matches[z]) zone = z;
  return zone;
}

ZoneCursor CursorForZone(int zone) {
  switch (zone) {
    case 1:
    case 9:
      return ZoneCursor::kSizeNwse;
    case 3:
    case 7:
      return ZoneCursor::kSizeNesw;
    case 2:
    case 8:
      return ZoneCursor::kSizeNs;
    case 4:
    case 6:
      return ZoneCursor::kSizeWe;
    case kMoveZone:
      return ZoneCursor::kOpenHand;
    default:
      return ZoneCursor::kDefault;
  }
}

bool IsResizeZone(int zone) { return zone >= 1 && zone <= 9 && zone != kMoveZone; }

Grab GrabAt(const SelectionBox& box, int X, int Y) {
  Grab grab;
  grab.offset_x = static_cast<std::int64_t>(X) - box.x1;
  grab.offset_y = static_cast<std::int64_t>(Y) - box.y1;
  grab.width = static_cast<std::int64_t>(box.x2) - box.x1;
  grab.height = static_cast<std::int64_t>(box.y2) - box.y1;
  return grab;
}

void DragBox(SelectionBox& box, int zone, const Grab& grab, int X, int Y, int paper_width,
             int paper_height) {
  std::int64_t x1 = box.x1, y1 = box.y1, x2 = box.x2, y2 = box.y2;
  switch (zone) {
    case 1: x1 = X; y1 = Y; break;
    case 2: y1 = Y; break;
    case 3: x2 = X; y1 = Y; break;
    case 4: x1 = X; break;
    case kMoveZone:
      x1 = X - grab.offset_x;
      y1 = Y - grab.offset_y;
      x2 = x1 + grab.width;
      y2 = y1 + grab.height;
      break;
    case 6: x2 = X; break;
    case 7: x1 = X; y2 = Y; break;
    case 8: y2 = Y; break;
    case 9: x2 = X; y2 = Y; break;
    default: break;
  }
  box.x1 = Clamp(x1, paper_width);
  box.x2 = Clamp(x2, paper_width);
  box.y1 = Clamp(y1, paper_height);
  box.y2 = Clamp(y2, paper_height);
}

bool ReleaseBox(SelectionBox& box) {
  bool swapped = false;
  if (box.x2 < box.x1) {
    std::swap(box.x1, box.x2);
    swapped = true;
  }
  if (box.y2 < box.y1) {
    std::swap(box.y1, box.y2);
    swapped = true;
  }
  return swapped;
}

}  // namespace pelmora
