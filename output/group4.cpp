// Group 4 from run boundaries: each row becomes the list of its changing
// elements, found a 64-bit word at a time, and the two-dimensional coding walks
// that list beside the reference row's, never the pixels. Codes gather in a
// 64-bit accumulator whose whole bytes are stored after every mode.
#include "output/group4.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace pelmora {
namespace {

struct Code {
  std::uint16_t bits;
  std::uint8_t length;
};

// Runs of 0 to 63 pixels, white then black.
constexpr Code kTerminating[2][64] = {
    // White.
    {{0x35, 8}, {0x7, 6},  {0x7, 4},  {0x8, 4},  {0xb, 4},  {0xc, 4},  {0xe, 4},  {0xf, 4},
     {0x13, 5}, {0x14, 5}, {0x7, 5},  {0x8, 5},  {0x8, 6},  {0x3, 6},  {0x34, 6}, {0x35, 6},
     {0x2a, 6}, {0x2b, 6}, {0x27, 7}, {0xc, 7},  {0x8, 7},  {0x17, 7}, {0x3, 7},  {0x4, 7},
     {0x28, 7}, {0x2b, 7}, {0x13, 7}, {0x24, 7}, {0x18, 7}, {0x2, 8},  {0x3, 8},  {0x1a, 8},
     {0x1b, 8}, {0x12, 8}, {0x13, 8}, {0x14, 8}, {0x15, 8}, {0x16, 8}, {0x17, 8}, {0x28, 8},
     {0x29, 8}, {0x2a, 8}, {0x2b, 8}, {0x2c, 8}, {0x2d, 8}, {0x4, 8},  {0x5, 8},  {0xa, 8},
     {0xb, 8},  {0x52, 8}, {0x53, 8}, {0x54, 8}, {0x55, 8}, {0x24, 8}, {0x25, 8}, {0x58, 8},
     {0x59, 8}, {0x5a, 8}, {0x5b, 8}, {0x4a, 8}, {0x4b, 8}, {0x32, 8}, {0x33, 8}, {0x34, 8}},
    // Black.
    {{0x37, 10}, {0x2, 3},   {0x3, 2},   {0x2, 2},   {0x3, 3},   {0x3, 4},   {0x2, 4},
     {0x3, 5},   {0x5, 6},   {0x4, 6},   {0x4, 7},   {0x5, 7},   {0x7, 7},   {0x4, 8},
     {0x7, 8},   {0x18, 9},  {0x17, 10}, {0x18, 10}, {0x8, 10},  {0x67, 11}, {0x68, 11},
     {0x6c, 11}, {0x37, 11}, {0x28, 11}, {0x17, 11}, {0x18, 11}, {0xca, 12}, {0xcb, 12},
     {0xcc, 12}, {0xcd, 12}, {0x68, 12}, {0x69, 12}, {0x6a, 12}, {0x6b, 12}, {0xd2, 12},
     {0xd3, 12}, {0xd4, 12}, {0xd5, 12}, {0xd6, 12}, {0xd7, 12}, {0x6c, 12}, {0x6d, 12},
     {0xda, 12}, {0xdb, 12}, {0x54, 12}, {0x55, 12}, {0x56, 12}, {0x57, 12}, {0x64, 12},
     {0x65, 12}, {0x52, 12}, {0x53, 12}, {0x24, 12}, {0x37, 12}, {0x38, 12}, {0x27, 12},
     {0x28, 12}, {0x58, 12}, {0x59, 12}, {0x2b, 12}, {0x2c, 12}, {0x5a, 12}, {0x66, 12},
     {0x67, 12}},
};
// Runs of 64, 128, ... 2560 pixels by the run over 64 (nothing under 64), white
// then black; from 1792 on, the codes are the same for both colours.
constexpr Code kMakeUp[2][41] = {
    // White.
    {{0, 0},     {0x1b, 5},  {0x12, 5},  {0x17, 6},  {0x37, 7},  {0x36, 8},  {0x37, 8},
     {0x64, 8},  {0x65, 8},  {0x68, 8},  {0x67, 8},  {0xcc, 9},  {0xcd, 9},  {0xd2, 9},
     {0xd3, 9},  {0xd4, 9},  {0xd5, 9},  {0xd6, 9},  {0xd7, 9},  {0xd8, 9},  {0xd9, 9},
     {0xda, 9},  {0xdb, 9},  {0x98, 9},  {0x99, 9},  {0x9a, 9},  {0x18, 6},  {0x9b, 9},
     {0x8, 11},  {0xc, 11},  {0xd, 11},  {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12},
     {0x16, 12}, {0x17, 12}, {0x1c, 12}, {0x1d, 12}, {0x1e, 12}, {0x1f, 12}},
    // Black.
    {{0, 0},     {0xf, 10},  {0xc8, 12}, {0xc9, 12}, {0x5b, 12}, {0x33, 12}, {0x34, 12},
     {0x35, 12}, {0x6c, 13}, {0x6d, 13}, {0x4a, 13}, {0x4b, 13}, {0x4c, 13}, {0x4d, 13},
     {0x72, 13}, {0x73, 13}, {0x74, 13}, {0x75, 13}, {0x76, 13}, {0x77, 13}, {0x52, 13},
     {0x53, 13}, {0x54, 13}, {0x55, 13}, {0x5a, 13}, {0x5b, 13}, {0x64, 13}, {0x65, 13},
     {0x8, 11},  {0xc, 11},  {0xd, 11},  {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12},
     {0x16, 12}, {0x17, 12}, {0x1c, 12}, {0x1d, 12}, {0x1e, 12}, {0x1f, 12}},
};

constexpr Code kPass = {0x1, 4};        // 0001
constexpr Code kHorizontal = {0x1, 3};  // 001
// By a1 - b1, from -3 to 3: VL3 ... V0 ... VR3.
constexpr Code kVertical[] = {{0x2, 7}, {0x2, 6}, {0x2, 3}, {0x1, 1}, {0x3, 3}, {0x3, 6}, {0x3, 7}};
constexpr Code kEol = {0x1, 12};

// A run of 2560 pixels or more starts with as many of this code as fit.
constexpr int kLongestMakeUp = 2560;

// Past a row's changing elements, copies of the width: where b1, b2 and a2 are
// when the row has no more, as libtiff's search for them stops at the width.
constexpr std::size_t kEnds = 4;

// Pixels are packed most significant bit first, so a word's first pixel is in
// its top bit when read big-endian.
std::uint64_t LoadBigEndian(const std::uint8_t* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, 8);
  return std::endian::native == std::endian::little ? __builtin_bswap64(word) : word;
}
void StoreBigEndian(std::uint64_t word, std::uint8_t* bytes) {
  if (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  std::memcpy(bytes, &word, 8);
}

// Codes are stored 8 bytes at a time, the whole bytes kept and the partial one
// stored again with the next codes: no branch on how full the accumulator is,
// which a drawing's codes make as good as random.
class BitWriter {
 public:
  // Room for `bytes` more, which the codes put before the next call never pass.
  void Reserve(std::size_t bytes) {
    if (m_out.size() - m_size < bytes + 8) {
      m_out.resize(std::max(m_out.size() * 2, m_size + bytes + 8));
    }
  }

  // No more than 57 bits between flushes: a horizontal mode's 53 at most.
  void Put(Code code) {
    m_bits = (m_bits << code.length) | code.bits;
    m_count += code.length;
  }
  void Flush() {
    StoreBigEndian(m_bits << (64 - m_count), m_out.data() + m_size);
    m_size += static_cast<std::size_t>(m_count / 8);
    m_count %= 8;
  }

  // Up to 25 bits left unflushed.
  void PutRun(int run, int colour) {
    for (; run >= kLongestMakeUp; run -= kLongestMakeUp) {
      Put(kMakeUp[colour][kLongestMakeUp / 64]);
      Flush();
    }
    Put(kMakeUp[colour][run / 64]);
    Put(kTerminating[colour][run % 64]);
  }

  // The codes so far, after a flush, the last byte filled out with 0 bits.
  std::vector<std::uint8_t> Finish() {
    if (m_count > 0) m_out[m_size++] = static_cast<std::uint8_t>(m_bits << (8 - m_count));
    m_out.resize(m_size);
    return std::move(m_out);
  }

 private:
  std::vector<std::uint8_t> m_out;
  std::size_t m_size = 0;
  std::uint64_t m_bits = 0;
  int m_count = 0;  // bits of m_bits not stored for good, under 8 after a flush
};

// The positions in a row where a pixel's colour differs from the one before
// (white before the first), then kEnds copies of `width`; `changes` has room for
// width + kEnds. The count of real ones.
std::size_t FindChanges(const std::uint8_t* row, int width, int* changes) {
  int* out = changes;
  std::uint64_t previous = 0;  // the last pixel of the word before
  // A word's changes are where it differs from itself shifted one pixel on;
  // white and black stretches, most words of a drawing, have none.
  const auto scan = [&](std::uint64_t word, std::uint64_t valid, int first) {
    std::uint64_t differs = (word ^ ((word >> 1) | (previous << 63))) & valid;
    previous = word & 1;
    if (differs == 0) return;
    // Reversed, the first change is the lowest bit, which the loop clears in
    // one step.
    differs = __builtin_bswap64(differs);
    differs = ((differs >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((differs & 0x0F0F0F0F0F0F0F0Fu) << 4);
    differs = ((differs >> 2) & 0x3333333333333333u) | ((differs & 0x3333333333333333u) << 2);
    differs = ((differs >> 1) & 0x5555555555555555u) | ((differs & 0x5555555555555555u) << 1);
    do {
      *out++ = first + __builtin_ctzll(differs);
      differs &= differs - 1;
    } while (differs != 0);
  };
  const int whole = width / 64;
  for (int w = 0; w < whole; ++w) {
    scan(LoadBigEndian(row + std::size_t{8} * static_cast<std::size_t>(w)), ~std::uint64_t{0},
         w * 64);
  }
  if (const int rest = width % 64; rest != 0) {
    // The bytes that hold the row's last pixels, and nothing past them.
    const std::uint8_t* tail = row + std::size_t{8} * static_cast<std::size_t>(whole);
    std::uint64_t word = 0;
    for (int i = 0; i < (rest + 7) / 8; ++i) word |= std::uint64_t{tail[i]} << (56 - 8 * i);
    scan(word, ~std::uint64_t{0} << (64 - rest), whole * 64);
  }
  const auto count = static_cast<std::size_t>(out - changes);
  std::fill_n(out, kEnds, width);
  return count;
}

}  // namespace

std::vector<std::uint8_t> EncodeGroup4(const std::uint8_t* data, std::size_t row_bytes, int width,
                                       int rows) {
  // Each list has a slot before its first change, which for the reference row
  // holds -1: b[k - 1] is readable at k = 0 and never past a0.
  const auto slots = static_cast<std::size_t>(std::max(width, 0)) + kEnds + 1;
  std::vector<int> coding(slots, -1), reference(slots, width);
  reference[0] = -1;
  std::size_t reference_count = 0;
  BitWriter writer;
  for (int y = 0; y < rows; ++y) {
    const std::size_t count =
        FindChanges(data + static_cast<std::size_t>(y) * row_bytes, width, coding.data() + 1);
    // Each mode codes at least one changing element of the row, or passes two
    // of the reference row; none takes more than 53 bits but for the 12 of
    // each 2560 pixels of a long run.
    writer.Reserve(7 * count + reference_count + static_cast<std::size_t>(width) / 1024 + 32);
    const int* a = coding.data() + 1;
    const int* b = reference.data() + 1;
    // a[i] is a1, the row's first change past a0; as changes alternate from
    // white to black, i is even where a0 is white. b[k] is b1, the reference's
    // first change past a0 with k of i's parity. a0 starts at 0 for the white
    // pixel before the row, as libtiff has it: the first run counts from 0.
    int a0 = 0;
    std::size_t i = 0, k = 0;
    for (;;) {
      const int a1 = a[i], b1 = b[k], b2 = b[k + 1];
      if (b2 < a1) {
        writer.Put(kPass);
        writer.Flush();
        a0 = b2;
        k += 2;
        continue;
      }
      if (const int d = a1 - b1; d >= -3 && d <= 3) {
        writer.Put(kVertical[d + 3]);
        writer.Flush();
        a0 = a1;
        i += 1;
        if (a0 >= width) break;
        // The colour turns, and b1 with it: the reference's change before the
        // old b1 if that is past a1 (a short run there), else the first past a1
        // after the old b1.
        if (b[k - 1] > a0) {
          k -= 1;
        } else {
          for (k += 1; b[k] <= a0;) k += 2;
        }
      } else {
        const int a2 = a[i + 1];
        const int colour = static_cast<int>(i & 1);
        writer.Put(kHorizontal);
        writer.PutRun(a1 - a0, colour);
        writer.PutRun(a2 - a1, colour ^ 1);
        writer.Flush();
        a0 = a2;
        i += 2;
        if (a0 >= width) break;
        while (b[k] <= a0) k += 2;
      }
    }
    coding.swap(reference);
    reference_count = count;
  }
  // EOFB: two EOLs.
  writer.Reserve(8);
  writer.Put(kEol);
  writer.Put(kEol);
  writer.Flush();
  return writer.Finish();
}

}  // namespace pelmora
