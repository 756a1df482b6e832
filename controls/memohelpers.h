// The caret's line and column in a document editor, and the web address
// written on the caret's line.
#pragma once

#include <cstdint>
#include <string>

#include "util/wtypes.h"

namespace wendul {

class TmuRichEdit;

// 1-based line holding the caret (the selection start).
int64_t CaretLine(const TmuRichEdit& memo);
// 1-based byte position of the caret within its line.
int64_t CaretColumn(const TmuRichEdit& memo);
// The address on the caret's line (util/filehelpers.h URLInLine), or "".
SjisString URLAtCaret(const TmuRichEdit& memo);
// Opens that address (store/syshelpers.h OpenAddress); nothing when there is none.
void OpenURLAtCaret(const TmuRichEdit& memo, const std::string& program, bool useShell);

}  // namespace wendul
