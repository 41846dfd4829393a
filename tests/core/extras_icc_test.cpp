// TVXICC: profile bytes and the values read from them, transforms through
// the platform's colour management (checked against lcms2's transicc),
// bitmap conversion, and the behaviour without the colour library.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/icc.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "platform/win_mscms.h"

namespace {

const char* const kColorDir = "/usr/share/color/icc/";

bool FileReadable(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

bool HaveTransicc() { return std::system("command -v transicc >/dev/null 2>&1") == 0; }

// Runs transicc in terse mode on the given input lines (values outside the
// device range are left for the caller to clip); one vector
// of numbers for each output line.
std::vector<std::vector<double>> Transicc(const std::string& args, const std::vector<std::string>& lines) {
  char in[] = "/tmp/vx_extras_tiXXXXXX";
  int fd = mkstemp(in);
  EXPECT_GE(fd, 0);
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  EXPECT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
  close(fd);
  std::string cmd = "transicc -n " + args + " < " + in + " 2>/dev/null";
  std::vector<std::vector<double>> result;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[512];
  while (p && std::fgets(buf, sizeof buf, p)) {
    std::istringstream is(buf);
    std::vector<double> v;
    double d;
    while (is >> d) v.push_back(d);
    if (!v.empty()) result.push_back(v);
  }
  if (p) pclose(p);
  std::remove(in);
  return result;
}

std::string WriteTempProfile(const TVXICC& icc) {
  char name[] = "/tmp/vx_extras_iccXXXXXX";
  int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, icc.Raw(), size_t(icc.RawLength())), ssize_t(icc.RawLength()));
  close(fd);
  return name;
}

void PutBE32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v >> 24);
  b[at + 1] = uint8_t(v >> 16);
  b[at + 2] = uint8_t(v >> 8);
  b[at + 3] = uint8_t(v);
}

// Profile bytes with the given colour spaces and a tag table; tag data are
// appended by the caller.
std::vector<uint8_t> ProfileHeader(size_t size, const char* dataSpace, const char* pcs, uint32_t tagCount) {
  std::vector<uint8_t> b(size, 0);
  PutBE32(b, 0, uint32_t(size));
  if (size >= 24) {
    std::memcpy(&b[16], dataSpace, 4);
    std::memcpy(&b[20], pcs, 4);
  }
  if (size >= 132) PutBE32(b, 128, tagCount);
  return b;
}

void PutTag(std::vector<uint8_t>& b, int index, const char* sig, uint32_t offset, uint32_t size) {
  size_t at = 132 + size_t(index) * 12;
  std::memcpy(&b[at], sig, 4);
  PutBE32(b, at + 4, offset);
  PutBE32(b, at + 8, size);
}

void PutText(std::vector<uint8_t>& b, size_t at, const std::string& s, bool terminate = true) {
  std::memcpy(&b[at], s.data(), s.size());
  if (terminate) b[at + s.size()] = 0;
}

// Restores the colour library after a test that switched it off.
struct LibraryOff {
  explicit LibraryOff(bool present, const char* missing = nullptr) {
    MscmsSimulate(present, missing);
    VXICCClearLibraryHandle();
  }
  ~LibraryOff() {
    MscmsSimulate(true, nullptr);
    VXICCClearLibraryHandle();
  }
};

}  // namespace

TEST(ExtrasICC, BuiltInProfilesAndTheirValues) {
  ASSERT_TRUE(VXICCLibraryAvailable());
  TVXICC cmyk;
  cmyk.Assign_CMYKProfile();
  EXPECT_TRUE(cmyk.IsValid());
  EXPECT_GT(cmyk.RawLength(), 100000);
  EXPECT_EQ(cmyk.InputColorSpace(), "CMYK");
  EXPECT_EQ(cmyk.OutputColorSpace(), "Lab ");
  EXPECT_EQ(cmyk.Description(), "Coated FOGRA39 offset press");
  EXPECT_EQ(cmyk.Copyright(), "Built from FOGRA39L data of icc-profiles-free (zlib licence)");

  TVXICC adobe;
  adobe.Assign_AdobeRGB1998();
  EXPECT_TRUE(adobe.IsValid());
  EXPECT_EQ(adobe.InputColorSpace(), "RGB ");
  EXPECT_EQ(adobe.OutputColorSpace(), "XYZ ");
  EXPECT_NE(adobe.Description().find("Adobe"), std::string::npos) << adobe.Description();

  TVXICC srgb;
  srgb.Assign_sRGBProfile();
  EXPECT_TRUE(srgb.IsValid());
  EXPECT_EQ(srgb.RawLength(), 0);
  EXPECT_EQ(srgb.Raw(), nullptr);
  EXPECT_EQ(srgb.InputColorSpace(), "");

  // A copy carries the bytes; a profile opened by name copies as empty.
  TVXICC copy;
  copy.Assign(&cmyk);
  EXPECT_TRUE(copy.IsValid());
  EXPECT_EQ(copy.RawLength(), cmyk.RawLength());
  EXPECT_EQ(std::memcmp(copy.Raw(), cmyk.Raw(), size_t(cmyk.RawLength())), 0);
  copy.Assign(&srgb);
  EXPECT_FALSE(copy.IsValid());

  TVXICC lab;
  lab.Assign_CMYKProfile();
  lab.Assign_LabProfileD50();
  EXPECT_FALSE(lab.IsValid());
  EXPECT_EQ(lab.RawLength(), 0);
  // Clear keeps the descriptive values.
  EXPECT_EQ(lab.InputColorSpace(), "CMYK");

  // Garbage bytes are kept but give no handle.
  std::vector<uint8_t> junk(300, 0x5A);
  TVXICC bad;
  bad.LoadFromBuffer(junk.data(), int32_t(junk.size()));
  EXPECT_FALSE(bad.IsValid());
  EXPECT_EQ(bad.RawLength(), 300);
}

TEST(ExtrasICC, StreamRoundTrips) {
  TVXICC cmyk;
  cmyk.Assign_CMYKProfile();
  const int32_t n = cmyk.RawLength();

  TMemoryStream withLength;
  cmyk.SaveToStream(&withLength, false);
  EXPECT_EQ(withLength.Size(), 4 + n);
  withLength.SetPosition(0);
  TVXICC a;
  a.LoadFromStream(&withLength, false);
  ASSERT_EQ(a.RawLength(), n);
  EXPECT_EQ(std::memcmp(a.Raw(), cmyk.Raw(), size_t(n)), 0);
  EXPECT_TRUE(a.IsValid());

  TMemoryStream plain;
  cmyk.SaveToStream(&plain, true);
  ASSERT_EQ(plain.Size(), n);
  EXPECT_EQ(std::memcmp(plain.Memory(), cmyk.Raw(), size_t(n)), 0);

  // A standard profile is read from the current position to the end.
  TMemoryStream prefixed;
  prefixed.WriteBuffer("JUNK", 4);
  cmyk.SaveToStream(&prefixed, true);
  prefixed.SetPosition(4);
  TVXICC b;
  b.LoadFromStream(&prefixed, true);
  ASSERT_EQ(b.RawLength(), n);
  EXPECT_EQ(std::memcmp(b.Raw(), cmyk.Raw(), size_t(n)), 0);

  // An empty profile writes a zero length and reads back empty.
  TVXICC empty;
  TMemoryStream zero;
  empty.SaveToStream(&zero, false);
  EXPECT_EQ(zero.Size(), 4);
  zero.SetPosition(0);
  TVXICC c;
  c.LoadFromStream(&zero, false);
  EXPECT_EQ(c.RawLength(), 0);
  EXPECT_FALSE(c.IsValid());

  std::string path = std::string(kColorDir) + "sRGB.icc";
  if (FileReadable(path)) {
    TVXICC f;
    f.LoadFromFile(path);
    EXPECT_TRUE(f.IsValid());
    EXPECT_EQ(f.InputColorSpace(), "RGB ");
  }
  TVXICC missing;
  EXPECT_THROW(missing.LoadFromFile("/nonexistent/profile.icc"), EVXException);
}

TEST(ExtrasICC, StoredLengthsAreCheckedAgainstTheStream) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* what;
  };
  const Case cases[] = {
      {{0x10, 0x00}, "length cut short"},
      {{0x10, 0x00, 0x00, 0x00, 1, 2, 3}, "length beyond the stream"},
      {{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}, "negative length"},
      {{}, "empty stream"},
  };
  for (const Case& c : cases) {
    TMemoryStream s;
    if (!c.bytes.empty()) s.WriteBuffer(c.bytes.data(), int64_t(c.bytes.size()));
    s.SetPosition(0);
    TVXICC p;
    EXPECT_THROW(p.LoadFromStream(&s, false), EVXException) << c.what;
    EXPECT_EQ(p.RawLength(), 0) << c.what;
  }
}

TEST(ExtrasICC, DescriptiveValuesFromTagTables) {
  {  // 128 bytes or fewer: no values at all
    std::vector<uint8_t> b = ProfileHeader(128, "RGB ", "XYZ ", 0);
    TVXICC p;
    p.LoadFromBuffer(b.data(), int32_t(b.size()));
    EXPECT_EQ(p.InputColorSpace(), "");
    EXPECT_EQ(p.OutputColorSpace(), "");
  }
  {  // 130 bytes: colour spaces, but no room for the tag count
    std::vector<uint8_t> b = ProfileHeader(130, "GRAY", "XYZ ", 0);
    TVXICC p;
    p.LoadFromBuffer(b.data(), int32_t(b.size()));
    EXPECT_EQ(p.InputColorSpace(), "GRAY");
    EXPECT_EQ(p.Description(), "");
  }
  {  // 1,001 tags: the table is ignored
    std::vector<uint8_t> b = ProfileHeader(132 + 1001 * 12 + 64, "CMYK", "Lab ", 1001);
    const uint32_t data = 132 + 1001 * 12;
    PutTag(b, 0, "desc", data, 40);
    PutText(b, data + 12, "Ignored");
    TVXICC p;
    p.LoadFromBuffer(b.data(), int32_t(b.size()));
    EXPECT_EQ(p.InputColorSpace(), "CMYK");
    EXPECT_EQ(p.OutputColorSpace(), "Lab ");
    EXPECT_EQ(p.Description(), "");
  }
  {  // sizes at the limits, a later tag replacing an earlier one, and a
     // bad offset ending the table
    std::vector<uint8_t> b = ProfileHeader(4000, "RGB ", "XYZ ", 6);
    PutTag(b, 0, "desc", 300, 999);
    PutText(b, 312, "First");
    PutTag(b, 1, "cprt", 400, 1000);  // too large for a copyright
    PutText(b, 408, "Too big");
    PutTag(b, 2, "desc", 500, 40);
    PutText(b, 512, "Second");
    PutTag(b, 3, "cprt", 600, 999);
    PutText(b, 608, "Copyright ok");
    PutTag(b, 4, "desc", 5000, 10);  // beyond the profile: reading stops
    PutTag(b, 5, "desc", 700, 20);
    PutText(b, 712, "Never read");
    TVXICC p;
    p.LoadFromBuffer(b.data(), int32_t(b.size()));
    EXPECT_EQ(p.Description(), "Second");
    EXPECT_EQ(p.Copyright(), "Copyright ok");
  }
  {  // a text without terminator ends with the profile bytes; a tag count
     // larger than the bytes hold stops at the end of the bytes
    std::vector<uint8_t> b = ProfileHeader(200, "RGB ", "XYZ ", 900);
    PutTag(b, 0, "desc", 180, 20);
    PutText(b, 192, "Tail1234", false);
    TVXICC p;
    p.LoadFromBuffer(b.data(), int32_t(b.size()));
    EXPECT_EQ(p.Description(), "Tail1234");
  }
  {  // a text of 1,000 characters or more is not taken
    std::vector<uint8_t> b = ProfileHeader(2000, "RGB ", "XYZ ", 1);
    PutTag(b, 0, "desc", 200, 500);
    PutText(b, 212, std::string(1000, 'x'));
    TVXICC p;
    p.LoadFromBuffer(b.data(), int32_t(b.size()));
    EXPECT_EQ(p.Description(), "");
  }
}

TEST(ExtrasICC, CheckTransformByColorSpace) {
  TVXICC cmyk, adobe, srgb;
  cmyk.Assign_CMYKProfile();
  adobe.Assign_AdobeRGB1998();
  srgb.Assign_sRGBProfile();
  struct Case {
    TVXICC* profile;
    int32_t format;
    bool expected;
  };
  const Case cases[] = {
      {&cmyk, vxcmsCMYK, true},     {&cmyk, vxcmsCMYK6, true},   {&cmyk, vxcmsBGR, false},
      {&cmyk, vxcmsCIELab, false},  {&adobe, vxcmsRGB, true},    {&adobe, vxcmsBGR, true},
      {&adobe, vxcmsRGB48, true},   {&adobe, vxcmsRGB48_SE, true}, {&adobe, vxcmsCMYK, false},
      {&adobe, vxcmsGray8, false},  {&adobe, 99, false},         {&srgb, vxcmsCMYK, true},
      {&srgb, vxcmsYCBCR, true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.profile->CheckTransform(c.format), c.expected) << c.format;
}

TEST(ExtrasICC, TransformIsCachedByItsKey) {
  TVXICC srgb, cmyk, adobe;
  srgb.Assign_sRGBProfile();
  cmyk.Assign_CMYKProfile();
  adobe.Assign_AdobeRGB1998();
  uint8_t in[6] = {10, 20, 30, 200, 150, 100};
  uint8_t out[8];
  uint32_t before = MscmsTransformsCreated();
  ASSERT_TRUE(srgb.Transform(&cmyk, vxcmsBGR, vxcmsCMYK, 0, 0, in, out, 2));
  ASSERT_TRUE(srgb.Transform(&cmyk, vxcmsBGR, vxcmsCMYK, 0, 0, in, out, 2));
  EXPECT_EQ(MscmsTransformsCreated(), before + 1);
  EXPECT_FALSE(srgb.IsApplied());
  struct Change {
    TVXICC* dest;
    int32_t in, out, intent, flags;
  };
  const Change changes[] = {
      {&cmyk, vxcmsBGR, vxcmsCMYK, 1, 0},
      {&cmyk, vxcmsBGR, vxcmsCMYK, 1, 2},
      {&cmyk, vxcmsRGB, vxcmsCMYK, 1, 2},
      {&adobe, vxcmsRGB, vxcmsBGR, 1, 2},
  };
  for (const Change& c : changes) {
    uint32_t n = MscmsTransformsCreated();
    EXPECT_TRUE(srgb.InitTransform(c.dest, c.in, c.out, c.intent, c.flags));
    EXPECT_EQ(MscmsTransformsCreated(), n + 1);
  }
  EXPECT_TRUE(srgb.IsApplied());  // released transforms mark the profile
  EXPECT_TRUE(srgb.IsTransforming());
  srgb.Clear();
  EXPECT_FALSE(srgb.IsTransforming());
  EXPECT_FALSE(srgb.IsApplied());
}

TEST(ExtrasICC, TranslateColorsThroughTheTransformHandle) {
  TVXICC cmyk, srgb;
  cmyk.Assign_CMYKProfile();
  srgb.Assign_sRGBProfile();
  ASSERT_TRUE(cmyk.InitTransform(&srgb, vxcmsCMYK, vxcmsBGR, 0, 0));
  // 20 colours (more than fit the small buffer) and a single one.
  std::vector<uint8_t> row;
  std::vector<uint16_t> inks;
  for (int i = 0; i < 20; ++i)
    for (int c = 0; c < 4; ++c) {
      uint8_t stored = uint8_t(13 * i + 50 * c);
      row.push_back(stored);
      inks.push_back(uint16_t((255 - stored) * 257));
    }
  std::vector<uint8_t> bgr(20 * 3);
  ASSERT_TRUE(cmyk.Transform(&srgb, vxcmsCMYK, vxcmsBGR, 0, 0, row.data(), bgr.data(), 20));
  std::vector<uint16_t> rgb(20 * 4, 0);
  ASSERT_TRUE(VXICCTranslateColors(cmyk.MSTransform(), inks.data(), 20, COLOR_CMYK, rgb.data(), COLOR_RGB));
  uint16_t one[4] = {0, 0, 0, 0};
  ASSERT_TRUE(VXICCTranslateColors(cmyk.MSTransform(), &inks[4 * 7], 1, COLOR_CMYK, one, COLOR_RGB));
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(rgb[size_t(i) * 4] >> 8, bgr[size_t(i) * 3 + 2]) << i;
    EXPECT_EQ(rgb[size_t(i) * 4 + 1] >> 8, bgr[size_t(i) * 3 + 1]) << i;
    EXPECT_EQ(rgb[size_t(i) * 4 + 2] >> 8, bgr[size_t(i) * 3]) << i;
  }
  EXPECT_EQ(one[0], rgb[7 * 4]);
  // Colour types that do not fit the profiles are refused.
  EXPECT_FALSE(VXICCTranslateColors(cmyk.MSTransform(), inks.data(), 1, COLOR_RGB, one, COLOR_RGB));
  EXPECT_FALSE(VXICCTranslateColors(0, inks.data(), 1, COLOR_CMYK, one, COLOR_RGB));
}

TEST(ExtrasICC, RowsOutsideTheWritableFormsAreRefused) {
  TVXICC cmyk, srgb;
  cmyk.Assign_CMYKProfile();
  srgb.Assign_sRGBProfile();
  uint8_t in[4] = {0, 0, 0, 0};
  uint8_t out[6] = {1, 2, 3, 4, 5, 6};
  for (int32_t format : {vxcmsRGB, vxcmsGray8, vxcmsRGB48, vxcmsCIELab, vxcmsYCBCR, vxcmsCMYK6}) {
    EXPECT_FALSE(cmyk.Transform(&srgb, vxcmsCMYK, format, 0, 0, in, out, 1)) << format;
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[5], 6);
  }
  // Without a destination profile handle nothing is made.
  TVXICC none;
  EXPECT_FALSE(cmyk.Transform(&none, vxcmsCMYK, vxcmsBGR, 0, 0, in, out, 1));
  EXPECT_FALSE(cmyk.Transform(nullptr, vxcmsCMYK, vxcmsBGR, 0, 0, in, out, 1));
  EXPECT_EQ(out[0], 1);
}

TEST(ExtrasICC, WithoutTheColorLibrary) {
  for (const char* missing : {static_cast<const char*>(nullptr), "TranslateColors"}) {
    LibraryOff off(missing != nullptr, missing);
    EXPECT_FALSE(VXICCLibraryAvailable());
    TVXICC cmyk, srgb;
    cmyk.Assign_CMYKProfile();
    srgb.Assign_sRGBProfile();
    EXPECT_FALSE(cmyk.IsValid());
    EXPECT_FALSE(srgb.IsValid());
    EXPECT_GT(cmyk.RawLength(), 100000);
    EXPECT_EQ(cmyk.InputColorSpace(), "CMYK");
    EXPECT_EQ(cmyk.Description(), "Coated FOGRA39 offset press");
    uint8_t in[4] = {0, 0, 0, 0};
    uint8_t out[3] = {7, 8, 9};
    EXPECT_FALSE(cmyk.Transform(&srgb, vxcmsCMYK, vxcmsBGR, 0, 0, in, out, 1));
    EXPECT_EQ(out[0], 7);
    EXPECT_FALSE(cmyk.IsTransforming());

    TVXBitmap bmp(2, 2, vxCMYK);
    std::memset(bmp.GetScanLine(0), 0x40, 8);
    EXPECT_FALSE(cmyk.ConvertBitmap(&bmp, vx24RGB, &srgb));
    EXPECT_EQ(bmp.PixelFormat(), vxCMYK);
    EXPECT_EQ(static_cast<uint8_t*>(bmp.GetScanLine(0))[0], 0x40);
  }
  EXPECT_TRUE(VXICCLibraryAvailable());
  TVXICC again;
  again.Assign_CMYKProfile();
  EXPECT_TRUE(again.IsValid());
}

TEST(ExtrasICC, LabToRgbAgreesWithTransicc) {
  const std::string labProfile = std::string(kColorDir) + "LCMSLABI.ICM";
  const std::string rgbProfile = std::string(kColorDir) + "sRGB.icc";
  if (!HaveTransicc()) GTEST_SKIP() << "transicc (liblcms2-utils) is not installed";
  if (!FileReadable(labProfile) || !FileReadable(rgbProfile))
    GTEST_SKIP() << "icc-profiles-free is not installed (" << labProfile << ")";
  TVXICC lab, rgb;
  lab.LoadFromFile(labProfile);
  rgb.LoadFromFile(rgbProfile);
  ASSERT_TRUE(lab.IsValid());
  ASSERT_TRUE(rgb.IsValid());
  EXPECT_TRUE(lab.CheckTransform(vxcmsCIELab));

  // L as a byte for 0..100, a and b as signed bytes.
  const int8_t samples[][3] = {{0, 0, 0},     {127, 0, 0},    {-1, 0, 0},    {-56, 20, -30},
                               {100, -40, 30}, {-26, 5, 60},  {60, 30, -50}, {-128, -10, 10},
                               {90, 70, 40},  {-70, -60, 50}, {40, -5, -45}, {-128, 127, -128}};
  const int n = int(sizeof samples / sizeof samples[0]);
  std::vector<uint8_t> in, out(size_t(n) * 3, 0);
  std::vector<std::string> lines;
  for (const auto& s : samples) {
    uint8_t L = uint8_t(s[0]);
    int a = s[1], b = s[2];
    in.push_back(L);
    in.push_back(uint8_t(s[1]));
    in.push_back(uint8_t(s[2]));
    // Lab values below -127 clamp to -127.
    char line[128];
    std::snprintf(line, sizeof line, "%.6f %d %d", L * 100.0 / 255.0, a < -127 ? -127 : a, b < -127 ? -127 : b);
    lines.push_back(line);
  }
  ASSERT_TRUE(lab.Transform(&rgb, vxcmsCIELab, vxcmsBGR, 0, 0, in.data(), out.data(), n));
  auto ref = Transicc("-t0 -i" + labProfile + " -o" + rgbProfile, lines);
  ASSERT_EQ(int(ref.size()), n) << "transicc gave no answer";
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(ref[size_t(i)].size(), 3u);
    // Our rows are blue, green, red.
    for (int c = 0; c < 3; ++c) {
      double expected = std::nearbyint(std::min(255.0, std::max(0.0, ref[size_t(i)][size_t(c)])));
      EXPECT_NEAR(out[size_t(i) * 3 + size_t(2 - c)], expected, 1.0) << "sample " << i << " channel " << c;
    }
  }
}

TEST(ExtrasICC, CmykAndRgbAgreeWithTransicc) {
  if (!HaveTransicc()) GTEST_SKIP() << "transicc (liblcms2-utils) is not installed";
  TVXICC cmyk, srgb;
  cmyk.Assign_CMYKProfile();
  srgb.Assign_sRGBProfile();
  ASSERT_TRUE(cmyk.IsValid());
  ASSERT_TRUE(srgb.IsValid());
  const std::string file = WriteTempProfile(cmyk);

  // Ink amounts in percent; the bitmap keeps 255 minus the ink byte.
  const uint8_t inks[][4] = {{0, 0, 0, 0},     {255, 0, 0, 0},   {0, 255, 0, 0},  {0, 0, 255, 0},
                             {0, 0, 0, 255},   {51, 102, 153, 25}, {200, 10, 90, 0}, {128, 128, 128, 128},
                             {10, 220, 180, 60}, {255, 255, 255, 255}};
  const int n = int(sizeof inks / sizeof inks[0]);
  std::vector<uint8_t> in, out(size_t(n) * 3, 0);
  std::vector<std::string> lines;
  for (const auto& k : inks) {
    char line[128];
    std::snprintf(line, sizeof line, "%.6f %.6f %.6f %.6f", k[0] * 100.0 / 255.0, k[1] * 100.0 / 255.0,
                  k[2] * 100.0 / 255.0, k[3] * 100.0 / 255.0);
    lines.push_back(line);
    for (int c = 0; c < 4; ++c) in.push_back(uint8_t(255 - k[c]));
  }
  ASSERT_TRUE(cmyk.Transform(&srgb, vxcmsCMYK, vxcmsBGR, 0, 0, in.data(), out.data(), n));
  auto ref = Transicc("-t0 -i" + file + " -o*sRGB", lines);
  ASSERT_EQ(int(ref.size()), n) << "transicc gave no answer";
  for (int i = 0; i < n; ++i)
    for (int c = 0; c < 3; ++c) {
      double expected = std::nearbyint(std::min(255.0, std::max(0.0, ref[size_t(i)][size_t(c)])));
      EXPECT_NEAR(out[size_t(i) * 3 + size_t(2 - c)], expected, 1.0) << "CMYK sample " << i << " channel " << c;
    }

  // The way back: sRGB rows (blue, green, red) into inverted CMYK.
  const uint8_t rgbs[][3] = {{255, 255, 255}, {0, 0, 0}, {200, 30, 40}, {20, 140, 210}, {128, 128, 128}, {250, 220, 90}};
  const int m = int(sizeof rgbs / sizeof rgbs[0]);
  std::vector<uint8_t> rin, rout(size_t(m) * 4, 0);
  lines.clear();
  for (const auto& c : rgbs) {
    char line[64];
    std::snprintf(line, sizeof line, "%d %d %d", c[0], c[1], c[2]);
    lines.push_back(line);
    rin.push_back(c[2]);
    rin.push_back(c[1]);
    rin.push_back(c[0]);
  }
  ASSERT_TRUE(srgb.Transform(&cmyk, vxcmsBGR, vxcmsCMYK, 0, 0, rin.data(), rout.data(), m));
  auto back = Transicc("-t0 -i*sRGB -o" + file, lines);
  ASSERT_EQ(int(back.size()), m);
  for (int i = 0; i < m; ++i)
    for (int c = 0; c < 4; ++c) {
      double ink = std::nearbyint(std::min(255.0, std::max(0.0, back[size_t(i)][size_t(c)] * 255.0 / 100.0)));
      EXPECT_NEAR(255 - rout[size_t(i) * 4 + size_t(c)], ink, 1.0) << "RGB sample " << i << " ink " << c;
    }
  std::remove(file.c_str());
}

// Every transform mode keeps CMYK inputs within two levels of transicc over
// a grid of ink amounts, dark colours included.
TEST(ExtrasICC, CmykGridInEveryModeAgreesWithTransicc) {
  if (!HaveTransicc()) GTEST_SKIP() << "transicc (liblcms2-utils) is not installed";
  const char* srgbPath = "/usr/share/color/icc/sRGB.icc";
  const std::vector<std::string> cmykPaths = {"/usr/share/color/icc/ghostscript/default_cmyk.icc",
                                              "/usr/share/color/icc/ghostscript/ps_cmyk.icc"};
  for (const std::string& path : cmykPaths)
    if (access(path.c_str(), R_OK) != 0 || access(srgbPath, R_OK) != 0)
      GTEST_SKIP() << "needs the profiles of libgs-common and icc-profiles-free";
  HMSCMSMODULE lib = MscmsLoadLibrary("mscms.dll");
  ASSERT_NE(lib, nullptr);
  auto open = reinterpret_cast<TOpenColorProfileA>(MscmsGetProcAddress(lib, "OpenColorProfileA"));
  auto close = reinterpret_cast<TCloseColorProfile>(MscmsGetProcAddress(lib, "CloseColorProfile"));
  auto create = reinterpret_cast<TCreateMultiProfileTransform>(MscmsGetProcAddress(lib, "CreateMultiProfileTransform"));
  auto destroy = reinterpret_cast<TDeleteColorTransform>(MscmsGetProcAddress(lib, "DeleteColorTransform"));
  auto translate = reinterpret_cast<TTranslateColors>(MscmsGetProcAddress(lib, "TranslateColors"));
  std::vector<COLOR> in;
  std::vector<std::string> lines;
  for (int c = 0; c <= 255; c += 51)
    for (int m = 0; m <= 255; m += 51)
      for (int y = 0; y <= 255; y += 51)
        for (int k = 0; k <= 255; k += 51) {
          in.push_back(COLOR{{uint16_t(c * 257), uint16_t(m * 257), uint16_t(y * 257), uint16_t(k * 257)}});
          char line[128];
          std::snprintf(line, sizeof line, "%.6f %.6f %.6f %.6f", c * 100.0 / 255, m * 100.0 / 255, y * 100.0 / 255,
                        k * 100.0 / 255);
          lines.push_back(line);
        }
  for (const std::string& path : cmykPaths) {
    const auto ref = Transicc("-t0 -i" + path + " -o" + srgbPath, lines);
    ASSERT_EQ(ref.size(), in.size()) << "transicc gave no answer";
    for (uint32_t mode : {PROOF_MODE, NORMAL_MODE, BEST_MODE}) {
      std::string p1 = path, p2 = srgbPath;
      PROFILE a{PROFILE_FILENAME, p1.data(), uint32_t(p1.size() + 1)}, b{PROFILE_FILENAME, p2.data(), uint32_t(p2.size() + 1)};
      HPROFILE h[2] = {open(&a, PROFILE_READ, 0, 0), open(&b, PROFILE_READ, 0, 0)};
      ASSERT_NE(h[0], nullptr);
      ASSERT_NE(h[1], nullptr);
      uint32_t intents[2] = {0, 0};
      HTRANSFORM t = create(h, 2, intents, 2, mode, 0);
      ASSERT_NE(t, nullptr);
      std::vector<COLOR> out(in.size());
      ASSERT_TRUE(translate(t, in.data(), uint32_t(in.size()), COLOR_CMYK, out.data(), COLOR_RGB));
      double worst = 0;
      for (size_t i = 0; i < in.size(); ++i)
        for (int c = 0; c < 3; ++c) {
          const double want = std::min(255.0, std::max(0.0, ref[i][size_t(c)]));
          worst = std::max(worst, std::fabs(double(out[i].channel[c] >> 8) - want));
        }
      EXPECT_LE(worst, 2.0) << path << " mode " << mode;
      destroy(t);
      close(h[0]);
      close(h[1]);
    }
  }
  MscmsFreeLibrary(lib);
}

TEST(ExtrasICC, ConvertBitmapAndApply) {
  TVXICC cmyk, srgb;
  cmyk.Assign_CMYKProfile();
  srgb.Assign_sRGBProfile();
  const int32_t w = 5, h = 3;
  TVXBitmap bmp(w, h, vxCMYK);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(bmp.GetScanLine(y));
    for (int32_t i = 0; i < w * 4; ++i) row[i] = uint8_t(37 * (y + 1) + 11 * i);
  }
  // Expected rows, converted one by one.
  std::vector<std::vector<uint8_t>> expected;
  TVXICC probe;
  probe.Assign_CMYKProfile();
  for (int32_t y = 0; y < h; ++y) {
    std::vector<uint8_t> r(size_t(w) * 3);
    ASSERT_TRUE(probe.Transform(&srgb, vxcmsCMYK, vxcmsBGR, 0, 0, bmp.GetScanLine(y), r.data(), w));
    expected.push_back(r);
  }

  // Formats the profile cannot write leave the bitmap as it was.
  for (TVXPixelFormat f : {vx8g, vx48RGB, vxCIELab, vx32RGB, vx1g}) {
    EXPECT_FALSE(cmyk.ConvertBitmap(&bmp, f, &srgb)) << int(f);
    EXPECT_EQ(bmp.PixelFormat(), vxCMYK);
    EXPECT_EQ(static_cast<uint8_t*>(bmp.GetScanLine(1))[0], uint8_t(74));
  }
  EXPECT_FALSE(cmyk.IsApplied());

  ASSERT_TRUE(cmyk.ConvertBitmap(&bmp, vx24RGB, &srgb));
  EXPECT_EQ(bmp.PixelFormat(), vx24RGB);
  EXPECT_EQ(bmp.GetWidth(), w);
  EXPECT_EQ(bmp.GetHeight(), h);
  for (int32_t y = 0; y < h; ++y)
    EXPECT_EQ(std::memcmp(bmp.GetScanLine(y), expected[size_t(y)].data(), size_t(w) * 3), 0) << "row " << y;
  EXPECT_TRUE(cmyk.IsApplied());
  EXPECT_FALSE(cmyk.IsTransforming());

  // The same through a bitmap whose rows live in a temporary file.
  TVXBitmap onFile;
  onFile.SetMinFileSize(1);
  ASSERT_TRUE(onFile.Allocate(w, h, vxCMYK));
  EXPECT_EQ(onFile.Memory(), nullptr);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(onFile.GetScanLine(y));
    for (int32_t i = 0; i < w * 4; ++i) row[i] = uint8_t(37 * (y + 1) + 11 * i);
  }
  TVXICC c1;
  c1.Assign_CMYKProfile();
  ASSERT_TRUE(c1.ConvertBitmap(&onFile, vx24RGB, &srgb));
  for (int32_t y = 0; y < h; ++y)
    EXPECT_EQ(std::memcmp(onFile.GetScanLine(y), expected[size_t(y)].data(), size_t(w) * 3), 0) << "row " << y;

  // Source formats without a colour space are refused.
  TVXBitmap pal(2, 2, vx8p);
  EXPECT_FALSE(srgb.ConvertBitmap(&pal, vxCMYK, &cmyk));
  EXPECT_EQ(pal.PixelFormat(), vx8p);

  // Apply into another bitmap, Apply2 in place: both match row conversion.
  TVXBitmap src(w, h, vxCMYK), dst(1, 1, vx24RGB);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(src.GetScanLine(y));
    for (int32_t i = 0; i < w * 4; ++i) row[i] = uint8_t(37 * (y + 1) + 11 * i);
  }
  TVXICC c2;
  c2.Assign_CMYKProfile();
  ASSERT_TRUE(c2.Apply(&src, vxcmsCMYK, &dst, vxcmsBGR, &srgb, 0, 0));
  ASSERT_EQ(dst.GetWidth(), w);
  ASSERT_EQ(dst.GetHeight(), h);
  for (int32_t y = 0; y < h; ++y)
    EXPECT_EQ(std::memcmp(dst.GetScanLine(y), expected[size_t(y)].data(), size_t(w) * 3), 0) << "row " << y;
  ASSERT_TRUE(c2.Apply2(&src, vxcmsCMYK, vxcmsBGR, &srgb, 0, 0));
  for (int32_t y = 0; y < h; ++y)
    EXPECT_EQ(std::memcmp(src.GetScanLine(y), expected[size_t(y)].data(), size_t(w) * 3), 0) << "row " << y;
  // Rows too short for the pixels asked for are refused.
  TVXBitmap narrow(w, h, vx8g);
  EXPECT_FALSE(c2.Apply2(&narrow, vxcmsCMYK, vxcmsBGR, &srgb, 0, 0));
  TVXBitmap empty;
  EXPECT_FALSE(c2.Apply2(&empty, vxcmsCMYK, vxcmsBGR, &srgb, 0, 0));
}
