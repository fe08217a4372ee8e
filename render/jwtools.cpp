// JW_CAD line types and arcs. Dashes are never left to the canvas: every line is
// drawn with a solid pen and cut here into drawn and skipped pieces, and curves
// are chains of chords through the same cutting, so that a pattern runs on
// without a break around a curve and restarts only at the next LineMoveTo.
#include "render/jwtools.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/jwtools_lines_testing.h"

namespace pelmora {
namespace {

constexpr int kMaxElements = 100;

// The one pen and dash state of the module, shared by every canvas a thread
// draws on (one at a time); each thread has its own, so that render threads
// never share it. At program start every field is 0: no pattern.
struct LinePatternState {
  std::int32_t line_type = 0;
  // Pixels, numbered from 1 ([0] unused); odd-numbered dashes, even-numbered gaps.
  std::array<std::int32_t, kMaxElements + 1> elements{};
  std::int32_t count = 0;
  std::int32_t length = 0;         // sum of elements 1..count
  std::int32_t phase_element = 0;  // element the next LineDrawTo continues in, from 1
  std::int32_t phase_offset = 0;   // 1 + pixels of that element already used
  std::int32_t pen_width = 0;      // pixels, applied to the canvas by LineMoveTo
  std::int32_t pattern_type = 0;   // the type 2..9 the elements are of; 0: none yet
};

thread_local LinePatternState LinePattern;
// Canvas pixels per point of dash length: logical pixels per inch / 72
// (4/3 at the canvas's fixed 96 pixels per inch).
thread_local float PatternUnit = 0.0f;
thread_local std::uint64_t g_line_draw_calls = 0;

// Dash patterns of line types 2..9 in points: drawn, gap, drawn, gap, ...
struct BasePattern {
  std::int32_t count;
  std::array<float, 6> lengths;
};
constexpr std::array<BasePattern, 8> kBasePatterns = {{
    {2, {2, 2}},
    {2, {4, 4}},
    {2, {6, 2}},
    {4, {25, 4, 2, 4}},
    {4, {50, 8, 4, 8}},
    {6, {25, 2, 2, 2, 2, 2}},
    {6, {50, 4, 4, 4, 4, 4}},
    {2, {1, 7}},  // auxiliary line: dots
}};

// Segments with more whole pattern repetitions than this (at least 6 million
// pixels long) walk only the repetitions near the bitmap and jump over the
// rest; shorter ones sum every step exactly in order.
constexpr std::int64_t kExactRepetitions = std::int64_t{1} << 20;

// Arcs: below this radius (pixels) the chords are exactly those of the
// density rule; above it their number follows the curve's sagitta instead.
constexpr double kExactArcRadius = 1e7;
// Arcs whose long semi-axis reaches 2^30 pixels have points beyond anything a
// canvas coordinate can hold; they take the bounded path as well.
constexpr double kExactArcExtent = 1073741824.0;
// Most chords one arc may have: two full turns just under kExactArcRadius.
constexpr long double kMaxArcChords = 24'000'000.0L;
// Chords per turn of a bounded-path curve of radius ≥ kExactArcRadius: enough
// for a sagitta of a quarter pixel up to a radius of about 8.7e8 pixels.
constexpr long double kMaxHugeChordsPerTurn = 262144.0L;
constexpr long double kRadiansPerDegree = 3.14159265358979323846264338327950288L / 180.0L;

// A value inside the 32-bit range to its nearest integer, halves to even.
std::int32_t NearestInt32(double value) {
  return static_cast<std::int32_t>(std::rint(value));
}
// The x87 store rounds by the current mode, the default's nearest with halves
// to even, exactly as rint does; the plain conversion after rint would switch
// the mode to truncation and back, which stalls (a third of an arc point).
std::int32_t NearestInt32(long double value) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  std::int32_t result;
  __asm__("fistpl %0" : "=m"(result) : "t"(value) : "st");
  return result;
#else
  return static_cast<std::int32_t>(std::rint(value));
#endif
}

// Nearest integer with halves to even: rint under the default rounding mode,
// which compiles inline (frndint, or SSE for doubles) where nearbyint and lrint
// are library calls, one per dash or chord end. Held inside ±limit; NaN gives 0.
template <typename Real>
std::int32_t RoundHeld(Real value, Real limit) {
  if (std::isnan(value)) return 0;
  if (value >= limit) return static_cast<std::int32_t>(limit);
  if (value <= -limit) return -static_cast<std::int32_t>(limit);
  return NearestInt32(value);
}

// Dash positions and lengths: inside the 32-bit range.
std::int32_t RoundToInt32(double value) {
  return RoundHeld(value, 2147483647.0);
}
std::int32_t RoundToInt32(long double value) {
  return RoundHeld(value, 2147483647.0L);
}

// Arc points: held at ±2^30 as the canvas's SaturateToPixel does, so that the
// step past the end point cannot overflow.
std::int32_t RoundToPixel(long double value) {
  return RoundHeld(value, 1073741824.0L);
}

// Whether an integer plus a float is as good in double as in extended
// precision: below 2^27 each, their sum is exact, or (a float under a quarter)
// off by far less than its distance to the nearest half.
bool FitsDoubleSum(std::int32_t base, double single) {
  constexpr double kLimit = 134217728.0;  // 2^27
  return std::abs(base) < (1 << 27) && std::fabs(single) < kLimit;
}

// The nearest integer, halves to even, of a double below 2^28: adding and
// taking away 1.5 · 2^52 leaves no fraction (default rounding), without
// the x87 store that RoundToPixel's extended precision needs.
std::int32_t NearestOfExact(double value) {
  constexpr double kShift = 0x1.8p52;
  return static_cast<std::int32_t>((value + kShift) - kShift);
}

// The bitmap grown by a margin that covers any pen: pixels outside it can
// never be painted by a stroke whose centre line stays outside it too.
struct Reach {
  double left, top, right, bottom;
};

Reach ReachOf(Canvas& canvas) {
  const double margin = static_cast<double>(std::max(canvas.PenWidth(), 1)) + 2.0;
  const Bitmap& bitmap = canvas.Target();
  return {-margin, canvas.FirstRow() - margin, bitmap.Width() + margin,
          static_cast<double>(canvas.EndRow()) + margin};
}

bool SegmentMayPaint(const Reach& reach, Point a, Point b) {
  return std::max<double>(a.x, b.x) >= reach.left && std::min<double>(a.x, b.x) <= reach.right &&
         std::max<double>(a.y, b.y) >= reach.top && std::min<double>(a.y, b.y) <= reach.bottom;
}

// The stretch [t0, t1] of the ray (x, y) + t·(ux, uy), 0 ≤ t ≤ t_max, inside `reach`
// (Liang–Barsky). False when the ray misses it.
bool ClipRay(double x, double y, double ux, double uy, double t_max, const Reach& reach, double* t0,
             double* t1) {
  double lo = 0.0, hi = t_max;
  auto edge = [&](double p, double q) {  // keeps the t with p·t ≤ q
    if (p == 0.0) return q >= 0.0;
    const double r = q / p;
    if (p < 0.0) {
      if (r > hi) return false;
      lo = std::max(lo, r);
    } else {
      if (r < lo) return false;
      hi = std::min(hi, r);
    }
    return true;
  };
  if (!edge(-ux, x - reach.left) || !edge(ux, reach.right - x) || !edge(-uy, y - reach.top) ||
      !edge(uy, reach.bottom - y)) {
    return false;
  }
  *t0 = lo;
  *t1 = hi;
  return true;
}

// Walks along one segment, handing each rounded position to the canvas:
// line-to after a dash, move-to after a gap. A walker that is not `visible`
// hands nothing over (its segment misses the bitmap; only the phase counts).
class DashWalker {
 public:
  DashWalker(Canvas& canvas, double x, double y, bool visible)
      : m_canvas(canvas), m_x(x), m_y(y), m_visible(visible) {}

  void Step(double dx, double dy, bool dash) {
    m_x += dx;
    m_y += dy;
    if (!m_visible) return;
    const int px = RoundToInt32(m_x);
    const int py = RoundToInt32(m_y);
    if (dash) {
      m_canvas.LineTo(px, py);
    } else {
      m_canvas.MoveTo(px, py);
    }
  }

  void JumpTo(double x, double y) {
    m_x = x;
    m_y = y;
    if (m_visible) m_canvas.MoveTo(RoundToInt32(m_x), RoundToInt32(m_y));
  }

  double X() const { return m_x; }
  double Y() const { return m_y; }

 private:
  Canvas& m_canvas;
  double m_x;
  double m_y;
  bool m_visible;
};

bool IsDash(std::int32_t element) {
  return (element & 1) != 0;
}

// Type 1, and any patterned type while no pattern has been chosen: drawn there
// and back, so that both end pixels are painted; the position ends at (x, y).
void DrawSolid(Canvas& canvas, std::int32_t x, std::int32_t y) {
  const Point from = canvas.PenPosition();
  if (SegmentMayPaint(ReachOf(canvas), from, {x, y})) canvas.LineThereAndBack(x, y);
  canvas.MoveTo(x, y);
}

// The whole repetitions of a segment too long to walk step by step: the
// repetitions near the bitmap are walked from a position computed by one
// product, the others skipped.
void WalkRepetitionWindow(Canvas& canvas, DashWalker& walker, std::int64_t repetitions, double ux,
                          double uy, const std::array<double, kMaxElements + 1>& step_x,
                          const std::array<double, kMaxElements + 1>& step_y) {
  const LinePatternState& p = LinePattern;
  const double x0 = walker.X(), y0 = walker.Y();
  const double length = p.length;
  const double span = static_cast<double>(repetitions) * length;
  double t0 = 0.0, t1 = 0.0;
  if (ClipRay(x0, y0, ux, uy, span, ReachOf(canvas), &t0, &t1)) {
    // The walk restarts from a computed position at every block of
    // repetitions: which repetitions are walked depends on the bitmap (a band
    // of the image walks fewer), where their dashes fall must not.
    constexpr std::int64_t kBlock = 1024;
    const std::int64_t first =
        std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor(t0 / length)) - 1) / kBlock *
        kBlock;
    const std::int64_t last =
        std::min(repetitions, static_cast<std::int64_t>(std::ceil(t1 / length)) + 1);
    for (std::int64_t i = first; i < last; ++i) {
      if (i % kBlock == 0) {
        const double start = static_cast<double>(i) * length;
        walker.JumpTo(x0 + start * ux, y0 + start * uy);
      }
      for (std::int32_t k = 1; k <= p.count; ++k) walker.Step(step_x[k], step_y[k], IsDash(k));
    }
  }
  walker.JumpTo(x0 + span * ux, y0 + span * uy);
}

void DrawPatterned(Canvas& canvas, std::int32_t x, std::int32_t y) {
  LinePatternState& p = LinePattern;
  const Point from = canvas.PenPosition();
  const double dx = static_cast<double>(x) - from.x;
  const double dy = static_cast<double>(y) - from.y;
  double remaining = std::sqrt(dx * dx + dy * dy);  // pixels still to cut
  if (remaining == 0.0) return;
  const double ux = dx / remaining;
  const double uy = dy / remaining;
  const bool visible = SegmentMayPaint(ReachOf(canvas), from, {x, y});
  DashWalker walker(canvas, from.x, from.y, visible);

  // Continue the element in which the previous segment of this stroke stopped.
  // A partial element that ends this segment is drawn forward only: the next
  // segment goes on with it.
  if (p.phase_element > 1 || p.phase_offset > 1) {
    for (std::int32_t k = std::max(p.phase_element, 1); k <= p.count; ++k) {
      // An element already used up (the pattern changed mid-stroke) has no rest;
      // it never sends the pen backwards.
      const double rest = static_cast<double>(
          std::max<std::int64_t>(std::int64_t{p.elements[k]} - p.phase_offset + 1, 0));
      if (rest > remaining) {
        if (visible && IsDash(k)) {
          canvas.LineTo(x, y);
        } else {
          canvas.MoveTo(x, y);
        }
        p.phase_offset += RoundToInt32(remaining);
        p.phase_element = k;
        return;
      }
      walker.Step(rest * ux, rest * uy, IsDash(k));
      remaining -= rest;
      p.phase_offset = 1;
    }
    p.phase_element = 1;
    p.phase_offset = 1;
  }

  // Whole repetitions of the pattern, with the step of each element computed once.
  const double length = p.length;
  const double repetitions = std::trunc(remaining / length);
  if (repetitions > 0.0) {
    if (visible) {
      std::array<double, kMaxElements + 1> step_x;
      std::array<double, kMaxElements + 1> step_y;
      for (std::int32_t k = 1; k <= p.count; ++k) {
        step_x[k] = p.elements[k] * ux;
        step_y[k] = p.elements[k] * uy;
      }
      const auto n = static_cast<std::int64_t>(repetitions);
      if (n <= kExactRepetitions) {
        for (std::int64_t i = 0; i < n; ++i) {
          for (std::int32_t k = 1; k <= p.count; ++k) walker.Step(step_x[k], step_y[k], IsDash(k));
        }
      } else {
        WalkRepetitionWindow(canvas, walker, n, ux, uy, step_x, step_y);
      }
    }
    remaining -= repetitions * length;
  }

  // Tail: the start of one more repetition. A dash cut by the end is drawn
  // there and back, which paints the segment's end pixel.
  for (std::int32_t k = 1; k <= p.count; ++k) {
    const double element = p.elements[k];
    if (element > remaining) {
      if (visible && IsDash(k)) canvas.LineThereAndBack(x, y);
      canvas.MoveTo(x, y);
      p.phase_offset = RoundToInt32(remaining) + 1;
      p.phase_element = k;
      return;
    }
    walker.Step(element * ux, element * uy, IsDash(k));
    remaining -= element;
  }
  p.phase_element = 1;
  p.phase_offset = 1;
  if (!visible) canvas.MoveTo(x, y);
}

// One tilted ellipse: centre in pixels, radius (first semi-axis, pixels),
// flatness (second semi-axis / first), tilt as cosine and sine.
struct ArcShape {
  std::int32_t cx;
  std::int32_t cy;
  float radius;
  float flatness;
  double cos_tilt;
  double sin_tilt;
};

// Canvas pixel of parameter angle t (degrees, counterclockwise, y up). With
// `single` each of u, v (the untilted ellipse) and u', v' (tilted) is held as
// a single-precision real, each formed from its operands at double precision;
// the bounded path for huge curves keeps doubles throughout.
// The tilted point of u, v (already single-precision values when `single`).
[[gnu::always_inline]] inline Point TiltedArcPoint(const ArcShape& s, double u, double v, bool single) {
  double u2 = u * s.cos_tilt - v * s.sin_tilt;
  double v2 = u * s.sin_tilt + v * s.cos_tilt;
  if (single) {
    u2 = static_cast<float>(u2);
    v2 = static_cast<float>(v2);
    if (FitsDoubleSum(s.cx, u2) && FitsDoubleSum(s.cy, v2)) {
      return {NearestOfExact(s.cx + u2), NearestOfExact(s.cy - v2)};
    }
  }
  return {RoundToPixel(static_cast<long double>(s.cx) + u2),
          RoundToPixel(static_cast<long double>(s.cy) - v2)};
}

Point ArcPoint(const ArcShape& s, long double t, bool single) {
  const double angle = static_cast<double>(t * kRadiansPerDegree);
  const double c = std::cos(angle);
  const double sn = std::sin(angle);
  double u = static_cast<double>(s.radius) * c;
  double v = static_cast<double>(s.flatness) * static_cast<double>(s.radius) * sn;
  if (single) {
    u = static_cast<float>(u);
    v = static_cast<float>(v);
  }
  return TiltedArcPoint(s, u, v, single);
}

// The chords of one arc: chord s (0 ≤ s ≤ count) ends at the point of
// Degrees(s) and starts where chord s - 1 ended (chord 0 at the start point,
// which it repeats). Index count + 1 stands for the two closing segments: to
// the end point and one diagonal step past it.
struct ChordChain {
  const ArcShape& shape;
  long double first;      // degrees
  long double per_pixel;  // density path: Degrees(s) = first + s · 360 / per_pixel
  long double step;       // bounded path: Degrees(s) = first + s · step
  bool density_path;      // also: single-precision points
  std::int64_t count;     // N; below 0 no chords, only the closing segments
  long double end_degrees;

  long double Degrees(std::int64_t s) const {
    return density_path ? first + static_cast<long double>(s) * 360.0L / per_pixel
                        : first + static_cast<long double>(s) * step;
  }
  Point At(std::int64_t s) const { return ArcPoint(shape, Degrees(s), density_path); }
  Point End() const { return ArcPoint(shape, end_degrees, density_path); }
};

// The points of a density-path chain, chord after chord, without a sine and
// cosine per point: from the exact cosine and sine at the first point of each
// run of kPointRun, the others are turned by precomputed steps. A turned value
// is used only when u and v then round to the same single-precision values as
// the exact ones must (the float roundings lie farther away than the error
// bound of the turn); otherwise, and on the bounded path, the point is computed
// directly. Every point is therefore the one ArcPoint gives.
constexpr int kPointRun = 64;

thread_local bool g_arc_shortcuts = true;

class ChordPoints {
 public:
  explicit ChordPoints(const ChordChain& chain) : m_chain(chain) {
    m_fast = g_arc_shortcuts && chain.density_path && chain.count >= kPointRun;
    if (!m_fast) return;
    const long double step = 360.0L / chain.per_pixel * kRadiansPerDegree;  // radians per chord
    for (int j = 0; j < kPointRun; ++j) {
      const auto turn = static_cast<double>(step * j);
      m_cos[j] = std::cos(turn);
      m_sin[j] = std::sin(turn);
    }
    // Every angle's size, radians: its rounding to double (and the long
    // double steps before it) err by at most a few units of 2^-53 of it; the
    // sines and cosines, their products and the turn by a few more.
    const long double largest =
        (std::fabs(chain.first) +
         std::fabs(static_cast<long double>(chain.count + 1) * 360.0L / chain.per_pixel)) *
        kRadiansPerDegree;
    const double error = 0x1p-53 * (4.0 * static_cast<double>(largest) + 16.0) + 0x1p-51;
    const ArcShape& shape = chain.shape;
    m_radius = static_cast<double>(shape.radius);
    m_second = static_cast<double>(shape.flatness) * static_cast<double>(shape.radius);
    m_tolerance_u = std::fabs(m_radius) * error;
    m_tolerance_v = std::fabs(m_second) * error;
    m_fast = m_tolerance_u < 0.01 && m_tolerance_v < 0.01;
    // Untilted, the tilt's turn leaves u and v as they are, and every sum
    // with the centre fits a double: TiltedArcPoint's fast case, always.
    constexpr double kFits = 0x1p26;
    m_untilted = shape.cos_tilt == 1.0 && shape.sin_tilt == 0.0 &&
                 std::abs(shape.cx) < (1 << 26) && std::abs(shape.cy) < (1 << 26) &&
                 std::fabs(m_radius) * 1.01 + 1 < kFits && std::fabs(m_second) * 1.01 + 1 < kFits;
  }

  // Points first .. first + n - 1 (n at most kPointRun), each as At gives it,
  // the turns of a whole run at a time.
  void Run(std::int64_t first, int n, Point* out) {
    if (!m_fast) {
      for (int i = 0; i < n; ++i) out[i] = m_chain.At(first + i);
      return;
    }
    if (m_seed < 0 || first < m_seed || first + n - 1 - m_seed >= kPointRun) Seed(first);
    const auto base = static_cast<int>(first - m_seed);
    std::array<float, kPointRun> us, vs;
    std::array<bool, kPointRun> turned;
    for (int i = 0; i < n; ++i) {
      const int j = base + i;
      const double c = m_cos0 * m_cos[j] - m_sin0 * m_sin[j];
      const double sn = m_sin0 * m_cos[j] + m_cos0 * m_sin[j];
      const double u = m_radius * c;
      const double v = m_second * sn;
      us[i] = static_cast<float>(u - m_tolerance_u);
      vs[i] = static_cast<float>(v - m_tolerance_v);
      turned[i] = us[i] == static_cast<float>(u + m_tolerance_u) &&
                  vs[i] == static_cast<float>(v + m_tolerance_v);
    }
    if (m_untilted) {
      const double cx = m_chain.shape.cx, cy = m_chain.shape.cy;
      for (int i = 0; i < n; ++i) out[i] = {NearestOfExact(cx + us[i]), NearestOfExact(cy - vs[i])};
      for (int i = 0; i < n; ++i) {
        if (!turned[i]) out[i] = m_chain.At(first + i);
      }
      return;
    }
    for (int i = 0; i < n; ++i) {
      out[i] = turned[i] ? TiltedArcPoint(m_chain.shape, us[i], vs[i], true) : m_chain.At(first + i);
    }
  }

  Point At(std::int64_t s) {
    if (!m_fast) return m_chain.At(s);
    const std::int64_t j = s - m_seed;
    if (m_seed < 0 || j < 0 || j >= kPointRun) return Seed(s);
    const double c = m_cos0 * m_cos[j] - m_sin0 * m_sin[j];
    const double sn = m_sin0 * m_cos[j] + m_cos0 * m_sin[j];
    const double u = m_radius * c;
    const double v = m_second * sn;
    const float u_low = static_cast<float>(u - m_tolerance_u);
    const float v_low = static_cast<float>(v - m_tolerance_v);
    if (u_low != static_cast<float>(u + m_tolerance_u) ||
        v_low != static_cast<float>(v + m_tolerance_v)) {
      return m_chain.At(s);
    }
    return TiltedArcPoint(m_chain.shape, u_low, v_low, true);
  }

 private:
  Point Seed(std::int64_t s) {
    m_seed = s;
    const double angle = static_cast<double>(m_chain.Degrees(s) * kRadiansPerDegree);
    m_cos0 = std::cos(angle);
    m_sin0 = std::sin(angle);
    return TiltedArcPoint(m_chain.shape, static_cast<float>(m_radius * m_cos0),
                          static_cast<float>(m_second * m_sin0), true);
  }

  const ChordChain& m_chain;
  bool m_fast = false;
  bool m_untilted = false;
  std::array<double, kPointRun> m_cos{};
  std::array<double, kPointRun> m_sin{};
  double m_radius = 0, m_second = 0;
  double m_tolerance_u = 0, m_tolerance_v = 0;
  std::int64_t m_seed = -1;
  double m_cos0 = 1, m_sin0 = 0;
};

// sqrt(dx² + dy²), as DrawPatterned takes a segment's length: from a table
// for the short chords of arcs (the same correctly rounded roots).
double ChordLength(double dx, double dy) {
  constexpr int kShort = 16;
  static const auto kRoots = [] {
    std::array<double, kShort * kShort> roots{};
    for (int y = 0; y < kShort; ++y) {
      for (int x = 0; x < kShort; ++x) {
        roots[static_cast<std::size_t>(y * kShort + x)] =
            std::sqrt(static_cast<double>(x * x + y * y));
      }
    }
    return roots;
  }();
  const double ax = std::fabs(dx);
  const double ay = std::fabs(dy);
  if (ax < kShort && ay < kShort) {
    return kRoots[static_cast<std::size_t>(static_cast<int>(ay) * kShort + static_cast<int>(ax))];
  }
  return std::sqrt(dx * dx + dy * dy);
}

// What DrawPatterned does to the phase for a segment of `length` pixels that
// cannot paint (a chord that misses the bitmap), without the walk along it.
void AdvancePhase(double length) {
  LinePatternState& p = LinePattern;
  double remaining = length;
  if (remaining == 0.0) return;
  if (p.phase_element > 1 || p.phase_offset > 1) {
    for (std::int32_t k = std::max(p.phase_element, 1); k <= p.count; ++k) {
      const double rest = static_cast<double>(
          std::max<std::int64_t>(std::int64_t{p.elements[k]} - p.phase_offset + 1, 0));
      if (rest > remaining) {
        p.phase_offset += RoundToInt32(remaining);
        p.phase_element = k;
        return;
      }
      remaining -= rest;
      p.phase_offset = 1;
    }
    p.phase_element = 1;
    p.phase_offset = 1;
  }
  const double pattern = p.length;
  if (remaining >= pattern) remaining -= std::trunc(remaining / pattern) * pattern;
  for (std::int32_t k = 1; k <= p.count; ++k) {
    const double element = p.elements[k];
    if (element > remaining) {
      p.phase_offset = RoundToInt32(remaining) + 1;
      p.phase_element = k;
      return;
    }
    remaining -= element;
  }
  p.phase_element = 1;
  p.phase_offset = 1;
}

// The phase as one number: pixels from the start of the pattern to where the
// next stroke continues, 0 <= position < length. AdvancePhase over a segment
// whose length rounds to n moves it by n, whatever elements it crosses (the
// elements are whole pixels, so only the last piece's rounding counts, and a
// chord's length, the root of a whole number, is never a half). The one thing
// the number does not hold is which of two equal states a boundary between
// elements is written as; AdvancePhase gives the same result from either.
// -1 for a state the number cannot hold (a pattern changed mid-stroke).
std::int64_t PhasePosition(const LinePatternState& p) {
  if (p.count < 1 || p.length <= 0 || p.phase_element < 1 || p.phase_element > p.count) return -1;
  std::int64_t before = 0;
  for (std::int32_t k = 1; k < p.phase_element; ++k) before += p.elements[k];
  const std::int64_t used = p.phase_offset - 1;
  if (used < 0 || used > p.elements[p.phase_element]) return -1;
  return (before + used) % p.length;
}

void SetPhasePosition(LinePatternState& p, std::int64_t position) {
  std::int64_t left = position % p.length;
  for (std::int32_t k = 1; k <= p.count; ++k) {
    if (left < p.elements[k]) {
      p.phase_element = k;
      p.phase_offset = static_cast<std::int32_t>(left) + 1;
      return;
    }
    left -= p.elements[k];
  }
  p.phase_element = 1;
  p.phase_offset = 1;
}

// round(sqrt(x² + y²)) for the short chords of arcs, |x| and |y| below 16.
constexpr int kShortChord = 16;
const std::array<std::uint8_t, kShortChord * kShortChord>& RoundedChordLengths() {
  static const auto kRounded = [] {
    std::array<std::uint8_t, kShortChord * kShortChord> rounded{};
    for (int y = 0; y < kShortChord; ++y) {
      for (int x = 0; x < kShortChord; ++x) {
        rounded[static_cast<std::size_t>(y * kShortChord + x)] = static_cast<std::uint8_t>(
            RoundToInt32(std::sqrt(static_cast<double>(x * x + y * y))));
      }
    }
    return rounded;
  }();
  return kRounded;
}

// Adds to *position the rounded lengths of the chords from *from through
// points[0], points[1], ... while they are short; returns how many (at most n)
// and leaves *from at the last one's end.
std::int64_t AddShortChords(const Point* points, std::int64_t n, Point* from,
                            std::int64_t* position) {
  const auto& rounded = RoundedChordLengths();
  std::int64_t x = from->x, y = from->y, sum = *position, i = 0;
  for (; i < n; ++i) {
    const std::int64_t ax = std::llabs(points[i].x - x), ay = std::llabs(points[i].y - y);
    if (ax >= kShortChord || ay >= kShortChord) break;
    sum += rounded[static_cast<std::size_t>(ay * kShortChord + ax)];
    x = points[i].x;
    y = points[i].y;
  }
  if (i > 0) *from = points[i - 1];
  *position = sum;
  return i;
}

// Where the dash phase stands on the long dashed curves this thread has
// advanced over: the bands of one image meet the same curves again, and each
// would otherwise advance over the same millions of chords. A curve's phase
// before chord s depends on the curve and the pattern alone (painting or not,
// every stroke starts afresh at LineMoveTo), so what one band found another
// can use.
constexpr std::int64_t kCheckpointChords = 1024;
// Positions remembered per thread (2 bytes each) before the memory starts again.
constexpr std::size_t kMaxCheckpoints = std::size_t{1} << 23;

// [m]: the phase position before chord (m + 1) · kCheckpointChords.
using PhaseCheckpoints = std::vector<std::uint16_t>;

thread_local std::unordered_map<std::string, PhaseCheckpoints> g_checkpoints;
thread_local std::size_t g_checkpoints_held = 0;

template <typename T>
void AppendBytes(std::string& key, const T& value) {
  key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// The curve's arguments and the pattern: everything its chords and its phase
// follow from.
PhaseCheckpoints& CheckpointsFor(std::int32_t cx, std::int32_t cy, float radius, float flatness,
                                 float a0, float a1, float tilt) {
  const LinePatternState& p = LinePattern;
  std::string key;
  for (const std::int32_t v : {cx, cy, p.count}) AppendBytes(key, v);
  for (const float v : {radius, flatness, a0, a1, tilt}) AppendBytes(key, v);
  for (std::int32_t k = 1; k <= p.count; ++k) AppendBytes(key, p.elements[k]);
  if (g_checkpoints_held >= kMaxCheckpoints) {
    g_checkpoints.clear();
    g_checkpoints_held = 0;
  }
  return g_checkpoints[key];
}

// Chords are tested against the bitmap in blocks of at most this many; a block
// that may reach it is stroked chord by chord.
constexpr std::int64_t kChordBlock = 64;

// Whether any pixel of chords lo..hi (closing segments included at count + 1)
// may be painted. The parameter angles of a block's points lie between those
// of its ends (they grow, or fall, with s), the curve moves at most `extent`
// pixels per radian, and each point is the curve's within the float and
// integer roundings of ArcPoint; points held at ±2^30 stay as close.
// How fast a curve's points move: pixels per radian of its parameter, at
// most, in all and along x and y (a tilted ellipse's x moves at most by
// hypot(R cos T, e R sin T)).
struct CurveSpeed {
  double extent;
  double x;
  double y;
};

CurveSpeed SpeedOf(const ArcShape& s, double extent) {
  const double r = std::fabs(static_cast<double>(s.radius));
  const double second = r * std::fabs(static_cast<double>(s.flatness));
  return {extent, std::hypot(r * s.cos_tilt, second * s.sin_tilt),
          std::hypot(r * s.sin_tilt, second * s.cos_tilt)};
}

bool ChordsMayPaint(const ChordChain& chain, std::int64_t lo, std::int64_t hi,
                    const CurveSpeed& speed, const Reach& reach) {
  const auto radians = [](long double degrees) {
    return static_cast<double>(degrees * kRadiansPerDegree);
  };
  double a = radians(chain.Degrees(std::max<std::int64_t>(lo - 1, 0)));
  double b = radians(chain.Degrees(std::min(hi, chain.count)));
  if (a > b) std::swap(a, b);
  if (hi > chain.count) {
    const double end = radians(chain.end_degrees);
    a = std::min(a, end);
    b = std::max(b, end);
  }
  const double half = (b - a) / 2;
  const double mid = a + half;
  const ArcShape& s = chain.shape;
  const double u = static_cast<double>(s.radius) * std::cos(mid);
  const double v = static_cast<double>(s.flatness) * static_cast<double>(s.radius) * std::sin(mid);
  const double x = s.cx + (u * s.cos_tilt - v * s.sin_tilt);
  const double y = s.cy - (u * s.sin_tilt + v * s.cos_tilt);
  // Roundings: 2^-24 of each of u, v, u' and v' (at most 4 · extent in all,
  // and in x at most 4 · speed.x), half a pixel, the diagonal step; and a
  // little for this test's own doubles.
  const auto reach_of = [half](double speed) {
    return speed * half * (1 + 1e-9) + speed * 0x1p-21 + 4.0;
  };
  // Each coordinate is held at ±2^30 on its own: the points lie in the box of
  // the held ranges.
  constexpr double kHeld = 1073741824.0;
  const double rx = reach_of(speed.x);
  const double ry = reach_of(speed.y);
  if (std::clamp(x + rx, -kHeld, kHeld) < reach.left ||
      std::clamp(x - rx, -kHeld, kHeld) > reach.right ||
      std::clamp(y + ry, -kHeld, kHeld) < reach.top ||
      std::clamp(y - ry, -kHeld, kHeld) > reach.bottom) {
    return false;
  }
  // And within the disc about the held middle point (holding moves no two
  // points apart).
  const double radius = reach_of(speed.extent);
  const double hx = std::clamp(x, -kHeld, kHeld);
  const double hy = std::clamp(y, -kHeld, kHeld);
  const double dx = std::max({reach.left - hx, 0.0, hx - reach.right});
  const double dy = std::max({reach.top - hy, 0.0, hy - reach.bottom});
  return !(dx > radius || dy > radius || dx * dx + dy * dy > radius * radius);
}

// Strokes the chain from its start point as the plain walk would: LineMoveTo,
// LineDrawTo through every chord's end, the end point and the step past it.
// Blocks of chords that cannot paint are left out: solid and moves-only
// chains only move the pen past them; a dashed chain advances the phase over
// the chords before its last block that may paint, so that the dashes there
// have the walk's phase, and skips what follows (its phase then restarts, as
// at the next stroke's LineMoveTo).
class ChordStroker {
 public:
  ChordStroker(Canvas& canvas, const ChordChain& chain, double extent,
               PhaseCheckpoints* checkpoints)
      : m_canvas(canvas),
        m_chain(chain),
        m_points(chain),
        m_speed(SpeedOf(chain.shape, extent)),
        m_checkpoints(checkpoints) {}

  void Stroke() {
    const Point start = m_points.At(0);
    LineMoveTo(m_canvas, start.x, start.y);
    m_pen = start;
    const LinePatternState& p = LinePattern;
    const std::int64_t last_index = std::max<std::int64_t>(m_chain.count, -1) + 1;
    if (!g_arc_shortcuts || m_chain.count < kChordBlock) {
      Walk(0, last_index);
      return;
    }
    m_reach = ReachOf(m_canvas);
    if (p.line_type == 0) {
      Skip(0, last_index);
    } else if (p.line_type == 1 || p.length <= 0) {
      StrokeSolid(0, last_index);
    } else {
      const std::int64_t last = LastThatMayPaint(0, last_index);
      StrokeDashed(0, last);
      if (last < last_index) {
        Skip(last + 1, last_index);
        LinePattern.phase_element = 1;
        LinePattern.phase_offset = 1;
      }
    }
    if (m_pen_stale) {
      const Point end = m_chain.End();
      m_canvas.MoveTo(end.x + 1, end.y + 1);
    }
  }

 private:
  // The chords lo..hi, each handed to LineDrawTo from where the previous ended.
  void Walk(std::int64_t lo, std::int64_t hi) {
    if (lo > hi) return;
    if (m_pen_stale) {
      if (!m_pen_known) m_pen = m_points.At(std::max<std::int64_t>(lo - 1, 0));
      m_canvas.MoveTo(m_pen.x, m_pen.y);
      m_pen_stale = false;
    }
    const std::int64_t last_chord = std::min(hi, m_chain.count);
    for (std::int64_t s = lo; s <= last_chord; ++s) {
      const Point q = m_points.At(s);
      LineDrawTo(m_canvas, q.x, q.y);
    }
    if (hi > m_chain.count) {
      const Point end = m_chain.End();
      LineDrawTo(m_canvas, end.x, end.y);
      LineDrawTo(m_canvas, end.x + 1, end.y + 1);
    }
  }

  // Chords lo..hi left out: counted as drawn, the pen moved when next needed.
  void Skip(std::int64_t lo, std::int64_t hi) {
    if (lo > hi) return;
    g_line_draw_calls += static_cast<std::uint64_t>(hi - lo + 1) + (hi > m_chain.count ? 1 : 0);
    m_pen_stale = true;
    m_pen_known = false;
  }

  // Chords lo..hi (all real chords) left out but for their dash phase: the
  // short ones move the phase as one number, the last and any long one go
  // through AdvancePhase itself, so that the state is written as it would be.
  void Advance(std::int64_t lo, std::int64_t hi) {
    Point from = m_pen_stale && m_pen_known ? m_pen : m_canvas.PenPosition();
    if (m_pen_stale && !m_pen_known) from = m_points.At(std::max<std::int64_t>(lo - 1, 0));
    LinePatternState& p = LinePattern;
    std::int64_t position = PhasePosition(p);
    std::array<Point, kPointRun> run;
    std::int64_t run_first = lo, run_end = lo;  // the points of chords run_first .. run_end - 1
    std::int64_t s = lo;
    while (s <= hi) {
      if (position >= 0 && m_checkpoints != nullptr && s % kCheckpointChords == 0 && s > 0) {
        s = AtCheckpoint(s, hi, &position, &from);
      }
      if (s < run_first || s >= run_end) {
        const int n = static_cast<int>(std::min<std::int64_t>(kPointRun, hi - s + 1));
        m_points.Run(s, n, run.data());
        run_first = s;
        run_end = s + n;
      }
      if (position >= 0 && s < hi) {
        // The short chords of the run, up to the last chord and the next checkpoint.
        std::int64_t end = std::min(run_end, hi);
        if (m_checkpoints != nullptr) end = std::min(end, (s / kCheckpointChords + 1) * kCheckpointChords);
        const std::int64_t added = AddShortChords(&run[static_cast<std::size_t>(s - run_first)],
                                                  end - s, &from, &position);
        s += added;
        if (added > 0) continue;
      }
      // The last chord, a long one, or any when the phase is no plain number.
      const Point q = run[static_cast<std::size_t>(s - run_first)];
      const double dx = static_cast<double>(static_cast<std::int64_t>(q.x) - from.x);
      const double dy = static_cast<double>(static_cast<std::int64_t>(q.y) - from.y);
      from = q;
      if (position >= 0) SetPhasePosition(p, position);
      AdvancePhase(ChordLength(dx, dy));
      if (s < hi) position = PhasePosition(p);
      ++s;
    }
    g_line_draw_calls += static_cast<std::uint64_t>(hi - lo + 1);
    m_pen = from;
    m_pen_stale = true;
    m_pen_known = true;
  }

  // At chord s, a multiple of kCheckpointChords, with the phase at
  // *position: records it when it is the next one of the curve, or jumps to
  // the last recorded one before hi. Returns the chord to go on with.
  std::int64_t AtCheckpoint(std::int64_t s, std::int64_t hi, std::int64_t* position, Point* from) {
    PhaseCheckpoints& known = *m_checkpoints;
    const auto index = static_cast<std::size_t>(s / kCheckpointChords - 1);
    if (index == known.size()) {
      known.push_back(static_cast<std::uint16_t>(*position % LinePattern.length));
      ++g_checkpoints_held;
      return s;
    }
    if (index > known.size()) return s;
    const auto last = std::min(known.size(), static_cast<std::size_t>(hi / kCheckpointChords)) - 1;
    if (last <= index) return s;
    const std::int64_t next = static_cast<std::int64_t>(last + 1) * kCheckpointChords;
    *position = known[last];
    *from = m_points.At(next - 1);
    return next;
  }

  bool MayPaint(std::int64_t lo, std::int64_t hi) const {
    return ChordsMayPaint(m_chain, lo, hi, m_speed, m_reach);
  }

  void StrokeSolid(std::int64_t lo, std::int64_t hi) {
    if (!MayPaint(lo, hi)) {
      Skip(lo, hi);
    } else if (hi - lo < kChordBlock) {
      Walk(lo, hi);
    } else {
      const std::int64_t mid = lo + (hi - lo) / 2;
      StrokeSolid(lo, mid);
      StrokeSolid(mid + 1, hi);
    }
  }

  void StrokeDashed(std::int64_t lo, std::int64_t hi) {
    if (lo > hi) return;
    if (!MayPaint(lo, hi)) {
      Advance(lo, std::min(hi, m_chain.count));
      if (hi > m_chain.count) Walk(hi, hi);  // the closing segments, from there
    } else if (hi - lo < kChordBlock) {
      Walk(lo, hi);
    } else {
      const std::int64_t mid = lo + (hi - lo) / 2;
      StrokeDashed(lo, mid);
      StrokeDashed(mid + 1, hi);
    }
  }

  // The last chord of lo..hi in a block that may paint; lo - 1 if none.
  std::int64_t LastThatMayPaint(std::int64_t lo, std::int64_t hi) const {
    if (!MayPaint(lo, hi)) return lo - 1;
    if (hi - lo < kChordBlock) return hi;
    const std::int64_t mid = lo + (hi - lo) / 2;
    const std::int64_t right = LastThatMayPaint(mid + 1, hi);
    return right > mid ? right : LastThatMayPaint(lo, mid);
  }

  Canvas& m_canvas;
  const ChordChain& m_chain;
  ChordPoints m_points;
  CurveSpeed m_speed;
  PhaseCheckpoints* m_checkpoints;  // nullptr: nothing remembered
  Reach m_reach{};
  Point m_pen{};             // where the walk's pen is when m_pen_known
  bool m_pen_stale = false;  // the canvas's pen is not where the walk's is
  bool m_pen_known = false;
};

}  // namespace

namespace {

// The pattern SetLineType selects, at `unit` pixels per point.
void SelectLineType(LinePatternState& p, std::int32_t line_type, float unit) {
  p.line_type = line_type;
  if (line_type >= 2 && line_type <= 9) {
    const BasePattern& base = kBasePatterns[static_cast<std::size_t>(line_type - 2)];
    p.count = base.count;
    p.pattern_type = line_type;
    for (std::int32_t k = 1; k <= base.count; ++k) {
      p.elements[k] = RoundToInt32(static_cast<long double>(base.lengths[k - 1]) *
                                   static_cast<long double>(unit));
    }
  }
  std::int64_t length = 0;
  for (std::int32_t k = 1; k <= p.count; ++k) length += p.elements[k];
  p.length = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(length, 0, std::numeric_limits<std::int32_t>::max()));
}

// What LineDrawTo strokes with in state `p` (see LineDashes).
LineDashes DashesOf(const LinePatternState& p) {
  LineDashes look;
  look.draws = p.line_type != 0;
  if (!look.draws || p.line_type == 1 || p.length <= 0) return look;
  look.line_type = p.pattern_type;
  look.dashes.assign(p.elements.begin() + 1, p.elements.begin() + 1 + p.count);
  return look;
}

}  // namespace

void SetLineType(Canvas& canvas, std::int32_t line_type) {
  PatternUnit = static_cast<float>(canvas.PixelsPerInch()) / 72.0f;
  SelectLineType(LinePattern, line_type, PatternUnit);
}

LineDashes CurrentLineDashes() {
  return DashesOf(LinePattern);
}

LineDashes LineDashesIfSelected(std::int32_t line_type) {
  LinePatternState p = LinePattern;
  SelectLineType(p, line_type, static_cast<float>(Canvas::kPixelsPerInch) / 72.0f);
  return DashesOf(p);
}

void SetLineWidth(Canvas& /*canvas*/, std::int32_t width) {
  LinePattern.pen_width = width <= 0 ? 1 : width;
}

void LineMoveTo(Canvas& canvas, std::int32_t x, std::int32_t y) {
  canvas.MoveTo(x, y);
  canvas.SetPenWidth(LinePattern.pen_width);
  LinePattern.phase_element = 1;
  LinePattern.phase_offset = 1;
}

void LineDrawTo(Canvas& canvas, std::int32_t x, std::int32_t y) {
  ++g_line_draw_calls;
  const LinePatternState& p = LinePattern;
  if (p.line_type == 0) {
    canvas.MoveTo(x, y);
  } else if (p.line_type == 1 || p.length <= 0) {
    DrawSolid(canvas, x, y);
  } else {
    DrawPatterned(canvas, x, y);
  }
}

void DrawJwcArc(Canvas& canvas, std::int32_t center_x, std::int32_t center_y, float radius,
                float flatness, float start_angle, float end_angle, float tilt) {
  if (radius == 0.0f) return;
  if (!std::isfinite(radius) || !std::isfinite(flatness) || !std::isfinite(start_angle) ||
      !std::isfinite(end_angle) || !std::isfinite(tilt)) {
    return;
  }
  // Segments per pixel of radius per full turn: chords of about 5.2 pixels,
  // 1.6 on small curves.
  const float density = radius >= 10.0f ? 1.2f : 4.0f;
  float a0 = start_angle;
  float a1 = end_angle;
  if (a1 == 0.0f) a1 = 360.0f;
  if (a1 < a0) a1 += 360.0f;
  if (a1 == a0) {
    a0 = 0.0f;
    a1 = 360.0f;
  }
  if (flatness <= 0.0f) flatness = 1.0f;

  // An arc that cannot come near the bitmap draws nothing (and the pen stays).
  const double extent =
      std::fabs(static_cast<double>(radius)) * std::max(1.0, static_cast<double>(flatness));
  const Reach reach = ReachOf(canvas);
  const double pen = static_cast<double>(std::max(LinePattern.pen_width, 1));
  if (center_x + extent + pen < reach.left || center_x - extent - pen > reach.right ||
      center_y + extent + pen < reach.top || center_y - extent - pen > reach.bottom) {
    return;
  }

  const double tilt_angle = static_cast<double>(tilt) * static_cast<double>(kRadiansPerDegree);
  const ArcShape shape{
      center_x, center_y, radius, flatness, std::cos(tilt_angle), std::sin(tilt_angle)};
  const long double span = static_cast<long double>(a1) - a0;  // degrees
  const long double per_pixel = static_cast<long double>(radius) * density;
  const long double chords = std::trunc(per_pixel * span / 360.0L);
  // Only dashed curves long enough to pass a checkpoint are remembered.
  const auto checkpoints = [&]() -> PhaseCheckpoints* {
    const LinePatternState& p = LinePattern;
    if (!g_arc_shortcuts || p.line_type <= 1 || p.length <= 0 || p.length > 65535) return nullptr;
    if (std::fabs(chords) < static_cast<long double>(2 * kCheckpointChords)) return nullptr;
    return &CheckpointsFor(center_x, center_y, radius, flatness, start_angle, end_angle, tilt);
  };

  if (std::fabs(radius) < kExactArcRadius && extent < kExactArcExtent &&
      std::fabs(chords) <= kMaxArcChords) {
    const ChordChain chain{shape, a0, per_pixel, 0.0L, true, static_cast<std::int64_t>(chords), a1};
    ChordStroker(canvas, chain, extent, checkpoints()).Stroke();
    return;
  }

  // Bounded path: turns beyond the second are dropped (the end angle keeps its
  // place on the curve), and huge curves get as many chords per turn as keep
  // them within a quarter pixel of the curve, up to kMaxHugeChordsPerTurn.
  long double sweep = span;
  if (sweep > 720.0L) sweep = 360.0L + std::fmod(sweep, 360.0L);
  if (sweep < -720.0L) sweep = -(360.0L + std::fmod(-sweep, 360.0L));
  long double per_turn = std::min(std::fabs(per_pixel), kMaxArcChords / 2);
  if (std::fabs(radius) >= kExactArcRadius) {
    per_turn =
        std::min(kMaxHugeChordsPerTurn,
                 3.14159265358979323846L * std::sqrt(8.0L * static_cast<long double>(extent)));
  }
  if (radius < 0.0f) per_turn = -per_turn;
  const auto n = static_cast<std::int64_t>(std::trunc(per_turn * sweep / 360.0L));
  const long double step = 360.0L / per_turn;
  // Whole turns taken off the start angle, so that a huge angle keeps the
  // precision of its steps.
  const long double base = std::fmod(static_cast<long double>(a0), 360.0L);
  const ChordChain chain{shape, base, 0.0L, step, false, n, base + sweep};
  ChordStroker(canvas, chain, extent, checkpoints()).Stroke();
}

LinePatternView LinePatternForTesting() {
  const LinePatternState& p = LinePattern;
  LinePatternView view;
  view.line_type = p.line_type;
  view.elements = p.elements;
  view.count = p.count;
  view.pattern_length = p.length;
  view.phase_element = p.phase_element;
  view.phase_offset = p.phase_offset;
  view.pen_width = p.pen_width;
  view.pattern_unit = PatternUnit;
  view.line_draw_calls = g_line_draw_calls;
  return view;
}

void SetArcShortcutsForTesting(bool on) {
  g_arc_shortcuts = on;
}

void ResetLinePattern() {
  LinePattern = LinePatternState{};
  PatternUnit = 0.0f;
}

void ResetLinePatternForTesting() {
  ResetLinePattern();
  g_line_draw_calls = 0;
}

}  // namespace pelmora
