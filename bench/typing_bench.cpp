// One typed character at the end of a document, from the input event to both
// word panes updated (processing, not painting: the window stays hidden), with
// a word table of 1,000,000 words. Documents: 100 KB and 10 MB of real
// Japanese text, and one line of 10,000 characters.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <cstdlib>

#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "app/startup.h"
#include "bench_support.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "qt_bench_main.h"
#include "settings/fmsetup.h"
#include "store/companion.h"
#include "util/codec.h"

namespace wendul {
namespace {

struct Program {
  TD* d = nullptr;
  TfmSetup* setup = nullptr;
  TfmMain* main = nullptr;

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
    // Let the start-up step run: it starts a new document.
    while (main->TimerStartUp->isActive()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
};

Program& TheProgram() {
  static Program p;
  return p;
}

// What the user types: words and particles, a comma now and then, and a line
// break after each sentence, as in ordinary writing. The one-line document
// gets no line break: typing there always extends its 10,000 characters.
const QString kTyping = QString::fromUtf8("東京タワーとスカイツリーに行って写真を撮影した。\n新しいファイルを作成し、内容を確認します。\n");

void TypeAtEnd(benchmark::State& state, const SjisString& document, bool lineBreaks) {
  Program& p = TheProgram();
  TmuRichEdit* doc = p.main->mmDoc;
  doc->SetText(document);
  doc->SetSelStart(doc->TextLength());
  QApplication::processEvents();
  int i = 0;
  {
    bench::Latencies lat(state);
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
        QApplication::processEvents();  // the panes' deferred refresh
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

const bool kRegistered = [] {
  for (auto* b : {benchmark::RegisterBenchmark("Typing/100KB", BM_Type100KB),
                  benchmark::RegisterBenchmark("Typing/10MB", BM_Type10MB),
                  benchmark::RegisterBenchmark("Typing/OneLine10000Chars", BM_TypeLongLine)})
    b->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);
  return true;
}();

}  // namespace
}  // namespace wendul

WENDUL_QT_BENCHMARK_MAIN();
