#include "output/parallel_deflate.h"

#include "output/run_deflate.h"

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

// The best effort for a TIFF strip: libdeflate's levels 10 to 12 search for
// the optimal parse, and spend ten minutes on the dense sheet for a few per cent.
constexpr int kBestLibdeflateLevel = 9;

}  // namespace

// Measured on the dense A0 sample at 360 dpi (bench_deflate), Up-filtered RGB
// rows in 1 MiB pieces on one thread: RunDeflate gives 31.5 MB in 0.5 s, where
// zlib's level 6 gives 34.8 MB in 9 s and its run-length strategy 35.1 MB in
// 1.7 s (a coloured line repeats its pixel, which zlib's fast levels do not
// look for). The best effort also tries zlib's level 9 on every piece and
// keeps the smaller.
// The fast effort seeks repeats of the byte before only: a tenth less time, a
// tenth larger.
DeflateSetting DeflateFor(int bits, Compression effort) {
  return {bits > 8 && effort != Compression::kFast ? 3 : 1, effort == Compression::kBest ? 9 : 0};
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
    if (how.zlib_level != 0 && !ZlibSmaller(how.zlib_level)) failed = true;
    std::vector<std::uint8_t>().swap(input);
    std::vector<std::uint8_t>().swap(dictionary);
  }

  // zlib at `level` in place of the output where that is smaller; false when
  // zlib failed.
  bool ZlibSmaller(int level) {
    z_stream zip{};
    // Raw deflate: the stream's header and check value are written once, by
    // the thread that joins the pieces.
    if (deflateInit2(&zip, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    if (!dictionary.empty()) {
      deflateSetDictionary(&zip, dictionary.data(), static_cast<uInt>(dictionary.size()));
    }
    // Into the thread's own buffer, kept between pieces: a new buffer of the
    // bound for every piece would be cleared and faulted in for nothing. The
    // bound leaves out a flush's few bytes; the loop grows the rest.
    thread_local std::vector<std::uint8_t> scratch;
    const std::size_t bound = deflateBound(&zip, static_cast<uLong>(input.size())) + 64;
    if (scratch.size() < bound) scratch.resize(bound);
    zip.next_in = input.data();
    zip.avail_in = static_cast<uInt>(input.size());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    bool ok = true;
    for (;;) {
      zip.next_out = scratch.data() + zip.total_out;
      zip.avail_out = static_cast<uInt>(scratch.size() - zip.total_out);
      const int result = deflate(&zip, flush);
      if (result == Z_STREAM_ERROR) {
        ok = false;
        break;
      }
      if (last ? result == Z_STREAM_END : zip.avail_out != 0) break;
      scratch.resize(scratch.size() * 2);
    }
    if (ok && zip.total_out < output.size()) {
      output.assign(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(zip.total_out));
    }
    deflateEnd(&zip);
    return ok;
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
  // RunDeflate's pieces refer to nothing before them; zlib's may.
  const std::size_t keep =
      m_setting.zlib_level == 0 ? 0 : std::min(kDictionaryBytes, piece->input.size());
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
    const std::uint8_t header[2] = {
        0x78, m_setting.zlib_level >= 7 ? std::uint8_t{0xDA} : std::uint8_t{0x01}};
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

std::vector<std::uint8_t> DeflateWhole(const std::uint8_t* data, std::size_t size, int pixel_bytes,
                                       std::size_t row_bytes, Compression effort) {
  // CMF 0x78: deflate with a 32 KiB window; FLG 0x01: the fastest level class.
  std::vector<std::uint8_t> out = {0x78, 0x01};
  RunDeflate(data, size, true, &out, pixel_bytes, row_bytes);
  const std::uint32_t adler = libdeflate_adler32(1, data, size);
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(adler >> shift));
  }
  if (effort != Compression::kBest) return out;
  // A compressor per thread, kept: setting one up costs more than a small strip.
  using Compressor = std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)>;
  thread_local Compressor compressor(nullptr, &libdeflate_free_compressor);
  if (!compressor) compressor.reset(libdeflate_alloc_compressor(kBestLibdeflateLevel));
  if (!compressor) throw std::bad_alloc();
  // Into the thread's own buffer, then copied at its size (as ParallelDeflate).
  thread_local std::vector<std::uint8_t> scratch;
  const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), size);
  if (scratch.size() < bound) scratch.resize(bound);
  const std::size_t n =
      libdeflate_zlib_compress(compressor.get(), data, size, scratch.data(), scratch.size());
  if (n == 0) throw std::bad_alloc();  // cannot happen within the bound
  if (n < out.size()) out.assign(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(n));
  return out;
}

}  // namespace pelmora
