#include "settings/settings_fields.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace pelmora {
namespace {

constexpr SettingsField Int(std::string_view name, int Settings::*m) {
  return {name, SettingType::kInteger, m};
}
// Pen widths 1..99 and the point size 1..100, as the settings dialog allows.
constexpr SettingsField Ranged(std::string_view name, int Settings::*m, int least, int most) {
  return {name, SettingType::kInteger, m, least, most};
}
constexpr SettingsField Bool(std::string_view name, bool Settings::*m) {
  return {name, SettingType::kBoolean, m};
}
constexpr SettingsField Col(std::string_view name, Colour Settings::*m) {
  return {name, SettingType::kColour, m};
}
constexpr SettingsField Str(std::string_view name, std::string Settings::*m) {
  return {name, SettingType::kString, m};
}

const SettingsField kFields[] = {
    Int("Top", &Settings::Top),
    Int("Left", &Settings::Left),
    Int("Width", &Settings::Width),
    Int("Height", &Settings::Height),
    {"ColorMode", SettingType::kColorMode, &Settings::ColorMode},
    Bool("No9", &Settings::No9),
    Bool("TextMode", &Settings::TextMode),
    Bool("WriteDPI", &Settings::WriteDPI),
    Bool("ToolMode", &Settings::ToolMode),
    Bool("InfoMode", &Settings::InfoMode),
    Bool("LGBMode", &Settings::LGBMode),
    Bool("usePalette", &Settings::usePalette),
    Col("BackColor", &Settings::BackColor),
    Col("Color1", &Settings::Color1),
    Col("Color2", &Settings::Color2),
    Col("Color3", &Settings::Color3),
    Col("Color4", &Settings::Color4),
    Col("Color5", &Settings::Color5),
    Col("Color6", &Settings::Color6),
    Col("Color7", &Settings::Color7),
    Ranged("PenWidth1", &Settings::PenWidth1, 1, 99),
    Ranged("PenWidth2", &Settings::PenWidth2, 1, 99),
    Ranged("PenWidth3", &Settings::PenWidth3, 1, 99),
    Ranged("PenWidth4", &Settings::PenWidth4, 1, 99),
    Ranged("PenWidth5", &Settings::PenWidth5, 1, 99),
    Ranged("PenWidth6", &Settings::PenWidth6, 1, 99),
    Str("OpenDir", &Settings::OpenDir),
    Str("SaveDir", &Settings::SaveDir),
    Int("dpi", &Settings::dpi),
    Str("FontName", &Settings::FontName),
    Ranged("Dot", &Settings::Dot, 1, 100),
    Int("x1", &Settings::x1),
    Int("y1", &Settings::y1),
    Int("x2", &Settings::x2),
    Int("y2", &Settings::y2),
};

constexpr std::array<Colour Settings::*, kColourTableSize> kColourMembers = {
    &Settings::BackColor, &Settings::Color1, &Settings::Color2, &Settings::Color3,
    &Settings::Color4,    &Settings::Color5, &Settings::Color6, &Settings::Color7};

constexpr std::array<int Settings::*, kLastPenWidth> kPenWidthMembers = {
    &Settings::PenWidth1, &Settings::PenWidth2, &Settings::PenWidth3,
    &Settings::PenWidth4, &Settings::PenWidth5, &Settings::PenWidth6};

constexpr ColorModeInfo kColorModes[] = {
    {1, 1, " 1bit (白黒)"},     {2, 4, " 4bit (16色)"},      {3, 8, " 8bit (256色)"},
    {4, 16, "16bit (65536色)"}, {5, 24, "24bit (1677万色)"},
};

// A parsed value ready to be stored into the field; nullopt when the text is
// not valid for the field's type.
using FieldValue = std::variant<int, bool, Colour, std::string>;

std::optional<FieldValue> ParseFor(const SettingsField& field, std::string_view text,
                                   bool strict_color_mode) {
  if (field.type == SettingType::kString) return FieldValue{std::string(text)};
  const auto number = ParseStoredInteger(text);
  if (!number) return std::nullopt;
  switch (field.type) {
    case SettingType::kInteger:
      return FieldValue{std::clamp(*number, field.least, field.most)};
    case SettingType::kBoolean:
      return FieldValue{*number != 0};
    case SettingType::kColour:
      return FieldValue{static_cast<Colour>(static_cast<std::uint32_t>(*number))};
    case SettingType::kColorMode:
      if (strict_color_mode && (*number < 1 || *number > 5)) return std::nullopt;
      return FieldValue{ColorModeBitsFromCode(*number)};
    case SettingType::kString:
      break;
  }
  return std::nullopt;
}

void Store(Settings& settings, const SettingsField& field, FieldValue value) {
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(settings.*member)>;
        settings.*member = std::get<T>(std::move(value));
      },
      field.member);
}

}  // namespace

std::span<const SettingsField> SettingsFields() {
  return kFields;
}

const SettingsField* FindSettingsField(std::string_view name) {
  for (const auto& field : kFields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

std::optional<int> ParseStoredInteger(std::string_view text) {
  if (text.empty()) return std::nullopt;
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulate as a negative number so that INT_MIN parses without overflow.
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 - (c - '0');
    if (value < std::numeric_limits<int>::min()) return std::nullopt;
  }
  if (!negative) {
    if (-value > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(-value);
  }
  return static_cast<int>(value);
}

std::string StoredText(const Settings& settings, const SettingsField& field) {
  switch (field.type) {
    case SettingType::kInteger:
      return std::to_string(settings.*std::get<int Settings::*>(field.member));
    case SettingType::kBoolean:
      return settings.*std::get<bool Settings::*>(field.member) ? "1" : "0";
    case SettingType::kColour:
      // Written as the signed 32-bit integer the value reads back from.
      return std::to_string(
          static_cast<std::int32_t>(settings.*std::get<Colour Settings::*>(field.member)));
    case SettingType::kColorMode:
      return std::to_string(
          ColorModeCodeFromBits(settings.*std::get<int Settings::*>(field.member)));
    case SettingType::kString:
      return settings.*std::get<std::string Settings::*>(field.member);
  }
  return {};
}

std::string DefaultText(const SettingsField& field) {
  return StoredText(Settings{}, field);
}

bool ReadStoredText(Settings& settings, const SettingsField& field, std::string_view text) {
  auto value = ParseFor(field, text, /*strict_color_mode=*/false);
  if (!value) return false;
  Store(settings, field, std::move(*value));
  return true;
}

bool SetSettingByName(Settings& settings, std::string_view name, std::string_view value,
                      std::string* error) {
  const SettingsField* field = FindSettingsField(name);
  if (!field) {
    if (error) *error = "unknown setting \"" + std::string(name) + "\"";
    return false;
  }
  auto parsed = ParseFor(*field, value, /*strict_color_mode=*/true);
  if (!parsed) {
    if (error) {
      std::string expected;
      switch (field->type) {
        case SettingType::kInteger:
        case SettingType::kColour:
          expected = "an integer";
          break;
        case SettingType::kBoolean:
          expected = "an integer (0 = off, anything else = on)";
          break;
        case SettingType::kColorMode:
          expected = "a colour-depth code 1..5 (1, 4, 8, 16, 24 bits)";
          break;
        case SettingType::kString:
          break;
      }
      *error =
          "setting " + std::string(name) + ": \"" + std::string(value) + "\" is not " + expected;
    }
    return false;
  }
  Store(settings, *field, std::move(*parsed));
  return true;
}

bool ApplySettingAssignment(Settings& settings, std::string_view assignment, std::string* error) {
  const auto equals = assignment.find('=');
  if (equals == std::string_view::npos) {
    if (error) {
      // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "\"" + string.
      std::string message(1, '"');
      message.append(assignment);
      message += "\" is not NAME=VALUE";
      *error = std::move(message);
    }
    return false;
  }
  return SetSettingByName(settings, assignment.substr(0, equals), assignment.substr(equals + 1),
                          error);
}

Colour& ColourEntry(Settings& settings, int index) {
  if (index < 0 || index >= kColourTableSize) throw std::out_of_range("colour table index");
  return settings.*kColourMembers[static_cast<std::size_t>(index)];
}

Colour ColourEntry(const Settings& settings, int index) {
  if (index < 0 || index >= kColourTableSize) throw std::out_of_range("colour table index");
  return settings.*kColourMembers[static_cast<std::size_t>(index)];
}

std::array<Colour, kColourTableSize> ColourTable(const Settings& settings) {
  std::array<Colour, kColourTableSize> table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = settings.*kColourMembers[i];
  return table;
}

int& PenWidthEntry(Settings& settings, int index) {
  if (index < kFirstPenWidth || index > kLastPenWidth) {
    throw std::out_of_range("pen width table index");
  }
  return settings.*kPenWidthMembers[static_cast<std::size_t>(index - 1)];
}

int PenWidthEntry(const Settings& settings, int index) {
  if (index < kFirstPenWidth || index > kLastPenWidth) {
    throw std::out_of_range("pen width table index");
  }
  return settings.*kPenWidthMembers[static_cast<std::size_t>(index - 1)];
}

std::span<const ColorModeInfo> ColorModes() {
  return kColorModes;
}

int ColorModeBitsFromCode(int code) {
  for (const auto& mode : kColorModes) {
    if (mode.code == code) return mode.bits;
  }
  return 24;
}

int ColorModeCodeFromBits(int bits) {
  for (const auto& mode : kColorModes) {
    if (mode.bits == bits) return mode.code;
  }
  return 5;
}

bool IsColorModeBits(int bits) {
  for (const auto& mode : kColorModes) {
    if (mode.bits == bits) return true;
  }
  return false;
}

std::string_view ColorModeLabel(int bits) {
  for (const auto& mode : kColorModes) {
    if (mode.bits == bits) return mode.label;
  }
  return kColorModes[4].label;
}

ColourPresets DefaultColourPresets() {
  // Slot 0 is the background, 1..6 the pens, 7 is carried (0).
  constexpr ColourPreset kColoursOnBlack = {0x000000, 0xFFFF00, 0xFFFFFF, 0x00FF00,
                                            0x00FFFF, 0xFF00FF, 0xFF0000, 0};
  constexpr ColourPreset kSoftOnBlack = {0x000000, 0xFFBC79, 0xDEDEDE, 0x9AD206,
                                         0x7BD2FD, 0xFCA3D8, 0xC66311, 0};
  constexpr ColourPreset kBlackOnWhite = {0xFFFFFF, 0, 0, 0, 0, 0, 0, 0};
  return {kBlackOnWhite, kColoursOnBlack, kColoursOnBlack, kSoftOnBlack, kSoftOnBlack};
}

std::string ColourPresetValueName(int preset, int slot) {
  return "Color" + std::to_string(preset) + std::to_string(slot);
}

std::string ColourPresetCaption(int preset) {
  return "ﾕｰｻﾞｰ " + std::to_string(preset);
}

}  // namespace pelmora
