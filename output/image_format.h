// The image file formats the output side writes, and how a name or a word on
// the command line picks one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// BMP, PNG and TIFF are images; PDF is an image or a vector document; SVG and
// DXF are vector documents only.
enum class ImageFormat { kBmp, kPng, kTiff, kPdf, kSvg, kDxf };

// Whether the format can hold a vector document (PDF, SVG, DXF).
bool IsVectorFormat(ImageFormat format);
// Whether the format can hold an image (BMP, PNG, TIFF, PDF).
bool IsRasterFormat(ImageFormat format);

// How hard the compressed formats work. kDefault is about as fast as writing a
// bitmap; kBest spends what it takes for the smallest file; kFast trades size
// for the least CPU. The pixels are the same in all three.
enum class Compression { kFast, kDefault, kBest };

// "fast", "default", "best" (without regard to case); nullopt otherwise.
std::optional<Compression> CompressionFromString(std::string_view word);

// The format an output name asks for, by its extension without regard to case:
// ".bmp", ".png", ".tif" or ".tiff", ".pdf", ".svg", ".dxf". nullopt for any other extension and
// for a name without one (the caller decides whether that means ".bmp").
std::optional<ImageFormat> FormatFromName(std::string_view path);

// True when the last component of `path` has an extension ("plan.jwc" yes,
// "plan", ".profile" and "dir.d/plan" no).
bool HasExtension(std::string_view path);

// The format a word names: "bmp", "png", "tiff" (or "tif"), "pdf", "svg", "dxf", without regard
// to case. nullopt otherwise.
std::optional<ImageFormat> FormatFromString(std::string_view word);

// "bmp", "png", "tiff", "pdf", "svg", "dxf": the word FormatFromString reads back.
std::string_view FormatName(ImageFormat format);

// The extension a new output name gets: ".bmp", ".png", ".tif", ".pdf", ".svg", ".dxf".
std::string_view FormatExtension(ImageFormat format);

// Whether a file's size follows from its dimensions alone. Only BMP stores its
// pixels uncompressed; the others are "compressed".
bool SizeKnownInAdvance(ImageFormat format);

// The exact size of the file for an image of this shape, where it is known in
// advance and fits the format (BMP only); nullopt otherwise.
std::optional<std::uint64_t> KnownFileSize(ImageFormat format, std::int64_t width,
                                           std::int64_t height, int bits);

// The longest side of any output image, in pixels: what PNG readers accept by
// default, 42 m of paper at 600 dpi.
inline constexpr std::int64_t kMaxImageSide = 1000000;
// The longest side of a PDF page, in inches (14 400 points).
inline constexpr std::int64_t kMaxPdfPageInches = 200;

// Why an image of this size cannot be written in `format` at `dpi`, naming the
// limit and the size asked for; empty when it can. Decided before rendering.
// BMP's 4 GiB file limit is the caller's (it knows the file's size).
std::string FormatLimitProblem(ImageFormat format, std::int64_t width, std::int64_t height,
                               int dpi);

}  // namespace pelmora
