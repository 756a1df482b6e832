// What may be stored as a word, said the same way wherever a word is typed
// in (a selection registered, a word corrected in the word book). Standard
// library only.
#pragma once

#include "util/wtypes.h"

namespace wendul {

// Why `word` cannot be a word of a field of `size` bytes (0: no limit), in
// the user's words; empty when it can. A line break or a control character
// is never part of a word: the exported table would not read back.
SjisString WordRefusal(const SjisString& word, int size);

}  // namespace wendul
