// The line reader of the table text import, on the word table's fields
// (KEYWORD,A,64; UPDATEDATE,@; APPENDDATE,@). Any line: split and converted,
// it ends in values or a GeneralError; a word taken is at most 64 bytes and
// a date taken has its parts in range. A line written the way the export
// writes a word (the input cut into a word and two date values) reads back
// to that word and those dates, to the second.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "wordbook/tabletext.h"
#include "wordbook/tabletext_line.h"

using namespace wendul;

namespace {

const std::vector<FieldInfo>& WordFields() {
  static const std::vector<FieldInfo> f = {
      {"KEYWORD", 'A', 64, FieldValue::Kind::Text},
      {"UPDATEDATE", '@', 0, FieldValue::Kind::DateTime},
      {"APPENDDATE", '@', 0, FieldValue::Kind::DateTime},
      {"COUNT", 'N', 0, FieldValue::Kind::Number},
  };
  return f;
}

// Values of a line, or false when the import would report the line.
bool ReadLine(std::string_view line, std::vector<FieldValue>* values) {
  std::vector<SjisString> items;
  values->assign(WordFields().size(), FieldValue());
  try {
    SplitTableTextLine(line, &items);
    for (size_t i = 0; i < std::min(items.size(), WordFields().size()); ++i)
      (*values)[i] = TableTextValue(items[i], WordFields()[i], "");
  } catch (const GeneralError&) {
    return false;
  }
  return true;
}

long long Second(TDateTime v) { return std::llround(v * 86400.0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = (fuzz::InstallQuietUi(), true);
  (void)once;
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::vector<FieldValue> values;
  if (ReadLine(line, &values)) {
    FUZZ_CHECK(values[0].IsNull() || values[0].text.size() <= 64, fuzz::Shown(line));
    for (size_t i = 1; i <= 2; ++i) {
      if (values[i].IsNull()) continue;
      FUZZ_CHECK(std::isfinite(values[i].number), fuzz::Shown(line));
      const DateParts p = DecodeDateTime(values[i].number);
      FUZZ_CHECK(p.month >= 1 && p.month <= 12 && p.hour < 24 && p.minute < 60 && p.second < 60, fuzz::Shown(line));
    }
    FUZZ_CHECK(values[3].IsNull() || std::isfinite(values[3].number), fuzz::Shown(line));
  }

  // A written line reads back: a word of valid Shift-JIS (quotes, commas and
  // line breaks too), two dates from 8 bytes each, within the years the form
  // can hold.
  if (size < 16) return 0;
  double d[2];
  std::memcpy(d, data, 16);
  std::string word(reinterpret_cast<const char*>(data + 16), std::min<size_t>(size - 16, 64));
  while (!word.empty() && !MuIsValidStr(word)) word.pop_back();
  if (word.empty()) return 0;
  for (double& v : d) {
    if (!std::isfinite(v)) return 0;
    v = std::fmod(std::fabs(v), 2958465.0);  // 9999-12-31
    if (v < 367) v += 367;                   // from the year 1901: the form has four-digit years
  }
  std::string written;
  for (const std::string& value : {word, TableTextDate(d[0]), TableTextDate(d[1])}) {
    AppendQuotedItem(written, value);
    written += ',';
  }
  FUZZ_CHECK(ReadLine(written, &values), fuzz::Shown(written));
  FUZZ_CHECK(values[0].text == word, fuzz::Shown(written));
  for (int i = 0; i < 2; ++i)
    FUZZ_CHECK(Second(values[i + 1].number) == Second(d[i]) ||
                   DateTimeStr(values[i + 1].number) == DateTimeStr(d[i]),
               fuzz::Shown(written) + " date " + std::to_string(i) + " " + DateTimeStr(values[i + 1].number) +
                   " != " + DateTimeStr(d[i]));
  return 0;
}
