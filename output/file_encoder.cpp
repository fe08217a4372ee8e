#include "output/file_encoder.h"

#include "output/format_encoders.h"

namespace pelmora {

FileEncoder::FileEncoder(ImageFormat format, std::string path, OutputOptions options)
    : m_format(format), m_options(options) {
  m_status.path = std::move(path);
}

FileEncoder::~FileEncoder() = default;

bool FileEncoder::Fail(OutputError kind, const std::string& reason, std::string* error) {
  m_status.error = kind;
  m_status.reason = reason;
  if (error) *error = reason;
  m_encoder.reset();
  m_file.Discard();
  return false;
}

bool FileEncoder::Begin(const ImageShape& shape, std::string* error) {
  std::string reason;
  if (!CheckShape(shape, &reason)) return Fail(OutputError::kWriteFailed, reason, error);
  OutputStatus opened;
  if (!m_file.Open(m_status.path, m_options.replace || m_options.in_place, &opened,
                   m_options.in_place)) {
    return Fail(opened.error, opened.reason, error);
  }
  m_sink = std::make_unique<ByteSink>(m_file.Descriptor(), &m_file, m_status.path);
  m_encoder = CreateFormatEncoder(m_format, m_sink.get(),
                                  {.effort = m_options.compression, .threads = m_options.threads});
  if (!m_encoder) {
    return Fail(OutputError::kWriteFailed,
                std::string(FormatName(m_format)) + " holds no image, only vector documents", error);
  }
  if (!m_encoder->Begin(shape, &reason)) return Fail(OutputError::kWriteFailed, reason, error);
  return true;
}

bool FileEncoder::WriteRows(int first_row, const Bitmap& rows, std::string* error) {
  if (!m_encoder) return Fail(OutputError::kWriteFailed, "the output is not open", error);
  std::string reason;
  if (!m_encoder->WriteRows(first_row, rows, &reason)) {
    return Fail(OutputError::kWriteFailed, reason, error);
  }
  return true;
}

bool FileEncoder::Finish(std::string* error) {
  if (!m_encoder) return Fail(OutputError::kWriteFailed, "the output is not open", error);
  std::string reason;
  if (!m_encoder->Finish(&reason)) return Fail(OutputError::kWriteFailed, reason, error);
  m_encoder.reset();
  OutputStatus delivered;
  if (!m_file.Commit(&delivered)) return Fail(delivered.error, delivered.reason, error);
  m_status.error = OutputError::kNone;
  m_status.reason.clear();
  return true;
}

std::unique_ptr<FileEncoder> CreateFileEncoder(ImageFormat format, const std::string& path,
                                               const OutputOptions& options, OutputStatus* status) {
  *status = CheckOutputTarget(path, options.replace);
  if (!status->ok()) return nullptr;
  return std::make_unique<FileEncoder>(format, path, options);
}

}  // namespace pelmora
