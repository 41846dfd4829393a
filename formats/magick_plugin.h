// The ImageMagick plug-in: 25 further file types (FITS, DPX, MIFF, PTIF, SVG,
// XCF, ...) read and written through ImageMagick 6's MagickWand interface.
//
// The two libraries are loaded by name when first asked for
// (libMagickWand-6.Q16.so.6 and libMagickCore-6.Q16.so.6, the -6.Q16HDRI
// builds as a fallback) and stay loaded until Finalize, which the library's
// shut-down calls. Nothing registers the plug-in by itself: an application
// that wants the formats calls RegisterPlugin once the library has started.
// Without the libraries every call fails cleanly: IsAvailable is false,
// reading and writing set the progress record's Aborting flag, probing
// answers false.
//
// No ImageMagick header is used: the prototypes and the enumeration values
// below are ImageMagick 6's C interface as this plug-in calls it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// ImageMagick's StorageType: the sample type of pixels exported or imported.
enum TVXImageMagick_StorageType : int32_t {
  imck_UndefinedPixel,
  imck_CharPixel,
  imck_DoublePixel,
  imck_FloatPixel,
  imck_IntegerPixel,
  imck_LongPixel,
  imck_QuantumPixel,
  imck_ShortPixel
};

// ImageMagick's ColorspaceType, in its order.
enum TVXImageMagick_ColorspaceType : int32_t {
  imck_UndefinedColorspace,
  imck_RGBColorspace,
  imck_GRAYColorspace,
  imck_TransparentColorspace,
  imck_OHTAColorspace,
  imck_LabColorspace,
  imck_XYZColorspace,
  imck_YCbCrColorspace,
  imck_YCCColorspace,
  imck_YIQColorspace,
  imck_YPbPrColorspace,
  imck_YUVColorspace,
  imck_CMYKColorspace,
  imck_sRGBColorspace,
  imck_HSBColorspace,
  imck_HSLColorspace,
  imck_HWBColorspace,
  imck_Rec601LumaColorspace,
  imck_Rec601YCbCrColorspace,
  imck_Rec709LumaColorspace,
  imck_Rec709YCbCrColorspace,
  imck_LogColorspace,
  imck_CMYColorspace,
  imck_LuvColorspace,
  imck_HCLColorspace,
  imck_LCHColorspace,
  imck_LMSColorspace,
  imck_LCHabColorspace,
  imck_LCHuvColorspace,
  imck_scRGBColorspace,
  imck_HSIColorspace,
  imck_HSVColorspace,
  imck_HCLpColorspace,
  imck_YDbDrColorspace
};
static_assert(imck_GRAYColorspace == 2 && imck_sRGBColorspace == 13);

// ImageMagick's ResolutionType.
enum TVXImageMagick_ResolutionType : int32_t {
  imck_UndefinedResolution,
  imck_PixelsPerInchResolution,
  imck_PixelsPerCentimeterResolution
};

// ImageMagick's ImageType.
enum TVXImageMagick_ImageType : int32_t {
  imck_UndefinedType,
  imck_BilevelType,
  imck_GrayscaleType,
  imck_GrayscaleMatteType,
  imck_PaletteType,
  imck_PaletteMatteType,
  imck_TrueColorType,
  imck_TrueColorMatteType,
  imck_ColorSeparationType,
  imck_ColorSeparationMatteType,
  imck_OptimizeType,
  imck_PaletteBilevelMatteType
};

// ImageMagick's objects are only passed through.
using PMagickWand = void*;
using PPixelWand = void*;
using PMagicInfo = const void*;
using PExceptionInfo = void*;

// ImageMagick's MagickProgressMonitor: (text, offset, span, client data);
// a zero result asks ImageMagick to stop.
using TVXImageMagickProgressMonitor = int (*)(const char* Text, int64_t Offset, uint64_t Span, void* ClientData);

// One row of the plug-in's format table.
struct TVXMiscPluginsImageMagick_Format {
  int32_t typ;      // file type
  const char* des;  // description
  const char* ext;  // extensions, separated by ";"
  const char* sue;  // suitable extension
  bool wrt;         // ImageMagick can write it
};

// What the progress monitor receives as its client data during one read.
struct TVXImageMagickProgress {
  TProgressRec* Progress = nullptr;
  int32_t Stage = 0;   // 0 reading, 1 converting
  int32_t Stages = 2;
};

class TVXMiscPluginsImageMagick {
 public:
  TVXMiscPluginsImageMagick() = delete;

  static const std::array<TVXMiscPluginsImageMagick_Format, 25>& Formats();

  // Adds the 25 file types to the file-format registry with the plug-in's
  // read, write and probe functions (no write function for the four types
  // ImageMagick cannot write). The built-in PostScript (17) and PDF (18)
  // entries go only when ImageMagick's security policy lets it write that
  // coder; otherwise the built-in writers keep them.
  static void RegisterPlugin();
  // True when both libraries are loaded with every entry point (loading them
  // first when they are not).
  static bool IsAvailable();
  // Loads the libraries (after Finalize when Reinitialize); under the
  // plug-in's lock.
  static void Initialize(bool Reinitialize);
  // Ends ImageMagick (MagickWandTerminus), unloads both libraries and clears
  // every entry point; under the plug-in's lock.
  static void Finalize();

  // Replaces the two library names for the next load; empty names restore
  // the defaults. For tests that run with the libraries "missing".
  static void SetLibraryNames(const std::string& Wand, const std::string& Core);

  // ---- the registry functions ----
  static void ReadImageStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                              bool Preview);
  static void WriteImageStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                               TProgressRec& Progress);
  static bool TryImageStream(TStream* Stream, int32_t TryingFormat);

  // The monitor handed to MagickSetProgressMonitor; ClientData is a
  // TVXImageMagickProgress.
  static int ProgressMonitor(const char* Text, int64_t Offset, uint64_t Span, void* ClientData);

  // ---- the bound MagickWand and MagickCore functions ----
  // Each calls the entry point bound when the libraries were loaded; while
  // they are not loaded it calls nothing and returns nil, false or 0.
  static void MagickWandGenesis();
  static void MagickWandTerminus();
  static PMagickWand NewMagickWand();
  static PMagickWand DestroyMagickWand(PMagickWand Wand);
  static bool MagickReadImage(PMagickWand Wand, const char* FileName);
  static bool MagickReadImageBlob(PMagickWand Wand, const void* Blob, size_t Length);
  static bool MagickPingImageBlob(PMagickWand Wand, const void* Blob, size_t Length);
  static bool MagickPingImage(PMagickWand Wand, const char* FileName);
  static void MagickResetIterator(PMagickWand Wand);
  static bool MagickNextImage(PMagickWand Wand);
  static bool MagickSetIteratorIndex(PMagickWand Wand, int64_t Index);
  static void MagickSetLastIterator(PMagickWand Wand);
  static int64_t MagickGetIteratorIndex(PMagickWand Wand);
  static bool MagickWriteImages(PMagickWand Wand, const char* FileName, bool Adjoin);
  static bool MagickExportImagePixels(PMagickWand Wand, int64_t X, int64_t Y, size_t Columns, size_t Rows,
                                      const char* Map, TVXImageMagick_StorageType Storage, void* Pixels);
  static size_t MagickGetImageWidth(PMagickWand Wand);
  static size_t MagickGetImageHeight(PMagickWand Wand);
  static size_t MagickGetImageChannelDepth(PMagickWand Wand, int32_t Channel);
  static TVXImageMagick_ColorspaceType MagickGetImageColorspace(PMagickWand Wand);
  static bool MagickSetImageColorspace(PMagickWand Wand, TVXImageMagick_ColorspaceType Colorspace);
  static bool MagickTransformImageColorspace(PMagickWand Wand, TVXImageMagick_ColorspaceType Colorspace);
  static size_t MagickGetImageDepth(PMagickWand Wand);
  static bool MagickGetImageResolution(PMagickWand Wand, double* X, double* Y);
  static TVXImageMagick_ResolutionType MagickGetImageUnits(PMagickWand Wand);
  // Free the result with MagickRelinquishMemory.
  static char* MagickGetImageFormat(PMagickWand Wand);
  static TVXImageMagick_ImageType MagickGetType(PMagickWand Wand);
  static TVXImageMagickProgressMonitor MagickSetProgressMonitor(PMagickWand Wand,
                                                                TVXImageMagickProgressMonitor Monitor,
                                                                void* ClientData);
  static PMagicInfo GetMagicInfo(const uint8_t* Magic, size_t Length, PExceptionInfo Exception);
  static const char* GetMagicName(PMagicInfo MagicInfo);
  static PExceptionInfo AcquireExceptionInfo();
  static PExceptionInfo DestroyExceptionInfo(PExceptionInfo Exception);
  static bool MagickSetImageProperty(PMagickWand Wand, const char* Property, const char* Value);
  static bool MagickSetOption(PMagickWand Wand, const char* Key, const char* Value);
  // Free the result with MagickRelinquishMemory.
  static char* MagickGetException(PMagickWand Wand, int32_t* Severity);
  static void* MagickRelinquishMemory(void* Resource);
  static bool MagickSetColorspace(PMagickWand Wand, TVXImageMagick_ColorspaceType Colorspace);
  static bool MagickSetDepth(PMagickWand Wand, size_t Depth);
  static bool MagickSetFormat(PMagickWand Wand, const char* Format);
  static bool MagickSetResolution(PMagickWand Wand, double X, double Y);
  static bool MagickSetImageUnits(PMagickWand Wand, TVXImageMagick_ResolutionType Units);
  // Free the result with MagickRelinquishMemory.
  static uint8_t* MagickGetImageBlob(PMagickWand Wand, size_t* Length);
  static bool MagickWriteImage(PMagickWand Wand, const char* FileName);
  static bool MagickImportImagePixels(PMagickWand Wand, int64_t X, int64_t Y, size_t Columns, size_t Rows,
                                      const char* Map, TVXImageMagick_StorageType Storage, const void* Pixels);
  static bool MagickNewImage(PMagickWand Wand, size_t Columns, size_t Rows, PPixelWand Background);
  static PPixelWand NewPixelWand();
  static PPixelWand DestroyPixelWand(PPixelWand Wand);

  // MagickCore's policy check, bound when present: true when the security
  // policy grants Rights (1 read, 2 write) on Pattern in the coder domain.
  // False when it does not or the entry is missing.
  static bool IsCoderRightsAuthorized(int32_t Rights, const char* Pattern);
};
