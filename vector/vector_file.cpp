#include "vector/vector_file.h"

#include <utility>

#include "output/format_encoders.h"

namespace pelmora {

std::unique_ptr<VectorTarget> CreateVectorWriter(ImageFormat format, ByteSink& sink,
                                                 const VectorWriterOptions& options) {
  switch (format) {
    case ImageFormat::kPdf:
      return CreatePdfVectorWriter(sink, options);
    case ImageFormat::kSvg:
      return CreateSvgWriter(sink, options);
    case ImageFormat::kDxf:
      return CreateDxfWriter(sink, options);
    case ImageFormat::kBmp:
    case ImageFormat::kPng:
    case ImageFormat::kTiff:
      break;
  }
  return nullptr;
}

VectorFile::VectorFile(ImageFormat format, std::string path, OutputOptions options,
                       VectorWriterOptions writer_options)
    : m_format(format), m_options(options), m_writer_options(writer_options) {
  m_status.path = std::move(path);
}

VectorFile::~VectorFile() = default;

bool VectorFile::Fail(OutputError kind, const std::string& reason, std::string* error) {
  m_status.error = kind;
  m_status.reason = reason;
  if (error) *error = reason;
  m_writer.reset();
  m_file.Discard();
  return false;
}

bool VectorFile::Open(std::string* error) {
  if (!IsVectorFormat(m_format)) {
    return Fail(OutputError::kWriteFailed,
                std::string(FormatName(m_format)) + " is no vector format", error);
  }
  const OutputStatus target = CheckOutputTarget(m_status.path, m_options.replace);
  if (!target.ok()) return Fail(target.error, target.reason, error);
  OutputStatus opened;
  if (!m_file.Open(m_status.path, m_options.replace, &opened)) {
    return Fail(opened.error, opened.reason, error);
  }
  m_sink = std::make_unique<ByteSink>(m_file.Descriptor(), &m_file, m_status.path);
  m_writer = CreateVectorWriter(m_format, *m_sink, m_writer_options);
  return true;
}

// Calls after a failure (or without Open) go nowhere; Finish reports it.
void VectorFile::Begin(const VectorPage& page) {
  if (m_writer) m_writer->Begin(page);
}
void VectorFile::Line(std::uint8_t layer, const VectorPen& pen, VectorPoint from, VectorPoint to,
                      const TJwcLine& raw) {
  if (m_writer) m_writer->Line(layer, pen, from, to, raw);
}
void VectorFile::Arc(std::uint8_t layer, const VectorPen& pen, const VectorArc& arc,
                     const TJwcArc& raw) {
  if (m_writer) m_writer->Arc(layer, pen, arc, raw);
}
void VectorFile::Text(std::uint8_t layer, const VectorText& text, const TJwcText& raw,
                      const TJwcTextStyle& style) {
  if (m_writer) m_writer->Text(layer, text, raw, style);
}
void VectorFile::Dot(std::uint8_t layer, Colour colour, VectorPoint centre, int diameter,
                     const TJwcDot& raw) {
  if (m_writer) m_writer->Dot(layer, colour, centre, diameter, raw);
}
void VectorFile::Stamp(const VectorText& text) {
  if (m_writer) m_writer->Stamp(text);
}

bool VectorFile::Finish(std::string* error) {
  if (!m_writer) {
    if (m_status.ok()) return Fail(OutputError::kWriteFailed, "the output is not open", error);
    if (error) *error = m_status.reason;
    return false;
  }
  std::string reason;
  if (!m_writer->Finish(&reason)) return Fail(OutputError::kWriteFailed, reason, error);
  m_writer.reset();
  OutputStatus delivered;
  if (!m_file.Commit(&delivered)) return Fail(delivered.error, delivered.reason, error);
  m_status.error = OutputError::kNone;
  m_status.reason.clear();
  return true;
}

}  // namespace pelmora
