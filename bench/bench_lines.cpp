// Line types and arcs on an A0 sheet at 360 dpi (16 852 × 11 920 pixels):
// 100 000 random lines of 1 to 1 000 pixels per iteration in every line type,
// pen widths 1 and 5, into 24-bit and 1-bit bitmaps; 10 000 circles and arcs;
// and the same solid lines through Qt's raster engine as a reference.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <QPen>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bench/random_lines.h"
#include "platform/raster/canvas.h"
#include "render/jwtools.h"

namespace pelmora {
namespace {

using bench::Line;
using bench::RandomLines;
constexpr int kWidth = bench::kSheetWidth;
constexpr int kHeight = bench::kSheetHeight;
constexpr int kArcs = 10000;

struct Arc {
  int cx, cy;
  float radius, flatness, start, end, tilt;
};

// Half full circles, half arcs and ellipse arcs; radii 1 to 1 000 pixels.
const std::vector<Arc>& RandomArcs() {
  static const std::vector<Arc> arcs = [] {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> x(0, kWidth - 1), y(0, kHeight - 1);
    std::uniform_real_distribution<float> radius(1, 1000), flatness(0.2f, 1), angle(0, 360);
    std::vector<Arc> out;
    out.reserve(kArcs);
    for (int i = 0; i < kArcs; ++i) {
      Arc arc{x(random), y(random), radius(random), 1, 0, 0, 0};
      if (i % 2 == 1) {
        arc.flatness = i % 4 == 1 ? 1 : flatness(random);
        arc.start = angle(random);
        arc.end = angle(random);
        arc.tilt = angle(random);
      }
      out.push_back(arc);
    }
    return out;
  }();
  return arcs;
}

// One sheet per pixel format for the whole run (600 MB at 24 bits).
Bitmap& Sheet(int bits) {
  static std::unique_ptr<Bitmap> sheets[2];
  std::unique_ptr<Bitmap>& sheet = sheets[bits == 1 ? 0 : 1];
  if (!sheet) {
    std::string error;
    sheet = Bitmap::Create(kWidth, kHeight, bits, &error);
    if (!sheet) {
      std::fprintf(stderr, "cannot create the sheet: %s\n", error.c_str());
      std::exit(1);
    }
    // Touch every page now, so that no benchmark pays for first-write faults.
    for (int y = 0; y < kHeight; ++y) std::memset(sheet->Row(y), 0, sheet->Stride());
  }
  return *sheet;
}

// Arguments: line type, pen width, bits per pixel.
void BM_Lines(benchmark::State& state) {
  const auto type = static_cast<std::int32_t>(state.range(0));
  const auto width = static_cast<std::int32_t>(state.range(1));
  const auto bits = static_cast<int>(state.range(2));
  const std::vector<Line>& lines = RandomLines();
  Canvas canvas(Sheet(bits));
  canvas.SetPenColour(Rgb(255, 255, 255));
  for (auto _ : state) {
    SetLineWidth(canvas, width);
    SetLineType(canvas, type);
    for (const Line& line : lines) {
      LineMoveTo(canvas, line.x1, line.y1);
      LineDrawTo(canvas, line.x2, line.y2);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * bench::kLineCount);
}

// Arguments: line type, pen width.
void BM_Arcs(benchmark::State& state) {
  const auto type = static_cast<std::int32_t>(state.range(0));
  const auto width = static_cast<std::int32_t>(state.range(1));
  const std::vector<Arc>& arcs = RandomArcs();
  Canvas canvas(Sheet(24));
  canvas.SetPenColour(Rgb(0, 255, 255));
  for (auto _ : state) {
    SetLineWidth(canvas, width);
    SetLineType(canvas, type);
    for (const Arc& a : arcs) {
      DrawJwcArc(canvas, a.cx, a.cy, a.radius, a.flatness, a.start, a.end, a.tilt);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kArcs);
}

// The reference: the same lines once each through QPainter, aliased, round
// caps and joins, on a QImage of 24 bits (our layout) or 32 bits (Qt's own
// fastest). Arguments: pen width, bits per pixel.
QImage& QtSheet(int bits) {
  static QImage sheets[2];
  QImage& sheet = sheets[bits == 24 ? 0 : 1];
  if (sheet.isNull()) {
    sheet = QImage(kWidth, kHeight, bits == 24 ? QImage::Format_RGB888 : QImage::Format_RGB32);
    sheet.fill(Qt::black);
  }
  return sheet;
}

void BM_QtLines(benchmark::State& state) {
  const std::vector<Line>& lines = RandomLines();
  QPainter painter(&QtSheet(static_cast<int>(state.range(1))));
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(QColor(255, 255, 255), static_cast<qreal>(state.range(0)), Qt::SolidLine,
                      Qt::RoundCap, Qt::RoundJoin));
  for (auto _ : state) {
    for (const Line& line : lines) painter.drawLine(line.x1, line.y1, line.x2, line.y2);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * bench::kLineCount);
}

void LineArguments(benchmark::internal::Benchmark* b) {
  b->ArgNames({"type", "width", "bits"});
  for (int bits : {24, 1}) {
    for (int width : {1, 5}) {
      for (int type = 1; type <= 9; ++type) b->Args({type, width, bits});
    }
  }
}

BENCHMARK(BM_Lines)->Apply(LineArguments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtLines)
    ->ArgNames({"width", "bits"})
    ->Args({1, 24})
    ->Args({5, 24})
    ->Args({1, 32})
    ->Args({5, 32})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Arcs)
    ->ArgNames({"type", "width"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({5, 1})
    ->Args({1, 5})
    ->Args({2, 5})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
