#include <algorithm>
#include <cmath>
#include <numbers>

#include "render/vector_walk.h"

namespace pelmora {

std::vector<VectorCubic> ArcToCubics(const VectorArc& arc, VectorPoint* start) {
  constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
  const double tilt = arc.tilt * kRadiansPerDegree;
  const double ct = std::cos(tilt), st = std::sin(tilt);
  const double rx = arc.radius, ry = arc.radius * arc.flatness;
  // The unit circle's point (c, s) on the page: an affine map, so the circle's
  // Bézier controls map to the ellipse's.
  auto page = [&](double c, double s) {
    const double u = rx * c, v = ry * s;
    return VectorPoint{arc.centre.x + u * ct - v * st, arc.centre.y - (u * st + v * ct)};
  };
  const double a0 = arc.start * kRadiansPerDegree;
  const double sweep = (arc.end - arc.start) * kRadiansPerDegree;
  // A cubic's distance from a circular arc of angle θ is about r θ^6 / 1536 (r
  // the long semi-axis): segments short enough for a hundredth of a pixel, at
  // least four per turn and at most 4096 per turn (a curve that needs more is
  // far larger than any page).
  const double r = std::max(std::fabs(rx), std::fabs(ry));
  double theta = std::numbers::pi / 2;
  if (r > 0 && std::isfinite(r)) theta = std::min(theta, std::pow(0.01 * 1536.0 / r, 1.0 / 6.0));
  theta = std::max(theta, 2 * std::numbers::pi / 4096);
  const double turns = std::fabs(sweep);
  const int count =
      std::isfinite(turns) ? std::max(1, static_cast<int>(std::ceil(turns / theta - 1e-9))) : 1;
  const double step = sweep / count;
  const double k = 4.0 / 3.0 * std::tan(step / 4);
  std::vector<VectorCubic> cubics;
  cubics.reserve(static_cast<std::size_t>(count));
  double c0 = std::cos(a0), s0 = std::sin(a0);
  if (start != nullptr) *start = page(c0, s0);
  for (int i = 1; i <= count; ++i) {
    const double a = a0 + step * i;
    const double c1 = std::cos(a), s1 = std::sin(a);
    cubics.push_back({page(c0 - k * s0, s0 + k * c0), page(c1 + k * s1, s1 - k * c1), page(c1, s1)});
    c0 = c1;
    s0 = s1;
  }
  return cubics;
}

}  // namespace pelmora
