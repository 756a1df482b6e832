#include "store/companion.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "util/paths.h"

extern char** environ;

namespace wendul {

namespace {

// ------------------------------------------------------------ command line

struct CommandLine {
  std::string opt[26];
  bool given[26] = {};
  std::vector<std::string> files;
  std::vector<std::string> unknown;
  bool help = false;
  bool version = false;
};
CommandLine g_cmd;

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
int LetterIndex(char c) { return (c >= 'a' && c <= 'z') ? c - 'a' : (c >= 'A' && c <= 'Z') ? c - 'A' : -1; }

// The "/" form reads as an option only with a text a date or number is made
// of, so absolute paths such as "/tmp" or "/a.txt" are not taken for options.
bool IsSlashOptionText(std::string_view text) {
  return text.find_first_not_of("0123456789-+/.:") == std::string_view::npos && (text.empty() || text[0] != '/');
}

}  // namespace

void MuAVParm(int argc, const char* const* argv) {
  g_cmd = CommandLine();
  bool onlyFiles = false;
  for (int i = 1; i < argc; ++i) {
    if (!argv[i]) continue;
    std::string_view a = argv[i];
    if (onlyFiles) {
      g_cmd.files.emplace_back(a);
      continue;
    }
    if (a == "--") {
      onlyFiles = true;
    } else if (a == "--help") {
      g_cmd.help = true;
    } else if (a == "--version") {
      g_cmd.version = true;
    } else if (a.size() > 2 && a[0] == '-' && a[1] == '-') {
      g_cmd.unknown.emplace_back(a);
    } else if (a.size() >= 2 && IsAsciiLetter(a[1]) &&
               (a[0] == '-' || (a[0] == '/' && IsSlashOptionText(a.substr(2))))) {
      int k = LetterIndex(a[1]);
      if (k < 0) continue;
      g_cmd.given[k] = true;
      g_cmd.opt[k] = std::string(a.substr(2));
    } else {
      g_cmd.files.emplace_back(a);
    }
  }
}

bool MuAVOpt(char letter) {
  int k = LetterIndex(letter);
  return k >= 0 && g_cmd.given[k];
}

std::string MuAVOptDt(char letter) {
  int k = LetterIndex(letter);
  return k >= 0 ? g_cmd.opt[k] : std::string();
}

int MuAVFileN() { return static_cast<int>(g_cmd.files.size()); }

std::string MuAVFile(int i) {
  if (i < 1 || i > MuAVFileN()) return {};
  return g_cmd.files[static_cast<size_t>(i - 1)];
}

bool MuAVWantsHelp() { return g_cmd.help; }
bool MuAVWantsVersion() { return g_cmd.version; }
const std::vector<std::string>& MuAVUnknown() { return g_cmd.unknown; }

// ------------------------------------------------------------ files

int64_t RtvFLen(const std::string& file) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::string OmitFExt(const std::string& name) {
  // '.' and '/' are never trail bytes of a double-byte character.
  size_t slash = name.rfind('/');
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot <= base) return name;
  return name.substr(0, dot);
}

bool BufferToFileAppend(std::string_view text, const std::string& file) {
  int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

// ------------------------------------------------------------ text output

namespace {
AtomicFile g_out;
bool g_outOk = false;
}  // namespace

bool MuioWriteOpen(const std::string& file) {
  g_out.Abandon();
  g_outOk = g_out.Open(file);
  return g_outOk;
}

bool MuioWrite(std::string_view text) {
  if (!g_out.IsOpen()) return false;
  if (!g_out.Write(text)) g_outOk = false;
  return g_outOk;
}

bool MuioWriteFieldDelimiter() { return MuioWrite(","); }
bool MuioWriteRecordDelimiter() { return MuioWrite("\r\n"); }

bool MuioClose() {
  if (!g_out.IsOpen()) return false;
  bool ok = g_out.Commit() && g_outOk;
  g_outOk = false;
  return ok;
}

// ------------------------------------------------------------ processes

namespace {

// Spawns argv as given. The child starts with the default signal handling and
// an empty signal mask, whatever the editor's own settings are.
bool Spawn(const std::vector<std::string>& argv, bool ownSession, pid_t* pid) {
  if (argv.empty() || argv[0].empty()) return false;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return false;
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
#ifdef POSIX_SPAWN_SETSID
  if (ownSession) flags |= POSIX_SPAWN_SETSID;
#else
  (void)ownSession;
#endif
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, flags);
  int rc = posix_spawnp(pid, args[0], nullptr, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  return rc == 0;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

bool MuSystem(const std::vector<std::string>& argv, int* exitCode) {
  pid_t pid = 0;
  if (!Spawn(argv, false, &pid)) return false;
  int code = WaitFor(pid);
  if (exitCode) *exitCode = code;
  return true;
}

bool MuCreateProcessShow(const std::vector<std::string>& argv, int /*showState*/) {
  pid_t pid = 0;
  if (!Spawn(argv, true, &pid)) return false;
  // Collect the exit status when the program ends, so no zombie is left behind.
  try {
    std::thread([pid] { WaitFor(pid); }).detach();
  } catch (...) {
    // Without a thread the child is still running; it is reaped at our exit.
  }
  return true;
}

}  // namespace wendul
