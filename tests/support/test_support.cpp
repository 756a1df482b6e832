#include "support/test_support.h"

#include <random>

#include "util/codec.h"

namespace wendul::test {

RecordingUi::RecordingUi() : previous_(SetUiHooks(this)) {}
RecordingUi::~RecordingUi() { SetUiHooks(previous_); }

void RecordingUi::Beep() { ++beeps; }
void RecordingUi::ShowMessage(const SjisString& caption, const SjisString& text) {
  messages.push_back({"message", caption, text});
}
MsgAnswer RecordingUi::AskYesNoDefaultNo(const SjisString& caption, const SjisString& text) {
  messages.push_back({"askNotYes", caption, text});
  if (answers.empty()) return MsgAnswer::No;
  MsgAnswer a = answers.front();
  answers.pop_front();
  return a;
}
MsgAnswer RecordingUi::AskYesNoCancel(const SjisString& caption, const SjisString& text) {
  messages.push_back({"askYesNoCancel", caption, text});
  if (answers.empty()) return MsgAnswer::Cancel;
  MsgAnswer a = answers.front();
  answers.pop_front();
  return a;
}

TempDir::TempDir() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("wendul-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(path_)) break;
  }
}
TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

SjisString Sj(const std::string& utf8) { return Utf8ToSjis(utf8); }

}  // namespace wendul::test
