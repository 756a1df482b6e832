#include "app/doctexts.h"

#include <cstdio>

#include "util/codec.h"

namespace wendul {

SjisString DefaultDocName() { return Utf8ToSjis("新規ファイル.TXT"); }

SjisString PositionText(int64_t line, int64_t column, int64_t caret, int64_t length) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%4lld\x8d\x73 %2lld\x8c\x85     %lld / %lld byte", static_cast<long long>(line),
                static_cast<long long>(column), static_cast<long long>(caret), static_cast<long long>(length));
  return buf;  // 行 is 0x8D 0x73, 桁 0x8C 0x85
}

SjisString SaveQuestion(const SjisString& name) { return name + Utf8ToSjis("を保存しますか？"); }

SjisString ReplaceQuestion(const SjisString& name) {
  return name + Utf8ToSjis("はすでに存在しますが置き換えますか？");
}

SjisString MissingFileText(const SjisString& name) { return name + Utf8ToSjis(" が見つかりません"); }

SjisString ReopenQuestion(const SjisString& name) {
  return name + Utf8ToSjis("は変更されています。開き直すと変更は失われます。開き直しますか？");
}

std::string DocFormatText(DocCodec codec, LineEnd end) {
  const char* breaks = end == LineEnd::LF ? "LF" : end == LineEnd::CR ? "CR" : "CRLF";
  return CodecName(codec) + "  " + breaks;
}

SjisString RecoveryQuestion() { return Utf8ToSjis("前回保存されなかった文章があります。復元しますか？"); }

SjisString DayRecoveryQuestion(const SjisString& day) {
  return day + Utf8ToSjis(" の日記に前回保存されなかった文章があります。復元しますか？");
}

SjisString ChangedOnDiskQuestion(const SjisString& name) {
  return name + Utf8ToSjis("は読み込んだ後（または前回保存した後）にほかのプログラムで変更されています。\r\n"
                           "上書きすると、その変更は失われます。上書きしますか？");
}

SjisString FarDayQuestion(const SjisString& day) {
  return day + Utf8ToSjis(" の日記を新しく作りますか？\r\n来年より先の日付です（年の入力を確かめてください）。");
}

SjisString RecoveredNote() { return Utf8ToSjis("前回保存されなかった文章を復元しました。まだ保存されていません"); }

SjisString RecoveryWriteFailedNote() {
  return Utf8ToSjis("復元用の記録を書き込めません。こまめに保存してください");
}

std::string DocDialogFilter() {
  return "テキストファイル（*.TXT） (*.[Tt][Xx][Tt]);;全てのファイル（*.*） (*)";
}

bool IsBlankText(std::u16string_view text) {
  for (char16_t c : text)
    if (c > 0x20) return false;
  return true;
}

}  // namespace wendul
