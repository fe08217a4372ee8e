#include "vector/raster_glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>
#include <tuple>

#include "platform/fonts/face_lookup.h"

namespace pelmora {
namespace {

// The rasteriser's limits: sizes beyond these draw nothing there.
constexpr long double kMaxPixelsPerEm = 32767;
constexpr long long kSizeLimit = 1 << 24;

struct Face {
  FT_Face ft = nullptr;
  long double avg_width_units = 0;  // what LogFont's width scales to
  int size_height = 0;              // the size FreeType holds now
  int size_width = -1;
  bool size_ok = false;
  ~Face() {
    if (ft != nullptr) FT_Done_Face(ft);
  }
};

struct Turn {
  long double cos = 1;
  long double sin = 0;
  FT_Matrix matrix{0x10000, 0, 0, 0x10000};
};

// The escapement's turn with the rasteriser's exact quarter turns and its
// 16.16 matrix, so that outlines come out as its bitmaps are filled.
Turn MakeTurn(int escapement) {
  Turn t;
  switch (escapement) {
    case 0:
      break;
    case 900:
      t.cos = 0;
      t.sin = 1;
      break;
    case 1800:
      t.cos = -1;
      t.sin = 0;
      break;
    case 2700:
      t.cos = 0;
      t.sin = -1;
      break;
    default: {
      const long double a =
          static_cast<long double>(escapement) * std::numbers::pi_v<long double> / 1800.0L;
      t.cos = std::cos(a);
      t.sin = std::sin(a);
    }
  }
  const auto fixed = [](long double v) { return static_cast<FT_Fixed>(std::nearbyint(v * 65536)); };
  t.matrix.xx = fixed(t.cos);
  t.matrix.xy = -fixed(t.sin);
  t.matrix.yx = fixed(t.sin);
  t.matrix.yy = fixed(t.cos);
  return t;
}

int NormalEscapement(int escapement) {
  return ((escapement % 3600) + 3600) % 3600;
}

}  // namespace

bool DrawableCharacter(char32_t code) {
  return code >= 0x20 && code != 0x7F && code != 0xFFFD;
}

struct RasterGlyphs::Impl {
  FT_Library library = nullptr;
  std::map<std::pair<std::string, int>, std::unique_ptr<Face>> faces;  // null: cannot open
  Face* gothic = nullptr;
  bool gothic_looked_up = false;
  std::map<char32_t, Face*> by_character;
  std::map<std::tuple<std::string, int, int, int, int>, SizedFace> sizes;

  Impl() {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  }
  ~Impl() {
    faces.clear();
    if (library != nullptr) FT_Done_FreeType(library);
  }

  Face* Open(const std::string& file, int index) {
    auto key = std::make_pair(file, index);
    auto it = faces.find(key);
    if (it != faces.end()) return it->second.get();
    std::unique_ptr<Face> face;
    FT_Face ft = nullptr;
    if (library != nullptr && !file.empty() &&
        FT_New_Face(library, file.c_str(), index, &ft) == 0) {
      if (FT_IS_SCALABLE(ft) && FT_Select_Charmap(ft, FT_ENCODING_UNICODE) == 0) {
        face = std::make_unique<Face>();
        face->ft = ft;
        // As the rasteriser: the OS/2 average width, else the advance of 'x',
        // else half an em.
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
        if (os2 != nullptr && os2->xAvgCharWidth > 0) {
          face->avg_width_units = os2->xAvgCharWidth;
        } else if (FT_Load_Char(ft, 'x', FT_LOAD_NO_SCALE) == 0 && ft->glyph->advance.x > 0) {
          face->avg_width_units = static_cast<long double>(ft->glyph->advance.x);
        } else {
          face->avg_width_units = ft->units_per_EM / 2.0L;
        }
        if (face->avg_width_units <= 0) face->avg_width_units = 1;
      } else {
        FT_Done_Face(ft);
      }
    }
    return faces.emplace(key, std::move(face)).first->second.get();
  }

  Face* Open(const FaceChoice& choice) {
    return choice.Found() ? Open(choice.file, choice.index) : nullptr;
  }

  Face* Gothic() {
    if (!gothic_looked_up) {
      gothic_looked_up = true;
      gothic = Open(JapaneseGothicFace());
    }
    return gothic;
  }

  Face* FaceWith(char32_t code) {
    if (code >= 0xE000 && code <= 0xF8FF) return nullptr;  // user-defined: no glyphs
    auto it = by_character.find(code);
    if (it == by_character.end())
      it = by_character.emplace(code, Open(FaceForCharacter(code))).first;
    return it->second;
  }

  // FreeType's current size of `face` made the LogFont's, as GDI sizes it: a
  // positive height is the cell (ascender - descender), a negative one the em;
  // the width scales the average character width.
  bool SetSize(Face& face, int height, int width) {
    if (face.size_height == height && face.size_width == width) return face.size_ok;
    face.size_height = height;
    face.size_width = width;
    face.size_ok = false;
    const FT_Face ft = face.ft;
    const long double upem = ft->units_per_EM;
    const long double cell_units = static_cast<long double>(ft->ascender) - ft->descender;
    if (height == 0 || upem <= 0 || cell_units <= 0) return false;
    FT_Size_RequestRec request{};
    long double em_pixels = 0;
    if (height > 0) {
      request.type = FT_SIZE_REQUEST_TYPE_REAL_DIM;
      request.height = static_cast<FT_Long>(height) * 64;
      em_pixels = height * upem / cell_units;
    } else {
      request.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
      request.height = -static_cast<FT_Long>(height) * 64;
      em_pixels = -static_cast<long double>(height);
    }
    if (em_pixels > kMaxPixelsPerEm) return false;
    if (width != 0) {
      const long double basis = request.type == FT_SIZE_REQUEST_TYPE_REAL_DIM ? cell_units : upem;
      const long double width_26_6 = width * 64.0L * basis / face.avg_width_units;
      if (width * upem / face.avg_width_units > kMaxPixelsPerEm) return false;
      request.width = static_cast<FT_Long>(std::nearbyint(width_26_6));
      if (request.width <= 0) return false;
    }
    face.size_ok = FT_Request_Size(ft, &request) == 0 && ft->size->metrics.y_ppem > 0 &&
                   ft->size->metrics.x_ppem > 0;
    return face.size_ok;
  }

  static bool SizeInRange(const LogFont& font) {
    return font.height != 0 && std::llabs(font.height) <= kSizeLimit &&
           std::llabs(font.width) <= kSizeLimit;
  }
};

RasterGlyphs::RasterGlyphs() : m_impl(std::make_unique<Impl>()) {}
RasterGlyphs::~RasterGlyphs() = default;

const SizedFace& RasterGlyphs::Size(const std::string& file, int index, const LogFont& font) {
  const int escapement = NormalEscapement(font.escapement);
  const auto key = std::make_tuple(file, index, font.height, std::abs(font.width), escapement);
  auto it = m_impl->sizes.find(key);
  if (it != m_impl->sizes.end()) return it->second;
  SizedFace sized;
  Face* face = m_impl->Open(file, index);
  if (face == nullptr) face = m_impl->Gothic();  // as the rasteriser, when a face will not load
  if (face != nullptr && Impl::SizeInRange(font) &&
      m_impl->SetSize(*face, font.height, std::abs(font.width))) {
    const FT_Face ft = face->ft;
    sized.ok = true;
    sized.family = ft->family_name != nullptr ? ft->family_name : "";
    sized.em_y = static_cast<double>(ft->units_per_EM) * ft->size->metrics.y_scale / 65536.0 / 64.0;
    sized.em_x = static_cast<double>(ft->units_per_EM) * ft->size->metrics.x_scale / 65536.0 / 64.0;
    const long double ascent_26_6 =
        static_cast<long double>(FT_MulFix(ft->ascender, ft->size->metrics.y_scale));
    sized.ascent = static_cast<int>(std::nearbyint(ascent_26_6 / 64));
    const Turn turn = MakeTurn(escapement);
    sized.cos = static_cast<double>(turn.cos);
    sized.sin = static_cast<double>(turn.sin);
  }
  return m_impl->sizes.emplace(key, std::move(sized)).first->second;
}

VectorPoint RasterGlyphs::Origin(Point at, const SizedFace& face, long double along) {
  const long double x = at.x + static_cast<long double>(face.ascent) * face.sin + along * face.cos;
  const long double y = at.y + static_cast<long double>(face.ascent) * face.cos - along * face.sin;
  return {static_cast<double>(std::nearbyint(x * 64) / 64),
          static_cast<double>(std::nearbyint(y * 64) / 64)};
}

bool RasterGlyphs::Outline(const std::string& file, int index, const LogFont& font, char32_t code,
                           GlyphOutline* outline, std::string* key, long long* advance) {
  *advance = 0;
  outline->ops.clear();
  outline->points.clear();
  if (!DrawableCharacter(code) || !Impl::SizeInRange(font)) return false;
  Face* face = m_impl->Open(file, index);
  if (face == nullptr) face = m_impl->Gothic();
  if (face == nullptr) return false;
  Face* drawing = face;
  FT_UInt glyph = FT_Get_Char_Index(face->ft, code);
  const auto try_face = [&](Face* fallback) {
    if (glyph != 0 || fallback == nullptr || fallback == face) return;
    glyph = FT_Get_Char_Index(fallback->ft, code);
    if (glyph != 0) drawing = fallback;
  };
  try_face(m_impl->Gothic());
  if (glyph == 0) try_face(m_impl->FaceWith(code));
  if (glyph == 0) return false;
  const int width = std::abs(font.width);
  if (!m_impl->SetSize(*drawing, font.height, width)) return false;
  const int escapement = NormalEscapement(font.escapement);
  Turn turn = MakeTurn(escapement);
  FT_Vector zero{0, 0};
  FT_Set_Transform(drawing->ft, &turn.matrix, &zero);
  const FT_Error error = FT_Load_Glyph(drawing->ft, glyph, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO);
  FT_Set_Transform(drawing->ft, nullptr, nullptr);
  if (error != 0 || drawing->ft->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
  *advance = drawing->ft->glyph->metrics.horiAdvance;
  FT_Outline* source = &drawing->ft->glyph->outline;
  if (source->n_points == 0) return false;

  struct Sink {
    GlyphOutline* out;
    static VectorPoint P(const FT_Vector* v) { return {v->x / 64.0, -v->y / 64.0}; }
    static int Move(const FT_Vector* to, void* user) {
      auto* s = static_cast<Sink*>(user);
      s->out->ops.push_back(GlyphOutline::Op::kMove);
      s->out->points.push_back(P(to));
      return 0;
    }
    static int Line(const FT_Vector* to, void* user) {
      auto* s = static_cast<Sink*>(user);
      s->out->ops.push_back(GlyphOutline::Op::kLine);
      s->out->points.push_back(P(to));
      return 0;
    }
    static int Conic(const FT_Vector* control, const FT_Vector* to, void* user) {
      auto* s = static_cast<Sink*>(user);
      s->out->ops.push_back(GlyphOutline::Op::kQuad);
      s->out->points.push_back(P(control));
      s->out->points.push_back(P(to));
      return 0;
    }
    static int Cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
      auto* s = static_cast<Sink*>(user);
      s->out->ops.push_back(GlyphOutline::Op::kCubic);
      s->out->points.push_back(P(c1));
      s->out->points.push_back(P(c2));
      s->out->points.push_back(P(to));
      return 0;
    }
  } sink{outline};
  FT_Outline_Funcs funcs{};
  funcs.move_to = &Sink::Move;
  funcs.line_to = &Sink::Line;
  funcs.conic_to = &Sink::Conic;
  funcs.cubic_to = &Sink::Cubic;
  if (FT_Outline_Decompose(source, &funcs, &sink) != 0 || outline->ops.empty()) return false;
  *key = std::to_string(reinterpret_cast<std::uintptr_t>(drawing)) + ':' + std::to_string(glyph) +
         ':' + std::to_string(font.height) + ':' + std::to_string(width) + ':' +
         std::to_string(escapement);
  return true;
}

}  // namespace pelmora
