// Shift-JIS (Windows code page 932) as JW_CAD texts and Windows face names use it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// Bytes 0x81-0x9F and 0xE0-0xFC start a two-byte character; every other byte
// is a character of its own.
constexpr bool IsShiftJisLeadByte(std::uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// One character decoded from the front of a byte string.
struct Cp932Char {
  char32_t code = 0;   // Unicode code point; 0 when !valid
  int length = 0;      // bytes the character spans: 1 or 2 (0 for empty input)
  bool valid = false;  // false for a byte or pair that code page 932 does not define
};

// Decodes the character at the start of `bytes`: a lead byte takes the byte
// after it (length 2 even when the pair is not a character); a lead byte that
// ends the string spans 1 byte and is invalid. Table lookups, no allocation.
Cp932Char DecodeCp932Char(std::string_view bytes);

// Appends the code point `code` to `out` as UTF-8 (1 to 4 bytes).
void AppendUtf8(std::string& out, char32_t code);

// Whole-string conversions (iconv "CP932"); nullopt when the input is not
// valid in its encoding or holds a character the other side cannot represent.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

}  // namespace pelmora
