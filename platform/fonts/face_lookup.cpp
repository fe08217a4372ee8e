#include "platform/fonts/face_lookup.h"

#include <fontconfig/fontconfig.h>

#include <array>
#include <memory>

namespace pelmora {
namespace {

struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

bool SameAsciiCaseless(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char ca = a[i];
    char cb = b[i];
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
    if (ca != cb) return false;
  }
  return true;
}

// fontconfig's best match for a pattern, already substituted and defaulted.
PatternPtr Match(FcPattern* pattern) {
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  return PatternPtr(FcFontMatch(nullptr, pattern, &result));
}

FaceChoice ChoiceFrom(const FcPattern* match, bool substituted) {
  FaceChoice choice;
  FcChar8* file = nullptr;
  if (match == nullptr || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch ||
      file == nullptr) {
    return choice;
  }
  choice.file = reinterpret_cast<const char*>(file);
  int index = 0;
  if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) choice.index = index;
  FcChar8* family = nullptr;
  if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family != nullptr) {
    choice.family = reinterpret_cast<const char*>(family);
  }
  choice.substituted = substituted;
  return choice;
}

struct WindowsFace {
  std::string_view windows_name;
  std::string_view linux_family;
};

// Windows' Japanese system faces and the IPA fonts drawn in their place: the
// IPA gothic and mincho have the same em-square cell and half-width Latin.
constexpr std::array<WindowsFace, 9> kWindowsFaces = {{
    {"ＭＳ ゴシック", "IPAGothic"},
    {"MS Gothic", "IPAGothic"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"MS PGothic", "IPAPGothic"},
    {"MS UI Gothic", "IPAPGothic"},
    {"ＭＳ 明朝", "IPAMincho"},
    {"MS Mincho", "IPAMincho"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},
    {"MS PMincho", "IPAPMincho"},
}};

}  // namespace

FaceChoice FindInstalledFamily(std::string_view family_utf8) {
  if (family_utf8.empty()) return {};
  const std::string family(family_utf8);
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return {};
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  const PatternPtr match = Match(pattern.get());
  if (!match) return {};
  // fontconfig always answers with something; only a face that carries the
  // name among its family names (English and localised) counts as found.
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &name) == FcResultMatch; ++i) {
    if (name != nullptr && SameAsciiCaseless(reinterpret_cast<const char*>(name), family)) {
      FaceChoice choice = ChoiceFrom(match.get(), false);
      choice.family = reinterpret_cast<const char*>(name);
      return choice;
    }
  }
  return {};
}

FaceChoice JapaneseGothicFace() {
  FaceChoice choice = FindInstalledFamily("IPAGothic");
  if (!choice.Found()) {
    PatternPtr pattern(FcPatternCreate());
    if (pattern) {
      FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
      FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
      const PatternPtr match = Match(pattern.get());
      choice = ChoiceFrom(match.get(), false);
    }
  }
  return choice;
}

FaceChoice FaceForCharacter(char32_t code) {
  PatternPtr pattern(FcPatternCreate());
  FcCharSet* wanted = FcCharSetCreate();
  if (!pattern || wanted == nullptr) {
    if (wanted != nullptr) FcCharSetDestroy(wanted);
    return {};
  }
  FcCharSetAddChar(wanted, static_cast<FcChar32>(code));
  FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted);
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcCharSetDestroy(wanted);
  const PatternPtr match = Match(pattern.get());
  // The best match need not have the character (fontconfig weighs the family
  // too); only a face whose own character set holds it will do.
  FcCharSet* has = nullptr;
  if (!match || FcPatternGetCharSet(match.get(), FC_CHARSET, 0, &has) != FcResultMatch ||
      has == nullptr || !FcCharSetHasChar(has, static_cast<FcChar32>(code))) {
    return {};
  }
  return ChoiceFrom(match.get(), true);
}

FaceChoice ChooseFace(std::string_view face_name_utf8) {
  FaceChoice choice = FindInstalledFamily(face_name_utf8);
  if (choice.Found()) return choice;
  for (const WindowsFace& face : kWindowsFaces) {
    if (!SameAsciiCaseless(face.windows_name, face_name_utf8)) continue;
    choice = FindInstalledFamily(face.linux_family);
    if (choice.Found()) {
      choice.substituted = true;
      return choice;
    }
    break;
  }
  choice = JapaneseGothicFace();
  choice.substituted = true;
  return choice;
}

}  // namespace pelmora
