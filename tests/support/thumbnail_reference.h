// The layer dialog's thumbnails as they were first drawn, one loop per entity
// kind, kept as test code only: the renderer's thumbnails are held to these
// pixels, quirks included.
#pragma once

#include <array>
#include <memory>

#include "platform/raster/bitmap.h"
#include "render/visibility_render.h"
#include "settings/settings.h"

namespace pelmora {

class Tjwcin;

// Same arguments and result as DrawLayerImages.
std::array<std::unique_ptr<Bitmap>, 16> ReferenceLayerImages(const Tjwcin& reader,
                                                             const Settings& settings,
                                                             const LayerMask& drawn, int width,
                                                             int height, int originX, int originY,
                                                             float scale);

}  // namespace pelmora
