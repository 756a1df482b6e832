#include "util/recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "util/paths.h"

namespace wendul {

namespace {

constexpr char kMagic[] = "WENDUL-RECOVERY 1\n";

const char* EndName(LineEnd e) {
  switch (e) {
    case LineEnd::LF: return "LF";
    case LineEnd::CR: return "CR";
    default: return "CRLF";
  }
}

LineEnd EndFromName(const std::string& s) {
  if (s == "LF") return LineEnd::LF;
  if (s == "CR") return LineEnd::CR;
  return LineEnd::CRLF;
}

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Locks path without waiting; the open descriptor, or -1 when another
// process holds it (or it cannot be opened).
int TryLock(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string StateDir() {
  if (const char* home = std::getenv("WENDUL_HOME"); home && *home) return AddBackslash(home);
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
    return AddBackslash(state) + "wendul/";
  const char* home = std::getenv("HOME");
  return AddBackslash(home && *home ? home : "/tmp") + ".local/state/wendul/";
}

RecoveryStore::RecoveryStore(std::string folder)
    : folder_(folder.empty() ? StateDir() + "recovery/" : AddBackslash(folder)) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  id_ = std::to_string(getpid()) + "-" +
        std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

RecoveryStore::~RecoveryStore() {
  for (auto& [path, fd] : taken_) ::close(fd);
  if (lockFd_ >= 0) {
    // Without a record the lock file has nothing to guard.
    if (!saved_) ::unlink((folder_ + id_ + ".lock").c_str());
    ::close(lockFd_);
  }
}

bool RecoveryStore::Claim(std::string* error) {
  if (lockFd_ >= 0) return true;
  if (!ForceDirectories(folder_)) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  chmod(folder_.c_str(), 0700);  // unsaved text is nobody else's business
  lockFd_ = TryLock(folder_ + id_ + ".lock");
  if (lockFd_ < 0) {
    if (error) *error = std::strerror(errno ? errno : EAGAIN);
    return false;
  }
  return true;
}

bool RecoveryStore::Save(const RecoveryRecord& r, std::string* error) {
  if (!Claim(error)) return false;
  std::string data = kMagic;
  data += "untitled=" + std::string(r.untitled ? "1" : "0") + "\n";
  data += "lineend=" + std::string(EndName(r.lineEnd)) + "\n";
  data += "encoding=" + CodecName(r.codec) + "\n";
  const int64_t savedAt = r.savedAt ? r.savedAt
                                    : std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::system_clock::now().time_since_epoch()).count();
  data += "saved=" + std::to_string(savedAt) + "\n";
  if (r.diaryDay != 0) data += "day=" + std::to_string(r.diaryDay) + "\n";
  // Lengths, not separators: a Linux file name may hold a line break.
  data += "name " + std::to_string(r.fileName.size()) + "\n" + r.fileName + "\n";
  data += "text " + std::to_string(r.textUtf8.size()) + "\n" + r.textUtf8;
  AtomicFile f;
  std::string why;
  const std::string path = folder_ + id_ + ".rec";
  if (!f.Open(path, &why) || !f.Write(data) || !f.Commit(&why)) {
    if (error) *error = why;
    return false;
  }
  chmod(path.c_str(), 0600);
  saved_ = true;
  return true;
}

void RecoveryStore::Remove() {
  if (!saved_) return;
  ::unlink((folder_ + id_ + ".rec").c_str());
  saved_ = false;
}

bool RecoveryStore::Read(const std::string& path, RecoveryRecord* r) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.compare(0, sizeof kMagic - 1, kMagic) != 0) return false;
  size_t pos = sizeof kMagic - 1;
  RecoveryRecord out;
  auto line = [&](std::string* s) {
    size_t nl = data.find('\n', pos);
    if (nl == std::string::npos) return false;
    *s = data.substr(pos, nl - pos);
    pos = nl + 1;
    return true;
  };
  auto sized = [&](const char* key, std::string* value) {
    std::string head;
    if (!line(&head) || head.compare(0, std::strlen(key), key) != 0) return false;
    char* end = nullptr;
    unsigned long long n = std::strtoull(head.c_str() + std::strlen(key), &end, 10);
    if (!end || *end != '\0' || n > data.size() - pos) return false;
    *value = data.substr(pos, n);
    pos += n;
    return true;
  };
  std::string s;
  // key=value lines up to the name; a key this version does not know is passed over.
  for (;;) {
    const size_t at = pos;
    if (!line(&s)) return false;
    if (s.compare(0, 5, "name ") == 0) {
      pos = at;
      break;
    }
    size_t eq = s.find('=');
    if (eq == std::string::npos) return false;
    std::string key = s.substr(0, eq), value = s.substr(eq + 1);
    if (key == "untitled") out.untitled = value == "1";
    else if (key == "lineend") out.lineEnd = EndFromName(value);
    else if (key == "saved") out.savedAt = std::strtoll(value.c_str(), nullptr, 10);
    else if (key == "day") out.diaryDay = std::strtoll(value.c_str(), nullptr, 10);
    else if (key == "encoding") CodecFromName(value, &out.codec);
  }
  if (!sized("name ", &out.fileName)) return false;
  if (pos >= data.size() || data[pos] != '\n') return false;
  ++pos;
  if (!sized("text ", &out.textUtf8) || pos != data.size()) return false;
  *r = std::move(out);
  return true;
}

std::vector<std::string> RecoveryStore::TakeOrphans(bool diary) {
  std::vector<std::pair<int64_t, std::string>> found;
  DIR* dir = opendir(folder_.c_str());
  if (!dir) return {};
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (!EndsWith(name, ".rec")) continue;
    std::string id = name.substr(0, name.size() - 4);
    std::string path = folder_ + name;
    if (id == id_ || taken_.count(path)) continue;
    int fd = TryLock(folder_ + id + ".lock");
    if (fd < 0) continue;  // its editor is running
    RecoveryRecord r;
    // Unreadable: left as it is, not offered; the other mode's: left for it.
    if (!Read(path, &r) || (r.diaryDay != 0) != diary) {
      ::close(fd);
      continue;
    }
    taken_[path] = fd;
    found.emplace_back(r.savedAt, path);
  }
  closedir(dir);
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& f : found) paths.push_back(f.second);
  return paths;
}

void RecoveryStore::Discard(const std::string& path) {
  auto it = taken_.find(path);
  if (it == taken_.end()) return;
  ::unlink(path.c_str());
  ::unlink((path.substr(0, path.size() - 4) + ".lock").c_str());
  ::close(it->second);
  taken_.erase(it);
}

}  // namespace wendul
