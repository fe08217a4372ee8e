#include "settings/store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

namespace pelmora {
namespace {

constexpr const char* kOrganisation = "Tovarin";
constexpr const char* kApplication = "Pelmora";

// On Windows and macOS the native store (registry, property list) is the
// organisation/application one. Elsewhere QSettings keeps the same INI file at
// $XDG_CONFIG_HOME/Tovarin/Pelmora.conf, but caches the folder for the life of
// the process; naming the file ourselves follows XDG_CONFIG_HOME as it is when
// the store is made.
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
constexpr bool kNativeStore = true;
#else
constexpr bool kNativeStore = false;
#endif

std::string UserIniPath() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return (folder + '/' + kOrganisation + '/' + kApplication + ".conf").toStdString();
}

// Why the INI file at `path` must not be opened, or "" when it may (it is a
// regular file this process may read, or it does not exist yet). stat follows
// symbolic links: a link to a regular file is that file.
std::string UnusableReason(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return path + ": " + std::strerror(errno);
  }
  if (!S_ISREG(status.st_mode)) return path + " is not a regular file";
  if (::access(path.c_str(), R_OK) != 0) return path + ": " + std::strerror(errno);
  return {};
}

std::unique_ptr<QSettings> Open(bool native, const std::string& location) {
  std::unique_ptr<QSettings> settings =
      native ? std::make_unique<QSettings>(kOrganisation, kApplication)
             : std::make_unique<QSettings>(QString::fromStdString(location), QSettings::IniFormat);
  // A save must never leave a half-written file. With atomic sync (Qt's
  // default, made explicit here) QSettings writes the whole INI text through
  // QSaveFile: an unnamed temporary file in the same folder (O_TMPFILE, else a
  // named one), fdatasync, then link/rename over Pelmora.conf, under the lock
  // file Pelmora.conf.lock. Where no temporary file can be made the save fails
  // (AccessError) instead of falling back to writing the file in place.
  settings->setAtomicSyncRequired(true);
  return settings;
}

// The stored text of `key`, or nothing when the value is missing or is not a
// string (a hand-edited "a, b" reads as a list, "@Variant(...)" as another type).
std::optional<std::string> StoredString(const QSettings& settings, const QString& key) {
  const QVariant value = settings.value(key);
  if (!value.isValid() || value.typeId() != QMetaType::QString) return std::nullopt;
  return value.toString().toStdString();
}

bool Finish(QSettings& settings, const std::string& location, std::string* error) {
  settings.sync();
  switch (settings.status()) {
    case QSettings::NoError:
      return true;
    case QSettings::AccessError:
      if (error) *error = "cannot write the settings to " + location;
      return false;
    case QSettings::FormatError:
      if (error) *error = "the settings file " + location + " is malformed; it was not replaced";
      return false;
  }
  if (error) *error = "cannot write the settings to " + location;
  return false;
}

}  // namespace

SettingsStore::SettingsStore() : m_native(kNativeStore) {
  m_location =
      m_native ? std::string("HKEY_CURRENT_USER\\Software\\Tovarin\\Pelmora") : UserIniPath();
}

SettingsStore::SettingsStore(std::string ini_path) : m_location(std::move(ini_path)) {}

bool SettingsStore::MayWrite(std::string* error) const {
  // QSettings reads the file before it writes it: a pipe would block the save.
  if (m_native) return true;
  struct stat status {};
  if (::stat(m_location.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return true;
  if (error) *error = "cannot write the settings: " + m_location + " is not a regular file";
  return false;
}

std::string SettingsStore::Unreadable() const {
  return m_native ? std::string() : UnusableReason(m_location);
}

Settings SettingsStore::Load(std::string* unreadable) const {
  Settings result;
  const std::string current = QDir::toNativeSeparators(QDir::currentPath()).toStdString();
  result.OpenDir = current;
  result.SaveDir = current;
  if (std::string reason = Unreadable(); !reason.empty()) {
    if (unreadable) *unreadable = std::move(reason);
    return result;
  }
  const auto settings = Open(m_native, m_location);
  for (const SettingsField& field : SettingsFields()) {
    const auto text = StoredString(
        *settings, QString::fromUtf8(field.name.data(), static_cast<qsizetype>(field.name.size())));
    // Invalid text leaves the default in place.
    if (text) ReadStoredText(result, field, *text);
  }
  return result;
}

bool SettingsStore::Save(const Settings& settings, std::string* error) const {
  if (!MayWrite(error)) return false;
  const auto store = Open(m_native, m_location);
  for (const SettingsField& field : SettingsFields()) {
    // Always a QString, so that every value stays a string in the store.
    store->setValue(QString::fromUtf8(field.name.data(), static_cast<qsizetype>(field.name.size())),
                    QString::fromStdString(StoredText(settings, field)));
  }
  return Finish(*store, m_location, error);
}

namespace {
constexpr const char* kRecentFilesValue = "RecentFiles";
}  // namespace

std::vector<std::string> SettingsStore::LoadRecentFiles() const {
  std::vector<std::string> paths;
  if (!Unreadable().empty()) return paths;
  const auto settings = Open(m_native, m_location);
  const auto text = StoredString(*settings, QString::fromLatin1(kRecentFilesValue));
  if (!text) return paths;
  std::size_t start = 0;
  while (start <= text->size()) {
    const std::size_t end = std::min(text->find('\n', start), text->size());
    if (end > start) paths.push_back(text->substr(start, end - start));
    start = end + 1;
  }
  return paths;
}

bool SettingsStore::SaveRecentFiles(const std::vector<std::string>& paths,
                                    std::string* error) const {
  if (!MayWrite(error)) return false;
  std::string text;
  for (const std::string& path : paths) {
    if (path.empty() || path.find('\n') != std::string::npos) continue;
    if (!text.empty()) text += '\n';
    text += path;
  }
  const auto settings = Open(m_native, m_location);
  settings->setValue(QString::fromLatin1(kRecentFilesValue), QString::fromStdString(text));
  return Finish(*settings, m_location, error);
}

ColourPresets SettingsStore::LoadColourPresets() const {
  ColourPresets presets = DefaultColourPresets();
  if (!Unreadable().empty()) return presets;
  const auto settings = Open(m_native, m_location);
  settings->beginGroup(QString::fromUtf8(kColourPresetGroup.data(),
                                         static_cast<qsizetype>(kColourPresetGroup.size())));
  for (int preset = 1; preset <= kColourPresetCount; ++preset) {
    for (int slot = 0; slot < kColourPresetSlots; ++slot) {
      const auto text =
          StoredString(*settings, QString::fromStdString(ColourPresetValueName(preset, slot)));
      if (!text) continue;
      if (const auto value = ParseStoredInteger(*text)) {
        presets[static_cast<std::size_t>(preset - 1)][static_cast<std::size_t>(slot)] =
            static_cast<Colour>(static_cast<std::uint32_t>(*value));
      }
    }
  }
  return presets;
}

bool SettingsStore::SaveColourPresets(const ColourPresets& presets, std::string* error) const {
  if (!MayWrite(error)) return false;
  const auto settings = Open(m_native, m_location);
  settings->beginGroup(QString::fromUtf8(kColourPresetGroup.data(),
                                         static_cast<qsizetype>(kColourPresetGroup.size())));
  for (int preset = 1; preset <= kColourPresetCount; ++preset) {
    for (int slot = 0; slot < kColourPresetSlots; ++slot) {
      const Colour colour =
          presets[static_cast<std::size_t>(preset - 1)][static_cast<std::size_t>(slot)];
      settings->setValue(QString::fromStdString(ColourPresetValueName(preset, slot)),
                         QString::number(static_cast<std::int32_t>(colour)));
    }
  }
  settings->endGroup();
  return Finish(*settings, m_location, error);
}

}  // namespace pelmora
