#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "store/companion.h"
#include "store/syshelpers.h"
#include "support/test_support.h"

namespace wendul {
namespace {

namespace fs = std::filesystem;

void Exec(sqlite3* db, const char* sql) { ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql; }

int Rows(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  int n = -1;
  if (sqlite3_prepare_v2(db, "SELECT count(*) FROM t", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    n = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(db);
  return n;
}

TEST(SysHelpers, CommandLineOptionsAndFiles) {
  const char* argv[] = {"wendul", "-d2001/05/03", "/n", "a b.txt", "second"};
  MuAVParm(5, argv);
  EXPECT_TRUE(IsOpt("D"));
  EXPECT_TRUE(IsOpt("d2"));
  EXPECT_TRUE(IsOpt("D2x"));  // later letters are ignored
  EXPECT_FALSE(IsOpt("D3"));
  EXPECT_TRUE(IsOpt("N"));
  EXPECT_FALSE(IsOpt("NX"));  // no text given with N
  EXPECT_FALSE(IsOpt("X"));
  EXPECT_EQ(OptData("D"), "2001/05/03");
  EXPECT_EQ(CmdLineFileCount(), 2);
  EXPECT_EQ(CmdLineFile(1), "a b.txt");
  EXPECT_EQ(CmdLineFile(3), "");
  MuAVParm(1, argv);
  EXPECT_EQ(OmitFExtStr("KWD.DB"), "KWD");
}

// The table's log is folded into it, not thrown away; a table open elsewhere
// keeps its side files; side files of a missing table go; nothing else does.
TEST(SysHelpers, TableSideFilesNeverCostAWord) {
  test::TempDir dir;
  const std::string table = dir.str() + "KWD.DB";
  sqlite3* live = nullptr;
  ASSERT_EQ(sqlite3_open(table.c_str(), &live), SQLITE_OK);
  Exec(live, "PRAGMA journal_mode=WAL");
  Exec(live, "PRAGMA wal_autocheckpoint=0");
  Exec(live, "CREATE TABLE t(x)");
  Exec(live, "INSERT INTO t VALUES(1),(2),(3)");
  ASSERT_TRUE(fs::file_size(table + "-wal") > 0);

  // Left as a crash would leave it: the table, its log and shared memory.
  fs::create_directory(dir.path() / "crash");
  for (const char* f : {"KWD.DB", "KWD.DB-wal", "KWD.DB-shm"}) fs::copy_file(dir.path() / f, dir.path() / "crash" / f);
  std::ofstream(dir.path() / "crash" / "KWD.DB.bak") << "keep";

  DeleteTableSideFiles(dir.str(), "KWD.DB");  // open here: nothing is removed
  EXPECT_TRUE(fs::exists(table + "-wal"));
  Exec(live, "INSERT INTO t VALUES(4)");
  sqlite3_close(live);
  EXPECT_EQ(Rows(table), 4);

  const std::string crashed = dir.str() + "crash/KWD.DB";
  DeleteTableSideFiles(dir.str() + "crash", "KWD.DB");
  EXPECT_FALSE(fs::exists(crashed + "-wal"));
  EXPECT_FALSE(fs::exists(crashed + "-shm"));
  EXPECT_EQ(Rows(crashed), 3);
  EXPECT_TRUE(fs::exists(dir.path() / "crash" / "KWD.DB.bak"));

  std::ofstream(dir.path() / "GONE.DB-journal") << "x";
  std::ofstream(dir.path() / "GONE.DB-wal") << "x";
  DeleteTableSideFiles(dir.str(), "GONE.DB");
  EXPECT_FALSE(fs::exists(dir.path() / "GONE.DB-journal"));
  EXPECT_FALSE(fs::exists(dir.path() / "GONE.DB-wal"));
}

// Programs get their arguments as a list: an address full of shell signs
// arrives as one argument and runs nothing.
TEST(SysHelpers, OpeningHandsTheAddressOverAsOneArgument) {
  test::TempDir dir;
  const std::string log = dir.str() + "args.txt";
  const std::string opener = dir.str() + "xdg-open";
  std::ofstream(opener) << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done >> '" << log << "'\n";
  fs::permissions(opener, fs::perms::owner_all);
  const std::string oldPath = getenv("PATH");
  setenv("PATH", (dir.str() + ":" + oldPath).c_str(), 1);

  auto waitForLines = [&](int lines) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
      std::ifstream in(log);
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      if (std::count(text.begin(), text.end(), '\n') >= lines) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return text;
  };
  OpenAddress("www.example.com/a;touch " + dir.str() + "pwned", "", true);
  EXPECT_EQ(waitForLines(1), "[http://www.example.com/a;touch " + dir.str() + "pwned]\n");
  EXPECT_TRUE(ShellOpen(dir.str() + "missing.txt"));  // not asked
  OpenAddress("http://b.example/$(id)", opener, false);
  EXPECT_EQ(waitForLines(2), "[http://www.example.com/a;touch " + dir.str() + "pwned]\n[http://b.example/$(id)]\n");
  OpenAddress("   ", opener, false);
  EXPECT_TRUE(RunCommand({opener, "x y"}));
  EXPECT_EQ(waitForLines(3).substr(waitForLines(3).rfind('[')), "[x y]\n");
  EXPECT_FALSE(fs::exists(dir.str() + "pwned"));
  setenv("PATH", oldPath.c_str(), 1);
}

}  // namespace
}  // namespace wendul
