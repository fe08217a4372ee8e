// JwcWriter: builds .jwc drawings of either variant for tests, samples and
// benchmarks. Everything has a sensible default, so a test states only what it
// is about:
//
//   const auto bytes = JwcWriter()
//       .Paper(3).WindowWidth(640)
//       .AddLine({.X1 = 0, .Y1 = 0, .X2 = 320, .Y2 = 100, .LineType = 1, .PenColor = 2})
//       .AddText({.X1 = 10, .Y1 = 10, .X2 = 60, .Y2 = 10, .Text = Cp932("居間")})
//       .Bytes();
//
// The knobs at the end (HeaderField, HeaderText, VariantByte, Trailing) make
// malformed files; JwcImage tells where each section landed so a test can cut or
// damage one precisely.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/jwcunit.h"

namespace pelmora {

enum class JwcVariant {
  kReal,     // byte 22 = 'f', group scales as float32
  kInteger,  // group scales as int16
};

// An arc exactly as stored: flatness × 10000, angles in degrees × 65536.
struct JwcArcRecord {
  float CenterX = 0, CenterY = 0, Radius = 0;
  std::int16_t Flatness = 10000;                        // 10000 = circle
  std::int32_t StartAngle = 0, EndAngle = 0, Tilt = 0;  // 5898240 = 90 degrees
  std::uint8_t LineType = 1, PenColor = 1, Layer = 0;
  std::array<std::uint8_t, 3> Spare{};
};

// Where the sections of a built file start (byte offsets).
struct JwcImage {
  std::vector<std::byte> bytes;
  std::size_t header_text = 200;
  std::size_t state_block = 0;  // 1861 real, 1829 integer
  std::size_t lines = 0;        // = state_block + 560
  std::size_t arcs = 0;
  std::size_t texts = 0;
  std::size_t strings = 0;
  std::size_t dots = 0;
  std::size_t layer_names = 0;
  std::size_t group_names = 0;
  std::size_t end = 0;  // just after the group names (trailing bytes follow)
};

class JwcWriter {
 public:
  explicit JwcWriter(JwcVariant variant = JwcVariant::kReal);

  // Entities, in file order within their kind.
  JwcWriter& AddLine(const TJwcLine& line);
  // Angles in degrees and flatness as a ratio, rounded to the stored fixed point.
  JwcWriter& AddArc(const TJwcArc& arc);
  JwcWriter& AddArcRecord(const JwcArcRecord& arc);
  // `text.Text` is written whole (it may exceed 255 bytes) and must hold no NUL.
  // `unread` fills the 4 bytes at record offset 16 that the reader skips.
  JwcWriter& AddText(const TJwcText& text, std::array<std::uint8_t, 4> unread = {});
  JwcWriter& AddDot(const TJwcDot& dot);

  // Header text fields (paper code 0..4 = A0..A4; any value is written).
  JwcWriter& Paper(std::int32_t code);
  JwcWriter& WindowWidth(std::int32_t units);
  // Fields 14 and 15, written as given (e.g. "420.5").
  JwcWriter& Plotter(std::string x, std::string y);

  // Text style 0..10: pen number and sizes in tenths of a millimetre.
  JwcWriter& TextStyle(int index, std::int16_t pen, std::int16_t width_tenths,
                       std::int16_t height_tenths, std::int16_t spacing_tenths);
  // In the integer variant the scale is rounded to int16.
  JwcWriter& GroupScale(int group, float scale);
  JwcWriter& GroupView(int group, std::uint8_t state);
  JwcWriter& LayerView(int layer, std::uint8_t state);
  JwcWriter& GroupSearch(int group, std::uint8_t state);
  JwcWriter& LayerSearch(int layer, std::uint8_t state);
  // Raw bytes, cut to 8 (16) and padded with NULs.
  JwcWriter& LayerName(int layer, std::string_view bytes);
  JwcWriter& GroupName(int group, std::string_view bytes);

  // --- knobs for malformed files ---
  // Replaces the generated text of one header field (fields 0..30 are written;
  // a higher index extends the header text with empty fields up to it).
  JwcWriter& HeaderField(int index, std::string text);
  // Writes only fields 0..count-1 of the generated header text.
  JwcWriter& HeaderFieldCount(int count);
  // Replaces the whole generated header text with these bytes, terminator
  // included (nothing is appended; the bytes up to offset 600 are zero).
  JwcWriter& HeaderText(std::string raw);
  // Byte 22 as written (overrides the variant's byte, not the layout).
  JwcWriter& VariantByte(std::uint8_t value);
  // Bytes appended after the group names.
  JwcWriter& Trailing(std::string bytes);

  JwcImage Build() const;
  std::vector<std::byte> Bytes() const { return Build().bytes; }
  // Throws std::system_error when the file cannot be written.
  void WriteFile(const std::filesystem::path& path) const;

  std::size_t LineCount() const { return m_lines.size(); }
  std::size_t ArcCount() const { return m_arcs.size(); }
  std::size_t TextCount() const { return m_texts.size(); }
  std::size_t DotCount() const { return m_dots.size(); }

 private:
  struct Text {
    TJwcText record;
    std::array<std::uint8_t, 4> unread;
  };
  struct Style {
    std::int16_t pen, width, height, spacing;
  };

  std::string GeneratedHeaderText() const;

  JwcVariant m_variant;
  std::vector<TJwcLine> m_lines;
  std::vector<JwcArcRecord> m_arcs;
  std::vector<Text> m_texts;
  std::vector<TJwcDot> m_dots;
  std::int32_t m_paper = 3;
  std::int32_t m_window_width = 1680;  // 4 drawing units per millimetre of A3
  std::string m_plotter_x = "0.0", m_plotter_y = "0.0";
  std::array<Style, 11> m_styles;
  std::array<float, 16> m_group_scales;
  std::array<std::uint8_t, 16> m_group_view, m_group_search;
  std::array<std::uint8_t, 256> m_layer_view, m_layer_search;
  std::array<std::string, 256> m_layer_names;
  std::array<std::string, 16> m_group_names;
  std::map<int, std::string> m_field_overrides;
  int m_field_count = 31;
  std::optional<std::string> m_raw_header;
  std::optional<std::uint8_t> m_variant_byte;
  std::string m_trailing;
};

// UTF-8 to code page 932 (Shift-JIS) bytes, as JW_CAD stores texts and names.
// Throws std::invalid_argument for text CP932 cannot hold.
std::string Cp932(std::string_view utf8);

}  // namespace pelmora
