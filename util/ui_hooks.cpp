#include "util/ui_hooks.h"

#include <cstdio>

#include "util/codec.h"

namespace wendul {

namespace {

// Used until the application installs real windows (and by tools and tests
// that never do): nothing may block waiting for a user who is not there, so
// messages go to standard error and every question takes its safe answer.
class SilentUi final : public UiHooks {
 public:
  void Beep() override {}
  void ShowMessage(const SjisString& caption, const SjisString& text) override {
    Print(caption, text, "");
  }
  MsgAnswer AskYesNoDefaultNo(const SjisString& caption, const SjisString& text) override {
    Print(caption, text, " -> No");
    return MsgAnswer::No;
  }
  MsgAnswer AskYesNoCancel(const SjisString& caption, const SjisString& text) override {
    Print(caption, text, " -> Cancel");
    return MsgAnswer::Cancel;
  }
  // オプション設定: the principal window's caption.
  SjisString PrincipalCaption() override {
    return "\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x90\xdd\x92\xe8";
  }
  void ProcessMessages() override {}

 private:
  // Terminals on Linux read UTF-8.
  static void Print(const SjisString& caption, const SjisString& text, const char* answer) {
    std::fprintf(stderr, "[%s] %s%s\n", SjisToUtf8(caption).c_str(), SjisToUtf8(text).c_str(),
                 answer);
  }
};

SilentUi& DefaultUi() {
  static SilentUi ui;
  return ui;
}

UiHooks* g_hooks = nullptr;

}  // namespace

UiHooks& Ui() { return g_hooks ? *g_hooks : DefaultUi(); }

UiHooks* SetUiHooks(UiHooks* hooks) {
  UiHooks* previous = g_hooks;
  g_hooks = hooks;
  return previous;
}

}  // namespace wendul
