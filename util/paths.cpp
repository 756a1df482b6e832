#include "util/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "util/codec.h"
#include "util/messages.h"

namespace wendul {

namespace {

namespace fs = std::filesystem;

std::string g_programPath;  // absolute path of the executable, from argv[0]

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// The user's home folder: $HOME, else the password database.
std::string HomeDir() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
  return {};
}

// An XDG base folder: the variable when it holds an absolute path (relative
// values are to be ignored), else home + fallback.
std::string XdgBase(const char* variable, const char* homeFallback) {
  std::string v = Env(variable);
  if (!v.empty() && v[0] == '/') return v;
  std::string home = HomeDir();
  if (home.empty()) return {};
  return AddBackslash(home) + homeFallback;
}

std::string WendulHome() { return Env("WENDUL_HOME"); }

}  // namespace

std::string AddBackslash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder;
  return folder + "/";
}

std::string SettingsFolder(std::string_view cp932Value, const std::string& base) {
  // After decoding, a 0x5C byte is a backslash character: UTF-8 keeps bytes
  // below 0x80 out of every multi-byte sequence.
  std::string folder = SjisToUtf8(cp932Value);
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (folder.empty()) return base;
  if (folder[0] != '/') folder = base + folder;
  return AddBackslash(folder);
}

std::string GetWDir() {
  std::string home = WendulHome();
  if (!home.empty()) return AddBackslash(home);
  std::string base = XdgBase("XDG_CONFIG_HOME", ".config");
  if (base.empty()) PgmError("GetWDir error");
  return AddBackslash(base) + "wendul/";
}

std::string DataDir() {
  std::string home = WendulHome();
  if (!home.empty()) return AddBackslash(home);
  std::string base = XdgBase("XDG_DATA_HOME", ".local/share");
  if (base.empty()) PgmError("DataDir error");
  return AddBackslash(base) + "wendul/";
}

void SetProgramPath(const std::string& argv0) {
  if (argv0.empty()) return;
  std::string path = argv0;
  if (path.find('/') == std::string::npos) {
    // A bare name was found through PATH, so look there the same way.
    std::string dirs = Env("PATH");
    size_t start = 0;
    path.clear();
    while (start <= dirs.size()) {
      size_t end = dirs.find(':', start);
      if (end == std::string::npos) end = dirs.size();
      std::string candidate = AddBackslash(dirs.substr(start, end - start)) + argv0;
      if (end > start && access(candidate.c_str(), X_OK) == 0) {
        path = candidate;
        break;
      }
      start = end + 1;
    }
    if (path.empty()) return;
  }
  std::error_code ec;
  fs::path abs = fs::absolute(path, ec);  // against the start folder, before anyone changes it
  if (!ec) g_programPath = abs.lexically_normal().string();
}

std::string ProgramDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string exe;
  if (n > 0) {
    exe.assign(buf, static_cast<size_t>(n));
    // A replaced executable reads as "path (deleted)"; its folder is still right.
  } else {
    exe = g_programPath;
  }
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return "./";
  return exe.substr(0, slash + 1);
}

std::string ShippedFile(const std::string& name) {
  std::string beside = ProgramDir() + name;
  std::error_code ec;
  if (fs::exists(beside, ec)) return beside;
  // Installed layout: <prefix>/bin/wendul with the files in <prefix>/share/wendul
  // (the build names the path from the one folder to the other).
  const std::string installed =
      (fs::path(ProgramDir()) / WENDUL_SHARE_FROM_BIN / name).lexically_normal().string();
  if (fs::exists(installed, ec)) return installed;
  return beside;
}

bool ForceDirectories(const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  return fs::is_directory(folder, ec);
}

// ---------------------------------------------------------------- AtomicFile

AtomicFile::~AtomicFile() { Abandon(); }

namespace {

constexpr char kTempPrefix[] = ".wendul";
constexpr char kTempSuffix[] = ".tmp";

// The file a symbolic link names (followed through further links), even when
// it does not exist yet; the path itself when it is not a link.
std::string LinkTarget(const std::string& path) {
  std::string current = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    char buf[PATH_MAX];
    ssize_t n = readlink(current.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return current;
    std::string next(buf, static_cast<size_t>(n));
    if (next[0] != '/') {
      size_t slash = current.rfind('/');
      next = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + next;
    }
    current = next;
  }
  return current;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "./";
  return path.substr(0, slash + 1);
}

}  // namespace

bool AtomicFile::Open(const std::string& target, std::string* error) {
  Abandon();
  failed_ = false;
  errno_ = 0;
  buf_.clear();
  // Replace the file a link names, not the link.
  target_ = LinkTarget(target);
  struct stat st {};
  bool exists = stat(target_.c_str(), &st) == 0;
  // The temporary name is short, so that a name near the length limit can be saved too.
  static std::atomic<unsigned> counter{0};
  const std::string folder = FolderOf(target_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = folder + kTempPrefix + std::to_string(getpid()) + "_" + std::to_string(counter++) + kTempSuffix;
    // 0666 lets the umask decide, as for any newly created file.
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      if (errno != EEXIST) break;
      continue;
    }
    // Locked while it is written, so that a sweep of stale temporary files
    // passes over it; a sweep that came between the open and the lock has
    // taken the name away, and another one is tried.
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      ::close(fd_);
      fd_ = -1;
      continue;
    }
    struct stat mine {}, named {};
    if (fstat(fd_, &mine) == 0 && stat(temp_.c_str(), &named) == 0 && mine.st_ino == named.st_ino &&
        mine.st_dev == named.st_dev)
      break;
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0) {
    errno_ = errno;
    if (error) *error = std::strerror(errno_);
    temp_.clear();
    return false;
  }
  if (exists && S_ISREG(st.st_mode)) {
    // Owner first: changing it may clear the set-id bits the mode restores.
    if (fchown(fd_, st.st_uid, st.st_gid) != 0) { /* another user's file: stays ours */ }
    fchmod(fd_, st.st_mode & 07777);
  }
  return true;
}

bool AtomicFile::Flush() {
  size_t done = 0;
  while (!failed_ && done < buf_.size()) {
    ssize_t n = ::write(fd_, buf_.data() + done, buf_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      errno_ = errno;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  buf_.clear();
  return !failed_;
}

bool AtomicFile::Write(std::string_view bytes) {
  if (fd_ < 0 || failed_) return false;
  buf_.append(bytes);
  if (buf_.size() >= 64 * 1024) return Flush();
  return true;
}

bool AtomicFile::Commit(std::string* error) {
  if (fd_ < 0) {
    errno_ = EBADF;
    if (error) *error = "not open";
    return false;
  }
  Flush();
  if (!failed_ && fsync(fd_) != 0) {
    failed_ = true;
    errno_ = errno;
  }
  // The lock stays (on a second descriptor) until the file has its name.
  const int lock = dup(fd_);
  if (::close(fd_) != 0 && !failed_) {
    failed_ = true;
    errno_ = errno;
  }
  fd_ = -1;
  if (!failed_ && std::rename(temp_.c_str(), target_.c_str()) != 0) {
    failed_ = true;
    errno_ = errno;
  }
  if (lock >= 0) ::close(lock);
  if (failed_) {
    if (!errno_) errno_ = EIO;
    if (error) *error = std::strerror(errno_);
    ::unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  temp_.clear();
  // The new name itself reaches the disk with the folder.
  int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    ::close(dir);
  }
  RemoveStaleTemps(FolderOf(target_));
  return true;
}

bool IsAtomicTempName(std::string_view name) {
  const std::string_view prefix = kTempPrefix, suffix = kTempSuffix;
  if (name.size() <= prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix ||
      name.substr(name.size() - suffix.size()) != suffix)
    return false;
  const std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  const size_t cut = middle.find('_');
  auto digits = [](std::string_view d) {
    return !d.empty() && std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return cut != std::string_view::npos && digits(middle.substr(0, cut)) && digits(middle.substr(cut + 1));
}

int RemoveStaleTemps(const std::string& folder) {
  const std::string dirName = folder.empty() ? "./" : AddBackslash(folder);
  DIR* dir = opendir(dirName.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* e = readdir(dir)) {
    if (!IsAtomicTempName(e->d_name)) continue;
    const std::string path = dirName + e->d_name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    // Whoever writes one holds its lock; one that can be locked was left by
    // a save that never finished. A file system without locks keeps them.
    struct stat st {}, named {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        lstat(path.c_str(), &named) == 0 && named.st_ino == st.st_ino && named.st_dev == st.st_dev &&
        ::unlink(path.c_str()) == 0)
      ++removed;
    ::close(fd);
  }
  closedir(dir);
  return removed;
}

void AtomicFile::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
  buf_.clear();
}

}  // namespace wendul
