// Kills at random moments, on demand (tests/stress/run_kills.sh), never part
// of the tests. Each run forks a child that works on a word table and kills
// it with SIGKILL after a random delay; then the table must pass
// PRAGMA integrity_check and hold what it must:
//   learn   every keystroke whose learning had returned (the child reports
//           each on a pipe) is in the table;
//   import  a word-book import replacing the whole table is all or nothing:
//           the table holds exactly the old words or exactly the file's.
//   dayfile a day file saved again and again (as log mode saves the day)
//           is always exactly one of the texts saved, never a mix or empty.
//   docsave a document written and saved again and again as the editor
//           saves it (lines written back through the document writer, then
//           the atomic save) is always the old bytes or the new ones.
//   kill_stress learn|import|dayfile|docsave [runs] [seed]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "store/mt.h"
#include "store/mt_bulk.h"
#include "store/muwgy.h"
#include "store/sepkeyword.h"
#include "util/datetime.h"
#include "util/daylog.h"
#include "util/docfile.h"
#include "util/doctext.h"
#include "wordbook/tabletext.h"

using namespace wendul;
namespace fs = std::filesystem;

namespace {

void Declare(MT& t, const std::string& folder) {
  t.SetDatabaseName(folder);
  t.SetTableName("KWD.DB");
  for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P", "UPDATEDATE,i"})
    t.AddFieldDef(decl);
}

std::set<std::string> Words(const std::string& folder) {
  MT t;
  Declare(t, folder);
  if (!t.Op()) {
    std::fprintf(stderr, "cannot open the table after the kill\n");
    std::exit(3);
  }
  std::set<std::string> out;
  for (t.First(); !t.Eof(); t.Next()) out.insert(t.GS("KEYWORD"));
  return out;
}

std::string LearnWord(int i) { return "w" + std::to_string(i) + "x"; }

// Learns until killed; after each keystroke's learning has returned, writes
// its number to the pipe.
[[noreturn]] void Learner(const std::string& folder, int out) {
  SetErrorLogBase(folder + "../");
  MT t("tbMuKwd");
  Declare(t, folder);
  t.SetIndexName("IDX_UPDATEDATE");
  if (!t.Op()) _exit(2);
  SetWordPatternHandle(MuWGYInitStr(kWordPattern, kWordPatternLimit));
  for (int i = 0;; ++i) {
    SepKeywordFailures failures;
    // Two new words and one known one per keystroke, as typing a sentence does.
    SepKeyword(t, LearnWord(2 * i) + "\x82\xcc" + LearnWord(2 * i + 1) + "\x82\xcc" + LearnWord(i / 2) + "\x82\xcc",
               false, false, &failures);
    if (failures.Any()) _exit(4);
    if (write(out, &i, sizeof i) != sizeof i) _exit(5);
  }
}

[[noreturn]] void Importer(const std::string& folder, const std::string& file) {
  SetErrorLogBase(folder + "../");
  TmuText in;
  in.DatabaseName = folder;
  in.IsSkipTableCheck = true;
  in.TextImport(file, "KWD.DB", true, false);
  _exit(0);
}

// Saves the day's text over and over, alternating two texts of one size.
[[noreturn]] void DaySaver(const std::string& path, const std::string& a, const std::string& b) {
  for (int i = 0;; ++i)
    if (SaveDayLog(path, i % 2 ? b : a) != DaySave::Written) _exit(4);
}

// The document's bytes as the editor writes them: unedited lines as read,
// the line `edited` (if any) replaced by `text`.
std::string DocBytes(const DocText& doc, size_t edited, const std::u16string& text) {
  DocWriter w(doc.lineEnd);
  w.Reserve(doc.text.size() * 2);
  size_t line = 0, start = 0, k = 0;
  for (size_t i = 0; i <= doc.text.size(); ++i) {
    if (i < doc.text.size() && doc.text[i] != u'\n') continue;
    const LineOrigin* origin = nullptr;
    if (k < doc.origins.size() && doc.origins[k].first == line) origin = &doc.origins[k++].second;
    const bool last = i == doc.text.size();
    if (line == edited)
      w.Line(text, nullptr, last);
    else
      w.Line(std::u16string_view(doc.text).substr(start, i - start), origin, last);
    ++line;
    start = i + 1;
  }
  return w.Bytes();
}

// Saves the document over and over, alternating as read and with one line edited.
[[noreturn]] void DocSaver(const std::string& path, const DocText& doc, size_t edited,
                           const std::u16string& text) {
  for (int i = 0;; ++i)
    if (!SaveDocFile(path, DocBytes(doc, i % 2 ? edited : SIZE_MAX, text))) _exit(4);
}

struct Figures {
  int runs = 0, killedWorking = 0, finishedFirst = 0, sound = 0, asOld = 0, asNew = 0, lost = 0;
};

// Writes `old` to path, forks `save` (which writes `fresh` over it again and
// again), kills it at a random moment and sorts what the file then holds.
// Returns the temporary files killed saves left in folder; *stale counts
// those the next save did not remove.
template <class Saver>
int KillSaves(const std::string& folder, const std::string& path, const std::string& old,
              const std::string& fresh, int runs, std::mt19937& rng, Figures& f, int& empty, int* stale, Saver save) {
  std::uniform_int_distribution<int> delay(1, 80);
  int leftovers = 0;
  auto others = [&] {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder)) n += e.path() != fs::path(path);
    return n;
  };
  *stale = 0;
  for (int run = 0; run < runs; ++run) {
    if (!WriteFileAtomic(path, old)) std::exit(2);
    *stale += others();
    const pid_t kid = fork();
    if (kid == 0) save();
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(rng)));
    kill(kid, SIGKILL);
    int status = 0;
    waitpid(kid, &status, 0);
    ++f.runs;
    if (WIFSIGNALED(status)) ++f.killedWorking;
    else ++f.finishedFirst;
    SjisString now;
    if (!ReadWholeFile(path, &now)) now.clear();
    if (now == old) ++f.asOld;
    else if (now == fresh) ++f.asNew;
    else if (now.empty()) ++empty;
    else {
      ++f.lost;
      std::printf("run %d: the file is neither the old nor the new bytes (%zu bytes)\n", run, now.size());
    }
    leftovers += others();
  }
  return leftovers;
}

std::string IntegrityOf(const std::string& folder) {
  MT t;
  Declare(t, folder);
  const auto problems = TableIntegrityProblems(t);
  return problems.empty() ? "ok" : problems.front();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "learn";
  const int runs = argc > 2 ? std::atoi(argv[2]) : 50;
  std::mt19937 rng(argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 14u);
  const fs::path root = fs::temp_directory_path() / ("wendul-kills-" + std::to_string(getpid()));
  const std::string folder = (root / "TABLE").string() + "/";
  fs::create_directories(folder);
  Figures f;

  if (mode == "learn") {
    { MT t; Declare(t, folder); if (!t.Op()) return 2; }
    std::uniform_int_distribution<int> delay(1, 150);
    int reported = -1;  // keystrokes known to be learned, over all runs (words are cumulative)
    std::set<std::string> mustHave;
    int base = 0;
    for (int run = 0; run < runs; ++run) {
      int fds[2];
      if (pipe(fds) != 0) return 2;
      const pid_t kid = fork();
      if (kid == 0) {
        close(fds[0]);
        Learner(folder, fds[1]);
      }
      close(fds[1]);
      std::this_thread::sleep_for(std::chrono::milliseconds(delay(rng)));
      kill(kid, SIGKILL);
      int status = 0;
      waitpid(kid, &status, 0);
      ++f.runs;
      if (WIFSIGNALED(status)) ++f.killedWorking;
      else ++f.finishedFirst;  // a failure: the learner stops only when killed
      int i, last = -1;
      while (read(fds[0], &i, sizeof i) == sizeof i) last = i;
      close(fds[0]);
      const std::string integrity = IntegrityOf(folder);
      if (integrity == "ok") ++f.sound;
      else std::printf("run %d: integrity: %s\n", run, integrity.c_str());
      // Every child starts again from keystroke 0, so its words are the same
      // names; what the runs learned together is the widest run.
      if (last > reported) reported = last;
      for (int k = base; k <= reported; ++k) {
        mustHave.insert(LearnWord(2 * k));
        mustHave.insert(LearnWord(2 * k + 1));
      }
      base = reported + 1;
      const auto words = Words(folder);
      int missing = 0;
      for (const auto& w : mustHave) missing += !words.count(w);
      if (missing) {
        ++f.lost;
        std::printf("run %d: %d learned words missing\n", run, missing);
      }
    }
    std::printf("learn:  %d runs, %d killed while learning, %d stopped by themselves, "
                "%d sound (integrity_check ok), %d lost a learned word; %d keystrokes confirmed\n",
                f.runs, f.killedWorking, f.finishedFirst, f.sound, f.lost, reported + 1);
  } else if (mode == "import") {
    // The old table: 300 words; the file: 30000 other words.
    const std::string file = (root / "words.txt").string();
    {
      std::ofstream out(file, std::ios::binary);
      for (int i = 0; i < 30000; ++i)
        out << "\"new" << i << "\",\"2024/05/03 10:20:30\",\"2020/01/01\",\r\n";
    }
    std::set<std::string> oldWords, newWords;
    for (int i = 0; i < 30000; ++i) newWords.insert("new" + std::to_string(i));
    auto reset = [&] {
      fs::remove_all(folder);
      MT t;
      Declare(t, folder);
      if (!t.Op()) std::exit(2);
      for (int i = 0; i < 300; ++i) {
        t.Append();
        t.SS("KEYWORD", "old" + std::to_string(i));
        t.SD("UPDATEDATE", 40000 + i);
        t.SD("APPENDDATE", 40000);
        t.Post();
        oldWords.insert("old" + std::to_string(i));
      }
    };
    // How long an import takes here, to kill across all of it.
    reset();
    const auto t0 = std::chrono::steady_clock::now();
    {
      const pid_t kid = fork();
      if (kid == 0) Importer(folder, file);
      int status = 0;
      waitpid(kid, &status, 0);
    }
    const int took = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
    std::uniform_int_distribution<int> delay(0, took + took / 5);
    for (int run = 0; run < runs; ++run) {
      reset();
      const pid_t kid = fork();
      if (kid == 0) Importer(folder, file);
      std::this_thread::sleep_for(std::chrono::milliseconds(delay(rng)));
      kill(kid, SIGKILL);
      int status = 0;
      waitpid(kid, &status, 0);
      ++f.runs;
      if (WIFSIGNALED(status)) ++f.killedWorking;
      else ++f.finishedFirst;
      const std::string integrity = IntegrityOf(folder);
      if (integrity == "ok") ++f.sound;
      else std::printf("run %d: integrity: %s\n", run, integrity.c_str());
      const auto words = Words(folder);
      if (words == oldWords) ++f.asOld;
      else if (words == newWords) ++f.asNew;
      else {
        ++f.lost;
        std::printf("run %d: neither old nor new: %zu words\n", run, words.size());
      }
    }
    std::printf("import: %d runs (an import takes %d ms), %d killed while importing, %d finished first, "
                "%d sound (integrity_check ok); afterwards %d old table, %d new table, %d mixed\n",
                f.runs, took, f.killedWorking, f.finishedFirst, f.sound, f.asOld, f.asNew, f.lost);
  } else if (mode == "dayfile") {
    // Two texts of a day, 400 KB each, so a save takes a while.
    std::string a, b;
    for (int i = 0; i < 20000; ++i) {
      a += "\x82\xa0 line " + std::to_string(100000 + i) + " old\r\n";
      b += "\x82\xa2 line " + std::to_string(100000 + i) + " new\r\n";
    }
    const std::string day = folder + "YDay03.TXT";
    int empty = 0, stale = 0;
    const int leftovers = KillSaves(folder, day, a, b, runs, rng, f, empty, &stale, [&] { DaySaver(day, a, b); });
    f.lost += empty + stale;
    std::printf("dayfile: %d runs, %d killed while saving, %d stopped by themselves; afterwards %d old text, "
                "%d new text, %d empty, %d mixed; %d temporary files left by killed saves, %d kept by the next save\n",
                f.runs, f.killedWorking, f.finishedFirst, f.asOld, f.asNew, empty, f.lost - empty - stale, leftovers,
                stale);
    f.sound = f.runs;
  } else if (mode == "docsave") {
    // A document of 400 KB with mixed line breaks and bytes that are not
    // Shift-JIS, so unedited lines go back as read and a save takes a while.
    std::string old;
    for (int i = 0; i < 20000; ++i)
      old += "\x93\x8c\x8b\x9e line " + std::to_string(100000 + i) + (i % 7 ? " ok\r\n" : " \xff\x81\n");
    const DocText doc = DecodeSjisDocument(old);
    const size_t edited = doc.lineCount / 2;
    const std::string fresh = DocBytes(doc, edited, u"\u65b0\u3057\u3044 line, edited");
    if (DocBytes(doc, SIZE_MAX, u"") != old || fresh == old) return 2;
    const std::string path = folder + "DOC.TXT";
    int empty = 0, stale = 0;
    const int leftovers = KillSaves(folder, path, old, fresh, runs, rng, f, empty, &stale,
                                    [&] { DocSaver(path, doc, edited, u"\u65b0\u3057\u3044 line, edited"); });
    f.lost += empty + stale;
    std::printf("docsave: %d runs, %d killed while saving, %d stopped by themselves; afterwards %d old bytes, "
                "%d new bytes, %d neither; %d temporary files left by killed saves, %d kept by the next save\n",
                f.runs, f.killedWorking, f.finishedFirst, f.asOld, f.asNew, f.lost - stale, leftovers, stale);
    f.sound = f.runs;
  } else {
    std::fprintf(stderr, "usage: kill_stress learn|import|dayfile|docsave [runs] [seed]\n");
    return 2;
  }
  fs::remove_all(root);
  return (f.sound == f.runs && f.lost == 0) ? 0 : 1;
}
