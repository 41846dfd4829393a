// Colour profiles over the platform's colour management.

#include "core/icc.h"
#include "core/limits.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/bitmap.h"
#include "core/startup.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "platform/win_mscms.h"

extern const uint8_t VXICCAdobeRGB1998[];
extern const size_t VXICCAdobeRGB1998Size;
extern const uint8_t VXICCCMYKPressZ[];
extern const size_t VXICCCMYKPressZSize;
extern const size_t VXICCCMYKPressSize;

namespace {

// ---- binding of "mscms.dll" ----

std::mutex g_bindLock;
HMSCMSMODULE g_mscms = nullptr;
TOpenColorProfileA pOpenColorProfileA = nullptr;
TCloseColorProfile pCloseColorProfile = nullptr;
TCreateMultiProfileTransform pCreateMultiProfileTransform = nullptr;
TDeleteColorTransform pDeleteColorTransform = nullptr;
TTranslateColors pTranslateColors = nullptr;

void ForgetEntryPoints() {
  pOpenColorProfileA = nullptr;
  pCloseColorProfile = nullptr;
  pCreateMultiProfileTransform = nullptr;
  pDeleteColorTransform = nullptr;
  pTranslateColors = nullptr;
}

bool BindColorLibrary() {
  std::lock_guard<std::mutex> g(g_bindLock);
  if (g_mscms) return true;
  g_mscms = MscmsLoadLibrary("mscms.dll");
  if (!g_mscms) return false;
  pOpenColorProfileA = reinterpret_cast<TOpenColorProfileA>(MscmsGetProcAddress(g_mscms, "OpenColorProfileA"));
  pCloseColorProfile = reinterpret_cast<TCloseColorProfile>(MscmsGetProcAddress(g_mscms, "CloseColorProfile"));
  pCreateMultiProfileTransform = reinterpret_cast<TCreateMultiProfileTransform>(
      MscmsGetProcAddress(g_mscms, "CreateMultiProfileTransform"));
  pDeleteColorTransform =
      reinterpret_cast<TDeleteColorTransform>(MscmsGetProcAddress(g_mscms, "DeleteColorTransform"));
  pTranslateColors = reinterpret_cast<TTranslateColors>(MscmsGetProcAddress(g_mscms, "TranslateColors"));
  if (!pOpenColorProfileA || !pCloseColorProfile || !pCreateMultiProfileTransform || !pDeleteColorTransform ||
      !pTranslateColors) {
    // A library that lacks an entry point counts as missing.
    MscmsFreeLibrary(g_mscms);
    g_mscms = nullptr;
    ForgetEntryPoints();
    return false;
  }
  return true;
}

// The file name of the system's sRGB profile.
char kSRGBProfileName[] = "sRGB Color Space Profile.icm";

constexpr uint32_t kFileShareRead = 1;
constexpr uint32_t kOpenExisting = 3;
// Best mode with relative colorimetric rendering.
constexpr uint32_t kTransformFlags = BEST_MODE | USE_RELATIVE_COLORIMETRIC;

int32_t ReadBE32(const uint8_t* p) {
  return int32_t((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]));
}

// Bytes per pixel of rows in a colour space, 0 for unknown values.
int BytesOfColorSpace(int32_t cs) {
  switch (cs) {
    case vxcmsRGB:
    case vxcmsBGR:
    case vxcmsCIELab:
    case vxcmsYCBCR: return 3;
    case vxcmsCMYK: return 4;
    case vxcmsCMYK6:
    case vxcmsRGB48:
    case vxcmsRGB48_SE: return 6;
    case vxcmsGray8: return 1;
    default: return 0;
  }
}

int32_t ColorTypeOf(int32_t cs) {
  switch (cs) {
    case vxcmsRGB:
    case vxcmsBGR:
    case vxcmsRGB48:
    case vxcmsRGB48_SE: return COLOR_RGB;
    case vxcmsCMYK:
    case vxcmsCMYK6: return COLOR_CMYK;
    case vxcmsCIELab: return COLOR_Lab;
    case vxcmsGray8: return COLOR_GRAY;
    case vxcmsYCBCR: return COLOR_3_CHANNEL;
    default: return 0;
  }
}

// Rows are written back only in these forms.
bool CanWriteColorSpace(int32_t cs) { return cs == vxcmsBGR || cs == vxcmsCMYK; }

// Signed byte of a Lab a or b channel to its 16-bit form; values below
// -127 clamp to 0.
uint16_t LabChannel16(uint8_t v) {
  int32_t s = int32_t(int8_t(v)) + 127;
  if (s < 0) s = 0;
  return uint16_t(s * 257);
}

void WidenRow(const uint8_t* in, int32_t cs, COLOR* out, int32_t width) {
  for (int32_t i = 0; i < width; ++i) {
    uint16_t* c = out[i].channel;
    switch (cs) {
      case vxcmsRGB:
        c[0] = uint16_t(in[0] * 257);
        c[1] = uint16_t(in[1] * 257);
        c[2] = uint16_t(in[2] * 257);
        in += 3;
        break;
      case vxcmsBGR:
        c[0] = uint16_t(in[2] * 257);
        c[1] = uint16_t(in[1] * 257);
        c[2] = uint16_t(in[0] * 257);
        in += 3;
        break;
      case vxcmsCMYK:
        for (int k = 0; k < 4; ++k) c[k] = uint16_t((255 - in[k]) * 257);
        in += 4;
        break;
      case vxcmsCMYK6:
        for (int k = 0; k < 4; ++k) c[k] = uint16_t(in[k] * 257);
        in += 6;
        break;
      case vxcmsCIELab:
        c[0] = uint16_t(in[0] * 257);
        c[1] = LabChannel16(in[1]);
        c[2] = LabChannel16(in[2]);
        in += 3;
        break;
      case vxcmsGray8:
        c[0] = uint16_t(in[0] * 257);
        in += 1;
        break;
      case vxcmsRGB48:
        for (int k = 0; k < 3; ++k) c[k] = uint16_t(in[2 * k] | (in[2 * k + 1] << 8));
        in += 6;
        break;
      case vxcmsRGB48_SE:
        for (int k = 0; k < 3; ++k) c[k] = uint16_t((in[2 * k] << 8) | in[2 * k + 1]);
        in += 6;
        break;
      case vxcmsYCBCR:
        c[0] = uint16_t(in[0] * 257);
        c[1] = uint16_t(in[1] * 257);
        c[2] = uint16_t(in[2] * 257);
        in += 3;
        break;
      default: break;
    }
  }
}

void NarrowRow(const COLOR* in, int32_t cs, uint8_t* out, int32_t width) {
  for (int32_t i = 0; i < width; ++i) {
    const uint16_t* c = in[i].channel;
    if (cs == vxcmsBGR) {
      out[0] = uint8_t(c[2] >> 8);
      out[1] = uint8_t(c[1] >> 8);
      out[2] = uint8_t(c[0] >> 8);
      out += 3;
    } else if (cs == vxcmsCMYK) {
      for (int k = 0; k < 4; ++k) out[k] = uint8_t(255 - (c[k] >> 8));
      out += 4;
    }
  }
}

// Colour space of the rows of a pixel format, -1 for formats that have none.
int32_t ColorSpaceOfPixelFormat(TVXPixelFormat pf) {
  switch (pf) {
    case vx8g: return vxcmsGray8;
    case vx24RGB: return vxcmsBGR;
    case vxCMYK: return vxcmsCMYK;
    case vx48RGB: return vxcmsRGB48;
    case vxCIELab: return vxcmsCIELab;
    default: return -1;
  }
}

// True when width pixels of colour space cs fit in a row of the bitmap.
bool RowHolds(const TVXBitmap* bmp, int32_t cs, int32_t width) {
  return int64_t(width) * BytesOfColorSpace(cs) <= bmp->GetRowLen();
}

}  // namespace

// ---------------------------------------------------------------------------

bool VXICCLibraryAvailable() { return BindColorLibrary(); }

void VXICCClearLibraryHandle() {
  std::lock_guard<std::mutex> g(g_bindLock);
  g_mscms = nullptr;
  ForgetEntryPoints();
}

void VXICCFreeLibrary() {
  std::lock_guard<std::mutex> g(g_bindLock);
  if (g_mscms) MscmsFreeLibrary(g_mscms);
  g_mscms = nullptr;
  ForgetEntryPoints();
}

namespace {
// The library start-up forgets the handle, the shut-down frees the library.
const bool g_hooksRegistered = (VXLibraryHooks.ColorManagementStartup = &VXICCClearLibraryHandle,
                                VXLibraryHooks.ColorManagementShutdown = &VXICCFreeLibrary, true);
}  // namespace

bool VXICCTranslateColors(uintptr_t Transform, const uint16_t* InputColors, uint32_t Count, int32_t InputColorType,
                          uint16_t* OutputColors, int32_t OutputColorType) {
  if (!Transform || !BindColorLibrary()) return false;
  if (Count == 0) return true;
  // Callers often translate a single colour: keep small batches off the heap.
  COLOR smallIn[16], smallOut[16];
  std::vector<COLOR> bigIn, bigOut;
  COLOR* in = smallIn;
  COLOR* out = smallOut;
  if (Count > 16) {
    bigIn.resize(Count);
    bigOut.resize(Count);
    in = bigIn.data();
    out = bigOut.data();
  }
  std::memcpy(in, InputColors, size_t(Count) * sizeof(COLOR));
  std::memcpy(out, OutputColors, size_t(Count) * sizeof(COLOR));
  if (!pTranslateColors(reinterpret_cast<HTRANSFORM>(Transform), in, Count, InputColorType, out, OutputColorType))
    return false;
  std::memcpy(OutputColors, out, size_t(Count) * sizeof(COLOR));
  return true;
}

// ---------------------------------------------------------------------------

TVXICC::TVXICC(bool /*UseLCMS*/) {}

TVXICC::~TVXICC() { Clear(); }

void TVXICC::Clear() {
  FreeTransform();
  if (fMSProfile) {
    try {
      if (BindColorLibrary()) pCloseColorProfile(reinterpret_cast<HPROFILE>(fMSProfile));
    } catch (...) {
    }
    fMSProfile = 0;
  }
  fInputFormat = 0;
  fOutputFormat = 0;
  fDestination = nullptr;
  fIntent = 0;
  fFlags = 0;
  fRaw.reset();
  fRawLen = 0;
  fApplied = false;
}

void TVXICC::OpenAndReadRaw() {
  if (fRaw && fRawLen > 0 && BindColorLibrary()) {
    PROFILE p;
    p.dwType = PROFILE_MEMBUFFER;
    p.pProfileData = fRaw.get();
    p.cbDataSize = uint32_t(fRawLen);
    fMSProfile = reinterpret_cast<uintptr_t>(pOpenColorProfileA(&p, PROFILE_READ, kFileShareRead, kOpenExisting));
  }
  ReadDescriptiveStrings();
}

void TVXICC::ReadDescriptiveStrings() {
  fCopyright.clear();
  fDescription.clear();
  fInputColorSpace.clear();
  fOutputColorSpace.clear();
  if (!fRaw || fRawLen <= 128) return;
  const uint8_t* raw = fRaw.get();
  const int64_t len = fRawLen;
  fInputColorSpace.assign(reinterpret_cast<const char*>(raw + 16), 4);
  fOutputColorSpace.assign(reinterpret_cast<const char*>(raw + 20), 4);
  if (len < 132) return;
  int32_t count = ReadBE32(raw + 128);
  if (count < 0 || count > 1000) return;
  // NUL-terminated text from start, never beyond the bytes; false when it
  // is not shorter than 1000 characters.
  auto readText = [&](int64_t start, std::string& dst) {
    if (start < 0 || start >= len) return;
    int64_t end = start;
    while (end < len && raw[end] != 0) ++end;
    if (end - start < 1000) dst.assign(reinterpret_cast<const char*>(raw + start), size_t(end - start));
  };
  for (int32_t i = 0; i < count; ++i) {
    int64_t entry = 132 + int64_t(i) * 12;
    if (entry + 12 > len) break;
    const uint8_t* e = raw + entry;
    int32_t offset = ReadBE32(e + 4);
    int32_t size = ReadBE32(e + 8);
    if (offset < 0 || size < 0 || offset > len || size > len) break;
    if (std::memcmp(e, "cprt", 4) == 0 && size <= 999)
      readText(int64_t(offset) + 8, fCopyright);
    else if (std::memcmp(e, "desc", 4) == 0 && size < 1000)
      readText(int64_t(offset) + 12, fDescription);
  }
}

void TVXICC::LoadFromBuffer(const void* buffer, int32_t bufferlen) {
  Clear();
  // A profile beyond the library's metadata limit is not taken.
  if (buffer && bufferlen > 0 && VXMetadataSizeAllowed(bufferlen)) {
    fRaw.reset(new uint8_t[size_t(bufferlen)]);
    std::memcpy(fRaw.get(), buffer, size_t(bufferlen));
    fRawLen = bufferlen;
  }
  OpenAndReadRaw();
}

void TVXICC::LoadFromStream(TStream* Stream, bool StandardICC) {
  Clear();
  int64_t remaining = Stream->Size() - Stream->Position();
  if (remaining < 0) remaining = 0;
  int64_t len;
  if (StandardICC) {
    len = remaining;
  } else {
    uint8_t b[4];
    if (remaining < 4 || Stream->Read(b, 4) != 4) throw EVXException("Invalid ICC profile length");
    len = int32_t(uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24));
    if (len < 0 || len > remaining - 4) throw EVXException("Invalid ICC profile length");
  }
  if (len > INT32_MAX) throw EVXException("Invalid ICC profile length");
  if (!VXMetadataSizeAllowed(len)) {
    // A profile beyond the library's metadata limit is skipped, not read.
    Stream->Seek(len, soCurrent);
    len = 0;
  }
  if (len > 0) {
    std::unique_ptr<uint8_t[]> buf(new uint8_t[size_t(len)]);
    int64_t got = Stream->Read(buf.get(), len);
    if (!StandardICC && got != len) throw EVXException("Invalid ICC profile length");
    if (got > 0) {
      fRaw = std::move(buf);
      fRawLen = int32_t(got);
    }
  }
  OpenAndReadRaw();
}

void TVXICC::SaveToStream(TStream* Stream, bool StandardICC) const {
  if (!StandardICC) {
    uint32_t n = uint32_t(fRawLen);
    uint8_t b[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    Stream->WriteBuffer(b, 4);
  }
  if (fRaw && fRawLen > 0) Stream->WriteBuffer(fRaw.get(), fRawLen);
}

void TVXICC::LoadFromFile(const std::string& FileName) {
  TVXWideFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&fs, true);
}

void TVXICC::Assign(const TVXICC* source) {
  std::unique_ptr<uint8_t[]> copy;
  int32_t n = 0;
  if (source && source->fRaw && source->fRawLen > 0) {
    n = source->fRawLen;
    copy.reset(new uint8_t[size_t(n)]);
    std::memcpy(copy.get(), source->fRaw.get(), size_t(n));
  }
  Clear();
  fRaw = std::move(copy);
  fRawLen = n;
  OpenAndReadRaw();
}

void TVXICC::Assign_sRGBProfile() {
  Clear();
  // Opened by name: no bytes, so no descriptive values either (stale ones
  // of an earlier profile would mislead CheckTransform).
  fCopyright.clear();
  fDescription.clear();
  fInputColorSpace.clear();
  fOutputColorSpace.clear();
  if (BindColorLibrary()) {
    PROFILE p;
    p.dwType = PROFILE_FILENAME;
    p.pProfileData = kSRGBProfileName;
    p.cbDataSize = uint32_t(std::strlen(kSRGBProfileName));
    fMSProfile = reinterpret_cast<uintptr_t>(pOpenColorProfileA(&p, PROFILE_READ, kFileShareRead, kOpenExisting));
  }
}

void TVXICC::Assign_AdobeRGB1998() { LoadFromBuffer(VXICCAdobeRGB1998, int32_t(VXICCAdobeRGB1998Size)); }

void TVXICC::Assign_CMYKProfile() {
  std::vector<uint8_t> block(VXICCCMYKPressSize);
  uLongf outLen = uLongf(block.size());
  if (uncompress(block.data(), &outLen, VXICCCMYKPressZ, uLong(VXICCCMYKPressZSize)) != Z_OK) {
    Clear();
    return;
  }
  LoadFromBuffer(block.data(), int32_t(outLen));
}

void TVXICC::Assign_LabProfile(double, double, double) { Clear(); }
void TVXICC::Assign_LabProfileFromTemp(int32_t) { Clear(); }
void TVXICC::Assign_LabProfileD50() { Clear(); }
void TVXICC::Assign_XYZProfile() { Clear(); }

// ---------------------------------------------------------------------------

bool TVXICC::InitTransform(TVXICC* Destination, int32_t InputFormat, int32_t OutputFormat, int32_t Intent,
                           int32_t Flags) {
  if (fMSTransform && fDestination == Destination && fInputFormat == InputFormat && fOutputFormat == OutputFormat &&
      fIntent == Intent && fFlags == Flags)
    return true;
  FreeTransform();
  if (fMSProfile && Destination && Destination->fMSProfile && BindColorLibrary()) {
    HPROFILE profiles[2] = {reinterpret_cast<HPROFILE>(fMSProfile), reinterpret_cast<HPROFILE>(Destination->fMSProfile)};
    uint32_t intents[2] = {0, 0};
    fMSTransform = reinterpret_cast<uintptr_t>(pCreateMultiProfileTransform(profiles, 2, intents, 2, kTransformFlags, 0));
  }
  fDestination = Destination;
  fInputFormat = InputFormat;
  fOutputFormat = OutputFormat;
  fIntent = Intent;
  fFlags = Flags;
  return fMSTransform != 0;
}

bool TVXICC::Transform(TVXICC* Destination, int32_t InputFormat, int32_t OutputFormat, int32_t Intent, int32_t Flags,
                       const void* InputBuffer, void* OutputBuffer, int32_t ImageWidth) {
  // Rows are written only in the BGR and CMYK forms: for others report the
  // failure so that callers fall back to their own conversion.
  if (ImageWidth < 0 || BytesOfColorSpace(InputFormat) == 0 || !CanWriteColorSpace(OutputFormat)) return false;
  if (!InitTransform(Destination, InputFormat, OutputFormat, Intent, Flags)) return false;
  if (ImageWidth == 0) return true;
  std::vector<COLOR> in(size_t(ImageWidth), COLOR{{0, 0, 0, 0}});
  std::vector<COLOR> out(size_t(ImageWidth), COLOR{{0, 0, 0, 0}});
  WidenRow(static_cast<const uint8_t*>(InputBuffer), InputFormat, in.data(), ImageWidth);
  if (!pTranslateColors(reinterpret_cast<HTRANSFORM>(fMSTransform), in.data(), uint32_t(ImageWidth),
                        ColorTypeOf(InputFormat), out.data(), ColorTypeOf(OutputFormat)))
    return false;
  NarrowRow(out.data(), OutputFormat, static_cast<uint8_t*>(OutputBuffer), ImageWidth);
  return true;
}

void TVXICC::FreeTransform() {
  if (fMSTransform) {
    if (BindColorLibrary()) pDeleteColorTransform(reinterpret_cast<HTRANSFORM>(fMSTransform));
    fMSTransform = 0;
    fApplied = true;
  }
}

bool TVXICC::CheckTransform(int32_t InputFormat) const {
  if (fInputColorSpace.empty()) return true;
  switch (InputFormat) {
    case vxcmsCMYK:
    case vxcmsCMYK6: return fInputColorSpace == "CMYK";
    case vxcmsCIELab: return fInputColorSpace == "Lab ";
    case vxcmsGray8: return fInputColorSpace == "GRAY";
    case vxcmsYCBCR: return fInputColorSpace == "YCbr";
    case vxcmsRGB:
    case vxcmsBGR:
    case vxcmsRGB48:
    case vxcmsRGB48_SE: return fInputColorSpace == "RGB ";
    default: return false;
  }
}

// ---------------------------------------------------------------------------

bool TVXICC::Apply(TVXBitmap* SourceBitmap, int32_t SourceFormat, TVXBitmap* DestinationBitmap,
                   int32_t DestinationFormat, TVXICC* DestinationProfile, int32_t Intent, int32_t Flags) {
  if (!SourceBitmap || !DestinationBitmap) return false;
  // One bitmap: convert in place (a file-backed bitmap maps one row at a time).
  if (DestinationBitmap == SourceBitmap)
    return Apply2(SourceBitmap, SourceFormat, DestinationFormat, DestinationProfile, Intent, Flags);
  const int32_t w = SourceBitmap->GetWidth();
  const int32_t h = SourceBitmap->GetHeight();
  if (DestinationBitmap->GetWidth() != w || DestinationBitmap->GetHeight() != h)
    DestinationBitmap->Allocate(w, h, DestinationBitmap->GetPixelFormat());
  if (DestinationBitmap->GetWidth() != w || DestinationBitmap->GetHeight() != h) return false;
  if (!RowHolds(SourceBitmap, SourceFormat, w) || !RowHolds(DestinationBitmap, DestinationFormat, w)) return false;
  bool result = false;
  for (int32_t y = 0; y < h; ++y) {
    const void* src = SourceBitmap->GetScanLine(y);
    void* dst = DestinationBitmap->GetScanLine(y);
    result = Transform(DestinationProfile, SourceFormat, DestinationFormat, Intent, Flags, src, dst, w);
    if (!result) break;
  }
  return result;
}

bool TVXICC::Apply2(TVXBitmap* Bitmap, int32_t SourceFormat, int32_t DestinationFormat, TVXICC* DestinationProfile,
                    int32_t Intent, int32_t Flags) {
  if (!Bitmap) return false;
  const int32_t w = Bitmap->GetWidth();
  const int32_t h = Bitmap->GetHeight();
  if (!RowHolds(Bitmap, SourceFormat, w) || !RowHolds(Bitmap, DestinationFormat, w)) return false;
  bool result = false;
  for (int32_t y = 0; y < h; ++y) {
    void* row = Bitmap->GetScanLine(y);
    result = Transform(DestinationProfile, SourceFormat, DestinationFormat, Intent, Flags, row, row, w);
    if (!result) break;
  }
  return result;
}

bool TVXICC::ConvertBitmap(TVXBitmap* Bitmap, TVXPixelFormat DestPixelFormat, TVXICC* DestProfile) {
  if (!Bitmap) return false;
  const int32_t srcCS = ColorSpaceOfPixelFormat(Bitmap->GetPixelFormat());
  const int32_t dstCS = ColorSpaceOfPixelFormat(DestPixelFormat);
  if (srcCS < 0 || dstCS < 0 || !CanWriteColorSpace(dstCS)) return false;
  const int32_t w = Bitmap->GetWidth();
  const int32_t h = Bitmap->GetHeight();
  TVXBitmap converted;
  if (!converted.Allocate(w, h, DestPixelFormat)) return false;
  for (int32_t y = 0; y < h; ++y) {
    const void* src = Bitmap->GetScanLine(y);
    void* dst = converted.GetScanLine(y);
    if (!Transform(DestProfile, srcCS, dstCS, 0, 0, src, dst, w)) {
      FreeTransform();
      return false;
    }
  }
  FreeTransform();
  Bitmap->AssignImage(&converted);
  return true;
}
