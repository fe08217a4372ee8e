// A vector document delivered as a file: the writer for the format fed by the
// render's vector walk, its bytes going through OutputFile (a temporary file in
// the target's folder that takes the target's name only when complete), as the
// raster FileEncoder delivers images.
//
//   VectorFile file(ImageFormat::kSvg, path, {.replace = force}, writer_options);
//   if (!file.Open(&why)) ...                     // creates the temporary file
//   DrawVector(context, width, height, x, y, scale, file, walk_options);
//   file.Status();                                // kind of failure, reason, message
//
// A VectorFile destroyed before its Finish succeeded leaves no file and the old
// one untouched.
#pragma once

#include <memory>
#include <string>

#include "output/file_encoder.h"
#include "output/image_format.h"
#include "output/output_file.h"
#include "render/vector_walk.h"
#include "vector/vector_writers.h"

namespace pelmora {

class VectorFile final : public VectorTarget {
 public:
  // `format`: kPdf, kSvg or kDxf; `path` a file name or "-" for standard output.
  VectorFile(ImageFormat format, std::string path, OutputOptions options,
             VectorWriterOptions writer_options = {});
  ~VectorFile() override;

  // Opens the temporary file and makes the writer; false with the reason (and
  // Status()) when the target is refused or cannot be created.
  bool Open(std::string* error);

  void Begin(const VectorPage& page) override;
  void Line(std::uint8_t layer, const VectorPen& pen, VectorPoint from, VectorPoint to,
            const TJwcLine& raw) override;
  void Arc(std::uint8_t layer, const VectorPen& pen, const VectorArc& arc,
           const TJwcArc& raw) override;
  void Text(std::uint8_t layer, const VectorText& text, const TJwcText& raw,
            const TJwcTextStyle& style) override;
  void Dot(std::uint8_t layer, Colour colour, VectorPoint centre, int diameter,
           const TJwcDot& raw) override;
  void Stamp(const VectorText& text) override;
  // Completes the document and delivers the file.
  bool Finish(std::string* error) override;

  // kNone after a successful Finish; after a failure its kind, the path and the reason.
  const OutputStatus& Status() const { return m_status; }

 private:
  bool Fail(OutputError kind, const std::string& reason, std::string* error);

  ImageFormat m_format;
  OutputOptions m_options;
  VectorWriterOptions m_writer_options;
  OutputStatus m_status;
  OutputFile m_file;
  std::unique_ptr<ByteSink> m_sink;
  std::unique_ptr<VectorTarget> m_writer;
};

// The writer of a vector format (kPdf, kSvg, kDxf) over `sink`; nullptr for a
// raster-only format.
std::unique_ptr<VectorTarget> CreateVectorWriter(ImageFormat format, ByteSink& sink,
                                                 const VectorWriterOptions& options);

}  // namespace pelmora
