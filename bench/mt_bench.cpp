// The table component on a word table of 1,000,000 words: the operations the
// learning path and the word panes run on every keystroke.
//
// The table is built once per run in a temporary folder (created through MT,
// filled by one bulk transaction) and removed at exit.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_support.h"
#include "store/mt.h"

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

}  // namespace

BENCHMARK_MAIN();
