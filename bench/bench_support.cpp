#include "bench_support.h"

#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string_view>

#include "store/mt.h"
#include "store/mt_internal.h"
#include "store/sepkeyword.h"
#include "util/codec.h"

namespace wendul::bench {

std::string CommandOutput(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

namespace {

std::string ReadManSources() { return CommandOutput("zcat -f /usr/share/man/ja/man*/* 2>/dev/null"); }

// Drops roff requests and comments and the common inline escapes.
std::string StripRoff(const std::string& src) {
  std::string out;
  out.reserve(src.size());
  size_t pos = 0;
  while (pos < src.size()) {
    size_t end = src.find('\n', pos);
    if (end == std::string::npos) end = src.size();
    std::string_view line(src.data() + pos, end - pos);
    pos = end + 1;
    if (line.empty() || line[0] == '.' || line[0] == '\'') continue;
    for (size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (c != '\\' || i + 1 >= line.size()) {
        out += c;
        continue;
      }
      char e = line[++i];
      if (e == 'f' || e == '*') {  // font or string: \fB, \f(XX, \*x, \*(xx
        if (i + 1 < line.size() && line[i + 1] == '(') i += 3;
        else if (i + 1 < line.size() && line[i + 1] == '[') i = line.find(']', i);
        else ++i;
        if (i == std::string_view::npos) break;
      } else if (e == '(') {
        i += 2;
      } else if (e == '"') {
        break;  // comment to the end of the line
      } else if (e == '-' || e == 'e' || e == ' ') {
        out += e == 'e' ? '\\' : e;
      } else if (e != '&' && e != '|' && e != '^') {
        out += e;
      }
    }
    out += "\r\n";
  }
  return out;
}

bool HasDoubleByte(std::string_view s) {
  for (unsigned char b : s)
    if (IsSjisLeadByte(b)) return true;
  return false;
}

// UTF-8 to Shift-JIS, dropping what code page 932 cannot hold.
SjisString ToSjis(const std::string& utf8, CorpusLines lines) {
  SjisString all, line;
  for (size_t i = 0; i < utf8.size();) {
    auto b = static_cast<unsigned char>(utf8[i]);
    int len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (i + len > utf8.size()) break;
    char32_t cp = len == 1 ? b : (b & (0x7F >> len));
    for (int k = 1; k < len; ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += len;
    char out[2];
    line.append(out, static_cast<size_t>(EncodeCp932Char(cp, out)));
    if (cp == '\n') {
      if (lines == CorpusLines::All || HasDoubleByte(line)) all += line;
      line.clear();
    }
  }
  return all;
}

SjisString Base(CorpusLines lines) {
  SjisString s = ToSjis(StripRoff(ReadManSources()), lines);
  if (s.empty()) {
    std::fprintf(stderr, "manpages-ja is not installed; using a built-in sentence\n");
    s = Utf8ToSjis("東京タワーに行った。新しいファイルを作成し、コマンドの実行結果を確認します。\r\n");
  }
  return s;
}

SjisString RandomJapaneseWord(std::mt19937& rng) {
  // Katakana (0x8340..0x8396) and common kanji (0x889F..0x9872) words of 2 to 6 characters.
  std::uniform_int_distribution<int> len(2, 6), kind(0, 1), kata(0x40, 0x96), lead(0x88, 0x98),
      trail(0x40, 0xFC);
  SjisString w;
  for (int n = len(rng); n > 0; --n) {
    if (kind(rng) == 0) {
      int c = kata(rng);
      if (c == 0x7F) c = 0x80;
      w += '\x83';
      w += static_cast<char>(c);
    } else {
      int t = trail(rng);
      if (t == 0x7F) t = 0x80;
      int l = lead(rng);
      if (l == 0x88 && t < 0x9F) t = 0x9F;
      if (l == 0x98 && t > 0x72) t = 0x40 + t % 0x33;  // the first kanji level ends at 0x9872
      w += static_cast<char>(l);
      w += static_cast<char>(t);
    }
  }
  return w;
}

}  // namespace

SjisString JapaneseCorpus(size_t minBytes, CorpusLines lines) {
  auto made = [](CorpusLines kind) -> const SjisString& {
    static const SjisString all = Base(CorpusLines::All);
    static const SjisString japanese = Base(CorpusLines::JapaneseOnly);
    return kind == CorpusLines::All ? all : japanese;
  };
  const SjisString& base = made(lines);
  if (minBytes == 0) return base;
  SjisString out;
  out.reserve(minBytes + base.size());
  while (out.size() < minBytes) out += base;
  const size_t cut = out.rfind("\r\n", minBytes);
  if (cut != SjisString::npos && cut > 0) out.resize(cut + 2);
  return out;
}

void DeclareWordTable(MT& t, const std::string& folder) {
  t.SetDatabaseName(folder);
  t.SetTableName("KWD.DB");
  for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P", "UPDATEDATE,i"})
    t.AddFieldDef(decl);
}

std::vector<SjisString> BuildWordTable(const std::string& folder, int words, TableWords kind,
                                       const std::vector<SjisString>& prefixes) {
  std::filesystem::create_directories(folder);
  {
    MT t;
    DeclareWordTable(t, folder);
    t.Open();  // creates the file from the declarations
  }
  sqlite3* db = nullptr;
  sqlite3_open((std::filesystem::path(folder) / "KWD.DB").c_str(), &db);
  sqlite3_exec(db, "PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  const std::string sql = std::string("INSERT OR IGNORE INTO ") + mtimpl::kDataTable +
                          "(KEYWORD, UPDATEDATE, APPENDDATE) VALUES(?, ?, ?)";
  sqlite3_prepare_v2(db, sql.c_str(), -1, &ins, nullptr);
  std::mt19937 rng(12345);
  std::vector<SjisString> sample;
  int stored = 0;
  double date = 40000.0;
  char numbered[16];
  while (stored < words) {
    SjisString w = kind == TableWords::Japanese
                       ? RandomJapaneseWord(rng)
                       : SjisString(numbered, static_cast<size_t>(std::snprintf(numbered, sizeof numbered,
                                                                                "w%07d", stored)));
    if (!prefixes.empty()) w = prefixes[static_cast<size_t>(stored) % prefixes.size()] + w;
    sqlite3_bind_blob(ins, 1, w.data(), static_cast<int>(w.size()), SQLITE_TRANSIENT);
    date += 0.0001;
    sqlite3_bind_double(ins, 2, date);
    sqlite3_bind_double(ins, 3, date);
    sqlite3_step(ins);
    sqlite3_reset(ins);
    if (sqlite3_changes(db) == 1) {
      ++stored;
      if (stored % 997 == 0) sample.push_back(w);
    }
  }
  sqlite3_finalize(ins);
  sqlite3_exec(db, "COMMIT; ANALYZE", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return sample;
}

std::string BenchFolder(const std::string& name) {
  static std::vector<std::filesystem::path> made;
  auto path = std::filesystem::temp_directory_path() / ("wendul-" + name + "-" + std::to_string(::getpid()));
  std::filesystem::create_directories(path);
  if (made.empty()) {
    std::atexit([] {
      std::error_code ec;
      for (auto& p : made) std::filesystem::remove_all(p, ec);
    });
  }
  made.push_back(path);
  return path.string() + "/";
}

void SilentUi::ShowMessage(const SjisString&, const SjisString& text) {
  std::fprintf(stderr, "message: %s\n", SjisToUtf8(text).c_str());
}

SjisString TypedSentences(const std::vector<SjisString>& words, size_t bytes, unsigned seed) {
  const SjisString seps[] = {"\x82\xc5\x82\xcd\x82\xc8\x82\xad\x82\xc4",  // ではなくて
                             "\x82\xa9\x82\xe7\x82\xcd", "\x82\xcc"};       // からは, の
  std::mt19937 rng(seed);
  SjisString typed;
  while (typed.size() < bytes) {
    SjisString sentence;
    for (int k = 0; sentence.size() < 290; ++k) sentence += words[rng() % words.size()] + seps[k % 3];
    typed += sentence + "\x81\x42";  // 。
  }
  return typed;
}

void LearningKeystroke(MT& latest, MT& similar, const DocEditor& editor) {
  int current = 0;
  const SjisString rest = SepKeywordAtCaret(latest, editor, false, false);
  similar.SetFilter("KEYWORD='" + rest + "*'");
  benchmark::DoNotOptimize(similar.CountAtMost(1));
  benchmark::DoNotOptimize(latest.RowsAround(15, 14, &current));
  benchmark::DoNotOptimize(similar.RowsAround(15, 14, &current));
}

double ThreadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

Latencies::~Latencies() {
  if (times_.empty()) return;
  std::sort(times_.begin(), times_.end());
  std::sort(cpu_.begin(), cpu_.end());
  auto at = [](const std::vector<double>& v, double q) { return v[static_cast<size_t>(q * (v.size() - 1))]; };
  state_.counters["p50_us"] = at(times_, 0.5);
  state_.counters["p90_us"] = at(times_, 0.9);
  state_.counters["p99_us"] = at(times_, 0.99);
  state_.counters["cpu_p50_us"] = at(cpu_, 0.5);
  state_.counters["cpu_p99_us"] = at(cpu_, 0.99);
  if (reportMax_) {
    state_.counters["max_us"] = times_.back();
    state_.counters["cpu_max_us"] = cpu_.back();
  }
}

}  // namespace wendul::bench
