// The SVG writer fed directly, its file read back with Qt's XML reader; the
// glyph outlines filled and laid over the font rasteriser's pixels.
#include <gtest/gtest.h>

#include <QString>
#include <QXmlStreamReader>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/fonts/face_lookup.h"
#include "platform/fonts/font_rasterizer.h"
#include "platform/raster/bitmap.h"
#include "vector/raster_glyphs.h"
#include "vector/vector_writers.h"

namespace pelmora {
namespace {

const std::string kNi = "\x93\xFA";   // 日
const std::string kHon = "\x96\x7B";  // 本

struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;
  std::vector<std::string> layers;  // labels of the enclosing layer groups, outermost first
};

// Every element of a well-formed document; fails the test otherwise.
std::vector<Element> Parse(const std::string& svg) {
  std::vector<Element> elements;
  std::vector<std::string> layers;
  std::vector<bool> is_layer;
  std::vector<std::size_t> open;  // indices of the elements not yet ended
  QXmlStreamReader xml(QByteArray::fromStdString(svg));
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      Element e;
      e.name = xml.name().toString().toStdString();
      for (const QXmlStreamAttribute& a : xml.attributes()) {
        e.attributes[a.qualifiedName().toString().toStdString()] =
            a.value().toString().toStdString();
      }
      const bool layer = e.attributes.count("inkscape:groupmode") != 0;
      if (layer) layers.push_back(e.attributes["inkscape:label"]);
      is_layer.push_back(layer);
      e.layers = layers;
      open.push_back(elements.size());
      elements.push_back(e);
    } else if (xml.isCharacters() && !open.empty()) {
      elements[open.back()].text += xml.text().toString().toStdString();
    } else if (xml.isEndElement()) {
      if (is_layer.back()) layers.pop_back();
      is_layer.pop_back();
      open.pop_back();
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << "\n" << svg;
  return elements;
}

std::string Write(const VectorWriterOptions& options,
                  const std::function<void(VectorTarget&)>& draw) {
  std::vector<std::uint8_t> bytes;
  ByteSink sink(&bytes);
  auto writer = CreateSvgWriter(sink, options);
  // 254 dpi: a pixel is a tenth of a millimetre.
  VectorPage page;
  page.width = 1000;
  page.height = 500;
  page.dpi = 254;
  page.background = 0x00FFFFFF;
  page.layers = {{0x00, true, "0", "0-0 \xE5\xA3\x81", 1.0},
                 {0x01, true, "0", "0-1 a&b<\"c\"", 1.0},
                 {0x12, false, "1 \xFF", "1-2", 1.0}};
  writer->Begin(page);
  draw(*writer);
  std::string error;
  EXPECT_TRUE(writer->Finish(&error)) << error;
  return std::string(bytes.begin(), bytes.end());
}

VectorText Kanji(Point at, int height) {
  VectorText text;
  text.colour = 0x000000FF;
  const FaceChoice face = JapaneseGothicFace();
  text.face_file = face.file;
  text.face_index = face.index;
  for (const std::string& c : {kNi, kHon, kNi}) {
    LogFont font;
    font.height = height;
    text.chars.push_back({c, font, at});
    at.x += height;
  }
  return text;
}

void DrawScene(VectorTarget& t) {
  const VectorPen solid{0x000000FF, 1, 1, {}};
  const VectorPen dashed{0x00FF0000, 3, 2, {10, 5}};
  t.Line(0x00, solid, {10.5, 20.5}, {110.5, 20.5}, {});
  t.Line(0x00, dashed, {0, 0}, {100, 100}, {});
  t.Line(0x00, solid, {10.5, 30.5}, {10.5, 40.5}, {});
  t.Line(0x00, solid, {std::nan(""), 0}, {1, 1}, {});
  t.Line(0x00, solid, {-1e9, 50}, {1e9, 50}, {});
  t.Arc(0x01, dashed, {{500, 250}, 100, 0.5, 0, 360, 30}, {});
  t.Text(0x01, Kanji({200, 300}, 40), {}, {});
  t.Dot(0x12, 0x0000FF00, {700.5, 100.5}, 5, {});
}

TEST(SvgWriter, PageLayersAndMergedPaths) {
  const std::vector<Element> doc = Parse(Write({}, DrawScene));
  ASSERT_FALSE(doc.empty());
  EXPECT_EQ(doc[0].attributes.at("viewBox"), "0 0 100 50");
  EXPECT_EQ(doc[0].attributes.at("width"), "100mm");
  std::vector<std::string> labels;
  std::map<std::string, std::vector<const Element*>> in_layer;
  std::string hidden;
  for (const Element& e : doc) {
    if (e.attributes.count("inkscape:label")) labels.push_back(e.attributes.at("inkscape:label"));
    if (e.attributes.count("style") && e.attributes.at("style") == "display:none") {
      hidden += e.attributes.at("inkscape:label");
    }
    if (!e.layers.empty() && e.name != "g") in_layer[e.layers.back()].push_back(&e);
  }
  const std::vector<std::string> expected = {"0", "0-0 \xE5\xA3\x81", "0-1 a&b<\"c\"",
                                             "1 \xEF\xBF\xBD", "1-2"};
  EXPECT_EQ(labels, expected);
  EXPECT_EQ(hidden, "1-2");

  // Layer 0-0: one path per pen; the solid one holds both lines (the NaN line
  // dropped, the endless one cut), each its own subpath.
  const auto& walls = in_layer["0-0 \xE5\xA3\x81"];
  ASSERT_EQ(walls.size(), 2u);
  EXPECT_EQ(walls[0]->attributes.at("stroke"), "#ff0000");
  EXPECT_EQ(walls[0]->attributes.at("stroke-width"), "0.1");
  EXPECT_EQ(walls[0]->attributes.at("d"), "M1.05 2.05l10 0m-10 1l0 1m-1000001.05 .95l2000000 0");
  EXPECT_EQ(walls[1]->attributes.at("stroke"), "#0000ff");
  EXPECT_EQ(walls[1]->attributes.at("stroke-width"), "0.3");
  EXPECT_EQ(walls[1]->attributes.at("stroke-dasharray"), "1 0.5");

  // Layer 0-1: the arc, then the text at its glyph origins.
  const auto& second = in_layer["0-1 a&b<\"c\""];
  ASSERT_GE(second.size(), 2u);
  EXPECT_EQ(second[0]->attributes.at("d")[0], 'M');
  EXPECT_EQ(second[1]->name, "text");
  EXPECT_EQ(second[1]->attributes.at("xml:lang"), "ja");
  EXPECT_EQ(second[1]->attributes.at("font-family"),
            "'" + JapaneseGothicFace().family + "', 'Noto Sans CJK JP', sans-serif");
  std::string text;
  std::vector<double> xs;
  for (const Element* e : second) {
    if (e->name != "tspan") continue;
    text += e->text;
    xs.push_back(std::stod(e->attributes.at("x")));
  }
  EXPECT_EQ(text, "\xE6\x97\xA5\xE6\x9C\xAC\xE6\x97\xA5");  // 日本日
  EXPECT_EQ(xs, (std::vector<double>{20, 24, 28}));
  // The hidden layer's dot, a filled disc.
  const auto& dots = in_layer["1-2"];
  ASSERT_EQ(dots.size(), 1u);
  EXPECT_EQ(dots[0]->attributes.at("fill"), "#00ff00");
}

// Fills path data (M, m, l, q, c, z: the writer's own commands) at pixel
// centres with the non-zero rule, millimetres at 254 dpi as page pixels.
std::vector<bool> Fill(const std::string& d, double dx, double dy, int width, int height) {
  std::vector<std::pair<VectorPoint, VectorPoint>> edges;
  VectorPoint current{}, start{};
  std::size_t i = 0;
  char command = 0;
  auto number = [&]() {
    std::size_t used = 0;
    const double v = std::stod(d.substr(i), &used);
    i += used;
    while (i < d.size() && d[i] == ' ') ++i;
    return v * 10;
  };
  auto close = [&]() {
    edges.push_back({current, start});
    current = start;
  };
  while (i < d.size()) {
    if (std::isalpha(static_cast<unsigned char>(d[i]))) command = d[i++];
    if (command == 'z') {
      close();
      continue;
    }
    const int count = command == 'q' ? 2 : command == 'c' ? 3 : 1;
    std::vector<VectorPoint> p;
    for (int k = 0; k < count; ++k) {
      double x = number(), y = number();
      if (command != 'M') x += current.x, y += current.y;
      p.push_back({x, y});
    }
    if (command == 'M' || command == 'm') {
      if (edges.size() && (current.x != start.x || current.y != start.y)) close();
      current = start = p[0];
      continue;
    }
    const VectorPoint p0 = current;
    for (int s = 1; s <= 16; ++s) {
      const double t = s / 16.0, u = 1 - t;
      VectorPoint q = p.back();
      if (count == 2) {
        q = {u * u * p0.x + 2 * u * t * p[0].x + t * t * p[1].x,
             u * u * p0.y + 2 * u * t * p[0].y + t * t * p[1].y};
      } else if (count == 3) {
        q = {
            u * u * u * p0.x + 3 * u * u * t * p[0].x + 3 * u * t * t * p[1].x + t * t * t * p[2].x,
            u * u * u * p0.y + 3 * u * u * t * p[0].y + 3 * u * t * t * p[1].y +
                t * t * t * p[2].y};
      } else if (s > 1) {
        break;
      }
      edges.push_back({current, q});
      current = q;
    }
  }
  std::vector<bool> inside(static_cast<std::size_t>(width * height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double px = x + 0.5 - dx, py = y + 0.5 - dy;
      int winding = 0;
      for (const auto& [a, b] : edges) {
        if ((a.y <= py) == (b.y <= py)) continue;
        const double cross = a.x + (py - a.y) * (b.x - a.x) / (b.y - a.y);
        if (cross > px) winding += a.y <= py ? 1 : -1;
      }
      inside[static_cast<std::size_t>(y * width + x)] = winding != 0;
    }
  }
  return inside;
}

TEST(SvgWriter, GlyphOutlinesCoverTheRastersPixels) {
  struct Case {
    int height, width, escapement;
  } cases[] = {{40, 0, 0}, {-33, 9, 0}, {40, 0, 900}, {36, 12, 300}, {40, 20, 2700}};
  const FaceChoice face = JapaneseGothicFace();
  ASSERT_TRUE(face.Found());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.escapement);
    LogFont font;
    font.height = c.height;
    font.width = c.width;
    font.escapement = c.escapement;
    VectorText text;
    text.face_file = face.file;
    text.face_index = face.index;
    text.chars.push_back({kHon, font, {60, 60}});
    const std::string svg = Write({.outline_text = true}, [&](VectorTarget& t) {
      t.Text(0x00, text, {}, {});
      t.Text(0x00, text, {}, {});
    });
    EXPECT_EQ(svg.find("<text"), std::string::npos);
    std::string d;
    int uses = 0;
    double ux = 0, uy = 0;
    for (const Element& e : Parse(svg)) {
      if (e.name == "path" && e.attributes.count("id")) d += e.attributes.at("d");
      if (e.name == "use") {
        ++uses;
        ux = std::stod(e.attributes.at("x")) * 10;
        uy = std::stod(e.attributes.at("y")) * 10;
      }
    }
    EXPECT_EQ(uses, 2);  // one outline, used twice
    const int size = 160;
    const std::vector<bool> vector = Fill(d, ux, uy, size, size);
    auto bitmap = Bitmap::Create(size, size, 24);
    Canvas canvas(*bitmap);
    canvas.SetPenColour(0xFFFFFF);
    canvas.SetBrushColour(0xFFFFFF);
    canvas.Rectangle(-1, -1, size + 1, size + 1);
    FontRasterizer rasterizer;
    canvas.SetTextRasterizer(&rasterizer);
    canvas.SetFont(font);
    canvas.SetFontColour(0);
    canvas.TextOut(60, 60, kHon);
    int ink = 0, differ = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const bool raster = bitmap->ColourAt(x, y) != 0xFFFFFF;
        ink += raster;
        differ += raster != vector[static_cast<std::size_t>(y * size + x)];
      }
    }
    EXPECT_GT(ink, 100);
    EXPECT_LT(differ, ink / 20) << "of " << ink;
  }
}

TEST(SvgWriter, AbsurdGeometryGivesShortPlainNumbers) {
  constexpr double kHuge = 1 << 30;
  const VectorPen pen{0, 1, 1, {4, 2}};
  const std::function<void(VectorTarget&)> cases[] = {
      [&](VectorTarget& t) {
        t.Line(0, pen, {-kHuge, -kHuge}, {kHuge, kHuge}, {});
      },
      [&](VectorTarget& t) {
        t.Arc(0, pen, {{kHuge, 0}, kHuge, 1, 0, 720, 0}, {});
      },
      [&](VectorTarget& t) {
        t.Arc(0, pen, {{500, 250}, 400, 1e-9, 10, 350, 45}, {});
      },
      [&](VectorTarget& t) {
        t.Arc(0, pen, {{500, 250}, std::nan(""), 1, 0, 360, 0}, {});
      },
      [&](VectorTarget& t) {
        t.Dot(0, 0, {kHuge, -kHuge}, 1 << 30, {});
      },
      [&](VectorTarget& t) {
        t.Text(0, Kanji({-(1 << 30), 1 << 30}, 40), {}, {});
      },
      [&](VectorTarget& t) {
        t.Text(0, Kanji({0, 0}, 1 << 20), {}, {});
      },
      [&](VectorTarget& t) {
        t.Text(0, Kanji({0, 0}, 1 << 26), {}, {});
      },
  };
  for (const auto& draw : cases) {
    const std::string svg = Write({}, draw);
    EXPECT_LT(svg.size(), 4000u);
    for (const Element& e : Parse(svg)) {
      if (e.attributes.count("d") == 0) continue;
      const std::string& d = e.attributes.at("d");
      EXPECT_EQ(d.find_first_not_of("0123456789.- Mmlcaz"), std::string::npos) << d;
    }
  }
}

}  // namespace
}  // namespace pelmora
