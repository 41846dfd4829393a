// The binary parameter file: round trips of version 52, streams of older
// versions built byte by byte, and damaged streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
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

}  // namespace

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
  for (const char* n : kPropertyNames)
    if (!NotStored(n)) EXPECT_EQ(a.GetProperty(n), b.GetProperty(n)) << n;
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
