// Loads arbitrary bytes as a drawing and, when they load, renders a small
// region of it in the preview or an output mode. The last bytes of the input
// (also part of the drawing: bytes after the names are ignored by the reader)
// choose the mode, depth, region, scale and settings, so that mutations of a
// drawing also walk through the ways of rendering it.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "drawing/jwcunit.h"
#include "render/draw_image.h"
#include "settings/settings.h"

namespace {

// Parameters from the input's last bytes (zeros when it is shorter).
class Knobs {
 public:
  Knobs(const std::uint8_t* data, std::size_t size) {
    const std::size_t n = size < m_bytes.size() ? size : m_bytes.size();
    for (std::size_t i = 0; i < n; ++i) m_bytes[i] = data[size - 1 - i];
  }
  std::uint8_t Byte(std::size_t i) const { return m_bytes[i]; }
  bool Bit(std::size_t i, int bit) const { return ((m_bytes[i] >> bit) & 1) != 0; }

 private:
  std::array<std::uint8_t, 12> m_bytes{};
};

constexpr int kDepths[] = {1, 4, 8, 16, 24};
constexpr int kModes[] = {pelmora::kRenderPreview, pelmora::kRenderFile, pelmora::kRenderClipboard};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pelmora::Tjwcin reader;
  const std::span<const std::byte> image(reinterpret_cast<const std::byte*>(data), size);
  if (reader.JwcLoadBytes(image) != 0) return 0;

  const Knobs knobs(data, size);
  pelmora::Settings settings;
  settings.ColorMode = kDepths[knobs.Byte(0) % 5];
  settings.usePalette = knobs.Bit(1, 0);
  settings.No9 = knobs.Bit(1, 1);
  settings.TextMode = !knobs.Bit(1, 2);
  settings.WriteDPI = knobs.Bit(1, 3);
  settings.dpi = 1 + knobs.Byte(2) % 72;
  for (int pen = 1; pen <= 6; ++pen) {
    const int width = 1 + (knobs.Byte(3) >> (pen - 1)) % 12;
    switch (pen) {
      case 1:
        settings.PenWidth1 = width;
        break;
      case 2:
        settings.PenWidth2 = width;
        break;
      case 3:
        settings.PenWidth3 = width;
        break;
      case 4:
        settings.PenWidth4 = width;
        break;
      case 5:
        settings.PenWidth5 = width;
        break;
      default:
        settings.PenWidth6 = width;
        break;
    }
  }
  settings.Dot = 1 + knobs.Byte(4) % 100;

  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
  layers.fill(1);
  groups.fill(1);
  if (knobs.Bit(1, 4)) {
    for (int l = 0; l < 256; ++l) layers[static_cast<std::size_t>(l)] = reader.JwcViewLayer(l) == 1;
    for (int g = 0; g < 16; ++g) groups[static_cast<std::size_t>(g)] = reader.JwcViewGroupe(g) == 1;
  }

  // Up to 160 x 120 pixels, somewhere on or near the sheet, at a scale from
  // 1/64 to 16 image pixels per drawing unit.
  const int width = 1 + knobs.Byte(5) % 160;
  const int height = 1 + knobs.Byte(6) % 120;
  const float scale = std::ldexp(1.0f + static_cast<float>(knobs.Byte(7) & 15) / 16.0f,
                                 static_cast<int>(knobs.Byte(7) >> 4) - 6);
  const int origin_x =
      (static_cast<std::int8_t>(knobs.Byte(8)) * 64) + static_cast<std::int8_t>(knobs.Byte(9));
  const int origin_y = height + static_cast<std::int8_t>(knobs.Byte(10)) * 64;
  const int mode = kModes[knobs.Byte(11) % 3];

  pelmora::RenderContext context;
  context.reader = &reader;
  context.settings = &settings;
  context.LayerVisible = &layers;
  context.GroupVisible = &groups;
  context.PixelsPerMm = static_cast<float>(reader.JwcWindowWidth()) / 420.0f;
  if (!std::isfinite(context.PixelsPerMm) || context.PixelsPerMm <= 0) context.PixelsPerMm = 1;
  if (pelmora::DrawImage(context, width, height, origin_x, origin_y, scale, mode) != 1) {
    __builtin_trap();  // a small region always renders
  }
  return 0;
}
