// The word book window, opened from the main window's Tools menu.
#include <QAction>
#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QLineEdit>
#include <cmath>
#include <QCheckBox>
#include <QRadioButton>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app_fixture.h"
#include "controls/datasource.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "wordbook/fmkdb.h"
#include "wordbook/mozcdict_ui.h"
#include "controls/funcbtn.h"
#include "controls/mudateedit.h"

namespace wendul::test {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class WordBookTest : public AppFixture {
 protected:
  TfmKDB* Open() {
    main->findChild<QAction*>("miOpenKWD")->trigger();
    Settle();
    return Find();
  }
  TfmKDB* Find() {
    TfmKDB* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* kdb = qobject_cast<TfmKDB*>(w); kdb && kdb->isVisible()) found = kdb;
    return found;
  }
  void Key(TfmKDB* kdb, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(kdb->mgMuKwd, static_cast<Qt::Key>(key), mods);
    Settle();
  }
  // The files the file dialogs give, in turn.
  void ChooseFiles(TfmKDB* kdb, std::vector<std::string> files) {
    auto queue = std::make_shared<std::vector<std::string>>(std::move(files));
    kdb->RunFileDialog = [queue](QFileDialog*) {
      if (queue->empty()) return QString();
      const QString f = QString::fromStdString(queue->front());
      queue->erase(queue->begin());
      return f;
    };
  }
  std::string LastMessage() { return ui->messages.empty() ? "" : SjisToUtf8(ui->messages.back().text); }
  std::string Current() { return SjisToUtf8(d->tbMuKwd.GS("KEYWORD")); }
};

TEST_F(WordBookTest, OpensFromTheToolsMenuOnceAndClosesWithF6) {
  Start();
  TfmKDB* kdb = Open();
  ASSERT_NE(kdb, nullptr);
  EXPECT_TRUE(TfmKDB::IsOpen());
  EXPECT_EQ(kdb->objectName(), "fmKDB");
  EXPECT_EQ(kdb->windowTitle(), QString::fromUtf8("単語帳"));
  EXPECT_EQ(kdb->size(), QSize(512, 573));
  EXPECT_TRUE(kdb->windowFlags() & Qt::WindowStaysOnTopHint);  // admin level 0
  EXPECT_EQ(Open(), kdb);  // brought to the front, not made twice

  const auto& cols = kdb->mgMuKwd->Columns();
  ASSERT_EQ(cols.size(), 3u);
  EXPECT_EQ(cols[0].field, "KEYWORD");
  EXPECT_EQ(cols[0].title, QString::fromUtf8("キーワード"));
  EXPECT_EQ(cols[0].width, 177);
  EXPECT_TRUE(cols[0].editable);
  EXPECT_EQ(cols[1].title, QString::fromUtf8("最終使用日"));
  EXPECT_EQ(cols[1].width, 151);
  EXPECT_FALSE(cols[1].editable);
  EXPECT_EQ(cols[2].title, QString::fromUtf8("新規登録日"));
  EXPECT_EQ(cols[2].width, 149);
  EXPECT_TRUE(kdb->mgMuKwd->TitlesVisible());
  const char* captions[] = {"並べ替え", "書き出し", "読み込み", "全行削除", "再インデックス", "閉じる"};
  for (int i = 1; i <= 6; ++i) {
    QToolButton* b = kdb->FBtn->Button(i);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->objectName(), QString("FBtn_F0%1").arg(i));
    EXPECT_EQ(b->text(), QString::fromUtf8(captions[i - 1]));
    EXPECT_EQ(b->width(), 512 / 6);
    EXPECT_EQ(b->x(), (i - 1) * (512 / 6));
  }
  EXPECT_FALSE(kdb->FBtn->DispatchFunctionKey(Qt::Key_F7, Qt::NoModifier));

  QPointer<TfmKDB> gone = kdb;
  Key(kdb, Qt::Key_F6);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(gone.isNull());
  EXPECT_FALSE(TfmKDB::IsOpen());
  EXPECT_NE(Open(), nullptr);  // opened anew
  Stop();
  EXPECT_FALSE(TfmKDB::IsOpen());  // nothing of it outlives the main window
}

TEST_F(WordBookTest, AnAdministratorsWordBookIsAnOrdinaryWindow) {
  Setting("system", "admin", "1");
  Setting("Path", "KWD", home->str());
  Start();
  TfmKDB* kdb = Open();
  ASSERT_NE(kdb, nullptr);
  EXPECT_FALSE(kdb->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(WordBookTest, SortExportImportAndDeleteAll) {
  Start();
  StoreWord("東京タワー", 100);
  StoreWord("大阪", 300);
  StoreWord("京都", 200);
  TfmKDB* kdb = Open();
  ASSERT_NE(kdb, nullptr);

  // F1, modifiers allowed: word order, then the latest-first order on the first word.
  Key(kdb, Qt::Key_F1, Qt::ShiftModifier);
  EXPECT_EQ(d->tbMuKwd.IndexFieldNames(), "KEYWORD");
  d->tbMuKwd.Last();
  Key(kdb, Qt::Key_F1);
  EXPECT_EQ(d->tbMuKwd.IndexName(), "IDX_UPDATEDATE");
  EXPECT_EQ(Current(), "大阪");

  // Export: an existing file is replaced only after Yes.
  const std::string file = home->str() + "words.txt";
  std::ofstream(file) << "keep";
  ChooseFiles(kdb, {file, file});
  Key(kdb, Qt::Key_F2);
  EXPECT_EQ(ReadAll(file), "keep");
  EXPECT_EQ(ui->messages.back().kind, "askNotYes");
  EXPECT_EQ(LastMessage(), file + " はすでに存在しますが置き換えますか？");
  ui->answers.push_back(MsgAnswer::Yes);
  Key(kdb, Qt::Key_F2);
  EXPECT_EQ(LastMessage(), file + " へ書き出しました。");
  EXPECT_EQ(ui->messages.back().caption, "Wendul");
  const SjisString first = Sj("\"大阪\",\"1900/10/26\",\"1900/10/26\",\r\n");
  EXPECT_EQ(ReadAll(file).substr(0, first.size()), first);

  // Import: a faulty file changes nothing; a good one replaces the table.
  const std::string bad = home->str() + "bad.txt";
  std::ofstream(bad, std::ios::binary) << Sj("\"新しい\",\"2001/01/01\",\r\n\"壊れた,\"2001/01/01\",\r\n");
  ChooseFiles(kdb, {bad});
  Key(kdb, Qt::Key_F3);
  EXPECT_NE(LastMessage().find("単語帳は読み込む前のままです。"), std::string::npos);
  EXPECT_EQ(Words(d->tbMuKwd), (std::vector<std::string>{"大阪", "京都", "東京タワー"}));
  ChooseFiles(kdb, {home->str() + "none.txt"});
  Key(kdb, Qt::Key_F3);
  EXPECT_EQ(LastMessage(), home->str() + "none.txt が見つかりません");
  std::ofstream(bad, std::ios::binary) << Sj("\"新しい\",\"2001/01/01\",\r\n") << ReadAll(file)
                                       << Sj("\"新しい\",\"2002/02/02\",\r\n");  // a duplicate: dropped
  ChooseFiles(kdb, {bad});
  Key(kdb, Qt::Key_F3);
  EXPECT_EQ(LastMessage(), bad + " を読み込みました。");
  EXPECT_EQ(Words(d->tbMuKwd), (std::vector<std::string>{"新しい", "大阪", "京都", "東京タワー"}));
  EXPECT_EQ(Words(d->tbMuKwd2).size(), 4u);  // the similar-word view reads the file anew

  // Delete all: only after Yes.
  Key(kdb, Qt::Key_F4);
  EXPECT_EQ(LastMessage(), "全行削除してもいいですか？");
  EXPECT_EQ(Words(d->tbMuKwd).size(), 4u);
  ui->answers.push_back(MsgAnswer::Yes);
  Key(kdb, Qt::Key_F4);
  EXPECT_TRUE(Words(d->tbMuKwd).empty());
  EXPECT_TRUE(d->tbMuKwd.Active());
  Key(kdb, Qt::Key_Delete);  // nothing to delete: the store says so
  EXPECT_NE(LastMessage().find("empty dataset"), std::string::npos);
}

TEST_F(WordBookTest, GridKeysAndEditingAWord) {
  Start();
  for (int i = 0; i < 20; ++i) StoreWord(("語" + std::to_string(100 + i)).c_str(), 100 - i);
  TfmKDB* kdb = Open();
  ASSERT_NE(kdb, nullptr);
  d->tbMuKwd.First();
  Settle();
  Key(kdb, Qt::Key_Right);
  EXPECT_EQ(Current(), "語108");
  Key(kdb, Qt::Key_Left);
  EXPECT_EQ(Current(), "語100");
  for (int i = 0; i < 3; ++i) Key(kdb, Qt::Key_Right);
  EXPECT_EQ(Current(), "語119");  // stops at the last row
  Key(kdb, Qt::Key_Delete);  // at once, no question
  EXPECT_FALSE(HasWord("語119"));
  EXPECT_EQ(Current(), "語118");

  // While the user types in the cell the table is not locked: learning goes on.
  ASSERT_TRUE(kdb->mgMuKwd->StartEdit());
  QLineEdit* editor = kdb->mgMuKwd->Editor();
  ASSERT_NE(editor, nullptr);
  editor->setText(QString::fromUtf8("語118改"));
  StoreWord("学習中", 500);
  EXPECT_TRUE(HasWord("学習中"));
  QTest::keyClick(editor, Qt::Key_Return);
  Settle();
  EXPECT_FALSE(kdb->mgMuKwd->Editing());
  EXPECT_TRUE(HasWord("語118改"));
  EXPECT_FALSE(HasWord("語118"));

  // A word that exists is refused with a message; the row keeps its word.
  d->tbMuKwd.SetIndexFieldNames("KEYWORD");
  ASSERT_TRUE(d->tbMuKwd.FindKey(Sj("語117")));
  Settle();
  ASSERT_TRUE(kdb->mgMuKwd->StartEdit());
  kdb->mgMuKwd->Editor()->setText(QString::fromUtf8("語100"));
  QTest::keyClick(kdb->mgMuKwd->Editor(), Qt::Key_Return);
  Settle();
  EXPECT_EQ(LastMessage(), "「語100」はすでに登録されています。単語は元のままです。");
  EXPECT_TRUE(HasWord("語117"));
  EXPECT_EQ(d->tbMuKwd.State(), DataSetState::Browse);
  // Too long, or Escape: nothing changes.
  ASSERT_TRUE(kdb->mgMuKwd->StartEdit());
  kdb->mgMuKwd->Editor()->setText(QString(65, 'x'));
  QTest::keyClick(kdb->mgMuKwd->Editor(), Qt::Key_Return);
  EXPECT_NE(LastMessage().find("長すぎます"), std::string::npos);
  QTest::keyClicks(kdb->mgMuKwd, "z");  // typing opens the editor with the typed text
  ASSERT_TRUE(kdb->mgMuKwd->Editing());
  EXPECT_EQ(kdb->mgMuKwd->Editor()->text(), "z");
  QTest::keyClick(kdb->mgMuKwd->Editor(), Qt::Key_Escape);
  EXPECT_TRUE(HasWord("語117"));
  EXPECT_FALSE(HasWord("z"));
}

TEST_F(WordBookTest, RebuildingTheIndexesKeepsEveryWord) {
  Start();
  StoreWord("一", 1);
  StoreWord("二", 2);
  TfmKDB* kdb = Open();
  ASSERT_NE(kdb, nullptr);
  Key(kdb, Qt::Key_F5);
  EXPECT_EQ(LastMessage(), "再インデックスしますか？");
  ui->answers.push_back(MsgAnswer::Yes);
  Key(kdb, Qt::Key_F5);
  EXPECT_EQ(LastMessage(), "再インデックスしました。");
  EXPECT_TRUE(d->tbMuKwd.Active());
  EXPECT_EQ(Words(d->tbMuKwd), (std::vector<std::string>{"二", "一"}));
  d->tbMuKwd.SetIndexFieldNames("KEYWORD");
  EXPECT_TRUE(d->tbMuKwd.FindKey(Sj("一")));
}

TEST_F(WordBookTest, FileDialogsNeverReadTheFilesTheyList) {
  // Reading a listed file on the main thread hangs the program on one that
  // never answers (/proc/kmsg for root); names alone decide. A file
  // without an extension that holds an image's bytes is not shown as an image.
  const std::string file = home->str() + "words";
  { std::ofstream(file, std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16); }
  Start();
  TfmKDB* kdb = Open();
  ASSERT_NE(kdb, nullptr);
  const QString png = QMimeDatabase().mimeTypeForName("image/png").comment();
  const QString unknown = QMimeDatabase().mimeTypeForName("application/octet-stream").comment();
  for (QFileDialog* dialog : {kdb->SaveDialog, kdb->odaOpenFile}) {
    ASSERT_NE(dialog->iconProvider(), nullptr);
    const QString type = dialog->iconProvider()->type(QFileInfo(QString::fromStdString(file)));
    EXPECT_NE(type, png);
    EXPECT_EQ(type, unknown);
  }
}

TEST_F(WordBookTest, MozcDictionaryOutAndInFromItsKeyAndTheToolsMenu) {
  Start();
  StoreWord("東京駅", 100);  // 1900
  StoreWord("コンピュータ", 45000);
  StoreWord("Wendul", 45000);
  StoreWord("彁", 45000);  // a kanji the analyser cannot read
  const std::string file = home->str() + "mozc.txt";
  std::vector<QString> dialogs;
  main->RunFileDialog = [&](QFileDialog* d) {
    dialogs.push_back(d->objectName());
    return QString::fromStdString(file);
  };
  auto menu = [this](const char* name) {
    main->findChild<QAction*>(name)->trigger();
    Settle();
  };

  // Its key, F11 at first: every word, Latin ones asked for.
  main->RunDialog = [](QDialog* d) {
    auto* choose = qobject_cast<TfmMozcExport*>(d);
    EXPECT_TRUE(choose && choose->rbAll->isChecked());
    EXPECT_EQ(choose->edSince->GetDate(), std::floor(Now()));
    choose->cbxLatinDigits->setChecked(true);
    return true;
  };
  main->mmDoc->setFocus();
  QTest::keyClick(main->mmDoc, Qt::Key_F11);
  Settle();
  EXPECT_EQ(dialogs, std::vector<QString>{"odaMozcSave"});
  EXPECT_EQ(ReadAll(file),
            "Wendul\tWendul\t名詞\tWendul\n"
            "こんぴゅーた\tコンピュータ\t名詞\tWendul\n"
            "とうきょうえき\t東京駅\t固有名詞\tWendul\n");
  EXPECT_NE(LastMessage().find(file + " へ書き出しました。\r\n\r\n書き出した単語: 3 語\r\n読みが分からず除いた単語: 1 語"),
            std::string::npos);
  EXPECT_NE(LastMessage().find("「管理」→「新規辞書にインポート...」"), std::string::npos);

  // From the menu: the choice is kept; words registered before the date stay
  // out; the file is replaced after Yes.
  main->RunDialog = [](QDialog* d) {
    auto* choose = qobject_cast<TfmMozcExport*>(d);
    EXPECT_TRUE(choose->cbxLatinDigits->isChecked());
    choose->rbSince->setChecked(true);
    choose->edSince->SetDate(EncodeDate(2000, 1, 1));
    return true;
  };
  ui->answers.push_back(MsgAnswer::Yes);
  menu("miExportMozcDict");
  EXPECT_EQ(ReadAll(file), "Wendul\tWendul\t名詞\tWendul\nこんぴゅーた\tコンピュータ\t名詞\tWendul\n");
  EXPECT_NE(LastMessage().find("2000/01/01 より前に登録したため除いた単語: 1 語"), std::string::npos);
  main->RunDialog = [](QDialog* d) {
    EXPECT_TRUE(qobject_cast<TfmMozcExport*>(d)->rbSince->isChecked());
    return false;  // cancelled: nothing asked further
  };
  const size_t said = ui->messages.size();
  menu("miExportMozcDict");
  EXPECT_EQ(ui->messages.size(), said);

  // A Mozc dictionary's words come in; those known keep their dates.
  const std::string dict = home->str() + "user_dictionary.txt";
  std::ofstream(dict, std::ios::binary) << "# Mozc\nしんご\t新語\t名詞\t\nとうきょうえき\t東京駅\t固有名詞\tWendul\n";
  main->RunFileDialog = [&](QFileDialog* d) {
    dialogs.push_back(d->objectName());
    return QString::fromStdString(dict);
  };
  menu("miImportMozcDict");
  EXPECT_EQ(dialogs.back(), "odaMozcOpen");
  EXPECT_TRUE(HasWord("新語"));
  EXPECT_EQ(UpdateDate("東京駅"), 100);
  EXPECT_EQ(LastMessage(), dict + " を読み込みました。\r\n\r\n新しく登録した単語: 1 語\r\nすでにあった単語: 1 語");
  // A faulty line: said with its number, and nothing is added.
  std::ofstream(dict, std::ios::binary) << "ok\tOK\t名詞\nno tab\n";
  menu("miImportMozcDict");
  EXPECT_NE(LastMessage().find(dict + " 000002: 'KWD.DB'"), std::string::npos);
  EXPECT_NE(LastMessage().find("単語帳は読み込む前のままです。"), std::string::npos);
  EXPECT_FALSE(HasWord("OK"));
}

}  // namespace
}  // namespace wendul::test
