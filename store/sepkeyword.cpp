#include "store/sepkeyword.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "store/doc_editor.h"
#include "store/mt.h"
#include "store/muwgy.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

// Appended to every text: a word of its own (ダミイストリング) and a separator
// (だ), so the output always ends in the dummy and its marker, and whether the
// dummy stood alone tells whether the text ended inside a word.
constexpr std::string_view kDummy = "\x83\x5f\x83\x7e\x83\x43\x83\x58\x83\x67\x83\x8a\x83\x93\x83\x4f";
constexpr std::string_view kStop = "\x82\xbe";
constexpr size_t kAppended = kDummy.size() + kStop.size();       // 18
constexpr size_t kDummyWord = kDummy.size() + kWordMarker.size();  // 22

// 単語を切り出せる文章の長さがオーバーしました。
constexpr std::string_view kTooLong1 =
    "\x92\x50\x8c\xea\x82\xf0\x90\xd8\x82\xe8\x8f\x6f\x82\xb9\x82\xe9\x95\xb6\x8f\xcd"
    "\x82\xcc\x92\xb7\x82\xb3\x82\xaa\x83\x49\x81\x5b\x83\x6f\x81\x5b\x82\xb5\x82\xdc"
    "\x82\xb5\x82\xbd\x81\x42";
// バイトあります。
constexpr std::string_view kTooLong2 = "\x83\x6f\x83\x43\x83\x67\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42";
// 最大16384バイトまでです。
constexpr std::string_view kTooLong3 =
    "\x8d\xc5\x91\xe5" "16384" "\x83\x6f\x83\x43\x83\x67\x82\xdc\x82\xc5\x82\xc5\x82\xb7\x81\x42";

constexpr const char* kIdxUpdateDate = "IDX_UPDATEDATE";

// How far back the fragment scan looks, and how many positions right before
// the caret it never tests (so a break just typed does not end the fragment).
constexpr int64_t kScanLimit = 301;
constexpr int64_t kUntested = 4;

int g_wordPattern = 0;

SepKeywordProgress& Progress() {
  static SepKeywordProgress progress;
  return progress;
}

// Byte length of the character that starts at s[k].
size_t CharLen(std::string_view s, size_t k) {
  auto b = static_cast<unsigned char>(s[k]);
  if (!IsSjisLeadByte(b) || k + 1 >= s.size()) return 1;
  auto t = static_cast<unsigned char>(s[k + 1]);
  return ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) ? 2 : 1;
}

// True when the text's last byte is a lead byte with no trail byte after it.
// Bytes in the lead range are also valid trail bytes, so a run of them before
// the end pairs up from its first byte: parity decides.
bool EndsInsideCharacter(std::string_view t) {
  if (t.empty() || !IsSjisLeadByte(static_cast<unsigned char>(t.back()))) return false;
  size_t k = t.size() - 1;
  while (k > 0 && IsSjisLeadByte(static_cast<unsigned char>(t[k - 1]))) --k;
  return (t.size() - 1 - k) % 2 == 0;
}

// Stores one word: a known word is touched (new UPDATEDATE), a new one appended.
// A failure is logged and kept; the word is skipped.
void StoreWord(MT& table, const SjisString& word, SepKeywordFailures& failures, bool again = false) {
  bool found = false;
  try {
    found = table.FindKey(word);  // a closed table raises here, to the caller
  } catch (...) {
    if (failures.word.empty()) failures.word = word;
    throw;
  }
  try {
    if (found)
      table.Edit();
    else
      table.Append();
  } catch (const std::exception& e) {
    // Locked elsewhere or not writable: skip this word, the others still get stored.
    table.LogFailure(e, found ? "SepKeyword.Edit" : "SepKeyword.Append");
    failures.Add(e, e.what());
    if (failures.word.empty()) failures.word = word;
    return;
  }
  try {
    const TDateTime now = WordStampNow();
    if (!found) {
      table.SS("KEYWORD", word);
      table.SD("APPENDDATE", now);
    }
    table.SD("UPDATEDATE", now);
    table.Post();
  } catch (const std::exception& e) {
    if (!found && !again && IsKeyViolation(e)) {
      // Another program stored the word between the lookup and the write
      // lock: now that the lock is ours, it is found and touched instead.
      try {
        table.Cancel();
      } catch (const std::exception&) {
      }
      StoreWord(table, word, failures, true);
      return;
    }
    table.LogFailure(e, "SepKeyword.Post");
    failures.Add(e, "SepKeyword_01:" + SjisString(e.what()));
    if (failures.word.empty()) failures.word = word;
    // Leave no pending edit behind: the next word's lookup must start from
    // browse, and the views must show only what the table holds.
    try {
      table.Cancel();
    } catch (const std::exception&) {
    }
  }
}

void StoreWords(MT& table, const std::vector<SjisString>& words, size_t n, SepKeywordFailures& failures) {
  table.SetIndexFieldNames("KEYWORD");
  try {
    const SepKeywordProgress progress = Progress();  // a copy: the callback may reset the hook
    // The words of one call are one transaction: one commit per keystroke
    // instead of one per word. Not while a progress window runs: the events
    // it lets through between words may write through the other view, which
    // the batch's lock would refuse.
    std::optional<MTBatch> batch;
    if (!progress) batch.emplace(table);
    const SjisString total = SpacePadStr(static_cast<int64_t>(n), 4);
    for (size_t i = 0; i < n; ++i) {
      const SjisString& word = words[i];
      if (progress) progress(SpacePadStr(static_cast<int64_t>(i + 1), 4) + "/" + total, word);
      if (word.size() > 2) StoreWord(table, word, failures);
    }
    if (batch) {
      try {
        batch->End();
      } catch (const std::exception& e) {
        // The words' posts did not reach the file after all.
        table.LogFailure(e, "MT.EndBatch");
        failures.Add(e, "SepKeyword_01:" + SjisString(e.what()));
      }
    }
  } catch (...) {
    try {
      table.SetIndexName(kIdxUpdateDate);
    } catch (const std::exception&) {
    }
    throw;
  }
  table.SetIndexName(kIdxUpdateDate);
}

}  // namespace

void SepKeywordFailures::Add(const std::exception& e, SjisString text) {
  if (texts.empty()) {
    message = e.what();
    const auto* db = dynamic_cast<const EDBEngineError*>(&e);
    category = db && !db->errors.empty() ? db->errors[0].category : 0;
  }
  texts.push_back(std::move(text));
}

TDateTime WordStampNow() {
  static TDateTime last = 0;
  TDateTime now = Now();
  if (now <= last) now = std::nextafter(last, std::numeric_limits<double>::infinity());
  last = now;
  return now;
}

int WordPatternHandle() { return g_wordPattern; }
void SetWordPatternHandle(int handle) { g_wordPattern = handle; }

void SetSepKeywordProgress(SepKeywordProgress progress) { Progress() = std::move(progress); }
const SepKeywordProgress& SepKeywordProgressHook() { return Progress(); }

bool IsSentenceBreak(std::string_view s) {
  return s.size() == 2 && (s == "\x81\x42" || s == "\x81\x41" || s == "\r\n");
}

SjisString SepKeyword(MT& table, const SjisString& text, bool takeLast, bool noRegister,
                      SepKeywordFailures* failures) {
  // A text cut inside a double-byte character would pair its last byte with
  // the dummy's first and shift the dummy; that stray byte is left out.
  std::string_view body = text;
  if (EndsInsideCharacter(body)) body.remove_suffix(1);
  SjisString input;
  input.reserve(body.size() + kAppended);
  input.assign(body).append(kDummy).append(kStop);
  const std::optional<SjisString> out = MuWGYStr(WordPatternHandle(), input);
  if (!out) {
    // Short text refused: the pattern was never compiled, not a length problem.
    if (input.size() <= kMuWGYMaxInput) PgmError("SepKeyword");
    MsgBox("Wendul", SjisString(kTooLong1) + std::to_string(input.size()) + SjisString(kTooLong2) + "\r\n" +
                         SjisString(kTooLong3));
    return {};
  }

  const size_t L = out->size();
  if (L == kDummyWord) return {};  // the text held no word

  // If the dummy stood alone (a marker right before it), the text ended at a
  // word boundary and its last word is complete.
  const size_t markerLen = kWordMarker.size();
  const bool complete =
      L >= kDummyWord + markerLen &&
      std::string_view(*out).substr(L - kDummyWord - markerLen, markerLen) == kWordMarker;
  const std::string_view words_text =
      std::string_view(*out).substr(0, complete ? L - kDummyWord - markerLen : L - kDummyWord);

  // Words hold neither quotes nor blanks, so a plain split at the marker is
  // what the field splitter would give, without its copying.
  std::vector<SjisString> words;
  for (size_t pos = 0; pos <= words_text.size();) {
    size_t end = words_text.find(kWordMarker, pos);
    if (end == std::string_view::npos) end = words_text.size();
    if (end > pos) words.emplace_back(words_text.substr(pos, end - pos));
    pos = end + markerLen;
  }
  if (words.empty()) return {};

  const size_t n = (takeLast || complete) ? words.size() : words.size() - 1;
  if (n > 0 && !noRegister) {
    if (failures) {
      StoreWords(table, words, n, *failures);
    } else {
      SepKeywordFailures own;
      StoreWords(table, words, n, own);
      for (const SjisString& t : own.texts) ErrMsgBox(t);
    }
  }
  return words.back();
}

int64_t FindFragmentStart(const DocEditor& editor) {
  const int64_t caret = std::clamp<int64_t>(editor.CaretPos(), 0, editor.TextLength());
  const int64_t lowest = std::max<int64_t>(0, caret - kScanLimit);
  const int64_t highest = caret - kUntested - 1;
  if (highest < lowest) return lowest;

  // A break counts only where a character starts: the trail byte of one
  // character and the first byte of the next can look like "。" or "、".
  int64_t from = lowest;
  const SjisString bytes = editor.TextSlice(from, caret);
  int64_t found = -1;
  for (size_t k = 0; k < bytes.size();) {
    const int64_t pos = from + static_cast<int64_t>(k);
    if (pos > highest) break;
    if (k + 1 < bytes.size() && IsSentenceBreak(std::string_view(bytes).substr(k, 2))) found = pos;
    k += CharLen(bytes, k);
  }
  return found >= 0 ? found : lowest;
}

SjisString SepKeywordAtCaret(MT& table, const DocEditor& editor, bool takeLast, bool noRegister,
                             SepKeywordFailures* failures) {
  const int64_t caret = std::clamp<int64_t>(editor.CaretPos(), 0, editor.TextLength());
  int64_t start = FindFragmentStart(editor);
  if (start == 0) start = -2;
  int64_t from = start + 2;
  if (caret - from <= 2) return {};
  // The scan may stop inside a character; the slice begins at the next one.
  const SjisString fragment = editor.TextSlice(from, caret);
  if (fragment.size() <= 2) return {};
  return SepKeyword(table, fragment, takeLast, noRegister, failures);
}

}  // namespace wendul
