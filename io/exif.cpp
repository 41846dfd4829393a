// EXIF and GPS values of the I/O parameters: reset, tag tracking, date-time
// and GPS views, and the helpers shared with the codecs.
#include "io/exif.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/bitmap.h"
#include "core/textutils.h"
#include "io/markers.h"
#include "io/tagshandler.h"
#include "io/params.h"

// ---------------------------------------------------------------------------
// Helpers

bool VXIsEXIFBlock(const void* Data, int64_t Length) {
  if (!Data || Length < 5) return false;
  return std::memcmp(Data, "Exif", 5) == 0;  // the four letters and their NUL
}

namespace {

constexpr int64_t kDays1899To1970 = 25569;

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Whole number of a fixed-width text field; false for anything else.
bool ParseField(const std::string& s, size_t pos, size_t len, int& out) {
  if (pos + len > s.size()) return false;
  std::string f = s.substr(pos, len);
  size_t i = 0;
  while (i < f.size() && f[i] == ' ') ++i;
  bool neg = false;
  if (i < f.size() && (f[i] == '+' || f[i] == '-')) neg = f[i++] == '-';
  if (i >= f.size()) return false;
  int v = 0;
  for (; i < f.size(); ++i) {
    if (f[i] < '0' || f[i] > '9') return false;
    v = v * 10 + (f[i] - '0');
  }
  out = neg ? -v : v;
  return true;
}

std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && uint8_t(s[b]) <= ' ') ++b;
  while (e > b && uint8_t(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string CleanRef(const std::string& ref) {
  std::string r = Trimmed(ref);
  while (!r.empty() && r.back() == '\0') r.pop_back();
  return r;
}

}  // namespace

std::string VXDateTimeToEXIFStr(double Value) {
  if (Value == 0) return std::string();
  double whole = std::trunc(Value);
  int64_t ms = std::llrint(std::fabs(Value - whole) * 86400000.0);
  int64_t days = int64_t(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    days += Value < 0 ? -1 : 1;
  }
  int64_t y;
  unsigned m, d;
  VXCivilFromDays(days - kDays1899To1970, y, m, d);
  int64_t secs = ms / 1000;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld:%02u:%02u %02lld:%02lld:%02lld", (long long)y, m, d,
                (long long)(secs / 3600), (long long)(secs / 60 % 60), (long long)(secs % 60));
  return buf;
}

double VXEXIFStrToDateTime(const std::string& Text) {
  std::string t = Trimmed(Text);
  if (t.empty() || t == "0000:00:00 00:00:00") return 0;
  int y, mo, d, h, mi, s;
  if (!ParseField(Text, 0, 4, y) || !ParseField(Text, 5, 2, mo) || !ParseField(Text, 8, 2, d) ||
      !ParseField(Text, 11, 2, h) || !ParseField(Text, 14, 2, mi) || !ParseField(Text, 17, 2, s))
    return 0;
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || mo < 1 || mo > 12 || d < 1) return 0;
  int dim = kMonthDays[mo - 1] + (mo == 2 && IsLeap(y) ? 1 : 0);
  if (d > dim || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) return 0;
  double date = double(VXDaysFromCivil(y, unsigned(mo), unsigned(d)) + kDays1899To1970);
  double time = (h * 3600.0 + mi * 60.0 + s) / 86400.0;
  return date < 0 ? date - time : date + time;
}

double VXGPSToDecimalDegrees(const std::string& Ref, double Degrees, double Minutes, double Seconds) {
  double r = Degrees + Minutes / 60.0 + Seconds / 3600.0;
  if (Ref == "S" || Ref == "W") r = -r;
  return r;
}

void VXDecimalDegreesToGPS(const char* Letters, double& Degrees, double& Minutes, std::string& Ref,
                           double& Seconds, double Value) {
  Ref = std::string(1, Value >= 0 ? Letters[1] : Letters[0]);
  double a = std::fabs(Value);
  Degrees = std::trunc(a);
  double m = (a - Degrees) * 60.0;
  Minutes = std::trunc(m);
  Seconds = (m - Minutes) * 60.0;
}

void VXCopyEXIFParams(const TIOParamsVals& Source, TIOParamsVals& Target, bool CloneThumbnail) {
  if (&Source == &Target) return;
  static_cast<TIOParamsEXIFFields&>(Target) = static_cast<const TIOParamsEXIFFields&>(Source);
  Target.fEXIF_MakerNote->Assign(*Source.fEXIF_MakerNote);
  if (CloneThumbnail) {
    if (Source.fEXIF_Bitmap)
      Target.fEXIF_Bitmap = std::make_unique<TVXBitmap>(Source.fEXIF_Bitmap.get());
    else
      Target.fEXIF_Bitmap.reset();
  }
}

namespace {
TVXSaveEXIFToBufferFunc gSaveEXIF = nullptr;
TVXLoadEXIFFromBufferFunc gLoadEXIF = nullptr;
}  // namespace

void VXSetEXIFBlockHooks(TVXSaveEXIFToBufferFunc Save, TVXLoadEXIFFromBufferFunc Load) {
  gSaveEXIF = Save;
  gLoadEXIF = Load;
}

std::vector<uint8_t> VXSaveEXIFToBuffer(TIOParamsVals& Params, bool WithHeader) {
  if (!gSaveEXIF) throw EVXException("EXIF blocks need the TIFF module");
  return gSaveEXIF(Params, WithHeader);
}

bool VXLoadEXIFFromBuffer(const void* Data, int64_t Length, TIOParamsVals& Params) {
  return gLoadEXIF && gLoadEXIF(Data, Length, Params);
}

TVXTIFFParamsHooks& VXTIFFParamsHooks() {
  static TVXTIFFParamsHooks hooks;
  return hooks;
}

// ---------------------------------------------------------------------------
// TIOParamsVals: EXIF and GPS

void TIOParamsVals::ResetEXIF() {
  fEXIF_Bitmap.reset();
  static_cast<TIOParamsEXIFFields&>(*this) = TIOParamsEXIFFields();
  fEXIF_MakerNote->Clear();
  TVXMarkerList& markers = *fJPEG_MarkerList;
  for (int32_t i = 0; i < markers.Count(); ++i) {
    if (markers.GetMarkerType(i) != 0xE1) continue;
    if (markers.MarkerSize(i) >= 4 && std::memcmp(markers.GetMarkerData(i), "Exif", 4) == 0) {
      markers.DeleteMarker(i);
      break;
    }
  }
}

void TIOParamsVals::SetEXIFTracked(double& field, double value, double unset, int32_t tag) {
  field = value;
  auto it = std::find(fEXIF_Tags.begin(), fEXIF_Tags.end(), tag);
  if (value != unset) {
    if (it == fEXIF_Tags.end()) fEXIF_Tags.push_back(tag);
  } else if (it != fEXIF_Tags.end()) {
    fEXIF_Tags.erase(it);
  }
}

void TIOParamsVals::SetEXIFTracked(int32_t& field, int32_t value, int32_t unset, int32_t tag) {
  field = value;
  auto it = std::find(fEXIF_Tags.begin(), fEXIF_Tags.end(), tag);
  if (value != unset) {
    if (it == fEXIF_Tags.end()) fEXIF_Tags.push_back(tag);
  } else if (it != fEXIF_Tags.end()) {
    fEXIF_Tags.erase(it);
  }
}

void TIOParamsVals::SetEXIF_ExposureTime(double v) { SetEXIFTracked(fEXIF_ExposureTime, v, -1, 0x829A); }
void TIOParamsVals::SetEXIF_FNumber(double v) { SetEXIFTracked(fEXIF_FNumber, v, -1, 0x829D); }
void TIOParamsVals::SetEXIF_ExposureProgram(int32_t v) { SetEXIFTracked(fEXIF_ExposureProgram, v, -1, 0x8822); }
void TIOParamsVals::SetEXIF_CompressedBitsPerPixel(double v) {
  SetEXIFTracked(fEXIF_CompressedBitsPerPixel, v, 0, 0x9102);
}
void TIOParamsVals::SetEXIF_ShutterSpeedValue(double v) { SetEXIFTracked(fEXIF_ShutterSpeedValue, v, -1, 0x9201); }
void TIOParamsVals::SetEXIF_ApertureValue(double v) { SetEXIFTracked(fEXIF_ApertureValue, v, -1, 0x9202); }
void TIOParamsVals::SetEXIF_BrightnessValue(double v) { SetEXIFTracked(fEXIF_BrightnessValue, v, -1000, 0x9203); }
void TIOParamsVals::SetEXIF_ExposureBiasValue(double v) {
  SetEXIFTracked(fEXIF_ExposureBiasValue, v, -1000, 0x9204);
}
void TIOParamsVals::SetEXIF_MaxApertureValue(double v) { SetEXIFTracked(fEXIF_MaxApertureValue, v, -1000, 0x9205); }
void TIOParamsVals::SetEXIF_SubjectDistance(double v) { SetEXIFTracked(fEXIF_SubjectDistance, v, -1, 0x9206); }
void TIOParamsVals::SetEXIF_MeteringMode(int32_t v) { SetEXIFTracked(fEXIF_MeteringMode, v, -1, 0x9207); }
void TIOParamsVals::SetEXIF_LightSource(int32_t v) { SetEXIFTracked(fEXIF_LightSource, v, -1, 0x9208); }
void TIOParamsVals::SetEXIF_Flash(int32_t v) { SetEXIFTracked(fEXIF_Flash, v, -1, 0x9209); }
void TIOParamsVals::SetEXIF_FocalLength(double v) { SetEXIFTracked(fEXIF_FocalLength, v, -1, 0x920A); }
void TIOParamsVals::SetEXIF_ColorSpace(int32_t v) { SetEXIFTracked(fEXIF_ColorSpace, v, -1, 0xA001); }
void TIOParamsVals::SetEXIF_ExifImageWidth(int32_t v) { SetEXIFTracked(fEXIF_ExifImageWidth, v, 0, 0xA002); }
void TIOParamsVals::SetEXIF_ExifImageHeight(int32_t v) { SetEXIFTracked(fEXIF_ExifImageHeight, v, 0, 0xA003); }
void TIOParamsVals::SetEXIF_FocalPlaneXResolution(double v) {
  SetEXIFTracked(fEXIF_FocalPlaneXResolution, v, -1, 0xA20E);
}
void TIOParamsVals::SetEXIF_FocalPlaneYResolution(double v) {
  SetEXIFTracked(fEXIF_FocalPlaneYResolution, v, -1, 0xA20F);
}
void TIOParamsVals::SetEXIF_FocalPlaneResolutionUnit(int32_t v) {
  SetEXIFTracked(fEXIF_FocalPlaneResolutionUnit, v, -1, 0xA210);
}
void TIOParamsVals::SetEXIF_ExposureIndex(double v) { SetEXIFTracked(fEXIF_ExposureIndex, v, -1, 0xA215); }
void TIOParamsVals::SetEXIF_SensingMethod(int32_t v) { SetEXIFTracked(fEXIF_SensingMethod, v, -1, 0xA217); }
void TIOParamsVals::SetEXIF_FileSource(int32_t v) { SetEXIFTracked(fEXIF_FileSource, v, -1, 0xA300); }
void TIOParamsVals::SetEXIF_SceneType(int32_t v) { SetEXIFTracked(fEXIF_SceneType, v, -1, 0xA301); }

namespace {

// The resolution truncated toward zero; values beyond the 32-bit range are
// held at its limits (NaN gives 0).
int32_t ResolutionToDpi(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return int32_t(std::trunc(v));
}

}  // namespace

void TIOParamsVals::SetEXIF_XResolution(double v) {
  SetDpiX(ResolutionToDpi(v));
  fEXIF_XResolution = v;
}

void TIOParamsVals::SetEXIF_YResolution(double v) {
  SetDpiY(ResolutionToDpi(v));
  fEXIF_YResolution = v;
}

double TIOParamsVals::EXIF_DateTime2() const { return VXEXIFStrToDateTime(fEXIF_DateTime); }
void TIOParamsVals::SetEXIF_DateTime2(double v) { fEXIF_DateTime = VXDateTimeToEXIFStr(v); }
double TIOParamsVals::EXIF_DateTimeOriginal2() const { return VXEXIFStrToDateTime(fEXIF_DateTimeOriginal); }
void TIOParamsVals::SetEXIF_DateTimeOriginal2(double v) { fEXIF_DateTimeOriginal = VXDateTimeToEXIFStr(v); }
double TIOParamsVals::EXIF_DateTimeDigitized2() const { return VXEXIFStrToDateTime(fEXIF_DateTimeDigitized); }
void TIOParamsVals::SetEXIF_DateTimeDigitized2(double v) { fEXIF_DateTimeDigitized = VXDateTimeToEXIFStr(v); }

double TIOParamsVals::EXIF_GPSLatitude() const {
  return VXGPSToDecimalDegrees(fEXIF_GPSLatitudeRef, fEXIF_GPSLatitudeDegrees, fEXIF_GPSLatitudeMinutes,
                               fEXIF_GPSLatitudeSeconds);
}

void TIOParamsVals::SetEXIF_GPSLatitude(double v) {
  VXDecimalDegreesToGPS("SN", fEXIF_GPSLatitudeDegrees, fEXIF_GPSLatitudeMinutes, fEXIF_GPSLatitudeRef,
                        fEXIF_GPSLatitudeSeconds, v);
}

double TIOParamsVals::EXIF_GPSLongitude() const {
  return VXGPSToDecimalDegrees(fEXIF_GPSLongitudeRef, fEXIF_GPSLongitudeDegrees, fEXIF_GPSLongitudeMinutes,
                               fEXIF_GPSLongitudeSeconds);
}

void TIOParamsVals::SetEXIF_GPSLongitude(double v) {
  VXDecimalDegreesToGPS("WE", fEXIF_GPSLongitudeDegrees, fEXIF_GPSLongitudeMinutes, fEXIF_GPSLongitudeRef,
                        fEXIF_GPSLongitudeSeconds, v);
}

namespace {

std::string GPSDisplay(const std::string& ref, double degrees, double minutes, double seconds) {
  std::string r = CleanRef(ref);
  if (degrees == 0 && r.empty()) return std::string();
  double secs = seconds != 0 ? seconds : (minutes - std::trunc(minutes)) * 60.0;
  std::string s = std::to_string(int64_t(std::trunc(degrees))) + "\xC2\xB0 " +
                  std::to_string(int64_t(std::trunc(minutes))) + "' " + VXFormatFloat(2, true, secs) + "\" ";
  for (char c : r) s += char(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

}  // namespace

std::string TIOParamsVals::EXIF_GPSLatitude_Str() const {
  return GPSDisplay(fEXIF_GPSLatitudeRef, fEXIF_GPSLatitudeDegrees, fEXIF_GPSLatitudeMinutes,
                    fEXIF_GPSLatitudeSeconds);
}

std::string TIOParamsVals::EXIF_GPSLongitude_Str() const {
  return GPSDisplay(fEXIF_GPSLongitudeRef, fEXIF_GPSLongitudeDegrees, fEXIF_GPSLongitudeMinutes,
                    fEXIF_GPSLongitudeSeconds);
}

void TIOParamsVals::AdjustGPSCoordinates() {
  SetEXIF_GPSLatitude(EXIF_GPSLatitude());
  SetEXIF_GPSLongitude(EXIF_GPSLongitude());
  double v = VXGPSToDecimalDegrees(fEXIF_GPSDestLatitudeRef, fEXIF_GPSDestLatitudeDegrees,
                                   fEXIF_GPSDestLatitudeMinutes, fEXIF_GPSDestLatitudeSeconds);
  VXDecimalDegreesToGPS("SN", fEXIF_GPSDestLatitudeDegrees, fEXIF_GPSDestLatitudeMinutes, fEXIF_GPSDestLatitudeRef,
                        fEXIF_GPSDestLatitudeSeconds, v);
  v = VXGPSToDecimalDegrees(fEXIF_GPSDestLongitudeRef, fEXIF_GPSDestLongitudeDegrees, fEXIF_GPSDestLongitudeMinutes,
                            fEXIF_GPSDestLongitudeSeconds);
  VXDecimalDegreesToGPS("WE", fEXIF_GPSDestLongitudeDegrees, fEXIF_GPSDestLongitudeMinutes,
                        fEXIF_GPSDestLongitudeRef, fEXIF_GPSDestLongitudeSeconds, v);
}
