#include "app/qtui.h"

#include <QApplication>
#include <QMessageBox>

#include "controls/qsjis.h"

namespace wendul {

namespace {
QWidget* Owner() { return QApplication::activeWindow(); }
}  // namespace

void QtUiHooks::Beep() { QApplication::beep(); }

void QtUiHooks::ShowMessage(const SjisString& caption, const SjisString& text) {
  QMessageBox box(QMessageBox::NoIcon, ToQ(caption), ToQ(text), QMessageBox::Ok, Owner());
  box.exec();
}

MsgAnswer QtUiHooks::AskYesNoDefaultNo(const SjisString& caption, const SjisString& text) {
  QMessageBox box(QMessageBox::Question, ToQ(caption), ToQ(text),
                  QMessageBox::Yes | QMessageBox::No, Owner());
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

MsgAnswer QtUiHooks::AskYesNoCancel(const SjisString& caption, const SjisString& text) {
  QMessageBox box(QMessageBox::Question, ToQ(caption), ToQ(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, Owner());
  box.setWindowModality(Qt::ApplicationModal);
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
