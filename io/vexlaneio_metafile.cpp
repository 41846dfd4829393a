// The I/O component's metafile operations: import at a size (with an alpha
// channel where the picture drew nothing), merge over the target, and the
// parameters-only reader.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/dibbitmap.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/streams.h"
#include "gui/graphics.h"
#include "gui/metafile.h"
#include "io/iothread.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kWMFFileType = 9, kEMFFileType = 10;
constexpr int32_t kMergeCap = 16000;
// Red 3, green 2, blue 1: the colour no picture is expected to draw.
constexpr COLORREF kKeyColor = 66051;

// Loads the metafile at the stream's position: its declared size must be
// there and be a size the library may hold. False for anything else.
bool LoadMeta(TStream* Stream, TMetafile& Meta) {
  uint8_t head[64] = {};
  int64_t start = Stream->Position();
  int64_t got = Stream->Read(head, sizeof head);
  if (got <= 0) return false;
  int64_t remaining = Stream->Size() - start;
  int64_t size = TMetafile::DeclaredSize(head, size_t(got), remaining);
  if (size < 18 || size > remaining || !VXStorageSizeAllowed(size)) return false;
  Stream->Seek(start, soBeginning);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (Stream->Read(bytes.data(), size) != size) return false;
  try {
    Meta.LoadFromBuffer(bytes.data(), bytes.size());
  } catch (const EInvalidGraphicOperation&) {
    return false;
  }
  return true;
}

bool LoadMetaFile(const std::string& FileName, TMetafile& Meta) {
  try {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadMeta(&file, Meta);
  } catch (const std::exception&) {
    return false;
  }
}

// The size a request gives a metafile of W x H (64-bit: no product
// overflows), then capped at Cap keeping the aspect ratio.
void MetaSize(int64_t& W, int64_t& H, int32_t Width, int32_t Height, int64_t Cap) {
  const int64_t mw = W, mh = H;
  if (Width > 0 || Height > 0) {
    if (Width >= 1 && Height >= 1) {
      W = Width;
      H = Height;
    } else if (Width < 0) {
      W = mh ? int64_t(Height) * mw / mh : 0;
      H = Height;
    } else if (Height < 0) {
      H = mw ? mh * int64_t(Width) / mw : 0;
      W = Width;
    }
  }
  if (Cap > 0 && (W > Cap || H > Cap)) {
    if (W < H) {
      W = H ? W * Cap / H : 0;
      H = Cap;
    } else {
      H = W ? H * Cap / W : 0;
      W = Cap;
    }
  }
}

void FillAndPlay(TVXDibbitmap& Dib, TMetafile* Meta, COLORREF Fill, bool Paint) {
  TCanvas canvas;
  canvas.SetHandle(Dib.GetHDC());
  if (Paint) {
    canvas.Brush()->SetStyle(bsSolid);
    canvas.Brush()->SetColor(TColor(Fill));
    canvas.FillRect(TRect{0, 0, Dib.Width(), Dib.Height()});
  }
  canvas.Draw(0, 0, Meta);
  canvas.SetHandle(nullptr);
}

}  // namespace

bool TVexlaneIO::ImportMetaFile(TMetafile* meta, int32_t Width, int32_t Height, bool WithAlpha) {
  fAborting = false;
  if (!meta || meta->Width() == 0 || meta->Height() == 0) {
    fAborting = true;
    return false;
  }
  if (Width == 0 || Height == 0 || !MakeConsistentBitmap(TVXPixelFormatSet{})) return false;
  fParams->ResetInfo();
  int64_t w = meta->Width(), h = meta->Height();
  MetaSize(w, h, Width, Height, VXGetGlobalSettings()->MaxImageEMFSize());
  TVXDibbitmap dib;
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX || !dib.AllocateBits(uint32_t(w), uint32_t(h), 24)) {
    fAborting = true;
    return false;
  }
  meta->SetWidth(int(w));
  meta->SetHeight(int(h));
  fParams->SetFileName("");
  fParams->SetFileType(meta->Enhanced() ? kEMFFileType : kWMFFileType);
  fParams->SetBitsPerSample(8);
  fParams->SetSamplesPerPixel(3);
  fParams->SetWidth(dib.Width());
  fParams->SetHeight(dib.Height());
  fParams->SetOriginalWidth(dib.Width());
  fParams->SetOriginalHeight(dib.Height());
  fParams->SetDpiX(VXGetGlobalSettings()->DefaultDPIX());
  fParams->SetDpiY(VXGetGlobalSettings()->DefaultDPIY());
  fParams->FreeColorMap();
  ApplyDPIToView(fParams->DpiX(), fParams->DpiY());
  FillAndPlay(dib, meta, VXColorToRGB(Background()), true);
  fVXBitmap->CopyFromTDibBitmap(&dib);
  fVXBitmap->RemoveAlphaChannel(false, 0);
  if (WithAlpha) {
    TVXDibbitmap keyed;
    if (keyed.AllocateBits(uint32_t(w), uint32_t(h), 24)) {
      FillAndPlay(keyed, meta, kKeyColor, true);
      TVXBitmap* alpha = fVXBitmap->AlphaChannel();
      for (int32_t y = 0; y < keyed.Height(); ++y) {
        const uint8_t* src = static_cast<const uint8_t*>(keyed.Scanline(y));
        uint8_t* dst = static_cast<uint8_t*>(alpha->Scanline(y));
        for (int32_t x = 0; x < keyed.Width(); ++x, src += 3)
          dst[x] = (src[0] == 1 && src[1] == 2 && src[2] == 3) ? 0 : 255;
      }
      alpha->SyncFull();
    } else {
      fAborting = true;
    }
  }
  bool result = !fAborting;
  Update();
  return result;
}

bool TVexlaneIO::ImportMetafile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha) {
  if (AsyncStartWanted()) {
    TVXIOThread::CreateImportMetaFileRetBool(
        this, [this](const std::string& f, int32_t w, int32_t h, bool a) { return ImportMetafile(f, w, h, a); },
        FileName, Width, Height, WithAlpha);
    return true;
  }
  bool result = false;
  TMetafile meta;
  if (LoadMetaFile(FileName, meta)) {
    result = ImportMetaFile(&meta, Width, Height, WithAlpha);
    fParams->SetFileName(FileName);
  } else {
    fAborting = true;
  }
  DoFinishWork();
  return result;
}

bool TVexlaneIO::ImportMetafile(TStream* Stream, int32_t Width, int32_t Height, bool WithAlpha) {
  bool result = false;
  TMetafile meta;
  if (Stream && LoadMeta(Stream, meta)) {
    result = ImportMetaFile(&meta, Width, Height, WithAlpha);
    fParams->SetFileName("");
  } else {
    fAborting = true;
  }
  DoFinishWork();
  return result;
}

void TVexlaneIO::MergeMetafile(const std::string& FileName, int32_t x, int32_t y, int32_t Width, int32_t Height) {
  fAborting = false;
  if (Width == 0 || Height == 0 || !MakeConsistentBitmap(TVXPixelFormatSet{})) {
    DoFinishWork();
    return;
  }
  TMetafile meta;
  if (!LoadMetaFile(FileName, meta)) {
    fAborting = true;
    DoFinishWork();
    return;
  }
  int64_t w = meta.Width(), h = meta.Height();
  MetaSize(w, h, Width, Height, 0);
  if (w <= 0 || h <= 0) {
    fAborting = true;
    DoFinishWork();
    return;
  }
  MetaSize(w, h, -1, -1, kMergeCap);
  meta.SetWidth(int(w));
  meta.SetHeight(int(h));
  // The section is one pixel narrower and shorter than the picture's size;
  // a picture of one pixel's width or height merges nothing.
  TVXDibbitmap dib;
  if (w > 1 && h > 1 && dib.AllocateBits(uint32_t(w - 1), uint32_t(h - 1), 24)) {
    fVXBitmap->CopyToTDibBitmap(&dib, x, y, dib.Width(), dib.Height());
    FillAndPlay(dib, &meta, 0, false);
    fVXBitmap->MergeFromTDibBitmap(&dib, x, y);
  }
  Update();
  DoFinishWork();
}

void TVexlaneIO::ReadMetafileParams(TStream* Stream, TProgressRec& Progress) {
  TMetafile meta;
  if (!LoadMeta(Stream, meta)) {
    if (Progress.Aborting) *Progress.Aborting = true;
    return;
  }
  fParams->SetFileName("");
  fParams->SetFileType(meta.Enhanced() ? kEMFFileType : kWMFFileType);
  fParams->SetBitsPerSample(8);
  fParams->SetSamplesPerPixel(3);
  fParams->SetWidth(meta.Width());
  fParams->SetHeight(meta.Height());
  fParams->SetOriginalWidth(meta.Width());
  fParams->SetOriginalHeight(meta.Height());
  fParams->SetDpiX(VXGetGlobalSettings()->DefaultDPIX());
  fParams->SetDpiY(VXGetGlobalSettings()->DefaultDPIY());
  fParams->FreeColorMap();
}
