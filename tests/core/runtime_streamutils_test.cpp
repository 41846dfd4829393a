// Stream, encoding and sorting helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/streams.h"
#include "core/streamutils.h"
#include "runtime_test_util.h"

namespace {

std::string Contents(TMemoryStream& m) { return std::string(static_cast<char*>(m.Memory()), size_t(m.Size())); }

std::string Encode(const std::string& data, int32_t lineLength) {
  TVXMemStream src(data.data(), int64_t(data.size()));
  TMemoryStream dst;
  VXEncodeBase64(&src, &dst, lineLength);
  EXPECT_EQ(src.Position(), int64_t(data.size())) << "the source is read to its end";
  return Contents(dst);
}

std::string Decode(const std::string& text) {
  TVXMemStream src(text.data(), int64_t(text.size()));
  TMemoryStream dst;
  VXDecodeBase64(&src, &dst);
  EXPECT_EQ(src.Position(), int64_t(text.size())) << "the source is read to its end";
  return Contents(dst);
}

std::string Bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

TEST(RuntimeStreamUtils, Base64EncodingLines) {
  EXPECT_EQ(Encode("abc", 76), "YWJj\r\n");
  EXPECT_EQ(Encode("a", 76), "YQ==\r\n");
  EXPECT_EQ(Encode("ab", 76), "YWI=\r\n");
  EXPECT_EQ(Encode("", 76), "");
  std::string line57 = Encode(Bytes(57, 1), 76);
  EXPECT_EQ(line57.size(), 78u);
  EXPECT_EQ(line57.substr(76), "\r\n");
  // Line of ceil(LineLength / 4) groups; one group a line for LineLength <= 4.
  EXPECT_EQ(Encode("abcdef", 6), "YWJjZGVm\r\n");
  EXPECT_EQ(Encode("abcdef", 4), "YWJj\r\nZGVm\r\n");
  EXPECT_EQ(Encode("abcdef", 0), "YWJj\r\nZGVm\r\n");
  // Only from the source's position on.
  TVXMemStream src("xxabc", 5);
  src.SetPosition(2);
  TMemoryStream dst;
  VXEncodeBase64(&src, &dst, 76);
  EXPECT_EQ(Contents(dst), "YWJj\r\n");
}

TEST(RuntimeStreamUtils, Base64DecodingEdges) {
  struct Case {
    std::string text, bytes;
  } cases[] = {
      {"YQ==\r\n", "a"},
      {"YWI=\r\n", "ab"},
      {"YWJj", "abc"},
      {" Y W\tJ j \r\n\r\n  ", "abc"},  // blanks (tab included) anywhere
      {"YWJj\r\nYWJj\r\n", "abcabc"},
      {"YWJjZA", "abcd"},  // a cut group yields only its whole bytes
      {"YWJjZ", "abc"},
      {"YWJjZGU", "abcde"},
      {"", ""},
      {"\r\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.text), c.bytes) << "'" << c.text << "'";
}

TEST(RuntimeStreamUtils, Base64InteroperatesWithCoreutils) {
  if (!RuntimeHaveTool("base64")) GTEST_SKIP() << "coreutils base64 is missing";
  TRuntimeScratchDir dir;
  for (size_t n : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 1000u, 65536u}) {
    const std::string data = Bytes(n, uint32_t(n) + 3);
    const std::string bin = dir.File("d.bin"), txt = dir.File("d.txt");
    RuntimeWriteFile(bin, data);
    // Ours, with coreutils' line length of 76 and CR LF line ends.
    std::string theirs = RuntimeShell("base64 -w 76 '" + bin + "'");
    std::string ours = Encode(data, 76);
    std::string oursLF = ours;
    oursLF.erase(std::remove(oursLF.begin(), oursLF.end(), '\r'), oursLF.end());
    EXPECT_TRUE(oursLF == theirs) << n;
    // Coreutils decodes ours (told to skip the CR of our line ends), we decode theirs.
    RuntimeWriteFile(txt, ours);
    EXPECT_TRUE(RuntimeShell("base64 -d -i '" + txt + "'") == data) << n;
    EXPECT_TRUE(Decode(theirs) == data) << n;
    EXPECT_TRUE(Decode(RuntimeShell("base64 -w 0 '" + bin + "'")) == data) << n;
  }
}

TEST(RuntimeStreamUtils, Ascii85AndRunLength) {
  char out[256];
  {
    const uint8_t zeros[4] = {0, 0, 0, 0};
    const uint8_t* src = zeros;
    char* dst = out;
    int32_t counter = 0;
    EXPECT_EQ(VXAscii85Encode(src, 4, dst, counter), 5);
    EXPECT_EQ(std::string(out, size_t(dst - out)), "z~>\r\n");
    EXPECT_EQ(src, zeros + 4);
    EXPECT_EQ(counter, 1);
  }
  {
    // "Man " is the classic "9jqo^"; a short tail writes Count + 1 characters.
    const std::string in = "Man sure.";
    const uint8_t* src = reinterpret_cast<const uint8_t*>(in.data());
    char* dst = out;
    int32_t counter = 0;
    int32_t n = VXAscii85Encode(src, int32_t(in.size()), dst, counter);
    EXPECT_EQ(std::string(out, size_t(dst - out)), "9jqo^F*2M7/c~>\r\n");
    EXPECT_EQ(n, 16);
    EXPECT_EQ(counter, 12);
  }
  {
    // Lines break once they pass 74 characters.
    const std::string in(80, 'A');
    const uint8_t* src = reinterpret_cast<const uint8_t*>(in.data());
    char* dst = out;
    int32_t counter = 0;
    int32_t n = VXAscii85Encode(src, 80, dst, counter);
    std::string text(out, size_t(dst - out));
    EXPECT_EQ(text.find("\r\n"), 75u);
    EXPECT_EQ(n, 100 + 2 + 4);
  }
  struct Case {
    std::string in;
    std::vector<uint8_t> out;
  } cases[] = {
      {"AAAAA", {252, 'A', 128}},
      {"AB", {1, 'A', 'B', 128}},
      {"", {128}},
      {"A", {0, 'A', 128}},
      {"ABCC", {2, 'A', 'B', 'C', 0, 'C', 128}},  // a literal run takes the first of a pair
      {"AABC", {255, 'A', 1, 'B', 'C', 128}},
  };
  for (const Case& c : cases) {
    uint8_t buf[64];
    int32_t n = VXRunLengthEncode(reinterpret_cast<const uint8_t*>(c.in.data()), int32_t(c.in.size()), buf);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + n), c.out) << c.in;
  }
  // Runs longer than 128 split.
  std::string longRun(300, 'x');
  std::vector<uint8_t> buf(400);
  int32_t n = VXRunLengthEncode(reinterpret_cast<const uint8_t*>(longRun.data()), 300, buf.data());
  EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + n),
            (std::vector<uint8_t>{129, 'x', 129, 'x', 213, 'x', 128}));
}

TEST(RuntimeStreamUtils, ByteOrderReadsAndPadding) {
  EXPECT_EQ(VXSwapWordIf(0x1234, true), 0x3412);
  EXPECT_EQ(VXSwapWordIf(0x1234, false), 0x1234);
  EXPECT_EQ(VXSwapDWordIf(0x12345678u, true), 0x78563412u);
  EXPECT_EQ(VXSwapInt64If(0x0102030405060708ull, true), 0x0807060504030201ull);
  const uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  TVXMemStream s(data, 9);
  EXPECT_EQ(VXStreamReadWord(&s, false), 0x0201);
  EXPECT_EQ(VXStreamReadWord(&s, true), 0x0304);
  EXPECT_EQ(VXStreamReadDWord(&s, true), 0x05060708u);
  EXPECT_EQ(VXStreamReadDWord(&s, false), 9u);  // missing bytes read as 0
  s.SetPosition(1);
  EXPECT_EQ(VXStreamReadInt64(&s, false), 0x0908070605040302ull);

  TMemoryStream m;
  bool error = false;
  EXPECT_EQ(VXStreamPadToWord(&m, error), 0);
  EXPECT_EQ(m.Size(), 0);
  m.WriteBuffer("abc", 3);
  EXPECT_EQ(VXStreamPadToWord(&m, error), 4);
  EXPECT_EQ(Contents(m), std::string("abc\0", 4));
  EXPECT_FALSE(error);
  char ro[3] = {1, 2, 3};
  TVXMemStream cannotWrite(ro, 3);
  cannotWrite.SetPosition(3);
  VXStreamPadToWord(&cannotWrite, error);
  EXPECT_TRUE(error);
}

TEST(RuntimeStreamUtils, StreamFind) {
  struct Case {
    std::string text, what;
    int64_t from, limit, found, after;
  } cases[] = {
      {"xxab", "ab", 0, 100, 2, 4},
      {"aaab", "aab", 0, 100, 1, 4},       // overlapping candidate
      {"abababc", "ababc", 0, 100, 2, 7},  // fallback inside a partial match
      {"xxab", "ab", 3, 100, -1, -1},
      {"xxab", "ab", 0, 2, -1, -1},   // the match begins at the limit
      {"xxab", "ab", 0, 3, 2, 4},     // a match may end beyond the limit
      {"xxab", "abc", 0, 100, -1, -1},
      {"ab", "", 0, 100, -1, -1},
  };
  for (const Case& c : cases) {
    TVXMemStream s(c.text.data(), int64_t(c.text.size()));
    s.SetPosition(c.from);
    EXPECT_EQ(VXStreamFind(&s, c.what, c.limit), c.found) << c.what << " in " << c.text;
    if (c.found >= 0) {
      EXPECT_EQ(s.Position(), c.after);
    }
  }
  // Matches across the internal read chunks.
  std::string big(200000, 'a');
  big.replace(150000, 5, "aaaab");
  TVXMemStream s(big.data(), int64_t(big.size()));
  EXPECT_EQ(VXStreamFind(&s, "aaaab", int64_t(big.size())), 150000);
  EXPECT_EQ(s.Position(), 150005);
}

TEST(RuntimeStreamUtils, CopyStreamRange) {
  TRuntimeScratchDir dir;
  const std::string data = Bytes(500000, 5);
  RuntimeWriteFile(dir.File("src.bin"), data);
  TVXWideFileStream src(dir.File("src.bin"), fmOpenRead);
  {
    src.SetPosition(1000);
    TMemoryStream dst;
    EXPECT_EQ(VXCopyStreamRange(&dst, &src, 0), int64_t(data.size()));  // whole source
    EXPECT_EQ(Contents(dst), data);
  }
  {
    src.SetPosition(499990);
    TMemoryStream dst;
    EXPECT_EQ(VXCopyStreamRange(&dst, &src, 100), 10);  // only what remains
    EXPECT_EQ(Contents(dst), data.substr(499990));
  }
  {
    src.SetPosition(10);
    TVXHashStream hash(CALG_MD5, false);
    EXPECT_EQ(VXCopyStreamRange(&hash, &src, 300000), 300000);
    TVXHashStream direct(CALG_MD5, false);
    direct.WriteBuffer(data.data() + 10, 300000);
    EXPECT_EQ(hash.GetHash(), direct.GetHash());
  }
  {
    // Into a hash stream the count is trusted: a short source raises.
    src.SetPosition(499990);
    TVXHashStream hashSrc(CALG_MD5, true);
    hashSrc.WriteBuffer("abc", 3);
    hashSrc.SetPosition(0);
    TMemoryStream dst;
    EXPECT_THROW(VXCopyStreamRange(&dst, &hashSrc, 10), EReadError);
  }
}

TEST(RuntimeStreamUtils, LengthPrefixedStringsAndBadLengths) {
  TMemoryStream m;
  VXWriteAnsiString(&m, "hello");
  VXWriteWideString(&m, "");
  VXWriteWideString(&m, "\xc3\xa9t\xc3\xa9");  // "été"
  VXWriteStringList(&m, {"one", "caf\xc3\xa9", ""});
  const std::string expect = std::string("\5\0\0\0hello", 9) + std::string("\0\0\0\0", 4) +
                             std::string("\3\0\0\0\xe9\0t\0\xe9\0", 10) +
                             std::string("\3\0\0\0\3\0\0\0one\4\0\0\0caf\xe9\0\0\0\0", 23);
  EXPECT_EQ(Contents(m), expect);
  m.SetPosition(0);
  std::string a, w1, w2;
  std::vector<std::string> list = {"stale"};
  VXReadAnsiString(&m, a);
  VXReadWideString(&m, w1);
  VXReadWideString(&m, w2);
  VXReadStringList(&m, list);
  EXPECT_EQ(a, "hello");
  EXPECT_EQ(w1, "");
  EXPECT_EQ(w2, "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(list, (std::vector<std::string>{"one", "caf\xc3\xa9", ""}));
  EXPECT_EQ(m.Position(), m.Size());

  // Stored lengths beyond the data, negative lengths and short reads raise
  // instead of yielding garbage.
  struct Bad {
    std::string bytes;
    int kind;  // 0 ansi, 1 wide, 2 list
  } bad[] = {
      {std::string("\x10\0\0\0abc", 7), 0}, {std::string("\xff\xff\xff\xff", 4), 0}, {std::string("\1\0", 2), 0},
      {std::string("\x05\0\0\0a\0", 6), 1}, {std::string("\xff\xff\xff\x7f", 4), 1},
      {std::string("\xff\xff\xff\x0f\0\0\0\0", 8), 2},
  };
  for (const Bad& b : bad) {
    TVXMemStream s(b.bytes.data(), int64_t(b.bytes.size()));
    std::string t = "keep";
    std::vector<std::string> l;
    if (b.kind == 0) {
      EXPECT_THROW(VXReadAnsiString(&s, t), EReadError);
    }
    if (b.kind == 1) {
      EXPECT_THROW(VXReadWideString(&s, t), EReadError);
    }
    if (b.kind == 2) {
      EXPECT_THROW(VXReadStringList(&s, l), EReadError);
    }
    EXPECT_EQ(t, "keep");
  }
}

TEST(RuntimeStreamUtils, SmallHelpers) {
  EXPECT_EQ(VXNumColorsFromBits(8, 3), 16777216);
  EXPECT_EQ(VXNumColorsFromBits(1, 1), 2);
  EXPECT_EQ(VXNumColorsFromBits(8, 0), 1);
  EXPECT_EQ(VXNumColorsFromBits(16, 1), 65536);

  TMemoryStream m;
  bool aborting = false;
  VXWriteChecked(&m, aborting, "abc", 3);
  EXPECT_FALSE(aborting);
  char ro[2] = {0, 0};
  TVXMemStream cannot(ro, 2);
  VXWriteChecked(&cannot, aborting, "abc", 3);
  EXPECT_TRUE(aborting);
  VXWriteChecked(&m, aborting, "d", 1);
  EXPECT_TRUE(aborting);  // never cleared again

  TMemoryStream lines;
  VXWriteLn(&lines, "a");
  VXStreamWriteLine(&lines, "bc");
  EXPECT_EQ(Contents(lines), "a\r\nbc\r\n");
}

// The quicksort as the marker list and the thumbnail viewer use it.
struct TSortProbe {
  std::vector<int> items;
  int compares = 0, exchanges = 0;
  void Sort() {
    VXQuickSort(
        int32_t(items.size()),
        [this](int32_t a, int32_t b) {
          ++exchanges;
          std::swap(items[size_t(a)], items[size_t(b)]);
        },
        [this](int32_t a, int32_t b) {
          ++compares;
          return items[size_t(a)] < items[size_t(b)] ? -1 : items[size_t(a)] > items[size_t(b)] ? 1 : 0;
        });
  }
};

TEST(RuntimeStreamUtils, QuickSort) {
  std::mt19937 rng(17);
  for (size_t n : {0u, 2u, 3u, 10u, 257u, 5000u}) {
    TSortProbe p;
    for (size_t i = 0; i < n; ++i) p.items.push_back(int(rng() % 50));
    std::vector<int> sorted = p.items;
    std::sort(sorted.begin(), sorted.end());
    p.Sort();
    EXPECT_EQ(p.items, sorted) << n;
  }
  TSortProbe one;
  one.items = {42};
  one.Sort();
  EXPECT_EQ(one.items, std::vector<int>{42});
  EXPECT_EQ(one.compares, 2);
  EXPECT_EQ(one.exchanges, 1);  // the item with itself
  TSortProbe none;
  none.Sort();
  EXPECT_EQ(none.compares + none.exchanges, 0);

  // Equal keys: the exchanges follow the middle-pivot scheme exactly, which
  // decides the stored order of items with equal keys.
  struct Item {
    int key;
    char tag;
  };
  std::vector<Item> items = {{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {2, 'e'}};
  VXQuickSort(
      5, [&](int32_t a, int32_t b) { std::swap(items[size_t(a)], items[size_t(b)]); },
      [&](int32_t a, int32_t b) { return items[size_t(a)].key - items[size_t(b)].key; });
  std::string order;
  for (const Item& it : items) order += it.tag;
  EXPECT_EQ(order, "dbeac");
}

}  // namespace
