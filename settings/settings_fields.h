// The stored form of Settings: every field in stored order with its name, type
// and text form, the colour and pen-width tables, the colour-depth codes and the
// colour presets of the settings dialog. No Qt: the store, the converter's --set
// and the tests share these rules.
#pragma once

#include <array>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "settings/settings.h"

namespace pelmora {

// How a field is stored. Every value is stored as text:
//   kInteger   decimal text, "-" for negatives;
//   kBoolean   "1" / "0"; read: any integer other than 0 is true;
//   kColour    0x00BBGGRR as decimal text (as a signed 32-bit integer);
//   kColorMode the field holds the depth in bits, the text holds its code 1..5;
//   kString    the text itself (UTF-8).
enum class SettingType { kInteger, kBoolean, kColour, kColorMode, kString };

using SettingMember =
    std::variant<int Settings::*, bool Settings::*, Colour Settings::*, std::string Settings::*>;

struct SettingsField {
  std::string_view name;  // stored value name, e.g. "PenWidth3"
  SettingType type;
  SettingMember member;
  // kInteger: the range the settings dialog keeps the value in. A value read
  // (from the store or --set) outside it is held at its nearer end, as the
  // dialog's up/down control holds its position.
  int least = std::numeric_limits<int>::min();
  int most = std::numeric_limits<int>::max();
};

// Every field of Settings, in stored order (the order values are read and written).
std::span<const SettingsField> SettingsFields();
// The field stored under `name` (exact, case-sensitive), or nullptr.
const SettingsField* FindSettingsField(std::string_view name);

// The text stored for the field's current value.
std::string StoredText(const Settings& settings, const SettingsField& field);
// The text of the field's default. OpenDir and SaveDir default to the current
// folder at start-up, which the store supplies; here they give "".
std::string DefaultText(const SettingsField& field);

// Reads stored text into the field with the store's rules. Returns false, and
// leaves the field unchanged, when the text is not valid for the field's type
// (the store has put the default there first). A ColorMode integer other than the
// codes 1..5 is valid here and reads as 24 bits.
bool ReadStoredText(Settings& settings, const SettingsField& field, std::string_view text);

// "--set NAME=VALUE" of the converter: the store's parsing, but strict. Unknown
// names, text that is not valid for the field and ColorMode codes outside 1..5
// fail with the reason in *error, and the record is left unchanged.
bool SetSettingByName(Settings& settings, std::string_view name, std::string_view value,
                      std::string* error);
// The same for one "NAME=VALUE" argument (the first '=' separates).
bool ApplySettingAssignment(Settings& settings, std::string_view assignment, std::string* error);

// Integer text of the store: an optional sign followed by decimal digits and
// nothing else (no blanks, no hex), within the range of a 32-bit integer.
std::optional<int> ParseStoredInteger(std::string_view text);

// ---- Colour table (index 0 = BackColor, 1..7 = Color1..Color7) and pen-width
// table (index 1..6 = PenWidth1..PenWidth6). An index outside the table throws
// std::out_of_range: callers that index by a drawing's PenColor check it first.
inline constexpr int kColourTableSize = 8;
inline constexpr int kFirstPenWidth = 1;
inline constexpr int kLastPenWidth = 6;

Colour& ColourEntry(Settings& settings, int index);
Colour ColourEntry(const Settings& settings, int index);
std::array<Colour, kColourTableSize> ColourTable(const Settings& settings);
int& PenWidthEntry(Settings& settings, int index);
int PenWidthEntry(const Settings& settings, int index);

// ---- Colour depth: the record holds bits, the store its code.
struct ColorModeInfo {
  int code;                // stored code 1..5
  int bits;                // 1, 4, 8, 16, 24
  std::string_view label;  // label and menu text, e.g. " 1bit (白黒)"
};
// The five depths in code order.
std::span<const ColorModeInfo> ColorModes();
// Code 1..5 → bits; any other code → 24.
int ColorModeBitsFromCode(int code);
// Bits → code; any depth that is not one of the five → 5 (24 bits).
int ColorModeCodeFromBits(int bits);
bool IsColorModeBits(int bits);
// Label text of a depth; an unknown depth gives the 24-bit label.
std::string_view ColorModeLabel(int bits);

// ---- Colour presets of the settings dialog, stored in the group "OffsetColor".
// Preset 1..5, slot 0 = background, 1..6 = pens 1..6, 7 = carried unchanged.
inline constexpr int kColourPresetCount = 5;
inline constexpr int kColourPresetSlots = 8;
using ColourPreset = std::array<Colour, kColourPresetSlots>;
// Indexed [preset - 1][slot].
using ColourPresets = std::array<ColourPreset, kColourPresetCount>;

inline constexpr std::string_view kColourPresetGroup = "OffsetColor";
ColourPresets DefaultColourPresets();
// "Color10" for preset 1 slot 0 … "Color57" for preset 5 slot 7.
std::string ColourPresetValueName(int preset, int slot);
// Button caption of a preset: "ﾕｰｻﾞｰ 1" … "ﾕｰｻﾞｰ 5".
std::string ColourPresetCaption(int preset);

}  // namespace pelmora
