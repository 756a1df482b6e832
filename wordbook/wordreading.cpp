#include "wordbook/wordreading.h"

#include <mecab.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "util/codec.h"
#include "util/wtypes.h"
#include "wordbook/tabletext.h"

namespace wendul {

namespace {

constexpr size_t kMaxReadingBytes = 300;  // Mozc's limit for a reading

bool IsLatinDigit(char32_t c) { return (c >= 0x21 && c <= 0x7E) || (c >= 0xFF01 && c <= 0xFF5E); }

bool IsKatakana(char32_t c) { return (c >= 0x30A1 && c <= 0x30FA) || c == 0x30FC || (c >= 0xFF66 && c <= 0xFF9F); }

// Half-width katakana U+FF61 .. U+FF9D in full width.
constexpr char16_t kFullWidth[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5,
    0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC,
    0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4,
    0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3};

bool IsHaRow(char32_t c) { return c >= 0x30CF && c <= 0x30DB && (c - 0x30CF) % 3 == 0; }

// A katakana that a voiced-sound mark turns into its voiced form (code + 1).
bool TakesVoicedMark(char32_t c) {
  return (c >= 0x30AB && c <= 0x30C1 && (c - 0x30AB) % 2 == 0) || c == 0x30C4 || c == 0x30C6 || c == 0x30C8 ||
         IsHaRow(c);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The code points of UTF-8 text; false when it is not UTF-8.
bool Decode(std::string_view text, std::u32string* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    if (!NextUtf8(text, &i, &c)) return false;
    out->push_back(c);
  }
  return true;
}

// As a reading: katakana (either width) in hiragana, full-width ASCII in
// half width (as Mozc folds it); everything else as it is.
void AppendFolded(std::string& out, std::u32string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xFF61 && c <= 0xFF9D) {
      c = kFullWidth[c - 0xFF61];
      const char32_t mark = i + 1 < text.size() ? text[i + 1] : 0;
      if (mark == 0xFF9E && (TakesVoicedMark(c) || c == 0x30A6)) {
        c = c == 0x30A6 ? 0x30F4 : c + 1;  // ｳﾞ is ヴ
        ++i;
      } else if (mark == 0xFF9F && IsHaRow(c)) {
        c += 2;
        ++i;
      }
    } else if (c == 0xFF9E || c == 0xFF9F) {
      c = c == 0xFF9E ? 0x309B : 0x309C;
    } else if (c >= 0xFF01 && c <= 0xFF5E) {
      c -= 0xFEE0;
    }
    if (c >= 0x30A1 && c <= 0x30F6) c -= 0x60;
    AppendUtf8(out, c);
  }
}

// What Mozc takes in a reading once it has folded full-width ASCII.
bool MozcTakesReading(const std::string& reading) {
  if (reading.empty() || reading.size() > kMaxReadingBytes) return false;
  std::u32string cps;
  if (!Decode(reading, &cps)) return false;
  return std::all_of(cps.begin(), cps.end(), [](char32_t c) {
    return (c >= 0x21 && c <= 0x7E) || (c >= 0x3041 && c <= 0x3096) || c == 0x309B || c == 0x309C ||
           c == 0x30FB || c == 0x30FC || c == 0x3001 || c == 0x3002 || (c >= 0x300C && c <= 0x300F) ||
           c == 0x301C;
  });
}

// Field `index` of a comma-separated feature text, or "".
std::string_view Feature(const char* feature, int index) {
  std::string_view f(feature ? feature : "");
  for (int i = 0; i < index; ++i) {
    const size_t comma = f.find(',');
    if (comma == std::string_view::npos) return {};
    f.remove_prefix(comma + 1);
  }
  return f.substr(0, f.find(','));
}

SjisString CannotOpen(const std::string& dicDir, const char* why) {
  return Utf8ToSjis("読みを付ける形態素解析器 MeCab と IPA 辞書（mecab-ipadic-utf8）を開けません: ") +
         PathText(dicDir) + " (" + (why ? why : "") + ")";
}

}  // namespace

TWordReading::TWordReading(const std::string& dicDir) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dicDir, ec)) throw GeneralError(CannotOpen(dicDir, "no such folder"));
  const std::string args = "-d " + dicDir;
  tagger_ = mecab_new2(args.c_str());
  if (!tagger_) throw GeneralError(CannotOpen(dicDir, mecab_strerror(nullptr)));
  const mecab_dictionary_info_t* info = mecab_dictionary_info(tagger_);
  if (!info || !info->charset || (std::strcmp(info->charset, "UTF-8") != 0 && std::strcmp(info->charset, "utf-8") != 0 &&
                                  std::strcmp(info->charset, "utf8") != 0)) {
    mecab_destroy(tagger_);
    tagger_ = nullptr;
    throw GeneralError(CannotOpen(dicDir, "not UTF-8"));
  }
}

TWordReading::~TWordReading() {
  if (tagger_) mecab_destroy(tagger_);
}

TWordReading::Result TWordReading::Read(std::string_view word) {
  Result r;
  std::u32string cps;
  if (word.empty() || !Decode(word, &cps)) return r;
  if (std::all_of(cps.begin(), cps.end(), IsLatinDigit)) {
    r.kind = Kind::LatinDigits;
    AppendFolded(r.reading, cps);
    if (!MozcTakesReading(r.reading)) r.reading.clear();
    return r;
  }
  const bool katakana =
      std::all_of(cps.begin(), cps.end(), [](char32_t c) { return IsKatakana(c) || c == 0x30FB; });
  const mecab_node_t* node = mecab_sparse_tonode2(tagger_, word.data(), word.size());
  if (!node) return r;
  // A proper noun, perhaps with a suffix (東京 + 駅): "固有名詞".
  bool whole = true, parts = false, anyProper = false, onlyProperOrSuffix = true;
  std::u32string surface;
  for (; node; node = node->next) {
    if (node->stat == MECAB_BOS_NODE || node->stat == MECAB_EOS_NODE) continue;
    parts = true;
    // An unknown part's kind is the analyser's guess, not its dictionary's word.
    const bool noun = node->stat != MECAB_UNK_NODE && Feature(node->feature, 0) == "名詞";
    const std::string_view kind = Feature(node->feature, 1);
    anyProper = anyProper || (noun && kind == "固有名詞");
    onlyProperOrSuffix = onlyProperOrSuffix && noun && (kind == "固有名詞" || kind == "接尾");
    if (katakana || !whole) continue;
    const std::string_view reading = Feature(node->feature, 7);
    if (!Decode(std::string_view(node->surface, node->length), &surface)) {
      whole = false;
    } else if (!reading.empty() && reading != "*") {
      std::u32string kana;
      whole = Decode(reading, &kana);
      AppendFolded(r.reading, kana);
    } else if (std::all_of(surface.begin(), surface.end(), IsKatakana) ||
               std::all_of(surface.begin(), surface.end(), IsLatinDigit)) {
      AppendFolded(r.reading, surface);
    } else {
      whole = false;  // the analyser does not know this part
    }
  }
  if (katakana) {
    r.reading.clear();
    AppendFolded(r.reading, cps);
  }
  if (!parts || !whole || !MozcTakesReading(r.reading)) return Result{};
  r.kind = Kind::Read;
  r.proper = anyProper && onlyProperOrSuffix;
  return r;
}

}  // namespace wendul
