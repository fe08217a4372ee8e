#include "tests/gui/scripted_seam_helpers.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

namespace pelmora::test {

namespace {

template <typename T>
bool Take(std::deque<T>& answers, T& out) {
  if (answers.empty()) return false;
  out = std::move(answers.front());
  answers.pop_front();
  return true;
}

}  // namespace

QStringList ScriptedSeam::Messages() const {
  QStringList texts;
  for (const QString& line : log)
    if (line.startsWith(QStringLiteral("message: "))) texts << line.mid(9);
  return texts;
}

QStringList ScriptedSeam::Unexpected() const { return m_unexpected; }

void ScriptedSeam::Clear() {
  log.clear();
  m_unexpected.clear();
}

void ScriptedSeam::Message(QWidget*, const QString& text) { log << "message: " + text; }

bool ScriptedSeam::Confirm(QWidget*, const QString& title, const QString& text) {
  log << "confirm: " + title + " | " + text;
  bool answer = false;
  if (!Take(confirms, answer)) m_unexpected << log.back();
  return answer;
}

void ScriptedSeam::Error(QWidget*, const QString& text) { log << "error: " + text; }

std::optional<QString> ScriptedSeam::OpenFile(QWidget*, const QString& start_dir,
                                              const QString& filter) {
  log << "open: " + start_dir + " | " + filter;
  std::optional<QString> answer;
  if (!Take(open_files, answer)) m_unexpected << log.back();
  return answer;
}

std::optional<QString> ScriptedSeam::SaveFile(QWidget*, const QString& start_dir,
                                              const QString& suggested_name,
                                              const QString& filter,
                                              const QString& default_suffix,
                                              QString* selected_filter) {
  if (selected_filter != nullptr) *selected_filter = save_filter;
  log << "save: " + start_dir + " | " + suggested_name + " | " + filter + " | " + default_suffix;
  std::optional<QString> answer;
  if (!Take(save_files, answer)) {
    m_unexpected << log.back();
    return std::nullopt;
  }
  if (answer && QFileInfo::exists(*answer)) {
    // The real dialog asks before an existing file is replaced.
    log << "replace: " + *answer;
    bool replace = false;
    if (!Take(confirms, replace)) m_unexpected << log.back();
    if (!replace) return std::nullopt;
  }
  return answer;
}

QString ScriptedSeam::InputBox(QWidget*, const QString& title, const QString& prompt,
                               const QString& initial) {
  log << "input: " + title + " | " + prompt + " | " + initial;
  std::optional<QString> answer;
  if (!Take(inputs, answer)) m_unexpected << log.back();
  return answer ? *answer : initial;
}

std::optional<Colour> ScriptedSeam::PickColour(QWidget*, Colour initial) {
  log << QStringLiteral("colour: 0x%1").arg(initial, 6, 16, QLatin1Char('0'));
  std::optional<Colour> answer;
  if (!Take(colours, answer)) m_unexpected << log.back();
  return answer;
}

int ScriptedSeam::ShowModal(QDialog& dialog) {
  log << QStringLiteral("dialog: ") + dialog.metaObject()->className();
  std::function<void(QDialog&)> script;
  if (!Take(dialogs, script)) {
    m_unexpected << log.back();
    dialog.reject();
    return dialog.result();
  }
  dialog.setResult(QDialog::Rejected);
  dialog.show();
  script(dialog);
  if (dialog.isVisible()) dialog.reject();
  return dialog.result();
}

void SetText(QWidget& root, const char* object_name, const QString& text) {
  auto* edit = root.findChild<QLineEdit*>(QString::fromLatin1(object_name));
  QVERIFY2(edit != nullptr, object_name);
  edit->setText(text);
}

void Click(QWidget& root, const char* object_name) {
  auto* button = root.findChild<QAbstractButton*>(QString::fromLatin1(object_name));
  QVERIFY2(button != nullptr, object_name);
  QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace pelmora::test
