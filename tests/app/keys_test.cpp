// Keyboard dispatch in the whole program, with keys as the platform delivers
// them: to the focused window, through the shortcut map, the application's
// event filters, the main window's preview and then the control.
#include <QAction>
#include <QMenuBar>
#include <QTest>
#include <QWindow>

#include "app_fixture.h"
#include "controls/mupanel.h"
#include "controls/qsjis.h"

namespace wendul::test {
namespace {

class KeysTest : public AppFixture {
 protected:
  // A key event as the window system hands it to the focused window. The
  // window system interface adds a modifier's own bit to its press and takes
  // it from its release (the press then carries it, the release not, as X11
  // reports them): the state given here is the one before the event.
  void Send(QEvent::Type type, int key, Qt::KeyboardModifiers mods, const QString& text, bool repeat) {
    qt_handleKeyEvent(QGuiApplication::focusWindow(), type, key, mods, text, repeat);
  }
  void Down(int key, Qt::KeyboardModifiers held = {}, const QString& text = {}, bool repeat = false) {
    Send(QEvent::KeyPress, key, held, text, repeat);
  }
  void Up(int key, Qt::KeyboardModifiers held = {}, const QString& text = {}, bool repeat = false) {
    const auto own = key == Qt::Key_Shift ? Qt::ShiftModifier
                     : key == Qt::Key_Control ? Qt::ControlModifier
                     : key == Qt::Key_Alt ? Qt::AltModifier : Qt::NoModifier;
    Send(QEvent::KeyRelease, key, held | own, text, repeat);
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
  void Choose(const char* button) { setup->findChild<QRadioButton*>(button)->setChecked(true); }
  QWidget* Focus() const { return QApplication::focusWidget(); }
  bool MenuBarActive() const { return main->menuBar()->hasFocus() || main->menuBar()->activeAction(); }
};

TEST_F(KeysTest, LoneModifiersSeekJumpAndComeBack) {
  Start();
  StoreWord("東京タワー", 100);
  StoreWord("東京駅", 200);
  TypeUtf8("は東京タ");
  // Shift alone: the partly typed word is selected and the similar words take the focus;
  // ENTER puts the word over it and returns.
  Alone(Qt::Key_Shift);
  EXPECT_EQ(Focus(), main->mgWordCode);
  EXPECT_EQ(main->mmDoc->SelText(), Sj("東京タ"));
  Click(Qt::Key_Return, {}, "\r");
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->Text(), Sj("は東京タワー"));
  EXPECT_GT(UpdateDate("東京タワー"), 200);

  // Shift+A types a capital and jumps nowhere (Shift released first, as xdotool does).
  Down(Qt::Key_Shift);
  Down(Qt::Key_A, Qt::ShiftModifier, "A");
  Up(Qt::Key_Shift);
  Up(Qt::Key_A, {}, "a");
  // A key the shortcut map takes never arrives as a key-down: it cancels the lone Ctrl all the same.
  QAction probe(main);
  probe.setShortcut(QKeySequence("Ctrl+K"));
  main->addAction(&probe);
  int runs = 0;
  QObject::connect(&probe, &QAction::triggered, [&runs] { ++runs; });
  Down(Qt::Key_Control);
  Click(Qt::Key_K, Qt::ControlModifier, QString(QChar(11)));
  EXPECT_FALSE(main->Keys.CtrlAlone);
  Up(Qt::Key_Control);
  // Held until it repeats, as X11 release/press pairs.
  Down(Qt::Key_Shift);
  Up(Qt::Key_Shift, {}, {}, true);
  Settle();
  EXPECT_EQ(Focus(), main->mmDoc);  // half of a pair, not a release
  Down(Qt::Key_Shift, Qt::ShiftModifier, {}, true);
  Up(Qt::Key_Shift);
  Settle();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(main->mmDoc->Text(), Sj("は東京タワーA"));
  EXPECT_EQ(Focus(), main->mmDoc);

  // Ctrl alone seeks in the latest words; Esc, consumed on its press, comes back on its release.
  TypeUtf8("、東京");
  Alone(Qt::Key_Control);
  EXPECT_EQ(Focus(), main->mgWordDate);
  EXPECT_EQ(main->mmDoc->SelText(), Sj("東京"));
  Down(Qt::Key_Escape);
  Settle();
  EXPECT_EQ(Focus(), main->mgWordDate);
  Up(Qt::Key_Escape);
  Settle();
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->SelLength(), 0);
}

TEST_F(KeysTest, LoneAltLeavesTheMenuBarAloneUnlessItDoesNothing) {
  Start();
  Alone(Qt::Key_Alt);
  EXPECT_EQ(Focus(), main->mgWordDate);
  Alone(Qt::Key_Alt);  // back, the latest words' default
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_FALSE(MenuBarActive());
  // Alt with a digit: the error, no digit, no jump and no menu bar after it.
  Down(Qt::Key_Alt);
  Click(Qt::Key_1, Qt::AltModifier, "1");
  Up(Qt::Key_Alt);
  Settle();
  ASSERT_FALSE(ui->messages.empty());
  EXPECT_EQ(ui->messages.back().text, "now stop RtvKeyword");
  EXPECT_EQ(main->mmDoc->Text(), "");
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_FALSE(MenuBarActive());
  // Alt with a menu's letter opens that menu and types nothing.
  Down(Qt::Key_Alt);
  Click(Qt::Key_T, Qt::AltModifier, "t");
  Up(Qt::Key_Alt);
  Settle();
  EXPECT_EQ(main->mmDoc->Text(), "");
  ASSERT_NE(QApplication::activePopupWidget(), nullptr);
  EXPECT_EQ(QApplication::activePopupWidget()->objectName(), "miTool");
  QApplication::activePopupWidget()->close();
  Settle();
  // "何もしません": the platform's lone Alt, the menu bar; so in the similar words by default.
  Choose("rb_mmDoc_KeyDown_Alt_None");
  Alone(Qt::Key_Alt);
  EXPECT_TRUE(MenuBarActive());
  Click(Qt::Key_Escape);
  main->CnSetFocusWordCode(nullptr);
  Settle();
  Alone(Qt::Key_Alt);
  EXPECT_TRUE(MenuBarActive());
}

TEST_F(KeysTest, TabJumpsOrTypesAsTheOptionsSay) {
  Start();
  TypeUtf8("東京");  // typed since the last key-down: Tab acts all the same
  Click(Qt::Key_Tab, {}, "\t");
  EXPECT_EQ(Focus(), main->mgWordCode);
  Click(Qt::Key_Tab, {}, "\t");
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->Text(), Sj("東京"));
  Choose("rb_mmDoc_KeyDown_Tab_None");
  Click(Qt::Key_Tab, {}, "\t");
  EXPECT_EQ(Focus(), main->mmDoc);
  EXPECT_EQ(main->mmDoc->Text(), Sj("東京\t"));
}

TEST_F(KeysTest, WordPaneKeysMoveDeleteReorderAndInsert) {
  Start();
  for (int i = 0; i < 20; ++i) StoreWord(("単語" + std::to_string(10 + i)).c_str(), 100 + i);  // 単語29 newest
  main->SimilarFilter("");
  main->CnSetFocusWordDate(nullptr);
  d->tbMuKwd.First();
  auto current = [this] { return SjisToUtf8(d->tbMuKwd.GS("KEYWORD")); };
  Click(Qt::Key_Right);
  EXPECT_EQ(current(), "単語21");
  Click(Qt::Key_Left);
  EXPECT_EQ(current(), "単語29");
  setup->ed_WordDate_NLineDown->setText("0");
  Click(Qt::Key_Right);
  EXPECT_EQ(current(), "単語29");
  setup->ed_WordDate_NLineDown->setText("99999999");  // as far as the field allows
  Click(Qt::Key_Right);
  EXPECT_EQ(current(), "単語10");
  Click(Qt::Key_Pause);
  EXPECT_EQ(d->tbMuKwd.IndexFieldNames(), "KEYWORD");
  Click(Qt::Key_ScrollLock);
  EXPECT_EQ(current(), "単語29");

  // Delete: gone from the table at once, without a question, and from the other pane.
  Click(Qt::Key_Delete);
  EXPECT_FALSE(HasWord("単語29"));
  EXPECT_EQ(main->mgWordCode->CellText(main->mgWordCode->ShownRowCount() - 1, 0), QString::fromUtf8("単語28"));
  EXPECT_TRUE(ui->messages.empty());
  // An empty pane: said, nothing deleted.
  main->SimilarFilter(Sj("該当なし"));
  main->CnSetFocusWordCode(nullptr);
  Click(Qt::Key_Delete);
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_EQ(ui->messages[0].text.rfind(Sj("単語を削除できませんでした。"), 0), 0u);
  EXPECT_EQ(Words(d->tbMuKwd).size(), 19u);

  main->CnSetFocusWordDate(nullptr);
  Click(Qt::Key_Return, {}, "\r");
  EXPECT_EQ(main->mmDoc->Text(), Sj("単語28"));
  EXPECT_EQ(Focus(), main->mmDoc);
}

TEST_F(KeysTest, TheFocusedPaneIsHighlightedWithItsKeyHelp) {
  Start();
  const QString enter = QString::fromUtf8("ENTERキーで単語を文章に挿入します  ");
  EXPECT_EQ(main->pnMessage->Caption(), setup->KeyHelpText[0]);
  main->CnSetFocusWordCode(nullptr);
  Settle();
  EXPECT_EQ(main->pnMessage->Caption(), enter + setup->KeyHelpText[2]);
  EXPECT_EQ(main->pnWordCodeCaption->Color(), TmuPanel::FocusColor());
  EXPECT_NE(main->pnDocCaption->Color(), TmuPanel::FocusColor());
  main->CnSetFocusWordDate(nullptr);

  // A changed choice acts at once and shows once the dialog closed and the window is active again.
  Choose("rb_WordDate_KeyDown_Shift_GotoDoc");
  setup->ShowSetup();
  setup->activateWindow();
  (void)QTest::qWaitForWindowActive(setup);  // offscreen may not report it
  setup->btCloseClick();
  main->activateWindow();
  (void)QTest::qWaitForWindowActive(main);
  Settle();
  EXPECT_TRUE(setup->KeyHelpText[1].contains(QString::fromUtf8("SHIFTキー")));
  EXPECT_EQ(main->pnMessage->Caption(), enter + setup->KeyHelpText[1]);
  EXPECT_EQ(main->mgWordDate->toolTip(), setup->KeyHelpText[1]);
  EXPECT_EQ(main->pnWordDateCaption->Color(), TmuPanel::FocusColor());
  Alone(Qt::Key_Shift);
  EXPECT_EQ(Focus(), main->mmDoc);
}

// What the program does on its own keys never moves where the input method's
// text lands: inside a composition the lone keys are the input method's
// (with only the toolkit's events, as under Wayland), a command run inside
// one first commits it where it was typed, and a seek that finds nothing
// leaves no selection for the next text to replace.
TEST_F(KeysTest, TextLandsWhereItIsTyped) {
  Start();
  StoreWord("カメラ", 100);
  auto unmoved = [this](const char* what) {
    EXPECT_EQ(Focus(), main->mmDoc) << what;
    EXPECT_EQ(main->mmDoc->SelLength(), 0) << what;
  };
  // Nothing begins with 買: the seek's selection goes and the caret comes back.
  TypeUtf8("カメラを買ったかめ");
  const int64_t end = main->mmDoc->TextLength();
  Alone(Qt::Key_Shift);
  unmoved("a similar-word seek that found nothing");
  Alone(Qt::Key_Control);
  unmoved("a latest-word seek that found nothing");
  EXPECT_EQ(main->mmDoc->SelStart(), end);
  TypeUtf8("ね。");

  auto preedit = [this](const char* utf8) {
    const QString t = QString::fromUtf8(utf8);
    QInputMethodEvent e(t, {QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, static_cast<int>(t.size()), 1, {})});
    QApplication::sendEvent(main->mmDoc, &e);
    Settle();
  };
  preedit("かめら");
  Alone(Qt::Key_Shift);
  unmoved("Shift in a composition");
  Alone(Qt::Key_Control);
  unmoved("Ctrl in a composition");
  Click(Qt::Key_Tab, {}, "\t");
  unmoved("Tab in a composition");
  // Alt is the input method's too: no menu bar, also when the composition
  // ends between its press and its release.
  Alone(Qt::Key_Alt);
  unmoved("Alt in a composition");
  EXPECT_FALSE(MenuBarActive());
  Down(Qt::Key_Alt);
  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf8("カメラ"));
  QApplication::sendEvent(main->mmDoc, &commit);
  Up(Qt::Key_Alt);
  Settle();
  unmoved("Alt released after the commit");
  EXPECT_FALSE(MenuBarActive());
  // Shift+P, the letter taken into a new composition: only its pre-edit tells.
  Down(Qt::Key_Shift);
  preedit("P");
  Up(Qt::Key_Shift);
  Settle();
  unmoved("Shift+P");
  // F1 seeks: the composition is text at the caret first.
  Click(Qt::Key_F1);
  EXPECT_EQ(main->mmDoc->Text(), Sj("カメラを買ったかめね。カメラP"));
  EXPECT_EQ(main->mmDoc->PreeditText(), QString());
}

}  // namespace
}  // namespace wendul::test
