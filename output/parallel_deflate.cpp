#include "output/parallel_deflate.h"

#include "output/run_deflate.h"

#include <libdeflate.h>
#include <zlib.h>
#include <zopfli/deflate.h>
#include <zopfli/zopfli.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>

namespace pelmora {
namespace {

// The window a piece may reach back into: deflate's whole 32 KiB.
constexpr std::size_t kDictionaryBytes = std::size_t{32} << 10;

// `data[start, end)` as deflate blocks through Zopfli, which may refer back
// into `data[0, start)`; the last of a stream's pieces ends with the final
// block, the others on a byte boundary (an empty stored block). One pass of
// Zopfli's: on the floor-plan sample it gives 129.2 KB where fifteen give
// 127.9 KB in three times the time, and zlib's level 9 157.9 KB.
std::vector<std::uint8_t> ZopfliPiece(const std::uint8_t* data, std::size_t start, std::size_t end,
                                      bool last) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = 1;
  unsigned char* out = nullptr;
  std::size_t size = 0;
  unsigned char bit = 0;  // the next bit's place in the last byte; 0: a new byte
  ZopfliDeflatePart(&options, 2, last ? 1 : 0, data, start, end, &bit, &out, &size);
  std::vector<std::uint8_t> piece(out, out + size);
  std::free(out);
  if (!last) {
    // Zopfli leaves the unused bits 0: a stored block's header (3 bits of 0)
    // fits in them or takes a new byte, and the rest of that byte is padding.
    if (bit == 0 || bit > 5) piece.push_back(0);
    piece.insert(piece.end(), {0x00, 0x00, 0xFF, 0xFF});
  }
  return piece;
}

}  // namespace

// Measured on the dense A0 sample at 360 dpi (bench_deflate), Up-filtered RGB
// rows in 1 MiB pieces on one thread: RunDeflate gives 31.5 MB in 0.5 s, where
// zlib's level 6 gives 34.8 MB in 9 s and its run-length strategy 35.1 MB in
// 1.7 s (a coloured line repeats its pixel, which zlib's fast levels do not
// look for). The fast effort seeks repeats of the byte before only: a tenth
// less time, a tenth larger. The best effort also tries Zopfli on every piece
// and keeps the smaller.
DeflateSetting DeflateFor(int bits, Compression effort) {
  return {bits > 8 && effort != Compression::kFast ? 3 : 1, effort == Compression::kBest};
}

int CompressThreads(int threads) {
  if (threads > 0) return threads;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

WorkPool::WorkPool(int threads) : m_threads(CompressThreads(threads)) {
  if (m_threads == 1) return;
  m_workers.reserve(static_cast<std::size_t>(m_threads));
  for (int i = 0; i < m_threads; ++i) m_workers.emplace_back([this] { Work(); });
}

WorkPool::~WorkPool() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  for (std::thread& worker : m_workers) worker.join();
}

std::future<void> WorkPool::Submit(std::function<void()> job) {
  std::packaged_task<void()> task(std::move(job));
  std::future<void> done = task.get_future();
  if (m_workers.empty()) {
    task();
    return done;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.push_back(std::move(task));
  }
  m_wake.notify_one();
  return done;
}

void WorkPool::Work() {
  for (;;) {
    std::packaged_task<void()> task;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
      // Jobs left at the stop belong to an encoder being destroyed; their
      // futures are dropped unread.
      if (m_jobs.empty()) return;
      task = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    task();
  }
}

struct ParallelDeflate::Piece {
  std::vector<std::uint8_t> input;
  std::vector<std::uint8_t> dictionary;
  std::vector<std::uint8_t> output;
  std::size_t input_size = 0;
  std::uint32_t adler = 1;
  bool last = false;
  bool failed = false;

  void Compress(DeflateSetting how) {
    input_size = input.size();
    adler = libdeflate_adler32(1, input.data(), input.size());
    RunDeflate(input.data(), input.size(), last, &output, how.pixel_bytes);
    if (how.optimal) ZopfliSmaller();
    std::vector<std::uint8_t>().swap(input);
    std::vector<std::uint8_t>().swap(dictionary);
  }

  // Zopfli's in place of the output where that is smaller: its blocks may
  // refer into the dictionary, and end on a byte boundary as RunDeflate's do.
  void ZopfliSmaller() {
    std::vector<std::uint8_t> window(dictionary);
    window.insert(window.end(), input.begin(), input.end());
    const std::vector<std::uint8_t> best =
        ZopfliPiece(window.data(), dictionary.size(), window.size(), last);
    if (best.size() < output.size()) output = best;
  }
};

ParallelDeflate::ParallelDeflate(DeflateSetting setting, WorkPool* pool, Sink sink)
    : m_setting(setting), m_pool(pool), m_sink(std::move(sink)) {}

ParallelDeflate::~ParallelDeflate() {
  // The pieces still being compressed refer to their own memory only; waiting
  // for them keeps the pool's jobs from outliving nothing they need.
  for (auto& pending : m_pending) pending.first.wait();
}

bool ParallelDeflate::Write(const std::uint8_t* data, std::size_t size, std::string* error) {
  try {
    while (size > 0) {
      if (!m_filling) {
        m_filling = std::make_shared<Piece>();
        m_filling->input.reserve(kPieceBytes);
      }
      const std::size_t n = std::min(size, kPieceBytes - m_filling->input.size());
      m_filling->input.insert(m_filling->input.end(), data, data + n);
      data += n;
      size -= n;
      if (m_filling->input.size() == kPieceBytes && !Submit(false, error)) return false;
    }
  } catch (const std::bad_alloc&) {
    *error = "not enough memory to compress the image";
    return false;
  }
  return true;
}

bool ParallelDeflate::Submit(bool last, std::string* error) {
  if (!m_filling) m_filling = std::make_shared<Piece>();
  std::shared_ptr<Piece> piece = std::move(m_filling);
  piece->last = last;
  // RunDeflate's pieces refer to nothing before them; Zopfli's may.
  const std::size_t keep = m_setting.optimal ? std::min(kDictionaryBytes, piece->input.size()) : 0;
  std::vector<std::uint8_t> next_dictionary(piece->input.end() - static_cast<std::ptrdiff_t>(keep),
                                            piece->input.end());
  const DeflateSetting setting = m_setting;
  m_pending.emplace_back(m_pool->Submit([piece, setting] { piece->Compress(setting); }), piece);
  if (!last) {
    m_filling = std::make_shared<Piece>();
    m_filling->input.reserve(kPieceBytes);
    m_filling->dictionary = std::move(next_dictionary);
  }
  while (m_pending.size() > m_pool->InFlight()) {
    if (!WriteOldest(error)) return false;
  }
  return true;
}

bool ParallelDeflate::WriteOldest(std::string* error) {
  auto [done, piece] = std::move(m_pending.front());
  m_pending.pop_front();
  try {
    done.get();
  } catch (const std::exception&) {  // memory, or a job the pool dropped
    piece->failed = true;
  }
  if (piece->failed) {
    *error = "the image's compression failed";
    return false;
  }
  if (!m_started) {
    // CMF 0x78: deflate with a 32 KiB window; FLG: the level class and the check bits.
    const std::uint8_t header[2] = {0x78,
                                    m_setting.optimal ? std::uint8_t{0xDA} : std::uint8_t{0x01}};
    if (!m_sink(header, 2)) return Unwritten(error);
    m_started = true;
  }
  m_adler = static_cast<std::uint32_t>(
      adler32_combine(m_adler, piece->adler, static_cast<z_off_t>(piece->input_size)));
  if (!piece->output.empty() && !m_sink(piece->output.data(), piece->output.size())) {
    return Unwritten(error);
  }
  if (piece->last) {
    const std::uint8_t check[4] = {
        static_cast<std::uint8_t>(m_adler >> 24), static_cast<std::uint8_t>(m_adler >> 16),
        static_cast<std::uint8_t>(m_adler >> 8), static_cast<std::uint8_t>(m_adler)};
    if (!m_sink(check, 4)) return Unwritten(error);
  }
  return true;
}

bool ParallelDeflate::Unwritten(std::string* error) {
  *error = "the compressed image could not be written";
  return false;
}

bool ParallelDeflate::Finish(std::string* error) {
  try {
    if (!Submit(true, error)) return false;
  } catch (const std::bad_alloc&) {
    *error = "not enough memory to compress the image";
    return false;
  }
  while (!m_pending.empty()) {
    if (!WriteOldest(error)) return false;
  }
  return true;
}

std::vector<std::uint8_t> DeflateWhole(const std::uint8_t* data, std::size_t size,
                                       DeflateSetting setting, std::size_t row_bytes) {
  // CMF 0x78: deflate with a 32 KiB window; FLG 0x01: the fastest level class.
  std::vector<std::uint8_t> out = {0x78, 0x01};
  RunDeflate(data, size, true, &out, setting.pixel_bytes, row_bytes);
  const std::uint32_t adler = libdeflate_adler32(1, data, size);
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(adler >> shift));
  }
  if (!setting.optimal) return out;
  std::vector<std::uint8_t> best = {0x78, 0xDA};  // FLG 0xDA: the slowest level class
  const std::vector<std::uint8_t> blocks = ZopfliPiece(data, 0, size, true);
  if (best.size() + blocks.size() + 4 >= out.size()) return out;
  best.insert(best.end(), blocks.begin(), blocks.end());
  best.insert(best.end(), out.end() - 4, out.end());  // the same Adler-32
  return best;
}

}  // namespace pelmora
