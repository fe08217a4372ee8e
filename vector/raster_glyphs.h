// Glyphs where the raster puts them: faces sized as the font rasteriser sizes
// a LogFont, each character's origin where its bitmap is placed, and the
// hinted outline that bitmap is filled from, for writers that draw texts as
// text or as outlines over the same pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/raster/canvas.h"
#include "render/vector_walk.h"

namespace pelmora {

// A face sized for one LogFont. Lengths in page pixels.
struct SizedFace {
  bool ok = false;     // false: the raster draws nothing in this font
  std::string family;  // the face's family name as the font names it
  double em_x = 0.0;   // pixels per em across (horizontal scaling: em_x / em_y)
  double em_y = 0.0;   // pixels per em, the font size
  int ascent = 0;      // whole pixels from the top of the cell to the baseline
  double cos = 1.0;    // the escapement's turn, counterclockwise
  double sin = 0.0;
};

// A glyph outline relative to its origin, page pixels, y down: each contour a
// move, then lines, quadratic (one control) and cubic (two controls) pieces;
// filled with the non-zero rule.
struct GlyphOutline {
  enum class Op : std::uint8_t { kMove, kLine, kQuad, kCubic };
  std::vector<Op> ops;
  std::vector<VectorPoint> points;  // 1, 1, 2 and 3 per op
};

class RasterGlyphs {
 public:
  RasterGlyphs();
  ~RasterGlyphs();
  RasterGlyphs(const RasterGlyphs&) = delete;
  RasterGlyphs& operator=(const RasterGlyphs&) = delete;

  // The face `file` (index `index`) sized for `font`'s height, width and escapement.
  const SizedFace& Size(const std::string& file, int index, const LogFont& font);

  // Where the glyph's origin lies for a character `along` pixels down the
  // baseline of a string whose first cell's top-left corner is `at`, as the
  // raster places it (to its 1/64 pixel).
  static VectorPoint Origin(Point at, const SizedFace& face, long double along = 0);

  // The outline of `code` in `font`, hinted and turned as the raster draws it,
  // from the face or, for characters it lacks, the faces the raster takes them
  // from. `key` names the face and glyph drawn, equal for equal outlines;
  // `advance` is how far the next character of the same string starts, 1/64
  // pixel (0 when there is no glyph). False when nothing is drawn (no glyph,
  // an empty one, or no such size).
  bool Outline(const std::string& file, int index, const LogFont& font, char32_t code,
               GlyphOutline* outline, std::string* key, long long* advance);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Characters that draw something in the raster's faces: valid, not a control.
bool DrawableCharacter(char32_t code);

}  // namespace pelmora
