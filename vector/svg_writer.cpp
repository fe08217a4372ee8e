// SVG: millimetres of paper, one Inkscape layer per group and per layer.
//
// Everything a layer holds is kept until Finish, because the walk hands over
// the entities by kind (lines, arcs, texts, dots) across all layers while the
// file wants each layer in one element. Strokes of one pen and line type are
// one <path> of many subpaths: SVG restarts the dash pattern at every subpath,
// as the raster restarts it at every line and arc.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fonts/shift_jis.h"
#include "vector/number_text.h"
#include "vector/raster_glyphs.h"
#include "vector/vector_writers.h"

namespace pelmora {
namespace {

// Page pixels beyond which a line is cut: no page comes near it, and numbers
// stay short whatever a drawing's coordinates are.
constexpr double kFar = 1e7;
// Fixed-point coordinates are held within this, where doubles are exact.
constexpr double kMaxFixed = 1e15;
// Output is written in pieces of about this many bytes.
constexpr std::size_t kWriteChunk = std::size_t{4} << 20;

bool Finite(VectorPoint p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

void AppendColour(std::string& out, Colour colour) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '#';
  for (const int shift : {0, 8, 16}) {  // 0x00BBGGRR: red first
    const unsigned byte = (colour >> shift) & 0xFF;
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  }
}

// Text for XML character data and attribute values: markup escaped, bytes
// that are not UTF-8 and characters XML 1.0 forbids replaced by U+FFFD.
void AppendXml(std::string& out, std::string_view text) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte < 0x80) {
      switch (byte) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&apos;";
          break;
        default:
          if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
            out += kReplacement;
          } else {
            out += static_cast<char>(byte);
          }
      }
      ++i;
      continue;
    }
    // A multi-byte sequence: its length from the lead byte, every byte after it
    // a continuation, no overlong form, no surrogate, nothing past U+10FFFF.
    const int length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
    bool valid = length > 0 && byte <= 0xF4 && i + length <= text.size();
    char32_t code = valid ? byte & (0x7F >> length) : 0;
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    valid = valid && !(length == 3 && code < 0x800) && !(length == 4 && code < 0x10000) &&
            code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) && code != 0xFFFE &&
            code != 0xFFFF;
    if (valid) {
      out.append(text.substr(i, static_cast<std::size_t>(length)));
      i += static_cast<std::size_t>(length);
    } else {
      out += kReplacement;
      ++i;
    }
  }
}

// Page pixels to millimetres, kept as integers of the last decimal written so
// that relative moves add up to exactly the absolute points.
class Units {
 public:
  void Set(int dpi) {
    // Decimals enough for a twentieth of a pixel at the dpi.
    const double pixels_per_mm = dpi / 25.4;
    m_decimals = std::clamp(static_cast<int>(std::ceil(std::log10(20 * pixels_per_mm))), 2, 6);
    m_unit = std::pow(10.0, -m_decimals);
    m_fixed_per_pixel = 25.4 / dpi / m_unit;
  }
  std::int64_t Fixed(double pixels) const {
    const double v = std::clamp(std::nearbyint(pixels * m_fixed_per_pixel), -kMaxFixed, kMaxFixed);
    return static_cast<std::int64_t>(v);
  }
  double Millimetres(double pixels) const { return pixels * m_fixed_per_pixel * m_unit; }
  int Decimals() const { return m_decimals; }
  double Unit() const { return m_unit; }

 private:
  int m_decimals = 3;
  double m_unit = 0.001;
  double m_fixed_per_pixel = 1.0;
};

// A number of path data: no separator before a minus sign or after a
// command letter, no zero before the point.
void AppendPathNumber(std::string& out, std::int64_t fixed, const Units& units) {
  if (fixed >= 0 && !out.empty()) {
    const char last = out.back();
    if ((last >= '0' && last <= '9') || last == '.') out += ' ';
  }
  const std::size_t at = out.size();
  AppendNumber(out, static_cast<double>(fixed) * units.Unit(), units.Decimals());
  const std::size_t digit = out[at] == '-' ? at + 1 : at;
  if (out.size() > digit + 1 && out[digit] == '0' && out[digit + 1] == '.') out.erase(digit, 1);
}

void AppendMillimetres(std::string& out, double pixels, const Units& units) {
  AppendNumber(out, units.Millimetres(pixels), units.Decimals());
}

// Path data in fixed-point millimetres, relative after its first point.
struct PathData {
  std::string d;
  std::int64_t x = 0;  // the current point
  std::int64_t y = 0;
  std::int64_t start_x = 0;  // the subpath's first point, where a close returns
  std::int64_t start_y = 0;

  void Point(char absolute, char relative, std::int64_t px, std::int64_t py, const Units& units) {
    if (d.empty()) {
      d += absolute;
      AppendPathNumber(d, px, units);
      AppendPathNumber(d, py, units);
    } else {
      d += relative;
      AppendPathNumber(d, px - x, units);
      AppendPathNumber(d, py - y, units);
    }
    x = px;
    y = py;
  }
  void MoveTo(std::int64_t px, std::int64_t py, const Units& units) {
    Point('M', 'm', px, py, units);
    start_x = px;
    start_y = py;
  }
  void LineTo(std::int64_t px, std::int64_t py, const Units& units) {
    if (d.empty()) MoveTo(x, y, units);
    d += 'l';
    AppendPathNumber(d, px - x, units);
    AppendPathNumber(d, py - y, units);
    x = px;
    y = py;
  }
  // A piece of `count` points, the last its end, relative to the current point.
  void Curve(char relative, const std::int64_t* xs, const std::int64_t* ys, int count,
             const Units& units) {
    d += relative;
    for (int i = 0; i < count; ++i) {
      AppendPathNumber(d, xs[i] - x, units);
      AppendPathNumber(d, ys[i] - y, units);
    }
    x = xs[count - 1];
    y = ys[count - 1];
  }
  void Close() {
    d += 'z';
    x = start_x;
    y = start_y;
  }
};

struct Stroke {
  Colour colour = 0;
  int width = 1;
  std::vector<std::int32_t> pen_dashes;  // as the pen gave them
  std::vector<std::int32_t> dashes;      // as written; empty: solid
  PathData path;
};

struct Fill {
  Colour colour = 0;
  PathData path;
};

struct LayerContent {
  std::vector<Stroke> strokes;
  std::size_t last_stroke = 0;  // the stroke found last, tried first
  std::string texts;
  std::vector<Fill> dots;
};

// The dash elements as the file gives them: none negative, and none at all
// when nothing would be drawn or nothing left out.
std::vector<std::int32_t> UsableDashes(const std::vector<std::int32_t>& dashes) {
  std::vector<std::int32_t> out;
  long long drawn = 0, total = 0;
  for (std::size_t i = 0; i < dashes.size(); ++i) {
    const std::int32_t v = std::max<std::int32_t>(dashes[i], 0);
    out.push_back(v);
    total += v;
    if (i % 2 == 0) drawn += v;
  }
  if (total <= 0 || drawn == total) out.clear();
  return out;
}

// The part of the segment inside the square of half-side kFar, with its
// start moved back by whole dash periods so that the visible dashes keep
// their places; false when none of it is.
bool CutFar(VectorPoint& from, VectorPoint& to, const std::vector<std::int32_t>& dashes) {
  const auto inside = [](VectorPoint p) {
    return std::fabs(p.x) <= kFar && std::fabs(p.y) <= kFar;
  };
  if (inside(from) && inside(to)) return true;
  const double dx = to.x - from.x, dy = to.y - from.y;
  double t0 = 0.0, t1 = 1.0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {from.x + kFar, kFar - from.x, from.y + kFar, kFar - from.y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, r);
    } else {
      t1 = std::min(t1, r);
    }
  }
  if (t0 > t1) return false;
  const double length = std::hypot(dx, dy);
  double period = 0;
  for (const std::int32_t v : dashes) period += v;
  if (dashes.size() % 2 == 1) period *= 2;
  if (period > 0 && length > 0) {
    const double skipped = t0 * length;
    t0 = std::floor(skipped / period) * period / length;
  }
  const VectorPoint a{from.x + dx * t0, from.y + dy * t0};
  const VectorPoint b{from.x + dx * t1, from.y + dy * t1};
  from = a;
  to = b;
  return true;
}

class SvgWriter final : public VectorTarget {
 public:
  SvgWriter(ByteSink& sink, const VectorWriterOptions& options)
      : m_sink(sink), m_options(options) {}

  void Begin(const VectorPage& page) override {
    m_page = page;
    m_begun = true;
    if (page.dpi > 0) m_units.Set(page.dpi);
  }

  void Line(std::uint8_t layer, const VectorPen& pen, VectorPoint from, VectorPoint to,
            const TJwcLine& /*raw*/) override {
    if (!Finite(from) || !Finite(to)) return;
    Stroke& stroke = StrokeFor(layer, pen);
    if (!CutFar(from, to, stroke.dashes)) return;
    stroke.path.MoveTo(m_units.Fixed(from.x), m_units.Fixed(from.y), m_units);
    stroke.path.LineTo(m_units.Fixed(to.x), m_units.Fixed(to.y), m_units);
  }

  void Arc(std::uint8_t layer, const VectorPen& pen, const VectorArc& arc,
           const TJwcArc& /*raw*/) override {
    if (!Finite(arc.centre) || !std::isfinite(arc.radius) || !std::isfinite(arc.flatness) ||
        !std::isfinite(arc.start) || !std::isfinite(arc.end) || !std::isfinite(arc.tilt)) {
      return;
    }
    if (NativeArc(arc)) {
      WriteNativeArc(StrokeFor(layer, pen).path, arc);
      return;
    }
    VectorPoint start;
    const std::vector<VectorCubic> cubics = ArcToCubics(arc, &start);
    if (!Finite(start)) return;
    for (const VectorCubic& c : cubics) {
      if (!Finite(c.c1) || !Finite(c.c2) || !Finite(c.to)) return;
    }
    Stroke& stroke = StrokeFor(layer, pen);
    stroke.path.MoveTo(m_units.Fixed(start.x), m_units.Fixed(start.y), m_units);
    for (const VectorCubic& c : cubics) {
      const std::int64_t xs[3] = {m_units.Fixed(c.c1.x), m_units.Fixed(c.c2.x),
                                  m_units.Fixed(c.to.x)};
      const std::int64_t ys[3] = {m_units.Fixed(c.c1.y), m_units.Fixed(c.c2.y),
                                  m_units.Fixed(c.to.y)};
      stroke.path.Curve('c', xs, ys, 3, m_units);
    }
  }

  void Text(std::uint8_t layer, const VectorText& text, const TJwcText& /*raw*/,
            const TJwcTextStyle& /*style*/) override {
    WriteText(Content(layer).texts, text);
  }

  void Dot(std::uint8_t layer, Colour colour, VectorPoint centre, int diameter,
           const TJwcDot& /*raw*/) override {
    if (!Finite(centre) || std::fabs(centre.x) > kFar || std::fabs(centre.y) > kFar) return;
    const double size = std::fabs(static_cast<double>(diameter));
    if (size == 0) return;
    const double left = centre.x - size / 2;
    const double top = centre.y - size / 2;
    LayerContent& content = Content(layer);
    Fill* fill = nullptr;
    for (Fill& f : content.dots) {
      if (f.colour == colour) fill = &f;
    }
    if (fill == nullptr) {
      content.dots.push_back({colour, {}});
      fill = &content.dots.back();
    }
    PathData& path = fill->path;
    const std::int64_t x0 = m_units.Fixed(left), y0 = m_units.Fixed(top);
    const std::int64_t x1 = m_units.Fixed(left + size), y1 = m_units.Fixed(top + size);
    if (size < 3) {
      // Too small for a curve: the raster paints the box.
      path.MoveTo(x0, y0, m_units);
      path.LineTo(x1, y0, m_units);
      path.LineTo(x1, y1, m_units);
      path.LineTo(x0, y1, m_units);
      path.Close();
      return;
    }
    const std::int64_t cy = m_units.Fixed(top + size / 2);
    path.MoveTo(x0, cy, m_units);
    for (const std::int64_t to : {x1, x0}) {
      path.d += 'a';
      AppendPathNumber(path.d, (x1 - x0) / 2, m_units);
      AppendPathNumber(path.d, (y1 - y0) / 2, m_units);
      path.d += " 0 1 0";
      AppendPathNumber(path.d, to - path.x, m_units);
      AppendPathNumber(path.d, 0, m_units);
      path.x = to;
    }
    path.Close();
  }

  void Stamp(const VectorText& text) override { WriteText(m_stamp, text); }

  bool Finish(std::string* error) override {
    if (!m_begun) {
      *error = "the SVG writer was given no page";
      return false;
    }
    if (m_page.dpi <= 0 || m_page.width <= 0 || m_page.height <= 0) {
      *error = "the page has no size at " + std::to_string(m_page.dpi) + " dpi";
      return false;
    }
    std::string out;
    out.reserve(kWriteChunk + (1u << 16));
    std::string width, height;
    AppendMillimetres(width, m_page.width, m_units);
    AppendMillimetres(height, m_page.height, m_units);
    out +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" version=\"1.1\" width=\"";
    out += width + "mm\" height=\"" + height + "mm\" viewBox=\"0 0 " + width + ' ' + height +
           "\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
    out += "<rect width=\"" + width + "\" height=\"" + height + "\" fill=\"";
    AppendColour(out, m_page.background);
    out += "\"/>\n";
    if (!m_defs.empty()) out += "<defs>\n" + m_defs + "</defs>\n";
    if (!WriteLayers(out, error)) return false;
    out += m_stamp;
    out += "</svg>\n";
    return Flush(out, error);
  }

 private:
  LayerContent& Content(std::uint8_t layer) {
    if (!m_layers[layer]) m_layers[layer] = std::make_unique<LayerContent>();
    return *m_layers[layer];
  }

  Stroke& StrokeFor(std::uint8_t layer, const VectorPen& pen) {
    LayerContent& content = Content(layer);
    const int width = std::max(pen.width, 1);
    const auto same = [&](const Stroke& s) {
      return s.colour == pen.colour && s.width == width && s.pen_dashes == pen.dashes;
    };
    if (content.last_stroke < content.strokes.size() &&
        same(content.strokes[content.last_stroke])) {
      return content.strokes[content.last_stroke];
    }
    for (std::size_t i = 0; i < content.strokes.size(); ++i) {
      if (same(content.strokes[i])) {
        content.last_stroke = i;
        return content.strokes[i];
      }
    }
    content.strokes.push_back({pen.colour, width, pen.dashes, UsableDashes(pen.dashes), {}});
    content.last_stroke = content.strokes.size() - 1;
    return content.strokes.back();
  }

  // SVG's own elliptical arcs are a third the size of the cubics (and at most
  // eight per curve, however large), but a reader finds their centre again
  // from the rounded end points: well conditioned for pieces of at most a
  // quarter turn of a not too flat ellipse.
  static bool NativeArc(const VectorArc& arc) {
    return arc.flatness >= 0.25 && arc.flatness <= 4 && arc.radius > 0;
  }

  void WriteNativeArc(PathData& path, const VectorArc& arc) {
    constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
    const double tilt = arc.tilt * kRadiansPerDegree;
    const double ct = std::cos(tilt), st = std::sin(tilt);
    const double rx = arc.radius, ry = arc.radius * arc.flatness;
    const auto point = [&](double degrees) {
      const double t = degrees * kRadiansPerDegree;
      const double u = rx * std::cos(t), v = ry * std::sin(t);
      return VectorPoint{arc.centre.x + u * ct - v * st, arc.centre.y - (u * st + v * ct)};
    };
    const double sweep = arc.end - arc.start;
    const int pieces = std::clamp(static_cast<int>(std::ceil(sweep / 90.0 - 1e-9)), 1, 8);
    const VectorPoint start = point(arc.start);
    path.MoveTo(m_units.Fixed(start.x), m_units.Fixed(start.y), m_units);
    // The ellipse turned by the tilt counterclockwise, y down: the axis
    // rotation is its negative and the sweep runs the negative way (flag 0).
    std::string radii;
    AppendPathNumber(radii, m_units.Fixed(rx), m_units);
    AppendPathNumber(radii, m_units.Fixed(ry), m_units);
    radii += ' ';
    AppendNumber(radii, -arc.tilt, 4);
    radii += " 0 0";
    for (int i = 1; i <= pieces; ++i) {
      const VectorPoint to = point(arc.start + sweep * i / pieces);
      path.d += 'a';
      path.d += radii;
      const std::int64_t x = m_units.Fixed(to.x), y = m_units.Fixed(to.y);
      AppendPathNumber(path.d, x - path.x, m_units);
      AppendPathNumber(path.d, y - path.y, m_units);
      path.x = x;
      path.y = y;
    }
  }

  // A text's characters, each where the raster puts its glyph: runs of one
  // font as a <text> of positioned spans, or glyph outlines. An entry of
  // several characters (the stamp) runs on by the glyphs' own advances.
  void WriteText(std::string& out, const VectorText& text) {
    std::string colour;
    AppendColour(colour, text.colour);
    bool open = false;
    const LogFont* run_font = nullptr;
    const SizedFace* run_face = nullptr;
    for (const JwcTextChar& c : text.chars) {
      const SizedFace& face = m_glyphs.Size(text.face_file, text.face_index, c.font);
      if (!face.ok || face.em_x <= 0 || face.em_y <= 0) continue;
      std::string_view bytes = c.bytes;
      long long pen = 0;  // along the baseline, 1/64 pixel
      while (!bytes.empty()) {
        const Cp932Char decoded = DecodeCp932Char(bytes);
        bytes.remove_prefix(static_cast<std::size_t>(decoded.length));
        if (!decoded.valid || !DrawableCharacter(decoded.code)) continue;
        const VectorPoint origin =
            RasterGlyphs::Origin(c.at, face, static_cast<long double>(pen) / 64);
        long long advance = 0;
        const bool drawn = (m_options.outline_text || !bytes.empty()) &&
                           m_glyphs.Outline(text.face_file, text.face_index, c.font, decoded.code,
                                            &m_outline, &m_key, &advance);
        pen += advance;
        if (std::fabs(origin.x) > kFar || std::fabs(origin.y) > kFar) continue;
        if (m_options.outline_text) {
          if (drawn) WriteGlyph(out, origin, colour, open);
          continue;
        }
        if (open &&
            (run_face != &face || run_font->height != c.font.height ||
             run_font->width != c.font.width || run_font->escapement != c.font.escapement)) {
          out += "</text>\n";
          open = false;
        }
        if (!open) {
          OpenText(out, face, colour);
          open = true;
          run_font = &c.font;
          run_face = &face;
        }
        // The origin in the run's frame: turned back, then unscaled across.
        const double lx = (face.cos * origin.x - face.sin * origin.y) * face.em_y / face.em_x;
        const double ly = face.sin * origin.x + face.cos * origin.y;
        out += "<tspan x=\"";
        AppendMillimetres(out, lx, m_units);
        out += "\" y=\"";
        AppendMillimetres(out, ly, m_units);
        out += "\">";
        std::string character;
        AppendUtf8(character, decoded.code);
        AppendXml(out, character);
        out += "</tspan>";
      }
    }
    if (open) out += m_options.outline_text ? "</g>\n" : "</text>\n";
  }

  void OpenText(std::string& out, const SizedFace& face, const std::string& colour) {
    out += "<text xml:lang=\"ja\" xml:space=\"preserve\" fill=\"" + colour + "\" font-family=\"";
    // The face the raster draws with, then what a reader without it most
    // likely has for Japanese.
    std::string family;
    for (const char ch : face.family) {
      if (ch != '\'' && ch != '\\') family += ch;
    }
    if (!family.empty()) {
      out += '\'';
      AppendXml(out, family);
      out += "', ";
    }
    out += "'Noto Sans CJK JP', sans-serif\" font-size=\"";
    AppendNumber(out, m_units.Millimetres(face.em_y), m_units.Decimals() + 1);
    out += '"';
    const double across = face.em_x / face.em_y;
    if (face.sin != 0 || face.cos != 1 || std::fabs(across - 1) > 1e-9) {
      // Page = turn × horizontal scale × run frame; y down, so counterclockwise
      // on the page is (cos, -sin) along the baseline.
      out += " transform=\"matrix(";
      const double m[4] = {face.cos * across, -face.sin * across, face.sin, face.cos};
      for (int i = 0; i < 4; ++i) {
        AppendNumber(out, m[i], 6);
        out += ' ';
      }
      out += "0 0)\"";
    }
    out += '>';
  }

  // The outline last loaded, at `origin`: defined once, used wherever it recurs.
  void WriteGlyph(std::string& out, VectorPoint origin, const std::string& colour, bool& open) {
    auto it = m_glyph_ids.find(m_key);
    if (it == m_glyph_ids.end()) {
      it = m_glyph_ids.emplace(m_key, m_glyph_ids.size()).first;
      PathData path;
      std::size_t p = 0;
      for (const GlyphOutline::Op op : m_outline.ops) {
        const int count = op == GlyphOutline::Op::kQuad    ? 2
                          : op == GlyphOutline::Op::kCubic ? 3
                                                           : 1;
        std::int64_t xs[3], ys[3];
        for (int i = 0; i < count; ++i, ++p) {
          xs[i] = m_units.Fixed(m_outline.points[p].x);
          ys[i] = m_units.Fixed(m_outline.points[p].y);
        }
        switch (op) {
          case GlyphOutline::Op::kMove:
            if (!path.d.empty()) path.Close();
            path.MoveTo(xs[0], ys[0], m_units);
            break;
          case GlyphOutline::Op::kLine:
            path.LineTo(xs[0], ys[0], m_units);
            break;
          case GlyphOutline::Op::kQuad:
            path.Curve('q', xs, ys, 2, m_units);
            break;
          case GlyphOutline::Op::kCubic:
            path.Curve('c', xs, ys, 3, m_units);
            break;
        }
      }
      path.Close();
      m_defs += "<path id=\"g" + std::to_string(it->second) + "\" d=\"" + path.d + "\"/>\n";
    }
    if (!open) {
      out += "<g fill=\"" + colour + "\">";
      open = true;
    }
    out += "<use xlink:href=\"#g" + std::to_string(it->second) + "\" x=\"";
    AppendMillimetres(out, origin.x, m_units);
    out += "\" y=\"";
    AppendMillimetres(out, origin.y, m_units);
    out += "\"/>";
  }

  bool WriteLayers(std::string& out, std::string* error) {
    // The page's layers, and any other a walk drew on, in layer-byte order.
    std::map<std::uint8_t, const VectorLayer*> layers;
    for (const VectorLayer& layer : m_page.layers) layers.emplace(layer.layer, &layer);
    for (int i = 0; i < 256; ++i) {
      if (m_layers[static_cast<std::size_t>(i)])
        layers.emplace(static_cast<std::uint8_t>(i), nullptr);
    }
    int group = -1;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const auto& [byte, layer] : layers) {
      const int g = byte >> 4;
      const std::string fallback{kHex[g], '-', kHex[byte & 0xF]};
      if (g != group) {
        if (group >= 0) out += "</g>\n";
        group = g;
        out += "<g inkscape:groupmode=\"layer\" inkscape:label=\"";
        AppendXml(out, layer != nullptr ? std::string_view(layer->group_name)
                                        : std::string_view(fallback.data(), 1));
        out += "\" id=\"group-";
        out += kHex[g];
        out += "\">\n";
      }
      out += "<g inkscape:groupmode=\"layer\" inkscape:label=\"";
      AppendXml(out, layer != nullptr ? layer->name : fallback);
      out += "\" id=\"layer-";
      out += kHex[g];
      out += kHex[byte & 0xF];
      out += '"';
      if (layer != nullptr && !layer->shown) out += " style=\"display:none\"";
      out += ">\n";
      if (const LayerContent* content = m_layers[byte].get()) {
        for (const Stroke& s : content->strokes) {
          if (!WriteStroke(out, s, error)) return false;
        }
        out += content->texts;
        for (const Fill& f : content->dots) {
          out += "<path fill=\"";
          AppendColour(out, f.colour);
          out += "\" d=\"";
          if (!Append(out, f.path.d, error)) return false;
          out += "\"/>\n";
        }
      }
      out += "</g>\n";
      if (out.size() >= kWriteChunk && !Flush(out, error)) return false;
    }
    if (group >= 0) out += "</g>\n";
    return true;
  }

  bool WriteStroke(std::string& out, const Stroke& s, std::string* error) {
    out += "<path fill=\"none\" stroke=\"";
    AppendColour(out, s.colour);
    out += "\" stroke-width=\"";
    AppendMillimetres(out, s.width, m_units);
    out += '"';
    if (!s.dashes.empty()) {
      out += " stroke-dasharray=\"";
      for (std::size_t i = 0; i < s.dashes.size(); ++i) {
        if (i > 0) out += ' ';
        AppendMillimetres(out, s.dashes[i], m_units);
      }
      out += '"';
    }
    out += " d=\"";
    if (!Append(out, s.path.d, error)) return false;
    out += "\"/>\n";
    return true;
  }

  // Appends a long string, writing out what is buffered first when it is big.
  bool Append(std::string& out, const std::string& text, std::string* error) {
    if (out.size() + text.size() > kWriteChunk && !Flush(out, error)) return false;
    out += text;
    return true;
  }

  bool Flush(std::string& out, std::string* error) {
    if (out.empty()) return true;
    if (!m_sink.WriteAt(m_written, out.data(), out.size(), error)) return false;
    m_written += out.size();
    out.clear();
    return true;
  }

  ByteSink& m_sink;
  VectorWriterOptions m_options;
  VectorPage m_page;
  bool m_begun = false;
  Units m_units;
  std::array<std::unique_ptr<LayerContent>, 256> m_layers;
  std::string m_stamp;
  std::string m_defs;  // glyph outlines, each written once
  std::map<std::string, std::size_t> m_glyph_ids;
  RasterGlyphs m_glyphs;
  GlyphOutline m_outline;
  std::string m_key;
  std::uint64_t m_written = 0;
};

}  // namespace

std::unique_ptr<VectorTarget> CreateSvgWriter(ByteSink& sink, const VectorWriterOptions& options) {
  return std::make_unique<SvgWriter>(sink, options);
}

}  // namespace pelmora
