// The vector PDF: one page of the region's paper size, drawn in the raster's
// pixels at its dpi (one transform scales them to points and turns y up), so
// widths, dash elements and coordinates are the raster's own numbers.
//
// Entities are collected per layer and, within a layer, per pen: a path per
// pen holds all its lines and arcs, one text object per colour its characters,
// one path per colour and size its dots. Strokes of one pen look the same
// whatever their order, so merging changes the picture only where entities of
// different layers or pens cross. Each layer's content is marked with its
// optional content group, nested in its group's.
#include <libdeflate.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/fonts/shift_jis.h"
#include "vector/number_text.h"
#include "vector/pdf_fonts.h"
#include "vector/vector_writers.h"

namespace pelmora {
namespace {

// Coordinates are written to a hundredth of a pixel, the points of curves to a
// tenth (their Béziers are that close to the curve anyway), text matrices to
// a thousandth of a pixel per em, colours to a thousandth.
constexpr int kPointDecimals = 2;
constexpr int kCurveDecimals = 1;
constexpr int kMatrixDecimals = 3;
constexpr int kCompressionLevel = 6;

void Put(std::string& out, double value, int decimals = kPointDecimals) {
  AppendNumber(out, value, decimals);
  out += ' ';
}

void PutColour(std::string& out, Colour colour) {
  Put(out, RedOf(colour) / 255.0, 3);
  Put(out, GreenOf(colour) / 255.0, 3);
  Put(out, BlueOf(colour) / 255.0, 3);
}

bool Finite(VectorPoint p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

// Geometry is kept to a box one page larger than the page on every side:
// what lies beyond cannot show, and the numbers written stay short.
struct Box {
  double x0, y0, x1, y1;
  bool Misses(double left, double top, double right, double bottom) const {
    return right < x0 || left > x1 || bottom < y0 || top > y1;
  }
};

// Liang-Barsky: the parameters [t0, t1] of the segment inside the box; false
// when it misses.
bool ClipSegment(const Box& box, VectorPoint a, VectorPoint b, double* t0, double* t1) {
  *t0 = 0;
  *t1 = 1;
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x - box.x0, box.x1 - a.x, a.y - box.y0, box.y1 - a.y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0) {
      *t0 = std::max(*t0, r);
    } else {
      *t1 = std::min(*t1, r);
    }
  }
  return *t0 <= *t1;
}

struct Stroke {
  std::string path;
  double period = 0;  // length of the dash pattern, pixels; 0: solid
  VectorPoint last;
  bool has_last = false;
};

struct TextRun {
  Colour colour = 0;
  std::string ops;
  std::string outlines;  // glyphs drawn as paths, filled after the text
  int font = -1;
  bool invisible = false;
};

struct DotRun {
  Colour colour = 0;
  int diameter = 0;
  std::string path;
};

struct LayerSlot {
  VectorLayer info;
  std::vector<std::string> pens;  // the pen operators of strokes[i]
  std::deque<Stroke> strokes;
  std::unordered_map<std::string, std::size_t> stroke_index;
  std::vector<TextRun> texts;
  std::vector<DotRun> dots;
};

class PdfVectorWriter final : public VectorTarget {
 public:
  explicit PdfVectorWriter(ByteSink& sink) : m_out(&sink) {}
  ~PdfVectorWriter() override {
    if (m_compressor != nullptr) libdeflate_free_compressor(m_compressor);
  }
  PdfVectorWriter(const PdfVectorWriter&) = delete;
  PdfVectorWriter& operator=(const PdfVectorWriter&) = delete;

  void Begin(const VectorPage& page) override {
    m_page = page;
    m_begun = true;
    const double w = std::max(page.width, 1), h = std::max(page.height, 1);
    m_box = {-w, -h, 2 * w, 2 * h};
    for (const VectorLayer& layer : page.layers) Slot(layer.layer, &layer);
  }

  void Line(std::uint8_t layer, const VectorPen& pen, VectorPoint from, VectorPoint to,
            const TJwcLine&) override {
    if (!m_begun || !Finite(from) || !Finite(to)) return;
    // The raster's line excludes its end pixel: a line to its own start draws nothing.
    if (from.x == to.x && from.y == to.y) return;
    double t0 = 0, t1 = 1;
    if (!ClipSegment(m_box, from, to, &t0, &t1)) return;
    Stroke& stroke = StrokeFor(layer, pen);
    const VectorPoint a = from;
    const double dx = to.x - a.x, dy = to.y - a.y;
    if (t1 < 1) to = {a.x + t1 * dx, a.y + t1 * dy};
    if (t0 > 0) {
      // Cut whole dash periods off the start, so that the pattern still
      // begins where the raster's does.
      double cut = t0;
      if (stroke.period > 0) {
        const double length = std::hypot(dx, dy);
        cut = std::floor(t0 * length / stroke.period) * stroke.period / length;
      }
      from = {a.x + cut * dx, a.y + cut * dy};
    }
    std::string& path = stroke.path;
    // A solid line that goes on from the last one's end joins it (round joins
    // draw what two round caps draw); a dashed one restarts its pattern.
    if (stroke.period > 0 || !stroke.has_last || stroke.last.x != from.x ||
        stroke.last.y != from.y) {
      Put(path, from.x);
      Put(path, from.y);
      path += "m ";
    }
    Put(path, to.x);
    Put(path, to.y);
    path += "l\n";
    stroke.last = to;
    stroke.has_last = true;
  }

  void Arc(std::uint8_t layer, const VectorPen& pen, const VectorArc& arc,
           const TJwcArc&) override {
    if (!m_begun) return;
    const double reach = std::max(std::fabs(arc.radius), std::fabs(arc.radius * arc.flatness)) +
                         std::max(pen.width, 1);
    if (!Finite(arc.centre) || !std::isfinite(reach) || !std::isfinite(arc.start) ||
        !std::isfinite(arc.end) || !std::isfinite(arc.tilt)) {
      return;
    }
    if (m_box.Misses(arc.centre.x - reach, arc.centre.y - reach, arc.centre.x + reach,
                     arc.centre.y + reach)) {
      return;
    }
    VectorPoint start;
    const std::vector<VectorCubic> cubics = ArcToCubics(arc, &start);
    for (const VectorCubic& c : cubics) {
      if (!Finite(c.c1) || !Finite(c.c2) || !Finite(c.to)) return;
    }
    Stroke& stroke = StrokeFor(layer, pen);
    std::string& path = stroke.path;
    Put(path, start.x, kCurveDecimals);
    Put(path, start.y, kCurveDecimals);
    path += "m\n";
    for (const VectorCubic& c : cubics) {
      for (const VectorPoint p : {c.c1, c.c2, c.to}) {
        Put(path, p.x, kCurveDecimals);
        Put(path, p.y, kCurveDecimals);
      }
      path += "c\n";
    }
    // A solid line never joins an arc: the arc's end is rarely exactly a point.
    stroke.has_last = false;
  }

  void Text(std::uint8_t layer, const VectorText& text, const TJwcText&,
            const TJwcTextStyle&) override {
    if (!m_begun) return;
    LayerSlot& slot = Slot(layer);
    TextRun* run = nullptr;
    for (TextRun& r : slot.texts) {
      if (r.colour == text.colour) run = &r;
    }
    if (run == nullptr) {
      slot.texts.push_back({text.colour, {}, {}, -1, false});
      run = &slot.texts.back();
    }
    AddText(*run, text);
  }

  void Dot(std::uint8_t layer, Colour colour, VectorPoint centre, int diameter,
           const TJwcDot&) override {
    if (!m_begun || !Finite(centre) || diameter <= 0) return;
    const double x = centre.x, y = centre.y;
    if (m_box.Misses(x, y, x, y)) return;
    LayerSlot& slot = Slot(layer);
    DotRun* run = nullptr;
    for (DotRun& r : slot.dots) {
      if (r.colour == colour && r.diameter == diameter) run = &r;
    }
    if (run == nullptr) {
      slot.dots.push_back({colour, diameter, {}});
      run = &slot.dots.back();
    }
    // A subpath of no length stroked with round caps is a disc as wide as the pen.
    Put(run->path, x);
    Put(run->path, y);
    run->path += "m ";
    Put(run->path, x);
    Put(run->path, y);
    run->path += "l\n";
  }

  void Stamp(const VectorText& text) override {
    if (!m_begun) return;
    m_stamp.colour = text.colour;
    AddText(m_stamp, text);
  }

  bool Finish(std::string* error) override {
    if (!m_begun || m_page.dpi <= 0 || m_page.width <= 0 || m_page.height <= 0) {
      *error = "the vector page has no size";
      return false;
    }
    const double scale = 72.0 / m_page.dpi;
    std::string page_width, page_height;
    AppendNumber(page_width, m_page.width * scale, 4);
    AppendNumber(page_height, m_page.height * scale, 4);

    // Object numbers: 1 catalog, 2 page tree, 3 page, 4 contents, then the
    // optional content groups (groups, then layers), then six per font.
    std::vector<std::size_t> group_of(m_layers.size());
    std::vector<std::size_t> group_first;  // a layer slot naming each group
    for (std::size_t i = 0; i < m_layers.size(); ++i) {
      const int nibble = m_layers[i].info.layer >> 4;
      std::size_t g = 0;
      while (g < group_first.size() && (m_layers[group_first[g]].info.layer >> 4) != nibble) ++g;
      if (g == group_first.size()) group_first.push_back(i);
      group_of[i] = g;
    }
    const int first_group_object = 5;
    const int first_layer_object = first_group_object + static_cast<int>(group_first.size());
    const int first_font_object = first_layer_object + static_cast<int>(m_layers.size());

    std::string content = ContentStream(scale, page_height, group_of);
    std::vector<PdfEmbeddedFont> fonts(static_cast<std::size_t>(m_fonts.FontCount()));
    for (int i = 0; i < m_fonts.FontCount(); ++i) {
      if (!m_fonts.Embed(i, &fonts[static_cast<std::size_t>(i)], error)) return false;
    }

    Write("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
    std::string catalog = "<< /Type /Catalog /Pages 2 0 R";
    if (!m_layers.empty()) {
      catalog += " /PageMode /UseOC /OCProperties << /OCGs [";
      for (std::size_t i = 0; i < group_first.size() + m_layers.size(); ++i) {
        catalog += ' ' + Ref(first_group_object + static_cast<int>(i));
      }
      catalog += " ] /D << /BaseState /ON /Order [";
      std::string off, hidden;
      for (std::size_t g = 0; g < group_first.size(); ++g) {
        catalog += ' ' + Ref(first_group_object + static_cast<int>(g)) + " [";
        bool all_hidden = true;
        for (std::size_t i = 0; i < m_layers.size(); ++i) {
          if (group_of[i] != g) continue;
          const std::string ref = Ref(first_layer_object + static_cast<int>(i));
          catalog += ' ' + ref;
          if (m_layers[i].info.shown) {
            all_hidden = false;
          } else {
            off += ' ' + ref;
          }
        }
        catalog += " ]";
        if (all_hidden) off += ' ' + Ref(first_group_object + static_cast<int>(g));
      }
      catalog += " ]";
      if (!off.empty()) {
        // Switched off in the viewer, and printing follows each group's own
        // print state, so a hidden layer does not print either.
        catalog += " /OFF [" + off + " ] /AS [ << /Event /Print /OCGs [" + off +
                   " ] /Category [ /Print ] >> ]";
      }
      catalog += " >> >>";
    }
    Object(1, catalog + " >>");
    Object(2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>");
    std::string resources = "<<";
    if (!fonts.empty()) {
      resources += " /Font <<";
      for (std::size_t i = 0; i < fonts.size(); ++i) {
        resources +=
            " /F" + std::to_string(i) + ' ' + Ref(first_font_object + 6 * static_cast<int>(i));
      }
      resources += " >>";
    }
    if (!m_layers.empty()) {
      resources += " /Properties <<";
      for (std::size_t g = 0; g < group_first.size(); ++g) {
        resources +=
            " /G" + std::to_string(g) + ' ' + Ref(first_group_object + static_cast<int>(g));
      }
      for (std::size_t i = 0; i < m_layers.size(); ++i) {
        resources +=
            " /L" + std::to_string(i) + ' ' + Ref(first_layer_object + static_cast<int>(i));
      }
      resources += " >>";
    }
    resources += " >>";
    Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 " + page_width + ' ' + page_height +
                  " ] /Resources " + resources + " /Contents 4 0 R >>");
    if (!StreamObject(4, "", content, error)) return false;
    content = std::string();

    for (std::size_t g = 0; g < group_first.size(); ++g) {
      bool shown = false;
      for (std::size_t i = 0; i < m_layers.size(); ++i) {
        if (group_of[i] == g && m_layers[i].info.shown) shown = true;
      }
      Object(first_group_object + static_cast<int>(g),
             GroupDictionary(m_layers[group_first[g]].info.group_name, shown));
    }
    for (std::size_t i = 0; i < m_layers.size(); ++i) {
      Object(first_layer_object + static_cast<int>(i),
             GroupDictionary(m_layers[i].info.name, m_layers[i].info.shown));
    }
    for (std::size_t i = 0; i < fonts.size(); ++i) {
      if (!WriteFont(first_font_object + 6 * static_cast<int>(i), fonts[i], error)) return false;
    }

    const std::uint64_t xref = m_out.Position();
    const int objects = first_font_object + 6 * static_cast<int>(fonts.size());
    Write("xref\n0 " + std::to_string(objects) + "\n0000000000 65535 f \n");
    for (const std::uint64_t offset : m_offsets) {
      char entry[32];
      std::snprintf(entry, sizeof(entry), "%010llu 00000 n \n",
                    static_cast<unsigned long long>(offset));
      Write(entry);
    }
    Write("trailer\n<< /Size " + std::to_string(objects) + " /Root 1 0 R >>\nstartxref\n" +
          std::to_string(xref) + "\n%%EOF\n");
    m_out.Flush();
    if (!m_out.Error().empty()) {
      *error = m_out.Error();
      return false;
    }
    return true;
  }

 private:
  // The text's characters, each where the raster draws it, inside a span
  // whose actual text is the whole string: readers then find the string as
  // one word whatever the spacing of its characters.
  void AddText(TextRun& run, const VectorText& text) {
    const std::size_t start = run.ops.size();
    std::string utf8;
    for (const JwcTextChar& c : text.chars) {
      for (std::string_view bytes = c.bytes; !bytes.empty();) {
        const Cp932Char code = DecodeCp932Char(bytes);
        bytes.remove_prefix(static_cast<std::size_t>(code.length));
        if (code.valid && code.code >= 0x20 && code.code != 0x7F) AppendUtf8(utf8, code.code);
      }
    }
    run.ops += "/Span << /ActualText " + PdfTextString(utf8) + " >> BDC\n";
    const std::size_t glyphs_start = run.ops.size();
    for (const JwcTextChar& c : text.chars) {
      m_glyphs.clear();
      m_fonts.Place(c, text.face_file, text.face_index, &m_glyphs);
      for (const PdfGlyph& glyph : m_glyphs) AddGlyph(run, glyph);
    }
    if (run.ops.size() == glyphs_start) {
      // Nothing of it on the page, or only outlines.
      run.ops.resize(start);
    } else {
      run.ops += "EMC\n";
    }
  }

  void AddGlyph(TextRun& run, const PdfGlyph& glyph) {
    {
      const auto& m = glyph.matrix;
      if (!std::all_of(m.begin(), m.end(), [](double v) { return std::isfinite(v); })) return;
      const double reach =
          2 * (std::fabs(m[0]) + std::fabs(m[1]) + std::fabs(m[2]) + std::fabs(m[3]));
      if (m_box.Misses(m[4] - reach, m[5] - reach, m[4] + reach, m[5] + reach)) return;
      run.outlines += glyph.outline;
      if (glyph.font < 0) return;
      std::string& ops = run.ops;
      if (glyph.font != run.font) {
        ops += "/F" + std::to_string(glyph.font) + " 1 Tf\n";
        run.font = glyph.font;
      }
      if (glyph.visible == run.invisible) {
        // A character no face draws stays findable, as invisible text.
        run.invisible = !glyph.visible;
        ops += run.invisible ? "3 Tr\n" : "0 Tr\n";
      }
      for (int i = 0; i < 4; ++i) Put(ops, m[static_cast<std::size_t>(i)], kMatrixDecimals);
      Put(ops, m[4]);
      Put(ops, m[5]);
      static const char kHex[] = "0123456789ABCDEF";
      ops += "Tm <";
      for (const int shift : {12, 8, 4, 0}) ops += kHex[(glyph.cid >> shift) & 15];
      ops += "> Tj\n";
    }
  }

  static void AppendText(std::string& out, const TextRun& run) {
    if (!run.outlines.empty()) {
      PutColour(out, run.colour);
      out += "rg\n" + run.outlines + "f\n";
    }
    if (run.ops.empty()) return;
    out += "BT\n";
    PutColour(out, run.colour);
    out += "rg\n" + run.ops;
    if (run.invisible) out += "0 Tr\n";
    out += "ET\n";
  }

  std::string ContentStream(double scale, const std::string& page_height,
                            const std::vector<std::size_t>& group_of) const {
    std::string out = "q\n";
    Put(out, scale, 8);
    out += "0 0 ";
    Put(out, -scale, 8);
    out += "0 " + page_height + " cm\n";
    PutColour(out, m_page.background);
    out += "rg 0 0 " + std::to_string(m_page.width) + ' ' + std::to_string(m_page.height) +
           " re f\n1 J 1 j\n";
    const auto open = [&](std::size_t i) {
      out += "/OC /G" + std::to_string(group_of[i]) + " BDC /OC /L" + std::to_string(i) + " BDC\n";
    };
    // The raster's order: lines and arcs, texts, dots; layer by layer within each.
    for (std::size_t i = 0; i < m_layers.size(); ++i) {
      const LayerSlot& slot = m_layers[i];
      if (slot.strokes.empty()) continue;
      open(i);
      for (std::size_t k = 0; k < slot.strokes.size(); ++k) {
        out += slot.pens[k];
        out += slot.strokes[k].path;
        out += "S\n";
      }
      out += "EMC EMC\n";
    }
    for (std::size_t i = 0; i < m_layers.size(); ++i) {
      const LayerSlot& slot = m_layers[i];
      if (slot.texts.empty()) continue;
      open(i);
      for (const TextRun& run : slot.texts) AppendText(out, run);
      out += "EMC EMC\n";
    }
    for (std::size_t i = 0; i < m_layers.size(); ++i) {
      const LayerSlot& slot = m_layers[i];
      if (slot.dots.empty()) continue;
      open(i);
      for (const DotRun& run : slot.dots) {
        PutColour(out, run.colour);
        out += "RG ";
        Put(out, run.diameter, 0);
        out += "w [] 0 d\n" + run.path + "S\n";
      }
      out += "EMC EMC\n";
    }
    AppendText(out, m_stamp);
    out += "Q\n";
    return out;
  }

  static std::string Ref(int object) { return std::to_string(object) + " 0 R"; }

  static std::string GroupDictionary(const std::string& name, bool shown) {
    std::string out = "<< /Type /OCG /Name " + PdfTextString(name);
    if (!shown) {
      out += " /Usage << /View << /ViewState /OFF >> /Print << /PrintState /OFF >> >>";
    }
    return out + " >>";
  }

  bool WriteFont(int first, const PdfEmbeddedFont& font, std::string* error) {
    const std::string name = '/' + font.base_name;
    Object(first, "<< /Type /Font /Subtype /Type0 /BaseFont " + name +
                      " /Encoding /Identity-H /DescendantFonts [ " + Ref(first + 1) +
                      " ] /ToUnicode " + Ref(first + 4) + " >>");
    std::string widths = "[ 1 [";
    for (const int w : font.widths) widths += ' ' + std::to_string(w);
    widths += " ] ]";
    Object(first + 1, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont " + name +
                          " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 "
                          ">> /FontDescriptor " +
                          Ref(first + 2) + " /DW 1000 /W " + widths + " /CIDToGIDMap " +
                          Ref(first + 5) + " >>");
    Object(first + 2, "<< /Type /FontDescriptor /FontName " + name + " /Flags 4 /FontBBox [ " +
                          std::to_string(font.bbox[0]) + ' ' + std::to_string(font.bbox[1]) + ' ' +
                          std::to_string(font.bbox[2]) + ' ' + std::to_string(font.bbox[3]) +
                          " ] /ItalicAngle 0 /Ascent " + std::to_string(font.ascent) +
                          " /Descent " + std::to_string(font.descent) + " /CapHeight " +
                          std::to_string(font.cap_height) + " /StemV 80 /FontFile2 " +
                          Ref(first + 3) + " >>");
    const std::string_view file(reinterpret_cast<const char*>(font.font_file.data()),
                                font.font_file.size());
    const std::string_view map(reinterpret_cast<const char*>(font.cid_to_gid.data()),
                               font.cid_to_gid.size());
    return StreamObject(first + 3, " /Length1 " + std::to_string(file.size()), file, error) &&
           StreamObject(first + 4, "", font.to_unicode, error) &&
           StreamObject(first + 5, "", map, error);
  }

  void Write(const std::string& text) { m_out.Write(text.data(), text.size()); }

  void StartObject(int number) {
    m_offsets.resize(static_cast<std::size_t>(number));
    m_offsets[static_cast<std::size_t>(number - 1)] = m_out.Position();
    Write(std::to_string(number) + " 0 obj\n");
  }

  void Object(int number, const std::string& body) {
    StartObject(number);
    Write(body + "\nendobj\n");
  }

  bool StreamObject(int number, const std::string& entries, std::string_view data,
                    std::string* error) {
    // libdeflate: the same zlib stream in a fraction of zlib's time, and smaller.
    if (m_compressor == nullptr) m_compressor = libdeflate_alloc_compressor(kCompressionLevel);
    if (m_compressor == nullptr) {
      *error = "cannot start the PDF's compression";
      return false;
    }
    m_zipped.resize(libdeflate_zlib_compress_bound(m_compressor, data.size()));
    const std::size_t size = libdeflate_zlib_compress(m_compressor, data.data(), data.size(),
                                                      m_zipped.data(), m_zipped.size());
    if (size == 0) {
      *error = "cannot compress the PDF's contents";
      return false;
    }
    StartObject(number);
    Write("<< /Length " + std::to_string(size) + " /Filter /FlateDecode" + entries +
          " >>\nstream\n");
    m_out.Write(m_zipped.data(), size);
    Write("\nendstream\nendobj\n");
    return true;
  }

  LayerSlot& Slot(std::uint8_t layer, const VectorLayer* info = nullptr) {
    auto it = m_by_byte.find(layer);
    if (it != m_by_byte.end()) return m_layers[it->second];
    LayerSlot slot;
    if (info != nullptr) {
      slot.info = *info;
    } else {
      // A layer the page did not list: named as the listing would name it.
      static const char kHex[] = "0123456789ABCDEF";
      slot.info.layer = layer;
      slot.info.group_name = std::string("G") + kHex[layer >> 4];
      slot.info.name = slot.info.group_name + "-" + kHex[layer & 15];
    }
    m_by_byte.emplace(layer, m_layers.size());
    m_layers.push_back(std::move(slot));
    return m_layers.back();
  }

  Stroke& StrokeFor(std::uint8_t layer, const VectorPen& pen) {
    // Entities mostly come in runs of one layer and pen.
    if (m_last_stroke != nullptr && m_last_layer == layer && m_last_pen.colour == pen.colour &&
        m_last_pen.width == pen.width && m_last_pen.dashes == pen.dashes) {
      return *m_last_stroke;
    }
    m_last_layer = layer;
    m_last_pen = pen;
    m_last_stroke = &NewStrokeFor(layer, pen);
    return *m_last_stroke;
  }

  Stroke& NewStrokeFor(std::uint8_t layer, const VectorPen& pen) {
    LayerSlot& slot = Slot(layer);
    std::string ops;
    PutColour(ops, pen.colour);
    ops += "RG ";
    // A one-pixel pen is the thinnest line the device draws (width 0): one
    // pixel at the dpi, as the raster's. A width of 1/dpi inch instead is drawn
    // over every pixel the band touches, two or three on a slant, by
    // rasterisers without antialiasing (poppler's among them).
    Put(ops, pen.width <= 1 ? 0 : pen.width, 0);
    ops += "w [";
    double period = 0;
    bool any_drawn = false;
    for (std::size_t i = 0; i < pen.dashes.size(); ++i) {
      const int element = std::max(pen.dashes[i], 0);
      period += element;
      if (i % 2 == 0 && element > 0) any_drawn = true;
    }
    // An odd count repeats, as PDF reads it; a pattern with nothing drawn or
    // nothing left out is a solid line.
    if (pen.dashes.size() % 2 != 0) period *= 2;
    const bool dashed = any_drawn && period > 0 && pen.dashes.size() > 1;
    if (dashed) {
      for (std::size_t i = 0; i < pen.dashes.size(); ++i) {
        if (i > 0) ops += ' ';
        AppendNumber(ops, std::max(pen.dashes[i], 0), 0);
      }
    }
    ops += "] 0 d\n";
    auto it = slot.stroke_index.find(ops);
    if (it == slot.stroke_index.end()) {
      it = slot.stroke_index.emplace(ops, slot.strokes.size()).first;
      slot.pens.push_back(ops);
      slot.strokes.emplace_back();
      slot.strokes.back().period = dashed ? period : 0;
    }
    return slot.strokes[it->second];
  }

  StreamWriter m_out;
  VectorPage m_page;
  bool m_begun = false;
  Box m_box{};
  std::deque<LayerSlot> m_layers;  // a deque: strokes are pointed at
  std::unordered_map<std::uint8_t, std::size_t> m_by_byte;
  // The stroke the last line or arc went to (strokes live in deques: stable).
  Stroke* m_last_stroke = nullptr;
  std::uint8_t m_last_layer = 0;
  VectorPen m_last_pen;
  PdfFontSet m_fonts;
  TextRun m_stamp;
  std::vector<PdfGlyph> m_glyphs;
  std::vector<std::uint64_t> m_offsets;
  std::vector<std::uint8_t> m_zipped;
  libdeflate_compressor* m_compressor = nullptr;
};

}  // namespace

std::unique_ptr<VectorTarget> CreatePdfVectorWriter(ByteSink& sink, const VectorWriterOptions&) {
  return std::make_unique<PdfVectorWriter>(sink);
}

}  // namespace pelmora
