#include "app_fixture.h"

#include <QInputMethodEvent>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "controls/qsjis.h"
#include "settings/setuplinks.h"
#include "util/codec.h"
#include "util/datetime.h"

namespace wendul::test {

void AppFixture::SetUp() {
  home = std::make_unique<TempDir>();
  setenv("WENDUL_HOME", home->path().c_str(), 1);
  ui = std::make_unique<RecordingUi>();
  G() = AppGlobals{};
}

void AppFixture::TearDown() {
  Stop();
  ui.reset();
  unsetenv("WENDUL_HOME");
  home.reset();
}

void AppFixture::Start(std::vector<std::string> args) {
  args.insert(args.begin(), "wendul");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  MuAVParm(static_cast<int>(argv.size()), argv.data());
  PrepareGlobals();
  d = new TD;
  AdminLevelForSetup() = G().adminLevel;
  setup = new TfmSetup;
  fmSetup = setup;
  main = new TfmMain;
  main->show();
  main->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(main));
  QTest::qWait(30);  // the start-up timer
  main->mmDoc->setFocus();
  Settle();
}

void AppFixture::Stop() {
  if (main) {
    // The end of a run, not a user's close: the document is dropped unasked.
    main->Modified = false;
    main->mmDoc->document()->setModified(false);
    main->close();
    delete main;
    main = nullptr;
  }
  delete setup;
  setup = nullptr;
  fmSetup = nullptr;
  delete d;
  d = nullptr;
}

void AppFixture::Setting(const char* section, const char* key, const std::string& value) {
  IniFile(GetWDir() + (G().settingsFileName.empty() ? "WENDUL.INI" : G().settingsFileName))
      .WriteString(section, key, value);
}

void AppFixture::Type(const QString& text) {
  for (QChar c : text) {
    if (c == '\n') {
      QTest::keyClick(main->mmDoc, Qt::Key_Return);
    } else if (c.unicode() < 0x80) {
      QTest::keyClicks(main->mmDoc, QString(c));
    } else {
      // Japanese arrives committed by the input method.
      QInputMethodEvent commit;
      commit.setCommitString(QString(c));
      QApplication::sendEvent(main->mmDoc, &commit);
    }
  }
  Settle();
}

bool AppFixture::RunKilledChild(const char* test) {
  const std::string filter = std::string("--gtest_filter=") + test;
  pid_t child = fork();
  if (child == 0) {
    setenv("WENDUL_CHILD_HOME", home->path().c_str(), 1);
    execl("/proc/self/exe", "app_tests", filter.c_str(), nullptr);
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

void AppFixture::Backspace(int n) {
  for (int i = 0; i < n; ++i) QTest::keyClick(main->mmDoc, Qt::Key_Backspace);
  Settle();
}

void AppFixture::StoreWord(const char* utf8, double updateDate) {
  MT& t = d->tbMuKwd;
  const std::string index = t.IndexName();
  t.SetIndexFieldNames("KEYWORD");
  const SjisString w = Sj(utf8);
  if (t.FindKey(w)) {
    t.Edit();
  } else {
    t.Append();
    t.SS("KEYWORD", w);
    t.SD("APPENDDATE", updateDate);
  }
  t.SD("UPDATEDATE", updateDate);
  t.Post();
  t.SetIndexName("IDX_UPDATEDATE");
  d->tbMuKwd2.Refresh();
}

double AppFixture::UpdateDate(const char* utf8) {
  // A separate connection, as another program would see the file.
  MT probe("probe");
  probe.SetDatabaseName(d->tbMuKwd.DatabaseName());
  probe.SetTableName(d->tbMuKwd.TableName());
  probe.SetIndexFieldNames("KEYWORD");
  probe.Open();
  return probe.FindKey(Sj(utf8)) ? probe.GD("UPDATEDATE") : -1;
}

bool AppFixture::HasWord(const char* utf8) { return UpdateDate(utf8) >= 0; }

std::vector<std::string> AppFixture::Words(MT& view) {
  std::vector<std::string> out;
  const Bookmark keep = view.GetBookmark();
  view.DisableControls();
  for (view.First(); !view.Eof(); view.Next()) out.push_back(SjisToUtf8(view.GS("KEYWORD")));
  if (keep) view.GotoBookmark(keep);
  view.EnableControls();
  return out;
}

}  // namespace wendul::test
