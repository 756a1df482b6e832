// The diary of log mode: one Shift-JIS text file per day below the log
// folder, "YYYY/MM/YDayDD.TXT", started with a dated header.
#pragma once

#include <string>
#include <string_view>

#include "doccodec.h"
#include "wtypes.h"

namespace wendul {

// Days before this one (1998/04/01) are never loaded or searched.
TDateTime EarliestDiaryDate();

// The clock the diary asks for "now"; tests put a fake one in (nullptr
// restores the real one).
using DiaryClock = TDateTime (*)();
TDateTime DiaryNow();
void SetDiaryClock(DiaryClock clock);

// "2001/05/YDay03.TXT": the day's file below the log folder.
std::string DayLogRelPath(TDateTime date);

// The day's file below logFolder (ending in "/"). Raises through PgmError
// when the log folder does not exist or the date is 0; with createFolders
// the year and month folders are made first.
std::string GetMuLogPathName(const std::string& logFolder, bool createFolders, TDateTime date);

// The header of a new day file: an asterisk line, the dated line with the
// weekday, the asterisk line again, and "99に起きる。" when adminLevel > 0;
// each line ends in CR LF.
SjisString DayLogHeader(TDateTime date, int adminLevel);

// A day after the end of next year: far beyond where a diary is written (a
// stray era letter or digit puts the date there). Its file is made only when
// the user confirms.
bool FarDiaryDay(TDateTime day, TDateTime now);

// Writes a new day file with the header, in the given encoding, unless the
// file exists. False (with the reason) when it cannot be written.
bool CreateDayLogFile(const std::string& path, TDateTime date, int adminLevel,
                      std::string* error = nullptr, DocCodec codec = DocCodec{});

// Reads a whole file; false (with the reason) when it cannot be read.
bool ReadWholeFile(const std::string& path, SjisString* bytes, std::string* error = nullptr);

// Replaces a file all at once: a crash leaves either the old or the new text.
bool WriteFileAtomic(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// Byte length of a file, -1 when it is missing.
int64_t FileLength(const std::string& path);

enum class DaySave { Written, Declined, Failed };
// Writes the day's text to path as a document is saved (SaveDocFile: whole
// or not at all, a read-only file refused). When it would shrink the file by
// more than 30 bytes the user is asked first (default No); Declined leaves
// the file as it was. Failed: the write failed or was refused, the file is as
// it was and the reason was shown.
DaySave SaveDayLog(const std::string& path, std::string_view text);

// The first day the date window shows at start-up. option is the text of
// option D; now the current moment. Raises the date parser's or the date
// encoder's error for an option that is no date.
//   empty (or not log mode)  the working day of now (a time before 06:00 belongs to the day before)
//   "-N"                     that day minus N (the two characters after "-")
//   longer than 5            "yyyy/mm/dd"
//   3 to 5 characters        "mm/dd" of the year of now
//   1 or 2 characters        that day of the month of now
TDateTime FirstDiaryDay(bool logMode, std::string_view option, TDateTime now);

// Shows a file name (bytes of the file system) in a message of the system's code page.
SjisString ShownFileName(const std::string& path);

}  // namespace wendul
