// What the word extraction needs of a document editor. Positions are byte
// offsets into the document's Shift-JIS text, a line break counting 2 (CR LF).
#pragma once

#include <cstdint>

#include "util/wtypes.h"

namespace wendul {

class DocEditor {
 public:
  virtual ~DocEditor() = default;
  // Caret position in bytes.
  virtual int64_t CaretPos() const = 0;
  // Total byte length of the text.
  virtual int64_t TextLength() const = 0;
  // The bytes of [from, to). When `from` falls inside a character it is moved
  // forward to that character's end, and the caller's value is updated, so the
  // result always starts at a character start. Must cost time in proportion to
  // to - from, never to the document.
  virtual SjisString TextSlice(int64_t& from, int64_t to) const = 0;
};

}  // namespace wendul
