// The table component on a word table of 1,000,000 words: the operations the
// learning path and the word panes run on every keystroke.
//
// The table is built once per run in a temporary folder (created through MT,
// filled by one bulk transaction) and removed at exit.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "store/mt.h"
#include "store/mt_safe.h"

namespace {

using wendul::MT;
using wendul::SjisString;
using wendul::bench::Latencies;

constexpr int kWords = 1000000;

struct WordTable {
  std::string folder = wendul::bench::BenchFolder("mt-bench");
  std::vector<SjisString> sample = wendul::bench::BuildWordTable(folder, kWords);  // stored words

  // Opens t on the table, in keyword order or in the latest-first order.
  void Open(MT& t, bool byKeyword, bool filtered = false) const {
    wendul::bench::DeclareWordTable(t, folder);
    if (byKeyword) t.SetIndexFieldNames("KEYWORD");
    else t.SetIndexName("IDX_UPDATEDATE");
    if (filtered) t.SetFiltered(true);
    t.Open();
  }
};

WordTable& Table() {
  static WordTable table;
  return table;
}

// What learning a word does: key lookup, edit, new UPDATEDATE, post.
bool Relearn(MT& t, const SjisString& w, double date) {
  const bool found = t.FindKey(w);
  t.Edit();
  t.SD("UPDATEDATE", date);
  t.Post();
  return found;
}

// Re-learning, one commit per word, the first `cycle` sample words in turn.
// WAL checkpoints (every ~1000 written pages, with an fsync) make a few
// commits slow, hence the latency counters next to the mean.
void RelearnInTurn(benchmark::State& state, size_t cycle, double date) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wt.Open(t, true);
  size_t i = 0;
  Latencies lat(state);
  for (auto _ : state) {
    const SjisString& w = wt.sample[i++ % cycle];
    date += 0.00001;
    lat.Time([&] {
      if (!Relearn(t, w, date)) state.SkipWithError("word not found");
    });
  }
}

// Learning one word: key lookup, edit, new UPDATEDATE, post (one commit).
void BM_LookupEditPost(benchmark::State& state) { RelearnInTurn(state, Table().sample.size(), 50000.0); }
BENCHMARK(BM_LookupEditPost)->UseManualTime();

// The same on the words of the sentence being typed: every keystroke re-posts
// them, so their index entries sit together at the newest end.
void BM_RelearnSentenceWord(benchmark::State& state) { RelearnInTurn(state, 5, 60000.0); }
BENCHMARK(BM_RelearnSentenceWord)->UseManualTime();

// One keystroke's learning: the 20 words of the sentence being typed re-posted
// in one write batch (one commit), as SepKeyword stores them.
void BM_RelearnSentenceInBatch(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wt.Open(t, true);
  size_t i = 0;
  double date = 70000.0;
  Latencies lat(state);
  for (auto _ : state) {
    // The sentence moves on by one word every 8 keystrokes.
    const size_t first = i++ / 8;
    lat.Time([&] {
      wendul::MTBatch batch(t);
      for (size_t k = 0; k < 20; ++k) {
        date += 0.00001;
        Relearn(t, wt.sample[(first + k) % wt.sample.size()], date);
      }
      batch.End();
    });
  }
}
BENCHMARK(BM_RelearnSentenceInBatch)->UseManualTime();

// The similar-word pane: filter to a prefix and read the first word.
void BM_PrefixFilterFirst(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd2");
  wt.Open(t, true, true);
  const size_t prefixBytes = static_cast<size_t>(state.range(0));
  size_t i = 0;
  Latencies lat(state);
  for (auto _ : state) {
    const SjisString filter = "KEYWORD='" + wt.sample[i++ % wt.sample.size()].substr(0, prefixBytes) + "*'";
    lat.Time([&] {
      t.SetFilter(filter);
      benchmark::DoNotOptimize(t.GS("KEYWORD"));
    });
  }
}
BENCHMARK(BM_PrefixFilterFirst)->Arg(2)->Arg(4)->Arg(6)->UseManualTime();

// Switching the latest-first view between its two orders and going to the top.
void BM_SwitchIndexFirst(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wt.Open(t, false);
  bool byKeyword = false;
  Latencies lat(state);
  for (auto _ : state) {
    lat.Time([&] {
      if (byKeyword) t.SetIndexName("IDX_UPDATEDATE");
      else t.SetIndexFieldNames("KEYWORD");
      t.First();
      benchmark::DoNotOptimize(t.GetBookmark());
    });
    byKeyword = !byKeyword;
  }
}
BENCHMARK(BM_SwitchIndexFirst)->UseManualTime();

// Stepping through the latest-first order (a grid moving by one row).
void BM_NextInLatestOrder(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wt.Open(t, false);
  for (auto _ : state) {
    t.Next();
    if (t.Eof()) t.First();
  }
}
BENCHMARK(BM_NextInLatestOrder);

// A grid window of 30 rows around the current record.
void BM_RowsAround30(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wt.Open(t, false);
  t.SkipNext(500);
  int ci = 0;
  for (auto _ : state) benchmark::DoNotOptimize(t.RowsAround(15, 14, &ci));
}
BENCHMARK(BM_RowsAround30);

// The latest word that begins with a prefix (seek in the latest-word pane):
// filter, then the latest-first order, then the first record.
void BM_SeekInLatest(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wt.Open(t, false);
  const size_t prefixBytes = static_cast<size_t>(state.range(0));
  size_t i = 0;
  for (auto _ : state) {
    const SjisString& w = wt.sample[i++ % wt.sample.size()];
    t.SetIndexFieldNames("KEYWORD");
    t.SetFilter("KEYWORD='" + w.substr(0, prefixBytes) + "*'");
    t.SetFiltered(true);
    t.SetIndexName("IDX_UPDATEDATE");
    t.First();
    t.SetFiltered(false);
    t.SetFilter("");
  }
}
BENCHMARK(BM_SeekInLatest)->Arg(2)->Arg(4)->Arg(6);

// --- keeping the table safe --------------------------------------------------
// A backup before an import or a delete-all (the online backup of the whole
// file into BACKUP/, older ones pruned), a restore (a backup of the table
// first, then the chosen one written into the table's file), and re-index
// (F5: the old file checked, every record read, a new file with fresh
// indexes, the old file kept as a backup, the new one written into the
// table's file). Each phase's seconds are counters.

// Seconds spent in each phase of the work, from its progress calls.
class PhaseClock {
 public:
  wendul::TableProgress Callback() {
    return [this](wendul::TableWork work, int64_t, int64_t) {
      Switch(static_cast<int>(work));
      return true;
    };
  }
  void Report(benchmark::State& state) {
    Switch(-1);
    const char* names[] = {"copy_s", "check_s", "read_s", "index_s", "install_s"};
    for (int i = 0; i < 5; ++i)
      if (seconds_[i] > 0) state.counters[names[i]] = seconds_[i] / static_cast<double>(state.iterations());
  }

 private:
  void Switch(int work) {
    const auto now = std::chrono::steady_clock::now();
    if (current_ >= 0) seconds_[current_] += std::chrono::duration<double>(now - since_).count();
    current_ = work;
    since_ = now;
  }
  int current_ = -1;
  std::chrono::steady_clock::time_point since_;
  double seconds_[5] = {};
};

void BM_BackupTable(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wendul::bench::DeclareWordTable(t, wt.folder);
  for (auto _ : state) benchmark::DoNotOptimize(wendul::BackupTable(t, "bench"));
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(t.FilePath())) / 1e6;
}
BENCHMARK(BM_BackupTable)->Iterations(3)->Unit(benchmark::kMillisecond);

// The restore chooser's list: the words in each of the five backups.
void BM_ListBackups(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wendul::bench::DeclareWordTable(t, wt.folder);
  for (int i = static_cast<int>(wendul::ListBackups(t).size()); i < wendul::kBackupsKept; ++i)
    wendul::BackupTable(t, "bench");
  for (auto _ : state) benchmark::DoNotOptimize(wendul::ListBackups(t));
}
BENCHMARK(BM_ListBackups)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_RestoreTable(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wendul::bench::DeclareWordTable(t, wt.folder);
  const std::string backup = wendul::BackupTable(t, "bench");
  PhaseClock clock;
  for (auto _ : state) wendul::RestoreTable(t, backup, clock.Callback());
  clock.Report(state);
}
BENCHMARK(BM_RestoreTable)->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_RebuildSoundTable(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wendul::bench::DeclareWordTable(t, wt.folder);
  PhaseClock clock;
  for (auto _ : state) {
    const wendul::RebuildReport report = wendul::RebuildTable(t, clock.Callback());
    if (report.records != kWords) state.SkipWithError("records lost");
  }
  clock.Report(state);
}
BENCHMARK(BM_RebuildSoundTable)->Iterations(2)->Unit(benchmark::kMillisecond);

// Re-index while another Wendul learns: a word relearned while the records
// are read and another just before the table's file is locked, so both
// catch-ups run, the second while the file is locked (the other program's
// learning waits that long, plus the install). Compare read_s and install_s
// with BM_RebuildSoundTable.
void BM_RebuildWhileAnotherLearns(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wendul::bench::DeclareWordTable(t, wt.folder);
  MT other("other");
  wt.Open(other, true);
  PhaseClock clock;
  const wendul::TableProgress phases = clock.Callback();
  double date = 80000.0;
  size_t i = 0;
  for (auto _ : state) {
    int reads = 0, installs = 0;
    auto learn = [&] { Relearn(other, wt.sample[i++ % wt.sample.size()], date += 0.00001); };
    const wendul::RebuildReport report = wendul::RebuildTable(t, [&](wendul::TableWork work, int64_t done, int64_t total) {
      if (work == wendul::TableWork::Reading && ++reads == 1) learn();
      if (work == wendul::TableWork::Installing && ++installs == 1) learn();
      return phases(work, done, total);
    });
    if (report.carried != 2 || report.records != kWords) state.SkipWithError("not carried over");
  }
  clock.Report(state);
}
BENCHMARK(BM_RebuildWhileAnotherLearns)->Iterations(2)->Unit(benchmark::kMillisecond);

// A copy of the table with garbage over two pages in the middle of the file.
void BM_RebuildDamagedTable(benchmark::State& state) {
  WordTable& wt = Table();
  const std::string folder = wendul::bench::BenchFolder("mt-bench-damaged");
  MT t("tbMuKwd");
  wendul::bench::DeclareWordTable(t, folder);
  PhaseClock clock;
  int64_t saved = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::copy_file(wt.folder + "KWD.DB", t.FilePath(), std::filesystem::copy_options::overwrite_existing);
    const auto pages = std::filesystem::file_size(t.FilePath()) / 4096;
    {
      std::fstream f(t.FilePath(), std::ios::in | std::ios::out | std::ios::binary);
      for (const auto page : {pages / 3, pages / 2}) {
        f.seekp(static_cast<std::streamoff>(page * 4096));
        for (int i = 0; i < 4096; ++i) f.put(static_cast<char>(0xA5 ^ i));
      }
    }
    state.ResumeTiming();
    saved = wendul::RebuildTable(t, clock.Callback()).records;
  }
  clock.Report(state);
  state.counters["saved"] = static_cast<double>(saved);
}
BENCHMARK(BM_RebuildDamagedTable)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
