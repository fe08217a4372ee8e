// The vector writers: targets of the render's vector walk (render/vector_walk.h)
// that turn its geometry into a document. Each writes through a ByteSink (a file
// being delivered, or memory) and buffers its output in large writes.
#pragma once

#include <memory>

#include "output/format_encoders.h"
#include "render/vector_walk.h"

namespace pelmora {

struct VectorWriterOptions {
  bool outline_text = false;  // SVG: glyph outlines instead of <text>
  // DXF: an R2007 file in UTF-8; false: R2000 in Shift-JIS (code page 932),
  // which LibreCAD 2.2 decodes as a Western code page.
  bool dxf_utf8 = true;
};

// PDF: one page of the region's physical size, optional content groups per
// group and layer, subset CID fonts with a Unicode map.
std::unique_ptr<VectorTarget> CreatePdfVectorWriter(ByteSink& sink,
                                                    const VectorWriterOptions& options);
// SVG: a viewBox in millimetres, an Inkscape layer per group and layer.
std::unique_ptr<VectorTarget> CreateSvgWriter(ByteSink& sink, const VectorWriterOptions& options);
// DXF: full-size millimetres, a layer per group and layer.
std::unique_ptr<VectorTarget> CreateDxfWriter(ByteSink& sink, const VectorWriterOptions& options);

}  // namespace pelmora
