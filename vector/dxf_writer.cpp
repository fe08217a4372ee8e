// DXF for today's CAD programs: AutoCAD R2000 (AC1015) with its strings in
// code page 932, or R2007 (AC1021) in UTF-8. Coordinates are full-size
// millimetres (paper millimetres times the scale of the entity's group), one
// layer per drawn group and layer. Entities are collected in memory while the
// walk runs, because the header's extents and the tables of line types and
// styles are known only at its end; Finish writes the file front to back.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fonts/shift_jis.h"
#include "vector/dxf_symbols.h"
#include "vector/vector_writers.h"

namespace pelmora {
namespace {

// Full-size coordinates beyond ten thousand kilometres are taken for damage:
// the raster clips such entities away, and CAD programs choke on extents and
// views of that size.
constexpr double kMaxCoordinate = 1e10;

// Handles of the file's fixed structure; everything else is numbered from
// kFirstFreeHandle on as it is written.
enum : std::uint64_t {
  kVportTable = 1,
  kLtypeTable,
  kLayerTable,
  kStyleTable,
  kViewTable,
  kUcsTable,
  kAppidTable,
  kDimstyleTable,
  kBlockRecordTable,
  kModelRecord,
  kPaperRecord,
  kModelBlock,
  kModelEnd,
  kPaperBlock,
  kPaperEnd,
  kRootDictionary,
  kGroupDictionary,
  kActiveVport,
  kByBlockLtype,
  kByLayerLtype,
  kContinuousLtype,
  kLayerZero,
  kStandardStyle,
  kAcadAppid,
  kStandardDimstyle,
  kFirstFreeHandle = 0x40,
};

// A number as DXF readers take it: a plain decimal with ten significant digits
// (a relative error below 1e-10), never an exponent.
void AppendValue(std::string& out, double value) {
  if (!std::isfinite(value) || std::fabs(value) < 1e-10) {
    out += '0';
    return;
  }
  char buffer[64];
  char* end;
  if (std::fabs(value) < 1e-4) {
    end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 14).ptr;
  } else if (std::fabs(value) >= 1e10) {
    end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 0).ptr;
  } else {
    end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 10).ptr;
  }
  if (std::find(buffer, end, '.') != end) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  out.append(buffer, end);
}

void AppendHandle(std::string& out, std::uint64_t handle) {
  char buffer[20];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, handle, 16);
  for (char* p = buffer; p != result.ptr; ++p) {
    if (*p >= 'a' && *p <= 'f') *p = static_cast<char>(*p - 'a' + 'A');
  }
  out.append(buffer, result.ptr);
}

// One group code and its value, each on its own line.
class Tags {
 public:
  explicit Tags(std::string& out) : m_out(out) {}
  Tags& Text(int code, std::string_view value) {
    Code(code);
    m_out.append(value);
    m_out += '\n';
    return *this;
  }
  Tags& Int(int code, long long value) {
    Code(code);
    char buffer[24];
    m_out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    m_out += '\n';
    return *this;
  }
  Tags& Real(int code, double value) {
    Code(code);
    AppendValue(m_out, value);
    m_out += '\n';
    return *this;
  }
  Tags& Handle(int code, std::uint64_t handle) {
    Code(code);
    AppendHandle(m_out, handle);
    m_out += '\n';
    return *this;
  }
  Tags& Point(int code, double x, double y) {
    return Real(code, x).Real(code + 10, y).Real(code + 20, 0.0);
  }

 private:
  void Code(int code) {
    char buffer[8];
    m_out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, code).ptr);
    m_out += '\n';
  }
  std::string& m_out;
};

struct DxfLayer {
  std::string name;  // in the file's encoding
  bool shown = true;
  double factor = 1.0;         // full-size millimetres per drawing unit
  double paper_to_full = 1.0;  // the group scale as used
};

struct DxfLinetype {
  std::string name;
  std::vector<double> elements;  // millimetres, drawn > 0, gaps < 0
};

struct DxfStyle {
  std::string name;
  bool vertical = false;
  double width_factor = 1.0;
};

class DxfWriter final : public VectorTarget {
 public:
  DxfWriter(ByteSink& sink, const VectorWriterOptions& options)
      : m_sink(sink), m_utf8(options.dxf_utf8) {}

  void Begin(const VectorPage& page) override {
    m_page = page;
    m_layer_of.fill(-1);
    m_names = {"0", "Defpoints", "Standard", "ByBlock", "ByLayer", "Continuous"};
    const double units_per_mm = page.drawing_units_per_mm;
    if (!std::isfinite(units_per_mm) || units_per_mm <= 0.0) {
      m_error = "the drawing's paper has no width, so its millimetres are unknown";
      return;
    }
    for (const VectorLayer& layer : page.layers) {
      if (m_layer_of[layer.layer] >= 0) continue;
      DxfLayer out;
      const std::string fallback = "layer " + std::to_string(layer.layer);
      out.name = UniqueName(EncodeName(DxfSymbolName(layer.name, fallback)));
      out.shown = layer.shown;
      // A group scale of zero, below or not a number would fold the group onto
      // the origin or mirror it; such a group keeps its paper size.
      out.paper_to_full =
          std::isfinite(layer.group_scale) && layer.group_scale > 0.0 ? layer.group_scale : 1.0;
      out.factor = out.paper_to_full / units_per_mm;
      m_layer_of[layer.layer] = static_cast<int>(m_layers.size());
      m_layers.push_back(std::move(out));
    }
    m_body.reserve(std::size_t{1} << 20);
  }

  void Line(std::uint8_t layer, const VectorPen& pen, VectorPoint, VectorPoint,
            const TJwcLine& raw) override {
    if (pen.line_type == 0) return;  // the raster only moves the pen
    const DxfLayer& target = LayerOf(layer);
    const double x1 = raw.X1 * target.factor, y1 = raw.Y1 * target.factor;
    const double x2 = raw.X2 * target.factor, y2 = raw.Y2 * target.factor;
    if (!Usable({x1, y1, x2, y2})) return;
    Tags tags = Entity("LINE", layer, pen.colour);
    Stroke(tags, layer, pen);
    tags.Text(100, "AcDbLine").Point(10, x1, y1).Point(11, x2, y2);
    Extend(x1, y1, 0.0);
    Extend(x2, y2, 0.0);
  }

  void Arc(std::uint8_t layer, const VectorPen& pen, const VectorArc& arc,
           const TJwcArc& raw) override {
    if (pen.line_type == 0) return;
    const DxfLayer& target = LayerOf(layer);
    double radius = static_cast<double>(raw.Radius) * target.factor;
    double start = arc.start, end = arc.end;
    if (radius < 0.0) {  // a negative radius reaches the points half a turn on
      radius = -radius;
      start += 180.0;
      end += 180.0;
    }
    const double cx = raw.CenterX * target.factor, cy = raw.CenterY * target.factor;
    const double flatness = arc.flatness, tilt = arc.tilt;
    if (!Usable({cx, cy, radius, radius * flatness, start, end, tilt}) || radius == 0.0 ||
        flatness <= 0.0) {
      return;
    }
    const bool full = end - start >= 360.0;
    if (flatness == 1.0) {
      Tags tags = Entity(full ? "CIRCLE" : "ARC", layer, pen.colour);
      Stroke(tags, layer, pen);
      tags.Text(100, "AcDbCircle").Point(10, cx, cy).Real(40, radius);
      if (!full) {
        tags.Text(100, "AcDbArc").Real(50, Degrees(start + tilt)).Real(51, Degrees(end + tilt));
      }
      Extend(cx, cy, radius);
      return;
    }
    // The curve is centre + R cos t (cos T, sin T) + e R sin t (-sin T, cos T).
    // DXF wants the major axis and a ratio at most 1: with e > 1 the major axis
    // is the second one, and its parameter runs a quarter turn behind t.
    const double radians = M_PI / 180.0;
    const double ct = std::cos(tilt * radians), st = std::sin(tilt * radians);
    double ax, ay, ratio, shift;
    if (flatness <= 1.0) {
      ax = radius * ct, ay = radius * st, ratio = flatness, shift = 0.0;
    } else {
      ax = -radius * flatness * st, ay = radius * flatness * ct, ratio = 1.0 / flatness;
      shift = -90.0;
    }
    double p0 = 0.0, p1 = 2.0 * M_PI;
    if (!full) {
      p0 = Degrees(start + shift) * radians;
      p1 = Degrees(end + shift) * radians;
    }
    Tags tags = Entity("ELLIPSE", layer, pen.colour);
    Stroke(tags, layer, pen);
    tags.Text(100, "AcDbEllipse")
        .Point(10, cx, cy)
        .Point(11, ax, ay)
        .Real(40, ratio)
        .Real(41, p0)
        .Real(42, p1);
    Extend(cx, cy, radius * std::max(1.0, flatness));
  }

  void Text(std::uint8_t layer, const VectorText& text, const TJwcText& raw,
            const TJwcTextStyle& style) override {
    const std::string content = DxfTextFromJwc(raw.Text, m_utf8);
    if (content.find_first_not_of(' ') == std::string::npos) return;  // nothing drawn
    const DxfLayer& target = LayerOf(layer);
    const double x = raw.X1 * target.factor, y = raw.Y1 * target.factor;
    double height = static_cast<double>(style.Height) * target.paper_to_full;
    if (!std::isfinite(height) || height <= 0.0) height = 2.5 * target.paper_to_full;
    double width_factor = static_cast<double>(style.Width) / style.Height;
    if (!std::isfinite(width_factor) || width_factor <= 0.0) width_factor = 1.0;
    width_factor = std::clamp(width_factor, 0.01, 100.0);
    const double dx = static_cast<double>(raw.X2) - raw.X1;
    const double dy = static_cast<double>(raw.Y2) - raw.Y1;
    double angle = (dx == 0.0 && dy == 0.0) ? 0.0 : std::atan2(dy, dx) * 180.0 / M_PI;
    const bool vertical = (raw.Flags & 0x20) != 0;
    // A vertical style stacks the characters downward from the insertion
    // point; turned a quarter less, the column runs along the text's direction.
    if (vertical) angle += 90.0;
    if (!Usable({x, y, height, angle})) return;
    if (text.face_file.size() > 0 && m_face.empty()) {
      m_face = text.face_file.substr(text.face_file.find_last_of('/') + 1);
    }
    const std::string& style_name = StyleFor(raw.Style, vertical, width_factor);
    Tags tags = Entity("TEXT", layer, text.colour);
    tags.Text(100, "AcDbText")
        .Point(10, x, y)
        .Real(40, height)
        .Text(1, content)
        .Real(50, Degrees(angle))
        .Real(41, width_factor)
        .Text(7, style_name)
        .Text(100, "AcDbText");
    Extend(x, y, height * std::max<double>(1.0, static_cast<double>(content.size())));
  }

  void Dot(std::uint8_t layer, Colour colour, VectorPoint, int, const TJwcDot& raw) override {
    const DxfLayer& target = LayerOf(layer);
    const double x = raw.X * target.factor, y = raw.Y * target.factor;
    if (!Usable({x, y})) return;
    Tags tags = Entity("POINT", layer, colour);
    tags.Text(100, "AcDbPoint").Point(10, x, y);
    Extend(x, y, 0.0);
  }

  // The resolution stamp marks a raster image; a drawing has no resolution.
  void Stamp(const VectorText&) override {}

  bool Finish(std::string* error) override {
    if (!m_error.empty()) {
      *error = m_error;
      return false;
    }
    StreamWriter writer(&m_sink);
    std::string out;
    out.reserve(std::size_t{1} << 16);
    WriteHead(out);
    bool ok = writer.Write(out.data(), out.size()) && writer.Write(m_body.data(), m_body.size());
    out.clear();
    WriteTail(out);
    ok = ok && writer.Write(out.data(), out.size()) && writer.Flush();
    if (!ok) {
      *error = writer.Error();
      return false;
    }
    return true;
  }

 private:
  // Angles as DXF keeps them, 0 up to 360 degrees.
  static double Degrees(double angle) {
    angle = std::fmod(angle, 360.0);
    if (angle < 0.0) angle += 360.0;
    return angle >= 360.0 ? 0.0 : angle;
  }

  static bool Usable(std::initializer_list<double> values) {
    for (const double v : values) {
      if (!std::isfinite(v) || std::fabs(v) > kMaxCoordinate) return false;
    }
    return true;
  }

  const DxfLayer& LayerOf(std::uint8_t layer) {
    if (m_layer_of[layer] < 0) {
      // Not announced by the walk: its own layer all the same, at paper size.
      DxfLayer out;
      out.name = UniqueName(EncodeName("layer " + std::to_string(layer)));
      const double units_per_mm = m_page.drawing_units_per_mm;
      out.factor = units_per_mm > 0.0 ? 1.0 / units_per_mm : 1.0;
      m_layer_of[layer] = static_cast<int>(m_layers.size());
      m_layers.push_back(std::move(out));
    }
    return m_layers[static_cast<std::size_t>(m_layer_of[layer])];
  }

  // The layer name in the file's encoding: code page 932 where every
  // character has a place in it, '_' for those that have none.
  std::string EncodeName(const std::string& utf8) const {
    if (m_utf8) return utf8;
    if (auto whole = Utf8ToCp932(utf8)) return *whole;
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
      std::size_t length = 1;
      const auto lead = static_cast<unsigned char>(utf8[i]);
      if (lead >= 0xF0) {
        length = 4;
      } else if (lead >= 0xE0) {
        length = 3;
      } else if (lead >= 0xC0) {
        length = 2;
      }
      const auto one = Utf8ToCp932(std::string_view(utf8).substr(i, length));
      out += one ? *one : std::string("_");
      i += length;
    }
    return out;
  }

  // Names compare without regard to ASCII case in CAD programs.
  std::string UniqueName(const std::string& wanted) {
    const auto folded = [](std::string s) {
      for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
      return s;
    };
    std::string name = wanted;
    for (int n = 2;; ++n) {
      const std::string key = folded(name);
      if (std::none_of(m_names.begin(), m_names.end(),
                       [&](const std::string& used) { return folded(used) == key; })) {
        break;
      }
      name = wanted + "_" + std::to_string(n);
    }
    m_names.push_back(name);
    return name;
  }

  Tags Entity(std::string_view type, std::uint8_t layer, Colour colour) {
    Tags tags(m_body);
    tags.Text(0, type)
        .Handle(5, m_next_handle++)
        .Handle(330, kModelRecord)
        .Text(100, "AcDbEntity")
        .Text(8, LayerOf(layer).name);
    if (m_page.mono) colour = 0;
    tags.Int(62, NearestAci(colour));
    const std::uint32_t red = colour & 0xFF, green = (colour >> 8) & 0xFF,
                        blue = (colour >> 16) & 0xFF;
    // Black and white stay index 7 alone: the reader's foreground colour.
    if (!((red | green | blue) == 0 || (red & green & blue) == 0xFF)) {
      tags.Int(420, static_cast<long long>((red << 16) | (green << 8) | blue));
    }
    return tags;
  }

  // Line type and lineweight of a stroke; written before the entity's subclass.
  void Stroke(Tags& tags, std::uint8_t layer, const VectorPen& pen) {
    const double pixels_per_mm =
        m_page.pixels_per_mm_paper > 0.0 ? m_page.pixels_per_mm_paper : 1.0;
    if (!pen.dashes.empty()) {
      if (const std::string* name = LinetypeFor(layer, pen, pixels_per_mm)) tags.Text(6, *name);
    }
    tags.Int(370, NearestLineweight(pen.width / pixels_per_mm));
  }

  // A line type per pattern and group scale: its dashes on paper as the raster
  // draws them at the chosen resolution, times the group's scale.
  const std::string* LinetypeFor(std::uint8_t layer, const VectorPen& pen, double pixels_per_mm) {
    const DxfLayer& target = LayerOf(layer);
    std::vector<double> elements;
    double total = 0.0;
    for (std::size_t i = 0; i < pen.dashes.size(); ++i) {
      const double length = pen.dashes[i] / pixels_per_mm * target.paper_to_full;
      if (!std::isfinite(length)) return nullptr;
      elements.push_back(i % 2 == 0 ? std::fabs(length) : -std::fabs(length));
      total += std::fabs(length);
    }
    if (!(total > 0.0) || total > kMaxCoordinate) return nullptr;
    for (const DxfLinetype& type : m_linetypes) {
      if (type.elements == elements) return &type.name;
    }
    std::string base = "JW" + std::to_string(pen.line_type);
    if (target.paper_to_full != 1.0) {
      base += "_x";
      AppendValue(base, target.paper_to_full);
    }
    m_linetypes.push_back({UniqueName(base), std::move(elements)});
    return &m_linetypes.back().name;
  }

  const std::string& StyleFor(int style, bool vertical, double width_factor) {
    for (const auto& [key, entry] : m_styles) {
      if (key == std::make_pair(style, vertical)) return entry.name;
    }
    std::string name = "JW" + std::to_string(style) + (vertical ? "_V" : "");
    auto& entry = m_styles[{style, vertical}];
    entry = {UniqueName(name), vertical, width_factor};
    return entry.name;
  }

  void Extend(double x, double y, double reach) {
    m_min_x = std::min(m_min_x, x - reach);
    m_min_y = std::min(m_min_y, y - reach);
    m_max_x = std::max(m_max_x, x + reach);
    m_max_y = std::max(m_max_y, y + reach);
  }

  static void TableHead(Tags& tags, std::string_view name, std::uint64_t handle, int count) {
    tags.Text(0, "TABLE")
        .Text(2, name)
        .Handle(5, handle)
        .Handle(330, 0)
        .Text(100, "AcDbSymbolTable")
        .Int(70, count);
  }

  static void Record(Tags& tags, std::string_view type, std::uint64_t handle, std::uint64_t table,
                     std::string_view subclass) {
    tags.Text(0, type)
        .Handle(5, handle)
        .Handle(330, table)
        .Text(100, "AcDbSymbolTableRecord")
        .Text(100, subclass);
  }

  void WriteHead(std::string& out) {
    const bool empty = m_min_x > m_max_x;
    if (empty) m_min_x = m_min_y = m_max_x = m_max_y = 0.0;
    // Handles of the tables' entries come after the entities'.
    std::uint64_t handle = m_next_handle;
    const std::uint64_t first_table_handle = handle;
    handle += m_layers.size() + m_linetypes.size() + m_styles.size();

    Tags tags(out);
    tags.Text(0, "SECTION").Text(2, "HEADER");
    tags.Text(9, "$ACADVER").Text(1, m_utf8 ? "AC1021" : "AC1015");
    tags.Text(9, "$DWGCODEPAGE").Text(3, m_utf8 ? "ANSI_1252" : "ANSI_932");
    tags.Text(9, "$INSBASE").Point(10, 0.0, 0.0);
    tags.Text(9, "$EXTMIN").Point(10, m_min_x, m_min_y);
    tags.Text(9, "$EXTMAX").Point(10, m_max_x, m_max_y);
    tags.Text(9, "$LIMMIN").Real(10, m_min_x).Real(20, m_min_y);
    tags.Text(9, "$LIMMAX").Real(10, m_max_x).Real(20, m_max_y);
    tags.Text(9, "$LTSCALE").Real(40, 1.0);
    tags.Text(9, "$PSLTSCALE").Int(70, 0);
    tags.Text(9, "$LUNITS").Int(70, 2);
    tags.Text(9, "$LWDISPLAY").Int(290, 1);
    tags.Text(9, "$MEASUREMENT").Int(70, 1);
    tags.Text(9, "$INSUNITS").Int(70, 4);  // millimetres
    tags.Text(9, "$PDMODE").Int(70, 0);
    tags.Text(9, "$HANDSEED").Handle(5, handle);
    tags.Text(0, "ENDSEC");
    tags.Text(0, "SECTION").Text(2, "CLASSES").Text(0, "ENDSEC");

    tags.Text(0, "SECTION").Text(2, "TABLES");
    TableHead(tags, "VPORT", kVportTable, 1);
    const double width = std::max(m_max_x - m_min_x, 1.0);
    const double height = std::max(m_max_y - m_min_y, 1.0);
    Record(tags, "VPORT", kActiveVport, kVportTable, "AcDbViewportTableRecord");
    tags.Text(2, "*Active").Int(70, 0).Real(10, 0).Real(20, 0).Real(11, 1).Real(21, 1);
    tags.Real(12, (m_min_x + m_max_x) / 2).Real(22, (m_min_y + m_max_y) / 2);
    tags.Real(13, 0).Real(23, 0).Real(14, 10).Real(24, 10).Real(15, 10).Real(25, 10);
    tags.Real(16, 0).Real(26, 0).Real(36, 1).Real(17, 0).Real(27, 0).Real(37, 0);
    tags.Real(40, std::max(height, width / 1.5) * 1.05).Real(41, 1.5).Real(42, 50);
    tags.Real(43, 0).Real(44, 0).Real(50, 0).Real(51, 0);
    tags.Int(71, 0).Int(72, 1000).Int(73, 1).Int(74, 3).Int(75, 0).Int(76, 0).Int(77, 0).Int(78, 0);
    tags.Text(0, "ENDTAB");

    std::uint64_t next = first_table_handle;
    TableHead(tags, "LTYPE", kLtypeTable, static_cast<int>(3 + m_linetypes.size()));
    const std::pair<std::uint64_t, const char*> fixed_types[] = {
        {kByBlockLtype, "ByBlock"}, {kByLayerLtype, "ByLayer"}, {kContinuousLtype, "Continuous"}};
    for (const auto& [fixed_handle, name] : fixed_types) {
      Record(tags, "LTYPE", fixed_handle, kLtypeTable, "AcDbLinetypeTableRecord");
      tags.Text(2, name).Int(70, 0).Text(3, fixed_handle == kContinuousLtype ? "Solid line" : "");
      tags.Int(72, 65).Int(73, 0).Real(40, 0);
    }
    for (const DxfLinetype& type : m_linetypes) {
      Record(tags, "LTYPE", next++, kLtypeTable, "AcDbLinetypeTableRecord");
      double total = 0.0;
      for (const double element : type.elements) total += std::fabs(element);
      tags.Text(2, type.name).Int(70, 0).Text(3, "").Int(72, 65);
      tags.Int(73, static_cast<long long>(type.elements.size())).Real(40, total);
      for (const double element : type.elements) tags.Real(49, element).Int(74, 0);
    }
    tags.Text(0, "ENDTAB");

    TableHead(tags, "LAYER", kLayerTable, static_cast<int>(1 + m_layers.size()));
    Record(tags, "LAYER", kLayerZero, kLayerTable, "AcDbLayerTableRecord");
    tags.Text(2, "0").Int(70, 0).Int(62, 7).Text(6, "Continuous").Int(370, -3);
    for (const DxfLayer& layer : m_layers) {
      Record(tags, "LAYER", next++, kLayerTable, "AcDbLayerTableRecord");
      // A layer switched off keeps its colour, negated.
      tags.Text(2, layer.name).Int(70, 0).Int(62, layer.shown ? 7 : -7);
      tags.Text(6, "Continuous").Int(370, -3);
    }
    tags.Text(0, "ENDTAB");

    TableHead(tags, "STYLE", kStyleTable, static_cast<int>(1 + m_styles.size()));
    const std::string font = m_face.empty() ? std::string("txt") : EncodeName(m_face);
    Record(tags, "STYLE", kStandardStyle, kStyleTable, "AcDbTextStyleTableRecord");
    tags.Text(2, "Standard").Int(70, 0).Real(40, 0).Real(41, 1).Real(50, 0).Int(71, 0);
    tags.Real(42, 2.5).Text(3, font).Text(4, "");
    for (const auto& [key, style] : m_styles) {
      Record(tags, "STYLE", next++, kStyleTable, "AcDbTextStyleTableRecord");
      tags.Text(2, style.name).Int(70, style.vertical ? 4 : 0).Real(40, 0);
      tags.Real(41, style.width_factor).Real(50, 0).Int(71, 0).Real(42, 2.5);
      tags.Text(3, font).Text(4, "");
    }
    tags.Text(0, "ENDTAB");

    TableHead(tags, "VIEW", kViewTable, 0);
    tags.Text(0, "ENDTAB");
    TableHead(tags, "UCS", kUcsTable, 0);
    tags.Text(0, "ENDTAB");

    TableHead(tags, "APPID", kAppidTable, 1);
    Record(tags, "APPID", kAcadAppid, kAppidTable, "AcDbRegAppTableRecord");
    tags.Text(2, "ACAD").Int(70, 0);
    tags.Text(0, "ENDTAB");

    TableHead(tags, "DIMSTYLE", kDimstyleTable, 1);
    tags.Text(100, "AcDbDimStyleTable").Int(71, 1).Handle(340, kStandardDimstyle);
    // Dimension styles carry their handle in group 105, not 5.
    tags.Text(0, "DIMSTYLE").Handle(105, kStandardDimstyle).Handle(330, kDimstyleTable);
    tags.Text(100, "AcDbSymbolTableRecord").Text(100, "AcDbDimStyleTableRecord");
    tags.Text(2, "Standard").Int(70, 0);
    tags.Text(0, "ENDTAB");

    TableHead(tags, "BLOCK_RECORD", kBlockRecordTable, 2);
    Record(tags, "BLOCK_RECORD", kModelRecord, kBlockRecordTable, "AcDbBlockTableRecord");
    tags.Text(2, "*Model_Space");
    Record(tags, "BLOCK_RECORD", kPaperRecord, kBlockRecordTable, "AcDbBlockTableRecord");
    tags.Text(2, "*Paper_Space");
    tags.Text(0, "ENDTAB");
    tags.Text(0, "ENDSEC");

    tags.Text(0, "SECTION").Text(2, "BLOCKS");
    const std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, const char*> blocks[] = {
        {kModelBlock, kModelEnd, kModelRecord, "*Model_Space"},
        {kPaperBlock, kPaperEnd, kPaperRecord, "*Paper_Space"}};
    for (const auto& [begin, end, record, name] : blocks) {
      tags.Text(0, "BLOCK").Handle(5, begin).Handle(330, record).Text(100, "AcDbEntity");
      if (record == kPaperRecord) tags.Int(67, 1);
      tags.Text(8, "0").Text(100, "AcDbBlockBegin").Text(2, name).Int(70, 0).Point(10, 0, 0);
      tags.Text(3, name).Text(1, "");
      tags.Text(0, "ENDBLK").Handle(5, end).Handle(330, record).Text(100, "AcDbEntity");
      if (record == kPaperRecord) tags.Int(67, 1);
      tags.Text(8, "0").Text(100, "AcDbBlockEnd");
    }
    tags.Text(0, "ENDSEC");
    tags.Text(0, "SECTION").Text(2, "ENTITIES");
  }

  static void WriteTail(std::string& out) {
    Tags tags(out);
    tags.Text(0, "ENDSEC");
    tags.Text(0, "SECTION").Text(2, "OBJECTS");
    tags.Text(0, "DICTIONARY").Handle(5, kRootDictionary).Handle(330, 0);
    tags.Text(100, "AcDbDictionary")
        .Int(281, 1)
        .Text(3, "ACAD_GROUP")
        .Handle(350, kGroupDictionary);
    tags.Text(0, "DICTIONARY").Handle(5, kGroupDictionary).Handle(330, kRootDictionary);
    tags.Text(100, "AcDbDictionary").Int(281, 1);
    tags.Text(0, "ENDSEC");
    tags.Text(0, "EOF");
  }

  ByteSink& m_sink;
  const bool m_utf8;
  VectorPage m_page;
  std::string m_error;
  std::array<int, 256> m_layer_of{};
  std::vector<DxfLayer> m_layers;
  std::vector<std::string> m_names;  // every name given out, layer "0" included
  std::vector<DxfLinetype> m_linetypes;
  std::map<std::pair<int, bool>, DxfStyle> m_styles;
  std::string m_face;  // the font file the texts are drawn from, as the styles' font
  std::string m_body;
  std::uint64_t m_next_handle = kFirstFreeHandle;
  double m_min_x = INFINITY, m_min_y = INFINITY, m_max_x = -INFINITY, m_max_y = -INFINITY;
};

}  // namespace

std::unique_ptr<VectorTarget> CreateDxfWriter(ByteSink& sink, const VectorWriterOptions& options) {
  return std::make_unique<DxfWriter>(sink, options);
}

}  // namespace pelmora
