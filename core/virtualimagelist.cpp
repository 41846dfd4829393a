// TVXVirtualImageList: many images in one file-backed store.

#include "core/virtualimagelist.h"

#include <algorithm>
#include <cstring>

#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/filebuffer.h"
#include "core/limits.h"
#include "core/streams.h"
#include "gui/graphics.h"

// One image: where its block lies and what it holds. Its address is the
// image's handle.
struct TVXVirtualImageList::TImageInfo {
  int64_t Pos = 0;
  int64_t Size = 0;
  uint8_t* Address = nullptr;  // the mapped copy of the block
  bool InUse = false;          // a bitmap lent by GetBitmap is outstanding
  int32_t OriginalWidth = 0;
  int32_t OriginalHeight = 0;
  bool HasAlpha = false;
  TVXDataAccess Access = vxdNone;  // of the current or last mapping
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitCount = 0;
  TVXPixelFormat PixelFormat = vxnull;
};

namespace {

constexpr int64_t kGrowthStep = 262144;
constexpr int64_t kRecordSize = 56;
constexpr int64_t kPaletteBytes = 768;
constexpr int64_t kCopyChunk = 1048576;
const char kMagic[16] = {'V', 'I', 'R', 'T', 'U', 'A', 'L', 'I', 'M', 'A', 'G', 'E', 'L', 'I', 'S', 'T'};

// The layout of one block.
struct TBlockLayout {
  int64_t RowLen = 0;       // stored row
  int64_t PixelBytes = 0;   // bytes of a row that hold pixels
  int64_t AlphaRowLen = 0;  // stored alpha row
  int64_t PaletteOffset = 0;
  int64_t AlphaOffset = 0;  // the Full byte; its rows follow
  int64_t Size = -1;        // -1 when the sizes make no block
};

// The layout of an image of a valid format (Bitcount its format's bit count);
// Size -1 for an empty image or one whose size overflows.
TBlockLayout Layout(int32_t Width, int32_t Height, int32_t Bitcount, TVXPixelFormat Format, bool HasAlpha) {
  TBlockLayout l;
  if (Width <= 0 || Height <= 0 || Bitcount <= 0) return l;
  l.RowLen = VXBitmapRowLen(Width, Bitcount, 32);
  l.PixelBytes = (int64_t(Width) * Bitcount + 7) / 8;
  l.AlphaRowLen = VXBitmapRowLen(Width, 8, 32);
  __int128 size = __int128(l.RowLen) * Height;
  l.PaletteOffset = int64_t(size);
  if (Format == vx8p) size += kPaletteBytes;
  l.AlphaOffset = int64_t(size);
  if (HasAlpha) size += __int128(l.AlphaRowLen) * Height + 1;
  if (size > __int128(INT64_MAX)) return l;
  l.Size = int64_t(size);
  return l;
}

bool ValidFormat(int32_t Bitcount, TVXPixelFormat Format) {
  return Format > vxnull && Format < VXPixelFormatCount && Bitcount == VXPixelFormatBitCount[Format];
}

// The pixel limit and the storage that can be had, for the image and its
// alpha channel.
bool SizeAllowed(int32_t Width, int32_t Height, int32_t Bitcount, bool HasAlpha) {
  return VXImageSizeAllowed(Width, Height, Bitcount + (HasAlpha ? 8 : 0));
}

void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutLE64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t GetLE32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}
uint64_t GetLE64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= uint64_t(p[i]) << (8 * i);
  return v;
}

// Reads exactly Count bytes; false on a short read.
bool ReadExact(TStream* Stream, void* Buffer, int64_t Count) {
  uint8_t* p = static_cast<uint8_t*>(Buffer);
  while (Count > 0) {
    const int64_t n = Stream->Read(p, Count);
    if (n <= 0) return false;
    p += n;
    Count -= n;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Life

TVXVirtualImageList::TVXVirtualImageList(const std::string& Descriptor, bool UseDisk)
    : fmemmap(std::make_unique<TVXFileBuffer>()), fUseDisk(UseDisk), fDescriptor(Descriptor) {
  fAllocationBlock = kGrowthStep;
  fMaxImagesInMemory = 10;
  fSize = fAllocationBlock;
  fmemmap->AllocateFile(fSize, fDescriptor, fUseDisk);
}

TVXVirtualImageList::~TVXVirtualImageList() {
  try {
    ReleaseAll();
  } catch (...) {
    // A failing write-back of a list that goes away cannot be reported.
  }
}

// ---------------------------------------------------------------------------
// Mapping and releasing

void* TVXVirtualImageList::MapImage(TImageInfo* rec, TVXDataAccess access) {
  if (rec->Address && rec->Access != access) ReleaseMapping(rec);
  if (!rec->Address) {
    while (fImagesInMemory > fMaxImagesInMemory && !fToDiscardList.empty()) ReleaseMapping(fToDiscardList.front());
    void* p = fmemmap->Map(rec->Pos, rec->Size, access);
    if (!p) return nullptr;
    rec->Address = static_cast<uint8_t*>(p);
    ++fImagesInMemory;
    fToDiscardList.push_back(rec);
  } else {
    auto it = std::find(fToDiscardList.begin(), fToDiscardList.end(), rec);
    if (it != fToDiscardList.end()) fToDiscardList.erase(it);
    fToDiscardList.push_back(rec);
  }
  rec->Access = access;
  return rec->Address;
}

void TVXVirtualImageList::ReleaseMapping(TImageInfo* rec) {
  if (!rec->Address) return;
  void* p = rec->Address;
  rec->Address = nullptr;
  auto it = std::find(fToDiscardList.begin(), fToDiscardList.end(), rec);
  if (it != fToDiscardList.end()) fToDiscardList.erase(it);
  --fImagesInMemory;
  fmemmap->UnMap(p);  // writes the copy back when it was mapped for writing
}

void TVXVirtualImageList::ReleaseImage(TImageInfo* rec) {
  ReleaseMapping(rec);
  if (TBmpToRelease* lent = FindLent(rec)) FreeLent(lent);
}

void TVXVirtualImageList::ReleaseAll() {
  while (!fToDiscardList.empty()) {
    try {
      ReleaseMapping(fToDiscardList.front());
    } catch (...) {
      // The images are given up: a copy that cannot be written back is lost
      // with them.
    }
  }
  fImageInfo.clear();
  fToDiscardList.clear();
  fImagesInMemory = 0;
  fFreeBlocks.clear();
  for (TBmpToRelease& lent : fBmpToRelease) delete lent.Bitmap;
  fBmpToRelease.clear();
  fInsPos = 0;
  fmemmap->DeAllocate();
}

TVXVirtualImageList::TBmpToRelease* TVXVirtualImageList::FindLent(TImageInfo* rec) {
  for (TBmpToRelease& lent : fBmpToRelease)
    if (lent.Image == rec) return &lent;
  return nullptr;
}

TVXVirtualImageList::TBmpToRelease* TVXVirtualImageList::FindLent(TVXBitmap* bmp) {
  for (TBmpToRelease& lent : fBmpToRelease)
    if (lent.Bitmap == bmp) return &lent;
  return nullptr;
}

void TVXVirtualImageList::FreeLent(TBmpToRelease* lent) {
  lent->Image->InUse = false;
  delete lent->Bitmap;
  fBmpToRelease.erase(fBmpToRelease.begin() + (lent - fBmpToRelease.data()));
}

// ---------------------------------------------------------------------------
// The store

bool TVXVirtualImageList::ResizeStore(int64_t NewSize) {
  if (NewSize < 0 || !VXStorageSizeAllowed(NewSize)) return false;
  if (fmemmap->IsAllocated()) {
    while (!fToDiscardList.empty()) ReleaseMapping(fToDiscardList.front());
    try {
      fmemmap->ReAllocateFile(NewSize);
    } catch (...) {
      return false;
    }
    if (fmemmap->Size() != NewSize) return false;
  } else {
    ReleaseAll();
    if (!fmemmap->AllocateFile(NewSize, fDescriptor, fUseDisk)) return false;
  }
  fFreeBlocks.clear();
  return true;
}

bool TVXVirtualImageList::PlaceBlock(TImageInfo& rec, int64_t h) {
  // Neighbours in list order that touch become one block.
  for (size_t i = 0; i + 1 < fFreeBlocks.size();) {
    if (fFreeBlocks[i].Pos + fFreeBlocks[i].Size == fFreeBlocks[i + 1].Pos) {
      fFreeBlocks[i].Size += fFreeBlocks[i + 1].Size;
      fFreeBlocks.erase(fFreeBlocks.begin() + std::ptrdiff_t(i + 1));
    } else {
      ++i;
    }
  }
  for (size_t i = 0; i < fFreeBlocks.size(); ++i) {
    TFreeBlock& fb = fFreeBlocks[i];
    if (fb.Size >= h) {
      rec.Pos = fb.Pos;
      if (fb.Size == h) {
        fFreeBlocks.erase(fFreeBlocks.begin() + std::ptrdiff_t(i));
      } else {
        fb.Pos += h;
        fb.Size -= h;
      }
      rec.Size = h;
      return true;
    }
  }
  // At the end of the used part, growing the store by one step when needed.
  const int64_t step = h > fAllocationBlock ? h + fLastVImageSize : fAllocationBlock;
  if (step < h || fInsPos > INT64_MAX - h) return false;
  const int64_t end = fInsPos + h;
  if (end > fSize || !fmemmap->IsAllocated()) {
    const int64_t newSize = std::max(end, fSize > INT64_MAX - step ? INT64_MAX : fSize + step);
    if (!ResizeStore(newSize)) return false;
    fSize = newSize;
  }
  fAllocationBlock = step;
  fLastVImageSize = h;
  rec.Pos = fInsPos;
  rec.Size = h;
  fInsPos = end;
  return true;
}

void TVXVirtualImageList::PrepareSpaceFor(int32_t Width, int32_t Height, int32_t Bitcount, int32_t ImageCount) {
  if (Width <= 0 || Height <= 0 || Bitcount <= 0 || ImageCount <= 0) return;
  const __int128 more = __int128(VXBitmapRowLen(Width, Bitcount, 32)) * Height * ImageCount;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  if (__int128(fSize) + more > __int128(INT64_MAX)) return;
  const int64_t newSize = fSize + int64_t(more);
  if (ResizeStore(newSize)) fSize = newSize;
}

// ---------------------------------------------------------------------------
// Rows between blocks and bitmaps

void TVXVirtualImageList::BitmapToBlock(TVXBaseBitmap* bitmap, bool withAlpha, uint8_t* block) {
  const int32_t w = bitmap->Width(), h = bitmap->Height();
  const TBlockLayout l = Layout(w, h, bitmap->BitCount(), bitmap->PixelFormat(), withAlpha);
  for (int32_t k = 0; k < h; ++k) {
    uint8_t* dst = block + int64_t(k) * l.RowLen;
    const void* src = bitmap->Scanline(h - 1 - k);
    if (src)
      std::memcpy(dst, src, size_t(l.PixelBytes));
    else
      std::memset(dst, 0, size_t(l.PixelBytes));
    std::memset(dst + l.PixelBytes, 0, size_t(l.RowLen - l.PixelBytes));
  }
  if (bitmap->PixelFormat() == vx8p) {
    uint8_t* pal = block + l.PaletteOffset;
    std::memset(pal, 0, size_t(kPaletteBytes));
    const TRGB* src = bitmap->PaletteBuffer();
    const int32_t n = std::clamp(bitmap->PaletteLength(), 0, 256);
    if (src && n > 0) std::memcpy(pal, src, size_t(n) * sizeof(TRGB));
  }
  if (withAlpha) {
    TVXBitmap* alpha = static_cast<TVXBitmap*>(bitmap)->AlphaChannelOpt();
    uint8_t* a = block + l.AlphaOffset;
    a[0] = alpha->Full() ? 1 : 0;
    const bool usable = alpha->PixelFormat() == vx8g;
    const int32_t cols = usable ? std::min(w, alpha->Width()) : 0;
    for (int32_t k = 0; k < h; ++k) {
      uint8_t* dst = a + 1 + int64_t(k) * l.AlphaRowLen;
      std::memset(dst, 0, size_t(l.AlphaRowLen));
      const int32_t row = alpha->Height() - 1 - k;
      if (cols > 0 && row >= 0) {
        const void* src = alpha->Scanline(row);
        if (src) std::memcpy(dst, src, size_t(cols));
      }
    }
  }
}

bool TVXVirtualImageList::BlockToBitmap(TImageInfo* rec, const uint8_t* block, TVXBitmap* bitmap) {
  const TBlockLayout l = Layout(rec->Width, rec->Height, rec->BitCount, rec->PixelFormat, rec->HasAlpha);
  bitmap->RemoveAlphaChannel(false, 0);
  if (!bitmap->Allocate(rec->Width, rec->Height, rec->PixelFormat)) return false;
  const int32_t h = rec->Height;
  const int64_t bytes = std::min(l.PixelBytes, bitmap->RowLen());
  for (int32_t k = 0; k < h; ++k) {
    void* dst = bitmap->Scanline(h - 1 - k);
    if (dst) std::memcpy(dst, block + int64_t(k) * l.RowLen, size_t(bytes));
  }
  if (rec->PixelFormat == vx8p) {
    TRGB* pal = bitmap->PaletteBuffer();
    const int32_t n = std::clamp(bitmap->PaletteLength(), 0, 256);
    if (pal && n > 0) std::memcpy(pal, block + l.PaletteOffset, size_t(n) * sizeof(TRGB));
  }
  if (rec->HasAlpha && block[l.AlphaOffset] == 0) {
    TVXBitmap* alpha = bitmap->AlphaChannel();
    if (alpha && alpha->Width() == rec->Width && alpha->Height() == h) {
      const uint8_t* a = block + l.AlphaOffset + 1;
      for (int32_t k = 0; k < h; ++k) {
        void* dst = alpha->Scanline(h - 1 - k);
        if (dst) std::memcpy(dst, a + int64_t(k) * l.AlphaRowLen, size_t(rec->Width));
      }
      alpha->SetFull(false);
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Adding and replacing

void* TVXVirtualImageList::AddBlankImage(int32_t Width, int32_t Height, int32_t Bitcount, TVXPixelFormat PixelFormat,
                                         bool HasAlpha) {
  if (!ValidFormat(Bitcount, PixelFormat)) return nullptr;
  const TBlockLayout l = Layout(Width, Height, Bitcount, PixelFormat, HasAlpha);
  if (l.Size <= 0 || !SizeAllowed(Width, Height, Bitcount, HasAlpha)) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  auto rec = std::make_unique<TImageInfo>();
  if (!PlaceBlock(*rec, l.Size)) return nullptr;
  rec->OriginalWidth = Width;
  rec->OriginalHeight = Height;
  rec->HasAlpha = HasAlpha;
  rec->Width = Width;
  rec->Height = Height;
  rec->BitCount = Bitcount;
  rec->PixelFormat = PixelFormat;
  rec->Access = vxdWrite;
  if (!MapImage(rec.get(), vxdWrite)) {
    fFreeBlocks.push_back(TFreeBlock{rec->Pos, rec->Size});
    return nullptr;
  }
  fImageInfo.push_back(std::move(rec));
  return fImageInfo.back().get();
}

void* TVXVirtualImageList::AddVXBitmap(TVXBaseBitmap* bitmap) {
  if (!bitmap) return nullptr;
  TVXBitmap* vx = dynamic_cast<TVXBitmap*>(bitmap);
  const bool alpha = vx && vx->HasAlphaChannel();
  std::lock_guard<std::recursive_mutex> lock(fLock);
  void* image = AddBlankImage(bitmap->Width(), bitmap->Height(), bitmap->BitCount(), bitmap->PixelFormat(), alpha);
  if (!image) return nullptr;
  BitmapToBlock(bitmap, alpha, Info(image)->Address);
  return image;
}

void* TVXVirtualImageList::AddBitmap(TBitmap* bitmap) {
  if (!bitmap || bitmap->Empty()) return nullptr;
  TVXBitmap wrapped;
  try {
    wrapped.EncapsulateTBitmap(bitmap, false);
  } catch (const EVXException&) {
    return nullptr;  // a format the image core cannot hold
  }
  return AddVXBitmap(&wrapped);
}

void* TVXVirtualImageList::AddBitmapRect(TBitmap* bitmap, int32_t xsrc, int32_t ysrc, int32_t dxsrc, int32_t dysrc) {
  if (!bitmap) return nullptr;
  const TPixelFormat fmt = bitmap->PixelFormat();
  if (fmt != pf1bit && fmt != pf8bit && fmt != pf24bit) return nullptr;
  if (xsrc < 0 || ysrc < 0 || dxsrc <= 0 || dysrc <= 0 || int64_t(xsrc) + dxsrc > bitmap->Width() ||
      int64_t(ysrc) + dysrc > bitmap->Height())
    return nullptr;
  const int32_t bits = VXVclPixelFormatBits(fmt);
  const TVXPixelFormat pf = VXVclToPixelFormat(fmt);
  std::lock_guard<std::recursive_mutex> lock(fLock);
  void* image = AddBlankImage(dxsrc, dysrc, bits, pf, false);
  if (!image) return nullptr;
  TImageInfo* rec = Info(image);
  const TBlockLayout l = Layout(dxsrc, dysrc, bits, pf, false);
  VXCopyTBitmapRect(rec->Address, l.RowLen, bits, 1, dysrc, dxsrc, ysrc, xsrc, 0, 0, bitmap);
  if (pf == vx8p) {
    // The colours of the indices come with them.
    uint8_t* pal = rec->Address + l.PaletteOffset;
    const std::vector<RGBQUAD> entries = bitmap->Palette();
    for (size_t i = 0; i < entries.size() && i < 256; ++i) {
      pal[3 * i] = entries[i].rgbBlue;
      pal[3 * i + 1] = entries[i].rgbGreen;
      pal[3 * i + 2] = entries[i].rgbRed;
    }
  }
  return image;
}

void TVXVirtualImageList::CopyToVXBitmap(void* image, TVXBitmap* bitmap) {
  if (!image || !bitmap) return;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  const uint8_t* block = static_cast<const uint8_t*>(MapImage(rec, vxdRead));
  if (!block) return;
  if (TBmpToRelease* lent = FindLent(rec)) {
    if (lent->Bitmap != bitmap) bitmap->Assign(lent->Bitmap);
    return;
  }
  BlockToBitmap(rec, block, bitmap);
}

bool TVXVirtualImageList::CopyFromVXBitmap(void* image, TVXBitmap* bitmap) {
  if (!image || !bitmap || bitmap->IsEmpty()) return false;
  const int32_t w = bitmap->Width(), h = bitmap->Height(), bits = bitmap->BitCount();
  const TVXPixelFormat pf = bitmap->PixelFormat();
  const bool alpha = bitmap->HasAlphaChannel();
  if (!ValidFormat(bits, pf)) return false;
  const TBlockLayout l = Layout(w, h, bits, pf, alpha);
  if (l.Size <= 0) return false;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  const TImageInfo before = *rec;
  const bool same = w == rec->Width && h == rec->Height && bits == rec->BitCount && pf == rec->PixelFormat &&
                    alpha == rec->HasAlpha;
  if (!same) {
    if (!SizeAllowed(w, h, bits, alpha)) return false;
    // The old block is left where it is; the image moves to a new one.
    ReleaseMapping(rec);
    TImageInfo placed = *rec;
    if (!PlaceBlock(placed, l.Size)) return false;
    rec->Pos = placed.Pos;
    rec->Size = placed.Size;
    rec->Width = w;
    rec->Height = h;
    rec->BitCount = bits;
    rec->PixelFormat = pf;
    rec->HasAlpha = alpha;
  }
  uint8_t* block = static_cast<uint8_t*>(MapImage(rec, vxdReadWrite));
  if (!block) {
    if (!same) {
      fFreeBlocks.push_back(TFreeBlock{rec->Pos, rec->Size});
      *rec = before;
      rec->Address = nullptr;
    }
    return false;
  }
  BitmapToBlock(bitmap, alpha, block);
  return true;
}

// ---------------------------------------------------------------------------
// Lending

TVXBitmap* TVXVirtualImageList::GetBitmap(void* image) {
  if (!image) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  const uint8_t* block = static_cast<const uint8_t*>(MapImage(rec, vxdRead));
  if (!block) return nullptr;
  if (TBmpToRelease* lent = FindLent(rec)) {
    ++lent->Count;
    return lent->Bitmap;
  }
  auto bmp = std::make_unique<TVXBitmap>();
  if (!BlockToBitmap(rec, block, bmp.get())) return nullptr;
  fBmpToRelease.push_back(TBmpToRelease{rec, bmp.get(), 1});
  rec->InUse = true;
  return bmp.release();
}

void TVXVirtualImageList::ReleaseBitmap(TVXBitmap* bitmap, bool changed) {
  if (!bitmap) return;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  // Only a bitmap this list lent is looked at: a returned one may be gone.
  TBmpToRelease* lent = FindLent(bitmap);
  if (!lent) return;
  if (bitmap->Location() == vxTBitmap) bitmap->UpdateFromTBitmap();
  --lent->Count;
  if (changed) CopyFromVXBitmap(lent->Image, bitmap);
  if (lent->Count <= 0) FreeLent(lent);
}

void TVXVirtualImageList::ReleaseBitmapByImage(void* image, bool changed) {
  if (!image) return;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  if (TBmpToRelease* lent = FindLent(Info(image))) ReleaseBitmap(lent->Bitmap, changed);
}

// ---------------------------------------------------------------------------
// Deleting

void TVXVirtualImageList::Delete(void* image) {
  if (!image) return;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  auto it = std::find_if(fImageInfo.begin(), fImageInfo.end(), [rec](const auto& p) { return p.get() == rec; });
  if (it == fImageInfo.end()) return;
  fFreeBlocks.push_back(TFreeBlock{rec->Pos, rec->Size});
  ReleaseImage(rec);
  fImageInfo.erase(it);
  if (fImageInfo.empty()) {
    fSize = fAllocationBlock;
    fInsPos = 0;
    ResizeStore(fSize);
  }
}

// ---------------------------------------------------------------------------
// The records

int32_t TVXVirtualImageList::GetImageCount() {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  return int32_t(fImageInfo.size());
}

void* TVXVirtualImageList::GetImageFromIndex(int32_t index) {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  if (index < 0 || size_t(index) >= fImageInfo.size()) return nullptr;
  return fImageInfo[size_t(index)].get();
}

int32_t TVXVirtualImageList::FindImageIndex(void* image) {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  for (size_t i = 0; i < fImageInfo.size(); ++i)
    if (fImageInfo[i].get() == image) return int32_t(i);
  return -1;
}

int32_t TVXVirtualImageList::GetImageWidth(void* image) {
  if (!image) return 0;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  if (rec->InUse)
    if (TBmpToRelease* lent = FindLent(rec)) return lent->Bitmap->Width();
  return rec->Width;
}

int32_t TVXVirtualImageList::GetImageHeight(void* image) {
  if (!image) return 0;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  if (rec->InUse)
    if (TBmpToRelease* lent = FindLent(rec)) return lent->Bitmap->Height();
  return rec->Height;
}

int32_t TVXVirtualImageList::GetImageBitCount(void* image) {
  if (!image) return 0;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  if (rec->InUse)
    if (TBmpToRelease* lent = FindLent(rec)) return lent->Bitmap->BitCount();
  return rec->BitCount;
}

TVXPixelFormat TVXVirtualImageList::GetImagePixelFormat(void* image) {
  if (!image) return vxnull;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  if (rec->InUse)
    if (TBmpToRelease* lent = FindLent(rec)) return lent->Bitmap->PixelFormat();
  return rec->PixelFormat;
}

// Like every other member, under the list's lock: threads sharing the list may
// save it or change a record meanwhile.
int32_t TVXVirtualImageList::GetImageOriginalWidth(void* image) {
  if (!image) return 0;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  return Info(image)->OriginalWidth;
}
int32_t TVXVirtualImageList::GetImageOriginalHeight(void* image) {
  if (!image) return 0;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  return Info(image)->OriginalHeight;
}
void TVXVirtualImageList::SetImageOriginalWidth(void* image, int32_t Value) {
  if (!image) return;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  Info(image)->OriginalWidth = Value;
}
void TVXVirtualImageList::SetImageOriginalHeight(void* image, int32_t Value) {
  if (!image) return;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  Info(image)->OriginalHeight = Value;
}
int64_t TVXVirtualImageList::GetImageFilePos(void* image) {
  if (!image) return 0;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  return Info(image)->Pos;
}

void* TVXVirtualImageList::GetImageBits(void* image) {
  if (!image) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  if (rec->InUse) {
    TBmpToRelease* lent = FindLent(rec);
    if (!lent || lent->Bitmap->IsEmpty()) return nullptr;
    return lent->Bitmap->Scanline(lent->Bitmap->Height() - 1);
  }
  return MapImage(rec, vxdReadWrite);
}

void* TVXVirtualImageList::GetImagePalette(void* image) {
  if (!image) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  if (rec->InUse) {
    TBmpToRelease* lent = FindLent(rec);
    return lent ? lent->Bitmap->PaletteBuffer() : nullptr;
  }
  if (rec->PixelFormat != vx8p) return nullptr;  // the block holds no palette
  uint8_t* block = static_cast<uint8_t*>(MapImage(rec, vxdReadWrite));
  if (!block) return nullptr;
  return block + Layout(rec->Width, rec->Height, rec->BitCount, rec->PixelFormat, rec->HasAlpha).PaletteOffset;
}

void* TVXVirtualImageList::GetAlphaBits(void* image) {
  if (!image) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  TImageInfo* rec = Info(image);
  if (!rec->HasAlpha) return nullptr;
  if (rec->InUse) {
    TBmpToRelease* lent = FindLent(rec);
    if (!lent) return nullptr;
    TVXBitmap* alpha = lent->Bitmap->AlphaChannelOpt();
    if (!alpha || alpha->IsEmpty()) return nullptr;
    return alpha->Scanline(alpha->Height() - 1);
  }
  uint8_t* block = static_cast<uint8_t*>(MapImage(rec, vxdReadWrite));
  if (!block) return nullptr;
  uint8_t* a = block + Layout(rec->Width, rec->Height, rec->BitCount, rec->PixelFormat, true).AlphaOffset;
  return a[0] == 0 ? a + 1 : nullptr;
}

int32_t TVXVirtualImageList::MaxImagesInMemory() {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  return fMaxImagesInMemory;
}

void TVXVirtualImageList::SetMaxImagesInMemory(int32_t Value) {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  fMaxImagesInMemory = std::max(Value, 0);
}

int32_t TVXVirtualImageList::ImagesInMemory() {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  return fImagesInMemory;
}

// ---------------------------------------------------------------------------
// The stream: int32 16, "VIRTUALIMAGELIST", version byte 1, int32 count, the
// 56-byte records, then the blocks in list order.

void TVXVirtualImageList::SaveToStream(TStream* Stream) {
  if (!Stream) return;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  while (!fToDiscardList.empty()) ReleaseMapping(fToDiscardList.front());
  const size_t n = fImageInfo.size();
  std::vector<uint8_t> head(4 + 16 + 1 + 4 + n * size_t(kRecordSize), 0);
  PutLE32(head.data(), 16);
  std::memcpy(head.data() + 4, kMagic, 16);
  head[20] = 1;
  PutLE32(head.data() + 21, uint32_t(n));
  for (size_t i = 0; i < n; ++i) {
    const TImageInfo& r = *fImageInfo[i];
    uint8_t* p = head.data() + 25 + i * size_t(kRecordSize);
    PutLE64(p, uint64_t(r.Pos));
    PutLE64(p + 8, uint64_t(r.Size));
    // 16: no mapping is stored.
    p[20] = r.InUse ? 1 : 0;
    PutLE32(p + 24, uint32_t(r.OriginalWidth));
    PutLE32(p + 28, uint32_t(r.OriginalHeight));
    p[32] = r.HasAlpha ? 1 : 0;
    p[33] = uint8_t(r.Access);
    PutLE32(p + 36, uint32_t(r.Width));
    PutLE32(p + 40, uint32_t(r.Height));
    PutLE32(p + 44, uint32_t(r.BitCount));
    p[48] = uint8_t(r.PixelFormat);
  }
  Stream->WriteBuffer(head.data(), int64_t(head.size()));
  // Each block exactly its size, in chunks of at most 1 MiB.
  for (const auto& r : fImageInfo) {
    for (int64_t done = 0; done < r->Size;) {
      const int64_t len = std::min(kCopyChunk, r->Size - done);
      void* p = fmemmap->Map(r->Pos + done, len, vxdRead);
      if (!p) throw EVXException("Out of memory");
      try {
        Stream->WriteBuffer(p, len);
      } catch (...) {
        fmemmap->UnMap(p);
        throw;
      }
      fmemmap->UnMap(p);
      done += len;
    }
  }
}

bool TVXVirtualImageList::LoadFromStream(TStream* Stream) {
  if (!Stream) return false;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  uint8_t head[25];
  if (!ReadExact(Stream, head, 4) || GetLE32(head) != 16) return false;
  if (!ReadExact(Stream, head + 4, 16) || std::memcmp(head + 4, kMagic, 16) != 0) return false;
  if (!ReadExact(Stream, head + 20, 5)) return false;  // the version is not checked
  const int32_t n = int32_t(GetLE32(head + 21));
  if (n <= 0) return true;
  int64_t left = Stream->Size() - Stream->Position();
  if (left < int64_t(n) * kRecordSize) return false;
  std::vector<uint8_t> recs(size_t(n) * size_t(kRecordSize));
  if (!ReadExact(Stream, recs.data(), int64_t(recs.size()))) return false;
  left -= int64_t(recs.size());

  std::vector<std::unique_ptr<TImageInfo>> infos;
  infos.reserve(size_t(n));
  int64_t total = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* p = recs.data() + size_t(i) * size_t(kRecordSize);
    auto r = std::make_unique<TImageInfo>();
    const int64_t size = int64_t(GetLE64(p + 8));
    r->OriginalWidth = int32_t(GetLE32(p + 24));
    r->OriginalHeight = int32_t(GetLE32(p + 28));
    if (p[32] > 1) return false;
    r->HasAlpha = p[32] == 1;
    r->Access = TVXDataAccess(p[33] & 3);
    r->Width = int32_t(GetLE32(p + 36));
    r->Height = int32_t(GetLE32(p + 40));
    r->BitCount = int32_t(GetLE32(p + 44));
    if (p[48] >= VXPixelFormatCount) return false;
    r->PixelFormat = TVXPixelFormat(p[48]);
    if (!ValidFormat(r->BitCount, r->PixelFormat)) return false;
    const TBlockLayout l = Layout(r->Width, r->Height, r->BitCount, r->PixelFormat, r->HasAlpha);
    if (l.Size <= 0 || size != l.Size) return false;
    if (size > left - total) return false;  // more than the stream holds
    if (!SizeAllowed(r->Width, r->Height, r->BitCount, r->HasAlpha)) return false;
    // Loaded blocks follow each other from position 0; none is mapped or lent.
    r->Pos = total;
    r->Size = size;
    total += size;
    infos.push_back(std::move(r));
  }

  // The blocks go into a new store first, so that a short stream leaves the
  // list as it was.
  auto store = std::make_unique<TVXFileBuffer>();
  if (!store->AllocateFile(total + 1, fDescriptor, fUseDisk)) return false;
  for (int64_t done = 0; done < total;) {
    const int64_t len = std::min(kCopyChunk, total - done);
    void* p = store->Map(done, len, vxdWrite);
    if (!p) return false;
    const bool ok = ReadExact(Stream, p, len);
    store->UnMap(p);
    if (!ok) return false;
    done += len;
  }
  ReleaseAll();
  fmemmap = std::move(store);
  fImageInfo = std::move(infos);
  fSize = total + 1;
  fInsPos = total;
  return true;
}

// ---------------------------------------------------------------------------

void VXCopyTBitmapRect(void* data, int64_t rowLength, int32_t bitsPerPixel, int32_t direction, int32_t rows,
                       int32_t cols, int32_t ySrc, int32_t xSrc, int32_t dataRow, int32_t dataCol, TBitmap* bitmap) {
  if (!data || !bitmap || rows <= 0 || cols <= 0 || ySrc < 0 || xSrc < 0 || dataRow < 0 || dataCol < 0) return;
  if (direction != 0 && direction != 1) return;
  if (int64_t(ySrc) + rows > bitmap->Height() || int64_t(xSrc) + cols > bitmap->Width()) return;
  const TPixelFormat fmt = bitmap->PixelFormat();
  // Bits of one pixel on each side.
  int64_t bitmapBits = 0, dataBits = 0;
  const bool bitsToRGB = fmt == pf1bit && direction == 1 && bitsPerPixel == 24;
  switch (fmt) {
    case pf1bit:
      bitmapBits = 1;
      dataBits = bitsToRGB ? 24 : 1;
      break;
    case pf8bit:
      bitmapBits = dataBits = 8;
      break;
    case pf24bit:
      bitmapBits = dataBits = 24;
      break;
    default:
      return;
  }
  if ((int64_t(dataCol) + cols) * dataBits > rowLength * 8) return;
  const int64_t bitmapRowBytes = int64_t(bitmap->RowBytes());
  if ((int64_t(xSrc) + cols) * bitmapBits > bitmapRowBytes * 8) return;
  uint8_t* base = static_cast<uint8_t*>(data);
  for (int32_t k = 0; k < rows; ++k) {
    uint8_t* buf = base + (int64_t(dataRow) + k) * rowLength;
    uint8_t* row = static_cast<uint8_t*>(bitmap->ScanLine(ySrc + rows - 1 - k));
    if (fmt == pf1bit) {
      if (bitsToRGB) {
        uint8_t* out = buf + int64_t(dataCol) * 3;
        for (int32_t i = 0; i < cols; ++i, out += 3) {
          const uint8_t v = VXGetRowBit(row, xSrc + i) ? 255 : 0;
          out[0] = out[1] = out[2] = v;
        }
      } else if (direction == 1) {
        VXCopyBitRun(buf, row, dataCol, int32_t(bitmapRowBytes), cols, xSrc);
      } else {
        VXCopyBitRun(row, buf, xSrc, int32_t(std::min<int64_t>(rowLength, INT32_MAX)), cols, dataCol);
      }
    } else {
      const int64_t bpp = bitmapBits / 8;
      uint8_t* b = buf + int64_t(dataCol) * bpp;
      uint8_t* r = row + int64_t(xSrc) * bpp;
      if (direction == 1)
        std::memcpy(b, r, size_t(cols * bpp));
      else
        std::memcpy(r, b, size_t(cols * bpp));
    }
  }
}
