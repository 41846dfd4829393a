// Module resources of windres-built DLLs (tests/data/peres, made by its
// generate.sh) against python3-pefile and icotool as oracles.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/resextract.h"
#include "platform/win_module.h"
#include "runtime_test_util.h"

namespace {

const std::string kDir = std::string(VX_TEST_DATA_DIR) + "/peres/";

std::string Hex(const void* Data, size_t Size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  const auto* p = static_cast<const uint8_t*>(Data);
  for (size_t i = 0; i < Size; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

// Every resource as "type<TAB>name<TAB>size<TAB>bytes" in directory order.
std::string PefileListing(const std::string& Dll) {
  const std::string script =
      "import pefile,sys\n"
      "pe=pefile.PE(sys.argv[1])\n"
      "t=lambda e: str(e.name) if e.name is not None else 'INTRESOURCE:%d' % e.id\n"
      "for ty in pe.DIRECTORY_ENTRY_RESOURCE.entries:\n"
      " for n in ty.directory.entries:\n"
      "  d=n.directory.entries[0].data.struct\n"
      "  b=pe.get_data(d.OffsetToData,d.Size)\n"
      "  print('%s\\t%s\\t%d\\t%s' % (t(ty),t(n),d.Size,b.hex()))\n";
  RuntimeWriteFile("/tmp/vx-pefile-listing.py", script);
  return RuntimeShell("/usr/bin/python3 /tmp/vx-pefile-listing.py '" + Dll + "'");
}

std::string ExtractorListing(TVXResourceExtractor& X) {
  std::string out;
  for (int32_t t = 0; t < X.TypesCount(); ++t)
    for (int32_t n = 0; n < X.NamesCount(t); ++n) {
      uint32_t len = 12345;
      const void* p = X.GetBuffer(t, n, len);
      out += X.Types(t) + "\t" + X.Names(t, n) + "\t" + std::to_string(len) + "\t" + (p ? Hex(p, len) : "nil") + "\n";
    }
  return out;
}

// "--width=W --height=H --bit-depth=D" of each image icotool lists.
std::vector<std::string> IcotoolFrames(const std::string& File) {
  std::vector<std::string> out;
  std::istringstream in(RuntimeShell("/usr/bin/icotool -l '" + File + "'"));
  for (std::string line; std::getline(in, line);) {
    auto field = [&](const std::string& key) {
      const size_t p = line.find(key);
      return p == std::string::npos ? std::string("?") : line.substr(p + key.size(), line.find(' ', p) - p - key.size());
    };
    out.push_back(field("--width=") + "x" + field("--height=") + "x" + field("--bit-depth="));
  }
  return out;
}

class ResExtractTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ResExtractTest, TypesNamesAndBytesEqualPefile) {
  if (access("/usr/bin/python3", X_OK) != 0 || RuntimeShell("/usr/bin/python3 -c 'import pefile' 2>&1").size())
    GTEST_SKIP() << "python3-pefile missing";
  const std::string dll = kDir + GetParam();
  TVXResourceExtractor x(dll);
  ASSERT_TRUE(x.IsValid());
  std::string want = PefileListing(dll);
  if (want.empty()) want = PefileListing(dll);  // the oracle once more: a busy machine can fail a fork
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(ExtractorListing(x), want);
}

TEST_P(ResExtractTest, GroupsAgreeWithIcotoolAndFindTheirFrames) {
  if (access("/usr/bin/icotool", X_OK) != 0) GTEST_SKIP() << "icotool missing";
  TVXResourceExtractor x(kDir + GetParam());
  ASSERT_TRUE(x.IsValid());
  const struct {
    const char *Group, *Name, *Source;
  } groups[] = {{"GroupIcon", "INTRESOURCE:1", "app.ico"}, {"GroupCursor", "INTRESOURCE:7", "arrow.cur"}};
  for (const auto& g : groups) {
    const int32_t t = x.IndexOfType(g.Group);
    ASSERT_GE(t, 0) << g.Group;
    EXPECT_TRUE(x.IsGroup(t));
    EXPECT_FALSE(x.IsGrouped(t));
    int32_t n = -1;
    for (int32_t i = 0; i < x.NamesCount(t); ++i)
      if (x.Names(t, i) == g.Name) n = i;
    ASSERT_GE(n, 0) << g.Name;
    std::vector<std::string> frames;
    for (int32_t f = 0; f < x.GroupCountFrames(t, n); ++f) {
      frames.push_back(std::to_string(x.GroupFrameWidth(t, n, f)) + "x" + std::to_string(x.GroupFrameHeight(t, n, f)) +
                       "x" + std::to_string(x.GroupFrameDepth(t, n, f)));
      // The frame's bytes are those of the resource its entry names, and the
      // frame resource leads back to this group and entry.
      uint32_t len = 0, direct = 0;
      const void* p = x.GetFrameBuffer(t, n, f, len);
      const std::string frameType = std::string(g.Group).substr(5);  // "Icon", "Cursor"
      const void* q = x.GetBuffer(frameType, x.GroupFrameName(t, n, f), direct);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p, q);
      EXPECT_EQ(len, direct);
      const int32_t ft = x.IndexOfType(frameType);
      EXPECT_TRUE(x.IsGrouped(ft));
      int32_t fn = -1;
      for (int32_t i = 0; i < x.NamesCount(ft); ++i)
        if (x.Names(ft, i) == x.GroupFrameName(t, n, f)) fn = i;
      int32_t gt = -9, gi = -9, gf = -9;
      x.GetGroupAndFrame(ft, fn, gt, gi, gf);
      EXPECT_EQ(gt, t);
      EXPECT_EQ(gi, n);
      EXPECT_EQ(gf, f);
      // Bookmarks: whole resources and frames.
      uint32_t blen = 0;
      EXPECT_EQ(x.GetBuffer(x.GetResourceBookmark(t, n, f), blen), p);
      EXPECT_EQ(blen, len);
    }
    EXPECT_EQ(frames, IcotoolFrames(kDir + g.Source)) << g.Group;
    // Frames outside the group read nothing.
    EXPECT_EQ(x.GroupFrameWidth(t, n, x.GroupCountFrames(t, n)), 0);
    EXPECT_EQ(x.GroupFrameDepth(t, n, -1), 0);
    EXPECT_EQ(x.GroupFrameName(t, n, 99), "");
    uint32_t len = 7;
    EXPECT_EQ(x.GetFrameBuffer(t, n, 99, len), nullptr);
    EXPECT_EQ(len, 0u);
  }
}

TEST_P(ResExtractTest, FriendlyNamesAndLookups) {
  TVXResourceExtractor x(kDir + GetParam());
  ASSERT_TRUE(x.IsValid());
  std::vector<std::string> friendly;
  for (int32_t t = 0; t < x.TypesCount(); ++t) friendly.push_back(x.FriendlyTypes(t));
  EXPECT_EQ(friendly, (std::vector<std::string>{"MYTYPE", "Cursor", "Icon", "RCData", "GroupCursor", "INTRESOURCE:13",
                                                "GroupIcon", "INTRESOURCE:15"}));
  EXPECT_EQ(x.IndexOfType("RCData"), x.IndexOfType("intresource:10"));
  EXPECT_EQ(x.Types(x.IndexOfType("RCData")), "INTRESOURCE:10");
  EXPECT_EQ(x.IndexOfType("mytype"), 0);
  EXPECT_EQ(x.IndexOfType("rcdata"), -1);  // friendly names match exactly
  uint32_t len = 0;
  const auto* hello = static_cast<const char*>(x.GetBuffer("RCData", "hello", len));
  ASSERT_NE(hello, nullptr);
  EXPECT_EQ(std::string(hello, len), std::string("hello world\0", 12));
  EXPECT_EQ(x.GetBuffer("RCData", "missing", len), nullptr);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(x.GetBuffer("NOTYPE", "LOGO", len), nullptr);
  const auto* five = static_cast<const char*>(x.GetBuffer("MYTYPE", "INTRESOURCE:5", len));
  ASSERT_NE(five, nullptr);
  EXPECT_EQ(std::string(five, len), "five");
  EXPECT_EQ(x.NamesCount(-1), 0);
  EXPECT_EQ(x.GetBuffer(0, 99, len), nullptr);
  EXPECT_EQ(x.GetBuffer(-1, 0, len), nullptr);
  EXPECT_EQ(x.GroupCountFrames(x.IndexOfType("RCData"), 0), 0);
}

INSTANTIATE_TEST_SUITE_P(PE32AndPE32Plus, ResExtractTest, ::testing::Values("res32.dll", "res64.dll"));

TEST(ResExtract, FilesThatAreNoModulesGiveAnEmptyExtractor) {
  TRuntimeScratchDir dir;
  RuntimeWriteFile(dir.File("notes.txt"), "MZ but only text, no PE header here at all.............................\n");
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  for (const std::string& f : {dir.File("notes.txt"), std::string(self), dir.File("missing.dll"), dir.Path()}) {
    TVXResourceExtractor x(f);
    EXPECT_FALSE(x.IsValid()) << f;
    EXPECT_EQ(x.TypesCount(), 0);
    EXPECT_EQ(x.NamesCount(0), 0);
    EXPECT_EQ(x.Types(0), "");
    EXPECT_EQ(x.IndexOfType("RCData"), -1);
    uint32_t len = 1;
    EXPECT_EQ(x.GetBuffer("RCData", "LOGO", len), nullptr);
    EXPECT_EQ(len, 0u);
  }
}

// Group entries are read from hand-made groups: width byte 0 reads 256, a
// cursor's stored height is halved, and an entry count beyond the resource
// counts only the entries it holds.
TEST(ResExtract, GroupEntryFields) {
  std::ifstream in(kDir + "res64.dll", std::ios::binary);
  std::vector<uint8_t> dll((std::istreambuf_iterator<char>(in)), {});
  // The first entries of the two groups are patched in a copy of the DLL.
  TVXResourceExtractor orig(kDir + "res64.dll");
  uint32_t glen = 0, clen = 0;
  const auto* g = static_cast<const uint8_t*>(orig.GetBuffer("GroupIcon", "APPICON", glen));
  const auto* c = static_cast<const uint8_t*>(orig.GetBuffer("GroupCursor", "INTRESOURCE:7", clen));
  ASSERT_TRUE(g && c);
  ASSERT_EQ(glen, 20u);
  ASSERT_EQ(clen, 20u);
  // Find the resources' offsets in the file by their bytes.
  auto find = [&](const uint8_t* p, size_t n) {
    return size_t(std::search(dll.begin(), dll.end(), p, p + n) - dll.begin());
  };
  const size_t go = find(g, glen), co = find(c, clen);
  ASSERT_LT(go, dll.size());
  ASSERT_LT(co, dll.size());
  dll[go + 6] = 0;    // width byte
  dll[go + 7] = 0;    // height byte
  dll[go + 4] = 5;    // five entries claimed, one held
  dll[co + 6 + 2] = 64;  // stored cursor height 64
  dll[co + 6 + 3] = 0;
  TRuntimeScratchDir dir;
  RuntimeWriteFile(dir.File("patched.dll"), std::string(dll.begin(), dll.end()));
  TVXResourceExtractor x(dir.File("patched.dll"));
  ASSERT_TRUE(x.IsValid());
  const int32_t gi = x.IndexOfType("GroupIcon"), ci = x.IndexOfType("GroupCursor");
  EXPECT_EQ(x.GroupCountFrames(gi, 0), 1);
  EXPECT_EQ(x.GroupFrameWidth(gi, 0, 0), 256);
  EXPECT_EQ(x.GroupFrameHeight(gi, 0, 0), 256);
  EXPECT_EQ(x.GroupFrameWidth(gi, 0, 1), 0);
  EXPECT_EQ(x.GroupFrameHeight(ci, 0, 0), 32);
}

// A directory that refers back into itself is walked once: the type whose
// entry points at the root lists no names, and the icon whose entry points
// at its own type's directory has no data; the rest reads as before.
TEST(ResExtract, DirectoryLoopsAreWalkedOnce) {
  TVXResourceExtractor x(kDir + "loop64.dll");
  ASSERT_TRUE(x.IsValid());
  ASSERT_EQ(x.TypesCount(), 8);
  EXPECT_EQ(x.Types(0), "MYTYPE");
  EXPECT_EQ(x.NamesCount(0), 0);
  const int32_t icons = x.IndexOfType("Icon");
  ASSERT_EQ(x.NamesCount(icons), 4);
  uint32_t len = 9;
  EXPECT_EQ(x.GetBuffer(icons, 0, len), nullptr);
  EXPECT_EQ(len, 0u);
  EXPECT_NE(x.GetBuffer(icons, 1, len), nullptr);
  const auto* hello = static_cast<const char*>(x.GetBuffer("RCData", "HELLO", len));
  ASSERT_NE(hello, nullptr);
  EXPECT_EQ(std::string(hello, len), std::string("hello world\0", 12));
}

// Cut and damaged copies load cleanly or not at all; whatever loads hands
// out buffers that lie inside the file (the sanitizer build checks reads).
TEST(ResExtract, TruncatedAndBitFlippedModules) {
  std::ifstream in(kDir + "res32.dll", std::ios::binary);
  const std::vector<uint8_t> dll((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(dll.size(), 1000u);
  TRuntimeScratchDir dir;
  const std::string file = dir.File("damaged.dll");
  auto walk = [&](const std::vector<uint8_t>& bytes) {
    RuntimeWriteFile(file, std::string(bytes.begin(), bytes.end()));
    TVXResourceExtractor x(file);
    unsigned sum = 0;
    for (int32_t t = 0; t < x.TypesCount(); ++t)
      for (int32_t n = 0; n < x.NamesCount(t); ++n) {
        uint32_t len = 0;
        const auto* p = static_cast<const uint8_t*>(x.GetBuffer(t, n, len));
        for (uint32_t i = 0; p && i < len; ++i) sum += p[i];
        for (int32_t f = 0; f < x.GroupCountFrames(t, n); ++f) {
          p = static_cast<const uint8_t*>(x.GetFrameBuffer(t, n, f, len));
          for (uint32_t i = 0; p && i < len; ++i) sum += p[i];
        }
      }
    return x.IsValid();
  };
  int refused = 0;
  for (size_t cut = 0; cut < dll.size(); cut += 197) {
    std::vector<uint8_t> part(dll.begin(), dll.begin() + cut);
    refused += !walk(part);
  }
  EXPECT_GT(refused, 0);
  for (size_t i = 0; i < dll.size(); i += 29) {
    std::vector<uint8_t> flipped = dll;
    flipped[i] ^= uint8_t(1u << (i % 8));
    walk(flipped);
  }
}

}  // namespace
