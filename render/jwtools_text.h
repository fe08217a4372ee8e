// JW_CAD texts: laid out character by character from the style's sizes.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/raster/canvas.h"

namespace pelmora {

// Sizes and points in canvas pixels (y down); colour 0x00BBGGRR; flags bit 0x20
// = vertical writing. Leaves the canvas font's face name unchanged.
void DrawJwcText(Canvas& canvas, std::string_view text, float x1, float y1, float x2, float y2,
                 float height, float width, float spacing, Colour colour, std::uint8_t flags);

}  // namespace pelmora
