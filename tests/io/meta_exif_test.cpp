// EXIF and GPS values: tag tracking, reset, date-time and GPS views.
#include <gtest/gtest.h>

#include <cmath>

#include "core/bitmap.h"
#include "io/exif.h"
#include "io/markers.h"
#include "io/params.h"

namespace {

bool HasTag(const TIOParamsVals& p, int32_t tag) {
  for (int32_t t : p.EXIF_Tags())
    if (t == tag) return true;
  return false;
}

}  // namespace

TEST(MetaEXIF, TrackedSettersEnterAndRemoveTags) {
  struct Case {
    void (TIOParamsVals::*set)(double);
    double unset, value;
    int32_t tag;
  };
  const Case real[] = {
      {&TIOParamsVals::SetEXIF_ExposureTime, -1, 0.01, 0x829A},
      {&TIOParamsVals::SetEXIF_FNumber, -1, 2.8, 0x829D},
      {&TIOParamsVals::SetEXIF_CompressedBitsPerPixel, 0, 2, 0x9102},
      {&TIOParamsVals::SetEXIF_ShutterSpeedValue, -1, 5, 0x9201},
      {&TIOParamsVals::SetEXIF_ApertureValue, -1, 3, 0x9202},
      {&TIOParamsVals::SetEXIF_BrightnessValue, -1000, -1, 0x9203},
      {&TIOParamsVals::SetEXIF_ExposureBiasValue, -1000, 0, 0x9204},
      {&TIOParamsVals::SetEXIF_MaxApertureValue, -1000, 1, 0x9205},
      {&TIOParamsVals::SetEXIF_SubjectDistance, -1, 3, 0x9206},
      {&TIOParamsVals::SetEXIF_FocalLength, -1, 35, 0x920A},
      {&TIOParamsVals::SetEXIF_FocalPlaneXResolution, -1, 1, 0xA20E},
      {&TIOParamsVals::SetEXIF_FocalPlaneYResolution, -1, 1, 0xA20F},
      {&TIOParamsVals::SetEXIF_ExposureIndex, -1, 1, 0xA215},
  };
  for (const Case& c : real) {
    TIOParamsVals p;
    (p.*c.set)(c.value);
    (p.*c.set)(c.value);
    EXPECT_EQ(p.EXIF_Tags(), std::vector<int32_t>{c.tag}) << std::hex << c.tag;
    (p.*c.set)(c.unset);
    EXPECT_TRUE(p.EXIF_Tags().empty()) << std::hex << c.tag;
  }
  struct ICase {
    void (TIOParamsVals::*set)(int32_t);
    int32_t unset, value, tag;
  };
  const ICase integer[] = {
      {&TIOParamsVals::SetEXIF_ExposureProgram, -1, 2, 0x8822},
      {&TIOParamsVals::SetEXIF_MeteringMode, -1, 5, 0x9207},
      {&TIOParamsVals::SetEXIF_LightSource, -1, 0, 0x9208},
      {&TIOParamsVals::SetEXIF_Flash, -1, 16, 0x9209},
      {&TIOParamsVals::SetEXIF_ColorSpace, -1, 1, 0xA001},
      {&TIOParamsVals::SetEXIF_ExifImageWidth, 0, 640, 0xA002},
      {&TIOParamsVals::SetEXIF_ExifImageHeight, 0, -1, 0xA003},
      {&TIOParamsVals::SetEXIF_FocalPlaneResolutionUnit, -1, 2, 0xA210},
      {&TIOParamsVals::SetEXIF_SensingMethod, -1, 2, 0xA217},
      {&TIOParamsVals::SetEXIF_FileSource, -1, 3, 0xA300},
      {&TIOParamsVals::SetEXIF_SceneType, -1, 1, 0xA301},
  };
  for (const ICase& c : integer) {
    TIOParamsVals p;
    (p.*c.set)(c.value);
    EXPECT_TRUE(HasTag(p, c.tag)) << std::hex << c.tag;
    (p.*c.set)(c.unset);
    EXPECT_FALSE(HasTag(p, c.tag)) << std::hex << c.tag;
  }
}

TEST(MetaEXIF, ResetRestoresUnsetValuesAndDropsTheFirstExifMarker) {
  TIOParamsVals p;
  p.SetEXIF_Make("Make");
  p.SetEXIF_UserComment("hello");
  p.SetEXIF_WhitePoint(1, 0.3);
  p.SetEXIF_ISOSpeedRatings(0, 100);
  p.SetEXIF_GPSLatitude(10);
  p.SetEXIF_Flash(1);
  p.SetEXIF_XPRating(4);
  p.SetEXIF_HasEXIFData(true);
  p.SetEXIF_Bitmap(new TVXBitmap(2, 2, vx24RGB));
  p.SetDpiX(300);
  const uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0, 1};
  p.JPEG_MarkerList().AddMarker(0xE1, "Exi", 3);
  p.JPEG_MarkerList().AddMarker(0xE2, exif, sizeof exif);  // not APP1
  p.JPEG_MarkerList().AddMarker(0xE1, exif, sizeof exif);
  p.JPEG_MarkerList().AddMarker(0xE1, "Exif", 4);
  p.ResetEXIF();
  EXPECT_EQ(p.EXIF_Make(), "");
  EXPECT_EQ(p.EXIF_UserComment(), "");
  EXPECT_DOUBLE_EQ(p.EXIF_WhitePoint(1), -1);
  EXPECT_EQ(p.EXIF_ISOSpeedRatings(0), 0);
  EXPECT_EQ(p.EXIF_GPSLatitudeRef(), "");
  EXPECT_DOUBLE_EQ(p.EXIF_GPSLatitudeDegrees(), 0);
  EXPECT_EQ(p.EXIF_Flash(), -1);
  EXPECT_EQ(p.EXIF_XPRating(), -1);
  EXPECT_DOUBLE_EQ(p.EXIF_BrightnessValue(), -1000);
  EXPECT_DOUBLE_EQ(p.EXIF_XResolution(), 0);
  EXPECT_EQ(p.DpiX(), 300);
  EXPECT_FALSE(p.EXIF_HasEXIFData());
  EXPECT_EQ(p.EXIF_Bitmap(), nullptr);
  EXPECT_TRUE(p.EXIF_Tags().empty());
  ASSERT_EQ(p.JPEG_MarkerList().Count(), 3);
  EXPECT_EQ(p.JPEG_MarkerList().MarkerSize(0), 3);
  EXPECT_EQ(p.JPEG_MarkerList().GetMarkerType(1), 0xE2);
  EXPECT_EQ(p.JPEG_MarkerList().MarkerSize(2), 4);  // only the first EXIF APP1 goes
}

TEST(MetaEXIF, DateTimeTexts) {
  TIOParamsVals p;
  p.SetEXIF_DateTime("2015:06:15 10:20:30");
  double dt = p.EXIF_DateTime2();
  // 15 June 2015 is day 42170 after 30 December 1899.
  EXPECT_DOUBLE_EQ(std::trunc(dt), 42170);
  EXPECT_NEAR(dt - 42170, (10 * 3600 + 20 * 60 + 30) / 86400.0, 1e-9);
  p.SetEXIF_DateTimeOriginal2(dt);
  EXPECT_EQ(p.EXIF_DateTimeOriginal(), "2015:06:15 10:20:30");
  p.SetEXIF_DateTimeDigitized2(0);
  EXPECT_EQ(p.EXIF_DateTimeDigitized(), "");

  const char* zeroCases[] = {"", "   ", "0000:00:00 00:00:00", "2015:13:15 10:20:30", "2015:02:29 10:20:30",
                             "2015:06:15 24:00:00", "2015:06:15", "20x5:06:15 10:20:30", " 2015:06:15 10:20:30"};
  for (const char* text : zeroCases) EXPECT_EQ(VXEXIFStrToDateTime(text), 0) << text;
  EXPECT_NE(VXEXIFStrToDateTime("2016:02:29 00:00:00"), 0);
}

TEST(MetaEXIF, GPSCoordinates) {
  TIOParamsVals p;
  p.SetEXIF_GPSLatitude(-33.5);
  EXPECT_EQ(p.EXIF_GPSLatitudeRef(), "S");
  EXPECT_DOUBLE_EQ(p.EXIF_GPSLatitudeDegrees(), 33);
  EXPECT_DOUBLE_EQ(p.EXIF_GPSLatitudeMinutes(), 30);
  EXPECT_DOUBLE_EQ(p.EXIF_GPSLatitudeSeconds(), 0);
  EXPECT_DOUBLE_EQ(p.EXIF_GPSLatitude(), -33.5);
  EXPECT_EQ(p.EXIF_GPSLatitude_Str(), "33\xC2\xB0 30' 0\" S");

  p.SetEXIF_GPSLongitude(12.5125);
  EXPECT_EQ(p.EXIF_GPSLongitudeRef(), "E");
  EXPECT_DOUBLE_EQ(p.EXIF_GPSLongitudeMinutes(), 30);
  EXPECT_NEAR(p.EXIF_GPSLongitudeSeconds(), 45, 1e-6);
  EXPECT_EQ(p.EXIF_GPSLongitude_Str(), "12\xC2\xB0 30' 45\" E");

  // A lower-case reference is not south for the value, but is shown upper-cased.
  p.SetEXIF_GPSLatitudeRef("s");
  EXPECT_DOUBLE_EQ(p.EXIF_GPSLatitude(), 33.5);
  EXPECT_EQ(p.EXIF_GPSLatitude_Str(), "33\xC2\xB0 30' 0\" S");

  // Seconds 0: the fraction of the minutes is shown instead.
  p.SetEXIF_GPSLatitudeRef("N");
  p.SetEXIF_GPSLatitudeMinutes(10.25);
  p.SetEXIF_GPSLatitudeSeconds(0);
  EXPECT_EQ(p.EXIF_GPSLatitude_Str(), "33\xC2\xB0 10' 15\" N");

  TIOParamsVals empty;
  EXPECT_EQ(empty.EXIF_GPSLatitude_Str(), "");
  empty.SetEXIF_GPSLatitudeRef(std::string(" \0", 2));
  EXPECT_EQ(empty.EXIF_GPSLatitude_Str(), "");

  // Adjusting normalises every coordinate group.
  TIOParamsVals a;
  a.SetEXIF_GPSLatitudeRef("N");
  a.SetEXIF_GPSLatitudeDegrees(10);
  a.SetEXIF_GPSLatitudeMinutes(90.5);
  a.SetEXIF_GPSDestLongitudeRef("W");
  a.SetEXIF_GPSDestLongitudeDegrees(1.5);
  a.AdjustGPSCoordinates();
  EXPECT_DOUBLE_EQ(a.EXIF_GPSLatitudeDegrees(), 11);
  EXPECT_DOUBLE_EQ(a.EXIF_GPSLatitudeMinutes(), 30);
  EXPECT_NEAR(a.EXIF_GPSLatitudeSeconds(), 30, 1e-6);
  EXPECT_EQ(a.EXIF_GPSDestLongitudeRef(), "W");
  EXPECT_DOUBLE_EQ(a.EXIF_GPSDestLongitudeDegrees(), 1);
  EXPECT_DOUBLE_EQ(a.EXIF_GPSDestLongitudeMinutes(), 30);
  EXPECT_EQ(a.EXIF_GPSLongitudeRef(), "E");
}
