// Finding font files for Windows face names with fontconfig.
#pragma once

#include <string>
#include <string_view>

namespace pelmora {

// A font file chosen for a face name.
struct FaceChoice {
  std::string family;        // the family drawn with, UTF-8; empty when no font was found at all
  std::string file;          // path of the font file
  int index = 0;             // face index inside the file (font collections)
  bool substituted = false;  // true when `family` is not the family asked for

  bool Found() const { return !file.empty(); }
};

// The face for a Windows face name (UTF-8). An installed family of that name
// (compared without regard to ASCII case, also against fontconfig's localised
// family names) is used as it is. Windows' Japanese faces, which Linux lacks,
// map to the IPA fonts: "ＭＳ ゴシック"/"MS Gothic" to IPAGothic, "ＭＳ Ｐゴシック"/
// "MS PGothic"/"MS UI Gothic" to IPAPGothic, "ＭＳ 明朝"/"MS Mincho" to IPAMincho,
// "ＭＳ Ｐ明朝"/"MS PMincho" to IPAPMincho. Anything else, and a mapped family
// that is not installed, falls back to JapaneseGothicFace().
FaceChoice ChooseFace(std::string_view face_name_utf8);

// The Japanese gothic that stands in for unknown faces and draws the Japanese
// characters other faces lack: IPAGothic, else whatever fontconfig offers for
// sans-serif Japanese text, else any font at all.
FaceChoice JapaneseGothicFace();

// A face that has a glyph for `code`, for the rare character even the
// Japanese gothic lacks (code page 932 maps a few symbols, such as U+2211,
// that the IPA fonts leave out); not Found() when no installed font has one.
FaceChoice FaceForCharacter(char32_t code);

// The installed face whose family (any of its names) is `family_utf8`, or a
// choice that is not Found().
FaceChoice FindInstalledFamily(std::string_view family_utf8);

}  // namespace pelmora
