// The read-me and the guide shipped with the program: the program shows them
// as code page 932 text with CR LF line breaks, so they must be exactly that.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "util/codec.h"

namespace wendul {
namespace {

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(WENDUL_SOURCE_DIR) + "/data/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ShippedFiles, GuideAndReadmeAreCp932WithCrLf) {
  for (const char* name : {"README.TXT", "Manual.TXT"}) {
    SCOPED_TRACE(name);
    const std::string bytes = ReadData(name);
    ASSERT_GT(bytes.size(), 1000u);
    std::u16string text;
    size_t bad = 0;
    EXPECT_TRUE(TrySjisToUtf16(bytes, text, &bad)) << "not code page 932 at byte " << bad;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\n') {
        ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
      } else if (bytes[i] == '\r') {
        ASSERT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at byte " << i;
      }
    }
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  }
  // The guide names every default function key and the keys of the word panes.
  const std::string guide = ReadData("Manual.TXT");
  for (const char* utf8 : {"F1 ", "F2 ", "F5 ", "F7 ", "F8 ", "F11", "F12", "Mozc辞書に書き出し", "クイックガイド", "最新単語ウィンドウ",
                           "類似単語ウィンドウ", "単語帳", "ログモード", "URL実行", "メールビューア"})
    EXPECT_NE(guide.find(Utf8ToSjis(utf8)), std::string::npos) << utf8;
}

}  // namespace
}  // namespace wendul
