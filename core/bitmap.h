#pragma once
// TVXBaseBitmap, the abstract bitmap, and TVXBitmap, the image buffer of the
// library: its storage (one aligned memory block, memory fragments, a
// temporary file), row access and virtual rows, the alpha channel and the raw
// dump.
//
// Implementation files:
//   core/bitmap.cpp          construction, storage, size, location, whole-image copies
//   core/bitmap_rows.cpp     row access, origin, virtual rows
//   core/bitmap_alpha.cpp    alpha channel
//   core/bitmap_rawdump.cpp  raw dump "TVXBITMAPRAW"
//   core/bitmap_copy.cpp     copying between bitmaps
//   core/bitmap_pixels.cpp   pixel access, palette accessors and fills
//   core/convert.cpp         pixel-format conversion
//   core/bitmap_services.cpp flip, rotation, resampling, image tests, hash
//   core/bitmap_io.cpp       reading and writing through the I/O component

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/blend.h"
#include "core/pixels.h"
#include "core/vxdefs.h"
#include "platform/win_geometry.h"
#include "platform/win_memory.h"
#include "platform/win_resource.h"

class TVXBitmap;
class TVXFileBuffer;
class TVXICC;
class TVXMask;
class TVXVisionImage;
class TStream;
class TIOParamsVals;
class TBitmap;
class TCanvas;
class TVXDibbitmap;
class TVXCanvas;

// ---------------------------------------------------------------------------
// The abstract bitmap that every bitmap class implements.

class TVXBaseBitmap {
 public:
  TVXBaseBitmap() = default;
  virtual ~TVXBaseBitmap() = default;
  TVXBaseBitmap(const TVXBaseBitmap&) = delete;
  TVXBaseBitmap& operator=(const TVXBaseBitmap&) = delete;

  // Address of the first byte of row Row.
  virtual void* GetScanLine(int32_t Row) const = 0;
  virtual int32_t GetBitCount() const = 0;
  virtual int32_t GetHeight() const = 0;
  virtual int32_t GetWidth() const = 0;
  virtual void SetWidth(int32_t Value) = 0;
  virtual void SetHeight(int32_t Value) = 0;
  virtual TVXPixelFormat GetPixelFormat() const = 0;
  virtual int64_t GetRowLen() const = 0;
  // The palette's first entry, or nullptr.
  virtual TRGB* GetPaletteBuffer() const = 0;
  virtual TRGB GetPalette(int32_t index) const = 0;
  virtual void SetPalette(int32_t index, TRGB Value) = 0;
  // Entries in the palette buffer.
  virtual int32_t GetPaletteLength() const = 0;
  // Entries that carry colours.
  virtual int32_t GetPaletteUsed() const = 0;
  virtual void SetPaletteUsed(int32_t Value) = 0;
  // Gives the bitmap this size and format; false on failure.
  virtual bool Allocate(int32_t ImageWidth, int32_t ImageHeight, TVXPixelFormat ImagePixelFormat) = 0;
  // Copies an image of a class the bitmap knows (other classes are ignored).
  virtual void Assign(TVXBaseBitmap* Source) = 0;
  // Copies pixels and palette.
  virtual void AssignImage(TVXBaseBitmap* Source) = 0;
  // Gives Dest a copy of the palette.
  virtual void CopyPaletteTo(TVXBaseBitmap* Dest) = 0;

  // Properties.
  int32_t BitCount() const { return GetBitCount(); }
  int32_t Width() const { return GetWidth(); }
  int32_t Height() const { return GetHeight(); }
  TVXPixelFormat PixelFormat() const { return GetPixelFormat(); }
  int64_t RowLen() const { return GetRowLen(); }
  TRGB* PaletteBuffer() const { return GetPaletteBuffer(); }
  TRGB Palette(int32_t index) const { return GetPalette(index); }
  int32_t PaletteLength() const { return GetPaletteLength(); }
  int32_t PaletteUsed() const { return GetPaletteUsed(); }
  void* Scanline(int32_t Row) const { return GetScanLine(Row); }
  TVXDataAccess Access() const { return fAccess; }
  void SetAccess(TVXDataAccess Value) { fAccess = Value; }

 protected:
  TVXDataAccess fAccess = vxdRead | vxdWrite;
};

// ---------------------------------------------------------------------------
// Supplies the rows of a virtual bitmap; the bitmap it is given to owns it.

class TVXVirtualBitmapProvider {
 public:
  virtual ~TVXVirtualBitmapProvider() = default;
  // Draws the container's image into the destination rows DestY1..DestY2,
  // columns DestX1..DestX2 (inclusive); SrcCols and SrcRows hold the source
  // column and row of each destination column and row from DestX1 and DestY1.
  virtual void Render(TVXBitmap* Container, int32_t DestWidth, int32_t DestHeight, uint8_t* const* DestScanlines,
                      int32_t DestX1, int32_t DestY1, int32_t DestX2, int32_t DestY2, const int32_t* SrcCols,
                      const int32_t* SrcRows, int32_t Transparency, TVXRenderOperation RenderOperation,
                      double Opacity) = 0;
  // Address of Width pixels of row Row from column Col, in the container's
  // pixel format.
  virtual void* GetSegment(TVXBitmap* Container, int32_t Row, int32_t Col, int32_t Width) = 0;
};

// ---------------------------------------------------------------------------
// The bitmap.

class TVXBitmap : public TVXBaseBitmap {
 public:
  // Computes one pixel of a virtual bitmap (the bitmap is then treated as
  // vx24RGB rows of TRGB).
  using TVXRenderVirtualPixel = std::function<void(TVXBitmap* Sender, int32_t SrcX, int32_t SrcY, TRGB& outval)>;

  // ---- construction (bitmap.cpp) ----
  // An empty bitmap: format vxnull, location vxFile (the size decides at
  // allocation), origin vxboBOTTOMLEFT, alignment 32.
  TVXBitmap();
  // Create, then Allocate.
  TVXBitmap(int32_t ImageWidth, int32_t ImageHeight, TVXPixelFormat ImagePixelFormat);
  // Create, then Assign(image).
  explicit TVXBitmap(TVXBitmap* image);
  // A copy of the rectangle Left..Right, Top..Bottom (corners included) of
  // image, with the same rectangle of its alpha channel and its palette.
  TVXBitmap(TVXBitmap* image, const TRect& Rect);
  // Create, then Read(FileName, IOParams) (bitmap_io.cpp).
  TVXBitmap(const std::string& FileName, TIOParamsVals* IOParams);
  // Create, then Read(Buffer, BufferSize, Format, nullptr) (bitmap_io.cpp).
  TVXBitmap(const void* Buffer, int32_t BufferSize, int32_t Format);
  ~TVXBitmap() override;
  // A new alpha channel: vx8g of the given size filled with 255, in
  // ImageLocation (vxTBitmap becomes vxMemory).
  static std::unique_ptr<TVXBitmap> CreateAsAlphaChannel(int32_t ImageWidth, int32_t ImageHeight, TVXLocation ImageLocation);

  // ---- slots of the base class (bitmap.cpp, bitmap_rows.cpp) ----
  void* GetScanLine(int32_t Row) const override;
  // In location vxTBitmap the platform bitmap is the master: these read its
  // size and format back first (UpdateFromTBitmap).
  int32_t GetBitCount() const override { return Synced()->fBitCount; }
  int32_t GetHeight() const override { return Synced()->fHeight; }
  int32_t GetWidth() const override { return Synced()->fWidth; }
  void SetWidth(int32_t Value) override;
  void SetHeight(int32_t Value) override;
  TVXPixelFormat GetPixelFormat() const override { return Synced()->fPixelFormat; }
  int64_t GetRowLen() const override { return Synced()->fRowLen; }
  // Gives the bitmap this size and format. Returns false, leaving a 0 x 0
  // bitmap, when the size is empty or overflows or no storage can be had.
  // New storage is zero-filled. Keeps the rows when size and format are
  // unchanged, unless storage changed behind its back since.
  bool Allocate(int32_t ImageWidth, int32_t ImageHeight, TVXPixelFormat ImagePixelFormat) override;
  // Copies image, alpha channel, palette and attributes of a TVXBitmap.
  void Assign(TVXBaseBitmap* Source) override;
  // Copies pixels, palette and colour profile of a TVXBitmap; keeps the alpha
  // channel, origin and levels; nothing for an empty source.
  void AssignImage(TVXBaseBitmap* Source) override;
  void CopyPaletteTo(TVXBaseBitmap* Dest) override;

  // ---- storage and size (bitmap.cpp) ----
  // Releases every storage and resets the size; format and location remain.
  void FreeImage(bool freeAlpha);
  // True when width, height, row length or bit count is 0.
  bool IsEmpty() const { return fWidth <= 0 || fHeight <= 0 || fRowLen <= 0 || fBitCount <= 0; }
  // Changes the size without scaling, keeping the content aligned as asked
  // and filling new areas with BackgroundValue (the alpha channel with
  // AlphaValue).
  void Resize(int32_t NewWidth, int32_t NewHeight, double BackgroundValue, int32_t AlphaValue, TVXHAlign HorizAlign,
              TVXVAlign VertAlign);
  int32_t BitAlignment() const { return fBitAlignment; }
  // Re-lays the rows at the new alignment (an empty bitmap only records it).
  void SetBitAlignment(int32_t Value);
  // Converts the pixels to Value (a virtual bitmap only takes the value).
  void SetPixelFormat(TVXPixelFormat Value);
  // True when AllowedFormats is empty or holds the format; otherwise, with
  // AutoConvert, converts to the first accepted fallback format.
  bool CheckFormat(TVXPixelFormatSet AllowedFormats, bool AutoConvert);
  TVXLocation Location() const { return fLocation; }
  // Moves the rows to another location (the size still decides between
  // memory and file). vxTBitmap raises EVXException until the platform
  // bitmap location is available.
  void SetLocation(TVXLocation Value);
  int64_t MinFileSize() const { return fMinFileSize; }
  void SetMinFileSize(int64_t Value) { fMinFileSize = Value; }
  TVXMemoryAllocator MemoryAllocator() const { return fMemoryAllocator; }
  // Must not change while the bitmap holds a memory block.
  void SetMemoryAllocator(TVXMemoryAllocator Value) { fMemoryAllocator = Value; }
  int32_t FragmentsCount() const { return fFragmentsCount; }
  // Moves this bitmap's image into Target and leaves this bitmap empty.
  void SwitchTo(TVXBitmap* Target);
  // Makes the caller's memory the storage (the caller keeps ownership).
  void EncapsulateMemory(void* mem, int32_t bmpWidth, int32_t bmpHeight, TVXPixelFormat bmpPixelFormat, bool DoFreeImage,
                         TVXBitmapOrigin Origin);
  // Allocates at the source's size and format and copies SrcRowLen bytes of
  // every row (rows SrcRowLen apart, ordered by SrcOrigin). False when the
  // allocation fails or SrcRowLen exceeds the row length.
  bool CopyFromMemory(const void* SrcBuffer, int32_t SrcWidth, int32_t SrcHeight, TVXPixelFormat SrcPixelFormat,
                      TVXBitmapOrigin SrcOrigin, int64_t SrcRowLen);

  // ---- attributes (bitmap.cpp) ----
  bool EncapsulatedFromTBitmap() const { return fEncapsulatedFromTBitmap; }
  bool EncapsulatedFromMemory() const { return fEncapsulatedFromMemory; }
  bool Full() const { return fFull; }
  void SetFull(bool Value) { fFull = Value; }
  int64_t Rowlen() const { return Synced()->fRowLen; }
  int32_t ChannelCount() const { return Synced()->fChannelCount; }
  TVXDitherMethod DefaultDitherMethod() const { return fDefaultDitherMethod; }
  void SetDefaultDitherMethod(TVXDitherMethod Value) { fDefaultDitherMethod = Value; }
  double BlackValue() const { return fBlackValue; }
  void SetBlackValue(double Value) { fBlackValue = Value; }
  double WhiteValue() const { return fWhiteValue; }
  void SetWhiteValue(double Value) { fWhiteValue = Value; }
  int32_t Contrast() const { return fContrast; }
  void SetContrast(int32_t Value) { fContrast = Value; }
  intptr_t UndoInfo() const { return fUndoInfo; }
  void SetUndoInfo(intptr_t Value) { fUndoInfo = Value; }
  // Per-channel display offsets, idx 0 to 3 (0 outside). The write sets the
  // enable flag to whether any offset is not 0.
  int32_t ChannelOffset(int32_t idx) const { return (idx >= 0 && idx < 4) ? fChannelOffset[idx] : 0; }
  void SetChannelOffset(int32_t idx, int32_t Value);
  bool EnableChannelOffset() const { return fEnableChannelOffset; }
  void SetEnableChannelOffset(bool Value) { fEnableChannelOffset = Value; }
  // The image's colour profile (empty at creation).
  TVXICC* ColorProfile() const { return fColorProfile.get(); }
  // The profile to render into: sRGB unless changed. Loaded on the first
  // call (loading a profile is costly and most bitmaps never render).
  TVXICC* RenderColorProfile();
  int32_t CanvasCurrentAlpha() const { return fCanvasCurrentAlpha; }
  // Limits the level operations to a selection; created empty on first read.
  TVXMask* AdjustmentsMask();
  bool HasAdjustmentsMask() const { return fAdjustmentsMask != nullptr; }

  // ---- row access and virtual rows (bitmap_rows.cpp) ----
  // Row 0 is the top row. For a vxFile bitmap the address stays valid only
  // until the next GetScanLine or GetRow on the bitmap; for memory bitmaps it
  // is pure arithmetic and any number of threads may call it at once.
  void* ScanLine(int32_t Row) const { return GetScanLine(Row); }
  // Like GetScanLine, but a file row stays mapped until FreeRow.
  void* GetRow(int32_t Row) const;
  void FreeRow(int32_t Row) const;
  // Address of Width pixels of row Row from column Col (for vx1g the row's
  // start).
  void* GetSegment(int32_t Row, int32_t Col, int32_t Width) const;
  // The memory block's first row address (nullptr for fragments and files);
  // for a platform bitmap the lowest address of its bottom-up pixel block.
  void* Memory() const;
  TVXBitmapOrigin Origin() const { return fOrigin; }
  // Reverses the storage order keeping the image as callers see it.
  void SetOrigin(TVXBitmapOrigin Value);
  bool IsVirtual() const { return bool(OnRenderVirtualPixel) || fVirtualBitmapProvider != nullptr; }
  // Makes the bitmap virtual (assign an empty function to clear).
  TVXRenderVirtualPixel OnRenderVirtualPixel;
  TVXVirtualBitmapProvider* VirtualBitmapProvider() const { return fVirtualBitmapProvider.get(); }
  // Takes ownership; frees the previous provider when Value is another one.
  void SetVirtualBitmapProvider(TVXVirtualBitmapProvider* Value);

  // ---- alpha channel (bitmap_alpha.cpp) ----
  // The alpha channel, created (vx8g, all 255) on first read; nullptr on a
  // bitmap that is itself an alpha channel.
  TVXBitmap* AlphaChannel();
  // Stores Value as the channel (marking it as alpha) and hands back the
  // previous channel to the caller.
  [[nodiscard]] std::unique_ptr<TVXBitmap> SetAlphaChannel(std::unique_ptr<TVXBitmap> Value);
  TVXBitmap* AlphaChannelOpt() const { return fAlphaChannel.get(); }
  bool HasAlphaChannel() const { return fAlphaChannel != nullptr; }
  bool IsAlpha() const { return fIsAlpha; }
  // Frees the channel; with Merge a vx24RGB image is first blended toward
  // BackgroundColor (a colour value, red in the low byte; negative values
  // name a system colour).
  void RemoveAlphaChannel(bool Merge, int32_t BackgroundColor);
  // Full := every pixel byte (padding excluded) is 255.
  void SyncFull();
  void FeatherAlphaEdges(int32_t iFeatherDepth);
  // vx32RGB only: fourth bytes to the alpha channel (true) or back (false).
  void SynchronizeRGBA(bool RGBAtoAlpha);

  // ---- platform bitmap location (bitmap_tbitmap.cpp) ----
  // A copy of the rectangle (corners included) of a platform bitmap, in the
  // bitmap's own format.
  TVXBitmap(TBitmap* image, const TRect& Rect);
  // The platform bitmap, the bitmap moved to vxTBitmap first; its canvas
  // follows the origin (AdjustCanvasOrientation).
  TBitmap* VclBitmap();
  // Stores a platform bitmap without further work (the bitmap owns it unless
  // it is encapsulated).
  void SetVclBitmap(TBitmap* Value);
  // The platform bitmap's canvas, the bitmap moved to vxTBitmap first.
  TCanvas* Canvas();
  // Reads size and format back from the platform bitmap (vxTBitmap only).
  void UpdateFromTBitmap();
  // With origin vxboTOPLEFT the platform canvas draws flipped, so that a
  // shape at y lands on row y as GetScanLine sees it; otherwise identity.
  void AdjustCanvasOrientation();
  // The grey level the canvas draws with on an alpha channel: the first
  // write turns the bitmap into a vx8g platform bitmap; -1 leaves the pen
  // and brush alone.
  void SetCanvasCurrentAlpha(int32_t Value);
  // The cached row addresses of the platform bitmap (row i = its scan line i).
  const std::vector<uint8_t*>& TBitmapScanlines() const { return fBitmapScanlines; }
  // Makes the caller's platform bitmap (pf1bit, pf8bit, pf24bit, pf32bit)
  // the storage; the caller keeps ownership. Other formats raise.
  void EncapsulateTBitmap(TBitmap* obj, bool DoFreeImage);
  // Dest becomes a copy of this bitmap (vxCMYK, vx48RGB, vxCIELab raise
  // and leave Dest 1 x 1).
  void CopyToTBitmap(TBitmap* Dest);
  // This bitmap becomes a copy of a platform bitmap (the caller's bitmap is
  // never changed).
  void CopyFromTBitmap(TBitmap* Source);
  // Draws into a 24-bit platform bitmap through RenderToTVXBitmap.
  void RenderToTBitmap(TBitmap* ABitmap, uint8_t**& ABitmapScanline, int32_t*& XLUT, int32_t*& YLUT,
                       const TRect* UpdRect, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xSrc,
                       int32_t ySrc, int32_t dxSrc, int32_t dySrc, bool EnableAlpha, bool SolidBackground,
                       int32_t Transparency, TResampleFilter Filter, bool FreeTables,
                       TVXRenderOperation RenderOperation, double Opacity);
  void RenderToTBitmapEx(TBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xSrc,
                         int32_t ySrc, int32_t dxSrc, int32_t dySrc, bool bEnableAlpha, int32_t Transparency,
                         TResampleFilter Filter, TVXRenderOperation RenderOperation, double Opacity);
  void RenderToTBitmapEx(TBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xSrc,
                         int32_t ySrc, int32_t dxSrc, int32_t dySrc, int32_t Transparency, TResampleFilter Filter,
                         TVXRenderOperation RenderOperation, double Opacity);
  // Blends the bitmap (with its alpha channel) over the canvas area at
  // (xDst, yDst) of dxDst x dyDst.
  void RenderToCanvasWithAlpha(TCanvas* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xSrc,
                               int32_t ySrc, int32_t dxSrc, int32_t dySrc, int32_t Transparency,
                               TResampleFilter Filter, TVXRenderOperation RenderOperation, double Opacity);
  // The whole bitmap at natural size.
  void DrawToCanvasWithAlpha(TCanvas* DestCanvas, int32_t xDst, int32_t yDst, int32_t Transparency, double Opacity);
  // The whole bitmap stretched onto the canvas rectangle (a printer's above
  // all) through DIBs: without filter in one DIB, otherwise resampled and
  // drawn in strips that keep each DIB below 40 MiB and a quarter of
  // MinFileSize. Gamma 1, 0 or below is none. False when a strip's DIB (or
  // the resampled copy) could not be had; that strip is left out.
  // (bitmap_print.cpp)
  bool RenderToCanvas(TCanvas* DestCanvas, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                      TResampleFilter Filter, double Gamma);
  // At natural size, no filter, no gamma.
  void DrawToCanvas(TCanvas* DestCanvas, int32_t xDst, int32_t yDst);

  // ---- drawing canvas and regions of interest (bitmap_roi.cpp) ----
  // A canvas over Canvas(), anti-aliased and through GDI+ when enabled, made
  // on first use. The bitmap owns it and frees it whenever its storage
  // changes (size, format, pixel memory, location).
  TVXCanvas* VXCanvas();
  // A bitmap of the rectangle (corners included, in any order) that merges
  // back into this one when freed: with PerformAlphaCompositing a vx32RGB
  // bitmap of transparent black, blended in through its fourth bytes;
  // otherwise a copy of the rectangle (alpha channel included), converted to
  // ROIPixelFormat unless that is vxnull, copied back with its alpha. Freeing
  // this bitmap first detaches it: it then merges nothing.
  std::unique_ptr<TVXBitmap> CreateROIBitmap(TRect Rect, TVXPixelFormat ROIPixelFormat, bool PerformAlphaCompositing);
  // A canvas over a region-of-interest bitmap of the rectangle (vx24RGB, or
  // the transparent vx32RGB one with PerformAlphaCompositing when the canvas
  // draws through GDI+, with source-copy compositing), translated so that the
  // caller draws in this bitmap's coordinates. Freeing the canvas frees its bitmap, which
  // merges what was drawn.
  std::unique_ptr<TVXCanvas> CreateROICanvas(TRect Rect, bool AntiAlias, bool UseGDIPlus, bool PerformAlphaCompositing);
  // The bitmap a region-of-interest bitmap came from (nullptr when none or
  // when that one was freed first).
  TVXBitmap* ROIOriginalBitmap() const { return fROIOriginalBitmap; }

  // ---- DIB sections and packed DIBs (dibbitmap.cpp) ----
  // This bitmap becomes a copy of a DIB section (1 bit: vx1g, 8: vx8g,
  // 24: vx24RGB; other depths copy nothing).
  void CopyFromTDibBitmap(TVXDibbitmap* Source);
  // Pastes a DIB section at (x, y), clipped to both; a section whose depth
  // does not match the format (1: vx1g, 24: vx24RGB) copies nothing.
  void MergeFromTDibBitmap(TVXDibbitmap* Source, int32_t x, int32_t y);
  // Copies the rectangle to the top-left corner of a DIB section, clipped to
  // both; nothing for a mismatched format.
  void CopyToTDibBitmap(TVXDibbitmap* Dest, int32_t source_x, int32_t source_y, int32_t sourceWidth,
                        int32_t sourceHeight);
  // Loads a packed DIB (a global block; or a header and its pixels).
  void CopyFromDIB(HGLOBAL Source);
  void CopyFromDIB(const void* BitmapInfo, const void* Pixels);
  // A packed DIB of the whole bitmap (or of x1..x2-1, y1..y2-1) at the
  // settings' default resolution; the caller frees it.
  HGLOBAL CreateDIB();
  HGLOBAL CreateDIB(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

  // ---- raw dump "TVXBITMAPRAW" (bitmap_rawdump.cpp) ----
  // Size in bytes of the dump of this bitmap.
  int64_t CalcRAWSize() const;
  // Writes the dump to Buffer (which holds CalcRAWSize bytes) or, when Buffer
  // is nullptr, to Stream at its position.
  void SaveRAWToBufferOrStream(void* Buffer, TStream* Stream, bool StreamHasSize);
  // Reads a dump from Buffer (BufferSize bytes; a negative size means the
  // caller vouches for the buffer) or, when Buffer is nullptr, from Stream.
  // False on a damaged or truncated dump: a wrong magic or version leaves
  // the bitmap unchanged, any later fault leaves it empty.
  bool LoadRAWFromBufferOrStream(const void* Buffer, TStream* Stream, int64_t BufferSize = -1);

  // ---- copying between bitmaps (bitmap_copy.cpp) ----
  // Copies a clipped rectangle of this bitmap into Dest at (DstX, DstY).
  void CopyRectTo(TVXBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t RectWidth,
                  int32_t RectHeight);
  // Merges the alpha channel into Dest's over the same clipped rectangle,
  // keeping the larger value.
  void MergeAlphaRectTo(TVXBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t RectWidth,
                        int32_t RectHeight);
  void CopyFromTVXMask(TVXMask* Source);
  // Dest becomes the mask's bounding box in this format (a vx8p palette
  // comes along), filled with Background (a colour value, as Fill takes it),
  // and receives the selected pixels and their alpha through the mask.
  // Nothing for an empty mask.
  void CopyWithMask1(TVXBitmap* Dest, TVXMask* SourceMask, int32_t Background);
  // The same, with the box copied from this bitmap instead of the fill.
  void CopyWithMask1(TVXBitmap* Dest, TVXMask* SourceMask);
  // This bitmap holds the box of DestMask: writes its selected pixels back
  // into Dest through the mask (an 8-bit mask blends), and its alpha channel
  // into Dest's alpha channel, which is then no longer Full.
  void CopyWithMask2(TVXBitmap* Dest, TVXMask* DestMask);
  // Copies the rectangle (x1, y1)-(x2, y2), corners included, to (DstX, DstY)
  // through a temporary; with FillSource the rectangle is first filled with
  // BackgroundValue. Clipped to the image; the alpha channel is not moved.
  void MoveRegion(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t DstX, int32_t DstY, double BackgroundValue,
                  bool FillSource);
  void CopyToTVXMask(TVXMask* Dest);

  // ---- pixel access and fills (bitmap_pixels.cpp) ----
  // Typed accessors read and write one pixel without conversion; Pixels
  // converts from and to a colour. Coordinates outside the bitmap read 0 and
  // are ignored on write.
  TRGB* GetPaletteBuffer() const override;
  TRGB GetPalette(int32_t index) const override;
  void SetPalette(int32_t index, TRGB Value) override;
  int32_t GetPaletteLength() const override;
  int32_t GetPaletteUsed() const override;
  void SetPaletteUsed(int32_t Value) override;
  bool Pixels_vx1g(int32_t x, int32_t y) const;
  void SetPixels_vx1g(int32_t x, int32_t y, bool Value);
  uint8_t Pixels_vx8(int32_t x, int32_t y) const;
  void SetPixels_vx8(int32_t x, int32_t y, uint8_t Value);
  uint16_t Pixels_vx16g(int32_t x, int32_t y) const;
  void SetPixels_vx16g(int32_t x, int32_t y, uint16_t Value);
  float Pixels_vx32f(int32_t x, int32_t y) const;
  void SetPixels_vx32f(int32_t x, int32_t y, float Value);
  TCMYK Pixels_vxCMYK(int32_t x, int32_t y) const;
  void SetPixels_vxCMYK(int32_t x, int32_t y, TCMYK Value);
  TCIELab Pixels_vxCIELab(int32_t x, int32_t y) const;
  void SetPixels_vxCIELab(int32_t x, int32_t y, TCIELab Value);
  TRGB Pixels_vx24RGB(int32_t x, int32_t y) const;
  void SetPixels_vx24RGB(int32_t x, int32_t y, TRGB Value);
  TRGBA Pixels_vx32RGB(int32_t x, int32_t y) const;
  void SetPixels_vx32RGB(int32_t x, int32_t y, TRGBA Value);
  TRGB48 Pixels_vx48RGB(int32_t x, int32_t y) const;
  void SetPixels_vx48RGB(int32_t x, int32_t y, TRGB48 Value);
  PRGB PPixels_vx24RGB(int32_t x, int32_t y) const;
  PRGBA PPixels_vx32RGB(int32_t x, int32_t y) const;
  PRGB48 PPixels_vx48RGB(int32_t x, int32_t y) const;
  TRGB Pixels(int32_t x, int32_t y) const;
  void SetPixels(int32_t x, int32_t y, TRGB Value);
  uint8_t Alpha(int32_t x, int32_t y);
  void SetAlpha(int32_t x, int32_t y, uint8_t Value);
  void Fill(double Value);
  void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double Value);

  // ---- pixel-format conversion (convert.cpp) ----
  // Writes Source's pixels, converted, into this bitmap (same size, own format).
  void CopyAndConvertFormat(TVXBitmap* Source);

  // ---- merge with alpha (bitmap_merge.cpp) ----
  // Draws Bitmap (vx24RGB or vx32RGB) over this vx24RGB bitmap at (DstX, DstY)
  // by Operation and composites the alpha channels. DstWidth and DstHeight
  // -1 mean Bitmap's size; with Resample Bitmap is first resampled to that
  // size. SrcX and SrcY move the start in the source.
  void MergeWithAlpha(TVXBitmap* Bitmap, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                      int32_t Transparency, TResampleFilter ResampleFilter, TVXRenderOperation Operation,
                      bool Resample, int32_t SrcX, int32_t SrcY, double Opacity);

  // ---- rendering into a 24-bit bitmap (bitmap_render.cpp) ----
  // Draws the source rectangle (xSrc, ySrc, dxSrc, dySrc) of this bitmap into
  // the rectangle (xDst, yDst, dxDst, dyDst) of ABitmap, which must be a
  // vx24RGB bitmap held in memory (EVXException otherwise). The destination
  // is clipped to ABitmap and to UpdRect (inclusive; nullptr for none).
  // ABitmapScanline (destination row addresses), XLUT and YLUT (source column
  // of each destination column from xDst, source row of each destination row
  // from yDst) are used when given; when nullptr the call builds them and
  // frees them (FreeTables) or hands them back (free with delete[]); a
  // handed-back table starts at the first drawn column or row. Entries of a
  // caller's table outside the source leave their column or row untouched.
  // Transparency 0..255 and Opacity 0..1 weight the source, with its alpha
  // channel when EnableAlpha; SolidBackground lets rows showing the same
  // source row be copied. A Filter other than rfNone resamples first when the
  // sizes differ.
  void RenderToTVXBitmap(TVXBitmap* ABitmap, uint8_t**& ABitmapScanline, int32_t*& XLUT, int32_t*& YLUT,
                         const TRect* UpdRect, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xSrc,
                         int32_t ySrc, int32_t dxSrc, int32_t dySrc, bool EnableAlpha, bool SolidBackground,
                         int32_t Transparency, TResampleFilter Filter, bool FreeTables,
                         TVXRenderOperation RenderOperation, double Opacity);
  // RenderToTVXBitmap with its own tables, no update rectangle and no solid
  // background.
  void RenderToTVXBitmapEx(TVXBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xSrc,
                           int32_t ySrc, int32_t dxSrc, int32_t dySrc, bool bEnableAlpha, int32_t Transparency,
                           TResampleFilter Filter, TVXRenderOperation RenderOperation, double Opacity);
  // The whole bitmap at natural size.
  void DrawToTVXBitmap(TVXBitmap* Dest, int32_t XDest, int32_t YDest);
  // SrcRect at natural size (cut to the bitmap's size).
  void DrawToTVXBitmap(TVXBitmap* Dest, int32_t XDest, int32_t YDest, const TVXRectangle& SrcRect);
  // SrcRect stretched into DestRect.
  void DrawToTVXBitmap(TVXBitmap* Dest, const TVXRectangle& DestRect, const TVXRectangle& SrcRect,
                       TResampleFilter Filter);

  // ---- stretching into a layer (bitmap_stretch.cpp) ----
  // Copies the source rectangle of this vx24RGB or vx1g bitmap into the
  // rectangle of the vx24RGB Dest, replacing the colour there, and writes the
  // weights (source alpha, Transparency, Opacity) into Dest's alpha channel.
  // Other source formats write only the alpha. The source rectangle is
  // clipped to this bitmap, the destination one shrinking in proportion.
  void StretchRectTo(TVXBitmap* Dest, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, int32_t xSrc,
                     int32_t ySrc, int32_t dxSrc, int32_t dySrc, TResampleFilter Filter, int32_t Transparency,
                     double Opacity);

  // ---- flip, rotation, resampling, image tests and hash (bitmap_services.cpp) ----
  // Mirrors the image and its alpha channel (VXFlipBitmap).
  void Flip(TFlipDir Dir);
  // RotateEx without progress; the older form with vxrNone when AntiAlias is
  // false.
  void Rotate(double Angle, TVXAntialiasMode AntiAliasMode, TColor BackgroundColor);
  void Rotate(double Angle, bool AntiAlias, TVXAntialiasMode AntiAliasMode, TColor BackgroundColor);
  // Rotates by Angle degrees (counter-clockwise), uncovered pixels taking
  // BackgroundColor: nearest pixel for vxrNone and for formats other than
  // vx24RGB and vx1g, three shears for vxrFast, whole multiples of 90 and
  // vx1g, else the bilinear or bicubic renderer. The alpha channel is turned
  // alongside, uncovered parts transparent.
  void RotateEx(double Angle, TVXAntialiasMode AntialiasMode, TColor BackgroundColor,
                const TVXProgressEvent& OnProgress, void* Sender);
  // Resamples to the size of VXCalcResampleSize through the processing
  // library (EVXException when it has not been started); nothing when empty
  // or already NewWidth x NewHeight.
  void Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter FilterType, bool bMaintainAspectRatio);
  // Every pixel byte of every row (padding excluded) is 0.
  bool IsAllBlack();
  // vx8p: every palette entry, used or not, is grey; vx24RGB, vx32RGB,
  // vx48RGB: every pixel; other formats and an empty image: true.
  bool IsGrayScale();
  // The lower-case hexadecimal digest (algorithm a CALG_ id of
  // core/streams.h) of the rows from the last to the first, RowLen bytes
  // each, padding included, then for vx8p the palette.
  std::string GetHash(uint32_t algorithm);

  // ---- reading and writing through the I/O component (bitmap_io.cpp) ----
  // A TVexlaneIO on this bitmap loads or saves it; IOParams (may be nullptr)
  // is copied into the component's parameters first and, after a read, the
  // parameters are copied back. True unless the component set Aborting.
  // Without the I/O library linked they raise EVXException.
  bool Read(const std::string& FileName, TIOParamsVals* IOParams = nullptr);
  bool Read(TStream* Stream, int32_t FileType, TIOParamsVals* IOParams = nullptr);
  bool Read(const void* Buffer, int32_t BufferSize, int32_t FileType, TIOParamsVals* IOParams = nullptr);
  // Without IOParams the bits per sample and samples per pixel follow the
  // pixel format (vx8g also asks for grey JPEG). The type comes from the
  // file name's extension.
  bool Write(const std::string& FileName, TIOParamsVals* IOParams = nullptr);
  bool Write(TStream* Stream, int32_t FileType, TIOParamsVals* IOParams = nullptr);
  // Reads a resource of a module (nullptr: the program itself) as Format
  // (0: by the content). A missing resource raises EVXException
  // "Resource <name> not found" (a number as "#" and its decimal digits).
  void LoadFromResource(HMODULE Instance, const std::string& ResName, const TResName& ResType, int32_t Format);
  void LoadFromResource(HMODULE Instance, int32_t ResID, const TResName& ResType, int32_t Format);

  // ---- exchange with the vision library (bitmap_vision.cpp) ----
  // An image of the vision library over this bitmap's pixels, with the alpha
  // channel as its alpha image; nullptr without a library or for a format the
  // library cannot take. Converts vx8p to vx24RGB and turns the rows
  // top-down in one memory block first (EVXException when they cannot be had
  // in one block). The caller releases the image and leaves the bitmap
  // unchanged while the image is in use.
  TVXVisionImage* GetVXVisionImage();
  // Replaces image and alpha channel (on an alpha channel only the image) by
  // Source's. EVXException, the bitmap unchanged, when a call into the
  // library fails, the type has no pixel format or the size exceeds the
  // pixel limit.
  void AssignVXVisionImage(TVXVisionImage* Source);

  // ---- display levels (bitmap_levels.cpp) ----
  // BlackValue and WhiteValue := the smallest and largest sample (vx8g,
  // vx16g, vx24RGB, vx32f).
  void AutoCalcBWValues();
  // Bakes the black and white points into the pixels (inside the adjustments
  // mask when there is one) and resets both to 0.
  void StretchValues();
  // Bakes Contrast into vx24RGB, vx32RGB and vx48RGB pixels; Contrast := 0.
  void FixContrast();
  // Bakes the channel offsets into vx24RGB, vx32RGB and vx48RGB pixels; the
  // four offsets := 0.
  void FixChannelOffset();

  // ---- row renderers (bitmap_render_rows.cpp) ----
  // Each draws the clipped destination area x1..x2, y1..y2 (inclusive) of the
  // vx24RGB destination whose row addresses are DestRows. XLUT[k] is the
  // source column of destination column x1 + k and YLUT[k] the source row of
  // destination row y1 + k; xRatio and yRatio are source / destination with
  // 14 fractional bits. The weighting members mix by the per-pixel weight
  // Trunc(Min(Transparency, alpha) * Opacity), alpha being the source alpha
  // channel when UseAlpha, else AlphaRow[source column].
  virtual void RenderRowsRGB24(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                               int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                               int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                               TVXRenderOperation RenderOperation);
  virtual void BlendRowsRGB24(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                              const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                              int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                              int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                              TVXRenderOperation RenderOperation, double Opacity);
  virtual void RenderRowsRGB32(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                               int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                               int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                               TVXRenderOperation RenderOperation);
  virtual void BlendRowsRGB32(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                              const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                              int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                              int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                              TVXRenderOperation RenderOperation, double Opacity);
  virtual void RenderRowsGray1(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                               int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                               int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground);
  virtual void BlendRowsGray1(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                              const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                              int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                              int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground, double Opacity);
  virtual void RenderRowsGray8(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                               int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                               int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground);
  virtual void BlendRowsGray8(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                              const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                              int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                              int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground, double Opacity);
  virtual void RenderRowsPalette8(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                                  int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                                  int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground);
  virtual void BlendRowsPalette8(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                                 const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                                 int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                                 int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground, double Opacity);
  virtual void RenderRowsGray16(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                                int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                                int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground);
  virtual void BlendRowsGray16(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                               const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                               int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                               int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground, double Opacity);
  virtual void RenderRowsFloat32(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                                 int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                                 int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground);
  virtual void BlendRowsFloat32(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                                const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                                int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                                int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground, double Opacity);
  virtual void RenderRowsCMYK(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                              int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                              int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground);
  virtual void BlendRowsCMYK(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                             const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                             int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground, double Opacity);
  virtual void RenderRowsCIELab(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                                int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                                int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground);
  virtual void BlendRowsCIELab(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                               const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                               int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                               int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground, double Opacity);
  virtual void RenderRowsRGB48(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                               int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                               int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                               TVXRenderOperation RenderOperation);
  virtual void BlendRowsRGB48(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                              const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                              int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                              int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                              TVXRenderOperation RenderOperation, double Opacity);
  virtual void RenderRowsVirtual(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                                 int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                                 int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                                 TVXRenderOperation RenderOperation);
  virtual void BlendRowsVirtual(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                                const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                                int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                                int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                                TVXRenderOperation RenderOperation, double Opacity);

 private:
  // Changes the format of this bitmap in place (called by SetPixelFormat).
  void ConvertFormatInPlace(TVXPixelFormat NewFormat);
  // ---- end of the sections of other files ----

 private:
  bool AllocateInternal();
  bool AllocateMemoryBlock(int64_t Size);
  bool AllocateFragments();
  bool AllocateFileStore(int64_t Size);
  void FreeFragments();
  void FreeMemoryBlock();
  void ReleaseStorage(bool KeepEncapsulatedTBitmap = false);
  void ReleaseForCopy(bool freeAlpha);
  void MoveFieldsTo(TVXBitmap* Target);
  void UnMapRows() const;
  int32_t StorageRow(int32_t Row) const { return fOrigin == vxboTOPLEFT ? fHeight - 1 - Row : Row; }
  uint8_t* StoredRowAddress(int32_t StoredRow) const;
  void* VirtualRow(int32_t Row, int32_t Col, int32_t Width) const;
  bool ReallocateKeeping(int32_t NewWidth, int32_t NewHeight, int32_t NewAlignment, TVXLocation NewLocation);
  void ChangeOneDimension(bool Width, int32_t Value);
  void CopyRowsFrom(TVXBitmap* Source);
  void CopyLevelsFrom(const TVXBitmap* Source);
  void FillAll(uint8_t Value);
  // Location vxTBitmap.
  const TVXBitmap* Synced() const {
    if (fLocation == vxTBitmap && fBitmap) const_cast<TVXBitmap*>(this)->UpdateFromTBitmap();
    return this;
  }
  bool AllocatePlatformBitmap();
  void RebuildScanlines();
  void FreePlatformBitmap();
  void PushPaletteToTBitmap();
  void FreeVXCanvas();
  void CommitROI();
  void MapToPaletteOf(TVXBitmap* Dest, int32_t DstX, int32_t DstY);
  void DetachROIBitmaps();
  bool ConvertPlatformFormat(TVXPixelFormat NewFormat);
  void SetFormatFields(TVXPixelFormat Format);

  // Storage.
  std::unique_ptr<TVXFileBuffer> fmemmap;  // file store of the rows (location vxFile)
  mutable void* fWorkingMap = nullptr;     // the file row mapped by GetScanLine
  std::unique_ptr<TRGB[]> fRGBPalette;
  int32_t fRGBPaletteLen = 0;
  int32_t fPaletteUsed = 256;
  std::unique_ptr<TVXBitmap> fAlphaChannel;
  uint8_t* fMemory = nullptr;     // 64-byte aligned first row of the block, or the caller's memory
  void* fRealMemory = nullptr;    // the block as allocated
  TVXMemoryAllocator fRealMemoryAllocator = vxmaAuto;  // how fRealMemory was obtained
  mutable std::vector<void*> fScanlinesToUnMapPtr;
  mutable std::vector<int32_t> fScanlinesToUnMapRow;
  TVXBitmapOrigin fOrigin = vxboBOTTOMLEFT;
  int32_t fWidth = 0;
  int32_t fHeight = 0;
  int32_t fBitCount = 0;
  int32_t fChannelCount = 0;
  int64_t fRowLen = 0;
  TVXPixelFormat fPixelFormat = vxnull;
  bool fIsAlpha = false;
  TVXLocation fLocation = vxFile;
  bool fFull = false;
  bool fEncapsulatedFromTBitmap = false;
  bool fEncapsulatedFromMemory = false;
  int64_t fMinFileSize = 0;
  TVXDitherMethod fDefaultDitherMethod = vxThreshold;
  std::unique_ptr<TVXICC> fColorProfile;
  std::unique_ptr<TVXICC> fRenderColorProfile;
  double fBlackValue = 0;
  double fWhiteValue = 0;
  int32_t fChannelOffset[4] = {0, 0, 0, 0};
  bool fEnableChannelOffset = false;
  int32_t fContrast = 0;
  std::unique_ptr<TVXMask> fAdjustmentsMask;
  int32_t fBitAlignment = 32;
  TVXMemoryAllocator fMemoryAllocator = vxmaAuto;
  bool fFullReallocate = true;
  intptr_t fUndoInfo = 0;
  int32_t fCanvasCurrentAlpha = -1;
  TBitmap* fBitmap = nullptr;                // the platform bitmap (vxTBitmap)
  std::vector<uint8_t*> fBitmapScanlines;  // its row addresses, row i = its scan line i
  std::unique_ptr<TVXCanvas> fVXCanvas;      // the drawing canvas over fBitmap's canvas
  TVXBitmap* fROIOriginalBitmap = nullptr;   // a region of interest: the bitmap it came from
  TRect fROIOriginalRect;                    // and where (corners included, ordered)
  bool fROIComposite = false;                // blended back through its fourth bytes
  std::vector<TVXBitmap*> fROIBitmaps;       // live regions of interest taken from this bitmap
  int32_t fFragmentsCount = 0;
  int32_t fRowsPerFragment = 0;
  std::vector<uint8_t*> fFragments;
  std::unique_ptr<TVXVirtualBitmapProvider> fVirtualBitmapProvider;
  mutable std::vector<uint8_t> fVirtualBitmapRowBuffer;
};

// ---------------------------------------------------------------------------
// Memory blocks.

// A block of Size bytes (plus a one-byte tag before the returned address),
// zero-filled; nullptr when it cannot be had or Size is negative.
void* VXAllocBlock(int64_t Size);
// Releases a block of VXAllocBlock and sets p to nullptr.
void VXFreeBlock(void*& p);
// Heap allocation that yields nullptr instead of raising.
void VXTryGetMem(void*& p, int64_t Size);
// Largest single block the bitmap storage obtains (memory blocks and each
// fragment); a larger request fails as if memory had run out. -1 (the
// default) sets no limit. Tests use it to reach the fragment and file
// fall-backs on a machine with ample memory.
void VXSetMaxMemoryBlock(int64_t Size);
int64_t VXMaxMemoryBlock();
