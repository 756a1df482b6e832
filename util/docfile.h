// Reading and saving a document file, with the reasons of a failure in
// Japanese. Paths are file-system names (UTF-8 on Linux).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "wtypes.h"

namespace wendul {

// Larger files are refused with a message: the editor's lines cost about
// fifteen bytes of memory per byte of text (Qt keeps a layout for each), and
// opening takes about a tenth of a second per MB, so 32 MB is about three
// seconds and 500 MB.
constexpr int64_t kMaxDocBytes = 32ll << 20;

enum class DocReadResult { Ok, Missing, Folder, NotRegular, Unreadable, TooLarge, Failed };

struct DocRead {
  DocReadResult result = DocReadResult::Failed;
  std::string bytes;
  int64_t size = 0;  // the file's size (TooLarge too)
  int error = 0;     // errno of a failure
};

DocRead ReadDocFile(const std::string& path, int64_t maxBytes = kMaxDocBytes);

// The message for a failed read (not for Missing, whose box the caller
// words); the name is shown as given.
SjisString DocReadMessage(const std::string& path, const DocRead& r);

// Writes the bytes all or nothing: to a temporary file in the same folder,
// flushed to disk, then renamed over the file (a symbolic link keeps being a
// link; its target is written). A file without write permission is not
// replaced. On failure the old file is untouched and *message (when given)
// tells why, in Japanese.
bool SaveDocFile(const std::string& path, std::string_view bytes, SjisString* message = nullptr);

// A reason in Japanese for an errno of reading or writing files.
SjisString FileErrorReason(int error);

// A file-system name as system text: characters code page 932 cannot hold
// are shown as "?"; a name that is not UTF-8 is taken as code page 932.
SjisString DisplayName(std::string_view path);
// The same name for the user interface, in UTF-8: a name that is not UTF-8
// is read as code page 932 (a byte it cannot read shows as U+FFFD).
std::string DisplayNameUtf8(std::string_view path);

// What tells one version of a file from another without reading it (device,
// inode, size, modification time): a save by another program replaces the
// file or changes its size or time. "" when the file cannot be looked at.
std::string DiskStamp(const std::string& path);

}  // namespace wendul
