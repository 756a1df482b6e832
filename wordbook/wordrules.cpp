#include "wordbook/wordrules.h"

#include <string>

#include "util/codec.h"

namespace wendul {

SjisString WordRefusal(const SjisString& word, int size) {
  for (char c : word) {
    const auto b = static_cast<unsigned char>(c);
    // Control bytes are never the second byte of a double-byte character.
    if (b < 0x20 || b == 0x7F) return Utf8ToSjis("改行や制御文字を含む文字列は単語にできません。");
  }
  if (size > 0 && word.size() > static_cast<size_t>(size))
    return Utf8ToSjis("「") + word + Utf8ToSjis("」は長すぎます（単語は" + std::to_string(size) + "バイトまでです）。");
  return {};
}

}  // namespace wendul
