// The render pipeline: the one place where a drawing becomes pixels.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"
#include "settings/settings.h"

namespace pelmora {

class Tjwcin;

enum RenderMode : int { kRenderPreview = 1, kRenderFile = 2, kRenderClipboard = 3 };

// Hands the finished image to its destination (the preview picture, a file, the
// clipboard). Returns false with a reason when the destination failed.
using RenderDelivery = std::function<bool(const Bitmap& image, std::string* error)>;
// position 0 clears the bar; otherwise position of total entities visited.
using RenderProgress = std::function<void(int position, int total)>;

// Everything DrawImage reads besides its six arguments.
struct RenderContext {
  const Tjwcin* reader = nullptr;
  const Settings* settings = nullptr;
  const std::array<std::uint8_t, 256>* LayerVisible = nullptr;
  const std::array<std::uint8_t, 16>* GroupVisible = nullptr;
  float PixelsPerMm = 1.0f;
  RenderDelivery delivery;             // may be empty: the image is dropped
  RenderProgress progress;             // may be empty
  TextRasterizer* text = nullptr;      // nullptr: the shared FreeType rasterizer
  std::string* error = nullptr;        // receives the reason of a 0 result
};

// Returns 1 when the render ran to its end and the image was delivered, 0 when
// the image could not be created or the delivery failed.
int DrawImage(const RenderContext& context, int width, int height, int originX, int originY,
              float scale, int mode);

}  // namespace pelmora
