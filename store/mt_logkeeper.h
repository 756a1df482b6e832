// The keeper of a table file's write-ahead log, on a thread of its own.
//
// A commit of the word table (every keystroke that lengthens the text) only
// appends to the log; copying the log back into the file (a checkpoint) and
// starting the log over each flush the disk, which takes tens of
// milliseconds on an ordinary disk. The engine does both inside a commit
// (its automatic checkpoint every few thousand pages, and a flush of the
// log's header by the first commit after a complete checkpoint); those were
// the keystrokes that stalled. A table with background checkpoints turns the
// engine's own off, and this thread does both, when asked (the user paused)
// or when the log has grown long: a passive checkpoint, which never waits
// for the editor's reads and writes, and, once it has copied everything, a
// write of its own that starts the log over, so that the header's flush
// falls on this thread. Durability is the engine's as before: every commit
// is in the log, which survives a crash of the program; the flushes happen
// as often as before, only elsewhere.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

namespace wendul::mtimpl {

class LogKeeper {
 public:
  // One keeper per file, shared by every connection to it that asks.
  static std::shared_ptr<LogKeeper> For(const std::string& path);
  ~LogKeeper();
  LogKeeper(const LogKeeper&) = delete;
  LogKeeper& operator=(const LogKeeper&) = delete;

  // Installs on a connection of the editor: the engine's automatic
  // checkpoints stop, and a commit that leaves the log long asks for a copy.
  void Attach(sqlite3* db);
  // Copy the log now (when it holds enough to be worth it); returns at once.
  void Request();
  // From the commit hook: the log's length after a commit.
  void Committed(int pages);
  // Waits until no copy is running nor asked for (tests and benchmarks).
  void WaitIdle();
  // Copies done so far, times the log was started over, whether that is
  // under way now (holding the write lock), and the longest it held it
  // (benchmarks).
  int Checkpoints() const;
  int Restarts() const { return restarts_.load(); }
  bool Restarting() const { return restarting_.load(); }
  double LongestRestartMs() const;

  // A commit leaves the log this long (pages): copy without waiting for a pause.
  static constexpr int kLongLog = 16384;
  // A shorter log is left for a later pause: the copy ends with starting the
  // log over, which holds the write lock for a disk flush, so it runs about
  // as often as the engine's own copy would (every 4,000 pages), at pauses.
  static constexpr int kWorthCopying = 4000;

 private:
  explicit LogKeeper(std::string path);
  void Run();
  void Keep();  // one round of work, on the thread

  std::string path_;
  sqlite3* db_ = nullptr;  // the thread's own connection
  mutable std::mutex mutex_;
  std::condition_variable wake_, done_;
  bool asked_ = false;
  bool busy_ = false;
  bool stop_ = false;
  bool forced_ = false;                 // the log grew long: copy whatever it holds
  std::atomic<int> logPages_{kWorthCopying};  // as the last commit left it (unknown at first)
  std::atomic<int> restarts_{0};
  std::atomic<bool> restarting_{false};
  int checkpoints_ = 0;
  double longestRestartMs_ = 0;
  std::thread thread_;
};

}  // namespace wendul::mtimpl
