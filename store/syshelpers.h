// Command-line, table-file, log and program helpers over the companion
// services (companion.h). Programs are started with an argument list handed
// straight to exec: no shell ever reads a document's text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/wtypes.h"

namespace wendul {

// For one letter: whether that option was given. For two or more: whether the
// option named by the first letter was given and the first character of its
// text equals the second letter, both compared in upper case; later letters
// are ignored.
bool IsOpt(std::string_view option);
// The text given with the option named by the first letter.
std::string OptData(std::string_view option);
int CmdLineFileCount();
std::string CmdLineFile(int index);  // 1-based; "" when out of range

// The name without its extension.
std::string OmitFExtStr(const std::string& name);
// Appends the time stamp of now, ": " and the text to the file.
bool AppendLogLine(std::string_view text, const std::string& file);

// Tidies what the SQLite store keeps beside a table ("-journal", "-wal",
// "-shm"). Deleting them by name would throw away words written since the
// last checkpoint or break a table a crash left mid-write, so the table is
// opened once: SQLite rolls back or folds in what they hold and removes its
// log files as the last connection closes. Side files of a table that is
// open elsewhere stay; those of a table that no longer exists are deleted.
// Nothing else is touched, and failures are ignored.
void DeleteTableSideFiles(const std::string& folder, const std::string& tableFile);

// Asks the desktop to open a file or an address with its program
// ("xdg-open" with the name as its one argument). The name is a file-system
// name or address in UTF-8. Returns true when it could not be asked: the
// file does not exist or the opener did not start. Callers ignore it.
bool ShellOpen(const std::string& target);
// Starts a program with its arguments and returns at once.
bool StartProcess(const std::vector<std::string>& argv);
// Runs a program with its arguments and waits for it.
bool RunCommand(const std::vector<std::string>& argv);

// Opens an address found in a document (system text): nothing when it is
// empty after trimming; with useShell through ShellOpen; else with a program
// given, that program with the address as its argument; else the address run
// as a program. An address beginning "www" is opened as "http://" + it.
void OpenAddress(std::string_view address, const std::string& program, bool useShell);

}  // namespace wendul
