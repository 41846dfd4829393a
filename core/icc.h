#pragma once
// Colour profiles: TVXICC keeps one ICC profile (its bytes and a few values
// read from them) and converts pixel rows from its colour space into that of
// a second profile through the platform's colour management, which is bound
// by name on first need (platform/win_mscms.h).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/pixels.h"

class TVXBitmap;
class TStream;

class TVXICC {
public:
  // UseLCMS selects a second colour engine that this library does not have:
  // the argument is ignored and the platform's colour management is used.
  explicit TVXICC(bool UseLCMS = false);
  ~TVXICC();
  TVXICC(const TVXICC&) = delete;
  TVXICC& operator=(const TVXICC&) = delete;

  // Releases the transform and the profile handle and frees the bytes; the
  // descriptive strings keep their values until new bytes are read.
  void Clear();

  void LoadFromBuffer(const void* buffer, int32_t bufferlen);
  // StandardICC: the stream holds the profile from its current position to
  // its end; otherwise a little-endian int32 length precedes the bytes.
  void LoadFromStream(TStream* Stream, bool StandardICC);
  void SaveToStream(TStream* Stream, bool StandardICC) const;
  void LoadFromFile(const std::string& FileName);
  void Assign(const TVXICC* source);

  // True when a profile handle is open.
  bool IsValid() const { return fMSProfile != 0; }

  void Assign_sRGBProfile();
  void Assign_AdobeRGB1998();
  void Assign_CMYKProfile();
  // The synthetic Lab and XYZ profiles belong to the absent second engine:
  // these only empty the profile.
  void Assign_LabProfile(double WhitePoint_x, double WhitePoint_y, double WhitePoint_Y_);
  void Assign_LabProfileFromTemp(int32_t TempK);
  void Assign_LabProfileD50();
  void Assign_XYZProfile();

  // Formats are TVXColorSpace values (core/vxdefs.h).
  bool InitTransform(TVXICC* Destination, int32_t InputFormat, int32_t OutputFormat, int32_t Intent,
                     int32_t Flags);
  bool Transform(TVXICC* Destination, int32_t InputFormat, int32_t OutputFormat, int32_t Intent,
                 int32_t Flags, const void* InputBuffer, void* OutputBuffer, int32_t ImageWidth);
  void FreeTransform();
  bool IsTransforming() const { return fMSTransform != 0; }
  bool CheckTransform(int32_t InputFormat) const;

  bool Apply(TVXBitmap* SourceBitmap, int32_t SourceFormat, TVXBitmap* DestinationBitmap,
             int32_t DestinationFormat, TVXICC* DestinationProfile, int32_t Intent, int32_t Flags);
  bool Apply2(TVXBitmap* Bitmap, int32_t SourceFormat, int32_t DestinationFormat, TVXICC* DestinationProfile,
              int32_t Intent, int32_t Flags);
  // Converts the whole bitmap into DestPixelFormat through this profile and
  // DestProfile; false (bitmap unchanged) for formats it cannot convert.
  bool ConvertBitmap(TVXBitmap* Bitmap, TVXPixelFormat DestPixelFormat, TVXICC* DestProfile);

  const uint8_t* Raw() const { return fRaw.get(); }
  int32_t RawLength() const { return fRawLen; }
  bool IsApplied() const { return fApplied; }
  uintptr_t MSTransform() const { return fMSTransform; }
  const std::string& Copyright() const { return fCopyright; }
  const std::string& Description() const { return fDescription; }
  const std::string& InputColorSpace() const { return fInputColorSpace; }
  const std::string& OutputColorSpace() const { return fOutputColorSpace; }

private:
  void OpenAndReadRaw();
  void ReadDescriptiveStrings();

  bool fUseLCMS = false;
  std::unique_ptr<uint8_t[]> fRaw;
  int32_t fRawLen = 0;
  uintptr_t fMSProfile = 0;
  bool fApplied = false;
  int32_t fInputFormat = 0;
  int32_t fOutputFormat = 0;
  TVXICC* fDestination = nullptr;
  int32_t fIntent = 0;
  int32_t fFlags = 0;
  uintptr_t fMSTransform = 0;
  std::string fCopyright;
  std::string fDescription;
  std::string fInputColorSpace;
  std::string fOutputColorSpace;
};

// ---- binding of the platform's colour management ----

// Binds the library on first need; true when it and its five entry points
// are there.
bool VXICCLibraryAvailable();
// Library start-up: forgets the handle (the next need binds again).
void VXICCClearLibraryHandle();
// Library shut-down: frees the library when it was loaded.
void VXICCFreeLibrary();

// Translates Count colour entries (four 16-bit channels each) through a
// transform handle (TVXICC::MSTransform) with the platform's colour types
// (COLOR_RGB, COLOR_CMYK, ... of platform/win_mscms.h). False when the
// library is missing or the translation fails.
bool VXICCTranslateColors(uintptr_t Transform, const uint16_t* InputColors, uint32_t Count,
                          int32_t InputColorType, uint16_t* OutputColors, int32_t OutputColorType);
