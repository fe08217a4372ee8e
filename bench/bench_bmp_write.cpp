// Throughput of the bitmap file writer: encoding in memory and writing a file
// (temporary file, fsync, rename) for images of the sizes a save produces.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "output/bmp_writer.h"
#include "platform/raster/bitmap.h"

namespace pelmora {
namespace {

// An A4 sheet at 300 dpi, filled so that no page of it is left untouched.
std::unique_ptr<Bitmap> A4At300(int bits) {
  auto image = Bitmap::Create(3508, 2480, bits);
  for (int y = 0; y < image->Height(); ++y) {
    std::uint8_t* row = image->Row(y);
    for (std::size_t i = 0; i < image->Stride(); ++i) row[i] = static_cast<std::uint8_t>(i + y);
  }
  return image;
}

void BM_EncodeBmp(benchmark::State& state) {
  const auto image = A4At300(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> bytes;
  for (auto _ : state) {
    EncodeBmp(*image, 300, &bytes);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_EncodeBmp)->Arg(1)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_WriteBmpFile(benchmark::State& state) {
  const auto image = A4At300(static_cast<int>(state.range(0)));
  const char* folder = std::getenv("TMPDIR");
  const std::string path = std::string(folder ? folder : "/tmp") + "/pelmora-bench-" +
                           std::to_string(::getpid()) + ".bmp";
  std::uint64_t size = 0;
  for (auto _ : state) {
    const BmpWriteResult result = WriteBmpFile(*image, 300, path);
    if (!result.ok()) {
      state.SkipWithError(result.reason.c_str());
      break;
    }
    size = BmpLayoutFor(image->Width(), image->Height(), image->BitsPerPixel())->file_size;
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(size));
}
BENCHMARK(BM_WriteBmpFile)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
