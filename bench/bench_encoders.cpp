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

#include "bench/sample_drawing.h"
#include "output/bmp_writer.h"
#include "output/file_encoder.h"

namespace pelmora {
namespace {

// Renders the whole sheet at 360 dpi and hands the image to `use`.
bool Render(SampleDrawing& sample, int bits, const RenderDelivery& use) {
  sample.settings.ColorMode = bits;
  sample.settings.dpi = 360;
  const OutputGeometry g = sample.Sheet(360);
  return DrawImage(sample.Context(use), g.width, g.height, g.originX, g.originY, g.scale,
                   kRenderFile) == 1;
}

// A drawing as drawings are: a floor plan on A3, mostly white paper.
SampleDrawing& Plan() {
  static SampleDrawing sample("floorplan.jwc", 420);
  return sample;
}

// Arguments: format, bits.
void Encode(benchmark::State& state, SampleDrawing& sample) {
  const auto format = static_cast<ImageFormat>(state.range(0));
  const int bits = static_cast<int>(state.range(1));
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("pelmora-bench-encode-" + std::to_string(::getpid()) +
                             std::string(FormatExtension(format))))
                               .string();
  std::uint64_t file_bytes = 0, bmp_bytes = 0;
  const bool ok = Render(sample, bits, [&](const Bitmap& image, std::string* why) {
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
  Encode(state, DenseA0());
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
