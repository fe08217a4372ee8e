#include "tests/support/canvas_golden_scene.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/raster/canvas.h"

namespace pelmora::golden {

namespace {

struct SceneError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& message) { throw SceneError{message}; }

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= line.size() || line[i] == '#') break;
    std::size_t end = i;
    while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
    words.push_back(line.substr(i, end - i));
    i = end;
  }
  return words;
}

long long Number(const std::string& text) {
  const char* s = text.c_str();
  bool negative = false;
  if (*s == '-' || *s == '+') negative = (*s++ == '-');
  int base = 10;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s += 2;
  }
  char* end = nullptr;
  if (*s == '\0') Fail("bad number '" + text + "'");
  const unsigned long long v = std::strtoull(s, &end, base);
  if (*end != '\0' || v > 0xFFFFFFFFull) Fail("bad number '" + text + "'");
  return negative ? -static_cast<long long>(v) : static_cast<long long>(v);
}

int Int(const std::string& text) {
  const long long v = Number(text);
  if (v < -0x40000000LL || v > 0x40000000LL) Fail("number out of range: " + text);
  return static_cast<int>(v);
}

Colour ParseColour(const std::string& text) {
  const auto comma = text.find(',');
  if (comma == std::string::npos) return static_cast<Colour>(Number(text)) & 0xFFFFFF;
  const auto comma2 = text.find(',', comma + 1);
  if (comma2 == std::string::npos) Fail("bad colour '" + text + "'");
  const int r = Int(text.substr(0, comma));
  const int g = Int(text.substr(comma + 1, comma2 - comma - 1));
  const int b = Int(text.substr(comma2 + 1));
  if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255) Fail("bad colour '" + text + "'");
  return Rgb(r, g, b);
}

void Need(const std::vector<std::string>& w, std::size_t n, const char* usage) {
  if (w.size() != n + 1) Fail(std::string("usage: ") + usage);
}

class Runner {
 public:
  explicit Runner(const DefaultTable& default_table) : m_default_table(default_table) {}

  void Command(const std::vector<std::string>& w) {
    const std::string& cmd = w[0];
    if (cmd == "palette") {
      if (w.size() == 2 && w[1] == "default") {
        m_palette_default = true;
        m_palette.clear();
        return;
      }
      m_palette_default = false;
      m_palette.clear();
      for (std::size_t i = 1; i < w.size(); ++i) m_palette.push_back(ParseColour(w[i]));
      return;
    }
    if (cmd == "image") {
      Need(w, 3, "image W H BPP");
      std::string why;
      auto bitmap = Bitmap::Create(Int(w[1]), Int(w[2]), Int(w[3]), &why);
      if (!bitmap) Fail(why);
      const int bits = bitmap->BitsPerPixel();
      if (bits <= 8) {
        std::vector<Colour> table;
        if (!m_palette_default && !m_palette.empty()) {
          table = m_palette;
        } else if (bits == 4) {
          table = DefaultTable16();
        } else if (bits == 8) {
          if (!m_default_table) Fail("no default table for 8-bit images");
          table = m_default_table(8);
        } else {
          table = {Rgb(0, 0, 0), Rgb(255, 255, 255)};
        }
        if (table.size() > (std::size_t{1} << bits)) Fail("palette too long for the image");
        bitmap->SetColourTable(std::move(table));
      }
      m_bitmap = std::move(bitmap);
      m_canvas = std::make_unique<Canvas>(*m_bitmap);
      // The oracle's DC starts with a black one-pixel pen and a white brush.
      m_canvas->SetBrushColour(Rgb(255, 255, 255));
      m_canvas->SetBrushStyle(BrushStyle::kSolid);
      return;
    }
    if (!m_canvas) Fail("'" + cmd + "' before any image");
    Canvas& c = *m_canvas;
    if (cmd == "fill") {
      // FillRect: the brush colour over the whole image whatever the mode.
      Need(w, 1, "fill COLOR");
      const Colour pen = c.PenColour(), brush = c.BrushColour();
      const int width = c.PenWidth();
      const PenMode mode = c.GetPenMode();
      const BrushStyle style = c.GetBrushStyle();
      const Colour colour = ParseColour(w[1]);
      c.SetPenColour(colour);
      c.SetPenWidth(1);
      c.SetPenMode(PenMode::kCopy);
      c.SetBrushStyle(BrushStyle::kSolid);
      c.SetBrushColour(colour);
      c.Rectangle(0, 0, m_bitmap->Width() + 1, m_bitmap->Height() + 1);
      c.SetPenColour(pen);
      c.SetPenWidth(width);
      c.SetPenMode(mode);
      c.SetBrushStyle(style);
      c.SetBrushColour(brush);
    } else if (cmd == "pen") {
      Need(w, 2, "pen COLOR WIDTH");
      c.SetPenColour(ParseColour(w[1]));
      c.SetPenWidth(Int(w[2]));
    } else if (cmd == "rop") {
      Need(w, 1, "rop copy|xor");
      if (w[1] == "copy") {
        c.SetPenMode(PenMode::kCopy);
      } else if (w[1] == "xor") {
        c.SetPenMode(PenMode::kXor);
      } else {
        Fail("unsupported rop '" + w[1] + "'");
      }
    } else if (cmd == "brush") {
      if (w.size() == 2 && w[1] == "clear") {
        c.SetBrushStyle(BrushStyle::kClear);
      } else if (w.size() == 3 && w[1] == "solid") {
        c.SetBrushStyle(BrushStyle::kSolid);
        c.SetBrushColour(ParseColour(w[2]));
      } else if (w.size() == 3 && w[1] == "cross") {
        c.SetBrushStyle(BrushStyle::kDiagCross);
        c.SetBrushColour(ParseColour(w[2]));
      } else {
        Fail("usage: brush solid COLOR | brush clear | brush cross COLOR");
      }
    } else if (cmd == "bkcolor") {
      Need(w, 1, "bkcolor COLOR");
      c.SetBackgroundColour(ParseColour(w[1]));
    } else if (cmd == "moveto" || cmd == "lineto") {
      Need(w, 2, "moveto|lineto X Y");
      if (cmd == "moveto") {
        c.MoveTo(Int(w[1]), Int(w[2]));
      } else {
        c.LineTo(Int(w[1]), Int(w[2]));
      }
    } else if (cmd == "rect" || cmd == "ellipse") {
      Need(w, 4, "rect|ellipse L T R B");
      const int l = Int(w[1]), t = Int(w[2]), r = Int(w[3]), b = Int(w[4]);
      if (cmd == "rect") {
        c.Rectangle(l, t, r, b);
      } else {
        c.Ellipse(l, t, r, b);
      }
    } else if (cmd == "pixel") {
      Need(w, 3, "pixel X Y COLOR");
      c.SetPixel(Int(w[1]), Int(w[2]), ParseColour(w[3]));
    } else {
      Fail("unsupported command '" + cmd + "'");
    }
  }

  void ThereAndBack(int x, int y) {
    if (!m_canvas) Fail("'lineto' before any image");
    m_canvas->LineThereAndBack(x, y);
  }

  std::unique_ptr<Bitmap> Result() {
    m_canvas.reset();
    if (!m_bitmap) Fail("the scene creates no image");
    return std::move(m_bitmap);
  }

 private:
  const DefaultTable& m_default_table;
  std::vector<Colour> m_palette;
  bool m_palette_default = true;
  std::unique_ptr<Bitmap> m_bitmap;
  std::unique_ptr<Canvas> m_canvas;
};

std::uint32_t Le(const std::vector<unsigned char>& b, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
  return v;
}

}  // namespace

std::vector<Colour> DefaultTable16() {
  return {Rgb(0, 0, 0),     Rgb(128, 0, 0),   Rgb(0, 128, 0),     Rgb(128, 128, 0),
          Rgb(0, 0, 128),   Rgb(128, 0, 128), Rgb(0, 128, 128),   Rgb(192, 192, 192),
          Rgb(128, 128, 128), Rgb(255, 0, 0), Rgb(0, 255, 0),     Rgb(255, 255, 0),
          Rgb(0, 0, 255),   Rgb(255, 0, 255), Rgb(0, 255, 255),   Rgb(255, 255, 255)};
}

namespace {

struct NumberedLine {
  int number;
  std::vector<std::string> words;
};

std::vector<NumberedLine> Commands(std::string_view script) {
  std::vector<NumberedLine> commands;
  std::istringstream in{std::string(script)};
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    auto words = Words(line);
    if (!words.empty()) commands.push_back({number, std::move(words)});
  }
  return commands;
}

bool IsPoint(const std::vector<std::string>& w, const char* command) {
  return w.size() == 3 && w[0] == command;
}

// Whether commands[i..i+2] are "lineto B, lineto A, moveto B" with A the
// position before them.
bool IsThereAndBack(const std::vector<NumberedLine>& commands, std::size_t i, Point position) {
  if (i + 2 >= commands.size()) return false;
  const auto& there = commands[i].words;
  const auto& back = commands[i + 1].words;
  const auto& move = commands[i + 2].words;
  if (!IsPoint(there, "lineto") || !IsPoint(back, "lineto") || !IsPoint(move, "moveto")) return false;
  return Int(back[1]) == position.x && Int(back[2]) == position.y && move[1] == there[1] &&
         move[2] == there[2];
}

// The pen position after `w` when it moves the pen.
void Track(const std::vector<std::string>& w, Point& position) {
  if (IsPoint(w, "lineto") || IsPoint(w, "moveto")) position = {Int(w[1]), Int(w[2])};
}

}  // namespace

std::unique_ptr<Bitmap> RunScene(std::string_view script, const DefaultTable& default_table,
                                 std::string* error, Strokes strokes) {
  Runner runner(default_table);
  int number = 0;
  try {
    const auto commands = Commands(script);
    Point position;
    for (std::size_t i = 0; i < commands.size(); ++i) {
      number = commands[i].number;
      const auto& w = commands[i].words;
      if (strokes == Strokes::kThereAndBackInOnePass && IsThereAndBack(commands, i, position)) {
        runner.ThereAndBack(Int(w[1]), Int(w[2]));
        Track(w, position);
        i += 2;
        continue;
      }
      runner.Command(w);
      if (w[0] == "image") position = {};
      Track(w, position);
    }
    return runner.Result();
  } catch (const SceneError& e) {
    if (error != nullptr) *error = std::to_string(number) + ": " + e.message;
    return nullptr;
  }
}

int CountThereAndBack(std::string_view script) {
  try {
    const auto commands = Commands(script);
    Point position;
    int count = 0;
    for (std::size_t i = 0; i < commands.size(); ++i) {
      if (IsThereAndBack(commands, i, position)) ++count;
      if (commands[i].words[0] == "image") position = {};
      Track(commands[i].words, position);
    }
    return count;
  } catch (const SceneError&) {
    return 0;
  }
}

std::unique_ptr<Bitmap> ReadBmp(const std::vector<unsigned char>& b, std::string* error) {
  auto fail = [error](const std::string& why) -> std::unique_ptr<Bitmap> {
    if (error != nullptr) *error = why;
    return nullptr;
  };
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return fail("not a BMP file");
  const std::uint32_t data_offset = Le(b, 10, 4);
  const std::uint32_t header_size = Le(b, 14, 4);
  const auto width = static_cast<std::int32_t>(Le(b, 18, 4));
  const auto height = static_cast<std::int32_t>(Le(b, 22, 4));
  const int bits = static_cast<int>(Le(b, 28, 2));
  const std::uint32_t compression = Le(b, 30, 4);
  std::uint32_t colours_used = Le(b, 46, 4);
  if (header_size != 40 || width < 0 || height < 0) return fail("unsupported BMP header");
  if (compression != 0 && !(compression == 3 && bits == 16)) return fail("compressed BMP");
  std::string why;
  auto bitmap = Bitmap::Create(width, height, bits, &why);
  if (!bitmap) return fail(why);
  std::size_t at = 54;
  if (compression == 3) {
    if (Le(b, at, 4) != 0xF800 || Le(b, at + 4, 4) != 0x07E0 || Le(b, at + 8, 4) != 0x001F) {
      return fail("16-bit BMP that is not 5-6-5");
    }
    at += 12;
  }
  if (bits <= 8) {
    if (colours_used == 0) colours_used = 1u << bits;
    if (colours_used > (1u << bits) || at + 4 * colours_used > b.size()) return fail("bad colour table");
    std::vector<Colour> table;
    for (std::uint32_t i = 0; i < colours_used; ++i, at += 4) {
      table.push_back(Rgb(b[at + 2], b[at + 1], b[at]));  // stored blue first
    }
    bitmap->SetColourTable(std::move(table));
  }
  const std::size_t stride = bitmap->Stride();
  if (data_offset > b.size() || b.size() - data_offset < stride * static_cast<std::size_t>(height)) {
    return fail("truncated pixel data");
  }
  for (int y = 0; y < height; ++y) {
    const unsigned char* src = b.data() + data_offset + stride * static_cast<std::size_t>(height - 1 - y);
    std::copy(src, src + stride, bitmap->Row(y));
  }
  return bitmap;
}

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace pelmora::golden
