#include "output/image_format.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "output/bmp_writer.h"

namespace pelmora {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The extension of the last path component, dot included; empty when there is
// none. A leading dot starts a hidden name, not an extension.
std::string_view ExtensionOf(std::string_view path) {
  const auto slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot);
}

}  // namespace

std::optional<ImageFormat> FormatFromName(std::string_view path) {
  const std::string extension = Lower(ExtensionOf(path));
  if (extension == ".bmp") return ImageFormat::kBmp;
  if (extension == ".png") return ImageFormat::kPng;
  if (extension == ".tif" || extension == ".tiff") return ImageFormat::kTiff;
  if (extension == ".pdf") return ImageFormat::kPdf;
  if (extension == ".svg") return ImageFormat::kSvg;
  if (extension == ".dxf") return ImageFormat::kDxf;
  return std::nullopt;
}

bool HasExtension(std::string_view path) {
  return !ExtensionOf(path).empty();
}

std::optional<ImageFormat> FormatFromString(std::string_view word) {
  const std::string lower = Lower(word);
  if (lower == "bmp") return ImageFormat::kBmp;
  if (lower == "png") return ImageFormat::kPng;
  if (lower == "tiff" || lower == "tif") return ImageFormat::kTiff;
  if (lower == "pdf") return ImageFormat::kPdf;
  if (lower == "svg") return ImageFormat::kSvg;
  if (lower == "dxf") return ImageFormat::kDxf;
  return std::nullopt;
}

std::optional<Compression> CompressionFromString(std::string_view word) {
  const std::string lower = Lower(word);
  if (lower == "fast") return Compression::kFast;
  if (lower == "default") return Compression::kDefault;
  if (lower == "best") return Compression::kBest;
  return std::nullopt;
}

std::string_view FormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::kBmp:
      return "bmp";
    case ImageFormat::kPng:
      return "png";
    case ImageFormat::kTiff:
      return "tiff";
    case ImageFormat::kPdf:
      return "pdf";
    case ImageFormat::kSvg:
      return "svg";
    case ImageFormat::kDxf:
      return "dxf";
  }
  return "bmp";
}

std::string_view FormatExtension(ImageFormat format) {
  switch (format) {
    case ImageFormat::kBmp:
      return ".bmp";
    case ImageFormat::kPng:
      return ".png";
    case ImageFormat::kTiff:
      return ".tif";
    case ImageFormat::kPdf:
      return ".pdf";
    case ImageFormat::kSvg:
      return ".svg";
    case ImageFormat::kDxf:
      return ".dxf";
  }
  return ".bmp";
}

bool IsVectorFormat(ImageFormat format) {
  return format == ImageFormat::kPdf || format == ImageFormat::kSvg ||
         format == ImageFormat::kDxf;
}

bool IsRasterFormat(ImageFormat format) {
  return format != ImageFormat::kSvg && format != ImageFormat::kDxf;
}

bool SizeKnownInAdvance(ImageFormat format) {
  return format == ImageFormat::kBmp;
}

std::optional<std::uint64_t> KnownFileSize(ImageFormat format, std::int64_t width,
                                           std::int64_t height, int bits) {
  if (!SizeKnownInAdvance(format)) return std::nullopt;
  const auto layout = BmpLayoutFor(width, height, bits);
  if (!layout || !layout->fits) return std::nullopt;
  return layout->file_size;
}

std::string FormatLimitProblem(ImageFormat format, std::int64_t width, std::int64_t height,
                               int dpi) {
  const std::string size =
      "the image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
  if (width > kMaxImageSide || height > kMaxImageSide) {
    return size + " is beyond the " + std::to_string(kMaxImageSide) +
           " pixels a side an output image may have";
  }
  // Compared in whole pixels: a side of more than 200 inches at `dpi`.
  if (format == ImageFormat::kPdf && dpi > 0 &&
      (width > kMaxPdfPageInches * dpi || height > kMaxPdfPageInches * dpi)) {
    char inches[64];
    std::snprintf(inches, sizeof inches, "%.1f x %.1f", static_cast<double>(width) / dpi,
                  static_cast<double>(height) / dpi);
    return size + " at " + std::to_string(dpi) + " dpi is a page of " + inches +
           " inches, beyond the " + std::to_string(kMaxPdfPageInches) +
           " inches a PDF page side can measure";
  }
  return {};
}

}  // namespace pelmora
