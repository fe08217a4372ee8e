// Output geometry shared by the window and the converter: the preview height,
// the arguments of a file or clipboard render from the selection box, the size
// labels of the information panel, the cost of a render, and the paper tables.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelmora {

// The paper's height in preview pixels, P = round(W / √2), √2 in extended
// precision; W is the drawing's window width (preview pixels).
int PreviewHeight(int window_width);

// The selection box in preview pixels, y down; x1 ≤ x2, y1 ≤ y2 outside a drag.
struct SelectionBox {
  int x1 = 0;
  int y1 = 0;
  int x2 = 0;
  int y2 = 0;
};

// The arguments of a render of the selection box at `dpi`. Every step is done
// left to right in long double and rounded once, halves to even.
struct OutputGeometry {
  int Wmm = 0, Hmm = 0;  // whole millimetres of paper covered
  int width = 0;         // image pixels
  int height = 0;
  int originX = 0;       // image pixels from the paper's left edge to the image's left edge
  int originY = 0;       // image pixels from the paper's lower edge up to the image's top edge
  int paper_height = 0;  // P, preview pixels
  int bottom = 0;        // B, image pixels from the paper's lower edge to the box's lower edge
  float scale = 0;       // image pixels per drawing unit
  // False when a step does not fit a 32-bit integer (PixelsPerMm 0, absurd dpi).
  bool valid = false;
  // An image with pixels in it: valid and both sizes at least 1. A box under half
  // a millimetre gives 0 and must be refused before any file is touched.
  bool Renderable() const { return valid && width > 0 && height > 0; }
};

OutputGeometry ComputeOutputGeometry(const SelectionBox& box, float pixels_per_mm, int dpi,
                                     int window_width);

// The three size labels of the information panel (the window's SizeSet). The
// numbers are 64-bit: a large box at a high resolution overflows 32 bits.
struct SizeEstimate {
  std::int64_t Wpx = 0, Hpx = 0;  // round(Δ / PixelsPerMm / 25.4 × dpi)
  std::int64_t Wmm = 0, Hmm = 0;  // round(Δ / PixelsPerMm)
  std::int64_t bytes = 0;         // estimated file size
  std::int64_t KB = 0;            // round(bytes / 1024)
  std::string pixels_label;       // "%5d x %5d"
  std::string mm_label;           // "%4d x %4d"
  std::string size_label;         // "約" KB "KB"
};

// `bits` is the colour depth 1, 4, 8, 16 or 24 (anything else counts as 24).
SizeEstimate ComputeSizeEstimate(const SelectionBox& box, float pixels_per_mm, int dpi, int bits);

// What a render of width × height pixels at `bits` costs: the exact size of the
// bitmap file and the memory it needs (the image in its final format, rows
// padded to 4 bytes, plus the file writer's buffer). valid is false for an
// unknown depth or a negative size; fits_file is false when the file would be
// too large for the format's 32-bit fields.
struct RenderCost {
  std::uint64_t stride = 0;
  std::uint64_t image_bytes = 0;
  std::uint64_t file_bytes = 0;
  std::uint64_t memory_bytes = 0;
  bool valid = false;
  bool fits_file = false;
};
RenderCost ComputeRenderCost(std::int64_t width, std::int64_t height, int bits);

// ---- Paper tables.
// The paper-size presets of the Edit menu and the toolbar, tags 1..10; tag 10 is
// the custom size, with no size of its own (0 × 0).
struct PaperPreset {
  int tag;
  std::string_view caption;  // menu text, e.g. " 297 x 210 (A4横ｻｲｽﾞ)"
  std::string_view name;     // the converter's --paper name: A0..A4, A1P..A4P, "" for custom
  int width_mm;
  int height_mm;
};
inline constexpr int kCustomPaperTag = 10;
std::span<const PaperPreset> PaperPresets();
// The preset of a tag 1..10, or nullptr.
const PaperPreset* PaperPresetByTag(int tag);
// The preset of a --paper name (A0, A1P, …; case-insensitive), or nullptr.
const PaperPreset* PaperPresetByName(std::string_view name);

// The drawing's paper, by the paper code of its header: 0 = A0 … 4 = A4, landscape.
struct PaperSize {
  int code;
  int width_mm;
  int height_mm;
};
std::optional<PaperSize> PaperForCode(int code);
// A preset is offered when it fits on the paper: both sides no larger.
bool PresetFitsPaper(const PaperPreset& preset, const PaperSize& paper);

}  // namespace pelmora
