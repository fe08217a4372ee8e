// The render pipeline on the A0 sample (50 000 lines, 10 000 arcs, 2 000 texts,
// 10 000 dots): the preview, the whole sheet at 360 dpi in 24 and 1 bit, and the
// BMP file written from such an image.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench/sample_drawing.h"
#include "output/bmp_writer.h"

namespace pelmora {
namespace {

void BM_RenderPreview(benchmark::State& state) {
  SampleDrawing& s = DenseA0();
  s.settings.ColorMode = 24;
  const int height = PreviewHeight(s.window_width);
  const RenderContext context = s.Context({});
  for (auto _ : state) {
    if (DrawImage(context, s.window_width, height, 0, height, 1.0f, kRenderPreview) != 1) {
      state.SkipWithError("render failed");
    }
  }
  state.counters["pixels"] = static_cast<double>(s.window_width) * height;
}
BENCHMARK(BM_RenderPreview)->Unit(benchmark::kMillisecond);

// The whole A0 sheet at 360 dpi (16 852 × 11 920 pixels), rendered and dropped.
void BM_RenderA0At360Dpi(benchmark::State& state) {
  SampleDrawing& s = DenseA0();
  s.settings.ColorMode = static_cast<int>(state.range(0));
  s.settings.Dot = 6;
  s.settings.WriteDPI = true;
  s.settings.dpi = 360;
  const OutputGeometry g = s.Sheet(360);
  std::size_t image_bytes = 0;
  const RenderContext context = s.Context([&](const Bitmap& image, std::string*) {
    image_bytes = image.SizeBytes();
    return true;
  });
  for (auto _ : state) {
    if (DrawImage(context, g.width, g.height, g.originX, g.originY, g.scale, kRenderFile) != 1) {
      state.SkipWithError("render failed");
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image_bytes));
  state.counters["image_MB"] = static_cast<double>(image_bytes) / 1e6;
}
BENCHMARK(BM_RenderA0At360Dpi)->Arg(24)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// Writing the rendered 360 dpi sheet to a file: bytes per second of the writer
// (temporary file, flush to disk, rename) on this machine's disk.
void BM_WriteA0At360Dpi(benchmark::State& state) {
  SampleDrawing& s = DenseA0();
  s.settings.ColorMode = static_cast<int>(state.range(0));
  s.settings.dpi = 360;
  const OutputGeometry g = s.Sheet(360);
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("pelmora-bench-render-" + std::to_string(::getpid()) + ".bmp"))
                               .string();
  std::uint64_t file_bytes = 0;
  const RenderContext context = s.Context([&](const Bitmap& image, std::string* why) {
    for (auto _ : state) {
      const BmpWriteResult result = WriteBmpFile(image, 360, path);
      if (!result.ok()) {
        *why = result.reason;
        return false;
      }
    }
    file_bytes = std::filesystem::file_size(path);
    return true;
  });
  if (DrawImage(context, g.width, g.height, g.originX, g.originY, g.scale, kRenderFile) != 1) {
    state.SkipWithError("render or write failed");
  }
  std::filesystem::remove(path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file_bytes));
}
BENCHMARK(BM_WriteA0At360Dpi)->Arg(24)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
