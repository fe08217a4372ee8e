#include "tests/support/jwc_writer.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace pelmora {

namespace {

// Offsets of the fixed head; the reader's own constants are private to it, and
// a second, independent statement of the layout is what a fixture should be.
constexpr std::size_t kHeaderText = 200;
constexpr std::size_t kSecondText = 600;
constexpr std::size_t kStylePens = 1709;
constexpr std::size_t kStyleWidths = 1731;
constexpr std::size_t kStyleHeights = 1753;
constexpr std::size_t kStyleSpacings = 1775;
constexpr std::size_t kGroupScales = 1797;
constexpr std::size_t kHeaderTextLimit = kStylePens - kHeaderText;

class Out {
 public:
  explicit Out(std::vector<std::byte>& bytes) : m_bytes(bytes) {}
  void At(std::size_t offset) {
    if (m_bytes.size() < offset) m_bytes.resize(offset);
    m_pos = offset;
  }
  std::size_t Position() const { return m_pos; }
  void U8(std::uint8_t value) { Put(&value, 1); }
  void I16(std::int16_t value) { Little(static_cast<std::uint16_t>(value), 2); }
  void I32(std::int32_t value) { Little(static_cast<std::uint32_t>(value), 4); }
  void F32(float value) { Little(std::bit_cast<std::uint32_t>(value), 4); }
  void Text(std::string_view text) { Put(text.data(), text.size()); }
  void Padded(std::string_view text, std::size_t size) {
    Text(text.substr(0, size));
    for (std::size_t i = text.size(); i < size; ++i) U8(0);
  }

 private:
  void Little(std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) U8(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  void Put(const void* data, std::size_t size) {
    if (m_bytes.size() < m_pos + size) m_bytes.resize(m_pos + size);
    std::memcpy(m_bytes.data() + m_pos, data, size);
    m_pos += size;
  }

  std::vector<std::byte>& m_bytes;
  std::size_t m_pos = 0;
};

template <class Int>
Int FixedPoint(float value, long double one) {
  return static_cast<Int>(std::nearbyint(static_cast<long double>(value) * one));
}

void CheckIndex(int index, int size, const char* what) {
  if (index < 0 || index >= size) {
    throw std::out_of_range(std::string(what) + " index " + std::to_string(index));
  }
}

}  // namespace

JwcWriter::JwcWriter(JwcVariant variant) : m_variant(variant) {
  // Character sizes of styles 1..10 in millimetres (style 0: 3 mm), spacing 0,
  // pens cycling through 1..7.
  constexpr std::int16_t kSizes[11] = {30, 20, 25, 30, 40, 50, 60, 70, 80, 90, 100};
  for (int i = 0; i < 11; ++i) {
    m_styles[i] = {static_cast<std::int16_t>(1 + i % 7), kSizes[i], kSizes[i], 0};
  }
  m_group_scales.fill(1.0f);
  m_group_view.fill(1);
  m_group_search.fill(1);
  m_layer_view.fill(1);
  m_layer_search.fill(1);
}

JwcWriter& JwcWriter::AddLine(const TJwcLine& line) {
  m_lines.push_back(line);
  return *this;
}

JwcWriter& JwcWriter::AddArc(const TJwcArc& arc) {
  return AddArcRecord({.CenterX = arc.CenterX,
                       .CenterY = arc.CenterY,
                       .Radius = arc.Radius,
                       .Flatness = FixedPoint<std::int16_t>(arc.Flatness, 10000),
                       .StartAngle = FixedPoint<std::int32_t>(arc.StartAngle, 65536),
                       .EndAngle = FixedPoint<std::int32_t>(arc.EndAngle, 65536),
                       .Tilt = FixedPoint<std::int32_t>(arc.Tilt, 65536),
                       .LineType = arc.LineType,
                       .PenColor = arc.PenColor,
                       .Layer = arc.Layer,
                       .Spare = arc.Spare});
}

JwcWriter& JwcWriter::AddArcRecord(const JwcArcRecord& arc) {
  m_arcs.push_back(arc);
  return *this;
}

JwcWriter& JwcWriter::AddText(const TJwcText& text, std::array<std::uint8_t, 4> unread) {
  if (text.Text.find('\0') != std::string::npos) {
    throw std::invalid_argument("a text string cannot hold a NUL byte");
  }
  m_texts.push_back({text, unread});
  return *this;
}

JwcWriter& JwcWriter::AddDot(const TJwcDot& dot) {
  m_dots.push_back(dot);
  return *this;
}

JwcWriter& JwcWriter::Paper(std::int32_t code) {
  m_paper = code;
  return *this;
}

JwcWriter& JwcWriter::WindowWidth(std::int32_t units) {
  m_window_width = units;
  return *this;
}

JwcWriter& JwcWriter::Plotter(std::string x, std::string y) {
  m_plotter_x = std::move(x);
  m_plotter_y = std::move(y);
  return *this;
}

JwcWriter& JwcWriter::TextStyle(int index, std::int16_t pen, std::int16_t width_tenths,
                                std::int16_t height_tenths, std::int16_t spacing_tenths) {
  CheckIndex(index, 11, "text style");
  m_styles[index] = {pen, width_tenths, height_tenths, spacing_tenths};
  return *this;
}

JwcWriter& JwcWriter::GroupScale(int group, float scale) {
  CheckIndex(group, 16, "group");
  m_group_scales[group] = scale;
  return *this;
}

JwcWriter& JwcWriter::GroupView(int group, std::uint8_t state) {
  CheckIndex(group, 16, "group");
  m_group_view[group] = state;
  return *this;
}

JwcWriter& JwcWriter::LayerView(int layer, std::uint8_t state) {
  CheckIndex(layer, 256, "layer");
  m_layer_view[layer] = state;
  return *this;
}

JwcWriter& JwcWriter::GroupSearch(int group, std::uint8_t state) {
  CheckIndex(group, 16, "group");
  m_group_search[group] = state;
  return *this;
}

JwcWriter& JwcWriter::LayerSearch(int layer, std::uint8_t state) {
  CheckIndex(layer, 256, "layer");
  m_layer_search[layer] = state;
  return *this;
}

JwcWriter& JwcWriter::LayerName(int layer, std::string_view bytes) {
  CheckIndex(layer, 256, "layer");
  m_layer_names[layer] = std::string(bytes.substr(0, 8));
  return *this;
}

JwcWriter& JwcWriter::GroupName(int group, std::string_view bytes) {
  CheckIndex(group, 16, "group");
  m_group_names[group] = std::string(bytes.substr(0, 16));
  return *this;
}

JwcWriter& JwcWriter::HeaderField(int index, std::string text) {
  if (index < 0) throw std::out_of_range("header field index " + std::to_string(index));
  m_field_overrides[index] = std::move(text);
  return *this;
}

JwcWriter& JwcWriter::HeaderFieldCount(int count) {
  m_field_count = count;
  return *this;
}

JwcWriter& JwcWriter::HeaderText(std::string raw) {
  m_raw_header = std::move(raw);
  return *this;
}

JwcWriter& JwcWriter::VariantByte(std::uint8_t value) {
  m_variant_byte = value;
  return *this;
}

JwcWriter& JwcWriter::Trailing(std::string bytes) {
  m_trailing = std::move(bytes);
  return *this;
}

std::string JwcWriter::GeneratedHeaderText() const {
  int fields = m_field_count;
  if (!m_field_overrides.empty()) fields = std::max(fields, m_field_overrides.rbegin()->first + 1);
  std::string text;
  for (int i = 0; i < fields; ++i) {
    std::string field;
    switch (i) {
      case 0:
        field = std::to_string(m_lines.size());
        break;
      case 1:
        field = std::to_string(m_arcs.size());
        break;
      case 2:
        field = std::to_string(m_texts.size());
        break;
      case 3:
        field = std::to_string(m_dots.size());
        break;
      case 11:
        field = std::to_string(m_paper);
        break;
      case 14:
        field = m_plotter_x;
        break;
      case 15:
        field = m_plotter_y;
        break;
      case 30:
        field = std::to_string(m_window_width);
        break;
      default:
        field = i <= 30 ? "0" : "";
        break;
    }
    if (auto it = m_field_overrides.find(i); it != m_field_overrides.end()) field = it->second;
    if (i > 0) text += ',';
    text += field;
  }
  // A NUL ends the last field; the zero byte after it ends the text.
  text += '\0';
  return text;
}

JwcImage JwcWriter::Build() const {
  JwcImage image;
  Out out(image.bytes);

  out.Text(kJwcSignature);
  out.At(22);
  out.U8(m_variant_byte.value_or(m_variant == JwcVariant::kReal ? 'f' : 0));

  const std::string header = m_raw_header.value_or(GeneratedHeaderText());
  if (header.size() > kHeaderTextLimit) {
    throw std::length_error("the header text would run into the text styles");
  }
  out.At(kHeaderText);
  out.Text(header);
  out.At(kSecondText);

  for (int i = 0; i < 11; ++i) {
    out.At(kStylePens + 2 * i);
    out.I16(m_styles[i].pen);
    out.At(kStyleWidths + 2 * i);
    out.I16(m_styles[i].width);
    out.At(kStyleHeights + 2 * i);
    out.I16(m_styles[i].height);
    out.At(kStyleSpacings + 2 * i);
    out.I16(m_styles[i].spacing);
  }

  out.At(kGroupScales);
  for (float scale : m_group_scales) {
    if (m_variant == JwcVariant::kReal) {
      out.F32(scale);
    } else {
      out.I16(static_cast<std::int16_t>(std::lrint(scale)));
    }
  }

  image.state_block = out.Position();
  for (auto state : m_group_search) out.U8(state);
  for (auto state : m_layer_search) out.U8(state);
  for (auto state : m_group_view) out.U8(state);
  for (auto state : m_layer_view) out.U8(state);
  out.At(image.state_block + 560);

  image.lines = out.Position();
  for (const TJwcLine& line : m_lines) {
    out.F32(line.X1);
    out.F32(line.Y1);
    out.F32(line.X2);
    out.F32(line.Y2);
    out.U8(line.LineType);
    out.U8(line.PenColor);
    out.U8(line.Layer);
    for (auto spare : line.Spare) out.U8(spare);
  }
  image.arcs = out.Position();
  for (const JwcArcRecord& arc : m_arcs) {
    out.F32(arc.CenterX);
    out.F32(arc.CenterY);
    out.F32(arc.Radius);
    out.I16(arc.Flatness);
    out.I32(arc.StartAngle);
    out.I32(arc.EndAngle);
    out.I32(arc.Tilt);
    out.U8(arc.LineType);
    out.U8(arc.PenColor);
    out.U8(arc.Layer);
    for (auto spare : arc.Spare) out.U8(spare);
  }
  image.texts = out.Position();
  for (const Text& text : m_texts) {
    const TJwcText& t = text.record;
    out.F32(t.X1);
    out.F32(t.Y1);
    out.F32(t.X2);
    out.F32(t.Y2);
    for (auto byte : text.unread) out.U8(byte);
    out.U8(t.Style);
    out.U8(t.Layer);
    out.U8(t.Flags);
    out.U8(t.Spare);
  }
  image.strings = out.Position();
  for (const Text& text : m_texts) {
    out.Text(text.record.Text);
    out.U8(0);
  }
  image.dots = out.Position();
  for (const TJwcDot& dot : m_dots) {
    out.F32(dot.X);
    out.F32(dot.Y);
    out.U8(dot.Layer);
    out.U8(dot.PenColor);
    for (auto spare : dot.Spare) out.U8(spare);
  }
  image.layer_names = out.Position();
  for (const std::string& name : m_layer_names) out.Padded(name, 8);
  image.group_names = out.Position();
  for (const std::string& name : m_group_names) out.Padded(name, 16);
  image.end = out.Position();
  out.Text(m_trailing);
  return image;
}

void JwcWriter::WriteFile(const std::filesystem::path& path) const {
  const std::vector<std::byte> bytes = Bytes();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (file) file.close();
  if (!file) {
    throw std::system_error(errno ? errno : EIO, std::generic_category(),
                            "cannot write " + path.string());
  }
}

std::string Cp932(std::string_view utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw std::system_error(errno, std::generic_category(), "iconv cannot convert to CP932");
  }
  std::string in(utf8);
  std::string out(in.size() * 2 + 4, '\0');
  char* in_ptr = in.data();
  std::size_t in_left = in.size();
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  const std::size_t result = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (result == static_cast<std::size_t>(-1)) {
    throw std::invalid_argument("not convertible to CP932: " + in);
  }
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace pelmora
