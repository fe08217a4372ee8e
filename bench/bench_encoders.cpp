// Each output format on the A0 sample at 360 dpi (16 852 × 11 920 pixels) and on
// the A3 floor plan, 1 and 24 bits: the time to encode and deliver the rendered sheet (temporary
// file, flush, rename) and the file's size against the BMP's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "drawing/jwcunit.h"
#include "output/bmp_writer.h"
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
  int window_width = 0;

  int paper_mm = 0;

  A0Sample(const char* name, int paper_width_mm) : paper_mm(paper_width_mm) {
    const std::string path = std::string(PELMORA_SOURCE_DIR) + "/samples/" + name;
    if (reader.JwcLoadFile(path) != 0) throw std::runtime_error(path + ": " + reader.LastError());
    window_width = reader.JwcWindowWidth();
    pixels_per_mm = static_cast<float>(static_cast<long double>(window_width) / paper_mm);
    for (int l = 0; l < 256; ++l) layers[static_cast<std::size_t>(l)] = reader.JwcViewLayer(l) == 1;
    for (int g = 0; g < 16; ++g) groups[static_cast<std::size_t>(g)] = reader.JwcViewGroupe(g) == 1;
  }

  // Renders the whole sheet at 360 dpi and hands the image to `use`.
  bool Render(int bits, const RenderDelivery& use) {
    settings.ColorMode = bits;
    settings.dpi = 360;
    const long double width = paper_mm, height = std::nearbyint(paper_mm / std::sqrt(2.0L));
    const SelectionBox box{0, 0, static_cast<int>(std::nearbyint(width * pixels_per_mm)),
                           static_cast<int>(std::nearbyint(height * pixels_per_mm))};
    const OutputGeometry g = ComputeOutputGeometry(box, pixels_per_mm, 360, window_width);
    RenderContext context;
    context.reader = &reader;
    context.settings = &settings;
    context.LayerVisible = &layers;
    context.GroupVisible = &groups;
    context.PixelsPerMm = pixels_per_mm;
    context.delivery = use;
    return DrawImage(context, g.width, g.height, g.originX, g.originY, g.scale, kRenderFile) == 1;
  }
};

// The dense A0 stress drawing: random lines over the whole sheet, a fifth of its
// pixels black at 1 bit.
A0Sample& Dense() {
  static A0Sample sample("a0-large.jwc", 1189);
  return sample;
}

// A drawing as drawings are: a floor plan on A3, mostly white paper.
A0Sample& Plan() {
  static A0Sample sample("floorplan.jwc", 420);
  return sample;
}

// Arguments: format, bits.
void Encode(benchmark::State& state, A0Sample& sample) {
  const auto format = static_cast<ImageFormat>(state.range(0));
  const int bits = static_cast<int>(state.range(1));
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("pelmora-bench-encode-" + std::to_string(::getpid()) +
                             std::string(FormatExtension(format))))
                               .string();
  std::uint64_t file_bytes = 0, bmp_bytes = 0;
  const bool ok = sample.Render(bits, [&](const Bitmap& image, std::string* why) {
    bmp_bytes = BmpLayoutFor(image.Width(), image.Height(), bits)->file_size;
    const ImageShape shape{image.Width(), image.Height(), bits, image.ColourTable(), 360};
    for (auto _ : state) {
      FileEncoder encoder(format, path, {.replace = true});
      if (!encoder.Begin(shape, why) || !encoder.WriteRows(0, image, why) || !encoder.Finish(why)) {
        return false;
      }
    }
    file_bytes = std::filesystem::file_size(path);
    return true;
  });
  std::filesystem::remove(path);
  if (!ok) state.SkipWithError("render or encode failed");
  state.SetLabel(std::string(FormatName(format)) + " " + std::to_string(bits) + " bit");
  state.counters["file_MB"] = static_cast<double>(file_bytes) / 1e6;
  state.counters["bmp_MB"] = static_cast<double>(bmp_bytes) / 1e6;
  state.counters["bmp_over_file"] = file_bytes ? static_cast<double>(bmp_bytes) / file_bytes : 0;
}

void BM_EncodeA0At360Dpi(benchmark::State& state) {
  Encode(state, Dense());
}
void BM_EncodeFloorPlanA3At360Dpi(benchmark::State& state) {
  Encode(state, Plan());
}

BENCHMARK(BM_EncodeFloorPlanA3At360Dpi)
    ->ArgsProduct({{static_cast<int>(ImageFormat::kBmp), static_cast<int>(ImageFormat::kPng),
                    static_cast<int>(ImageFormat::kTiff), static_cast<int>(ImageFormat::kPdf)},
                   {1, 24}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();
BENCHMARK(BM_EncodeA0At360Dpi)
    ->ArgsProduct({{static_cast<int>(ImageFormat::kBmp), static_cast<int>(ImageFormat::kPng),
                    static_cast<int>(ImageFormat::kTiff), static_cast<int>(ImageFormat::kPdf)},
                   {1, 24}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
