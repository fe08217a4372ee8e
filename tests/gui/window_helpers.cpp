#include "tests/gui/window_helpers.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QTest>

namespace pelmora::test {

WindowFixture::WindowFixture() { Restart(); }

WindowFixture::~WindowFixture() { m_form.reset(); }

TForm1& WindowFixture::Restart() {
  m_form.reset();
  m_form = std::make_unique<TForm1>(m_seam, SettingsStore(SettingsFile().toStdString()));
  return *m_form;
}

QString WindowFixture::Write(const QString& name, const JwcWriter& drawing) const {
  const QString path = m_dir.filePath(name);
  drawing.WriteFile(std::filesystem::path(QFile::encodeName(path).toStdString()));
  return path;
}

void WindowFixture::Open(const QString& path) {
  m_seam.open_files.push_back(path);
  Trigger("F1");
}

QAction* WindowFixture::Action(const char* name) {
  auto* action = m_form->findChild<QAction*>(QString::fromLatin1(name));
  if (action == nullptr) qFatal("no action %s", name);
  return action;
}

void WindowFixture::Trigger(const char* name) { Action(name)->trigger(); }

JwcWriter A4Drawing() { return JwcWriter().Paper(4).WindowWidth(297); }

Colour PreviewPixel(const TForm1& form, int x, int y) { return form.Preview()->ColourAt(x, y); }

}  // namespace pelmora::test
