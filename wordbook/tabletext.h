// Table text: any table written to a plain text file, one line per record,
// and such a file read back into a table. Standard library, SQLite and ICU
// only; messages and questions go through UiHooks.
//
// The format, byte for byte:
//   * Shift-JIS, no byte order mark; every line ends in CR LF;
//   * each value is followed by "," (the last one too); the reader accepts a
//     line with or without that last ",";
//   * quoted: every value between double quotes, a quote inside doubled (as
//     CSV does; a line break inside stays inside the quotes); files written
//     before quotes were doubled read as they always did;
//   * optional header: the field names, each followed by ",", never quoted;
//   * text as stored; numbers "%.2f"; date-times "yyyy/mm/dd hh:nn:ss", the
//     time left out at exactly midnight (the Japanese system's short date and
//     long time, whatever the machine's locale); memo text between
//     "{muMemoStart}" and "{muMemoEnd}" unless blank.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/wtypes.h"

namespace wendul {

class MT;

// Progress of a long export or import, called every few thousand records:
// records written (export) or lines read (import), and for the import the
// bytes read of the file. Returning false cancels the work.
using TextCount = std::function<bool(int64_t records, int64_t bytesRead)>;

// Raised when the progress callback cancelled: nothing was changed, neither
// the table nor a file under the chosen name.
class TextExchangeCancelled : public std::runtime_error {
 public:
  TextExchangeCancelled() : std::runtime_error("cancelled") {}
};

struct TextExportReport {
  int64_t records = 0;   // records written
  bool damaged = false;  // the table's file is damaged: what could be read was written, in storage order
};

// Writes every record of the table (in its current order and filter, from the
// first) to the file. The file is written under a temporary name and takes
// the chosen name only when it is complete: a cancelled or failed export
// leaves whatever was there before. A file that cannot be written raises
// GeneralError with a Japanese message. The table's cursor does not move.
// The records are read in storage order and written in the table's order,
// so the text is held in memory meanwhile (about the size of the file).
// fileName is a path of the file system (UTF-8 on Linux).
TextExportReport TextExport(MT& table, const std::string& fileName, bool withHeader, bool quoted,
                            const TextCount& count = {});

// What a file offered for import holds, found before anything is read into
// the table: its encoding, and how many records it has.
enum class TextEncoding { ShiftJis, Utf8, Utf16, Utf32, Binary };
struct TableTextSurvey {
  TextEncoding encoding = TextEncoding::ShiftJis;
  int64_t records = 0;  // lines holding anything but blanks (a record over several lines counts once)
};
// Reads the whole file; a file that cannot be read raises GeneralError.
TableTextSurvey SurveyTableText(const std::string& fileName);

// The text of one date-time value as the format writes it.
SjisString TableTextDate(TDateTime value);

// The forms of text TmuText reads.
enum class TextFormat {
  Table,           // table text, as above
  MozcDictionary,  // a Mozc user dictionary (wordbook/mozcdict.h): its words only
};

// Reads table text into a table.
class TmuText {
 public:
  TmuText() = default;

  // What the file holds. From a Mozc user dictionary each entry's word goes
  // into the first field and the date-time fields get the moment of the
  // import; comment lines and entries that suppress a word are passed over,
  // a word the table knows keeps its dates. Line numbers count the lines
  // read, comments included.
  TextFormat Format = TextFormat::Table;

  // Folder of the table file the import writes to.
  std::string DatabaseName;
  // When on, the table name is not checked for a file before the import.
  bool IsSkipTableCheck = false;
  // Form of date-time texts; empty: the fixed Japanese form.
  std::string DateTimeFormat;
  // Count and cancel (see TextCount).
  TextCount OnCount;

  // Reads fileName into the table tableName of DatabaseName, after emptying
  // it when emptyFirst, dropping the first line when skipHeader. With a
  // progress callback every error is passed to it and the import goes on;
  // without one the first error ends the import, raised as GeneralError with
  // the error's text. Duplicate keys are dropped silently (the callback hears
  // of them). The import is all or nothing: when it ends with an error, or
  // is cancelled (TextExchangeCancelled), the table is exactly as it was
  // before. Returns the number of errors.
  int TextImport(const std::string& fileName, const std::string& tableName, bool emptyFirst, bool skipHeader,
                 const std::function<void(const SjisString&)>& progress = {});

  int64_t LinesRead() const { return lines_; }
  int64_t RowsPosted() const { return posted_; }
  // Lines whose key the table held already (or an earlier line gave).
  int64_t Duplicates() const { return duplicates_; }
  int Errors() const { return errors_; }

 private:
  std::vector<SjisString> items_;
  int64_t lines_ = 0;
  int64_t posted_ = 0;
  int64_t duplicates_ = 0;
  int errors_ = 0;
};

// A file system path as the system's text, for messages: characters code
// page 932 cannot hold become "?".
SjisString PathText(const std::string& path);

}  // namespace wendul
