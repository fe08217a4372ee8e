// JW_CAD texts: laid out character by character from the style's sizes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/raster/canvas.h"

namespace pelmora {

// Sizes and points in canvas pixels (y down); colour 0x00BBGGRR; flags bit 0x20
// = vertical writing. Leaves the canvas font's face name unchanged.
void DrawJwcText(Canvas& canvas, std::string_view text, float x1, float y1, float x2, float y2,
                 float height, float width, float spacing, Colour colour, std::uint8_t flags);

// Receives the characters of a text as DrawJwcText lays them out.
class JwcTextSink {
 public:
  virtual ~JwcTextSink() = default;
  // One character: its Shift-JIS bytes (1 or 2; a lead byte or a control code
  // that ends the text is completed by a zero byte), the font it is drawn with
  // and the top-left corner of its cell before rotation, canvas pixels. The
  // references are valid only during the call.
  virtual void Char(std::string_view bytes, const LogFont& font, Point at) = 0;
};

// DrawJwcText without drawing: hands each character to `sink` in drawing
// order; every font carries `face_name` (cut to LogFont's 31 bytes).
void LayoutJwcText(std::string_view text, float x1, float y1, float x2, float y2, float height,
                   float width, float spacing, std::uint8_t flags, std::string_view face_name,
                   JwcTextSink& sink);

// One laid-out character, owning its bytes.
struct JwcTextChar {
  std::string bytes;
  LogFont font;
  Point at;
};

// The same layout collected into a list.
std::vector<JwcTextChar> LayoutJwcText(std::string_view text, float x1, float y1, float x2,
                                       float y2, float height, float width, float spacing,
                                       std::uint8_t flags, std::string_view face_name = {});

// DrawJwcText for a run of texts: the characters of consecutive texts in one
// colour on one canvas are painted together, when the colour or the canvas
// changes, when many have gathered, or at Flush(). The pixels are those of
// drawing each text at once as long as nothing else paints the canvas
// between Draw() and Flush() (copies of one colour commute), but huge
// characters that overlap are painted once.
class JwcTextBatch {
 public:
  JwcTextBatch() = default;
  JwcTextBatch(const JwcTextBatch&) = delete;
  JwcTextBatch& operator=(const JwcTextBatch&) = delete;

  // Arguments as DrawJwcText's.
  void Draw(Canvas& canvas, std::string_view text, float x1, float y1, float x2, float y2,
            float height, float width, float spacing, Colour colour, std::uint8_t flags);
  // Paints what was held back; the canvas font is then the last character's.
  void Flush();

 private:
  Canvas* m_canvas = nullptr;
  Colour m_colour = 0;
  std::vector<JwcTextChar> m_chars;
  std::vector<TextPiece> m_pieces;
};

}  // namespace pelmora
