// The key-help texts of the three panes, built from the options dialog's
// checked choices: for each pane and action, the keys that run it.
#pragma once

#include <array>
#include <cstdint>

#include "util/wtypes.h"

namespace wendul {

// [pane][action]: the keys (ckShift 2, ckAlt 4, ckCtrl 8, ckTab 16, ckEsc 32)
// whose checked choice in that pane is that action. Panes: 0 document,
// 1 latest words, 2 similar words; actions: the TwdlMethod values.
using KeyHelpTableT = std::array<std::array<uint8_t, 32>, 3>;

// The caption of an action ("何もしません" ... "最新単語ウィンドウに行きます").
SjisString MethodCaption(int method);

// The help line of each pane. Per action with keys: the key names joined by
// " または" (or, terse, "Shift", " Alt", ... plainly followed by "キー"),
// "で", the caption and a blank; each entry is added after one blank.
std::array<SjisString, 3> BuildKeyHelpTexts(const KeyHelpTableT& table, bool terse = false);

}  // namespace wendul
