// printf-style formatting into a std::string, for the summaries' fixed layouts.
#pragma once

#include <cstdio>
#include <string>

namespace pelmora {

template <class... Args>
std::string Printf(const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0) return {};
  std::string out(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, args...);
  out.pop_back();
  return out;
}

}  // namespace pelmora
