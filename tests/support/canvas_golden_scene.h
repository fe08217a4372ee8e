// Golden-image support for the canvas tests: a tiny interpreter of the drawing
// scripts under tests/golden/scenes (the subset of the GDI oracle's language the
// canvas has an equivalent for) and a reader of the oracle's .bmp output.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/raster/bitmap.h"

namespace pelmora::golden {

// Colour table that `palette default` stands for at 1, 4 or 8 bits. The
// halftone table of 8-bit images is not ours to define, so the caller passes
// it (the tests take it from the reference bitmap).
using DefaultTable = std::function<std::vector<Colour>(int bits_per_pixel)>;

// The 16 colours GDI gives a 4-bit image by default, index 0 to 15.
std::vector<Colour> DefaultTable16();

// How the scene's line commands reach the canvas.
enum class Strokes {
  kLiteral,  // every lineto a LineTo
  // "lineto B, lineto A, moveto B" from A, the line types' stroke there and
  // back, as one Canvas::LineThereAndBack(B)
  kThereAndBackInOnePass,
};

// Runs a script on a Canvas and returns the last image it created; nullptr with
// "<line>: <reason>" in *error for a command it does not know or cannot parse.
std::unique_ptr<Bitmap> RunScene(std::string_view script, const DefaultTable& default_table,
                                 std::string* error, Strokes strokes = Strokes::kLiteral);

// How many "lineto B, lineto A, moveto B" strokes from A the script holds.
int CountThereAndBack(std::string_view script);

// Reads a bottom-up BI_RGB / BI_BITFIELDS (5-6-5) .bmp of 1, 4, 8, 16 or 24 bits
// into a Bitmap with its colour table; nullptr with the reason on failure.
std::unique_ptr<Bitmap> ReadBmp(const std::vector<unsigned char>& bytes, std::string* error);

// Whole file, or an empty vector when it cannot be read.
std::vector<unsigned char> ReadFileBytes(const std::string& path);

}  // namespace pelmora::golden
