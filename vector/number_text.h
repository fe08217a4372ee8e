// Numbers as the vector formats write them: plain decimals, never exponents,
// NaN or infinities, which PDF, SVG and DXF readers reject or misread.
#pragma once

#include <string>

namespace pelmora {

// `value` with at most `decimals` digits after the point, trailing zeros and a
// trailing point dropped, "-0" written "0"; a non-finite value is written "0"
// (callers drop entities with non-finite geometry before they get here).
// Appends to `out`.
void AppendNumber(std::string& out, double value, int decimals);

}  // namespace pelmora
