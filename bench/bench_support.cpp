#include "bench_support.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "store/mt.h"
#include "store/mt_internal.h"
#include "util/codec.h"

namespace wendul::bench {

namespace {

std::string ReadManSources() {
  std::string all;
  FILE* p = popen("zcat -f /usr/share/man/ja/man*/* 2>/dev/null", "r");
  if (!p) return all;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) all.append(buf, n);
  pclose(p);
  return all;
}

// UTF-8 text lines without roff requests, converted to Shift-JIS.
SjisString StripAndConvert(const std::string& src) {
  SjisString out;
  size_t pos = 0;
  char buf[2];
  while (pos < src.size()) {
    size_t end = src.find('\n', pos);
    if (end == std::string::npos) end = src.size();
    std::string_view line(src.data() + pos, end - pos);
    pos = end + 1;
    if (line.empty() || line[0] == '.' || line[0] == '\'') continue;
    std::u16string u;
    // Decode UTF-8 by hand: the sources are UTF-8; bad bytes are skipped.
    for (size_t i = 0; i < line.size();) {
      unsigned char c = static_cast<unsigned char>(line[i]);
      char32_t cp;
      int len;
      if (c < 0x80) { cp = c; len = 1; }
      else if ((c >> 5) == 6 && i + 1 < line.size()) { cp = ((c & 0x1F) << 6) | (line[i + 1] & 0x3F); len = 2; }
      else if ((c >> 4) == 14 && i + 2 < line.size()) {
        cp = ((c & 0x0F) << 12) | ((line[i + 1] & 0x3F) << 6) | (line[i + 2] & 0x3F); len = 3;
      } else { i += 1; continue; }
      i += static_cast<size_t>(len);
      if (cp == '\\') continue;  // roff escapes are noise
      int n = EncodeCp932Char(cp, buf);
      if (n > 0 && !(n == 1 && static_cast<unsigned char>(buf[0]) < 0x20)) out.append(buf, static_cast<size_t>(n));
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace

SjisString JapaneseCorpus(size_t minBytes) {
  static const SjisString base = [] {
    SjisString s = StripAndConvert(ReadManSources());
    if (s.empty()) {
      std::fprintf(stderr, "manpages-ja is not installed; using a built-in sentence\n");
      s = Utf8ToSjis("東京タワーに行った。新しいファイルを作成し、コマンドの実行結果を確認します。\r\n");
    }
    return s;
  }();
  SjisString out;
  out.reserve(minBytes + base.size());
  while (out.size() < minBytes) out += base;
  const size_t cut = out.rfind("\r\n", minBytes);
  if (cut != SjisString::npos && cut > 0) out.resize(cut + 2);
  return out;
}

std::vector<SjisString> BuildWordTable(const std::string& folder, int words) {
  std::filesystem::create_directories(folder);
  {
    MT t;
    t.SetDatabaseName(folder);
    t.SetTableName("KWD.DB");
    for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P", "UPDATEDATE,i"})
      t.AddFieldDef(decl);
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
  // Katakana (0x8340..0x8396) and common kanji (0x889F..0x9872) words of 2 to 6 characters.
  std::uniform_int_distribution<int> len(2, 6), kind(0, 1), kata(0x40, 0x96), lead(0x88, 0x98), trail(0x40, 0xFC);
  std::vector<SjisString> sample;
  int stored = 0;
  double date = 40000.0;
  while (stored < words) {
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
        w += static_cast<char>(l);
        w += static_cast<char>(t);
      }
    }
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

}  // namespace wendul::bench
