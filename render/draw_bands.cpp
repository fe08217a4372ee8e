// The output render in bands: each band is a bitmap of the image's width whose
// canvas paints only its own rows, rendered by a pass over the whole drawing
// (render_pass.h); worker threads render bands ahead while the calling thread
// hands finished bands to the encoder in order.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "drawing/jwcunit.h"
#include "platform/fonts/font_rasterizer.h"
#include "platform/raster/image_encoder.h"
#include "render/draw_image.h"
#include "render/palettes.h"
#include "render/render_pass.h"

namespace pelmora {
namespace {

// Bytes of pixels a band holds when the caller leaves its height open: small
// enough that the few bands in flight stay far below the whole image, large
// enough that an entity seldom spans many bands (each band it meets visits its
// chords and dashes again).
constexpr std::uint64_t kBandBytes = std::uint64_t{24} << 20;
// Bands per thread at least, so that the threads finish close together.
constexpr int kBandsPerThread = 4;
// How often the calling thread looks at the workers' progress while it waits.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

// Glyph rasterisers kept between renders, so that faces and glyphs are loaded
// once per thread that draws, not once per render. Each is used by one thread
// at a time (FreeType faces are not thread-safe).
class RasterizerPool {
 public:
  std::unique_ptr<FontRasterizer> Take() {
    std::unique_ptr<FontRasterizer> rasterizer;
    {
      std::lock_guard lock(m_mutex);
      if (!m_free.empty()) {
        rasterizer = std::move(m_free.back());
        m_free.pop_back();
      }
    }
    if (!rasterizer) rasterizer = std::make_unique<FontRasterizer>();
    rasterizer->ClearSubstitutions();
    return rasterizer;
  }

  void Give(std::unique_ptr<FontRasterizer> rasterizer) {
    std::lock_guard lock(m_mutex);
    m_free.push_back(std::move(rasterizer));
  }

 private:
  std::mutex m_mutex;
  std::vector<std::unique_ptr<FontRasterizer>> m_free;
};

RasterizerPool& Rasterizers() {
  static RasterizerPool pool;
  return pool;
}

// A rasteriser taken from the pool for the life of one worker.
class PooledRasterizer {
 public:
  PooledRasterizer() : m_rasterizer(Rasterizers().Take()) {}
  ~PooledRasterizer() { Rasterizers().Give(std::move(m_rasterizer)); }
  PooledRasterizer(const PooledRasterizer&) = delete;
  PooledRasterizer& operator=(const PooledRasterizer&) = delete;
  FontRasterizer& Get() { return *m_rasterizer; }

 private:
  std::unique_ptr<FontRasterizer> m_rasterizer;
};

// Images below this many bytes of pixels are one band on the calling thread
// unless the caller chooses the band height: more bands would only repeat the work a
// band cannot share (every band visits every entity, and a long dashed curve
// advances its phase up to the band in each thread), for an image that takes
// little time to fill.
constexpr std::uint64_t kThreadedBytes = std::uint64_t{16} << 20;

std::uint64_t ImageBytes(const ImageShape& shape) {
  const std::uint64_t stride =
      (static_cast<std::uint64_t>(shape.width) * static_cast<std::uint64_t>(shape.bits) + 31) / 32 *
      4;
  return stride * static_cast<std::uint64_t>(shape.height);
}

int ThreadCount(const RenderContext& context, const ImageShape& shape, const BandOptions& options) {
  if (context.text != nullptr) return 1;
  if (options.band_height == 0 && ImageBytes(shape) < kThreadedBytes) return 1;
  if (options.threads > 0) return options.threads;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

int BandHeight(const ImageShape& shape, int threads, const BandOptions& options) {
  if (options.band_height > 0) return std::min(options.band_height, shape.height);
  const std::uint64_t stride =
      (static_cast<std::uint64_t>(shape.width) * static_cast<std::uint64_t>(shape.bits) + 31) / 32 *
      4;
  const std::uint64_t by_bytes =
      std::max<std::uint64_t>(1, kBandBytes / std::max<std::uint64_t>(stride, 1));
  const std::int64_t by_threads =
      (static_cast<std::int64_t>(shape.height) + threads * kBandsPerThread - 1) /
      (threads * kBandsPerThread);
  const std::int64_t rows = std::min<std::int64_t>(static_cast<std::int64_t>(by_bytes),
                                                   threads > 1 ? by_threads : shape.height);
  return static_cast<int>(std::clamp<std::int64_t>(rows, 1, shape.height));
}

// Progress as one pass over the entities: every band visits all of them, so
// the visits of all bands divided by the band count. Reported on the calling
// thread only, and only forwards.
class ProgressMeter {
 public:
  ProgressMeter(const RenderProgress& progress, int bands) : m_progress(progress), m_bands(bands) {}

  void Start(std::int64_t total) {
    m_total = total;
    if (m_progress) m_progress(0, total);
  }
  // Visits of all bands so far.
  void Show(std::int64_t visits) {
    const std::int64_t position = visits / m_bands;
    if (position <= m_shown || !m_progress) return;
    m_shown = position;
    m_progress(position, m_total);
  }
  void End() {
    if (m_progress) m_progress(0, m_total);
  }

 private:
  const RenderProgress& m_progress;
  std::int64_t m_bands;
  std::int64_t m_total = 0;
  std::int64_t m_shown = 0;
};

// Counts one band's visits into the render's total: the pass reports its own
// running count, the tally keeps the sum over bands.
class VisitTally {
 public:
  explicit VisitTally(std::atomic<std::int64_t>& visits) : m_visits(visits) {}
  void Seen(std::int64_t position) {
    if (position <= m_last) return;
    m_visits.fetch_add(position - m_last, std::memory_order_relaxed);
    m_last = position;
  }

 private:
  std::atomic<std::int64_t>& m_visits;
  std::int64_t m_last = 0;
};

class BandRender {
 public:
  BandRender(const RenderContext& context, const ImageShape& shape, int band_height, float scale,
             int origin_x, int origin_y, const std::vector<RowRange>& text_rows)
      : m_context(context),
        m_shape(shape),
        m_band_height(band_height),
        m_bands((shape.height + band_height - 1) / band_height),
        m_scale(scale),
        m_origin_x(origin_x),
        m_origin_y(origin_y),
        m_text_rows(text_rows) {}

  int Bands() const { return m_bands; }

  // A written band's bitmap, for a later band of the same height: the few
  // bitmaps in flight are made once and reused, rather than freed and
  // allocated again (which the allocator would keep around per thread).
  void Recycle(std::unique_ptr<Bitmap> bitmap) const {
    std::lock_guard lock(m_spare_mutex);
    m_spare.push_back(std::move(bitmap));
  }
  int FirstRow(int band) const { return band * m_band_height; }

  // Renders one band; nullptr with the reason in *error when its bitmap cannot
  // be had or the drawing cannot be read.
  std::unique_ptr<Bitmap> Render(int band, TextRasterizer& text, std::atomic<std::int64_t>& visits,
                                 const std::function<void()>& on_tick, std::string* error) const {
    const int first = FirstRow(band);
    const int rows = std::min(m_band_height, m_shape.height - first);
    std::string why;
    std::unique_ptr<Bitmap> bitmap = TakeBitmap(rows, &why);
    if (!bitmap) {
      *error = "cannot create a band of " + std::to_string(m_shape.width) + " x " +
               std::to_string(rows) + " pixels: " + why;
      return nullptr;
    }
    if (m_shape.bits <= 8) bitmap->SetColourTable(m_shape.colour_table);
    VisitTally tally(visits);
    const RenderTick tick = [&](std::int64_t position, std::int64_t) {
      tally.Seen(position);
      if (on_tick) on_tick();
    };
    try {
      RenderPass(m_context, RenderTargets(*bitmap),
                 RenderBand{m_shape.width, m_shape.height, first, &m_text_rows}, m_scale,
                 m_origin_x, m_origin_y, kRenderFile, RenderRules::kImage, &text, tick);
    } catch (const std::exception& e) {
      *error = std::string("rendering failed: ") + e.what();
      return nullptr;
    }
    return bitmap;
  }

 private:
  const RenderContext& m_context;
  const ImageShape& m_shape;
  int m_band_height;
  int m_bands;
  float m_scale;
  int m_origin_x;
  int m_origin_y;
  const std::vector<RowRange>& m_text_rows;
  mutable std::mutex m_spare_mutex;
  mutable std::vector<std::unique_ptr<Bitmap>> m_spare;

  // A bitmap of the band's size, all zero as a new one is.
  std::unique_ptr<Bitmap> TakeBitmap(int rows, std::string* why) const {
    {
      std::lock_guard lock(m_spare_mutex);
      for (auto it = m_spare.begin(); it != m_spare.end(); ++it) {
        if ((*it)->Height() != rows) continue;
        std::unique_ptr<Bitmap> bitmap = std::move(*it);
        m_spare.erase(it);
        std::memset(bitmap->Row(0), 0, bitmap->SizeBytes());
        return bitmap;
      }
    }
    return Bitmap::Create(m_shape.width, rows, m_shape.bits, why);
  }
};

// Everything on the calling thread: render a band, write it, the next.
bool RunOnCallingThread(const BandRender& render, TextRasterizer& text, ImageEncoder& encoder,
                        ProgressMeter& meter, std::string* error) {
  std::atomic<std::int64_t> visits{0};
  const std::function<void()> on_tick = [&] { meter.Show(visits.load(std::memory_order_relaxed)); };
  for (int band = 0; band < render.Bands(); ++band) {
    std::unique_ptr<Bitmap> bitmap = render.Render(band, text, visits, on_tick, error);
    if (!bitmap) return false;
    if (!encoder.WriteRows(render.FirstRow(band), *bitmap, error)) return false;
    render.Recycle(std::move(bitmap));
  }
  return true;
}

// Workers take bands in order and render them; the calling thread writes them
// in order. At most `threads + 1` bands exist at once: those being rendered,
// the finished ones waiting for their turn and the one being written.
class BandPool {
 public:
  BandPool(const BandRender& render, int threads) : m_render(render), m_threads(threads) {
    m_done.resize(static_cast<std::size_t>(render.Bands()));
  }

  bool Run(ImageEncoder& encoder, ProgressMeter& meter, std::string* error) {
    std::vector<std::thread> workers;
    workers.reserve(static_cast<std::size_t>(m_threads));
    for (int i = 0; i < m_threads; ++i) workers.emplace_back([this] { Work(); });
    const bool written = WriteInOrder(encoder, meter);
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_room.notify_all();
    for (std::thread& worker : workers) worker.join();
    if (!m_error.empty()) {
      *error = m_error;
      return false;
    }
    if (!written) *error = m_write_error;
    return written;
  }

 private:
  void Work() {
    PooledRasterizer text;
    for (;;) {
      int band = 0;
      {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] {
          return m_stop || m_next_band >= m_render.Bands() ||
                 m_next_band - m_next_write < m_threads + 1;
        });
        if (m_stop || m_next_band >= m_render.Bands()) break;
        band = m_next_band++;
      }
      std::string why;
      std::unique_ptr<Bitmap> bitmap = m_render.Render(band, text.Get(), m_visits, {}, &why);
      {
        std::lock_guard lock(m_mutex);
        if (!bitmap) {
          if (m_error.empty()) m_error = why;
          m_stop = true;
        } else {
          m_done[static_cast<std::size_t>(band)] = std::move(bitmap);
        }
      }
      m_finished.notify_all();
      m_room.notify_all();
    }
  }

  bool WriteInOrder(ImageEncoder& encoder, ProgressMeter& meter) {
    for (int band = 0; band < m_render.Bands(); ++band) {
      std::unique_ptr<Bitmap> bitmap;
      {
        std::unique_lock lock(m_mutex);
        while (!m_stop && !m_done[static_cast<std::size_t>(band)]) {
          m_finished.wait_for(lock, kProgressInterval);
          lock.unlock();
          meter.Show(m_visits.load(std::memory_order_relaxed));
          lock.lock();
        }
        if (m_stop) return false;
        bitmap = std::move(m_done[static_cast<std::size_t>(band)]);
      }
      meter.Show(m_visits.load(std::memory_order_relaxed));
      if (!encoder.WriteRows(m_render.FirstRow(band), *bitmap, &m_write_error)) {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        return false;
      }
      m_render.Recycle(std::move(bitmap));
      {
        std::lock_guard lock(m_mutex);
        m_next_write = band + 1;
      }
      m_room.notify_all();
    }
    return true;
  }

  const BandRender& m_render;
  const int m_threads;
  std::atomic<std::int64_t> m_visits{0};
  std::mutex m_mutex;
  std::condition_variable m_room;      // a band may be started, or stop
  std::condition_variable m_finished;  // a band is done, or stop
  // Under m_mutex:
  int m_next_band = 0;   // next band a worker takes
  int m_next_write = 0;  // next band to be written
  bool m_stop = false;
  std::vector<std::unique_ptr<Bitmap>> m_done;
  std::string m_error;
  // Calling thread only:
  std::string m_write_error;
};

}  // namespace

int DrawImageBands(const RenderContext& context, int width, int height, int originX, int originY,
                   float scale, ImageEncoder& encoder, const BandOptions& options) {
  auto fail = [&](std::string reason) {
    if (context.error != nullptr) *context.error = std::move(reason);
    return 0;
  };
  if (!context.reader || !context.settings || !context.LayerVisible || !context.GroupVisible) {
    return fail("nothing to render: no drawing, settings or visibility tables");
  }
  if (width <= 0 || height <= 0) {
    return fail("the region is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; it must be at least 1 x 1 (half a millimetre at least each way)");
  }
  const Settings& settings = *context.settings;
  ImageShape shape;
  shape.width = width;
  shape.height = height;
  shape.bits = OutputDepth(settings);
  if (shape.bits <= 8) shape.colour_table = OutputColourTable(settings, shape.bits);
  shape.dpi = settings.dpi;

  const int threads = ThreadCount(context, shape, options);
  const int band_height = BandHeight(shape, threads, options);
  // The rows of every text first, on this thread: a band then draws only the
  // texts that reach it, and the fonts that stood in are found in the order
  // the whole render meets them.
  std::vector<RowRange> text_rows;
  try {
    if (context.text != nullptr) {
      text_rows = MeasureTextRows(context, width, height, scale, originX, originY, kRenderFile,
                                  *context.text);
    } else {
      PooledRasterizer text;
      text_rows =
          MeasureTextRows(context, width, height, scale, originX, originY, kRenderFile, text.Get());
      if (options.substitutions != nullptr) *options.substitutions = text.Get().Substitutions();
    }
  } catch (const std::exception& e) {
    return fail(std::string("rendering failed: ") + e.what());
  }
  const BandRender render(context, shape, band_height, scale, originX, originY, text_rows);
  const Tjwcin& reader = *context.reader;
  const std::int64_t total = static_cast<std::int64_t>(reader.JwcLineCount()) +
                             reader.JwcArcCount() + reader.JwcTextCount() + reader.JwcDotCount();

  std::string why;
  if (!encoder.Begin(shape, &why)) return fail(why.empty() ? "the encoder refused the image" : why);
  ProgressMeter meter(context.progress, render.Bands());
  meter.Start(total);
  bool rendered = false;
  if (threads == 1 || render.Bands() == 1) {
    if (context.text != nullptr) {
      rendered = RunOnCallingThread(render, *context.text, encoder, meter, &why);
    } else {
      PooledRasterizer text;
      rendered = RunOnCallingThread(render, text.Get(), encoder, meter, &why);
    }
  } else {
    BandPool pool(render, std::min(threads, render.Bands()));
    rendered = pool.Run(encoder, meter, &why);
  }
  meter.End();
  if (!rendered) return fail(why.empty() ? "the image could not be written" : why);
  if (!encoder.Finish(&why)) return fail(why.empty() ? "the image could not be completed" : why);
  return 1;
}

}  // namespace pelmora
