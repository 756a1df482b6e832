// Readings of stored words in hiragana, as an input method's dictionary needs
// them, from the morphological analyser MeCab with its IPA dictionary.
// Standard library and MeCab only, no Qt.
//
//   * A word of Latin letters, digits and ASCII signs (half or full width) is
//     read as itself in half width; the caller decides whether it wants it.
//   * A word of katakana alone is read as itself in hiragana (half-width
//     katakana too).
//   * Any other word is read by the analyser, part by part: each part by the
//     dictionary's reading; a part the dictionary does not know is read as
//     itself when it is katakana, digits or Latin letters, and otherwise the
//     word cannot be read whole and has no reading.
//   * A reading holds only what Mozc takes in one: hiragana, ー, ・, 、。,
//     「」『』, 〜 and printable ASCII, at most 300 bytes.
#pragma once

#include <string>
#include <string_view>

struct mecab_t;

namespace wendul {

class TWordReading {
 public:
  // The IPA dictionary in UTF-8, as Debian's mecab-ipadic-utf8 installs it.
  static constexpr const char* kIpadicUtf8 = "/var/lib/mecab/dic/ipadic-utf8";

  // Opens the analyser on the dictionary folder; GeneralError with a
  // Japanese text when it cannot (no dictionary, not UTF-8).
  explicit TWordReading(const std::string& dicDir = kIpadicUtf8);
  ~TWordReading();
  TWordReading(const TWordReading&) = delete;
  TWordReading& operator=(const TWordReading&) = delete;

  enum class Kind {
    Read,         // read; reading holds it
    LatinDigits,  // Latin letters, digits and signs; reading holds the word in half width
    Unreadable,   // no reading
  };
  struct Result {
    Kind kind = Kind::Unreadable;
    std::string reading;  // UTF-8
    bool proper = false;  // the analyser took it for a proper noun (perhaps with a suffix: 東京駅)
  };
  // word: UTF-8.
  Result Read(std::string_view word);

 private:
  mecab_t* tagger_ = nullptr;
};

}  // namespace wendul
