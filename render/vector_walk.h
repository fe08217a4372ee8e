// The render's walk with geometry in place of pixels: the entities the raster
// render draws, in its order, with its pens, line types and text layout, handed
// to a vector writer (PDF, SVG, DXF). The writers live in vector/; this is the
// one place that decides for them what is drawn and how.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "drawing/jwcunit.h"
#include "platform/raster/canvas.h"
#include "render/draw_image.h"
#include "render/jwtools_text.h"

namespace pelmora {

// A point of the page in raster pixels at the chosen dpi, y down, origin at the
// page's top-left corner. A drawing point the raster rounds to pixel i lies at
// i + 0.5 (the centre of the pixel's square [i, i + 1)), so a vector page
// rasterised at that dpi lies on the bitmap.
struct VectorPoint {
  double x = 0.0;
  double y = 0.0;
};

// What a stroke is drawn with, as the raster draws it at the chosen dpi.
struct VectorPen {
  Colour colour = 0;            // 0x00BBGGRR; black at a depth of 1 bit
  int width = 1;                // pixels at the dpi, at least 1
  std::int32_t line_type = 1;   // the type whose pattern is in effect (1: solid)
  // Dash elements in pixels at the dpi: drawn, gap, drawn, gap, ...; empty for
  // a solid stroke. The phase restarts at every Line and at the start of every
  // Arc and runs on along the arc's curve.
  std::vector<std::int32_t> dashes;
};

// One drawn group or layer of the page.
struct VectorLayer {
  std::uint8_t layer = 0;  // the layer byte: group in the high nibble
  bool shown = true;       // false: hidden, written only with keep_hidden, switched off
  std::string group_name;  // "G" and the group's own name, as --info names it (UTF-8)
  std::string name;        // "G-L" and the layer's own name, as --info names it (UTF-8)
  double group_scale = 1.0;  // the group's drawing scale (full size = paper × scale)
};

// The page: the region of the raster image at the chosen dpi.
struct VectorPage {
  int width = 0;   // pixels at the dpi, as the raster image's
  int height = 0;
  int dpi = 0;
  Colour background = 0;  // white at a depth of 1 bit
  bool mono = false;      // a depth of 1 bit: black on white
  // Page pixel = drawing unit × scale − origin (x), origin − drawing unit × scale (y).
  double scale = 1.0;
  int origin_x = 0;
  int origin_y = 0;
  double pixels_per_mm_paper = 1.0;  // page pixels per millimetre of paper (dpi / 25.4)
  float drawing_units_per_mm = 1.0f;  // the reader's PixelsPerMm
  // Every group and layer that holds drawn entities, in layer-byte order (those
  // of hidden layers only when keep_hidden).
  std::vector<VectorLayer> layers;
};

// A circle, arc or tilted ellipse arc, as the raster strokes it: centre (page
// pixels), first semi-axis `radius` (pixels), second = radius × flatness,
// angles and tilt in degrees counterclockwise with y up; the curve's point at
// angle t is centre + tilt-rotated (radius cos t, radius × flatness sin t), y
// flipped. Already normalised as the raster does: end > start, a full turn is
// 0..360, flatness > 0; at most two turns.
struct VectorArc {
  VectorPoint centre;
  double radius = 0.0;
  double flatness = 1.0;
  double start = 0.0;
  double end = 360.0;
  double tilt = 0.0;
};

// A cubic Bézier segment from the previous point: two controls and the end.
struct VectorCubic {
  VectorPoint c1;
  VectorPoint c2;
  VectorPoint to;
};

// The arc as cubic Béziers (at most 90 degrees of parameter each), starting at
// *start; within a hundredth of a pixel of the curve for any size the page holds.
std::vector<VectorCubic> ArcToCubics(const VectorArc& arc, VectorPoint* start);

// A text as the raster lays it out: every character with its Shift-JIS bytes,
// its font (height, width, escapement in tenths of degrees, face name bytes) and
// the top-left corner of its cell before rotation, page pixels (the raster's
// JwcTextSink::Char, not rounded; add nothing: the raster draws at these).
//
// The resolution stamp is one entry holding the whole string ("360dpi"), drawn
// with the face's own advances from its corner.
struct VectorText {
  Colour colour = 0;
  std::vector<JwcTextChar> chars;
  std::string face_file;  // the font file the raster draws these glyphs from
  int face_index = 0;     // the face within that file
};

// Receives the walk. Every call but Begin and Finish names the layer byte of the
// entity; the raw record is there for writers that keep drawing units (DXF).
class VectorTarget {
 public:
  virtual ~VectorTarget() = default;
  virtual void Begin(const VectorPage& page) = 0;
  virtual void Line(std::uint8_t layer, const VectorPen& pen, VectorPoint from, VectorPoint to,
                    const TJwcLine& raw) = 0;
  virtual void Arc(std::uint8_t layer, const VectorPen& pen, const VectorArc& arc,
                   const TJwcArc& raw) = 0;
  virtual void Text(std::uint8_t layer, const VectorText& text, const TJwcText& raw,
                    const TJwcTextStyle& style) = 0;
  // A disc of `diameter` pixels, outline and fill in the colour: `centre` is the
  // middle of the box the raster fills (pixel + 0.5 for an odd diameter, the
  // pixel's corner for an even one, as the box starts diameter/2 truncated before it).
  virtual void Dot(std::uint8_t layer, Colour colour, VectorPoint centre, int diameter,
                   const TJwcDot& raw) = 0;
  // The resolution stamp ("360dpi") at the page's top-left, 8 points, red (black at
  // 1 bit), when the settings ask for it; not on any layer.
  virtual void Stamp(const VectorText& text) = 0;
  // Completes the document; false with the reason when it cannot be written.
  virtual bool Finish(std::string* error) = 0;
};

// Entities that cannot reach the page (their box grown by the pen beyond it),
// entities with a non-finite coordinate, curves of no or a non-finite radius and
// strokes of a type that only moves (0) are not handed over: the raster draws
// nothing of them. Huge coordinates arrive held within ±2^30 pixels, as the
// raster holds them.
struct VectorOptions {
  bool keep_hidden = false;  // hidden layers walked too (VectorLayer::shown false)
};

// Walks the drawing as DrawImage(context, width, height, originX, originY, scale,
// kRenderFile) would draw it, into `target`. context.delivery is not used.
// Returns 1 when the target finished; 0 with the reason in *context.error.
int DrawVector(const RenderContext& context, int width, int height, int originX, int originY,
               float scale, VectorTarget& target, const VectorOptions& options = {});

}  // namespace pelmora
