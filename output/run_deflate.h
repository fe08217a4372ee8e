// Deflate for filtered raster rows, several times faster than zlib or
// libdeflate on them and no larger than zlib's run-length strategy.
//
// A line drawing's rows are long runs of one byte (paper, straight lines)
// between short stretches of others; a coloured line repeats its pixel, and
// much of a sparse sheet repeats the row above. The only matches sought are
// repeats of the byte, the pixel and the row before, which 64 bytes at a
// time find; the symbols are coded with Huffman
// codes built for each block, and a block that would come out larger than
// its bytes is stored instead.
//
// The bytes depend on the input alone. A piece that is not the last ends on a
// byte boundary (an empty stored block, as zlib's sync flush) and refers to
// nothing before it, so pieces compressed apart join into one raw deflate stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmora {

// Appends `data` to `out` as raw deflate blocks; `last` sets the final block
// (padded to a byte), otherwise the blocks end with an empty stored block.
// Repeats are sought of the byte before, of the pixel `pixel_bytes` before,
// and of the row `row_bytes` before where that is within deflate's window.
// Throws std::bad_alloc when memory runs out.
void RunDeflate(const std::uint8_t* data, std::size_t size, bool last,
                std::vector<std::uint8_t>* out, int pixel_bytes = 1, std::size_t row_bytes = 0);

}  // namespace pelmora
