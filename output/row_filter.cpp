#include "output/row_filter.h"

#include <cstdlib>
#include <cstring>

namespace pelmora {
namespace {

std::uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

std::uint64_t Cost(const std::uint8_t* data, std::size_t size) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += data[i] < 128 ? data[i] : 256 - data[i];
  return sum;
}

}  // namespace

RowFilterer::RowFilterer(std::size_t row_bytes, std::size_t pixel_bytes, RowFilter filter)
    : m_row_bytes(row_bytes),
      m_pixel_bytes(pixel_bytes),
      m_filter(filter),
      m_current(row_bytes, 0),
      m_previous(row_bytes, 0),
      m_out(row_bytes + 1, 0),
      m_trial(filter == RowFilter::kAdaptive ? row_bytes + 1 : 0, 0) {}

const std::vector<std::uint8_t>& RowFilterer::Filter() {
  const std::uint8_t* row = m_current.data();
  if (m_filter != RowFilter::kAdaptive) {
    Apply(static_cast<int>(m_filter), row, m_out.data());
  } else {
    std::uint64_t best = UINT64_MAX;
    for (int type = 0; type < 5; ++type) {
      Apply(type, row, m_trial.data());
      const std::uint64_t cost = Cost(m_trial.data() + 1, m_row_bytes);
      if (cost < best) {
        best = cost;
        m_out.swap(m_trial);
      }
    }
  }
  m_previous.swap(m_current);
  return m_out;
}

void RowFilterer::Apply(int type, const std::uint8_t* row, std::uint8_t* out) const {
  const std::uint8_t* up = m_previous.data();
  const std::size_t n = m_row_bytes, bpp = m_pixel_bytes;
  out[0] = static_cast<std::uint8_t>(type);
  std::uint8_t* o = out + 1;
  switch (type) {
    case 0:
      std::memcpy(o, row, n);
      break;
    case 1:
      for (std::size_t i = 0; i < n; ++i) {
        o[i] = static_cast<std::uint8_t>(row[i] - (i >= bpp ? row[i - bpp] : 0));
      }
      break;
    case 2:
      for (std::size_t i = 0; i < n; ++i) o[i] = static_cast<std::uint8_t>(row[i] - up[i]);
      break;
    case 3:
      for (std::size_t i = 0; i < n; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        o[i] = static_cast<std::uint8_t>(row[i] - ((left + up[i]) >> 1));
      }
      break;
    default:
      for (std::size_t i = 0; i < n; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        const int corner = i >= bpp ? up[i - bpp] : 0;
        o[i] = static_cast<std::uint8_t>(row[i] - Paeth(left, up[i], corner));
      }
      break;
  }
}

}  // namespace pelmora
