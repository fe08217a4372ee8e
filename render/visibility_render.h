// The layer display dialog's thumbnails: the entities of chosen layers, each
// drawn into the image of its layer within the group (the low four bits of its
// layer byte), 16 images built in one walk over the drawing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/raster/bitmap.h"
#include "settings/settings.h"

namespace pelmora {

class Tjwcin;

// Which layer bytes are drawn: 1 = drawn, anything else not.
using LayerMask = std::array<std::uint8_t, 256>;

// The 16 layers of `group` (0..15) and no other.
LayerMask GroupMask(int group);

// Renders the entities of the layers `drawn` holds into 16 images of width ×
// height pixels at 24 bits, image k receiving layer byte L when L mod 16 = k.
// A drawing point (x, y) lands on pixel (round(x × scale) − originX, originY −
// round(y × scale)). The thumbnails' own rules, unlike the preview's: every
// stroke is one pixel wide, the visibility tables, the group flag and the
// line-type-9 option are ignored, an arc's radius is a whole number of pixels,
// a text is a straight stroke from its start to its end point in whatever line
// type the lines and arcs left behind, a dot is one pixel. Entities of layers
// not drawn still select their line type and pen colour on their image (the
// dash state is module-wide, so what they leave is what the next stroke uses).
// An image that cannot be made is 0 × 0.
std::array<std::unique_ptr<Bitmap>, 16> DrawLayerImages(const Tjwcin& reader,
                                                        const Settings& settings,
                                                        const LayerMask& drawn, int width,
                                                        int height, int originX, int originY,
                                                        float scale);

}  // namespace pelmora
