// TVXBitmap: the exchange of images with the optional vision library
// (core/vision.h), alpha channel included.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/vision.h"

namespace {

// Raises when a call into the library returned a failure code.
void VisionCheck(TVXVisionResult Result, const char* Call) {
  if (Result != vxvOK)
    throw EVXException(std::string("The vision library's ") + Call + " failed (code " + std::to_string(Result) +
                       ")");
}

// Holds one reference to an interface and gives it back at the end.
template <class T>
struct TVisionRef {
  T* p = nullptr;
  TVisionRef() = default;
  explicit TVisionRef(T* v) : p(v) {}
  TVisionRef(const TVisionRef&) = delete;
  TVisionRef& operator=(const TVisionRef&) = delete;
  ~TVisionRef() {
    if (p) p->Release();
  }
  T* release() {
    T* v = p;
    p = nullptr;
    return v;
  }
};

int32_t VisionBitsPerPixel(uint32_t DataType, int32_t Channels) {
  int32_t bits = 8;
  if (DataType == 2) bits = 16;
  if (DataType == 5) bits = 32;
  if (DataType == 0xA0000001u) bits = 1;
  return bits * Channels;
}

// What an image of the library declares, checked before anything is
// allocated for it.
struct TVisionShape {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Channels = 0;
  uint32_t DataType = 0;
  int64_t RowLen = 0;
  TVXPixelFormat Format = vxnull;
};

TVisionShape ReadVisionShape(TVXVisionImage* Image, int64_t ExtraBitsPerPixel) {
  TVisionShape s;
  VisionCheck(Image->GetSize(&s.Width, &s.Height), "GetSize");
  VisionCheck(Image->GetChannels(&s.Channels), "GetChannels");
  VisionCheck(Image->GetDataType(&s.DataType), "GetDataType");
  VisionCheck(Image->GetRowLen(&s.RowLen), "GetRowLen");
  s.Format = VXVisionTypeToPixelFormat(s.DataType, s.Channels);
  if (s.Format == vxnull)
    throw EVXException("The vision image's data type " + std::to_string(s.DataType) + " with " +
                       std::to_string(s.Channels) + " channels has no pixel format");
  if (s.Width < 0 || s.Height < 0 || s.RowLen < 0)
    throw EVXException("The vision image declares a negative size or row length");
  if (s.Width > 0 && s.Height > 0) {
    const int64_t bits = VisionBitsPerPixel(s.DataType, s.Channels);
    VXCheckImageSize(s.Width, s.Height, bits + ExtraBitsPerPixel);
    // The rows the image claims to span must fit the limit as well.
    const int64_t rowPixels = s.RowLen / bits * 8;
    if (rowPixels > s.Width && !VXImageSizeAllowed(rowPixels, s.Height, bits))
      throw EVXException("The vision image's row length " + std::to_string(s.RowLen) + " is too large");
  }
  return s;
}

// Fills Dest (a new bitmap with the location settings of the one being
// replaced) with Image's rows.
void CopyVisionRows(TVXVisionImage* Image, const TVisionShape& Shape, TVXBitmap& Dest) {
  Dest.SetBitAlignment(32);
  Dest.SetPixelFormat(Shape.Format);
  Dest.SetFull(false);
  if (Shape.Width == 0 || Shape.Height == 0) return;
  if (!Dest.Allocate(Shape.Width, Shape.Height, Shape.Format))
    throw EVXException("No storage for a vision image of " + std::to_string(Shape.Width) + " x " +
                       std::to_string(Shape.Height) + " pixels");
  Dest.SetFull(false);
  const int64_t count = std::min(Shape.RowLen, Dest.RowLen());
  const TVXDataAccess access = Dest.Access();
  Dest.SetAccess(vxdWrite);
  try {
    for (int32_t row = 0; row < Shape.Height; ++row) {
      void* src = nullptr;
      VisionCheck(Image->GetRow(row, &src), "GetRow");
      if (!src || count <= 0) continue;
      std::memcpy(Dest.ScanLine(row), src, size_t(count));
    }
  } catch (...) {
    Dest.SetAccess(access);
    throw;
  }
  Dest.SetAccess(access);
}

}  // namespace

TVXVisionImage* TVXBitmap::GetVXVisionImage() {
  TVisionRef<TVXVisionBase> lib(VXGetVisionLibrary());
  if (!lib.p) return nullptr;
  if (fPixelFormat == vx8p) SetPixelFormat(vx24RGB);
  uint32_t depth = 0;
  int32_t channels = 0;
  VXPixelFormatToVisionType(fPixelFormat, depth, channels);
  if (channels == 0) return nullptr;

  // The library reads the rows top-down from one address.
  auto prepare = [](TVXBitmap* b) -> const void* {
    if (b->IsEmpty()) return nullptr;
    if (b->IsVirtual() || b->Location() != vxMemory || b->FragmentsCount() > 0 || !b->Memory())
      throw EVXException("The vision library needs the bitmap's rows in one memory block");
    b->SetOrigin(vxboTOPLEFT);
    return b->ScanLine(0);
  };
  TVXBitmap* alpha = fIsAlpha ? nullptr : fAlphaChannel.get();
  if (alpha && (alpha->PixelFormat() != vx8g || alpha->Width() != fWidth || alpha->Height() != fHeight))
    throw EVXException("The alpha channel does not match the image");
  const void* data = prepare(this);
  const void* alphaData = alpha ? prepare(alpha) : nullptr;

  TVisionRef<TVXVisionImage> image;
  VisionCheck(lib.p->CreateImage(fWidth, fHeight, depth, channels, fRowLen, data, &image.p), "CreateImage");
  if (!image.p) throw EVXException("The vision library's CreateImage returned no image");
  if (alpha) {
    TVisionRef<TVXVisionImage> alphaImage;
    VisionCheck(lib.p->CreateImage(alpha->Width(), alpha->Height(), 0, 1, alpha->RowLen(), alphaData, &alphaImage.p),
                "CreateImage");
    if (!alphaImage.p) throw EVXException("The vision library's CreateImage returned no image");
    VisionCheck(image.p->SetAlpha(alphaImage.p), "SetAlpha");
  }
  return image.release();
}

void TVXBitmap::AssignVXVisionImage(TVXVisionImage* Source) {
  if (!Source) throw EVXException("AssignVXVisionImage: no vision image");
  // Everything is read into new bitmaps first, so that a failing call leaves
  // this bitmap as it was.
  TVisionRef<TVXVisionImage> alphaImage;
  bool hasAlpha = false;
  if (!fIsAlpha) {
    VisionCheck(Source->HasAlpha(&hasAlpha), "HasAlpha");
    if (hasAlpha) {
      VisionCheck(Source->GetAlpha(&alphaImage.p), "GetAlpha");
      if (!alphaImage.p) hasAlpha = false;
    }
  }
  const TVisionShape shape = ReadVisionShape(Source, hasAlpha ? 8 : 0);
  TVisionShape alphaShape;
  if (hasAlpha) {
    alphaShape = ReadVisionShape(alphaImage.p, 0);
    if (alphaShape.Format != vx8g || alphaShape.Width != shape.Width || alphaShape.Height != shape.Height)
      throw EVXException("The vision image's alpha image does not match the image");
  }

  auto newBitmap = [this](bool IsAlphaChannel) {
    auto b = std::make_unique<TVXBitmap>();
    b->fIsAlpha = IsAlphaChannel;
    b->SetLocation(fLocation == vxTBitmap ? vxMemory : fLocation);
    b->SetMinFileSize(fMinFileSize);
    b->SetMemoryAllocator(fMemoryAllocator);
    b->fOrigin = fOrigin;
    return b;
  };
  std::unique_ptr<TVXBitmap> image = newBitmap(fIsAlpha);
  CopyVisionRows(Source, shape, *image);
  std::unique_ptr<TVXBitmap> alpha;
  if (hasAlpha) {
    alpha = newBitmap(true);
    CopyVisionRows(alphaImage.p, alphaShape, *alpha);
  }

  FreeImage(true);
  image->MoveFieldsTo(this);
  if (!fIsAlpha) fAlphaChannel = std::move(alpha);
}
