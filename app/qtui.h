// The user-interface hooks backed by real Qt message boxes.
#pragma once

#include "util/ui_hooks.h"

namespace wendul {

class QtUiHooks : public UiHooks {
 public:
  void Beep() override;
  void ShowMessage(const SjisString& caption, const SjisString& text) override;
  MsgAnswer AskYesNoDefaultNo(const SjisString& caption, const SjisString& text) override;
  MsgAnswer AskYesNoCancel(const SjisString& caption, const SjisString& text) override;
  SjisString PrincipalCaption() override;
  void ProcessMessages() override;
};

}  // namespace wendul
