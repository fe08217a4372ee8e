#include "output/parallel_deflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

namespace pelmora {
namespace {

// The window a piece may reach back into: deflate's whole 32 KiB.
constexpr std::size_t kDictionaryBytes = std::size_t{32} << 10;

// On the dense A0 sample's rows after TIFF's horizontal differencing, in 1 MiB
// strips (bench_deflate), libdeflate level 1 gives 40.7 MB where zlib's
// run-length matching gives the same for a quarter more time; level 2 gives
// 39.9 MB, within a tenth of zlib's level 6 (36.5 MB), for little more time.
// The best effort takes level 9: levels 10 to 12 search for the optimal parse,
// and spend ten minutes on that sample for a few per cent.
int LibdeflateLevel(Compression effort) {
  switch (effort) {
    case Compression::kFast:
      return 1;
    case Compression::kDefault:
      return 2;
    case Compression::kBest:
      return 9;
  }
  return 2;
}

}  // namespace

// Chosen by measurement on the dense A0 sample at 360 dpi (bench_deflate), Up
// filtered rows in 1 MiB pieces: at 24 bits zlib's run-length matching gives
// 35.1 MB where level 1 gives 51.6 MB and level 6 34.6 MB for four times the
// time (white paper and vertical lines are runs of zeros); 1-bit rows pack
// eight pixels a byte and leave fewer runs, where level 1 gives 15.0 MB for
// 0.6 s of CPU and level 6 14.3 MB for six times that.
DeflateSetting DeflateFor(int bits, Compression effort) {
  switch (effort) {
    case Compression::kFast:
      return {1, Z_RLE};
    case Compression::kDefault:
      return bits > 8 ? DeflateSetting{1, Z_RLE} : DeflateSetting{1, Z_DEFAULT_STRATEGY};
    case Compression::kBest:
      return {9, Z_DEFAULT_STRATEGY};
  }
  return {1, Z_DEFAULT_STRATEGY};
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
    z_stream zip{};
    // Raw deflate: the stream's header and check value are written once, by
    // the thread that joins the pieces.
    if (deflateInit2(&zip, how.level, Z_DEFLATED, -15, 8, how.strategy) != Z_OK) {
      failed = true;
      return;
    }
    if (!dictionary.empty()) {
      deflateSetDictionary(&zip, dictionary.data(), static_cast<uInt>(dictionary.size()));
    }
    // Compressed into the thread's own buffer, kept between pieces, then
    // copied at its size: a new buffer of the bound for every piece would be
    // cleared and faulted in for nothing. The bound leaves out a flush's few
    // bytes; the loop grows the rest.
    thread_local std::vector<std::uint8_t> scratch;
    const std::size_t bound = deflateBound(&zip, static_cast<uLong>(input.size())) + 64;
    if (scratch.size() < bound) scratch.resize(bound);
    zip.next_in = input.data();
    zip.avail_in = static_cast<uInt>(input.size());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      zip.next_out = scratch.data() + zip.total_out;
      zip.avail_out = static_cast<uInt>(scratch.size() - zip.total_out);
      const int result = deflate(&zip, flush);
      if (result == Z_STREAM_ERROR) {
        failed = true;
        break;
      }
      if (last ? result == Z_STREAM_END : zip.avail_out != 0) break;
      scratch.resize(scratch.size() * 2);
    }
    output.assign(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(zip.total_out));
    deflateEnd(&zip);
    std::vector<std::uint8_t>().swap(input);
    std::vector<std::uint8_t>().swap(dictionary);
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
  const std::size_t keep = std::min(kDictionaryBytes, piece->input.size());
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
                                    m_setting.level >= 7 ? std::uint8_t{0xDA} : std::uint8_t{0x01}};
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
                                       Compression effort) {
  // One compressor per thread and level, kept: setting one up costs more than
  // a small strip.
  using Compressor = std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)>;
  thread_local Compressor compressor(nullptr, &libdeflate_free_compressor);
  thread_local int compressor_level = -1;
  const int level = LibdeflateLevel(effort);
  if (!compressor || compressor_level != level) {
    compressor.reset(libdeflate_alloc_compressor(level));
    compressor_level = level;
  }
  if (!compressor) throw std::bad_alloc();
  // Into the thread's own buffer, then copied at its size (as ParallelDeflate).
  thread_local std::vector<std::uint8_t> scratch;
  const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), size);
  if (scratch.size() < bound) scratch.resize(bound);
  const std::size_t n =
      libdeflate_zlib_compress(compressor.get(), data, size, scratch.data(), scratch.size());
  if (n == 0) throw std::bad_alloc();  // cannot happen within the bound
  return std::vector<std::uint8_t>(scratch.begin(),
                                   scratch.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace pelmora
