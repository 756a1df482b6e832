// Hostile settings and table files: the editor starts, says once what it
// cannot use, works with the defaults or without learning, and never
// changes, deletes or replaces the user's file.
#include <sqlite3.h>
#include <unistd.h>

#include <QMessageBox>
#include <filesystem>
#include <fstream>
#include <random>

#include "app_fixture.h"
#include "controls/qsjis.h"
#include "store/mt.h"
#include "util/netfs.h"

namespace wendul::test {
namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Sql(const fs::path& file, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

}  // namespace

class HostileTest : public AppFixture {
 protected:
  fs::path Ini() { return home->path() / "WENDUL.INI"; }
  fs::path Table() { return home->path() / "TABLE" / "KWD.DB"; }
  bool Said(const char* utf8) {
    for (const auto& m : ui->messages)
      if (m.text.find(Sj(utf8)) != std::string::npos) return true;
    return false;
  }
  QString Notice() {
    for (QMessageBox* box : main->findChildren<QMessageBox*>("LearningNotice"))
      if (box->isVisible()) return box->text();
    return {};
  }
  // Starts, types, lets the idle retry run, stops; the file must stay as it was.
  void RunOver(const fs::path& file, bool learns) {
    const std::string before = Bytes(file);
    Start();
    TypeUtf8("東京タワーに行った。");
    main->TimerIdleTimer();
    main->TimerIdleTimer();
    EXPECT_EQ(main->mmDoc->Text(), Sj("東京タワーに行った。"));
    EXPECT_EQ(main->LearningFailed, !learns);
    Stop();
    const std::string after = Bytes(file);
    EXPECT_TRUE(after == before) << file << ": " << before.size() << " bytes before, " << after.size() << " after";
  }
};

TEST_F(HostileTest, SettingsFilesThatAreNoSettingsReadAsDefaultsAndStayUntouched) {
  // Random bytes, NUL bytes among them, with a line that would make the
  // program an administrator were the file read.
  {
    std::mt19937 rng(14);
    std::string junk(4096, '\0');
    for (char& c : junk) c = static_cast<char>(rng());
    std::ofstream(Ini(), std::ios::binary) << "[system]\r\nadmin=1\r\n" << junk;
  }
  RunOver(Ini(), true);
  EXPECT_TRUE(Said("設定ファイルを読めません"));
  EXPECT_TRUE(Said("NUL"));
  EXPECT_TRUE(Said("既定の設定で起動します"));
  EXPECT_EQ(G().adminLevel, 0);
  EXPECT_TRUE(fs::exists(Table()));

  // 50 MB: refused by its size at once, not read again for every value.
  ui->messages.clear();
  fs::remove(Ini());
  { std::ofstream(Ini(), std::ios::binary) << "[system]\r\nadmin=1\r\n"; }
  fs::resize_file(Ini(), 50u << 20);
  RunOver(Ini(), true);
  EXPECT_TRUE(Said("大きすぎます"));
  EXPECT_EQ(fs::file_size(Ini()), 50u << 20);

  // A folder where the file should be.
  ui->messages.clear();
  fs::remove(Ini());
  fs::create_directory(Ini());
  Start();
  EXPECT_TRUE(Said("フォルダーです"));
  Stop();
  EXPECT_TRUE(fs::is_directory(Ini()));
  EXPECT_TRUE(fs::is_empty(Ini()));
}

TEST_F(HostileTest, WordTablesThatCannotBeUsedAreSaidOnceAndNeverChanged) {
  fs::create_directories(Table().parent_path());
  // Not an SQLite file at all.
  { std::ofstream(Table(), std::ios::binary) << "KEYWORD,UPDATEDATE\r\n\x93\x8c\x8b\x9e,2024/05/03\r\n"; }
  RunOver(Table(), false);
  EXPECT_TRUE(ui->messages.empty());
  fs::remove(Table());

  // An SQLite file of another program.
  Sql(Table(), "CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT); INSERT INTO notes(body) VALUES('mine');");
  RunOver(Table(), false);
  fs::remove(Table());

  // A table file of another layout under the word table's name, and one
  // whose layout rows lie (a name that is NULL).
  {
    MT other;
    other.SetDatabaseName(Table().parent_path().string() + "/");
    other.SetTableName("KWD.DB");
    for (const char* decl : {"PFNAME,A,80", "LINE,N", "PFNAME;LINE,P"}) other.AddFieldDef(decl);
    ASSERT_TRUE(other.Op());
    other.Append();
    other.SS("PFNAME", "a.txt");
    other.Post();
  }
  Start();
  EXPECT_FALSE(d->tbMuKwd.Active());
  EXPECT_TRUE(Notice().contains(QString::fromUtf8("単語表を開けない")));
  EXPECT_TRUE(Notice().contains("another layout"));
  Stop();
  fs::remove(Table());
  Sql(Table(), "CREATE TABLE mt_field(pos, name, type, size); INSERT INTO mt_field VALUES(0, NULL, 'A', 64);");
  RunOver(Table(), false);
  fs::remove(Table());

  // A word table cut short, as an interrupted copy leaves it.
  Start();
  for (int i = 0; i < 3000; ++i) StoreWord(("w" + std::to_string(i) + "xxxxxxxxxxxxxxxxxxxxxxxx").c_str(), 40000 + i);
  Stop();
  ASSERT_FALSE(fs::exists(Table().string() + "-wal"));
  const uintmax_t full = fs::file_size(Table());
  ASSERT_GT(full, 65536u);
  fs::resize_file(Table(), full / 2);
  RunOver(Table(), false);
  EXPECT_EQ(fs::file_size(Table()), full / 2);

  // And a [Path] KWD of an administrator that names a file: the file stays.
  const fs::path plain = home->path() / "words.txt";
  { std::ofstream(plain) << "my words"; }
  Setting("system", "admin", "1");
  Setting("Path", "KWD", plain.string());
  RunOver(plain, false);
}

TEST(NetworkFileSystem, TellsNetworkMountsFromLocalOnes) {
  EXPECT_EQ(NetworkFileSystemOf(0x6969, "/home/u", ""), "NFS");
  EXPECT_EQ(NetworkFileSystemOf(0xFF534D42, "/mnt/share", ""), "SMB");
  EXPECT_EQ(NetworkFileSystemOf(static_cast<long>(0xFE534D42), "/mnt/share", ""), "SMB");
  EXPECT_EQ(NetworkFileSystemOf(0xEF53, "/home/u", ""), "");  // ext4
  const std::string mounts =
      "22 1 0:21 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "40 22 0:35 / /home/u/remote\\040box rw,nosuid - fuse.sshfs u@host:/srv rw,user_id=0\n"
      "41 22 0:36 / /home/u/keys rw - fuse.gocryptfs /x rw\n";
  EXPECT_EQ(NetworkFileSystemOf(0x65735546, "/home/u/remote box/TABLE", mounts), "sshfs");
  EXPECT_EQ(NetworkFileSystemOf(0x65735546, "/home/u/remote box", mounts), "sshfs");
  EXPECT_EQ(NetworkFileSystemOf(0x65735546, "/home/u/remote boxes", mounts), "");
  EXPECT_EQ(NetworkFileSystemOf(0x65735546, "/home/u/keys/TABLE", mounts), "");
  // This machine's temporary folder is local, and a folder not made yet is
  // judged by its parent.
  EXPECT_EQ(NetworkFileSystem(fs::temp_directory_path().string() + "/wendul-not-there/TABLE/"), "");
}

}  // namespace wendul::test
