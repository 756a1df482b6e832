#include "util/messages.h"

namespace wendul {

namespace {
bool g_quiet = false;
}  // namespace

void Beep() { Ui().Beep(); }

void MsgBox(const SjisString& caption, const SjisString& text) {
  Beep();
  Ui().ShowMessage(caption, text);
}

void MainMsgBox(const SjisString& text) {
  UiHooks& ui = Ui();
  ui.ShowMessage(ui.PrincipalCaption(), text);
}

void ErrMsgBox(const SjisString& text) {
  Beep();
  MainMsgBox(text);
}

bool AskNotYes(const SjisString& caption, const SjisString& text) {
  Beep();
  return Ui().AskYesNoDefaultNo(caption, text) != MsgAnswer::Yes;
}

MsgAnswer AskYesNoCancel(const SjisString& caption, const SjisString& text) {
  return Ui().AskYesNoCancel(caption, text);
}

void PgmError(const SjisString& text) {
  if (!g_quiet) Beep();
  throw GeneralError(text);
}

bool QuietFlag() { return g_quiet; }
void SetQuietFlag(bool on) { g_quiet = on; }

void ProcessMessages() { Ui().ProcessMessages(); }

}  // namespace wendul
