// The encoder a render hands its bands to when it writes a file: one of the
// formats of image_format.h, delivered through OutputFile (a temporary file in
// the target's folder that takes the target's name only when complete).
//
//   OutputStatus status = CheckOutputTarget(path, replace);   // before rendering
//   auto encoder = CreateFileEncoder(format, path, {.replace = replace}, &status);
//   encoder->Begin(shape, &why);                 // creates the temporary file
//   encoder->WriteRows(first_row, band, &why);   // top-down, every row once
//   encoder->Finish(&why);                       // flushes and delivers
//   encoder->Status();                           // kind of failure, reason, message
//
// Destroying the encoder before Finish succeeded leaves no file and the old one
// untouched. Memory is bounded by a band for every format, and by a few pieces
// of a megabyte per compressing thread for the compressed ones.
#pragma once

#include <memory>
#include <string>

#include "output/encoder.h"
#include "output/image_format.h"
#include "output/output_file.h"

namespace pelmora {

struct OutputOptions {
  // Replace an existing regular file (or the file a link points at). Without
  // it an existing name is refused (kExists), also when another writer takes
  // the name while this one writes.
  bool replace = false;
  // How hard PNG, TIFF and PDF compress; the pixels are the same at every effort.
  Compression compression = Compression::kDefault;
  // Threads compressing at once (0: one per core). The file's bytes are the
  // same for every count.
  int threads = 0;
  // Write into an existing target in place (truncated, written, flushed) once the
  // file is complete, instead of renaming a new file over its name: for a caller
  // that made the file and reads it through a descriptor it keeps open (a
  // thumbnailer service). A target that does not exist is made as usual.
  bool in_place = false;
};

class ByteSink;

class FileEncoder final : public ImageEncoder {
 public:
  // `path` is a file name or "-" for standard output.
  FileEncoder(ImageFormat format, std::string path, OutputOptions options);
  ~FileEncoder() override;

  bool Begin(const ImageShape& shape, std::string* error) override;
  bool WriteRows(int first_row, const Bitmap& rows, std::string* error) override;
  bool Finish(std::string* error) override;

  // kNone after a successful Finish; after a failed call the kind of failure
  // (kCannotCreate, kExists, kWriteFailed), the path and the reason.
  const OutputStatus& Status() const { return m_status; }

 private:
  bool Fail(OutputError kind, const std::string& reason, std::string* error);

  ImageFormat m_format;
  OutputOptions m_options;
  OutputStatus m_status;
  OutputFile m_file;
  std::unique_ptr<ByteSink> m_sink;
  std::unique_ptr<ImageEncoder> m_encoder;
};

// The encoder for `format` writing to `path` ("-" = standard output), or
// nullptr with the refusal in *status when CheckOutputTarget refuses the path.
std::unique_ptr<FileEncoder> CreateFileEncoder(ImageFormat format, const std::string& path,
                                               const OutputOptions& options, OutputStatus* status);

}  // namespace pelmora
