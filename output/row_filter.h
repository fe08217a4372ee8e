// The row filters of PNG (also a PDF Flate stream's /Predictor 15): each row
// becomes a filter byte and the row's differences from its neighbours, which
// turn a line drawing's white paper and straight lines into runs of zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmora {

enum class RowFilter {
  kNone,
  kSub,
  kUp,
  kAverage,
  kPaeth,
  kAdaptive,  // per row, the filter whose output has the least sum of |signed byte|
};

// The filter of every depth and effort. Measured with RunDeflate: Up turns paper and vertical lines
// into zeros for one subtraction a byte. On the dense A0 sample at 360 dpi unfiltered RGB rows are
// smaller still (27.9 MB against Up's 31.5: a coloured line repeats its pixel as it stands, less
// often as differences), but on the floor plan they come to half as large again as Up's 151 KB, for
// the rows above are out of reach. The best effort keeps Up too: each row's least sum of |signed
// byte| made the dense sheet's 1-bit PNG larger, and Zopfli smaller than RunDeflate on none of its
// pieces.
constexpr RowFilter kDrawingFilter = RowFilter::kUp;

class RowFilterer {
 public:
  // `row_bytes` per row, `pixel_bytes` per pixel (at least 1, as PNG counts).
  RowFilterer(std::size_t row_bytes, std::size_t pixel_bytes, RowFilter filter);

  // Where the next row goes (row_bytes), before Filter.
  std::uint8_t* Row() { return m_current.data(); }
  // The filter byte and the filtered row of Row(), row_bytes + 1 bytes; rows top-down.
  const std::vector<std::uint8_t>& Filter();

 private:
  void Apply(int type, const std::uint8_t* row, std::uint8_t* out) const;

  std::size_t m_row_bytes;
  std::size_t m_pixel_bytes;
  RowFilter m_filter;
  std::vector<std::uint8_t> m_current;
  std::vector<std::uint8_t> m_previous;  // zeros above the first row
  std::vector<std::uint8_t> m_out;
  std::vector<std::uint8_t> m_trial;
};

}  // namespace pelmora
