// A main window on the offscreen platform, over a private settings file and
// the scripted seam, plus .jwc drawings written into a private folder.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "app/unit1.h"
#include "tests/gui/scripted_seam_helpers.h"
#include "tests/support/jwc_writer.h"

class QAction;

namespace pelmora::test {

class WindowFixture {
 public:
  WindowFixture();
  ~WindowFixture();

  // A fresh main window over the same settings file (a restart).
  TForm1& Restart();
  TForm1& Form() { return *m_form; }
  ScriptedSeam& Seam() { return m_seam; }
  QString Folder() const { return m_dir.path(); }
  QString SettingsFile() const { return m_dir.filePath(QStringLiteral("Pelmora.conf")); }

  // Writes the drawing into the folder and returns its absolute path.
  QString Write(const QString& name, const JwcWriter& drawing) const;
  // Opens `path` through the open command (F1) with the dialog answered.
  void Open(const QString& path);
  // The window's named action (F1, E2_5, S2_8, ...).
  QAction* Action(const char* name);
  void Trigger(const char* name);

 private:
  QTemporaryDir m_dir;
  ScriptedSeam m_seam;
  std::unique_ptr<TForm1> m_form;
};

// An A4 drawing (paper code 4) whose window width is 297 units, so that one
// preview pixel is one millimetre (PixelsPerMm = 1, preview 297 x 210).
JwcWriter A4Drawing();

// The preview's pixel as 0x00BBGGRR.
Colour PreviewPixel(const TForm1& form, int x, int y);

}  // namespace pelmora::test
