#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "platform/win_codepage.h"
#include "platform/win_resource.h"

namespace {

std::u16string Convert(uint32_t CodePage, const std::string& Bytes, uint32_t Flags = 0) {
  char16_t buf[64];
  const int n = MultiByteToWideChar(CodePage, Flags, Bytes.data(), int(Bytes.size()), buf, 64);
  return std::u16string(buf, size_t(n > 0 ? n : 0));
}

TEST(PlatformCodePage, BytesConvertByTheirCodePage) {
  struct TCase {
    uint32_t CodePage;
    std::string Bytes;
    std::u16string Text;
  };
  const std::vector<TCase> cases = {
      {1251, "\xC0\xFF", u"\u0410\u044F"},
      {1253, "\xC1\xF9", u"\u0391\u03C9"},
      {1250, "\x8A\xB9", u"\u0160\u0105"},
      {1254, "\xD0\xF0", u"\u011E\u011F"},
      {1256, "\xC7\x98\x9D", u"\u0627\u06A9\u200C"},
      {1252, "\x80\x9F\xFF", u"\u20AC\u0178\u00FF"},
      {CP_ACP, "\x80", u"\u20AC"},
      // Undefined bytes as Windows maps them.
      {1252, "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
      {1253, "\xAA\xD2\xFF", u"\uF8F9\uF8FA\uF8FB"},
      {1251, "\x98", u"\u0098"},
      {932, "\x82\xA0\x83\x41", u"\u3042\u30A2"},
      {932, "a\x5C" "b", u"a\\b"},
      {936, "\xC4\xE3\xBA\xC3", u"\u4F60\u597D"},
      {949, "\xC7\xD1\xB1\xDB", u"\uD55C\uAE00"},
      {950, "\xA4\xA4\xA4\xE5", u"\u4E2D\u6587"},
      // Invalid double-byte input: one replacement character per bad byte.
      {932, "x\x82", u"x\uFFFD"},
      {936, "\xFF" "a", u"\uFFFDa"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(Convert(c.CodePage, c.Bytes), c.Text) << c.CodePage << " " << c.Bytes;
}

TEST(PlatformCodePage, SingleByteTablesAgreeWithIconvWhereIconvKnowsTheByte) {
  for (uint32_t cp : {1250u, 1251u, 1252u, 1253u, 1254u, 1256u}) {
    iconv_t cd = iconv_open("UTF-16LE", ("CP" + std::to_string(cp)).c_str());
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << cp;
    for (int b = 0; b < 256; ++b) {
      char in = char(b);
      char* inp = &in;
      size_t inLeft = 1;
      unsigned char out[4];
      char* outp = reinterpret_cast<char*>(out);
      size_t outLeft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1)) {
        // A byte the page leaves free keeps its value (below 0xA0).
        if (b < 0xA0) {
          EXPECT_EQ(Convert(cp, std::string(1, in)), std::u16string(1, char16_t(b))) << cp << " " << b;
        }
        continue;
      }
      const char16_t expected = char16_t(out[0] | (out[1] << 8));
      EXPECT_EQ(Convert(cp, std::string(1, in)), std::u16string(1, expected)) << cp << " byte " << b;
    }
    iconv_close(cd);
  }
}

TEST(PlatformCodePage, LengthsAndBuffersFollowTheWindowsRules) {
  const char* text = "\xC0\xC1\xC2";
  // -1: up to and including the terminator.
  EXPECT_EQ(MultiByteToWideChar(1251, 0, text, -1, nullptr, 0), 4);
  char16_t buf[8] = {};
  EXPECT_EQ(MultiByteToWideChar(1251, 0, text, -1, buf, 8), 4);
  EXPECT_EQ(std::u16string(buf), u"\u0410\u0411\u0412");
  // Size query, exact fit, too small.
  EXPECT_EQ(MultiByteToWideChar(932, 0, "\x82\xA0\x82\xA2", 4, nullptr, 0), 2);
  EXPECT_EQ(MultiByteToWideChar(932, 0, "\x82\xA0\x82\xA2", 4, buf, 2), 2);
  EXPECT_EQ(MultiByteToWideChar(932, 0, "\x82\xA0\x82\xA2", 4, buf, 1), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, buf, 2), 0);
  // Refused: unknown code page, no input, bad lengths, strict invalid input.
  EXPECT_EQ(MultiByteToWideChar(437, 0, "abc", 3, buf, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, nullptr, 3, buf, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 0, buf, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -2, buf, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "x\x82", 2, buf, 8), 0);
  // Long double-byte text passes through the converter in pieces.
  std::string longText;
  for (int i = 0; i < 1000; ++i) longText += "\xA4\xA4";
  std::vector<char16_t> wide(1000);
  ASSERT_EQ(MultiByteToWideChar(950, 0, longText.data(), int(longText.size()), wide.data(), 1000), 1000);
  EXPECT_EQ(std::u16string(wide.begin(), wide.end()), std::u16string(1000, u'\u4E2D'));
}

TEST(PlatformCodePage, CodePageInfoTellsSingleFromDoubleBytePages) {
  struct TCase {
    uint32_t CodePage;
    uint32_t MaxCharSize;
    std::vector<uint8_t> LeadRanges;
  };
  const std::vector<TCase> cases = {
      {CP_ACP, 1, {}}, {1250, 1, {}}, {1251, 1, {}}, {1252, 1, {}}, {1253, 1, {}}, {1254, 1, {}}, {1256, 1, {}},
      {932, 2, {0x81, 0x9F, 0xE0, 0xFC}}, {936, 2, {0x81, 0xFE}}, {949, 2, {0x81, 0xFE}}, {950, 2, {0x81, 0xFE}}};
  for (const TCase& c : cases) {
    CPINFO info;
    ASSERT_TRUE(GetCPInfo(c.CodePage, &info)) << c.CodePage;
    EXPECT_EQ(info.MaxCharSize, c.MaxCharSize) << c.CodePage;
    EXPECT_EQ(info.DefaultChar[0], '?');
    std::vector<uint8_t> lead;
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
      lead.push_back(info.LeadByte[i]);
      lead.push_back(info.LeadByte[i + 1]);
    }
    EXPECT_EQ(lead, c.LeadRanges) << c.CodePage;
  }
  CPINFO untouched{};
  untouched.MaxCharSize = 77;
  EXPECT_FALSE(GetCPInfo(437, &untouched));
  EXPECT_EQ(untouched.MaxCharSize, 77u);
  EXPECT_FALSE(GetCPInfo(1252, nullptr));
}

// A string table of the running program: block "#1" holds ids 0 to 15.
class PlatformStringTable : public ::testing::Test {
protected:
  void TearDown() override {
    UnregisterResource(RT_STRING, "#1");
    UnregisterResource(RT_STRING, "#2");
  }
};

TEST_F(PlatformStringTable, LoadStringCopiesOrPointsAtTheString) {
  // Ids 0 "Hi", 1 empty, 2 "Ab\u00E9", 3 to 15 empty.
  static const char16_t block[] = {2, u'H', u'i', 0, 3, u'A', u'b', u'\u00E9', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  RegisterResource(RT_STRING, "#1", block, sizeof block);
  EXPECT_EQ(VXStringBlockName(0), "#1");
  EXPECT_EQ(VXStringBlockName(16), "#2");
  EXPECT_EQ(VXStringBlockName(20005), "#1251");

  char16_t buf[8];
  EXPECT_EQ(LoadStringW(nullptr, 2, buf, 8), 3);
  EXPECT_EQ(std::u16string(buf), u"Ab\u00E9");
  // Truncated to the buffer, always terminated.
  EXPECT_EQ(LoadStringW(nullptr, 2, buf, 3), 2);
  EXPECT_EQ(std::u16string(buf), u"Ab");
  // Buffer size 0: the address of the text inside the resource.
  const char16_t* p = nullptr;
  EXPECT_EQ(LoadStringW(nullptr, 0, reinterpret_cast<char16_t*>(&p), 0), 2);
  EXPECT_EQ(std::u16string(p, 2), u"Hi");
  EXPECT_EQ(p, block + 1);
  // Empty slots, missing blocks, other modules.
  EXPECT_EQ(LoadStringW(nullptr, 1, buf, 8), 0);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(LoadStringW(nullptr, 15, buf, 8), 0);
  EXPECT_EQ(LoadStringW(nullptr, 16, buf, 8), 0);
  EXPECT_EQ(LoadStringW(reinterpret_cast<HMODULE>(1), 0, buf, 8), 0);
  EXPECT_EQ(LoadStringW(nullptr, 0, nullptr, 8), 0);
}

TEST_F(PlatformStringTable, StringsLoadAlikeInAnyOrder) {
  // Ids 0 to 15 hold "s0" .. "s15", 16 to 31 "t0" .. "t15"; every string of
  // a block is found whatever string of which block was loaded before it.
  static std::u16string blocks[2];
  for (int b = 0; b < 2; ++b) {
    blocks[b].clear();
    for (int i = 0; i < 16; ++i) {
      const std::string text = std::string(1, b == 0 ? 's' : 't') + std::to_string(i);
      blocks[b] += char16_t(text.size());
      for (char ch : text) blocks[b] += char16_t(ch);
    }
    RegisterResource(RT_STRING, "#" + std::to_string(b + 1), blocks[b].data(), blocks[b].size() * sizeof(char16_t));
  }
  const auto expected = [](uint32_t Id) {
    const std::string t = std::string(1, Id < 16 ? 's' : 't') + std::to_string(Id % 16);
    return std::u16string(t.begin(), t.end());
  };
  std::vector<uint32_t> order;
  for (uint32_t id = 0; id < 32; ++id) order.push_back(id);
  for (uint32_t id = 32; id-- > 0;) order.push_back(id);
  for (uint32_t k = 0; k < 64; ++k) order.push_back((k * 7 + 3) % 32);
  for (uint32_t k = 0; k < 16; ++k) order.push_back(k % 2 ? 15 - k / 2 : 16 + k);
  for (uint32_t id : order) {
    char16_t buf[8];
    ASSERT_EQ(LoadStringW(nullptr, id, buf, 8), int(expected(id).size())) << id;
    EXPECT_EQ(std::u16string(buf), expected(id)) << id;
  }
}

TEST_F(PlatformStringTable, DamagedBlocksAreNotReadPastTheirEnd) {
  // A length beyond the block, and a block that ends before the string's slot.
  static const char16_t overlong[] = {9, u'a', u'b'};
  static const char16_t shortBlock[] = {1, u'x'};
  RegisterResource(RT_STRING, "#1", overlong, sizeof overlong);
  RegisterResource(RT_STRING, "#2", shortBlock, sizeof shortBlock);
  char16_t buf[16];
  EXPECT_EQ(LoadStringW(nullptr, 0, buf, 16), 0);
  EXPECT_EQ(LoadStringW(nullptr, 3, buf, 16), 0);
  EXPECT_EQ(LoadStringW(nullptr, 16, buf, 16), 1);
  EXPECT_EQ(LoadStringW(nullptr, 17, buf, 16), 0);
  EXPECT_EQ(LoadStringW(nullptr, 31, buf, 16), 0);
}

}  // namespace
