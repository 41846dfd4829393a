// Modules opened as data files and the resource calls with numbers and texts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win_module.h"
#include "platform/win_resource.h"

namespace {

const std::string kDll = std::string(VX_TEST_DATA_DIR) + "/peres/res64.dll";

TEST(PlatformModule, OnlyDataFileLoadsAreServed) {
  EXPECT_EQ(LoadLibraryExW(kDll, nullptr, 0), nullptr);
  EXPECT_EQ(LoadLibraryExW(kDll, nullptr, DONT_RESOLVE_DLL_REFERENCES), nullptr);
  for (uint32_t flags : {0x3u, 0x60u, 0x2u, 0x20u, 0x40u}) {
    HMODULE m = LoadLibraryExW(kDll, nullptr, flags);
    ASSERT_NE(m, nullptr) << flags;
    EXPECT_TRUE(VXFreeModuleFile(m));
    EXPECT_FALSE(VXFreeModuleFile(m));  // already freed
  }
  EXPECT_EQ(LoadLibraryExW("/nonexistent.dll", nullptr, 0x3), nullptr);
}

TEST(PlatformModule, NamesAndTypesAsNumbersOrTexts) {
  HMODULE m = LoadLibraryExW(kDll, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(m, nullptr);
  // "#100" is the number 100; texts compare without case.
  const HRSRC byNumber = FindResourceW(m, 100, RT_RCDATA);
  ASSERT_NE(byNumber, nullptr);
  EXPECT_EQ(FindResourceW(m, "#100", "#10"), byNumber);
  EXPECT_EQ(FindResourceW(m, "logo", RT_RCDATA), FindResourceW(m, "LOGO", 10));
  EXPECT_NE(FindResourceW(m, "data1", "mytype"), nullptr);
  EXPECT_EQ(FindResourceW(m, "#5", "MYTYPE"), FindResourceW(m, 5, "MyType"));
  EXPECT_EQ(FindResourceW(m, "LOGO", RT_STRING), nullptr);
  EXPECT_EQ(FindResourceW(m, 70000, RT_RCDATA), nullptr);
  EXPECT_EQ(SizeofResource(m, FindResourceW(m, "HELLO", RT_RCDATA)), 12u);
  EXPECT_EQ(std::string(static_cast<const char*>(LockResource(LoadResource(m, FindResourceW(m, "HELLO", 10))))),
            "hello world");
  std::vector<std::string> types, names;
  EXPECT_TRUE(EnumResourceTypesA(m, [&](HMODULE, const TResName& t) {
    types.push_back(t.Key());
    return true;
  }));
  EXPECT_EQ(types, (std::vector<std::string>{"MYTYPE", "#1", "#3", "#10", "#12", "#13", "#14", "#15"}));
  EXPECT_TRUE(EnumResourceNamesA(m, RT_RCDATA, [&](HMODULE, const TResName&, const TResName& n) {
    names.push_back(n.Key());
    return names.size() < 2;  // a callback ends the walk
  }));
  EXPECT_EQ(names, (std::vector<std::string>{"HELLO", "LOGO"}));
  EXPECT_FALSE(EnumResourceNamesA(m, 99, [](HMODULE, const TResName&, const TResName&) { return true; }));
  EXPECT_TRUE(VXFreeModuleFile(m));
  // A freed or unknown handle finds nothing.
  EXPECT_EQ(FindResourceW(m, 100, RT_RCDATA), nullptr);
  EXPECT_FALSE(EnumResourceTypesA(m, [](HMODULE, const TResName&) { return true; }));
}

// A PE32 module of one section: the resource directory holds RCDATA with
// Count named entries that all name one text of Length characters, and share
// one language directory.
std::vector<uint8_t> SharedNameModule(uint32_t Count, uint32_t Length) {
  std::vector<uint8_t> rs;
  auto put = [](std::vector<uint8_t>& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  auto dirHeader = [&](uint32_t named, uint32_t ids) {
    put(rs, 0, 4), put(rs, 0, 4), put(rs, 0, 2), put(rs, 0, 2), put(rs, named, 2), put(rs, ids, 2);
  };
  const uint32_t namesAt = 24, textAt = namesAt + 16 + 8 * Count;
  const uint32_t langAt = (textAt + 2 + 2 * Length + 3) & ~3u, entryAt = langAt + 24;
  dirHeader(0, 1);
  put(rs, 10, 4), put(rs, 0x80000000u | namesAt, 4);
  dirHeader(Count, 0);
  for (uint32_t i = 0; i < Count; ++i) put(rs, 0x80000000u | textAt, 4), put(rs, 0x80000000u | langAt, 4);
  put(rs, Length, 2);
  for (uint32_t i = 0; i < Length; ++i) put(rs, 'A', 2);
  rs.resize(langAt, 0);
  dirHeader(0, 1);
  put(rs, 0x409, 4), put(rs, entryAt, 4);
  put(rs, 0x1000 + entryAt + 16, 4), put(rs, 4, 4), put(rs, 0, 4), put(rs, 0, 4);
  rs.insert(rs.end(), {'D', 'A', 'T', 'A'});
  rs.resize((rs.size() + 511) & ~size_t(511), 0);

  std::vector<uint8_t> f(0x40, 0);
  f[0] = 'M', f[1] = 'Z', f[0x3C] = 0x40;
  f.insert(f.end(), {'P', 'E', 0, 0});
  put(f, 0x14C, 2), put(f, 1, 2), put(f, 0, 4), put(f, 0, 4), put(f, 0, 4), put(f, 0xE0, 2), put(f, 0x2102, 2);
  std::vector<uint8_t> opt(0xE0, 0);
  opt[0] = 0x0B, opt[1] = 0x01;  // PE32
  opt[92] = 16;                  // data directories
  std::vector<uint8_t> dir;
  put(dir, 0x1000, 4), put(dir, uint32_t(rs.size()), 4);
  std::copy(dir.begin(), dir.end(), opt.begin() + 96 + 16);  // the resource directory's entry
  f.insert(f.end(), opt.begin(), opt.end());
  f.insert(f.end(), {'.', 'r', 's', 'r', 'c', 0, 0, 0});
  put(f, uint32_t(rs.size()), 4), put(f, 0x1000, 4), put(f, uint32_t(rs.size()), 4), put(f, 0x200, 4);
  put(f, 0, 4), put(f, 0, 4), put(f, 0, 2), put(f, 0, 2), put(f, 0x40000040, 4);
  f.resize(0x200, 0);
  f.insert(f.end(), rs.begin(), rs.end());
  return f;
}

TEST(PlatformModule, NamesSharingOneTextTakeAtMostTheSectionsSize) {
  // Few entries on a short text are all kept; thousands on a long one take
  // no more characters than the section has bytes (64 K at the least).
  struct TCase {
    uint32_t Count, Length;
    bool All;
  };
  char dirName[] = "/tmp/vx-module-XXXXXX";
  ASSERT_NE(mkdtemp(dirName), nullptr);
  const std::string file = std::string(dirName) + "/names.dll";
  for (const TCase& c : {TCase{3, 5, true}, TCase{20000, 3000, false}}) {
    const std::vector<uint8_t> bytes = SharedNameModule(c.Count, c.Length);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    HMODULE m = LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr) << c.Count;
    uint64_t names = 0, characters = 0;
    EXPECT_TRUE(EnumResourceNamesA(m, RT_RCDATA, [&](HMODULE, const TResName&, const TResName& n) {
      ++names;
      characters += n.Text().size();
      return true;
    }));
    EXPECT_EQ(names == c.Count, c.All) << c.Count;
    EXPECT_GT(names, 0u);
    EXPECT_LE(characters, std::max<uint64_t>(bytes.size(), 65536)) << c.Count;
    if (names > 0) EXPECT_NE(FindResourceW(m, std::string(c.Length, 'a'), RT_RCDATA), nullptr);
    EXPECT_TRUE(VXFreeModuleFile(m));
  }
  std::remove(file.c_str());
  rmdir(dirName);
}

TEST(PlatformModule, TheProgramsOwnTableIsEnumerated) {
  static const char data[] = "abc";
  RegisterResource(RT_RCDATA, "ENUMTEST", data, 3);
  RegisterResource(RT_RCDATA, "#4242", data, 3);
  std::vector<std::string> names;
  bool rcdata = false;
  EnumResourceTypesA(nullptr, [&](HMODULE, const TResName& t) {
    rcdata |= t.IsNumber() && t.Number() == uint32_t(RT_RCDATA);
    return true;
  });
  EnumResourceNamesA(nullptr, RT_RCDATA, [&](HMODULE, const TResName&, const TResName& n) {
    names.push_back(n.Key());
    return true;
  });
  EXPECT_TRUE(rcdata);
  EXPECT_NE(std::find(names.begin(), names.end(), "ENUMTEST"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "#4242"), names.end());
  EXPECT_EQ(FindResourceW(nullptr, 4242, RT_RCDATA), FindResourceW(nullptr, "#4242", RT_RCDATA));
  EXPECT_NE(FindResourceW(nullptr, 4242, RT_RCDATA), nullptr);
  EXPECT_EQ(FindResourceW(nullptr, "ENUMTEST", "RCDATA"), nullptr);  // the program's types are numbers
  UnregisterResource(RT_RCDATA, "ENUMTEST");
  UnregisterResource(RT_RCDATA, "#4242");
}

}  // namespace
