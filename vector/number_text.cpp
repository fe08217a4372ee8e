#include "vector/number_text.h"

#include <charconv>
#include <cmath>

namespace pelmora {

void AppendNumber(std::string& out, double value, int decimals) {
  if (!std::isfinite(value)) value = 0.0;
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  char* end = result.ptr;
  if (decimals > 0) {
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  if (text == "-0") text = "0";
  out.append(text);
}

}  // namespace pelmora
