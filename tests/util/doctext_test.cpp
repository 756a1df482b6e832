#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "support/test_support.h"
#include "util/codec.h"
#include "util/doctext.h"

namespace wendul {
namespace {

using test::Sj;

// The lines of a decoded document.
std::vector<std::u16string> Lines(const DocText& d) {
  std::vector<std::u16string> lines(1);
  for (char16_t c : d.text) {
    if (c == u'\n') lines.emplace_back();
    else lines.back() += c;
  }
  return lines;
}

const LineOrigin* OriginOf(const DocText& d, size_t line) {
  for (const auto& [n, o] : d.origins)
    if (n == line) return &o;
  return nullptr;
}

// Writes the document back as the editor does: every line from its origin or
// its text. `edited` lines lose their kept bytes (not their line break).
std::string Write(const DocText& d, const std::vector<std::u16string>& lines, std::vector<bool> edited = {}) {
  DocWriter w(d.lineEnd);
  for (size_t i = 0; i < lines.size(); ++i) {
    const LineOrigin* o = OriginOf(d, i);
    LineOrigin changed;
    if (o && i < edited.size() && edited[i]) {
      changed.end = o->end;
      o = &changed;
    }
    w.Line(lines[i], o, i + 1 == lines.size());
  }
  return w.Bytes();
}

std::string RoundTrip(std::string_view bytes) {
  DocText d = DecodeSjisDocument(bytes);
  auto lines = Lines(d);
  EXPECT_EQ(lines.size(), d.lineCount);
  return Write(d, lines);
}

TEST(SjisDoc, EveryOddityOfAFileIsWrittenBackByteForByte) {
  // Text, a line ending LF, one ending CR, invalid bytes (an unmapped pair,
  // 0x80, 0xA0, 0xFD-0xFF, a lead byte before a blank), NEC and IBM
  // duplicates (NEC row 13 "≒", NEC-selected IBM 0xED40 and IBM 0xFA5C),
  // a user-defined character, NUL, and a lone lead byte at the very end.
  const std::string file = Sj("日本語のテキスト") + "\r\n" + "LF only\n" + "CR only\r" + "\x85\x40\x80\xA0\xFD\xFE\xFF" +
                           "\x88 x\r\n" + "\x87\x90\xED\x40\xFA\x5C\r\n" + "\xF0\x40" + std::string(1, '\0') + "end\r\n" +
                           "\r\n\r\r\n\n" + "no break at end\x88";
  EXPECT_EQ(RoundTrip(file), file);

  DocText d = DecodeSjisDocument(file);
  EXPECT_EQ(d.lineEnd, LineEnd::CRLF);
  EXPECT_EQ(d.lineCount, 11u);
  EXPECT_EQ(d.kind, DocKind::Binary);  // a NUL byte is no text
  // Raw bytes count one each and never collide with a real character.
  EXPECT_EQ(d.rawBytes, 9u);
  EXPECT_EQ(Lines(d)[3], std::u16string(u"\uF785@\uF780\uF7A0\uF7FD\uF7FE\uF7FF\uF788 x"));
  for (unsigned code = 0x8140; code <= 0xFCFC; ++code) {
    std::string two{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    int len;
    EXPECT_FALSE(IsRawByteChar(DecodeCp932Char(two, 0, &len))) << std::hex << code;
  }
  // Only the lines that need it carry an origin: LF, CR, the duplicates,
  // the lone CR.
  std::vector<size_t> withOrigin;
  for (const auto& [line, o] : d.origins) withOrigin.push_back(line);
  EXPECT_EQ(withOrigin, (std::vector<size_t>{1, 2, 4, 7, 9}));
  EXPECT_TRUE(OriginOf(d, 4)->keepsBytes);
  EXPECT_FALSE(OriginOf(d, 1)->keepsBytes);

}

TEST(SjisDoc, RandomBytesSurviveALoadAndASave) {
  std::mt19937 rng(20240611);
  // Bytes drawn so that lead bytes, line breaks and ASCII all occur often.
  static const char kAlphabet[] = "\r\n\0aZ \x81\x82\x83\x87\x88\x9F\xE0\xEA\xED\xEE\xF0\xFA\xFC\xFD\x80\xA0\xA1\xDF\x40\x7F\x9E\xFF";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  for (int round = 0; round < 300; ++round) {
    std::string bytes(rng() % 400, '\0');
    for (char& b : bytes) b = (rng() % 3) ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng());
    ASSERT_EQ(RoundTrip(bytes), bytes) << "round " << round;
  }
  EXPECT_EQ(RoundTrip(""), "");
}

TEST(SjisDoc, NewLinesTakeTheUsualBreakAndLossIsReported) {
  // An LF file stays LF when a line is added; a new document writes CR LF.
  DocText lf = DecodeSjisDocument("one\ntwo\n");
  EXPECT_EQ(lf.lineEnd, LineEnd::LF);
  EXPECT_TRUE(lf.origins.empty());
  auto lines = Lines(lf);
  lines.insert(lines.begin() + 1, u"new");
  EXPECT_EQ(Write(lf, lines), "one\nnew\ntwo\n");
  DocText empty = DecodeSjisDocument("");
  EXPECT_EQ(Write(empty, {u"a", u"b"}), "a\r\nb");

  // Characters code page 932 cannot hold: "?" each, the first one named.
  DocWriter w;
  w.Line(u"abc", nullptr, false);
  w.Line(u"x\U00020BB7y\U0001F600\u00A9", nullptr, true);
  EXPECT_EQ(w.Bytes(), "abc\r\nx?y??");
  ASSERT_TRUE(w.HasLoss());
  EXPECT_EQ(w.LossLine(), 1u);
  EXPECT_EQ(w.LossColumn(), 2u);
  EXPECT_EQ(w.LossChar(), U'\U00020BB7');
  EXPECT_EQ(w.LossCount(), 3u);
  EXPECT_EQ(LossQuestion(1, 2, U'\U00020BB7', 3),
            Sj("2行目2桁目の文字（U+20BB7）など3文字はShift-JISで保存できないため「?」になります。このまま保存しますか？"));
}

TEST(SjisDoc, RecoveredTextTakesBackTheBytesOfItsUneditedLines) {
  const DocText file = DecodeSjisDocument("a\nb\n\x87\x90\r\nc\n\x87\x90\r\n");
  DocText back;
  back.text = u"a\nX\n\u2252\nc!\n\u2252\n\u2252\n";
  AdoptOrigins(back, file);
  // Each kept line is taken once, in order; the third "≒" is new.
  EXPECT_EQ(Write(back, Lines(back)), "a\nX\n\x87\x90\r\nc!\n\x87\x90\r\n\x81\xE0\n");
}

TEST(SjisDoc, FilesPlainlyNotShiftJisAreNamed) {
  EXPECT_EQ(DecodeSjisDocument(Sj("東京タワーに行った。\r\n")).kind, DocKind::Text);
  EXPECT_EQ(DocKindNote(DecodeSjisDocument(Sj("東京"))), "");
  // UTF-8 and UTF-16 files are read in their own encoding.
  const DocText utf8 = DecodeDocument("\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x82\xBF\xE3\x83\xAF\xE3\x83\xBC\n");
  EXPECT_EQ(utf8.codec, (DocCodec{DocEncoding::Utf8, false}));
  EXPECT_EQ(utf8.text, u"東京タワー\n");
  const DocText utf16 = DecodeDocument(std::string("\xFF\xFEh\0i\0", 6));
  EXPECT_EQ(utf16.codec, (DocCodec{DocEncoding::Utf16LE, true}));
  EXPECT_EQ(utf16.text, u"hi");
  DocText bin = DecodeSjisDocument(std::string("\x7F" "ELF\x02\x01\x01\0\0\0\0", 11));
  EXPECT_EQ(bin.kind, DocKind::Binary);
  EXPECT_EQ(DocKindNote(bin), Sj("テキストではないファイルのようです。編集しない行はそのまま保存されます"));
  EXPECT_EQ(DocKindNote(DecodeSjisDocument("abc\x80 def ghi jkl mno pqr stu vwx yz")),
            Sj("Shift-JISとして読めないバイトが1個あります。そのまま保存されます"));
}

}  // namespace
}  // namespace wendul

namespace wendul {
namespace {

// UTF-8 text in another encoding, by the system's iconv (not the editor's own tables).
std::string Iconv(const std::string& utf8, const char* code) {
  iconv_t cd = iconv_open(code, "UTF-8");
  std::string out(utf8.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size(), outLeft = out.size();
  char* o = out.data();
  EXPECT_NE(iconv(cd, &in, &inLeft, &o, &outLeft), static_cast<size_t>(-1)) << code << ": " << utf8;
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

std::string WriteAllLines(const DocText& d, const std::vector<std::u16string>& lines, DocCodec codec) {
  DocWriter w(d.lineEnd, codec);
  w.KeptBytesIn(d.codec.encoding);
  for (size_t i = 0; i < lines.size(); ++i) w.Line(lines[i], OriginOf(d, i), i + 1 == lines.size());
  return w.Bytes();
}

TEST(DocText, EveryEncodingIsReadAndWrittenBackInItsOwnBytes) {
  struct Case {
    const char* iconv;
    DocCodec codec;
    std::string bom;
    bool holdsAll;       // 𠮷, é, 😀
    std::string broken;  // bytes that are no character, kept as they are
  } cases[] = {
      {"CP932", {DocEncoding::ShiftJis, false}, "", false, "\x80\xFD"},
      {"UTF-8", {DocEncoding::Utf8, false}, "", true, "\xFF\xC3"},
      {"UTF-8", {DocEncoding::Utf8, true}, "\xEF\xBB\xBF", true, "\xE3\x81"},
      {"EUC-JP", {DocEncoding::EucJp, false}, "", false, "\x8F\xA1\xFF"},
      {"UTF-16LE", {DocEncoding::Utf16LE, true}, "\xFF\xFE", true, std::string("\x00\xD8", 2)},
      {"UTF-16BE", {DocEncoding::Utf16BE, true}, "\xFE\xFF", true, std::string("\xDC\x00", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.iconv);
    const std::string extra = c.holdsAll ? " 𠮷 café 😀" : "";
    // Mixed line breaks: CR LF is the usual one, one line ends LF, one CR.
    const std::string l0 = "日本語のテキストです。", l1 = "改行はLFだけ" + extra, l2 = "ＣＲだけ",
                      l3 = "最後の行";
    auto file = [&](const std::string& a, const std::string& b) {
      return c.bom + Iconv(a + "\r\n" + l1 + "\n" + l2 + "\r", c.iconv) + c.broken + Iconv(b + "\r\nおわり", c.iconv);
    };
    const std::string bytes = file(l0, l3);
    // Found without being told, except that UTF-16 needs its byte order mark.
    const DocText d = DecodeDocument(bytes);
    EXPECT_EQ(d.codec, c.codec);
    EXPECT_EQ(d.lineEnd, LineEnd::CRLF);
    auto lines = Lines(d);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], std::u16string(u"改行はLFだけ") + (c.holdsAll ? u" 𠮷 café 😀" : u""));
    EXPECT_EQ(d.rawBytes, c.broken.size());
    EXPECT_EQ(WriteAllLines(d, lines, d.codec), bytes);
    // An edited line is encoded anew; the others, and the broken bytes of an
    // edited line, stay.
    lines[0] += u"追記";
    lines[3] += u"!";
    EXPECT_EQ(WriteAllLines(d, lines, d.codec), file(l0 + "追記", l3 + "!"));
  }
}

TEST(DocText, RealShiftJisTextIsNeverTakenForAnotherEncoding) {
  std::ifstream in(std::string(WENDUL_SOURCE_DIR) + "/data/Manual.TXT", std::ios::binary);
  const std::string sjis((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(sjis.size(), 10000u);
  const std::string utf8 = SjisToUtf8(sjis);
  const std::string euc = EncodeDocText(DecodeSjisDocument(sjis), {DocEncoding::EucJp, false});
  EXPECT_EQ(DetectCodec(sjis), DocCodec{});
  EXPECT_EQ(DetectCodec(utf8).encoding, DocEncoding::Utf8);
  EXPECT_EQ(DetectCodec(euc).encoding, DocEncoding::EucJp);
  // Every line of 20 to 200 bytes: Shift-JIS always; the others mostly (they
  // are measured on more text by bench/charset_bench).
  int lines = 0, utf8Right = 0, eucRight = 0;
  for (size_t pos = 0; pos < sjis.size();) {
    size_t end = sjis.find("\r\n", pos);
    if (end == std::string::npos) end = sjis.size();
    const std::string line = sjis.substr(pos, end - pos);
    pos = end + 2;
    if (line.size() < 20 || line.size() > 200 || std::none_of(line.begin(), line.end(), [](char b) { return b & 0x80; }))
      continue;
    ++lines;
    EXPECT_EQ(DetectCodec(line), DocCodec{}) << SjisToUtf8(line);
    utf8Right += DetectCodec(SjisToUtf8(line)).encoding == DocEncoding::Utf8;
    eucRight += DetectCodec(EncodeDocText(DecodeSjisDocument(line), {DocEncoding::EucJp, false})).encoding ==
                DocEncoding::EucJp;
  }
  EXPECT_GT(lines, 100);
  EXPECT_GE(utf8Right * 100, lines * 95);
  EXPECT_GE(eucRight * 100, lines * 90);
}

TEST(DocText, Utf16WithoutAByteOrderMarkIsReadInItsOwnOrder) {
  std::ifstream in(std::string(WENDUL_SOURCE_DIR) + "/data/Manual.TXT", std::ios::binary);
  const std::string sjis((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const DocText text = DecodeSjisDocument(sjis);
  for (DocEncoding e : {DocEncoding::Utf16LE, DocEncoding::Utf16BE}) {
    const std::string whole = EncodeDocText(text, {e, false});
    EXPECT_EQ(DetectCodec(whole), (DocCodec{e, false}));
    // One line with its break; and kanji alone, which has no zero byte to
    // tell it from Shift-JIS: the reopen command still finds its order.
    EXPECT_EQ(DetectCodec(EncodeDocText(DecodeSjisDocument(Sj("今日は晴れ。\n")), {e, false})), (DocCodec{e, false}));
    const std::string kanji = EncodeDocText(DecodeSjisDocument(Sj("東京駅の写真")), {e, false});
    EXPECT_EQ(DetectCodec(kanji).encoding, DocEncoding::ShiftJis);
    EXPECT_EQ(CodecForReopen(kanji, DocEncoding::Utf16LE), (DocCodec{e, false}));
  }
  // Shift-JIS with a stray zero byte stays Shift-JIS.
  EXPECT_EQ(DetectCodec(sjis.substr(0, 4000) + std::string(1, '\0') + sjis.substr(4000, 3999)), DocCodec{});
}

TEST(DocText, OnlyAnEncodingThatCannotHoldACharacterAsksAndAnotherEncodingTakesNoOldBytes) {
  for (DocEncoding e : {DocEncoding::Utf8, DocEncoding::Utf16LE, DocEncoding::EucJp}) {
    DocWriter w(LineEnd::CRLF, {e, false});
    w.Line(u"東京", nullptr, false);
    w.Line(u"x\U00020BB7y", nullptr, true);
    EXPECT_EQ(w.HasLoss(), e == DocEncoding::EucJp);
  }
  DocWriter euc(LineEnd::CRLF, {DocEncoding::EucJp, false});
  euc.Line(u"東京\U00020BB7", nullptr, true);
  EXPECT_EQ(euc.Bytes(), "\xC5\xEC\xB5\xFE?");
  EXPECT_EQ(LossQuestion(euc.LossLine(), euc.LossColumn(), euc.LossChar(), euc.LossCount(), DocEncoding::EucJp),
            Sj("1行目5桁目の文字（U+20BB7）はEUC-JPで保存できないため「?」になります。このまま保存しますか？"));
  // The NEC "≒" saved as UTF-8 is the character, not its Shift-JIS bytes;
  // EUC-JP's JIS X 0212 tilde comes back as read.
  EXPECT_EQ(EncodeDocText(DecodeSjisDocument("\x87\x90\r\n"), {DocEncoding::Utf8, false}), "\xE2\x89\x92\r\n");
  const DocText jis = DecodeDocument("\x8F\xA2\xB7 \xA1\xC1\n", {DocEncoding::EucJp, false});
  EXPECT_EQ(jis.text, u"\uFF5E \uFF5E\n");
  EXPECT_EQ(EncodeDocText(jis, jis.codec), "\x8F\xA2\xB7 \xA1\xC1\n");
}

}  // namespace
}  // namespace wendul
