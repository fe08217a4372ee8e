#include "platform/fonts/shift_jis.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <memory>

namespace pelmora {
namespace {

// iconv descriptor that closes itself; invalid when the conversion is missing.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~Converter() {
    if (Valid()) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; nullopt on any invalid, unmappable or cut sequence.
  std::optional<std::string> Convert(std::string_view in) {
    if (!Valid()) return std::nullopt;
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    std::array<char, 256> buffer;
    for (;;) {
      char* dst = buffer.data();
      std::size_t dst_left = buffer.size();
      const std::size_t result =
          iconv(m_cd, src_left > 0 ? &src : nullptr, &src_left, &dst, &dst_left);
      out.append(buffer.data(), buffer.size() - dst_left);
      if (result != static_cast<std::size_t>(-1)) {
        if (src_left == 0) break;
        continue;
      }
      if (errno != E2BIG) return std::nullopt;
    }
    // Flush any shift state (none for these encodings, but iconv asks for it).
    char* dst = buffer.data();
    std::size_t dst_left = buffer.size();
    if (iconv(m_cd, nullptr, nullptr, &dst, &dst_left) == static_cast<std::size_t>(-1)) {
      return std::nullopt;
    }
    out.append(buffer.data(), buffer.size() - dst_left);
    return out;
  }

 private:
  iconv_t m_cd;
};

// Every character of code page 932 in two tables, filled once from iconv so
// that decoding a text costs a lookup per character. 0 marks a byte or pair
// that is not a character (U+0000 itself is only the single byte 0x00).
struct Cp932Tables {
  std::array<char32_t, 256> single{};
  std::array<char32_t, 256 * 256> pair{};
};

char32_t DecodeWith(Converter& to_utf32, std::string_view bytes) {
  const auto utf32 = to_utf32.Convert(bytes);
  if (!utf32 || utf32->size() != 4) return 0;
  const auto* u = reinterpret_cast<const unsigned char*>(utf32->data());
  return static_cast<char32_t>(u[0]) | (static_cast<char32_t>(u[1]) << 8) |
         (static_cast<char32_t>(u[2]) << 16) | (static_cast<char32_t>(u[3]) << 24);
}

const Cp932Tables& Tables() {
  static const std::unique_ptr<Cp932Tables> tables = [] {
    auto t = std::make_unique<Cp932Tables>();
    Converter to_utf32("UTF-32LE", "CP932");
    for (int b = 1; b < 256; ++b) {
      if (IsShiftJisLeadByte(static_cast<std::uint8_t>(b))) continue;
      const char c = static_cast<char>(b);
      t->single[b] = DecodeWith(to_utf32, std::string_view(&c, 1));
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsShiftJisLeadByte(static_cast<std::uint8_t>(lead))) continue;
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        t->pair[lead * 256 + trail] = DecodeWith(to_utf32, std::string_view(bytes, 2));
      }
    }
    return t;
  }();
  return *tables;
}

}  // namespace

Cp932Char DecodeCp932Char(std::string_view bytes) {
  if (bytes.empty()) return {};
  const auto first = static_cast<std::uint8_t>(bytes[0]);
  if (!IsShiftJisLeadByte(first)) {
    if (first == 0) return {0, 1, true};
    const char32_t code = Tables().single[first];
    return {code, 1, code != 0};
  }
  if (bytes.size() < 2) return {0, 1, false};
  const auto second = static_cast<std::uint8_t>(bytes[1]);
  const char32_t code = Tables().pair[first * 256 + second];
  return {code, 2, code != 0};
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  Converter converter("UTF-8", "CP932");
  return converter.Convert(cp932);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  Converter converter("CP932", "UTF-8");
  return converter.Convert(utf8);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace pelmora
