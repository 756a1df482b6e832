// A document editor over a Shift-JIS string, for the word extraction tests.
#pragma once

#include <algorithm>
#include <cstdint>

#include "store/doc_editor.h"
#include "util/codec.h"

namespace wendul::test {

class FakeEditor : public DocEditor {
 public:
  FakeEditor() = default;
  FakeEditor(SjisString t, int64_t c) : text(std::move(t)), caret(c) {}
  // Caret at the end of the text.
  explicit FakeEditor(SjisString t) : text(std::move(t)), caret(static_cast<int64_t>(text.size())) {}

  SjisString text;
  int64_t caret = 0;
  mutable int64_t mostBytesRead = 0;  // the largest slice handed out

  int64_t CaretPos() const override { return caret; }
  int64_t TextLength() const override { return static_cast<int64_t>(text.size()); }
  SjisString TextSlice(int64_t& from, int64_t to) const override {
    int64_t p = 0;
    while (p < from) {
      auto b = static_cast<unsigned char>(text[p]);
      p += IsSjisLeadByte(b) && p + 1 < TextLength() ? 2 : 1;
    }
    from = p;
    if (to <= from) return {};
    mostBytesRead = std::max(mostBytesRead, to - from);
    return text.substr(from, to - from);
  }
};

}  // namespace wendul::test
