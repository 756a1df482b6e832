// A word table that cannot be written never costs a keystroke: the user is
// told once, learning pauses and resumes by itself; and the user's own pause.
#include <sqlite3.h>
#include <sys/mount.h>

#include <QAction>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <fstream>

#include "app_fixture.h"
#include "controls/qsjis.h"
#include "store/mt.h"
#include "store/mt_bulk.h"
#include "support/damage.h"
#include "util/codec.h"
#include "wordbook/fmkdb.h"

namespace wendul::test {
namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Another program holding the table's write lock: the sqlite3 shell inside
// BEGIN EXCLUSIVE, as a user would hold it.
class ShellLock {
 public:
  explicit ShellLock(const std::string& path) {
    shell_.start(QStandardPaths::findExecutable("sqlite3"), {QString::fromStdString(path)});
    shell_.waitForStarted();
    shell_.write("BEGIN EXCLUSIVE;\nSELECT 'held';\n");
    while (!shell_.readAllStandardOutput().contains("held") && shell_.waitForReadyRead(5000)) {
    }
  }
  ~ShellLock() { Release(); }
  void Release() {
    if (shell_.state() == QProcess::NotRunning) return;
    shell_.write("ROLLBACK;\n.quit\n");
    shell_.closeWriteChannel();
    shell_.waitForFinished(5000);
  }

 private:
  QProcess shell_;
};

// The waits the engine asks for while one lives, summed in microseconds: how
// long a step was willing to block for a lock (its busy handler sleeps through
// the default file-system layer, wrapped here).
class EngineWaits {
 public:
  EngineWaits() {
    static sqlite3_vfs wrapped;
    base_ = sqlite3_vfs_find(nullptr);
    wrapped = *base_;
    wrapped.zName = "wendul-test-waits";
    wrapped.xSleep = [](sqlite3_vfs*, int us) {
      total_ += us;
      return base_->xSleep(base_, us);
    };
    total_ = 0;
    sqlite3_vfs_register(&wrapped, 1);
  }
  ~EngineWaits() { sqlite3_vfs_register(base_, 1); }
  static int64_t Total() { return total_; }

 private:
  static inline sqlite3_vfs* base_ = nullptr;
  static inline int64_t total_ = 0;
};

}  // namespace

class LearnPauseTest : public AppFixture {
 protected:
  std::string Log() { return Slurp(ErrorLogPath()); }
  std::vector<QMessageBox*> Notices() {
    std::vector<QMessageBox*> out;
    for (QMessageBox* box : main->findChildren<QMessageBox*>("LearningNotice"))
      if (box->isVisible()) out.push_back(box);
    return out;
  }
  TfmKDB* WordBook() {
    main->findChild<QAction*>("miOpenKWD")->trigger();
    Settle();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* kdb = qobject_cast<TfmKDB*>(w); kdb && kdb->isVisible()) return kdb;
    return nullptr;
  }
  bool CaptionSaysPaused() { return main->windowTitle().contains(QString::fromUtf8("［単語の学習を一時停止中］")); }
  // Rows the latest-word pane shows, top first.
  std::vector<std::string> ShownLatest() {
    Settle();
    std::vector<std::string> out;
    for (int r = 0; r < main->mgWordDate->ShownRowCount(); ++r)
      out.push_back(main->mgWordDate->CellText(r, 0).toStdString());
    return out;
  }
};

TEST_F(LearnPauseTest, ALockHeldElsewhereCostsNoKeystrokeAndLearningResumesWhenItIsFree) {
  if (QStandardPaths::findExecutable("sqlite3").isEmpty()) GTEST_SKIP() << "no sqlite3 shell";
  Start();
  StoreWord("大阪", 100);
  ShellLock lock(d->tbMuKwd.FilePath());

  // 50 characters; the first finished word meets the lock.
  const char* typed = "東京タワーに行った。大阪城を見た。名古屋駅で降りた。Wendul test 12345 カタカナです";
  ASSERT_EQ(QString::fromUtf8(typed).size(), 50);
  TypeUtf8(typed);
  EXPECT_EQ(main->mmDoc->Text(), Sj(typed));
  EXPECT_TRUE(main->mmDoc->hasFocus());

  // Told once, in Japanese, in a box that leaves the keyboard to the document.
  ASSERT_EQ(Notices().size(), 1u);
  QMessageBox* box = Notices()[0];
  EXPECT_EQ(box->windowTitle(), "Wendul");
  EXPECT_FALSE(box->isModal());
  EXPECT_TRUE(box->text().contains(QString::fromUtf8("単語の学習を一時停止しました")));
  EXPECT_TRUE(box->text().contains(QString::fromUtf8("ロック中")));
  EXPECT_TRUE(ui->messages.empty());
  EXPECT_EQ(ui->beeps, 1);
  EXPECT_TRUE(main->LearningFailed);
  EXPECT_TRUE(CaptionSaysPaused());
  EXPECT_TRUE(main->lbLearning->isVisible());
  EXPECT_FALSE(HasWord("東京タワー"));

  // Each failed write is logged once; paused, typing writes (and logs) nothing more.
  const std::string log = Log();
  EXPECT_GE(Count(log, "Method_Name:SepKeyword.Append\r\n"), 1u);
  EXPECT_NE(log.find("Error_Message:database is locked\r\n"), std::string::npos);
  EXPECT_NE(log.find("Self.TableName:" + d->tbMuKwd.FilePath() + "\r\n"), std::string::npos);
  TypeUtf8("新しい単語を");
  EXPECT_EQ(Log(), log);

  // Typing pauses while the lock is held: tried, logged, still paused, not told again.
  main->TimerIdleTimer();
  EXPECT_TRUE(main->LearningFailed);
  EXPECT_EQ(Count(Log(), "Method_Name:MT.ProbeWrite\r\n"), 1u);
  EXPECT_EQ(ui->beeps, 1);

  lock.Release();
  main->TimerIdleTimer();
  EXPECT_FALSE(main->LearningFailed);
  EXPECT_FALSE(CaptionSaysPaused());
  EXPECT_TRUE(Notices().empty());
  EXPECT_FALSE(main->lbLearning->isVisible());
  TypeUtf8("京都駅に");
  EXPECT_TRUE(HasWord("京都駅"));
  EXPECT_EQ(ui->beeps, 1);
}

TEST_F(LearnPauseTest, AReadOnlyTableAndAFailedPostLeaveThePanesAsTheTableIs) {
  Start();
  StoreWord("大阪城", 100);
  // Read-only through the engine's open flag (the superuser ignores file modes).
  auto reopen = [this](bool readOnly) {
    d->tbMuKwd.Close();
    d->tbMuKwd2.Close();
    d->tbMuKwd.ReadOnly = d->tbMuKwd2.ReadOnly = readOnly;
    ASSERT_TRUE(d->OpenWordTables());
    main->SimilarFilter("");
  };
  reopen(true);
  TypeUtf8("東京タワーに");
  EXPECT_EQ(main->mmDoc->Text(), Sj("東京タワーに"));
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_TRUE(Notices()[0]->text().contains(QString::fromUtf8("読み取り専用")));
  EXPECT_NE(Log().find("Error_Message:attempt to write a readonly database\r\n"), std::string::npos);
  EXPECT_EQ(ShownLatest(), std::vector<std::string>{"大阪城"});
  main->TimerIdleTimer();
  EXPECT_TRUE(main->LearningFailed);

  reopen(false);  // writable again
  main->TimerIdleTimer();
  EXPECT_FALSE(main->LearningFailed);

  // A post the engine refuses (the appended record is cancelled): a new episode,
  // told once more, and the panes show only what the table holds.
  {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(d->tbMuKwd.FilePath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other,
                           "CREATE TRIGGER refuse BEFORE INSERT ON T BEGIN "
                           "SELECT RAISE(ABORT, 'attempt to write a readonly database'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
  }
  TypeUtf8("名古屋城を");
  EXPECT_TRUE(main->LearningFailed);
  EXPECT_EQ(ui->beeps, 2);
  EXPECT_EQ(Notices().size(), 1u);
  EXPECT_NE(Log().find("Method_Name:SepKeyword.Post\r\n"), std::string::npos);
  EXPECT_EQ(d->tbMuKwd.State(), DataSetState::Browse);
  EXPECT_EQ(ShownLatest(), Words(d->tbMuKwd));
  EXPECT_EQ(ShownLatest(), std::vector<std::string>{"大阪城"});
  EXPECT_EQ(main->mgWordDate->CurrentRow(), 0);
  EXPECT_TRUE(ui->messages.empty());
}

TEST_F(LearnPauseTest, AWordTableThatCannotBeOpenedIsSaidOnceAndTheEditorWorksWithoutIt) {
  // The data folder's TABLE is a file: nothing can be created below it.
  { std::ofstream(home->path() / "TABLE") << "not a folder"; }
  Start();
  EXPECT_FALSE(d->tbMuKwd.Active());
  ASSERT_EQ(Notices().size(), 1u);
  const QString text = Notices()[0]->text();
  EXPECT_TRUE(text.contains(QString::fromUtf8("単語表を開けないため")));
  EXPECT_TRUE(text.contains(QString::fromStdString(home->str() + "TABLE/")));
  TypeUtf8("東京タワーに行った。");
  EXPECT_EQ(main->mmDoc->Text(), Sj("東京タワーに行った。"));
  EXPECT_EQ(ui->beeps, 1);
  EXPECT_TRUE(ui->messages.empty());
  EXPECT_TRUE(CaptionSaysPaused());
  Stop();
  fs::remove(home->path() / "TABLE");

  // An administrator's folder that cannot be made: logged, and once it can,
  // learning begins when typing pauses.
  const fs::path blocker = home->path() / "kwd";
  { std::ofstream(blocker) << "not a folder"; }
  Setting("system", "admin", "1");
  Setting("Path", "KWD", blocker.string() + "/words/");
  Start();
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_TRUE(Notices()[0]->text().contains(QString::fromStdString(blocker.string() + "/words/")));
  EXPECT_NE(Log().find("Method_Name:MT.Op\r\nSelf.Name:tbMuKwd\r\nSelf.TableName:" + blocker.string() +
                       "/words/MU_KWD.DB\r\n"),
            std::string::npos);
  TypeUtf8("東京タワーに");
  main->TimerIdleTimer();
  EXPECT_TRUE(main->LearningFailed);
  fs::remove(blocker);
  // The table is there now but another program holds it: the retry gives up
  // within a frame instead of holding up the typing.
  fs::create_directories(blocker / "words");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((blocker / "words" / "MU_KWD.DB").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  {
    EngineWaits waits;
    main->TimerIdleTimer();
    EXPECT_GT(EngineWaits::Total(), 0);  // it met the lock
    EXPECT_LE(EngineWaits::Total(), 16000);
  }
  EXPECT_TRUE(main->LearningFailed);
  EXPECT_FALSE(d->tbMuKwd.Active());
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  main->TimerIdleTimer();
  EXPECT_FALSE(main->LearningFailed);
  EXPECT_TRUE(d->tbMuKwd.Active());
  EXPECT_TRUE(d->tbMuKwd2.Active());
  TypeUtf8("京都駅に");
  EXPECT_TRUE(HasWord("京都駅"));
}

TEST_F(LearnPauseTest, NotLearningIsTheUsersChoiceAndIsKeptAcrossRuns) {
  Start();
  StoreWord("東京駅", 100);
  QAction* item = main->findChild<QAction*>("miNoLearning");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(), QString::fromUtf8("単語を学習しない"));
  EXPECT_FALSE(item->isChecked());
  item->trigger();
  EXPECT_TRUE(main->windowTitle().contains(QString::fromUtf8("［単語を学習しない］")));
  TypeUtf8("東京タワーに東京");
  EXPECT_FALSE(HasWord("東京タワー"));
  EXPECT_EQ(Words(d->tbMuKwd2), std::vector<std::string>{"東京駅"});  // the pane still follows
  d->tbMuKwd.First();
  main->mgMuKwdDblClick(main->mgWordDate);  // inserted, not touched
  EXPECT_EQ(UpdateDate("東京駅"), 100);
  main->TimerIdleTimer();
  EXPECT_TRUE(Notices().empty());
  Stop();
  EXPECT_TRUE(IniFile(GetWDir() + "WENDUL.INI").ReadBool("Option", "is_no_learning", false));

  Start();
  item = main->findChild<QAction*>("miNoLearning");
  EXPECT_TRUE(item->isChecked());
  EXPECT_TRUE(main->windowTitle().contains(QString::fromUtf8("［単語を学習しない］")));
  item->trigger();
  EXPECT_FALSE(main->windowTitle().contains(QString::fromUtf8("［")));
  TypeUtf8("東京タワーに");
  EXPECT_TRUE(HasWord("東京タワー"));
}


TEST_F(LearnPauseTest, PausedLearningIsRetriedTypingOrNotAndResumesSoonAfterTheLockGoes) {
  Start();
  StoreWord("大阪", 100);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(d->tbMuKwd.FilePath().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  TypeUtf8("東京タワーに行く");
  ASSERT_TRUE(main->LearningFailed);
  // A timer of its own retries, not the pause after typing.
  EXPECT_TRUE(main->TimerLearnRetry->isActive());
  EXPECT_LE(main->TimerLearnRetry->interval(), 2000);
  main->TimerLearnRetryTimer();  // the lock is held: still paused, told once
  EXPECT_TRUE(main->LearningFailed);
  EXPECT_EQ(ui->beeps, 1);

  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  // Nothing is typed from here on: the retry alone resumes learning.
  main->TimerLearnRetry->setInterval(5);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !main->LearningFailed; }, 10000));
  EXPECT_FALSE(main->TimerLearnRetry->isActive());
  EXPECT_FALSE(CaptionSaysPaused());
  TypeUtf8("京都駅に");
  EXPECT_TRUE(HasWord("京都駅"));
}

TEST_F(LearnPauseTest, ADamagedTableIsNeverTakenForRecoveredAndTheWordBookRebuildsIt) {
  Start();
  {
    MTBatch batch(d->tbMuKwd);
    for (int i = 0; i < 3000; ++i) {
      d->tbMuKwd.Append();
      d->tbMuKwd.SS("KEYWORD", "w" + std::to_string(10000 + i));
      d->tbMuKwd.SD("UPDATEDATE", 40000 + i);
      d->tbMuKwd.Post();
    }
  }
  const std::string file = d->tbMuKwd.FilePath();
  Stop();
  const DamagedPage index = DamagePage(file, "mt_pk", "leaf");
  const DamagedPage data = DamagePage(file, "T", "leaf");
  ASSERT_GT(index.number, 0);
  ASSERT_GT(data.cells, 0);

  // It opens; a word whose place in the key index is damaged cannot be learned.
  Start();
  ASSERT_TRUE(d->tbMuKwd.Active());
  std::string hit;
  for (int i = 0; i < 3000 && hit.empty(); i += 5) {
    const std::string w = "w" + std::to_string(10000 + i) + "x";
    try {
      d->tbMuKwd.ProbeWrite({FieldValue::Of(w), FieldValue::OfDate(50000), FieldValue::OfDate(50000)});
    } catch (const std::exception& e) {
      if (IsCorrupt(e)) hit = w;
    }
  }
  ASSERT_FALSE(hit.empty());
  Type(QString::fromStdString(hit + " "));
  ASSERT_TRUE(main->LearningFailed);
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_TRUE(Notices()[0]->text().contains(QString::fromUtf8("傷んでいます")));
  // The retry writes where that word goes: still paused, not told again.
  main->TimerLearnRetryTimer();
  main->TimerIdleTimer();
  EXPECT_TRUE(main->LearningFailed);
  EXPECT_EQ(ui->beeps, 1);

  // The word book: the export writes what can be read and says so; F5 rebuilds.
  TfmKDB* kdb = WordBook();
  ASSERT_NE(kdb, nullptr);
  const std::string out = home->str() + "saved.txt";
  kdb->RunFileDialog = [&](QFileDialog*) { return QString::fromStdString(out); };
  kdb->FBtn_F02Click();
  const std::string readable = QLocale(QLocale::Japanese).toString(3000 - data.cells).toStdString();
  EXPECT_NE(SjisToUtf8(ui->messages.back().text).find("読めた " + readable + " 語だけを書き出しました"),
            std::string::npos)
      << SjisToUtf8(ui->messages.back().text);
  ui->answers.push_back(MsgAnswer::Yes);
  kdb->FBtn_F05Click();
  const std::string said = SjisToUtf8(ui->messages.back().text);
  EXPECT_TRUE(d->tbMuKwd.Active());
  EXPECT_TRUE(d->tbMuKwd2.Active());
  // The damaged data page's words come back from the indexes (but for those
  // on the damaged index page), and the message says how many.
  const size_t rebuilt = Words(d->tbMuKwd).size();
  EXPECT_GT(rebuilt, static_cast<size_t>(3000 - data.cells));
  const std::string saved = QLocale(QLocale::Japanese).toString(static_cast<qlonglong>(rebuilt)).toStdString();
  const std::string taken =
      QLocale(QLocale::Japanese).toString(static_cast<qlonglong>(rebuilt - (3000 - data.cells))).toStdString();
  EXPECT_NE(said.find("単語の表が傷んでいたため、読めた " + saved + " 語で作り直しました。"), std::string::npos) << said;
  EXPECT_NE(said.find("そのうち " + taken + " 語は傷んだ所にあったため、索引から取り戻しました"), std::string::npos)
      << said;
  EXPECT_NE(said.find("KWD-damaged-"), std::string::npos);
  main->TimerLearnRetryTimer();
  EXPECT_FALSE(main->LearningFailed);
  Type(QString::fromStdString(hit + " "));
  EXPECT_TRUE(HasWord(hit.c_str()));
}

TEST_F(LearnPauseTest, AReadOnlyFileSystemOpensForReadingAndLearningWaitsForIt) {
  const fs::path tables = home->path() / "TABLE";
  fs::create_directories(tables);
  if (mount("wendul-test", tables.c_str(), "tmpfs", 0, nullptr) != 0) GTEST_SKIP() << "cannot mount a file system here";
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{tables.string()};
  Start();
  StoreWord("大阪城", 100);
  StoreWord("東京駅", 200);
  Stop();
  ASSERT_EQ(mount(nullptr, tables.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);

  Start();
  ASSERT_TRUE(d->tbMuKwd.Active());
  EXPECT_TRUE(d->WordTableReadOnly);
  EXPECT_EQ(ShownLatest(), (std::vector<std::string>{"東京駅", "大阪城"}));
  TfmKDB* kdb = WordBook();
  ASSERT_NE(kdb, nullptr);
  const std::string out = home->str() + "words.txt";
  kdb->RunFileDialog = [&](QFileDialog*) { return QString::fromStdString(out); };
  kdb->FBtn_F02Click();
  EXPECT_EQ(SjisToUtf8(ui->messages.back().text), out + " へ書き出しました。");
  EXPECT_EQ(Slurp(out).find(Sj("\"東京駅\",")), 0u);
  kdb->close();
  Settle();

  TypeUtf8("名古屋城に");
  ASSERT_TRUE(main->LearningFailed);
  ASSERT_EQ(Notices().size(), 1u);
  EXPECT_TRUE(Notices()[0]->text().contains(QString::fromUtf8("読み取り専用")));
  main->TimerLearnRetryTimer();
  EXPECT_TRUE(main->LearningFailed);
  EXPECT_TRUE(d->tbMuKwd.ReadOnly);  // not opened anew while it cannot be written

  ASSERT_EQ(mount(nullptr, tables.c_str(), nullptr, MS_REMOUNT, nullptr), 0);
  main->TimerLearnRetryTimer();
  EXPECT_FALSE(main->LearningFailed);
  EXPECT_FALSE(d->tbMuKwd.ReadOnly);
  TypeUtf8("名古屋城に");
  EXPECT_TRUE(HasWord("名古屋城"));
  Stop();
}

}  // namespace wendul::test
