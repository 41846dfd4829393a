// TVexlaneProc and the clipboard: the image or the selection as a DIB with
// the raw dump beside it, and pastes of the raw dump, PNG bytes, DIBs and
// enhanced metafiles. Clipboard blocks come from other programs: each is
// loaded into a scratch bitmap first, so a damaged one changes nothing.
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/dib.h"
#include "core/winchores.h"
#include "gui/metafile.h"
#include "proc/clipboard_hooks.h"
#include "proc/proc.h"
#include "winui/metafile.h"
#include "winui/win_clipboard.h"

constinit TVXClipboardHooks VXClipboardHooks;

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
