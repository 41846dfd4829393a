// The EXIF, GPS and interoperability tags: read from a page's directories
// into the I/O parameters, and written back from them as the main-directory
// tags of the EXIF set and three sub-directories.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/streams.h"
#include "core/streamutils.h"
#include "core/textutils.h"
#include "formats/exif.h"
#include "formats/tiff_write.h"
#include "io/params.h"
#include "io/tagshandler.h"
#include "platform/utf.h"

namespace {

constexpr uint16_t kTagExifIFD = 34665, kTagGpsIFD = 34853, kTagInteropIFD = 40965;
constexpr uint16_t kTagUserComment = 37510, kTagMakerNote = 37500;
const std::string kUnicodeCode("UNICODE\0", 8);
const std::string kAsciiCode("ASCII\0\0\0", 8);

int32_t ToInt(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

std::string Wide(const TVXTIFFIFDReader& r, uint16_t tag) {
  std::u16string s = r.ReadWideString(tag);
  const size_t z = s.find(u'\0');
  if (z != std::u16string::npos) s.resize(z);
  return VXUTF16ToUTF8(s);
}

bool Listed(const TIOParamsVals& P, int32_t tag) {
  const std::vector<int32_t>& l = P.EXIF_Tags();
  return std::find(l.begin(), l.end(), tag) != l.end();
}

// Rationals whose numerators may be negative (SRATIONAL, type 10).
void WriteSignedRationals(TVXTIFFIFDWriter& W, TStream* Stream, uint16_t tag, bool& Aborting,
                          std::initializer_list<double> values) {
  std::vector<uint8_t> b;
  for (double v : values) {
    int32_t num = 0, den = 1;
    VXFloatToFraction(std::fabs(v), 5e-9, num, den);
    if (v < 0) num = -num;
    uint8_t e[8];
    VXTIFFPut32(e, uint32_t(num), true);
    VXTIFFPut32(e + 4, uint32_t(den), true);
    b.insert(b.end(), e, e + 8);
  }
  const int64_t pos = VXStreamPadToWord(Stream, Aborting);
  VXWriteChecked(Stream, Aborting, b.data(), int64_t(b.size()));
  W.AddTag(tag, 10, int32_t(values.size()), uint32_t(pos));
}

// A 16-bit value, or a LONG when it does not fit 16 bits.
void WriteShortOrLong(TVXTIFFIFDWriter& W, uint16_t tag, int32_t v) {
  if (v >= 0 && v <= 65535)
    W.WriteSingleShort(tag, uint16_t(v));
  else
    W.WriteSingleLong(tag, uint32_t(v));
}

// Finishes a sub-directory built in Data: its directory goes to Stream at the
// next even position E, followed by Data with every offset shifted to where
// it now stands. The result is E.
uint32_t FlushSubIFD(TVXTIFFIFDWriter& Sub, TMemoryStream& Data, TStream* Stream, bool& Aborting) {
  const int64_t E = VXStreamPadToWord(Stream, Aborting);
  Sub.ReorderTags();
  // The directory is built and relocated aside: Stream need not be readable.
  TMemoryStream dir;
  uint8_t cnt[2];
  VXTIFFPut16(cnt, uint16_t(Sub.Count()), true);
  VXWriteChecked(&dir, Aborting, cnt, 2);
  for (const TTIFFTAG& t : Sub.Items) VXWriteTIFFTag(&dir, t, true, Aborting);
  const uint8_t next[4] = {0, 0, 0, 0};
  VXWriteChecked(&dir, Aborting, next, 4);
  const int64_t delta = E + dir.Size();
  VXRelocateTIFFIFD(&dir, &Data, true, delta, 0);
  VXWriteChecked(Stream, Aborting, dir.Memory(), dir.Size());
  if (Data.Size() > 0) VXWriteChecked(Stream, Aborting, Data.Memory(), Data.Size());
  return uint32_t(E);
}

}  // namespace

// ---------------------------------------------------------------------------
// Reading

std::string VXGPSVersionToStr(const std::string& Bytes) {
  const std::string b = Bytes.empty() ? std::string("\x02\x02\x00\x00", 4) : Bytes;
  std::string s;
  for (unsigned char c : b) s += std::to_string(int(c)) + ".";
  s.pop_back();
  return s;
}

std::string VXStrToGPSVersion(const std::string& Text) {
  std::string r;
  size_t start = 0;
  while (start <= Text.size()) {
    size_t dot = Text.find('.', start);
    if (dot == std::string::npos) dot = Text.size();
    r += char(uint8_t(VXStrToIntDefAnsi(Text.substr(start, dot - start), 0)));
    start = dot + 1;
  }
  r.resize(4, '\0');
  return r;
}

void VXReadEXIFUserComment(const TVXTIFFIFDReader& Exif, TIOParamsVals& P) {
  const TVXArrayOfByte raw = Exif.ReadRawDataAsArrayOfByte(kTagUserComment);
  if (raw.size() < 9) {
    P.SetEXIF_UserCommentCode(kUnicodeCode);
    P.SetEXIF_UserComment("");
    return;
  }
  const std::string code(reinterpret_cast<const char*>(raw.data()), 8);
  P.SetEXIF_UserCommentCode(code);
  const size_t n = raw.size() - 8;
  if (code == kUnicodeCode) {
    // UTF-16 in the byte order of the directory (big-endian EXIF data holds
    // big-endian text).
    const bool le = Exif.LittleEndian;
    std::u16string w((n + 1) / 2, u'\0');
    for (size_t i = 0; i < n; ++i)
      w[i / 2] = char16_t(w[i / 2] | (raw[8 + i] << (8 * ((i % 2) ^ (le ? 0 : 1)))));
    // Writers end the text with NULs; they are no part of it.
    while (!w.empty() && w.back() == u'\0') w.pop_back();
    P.SetEXIF_UserComment(VXUTF16ToUTF8(w));
  } else {
    std::string s(reinterpret_cast<const char*>(raw.data()) + 8, n);
    while (!s.empty() && s.back() == '\0') s.pop_back();
    P.SetEXIF_UserComment(VXAnsiToUTF8(s));
  }
}

void VXLoadTagsHandlerFromTag(const TVXTIFFIFDReader& Reader, uint16_t Tag, TVXTagsHandler& Handler) {
  Handler.Clear();
  const int32_t i = Reader.FindTAG(Tag);
  if (i < 0 || !Reader.Stream) return;
  const int64_t length = Reader.GetDataLengthInBytes(i);
  if (length <= 4 || length > INT32_MAX) return;
  const int64_t pos = Reader.StreamBase + Reader.GetDataPos(i);
  if (pos < 0 || pos >= Reader.Stream->Size()) return;
  const int64_t keep = Reader.Stream->Position();
  Reader.Stream->SetPosition(pos);
  Handler.ReadFromStream(Reader.Stream, int32_t(length), Reader.LittleEndian, Reader.StreamBase);
  Reader.Stream->SetPosition(keep);
}

void VXReadEXIFTags(const TVXTIFFIFDReader& r, const TVXTIFFIFDReader& e, const TVXTIFFIFDReader& g,
                    const TVXTIFFIFDReader& io, TIOParamsVals& P) {
  // Main directory (resolution and its unit come with the page's resolution).
  P.SetEXIF_ImageDescription(r.ReadString(270, true));
  P.SetEXIF_Make(r.ReadString(271, true));
  P.SetEXIF_Model(r.ReadString(272, true));
  P.SetEXIF_DateTime(r.ReadString(306, true));
  P.SetEXIF_Software(r.ReadString(305, true));
  P.SetEXIF_XPRating(ToInt(r.ReadInteger(18246, 0, -1)));
  P.SetEXIF_XPTitle(Wide(r, 40091));
  P.SetEXIF_XPComment(Wide(r, 40092));
  P.SetEXIF_XPAuthor(Wide(r, 40093));
  P.SetEXIF_XPKeywords(Wide(r, 40094));
  P.SetEXIF_XPSubject(Wide(r, 40095));
  P.SetEXIF_Artist(r.ReadString(315, true));
  for (int i = 0; i < 2; ++i) P.SetEXIF_WhitePoint(i, r.ReadRational(318, i, -1));
  P.SetEXIF_YCbCrPositioning(ToInt(r.ReadInteger(531, 0, -1)));
  for (int i = 0; i < 6; ++i) P.SetEXIF_PrimaryChromaticities(i, r.ReadRational(319, i, -1));
  for (int i = 0; i < 3; ++i) P.SetEXIF_YCbCrCoefficients(i, r.ReadRational(529, i, -1));
  for (int i = 0; i < 6; ++i) P.SetEXIF_ReferenceBlackWhite(i, r.ReadRational(532, i, -1));
  P.SetEXIF_Copyright(r.ReadString(33432, true));

  // EXIF directory.
  P.SetEXIF_ExposureTime(e.ReadRational(33434, 0, -1));
  P.SetEXIF_FNumber(e.ReadRational(33437, 0, -1));
  P.SetEXIF_ExposureProgram(ToInt(e.ReadInteger(34850, 0, -1)));
  P.SetEXIF_ISOSpeedRatings(0, ToInt(e.ReadInteger(34855, 0, 0)));
  P.SetEXIF_ISOSpeedRatings(1, ToInt(e.ReadInteger(34855, 1, 0)));
  P.SetEXIF_ExifVersion(e.ReadString(36864, true));
  P.SetEXIF_DateTimeOriginal(e.ReadString(36867, true));
  P.SetEXIF_DateTimeDigitized(e.ReadString(36868, true));
  P.SetEXIF_CompressedBitsPerPixel(e.ReadRational(37122, 0, 0));
  P.SetEXIF_ShutterSpeedValue(e.ReadRational(37377, 0, -1));
  P.SetEXIF_ApertureValue(e.ReadRational(37378, 0, -1));
  P.SetEXIF_BrightnessValue(e.ReadRational(37379, 0, -1000));
  P.SetEXIF_ExposureBiasValue(e.ReadRational(37380, 0, -1000));
  P.SetEXIF_MaxApertureValue(e.ReadRational(37381, 0, -1000));
  P.SetEXIF_SubjectDistance(e.ReadRational(37382, 0, -1));
  P.SetEXIF_MeteringMode(ToInt(e.ReadInteger(37383, 0, -1)));
  P.SetEXIF_LightSource(ToInt(e.ReadInteger(37384, 0, -1)));
  P.SetEXIF_Flash(ToInt(e.ReadInteger(37385, 0, -1)));
  P.SetEXIF_FocalLength(e.ReadRational(37386, 0, -1));
  P.SetEXIF_SubsecTime(e.ReadString(37520, true));
  P.SetEXIF_SubsecTimeOriginal(e.ReadString(37521, true));
  P.SetEXIF_SubsecTimeDigitized(e.ReadString(37522, true));
  P.SetEXIF_FlashPixVersion(e.ReadString(40960, true));
  P.SetEXIF_ColorSpace(ToInt(e.ReadInteger(40961, 0, -1)));
  P.SetEXIF_ExifImageWidth(ToInt(e.ReadInteger(40962, 0, 0)));
  P.SetEXIF_ExifImageHeight(ToInt(e.ReadInteger(40963, 0, 0)));
  P.SetEXIF_RelatedSoundFile(e.ReadString(40964, true));
  P.SetEXIF_FocalPlaneXResolution(e.ReadRational(41486, 0, -1));
  P.SetEXIF_FocalPlaneYResolution(e.ReadRational(41487, 0, -1));
  P.SetEXIF_FocalPlaneResolutionUnit(ToInt(e.ReadInteger(41488, 0, -1)));
  P.SetEXIF_ExposureIndex(e.ReadRational(41493, 0, -1));
  P.SetEXIF_SensingMethod(ToInt(e.ReadInteger(41495, 0, -1)));
  P.SetEXIF_FileSource(ToInt(e.ReadInteger(41728, 0, -1)));
  P.SetEXIF_SceneType(ToInt(e.ReadInteger(41729, 0, -1)));
  P.SetEXIF_ExposureMode(ToInt(e.ReadInteger(41986, 0, -1)));
  P.SetEXIF_WhiteBalance(ToInt(e.ReadInteger(41987, 0, -1)));
  P.SetEXIF_DigitalZoomRatio(e.ReadRational(41988, 0, -1));
  P.SetEXIF_FocalLengthIn35mmFilm(ToInt(e.ReadInteger(41989, 0, -1)));
  P.SetEXIF_SceneCaptureType(ToInt(e.ReadInteger(41990, 0, -1)));
  P.SetEXIF_GainControl(ToInt(e.ReadInteger(41991, 0, -1)));
  P.SetEXIF_Contrast(ToInt(e.ReadInteger(41992, 0, -1)));
  P.SetEXIF_Saturation(ToInt(e.ReadInteger(41993, 0, -1)));
  P.SetEXIF_Sharpness(ToInt(e.ReadInteger(41994, 0, -1)));
  P.SetEXIF_SubjectDistanceRange(ToInt(e.ReadInteger(41996, 0, -1)));
  P.SetEXIF_ImageUniqueID(e.ReadString(42016, true));
  VXReadEXIFUserComment(e, P);
  VXLoadTagsHandlerFromTag(e, kTagMakerNote, P.EXIF_MakerNote());

  // GPS directory.
  if (g.NumTags() > 0) {
    P.SetEXIF_GPSVersionID(VXGPSVersionToStr(g.ReadString(0, true)));
    P.SetEXIF_GPSLatitudeRef(g.ReadString(1, true));
    P.SetEXIF_GPSLatitudeDegrees(g.ReadRational(2, 0, 0));
    P.SetEXIF_GPSLatitudeMinutes(g.ReadRational(2, 1, 0));
    P.SetEXIF_GPSLatitudeSeconds(g.ReadRational(2, 2, 0));
    P.SetEXIF_GPSLongitudeRef(g.ReadString(3, true));
    P.SetEXIF_GPSLongitudeDegrees(g.ReadRational(4, 0, 0));
    P.SetEXIF_GPSLongitudeMinutes(g.ReadRational(4, 1, 0));
    P.SetEXIF_GPSLongitudeSeconds(g.ReadRational(4, 2, 0));
    P.SetEXIF_GPSAltitudeRef(std::to_string(g.ReadInteger(5, 0, 0)));
    P.SetEXIF_GPSAltitude(g.ReadRational(6, 0, 0));
    P.SetEXIF_GPSTimeStampHour(g.ReadRational(7, 0, 0));
    P.SetEXIF_GPSTimeStampMinute(g.ReadRational(7, 1, 0));
    P.SetEXIF_GPSTimeStampSecond(g.ReadRational(7, 2, 0));
    P.SetEXIF_GPSSatellites(g.ReadString(8, true));
    P.SetEXIF_GPSStatus(g.ReadString(9, true));
    P.SetEXIF_GPSMeasureMode(g.ReadString(10, true));
    P.SetEXIF_GPSDOP(g.ReadRational(11, 0, 0));
    P.SetEXIF_GPSSpeedRef(g.ReadString(12, true));
    P.SetEXIF_GPSSpeed(g.ReadRational(13, 0, 0));
    P.SetEXIF_GPSTrackRef(g.ReadString(14, true));
    P.SetEXIF_GPSTrack(g.ReadRational(15, 0, 0));
    P.SetEXIF_GPSImgDirectionRef(g.ReadString(16, true));
    P.SetEXIF_GPSImgDirection(g.ReadRational(17, 0, 0));
    P.SetEXIF_GPSMapDatum(g.ReadString(18, true));
    P.SetEXIF_GPSDestLatitudeRef(g.ReadString(19, true));
    P.SetEXIF_GPSDestLatitudeDegrees(g.ReadRational(20, 0, 0));
    P.SetEXIF_GPSDestLatitudeMinutes(g.ReadRational(20, 1, 0));
    P.SetEXIF_GPSDestLatitudeSeconds(g.ReadRational(20, 2, 0));
    P.SetEXIF_GPSDestLongitudeRef(g.ReadString(21, true));
    P.SetEXIF_GPSDestLongitudeDegrees(g.ReadRational(22, 0, 0));
    P.SetEXIF_GPSDestLongitudeMinutes(g.ReadRational(22, 1, 0));
    P.SetEXIF_GPSDestLongitudeSeconds(g.ReadRational(22, 2, 0));
    P.SetEXIF_GPSDestBearingRef(g.ReadString(23, true));
    P.SetEXIF_GPSDestBearing(g.ReadRational(24, 0, 0));
    P.SetEXIF_GPSDestDistanceRef(g.ReadString(25, true));
    P.SetEXIF_GPSDestDistance(g.ReadRational(26, 0, 0));
    P.SetEXIF_GPSDateStamp(g.ReadString(29, true));
    P.AdjustGPSCoordinates();
  }

  // Interoperability directory.
  P.SetEXIF_InteropIndex(io.ReadString(1, true));
  P.SetEXIF_InteropVersion(io.ReadString(2, true));
}

// ---------------------------------------------------------------------------
// Writing

void VXWriteEXIFUserComment(TVXTIFFIFDWriter& W, TStream* Stream, const std::string& CodeIn, bool& Aborting,
                            const std::string& Text) {
  const std::string code = CodeIn.empty() ? kUnicodeCode : CodeIn;
  if (Text.empty() || code.size() != 8) return;
  std::vector<uint8_t> b(code.begin(), code.end());
  if (code == kUnicodeCode) {
    const std::u16string w = VXUTF8ToUTF16(Text);
    for (char16_t c : w) {
      b.push_back(uint8_t(c));
      b.push_back(uint8_t(c >> 8));
    }
    b.push_back(0);
    b.push_back(0);
  } else {
    // ASCII ends with a NUL; any other code holds 8-bit text as read back.
    const std::string a = VXUTF8ToAnsi(Text);
    b.insert(b.end(), a.begin(), a.end());
    if (code == kAsciiCode) b.push_back(0);
  }
  W.WriteArrayOfByte(Stream, kTagUserComment, 7, b, Aborting);
}

void VXWriteTIFFMakerNote(TVXTIFFIFDWriter& W, TStream* Stream, uint16_t Tag, bool& Aborting,
                          TVXTagsHandler& Handler) {
  if (Handler.Data().Size() <= 12) return;
  const int64_t pos = VXStreamPadToWord(Stream, Aborting);
  const int32_t length = Handler.WriteToStream(Stream, 0);
  if (length <= 0) return;
  W.AddTag(Tag, 7, length, uint32_t(pos));
}

void VXWriteEXIFInteropIFD(TVXTIFFIFDWriter& ExifWriter, TStream* DataStream, TIOParamsVals& P, bool& Aborting) {
  TVXTIFFIFDWriter w;
  w.WriteText(DataStream, 1, P.EXIF_InteropIndex(), Aborting);
  w.WriteMiniString(2, P.EXIF_InteropVersion());
  const int64_t pos = VXStreamPadToWord(DataStream, Aborting);
  w.ReorderTags();
  uint8_t cnt[2];
  VXTIFFPut16(cnt, uint16_t(w.Count()), true);
  VXWriteChecked(DataStream, Aborting, cnt, 2);
  for (const TTIFFTAG& t : w.Items) VXWriteTIFFTag(DataStream, t, true, Aborting);
  const uint8_t next[4] = {0, 0, 0, 0};
  VXWriteChecked(DataStream, Aborting, next, 4);
  ExifWriter.WriteSingleLong(kTagInteropIFD, uint32_t(pos));
}

void VXWriteEXIFGPSIFD(TVXTIFFIFDWriter& Main, TStream* Stream, TIOParamsVals& P, bool& Aborting) {
  TVXTIFFIFDWriter w;
  TMemoryStream data;
  w.WriteMiniByteString(0, VXStrToGPSVersion(P.EXIF_GPSVersionID()));
  auto triple = [&](uint16_t refTag, const std::string& ref, uint16_t tag, double a, double b, double c) {
    if (ref.empty()) return;
    w.WriteMiniString(refTag, ref);
    const double v[3] = {a, b, c};
    w.WriteMultiRational(&data, tag, Aborting, v);
  };
  auto single = [&](uint16_t refTag, const std::string& ref, uint16_t tag, double v) {
    if (ref.empty()) return;
    w.WriteMiniString(refTag, ref);
    w.WriteSingleRational(&data, tag, v, Aborting);
  };
  triple(1, P.EXIF_GPSLatitudeRef(), 2, P.EXIF_GPSLatitudeDegrees(), P.EXIF_GPSLatitudeMinutes(),
         P.EXIF_GPSLatitudeSeconds());
  triple(3, P.EXIF_GPSLongitudeRef(), 4, P.EXIF_GPSLongitudeDegrees(), P.EXIF_GPSLongitudeMinutes(),
         P.EXIF_GPSLongitudeSeconds());
  if (!P.EXIF_GPSAltitudeRef().empty()) {
    w.WriteSingleByte(5, uint8_t(VXStrToIntDefAnsi(P.EXIF_GPSAltitudeRef(), 0)));
    w.WriteSingleRational(&data, 6, P.EXIF_GPSAltitude(), Aborting);
  }
  single(12, P.EXIF_GPSSpeedRef(), 13, P.EXIF_GPSSpeed());
  single(14, P.EXIF_GPSTrackRef(), 15, P.EXIF_GPSTrack());
  single(16, P.EXIF_GPSImgDirectionRef(), 17, P.EXIF_GPSImgDirection());
  triple(19, P.EXIF_GPSDestLatitudeRef(), 20, P.EXIF_GPSDestLatitudeDegrees(), P.EXIF_GPSDestLatitudeMinutes(),
         P.EXIF_GPSDestLatitudeSeconds());
  triple(21, P.EXIF_GPSDestLongitudeRef(), 22, P.EXIF_GPSDestLongitudeDegrees(), P.EXIF_GPSDestLongitudeMinutes(),
         P.EXIF_GPSDestLongitudeSeconds());
  single(23, P.EXIF_GPSDestBearingRef(), 24, P.EXIF_GPSDestBearing());
  single(25, P.EXIF_GPSDestDistanceRef(), 26, P.EXIF_GPSDestDistance());
  const double ts[3] = {P.EXIF_GPSTimeStampHour(), P.EXIF_GPSTimeStampMinute(), P.EXIF_GPSTimeStampSecond()};
  w.WriteMultiRational(&data, 7, Aborting, ts);
  w.WriteMiniString(9, P.EXIF_GPSStatus());
  w.WriteMiniString(10, P.EXIF_GPSMeasureMode());
  w.WriteSingleRational(&data, 11, P.EXIF_GPSDOP(), Aborting);
  w.WriteText(&data, 8, P.EXIF_GPSSatellites(), Aborting);
  w.WriteText(&data, 18, P.EXIF_GPSMapDatum(), Aborting);
  w.WriteText(&data, 29, P.EXIF_GPSDateStamp(), Aborting);
  Main.WriteSingleLong(kTagGpsIFD, FlushSubIFD(w, data, Stream, Aborting));
}

void VXWriteEXIFTags(TVXTIFFIFDWriter& W, TStream* Stream, TIOParamsVals& P, bool& Aborting) {
  // 1. Main directory.
  W.WriteText(Stream, 270, P.EXIF_ImageDescription(), Aborting);
  if (P.EXIF_XResolution() != 0) W.WriteSingleRational(Stream, 282, P.EXIF_XResolution(), Aborting);
  if (P.EXIF_YResolution() != 0) W.WriteSingleRational(Stream, 283, P.EXIF_YResolution(), Aborting);
  W.WriteSingleShort(274, uint16_t(P.TIFF_Orientation()));
  W.WriteSingleShort(296, 2);
  W.WriteText(Stream, 305, P.EXIF_Software(), Aborting);
  if (P.EXIF_XPRating() >= 0) W.WriteSingleShort(18246, uint16_t(P.EXIF_XPRating()));
  const std::string* xp[5] = {&P.EXIF_XPTitle(), &P.EXIF_XPComment(), &P.EXIF_XPAuthor(), &P.EXIF_XPKeywords(),
                              &P.EXIF_XPSubject()};
  for (int i = 0; i < 5; ++i)
    if (!xp[i]->empty()) W.WriteWideString(Stream, uint16_t(40091 + i), VXUTF8ToUTF16(*xp[i]), Aborting);
  W.WriteText(Stream, 315, P.EXIF_Artist(), Aborting);
  W.WriteText(Stream, 271, P.EXIF_Make(), Aborting);
  W.WriteText(Stream, 272, P.EXIF_Model(), Aborting);
  W.WriteText(Stream, 306, P.EXIF_DateTime(), Aborting);
  // 2.
  if (P.EXIF_WhitePoint(0) != -1 || P.EXIF_WhitePoint(1) != -1) {
    const double v[2] = {P.EXIF_WhitePoint(0), P.EXIF_WhitePoint(1)};
    W.WriteMultiRational(Stream, 318, Aborting, v);
  }
  // Absent (-1) and 0 are no positioning.
  if (P.EXIF_YCbCrPositioning() > 0) W.WriteSingleShort(531, uint16_t(P.EXIF_YCbCrPositioning()));
  auto anySet = [](auto get, int n) {
    for (int i = 0; i < n; ++i)
      if (get(i) != -1) return true;
    return false;
  };
  if (anySet([&](int i) { return P.EXIF_PrimaryChromaticities(i); }, 6)) {
    double v[6];
    for (int i = 0; i < 6; ++i) v[i] = P.EXIF_PrimaryChromaticities(i);
    W.WriteMultiRational(Stream, 319, Aborting, v);
  }
  if (anySet([&](int i) { return P.EXIF_YCbCrCoefficients(i); }, 3)) {
    double v[3];
    for (int i = 0; i < 3; ++i) v[i] = P.EXIF_YCbCrCoefficients(i);
    W.WriteMultiRational(Stream, 529, Aborting, v);
  }
  if (anySet([&](int i) { return P.EXIF_ReferenceBlackWhite(i); }, 6)) {
    double v[6];
    for (int i = 0; i < 6; ++i) v[i] = P.EXIF_ReferenceBlackWhite(i);
    W.WriteMultiRational(Stream, 532, Aborting, v);
  }
  W.WriteText(Stream, 33432, P.EXIF_Copyright(), Aborting);

  // 3. EXIF directory.
  TVXTIFFIFDWriter e;
  TMemoryStream data;
  const TVXTIFFIFDWriter::TTagList& list = P.EXIF_Tags();
  struct TRat {
    uint16_t tag;
    double v;
  };
  const TRat rationals[] = {{33434, P.EXIF_ExposureTime()},        {33437, P.EXIF_FNumber()},
                            {37122, P.EXIF_CompressedBitsPerPixel()}, {37377, P.EXIF_ShutterSpeedValue()},
                            {37378, P.EXIF_ApertureValue()},       {37381, P.EXIF_MaxApertureValue()},
                            {37382, P.EXIF_SubjectDistance()},     {37386, P.EXIF_FocalLength()},
                            {41486, P.EXIF_FocalPlaneXResolution()}, {41487, P.EXIF_FocalPlaneYResolution()},
                            {41493, P.EXIF_ExposureIndex()}};
  for (const TRat& r : rationals) e.WriteSingleRational(&data, r.tag, r.v, Aborting, &list);
  // Brightness and exposure bias are signed.
  if (Listed(P, 37379)) WriteSignedRationals(e, &data, 37379, Aborting, {P.EXIF_BrightnessValue()});
  if (Listed(P, 37380)) WriteSignedRationals(e, &data, 37380, Aborting, {P.EXIF_ExposureBiasValue()});
  const std::pair<uint16_t, int32_t> shorts[] = {
      {34850, P.EXIF_ExposureProgram()}, {37383, P.EXIF_MeteringMode()},        {37384, P.EXIF_LightSource()},
      {37385, P.EXIF_Flash()},           {40961, P.EXIF_ColorSpace()},          {41488, P.EXIF_FocalPlaneResolutionUnit()},
      {41495, P.EXIF_SensingMethod()}};
  for (const auto& [tag, v] : shorts) e.WriteSingleShort(tag, uint16_t(v), &list);
  // Image sizes above 65,535 need a LONG.
  if (Listed(P, 40962)) WriteShortOrLong(e, 40962, P.EXIF_ExifImageWidth());
  if (Listed(P, 40963)) WriteShortOrLong(e, 40963, P.EXIF_ExifImageHeight());
  e.WriteSingleUndefined(41728, uint32_t(uint8_t(P.EXIF_FileSource())), &list);
  e.WriteSingleUndefined(41729, uint32_t(uint8_t(P.EXIF_SceneType())), &list);
  if (P.EXIF_ISOSpeedRatings(1) != 0) {
    const uint16_t iso[2] = {uint16_t(P.EXIF_ISOSpeedRatings(0)), uint16_t(P.EXIF_ISOSpeedRatings(1))};
    e.WriteMultiShort(&data, 34855, Aborting, iso);
  } else if (P.EXIF_ISOSpeedRatings(0) != 0) {
    e.WriteSingleShort(34855, uint16_t(P.EXIF_ISOSpeedRatings(0)));
  }
  e.WriteMiniString(36864, P.EXIF_ExifVersion().substr(0, 4));
  e.WriteText(&data, 36867, P.EXIF_DateTimeOriginal(), Aborting);
  e.WriteText(&data, 36868, P.EXIF_DateTimeDigitized(), Aborting);
  e.WriteText(&data, 37520, P.EXIF_SubsecTime(), Aborting);
  e.WriteText(&data, 37521, P.EXIF_SubsecTimeOriginal(), Aborting);
  e.WriteText(&data, 37522, P.EXIF_SubsecTimeDigitized(), Aborting);
  e.WriteText(&data, 40964, P.EXIF_RelatedSoundFile(), Aborting);
  e.WriteText(&data, 42016, P.EXIF_ImageUniqueID(), Aborting);
  if (!P.EXIF_FlashPixVersion().empty()) e.WriteMiniString(40960, P.EXIF_FlashPixVersion().substr(0, 4));
  const std::pair<uint16_t, int32_t> optional[] = {
      {41986, P.EXIF_ExposureMode()}, {41987, P.EXIF_WhiteBalance()}, {41989, P.EXIF_FocalLengthIn35mmFilm()},
      {41990, P.EXIF_SceneCaptureType()}, {41991, P.EXIF_GainControl()}, {41992, P.EXIF_Contrast()},
      {41993, P.EXIF_Saturation()}, {41994, P.EXIF_Sharpness()}, {41996, P.EXIF_SubjectDistanceRange()}};
  for (const auto& [tag, v] : optional)
    if (v != -1) e.WriteSingleShort(tag, uint16_t(v));
  if (P.EXIF_DigitalZoomRatio() != -1) e.WriteSingleRational(&data, 41988, P.EXIF_DigitalZoomRatio(), Aborting);
  VXWriteEXIFUserComment(e, &data, P.EXIF_UserCommentCode(), Aborting, P.EXIF_UserComment());
  VXWriteTIFFMakerNote(e, &data, kTagMakerNote, Aborting, P.EXIF_MakerNote());
  if (!P.EXIF_InteropIndex().empty()) VXWriteEXIFInteropIFD(e, &data, P, Aborting);
  W.WriteSingleLong(kTagExifIFD, FlushSubIFD(e, data, Stream, Aborting));

  // 4.
  if (!P.EXIF_GPSVersionID().empty()) VXWriteEXIFGPSIFD(W, Stream, P, Aborting);
}
