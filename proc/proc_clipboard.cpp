// TVexlaneProc and the clipboard: the image or the selection as a DIB with
// the raw dump beside it, and pastes of the raw dump, PNG bytes, DIBs and
// enhanced metafiles. Clipboard blocks come from other programs: each is
// loaded into a scratch bitmap first, so a damaged one changes nothing.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/clipboard_hooks.h"
#include "core/dib.h"
#include "core/geometry.h"
#include "core/mask.h"
#include "core/winchores.h"
#include "gui/metafile.h"
#include "proc/edits.h"
#include "proc/proc.h"
#include "resample/resample.h"
#include "winui/metafile.h"
#include "winui/win_clipboard.h"

namespace {

// The clipboard opened for one operation and closed again on every way out.
class TClipboardSession {
 public:
  TClipboardSession() : fOpen(VXOpenClipboard()) {}
  ~TClipboardSession() {
    if (fOpen) CloseClipboard();
  }
  TClipboardSession(const TClipboardSession&) = delete;
  TClipboardSession& operator=(const TClipboardSession&) = delete;
  bool Open() const { return fOpen; }

 private:
  bool fOpen;
};

// Places a DIB; the block is freed when the clipboard refuses it.
bool PutDIB(HGLOBAL DIB) {
  if (!DIB) return false;
  if (SetClipboardData(CF_DIB, DIB)) return true;
  GlobalFree(DIB);
  return false;
}

// Places Bitmap's raw dump; skipped when the memory cannot be had.
void PutRaw(TVXBitmap* Bitmap) {
  const int64_t size = Bitmap->CalcRAWSize();
  if (size <= 0 || VXRawClipboardFormat() == 0) return;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, size_t(size));
  if (!block) return;
  Bitmap->SaveRAWToBufferOrStream(GlobalLock(block), nullptr, false);
  GlobalUnlock(block);
  if (!SetClipboardData(VXRawClipboardFormat(), block)) GlobalFree(block);
}

HGLOBAL Data(UINT Format) { return Format == 0 ? nullptr : static_cast<HGLOBAL>(GetClipboardData(Format)); }

// The raw dump in Block, loaded only within the block's size.
bool LoadRaw(HGLOBAL Block, TVXBitmap& Target) {
  const void* p = GlobalLock(Block);
  if (!p) return false;
  const bool ok = Target.LoadRAWFromBufferOrStream(p, nullptr, int64_t(GlobalSize(Block)));
  GlobalUnlock(Block);
  return ok && !Target.IsEmpty();
}

bool LoadDIB(HGLOBAL Block, TVXBitmap& Target) { return VXCopyDIBToBitmap(Block, &Target) != 0 && !Target.IsEmpty(); }

bool LoadPNG(HGLOBAL Block, TVXBitmap& Target) {
  const size_t size = GlobalSize(Block);
  if (!VXClipboardHooks.LoadPNG || size == 0 || size > size_t(INT32_MAX)) return false;
  const void* p = GlobalLock(Block);
  if (!p) return false;
  bool ok = false;
  try {
    ok = VXClipboardHooks.LoadPNG(p, int32_t(size), &Target);
  } catch (...) {
    GlobalUnlock(Block);
    throw;
  }
  GlobalUnlock(Block);
  return ok && !Target.IsEmpty();
}

// The metafile is copied out of the clipboard's handle, which stays there.
bool LoadMetafile(HENHMETAFILE Handle, TVXBitmap& Target) {
  if (!VXClipboardHooks.ImportMetaFile) return false;
  const UINT size = GetEnhMetaFileBits(Handle, 0, nullptr);
  if (size == 0) return false;
  std::vector<BYTE> bytes(size);
  if (GetEnhMetaFileBits(Handle, size, bytes.data()) != size) return false;
  TMetafile meta;
  try {
    meta.LoadFromBuffer(bytes.data(), bytes.size());
  } catch (const std::exception&) {
    return false;
  }
  return VXClipboardHooks.ImportMetaFile(&meta, &Target) && !Target.IsEmpty();
}

// Bitmap in Target's pixel format (a vx8p target lends its palette), alpha
// channel included; the bitmaps copied into an image must share its format.
void MatchFormat(TVXBitmap& Bitmap, TVXBitmap* Target) {
  if (Bitmap.PixelFormat() == Target->PixelFormat()) return;
  TVXBitmap converted;
  if (!converted.Allocate(Bitmap.Width(), Bitmap.Height(), Target->PixelFormat()))
    throw EVXException("Not enough memory for the clipboard image");
  if (Target->PixelFormat() == vx8p) Target->CopyPaletteTo(&converted);
  converted.CopyAndConvertFormat(&Bitmap);
  Bitmap.Assign(&converted);
}

// The rectangle (x, y, w, h) of Source, alpha channel included.
void CopyPart(TVXBitmap* Source, int32_t x, int32_t y, int32_t w, int32_t h, TVXBitmap& Dest) {
  if (!Dest.Allocate(w, h, Source->PixelFormat())) throw EVXException("Not enough memory for the clipboard image");
  if (Source->PixelFormat() == vx8p) Source->CopyPaletteTo(&Dest);
  Source->CopyRectTo(&Dest, x, y, 0, 0, w, h);
  if (Source->HasAlphaChannel()) Source->AlphaChannel()->CopyRectTo(Dest.AlphaChannel(), x, y, 0, 0, w, h);
}

}  // namespace

bool TVexlaneProc::CopyToClipboard(bool UseInternalFormat) {
  if (!CheckFormat(TVXPixelFormatSet{})) return false;
  TClipboardSession clip;
  if (!clip.Open()) return false;
  EmptyClipboard();
  if (!PutDIB(_CopyBitmaptoDIBEx(fVXBitmap, 0, 0, 0, 0, DpiX(), DpiY()))) return false;
  if (UseInternalFormat) PutRaw(fVXBitmap);
  return true;
}

void TVexlaneProc::PasteFromClipboard() {
  if (!CheckFormat(TVXPixelFormatSet{})) return;
  TClipboardSession clip;
  if (!clip.Open()) return;
  TVXBitmap scratch;
  bool loaded = false;
  auto snapshot = [&] {
    if (fAutoUndo) SaveUndoCaptioned("PasteFromClipboard");
  };
  if (HGLOBAL raw = Data(VXRawClipboardFormat())) {
    snapshot();
    loaded = LoadRaw(raw, scratch);
  } else if (HGLOBAL png = Data(VXGetClipboardFormatByName("PNG"))) {
    snapshot();
    loaded = LoadPNG(png, scratch);
  } else if (HGLOBAL dib = Data(CF_DIB)) {
    snapshot();
    loaded = LoadDIB(dib, scratch);
  } else if (HANDLE emf = GetClipboardData(CF_ENHMETAFILE)) {
    snapshot();
    loaded = LoadMetafile(static_cast<HENHMETAFILE>(emf), scratch);
  } else {
    return;
  }
  if (loaded) {
    fVXBitmap->Assign(&scratch);
  }
  Update();
}

bool TVexlaneProc::IsClipboardAvailable() {
  if (!CheckFormat(TVXPixelFormatSet{})) return false;
  TClipboardSession clip;
  if (!clip.Open()) return false;
  return (VXRawClipboardFormat() != 0 && IsClipboardFormatAvailable(VXRawClipboardFormat())) ||
         VXGetClipboardFormatByName("PNG") != 0 || IsClipboardFormatAvailable(CF_DIB) ||
         IsClipboardFormatAvailable(CF_ENHMETAFILE);
}

void TVexlaneProc::PointPasteFromClip(int32_t x1, int32_t y1, bool MergeAlpha) {
  if (!CheckFormat(TVXPixelFormatSet{})) return;
  if (fVexlaneView && fVexlaneView->SelectionBase() == vxsbClientArea) {
    x1 = fVexlaneView->XScr2Bmp(x1);
    y1 = fVexlaneView->YScr2Bmp(y1);
  }
  TClipboardSession clip;
  if (!clip.Open()) return;
  char caption[64];
  std::snprintf(caption, sizeof caption, "PointPasteFromClip %d, %d", x1, y1);
  TVXBitmap P;
  if (HGLOBAL raw = Data(VXRawClipboardFormat())) {
    if (fAutoUndo) SaveUndoCaptioned(caption);
    if (!LoadRaw(raw, P)) return;
    // The part of P that falls on the image.
    const int32_t bx1 = std::max(x1, 0), by1 = std::max(y1, 0);
    const int32_t bx2 = int32_t(std::min<int64_t>(int64_t(x1) + P.Width(), fVXBitmap->Width()));
    const int32_t by2 = int32_t(std::min<int64_t>(int64_t(y1) + P.Height(), fVXBitmap->Height()));
    if (bx1 >= bx2 || by1 >= by2) return;
    if (bx1 != x1 || by1 != y1 || bx2 - bx1 != P.Width() || by2 - by1 != P.Height()) {
      TVXBitmap part;
      CopyPart(&P, bx1 - x1, by1 - y1, bx2 - bx1, by2 - by1, part);
      P.Assign(&part);
    }
    MatchFormat(P, fVXBitmap);
    TVXMask mask;
    mask.AllocateBits(fVXBitmap->Width(), fVXBitmap->Height(), 1);
    mask.Fill(255);
    mask.SetX1(bx1);
    mask.SetY1(by1);
    mask.SetX2(bx2 - 1);
    mask.SetY2(by2 - 1);
    if (MergeAlpha && P.HasAlphaChannel()) mask.CombineWithAlpha(P.AlphaChannel(), bx1, by1, false);
    P.CopyWithMask2(fVXBitmap, &mask);
    Update();
  } else if (HGLOBAL dib = Data(CF_DIB)) {
    if (!LoadDIB(dib, P)) return;
    if (fAutoUndo) SaveUndoCaptioned(caption);
    MatchFormat(P, fVXBitmap);
    P.CopyRectTo(fVXBitmap, 0, 0, x1, y1, P.Width(), P.Height());
    Update();
  }
}

void TVexlaneProc::SelPaste(bool MergeAlpha, bool MaintainAspectRatio, bool Stretch) {
  if (!CheckFormat(TVXPixelFormatSet{})) return;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXMask* mask = nullptr;
  if (!GetReSel(x1, y1, x2, y2, mask)) {
    PasteFromClipboard();
    return;
  }
  if (mask && mask->IsEmpty()) mask = nullptr;
  TClipboardSession clip;
  if (!clip.Open()) return;
  HGLOBAL block = Data(VXRawClipboardFormat());
  const bool raw = block != nullptr;
  if (!raw) block = Data(CF_DIB);
  if (!block) return;
  if (fAutoUndo) SaveUndoCaptioned(Stretch ? "SelPasteFromClipStretch" : "SelPasteFromClip");
  TVXBitmap P;
  if (!(raw ? LoadRaw(block, P) : LoadDIB(block, P))) return;
  int32_t w = x2 - x1, h = y2 - y1;
  if (w <= 0 || h <= 0) return;
  if (MaintainAspectRatio && !Stretch) {
    TSize fitted;
    VXFitImageSize(P.Width(), P.Height(), w, h, false, false, fitted);
    w = fitted.cx;
    h = fitted.cy;
    if (w <= 0 || h <= 0) return;
  }
  TVXBitmap S;
  if (!S.Allocate(w, h, P.PixelFormat())) throw EVXException("Not enough memory for the clipboard image");
  VXStretchNearest(&P, &S);
  if (raw && P.HasAlphaChannel()) VXStretchNearest(P.AlphaChannel(), S.AlphaChannel());
  MatchFormat(S, fVXBitmap);
  if (raw && mask) {
    if (MergeAlpha && S.HasAlphaChannel()) {
      // The viewer's selection stays as it is.
      TVXMask merged;
      merged.Assign(mask);
      merged.CombineWithAlpha(S.AlphaChannel(), mask->X1(), mask->Y1(), false);
      if (!merged.IsEmpty()) S.CopyWithMask2(fVXBitmap, &merged);
    } else {
      S.CopyWithMask2(fVXBitmap, mask);
    }
  } else if (!raw && mask && !Stretch) {
    mask->CopyVXBitmap(fVXBitmap, &S, false, true, false);
  } else {
    S.CopyRectTo(fVXBitmap, 0, 0, x1, y1, w, h);
    if (raw && S.HasAlphaChannel()) {
      S.AlphaChannel()->CopyRectTo(fVXBitmap->AlphaChannel(), 0, 0, x1, y1, w, h);
      fVXBitmap->AlphaChannel()->SetFull(false);
    }
  }
  Update();
}

void TVexlaneProc::SelPasteFromClip(bool MergeAlpha, bool MaintainAspectRatio) {
  SelPaste(MergeAlpha, MaintainAspectRatio, false);
}

void TVexlaneProc::SelPasteFromClipStretch(bool MergeAlpha) { SelPaste(MergeAlpha, false, true); }

bool TVexlaneProc::SelCopy(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TVXMask* mask, bool UseInternalFormat) {
  if (mask && mask->IsEmpty()) mask = nullptr;
  TClipboardSession clip;
  if (!clip.Open()) return false;
  EmptyClipboard();
  HGLOBAL dib = nullptr;
  if (!mask) {
    dib = _CopyBitmaptoDIBEx(fVXBitmap, x1, y1, x2, y2, DpiX(), DpiY());
  } else {
    TVXBitmap box;
    fVXBitmap->CopyWithMask1(&box, mask, int32_t(Background()));
    dib = _CopyBitmaptoDIBEx(&box, 0, 0, 0, 0, DpiX(), DpiY());
  }
  if (!PutDIB(dib)) return false;
  if (UseInternalFormat) {
    TVXBitmap part;
    if (mask) {
      fVXBitmap->CopyWithMask1(&part, mask);
    } else {
      x1 = std::max(x1, 0);
      y1 = std::max(y1, 0);
      x2 = std::min(x2, fVXBitmap->Width());
      y2 = std::min(y2, fVXBitmap->Height());
      if (x2 > x1 && y2 > y1) CopyPart(fVXBitmap, x1, y1, x2 - x1, y2 - y1, part);
    }
    if (!part.IsEmpty()) PutRaw(&part);
  }
  return true;
}

bool TVexlaneProc::SelCopyToClip(bool UseInternalFormat) {
  if (!CheckFormat(TVXPixelFormatSet{})) return false;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXMask* mask = nullptr;
  if (!GetReSel(x1, y1, x2, y2, mask)) return CopyToClipboard(UseInternalFormat);
  return SelCopy(x1, y1, x2, y2, mask, UseInternalFormat);
}

bool TVexlaneProc::SelCutToClip(bool UseInternalFormat, bool CutAlpha) {
  if (!CheckFormat(TVXPixelFormatSet{})) return false;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXMask* mask = nullptr;
  if (!GetReSel(x1, y1, x2, y2, mask)) return false;
  if (fAutoUndo) SaveUndoCaptioned("SelCutToClip");
  if (!SelCopy(x1, y1, x2, y2, mask, UseInternalFormat)) return false;
  if (mask && mask->IsEmpty()) mask = nullptr;
  if (!mask) {
    fVXBitmap->FillRect(x1, y1, x2 - 1, y2 - 1, double(Background()));
    if (CutAlpha) {
      fVXBitmap->AlphaChannel()->FillRect(x1, y1, x2 - 1, y2 - 1, 0);
      fVXBitmap->AlphaChannel()->SyncFull();
    }
  } else {
    VXFillSelection(fVXBitmap, mask, Background());
    if (CutAlpha) {
      VXFillSelection(fVXBitmap->AlphaChannel(), mask, 0);
      fVXBitmap->AlphaChannel()->SyncFull();
    }
  }
  Update();
  return true;
}
