// Drawing surface over a Bitmap with GDI's pixel rules (see tests/golden/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/raster/bitmap.h"

namespace pelmora {

namespace raster {
struct LinePoint;
}

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

enum class PenMode { kCopy, kXor };
enum class BrushStyle { kSolid, kClear, kDiagCross };

// Bytes of LogFont::face_name: the lfFaceName field of 32 less its terminating zero.
inline constexpr std::size_t kMaxFaceNameBytes = 31;

// What CreateFontIndirectA took: the canvas only stores it; a TextRasterizer
// turns it into glyphs.
struct LogFont {
  int height = 0;      // > 0 cell height, < 0 character height, pixels
  int width = 0;       // average character width, 0 = the face's own proportion
  int escapement = 0;  // tenths of a degree, counterclockwise
  int orientation = 0;
  int weight = 0;
  std::uint8_t italic = 0;
  std::uint8_t underline = 0;
  std::uint8_t strike_out = 0;
  std::uint8_t char_set = 1;       // DEFAULT_CHARSET
  std::uint8_t out_precision = 2;  // OUT_CHARACTER_PRECIS
  std::uint8_t clip_precision = 0;
  std::uint8_t quality = 2;  // PROOF_QUALITY
  std::uint8_t pitch_and_family = 0;
  std::string face_name;  // bytes (CP932 or ASCII), at most kMaxFaceNameBytes
};

class Canvas;

// One string of a text with its own font, the top-left corner of its first
// cell at `at` (image pixels).
struct TextPiece {
  std::string_view bytes;
  const LogFont* font = nullptr;
  Point at;
};

// Pixels x0 <= x < x1 of image row y.
struct PixelSpan {
  long long y = 0;
  long long x0 = 0;
  long long x1 = 0;
};

// Draws text for a canvas (platform/fonts provides the real one). Kept behind
// an interface so that the raster layer does not depend on FreeType.
class TextRasterizer {
 public:
  virtual ~TextRasterizer() = default;
  // Draws `bytes` (Shift-JIS) with canvas.Font() in canvas.FontColour(), the
  // cell's top-left corner at (x, y), transparent background.
  virtual void TextOut(Canvas& canvas, int x, int y, std::string_view bytes) = 0;
  // The rows [*top, *bottom) of the image that TextOut(canvas, x, y, bytes)
  // would paint if the canvas held every row (top == bottom: none), without
  // painting. False when the rasterizer cannot tell: any row may be painted.
  virtual bool InkRows(Canvas& /*canvas*/, int /*x*/, int /*y*/, std::string_view /*bytes*/,
                       long long* /*top*/, long long* /*bottom*/) {
    return false;
  }
  // Draws the pieces in canvas.FontColour() as TextOut with each piece's font
  // would, one after the other. All are painted in the one colour and nothing
  // else paints meanwhile, so a rasterizer may paint them in any order and
  // paint a pixel that several pieces cover once. Leaves canvas.Font() as it
  // finds it.
  virtual void TextOutPieces(Canvas& canvas, std::span<const TextPiece> pieces);
};

class Canvas {
 public:
  // The logical resolution of every canvas: dash lengths and point-sized fonts
  // are in units of it, so output never depends on the desktop.
  static constexpr int kPixelsPerInch = 96;

  explicit Canvas(Bitmap& bitmap);
  // A canvas over one band of a taller image: the bitmap holds the image's rows
  // first_row .. first_row + height - 1. Every coordinate stays an image pixel,
  // so a band paints exactly the pixels the whole image has in those rows.
  Canvas(Bitmap& bitmap, int first_row);

  Bitmap& Target() { return m_bitmap; }
  const Bitmap& Target() const { return m_bitmap; }
  // The image rows the canvas can paint: FirstRow() <= y < EndRow().
  int FirstRow() const { return m_first_row; }
  long long EndRow() const { return static_cast<long long>(m_first_row) + m_bitmap.Height(); }
  int PixelsPerInch() const { return kPixelsPerInch; }

  // Widest pen drawn; wider widths are held here (pixels).
  static constexpr int kMaxPenWidth = 1 << 16;

  // Pen: colour 0x00BBGGRR, width in pixels (0 or 1 = one pixel), solid style.
  void SetPenColour(Colour colour);
  Colour PenColour() const { return m_pen_colour; }
  void SetPenWidth(int width);
  int PenWidth() const { return m_pen_width; }
  void SetPenMode(PenMode mode);
  PenMode GetPenMode() const { return m_pen_mode; }

  // Brush. Setting kClear also makes the brush colour white, as the original's
  // canvas did (the 1-bit clipboard copy relies on it).
  void SetBrushColour(Colour colour);
  Colour BrushColour() const { return m_brush_colour; }
  void SetBrushStyle(BrushStyle style);
  BrushStyle GetBrushStyle() const { return m_brush_style; }

  // Background colour used by the 1-bit colour rule (white by default).
  void SetBackgroundColour(Colour colour);

  void MoveTo(int x, int y);
  // Paints from the current position to (x, y), the end pixel excluded for a
  // one-pixel pen; makes (x, y) current.
  void LineTo(int x, int y);
  Point PenPosition() const { return m_position; }
  // Paints exactly what LineTo(x, y), LineTo(back to the start), MoveTo(x, y)
  // paint, i.e. the line with both end pixels (nothing for a one-pixel pen
  // when (x, y) is the current position); in copy mode the return stroke adds
  // only the end pixel, so it is not walked again.
  void LineThereAndBack(int x, int y);

  // Right and bottom edges exclusive; corners in any order.
  void Rectangle(int left, int top, int right, int bottom);
  // Ellipses too large to walk to the visible rows in bounded time are not
  // drawn (see raster::EllipseRows).
  void Ellipse(int left, int top, int right, int bottom);
  void SetPixel(int x, int y, Colour colour);

  // Font state and text.
  void SetFont(const LogFont& font) { m_font = font; }
  const LogFont& Font() const { return m_font; }
  LogFont& Font() { return m_font; }
  void SetFontColour(Colour colour) { m_font_colour = colour; }
  Colour FontColour() const { return m_font_colour; }
  void SetTextRasterizer(TextRasterizer* rasterizer) { m_text = rasterizer; }
  // Draws nothing when no rasterizer is set.
  void TextOut(int x, int y, std::string_view bytes);
  // The pieces of one text in the font colour (TextRasterizer::TextOutPieces);
  // the canvas font is then the last piece's, as after TextOut of each.
  void TextOutPieces(std::span<const TextPiece> pieces);

  // Paints, in `colour` (copy mode), every set bit of a monochrome mask whose
  // top-left pixel lands on (left, top); bit 7 of each byte is the leftmost.
  // Clipped to the bitmap; `pitch` >= (width + 7) / 8 bytes per row, else
  // nothing is drawn. `colour` is matched as a pen's (on 1-bit bitmaps by the
  // background rule). Used by text rasterizers.
  void FillMask(int left, int top, int width, int height, const std::uint8_t* bits, int pitch,
                Colour colour);
  // Paints the spans in `colour` (copy mode, matched as FillMask's), clipped
  // to the bitmap. Used by text rasterizers.
  void FillSpans(std::span<const PixelSpan> spans, Colour colour);

 private:
  Bitmap& m_bitmap;
  int m_first_row = 0;  // image row of the bitmap's row 0
  Colour m_pen_colour = 0;
  int m_pen_width = 1;
  PenMode m_pen_mode = PenMode::kCopy;
  Colour m_brush_colour = 0xFFFFFF;
  BrushStyle m_brush_style = BrushStyle::kSolid;
  Colour m_background = 0xFFFFFF;
  Point m_position;
  LogFont m_font;
  Colour m_font_colour = 0;
  TextRasterizer* m_text = nullptr;

  // An image pixel in the bitmap's own rows.
  raster::LinePoint Local(Point p) const;
  // The brush's hatch rows for this band (filled into `rows`), nullptr for none.
  const std::uint8_t* Hatch(std::uint8_t (&rows)[8]) const;
  // Stored values of the pen and brush colours in the bitmap's format, matched
  // when they are set (and again after the bitmap's colour table changed).
  void MatchColours();
  std::uint32_t MatchForDrawing(Colour colour) const;
  void EnsureMatched() {
    if (m_matched_generation != m_bitmap.TableGeneration()) MatchColours();
  }
  // The one-pixel outline through the corner pixels (l, t) and (r, b).
  void ThinFrame(long long l, long long t, long long r, long long b);
  // Rows of the round tip of the current wide pen (see raster_shapes.h).
  void EnsurePenTip();
  std::uint32_t m_pen_value = 0;
  std::uint32_t m_brush_value = 0;
  std::uint64_t m_matched_generation = ~std::uint64_t{0};
  int m_tip_width = 0;
  std::vector<int> m_tip_left;
  std::vector<int> m_tip_right;
  std::vector<long long> m_scratch;  // outline rows of a wide-pen ellipse
};

// Saturating conversion of a real to a pixel coordinate: NaN gives 0, values
// beyond ±2^30 are held there, so later integer arithmetic cannot overflow.
int SaturateToPixel(long double value);

}  // namespace pelmora
