// Texts far larger than a band: 0 (the empty sheet), 1, 10 and 100 texts of
// 700 mm characters on the whole A0 sheet at 300 dpi (14043 x 9933 pixels),
// 24 bit, in bands on all cores, the bands dropped rather than written.
// Goal: 100 texts within 10x the empty sheet. `bench_huge_text
// --write-drawings=DIR` writes the drawings as .jwc files instead, to time the
// converter on them or compare its outputs between builds.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drawing/jwcunit.h"
#include "platform/raster/image_encoder.h"
#include "render/draw_image.h"
#include "render/geometry.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

constexpr float kSheetWidth = 1189;  // A0, millimetres
constexpr float kSheetHeight = 841;  //
constexpr float kUnitsPerMm = 4;
constexpr int kDpi = 300;
constexpr std::array kCounts = {0, 1, 10, 100};

enum class Layout {
  // Ten full-width characters each, 700 mm wide: a row of them across the sheet.
  kSpread,
  // 120 characters each, style width and spacing 0, so that they all land on
  // one spot (six kinds by turns of 20): a few glyphs painted many times.
  kStacked,
};

// `count` texts of 700 mm characters, their start points spread over the
// sheet; every fifth runs at 30 degrees, every seventh upward, so that glyphs
// are met at several angles and places.
std::vector<std::byte> HugeTexts(int count, Layout layout) {
  JwcWriter writer;
  writer.Paper(0).WindowWidth(static_cast<std::int32_t>(kSheetWidth * kUnitsPerMm));
  const bool stacked = layout == Layout::kStacked;
  writer.TextStyle(1, 1, stacked ? 0 : 7000, 7000, 0);
  static const char kCharacters[] = "\x88\xa4\x8a\xd4\x8e\xba\x90\x85\x8f\xb0\x93\xfc\x8c\xfb";
  constexpr int kKinds = 7;
  for (int i = 0; i < count; ++i) {
    std::string text;
    for (int c = 0; c < (stacked ? 120 : 10); ++c) {
      const int k = stacked ? (i + c / 20) % 6 : (i + c) % kKinds;
      text += kCharacters[2 * k];
      text += kCharacters[2 * k + 1];
    }
    const float x = kSheetWidth * kUnitsPerMm * static_cast<float>((i * 37) % 100) / 100 - 1000;
    const float y = kSheetHeight * kUnitsPerMm * static_cast<float>((i * 61) % 100) / 100;
    float dx = 100, dy = 0;
    if (i % 5 == 4) {
      dx = 87, dy = 50;
    } else if (i % 7 == 6) {
      dx = 0, dy = 100;
    }
    writer.AddText({.X1 = x, .Y1 = y, .X2 = x + dx, .Y2 = y + dy, .Text = text, .Style = 1});
  }
  return writer.Bytes();
}

class DroppingEncoder final : public ImageEncoder {
 public:
  bool Begin(const ImageShape&, std::string*) override { return true; }
  bool WriteRows(int, const Bitmap&, std::string*) override { return true; }
  bool Finish(std::string*) override { return true; }
};

void RenderSheet(benchmark::State& state, const std::vector<std::byte>& bytes) {
  Tjwcin reader;
  if (reader.JwcLoadBytes(bytes) != 0) {
    state.SkipWithError(("does not load: " + reader.LastError()).c_str());
    return;
  }
  Settings settings;
  settings.ColorMode = 24;
  settings.dpi = kDpi;
  std::array<std::uint8_t, 256> layers{};
  std::array<std::uint8_t, 16> groups{};
  layers.fill(1);
  groups.fill(1);
  const int window_width = reader.JwcWindowWidth();
  const auto pixels_per_mm =
      static_cast<float>(static_cast<long double>(window_width) / kSheetWidth);
  const SelectionBox box{0, 0, static_cast<int>(std::nearbyint(kSheetWidth * pixels_per_mm)),
                         static_cast<int>(std::nearbyint(kSheetHeight * pixels_per_mm))};
  const OutputGeometry g = ComputeOutputGeometry(box, pixels_per_mm, kDpi, window_width);
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
}

constexpr std::array kLayouts = {std::pair{Layout::kSpread, "spread"},
                                 std::pair{Layout::kStacked, "stacked"}};

void RegisterAll() {
  for (const auto& [layout, layout_name] : kLayouts) {
    for (const int count : kCounts) {
      if (count == 0 && layout != Layout::kSpread) continue;
      const std::string name =
          count == 0 ? "BM_HugeTexts/empty"
                     : "BM_HugeTexts/" + std::string(layout_name) + "/" + std::to_string(count);
      benchmark::RegisterBenchmark(name.c_str(),
                                   [bytes = HugeTexts(count, layout)](benchmark::State& state) {
                                     RenderSheet(state, bytes);
                                   })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MeasureProcessCPUTime()
          ->Iterations(count >= 10 ? 1 : 3);
    }
  }
}

int WriteDrawings(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  for (const auto& [layout, layout_name] : kLayouts) {
    for (const int count : kCounts) {
      const std::vector<std::byte> bytes = HugeTexts(count, layout);
      const std::filesystem::path path = folder / ("huge-texts-" + std::string(layout_name) + "-" +
                                                   std::to_string(count) + ".jwc");
      std::ofstream out(path, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
      if (!out.flush()) {
        std::fprintf(stderr, "%s: cannot write\n", path.c_str());
        return 1;
      }
      std::printf("%s %zu bytes\n", path.c_str(), bytes.size());
    }
  }
  return 0;
}

}  // namespace
}  // namespace pelmora

int main(int argc, char** argv) {
  constexpr std::string_view kWrite = "--write-drawings=";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with(kWrite))
      return pelmora::WriteDrawings(std::string(arg.substr(kWrite.size())));
  }
  benchmark::Initialize(&argc, argv);
  pelmora::RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
