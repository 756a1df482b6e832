// Services that the editor's companion library used to provide: the command
// line, file length and names, appending to a file, the single text output,
// and starting other programs. The text search (StrStr) and the Shift-JIS
// check (MuIsValidStr) live in the utility library and are reached from here.
//
// Command line: options are written "-X" or "/X", X one ASCII letter in
// either case, with the option's text attached ("-D2001/05/03", "-D-1").
// The "/" form is taken as an option only when its text is empty or made of
// digits and the date and number signs "-+/.:" ("/N", "/D2001/05/03"), so
// that "/tmp" or "/home/u/a.txt" stay file names. A lone "-", "-" followed by
// a non-letter, and everything after "--" are file arguments. "--help" and
// "--version" are recognised; other "--name" arguments are kept as unknown.
// When a letter is given more than once, the last one counts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/codec.h"    // MuIsValidStr
#include "util/strutil.h"  // StrStr
#include "util/wtypes.h"

namespace wendul {

// Parses and keeps the command line (argv[0] is the program). Called once at
// start; a second call replaces what the first kept.
void MuAVParm(int argc, const char* const* argv);
inline void MuAVParm(int argc, char** argv) { MuAVParm(argc, const_cast<const char* const*>(argv)); }
bool MuAVOpt(char letter);
// The text attached to the option, "" when it has none or was not given.
std::string MuAVOptDt(char letter);
int MuAVFileN();
// The i-th file argument, 1-based; "" when out of range. Bytes as given.
std::string MuAVFile(int i);
bool MuAVWantsHelp();     // "--help"
bool MuAVWantsVersion();  // "--version"
// "--name" arguments that mean nothing here, for the program to complain about.
const std::vector<std::string>& MuAVUnknown();

// Length of the file in bytes, -1 when it is missing (or not a regular file).
int64_t RtvFLen(const std::string& file);
// The name without its extension: the part from the last "." of the last path
// component is cut, unless that "." starts the component (".profile").
std::string OmitFExt(const std::string& name);
// Appends the bytes, creating the file when absent (its folder must exist).
bool BufferToFileAppend(std::string_view text, const std::string& file);
// Kept for the main window's start-up; there is nothing to prepare.
inline void CreateKeyboardNameTable() {}

// The single text output. The file is replaced as a whole only when
// MuioClose succeeds: a failed export leaves the previous file untouched.
// MuioWriteOpen: false when the file cannot be created (an open output is
// abandoned first). MuioWrite and the delimiters: false when no output is
// open or a write failed. MuioClose: false when any write, the flush or the
// replacement failed, or when nothing was open.
bool MuioWriteOpen(const std::string& file);
bool MuioWrite(std::string_view text);
bool MuioWriteFieldDelimiter();   // ","
bool MuioWriteRecordDelimiter();  // "\r\n"
bool MuioClose();

// Starting programs. The program and its arguments are passed as a list
// straight to exec: no shell sees them, so no text can turn into a command.
// The program is looked up in PATH unless it contains a "/".
// MuSystem waits until the program ends; *exitCode (when given) receives its
// exit status, or 128 + the signal that ended it. Returns whether the
// program could be started.
bool MuSystem(const std::vector<std::string>& argv, int* exitCode = nullptr);
// Starts the program in its own session and returns at once (showState is
// the caller's window state, meaningless here). Returns whether it started.
bool MuCreateProcessShow(const std::vector<std::string>& argv, int showState = 5);

}  // namespace wendul
