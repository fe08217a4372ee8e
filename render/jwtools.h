// jwtools: JW_CAD line types, arcs and texts on a canvas. One module-wide pen
// and dash state (LinePattern), so only one canvas is drawn on at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/raster/canvas.h"

namespace pelmora {

// JW_CAD line type: 0 moves only, 1 solid, 2..9 select their dash pattern
// (lengths in points of the canvas's 96 pixels per inch); any other value keeps
// the last pattern selected, and draws solid while none has been.
void SetLineType(Canvas& canvas, std::int32_t line_type);
// What LineDrawTo strokes with: nothing (type 0 only moves), solid, or dashes.
struct LineDashes {
  bool draws = true;
  std::int32_t line_type = 1;  // the type 2..9 whose pattern is in effect; 1 when solid
  // Pixels at the canvas's pattern unit: drawn, gap, drawn, gap, ...; empty when solid.
  std::vector<std::int32_t> dashes;
};
// The calling thread's current line type, as the next LineDrawTo strokes it.
LineDashes CurrentLineDashes();
// What SetLineType(canvas, line_type) would make current, the state left unchanged.
LineDashes LineDashesIfSelected(std::int32_t line_type);
// Pen width in pixels (0 or less is 1), applied to the canvas by the next LineMoveTo.
void SetLineWidth(Canvas& canvas, std::int32_t width);
// Back to the state of a freshly started program: no pattern, pen width 0.
// Every render starts here, so that what it draws never depends on what was
// drawn before it (a line type outside 2..9 keeps the last pattern chosen).
// The state belongs to the calling thread: each render thread has its own.
void ResetLinePattern();
// Starts a stroke at pixel (x, y): the pen width applied, the pattern restarted.
void LineMoveTo(Canvas& canvas, std::int32_t x, std::int32_t y);
// Draws to pixel (x, y) in the current line type, the pattern continuing where
// the previous LineDrawTo of the stroke left it; both end pixels of a solid
// line are painted.
void LineDrawTo(Canvas& canvas, std::int32_t x, std::int32_t y);
// Strokes a circle, arc or tilted ellipse arc as one chain of chords: centre in
// pixels, radius in pixels, flatness = second semi-axis / first, angles and
// tilt in degrees counterclockwise with y up. Draws nothing for a radius of 0,
// a non-finite value, or a curve that cannot reach the bitmap; the chord count
// is bounded whatever the input. Chords that cannot reach the bitmap are not
// stroked; the pixels are those of stroking every chord. The pen ends one
// diagonal step past the end point; the dash phase is the walk's when the last
// chords may paint, and otherwise restarts (every stroke after an arc starts
// with LineMoveTo, which restarts it anyway).
void DrawJwcArc(Canvas& canvas, std::int32_t center_x, std::int32_t center_y, float radius,
                float flatness, float start_angle, float end_angle, float tilt);

}  // namespace pelmora

#include "render/jwtools_text.h"
