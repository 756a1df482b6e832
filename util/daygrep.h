// The global search over the diary: walks the day files backwards from a
// given day to the earliest diary date and reports the first hit of each
// day. It reads the files' bytes directly (a day in another encoding than
// Shift-JIS as the editor shows it) and creates nothing on disk.
#pragma once

#include <string>

#include "util/sjisfind.h"
#include "wtypes.h"

namespace wendul {

struct DayHit {
  TDateTime day = 0;
  std::string relPath;  // below the log folder, "2001/05/YDay03.TXT"
  int line = 0;         // 1-based line of the hit
  size_t pos = 0;       // byte position of the hit
  SjisString text;      // up to 200 bytes from the hit's context start
};

class DayGrep {
 public:
  // Days are searched from `today` back to `earliest` (both whole days), at
  // most 36 501 of them.
  DayGrep(std::string logFolder, const SjisString& word, TDateTime today, TDateTime earliest);

  // Searches the next day. Returns false when the walk is over; otherwise
  // *found tells whether that day's file holds the word (then *hit is set).
  bool Next(DayHit* hit, bool* found);
  bool Done() const { return done_; }
  // Path of the last day file that existed (for the progress display).
  const std::string& LastFile() const { return lastFile_; }
  int DaysWalked() const { return step_; }

 private:
  std::string folder_;
  SjisFinder finder_;
  TDateTime today_, earliest_;
  int step_ = 0;
  bool done_ = false;
  std::string lastFile_;
  SjisString buffer_;  // reused for every file
};

}  // namespace wendul
