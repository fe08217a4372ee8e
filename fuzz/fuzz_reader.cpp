// Loads arbitrary bytes as a drawing and, when they load, decodes every record
// in both read modes and summarises the drawing, as the renderer and the
// converter would.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "drawing/jwcunit.h"
#include "drawing/summary.h"
#include "render/summary_format.h"

namespace {

void DecodeAll(const pelmora::Tjwcin& reader) {
  for (int i = 0; i < reader.JwcLineCount(); ++i) {
    pelmora::TJwcLine line;
    reader.JwcLineData(i, line);
  }
  for (int i = 0; i < reader.JwcArcCount(); ++i) {
    pelmora::TJwcArc arc;
    reader.JwcArcData(i, arc);
  }
  for (int i = 0; i < reader.JwcTextCount(); ++i) {
    pelmora::TJwcText text;
    reader.JwcTextData(i, text);
    if (text.Text.size() > 255) __builtin_trap();
  }
  for (int i = 0; i < reader.JwcDotCount(); ++i) {
    pelmora::TJwcDot dot;
    reader.JwcDotData(i, dot);
  }
  for (int i = 0; i <= 10; ++i) {
    pelmora::TJwcTextStyle style;
    reader.JwcTextStyle(i, style);
  }
  std::string name;
  for (int i = 0; i < 256; ++i) {
    reader.JwcLayerName(i, name);
    if (name.size() != 8) __builtin_trap();
  }
  for (int i = 0; i < 16; ++i) {
    reader.JwcGroupeName(i, name);
    if (name.size() != 16) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pelmora::Tjwcin reader;
  const std::span<const std::byte> image(reinterpret_cast<const std::byte*>(data), size);
  if (reader.JwcLoadBytes(image) != 0) {
    // A rejection leaves the empty reader empty and says why.
    if (reader.JwcLineCount() != 0 || reader.LastError().empty()) __builtin_trap();
    return 0;
  }
  DecodeAll(reader);
  reader.JwcReadMode(1);
  DecodeAll(reader);
  const pelmora::DrawingSummary summary = pelmora::SummarizeDrawing(reader, "fuzz.jwc", 0);
  (void)pelmora::JsonLine(pelmora::SummaryJson(summary));
  (void)pelmora::SummaryText(summary);
  return 0;
}
