#include "vector/dxf_symbols.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/fonts/shift_jis.h"

namespace pelmora {
namespace {

// The AutoCAD Colour Index as 0xRRGGBB; entry 0 (by block) is never chosen.
constexpr std::array<std::uint32_t, 256> kAciRgb = {
    0x000000, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFF00FF, 0xFFFFFF, 0x808080,
    0xC0C0C0, 0xFF0000, 0xFF7F7F, 0xA50000, 0xA55252, 0x7F0000, 0x7F3F3F, 0x4C0000, 0x4C2626,
    0x260000, 0x261313, 0xFF3F00, 0xFF9F7F, 0xA52900, 0xA56752, 0x7F1F00, 0x7F4F3F, 0x4C1300,
    0x4C2F26, 0x260900, 0x261713, 0xFF7F00, 0xFFBF7F, 0xA55200, 0xA57C52, 0x7F3F00, 0x7F5F3F,
    0x4C2600, 0x4C3926, 0x261300, 0x261C13, 0xFFBF00, 0xFFDF7F, 0xA57C00, 0xA59152, 0x7F5F00,
    0x7F6F3F, 0x4C3900, 0x4C4226, 0x261C00, 0x262113, 0xFFFF00, 0xFFFF7F, 0xA5A500, 0xA5A552,
    0x7F7F00, 0x7F7F3F, 0x4C4C00, 0x4C4C26, 0x262600, 0x262613, 0xBFFF00, 0xDFFF7F, 0x7CA500,
    0x91A552, 0x5F7F00, 0x6F7F3F, 0x394C00, 0x424C26, 0x1C2600, 0x212613, 0x7FFF00, 0xBFFF7F,
    0x52A500, 0x7CA552, 0x3F7F00, 0x5F7F3F, 0x264C00, 0x394C26, 0x132600, 0x1C2613, 0x3FFF00,
    0x9FFF7F, 0x29A500, 0x67A552, 0x1F7F00, 0x4F7F3F, 0x134C00, 0x2F4C26, 0x092600, 0x172613,
    0x00FF00, 0x7FFF7F, 0x00A500, 0x52A552, 0x007F00, 0x3F7F3F, 0x004C00, 0x264C26, 0x002600,
    0x132613, 0x00FF3F, 0x7FFF9F, 0x00A529, 0x52A567, 0x007F1F, 0x3F7F4F, 0x004C13, 0x264C2F,
    0x002609, 0x135817, 0x00FF7F, 0x7FFFBF, 0x00A552, 0x52A57C, 0x007F3F, 0x3F7F5F, 0x004C26,
    0x264C39, 0x002613, 0x13581C, 0x00FFBF, 0x7FFFDF, 0x00A57C, 0x52A591, 0x007F5F, 0x3F7F6F,
    0x004C39, 0x264C42, 0x00261C, 0x135858, 0x00FFFF, 0x7FFFFF, 0x00A5A5, 0x52A5A5, 0x007F7F,
    0x3F7F7F, 0x004C4C, 0x264C4C, 0x002626, 0x135858, 0x00BFFF, 0x7FDFFF, 0x007CA5, 0x5291A5,
    0x005F7F, 0x3F6F7F, 0x00394C, 0x26427E, 0x001C26, 0x135858, 0x007FFF, 0x7FBFFF, 0x0052A5,
    0x527CA5, 0x003F7F, 0x3F5F7F, 0x00264C, 0x26397E, 0x001326, 0x131C58, 0x003FFF, 0x7F9FFF,
    0x0029A5, 0x5267A5, 0x001F7F, 0x3F4F7F, 0x00134C, 0x262F7E, 0x000926, 0x131758, 0x0000FF,
    0x7F7FFF, 0x0000A5, 0x5252A5, 0x00007F, 0x3F3F7F, 0x00004C, 0x26267E, 0x000026, 0x131358,
    0x3F00FF, 0x9F7FFF, 0x2900A5, 0x6752A5, 0x1F007F, 0x4F3F7F, 0x13004C, 0x2F267E, 0x090026,
    0x171358, 0x7F00FF, 0xBF7FFF, 0x5200A5, 0x7C52A5, 0x3F007F, 0x5F3F7F, 0x26004C, 0x39267E,
    0x130026, 0x1C1358, 0xBF00FF, 0xDF7FFF, 0x7C00A5, 0x9152A5, 0x5F007F, 0x6F3F7F, 0x39004C,
    0x42264C, 0x1C0026, 0x581358, 0xFF00FF, 0xFF7FFF, 0xA500A5, 0xA552A5, 0x7F007F, 0x7F3F7F,
    0x4C004C, 0x4C264C, 0x260026, 0x581358, 0xFF00BF, 0xFF7FDF, 0xA5007C, 0xA55291, 0x7F005F,
    0x7F3F6F, 0x4C0039, 0x4C2642, 0x26001C, 0x581358, 0xFF007F, 0xFF7FBF, 0xA50052, 0xA5527C,
    0x7F003F, 0x7F3F5F, 0x4C0026, 0x4C2639, 0x260013, 0x58131C, 0xFF003F, 0xFF7F9F, 0xA50029,
    0xA55267, 0x7F001F, 0x7F3F4F, 0x4C0013, 0x4C262F, 0x260009, 0x581317, 0x333333, 0x505050,
    0x696969, 0x828282, 0xBEBEBE, 0xFFFFFF,
};

// Every lineweight DXF defines, hundredths of a millimetre.
constexpr std::array<int, 24> kLineweights = {0,  5,   9,   13,  15,  18,  20,  25,
                                              30, 35,  40,  50,  53,  60,  70,  80,
                                              90, 100, 106, 120, 140, 158, 200, 211};

bool IsPlacementCode(char letter) {
  return letter == 'u' || letter == 'c' || letter == 'd' || letter == 'o' || letter == 'b' ||
         letter == 'B';
}

// Bytes of the characters of `text` that the raster spreads the text with and
// does not draw: trailing full-width middle dots while more than two
// characters remain.
std::size_t WithoutSpreadDots(std::string_view text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size();) {
    starts.push_back(i);
    i += IsShiftJisLeadByte(static_cast<std::uint8_t>(text[i])) ? 2 : 1;
  }
  std::size_t end = text.size();
  while (starts.size() > 2 && end - starts.back() == 2 &&
         text.substr(starts.back(), 2) == std::string_view("\x81\x45", 2)) {
    end = starts.back();
    starts.pop_back();
  }
  return end;
}

}  // namespace

int NearestAci(Colour colour) {
  const int red = static_cast<int>(colour & 0xFF);
  const int green = static_cast<int>((colour >> 8) & 0xFF);
  const int blue = static_cast<int>((colour >> 16) & 0xFF);
  if ((red | green | blue) == 0 || (red & green & blue) == 0xFF) return 7;
  int best = 1;
  long best_distance = -1;
  for (int index = 1; index < 256; ++index) {
    const std::uint32_t rgb = kAciRgb[static_cast<std::size_t>(index)];
    const long dr = red - static_cast<long>(rgb >> 16);
    const long dg = green - static_cast<long>((rgb >> 8) & 0xFF);
    const long db = blue - static_cast<long>(rgb & 0xFF);
    const long distance = dr * dr + dg * dg + db * db;
    if (best_distance < 0 || distance < best_distance) {
      best = index;
      best_distance = distance;
    }
  }
  return best;
}

int NearestLineweight(double width_mm) {
  if (!std::isfinite(width_mm) || width_mm <= 0.0) return 0;
  const double hundredths = width_mm * 100.0;
  int best = kLineweights.back();
  double best_distance = INFINITY;
  for (const int weight : kLineweights) {
    const double distance = std::fabs(hundredths - weight);
    if (distance < best_distance) {
      best = weight;
      best_distance = distance;
    }
  }
  return best;
}

std::string DxfSymbolName(std::string_view name, std::string_view fallback) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    const bool forbidden = byte < 0x20 || byte == 0x7F || c == '<' || c == '>' || c == '/' ||
                           c == '\\' || c == '"' || c == ':' || c == ';' || c == '?' || c == '*' ||
                           c == '|' || c == '=' || c == '`';
    out += forbidden ? '_' : c;
  }
  const std::size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return std::string(fallback);
  out.erase(out.find_last_not_of(' ') + 1);
  out.erase(0, first);
  return out;
}

std::string DxfTextFromJwc(std::string_view shift_jis, bool utf8) {
  const std::string_view text = shift_jis.substr(0, WithoutSpreadDots(shift_jis));
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '^' && i + 1 < text.size() && IsPlacementCode(text[i + 1])) {
      i += 2;
      continue;
    }
    if (byte < 0x20 || byte == 0x7F) {
      out += ' ';
      ++i;
      continue;
    }
    if (byte == '^') {
      out += "^ ";
      ++i;
      continue;
    }
    const Cp932Char c = DecodeCp932Char(text.substr(i));
    const auto length = static_cast<std::size_t>(c.length);
    if (!c.valid) {
      out += '?';
    } else if (utf8) {
      AppendUtf8(out, c.code);
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

}  // namespace pelmora
