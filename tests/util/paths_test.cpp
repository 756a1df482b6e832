// Folders of Wendul's files, and the all-or-nothing file replacement.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "support/test_support.h"
#include "util/paths.h"
#include "util/wtypes.h"

namespace wendul {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Sets (or, with nullopt, removes) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value->c_str(), 1); else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1); else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string Get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(Paths, WendulHomeReplacesBothFolders) {
  ScopedEnv home("WENDUL_HOME", "/srv/wendul-data");
  ScopedEnv cfg("XDG_CONFIG_HOME", "/x/cfg");
  EXPECT_EQ(GetWDir(), "/srv/wendul-data/");
  EXPECT_EQ(DataDir(), "/srv/wendul-data/");
}

TEST(Paths, XdgFoldersAndTheirHomeFallbacks) {
  ScopedEnv wh("WENDUL_HOME", std::nullopt);
  ScopedEnv home("HOME", "/home/u");
  {
    ScopedEnv cfg("XDG_CONFIG_HOME", "/x/cfg");
    ScopedEnv data("XDG_DATA_HOME", "/x/data/");
    EXPECT_EQ(GetWDir(), "/x/cfg/wendul/");
    EXPECT_EQ(DataDir(), "/x/data/wendul/");
  }
  {
    // Unset, empty or relative XDG values fall back to the home folder.
    ScopedEnv cfg("XDG_CONFIG_HOME", "relative/cfg");
    ScopedEnv data("XDG_DATA_HOME", "");
    EXPECT_EQ(GetWDir(), "/home/u/.config/wendul/");
    EXPECT_EQ(DataDir(), "/home/u/.local/share/wendul/");
  }
}

TEST(Paths, AddBackslashAndForceDirectories) {
  EXPECT_EQ(AddBackslash(""), "");
  EXPECT_EQ(AddBackslash("/data"), "/data/");
  EXPECT_EQ(AddBackslash("/data/"), "/data/");
  EXPECT_EQ(AddBackslash("data\\"), "data\\");

  TempDir dir;
  EXPECT_TRUE(ForceDirectories(dir.str() + "a/b/c"));
  EXPECT_TRUE(fs::is_directory(dir.path() / "a/b/c"));
  EXPECT_TRUE(ForceDirectories(dir.str() + "a/b/c/"));  // already there
  std::ofstream(dir.path() / "file") << "x";
  EXPECT_FALSE(ForceDirectories(dir.str() + "file/sub"));
  EXPECT_FALSE(ForceDirectories(""));
}

// Folder names of the settings file are code page 932: ソ is 0x83 0x5C and 表
// 0x95 0x5C, their trail bytes being backslashes.
TEST(Paths, SettingsFoldersAreDecodedOnceAndNeverRelativeToTheCurrentFolder) {
  const std::string base = "/d/TABLE/";
  const std::string so = "\x83\x5c", hyo = "\x95\x5c";
  EXPECT_EQ(SettingsFolder("C:" + so + hyo + "\\" + hyo, base), base + "C:ソ表/表/");
  EXPECT_EQ(SettingsFolder("/srv/" + so + "\\sub\\", base), "/srv/ソ/sub/");
  EXPECT_EQ(SettingsFolder("/srv/" + hyo, base), "/srv/表/");  // no separator appended after a trail byte only
  EXPECT_EQ(SettingsFolder("kwd", base), base + "kwd/");
  EXPECT_EQ(SettingsFolder("./kwd/", base), base + "./kwd/");
  EXPECT_EQ(SettingsFolder("", base), base);
}

TEST(Paths, ProgramDirAndShippedFiles) {
  std::string prog = ProgramDir();
  ASSERT_FALSE(prog.empty());
  EXPECT_EQ(prog.back(), '/');
  EXPECT_TRUE(fs::exists(prog + "util_tests"));

  const std::string name = "wendul-shipped-" + std::to_string(getpid()) + ".TXT";
  EXPECT_EQ(ShippedFile(name), prog + name);  // neither exists: the first candidate

  // Installed layout: the executable's folder is <prefix>/bin, files in <prefix>/share/wendul.
  fs::path shareDir = fs::path(prog).parent_path().parent_path() / "share" / "wendul";
  bool madeShare = !fs::exists(shareDir);
  fs::create_directories(shareDir);
  std::ofstream(shareDir / name) << "installed";
  EXPECT_EQ(ShippedFile(name), (shareDir / name).string());
  std::ofstream(prog + name) << "beside";
  EXPECT_EQ(ShippedFile(name), prog + name);  // beside the executable comes first
  fs::remove(prog + name);
  fs::remove(shareDir / name);
  if (madeShare) {
    fs::remove(shareDir);
    fs::remove(shareDir.parent_path());
  }
}

TEST(AtomicFile, TargetChangesOnlyOnCommit) {
  TempDir dir;
  std::string path = dir.str() + "out.txt";
  std::ofstream(path) << "old";
  chmod(path.c_str(), 0640);
  {
    AtomicFile f;
    ASSERT_TRUE(f.Open(path));
    EXPECT_TRUE(f.Write("new "));
    EXPECT_EQ(Get(path), "old");
    // Abandoned by the destructor.
  }
  EXPECT_EQ(Get(path), "old");

  AtomicFile f;
  ASSERT_TRUE(f.Open(path));
  f.Write("new ");
  f.Write(std::string(100000, 'x'));  // beyond the gathering buffer
  EXPECT_TRUE(f.Commit());
  EXPECT_EQ(Get(path), "new " + std::string(100000, 'x'));
  struct stat st {};
  stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // permissions kept

  int entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);

  std::string error;
  EXPECT_FALSE(f.Open(dir.str() + "missing/out.txt", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(f.Commit());
}

TEST(AtomicFile, LinkIsFollowedNotReplaced) {
  TempDir dir;
  std::ofstream(dir.path() / "real.ini") << "a";
  fs::create_symlink(dir.path() / "real.ini", dir.path() / "link.ini");
  AtomicFile f;
  ASSERT_TRUE(f.Open(dir.str() + "link.ini"));
  f.Write("b");
  ASSERT_TRUE(f.Commit());
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.ini"));
  EXPECT_EQ(Get(dir.str() + "real.ini"), "b");
}

}  // namespace
}  // namespace wendul
