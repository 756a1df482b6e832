#include "store/mt_logkeeper.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>

namespace wendul::mtimpl {

namespace {

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}

std::map<std::string, std::weak_ptr<LogKeeper>>& Registry() {
  static std::map<std::string, std::weak_ptr<LogKeeper>> r;
  return r;
}

// After each commit of an editor's connection: a long log is copied without
// waiting for a pause. Installing this hook also ends the engine's automatic
// checkpoints on the connection.
int OnCommit(void* keeper, sqlite3*, const char*, int pages) {
  static_cast<LogKeeper*>(keeper)->Committed(pages);
  return SQLITE_OK;
}

}  // namespace

std::shared_ptr<LogKeeper> LogKeeper::For(const std::string& path) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  std::weak_ptr<LogKeeper>& slot = Registry()[path];
  std::shared_ptr<LogKeeper> keeper = slot.lock();
  if (!keeper) {
    keeper.reset(new LogKeeper(path));
    slot = keeper;
  }
  return keeper;
}

LogKeeper::LogKeeper(std::string path) : path_(std::move(path)) { thread_ = std::thread([this] { Run(); }); }

LogKeeper::~LogKeeper() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto it = Registry().find(path_);
  if (it != Registry().end() && it->second.expired()) Registry().erase(it);
}

void LogKeeper::Attach(sqlite3* db) { sqlite3_wal_hook(db, OnCommit, this); }

void LogKeeper::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_ = true;
  }
  wake_.notify_one();
}

void LogKeeper::Committed(int pages) {
  logPages_.store(pages, std::memory_order_relaxed);
  if (pages < kLongLog) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    forced_ = true;
  }
  Request();
}

void LogKeeper::WaitIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return !asked_ && !busy_; });
}

int LogKeeper::Checkpoints() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return checkpoints_;
}

double LogKeeper::LongestRestartMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return longestRestartMs_;
}

void LogKeeper::Run() {
  // Below the thread that types: on a busy machine the copy waits, not the keys.
  setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return asked_ || stop_; });
      if (stop_) break;
      asked_ = false;
      busy_ = true;
    }
    Keep();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      busy_ = false;
    }
    done_.notify_all();
  }
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
    asked_ = false;
  }
  done_.notify_all();
}

void LogKeeper::Keep() {
  if (!db_) {
    // This thread's alone; never creates the file.
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
      sqlite3_close_v2(db_);
      db_ = nullptr;
      return;
    }
    sqlite3_busy_timeout(db_, 0);
    // Its own commit flushes no more than the editor's would; a log grown
    // long in a burst of typing is cut back when it starts over.
    sqlite3_exec(db_, "PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=4194304", nullptr, nullptr, nullptr);
    sqlite3_wal_autocheckpoint(db_, 0);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool forced = forced_;
    forced_ = false;
    if (!forced && logPages_.load(std::memory_order_relaxed) < kWorthCopying) return;
    ++checkpoints_;
  }
  int pages = 0, copied = 0;
  if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, &pages, &copied) != SQLITE_OK) return;
  if (pages <= 0 || copied != pages) return;  // an editor's write came in between: later
  // All copied: the next commit starts the log over and flushes its header.
  // This thread makes that commit (a page written unchanged), unless an
  // editor holds the write lock right now (it then does it itself).
  const auto t0 = std::chrono::steady_clock::now();
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return;
  restarting_ = true;
  int version = 0;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
    version = sqlite3_column_int(s, 0);
  sqlite3_finalize(s);
  const std::string same = "PRAGMA user_version=" + std::to_string(version);
  if (sqlite3_exec(db_, same.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  restarting_ = false;
  ++restarts_;
  logPages_.store(0, std::memory_order_relaxed);
  std::lock_guard<std::mutex> lock(mutex_);
  longestRestartMs_ = std::max(longestRestartMs_, ms);
}

}  // namespace wendul::mtimpl
