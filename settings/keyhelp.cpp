#include "settings/keyhelp.h"

#include "util/codec.h"

namespace wendul {

SjisString MethodCaption(int method) {
  static const char* const kCaptions[] = {
      "何もしません",
      "類似単語を抽出します",
      "最新単語ウィンドウで検索します",
      "文章入力ウィンドウに戻ります",
      "類似単語ウィンドウに行きます",
      "最新単語ウィンドウに行きます",
  };
  if (method < 0 || method >= static_cast<int>(std::size(kCaptions))) return SjisString();
  return Utf8ToSjis(kCaptions[method]);
}

std::array<SjisString, 3> BuildKeyHelpTexts(const KeyHelpTableT& table, bool terse) {
  enum : uint8_t { kShift = 2, kAlt = 4, kCtrl = 8, kTab = 16, kEsc = 32 };
  const SjisString orWord = Utf8ToSjis(" または");
  const SjisString de = Utf8ToSjis("で");
  const SjisString keyDe = Utf8ToSjis("キーで");
  struct Name {
    uint8_t bit;
    SjisString normal, terse;
  };
  const Name names[] = {
      {kShift, Utf8ToSjis("SHIFTキー"), "Shift"},
      {kAlt, Utf8ToSjis(" ALTキー"), " Alt"},
      {kCtrl, Utf8ToSjis(" CTRLキー"), " Ctrl"},
      {kTab, Utf8ToSjis(" TABキー"), " Tab"},
      {kEsc, Utf8ToSjis(" ESCキー"), " Esc"},
  };
  std::array<SjisString, 3> texts;
  for (size_t pane = 0; pane < 3; ++pane) {
    for (size_t action = 0; action < 32; ++action) {
      const uint8_t b = table[pane][action];
      SjisString t;
      for (const Name& n : names) {
        if (!(b & n.bit)) continue;
        if (terse) {
          t += n.terse;
        } else {
          // Shift opens the text; the others join with " または".
          if (n.bit != kShift && !t.empty()) t += orWord;
          t += n.normal;
        }
      }
      if (t.empty()) continue;
      t += (terse ? keyDe : de) + MethodCaption(static_cast<int>(action)) + " ";
      texts[pane] += " " + t;
    }
  }
  return texts;
}

}  // namespace wendul
