// The fonts of a vector PDF: each character placed as the raster draws it
// (same face, same size request, same baseline), and the faces embedded as
// subset CID-keyed TrueType fonts with a Unicode map.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/jwtools_text.h"

namespace pelmora {

// One character on the page: which font and CID, and the text matrix that maps
// one em of glyph space onto page pixels (y down), origin on the baseline.
struct PdfGlyph {
  int font = 0;  // index of the font in the set, in order of first use; -1: no text
  std::uint16_t cid = 0;
  bool visible = true;  // false: written invisibly, for search and copy only
  std::array<double, 6> matrix{};
  // The glyph as a path to fill (page pixels, y down) when the face that draws
  // it cannot be embedded (no TrueType outlines: CFF, Type 1); its text is then
  // invisible.
  std::string outline;
};

// A font ready to embed.
struct PdfEmbeddedFont {
  std::string base_name;                 // "ABCDEF+PostScriptName"
  std::vector<std::uint8_t> font_file;   // the subset TrueType font
  std::vector<int> widths;               // advance of CID 1, 2, ...: thousandths of an em
  std::string to_unicode;                // the CMap text
  std::vector<std::uint8_t> cid_to_gid;  // two bytes per CID from 0, big-endian
  std::array<int, 4> bbox{};             // thousandths of an em
  int ascent = 0;
  int descent = 0;
  int cap_height = 0;
};

class PdfFontSet {
 public:
  PdfFontSet();
  ~PdfFontSet();
  PdfFontSet(const PdfFontSet&) = delete;
  PdfFontSet& operator=(const PdfFontSet&) = delete;

  // Places the characters of `c` as the raster draws them with the face
  // (`face_file`, `face_index`), characters that face lacks coming from the
  // Japanese gothic as there, appending to `glyphs`; nothing for what the
  // raster does not draw (control characters, sizes 0 or beyond what it draws,
  // no face at all).
  void Place(const JwcTextChar& c, const std::string& face_file, int face_index,
             std::vector<PdfGlyph>* glyphs);

  int FontCount() const;
  // The subset of font `font` holding the glyphs placed so far; false with the
  // reason when the face cannot be subset.
  bool Embed(int font, PdfEmbeddedFont* out, std::string* error);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// UTF-8 as a PDF text string: UTF-16BE with its byte-order mark, in hex ("<FEFF...>").
std::string PdfTextString(const std::string& utf8);

}  // namespace pelmora
