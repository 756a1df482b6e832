#include "app/qtui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include "controls/qsjis.h"

namespace wendul {

namespace {
QWidget* Owner() { return QApplication::activeWindow(); }

// The answers read as in every Japanese program, whether or not Qt's own
// translations are installed.
void JapaneseButtons(QMessageBox& box) {
  static const std::pair<QMessageBox::StandardButton, const char*> kTexts[] = {
      {QMessageBox::Ok, "OK"},
      {QMessageBox::Yes, "はい(&Y)"},
      {QMessageBox::No, "いいえ(&N)"},
      {QMessageBox::Cancel, "キャンセル"}};
  for (const auto& [which, text] : kTexts)
    if (QAbstractButton* b = box.button(which)) b->setText(QString::fromUtf8(text));
}
}  // namespace

void QtUiHooks::Beep() { QApplication::beep(); }

void QtUiHooks::ShowMessage(const SjisString& caption, const SjisString& text) {
  QMessageBox box(QMessageBox::NoIcon, ToQ(caption), ToQ(text), QMessageBox::Ok, Owner());
  JapaneseButtons(box);
  box.exec();
}

MsgAnswer QtUiHooks::AskYesNoDefaultNo(const SjisString& caption, const SjisString& text) {
  QMessageBox box(QMessageBox::Question, ToQ(caption), ToQ(text),
                  QMessageBox::Yes | QMessageBox::No, Owner());
  box.setDefaultButton(QMessageBox::No);
  JapaneseButtons(box);
  return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

MsgAnswer QtUiHooks::AskYesNoCancel(const SjisString& caption, const SjisString& text) {
  QMessageBox box(QMessageBox::Question, ToQ(caption), ToQ(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, Owner());
  box.setWindowModality(Qt::ApplicationModal);
  JapaneseButtons(box);
  switch (box.exec()) {
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: return MsgAnswer::Cancel;
  }
}

SjisString QtUiHooks::PrincipalCaption() {
  // The options dialog is the principal window; its caption is fixed.
  return "\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x90\xdd\x92\xe8";  // オプション設定
}

void QtUiHooks::ProcessMessages() { QApplication::processEvents(); }

}  // namespace wendul
