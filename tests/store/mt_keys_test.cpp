// Key semantics of the table store: secondary indexes are descending and
// case-insensitive (ASCII letters folded only where a character starts), the
// primary key keeps byte order, an empty key is one key, and a file made
// before either rule still opens and works.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "store/mt_test_util.h"

namespace wendul::test {
namespace {

class MTKeys : public ::testing::Test {
 protected:
  void SetUp() override { SetErrorLogBase(dir.str()); }

  // The search-result table's layout, with its declared secondary index.
  void DeclareGrep(MT& g) {
    g.SetDatabaseName(dir.str() + "TABLE/");
    g.SetTableName("GREP.DB");
    for (const char* decl : {"PFNAME,A,80", "LINE,N", "PFNAME;LINE,P", "PFNAME,i"}) g.AddFieldDef(decl);
  }
  static void AddRow(MT& g, const SjisString& name, int line) {
    g.Append();
    g.SS("PFNAME", name);
    g.SI("LINE", line);
    g.Post();
  }
  static std::vector<SjisString> Names(MT& g) {
    std::vector<SjisString> out;
    for (g.First(); !g.Eof(); g.Next()) out.push_back(g.GS("PFNAME"));
    return out;
  }
  static std::vector<SjisString> NamesBackwards(MT& g) {
    std::vector<SjisString> out;
    for (g.Last(); !g.Bof(); g.Prior()) out.insert(out.begin(), g.GS("PFNAME"));
    return out;
  }
  // Runs SQL on the file through a connection of its own, as another program would.
  void Sql(const std::string& file, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir.str() + "TABLE/" + file).c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
  }

  TempDir dir;
  RecordingUi ui;
};

const SjisString kA = "\x83\x41";   // ア: its trail byte is 'A'
const SjisString kYa = "\x83\x61";  // ャ: its trail byte is 'a'

TEST_F(MTKeys, SecondaryIndexesFoldAsciiLettersOnlyWhereACharacterStarts) {
  MT g("tbGrep");
  DeclareGrep(g);
  ASSERT_TRUE(g.Op());
  // ャ before ア, and lower case before upper, in the order they are stored:
  // a fold of trail bytes, or none at all, would keep that order.
  for (const SjisString& name : {SjisString("a"), SjisString("c"), SjisString("B"), kYa, kA, kA + "a", kA + "B",
                                 SjisString("b")})
    AddRow(g, name, 1);
  g.SetIndexName("IDX_PFNAME");
  // B and b are equal keys, in the order of their storing, walked backwards.
  const std::vector<SjisString> expected = {kYa, kA + "B", kA + "a", kA, "c", "b", "B", "a"};
  EXPECT_EQ(Names(g), expected);
  EXPECT_EQ(NamesBackwards(g), expected);

  // Keys are found case-insensitively, the first in the order; a trail byte is no letter.
  ASSERT_TRUE(g.FindKey(SjisString("C")));
  EXPECT_EQ(g.GS("PFNAME"), "c");
  ASSERT_TRUE(g.FindKey(kA + "A"));
  EXPECT_EQ(g.GS("PFNAME"), kA + "a");
  ASSERT_TRUE(g.FindKey(kA));
  EXPECT_EQ(g.GS("PFNAME"), kA);
  int current = -1;
  std::vector<RowView> rows = g.RowsAround(2, 2, &current);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[current - 1].values[0].text, kA + "a");
  EXPECT_EQ(rows[current + 1].values[0].text, "c");

  // A filter on the field still compares bytes, whatever the order.
  g.SetFilter("PFNAME='b*'");
  g.SetFiltered(true);
  EXPECT_EQ(Names(g), (std::vector<SjisString>{"b"}));
  g.SetFiltered(false);

  // An index added later is case-insensitive too; the primary key keeps byte order.
  g.AddSecIndex("IDX_PFNAME", "PFNAME");
  g.SetIndexName("IDX_PFNAME");
  EXPECT_EQ(Names(g), expected);
  g.SetIndexFieldNames("PFNAME;LINE");
  EXPECT_EQ(Names(g), (std::vector<SjisString>{"B", "a", "b", "c", kA, kA + "B", kA + "a", kYa}));
}

TEST_F(MTKeys, AnEmptyKeyIsOneKey) {
  MT t("tbMuKwd");
  SetUpWords(t, dir);
  ASSERT_TRUE(t.Op());
  AddWord(t, "", 10);
  // A second empty key, typed or never set, is refused like any duplicate key.
  for (bool setKey : {true, false}) {
    t.Append();
    if (setKey) t.SS("KEYWORD", "");
    t.SD("UPDATEDATE", 11);
    try {
      t.Post();
      FAIL() << "a second empty key was posted";
    } catch (const EDBEngineError& e) {
      EXPECT_TRUE(IsKeyViolation(e)) << e.what();
    }
    t.Cancel();
  }
  EXPECT_EQ(t.RecordCount(), 1);
  AddWord(t, "abc", 12);
  t.SetIndexFieldNames("KEYWORD");
  ASSERT_TRUE(t.FindKey(SjisString()));
  EXPECT_EQ(t.GD("UPDATEDATE"), 10);
  t.SetFilter("KEYWORD=''");
  t.SetFiltered(true);
  EXPECT_EQ(t.RecordCount(), 1);
}

// A file as the store made it before: its secondary index in byte order, and
// empty keys stored as NULL, any number of them.
TEST_F(MTKeys, AFileMadeByTheOldRulesOpensAndWorks) {
  {
    MT g("tbGrep");
    DeclareGrep(g);
    ASSERT_TRUE(g.Op());
    for (const char* name : {"a", "c", "B"}) AddRow(g, name, 1);
  }
  Sql("GREP.DB",
      "DROP INDEX mtx_IDX_PFNAME; CREATE INDEX mtx_IDX_PFNAME ON T(\"PFNAME\");"
      "INSERT INTO T(PFNAME, LINE) VALUES(NULL, 1), (NULL, 2);");

  // While another program holds the write lock the index cannot be rebuilt:
  // the file opens, in byte order, and is read as before.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((dir.str() + "TABLE/GREP.DB").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  {
    MT g("tbGrep");
    DeclareGrep(g);
    g.SetIndexName("IDX_PFNAME");
    ASSERT_TRUE(g.Op());
    EXPECT_EQ(Names(g), (std::vector<SjisString>{"c", "a", "B", "", ""}));
    EXPECT_EQ(NamesBackwards(g), (std::vector<SjisString>{"c", "a", "B", "", ""}));
  }
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  // The next open rebuilds it case-insensitive, once and for all.
  MT g("tbGrep");
  DeclareGrep(g);
  g.SetIndexName("IDX_PFNAME");
  ASSERT_TRUE(g.Op());
  EXPECT_EQ(Names(g), (std::vector<SjisString>{"c", "B", "a", "", ""}));
  // The old empty keys are found and filtered as empty; a new one is still refused.
  g.SetIndexFieldNames("PFNAME");
  ASSERT_TRUE(g.FindKey(SjisString()));
  EXPECT_EQ(g.GI("LINE"), 1);
  ASSERT_TRUE(g.FindKey(std::vector<FieldValue>{FieldValue::Of(""), FieldValue::OfNumber(2)}));
  g.SetFilter("PFNAME=''");
  g.SetFiltered(true);
  EXPECT_EQ(g.RecordCount(), 2);
  g.SetFiltered(false);
  AddRow(g, "", 3);
  g.Append();
  g.SI("LINE", 3);
  EXPECT_THROW(g.Post(), EDBEngineError);
  g.Cancel();
  EXPECT_EQ(g.RecordCount(), 6);
}

}  // namespace
}  // namespace wendul::test
