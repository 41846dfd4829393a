// Access to the scalar parameters by property name: one table row per name
// with its field, its text form, its fallback for texts that do not parse and,
// where linked fields must follow, its setter.
#include <cstring>
#include <string>

#include "core/textutils.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

using TGet = std::string (*)(const TIOParamsVals& P);
using TSet = void (*)(TIOParamsVals& P, const std::string& V);

struct TProperty {
  const char* Name;
  TGet Get;
  TSet Set;  // nullptr: read-only
};

// ---- text forms ----

std::string IntText(int64_t v) { return std::to_string(v); }
int32_t IntValue(const std::string& v, int32_t fallback) { return VXStrToIntDefAnsi(v, fallback); }
std::string DoubleText(double v) { return VXFloatToStrDot(v); }
double DoubleValue(const std::string& v, double fallback) { return double(VXStrToFloatDef(v, fallback)); }
std::string ColorText(const TRGB& c) { return VXRGBToStr((int32_t(c.r) << 16) | (int32_t(c.g) << 8) | c.b); }
TRGB ColorValue(const std::string& v) {
  const int32_t rgb = VXStrToRGB(v);
  return TRGB{uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16)};
}
// 8-bit strings hold what the Windows-1252 code page can express.
std::string AnsiValue(const std::string& v) { return VXAnsiToUTF8(VXUTF8ToAnsi(v)); }

const char* const kTIFFCompressionNames[] = {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX", "LZW",
                                             "OLDJPEG",      "JPEG",    "PACKBITS", "ZIP",   "DEFLATE"};
const char* const kPhotometNames[] = {"WB", "BW", "RGB", "RGBPAL", "TRANSPMASK", "CMYK", "YCBCR", "CIELAB"};

// ---- rows ----

// A field read and written directly.
#define VX_INT(N, F, FB) \
  {N, [](const TIOParamsVals& p) { return IntText(p.F); }, [](TIOParamsVals& p, const std::string& v) { p.F = IntValue(v, FB); }}
// An int32 written through its setter (linked fields follow).
#define VX_INT_SET(N, F, S, FB) \
  {N, [](const TIOParamsVals& p) { return IntText(p.F); }, [](TIOParamsVals& p, const std::string& v) { p.S(IntValue(v, FB)); }}
// An enumeration: the ordinal; a write stores the low byte.
#define VX_ENUM(N, F, FB)                                            \
  {N, [](const TIOParamsVals& p) { return IntText(int(p.F)); },      \
   [](TIOParamsVals& p, const std::string& v) { p.F = decltype(p.F)(uint8_t(IntValue(v, FB))); }}
#define VX_BOOL(N, F) \
  {N, [](const TIOParamsVals& p) { return VXBoolToStr(p.F); }, [](TIOParamsVals& p, const std::string& v) { p.F = VXStrToBool(v); }}
#define VX_BOOL_SET(N, F, S) \
  {N, [](const TIOParamsVals& p) { return VXBoolToStr(p.F); }, [](TIOParamsVals& p, const std::string& v) { p.S(VXStrToBool(v)); }}
#define VX_DOUBLE(N, F, FB) \
  {N, [](const TIOParamsVals& p) { return DoubleText(p.F); }, [](TIOParamsVals& p, const std::string& v) { p.F = DoubleValue(v, FB); }}
#define VX_DOUBLE_SET(N, G, S, FB) \
  {N, [](const TIOParamsVals& p) { return DoubleText(p.G()); }, [](TIOParamsVals& p, const std::string& v) { p.S(DoubleValue(v, FB)); }}
#define VX_COLOR(N, F) \
  {N, [](const TIOParamsVals& p) { return ColorText(p.F); }, [](TIOParamsVals& p, const std::string& v) { p.F = ColorValue(v); }}
#define VX_ANSI(N, F) \
  {N, [](const TIOParamsVals& p) { return p.F; }, [](TIOParamsVals& p, const std::string& v) { p.F = AnsiValue(v); }}
#define VX_WIDE(N, F) \
  {N, [](const TIOParamsVals& p) { return p.F; }, [](TIOParamsVals& p, const std::string& v) { p.F = v; }}
#define VX_READ(N, EXPR) {N, [](const TIOParamsVals& p) -> std::string { return EXPR; }, nullptr}

const TProperty kProperties[] = {
    VX_READ("FILENAME", p.fFileName),
    VX_READ("FILETYPESTR", p.FileTypeStr()),
    VX_READ("FILETYPE", IntText(p.fFileType)),
    VX_INT("BITSPERSAMPLE", fBitsPerSample, 8),
    VX_INT("SAMPLESPERPIXEL", fSamplesPerPixel, 8),
    VX_INT("WIDTH", fWidth, 1),
    VX_INT("HEIGHT", fHeight, 1),
    VX_INT_SET("DPIX", fDpiX, SetDpiX, 1),
    VX_INT_SET("DPIY", fDpiY, SetDpiY, 1),
    VX_READ("COLORMAPCOUNT", IntText(p.fColorMapCount)),
    VX_BOOL("ISNATIVEPIXELFORMAT", IsNativePixelFormat),
    VX_BOOL_SET("ENABLEADJUSTORIENTATION", fEnableAdjustOrientation, SetEnableAdjustOrientation),
    {"ABORTING",
     [](const TIOParamsVals& p) { return VXBoolToStr(p.fVexlaneIO != nullptr && p.fVexlaneIO->Aborting()); },
     [](TIOParamsVals& p, const std::string& v) {
       if (p.fVexlaneIO != nullptr) p.fVexlaneIO->SetAborting(VXStrToBool(v));
     }},
    VX_READ("TIFF_COMPRESSIONSTR",
            p.fTIFF_Compression <= ioTIFF_DEFLATE ? kTIFFCompressionNames[p.fTIFF_Compression] : "UNKNOWN"),
    VX_ENUM("TIFF_COMPRESSION", fTIFF_Compression, 0),
    VX_INT_SET("TIFF_IMAGEINDEX", fTIFF_ImageIndex, SetTIFF_ImageIndex, 0),
    VX_INT("TIFF_SUBINDEX", fTIFF_SubIndex, 0),
    VX_READ("TIFF_IMAGECOUNT", IntText(p.fTIFF_ImageCount)),
    VX_INT("TIFF_JPEGQUALITY", fTIFF_JPEGQuality, 0),
    VX_INT("TIFF_ZIPCOMPRESSION", fTIFF_ZIPCompression, 0),
    VX_INT("TIFF_STRIPCOUNT", fTIFF_StripCount, 0),
    VX_READ("TIFF_PHOTOMETINTEPRETSTR",
            p.fTIFF_PhotometInterpret <= ioTIFF_CIELAB ? kPhotometNames[p.fTIFF_PhotometInterpret] : ""),
    VX_ENUM("TIFF_PHOTOMETINTEPRET", fTIFF_PhotometInterpret, 0),
    VX_INT("TIFF_PLANARCONF", fTIFF_PlanarConf, 0),
    VX_INT("TIFF_NEWSUBFILETYPE", fTIFF_NewSubfileType, 0),
    VX_INT("TIFF_XPOS", fTIFF_XPos, 0),
    VX_INT("TIFF_YPOS", fTIFF_YPos, 0),
    VX_INT("TIFF_GETTILE", fTIFF_GetTile, -1),
    VX_ANSI("TIFF_DOCUMENTNAME", fTIFF_DocumentName),
    VX_ANSI("TIFF_IMAGEDESCRIPTION", fTIFF_ImageDescription),
    VX_ANSI("TIFF_PAGENAME", fTIFF_PageName),
    VX_INT("TIFF_PAGENUMBER", fTIFF_PageNumber, 0),
    VX_INT("TIFF_PAGECOUNT", fTIFF_PageCount, 0),
    VX_ENUM("TIFF_JPEGCOLORSPACE", fTIFF_JPEGColorSpace, 0),
    VX_INT("TIFF_FILLORDER", fTIFF_FillOrder, 1),
    VX_INT_SET("TIFF_ORIENTATION", fTIFF_Orientation, SetTIFF_Orientation, 1),
    VX_BOOL("TIFF_ENABLEADJUSTORIENTATION", fTIFF_EnableAdjustOrientation),
    VX_ENUM("TIFF_BYTEORDER", fTIFF_ByteOrder, 1),
    VX_INT_SET("DCX_IMAGEINDEX", fDCX_ImageIndex, SetDCX_ImageIndex, 0),
    VX_INT_SET("AVI_FRAMECOUNT", fAVI_FrameCount, SetAVI_FrameCount, 0),
    VX_DOUBLE("AVI_FRAMEDELAYTIME", fAVI_FrameDelayTime, 0),
    VX_ANSI("GIF_VERSION", fGIF_Version),
    VX_INT_SET("GIF_IMAGEINDEX", fGIF_ImageIndex, SetGIF_ImageIndex, 0),
    VX_READ("GIF_IMAGECOUNT", IntText(p.fGIF_ImageCount)),
    VX_INT("GIF_XPOS", fGIF_XPos, 0),
    VX_INT("GIF_YPOS", fGIF_YPos, 0),
    VX_INT("GIF_DELAYTIME", fGIF_DelayTime, 0),
    VX_BOOL("GIF_TRANSPARENT", fGIF_FlagTranspColor),
    VX_COLOR("GIF_TRANSPCOLOR", fGIF_TranspColor),
    VX_BOOL("GIF_INTERLACED", fGIF_Interlaced),
    VX_INT("GIF_WINWIDTH", fGIF_WinWidth, 0),
    VX_INT("GIF_WINHEIGHT", fGIF_WinHeight, 0),
    VX_COLOR("GIF_BACKGROUND", fGIF_Background),
    VX_INT("GIF_RATIO", fGIF_Ratio, 0),
    VX_ENUM("JPEG_COLORSPACE", fJPEG_ColorSpace, 0),
    VX_INT("JPEG_QUALITY", fJPEG_Quality, 0),
    VX_ENUM("JPEG_DCTMETHOD", fJPEG_DCTMethod, 0),
    VX_BOOL("JPEG_OPTIMALHUFFMAN", fJPEG_OptimalHuffman),
    VX_INT("JPEG_SMOOTH", fJPEG_Smooth, 0),
    VX_BOOL("JPEG_PROGRESSIVE", fJPEG_Progressive),
    VX_INT("JPEG_SCALE_USED", fJPEG_Scale_Used, 0),
    VX_ENUM("JPEG_SCALE", fJPEG_Scale, 0),
    VX_BOOL("JPEG_ENABLEADJUSTORIENTATION", fJPEG_EnableAdjustOrientation),
    VX_BOOL_SET("JPEG_GETEXIFTHUMBNAIL", fJPEG_GetExifThumbnail, SetJPEG_GetExifThumbnail),
    VX_INT("JPEG_WARNINGTOT", fJPEG_WarningTot, 0),
    VX_INT("JPEG_WARNINGCODE", fJPEG_WarningCode, 0),
    VX_INT("JPEG_ORIGINALWIDTH", fOriginalWidth, 0),
    VX_INT("JPEG_ORIGINALHEIGHT", fOriginalHeight, 0),
    VX_INT("ORIGINALWIDTH", fOriginalWidth, 0),
    VX_INT("ORIGINALHEIGHT", fOriginalHeight, 0),
    VX_ENUM("JPEG_CROMASUBSAMPLING", fJPEG_CromaSubsampling, 1),
    VX_INT("PCX_VERSION", fPCX_Version, 0),
    VX_ENUM("PCX_COMPRESSION", fPCX_Compression, 0),
    VX_ENUM("BMP_VERSION", fBMP_Version, 0),
    VX_ENUM("BMP_COMPRESSION", fBMP_Compression, 0),
    VX_BOOL("BMP_HANDLETRANSPARENCY", fBMP_HandleTransparency),
    VX_ENUM("BMPRAW_CHANNELORDER", fBMPRAW_ChannelOrder, 0),
    VX_ENUM("BMPRAW_PLANES", fBMPRAW_Planes, 0),
    VX_INT("BMPRAW_ROWALIGN", fBMPRAW_RowAlign, 8),
    VX_INT("BMPRAW_HEADERSIZE", fBMPRAW_HeaderSize, 0),
    VX_ENUM("BMPRAW_DATAFORMAT", fBMPRAW_DataFormat, 0),
    VX_INT_SET("ICO_IMAGEINDEX", fICO_ImageIndex, SetICO_ImageIndex, 0),
    VX_COLOR("ICO_BACKGROUND", fICO_Background),
    VX_INT_SET("CUR_IMAGEINDEX", fCUR_ImageIndex, SetCUR_ImageIndex, 0),
    VX_INT("CUR_XHOTSPOT", fCUR_XHotSpot, 0),
    VX_INT("CUR_YHOTSPOT", fCUR_YHotSpot, 0),
    VX_COLOR("CUR_BACKGROUND", fCUR_Background),
    VX_BOOL("PNG_INTERLACED", fPNG_Interlaced),
    VX_COLOR("PNG_BACKGROUND", fPNG_Background),
    VX_ENUM("PNG_FILTER", fPNG_Filter, 0),
    VX_INT("PNG_COMPRESSION", fPNG_Compression, 1),
    VX_BOOL("PSD_LOADLAYERS", fPSD_LoadLayers),
    VX_BOOL("PSD_REPLACELAYERS", fPSD_ReplaceLayers),
    VX_READ("PSD_HASPREMULTIPLIEDALPHA", VXBoolToStr(p.fPSD_HasPremultipliedAlpha)),
    VX_DOUBLE("HDP_IMAGEQUALITY", fHDP_ImageQuality, 0.9),
    VX_BOOL("HDP_LOSSLESS", fHDP_Lossless),
    VX_INT("TGA_XPOS", fTGA_XPos, 0),
    VX_INT("TGA_YPOS", fTGA_YPos, 0),
    VX_BOOL("TGA_COMPRESSED", fTGA_Compressed),
    VX_ANSI("TGA_DESCRIPTOR", fTGA_Descriptor),
    VX_ANSI("TGA_AUTHOR", fTGA_Author),
    {"TGA_DATE", [](const TIOParamsVals& p) { return VXDateToStr(p.fTGA_Date); },
     [](TIOParamsVals& p, const std::string& v) { VXTryStrToDate(v, p.fTGA_Date); }},
    VX_ANSI("TGA_IMAGENAME", fTGA_ImageName),
    VX_COLOR("TGA_BACKGROUND", fTGA_Background),
    VX_DOUBLE("TGA_ASPECTRATIO", fTGA_AspectRatio, 0),
    VX_DOUBLE("TGA_GAMMA", fTGA_Gamma, 0),
    VX_BOOL("TGA_GRAYLEVEL", fTGA_GrayLevel),
    VX_ENUM("J2000_COLORSPACE", fJ2000_ColorSpace, 0),
    VX_DOUBLE("J2000_RATE", fJ2000_Rate, 0),
    VX_ENUM("J2000_SCALABLEBY", fJ2000_ScalableBy, 0),
    VX_INT("PS_PAPERWIDTH", fPS_PaperWidth, 595),
    VX_INT("PS_PAPERHEIGHT", fPS_PaperHeight, 842),
    VX_ENUM("PS_COMPRESSION", fPS_Compression, 0),
    VX_ANSI("PS_TITLE", fPS_Title),
    VX_INT("PDF_PAPERWIDTH", fPDF_PaperWidth, 595),
    VX_INT("PDF_PAPERHEIGHT", fPDF_PaperHeight, 842),
    VX_ENUM("PDF_COMPRESSION", fPDF_Compression, 0),
    VX_ANSI("PDF_TITLE", fPDF_Title),
    VX_ANSI("PDF_AUTHOR", fPDF_Author),
    VX_ANSI("PDF_SUBJECT", fPDF_Subject),
    VX_ANSI("PDF_KEYWORDS", fPDF_Keywords),
    VX_ANSI("PDF_CREATOR", fPDF_Creator),
    VX_ANSI("PDF_PRODUCER", fPDF_Producer),
    VX_BOOL("EXIF_HASEXIF", fEXIF_HasEXIFData),
    VX_ANSI("EXIF_IMAGEDESCRIPTION", fEXIF_ImageDescription),
    VX_ANSI("EXIF_MAKE", fEXIF_Make),
    VX_ANSI("EXIF_MODEL", fEXIF_Model),
    VX_INT_SET("EXIF_ORIENTATION", fEXIF_Orientation, SetEXIF_Orientation, 0),
    VX_DOUBLE_SET("EXIF_XRESOLUTION", EXIF_XResolution, SetEXIF_XResolution, 0),
    VX_DOUBLE_SET("EXIF_YRESOLUTION", EXIF_YResolution, SetEXIF_YResolution, 0),
    VX_INT("EXIF_RESOLUTIONUNIT", fEXIF_ResolutionUnit, 0),
    VX_ANSI("EXIF_SOFTWARE", fEXIF_Software),
    VX_ANSI("EXIF_DATETIME", fEXIF_DateTime),
    VX_ANSI("EXIF_COPYRIGHT", fEXIF_Copyright),
    VX_DOUBLE_SET("EXIF_EXPOSURETIME", EXIF_ExposureTime, SetEXIF_ExposureTime, 0),
    VX_DOUBLE_SET("EXIF_FNUMBER", EXIF_FNumber, SetEXIF_FNumber, -1),
    VX_INT_SET("EXIF_EXPOSUREPROGRAM", fEXIF_ExposureProgram, SetEXIF_ExposureProgram, -1),
    VX_ANSI("EXIF_EXIFVERSION", fEXIF_ExifVersion),
    VX_ANSI("EXIF_DATETIMEORIGINAL", fEXIF_DateTimeOriginal),
    VX_ANSI("EXIF_DATETIMEDIGITIZED", fEXIF_DateTimeDigitized),
    VX_DOUBLE_SET("EXIF_COMPRESSEDBITSPERPIXEL", EXIF_CompressedBitsPerPixel, SetEXIF_CompressedBitsPerPixel, 0),
    VX_DOUBLE_SET("EXIF_SHUTTERSPEEDVALUE", EXIF_ShutterSpeedValue, SetEXIF_ShutterSpeedValue, -1),
    VX_DOUBLE_SET("EXIF_APERTUREVALUE", EXIF_ApertureValue, SetEXIF_ApertureValue, -1),
    VX_DOUBLE_SET("EXIF_BRIGHTNESSVALUE", EXIF_BrightnessValue, SetEXIF_BrightnessValue, -1000),
    VX_DOUBLE_SET("EXIF_EXPOSUREBIASVALUE", EXIF_ExposureBiasValue, SetEXIF_ExposureBiasValue, -1000),
    VX_DOUBLE_SET("EXIF_MAXAPERTUREVALUE", EXIF_MaxApertureValue, SetEXIF_MaxApertureValue, -1000),
    VX_DOUBLE_SET("EXIF_SUBJECTDISTANCE", EXIF_SubjectDistance, SetEXIF_SubjectDistance, -1),
    VX_INT_SET("EXIF_METERINGMODE", fEXIF_MeteringMode, SetEXIF_MeteringMode, -1),
    VX_INT_SET("EXIF_LIGHTSOURCE", fEXIF_LightSource, SetEXIF_LightSource, -1),
    VX_INT_SET("EXIF_FLASH", fEXIF_Flash, SetEXIF_Flash, -1),
    VX_DOUBLE_SET("EXIF_FOCALLENGTH", EXIF_FocalLength, SetEXIF_FocalLength, -1),
    VX_ANSI("EXIF_SUBSECTIME", fEXIF_SubsecTime),
    VX_ANSI("EXIF_SUBSECTIMEORIGINAL", fEXIF_SubsecTimeOriginal),
    VX_ANSI("EXIF_SUBSECTIMEDIGITIZED", fEXIF_SubsecTimeDigitized),
    VX_ANSI("EXIF_FLASHPIXVERSION", fEXIF_FlashPixVersion),
    VX_INT_SET("EXIF_COLORSPACE", fEXIF_ColorSpace, SetEXIF_ColorSpace, -1),
    VX_INT_SET("EXIF_EXIFIMAGEWIDTH", fEXIF_ExifImageWidth, SetEXIF_ExifImageWidth, 0),
    VX_INT_SET("EXIF_EXIFIMAGEHEIGHT", fEXIF_ExifImageHeight, SetEXIF_ExifImageHeight, 0),
    VX_ANSI("EXIF_RELATEDSOUNDFILE", fEXIF_RelatedSoundFile),
    VX_DOUBLE_SET("EXIF_FOCALPLANEXRESOLUTION", EXIF_FocalPlaneXResolution, SetEXIF_FocalPlaneXResolution, -1),
    VX_DOUBLE_SET("EXIF_FOCALPLANEYRESOLUTION", EXIF_FocalPlaneYResolution, SetEXIF_FocalPlaneYResolution, -1),
    VX_INT_SET("EXIF_FOCALPLANERESOLUTIONUNIT", fEXIF_FocalPlaneResolutionUnit, SetEXIF_FocalPlaneResolutionUnit, -1),
    VX_DOUBLE_SET("EXIF_EXPOSUREINDEX", EXIF_ExposureIndex, SetEXIF_ExposureIndex, -1),
    VX_INT_SET("EXIF_SENSINGMETHOD", fEXIF_SensingMethod, SetEXIF_SensingMethod, -1),
    VX_INT_SET("EXIF_FILESOURCE", fEXIF_FileSource, SetEXIF_FileSource, -1),
    VX_INT_SET("EXIF_SCENETYPE", fEXIF_SceneType, SetEXIF_SceneType, -1),
    VX_WIDE("EXIF_USERCOMMENT", fEXIF_UserComment),
    VX_ANSI("EXIF_USERCOMMENTCODE", fEXIF_UserCommentCode),
    VX_INT("EXIF_EXPOSUREMODE", fEXIF_ExposureMode, -1),
    VX_INT("EXIF_WHITEBALANCE", fEXIF_WhiteBalance, -1),
    VX_DOUBLE("EXIF_DIGITALZOOMRATIO", fEXIF_DigitalZoomRatio, -1),
    VX_INT("EXIF_FOCALLENGTHIN35MMFILM", fEXIF_FocalLengthIn35mmFilm, -1),
    VX_INT("EXIF_SCENECAPTURETYPE", fEXIF_SceneCaptureType, -1),
    VX_INT("EXIF_GAINCONTROL", fEXIF_GainControl, -1),
    VX_INT("EXIF_CONTRAST", fEXIF_Contrast, -1),
    VX_INT("EXIF_SATURATION", fEXIF_Saturation, -1),
    VX_INT("EXIF_SHARPNESS", fEXIF_Sharpness, -1),
    VX_INT("EXIF_SUBJECTDISTANCERANGE", fEXIF_SubjectDistanceRange, -1),
    VX_ANSI("EXIF_IMAGEUNIQUEID", fEXIF_ImageUniqueID),
    VX_ANSI("EXIF_ARTIST", fEXIF_Artist),
    VX_INT("EXIF_ISOSPEEDRATINGS0", fEXIF_ISOSpeedRatings[0], 0),
    VX_INT("EXIF_ISOSPEEDRATINGS1", fEXIF_ISOSpeedRatings[1], 0),
    VX_INT("EXIF_XPRATING", fEXIF_XPRating, -1),
    VX_WIDE("EXIF_XPTITLE", fEXIF_XPTitle),
    VX_WIDE("EXIF_XPCOMMENT", fEXIF_XPComment),
    VX_WIDE("EXIF_XPAUTHOR", fEXIF_XPAuthor),
    VX_WIDE("EXIF_XPKEYWORDS", fEXIF_XPKeywords),
    VX_WIDE("EXIF_XPSUBJECT", fEXIF_XPSubject),
    VX_DOUBLE("EXIF_WHITEPOINT0", fEXIF_WhitePoint[0], 0),
    VX_DOUBLE("EXIF_WHITEPOINT1", fEXIF_WhitePoint[1], 0),
    VX_DOUBLE("EXIF_YCBCRCOEFFICIENTS0", fEXIF_YCbCrCoefficients[0], 0),
    VX_DOUBLE("EXIF_YCBCRCOEFFICIENTS1", fEXIF_YCbCrCoefficients[1], 0),
    VX_DOUBLE("EXIF_YCBCRCOEFFICIENTS2", fEXIF_YCbCrCoefficients[2], 0),
    VX_INT("EXIF_YCBCRPOSITIONING", fEXIF_YCbCrPositioning, 0),
    VX_ANSI("EXIF_GPSVERSIONID", fEXIF_GPSVersionID),
    VX_DOUBLE_SET("EXIF_GPSLATITUDE", EXIF_GPSLatitude, SetEXIF_GPSLatitude, 0),
    VX_ANSI("EXIF_GPSLATITUDEREF", fEXIF_GPSLatitudeRef),
    VX_DOUBLE("EXIF_GPSLATITUDEDEGREES", fEXIF_GPSLatitudeDegrees, 0),
    VX_DOUBLE("EXIF_GPSLATITUDEMINUTES", fEXIF_GPSLatitudeMinutes, 0),
    VX_DOUBLE("EXIF_GPSLATITUDESECONDS", fEXIF_GPSLatitudeSeconds, 0),
    VX_DOUBLE_SET("EXIF_GPSLONGITUDE", EXIF_GPSLongitude, SetEXIF_GPSLongitude, 0),
    VX_ANSI("EXIF_GPSLONGITUDEREF", fEXIF_GPSLongitudeRef),
    VX_DOUBLE("EXIF_GPSLONGITUDEDEGREES", fEXIF_GPSLongitudeDegrees, 0),
    VX_DOUBLE("EXIF_GPSLONGITUDEMINUTES", fEXIF_GPSLongitudeMinutes, 0),
    VX_DOUBLE("EXIF_GPSLONGITUDESECONDS", fEXIF_GPSLongitudeSeconds, 0),
    VX_ANSI("EXIF_GPSALTITUDEREF", fEXIF_GPSAltitudeRef),
    VX_DOUBLE("EXIF_GPSALTITUDE", fEXIF_GPSAltitude, 0),
    VX_DOUBLE("EXIF_GPSTIMESTAMPHOUR", fEXIF_GPSTimeStampHour, 0),
    VX_DOUBLE("EXIF_GPSTIMESTAMPMINUTE", fEXIF_GPSTimeStampMinute, 0),
    VX_DOUBLE("EXIF_GPSTIMESTAMPSECOND", fEXIF_GPSTimeStampSecond, 0),
    VX_ANSI("EXIF_GPSSATELLITES", fEXIF_GPSSatellites),
    VX_ANSI("EXIF_GPSSTATUS", fEXIF_GPSStatus),
    VX_ANSI("EXIF_GPSMEASUREMODE", fEXIF_GPSMeasureMode),
    VX_DOUBLE("EXIF_GPSDOP", fEXIF_GPSDOP, 0),
    VX_ANSI("EXIF_GPSSPEEDREF", fEXIF_GPSSpeedRef),
    VX_DOUBLE("EXIF_GPSSPEED", fEXIF_GPSSpeed, 0),
    VX_ANSI("EXIF_GPSTRACKREF", fEXIF_GPSTrackRef),
    VX_DOUBLE("EXIF_GPSTRACK", fEXIF_GPSTrack, 0),
    VX_ANSI("EXIF_GPSIMGDIRECTIONREF", fEXIF_GPSImgDirectionRef),
    VX_DOUBLE("EXIF_GPSIMGDIRECTION", fEXIF_GPSImgDirection, 0),
    VX_ANSI("EXIF_GPSMAPDATUM", fEXIF_GPSMapDatum),
    VX_ANSI("EXIF_GPSDESTLATITUDEREF", fEXIF_GPSDestLatitudeRef),
    VX_DOUBLE("EXIF_GPSDESTLATITUDEDEGREES", fEXIF_GPSDestLatitudeDegrees, 0),
    VX_DOUBLE("EXIF_GPSDESTLATITUDEMINUTES", fEXIF_GPSDestLatitudeMinutes, 0),
    VX_DOUBLE("EXIF_GPSDESTLATITUDESECONDS", fEXIF_GPSDestLatitudeSeconds, 0),
    VX_ANSI("EXIF_GPSDESTLONGITUDEREF", fEXIF_GPSDestLongitudeRef),
    VX_DOUBLE("EXIF_GPSDESTLONGITUDEDEGREES", fEXIF_GPSDestLongitudeDegrees, 0),
    VX_DOUBLE("EXIF_GPSDESTLONGITUDEMINUTES", fEXIF_GPSDestLongitudeMinutes, 0),
    VX_DOUBLE("EXIF_GPSDESTLONGITUDESECONDS", fEXIF_GPSDestLongitudeSeconds, 0),
    VX_ANSI("EXIF_GPSDESTBEARINGREF", fEXIF_GPSDestBearingRef),
    VX_DOUBLE("EXIF_GPSDESTBEARING", fEXIF_GPSDestBearing, 0),
    VX_ANSI("EXIF_GPSDESTDISTANCEREF", fEXIF_GPSDestDistanceRef),
    VX_DOUBLE("EXIF_GPSDESTDISTANCE", fEXIF_GPSDestDistance, 0),
    VX_ANSI("EXIF_GPSDATESTAMP", fEXIF_GPSDateStamp),
    VX_BOOL("RAW_HALFSIZE", fRAW_HalfSize),
    VX_DOUBLE("RAW_GAMMA", fRAW_Gamma, 0),
    VX_DOUBLE("RAW_BRIGHT", fRAW_Bright, 0),
    VX_DOUBLE("RAW_REDSCALE", fRAW_RedScale, 0),
    VX_DOUBLE("RAW_BLUESCALE", fRAW_BlueScale, 0),
    VX_BOOL("RAW_QUICKINTERPOLATE", fRAW_QuickInterpolate),
    VX_BOOL("RAW_USEAUTOWB", fRAW_UseAutoWB),
    VX_BOOL("RAW_USECAMERAWB", fRAW_UseCameraWB),
    VX_BOOL("RAW_FOURCOLORRGB", fRAW_FourColorRGB),
    VX_ANSI("RAW_CAMERA", fRAW_Camera),
    VX_BOOL_SET("RAW_GETEXIFTHUMBNAIL", fRAW_GetExifThumbnail, SetRAW_GetExifThumbnail),
    VX_BOOL("RAW_AUTOADJUSTCOLORS", fRAW_AutoAdjustColors),
    VX_ANSI("RAW_EXTRAPARAMS", fRAW_ExtraParams),
    VX_INT_SET("MEDIAFILE_FRAMECOUNT", fMEDIAFILE_FrameCount, SetMEDIAFILE_FrameCount, 0),
    VX_DOUBLE("MEDIAFILE_FRAMEDELAYTIME", fMEDIAFILE_FrameDelayTime, 0),
    VX_INT_SET("IMAGEINDEX", fImageIndex, SetImageIndex, 0),
    VX_INT_SET("IMAGECOUNT", fImageCount, SetImageCount, 0),
    VX_BOOL_SET("GETTHUMBNAIL", fGetThumbnail, SetGetThumbnail),
    VX_BOOL_SET("ISRESOURCE", fIsResource, SetIsResource),
    // The packet is kept as it is: it is UTF-8 XML, parsed on every write.
    {"XMP_INFO", [](const TIOParamsVals& p) { return p.XMP_Info(); },
     [](TIOParamsVals& p, const std::string& v) { p.SetXMP_Info(v); }},
};

#undef VX_INT
#undef VX_INT_SET
#undef VX_ENUM
#undef VX_BOOL
#undef VX_BOOL_SET
#undef VX_DOUBLE
#undef VX_DOUBLE_SET
#undef VX_COLOR
#undef VX_ANSI
#undef VX_WIDE
#undef VX_READ

constexpr const char* kColorMapItem = "COLORMAPITEM";
constexpr size_t kColorMapItemLength = 12;

std::string NormalName(const std::string& Prop) { return VXUpperCaseAnsi(VXStripControlChars(Prop)); }

const TProperty* FindProperty(const std::string& Name) {
  for (const TProperty& p : kProperties)
    if (Name == p.Name) return &p;
  return nullptr;
}

// The colour-map entry a "COLORMAPITEM" name selects, or nullptr outside the map.
const TRGB* ColorMapEntry(const TIOParamsVals& P, const std::string& Name) {
  const int32_t n = VXStrToIntDefAnsi(Name.substr(kColorMapItemLength), 0);
  if (n < 0 || n >= P.fColorMapCount || size_t(n) >= P.fColorMap.size()) return nullptr;
  return &P.fColorMap[size_t(n)];
}

}  // namespace

std::string TIOParamsVals::GetProperty(const std::string& Prop) const {
  const std::string name = NormalName(Prop);
  if (name.compare(0, kColorMapItemLength, kColorMapItem) == 0) {
    const TRGB* entry = ColorMapEntry(*this, name);
    return entry ? ColorText(*entry) : std::string();
  }
  const TProperty* p = FindProperty(name);
  return p ? p->Get(*this) : "INVALID PROPERTY";
}

void TIOParamsVals::SetProperty(const std::string& Prop, const std::string& Value) {
  const std::string name = NormalName(Prop);
  const std::string value = VXStripControlChars(Value);
  if (name.compare(0, kColorMapItemLength, kColorMapItem) == 0) {
    if (const TRGB* entry = ColorMapEntry(*this, name)) fColorMap[size_t(entry - fColorMap.data())] = ColorValue(value);
    return;
  }
  const TProperty* p = FindProperty(name);
  if (p && p->Set) p->Set(*this, value);
}

std::string TIOParamsVals::FileTypeStr() const {
  std::string s;
  if (const TVXFileFormatInfo* info = VXFindFileFormatInfo(fFileType))
    s = info->FullName + " (" + VXUpperCaseAnsi(info->SuitableExtension) + ")";
  switch (fFileType) {
    case 1: {
      static const char* const kNames[] = {" Uncompressed", " Huffman", " Group 3 Fax", " Group 3 Fax 2D",
                                           " Group 4 Fax",  " LZW",     " Jpeg v.5",    " Jpeg",
                                           " PackBits RLE", " ZIP",     " Deflate"};
      if (fTIFF_Compression <= ioTIFF_DEFLATE) s += kNames[fTIFF_Compression];
      break;
    }
    case 2:
      if (fGIF_Interlaced) s += " Interlaced";
      break;
    case 3: {
      static const char* const kNames[] = {"", " Gray level", " YCbCr", " CMYK", " YCbCrK"};
      if (fJPEG_ColorSpace <= ioJPEG_YCbCrK) s += kNames[fJPEG_ColorSpace];
      break;
    }
    case 4:
      if (fPCX_Compression == ioPCX_UNCOMPRESSED) s += " Uncompressed";
      break;
    case 5: {
      static const char* const kNames[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
      if (fBMP_Version <= ioBMP_BMOS2V2) s += kNames[fBMP_Version];
      break;
    }
    case 8:
      if (fPNG_Interlaced) s += " Interlaced";
      break;
    case 11:
      s += fTGA_Compressed ? " Compressed" : " Uncompressed";
      break;
    case 13:
    case 14: {
      static const char* const kNames[] = {" Gray level", " RGB", " YCbCr"};
      if (fJ2000_ColorSpace <= ioJ2000_YCbCr) s += kNames[fJ2000_ColorSpace];
      break;
    }
    case 20:
      s += " (" + fRAW_Camera + ")";
      break;
    default:
      break;
  }
  return s;
}
