#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/test_support.h"
#include "util/docfile.h"
#include "util/filehelpers.h"
#include "util/paths.h"
#include "util/recovery.h"

namespace wendul {
namespace {

namespace fs = std::filesystem;
using test::Sj;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

bool Root() { return geteuid() == 0; }

TEST(DocFile, ReadsFilesAndNamesEveryFailure) {
  test::TempDir dir;
  const std::string a = (dir.path() / "a.txt").string();
  WriteAll(a, "abc\r\n");
  DocRead r = ReadDocFile(a);
  EXPECT_EQ(r.result, DocReadResult::Ok);
  EXPECT_EQ(r.bytes, "abc\r\n");

  r = ReadDocFile((dir.path() / "missing.txt").string());
  EXPECT_EQ(r.result, DocReadResult::Missing);
  r = ReadDocFile(dir.path().string());
  EXPECT_EQ(r.result, DocReadResult::Folder);
  EXPECT_EQ(DocReadMessage("/tmp", r), Sj("/tmp はフォルダーです。開くファイルを指定してください。"));
  r = ReadDocFile("/dev/null");
  EXPECT_EQ(r.result, DocReadResult::NotRegular);
  r = ReadDocFile(a, 3);
  EXPECT_EQ(r.result, DocReadResult::TooLarge);
  EXPECT_TRUE(r.bytes.empty());
  EXPECT_NE(DocReadMessage(a, r).find(Sj("大きすぎる")), std::string::npos);
  if (!Root()) {
    chmod(a.c_str(), 0);
    r = ReadDocFile(a);
    EXPECT_EQ(r.result, DocReadResult::Unreadable);
    EXPECT_EQ(DocReadMessage(a, r), DisplayName(a) + Sj(" を開けません。読み取りが許可されていません。"));
  }
  // A name the message cannot spell shows "?" where it cannot.
  EXPECT_EQ(DisplayName("/t/caf\xC3\xA9-\xE6\x9D\xB1.txt"), "/t/caf?-" + Sj("東") + ".txt");
}

TEST(DocFile, SavesAllOrNothingKeepingModeAndLinks) {
  test::TempDir dir;
  const fs::path file = dir.path() / "doc.txt";
  WriteAll(file, "old");
  chmod(file.c_str(), 0640);
  SjisString why;
  ASSERT_TRUE(SaveDocFile(file.string(), "new bytes", &why)) << why;
  EXPECT_EQ(ReadAll(file), "new bytes");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));

  // A link stays a link; its target gets the bytes, even a target not made yet.
  const fs::path link = dir.path() / "link.txt";
  fs::create_symlink("doc.txt", link);
  ASSERT_TRUE(SaveDocFile(link.string(), "through the link"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadAll(file), "through the link");
  fs::create_symlink("later.txt", dir.path() / "dangling");
  ASSERT_TRUE(SaveDocFile((dir.path() / "dangling").string(), "made"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "dangling"));
  EXPECT_EQ(ReadAll(dir.path() / "later.txt"), "made");

  // A name at the length limit: the temporary file must not be longer.
  const fs::path longName = dir.path() / (std::string(250, 'x') + ".txt");
  ASSERT_TRUE(SaveDocFile(longName.string(), "long", &why)) << why;

  // Failures leave the old bytes and say why in Japanese; no temporary file stays.
  EXPECT_FALSE(SaveDocFile(dir.path().string(), "x", &why));
  EXPECT_NE(why.find(Sj("同じ名前のフォルダーがあります")), std::string::npos);
  EXPECT_FALSE(SaveDocFile((dir.path() / "no/such/folder.txt").string(), "x", &why));
  EXPECT_NE(why.find(Sj("そのフォルダーがありません")), std::string::npos);
  if (!Root()) {
    chmod(file.c_str(), 0440);
    EXPECT_FALSE(SaveDocFile(file.string(), "x", &why));
    EXPECT_EQ(why, DisplayName(file.string()) + Sj(" に保存できませんでした（アクセスが許可されていません）。\r\n") +
                       Sj("ディスク上のファイルは元のままです。文章は変更されたまま残っています。"));
    chmod(file.c_str(), 0640);
    chmod(dir.path().c_str(), 0555);
    EXPECT_FALSE(SaveDocFile(file.string(), "x", &why));
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(ReadAll(file), "through the link");
  }
  // A folder nobody may write to, root included.
  EXPECT_FALSE(SaveDocFile("/proc/wendul-test.txt", "x", &why));
  EXPECT_NE(why.find(Sj(" に保存できませんでした（")), std::string::npos);
  int files = 0;
  for (auto& e : fs::directory_iterator(dir.path())) files += e.path().filename().string()[0] == '.';
  EXPECT_EQ(files, 0);
}

TEST(FileHelpers, AddressOnALineEndsWhereAnAddressEnds) {
  EXPECT_EQ(URLInLine(Sj("http://example.com を見た")), "http://example.com");
  EXPECT_EQ(URLInLine(Sj("詳しくは https://example.com/a?b=1　全角の後")), "https://example.com/a?b=1");
  EXPECT_EQ(URLInLine("ttp://example.com/x\r\n"), "http://example.com/x");
  // "ttp" after other text: the "h" goes to the line's start, so no address.
  EXPECT_EQ(URLInLine("see ttp://example.com"), "");
  EXPECT_EQ(URLInLine("see ttp://x and www.example.com/y z"), "www.example.com/y");
  EXPECT_EQ(URLInLine(Sj("何もない行")), "");
  // "ボ" is 0x83 0x7B and "ャ" 0x83 0x83: a trail byte never starts a match.
  EXPECT_EQ(URLInLine("\x83" "http"), "");
  // A byte outside printable ASCII ends it, a stray lead byte too.
  EXPECT_EQ(URLInLine("http://x.jp/\x93 next"), "http://x.jp/");
  EXPECT_EQ(URLInLine("http://x.jp/\x93\tnext"), "http://x.jp/");
  // Japanese prose puts no blank after an address.
  EXPECT_EQ(URLInLine(Sj("詳しくはhttp://example.com/を見てください。")), "http://example.com/");
  EXPECT_EQ(URLInLine(Sj("「http://example.com/a」『www.example.com』（http://x.jp）")), "http://example.com/a");
  EXPECT_EQ(URLInLine(Sj("『www.example.com』です")), "www.example.com");
  EXPECT_EQ(URLInLine(Sj("（http://x.jp/?q=1）")), "http://x.jp/?q=1");
  // The ASCII brackets and quotes around it, not those opened inside it.
  EXPECT_EQ(URLInLine("(see http://x.jp/a)."), "http://x.jp/a");
  EXPECT_EQ(URLInLine("[http://x.jp/a] <http://x.jp/b>"), "http://x.jp/a");
  EXPECT_EQ(URLInLine("<http://x.jp/b>"), "http://x.jp/b");
  EXPECT_EQ(URLInLine("\"http://x.jp/c\" 'http://x.jp/d'"), "http://x.jp/c");
  EXPECT_EQ(URLInLine("href='http://x.jp/d'>"), "http://x.jp/d");
  EXPECT_EQ(URLInLine("(http://en.wikipedia.org/wiki/Foo_(bar))"), "http://en.wikipedia.org/wiki/Foo_(bar)");
  EXPECT_EQ(URLInLine("http://[::1]:8080/x]"), "http://[::1]:8080/x");
  EXPECT_EQ(AddressToOpen("www.example.com"), "http://www.example.com");
  EXPECT_EQ(AddressToOpen(" http://a.b "), "http://a.b");
  EXPECT_EQ(StripCRLF("ab\r\n"), "ab");
  EXPECT_EQ(StripCRLF("\r\n"), "");
  EXPECT_EQ(StripCRLF("ab\n"), "ab\n");

  test::TempDir dir;
  const std::string f = dir.str() + "x.txt";
  EXPECT_FALSE(MuDeleteFile(f));
  WriteAll(f, "x");
  EXPECT_TRUE(MuDeleteFile(f));
  EXPECT_FALSE(fs::exists(f));
}

TEST(Recovery, ARecordOutlivesAKilledEditorAndIsOfferedOnce) {
  test::TempDir dir;
  const std::string folder = dir.str() + "recovery";
  RecoveryRecord rec;
  rec.fileName = "/home/u/a\nb.txt";
  rec.untitled = false;
  rec.lineEnd = LineEnd::LF;
  rec.codec = {DocEncoding::Utf16BE, true};
  rec.textUtf8 = "一行目\n\xF0\xA0\xAE\xB7 emoji \xF0\x9F\x98\x80";

  // An editor that keeps running: its record is not offered.
  RecoveryStore live(folder);
  RecoveryRecord other = rec;
  other.textUtf8 = "still typing";
  ASSERT_TRUE(live.Save(other));

  // An editor killed after its record was written.
  pid_t child = fork();
  if (child == 0) {
    RecoveryStore s(folder);
    s.Save(rec);
    rec.textUtf8 += " more";
    s.Save(rec);
    raise(SIGKILL);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  // A diary day's record is offered to log mode only, with its day.
  {
    RecoveryStore diary(folder);
    RecoveryRecord day = rec;
    day.diaryDay = 37014;
    ASSERT_TRUE(diary.Save(day));
  }

  RecoveryStore next(folder);
  std::vector<std::string> orphans = next.TakeOrphans();
  ASSERT_EQ(orphans.size(), 1u);
  const std::vector<std::string> days = next.TakeOrphans(true);
  ASSERT_EQ(days.size(), 1u);
  RecoveryRecord dayBack;
  ASSERT_TRUE(RecoveryStore::Read(days[0], &dayBack));
  EXPECT_EQ(dayBack.diaryDay, 37014);
  EXPECT_EQ(dayBack.textUtf8, rec.textUtf8);
  next.Discard(days[0]);
  RecoveryRecord back;
  ASSERT_TRUE(RecoveryStore::Read(orphans[0], &back));
  EXPECT_EQ(back.fileName, rec.fileName);
  EXPECT_EQ(back.textUtf8, rec.textUtf8 + " more");
  EXPECT_EQ(back.lineEnd, LineEnd::LF);
  EXPECT_EQ(back.codec, rec.codec);
  EXPECT_FALSE(back.untitled);
  // Taken: a third editor starting now does not offer it too.
  RecoveryStore third(folder);
  EXPECT_TRUE(third.TakeOrphans().empty());
  next.Discard(orphans[0]);
  EXPECT_FALSE(fs::exists(orphans[0]));

  // A normal close removes the record; a store that never saved leaves nothing.
  live.Remove();
  EXPECT_FALSE(live.HasRecord());
  { RecoveryStore idle(folder); }
  int left = 0;
  for (auto& e : fs::directory_iterator(folder)) left += e.path().extension() == ".rec";
  EXPECT_EQ(left, 0);
  // A damaged record is not offered (and not deleted).
  WriteAll(fs::path(folder) / "1-1.rec", "WENDUL-RECOVERY 1\nuntitled=1\n");
  EXPECT_TRUE(third.TakeOrphans().empty());
  EXPECT_TRUE(fs::exists(fs::path(folder) / "1-1.rec"));
  // A record written before records knew encodings is a Shift-JIS document's.
  WriteAll(fs::path(folder) / "2-2.rec", "WENDUL-RECOVERY 1\nuntitled=0\nlineend=CR\nsaved=5\nname 1\nx\ntext 2\nab");
  ASSERT_TRUE(RecoveryStore::Read(folder + "/2-2.rec", &back));
  EXPECT_EQ(back.codec, DocCodec{});
  EXPECT_EQ(back.lineEnd, LineEnd::CR);
  EXPECT_EQ(back.textUtf8, "ab");
}

TEST(DocFile, TheNextSaveRemovesTheTemporaryFilesOfAKilledSave) {
  test::TempDir dir;
  const std::string doc = dir.str() + "doc.txt";
  auto temps = [&] {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir.path()))
      if (e.path().extension() == ".tmp") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  // A save killed while it wrote leaves its temporary file behind.
  for (int i = 0; i < 2; ++i) {
    pid_t child = fork();
    if (child == 0) {
      AtomicFile f;
      if (!f.Open(doc) || !f.Write("half a sav")) _exit(1);
      raise(SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
  }
  const std::vector<std::string> stale = temps();
  ASSERT_EQ(stale.size(), 2u);
  EXPECT_TRUE(IsAtomicTempName(stale[0]));
  // A save in progress holds its own; names of other programs are not ours.
  AtomicFile running;
  ASSERT_TRUE(running.Open(dir.str() + "other.txt"));
  WriteAll(dir.path() / ".wendulx_1.tmp", "");
  WriteAll(dir.path() / "notes.tmp", "");
  std::vector<std::string> kept;
  for (const std::string& n : temps())
    if (std::find(stale.begin(), stale.end(), n) == stale.end()) kept.push_back(n);
  ASSERT_EQ(kept.size(), 3u);
  ASSERT_TRUE(SaveDocFile(doc, "whole"));
  EXPECT_EQ(temps(), kept);
  EXPECT_EQ(ReadAll(doc), "whole");
  ASSERT_TRUE(running.Commit());
  EXPECT_EQ(ReadAll(dir.path() / "other.txt"), "");
}

}  // namespace
}  // namespace wendul
