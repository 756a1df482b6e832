// Start-up: settings file choice, folders, tables created on first start.
#include <QAction>
#include <QLocale>
#include <QMouseEvent>
#include <QSplitterHandle>
#include <filesystem>

#include "app_fixture.h"
#include "util/codec.h"

namespace wendul::test {
namespace fs = std::filesystem;

using StartupTest = AppFixture;

TEST_F(StartupTest, FreshHomeCreatesWordTableAndStartsWithEmptyPanes) {
  Start({"-D"});
  EXPECT_FALSE(G().logMode);  // option D needs an administrator level
  EXPECT_EQ(d->tbMuKwd.TableName(), "KWD.DB");
  EXPECT_TRUE(fs::exists(home->path() / "TABLE" / "KWD.DB"));
  EXPECT_TRUE(d->tbMuKwd.Active());
  EXPECT_TRUE(d->tbMuKwd2.Active());
  EXPECT_TRUE(d->tbMuKwd.IsEmpty());
  EXPECT_TRUE(ui->messages.empty());
  EXPECT_EQ(d->tbMuKwd2.Filter(), "KEYWORD='*'");
  // Qt's own dialogs write sizes, dates and kinds of files in Japanese, whatever the desktop's language.
  EXPECT_EQ(QLocale().language(), QLocale::Japanese);
}

TEST_F(StartupTest, AdminLevelChoosesTheAdministratorsWordTable) {
  const std::string kwd = home->str() + "kwd";
  fs::create_directories(kwd);
  IniFile ini(GetWDir() + "WENDUL.INI");
  ini.WriteString("system", "admin", "-1");
  ini.WriteString("Path", "KWD", kwd + "/");
  ini.WriteString("Path", "MulogText", "/logs");
  Start({"-D"});
  EXPECT_EQ(G().adminLevel, -1);
  EXPECT_FALSE(G().logMode);
  EXPECT_EQ(G().mulogTextFolder, "/logs/");
  EXPECT_EQ(d->tbMuKwd.TableName(), "MU_KWD.DB");
  EXPECT_TRUE(fs::exists(fs::path(kwd) / "MU_KWD.DB"));
  EXPECT_FALSE(main->miSearch->menuAction()->isVisible());
  EXPECT_TRUE(main->miSearchWord_xx->shortcut().isEmpty());
}

TEST_F(StartupTest, LogModeNeedsAdminAndOptionD) {
  const std::string kwd = home->str() + "kwd/";
  fs::create_directories(kwd);
  IniFile ini(GetWDir() + "WENDUL.INI");
  ini.WriteString("system", "admin", "1");
  ini.WriteString("Path", "KWD", kwd);
  Start({"-D"});
  EXPECT_TRUE(G().logMode);
  EXPECT_TRUE(d->tbMuLog.Active());
  EXPECT_TRUE(fs::exists(kwd + "LOG.db"));
  Stop();
  // Without option D the day table is never opened (nor created).
  fs::remove(kwd + "LOG.db");
  Start();
  EXPECT_FALSE(G().logMode);
  EXPECT_FALSE(d->tbMuLog.Active());
  EXPECT_FALSE(fs::exists(kwd + "LOG.db"));
}

// Folders of the settings file: started from some other folder, an
// administrator without [Path] KWD finds the tables below the data folder,
// and folders named in Japanese (code page 932 in the file, ソ and 表 ending in
// a 0x5C byte) open the folders of those names.
TEST_F(StartupTest, SettingsFoldersAreJapaneseNamesAndNeverTheStartFolder) {
  TempDir elsewhere;
  struct StartedFrom {
    fs::path before = fs::current_path();
    explicit StartedFrom(const fs::path& p) { fs::current_path(p); }
    ~StartedFrom() { fs::current_path(before); }
  } startedFrom(elsewhere.path());
  Setting("system", "admin", "1");
  Start({"-D"});
  EXPECT_TRUE(fs::exists(home->path() / "TABLE" / "MU_KWD.DB"));
  EXPECT_TRUE(fs::exists(home->path() / "TABLE" / "LOG.db"));
  EXPECT_TRUE(d->tbMuLog.Active());
  EXPECT_TRUE(fs::is_empty(elsewhere.path()));
  Stop();

  Setting("Path", "KWD", Utf8ToSjis(home->str() + "ソ表\\データ"));
  Setting("Path", "MulogText", Utf8ToSjis("ログ\\表"));
  Start();
  EXPECT_TRUE(fs::exists(home->str() + "ソ表/データ/MU_KWD.DB"));
  EXPECT_TRUE(d->tbMuKwd.Active());
  EXPECT_EQ(G().mulogTextFolder, home->str() + "TABLE/ログ/表/");
  EXPECT_TRUE(fs::is_empty(elsewhere.path()));
}

TEST_F(StartupTest, DebugSettingsFileIsDeletedAtStartAndWrittenAtClose) {
  IniFile(GetWDir() + "WENDUL_debug.INI").WriteString("Option", "is_wordwrap", "0");
  Start({"-n"});
  EXPECT_EQ(G().settingsFileName, "WENDUL_debug.INI");
  EXPECT_TRUE(main->miIsWordWrap->isChecked());  // the old file's value is gone
  Stop();
  IniFile debug(GetWDir() + "WENDUL_debug.INI");
  EXPECT_TRUE(debug.ValueExists("Position", "Width"));
  EXPECT_FALSE(fs::exists(GetWDir() + "WENDUL.INI"));
}

TEST_F(StartupTest, GeometryIsRestoredAndMaximisedCloseKeepsTheNormalOne) {
  Start();
  main->setGeometry(40, 50, 800, 600);
  Stop();
  IniFile ini(GetWDir() + "WENDUL.INI");
  EXPECT_EQ(ini.ReadInteger("Position", "Width", 0), 800);
  ini.WriteString("Position", "pnWordDate_Width", "170");
  Start();
  EXPECT_EQ(main->geometry().width(), 800);
  EXPECT_EQ(main->pnWordDate->width(), 170);
  main->showMaximized();
  Settle();
  main->setGeometry(0, 0, 1000, 700);
  main->setWindowState(Qt::WindowMaximized);
  Stop();
  EXPECT_EQ(IniFile(GetWDir() + "WENDUL.INI").ReadInteger("Position", "Width", 0), 800);
}

TEST_F(StartupTest, FirstArgumentOpensThatFile) {
  const std::string file = home->str() + "doc.txt";
  {
    FILE* f = fopen(file.c_str(), "wb");
    const SjisString text = Sj("東京タワー\r\n");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }
  Start({file});
  EXPECT_EQ(main->mmDoc->Text(), Sj("東京タワー\r\n"));
  EXPECT_EQ(main->edCurFileName->text().toStdString(), file);
}

namespace {

// Drags a splitter's handle by dx pixels with the mouse, as a user does.
void DragHandle(QSplitter* splitter, int index, int dx) {
  QSplitterHandle* h = splitter->handle(index);
  const QPoint at(h->width() / 2, h->height() / 2);
  const QPoint global = h->mapToGlobal(at);
  const QPoint to = at + QPoint(dx, 0);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(h, &press);
  QMouseEvent move(QEvent::MouseMove, to, global + QPoint(dx, 0), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(h, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, to, global + QPoint(dx, 0), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(h, &release);
  QApplication::processEvents();
}

}  // namespace

TEST_F(StartupTest, SplitterSizeRules) {
  Start();
  EXPECT_FALSE(main->SplitterWordCodeCanResize(79));
  EXPECT_TRUE(main->SplitterWordCodeCanResize(80));
  EXPECT_FALSE(main->SplitterWordDateCanResize(99));
  EXPECT_TRUE(main->SplitterWordDateCanResize(100));

  // Dragged with the mouse: a move that leaves the document at least 200
  // pixels wide is taken; one that would leave it narrower is refused and the
  // similar-word pane gives up 10 pixels.
  const int code = main->pnWordCode->width();
  const int doc = main->mmDoc->width();
  ASSERT_GT(doc, 500);
  DragHandle(main->SplitterWordCode, 1, doc - 250);
  EXPECT_EQ(main->pnWordCode->width(), code + doc - 250);
  EXPECT_EQ(main->mmDoc->width(), 250);
  DragHandle(main->SplitterWordCode, 1, 180);
  EXPECT_EQ(main->pnWordCode->width(), code + doc - 260);
  EXPECT_EQ(main->mmDoc->width(), 260);
  DragHandle(main->SplitterWordCode, 1, -2000);
  EXPECT_EQ(main->pnWordCode->width(), 80);
  DragHandle(main->pnMain, 1, 2000);
  EXPECT_EQ(main->pnWordDate->width(), 100);
}

}  // namespace wendul::test

namespace wendul::test {

TEST_F(StartupTest, DefaultFunctionKeysReachTheOptionListsAndMenus) {
  Start();
  EXPECT_EQ(setup->FindKeyList("cmbxSeekWord")->currentText(), "F01");
  EXPECT_EQ(setup->FindKeyList("cmbxChgKeywordSort")->currentText(), "F02");
  EXPECT_EQ(setup->FindKeyList("cmbxSetFocusLog")->currentText(), "F05");
  EXPECT_EQ(setup->FindKeyList("cmbxAppClose")->currentText(), "F12");
  EXPECT_EQ(setup->FindKeyList("cmbxSetFocusWordDate")->currentIndex(), 0);
  EXPECT_EQ(main->findChild<QAction*>("miAppClose")->shortcut(), QKeySequence("F12"));
  EXPECT_EQ(main->findChild<QAction*>("miSplitKeyword_SelectString")->shortcut(), QKeySequence("F7"));
  EXPECT_EQ(main->findChild<QAction*>("miSplitKeyword_PrevString")->shortcut(), QKeySequence("F8"));
}

}  // namespace wendul::test
