#include "wordbook/mozcdict.h"

#include <algorithm>
#include <vector>

#include "store/mt.h"
#include "util/codec.h"
#include "util/paths.h"
#include "wordbook/wordreading.h"
#include "wordbook/wordrules.h"

namespace wendul {

namespace {

// Records read between two progress calls.
constexpr int64_t kCountEvery = 4096;

// A word that a line of the file can carry: Shift-JIS, and a word as one may
// be typed in (no tab, line break or other control character).
bool Writable(const SjisString& word) { return !word.empty() && WordRefusal(word, 0).empty() && MuIsValidStr(word); }

[[noreturn]] void CannotWrite(const std::string& fileName, const std::string& reason) {
  throw GeneralError(PathText(fileName) + Utf8ToSjis(" に書き込めません") + " (" + reason + ")");
}

}  // namespace

MozcExportCounts MozcDictExport(MT& table, const std::string& fileName, const MozcExportChoice& choice,
                                TWordReading& reading, const TextCount& count) {
  if (!table.Active()) throw GeneralError(table.TableName() + Utf8ToSjis(" は開いていません"));
  const int wordAt = table.FieldIndex("KEYWORD");
  const int dateAt = table.FieldIndex("APPENDDATE");
  if (wordAt < 0 || dateAt < 0) throw GeneralError("PGM Error from MozcDictExport: " + table.TableName());
  AtomicFile file;
  std::string reason;
  if (!file.Open(fileName, &reason)) CannotWrite(fileName, reason);

  // The lines gathered in one block and sorted by reading (a line begins
  // with it, then a tab, which sorts before any character of a reading).
  std::string lines;
  std::vector<std::pair<uint32_t, uint32_t>> spans;  // offset, length
  MozcExportCounts counts;
  int64_t seen = 0;
  bool cancelled = false;
  table.ReadAllRecords([&](const RowView& row) {
    ++seen;
    if (seen % kCountEvery == 0 && count && !count(seen, 0)) cancelled = true;
    const FieldValue& word = row.values[static_cast<size_t>(wordAt)];
    const FieldValue& added = row.values[static_cast<size_t>(dateAt)];
    if (choice.since && (added.IsNull() || added.number < choice.sinceDate)) {
      ++counts.older;
      return !cancelled;
    }
    if (word.kind != FieldValue::Kind::Text || !Writable(word.text)) {
      ++counts.unreadable;
      return !cancelled;
    }
    const std::string utf8 = SjisToUtf8(word.text);
    const TWordReading::Result r = reading.Read(utf8);
    if (r.kind == TWordReading::Kind::LatinDigits && !choice.latinDigits) {
      ++counts.latinDigits;
      return !cancelled;
    }
    if (r.reading.empty()) {
      ++counts.unreadable;
      return !cancelled;
    }
    const size_t from = lines.size();
    lines += r.reading;
    lines += '\t';
    lines += utf8;
    lines += r.proper ? "\t固有名詞\t" : "\t名詞\t";
    lines += kMozcComment;
    lines += '\n';
    spans.emplace_back(static_cast<uint32_t>(from), static_cast<uint32_t>(lines.size() - from));
    ++counts.written;
    return !cancelled;
  });
  if (cancelled) throw TextExchangeCancelled();
  if (lines.size() > UINT32_MAX) throw GeneralError(PathText(fileName) + Utf8ToSjis(" に書き出すには単語が多すぎます"));
  auto text = [&lines](const std::pair<uint32_t, uint32_t>& s) { return std::string_view(lines).substr(s.first, s.second); };
  std::sort(spans.begin(), spans.end(), [&](const auto& a, const auto& b) { return text(a) < text(b); });
  for (const auto& s : spans) file.Write(text(s));
  if (!file.Commit(&reason)) CannotWrite(fileName, reason);
  if (count) count(seen, 0);
  return counts;
}

MozcLine ReadMozcLine(std::string_view line, std::string_view* word) {
  if (!line.empty() && line.front() == '#') return MozcLine::Skip;
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return MozcLine::NoEntry;
  std::string_view rest = line.substr(tab + 1);
  const size_t end = rest.find('\t');
  *word = rest.substr(0, end);
  // "抑制単語": an entry that keeps its word from being offered.
  if (end != std::string_view::npos) {
    std::string_view pos = rest.substr(end + 1);
    pos = pos.substr(0, pos.find('\t'));
    if (pos == "抑制単語") return MozcLine::Skip;
  }
  return MozcLine::Entry;
}

}  // namespace wendul
