// Modules opened as data files and the resource calls with numbers and texts.
#include <gtest/gtest.h>

#include <algorithm>
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
