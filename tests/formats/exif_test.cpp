// EXIF, GPS and interoperability data: JPEG and TIFF files tagged by exiftool
// load with the values exiftool prints, saves write them back, orientation
// turns images upright as ImageMagick does, and the block builder's own cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/icc.h"
#include "core/streams.h"
#include "formats/exif.h"
#include "formats/tiff.h"
#include "formats/tiff_write.h"
#include "io/exif.h"
#include "io/markers.h"
#include "io/params.h"
#include "io/tagshandler.h"
#include "io/vexlaneio.h"
#include "tests/codecs/jpeg_test_util.h"
#include "tests/core/runtime_test_util.h"
#include "tests/formats/makernote_util.h"

using namespace jpegtest;

namespace {

#define REQUIRE(tool) \
  if (!HaveTool(tool)) GTEST_SKIP() << tool << " is missing (bash scripts/setup --tests)"

const char* kExifTool = "/usr/bin/exiftool";

std::string Quote(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

bool Shell0(const std::string& Command) {
  return std::system(("{ " + Command + "; } >/dev/null 2>&1").c_str()) == 0;
}

// "Group:Tag" -> value of exiftool's numeric listing (thumbnail excluded).
std::map<std::string, std::string> ExifToolValues(const std::string& File) {
  const std::string out = RuntimeShell(std::string(kExifTool) + " -s -s -n -G1 -a -EXIF:all -Composite:GPSLatitude " +
                                       "-Composite:GPSLongitude " + Quote(File) + " 2>/dev/null");
  std::map<std::string, std::string> m;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 3 || line[0] != '[') continue;
    const size_t close = line.find(']'), colon = line.find(": ", close);
    if (close == std::string::npos || colon == std::string::npos) continue;
    m[line.substr(1, close - 1) + ":" + line.substr(close + 2, colon - close - 2)] = line.substr(colon + 2);
  }
  return m;
}

// A 64 x 48 picture as PPM and a JPEG from cjpeg (JFIF 1 x 1, no unit).
std::string MakeJpeg(const ScratchDir& D, const std::string& Name, int W = 64, int H = 48) {
  std::string ppm = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      ppm += char((x * 255) / std::max(W - 1, 1));
      ppm += char((y * 255) / std::max(H - 1, 1));
      ppm += char(((x / 8 + y / 8) % 2) * 200 + 20);
    }
  RuntimeWriteFile(D / (Name + ".ppm"), ppm);
  const std::string jpg = D / (Name + ".jpg");
  Shell0("/usr/bin/cjpeg -quality 95 " + Quote(D / (Name + ".ppm")) + " > " + Quote(jpg));
  return jpg;
}

// The camera fields: every rational and integer field of the EXIF tables,
// XP texts, GPS with references and time stamp, interoperability "R03".
const char* kCameraArgs =
    "-IFD0:Make=Vexcam -IFD0:Model='VX 1' -IFD0:Software=Tests -IFD0:Artist=Ann -IFD0:Copyright=Me "
    "-IFD0:ImageDescription=Desc -IFD0:ModifyDate='2014:05:17 13:45:02' -IFD0:Rating=3 "
    "-IFD0:WhitePoint='0.3127 0.329' -IFD0:PrimaryChromaticities='0.64 0.33 0.3 0.6 0.15 0.06' "
    "-IFD0:YCbCrCoefficients='0.299 0.587 0.114' -IFD0:YCbCrPositioning#=2 "
    "-IFD0:ReferenceBlackWhite='0 255 128 255 128 255' "
    "-XPTitle=Titel -XPComment=Kommentar -XPAuthor=Autor -XPKeywords='a;b' -XPSubject=Thema "
    "-ExposureTime=0.004 -FNumber=2.8 -ExposureProgram#=2 -ISO=200 -DateTimeOriginal='2014:05:17 13:45:03' "
    "-CreateDate='2014:05:17 13:45:04' -CompressedBitsPerPixel=4 -ShutterSpeedValue=0.004 -ApertureValue=2.8 "
    "-BrightnessValue=-1.5 -ExposureCompensation=-0.7 -MaxApertureValue=2 -SubjectDistance=3.5 "
    "-MeteringMode#=5 -LightSource#=1 -EXIF:Flash#=16 -FocalLength=35 -SubSecTime=12 -SubSecTimeOriginal=34 "
    "-SubSecTimeDigitized=56 -FlashpixVersion=0100 -ColorSpace#=1 -ExifImageWidth=64 -ExifImageHeight=48 "
    "-RelatedSoundFile=snd.wav -FocalPlaneXResolution=4000 -FocalPlaneYResolution=4100 "
    "-FocalPlaneResolutionUnit#=2 -ExposureIndex=100 -SensingMethod#=2 -FileSource#=3 -SceneType#=1 "
    "-ExposureMode#=1 -WhiteBalance#=1 -DigitalZoomRatio=1.5 -FocalLengthIn35mmFormat=52 "
    "-SceneCaptureType#=2 -GainControl#=1 -Contrast#=1 -Saturation#=2 -Sharpness#=1 "
    "-SubjectDistanceRange#=2 -ImageUniqueID=abc123 "
    "-GPSVersionID='2.2.0.0' -GPSLatitude=33.865 -GPSLatitudeRef=S -GPSLongitude=151.2093 "
    "-GPSLongitudeRef=E -GPSAltitudeRef#=0 -GPSAltitude=58.5 -GPSTimeStamp=13:45:02 -GPSSatellites=5 "
    "-GPSStatus#=A -GPSMeasureMode=3 -GPSDOP=1.5 -GPSSpeedRef#=K -GPSSpeed=10 -GPSTrackRef=T -GPSTrack=90 "
    "-GPSImgDirectionRef=M -GPSImgDirection=180 -GPSMapDatum=WGS-84 -GPSDestLatitude=12.5 "
    "-GPSDestLatitudeRef=N -GPSDestLongitude=3.25 -GPSDestLongitudeRef=W -GPSDestBearingRef=T "
    "-GPSDestBearing=45 -GPSDestDistanceRef=K -GPSDestDistance=2 -GPSDateStamp=2014:05:17 "
    "-InteropIndex=R03 -InteropVersion=0100";

bool Tag(const std::string& File, const std::string& Args) {
  return Shell0(std::string(kExifTool) + " -q -overwrite_original " + Args + " " + Quote(File));
}

std::string Num(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.10g", v);
  return b;
}

// One field of the parameters against exiftool's name for it, with the
// conversion exiftool applies to the raw value (APEX values as seconds and
// f-numbers).
struct TField {
  const char* Tag;
  std::function<std::string(const TIOParamsVals&)> Get;
};

std::string Join(std::initializer_list<double> v) {
  std::string s;
  for (double d : v) s += (s.empty() ? "" : " ") + Num(d);
  return s;
}

const std::vector<TField>& Fields() {
  using P = const TIOParamsVals&;
  static const std::vector<TField> f = {
      {"IFD0:Make", [](P p) { return p.EXIF_Make(); }},
      {"IFD0:Model", [](P p) { return p.EXIF_Model(); }},
      {"IFD0:Software", [](P p) { return p.EXIF_Software(); }},
      {"IFD0:Artist", [](P p) { return p.EXIF_Artist(); }},
      {"IFD0:Copyright", [](P p) { return p.EXIF_Copyright(); }},
      {"IFD0:ImageDescription", [](P p) { return p.EXIF_ImageDescription(); }},
      {"IFD0:ModifyDate", [](P p) { return p.EXIF_DateTime(); }},
      {"IFD0:Rating", [](P p) { return Num(p.EXIF_XPRating()); }},
      {"IFD0:WhitePoint", [](P p) { return Join({p.EXIF_WhitePoint(0), p.EXIF_WhitePoint(1)}); }},
      {"IFD0:PrimaryChromaticities",
       [](P p) {
         return Join({p.EXIF_PrimaryChromaticities(0), p.EXIF_PrimaryChromaticities(1),
                      p.EXIF_PrimaryChromaticities(2), p.EXIF_PrimaryChromaticities(3),
                      p.EXIF_PrimaryChromaticities(4), p.EXIF_PrimaryChromaticities(5)});
       }},
      {"IFD0:YCbCrCoefficients",
       [](P p) { return Join({p.EXIF_YCbCrCoefficients(0), p.EXIF_YCbCrCoefficients(1), p.EXIF_YCbCrCoefficients(2)}); }},
      {"IFD0:YCbCrPositioning", [](P p) { return Num(p.EXIF_YCbCrPositioning()); }},
      {"IFD0:ReferenceBlackWhite",
       [](P p) {
         return Join({p.EXIF_ReferenceBlackWhite(0), p.EXIF_ReferenceBlackWhite(1), p.EXIF_ReferenceBlackWhite(2),
                      p.EXIF_ReferenceBlackWhite(3), p.EXIF_ReferenceBlackWhite(4), p.EXIF_ReferenceBlackWhite(5)});
       }},
      {"IFD0:XPTitle", [](P p) { return p.EXIF_XPTitle(); }},
      {"IFD0:XPComment", [](P p) { return p.EXIF_XPComment(); }},
      {"IFD0:XPAuthor", [](P p) { return p.EXIF_XPAuthor(); }},
      {"IFD0:XPKeywords", [](P p) { return p.EXIF_XPKeywords(); }},
      {"IFD0:XPSubject", [](P p) { return p.EXIF_XPSubject(); }},
      {"ExifIFD:ExposureTime", [](P p) { return Num(p.EXIF_ExposureTime()); }},
      {"ExifIFD:FNumber", [](P p) { return Num(p.EXIF_FNumber()); }},
      {"ExifIFD:ExposureProgram", [](P p) { return Num(p.EXIF_ExposureProgram()); }},
      {"ExifIFD:ISO", [](P p) { return Num(p.EXIF_ISOSpeedRatings(0)); }},
      {"ExifIFD:ExifVersion", [](P p) { return p.EXIF_ExifVersion(); }},
      {"ExifIFD:DateTimeOriginal", [](P p) { return p.EXIF_DateTimeOriginal(); }},
      {"ExifIFD:CreateDate", [](P p) { return p.EXIF_DateTimeDigitized(); }},
      {"ExifIFD:CompressedBitsPerPixel", [](P p) { return Num(p.EXIF_CompressedBitsPerPixel()); }},
      {"ExifIFD:ShutterSpeedValue", [](P p) { return Num(std::pow(2.0, -p.EXIF_ShutterSpeedValue())); }},
      {"ExifIFD:ApertureValue", [](P p) { return Num(std::pow(2.0, p.EXIF_ApertureValue() / 2)); }},
      {"ExifIFD:BrightnessValue", [](P p) { return Num(p.EXIF_BrightnessValue()); }},
      {"ExifIFD:ExposureCompensation", [](P p) { return Num(p.EXIF_ExposureBiasValue()); }},
      {"ExifIFD:MaxApertureValue", [](P p) { return Num(std::pow(2.0, p.EXIF_MaxApertureValue() / 2)); }},
      {"ExifIFD:SubjectDistance", [](P p) { return Num(p.EXIF_SubjectDistance()); }},
      {"ExifIFD:MeteringMode", [](P p) { return Num(p.EXIF_MeteringMode()); }},
      {"ExifIFD:LightSource", [](P p) { return Num(p.EXIF_LightSource()); }},
      {"ExifIFD:Flash", [](P p) { return Num(p.EXIF_Flash()); }},
      {"ExifIFD:FocalLength", [](P p) { return Num(p.EXIF_FocalLength()); }},
      {"ExifIFD:SubSecTime", [](P p) { return p.EXIF_SubsecTime(); }},
      {"ExifIFD:SubSecTimeOriginal", [](P p) { return p.EXIF_SubsecTimeOriginal(); }},
      {"ExifIFD:SubSecTimeDigitized", [](P p) { return p.EXIF_SubsecTimeDigitized(); }},
      {"ExifIFD:FlashpixVersion", [](P p) { return p.EXIF_FlashPixVersion(); }},
      {"ExifIFD:ColorSpace", [](P p) { return Num(p.EXIF_ColorSpace()); }},
      {"ExifIFD:ExifImageWidth", [](P p) { return Num(p.EXIF_ExifImageWidth()); }},
      {"ExifIFD:ExifImageHeight", [](P p) { return Num(p.EXIF_ExifImageHeight()); }},
      {"ExifIFD:RelatedSoundFile", [](P p) { return p.EXIF_RelatedSoundFile(); }},
      {"ExifIFD:FocalPlaneXResolution", [](P p) { return Num(p.EXIF_FocalPlaneXResolution()); }},
      {"ExifIFD:FocalPlaneYResolution", [](P p) { return Num(p.EXIF_FocalPlaneYResolution()); }},
      {"ExifIFD:FocalPlaneResolutionUnit", [](P p) { return Num(p.EXIF_FocalPlaneResolutionUnit()); }},
      {"ExifIFD:ExposureIndex", [](P p) { return Num(p.EXIF_ExposureIndex()); }},
      {"ExifIFD:SensingMethod", [](P p) { return Num(p.EXIF_SensingMethod()); }},
      {"ExifIFD:FileSource", [](P p) { return Num(p.EXIF_FileSource()); }},
      {"ExifIFD:SceneType", [](P p) { return Num(p.EXIF_SceneType()); }},
      {"ExifIFD:ExposureMode", [](P p) { return Num(p.EXIF_ExposureMode()); }},
      {"ExifIFD:WhiteBalance", [](P p) { return Num(p.EXIF_WhiteBalance()); }},
      {"ExifIFD:DigitalZoomRatio", [](P p) { return Num(p.EXIF_DigitalZoomRatio()); }},
      {"ExifIFD:FocalLengthIn35mmFormat", [](P p) { return Num(p.EXIF_FocalLengthIn35mmFilm()); }},
      {"ExifIFD:SceneCaptureType", [](P p) { return Num(p.EXIF_SceneCaptureType()); }},
      {"ExifIFD:GainControl", [](P p) { return Num(p.EXIF_GainControl()); }},
      {"ExifIFD:Contrast", [](P p) { return Num(p.EXIF_Contrast()); }},
      {"ExifIFD:Saturation", [](P p) { return Num(p.EXIF_Saturation()); }},
      {"ExifIFD:Sharpness", [](P p) { return Num(p.EXIF_Sharpness()); }},
      {"ExifIFD:SubjectDistanceRange", [](P p) { return Num(p.EXIF_SubjectDistanceRange()); }},
      {"ExifIFD:ImageUniqueID", [](P p) { return p.EXIF_ImageUniqueID(); }},
      {"ExifIFD:UserComment", [](P p) { return p.EXIF_UserComment(); }},
      {"GPS:GPSLatitudeRef", [](P p) { return p.EXIF_GPSLatitudeRef(); }},
      {"GPS:GPSLongitudeRef", [](P p) { return p.EXIF_GPSLongitudeRef(); }},
      {"Composite:GPSLatitude", [](P p) { return Num(p.EXIF_GPSLatitude()); }},
      {"Composite:GPSLongitude", [](P p) { return Num(p.EXIF_GPSLongitude()); }},
      {"GPS:GPSAltitudeRef", [](P p) { return p.EXIF_GPSAltitudeRef(); }},
      {"GPS:GPSAltitude", [](P p) { return Num(p.EXIF_GPSAltitude()); }},
      {"GPS:GPSTimeStamp",
       [](P p) {
         char b[32];
         std::snprintf(b, sizeof b, "%02d:%02d:%02d", int(p.EXIF_GPSTimeStampHour()),
                       int(p.EXIF_GPSTimeStampMinute()), int(p.EXIF_GPSTimeStampSecond()));
         return std::string(b);
       }},
      {"GPS:GPSSatellites", [](P p) { return p.EXIF_GPSSatellites(); }},
      {"GPS:GPSStatus", [](P p) { return p.EXIF_GPSStatus(); }},
      {"GPS:GPSMeasureMode", [](P p) { return p.EXIF_GPSMeasureMode(); }},
      {"GPS:GPSDOP", [](P p) { return Num(p.EXIF_GPSDOP()); }},
      {"GPS:GPSSpeedRef", [](P p) { return p.EXIF_GPSSpeedRef(); }},
      {"GPS:GPSSpeed", [](P p) { return Num(p.EXIF_GPSSpeed()); }},
      {"GPS:GPSTrackRef", [](P p) { return p.EXIF_GPSTrackRef(); }},
      {"GPS:GPSTrack", [](P p) { return Num(p.EXIF_GPSTrack()); }},
      {"GPS:GPSImgDirectionRef", [](P p) { return p.EXIF_GPSImgDirectionRef(); }},
      {"GPS:GPSImgDirection", [](P p) { return Num(p.EXIF_GPSImgDirection()); }},
      {"GPS:GPSMapDatum", [](P p) { return p.EXIF_GPSMapDatum(); }},
      {"GPS:GPSDestLatitudeRef", [](P p) { return p.EXIF_GPSDestLatitudeRef(); }},
      {"GPS:GPSDestLatitude",
       [](P p) {
         return Num(p.EXIF_GPSDestLatitudeDegrees() + p.EXIF_GPSDestLatitudeMinutes() / 60 +
                    p.EXIF_GPSDestLatitudeSeconds() / 3600);
       }},
      {"GPS:GPSDestLongitudeRef", [](P p) { return p.EXIF_GPSDestLongitudeRef(); }},
      {"GPS:GPSDestLongitude",
       [](P p) {
         return Num(p.EXIF_GPSDestLongitudeDegrees() + p.EXIF_GPSDestLongitudeMinutes() / 60 +
                    p.EXIF_GPSDestLongitudeSeconds() / 3600);
       }},
      {"GPS:GPSDestBearingRef", [](P p) { return p.EXIF_GPSDestBearingRef(); }},
      {"GPS:GPSDestBearing", [](P p) { return Num(p.EXIF_GPSDestBearing()); }},
      {"GPS:GPSDestDistanceRef", [](P p) { return p.EXIF_GPSDestDistanceRef(); }},
      {"GPS:GPSDestDistance", [](P p) { return Num(p.EXIF_GPSDestDistance()); }},
      {"GPS:GPSDateStamp", [](P p) { return p.EXIF_GPSDateStamp(); }},
      {"InteropIFD:InteropIndex", [](P p) { return p.EXIF_InteropIndex(); }},
      {"InteropIFD:InteropVersion", [](P p) { return p.EXIF_InteropVersion(); }},
  };
  return f;
}

// Equal as texts, or as numbers (each of a list) to 6 significant digits.
bool SameValue(const std::string& A, const std::string& B) {
  if (A == B) return true;
  std::istringstream a(A), b(B);
  double x, y;
  bool any = false;
  while (a >> x) {
    if (!(b >> y)) return false;
    if (std::fabs(x - y) > 1e-6 * std::max(1.0, std::fabs(y))) return false;
    any = true;
  }
  std::string rest;
  return any && a.eof() && !(b >> rest);
}

// Every field of the table that exiftool lists for File agrees with Params;
// Expect lists the tags exiftool must list.
void ExpectAgreesWithExifTool(const TIOParamsVals& Params, const std::string& File) {
  const std::map<std::string, std::string> tool = ExifToolValues(File);
  for (const TField& f : Fields()) {
    auto it = tool.find(f.Tag);
    if (it == tool.end()) {
      ADD_FAILURE() << f.Tag << " missing in " << File;
      continue;
    }
    EXPECT_TRUE(SameValue(f.Get(Params), it->second))
        << f.Tag << ": ours " << f.Get(Params) << ", exiftool " << it->second;
  }
}

std::string MakeTaggedJpeg(const ScratchDir& D, const std::string& Name, const std::string& Extra = "") {
  const std::string jpg = MakeJpeg(D, Name);
  EXPECT_TRUE(Tag(jpg, std::string(kCameraArgs) + " -UserComment=Hello " + Extra));
  return jpg;
}

// The same picture as an uncompressed TIFF in the byte order tiffcp's Order
// option names (-L or -B), tagged with the camera fields.
std::string MakeTaggedTiff(const ScratchDir& D, const std::string& Name, const std::string& Order) {
  MakeJpeg(D, Name);
  const std::string tif = D / (Name + ".tif");
  EXPECT_TRUE(Shell0("/usr/bin/convert " + Quote(D / (Name + ".ppm")) + " -compress None " + Quote(D / "plain.tif") +
                     " && /usr/bin/tiffcp " + Order + " " + Quote(D / "plain.tif") + " " + Quote(tif)));
  EXPECT_TRUE(Tag(tif, std::string(kCameraArgs) + " -UserComment=Hello"));
  return tif;
}

// A bitmap and the I/O component that loads into it.
struct TLoaded {
  TVXBitmap Bitmap;
  TVexlaneIO IO;
  TLoaded() { IO.SetAttachedVXBitmap(&Bitmap); }
  bool Load(const std::string& File) { return IO.LoadFromFile(File, false); }
  // Loads a fresh 64 x 48 JPEG that exiftool tagged with Args.
  bool LoadTaggedJpeg(const ScratchDir& D, const std::string& Name, const std::string& Args) {
    const std::string jpg = MakeJpeg(D, Name);
    return Tag(jpg, Args) && Load(jpg);
  }
};

}  // namespace

TEST(ExifJpeg, LoadsEveryValueExifToolPrints) {
  REQUIRE(kExifTool);
  ScratchDir d;
  // exiftool writes big-endian EXIF into a JPEG, little-endian through its
  // byte-order option; TIFF files of either byte order are tagged the same
  // way.
  struct TCase {
    bool Tiff;
    const char* Order;
  } cases[] = {{false, ""}, {false, "-ExifByteOrder=II"}, {true, "-L"}, {true, "-B"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Order);
    const std::string file = c.Tiff ? MakeTaggedTiff(d, "camtif", c.Order) : MakeTaggedJpeg(d, "cam", c.Order);
    TLoaded l;
    ASSERT_TRUE(l.Load(file));
    const TIOParamsVals& p = l.IO.Params();
    EXPECT_TRUE(p.EXIF_HasEXIFData());
    ExpectAgreesWithExifTool(p, file);
    EXPECT_EQ(p.EXIF_GPSVersionID(), "2.2");
    EXPECT_EQ(p.EXIF_UserCommentCode(), std::string("ASCII\0\0\0", 8));
    EXPECT_EQ(p.EXIF_UserComment(), "Hello");
    EXPECT_NEAR(p.EXIF_GPSLatitude(), -33.865, 1e-9);
    EXPECT_EQ(l.Bitmap.Width(), 64);
  }
}

TEST(ExifJpeg, AbsentFieldsKeepTheirDefaults) {
  REQUIRE(kExifTool);
  ScratchDir d;
  TLoaded l;
  ASSERT_TRUE(l.LoadTaggedJpeg(d, "make", "-IFD0:Make=Vexcam"));
  const TIOParamsVals& p = l.IO.Params();
  EXPECT_EQ(p.EXIF_Make(), "Vexcam");
  EXPECT_EQ(p.EXIF_ExposureTime(), -1);
  EXPECT_EQ(p.EXIF_BrightnessValue(), -1000);
  EXPECT_EQ(p.EXIF_ExposureBiasValue(), -1000);
  EXPECT_EQ(p.EXIF_MaxApertureValue(), -1000);
  EXPECT_EQ(p.EXIF_CompressedBitsPerPixel(), 0);
  EXPECT_EQ(p.EXIF_ExifImageWidth(), 0);
  EXPECT_EQ(p.EXIF_ISOSpeedRatings(0), 0);
  EXPECT_EQ(p.EXIF_WhitePoint(0), -1);
  EXPECT_EQ(p.EXIF_XPRating(), -1);
  EXPECT_EQ(p.EXIF_GPSVersionID(), "");
  EXPECT_EQ(p.EXIF_InteropIndex(), "");
  EXPECT_TRUE(p.EXIF_UserComment().empty());
}

TEST(ExifJpeg, UnicodeUserCommentInEitherByteOrder) {
  REQUIRE(kExifTool);
  ScratchDir d;
  for (const char* order : {"", "-ExifByteOrder=II"}) {
    SCOPED_TRACE(order);
    TLoaded l;
    ASSERT_TRUE(l.LoadTaggedJpeg(d, "uc", std::string("-UserComment='Grüße' ") + order));
    EXPECT_EQ(l.IO.Params().EXIF_UserCommentCode(), std::string("UNICODE\0", 8));
    EXPECT_EQ(l.IO.Params().EXIF_UserComment(), "Grüße");
  }
}

TEST(ExifJpeg, ResolutionFromExifWhenJfifHasNone) {
  REQUIRE(kExifTool);
  ScratchDir d;
  // cjpeg's JFIF header has no unit, so the EXIF resolution counts; a JFIF
  // header with a real resolution keeps it.
  struct TCase {
    const char* Args;
    int Dpi;
  } cases[] = {
      {"-IFD0:XResolution=72 -IFD0:YResolution=72 -IFD0:ResolutionUnit=inches", 72},
      {"-IFD0:XResolution=118 -IFD0:YResolution=118 -IFD0:ResolutionUnit=cm", 299},
      {"-JFIF:XResolution=300 -JFIF:YResolution=300 -JFIF:ResolutionUnit=inches "
       "-IFD0:XResolution=72 -IFD0:YResolution=72 -IFD0:ResolutionUnit=inches",
       300},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args);
    TLoaded l;
    ASSERT_TRUE(l.LoadTaggedJpeg(d, "res", c.Args));
    EXPECT_EQ(l.IO.Params().DpiX(), c.Dpi);
    EXPECT_EQ(l.IO.Params().DpiY(), c.Dpi);
  }
}

TEST(ExifJpeg, R03GivesAdobeRGBInputProfile) {
  REQUIRE(kExifTool);
  ScratchDir d;
  TLoaded l;
  ASSERT_TRUE(l.LoadTaggedJpeg(d, "r03", "-InteropIndex=R03"));
  EXPECT_EQ(l.IO.Params().EXIF_InteropIndex(), "R03");
  ASSERT_TRUE(l.IO.Params().HasInputICCProfile());
  TVXICC adobe;
  adobe.Assign_AdobeRGB1998();
  EXPECT_EQ(l.IO.Params().InputICCProfile().RawLength(), adobe.RawLength());
}

// The block builder's own cases.
TEST(ExifBlock, BuilderCases) {
  {
    TIOParamsVals p;
    const std::vector<uint8_t> b = VXSaveEXIFToBuffer(p, true);
    ASSERT_GE(b.size(), 10u);
    const uint8_t head[10] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
    EXPECT_EQ(std::memcmp(b.data(), head, 10), 0);
    EXPECT_EQ(VXSaveEXIFToBuffer(p, false)[0], 'I');
  }
  // GPS version text and bytes.
  EXPECT_EQ(VXGPSVersionToStr(std::string("\x02\x02\x00\x00", 4)), "2.2.0.0");
  EXPECT_EQ(VXGPSVersionToStr(""), "2.2.0.0");
  EXPECT_EQ(VXStrToGPSVersion("2.2"), std::string("\x02\x02\x00\x00", 4));
  EXPECT_EQ(VXStrToGPSVersion("2.x.1.0.7"), std::string("\x02\x00\x01\x00", 4));

  // ExposureTime alone: the EXIF directory holds it and ExifVersion; 70,000
  // pixels wide is a LONG.
  TIOParamsVals p;
  p.SetEXIF_ExposureTime(0.01);
  p.SetEXIF_ExifVersion("0230");
  std::vector<uint8_t> b = VXSaveEXIFToBuffer(p, false);
  auto exifDir = [](const std::vector<uint8_t>& Block, TVXTIFFIFDReader& E, TMemoryStream& S) {
    S.WriteBuffer(Block.data(), int64_t(Block.size()));
    TVXTIFFIFDReader main;
    main.Stream = &S;
    int32_t n = 0;
    ASSERT_TRUE(main.ReadIFD(0, 8, n));
    const int64_t off = main.ReadInteger(34665, 0, 0);
    ASSERT_GT(off, 0);
    E.Stream = &S;
    ASSERT_TRUE(E.ReadIFD(0, off, n));
  };
  {
    TMemoryStream s;
    TVXTIFFIFDReader e;
    exifDir(b, e, s);
    ASSERT_EQ(e.NumTags(), 2);
    EXPECT_NEAR(e.ReadRational(33434, 0, 0), 0.01, 1e-12);
    EXPECT_EQ(e.ReadString(36864, false), "0230");
  }
  p.SetEXIF_ExifImageWidth(70000);
  p.SetEXIF_ExifImageHeight(500);
  b = VXSaveEXIFToBuffer(p, false);
  {
    TMemoryStream s;
    TVXTIFFIFDReader e;
    exifDir(b, e, s);
    EXPECT_EQ(e.GetDataType(e.FindTAG(40962)), 4);
    EXPECT_EQ(e.ReadInteger(40962, 0, 0), 70000);
    EXPECT_EQ(e.GetDataType(e.FindTAG(40963)), 3);
  }
}

TEST(ExifBlock, RoundTripThroughTheBlock) {
  TIOParamsVals p;
  p.SetEXIF_Make("Vexcam");
  p.SetEXIF_ExposureBiasValue(-0.7);
  p.SetEXIF_BrightnessValue(-1.5);
  p.SetEXIF_GPSVersionID("2.2");
  p.SetEXIF_GPSLatitude(-33.865);
  p.SetEXIF_GPSLongitude(151.2093);
  p.SetEXIF_GPSAltitudeRef("1");
  p.SetEXIF_GPSAltitude(12.5);
  p.SetEXIF_InteropIndex("R98");
  p.SetEXIF_InteropVersion("0100");
  p.SetEXIF_UserCommentCode(std::string("JIS\0\0\0\0\0", 8));
  p.SetEXIF_UserComment("plain");
  p.SetEXIF_XPTitle("Titel");
  p.SetEXIF_YCbCrPositioning(-1);
  const std::vector<uint8_t> b = VXSaveEXIFToBuffer(p, true);
  TIOParamsVals q;
  ASSERT_TRUE(VXLoadEXIFFromBuffer(b.data(), int64_t(b.size()), q));
  EXPECT_EQ(q.EXIF_Make(), "Vexcam");
  EXPECT_NEAR(q.EXIF_ExposureBiasValue(), -0.7, 1e-9);
  EXPECT_NEAR(q.EXIF_BrightnessValue(), -1.5, 1e-9);
  EXPECT_EQ(q.EXIF_GPSVersionID(), "2.2");
  EXPECT_NEAR(q.EXIF_GPSLatitude(), -33.865, 1e-6);
  EXPECT_NEAR(q.EXIF_GPSLongitude(), 151.2093, 1e-6);
  EXPECT_EQ(q.EXIF_GPSAltitudeRef(), "1");
  EXPECT_EQ(q.EXIF_InteropIndex(), "R98");
  EXPECT_EQ(q.EXIF_InteropVersion(), "0100");
  EXPECT_EQ(q.EXIF_UserCommentCode(), std::string("JIS\0\0\0\0\0", 8));
  EXPECT_EQ(q.EXIF_UserComment(), "plain");
  EXPECT_EQ(q.EXIF_XPTitle(), "Titel");
  // No positioning written for the absent value.
  EXPECT_EQ(q.EXIF_YCbCrPositioning(), -1);
  // Without a latitude reference no latitude is written.
  TIOParamsVals r;
  r.SetEXIF_GPSVersionID("2.2");
  r.SetEXIF_GPSLatitudeDegrees(10);
  const std::vector<uint8_t> rb = VXSaveEXIFToBuffer(r, true);
  TIOParamsVals rq;
  ASSERT_TRUE(VXLoadEXIFFromBuffer(rb.data(), int64_t(rb.size()), rq));
  EXPECT_EQ(rq.EXIF_GPSLatitudeDegrees(), 0);
}

TEST(ExifBlock, RefusesWhatIsNoBlock) {
  TIOParamsVals p;
  const uint8_t shortBlock[12] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0};
  EXPECT_FALSE(VXLoadEXIFFromBuffer(shortBlock, 12, p));
  const uint8_t other[20] = {'X', 'M', 'P', 0};
  EXPECT_FALSE(VXLoadEXIFFromBuffer(other, 20, p));
  EXPECT_FALSE(p.EXIF_HasEXIFData());
}

TEST(ExifBlock, FindTIFFHeaderAfterJunk) {
  TIOParamsVals p;
  p.SetEXIF_Make("Vexcam");
  const std::vector<uint8_t> block = VXSaveEXIFToBuffer(p, false);
  std::vector<uint8_t> data(0x1234, 0x11);
  data.insert(data.end(), block.begin(), block.end());
  TMemoryStream s;
  s.WriteBuffer(data.data(), int64_t(data.size()));
  s.SetPosition(0);
  EXPECT_EQ(VXFindTIFFHeader(&s), 0x1234);
  EXPECT_EQ(s.Position(), 0);
  std::vector<uint8_t> none(0x3000, 0x11);
  TMemoryStream n;
  n.WriteBuffer(none.data(), int64_t(none.size()));
  n.SetPosition(0);
  EXPECT_EQ(VXFindTIFFHeader(&n), -1);
  // Short streams: a header in the last bytes, its offset cut off (read as 0,
  // where the junk makes a plausible count); two bytes that are only "II".
  struct TCase {
    std::vector<uint8_t> Tail;
    int64_t Found;
  };
  const TCase cases[] = {{{'I', 'I', 42, 0, 0, 0, 0, 0}, 16}, {{'I', 'I', 42, 0}, 16}, {{'I', 'I'}, -1}};
  for (const TCase& c : cases) {
    std::vector<uint8_t> d(16, 0x11);
    d.insert(d.end(), c.Tail.begin(), c.Tail.end());
    TMemoryStream t;
    t.WriteBuffer(d.data(), int64_t(d.size()));
    t.SetPosition(0);
    EXPECT_EQ(VXFindTIFFHeader(&t), c.Found) << c.Tail.size();
  }
}

namespace {

// The APP segments of a JPEG before its first SOS: code and data.
std::vector<std::pair<int, std::vector<uint8_t>>> Segments(const std::vector<uint8_t>& J) {
  std::vector<std::pair<int, std::vector<uint8_t>>> s;
  size_t p = 2;
  while (p + 4 <= J.size() && J[p] == 0xFF) {
    const int m = J[p + 1];
    if (m == 0xDA) break;
    const size_t len = (size_t(J[p + 2]) << 8) | J[p + 3];
    s.emplace_back(m, std::vector<uint8_t>(J.begin() + long(p + 4), J.begin() + long(std::min(J.size(), p + 2 + len))));
    p += 2 + len;
  }
  return s;
}

bool IsExifSegment(const std::pair<int, std::vector<uint8_t>>& S) {
  return S.first == 0xE1 && S.second.size() >= 4 && std::memcmp(S.second.data(), "Exif", 4) == 0;
}

// The file without its "Exif" APP1 segments.
std::vector<uint8_t> WithoutExif(const std::vector<uint8_t>& J) {
  std::vector<uint8_t> out(J.begin(), J.begin() + 2);
  size_t p = 2;
  while (p + 4 <= J.size() && J[p] == 0xFF && J[p + 1] != 0xDA) {
    const size_t len = (size_t(J[p + 2]) << 8) | J[p + 3];
    const bool exif = J[p + 1] == 0xE1 && p + 8 <= J.size() && std::memcmp(&J[p + 4], "Exif", 4) == 0;
    if (!exif) out.insert(out.end(), J.begin() + long(p), J.begin() + long(std::min(J.size(), p + 2 + len)));
    p += 2 + len;
  }
  out.insert(out.end(), J.begin() + long(std::min(p, J.size())), J.end());
  return out;
}

// The JFIF segment first, then the file's one "Exif" segment.
void ExpectJfifThenOneExifSegment(const std::vector<uint8_t>& J) {
  const auto segs = Segments(J);
  ASSERT_GE(segs.size(), 2u);
  EXPECT_EQ(segs[0].first, 0xE0);
  EXPECT_TRUE(IsExifSegment(segs[1]));
  int exif = 0;
  for (const auto& s : segs) exif += IsExifSegment(s);
  EXPECT_EQ(exif, 1);
}

bool SamePixels(const TVXBitmap& B, const Pnm& P) {
  if (B.Width() != P.Width || B.Height() != P.Height || P.Channels != 3) return false;
  for (int y = 0; y < P.Height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(B.ScanLine(y));
    for (int x = 0; x < P.Width; ++x)
      for (int c = 0; c < 3; ++c)
        if (row[3 * x + c] != P.At(x, y, 2 - c)) return false;
  }
  return true;
}

}  // namespace

TEST(ExifJpeg, ResizedSavesKeepTheValuesAsJpegAndTiff) {
  REQUIRE(kExifTool);
  ScratchDir d;
  const std::string jpg = MakeTaggedJpeg(d, "cam");
  for (const char* ext : {"jpg", "tif"}) {
    SCOPED_TRACE(ext);
    TLoaded l;
    ASSERT_TRUE(l.Load(jpg));
    l.Bitmap.Resample(32, 24, rfMitchell, false);
    const std::string out = d / (std::string("saved.") + ext);
    l.IO.SaveToFile(out, std::string(ext) == "jpg" ? 3 : 1);
    ASSERT_FALSE(l.IO.Aborting());
    EXPECT_EQ(l.IO.Params().EXIF_ExifImageWidth(), 32);
    EXPECT_EQ(l.IO.Params().EXIF_ExifImageHeight(), 24);
    const std::map<std::string, std::string> before = ExifToolValues(jpg), after = ExifToolValues(out);
    for (const TField& f : Fields()) {
      const std::string t = f.Tag;
      if (t == "ExifIFD:ExifImageWidth" || t == "ExifIFD:ExifImageHeight") continue;
      ASSERT_TRUE(after.count(t)) << t;
      EXPECT_TRUE(SameValue(after.at(t), before.at(t))) << t << ": " << after.at(t) << " vs " << before.at(t);
    }
    // exiv2 reads the saved data as exiftool does.
    if (HaveTool("/usr/bin/exiv2")) {
      const std::string keys =
          " -K Exif.Image.Make -K Exif.Photo.ExposureBiasValue -K Exif.Photo.PixelXDimension"
          " -K Exif.Iop.InteroperabilityIndex -K Exif.GPSInfo.GPSLatitudeRef -K Exif.GPSInfo.GPSDestLongitudeRef -Pv ";
      EXPECT_EQ(RuntimeShell("/usr/bin/exiv2" + keys + Quote(out) + " 2>&1"), "Vexcam\n-7/10\n32\nR03\nS\nW\n");
    }
    EXPECT_EQ(after.at("ExifIFD:ExifImageWidth"), "32");
    EXPECT_EQ(after.at("ExifIFD:ExifImageHeight"), "24");
    // Loading the saved file gives the same values again.
    TLoaded again;
    ASSERT_TRUE(again.Load(out));
    ExpectAgreesWithExifTool(again.IO.Params(), out);
    if (std::string(ext) == "jpg") ExpectJfifThenOneExifSegment(ReadFile(out));
  }
}

TEST(ExifJpeg, ThumbnailsLoadAndAreWrittenBack) {
  REQUIRE(kExifTool);
  ScratchDir d;
  const std::string thumb = MakeJpeg(d, "thumb", 16, 12);
  const std::string big = MakeJpeg(d, "big", 500, 375);
  ASSERT_TRUE(Shell0("/usr/bin/djpeg -pnm " + Quote(thumb) + " > " + Quote(d / "thumb.ppm")));
  Pnm expected;
  ASSERT_TRUE(ReadPnm(d / "thumb.ppm", expected));

  const std::string jpg = MakeJpeg(d, "withthumb");
  ASSERT_TRUE(Tag(jpg, "-IFD0:Make=Vexcam '-ThumbnailImage<=" + thumb + "'"));
  {
    TLoaded l;
    ASSERT_TRUE(l.Load(jpg));
    ASSERT_NE(l.IO.Params().EXIF_Bitmap(), nullptr);
    EXPECT_TRUE(SamePixels(*l.IO.Params().EXIF_Bitmap(), expected));
    EXPECT_EQ(l.Bitmap.Width(), 64);
    // Saved again, the thumbnail is page 1 of the block.
    const std::string out = d / "resaved.jpg";
    l.IO.SaveToFile(out, 3);
    EXPECT_EQ(RuntimeShell(std::string(kExifTool) + " -s3 -n -IFD1:ImageWidth -IFD1:Compression " + Quote(out)),
              "16\n6\n");
    const std::string length = RuntimeShell(std::string(kExifTool) + " -s3 -ThumbnailLength " + Quote(out));
    EXPECT_GT(std::atoi(length.c_str()), 100);
  }
  {
    // With JPEG_GetExifThumbnail the load gives the thumbnail.
    TLoaded l;
    l.IO.Params().SetJPEG_GetExifThumbnail(true);
    ASSERT_TRUE(l.Load(jpg));
    EXPECT_TRUE(SamePixels(l.Bitmap, expected));
  }
  {
    // A 500 x 375 thumbnail is no thumbnail; the fields still load.
    const std::string large = MakeJpeg(d, "largethumb");
    ASSERT_TRUE(Tag(large, "-IFD0:Make=Vexcam '-ThumbnailImage<=" + big + "'"));
    TLoaded l;
    ASSERT_TRUE(l.Load(large));
    EXPECT_EQ(l.IO.Params().EXIF_Make(), "Vexcam");
    EXPECT_TRUE(!l.IO.Params().EXIF_Bitmap() || l.IO.Params().EXIF_Bitmap()->IsEmpty());
  }
}

// Notes laid out as cameras lay them out, in a TIFF built by hand and in a
// JPEG that exiftool tagged from it: saved as JPEG and as TIFF, exiftool
// reads every value of the note at its new place.
TEST(ExifMakerNote, CameraNotesSurviveJpegAndTiffSaves) {
  REQUIRE(kExifTool);
  ScratchDir d;
  for (const makernote::TMaker& m : makernote::Makers()) {
    SCOPED_TRACE(m.Name);
    const std::string tif = d / "camera.tif";
    RuntimeWriteFile(tif, makernote::MakerNoteTIFF(m, 1, 0));
    ASSERT_EQ(makernote::MakerNoteProblems(m, tif), "");
    const std::string jpg = MakeJpeg(d, "camera");
    ASSERT_TRUE(Tag(jpg, "-tagsfromfile " + Quote(tif) + " -all:all -makernotes"));
    ASSERT_EQ(makernote::MakerNoteProblems(m, jpg), "");
    for (const std::string& source : {tif, jpg}) {
      SCOPED_TRACE(source);
      TLoaded l;
      ASSERT_TRUE(l.Load(source));
      const TVXTagsHandler& note = l.IO.Params().EXIF_MakerNote();
      EXPECT_EQ(note.GetString(m.Make == "Canon" ? 0x0009 : 0x0005), m.Make == "Canon" ? "Vexlane Tester" : "SUNNY");
      EXPECT_EQ(note.GetIntegerIndexed(0x7777, 2), 33);
      EXPECT_DOUBLE_EQ(note.GetRational(m.Make == "Canon" ? 0x7778 : 0x0085, 0), m.Make == "Canon" ? 1.75 : 1.5);
      for (const char* ext : {"jpg", "tif"}) {
        SCOPED_TRACE(ext);
        const std::string out = d / (std::string("saved.") + ext);
        l.IO.SaveToFile(out, std::string(ext) == "jpg" ? 3 : 1);
        ASSERT_FALSE(l.IO.Aborting());
        EXPECT_EQ(makernote::MakerNoteProblems(m, out), "");
        EXPECT_EQ(RuntimeShell(std::string(kExifTool) + " -s3 -n -ExposureTime " + Quote(out)), "0.004\n");
      }
    }
  }
}

TEST(ExifJpeg, OrientationsTurnUprightAsImageMagickDoes) {
  REQUIRE(kExifTool);
  REQUIRE("/usr/bin/convert");
  ScratchDir d;
  const std::string base = MakeJpeg(d, "pic", 24, 16);
  ASSERT_TRUE(Shell0("/usr/bin/djpeg -pnm " + Quote(base) + " > " + Quote(d / "pic_dec.ppm")));
  static const char* kNames[] = {"", "TopLeft", "TopRight", "BottomRight", "BottomLeft",
                                 "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    const std::string turned = d / ("turned" + std::to_string(o) + ".ppm");
    ASSERT_TRUE(Shell0("/usr/bin/convert " + Quote(d / "pic_dec.ppm") + " -orient " + kNames[o] +
                       " -auto-orient " + Quote(turned)));
    Pnm expected;
    ASSERT_TRUE(ReadPnm(turned, expected));
    // JPEG with the EXIF orientation.
    const std::string jpg = d / ("o" + std::to_string(o) + ".jpg");
    WriteFile(jpg, ReadFile(base));
    ASSERT_TRUE(Tag(jpg, "-IFD0:Orientation#=" + std::to_string(o)));
    // TIFF with the orientation tag: the decoded picture, stored losslessly.
    const std::string tif = d / ("o" + std::to_string(o) + ".tif");
    ASSERT_TRUE(Shell0("/usr/bin/convert " + Quote(d / "pic_dec.ppm") + " -compress none -orient " + kNames[o] +
                       " " + Quote(tif)));
    for (const bool tiff : {false, true}) {
      SCOPED_TRACE(tiff ? "TIFF" : "JPEG");
      TLoaded l;
      if (tiff)
        l.IO.Params().SetTIFF_EnableAdjustOrientation(true);
      else
        l.IO.Params().SetJPEG_EnableAdjustOrientation(true);
      ASSERT_TRUE(l.Load(tiff ? tif : jpg));
      EXPECT_TRUE(SamePixels(l.Bitmap, expected));
      EXPECT_EQ(l.IO.Params().EXIF_Orientation(), 1);
    }
  }
}

TEST(ExifJpeg, InjectionReplacesOnlyTheExifSegment) {
  REQUIRE(kExifTool);
  ScratchDir d;
  const std::string jpg = MakeJpeg(d, "inj");
  ASSERT_TRUE(Tag(jpg, "-IFD0:Make=Old -XMP:Title=Kept"));
  std::vector<uint8_t> original = ReadFile(jpg);
  original.insert(original.end(), {1, 2, 3});  // data after the end marker
  WriteFile(jpg, original);
  TVexlaneIO io;
  io.Params().SetEXIF_HasEXIFData(true);
  io.Params().SetEXIF_Make("New");
  io.Params().SetEXIF_ExposureTime(0.004);
  ASSERT_TRUE(io.InjectJpegEXIF(jpg));
  const std::vector<uint8_t> injected = ReadFile(jpg);
  ExpectJfifThenOneExifSegment(injected);
  EXPECT_EQ(WithoutExif(injected), WithoutExif(original));
  const std::map<std::string, std::string> v = ExifToolValues(jpg);
  EXPECT_EQ(v.at("IFD0:Make"), "New");
  EXPECT_EQ(v.at("ExifIFD:ExposureTime"), "0.004");
  EXPECT_EQ(RuntimeShell(std::string(kExifTool) + " -s3 -XMP:Title " + Quote(jpg)), "Kept\n");

  // Not a JPEG: false, the file as it was.
  const std::string other = d / "other.bin";
  const std::vector<uint8_t> junk = {'P', '6', ' ', 0xFF, 0x10, 0x00, 0x00, 1, 2, 3};
  WriteFile(other, junk);
  EXPECT_FALSE(io.InjectJpegEXIF(other));
  EXPECT_EQ(ReadFile(other), junk);

  // The stream form writes from the output's position.
  TMemoryStream in, out;
  in.WriteBuffer(original.data(), int64_t(original.size()));
  in.SetPosition(0);
  const std::vector<uint8_t> lead(100, 0xAB);
  out.WriteBuffer(lead.data(), 100);
  ASSERT_TRUE(io.InjectJpegEXIFStream(&in, &out));
  const uint8_t* m = static_cast<const uint8_t*>(out.Memory());
  EXPECT_EQ(std::vector<uint8_t>(m, m + 100), lead);
  EXPECT_EQ(std::vector<uint8_t>(m + 100, m + out.Size()), injected);
  EXPECT_EQ(out.Position(), out.Size());

  // A TIFF injection without a TIFF to inject into writes nothing.
  TMemoryStream tin, tout;
  EXPECT_FALSE(io.InjectTIFFEXIF(&tin, &tout, 0));
  EXPECT_EQ(tout.Size(), 0);
}

TEST(ExifJpeg, DamagedExifBlocksLoadTheImage) {
  REQUIRE(kExifTool);
  ScratchDir d;
  const std::string jpg = MakeTaggedJpeg(d, "dmg", "'-ThumbnailImage<=" + MakeJpeg(d, "th", 16, 12) + "'");
  const std::vector<uint8_t> file = ReadFile(jpg);
  // Where the EXIF segment lies.
  size_t p = 2, start = 0, len = 0;
  while (p + 4 <= file.size()) {
    len = (size_t(file[p + 2]) << 8) | file[p + 3];
    if (file[p + 1] == 0xE1 && std::memcmp(&file[p + 4], "Exif", 4) == 0) {
      start = p;
      break;
    }
    p += 2 + len;
  }
  ASSERT_GT(start, 0u);
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int k = 0; k < 60; ++k) {
    std::vector<uint8_t> seg(file.begin() + long(start + 4), file.begin() + long(start + 2 + len));
    if (k < 20) {
      seg.resize(6 + size_t(next() % (seg.size() - 6)));  // truncated
    } else {
      for (int f = 0; f < 1 + k % 8; ++f) seg[6 + next() % (seg.size() - 6)] ^= uint8_t(1u << (next() % 8));
    }
    std::vector<uint8_t> j(file.begin(), file.begin() + long(start));
    j.insert(j.end(), {0xFF, 0xE1, uint8_t((seg.size() + 2) >> 8), uint8_t((seg.size() + 2) & 0xFF)});
    j.insert(j.end(), seg.begin(), seg.end());
    j.insert(j.end(), file.begin() + long(start + 2 + len), file.end());
    TVXMemStream s(j.data(), int64_t(j.size()));
    TLoaded l;
    l.IO.Params().SetJPEG_EnableAdjustOrientation(true);
    EXPECT_TRUE(l.IO.LoadFromStreamJpeg(&s)) << k;
    EXPECT_EQ(l.Bitmap.Width() * l.Bitmap.Height(), 64 * 48) << k;
  }
}

TEST(ExifBlock, TIFFStreamThumbnailIsTheSmallerNonBlackPage) {
  // Page 0 a 40 x 30 picture, page 1 a 20 x 15 one: page 1 is the thumbnail;
  // a black page 1 gives none (the wider page is no thumbnail).
  for (bool blackSmall : {false, true}) {
    TMemoryStream s;
    TVXBitmap big, small;
    ASSERT_TRUE(big.Allocate(40, 30, vx24RGB));
    big.Fill(0x405060);
    ASSERT_TRUE(small.Allocate(20, 15, vx24RGB));
    small.Fill(blackSmall ? 0 : 0x102030);
    TIOParamsVals p;
    p.SetEXIF_HasEXIFData(true);
    p.SetEXIF_Make("Vexcam");
    TProgressRec progress;
    bool aborting = false;
    progress.Aborting = &aborting;
    VXWriteTIFFStream(&s, false, &big, progress, p);
    TIOParamsVals p1;
    p1.SetTIFF_ImageIndex(1);
    s.SetPosition(0);
    VXWriteTIFFStream(&s, true, &small, progress, p1);
    ASSERT_FALSE(aborting);
    s.SetPosition(0);
    TIOParamsVals q;
    EXPECT_TRUE(VXLoadEXIFFromTIFFStream(&s, q, false));
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(q.EXIF_Make(), "Vexcam");
    ASSERT_NE(q.EXIF_Bitmap(), nullptr);
    EXPECT_EQ(q.EXIF_Bitmap()->IsEmpty() ? 0 : q.EXIF_Bitmap()->Width(), blackSmall ? 0 : 20);
  }
}
