// What several benchmarks share: a real Japanese text and a large word table.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "util/wtypes.h"

namespace wendul::bench {

// Real Japanese text in Shift-JIS: the manpages-ja sources with their roff
// requests stripped, lines joined with CR LF, characters code page 932 cannot
// hold dropped. Repeated until it holds at least minBytes; cut at a line end.
SjisString JapaneseCorpus(size_t minBytes);

// Creates folder/KWD.DB with the word table's layout and fills it with `words`
// distinct katakana and kanji words (one bulk transaction). Returns a sample
// of the stored words.
std::vector<SjisString> BuildWordTable(const std::string& folder, int words);

// A fresh folder below the temporary folder, removed when the process exits.
std::string BenchFolder(const std::string& name);

}  // namespace wendul::bench
