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

#include "bench/sample_drawing.h"
#include "output/file_encoder.h"

namespace pelmora {
namespace {

// The whole A0 sheet at 360 dpi, in bands on `threads` threads.
int RenderA0(ImageEncoder& encoder, int threads, std::string* error) {
  SampleDrawing& s = DenseA0();
  s.settings.dpi = 360;
  RenderContext context = s.Context();
  context.error = error;
  BandOptions options;
  options.threads = threads;
  const OutputGeometry g = s.Sheet(360);
  return DrawImageBands(context, g.width, g.height, g.originX, g.originY, g.scale, encoder,
                        options);
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
  SampleDrawing& s = DenseA0();
  s.settings.ColorMode = static_cast<int>(state.range(1));
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("pelmora-bench-pipeline-" + std::to_string(::getpid()) + ".bmp"))
                               .string();
  for (auto _ : state) {
    FileEncoder writer(ImageFormat::kBmp, path, {.replace = true});
    std::string error;
    if (RenderA0(writer, static_cast<int>(state.range(0)), &error) != 1)
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
  SampleDrawing& s = DenseA0();
  s.settings.ColorMode = static_cast<int>(state.range(1));
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    DroppingEncoder encoder;
    std::string error;
    if (RenderA0(encoder, static_cast<int>(state.range(0)), &error) != 1)
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
