// Draws every scene of tests/golden/scenes on our Canvas and compares the
// result pixel for pixel with what GDI painted for the same script
// (tests/golden/reference, made by tests/golden/regenerate.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/raster/bitmap.h"
#include "tests/support/canvas_golden_scene.h"

namespace pelmora {
namespace {

const std::filesystem::path kGolden = std::filesystem::path(PELMORA_SOURCE_DIR) / "tests" / "golden";

std::vector<std::string> SceneNames() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(kGolden / "scenes", ec)) {
    if (entry.path().extension() == ".gdi") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// "#= exact" or "#= share 0.994" from the scene's text.
struct Expectation {
  bool exact = true;
  double share = 1.0;
};

Expectation ExpectationOf(const std::string& script) {
  std::istringstream in(script);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("#= share ", 0) == 0) return {false, std::stod(line.substr(9))};
    if (line.rfind("#= exact", 0) == 0) return {true, 1.0};
  }
  ADD_FAILURE() << "scene without a \"#= exact\" or \"#= share\" line";
  return {};
}

// The value most pixels of the reference hold: the scene's background.
std::uint32_t Background(const Bitmap& bitmap) {
  std::map<std::uint32_t, long> counts;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) ++counts[bitmap.ValueAt(x, y)];
  }
  return std::max_element(counts.begin(), counts.end(),
                          [](const auto& a, const auto& b) { return a.second < b.second; })
      ->first;
}

TEST(CanvasGolden, EveryFeatureHasScenes) {
  // Guards against a test that compares nothing: the scenes and their
  // references are both there.
  const auto names = SceneNames();
  ASSERT_GE(names.size(), 15u);
  for (const auto& name : names) {
    EXPECT_TRUE(std::filesystem::exists(kGolden / "reference" / (name + ".bmp"))) << name;
  }
}

// Compares our drawing of the scene with the reference, pixel for pixel.
void ExpectMatch(const std::string& name, const std::string& script, const Bitmap& reference,
                 golden::Strokes strokes) {
  const Expectation expect = ExpectationOf(script);
  std::string error;
  // The halftone table of 8-bit bitmaps is GDI's; take it from the reference.
  const auto ours = golden::RunScene(
      script, [&](int) { return reference.ColourTable(); }, &error, strokes);
  ASSERT_NE(ours, nullptr) << error;

  ASSERT_EQ(ours->Width(), reference.Width());
  ASSERT_EQ(ours->Height(), reference.Height());
  ASSERT_EQ(ours->BitsPerPixel(), reference.BitsPerPixel());
  EXPECT_EQ(ours->ColourTable(), reference.ColourTable());

  const std::uint32_t background = Background(reference);
  long differing = 0, painted = 0;
  std::ostringstream first;
  for (int y = 0; y < reference.Height(); ++y) {
    for (int x = 0; x < reference.Width(); ++x) {
      const std::uint32_t want = reference.ValueAt(x, y), got = ours->ValueAt(x, y);
      if (want != background || got != background) ++painted;
      if (want == got) continue;
      if (differing++ < 5) first << " (" << x << "," << y << ") GDI " << want << " ours " << got;
    }
  }
  const double share = painted == 0 ? 1.0 : 1.0 - static_cast<double>(differing) / painted;
  std::cout << "[ scene    ] " << name
            << (strokes == golden::Strokes::kLiteral ? "" : " (there and back in one pass)") << ": "
            << painted - differing << " of " << painted << " painted pixels identical ("
            << share * 100 << " %)\n";
  if (expect.exact) {
    EXPECT_EQ(differing, 0) << "first differences:" << first.str();
  } else {
    EXPECT_GE(share, expect.share) << "first differences:" << first.str();
  }
}

class CanvasGoldenScene : public ::testing::TestWithParam<std::string> {};

TEST_P(CanvasGoldenScene, MatchesGdi) {
  const std::string name = GetParam();
  const auto script_bytes = golden::ReadFileBytes((kGolden / "scenes" / (name + ".gdi")).string());
  ASSERT_FALSE(script_bytes.empty());
  const std::string script(script_bytes.begin(), script_bytes.end());

  std::string error;
  const auto reference =
      golden::ReadBmp(golden::ReadFileBytes((kGolden / "reference" / (name + ".bmp")).string()), &error);
  ASSERT_NE(reference, nullptr) << error;
  ExpectMatch(name, script, *reference, golden::Strokes::kLiteral);
  // The line types' strokes there and back, drawn in one pass, must paint
  // what GDI paints for the pair.
  if (golden::CountThereAndBack(script) > 0) {
    ExpectMatch(name, script, *reference, golden::Strokes::kThereAndBackInOnePass);
  }
}

TEST(CanvasGolden, ThereAndBackScenesHoldEveryCase) {
  // Guards the one-pass comparison above against a scene it cannot parse.
  const auto bytes = golden::ReadFileBytes((kGolden / "scenes" / "there_and_back.gdi").string());
  const std::string script(bytes.begin(), bytes.end());
  EXPECT_GE(golden::CountThereAndBack(script), 200);
}

INSTANTIATE_TEST_SUITE_P(Scenes, CanvasGoldenScene, ::testing::ValuesIn(SceneNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace pelmora
