#include "dialogs/unit2.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/modal_seam.h"
#include "dialogs/ui_fonts.h"
#include "settings/settings_fields.h"

namespace pelmora {

namespace {

QLineEdit* MakeSizeField(QWidget* parent, const char* name, int x) {
  auto* edit = new QLineEdit(QStringLiteral("0"), parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(x, 84, 73, 20);
  edit->setMaxLength(4);
  // Millimetres are typed as plain digits: no input method.
  edit->setAttribute(Qt::WA_InputMethodEnabled, false);
  edit->setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhNoPredictiveText);
  return edit;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect where) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(where);
  return label;
}

}  // namespace

TForm2::TForm2(QWidget* main_window, ModalSeam& seam) : QDialog(main_window), m_seam(seam) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("ｶｽﾀﾑ"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(GothicFont(/*proportional=*/true));
  setFixedSize(206, 153);

  m_group = new QGroupBox(this);
  m_group->setObjectName(QStringLiteral("GroupBox1"));
  m_group->setGeometry(4, 0, 197, 121);

  QLabel* explanation = MakeLabel(
      m_group, "Label1",
      QStringLiteral("選択範囲の縦横のサイズをミリ単位で入れて下さい。このサイズは出力されるサイズです。"),
      // 169 × 36 holds three lines of a 12-pixel face with tight leading; the
      // stand-in faces lead more, so the label reaches down to the field names.
      QRect(12, 16, 169, 48));
  explanation->setWordWrap(true);
  explanation->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  MakeLabel(m_group, "Label2", QStringLiteral("横"), QRect(12, 68, 24, 14));
  MakeLabel(m_group, "Label3", QStringLiteral("縦"), QRect(120, 68, 24, 14));
  m_edit1 = MakeSizeField(m_group, "Edit1", 12);
  MakeLabel(m_group, "Label4", QStringLiteral("×"), QRect(92, 88, 14, 14));
  m_edit2 = MakeSizeField(m_group, "Edit2", 112);

  m_button1 = new QPushButton(QStringLiteral("OK"), this);
  m_button1->setObjectName(QStringLiteral("Button1"));
  m_button1->setGeometry(72, 128, 61, 21);
  m_button1->setDefault(true);
  m_button2 = new QPushButton(QStringLiteral("Cancel"), this);
  m_button2->setObjectName(QStringLiteral("Button2"));
  m_button2->setGeometry(140, 128, 61, 21);
  m_button2->setAutoDefault(false);

  connect(m_button1, &QPushButton::clicked, this, &TForm2::Button1Click);
  connect(m_button2, &QPushButton::clicked, this, &TForm2::Button2Click);

  setTabOrder(m_edit1, m_edit2);
  setTabOrder(m_edit2, m_button1);
  setTabOrder(m_button1, m_button2);
  m_edit1->setFocus();

  CentreOn(*this, main_window);
}

bool TForm2::CheckField(QLineEdit* edit, int max_value) {
  const std::optional<int> value = ParseStoredInteger(edit->text().toStdString());
  const QString failure = !value                           ? QStringLiteral("整数を入れて下さい。")
                          : (*value < 1 || *value > max_value) ? QStringLiteral("入力値が範囲をこえています。")
                                                               : QString();
  if (failure.isEmpty()) return true;
  m_seam.Message(this, failure);
  edit->setFocus();
  edit->selectAll();
  return false;
}

void TForm2::Button1Click() {
  if (!CheckField(m_edit1, kMaxWidthMm)) return;
  if (!CheckField(m_edit2, kMaxHeightMm)) return;
  m_ok = true;
  accept();
}

void TForm2::Button2Click() {
  m_ok = false;
  reject();
}

}  // namespace pelmora
