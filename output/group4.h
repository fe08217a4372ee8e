// CCITT Group 4 (T.6) for the TIFF encoder's bilevel strips, coded here rather
// than by libtiff's encoder, which took most of a 1-bit TIFF's time; the bytes
// are libtiff's to the bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmora {

// One strip of a bilevel image in CCITT Group 4, as libtiff writes a TIFF strip with
// COMPRESSION_CCITTFAX4 (FillOrder 1, no Group4Options): coded from a white reference
// line, EOFB at the end, padded with 0 bits to a byte. `rows` rows of `width` pixels,
// packed most significant bit first, `row_bytes` apart, 1 bits black (0 = white); the
// bits past `width` in a row's last byte are not read as pixels.
// Throws std::bad_alloc when memory runs out.
std::vector<std::uint8_t> EncodeGroup4(const std::uint8_t* data, std::size_t row_bytes, int width,
                                       int rows);

}  // namespace pelmora
