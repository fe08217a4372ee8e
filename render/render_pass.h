// Inside the render pipeline: one pass over the drawing into one bitmap, the
// whole image or one horizontal band of it. DrawImage makes one pass,
// DrawImageBands one per band.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"
#include "render/draw_image.h"

namespace pelmora {

// Where the pass's bitmap lies in the image: it holds the image's rows
// first_row .. first_row + bitmap height - 1 (all of them for a whole image).
struct RenderBand {
  int image_width = 0;
  int image_height = 0;
  int first_row = 0;
};

// Called with position 0 at the start and the end of the entity loops, and
// with the pass's running count of entities visited every 1000 lines, 500
// arcs, 100 texts and 100 dots; total = lines + arcs + texts + dots.
using RenderTick = std::function<void(std::int64_t position, std::int64_t total)>;

// Pixel depth of output images for settings.ColorMode (24 for an unknown code).
int OutputDepth(const Settings& settings);

// Draws background, lines, arcs, texts, dots and (output modes) the stamp into
// `target`, which has the image's width, its pixel format and colour table.
// The line state of the calling thread is reset first. Throws what the reader
// throws.
void RenderPass(const RenderContext& context, Bitmap& target, const RenderBand& band, float scale,
                int origin_x, int origin_y, int mode, TextRasterizer& text, const RenderTick& tick);

}  // namespace pelmora
