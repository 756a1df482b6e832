// Unsaved text kept on disk while typing pauses, so that a crash or a kill
// loses nothing: each running editor writes its own record, and a record
// whose editor no longer runs is offered back at the next start.
//
// Records live in StateDir() + "recovery/": "<id>.rec" holds the record and
// "<id>.lock" is locked (flock) by its editor for as long as it runs, so the
// kernel itself tells a live editor from one that crashed or was killed.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "doctext.h"

namespace wendul {

// $XDG_STATE_HOME/wendul/ (default ~/.local/state/wendul/), or WENDUL_HOME
// when set; ends in "/".
std::string StateDir();

struct RecoveryRecord {
  std::string fileName;     // the document's name as the editor held it
  bool untitled = false;
  LineEnd lineEnd = LineEnd::CRLF;  // the document's usual line break
  DocCodec codec;           // the encoding of the document's file
  std::string textUtf8;     // the text, lines joined by "\n"
  int64_t savedAt = 0;      // seconds since the epoch
  // The day shown in log mode (whole days; fileName is its day file); 0 for
  // a document.
  int64_t diaryDay = 0;
};

class RecoveryStore {
 public:
  // folder "": StateDir() + "recovery/".
  explicit RecoveryStore(std::string folder = "");
  ~RecoveryStore();  // unlocks; a record still there is offered next time
  RecoveryStore(const RecoveryStore&) = delete;
  RecoveryStore& operator=(const RecoveryStore&) = delete;

  const std::string& Folder() const { return folder_; }
  // Writes this editor's record, all or nothing; the folder and the lock are
  // made at the first call.
  bool Save(const RecoveryRecord& r, std::string* error = nullptr);
  // Removes this editor's record (after a save, New, or a normal close).
  void Remove();
  bool HasRecord() const { return saved_; }

  // Records of editors that no longer run, oldest first: those of diary days
  // (diary true) or of documents. They are taken: another editor starting
  // meanwhile does not offer them too.
  std::vector<std::string> TakeOrphans(bool diary = false);
  static bool Read(const std::string& path, RecoveryRecord* r);
  // Deletes a taken record (restored or declined).
  void Discard(const std::string& path);

 private:
  bool Claim(std::string* error);
  std::string folder_;
  std::string id_;
  int lockFd_ = -1;
  bool saved_ = false;
  std::map<std::string, int> taken_;  // record path -> locked fd
};

}  // namespace wendul
