// Our Group 4 strips are libtiff's to the byte, over images that reach every
// mode and every run code, and libtiff reads them back as the pixels coded.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "output/group4.h"
#include "tests/support/libtiff_group4.h"

namespace pelmora {
namespace {

// Rows of (width + 7) / 8 bytes, as libtiff takes them; the bits past the width
// are noise, which neither encoder may read as pixels.
struct Image {
  Image(int w, int h, std::mt19937& random)
      : width(w),
        rows(h),
        row_bytes((static_cast<std::size_t>(w) + 7) / 8),
        bits(row_bytes * static_cast<std::size_t>(h)) {
    if (w % 8 == 0) return;
    for (int y = 0; y < h; ++y)
      bits[row_bytes * static_cast<std::size_t>(y + 1) - 1] =
          static_cast<std::uint8_t>(random() & (0xFFu >> (w % 8)));
  }
  void Set(int x, int y) {
    bits[row_bytes * static_cast<std::size_t>(y) + static_cast<std::size_t>(x / 8)] |=
        static_cast<std::uint8_t>(0x80u >> (x % 8));
  }
  bool Black(int x, int y) const {
    return (bits[row_bytes * static_cast<std::size_t>(y) + static_cast<std::size_t>(x / 8)] &
            (0x80u >> (x % 8))) != 0;
  }
  // From `x` on, `length` black pixels of row `y`.
  void Run(int x, int y, int length) {
    for (int i = x; i < std::min(x + length, width); ++i) Set(i, y);
  }

  int width, rows;
  std::size_t row_bytes;
  std::vector<std::uint8_t> bits;
};

// Our strip as the one strip of a TIFF file, decoded by libtiff.
std::vector<std::uint8_t> Decode(const Image& image, const std::vector<std::uint8_t>& strip) {
  const std::string path = ::testing::TempDir() + "group4-" + std::to_string(::getpid()) + ".tif";
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (!tiff) return {};
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.rows));
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(image.rows));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFWriteRawStrip(tiff, 0, const_cast<std::uint8_t*>(strip.data()),
                    static_cast<tmsize_t>(strip.size()));
  TIFFClose(tiff);
  std::vector<std::uint8_t> pixels(image.bits.size());
  tiff = TIFFOpen(path.c_str(), "r");
  if (!tiff) return {};
  const tmsize_t read =
      TIFFReadEncodedStrip(tiff, 0, pixels.data(), static_cast<tmsize_t>(pixels.size()));
  TIFFClose(tiff);
  std::remove(path.c_str());
  if (read != static_cast<tmsize_t>(pixels.size())) return {};
  return pixels;
}

TEST(Group4, StripsAreLibtiffsToTheByte) {
  std::mt19937 random(20240607);
  const auto chance = [&](double p) { return std::uniform_real_distribution<>()(random) < p; };
  using Paint = std::function<void(Image&)>;
  const auto noise = [&](double density) {
    return [&, density](Image& image) {
      for (int y = 0; y < image.rows; ++y) {
        for (int x = 0; x < image.width; ++x) {
          if (chance(density)) image.Set(x, y);
        }
      }
    };
  };
  const auto every = [](auto black) {
    return [black](Image& image) {
      for (int y = 0; y < image.rows; ++y) {
        for (int x = 0; x < image.width; ++x) {
          if (black(x, y)) image.Set(x, y);
        }
      }
    };
  };
  // Runs of both colours about each make-up code's edges and past 2560, where
  // libtiff repeats the longest; white rows between, so that each is coded in
  // horizontal mode from a blank reference.
  const Paint long_runs = [](Image& image) {
    const int lengths[] = {1727, 1728, 1729, 1791, 1792, 1793, 2559, 2560, 2561,
                           2623, 2624, 2625, 5119, 5120, 5183, 5184, 5185, 9000};
    int y = 0;
    for (const int length : lengths) {
      image.Run(length, y, length);
      image.Run(0, y + 2, length);
      y += 4;
    }
    image.Run(0, y, image.width);
  };
  // Runs of random lengths, mostly short, so that every terminating and make-up
  // code of both colours comes up.
  const Paint random_runs = [&](Image& image) {
    for (int y = 0; y < image.rows; y += 2) {
      bool black = chance(0.5);
      for (int x = 0; x < image.width; black = !black) {
        const int longest = chance(0.7) ? 64 : chance(0.8) ? 2000 : 6000;
        const int length = std::uniform_int_distribution<>(1, longest)(random);
        if (black) image.Run(x, y, length);
        x += length;
      }
    }
  };
  // Lines at any slope, a few pixels thick, as a drawing's.
  const Paint drawing = [&](Image& image) {
    std::uniform_int_distribution<> x_at(0, image.width - 1), y_at(0, image.rows - 1);
    for (int line = 0; line < 300; ++line) {
      const int x0 = x_at(random), y0 = y_at(random), x1 = x_at(random), y1 = y_at(random);
      const int thick = std::uniform_int_distribution<>(1, 4)(random);
      const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;
      for (int i = 0; i < steps; ++i) {
        const int x = x0 + (x1 - x0) * i / steps, y = y0 + (y1 - y0) * i / steps;
        for (int t = 0; t < thick; ++t) image.Run(x, std::min(y + t, image.rows - 1), thick);
      }
    }
  };

  struct Case {
    std::string name;
    std::vector<int> widths;
    int rows;
    Paint paint;
  };
  const std::vector<int> narrow = {1, 2, 3, 4, 7, 8, 9, 63, 64, 65, 200};
  const std::vector<Case> cases = {
      {"white", narrow, 5, [](Image&) {}},
      {"black", narrow, 5, every([](int, int) { return true; })},
      {"noise 50%", narrow, 40, noise(0.5)},
      {"noise 5%", {9, 65, 1000}, 40, noise(0.05)},
      {"noise 95%", {9, 65, 1000}, 40, noise(0.95)},
      {"single row", {1, 8, 100, 2561, 3000}, 1, noise(0.02)},
      {"alternate pixels", narrow, 6, every([](int x, int y) { return (x + y / 3) % 2 == 0; })},
      {"vertical lines", {7, 64, 300}, 20, every([](int x, int) { return x % 9 < 2; })},
      {"slanting lines", {65, 300}, 30, every([](int x, int y) { return (x + y) % 13 < 3; })},
      {"horizontal lines", {7, 64, 300}, 20, every([](int, int y) { return y % 5 == 1; })},
      {"long runs", {2561, 23000}, 76, long_runs},
      {"random runs", {20000}, 300, random_runs},
      {"drawing", {777, 3000}, 500, drawing},
  };
  for (const Case& c : cases) {
    for (const int width : c.widths) {
      SCOPED_TRACE(c.name + ", width " + std::to_string(width));
      Image image(width, c.rows, random);
      c.paint(image);
      std::vector<std::uint8_t> writable = image.bits;  // as libtiff takes its rows
      const std::vector<std::uint8_t> expected = LibtiffGroup4Strip(writable.data(), width, c.rows);
      ASSERT_FALSE(expected.empty());
      // Ours from rows further apart, with noise between them.
      const std::size_t stride = image.row_bytes + 3;
      std::vector<std::uint8_t> spaced(stride * static_cast<std::size_t>(c.rows), 0xA5);
      for (int y = 0; y < c.rows; ++y) {
        std::copy_n(image.bits.begin() + static_cast<std::ptrdiff_t>(image.row_bytes * y),
                    image.row_bytes, spaced.begin() + static_cast<std::ptrdiff_t>(stride * y));
      }
      const std::vector<std::uint8_t> ours = EncodeGroup4(spaced.data(), stride, width, c.rows);
      const auto differ = std::mismatch(ours.begin(), ours.end(), expected.begin(), expected.end());
      EXPECT_TRUE(ours == expected) << ours.size() << " bytes against " << expected.size()
                                    << ", first difference at byte " << differ.first - ours.begin();

      const std::vector<std::uint8_t> decoded = Decode(image, ours);
      ASSERT_EQ(decoded.size(), image.bits.size());
      int wrong = 0;
      for (int y = 0; y < c.rows; ++y) {
        for (int x = 0; x < width; ++x) {
          wrong += image.Black(x, y) !=
                   ((decoded[image.row_bytes * y + x / 8] & (0x80u >> (x % 8))) != 0);
        }
      }
      EXPECT_EQ(wrong, 0);
    }
  }
}

}  // namespace
}  // namespace pelmora
