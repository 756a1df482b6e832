// Shared by the fuzz targets: a user interface that says nothing, and a check
// that stops the run with a report when a property does not hold.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "util/ui_hooks.h"

namespace wendul::fuzz {

class QuietUi final : public UiHooks {
 public:
  void Beep() override {}
  void ShowMessage(const SjisString&, const SjisString&) override {}
  MsgAnswer AskYesNoDefaultNo(const SjisString&, const SjisString&) override { return MsgAnswer::No; }
  MsgAnswer AskYesNoCancel(const SjisString&, const SjisString&) override { return MsgAnswer::Cancel; }
  SjisString PrincipalCaption() override { return "Wendul"; }
  void ProcessMessages() override {}
};

inline void InstallQuietUi() {
  static QuietUi ui;
  SetUiHooks(&ui);
}

// The bytes as C escapes, for a report.
inline std::string Shown(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out;
}

[[noreturn]] inline void Fail(const char* file, int line, const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n%s\n", file, line, what, detail.c_str());
  std::abort();
}

}  // namespace wendul::fuzz

#define FUZZ_CHECK(cond, detail)                                             \
  do {                                                                       \
    if (!(cond)) ::wendul::fuzz::Fail(__FILE__, __LINE__, #cond, (detail)); \
  } while (0)
