// What the DXF writer turns drawing data into: names a CAD program accepts,
// its 255 indexed colours, its fixed lineweights and its text encoding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/raster/canvas.h"

namespace pelmora {

// The AutoCAD Colour Index nearest to `colour` (0x00BBGGRR) in RGB distance,
// 1..255. Black and white both give 7, the index a CAD program draws in its
// foreground colour, so neither disappears on the reader's background.
int NearestAci(Colour colour);

// The valid DXF lineweight (hundredths of a millimetre, 0..211) nearest to a
// pen `width_mm` wide; a non-finite or negative width gives 0.
int NearestLineweight(double width_mm);

// A symbol table name (layer, line type, style) from UTF-8 `name`: the
// characters DXF forbids (< > / \ " : ; ? * | = `) and control characters
// become '_', surrounding spaces are dropped, an empty result is `fallback`.
std::string DxfSymbolName(std::string_view name, std::string_view fallback);

// A JW_CAD text string (Shift-JIS) as the text a TEXT entity shows, in UTF-8
// or code page 932: the trailing middle dots that only spread the text out and
// the two-byte placement codes (^u ^c ^d ^o ^b ^B) are dropped, control bytes
// become spaces, a byte or pair that is no character becomes '?', and a caret
// is written "^ ", as DXF escapes it.
std::string DxfTextFromJwc(std::string_view shift_jis, bool utf8);

}  // namespace pelmora
