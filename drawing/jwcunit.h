// Tjwcin: the drawing model. Loads a .jwc file whole, keeps the entity records
// as stored and decodes one record per call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

struct TJwcLine {
  float X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  std::uint8_t LineType = 0, PenColor = 0, Layer = 0;
  std::array<std::uint8_t, 3> Spare{};
};

struct TJwcArc {
  float CenterX = 0, CenterY = 0, Radius = 0, Flatness = 0;
  float StartAngle = 0, EndAngle = 0, Tilt = 0;  // degrees
  std::uint8_t LineType = 0, PenColor = 0, Layer = 0;
  std::array<std::uint8_t, 3> Spare{};
};

struct TJwcText {
  float X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  std::string Text;  // Shift-JIS bytes, at most 255
  std::uint8_t Style = 0, Layer = 0, Flags = 0;
  std::uint8_t Spare = 0;
};

struct TJwcDot {
  float X = 0, Y = 0;
  std::uint8_t Layer = 0, PenColor = 0;
  std::array<std::uint8_t, 2> Spare{};
};

struct TJwcTextStyle {
  float Height = 0, Width = 0, Spacing = 0;  // millimetres on paper
  std::int32_t PenColor = 0;
};

// Text styles of a drawing; a text record names one of 0..10, and a text naming
// another has no colour and is not drawn.
inline constexpr std::int32_t kJwcTextStyleCount = 11;

// The sheets of the paper codes 0..4 (A0..A4, landscape), millimetres.
struct JwcSheet {
  std::int32_t width_mm;
  std::int32_t height_mm;
};
inline constexpr std::array<JwcSheet, 5> kJwcSheets = {
    {{1189, 841}, {841, 594}, {594, 420}, {420, 297}, {297, 210}}};

// The first 20 bytes of every .jwc file.
inline constexpr std::string_view kJwcSignature = "jw_cad(c)data.......";

// True when `head` starts with kJwcSignature (case-sensitive).
bool JwcHasSignature(std::span<const std::byte> head);
// Reads the first 40 bytes of `file`: true when they are there and start with the
// signature. Throws std::system_error when the file cannot be opened or read.
bool JwcFileHasSignature(const std::filesystem::path& file);

class Tjwcin {
 public:
  Tjwcin();

  // 0 = loaded, 1 = read or format error (the previous drawing stays). A file
  // that cannot be opened throws std::system_error. LastError() says why.
  // Reads only the leading bytes the header's counts describe, never the rest.
  std::int32_t JwcLoadFile(const std::filesystem::path& file_name);
  // Same rules, through an open descriptor of a regular file of `file_size` bytes,
  // read from its start with pread (the descriptor's offset does not matter).
  std::int32_t JwcLoadDescriptor(int fd, std::uint64_t file_size);
  // Same rules, from memory (tests, the fuzzer).
  std::int32_t JwcLoadBytes(std::span<const std::byte> image);
  const std::string& LastError() const { return m_last_error; }

  void JwcReadMode(std::int32_t mode);

  void JwcLineData(std::int32_t index, TJwcLine& line) const;
  void JwcArcData(std::int32_t index, TJwcArc& arc) const;
  void JwcTextData(std::int32_t index, TJwcText& text) const;  // std::out_of_range
  void JwcDotData(std::int32_t index, TJwcDot& dot) const;

  std::int32_t JwcLineCount() const;
  std::int32_t JwcArcCount() const;
  std::int32_t JwcTextCount() const;
  std::int32_t JwcDotCount() const;

  void JwcLayerName(std::int32_t index, std::string& name) const;
  void JwcGroupeName(std::int32_t index, std::string& name) const;
  double JwcGroupeScale(std::int32_t index) const;
  std::uint8_t JwcSearchLayer(std::int32_t index) const;
  std::uint8_t JwcSearchGroupe(std::int32_t index) const;
  std::uint8_t JwcViewLayer(std::int32_t index) const;
  std::uint8_t JwcViewGroupe(std::int32_t index) const;
  void JwcTextStyle(std::int32_t index, TJwcTextStyle& style) const;
  bool JwcIsReal() const;
  double JwcPlotterX() const;
  double JwcPlotterY() const;
  std::int32_t JwcPaperSize() const;
  std::int32_t JwcPaperSizemm() const;
  std::int32_t JwcWindowWidth() const;

 private:
  // The reader's implementation owns the layout of its state (see jwcunit.cpp).
  struct Drawing;
  std::shared_ptr<const Drawing> m_drawing;  // never null
  std::int32_t m_read_mode = 0;
  std::string m_last_error;
};

}  // namespace pelmora
