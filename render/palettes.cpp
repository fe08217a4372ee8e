#include "render/palettes.h"

#include <cmath>

#include "settings/settings_fields.h"

namespace pelmora {

const std::array<Colour, 16> kDefault16Colours = {
    Rgb(0, 0, 0),       Rgb(128, 0, 0),   Rgb(0, 128, 0),   Rgb(128, 128, 0),
    Rgb(0, 0, 128),     Rgb(128, 0, 128), Rgb(0, 128, 128), Rgb(128, 128, 128),
    Rgb(192, 192, 192), Rgb(255, 0, 0),   Rgb(0, 255, 0),   Rgb(255, 255, 0),
    Rgb(0, 0, 255),     Rgb(255, 0, 255), Rgb(0, 255, 255), Rgb(255, 255, 255),
};

namespace {

std::array<Colour, 256> BuildHalftone() {
  std::array<Colour, 256> table{};
  std::size_t next = 0;
  for (const Colour c : kDefault16Colours) table[next++] = c;
  constexpr int kLevels = 6;  // 0, 51, ..., 255
  auto is_edge = [](int level) { return level == 0 || level == kLevels - 1; };
  for (int r = 0; r < kLevels; ++r) {
    for (int g = 0; g < kLevels; ++g) {
      for (int b = 0; b < kLevels; ++b) {
        if (is_edge(r) && is_edge(g) && is_edge(b)) continue;  // a corner: among the 16
        table[next++] = Rgb(r * 51, g * 51, b * 51);
      }
    }
  }
  for (int k = 1; k <= 32; ++k) {
    const auto grey = static_cast<int>(std::nearbyint(255.0L * k / 33.0L));
    table[next++] = Rgb(grey, grey, grey);
  }
  return table;
}

}  // namespace

const std::array<Colour, 256>& HalftonePalette256() {
  static const std::array<Colour, 256> table = BuildHalftone();
  return table;
}

Colour PenColourOf(const Settings& s, int pen) {
  return ColourEntry(s, pen >= 0 && pen < kColourTableSize ? pen : 1);
}

int PenWidthOf(const Settings& s, int pen) {
  return PenWidthEntry(s, pen >= kFirstPenWidth && pen <= kLastPenWidth ? pen : 1);
}

std::vector<Colour> RenderPalette(const Settings& s, int entries) {
  std::vector<Colour> table(static_cast<std::size_t>(entries < 11 ? 11 : entries), Rgb(0, 0, 0));
  table[0] = Rgb(0, 0, 0);
  table[1] = Rgb(255, 255, 255);
  for (int i = 0; i <= 7; ++i) table[static_cast<std::size_t>(2 + i)] = ColourEntry(s, i);
  table[10] = Rgb(255, 0, 0);
  table.resize(static_cast<std::size_t>(entries < 0 ? 0 : entries));
  return table;
}

std::vector<Colour> OutputColourTable(const Settings& s, int bits) {
  switch (bits) {
    case 1:
      return {Rgb(0, 0, 0), Rgb(255, 255, 255)};
    case 4:
      if (s.usePalette) return RenderPalette(s, 16);
      return {kDefault16Colours.begin(), kDefault16Colours.end()};
    case 8: {
      if (s.usePalette) return RenderPalette(s, 256);
      const auto& halftone = HalftonePalette256();
      return {halftone.begin(), halftone.end()};
    }
    default:
      return {};
  }
}

}  // namespace pelmora
