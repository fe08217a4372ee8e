// Output geometry, the size labels, render cost and the paper tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "render/geometry.h"

namespace pelmora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Where a drawing y lands in the image, mapped as the render maps it.
int MapY(float y, const OutputGeometry& g) {
  return g.originY - static_cast<int>(std::nearbyint(static_cast<long double>(y) * g.scale));
}

TEST(Geometry, PreviewHeightIsWidthOverRootTwo) {
  EXPECT_EQ(PreviewHeight(1189), 841);
  EXPECT_EQ(PreviewHeight(640), 453);
  EXPECT_EQ(PreviewHeight(297), 210);
  EXPECT_EQ(PreviewHeight(0), 0);
  EXPECT_EQ(PreviewHeight(INT_MAX), 1518500249);
}

TEST(Geometry, A4BoxOnAnA0PaperAt72Dpi) {
  const OutputGeometry g = ComputeOutputGeometry({0, 0, 297, 210}, 1.0f, 72, 1189);
  ASSERT_TRUE(g.Renderable());
  EXPECT_EQ(g.Wmm, 297);
  EXPECT_EQ(g.Hmm, 210);
  EXPECT_EQ(g.width, 842);
  EXPECT_EQ(g.height, 595);
  EXPECT_EQ(g.paper_height, 841);
  EXPECT_EQ(g.originX, 0);
  EXPECT_EQ(g.bottom, 1789);
  EXPECT_EQ(g.originY, 2384);
  EXPECT_EQ(g.scale, static_cast<float>(72.0L / 25.4L));
  // The box's lower edge is the row just below the image; the paper's top is row 0.
  EXPECT_EQ(MapY(631.0f, g), 595);
  EXPECT_EQ(MapY(841.0f, g), 0);
}

TEST(Geometry, BoxAwayFromTheCornerOnAnA3Drawing) {
  // W = 640 drawing units over 420 mm; a box from (64, 40) to (384, 250).
  const float k = 640.0f / 420.0f;
  const OutputGeometry g = ComputeOutputGeometry({64, 40, 384, 250}, k, 300, 640);
  ASSERT_TRUE(g.Renderable());
  EXPECT_EQ(g.Wmm, 210);  // 320 / k = 210
  EXPECT_EQ(g.Hmm, 138);  // 210 / k = 137.8
  EXPECT_EQ(g.width, 2480);
  EXPECT_EQ(g.height, 1630);  // 138 mm, not 137.8: whole millimetres first
  EXPECT_EQ(g.paper_height, 453);
  EXPECT_EQ(g.originX, 496);  // 42 mm
  EXPECT_EQ(g.bottom, 1573);  // (453 - 250) / k = 133.2 mm
  EXPECT_EQ(g.originY, 1573 + 1630);
}

TEST(Geometry, WholeMillimetresRoundHalvesToEven) {
  // At two preview pixels per millimetre, 593 pixels are 296.5 mm → 296.
  const OutputGeometry g = ComputeOutputGeometry({0, 0, 593, 421}, 2.0f, 36, 2378);
  EXPECT_EQ(g.Wmm, 296);
  EXPECT_EQ(g.Hmm, 210);  // 210.5 → 210
  EXPECT_EQ(g.width, 420);
}

TEST(Geometry, RegionsThatCannotBeRendered) {
  // Under half a millimetre: no pixels, refused before any file is touched.
  EXPECT_FALSE(ComputeOutputGeometry({10, 10, 11, 200}, 3.0f, 300, 1189).Renderable());
  EXPECT_TRUE(ComputeOutputGeometry({10, 10, 11, 200}, 3.0f, 300, 1189).valid);
  EXPECT_FALSE(ComputeOutputGeometry({0, 0, 0, 0}, 1.0f, 300, 1189).Renderable());
  // Edges crossed (never outside a drag, but the box is stored unchecked).
  EXPECT_FALSE(ComputeOutputGeometry({300, 0, 0, 210}, 1.0f, 72, 1189).Renderable());
  // Nonsense that would overflow: reported, not undefined.
  EXPECT_FALSE(ComputeOutputGeometry({0, 0, 297, 210}, 0.0f, 72, 1189).valid);
  EXPECT_FALSE(
      ComputeOutputGeometry({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 1e-30f, 600, 1189).valid);
  EXPECT_FALSE(ComputeOutputGeometry({0, 0, 297, 210}, 1.0f, INT_MAX, 1189).valid);
}

TEST(SizeEstimate, A4At36Dpi) {
  const SizeEstimate s = ComputeSizeEstimate({0, 0, 297, 210}, 1.0f, 36, 24);
  EXPECT_EQ(s.Wpx, 421);
  EXPECT_EQ(s.Hpx, 298);
  EXPECT_EQ(s.bytes, 379106);  // 3 × 424 × 298 + 50
  EXPECT_EQ(s.KB, 370);
  EXPECT_EQ(s.pixels_label, "  421 x   298");
  EXPECT_EQ(s.mm_label, " 297 x  210");
  EXPECT_EQ(s.size_label, "約370KB");
}

TEST(SizeEstimate, EveryDepthOnAWidthThatNeedsNoPadding) {
  // 254 px at 1 px/mm and 100 dpi: exactly 1000 × 500 pixels.
  std::vector<std::int64_t> bytes;
  for (int bits : {1, 4, 8, 16, 24}) {
    const SizeEstimate s = ComputeSizeEstimate({0, 0, 254, 127}, 1.0f, 100, bits);
    EXPECT_EQ(s.Wpx, 1000);
    EXPECT_EQ(s.Hpx, 500);
    bytes.push_back(s.bytes);
  }
  EXPECT_THAT(bytes, ElementsAre(62550, 250050, 500050, 1000050, 1500050));
}

TEST(SizeEstimate, OneBitEighthRoundsHalfToEven) {
  // 3 × 1 pixels padded to 4: 4 / 8 = 0.5 → 0.
  const SizeEstimate s = ComputeSizeEstimate({0, 0, 3, 1}, 10.0f, 254, 1);
  EXPECT_EQ(s.Wpx, 3);
  EXPECT_EQ(s.Hpx, 1);
  EXPECT_EQ(s.bytes, 50);
  EXPECT_EQ(s.size_label, "約0KB");
}

TEST(SizeEstimate, HugeBoxAt600DpiDoesNotOverflow) {
  const SizeEstimate s = ComputeSizeEstimate({0, 0, 2000000, 1000000}, 1.0f, 600, 24);
  EXPECT_EQ(s.Wpx, 47244094);
  EXPECT_EQ(s.Hpx, 23622047);
  const std::int64_t expected = std::int64_t{47244096} * 23622047 * 3 + 50;
  EXPECT_EQ(s.bytes, expected);
  EXPECT_EQ(s.KB, static_cast<std::int64_t>(std::nearbyint(expected / 1024.0L)));
  EXPECT_EQ(s.pixels_label, "47244094 x 23622047");
  // Absurd input saturates instead of wrapping.
  const SizeEstimate absurd =
      ComputeSizeEstimate({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 1e-30f, 600, 24);
  EXPECT_GT(absurd.bytes, 0);
}

TEST(RenderCost, FileAndMemoryOfARender) {
  const RenderCost cost = ComputeRenderCost(3508, 2480, 24);
  ASSERT_TRUE(cost.valid);
  EXPECT_TRUE(cost.fits_file);
  EXPECT_EQ(cost.file_bytes, 26099574u);
  EXPECT_EQ(cost.image_bytes, 26099520u);
  EXPECT_GE(cost.memory_bytes, cost.image_bytes);
  EXPECT_LE(cost.memory_bytes, cost.image_bytes + 2 * 1024 * 1024);
  EXPECT_EQ(ComputeRenderCost(3508, 2480, 1).file_bytes, 1091262u);
  EXPECT_FALSE(ComputeRenderCost(100, 100, 32).valid);
  // A0 at 600 dpi, 24 bits: 1.67 GB, still a valid file; three times as wide
  // (5 GB) is beyond the format's 32-bit sizes.
  EXPECT_TRUE(ComputeRenderCost(28087, 19866, 24).fits_file);
  EXPECT_FALSE(ComputeRenderCost(3 * 28087, 19866, 24).fits_file);
}

TEST(PaperTables, PresetsAndWhichFitEachPaper) {
  std::vector<int> tags;
  for (const auto& preset : PaperPresets()) tags.push_back(preset.tag);
  EXPECT_THAT(tags, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
  EXPECT_EQ(PaperPresetByTag(1)->caption, "1189 x 841 (A0横ｻｲｽﾞ)");
  EXPECT_EQ(PaperPresetByTag(9)->caption, " 210 x 297 (A4縦ｻｲｽﾞ)");
  EXPECT_EQ(PaperPresetByTag(10)->caption, " ｶｽﾀﾑ ...");
  EXPECT_EQ(PaperPresetByTag(11), nullptr);
  EXPECT_EQ(PaperPresetByName("a3p")->tag, 8);
  EXPECT_EQ(PaperPresetByName("A0")->width_mm, 1189);
  EXPECT_EQ(PaperPresetByName("A5"), nullptr);
  EXPECT_EQ(PaperPresetByName(""), nullptr);

  const std::vector<std::vector<int>> fitting = {
      {1, 2, 3, 4, 5, 6, 7, 8, 9}, {2, 3, 4, 5, 7, 8, 9}, {3, 4, 5, 8, 9}, {4, 5, 9}, {5}};
  for (int code = 0; code <= 4; ++code) {
    const auto paper = PaperForCode(code);
    ASSERT_TRUE(paper);
    std::vector<int> fits;
    for (const auto& preset : PaperPresets()) {
      if (PresetFitsPaper(preset, *paper)) fits.push_back(preset.tag);
    }
    EXPECT_THAT(fits, ElementsAreArray(fitting[static_cast<std::size_t>(code)])) << code;
  }
  EXPECT_EQ(PaperForCode(3)->width_mm, 420);
  EXPECT_FALSE(PaperForCode(5));
  EXPECT_FALSE(PaperForCode(-1));
}

}  // namespace
}  // namespace pelmora
