// What the document commands say, and the small decisions they take that
// need no window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/doctext.h"
#include "util/wtypes.h"

namespace wendul {

// Name of a new document: a bare name without folder.
SjisString DefaultDocName();
// The status line's position text: "%4d行 %2d桁", five blanks, the caret's
// byte offset, " / ", the text's length in bytes and " byte".
SjisString PositionText(int64_t line, int64_t column, int64_t caret, int64_t length);
// name + "を保存しますか？"
SjisString SaveQuestion(const SjisString& name);
// name + "はすでに存在しますが置き換えますか？"
SjisString ReplaceQuestion(const SjisString& name);
// name + " が見つかりません"
SjisString MissingFileText(const SjisString& name);
// name + "は変更されています。開き直すと変更は失われます。開き直しますか？"
SjisString ReopenQuestion(const SjisString& name);
// The status line's encoding and line break: "UTF-8  LF", "SJIS  CRLF". UTF-8.
std::string DocFormatText(DocCodec codec, LineEnd end);
SjisString RecoveryQuestion();
// The same question for a day of the diary: "2001/05/03 の日記に…".
SjisString DayRecoveryQuestion(const SjisString& day);
// name + "は読み込んだ後（または前回保存した後）にほかのプログラムで変更されています。…上書きしますか？"
SjisString ChangedOnDiskQuestion(const SjisString& name);
// Asked before a day beyond next year gets its file: "3990/05/03 の日記を新しく作りますか？…"
SjisString FarDayQuestion(const SjisString& day);
SjisString RecoveredNote();
SjisString RecoveryWriteFailedNote();
// The file dialogs' filter for Qt. "*.TXT" is written so that it shows
// "a.txt" and "b.Txt" as well: names on Linux are case-sensitive, and the
// system's own file names are in capitals. "*.*" shows every file, as it
// does on Windows. UTF-8.
std::string DocDialogFilter();
// Whether a text holds nothing but blanks and control characters (UTF-16
// units up to 0x20).
bool IsBlankText(std::u16string_view text);

}  // namespace wendul
