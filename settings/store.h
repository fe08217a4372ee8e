// The settings store: Settings and the colour presets kept between runs through
// QSettings("Tovarin", "Pelmora") — the registry key on Windows,
// $XDG_CONFIG_HOME/Tovarin/Pelmora.conf (default ~/.config) on Linux.
// Every value is stored as a string; the group "OffsetColor" holds the presets.
#pragma once

#include <string>
#include <vector>

#include "settings/settings.h"
#include "settings/settings_fields.h"

namespace pelmora {

class SettingsStore {
 public:
  // The program's own store. On Linux the file is looked up from
  // XDG_CONFIG_HOME each time a store is made, so a test can point it elsewhere.
  SettingsStore();
  // A store kept in the INI file at `ini_path` (tests, tools).
  explicit SettingsStore(std::string ini_path);

  // Where the values live: the INI file's path, or the registry key on Windows.
  const std::string& Location() const { return m_location; }

  // Every field in stored order. A missing value, text that is not valid for the
  // field, or a value that is not a string gives the field's default; OpenDir
  // and SaveDir default to the process's current folder. Never writes.
  // Saved settings that exist but cannot be read give every default, and the
  // reason goes to *unreadable (left alone otherwise) so that the caller can
  // say that the defaults are used: a settings file that is not a regular file
  // (a folder, a named pipe, a device) is never opened, as reading a pipe
  // would block; a regular file the user may not read is refused too.
  Settings Load(std::string* unreadable = nullptr) const;
  // Why the saved settings cannot be read, or "" when they can or do not exist
  // yet (a first run). The test Load makes.
  std::string Unreadable() const;
  // Writes every field as a string in stored order and flushes. The INI file is
  // replaced through a temporary file and a rename, so a failed save leaves the
  // previous file whole. A settings file that is not a regular file is left
  // alone (never opened) and the save fails. Returns false with the reason in
  // *error.
  bool Save(const Settings& settings, std::string* error = nullptr) const;

  // The 40 preset values Color10 … Color57 of the group "OffsetColor", each
  // falling back to its slot's default like the other colours.
  ColourPresets LoadColourPresets() const;
  bool SaveColourPresets(const ColourPresets& presets, std::string* error = nullptr) const;

  // The window's recently opened drawings, newest first: one string value
  // "RecentFiles" beside the settings, the paths separated by line feeds. A
  // missing or unreadable value gives none. Paths holding a line feed are not kept.
  std::vector<std::string> LoadRecentFiles() const;
  bool SaveRecentFiles(const std::vector<std::string>& paths, std::string* error = nullptr) const;

 private:
  // False, with the reason, when the settings file is there but is no regular
  // file: the saves leave such a file alone.
  bool MayWrite(std::string* error) const;

  bool m_native = false;  // QSettings(organisation, application) rather than a path
  std::string m_location;
};

}  // namespace pelmora
