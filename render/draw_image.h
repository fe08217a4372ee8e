// The render pipeline: the one place where a drawing becomes pixels.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"
#include "settings/settings.h"

namespace pelmora {

class Tjwcin;
class ImageEncoder;
struct FontSubstitution;

enum RenderMode : int { kRenderPreview = 1, kRenderFile = 2, kRenderClipboard = 3 };

// Hands the finished image to its destination (the preview picture, a file, the
// clipboard). Returns false with a reason when the destination failed. The image
// is the render's own and dies when DrawImage returns: a destination that keeps
// it (the preview) copies what it needs.
using RenderDelivery = std::function<bool(const Bitmap& image, std::string* error)>;
// Called with position 0 at the start and the end of the entity loops (clear the
// bar), and with the running count of entities visited, every 1000 lines, 500
// arcs, 100 texts and 100 dots. total = lines + arcs + texts + dots (64 bits: four
// 32-bit counts can exceed the range of one).
using RenderProgress = std::function<void(std::int64_t position, std::int64_t total)>;

// Everything DrawImage reads besides its six arguments.
struct RenderContext {
  const Tjwcin* reader = nullptr;
  const Settings* settings = nullptr;
  const std::array<std::uint8_t, 256>* LayerVisible = nullptr;
  const std::array<std::uint8_t, 16>* GroupVisible = nullptr;
  float PixelsPerMm = 1.0f;        // drawing units per millimetre of paper
  RenderDelivery delivery;         // may be empty: the image is dropped
  RenderProgress progress;         // may be empty
  TextRasterizer* text = nullptr;  // nullptr: the shared FreeType rasterizer
  std::string* error = nullptr;    // receives the reason of a 0 result
};

// Renders the drawing into a new image of width × height pixels and delivers it.
// scale: image pixels per drawing unit; a drawing point (x, y) lands on pixel
// (round(x × scale) − originX, originY − round(y × scale)). mode: kRenderPreview
// (24 bits, 1-pixel pens, dots as pixels, no stamp), kRenderFile or
// kRenderClipboard (pixel format and colour table by settings.ColorMode and
// usePalette, pen-width table, Dot-sized discs, the resolution stamp when
// WriteDPI is on). At a depth of 1 bit every mode draws black on white.
//
// Returns 1 when the render ran to its end and the image was delivered; 0, with
// the reason in *context.error, when the mode is unknown, an output region is
// 0 pixels wide or high (refused before anything is made or delivered), the
// image cannot be created, the drawing cannot be read, or the delivery failed.
// A preview of 0 × 0 pixels is valid: an empty image is delivered. The "完了"
// message after a file or clipboard delivery is the caller's.
int DrawImage(const RenderContext& context, int width, int height, int originX, int originY,
              float scale, int mode);

// How DrawImageBands divides its work.
struct BandOptions {
  // Rows per band; 0 chooses a height that keeps a band to a few megabytes
  // and gives every thread several bands.
  int band_height = 0;
  // Render threads; 0 = std::thread::hardware_concurrency(). An image under
  // 16 MiB of pixels with band_height 0 is one band on the calling thread
  // whatever the count (its bands would repeat more work than threads gain).
  // With 1 everything runs on the calling thread. A RenderContext::text rasterizer (not
  // thread-safe) makes the render use the calling thread alone.
  int threads = 0;
  // Receives the fonts that stood in for FontName while the texts were drawn
  // (as FontRasterizer::Substitutions() after a whole render); untouched when
  // RenderContext::text is set, whose owner can ask it.
  std::vector<FontSubstitution>* substitutions = nullptr;
};

// The output render (mode 2: the save command and the converter) in horizontal
// bands, handed to `encoder` top-down as they are done: the image is never
// whole in memory, at most a few bands (about threads + 1) are. Bands are
// rendered on `options.threads` threads, each with its own canvas, line state
// and glyph rasteriser; the encoder and context.progress are called on the
// calling thread only, progress with positions scaled to one pass over the
// entities (0 .. lines + arcs + texts + dots), never going back. The bytes are
// those of DrawImage(..., kRenderFile) for every band height and thread count.
// context.delivery is not used. Returns 1 when the encoder finished the image;
// 0 with the reason in *context.error when the region is empty, a band cannot
// be made, the drawing cannot be read or the encoder failed (the encoder is
// then not finished, and is left for its owner to destroy).
int DrawImageBands(const RenderContext& context, int width, int height, int originX, int originY,
                   float scale, ImageEncoder& encoder, const BandOptions& options = {});

// The LOGFONT face name texts and the stamp are drawn with for the FontName
// setting (UTF-8): its CP932 bytes, at most 31, cut before a character that
// would not fit whole; "" (the rasterizer's default Japanese face) for a name
// CP932 cannot hold.
std::string FontFaceBytes(const std::string& font_name);

}  // namespace pelmora
