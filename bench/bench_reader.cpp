// Loading the A0 sample (50 000 lines, 10 000 arcs, 2 000 texts, 10 000 dots)
// and decoding every record, as one preview render walks them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "drawing/jwcunit.h"

namespace pelmora {
namespace {

const std::filesystem::path kSample =
    std::filesystem::path(PELMORA_SOURCE_DIR) / "samples" / "a0-large.jwc";

std::vector<std::byte> ReadSample() {
  std::ifstream file(kSample, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), {});
  const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
  return {data, data + bytes.size()};
}

std::int64_t Entities(const Tjwcin& reader) {
  return std::int64_t{reader.JwcLineCount()} + reader.JwcArcCount() + reader.JwcTextCount() +
         reader.JwcDotCount();
}

void DecodeAll(const Tjwcin& reader) {
  TJwcLine line;
  TJwcArc arc;
  TJwcText text;
  TJwcDot dot;
  for (int i = 0; i < reader.JwcLineCount(); ++i) reader.JwcLineData(i, line);
  for (int i = 0; i < reader.JwcArcCount(); ++i) reader.JwcArcData(i, arc);
  for (int i = 0; i < reader.JwcTextCount(); ++i) reader.JwcTextData(i, text);
  for (int i = 0; i < reader.JwcDotCount(); ++i) reader.JwcDotData(i, dot);
  benchmark::DoNotOptimize(line);
  benchmark::DoNotOptimize(arc);
  benchmark::DoNotOptimize(text);
  benchmark::DoNotOptimize(dot);
}

void BM_LoadFile(benchmark::State& state) {
  Tjwcin reader;
  for (auto _ : state) {
    if (reader.JwcLoadFile(kSample) != 0) state.SkipWithError(reader.LastError().c_str());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(kSample)));
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);

void BM_LoadBytes(benchmark::State& state) {
  const std::vector<std::byte> image = ReadSample();
  Tjwcin reader;
  for (auto _ : state) {
    if (reader.JwcLoadBytes(image) != 0) state.SkipWithError(reader.LastError().c_str());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}
BENCHMARK(BM_LoadBytes)->Unit(benchmark::kMillisecond);

// Read mode 0 (drawing units, what the program uses) and 1 (full-size mm).
void BM_DecodeAll(benchmark::State& state) {
  Tjwcin reader;
  if (reader.JwcLoadFile(kSample) != 0) state.SkipWithError(reader.LastError().c_str());
  reader.JwcReadMode(static_cast<std::int32_t>(state.range(0)));
  for (auto _ : state) DecodeAll(reader);
  state.SetItemsProcessed(state.iterations() * Entities(reader));
}
BENCHMARK(BM_DecodeAll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LoadFileAndDecodeAll(benchmark::State& state) {
  Tjwcin reader;
  for (auto _ : state) {
    if (reader.JwcLoadFile(kSample) != 0) state.SkipWithError(reader.LastError().c_str());
    DecodeAll(reader);
  }
  state.SetItemsProcessed(state.iterations() * Entities(reader));
}
BENCHMARK(BM_LoadFileAndDecodeAll)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelmora

BENCHMARK_MAIN();
