// libtiff's own Group 4 encoder on one strip, which the TIFF encoder's strips
// used to come from: the reference that EncodeGroup4 is held to, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmora {

// `rows` rows of `width` pixels, (width + 7) / 8 bytes each, 1 bits black, as
// libtiff writes them as one strip of a TIFF (PhotometricInterpretation
// min-is-white). Empty when libtiff failed.
std::vector<std::uint8_t> LibtiffGroup4Strip(std::uint8_t* data, int width, int rows);

}  // namespace pelmora
