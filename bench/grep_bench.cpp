// The global search of log mode over ten years of diary (3,650 day files of
// about 2 KB of real Japanese text), from the command to the last result row
// shown, against `LC_ALL=C grep -rlF` over the same files in the same run.
// The word stands in 365 days (a tenth) or in 2,500.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/datamodule.h"
#include "app/fmgrep.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "app/startup.h"
#include "bench_support.h"
#include "controls/mudbgrid.h"
#include "qt_bench_main.h"
#include "settings/fmsetup.h"
#include "store/companion.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/daylog.h"
#include "util/inifile.h"
#include "util/sjisfind.h"
#include "windows/fmworddate.h"

extern char** environ;

namespace wendul {
namespace {

constexpr int kDays = 3650;
const TDateTime kFirstDay = EncodeDate(2001, 1, 1);
TDateTime Today() { return kFirstDay + kDays; }  // the walk starts the day after the last file
TDateTime FakeNow() { return Today() + 0.5; }

const SjisString& Word() {
  static const SjisString w = Utf8ToSjis("蒼穹日誌");
  return w;
}

// Ten years of day files below folder; the word in the days `hit` chooses.
template <typename Hit>
void WriteDiary(const std::string& folder, Hit hit) {
  const SjisString corpus = bench::JapaneseCorpus(0, bench::CorpusLines::JapaneseOnly);
  const SjisFinder word(Word());
  if (word.Find(corpus) != SjisFinder::npos) std::abort();  // the word must be ours alone
  size_t at = 0;
  for (int i = 0; i < kDays; ++i) {
    const TDateTime day = kFirstDay + i;
    // About 2 KB of whole lines, each day from another place in the text.
    at = (at + 7919 * 13) % (corpus.size() - 4000);
    size_t from = corpus.find("\r\n", at) + 2;
    size_t mid = corpus.find("\r\n", from + 900) + 2;
    size_t to = corpus.find("\r\n", from + 1900) + 2;
    SjisString text = DayLogHeader(day, 1) + corpus.substr(from, mid - from);
    if (hit(i)) text += Utf8ToSjis("今日の") + Word() + Utf8ToSjis("を読んだ。\r\n");
    text += corpus.substr(mid, to - mid);
    const std::string path = folder + DayLogRelPath(day);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
}

struct Program {
  TD* d = nullptr;
  TfmSetup* setup = nullptr;
  TfmMain* main = nullptr;
  TfmGrep* grep = nullptr;
  std::string tenth, most;  // log folders: the word in 365 and in 2,500 days

  Program() {
    const std::string home = bench::BenchFolder("grep");
    setenv("WENDUL_HOME", home.c_str(), 1);
    tenth = home + "log365/";
    most = home + "log2500/";
    WriteDiary(tenth, [](int i) { return i % 10 == 3; });
    WriteDiary(most, [](int i) { return i % 73 < 50; });
    IniFile ini(home + "WENDUL.INI");
    ini.WriteString("system", "admin", "1");
    ini.WriteString("Path", "MulogText", tenth);
    ini.WriteString("Path", "KWD", home);
    SetDiaryClock(&FakeNow);
    const char* argv[] = {"wendul", "-D"};
    MuAVParm(2, argv);
    PrepareGlobals();
    d = new TD;
    setup = new TfmSetup;
    fmSetup = setup;
    main = new TfmMain;
    main->show();
    grep = new TfmGrep;
    fmGrep = grep;
    while (!main->DayLoaded()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
};

Program& TheProgram() {
  static Program p;
  return p;
}

// Runs LC_ALL=C grep -rlF word folder; the number of files it lists.
int RunGrep(const std::string& folder) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("LC_ALL=", 0) != 0) env.emplace_back(*e);
  env.emplace_back("LC_ALL=C");
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string word = Word(), dir = folder;
  char grep[] = "grep", flags[] = "-rlF";
  char* argv[] = {grep, flags, word.data(), dir.data(), nullptr};
  int out[2];
  if (pipe(out) != 0) std::abort();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid;
  if (posix_spawnp(&pid, "grep", &actions, nullptr, argv, envp.data()) != 0) std::abort();
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  int lines = 0;
  char buf[65536];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
    for (ssize_t i = 0; i < n; ++i) lines += buf[i] == '\n';
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return lines;
}

void BM_GlobalSearch(benchmark::State& state) {
  Program& p = TheProgram();
  const bool most = state.range(0) == 2500;
  G().mulogTextFolder = most ? p.most : p.tenth;
  p.main->SetSearchWord(Word());
  p.main->CnGrep();  // once unmeasured, as grep's first run below
  int rows = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    p.main->CnGrep();
    QApplication::processEvents();  // the grid paints its rows
    const auto t1 = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    rows = static_cast<int>(p.d->tbGrep.RecordCount());
    if (p.grep->mgMuKwd->ShownRowCount() == 0) state.SkipWithError("no row shown");
  }
  state.counters["rows"] = rows;
  if (rows != state.range(0)) state.SkipWithError("wrong number of rows");
}

void BM_GrepRlF(benchmark::State& state) {
  Program& p = TheProgram();
  const std::string folder = state.range(0) == 2500 ? p.most : p.tenth;
  int files = RunGrep(folder);  // once unmeasured: the files come from the cache for both sides
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    files = RunGrep(folder);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  state.counters["files"] = files;
}

BENCHMARK(BM_GrepRlF)->Arg(365)->Arg(2500)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlobalSearch)->Arg(365)->Arg(2500)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wendul

WENDUL_QT_BENCHMARK_MAIN();
