// Compression on all cores with bytes that do not depend on how many there are.
//
// WorkPool runs jobs on worker threads; the encoder keeps the futures in order
// and writes each result when its turn comes, so the file is written front to
// back by the calling thread alone.
//
// ParallelDeflate makes one zlib stream (a PNG's IDAT, a PDF's Flate stream) from
// fixed-size pieces of its input compressed at once: each piece is primed with
// the 32 KiB of input before it, ends on a byte boundary (sync flush) so that the
// pieces join, and the Adler-32 values are combined. The pieces' boundaries
// depend on the input alone, never on the thread count.
//
// DeflateWhole compresses a whole buffer as one zlib stream (a TIFF strip).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "output/image_format.h"

namespace pelmora {

// What the compressed encoders are told besides the image.
struct CompressOptions {
  Compression effort = Compression::kDefault;
  int threads = 0;  // 0: one per core
};

class WorkPool {
 public:
  // `threads` jobs at once; 1 runs every job on the caller, at Submit.
  explicit WorkPool(int threads);
  ~WorkPool();
  WorkPool(const WorkPool&) = delete;
  WorkPool& operator=(const WorkPool&) = delete;

  std::future<void> Submit(std::function<void()> job);
  int Threads() const { return m_threads; }
  // Jobs an encoder keeps in flight: enough to keep every thread busy while the
  // oldest is written, few enough that memory stays a few pieces per thread.
  std::size_t InFlight() const { return static_cast<std::size_t>(2 * m_threads + 1); }

 private:
  void Work();

  int m_threads;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::packaged_task<void()>> m_jobs;
  bool m_stop = false;
  std::vector<std::thread> m_workers;
};

// The thread count to use: `threads`, or the cores when 0.
int CompressThreads(int threads);

// How each piece is compressed: RunDeflate, seeking repeats of the byte and
// of the pixel before; then, if `optimal`, Zopfli (which may refer into the
// 32 KiB before the piece), keeping the smaller.
struct DeflateSetting {
  int pixel_bytes = 1;
  bool optimal = false;
};
// The setting for rows of `bits` per pixel (8-bit RGB above 8) at an effort.
DeflateSetting DeflateFor(int bits, Compression effort);

class ParallelDeflate {
 public:
  // Receives the stream's bytes in order, on the calling thread; false stops.
  using Sink = std::function<bool(const std::uint8_t* data, std::size_t size)>;
  // Input bytes per piece.
  static constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

  ParallelDeflate(DeflateSetting setting, WorkPool* pool, Sink sink);
  ~ParallelDeflate();

  // Appends input; full pieces go to the pool.
  bool Write(const std::uint8_t* data, std::size_t size, std::string* error);
  // Compresses the rest, writes every piece and the Adler-32.
  bool Finish(std::string* error);

 private:
  struct Piece;
  bool Submit(bool last, std::string* error);
  bool WriteOldest(std::string* error);
  static bool Unwritten(std::string* error);

  DeflateSetting m_setting;
  WorkPool* m_pool;
  Sink m_sink;
  std::shared_ptr<Piece> m_filling;
  std::deque<std::pair<std::future<void>, std::shared_ptr<Piece>>> m_pending;
  std::uint32_t m_adler = 1;
  bool m_started = false;
};

// `data` as one zlib stream, compressed as a piece would be, the repeats of
// the row `row_bytes` before (0: none) sought too.
// Throws std::bad_alloc when memory runs out.
std::vector<std::uint8_t> DeflateWhole(const std::uint8_t* data, std::size_t size,
                                       DeflateSetting setting, std::size_t row_bytes);

}  // namespace pelmora
