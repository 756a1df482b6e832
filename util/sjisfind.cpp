#include "util/sjisfind.h"

#include <string.h>

#include <algorithm>

#include "util/codec.h"

namespace wendul {

namespace {

inline bool IsAsciiLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c; }
// Characters as the document reading counts them, so that the global search
// finds what the search in the document finds.
inline size_t CharLen(std::string_view s, size_t i) { return SjisCharLen(s, i); }

// A byte that never ends a double-byte character: a character starts there.
inline bool StartsCharacter(unsigned char b) { return b < 0x40 || b == 0x7F || b > 0xFC; }

}  // namespace

SjisFinder::SjisFinder(std::string_view word) : word_(word), folded_(word.size(), 0) {
  for (size_t i = 0; i < word_.size(); i += CharLen(word_, i)) {
    if (IsAsciiLetter(word_[i])) {
      word_[i] = Lower(word_[i]);
      folded_[i] = 1;
      letters_ = true;
    } else if (anchor_ == npos) {
      anchor_ = i;
    }
  }
  // A trail byte is never folded, yet it may anchor the search.
  if (anchor_ == npos) {
    for (size_t i = 0; i < word_.size(); ++i)
      if (!folded_[i]) {
        anchor_ = i;
        break;
      }
  }
}

bool SjisFinder::MatchesAt(std::string_view text, size_t pos) const {
  if (pos + word_.size() > text.size()) return false;
  const char* t = text.data() + pos;
  for (size_t j = 0; j < word_.size(); ++j) {
    const char c = folded_[j] ? Lower(t[j]) : t[j];
    if (c != word_[j]) return false;
  }
  return true;
}

size_t SjisFinder::Find(std::string_view text, size_t from) const {
  const size_t n = word_.size();
  if (n == 0 || from > text.size() || text.size() - from < n) return npos;
  const char* base = text.data();
  const size_t last = text.size() - n;  // last possible start
  size_t boundary = from;               // a known character start, never past a candidate
  size_t pos = from;
  while (pos <= last) {
    size_t hit;
    if (!letters_) {
      const void* p = memmem(base + pos, text.size() - pos, word_.data(), n);
      if (!p) return npos;
      hit = static_cast<size_t>(static_cast<const char*>(p) - base);
    } else if (anchor_ != npos) {
      const void* p = memchr(base + pos + anchor_, word_[anchor_], last - pos + 1);
      if (!p) return npos;
      hit = static_cast<size_t>(static_cast<const char*>(p) - base) - anchor_;
      if (!MatchesAt(text, hit)) {
        pos = hit + 1;
        continue;
      }
    } else {  // letters only: compare the first byte folded
      hit = pos;
      while (hit <= last && Lower(base[hit]) != word_[0]) ++hit;
      if (hit > last) return npos;
      if (!MatchesAt(text, hit)) {
        pos = hit + 1;
        continue;
      }
    }
    while (boundary < hit) boundary += CharLen(text, boundary);
    if (boundary == hit) return hit;
    pos = boundary;  // the match began inside a character: go on after it
  }
  return npos;
}

size_t ContextStart(std::string_view text, size_t hit) {
  constexpr size_t kReach = 301;
  constexpr size_t kSkip = 5;
  hit = std::min(hit, text.size());
  const size_t low = hit > kReach ? hit - kReach : 0;
  // The first character start at or after `low`: stepped to from the
  // nearest byte before it that can only begin a character.
  size_t boundary = low;
  if (low > 0 && low < text.size()) {
    size_t p = low;
    while (p > 0 && !StartsCharacter(static_cast<unsigned char>(text[p]))) --p;
    while (p < low) p += CharLen(text, p);
    boundary = p;
  }
  size_t best = hit > kReach ? boundary : 0;
  for (size_t p = boundary; p + kSkip <= hit; p += CharLen(text, p)) {
    if (p + 1 >= text.size()) break;
    const unsigned char a = static_cast<unsigned char>(text[p]);
    const unsigned char b = static_cast<unsigned char>(text[p + 1]);
    // "。" 0x81 0x42, "、" 0x81 0x41, CR LF
    if ((a == 0x81 && (b == 0x42 || b == 0x41)) || (a == '\r' && b == '\n')) best = p;
  }
  return best;
}

int LineOfPos(std::string_view text, size_t pos) {
  pos = std::min(pos, text.size());
  int line = 1;
  for (size_t i = 0; i < pos; ++i) {
    if (text[i] == '\n') ++line;
    else if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) ++line;
  }
  return line;
}

SjisString CutAtChar(std::string_view text, size_t pos, size_t maxBytes) {
  if (pos >= text.size()) return {};
  size_t end = pos;
  while (end < text.size()) {
    const size_t len = CharLen(text, end);
    if (end + len - pos > maxBytes) break;
    end += len;
  }
  return SjisString(text.substr(pos, end - pos));
}

}  // namespace wendul
