// Compresses arbitrary bytes with RunDeflate in pieces, as the encoders do, and
// inflates the joined stream with zlib: it must be valid and give the bytes back.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/run_deflate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // The first bytes choose the pixel, the row and the piece sizes.
  const int pixel_bytes = 1 + data[0] % 4;
  const std::size_t row_bytes = std::size_t{data[1]} * 131;  // 0 to past the window
  const std::size_t piece = 1 + std::size_t{data[2]} * 97;
  data += 3;
  size -= 3;
  std::vector<std::uint8_t> stream;
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(piece, size - at);
    pelmora::RunDeflate(data + at, n, at + n == size, &stream, pixel_bytes, row_bytes);
    at += n;
  } while (at < size);

  z_stream zip{};
  if (inflateInit2(&zip, -15) != Z_OK) return 0;
  std::vector<std::uint8_t> back(size + 1);
  zip.next_in = stream.data();
  zip.avail_in = static_cast<uInt>(stream.size());
  zip.next_out = back.data();
  zip.avail_out = static_cast<uInt>(back.size());
  const int result = inflate(&zip, Z_FINISH);
  const std::size_t produced = zip.total_out;
  inflateEnd(&zip);
  if (result != Z_STREAM_END || produced != size || zip.avail_in != 0 ||
      !std::equal(data, data + size, back.begin())) {
    __builtin_trap();
  }
  return 0;
}
