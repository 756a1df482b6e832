// The word table as a Mozc user dictionary, and such a dictionary read back
// into the table (TmuText with Format MozcDictionary, wordbook/tabletext.h).
// Standard library, SQLite and MeCab only, no Qt.
//
// The file, as Mozc's dictionary tool writes and imports it (its format for
// IBus and Fcitx5 alike): UTF-8 without a byte order mark, one entry a line,
// lines ending in LF; four fields separated by tabs: reading (hiragana),
// word, part of speech (Mozc's names: "名詞", "固有名詞", ...), comment. A
// line beginning with "#" is a comment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/wtypes.h"
#include "wordbook/tabletext.h"

namespace wendul {

class MT;
class TWordReading;

// The comment every exported entry carries.
inline constexpr char kMozcComment[] = "Wendul";
// The most entries Mozc keeps in one user dictionary.
inline constexpr int64_t kMozcMaxEntries = 1000000;

struct MozcExportChoice {
  bool since = false;         // only the words registered on or after sinceDate
  TDateTime sinceDate = 0;
  bool latinDigits = false;   // also words of Latin letters and digits alone
};

struct MozcExportCounts {
  int64_t written = 0;      // entries in the file
  int64_t unreadable = 0;   // left out: the analyser could not read them whole
  int64_t latinDigits = 0;  // left out: Latin letters and digits alone
  int64_t older = 0;        // left out: registered before the date
};

// Writes the words of the table (a word table: KEYWORD, APPENDDATE) as a
// Mozc user dictionary, sorted by reading: each with its reading, "名詞" or
// "固有名詞" as the analyser says, and the comment "Wendul". The file takes
// its name only when it is complete: a cancelled (TextExchangeCancelled) or
// failed export leaves whatever was there. A file that cannot be written
// raises GeneralError. count gets the records read so far (see TextCount).
MozcExportCounts MozcDictExport(MT& table, const std::string& fileName, const MozcExportChoice& choice,
                                TWordReading& reading, const TextCount& count = {});

// One line of a Mozc user dictionary.
enum class MozcLine {
  Entry,    // *word holds its word (UTF-8, as written)
  Skip,     // a comment, or an entry that keeps a word from being offered
  NoEntry,  // no tab: not a line of such a dictionary
};
MozcLine ReadMozcLine(std::string_view line, std::string_view* word);

}  // namespace wendul
