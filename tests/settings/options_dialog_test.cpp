// Persisted check boxes, lists and radio buttons, the key-help texts, and
// the options dialog on its own (without a main window).
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "controls/inipersist.h"
#include "controls/mupanel.h"
#include "controls/pagecontrol.h"
#include "controls/qsjis.h"
#include "settings/fmsetup.h"
#include "settings/keyhelp.h"
#include "settings/setuplinks.h"
#include "support/test_support.h"

namespace wendul {
namespace {

using test::RecordingUi;
using test::Sj;
using test::TempDir;

struct IniScope {
  IniScope() : saved(GIniFileName()) {
    GIniFileName() = dir.str() + "WENDUL.INI";
    ResetIniWriteFailureReport();
  }
  ~IniScope() { GIniFileName() = saved; }
  IniFile ini() const { return IniFile(GIniFileName()); }
  TempDir dir;
  std::string saved;
};

TEST(PersistedControls, OnlyOneIsCheckedAndListIndexesMustBeNumbers) {
  IniScope scope;
  RecordingUi ui;
  scope.ini().WriteStrings({{"fmC", "cbxA", "1"}, {"fmC", "cbxB", "0"}, {"fmC", "cbxC", ""}, {"fmC", "cbxD", "yes"},
                            {"fmC", "cmbxA", "x"}, {"fmC", "cmbxB", " 2 "}, {"fmC", "cmbxC", ""}});
  {
    QWidget form;
    form.setObjectName("fmC");
    std::map<std::string, TmuCheckBox*> boxes;
    for (const char* n : {"cbxA", "cbxB", "cbxC", "cbxD", "cbxMissing"}) {
      auto* c = new TmuCheckBox(n, &form);
      c->setObjectName(n);
      c->setChecked(std::string(n) != "cbxA");
      c->IsIni = true;
      boxes[n] = c;
    }
    std::map<std::string, TmuComboBox*> lists;
    for (const char* n : {"cmbxA", "cmbxB", "cmbxC"}) {
      auto* l = new TmuComboBox(&form);
      l->setObjectName(n);
      l->addItems({"0", "1", "2", "3"});
      l->SetCaption(QString::fromUtf8("見出し"));
      l->setGeometry(200, 40, 80, 22);
      l->IsIni = true;
      lists[n] = l;
    }
    LoadIniControls(&form);
    EXPECT_TRUE(boxes["cbxA"]->isChecked());
    EXPECT_FALSE(boxes["cbxB"]->isChecked());
    EXPECT_FALSE(boxes["cbxC"]->isChecked());
    EXPECT_FALSE(boxes["cbxD"]->isChecked());
    EXPECT_TRUE(boxes["cbxMissing"]->isChecked());  // no key: the form's state
    EXPECT_EQ(lists["cmbxA"]->IniIndex, 0);
    EXPECT_EQ(lists["cmbxB"]->currentIndex(), 2);
    EXPECT_EQ(lists["cmbxC"]->currentIndex(), 0);
    QLabel* label = lists["cmbxA"]->CaptionLabel();
    ASSERT_TRUE(label);
    EXPECT_EQ(label->geometry().right() + 1, 196);
    EXPECT_EQ(label->y(), 42);

    // A radio button's click rule needs its group.
    auto* g = new TmuGroupBox("g", &form);
    g->setObjectName("gbox_X");
    auto* rb = new TmuRadioButton(QString::fromUtf8("戻る"), g);
    rb->setObjectName("rb_X_GotoDoc");
    rb->setChecked(true);
    EXPECT_EQ(g->CheckedName, "rb_X_GotoDoc");
    EXPECT_EQ(g->VName, QString::fromUtf8("戻る"));
    auto* stray = new TmuRadioButton("stray", &form);
    stray->setChecked(true);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "TmuRadioButton.Click");
  }
  IniFile ini = scope.ini();
  EXPECT_EQ(ini.ReadString("fmC", "cbxD", "?"), "0");
  EXPECT_EQ(ini.ReadString("fmC", "cbxMissing", "?"), "1");
  EXPECT_EQ(ini.ReadString("fmC", "cmbxA", "?"), "0");
}

TEST(KeyHelp, TheDefaultTextsByteForByte) {
  KeyHelpTableT t{};
  // The default choices: document Shift filter, Ctrl seek, Tab to the similar
  // words, Alt to the latest words; latest words: Esc, Alt, Ctrl back; similar
  // words: Esc, Shift, Tab back.
  t[0][1] = ckShift;
  t[0][2] = ckCtrl;
  t[0][4] = ckTab;
  t[0][5] = ckAlt;
  t[1][3] = ckEsc | ckAlt | ckCtrl;
  t[2][3] = ckEsc | ckShift | ckTab;
  const auto texts = BuildKeyHelpTexts(t);
  EXPECT_EQ(texts[0], Sj(" SHIFTキーで類似単語を抽出します   CTRLキーで最新単語ウィンドウで検索します   "
                         "TABキーで類似単語ウィンドウに行きます   ALTキーで最新単語ウィンドウに行きます "));
  EXPECT_EQ(texts[1], Sj("  ALTキー または CTRLキー または ESCキーで文章入力ウィンドウに戻ります "));
  EXPECT_EQ(texts[2], Sj(" SHIFTキー または TABキー または ESCキーで文章入力ウィンドウに戻ります "));

  t[1][0] = ckShift | ckTab;  // the terse test form counts "nothing" too
  EXPECT_EQ(BuildKeyHelpTexts(t, true)[1],
            Sj(" Shift Tabキーで何もしません   Alt Ctrl Escキーで文章入力ウィンドウに戻ります "));
  EXPECT_EQ(BuildKeyHelpTexts(KeyHelpTableT{})[0], "");
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { AdminLevelForSetup() = 0; }
  void TearDown() override { AdminLevelForSetup() = 0; }
  IniScope scope;
  RecordingUi ui;
};

TEST_F(DialogTest, PagesGroupsAndTheKeyHelpOfItsDefaults) {
  TfmSetup dlg;
  EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("オプション設定"));
  EXPECT_EQ(dlg.size(), QSize(493, 485));
  EXPECT_TRUE(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(dlg.pnAdmin->isVisibleTo(&dlg));
  ASSERT_EQ(dlg.PageControl1->Count(), 6);
  const char* pages[] = {"tsMainDoc", "tsMainKWD2", "tsMainKWD", "tsShortCut", "tsIME", "tsPublic"};
  const char* captions[] = {"文章入力ウィンドウ", "類似単語ウィンドウ", "最新単語ウィンドウ", "ショートカットキー",
                            "日本語かな漢字変換（IME）", "全般"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(dlg.PageControl1->Page(i)->objectName(), pages[i]);
    EXPECT_EQ(dlg.PageControl1->Caption(i), QString::fromUtf8(captions[i]));
    // Drawn whole, not cut at the tab's edges.
    EXPECT_LE(dlg.PageControl1->fontMetrics().horizontalAdvance(dlg.PageControl1->Caption(i)),
              dlg.PageControl1->CaptionRect(i).width()) << captions[i];
  }
  EXPECT_EQ(dlg.PageControl1->ActivePage(), dlg.tsShortCut);
  EXPECT_EQ(dlg.groups.size(), 14u);
  EXPECT_EQ(dlg.keyLists.size(), 17u);
  // Buttons named after their group; the five-button groups have all five.
  const TmuGroupBox* alt = dlg.FindGroup("gbox_mmDoc_KeyDown_Alt");
  ASSERT_TRUE(alt);
  EXPECT_EQ(alt->CheckedName, "rb_mmDoc_KeyDown_Alt_Goto_WordDate");
  EXPECT_EQ(alt->findChildren<TmuRadioButton_Wendul*>().size(), 5);
  auto* seek = alt->findChild<TmuRadioButton_Wendul*>("rb_mmDoc_KeyDown_Alt_SeekWord");
  ASSERT_TRUE(seek);
  EXPECT_EQ(seek->Method, TwdlMethod::wdmtSeekWord);
  EXPECT_EQ(seek->ControlKey, ckAlt);
  EXPECT_EQ(seek->StayControl, TStayControl::scDoc);
  EXPECT_EQ(dlg.FindGroup("gbox_mmDoc_KeyDown_Tab")->findChildren<QRadioButton*>().size(), 3);
  EXPECT_EQ(dlg.FindGroup("gbox_WordDate_KeyDown_Shift")->CheckedName, "rb_WordDate_KeyDown_Shift_None");
  EXPECT_EQ(dlg.FindKeyList("cmbxGrep")->count(), 13);
  EXPECT_EQ(dlg.FindKeyList("cmbxGrep")->itemText(0), QString::fromUtf8("（なし）"));
  EXPECT_EQ(dlg.FindKeyList("cmbxGrep")->itemText(12), "F12");

  EXPECT_EQ(FromQ(dlg.KeyHelpText[0]), Sj(" SHIFTキーで類似単語を抽出します   CTRLキーで最新単語ウィンドウで検索します   "
                                          "TABキーで類似単語ウィンドウに行きます   ALTキーで最新単語ウィンドウに行きます "));
  EXPECT_EQ(FromQ(dlg.KeyHelpText[1]), Sj("  ALTキー または CTRLキー または ESCキーで文章入力ウィンドウに戻ります "));
  EXPECT_EQ(FromQ(dlg.KeyHelpText[2]), Sj(" SHIFTキー または TABキー または ESCキーで文章入力ウィンドウに戻ります "));

  // A choice acts at once; the help follows on "閉じる".
  dlg.findChild<QRadioButton*>("rb_mmDoc_KeyDown_Alt_None")->click();
  EXPECT_EQ(alt->CheckedName, "rb_mmDoc_KeyDown_Alt_None");
  EXPECT_NE(FromQ(dlg.KeyHelpText[0]).find(Sj("ALTキー")), std::string::npos);
  dlg.ShowSetup();
  dlg.btClose->click();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(FromQ(dlg.KeyHelpText[0]).find(Sj("ALTキー")), std::string::npos);  // "nothing" contributes nothing

  dlg.btTest->click();  // the terse test form
  EXPECT_EQ(FromQ(dlg.KeyHelpText[1]), Sj(" Shift Tabキーで何もしません   Alt Ctrl Escキーで文章入力ウィンドウに戻ります "));

  // A group child that is not one of the dialog's radio buttons is a form fault.
  auto* g = dlg.FindGroup("gbox_WordCode_KeyDown_Esc");
  new QRadioButton("x", g);
  try {
    dlg.BuildKeyHelp();
    FAIL() << "no error";
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "gbox_WordCode_KeyDown_Esc is not TmuRadioButton_Wendul ");
  }
}

TEST_F(DialogTest, AdministratorsSeeTheStripInAnOrdinaryWindow) {
  AdminLevelForSetup() = 2;
  TfmSetup dlg;
  EXPECT_EQ(dlg.size(), QSize(821, 485));
  EXPECT_FALSE(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(dlg.pnAdmin->isVisibleTo(&dlg));
  EXPECT_EQ(dlg.muEdit1->text(), "0");
  EXPECT_FALSE(dlg.muEdit1->IsIni);
  auto* shift = dlg.findChild<TmuCheckBox*>("cbxIsSeekKeywordShift");
  ASSERT_TRUE(shift);
  EXPECT_TRUE(shift->isChecked());
  EXPECT_FALSE(dlg.findChild<TmuCheckBox*>("cbxIsKwdFocusShift")->isChecked());
  EXPECT_TRUE(dlg.findChild<TmuCheckBox*>("cbxIsDocFocusShift")->isChecked());
}

TEST_F(DialogTest, StoredOptionsComeBackAndUnusableOnesStartAtTheirDefaults) {
  scope.ini().WriteStrings({{"fmSetup", "gbox_mmDoc_KeyDown_Shift", "rb_mmDoc_KeyDown_Shift_None"},
                            {"fmSetup", "gbox_mmDoc_KeyDown_Ctrl", "rb_WordCode_KeyDown_Esc_GotoDoc"},
                            {"fmSetup", "ed_WordCode_NLineDown", "3"},
                            {"fmSetup", "pnIMEColorSelect_Color", "255"},
                            {"fmSetup", "cbxIsIMEOn", "0"},
                            {"fmSetup", "cbxIsShowShortCutKeyHelp", "true"}});
  {
    TfmSetup dlg;
    EXPECT_EQ(dlg.FindGroup("gbox_mmDoc_KeyDown_Shift")->CheckedName, "rb_mmDoc_KeyDown_Shift_None");
    // Another group's button: not this group's; its own default stays.
    EXPECT_EQ(dlg.FindGroup("gbox_mmDoc_KeyDown_Ctrl")->CheckedName, "rb_mmDoc_KeyDown_Ctrl_SeekWord");
    EXPECT_EQ(dlg.ed_WordCode_NLineDown->text(), "3");
    EXPECT_EQ(dlg.pnIMEColorSelect->ColorValue(), 255);
    EXPECT_FALSE(dlg.cbxIsIMEOn->isChecked());
    EXPECT_FALSE(dlg.cbxIsShowShortCutKeyHelp->isChecked());  // only "1" is checked
  }
  IniFile ini = scope.ini();
  EXPECT_EQ(ini.ReadString("fmSetup", "gbox_mmDoc_KeyDown_Ctrl", ""), "rb_mmDoc_KeyDown_Ctrl_SeekWord");
  EXPECT_EQ(ini.ReadString("fmSetup", "cbxIsShowShortCutKeyHelp", ""), "0");
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace wendul
