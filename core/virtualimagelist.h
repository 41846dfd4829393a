#pragma once
// TVXVirtualImageList: many images, each of its own size and pixel format, in
// one TVXFileBuffer (a temporary file or memory), of which only a few are
// mapped at a time. Images are lent out as TVXBitmaps, replaced, deleted, and
// the whole list is saved to and loaded from a "VIRTUALIMAGELIST" stream.
//
// An image's handle is the address of its record (void*); it stays valid
// until the image is deleted or the list is loaded anew or destroyed. Every
// operation on the lists or the store holds one recursive lock, so loader
// threads and the user-interface thread may share a list.
//
// A block holds the rows bottom row first, each VXBitmapRowLen(width, bits,
// 32) bytes; for vx8p the 256-entry palette (768 bytes of TRGB); with alpha,
// the alpha channel's Full byte and its rows, bottom row first, each
// VXBitmapRowLen(width, 8, 32) bytes.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/pixels.h"

class TVXBaseBitmap;
class TVXBitmap;
class TVXFileBuffer;
class TStream;
class TBitmap;

class TVXVirtualImageList {
 public:
  // The store is a temporary file named after Descriptor (UseDisk) or memory.
  TVXVirtualImageList(const std::string& Descriptor, bool UseDisk);
  ~TVXVirtualImageList();
  TVXVirtualImageList(const TVXVirtualImageList&) = delete;
  TVXVirtualImageList& operator=(const TVXVirtualImageList&) = delete;

  // A new image whose block is mapped for writing (zero-filled); nullptr
  // when the size, bit count or format make no image, the image exceeds the
  // library's pixel limit, or the store cannot hold it.
  void* AddBlankImage(int32_t Width, int32_t Height, int32_t Bitcount, TVXPixelFormat PixelFormat, bool HasAlpha);
  // A new image holding bitmap's rows, palette and (for a TVXBitmap with an
  // alpha channel) alpha; nullptr on failure.
  void* AddVXBitmap(TVXBaseBitmap* bitmap);
  // A new image holding a platform bitmap (pf1bit, pf8bit, pf24bit or
  // pf32bit); nullptr for other formats or an empty bitmap.
  void* AddBitmap(TBitmap* bitmap);
  // A new image of the rectangle dxsrc x dysrc at (xsrc, ysrc) of a pf1bit,
  // pf8bit (with its colour table) or pf24bit bitmap; nullptr for other
  // formats or a rectangle outside the bitmap.
  void* AddBitmapRect(TBitmap* bitmap, int32_t xsrc, int32_t ysrc, int32_t dxsrc, int32_t dysrc);

  // Gives bitmap the image (the lent bitmap's content while one is lent).
  void CopyToVXBitmap(void* image, TVXBitmap* bitmap);
  // Replaces the image by bitmap. A new block is placed when the size, bit
  // count, pixel format or alpha presence changes. False when bitmap is
  // empty or no block can be had (the image is then left as it was).
  bool CopyFromVXBitmap(void* image, TVXBitmap* bitmap);

  // Lends the image as a bitmap (the same bitmap, counted, while it is out);
  // nullptr when the image cannot be mapped.
  TVXBitmap* GetBitmap(void* image);
  // Returns a lent bitmap, storing it back first when changed (a bitmap
  // drawn on through its platform bitmap as that one now is); the bitmap is
  // freed when its last loan is returned.
  void ReleaseBitmap(TVXBitmap* bitmap, bool changed);
  void ReleaseBitmapByImage(void* image, bool changed);

  void Delete(void* image);
  // Grows the store for ImageCount images of the given size.
  void PrepareSpaceFor(int32_t Width, int32_t Height, int32_t Bitcount, int32_t ImageCount);

  int32_t GetImageCount();
  int32_t ImageCount() { return GetImageCount(); }
  // nullptr outside the list.
  void* GetImageFromIndex(int32_t index);
  // -1 when the image is not in the list.
  int32_t FindImageIndex(void* image);

  // From the lent bitmap while one is lent, otherwise from the record.
  int32_t GetImageWidth(void* image);
  int32_t GetImageHeight(void* image);
  int32_t GetImageBitCount(void* image);
  TVXPixelFormat GetImagePixelFormat(void* image);

  // The caller's own fields of the record (the size at creation until set).
  int32_t GetImageOriginalWidth(void* image);
  int32_t GetImageOriginalHeight(void* image);
  void SetImageOriginalWidth(void* image, int32_t Value);
  void SetImageOriginalHeight(void* image, int32_t Value);
  int64_t GetImageFilePos(void* image);

  // Addresses inside the image's mapped block (or the lent bitmap while one
  // is lent): the bottom row, the palette of a vx8p image, the bottom alpha
  // row when the alpha is not Full. The block is mapped for reading and
  // writing, so changes made through them are kept; an address stays valid
  // until the image's mapping is released (by touching more than
  // MaxImagesInMemory other images, or by another operation on the image).
  void* GetImageBits(void* image);
  void* GetImagePalette(void* image);
  void* GetAlphaBits(void* image);

  void SaveToStream(TStream* Stream);
  // False, with the list unchanged, for another magic or a damaged stream;
  // True and the list unchanged for a stream of no images.
  bool LoadFromStream(TStream* Stream);

  int32_t MaxImagesInMemory();
  void SetMaxImagesInMemory(int32_t Value);
  // Images mapped now.
  int32_t ImagesInMemory();

 private:
  struct TImageInfo;
  struct TFreeBlock {
    int64_t Pos;
    int64_t Size;
  };
  struct TBmpToRelease {
    TImageInfo* Image;
    TVXBitmap* Bitmap;
    int32_t Count;
  };

  static TImageInfo* Info(void* image) { return static_cast<TImageInfo*>(image); }
  bool PlaceBlock(TImageInfo& rec, int64_t h);
  bool ResizeStore(int64_t NewSize);
  void* MapImage(TImageInfo* rec, TVXDataAccess access);
  void ReleaseMapping(TImageInfo* rec);
  void ReleaseImage(TImageInfo* rec);
  void ReleaseAll();
  TBmpToRelease* FindLent(TImageInfo* rec);
  TBmpToRelease* FindLent(TVXBitmap* bmp);
  void FreeLent(TBmpToRelease* lent);
  bool BlockToBitmap(TImageInfo* rec, const uint8_t* block, TVXBitmap* bitmap);
  void BitmapToBlock(TVXBaseBitmap* bitmap, bool withAlpha, uint8_t* block);

  std::unique_ptr<TVXFileBuffer> fmemmap;
  bool fUseDisk;
  int64_t fSize = 0;
  std::vector<std::unique_ptr<TImageInfo>> fImageInfo;
  std::vector<TImageInfo*> fToDiscardList;
  std::vector<TFreeBlock> fFreeBlocks;
  int64_t fInsPos = 0;
  int64_t fAllocationBlock = 262144;
  int32_t fMaxImagesInMemory = 10;
  int32_t fImagesInMemory = 0;
  std::vector<TBmpToRelease> fBmpToRelease;
  int64_t fLastVImageSize = 0;
  std::string fDescriptor;
  std::recursive_mutex fLock;
};

// Copies a rectangle between a platform bitmap's rows and a buffer of
// bottom-up rows of RowLength bytes: buffer row dataRow + k pairs with bitmap
// row ySrc + rows - 1 - k. direction 0 copies buffer to bitmap, 1 bitmap to
// buffer. 1-bit bitmaps copy runs of cols bits between bit offsets xSrc and
// dataCol (into a 24-bit buffer each bit becomes a TRGB of 0 or 255), 8-bit
// bitmaps cols bytes, 24-bit bitmaps 3 x cols bytes; other formats nothing.
// Nothing either when the rectangle leaves the bitmap or the buffer's row.
void VXCopyTBitmapRect(void* data, int64_t rowLength, int32_t bitsPerPixel, int32_t direction, int32_t rows,
                       int32_t cols, int32_t ySrc, int32_t xSrc, int32_t dataRow, int32_t dataCol, TBitmap* bitmap);
