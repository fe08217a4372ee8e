// Stands in until the PDF writer is built: every document fails to finish.
#include "vector/vector_writers.h"

namespace pelmora {
namespace {

class PendingPDF final : public VectorTarget {
 public:
  void Begin(const VectorPage&) override {}
  void Line(std::uint8_t, const VectorPen&, VectorPoint, VectorPoint, const TJwcLine&) override {}
  void Arc(std::uint8_t, const VectorPen&, const VectorArc&, const TJwcArc&) override {}
  void Text(std::uint8_t, const VectorText&, const TJwcText&, const TJwcTextStyle&) override {}
  void Dot(std::uint8_t, Colour, VectorPoint, int, const TJwcDot&) override {}
  void Stamp(const VectorText&) override {}
  bool Finish(std::string* error) override {
    if (error != nullptr) *error = "PDF output: not built yet";
    return false;
  }
};

}  // namespace

std::unique_ptr<VectorTarget> CreatePdfVectorWriter(ByteSink&, const VectorWriterOptions&) {
  return std::make_unique<PendingPDF>();
}

}  // namespace pelmora
