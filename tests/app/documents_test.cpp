// Document files in the main window: the status line, the save question,
// saving, opening, drops, encodings, file names and the recovery of unsaved text.
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QListView>
#include <QMimeData>
#include <QRegularExpression>
#include <QStatusBar>
#include <QUrl>
#include <csignal>
#include <fstream>
#include <unistd.h>

#include "app_fixture.h"
#include "controls/qsjis.h"
#include "util/recovery.h"

namespace wendul::test {

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

class DocumentsTest : public AppFixture {
 protected:
  SjisString Status() { return FromQ(main->StatusBarMain->currentMessage()); }
  void SetUp() override {
    AppFixture::SetUp();
    // The file dialogs keep their last folder in Qt's own settings: here, not the user's.
    setenv("XDG_CONFIG_HOME", home->path().c_str(), 1);
  }
  void TearDown() override {
    AppFixture::TearDown();
    unsetenv("XDG_CONFIG_HOME");
  }
  // The file dialogs answer with `name` ("" cancels) and count their calls.
  void DialogAnswers(const std::string& name) {
    main->RunFileDialog = [this, name](QFileDialog* d) {
      ++dialogs;
      dialogInitial = d->selectedFiles().value(0).toStdString();
      return QString::fromStdString(name);
    };
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (auto& m : ui->messages) out.push_back(m.kind + ":" + SjisToUtf8(m.caption) + ":" + SjisToUtf8(m.text));
    ui->messages.clear();
    return out;
  }
  void Commit(const QString& s) {
    QInputMethodEvent e;
    e.setCommitString(s);
    QApplication::sendEvent(main->mmDoc, &e);
    Settle();
  }
  void ReopenAs(const char* item) { main->findChild<QAction*>(item)->trigger(); }
  int dialogs = 0;
  std::string dialogInitial;
};

std::string Euc(const std::string& utf8) {
  return EncodeDocText(DecodeDocument(utf8, {DocEncoding::Utf8, false}), {DocEncoding::EucJp, false});
}

}  // namespace

TEST_F(DocumentsTest, StatusLineFollowsTheCaretAndKeepsAMessageUntilItMoves) {
  Start();
  // Three blanks, 1, 行, two blanks, 1, 桁, five blanks, 0 / 0 byte.
  EXPECT_EQ(Status(), "   1\x8d\x73  1\x8c\x85     0 / 0 byte");
  EXPECT_EQ(main->windowTitle(), QString::fromUtf8("新規ファイル.TXT"));
  TypeUtf8("ab\n東京");
  // The learning's note on the typed word stands behind the position.
  EXPECT_EQ(Status(), Sj("   2行  5桁     8 / 8 byte          \"東京\" は見つかりませんでした"));
  main->ShowStatus(Sj("お知らせ"));
  EXPECT_EQ(Status(), Sj("   2行  5桁     8 / 8 byte") + std::string(10, ' ') + Sj("お知らせ"));
  QTest::keyClick(main->mmDoc, Qt::Key_Left);
  EXPECT_EQ(Status(), Sj("   2行  3桁     6 / 8 byte"));
  QTest::keyClick(main->mmDoc, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(Status(), Sj("   2行  1桁     4 / 8 byte"));

  // A caret move in a long document measures no line: its cost does not grow with the text.
  main->mmDoc->SetText(std::string(2000, 'x') + "\r\n" + std::string(20000, '\n'));
  main->mmDoc->SetSelStart(main->mmDoc->TextLength());
  const int64_t before = TmuRichEdit::BlocksMeasured();
  QTest::keyClick(main->mmDoc, Qt::Key_Up);
  QTest::keyClick(main->mmDoc, Qt::Key_Home);
  EXPECT_EQ(TmuRichEdit::BlocksMeasured(), before);
  EXPECT_EQ(Status(), Sj("20001行  1桁     42000 / 42002 byte"));
}

TEST_F(DocumentsTest, SavingNamedAndUntitledDocumentsAndTheSaveQuestion) {
  Start();
  const std::string one = home->str() + "one.txt";
  EXPECT_TRUE(main->Untitled);
  // Blanks and line breaks only: replaced without a question.
  TypeUtf8("  \n ");
  EXPECT_TRUE(main->ConfirmSaveDoc());
  TypeUtf8("abc");
  ui->answers = {MsgAnswer::Cancel, MsgAnswer::No};
  EXPECT_FALSE(main->ConfirmSaveDoc());
  EXPECT_TRUE(main->ConfirmSaveDoc());
  EXPECT_EQ(Texts(), std::vector<std::string>(2, "askYesNoCancel:Wendul:新規ファイル.TXTを保存しますか？"));

  // Save on an untitled document asks for a name; nothing lands in the current folder.
  DialogAnswers(one);
  main->findChild<QAction*>("Save1")->trigger();
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(ReadAll(one), "  \r\n abc");
  EXPECT_FALSE(fs::exists(fs::current_path() / fs::u8path("新規ファイル.TXT")));
  EXPECT_EQ(main->windowTitle().toStdString(), one);
  EXPECT_FALSE(main->DocChanged());
  EXPECT_TRUE(main->Untitled);  // a name chosen in the dialog does not make it a file that was opened

  // Still untitled: Yes in the question opens the dialog again, filled with the name.
  TypeUtf8("d");
  ui->answers = {MsgAnswer::Yes, MsgAnswer::Yes};
  EXPECT_TRUE(main->ConfirmSaveDoc());
  EXPECT_EQ(dialogs, 2);
  EXPECT_EQ(dialogInitial, one);
  EXPECT_EQ(Texts().back(), "askNotYes:Wendul:" + one + "はすでに存在しますが置き換えますか？");
  EXPECT_EQ(ReadAll(one), "  \r\n abcd");
  // Ctrl+S writes to the chosen file without a dialog.
  TypeUtf8("e");
  main->SaveDocument();
  EXPECT_EQ(dialogs, 2);
  EXPECT_EQ(ReadAll(one), "  \r\n abcde");

  // A second new document saved to the same name is not written over it unasked.
  main->NewDocument();
  EXPECT_TRUE(main->mmDoc->Text().empty());
  TypeUtf8("second");
  main->SaveDocument();  // the replace question is answered No
  EXPECT_EQ(ReadAll(one), "  \r\n abcde");
  EXPECT_TRUE(main->DocChanged());
  // A save the disk refuses: said in Japanese, the name and the changes stay.
  Texts();
  DialogAnswers("/proc/wendul-test.txt");
  EXPECT_FALSE(main->SaveDocAs());
  const std::vector<std::string> t = Texts();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_NE(t[0].find("/proc/wendul-test.txt に保存できませんでした"), std::string::npos) << t[0];
  EXPECT_EQ(main->windowTitle(), QString::fromUtf8("新規ファイル.TXT"));
  EXPECT_TRUE(main->DocChanged());
  // ... and closing then asks; Yes with a save that fails keeps the window open.
  ui->answers = {MsgAnswer::Yes};
  EXPECT_FALSE(main->close());
  EXPECT_TRUE(main->isVisible());
}

TEST_F(DocumentsTest, OpeningKeepsEveryByteAndEveryFailureIsSaid) {
  const std::string file = home->str() + "lf.txt";
  const std::string bytes = Sj("東京") + "\n\x87\x90 dup\nend";
  WriteAll(file, bytes);
  Start({file});
  EXPECT_FALSE(main->Untitled);
  EXPECT_FALSE(main->DocChanged());
  EXPECT_EQ(main->windowTitle().toStdString(), file);
  QTest::keyClick(main->mmDoc, Qt::Key_End);
  TypeUtf8("タワー");
  main->findChild<QAction*>("Save1")->trigger();
  EXPECT_EQ(ReadAll(file), Sj("東京タワー") + "\n\x87\x90 dup\nend");

  // Missing while changed: New asks, then the box says so.
  TypeUtf8("x");
  ui->answers = {MsgAnswer::No};
  const std::string missing = home->str() + "missing.txt";
  main->OpenDocFile(QString::fromStdString(missing));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"askYesNoCancel:Wendul:" + file + "を保存しますか？",
                                               "message::" + missing + " が見つかりません"}));
  EXPECT_TRUE(main->Untitled);
  EXPECT_EQ(main->windowTitle(), QString::fromUtf8("新規ファイル.TXT"));

  // A folder and a file too large to open: said, and the document stays.
  TypeUtf8("kept");
  main->OpenDocFile(QString::fromStdString(home->str()));
  const std::string big = home->str() + "big.txt";
  { std::ofstream(big).close(); }
  fs::resize_file(big, (100ll << 20));
  main->OpenDocFile(QString::fromStdString(big));
  std::vector<std::string> t = Texts();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_NE(t[0].find("はフォルダーです"), std::string::npos);
  EXPECT_NE(t[1].find("大きすぎるため開けません（100 MB）"), std::string::npos);
  EXPECT_EQ(main->mmDoc->Text(), "kept");

  // A UTF-8 file is read as UTF-8 and keeps its bytes; it holds what Shift-JIS cannot.
  const std::string utf8 = home->str() + "u.txt";
  WriteAll(utf8, "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x82\xBF\xE3\x83\xAF\xE3\x83\xBC\n");
  main->OpenDocFile(QString::fromStdString(utf8));
  EXPECT_EQ(main->lbEncoding->text(), "UTF-8  LF");
  EXPECT_EQ(main->mmDoc->Text(), Sj("東京タワー") + "\r\n");
  main->SaveDocument();
  EXPECT_EQ(ReadAll(utf8), "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x82\xBF\xE3\x83\xAF\xE3\x83\xBC\n");
  QTest::keyClick(main->mmDoc, Qt::Key_End);
  Commit(QString::fromUtf8("𠮷"));
  Texts();
  EXPECT_TRUE(main->SaveDocument());
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(ReadAll(utf8), "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x82\xBF\xE3\x83\xAF\xE3\x83\xBC\xF0\xA0\xAE\xB7\n");

  // In a Shift-JIS file such a character is named before the save, which may be cancelled.
  main->OpenDocFile(QString::fromStdString(file));
  EXPECT_EQ(main->lbEncoding->text(), "SJIS  LF");
  QTest::keyClick(main->mmDoc, Qt::Key_End);
  Commit(QString::fromUtf8("𠮷"));
  Texts();
  main->SaveDocument();  // No
  EXPECT_EQ(Texts().back(),
            "askNotYes:Wendul:1行目11桁目の文字（U+20BB7）はShift-JISで保存できないため「?」になります。このまま保存しますか？");
  EXPECT_TRUE(main->DocChanged());
  ui->answers = {MsgAnswer::Yes};
  EXPECT_TRUE(main->SaveDocument());
  EXPECT_EQ(ReadAll(file), Sj("東京タワー") + "?\n\x87\x90 dup\nend");
}

TEST_F(DocumentsTest, ASaveAsksBeforeWritingOverAnotherEditorsSave) {
  const std::string file = home->str() + "shared.txt";
  WriteAll(file, "first\r\n");
  Start({file});
  QTest::keyClick(main->mmDoc, Qt::Key_End, Qt::ControlModifier);
  TypeUtf8("mine");
  // Our own saves never ask: the file is as this window left it.
  EXPECT_TRUE(main->SaveDocument());
  TypeUtf8("2");
  EXPECT_TRUE(main->SaveDocument());
  EXPECT_EQ(ReadAll(file), "first\r\nmine2");
  EXPECT_TRUE(Texts().empty());
  // Another editor saves the same file; No keeps its bytes, our text and the changed flag.
  WriteAll(file, "theirs\r\n");
  TypeUtf8("3");
  ui->answers = {MsgAnswer::No, MsgAnswer::Yes};
  EXPECT_FALSE(main->SaveDocument());
  EXPECT_EQ(Texts(), std::vector<std::string>{"askNotYes:Wendul:" + file +
                                              "は読み込んだ後（または前回保存した後）にほかのプログラムで変更されています"
                                              "。\r\n上書きすると、その変更は失われます。上書きしますか？"});
  EXPECT_EQ(ReadAll(file), "theirs\r\n");
  EXPECT_EQ(main->mmDoc->Text(), "first\r\nmine23");
  EXPECT_TRUE(main->DocChanged());
  // Asked again, Yes writes; the next save is ours again and does not ask.
  EXPECT_TRUE(main->SaveDocument());
  EXPECT_EQ(ReadAll(file), "first\r\nmine23");
  TypeUtf8("4");
  EXPECT_TRUE(main->SaveDocument());
  EXPECT_EQ(Texts().size(), 1u);
  // Reopened, the stamp is the file's as read: a change after that is asked about too.
  main->OpenDocFile(QString::fromStdString(file));
  WriteAll(file, "x");
  TypeUtf8("5");
  ui->answers = {MsgAnswer::No};
  EXPECT_FALSE(main->SaveDocument());
  EXPECT_EQ(ReadAll(file), "x");
}

TEST_F(DocumentsTest, ClosingAsksAndADroppedFileOpensUnderItsOwnName) {
  const std::string a = home->str() + "a.txt";
  WriteAll(a, "old\r\n");
  Start({a});
  TypeUtf8("new ");
  ui->answers = {MsgAnswer::Cancel};
  EXPECT_FALSE(main->close());
  EXPECT_EQ(ReadAll(a), "old\r\n");

  // Several files dropped: the first opens, its name as it was dropped.
  // Longer than 254 characters as a whole.
  const std::string dropped = home->str() + "Mixed Case " + std::string(235, 'n') + ".Txt";
  WriteAll(dropped, "dropped");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped)), QUrl::fromLocalFile(QString::fromStdString(a))});
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  ui->answers = {MsgAnswer::Yes};  // save a.txt first
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(main->mmDoc->viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QApplication::sendEvent(main->mmDoc->viewport(), &drop);
  Settle();
  EXPECT_EQ(ReadAll(a), "new old\r\n");
  EXPECT_EQ(main->edCurFileName->text().toStdString(), dropped);
  EXPECT_EQ(main->mmDoc->Text(), "dropped");

  // Word wrap is kept in [Option] is_wordwrap.
  main->miIsWordWrap->trigger();
  EXPECT_FALSE(main->mmDoc->WordWrap());
  Stop();
  EXPECT_FALSE(IniFile(GetWDir() + "WENDUL.INI").ReadBool("Option", "is_wordwrap", true));
}

TEST_F(DocumentsTest, LogModeLeavesTheFileCommandsIdle) {
  Setting("system", "admin", "1");
  Start({"-D"});
  ASSERT_TRUE(G().logMode);
  DialogAnswers(home->str() + "x.txt");
  main->mmDoc->SetText("day");
  for (const char* item : {"New1", "Open1", "Save1", "SaveAs1"}) main->findChild<QAction*>(item)->trigger();
  EXPECT_EQ(main->mmDoc->Text(), "day");
  EXPECT_EQ(dialogs, 0);
  EXPECT_TRUE(main->close());  // nothing asked
  EXPECT_TRUE(ui->messages.empty());
}

TEST_F(DocumentsTest, TheOpenDialogShowsTxtFilesInAnyCase) {
  Start();
  for (const char* n : {"a.txt", "b.Txt", "C.TXT", "d.doc"}) WriteAll(home->str() + n, "x");
  bool shown = false;
  main->RunFileDialog = [&](QFileDialog* d) {
    d->setDirectory(QString::fromStdString(home->str()));
    auto* list = d->findChild<QListView*>("listView");
    EXPECT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) >= 3; }));
    QTest::qWait(100);
    QStringList names;
    for (int r = 0; r < list->model()->rowCount(list->rootIndex()); ++r)
      names << list->model()->index(r, 0, list->rootIndex()).data().toString();
    names.sort();
    EXPECT_EQ(names, (QStringList{"C.TXT", "TABLE", "a.txt", "b.Txt"}));
    // Sizes and dates the Japanese way, whatever the desktop's language.
    for (int r = 0; r < list->model()->rowCount(list->rootIndex()); ++r) {
      if (list->model()->index(r, 0, list->rootIndex()).data().toString() != "a.txt") continue;
      EXPECT_EQ(list->model()->index(r, 1, list->rootIndex()).data().toString(), QString::fromUtf8("1 バイト"));
      EXPECT_TRUE(QRegularExpression("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d$")
                      .match(list->model()->index(r, 3, list->rootIndex()).data().toString())
                      .hasMatch());
    }
    shown = true;
    return QString();
  };
  main->OpenDocument();
  EXPECT_TRUE(shown);
}

// Run in a child process by the test below: types into a named document,
// pauses long enough for the recovery record, and is killed.
TEST_F(DocumentsTest, ChildTypesAndIsKilled) {
  const char* childHome = getenv("WENDUL_CHILD_HOME");
  if (!childHome) GTEST_SKIP() << "run by UnsavedTextComesBackAfterTheEditorIsKilled";
  setenv("WENDUL_HOME", childHome, 1);
  Start({std::string(childHome) + "/doc.txt"});
  QTest::keyClick(main->mmDoc, Qt::Key_End);
  TypeUtf8("書きかけの文章\n😀");
  QTest::qWait(2600);  // typing pauses
  std::filesystem::remove_all(home->path());  // this process's own, unused home
  raise(SIGKILL);
}

TEST_F(DocumentsTest, UnsavedTextComesBackAfterTheEditorIsKilled) {
  const std::string doc = home->str() + "doc.txt";
  WriteAll(doc, "saved\n\x87\x90 dup\n");
  ASSERT_TRUE(RunKilledChild("DocumentsTest.ChildTypesAndIsKilled"));
  EXPECT_EQ(ReadAll(doc), "saved\n\x87\x90 dup\n");

  ui->answers = {MsgAnswer::Yes};
  Start();
  EXPECT_EQ(Texts().front(), "askYesNoCancel:Wendul:前回保存されなかった文章があります。復元しますか？");
  EXPECT_EQ(main->edCurFileName->text().toStdString(), doc);
  EXPECT_EQ(main->mmDoc->PlainLines(), QString::fromUtf8("saved書きかけの文章\n😀\n≒ dup\n"));
  EXPECT_TRUE(main->DocChanged());
  EXPECT_FALSE(main->Untitled);
  // Saved as an LF file, the emoji named first, the untouched line as the
  // file held it; the record then goes.
  ui->answers = {MsgAnswer::Yes};
  EXPECT_TRUE(main->SaveDocument());
  EXPECT_EQ(ReadAll(doc), Sj("saved書きかけの文章") + "\n?\n\x87\x90 dup\n");
  EXPECT_EQ(Texts().back().rfind("askNotYes:Wendul:2行目1桁目の文字（U+1F600）", 0), 0u);
  Stop();
  Start();
  EXPECT_EQ(Texts(), std::vector<std::string>{});  // nothing left to offer
}

// Documents in the encodings of a Linux desktop, as a user meets them.
TEST_F(DocumentsTest, AnEucJpFileIsShownEditedSavedAndReadAgainAsTheUserSays) {
  const std::string file = home->str() + "mail.txt";
  const std::string bytes = Euc("東京タワーに行った。\n二行目\n");
  WriteAll(file, bytes);
  Start({file});
  EXPECT_EQ(main->lbEncoding->text().toStdString(), "EUC-JP  LF");
  EXPECT_EQ(main->mmDoc->Text(), Sj("東京タワーに行った。\r\n二行目\r\n"));
  QTest::keyClick(main->mmDoc, Qt::Key_End);
  TypeUtf8("楽しかった");
  ASSERT_TRUE(main->SaveDocument());
  EXPECT_EQ(ReadAll(file), Euc("東京タワーに行った。楽しかった\n二行目\n"));

  // Read again as Shift-JIS: nothing was changed, so nothing is asked, and
  // nothing of the text read is learned (the caret stands after it).
  ASSERT_TRUE(main->findChild<QMenu*>("miReopen"));
  const size_t words = Words(d->tbMuKwd).size();
  QTest::keyClick(main->mmDoc, Qt::Key_End, Qt::ControlModifier);
  ReopenAs("miReopenSjis");
  EXPECT_EQ(Words(d->tbMuKwd).size(), words);
  EXPECT_EQ(main->lbEncoding->text().toStdString(), "SJIS  LF");
  EXPECT_NE(main->mmDoc->Text().find("\r\n"), std::string::npos);
  EXPECT_NE(main->mmDoc->PlainLines(), QString::fromUtf8("東京タワーに行った。楽しかった\n二行目\n"));
  // Changed: asked first; No keeps the text, Yes reads the file as EUC-JP.
  TypeUtf8("x");
  const QString changed = main->mmDoc->PlainLines();
  ReopenAs("miReopenEucJp");
  EXPECT_EQ(Texts(), std::vector<std::string>{"askNotYes:Wendul:" + file +
                                              "は変更されています。開き直すと変更は失われます。開き直しますか？"});
  EXPECT_EQ(main->mmDoc->PlainLines(), changed);
  ui->answers = {MsgAnswer::Yes};
  ReopenAs("miReopenEucJp");
  EXPECT_EQ(main->mmDoc->PlainLines(), QString::fromUtf8("東京タワーに行った。楽しかった\n二行目\n"));
  EXPECT_FALSE(main->DocChanged());
  EXPECT_EQ(main->lbEncoding->text().toStdString(), "EUC-JP  LF");

  // Save As in another encoding: UTF-16 big-endian with its mark.
  const std::string copy = home->str() + "copy.txt";
  main->RunFileDialog = [&](QFileDialog* d) {
    auto* list = d->findChild<QComboBox*>("cmbxEncoding");
    EXPECT_EQ(list->currentText(), "EUC-JP");  // the document's own at first
    list->setCurrentIndex(5);
    return QString::fromStdString(copy);
  };
  ASSERT_TRUE(main->SaveDocAs());
  EXPECT_EQ(ReadAll(copy), EncodeDocText(DecodeDocument("東京タワーに行った。楽しかった\n二行目\n", {DocEncoding::Utf8, false}),
                                         {DocEncoding::Utf16BE, true}));
  EXPECT_EQ(ReadAll(copy).substr(0, 4), std::string("\xFE\xFF\x67\x71", 4));
  EXPECT_EQ(main->lbEncoding->text().toStdString(), "UTF-16BE  LF");
  EXPECT_EQ(ReadAll(file), Euc("東京タワーに行った。楽しかった\n二行目\n"));
}

TEST_F(DocumentsTest, NewDocumentsTakeTheEncodingOfTheOptions) {
  Setting("fmSetup", "cmbxNewDocEncoding", "1");  // UTF-8
  Start();
  EXPECT_EQ(setup->cmbxNewDocEncoding->currentText(), "UTF-8");
  EXPECT_EQ(main->lbEncoding->text().toStdString(), "UTF-8  CRLF");
  TypeUtf8("𠮷野家\nへ");
  const std::string file = home->str() + "new.txt";
  main->RunFileDialog = [&](QFileDialog* d) {
    EXPECT_EQ(d->findChild<QComboBox*>("cmbxEncoding")->currentText(), "UTF-8");
    return QString::fromStdString(file);
  };
  ASSERT_TRUE(main->SaveDocAs());
  EXPECT_TRUE(ui->messages.empty());  // UTF-8 holds 𠮷: nothing to ask
  EXPECT_EQ(ReadAll(file), "\xF0\xA0\xAE\xB7野家\r\nへ");
}

TEST_F(DocumentsTest, ANameThatIsNotUtf8OpensSavesAndIsKeptByItsBytes) {
  // 日記.txt as Windows names it: Shift-JIS bytes.
  const std::string name = home->str() + "\x93\xFA\x8B\x4C.txt";
  WriteAll(name, Sj("今日は晴れ") + "\r\n");
  Start({name});
  EXPECT_TRUE(ui->messages.empty());
  EXPECT_EQ(main->windowTitle().toStdString(), home->str() + "日記.txt");
  EXPECT_EQ(main->mmDoc->Text(), Sj("今日は晴れ") + "\r\n");
  QTest::keyClick(main->mmDoc, Qt::Key_End, Qt::ControlModifier);
  TypeUtf8("た");
  ASSERT_TRUE(main->SaveDocument());
  EXPECT_EQ(ReadAll(name), Sj("今日は晴れ") + "\r\n" + Sj("た"));
  // The recovery record holds the bytes too.
  main->TimerRecoveryTimer();
  TypeUtf8("!");
  main->TimerRecoveryTimer();
  bool found = false;
  for (auto& e : fs::directory_iterator(StateDir() + "recovery"))
    if (e.path().extension() == ".rec") {
      RecoveryRecord r;
      ASSERT_TRUE(RecoveryStore::Read(e.path().string(), &r));
      EXPECT_EQ(r.fileName, name);
      found = true;
    }
  EXPECT_TRUE(found);
  ui->answers = {MsgAnswer::No};
  main->NewDocument();

  // Dropped: the address keeps the bytes.
  QMimeData data;
  data.setUrls({QUrl::fromEncoded(QByteArray("file://") + QFile::encodeName(QString::fromStdString(home->str())) +
                                  "%93%FA%8BL.txt")});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(main->mmDoc->viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(main->mmDoc->viewport(), &drop);
  Settle();
  EXPECT_EQ(main->DocPath(), name);
  EXPECT_EQ(main->mmDoc->Text(), Sj("今日は晴れ") + "\r\n" + Sj("た"));
  // No file of another name was made beside it.
  int texts = 0;
  for (auto& e : fs::directory_iterator(home->path())) texts += e.path().extension() == ".txt";
  EXPECT_EQ(texts, 1);
}

TEST_F(DocumentsTest, RecoveredTextIsSavedInItsFilesEncoding) {
  // A UTF-16 file whose editor died with an edit of its second line unsaved.
  const std::string file = home->str() + "wide.txt";
  auto utf16 = [](const char* utf8) {
    return EncodeDocText(DecodeDocument(utf8, {DocEncoding::Utf8, false}), {DocEncoding::Utf16LE, true});
  };
  WriteAll(file, utf16("一行目\n二行目\n"));
  fs::create_directories(StateDir() + "recovery");
  const std::string text = "一行目\n二行目😀\n";
  WriteAll(StateDir() + "recovery/1-1.rec", "WENDUL-RECOVERY 1\nuntitled=0\nlineend=LF\nencoding=UTF-16LE\nsaved=1\n"
                                            "name " + std::to_string(file.size()) + "\n" + file + "\ntext " +
                                                std::to_string(text.size()) + "\n" + text);
  ui->answers = {MsgAnswer::Yes};
  Start();
  DialogAnswers("");
  EXPECT_EQ(main->lbEncoding->text(), "UTF-16LE  LF");
  EXPECT_EQ(main->mmDoc->PlainLines(), QString::fromUtf8("一行目\n二行目😀\n"));
  Texts();
  EXPECT_TRUE(main->SaveDocument());
  EXPECT_TRUE(Texts().empty());  // UTF-16 holds the emoji
  EXPECT_EQ(ReadAll(file), utf16("一行目\n二行目😀\n"));
}

}  // namespace wendul::test
