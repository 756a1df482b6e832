// The table component's own operations: the silent open, the edit retry with
// its error log, the log record format, field accessors, close with commit,
// emptying and index building.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <regex>

#include "store/mt_test_util.h"
#include "util/messages.h"

namespace wendul::test {
namespace {

class MTComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorLogBase(dir.str());
    SetUpWords(t, dir);
  }
  std::string Log() const { return ReadAll(ErrorLogPath()); }
  // Records of the error log: each begins with a time stamp line.
  std::vector<std::string> LogRecords() const {
    std::vector<std::string> out;
    const std::string log = Log();
    static const std::regex start(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}: \*{22}\r\n)");
    std::vector<size_t> at;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), start); it != std::sregex_iterator(); ++it)
      at.push_back(static_cast<size_t>(it->position()));
    for (size_t i = 0; i < at.size(); ++i)
      out.push_back(log.substr(at[i], (i + 1 < at.size() ? at[i + 1] : log.size()) - at[i]));
    return out;
  }
  TempDir dir;
  RecordingUi ui;
  MT t{"tbMuKwd"};
};

const std::string kProcessLine = " \x83\x76\x83\x8d\x83\x5a\x83\x58\x96\xbc: \r\n";  // " プロセス名: "

TEST_F(MTComponent, OpOnAMissingFileIsSilentWhenAskedAndLoggedOtherwise) {
  MT log("tbMuLog");
  log.SetDatabaseName(dir.str() + "nowhere/");
  log.SetTableName("LOG.db");
  log.Silent = true;
  EXPECT_FALSE(log.Op());
  EXPECT_FALSE(log.Active());
  EXPECT_FALSE(std::filesystem::exists(ErrorLogPath()));
  EXPECT_TRUE(ui.messages.empty());

  log.Silent = false;
  EXPECT_FALSE(log.Op());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "");
  // The table is named by its path; the error holds only the engine's entry.
  EXPECT_NE(ui.messages[0].text.find("Method_Name:MT.Op\r\nSelf.Name:tbMuLog\r\nSelf.TableName:" + dir.str() +
                                     "nowhere/LOG.db"),
            std::string::npos);
  ASSERT_EQ(LogRecords().size(), 1u);
  EXPECT_NE(Log().find("<EDBEngineError> \x83\x47\x83\x89\x81\x5b\x82\xcc\x90\x94: 1\r\n"), std::string::npos);
}

TEST_F(MTComponent, EditAgainstALockHeldElsewhereRetriesAHundredTimes) {
  ASSERT_TRUE(t.Op());
  AddWord(t, "locked", 1);

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(t.FilePath().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

  const int processBefore = ui.processCalls;
  EXPECT_TRUE(t.muEdit());
  EXPECT_EQ(t.State(), DataSetState::Browse);
  EXPECT_EQ(ui.processCalls - processBefore, 100);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "");
  const std::string& shown = ui.messages[0].text;
  EXPECT_EQ(shown.rfind("n_retry:100"), shown.size() - 11);

  const std::vector<std::string> records = LogRecords();
  ASSERT_EQ(records.size(), 100u);
  EXPECT_NE(records[0].find("Method_Name:MT.muEdit\r\n"), std::string::npos);
  EXPECT_NE(records[0].find("n_retry:1\r\n"), std::string::npos);
  const std::string& last = records.back();
  EXPECT_NE(last.find("n_retry:100\r\n\r\n/*\r\n<EDBEngineError> "), std::string::npos);
  // The engine's details: category 5 is SQLITE_BUSY.
  EXPECT_NE(last.find("\x83\x4a\x83\x65\x83\x53\x83\x8a: 5\r\n"), std::string::npos);                // カテゴリ: 5
  EXPECT_NE(last.find("\x83\x47\x83\x89\x81\x5b\x83\x52\x81\x5b\x83\x68: 0x0000:0005 5\r\n"), std::string::npos);
  EXPECT_EQ(last.substr(last.size() - 4), "*/\r\n");

  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_FALSE(t.muEdit());
  EXPECT_EQ(t.State(), DataSetState::Edit);
  t.SD("UPDATEDATE", 5);
  EXPECT_FALSE(t.muPost());
  EXPECT_EQ(LogRecords().size(), 100u);

  t.Silent = true;  // silent: nothing logged, one attempt
  sqlite3_open(t.FilePath().c_str(), &other);
  sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  EXPECT_TRUE(t.muEdit());
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(LogRecords().size(), 100u);
}

TEST_F(MTComponent, LogRecordOfANonEngineErrorHasNoDetailBlock) {
  t.muShowExceptionError(std::runtime_error("boom"), "Error_Message:boom\r\nMethod_Name:X", false);
  const std::string log = Log();
  static const std::regex record(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}: )");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(log, m, record));
  EXPECT_EQ(m.position(), 0);
  EXPECT_EQ(log.substr(m.length()),
            "**********************\r\n" + kProcessLine + "Error_Message:boom\r\nMethod_Name:X\r\n");
  EXPECT_TRUE(ui.messages.empty());

  t.muShowExceptionError(EDBEngineError("m1", {{"m1", 19, 2067, 8, 0}, {"m2", 19, 2067, 8, 0}}), "T", true);
  const std::string second = LogRecords().back();
  // "エラーの数: 2", both messages, then the first entry's codes.
  EXPECT_NE(second.find("\r\nT\r\n\r\n/*\r\n<EDBEngineError> \x83\x47\x83\x89\x81\x5b\x82\xcc\x90\x94: 2\r\n"
                        "m1\r\nm2\r\n"),
            std::string::npos);
  EXPECT_NE(second.find(": 0x0000:0813 2067\r\n"), std::string::npos);
  EXPECT_NE(second.find(": 0x0000:0008\r\n"), std::string::npos);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "T");
  EXPECT_EQ(ui.beeps, 1);
}

TEST_F(MTComponent, IntegerAndDateAccessors) {
  MT n("tbNum");
  n.SetDatabaseName(dir.str());
  n.SetTableName("NUM.DB");
  for (const char* decl : {"ID,N", "V,N", "TXT,A,10", "D,@", "ID,P"}) n.AddFieldDef(decl);
  ASSERT_TRUE(n.Op());
  const double values[] = {2.9, -2.9};
  for (int i = 0; i < 3; ++i) {
    n.Append();
    n.SI("ID", i);
    if (i < 2) n.SetField("V", FieldValue::OfNumber(values[i]));
    n.Post();
  }
  n.First();
  EXPECT_EQ(n.GI("V"), 2);
  n.Next();
  EXPECT_EQ(n.GI("V"), -2);
  n.Next();
  EXPECT_EQ(n.GI("V"), 0);
  EXPECT_EQ(n.GS("V"), "");

  n.Edit();
  n.SS("TXT", " 12 ");
  n.SD("D", -3.5);
  n.Post();
  EXPECT_EQ(n.GI("TXT"), 12);
  EXPECT_EQ(n.GD("D"), -3.5);
  n.Edit();
  n.SD("D", 0);
  n.Post();
  EXPECT_EQ(n.GetField("D").kind, FieldValue::Kind::Null);
  EXPECT_EQ(n.GD("D"), 0);
  EXPECT_EQ(n.GS("D"), "");
  n.Edit();
  n.SS("D", "2001/05/03 10:20:30");
  n.Post();
  EXPECT_EQ(n.GS("D"), "2001/05/03 10:20:30");
  EXPECT_EQ(n.GI("ID"), 2);
}

TEST_F(MTComponent, GettersNameTheTableAndFieldWhenTheyFail) {
  ASSERT_TRUE(t.Op());
  EXPECT_EQ(t.GS("KEYWORD"), "");  // open and empty: no error
  try {
    t.GS("NOFIELD");
    FAIL();
  } catch (const GeneralError& e) {
    // "MT.GS\r\n テーブル名:KWD.DB\r\n フィールド名:NOFIELD\r\n" + the store's message
    EXPECT_EQ(std::string(e.what()),
              "MT.GS\r\n \x83\x65\x81\x5b\x83\x75\x83\x8b\x96\xbc:KWD.DB\r\n"
              " \x83\x74\x83\x42\x81\x5b\x83\x8b\x83\x68\x96\xbc:NOFIELD\r\n"
              "Field 'NOFIELD' not found");
  }
  t.Close();
  try {
    t.GD("UPDATEDATE");
    FAIL();
  } catch (const GeneralError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("MT.GD\r\n", 0), 0u);
  }
  EXPECT_THROW(t.GI("UPDATEDATE"), GeneralError);
}

TEST_F(MTComponent, CloseWithCommitEmptyTableAndEmptying) {
  ASSERT_TRUE(t.Op());
  EXPECT_TRUE(t.Cl(true));  // empty: nothing to edit
  EXPECT_FALSE(t.Active());
  EXPECT_FALSE(t.Cl(true));
  EXPECT_TRUE(ui.messages.empty());

  ASSERT_TRUE(t.Op());
  AddWord(t, "one", 1);
  AddWord(t, "two", 2);
  EXPECT_TRUE(t.Cl(true));  // commit: edit and post the current record unchanged
  EXPECT_TRUE(ui.messages.empty());

  t.EmptyT();  // closed stays closed
  EXPECT_FALSE(t.Active());
  ASSERT_TRUE(t.Op());
  EXPECT_TRUE(t.IsEmpty());
  AddWord(t, "three", 3);
  t.EmptyT();  // open stays open
  EXPECT_TRUE(t.Active());
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_FALSE(std::filesystem::exists(ErrorLogPath()));

  // Locked elsewhere: emptying fails and the table is open again; a commit
  // that fails is shown and the close still happens.
  AddWord(t, "four", 4);
  sqlite3* other = nullptr;
  sqlite3_open(t.FilePath().c_str(), &other);
  sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  EXPECT_THROW(t.EmptyT(), EDBEngineError);
  EXPECT_TRUE(t.Active());
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_TRUE(t.Cl(true));
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(ui.messages.size(), 1u);  // the 100th retry
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
}

TEST_F(MTComponent, IndexesAreRebuiltAndAPrimaryKeyRefusesDuplicates) {
  MT g("tbGrep");
  g.SetDatabaseName(dir.str());
  g.SetTableName("GREP.DB");
  for (const char* decl : {"PFNAME,A,80", "LINE,N"}) g.AddFieldDef(decl);
  ASSERT_TRUE(g.Op());
  for (const char* name : {"b", "a", "b"}) {
    g.Append();
    g.SS("PFNAME", name);
    g.Post();
  }
  g.AddSecIndex("IDX_PFNAME", "PFNAME");
  EXPECT_TRUE(g.Active());
  g.SetIndexName("IDX_PFNAME");
  std::vector<SjisString> names;
  for (g.First(); !g.Eof(); g.Next()) names.push_back(g.GS("PFNAME"));
  EXPECT_EQ(names, (std::vector<SjisString>{"b", "b", "a"}));  // descending
  g.AddSecIndex("IDX_PFNAME", "PFNAME");  // again: rebuilt, not duplicated

  try {
    g.AddPrimaryIndex("PFNAME");
    FAIL() << "a primary key over duplicates";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.errors[0].category, SQLITE_CONSTRAINT);
  }
  EXPECT_TRUE(g.Active());  // open again, as before the failed rebuild
  g.AddPrimaryIndex("PFNAME;LINE");  // blank lines are distinct
  g.SetIndexFieldNames("PFNAME");
  EXPECT_EQ(g.RecordCount(), 3);
}

TEST_F(MTComponent, FailedPostSkippingAndAutoClose) {
  // In a folder named in Japanese: the log names the table in the system code page.
  const std::string folder = dir.str() + "表ソ/";
  auto wordTable = [&](MT& m) {
    m.SetDatabaseName(folder);
    m.SetTableName("KWD.DB");
    DeclareWords(m);
  };
  MT k("tbMuKwd");
  wordTable(k);
  ASSERT_TRUE(k.Op());
  for (const char* w : {"a", "b", "c"}) AddWord(k, w, 1);

  // A post the engine refuses (a duplicate key): logged naming MT.muPost,
  // nothing shown, the insertion cancelled and the lock given back.
  k.Append();
  k.SS("KEYWORD", "b");
  EXPECT_TRUE(k.muPost());
  EXPECT_EQ(k.State(), DataSetState::Browse);
  EXPECT_EQ(k.RecordCount(), 3);
  EXPECT_TRUE(ui.messages.empty());
  const std::vector<std::string> records = LogRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].find("Method_Name:MT.muPost\r\nSelf.Name:tbMuKwd\r\nSelf.TableName:" + dir.str() +
                            Sj("表ソ") + "/KWD.DB\r\n"),
            std::string::npos);
  EXPECT_NE(records[0].find("\x83\x47\x83\x89\x81\x5b\x82\xcc\x90\x94: 1\r\n"), std::string::npos);  // エラーの数: 1

  // Skipping moves one record at a time and stops at the ends.
  k.SetIndexFieldNames("KEYWORD");
  k.First();
  EXPECT_TRUE(k.SkipNext(2));
  EXPECT_EQ(k.GS("KEYWORD"), "c");
  EXPECT_TRUE(k.SkipNext(5));
  EXPECT_TRUE(k.Eof());
  EXPECT_EQ(k.GS("KEYWORD"), "c");
  EXPECT_TRUE(k.SkipPrior(1));
  EXPECT_EQ(k.GS("KEYWORD"), "b");
  EXPECT_TRUE(k.SkipPrior(9));
  EXPECT_TRUE(k.Bof());
  EXPECT_EQ(k.GS("KEYWORD"), "a");

  // Destroyed with a pending edit: closed first when AutoClose is set (its
  // views hear it), silently otherwise; never posted, the lock freed.
  for (const bool autoClose : {true, false}) {
    struct Heard : MTListener {
      int events = 0;
      void TableEvent(MT&, DataEvent) override { ++events; }
    } heard;
    {
      MT m("view");
      wordTable(m);
      m.AutoClose = autoClose;
      ASSERT_TRUE(m.Op());
      m.First();
      m.Edit();
      m.SD("UPDATEDATE", 99);
      m.AddListener(&heard);
      heard.events = 0;
    }
    EXPECT_EQ(heard.events > 0, autoClose);
    k.Refresh();
    EXPECT_EQ(k.GD("UPDATEDATE"), 1);
    EXPECT_FALSE(k.muEdit());
    k.Cancel();
  }
}

}  // namespace
}  // namespace wendul::test
