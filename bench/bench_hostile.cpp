// The hostile fixtures (tests/support/hostile_drawings.h), each rendered as the
// converter renders it by default: the whole A3 sheet in 24 bit, at 36 and
// 300 dpi, in bands on all cores (wall-clock time), the bands dropped rather
// than written. `bench_hostile --write-fixtures=DIR` writes them as .jwc files
// instead (the fuzz seeds are made so).
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "drawing/jwcunit.h"
#include "platform/raster/image_encoder.h"
#include "render/draw_image.h"
#include "render/geometry.h"
#include "tests/support/hostile_drawings.h"

namespace pelmora {
namespace {

constexpr double kSheetWidth = 420;   // A3, millimetres
constexpr double kSheetHeight = 297;  //

class DroppingEncoder final : public ImageEncoder {
 public:
  bool Begin(const ImageShape&, std::string*) override { return true; }
  bool WriteRows(int, const Bitmap&, std::string*) override { return true; }
  bool Finish(std::string*) override { return true; }
};

void RenderSheet(benchmark::State& state, const HostileDrawing& drawing, int dpi) {
  Tjwcin reader;
  if (reader.JwcLoadBytes(drawing.bytes) != 0) {
    state.SkipWithError(("does not load: " + reader.LastError()).c_str());
    return;
  }
  Settings settings;
  settings.ColorMode = 24;
  settings.dpi = dpi;
  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
  layers.fill(1);
  groups.fill(1);
  const int window_width = reader.JwcWindowWidth();
  const auto pixels_per_mm =
      static_cast<float>(static_cast<long double>(window_width) / kSheetWidth);
  const SelectionBox box{0, 0, static_cast<int>(std::nearbyint(kSheetWidth * pixels_per_mm)),
                         static_cast<int>(std::nearbyint(kSheetHeight * pixels_per_mm))};
  const OutputGeometry g = ComputeOutputGeometry(box, pixels_per_mm, dpi, window_width);
  RenderContext context;
  context.reader = &reader;
  context.settings = &settings;
  context.LayerVisible = &layers;
  context.GroupVisible = &groups;
  context.PixelsPerMm = pixels_per_mm;
  for (auto _ : state) {
    DroppingEncoder encoder;
    if (DrawImageBands(context, g.width, g.height, g.originX, g.originY, g.scale, encoder) != 1) {
      state.SkipWithError("render failed");
    }
  }
  state.counters["width"] = g.width;
  state.counters["height"] = g.height;
  state.counters["KiB"] = static_cast<double>(drawing.bytes.size()) / 1024;
}

void RegisterAll() {
  for (const HostileDrawing& drawing : HostileDrawings()) {
    for (const int dpi : {36, 300}) {
      benchmark::RegisterBenchmark(
          ("BM_Hostile/" + drawing.name + "/" + std::to_string(dpi) + "dpi").c_str(),
          [drawing, dpi](benchmark::State& state) { RenderSheet(state, drawing, dpi); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Iterations(1);
    }
  }
}

int WriteFixtures(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  for (const HostileDrawing& drawing : HostileDrawings()) {
    const std::filesystem::path path = folder / (drawing.name + ".jwc");
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(drawing.bytes.data()),
              static_cast<std::streamsize>(drawing.bytes.size()));
    if (!out.flush()) {
      std::fprintf(stderr, "%s: cannot write\n", path.c_str());
      return 1;
    }
    std::printf("%s %zu bytes\n", path.c_str(), drawing.bytes.size());
  }
  return 0;
}

}  // namespace
}  // namespace pelmora

int main(int argc, char** argv) {
  constexpr std::string_view kWrite = "--write-fixtures=";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(kWrite))
      return pelmora::WriteFixtures(std::string(arg.substr(kWrite.size())));
  }
  benchmark::Initialize(&argc, argv);
  pelmora::RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
