// What the layers below the user interface need of it. The application installs
// an implementation backed by real windows; tests install a recorder.
#pragma once

#include "wtypes.h"

namespace wendul {

enum class MsgAnswer { Ok, Yes, No, Cancel };

class UiHooks {
 public:
  virtual ~UiHooks() = default;
  // The platform's default beep.
  virtual void Beep() = 0;
  // A modal box with one OK button and no icon; caption and text unchanged.
  virtual void ShowMessage(const SjisString& caption, const SjisString& text) = 0;
  // A Yes/No box whose default button is No.
  virtual MsgAnswer AskYesNoDefaultNo(const SjisString& caption, const SjisString& text) = 0;
  // A Yes/No/Cancel box, modal over every window.
  virtual MsgAnswer AskYesNoCancel(const SjisString& caption, const SjisString& text) = 0;
  // Caption of the application's principal window (used by MainMsgBox).
  virtual SjisString PrincipalCaption() = 0;
  // Let pending window messages run (long loops call it between steps).
  virtual void ProcessMessages() = 0;
};

// The hooks in force. Until SetUiHooks is called a silent default is used:
// messages go to standard error, questions answer No.
UiHooks& Ui();
// Installs hooks (nullptr restores the default); returns the previous ones.
UiHooks* SetUiHooks(UiHooks* hooks);

}  // namespace wendul
