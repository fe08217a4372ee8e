// The choices behind the compressed encoders, on the dense A0 sample at 360 dpi:
// each PNG row filter with each deflate (zlib at several levels and run-length
// only, in the encoders' 1 MiB pieces with the previous 32 KiB as dictionary;
// libdeflate on whole 1 MiB pieces, as a TIFF strip; RunDeflate), one thread: the CPU time
// of filtering and compressing, and the compressed size. Also the 1-bit sheet in
// Group 4, by libtiff's encoder and by ours, in the TIFF encoder's strips.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/sample_drawing.h"
#include "output/format_encoders.h"
#include "output/group4.h"
#include "output/row_filter.h"
#include "output/run_deflate.h"
#include "tests/support/libtiff_group4.h"

namespace pelmora {
namespace {

// The sheet's rows as the encoders see them: 8-bit RGB or packed indices.
struct Rows {
  std::vector<std::uint8_t> bytes;
  std::size_t row_bytes = 0;
  int width = 0;
  int height = 0;
  bool zero_is_black = false;
};

const Rows& Sheet(int bits) {
  static Rows cache[2];
  Rows& rows = cache[bits == 24];
  if (!rows.bytes.empty()) return rows;
  SampleDrawing& sample = DenseA0();
  sample.settings.ColorMode = bits;
  sample.settings.dpi = 360;
  const OutputGeometry g = sample.Sheet(360);
  DrawImage(sample.Context([&](const Bitmap& image, std::string*) {
    rows.row_bytes = bits == 24 ? static_cast<std::size_t>(image.Width()) * 3
                                : (static_cast<std::size_t>(image.Width()) + 7) / 8;
    rows.width = image.Width();
    rows.height = image.Height();
    rows.zero_is_black = bits == 1 && image.ColourTable()[0] == Rgb(0, 0, 0);
    rows.bytes.resize(rows.row_bytes * static_cast<std::size_t>(image.Height()));
    for (int y = 0; y < image.Height(); ++y) {
      std::uint8_t* out = rows.bytes.data() + rows.row_bytes * static_cast<std::size_t>(y);
      if (bits == 24) {
        RowToRgb(image.Row(y), image.Width(), 24, out);
      } else {
        CleanIndexedRow(image.Row(y), image.Width(), 1, out);
      }
    }
    return true;
  }),
            g.width, g.height, g.originX, g.originY, g.scale, kRenderFile);
  return rows;
}

enum Method {
  kZlib1,
  kZlib3,
  kZlib6,
  kZlib9,
  kZlibRle,
  kLibdeflate1,
  kLibdeflate2,
  kLibdeflate4,
  kLibdeflate6,
  kLibdeflate12,
  kRunByte,   // RunDeflate, repeats of the byte before
  kRunPixel,  // and of the pixel before
};
const char* const kMethodNames[] = {"zlib-1",       "zlib-3",        "zlib-6",       "zlib-9",
                                    "zlib-rle",     "libdeflate-1",  "libdeflate-2", "libdeflate-4",
                                    "libdeflate-6", "libdeflate-12", "run-byte",     "run-pixel"};
const char* const kFilterNames[] = {"none", "sub", "up", "average", "paeth", "adaptive", "raw"};

std::size_t ZlibPiece(const std::vector<std::uint8_t>& in, std::size_t start, std::size_t size,
                      int level, int strategy, std::vector<std::uint8_t>* out) {
  z_stream zip{};
  deflateInit2(&zip, level, Z_DEFLATED, -15, 9, strategy);
  if (start > 0) {
    const std::size_t keep = std::min<std::size_t>(start, 32768);
    deflateSetDictionary(&zip, in.data() + start - keep, static_cast<uInt>(keep));
  }
  out->resize(deflateBound(&zip, size) + 64);
  zip.next_in = const_cast<Bytef*>(in.data() + start);
  zip.avail_in = static_cast<uInt>(size);
  zip.next_out = out->data();
  zip.avail_out = static_cast<uInt>(out->size());
  deflate(&zip, Z_SYNC_FLUSH);
  const std::size_t n = zip.total_out;
  deflateEnd(&zip);
  return n;
}

// Arguments: bits, filter (RowFilter, or 6: raw rows without filter bytes), method.
void BM_FilterAndDeflate(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const int filter = static_cast<int>(state.range(1));
  const auto method = static_cast<Method>(state.range(2));
  const Rows& rows = Sheet(bits);
  std::size_t compressed = 0, input = 0;
  for (auto _ : state) {
    std::vector<std::uint8_t> filtered;
    filtered.reserve(rows.bytes.size() + static_cast<std::size_t>(rows.height));
    if (filter == 6) {
      filtered = rows.bytes;
    } else {
      RowFilterer filterer(rows.row_bytes, bits == 24 ? 3 : 1, static_cast<RowFilter>(filter));
      for (int y = 0; y < rows.height; ++y) {
        std::memcpy(filterer.Row(),
                    rows.bytes.data() + rows.row_bytes * static_cast<std::size_t>(y),
                    rows.row_bytes);
        const auto& f = filterer.Filter();
        filtered.insert(filtered.end(), f.begin(), f.end());
      }
    }
    input = filtered.size();
    compressed = 0;
    std::vector<std::uint8_t> out;
    static const int kLevels[] = {1, 2, 4, 6, 12};
    std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> ld(
        method >= kLibdeflate1 ? libdeflate_alloc_compressor(kLevels[method - kLibdeflate1])
                               : nullptr,
        &libdeflate_free_compressor);
    for (std::size_t start = 0; start < filtered.size(); start += std::size_t{1} << 20) {
      const std::size_t size = std::min(filtered.size() - start, std::size_t{1} << 20);
      switch (method) {
        case kZlib1:
          compressed += ZlibPiece(filtered, start, size, 1, Z_DEFAULT_STRATEGY, &out);
          break;
        case kZlib3:
          compressed += ZlibPiece(filtered, start, size, 3, Z_DEFAULT_STRATEGY, &out);
          break;
        case kZlib6:
          compressed += ZlibPiece(filtered, start, size, 6, Z_DEFAULT_STRATEGY, &out);
          break;
        case kZlib9:
          compressed += ZlibPiece(filtered, start, size, 9, Z_DEFAULT_STRATEGY, &out);
          break;
        case kZlibRle:
          compressed += ZlibPiece(filtered, start, size, 1, Z_RLE, &out);
          break;
        case kRunByte:
        case kRunPixel:
          out.clear();
          RunDeflate(filtered.data() + start, size, start + size == filtered.size(), &out,
                     method == kRunPixel && bits == 24 ? 3 : 1);
          compressed += out.size();
          break;
        default:
          out.resize(libdeflate_zlib_compress_bound(ld.get(), size));
          compressed += libdeflate_zlib_compress(ld.get(), filtered.data() + start, size,
                                                 out.data(), out.size());
      }
    }
  }
  state.SetLabel(std::to_string(bits) + " bit, " + kFilterNames[filter] + ", " +
                 kMethodNames[method]);
  state.counters["MB"] = static_cast<double>(compressed) / 1e6;
  state.counters["in_MB"] = static_cast<double>(input) / 1e6;
}

BENCHMARK(BM_FilterAndDeflate)
    ->ArgsProduct({{24}, {0, 1, 2, 4, 5}, {kZlib1, kZlibRle, kLibdeflate1, kRunByte, kRunPixel}})
    ->ArgsProduct({{24}, {1, 2}, {kZlib6, kZlib9, kLibdeflate12}})
    ->ArgsProduct({{1},
                   {6, 1, 2, 5},
                   {kZlib1, kZlib6, kZlib9, kZlibRle, kLibdeflate1, kLibdeflate12, kRunByte}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();

// Arguments: 0 libtiff's encoder, 1 EncodeGroup4; strips of at most 1 MiB of rows.
void BM_Group4(benchmark::State& state) {
  const bool ours = state.range(0) == 1;
  const Rows& sheet = Sheet(1);
  // As the TIFF encoder hands them over: 0 bits white.
  std::vector<std::uint8_t> bits = sheet.bytes;
  if (sheet.zero_is_black) {
    for (std::uint8_t& byte : bits) byte = static_cast<std::uint8_t>(~byte);
  }
  const int strip_rows = static_cast<int>(std::max<std::size_t>(1, (1u << 20) / sheet.row_bytes));
  std::size_t compressed = 0;
  for (auto _ : state) {
    compressed = 0;
    for (int y = 0; y < sheet.height; y += strip_rows) {
      const int rows = std::min(strip_rows, sheet.height - y);
      std::uint8_t* strip = bits.data() + sheet.row_bytes * static_cast<std::size_t>(y);
      compressed += (ours ? EncodeGroup4(strip, sheet.row_bytes, sheet.width, rows)
                          : LibtiffGroup4Strip(strip, sheet.width, rows))
                        .size();
    }
  }
  state.SetLabel(ours ? "Group 4, ours" : "Group 4, libtiff");
  state.counters["MB"] = static_cast<double>(compressed) / 1e6;
}

BENCHMARK(BM_Group4)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
