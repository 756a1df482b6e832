#include "util/daylog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <filesystem>

#include "util/codec.h"
#include "util/datetime.h"
#include "util/docfile.h"
#include "util/doctext.h"
#include "util/messages.h"
#include "util/paths.h"
#include "util/strutil.h"

namespace wendul {

namespace {

DiaryClock g_clock = nullptr;

const char kStars[] = "********************************\r\n";  // 32 asterisks

}  // namespace

TDateTime EarliestDiaryDate() {
  static const TDateTime earliest = MuStrToDateTime("1998/04/01 00:00:00", "yyyy/mm/dd hh:nn:ss");
  return earliest;
}

TDateTime DiaryNow() { return g_clock ? g_clock() : Now(); }
void SetDiaryClock(DiaryClock clock) { g_clock = clock; }

std::string DayLogRelPath(TDateTime date) {
  const DateParts p = DecodeDateTime(date);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.4d/%.2d/YDay%.2d.TXT", p.year, p.month, p.day);
  return buf;
}

SjisString ShownFileName(const std::string& path) {
  try {
    return Utf8ToSjis(path);  // file names on Linux are UTF-8
  } catch (...) {
    return path;
  }
}

std::string GetMuLogPathName(const std::string& logFolder, bool createFolders, TDateTime date) {
  std::error_code ec;
  if (logFolder.empty() || !std::filesystem::is_directory(logFolder, ec))
    PgmError(ShownFileName(logFolder) + Utf8ToSjis(" が存在しません GetMuLogPathName"));
  if (date == 0) PgmError(Utf8ToSjis("日付が入っていないです GetMuLogPathName"));
  const std::string path = AddBackslash(logFolder) + DayLogRelPath(date);
  if (createFolders) ForceDirectories(path.substr(0, path.rfind('/') + 1));
  return path;
}

SjisString DayLogHeader(TDateTime date, int adminLevel) {
  const DateParts p = DecodeDateTime(date);
  char ymd[32];
  std::snprintf(ymd, sizeof ymd, "%4d.%2d.%2d", p.year, p.month, p.day);
  SjisString h = kStars;
  h += "*       ";
  h += ymd;
  h += "\x81\x69" + DWeek2Str(DayOfWeek(date)) + "\x81\x6a";  // （ weekday ）
  h += "       *\r\n";
  h += kStars;
  if (adminLevel > 0) h += Utf8ToSjis("99に起きる。") + "\r\n";
  return h;
}

bool ReadWholeFile(const std::string& path, SjisString* bytes, std::string* error) {
  bytes->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) == 0 && st.st_size > 0) bytes->reserve(static_cast<size_t>(st.st_size));
  char buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = std::strerror(errno);
      ::close(fd);
      return false;
    }
    bytes->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes, std::string* error) {
  AtomicFile f;
  if (!f.Open(path, error)) return false;
  f.Write(bytes);
  return f.Commit(error);
}

int64_t FileLength(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool FarDiaryDay(TDateTime day, TDateTime now) {
  return day >= EncodeDate(DecodeDateTime(now).year + 2, 1, 1);
}

bool CreateDayLogFile(const std::string& path, TDateTime date, int adminLevel, std::string* error, DocCodec codec) {
  if (FileLength(path) >= 0) return true;
  const SjisString header = DayLogHeader(date, adminLevel);
  return WriteFileAtomic(path, codec == DocCodec{} ? header : EncodeDocText(DecodeSjisDocument(header), codec), error);
}

DaySave SaveDayLog(const std::string& path, std::string_view text) {
  const int64_t newSize = static_cast<int64_t>(text.size());
  const int64_t oldSize = std::max<int64_t>(FileLength(path), 0);
  if (newSize + 30 < oldSize) {
    const SjisString question =
        Utf8ToSjis("変更後文章が元文章よりサイズが小さくなっています。続行しますか? ") +
        std::to_string(oldSize) + " > " + std::to_string(newSize) + "\r\n" + ShownFileName(path);
    if (AskNotYes("", question)) return DaySave::Declined;
  }
  // As documents are saved: whole or not at all, and never over a file its
  // owner made read-only.
  SjisString why;
  if (!SaveDocFile(path, text, &why)) {
    ErrMsgBox(why);
    return DaySave::Failed;
  }
  return DaySave::Written;
}

TDateTime FirstDiaryDay(bool logMode, std::string_view option, TDateTime now) {
  const TDateTime today = LogicalDate(now);
  if (!logMode || option.empty()) return today;
  if (option[0] == '-') return today - StrToIntZ(Trim(option.substr(1, 2)));
  const DateParts p = DecodeDateTime(now);
  if (option.size() > 5) return MuStrToDateTime(option, "yyyy/mm/dd");
  if (option.size() >= 3) return MuStrToDateTime(std::to_string(p.year) + "/" + SjisString(option), "yyyy/mm/dd");
  return EncodeDate(p.year, p.month, StrToIntZ(option));
}

}  // namespace wendul
