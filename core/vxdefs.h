#pragma once
// Shared definitions of the image library: the library's exception class,
// the progress record and the small enumerations that many modules name.
// Every file of the library includes this header, so it stays light.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// TColor, TFontStyle and TFontStyles come from the GUI class library.
#include "gui/graphics_types.h"

// ---------------------------------------------------------------------------
// Exceptions

// The library's exception: raised with an English message.
class EVXException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A graphic that cannot be made or written (the PNG writer, AVI files).
class EInvalidGraphic : public EVXException {
public:
  using EVXException::EVXException;
};

// Stream failures (the stream classes of core/streams.h raise these).
class EStreamError : public EVXException {
public:
  using EVXException::EVXException;
};
class EFCreateError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

// ---------------------------------------------------------------------------
// Progress

// Progress event: Sender and the percentage done.
using TVXProgressEvent = std::function<void(void* Sender, int32_t per)>;

// Handed to readers, writers and processing routines. They report percent
// values through fOnProgress when it is set; a reader or writer sets
// *Aborting to stop the work and the caller tests it afterwards.
struct TProgressRec {
  TVXProgressEvent fOnProgress;
  void* Sender = nullptr;
  int32_t val = 0;  // running count
  int32_t tot = 0;  // its total
  double per1 = 0;  // working values of the routine that reports progress
  double per2 = 0;
  bool* Aborting = nullptr;
};

// Reports Percent through the record's callback, when there is one and the
// value differs from Last, which then becomes Percent.
inline void VXReportProgress(TProgressRec& Progress, int32_t Percent, int32_t& Last) {
  if (Progress.fOnProgress && Percent != Last) {
    Last = Percent;
    Progress.fOnProgress(Progress.Sender, Percent);
  }
}

// ---------------------------------------------------------------------------
// Enumerations (ordinal values from 0)

enum TResampleFilter {
  rfNone,
  rfTriangle,
  rfHermite,
  rfBell,
  rfBSpline,
  rfLanczos3,
  rfMitchell,
  rfNearest,
  rfLinear,
  rfFastLinear,
  rfBilinear,
  rfBicubic,
  rfProjectBW,
  rfProjectWB,
  rfWICNearestNeighbor,
  rfWICLinear,
  rfWICCubic,
  rfWICFant
};
constexpr int VXResampleFilterCount = 18;

enum TMsgLanguage {
  msSystem,
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msRussian,
  msDutch,
  msSwedish,
  msPolish,
  msJapanese,
  msCzech,
  msFinnish,
  msFarsi,
  msChinese,
  msChineseTraditional,
  msChineseTraditionalBig5,
  msDanish,
  msTurkish,
  msKorean,
  msHungarian,
  msArabic,
  msSerbian,
  msNorwegian,
  msUser
};
constexpr int VXMsgLanguageCount = 27;

enum TVXAntialiasMode { vxrNone, vxrFast, vxrBilinear, vxrBicubic };

enum TFlipDir { fdHorizontal, fdVertical };

enum TVXMagnifyStyle { vxmRectangle, vxmEllipse };

enum TVXMagnifySource { vxmBackgroundLayer, vxmCanvas };

enum TVXColorSpace {
  vxcmsRGB,
  vxcmsBGR,
  vxcmsCMYK,
  vxcmsCMYK6,
  vxcmsCIELab,
  vxcmsGray8,
  vxcmsRGB48,
  vxcmsRGB48_SE,
  vxcmsYCBCR
};

enum TVXBackgroundStyle {
  vxbsSolid,
  vxbsHorizontal,
  vxbsVertical,
  vxbsFDiagonal,
  vxbsBDiagonal,
  vxbsCross,
  vxbsDiagCross,
  vxbsChessboard,
  vxbsDiagonals,
  vxbsCropped,
  vxbsCropShadow,
  vxbsGradient,
  vxbsSoftShadow,
  vxbsPhotoLike
};

enum TVXMemoShortCut {
  vxsLEFTALIGN,
  vxsCENTERALIGN,
  vxsRIGHTALIGN,
  vxsJUSTIFIED,
  vxsCOPY,
  vxsCUT,
  vxsPASTE,
  vxsFONTSELECT,
  vxsBOLD,
  vxsITALIC,
  vxsUNDERLINE,
  vxsBACKCOLORSELECT
};
constexpr int VXMemoShortCutCount = 12;

enum TVXUnits {
  vxuPIXELS,
  vxuINCHES,
  vxuKM,
  vxuMETERS,
  vxuCENTIMETERS,
  vxuMILLIMETERS,
  vxuMICRONS,
  vxuNANOMETERS,
  vxuFEET,
  vxuYARDS,
  vxuMILES
};
constexpr int VXUnitsCount = 11;

enum TVXMediaFountationNotifyType { vxmfnFRAME, vxmfnSTARTINGCAPTURE, vxmfnENDOFSTREAM };

// Windows version the library believes it runs on (vxosUnknown is treated as
// "Vista or later").
enum TVXOpSys {
  vxosWin95,
  vxosWin98,
  vxosWinME,
  vxosWinNT4,
  vxosWin2000,
  vxosWinXP,
  vxosWin2003,
  vxosWinVista,
  vxosWin7,
  vxosWin8,
  vxosUnknown
};

// A rectangle by its corner and size.
struct TVXRectangle {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Keyboard shortcut in the platform's encoding (virtual key | modifier bits).
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

// Dialog background selector: 0 plain, 1 and 2 the two picture backgrounds.
// The library start-up sets it to 0.
extern uint8_t VXDialogBackgroundKind;
