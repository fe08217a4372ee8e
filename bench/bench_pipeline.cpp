// The whole output pipeline on the dense A0 sample (50 000 lines, 10 000 arcs,
// 2 000 texts, 10 000 dots) at 360 dpi: banded render on 1 and 2 threads,
// into a BMP file flushed to disk, and into an encoder that drops the rows
// (the render alone).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "drawing/jwcunit.h"
#include "output/file_encoder.h"
#include "render/draw_image.h"
#include "render/geometry.h"

namespace pelmora {
namespace {

struct A0Sample {
  Tjwcin reader;
  Settings settings;
  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
  float pixels_per_mm = 0;
  OutputGeometry sheet;

  A0Sample() {
    const std::string path = std::string(PELMORA_SOURCE_DIR) + "/samples/a0-large.jwc";
    if (reader.JwcLoadFile(path) != 0) throw std::runtime_error(path + ": " + reader.LastError());
    const int window_width = reader.JwcWindowWidth();
    pixels_per_mm = static_cast<float>(static_cast<long double>(window_width) / 1189);
    for (int l = 0; l < 256; ++l) layers[static_cast<std::size_t>(l)] = reader.JwcViewLayer(l) == 1;
    for (int g = 0; g < 16; ++g) groups[static_cast<std::size_t>(g)] = reader.JwcViewGroupe(g) == 1;
    settings.dpi = 360;
    const SelectionBox box{0, 0, static_cast<int>(std::nearbyint(1189.0L * pixels_per_mm)),
                           static_cast<int>(std::nearbyint(841.0L * pixels_per_mm))};
    sheet = ComputeOutputGeometry(box, pixels_per_mm, 360, window_width);
  }

  int Render(ImageEncoder& encoder, int threads, std::string* error) {
    RenderContext context;
    context.reader = &reader;
    context.settings = &settings;
    context.LayerVisible = &layers;
    context.GroupVisible = &groups;
    context.PixelsPerMm = pixels_per_mm;
    context.error = error;
    BandOptions options;
    options.threads = threads;
    const OutputGeometry& g = sheet;
    return DrawImageBands(context, g.width, g.height, g.originX, g.originY, g.scale, encoder,
                          options);
  }
};

A0Sample& Sample() {
  static A0Sample sample;
  return sample;
}

class DroppingEncoder final : public ImageEncoder {
 public:
  bool Begin(const ImageShape&, std::string*) override { return true; }
  bool WriteRows(int, const Bitmap& rows, std::string*) override {
    bytes += rows.SizeBytes();
    return true;
  }
  bool Finish(std::string*) override { return true; }
  std::uint64_t bytes = 0;
};

// Arguments: threads, colour depth.
void BM_A0BandsToFile(benchmark::State& state) {
  A0Sample& s = Sample();
  s.settings.ColorMode = static_cast<int>(state.range(1));
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("pelmora-bench-pipeline-" + std::to_string(::getpid()) + ".bmp"))
                               .string();
  for (auto _ : state) {
    FileEncoder writer(ImageFormat::kBmp, path, {.replace = true});
    std::string error;
    if (s.Render(writer, static_cast<int>(state.range(0)), &error) != 1)
      state.SkipWithError(error.c_str());
  }
  const auto size = std::filesystem::file_size(path);
  std::filesystem::remove(path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_A0BandsToFile)
    ->Args({1, 24})
    ->Args({2, 24})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

void BM_A0BandsRenderOnly(benchmark::State& state) {
  A0Sample& s = Sample();
  s.settings.ColorMode = static_cast<int>(state.range(1));
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    DroppingEncoder encoder;
    std::string error;
    if (s.Render(encoder, static_cast<int>(state.range(0)), &error) != 1)
      state.SkipWithError(error.c_str());
    bytes = encoder.bytes;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_A0BandsRenderOnly)
    ->Args({1, 24})
    ->Args({2, 24})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
