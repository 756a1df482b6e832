// TextExport: a table written as table text.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "store/mt.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/paths.h"
#include "util/strutil.h"
#include "wordbook/tabletext.h"
#include "wordbook/tabletext_line.h"

namespace wendul {

namespace {

// Records written between two progress calls.
constexpr int64_t kCountEvery = 4096;
// Bytes gathered before they go to the file.
constexpr size_t kFlushAt = 1 << 20;

constexpr int64_t kMsPerDay = 86400000;

char Digit(int v) { return static_cast<char>('0' + v % 10); }

// "yyyy/mm/dd", and " hh:nn:ss" unless the time is exactly midnight.
// Records of one day are many: the day's text is kept for the next value.
class DateWriter {
 public:
  void Append(std::string& out, TDateTime value) {
    const double whole = std::trunc(value);
    const int64_t ms = std::isfinite(value) ? std::llround(std::fabs(value - whole) * kMsPerDay) : 0;
    // Outside the plain range (a time that rounds into the next day, years
    // outside 0100 to 9839) the general conversion decides.
    if (!(value > -650000.0 && value < 2900000.0) || ms >= kMsPerDay) {
      const DateParts p = DecodeDateTime(value);
      out += p.hour || p.minute || p.second || p.msec ? DateTimeStr(value) : DateStr(value);
      return;
    }
    const int64_t day = static_cast<int64_t>(whole);
    Slot& slot = slots_[day == slots_[0].day ? 0 : day == slots_[1].day ? 1 : next_];
    if (slot.day != day) {
      const DateParts p = DecodeDateTime(whole);
      const char text[10] = {Digit(p.year / 1000), Digit(p.year / 100), Digit(p.year / 10), Digit(p.year), '/',
                             Digit(p.month / 10), Digit(p.month), '/', Digit(p.day / 10), Digit(p.day)};
      std::copy(text, text + 10, slot.text);
      slot.day = day;
      next_ ^= 1;
    }
    out.append(slot.text, 10);
    if (ms == 0) return;
    const int sec = static_cast<int>(ms / 1000);
    const char time[9] = {' ', Digit(sec / 36000), Digit(sec / 3600), ':', Digit(sec % 3600 / 600),
                          Digit(sec % 3600 / 60), ':', Digit(sec % 60 / 10), Digit(sec % 60)};
    out.append(time, 9);
  }

 private:
  struct Slot {
    int64_t day = INT64_MIN;
    char text[10] = {};
  };
  Slot slots_[2];
  int next_ = 0;
};

// "{muMemoStart}" and "{muMemoEnd}"
const char kMemoStart[] = "{muMemoStart}";
const char kMemoEnd[] = "{muMemoEnd}";

// The value's text by its field's type.
void AppendValue(std::string& out, const FieldInfo& f, const FieldValue& v, DateWriter& dates) {
  if (v.IsNull()) return;
  switch (f.type) {
    case 'A':
      if (v.kind == FieldValue::Kind::Text) out += v.text;
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
      dates.Append(out, v.number);
      return;
  }
  // A field the format does not write.
  throw GeneralError("pGMError from TextExport");
}

// The lines of an export in blocks that never move: no copy as they grow.
class LineStore {
 public:
  // The block the next line is appended to.
  std::string& Begin() {
    if (blocks_.empty() || blocks_.back().size() >= kBlock - 1024) {
      blocks_.emplace_back();
      blocks_.back().reserve(kBlock);
    }
    starts_.push_back(static_cast<uint64_t>(blocks_.size() - 1) << 32 | blocks_.back().size());
    return blocks_.back();
  }
  std::string_view Line(size_t i) const {
    const size_t block = starts_[i] >> 32, from = starts_[i] & 0xffffffff;
    const bool lastInBlock = i + 1 == starts_.size() || (starts_[i + 1] >> 32) != block;
    const size_t to = lastInBlock ? blocks_[block].size() : (starts_[i + 1] & 0xffffffff);
    return std::string_view(blocks_[block]).substr(from, to - from);
  }

 private:
  static constexpr size_t kBlock = 8 << 20;
  std::vector<std::string> blocks_;
  std::vector<uint64_t> starts_;  // block << 32 | offset
};

// " に書き込めません"
const char kCannotWrite[] = " \x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1";
// " は開いていません"
const char kNotOpen[] = " \x82\xcd\x8a\x4a\x82\xa2\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";

[[noreturn]] void CannotWrite(const std::string& fileName, const std::string& reason) {
  throw GeneralError(PathText(fileName) + kCannotWrite + " (" + reason + ")");
}

}  // namespace

void AppendQuotedItem(std::string& out, std::string_view value) {
  out += '"';
  for (size_t from = 0;;) {
    const size_t quote = value.find('"', from);
    if (quote == std::string_view::npos) {
      out.append(value.substr(from));
      break;
    }
    out.append(value.substr(from, quote + 1 - from));
    out += '"';  // doubled, as the reader takes it back
    from = quote + 1;
  }
  out += '"';
}

SjisString TableTextDate(TDateTime value) {
  std::string s;
  DateWriter().Append(s, value);
  return s;
}

SjisString PathText(const std::string& path) {
  SjisString out;
  Utf8ToSjisMarked(path, &out);
  return out;
}

TextExportReport TextExport(MT& table, const std::string& fileName, bool withHeader, bool quoted,
                            const TextCount& count) {
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
  LineStore lines;
  DateWriter dates;
  int64_t made = 0;
  bool cancelled = false;
  TextExportReport report;
  std::string value;
  const std::vector<uint32_t> order = table.ReadAllRecords([&](const RowView& row) {
    std::string& to = lines.Begin();
    for (size_t i = 0; i < fields.size(); ++i) {
      const FieldValue& v = i < row.values.size() ? row.values[i] : FieldValue();
      if (!quoted) {
        AppendValue(to, fields[i], v, dates);
      } else if (fields[i].type == 'A' && v.kind == FieldValue::Kind::Text) {
        AppendQuotedItem(to, v.text);  // text is the one value that may hold a quote
      } else {
        value.clear();
        AppendValue(value, fields[i], v, dates);
        AppendQuotedItem(to, value);
      }
      to += ',';
    }
    to += "\r\n";
    ++made;
    if (made % kCountEvery == 0 && count && !count(made, 0)) cancelled = true;
    return !cancelled;
  }, &report.damaged);
  if (cancelled) throw TextExchangeCancelled();
  for (uint32_t pos : order) {
    out += lines.Line(pos);
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
  report.records = written;
  return report;
}

}  // namespace wendul
