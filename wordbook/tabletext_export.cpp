// TextExport: a table written as table text.
#include <cmath>
#include <cstdio>

#include "store/mt.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/paths.h"
#include "util/strutil.h"
#include "wordbook/tabletext.h"

namespace wendul {

namespace {

// Records read from the table at a time: few statements, a small window held.
constexpr int kChunk = 4096;
// Bytes gathered before they go to the file.
constexpr size_t kFlushAt = 1 << 20;

void Digits(std::string& out, int value, int width) {
  char buf[12];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 || n < width);
  while (n > 0) out += buf[--n];
}

void AppendDate(std::string& out, TDateTime value) {
  const DateParts p = DecodeDateTime(value);
  if (p.year < 0 || p.year > 9999) {
    out += p.hour || p.minute || p.second || p.msec ? DateTimeStr(value) : DateStr(value);
    return;
  }
  Digits(out, p.year, 4);
  out += '/';
  Digits(out, p.month, 2);
  out += '/';
  Digits(out, p.day, 2);
  if (p.hour == 0 && p.minute == 0 && p.second == 0 && p.msec == 0) return;
  out += ' ';
  Digits(out, p.hour, 2);
  out += ':';
  Digits(out, p.minute, 2);
  out += ':';
  Digits(out, p.second, 2);
}

// "{muMemoStart}" and "{muMemoEnd}"
const char kMemoStart[] = "{muMemoStart}";
const char kMemoEnd[] = "{muMemoEnd}";

void AppendValue(std::string& out, const FieldInfo& f, const FieldValue& v) {
  if (v.IsNull()) return;
  switch (f.type) {
    case 'A':
      out += v.kind == FieldValue::Kind::Text ? v.text : SjisString();
      return;
    case 'M':
      if (v.kind == FieldValue::Kind::Text && !Trim(v.text).empty()) {
        out += kMemoStart;
        out += v.text;
        out += kMemoEnd;
      }
      return;
    case 'N': {
      char buf[64];
      const int n = std::snprintf(buf, sizeof buf, "%.2f", v.number);
      if (n > 0 && static_cast<size_t>(n) < sizeof buf) out.append(buf, static_cast<size_t>(n));
      return;
    }
    case '@':
      AppendDate(out, v.number);
      return;
  }
  // A field the format does not write.
  throw GeneralError("pGMError from TextExport");
}

// " に書き込めません"
const char kCannotWrite[] = " \x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1";
// " は開いていません"
const char kNotOpen[] = " \x82\xcd\x8a\x4a\x82\xa2\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";

// "書き出しの間に表が変更されました。もう一度書き出してください。"
const char kChanged[] =
    "\x8f\x91\x82\xab\x8f\x6f\x82\xb5\x82\xcc\x8a\xd4\x82\xc9\x95\x5c\x82\xaa\x95\xcf\x8d\x58\x82\xb3\x82\xea"
    "\x82\xdc\x82\xb5\x82\xbd\x81\x42\x82\xe0\x82\xa4\x88\xea\x93\x78\x8f\x91\x82\xab\x8f\x6f\x82\xb5\x82\xc4"
    "\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42";

bool SameValues(const std::vector<FieldValue>& a, const std::vector<FieldValue>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].kind != b[i].kind || a[i].text != b[i].text || a[i].number != b[i].number) return false;
  return true;
}

[[noreturn]] void CannotWrite(const std::string& fileName, const std::string& reason) {
  throw GeneralError(PathText(fileName) + kCannotWrite + " (" + reason + ")");
}

}  // namespace

SjisString TableTextDate(TDateTime value) {
  std::string s;
  AppendDate(s, value);
  return s;
}

SjisString PathText(const std::string& path) {
  SjisString out;
  out.reserve(path.size());
  char enc[2];
  for (size_t i = 0; i < path.size();) {
    const auto b = static_cast<unsigned char>(path[i]);
    const int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t cp = 0;
    bool ok = len > 0 && i + static_cast<size_t>(len) <= path.size();
    if (ok) {
      cp = len == 1 ? b : (b & (0x7F >> len));
      for (int k = 1; k < len && ok; ++k) {
        const auto c = static_cast<unsigned char>(path[i + k]);
        ok = (c & 0xC0) == 0x80;
        cp = cp << 6 | (c & 0x3F);
      }
    }
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    i += static_cast<size_t>(len);
    const int n = EncodeCp932Char(cp, enc);
    if (n == 0) out += '?';
    else out.append(enc, static_cast<size_t>(n));
  }
  return out;
}

void TextExport(MT& table, const std::string& fileName, bool withHeader, bool quoted, const TextCount& count) {
  if (!table.Active()) throw GeneralError(table.TableName() + kNotOpen);
  const std::vector<FieldInfo> fields = table.Fields();
  AtomicFile file;
  std::string reason;
  if (!file.Open(fileName, &reason)) CannotWrite(fileName, reason);

  std::string out;
  out.reserve(kFlushAt + 4096);
  if (withHeader) {
    for (const FieldInfo& f : fields) out += f.name + ",";
    out += "\r\n";
  }
  int64_t written = 0;
  Bookmark last = 0;
  std::vector<FieldValue> lastValues;
  for (;;) {
    // Each chunk goes on from the last record written. Should another
    // program have changed that record meanwhile, the walk would skip or
    // repeat records: the export stops instead of writing a wrong file.
    std::vector<RowView> rows = last == 0 ? table.RowsFrom(0, kChunk) : table.RowsFrom(last, kChunk + 1);
    size_t from = 0;
    if (last != 0) {
      if (rows.empty() || rows.front().bookmark != last || !SameValues(rows.front().values, lastValues))
        throw GeneralError(kChanged);
      from = 1;
    }
    if (from >= rows.size()) break;
    for (size_t r = from; r < rows.size(); ++r) {
      const RowView& row = rows[r];
      for (size_t i = 0; i < fields.size(); ++i) {
        if (quoted) out += '"';
        AppendValue(out, fields[i], i < row.values.size() ? row.values[i] : FieldValue());
        if (quoted) out += '"';
        out += ',';
      }
      out += "\r\n";
      ++written;
    }
    last = rows.back().bookmark;
    lastValues = rows.back().values;
    if (out.size() >= kFlushAt) {
      if (!file.Write(out)) break;
      out.clear();
    }
    if (count && !count(written, 0)) throw TextExchangeCancelled();
  }
  file.Write(out);
  if (!file.Commit(&reason)) CannotWrite(fileName, reason);
  if (count) count(written, 0);
}

}  // namespace wendul
