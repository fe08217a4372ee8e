// Texts through DrawJwcText into a 24-bit bitmap: 10 000 texts of 10
// characters (half ASCII, half Japanese) at 30 pixels, horizontal or at 30
// degrees. Goal: at least 200 000 characters per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "platform/fonts/font_rasterizer.h"
#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"
#include "render/jwtools_text.h"

namespace pelmora {
namespace {

constexpr int kTexts = 10000;
constexpr int kCharsPerText = 10;
constexpr int kWidth = 3000;
constexpr int kHeight = 2000;
constexpr float kSize = 30;  // character height and full-width character width, pixels

const std::string kFace = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック

struct Text {
  std::string bytes;
  float x;
  float y;
};

// Five ASCII and five Japanese characters each, drawn from pools the size of
// a drawing's usual vocabulary (room names, dimensions, notes).
std::vector<Text> MakeTexts() {
  const std::string ascii = "ABCDEFGHJKLMNPRSTUVWXYZ0123456789-.,()";
  const std::vector<std::string> japanese = {
      "\x8B\x8F", "\x8A\xD4", "\x91\xE4", "\x8F\x8A", "\x98\x4C", "\x89\xBA", "\x8E\xBA",
      "\x90\xF4", "\x96\xCA", "\x8F\xE4", "\x95\xC7", "\x93\x56", "\x88\xE4", "\x8C\xCB",
      "\x91\x8B", "\x94\xE0", "\x8A\x4B", "\x92\x69", "\x95\x94", "\x89\xAE", "\x82\xA0",
      "\x82\xA2", "\x82\xA4", "\x83\x41", "\x83\x43", "\x83\x45", "\x83\x4C", "\x83\x62",
      "\x83\x67", "\x81\x40", "\x8F\xB0", "\x93\xFC", "\x8C\xFB", "\x91\xEB", "\x8E\xF7",
      "\x90\x85", "\x93\x64", "\x8B\x43", "\x8A\xB7", "\x8B\x43"};
  std::mt19937 random(20240615);
  std::vector<Text> texts;
  texts.reserve(kTexts);
  for (int i = 0; i < kTexts; ++i) {
    Text t;
    for (int c = 0; c < kCharsPerText; ++c) {
      if (c % 2 == 0) {
        t.bytes += ascii[random() % ascii.size()];
      } else {
        t.bytes += japanese[random() % japanese.size()];
      }
    }
    t.x = static_cast<float>(random() % (kWidth - 300));
    t.y = static_cast<float>(60 + random() % (kHeight - 120));
    texts.push_back(std::move(t));
  }
  return texts;
}

void DrawAll(Canvas& canvas, const std::vector<Text>& texts, float degrees) {
  const float dx = 100 * std::cos(degrees * std::numbers::pi_v<float> / 180);
  const float dy = -100 * std::sin(degrees * std::numbers::pi_v<float> / 180);
  for (const Text& t : texts) {
    DrawJwcText(canvas, t.bytes, t.x, t.y, t.x + dx, t.y + dy, kSize, kSize, 1, 0x000000, 0);
  }
}

void RunTexts(benchmark::State& state, float degrees, bool fresh_caches) {
  const std::vector<Text> texts = MakeTexts();
  auto bitmap = Bitmap::Create(kWidth, kHeight, 24);
  Canvas canvas(*bitmap);
  auto shared = std::make_unique<FontRasterizer>();
  for (auto _ : state) {
    if (fresh_caches) {
      state.PauseTiming();
      shared = std::make_unique<FontRasterizer>();
      state.ResumeTiming();
    }
    canvas.SetTextRasterizer(shared.get());
    canvas.Font().face_name = kFace;
    DrawAll(canvas, texts, degrees);
    benchmark::DoNotOptimize(bitmap->Row(0));
  }
  state.counters["chars/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kTexts * kCharsPerText, benchmark::Counter::kIsRate);
}

// Steady state: the rasterizer of a long session, glyphs already cached.
void BM_TextsHorizontal(benchmark::State& state) { RunTexts(state, 0, false); }
void BM_TextsAt30Degrees(benchmark::State& state) { RunTexts(state, 30, false); }
// A first render: every face opened and every glyph rasterised during the run.
void BM_TextsHorizontalColdCaches(benchmark::State& state) { RunTexts(state, 0, true); }
void BM_TextsAt30DegreesColdCaches(benchmark::State& state) { RunTexts(state, 30, true); }

// The layout alone, without fonts: what DrawJwcText costs on top of the glyphs.
class NullSink final : public JwcTextSink {
 public:
  void Char(std::string_view bytes, const LogFont& font, Point at) override {
    benchmark::DoNotOptimize(bytes.data());
    benchmark::DoNotOptimize(font.height);
    benchmark::DoNotOptimize(at);
  }
};

void BM_LayoutOnly(benchmark::State& state) {
  const std::vector<Text> texts = MakeTexts();
  NullSink sink;
  for (auto _ : state) {
    for (const Text& t : texts) {
      LayoutJwcText(t.bytes, t.x, t.y, t.x + 87, t.y - 50, kSize, kSize, 1, 0, kFace, sink);
    }
  }
  state.counters["chars/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kTexts * kCharsPerText, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_TextsHorizontal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextsAt30Degrees)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextsHorizontalColdCaches)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextsAt30DegreesColdCaches)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutOnly)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
