// Inside the render pipeline: one pass over the drawing into one bitmap, the
// whole image or one horizontal band of it, or into the layer dialog's 16
// thumbnails. DrawImage makes one pass, DrawImageBands one per band,
// DrawLayerImages one for all its thumbnails.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"
#include "render/draw_image.h"

namespace pelmora {

// Where the pass's bitmap lies in the image: it holds the image's rows
// first_row .. first_row + bitmap height - 1 (all of them for a whole image).
// Image rows first <= y < end (none when first >= end).
struct RowRange {
  long long first = 0;
  long long end = 0;
};
inline constexpr RowRange kAllRows{-(1LL << 62), 1LL << 62};

struct RenderBand {
  int image_width = 0;
  int image_height = 0;
  int first_row = 0;
  // The rows each text paints (MeasureTextRows), so that a band draws only
  // the texts that reach it; nullptr draws every text.
  const std::vector<RowRange>* text_rows = nullptr;
};

// Called with position 0 at the start and the end of the entity loops, and
// with the pass's running count of entities visited every 1000 lines, 500
// arcs, 100 texts and 100 dots; total = lines + arcs + texts + dots.
using RenderTick = std::function<void(std::int64_t position, std::int64_t total)>;

// Which bitmap an entity paints: its layer byte AND the routes. kOneImage
// sends everything to bitmap 0; kImagePerLayer sends layer byte L to bitmap
// L mod 16 (the layer within its group).
using LayerRoutes = std::uint8_t;
inline constexpr LayerRoutes kOneImage = 0;
inline constexpr LayerRoutes kImagePerLayer = 15;

// The bitmaps of one pass, bitmaps[0 .. routes], all of one size and format.
struct RenderTargets {
  explicit RenderTargets(Bitmap& image) : bitmaps{&image} {}
  RenderTargets(const std::array<Bitmap*, 16>& images, LayerRoutes layer_routes)
      : bitmaps(images), routes(layer_routes) {}

  std::array<Bitmap*, 16> bitmaps{};
  LayerRoutes routes = kOneImage;
};

// kImage: the preview and the outputs (DrawImage's rules). kThumbnail: the
// layer dialog's rules (see DrawLayerImages), with the preview's mode: no
// type-9, text-mode or 1-bit setting, whole-pixel radii, the origin applied
// after the product is held within ±2^30, texts as strokes, every stroke
// choosing its line type and colour whether drawn or not.
// kVector: the image's rules, each drawn entity handed to a VectorTarget as
// geometry instead of painted (DrawVector).
enum class RenderRules { kImage, kThumbnail, kVector };

// Pixel depth of output images for settings.ColorMode (24 for an unknown code).
int OutputDepth(const Settings& settings);

// The rows each text of the drawing paints in that render (indexed as the
// reader's texts), found by looking up its glyphs without painting; the
// substitutions `text` records are those the render would record.
std::vector<RowRange> MeasureTextRows(const RenderContext& context, int width, int height,
                                      float scale, int origin_x, int origin_y, int mode,
                                      TextRasterizer& text);

// Draws background, lines, arcs, texts, dots and (output modes) the stamp into
// the targets, which have the image's width, its pixel format and colour
// table. The line state of the calling thread is reset first. `text` may be
// nullptr when the rules draw no glyphs (kThumbnail). Throws what the reader
// throws.
void RenderPass(const RenderContext& context, const RenderTargets& targets, const RenderBand& band,
                float scale, int origin_x, int origin_y, int mode, RenderRules rules,
                TextRasterizer* text, const RenderTick& tick);

}  // namespace pelmora
