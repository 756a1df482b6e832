// The word pattern engine. Three properties:
//  * the word pattern on any text gives exactly what a plain reading of the
//    word class gives (every maximal run, each followed by "{wndl}");
//  * a word-shaped pattern with a class and a literal from the input runs
//    through the engine's fast word loop and must agree with the general
//    loop, reached by the same pattern with a rule added that never applies;
//  * any pattern from the input either fails to compile or runs the same
//    twice, within the output bound, and refuses text over the limit.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "fuzz_support.h"
#include "store/muwgy.h"
#include "store/sepkeyword.h"
#include "util/codec.h"

using namespace wendul;

namespace {

bool Trail(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// The word class, written from its description.
bool InWordClass(unsigned code) {
  if (code < 0x100) {
    if ((code >= '0' && code <= '9') || (code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z')) return true;
    return std::string_view("-_.,()/:~#&*\\@").find(static_cast<char>(code)) != std::string_view::npos;
  }
  return code == 0x8145 || code == 0x8175 || code == 0x8176 || (code >= 0x8340 && code <= 0x8396) ||
         code == 0x815B || (code >= 0x889F && code <= 0xFC4B) || code == 0x8158;
}

std::string ReferenceWords(std::string_view t) {
  std::string out;
  bool inWord = false;
  for (size_t i = 0; i < t.size();) {
    const auto b = static_cast<unsigned char>(t[i]);
    size_t len = 1;
    unsigned code = b;
    if (IsSjisLeadByte(b) && i + 1 < t.size() && Trail(static_cast<unsigned char>(t[i + 1]))) {
      len = 2;
      code = b << 8 | static_cast<unsigned char>(t[i + 1]);
    }
    const bool member = InWordClass(code);
    if (member) out.append(t.substr(i, len));
    else if (inWord) out += "{wndl}";
    inWord = member;
    i += len;
  }
  if (inWord) out += "{wndl}";
  return out;
}

int WordPattern() {
  static const int h = MuWGYInitStr(kWordPattern, kWordPatternLimit);
  return h;
}

// Compiling costs far more than running; most inputs keep the pattern of an
// earlier one and vary the text, so compiled patterns are kept for a while.
std::map<std::pair<std::string, int>, int>& Cache() {
  static std::map<std::pair<std::string, int>, int> cache;
  return cache;
}

int Compiled(const std::string& pattern, int limit) {
  auto [it, fresh] = Cache().try_emplace({pattern, limit}, 0);
  if (fresh) it->second = MuWGYInitStr(pattern, limit);
  return it->second;
}

// Between two inputs, never while one holds handles.
void ReleaseWhenFull() {
  if (Cache().size() < 2000) return;
  for (const auto& [key, h] : Cache()) {
    MuWGYTerm(h);
    FUZZ_CHECK(!MuWGYStr(h, "a"), "a released handle still runs");
  }
  Cache().clear();
}

const char* const kLiterals[] = {"{wndl}", "", "X", "\x81\x40|", "<<a literal longer than one block>>"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  ReleaseWhenFull();
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t cut = rest.find('\xff');
  const std::string_view head = cut == std::string_view::npos ? std::string_view() : rest.substr(0, cut);
  const std::string_view text = cut == std::string_view::npos ? rest : rest.substr(cut + 1);

  // The word pattern against its description.
  const auto got = MuWGYStr(WordPattern(), text);
  FUZZ_CHECK(got.has_value(), "the word pattern refused " + fuzz::Shown(text));
  const std::string want = ReferenceWords(text);
  FUZZ_CHECK(*got == want, fuzz::Shown(text) + "\n got  " + fuzz::Shown(*got) + "\n want " + fuzz::Shown(want));

  if (data[0] & 1) {
    // The fast word loop against the general one.
    std::string cls(head);
    std::erase(cls, '\r');
    const std::string lit = kLiterals[(data[0] >> 1) % std::size(kLiterals)];
    const std::string p1 = "[" + cls + "]+_+" + lit + "\r\n?_\r\n";
    const int h1 = Compiled(p1, 0);
    if (h1) {
      const int h2 = Compiled(p1 + "?_\r\n", 0);
      FUZZ_CHECK(h2 != 0, fuzz::Shown(p1));
      const auto a = MuWGYStr(h1, text), b = MuWGYStr(h2, text);
      FUZZ_CHECK(a && b && *a == *b,
                 "pattern " + fuzz::Shown(p1) + "\ntext " + fuzz::Shown(text) + "\n fast    " +
                     fuzz::Shown(a.value_or("<none>")) + "\n general " + fuzz::Shown(b.value_or("<none>")));
    }
  } else if (data[0] & 2) {
    // Any pattern: stable and bounded.
    const int limit = data[0] >> 2;
    const int h = Compiled(std::string(head), limit);
    if (h) {
      const auto a = MuWGYStr(h, text);
      const auto b = MuWGYStr(h, text);
      FUZZ_CHECK(a && b && *a == *b, "pattern " + fuzz::Shown(head) + " text " + fuzz::Shown(text));
      FUZZ_CHECK(a->size() <= text.size() * (1 + head.size()) + 1, "output too long");
      FUZZ_CHECK(!MuWGYStr(h, std::string(kMuWGYMaxInput + 1, 'a')), "over the limit");
    }
  }
  return 0;
}
