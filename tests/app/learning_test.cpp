// Learning while typing, the registration commands and the word panes.
#include <QAction>
#include <QInputMethodEvent>
#include <QStatusBar>
#include <QTimer>
#include <stdexcept>

#include "app_fixture.h"
#include "windows/fmmsgbox.h"
#include "controls/qsjis.h"
#include "util/codec.h"
#include "util/messages.h"

namespace wendul::test {

using LearningTest = AppFixture;

TEST_F(LearningTest, WordIsStoredWhenASeparatorFollowsIt) {
  Start();
  TypeUtf8("テスト");
  EXPECT_FALSE(HasWord("テスト"));
  EXPECT_EQ(Words(d->tbMuKwd2).size(), 0u);
  TypeUtf8("の");
  EXPECT_TRUE(HasWord("テスト"));
  EXPECT_TRUE(main->Modified);
}

TEST_F(LearningTest, SimilarPaneFollowsTheWordBeingTyped) {
  Start();
  StoreWord("東京タワー", 100);
  StoreWord("東京駅", 101);
  StoreWord("大阪", 102);
  TypeUtf8("東京");
  const auto words = Words(d->tbMuKwd2);
  ASSERT_EQ(words.size(), 2u);
  // "KEYWORD" order is Shift-JIS byte order: タ (0x835E) before 駅 (0x8977).
  EXPECT_EQ(words[0], "東京タワー");
  EXPECT_EQ(words[1], "東京駅");
}

TEST_F(LearningTest, AnUnfinishedCompositionIsNoChange) {
  Start();
  StoreWord("東京タワー", 100);
  StoreWord("大阪", 101);
  TypeUtf8("東京");
  main->Modified = false;
  ASSERT_EQ(Words(d->tbMuKwd2).size(), 1u);
  // The kana before conversion and its cancellation: the pane keeps the
  // word being typed and the document is not modified.
  for (const char* kana : {"た", "たわ"}) {
    QInputMethodEvent preedit(QString::fromUtf8(kana), {});
    QApplication::sendEvent(main->mmDoc, &preedit);
    Settle();
    EXPECT_EQ(Words(d->tbMuKwd2).size(), 1u) << kana;
  }
  QInputMethodEvent cancel;
  QApplication::sendEvent(main->mmDoc, &cancel);
  Settle();
  EXPECT_EQ(Words(d->tbMuKwd2).size(), 1u);
  EXPECT_FALSE(main->Modified);
  // The committed text is a change like any other.
  TypeUtf8("タ");
  EXPECT_TRUE(main->Modified);
  EXPECT_EQ(Words(d->tbMuKwd2), std::vector<std::string>{"東京タワー"});
}

TEST_F(LearningTest, DeletingStoresNothingAndShowsAllWords) {
  Start();
  StoreWord("大阪", 100);
  TypeUtf8("アイウ");
  EXPECT_EQ(Words(d->tbMuKwd2).size(), 0u);
  Backspace();
  EXPECT_FALSE(HasWord("アイ"));
  EXPECT_EQ(Words(d->tbMuKwd2).size(), 1u);
}

TEST_F(LearningTest, PastingALongPassageLearnsOnlyTheLastFragment) {
  Start();
  main->mmDoc->SetText(Sj("最初文章です。二番目文章です。"));
  main->PrevLength = main->mmDoc->TextLength();
  main->mmDoc->SetSelStart(main->mmDoc->TextLength());
  main->edWrk->setText(QString::fromUtf8("古語です。新語です。"));
  main->edWrk->selectAll();
  main->edWrk->copy();
  main->mmDoc->paste();
  Settle();
  EXPECT_TRUE(HasWord("新語"));
  EXPECT_FALSE(HasWord("古語"));
  EXPECT_FALSE(HasWord("最初文章"));
}

TEST_F(LearningTest, RegisterSelectionAsOneWordAcceptsAnything) {
  Start();
  main->mmDoc->SetText(Sj("山です"));
  main->mmDoc->SetSelStart(0);
  main->mmDoc->SetSelLength(2);
  main->mmDoc->setFocus();
  main->MenuItem1Click();
  EXPECT_TRUE(HasWord("山"));
  EXPECT_EQ(d->tbMuKwd.IndexName(), "IDX_UPDATEDATE");
}

TEST_F(LearningTest, SplitSelectionStoresEveryWordWithProgress) {
  Start();
  main->mmDoc->SetText(Sj("東京と大阪と名古屋と京都"));
  main->mmDoc->SetSelStart(0);
  main->mmDoc->SetSelLength(main->mmDoc->TextLength());
  main->CnSplitKeyword_SelectString(nullptr);
  for (const char* w : {"東京", "大阪", "名古屋", "京都"}) EXPECT_TRUE(HasWord(w)) << w;
  EXPECT_TRUE(main->mmDoc->isEnabled());
  // The progress window is closed but not yet released: it listed every word.
  auto* box = main->findChild<TfmMsgBox*>();
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(box->isVisible());
  EXPECT_EQ(box->mmMessage->toPlainText(), QString::fromUtf8("東京\n大阪\n名古屋\n京都"));
  EXPECT_EQ(box->Label1->text(), "   4/   4");
}

TEST_F(LearningTest, SplitPreviousSentenceStoresTheLastWordToo) {
  Start();
  TypeUtf8("東京タワー");
  EXPECT_FALSE(HasWord("東京タワー"));
  main->CnSplitKeyword_PrevString(nullptr);
  EXPECT_TRUE(HasWord("東京タワー"));
}

TEST_F(LearningTest, SeekInLatestSelectsThePartialWordAndEnterReplacesIt) {
  Start();
  StoreWord("東京タワー", 100);
  StoreWord("東京駅", 200);
  TypeUtf8("は東京タ");
  const int64_t caret = main->mmDoc->CaretPos();
  main->mmDoc->setFocus();
  main->CnSeekWord(main->mgWordDate);
  Settle();
  EXPECT_EQ(main->mmDoc->SelText(), Sj("東京タ"));
  EXPECT_TRUE(main->SeekDone);
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("東京タワー"));
  main->mgMuKwdDblClick(main->mgWordDate);
  Settle();
  EXPECT_EQ(main->mmDoc->Text(), Sj("は東京タワー"));
  EXPECT_GT(UpdateDate("東京タワー"), 200);
  d->tbMuKwd.First();
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("東京タワー"));
  (void)caret;
}

TEST_F(LearningTest, LeavingThePaneWithoutInsertingRestoresTheCaret) {
  Start();
  StoreWord("東京タワー", 100);
  TypeUtf8("は東京タ");
  const int64_t caret = main->mmDoc->CaretPos();
  main->CnSeekWord(main->mgWordDate);
  Settle();
  ASSERT_TRUE(main->SeekDone);
  main->mmDoc->setFocus();
  Settle();
  EXPECT_EQ(main->mmDoc->CaretPos(), caret);
  EXPECT_EQ(main->mmDoc->SelLength(), 0);
  EXPECT_FALSE(main->SeekDone);
}

TEST_F(LearningTest, SeekWithNoMatchShowsNotFoundAndKeepsThePane) {
  Start();
  StoreWord("大阪", 100);
  d->tbMuKwd.First();
  EXPECT_FALSE(main->SeekInLatest(Sj("東京")));
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("大阪"));
  EXPECT_TRUE(main->StatusBarMain->currentMessage().endsWith(QString::fromUtf8("\"東京\" は見つかりませんでした")));
  EXPECT_TRUE(main->SeekInLatest(Sj("   ")));  // blanks: nothing to do
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(LearningTest, SimilarFilterWithAQuoteIsHandled) {
  Start();
  StoreWord("a'b", 100);
  EXPECT_EQ(main->SimilarFilter("a'"), 1);
}

TEST_F(LearningTest, ToggleKeywordOrderTwiceReturnsToLatestFirst) {
  Start();
  StoreWord("アア", 100);
  StoreWord("イイ", 300);
  StoreWord("ウウ", 200);
  main->CnChgKeywordSort(nullptr);
  EXPECT_EQ(d->tbMuKwd.IndexFieldNames(), "KEYWORD");
  EXPECT_EQ(Words(d->tbMuKwd).front(), "アア");
  main->CnChgKeywordSort(nullptr);
  EXPECT_EQ(d->tbMuKwd.IndexName(), "IDX_UPDATEDATE");
  EXPECT_EQ(d->tbMuKwd.GS("KEYWORD"), Sj("イイ"));
}

TEST_F(LearningTest, InsertingFromThePaneDoesNotLearnOrMarkModified) {
  Start();
  StoreWord("大阪城", 100);
  d->tbMuKwd.First();
  main->Modified = false;
  main->mgMuKwdDblClick(main->mgWordDate);
  Settle();
  EXPECT_EQ(main->mmDoc->Text(), Sj("大阪城"));
  EXPECT_FALSE(main->Modified);
}

TEST_F(LearningTest, EnterInAPaneInsertsItsWord) {
  Start();
  StoreWord("名古屋城", 100);
  main->mgWordDate->setFocus();
  d->tbMuKwd.First();
  Settle();
  QTest::keyClick(main->mgWordDate, Qt::Key_Return);
  Settle();
  EXPECT_EQ(main->mmDoc->Text(), Sj("名古屋城"));
  EXPECT_TRUE(main->mmDoc->hasFocus());
}

TEST_F(LearningTest, CaptionShowsFileNameWordAndSeekNote) {
  Start();
  StoreWord("東京タワー", 100);
  TypeUtf8("東京タ");
  main->CnSeekWord(main->mgWordDate);
  Settle();
  EXPECT_TRUE(main->windowTitle().contains(QString::fromUtf8("東京タワー（東京タ）")));

  // An empty word leaves the file name alone; another data source is an inconsistency.
  main->edCurFileName->setText("memo.txt");
  d->tbMuKwd2.SetFilter("KEYWORD='none*'");
  d->dsMuKwdDataChange(d->dsMuKwd2);
  EXPECT_EQ(main->windowTitle(), "memo.txt");
  try {
    d->dsMuKwdDataChange(d->dsGrep);
    ADD_FAILURE() << "no error";
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "TD.dsMuKwdDataChange");
  }
}

TEST_F(LearningTest, SmallerFaultsOfThePanesAndTheProgressWindow) {
  Start();
  // The words of one keystroke: the one stored last is the top row, under the marker.
  main->mmDoc->SetText(Sj("東京タワーと大阪城と名古屋駅"));
  main->mmDoc->SetSelStart(main->mmDoc->TextLength());
  TypeUtf8("と");
  Settle();
  EXPECT_LT(UpdateDate("東京タワー"), UpdateDate("大阪城"));
  EXPECT_LT(UpdateDate("大阪城"), UpdateDate("名古屋駅"));
  EXPECT_EQ(main->mgWordDate->CurrentRow(), 0);
  EXPECT_EQ(main->mgWordDate->CellText(0, 0), QString::fromUtf8("名古屋駅"));

  // A word registered from the context menu shows in the similar-word pane at once.
  TypeUtf8("京");
  ASSERT_EQ(main->mgWordCode->ShownRowCount(), 0);
  main->mmDoc->SetSelStart(0);
  main->mmDoc->SetSelLength(4);  // 東京
  main->mmDoc->setFocus();
  main->SimilarFilter(Sj("東"));
  Settle();
  const int before = main->mgWordCode->ShownRowCount();
  main->MenuItem1Click();
  Settle();
  EXPECT_EQ(main->mgWordCode->ShownRowCount(), before + 1);

  // A selection too long to register: the progress window behind the message
  // never shows its label without a count.
  struct LabelWatch : RecordingUi {
    TfmMain* main = nullptr;
    bool labelShown = false;
    void ShowMessage(const SjisString& caption, const SjisString& text) override {
      if (auto* box = main->findChild<TfmMsgBox*>()) labelShown = labelShown || box->Label1->isVisible();
      RecordingUi::ShowMessage(caption, text);
    }
  } watch;
  watch.main = main;
  main->mmDoc->SetText(SjisString(17000, 'a'));
  main->mmDoc->SetSelStart(0);
  main->mmDoc->SetSelLength(main->mmDoc->TextLength());
  main->CnSplitKeyword_SelectString(nullptr);
  ASSERT_EQ(watch.messages.size(), 1u);
  EXPECT_EQ(watch.messages[0].caption, "Wendul");
  EXPECT_FALSE(watch.labelShown);
}

TEST_F(LearningTest, AnErrorEscapingAHandlerIsShownAndTheEditorGoesOn) {
  Start();
  QTimer::singleShot(0, main, [] { PgmError("TfmMain.Test"); });
  Settle();
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_EQ(ui->messages[0].caption, "Wendul");
  EXPECT_EQ(ui->messages[0].text, "TfmMain.Test");

  // An engine-like error from a key handler: a Japanese first line, then its text.
  struct Thrower : QWidget {
    void keyPressEvent(QKeyEvent*) override { throw std::runtime_error("database is locked"); }
  } thrower;
  QTest::keyClick(&thrower, Qt::Key_A);
  ASSERT_EQ(ui->messages.size(), 2u);
  EXPECT_EQ(ui->messages[1].text, Sj("エラーが発生しました。") + "\r\ndatabase is locked");

  TypeUtf8("まだ書ける");
  EXPECT_EQ(main->mmDoc->Text(), Sj("まだ書ける"));
}

}  // namespace wendul::test
