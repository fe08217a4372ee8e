#include "platform/raster/bitmap.h"

#include <cassert>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "platform/raster/raster_writers.h"

namespace pelmora {

namespace {

// Sheets are hundreds of megabytes and lines cross them row by row: with 2 MB
// pages the processor's page table cache covers far more of them. Only a hint;
// nothing depends on it.
void AdviseHugePages(std::uint8_t* pixels, std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (size < 2 * kHuge) return;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<std::uintptr_t>(pixels) + page - 1) / page * page;
  const auto end = (reinterpret_cast<std::uintptr_t>(pixels) + size) / page * page;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)pixels;
  (void)size;
#endif
}

std::uint64_t PhysicalMemory() {
#if defined(__linux__)
  const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
  if (pages > 0 && page > 0) return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page);
#endif
  return std::numeric_limits<std::uint64_t>::max();
}

bool KnownFormat(int bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24; }

}  // namespace

void Bitmap::FreeDeleter::operator()(std::uint8_t* p) const { std::free(p); }

std::unique_ptr<Bitmap> Bitmap::Create(int width, int height, int bits_per_pixel,
                                       std::string* error) {
  auto fail = [error](const std::string& why) -> std::unique_ptr<Bitmap> {
    if (error != nullptr) *error = why;
    return nullptr;
  };
  if (width < 0 || height < 0) return fail("the bitmap size is negative");
  if (!KnownFormat(bits_per_pixel)) return fail("the pixel format is not 1, 4, 8, 16 or 24 bits");

  // Row bits, rounded up to whole 32-bit words, in 64 bits: width ≤ 2^31 and
  // bits ≤ 24 cannot overflow here.
  const std::uint64_t row_bits = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits_per_pixel);
  const std::uint64_t stride = (row_bits + 31) / 32 * 4;
  std::uint64_t size = 0;
  if (__builtin_mul_overflow(stride, static_cast<std::uint64_t>(height), &size) ||
      size > static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
    return fail("the bitmap is too large: width × height × bits overflows");
  }

  // More than the machine has would be granted by an overcommitting kernel and
  // end the process when drawing touches it; say so now instead.
  if (size > PhysicalMemory()) {
    return fail("not enough memory for the bitmap: " + std::to_string(size >> 20) +
                " MB asked, more than the machine has");
  }
  std::unique_ptr<Bitmap> bitmap(new (std::nothrow) Bitmap());
  if (!bitmap) return fail("out of memory for the bitmap");
  bitmap->m_width = width;
  bitmap->m_height = height;
  bitmap->m_bits = bits_per_pixel;
  bitmap->m_stride = static_cast<std::size_t>(stride);
  if (size > 0) {
    // calloc: the kernel hands out zero pages lazily, so a large sheet costs
    // memory only where something is drawn.
    auto* pixels = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(size), 1));
    if (pixels == nullptr) return fail("not enough memory for the bitmap's pixels");
    AdviseHugePages(pixels, static_cast<std::size_t>(size));
    bitmap->m_pixels.reset(pixels);
  }
  if (bits_per_pixel == 1) bitmap->m_table = {Rgb(0, 0, 0), Rgb(255, 255, 255)};
  return bitmap;
}

void Bitmap::SetColourTable(std::vector<Colour> table) {
  if (m_bits > 8) return;  // direct-colour formats have no table
  const std::size_t limit = std::size_t{1} << m_bits;
  if (table.size() > limit) table.resize(limit);
  for (Colour& c : table) c &= 0xFFFFFF;
  m_table = std::move(table);
  ++m_table_generation;
}

std::uint32_t Bitmap::ValueFor(Colour colour) const {
  const int r = RedOf(colour), g = GreenOf(colour), b = BlueOf(colour);
  switch (m_bits) {
    case 24:
      return colour & 0xFFFFFF;
    case 16:
      // GDI truncates each channel to its field.
      return static_cast<std::uint32_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    default: {
      std::uint32_t best = 0;
      int best_distance = std::numeric_limits<int>::max();
      for (std::size_t i = 0; i < m_table.size(); ++i) {
        const int dr = r - RedOf(m_table[i]);
        const int dg = g - GreenOf(m_table[i]);
        const int db = b - BlueOf(m_table[i]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < best_distance) {  // strict: the lowest index wins ties
          best_distance = d;
          best = static_cast<std::uint32_t>(i);
          if (d == 0) break;
        }
      }
      return best;
    }
  }
}

std::uint32_t Bitmap::ValueAt(int x, int y) const {
  assert(x >= 0 && x < m_width && y >= 0 && y < m_height);
  return raster::WithWriter(m_bits, raster::Rop::kCopy,
                            [&](auto writer) { return writer.Get(Row(y), x); });
}

Colour Bitmap::ColourAt(int x, int y) const {
  const std::uint32_t v = ValueAt(x, y);
  switch (m_bits) {
    case 24:
      return v;
    case 16: {
      const int r5 = static_cast<int>(v >> 11) & 31, g6 = static_cast<int>(v >> 5) & 63,
                b5 = static_cast<int>(v) & 31;
      // Spread each field over the whole byte, as a 5-6-5 DIB is read back.
      return Rgb((r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2));
    }
    default:
      return v < m_table.size() ? m_table[v] : Rgb(0, 0, 0);
  }
}

void Bitmap::SetValue(int x, int y, std::uint32_t value) {
  assert(x >= 0 && x < m_width && y >= 0 && y < m_height);
  raster::WithWriter(m_bits, raster::Rop::kCopy, [&](auto writer) { writer.Put(Row(y), x, value); });
}

}  // namespace pelmora
