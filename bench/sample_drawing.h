// A sample drawing of samples/ loaded for a benchmark: its own view states, the
// built-in settings, and the whole sheet as the converter's default region.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "drawing/jwcunit.h"
#include "render/draw_image.h"
#include "render/geometry.h"

namespace pelmora {

struct SampleDrawing {
  // `paper_width_mm`: the sheet's long side (landscape).
  SampleDrawing(const char* name, int paper_width_mm) : paper_mm(paper_width_mm) {
    const std::string path = std::string(PELMORA_SOURCE_DIR) + "/samples/" + name;
    if (reader.JwcLoadFile(path) != 0) throw std::runtime_error(path + ": " + reader.LastError());
    window_width = reader.JwcWindowWidth();
    pixels_per_mm = static_cast<float>(static_cast<long double>(window_width) / paper_mm);
    for (int l = 0; l < 256; ++l) layers[static_cast<std::size_t>(l)] = reader.JwcViewLayer(l) == 1;
    for (int g = 0; g < 16; ++g) groups[static_cast<std::size_t>(g)] = reader.JwcViewGroupe(g) == 1;
  }
  SampleDrawing(const SampleDrawing&) = delete;  // contexts point into it
  SampleDrawing& operator=(const SampleDrawing&) = delete;

  RenderContext Context(RenderDelivery delivery = {}) const {
    RenderContext context;
    context.reader = &reader;
    context.settings = &settings;
    context.LayerVisible = &layers;
    context.GroupVisible = &groups;
    context.PixelsPerMm = pixels_per_mm;
    context.delivery = std::move(delivery);
    return context;
  }

  // The whole sheet at `dpi`; its short side is the long one over sqrt 2.
  OutputGeometry Sheet(int dpi) const {
    const long double width = paper_mm, height = std::nearbyint(paper_mm / std::sqrt(2.0L));
    const SelectionBox box{0, 0, static_cast<int>(std::nearbyint(width * pixels_per_mm)),
                           static_cast<int>(std::nearbyint(height * pixels_per_mm))};
    return ComputeOutputGeometry(box, pixels_per_mm, dpi, window_width);
  }

  Tjwcin reader;
  Settings settings;
  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
  int paper_mm = 0;
  int window_width = 0;
  float pixels_per_mm = 0;
};

// The dense A0 stress drawing: 50 000 lines, 10 000 arcs, 2 000 texts and
// 10 000 dots over the whole sheet.
inline SampleDrawing& DenseA0() {
  static SampleDrawing sample("a0-large.jwc", 1189);
  return sample;
}

}  // namespace pelmora
