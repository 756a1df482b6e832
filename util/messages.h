// The system's message and error helpers. They reach the user through the
// installed UiHooks (ui_hooks.h).
#pragma once

#include "ui_hooks.h"
#include "wtypes.h"

namespace wendul {

void Beep();
// Beep, then an OK box without icon.
void MsgBox(const SjisString& caption, const SjisString& text);
// OK box without beep, captioned with the principal window's caption.
void MainMsgBox(const SjisString& text);
// Beep, then MainMsgBox: the standard display of an error's text.
void ErrMsgBox(const SjisString& text);
// Beep, then Yes/No with No as default; true when the user did not answer Yes.
bool AskNotYes(const SjisString& caption, const SjisString& text);
// Yes/No/Cancel without beep; returns the button pressed.
MsgAnswer AskYesNoCancel(const SjisString& caption, const SjisString& text);
// Beeps unless the quiet flag is set, then throws GeneralError(text).
[[noreturn]] void PgmError(const SjisString& text);

// The process-wide quiet flag: false at start, set by the date converter after
// its first conversion error, never reset (tests may reset it).
bool QuietFlag();
void SetQuietFlag(bool on);

// Let pending window messages run.
void ProcessMessages();

}  // namespace wendul
