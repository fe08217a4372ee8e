#include "render/geometry.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

#include "drawing/jwcunit.h"
#include "platform/raster/image_layout.h"

namespace pelmora {
namespace {

// Millimetres per inch, as an extended-precision constant.
constexpr long double kMmPerInch = 25.4L;

// round() of the geometry: halves to even, nothing when the value is not a
// 32-bit integer (NaN, infinite, out of range).
std::optional<int> RoundToInt(long double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const long double rounded = std::nearbyint(value);
  if (rounded < static_cast<long double>(std::numeric_limits<int>::min()) ||
      rounded > static_cast<long double>(std::numeric_limits<int>::max())) {
    return std::nullopt;
  }
  return static_cast<int>(rounded);
}

// round() of the size labels: halves to even, held within ±2^62 so that the
// estimate's sums stay representable; NaN counts as 0.
std::int64_t RoundSaturated(long double value) {
  constexpr long double kLimit = 4611686018427387904.0L;  // 2^62
  if (std::isnan(value)) return 0;
  const long double rounded = std::nearbyint(std::clamp(value, -kLimit, kLimit));
  return static_cast<std::int64_t>(rounded);
}

std::int64_t SaturatedMul(std::int64_t a, std::int64_t b) {
  std::int64_t result = 0;
  if (__builtin_mul_overflow(a, b, &result)) {
    return (a < 0) != (b < 0) ? std::numeric_limits<std::int64_t>::min()
                              : std::numeric_limits<std::int64_t>::max();
  }
  return result;
}

std::int64_t SaturatedAdd(std::int64_t a, std::int64_t b) {
  std::int64_t result = 0;
  if (__builtin_add_overflow(a, b, &result)) {
    return b < 0 ? std::numeric_limits<std::int64_t>::min()
                 : std::numeric_limits<std::int64_t>::max();
  }
  return result;
}

std::string Format(const char* format, long long a, long long b) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

constexpr PaperPreset kPresets[] = {
    {1, "1189 x 841 (A0横ｻｲｽﾞ)", "A0", 1189, 841}, {2, " 841 x 594 (A1横ｻｲｽﾞ)", "A1", 841, 594},
    {3, " 594 x 420 (A2横ｻｲｽﾞ)", "A2", 594, 420},  {4, " 420 x 297 (A3横ｻｲｽﾞ)", "A3", 420, 297},
    {5, " 297 x 210 (A4横ｻｲｽﾞ)", "A4", 297, 210},  {6, " 594 x 841 (A1縦ｻｲｽﾞ)", "A1P", 594, 841},
    {7, " 420 x 594 (A2縦ｻｲｽﾞ)", "A2P", 420, 594}, {8, " 297 x 420 (A3縦ｻｲｽﾞ)", "A3P", 297, 420},
    {9, " 210 x 297 (A4縦ｻｲｽﾞ)", "A4P", 210, 297}, {kCustomPaperTag, " ｶｽﾀﾑ ...", "", 0, 0},
};

}  // namespace

int PreviewHeight(int window_width) {
  // |W / √2| < |W|, so the result always fits.
  return static_cast<int>(std::nearbyint(static_cast<long double>(window_width) / std::sqrt(2.0L)));
}

OutputGeometry ComputeOutputGeometry(const SelectionBox& box, float pixels_per_mm, int dpi,
                                     int window_width) {
  OutputGeometry g;
  const long double k = pixels_per_mm;
  const long double d = dpi;
  const long double dx = static_cast<long double>(static_cast<std::int64_t>(box.x2) - box.x1);
  const long double dy = static_cast<long double>(static_cast<std::int64_t>(box.y2) - box.y1);
  g.paper_height = PreviewHeight(window_width);

  const auto wmm = RoundToInt(dx / k);
  const auto hmm = RoundToInt(dy / k);
  if (!wmm || !hmm) return g;
  g.Wmm = *wmm;
  g.Hmm = *hmm;
  const auto width = RoundToInt(g.Wmm / kMmPerInch * d);
  const auto height = RoundToInt(g.Hmm / kMmPerInch * d);
  const auto origin_x = RoundToInt(box.x1 / k / kMmPerInch * d);
  const long double above_box =
      static_cast<long double>(static_cast<std::int64_t>(g.paper_height) - box.y2);
  const auto bottom = RoundToInt(above_box / k / kMmPerInch * d);
  if (!width || !height || !origin_x || !bottom) return g;
  g.width = *width;
  g.height = *height;
  g.originX = *origin_x;
  g.bottom = *bottom;
  const std::int64_t origin_y = static_cast<std::int64_t>(g.bottom) + g.height;
  if (origin_y > std::numeric_limits<int>::max() || origin_y < std::numeric_limits<int>::min()) {
    return g;
  }
  g.originY = static_cast<int>(origin_y);
  const long double scale = d / (kMmPerInch * k);
  if (!std::isfinite(scale)) return g;
  g.scale = static_cast<float>(scale);
  g.valid = true;
  return g;
}

SizeEstimate ComputeSizeEstimate(const SelectionBox& box, float pixels_per_mm, int dpi, int bits) {
  SizeEstimate s;
  const long double k = pixels_per_mm;
  const long double dx = static_cast<long double>(static_cast<std::int64_t>(box.x2) - box.x1);
  const long double dy = static_cast<long double>(static_cast<std::int64_t>(box.y2) - box.y1);
  s.Wpx = RoundSaturated(dx / k / kMmPerInch * dpi);
  s.Hpx = RoundSaturated(dy / k / kMmPerInch * dpi);
  s.Wmm = RoundSaturated(dx / k);
  s.Hmm = RoundSaturated(dy / k);

  // Rows padded as if every pixel took a byte: the width raised to a multiple of
  // 4 (the remainder keeps the sign of the width, as the window always did).
  std::int64_t padded = s.Wpx;
  if (const std::int64_t r = s.Wpx % 4; r != 0) padded = s.Wpx + 4 - r;
  const std::int64_t pixels = SaturatedMul(padded, s.Hpx);
  std::int64_t bytes = 0;
  switch (bits) {
    case 1:
      bytes = RoundSaturated(static_cast<long double>(pixels) / 8);
      break;
    case 4:
      bytes = pixels / 2;
      break;
    case 8:
      bytes = pixels;
      break;
    case 16:
      bytes = SaturatedMul(pixels, 2);
      break;
    default:
      bytes = SaturatedMul(pixels, 3);
      break;
  }
  s.bytes = SaturatedAdd(bytes, 50);
  s.KB = RoundSaturated(static_cast<long double>(s.bytes) / 1024);

  s.pixels_label = Format("%5lld x %5lld", s.Wpx, s.Hpx);
  s.mm_label = Format("%4lld x %4lld", s.Wmm, s.Hmm);
  s.size_label = "約" + std::to_string(s.KB) + "KB";
  return s;
}

RenderCost ComputeRenderCost(std::int64_t width, std::int64_t height, int bits) {
  RenderCost cost;
  const auto layout = BmpLayoutFor(width, height, bits);
  if (!layout) return cost;
  cost.valid = true;
  cost.fits_file = layout->fits;
  cost.stride = layout->stride;
  cost.image_bytes = layout->image_size;
  cost.file_bytes = layout->file_size;
  // The file writer gathers rows in a buffer of up to one chunk (at least the
  // headers); a row longer than that gets a buffer of its own.
  std::uint64_t buffer = std::max<std::uint64_t>(
      layout->off_bits, std::min<std::uint64_t>(kBmpWriteChunk, layout->file_size));
  if (layout->stride > buffer) buffer += layout->stride;
  cost.memory_bytes = layout->image_size + buffer;
  return cost;
}

std::span<const PaperPreset> PaperPresets() {
  return kPresets;
}

const PaperPreset* PaperPresetByTag(int tag) {
  for (const auto& preset : kPresets) {
    if (preset.tag == tag) return &preset;
  }
  return nullptr;
}

const PaperPreset* PaperPresetByName(std::string_view name) {
  if (name.empty()) return nullptr;
  for (const auto& preset : kPresets) {
    if (preset.name.size() != name.size()) continue;
    const bool same = std::equal(name.begin(), name.end(), preset.name.begin(), [](char a, char b) {
      return std::toupper(static_cast<unsigned char>(a)) ==
             std::toupper(static_cast<unsigned char>(b));
    });
    if (same) return &preset;
  }
  return nullptr;
}

std::optional<PaperSize> PaperForCode(int code) {
  if (code < 0 || code >= static_cast<int>(kJwcSheets.size())) return std::nullopt;
  const JwcSheet& sheet = kJwcSheets[static_cast<std::size_t>(code)];
  return PaperSize{code, sheet.width_mm, sheet.height_mm};
}

bool PresetFitsPaper(const PaperPreset& preset, const PaperSize& paper) {
  return preset.tag != kCustomPaperTag && preset.width_mm <= paper.width_mm &&
         preset.height_mm <= paper.height_mm;
}

}  // namespace pelmora
