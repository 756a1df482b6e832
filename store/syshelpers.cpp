#include "store/syshelpers.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/companion.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/filehelpers.h"
#include "util/paths.h"
#include "util/strutil.h"

namespace wendul {

bool IsOpt(std::string_view option) {
  if (option.empty() || !MuAVOpt(option[0])) return false;
  if (option.size() == 1) return true;
  const std::string data = MuAVOptDt(option[0]);
  if (data.empty()) return false;
  return UpperStr(data.substr(0, 1)) == UpperStr(option.substr(1, 1));
}

std::string OptData(std::string_view option) { return option.empty() ? std::string() : MuAVOptDt(option[0]); }
int CmdLineFileCount() { return MuAVFileN(); }
std::string CmdLineFile(int index) { return MuAVFile(index); }

std::string OmitFExtStr(const std::string& name) { return OmitFExt(name); }

bool AppendLogLine(std::string_view text, const std::string& file) {
  return BufferToFileAppend(TimeStampStr(Now()) + ": " + std::string(text), file);
}

void DeleteTableSideFiles(const std::string& folder, const std::string& tableFile) {
  const std::string table = AddBackslash(folder) + tableFile;
  struct stat st {};
  if (stat(table.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(table.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
      sqlite3_busy_timeout(db, 200);
      // The first read rolls back a journal a crash left; the checkpoint
      // copies the log into the table.
      sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
      sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    return;
  }
  for (const char* side : {"-journal", "-wal", "-shm"}) ::unlink((table + side).c_str());
}

bool ShellOpen(const std::string& target) {
  if (target.empty()) return true;
  const bool address = target.find("://") != std::string::npos || target.compare(0, 7, "mailto:") == 0;
  if (!address && access(target.c_str(), F_OK) != 0) return true;
  return !MuCreateProcessShow({"xdg-open", target}, 5);
}

bool StartProcess(const std::vector<std::string>& argv) { return MuCreateProcessShow(argv, 5); }
bool RunCommand(const std::vector<std::string>& argv) { return MuSystem(argv); }

void OpenAddress(std::string_view address, const std::string& program, bool useShell) {
  const SjisString a = AddressToOpen(address);
  if (a.empty()) return;
  const std::string utf8 = SjisToUtf8(a);
  if (useShell) ShellOpen(utf8);
  else if (!program.empty()) StartProcess({program, utf8});
  else RunCommand({utf8});
}

}  // namespace wendul
