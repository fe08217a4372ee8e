// The random lines that the canvas and line-type benchmarks both draw, so that
// their figures compare: 100 000 lines on an A0 sheet at 360 dpi.
#pragma once

#include <cmath>
#include <random>
#include <vector>

namespace pelmora::bench {

constexpr int kSheetWidth = 16852;  // A0 at 360 dpi, pixels
constexpr int kSheetHeight = 11920;
constexpr int kLineCount = 100000;

struct Line {
  int x1, y1, x2, y2;
};

// The same lines for every run: a random start on the sheet, a random
// direction and a length of 1 to 1 000 pixels (ends may leave the sheet).
inline const std::vector<Line>& RandomLines() {
  static const std::vector<Line> lines = [] {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> x(0, kSheetWidth - 1), y(0, kSheetHeight - 1);
    std::uniform_int_distribution<int> length(1, 1000);
    std::uniform_real_distribution<double> angle(0, 2 * M_PI);
    std::vector<Line> out;
    out.reserve(kLineCount);
    for (int i = 0; i < kLineCount; ++i) {
      const int x1 = x(random), y1 = y(random), l = length(random);
      const double a = angle(random);
      out.push_back({x1, y1, x1 + static_cast<int>(std::lround(l * std::cos(a))),
                     y1 + static_cast<int>(std::lround(l * std::sin(a)))});
    }
    return out;
  }();
  return lines;
}

}  // namespace pelmora::bench
