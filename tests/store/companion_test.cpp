// Command line, file helpers, the single text output and program start.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "store/companion.h"
#include "support/test_support.h"

namespace wendul {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "wendul");
  MuAVParm(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, OptionsInBothFormsAndEitherCase) {
  Parse({"-n", "/D2001/05/03", "a.txt"});
  EXPECT_TRUE(MuAVOpt('N'));
  EXPECT_TRUE(MuAVOpt('n'));
  EXPECT_TRUE(MuAVOpt('d'));
  EXPECT_EQ(MuAVOptDt('D'), "2001/05/03");
  EXPECT_EQ(MuAVOptDt('N'), "");
  EXPECT_FALSE(MuAVOpt('X'));
  EXPECT_EQ(MuAVOptDt('X'), "");
  EXPECT_FALSE(MuAVOpt('1'));
  ASSERT_EQ(MuAVFileN(), 1);
  EXPECT_EQ(MuAVFile(1), "a.txt");

  Parse({"-D-1", "/N"});
  EXPECT_EQ(MuAVOptDt('D'), "-1");
  EXPECT_TRUE(MuAVOpt('N'));
  EXPECT_EQ(MuAVFileN(), 0);

  Parse({"-D1", "-D2"});  // the last one counts
  EXPECT_EQ(MuAVOptDt('D'), "2");

  Parse({});  // a second parse forgets the first
  EXPECT_FALSE(MuAVOpt('D'));
}

TEST(CommandLine, PathsAreNeverTakenForOptions) {
  Parse({"-", "/home/u/a.txt", "/tmp", "/a.txt", "-1", "\x83\x65\x83\x58\x83\x67.txt", "--", "-N", "--help"});
  EXPECT_FALSE(MuAVOpt('H'));
  EXPECT_FALSE(MuAVOpt('T'));
  EXPECT_FALSE(MuAVOpt('A'));
  EXPECT_FALSE(MuAVOpt('N'));  // after "--"
  EXPECT_FALSE(MuAVWantsHelp());
  ASSERT_EQ(MuAVFileN(), 8);
  EXPECT_EQ(MuAVFile(1), "-");
  EXPECT_EQ(MuAVFile(2), "/home/u/a.txt");
  EXPECT_EQ(MuAVFile(3), "/tmp");
  EXPECT_EQ(MuAVFile(4), "/a.txt");
  EXPECT_EQ(MuAVFile(5), "-1");
  EXPECT_EQ(MuAVFile(6), "\x83\x65\x83\x58\x83\x67.txt");
  EXPECT_EQ(MuAVFile(7), "-N");
  EXPECT_EQ(MuAVFile(8), "--help");
  EXPECT_EQ(MuAVFile(0), "");
  EXPECT_EQ(MuAVFile(9), "");
}

TEST(CommandLine, HelpVersionAndUnknownLongOptions) {
  Parse({"--version", "--bogus", "x"});
  EXPECT_TRUE(MuAVWantsVersion());
  EXPECT_FALSE(MuAVWantsHelp());
  EXPECT_EQ(MuAVUnknown(), std::vector<std::string>{"--bogus"});
  EXPECT_EQ(MuAVFileN(), 1);
  Parse({"--help"});
  EXPECT_TRUE(MuAVWantsHelp());
}

TEST(CompanionFiles, LengthExtensionAndAppend) {
  TempDir dir;
  std::string f = dir.str() + "ERROR_LOG.TXT";
  EXPECT_EQ(RtvFLen(f), -1);
  EXPECT_EQ(RtvFLen(dir.str()), -1);
  EXPECT_TRUE(BufferToFileAppend("ab\r\n", f));
  EXPECT_TRUE(BufferToFileAppend("\x83\x65\r\n", f));
  EXPECT_EQ(Get(f), "ab\r\n\x83\x65\r\n");
  EXPECT_EQ(RtvFLen(f), 8);
  EXPECT_FALSE(BufferToFileAppend("x", dir.str() + "missing/log.txt"));

  EXPECT_EQ(OmitFExt("KWD.DB"), "KWD");
  EXPECT_EQ(OmitFExt("/t/x.tar.gz"), "/t/x.tar");
  EXPECT_EQ(OmitFExt("/t/dir.d/name"), "/t/dir.d/name");
  EXPECT_EQ(OmitFExt("/home/u/.profile"), "/home/u/.profile");
  EXPECT_EQ(OmitFExt("\x95\x5c.TXT"), "\x95\x5c");
  EXPECT_EQ(OmitFExt(""), "");
}

TEST(Muio, WritesBytesAndDelimitersAndReplacesOnlyOnClose) {
  TempDir dir;
  std::string f = dir.str() + "export.txt";
  std::ofstream(f) << "previous";
  ASSERT_TRUE(MuioWriteOpen(f));
  EXPECT_TRUE(MuioWrite("\x92\x50\x8c\xea"));
  EXPECT_TRUE(MuioWriteFieldDelimiter());
  EXPECT_TRUE(MuioWrite("2001/05/03 10:00:00"));
  EXPECT_TRUE(MuioWriteRecordDelimiter());
  EXPECT_EQ(Get(f), "previous");  // an unfinished export has not touched the file
  EXPECT_TRUE(MuioClose());
  EXPECT_EQ(Get(f), "\x92\x50\x8c\xea,2001/05/03 10:00:00\r\n");

  // An export abandoned by a new open leaves the old file.
  ASSERT_TRUE(MuioWriteOpen(f));
  MuioWrite("half");
  ASSERT_TRUE(MuioWriteOpen(dir.str() + "other.txt"));
  EXPECT_TRUE(MuioClose());
  EXPECT_EQ(Get(f), "\x92\x50\x8c\xea,2001/05/03 10:00:00\r\n");
  EXPECT_EQ(Get(dir.str() + "other.txt"), "");
}

TEST(Muio, FailuresAreReported) {
  TempDir dir;
  EXPECT_FALSE(MuioWriteOpen(dir.str() + "missing/out.txt"));
  EXPECT_FALSE(MuioWrite("x"));
  EXPECT_FALSE(MuioWriteRecordDelimiter());
  EXPECT_FALSE(MuioClose());
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

// Waits for a started program's output file (the program runs on its own).
std::string AwaitFile(const std::string& path) {
  for (int i = 0; i < 1000 && !fs::exists(path + ".done"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return Get(path);
}

TEST(Process, ArgumentsReachTheProgramLiterally) {
  TempDir dir;
  const std::string out = dir.str() + "out.txt";
  const std::string evil = "a b; touch " + dir.str() + "x $(touch " + dir.str() + "y) `touch " + dir.str() +
                           "z` ' \" | > " + dir.str() + "w &";
  // The script only prints its first argument; a shell reading the text itself would run the touches.
  const std::string script = "printf %s \"$1\" > \"$2\"; : > \"$2.done\"";
  int code = -1;
  ASSERT_TRUE(MuSystem({"/bin/sh", "-c", script, "sh", evil, out}, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Get(out), evil);

  const std::string out2 = dir.str() + "out2.txt";
  ASSERT_TRUE(MuCreateProcessShow({"sh", "-c", script, "sh", evil, out2}, 5));
  EXPECT_EQ(AwaitFile(out2), evil);

  for (const char* name : {"x", "y", "z", "w"}) EXPECT_FALSE(fs::exists(dir.path() / name)) << name;
}

TEST(Process, StartFailuresAndExitCodes) {
  int code = -1;
  EXPECT_TRUE(MuSystem({"sh", "-c", "exit 3"}, &code));
  EXPECT_EQ(code, 3);
  EXPECT_FALSE(MuSystem({"/nonexistent/program"}));
  EXPECT_FALSE(MuSystem({}));
  EXPECT_FALSE(MuCreateProcessShow({"wendul-no-such-program-xyz"}));
  EXPECT_FALSE(MuCreateProcessShow({}));
}

TEST(Companion, ReExportsTextHelpers) {
  EXPECT_EQ(StrStr("abcabc", "ca"), 3);
  EXPECT_TRUE(MuIsValidStr("\x83\x65"));
  EXPECT_FALSE(MuIsValidStr("\x83"));
}

}  // namespace
}  // namespace wendul
