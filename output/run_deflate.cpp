#include "output/run_deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmora {
namespace {

constexpr int kMaxBits = 15;              // the literal/length and distance codes
constexpr int kMaxCodeLengthBits = 7;     // the code lengths' own code
constexpr int kLiteralLengthCodes = 286;  // 0-255 bytes, 256 end of block, 257-285 lengths
constexpr int kDistanceCodes = 30;
constexpr int kCodeLengthCodes = 19;
constexpr std::uint16_t kEndOfBlock = 256;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 258;
constexpr std::size_t kMaxStored = 65535;
// Symbols per block: a block's header (a hundred bytes or so) is lost among
// them, and the codes still follow a sheet that changes from region to region.
constexpr std::size_t kBlockSymbols = std::size_t{1} << 15;

// A symbol in a block: a byte (0-255), or a repeat of length 3 to 258 at the
// k-th of a piece's distances (256 + 256 k + length - 3).
using Symbol = std::uint16_t;
constexpr int kMaxDistances = 3;
constexpr std::size_t kSymbols = 256 + 256 * kMaxDistances;

// The distances a piece's repeats may have (the byte, the pixel and the row
// before), and their codes.
struct Distances {
  int count = 0;
  std::array<std::size_t, kMaxDistances> value{};
  std::array<int, kMaxDistances> code{};
  std::array<int, kMaxDistances> extra_bits{};
  std::array<std::uint32_t, kMaxDistances> extra{};

  // Distances past deflate's window, or given already, are left out.
  void Add(std::size_t distance) {
    static const std::uint32_t kBase[30] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    if (distance == 0 || distance > 32768 || count == kMaxDistances) return;
    for (int k = 0; k < count; ++k) {
      if (value[static_cast<std::size_t>(k)] == distance) return;
    }
    int c = 0;
    while (c < 29 && kBase[c + 1] <= distance) ++c;
    const auto k = static_cast<std::size_t>(count++);
    value[k] = distance;
    code[k] = c;
    extra_bits[k] = c < 4 ? 0 : c / 2 - 1;
    extra[k] = static_cast<std::uint32_t>(distance - kBase[c]);
  }
};

struct LengthCode {
  std::uint16_t code;  // 257-285
  std::uint8_t extra_bits;
  std::uint8_t extra;
};

// Lengths 3 to 258 (index length - 3).
const std::array<LengthCode, 256>& LengthCodes() {
  static const std::array<LengthCode, 256> table = [] {
    static const int kBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int kExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::array<LengthCode, 256> t{};
    int code = 0;
    for (int length = 3; length <= 258; ++length) {
      while (code < 28 && kBase[code + 1] <= length) ++code;
      t[static_cast<std::size_t>(length - 3)] = {static_cast<std::uint16_t>(257 + code),
                                                 static_cast<std::uint8_t>(kExtraBits[code]),
                                                 static_cast<std::uint8_t>(length - kBase[code])};
    }
    return t;
  }();
  return table;
}

// Code lengths of at most `max_bits` for `count` symbols of frequencies
// `freq`: a Huffman code, its deepest leaves lifted and the shallower ones
// pushed down until the lengths again make a complete code. At least two
// symbols get a length: a code of one is incomplete, which inflaters refuse.
void BuildLengths(const std::uint32_t* freq, int count, int max_bits, std::uint8_t* lengths) {
  struct Leaf {
    std::uint64_t weight;
    int symbol;
  };
  std::array<Leaf, kLiteralLengthCodes> leaves;
  int n = 0;
  for (int s = 0; s < count; ++s) {
    lengths[s] = 0;
    if (freq[s] > 0) leaves[static_cast<std::size_t>(n++)] = {freq[s], s};
  }
  for (int s = 0; n < 2; ++s) {
    if (freq[s] == 0) leaves[static_cast<std::size_t>(n++)] = {1, s};
  }
  std::sort(leaves.begin(), leaves.begin() + n, [](const Leaf& a, const Leaf& b) {
    return a.weight != b.weight ? a.weight < b.weight : a.symbol < b.symbol;
  });

  // Two queues, the sorted leaves and the merged nodes (made in order of
  // weight); a node's parent always comes after it.
  std::array<std::uint64_t, 2 * kLiteralLengthCodes> weight;
  std::array<int, 2 * kLiteralLengthCodes> parent;
  for (int i = 0; i < n; ++i)
    weight[static_cast<std::size_t>(i)] = leaves[static_cast<std::size_t>(i)].weight;
  int next_leaf = 0, next_node = n;
  const int nodes = 2 * n - 1;
  auto take = [&](int made) {
    if (next_leaf < n && (next_node >= made || weight[static_cast<std::size_t>(next_leaf)] <=
                                                   weight[static_cast<std::size_t>(next_node)])) {
      return next_leaf++;
    }
    return next_node++;
  };
  for (int made = n; made < nodes; ++made) {
    const int a = take(made);
    const int b = take(made);
    weight[static_cast<std::size_t>(made)] =
        weight[static_cast<std::size_t>(a)] + weight[static_cast<std::size_t>(b)];
    parent[static_cast<std::size_t>(a)] = parent[static_cast<std::size_t>(b)] = made;
  }
  std::array<int, 2 * kLiteralLengthCodes> depth;
  depth[static_cast<std::size_t>(nodes - 1)] = 0;
  for (int i = nodes - 2; i >= 0; --i) {
    depth[static_cast<std::size_t>(i)] =
        depth[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])] + 1;
  }

  std::array<int, kMaxBits + 1> per_length{};
  for (int i = 0; i < n; ++i)
    ++per_length[static_cast<std::size_t>(std::min(depth[static_cast<std::size_t>(i)], max_bits))];
  // Each step moves a leaf from the longest length to below a shorter one,
  // taking 2^-max_bits off the code's Kraft sum, until the sum is exactly one.
  std::uint32_t total = 0;
  for (int bits = 1; bits <= max_bits; ++bits) {
    total += static_cast<std::uint32_t>(per_length[static_cast<std::size_t>(bits)])
             << (max_bits - bits);
  }
  while (total != (std::uint32_t{1} << max_bits)) {
    --per_length[static_cast<std::size_t>(max_bits)];
    for (int bits = max_bits - 1; bits > 0; --bits) {
      if (per_length[static_cast<std::size_t>(bits)] != 0) {
        --per_length[static_cast<std::size_t>(bits)];
        per_length[static_cast<std::size_t>(bits + 1)] += 2;
        break;
      }
    }
    --total;
  }
  // The longest codes to the rarest symbols.
  int leaf = 0;
  for (int bits = max_bits; bits >= 1; --bits) {
    for (int k = 0; k < per_length[static_cast<std::size_t>(bits)]; ++k) {
      lengths[leaves[static_cast<std::size_t>(leaf++)].symbol] = static_cast<std::uint8_t>(bits);
    }
  }
}

// Canonical codes for `lengths`, bit-reversed: deflate sends a code's first
// bit first into a stream that fills bytes from their low bit.
void BuildCodes(const std::uint8_t* lengths, int count, std::uint16_t* codes) {
  std::array<int, kMaxBits + 2> per_length{};
  for (int s = 0; s < count; ++s) ++per_length[lengths[s]];
  per_length[0] = 0;
  std::array<unsigned, kMaxBits + 2> next{};
  unsigned code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + static_cast<unsigned>(per_length[static_cast<std::size_t>(bits - 1)])) << 1;
    next[static_cast<std::size_t>(bits)] = code;
  }
  for (int s = 0; s < count; ++s) {
    const int bits = lengths[s];
    if (bits == 0) {
      codes[s] = 0;
      continue;
    }
    unsigned c = next[static_cast<std::size_t>(bits)]++, reversed = 0;
    for (int b = 0; b < bits; ++b, c >>= 1) reversed = (reversed << 1) | (c & 1);
    codes[s] = static_cast<std::uint16_t>(reversed);
  }
}

// Bits into bytes, low bit first, appended to a vector: Reserve makes room,
// the bits are put through a pointer, End cuts the vector to what was written.
class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>* out) : m_buffer(out), m_start(out->size()) {}

  // Room for `bytes` more bytes, and the 8 that a word's store may pass the end by.
  void Reserve(std::size_t bytes) {
    const std::size_t used = Used();
    if (m_buffer->size() < used + bytes + 16) {
      m_buffer->resize(std::max(used + bytes + 16, m_buffer->size() + m_buffer->size() / 2));
    }
    m_out = m_buffer->data() + used;
  }
  // `count` at most 32.
  void Put(std::uint64_t bits, int count) {
    m_bits |= bits << m_count;
    m_count += count;
    Spill();
  }
  // The whole bytes of the bits held, stored as a word: the bytes past them
  // are overwritten later.
  void Spill() {
    std::memcpy(m_out, &m_bits, 8);
    m_out += m_count >> 3;
    m_bits >>= m_count & 56;
    m_count &= 7;
  }
  // The bits so far, the last byte padded with zeros.
  void Align() {
    if (m_count > 0) {
      *m_out++ = static_cast<std::uint8_t>(m_bits);
      m_bits = 0;
      m_count = 0;
    }
  }
  // Whole bytes, after Align.
  void Bytes(const std::uint8_t* data, std::size_t size) {
    if (size > 0) std::memcpy(m_out, data, size);
    m_out += size;
  }
  // After Align.
  void End() { m_buffer->resize(Used()); }

  // For a hot loop to hold in registers, and give back.
  std::uint8_t* m_out = nullptr;
  std::uint64_t m_bits = 0;
  int m_count = 0;

 private:
  // Before the first Reserve, what `out` held.
  std::size_t Used() const {
    return m_out ? static_cast<std::size_t>(m_out - m_buffer->data()) : m_start;
  }

  std::vector<std::uint8_t>* m_buffer;
  std::size_t m_start;
};

constexpr int kTokenExtraBits[kCodeLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                   0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr int kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                    11, 4,  12, 3, 13, 2, 14, 1, 15};

// A block's codes and header, from its symbols' counts.
struct BlockCode {
  std::array<std::uint8_t, kLiteralLengthCodes + kDistanceCodes> lengths{};
  int literal_count = 257;
  int distance_count = 1;
  struct Token {
    std::uint8_t symbol;
    std::uint8_t extra;
  };
  std::array<Token, kLiteralLengthCodes + kDistanceCodes> tokens;
  int token_count = 0;
  std::array<std::uint32_t, kCodeLengthCodes> length_freq{};
  std::array<std::uint8_t, kCodeLengthCodes> length_lengths{};
  int order_count = kCodeLengthCodes;
  std::uint64_t bits = 0;  // the whole block, header to end of block

  // `counts`: of each Symbol. The end of block is counted here.
  BlockCode(const std::uint32_t* counts, const Distances& distances) {
    const auto& length_codes = LengthCodes();
    std::array<std::uint32_t, kLiteralLengthCodes> literal_freq{};
    std::array<std::uint32_t, kDistanceCodes> distance_freq{};
    std::uint64_t extra_bits = 0;
    for (int s = 0; s < 256; ++s) literal_freq[static_cast<std::size_t>(s)] = counts[s];
    for (std::size_t k = 0; k < static_cast<std::size_t>(distances.count); ++k) {
      for (std::size_t l = 0; l < 256; ++l) {
        const std::uint32_t n = counts[256 + 256 * k + l];
        literal_freq[length_codes[l].code] += n;
        distance_freq[static_cast<std::size_t>(distances.code[k])] += n;
        extra_bits += std::uint64_t{n} * static_cast<std::uint64_t>(length_codes[l].extra_bits +
                                                                    distances.extra_bits[k]);
      }
    }
    literal_freq[kEndOfBlock] = 1;
    std::uint8_t* literal_lengths = lengths.data();
    std::uint8_t* distance_lengths = lengths.data() + kLiteralLengthCodes;
    BuildLengths(literal_freq.data(), kLiteralLengthCodes, kMaxBits, literal_lengths);
    BuildLengths(distance_freq.data(), kDistanceCodes, kMaxBits, distance_lengths);
    literal_count = kLiteralLengthCodes;
    while (literal_count > 257 && literal_lengths[literal_count - 1] == 0) --literal_count;
    distance_count = kDistanceCodes;
    while (distance_count > 1 && distance_lengths[distance_count - 1] == 0) --distance_count;

    // The code lengths, run-length coded (16: the last again 3-6 times, 17:
    // 3-10 zeros, 18: 11-138 zeros), as one sequence across both codes.
    std::array<std::uint8_t, kLiteralLengthCodes + kDistanceCodes> sequence;
    std::copy_n(literal_lengths, literal_count, sequence.begin());
    std::copy_n(distance_lengths, distance_count, sequence.begin() + literal_count);
    const int sequence_count = literal_count + distance_count;
    auto token = [&](int symbol, int extra) {
      tokens[static_cast<std::size_t>(token_count++)] = {static_cast<std::uint8_t>(symbol),
                                                         static_cast<std::uint8_t>(extra)};
      ++length_freq[static_cast<std::size_t>(symbol)];
    };
    for (int i = 0; i < sequence_count;) {
      const int value = sequence[static_cast<std::size_t>(i)];
      int run = 1;
      while (i + run < sequence_count && sequence[static_cast<std::size_t>(i + run)] == value) {
        ++run;
      }
      i += run;
      if (value == 0) {
        for (; run >= 11; run -= std::min(run, 138)) token(18, std::min(run, 138) - 11);
        if (run >= 3) {
          token(17, run - 3);
          run = 0;
        }
        for (; run > 0; --run) token(0, 0);
      } else {
        token(value, 0);
        --run;
        for (; run >= 3; run -= std::min(run, 6)) token(16, std::min(run, 6) - 3);
        for (; run > 0; --run) token(value, 0);
      }
    }
    BuildLengths(length_freq.data(), kCodeLengthCodes, kMaxCodeLengthBits, length_lengths.data());
    while (order_count > 4 &&
           length_lengths[static_cast<std::size_t>(kCodeLengthOrder[order_count - 1])] == 0) {
      --order_count;
    }

    bits = 3 + 5 + 5 + 4 + 3 * static_cast<std::uint64_t>(order_count);
    for (int s = 0; s < kCodeLengthCodes; ++s) {
      bits += std::uint64_t{length_freq[static_cast<std::size_t>(s)]} *
              static_cast<std::uint64_t>(length_lengths[static_cast<std::size_t>(s)] +
                                         kTokenExtraBits[s]);
    }
    for (int s = 0; s < kLiteralLengthCodes; ++s) {
      bits += std::uint64_t{literal_freq[static_cast<std::size_t>(s)]} * literal_lengths[s];
    }
    bits += extra_bits;
    for (int s = 0; s < kDistanceCodes; ++s) {
      bits += std::uint64_t{distance_freq[static_cast<std::size_t>(s)]} * distance_lengths[s];
    }
  }

  void WriteHeader(bool final, BitWriter* writer) const {
    std::array<std::uint16_t, kCodeLengthCodes> codes;
    BuildCodes(length_lengths.data(), kCodeLengthCodes, codes.data());
    writer->Put((final ? 1 : 0) | (2 << 1), 3);
    writer->Put(static_cast<std::uint64_t>(literal_count - 257), 5);
    writer->Put(static_cast<std::uint64_t>(distance_count - 1), 5);
    writer->Put(static_cast<std::uint64_t>(order_count - 4), 4);
    for (int i = 0; i < order_count; ++i) {
      writer->Put(length_lengths[static_cast<std::size_t>(kCodeLengthOrder[i])], 3);
    }
    for (int i = 0; i < token_count; ++i) {
      const Token t = tokens[static_cast<std::size_t>(i)];
      writer->Put(codes[t.symbol], length_lengths[t.symbol]);
      if (kTokenExtraBits[t.symbol] > 0) writer->Put(t.extra, kTokenExtraBits[t.symbol]);
    }
  }

  // Each Symbol's bits: a byte's code, or a length's code, its extra bits and
  // the distance's code, at most 35 bits; and the end of block's.
  void SymbolBits(const Distances& distances, std::uint64_t* symbol_bits,
                  std::uint8_t* symbol_count, std::uint32_t* end_bits, int* end_count) const {
    std::array<std::uint16_t, kLiteralLengthCodes + kDistanceCodes> codes;
    BuildCodes(lengths.data(), kLiteralLengthCodes, codes.data());
    BuildCodes(lengths.data() + kLiteralLengthCodes, kDistanceCodes,
               codes.data() + kLiteralLengthCodes);
    for (std::size_t s = 0; s < 256; ++s) {
      symbol_bits[s] = codes[s];
      symbol_count[s] = lengths[s];
    }
    const auto& length_codes = LengthCodes();
    for (std::size_t k = 0; k < static_cast<std::size_t>(distances.count); ++k) {
      const auto code = static_cast<std::size_t>(distances.code[k]);
      const std::uint64_t distance_code = codes[kLiteralLengthCodes + code];
      const int distance_bits = lengths[kLiteralLengthCodes + code];
      const std::uint64_t distance_extra = distances.extra[k];
      const int distance_extra_bits = distances.extra_bits[k];
      for (std::size_t l = 0; l < 256; ++l) {
        const LengthCode& lc = length_codes[l];
        const int code_bits = lengths[lc.code];
        const int at_distance = code_bits + lc.extra_bits;
        symbol_bits[256 + 256 * k + l] =
            std::uint64_t{codes[lc.code]} | std::uint64_t{lc.extra} << code_bits |
            distance_code << at_distance | distance_extra << (at_distance + distance_bits);
        symbol_count[256 + 256 * k + l] =
            static_cast<std::uint8_t>(at_distance + distance_bits + distance_extra_bits);
      }
    }
    *end_bits = codes[kEndOfBlock];
    *end_count = lengths[kEndOfBlock];
  }
};

// One piece's blocks: symbols are gathered, then each block is written coded,
// or stored when that is smaller.
class BlockWriter {
 public:
  // Symbols a block may hold; a run adds at most a few past the limit.
  static constexpr std::size_t kLimit = kBlockSymbols - 4;

  BlockWriter(const std::uint8_t* data, const Distances& distances, std::vector<std::uint8_t>* out)
      : m_data(data), m_distances(distances), m_writer(out), m_symbols(kBlockSymbols) {}

  Symbol* Symbols() { return m_symbols.data(); }
  std::uint32_t* Counts() { return m_counts.data(); }

  // The first `count` symbols as a block, covering the input up to `end`.
  void Flush(std::size_t count, std::size_t end, bool final) {
    const std::size_t start = m_block_start;
    m_block_start = end;
    const BlockCode code(m_counts.data(), m_distances);
    m_counts.fill(0);
    const std::size_t bytes = end - start;
    const std::uint64_t stored = 3 + 7 +
                                 32 * ((bytes + kMaxStored - 1) / kMaxStored + (bytes == 0)) +
                                 8 * std::uint64_t{bytes};
    m_writer.Reserve(static_cast<std::size_t>(std::min(code.bits, stored) / 8) + 16);
    if (stored < code.bits) {
      std::size_t offset = start;
      do {
        const std::size_t n = std::min(kMaxStored, end - offset);
        m_writer.Put(final && offset + n == end ? 1 : 0, 3);
        m_writer.Align();
        const std::uint8_t head[4] = {
            static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
            static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)};
        m_writer.Bytes(head, 4);
        m_writer.Bytes(m_data + offset, n);
        offset += n;
      } while (offset < end);
      return;
    }
    code.WriteHeader(final, &m_writer);
    std::array<std::uint64_t, kSymbols> symbol_bits;
    std::array<std::uint8_t, kSymbols> symbol_count;
    std::uint32_t end_bits;
    int end_count;
    code.SymbolBits(m_distances, symbol_bits.data(), symbol_count.data(), &end_bits, &end_count);
    // The writer's state in locals: its bytes could alias anything.
    std::uint8_t* out = m_writer.m_out;
    std::uint64_t held = m_writer.m_bits;
    int held_count = m_writer.m_count;
    const Symbol* symbols = m_symbols.data();
    for (std::size_t i = 0; i < count; ++i) {
      const Symbol s = symbols[i];
      held |= symbol_bits[s] << held_count;
      held_count += symbol_count[s];
      std::memcpy(out, &held, 8);
      out += held_count >> 3;
      held >>= held_count & 56;
      held_count &= 7;
    }
    m_writer.m_out = out;
    m_writer.m_bits = held;
    m_writer.m_count = held_count;
    m_writer.Put(end_bits, end_count);
  }

  // An empty stored block: the piece ends on a byte boundary, and joins.
  void Sync() {
    m_writer.Reserve(16);
    m_writer.Put(0, 3);
    m_writer.Align();
    const std::uint8_t head[4] = {0, 0, 0xFF, 0xFF};
    m_writer.Bytes(head, 4);
    m_writer.End();
  }
  // The final block's last byte, padded.
  void Close() {
    m_writer.Reserve(8);
    m_writer.Align();
    m_writer.End();
  }

 private:
  const std::uint8_t* m_data;
  Distances m_distances;
  BitWriter m_writer;
  std::vector<Symbol> m_symbols;
  std::array<std::uint32_t, kSymbols> m_counts{};
  std::size_t m_block_start = 0;
};

// Bit j set where byte j differs from the byte `distance` before it, or has
// none before it in the piece, and at `size`: where repeats at that distance
// end. 64 bytes a word.
void RepeatEnds(const std::uint8_t* data, std::size_t size, std::size_t distance,
                std::vector<std::uint64_t>* ends) {
  ends->assign(size / 64 + 2, 0);
  std::uint64_t* words = ends->data();
  auto scalar = [&](std::size_t from, std::size_t to) {
    for (std::size_t j = from; j < to; ++j) {
      if (j < distance || data[j] != data[j - distance])
        words[j / 64] |= std::uint64_t{1} << (j % 64);
    }
  };
  const std::size_t whole = size / 64 * 64;
  std::size_t j = std::min<std::size_t>((distance + 63) / 64 * 64, whole);
  scalar(0, j);
  for (; j < whole; j += 64) {
#if defined(__SSE2__)
    std::uint64_t same = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + j + 16 * k));
      const __m128i back =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + j + 16 * k - distance));
      same |=
          std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(now, back)))}
          << (16 * k);
    }
    words[j / 64] = ~same;
#else
    scalar(j, j + 64);
#endif
  }
  scalar(whole, size);
  words[size / 64] |= std::uint64_t{1} << (size % 64);
}

// How many bytes from `at` on repeat those `distance` before them (`ends`
// from RepeatEnds), up to kMaxMatch or a little more.
std::size_t RepeatLength(const std::uint64_t* ends, std::size_t at) {
  std::size_t word = at / 64;
  const std::uint64_t first = ends[word] >> (at % 64);
  if (first != 0) return static_cast<std::size_t>(std::countr_zero(first));
  // No further than a repeat may reach: a blank sheet is one long run.
  for (std::size_t length = 64 - at % 64; length < kMaxMatch; length += 64) {
    if (ends[++word] != 0) return length + static_cast<std::size_t>(std::countr_zero(ends[word]));
  }
  return kMaxMatch;
}

}  // namespace

void RunDeflate(const std::uint8_t* data, std::size_t size, bool last,
                std::vector<std::uint8_t>* out, int pixel_bytes, std::size_t row_bytes) {
  Distances distances;
  distances.Add(1);
  distances.Add(static_cast<std::size_t>(std::max(pixel_bytes, 1)));
  distances.Add(row_bytes);
  BlockWriter blocks(data, distances, out);
  Symbol* symbols = blocks.Symbols();
  std::uint32_t* counts = blocks.Counts();
  thread_local std::array<std::vector<std::uint64_t>, kMaxDistances> ends;
  std::array<const std::uint64_t*, kMaxDistances> end_words{};
  for (std::size_t k = 0; k < static_cast<std::size_t>(distances.count); ++k) {
    RepeatEnds(data, size, distances.value[k], &ends[k]);
    end_words[k] = ends[k].data();
  }
  std::size_t count = 0;
  // Greedy: the longest repeat, of the byte before (paper, straight lines),
  // the pixel before (a coloured line) or the row above (what continues
  // down the sheet), the nearest of equals; else a byte. Without branches:
  // bytes and repeats come in no order a branch could learn.
  for (std::size_t i = 0; i < size;) {
    std::size_t length = std::min(RepeatLength(end_words[0], i), kMaxMatch);
    std::size_t which = 0;
    for (std::size_t k = 1; k < static_cast<std::size_t>(distances.count); ++k) {
      const std::size_t n = std::min(RepeatLength(end_words[k], i), kMaxMatch);
      which = n > length ? k : which;
      length = std::max(n, length);
    }
    const bool repeat = length >= kMinMatch;
    const auto symbol =
        static_cast<Symbol>(repeat ? 256 + 256 * which + length - kMinMatch : data[i]);
    symbols[count++] = symbol;
    ++counts[symbol];
    i += repeat ? length : 1;
    if (count >= BlockWriter::kLimit) {
      blocks.Flush(count, i, false);
      count = 0;
    }
  }
  if (count > 0 || last) blocks.Flush(count, size, last);
  if (last) {
    blocks.Close();
  } else {
    blocks.Sync();
  }
}

}  // namespace pelmora
