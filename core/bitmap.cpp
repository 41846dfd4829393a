// TVXBitmap: construction, storage (memory block, fragments, temporary file),
// size, alignment, location and the whole-image copies.

#include "core/bitmap.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

#include "core/canvas.h"
#include "core/filebuffer.h"
#include "core/icc.h"
#include "core/limits.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/sysutils.h"
#include "gui/graphics.h"
#include "core/vxdefs.h"

// ---------------------------------------------------------------------------
// Memory blocks

namespace {

std::atomic<int64_t> gMaxMemoryBlock{-1};

bool BlockAllowed(int64_t Size) {
  const int64_t limit = gMaxMemoryBlock.load(std::memory_order_relaxed);
  return Size >= 0 && (limit < 0 || Size <= limit);
}

// Zero-filled heap block, nullptr on failure or above the block limit.
void* HeapZeroBlock(int64_t Size) {
  if (!BlockAllowed(Size) || uint64_t(Size) > SIZE_MAX) return nullptr;
  return std::calloc(size_t(Size) == 0 ? 1 : size_t(Size), 1);
}

constexpr int64_t kOneMiB = 1048576;
// Bytes in front of a system block: its mapped length, and its tag last.
constexpr size_t kSystemBlockHeader = 16;
constexpr int64_t kFragmentFloor = 10485760;
// Blocks from this size on ask for large pages.
constexpr size_t kHugePageFloor = 4 * 1048576;


}  // namespace

void VXSetMaxMemoryBlock(int64_t Size) { gMaxMemoryBlock.store(Size < 0 ? -1 : Size, std::memory_order_relaxed); }

int64_t VXMaxMemoryBlock() { return gMaxMemoryBlock.load(std::memory_order_relaxed); }

void* VXAllocBlock(int64_t Size) {
  if (Size < 0 || Size > INT64_MAX - 64) return nullptr;
  // The byte before the block tags it: 0 heap (below 1 MiB), 1 system
  // memory. System memory is mapped pages of its own, zero until written and
  // given back whole when freed (the heap keeps what it had grown to, and
  // large pixel buffers freed there would stay counted against the process);
  // its mapped length stands in the eight bytes at the start of the mapping.
  if (Size >= kOneMiB) {
    if (!BlockAllowed(Size) || uint64_t(Size) > SIZE_MAX - kSystemBlockHeader) return nullptr;
    const size_t length = size_t(Size) + kSystemBlockHeader;
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    // Pixel buffers are written whole: large pages make that one fault per
    // 2 MiB instead of one per 4 KiB, which dominates filling a fresh image
    // (a quarter turn, a rotation) on machines where faults are costly.
    if (length >= kHugePageFloor) (void)madvise(base, length, MADV_HUGEPAGE);
#endif
    auto* b = static_cast<uint8_t*>(base);
    std::memcpy(b, &length, sizeof length);
    b[kSystemBlockHeader - 1] = 1;
    return b + kSystemBlockHeader;
  }
  uint8_t* p = static_cast<uint8_t*>(HeapZeroBlock(Size + 4));
  if (!p) return nullptr;
  p[0] = 0;
  return p + 1;
}

void VXFreeBlock(void*& p) {
  if (p) {
    uint8_t* b = static_cast<uint8_t*>(p);
    if (b[-1] == 1) {
      size_t length;
      std::memcpy(&length, b - kSystemBlockHeader, sizeof length);
      munmap(b - kSystemBlockHeader, length);
    } else {
      std::free(b - 1);
    }
  }
  p = nullptr;
}

void VXTryGetMem(void*& p, int64_t Size) {
  p = nullptr;
  if (Size < 0 || uint64_t(Size) > SIZE_MAX) return;
  p = std::malloc(size_t(Size) == 0 ? 1 : size_t(Size));
}

// ---------------------------------------------------------------------------
// Construction

TVXBitmap::TVXBitmap() : fmemmap(std::make_unique<TVXFileBuffer>()) {
  const int64_t total = VXPhysicalMemory(false);
  const int64_t def = VXGetGlobalSettings()->DefMinFileSize();
  if (def != -1)
    fMinFileSize = def;
  else if (total != 0)
    fMinFileSize = int64_t(double(total) / 1.1);
  else
    fMinFileSize = 33554432;
  fColorProfile = std::make_unique<TVXICC>(true);
}

TVXICC* TVXBitmap::RenderColorProfile() {
  if (!fRenderColorProfile) {
    fRenderColorProfile = std::make_unique<TVXICC>(true);
    fRenderColorProfile->Assign_sRGBProfile();
  }
  return fRenderColorProfile.get();
}

TVXBitmap::TVXBitmap(int32_t ImageWidth, int32_t ImageHeight, TVXPixelFormat ImagePixelFormat) : TVXBitmap() {
  Allocate(ImageWidth, ImageHeight, ImagePixelFormat);
}

TVXBitmap::TVXBitmap(TVXBitmap* image) : TVXBitmap() { Assign(image); }

TVXBitmap::TVXBitmap(TVXBitmap* image, const TRect& Rect) : TVXBitmap() {
  if (!image) return;
  const int32_t w = Rect.Right - Rect.Left + 1;
  const int32_t h = Rect.Bottom - Rect.Top + 1;
  if (!Allocate(w, h, image->PixelFormat())) return;
  image->CopyRectTo(this, Rect.Left, Rect.Top, 0, 0, w, h);
  image->CopyPaletteTo(this);
  if (image->HasAlphaChannel()) image->AlphaChannelOpt()->CopyRectTo(AlphaChannel(), Rect.Left, Rect.Top, 0, 0, w, h);
}

TVXBitmap::~TVXBitmap() {
  try {
    CommitROI();
  } catch (...) {
    // A region of interest that cannot be merged is dropped.
  }
  DetachROIBitmaps();
  try {
    FreeImage(true);
  } catch (...) {
    // A failing write-back of a file row cannot be reported while destroying.
  }
}

TVXMask* TVXBitmap::AdjustmentsMask() {
  if (!fAdjustmentsMask) fAdjustmentsMask = std::make_unique<TVXMask>();
  return fAdjustmentsMask.get();
}

std::unique_ptr<TVXBitmap> TVXBitmap::CreateAsAlphaChannel(int32_t ImageWidth, int32_t ImageHeight,
                                                           TVXLocation ImageLocation) {
  auto result = std::make_unique<TVXBitmap>();
  result->fIsAlpha = true;
  result->fLocation = ImageLocation == vxTBitmap ? vxMemory : ImageLocation;
  if (result->Allocate(ImageWidth, ImageHeight, vx8g)) {
    result->FillAll(255);
    result->fFull = true;
  }
  return result;
}

// ---------------------------------------------------------------------------
// Releasing

void TVXBitmap::FreeMemoryBlock() {
  if (!fRealMemory) return;
  if (fRealMemoryAllocator == vxmaAuto)
    VXFreeBlock(fRealMemory);
  else
    std::free(fRealMemory);
  fRealMemory = nullptr;
}

void TVXBitmap::FreeFragments() {
  for (uint8_t* f : fFragments) std::free(f);
  fFragments.clear();
  fFragmentsCount = 0;
  fRowsPerFragment = 0;
}

void TVXBitmap::ReleaseStorage(bool KeepEncapsulatedTBitmap) {
  FreeVXCanvas();
  fRGBPalette.reset();
  fRGBPaletteLen = 0;
  UnMapRows();
  fmemmap->DeAllocate();
  if (!fEncapsulatedFromMemory) FreeMemoryBlock();
  fRealMemory = nullptr;
  fMemory = nullptr;
  FreeFragments();
  if (KeepEncapsulatedTBitmap && fEncapsulatedFromTBitmap && fBitmap) {
    fBitmapScanlines.clear();  // the caller's platform bitmap stays for reuse
  } else {
    FreePlatformBitmap();
    fEncapsulatedFromTBitmap = false;
  }
  fWidth = 0;
  fHeight = 0;
  fRowLen = 0;
  fBitCount = 0;
  fChannelCount = 0;
  fFull = false;
  fEncapsulatedFromMemory = false;
  fVirtualBitmapRowBuffer.clear();
  fVirtualBitmapRowBuffer.shrink_to_fit();
}

void TVXBitmap::FreeImage(bool freeAlpha) {
  if (freeAlpha) fAlphaChannel.reset();
  ReleaseStorage();
  if (fColorProfile) fColorProfile->Clear();
}

// ---------------------------------------------------------------------------
// Allocation

bool TVXBitmap::Allocate(int32_t ImageWidth, int32_t ImageHeight, TVXPixelFormat ImagePixelFormat) {
  if (!fFullReallocate && ImageWidth == fWidth && ImageHeight == fHeight && ImagePixelFormat == fPixelFormat &&
      !IsEmpty())
    return true;
  if (fLocation == vxTBitmap && fEncapsulatedFromTBitmap) {
    // The caller's platform bitmap is reused: only the alpha channel goes.
    fAlphaChannel.reset();
    ReleaseStorage(true);
  } else {
    FreeImage(true);
  }
  fWidth = ImageWidth;
  fHeight = ImageHeight;
  fPixelFormat = ImagePixelFormat;
  const bool ok = AllocateInternal();
  if (!ok) {
    fWidth = 0;
    fHeight = 0;
    fRowLen = 0;
    fRGBPalette.reset();
    fRGBPaletteLen = 0;
  }
  fFullReallocate = false;
  return ok;
}

bool TVXBitmap::AllocateInternal() {
  if (fWidth <= 0 || fHeight <= 0 || fPixelFormat == vxnull || unsigned(fPixelFormat) >= VXPixelFormatCount)
    return false;
  if (fPixelFormat == vx8p) {
    fRGBPalette.reset(new (std::nothrow) TRGB[256]());
    if (!fRGBPalette) return false;
    fRGBPaletteLen = 256;
  }
  fBitCount = VXPixelFormatBitCount[fPixelFormat];
  fChannelCount = VXPixelFormatChannelCount[fPixelFormat];
  fRowLen = VXBitmapRowLen(fWidth, fBitCount, fBitAlignment);
  if (fRowLen <= 0) return false;
  if (IsVirtual()) return true;

  int64_t size = 0;
  if (__builtin_mul_overflow(fRowLen, int64_t(fHeight), &size) || size > INT64_MAX - 1024) return false;
  // Nothing is had, in memory or in a temporary file, for an image beyond the
  // library's limits.
  if (int64_t(fWidth) * fHeight > VXGetGlobalSettings()->MaxImagePixels() || !VXStorageSizeAllowed(size))
    return false;

  if (fLocation == vxTBitmap) {
    if (!AllocatePlatformBitmap()) return false;
    fFull = false;
    return true;
  }
  if (fLocation == vxFile && size <= fMinFileSize) fLocation = vxMemory;
  if (fLocation == vxMemory && size > fMinFileSize) fLocation = vxFile;

  if (fLocation == vxFile) {
    if (AllocateFileStore(size)) {
      fFull = false;
      return true;
    }
    fLocation = vxMemory;
  }
  // vxMemory
  if (AllocateMemoryBlock(size) || AllocateFragments()) {
    fLocation = vxMemory;
    fFull = false;
    return true;
  }
  if (!VXGetGlobalSettings()->AutoLocateOnDisk()) return false;
  fLocation = vxFile;
  if (!AllocateFileStore(size)) {
    fLocation = vxMemory;
    return false;
  }
  fFull = false;
  return true;
}

bool TVXBitmap::AllocateFileStore(int64_t Size) {
  return fmemmap->AllocateFile(Size, "IMG", true);
}

bool TVXBitmap::AllocateMemoryBlock(int64_t Size) {
  const int64_t total = Size + 128;
  void* block = nullptr;
  switch (fMemoryAllocator) {
    case vxmaVCL:
    case vxmaSystem:
      block = HeapZeroBlock(total);
      break;
    case vxmaAuto:
      if (BlockAllowed(total)) block = VXAllocBlock(total);
      break;
  }
  if (!block) return false;
  fRealMemory = block;
  fRealMemoryAllocator = fMemoryAllocator == vxmaAuto ? vxmaAuto : vxmaSystem;
  const uintptr_t addr = reinterpret_cast<uintptr_t>(block);
  fMemory = reinterpret_cast<uint8_t*>((addr + 63) & ~uintptr_t(63));
  return true;
}

bool TVXBitmap::AllocateFragments() {
  if (!VXGetGlobalSettings()->AutoFragmentBitmap()) return false;
  int64_t n = 4;
  for (;;) {
    const int64_t rowsPer = (int64_t(fHeight) + n - 1) / n;
    const int64_t fragSize = rowsPer * fRowLen;
    if (fragSize < kFragmentFloor && n > 4) return false;
    // Only the fragments that hold rows are allocated.
    const int64_t count = (int64_t(fHeight) + rowsPer - 1) / rowsPer;
    std::vector<uint8_t*> frags;
    frags.reserve(size_t(count));
    bool ok = true;
    for (int64_t i = 0; i < count; ++i) {
      uint8_t* f = static_cast<uint8_t*>(HeapZeroBlock(fragSize));
      if (!f) {
        ok = false;
        break;
      }
      frags.push_back(f);
    }
    if (ok) {
      fFragments = std::move(frags);
      fFragmentsCount = int32_t(count);
      fRowsPerFragment = int32_t(rowsPer);
      return true;
    }
    for (uint8_t* f : frags) std::free(f);
    n *= 2;
    if (n >= fHeight) return false;
  }
}

// ---------------------------------------------------------------------------
// Fields moved between bitmaps

// Moves the image (storage, size, format, palette, alpha channel and storage
// attributes) into Target, whose own image has been freed, and leaves this
// bitmap empty.
void TVXBitmap::MoveFieldsTo(TVXBitmap* Target) {
  UnMapRows();
  FreeVXCanvas();  // it draws on the platform bitmap that moves away
  Target->fWidth = fWidth;
  Target->fHeight = fHeight;
  Target->fBitCount = fBitCount;
  Target->fChannelCount = fChannelCount;
  Target->fRowLen = fRowLen;
  Target->fPixelFormat = fPixelFormat;
  Target->fRGBPalette = std::move(fRGBPalette);
  Target->fRGBPaletteLen = fRGBPaletteLen;
  Target->fMemory = fMemory;
  Target->fRealMemory = fRealMemory;
  Target->fRealMemoryAllocator = fRealMemoryAllocator;
  Target->fLocation = fLocation;
  Target->fFull = fFull;
  Target->fEncapsulatedFromTBitmap = fEncapsulatedFromTBitmap;
  Target->fEncapsulatedFromMemory = fEncapsulatedFromMemory;
  Target->fFragmentsCount = fFragmentsCount;
  Target->fRowsPerFragment = fRowsPerFragment;
  Target->fFragments = std::move(fFragments);
  Target->fBitmap = fBitmap;
  Target->fBitmapScanlines = std::move(fBitmapScanlines);
  Target->fOrigin = fOrigin;
  Target->fBitAlignment = fBitAlignment;
  Target->fmemmap = std::move(fmemmap);
  Target->fWorkingMap = nullptr;
  Target->fScanlinesToUnMapPtr.clear();
  Target->fScanlinesToUnMapRow.clear();

  fmemmap = std::make_unique<TVXFileBuffer>();
  fRGBPaletteLen = 0;
  fMemory = nullptr;
  fRealMemory = nullptr;
  fFragments.clear();
  fFragmentsCount = 0;
  fRowsPerFragment = 0;
  fBitmap = nullptr;
  fBitmapScanlines.clear();
  fWidth = 0;
  fHeight = 0;
  fBitCount = 0;
  fChannelCount = 0;
  fRowLen = 0;
  fPixelFormat = vxnull;
  fFull = false;
  fEncapsulatedFromTBitmap = false;
  fEncapsulatedFromMemory = false;
  fOrigin = vxboBOTTOMLEFT;
  fFullReallocate = true;
  Target->fFullReallocate = false;
}

void TVXBitmap::SwitchTo(TVXBitmap* Target) {
  if (!Target || Target == this) return;
  Target->FreeImage(true);
  Target->fAlphaChannel = std::move(fAlphaChannel);
  Target->fDefaultDitherMethod = fDefaultDitherMethod;
  Target->fMemoryAllocator = fMemoryAllocator;
  MoveFieldsTo(Target);
  Target->OnRenderVirtualPixel = std::move(OnRenderVirtualPixel);
  Target->fVirtualBitmapProvider = std::move(fVirtualBitmapProvider);
  OnRenderVirtualPixel = nullptr;
  fVirtualBitmapRowBuffer.clear();
  if (Target->fColorProfile && fColorProfile) Target->fColorProfile->Assign(fColorProfile.get());
  if (fColorProfile) fColorProfile->Clear();
}

// Allocates new storage of the given size and alignment (in NewLocation, the
// size deciding between memory and file) and copies the common area of every
// row into it; the old image stays when the allocation fails, which raises.
bool TVXBitmap::ReallocateKeeping(int32_t NewWidth, int32_t NewHeight, int32_t NewAlignment, TVXLocation NewLocation) {
  TVXBitmap tmp;
  tmp.fIsAlpha = fIsAlpha;
  tmp.fLocation = NewLocation;
  tmp.fMinFileSize = fMinFileSize;
  tmp.fMemoryAllocator = fMemoryAllocator;
  tmp.fBitAlignment = NewAlignment;
  tmp.fOrigin = fOrigin;
  if (!tmp.Allocate(NewWidth, NewHeight, fPixelFormat))
    throw EVXException("Not enough memory or disk space for the bitmap storage");
  const int32_t rows = IsEmpty() ? 0 : std::min(fHeight, NewHeight);
  const int64_t bytes = std::min(fRowLen, tmp.fRowLen);
  const TVXDataAccess srcAccess = fAccess;
  fAccess = vxdRead;
  tmp.fAccess = vxdWrite;
  for (int32_t i = 0; i < rows; ++i) {
    const void* src = GetScanLine(i);
    std::memcpy(tmp.GetScanLine(i), src, size_t(bytes));
  }
  tmp.UnMapRows();
  UnMapRows();
  fAccess = srcAccess;
  if (fRGBPalette && fRGBPaletteLen > 0) {
    tmp.fRGBPalette.reset(new TRGB[size_t(fRGBPaletteLen)]);
    std::memcpy(tmp.fRGBPalette.get(), fRGBPalette.get(), size_t(fRGBPaletteLen) * sizeof(TRGB));
    tmp.fRGBPaletteLen = fRGBPaletteLen;
  }
  // Commit: the old storage goes, the new one takes its place.
  const bool full = fFull;
  ReleaseStorage();
  tmp.MoveFieldsTo(this);
  fFull = full;
  return true;
}

// ---------------------------------------------------------------------------
// Size, alignment, location, format

void TVXBitmap::SetWidth(int32_t Value) {
  if (Value != fWidth) ChangeOneDimension(true, Value);
}

void TVXBitmap::SetHeight(int32_t Value) {
  if (Value != fHeight) ChangeOneDimension(false, Value);
}

// The new width (Width true) or height keeps the common area of the image.
// The alpha channel is resized after the new image storage has been had, so
// that a failure leaves both as they were.
void TVXBitmap::ChangeOneDimension(bool Width, int32_t Value) {
  auto resize = [Width](TVXBitmap* b, int32_t v) {
    if (Width)
      b->SetWidth(v);
    else
      b->SetHeight(v);
  };
  if (Value <= 0 && !IsVirtual()) {
    // No image of that size: the bitmap becomes empty.
    FreeImage(true);
    fWidth = 0;
    fHeight = 0;
    fFullReallocate = true;
    return;
  }
  const int32_t other = Width ? fHeight : fWidth;
  if (IsVirtual() || fPixelFormat == vxnull || other <= 0) {
    if (fAlphaChannel) resize(fAlphaChannel.get(), Value);
    (Width ? fWidth : fHeight) = Value;
    fFullReallocate = true;
    return;
  }
  if (fLocation == vxTBitmap && fBitmap) {
    // The platform bitmap itself changes size (the caller's one too) and
    // keeps the common area.
    if (fAlphaChannel) resize(fAlphaChannel.get(), Value);
    if (Width)
      fBitmap->SetWidth(Value);
    else
      fBitmap->SetHeight(Value);
    fWidth = fBitmap->Width();
    fHeight = fBitmap->Height();
    SetFormatFields(fPixelFormat);
    RebuildScanlines();
    fFull = false;
    return;
  }
  TVXBitmap* alpha = fAlphaChannel.get();
  const int32_t oldValue = Width ? fWidth : fHeight;
  ReallocateKeeping(Width ? Value : fWidth, Width ? fHeight : Value, fBitAlignment, fLocation);
  if (alpha) {
    try {
      resize(alpha, Value);
    } catch (...) {
      ReallocateKeeping(Width ? oldValue : fWidth, Width ? fHeight : oldValue, fBitAlignment, fLocation);
      throw;
    }
  }
  fFull = false;
}

void TVXBitmap::SetBitAlignment(int32_t Value) {
  if (Value == fBitAlignment) return;
  if (Value < 8 || Value % 8 != 0) throw EVXException("Invalid bit alignment");
  if (IsVirtual() || IsEmpty()) {
    fBitAlignment = Value;
    fFullReallocate = true;
    return;
  }
  fFullReallocate = true;
  ReallocateKeeping(fWidth, fHeight, Value, fLocation);
  fBitAlignment = Value;
}

void TVXBitmap::SetLocation(TVXLocation Value) {
  if (Value == fLocation || IsVirtual()) return;
  if (Value == vxTBitmap && !IsEmpty()) {
    if (fPixelFormat == vx16g) SetPixelFormat(vx8g);  // as an allocation there would
    if (fPixelFormat == vx32f || fPixelFormat == vxCMYK || fPixelFormat == vx48RGB || fPixelFormat == vxCIELab)
      throw EVXException("A platform bitmap cannot hold the pixel format of the image");
  }
  fFullReallocate = true;
  if (IsEmpty()) {
    fLocation = Value;
    return;
  }
  // Where the rows would end: the size decides between memory and file.
  int64_t size = 0;
  if (__builtin_mul_overflow(fRowLen, int64_t(fHeight), &size)) return;
  TVXLocation target = Value;
  if (target == vxFile && size <= fMinFileSize) target = vxMemory;
  if (target == vxMemory && size > fMinFileSize) target = vxFile;
  if (target == fLocation) {
    // The rows stay where they are, as if moved out and back: the image is
    // still the allocated one, so an Allocate of the same size keeps it.
    fFullReallocate = false;
    return;
  }
  ReallocateKeeping(fWidth, fHeight, fBitAlignment, Value);
  PushPaletteToTBitmap();
  if (fLocation == vxTBitmap) AdjustCanvasOrientation();
}

void TVXBitmap::SetPixelFormat(TVXPixelFormat Value) {
  Synced();
  if (Value == fPixelFormat) return;
  if (IsVirtual() || IsEmpty()) {
    fPixelFormat = Value;
    fFullReallocate = true;
    return;
  }
  ConvertFormatInPlace(Value);
}

bool TVXBitmap::CheckFormat(TVXPixelFormatSet AllowedFormats, bool AutoConvert) {
  if (AllowedFormats.Empty() || AllowedFormats.Contains(fPixelFormat)) return true;
  if (!AutoConvert) return false;
  for (TVXPixelFormat f : VXPixelFormatFallback[fPixelFormat]) {
    if (f != vxnull && AllowedFormats.Contains(f)) {
      SetPixelFormat(f);
      return true;
    }
  }
  for (int f = vx32RGB; f >= vxnull; --f) {
    if (AllowedFormats.Contains(TVXPixelFormat(f))) {
      SetPixelFormat(TVXPixelFormat(f));
      return true;
    }
  }
  return false;
}

void TVXBitmap::SetChannelOffset(int32_t idx, int32_t Value) {
  if (idx >= 0 && idx <= 3) fChannelOffset[idx] = Value;
  fEnableChannelOffset = fChannelOffset[0] != 0 || fChannelOffset[1] != 0 || fChannelOffset[2] != 0 ||
                         fChannelOffset[3] != 0;
}

// ---------------------------------------------------------------------------
// Whole-image copies

void TVXBitmap::CopyRowsFrom(TVXBitmap* Source) {
  // The access modes only matter to rows mapped from a file: a source in
  // memory is only read, so that several threads may copy from it at once.
  const bool srcMapped = Source->fLocation == vxFile, dstMapped = fLocation == vxFile;
  const TVXDataAccess srcAccess = Source->fAccess;
  const TVXDataAccess dstAccess = fAccess;
  if (srcMapped) Source->fAccess = vxdRead;
  if (dstMapped) fAccess = vxdWrite;
  if (fLocation == vxFile && Source->fLocation == vxFile && fRowLen == Source->fRowLen &&
      fOrigin == Source->fOrigin && fmemmap->IsAllocated() && Source->fmemmap->IsAllocated()) {
    UnMapRows();
    Source->UnMapRows();
    Source->fmemmap->CopyTo(fmemmap.get(), 0, fRowLen * int64_t(fHeight));
  } else if (Source->fPixelFormat == vx16g && fPixelFormat == vx8g) {
    // A platform bitmap holds grey words as bytes (their high bytes).
    const int32_t rows = std::min(fHeight, Source->fHeight);
    const int32_t cols = std::min(fWidth, Source->fWidth);
    for (int32_t i = 0; i < rows; ++i) {
      const auto* src = static_cast<const uint8_t*>(Source->GetScanLine(i));
      auto* dst = static_cast<uint8_t*>(GetScanLine(i));
      for (int32_t x = 0; x < cols; ++x) {
        uint16_t v;
        std::memcpy(&v, src + 2 * size_t(x), 2);
        dst[x] = uint8_t(v >> 8);
      }
    }
    UnMapRows();
    Source->UnMapRows();
  } else {
    const int64_t bytes = std::min(fRowLen, Source->fRowLen);
    const int32_t rows = std::min(fHeight, Source->fHeight);
    for (int32_t i = 0; i < rows; ++i) {
      const void* src = Source->GetScanLine(i);
      std::memcpy(GetScanLine(i), src, size_t(bytes));
    }
    UnMapRows();
    Source->UnMapRows();
  }
  if (srcMapped) Source->fAccess = srcAccess;
  if (dstMapped) fAccess = dstAccess;
}

void TVXBitmap::CopyLevelsFrom(const TVXBitmap* Source) {
  fBlackValue = Source->fBlackValue;
  fWhiteValue = Source->fWhiteValue;
  std::memcpy(fChannelOffset, Source->fChannelOffset, sizeof(fChannelOffset));
  fEnableChannelOffset = Source->fEnableChannelOffset;
  fContrast = Source->fContrast;
}

// A platform bitmap cannot hold these formats (vx16g becomes vx8g).
static bool PlatformRefuses(TVXPixelFormat f) {
  return f == vx32f || f == vxCMYK || f == vx48RGB || f == vxCIELab;
}

void TVXBitmap::ReleaseForCopy(bool freeAlpha) {
  if (fLocation == vxTBitmap && fEncapsulatedFromTBitmap) {
    if (freeAlpha) fAlphaChannel.reset();
    ReleaseStorage(true);
    if (fColorProfile) fColorProfile->Clear();
  } else {
    FreeImage(freeAlpha);
  }
}

void TVXBitmap::Assign(TVXBaseBitmap* Source) {
  TVXBitmap* src = dynamic_cast<TVXBitmap*>(Source);
  if (!src || src == this) return;
  src->Synced();
  if (fLocation == vxTBitmap && !src->IsEmpty() && PlatformRefuses(src->fPixelFormat))
    throw EVXException("A platform bitmap cannot hold the pixel format of the image");
  fFullReallocate = true;
  if (fLocation == vxTBitmap && src->IsEmpty()) return;
  ReleaseForCopy(true);
  fWidth = src->fWidth;
  fHeight = src->fHeight;
  fPixelFormat = src->fPixelFormat;
  fBitAlignment = src->fBitAlignment;
  // The source's storage order is taken before the rows are copied, so that
  // row i of the copy shows row i of the source whatever the origins.
  fOrigin = src->fOrigin;
  const bool full = src->fFull;
  if (!src->IsEmpty() && AllocateInternal()) {
    CopyRowsFrom(src);
  } else {
    ReleaseForCopy(true);
  }
  fFull = full && !IsEmpty();
  fFullReallocate = true;
  if (!fIsAlpha) {
    if (src->fAlphaChannel) {
      auto alpha = std::make_unique<TVXBitmap>();
      alpha->fIsAlpha = true;
      alpha->fLocation = fLocation == vxTBitmap ? vxMemory : fLocation;
      alpha->Assign(src->fAlphaChannel.get());
      fAlphaChannel = std::move(alpha);
    } else {
      fAlphaChannel.reset();
    }
  }
  src->CopyPaletteTo(this);
  fDefaultDitherMethod = src->fDefaultDitherMethod;
  CopyLevelsFrom(src);
  if (fColorProfile && src->fColorProfile) fColorProfile->Assign(src->fColorProfile.get());
}

void TVXBitmap::AssignImage(TVXBaseBitmap* Source) {
  TVXBitmap* src = dynamic_cast<TVXBitmap*>(Source);
  if (!Source) return;
  if (!src) throw EVXException("Invalid class typecast");
  src->Synced();
  if (src == this || src->IsEmpty()) return;
  if (fLocation == vxTBitmap && PlatformRefuses(src->fPixelFormat))
    throw EVXException("A platform bitmap cannot hold the pixel format of the image");
  fFullReallocate = true;
  ReleaseForCopy(false);
  fWidth = src->fWidth;
  fHeight = src->fHeight;
  fPixelFormat = src->fPixelFormat;
  if (AllocateInternal())
    CopyRowsFrom(src);
  else
    ReleaseForCopy(false);
  fFull = false;
  fFullReallocate = true;
  src->CopyPaletteTo(this);
  if (fColorProfile && src->fColorProfile) fColorProfile->Assign(src->fColorProfile.get());
}

void TVXBitmap::CopyPaletteTo(TVXBaseBitmap* Dest) {
  TVXBitmap* dst = dynamic_cast<TVXBitmap*>(Dest);
  if (!dst || dst == this) return;
  dst->fRGBPalette.reset();
  dst->fRGBPaletteLen = 0;
  dst->fPaletteUsed = 256;
  if (fRGBPalette && fRGBPaletteLen > 0) {
    dst->fRGBPalette.reset(new TRGB[size_t(fRGBPaletteLen)]);
    std::memcpy(dst->fRGBPalette.get(), fRGBPalette.get(), size_t(fRGBPaletteLen) * sizeof(TRGB));
    dst->fRGBPaletteLen = fRGBPaletteLen;
    dst->fPaletteUsed = fPaletteUsed;
    dst->PushPaletteToTBitmap();
  }
}

void TVXBitmap::EncapsulateMemory(void* mem, int32_t bmpWidth, int32_t bmpHeight, TVXPixelFormat bmpPixelFormat,
                                  bool DoFreeImage, TVXBitmapOrigin Origin) {
  if (DoFreeImage) FreeImage(true);
  if (!mem) return;
  // The previous storage is replaced: release it so that nothing leaks.
  if (!DoFreeImage) ReleaseStorage();
  if (unsigned(bmpPixelFormat) >= VXPixelFormatCount) bmpPixelFormat = vxnull;
  fWidth = bmpWidth;
  fHeight = bmpHeight;
  fPixelFormat = bmpPixelFormat;
  fBitCount = VXPixelFormatBitCount[bmpPixelFormat];
  fChannelCount = VXPixelFormatChannelCount[bmpPixelFormat];
  fRowLen = VXBitmapRowLen(fWidth, fBitCount, fBitAlignment);
  fLocation = vxMemory;
  fEncapsulatedFromMemory = true;
  fMemory = static_cast<uint8_t*>(mem);
  fRealMemory = mem;
  fOrigin = Origin;
  if (bmpPixelFormat == vx8p && !fRGBPalette) {
    fRGBPalette.reset(new TRGB[256]());
    fRGBPaletteLen = 256;
  }
  fFullReallocate = true;
}

bool TVXBitmap::CopyFromMemory(const void* SrcBuffer, int32_t SrcWidth, int32_t SrcHeight,
                               TVXPixelFormat SrcPixelFormat, TVXBitmapOrigin SrcOrigin, int64_t SrcRowLen) {
  if (!SrcBuffer || SrcRowLen < 0) return false;
  if (!Allocate(SrcWidth, SrcHeight, SrcPixelFormat)) return false;
  if (SrcRowLen > fRowLen) return false;
  const uint8_t* src = static_cast<const uint8_t*>(SrcBuffer);
  const TVXDataAccess access = fAccess;
  fAccess = vxdWrite;
  for (int32_t i = 0; i < fHeight; ++i) {
    const int64_t k = SrcOrigin == vxboTOPLEFT ? i : fHeight - 1 - i;
    std::memcpy(GetScanLine(i), src + k * SrcRowLen, size_t(SrcRowLen));
  }
  UnMapRows();
  fAccess = access;
  fFull = false;
  return true;
}

// ---------------------------------------------------------------------------
// Resize without scaling

void TVXBitmap::FillAll(uint8_t Value) {
  const TVXDataAccess access = fAccess;
  fAccess = vxdWrite;
  for (int32_t i = 0; i < fHeight; ++i) std::memset(GetScanLine(i), Value, size_t(fRowLen));
  UnMapRows();
  fAccess = access;
}

void TVXBitmap::MoveRegion(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t DstX, int32_t DstY,
                                   double BackgroundValue, bool FillSource) {
  if (x2 < x1 || y2 < y1) return;
  TVXBitmap tmp;
  tmp.fMinFileSize = fMinFileSize;
  if (!tmp.Allocate(x2 - x1 + 1, y2 - y1 + 1, fPixelFormat)) return;
  CopyRectTo(&tmp, x1, y1, 0, 0, x2 - x1 + 1, y2 - y1 + 1);
  if (FillSource) FillRect(x1, y1, x2, y2, BackgroundValue);
  tmp.CopyRectTo(this, 0, 0, DstX, DstY, tmp.fWidth, tmp.fHeight);
}

void TVXBitmap::Resize(int32_t NewWidth, int32_t NewHeight, double BackgroundValue, int32_t AlphaValue,
                       TVXHAlign HorizAlign, TVXVAlign VertAlign) {
  if (IsVirtual()) {
    SetWidth(NewWidth);
    SetHeight(NewHeight);
    return;
  }
  const int32_t W = fWidth;
  const int32_t H = fHeight;
  TVXBitmap* alpha = fAlphaChannel.get();
  auto moveBoth = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t dx, int32_t dy) {
    MoveRegion(x1, y1, x2, y2, dx, dy, BackgroundValue, true);
    if (alpha) alpha->MoveRegion(x1, y1, x2, y2, dx, dy, AlphaValue, true);
  };
  auto fillBoth = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    FillRect(x1, y1, x2, y2, BackgroundValue);
    if (alpha) alpha->FillRect(x1, y1, x2, y2, AlphaValue);
  };
  // Before cutting: bring the part to keep to the top-left corner.
  if (NewWidth < W && HorizAlign == vxhCenter) {
    const int32_t s = (W - NewWidth) / 2;
    moveBoth(s, 0, s + NewWidth - 1, H - 1, 0, 0);
  } else if (NewWidth < W && HorizAlign == vxhRight) {
    moveBoth(W - NewWidth, 0, W - 1, H - 1, 0, 0);
  }
  if (NewHeight < H && VertAlign == vxvCenter) {
    const int32_t s = (H - NewHeight) / 2;
    moveBoth(0, s, W - 1, s + NewHeight - 1, 0, 0);
  } else if (NewHeight < H && VertAlign == vxvBottom) {
    moveBoth(0, H - NewHeight, W - 1, H - 1, 0, 0);
  }
  SetWidth(NewWidth);
  SetHeight(NewHeight);
  alpha = fAlphaChannel.get();
  // After growing: fill the new area and move the old image into place.
  if (W < NewWidth) {
    fillBoth(W, 0, NewWidth - 1, fHeight - 1);
    if (HorizAlign == vxhCenter)
      moveBoth(0, 0, W - 1, H - 1, (NewWidth - W) / 2, 0);
    else if (HorizAlign == vxhRight)
      moveBoth(0, 0, W - 1, H - 1, NewWidth - W, 0);
  }
  if (H < NewHeight) {
    fillBoth(0, H, fWidth - 1, NewHeight - 1);
    if (VertAlign == vxvCenter)
      moveBoth(0, 0, fWidth - 1, H - 1, 0, (NewHeight - H) / 2);
    else if (VertAlign == vxvBottom)
      moveBoth(0, 0, fWidth - 1, H - 1, 0, NewHeight - H);
  }
}
