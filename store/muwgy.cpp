#include "store/muwgy.h"

#include <array>
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

constexpr uint8_t kNoRule = 0xFE;  // dispatch: no rule matches
constexpr uint8_t kLead = 0xFF;    // dispatch / class: look at the next byte
constexpr size_t kMaxRules = 64;

// A character read from the pattern or the text.
struct Char {
  unsigned code = 0;
  size_t len = 0;
};

Char ReadChar(std::string_view s, size_t pos) {
  unsigned b = static_cast<unsigned char>(s[pos]);
  if (kBytes.lead[b] && pos + 1 < s.size() && kBytes.trail[static_cast<unsigned char>(s[pos + 1])])
    return {b << 8 | static_cast<unsigned char>(s[pos + 1]), 2};
  return {b, 1};
}

struct Range {
  unsigned lo, hi;
};

// One compiled rule: its atom as a byte-level class, and its action.
struct Rule {
  bool any = false;
  bool plus = false;
  bool echo = false;
  std::string literal;
  // For a byte b that does not start a double-byte character: 1 when the
  // single-byte character b is in the class, 0 when not; kLead for lead bytes
  // (decided together with the next byte).
  std::array<uint8_t, 256> single{};
  // Lead bytes standing alone (at the end, or before a non-trail byte).
  std::array<uint8_t, 256> lone{};
  // Double-byte characters, one bit per lead * 256 + trail.
  std::vector<uint64_t> dbl = std::vector<uint64_t>(65536 / 64);

  bool Silent() const { return !echo && literal.empty(); }
  bool HasDbl(unsigned code) const { return (dbl[code >> 6] >> (code & 63)) & 1; }
};

struct Program {
  std::vector<Rule> rules;
  // First rule matching each character, or kNoRule; kLead in first1 for lead bytes.
  std::array<uint8_t, 256> first1{};
  std::array<uint8_t, 256> firstLone{};
  std::vector<uint8_t> first2 = std::vector<uint8_t>(65536, kNoRule);
};

// --- compiling ------------------------------------------------------------

class RuleParser {
 public:
  RuleParser(std::string_view text, int maxMatchBytes) : s_(text), max_(maxMatchBytes) {}

  bool Parse(Rule* rule) {
    std::vector<Range> ranges;
    if (!ParseAtom(rule, &ranges)) return false;
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

  bool ParseAtom(Rule* rule, std::vector<Range>* ranges) {
    if (pos_ >= s_.size()) return false;
    char c = s_[pos_];
    if (c == '?') {
      rule->any = true;
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

  static void Materialize(Rule* rule, const std::vector<Range>& ranges) {
    auto contains = [&](unsigned code) {
      if (rule->any) return true;
      for (const Range& r : ranges)
        if (r.lo <= code && code <= r.hi) return true;
      return false;
    };
    for (unsigned b = 0; b < 256; ++b) {
      rule->lone[b] = contains(b);
      rule->single[b] = kBytes.lead[b] ? kLead : rule->lone[b];
      if (!kBytes.lead[b]) continue;
      for (unsigned t = 0; t < 256; ++t) {
        unsigned code = b << 8 | t;
        if (kBytes.trail[t] && contains(code)) rule->dbl[code >> 6] |= uint64_t{1} << (code & 63);
      }
    }
  }

  std::string_view s_;
  int max_;
  size_t pos_ = 0;
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

  prog->first1.fill(kNoRule);
  prog->firstLone.fill(kNoRule);
  for (size_t i = prog->rules.size(); i-- > 0;) {  // last to first: the first one wins
    const Rule& r = prog->rules[i];
    const auto idx = static_cast<uint8_t>(i);
    for (unsigned b = 0; b < 256; ++b) {
      if (r.lone[b]) prog->firstLone[b] = idx;
      if (kBytes.lead[b]) continue;
      if (r.single[b]) prog->first1[b] = idx;
    }
    for (unsigned code = 0x8100; code < 0x10000; ++code)
      if (r.HasDbl(code)) prog->first2[code] = idx;
  }
  for (unsigned b = 0; b < 256; ++b)
    if (kBytes.lead[b]) prog->first1[b] = kLead;
  return prog;
}

// --- running --------------------------------------------------------------

// End of the run of rule's class that starts at j (j itself not yet tested).
inline size_t RunEnd(const Rule& rule, const unsigned char* s, size_t j, size_t n) {
  while (j < n) {
    unsigned b = s[j];
    unsigned k = rule.single[b];
    if (k == 1) {
      ++j;
    } else if (k == 0) {
      break;
    } else if (j + 1 < n && kBytes.trail[s[j + 1]]) {
      if (!rule.HasDbl(b << 8 | s[j + 1])) break;
      j += 2;
    } else {
      if (!rule.lone[b]) break;
      ++j;
    }
  }
  return j;
}

SjisString Run(const Program& prog, std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  SjisString out;
  out.reserve(n + n / 2 + 64);
  size_t i = 0;
  size_t copyFrom = 0;  // start of characters no rule matched, copied as they are
  bool copying = false;
  while (i < n) {
    unsigned b = s[i];
    size_t len = 1;
    unsigned r = prog.first1[b];
    if (r == kLead) {
      if (i + 1 < n && kBytes.trail[s[i + 1]]) {
        r = prog.first2[b << 8 | s[i + 1]];
        len = 2;
      } else {
        r = prog.firstLone[b];
      }
    }
    if (r == kNoRule) {
      if (!copying) {
        copying = true;
        copyFrom = i;
      }
      i += len;
      continue;
    }
    if (copying) {
      out.append(text.data() + copyFrom, i - copyFrom);
      copying = false;
    }
    const Rule& rule = prog.rules[r];
    size_t end = rule.plus ? RunEnd(rule, s, i + len, n) : i + len;
    if (!rule.Silent()) {
      if (rule.echo) out.append(text.data() + i, end - i);
      out.append(rule.literal);
    }
    i = end;
  }
  if (copying) out.append(text.data() + copyFrom, n - copyFrom);
  return out;
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
