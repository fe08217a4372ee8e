// The settings record's stored forms and the store over QSettings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/settings_fields.h"
#include "settings/store.h"

namespace pelmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Runs `body` where file permissions apply: in a child process as the user
// "nobody" when the tests run as root (root ignores them), else right here.
// Returns body's result; 100 and up when the child could not run it.
int AsUnprivileged(const std::function<int()>& body) {
  if (geteuid() != 0) return body();
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return 101;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 102;
}

std::vector<std::string> FieldNames() {
  std::vector<std::string> names;
  for (const auto& field : SettingsFields()) names.emplace_back(field.name);
  return names;
}

TEST(SettingsFields, TableIsInStoredOrderWithDefaults) {
  EXPECT_THAT(
      FieldNames(),
      ElementsAre("Top", "Left", "Width", "Height", "ColorMode", "No9", "TextMode", "WriteDPI",
                  "ToolMode", "InfoMode", "LGBMode", "usePalette", "BackColor", "Color1", "Color2",
                  "Color3", "Color4", "Color5", "Color6", "Color7", "PenWidth1", "PenWidth2",
                  "PenWidth3", "PenWidth4", "PenWidth5", "PenWidth6", "OpenDir", "SaveDir", "dpi",
                  "FontName", "Dot", "x1", "y1", "x2", "y2"));
  std::vector<std::string> defaults;
  for (const auto& field : SettingsFields()) defaults.push_back(DefaultText(field));
  EXPECT_THAT(defaults, ElementsAre("0", "0", "680", "480", "5", "1", "1", "1", "1", "1", "0", "0",
                                    "0", "16776960", "16777215", "32768", "65535", "16711935",
                                    "16711680", "0", "1", "1", "1", "1", "1", "1", "", "", "36",
                                    "ＭＳ ゴシック", "6", "0", "0", "100", "100"));
}

TEST(SettingsFields, EveryFieldWritesWhatItReads) {
  // Change every field away from its default through its text, then read the
  // written text back into a fresh record: both records must agree.
  Settings changed;
  int n = 2;
  for (const auto& field : SettingsFields()) {
    std::string text = std::to_string(n++);
    if (field.type == SettingType::kColorMode) text = "2";
    if (field.type == SettingType::kBoolean) text = DefaultText(field) == "1" ? "0" : "5";
    if (field.type == SettingType::kString) text = "値 " + text;
    ASSERT_TRUE(ReadStoredText(changed, field, text)) << field.name;
  }
  Settings copy;
  for (const auto& field : SettingsFields()) {
    ASSERT_TRUE(ReadStoredText(copy, field, StoredText(changed, field))) << field.name;
    EXPECT_EQ(StoredText(copy, field), StoredText(changed, field)) << field.name;
    EXPECT_NE(StoredText(copy, field), DefaultText(field)) << field.name;
  }
  EXPECT_EQ(copy.Dot, changed.Dot);
  EXPECT_EQ(copy.ColorMode, 4);
  EXPECT_EQ(copy.FontName, changed.FontName);
}

TEST(SettingsFields, IntegerTextIsSignAndDigitsOnly) {
  EXPECT_EQ(ParseStoredInteger("0"), 0);
  EXPECT_EQ(ParseStoredInteger("-12"), -12);
  EXPECT_EQ(ParseStoredInteger("+7"), 7);
  EXPECT_EQ(ParseStoredInteger("007"), 7);
  EXPECT_EQ(ParseStoredInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseStoredInteger("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", "-", "+", " 1", "1 ", "0x10", "1.0", "1e3", "12a", "2147483648",
                          "-2147483649", "99999999999999999999", "--1", "１"}) {
    EXPECT_FALSE(ParseStoredInteger(bad)) << '"' << bad << '"';
  }
}

TEST(SettingsFields, TypedReadingRules) {
  Settings s;
  const auto& no9 = *FindSettingsField("No9");
  EXPECT_TRUE(ReadStoredText(s, no9, "0"));
  EXPECT_FALSE(s.No9);
  EXPECT_TRUE(ReadStoredText(s, no9, "2"));  // any integer but 0 is true
  EXPECT_TRUE(s.No9);
  EXPECT_EQ(StoredText(s, no9), "1");
  s.No9 = false;
  EXPECT_TRUE(ReadStoredText(s, no9, "-1"));
  EXPECT_TRUE(s.No9);
  s.No9 = false;
  EXPECT_FALSE(ReadStoredText(s, no9, "true"));
  EXPECT_FALSE(s.No9) << "invalid text leaves the field alone";

  const auto& mode = *FindSettingsField("ColorMode");
  const int expected_bits[] = {24, 1, 4, 8, 16, 24, 24};
  for (int code = 0; code <= 6; ++code) {
    s.ColorMode = 1;
    EXPECT_TRUE(ReadStoredText(s, mode, std::to_string(code)));
    EXPECT_EQ(s.ColorMode, expected_bits[code]) << "code " << code;
  }
  s.ColorMode = 24;
  EXPECT_FALSE(ReadStoredText(s, mode, "abc"));
  EXPECT_EQ(s.ColorMode, 24);
  EXPECT_EQ(StoredText(s, mode), "5");
  s.ColorMode = 7;  // not a depth: written as 24 bits
  EXPECT_EQ(StoredText(s, mode), "5");

  // Colours are 32-bit patterns written back as the signed integer they came from.
  const auto& back = *FindSettingsField("BackColor");
  EXPECT_TRUE(ReadStoredText(s, back, "-1"));
  EXPECT_EQ(s.BackColor, 0xFFFFFFFFu);
  EXPECT_EQ(StoredText(s, back), "-1");
  EXPECT_TRUE(ReadStoredText(s, back, "255"));
  EXPECT_EQ(s.BackColor, 0x0000FFu);

  const auto& font = *FindSettingsField("FontName");
  EXPECT_TRUE(ReadStoredText(s, font, ""));
  EXPECT_EQ(s.FontName, "");
}

TEST(SettingsFields, SetByNameForTheCommandLine) {
  Settings s;
  std::string error;
  EXPECT_TRUE(ApplySettingAssignment(s, "Color1=255", &error)) << error;
  EXPECT_EQ(s.Color1, 0x0000FFu);
  EXPECT_TRUE(ApplySettingAssignment(s, "usePalette=1", &error));
  EXPECT_TRUE(s.usePalette);
  EXPECT_TRUE(ApplySettingAssignment(s, "WriteDPI=0", &error));
  EXPECT_FALSE(s.WriteDPI);
  EXPECT_TRUE(ApplySettingAssignment(s, "ColorMode=3", &error));
  EXPECT_EQ(s.ColorMode, 8);
  EXPECT_TRUE(ApplySettingAssignment(s, "FontName=a=b", &error));
  EXPECT_EQ(s.FontName, "a=b");

  const Settings before = s;
  EXPECT_FALSE(ApplySettingAssignment(s, "dpi=300x", &error));
  EXPECT_THAT(error, HasSubstr("dpi"));
  EXPECT_THAT(error, HasSubstr("300x"));
  EXPECT_FALSE(ApplySettingAssignment(s, "DPI=300", &error)) << "names are case-sensitive";
  EXPECT_THAT(error, HasSubstr("unknown setting"));
  EXPECT_FALSE(ApplySettingAssignment(s, "ColorMode=6", &error));
  EXPECT_THAT(error, HasSubstr("1..5"));
  EXPECT_FALSE(ApplySettingAssignment(s, "No9=yes", &error));
  EXPECT_FALSE(ApplySettingAssignment(s, "dpi", &error));
  EXPECT_THAT(error, HasSubstr("NAME=VALUE"));
  EXPECT_EQ(s.dpi, before.dpi);
  EXPECT_EQ(s.ColorMode, before.ColorMode);
  EXPECT_EQ(s.No9, before.No9);
}

// Pen widths and the point size are held within the settings dialog's ranges
// wherever they are read; other integers are taken as they come.
TEST(SettingsFields, DialogRangesHoldWhatIsRead) {
  struct Case {
    const char* name;
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"PenWidth1", "65536", 99},
      {"PenWidth1", "99", 99},
      {"PenWidth3", "0", 1},
      {"PenWidth6", "-7", 1},
      {"PenWidth2", "1", 1},
      {"PenWidth4", "42", 42},
      {"Dot", "2000000", 100},
      {"Dot", "100", 100},
      {"Dot", "0", 1},
      {"Dot", "-2147483648", 1},
      {"Dot", "6", 6},
      {"Top", "-3000", -3000},
      {"dpi", "100000", 100000},
      {"x2", "2147483647", 2147483647},
  };
  for (const Case& c : cases) {
    const SettingsField& field = *FindSettingsField(c.name);
    const int Settings::*member = std::get<int Settings::*>(field.member);
    Settings stored;
    EXPECT_TRUE(ReadStoredText(stored, field, c.text)) << c.name << "=" << c.text;
    EXPECT_EQ(stored.*member, c.expected) << "stored " << c.name << "=" << c.text;
    Settings set;
    std::string error;
    EXPECT_TRUE(SetSettingByName(set, c.name, c.text, &error)) << error;
    EXPECT_EQ(set.*member, c.expected) << "--set " << c.name << "=" << c.text;
  }
}

TEST(SettingsFields, ColourAndPenWidthTables) {
  Settings s;
  for (int i = 0; i < kColourTableSize; ++i) ColourEntry(s, i) = 0x100u + static_cast<Colour>(i);
  EXPECT_EQ(s.BackColor, 0x100u);
  EXPECT_EQ(s.Color1, 0x101u);
  EXPECT_EQ(s.Color7, 0x107u);
  EXPECT_EQ(ColourTable(s)[6], 0x106u);
  for (int i = kFirstPenWidth; i <= kLastPenWidth; ++i) PenWidthEntry(s, i) = 10 + i;
  EXPECT_EQ(s.PenWidth1, 11);
  EXPECT_EQ(s.PenWidth6, 16);
  const Settings& c = s;
  EXPECT_EQ(PenWidthEntry(c, 3), 13);
  EXPECT_THROW(ColourEntry(c, 8), std::out_of_range);
  EXPECT_THROW(ColourEntry(c, -1), std::out_of_range);
  EXPECT_THROW(PenWidthEntry(c, 0), std::out_of_range);
  EXPECT_THROW(PenWidthEntry(c, 7), std::out_of_range);
}

TEST(SettingsFields, ColorModeCodesAndLabels) {
  std::vector<std::string> labels;
  for (const auto& mode : ColorModes()) {
    EXPECT_EQ(ColorModeBitsFromCode(mode.code), mode.bits);
    EXPECT_EQ(ColorModeCodeFromBits(mode.bits), mode.code);
    EXPECT_TRUE(IsColorModeBits(mode.bits));
    labels.emplace_back(ColorModeLabel(mode.bits));
  }
  EXPECT_THAT(labels, ElementsAre(" 1bit (白黒)", " 4bit (16色)", " 8bit (256色)",
                                  "16bit (65536色)", "24bit (1677万色)"));
  EXPECT_FALSE(IsColorModeBits(2));
  EXPECT_EQ(ColorModeLabel(32), "24bit (1677万色)");
}

TEST(SettingsFields, ColourPresetDefaultsAndNames) {
  const ColourPresets presets = DefaultColourPresets();
  EXPECT_THAT(presets[0], ElementsAre(0xFFFFFFu, 0u, 0u, 0u, 0u, 0u, 0u, 0u));
  EXPECT_THAT(presets[1], ElementsAre(0u, 0xFFFF00u, 0xFFFFFFu, 0x00FF00u, 0x00FFFFu, 0xFF00FFu,
                                      0xFF0000u, 0u));
  EXPECT_EQ(presets[2], presets[1]);
  EXPECT_THAT(presets[3], ElementsAre(0u, 0xFFBC79u, 0xDEDEDEu, 0x9AD206u, 0x7BD2FDu, 0xFCA3D8u,
                                      0xC66311u, 0u));
  EXPECT_EQ(presets[4], presets[3]);
  std::set<std::string> names;
  for (int p = 1; p <= kColourPresetCount; ++p) {
    for (int slot = 0; slot < kColourPresetSlots; ++slot) {
      names.insert(ColourPresetValueName(p, slot));
    }
  }
  EXPECT_EQ(names.size(), 40u);
  EXPECT_EQ(ColourPresetValueName(1, 0), "Color10");
  EXPECT_EQ(ColourPresetValueName(5, 7), "Color57");
  EXPECT_EQ(ColourPresetCaption(3), "ﾕｰｻﾞｰ 3");
}

// ---- The store.

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
  std::string Path(const char* name = "Pelmora.conf") const {
    return m_dir.filePath(QString::fromUtf8(name)).toStdString();
  }
  // Values written straight into the file, as an older version or a hand edit would.
  void Put(const std::string& path, const QString& key, const QVariant& value) {
    QSettings raw(QString::fromStdString(path), QSettings::IniFormat);
    raw.setValue(key, value);
    raw.sync();
    ASSERT_EQ(raw.status(), QSettings::NoError);
  }
  QTemporaryDir m_dir;
};

TEST_F(SettingsStoreTest, FirstRunGivesDefaultsAndWritesNothing) {
  const SettingsStore store(Path());
  const Settings s = store.Load();
  EXPECT_EQ(s.Width, 680);
  EXPECT_EQ(s.Height, 480);
  EXPECT_EQ(s.Top, 0);
  EXPECT_EQ(s.ColorMode, 24);
  EXPECT_EQ(s.dpi, 36);
  EXPECT_TRUE(s.ToolMode);
  EXPECT_TRUE(s.InfoMode);
  EXPECT_FALSE(s.LGBMode);
  EXPECT_EQ(s.x2, 100);
  EXPECT_EQ(s.y2, 100);
  const std::string here = QDir::toNativeSeparators(QDir::currentPath()).toStdString();
  EXPECT_EQ(s.OpenDir, here);
  EXPECT_EQ(s.SaveDir, here);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path()))) << "loading never writes";
  EXPECT_EQ(store.LoadColourPresets(), DefaultColourPresets());
}

TEST_F(SettingsStoreTest, DefaultStoreFollowsXdgConfigHome) {
  const char* old = getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  const std::string home = m_dir.path().toStdString() + "/config";
  setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  const SettingsStore store;
  if (old) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  EXPECT_EQ(store.Location(), home + "/Tovarin/Pelmora.conf");
  Settings s;
  s.dpi = 250;
  std::string error;
  ASSERT_TRUE(store.Save(s, &error)) << error;  // creates Tovarin/ on the way
  EXPECT_EQ(SettingsStore(home + "/Tovarin/Pelmora.conf").Load().dpi, 250);
}

TEST_F(SettingsStoreTest, SaveWritesEveryValueAsText) {
  const SettingsStore store(Path());
  Settings s = store.Load();
  std::string error;
  ASSERT_TRUE(store.Save(s, &error)) << error;
  QSettings raw(QString::fromStdString(Path()), QSettings::IniFormat);
  for (const auto& field : SettingsFields()) {
    const QString key = QString::fromUtf8(field.name.data(), static_cast<int>(field.name.size()));
    const QVariant value = raw.value(key);
    ASSERT_TRUE(value.isValid()) << field.name;
    EXPECT_EQ(value.typeId(), QMetaType::QString) << field.name;
    EXPECT_EQ(value.toString().toStdString(), StoredText(s, field)) << field.name;
  }
  // The text as it sits in the file.
  QFile file(QString::fromStdString(Path()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.contains("\nColorMode=5\n")) << bytes.constData();
  EXPECT_TRUE(bytes.contains("\nColor1=16776960\n"));
  EXPECT_TRUE(bytes.contains("\nNo9=1\n"));
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"Pelmora.conf"});
}

TEST_F(SettingsStoreTest, OddValuesReadAsDefaultsAndAreWrittenBackMended) {
  for (const char* code : {"0", "6", "abc"}) {
    const std::string path = Path((std::string("mode") + code + ".conf").c_str());
    Put(path, "ColorMode", QString::fromUtf8(code));
    Put(path, "LGBMode", QStringLiteral("2"));
    Put(path, "dpi", QStringLiteral("300 "));  // trailing blank: not an integer
    Put(path, "Width", QSize(3, 4));           // not a string at all
    const SettingsStore store(path);
    const Settings s = store.Load();
    EXPECT_EQ(s.ColorMode, 24) << code;
    EXPECT_TRUE(s.LGBMode);
    EXPECT_EQ(s.dpi, 36);
    EXPECT_EQ(s.Width, 680);
    ASSERT_TRUE(store.Save(s));
    QSettings raw(QString::fromStdString(path), QSettings::IniFormat);
    EXPECT_EQ(raw.value("ColorMode").toString(), "5");
    EXPECT_EQ(raw.value("LGBMode").toString(), "1");
    EXPECT_EQ(raw.value("dpi").toString(), "36");
    EXPECT_EQ(raw.value("Width").typeId(), QMetaType::QString);
    EXPECT_EQ(raw.value("Width").toString(), "680");
  }
}

TEST_F(SettingsStoreTest, WidthsAndDotOutOfTheDialogsRangeAreHeldOnLoad) {
  const std::string path = Path("ranges.conf");
  Put(path, "PenWidth1", QStringLiteral("65536"));
  Put(path, "PenWidth5", QStringLiteral("0"));
  Put(path, "Dot", QStringLiteral("2000000"));
  const Settings s = SettingsStore(path).Load();
  EXPECT_EQ(s.PenWidth1, 99);
  EXPECT_EQ(s.PenWidth5, 1);
  EXPECT_EQ(s.PenWidth2, 1);
  EXPECT_EQ(s.Dot, 100);
}

TEST_F(SettingsStoreTest, HandEditedListIsNotAString) {
  QFile file(QString::fromStdString(Path()));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[General]\nFontName=Noto Sans, Bold\nDot=4\n");
  file.close();
  const Settings s = SettingsStore(Path()).Load();
  EXPECT_EQ(s.FontName, "ＭＳ ゴシック");
  EXPECT_EQ(s.Dot, 4);
}

TEST_F(SettingsStoreTest, StringsRoundTripWhateverTheyLookLike) {
  const SettingsStore store(Path());
  const std::vector<std::string> texts = {"/home/user/図面, 2024",
                                          "a,b",
                                          "@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)",
                                          "@Size(3 4)",
                                          " leading",
                                          "trailing ",
                                          "semi;colon # hash",
                                          "say \"hi\"",
                                          "back\\slash\\",
                                          "key=value",
                                          "ＭＳ ゴシック",
                                          "",
                                          "[General]",
                                          "tab\there",
                                          "line\nbreak"};
  for (const std::string& text : texts) {
    Settings s;
    s.OpenDir = text;
    s.FontName = text;
    ASSERT_TRUE(store.Save(s));
    const Settings back = store.Load();
    EXPECT_EQ(back.OpenDir, text);
    EXPECT_EQ(back.FontName, text);
    EXPECT_EQ(back.dpi, 36) << "a string must not disturb its neighbours: " << text;
  }
}

TEST_F(SettingsStoreTest, FullRoundTrip) {
  const SettingsStore store(Path());
  Settings s;
  s.Top = -20;
  s.Left = 1920;
  s.ColorMode = 1;
  s.No9 = false;
  s.usePalette = true;
  s.BackColor = 0xFFFFFF;
  s.Color7 = 0x123456;
  s.PenWidth4 = 99;
  s.SaveDir = "/tmp/出力";
  s.dpi = 600;
  s.FontName = "IPAGothic";
  s.Dot = 1;
  s.x1 = -5;
  s.y2 = 841;
  ASSERT_TRUE(store.Save(s));
  const Settings back = store.Load();
  for (const auto& field : SettingsFields()) {
    EXPECT_EQ(StoredText(back, field), StoredText(s, field)) << field.name;
  }
}

TEST_F(SettingsStoreTest, ColourPresetsRoundTripAndKeepSlotSeven) {
  const SettingsStore store(Path());
  Put(Path(), "OffsetColor/Color37", QStringLiteral("123"));
  Put(Path(), "OffsetColor/Color21", QStringLiteral("xyz"));
  ColourPresets presets = store.LoadColourPresets();
  EXPECT_EQ(presets[2][7], 123u);
  EXPECT_EQ(presets[1][1], 0xFFFF00u) << "invalid text gives the slot's default";
  presets[0][3] = 0x00ABCDEF;
  std::string error;
  ASSERT_TRUE(store.SaveColourPresets(presets, &error)) << error;
  EXPECT_EQ(store.LoadColourPresets(), presets);
  QSettings raw(QString::fromStdString(Path()), QSettings::IniFormat);
  raw.beginGroup("OffsetColor");
  EXPECT_EQ(raw.childKeys().size(), 40);
  EXPECT_EQ(raw.value("Color37").toString(), "123");
  EXPECT_EQ(raw.value("Color13").toString(), QString::number(0x00ABCDEF));
  EXPECT_EQ(raw.value("Color57").typeId(), QMetaType::QString);
  raw.endGroup();
  // Settings and presets share the file without disturbing each other.
  Settings s;
  s.dpi = 144;
  ASSERT_TRUE(store.Save(s));
  EXPECT_EQ(store.LoadColourPresets(), presets);
  EXPECT_EQ(store.Load().dpi, 144);
}

TEST_F(SettingsStoreTest, SaveReportsAFolderThatCannotExist) {
  // A file where the folder should be: no user, root included, can save there.
  QFile blocker(m_dir.filePath("blocker"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const std::string path = m_dir.filePath("blocker/Pelmora.conf").toStdString();
  std::string error;
  EXPECT_FALSE(SettingsStore(path).Save(Settings{}, &error));
  EXPECT_THAT(error, HasSubstr(path));
  EXPECT_FALSE(SettingsStore(path).SaveColourPresets(DefaultColourPresets(), &error));
}

TEST_F(SettingsStoreTest, FailedSaveLeavesThePreviousFileWhole) {
  const SettingsStore store(Path());
  Settings s;
  s.dpi = 72;
  ASSERT_TRUE(store.Save(s));
  QFile file(QString::fromStdString(Path()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  // A folder nobody may write in: the file itself is writable, so only a save
  // that writes in place could succeed, and the store never does.
  ASSERT_TRUE(QFile::setPermissions(
      QString::fromStdString(Path()),
      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther));
  ASSERT_TRUE(QFile::setPermissions(
      m_dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
  const int outcome = AsUnprivileged([&] {
    Settings changed;
    changed.dpi = 360;
    std::string error;
    if (store.Save(changed, &error)) return 1;
    return error.empty() ? 2 : 0;
  });
  QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_EQ(outcome, 0);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
  EXPECT_EQ(store.Load().dpi, 72);
  EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"Pelmora.conf"});
}

TEST_F(SettingsStoreTest, SettingsFileThatIsNoRegularFileIsNeverOpened) {
  // A named pipe would block its reader (and QSettings' save, which reads
  // first) forever; a folder cannot be read either. Both are left alone.
  const std::string pipe = Path();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string folder = Path("folder.conf");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  for (const std::string& path : {pipe, folder}) {
    const SettingsStore store(path);
    std::string unreadable;
    const Settings s = store.Load(&unreadable);
    EXPECT_EQ(s.dpi, 36);
    EXPECT_EQ(s.Width, 680);
    EXPECT_THAT(unreadable, HasSubstr("is not a regular file")) << path;
    EXPECT_EQ(store.Unreadable(), unreadable);
    EXPECT_EQ(store.LoadColourPresets(), DefaultColourPresets());
    std::string error;
    EXPECT_FALSE(store.Save(s, &error));
    EXPECT_THAT(error, HasSubstr("is not a regular file"));
    error.clear();
    EXPECT_FALSE(store.SaveColourPresets(DefaultColourPresets(), &error));
    EXPECT_THAT(error, HasSubstr("is not a regular file"));
  }
  struct stat status {};
  ASSERT_EQ(stat(pipe.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST_F(SettingsStoreTest, UnreadableSettingsGiveTheDefaultsAndSaySo) {
  const SettingsStore store(Path());
  std::string unreadable;
  EXPECT_EQ(store.Load(&unreadable).dpi, 36);
  EXPECT_EQ(unreadable, "") << "a first run is no failure";
  Settings s;
  s.dpi = 250;
  ASSERT_TRUE(store.Save(s));
  EXPECT_EQ(store.Load(&unreadable).dpi, 250);
  EXPECT_EQ(unreadable, "");

  ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(Path()), QFileDevice::Permissions()));
  ASSERT_TRUE(QFile::setPermissions(
      m_dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
  const int outcome = AsUnprivileged([&] {
    std::string why;
    const Settings loaded = store.Load(&why);
    if (why.find("Permission denied") == std::string::npos) return 1;
    return loaded.dpi == 36 ? 0 : 2;
  });
  QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_EQ(outcome, 0);
}

}  // namespace
}  // namespace pelmora
