// The table component on a word table of 1,000,000 words: the operations the
// learning path and the word panes run on every keystroke.
//
// The table is built once per run in a temporary folder (created through MT,
// filled by one bulk transaction) and removed at exit.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "store/mt.h"
#include "store/mt_internal.h"

namespace {

using wendul::MT;
using wendul::SjisString;

constexpr int kWords = 1000000;

// A katakana word of 2 to 8 characters (Shift-JIS 0x8340..0x8396, no 0x837F).
SjisString RandomWord(std::mt19937& rng) {
  std::uniform_int_distribution<int> len(2, 8), ch(0x40, 0x96);
  SjisString w;
  for (int n = len(rng); n > 0; --n) {
    int c = ch(rng);
    if (c == 0x7F) c = 0x80;
    w += '\x83';
    w += static_cast<char>(c);
  }
  return w;
}

struct WordTable {
  std::filesystem::path folder;
  std::vector<SjisString> sample;  // stored words, in random order

  WordTable() {
    folder = std::filesystem::temp_directory_path() / ("wendul-mt-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
      MT t;
      Setup(t);
      t.Open();  // creates the file from the declarations
    }
    sqlite3* db = nullptr;
    sqlite3_open((folder / "KWD.DB").c_str(), &db);
    sqlite3_exec(db, "PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    const std::string sql = std::string("INSERT OR IGNORE INTO ") + wendul::mtimpl::kDataTable +
                            "(KEYWORD, UPDATEDATE, APPENDDATE) VALUES(?, ?, ?)";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &ins, nullptr);
    std::mt19937 rng(12345);
    int stored = 0;
    double date = 40000.0;
    while (stored < kWords) {
      const SjisString w = RandomWord(rng);
      sqlite3_bind_blob(ins, 1, w.data(), static_cast<int>(w.size()), SQLITE_TRANSIENT);
      date += 0.0001;
      sqlite3_bind_double(ins, 2, date);
      sqlite3_bind_double(ins, 3, date);
      sqlite3_step(ins);
      sqlite3_reset(ins);
      if (sqlite3_changes(db) == 1) {
        ++stored;
        if (stored % 997 == 0) sample.push_back(w);
      }
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "COMMIT; ANALYZE", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  ~WordTable() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  void Setup(MT& t) const {
    t.SetDatabaseName(folder.string());
    t.SetTableName("KWD.DB");
    for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P", "UPDATEDATE,i"})
      t.AddFieldDef(decl);
  }
};

WordTable& Table() {
  static WordTable table;
  return table;
}

// Times each operation on its own: the mean hides that WAL checkpoints (every
// ~1000 written pages, with an fsync) make a few commits slow, so the median
// and tail are reported as counters (microseconds).
class Latencies {
 public:
  explicit Latencies(benchmark::State& state) : state_(state) {}
  ~Latencies() {
    if (times_.empty()) return;
    std::sort(times_.begin(), times_.end());
    auto at = [&](double q) { return times_[static_cast<size_t>(q * (times_.size() - 1))]; };
    state_.counters["p50_us"] = at(0.5);
    state_.counters["p90_us"] = at(0.9);
    state_.counters["p99_us"] = at(0.99);
  }
  template <typename F>
  void Time(F&& op) {
    const auto t0 = std::chrono::steady_clock::now();
    op();
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    state_.SetIterationTime(us / 1e6);
    times_.push_back(us);
  }

 private:
  benchmark::State& state_;
  std::vector<double> times_;
};

// Learning one word: key lookup, edit, new UPDATEDATE, post (one commit).
void BM_LookupEditPost(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wt.Setup(t);
  t.SetIndexFieldNames("KEYWORD");
  t.Open();
  size_t i = 0;
  double date = 50000.0;
  Latencies lat(state);
  for (auto _ : state) {
    const SjisString& w = wt.sample[i++ % wt.sample.size()];
    date += 0.00001;
    lat.Time([&] {
      if (!t.FindKey(w)) state.SkipWithError("word not found");
      t.Edit();
      t.SD("UPDATEDATE", date);
      t.Post();
    });
  }
}
BENCHMARK(BM_LookupEditPost)->UseManualTime();

// The same on the words of the sentence being typed: every keystroke re-posts
// them, so their index entries sit together at the newest end.
void BM_RelearnSentenceWord(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wt.Setup(t);
  t.SetIndexFieldNames("KEYWORD");
  t.Open();
  size_t i = 0;
  double date = 60000.0;
  Latencies lat(state);
  for (auto _ : state) {
    const SjisString& w = wt.sample[i++ % 5];
    date += 0.00001;
    lat.Time([&] {
      t.FindKey(w);
      t.Edit();
      t.SD("UPDATEDATE", date);
      t.Post();
    });
  }
}
BENCHMARK(BM_RelearnSentenceWord)->UseManualTime();

// One keystroke's learning: the 20 words of the sentence being typed re-posted
// in one write batch (one commit), as SepKeyword stores them.
void BM_RelearnSentenceInBatch(benchmark::State& state) {
  WordTable& wt = Table();
  MT t("tbMuKwd");
  wt.Setup(t);
  t.SetIndexFieldNames("KEYWORD");
  t.Open();
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
        t.FindKey(wt.sample[(first + k) % wt.sample.size()]);
        t.Edit();
        t.SD("UPDATEDATE", date);
        t.Post();
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
  wt.Setup(t);
  t.SetIndexFieldNames("KEYWORD");
  t.SetFiltered(true);
  t.Open();
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
  wt.Setup(t);
  t.SetIndexName("IDX_UPDATEDATE");
  t.Open();
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
  wt.Setup(t);
  t.SetIndexName("IDX_UPDATEDATE");
  t.Open();
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
  wt.Setup(t);
  t.SetIndexName("IDX_UPDATEDATE");
  t.Open();
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
  wt.Setup(t);
  t.SetIndexName("IDX_UPDATEDATE");
  t.Open();
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

}  // namespace

BENCHMARK_MAIN();
