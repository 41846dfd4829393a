// The per-image parameters by property name: every name with its default and
// a written value, the text forms, fallbacks, linked setters, and FileTypeStr.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/textutils.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

// Today in the short date form "yyyy-mm-dd".
std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

struct TRow {
  const char* Name;
  std::string Default;  // after SetDefaultParams on parameters without owner
  const char* Write;    // a valid value other than the default; nullptr: read-only
};

// Every name, in the documented order.
std::vector<TRow> Rows() {
  const std::string none;
  return {
      {"FILENAME", none, nullptr},
      {"FILETYPESTR", none, nullptr},
      {"FILETYPE", "0", nullptr},
      {"BITSPERSAMPLE", "8", "16"},
      {"SAMPLESPERPIXEL", "3", "4"},
      {"WIDTH", "0", "640"},
      {"HEIGHT", "0", "480"},
      {"DPIX", "0", "150"},
      {"DPIY", "0", "151"},
      {"COLORMAPITEM", none, "10, 20, 30"},
      {"COLORMAPCOUNT", "0", nullptr},
      {"ISNATIVEPIXELFORMAT", "0", "1"},
      {"ENABLEADJUSTORIENTATION", "0", "1"},
      {"ABORTING", "0", "1"},
      {"TIFF_COMPRESSIONSTR", "UNCOMPRESSED", nullptr},
      {"TIFF_COMPRESSION", "0", "5"},
      {"TIFF_IMAGEINDEX", "0", "3"},
      {"TIFF_SUBINDEX", "-1", "2"},
      {"TIFF_IMAGECOUNT", "0", nullptr},
      {"TIFF_JPEGQUALITY", "80", "55"},
      {"TIFF_ZIPCOMPRESSION", "1", "2"},
      {"TIFF_STRIPCOUNT", "0", "9"},
      {"TIFF_PHOTOMETINTEPRETSTR", "RGB", nullptr},
      {"TIFF_PHOTOMETINTEPRET", "2", "5"},
      {"TIFF_PLANARCONF", "1", "2"},
      {"TIFF_NEWSUBFILETYPE", "0", "1"},
      {"TIFF_XPOS", "0", "11"},
      {"TIFF_YPOS", "0", "12"},
      {"TIFF_GETTILE", "-1", "4"},
      {"TIFF_DOCUMENTNAME", none, "Café €"},
      {"TIFF_IMAGEDESCRIPTION", none, "desc"},
      {"TIFF_PAGENAME", none, "page"},
      {"TIFF_PAGENUMBER", "-1", "2"},
      {"TIFF_PAGECOUNT", "-1", "5"},
      {"TIFF_JPEGCOLORSPACE", "2", "1"},
      {"TIFF_FILLORDER", "1", "2"},
      {"TIFF_ORIENTATION", "1", "6"},
      {"TIFF_ENABLEADJUSTORIENTATION", "0", "1"},
      {"TIFF_BYTEORDER", "1", "0"},
      {"DCX_IMAGEINDEX", "0", "4"},
      {"AVI_FRAMECOUNT", "0", "25"},
      {"AVI_FRAMEDELAYTIME", "0", "40.5"},
      {"GIF_VERSION", "GIF89a", "GIF87a"},
      {"GIF_IMAGEINDEX", "0", "2"},
      {"GIF_IMAGECOUNT", "0", nullptr},
      {"GIF_XPOS", "0", "3"},
      {"GIF_YPOS", "0", "4"},
      {"GIF_DELAYTIME", "0", "10"},
      {"GIF_TRANSPARENT", "0", "1"},
      {"GIF_TRANSPCOLOR", "0, 0, 0", "1, 2, 3"},
      {"GIF_INTERLACED", "0", "1"},
      {"GIF_WINWIDTH", "0", "320"},
      {"GIF_WINHEIGHT", "0", "200"},
      {"GIF_BACKGROUND", "0, 0, 0", "4, 5, 6"},
      {"GIF_RATIO", "0", "49"},
      {"JPEG_COLORSPACE", "2", "3"},
      {"JPEG_QUALITY", "80", "95"},
      {"JPEG_DCTMETHOD", "0", "2"},
      {"JPEG_OPTIMALHUFFMAN", "0", "1"},
      {"JPEG_SMOOTH", "0", "30"},
      {"JPEG_PROGRESSIVE", "0", "1"},
      {"JPEG_SCALE_USED", "1", "4"},
      {"JPEG_SCALE", "1", "3"},
      {"JPEG_ENABLEADJUSTORIENTATION", "0", "1"},
      {"JPEG_GETEXIFTHUMBNAIL", "0", "1"},
      {"JPEG_WARNINGTOT", "0", "2"},
      {"JPEG_WARNINGCODE", "0", "7"},
      {"JPEG_ORIGINALWIDTH", "0", "1024"},
      {"JPEG_ORIGINALHEIGHT", "0", "768"},
      {"ORIGINALWIDTH", "0", "1025"},
      {"ORIGINALHEIGHT", "0", "769"},
      {"JPEG_CROMASUBSAMPLING", "1", "2"},
      {"PCX_VERSION", "5", "3"},
      {"PCX_COMPRESSION", "1", "0"},
      {"BMP_VERSION", "1", "3"},
      {"BMP_COMPRESSION", "0", "1"},
      {"BMP_HANDLETRANSPARENCY", "0", "1"},
      {"BMPRAW_CHANNELORDER", "0", "1"},
      {"BMPRAW_PLANES", "0", "1"},
      {"BMPRAW_ROWALIGN", "8", "32"},
      {"BMPRAW_HEADERSIZE", "0", "54"},
      {"BMPRAW_DATAFORMAT", "0", "2"},
      {"ICO_IMAGEINDEX", "0", "1"},
      {"ICO_BACKGROUND", "255, 255, 255", "7, 8, 9"},
      {"CUR_IMAGEINDEX", "0", "2"},
      {"CUR_XHOTSPOT", "0", "5"},
      {"CUR_YHOTSPOT", "0", "6"},
      {"CUR_BACKGROUND", "255, 255, 255", "1, 1, 1"},
      {"PNG_INTERLACED", "0", "1"},
      {"PNG_BACKGROUND", "0, 0, 0", "255, 128, 0"},
      {"PNG_FILTER", "0", "5"},
      {"PNG_COMPRESSION", "5", "9"},
      {"PSD_LOADLAYERS", "0", "1"},
      {"PSD_REPLACELAYERS", "1", "0"},
      {"PSD_HASPREMULTIPLIEDALPHA", "0", nullptr},
      {"HDP_IMAGEQUALITY", "0.9", "0.75"},
      {"HDP_LOSSLESS", "0", "1"},
      {"TGA_XPOS", "0", "8"},
      {"TGA_YPOS", "0", "9"},
      {"TGA_COMPRESSED", "1", "0"},
      {"TGA_DESCRIPTOR", none, "id field"},
      {"TGA_AUTHOR", none, "Zoë"},
      {"TGA_DATE", Today(), "2024-03-05"},
      {"TGA_IMAGENAME", none, "job"},
      {"TGA_BACKGROUND", "0, 0, 0", "9, 9, 9"},
      {"TGA_ASPECTRATIO", "1", "1.5"},
      {"TGA_GAMMA", "2.2", "1.8"},
      {"TGA_GRAYLEVEL", "0", "1"},
      {"J2000_COLORSPACE", "1", "2"},
      {"J2000_RATE", "0.07", "0.5"},
      {"J2000_SCALABLEBY", "0", "1"},
      {"PS_PAPERWIDTH", "595", "612"},
      {"PS_PAPERHEIGHT", "842", "792"},
      {"PS_COMPRESSION", "1", "3"},
      {"PS_TITLE", "No Title", "Report"},
      {"PDF_PAPERWIDTH", "595", "612"},
      {"PDF_PAPERHEIGHT", "842", "1008"},
      {"PDF_COMPRESSION", "2", "4"},
      {"PDF_TITLE", none, "t"},
      {"PDF_AUTHOR", none, "a"},
      {"PDF_SUBJECT", none, "s"},
      {"PDF_KEYWORDS", none, "k"},
      {"PDF_CREATOR", none, "c"},
      {"PDF_PRODUCER", none, "p"},
      {"EXIF_HASEXIF", "0", "1"},
      {"EXIF_IMAGEDESCRIPTION", none, "d"},
      {"EXIF_MAKE", none, "Maker"},
      {"EXIF_MODEL", none, "Model 2"},
      {"EXIF_ORIENTATION", "0", "8"},
      {"EXIF_XRESOLUTION", "0", "72"},
      {"EXIF_YRESOLUTION", "0", "96"},
      {"EXIF_RESOLUTIONUNIT", "0", "2"},
      {"EXIF_SOFTWARE", none, "sw"},
      {"EXIF_DATETIME", none, "2020:01:02 03:04:05"},
      {"EXIF_COPYRIGHT", none, "(c)"},
      {"EXIF_EXPOSURETIME", "-1", "0.01"},
      {"EXIF_FNUMBER", "-1", "2.8"},
      {"EXIF_EXPOSUREPROGRAM", "-1", "2"},
      {"EXIF_EXIFVERSION", none, "0230"},
      {"EXIF_DATETIMEORIGINAL", none, "2020:01:02 03:04:06"},
      {"EXIF_DATETIMEDIGITIZED", none, "2020:01:02 03:04:07"},
      {"EXIF_COMPRESSEDBITSPERPIXEL", "0", "4"},
      {"EXIF_SHUTTERSPEEDVALUE", "-1", "6.5"},
      {"EXIF_APERTUREVALUE", "-1", "2.97"},
      {"EXIF_BRIGHTNESSVALUE", "-1000", "-1"},
      {"EXIF_EXPOSUREBIASVALUE", "-1000", "-0.33"},
      {"EXIF_MAXAPERTUREVALUE", "-1000", "3.2"},
      {"EXIF_SUBJECTDISTANCE", "-1", "12.5"},
      {"EXIF_METERINGMODE", "-1", "5"},
      {"EXIF_LIGHTSOURCE", "-1", "1"},
      {"EXIF_FLASH", "-1", "16"},
      {"EXIF_FOCALLENGTH", "-1", "35"},
      {"EXIF_SUBSECTIME", none, "12"},
      {"EXIF_SUBSECTIMEORIGINAL", none, "13"},
      {"EXIF_SUBSECTIMEDIGITIZED", none, "14"},
      {"EXIF_FLASHPIXVERSION", none, "0100"},
      {"EXIF_COLORSPACE", "-1", "1"},
      {"EXIF_EXIFIMAGEWIDTH", "0", "4000"},
      {"EXIF_EXIFIMAGEHEIGHT", "0", "3000"},
      {"EXIF_RELATEDSOUNDFILE", none, "snd.wav"},
      {"EXIF_FOCALPLANEXRESOLUTION", "-1", "4000.5"},
      {"EXIF_FOCALPLANEYRESOLUTION", "-1", "4000.25"},
      {"EXIF_FOCALPLANERESOLUTIONUNIT", "-1", "2"},
      {"EXIF_EXPOSUREINDEX", "-1", "100"},
      {"EXIF_SENSINGMETHOD", "-1", "2"},
      {"EXIF_FILESOURCE", "-1", "3"},
      {"EXIF_SCENETYPE", "-1", "1"},
      {"EXIF_USERCOMMENT", none, "日本の写真"},
      {"EXIF_USERCOMMENTCODE", none, "ASCII"},
      {"EXIF_EXPOSUREMODE", "-1", "0"},
      {"EXIF_WHITEBALANCE", "-1", "1"},
      {"EXIF_DIGITALZOOMRATIO", "-1", "2"},
      {"EXIF_FOCALLENGTHIN35MMFILM", "-1", "50"},
      {"EXIF_SCENECAPTURETYPE", "-1", "2"},
      {"EXIF_GAINCONTROL", "-1", "1"},
      {"EXIF_CONTRAST", "-1", "2"},
      {"EXIF_SATURATION", "-1", "1"},
      {"EXIF_SHARPNESS", "-1", "2"},
      {"EXIF_SUBJECTDISTANCERANGE", "-1", "3"},
      {"EXIF_IMAGEUNIQUEID", none, "abc123"},
      {"EXIF_ARTIST", none, "Artist"},
      {"EXIF_ISOSPEEDRATINGS0", "0", "200"},
      {"EXIF_ISOSPEEDRATINGS1", "0", "400"},
      {"EXIF_XPRATING", "-1", "4"},
      {"EXIF_XPTITLE", none, "タイトル"},
      {"EXIF_XPCOMMENT", none, "комментарий"},
      {"EXIF_XPAUTHOR", none, "author"},
      {"EXIF_XPKEYWORDS", none, "k1;k2"},
      {"EXIF_XPSUBJECT", none, "subject"},
      {"EXIF_WHITEPOINT0", "-1", "0.3127"},
      {"EXIF_WHITEPOINT1", "-1", "0.329"},
      {"EXIF_YCBCRCOEFFICIENTS0", "-1", "0.299"},
      {"EXIF_YCBCRCOEFFICIENTS1", "-1", "0.587"},
      {"EXIF_YCBCRCOEFFICIENTS2", "-1", "0.114"},
      {"EXIF_YCBCRPOSITIONING", "-1", "1"},
      {"EXIF_GPSVERSIONID", none, "2.2.0.0"},
      {"EXIF_GPSLATITUDE", "0", "-33.5"},
      {"EXIF_GPSLATITUDEREF", none, "N"},
      {"EXIF_GPSLATITUDEDEGREES", "0", "45"},
      {"EXIF_GPSLATITUDEMINUTES", "0", "31"},
      {"EXIF_GPSLATITUDESECONDS", "0", "15.5"},
      {"EXIF_GPSLONGITUDE", "0", "151.25"},
      {"EXIF_GPSLONGITUDEREF", none, "W"},
      {"EXIF_GPSLONGITUDEDEGREES", "0", "122"},
      {"EXIF_GPSLONGITUDEMINUTES", "0", "20"},
      {"EXIF_GPSLONGITUDESECONDS", "0", "1.25"},
      {"EXIF_GPSALTITUDEREF", none, "0"},
      {"EXIF_GPSALTITUDE", "0", "1234.5"},
      {"EXIF_GPSTIMESTAMPHOUR", "0", "13"},
      {"EXIF_GPSTIMESTAMPMINUTE", "0", "14"},
      {"EXIF_GPSTIMESTAMPSECOND", "0", "15"},
      {"EXIF_GPSSATELLITES", none, "7"},
      {"EXIF_GPSSTATUS", none, "A"},
      {"EXIF_GPSMEASUREMODE", none, "3"},
      {"EXIF_GPSDOP", "0", "1.5"},
      {"EXIF_GPSSPEEDREF", none, "K"},
      {"EXIF_GPSSPEED", "0", "88"},
      {"EXIF_GPSTRACKREF", none, "T"},
      {"EXIF_GPSTRACK", "0", "90"},
      {"EXIF_GPSIMGDIRECTIONREF", none, "M"},
      {"EXIF_GPSIMGDIRECTION", "0", "180"},
      {"EXIF_GPSMAPDATUM", none, "WGS-84"},
      {"EXIF_GPSDESTLATITUDEREF", none, "S"},
      {"EXIF_GPSDESTLATITUDEDEGREES", "0", "10"},
      {"EXIF_GPSDESTLATITUDEMINUTES", "0", "11"},
      {"EXIF_GPSDESTLATITUDESECONDS", "0", "12"},
      {"EXIF_GPSDESTLONGITUDEREF", none, "E"},
      {"EXIF_GPSDESTLONGITUDEDEGREES", "0", "13"},
      {"EXIF_GPSDESTLONGITUDEMINUTES", "0", "14"},
      {"EXIF_GPSDESTLONGITUDESECONDS", "0", "15"},
      {"EXIF_GPSDESTBEARINGREF", none, "T"},
      {"EXIF_GPSDESTBEARING", "0", "45"},
      {"EXIF_GPSDESTDISTANCEREF", none, "K"},
      {"EXIF_GPSDESTDISTANCE", "0", "3.5"},
      {"EXIF_GPSDATESTAMP", none, "2024:03:05"},
      {"RAW_HALFSIZE", "0", "1"},
      {"RAW_GAMMA", "0.6", "0.45"},
      {"RAW_BRIGHT", "1", "1.2"},
      {"RAW_REDSCALE", "1", "1.1"},
      {"RAW_BLUESCALE", "1", "0.9"},
      {"RAW_QUICKINTERPOLATE", "1", "0"},
      {"RAW_USEAUTOWB", "0", "1"},
      {"RAW_USECAMERAWB", "0", "1"},
      {"RAW_FOURCOLORRGB", "0", "1"},
      {"RAW_CAMERA", none, "Cam"},
      {"RAW_GETEXIFTHUMBNAIL", "0", "1"},
      {"RAW_AUTOADJUSTCOLORS", "0", "1"},
      {"RAW_EXTRAPARAMS", none, "-q 3"},
      {"MEDIAFILE_FRAMECOUNT", "0", "300"},
      {"MEDIAFILE_FRAMEDELAYTIME", "0", "33.3"},
      {"IMAGEINDEX", "0", "5"},
      {"IMAGECOUNT", "0", "9"},
      {"GETTHUMBNAIL", "0", "1"},
      {"ISRESOURCE", "0", "1"},
      {"XMP_INFO", none, "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>"},
  };
}

TEST(ParamsByName, EveryNameReadsItsDefault) {
  TIOParamsVals p;
  p.SetJPEG_Quality(3);
  p.SetEXIF_FNumber(4);
  p.SetDefaultParams();
  for (const TRow& r : Rows()) EXPECT_EQ(p.GetProperty(r.Name), r.Default) << r.Name;
}

TEST(ParamsByName, EveryWritableNameReadsBackWhatWasWritten) {
  for (const TRow& r : Rows()) {
    if (r.Write == nullptr) continue;
    // Fresh parameters of a component (for ABORTING) with a colour map each
    // time, so that linked fields written earlier do not interfere.
    TVexlaneIO io;
    TIOParamsVals& p = io.Params();
    p.fColorMap.assign(4, TRGB{});
    p.fColorMapCount = 4;
    const std::string name = std::string(r.Name) == "COLORMAPITEM" ? "COLORMAPITEM2" : r.Name;
    ASSERT_NE(p.GetProperty(name), r.Write) << name << ": the written value must differ";
    p.SetProperty(name, r.Write);
    EXPECT_EQ(p.GetProperty(name), r.Write) << name;
    if (name == "ABORTING") {
      EXPECT_TRUE(io.Aborting());
    }
    if (name == "COLORMAPITEM2") {
      EXPECT_EQ(p.fColorMap[2].r, 10);
    }
  }
}

TEST(ParamsByName, ReadOnlyAndUnknownNames) {
  TIOParamsVals p;
  p.SetFileName("/x/a.png");
  p.SetFileType(8);
  p.SetTIFF_ImageCount(3);
  const std::vector<std::string> readOnly = {"FILENAME",       "FILETYPESTR",          "FILETYPE",
                                             "COLORMAPCOUNT",  "TIFF_COMPRESSIONSTR",  "TIFF_PHOTOMETINTEPRETSTR",
                                             "TIFF_IMAGECOUNT", "GIF_IMAGECOUNT",      "PSD_HASPREMULTIPLIEDALPHA"};
  size_t readOnlyRows = 0;
  for (const TRow& r : Rows()) readOnlyRows += r.Write == nullptr;
  EXPECT_EQ(readOnlyRows, readOnly.size());
  for (const std::string& name : readOnly) {
    const std::string before = p.GetProperty(name);
    EXPECT_NE(before, "INVALID PROPERTY") << name;
    p.SetProperty(name, "1");
    p.SetProperty(name, "JPEG");
    EXPECT_EQ(p.GetProperty(name), before) << name;
  }
  EXPECT_EQ(p.FileName(), "/x/a.png");
  EXPECT_EQ(p.FileType(), 8);
  EXPECT_EQ(p.ImageCount(), 3);
  for (const char* unknown : {"JPEG QUALITY", "", "QUALITY", "FILETYPE_", "EXIF_ISOSPEEDRATINGS2",
                              "EXIF_PRIMARYCHROMATICITIES0", "GIF_ACTION", "TIFF_BIGTIFF", "DICOM_RANGE"}) {
    EXPECT_EQ(p.GetProperty(unknown), "INVALID PROPERTY") << unknown;
    p.SetProperty(unknown, "1");  // ignored
  }
  EXPECT_EQ(p.GIF_Action(), ioGIF_DrawBackground);
  EXPECT_FALSE(p.TIFF_BigTIFF());
}

TEST(ParamsByName, NamesIgnoreCaseAndControlCharacters) {
  TIOParamsVals p;
  p.SetProperty("jpeg_quality", "61");
  EXPECT_EQ(p.JPEG_Quality(), 61);
  p.SetProperty("\tJPEG_QUALITY", "62");
  EXPECT_EQ(p.GetProperty("JPEG_QUALITY"), "62");
  EXPECT_EQ(p.GetProperty("Jpeg_\x7FQuality\n"), "62");
  p.SetProperty("JPEG QUALITY", "63");
  EXPECT_EQ(p.JPEG_Quality(), 62);
  // Control characters leave the value too.
  p.SetProperty("JPEG_QUALITY", "6\r\n4");
  EXPECT_EQ(p.JPEG_Quality(), 64);
}

TEST(ParamsByName, TextsThatDoNotParseTakeTheFallback) {
  struct {
    const char* Name;
    const char* Expected;
  } cases[] = {
      {"SAMPLESPERPIXEL", "8"},        {"BITSPERSAMPLE", "8"},       {"WIDTH", "1"},
      {"HEIGHT", "1"},                 {"DPIX", "1"},                {"TIFF_GETTILE", "-1"},
      {"TIFF_FILLORDER", "1"},         {"TIFF_ORIENTATION", "1"},    {"TIFF_BYTEORDER", "1"},
      {"JPEG_CROMASUBSAMPLING", "1"},  {"BMPRAW_ROWALIGN", "8"},     {"PNG_COMPRESSION", "1"},
      {"PS_PAPERWIDTH", "595"},        {"PDF_PAPERHEIGHT", "842"},   {"HDP_IMAGEQUALITY", "0.9"},
      {"EXIF_FNUMBER", "-1"},          {"EXIF_FLASH", "-1"},         {"EXIF_DIGITALZOOMRATIO", "-1"},
      {"EXIF_XPRATING", "-1"},         {"EXIF_BRIGHTNESSVALUE", "-1000"}, {"EXIF_MAXAPERTUREVALUE", "-1000"},
      {"JPEG_QUALITY", "0"},           {"EXIF_EXPOSURETIME", "0"},  {"TGA_GAMMA", "0"},
  };
  TIOParamsVals p;
  for (const auto& c : cases) {
    p.SetProperty(c.Name, "2");  // something else first
    p.SetProperty(c.Name, "x12");
    EXPECT_EQ(p.GetProperty(c.Name), c.Expected) << c.Name;
  }
}

TEST(ParamsByName, TextForms) {
  TIOParamsVals p;
  // Doubles: "," or "." whatever the decimal separator; written with ".".
  TVXFormatSettings saved = VXFormatSettings();
  for (char sep : {'.', ','}) {
    VXFormatSettings().DecimalSeparator = sep;
    p.SetProperty("EXIF_FNUMBER", "2,8");
    EXPECT_DOUBLE_EQ(p.EXIF_FNumber(), 2.8) << sep;
    EXPECT_EQ(p.GetProperty("EXIF_FNUMBER"), "2.8") << sep;
    p.SetProperty("EXIF_FNUMBER", "3.5");
    EXPECT_EQ(p.GetProperty("EXIF_FNUMBER"), "3.5") << sep;
  }
  VXFormatSettings() = saved;
  p.SetProperty("J2000_RATE", "0.123456789012345678");
  EXPECT_EQ(p.GetProperty("J2000_RATE"), "0.123456789012346");
  // Booleans.
  for (const char* yes : {"true", "TRUE", "t", "T", "1", "tRuE"}) {
    p.SetProperty("GIF_TRANSPARENT", "0");
    p.SetProperty("GIF_TRANSPARENT", yes);
    EXPECT_TRUE(p.GIF_FlagTranspColor()) << yes;
  }
  for (const char* no : {"yes", "2", "", "TR", "on"}) {
    p.SetProperty("GIF_TRANSPARENT", "1");
    p.SetProperty("GIF_TRANSPARENT", no);
    EXPECT_FALSE(p.GIF_FlagTranspColor()) << no;
  }
  // Colours: low bytes, missing parts 0, extra parts ignored.
  p.SetProperty("PNG_BACKGROUND", "255, 128, 0");
  EXPECT_EQ(p.PNG_Background().r, 255);
  EXPECT_EQ(p.PNG_Background().g, 128);
  EXPECT_EQ(p.PNG_Background().b, 0);
  EXPECT_EQ(p.GetProperty("PNG_BACKGROUND"), "255, 128, 0");
  p.SetProperty("PNG_BACKGROUND", " 257 ,x,3,99");
  EXPECT_EQ(p.GetProperty("PNG_BACKGROUND"), "1, 0, 3");
  p.SetProperty("PNG_BACKGROUND", "7");
  EXPECT_EQ(p.GetProperty("PNG_BACKGROUND"), "7, 0, 0");
  // Enumerations store the low byte; integers the whole value.
  p.SetProperty("JPEG_DCTMETHOD", "258");
  EXPECT_EQ(p.GetProperty("JPEG_DCTMETHOD"), "2");
  p.SetProperty("JPEG_QUALITY", "-70000");
  EXPECT_EQ(p.JPEG_Quality(), -70000);
  // 8-bit strings hold Windows-1252; wide ones anything.
  p.SetProperty("PS_TITLE", "€ Zoë 日本");
  EXPECT_EQ(p.PS_Title(), "€ Zoë ??");
  p.SetProperty("EXIF_XPTITLE", "€ Zoë 日本");
  EXPECT_EQ(p.EXIF_XPTitle(), "€ Zoë 日本");
}

TEST(ParamsByName, TargaDateInTheShortDateForm) {
  TIOParamsVals p;
  TVXFormatSettings saved = VXFormatSettings();
  p.SetProperty("TGA_DATE", "2024-03-05");
  EXPECT_EQ(p.GetProperty("TGA_DATE"), "2024-03-05");
  const double date = p.TGA_Date();
  EXPECT_DOUBLE_EQ(date, 45356);  // days since 1899-12-30
  for (const char* bad : {"5.3.2024", "2024-13-01", "2023-02-29", "2024-03", "2024-03-05x", "", "yesterday"}) {
    p.SetProperty("TGA_DATE", bad);
    EXPECT_DOUBLE_EQ(p.TGA_Date(), date) << bad;
  }
  p.SetProperty("TGA_DATE", "2024-02-29");
  EXPECT_EQ(p.GetProperty("TGA_DATE"), "2024-02-29");
  // Another form: day first, "/" as the separator's place-holder.
  VXFormatSettings().ShortDateFormat = "dd/mm/yyyy";
  VXFormatSettings().DateSeparator = '.';
  EXPECT_EQ(p.GetProperty("TGA_DATE"), "29.02.2024");
  p.SetProperty("TGA_DATE", "5.3.2024");
  EXPECT_EQ(p.GetProperty("TGA_DATE"), "05.03.2024");
  VXFormatSettings() = saved;
}

TEST(ParamsByName, WritesGoThroughTheLinkedSetters) {
  TIOParamsVals p;
  p.SetProperty("GIF_IMAGEINDEX", "2");
  for (const char* n : {"IMAGEINDEX", "TIFF_IMAGEINDEX", "DCX_IMAGEINDEX", "GIF_IMAGEINDEX", "ICO_IMAGEINDEX",
                        "CUR_IMAGEINDEX"})
    EXPECT_EQ(p.GetProperty(n), "2") << n;
  p.SetProperty("IMAGECOUNT", "4");
  for (const char* n : {"TIFF_IMAGECOUNT", "GIF_IMAGECOUNT", "AVI_FRAMECOUNT", "MEDIAFILE_FRAMECOUNT"})
    EXPECT_EQ(p.GetProperty(n), "4") << n;
  p.SetProperty("DPIX", "300");
  EXPECT_EQ(p.GetProperty("EXIF_XRESOLUTION"), "300");
  p.SetProperty("EXIF_YRESOLUTION", "120");
  EXPECT_EQ(p.DpiY(), 120);
  p.SetProperty("TIFF_ORIENTATION", "6");
  EXPECT_EQ(p.GetProperty("EXIF_ORIENTATION"), "6");

  // Tag-tracking EXIF setters enter the tag list; plain EXIF fields do not.
  p.ResetEXIF();
  p.SetProperty("EXIF_DIGITALZOOMRATIO", "2");
  EXPECT_DOUBLE_EQ(p.EXIF_DigitalZoomRatio(), 2);
  EXPECT_TRUE(p.EXIF_Tags().empty());
  p.SetProperty("EXIF_FNUMBER", "2.8");
  EXPECT_EQ(p.EXIF_Tags(), std::vector<int32_t>{0x829D});

  // The GPS position through its signed form.
  p.SetProperty("EXIF_GPSLATITUDE", "-33.5");
  EXPECT_EQ(p.GetProperty("EXIF_GPSLATITUDE"), "-33.5");
  EXPECT_EQ(p.EXIF_GPSLatitudeRef(), "S");
  EXPECT_DOUBLE_EQ(p.EXIF_GPSLatitudeDegrees(), 33);
  EXPECT_DOUBLE_EQ(p.EXIF_GPSLatitudeMinutes(), 30);
  p.SetProperty("EXIF_GPSLONGITUDE", "151.25");
  EXPECT_EQ(p.EXIF_GPSLongitudeRef(), "E");
  EXPECT_EQ(p.GetProperty("EXIF_GPSLONGITUDE"), "151.25");
}

TEST(ParamsByName, AbortingAndColorMapNeedTheirTargets) {
  TIOParamsVals alone;
  EXPECT_EQ(alone.GetProperty("ABORTING"), "0");
  alone.SetProperty("ABORTING", "1");
  EXPECT_EQ(alone.GetProperty("ABORTING"), "0");

  TVexlaneIO io;
  io.Params().SetProperty("aborting", "T");
  EXPECT_TRUE(io.Aborting());
  io.SetAborting(false);
  EXPECT_EQ(io.Params().GetProperty("ABORTING"), "0");

  TIOParamsVals p;
  p.fColorMap = {TRGB{1, 2, 3}, TRGB{4, 5, 6}};
  p.fColorMapCount = 2;
  EXPECT_EQ(p.GetProperty("COLORMAPITEM"), "3, 2, 1");   // no number: entry 0
  EXPECT_EQ(p.GetProperty("COLORMAPITEMX"), "3, 2, 1");
  EXPECT_EQ(p.GetProperty("COLORMAPITEM99999999999"), "3, 2, 1");  // not a 32-bit number: 0
  EXPECT_EQ(p.GetProperty("colormapitem1"), "6, 5, 4");
  for (const char* outside : {"COLORMAPITEM2", "COLORMAPITEM-1"}) {
    EXPECT_EQ(p.GetProperty(outside), "") << outside;
    p.SetProperty(outside, "9, 9, 9");
  }
  p.SetProperty("COLORMAPITEM1", "10, 11");
  EXPECT_EQ(p.GetProperty("COLORMAPITEM1"), "10, 11, 0");
  ASSERT_EQ(p.fColorMap.size(), 2u);
  EXPECT_EQ(p.GetProperty("COLORMAPITEM0"), "3, 2, 1");
  // A count larger than the map reaches no further than the map.
  p.fColorMapCount = 5;
  EXPECT_EQ(p.GetProperty("COLORMAPITEM3"), "");
}

TEST(ParamsByName, CompressionNames) {
  TIOParamsVals p;
  const char* tiff[] = {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX", "LZW",
                        "OLDJPEG",      "JPEG",    "PACKBITS", "ZIP",   "DEFLATE", "UNKNOWN"};
  for (int i = 0; i < 12; ++i) {
    p.SetProperty("TIFF_COMPRESSION", std::to_string(i));
    EXPECT_EQ(p.GetProperty("TIFF_COMPRESSIONSTR"), tiff[i]);
  }
  p.SetProperty("TIFF_COMPRESSION", "200");
  EXPECT_EQ(p.GetProperty("TIFF_COMPRESSIONSTR"), "UNKNOWN");
  const char* photo[] = {"WB", "BW", "RGB", "RGBPAL", "TRANSPMASK", "CMYK", "YCBCR", "CIELAB", ""};
  for (int i = 0; i < 9; ++i) {
    p.SetProperty("TIFF_PHOTOMETINTEPRET", std::to_string(i));
    EXPECT_EQ(p.GetProperty("TIFF_PHOTOMETINTEPRETSTR"), photo[i]);
  }
}

TEST(ParamsByName, FileTypeStrDescribesTypeAndDetail) {
  VXRegisterBuiltInFileFormats();
  struct {
    int32_t FileType;
    void (*Detail)(TIOParamsVals&);
    const char* Expected;
  } cases[] = {
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_UNCOMPRESSED); }, "TIFF Bitmap (TIFF) Uncompressed"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_CCITT1D); }, "TIFF Bitmap (TIFF) Huffman"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_G3FAX1D); }, "TIFF Bitmap (TIFF) Group 3 Fax"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_G3FAX2D); }, "TIFF Bitmap (TIFF) Group 3 Fax 2D"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_G4FAX); }, "TIFF Bitmap (TIFF) Group 4 Fax"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_LZW); }, "TIFF Bitmap (TIFF) LZW"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_OLDJPEG); }, "TIFF Bitmap (TIFF) Jpeg v.5"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_JPEG); }, "TIFF Bitmap (TIFF) Jpeg"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_PACKBITS); }, "TIFF Bitmap (TIFF) PackBits RLE"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_ZIP); }, "TIFF Bitmap (TIFF) ZIP"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_DEFLATE); }, "TIFF Bitmap (TIFF) Deflate"},
      {1, [](TIOParamsVals& p) { p.SetTIFF_Compression(ioTIFF_UNKNOWN); }, "TIFF Bitmap (TIFF)"},
      {2, [](TIOParamsVals& p) { p.SetGIF_Interlaced(true); }, "CompuServe Bitmap (GIF) Interlaced"},
      {2, [](TIOParamsVals& p) { p.SetGIF_Interlaced(false); }, "CompuServe Bitmap (GIF)"},
      {3, [](TIOParamsVals& p) { p.SetJPEG_ColorSpace(ioJPEG_RGB); }, "JPEG Bitmap (JPEG)"},
      {3, [](TIOParamsVals& p) { p.SetJPEG_ColorSpace(ioJPEG_GRAYLEV); }, "JPEG Bitmap (JPEG) Gray level"},
      {3, [](TIOParamsVals& p) { p.SetJPEG_ColorSpace(ioJPEG_YCbCr); }, "JPEG Bitmap (JPEG) YCbCr"},
      {3, [](TIOParamsVals& p) { p.SetJPEG_ColorSpace(ioJPEG_CMYK); }, "JPEG Bitmap (JPEG) CMYK"},
      {3, [](TIOParamsVals& p) { p.SetJPEG_ColorSpace(ioJPEG_YCbCrK); }, "JPEG Bitmap (JPEG) YCbCrK"},
      {4, [](TIOParamsVals& p) { p.SetPCX_Compression(ioPCX_UNCOMPRESSED); }, "PaintBrush (PCX) Uncompressed"},
      {4, [](TIOParamsVals& p) { p.SetPCX_Compression(ioPCX_RLE); }, "PaintBrush (PCX)"},
      {5, [](TIOParamsVals& p) { p.SetBMP_Version(ioBMP_BM); }, "Windows Bitmap (BMP) ver.1"},
      {5, [](TIOParamsVals& p) { p.SetBMP_Version(ioBMP_BM3); }, "Windows Bitmap (BMP) ver.3"},
      {5, [](TIOParamsVals& p) { p.SetBMP_Version(ioBMP_BMOS2V1); }, "Windows Bitmap (BMP) OS/2 v.1"},
      {5, [](TIOParamsVals& p) { p.SetBMP_Version(ioBMP_BMOS2V2); }, "Windows Bitmap (BMP) OS/2 v.2"},
      {8, [](TIOParamsVals& p) { p.SetPNG_Interlaced(true); }, "Portable Network Graphics (PNG) Interlaced"},
      {8, [](TIOParamsVals& p) { p.SetPNG_Interlaced(false); }, "Portable Network Graphics (PNG)"},
      {11, [](TIOParamsVals& p) { p.SetTGA_Compressed(true); }, "Targa Bitmap (TARGA) Compressed"},
      {11, [](TIOParamsVals& p) { p.SetTGA_Compressed(false); }, "Targa Bitmap (TARGA) Uncompressed"},
      {13, [](TIOParamsVals& p) { p.SetJ2000_ColorSpace(ioJ2000_GRAYLEV); }, "JPEG2000 (JP2) Gray level"},
      {13, [](TIOParamsVals& p) { p.SetJ2000_ColorSpace(ioJ2000_RGB); }, "JPEG2000 (JP2) RGB"},
      {14, [](TIOParamsVals& p) { p.SetJ2000_ColorSpace(ioJ2000_YCbCr); }, "JPEG2000 Code Stream (J2K) YCbCr"},
      {20, [](TIOParamsVals& p) { p.SetRAW_Camera("Canon EOS"); }, "Camera RAW (RAW) (Canon EOS)"},
      {6, [](TIOParamsVals&) {}, "Windows Icon (ICO)"},
      {12, [](TIOParamsVals&) {}, "Portable Pixmap, GrayMap, BitMap (PXM)"},
      {21, [](TIOParamsVals&) {}, "Raw Bitmap ()"},
      {28, [](TIOParamsVals&) {}, "DICOM Bitmap (DICOM)"},
      {0, [](TIOParamsVals&) {}, ""},
      {15, [](TIOParamsVals&) {}, ""},
  };
  TIOParamsVals p;
  for (const auto& c : cases) {
    p.SetFileType(c.FileType);
    c.Detail(p);
    EXPECT_EQ(p.FileTypeStr(), c.Expected) << c.FileType;
    EXPECT_EQ(p.GetProperty("FILETYPESTR"), c.Expected) << c.FileType;
  }
}

}  // namespace
