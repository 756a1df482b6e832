// Word extraction: cuts Shift-JIS text into words (maximal runs of katakana,
// kanji, Latin letters, digits and a few symbols) with the word pattern and
// stores them in the word table, so the word panes can offer them later.
#pragma once

#include <cstdint>
#include <functional>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "util/wtypes.h"

namespace wendul {

class MT;
class DocEditor;

// The word pattern (64 bytes of Shift-JIS):
//   [・「」ァ-ヶー0-9a-zA-Z\-\_.,()/:~#&\*\\@亜-黑々]+_+{wndl} CR LF ?_ CR LF
// "黑" is written as 0xFC4B, the end of the kanji range. The main window
// compiles it once: SetWordPatternHandle(MuWGYInitStr(kWordPattern, kWordPatternLimit)).
inline constexpr std::string_view kWordPattern =
    "[\x81\x45\x81\x75\x81\x76\x83\x40-\x83\x96\x81\x5b"
    "0-9a-zA-Z\\-\\_.,()/:~#&\\*\\\\@\x88\x9f-\xfc\x4b\x81\x58]+_+{wndl}\r\n?_\r\n";
inline constexpr int kWordPatternLimit = 50;

// The marker the word pattern writes after every word.
inline constexpr std::string_view kWordMarker = "{wndl}";

// The compiled word pattern that SepKeyword runs. The main window owns it: it
// sets the handle after compiling and sets 0 when it releases the pattern.
int WordPatternHandle();
void SetWordPatternHandle(int handle);

// Called before each word SepKeyword considers storing, with the counter
// "   i/   n" (each number right-aligned in 4 places) and the word. Empty by
// default; the selection registration sets it around one call.
using SepKeywordProgress = std::function<void(const SjisString& counter, const SjisString& word)>;
void SetSepKeywordProgress(SepKeywordProgress progress);  // an empty function clears it
const SepKeywordProgress& SepKeywordProgressHook();

// The failures of one SepKeyword call to store its words. Each is written to
// the error log when it happens (unless the table is silent); the texts wait
// here until the call's write batch has ended, so that no message box runs
// while the batch holds the file's write lock.
struct SepKeywordFailures {
  std::vector<SjisString> texts;  // in order, as the standard error display shows them
  std::string message;            // the first failure's own message
  int category = 0;               // engine category of the first failure (SQLITE_BUSY, ...), 0 for others
  SjisString word;                // the first word that could not be stored, when known
  bool Any() const { return !texts.empty(); }
  void Add(const std::exception& e, SjisString text);
};

// The time stamp for a word stored now: Now(), but later than every stamp
// given before in this run, so the word stored last is first in the
// latest-first order even when several are stored within one millisecond.
TDateTime WordStampNow();

// Cuts text into words and, unless noRegister, stores every word longer than
// 2 bytes in table (a word longer than the KEYWORD field is kept, and looked
// up, as the table cuts it) (a new word gets APPENDDATE and UPDATEDATE, a known one a
// new UPDATEDATE). The last word is stored only when it is finished (the text
// ends outside a word) or takeLast is set. Returns the last word found, or
// empty. Text longer than the engine takes is refused with a message box.
// When words were considered the table is left on IDX_UPDATEDATE.
// A word that cannot be edited or posted is skipped and the others are
// stored; the failures go to `failures` when given, else each is shown with
// ErrMsgBox once the words are stored. A closed table raises at the first lookup.
SjisString SepKeyword(MT& table, const SjisString& text, bool takeLast, bool noRegister,
                      SepKeywordFailures* failures = nullptr);

// SepKeyword on the fragment between the last sentence break before the caret
// (see FindFragmentStart) and the caret. The caret does not move.
SjisString SepKeywordAtCaret(MT& table, const DocEditor& editor, bool takeLast, bool noRegister,
                             SepKeywordFailures* failures = nullptr);

// Position of the nearest sentence break ("。", "、" or CR LF) that starts at a
// character start 5 to 301 bytes before the caret; without one, the caret
// minus 301, or 0 near the start of the text. Reads at most 301 bytes.
int64_t FindFragmentStart(const DocEditor& editor);

// True for the two bytes of "。", "、" and CR LF.
bool IsSentenceBreak(std::string_view twoBytes);

}  // namespace wendul
