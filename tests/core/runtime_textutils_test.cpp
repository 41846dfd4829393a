// Text, number and file-name helpers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>

#include "core/settings.h"
#include "core/textutils.h"
#include "runtime_test_util.h"

namespace {

// Restores the format settings a test changes.
class RuntimeText : public ::testing::Test {
protected:
  void SetUp() override { saved_ = VXFormatSettings(); }
  void TearDown() override { VXFormatSettings() = saved_; }
  TVXFormatSettings saved_;
};

TEST_F(RuntimeText, FloatToStrDotIsShortestTextWithDot) {
  struct Case {
    long double v;
    const char* text;
  } cases[] = {{1.5L, "1.5"},   {0, "0"},           {-2, "-2"},           {0.1, "0.1"},
               {1e20L, "1E20"}, {1.5e-6L, "1.5E-6"}, {0.0001L, "0.0001"}, {123456789012345.0L, "123456789012345"},
               {1e15L, "1E15"}, {1.0 / 3.0, "0.333333333333333"}};
  for (char sep : {'.', ','}) {
    VXSetDecimalSeparator(sep);
    for (const Case& c : cases) EXPECT_EQ(VXFloatToStrDot(c.v), c.text) << "separator " << sep;
  }
  EXPECT_EQ(VXFloatToStrDot(NAN), "NAN");
  EXPECT_EQ(VXFloatToStrDot(-INFINITY), "-INF");
}

TEST_F(RuntimeText, StrToFloatDefAcceptsEitherSeparator) {
  struct Case {
    char sep;
    const char* text;
    long double expect;
  } cases[] = {
      {'.', "1,5", 1.5L},   {'.', "1.5", 1.5L},    {',', "1.5", 1.5L},    {',', "1,5", 1.5L},
      {'.', " -2.25 ", -2.25L}, {'.', "1e3", 1000}, {'.', "7", 7},         {'.', "abc", -1},
      {'.', "", -1},        {'.', "1.5.5", -1},    {'.', "1,5,5", -1},   {'.', "1e", -1},
  };
  for (const Case& c : cases) {
    VXSetDecimalSeparator(c.sep);
    EXPECT_EQ(VXStrToFloatDef(c.text, -1), c.expect) << "'" << c.text << "' with " << c.sep;
  }
  VXSetDecimalSeparator('.');
  EXPECT_EQ(VXGetDecimalSeparator(), '.');
}

TEST_F(RuntimeText, FloatToStrFFormats) {
  VXFormatSettings().DecimalSeparator = '.';
  VXFormatSettings().ThousandSeparator = ',';
  EXPECT_EQ(VXFloatToStrF(1234.5678L, ffFixed, 6, 2), "1234.57");
  EXPECT_EQ(VXFloatToStrF(1234.5678L, ffFixed, 4, 2), "1235.00");
  EXPECT_EQ(VXFloatToStrF(1234567.891L, ffNumber, 15, 2), "1,234,567.89");
  EXPECT_EQ(VXFloatToStrF(1234.56L, ffExponent, 4, 2), "1.235E+03");
  EXPECT_EQ(VXFloatToStrF(-0.5L, ffFixed, 15, 0), "-1");
  EXPECT_EQ(VXFloatToStrF(12.5L, ffCurrency, 15, 2), "$12.50");
  EXPECT_EQ(VXFloatToStrF(0.000123L, ffGeneral, 15, 0), "0.000123");
  EXPECT_EQ(VXFloatToStrF(1e30L, ffFixed, 15, 2), "1.00000000000000E+30");
}

TEST_F(RuntimeText, FormatFloatAndFileSizes) {
  VXFormatSettings().DecimalSeparator = '.';
  VXFormatSettings().ThousandSeparator = ',';
  EXPECT_EQ(VXFormatFloat(2, true, 2.0), "2");
  EXPECT_EQ(VXFormatFloat(0, true, 100), "100");  // only text with a '.' is trimmed
  EXPECT_EQ(VXFormatFloat(3, true, 2.5), "2.5");
  EXPECT_EQ(VXFormatFloat(2, false, 2.0), "2.00");
  EXPECT_EQ(VXFormatFloatAnsi(1, false, -0.25), "-0.2");
  struct Case {
    int64_t size;
    const char* text;
  } cases[] = {{0, "0 bytes"},
               {1023, "1,023 bytes"},
               {1024, "1 KB"},
               {2048, "2 KB"},
               {10485759, "10,239 KB"},
               {10485760, "10 MB"},
               {15728640, "15 MB"},
               {1610612736, "1.5 GB"},
               {1073741824, "1 GB"},
               {-5, "-5 bytes"}};
  for (const Case& c : cases) EXPECT_EQ(VXFormatFileSize(c.size), c.text) << c.size;
  EXPECT_EQ(VXFormatThousands(-1234567), "-1,234,567");
  EXPECT_EQ(VXFormatBytesKB(5000, 10000), "5,000 bytes");
}

TEST_F(RuntimeText, FloatToFraction) {
  struct Case {
    double v, acc;
    int32_t num, den;
  } cases[] = {{0.5, 1e-6, 1, 2},     {-2.0, 1e-6, -2, 1},          {3.14159265, 1e-6, 355, 113},
               {1e-20, 1e-6, 1, 999999999}, {-1e-20, 1e-6, -1, 999999999}, {1e20, 1e-6, 999999999, 1},
               {0.75, 1e-9, 3, 4},    {-0.125, 1e-9, -1, 8},        {5e9, 1e-6, 2147483647, 1}};
  for (const Case& c : cases) {
    int32_t n = 0, d = 0;
    VXFloatToFraction(c.v, c.acc, n, d);
    EXPECT_EQ(n, c.num) << c.v;
    EXPECT_EQ(d, c.den) << c.v;
  }
  // An irrational value stops within 32-bit terms and close to the value.
  int32_t n = 0, d = 0;
  VXFloatToFraction(std::sqrt(2.0), 1e-15, n, d);
  EXPECT_GT(d, 1);
  EXPECT_NEAR(double(n) / d, std::sqrt(2.0), 1e-9);
}

TEST_F(RuntimeText, IntegersColoursAndBooleans) {
  EXPECT_EQ(VXIntToAnsiStr(-42), "-42");
  EXPECT_EQ(VXStrToIntDefAnsi("123", -1), 123);
  EXPECT_EQ(VXStrToIntDefAnsi(" -7", -1), -7);
  EXPECT_EQ(VXStrToIntDefAnsi("$1F", -1), 31);
  EXPECT_EQ(VXStrToIntDefAnsi("0x10", -1), 16);
  EXPECT_EQ(VXStrToIntDefAnsi("12a", -1), -1);
  EXPECT_EQ(VXStrToIntDefAnsi("", -1), -1);
  EXPECT_EQ(VXStrToIntDefAnsi("2147483648", -1), -1);
  EXPECT_EQ(VXStrToIntDefAnsi("-2147483648", -1), INT32_MIN);
  EXPECT_EQ(VXIntToHexAnsi(255, 4), "00FF");
  EXPECT_EQ(VXIntToHexAnsi(0x12345, 2), "12345");

  EXPECT_EQ(VXRGBToStr(0x00FF8001), "255, 128, 1");
  EXPECT_EQ(VXStrToRGB("255, 0"), 0xFF0000);
  EXPECT_EQ(VXStrToRGB(" 1 ,2, 3 ,99"), 0x010203);
  EXPECT_EQ(VXStrToRGB("x, 300, -1"), (0 << 16) | (44 << 8) | 255);  // bytes keep the low 8 bits
  EXPECT_EQ(VXStrToRGB(VXRGBToStr(0x123456)), 0x123456);

  for (const char* t : {"1", "TRUE", "true", "T", "t"}) EXPECT_TRUE(VXStrToBool(t)) << t;
  for (const char* t : {"yes", "0", "", "FALSE", " 1"}) EXPECT_FALSE(VXStrToBool(t)) << t;
  EXPECT_EQ(VXBoolToStr(true), "1");
  EXPECT_EQ(VXBoolToStr(false), "0");

  EXPECT_TRUE(VXColorsWithinTolerance(2, 0x102030, 0x122031));
  EXPECT_FALSE(VXColorsWithinTolerance(2, 0x102030, 0x132030));
  EXPECT_FALSE(VXColorsWithinTolerance(0, 0x000001, 0x000000));
}

TEST_F(RuntimeText, BlanksAndControlCharacters) {
  std::set<int> blanks;
  for (int c = 0; c < 256; ++c)
    if (VXIsBlankChar(uint8_t(c))) blanks.insert(c);
  EXPECT_EQ(blanks, (std::set<int>{8, 9, 10, 13, 32}));
  EXPECT_EQ(VXStripControlChars(std::string("a\tb\x7f" "c\x01\xc3\xa9", 8)), "abc\xc3\xa9");
  EXPECT_EQ(VXStripControlCharsW(u"a\nb\u007fc\u00e9"), u"abc\u00e9");
}

TEST_F(RuntimeText, StringKindsConvert) {
  const std::string utf8 = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80";  // "Grüße € 😀"
  std::u16string w = VXUTF8ToUTF16(utf8);
  EXPECT_EQ(w.size(), 10u);  // the emoji takes a surrogate pair
  EXPECT_EQ(VXUTF16ToUTF8(w), utf8);
  EXPECT_EQ(VXUTF8ToUTF16(std::string("a\xff" "b", 3)), u"a\uFFFDb");
  EXPECT_EQ(VXUTF8ToAnsi("Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80"), "Gr\xfc\xdf" "e \x80 ?");
  EXPECT_EQ(VXAnsiToUTF8("\x80\xe9\x9f"), "\xe2\x82\xac\xc3\xa9\xc5\xb8");
}

TEST_F(RuntimeText, CStringPrimitives) {
  char buf[32];
  EXPECT_EQ(VXStrLenA("abc"), 3u);
  EXPECT_EQ(VXStrLenW(u"abcd"), 4u);
  EXPECT_STREQ(VXStrCopyA(buf, "hello"), "hello");
  char16_t wbuf[8];
  VXStrCopyW(wbuf, u"hi");
  EXPECT_EQ(std::u16string(wbuf), u"hi");
  VXStrPCopyA(buf, "xyz");
  EXPECT_STREQ(buf, "xyz");
  VXStrPCopyA(buf, "abcdef");
  VXStrMoveA(buf + 1, buf, 3);  // overlapping move
  EXPECT_STREQ(buf, "aabcef");
  const char* s = "a/b/c";
  EXPECT_EQ(VXStrScanByteA(s, '/'), s + 1);
  EXPECT_EQ(VXStrRScanA(s, '/'), s + 3);
  EXPECT_EQ(VXStrScanA(s, 'x'), nullptr);
  char* copy = VXStrNewA(s);
  EXPECT_STREQ(copy, s);
  delete[] copy;
  EXPECT_EQ(VXStrNewA(nullptr), nullptr);

  EXPECT_EQ(VXTrimAnsi(" \t ab c\r\n"), "ab c");
  EXPECT_EQ(VXUpperCaseAnsi("aBc1"), "ABC1");
  EXPECT_EQ(VXLowerCaseAnsi("aBc1"), "abc1");
  EXPECT_EQ(VXCopyAnsi("abcdef", 2, 3), "bcd");
  EXPECT_EQ(VXCopyAnsi("abcdef", 0, 2), "ab");
  EXPECT_EQ(VXCopyAnsi("abcdef", 5, 100), "ef");
  EXPECT_EQ(VXCopyAnsi("abcdef", 7, 1), "");
  EXPECT_EQ(VXPosAnsi("cd", "abcdef"), 3);
  EXPECT_EQ(VXPosAnsi("x", "abcdef"), 0);
  EXPECT_EQ(VXPosAnsi("", "abc"), 0);
}

TEST_F(RuntimeText, FileNamesAndExtensions) {
  EXPECT_EQ(VXLowerFileExt("/a/B.PNG", true), ".png");
  EXPECT_EQ(VXLowerFileExt("/a/B.PNG", false), "png");
  EXPECT_EQ(VXLowerFileExt("/a.dir/name", true), "");
  EXPECT_EQ(VXLowerFileExt("icon.9.png", true), ".png");
  EXPECT_TRUE(VXExtInList("JPG", ".jpg;.jpeg"));
  EXPECT_TRUE(VXExtInList(".jpeg", ".jpg;.JPEG"));
  EXPECT_FALSE(VXExtInList("j", ".jpg;.jpeg"));
  EXPECT_FALSE(VXExtInList("", ".jpg"));
  EXPECT_FALSE(VXExtInList("pg", ".jpg;.jpeg"));  // whole items only
  EXPECT_TRUE(VXFileExtInList("/x/photo.Tif", ".png;.tif"));
  EXPECT_FALSE(VXFileExtInList("/x/photo", ".png;.tif"));
  // Masks of "*." and the extension, as the file-format filters give them.
  EXPECT_TRUE(VXFileExtInList("/x/photo.JPG", "*.jpg;*.png"));
  EXPECT_TRUE(VXFileExtInList("photo.png", "*.jpg;*.png"));
  EXPECT_FALSE(VXFileExtInList("photo.pg", "*.jpg;*.png"));
  EXPECT_FALSE(VXFileExtInList("photo.jpg", "x*.jpg"));
  EXPECT_EQ(VXGetURLScheme("HTTPS://x"), 2);
  EXPECT_EQ(VXGetURLScheme("http://x"), 1);
  EXPECT_EQ(VXGetURLScheme("ftp://x"), 3);
  EXPECT_EQ(VXGetURLScheme("file:///x"), 0);
  EXPECT_EQ(VXGetURLScheme("http:"), 0);
  EXPECT_EQ(VXExtractFilePathW("/a/b/c.png"), "/a/b/");
  EXPECT_EQ(VXExtractFileNameW("/a/b/c.png"), "c.png");
  EXPECT_EQ(VXExtractFilePathW("c.png"), "");
  EXPECT_EQ(VXMakeInt64(1, 2), (int64_t(1) << 32) + 2);
}

TEST_F(RuntimeText, FileExistsAndDetails) {
  TRuntimeScratchDir dir;
  const std::string f = dir.File("f.bin");
  RuntimeWriteFile(f, std::string(1500, 'x'));
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  bool saved = s->UseDefaultFileExists();
  for (bool def : {false, true}) {
    s->SetUseDefaultFileExists(def);
    EXPECT_TRUE(VXFileExists(f));
    EXPECT_FALSE(VXFileExists(dir.Path()));  // a folder is not a file
    EXPECT_FALSE(VXFileExists(dir.File("none")));
    EXPECT_FALSE(VXFileExists(""));
  }
  s->SetUseDefaultFileExists(saved);

  int64_t size = -1;
  double created = -1, edited = -1;
  ASSERT_TRUE(VXGetFileDetails(f, size, created, edited));
  EXPECT_EQ(size, 1500);
  // Today, in days since 1899-12-30 (local time), to two seconds.
  time_t now = time(nullptr);
  struct tm lt {};
  localtime_r(&now, &lt);
  double today = std::floor((double(now) + double(lt.tm_gmtoff)) / 86400.0) + 25569;
  EXPECT_NEAR(edited, today + (lt.tm_hour * 3600 + lt.tm_min * 60 + lt.tm_sec) / 86400.0, 60 / 86400.0);
  EXPECT_GT(created, 0);
  EXPECT_LE(created, edited + 1e-9);
  EXPECT_FALSE(VXGetFileDetails(dir.File("none"), size, created, edited));
  EXPECT_EQ(size, 0);
  EXPECT_EQ(edited, 0);

  EXPECT_EQ(VXFileTimeToDateTime(0), 0);
  // 1601 and 1970 are outside the DOS date range.
  EXPECT_EQ(VXFileTimeToDateTime(116444736000000000ull), 0);
}

TEST(RuntimeTextDates, DaysFromCivilAcrossLeapRulesAndEras) {
  struct Case {
    int64_t y;
    unsigned m, d;
    int64_t days;
  } cases[] = {
      {1970, 1, 1, 0},        {1969, 12, 31, -1},    {1899, 12, 30, -25569}, {2000, 2, 29, 11016},
      {2000, 3, 1, 11017},    {1900, 3, 1, -25508},  {2100, 3, 1, 47541},    {1600, 2, 29, -135081},
      {1, 1, 1, -719162},     {-1, 12, 31, -719529},
  };
  for (const Case& c : cases) EXPECT_EQ(VXDaysFromCivil(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
}

TEST_F(RuntimeText, TempFileNamesAreFreshAndCreatedExclusively) {
  TRuntimeScratchDir dir;
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string name;
    VXGetTempFileName("desc", dir.Path(), name);
    ASSERT_EQ(name.size(), dir.Path().size() + std::string("desc-12345678.tmp").size());
    EXPECT_EQ(name.rfind(dir.Path() + "desc-", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    std::string hex = name.substr(dir.Path().size() + 5, 8);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
    EXPECT_LT(std::stoul(hex, nullptr, 16), 2147483647ul);
    EXPECT_TRUE(std::filesystem::exists(name));  // reserved on disk
    EXPECT_TRUE(names.insert(name).second);
  }
  // A missing folder still yields a name (creating the file will fail later).
  std::string name;
  VXGetTempFileName("x", dir.File("missing/"), name);
  EXPECT_EQ(name.rfind(dir.File("missing/x-"), 0), 0u);

  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  std::string saved = s->DefTempPath();
  s->SetDefTempPath(dir.File("sub"));
  std::filesystem::create_directory(dir.File("sub"));
  VXGetDefaultTempFileName(name);
  EXPECT_EQ(name.rfind(dir.File("sub/vxtemp-"), 0), 0u) << name;
  s->SetDefTempPath("");
  VXGetDefaultTempFileName(name);
  EXPECT_EQ(name.rfind(VXGetSystemTempPath() + "vxtemp-", 0), 0u) << name;
  std::filesystem::remove(name);
  s->SetDefTempPath(saved);
}

}  // namespace
