#include "dialogs/modal_seam.h"

#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace pelmora {

namespace {

// The program words some questions with a line feed followed by a carriage
// return; a message box wants one line break.
QString ForDisplay(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

}  // namespace

void QtModalSeam::Message(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, kAppTitle, ForDisplay(text), QMessageBox::Ok, parent);
  box.exec();
}

bool QtModalSeam::Confirm(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title, ForDisplay(text),
                  QMessageBox::Ok | QMessageBox::Cancel, parent);
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok;
}

void QtModalSeam::Error(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, kAppTitle, ForDisplay(text), QMessageBox::Ok, parent);
  box.exec();
}

std::optional<QString> QtModalSeam::OpenFile(QWidget* parent, const QString& start_dir,
                                             const QString& filter) {
  QFileDialog dialog(parent, QString(), start_dir, filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

std::optional<QString> QtModalSeam::SaveFile(QWidget* parent, const QString& start_dir,
                                             const QString& suggested_name,
                                             const QString& filter,
                                             const QString& default_suffix,
                                             QString* selected_filter) {
  QFileDialog dialog(parent, QString(), start_dir, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(default_suffix);
  dialog.selectFile(suggested_name);
  // QFileDialog asks before replacing unless told otherwise.
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  if (selected_filter != nullptr) *selected_filter = dialog.selectedNameFilter();
  return dialog.selectedFiles().first();
}

QString QtModalSeam::InputBox(QWidget* parent, const QString& title, const QString& prompt,
                              const QString& initial) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, initial, &ok);
  return ok ? text : initial;
}

std::optional<Colour> QtModalSeam::PickColour(QWidget* parent, Colour initial) {
  const QColor start(RedOf(initial), GreenOf(initial), BlueOf(initial));
  const QColor chosen = QColorDialog::getColor(start, parent);
  if (!chosen.isValid()) return std::nullopt;
  return Rgb(chosen.red(), chosen.green(), chosen.blue());
}

int QtModalSeam::ShowModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace pelmora
