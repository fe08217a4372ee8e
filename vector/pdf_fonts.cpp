#include "vector/pdf_fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numbers>
#include <unordered_map>

#include "platform/fonts/face_lookup.h"
#include "platform/fonts/shift_jis.h"

namespace pelmora {
namespace {

// The raster draws nothing beyond these (platform/fonts' rasteriser): sizes far
// out of range are rejected before any arithmetic, then anything above 32767
// pixels per em.
constexpr int kSizeLimit = 1 << 24;
constexpr long double kMaxPixelsPerEm = 32767;

void AppendHex4(std::string& out, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
  out += text;
}

// A code point as UTF-16 code units in hex.
void AppendUtf16Hex(std::string& out, char32_t code) {
  if (code >= 0x10000 && code <= 0x10FFFF) {
    const char32_t v = code - 0x10000;
    AppendHex4(out, 0xD800 + (v >> 10));
    AppendHex4(out, 0xDC00 + (v & 0x3FF));
  } else {
    AppendHex4(out, code > 0x10FFFF ? 0xFFFD : code);
  }
}

// Letters and digits the base name may keep: PDF names cannot hold delimiters.
std::string CleanPostScriptName(const char* name) {
  std::string out;
  for (const char* p = name; p != nullptr && *p != '\0' && out.size() < 60; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_') {
      out += static_cast<char>(c);
    }
  }
  return out.empty() ? std::string("Font") : out;
}

struct SizeKey {
  int height;
  int width;
  friend bool operator<(const SizeKey& a, const SizeKey& b) {
    return a.height != b.height ? a.height < b.height : a.width < b.width;
  }
};

struct Scale {
  bool ok = false;
  double x_ppem = 0;  // pixels per em along the baseline
  double y_ppem = 0;
  int ascent = 0;  // pixels from the top of the cell to the baseline
  FT_Size_RequestRec request{};
};

struct Face {
  FT_Face ft = nullptr;
  std::string file;
  int index = 0;
  long double avg_width_units = 1;
  std::map<SizeKey, Scale> scales;
  bool embeddable = false;  // TrueType outlines, which the PDF embeds as they are
  int font = -1;            // index in the set once a glyph of it is placed
  std::unordered_map<char32_t, std::uint16_t> cids;
  std::vector<FT_UInt> gids;       // of CID 1, 2, ...
  std::vector<char32_t> unicodes;  // of CID 1, 2, ...

  Face() = default;
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  ~Face() {
    if (ft != nullptr) FT_Done_Face(ft);
  }
};

// A glyph's outline in font units, mapped by `m` (one em onto page pixels)
// into path operators.
struct OutlineWriter {
  std::string* out;
  std::array<double, 6> m;
  double upem;
  FT_Vector last{};

  void Point(const FT_Vector* v) {
    const double u = static_cast<double>(v->x) / upem, w = static_cast<double>(v->y) / upem;
    for (const double value : {m[4] + u * m[0] + w * m[2], m[5] + u * m[1] + w * m[3]}) {
      char text[48];
      std::snprintf(text, sizeof text, "%.2f ", value);
      *out += text;
    }
  }
  static OutlineWriter& Of(void* user) { return *static_cast<OutlineWriter*>(user); }
  static int Move(const FT_Vector* to, void* user) {
    OutlineWriter& w = Of(user);
    w.Point(to);
    *w.out += "m\n";
    w.last = *to;
    return 0;
  }
  static int Line(const FT_Vector* to, void* user) {
    OutlineWriter& w = Of(user);
    w.Point(to);
    *w.out += "l\n";
    w.last = *to;
    return 0;
  }
  static int Conic(const FT_Vector* control, const FT_Vector* to, void* user) {
    OutlineWriter& w = Of(user);
    // The quadratic's controls raised to a cubic's (two thirds of the way).
    const FT_Vector c1{w.last.x + (control->x - w.last.x) * 2 / 3,
                       w.last.y + (control->y - w.last.y) * 2 / 3};
    const FT_Vector c2{to->x + (control->x - to->x) * 2 / 3, to->y + (control->y - to->y) * 2 / 3};
    return Cubic(&c1, &c2, to, user);
  }
  static int Cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    OutlineWriter& w = Of(user);
    w.Point(c1);
    w.Point(c2);
    w.Point(to);
    *w.out += "c\n";
    w.last = *to;
    return 0;
  }
};

}  // namespace

struct PdfFontSet::Impl {
  FT_Library library = nullptr;
  std::vector<std::unique_ptr<Face>> faces;
  std::vector<Face*> fonts;  // faces with placed glyphs, in order of first use
  bool gothic_looked_up = false;
  Face* gothic = nullptr;
  std::unordered_map<char32_t, Face*> by_character;

  Impl() {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  }
  ~Impl() {
    faces.clear();
    if (library != nullptr) FT_Done_FreeType(library);
  }

  Face* Open(const std::string& file, int index) {
    if (file.empty() || library == nullptr) return nullptr;
    for (const auto& face : faces) {
      if (face->file == file && face->index == index) return face.get();
    }
    FT_Face ft = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &ft) != 0) return nullptr;
    if (!FT_IS_SCALABLE(ft) || FT_Select_Charmap(ft, FT_ENCODING_UNICODE) != 0) {
      FT_Done_Face(ft);
      return nullptr;
    }
    auto face = std::make_unique<Face>();
    face->ft = ft;
    face->file = file;
    face->index = index;
    // The width a LOGFONT asks for is measured against the average character
    // width, as the raster measures it.
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    if (os2 != nullptr && os2->xAvgCharWidth > 0) {
      face->avg_width_units = os2->xAvgCharWidth;
    } else if (FT_Load_Char(ft, 'x', FT_LOAD_NO_SCALE) == 0 && ft->glyph->advance.x > 0) {
      face->avg_width_units = static_cast<long double>(ft->glyph->advance.x);
    } else {
      face->avg_width_units = ft->units_per_EM / 2.0L;
    }
    FT_ULong glyf_length = 0;
    face->embeddable =
        FT_IS_SFNT(ft) &&
        FT_Load_Sfnt_Table(ft, FT_MAKE_TAG('g', 'l', 'y', 'f'), 0, nullptr, &glyf_length) == 0 &&
        glyf_length > 0;
    if (face->avg_width_units <= 0) face->avg_width_units = 1;
    faces.push_back(std::move(face));
    return faces.back().get();
  }

  Face* Gothic() {
    if (!gothic_looked_up) {
      gothic_looked_up = true;
      const FaceChoice choice = JapaneseGothicFace();
      gothic = Open(choice.file, choice.index);
    }
    return gothic;
  }

  Face* FaceWith(char32_t code) {
    if (code >= 0xE000 && code <= 0xF8FF) return nullptr;
    auto it = by_character.find(code);
    if (it == by_character.end()) {
      const FaceChoice choice = FaceForCharacter(code);
      it = by_character.emplace(code, Open(choice.file, choice.index)).first;
    }
    return it->second;
  }

  // The face's scale for a LOGFONT size, by the same FreeType request the
  // raster makes, so that integer-ppem rounding of the face applies alike.
  const Scale& ScaleOf(Face& face, SizeKey size) {
    auto it = face.scales.find(size);
    if (it != face.scales.end()) return it->second;
    Scale scale;
    const FT_Face ft = face.ft;
    const long double upem = ft->units_per_EM;
    const long double cell_units = static_cast<long double>(ft->ascender) - ft->descender;
    FT_Size_RequestRec request{};
    long double em_pixels = 0;
    bool ok = size.height != 0 && upem > 0 && cell_units > 0;
    if (ok && size.height > 0) {
      request.type = FT_SIZE_REQUEST_TYPE_REAL_DIM;
      request.height = static_cast<FT_Long>(size.height) * 64;
      em_pixels = size.height * upem / cell_units;
    } else if (ok) {
      request.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
      request.height = -static_cast<FT_Long>(size.height) * 64;
      em_pixels = -static_cast<long double>(size.height);
    }
    ok = ok && em_pixels <= kMaxPixelsPerEm;
    if (ok && size.width != 0) {
      const long double basis = request.type == FT_SIZE_REQUEST_TYPE_REAL_DIM ? cell_units : upem;
      const long double width_26_6 = size.width * 64.0L * basis / face.avg_width_units;
      const long double em_width = size.width * upem / face.avg_width_units;
      request.width = static_cast<FT_Long>(std::nearbyint(width_26_6));
      ok = em_width <= kMaxPixelsPerEm && request.width > 0;
    }
    if (ok && FT_Request_Size(ft, &request) == 0 && ft->size->metrics.x_ppem > 0 &&
        ft->size->metrics.y_ppem > 0) {
      const FT_Size_Metrics& m = ft->size->metrics;
      scale.ok = true;
      scale.request = request;
      // x_scale turns font units into 1/64 pixels, in 16.16.
      scale.x_ppem = static_cast<double>(m.x_scale) / 65536.0 * static_cast<double>(upem) / 64.0;
      scale.y_ppem = static_cast<double>(m.y_scale) / 65536.0 * static_cast<double>(upem) / 64.0;
      const long double ascent_26_6 = static_cast<long double>(FT_MulFix(ft->ascender, m.y_scale));
      scale.ascent = static_cast<int>(std::nearbyint(ascent_26_6 / 64));
    }
    return face.scales.emplace(size, scale).first->second;
  }

  // The glyph's outline in page pixels; empty when the face gives none.
  std::string Outline(Face& face, FT_UInt gid, const std::array<double, 6>& matrix) {
    std::string out;
    if (FT_Load_Glyph(face.ft, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP) != 0 ||
        face.ft->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
      return out;
    }
    OutlineWriter writer{&out, matrix, static_cast<double>(face.ft->units_per_EM)};
    FT_Outline_Funcs funcs{};
    funcs.move_to = &OutlineWriter::Move;
    funcs.line_to = &OutlineWriter::Line;
    funcs.conic_to = &OutlineWriter::Conic;
    funcs.cubic_to = &OutlineWriter::Cubic;
    if (FT_Outline_Decompose(&face.ft->glyph->outline, &funcs, &writer) != 0) out.clear();
    return out;
  }

  // The hinted advance of a glyph at a size, 1/64 pixel.
  long long Advance(Face& face, SizeKey size, FT_UInt gid) {
    const Scale& scale = ScaleOf(face, size);
    FT_Size_RequestRec request = scale.request;
    if (!scale.ok || FT_Request_Size(face.ft, &request) != 0 ||
        FT_Load_Glyph(face.ft, gid, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) != 0) {
      return 0;
    }
    return face.ft->glyph->metrics.horiAdvance;
  }

  std::uint16_t Cid(Face& face, char32_t code, FT_UInt gid) {
    if (face.font < 0) {
      face.font = static_cast<int>(fonts.size());
      fonts.push_back(&face);
    }
    auto it = face.cids.find(code);
    if (it != face.cids.end()) return it->second;
    // A font holds at most one CID per code point, and code points are far
    // fewer than 65535.
    const auto cid = static_cast<std::uint16_t>(face.gids.size() + 1);
    face.gids.push_back(gid);
    face.unicodes.push_back(code);
    face.cids.emplace(code, cid);
    return cid;
  }
};

PdfFontSet::PdfFontSet() : m_impl(std::make_unique<Impl>()) {}
PdfFontSet::~PdfFontSet() = default;

int PdfFontSet::FontCount() const {
  return static_cast<int>(m_impl->fonts.size());
}

void PdfFontSet::Place(const JwcTextChar& c, const std::string& face_file, int face_index,
                       std::vector<PdfGlyph>* glyphs) {
  const LogFont& font = c.font;
  if (font.height == 0 || c.bytes.empty()) return;
  if (std::abs(static_cast<long long>(font.height)) > kSizeLimit ||
      std::abs(static_cast<long long>(font.width)) > kSizeLimit) {
    return;
  }
  Impl& impl = *m_impl;
  Face* face = impl.Open(face_file, face_index);
  if (face == nullptr) face = impl.Gothic();
  if (face == nullptr) return;
  const SizeKey size{font.height, std::abs(font.width)};
  const Scale face_scale = impl.ScaleOf(*face, size);
  if (!face_scale.ok) return;

  const int escapement = ((font.escapement % 3600) + 3600) % 3600;
  long double cos = 1, sin = 0;
  switch (escapement) {
    case 0:
      break;
    case 900:
      cos = 0, sin = 1;
      break;
    case 1800:
      cos = -1;
      break;
    case 2700:
      cos = 0, sin = -1;
      break;
    default: {
      const long double a =
          static_cast<long double>(escapement) * std::numbers::pi_v<long double> / 1800.0L;
      cos = std::cos(a);
      sin = std::sin(a);
    }
  }
  // The baseline starts `ascent` below the cell's corner in the turned frame.
  const long double base_x = c.at.x + face_scale.ascent * sin;
  const long double base_y = c.at.y + face_scale.ascent * cos;
  long long pen = 0;  // along the baseline, 1/64 pixel
  std::string_view bytes = c.bytes;
  while (!bytes.empty()) {
    const Cp932Char code = DecodeCp932Char(bytes);
    bytes.remove_prefix(static_cast<std::size_t>(code.length));
    if (!code.valid || code.code < 0x20 || code.code == 0x7F) continue;
    // The face that draws: the raster's order of fallbacks.
    Face* drawing = face;
    FT_UInt gid = FT_Get_Char_Index(face->ft, code.code);
    const auto try_face = [&](Face* fallback) {
      if (gid != 0 || fallback == nullptr || fallback == face) return;
      gid = FT_Get_Char_Index(fallback->ft, code.code);
      if (gid != 0) drawing = fallback;
    };
    try_face(impl.Gothic());
    if (gid == 0) try_face(impl.FaceWith(code.code));
    const Scale scale = impl.ScaleOf(*drawing, size);
    PdfGlyph glyph;
    glyph.visible = gid != 0 && scale.ok;
    if (!glyph.visible) drawing = face;
    const Scale& used = glyph.visible ? scale : face_scale;
    // The raster puts the glyph's origin on a 1/64-pixel grid.
    const long double along = static_cast<long double>(pen) / 64;
    const long double x = std::nearbyint((base_x + along * cos) * 64) / 64;
    const long double y = std::nearbyint((base_y - along * sin) * 64) / 64;
    // One em of glyph space along the turned baseline (x) and up from it (y),
    // in page pixels with y down.
    glyph.matrix = {static_cast<double>(used.x_ppem * cos),
                    static_cast<double>(-used.x_ppem * sin),
                    static_cast<double>(-used.y_ppem * sin),
                    static_cast<double>(-used.y_ppem * cos),
                    static_cast<double>(x),
                    static_cast<double>(y)};
    const bool drawn = glyph.visible;
    if (drawn && !drawing->embeddable) {
      // Drawn as a path; the text rides invisibly on a face that embeds.
      glyph.outline = impl.Outline(*drawing, gid, glyph.matrix);
      glyph.visible = false;
    }
    Face* carrier = glyph.visible ? drawing : face->embeddable ? face : impl.Gothic();
    if (carrier != nullptr && carrier->embeddable) {
      glyph.cid = impl.Cid(*carrier, code.code, glyph.visible ? gid : 0);
      glyph.font = carrier->font;
    } else {
      glyph.font = -1;
    }
    glyphs->push_back(glyph);
    // Later characters of one string step by the hinted advance, as the raster's.
    if (!bytes.empty() && drawn) pen += impl.Advance(*drawing, size, gid);
  }
}

bool PdfFontSet::Embed(int font, PdfEmbeddedFont* out, std::string* error) {
  if (font < 0 || font >= FontCount()) {
    *error = "no such font";
    return false;
  }
  const Face& face = *m_impl->fonts[static_cast<std::size_t>(font)];
  const FT_Face ft = face.ft;
  const double upem = ft->units_per_EM > 0 ? ft->units_per_EM : 1000;
  const auto thousandths = [upem](double units) {
    return static_cast<int>(std::lround(units * 1000.0 / upem));
  };

  hb_blob_t* blob = hb_blob_create_from_file_or_fail(face.file.c_str());
  if (blob == nullptr) {
    *error = "cannot read the font " + face.file;
    return false;
  }
  hb_face_t* source = hb_face_create(blob, static_cast<unsigned>(face.index));
  hb_blob_destroy(blob);
  hb_subset_input_t* input = hb_subset_input_create_or_fail();
  if (input == nullptr) {
    hb_face_destroy(source);
    *error = "out of memory subsetting " + face.file;
    return false;
  }
  // Glyph numbers are kept, so the CID-to-glyph map names the source's glyphs;
  // the empty slots cost a few bytes each once compressed.
  hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS);
  hb_set_t* glyphs = hb_subset_input_glyph_set(input);
  hb_set_add(glyphs, 0);
  for (const FT_UInt gid : face.gids) hb_set_add(glyphs, gid);
  hb_set_t* drop = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
  for (const char* tag : {"GSUB", "GPOS", "GDEF", "BASE", "JSTF", "vhea", "vmtx", "VORG", "DSIG"}) {
    hb_set_add(drop, hb_tag_from_string(tag, 4));
  }
  hb_face_t* subset = hb_subset_or_fail(source, input);
  hb_subset_input_destroy(input);
  hb_face_destroy(source);
  if (subset == nullptr) {
    *error = "cannot subset the font " + face.file;
    return false;
  }
  hb_blob_t* result = hb_face_reference_blob(subset);
  unsigned length = 0;
  const char* data = hb_blob_get_data(result, &length);
  out->font_file.assign(data, data + length);
  hb_blob_destroy(result);
  hb_face_destroy(subset);
  if (out->font_file.empty()) {
    *error = "cannot subset the font " + face.file;
    return false;
  }

  // The subset's tag: six capitals from its glyphs, the same for the same text.
  std::uint64_t hash = 14695981039346656037ull;
  for (const FT_UInt gid : face.gids) hash = (hash ^ gid) * 1099511628211ull;
  std::string tag;
  for (int i = 0; i < 6; ++i, hash /= 26) tag += static_cast<char>('A' + hash % 26);
  out->base_name = tag + "+" + CleanPostScriptName(FT_Get_Postscript_Name(ft));

  out->widths.clear();
  out->cid_to_gid.assign(2 * (face.gids.size() + 1), 0);
  std::string bfchars;
  for (std::size_t i = 0; i < face.gids.size(); ++i) {
    FT_Fixed advance = 0;
    if (FT_Get_Advance(ft, face.gids[i], FT_LOAD_NO_SCALE, &advance) != 0) advance = 0;
    out->widths.push_back(thousandths(static_cast<double>(advance)));
    out->cid_to_gid[2 * (i + 1)] = static_cast<std::uint8_t>(face.gids[i] >> 8);
    out->cid_to_gid[2 * (i + 1) + 1] = static_cast<std::uint8_t>(face.gids[i] & 0xFF);
  }
  std::string& cmap = out->to_unicode;
  cmap =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  // At most 100 entries per block.
  for (std::size_t first = 0; first < face.unicodes.size(); first += 100) {
    const std::size_t last = std::min(face.unicodes.size(), first + 100);
    cmap += std::to_string(last - first) + " beginbfchar\n";
    for (std::size_t i = first; i < last; ++i) {
      cmap += '<';
      AppendHex4(cmap, static_cast<unsigned>(i + 1));
      cmap += "> <";
      AppendUtf16Hex(cmap, face.unicodes[i]);
      cmap += ">\n";
    }
    cmap += "endbfchar\n";
  }
  cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";

  out->bbox = {thousandths(static_cast<double>(ft->bbox.xMin)),
               thousandths(static_cast<double>(ft->bbox.yMin)),
               thousandths(static_cast<double>(ft->bbox.xMax)),
               thousandths(static_cast<double>(ft->bbox.yMax))};
  out->ascent = thousandths(ft->ascender);
  out->descent = thousandths(ft->descender);
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  out->cap_height =
      os2 != nullptr && os2->version >= 2 ? thousandths(os2->sCapHeight) : out->ascent;
  return true;
}

std::string PdfTextString(const std::string& utf8) {
  std::string out = "<FEFF";
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    int extra = byte < 0x80 ? 0 : byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : -1;
    char32_t code = extra == 0   ? byte
                    : extra == 1 ? byte & 0x1F
                    : extra == 2 ? byte & 0x0F
                                 : byte & 0x07;
    bool ok = extra >= 0 && byte < 0xF8 && i + static_cast<std::size_t>(extra) < utf8.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
      ok = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (ok && (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) ok = false;
    AppendUtf16Hex(out, ok ? code : 0xFFFD);
    i += ok ? static_cast<std::size_t>(extra) + 1 : 1;
  }
  return out + ">";
}

}  // namespace pelmora
