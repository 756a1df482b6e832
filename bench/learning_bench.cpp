// Learning while typing, 100,000 keystrokes into a word table of 1,000,000
// words, as the main window runs them: the store's share of each keystroke
// (bench::LearningKeystroke) timed on its own, from the first keystroke after
// the tables are opened (its caches cold, the file read from disk), with a
// pause in typing every 500 keystrokes, when the main window's idle timer
// runs what it runs at idle (its time on the typing thread is what a key
// pressed then waits), and typing resumes 0 to 400 ms later. Twice: with the
// engine's own checkpoints (inside commits, and the idle timer's on the
// typing thread), and with background checkpoints (MT::SetBackgroundCheckpoints,
// as the program runs), where a key pressed while the background thread
// holds the write lock to start the log over waits for it.
//
// Every file access of the engine goes through a counting layer, so each slow
// keystroke is told apart: disk flushes (fsync) and their time, pages read,
// the log (WAL) growing or starting over. The slowest keystrokes are listed
// with what they did.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "store/mt.h"
#include "store/mt_logkeeper.h"
#include "store/muwgy.h"
#include "store/sepkeyword.h"

namespace wendul {
namespace {

// --- a counting file layer over the platform's -------------------------------

struct IoCounts {
  int syncs = 0;
  double syncMs = 0;
  int reads = 0;
  int logWrites = 0;       // writes into the log
  int logRestarts = 0;     // writes of the log's header: the log started over
  int dbWrites = 0;        // writes into the table file: a checkpoint copying
};
thread_local IoCounts t_io;

sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_counting;

struct CountingFile {
  sqlite3_file base;
  bool log;
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

CountingFile* Cf(sqlite3_file* f) { return reinterpret_cast<CountingFile*>(f); }
double Ms(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

int Close(sqlite3_file* f) { return Cf(f)->real()->pMethods->xClose(Cf(f)->real()); }
int Read(sqlite3_file* f, void* b, int n, sqlite3_int64 o) {
  ++t_io.reads;
  return Cf(f)->real()->pMethods->xRead(Cf(f)->real(), b, n, o);
}
int Write(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
  if (Cf(f)->log) {
    ++t_io.logWrites;
    if (o == 0) ++t_io.logRestarts;
  } else {
    ++t_io.dbWrites;
  }
  return Cf(f)->real()->pMethods->xWrite(Cf(f)->real(), b, n, o);
}
int Truncate(sqlite3_file* f, sqlite3_int64 n) { return Cf(f)->real()->pMethods->xTruncate(Cf(f)->real(), n); }
int Sync(sqlite3_file* f, int flags) {
  const auto t0 = std::chrono::steady_clock::now();
  const int rc = Cf(f)->real()->pMethods->xSync(Cf(f)->real(), flags);
  ++t_io.syncs;
  t_io.syncMs += Ms(t0);
  return rc;
}
int FileSize(sqlite3_file* f, sqlite3_int64* n) { return Cf(f)->real()->pMethods->xFileSize(Cf(f)->real(), n); }
int Lock(sqlite3_file* f, int l) { return Cf(f)->real()->pMethods->xLock(Cf(f)->real(), l); }
int Unlock(sqlite3_file* f, int l) { return Cf(f)->real()->pMethods->xUnlock(Cf(f)->real(), l); }
int Reserved(sqlite3_file* f, int* r) { return Cf(f)->real()->pMethods->xCheckReservedLock(Cf(f)->real(), r); }
int Control(sqlite3_file* f, int op, void* a) { return Cf(f)->real()->pMethods->xFileControl(Cf(f)->real(), op, a); }
int Sector(sqlite3_file* f) { return Cf(f)->real()->pMethods->xSectorSize(Cf(f)->real()); }
int Device(sqlite3_file* f) { return Cf(f)->real()->pMethods->xDeviceCharacteristics(Cf(f)->real()); }
int ShmMap(sqlite3_file* f, int i, int s, int e, void volatile** p) {
  return Cf(f)->real()->pMethods->xShmMap(Cf(f)->real(), i, s, e, p);
}
int ShmLock(sqlite3_file* f, int o, int n, int fl) { return Cf(f)->real()->pMethods->xShmLock(Cf(f)->real(), o, n, fl); }
void ShmBarrier(sqlite3_file* f) { Cf(f)->real()->pMethods->xShmBarrier(Cf(f)->real()); }
int ShmUnmap(sqlite3_file* f, int d) { return Cf(f)->real()->pMethods->xShmUnmap(Cf(f)->real(), d); }
int Fetch(sqlite3_file* f, sqlite3_int64 o, int n, void** p) {
  return Cf(f)->real()->pMethods->xFetch(Cf(f)->real(), o, n, p);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 o, void* p) { return Cf(f)->real()->pMethods->xUnfetch(Cf(f)->real(), o, p); }

const sqlite3_io_methods kMethods = {3,     Close,  Read,   Write,    Truncate,   Sync,     FileSize,
                                     Lock,  Unlock, Reserved, Control, Sector,    Device,   ShmMap,
                                     ShmLock, ShmBarrier, ShmUnmap, Fetch, Unfetch};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out) {
  CountingFile* cf = Cf(f);
  cf->base.pMethods = nullptr;
  cf->log = (flags & SQLITE_OPEN_WAL) != 0;
  const int rc = g_real->xOpen(g_real, name, cf->real(), flags, out);
  if (cf->real()->pMethods) cf->base.pMethods = &kMethods;
  return rc;
}

void InstallCountingFiles() {
  g_real = sqlite3_vfs_find(nullptr);
  g_counting = *g_real;
  g_counting.zName = "wendul-counting";
  g_counting.szOsFile = static_cast<int>(sizeof(CountingFile)) + g_real->szOsFile;
  g_counting.xOpen = Open;
  sqlite3_vfs_register(&g_counting, 1);
}

// The file's pages leave the system's cache: the first keystroke reads from disk.
void DropFromSystemCache(const std::string& path) {
  for (const char* suffix : {"", "-wal"}) {
    const int fd = ::open((path + suffix).c_str(), O_RDONLY);
    if (fd < 0) continue;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
}

double ThreadCpuMs() { return bench::ThreadCpuUs() / 1e3; }

struct Outlier {
  int key = 0;
  double ms = 0;
  double cpuMs = 0;  // of it, on this thread's own processor time
  IoCounts io;
  bool keeperRestarting = false;  // the background thread was starting the log over
};

void BM_LearningStalls(benchmark::State& state) {
  static bench::SilentUi ui;
  SetUiHooks(&ui);
  static const bool installed = (InstallCountingFiles(), true);
  (void)installed;
  const bool background = state.range(0) != 0;
  const std::string folder = bench::BenchFolder(background ? "learning-background" : "learning-engine");
  const std::vector<SjisString> sample = bench::BuildWordTable(folder, 1000000);
  SetWordPatternHandle(MuWGYInitStr(kWordPattern, kWordPatternLimit));
  DropFromSystemCache(folder + "KWD.DB");

  // As the data module opens them: the latest words and the similar words.
  MT latest("tbMuKwd"), similar("tbMuKwd2");
  bench::DeclareWordTable(latest, folder);
  bench::DeclareWordTable(similar, folder);
  latest.SetIndexName("IDX_UPDATEDATE");
  similar.SetIndexFieldNames("KEYWORD");
  similar.SetFiltered(true);
  latest.SetBackgroundCheckpoints(background);
  similar.SetBackgroundCheckpoints(background);
  if (!latest.Op() || !similar.Op()) std::abort();

  const SjisString typed = bench::TypedSentences(sample, 1 << 20, 7);
  bench::StringEditor ed;
  ed.text = "\r\n";
  ed.asciiPrefix = 2;
  ed.text.reserve(typed.size() * 2);

  std::vector<double> times, cpuTimes;
  std::vector<Outlier> slow;
  double idleMax = 0;
  IoCounts idleIo;
  size_t at = 0;
  int key = 0;
  std::mt19937 pauses(5);
  std::shared_ptr<mtimpl::LogKeeper> keeper;
  if (background) keeper = mtimpl::LogKeeper::For(latest.FilePath());  // the one the tables share
  for (auto _ : state) {
    if (at >= typed.size()) at = 0;
    ed.text.append(typed, at, 2);
    at += 2;
    t_io = {};
    const int restarts = keeper ? keeper->Restarts() : 0;
    const bool restarting = keeper && keeper->Restarting();
    const double cpu0 = ThreadCpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    bench::LearningKeystroke(latest, similar, ed);
    const double ms = Ms(t0);
    const double cpu = ThreadCpuMs() - cpu0;
    state.SetIterationTime(ms / 1e3);
    times.push_back(ms);
    cpuTimes.push_back(cpu);
    if (ms > 4) slow.push_back({key, ms, cpu, t_io, restarting || (keeper && keeper->Restarts() != restarts)});
    if (++key % 500 == 0) {  // the user pauses; the idle timer runs
      t_io = {};
      const auto i0 = std::chrono::steady_clock::now();
      if (background) latest.CheckpointSoon();
      else latest.CheckpointIfIdle();
      const double idle = Ms(i0);
      if (idle > idleMax) {
        idleMax = idle;
        idleIo = t_io;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(pauses() % 400));
    }
  }
  std::vector<double> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  auto q = [&](double f) { return sorted[static_cast<size_t>(f * static_cast<double>(sorted.size() - 1))]; };
  state.counters["first_ms"] = times.front();
  state.counters["p50_ms"] = q(0.5);
  state.counters["p99_ms"] = q(0.99);
  state.counters["p999_ms"] = q(0.999);
  state.counters["max_ms"] = sorted.back();
  auto over16 = [](const std::vector<double>& v) {
    return static_cast<double>(std::count_if(v.begin(), v.end(), [](double t) { return t > 16; }));
  };
  state.counters["over16ms"] = over16(times);
  state.counters["cpu_over16ms"] = over16(cpuTimes);
  state.counters["cpu_max_ms"] = *std::max_element(cpuTimes.begin(), cpuTimes.end());
  // Over 16 ms, but neither flushing nor reading the disk nor busy: another
  // process had the processor.
  state.counters["over16ms_preempted"] = static_cast<double>(std::count_if(slow.begin(), slow.end(), [](const Outlier& o) {
    return o.ms > 16 && o.io.syncs == 0 && o.cpuMs < 16 && !o.keeperRestarting;
  }));
  state.counters["over16ms_waited_for_keeper"] = static_cast<double>(
      std::count_if(slow.begin(), slow.end(), [](const Outlier& o) { return o.ms > 16 && o.keeperRestarting; }));
  state.counters["idle_max_ms"] = idleMax;
  std::sort(slow.begin(), slow.end(), [](const Outlier& a, const Outlier& b) { return a.ms > b.ms; });
  std::fprintf(stderr, "\nslowest keystrokes (of %zu over 4 ms):\n", slow.size());
  for (size_t k = 0; k < slow.size() && k < 12; ++k) {
    const Outlier& o = slow[k];
    std::fprintf(stderr,
                 "  key %6d: %7.2f ms (processor %.2f ms)  fsync %d (%.2f ms), pages read %d, log writes %d%s, "
                 "table-file writes %d%s\n",
                 o.key, o.ms, o.cpuMs, o.io.syncs, o.io.syncMs, o.io.reads, o.io.logWrites,
                 o.io.logRestarts ? " (log started over)" : "", o.io.dbWrites,
                 o.keeperRestarting ? ", while the background thread started the log over" : "");
  }
  std::fprintf(stderr, "idle work on the typing thread: longest %.2f ms (fsync %d, %.2f ms; table-file writes %d)\n",
               idleMax, idleIo.syncs, idleIo.syncMs, idleIo.dbWrites);
  if (keeper) {
    std::fprintf(stderr, "background: %d checkpoints; the write lock held at most %.2f ms to start the log over\n",
                 keeper->Checkpoints(), keeper->LongestRestartMs());
    state.counters["restart_lock_max_ms"] = keeper->LongestRestartMs();
  }
  std::fprintf(stderr, "log file at the end: %.1f MB\n",
               static_cast<double>(std::filesystem::exists(folder + "KWD.DB-wal") ? std::filesystem::file_size(folder + "KWD.DB-wal") : 0) / 1e6);
}

BENCHMARK(BM_LearningStalls)
    ->Name("LearningKeystroke/100000-keys/1M-words")
    ->ArgName("background")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(100000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace wendul

BENCHMARK_MAIN();
