#include "controls/memohelpers.h"

#include "controls/murichedit.h"
#include "store/syshelpers.h"
#include "util/filehelpers.h"

namespace wendul {

int64_t CaretLine(const TmuRichEdit& memo) { return memo.LineFromChar(-1) + 1; }

int64_t CaretColumn(const TmuRichEdit& memo) {
  return memo.SelStart() - memo.LineIndex(memo.LineFromChar(-1)) + 1;
}

SjisString URLAtCaret(const TmuRichEdit& memo) {
  return URLInLine(memo.LineText(static_cast<int>(CaretLine(memo) - 1)));
}

void OpenURLAtCaret(const TmuRichEdit& memo, const std::string& program, bool useShell) {
  OpenAddress(URLAtCaret(memo), program, useShell);
}

}  // namespace wendul
