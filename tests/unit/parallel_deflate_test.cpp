// Compression on several threads: the joined zlib stream inflates to its input
// and its bytes do not depend on the thread count, nor do a compressed file's.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "output/format_encoders.h"
#include "output/parallel_deflate.h"
#include "output/run_deflate.h"
#include "platform/raster/bitmap.h"

namespace pelmora {
namespace {

constexpr std::size_t kPiece = ParallelDeflate::kPieceBytes;

// Lines on white with a little noise, so that back-references cross pieces.
std::vector<std::uint8_t> Input(std::size_t size) {
  std::vector<std::uint8_t> data(size, 0);
  std::uint32_t seed = 7;
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    if (i % 997 < 5 || (seed >> 24) == 0) data[i] = static_cast<std::uint8_t>(seed >> 16);
  }
  return data;
}

// Written in steps of `step` bytes, as rows arrive.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& input, DeflateSetting setting,
                                  int threads, std::size_t step) {
  WorkPool pool(threads);
  std::vector<std::uint8_t> out;
  ParallelDeflate deflate(setting, &pool, [&](const std::uint8_t* data, std::size_t size) {
    out.insert(out.end(), data, data + size);
    return true;
  });
  std::string error;
  for (std::size_t at = 0; at < input.size(); at += step) {
    EXPECT_TRUE(deflate.Write(input.data() + at, std::min(step, input.size() - at), &error));
  }
  EXPECT_TRUE(deflate.Finish(&error)) << error;
  return out;
}

TEST(ParallelDeflate, InflatesToItsInputWithTheSameBytesForEveryThreadCount) {
  const struct {
    std::size_t size;
    std::size_t step;
  } cases[] = {{0, 1},
               {1, 1},
               {kPiece - 1, 4099},
               {kPiece, kPiece},
               {kPiece + 1, 50557},
               {2 * kPiece + kPiece / 2, 7 * 2107}};
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> input = Input(c.size);
    for (const DeflateSetting setting :
         {DeflateSetting{1, false}, DeflateSetting{3, false}, DeflateSetting{1, true}}) {
      // Zopfli takes seconds a piece: two pieces show how its pieces join.
      if (setting.optimal && c.size != kPiece + 1) continue;
      SCOPED_TRACE(std::to_string(c.size) + " bytes, pixel " + std::to_string(setting.pixel_bytes) +
                   (setting.optimal ? ", with Zopfli" : ""));
      const std::vector<std::uint8_t> one = Deflate(input, setting, 1, c.step);
      EXPECT_EQ(Deflate(input, setting, 2, c.step), one);
      EXPECT_EQ(Deflate(input, setting, 4, c.step), one);
      std::vector<std::uint8_t> back(c.size + 1);
      uLongf length = static_cast<uLongf>(back.size());
      ASSERT_EQ(uncompress(back.data(), &length, one.data(), static_cast<uLong>(one.size())), Z_OK);
      back.resize(length);
      EXPECT_TRUE(back == input);
    }
  }
}

// RunDeflate's pieces, joined as ParallelDeflate joins them, inflate to their
// input whatever repeats they hold; bytes that do not compress are stored.
TEST(RunDeflate, PiecesJoinAndInflateToTheirInput) {
  std::uint32_t seed = 11;
  auto noise = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(seed >> 16);
  };
  std::vector<std::uint8_t> random(200000), pixels(300000), rows(300000), runs(1 << 20, 0);
  for (auto& b : random) b = noise();
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = "\x10\x80\xF0"[i % 3];
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = i % 1000 < 500 ? noise() : rows[i - 500];
  for (std::size_t i = 0; i < runs.size(); i += 4099) runs[i] = noise();
  // Bytes counted in the Fibonacci sequence (the end of block is the first
  // 1), each after a byte 200 so that none repeats: a Huffman code 19 deep,
  // which has to be cut down to deflate's 15 bits.
  std::vector<std::uint8_t> skewed;
  for (std::uint32_t v = 0, a = 1, b = 2; v < 18; ++v, b += a, a = b - a) {
    for (std::uint32_t k = 0; k < a; ++k)
      skewed.insert(skewed.end(), {200, static_cast<std::uint8_t>(v)});
  }
  const struct {
    const char* name;
    std::vector<std::uint8_t> data;
    int pixel_bytes;
    std::size_t row_bytes;
  } cases[] = {{"empty", {}, 1, 0},
               {"one byte", {7}, 3, 0},
               {"random", random, 3, 0},
               {"pixels", pixels, 3, 0},
               {"rows", rows, 1, 500},
               {"rows past the window", rows, 3, 40000},
               {"runs", runs, 1, 0},
               {"skewed", skewed, 1, 0},
               {"drawing", Input(3 * kPiece / 2), 3, 1201}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::size_t piece : {std::size_t{4096}, std::size_t{1} << 20}) {
      std::vector<std::uint8_t> stream = {0x78, 0x01};
      std::size_t at = 0;
      do {
        const std::size_t n = std::min(piece, c.data.size() - at);
        RunDeflate(c.data.data() + at, n, at + n == c.data.size(), &stream, c.pixel_bytes,
                   c.row_bytes);
        at += n;
      } while (at < c.data.size());
      const uLong adler = adler32(1, c.data.data(), static_cast<uInt>(c.data.size()));
      for (int shift = 24; shift >= 0; shift -= 8)
        stream.push_back(static_cast<std::uint8_t>(adler >> shift));
      std::vector<std::uint8_t> back(c.data.size() + 1);
      uLongf length = static_cast<uLongf>(back.size());
      ASSERT_EQ(uncompress(back.data(), &length, stream.data(), static_cast<uLong>(stream.size())),
                Z_OK);
      back.resize(length);
      EXPECT_TRUE(back == c.data);
      // A stored block costs 5 bytes (a block holds at most 32768 bytes
      // here), a piece's end 5 more and a stored block of its own.
      EXPECT_LE(stream.size(), c.data.size() + 16 + 8 * (c.data.size() / 32768) +
                                   12 * (c.data.size() / piece + 1));
    }
  }
}

TEST(ParallelDeflate, AFailedSinkIsAFailure) {
  WorkPool pool(2);
  int calls = 0;
  ParallelDeflate deflate(DeflateFor(1, Compression::kDefault), &pool,
                          [&](const std::uint8_t*, std::size_t) { return ++calls < 2; });
  const std::vector<std::uint8_t> input = Input(3 * kPiece);
  std::string error;
  bool ok = deflate.Write(input.data(), input.size(), &error);
  ok = ok && deflate.Finish(&error);
  EXPECT_FALSE(ok);
  EXPECT_FALSE(error.empty());
}

// A drawing larger than several pieces and strips, in bands of 7 rows (so that
// the pieces' boundaries fall inside bands), through each compressed format.
std::vector<std::uint8_t> Encode(ImageFormat format, int bits, Compression effort, int threads,
                                 int width = 1201, int height = 1500) {
  auto band = Bitmap::Create(width, 7, bits);
  if (bits == 1) band->SetColourTable({Rgb(0, 0, 0), Rgb(255, 255, 255)});
  std::vector<std::uint8_t> file;
  ByteSink sink(&file);
  auto encoder = CreateFormatEncoder(format, &sink, {.effort = effort, .threads = threads});
  std::string error;
  EXPECT_TRUE(encoder->Begin({width, height, bits, band->ColourTable(), 300}, &error)) << error;
  for (int first = 0; first < height; first += 7) {
    const int rows = std::min(7, height - first);
    auto part = Bitmap::Create(width, rows, bits);
    if (bits == 1) part->SetColourTable(band->ColourTable());
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < width; ++x) {
        const int row = first + y;
        const bool ink = x == row % width || row % 97 == 0 || (x * 7 + row * 3) % 1013 < 2;
        part->SetValue(x, y, bits == 1 ? (ink ? 0u : 1u) : (ink ? 0x102030u * (x % 5) : 0xFFFFFFu));
      }
    }
    EXPECT_TRUE(encoder->WriteRows(first, *part, &error)) << error;
  }
  EXPECT_TRUE(encoder->Finish(&error)) << error;
  return file;
}

TEST(CompressedEncoders, SameBytesForEveryThreadCount) {
  for (const ImageFormat format : {ImageFormat::kPng, ImageFormat::kTiff, ImageFormat::kPdf}) {
    for (const int bits : {1, 24}) {
      for (const Compression effort : {Compression::kFast, Compression::kDefault}) {
        SCOPED_TRACE(std::string(FormatName(format)) + " " + std::to_string(bits) +
                     " bit, effort " + std::to_string(int(effort)));
        // At 1 bit wide enough for two strips and pieces.
        const int width = bits == 1 ? 6007 : 1201;
        const std::vector<std::uint8_t> one = Encode(format, bits, effort, 1, width);
        EXPECT_GT(one.size(), 100u);
        EXPECT_TRUE(Encode(format, bits, effort, 2, width) == one);
        EXPECT_TRUE(Encode(format, bits, effort, 4, width) == one);
      }
    }
  }
}

// Group 4 strips coded apart are exactly the strips libtiff codes in one file
// (each starts from a white line), and nothing more.
TEST(CompressedEncoders, Group4StripsAreLibtiffsOwn) {
  const std::vector<std::uint8_t> ours =
      Encode(ImageFormat::kTiff, 1, Compression::kDefault, 3, 8000, 2200);
  const std::string path = ::testing::TempDir() + "g4-" + std::to_string(::getpid()) + ".tif";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(ours.data(), 1, ours.size(), file);
  std::fclose(file);
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  std::uint32_t width = 0, height = 0, rows_per_strip = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tiff, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(TIFFScanlineSize(tiff)) * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    ASSERT_EQ(TIFFReadScanline(tiff, pixels.data() + y * TIFFScanlineSize(tiff), y), 1);
  }
  const std::string again = path + ".libtiff";
  TIFF* reference = TIFFOpen(again.c_str(), "w");
  ASSERT_NE(reference, nullptr);
  TIFFSetField(reference, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(reference, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(reference, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
  TIFFSetField(reference, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(reference, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(reference, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(reference, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  for (std::uint32_t y = 0; y < height; ++y) {
    TIFFWriteScanline(reference, pixels.data() + y * TIFFScanlineSize(tiff), y, 0);
  }
  TIFFClose(reference);
  reference = TIFFOpen(again.c_str(), "r");
  ASSERT_NE(reference, nullptr);
  ASSERT_GT(TIFFNumberOfStrips(tiff), 2u);
  ASSERT_EQ(TIFFNumberOfStrips(tiff), TIFFNumberOfStrips(reference));
  for (std::uint32_t strip = 0; strip < TIFFNumberOfStrips(tiff); ++strip) {
    const auto size = static_cast<std::size_t>(TIFFGetStrileByteCount(reference, strip));
    ASSERT_EQ(TIFFGetStrileByteCount(tiff, strip), size) << "strip " << strip;
    std::vector<std::uint8_t> a(size), b(size);
    TIFFReadRawStrip(tiff, strip, a.data(), static_cast<tmsize_t>(size));
    TIFFReadRawStrip(reference, strip, b.data(), static_cast<tmsize_t>(size));
    EXPECT_TRUE(a == b) << "strip " << strip;
  }
  TIFFClose(reference);
  TIFFClose(tiff);
  std::remove(path.c_str());
  std::remove(again.c_str());
}

}  // namespace
}  // namespace pelmora
