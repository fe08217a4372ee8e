// Writes DXF files for check_dxf.py to read back with ezdxf and LibreCAD, each
// with a JSON list of what it must hold: the layers with their entity counts
// and, entity by entity in file order, the values in full-size millimetres.
// Usage: pelmora_dxf_samples FOLDER
//
// "cases": entities handed to the writer directly, the awkward ones included
// (scales, tilted and flattened arcs, Japanese, carets, control bytes, broken
// Shift-JIS, NaN, huge values); the expected values are given in drawing
// units with the group scale, for the script to work out on its own.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "output/format_encoders.h"
#include "vector/vector_writers.h"

namespace pelmora {
namespace {

std::string Quote(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string Number(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.9g", v);
  return buffer;
}

struct Cases {
  VectorPage page;
  std::vector<std::string> expected;  // JSON objects, in file order

  void Feed(VectorTarget& target) {
    page.width = 1000;
    page.height = 700;
    page.dpi = 254;
    page.pixels_per_mm_paper = 10.0;  // 254 dpi
    page.drawing_units_per_mm = 1.0f;
    page.layers = {
        {0x00, true, "G0", "0-0 壁", 1.0},
        {0x01, true, "G0", "0-1 a<b>:c", 1.0},
        {0x21, true, "G2 detail", "2-1 詳細", 50.0},
        {0x22, false, "G2 detail", "2-2 hidden", 50.0},
        {0x30, true, "G3", "3-0 zero scale", 0.0},
        {0x40, true, "G4", "4-0 壁", 1.0},  // the same name as 0-0
    };
    target.Begin(page);
    VectorPen solid{0x000000, 3, 1, {}};
    VectorPen dashed{0x0000FF, 5, 2, {13, 13}};
    VectorPen chain{0x00FF00, 1, 6, {67, 11, 5, 11}};
    Line(target, 0x00, solid, {10, 20, 300, 20}, 1.0);
    Line(target, 0x00, dashed, {10, 40, 300, 40}, 1.0);
    Line(target, 0x21, chain, {1.5, 2.25, 3.125, -4}, 50.0);
    Line(target, 0x22, solid, {5, 5, 6, 6}, 50.0);
    Line(target, 0x30, solid, {1, 2, 3, 4}, 1.0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float huge = std::numeric_limits<float>::max();
    target.Line(0x00, solid, {}, {}, {nan, 0, 1, 1, 1, 1, 0x00, {}});   // dropped
    target.Line(0x00, solid, {}, {}, {huge, 0, 1, 1, 1, 1, 0x00, {}});  // dropped
    Arc(target, 0x00, dashed, {100, 100, 30, 1, 0, 360, 0}, 1.0);
    Arc(target, 0x00, solid, {100, 100, 30, 1, 30, 120, 15}, 1.0);
    Arc(target, 0x01, solid, {200, 100, 40, 0.5, 10, 250, 30}, 1.0);
    Arc(target, 0x21, chain, {2, 3, 4, 2.5, 45, 200, -20}, 50.0);
    Arc(target, 0x21, solid, {2, 3, 4, 2, 0, 360, 60}, 50.0);
    Text(target, 0x00, {20, 200, 120, 200}, "\x93\xfa\x96\x7b\x8c\xea ABC", "日本語 ABC",
         {5, 5, 0, 2}, 0x00, 5.0, 1.0);
    Text(target, 0x21, {1, 1, 1, 5}, "x^u2 ^Z 50%", "x2 ^Z 50%", {3, 6, 0, 3}, 0x20, 3.0, 50.0);
    Text(target, 0x01, {50, 250, 60, 260}, "a\tb\x81", "a b?", {4, 2, 0, 1}, 0x00, 4.0, 1.0);
    Text(target, 0x01, {50, 270, 60, 270}, "\x82\xa0\x82\xa2\x81\x45\x81\x45",
         "\xe3\x81\x82\xe3\x81\x84", {4, 4, 0, 1}, 0x00, 4.0, 1.0);
    Text(target, 0x01, {0, 0, 1, 0}, "", nullptr, {4, 4, 0, 1}, 0x00, 4.0, 1.0);  // dropped
    Dot(target, 0x40, {77.5, 88.25}, 1.0);
    Dot(target, 0x00, {-1e30f, 0}, 1.0);  // dropped
  }

  void Line(VectorTarget& target, std::uint8_t layer, const VectorPen& pen, std::array<float, 4> p,
            double scale) {
    target.Line(layer, pen, {}, {}, {p[0], p[1], p[2], p[3], 1, 1, layer, {}});
    expected.push_back("{\"type\": \"LINE\", \"layer\": " + std::to_string(layer) +
                       ", \"scale\": " + Number(scale) + ", \"start\": [" + Number(p[0]) + ", " +
                       Number(p[1]) + "], \"end\": [" + Number(p[2]) + ", " + Number(p[3]) +
                       "], \"dashes\": [" + Dashes(pen) +
                       "], \"width\": " + Number(pen.width / page.pixels_per_mm_paper) +
                       ", \"colour\": " + std::to_string(pen.colour) + "}");
  }

  std::string Dashes(const VectorPen& pen) {
    std::string out;
    for (const int d : pen.dashes)
      out += (out.empty() ? "" : ", ") + Number(d / page.pixels_per_mm_paper);
    return out;
  }

  // centre x, y, radius, flatness, start, end, tilt; already normalised.
  void Arc(VectorTarget& target, std::uint8_t layer, const VectorPen& pen, std::array<float, 7> a,
           double scale) {
    const TJwcArc raw{a[0], a[1], a[2], a[3], a[4], a[5], a[6], 1, 1, layer, {}};
    target.Arc(layer, pen, {{}, 0, a[3], a[4], a[5], a[6]}, raw);
    expected.push_back("{\"type\": \"ARC\", \"layer\": " + std::to_string(layer) +
                       ", \"scale\": " + Number(scale) + ", \"arc\": [" + Number(a[0]) + ", " +
                       Number(a[1]) + ", " + Number(a[2]) + ", " + Number(a[3]) + ", " +
                       Number(a[4]) + ", " + Number(a[5]) + ", " + Number(a[6]) +
                       "], \"dashes\": [" + Dashes(pen) + "]}");
  }

  void Text(VectorTarget& target, std::uint8_t layer, std::array<float, 4> p, const char* sjis,
            const char* shown, TJwcTextStyle style, std::uint8_t flags, double height,
            double scale) {
    TJwcText raw{p[0], p[1], p[2], p[3], sjis, 1, layer, flags, 0};
    VectorText text;
    text.colour = 0x0000FF;
    target.Text(layer, text, raw, style);
    if (shown == nullptr) return;
    expected.push_back("{\"type\": \"TEXT\", \"layer\": " + std::to_string(layer) +
                       ", \"scale\": " + Number(scale) + ", \"start\": [" + Number(p[0]) + ", " +
                       Number(p[1]) + "], \"end\": [" + Number(p[2]) + ", " + Number(p[3]) +
                       "], \"height\": " + Number(height) +
                       ", \"width\": " + Number(style.Width / style.Height) + ", \"vertical\": " +
                       ((flags & 0x20) ? "true" : "false") + ", \"text\": " + Quote(shown) + "}");
  }

  void Dot(VectorTarget& target, std::uint8_t layer, std::array<float, 2> p, double scale) {
    target.Dot(layer, 0x00FF00, {}, 5, {p[0], p[1], layer, 1, {}});
    if (std::fabs(p[0]) > 1e9) return;
    expected.push_back("{\"type\": \"POINT\", \"layer\": " + std::to_string(layer) +
                       ", \"scale\": " + Number(scale) + ", \"start\": [" + Number(p[0]) + ", " +
                       Number(p[1]) + "]}");
  }
};

bool WriteCases(const std::string& folder, bool utf8) {
  const std::string stem = folder + (utf8 ? "/cases-utf8" : "/cases");
  std::vector<std::uint8_t> bytes;
  ByteSink sink(&bytes);
  auto writer = CreateDxfWriter(sink, {.dxf_utf8 = utf8});
  Cases cases;
  cases.Feed(*writer);
  std::string error;
  if (!writer->Finish(&error)) {
    std::fprintf(stderr, "%s: %s\n", stem.c_str(), error.c_str());
    return false;
  }
  std::ofstream(stem + ".dxf", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  std::string layers;
  for (const VectorLayer& layer : cases.page.layers) {
    layers += std::string(layers.empty() ? "" : ", ") +
              "{\"byte\": " + std::to_string(layer.layer) + ", \"name\": " + Quote(layer.name) +
              ", \"shown\": " + (layer.shown ? "true" : "false") + "}";
  }
  std::string entities;
  for (const std::string& e : cases.expected) entities += (entities.empty() ? "" : ",\n  ") + e;
  std::ofstream(stem + ".json") << "{\"layers\": [" << layers << "],\n \"entities\": [\n  "
                                << entities << "]}\n";
  return true;
}

}  // namespace
}  // namespace pelmora

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pelmora_dxf_samples FOLDER\n");
    return 2;
  }
  const bool ok = pelmora::WriteCases(argv[1], false) && pelmora::WriteCases(argv[1], true);
  return ok ? 0 : 1;
}
