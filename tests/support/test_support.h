// Shared test helpers: a recorder for the user-interface hooks and a
// temporary folder that is removed afterwards.
#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "util/ui_hooks.h"

namespace wendul::test {

// Records every message and beep; questions take answers queued in advance
// (No when none is queued).
class RecordingUi : public UiHooks {
 public:
  RecordingUi();   // installs itself
  ~RecordingUi() override;  // restores the previous hooks

  struct Message {
    std::string kind;  // "message", "askNotYes", "askYesNoCancel"
    SjisString caption;
    SjisString text;
  };
  std::vector<Message> messages;
  int beeps = 0;
  int processCalls = 0;
  std::deque<MsgAnswer> answers;
  SjisString principalCaption = "\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x90\xdd\x92\xe8";  // オプション設定

  void Beep() override;
  void ShowMessage(const SjisString& caption, const SjisString& text) override;
  MsgAnswer AskYesNoDefaultNo(const SjisString& caption, const SjisString& text) override;
  MsgAnswer AskYesNoCancel(const SjisString& caption, const SjisString& text) override;
  SjisString PrincipalCaption() override { return principalCaption; }
  void ProcessMessages() override { ++processCalls; }

 private:
  UiHooks* previous_;
};

// A fresh folder below the system's temporary folder, deleted on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  // The folder as text with a trailing "/".
  std::string str() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

// Shift-JIS bytes of a UTF-8 literal, for readable tests.
SjisString Sj(const std::string& utf8);

}  // namespace wendul::test
