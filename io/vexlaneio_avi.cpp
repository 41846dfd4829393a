// Frames of AVI files into the target and the target as frames of a new AVI
// file, through the window layer's AVIFile calls; media files other than AVI
// (their player is not part of the library yet).
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/dibbitmap.h"
#include "core/limits.h"
#include "core/settings.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "platform/win_files.h"
#include "winui/drawdib.h"

namespace {

// Whether this process initialised the AVI file library (the I/O module ends
// it at shut-down).
std::atomic<bool> gAVILibrary{false};
std::mutex gAVILibraryLock;

void InitAVILibrary() {
  std::lock_guard<std::mutex> l(gAVILibraryLock);
  if (gAVILibrary.load()) return;
  AVIFileInit();
  gAVILibrary.store(true);
}

// Milliseconds per frame of a stream; a rate or scale of 0 gives 0.
double FrameDelay(const AVISTREAMINFOW& Info) {
  if (Info.dwRate == 0 || Info.dwScale == 0) return 0;
  return 1000.0 / (double(Info.dwRate) / double(Info.dwScale));
}

// The fraction Numerator / Denominator closest to Rate within 5e-9, both
// below 2^31 (continued fractions).
void RateFraction(double Rate, uint32_t& Numerator, uint32_t& Denominator) {
  constexpr int64_t kLimit = int64_t(1) << 31;
  Numerator = 0;
  Denominator = 1;
  if (!(Rate > 0)) return;
  if (Rate >= double(kLimit - 1)) {
    Numerator = uint32_t(kLimit - 1);
    return;
  }
  int64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
  double x = Rate;
  for (int i = 0; i < 64; ++i) {
    const double a = std::floor(x);
    const double h2 = a * double(h1) + double(h0), k2 = a * double(k1) + double(k0);
    if (h2 >= double(kLimit) || k2 >= double(kLimit)) break;
    h0 = h1;
    k0 = k1;
    h1 = int64_t(h2);
    k1 = int64_t(k2);
    if (std::fabs(double(h1) / double(k1) - Rate) < 5e-9) break;
    const double frac = x - a;
    if (frac <= 0) break;
    x = 1 / frac;
  }
  if (k1 <= 0) return;
  Numerator = uint32_t(h1);
  Denominator = uint32_t(k1);
}

void PutHeader(std::vector<uint8_t>& Out, int32_t Width, int32_t Height, int Bits, uint32_t ColorsUsed,
               uint32_t ImageSize) {
  Out.assign(40, 0);
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) Out[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  put(0, 40, 4);
  put(4, uint32_t(Width), 4);
  put(8, uint32_t(Height), 4);  // positive: rows bottom-up
  put(12, 1, 2);
  put(14, uint32_t(Bits), 2);
  put(16, BI_RGB, 4);
  put(20, ImageSize, 4);
  put(32, ColorsUsed, 4);
}

}  // namespace

void VXResetAVILibraryFlag() { gAVILibrary.store(false); }

void VXEndAVILibrary() {
  std::lock_guard<std::mutex> l(gAVILibraryLock);
  if (gAVILibrary.exchange(false)) AVIFileExit();
}

// ---------------------------------------------------------------------------
// Reading

int32_t TVexlaneIO::OpenAVIFile(const std::string& FileName) {
  fAborting = false;
  if (fAVI_avf) CloseAVIFile();
  int32_t count = 0;
  fParams->SetImageCount(0);
  fParams->SetFileName(FileName);
  fParams->SetFileType(0);
  InitAVILibrary();
  if (AVIFileOpenW(&fAVI_avf, FileName.c_str(), OF_READ, nullptr) != AVIERR_OK) {
    fAborting = true;
  } else if (AVIFileGetStream(fAVI_avf, &fAVI_avs, streamtypeVIDEO, 0) != AVIERR_OK) {
    AVIFileRelease(fAVI_avf);
    fAborting = true;
  } else if (AVIStreamInfoW(fAVI_avs, &fAVI_psi, sizeof fAVI_psi) != AVIERR_OK) {
    AVIStreamRelease(fAVI_avs);
    AVIFileRelease(fAVI_avf);
    fAborting = true;
  } else if ((fAVI_gf = AVIStreamGetFrameOpen(fAVI_avs, nullptr)) == nullptr) {
    AVIStreamRelease(fAVI_avs);
    AVIFileRelease(fAVI_avf);
    fAborting = true;
  } else {
    count = AVIStreamLength(fAVI_avs);
    fParams->SetImageCount(count);
    fParams->SetAVI_FrameDelayTime(FrameDelay(fAVI_psi));
  }
  if (fAborting) {
    fAVI_avf = nullptr;
    fAVI_avs = nullptr;
    fAVI_gf = nullptr;
  }
  return count;
}

bool TVexlaneIO::IsOpenAVI() const { return fAVI_avf && fAVI_avs && fAVI_gf; }

bool TVexlaneIO::LoadFromAVI(int32_t FrameIndex) {
  if (AsyncStart(vxLoadSaveIndexRetBool, &TVexlaneIO::LoadFromAVI, FrameIndex)) return false;
  return LoadFromAVICore(FrameIndex);
}

bool TVexlaneIO::LoadFromAVICore(int32_t FrameIndex) {
  fAborting = false;
  if (!MakeConsistentBitmap({}) || !IsOpenAVI() || uint32_t(FrameIndex) >= uint32_t(AVIStreamLength(fAVI_avs))) {
    DoFinishWork();
    return false;
  }
  const auto* frame = static_cast<const uint8_t*>(AVIStreamGetFrame(fAVI_gf, FrameIndex));
  fParams->SetImageCount(AVIStreamLength(fAVI_avs));
  fParams->SetAVI_FrameDelayTime(FrameDelay(fAVI_psi));
  bool result = false;
  if (frame) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, frame, sizeof h);
    const int32_t width = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const int bits = h.biBitCount;
    TVXDibbitmap dib;
    HDRAWDIB dd = DrawDibOpen();
    if (dib.AllocateBits(uint32_t(width), uint32_t(height), bits == 1 ? 1 : 24) &&
        DrawDibDraw(dd, dib.GetHDC(), 0, 0, -1, -1, reinterpret_cast<BITMAPINFOHEADER*>(const_cast<uint8_t*>(frame)),
                    nullptr, 0, 0, -1, -1, 0)) {
      fVXBitmap->CopyFromTDibBitmap(&dib);
      switch (bits) {
        case 1: fParams->SetBitsPerSample(1), fParams->SetSamplesPerPixel(1); break;
        case 4: fParams->SetBitsPerSample(4), fParams->SetSamplesPerPixel(1); break;
        case 8: fParams->SetBitsPerSample(8), fParams->SetSamplesPerPixel(1); break;
        case 15: fParams->SetBitsPerSample(5), fParams->SetSamplesPerPixel(3); break;
        case 16:
        case 24:
        case 32: fParams->SetBitsPerSample(8), fParams->SetSamplesPerPixel(3); break;
        default: break;
      }
      fParams->SetDpiX(VXGetGlobalSettings()->DefaultDPIX());
      fParams->SetDpiY(VXGetGlobalSettings()->DefaultDPIY());
      fParams->SetWidth(width);
      fParams->SetHeight(height);
      fParams->SetOriginalWidth(width);
      fParams->SetOriginalHeight(height);
      fParams->FreeColorMap();
      Update();
      result = !fAborting;
    }
    DrawDibClose(dd);
  }
  DoFinishWork();
  return result;
}

void TVexlaneIO::CloseAVIFile() {
  if (fAVI_avs1) {
    AVICOMPRESSOPTIONS* options[1] = {fAVI_popts.get()};
    if (fAVI_popts) AVISaveOptionsFree(1, options);
    fAVI_popts.reset();
    if (fAVI_avs) AVIStreamRelease(fAVI_avs);
    AVIStreamRelease(fAVI_avs1);
    if (fAVI_avf) AVIFileRelease(fAVI_avf);
    fAVI_avs = nullptr;
    fAVI_avs1 = nullptr;
    fAVI_avf = nullptr;
  } else if (fAVI_avf) {
    if (fAVI_gf) AVIStreamGetFrameClose(fAVI_gf);
    if (fAVI_avs) AVIStreamRelease(fAVI_avs);
    AVIFileRelease(fAVI_avf);
    fAVI_gf = nullptr;
    fAVI_avs = nullptr;
    fAVI_avf = nullptr;
  }
}

// ---------------------------------------------------------------------------
// Writing

TVXCreateAVIFileResult TVexlaneIO::CreateAVIFile(const std::string& FileName, double rate, const std::string& codec) {
  fAborting = false;
  CloseAVIFile();
  InitAVILibrary();
  if (FileExists(FileName)) DeleteFileW(FileName);
  if (AVIFileOpenW(&fAVI_avf, FileName.c_str(), OF_WRITE | OF_CREATE, nullptr) != AVIERR_OK) {
    fAVI_avf = nullptr;
    throw EInvalidGraphic("unable to create AVI file");
  }
  fAVI_psi = AVISTREAMINFOW{};
  fAVI_psi.fccType = streamtypeVIDEO;
  RateFraction(rate, fAVI_psi.dwRate, fAVI_psi.dwScale);
  const bool grey = fParams->BitsPerSample() == 8 && fParams->SamplesPerPixel() == 1;
  const int64_t rowLen = VXBitmapRowLen(fParams->Width(), grey ? 8 : 24, 32);
  fAVI_psi.dwSuggestedBufferSize = uint32_t(std::clamp<int64_t>(rowLen * fParams->Height(), 0, UINT32_MAX));
  fAVI_psi.dwQuality = DWORD(-1);
  fAVI_psi.rcFrame = RECT{0, 0, fParams->Width(), fParams->Height()};
  fAVI_popts = std::make_unique<AVICOMPRESSOPTIONS>();
  if (AVIFileCreateStreamW(fAVI_avf, &fAVI_avs1, &fAVI_psi) != AVIERR_OK) {
    // The file takes no stream: nothing can be written to it.
    AVIFileRelease(fAVI_avf);
    fAVI_avf = nullptr;
    fAVI_avs1 = nullptr;
    fAVI_popts.reset();
    fAborting = true;
    return vxaviUNSUPPORTED;
  }
  bool chosen = true;
  if (!codec.empty()) {
    char four[4] = {' ', ' ', ' ', ' '};
    for (size_t i = 0; i < 4 && i < codec.size(); ++i) four[i] = codec[i];
    fAVI_popts->fccType = streamtypeVIDEO;
    fAVI_popts->fccHandler = VXMakeFourCC(four[0], four[1], four[2], four[3]);
    fAVI_popts->dwKeyFrameEvery = 0;
    fAVI_popts->dwQuality = DWORD(-1);
  } else {
    AVICOMPRESSOPTIONS* options[1] = {fAVI_popts.get()};
    chosen = AVISaveOptions(nullptr, 0, 1, &fAVI_avs1, options) != FALSE;
  }
  if (!chosen) {
    AVIStreamRelease(fAVI_avs1);
    AVIFileRelease(fAVI_avf);
    fAVI_avs1 = nullptr;
    fAVI_avf = nullptr;
    fAVI_popts.reset();
    fAborting = true;
    return vxaviNOCOMPRESSOR;
  }
  const HRESULT r = AVIMakeCompressedStream(&fAVI_avs, fAVI_avs1, fAVI_popts.get(), nullptr);
  TVXCreateAVIFileResult result = vxaviOK;
  if (r == AVIERR_NOCOMPRESSOR)
    result = vxaviNOCOMPRESSOR;
  else if (r == AVIERR_MEMORY)
    result = vxaviMEMORY;
  else if (r == AVIERR_UNSUPPORTED)
    result = vxaviUNSUPPORTED;
  if (r != AVIERR_OK) fAVI_avs = nullptr;
  fAborting = result != vxaviOK;
  fAVI_idx = 0;
  return result;
}

void TVexlaneIO::SaveToAVI() {
  if (!fAVI_avs || !MakeConsistentBitmap({})) return;
  // A frame must fill the stream's frame rectangle exactly.
  if (fVXBitmap->Width() != fAVI_psi.rcFrame.right - fAVI_psi.rcFrame.left ||
      fVXBitmap->Height() != fAVI_psi.rcFrame.bottom - fAVI_psi.rcFrame.top || fVXBitmap->IsEmpty()) {
    fAborting = true;
    return;
  }
  if (fVXBitmap->PixelFormat() != vx24RGB) fVXBitmap->SetPixelFormat(vx24RGB);
  TVXBitmap b;
  b.Assign(fVXBitmap);
  const int32_t width = b.Width(), height = b.Height();
  std::vector<uint8_t> format;
  std::vector<uint8_t> bits;
  int bitCount;
  bool everyFrame = false;
  if (fParams->SamplesPerPixel() == 1 && fParams->BitsPerSample() == 8) {
    b.SetPixelFormat(vx8p);
    bitCount = 8;
    everyFrame = true;
  } else {
    bitCount = b.HasAlphaChannel() ? 32 : 24;
  }
  const int64_t rowLen = VXBitmapRowLen(width, bitCount, 32);
  const uint32_t imageSize = uint32_t(rowLen * height);
  PutHeader(format, width, height, bitCount, bitCount == 8 ? 256 : 0, imageSize);
  if (bitCount == 8) {
    for (int32_t i = 0; i < 256; ++i) {
      const TRGB c = i < b.PaletteLength() ? b.Palette(i) : TRGB{0, 0, 0};
      format.insert(format.end(), {c.b, c.g, c.r, 0});
    }
  }
  bits.assign(size_t(imageSize), 0);
  TVXBitmap* alpha = bitCount == 32 ? b.AlphaChannel() : nullptr;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* d = bits.data() + size_t(height - 1 - y) * size_t(rowLen);
    const auto* s = static_cast<const uint8_t*>(b.ScanLine(y));
    if (bitCount == 8 || bitCount == 24) {
      std::memcpy(d, s, size_t(width) * size_t(bitCount / 8));
    } else {
      const auto* a = static_cast<const uint8_t*>(alpha->ScanLine(y));
      for (int32_t x = 0; x < width; ++x) {
        std::memcpy(d + 4 * x, s + 3 * x, 3);
        d[4 * x + 3] = a[x];
      }
    }
  }
  if (everyFrame || fAVI_idx == 0) {
    if (AVIStreamSetFormat(fAVI_avs, fAVI_idx, format.data(), LONG(format.size())) != AVIERR_OK) {
      fAborting = true;
      return;
    }
  }
  if (AVIStreamWrite(fAVI_avs, fAVI_idx, 1, bits.data(), LONG(imageSize), AVIIF_KEYFRAME, nullptr, nullptr) !=
      AVIERR_OK) {
    // Nothing was written (a frame past 2 GiB, a full disk).
    fAborting = true;
    return;
  }
  fAVI_idx++;
}

// ---------------------------------------------------------------------------
// Media files: their player is not part of the library yet, so no file opens.

int32_t TVexlaneIO::OpenMediaFile(const std::string& /*FileName*/) {
  CloseMediaFile();
  fAborting = true;
  return 0;
}

bool TVexlaneIO::IsOpenMediaFile() const { return false; }

void TVexlaneIO::LoadFromMediaFile(int32_t /*FrameIndex*/) {}

void TVexlaneIO::CloseMediaFile() {}
