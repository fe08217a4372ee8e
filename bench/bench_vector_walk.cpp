// The vector walk of the A0 sample (50 000 lines, 10 000 arcs, 2 000 texts,
// 10 000 dots) at 360 dpi into a target that only counts: what the walk itself
// costs a vector document, writers aside.
#include <benchmark/benchmark.h>

#include "bench/sample_drawing.h"
#include "render/vector_walk.h"

namespace pelmora {
namespace {

class Counter final : public VectorTarget {
 public:
  void Begin(const VectorPage& page) override { layers = page.layers.size(); }
  void Line(std::uint8_t, const VectorPen&, VectorPoint, VectorPoint, const TJwcLine&) override {
    ++entities;
  }
  void Arc(std::uint8_t, const VectorPen&, const VectorArc&, const TJwcArc&) override {
    ++entities;
  }
  void Text(std::uint8_t, const VectorText& text, const TJwcText&,
            const TJwcTextStyle&) override {
    entities += 1;
    chars += text.chars.size();
  }
  void Dot(std::uint8_t, Colour, VectorPoint, int, const TJwcDot&) override { ++entities; }
  void Stamp(const VectorText&) override {}
  bool Finish(std::string*) override { return true; }

  std::size_t layers = 0;
  std::size_t entities = 0;
  std::size_t chars = 0;
};

void BM_VectorWalkA0At360Dpi(benchmark::State& state) {
  SampleDrawing& s = DenseA0();
  s.settings.ColorMode = 24;
  s.settings.dpi = 360;
  const OutputGeometry g = s.Sheet(360);
  const RenderContext context = s.Context();
  Counter counter;
  for (auto _ : state) {
    counter = Counter();
    if (DrawVector(context, g.width, g.height, g.originX, g.originY, g.scale, counter) != 1) {
      state.SkipWithError("walk failed");
    }
  }
  state.counters["entities"] = static_cast<double>(counter.entities);
  state.counters["chars"] = static_cast<double>(counter.chars);
  state.counters["layers"] = static_cast<double>(counter.layers);
}
BENCHMARK(BM_VectorWalkA0At360Dpi)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
