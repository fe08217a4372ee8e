// The output side of a render: an encoder that receives one image's rows
// top-down in bands. Where a file wants another order (BMP is bottom-up) the
// encoder places the band; the caller never does.
#pragma once

#include <string>
#include <vector>

#include "platform/raster/bitmap.h"

namespace pelmora {

// What an encoder is told once, before the first band.
struct ImageShape {
  int width = 0;                    // pixels, > 0
  int height = 0;                   // pixels, > 0
  int bits = 24;                    // 1, 4, 8, 16 (5-6-5) or 24
  std::vector<Colour> colour_table;  // 0x00BBGGRR; 2, 16 or 256 entries at 1, 4, 8 bits
  int dpi = 96;                     // resolution the file records
};

class ImageEncoder {
 public:
  virtual ~ImageEncoder() = default;

  // Each call returns false with the reason in *error; after a failure the
  // caller makes no further call but destroys the encoder, which leaves no file.
  virtual bool Begin(const ImageShape& shape, std::string* error) = 0;
  // `rows` has the image's width, pixel format and colour table; its row 0 is
  // image row `first_row`. Bands arrive in order, top-down, and together cover
  // every row exactly once.
  virtual bool WriteRows(int first_row, const Bitmap& rows, std::string* error) = 0;
  // Completes the output (flushes, delivers). Called once, after the last band.
  virtual bool Finish(std::string* error) = 0;
};

}  // namespace pelmora
