// Keyboard dispatch in the whole program, with keys as the platform delivers
// them: to the focused window, through the shortcut map, the application's
// event filters, the main window's preview and then the control.
#include <QAction>
#include <QClipboard>
#include <QMenuBar>
#include <QTest>
#include <QWindow>

#include "app_fixture.h"
#include "controls/mubuttons.h"
#include "controls/mupanel.h"
#include "controls/qsjis.h"
#include "settings/setuplinks.h"

namespace wendul::test {
namespace {

class KeysTest : public AppFixture {
 protected:
  // A key event as the window system hands it to the focused window. The
  // window system interface adds a modifier's own bit to its press and takes
  // it from its release (the press then carries it, the release not, as X11
  // reports them): the state given here is the one before the event.
  void Send(QEvent::Type type, int key, Qt::KeyboardModifiers mods, const QString& text = {}, bool repeat = false) {
    QWindow* w = QGuiApplication::focusWindow();
    ASSERT_NE(w, nullptr);
    qt_handleKeyEvent(w, type, key, mods, text, repeat);
  }
  static Qt::KeyboardModifiers Own(int key) {
    return key == Qt::Key_Shift     ? Qt::ShiftModifier
           : key == Qt::Key_Control ? Qt::ControlModifier
           : key == Qt::Key_Alt     ? Qt::AltModifier
                                    : Qt::NoModifier;
  }
  void Down(int key, Qt::KeyboardModifiers held = {}, const QString& text = {}, bool repeat = false) {
    Send(QEvent::KeyPress, key, held, text, repeat);
  }
  void Up(int key, Qt::KeyboardModifiers held = {}, const QString& text = {}, bool repeat = false) {
    Send(QEvent::KeyRelease, key, held | Own(key), text, repeat);
  }
  void Alone(int key) {
    Down(key);
    Up(key);
    Settle();
  }
  void Click(int key, Qt::KeyboardModifiers held = {}, const QString& text = {}) {
    Down(key, held, text);
    Up(key, held, text);
    Settle();
  }
  void Choose(const char* group, const char* button) {
    auto* rb = setup->findChild<QRadioButton*>(button);
    ASSERT_NE(rb, nullptr) << button;
    rb->setChecked(true);
    ASSERT_EQ(setup->FindGroup(group)->CheckedName, QString(button));
  }
  QWidget* Focus() const { return QApplication::focusWidget(); }
  bool MenuBarActive() const { return main->menuBar()->hasFocus() || main->menuBar()->activeAction(); }
};

TEST_F(KeysTest, LoneModifiersSeekAndJumpOnlyWhenPressedAndReleasedByThemselves) {
  Start();
  StoreWord("東京タワー", 100);
  StoreWord("東京駅", 200);
  TypeUtf8("は東京タ");
  // Shift alone: the partly typed word is selected and the similar words take the focus.
  Alone(Qt::Key_Shift);
  EXPECT_EQ(Focus(), main->mgWordCode);
  EXPECT_EQ(main->mmDoc->SelText(), Sj("東京タ"));
  EXPECT_EQ(d->tbMuKwd2.GS("KEYWORD"), Sj("東京タワー"));
  EXPECT_EQ(main->LastPane, 1);
  // ENTER inserts the word over the selection and returns to the document.
  Click(Qt::Key_Return, {}, "\r");
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->Text(), Sj("は東京タワー"));
  EXPECT_GT(UpdateDate("東京タワー"), 200);

  // Shift+A types a capital and jumps nowhere, in either order of the releases.
  Down(Qt::Key_Shift);
  Click(Qt::Key_A, Qt::ShiftModifier, "A");
  Up(Qt::Key_Shift);
  Down(Qt::Key_Shift);
  Down(Qt::Key_B, Qt::ShiftModifier, "B");
  Up(Qt::Key_Shift);
  Up(Qt::Key_B, {}, "b");
  Settle();
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->Text(), Sj("は東京タワーAB"));

  // Ctrl, then Shift, both released: nothing.
  Down(Qt::Key_Control);
  Down(Qt::Key_Shift, Qt::ControlModifier);
  Up(Qt::Key_Control, Qt::ShiftModifier);
  Up(Qt::Key_Shift);
  Settle();
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->SelLength(), 0);

  // Ctrl+C copies through the menu and leaves no lone Ctrl behind.
  main->mmDoc->selectAll();
  Down(Qt::Key_Control);
  EXPECT_TRUE(main->Keys.CtrlAlone);
  Click(Qt::Key_C, Qt::ControlModifier, QString(QChar(3)));
  EXPECT_FALSE(main->Keys.CtrlAlone);
  Up(Qt::Key_Control);
  Settle();
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("は東京タワーAB"));
  EXPECT_EQ(Focus(), main->mmDoc);
  // A key the shortcut map takes never arrives as a key-down; the hook sees it all the same.
  main->mmDoc->moveCursor(QTextCursor::End);
  QAction probe(main);
  probe.setShortcut(QKeySequence("Ctrl+K"));
  main->addAction(&probe);
  int runs = 0;
  QObject::connect(&probe, &QAction::triggered, [&runs] { ++runs; });
  Down(Qt::Key_Control);
  Click(Qt::Key_K, Qt::ControlModifier, QString(QChar(11)));
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(main->Keys.CtrlAlone);
  Up(Qt::Key_Control);
  Settle();
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->SelLength(), 0);

  // Held until it repeats, as repeated presses or as X11 release/press pairs: nothing.
  TypeUtf8("、東京");
  Down(Qt::Key_Control);
  Down(Qt::Key_Control, Qt::ControlModifier, {}, true);
  Up(Qt::Key_Control);
  Down(Qt::Key_Shift);
  Up(Qt::Key_Shift, {}, {}, true);
  Settle();
  EXPECT_EQ(Focus(), main->mmDoc);  // half of a pair, not a release
  Down(Qt::Key_Shift, Qt::ShiftModifier, {}, true);
  Up(Qt::Key_Shift);
  Settle();
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->Keys.KeyCount, 0);

  // Ctrl alone seeks in the latest words; Esc comes back on its release.
  Alone(Qt::Key_Control);
  EXPECT_EQ(Focus(), main->mgWordDate);
  EXPECT_EQ(main->mmDoc->SelText(), Sj("東京"));
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("東京タワーAB"));  // learned last, at the "、"
  Down(Qt::Key_Escape);
  Settle();
  EXPECT_EQ(Focus(), main->mgWordDate);
  Up(Qt::Key_Escape);
  Settle();
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->SelLength(), 0);  // the caret as before the seek

  // Shift goes back from the similar words but not from the latest words.
  main->CnSetFocusWordDate(nullptr);
  Alone(Qt::Key_Shift);
  EXPECT_EQ(Focus(), main->mgWordDate);
  main->CnSetFocusWordCode(nullptr);
  Alone(Qt::Key_Shift);
  EXPECT_EQ(Focus(), main->mmDoc);

  // A key-up another window passes on only resets the count.
  Down(Qt::Key_Shift);
  QKeyEvent up(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
  main->mgWordDate->setFocus();  // no matter where the focus is
  Settle();
  MainKeyUpHook()(&up);
  EXPECT_EQ(main->Keys.KeyCount, 0);
}

TEST_F(KeysTest, LoneAltGoesToTheLatestWordsWithoutTheMenuBarUnlessItDoesNothing) {
  Start();
  StoreWord("東京タワー", 100);
  Alone(Qt::Key_Alt);
  EXPECT_EQ(Focus(), main->mgWordDate);
  EXPECT_FALSE(MenuBarActive());
  Alone(Qt::Key_Alt);  // back with the latest words' default
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_FALSE(MenuBarActive());
  // Alt with a digit: an error, no digit typed, no jump and no menu bar after it.
  Down(Qt::Key_Alt);
  Click(Qt::Key_1, Qt::AltModifier, "1");
  Up(Qt::Key_Alt);
  Settle();
  ASSERT_FALSE(ui->messages.empty());
  EXPECT_EQ(ui->messages.back().text, "now stop RtvKeyword");
  EXPECT_EQ(main->mmDoc->Text(), "");
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_FALSE(MenuBarActive());

  // "何もしません": the platform's lone Alt, the menu bar.
  Choose("gbox_mmDoc_KeyDown_Alt", "rb_mmDoc_KeyDown_Alt_None");
  Alone(Qt::Key_Alt);
  EXPECT_TRUE(MenuBarActive());
  Click(Qt::Key_Escape);
  Click(Qt::Key_Escape);
  main->CnSetFocusWordCode(nullptr);  // whose Alt stays by default
  Settle();
  Alone(Qt::Key_Alt);
  EXPECT_TRUE(MenuBarActive());
}

TEST_F(KeysTest, TabJumpsOrTypesAsTheOptionsSay) {
  Start();
  TypeUtf8("東京");
  // Typed since the last key-down: Tab acts all the same, and types nothing.
  Click(Qt::Key_Tab, {}, "\t");
  EXPECT_EQ(Focus(), main->mgWordCode);
  EXPECT_EQ(main->mmDoc->Text(), Sj("東京"));
  Click(Qt::Key_Tab, {}, "\t");  // back from the similar words
  EXPECT_EQ(Focus(), main->mmDoc);
  main->CnSetFocusWordDate(nullptr);
  Click(Qt::Key_Tab, {}, "\t");  // the latest words keep it, and the focus
  EXPECT_EQ(Focus(), main->mgWordDate);
  main->CnSetFocusLog(nullptr);

  Choose("gbox_mmDoc_KeyDown_Tab", "rb_mmDoc_KeyDown_Tab_Goto_WordDate");
  Click(Qt::Key_Tab, {}, "\t");
  EXPECT_EQ(Focus(), main->mgWordDate);
  main->CnSetFocusLog(nullptr);
  Choose("gbox_mmDoc_KeyDown_Tab", "rb_mmDoc_KeyDown_Tab_None");
  Click(Qt::Key_Tab, {}, "\t");
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->Text(), Sj("東京\t"));
}

TEST_F(KeysTest, WordPaneKeysMoveDeleteAndReorder) {
  Start();
  for (int i = 0; i < 20; ++i) StoreWord(("単語" + std::to_string(10 + i)).c_str(), 100 + i);  // 単語29 newest
  main->SimilarFilter("");
  main->CnSetFocusWordDate(nullptr);
  d->tbMuKwd.First();
  Settle();
  Click(Qt::Key_Right);
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("単語21"));
  Click(Qt::Key_Left);
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("単語29"));
  setup->ed_WordDate_NLineDown->setText("2.7");
  Click(Qt::Key_Right);
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("単語27"));
  setup->ed_WordDate_NLineDown->setText("0");
  Click(Qt::Key_Right);
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("単語27"));
  setup->ed_WordDate_NLineDown->setText("99999999");  // as far as the field allows: the last word
  Click(Qt::Key_Right);
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("単語10"));
  EXPECT_EQ(Focus(), main->mgWordDate);

  // Pause and Scroll Lock toggle the order of the pane's own table.
  Click(Qt::Key_Pause);
  EXPECT_EQ(d->tbMuKwd.IndexFieldNames(), "KEYWORD");
  Click(Qt::Key_ScrollLock);
  EXPECT_EQ(d->tbMuKwd.IndexName(), "IDX_UPDATEDATE");
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("単語29"));
  main->CnSetFocusWordCode(nullptr);
  Click(Qt::Key_Pause);
  EXPECT_EQ(d->tbMuKwd2.IndexName(), "IDX_UPDATEDATE");
  Click(Qt::Key_Pause);
  EXPECT_EQ(d->tbMuKwd2.IndexFieldNames(), "KEYWORD");

  // Delete: gone from the table at once, without a question, and from the other pane.
  d->tbMuKwd2.First();
  Settle();
  ASSERT_EQ(d->tbMuKwd2.GS("KEYWORD"), Sj("単語10"));
  const size_t before = ui->messages.size();
  Click(Qt::Key_Delete);
  EXPECT_EQ(ui->messages.size(), before);
  EXPECT_FALSE(HasWord("単語10"));
  EXPECT_EQ(main->mgWordCode->CellText(0, 0), QString::fromUtf8("単語11"));
  main->CnSetFocusWordDate(nullptr);
  d->tbMuKwd.First();
  Click(Qt::Key_Delete);
  EXPECT_FALSE(HasWord("単語29"));
  for (int r = 0; r < main->mgWordCode->ShownRowCount(); ++r)
    EXPECT_NE(main->mgWordCode->CellText(r, 0), QString::fromUtf8("単語29"));
  EXPECT_EQ(Words(d->tbMuKwd2).size(), 18u);

  // An empty pane: said, nothing deleted.
  main->SimilarFilter(Sj("該当なし"));
  main->CnSetFocusWordCode(nullptr);
  Click(Qt::Key_Delete);
  ASSERT_GT(ui->messages.size(), before);
  EXPECT_EQ(ui->messages.back().text.rfind(Sj("単語を削除できませんでした。"), 0), 0u);
  EXPECT_EQ(Words(d->tbMuKwd).size(), 18u);

  // ENTER inserts the current word.
  main->CnSetFocusWordDate(nullptr);
  d->tbMuKwd.First();
  Click(Qt::Key_Return, {}, "\r");
  EXPECT_EQ(main->mmDoc->Text(), Sj("単語28"));
  EXPECT_EQ(Focus(), main->mmDoc);
}

TEST_F(KeysTest, TheFocusedPaneIsHighlightedWithItsKeyHelp) {
  Start();
  const QString enter = QString::fromUtf8("ENTERキーで単語を文章に挿入します  ");
  EXPECT_EQ(main->pnDocCaption->Color(), TmuPanel::FocusColor());
  EXPECT_EQ(main->pnMessage->Caption(), setup->KeyHelpText[0]);
  main->CnSetFocusWordCode(nullptr);
  Settle();
  EXPECT_EQ(main->pnMessage->Caption(), enter + setup->KeyHelpText[2]);
  EXPECT_EQ(main->pnWordCodeCaption->Color(), TmuPanel::FocusColor());
  EXPECT_EQ(main->pnWordCodeCaption->FontColor(), QColor(Qt::white));
  EXPECT_NE(main->pnDocCaption->Color(), TmuPanel::FocusColor());
  main->CnSetFocusWordDate(nullptr);
  Settle();
  EXPECT_EQ(main->pnMessage->Caption(), enter + setup->KeyHelpText[1]);
  EXPECT_EQ(main->LastPane, 2);
  EXPECT_NE(main->pnWordCodeCaption->Color(), TmuPanel::FocusColor());

  // A changed choice shows once the dialog closes and the window is active again.
  Choose("gbox_WordDate_KeyDown_Shift", "rb_WordDate_KeyDown_Shift_GotoDoc");
  setup->ShowSetup();
  setup->activateWindow();
  QTest::qWaitForWindowActive(setup);
  EXPECT_NE(main->pnWordDateCaption->Color(), TmuPanel::FocusColor());
  setup->btCloseClick();
  main->activateWindow();
  QTest::qWaitForWindowActive(main);
  Settle();
  EXPECT_TRUE(setup->KeyHelpText[1].contains(QString::fromUtf8("SHIFTキー")));
  EXPECT_EQ(main->pnMessage->Caption(), enter + setup->KeyHelpText[1]);
  EXPECT_EQ(main->mgWordDate->toolTip(), setup->KeyHelpText[1]);
  EXPECT_EQ(main->pnWordDateCaption->Color(), TmuPanel::FocusColor());
  Alone(Qt::Key_Shift);  // and acts
  EXPECT_EQ(Focus(), main->mmDoc);
}

}  // namespace
}  // namespace wendul::test
