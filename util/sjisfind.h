// Finding a word in Shift-JIS text as the searches of the editor do: ASCII
// letters match in either case, every other byte exactly, and a match counts
// only where a character starts (the trail byte of ボ, "{", is never a "{";
// a lead byte that forms no character with the next byte stands alone).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "wtypes.h"

namespace wendul {

class SjisFinder {
 public:
  static constexpr size_t npos = std::string_view::npos;

  explicit SjisFinder(std::string_view word);
  bool Empty() const { return word_.empty(); }
  size_t Length() const { return word_.size(); }

  // Byte position of the first match at or after `from`, npos when none.
  // `from` is taken as a character start.
  size_t Find(std::string_view text, size_t from = 0) const;

 private:
  bool MatchesAt(std::string_view text, size_t pos) const;

  std::string word_;     // ASCII letters (single-byte characters) in lower case
  std::string folded_;   // 1 where word_ holds such a letter, else 0
  size_t anchor_ = npos; // first byte that is no letter: found with memchr
  bool letters_ = false;
};

// Where the context of a hit begins: the nearest "。", "、" or CR LF that
// starts 5 to 301 bytes before the hit (the mark included), else 301 bytes
// before it (moved forward onto a character start), or 0 when the text
// begins closer than that.
size_t ContextStart(std::string_view text, size_t hit);

// 1-based line of a byte position; CR LF, a lone CR and a lone LF each end a line.
int LineOfPos(std::string_view text, size_t pos);

// Up to maxBytes bytes from pos (a character start), never cutting a
// double-byte character in two.
SjisString CutAtChar(std::string_view text, size_t pos, size_t maxBytes);

}  // namespace wendul
