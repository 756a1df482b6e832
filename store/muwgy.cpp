#include "store/muwgy.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace wendul {

namespace {

constexpr bool IsLead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool IsTrail(unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

struct ByteTables {
  std::array<uint8_t, 256> lead{};
  std::array<uint8_t, 256> trail{};
  constexpr ByteTables() {
    for (unsigned b = 0; b < 256; ++b) {
      lead[b] = IsLead(b);
      trail[b] = IsTrail(b);
    }
  }
};
constexpr ByteTables kBytes;

constexpr uint8_t kNoRule = 0xFF;  // dispatch: no rule matches
constexpr size_t kMaxRules = 64;

// A character read from the pattern or the text.
struct Char {
  unsigned code = 0;
  size_t len = 0;
};

// Character codes: a single-byte character (a lone lead byte included) is its
// byte, 0x00-0xFF; a double-byte character is lead * 256 + trail, 0x8140 and
// up. So one 64K-entry table covers both without overlap. Reads s[i + 1] only
// when it lies inside the text, and decides the length without a branch.
inline unsigned Decode(const unsigned char* s, size_t i, size_t n, size_t* len) {
  const unsigned b0 = s[i];
  if (kBytes.lead[b0] && i + 1 < n && kBytes.trail[s[i + 1]]) {
    *len = 2;
    return b0 << 8 | s[i + 1];
  }
  *len = 1;
  return b0;
}

Char ReadChar(std::string_view s, size_t pos) {
  Char c;
  c.code = Decode(reinterpret_cast<const unsigned char*>(s.data()), pos, s.size(), &c.len);
  return c;
}

struct Range {
  unsigned lo, hi;
};

using CodeSet = std::array<uint64_t, 65536 / 64>;

inline bool Has(const CodeSet& set, unsigned code) { return (set[code >> 6] >> (code & 63)) & 1; }

// One compiled rule: its atom as a set of character codes, and its action.
struct Rule {
  bool plus = false;
  bool echo = false;
  std::string literal;
  CodeSet set{};
};

struct Program {
  std::vector<Rule> rules;
  std::array<uint8_t, 65536> first;  // first rule matching each character code
  // The shape of the word pattern: rule 0 writes runs of its class followed by
  // its literal, rule 1 drops any other character. It gets its own loop.
  bool words = false;
  Program() { first.fill(kNoRule); }
};

// --- compiling ------------------------------------------------------------

class RuleParser {
 public:
  RuleParser(std::string_view text, int maxMatchBytes) : s_(text), max_(maxMatchBytes) {}

  bool Parse(Rule* rule) {
    std::vector<Range> ranges;
    if (!ParseAtom(&ranges)) return false;
    if (pos_ < s_.size() && s_[pos_] == '+') {
      rule->plus = true;
      ++pos_;
    }
    if (pos_ >= s_.size() || s_[pos_] != '_') return false;
    if (max_ > 0 && pos_ > static_cast<size_t>(max_)) return false;
    ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '+') {
      rule->echo = true;
      ++pos_;
    }
    while (pos_ < s_.size()) {
      if (s_[pos_] == '\\') {
        if (++pos_ >= s_.size()) return false;
      }
      Char c = ReadChar(s_, pos_);
      rule->literal.append(s_.substr(pos_, c.len));
      pos_ += c.len;
    }
    Materialize(rule, ranges);
    return true;
  }

 private:
  // A character of the pattern, "\" escaping the next one.
  bool ReadPatternChar(unsigned* code) {
    if (pos_ < s_.size() && s_[pos_] == '\\') ++pos_;
    if (pos_ >= s_.size()) return false;
    Char c = ReadChar(s_, pos_);
    pos_ += c.len;
    *code = c.code;
    return true;
  }

  bool ParseAtom(std::vector<Range>* ranges) {
    if (pos_ >= s_.size()) return false;
    char c = s_[pos_];
    if (c == '?') {
      any_ = true;
      ++pos_;
      return true;
    }
    if (c == '_' || c == '+') return false;
    if (c != '[') {
      unsigned code;
      if (!ReadPatternChar(&code)) return false;
      ranges->push_back({code, code});
      return true;
    }
    ++pos_;
    for (;;) {
      if (pos_ >= s_.size()) return false;  // unclosed class
      if (s_[pos_] == ']') {
        ++pos_;
        return !ranges->empty();
      }
      unsigned lo;
      if (!ReadPatternChar(&lo)) return false;
      unsigned hi = lo;
      if (pos_ + 1 < s_.size() && s_[pos_] == '-' && s_[pos_ + 1] != ']') {
        ++pos_;
        if (!ReadPatternChar(&hi) || hi < lo) return false;
      }
      ranges->push_back({lo, hi});
    }
  }

  void Materialize(Rule* rule, const std::vector<Range>& ranges) const {
    if (any_) {
      rule->set.fill(~uint64_t{0});
      return;
    }
    auto contains = [&](unsigned code) {
      for (const Range& r : ranges)
        if (r.lo <= code && code <= r.hi) return true;
      return false;
    };
    for (unsigned b = 0; b < 256; ++b) {
      if (contains(b)) rule->set[b >> 6] |= uint64_t{1} << (b & 63);
      if (!kBytes.lead[b]) continue;
      for (unsigned t = 0; t < 256; ++t) {
        const unsigned code = b << 8 | t;
        if (kBytes.trail[t] && contains(code)) rule->set[code >> 6] |= uint64_t{1} << (code & 63);
      }
    }
  }

  std::string_view s_;
  int max_;
  size_t pos_ = 0;
  bool any_ = false;
};

std::unique_ptr<Program> Compile(std::string_view pattern, int maxMatchBytes) {
  auto prog = std::make_unique<Program>();
  size_t pos = 0;
  while (pos < pattern.size()) {
    size_t end = pattern.find("\r\n", pos);
    if (end == std::string_view::npos) end = pattern.size();
    std::string_view line = pattern.substr(pos, end - pos);
    pos = end == pattern.size() ? end : end + 2;
    if (line.empty()) continue;
    if (prog->rules.size() >= kMaxRules) return nullptr;
    Rule rule;
    if (!RuleParser(line, maxMatchBytes).Parse(&rule)) return nullptr;
    prog->rules.push_back(std::move(rule));
  }
  if (prog->rules.empty()) return nullptr;

  for (size_t i = prog->rules.size(); i-- > 0;) {  // last to first: the first one wins
    const Rule& r = prog->rules[i];
    for (unsigned code = 0; code < 65536; ++code)
      if (Has(r.set, code)) prog->first[code] = static_cast<uint8_t>(i);
  }
  const auto& rules = prog->rules;
  prog->words = rules.size() == 2 && rules[0].plus && rules[0].echo && !rules[1].plus && !rules[1].echo &&
                rules[1].literal.empty() &&
                std::all_of(rules[1].set.begin(), rules[1].set.end(), [](uint64_t w) { return w == ~uint64_t{0}; });
  return prog;
}

// --- running --------------------------------------------------------------

// Output is written into a scratch buffer sized for the worst case, so the
// loops never check for room; the result is copied out once.
char* Scratch(size_t bytes) {
  static std::vector<char> buf;
  if (buf.size() < bytes) buf.resize(bytes);
  return buf.data();
}

// Every maximal run of the class, each followed by the literal; everything
// else dropped. Words are short, so they and the literal are copied in fixed
// 16-byte blocks where the input and the buffer's slack allow.
SjisString RunWords(const Rule& rule, const unsigned char* s, size_t n) {
  constexpr size_t kBlock = 16;
  const CodeSet& set = rule.set;
  const size_t litLen = rule.literal.size();
  char lit[kBlock] = {};
  const bool shortLit = litLen <= kBlock;
  if (shortLit) std::memcpy(lit, rule.literal.data(), litLen);
  // Runs are at most every other byte.
  char* const out = Scratch(n + (n + 1) / 2 * litLen + kBlock);
  char* w = out;
  size_t i = 0, len = 1;
  while (i < n) {
    if (!Has(set, Decode(s, i, n, &len))) {
      i += len;
      continue;
    }
    const size_t start = i;
    i += len;
    while (i < n && Has(set, Decode(s, i, n, &len))) i += len;
    const size_t wordLen = i - start;
    if (wordLen <= kBlock && start + kBlock <= n)
      std::memcpy(w, s + start, kBlock);
    else
      std::memcpy(w, s + start, wordLen);
    w += wordLen;
    if (shortLit)
      std::memcpy(w, lit, kBlock);
    else
      std::memcpy(w, rule.literal.data(), litLen);
    w += litLen;
    if (i < n) i += len;  // the character that ended the run is dropped too
  }
  return SjisString(out, w);
}

SjisString Run(const Program& prog, std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  if (prog.words) return RunWords(prog.rules[0], s, n);
  size_t longestLiteral = 0;
  for (const Rule& r : prog.rules) longestLiteral = std::max(longestLiteral, r.literal.size());
  // Each character yields at most itself plus one literal.
  char* const out = Scratch(n * (1 + longestLiteral) + 1);
  char* w = out;
  size_t i = 0, len = 1;
  while (i < n) {
    const unsigned r = prog.first[Decode(s, i, n, &len)];
    if (r == kNoRule) {  // copied as it is
      std::memcpy(w, s + i, len);
      w += len;
      i += len;
      continue;
    }
    const Rule& rule = prog.rules[r];
    size_t end = i + len;
    if (rule.plus) {
      size_t l;
      while (end < n && Has(rule.set, Decode(s, end, n, &l))) end += l;
    }
    if (rule.echo) {
      std::memcpy(w, s + i, end - i);
      w += end - i;
    }
    std::memcpy(w, rule.literal.data(), rule.literal.size());
    w += rule.literal.size();
    i = end;
  }
  return SjisString(out, w);
}

// --- handles --------------------------------------------------------------

struct Registry {
  std::vector<std::pair<int, std::unique_ptr<Program>>> programs;
  int lastHandle = 0;

  const Program* Find(int handle) const {
    for (const auto& [h, p] : programs)
      if (h == handle) return p.get();
    return nullptr;
  }
};

Registry& Programs() {
  static Registry registry;
  return registry;
}

}  // namespace

int MuWGYInitStr(std::string_view pattern, int maxMatchBytes) {
  std::unique_ptr<Program> prog = Compile(pattern, maxMatchBytes);
  if (!prog) return 0;
  Registry& reg = Programs();
  int handle = ++reg.lastHandle;
  reg.programs.emplace_back(handle, std::move(prog));
  return handle;
}

std::optional<SjisString> MuWGYStr(int handle, std::string_view text) {
  if (handle <= 0 || text.size() > kMuWGYMaxInput) return std::nullopt;
  const Program* prog = Programs().Find(handle);
  if (!prog) return std::nullopt;
  return Run(*prog, text);
}

void MuWGYTerm(int handle) {
  auto& list = Programs().programs;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->first == handle) {
      list.erase(it);
      return;
    }
  }
}

}  // namespace wendul
