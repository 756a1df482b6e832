// The options at work in the whole program: what a first run stores, the
// function keys and their lists, colours, font size, help switch, and
// settings files that are broken or cannot be written.
#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <fstream>
#include <map>
#include <sstream>

#include "app_fixture.h"
#include "controls/funcbtn.h"
#include "controls/inipersist.h"
#include "controls/methodtable.h"
#include "controls/mupanel.h"
#include "controls/qsjis.h"
#include "controls/selectcolor.h"
#include "controls/tcolor.h"

namespace wendul::test {
namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// section -> key -> value, every line of the file (duplicates counted).
std::map<std::string, std::map<std::string, std::string>> Sections(const std::string& path, int* lines = nullptr) {
  std::map<std::string, std::map<std::string, std::string>> out;
  std::istringstream in(FileBytes(path));
  std::string line, section;
  int n = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.front() == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    out[section][line.substr(0, eq)] = line.substr(eq + 1);
    ++n;
  }
  if (lines) *lines = n;
  return out;
}

class OptionsTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ResetIniWriteFailureReport();
  }
  void TearDown() override {
    SetColorChooser({});
    AppFixture::TearDown();
  }
  std::string IniPath() const { return GetWDir() + "WENDUL.INI"; }
  TmuSpeedButton* Key(int n) { return main->Func01->Button(n); }
  QAction* Item(const char* name) { return main->findChild<QAction*>(name); }
};

TEST_F(OptionsTest, AFirstRunStoresExactlyTheKeysWithTheirDefaults) {
  Start();
  Stop();
  int lines = 0;
  auto s = Sections(IniPath(), &lines);
  const std::map<std::string, std::string> setup = {
      {"cbxIsSplitAllChar", "1"},
      {"cbxIsIMEOn", "1"},
      {"cbxIsShowShortCutKeyHelp", "1"},
      {"cmbxNewDocEncoding", "0"},  // Shift-JIS
      {"gbox_mmDoc_KeyDown_Shift", "rb_mmDoc_KeyDown_Shift_FilterWord"},
      {"gbox_mmDoc_KeyDown_Alt", "rb_mmDoc_KeyDown_Alt_Goto_WordDate"},
      {"gbox_mmDoc_KeyDown_Ctrl", "rb_mmDoc_KeyDown_Ctrl_SeekWord"},
      {"gbox_mmDoc_KeyDown_Tab", "rb_mmDoc_KeyDown_Tab_Goto_WordCode"},
      {"gbox_WordDate_KeyDown_Esc", "rb_WordDate_KeyDown_Esc_GotoDoc"},
      {"gbox_WordDate_KeyDown_Shift", "rb_WordDate_KeyDown_Shift_None"},
      {"gbox_WordDate_KeyDown_Alt", "rb_WordDate_KeyDown_Alt_GotoDoc"},
      {"gbox_WordDate_KeyDown_Ctrl", "rb_WordDate_KeyDown_Ctrl_GotoDoc"},
      {"gbox_WordDate_KeyDown_Tab", "rb_WordDate_KeyDown_Tab_None"},
      {"gbox_WordCode_KeyDown_Esc", "rb_WordCode_KeyDown_Esc_GotoDoc"},
      {"gbox_WordCode_KeyDown_Shift", "rb_WordCode_KeyDown_Shift_GotoDoc"},
      {"gbox_WordCode_KeyDown_Alt", "rb_WordCode_KeyDown_Alt_None"},
      {"gbox_WordCode_KeyDown_Ctrl", "rb_WordCode_KeyDown_Ctrl_None"},
      {"gbox_WordCode_KeyDown_Tab", "rb_WordCode_KeyDown_Tab_GotoDoc"},
      {"ed_mmDoc_FontSize", "11"},
      {"ed_WordDate_NLineUp", "8"},
      {"ed_WordDate_NLineDown", "8"},
      {"ed_WordCode_NLineUp", "8"},
      {"ed_WordCode_NLineDown", "8"},
      {"pnIMEColorInput_Color", "16777215"},
      {"pnIMEColorInput_Font_Color", "16711680"},
      {"pnIMEColorChange01_Color", "65535"},
      {"pnIMEColorChange01_Font_Color", "-2147483640"},
      {"pnIMEColorChange02_Color", "65280"},
      {"pnIMEColorChange02_Font_Color", "0"},
      {"pnIMEColorSelect_Color", "16711680"},
      {"pnIMEColorSelect_Font_Color", "16777215"},
  };
  EXPECT_EQ(s["fmSetup"], setup);
  const std::map<std::string, std::string> keys = {
      {"Func01_F01", "CnSeekWord"}, {"Func01_F02", "CnChgKeywordSort"},
      {"Func01_F03", ""},           {"Func01_F04", ""},
      {"Func01_F05", "CnSetFocusLog"}, {"Func01_F06", ""},
      {"Func01_F07", "CnSplitKeyword_SelectString"}, {"Func01_F08", "CnSplitKeyword_PrevString"},
      {"Func01_F09", ""},           {"Func01_F10", ""},
      {"Func01_F11", "CnExportMozcDict"}, {"Func01_F12", "CnAppClose"}};
  EXPECT_EQ(s["fmMain"], keys);
  EXPECT_EQ(s["Text"], (std::map<std::string, std::string>{{"edGrepSearchWord", ""}}));
  // Only the main window's own geometry, wrap and learning switch besides.
  EXPECT_EQ(s.size(), 5u);
  EXPECT_EQ(s["Position"].size(), 6u);
  EXPECT_EQ(s["Option"].count("is_no_learning"), 1u);
  EXPECT_EQ(s["Option"]["is_no_learning"], "0");
  EXPECT_EQ(lines, 31 + 12 + 1 + 2 + 6);
  EXPECT_TRUE(ui->messages.empty());
}

TEST_F(OptionsTest, FunctionKeysOfAFreshStart) {
  Start();
  EXPECT_EQ(main->muMethodTable1->Commands().size(), 18);
  for (const QString& c : main->muMethodTable1->Commands()) EXPECT_TRUE(TmuForm::HasCommand(main, c)) << c.toStdString();
  EXPECT_EQ(Item("miAppClose")->shortcut(), QKeySequence("F12"));
  EXPECT_EQ(Item("miSplitKeyword_PrevString")->shortcut(), QKeySequence("F8"));
  EXPECT_EQ(Item("miSplitKeyword_SelectString")->shortcut(), QKeySequence("F7"));
  EXPECT_EQ(Item("miExportMozcDict")->shortcut(), QKeySequence("F11"));
  EXPECT_EQ(Item("miImportMozcDict")->shortcut(), QKeySequence());
  EXPECT_TRUE(Key(10)->isEnabled());
  EXPECT_FALSE(Key(10)->OnClick());
  EXPECT_FALSE(Key(3)->isEnabled());

  // F2 toggles the latest words' order, and the key goes on to the pane.
  QTest::keyClick(main->mmDoc, Qt::Key_F2);
  EXPECT_EQ(d->tbMuKwd.IndexFieldNames(), "KEYWORD");
  QTest::keyClick(main->mmDoc, Qt::Key_F2, Qt::ShiftModifier);  // with a modifier: nothing
  EXPECT_EQ(d->tbMuKwd.IndexFieldNames(), "KEYWORD");
  QTest::keyClick(main->mgWordDate, Qt::Key_F2);
  EXPECT_EQ(d->tbMuKwd.IndexName(), "IDX_UPDATEDATE");
  // F5 returns to the document from a word pane.
  main->mgWordCode->setFocus();
  Settle();
  QTest::keyClick(main->mgWordCode, Qt::Key_F5);
  EXPECT_TRUE(main->mmDoc->hasFocus());

  // A key that is also a menu shortcut runs once, through the menu.
  int viaKey = 0;
  Key(7)->SetOnClick([&](QObject*) { ++viaKey; });
  QSignalSpy menu(Item("miSplitKeyword_SelectString"), &QAction::triggered);
  QTest::keyClick(main->mmDoc, Qt::Key_F7);
  EXPECT_EQ(menu.count(), 1);
  EXPECT_EQ(viaKey, 0);
  // F10 runs nothing.
  QTest::keyClick(main->mmDoc, Qt::Key_F10);
  EXPECT_TRUE(main->isVisible());

  // F12 in the options dialog quits: the dialog passes its keys on.
  setup->ShowSetup();
  QTest::keyClick(setup->ed_WordCode_NLineDown, Qt::Key_F12);
  EXPECT_FALSE(main->isVisible());
  EXPECT_TRUE(ui->messages.empty());
}

TEST_F(OptionsTest, ListsMoveFreeAndRefuseKeys) {
  Start();
  TmuComboBox* focusLog = setup->FindKeyList("cmbxSetFocusLog");
  TmuComboBox* seek = setup->FindKeyList("cmbxSeekWord");
  // The user gives F1 to the document jump: F5 is freed, the seek loses F1.
  focusLog->EnterIndex = focusLog->currentIndex();
  focusLog->setCurrentIndex(1);
  setup->KeyListExit(focusLog);
  EXPECT_EQ(seek->currentIndex(), 0);
  EXPECT_EQ(Key(1)->CommandName, "CnSetFocusLog");
  EXPECT_FALSE(Key(5)->isEnabled());
  main->mgWordDate->setFocus();
  Settle();
  QTest::keyClick(main->mgWordDate, Qt::Key_F5);
  EXPECT_TRUE(main->mgWordDate->hasFocus());  // freed for the rest of the run
  QTest::keyClick(main->mgWordDate, Qt::Key_F1);
  EXPECT_TRUE(main->mmDoc->hasFocus());

  // Through the focus, as the user does it: F03 for the latest-words jump.
  setup->ShowSetup();
  EXPECT_TRUE(QTest::qWaitForWindowActive(setup));
  TmuComboBox* date = setup->FindKeyList("cmbxSetFocusWordDate");
  date->setFocus();
  Settle();
  date->setCurrentIndex(3);
  setup->btClose->setFocus();
  Settle();
  EXPECT_EQ(Key(3)->CommandName, "CnSetFocusWordDate");
  // The same key again changes nothing; "（なし）" frees it.
  date->setFocus();
  Settle();
  setup->btClose->setFocus();
  Settle();
  EXPECT_EQ(Key(3)->CommandName, "CnSetFocusWordDate");
  TmuComboBox* sort = setup->FindKeyList("cmbxChgKeywordSort");
  sort->EnterIndex = 2;
  sort->setCurrentIndex(0);
  setup->KeyListExit(sort);
  EXPECT_FALSE(Key(2)->OnClick());
  setup->btCloseClick();
  EXPECT_TRUE(Item("miAppClose")->shortcut() == QKeySequence("F12"));

  // A list whose command does not exist goes back, with a beep and the message.
  auto* stray = new TmuComboBox(setup);
  stray->setObjectName("cmbxNoSuchThing");
  TfmSetup::FillKeyList(stray);
  stray->EnterIndex = 0;
  stray->setCurrentIndex(4);
  const int beeps = ui->beeps;
  setup->KeyListExit(stray);
  EXPECT_EQ(stray->currentIndex(), 0);
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_EQ(ui->messages[0].text, Sj("メソッド 'CnNoSuchThing' が見つかりません TfmSetup.cmbxSeekWordExit "));
  EXPECT_GT(ui->beeps, beeps);
  EXPECT_FALSE(Key(4)->OnClick());

  // Next start: F5 and F2, stored empty, get their defaults back; the
  // document jump has two keys and its list shows the last, F05.
  Stop();
  Start();
  EXPECT_EQ(Key(1)->CommandName, "CnSetFocusLog");
  EXPECT_EQ(Key(5)->CommandName, "CnSetFocusLog");
  EXPECT_EQ(Key(2)->CommandName, "CnChgKeywordSort");
  EXPECT_EQ(Key(3)->CommandName, "CnSetFocusWordDate");
  EXPECT_EQ(setup->FindKeyList("cmbxSetFocusLog")->currentText(), "F05");
  EXPECT_EQ(setup->FindKeyList("cmbxSeekWord")->currentIndex(), 0);
  EXPECT_EQ(setup->FindKeyList("cmbxSetFocusWordDate")->currentText(), "F03");
}

TEST_F(OptionsTest, ACommandWithoutAListIsReportedAndStartUpGoesOn) {
  Setting("fmMain", "Func01_F03", "CnFilterWord");
  Start();
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_EQ(ui->messages[0].text, "SetupProcParam() not find Component :cmbxFilterWord");
  EXPECT_EQ(setup->FindKeyList("cmbxAppClose")->currentText(), "F12");
  EXPECT_EQ(Item("miAppClose")->shortcut(), QKeySequence("F12"));
  EXPECT_EQ(main->mmDoc->imeMode(), TmuRichEdit::ImeMode::Hiragana);  // the later steps ran
  EXPECT_TRUE(main->mmDoc->HasIMEColors());
}

TEST_F(OptionsTest, ColoursFontSizeAndHelpSwitchReachTheMainWindow) {
  Setting("fmSetup", "ed_mmDoc_FontSize", "20");
  Setting("fmSetup", "cbxIsIMEOn", "0");
  Start();
  EXPECT_EQ(main->mmDoc->font().pointSize(), 20);  // the stored size, once the window exists
  EXPECT_EQ(main->mmDoc->imeMode(), TmuRichEdit::ImeMode::Closed);
  ASSERT_TRUE(main->mmDoc->HasIMEColors());
  const auto& c = main->mmDoc->IMEColors();
  EXPECT_EQ(c[0].text, QColor(0, 0, 255));
  EXPECT_EQ(c[0].background, QColor(255, 255, 255));
  EXPECT_EQ(c[1].text, main->mmDoc->palette().color(QPalette::Text));  // the window-text colour
  EXPECT_EQ(c[3].background, QColor(0, 0, 255));

  setup->ed_mmDoc_FontSize->setText("14");
  EXPECT_EQ(main->mmDoc->font().pointSize(), 14);
  setup->ed_mmDoc_FontSize->setText("");
  EXPECT_EQ(main->mmDoc->font().pixelSize(), 15);  // not a number: the built-in size
  setup->ed_mmDoc_FontSize->setText("99999");
  EXPECT_EQ(main->mmDoc->font().pointSize(), 100);

  std::vector<QColor> offered;
  SetColorChooser([&](QWidget*, const QColor& initial) -> std::optional<QColor> {
    offered.push_back(initial);
    return QColor(255, 0, 0);
  });
  setup->findChild<TmuButton*>("btFIMEColorInput")->click();
  setup->findChild<TmuButton*>("btBIMEColorChange02")->click();
  EXPECT_EQ(offered, (std::vector<QColor>{QColor(0, 0, 255), QColor(0, 255, 0)}));
  EXPECT_EQ(setup->pnIMEColorInput->FontColorValue(), 255);
  EXPECT_EQ(setup->pnIMEColorChange02->ColorValue(), 255);
  EXPECT_EQ(main->mmDoc->IMEColors()[0].text, QColor(255, 0, 0));
  EXPECT_EQ(main->mmDoc->IMEColors()[2].background, QColor(255, 0, 0));
  SetColorChooser([](QWidget*, const QColor&) { return std::optional<QColor>(); });  // cancelled
  setup->findChild<TmuButton*>("btBIMEColorSelect")->click();
  EXPECT_EQ(setup->pnIMEColorSelect->ColorValue(), 16711680);

  main->pnMessage->SetCaption("help");
  setup->cbxIsShowShortCutKeyHelp->click();
  EXPECT_EQ(main->pnMessage->Caption(), "");
  Stop();
  IniFile ini(IniPath());
  EXPECT_EQ(ini.ReadString("fmSetup", "pnIMEColorInput_Font_Color", ""), "255");
  EXPECT_EQ(ini.ReadString("fmSetup", "cbxIsShowShortCutKeyHelp", ""), "0");
  EXPECT_EQ(ini.ReadString("fmSetup", "ed_mmDoc_FontSize", "?"), "99999");
}

TEST_F(OptionsTest, EnterPressesTheFocusedButtonOfEveryWindow) {
  Start();
  int chosen = 0;
  SetColorChooser([&](QWidget*, const QColor&) -> std::optional<QColor> {
    ++chosen;
    return QColor(255, 0, 0);
  });
  setup->ShowSetup();
  ASSERT_TRUE(QTest::qWaitForWindowActive(setup));
  auto* choose = setup->findChild<TmuButton*>("btFIMEColorInput");
  choose->setFocus();
  Settle();
  QTest::keyClick(choose, Qt::Key_Return);
  QTest::keyClick(choose, Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(choose, Qt::Key_Space);  // Space still does
  EXPECT_EQ(chosen, 3);
  // Held down, it presses once.
  QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(choose, &held);
  EXPECT_EQ(chosen, 3);
  EXPECT_EQ(setup->pnIMEColorInput->FontColorValue(), 255);
  setup->btClose->setFocus();
  Settle();
  QTest::keyClick(setup->btClose, Qt::Key_Return);
  EXPECT_FALSE(setup->isVisible());

  // Any window's button, and Enter keeps its meaning where no button has the focus.
  QWidget window;
  auto* button = new QPushButton("OK", &window);
  int pressed = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++pressed; });
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  button->setFocus();
  QTest::keyClick(button, Qt::Key_Return);
  EXPECT_EQ(pressed, 1);
  window.close();
  main->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(main));
  main->mmDoc->setFocus();
  TypeUtf8("a");
  QTest::keyClick(main->mmDoc, Qt::Key_Return);
  EXPECT_EQ(main->mmDoc->Text(), "a\r\n");
}

TEST_F(OptionsTest, ABrokenSettingsFileLosesNothingElse) {
  // Garbage values, a duplicate key, code page 932 bytes, another program's
  // section, and a last line cut short.
  const std::string before =
      "[fmSetup]\r\n"
      "gbox_mmDoc_KeyDown_Alt=\x83\x53\x83\x7e\r\n"
      "ed_WordCode_NLineUp=\x82\xa0\r\n"
      "cbxIsIMEOn=2\r\n"
      "pnIMEColorInput_Color=-5\r\n"
      "pnIMEColorInput_Color=7\r\n"
      "[Other]\r\n"
      "note=\x93\xfa\x96\x7b\x8c\xea\r\n"
      "[fmMain]\r\n"
      "Func01_F04=CnSetFocusWordCode\r\n"
      "Func01_F06=\r\n"
      "Func01_F09=CnSeek";
  { std::ofstream(IniPath(), std::ios::binary) << before; }
  Start();
  EXPECT_EQ(setup->FindGroup("gbox_mmDoc_KeyDown_Alt")->CheckedName, "rb_mmDoc_KeyDown_Alt_Goto_WordDate");
  EXPECT_EQ(setup->ed_WordCode_NLineUp->text(), QString::fromUtf8("あ"));  // kept as text; reads as 0 rows
  EXPECT_EQ(setup->ed_WordCode_NLineUp->Val(), 0);
  EXPECT_FALSE(setup->cbxIsIMEOn->isChecked());
  EXPECT_EQ(setup->pnIMEColorInput->ColorValue(), -5);  // the first key wins, loaded unchanged
  EXPECT_EQ(Key(4)->CommandName, "CnSetFocusWordCode");
  EXPECT_EQ(setup->FindKeyList("cmbxSetFocusWordCode")->currentText(), "F04");
  EXPECT_FALSE(Key(9)->OnClick());  // cut short: no command
  EXPECT_TRUE(ui->messages.empty());
  Stop();
  const std::string after = FileBytes(IniPath());
  EXPECT_NE(after.find("[Other]\r\nnote=\x93\xfa\x96\x7b\x8c\xea\r\n"), std::string::npos);
  EXPECT_NE(after.find("pnIMEColorInput_Color=7\r\n"), std::string::npos);  // the duplicate stays
  EXPECT_NE(after.find("Func01_F09=\r\n"), std::string::npos);
  EXPECT_NE(after.find("gbox_mmDoc_KeyDown_Alt=rb_mmDoc_KeyDown_Alt_Goto_WordDate\r\n"), std::string::npos);
}

TEST_F(OptionsTest, AnUnwritableSettingsFileIsSaidOnceAtShutdown) {
  Start();
  const std::string before = FileBytes(IniPath());
  // Where the file should go a plain file stands in the way of its folder.
  { std::ofstream(home->str() + "blocked") << "x"; }
  G().settingsPath = home->str() + "blocked/WENDUL.INI";
  GIniFileName() = G().settingsPath;
  setup->FindGroup("gbox_mmDoc_KeyDown_Tab")->findChild<QRadioButton*>("rb_mmDoc_KeyDown_Tab_None")->click();
  Stop();
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_NE(ui->messages[0].text.find("blocked/WENDUL.INI"), std::string::npos);
  EXPECT_EQ(FileBytes(IniPath()), before);
}

}  // namespace
}  // namespace wendul::test
