// Solid lines on the raster canvas beside Qt's raster engine: 100 000 random
// lines of 1 to 1 000 pixels, pen widths 1 and 5, into an A0 sheet at 360 dpi
// (16 852 × 11 920) at 24 and 1 bits per pixel. Qt draws the same lines with
// QPainter on a QImage of the same size and depth, antialiasing off, round
// caps and joins like GDI's wide pens. Arguments: pen width, bits per pixel.
#include <benchmark/benchmark.h>

#include <QColor>
#include <QImage>
#include <QLine>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bench/random_lines.h"
#include "platform/raster/bitmap.h"
#include "platform/raster/canvas.h"

namespace pelmora {
namespace {

using bench::Line;
constexpr int kWidth = bench::kSheetWidth;
constexpr int kHeight = bench::kSheetHeight;

const std::vector<Line>& Lines() {
  return bench::RandomLines();
}

long long PixelsAlongLines() {
  long long n = 0;
  for (const Line& l : Lines()) n += std::max(std::abs(l.x2 - l.x1), std::abs(l.y2 - l.y1));
  return n;
}

void BM_CanvasSolidLines(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int bits = static_cast<int>(state.range(1));
  auto bitmap = Bitmap::Create(kWidth, kHeight, bits);
  if (!bitmap) {
    state.SkipWithError("cannot create the bitmap");
    return;
  }
  // White, like the QImage: every page touched before the clock runs.
  for (int y = 0; y < bitmap->Height(); ++y) std::memset(bitmap->Row(y), 0xFF, bitmap->Stride());
  Canvas canvas(*bitmap);
  canvas.SetPenWidth(width);
  const auto& lines = Lines();
  int colour = 0;
  for (auto _ : state) {
    canvas.SetPenColour(bits == 1 ? 0 : Rgb(colour, 64, 255 - colour));
    colour = (colour + 37) & 0xFF;
    for (const Line& l : lines) {
      canvas.MoveTo(l.x1, l.y1);
      canvas.LineTo(l.x2, l.y2);
    }
    benchmark::DoNotOptimize(bitmap->Row(0));
  }
  state.SetItemsProcessed(state.iterations() * bench::kLineCount);
  state.counters["Mpx/s"] =
      benchmark::Counter(static_cast<double>(PixelsAlongLines()) * state.iterations() / 1e6,
                         benchmark::Counter::kIsRate);
}

void BM_QPainterSolidLines(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int bits = static_cast<int>(state.range(1));
  QImage image(kWidth, kHeight, bits == 1 ? QImage::Format_Mono : QImage::Format_RGB888);
  if (image.isNull()) {
    state.SkipWithError("cannot create the image");
    return;
  }
  image.fill(Qt::white);
  const auto& lines = Lines();
  int colour = 0;
  for (auto _ : state) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(bits == 1 ? QColor(Qt::black) : QColor(colour, 64, 255 - colour));
    colour = (colour + 37) & 0xFF;
    pen.setWidth(width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    for (const Line& l : lines) painter.drawLine(QLine(l.x1, l.y1, l.x2, l.y2));
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.SetItemsProcessed(state.iterations() * bench::kLineCount);
  state.counters["Mpx/s"] =
      benchmark::Counter(static_cast<double>(PixelsAlongLines()) * state.iterations() / 1e6,
                         benchmark::Counter::kIsRate);
}

BENCHMARK(BM_CanvasSolidLines)
    ->ArgNames({"width", "bits"})
    ->Args({1, 24})
    ->Args({5, 24})
    ->Args({1, 1})
    ->Args({5, 1})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QPainterSolidLines)
    ->ArgNames({"width", "bits"})
    ->Args({1, 24})
    ->Args({5, 24})
    ->Args({1, 1})
    ->Args({5, 1})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
