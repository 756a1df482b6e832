// The word table of 1,000,000 words written as a Mozc user dictionary: every
// word read by MeCab with its IPA dictionary, sorted by reading and written.
// The target is under a minute. The words are random katakana and kanji
// words of 2 to 6 characters (kanji words the analyser reads part by part,
// some not whole).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "bench_support.h"
#include "store/mt.h"
#include "wordbook/mozcdict.h"
#include "wordbook/wordreading.h"

namespace {

constexpr int kWords = 1000000;

void BM_MozcExport(benchmark::State& state) {
  static const std::string folder = wendul::bench::BenchFolder("mozcdict-bench");
  static const bool built = (wendul::bench::BuildWordTable(folder, kWords), true);
  (void)built;
  wendul::MT t("tbMuKwd");
  wendul::bench::DeclareWordTable(t, folder);
  t.SetIndexName("IDX_UPDATEDATE");
  t.Open();
  wendul::MozcExportCounts counts;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    wendul::TWordReading reading;  // opening the analyser is part of the work
    // With a progress callback, as the program runs it.
    counts = wendul::MozcDictExport(t, folder + "mozc.txt", {}, reading, [](int64_t, int64_t) { return true; });
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  state.counters["written"] = static_cast<double>(counts.written);
  state.counters["unreadable"] = static_cast<double>(counts.unreadable);
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(folder + "mozc.txt")) / 1e6;
}
BENCHMARK(BM_MozcExport)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
