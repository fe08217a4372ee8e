// A ModalSeam that answers every question from a script and logs what was
// asked, for the window tests on the offscreen platform.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "dialogs/modal_seam.h"

class QWidget;

namespace pelmora::test {

class ScriptedSeam final : public ModalSeam {
 public:
  // Answers, used first in, first out, one per question of that kind. A
  // question with no answer left is logged as "unexpected ..." and answered as
  // if cancelled; tests check Unexpected() at the end.
  std::deque<bool> confirms;                    // Confirm and the save dialog's replace question
  std::deque<std::optional<QString>> open_files;
  std::deque<std::optional<QString>> save_files;
  QString save_filter;  // the filter every save dialog reports as chosen
  std::deque<std::optional<QString>> inputs;    // nothing = the Cancel button
  std::deque<std::optional<Colour>> colours;
  // Runs while the dialog is shown; the dialog's result afterwards is returned
  // (a script that leaves the dialog open gets it rejected).
  std::deque<std::function<void(QDialog&)>> dialogs;

  // One line per question in the order asked:
  //   "message: TEXT", "confirm: TITLE | TEXT", "error: TEXT",
  //   "open: DIR | FILTER", "save: DIR | NAME | FILTER | SUFFIX", "replace: PATH",
  //   "input: TITLE | PROMPT | INITIAL", "colour: 0xBBGGRR", "dialog: CLASS"
  QStringList log;

  QStringList Messages() const;  // texts of "message:" lines only
  QStringList Unexpected() const;
  void Clear();

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

 private:
  QStringList m_unexpected;
};

// Small helpers for scripts.
void SetText(QWidget& root, const char* object_name, const QString& text);
void Click(QWidget& root, const char* object_name);

}  // namespace pelmora::test
