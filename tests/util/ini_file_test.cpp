// Settings files: Windows profile-file reading rules, and writes that touch
// only their own line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_support.h"
#include "util/inifile.h"

namespace wendul {
namespace {

using test::TempDir;

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
std::string Get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(IniFile, ReadsNamesCaseInsensitivelyAndValuesRawAndTrimmed) {
  TempDir dir;
  std::string path = dir.str() + "WENDUL.INI";
  // Backslashes (also the trail byte of 表, 0x95 0x5C), quotes and ';' inside a value are plain bytes.
  Put(path, "[Path]\r\n  KWD =  C:\\data\\kwd\\  \r\nMulogText=\"\x95\x5c\" ; not a comment\r\n"
            "[system]\r\nadmin\t=\t1\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("path", "kwd", "x"), "C:\\data\\kwd\\");
  EXPECT_EQ(ini.ReadString(" PATH ", "mulogtext", "x"), "\"\x95\x5c\" ; not a comment");
  EXPECT_EQ(ini.ReadInteger("SYSTEM", "Admin", 0), 1);
  EXPECT_TRUE(ini.ValueExists("Path", "KWD"));
  EXPECT_FALSE(ini.ValueExists("Path", "missing"));
  EXPECT_EQ(ini.ReadString("Other", "KWD", "def"), "def");
}

TEST(IniFile, OnePairOfEnclosingQuotesIsNotPartOfTheValue) {
  TempDir dir;
  std::string path = dir.str() + "a.ini";
  Put(path, "[s]\nd=\" C:\\a b \"\ns='x'\nn=\"42\"\nempty=\"\"\none=\"\nmixed=\"x'\ntwice=\"\"y\"\"\n"
            "inner=a\"b\"\nhyo=\"\x95\x5c\"\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("s", "d", ""), " C:\\a b ");  // blanks inside the quotes stay
  EXPECT_EQ(ini.ReadString("s", "s", ""), "x");
  EXPECT_EQ(ini.ReadInteger("s", "n", 0), 42);
  EXPECT_EQ(ini.ReadString("s", "empty", "def"), "");
  EXPECT_EQ(ini.ReadString("s", "one", ""), "\"");
  EXPECT_EQ(ini.ReadString("s", "mixed", ""), "\"x'");
  EXPECT_EQ(ini.ReadString("s", "twice", ""), "\"y\"");  // one pair only
  EXPECT_EQ(ini.ReadString("s", "inner", ""), "a\"b\"");
  EXPECT_EQ(ini.ReadString("s", "hyo", ""), "\x95\x5c");
}

TEST(IniFile, FirstKeyWinsAndCommentsNeedSemicolonAtLineStart) {
  TempDir dir;
  std::string path = dir.str() + "a.ini";
  Put(path, "top=0\n[a]\nk=1\nK=2\n;c=3\n   ;d=4\n#e=5\n[b]\nk=9\n[A]\nk=7\nm=8\nno equals sign\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("a", "k", ""), "1");
  EXPECT_EQ(ini.ReadString("a", "m", ""), "8");  // a later section of the same name still counts
  EXPECT_FALSE(ini.ValueExists("a", ";c"));
  EXPECT_FALSE(ini.ValueExists("a", "c"));
  EXPECT_FALSE(ini.ValueExists("a", ";d"));
  EXPECT_EQ(ini.ReadString("a", "#e", ""), "5");  // '#' is no comment mark
  EXPECT_FALSE(ini.ValueExists("a", "no equals sign"));
  EXPECT_FALSE(ini.ValueExists("", "top"));
}

TEST(IniFile, CaseFoldingLeavesDoubleByteCharactersAlone) {
  TempDir dir;
  std::string path = dir.str() + "a.ini";
  // ア is 0x83 0x41; folding its trail byte would make it ャ (0x83 0x61).
  Put(path, "[\x83\x41]\nK=1\n[x\x81\x5d]\nv=2\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("\x83\x41", "k", "d"), "1");
  EXPECT_EQ(ini.ReadString("\x83\x61", "k", "d"), "d");
  EXPECT_EQ(ini.ReadString("X\x81\x5d", "V", "d"), "2");  // ']' as a trail byte does not end the name
}

TEST(IniFile, IntegersAndBooleansFollowProfileRules) {
  TempDir dir;
  std::string path = dir.str() + "a.ini";
  Put(path, "[s]\nplain=42\nneg=-7\nplus=+5\nlead=12abc\nhex=0x1F\nbig=4294967295\nword=abc\nempty=\n"
            "sign=-\nsys=-2147483640\non=1\noff=0\nyes=yes\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("s", "plain", 9), 42);
  EXPECT_EQ(ini.ReadInteger("s", "neg", 9), -7);
  EXPECT_EQ(ini.ReadInteger("s", "plus", 9), 5);
  EXPECT_EQ(ini.ReadInteger("s", "lead", 9), 12);
  EXPECT_EQ(ini.ReadInteger("s", "hex", 9), 31);
  EXPECT_EQ(ini.ReadInteger("s", "big", 9), -1);
  EXPECT_EQ(ini.ReadInteger("s", "sys", 9), -2147483640);
  // Not a number: the default, never a made-up 0.
  EXPECT_EQ(ini.ReadInteger("s", "word", 9), 9);
  EXPECT_EQ(ini.ReadInteger("s", "empty", 9), 9);
  EXPECT_EQ(ini.ReadInteger("s", "sign", 9), 9);
  EXPECT_EQ(ini.ReadInteger("s", "missing", 9), 9);
  EXPECT_TRUE(ini.ReadBool("s", "on", false));
  EXPECT_FALSE(ini.ReadBool("s", "off", true));
  EXPECT_TRUE(ini.ReadBool("s", "yes", true));
  EXPECT_FALSE(ini.ReadBool("s", "yes", false));
}

TEST(IniFile, MissingFileGivesDefaultsAndIsNotCreatedByDeletes) {
  TempDir dir;
  std::string path = dir.str() + "none.ini";
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString("Path", "KWD", ""), "");
  EXPECT_EQ(ini.ReadInteger("system", "admin", 0), 0);
  EXPECT_FALSE(ini.ValueExists("system", "admin"));
  ini.DeleteKey("system", "admin");
  ini.EraseSection("system");
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(IniFile, WriteChangesOnlyItsOwnLine) {
  TempDir dir;
  std::string path = dir.str() + "a.ini";
  // Comments, odd spacing, code page 932 bytes, mixed line ends, no final line break.
  const std::string before =
      "; \x90\xdd\x92\xe8 settings\r\n"
      "[fmSetup]\r\n"
      "  cbxIsIMEOn =  1   \r\n"
      "edName=\x83\x5c\x83\x74\x83\x67\\x\n"
      "\r\n"
      "; about the next section\r\n"
      "[fmMain]\r\n"
      "Func01_F01=CnSave";
  Put(path, before);
  IniFile ini(path);

  ini.WriteString("FMSETUP", "CBXISIMEON", "0");
  std::string expected = before;
  expected.replace(expected.find("  cbxIsIMEOn =  1   "), 20, "  cbxIsIMEOn =  0");
  EXPECT_EQ(Get(path), expected);

  // A new key goes after the last key of its section, ahead of the comment that leads into the next one.
  ini.WriteBool("fmSetup", "cbxNew", true);
  std::string withNew = expected;
  withNew.insert(withNew.find("\r\n; about"), "cbxNew=1\r\n");
  EXPECT_EQ(Get(path), withNew);

  // The last line had no line break: it gets one before the new key.
  ini.WriteInteger("fmMain", "Func01_F02", -3);
  EXPECT_EQ(Get(path), withNew + "\r\nFunc01_F02=-3\r\n");

  // A new section goes at the end, after a blank line.
  ini.WriteString("Text", "edGrepSearchWord", "\x8c\x9f\x8d\xf5");
  EXPECT_EQ(Get(path), withNew + "\r\nFunc01_F02=-3\r\n\r\n[Text]\r\nedGrepSearchWord=\x8c\x9f\x8d\xf5\r\n");
  EXPECT_EQ(ini.ReadString("text", "EDGREPSEARCHWORD", ""), "\x8c\x9f\x8d\xf5");
}

TEST(IniFile, ManyValuesInOneWrite) {
  TempDir dir;
  std::string path = dir.str() + "a.ini";
  Put(path, "[fmSetup]\r\ncbxIsIMEOn=1\r\n\r\n[Option]\r\nis_wordwrap=0");
  IniFile ini(path);
  ini.WriteStrings({{"fmSetup", "cbxIsIMEOn", "0"},
                    {"fmMain", "Func01_F01", "CnSeekWord"},
                    {"FMSETUP", "ed_mmDoc_FontSize", "11"},
                    {"Text", "edGrepSearchWord", "\x8c\x9f\x8d\xf5"},
                    {"fmMain", "Func01_F02", "x"},
                    {"fmMain", "func01_f02", "CnChgKeywordSort"}});  // the later one wins
  EXPECT_EQ(Get(path),
            "[fmSetup]\r\ncbxIsIMEOn=0\r\ned_mmDoc_FontSize=11\r\n\r\n[Option]\r\nis_wordwrap=0\r\n\r\n"
            "[fmMain]\r\nFunc01_F01=CnSeekWord\r\nfunc01_f02=CnChgKeywordSort\r\n\r\n"
            "[Text]\r\nedGrepSearchWord=\x8c\x9f\x8d\xf5\r\n");
  // A bad name writes nothing at all.
  const std::string before = Get(path);
  EXPECT_THROW(ini.WriteStrings({{"fmMain", "Func01_F03", "a"}, {"fmMain", "bad=key", "b"}}), GeneralError);
  EXPECT_EQ(Get(path), before);
}

TEST(IniFile, NewFileAndFolderAreCreatedAndLineEndsFollowTheFile) {
  TempDir dir;
  std::string path = dir.str() + "deep/er/WENDUL.INI";
  IniFile ini(path);
  ini.WriteString("Position", "Left", "10");
  ini.WriteString("Position", "Top", "20");
  EXPECT_EQ(Get(path), "[Position]\r\nLeft=10\r\nTop=20\r\n");

  std::string lf = dir.str() + "lf.ini";
  Put(lf, "[a]\nx=1\n");
  IniFile(lf).WriteString("a", "y", "2");
  EXPECT_EQ(Get(lf), "[a]\nx=1\ny=2\n");
  // Only the settings file itself is left in the folder, no temporary files.
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 2);  // deep/ and lf.ini
}

TEST(IniFile, ValueWithLineBreakCannotInjectKeys) {
  TempDir dir;
  std::string path = dir.str() + "a.ini";
  IniFile ini(path);
  ini.WriteString("Text", "edWord", "abc\r\n[system]\r\nadmin=1");
  EXPECT_EQ(ini.ReadString("Text", "edWord", ""), "abc");
  EXPECT_FALSE(ini.ValueExists("system", "admin"));
  // A NUL ends the value as it ended the C string: the file stays a text file.
  ini.WriteString("Text", "edWord", std::string("ab\0cd", 5));
  EXPECT_EQ(ini.ReadString("Text", "edWord", ""), "ab");
  EXPECT_THROW(ini.WriteString("Text", "a=b", "1"), GeneralError);
  EXPECT_THROW(ini.WriteString("", "k", "1"), GeneralError);
  // Names the reader would not find again: a key line that starts a comment
  // or a section, a section name whose last lead byte would take "]".
  const std::string before = Get(path);
  EXPECT_THROW(ini.WriteString("Text", ";k", "1"), GeneralError);
  EXPECT_THROW(ini.WriteString("Text", " [k", "1"), GeneralError);
  EXPECT_THROW(ini.WriteString("\x95\x5c\x95", "k", "1"), GeneralError);
  EXPECT_EQ(Get(path), before);
  ini.WriteString("\x95\x5c", "k;[", "1");  // 表: a whole character
  EXPECT_EQ(ini.ReadString("\x95\x5c", "k;[", ""), "1");
}

TEST(IniFile, AFileThatIsNoSettingsFileReadsAsDefaultsAndIsNeverWritten) {
  TempDir dir;
  const std::string binary = dir.str() + "bin.ini", big = dir.str() + "big.ini";
  Put(binary, std::string("[s]\r\nk=1\r\n\0\x01\x02", 12));
  Put(big, "[s]\r\nk=1\r\n" + std::string(kMaxSettingsFileBytes, ';'));
  for (const std::string& path : {binary, big}) {
    const std::string before = Get(path);
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("s", "k", "def"), "def");
    EXPECT_THROW(ini.WriteString("s", "k", "2"), GeneralError);
    EXPECT_EQ(Get(path), before);
    EXPECT_FALSE(SettingsFileProblem(path).empty());
  }
  EXPECT_TRUE(SettingsFileProblem(dir.str() + "missing.ini").empty());
}

TEST(IniFile, DeleteKeyAndEraseSection) {
  TempDir dir;
  std::string path = dir.str() + "a.ini";
  Put(path, "[a]\nk=1\nj=2\n[b]\nk=3\n[A]\nK=4\n");
  IniFile ini(path);
  ini.DeleteKey("a", "k");
  EXPECT_FALSE(ini.ValueExists("a", "k"));  // the duplicate in the second [A] went too
  EXPECT_EQ(Get(path), "[a]\nj=2\n[b]\nk=3\n[A]\n");
  ini.EraseSection("A");
  EXPECT_EQ(Get(path), "[b]\nk=3\n");
}

TEST(IniFile, UnwritableLocationRaisesAndLosesNothing) {
  TempDir dir;
  // The folder cannot be made: a file stands where it should be.
  Put(dir.str() + "plain", "x");
  IniFile blocked(dir.str() + "plain/sub/a.ini");
  try {
    blocked.WriteString("s", "k", "v");
    FAIL() << "no error";
  } catch (const GeneralError& e) {
    EXPECT_NE(std::string(e.what()).find("plain/sub/a.ini"), std::string::npos) << e.what();
  }

  // An existing file that cannot be read is never replaced by a fresh one.
  std::filesystem::create_directory(dir.path() / "isdir.ini");
  EXPECT_THROW(IniFile(dir.str() + "isdir.ini").WriteString("s", "k", "v"), GeneralError);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "isdir.ini"));

  // A folder that takes no new files: the old file stays as it was.
  if (geteuid() != 0) {
    std::string path = dir.str() + "ro/a.ini";
    std::filesystem::create_directory(dir.path() / "ro");
    Put(path, "[s]\nk=old\n");
    chmod((dir.str() + "ro").c_str(), 0555);
    EXPECT_THROW(IniFile(path).WriteString("s", "k", "new"), GeneralError);
    chmod((dir.str() + "ro").c_str(), 0755);
    EXPECT_EQ(Get(path), "[s]\nk=old\n");
  } else if (std::filesystem::exists("/proc/version")) {
    // Even root cannot add files to /proc.
    std::string before = Get("/proc/version");
    EXPECT_THROW(IniFile("/proc/version").WriteString("s", "k", "new"), GeneralError);
    EXPECT_EQ(Get("/proc/version"), before);
  }
}

}  // namespace
}  // namespace wendul
