// Inside the output folder: the encoders of each format over a byte sink, and
// what they share. Callers outside use file_encoder.h, bmp_writer.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "output/encoder.h"
#include "output/image_format.h"
#include "output/parallel_deflate.h"

namespace pelmora {

class OutputFile;

// Where an encoder's bytes go: a seekable descriptor (written at offsets, with
// the output file told how much was written so that write-back starts early),
// or a vector in memory. `name` is used in the reasons of failures.
class ByteSink {
 public:
  ByteSink(int fd, OutputFile* file, std::string name)
      : m_fd(fd), m_file(file), m_name(std::move(name)) {}
  explicit ByteSink(std::vector<std::uint8_t>* memory) : m_memory(memory) {}

  bool Resize(std::uint64_t size, std::string* error);
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size, std::string* error);
  // Reads back what was written (libtiff rewrites its directories); the count read.
  std::int64_t ReadAt(std::uint64_t offset, void* data, std::size_t size);
  std::uint64_t Size() const;

 private:
  int m_fd = -1;
  OutputFile* m_file = nullptr;
  std::string m_name;
  std::vector<std::uint8_t>* m_memory = nullptr;
};

// A sink written front to back through a buffer, for the encoders whose
// libraries produce a stream (PNG, PDF).
class StreamWriter {
 public:
  explicit StreamWriter(ByteSink* sink) : m_sink(sink) { m_buffer.reserve(kChunk); }
  bool Write(const void* data, std::size_t size);
  bool Flush();
  std::uint64_t Position() const { return m_written + m_buffer.size(); }
  // The first failure's reason; empty while none.
  const std::string& Error() const { return m_error; }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;
  ByteSink* m_sink;
  std::vector<std::uint8_t> m_buffer;
  std::uint64_t m_written = 0;
  std::string m_error;
};

// Holds a band to the contract of ImageEncoder::WriteRows; false with the reason
// otherwise. `next_row` is the first row not yet written.
bool CheckBand(const ImageShape& shape, int next_row, int first_row, const Bitmap& rows,
               std::string* error);
// The shape's depth, size and table are ones the encoders can write.
bool CheckShape(const ImageShape& shape, std::string* error);

// The table an indexed image's file carries: exactly 2, 16 or 256 entries, a
// shorter table padded with black and a longer one cut, as the BMP's.
std::vector<Colour> FileColourTable(const ImageShape& shape);

// One 5-6-5 word as a bitmap reader shows it, 8 bits per channel.
void Expand565(std::uint32_t word, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue);

// One band row as 8-bit R, G, B triples (16 and 24 bits only).
void RowToRgb(const std::uint8_t* row, int width, int bits, std::uint8_t* out);

// A copy of an indexed row with the bits past the last pixel cleared.
void CleanIndexedRow(const std::uint8_t* row, int width, int bits, std::uint8_t* out);

std::unique_ptr<ImageEncoder> CreateBmpEncoder(ByteSink* sink);
std::unique_ptr<ImageEncoder> CreatePngEncoder(ByteSink* sink, const CompressOptions& options);
std::unique_ptr<ImageEncoder> CreateTiffEncoder(ByteSink* sink, const CompressOptions& options);
std::unique_ptr<ImageEncoder> CreatePdfEncoder(ByteSink* sink, const CompressOptions& options);
std::unique_ptr<ImageEncoder> CreateFormatEncoder(ImageFormat format, ByteSink* sink,
                                                  const CompressOptions& options = {});

}  // namespace pelmora
