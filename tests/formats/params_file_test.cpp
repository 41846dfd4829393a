// The binary parameter file: round trips of version 52, streams of older
// versions built byte by byte, and damaged streams.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "core/dictionary.h"
#include "core/icc.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "io/annotations.h"
#include "io/dicomtags.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/params.h"
#include "tests/core/library_environment.h"
#include "tests/core/runtime_test_util.h"

VX_START_LIBRARY_FOR_TESTS();

namespace {

std::vector<uint8_t> Saved(TIOParamsVals& P) {
  TMemoryStream ms;
  P.SaveToStream(ms);
  const uint8_t* m = static_cast<const uint8_t*>(ms.Memory());
  return std::vector<uint8_t>(m, m + ms.Size());
}

// Loads Bytes into P; the stream position afterwards.
int64_t Load(TIOParamsVals& P, const std::vector<uint8_t>& Bytes) {
  TVXMemStream ms(Bytes.data(), int64_t(Bytes.size()));
  P.LoadFromStream(ms);
  return ms.Position();
}

std::string ErrorOf(TIOParamsVals& P, const std::vector<uint8_t>& Bytes) {
  try {
    Load(P, Bytes);
  } catch (const EVXException& e) {
    return e.what();
  }
  return "";
}

TEST(ParamsFile, DefaultsRoundTripAndVersionIs52) {
  TIOParamsVals a;
  const std::vector<uint8_t> b = Saved(a);
  ASSERT_GE(b.size(), 4u);
  EXPECT_EQ(b[0], 52);
  EXPECT_EQ(b[1] | b[2] | b[3], 0);
  TIOParamsVals c;
  EXPECT_EQ(Load(c, b), int64_t(b.size()));
  // A fresh object ends with the one transfer-syntax tag.
  ASSERT_EQ(c.DICOM_Tags().Count(), 1);
  EXPECT_EQ(c.DICOM_Tags().GetTagString(0x0002, 0x0010), "1.2.840.10008.1.2.1");
  EXPECT_EQ(c.DICOM_Tags().GetTag(0)->DataLen, 20);
  EXPECT_EQ(Saved(c), b);
}

TEST(ParamsFile, WritingCreatesTheProfilesWithAnSRGBOutputProfile) {
  TIOParamsVals p;
  ASSERT_EQ(p.fOutputICC, nullptr);
  ASSERT_EQ(p.fImagingAnnot, nullptr);
  Saved(p);
  ASSERT_NE(p.fOutputICC, nullptr);
  ASSERT_NE(p.fInputICC, nullptr);
  ASSERT_NE(p.fDefaultICC, nullptr);
  EXPECT_NE(p.fImagingAnnot, nullptr);
  TVXICC srgb;
  srgb.Assign_sRGBProfile();
  EXPECT_EQ(p.fOutputICC->IsValid(), srgb.IsValid());
  EXPECT_FALSE(p.fInputICC->IsValid());
}

TEST(ParamsFile, AtAnOffsetWithASentinelAndTwoSetsInSequence) {
  TIOParamsVals a, b;
  a.SetJPEG_Quality(33);
  a.SetFileName("first.jpg");
  b.SetJPEG_Quality(66);
  b.SetFileName("second.png");
  TMemoryStream ms;
  const char junk[7] = {'j', 'u', 'n', 'k', 1, 2, 3};
  ms.WriteBuffer(junk, 7);
  a.SaveToStream(ms);
  const int64_t second = ms.Position();
  b.SaveToStream(ms);
  const int64_t sentinel = ms.Position();
  ms.WriteBuffer("SENTINEL", 8);

  ms.SetPosition(7);
  TIOParamsVals x, y;
  x.LoadFromStream(ms);
  EXPECT_EQ(ms.Position(), second);
  y.LoadFromStream(ms);
  EXPECT_EQ(ms.Position(), sentinel);
  EXPECT_EQ(x.JPEG_Quality(), 33);
  EXPECT_EQ(x.FileName(), "first.jpg");
  EXPECT_EQ(y.JPEG_Quality(), 66);
  EXPECT_EQ(y.FileName(), "second.png");
}

TEST(ParamsFile, VersionsOutsideTheRangeAreRefusedAndChangeNothing) {
  TIOParamsVals src;
  std::vector<uint8_t> b = Saved(src);
  for (int32_t v : {53, -1, 1000}) {
    SCOPED_TRACE(v);
    std::memcpy(b.data(), &v, 4);  // little-endian machine
    TIOParamsVals p;
    p.Dict().Insert("kept", 5);
    p.SetJPEG_Quality(12);
    EXPECT_EQ(ErrorOf(p, b), "Unsupported parameter file version");
    EXPECT_TRUE(p.Dict().HasKey("kept", false));
    EXPECT_EQ(p.JPEG_Quality(), 12);
  }
}

TEST(ParamsFile, EveryPrefixRaisesCleanly) {
  TIOParamsVals src;
  src.SetFileName("prefix.tif");
  src.JPEG_MarkerList().AddMarker(0xE1, "abc", 3);
  src.IPTC_Info().AddStringItem(2, 120, "caption");
  src.GIF_Comments().push_back("comment");
  const std::vector<uint8_t> b = Saved(src);
  for (size_t n = 0; n < b.size(); ++n) {
    const std::vector<uint8_t> cut(b.begin(), b.begin() + int64_t(n));
    TIOParamsVals p;
    EXPECT_EQ(ErrorOf(p, cut), "Damaged parameter stream") << "prefix of " << n << " bytes";
  }
}

// ---------------------------------------------------------------------------
// A full set: every property name, the fields no name reaches and the
// containers, through a save and a load into a fresh object.

const char* const kPropertyNames[] = {
    "FILENAME", "FILETYPESTR", "FILETYPE", "BITSPERSAMPLE", "SAMPLESPERPIXEL", "WIDTH", "HEIGHT", "DPIX",
    "DPIY", "COLORMAPITEM", "COLORMAPCOUNT", "ISNATIVEPIXELFORMAT", "ENABLEADJUSTORIENTATION", "ABORTING",
    "TIFF_COMPRESSIONSTR", "TIFF_COMPRESSION", "TIFF_IMAGEINDEX", "TIFF_SUBINDEX", "TIFF_IMAGECOUNT",
    "TIFF_JPEGQUALITY", "TIFF_ZIPCOMPRESSION", "TIFF_STRIPCOUNT", "TIFF_PHOTOMETINTEPRETSTR",
    "TIFF_PHOTOMETINTEPRET", "TIFF_PLANARCONF", "TIFF_NEWSUBFILETYPE", "TIFF_XPOS", "TIFF_YPOS",
    "TIFF_GETTILE", "TIFF_DOCUMENTNAME", "TIFF_IMAGEDESCRIPTION", "TIFF_PAGENAME", "TIFF_PAGENUMBER",
    "TIFF_PAGECOUNT", "TIFF_JPEGCOLORSPACE", "TIFF_FILLORDER", "TIFF_ORIENTATION",
    "TIFF_ENABLEADJUSTORIENTATION", "TIFF_BYTEORDER", "DCX_IMAGEINDEX", "AVI_FRAMECOUNT", "AVI_FRAMEDELAYTIME",
    "GIF_VERSION", "GIF_IMAGEINDEX", "GIF_IMAGECOUNT", "GIF_XPOS", "GIF_YPOS", "GIF_DELAYTIME",
    "GIF_TRANSPARENT", "GIF_TRANSPCOLOR", "GIF_INTERLACED", "GIF_WINWIDTH", "GIF_WINHEIGHT", "GIF_BACKGROUND",
    "GIF_RATIO", "JPEG_COLORSPACE", "JPEG_QUALITY", "JPEG_DCTMETHOD", "JPEG_OPTIMALHUFFMAN", "JPEG_SMOOTH",
    "JPEG_PROGRESSIVE", "JPEG_SCALE_USED", "JPEG_SCALE", "JPEG_ENABLEADJUSTORIENTATION",
    "JPEG_GETEXIFTHUMBNAIL", "JPEG_WARNINGTOT", "JPEG_WARNINGCODE", "JPEG_ORIGINALWIDTH",
    "JPEG_ORIGINALHEIGHT", "ORIGINALWIDTH", "ORIGINALHEIGHT", "JPEG_CROMASUBSAMPLING", "PCX_VERSION",
    "PCX_COMPRESSION", "BMP_VERSION", "BMP_COMPRESSION", "BMP_HANDLETRANSPARENCY", "BMPRAW_CHANNELORDER",
    "BMPRAW_PLANES", "BMPRAW_ROWALIGN", "BMPRAW_HEADERSIZE", "BMPRAW_DATAFORMAT", "ICO_IMAGEINDEX",
    "ICO_BACKGROUND", "CUR_IMAGEINDEX", "CUR_XHOTSPOT", "CUR_YHOTSPOT", "CUR_BACKGROUND", "PNG_INTERLACED",
    "PNG_BACKGROUND", "PNG_FILTER", "PNG_COMPRESSION", "PSD_LOADLAYERS", "PSD_REPLACELAYERS",
    "PSD_HASPREMULTIPLIEDALPHA", "HDP_IMAGEQUALITY", "HDP_LOSSLESS", "TGA_XPOS", "TGA_YPOS", "TGA_COMPRESSED",
    "TGA_DESCRIPTOR", "TGA_AUTHOR", "TGA_DATE", "TGA_IMAGENAME", "TGA_BACKGROUND", "TGA_ASPECTRATIO",
    "TGA_GAMMA", "TGA_GRAYLEVEL", "J2000_COLORSPACE", "J2000_RATE", "J2000_SCALABLEBY", "PS_PAPERWIDTH",
    "PS_PAPERHEIGHT", "PS_COMPRESSION", "PS_TITLE", "PDF_PAPERWIDTH", "PDF_PAPERHEIGHT", "PDF_COMPRESSION",
    "PDF_TITLE", "PDF_AUTHOR", "PDF_SUBJECT", "PDF_KEYWORDS", "PDF_CREATOR", "PDF_PRODUCER", "EXIF_HASEXIF",
    "EXIF_IMAGEDESCRIPTION", "EXIF_MAKE", "EXIF_MODEL", "EXIF_ORIENTATION", "EXIF_XRESOLUTION",
    "EXIF_YRESOLUTION", "EXIF_RESOLUTIONUNIT", "EXIF_SOFTWARE", "EXIF_DATETIME", "EXIF_COPYRIGHT",
    "EXIF_EXPOSURETIME", "EXIF_FNUMBER", "EXIF_EXPOSUREPROGRAM", "EXIF_EXIFVERSION", "EXIF_DATETIMEORIGINAL",
    "EXIF_DATETIMEDIGITIZED", "EXIF_COMPRESSEDBITSPERPIXEL", "EXIF_SHUTTERSPEEDVALUE", "EXIF_APERTUREVALUE",
    "EXIF_BRIGHTNESSVALUE", "EXIF_EXPOSUREBIASVALUE", "EXIF_MAXAPERTUREVALUE", "EXIF_SUBJECTDISTANCE",
    "EXIF_METERINGMODE", "EXIF_LIGHTSOURCE", "EXIF_FLASH", "EXIF_FOCALLENGTH", "EXIF_SUBSECTIME",
    "EXIF_SUBSECTIMEORIGINAL", "EXIF_SUBSECTIMEDIGITIZED", "EXIF_FLASHPIXVERSION", "EXIF_COLORSPACE",
    "EXIF_EXIFIMAGEWIDTH", "EXIF_EXIFIMAGEHEIGHT", "EXIF_RELATEDSOUNDFILE", "EXIF_FOCALPLANEXRESOLUTION",
    "EXIF_FOCALPLANEYRESOLUTION", "EXIF_FOCALPLANERESOLUTIONUNIT", "EXIF_EXPOSUREINDEX", "EXIF_SENSINGMETHOD",
    "EXIF_FILESOURCE", "EXIF_SCENETYPE", "EXIF_USERCOMMENT", "EXIF_USERCOMMENTCODE", "EXIF_EXPOSUREMODE",
    "EXIF_WHITEBALANCE", "EXIF_DIGITALZOOMRATIO", "EXIF_FOCALLENGTHIN35MMFILM", "EXIF_SCENECAPTURETYPE",
    "EXIF_GAINCONTROL", "EXIF_CONTRAST", "EXIF_SATURATION", "EXIF_SHARPNESS", "EXIF_SUBJECTDISTANCERANGE",
    "EXIF_IMAGEUNIQUEID", "EXIF_ARTIST", "EXIF_ISOSPEEDRATINGS0", "EXIF_ISOSPEEDRATINGS1", "EXIF_XPRATING",
    "EXIF_XPTITLE", "EXIF_XPCOMMENT", "EXIF_XPAUTHOR", "EXIF_XPKEYWORDS", "EXIF_XPSUBJECT", "EXIF_WHITEPOINT0",
    "EXIF_WHITEPOINT1", "EXIF_YCBCRCOEFFICIENTS0", "EXIF_YCBCRCOEFFICIENTS1", "EXIF_YCBCRCOEFFICIENTS2",
    "EXIF_YCBCRPOSITIONING", "EXIF_GPSVERSIONID", "EXIF_GPSLATITUDE", "EXIF_GPSLATITUDEREF",
    "EXIF_GPSLATITUDEDEGREES", "EXIF_GPSLATITUDEMINUTES", "EXIF_GPSLATITUDESECONDS", "EXIF_GPSLONGITUDE",
    "EXIF_GPSLONGITUDEREF", "EXIF_GPSLONGITUDEDEGREES", "EXIF_GPSLONGITUDEMINUTES", "EXIF_GPSLONGITUDESECONDS",
    "EXIF_GPSALTITUDEREF", "EXIF_GPSALTITUDE", "EXIF_GPSTIMESTAMPHOUR", "EXIF_GPSTIMESTAMPMINUTE",
    "EXIF_GPSTIMESTAMPSECOND", "EXIF_GPSSATELLITES", "EXIF_GPSSTATUS", "EXIF_GPSMEASUREMODE", "EXIF_GPSDOP",
    "EXIF_GPSSPEEDREF", "EXIF_GPSSPEED", "EXIF_GPSTRACKREF", "EXIF_GPSTRACK", "EXIF_GPSIMGDIRECTIONREF",
    "EXIF_GPSIMGDIRECTION", "EXIF_GPSMAPDATUM", "EXIF_GPSDESTLATITUDEREF", "EXIF_GPSDESTLATITUDEDEGREES",
    "EXIF_GPSDESTLATITUDEMINUTES", "EXIF_GPSDESTLATITUDESECONDS", "EXIF_GPSDESTLONGITUDEREF",
    "EXIF_GPSDESTLONGITUDEDEGREES", "EXIF_GPSDESTLONGITUDEMINUTES", "EXIF_GPSDESTLONGITUDESECONDS",
    "EXIF_GPSDESTBEARINGREF", "EXIF_GPSDESTBEARING", "EXIF_GPSDESTDISTANCEREF", "EXIF_GPSDESTDISTANCE",
    "EXIF_GPSDATESTAMP", "RAW_HALFSIZE", "RAW_GAMMA", "RAW_BRIGHT", "RAW_REDSCALE", "RAW_BLUESCALE",
    "RAW_QUICKINTERPOLATE", "RAW_USEAUTOWB", "RAW_USECAMERAWB", "RAW_FOURCOLORRGB", "RAW_CAMERA",
    "RAW_GETEXIFTHUMBNAIL", "RAW_AUTOADJUSTCOLORS", "RAW_EXTRAPARAMS", "MEDIAFILE_FRAMECOUNT",
    "MEDIAFILE_FRAMEDELAYTIME", "IMAGEINDEX", "IMAGECOUNT", "GETTHUMBNAIL", "ISRESOURCE", "XMP_INFO",
};

// The names whose fields the file does not keep: the pixel-format choice, the
// TIFF reader's own orientation flag (set only through the linked setter), the
// JPEG reader's outputs, the XMP text (its parsed packet travels in the
// dictionary), and the owner's aborting flag.
bool NotStored(const std::string& Name) {
  for (const char* n : {"ISNATIVEPIXELFORMAT", "TIFF_ENABLEADJUSTORIENTATION", "JPEG_SCALE_USED", "JPEG_WARNINGTOT",
                        "JPEG_WARNINGCODE", "XMP_INFO", "ABORTING", "COLORMAPITEM"})
    if (Name == n) return true;
  return false;
}

// Values the EXIF block holds only in their stored form.
const std::pair<const char*, const char*> kExifValues[] = {
    {"EXIF_EXIFVERSION", "0231"},        {"EXIF_FLASHPIXVERSION", "0100"},
    {"EXIF_GPSVERSIONID", "2.3.1.4"},    {"EXIF_DATETIME", "2021:03:04 05:06:07"},
    {"EXIF_DATETIMEORIGINAL", "2020:01:02 03:04:05"}, {"EXIF_DATETIMEDIGITIZED", "2019:11:12 13:14:15"},
    {"EXIF_GPSLATITUDEREF", "S"},        {"EXIF_GPSLONGITUDEREF", "W"},
    {"EXIF_GPSDESTLATITUDEREF", "N"},    {"EXIF_GPSDESTLONGITUDEREF", "E"},
    {"EXIF_GPSALTITUDEREF", "1"},        {"EXIF_GPSSPEEDREF", "K"},
    {"EXIF_GPSTRACKREF", "T"},           {"EXIF_GPSIMGDIRECTIONREF", "M"},
    {"EXIF_GPSDESTBEARINGREF", "T"},     {"EXIF_GPSDESTDISTANCEREF", "K"},
    {"EXIF_GPSSTATUS", "A"},             {"EXIF_GPSMEASUREMODE", "3"},
    {"EXIF_GPSDATESTAMP", "2021:03:04"}, {"EXIF_RESOLUTIONUNIT", "2"},
    {"EXIF_FILESOURCE", "3"},            {"EXIF_SCENETYPE", "1"},
    // Whole degrees and minutes, as the loaded coordinates are normalised, and
    // minutes and seconds that make exact binary fractions of a degree.
    {"EXIF_GPSLATITUDEDEGREES", "33"},   {"EXIF_GPSLATITUDEMINUTES", "7"},
    {"EXIF_GPSLATITUDESECONDS", "30"},   {"EXIF_GPSLONGITUDEDEGREES", "120"},
    {"EXIF_GPSLONGITUDEMINUTES", "3"},   {"EXIF_GPSLONGITUDESECONDS", "45"},
    {"EXIF_GPSDESTLATITUDEDEGREES", "10"}, {"EXIF_GPSDESTLATITUDEMINUTES", "22"},
    {"EXIF_GPSDESTLATITUDESECONDS", "30"}, {"EXIF_GPSDESTLONGITUDEDEGREES", "40"},
    {"EXIF_GPSDESTLONGITUDEMINUTES", "56"}, {"EXIF_GPSDESTLONGITUDESECONDS", "15"},
};

// Sets Name to a value that differs from its default, trying texts of the
// kinds a property takes until one is read back as written.
void SetDistinct(TIOParamsVals& P, const std::string& Name, int k) {
  for (const auto& [n, v] : kExifValues)
    if (Name == n) {
      P.SetProperty(Name, v);
      return;
    }
  const std::string before = P.GetProperty(Name);
  const std::string kk = std::to_string(k);
  const std::string candidates[] = {"T\xC3\xAB" "xt \xE2\x82\xAC " + kk,  // "Tëxt € k": bytes 0xEB and 0x80 in Windows-1252
                                    kk + ".25", kk, "1", "0",
                                    std::to_string(k % 200 + 10) + ", " + std::to_string(k % 100 + 7) + ", " +
                                        std::to_string(k % 50 + 3),
                                    "2015-06-" + std::to_string(10 + k % 18)};
  for (const std::string& c : candidates) {
    P.SetProperty(Name, c);
    const std::string now = P.GetProperty(Name);
    if (now == c && now != before) return;
  }
  P.SetProperty(Name, kk);
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

void FillEverything(TIOParamsVals& P) {
  int k = 2;
  for (const char* n : kPropertyNames) {
    if (!NotStored(n)) SetDistinct(P, n, k);
    k += 3;
  }
  P.SetProperty("EXIF_HASEXIF", "1");
  P.fEXIF_UserCommentCode = std::string("UNICODE\0", 8);
  // Fields no name reaches.
  for (int i = 0; i < 16; ++i) {
    P.ICO_Sizes[i] = {16 + i, 32 + i};
    P.ICO_BitCount[i] = 1 + i;
  }
  P.fTIFF_BigTIFF = true;
  P.fTIFF_PhotoshopImageResources = Bytes(std::string("8BIM\x04\x04\0\0resources", 17));
  P.fTIFF_PhotoshopImageSourceData = Bytes("Adobe Photoshop Document Data Block");
  P.fGIF_Action = ioGIF_RestorePrev;
  P.fGIF_RAWLoad = true;
  P.fDICOM_WindowCenterOffset = -12.5;
  P.fDICOM_Range = vxdrSetBlackWhite;
  P.fDICOM_JPEGQuality = 55;
  P.fDICOM_J2000Rate = 0.33;
  P.fDICOM_RescaleIntercept = -1024;
  P.fDICOM_RescaleSlope = 2.5;
  P.fPSD_LargeDocumentFormat = true;
  P.fPSD_SelectLayer = "Layer \xC3\xA9t\xC3\xA9";
  P.fColorMap = {TRGB{1, 2, 3}, TRGB{250, 128, 0}, TRGB{9, 8, 7}};
  P.fColorMapCount = 3;
  P.GIF_Comments() = {"first \xC3\xBF", "", "third"};
  P.PXM_Comments() = {"# made by hand"};
  P.PNG_TextKeys() = {"Title", "Author"};
  P.PNG_TextValues() = {"Caf\xC3\xA9", "Me"};
  // Containers.
  P.JPEG_MarkerList().AddMarker(0xE1, "http://ns.adobe.com/xap/1.0/\0<x/>", 34);
  P.JPEG_MarkerList().AddMarker(0xFE, "a comment", 9);
  P.JPEG_MarkerList().AddMarker(0xE2, "\x01\x02\x03\xFF", 4);
  P.IPTC_Info().AddStringItem(2, 120, "Caption \xC3\xA0");
  std::string big(40000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 + 1);
  P.IPTC_Info().AddBufferItem(2, 202, big.data(), int32_t(big.size()));
  P.IPTC_Info().AddStringItem(2, 25, "keyword");
  P.DICOM_Tags().SetTagString(0x0010, 0x0010, "Doe^John");
  {
    auto inner = std::make_unique<TVXDicomTags>();
    inner->SetTagString(0x0008, 0x0100, "CODE1");
    auto deeper = std::make_unique<TVXDicomTags>();
    deeper->SetTagString(0x0008, 0x0104, "meaning");
    auto deeperItems = std::make_unique<TVXDicomTagChildren>();
    deeperItems->push_back(std::move(deeper));
    inner->AddTag(0x0040, 0xA043, dvSQ, nullptr, -1, std::move(deeperItems));
    auto items = std::make_unique<TVXDicomTagChildren>();
    items->push_back(std::move(inner));
    items->push_back(std::make_unique<TVXDicomTags>());
    P.DICOM_Tags().AddTag(0x0008, 0x1032, dvSQ, nullptr, -1, std::move(items));
  }
  P.SetDICOM_Compression(vxdcJPEG2000);
  P.VexlaneAnnot().LoadFromBuffer("VEXLANEANNOT\x01\x02\x03objects", 22);
  P.InputICCProfile().Assign_AdobeRGB1998();
  P.OutputICCProfile().Assign_CMYKProfile();
  {
    // A third profile: the Adobe profile with another description byte.
    TVXICC adobe;
    adobe.Assign_AdobeRGB1998();
    std::vector<uint8_t> raw(adobe.Raw(), adobe.Raw() + adobe.RawLength());
    raw[raw.size() - 1] ^= 0x5A;
    P.DefaultICCProfile().LoadFromBuffer(raw.data(), int32_t(raw.size()));
  }
  P.Dict().Insert("XMP", std::make_unique<TVXDictionary>(103));
  P.Dict().GetDictionary("XMP", false)->Insert("dc:title", std::string("A title"));
  P.Dict().Insert("count", 42);
}

std::string MarkersText(const TVXMarkerList& m) {
  std::string s;
  for (int32_t i = 0; i < m.Count(); ++i)
    s += std::to_string(m.GetMarkerType(i)) + ":" + std::string(m.GetMarkerData(i), size_t(m.MarkerSize(i))) + "|";
  return s;
}

std::string IPTCText(const TVXIPTCInfoList& l) {
  std::string s;
  for (int32_t i = 0; i < l.Count(); ++i)
    s += std::to_string(l.GetRecordNumber(i)) + "," + std::to_string(l.GetDataSet(i)) + ":" +
         std::string(reinterpret_cast<const char*>(l.GetItemData(i)), size_t(l.GetItemLength(i))) + "|";
  return s;
}

std::string DicomText(const TVXDicomTags& t) {
  std::string s = "[";
  for (int32_t i = 0; i < t.Count(); ++i) {
    const TVXDicomTag* g = t.GetTag(i);
    s += std::to_string(g->Group) + "," + std::to_string(g->Element) + "," + std::to_string(g->DataType) + ":" +
         std::string(g->Data.begin(), g->Data.end());
    if (g->Children)
      for (const auto& c : *g->Children) s += DicomText(*c);
    s += ";";
  }
  return s + "]";
}

std::string ProfileBytes(const TVXICC* p) {
  return p && p->Raw() ? std::string(reinterpret_cast<const char*>(p->Raw()), size_t(p->RawLength())) : "";
}

void ExpectSameSet(TIOParamsVals& a, TIOParamsVals& b) {
  for (const char* n : kPropertyNames) {
    if (NotStored(n)) continue;
    EXPECT_EQ(a.GetProperty(n), b.GetProperty(n)) << n;
  }
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(a.ICO_Sizes[i].cx, b.ICO_Sizes[i].cx);
    EXPECT_EQ(a.ICO_Sizes[i].cy, b.ICO_Sizes[i].cy);
    EXPECT_EQ(a.ICO_BitCount[i], b.ICO_BitCount[i]);
  }
  EXPECT_EQ(a.fTIFF_BigTIFF, b.fTIFF_BigTIFF);
  EXPECT_EQ(a.fTIFF_PhotoshopImageResources, b.fTIFF_PhotoshopImageResources);
  EXPECT_EQ(a.fTIFF_PhotoshopImageSourceData, b.fTIFF_PhotoshopImageSourceData);
  EXPECT_EQ(a.fGIF_Action, b.fGIF_Action);
  EXPECT_EQ(a.fGIF_RAWLoad, b.fGIF_RAWLoad);
  EXPECT_EQ(a.fDICOM_WindowCenterOffset, b.fDICOM_WindowCenterOffset);
  EXPECT_EQ(a.fDICOM_Range, b.fDICOM_Range);
  EXPECT_EQ(a.fDICOM_JPEGQuality, b.fDICOM_JPEGQuality);
  EXPECT_EQ(a.fDICOM_J2000Rate, b.fDICOM_J2000Rate);
  EXPECT_EQ(a.fDICOM_RescaleIntercept, b.fDICOM_RescaleIntercept);
  EXPECT_EQ(a.fDICOM_RescaleSlope, b.fDICOM_RescaleSlope);
  EXPECT_EQ(a.DICOM_Compression(), b.DICOM_Compression());
  EXPECT_EQ(a.fPSD_LargeDocumentFormat, b.fPSD_LargeDocumentFormat);
  EXPECT_EQ(a.fPSD_SelectLayer, b.fPSD_SelectLayer);
  EXPECT_EQ(a.fColorMapCount, b.fColorMapCount);
  EXPECT_EQ(a.fColorMap, b.fColorMap);
  EXPECT_EQ(a.GIF_Comments(), b.GIF_Comments());
  EXPECT_EQ(a.PXM_Comments(), b.PXM_Comments());
  EXPECT_EQ(a.PNG_TextKeys(), b.PNG_TextKeys());
  EXPECT_EQ(a.PNG_TextValues(), b.PNG_TextValues());
  EXPECT_EQ(MarkersText(a.JPEG_MarkerList()), MarkersText(b.JPEG_MarkerList()));
  EXPECT_EQ(IPTCText(a.IPTC_Info()), IPTCText(b.IPTC_Info()));
  EXPECT_EQ(DicomText(a.DICOM_Tags()), DicomText(b.DICOM_Tags()));
  const TMemoryStream &da = a.VexlaneAnnot().Data(), &db = b.VexlaneAnnot().Data();
  EXPECT_EQ(std::string(static_cast<const char*>(da.Memory()), size_t(const_cast<TMemoryStream&>(da).Size())),
            std::string(static_cast<const char*>(db.Memory()), size_t(const_cast<TMemoryStream&>(db).Size())));
  EXPECT_EQ(ProfileBytes(a.fInputICC.get()), ProfileBytes(b.fInputICC.get()));
  EXPECT_EQ(ProfileBytes(a.fOutputICC.get()), ProfileBytes(b.fOutputICC.get()));
  EXPECT_EQ(ProfileBytes(a.fDefaultICC.get()), ProfileBytes(b.fDefaultICC.get()));
  EXPECT_EQ(a.Dict().Dump(), b.Dict().Dump());
}

TEST(ParamsFile, EverythingSetSurvivesASaveAndALoad) {
  TIOParamsVals a;
  FillEverything(a);
  // The values are set: a sample of them against the defaults.
  TIOParamsVals fresh;
  int differing = 0;
  for (const char* n : kPropertyNames) differing += a.GetProperty(n) != fresh.GetProperty(n);
  EXPECT_GT(differing, 200);
  EXPECT_EQ(a.IPTC_Info().GetItemLength(1), 40000);
  ASSERT_NE(ProfileBytes(a.fInputICC.get()), ProfileBytes(a.fDefaultICC.get()));
  ASSERT_NE(ProfileBytes(a.fOutputICC.get()), "");

  const std::vector<uint8_t> b = Saved(a);
  TIOParamsVals c;
  EXPECT_EQ(Load(c, b), int64_t(b.size()));
  ExpectSameSet(a, c);
  // The 8-bit texts are stored in Windows-1252: "ë" is the byte 0xEB.
  const std::vector<uint8_t> needle = Bytes("Layer \xE9t\xE9");
  EXPECT_NE(std::search(b.begin(), b.end(), needle.begin(), needle.end()), b.end());
  // Saved again, the same bytes.
  EXPECT_EQ(Saved(c), b);
}

// ---------------------------------------------------------------------------
// The EXIF block.

// Item 3 of a version-52 stream: after the version and the dictionary.
std::vector<uint8_t> ExifBlockOf(const std::vector<uint8_t>& b) {
  auto i32 = [&](size_t at) {
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24);
  };
  const size_t at = 8 + 2 * size_t(i32(4));
  const size_t n = size_t(i32(at));
  return std::vector<uint8_t>(b.begin() + int64_t(at) + 4, b.begin() + int64_t(at + 4 + n));
}

TEST(ParamsFile, ExifAndGpsValuesTravelInATiffPageThatOtherToolsRead) {
  TIOParamsVals a;
  a.SetEXIF_HasEXIFData(true);
  a.SetEXIF_Make("Vexmaker");
  a.SetEXIF_Model("Model 7");
  a.SetEXIF_DateTimeOriginal("2022:08:09 10:11:12");
  a.SetEXIF_ExposureTime(0.01);
  a.SetEXIF_FNumber(2.8);
  a.SetEXIF_ISOSpeedRatings(0, 400);
  a.SetEXIF_GPSVersionID("2.2.0.0");
  a.SetEXIF_GPSLatitude(-33.5);
  a.SetEXIF_GPSLongitude(151.25);
  a.SetEXIF_GPSAltitude(12.5);
  a.SetEXIF_GPSAltitudeRef("0");
  const std::vector<uint8_t> b = Saved(a);

  TIOParamsVals c;
  EXPECT_EQ(Load(c, b), int64_t(b.size()));
  EXPECT_TRUE(c.EXIF_HasEXIFData());
  EXPECT_EQ(c.EXIF_Make(), "Vexmaker");
  EXPECT_EQ(c.EXIF_Model(), "Model 7");
  EXPECT_EQ(c.EXIF_DateTimeOriginal(), "2022:08:09 10:11:12");
  EXPECT_DOUBLE_EQ(c.EXIF_ExposureTime(), 0.01);
  EXPECT_DOUBLE_EQ(c.EXIF_FNumber(), 2.8);
  EXPECT_EQ(c.EXIF_ISOSpeedRatings(0), 400);
  EXPECT_EQ(c.EXIF_GPSLatitudeRef(), "S");
  EXPECT_DOUBLE_EQ(c.EXIF_GPSLatitude(), -33.5);
  EXPECT_DOUBLE_EQ(c.EXIF_GPSLongitude(), 151.25);
  EXPECT_DOUBLE_EQ(c.EXIF_GPSAltitude(), 12.5);

  // The block alone is a TIFF file.
  TRuntimeScratchDir dir;
  const std::vector<uint8_t> block = ExifBlockOf(b);
  ASSERT_GE(block.size(), 8u);
  EXPECT_EQ(block[0], 'I');
  const std::string tif = dir.File("block.tif");
  RuntimeWriteFile(tif, std::string(block.begin(), block.end()));
  if (RuntimeHaveTool("/usr/bin/tiffdump")) {
    const std::string dump = RuntimeShell("/usr/bin/tiffdump " + tif + " 2>&1");
    EXPECT_NE(dump.find("Make (271) ASCII (2) 9<Vexmaker"), std::string::npos) << dump;
    EXPECT_NE(dump.find("34665"), std::string::npos) << dump;  // the EXIF directory
    EXPECT_NE(dump.find("34853"), std::string::npos) << dump;  // the GPS directory
  } else {
    ADD_FAILURE() << "/usr/bin/tiffdump is missing (bash scripts/setup --tests)";
  }
  if (!RuntimeHaveTool("/usr/bin/exiftool")) GTEST_SKIP() << "/usr/bin/exiftool is missing (bash scripts/setup --tests)";
  const std::string et = RuntimeShell("/usr/bin/exiftool -s -s -n -Make -Model -DateTimeOriginal -ExposureTime -FNumber "
                                      "-ISO -GPSLatitude -GPSLatitudeRef -GPSLongitude -GPSAltitude " + tif + " 2>&1");
  for (const char* line : {"Make: Vexmaker", "Model: Model 7", "DateTimeOriginal: 2022:08:09 10:11:12",
                           "ExposureTime: 0.01", "FNumber: 2.8", "ISO: 400", "GPSLatitude: -33.5",
                           "GPSLatitudeRef: S", "GPSLongitude: 151.25", "GPSAltitude: 12.5"})
    EXPECT_NE(et.find(line), std::string::npos) << line << "\n" << et;
}

// ---------------------------------------------------------------------------
// Older versions, written byte by byte from the item list below: each row is
// one item (or a run of items) with the versions that hold it in that
// encoding, its bytes, the field it lands in and the text that field then
// reads. Loaded into parameters full of sentinels, the rows of the version
// must land and every other field must keep its sentinel.

class TBytes {
 public:
  TBytes& I32(int32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    return *this;
  }
  TBytes& U8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  TBytes& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
  TBytes& F64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) b.push_back(uint8_t(u >> (8 * i)));
    return *this;
  }
  TBytes& Raw(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  TBytes& Str(const std::string& s) { return I32(int32_t(s.size())).Raw(s); }  // astr and blob
  TBytes& WStr(const std::string& ascii) {
    I32(int32_t(ascii.size()));
    for (char c : ascii) U8(uint8_t(c)).U8(0);
    return *this;
  }
  std::vector<uint8_t> b;
};

TBytes B() { return TBytes(); }

std::string Text(int32_t v) { return std::to_string(v); }
std::string Text(bool v) { return v ? "true" : "false"; }
std::string Text(double v) { return std::to_string(v); }
std::string Text(uint8_t v) { return "#" + std::to_string(v); }
std::string Text(const TRGB& c) { return Text(c.b) + Text(c.g) + Text(c.r); }
std::string Text(const std::string& s) { return "'" + s + "'"; }
std::string Text(const std::vector<std::string>& l) {
  std::string s = "[";
  for (const std::string& x : l) s += Text(x);
  return s + "]";
}
std::string Text(const std::vector<uint8_t>& v) { return Text(std::string(v.begin(), v.end())); }

struct TOldItem {
  int From, To;
  std::vector<uint8_t> Bytes;
  std::string (*Get)(TIOParamsVals& p);  // nullptr: nothing to check
  std::string Expected;
  int Alt = 0;              // rows with the same number are encodings of one item
  const char* Absent = nullptr;  // the field's text when the version lacks the item; nullptr: the sentinel
};

#define G(EXPR) [](TIOParamsVals& p) { return Text(p.EXPR); }
#define GE(EXPR) [](TIOParamsVals& p) { return Text(uint8_t(p.EXPR)); }

std::string IcoArrays(TIOParamsVals& p) {
  std::string s;
  for (int i = 0; i < 16; ++i) s += Text(p.ICO_Sizes[i].cx) + "x" + Text(p.ICO_Sizes[i].cy) + "@" + Text(p.ICO_BitCount[i]) + " ";
  return s;
}
std::string ExpectedIcoArrays() {
  std::string s;
  for (int i = 0; i < 16; ++i) s += Text(100 + i) + "x" + Text(200 + i) + "@" + Text(i % 5) + " ";
  return s;
}
TBytes IcoArrayBytes() {
  TBytes t;
  for (int i = 0; i < 16; ++i) t.I32(100 + i).I32(200 + i);
  for (int i = 0; i < 16; ++i) t.I32(i % 5);
  return t;
}
std::string Profile(const std::unique_ptr<TVXICC>& p) {
  return p ? Text(ProfileBytes(p.get())) : std::string("<none>");
}

const int kNow = 52;

std::vector<TOldItem> OldItems() {
  return {
      {51, kNow, B().WStr("{\"k\":\"v\"}").b, [](TIOParamsVals& p) { return p.Dict().Dump(); }, "{\"k\":\"v\"}", 0, "{}"},
      {43, kNow, B().I32(0).b, nullptr, ""},  // an empty EXIF block
      {0, kNow, B().Str("old\xE9.bmp").b, G(fFileName), Text(std::string("old\xC3\xA9.bmp"))},
      {0, 1, B().U8(7).b, G(fFileType), "7", 1},
      {2, kNow, B().I32(1234).b, G(fFileType), "1234", 1},
      {0, kNow, B().I32(16).I32(4).I32(640).I32(480).I32(150).I32(151).b,
       [](TIOParamsVals& p) {
         return Text(p.fBitsPerSample) + Text(p.fSamplesPerPixel) + Text(p.fWidth) + Text(p.fHeight) + Text(p.fDpiX) +
                Text(p.fDpiY);
       },
       "16464048015015" "1"},
      {0, kNow, B().I32(2).U8(1).U8(2).U8(3).U8(4).U8(5).U8(6).b,
       [](TIOParamsVals& p) {
         std::string s = Text(p.fColorMapCount);
         for (const TRGB& c : p.fColorMap) s += Text(c);
         return s;
       },
       "2#1#2#3#4#5#6"},
      {25, kNow, B().I32(3).I32(9).U8(0).b,
       [](TIOParamsVals& p) { return Text(p.fImageIndex) + Text(p.fImageCount) + Text(p.fGetThumbnail); }, "39false"},
      {38, kNow, B().U8(0).b, G(fEnableAdjustOrientation), "false"},
      {44, kNow, B().U8(0).b, G(fIsResource), "false"},
      {0, kNow, B().U8(5).b, GE(fTIFF_Compression), "#5"},
      {0, kNow, B().I32(4).b, G(fTIFF_ImageIndex), "4"},
      {0, kNow, B().U8(3).b, GE(fTIFF_PhotometInterpret), "#3"},
      {0, kNow, B().I32(2).b, G(fTIFF_PlanarConf), "2"},
      {47, kNow, B().I32(6).b, G(fTIFF_NewSubfileType), "6"},
      {0, kNow, B().I32(11).I32(12).b, [](TIOParamsVals& p) { return Text(p.fTIFF_XPos) + Text(p.fTIFF_YPos); }, "1112"},
      {0, kNow, B().Str("doc").Str("desc").Str("page").b,
       [](TIOParamsVals& p) {
         return Text(p.fTIFF_DocumentName) + Text(p.fTIFF_ImageDescription) + Text(p.fTIFF_PageName);
       },
       "'doc''desc''page'"},
      {0, kNow, B().I32(2).I32(5).b, [](TIOParamsVals& p) { return Text(p.fTIFF_PageNumber) + Text(p.fTIFF_PageCount); }, "25"},
      {4, kNow, B().I32(8).b, G(fTIFF_ImageCount), "8"},
      {6, kNow, B().I32(6).b, G(fTIFF_Orientation), "6"},
      {10, kNow, B().I32(65).b, G(fTIFF_JPEGQuality), "65"},
      {16, kNow, B().U8(1).b, GE(fTIFF_JPEGColorSpace), "#1"},
      {26, kNow, B().I32(2).b, G(fTIFF_FillOrder), "2"},
      {30, kNow, B().I32(3).b, G(fTIFF_ZIPCompression), "3"},
      {31, kNow, B().I32(1).b, G(fTIFF_SubIndex), "1"},
      {32, kNow, B().U8(0).b, GE(fTIFF_ByteOrder), "#0"},
      {40, kNow, B().I32(7).b, G(fTIFF_GetTile), "7"},
      {46, kNow, B().I32(9).b, G(fTIFF_StripCount), "9"},
      {50, kNow, B().Str("res").Str("src").b,
       [](TIOParamsVals& p) { return Text(p.fTIFF_PhotoshopImageResources) + Text(p.fTIFF_PhotoshopImageSourceData); },
       "'res''src'"},
      {51, kNow, B().U8(0).b, G(fTIFF_BigTIFF), "false"},
      {0, kNow, B().Str("GIF87a").I32(2).I32(3).I32(4).I32(5).U8(0).U8(10).U8(20).U8(30).U8(0).I32(320).I32(200)
                    .U8(40).U8(50).U8(60).I32(49).b,
       [](TIOParamsVals& p) {
         return Text(p.fGIF_Version) + Text(p.fGIF_ImageIndex) + Text(p.fGIF_XPos) + Text(p.fGIF_YPos) +
                Text(p.fGIF_DelayTime) + Text(p.fGIF_FlagTranspColor) + Text(p.fGIF_TranspColor) +
                Text(p.fGIF_Interlaced) + Text(p.fGIF_WinWidth) + Text(p.fGIF_WinHeight) + Text(p.fGIF_Background) +
                Text(p.fGIF_Ratio);
       },
       "'GIF87a'2345false#10#20#30false320200#40#50#6049"},
      {4, kNow, B().I32(12).b, G(fGIF_ImageCount), "12"},
      {9, kNow, B().I32(2).Str("one").Str("tw\xF6").b, G(fGIF_Comments), "['one''tw\xC3\xB6']"},
      {12, kNow, B().U8(1).b, GE(fGIF_Action), "#1"},
      {49, kNow, B().U8(0).b, G(fGIF_RAWLoad), "false"},
      {0, kNow, B().U8(1).I32(91).U8(2).U8(0).I32(3).U8(0).b,
       [](TIOParamsVals& p) {
         return Text(uint8_t(p.fJPEG_ColorSpace)) + Text(p.fJPEG_Quality) + Text(uint8_t(p.fJPEG_DCTMethod)) +
                Text(p.fJPEG_OptimalHuffman) + Text(p.fJPEG_Smooth) + Text(p.fJPEG_Progressive);
       },
       "#191#2false3false"},
      {1, kNow, B().U8(3).b, GE(fJPEG_Scale), "#3"},
      {4, kNow, B().U8(0).I32(1).U8(0xFE).I32(2).Raw("hi").b, [](TIOParamsVals& p) { return MarkersText(p.JPEG_MarkerList()); },
       "254:hi|"},
      {7, kNow, B().I32(1000).I32(800).b, [](TIOParamsVals& p) { return Text(p.fOriginalWidth) + Text(p.fOriginalHeight); },
       "1000800"},
      {20, kNow, B().U8(0).U8(0).b,
       [](TIOParamsVals& p) { return Text(p.fJPEG_EnableAdjustOrientation) + Text(p.fJPEG_GetExifThumbnail); },
       "falsefalse"},
      {39, kNow, B().U8(2).b, GE(fJPEG_CromaSubsampling), "#2"},
      {8, kNow, B().U8(2).F64(0.5).U8(1).b,
       [](TIOParamsVals& p) {
         return Text(uint8_t(p.fJ2000_ColorSpace)) + Text(p.fJ2000_Rate) + Text(uint8_t(p.fJ2000_ScalableBy));
       },
       "#20.500000#1"},
      {0, kNow, B().I32(3).U8(0).U8(2).U8(1).b,
       [](TIOParamsVals& p) {
         return Text(p.fPCX_Version) + Text(uint8_t(p.fPCX_Compression)) + Text(uint8_t(p.fBMP_Version)) +
                Text(uint8_t(p.fBMP_Compression));
       },
       "3#0#2#1"},
      {28, kNow, B().U8(0).b, G(fBMP_HandleTransparency), "false"},
      {1, kNow, B().I32(21).b, G(fICO_ImageIndex), "21", 2},
      {0, 0, B().I32(-5).I32(-6).b, G(fICO_ImageIndex), "0", 2},  // the first layout's placeholder
      {3, kNow, B().U8(70).U8(71).U8(72).b, G(fICO_Background), "#70#71#72"},
      {11, kNow, IcoArrayBytes().b, IcoArrays, ExpectedIcoArrays()},
      {1, kNow, B().I32(22).I32(23).I32(24).b,
       [](TIOParamsVals& p) { return Text(p.fCUR_ImageIndex) + Text(p.fCUR_XHotSpot) + Text(p.fCUR_YHotSpot); }, "222324", 3},
      {0, 0, B().I32(-7).I32(-8).b,
       [](TIOParamsVals& p) { return Text(p.fCUR_ImageIndex) + Text(p.fCUR_XHotSpot) + Text(p.fCUR_YHotSpot); }, "000", 3},
      {3, kNow, B().U8(80).U8(81).U8(82).b, G(fCUR_Background), "#80#81#82"},
      {0, kNow, B().U8(0).U8(1).U8(2).U8(3).U8(4).I32(9).b,
       [](TIOParamsVals& p) {
         return Text(p.fPNG_Interlaced) + Text(p.fPNG_Background) + Text(uint8_t(p.fPNG_Filter)) + Text(p.fPNG_Compression);
       },
       "false#1#2#3#49"},
      {23, kNow, B().I32(1).Str("Key").I32(1).Str("Value").b,
       [](TIOParamsVals& p) { return Text(p.fPNG_TextKeys) + Text(p.fPNG_TextValues); }, "['Key']['Value']"},
      {37, kNow,
       B().U8(3).I32(1).U16(0x0010).U16(0x0010).U8(dvPN).U8(0).U8(0).U8(0).I32(0).I32(4).I32(0).Raw("Doe^").I32(0).b,
       [](TIOParamsVals& p) { return DicomText(p.DICOM_Tags()); },
       // From version 50 the compression adds its transfer-syntax tag.
       ""},
      {48, kNow, B().F64(-2.5).U8(1).b,
       [](TIOParamsVals& p) { return Text(p.fDICOM_WindowCenterOffset) + Text(uint8_t(p.fDICOM_Range)); }, "-2.500000#1"},
      {50, kNow, B().U8(vxdcRLE).I32(44).F64(0.25).b,
       [](TIOParamsVals& p) {
         return Text(uint8_t(p.DICOM_Compression())) + Text(p.fDICOM_JPEGQuality) + Text(p.fDICOM_J2000Rate);
       },
       "#3440.250000"},
      {52, kNow, B().F64(-100).F64(3).b,
       [](TIOParamsVals& p) { return Text(p.fDICOM_RescaleIntercept) + Text(p.fDICOM_RescaleSlope); },
       "-100.0000003.000000"},
      {27, kNow, B().U8(0).b, G(fPSD_LoadLayers), "false"},
      {34, kNow, B().U8(0).b, G(fPSD_ReplaceLayers), "false"},
      {36, kNow, B().U8(0).b, G(fPSD_HasPremultipliedAlpha), "false"},
      {51, kNow, B().U8(0).Str("Layer 2").b,
       [](TIOParamsVals& p) { return Text(p.fPSD_LargeDocumentFormat) + Text(p.fPSD_SelectLayer); }, "false'Layer 2'"},
      {41, kNow, B().F64(0.75).U8(0).b,
       [](TIOParamsVals& p) { return Text(p.fHDP_ImageQuality) + Text(p.fHDP_Lossless); }, "0.750000false"},
      {3, kNow,
       B().I32(5).I32(6).U8(0).Str("descr").Str("author").F64(42000.5).Str("name").U8(1).U8(2).U8(3).F64(1.5).F64(1.8)
           .U8(0).b,
       [](TIOParamsVals& p) {
         return Text(p.fTGA_XPos) + Text(p.fTGA_YPos) + Text(p.fTGA_Compressed) + Text(p.fTGA_Descriptor) +
                Text(p.fTGA_Author) + Text(p.fTGA_Date) + Text(p.fTGA_ImageName) + Text(p.fTGA_Background) +
                Text(p.fTGA_AspectRatio) + Text(p.fTGA_Gamma) + Text(p.fTGA_GrayLevel);
       },
       "56false'descr''author'42000.500000'name'#1#2#31.5000001.800000false"},
      {4, kNow, B().I32(0).I32(1).I32(2).I32(5).I32(3).Raw("ttl").b, [](TIOParamsVals& p) { return IPTCText(p.IPTC_Info()); },
       "2,5:ttl|"},
      {5, kNow, B().I32(1).Str("# pnm").b, G(fPXM_Comments), "['# pnm']"},
      {6, kNow, B().I32(31).b, G(fAVI_FrameCount), "31"},
      {6, 44, B().I32(40).b, G(fAVI_FrameDelayTime), "40.000000", 4},  // whole milliseconds
      {45, kNow, B().F64(40.5).b, G(fAVI_FrameDelayTime), "40.500000", 4},
      {14, kNow, B().I32(612).I32(792).U8(3).Str("PS title").I32(1224).I32(792).U8(5).b,
       [](TIOParamsVals& p) {
         return Text(p.fPS_PaperWidth) + Text(p.fPS_PaperHeight) + Text(uint8_t(p.fPS_Compression)) + Text(p.fPS_Title) +
                Text(p.fPDF_PaperWidth) + Text(p.fPDF_PaperHeight) + Text(uint8_t(p.fPDF_Compression));
       },
       "612792#3'PS title'1224792#5"},
      {15, kNow, B().Str("t").Str("a").Str("s").Str("k").Str("c").Str("p").b,
       [](TIOParamsVals& p) {
         return Text(p.fPDF_Title) + Text(p.fPDF_Author) + Text(p.fPDF_Subject) + Text(p.fPDF_Keywords) +
                Text(p.fPDF_Creator) + Text(p.fPDF_Producer);
       },
       "'t''a''s''k''c''p'"},
      {18, kNow, B().I32(17).b, G(fDCX_ImageIndex), "17"},
      {13, kNow, {}, [](TIOParamsVals& p) { return Text(p.fImagingAnnot != nullptr); }, "true"},
      {51, kNow, B().Str("annot").b,
       [](TIOParamsVals& p) {
         TMemoryStream& d = p.VexlaneAnnot().Data();
         return Text(std::string(static_cast<const char*>(d.Memory()), size_t(d.Size())));
       },
       "'annot'"},
      {17, kNow, B().Str("PROF-IN").Str("").b,
       [](TIOParamsVals& p) { return Profile(p.fInputICC) + Profile(p.fOutputICC); }, "'PROF-IN'''"},
      {33, kNow, B().Str("PROF-DEF").b, [](TIOParamsVals& p) { return Profile(p.fDefaultICC); }, "'PROF-DEF'"},
      {18, kNow,
       B().U8(0).F64(0.45).F64(1.25).F64(1.5).F64(1.75).U8(0).U8(0).U8(0).U8(0).Str("Cam").U8(0).b,
       [](TIOParamsVals& p) {
         return Text(p.fRAW_HalfSize) + Text(p.fRAW_Gamma) + Text(p.fRAW_Bright) + Text(p.fRAW_RedScale) +
                Text(p.fRAW_BlueScale) + Text(p.fRAW_QuickInterpolate) + Text(p.fRAW_UseAutoWB) +
                Text(p.fRAW_UseCameraWB) + Text(p.fRAW_FourColorRGB) + Text(p.fRAW_Camera) +
                Text(p.fRAW_GetExifThumbnail);
       },
       "false0.4500001.2500001.5000001.750000falsefalsefalsefalse'Cam'false"},
      {22, kNow, B().U8(0).b, G(fRAW_AutoAdjustColors), "false"},
      {35, kNow, B().Str("-w").b, G(fRAW_ExtraParams), "'-w'"},
      {21, kNow, B().I32(13).b, G(fMEDIAFILE_FrameCount), "13"},
      {21, 44, B().I32(33).b, G(fMEDIAFILE_FrameDelayTime), "33.000000", 5},
      {45, kNow, B().F64(33.25).b, G(fMEDIAFILE_FrameDelayTime), "33.250000", 5},
      {23, kNow, B().U8(1).U8(1).I32(32).I32(54).b,
       [](TIOParamsVals& p) {
         return Text(uint8_t(p.fBMPRAW_ChannelOrder)) + Text(uint8_t(p.fBMPRAW_Planes)) + Text(p.fBMPRAW_RowAlign) +
                Text(p.fBMPRAW_HeaderSize);
       },
       "#1#13254"},
      {42, kNow, B().U8(2).b, GE(fBMPRAW_DataFormat), "#2"},
  };
}

#undef G
#undef GE

// Every field the rows reach holds a value no row writes.
void FillSentinels(TIOParamsVals& p) {
  p.Dict().Insert("sentinel", 1);
  p.fFileName = "sentinel";
  p.fFileType = p.fBitsPerSample = p.fSamplesPerPixel = p.fWidth = p.fHeight = p.fDpiX = p.fDpiY = -7777;
  p.fColorMap = {TRGB{0xEE, 0xEE, 0xEE}};
  p.fColorMapCount = 1;
  p.fImageIndex = p.fImageCount = -7777;
  p.fGetThumbnail = p.fEnableAdjustOrientation = p.fIsResource = true;
  const auto e = uint8_t(0xEE);
  p.fTIFF_Compression = TIOTIFFCompression(e);
  p.fTIFF_PhotometInterpret = TIOTIFFPhotometInterpret(e);
  p.fTIFF_JPEGColorSpace = p.fJPEG_ColorSpace = TIOJPEGColorspace(e);
  p.fTIFF_ByteOrder = TIOByteOrder(e);
  p.fTIFF_ImageIndex = p.fTIFF_PlanarConf = p.fTIFF_NewSubfileType = p.fTIFF_XPos = p.fTIFF_YPos = -7777;
  p.fTIFF_PageNumber = p.fTIFF_PageCount = p.fTIFF_ImageCount = p.fTIFF_Orientation = p.fTIFF_JPEGQuality = -7777;
  p.fTIFF_FillOrder = p.fTIFF_ZIPCompression = p.fTIFF_SubIndex = p.fTIFF_GetTile = p.fTIFF_StripCount = -7777;
  p.fTIFF_DocumentName = p.fTIFF_ImageDescription = p.fTIFF_PageName = "sentinel";
  p.fTIFF_PhotoshopImageResources = p.fTIFF_PhotoshopImageSourceData = {0xEE};
  p.fTIFF_BigTIFF = true;
  p.fGIF_Version = "sentinel";
  p.fGIF_ImageIndex = p.fGIF_XPos = p.fGIF_YPos = p.fGIF_DelayTime = p.fGIF_WinWidth = p.fGIF_WinHeight = -7777;
  p.fGIF_Ratio = p.fGIF_ImageCount = -7777;
  p.fGIF_FlagTranspColor = p.fGIF_Interlaced = p.fGIF_RAWLoad = true;
  p.fGIF_TranspColor = p.fGIF_Background = TRGB{e, e, e};
  p.fGIF_Comments = {"sentinel"};
  p.fGIF_Action = TVXGIFAction(e);
  p.fJPEG_Quality = p.fJPEG_Smooth = p.fOriginalWidth = p.fOriginalHeight = -7777;
  p.fJPEG_DCTMethod = TIOJPEGDctMethod(e);
  p.fJPEG_OptimalHuffman = p.fJPEG_Progressive = p.fJPEG_EnableAdjustOrientation = p.fJPEG_GetExifThumbnail = true;
  p.fJPEG_Scale = TIOJPEGScale(e);
  p.fJPEG_CromaSubsampling = TIOJPEGCromaSubsampling(e);
  p.JPEG_MarkerList().AddMarker(0xEF, "S", 1);
  p.fJ2000_ColorSpace = TIOJ2000ColorSpace(e);
  p.fJ2000_ScalableBy = TIOJ2000ScalableBy(e);
  p.fJ2000_Rate = -0.5;
  p.fPCX_Version = -7777;
  p.fPCX_Compression = TIOPCXCompression(e);
  p.fBMP_Version = TIOBMPVersion(e);
  p.fBMP_Compression = TIOBMPCompression(e);
  p.fBMP_HandleTransparency = true;
  p.fICO_ImageIndex = p.fCUR_ImageIndex = p.fCUR_XHotSpot = p.fCUR_YHotSpot = -7777;
  p.fICO_Background = p.fCUR_Background = p.fPNG_Background = p.fTGA_Background = TRGB{e, e, e};
  for (int i = 0; i < 16; ++i) {
    p.ICO_Sizes[i] = {-7777, -7777};
    p.ICO_BitCount[i] = -7777;
  }
  p.fPNG_Interlaced = true;
  p.fPNG_Filter = TIOPNGFilter(e);
  p.fPNG_Compression = -7777;
  p.fPNG_TextKeys = p.fPNG_TextValues = p.fPXM_Comments = {"sentinel"};
  p.DICOM_Tags().Clear();
  p.DICOM_Tags().SetTagString(0x0009, 0x0009, "SENTINEL");
  p.fDICOM_WindowCenterOffset = p.fDICOM_J2000Rate = p.fDICOM_RescaleIntercept = p.fDICOM_RescaleSlope = -0.5;
  p.fDICOM_Range = TVXDicomRange(e);
  p.fDICOM_JPEGQuality = -7777;
  p.fPSD_LoadLayers = p.fPSD_ReplaceLayers = p.fPSD_HasPremultipliedAlpha = p.fPSD_LargeDocumentFormat = true;
  p.fPSD_SelectLayer = "sentinel";
  p.fHDP_ImageQuality = -0.5;
  p.fHDP_Lossless = true;
  p.fTGA_XPos = p.fTGA_YPos = -7777;
  p.fTGA_Compressed = p.fTGA_GrayLevel = true;
  p.fTGA_Descriptor = p.fTGA_Author = p.fTGA_ImageName = "sentinel";
  p.fTGA_Date = p.fTGA_AspectRatio = p.fTGA_Gamma = -0.5;
  p.IPTC_Info().AddStringItem(9, 9, "S");
  p.fAVI_FrameCount = -7777;
  p.fAVI_FrameDelayTime = -0.5;
  p.fPS_PaperWidth = p.fPS_PaperHeight = p.fPDF_PaperWidth = p.fPDF_PaperHeight = -7777;
  p.fPS_Compression = TIOPSCompression(e);
  p.fPDF_Compression = TIOPDFCompression(e);
  p.fPS_Title = p.fPDF_Title = p.fPDF_Author = p.fPDF_Subject = p.fPDF_Keywords = p.fPDF_Creator = "sentinel";
  p.fPDF_Producer = "sentinel";
  p.fDCX_ImageIndex = -7777;
  p.VexlaneAnnot().LoadFromBuffer("VEXLANEANNOTsentinel", 20);
  p.fRAW_HalfSize = p.fRAW_QuickInterpolate = p.fRAW_UseAutoWB = p.fRAW_UseCameraWB = p.fRAW_FourColorRGB = true;
  p.fRAW_GetExifThumbnail = p.fRAW_AutoAdjustColors = true;
  p.fRAW_Gamma = p.fRAW_Bright = p.fRAW_RedScale = p.fRAW_BlueScale = -0.5;
  p.fRAW_Camera = p.fRAW_ExtraParams = "sentinel";
  p.fMEDIAFILE_FrameCount = -7777;
  p.fMEDIAFILE_FrameDelayTime = -0.5;
  p.fBMPRAW_ChannelOrder = TIOBMPRAWChannelOrder(e);
  p.fBMPRAW_Planes = TIOBMPRAWPlanes(e);
  p.fBMPRAW_DataFormat = TIOBMPRAWDataFormat(e);
  p.fBMPRAW_RowAlign = p.fBMPRAW_HeaderSize = -7777;
}

std::vector<uint8_t> OldStream(int Version) {
  TBytes t;
  t.I32(Version);
  for (const TOldItem& i : OldItems())
    if (Version >= i.From && Version <= i.To) t.b.insert(t.b.end(), i.Bytes.begin(), i.Bytes.end());
  return t.b;
}

TEST(ParamsFile, OlderVersionsReadTheirItemsOnly) {
  const std::string dicomRead = "[16,16,15:Doe^" + std::string(1, '\0') + ";]";
  for (int v : {0, 1, 2, 3, 13, 17, 33, 44, 45, 50, 51, 52}) {
    SCOPED_TRACE("version " + std::to_string(v));
    const std::vector<uint8_t> bytes = OldStream(v);
    TIOParamsVals p, before;
    FillSentinels(p);
    FillSentinels(before);
    EXPECT_EQ(Load(p, bytes), int64_t(bytes.size()));
    for (const TOldItem& i : OldItems()) {
      if (!i.Get) continue;
      std::string expected = i.Expected;
      const bool present = v >= i.From && v <= i.To;
      if (!present && i.Alt) {
        bool sibling = false;
        for (const TOldItem& j : OldItems()) sibling |= j.Alt == i.Alt && v >= j.From && v <= j.To;
        if (sibling) continue;
      }
      if (!present) {
        expected = i.Absent ? i.Absent : i.Get(before);
      } else if (i.Expected.empty()) {
        // The DICOM tags: the stored set replaces the sentinel's, and from
        // version 50 the compression setter adds the transfer syntax.
        expected = dicomRead;
        if (v >= 50) expected = "[2,16,22:1.2.840.10008.1.2.5" + std::string(2, '\0') + ";" + dicomRead.substr(1);
      }
      EXPECT_EQ(i.Get(p), expected) << "row from version " << i.From;
    }
  }
}

// ---------------------------------------------------------------------------
// Damaged streams: huge counts and lengths.

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressSpaceCapUsable = false;
#else
constexpr bool kAddressSpaceCapUsable = true;
#endif

// Version-52 streams cut at the start of every item (and of the counts and
// lengths inside the containers) and continued with a huge value there.
std::vector<std::vector<uint8_t>> HugeCountStreams() {
  std::vector<std::vector<uint8_t>> out;
  const std::vector<TOldItem> items = OldItems();
  TBytes prefix;
  prefix.I32(52);
  std::vector<std::pair<TBytes, TBytes>> inner;  // (bytes before the row, what follows)
  for (size_t r = 0; r + 1 < items.size(); ++r) {
    const TOldItem& it = items[r];
    if (52 < it.From || 52 > it.To) continue;
    for (int32_t huge : {int32_t(0x7FFFFFFF), int32_t(-1), int32_t(0x40000000)}) {
      TBytes t = prefix;
      t.I32(huge);
      out.push_back(t.b);
    }
    // The containers' own counts and lengths.
    auto with = [&](const TBytes& tail) {
      TBytes t = prefix;
      t.b.insert(t.b.end(), tail.b.begin(), tail.b.end());
      out.push_back(t.b);
    };
    if (it.Expected == "254:hi|") {  // markers
      with(B().U8(0).I32(0x7FFFFFFF));
      with(B().U8(0).I32(1).U8(0xE1).I32(0x7FFFFFFF));
    }
    if (it.Expected == "2,5:ttl|") {  // IPTC
      with(B().I32(0).I32(0x7FFFFFFF));
      with(B().I32(0).I32(1).I32(2).I32(5).I32(0x7FFFFFFF));
    }
    if (it.Get && it.Expected.empty()) {  // DICOM
      with(B().U8(3).I32(0x7FFFFFFF));
      with(B().U8(3).I32(1).U16(0x10).U16(0x10).U8(dvPN).U8(0).U8(0).U8(0).I32(0).I32(0x7FFFFFFF));
      with(B().U8(3).I32(1).U16(0x10).U16(0x10).U8(dvSQ).U8(0).U8(0).U8(0).I32(0).I32(0).I32(0).I32(0x7FFFFFFF));
    }
    prefix.b.insert(prefix.b.end(), it.Bytes.begin(), it.Bytes.end());
  }
  return out;
}

// 0 when every stream raises the damage message and nothing else.
int LoadHugeCounts() {
  int bad = 0;
  for (const std::vector<uint8_t>& s : HugeCountStreams()) {
    TIOParamsVals p;
    try {
      Load(p, s);
      ++bad;
    } catch (const EVXException& e) {
      if (std::string(e.what()) != "Damaged parameter stream") ++bad;
    } catch (...) {
      ++bad;
    }
  }
  return bad;
}

TEST(ParamsFile, HugeCountsRaiseWithoutLargeAllocations) {
  ASSERT_GT(HugeCountStreams().size(), 100u);
  EXPECT_EQ(LoadHugeCounts(), 0);
  if (!kAddressSpaceCapUsable) return;
  // Once more in a child whose address space allows only 64 MiB more than it
  // uses: an allocation sized by one of the counts fails there.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t cap = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + 64 * 1024 * 1024;
    const rlimit lim{cap, cap};
    if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(3);
    _exit(LoadHugeCounts() == 0 ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
