// Documents in the encodings of a Linux desktop, as a user meets them: a file
// opened in its own encoding, shown, edited, saved and read again in another
// one; new documents in the chosen encoding; names that are not UTF-8.
#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "app_fixture.h"
#include "util/recovery.h"

namespace wendul::test {

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string Euc(const std::string& utf8) {
  return EncodeDocText(DecodeDocument(utf8, {DocEncoding::Utf8, false}), {DocEncoding::EucJp, false});
}

class EncodingsTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    setenv("XDG_CONFIG_HOME", home->path().c_str(), 1);
  }
  void TearDown() override {
    AppFixture::TearDown();
    unsetenv("XDG_CONFIG_HOME");
  }
  std::string Shown() { return main->lbEncoding->text().toStdString(); }
  std::vector<std::string> Questions() {
    std::vector<std::string> out;
    for (auto& m : ui->messages) out.push_back(m.kind + ":" + SjisToUtf8(m.text));
    ui->messages.clear();
    return out;
  }
  void Reopen(const char* item) { main->findChild<QAction*>(item)->trigger(); }
};

}  // namespace

TEST_F(EncodingsTest, AnEucJpFileIsShownEditedSavedAndReadAgainAsTheUserSays) {
  const std::string file = home->str() + "mail.txt";
  const std::string bytes = Euc("東京タワーに行った。\n二行目\n");
  WriteAll(file, bytes);
  Start({file});
  EXPECT_EQ(Shown(), "EUC-JP  LF");
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
  Reopen("miReopenSjis");
  EXPECT_EQ(Words(d->tbMuKwd).size(), words);
  EXPECT_EQ(Shown(), "SJIS  LF");
  EXPECT_NE(main->mmDoc->Text().find("\r\n"), std::string::npos);
  EXPECT_NE(main->mmDoc->PlainLines(), QString::fromUtf8("東京タワーに行った。楽しかった\n二行目\n"));
  // Changed: asked first; No keeps the text, Yes reads the file as EUC-JP.
  TypeUtf8("x");
  const QString changed = main->mmDoc->PlainLines();
  Reopen("miReopenEucJp");
  EXPECT_EQ(Questions(), std::vector<std::string>{"askNotYes:" + file +
                                                  "は変更されています。開き直すと変更は失われます。開き直しますか？"});
  EXPECT_EQ(main->mmDoc->PlainLines(), changed);
  ui->answers = {MsgAnswer::Yes};
  Reopen("miReopenEucJp");
  EXPECT_EQ(main->mmDoc->PlainLines(), QString::fromUtf8("東京タワーに行った。楽しかった\n二行目\n"));
  EXPECT_FALSE(main->DocChanged());
  EXPECT_EQ(Shown(), "EUC-JP  LF");

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
  EXPECT_EQ(Shown(), "UTF-16BE  LF");
  EXPECT_EQ(ReadAll(file), Euc("東京タワーに行った。楽しかった\n二行目\n"));
}

TEST_F(EncodingsTest, NewDocumentsTakeTheEncodingOfTheOptions) {
  Setting("fmSetup", "cmbxNewDocEncoding", "1");  // UTF-8
  Start();
  EXPECT_EQ(setup->cmbxNewDocEncoding->currentText(), "UTF-8");
  EXPECT_EQ(Shown(), "UTF-8  CRLF");
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

TEST_F(EncodingsTest, ANameThatIsNotUtf8OpensSavesAndIsKeptByItsBytes) {
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

}  // namespace wendul::test
