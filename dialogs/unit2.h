// TForm2: the custom size dialog. Collects a width and a height of the output
// region in millimetres; the caller reads them once Ok() is true.
#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pelmora {

class ModalSeam;

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  // Limits of the A0 landscape sheet, whatever paper the drawing has.
  static constexpr int kMaxWidthMm = 1189;
  static constexpr int kMaxHeightMm = 841;

  // Centres itself on `main_window`; the OK flag starts false.
  TForm2(QWidget* main_window, ModalSeam& seam);

  QLineEdit* Edit1() const { return m_edit1; }  // width, mm
  QLineEdit* Edit2() const { return m_edit2; }  // height, mm
  bool Ok() const { return m_ok; }

 public slots:
  void Button1Click();  // OK: checks both fields, stays open on a failure
  void Button2Click();  // Cancel

 private:
  bool CheckField(QLineEdit* edit, int max_value);

  ModalSeam& m_seam;
  QGroupBox* m_group = nullptr;
  QLineEdit* m_edit1 = nullptr;
  QLineEdit* m_edit2 = nullptr;
  QPushButton* m_button1 = nullptr;
  QPushButton* m_button2 = nullptr;
  bool m_ok = false;
};

}  // namespace pelmora
