// Loading through a descriptor reads only what the header describes: each
// drawing, followed by 64 KiB of zeros (the most a read may go past it), is
// loaded with a file size claimed far beyond its bytes, so a reader that read
// on would meet the end of the file and fail.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "drawing/jwcunit.h"
#include "output/image_format.h"
#include "tests/support/jwc_writer.h"

namespace pelmora {
namespace {

constexpr std::uint64_t kClaimedExtra = std::uint64_t{3} << 30;  // a 3 GiB file

struct BoundedCase {
  const char* name;
  JwcWriter writer;
  std::int32_t result;
  const char* reason;  // in LastError() when the load fails
};

std::vector<BoundedCase> Cases() {
  std::vector<BoundedCase> cases;
  JwcWriter small;
  small.Paper(3).WindowWidth(640).AddLine({.X1 = 1, .Y2 = 2}).AddText({.Text = "A"});
  cases.push_back({"small", small, 0, ""});
  JwcWriter long_texts;  // the strings run past the first bytes read
  long_texts.AddText({.Text = std::string(100000, 'x')}).AddText({.Text = "end"});
  for (int i = 0; i < 4000; ++i) long_texts.AddDot({.X = float(i)});
  cases.push_back({"strings_beyond_the_first_read", long_texts, 0, ""});
  cases.push_back({"counts_the_file_cannot_hold", JwcWriter().HeaderField(0, "2147483647"), 1,
                   "need at least"});
  return cases;
}

TEST(ReaderBounded, ReadsOnlyWhatTheHeaderDescribes) {
  for (const BoundedCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    std::vector<std::byte> bytes = c.writer.Bytes();
    const std::size_t drawing_size = bytes.size();
    bytes.resize(bytes.size() + 64 * 1024);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fflush(file), 0);
    Tjwcin bounded, whole;
    const std::int32_t got = bounded.JwcLoadDescriptor(fileno(file), bytes.size() + kClaimedExtra);
    std::fclose(file);
    EXPECT_EQ(got, c.result) << bounded.LastError();
    EXPECT_NE(bounded.LastError().find(c.reason), std::string::npos) << bounded.LastError();
    if (c.result != 0) continue;
    // The same drawing as from all its bytes at once.
    ASSERT_EQ(whole.JwcLoadBytes(std::span(bytes).first(drawing_size)), 0);
    EXPECT_EQ(bounded.JwcTextCount(), whole.JwcTextCount());
    EXPECT_EQ(bounded.JwcDotCount(), whole.JwcDotCount());
    TJwcText a, b;
    bounded.JwcTextData(bounded.JwcTextCount() - 1, a);
    whole.JwcTextData(whole.JwcTextCount() - 1, b);
    EXPECT_EQ(a.Text, b.Text);
  }
}

TEST(FormatLimits, NamedBeforeRendering) {
  struct Case {
    ImageFormat format;
    std::int64_t width, height;
    int dpi;
    const char* problem;  // empty: allowed
  };
  const Case cases[] = {
      {ImageFormat::kPng, 1000000, 1000000, 600, ""},
      {ImageFormat::kPng, 1000001, 10, 600, "beyond the 1000000 pixels a side"},
      {ImageFormat::kTiff, 10, 1000001, 600, "beyond the 1000000 pixels a side"},
      {ImageFormat::kPdf, 72000, 72000, 360, ""},
      {ImageFormat::kPdf, 72001, 10, 360, "200.0 x 0.0 inches, beyond the 200 inches"},
      {ImageFormat::kBmp, 72001, 72001, 360, ""},
  };
  for (const Case& c : cases) {
    const std::string problem = FormatLimitProblem(c.format, c.width, c.height, c.dpi);
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "") << c.width << " x " << c.height;
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
}

}  // namespace
}  // namespace pelmora
