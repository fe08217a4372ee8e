#include "render/jwtools_text.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "platform/fonts/shift_jis.h"

namespace pelmora {
namespace {

constexpr std::uint8_t kVerticalFlag = 0x20;
constexpr char kCaret = '^';

long double Radians(long double degrees) {
  return degrees * std::numbers::pi_v<long double> / 180.0L;
}

// Rounds half to even and holds the result inside the pixel range.
int RoundToInt(long double value) {
  return SaturateToPixel(value);
}

struct Vec {
  float x = 0;  // canvas pixels, y up
  float y = 0;
};

// One text as JW_CAD lays it out: every character drawn alone, its position
// from the style's sizes, never from the glyphs.
class JwcTextWriter {
 public:
  JwcTextWriter(std::string_view text, float x1, float y1, float x2, float y2, float height,
                float width, float spacing, std::uint8_t flags, std::string_view face_name,
                JwcTextSink& sink)
      : m_sink(sink), m_x1(x1), m_y1(y1) {
    m_font.face_name.assign(face_name.substr(0, kMaxFaceNameBytes));
    m_vertical = (flags & kVerticalFlag) != 0;
    const int removed_dots = DropTrailingDots(text);
    m_text = text;
    const int count = CountCharacters(m_text);

    m_font_width = RoundToInt(static_cast<long double>(width) / 2);
    m_font_height = RoundToInt(height);

    // y of the canvas points down, so the counterclockwise angle is the
    // negated atan2; the same points give angle 0.
    const long double dy = static_cast<long double>(y2) - y1;
    const long double dx = static_cast<long double>(x2) - x1;
    float theta =
        static_cast<float>(-std::atan2(dy, dx) * 180.0L / std::numbers::pi_v<long double>);
    if (theta < 0) theta += 360;
    m_escapement = RoundToInt(static_cast<long double>(theta) * 10);

    m_along = {std::cos(Radians(theta)), std::sin(Radians(theta))};
    m_normal = {std::cos(Radians(static_cast<long double>(theta) + 90)),
                std::sin(Radians(static_cast<long double>(theta) + 90))};
    const long double h = height;
    const long double w = width;
    const long double s = spacing;
    const long double half = m_vertical ? h / 2 + s / 2 : w / 2 + s / 2;
    const long double full = m_vertical ? h + s : w + s;
    m_half = Scaled(m_along, half);
    m_full = Scaled(m_along, full);
    // Horizontal cells hang H above the line so that characters stand on it;
    // vertical cells hang from the line at their top-left corner.
    m_shift = m_vertical ? Vec{} : Scaled(m_normal, h);
    m_height = height;
    m_width = width;

    if (removed_dots > 0) {
      // The dots' room is spread over the gaps between the characters left.
      const float r = static_cast<float>(removed_dots) / static_cast<float>(count - 1);
      const Vec grow{r * m_full.x, r * m_full.y};
      m_half = {m_half.x + grow.x, m_half.y + grow.y};
      m_full = {m_full.x + grow.x, m_full.y + grow.y};
    }
    m_last = m_half;
  }

  void Run() {
    std::size_t b = 0;
    while (b < m_text.size()) {
      if (Byte(b) == kCaret && IsControlLetter(Byte(b + 1))) {
        b = ControlCode(b);
        continue;
      }
      if (IsShiftJisLeadByte(Byte(b))) {
        TextOutChar(Bytes(b, 2));
        Advance(m_full);
        m_last = m_full;
        b += 2;
      } else {
        TextOutChar(Bytes(b, 1));
        Advance(m_half);
        m_last = m_half;
        b += 1;
      }
    }
  }

 private:
  struct SavedState {
    int font_height = 0;
    int font_width = 0;
    Vec pen;
    Vec shift;
  };

  static bool IsControlLetter(std::uint8_t c) {
    return c == 'u' || c == 'c' || c == 'd' || c == 'o' || c == 'b' || c == 'B';
  }

  static Vec Scaled(const std::pair<long double, long double>& v, long double f) {
    return {static_cast<float>(v.first * f), static_cast<float>(v.second * f)};
  }

  static int CountCharacters(std::string_view text) {
    int n = 0;
    for (std::size_t b = 0; b < text.size(); ++n) {
      b += IsShiftJisLeadByte(static_cast<std::uint8_t>(text[b])) ? 2 : 1;
    }
    return n;
  }

  // Removes full-width middle dots ("・", 0x81 0x45) from the end of a text of
  // more than two characters, keeping at least two; returns how many went.
  static int DropTrailingDots(std::string_view& text) {
    int count = CountCharacters(text);
    int removed = 0;
    while (count > 2) {
      // The last character starts where the scan from the front says, not
      // where a 0x81 byte happens to stand.
      std::size_t last = 0;
      for (std::size_t b = 0; b < text.size();) {
        last = b;
        b += IsShiftJisLeadByte(static_cast<std::uint8_t>(text[b])) ? 2 : 1;
      }
      if (text.size() - last != 2 || static_cast<std::uint8_t>(text[last]) != 0x81 ||
          static_cast<std::uint8_t>(text[last + 1]) != 0x45) {
        break;
      }
      text.remove_suffix(2);
      --count;
      ++removed;
    }
    return removed;
  }

  // The byte at `b`; the text ends in an implied zero byte, which completes a
  // cut character or control code.
  std::uint8_t Byte(std::size_t b) const {
    return b < m_text.size() ? static_cast<std::uint8_t>(m_text[b]) : 0;
  }

  std::string_view Bytes(std::size_t b, std::size_t length) {
    m_char[0] = static_cast<char>(Byte(b));
    m_char[1] = static_cast<char>(Byte(b + 1));
    return std::string_view(m_char, length);
  }

  void Advance(const Vec& step) { m_pen = {m_pen.x + step.x, m_pen.y + step.y}; }

  void BackBy(long double f) {
    m_pen = {static_cast<float>(m_pen.x - f * m_last.x),
             static_cast<float>(m_pen.y - f * m_last.y)};
  }

  void ShiftAlong(const std::pair<long double, long double>& unit, long double length) {
    m_shift = Scaled(unit, length);
  }

  // Handles the control code at `b` and the character it applies to; returns
  // the position after that character.
  std::size_t ControlCode(std::size_t b) {
    const std::uint8_t code = Byte(b + 1);
    SaveTextState();
    const bool shrinks = code == 'u' || code == 'c' || code == 'd' || code == 'o';
    if (shrinks) m_font_height /= 2;
    if (!m_vertical) {
      switch (code) {
        case 'c':
          ShiftAlong(m_normal, 0.75L * m_height);
          break;
        case 'd':
          ShiftAlong(m_normal, 0.5L * m_height);
          break;
        case 'o':
          BackBy(0.75L);
          ShiftAlong(m_normal, 0.75L * m_height);
          break;
        case 'b':
          BackBy(0.6L);
          break;
        case 'B':
          BackBy(0.75L);
          break;
        default:
          break;  // 'u': the cell already hangs H above the line
      }
    } else {
      switch (code) {
        case 'c':
          ShiftAlong(m_along, 0.25L * m_height);
          break;
        case 'd':
          ShiftAlong(m_along, 0.5L * m_height);
          break;
        case 'o':
          BackBy(0.75L);
          ShiftAlong(m_normal, 0.25L * m_width);
          break;
        case 'b':
          BackBy(1);
          ShiftAlong(m_normal, 0.4L * m_width);
          break;
        case 'B':
          BackBy(1);
          ShiftAlong(m_normal, 0.25L * m_width);
          break;
        default:
          break;  // 'u'
      }
    }
    if (IsShiftJisLeadByte(Byte(b + 2))) m_font_width /= 2;
    const std::size_t length = DrawCharAt(b + 2);
    RestoreTextState();
    // Raised and lowered characters take a half step; overlays take none.
    if (code == 'u' || code == 'c' || code == 'd') Advance(m_half);
    return b + 2 + length;
  }

  // Draws the character that starts at byte `b`; returns its length in bytes.
  std::size_t DrawCharAt(std::size_t b) {
    const std::size_t length = IsShiftJisLeadByte(Byte(b)) ? 2 : 1;
    TextOutChar(Bytes(b, length));
    return length;
  }

  void TextOutChar(std::string_view c) {
    int e = m_escapement;
    if (m_vertical) e += 900;
    if (e >= 3600) e -= 3600;
    if (e <= 0) e = 0;
    m_font.height = m_font_height;
    m_font.width = m_font_width;
    m_font.escapement = e;
    const long double x = static_cast<long double>(m_x1) + m_pen.x + m_shift.x;
    const long double y = static_cast<long double>(m_y1) - m_pen.y - m_shift.y;
    m_sink.Char(c, m_font, Point{RoundToInt(x), RoundToInt(y)});
  }

  void SaveTextState() { m_saved = {m_font_height, m_font_width, m_pen, m_shift}; }

  void RestoreTextState() {
    m_font_height = m_saved.font_height;
    m_font_width = m_saved.font_width;
    m_pen = m_saved.pen;
    m_shift = m_saved.shift;
  }

  JwcTextSink& m_sink;
  std::string_view m_text;
  float m_x1;
  float m_y1;
  float m_height = 0;  // H, W: the full-width cell
  float m_width = 0;
  bool m_vertical = false;
  int m_escapement = 0;  // tenths of a degree, counterclockwise
  int m_font_height = 0;
  int m_font_width = 0;
  std::pair<long double, long double> m_along;   // unit vector of the text angle, y up
  std::pair<long double, long double> m_normal;  // the text line's upward normal
  Vec m_half;                                    // step after a one-byte character
  Vec m_full;                                    // step after a two-byte character
  Vec m_last;                                    // step of the most recent ordinary character
  Vec m_pen;                                     // where the next character starts, from (x1, y1)
  Vec m_shift;  // from a character's start to its cell's anchor corner
  SavedState m_saved;
  LogFont m_font;  // the request of every character, other fields as GDI defaults
  char m_char[2] = {0, 0};
};

class ListSink final : public JwcTextSink {
 public:
  explicit ListSink(std::vector<JwcTextChar>& chars) : m_chars(chars) {}
  void Char(std::string_view bytes, const LogFont& font, Point at) override {
    m_chars.push_back({std::string(bytes), font, at});
  }

 private:
  std::vector<JwcTextChar>& m_chars;
};

}  // namespace

void LayoutJwcText(std::string_view text, float x1, float y1, float x2, float y2, float height,
                   float width, float spacing, std::uint8_t flags, std::string_view face_name,
                   JwcTextSink& sink) {
  JwcTextWriter(text, x1, y1, x2, y2, height, width, spacing, flags, face_name, sink).Run();
}

std::vector<JwcTextChar> LayoutJwcText(std::string_view text, float x1, float y1, float x2,
                                       float y2, float height, float width, float spacing,
                                       std::uint8_t flags, std::string_view face_name) {
  std::vector<JwcTextChar> chars;
  ListSink sink(chars);
  LayoutJwcText(text, x1, y1, x2, y2, height, width, spacing, flags, face_name, sink);
  return chars;
}

void DrawJwcText(Canvas& canvas, std::string_view text, float x1, float y1, float x2, float y2,
                 float height, float width, float spacing, Colour colour, std::uint8_t flags) {
  // One batch per thread, so that its lists are made once.
  thread_local JwcTextBatch batch;
  batch.Draw(canvas, text, x1, y1, x2, y2, height, width, spacing, colour, flags);
  batch.Flush();
}

void JwcTextBatch::Draw(Canvas& canvas, std::string_view text, float x1, float y1, float x2,
                        float y2, float height, float width, float spacing, Colour colour,
                        std::uint8_t flags) {
  // Characters held back past this many are painted: memory stays small
  // whatever the drawing holds.
  constexpr std::size_t kMaxHeldCharacters = 4096;
  if (m_canvas != &canvas || m_colour != colour || m_chars.size() >= kMaxHeldCharacters) {
    Flush();
  }
  m_canvas = &canvas;
  m_colour = colour;
  // The layout copies the face name now; every font made carries it, so the
  // canvas keeps the name whenever the characters are painted.
  ListSink sink(m_chars);
  LayoutJwcText(text, x1, y1, x2, y2, height, width, spacing, flags, canvas.Font().face_name, sink);
}

void JwcTextBatch::Flush() {
  if (m_chars.empty()) return;
  m_pieces.clear();
  for (const JwcTextChar& c : m_chars) m_pieces.push_back({c.bytes, &c.font, c.at});
  m_canvas->SetFontColour(m_colour);
  m_canvas->SetBrushStyle(BrushStyle::kClear);
  m_canvas->TextOutPieces(m_pieces);
  m_chars.clear();
}

}  // namespace pelmora
