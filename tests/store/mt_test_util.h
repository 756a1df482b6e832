// Helpers shared by the tests of the table component and of what works on
// the word table.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "store/mt.h"
#include "support/test_support.h"

namespace wendul::test {

inline void DeclareWords(MT& t) {
  for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P", "UPDATEDATE,i"})
    t.AddFieldDef(decl);
}

// A word table "TABLE/KWD.DB" below dir, declared, not opened.
inline void SetUpWords(MT& t, const TempDir& dir) {
  t.SetDatabaseName(dir.str() + "TABLE/");
  t.SetTableName("KWD.DB");
  DeclareWords(t);
}

// A test on the word table t, open in keyword order, its log in dir.
class WordTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorLogBase(dir.str());
    SetUpWords(t, dir);
    t.SetIndexFieldNames("KEYWORD");
    ASSERT_TRUE(t.Op());
  }
  TempDir dir;
  RecordingUi ui;
  MT t{"tbMuKwd"};
};

inline void AddWord(MT& t, const SjisString& word, TDateTime updated) {
  t.Append();
  t.SS("KEYWORD", word);
  t.SD("UPDATEDATE", updated);
  t.SD("APPENDDATE", updated);
  t.Post();
}

// The KEYWORD values from the first record to the end, in the current order.
inline std::vector<SjisString> Words(MT& t) {
  std::vector<SjisString> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.GS("KEYWORD"));
  return out;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace wendul::test
