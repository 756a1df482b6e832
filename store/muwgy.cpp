#include "store/muwgy.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

  // The ranges as a set of the codes a character can have: every single
  // byte, and lead * 256 + trail for the double-byte ones. Whole 64-code
  // words at a time, so that a class spanning the kanji costs a few thousand
  // steps, not one per code.
  void Materialize(Rule* rule, const std::vector<Range>& ranges) const {
    if (any_) {
      rule->set.fill(~uint64_t{0});
      return;
    }
    for (const Range& r : ranges) {
      const unsigned lo = r.lo, hi = std::min(r.hi, 0xFFFFu);
      if (lo > hi) continue;
      for (unsigned w = lo >> 6; w <= hi >> 6; ++w) {
        uint64_t bits = ~uint64_t{0};
        if (w == lo >> 6) bits &= ~uint64_t{0} << (lo & 63);
        if (w == hi >> 6) bits &= ~uint64_t{0} >> (63 - (hi & 63));
        rule->set[w] |= bits;
      }
    }
    const CodeSet& valid = ValidCodes();
    for (size_t w = 0; w < rule->set.size(); ++w) rule->set[w] &= valid[w];
  }

  static const CodeSet& ValidCodes() {
    static const CodeSet valid = [] {
      CodeSet v{};
      for (unsigned code = 0; code < 65536; ++code) {
        const bool ok = code < 256 || (kBytes.lead[code >> 8] && kBytes.trail[code & 0xFF]);
        if (ok) v[code >> 6] |= uint64_t{1} << (code & 63);
      }
      return v;
    }();
    return valid;
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
    for (size_t w = 0; w < r.set.size(); ++w) {
      uint64_t bits = r.set[w];
      if (bits == ~uint64_t{0}) {
        std::memset(&prog->first[w * 64], static_cast<int>(i), 64);
        continue;
      }
      for (; bits; bits &= bits - 1)
        prog->first[w * 64 + static_cast<size_t>(__builtin_ctzll(bits))] = static_cast<uint8_t>(i);
    }
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

// Which bytes of q[0, count) (count <= 64) could lead, and which could trail,
// a double-byte character, one bit per byte.
void ByteKinds(const unsigned char* q, size_t count, uint64_t* lead, uint64_t* trail) {
  uint64_t l = 0, t = 0;
  size_t k = 0;
#if defined(__SSE2__)
  for (; k + 16 <= count; k += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + k));
    // lo <= x <= hi, unsigned: x - lo (wrapping) is at most hi - lo.
    auto within = [&x](int lo, int hi) {
      const __m128i d = _mm_sub_epi8(x, _mm_set1_epi8(static_cast<char>(lo)));
      return _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(static_cast<char>(hi - lo))), d);
    };
    const auto lk = static_cast<uint64_t>(static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(within(0x81, 0x9F), within(0xE0, 0xFC)))));
    const auto tk = static_cast<uint64_t>(static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(within(0x40, 0x7E), within(0x80, 0xFC)))));
    l |= lk << k;
    t |= tk << k;
  }
#endif
  for (; k < count; ++k) {
    l |= uint64_t{kBytes.lead[q[k]]} << k;
    t |= uint64_t{kBytes.trail[q[k]]} << k;
  }
  *lead = l;
  *trail = t;
}

// Every maximal run of the class, each followed by the literal; everything
// else dropped.
//
// The text is read in 64-byte groups, one bit per byte, without branching on
// the text, so mixed scripts and short words cost no mispredictions:
//  1. Which bytes could lead and which could trail a double-byte character
//     (16 at a time where the processor allows), hence `pairs`: the bytes
//     that would pair with the next one if a character started there.
//  2. Where characters really start. A byte that does not pair ends any
//     chain of pairing bytes, so the byte after it starts a character; inside
//     a chain every other byte, counted from the chain's first, starts one.
//     Adding a chain's first bit to the chain carries through it and marks
//     it; doing so separately for chains that begin at even and at odd
//     positions gives each chain's parity, hence `lead`: the bytes that start
//     a double-byte character. A chain running into the next group keeps its
//     parity there (groups are 64 bytes, an even number).
//  3. The class is looked up once per character, at its start; word bytes
//     are the members' bytes, a lead's trail byte following its lead.
//  4. Every run of word bytes is a word: copied, then the literal.
// Words are short, so they and the literal are copied in fixed 16-byte blocks
// where the input and the buffer's slack allow.
SjisString RunWords(const Program& prog, const unsigned char* s, size_t n) {
  const Rule& rule = prog.rules[0];
  const auto& firstRule = prog.first;  // 0 for the class's members
  constexpr size_t kBlock = 16;
  constexpr uint64_t kEven = 0x5555555555555555u;
  const size_t groups = (n + 63) / 64;
  static std::vector<uint64_t> leads, trails, words;
  if (words.size() < groups + 1) {
    leads.resize(groups + 1);
    trails.resize(groups + 1);
    words.resize(groups + 1);
  }
  for (size_t g = 0; g < groups; ++g) ByteKinds(s + g * 64, std::min<size_t>(64, n - g * 64), &leads[g], &trails[g]);
  trails[groups] = 0;  // nothing follows the text's last byte

  uint64_t pairCarry = 0, evenCarry = 0, oddCarry = 0, leadCarry = 0, wordCarry = 0;
  for (size_t g = 0; g < groups; ++g) {
    const uint64_t pairs = leads[g] & (trails[g] >> 1 | trails[g + 1] << 63);
    const uint64_t first = pairs & ~(pairs << 1 | pairCarry);
    uint64_t evenRun, oddRun;
    const bool evenOut = __builtin_add_overflow(pairs, (first & kEven) | evenCarry, &evenRun);
    const bool oddOut = __builtin_add_overflow(pairs, (first & ~kEven) | oddCarry, &oddRun);
    evenRun = (evenRun ^ pairs) & pairs;
    oddRun = (oddRun ^ pairs) & pairs;
    const uint64_t lead = (evenRun & kEven) | (oddRun & ~kEven);
    const size_t count = std::min<size_t>(64, n - g * 64);
    uint64_t start = ~(lead << 1 | leadCarry);
    if (count < 64) start &= (uint64_t{1} << count) - 1;
    const unsigned char* q = s + g * 64;
    uint64_t member = 0;
    for (; start; start &= start - 1) {
      const uint64_t here = start & (0 - start);
      const auto k = static_cast<unsigned>(__builtin_ctzll(start));
      const unsigned dbl = (lead & here) != 0;
      const unsigned b0 = q[k], b1 = q[k + dbl];  // a lead's trail lies inside the text
      const unsigned both = 0u - dbl;
      const unsigned code = ((b0 << 8 | b1) & both) | (b0 & ~both);
      member |= here & (0 - uint64_t{firstRule[code] == 0});
    }
    const uint64_t memberLead = member & lead;
    words[g] = member | memberLead << 1 | wordCarry;
    pairCarry = pairs >> 63;
    evenCarry = evenOut;
    oddCarry = oddOut;
    leadCarry = lead >> 63;
    wordCarry = memberLead >> 63;
  }
  words[groups] = 0;  // the text ends every word

  // Step 4. Runs are at most every other byte.
  const size_t litLen = rule.literal.size();
  char lit[kBlock] = {};
  const bool shortLit = litLen <= kBlock;
  if (shortLit) std::memcpy(lit, rule.literal.data(), litLen);
  char* const out = Scratch(n + (n + 1) / 2 * litLen + kBlock);
  char* w = out;
  size_t g = 0;
  uint64_t m = groups ? words[0] : 0;
  for (;;) {
    while (m == 0) {
      if (++g >= groups) return SjisString(out, w);
      m = words[g];
    }
    const size_t from = g * 64 + static_cast<size_t>(__builtin_ctzll(m));
    uint64_t z = ~words[g] & (~uint64_t{0} << (from & 63));
    while (z == 0) z = ~words[++g];  // words[groups] is 0, so this ends
    const size_t to = g * 64 + static_cast<size_t>(__builtin_ctzll(z));
    m = words[g] & (~uint64_t{0} << (to & 63));  // the runs after this one
    const size_t len = to - from;
    if (len <= kBlock && from + kBlock <= n)
      std::memcpy(w, s + from, kBlock);
    else
      std::memcpy(w, s + from, len);
    w += len;
    if (shortLit)
      std::memcpy(w, lit, kBlock);
    else
      std::memcpy(w, rule.literal.data(), litLen);
    w += litLen;
  }
}

SjisString Run(const Program& prog, std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  if (prog.words) return RunWords(prog, s, n);
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
