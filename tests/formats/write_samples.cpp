// Writes one image per depth and colour table in every format, the pixels
// handed over in bands of seven rows, for check_formats.py to read back with
// decoders of other projects: at the default effort into FOLDER, at the fast
// and best ones into FOLDER/fast and FOLDER/best. Images of more than a
// megabyte are compressed in several pieces, their boundaries inside bands.
// Usage: pelmora_format_samples FOLDER
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "output/bmp_writer.h"
#include "output/file_encoder.h"
#include "platform/raster/bitmap.h"

namespace pelmora {
namespace {

struct Sample {
  std::string name;
  int width, height, bits, dpi;
  std::vector<Colour> table;
  bool drawing;  // white paper with black lines instead of noise
};

std::unique_ptr<Bitmap> Make(const Sample& s) {
  auto image = Bitmap::Create(s.width, s.height, s.bits);
  if (!s.table.empty()) image->SetColourTable(s.table);
  std::uint32_t seed = 2024;
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      seed = seed * 1103515245u + 12345u;
      std::uint32_t v = seed >> 8;
      if (s.drawing) {
        const bool ink = x == y || y == s.height / 2 || x % 290 == 3;
        v = ink ? 0u : 1u;  // 0 is black in a black-and-white table
      } else if (s.bits <= 8) {
        v %= 1u << s.bits;
      } else {
        v &= (1u << s.bits) - 1;
      }
      image->SetValue(x, y, v);
    }
  }
  return image;
}

bool WriteInBands(const Bitmap& image, int dpi, ImageFormat format, Compression effort,
                  const std::string& path) {
  OutputStatus status;
  auto encoder = CreateFileEncoder(format, path,
                                   {.replace = true, .compression = effort, .threads = 3}, &status);
  std::string error;
  bool ok = encoder && encoder->Begin({image.Width(), image.Height(), image.BitsPerPixel(),
                                       image.ColourTable(), dpi},
                                      &error);
  for (int first = 0; ok && first < image.Height(); first += 7) {
    const int rows = std::min(7, image.Height() - first);
    auto band = Bitmap::Create(image.Width(), rows, image.BitsPerPixel());
    for (int y = 0; y < rows; ++y) {
      std::copy_n(image.Row(first + y), image.Stride(), band->Row(y));
    }
    ok = encoder->WriteRows(first, *band, &error);
  }
  ok = ok && encoder->Finish(&error);
  if (!ok) std::fprintf(stderr, "%s: %s %s\n", path.c_str(), error.c_str(), status.reason.c_str());
  return ok;
}

}  // namespace
}  // namespace pelmora

int main(int argc, char** argv) {
  using namespace pelmora;
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  std::vector<Colour> sixteen, short_table;
  for (int i = 0; i < 16; ++i) sixteen.push_back(Rgb(i * 16, 255 - i * 16, (i * 53) & 255));
  for (int i = 0; i < 100; ++i) short_table.push_back(Rgb(i, (i * 7) & 255, 255 - i));
  const Colour black = Rgb(0, 0, 0), white = Rgb(255, 255, 255);
  const std::vector<Sample> samples = {
      {"mono-drawing", 203, 61, 1, 300, {black, white}, true},
      {"mono-noise", 33, 19, 1, 72, {black, white}, false},
      {"mono-inverted", 45, 20, 1, 144, {white, black}, true},
      {"mono-colours", 17, 9, 1, 100, {Rgb(200, 10, 10), Rgb(10, 10, 200)}, false},
      {"four", 37, 15, 4, 180, sixteen, false},
      {"eight", 29, 23, 8, 360, short_table, false},
      {"sixteen", 33, 17, 16, 96, {}, false},
      {"twentyfour", 31, 13, 24, 600, {}, false},
      {"a4-page", 3508, 2480, 1, 300, {black, white}, true},
      {"wide-drawing", 701, 559, 24, 200, {}, true},
  };
  const struct {
    Compression effort;
    std::string folder;
  } efforts[] = {{Compression::kDefault, folder},
                 {Compression::kFast, folder + "/fast"},
                 {Compression::kBest, folder + "/best"}};
  for (const auto& e : efforts) {
    ::mkdir(e.folder.c_str(), 0777);
    for (const Sample& s : samples) {
      // The large page at the default effort only: the small ones show every effort's filters.
      if (s.name == "a4-page" && e.effort != Compression::kDefault) continue;
      const auto image = Make(s);
      const std::string stem = e.folder + "/" + s.name + "-" + std::to_string(s.dpi);
      const BmpWriteResult bmp = WriteBmpFile(*image, s.dpi, stem + ".bmp");
      if (!bmp.ok()) {
        std::fprintf(stderr, "%s: %s\n", bmp.path.c_str(), bmp.reason.c_str());
        return 1;
      }
      for (const ImageFormat format : {ImageFormat::kPng, ImageFormat::kTiff, ImageFormat::kPdf}) {
        if (!WriteInBands(*image, s.dpi, format, e.effort,
                          stem + std::string(FormatExtension(format)))) {
          return 1;
        }
      }
    }
  }
  return 0;
}
