// Colour tables of rendered images and the pen lookups every renderer shares.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/raster/bitmap.h"
#include "settings/settings.h"

namespace pelmora {

// The 16 colours of a 4-bit image without the render palette, index 0..15.
extern const std::array<Colour, 16> kDefault16Colours;

// The fixed 256-colour palette of an 8-bit image without the render palette.
// Layout (Pelmora's own halftone palette, the same on every machine):
//   0..15    the 16 default colours above (black at 0, white at 15);
//   16..223  the colour cube with levels 0, 51, 102, 153, 204, 255 per channel,
//            red slowest, blue fastest, without its 8 corners (black, white and
//            the six pure colours are already among 0..15);
//   224..255 32 greys round(255 × k / 33), k = 1..32 (8 .. 247), none of which
//            repeats a grey of the cube or of the 16 colours.
// All 256 entries are distinct.
const std::array<Colour, 256>& HalftonePalette256();

// The render palette (16 or 256 entries): black, white, BackColor,
// Color1..Color7, red (the resolution stamp), then black up to `entries`.
std::vector<Colour> RenderPalette(const Settings& settings, int entries);

// What an entity's pen number draws with. The colour table has pens 0..7 and
// the width table pens 1..6; a pen number with no entry in a table takes pen
// 1's entry (Color1, PenWidth1), the drawing's ordinary pen. So pen 8 and above
// draw in Color1, and pens 0 and 7 and above draw PenWidth1 wide. Every
// renderer (preview, output, the layer dialog's thumbnails) uses these two.
Colour PenColourOf(const Settings& settings, int pen);
int PenWidthOf(const Settings& settings, int pen);

// The colour table an output image of `bits` per pixel carries: black and white
// at 1 bit; at 4 and 8 bits the render palette when usePalette is on, else the
// default 16 colours or the halftone palette; none at 16 and 24 bits.
std::vector<Colour> OutputColourTable(const Settings& settings, int bits);

}  // namespace pelmora
