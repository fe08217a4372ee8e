// jwtools: JW_CAD line types, arcs and texts on a canvas. One module-wide pen
// and dash state (LinePattern), so only one canvas is drawn on at a time.
#pragma once

#include <cstdint>

#include "platform/raster/canvas.h"

namespace pelmora {

void SetLineType(Canvas& canvas, std::int32_t line_type);
void SetLineWidth(Canvas& canvas, std::int32_t width);
void LineMoveTo(Canvas& canvas, std::int32_t x, std::int32_t y);
void LineDrawTo(Canvas& canvas, std::int32_t x, std::int32_t y);
void DrawJwcArc(Canvas& canvas, std::int32_t center_x, std::int32_t center_y, float radius,
                float flatness, float start_angle, float end_angle, float tilt);

}  // namespace pelmora

#include "render/jwtools_text.h"
