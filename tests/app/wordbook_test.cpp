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
#include "store/mt_safe.h"
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
  // Types text over the current word's cell and presses Enter.
  void EditCell(TfmKDB* kdb, const QString& text) {
    ASSERT_TRUE(kdb->mgMuKwd->StartEdit());
    kdb->mgMuKwd->Editor()->setText(text);
    QTest::keyClick(kdb->mgMuKwd->Editor(), Qt::Key_Return);
    Settle();
  }
  // The word shown first becomes current in keyword order, then its cell is edited.
  void EditWord(TfmKDB* kdb, const char* word, const QString& text) {
    d->tbMuKwd.SetIndexFieldNames("KEYWORD");
    ASSERT_TRUE(d->tbMuKwd.FindKey(Sj(word)));
    Settle();
    EditCell(kdb, text);
  }
  std::string LastMessage() { return ui->messages.empty() ? "" : SjisToUtf8(ui->messages.back().text); }
  // Three words stored and the word book open on them.
  TfmKDB* StartWithThreeWords() {
    Start();
    StoreWord("東京タワー", 100);
    StoreWord("大阪", 300);
    StoreWord("京都", 200);
    return Open();
  }
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
  const char* captions[] = {"並べ替え", "書き出し", "読み込み", "全行削除", "再インデックス", "閉じる", "復元"};
  for (int i = 1; i <= 7; ++i) {
    QToolButton* b = kdb->FBtn->Button(i);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->objectName(), QString("FBtn_F0%1").arg(i));
    EXPECT_EQ(b->text(), QString::fromUtf8(captions[i - 1]));
    EXPECT_EQ(b->width(), 512 / 7);
    EXPECT_EQ(b->x(), (i - 1) * (512 / 7));
    // The caption fits its button.
    EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()), b->width() - 4) << i;
  }
  EXPECT_FALSE(kdb->FBtn->DispatchFunctionKey(Qt::Key_F8, Qt::NoModifier));

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
  TfmKDB* kdb = StartWithThreeWords();
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
  ui->answers.push_back(MsgAnswer::Yes);
  Key(kdb, Qt::Key_F3);
  EXPECT_NE(LastMessage().find("単語帳は読み込む前のままです。"), std::string::npos);
  EXPECT_EQ(Words(d->tbMuKwd), (std::vector<std::string>{"大阪", "京都", "東京タワー"}));
  ChooseFiles(kdb, {home->str() + "none.txt"});
  Key(kdb, Qt::Key_F3);
  EXPECT_EQ(LastMessage(), home->str() + "none.txt が見つかりません");
  std::ofstream(bad, std::ios::binary) << Sj("\"新しい\",\"2001/01/01\",\r\n") << ReadAll(file)
                                       << Sj("\"新しい\",\"2002/02/02\",\r\n");  // a duplicate: dropped
  ChooseFiles(kdb, {bad});
  ui->answers.push_back(MsgAnswer::Yes);
  Key(kdb, Qt::Key_F3);
  EXPECT_EQ(LastMessage(), bad + " を読み込みました。");
  EXPECT_EQ(Words(d->tbMuKwd), (std::vector<std::string>{"新しい", "大阪", "京都", "東京タワー"}));
  EXPECT_EQ(Words(d->tbMuKwd2).size(), 4u);  // the similar-word view reads the file anew

  // Delete all: only after Yes.
  Key(kdb, Qt::Key_F4);
  EXPECT_EQ(LastMessage().find("全行削除してもいいですか？\r\n単語帳の 4 語がすべて削除され、0 語になります。"), 0u);
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
  EditWord(kdb, "語117", QString::fromUtf8("語100"));
  EXPECT_EQ(LastMessage(), "「語100」はすでに登録されています。単語は元のままです。");
  EXPECT_TRUE(HasWord("語117"));
  EXPECT_EQ(d->tbMuKwd.State(), DataSetState::Browse);
  // Too long, or Escape: nothing changes.
  EditCell(kdb, QString(65, 'x'));
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

TEST_F(WordBookTest, ReplacingTheTableAsksRefusesForeignFilesAndKeepsBackupsThatRestore) {
  TfmKDB* kdb = StartWithThreeWords();
  ASSERT_NE(kdb, nullptr);
  const std::vector<std::string> three{"大阪", "京都", "東京タワー"};

  // Files that are not the word book's: said what they are, the table as it was, nothing asked.
  const std::string memo = home->str() + "memo.txt";
  struct Foreign {
    std::string bytes, said;
  } foreign[] = {
      {"\xE8\xB2\xB7\xE3\x81\x84\xE7\x89\xA9\r\n\xE7\x89\x9B\xE4\xB9\xB3\r\n\xE5\x8D\xB5\r\n", " は UTF-8 のファイルです。"},
      {std::string("\xFF\xFE\x71\x67\xAC\x4E", 6), " は UTF-16 のファイルです。"},
      {"", " には単語がありません。"},
      {" \r\n\r\n", " には単語がありません。"},
  };
  for (const Foreign& f : foreign) {
    std::ofstream(memo, std::ios::binary) << f.bytes;
    ChooseFiles(kdb, {memo});
    const size_t asked = ui->messages.size();
    Key(kdb, Qt::Key_F3);
    ASSERT_EQ(ui->messages.size(), asked + 1);
    EXPECT_EQ(ui->messages.back().kind, "message");
    EXPECT_EQ(LastMessage().find(memo + f.said), 0u) << LastMessage();
    EXPECT_NE(LastMessage().find("単語帳はそのままです。"), std::string::npos);
    EXPECT_EQ(Words(d->tbMuKwd), three);
  }
  EXPECT_TRUE(ListBackups(d->tbMuKwd).empty());

  // A good file: the question names both counts; No changes nothing.
  const std::string two = home->str() + "two.txt";
  std::ofstream(two, std::ios::binary) << Sj("\"名古屋\",\"2001/01/01\",\"2001/01/01\",\r\n\"神戸\",\"2002/01/01\",\"2001/01/01\",\r\n");
  ChooseFiles(kdb, {two});
  Key(kdb, Qt::Key_F3);
  EXPECT_EQ(ui->messages.back().kind, "askNotYes");
  EXPECT_EQ(LastMessage().find("単語帳の 3 語を、" + two + " の 2 語で置き換えますか？"), 0u) << LastMessage();
  EXPECT_EQ(Words(d->tbMuKwd), three);
  EXPECT_TRUE(ListBackups(d->tbMuKwd).empty());
  ChooseFiles(kdb, {two});
  ui->answers.push_back(MsgAnswer::Yes);
  Key(kdb, Qt::Key_F3);
  EXPECT_EQ(LastMessage(), two + " を読み込みました。");
  EXPECT_EQ(Words(d->tbMuKwd), (std::vector<std::string>{"神戸", "名古屋"}));
  ASSERT_EQ(ListBackups(d->tbMuKwd).size(), 1u);
  EXPECT_EQ(ListBackups(d->tbMuKwd)[0].records, 3);

  // Delete all keeps one too.
  ui->answers.push_back(MsgAnswer::Yes);
  Key(kdb, Qt::Key_F4);
  EXPECT_TRUE(Words(d->tbMuKwd).empty());
  const std::vector<TableBackup> backups = ListBackups(d->tbMuKwd);
  ASSERT_EQ(backups.size(), 2u);
  EXPECT_EQ(backups[0].reason, "deleteall");
  EXPECT_EQ(backups[0].records, 2);

  // F7: the user picks the backup made before the import; asked with both counts.
  std::vector<std::string> offered;
  kdb->ChooseBackup = [&](const std::vector<TableBackup>& list) {
    for (const TableBackup& b : list) offered.push_back(b.reason);
    return 1;
  };
  Key(kdb, Qt::Key_F7);
  EXPECT_EQ(offered, (std::vector<std::string>{"deleteall", "import"}));
  EXPECT_NE(LastMessage().find("単語帳の 0 語を、"), std::string::npos) << LastMessage();
  EXPECT_NE(LastMessage().find(" のバックアップの 3 語で置き換えますか？"), std::string::npos);
  EXPECT_TRUE(Words(d->tbMuKwd).empty());
  ui->answers.push_back(MsgAnswer::Yes);
  Key(kdb, Qt::Key_F7);
  EXPECT_NE(LastMessage().find(" のバックアップから 3 語を戻しました。"), std::string::npos) << LastMessage();
  EXPECT_EQ(Words(d->tbMuKwd), three);
  EXPECT_TRUE(d->tbMuKwd2.Active());
  EXPECT_EQ(Words(d->tbMuKwd2).size(), 3u);  // the similar-word pane follows
  EXPECT_EQ(ListBackups(d->tbMuKwd)[0].reason, "restore");
  TypeUtf8("福岡空港に");  // learning goes on in the restored table
  EXPECT_TRUE(HasWord("福岡空港"));
}

TEST_F(WordBookTest, BothPanesFollowWhatTheWordBookChangesAndAReusedIdIsLeftAlone) {
  Start();
  StoreWord("東京タワー", 100);
  StoreWord("東京駅", 200);
  TypeUtf8("東京");
  EXPECT_EQ(Words(d->tbMuKwd2), (std::vector<std::string>{"東京タワー", "東京駅"}));
  ASSERT_TRUE(d->tbMuKwd2.FindKey(Sj("東京タワー")));
  TfmKDB* kdb = Open();
  ASSERT_NE(kdb, nullptr);

  // Renamed in the word book: the similar-word pane offers the new spelling.
  EditWord(kdb, "東京タワー", QString::fromUtf8("東京タワ"));
  EXPECT_EQ(Words(d->tbMuKwd2), (std::vector<std::string>{"東京タワ", "東京駅"}));
  EXPECT_EQ(SjisToUtf8(d->tbMuKwd2.GS("KEYWORD")), "東京タワ");
  // Deleted there: gone from the similar-word pane at once.
  ASSERT_TRUE(d->tbMuKwd.FindKey(Sj("東京駅")));
  Settle();
  Key(kdb, Qt::Key_Delete);
  EXPECT_EQ(Words(d->tbMuKwd2), (std::vector<std::string>{"東京タワ"}));
  kdb->close();
  Settle();

  // Enter on a pane word another program deleted meanwhile: nothing inserted.
  StoreWord("名古屋城", 300);
  main->SimilarFilter(Sj("名古屋"));
  ASSERT_TRUE(d->tbMuKwd2.FindKey(Sj("名古屋城")));
  MT other("other");
  other.SetDatabaseName(d->tbMuKwd.DatabaseName());
  other.SetTableName(d->tbMuKwd.TableName());
  other.SetIndexFieldNames("KEYWORD");
  ASSERT_TRUE(other.Op());
  ASSERT_TRUE(other.FindKey(Sj("名古屋城")));
  other.Delete();
  const SjisString before = main->mmDoc->Text();
  main->mgMuKwdDblClick(main->mgWordCode);
  EXPECT_EQ(main->mmDoc->Text(), before);

  // A Delete in a pane after another program refilled the table (ids begin
  // again): the word now under that id stays.
  d->tbMuKwd.SetIndexName("IDX_UPDATEDATE");
  d->tbMuKwd.First();
  const Bookmark shown = d->tbMuKwd.GetBookmark();
  other.EmptyT();
  for (int i = 0; i < 3; ++i) {
    other.Append();
    other.SS("KEYWORD", Sj("別の単語") + std::to_string(i));
    other.Post();
  }
  ASSERT_TRUE(other.BookmarkValid(shown));
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  EXPECT_TRUE(main->mgMuKwdKeyDown(main->mgWordDate, &del));
  Settle();
  EXPECT_EQ(Words(other).size(), 3u);
  EXPECT_NE(LastMessage().find("ほかで変更または削除されています"), std::string::npos) << LastMessage();
}

TEST_F(WordBookTest, ARegisteredSelectionIsRefusedAsTheWordBookRefusesIt) {
  Start();
  TfmKDB* kdb = Open();
  ASSERT_NE(kdb, nullptr);
  // The word book's own refusal of a 65-byte word, for comparison.
  d->tbMuKwd.First();
  StoreWord("元", 1);
  Settle();
  EditCell(kdb, QString(65, 'x'));
  const std::string bookSays = LastMessage();
  EXPECT_EQ(bookSays, "「" + std::string(65, 'x') + "」は長すぎます（単語は64バイトまでです）。単語は元のままです。");
  kdb->close();
  Settle();

  main->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(main));
  main->mmDoc->setFocus();
  for (const char* text : {static_cast<const char*>("東京\n大阪"), static_cast<const char*>(nullptr)}) {
    main->mmDoc->selectAll();
    if (text) TypeUtf8(text);
    else Type(QString(65, 'x'));
    main->mmDoc->selectAll();
    const size_t said = ui->messages.size();
    main->MenuItem1Click();
    ASSERT_EQ(ui->messages.size(), said + 1);
    if (text) EXPECT_EQ(LastMessage(), "改行や制御文字を含む文字列は単語にできません。");
    else EXPECT_EQ(bookSays.find(LastMessage()), 0u) << LastMessage();
  }
  // Neither stored whole, nor cut to 64 bytes.
  for (const std::string& w : Words(d->tbMuKwd)) EXPECT_TRUE(w == "元" || w == "東京") << w;
}

}  // namespace
}  // namespace wendul::test
