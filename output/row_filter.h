// The row filters of PNG (also a PDF Flate stream's /Predictor 15): each row
// becomes a filter byte and the row's differences from its neighbours, which
// turn a line drawing's white paper and straight lines into runs of zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/image_format.h"

namespace pelmora {

enum class RowFilter {
  kNone,
  kSub,
  kUp,
  kAverage,
  kPaeth,
  kAdaptive,  // per row, the filter whose output has the least sum of |signed byte|
};

// The filter for rows of `bits` per pixel (8-bit RGB rows above 8).
RowFilter FilterForImage(int bits, Compression effort);

class RowFilterer {
 public:
  // `row_bytes` per row, `pixel_bytes` per pixel (at least 1, as PNG counts).
  RowFilterer(std::size_t row_bytes, std::size_t pixel_bytes, RowFilter filter);

  // The filter byte and the filtered row, row_bytes + 1 bytes; rows top-down.
  const std::vector<std::uint8_t>& Filter(const std::uint8_t* row);

 private:
  void Apply(int type, const std::uint8_t* row, std::uint8_t* out) const;

  std::size_t m_row_bytes;
  std::size_t m_pixel_bytes;
  RowFilter m_filter;
  std::vector<std::uint8_t> m_previous;  // zeros above the first row
  std::vector<std::uint8_t> m_out;
  std::vector<std::uint8_t> m_trial;
};

}  // namespace pelmora
