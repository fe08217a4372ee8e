// Text on a Canvas from installed fonts: what CreateFontIndirectA and TextOutA
// gave the original on Windows.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fonts/face_lookup.h"
#include "platform/raster/canvas.h"

namespace pelmora {

// A face name drawn with another family than the one it names.
struct FontSubstitution {
  enum class Kind {
    kReplaced,           // no such face is installed: `used` drew the texts
    kMissingCharacters,  // the face lacks some characters: `used` drew those
  };
  std::string requested;  // the face name asked for, UTF-8
  std::string used;       // the family that drew instead, UTF-8
  Kind kind = Kind::kReplaced;

  friend bool operator==(const FontSubstitution&, const FontSubstitution&) = default;
};

// Draws Shift-JIS text with canvas.Font(), the way GDI draws a LOGFONT:
// - face: face_name (CP932 bytes) looked up as ChooseFace() describes;
// - height > 0 is the cell height (ascender - descender), < 0 the em height,
//   0 draws nothing; width is the average character width (the face's
//   xAvgCharWidth, half the em in the Japanese faces), 0 keeps the face's
//   proportion; sizes beyond 32767 pixels per em draw nothing;
// - escapement (tenths of a degree, counterclockwise) turns the whole text,
//   glyphs included, about (x, y), the top-left corner of the first cell;
// - glyphs are monochrome (no antialiasing: indexed bitmaps keep exact colours),
//   painted in canvas.FontColour() on a transparent background, with the
//   face's own advances between the characters of one call;
// - characters the face lacks come from the Japanese gothic; bytes that are no
//   CP932 character, and control characters (a zero byte among them), draw nothing.
// Faces, sizes and glyph bitmaps are cached; cached glyphs are the pixels a
// fresh rasterisation gives. Glyphs beyond 256 x 256 pixels are rendered only
// in the 512-pixel tiles of their box that meet the bitmap (a band of the
// image), kept as runs of set pixels, and painted by spans.
//
// Threads: an instance is not thread-safe (FreeType faces are not), so each
// render thread creates its own, with its own FreeType library, faces and
// glyph cache. What they share is fontconfig's process-wide configuration
// (fontconfig locks it), the Shift-JIS tables (built once, read-only after
// that) and the large glyphs' tiles (behind a lock: neighbouring bands on two
// threads meet the same tiles). Their glyph pixels are the same.
class FontRasterizer final : public TextRasterizer {
 public:
  FontRasterizer();
  ~FontRasterizer() override;
  FontRasterizer(const FontRasterizer&) = delete;
  FontRasterizer& operator=(const FontRasterizer&) = delete;

  void TextOut(Canvas& canvas, int x, int y, std::string_view bytes) override;
  // Each glyph painted once at its place; large glyphs' pixels that several
  // pieces cover are painted once.
  void TextOutPieces(Canvas& canvas, std::span<const TextPiece> pieces) override;
  // Looks every glyph up as TextOut does (and records substitutions the same way).
  bool InkRows(Canvas& canvas, int x, int y, std::string_view bytes, long long* top,
               long long* bottom) override;

  // The family that draws texts of `face_name` (CP932 bytes, as in
  // LogFont::face_name), UTF-8; empty when no font is installed at all.
  std::string FamilyFor(std::string_view face_name);
  // The font file and face that draw texts of `face_name` (characters it lacks
  // come from others); not Found() when no font is installed at all.
  FaceChoice FaceFor(std::string_view face_name);

  // Substitutions that drawing made since the last ClearSubstitutions(): one
  // entry per face name and kind, in the order they were first met.
  std::vector<FontSubstitution> Substitutions() const;
  void ClearSubstitutions();

  // Drops the tiles of large glyphs that the rasterizers of all threads share
  // (up to 64 MiB), so that the next are rendered afresh.
  static void ReleaseSharedTiles();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// The rasterizer of renders on the calling thread's behalf that bring none of
// their own: one per process, for one thread at a time (the user interface's
// or the converter's); render threads each bring their own instance.
FontRasterizer& DefaultTextRasterizer();

}  // namespace pelmora
