// One typed character at the end of a document, from the input event to the
// main window's screen showing it (the learning, both word panes and the
// document painted and flushed; the window is shown), with a word table of
// 1,000,000 words. Documents: 100 KB and 10 MB of real Japanese text in
// short lines, and one line of 10,000 characters. A second table of
// 1,000,000 words gives every word typed a one- and a two-character prefix
// shared by a tenth of the table, so the similar-word pane's filter holds
// 100,000 words or more on each of its keys.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "app/startup.h"
#include "bench_support.h"
#include "paint_watch.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "qt_bench_main.h"
#include "settings/fmsetup.h"
#include "store/companion.h"
#include "store/mt.h"
#include "util/codec.h"

namespace wendul {
namespace {

struct Program {
  TD* d = nullptr;
  TfmSetup* setup = nullptr;
  TfmMain* main = nullptr;
  std::string wordTable;  // folder of the table built at start
  bench::PaintWatch watch;

  Program() {
    const std::string home = bench::BenchFolder("typing");
    setenv("WENDUL_HOME", home.c_str(), 1);
    bench::BuildWordTable(home + "TABLE/", 1000000);
    const char* argv[] = {"wendul"};
    MuAVParm(1, argv);
    PrepareGlobals();
    d = new TD;
    setup = new TfmSetup;
    fmSetup = setup;
    main = new TfmMain;
    main->show();
    // Let the start-up step run: it starts a new document.
    while (main->TimerStartUp->isActive()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    main->installEventFilter(&watch);
    wordTable = d->tbMuKwd.DatabaseName();
  }

  // Both word views on the table in folder.
  void UseWordTable(const std::string& folder) {
    if (d->tbMuKwd.DatabaseName() == folder) return;
    for (MT* t : {&d->tbMuKwd, &d->tbMuKwd2}) {
      t->Cl(false);
      t->SetDatabaseName(folder);
      if (!t->Op()) std::abort();
    }
  }
};

Program& TheProgram() {
  static Program p;
  return p;
}

// The words of kTyping begin with these: 東京タワー, スカイツリー, 行って,
// 写真, 撮影, 新しい, ファイル, 作成, 内容, 確認.
const char* const kTypedPrefixes[] = {"東京", "スカ", "行", "写真", "撮影", "新", "ファ", "作成", "内容", "確認"};

const std::string& SharedPrefixTable() {
  static const std::string folder = [] {
    const std::string f = bench::BenchFolder("typing-prefixes") + "TABLE/";
    std::vector<SjisString> prefixes;
    for (const char* p : kTypedPrefixes) prefixes.push_back(Utf8ToSjis(p));
    bench::BuildWordTable(f, 1000000, bench::TableWords::Japanese, prefixes);
    MT t;
    bench::DeclareWordTable(t, f);
    t.SetIndexFieldNames("KEYWORD");
    t.Open();
    const int64_t all = t.RecordCount();
    for (const char* p : {"東", "東京", "ス", "スカ", "新"}) {
      t.SetFilter("KEYWORD='" + Utf8ToSjis(p) + "*'");
      t.SetFiltered(true);
      std::fprintf(stderr, "shared-prefix table: %lld of %lld words begin with %s\n",
                   static_cast<long long>(t.RecordCount()), static_cast<long long>(all), p);
    }
    return f;
  }();
  return folder;
}

// What the user types: words and particles, a comma now and then, and a line
// break after each sentence, as in ordinary writing. The one-line document
// gets no line break: typing there always extends its 10,000 characters.
const QString kTyping = QString::fromUtf8("東京タワーとスカイツリーに行って写真を撮影した。\n新しいファイルを作成し、内容を確認します。\n");

void TypeAtEnd(benchmark::State& state, const SjisString& document, bool lineBreaks,
               const std::string& table = {}) {
  Program& p = TheProgram();
  p.UseWordTable(table.empty() ? p.wordTable : table);
  TmuRichEdit* doc = p.main->mmDoc;
  doc->SetText(document);
  doc->SetSelStart(doc->TextLength());
  for (int k = 0; k < 20; ++k) QApplication::processEvents();
  int i = 0;
  {
    bench::Latencies lat(state, /*reportMax=*/true);
    for (auto _ : state) {
      lat.Time([&] {
        QChar c = kTyping.at(i++ % kTyping.size());
        if (c == '\n' && !lineBreaks) c = QChar(0x3002);  // 。
        if (c == '\n') {
          QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
          QApplication::sendEvent(doc, &press);
        } else {
          QInputMethodEvent commit;
          commit.setCommitString(QString(c));
          QApplication::sendEvent(doc, &commit);
        }
        // Until the screen shows the key (the panes' refresh comes first).
        p.watch.painted = false;
        for (int spins = 0; !p.watch.painted && spins < 100000; ++spins) QApplication::processEvents();
      });
    }
  }
  state.counters["doc_bytes"] = static_cast<double>(doc->TextLength());
}

void BM_Type100KB(benchmark::State& state) { TypeAtEnd(state, bench::JapaneseCorpus(100 * 1024), true); }
void BM_Type10MB(benchmark::State& state) { TypeAtEnd(state, bench::JapaneseCorpus(10 * 1024 * 1024), true); }
void BM_TypeLongLine(benchmark::State& state) {
  // 10,000 characters without a line break.
  const std::u16string text = SjisToUtf16(bench::JapaneseCorpus(64 * 1024));
  std::u16string line;
  for (char16_t c : text) {
    if (c != u'\r' && c != u'\n') line += c;
    if (line.size() == 10000) break;
  }
  SjisString sjis;
  TryUtf16ToSjis(line, sjis);
  TypeAtEnd(state, sjis, false);
}

void BM_TypeSharedPrefixes(benchmark::State& state) {
  const std::string& table = SharedPrefixTable();
  TypeAtEnd(state, bench::JapaneseCorpus(100 * 1024), true, table);
}

const bool kRegistered = [] {
  for (auto* b : {benchmark::RegisterBenchmark("Typing/100KB", BM_Type100KB),
                  benchmark::RegisterBenchmark("Typing/10MB", BM_Type10MB),
                  benchmark::RegisterBenchmark("Typing/OneLine10000Chars", BM_TypeLongLine),
                  benchmark::RegisterBenchmark("Typing/100KBWordsSharingPrefixes", BM_TypeSharedPrefixes)})
    b->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);
  return true;
}();

}  // namespace
}  // namespace wendul

WENDUL_QT_BENCHMARK_MAIN();
