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

// Records written between two progress calls.
constexpr int64_t kCountEvery = 4096;
// Bytes gathered before they go to the file.
constexpr size_t kFlushAt = 1 << 20;

// "yyyy/mm/dd", and " hh:nn:ss" unless the time is exactly midnight.
void AppendDate(std::string& out, TDateTime value) {
  const DateParts p = DecodeDateTime(value);
  if (p.year < 0 || p.year > 9999) {
    out += p.hour || p.minute || p.second || p.msec ? DateTimeStr(value) : DateStr(value);
    return;
  }
  char b[19] = {static_cast<char>('0' + p.year / 1000), static_cast<char>('0' + p.year / 100 % 10),
                static_cast<char>('0' + p.year / 10 % 10), static_cast<char>('0' + p.year % 10), '/',
                static_cast<char>('0' + p.month / 10), static_cast<char>('0' + p.month % 10), '/',
                static_cast<char>('0' + p.day / 10), static_cast<char>('0' + p.day % 10), ' ',
                static_cast<char>('0' + p.hour / 10), static_cast<char>('0' + p.hour % 10), ':',
                static_cast<char>('0' + p.minute / 10), static_cast<char>('0' + p.minute % 10), ':',
                static_cast<char>('0' + p.second / 10), static_cast<char>('0' + p.second % 10)};
  const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0 && p.msec == 0;
  out.append(b, midnight ? 10 : 19);
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
  // The lines are made in storage order, which reads quickly, kept, and
  // written in the table's order. The records come from one snapshot:
  // records changed meanwhile are written as they were when the export began.
  std::string lines;
  std::vector<size_t> starts;
  int64_t made = 0;
  bool cancelled = false;
  const std::vector<uint32_t> order = table.ReadAllRecords([&](const RowView& row) {
    starts.push_back(lines.size());
    for (size_t i = 0; i < fields.size(); ++i) {
      if (quoted) lines += '"';
      AppendValue(lines, fields[i], i < row.values.size() ? row.values[i] : FieldValue());
      if (quoted) lines += '"';
      lines += ',';
    }
    lines += "\r\n";
    ++made;
    if (made % kCountEvery == 0 && count && !count(made, 0)) cancelled = true;
    return !cancelled;
  });
  if (cancelled) throw TextExchangeCancelled();
  starts.push_back(lines.size());
  for (uint32_t pos : order) {
    out.append(lines, starts[pos], starts[pos + 1] - starts[pos]);
    if (out.size() >= kFlushAt) {
      if (!file.Write(out)) break;
      out.clear();
      if (count && !count(made, 0)) throw TextExchangeCancelled();
    }
  }
  const int64_t written = static_cast<int64_t>(order.size());
  file.Write(out);
  if (!file.Commit(&reason)) CannotWrite(fileName, reason);
  if (count) count(written, 0);
}

}  // namespace wendul
