// The pixel formats of a Bitmap, in one place (internal): how a stored value
// is read from a row (Get) and written to it (Put, Fill) in each combining
// mode. They sit below the Canvas's clipping and never test bounds: every x
// handed to them is inside the row, and every span is non-empty with x0 < x1.
#pragma once

#include <cstdint>
#include <cstring>

namespace pelmora::raster {

enum class Rop { kCopy, kXor };

template <int Bits, Rop R>
struct Writer;

// 1 bit per pixel, leftmost pixel in bit 7; value 0 or 1.
template <Rop R>
struct Writer<1, R> {
  static std::uint32_t Get(const std::uint8_t* row, int x) {
    return (row[x >> 3] >> (7 - (x & 7))) & 1u;
  }
  static void Put(std::uint8_t* row, int x, std::uint32_t v) {
    const auto mask = static_cast<std::uint8_t>(0x80u >> (x & 7));
    std::uint8_t& byte = row[x >> 3];
    if constexpr (R == Rop::kXor) {
      if (v & 1) byte ^= mask;
    } else {
      byte = static_cast<std::uint8_t>((v & 1) ? (byte | mask) : (byte & ~mask));
    }
  }
  static void Fill(std::uint8_t* row, int x0, int x1, std::uint32_t v) {
    if constexpr (R == Rop::kXor) {
      if ((v & 1) == 0) return;
    }
    const bool set = (v & 1) != 0;
    int first = x0 >> 3;
    const int last = (x1 - 1) >> 3;
    const auto head = static_cast<std::uint8_t>(0xFFu >> (x0 & 7));
    const auto tail = static_cast<std::uint8_t>(0xFF00u >> (((x1 - 1) & 7) + 1));
    auto apply = [&](std::uint8_t& byte, std::uint8_t mask) {
      if constexpr (R == Rop::kXor) {
        byte ^= mask;
      } else {
        byte = static_cast<std::uint8_t>(set ? (byte | mask) : (byte & ~mask));
      }
    };
    if (first == last) {
      apply(row[first], static_cast<std::uint8_t>(head & tail));
      return;
    }
    apply(row[first++], head);
    if (last > first) {
      if constexpr (R == Rop::kXor) {
        for (int i = first; i < last; ++i) row[i] = static_cast<std::uint8_t>(~row[i]);
      } else {
        std::memset(row + first, set ? 0xFF : 0x00, static_cast<std::size_t>(last - first));
      }
    }
    apply(row[last], tail);
  }
};

// 4 bits per pixel, leftmost pixel in the high nibble.
template <Rop R>
struct Writer<4, R> {
  static std::uint32_t Get(const std::uint8_t* row, int x) {
    return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
  }
  static void Put(std::uint8_t* row, int x, std::uint32_t v) {
    std::uint8_t& byte = row[x >> 1];
    const unsigned shift = (x & 1) ? 0u : 4u;
    const auto nibble = static_cast<std::uint8_t>((v & 0x0F) << shift);
    if constexpr (R == Rop::kXor) {
      byte ^= nibble;
    } else {
      byte = static_cast<std::uint8_t>((byte & ~(0x0Fu << shift)) | nibble);
    }
  }
  static void Fill(std::uint8_t* row, int x0, int x1, std::uint32_t v) {
    if (x0 & 1) Put(row, x0++, v);
    if (x1 > x0 && (x1 & 1)) Put(row, --x1, v);
    if (x1 <= x0) return;
    const auto both = static_cast<std::uint8_t>(((v & 0x0F) << 4) | (v & 0x0F));
    std::uint8_t* p = row + (x0 >> 1);
    const auto n = static_cast<std::size_t>((x1 - x0) >> 1);
    if constexpr (R == Rop::kXor) {
      for (std::size_t i = 0; i < n; ++i) p[i] ^= both;
    } else {
      std::memset(p, both, n);
    }
  }
};

template <Rop R>
struct Writer<8, R> {
  static std::uint32_t Get(const std::uint8_t* row, int x) { return row[x]; }
  static void Put(std::uint8_t* row, int x, std::uint32_t v) {
    if constexpr (R == Rop::kXor) {
      row[x] ^= static_cast<std::uint8_t>(v);
    } else {
      row[x] = static_cast<std::uint8_t>(v);
    }
  }
  static void Fill(std::uint8_t* row, int x0, int x1, std::uint32_t v) {
    if constexpr (R == Rop::kXor) {
      for (int x = x0; x < x1; ++x) row[x] ^= static_cast<std::uint8_t>(v);
    } else {
      std::memset(row + x0, static_cast<int>(v & 0xFF), static_cast<std::size_t>(x1 - x0));
    }
  }
};

// 5-6-5 words, little-endian.
template <Rop R>
struct Writer<16, R> {
  static std::uint32_t Get(const std::uint8_t* row, int x) {
    return static_cast<std::uint32_t>(row[2 * x] | (row[2 * x + 1] << 8));
  }
  static void Put(std::uint8_t* row, int x, std::uint32_t v) {
    std::uint8_t* p = row + 2 * x;
    if constexpr (R == Rop::kXor) {
      p[0] ^= static_cast<std::uint8_t>(v);
      p[1] ^= static_cast<std::uint8_t>(v >> 8);
    } else {
      p[0] = static_cast<std::uint8_t>(v);
      p[1] = static_cast<std::uint8_t>(v >> 8);
    }
  }
  static void Fill(std::uint8_t* row, int x0, int x1, std::uint32_t v) {
    for (int x = x0; x < x1; ++x) Put(row, x, v);
  }
};

// Blue, green, red bytes; the value is a Colour (0x00BBGGRR).
template <Rop R>
struct Writer<24, R> {
  static std::uint32_t Get(const std::uint8_t* row, int x) {
    const std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(x);
    return static_cast<std::uint32_t>(p[2] | (p[1] << 8) | (p[0] << 16));
  }
  static void Put(std::uint8_t* row, int x, std::uint32_t v) {
    std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(x);
    if constexpr (R == Rop::kXor) {
      p[0] ^= static_cast<std::uint8_t>(v >> 16);
      p[1] ^= static_cast<std::uint8_t>(v >> 8);
      p[2] ^= static_cast<std::uint8_t>(v);
    } else {
      p[0] = static_cast<std::uint8_t>(v >> 16);
      p[1] = static_cast<std::uint8_t>(v >> 8);
      p[2] = static_cast<std::uint8_t>(v);
    }
  }
  static void Fill(std::uint8_t* row, int x0, int x1, std::uint32_t v) {
    std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(x0);
    const int n = x1 - x0;
    if constexpr (R == Rop::kXor) {
      for (int i = 0; i < n; ++i, p += 3) {
        p[0] ^= static_cast<std::uint8_t>(v >> 16);
        p[1] ^= static_cast<std::uint8_t>(v >> 8);
        p[2] ^= static_cast<std::uint8_t>(v);
      }
    } else {
      // Four pixels are three 32-bit words; write them whole where the span
      // is long enough.
      const std::uint8_t b = static_cast<std::uint8_t>(v >> 16),
                         g = static_cast<std::uint8_t>(v >> 8), r = static_cast<std::uint8_t>(v);
      int i = 0;
      if (n >= 8) {
        const std::uint8_t pattern[12] = {b, g, r, b, g, r, b, g, r, b, g, r};
        for (; i + 4 <= n; i += 4, p += 12) std::memcpy(p, pattern, 12);
      }
      for (; i < n; ++i, p += 3) {
        p[0] = b;
        p[1] = g;
        p[2] = r;
      }
    }
  }
};

// The one dispatch from a bitmap's format and a mode to its writer: calls
// f(Writer<Bits, R>{}) and returns what f returns. An unknown format is taken
// as 24 bits (Bitmap::Create allows none).
template <class F>
decltype(auto) WithWriter(int bits, Rop rop, F&& f) {
  const bool x = rop == Rop::kXor;
  switch (bits) {
    case 1:
      return x ? f(Writer<1, Rop::kXor>{}) : f(Writer<1, Rop::kCopy>{});
    case 4:
      return x ? f(Writer<4, Rop::kXor>{}) : f(Writer<4, Rop::kCopy>{});
    case 8:
      return x ? f(Writer<8, Rop::kXor>{}) : f(Writer<8, Rop::kCopy>{});
    case 16:
      return x ? f(Writer<16, Rop::kXor>{}) : f(Writer<16, Rop::kCopy>{});
    default:
      return x ? f(Writer<24, Rop::kXor>{}) : f(Writer<24, Rop::kCopy>{});
  }
}

// Writers chosen at run time, for shapes whose cost lies in their geometry.
struct RowOps {
  void (*put)(std::uint8_t* row, int x, std::uint32_t v);
  void (*fill)(std::uint8_t* row, int x0, int x1, std::uint32_t v);
};

inline RowOps RowOpsFor(int bits, Rop rop) {
  return WithWriter(bits, rop, [](auto writer) {
    using W = decltype(writer);
    return RowOps{&W::Put, &W::Fill};
  });
}

}  // namespace pelmora::raster
