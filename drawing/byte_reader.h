// ByteReader: the one cursor through which the reader touches file bytes. Every
// read either succeeds or throws FormatError with the absolute offset in the
// file image and a sentence saying what was being read.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pelmora {

class FormatError : public std::runtime_error {
 public:
  FormatError(std::uint64_t offset, const std::string& sentence)
      : std::runtime_error(sentence), m_offset(offset) {}
  // Byte offset in the file image where the fault was found.
  std::uint64_t Offset() const { return m_offset; }

 private:
  std::uint64_t m_offset;
};

class ByteReader {
 public:
  // `base` is the absolute offset of bytes[0] in the file image, for messages.
  // `what` names the data for "ends inside ..." messages.
  explicit ByteReader(std::span<const std::byte> bytes, std::string_view what = "the file",
                      std::uint64_t base = 0)
      : m_bytes(bytes), m_what(what), m_base(base) {}

  std::size_t Size() const { return m_bytes.size(); }
  std::size_t Position() const { return m_pos; }
  std::size_t Remaining() const { return m_bytes.size() - m_pos; }
  bool AtEnd() const { return m_pos == m_bytes.size(); }
  // Absolute offset of the cursor in the file image.
  std::uint64_t Offset() const { return m_base + m_pos; }

  // Moves to `pos` bytes from this reader's start; the end itself is allowed.
  void Seek(std::uint64_t pos) {
    if (pos > m_bytes.size()) Fail(m_base + m_bytes.size(), pos - m_bytes.size());
    m_pos = static_cast<std::size_t>(pos);
  }
  void Skip(std::uint64_t count) { Take(count); }

  // A reader over the next `count` bytes; this cursor moves past them.
  ByteReader Sub(std::uint64_t count, std::string_view what) {
    const std::uint64_t start = Offset();
    return ByteReader(Take(count, what), what, start);
  }
  ByteReader Sub(std::uint64_t count) { return Sub(count, m_what); }

  std::span<const std::byte> ReadBytes(std::uint64_t count) { return Take(count); }
  std::span<const std::byte> ReadBytes(std::uint64_t count, std::string_view what) {
    return Take(count, what);
  }

  std::uint8_t ReadU8() { return std::to_integer<std::uint8_t>(Take(1)[0]); }
  std::uint8_t PeekU8() const {
    if (m_pos >= m_bytes.size()) Fail(Offset(), 1);
    return std::to_integer<std::uint8_t>(m_bytes[m_pos]);
  }
  std::int16_t ReadI16() { return static_cast<std::int16_t>(LittleEndian<std::uint16_t>()); }
  std::int32_t ReadI32() { return static_cast<std::int32_t>(LittleEndian<std::uint32_t>()); }
  float ReadF32() { return std::bit_cast<float>(LittleEndian<std::uint32_t>()); }

  // The bytes before the first byte for which `is_stop` holds; the stop byte is
  // consumed, not returned. Throws when no stop byte comes before the end.
  template <class Pred>
  std::span<const std::byte> ReadUntil(Pred is_stop, std::string_view what) {
    const std::size_t start = m_pos;
    std::size_t pos = m_pos;
    while (pos < m_bytes.size() && !is_stop(std::to_integer<std::uint8_t>(m_bytes[pos]))) ++pos;
    if (pos == m_bytes.size()) {
      throw FormatError(m_base + start, std::string(what) + " has no terminator before the end");
    }
    m_pos = pos + 1;
    return m_bytes.subspan(start, pos - start);
  }

  // A NUL-terminated string; the NUL is consumed, not returned.
  std::string_view ReadCString(std::string_view what) {
    const std::size_t start = m_pos;
    const void* nul = std::memchr(m_bytes.data() + start, 0, m_bytes.size() - start);
    if (nul == nullptr) {
      throw FormatError(m_base + start, std::string(what) + " has no terminator before the end");
    }
    const std::size_t length = static_cast<const std::byte*>(nul) - (m_bytes.data() + start);
    m_pos = start + length + 1;
    return {reinterpret_cast<const char*>(m_bytes.data() + start), length};
  }

 private:
  template <class U>
  U LittleEndian() {
    const auto bytes = Take(sizeof(U));
    U value = 0;
    for (std::size_t i = 0; i < sizeof(U); ++i) {
      value |= static_cast<U>(std::to_integer<U>(bytes[i]) << (8 * i));
    }
    return value;
  }

  std::span<const std::byte> Take(std::uint64_t count) { return Take(count, m_what); }
  std::span<const std::byte> Take(std::uint64_t count, std::string_view what) {
    if (count > Remaining()) {
      throw FormatError(Offset(), "the file ends inside " + std::string(what) + " (" +
                                      std::to_string(count) + " bytes needed, " +
                                      std::to_string(Remaining()) + " left)");
    }
    const auto bytes = m_bytes.subspan(m_pos, static_cast<std::size_t>(count));
    m_pos += static_cast<std::size_t>(count);
    return bytes;
  }

  [[noreturn]] void Fail(std::uint64_t offset, std::uint64_t missing) const {
    throw FormatError(offset, "the file ends inside " + std::string(m_what) + " (" +
                                  std::to_string(missing) + " more bytes needed)");
  }

  std::span<const std::byte> m_bytes;
  std::string_view m_what;  // a literal: outlives every reader
  std::uint64_t m_base;
  std::size_t m_pos = 0;
};

}  // namespace pelmora
