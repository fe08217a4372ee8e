// Build-time tool: writes what the converter's documentation says of --set
// from the table the settings store itself uses, so the manual page and the
// shell completion never disagree with what --set accepts.
//
//   pelmora-settings-doc man OUT.h2m           a [SETTINGS] section for help2man
//   pelmora-settings-doc completion IN OUT     IN with @SETTING_NAMES@ replaced
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>

#include "settings/settings_fields.h"

namespace {

using pelmora::SettingsField;
using pelmora::SettingType;

std::string TypeOf(const SettingsField& field) {
  switch (field.type) {
    case SettingType::kInteger:
      if (field.least != std::numeric_limits<int>::min() ||
          field.most != std::numeric_limits<int>::max()) {
        return "integer " + std::to_string(field.least) + "..." + std::to_string(field.most) +
               " (held at the nearer end)";
      }
      return "integer";
    case SettingType::kBoolean:
      return "1 (on) or 0 (off)";
    case SettingType::kColour:
      return "colour: 0x00BBGGRR as a decimal integer (255 is red)";
    case SettingType::kColorMode: {
      // The codes with the labels the window's depth menu shows.
      std::string text = "colour depth code:";
      for (const pelmora::ColorModeInfo& mode : pelmora::ColorModes()) {
        std::string label(mode.label);
        label.erase(0, label.find_first_not_of(' '));
        text += (mode.code == 1 ? " " : ", ") + std::to_string(mode.code) + " = " + label;
      }
      return text;
    }
    case SettingType::kString:
      return "text (UTF-8)";
  }
  return "text";
}

// Backslashes and leading dots mean something to troff.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string DefaultOf(const SettingsField& field) {
  if (field.name == "OpenDir" || field.name == "SaveDir") return "the current folder";
  const std::string text = pelmora::DefaultText(field);
  return text.empty() ? "empty" : text;
}

int WriteManSection(const char* path) {
  std::ofstream out(path, std::ios::binary);
  out << "[SETTINGS]\n"
      << "The names \\fB\\-\\-set\\fR\\ \\fINAME\\fR=\\fIVALUE\\fR accepts, in the order the "
         "settings are stored, with the form of each value and the built-in default "
         "(\\fB\\-\\-defaults\\fR):\n";
  for (const SettingsField& field : pelmora::SettingsFields()) {
    out << ".TP\n.B " << field.name << "\n"
        << Roff(TypeOf(field)) << "; default " << Roff(DefaultOf(field)) << ".\n";
  }
  out.flush();
  return out ? 0 : 1;
}

int WriteCompletion(const char* in_path, const char* out_path) {
  std::ifstream in(in_path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return 1;
  std::string names;
  for (const SettingsField& field : pelmora::SettingsFields()) {
    if (!names.empty()) names += ' ';
    names += field.name;
  }
  const std::string marker = "@SETTING_NAMES@";
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) {
    std::cerr << in_path << ": no " << marker << "\n";
    return 1;
  }
  text.replace(at, marker.size(), names);
  std::ofstream out(out_path, std::ios::binary);
  out << text;
  out.flush();
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "man" && argc == 3) return WriteManSection(argv[2]);
  if (mode == "completion" && argc == 4) return WriteCompletion(argv[2], argv[3]);
  std::cerr << "usage: pelmora-settings-doc man OUT | completion IN OUT\n";
  return 2;
}
