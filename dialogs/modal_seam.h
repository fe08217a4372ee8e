// Every modal question the program asks goes through ModalSeam, so that the
// window tests can answer it with a script instead of a person.
#pragma once

#include <QString>
#include <optional>

#include "platform/raster/bitmap.h"

class QDialog;
class QWidget;

namespace pelmora {

// The application title, caption of every message box.
inline const QString kAppTitle = QStringLiteral("Pelmora");

class ModalSeam {
 public:
  virtual ~ModalSeam() = default;

  // A message box with the text alone and an OK button, titled kAppTitle.
  virtual void Message(QWidget* parent, const QString& text) = 0;
  // OK and Cancel; true only for OK. The text is passed as the program words
  // it (line breaks included).
  virtual bool Confirm(QWidget* parent, const QString& title, const QString& text) = 0;
  // The general error display: a failure that escaped a command (a file that
  // cannot be created, a busy clipboard).
  virtual void Error(QWidget* parent, const QString& text) = 0;

  // File dialogs. `filter` is a Qt name filter ("JW_CAD図面(*.jwc)"). Both
  // return the chosen absolute path, or nothing when cancelled. The open dialog
  // accepts only an existing file; the save dialog appends `default_suffix` to a
  // name without one and asks before an existing file is replaced, and puts the
  // filter the user chose in *selected_filter when given one.
  virtual std::optional<QString> OpenFile(QWidget* parent, const QString& start_dir,
                                          const QString& filter) = 0;
  virtual std::optional<QString> SaveFile(QWidget* parent, const QString& start_dir,
                                          const QString& suggested_name, const QString& filter,
                                          const QString& default_suffix,
                                          QString* selected_filter = nullptr) = 0;

  // The text input box: the edited text on OK, `initial` unchanged on Cancel.
  virtual QString InputBox(QWidget* parent, const QString& title, const QString& prompt,
                           const QString& initial) = 0;

  // The colour dialog started on `initial`; nothing when cancelled.
  virtual std::optional<Colour> PickColour(QWidget* parent, Colour initial) = 0;

  // Shows one of the program's own dialogs modally and returns its result
  // (QDialog::Accepted or Rejected). Tests fill the fields and press buttons.
  virtual int ShowModal(QDialog& dialog) = 0;
};

// The real thing: Qt's message boxes, file, input and colour dialogs.
class QtModalSeam final : public ModalSeam {
 public:
  void Message(QWidget* parent, const QString& text) override;
  bool Confirm(QWidget* parent, const QString& title, const QString& text) override;
  void Error(QWidget* parent, const QString& text) override;
  std::optional<QString> OpenFile(QWidget* parent, const QString& start_dir,
                                  const QString& filter) override;
  std::optional<QString> SaveFile(QWidget* parent, const QString& start_dir,
                                  const QString& suggested_name, const QString& filter,
                                  const QString& default_suffix,
                                  QString* selected_filter = nullptr) override;
  QString InputBox(QWidget* parent, const QString& title, const QString& prompt,
                   const QString& initial) override;
  std::optional<Colour> PickColour(QWidget* parent, Colour initial) override;
  int ShowModal(QDialog& dialog) override;
};

}  // namespace pelmora
