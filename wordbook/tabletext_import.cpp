// TmuText::TextImport: table text read into a table, in one transaction.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "store/mt.h"
#include "store/mt_bulk.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/messages.h"
#include "util/strutil.h"
#include "wordbook/mozcdict.h"
#include "wordbook/tabletext.h"
#include "wordbook/tabletext_line.h"
#include "wordbook/wordrules.h"

namespace wendul {

namespace {

// Lines read between two progress calls.
constexpr int64_t kCountEvery = 4096;
// The longest record whose quoted item may run over several lines.
constexpr size_t kMaxRecord = 64 * 1024;

// " が存在しません"
const char kMissing[] = " \x82\xaa\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb9\x82\xf1";
// " を開けません"
const char kCannotOpen[] = " \x82\xf0\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1";
// " を読み込めません"
const char kCannotRead[] = " \x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1";
// "FIELD LENGTH OVER: フィールド名:"
const char kLengthOver[] = "FIELD LENGTH OVER: \x83\x74\x83\x42\x81\x5b\x83\x8b\x83\x68\x96\xbc:";

// Reads a file line by line through a large buffer.
class LineReader {
 public:
  explicit LineReader(std::FILE* f) : f_(f) {}

  // Passes over blanks, tabs and line breaks (line breaks alone when
  // breaksOnly); false at the end of the file.
  bool SkipBlank(bool breaksOnly = false) {
    for (;;) {
      while (pos_ < buf_.size()) {
        const char c = buf_[pos_];
        if (c != '\r' && c != '\n' && (breaksOnly || (c != ' ' && c != '\t'))) return true;
        ++pos_;
      }
      if (!Fill()) return false;
    }
  }

  // Passes over a UTF-8 byte order mark at the start of the file.
  void SkipByteOrderMark() {
    if (consumed_ == 0) Fill();
    if (pos_ == 0 && buf_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
  }

  // The rest of the line without its break (CR LF, LF or CR); the break is
  // consumed and, when asked for, given. Valid until the next call.
  std::string_view ReadLine(std::string_view* lineBreak = nullptr) {
    size_t scanned = pos_;
    for (;;) {
      const size_t end = buf_.find_first_of("\r\n", scanned);
      // A CR at the end of what is read may be the first half of CR LF.
      if (end != std::string::npos && !(buf_[end] == '\r' && end + 1 == buf_.size() && !eof_)) {
        const size_t breakLength = buf_[end] == '\r' && end + 1 < buf_.size() && buf_[end + 1] == '\n' ? 2 : 1;
        std::string_view line(buf_.data() + pos_, end - pos_);
        if (lineBreak) *lineBreak = std::string_view(buf_.data() + end, breakLength);
        pos_ = end + breakLength;
        return line;
      }
      scanned = (end != std::string::npos ? end : buf_.size()) - pos_;
      if (!Fill()) {
        if (end != std::string::npos) continue;  // the CR was the last byte of the file
        std::string_view line(buf_.data() + pos_, buf_.size() - pos_);
        if (lineBreak) *lineBreak = std::string_view();
        pos_ = buf_.size();
        return line;
      }
      scanned += pos_;
    }
  }

  bool AtEnd() {
    if (pos_ < buf_.size()) return false;
    return !Fill();
  }

  // Reading may go back to here (what is read meanwhile stays in memory).
  void Mark() { mark_ = pos_; }
  void Unmark() { mark_ = std::string::npos; }
  void BackToMark() {
    if (mark_ != std::string::npos) pos_ = mark_;
    mark_ = std::string::npos;
  }

  int64_t BytesRead() const { return consumed_ - static_cast<int64_t>(buf_.size() - pos_); }
  bool Failed() const { return failed_; }

 private:
  bool Fill() {
    if (eof_) return false;
    const size_t keep = std::min(pos_, mark_);
    buf_.erase(0, keep);
    pos_ -= keep;
    if (mark_ != std::string::npos) mark_ -= keep;
    const size_t old = buf_.size();
    buf_.resize(old + kBlock);
    const size_t n = std::fread(buf_.data() + old, 1, kBlock, f_);
    buf_.resize(old + n);
    consumed_ += static_cast<int64_t>(n);
    if (n == 0) {
      eof_ = true;
      failed_ = std::ferror(f_) != 0;
      return false;
    }
    return true;
  }

  static constexpr size_t kBlock = 1 << 20;
  std::FILE* f_;
  std::string buf_;
  size_t pos_ = 0;
  size_t mark_ = std::string::npos;
  int64_t consumed_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

class FileCloser {
 public:
  explicit FileCloser(std::FILE* f) : f_(f) {}
  ~FileCloser() {
    if (f_) std::fclose(f_);
  }

 private:
  std::FILE* f_;
};

// Text that is stored as a word: valid Shift-JIS without a NUL byte, which
// every part that shows or searches the word would cut it at.
bool ValidText(std::string_view item) {
  return item.find('\0') == std::string_view::npos && IsValidStr(item);
}

// An item as a message shows it: a NUL byte would end the message there.
SjisString Shown(const SjisString& item) {
  if (item.find('\0') == SjisString::npos) return item;
  SjisString out;
  for (char c : item) {
    if (c == '\0') out += "<NUL>";
    else out += c;
  }
  return out;
}

std::string LineNo(int64_t line) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6lld", static_cast<long long>(line));
  return buf;
}

double ReadFloat(const SjisString& item) {
  const SjisString t = Trim(item);
  const char* begin = t.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(begin, &end);
  bool ok = !t.empty() && end == begin + t.size() && std::isfinite(v) && errno != ERANGE;
  // Only decimal numbers: no hexadecimal forms.
  for (char c : t)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
      ok = false;
  if (!ok) throw GeneralError("'" + item + "' is not a valid floating point value");
  return v;
}

// Thrown inside a line to stop the import with a text of its own.
struct StopImport {
  SjisString text;
};

// "NOT SJIS CODE" and its kin: what is wrong, then where.
SjisString CodeError(const char* what, const SjisString& shownFile, int64_t line, const std::string& field,
                     const SjisString& item) {
  return SjisString(what) + "\r\n" + shownFile + " " + LineNo(line) + ": '" + field + "' :(" + Shown(item) + ")";
}

bool IsUtf8(std::string_view text) {
  char32_t c;
  for (size_t i = 0; i < text.size();)
    if (!NextUtf8(text, &i, &c)) return false;
  return true;
}

// A line that holds nothing to store (a comment).
struct SkipLine {};
// A line none of which can be stored, with the text that says why.
struct CodeErrorLine {
  SjisString text;
};

// The items of a line of a Mozc user dictionary, one a field: its word for
// the first field, the moment of the import for the date-time fields. Raises
// SkipLine for a comment or an entry that suppresses a word, GeneralError for
// a line that holds no entry, an empty word or a control character in it
// (WordRefusal), CodeErrorLine for a word that
// is not UTF-8 or holds a character code page 932 cannot hold.
void MozcItems(std::string_view line, const std::vector<FieldInfo>& fields, const SjisString& now,
               const SjisString& shownFile, int64_t lineNo, std::vector<SjisString>* items) {
  std::string_view word;
  switch (ReadMozcLine(line, &word)) {
    case MozcLine::Skip:
      throw SkipLine{};
    case MozcLine::NoEntry:
      throw GeneralError(Utf8ToSjis("Mozc の辞書の行ではありません（読み、タブ、単語の順に書きます）"));
    case MozcLine::Entry:
      break;
  }
  if (word.empty()) throw GeneralError(Utf8ToSjis("単語が空です"));
  SjisString sjis;
  const bool utf8 = IsUtf8(word);
  if (!Utf8ToSjisMarked(word, &sjis) || sjis.find('\0') != SjisString::npos)
    throw CodeErrorLine{CodeError(utf8 ? "NOT SJIS CODE" : "NOT UTF-8 CODE", shownFile, lineNo,
                                  fields.empty() ? "###" : fields[0].name, sjis)};
  // What may be a word is what may be typed in as one (its length is the
  // field's check, below).
  if (const SjisString why = WordRefusal(sjis, 0); !why.empty()) throw GeneralError(why);
  items->assign(fields.size(), SjisString());
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].type == '@') (*items)[i] = now;
  if (!items->empty()) (*items)[0] = sjis;
}

}  // namespace

bool SplitTableTextRecord(std::string_view rest, std::vector<SjisString>* items, bool strict) {
  items->clear();
  while (!rest.empty()) {
    if (rest.front() == '"') {
      rest.remove_prefix(1);
      SjisString item;
      size_t from = 0, quote = 0;
      for (;;) {
        quote = rest.find('"', from);
        if (quote == std::string_view::npos) return false;
        item.append(rest.substr(from, quote - from));
        if (quote + 1 < rest.size() && rest[quote + 1] == '"') {
          item += '"';  // a doubled quote
          from = quote + 2;
          continue;
        }
        break;
      }
      if (strict && quote + 1 < rest.size() && rest[quote + 1] != ',') return false;
      items->push_back(std::move(item));
      const size_t next = quote + 2;  // the closing quote and one separator
      rest = next < rest.size() ? rest.substr(next) : std::string_view();
    } else {
      const size_t comma = rest.find(',');
      if (comma == std::string_view::npos) {
        items->emplace_back(rest);
        break;
      }
      items->emplace_back(rest.substr(0, comma));
      rest.remove_prefix(comma + 1);
    }
    rest = TrimView(rest);
  }
  return true;
}

void SplitTableTextLine(std::string_view line, std::vector<SjisString>* items) {
  // "\"の数が合いません"
  if (SplitTableTextRecord(line, items)) return;
  items->clear();
  PgmError("\"\x82\xcc\x90\x94\x82\xaa\x8d\x87\x82\xa2\x82\xdc\x82\xb9\x82\xf1");
}

FieldValue TableTextValue(const SjisString& item, const FieldInfo& field, const std::string& dateFormat) {
  if (item.empty()) return {};
  switch (field.type) {
    case 'A':
      if (item.size() > static_cast<size_t>(field.size))
        throw GeneralError(kLengthOver + field.name + " " + std::to_string(field.size) + " < " +
                           std::to_string(item.size()) + "  " + item);
      return FieldValue::Of(item);
    case 'M':
      return {};  // memo text is not read
    case 'N':
      return FieldValue::OfNumber(ReadFloat(item));
    case '@':
      return FieldValue::OfDate(MuStrToDateTime(item, dateFormat));
    default:
      throw GeneralError("PGM Error from TextImport");
  }
}

int TmuText::TextImport(const std::string& fileName, const std::string& tableName, bool emptyFirst, bool skipHeader,
                        const std::function<void(const SjisString&)>& progress) {
  lines_ = posted_ = duplicates_ = 0;
  errors_ = 0;
  const SjisString shownFile = PathText(fileName);
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec)) throw GeneralError(shownFile + kMissing);
  MT table("TmuText");
  table.SetDatabaseName(DatabaseName);
  table.SetTableName(tableName);
  if (!IsSkipTableCheck && !std::filesystem::exists(table.FilePath(), ec))
    throw GeneralError(PathText(tableName) + kMissing);

  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) throw GeneralError(shownFile + kCannotOpen + " (" + std::strerror(errno) + ")");
  FileCloser closer(f);
  LineReader in(f);

  // Everything the import writes is one transaction: without Commit the
  // table stays exactly as it was, emptied or not.
  MTLoad load(table, emptyFirst);
  const std::vector<FieldInfo> fields = load.Fields();
  const bool mozc = Format == TextFormat::MozcDictionary;
  if (mozc) in.SkipByteOrderMark();
  if (skipHeader && in.SkipBlank(mozc)) in.ReadLine();
  // A Mozc dictionary's words come in now: as learned at this moment.
  const SjisString now = mozc ? TableTextDate(Now()) : SjisString();

  std::vector<FieldValue> values;
  std::string joined;  // a record whose quoted item holds line breaks
  while (in.SkipBlank(mozc)) {
    ++lines_;
    std::string_view lineBreak;
    std::string_view line = in.ReadLine(&lineBreak);
    // A quoted item open at the end of the line goes on in the next one (a
    // word written with its line break); a quote never closed stays an
    // error of this record, found when it is split.
    // (A Mozc dictionary's line is one entry, split apart below.)
    bool whole = mozc || SplitTableTextRecord(line, &items_);
    if (!whole && !lineBreak.empty()) {
      joined.assign(line);
      in.Mark();
      while (!lineBreak.empty() && joined.size() < kMaxRecord && !in.AtEnd()) {
        joined += lineBreak;
        joined += in.ReadLine(&lineBreak);
        if ((whole = SplitTableTextRecord(joined, &items_, true))) break;
      }
      if (whole) {
        in.Unmark();
      } else {
        in.BackToMark();  // not a record of the export's: the line alone, and its error
        joined.resize(line.size());
      }
      line = joined;  // the reader's buffer may have moved
    }
    int fieldAt = 0;  // the field being handled, for the context of an error
    // The context of an error of this line.
    auto context = [&](const SjisString& error) {
      SjisString item;
      if (items_.empty()) item = "###";
      else if (static_cast<size_t>(fieldAt) >= items_.size()) item = " <Filed Name?> ";
      else item = Shown(items_[static_cast<size_t>(fieldAt)]);
      return error + " " + shownFile + " " + LineNo(lines_) + ": '" + tableName + "' :(" + item + ")";
    };
    // Reports an error of this line: to the callback, or as the end of the import.
    auto report = [&](const SjisString& error) {
      const SjisString text = context(error);
      if (!progress) throw StopImport{text};
      progress(text);
    };
    try {
      try {
        if (mozc) {
          items_.clear();
          MozcItems(line, fields, now, shownFile, lines_, &items_);
        } else if (!whole) {
          items_.clear();
          SplitTableTextLine(line, &items_);  // raises: a quote never closed
        }
        const size_t n = std::min(fields.size(), items_.size());
        values.assign(fields.size(), FieldValue());
        for (size_t i = 0; i < n; ++i) {
          fieldAt = static_cast<int>(i);
          const SjisString& item = items_[i];
          const FieldInfo& field = fields[i];
          if (!ValidText(item)) {
            ++errors_;
            const SjisString text = CodeError("NOT SJIS CODE", shownFile, lines_, field.name, item);
            if (!progress) throw StopImport{text};
            progress(text);  // the item is stored all the same
          }
          values[i] = TableTextValue(item, field, DateTimeFormat);
        }
        fieldAt = static_cast<int>(n);
        if (load.Add(values)) {
          ++posted_;
        } else {
          ++duplicates_;
          if (progress) progress("Dupkey: " + shownFile + ": " + std::to_string(lines_));
        }
      } catch (const SkipLine&) {
      } catch (const CodeErrorLine& e) {
        // Nothing of the line can be stored.
        ++errors_;
        if (!progress) throw StopImport{e.text};
        progress(e.text);
      } catch (const EDBEngineError& e) {
        if (IsKeyViolation(e)) {
          ++duplicates_;
          if (progress) progress("Dupkey: " + shownFile + ": " + std::to_string(lines_));
        } else if (IsTableFull(e)) {
          ++errors_;
          if (progress) progress(context(e.what()));
          throw StopImport{"Paradox Record Max"};
        } else {
          ++errors_;
          report(e.what());
        }
      } catch (const std::exception& e) {
        ++errors_;
        ErrMsgBox(e.what());
        report(e.what());
      }
    } catch (const StopImport& stop) {
      // Leaving the scope rolls the load back.
      throw GeneralError(stop.text);
    }
    if (lines_ % kCountEvery == 0 && OnCount && !OnCount(lines_, in.BytesRead())) throw TextExchangeCancelled();
  }
  if (in.Failed()) throw GeneralError(shownFile + kCannotRead);
  if (OnCount && !OnCount(lines_, in.BytesRead())) throw TextExchangeCancelled();
  // Building the indexes takes a while on a large table: it can be
  // cancelled until the commit.
  if (OnCount) {
    const int64_t bytes = in.BytesRead();
    load.OnStep = [this, bytes] { return OnCount(lines_, bytes); };
  }
  try {
    load.Commit();
  } catch (const EDBEngineError& e) {
    if (IsInterrupted(e)) throw TextExchangeCancelled();
    throw;
  }
  return errors_;
}

}  // namespace wendul
