#include "platform/fonts/font_rasterizer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <unordered_map>
#include <unordered_set>

#include "platform/fonts/face_lookup.h"
#include "platform/fonts/shift_jis.h"

namespace pelmora {
namespace {

// Largest pixels per em drawn, both directions. FreeType keeps sizes in 16
// bits; beyond this the bytecode's 26.6 arithmetic is no longer trustworthy.
constexpr long double kMaxPixelsPerEm = 32767;

// Glyph bitmaps up to this many pixels are kept; larger glyphs are rendered
// in tiles where they meet the bitmap, so their memory is bounded by the canvas.
constexpr long long kMaxCachedGlyphPixels = 256 * 256;
// The whole cache is dropped when it outgrows this (bytes of glyph bits).
constexpr std::size_t kMaxCacheBytes = 64u << 20;
// Large glyphs are rendered in square tiles of this many pixels, kept as
// runs; these are dropped together when their runs outgrow this (bytes).
constexpr long long kGlyphTile = 512;
constexpr std::size_t kMaxLargeCacheBytes = 64u << 20;
// Spans of large glyphs are painted in batches of at most this many.
constexpr std::size_t kMaxSpans = std::size_t{1} << 16;

long long FloorDiv64(long long v) {
  return v >= 0 ? v / 64 : -((-v + 63) / 64);
}

// A face name in UTF-8 whatever its bytes: what is not CP932 becomes U+FFFD,
// so that a name cut inside a character still resolves and reports.
std::string FaceNameToUtf8(std::string_view bytes) {
  std::string out;
  while (!bytes.empty()) {
    const Cp932Char c = DecodeCp932Char(bytes);
    AppendUtf8(out, c.valid ? c.code : U'\uFFFD');
    bytes.remove_prefix(static_cast<std::size_t>(c.length));
  }
  return out;
}

// Control characters draw nothing in the Japanese faces; neither do they here.
bool Drawable(const Cp932Char& c) {
  return c.valid && c.code >= 0x20 && c.code != 0x7F;
}

struct SizeKey {
  int height = 0;  // LogFont height: > 0 cell, < 0 em, pixels
  int width = 0;   // |LogFont width|, pixels; 0 = the face's proportion
  friend bool operator==(const SizeKey&, const SizeKey&) = default;
};

struct SizeKeyHash {
  std::size_t operator()(const SizeKey& k) const {
    return std::hash<std::uint64_t>()(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(k.height)) << 32) |
        static_cast<std::uint32_t>(k.width));
  }
};

struct SizeMetrics {
  bool ok = false;
  int ascent = 0;  // pixels from the top of the cell to the baseline
};

struct Face {
  FT_Face ft = nullptr;
  std::string family;
  std::string file;
  int index = 0;
  int id = 0;                       // FaceId(file, index)
  long double avg_width_units = 0;  // the average character width lfWidth scales to
  bool has_size = false;
  bool size_ok = false;
  SizeKey size;  // the size FreeType holds now
  std::unordered_map<SizeKey, SizeMetrics, SizeKeyHash> metrics;

  Face() = default;
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  ~Face() {
    if (ft != nullptr) FT_Done_Face(ft);
  }
};

// One face name as the canvas gives it.
struct FaceName {
  std::string requested;  // UTF-8
  Face* face = nullptr;   // nullptr: no font installed at all
  bool substituted = false;
  bool used = false;                 // drawn with since the substitutions were cleared
  std::size_t order = 0;             // first use since clearing, for reporting
  std::vector<const Face*> helpers;  // faces that drew characters this one lacks, since then
};

struct GlyphKey {
  const Face* face;  // the face the name asked for, even when the gothic draws
  int height;
  int width;
  int escapement;  // 0..3599
  char32_t code;
  std::int8_t dx;  // origin's fraction right of its pixel, 1/64 pixel
  std::int8_t dy;  // origin's fraction below its pixel, 1/64 pixel
  friend bool operator==(const GlyphKey&, const GlyphKey&) = default;
};

struct GlyphKeyHash {
  std::size_t operator()(const GlyphKey& k) const {
    std::uint64_t h = reinterpret_cast<std::uintptr_t>(k.face);
    auto mix = [&h](std::uint64_t v) { h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2); };
    mix(static_cast<std::uint32_t>(k.height));
    mix(static_cast<std::uint32_t>(k.width));
    mix(static_cast<std::uint32_t>(k.escapement));
    mix(k.code);
    mix(static_cast<std::uint64_t>((k.dx & 0xFF) | ((k.dy & 0xFF) << 8)));
    return static_cast<std::size_t>(h);
  }
};

// A glyph at its integer origin on the canvas (image pixels).
struct PlacedGlyph {
  GlyphKey key;
  long long x;
  long long y;
  friend bool operator==(const PlacedGlyph&, const PlacedGlyph&) = default;
};

struct PlacedGlyphHash {
  std::size_t operator()(const PlacedGlyph& p) const {
    std::size_t h = GlyphKeyHash()(p.key);
    for (const long long v : {p.x, p.y}) {
      h ^= std::hash<long long>()(v) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    }
    return h;
  }
};

// A rasterised glyph relative to its integer origin; FreeType's y points up.
struct Glyph {
  Face* drawn_by = nullptr;  // nullptr: nothing to draw
  FT_UInt index = 0;
  bool substitute = false;  // drawn_by is not the face the name asked for
  long long advance = 0;    // unrotated advance, 1/64 pixel
  // Pixel box of the ink: columns left .. left + width - 1, rows from top - 1
  // down to top - rows.
  long long left = 0;
  long long top = 0;
  long long width = 0;
  long long rows = 0;
  bool cached_bits = false;  // false for large glyphs, rendered clipped each time
  int pitch = 0;
  std::vector<std::uint8_t> bits;
};

// The same number for the same face file and index in every rasteriser of
// the process, so that they can share glyph tiles.
int FaceId(const std::string& file, int index) {
  static std::mutex mutex;
  static std::map<std::pair<std::string, int>, int> ids;
  std::lock_guard lock(mutex);
  return ids.emplace(std::pair(file, index), static_cast<int>(ids.size())).first->second;
}

// A tile of a large glyph: glyph pixels [x0, x1) x [y0, y1), y up, of the
// outline of glyph `index` of face `face` (FaceId) at one size, angle and
// fraction of the origin.
struct GlyphTileKey {
  int face;
  FT_UInt index;
  int height;
  int width;
  int escapement;
  std::int8_t dx;
  std::int8_t dy;
  long long x0, y0, x1, y1;
  friend bool operator==(const GlyphTileKey&, const GlyphTileKey&) = default;
};

struct GlyphTileKeyHash {
  std::size_t operator()(const GlyphTileKey& k) const {
    std::uint64_t h = 0;
    auto mix = [&h](std::uint64_t v) { h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2); };
    mix(static_cast<std::uint32_t>(k.face));
    mix(k.index);
    mix(static_cast<std::uint32_t>(k.height));
    mix(static_cast<std::uint32_t>(k.width));
    mix(static_cast<std::uint32_t>(k.escapement));
    mix(static_cast<std::uint64_t>((k.dx & 0xFF) | ((k.dy & 0xFF) << 8)));
    for (const long long v : {k.x0, k.y0, k.x1, k.y1}) mix(static_cast<std::uint64_t>(v));
    return static_cast<std::size_t>(h);
  }
};

// One row's run of set pixels: columns [left, right) of row `row`, counted from
// the clipped part's top-left corner.
struct MaskRun {
  std::int32_t row;
  std::int32_t left;
  std::int32_t right;
};

// The runs of set bits of a mask `width` pixels wide, row by row, read 64
// pixels at a time.
void AppendRuns(const std::uint8_t* bits, int pitch, long long width, long long rows,
                std::vector<MaskRun>& runs) {
  const auto bytes = static_cast<std::size_t>((width + 7) / 8);
  for (long long y = 0; y < rows; ++y) {
    const std::uint8_t* row = bits + y * pitch;
    long long run_start = -1;
    for (std::size_t b = 0; b < bytes; b += 8) {
      // The row's first pixel is bit 7 of its first byte: byte-swapped, the
      // word's top bit.
      std::uint64_t word = 0;
      std::memcpy(&word, row + b, std::min<std::size_t>(8, bytes - b));
      word = __builtin_bswap64(word);
      const auto base = static_cast<long long>(b * 8);
      if (width - base < 64) word &= ~std::uint64_t{0} << (64 - (width - base));
      int bit = 0;
      while (bit < 64) {
        // A set bit is looked for outside a run, a clear one inside; the
        // bits shifted in from below count as neither.
        const std::uint64_t rest = run_start < 0 ? word << bit : ~word << bit;
        if (rest == 0) break;
        bit += std::countl_zero(rest);
        if (run_start < 0) {
          run_start = base + bit;
        } else {
          runs.push_back({static_cast<std::int32_t>(y), static_cast<std::int32_t>(run_start),
                          static_cast<std::int32_t>(base + bit)});
          run_start = -1;
        }
      }
    }
    if (run_start >= 0) {
      runs.push_back({static_cast<std::int32_t>(y), static_cast<std::int32_t>(run_start),
                      static_cast<std::int32_t>(width)});
    }
  }
}

// The pixels of a canvas that the large glyphs of one text cover, one bit
// each, so that the text paints their union (each pixel once, however deep
// the glyphs overlap). Its memory, an eighth of a byte per pixel of the
// canvas, is kept between texts; every bit is clear between texts.
class Coverage {
 public:
  // Prepares for a canvas of `rows` x `width` pixels.
  void Shape(long long rows, long long width) {
    // Bits left by a text that did not finish (an allocation failed) go.
    if (!Empty()) Take([](std::size_t, long long, long long) {});
    m_stride = static_cast<std::size_t>((width + 63) / 64);
    m_rows = static_cast<std::size_t>(rows);
    // Clear bits stay clear whatever the row length they are read with.
    if (m_words.size() < m_rows * m_stride) m_words.resize(m_rows * m_stride, 0);
    if (m_lo.size() < m_rows) {
      m_lo.resize(m_rows, kNone);
      m_hi.resize(m_rows, 0);
    }
  }

  bool Empty() const { return m_first > m_last; }

  // Pixels 0 <= x0 <= x < x1 <= width of row 0 <= row < rows.
  void Add(std::size_t row, long long x0, long long x1) {
    const auto a = static_cast<std::size_t>(x0);
    const auto b = static_cast<std::size_t>(x1) - 1;
    const std::size_t wa = a >> 6;
    const std::size_t wb = b >> 6;
    std::uint64_t* words = m_words.data() + row * m_stride;
    const std::uint64_t head = ~std::uint64_t{0} << (a & 63);
    const std::uint64_t tail = ~std::uint64_t{0} >> (63 - (b & 63));
    if (wa == wb) {
      words[wa] |= head & tail;
    } else {
      words[wa] |= head;
      std::fill(words + wa + 1, words + wb, ~std::uint64_t{0});
      words[wb] |= tail;
    }
    m_lo[row] = std::min<std::size_t>(m_lo[row], wa);
    m_hi[row] = std::max<std::size_t>(m_hi[row], wb + 1);
    m_first = std::min(m_first, row);
    m_last = std::max(m_last, row);
  }

  // Hands each run of covered pixels to emit(row, x0, x1), rows top down,
  // runs left to right, and clears them.
  template <class Emit>
  void Take(Emit&& emit) {
    for (std::size_t row = m_first; row <= m_last && row < m_rows; ++row) {
      std::uint64_t* words = m_words.data() + row * m_stride;
      long long run_start = -1;
      for (std::size_t w = m_lo[row]; w < m_hi[row]; ++w) {
        const std::uint64_t word = words[w];
        words[w] = 0;
        const auto base = static_cast<long long>(w * 64);
        int bit = 0;
        while (bit < 64) {
          // A set bit is looked for outside a run, a clear one inside; the
          // bits shifted in from above count as neither.
          const std::uint64_t rest = run_start < 0 ? word >> bit : ~word >> bit;
          if (rest == 0) break;
          bit += std::countr_zero(rest);
          if (run_start < 0) {
            run_start = base + bit;
          } else {
            emit(row, run_start, base + bit);
            run_start = -1;
          }
        }
      }
      if (run_start >= 0) emit(row, run_start, static_cast<long long>(m_hi[row] * 64));
      m_lo[row] = kNone;
      m_hi[row] = 0;
    }
    m_first = kNone;
    m_last = 0;
    // A whole image's coverage is given back; a band's is kept for the next.
    if (m_words.size() * sizeof(std::uint64_t) > kKeptBytes) {
      m_words = {};
      m_lo = {};
      m_hi = {};
    }
  }

 private:
  static constexpr std::size_t kNone = SIZE_MAX;
  static constexpr std::size_t kKeptBytes = 8u << 20;
  std::vector<std::uint64_t> m_words;  // row-major, m_stride words a row, bit k = pixel k
  std::size_t m_stride = 0;
  std::size_t m_rows = 0;
  std::vector<std::size_t> m_lo;  // each row's covered words: [m_lo, m_hi)
  std::vector<std::size_t> m_hi;
  std::size_t m_first = kNone;  // covered rows: [m_first, m_last]
  std::size_t m_last = 0;
};

using TileRuns = std::shared_ptr<const std::vector<MaskRun>>;

// The runs of large glyphs' tiles, shared by the rasterisers of every thread:
// neighbouring bands of one image, drawn on different threads, meet the same
// tile rows. Two generations: a full current one becomes the previous, whose
// tiles move back when met again; the older ones are dropped. Memory stays
// below twice a generation's bytes.
class SharedTiles {
 public:
  TileRuns Find(const GlyphTileKey& key) {
    std::lock_guard lock(m_mutex);
    if (auto it = m_current.find(key); it != m_current.end()) return it->second;
    auto it = m_previous.find(key);
    if (it == m_previous.end()) return nullptr;
    TileRuns runs = it->second;
    m_previous.erase(it);
    AddLocked(key, runs);
    return runs;
  }

  // Keeps the runs unless another thread kept the same tile first; returns
  // the kept ones.
  TileRuns Keep(const GlyphTileKey& key, std::vector<MaskRun> runs) {
    auto made = std::make_shared<const std::vector<MaskRun>>(std::move(runs));
    std::lock_guard lock(m_mutex);
    if (auto it = m_current.find(key); it != m_current.end()) return it->second;
    m_previous.erase(key);
    AddLocked(key, made);
    return made;
  }

  void Clear() {
    std::lock_guard lock(m_mutex);
    m_current.clear();
    m_previous.clear();
    m_current_bytes = 0;
  }

 private:
  static std::size_t Bytes(const TileRuns& runs) {
    return runs->size() * sizeof(MaskRun) + sizeof(GlyphTileKey) + 64;
  }

  void AddLocked(const GlyphTileKey& key, const TileRuns& runs) {
    if (m_current_bytes + Bytes(runs) > kMaxLargeCacheBytes / 2) {
      m_previous = std::move(m_current);
      m_current.clear();
      m_current_bytes = 0;
    }
    m_current_bytes += Bytes(runs);
    m_current.emplace(key, runs);
  }

  std::mutex m_mutex;
  std::unordered_map<GlyphTileKey, TileRuns, GlyphTileKeyHash> m_current;
  std::unordered_map<GlyphTileKey, TileRuns, GlyphTileKeyHash> m_previous;
  std::size_t m_current_bytes = 0;
};

SharedTiles& Tiles() {
  static SharedTiles tiles;
  return tiles;
}

struct Rotation {
  int escapement = -1;
  long double cos = 1;
  long double sin = 0;
  FT_Matrix matrix{0x10000, 0, 0, 0x10000};
};

Rotation MakeRotation(int escapement) {
  Rotation r;
  r.escapement = escapement;
  switch (escapement) {
    case 0:
      r.cos = 1;
      r.sin = 0;
      break;
    case 900:
      r.cos = 0;
      r.sin = 1;
      break;
    case 1800:
      r.cos = -1;
      r.sin = 0;
      break;
    case 2700:
      r.cos = 0;
      r.sin = -1;
      break;
    default: {
      const long double a =
          static_cast<long double>(escapement) * std::numbers::pi_v<long double> / 1800.0L;
      r.cos = std::cos(a);
      r.sin = std::sin(a);
    }
  }
  const auto fixed = [](long double v) { return static_cast<FT_Fixed>(std::nearbyint(v * 65536)); };
  // Counterclockwise in FreeType's y-up space is counterclockwise on screen.
  r.matrix.xx = fixed(r.cos);
  r.matrix.xy = -fixed(r.sin);
  r.matrix.yx = fixed(r.sin);
  r.matrix.yy = fixed(r.cos);
  return r;
}

}  // namespace

struct FontRasterizer::Impl {
  FT_Library library = nullptr;
  std::vector<std::unique_ptr<Face>> faces;
  std::vector<std::unique_ptr<FaceName>> names;
  std::unordered_map<std::string, FaceName*> names_by_bytes;
  std::string last_name_bytes;
  FaceName* last_name = nullptr;
  bool gothic_looked_up = false;
  Face* gothic = nullptr;
  std::unordered_map<char32_t, Face*> by_character;  // for what even the gothic lacks
  std::size_t next_order = 0;
  Rotation rotation = MakeRotation(0);
  std::unordered_map<GlyphKey, Glyph, GlyphKeyHash> glyphs;
  std::size_t glyph_bytes = 0;
  std::vector<std::uint8_t> scratch;  // clipped renders of large glyphs
  // The text being drawn: large glyphs already painted at their place (drawn
  // again in the same colour they change nothing), and the pixels of its large
  // glyphs, painted once as a union (on 1-bit canvases, where a pixel costs
  // no more than its bit, painted as they come).
  std::unordered_set<PlacedGlyph, PlacedGlyphHash> placed;
  Coverage coverage;
  bool gather = false;           // the canvas's format costs more per pixel than a bit
  std::vector<PixelSpan> spans;  // to paint

  Impl() {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  }
  ~Impl() {
    glyphs.clear();
    faces.clear();
    if (library != nullptr) FT_Done_FreeType(library);
  }

  Face* OpenFace(const FaceChoice& choice) {
    if (!choice.Found() || library == nullptr) return nullptr;
    for (const auto& face : faces) {
      if (face->file == choice.file && face->index == choice.index) return face.get();
    }
    FT_Face ft = nullptr;
    if (FT_New_Face(library, choice.file.c_str(), choice.index, &ft) != 0) return nullptr;
    if (!FT_IS_SCALABLE(ft) || FT_Select_Charmap(ft, FT_ENCODING_UNICODE) != 0) {
      FT_Done_Face(ft);
      return nullptr;
    }
    auto face = std::make_unique<Face>();
    face->ft = ft;
    face->family = choice.family;
    face->file = choice.file;
    face->index = choice.index;
    face->id = FaceId(choice.file, choice.index);
    // GDI scales lfWidth against tmAveCharWidth, which comes from the OS/2
    // table; fonts without one fall back to the width of 'x', then half an em.
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    if (os2 != nullptr && os2->xAvgCharWidth > 0) {
      face->avg_width_units = os2->xAvgCharWidth;
    } else if (FT_Load_Char(ft, 'x', FT_LOAD_NO_SCALE) == 0 && ft->glyph->advance.x > 0) {
      face->avg_width_units = static_cast<long double>(ft->glyph->advance.x);
    } else {
      face->avg_width_units = ft->units_per_EM / 2.0L;
    }
    if (face->avg_width_units <= 0) face->avg_width_units = 1;
    faces.push_back(std::move(face));
    return faces.back().get();
  }

  Face* Gothic() {
    if (!gothic_looked_up) {
      gothic_looked_up = true;
      gothic = OpenFace(JapaneseGothicFace());
    }
    return gothic;
  }

  Face* FaceWith(char32_t code) {
    // User-defined characters (CP932 0xF040-0xF9FC) have no standard glyphs.
    if (code >= 0xE000 && code <= 0xF8FF) return nullptr;
    auto it = by_character.find(code);
    if (it == by_character.end()) {
      it = by_character.emplace(code, OpenFace(FaceForCharacter(code))).first;
    }
    return it->second;
  }

  FaceName& Name(std::string_view bytes) {
    // Like LOGFONT's lfFaceName: at most 31 bytes, ending at a zero byte.
    bytes = bytes.substr(0, std::min(bytes.find('\0'), kMaxFaceNameBytes));
    if (last_name != nullptr && bytes == last_name_bytes) return *last_name;
    const std::string key(bytes);
    auto it = names_by_bytes.find(key);
    if (it == names_by_bytes.end()) {
      auto name = std::make_unique<FaceName>();
      name->requested = FaceNameToUtf8(bytes);
      const FaceChoice choice = ChooseFace(name->requested);
      name->face = OpenFace(choice);
      name->substituted = choice.substituted;
      if (name->face == nullptr) {
        // Listed by fontconfig but not loadable: the gothic stands in.
        name->face = Gothic();
        name->substituted = true;
      }
      it = names_by_bytes.emplace(key, name.get()).first;
      names.push_back(std::move(name));
    }
    last_name_bytes = key;
    last_name = it->second;
    return *last_name;
  }

  static void NoteHelper(FaceName& name, const Face* helper) {
    if (std::find(name.helpers.begin(), name.helpers.end(), helper) == name.helpers.end()) {
      name.helpers.push_back(helper);
    }
  }

  void MarkUsed(FaceName& name) {
    if (!name.used) {
      name.used = true;
      name.order = next_order++;
    }
  }

  // Makes `size` FreeType's current size of `face`, as GDI would size the face.
  bool SetSize(Face& face, SizeKey size) {
    if (face.has_size && face.size == size) return face.size_ok;
    face.has_size = true;
    face.size = size;
    face.size_ok = false;
    const FT_Face ft = face.ft;
    const long double upem = ft->units_per_EM;
    const long double cell_units = static_cast<long double>(ft->ascender) - ft->descender;
    if (size.height == 0 || upem <= 0 || cell_units <= 0) return false;
    FT_Size_RequestRec request{};
    long double em_pixels = 0;
    if (size.height > 0) {
      // A positive height is the cell, ascender - descender (FreeType's "real
      // dimension"; its "cell" request would force one scale for both axes).
      // The Japanese faces' cell is their em, as in the Windows faces they
      // stand for.
      request.type = FT_SIZE_REQUEST_TYPE_REAL_DIM;
      request.height = static_cast<FT_Long>(size.height) * 64;
      em_pixels = size.height * upem / cell_units;
    } else {
      request.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
      request.height = -static_cast<FT_Long>(size.height) * 64;
      em_pixels = -static_cast<long double>(size.height);
    }
    if (em_pixels > kMaxPixelsPerEm) return false;
    if (size.width != 0) {
      // The request's width is measured against the cell (real dimension) or
      // the em (nominal); scale it so that xAvgCharWidth becomes `width`.
      const long double basis = request.type == FT_SIZE_REQUEST_TYPE_REAL_DIM ? cell_units : upem;
      const long double width_26_6 = size.width * 64.0L * basis / face.avg_width_units;
      const long double em_width = size.width * upem / face.avg_width_units;
      if (em_width > kMaxPixelsPerEm) return false;
      request.width = static_cast<FT_Long>(std::nearbyint(width_26_6));
      if (request.width <= 0) return false;
    }
    face.size_ok = FT_Request_Size(ft, &request) == 0 && ft->size->metrics.y_ppem > 0 &&
                   ft->size->metrics.x_ppem > 0;
    return face.size_ok;
  }

  const SizeMetrics& Metrics(Face& face, SizeKey size) {
    auto it = face.metrics.find(size);
    if (it != face.metrics.end()) return it->second;
    SizeMetrics m;
    if (SetSize(face, size)) {
      m.ok = true;
      const long double ascent_26_6 =
          static_cast<long double>(FT_MulFix(face.ft->ascender, face.ft->size->metrics.y_scale));
      m.ascent = static_cast<int>(std::nearbyint(ascent_26_6 / 64));
    }
    return face.metrics.emplace(size, m).first->second;
  }

  // Loads the glyph's outline, sized, turned and shifted by the origin's
  // fraction; nullptr when the face cannot give one.
  FT_Outline* LoadOutline(Face& face, FT_UInt index, SizeKey size, FT_Vector delta) {
    if (!SetSize(face, size)) return nullptr;
    FT_Set_Transform(face.ft, &rotation.matrix, &delta);
    if (FT_Load_Glyph(face.ft, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) != 0) {
      return nullptr;
    }
    if (face.ft->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return nullptr;
    return &face.ft->glyph->outline;
  }

  // Renders the part [x0, x0 + width) x [y0, y0 + rows) (pixels, y up) of an
  // outline into `bits`, top row first, bit 7 leftmost.
  bool Render(FT_Outline* outline, long long x0, long long y0, long long width, long long rows,
              int& pitch, std::vector<std::uint8_t>& bits) {
    pitch = static_cast<int>((width + 7) / 8);
    bits.assign(static_cast<std::size_t>(pitch) * static_cast<std::size_t>(rows), 0);
    FT_Outline_Translate(outline, static_cast<FT_Pos>(-x0 * 64), static_cast<FT_Pos>(-y0 * 64));
    FT_Bitmap target{};
    target.rows = static_cast<unsigned>(rows);
    target.width = static_cast<unsigned>(width);
    target.pitch = pitch;
    target.buffer = bits.data();
    target.pixel_mode = FT_PIXEL_MODE_MONO;
    target.num_grays = 2;
    const FT_Error error = FT_Outline_Get_Bitmap(library, outline, &target);
    FT_Outline_Translate(outline, static_cast<FT_Pos>(x0 * 64), static_cast<FT_Pos>(y0 * 64));
    return error == 0;
  }

  Glyph MakeGlyph(Face& face, SizeKey size, char32_t code, FT_Vector delta) {
    Glyph glyph;
    Face* drawing = &face;
    FT_UInt index = FT_Get_Char_Index(face.ft, code);
    // Never an empty box: characters the face lacks come from the gothic, and
    // the few the gothic lacks from any face that has them.
    // Control characters never reach here (Drawable), so a lookup in
    // fontconfig is made only for real characters missing from both faces.
    const auto try_face = [&](Face* fallback) {
      if (index != 0 || fallback == nullptr || fallback == &face) return;
      index = FT_Get_Char_Index(fallback->ft, code);
      if (index != 0) drawing = fallback;
    };
    try_face(Gothic());
    if (index == 0) try_face(FaceWith(code));
    if (index == 0) return glyph;
    glyph.substitute = drawing != &face;
    FT_Outline* outline = LoadOutline(*drawing, index, size, delta);
    if (outline == nullptr) return glyph;
    glyph.drawn_by = drawing;
    glyph.index = index;
    glyph.advance = drawing->ft->glyph->metrics.horiAdvance;
    FT_BBox box;
    FT_Outline_Get_CBox(outline, &box);
    const long long x0 = FloorDiv64(box.xMin);
    const long long y0 = FloorDiv64(box.yMin);
    const long long x1 = -FloorDiv64(-box.xMax);
    const long long y1 = -FloorDiv64(-box.yMax);
    if (outline->n_points == 0 || x1 <= x0 || y1 <= y0) return glyph;
    glyph.left = x0;
    glyph.top = y1;
    glyph.width = x1 - x0;
    glyph.rows = y1 - y0;
    if (glyph.width * glyph.rows <= kMaxCachedGlyphPixels) {
      glyph.cached_bits = Render(outline, x0, y0, glyph.width, glyph.rows, glyph.pitch, glyph.bits);
      if (!glyph.cached_bits) glyph.width = glyph.rows = 0;
    }
    return glyph;
  }

  // A large glyph, rendered only where it meets the bitmap, in tiles of its
  // own box: the rasteriser's pixels near the edge of its target depend on
  // where that edge lies (drop-out choices, clipped edge steps), so a glyph
  // pixel always comes from the same tile, whichever bitmap or band shows it.
  // The tiles are kept as runs for the next character drawn at the same size
  // and place (a column of equal characters, the next band of the same
  // text). Their pixels inside the bitmap join the text's coverage.
  void DeferClipped(const Canvas& canvas, const Glyph& glyph, const GlyphKey& key, SizeKey size,
                    FT_Vector delta, long long origin_x, long long origin_y) {
    // Canvas column c is glyph column c - origin_x; canvas row r is glyph
    // row origin_y - 1 - r (y up), so the canvas's rows [first, end) span
    // glyph rows [origin_y - end, origin_y - first).
    const long long x0 = std::max(glyph.left, -origin_x);
    const long long x1 = std::min(glyph.left + glyph.width, canvas.Target().Width() - origin_x);
    const long long y0 = std::max(glyph.top - glyph.rows, origin_y - canvas.EndRow());
    const long long y1 = std::min(glyph.top, origin_y - canvas.FirstRow());
    if (x1 <= x0 || y1 <= y0) return;
    // Tile (column i, row j) holds glyph columns left + i T .. and the rows
    // top - j T downwards.
    const long long last_row = (glyph.top - y0 - 1) / kGlyphTile;
    const long long last_column = (x1 - 1 - glyph.left) / kGlyphTile;
    for (long long j = (glyph.top - y1) / kGlyphTile; j <= last_row; ++j) {
      for (long long i = (x0 - glyph.left) / kGlyphTile; i <= last_column; ++i) {
        const TileRuns runs = Tile(glyph, key, size, delta, i, j);
        if (runs == nullptr) return;
        AppendTileSpans(canvas, *runs, origin_x + glyph.left + i * kGlyphTile,
                        origin_y - glyph.top + j * kGlyphTile);
      }
    }
  }

  // A tile's runs inside the canvas's rows, its top-left pixel at canvas
  // (left, top); columns are clipped when painted.
  void AppendTileSpans(const Canvas& canvas, const std::vector<MaskRun>& runs, long long left,
                       long long top) {
    const auto first = std::partition_point(runs.begin(), runs.end(), [&](const MaskRun& run) {
      return top + run.row < canvas.FirstRow();
    });
    const long long width = canvas.Target().Width();
    for (auto run = first; run != runs.end(); ++run) {
      const long long y = top + run->row;
      if (y >= canvas.EndRow()) break;
      const long long x0 = std::max(0LL, left + run->left);
      const long long x1 = std::min(width, left + run->right);
      if (x0 >= x1) continue;
      if (gather) {
        coverage.Add(static_cast<std::size_t>(y - canvas.FirstRow()), x0, x1);
      } else {
        spans.push_back({y, x0, x1});
      }
    }
  }

  // Paints what the large glyphs of the text cover.
  void PaintCovered(Canvas& canvas) {
    const long long first_row = canvas.FirstRow();
    coverage.Take([&](std::size_t row, long long x0, long long x1) {
      spans.push_back({first_row + static_cast<long long>(row), x0, x1});
      if (spans.size() >= kMaxSpans) PaintSpans(canvas);
    });
    PaintSpans(canvas);
  }

  void PaintSpans(Canvas& canvas) {
    canvas.FillSpans(spans, canvas.FontColour());
    spans.clear();
  }

  // The runs of tile (i, j) of a large glyph; nullptr when it cannot be rendered.
  TileRuns Tile(const Glyph& glyph, const GlyphKey& key, SizeKey size, FT_Vector delta, long long i,
                long long j) {
    const long long x0 = glyph.left + i * kGlyphTile;
    const long long x1 = std::min(x0 + kGlyphTile, glyph.left + glyph.width);
    const long long y1 = glyph.top - j * kGlyphTile;
    const long long y0 = std::max(y1 - kGlyphTile, glyph.top - glyph.rows);
    const GlyphTileKey tile{glyph.drawn_by->id,
                            glyph.index,
                            size.height,
                            size.width,
                            key.escapement,
                            key.dx,
                            key.dy,
                            x0,
                            y0,
                            x1,
                            y1};
    if (TileRuns runs = Tiles().Find(tile)) return runs;
    FT_Outline* outline = LoadOutline(*glyph.drawn_by, glyph.index, size, delta);
    if (outline == nullptr) return nullptr;
    int pitch = 0;
    if (!Render(outline, x0, y0, x1 - x0, y1 - y0, pitch, scratch)) return nullptr;
    std::vector<MaskRun> runs;
    AppendRuns(scratch.data(), pitch, x1 - x0, y1 - y0, runs);
    return Tiles().Keep(tile, std::move(runs));
  }

  const Glyph& Lookup(const GlyphKey& key, Face& face, SizeKey size, FT_Vector delta) {
    auto it = glyphs.find(key);
    if (it != glyphs.end()) return it->second;
    if (glyph_bytes > kMaxCacheBytes) {
      glyphs.clear();
      glyph_bytes = 0;
    }
    Glyph glyph = MakeGlyph(face, size, key.code, delta);
    glyph_bytes += glyph.bits.size() + sizeof(Glyph) + sizeof(GlyphKey);
    return glyphs.emplace(key, std::move(glyph)).first->second;
  }

  // The union of glyph rows, for InkRows.
  struct Rows {
    long long top = 0;
    long long bottom = 0;
    void Add(long long first, long long end) {
      if (first >= end) return;
      if (top == bottom) {
        top = first;
        bottom = end;
      } else {
        top = std::min(top, first);
        bottom = std::max(bottom, end);
      }
    }
  };

  // Draws one text's pieces in the canvas's font colour.
  void DrawPieces(Canvas& canvas, std::span<const TextPiece> pieces) {
    placed.clear();
    gather = canvas.Target().BitsPerPixel() > 1;
    if (gather) coverage.Shape(canvas.Target().Height(), canvas.Target().Width());
    for (const TextPiece& piece : pieces) {
      TextOut(canvas, *piece.font, piece.at.x, piece.at.y, piece.bytes, nullptr);
    }
    if (!coverage.Empty()) PaintCovered(canvas);
    if (!spans.empty()) PaintSpans(canvas);
  }

  // Draws (with `ink` only measures) the string as part of the text being
  // drawn: its large glyphs join the text's coverage.
  void TextOut(Canvas& canvas, const LogFont& font, int x, int y, std::string_view bytes,
               Rows* ink) {
    if (font.height == 0 || bytes.empty()) return;
    // Sizes this far beyond kMaxPixelsPerEm need no arithmetic to reject.
    constexpr int kSizeLimit = 1 << 24;
    if (std::abs(static_cast<long long>(font.height)) > kSizeLimit ||
        std::abs(static_cast<long long>(font.width)) > kSizeLimit) {
      return;
    }
    FaceName& name = Name(font.face_name);
    if (name.face == nullptr) return;
    MarkUsed(name);
    const SizeKey size{font.height, std::abs(font.width)};
    const SizeMetrics& metrics = Metrics(*name.face, size);
    if (!metrics.ok) return;
    const int escapement = ((font.escapement % 3600) + 3600) % 3600;
    if (rotation.escapement != escapement) rotation = MakeRotation(escapement);

    // The baseline starts `ascent` below (x, y) in the turned text's frame.
    const long double base_x = x + metrics.ascent * rotation.sin;
    const long double base_y = y + metrics.ascent * rotation.cos;
    long long pen = 0;  // along the baseline, 1/64 pixel
    while (!bytes.empty()) {
      const Cp932Char c = DecodeCp932Char(bytes);
      bytes.remove_prefix(static_cast<std::size_t>(c.length));
      if (!Drawable(c)) continue;
      const long double along = static_cast<long double>(pen) / 64;
      const auto origin_x64 =
          static_cast<long long>(std::nearbyint((base_x + along * rotation.cos) * 64));
      const auto origin_y64 =
          static_cast<long long>(std::nearbyint((base_y - along * rotation.sin) * 64));
      const long long origin_x = FloorDiv64(origin_x64);
      const long long origin_y = FloorDiv64(origin_y64);
      const auto dx = static_cast<std::int8_t>(origin_x64 - origin_x * 64);
      const auto dy = static_cast<std::int8_t>(origin_y64 - origin_y * 64);
      const FT_Vector delta{dx, -dy};
      const GlyphKey key{name.face, size.height, size.width, escapement, c.code, dx, dy};
      const Glyph& glyph = Lookup(key, *name.face, size, delta);
      if (glyph.substitute) NoteHelper(name, glyph.drawn_by);
      if (glyph.width > 0 && glyph.rows > 0 && ink != nullptr) {
        ink->Add(origin_y - glyph.top, origin_y - glyph.top + glyph.rows);
      } else if (glyph.width > 0 && glyph.rows > 0 && glyph.cached_bits) {
        canvas.FillMask(static_cast<int>(origin_x + glyph.left),
                        static_cast<int>(origin_y - glyph.top), static_cast<int>(glyph.width),
                        static_cast<int>(glyph.rows), glyph.bits.data(), glyph.pitch,
                        canvas.FontColour());
      } else if (glyph.width > 0 && glyph.rows > 0 &&
                 placed.insert({key, origin_x, origin_y}).second) {
        DeferClipped(canvas, glyph, key, size, delta, origin_x, origin_y);
        if (spans.size() >= kMaxSpans) PaintSpans(canvas);
      }
      pen += glyph.advance;
    }
  }
};

FontRasterizer::FontRasterizer() : m_impl(std::make_unique<Impl>()) {}
FontRasterizer::~FontRasterizer() = default;

void FontRasterizer::TextOut(Canvas& canvas, int x, int y, std::string_view bytes) {
  const TextPiece piece{bytes, &canvas.Font(), {x, y}};
  m_impl->DrawPieces(canvas, std::span(&piece, 1));
}

void FontRasterizer::TextOutPieces(Canvas& canvas, std::span<const TextPiece> pieces) {
  m_impl->DrawPieces(canvas, pieces);
}

bool FontRasterizer::InkRows(Canvas& canvas, int x, int y, std::string_view bytes, long long* top,
                             long long* bottom) {
  Impl::Rows rows;
  m_impl->TextOut(canvas, canvas.Font(), x, y, bytes, &rows);
  *top = rows.top;
  *bottom = rows.bottom;
  return true;
}

std::string FontRasterizer::FamilyFor(std::string_view face_name) {
  const FaceName& name = m_impl->Name(face_name);
  return name.face != nullptr ? name.face->family : std::string();
}

FaceChoice FontRasterizer::FaceFor(std::string_view face_name) {
  const FaceName& name = m_impl->Name(face_name);
  if (name.face == nullptr) return {};
  return {name.face->family, name.face->file, name.face->index, name.substituted};
}

std::vector<FontSubstitution> FontRasterizer::Substitutions() const {
  std::vector<const FaceName*> used;
  for (const auto& name : m_impl->names) {
    if (name->used && name->face != nullptr) used.push_back(name.get());
  }
  std::sort(used.begin(), used.end(),
            [](const FaceName* a, const FaceName* b) { return a->order < b->order; });
  std::vector<FontSubstitution> result;
  for (const FaceName* name : used) {
    if (name->substituted) {
      result.push_back({name->requested, name->face->family, FontSubstitution::Kind::kReplaced});
    }
    for (const Face* helper : name->helpers) {
      result.push_back(
          {name->requested, helper->family, FontSubstitution::Kind::kMissingCharacters});
    }
  }
  return result;
}

void FontRasterizer::ClearSubstitutions() {
  for (const auto& name : m_impl->names) {
    name->used = false;
    name->helpers.clear();
  }
  m_impl->next_order = 0;
}

void FontRasterizer::ReleaseSharedTiles() {
  Tiles().Clear();
}

FontRasterizer& DefaultTextRasterizer() {
  static FontRasterizer rasterizer;
  return rasterizer;
}

}  // namespace pelmora
