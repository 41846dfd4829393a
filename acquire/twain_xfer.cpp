#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "acquire/twain_caps.h"
#include "acquire/twain_engine.h"
#include "acquire/twain_params.h"
#include "acquire/twain_proxywin.h"
#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/dib.h"
#include "core/rowops.h"
#include "core/settings.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

constexpr uint32_t TWMF_APPOWNS = 0x0001;
constexpr uint32_t TWMF_POINTER = 0x0008;
constexpr uint32_t TWMF_HANDLE = 0x0010;
// A strip loop gives up after this many strips in a row that bring nothing.
constexpr int32_t kEmptyStripLimit = 16;
// A batch stops after this many failed transfers in a row.
constexpr int32_t kFailedTransferLimit = 3;

bool ReleaseResources() { return VXGetGlobalSettings()->ReleaseTwainResources(); }

int32_t RoundDpi(const TW_FIX32& f) { return int32_t(std::nearbyint(FIX32ToFloat(f))); }

bool PlainImage(const TW_IMAGEINFO& i) {
  return i.PixelType <= 2 && !i.Planar && i.Compression == TWCP_NONE &&
         (i.BitsPerPixel == 1 || i.BitsPerPixel == 8 || i.BitsPerPixel == 16 || i.BitsPerPixel == 24 ||
          i.BitsPerPixel == 48);
}

// Depth and samples of the image as the bitmap holds it.
void PutDepth(TIOParamsVals* p, const TW_IMAGEINFO& i, bool Native) {
  if (i.BitsPerPixel >= 1 && i.BitsPerPixel <= 8) {
    p->SetBitsPerSample(i.BitsPerPixel);
    p->SetSamplesPerPixel(1);
  } else if (i.BitsPerPixel == 24) {
    p->SetBitsPerSample(8);
    p->SetSamplesPerPixel(3);
  } else if (i.BitsPerPixel == 48) {
    p->SetBitsPerSample(Native ? 16 : 8);
    p->SetSamplesPerPixel(3);
  }
}

struct TStoredStrip {
  TW_IMAGEMEMXFER Record;
  std::unique_ptr<uint8_t[]> Data;
};

// The memory transfer of one image. Multi: the form of a batch.
void MemoryTransfer(tgrec& r, TW_IMAGEINFO& Info, bool Unknown, bool Multi, const std::string& Prefix,
                    std::string& Caption) {
  VXTW_Log("  " + Prefix + " : buffered transfer mode");
  std::vector<TStoredStrip> stored;
  if (!Multi && r.Progress && Info.ImageLength != 0) r.Progress->per1 = 100.0 / Info.ImageLength;
  TW_SETUPMEMXFER setup{};
  const bool setupOk = VXTW_DS(r, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
  VXTW_Log(setupOk ? "  " + Prefix + " : DAT_SETUPMEMXFER Ok" : "  " + Prefix + " : DAT_SETUPMEMXFER FAILED!");
  const uint32_t size = setup.Preferred;
  HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
  if (Multi && r.Progress && Info.ImageLength != 0) r.Progress->per1 = 100.0 / Info.ImageLength;
  void* locked = nullptr;
  TW_IMAGEMEMXFER mx{};
  mx.Compression = TWON_DONTCARE16;
  mx.BytesPerRow = mx.Columns = mx.Rows = mx.XOffset = mx.YOffset = mx.BytesWritten = TWON_DONTCARE32;
  mx.Memory.Length = size;
  if (r.TWParams->UseMemoryHandle()) {
    mx.Memory.Flags = TWMF_APPOWNS | TWMF_HANDLE;
    mx.Memory.TheMem = block;
  } else {
    locked = GlobalLock(block);
    mx.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
    mx.Memory.TheMem = locked;
  }
  const bool isHandle = r.TWParams->UseMemoryHandle();
  bool first = true;
  uint32_t firstY = 0;
  int32_t empty = 0;
  int64_t rows = 0;
  while (block) {
    VXTW_DS(r, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &mx);
    VXTW_Log(r.rc == TWRC_SUCCESS || r.rc == TWRC_XFERDONE ? "  " + Prefix + " : DAT_IMAGEMEMXFER Ok"
                                                           : "  " + Prefix + " : DAT_IMAGEMEMXFER FAILED! (image terminated?)");
    if (r.rc == TWRC_SUCCESS || r.rc == TWRC_XFERDONE) {
      VXTW_Log(r.rc == TWRC_SUCCESS ? "  " + Prefix + " : TWRC_SUCCESS begin" : "  " + Prefix + " : TWRC_XFERDONE begin");
      if (first) firstY = mx.YOffset;
      first = false;
      TW_IMAGEMEMXFER strip = mx;
      if (Multi) strip.YOffset = mx.YOffset - firstY;
      empty = (mx.Rows == 0 || mx.BytesWritten == 0) ? empty + 1 : 0;
      rows += mx.Rows;
      if (Unknown) {
        TStoredStrip st;
        st.Record = strip;
        const uint32_t written = mx.BytesWritten;  // the record is packed
        const uint32_t n = std::min(written, size);
        st.Data.reset(new uint8_t[n ? n : 1]);
        const auto* src = static_cast<const uint8_t*>(isHandle ? GlobalLock(block) : locked);
        if (src) std::memcpy(st.Data.get(), src, n);
        if (isHandle && src) GlobalUnlock(block);
        st.Record.BytesWritten = n;
        st.Record.Memory.Length = n;
        st.Record.Memory.TheMem = st.Data.get();
        stored.push_back(std::move(st));
      } else {
        CopyBuffer(r, r.fBitmap, Info, isHandle, strip);
      }
    }
    if (r.rc == TWRC_XFERDONE) {
      if (Multi) {
        if (!VXTW_GetCapString(r, CAP_CAPTION, Caption)) Caption.clear();
      } else if (r.IOParams) {
        r.IOParams->SetFileName("");
      }
      r.nState = 7;
      r.transferdone = true;
      if (Unknown) {
        bool stillUnknown = false;
        if (ImageInfo(r, Multi, Info, stillUnknown) && !stillUnknown)
          for (const TStoredStrip& st : stored) CopyBuffer(r, r.fBitmap, Info, false, st.Record);
        if (r.nState == 7 && VXTW_DS(r, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &r.pendingXfers))
          r.nState = r.pendingXfers.Count != 0 ? 6 : 5;
      }
      break;
    }
    if (r.rc == TWRC_SUCCESS) {
      VXTW_Log("  " + Prefix + " : TWRC_SUCCESS or TWRC_XFERDONE end");
    } else if (r.rc == TWRC_CANCEL) {
      VXTW_Log("  " + Prefix + " : TWRC_CANCEL");
      r.breakmodalloop = true;
      r.nState = 7;
      if (r.bHideUI) r.fAborting = true;
      break;
    } else if (r.rc == TWRC_FAILURE) {
      VXTW_Log("  " + Prefix + " : TWRC_FAILURE");
      r.nState = 6;
      if (r.bHideUI) r.fAborting = true;
      if (Multi && r.Progress && r.Progress->Aborting) *r.Progress->Aborting = true;
      break;
    } else {
      ++empty;
    }
    // A source that keeps sending nothing, or more rows than the image has.
    if (empty >= kEmptyStripLimit || (!Unknown && Info.ImageLength > 0 && rows > Info.ImageLength)) {
      VXTW_Log("  " + Prefix + " : TWRC_FAILURE");
      r.nState = 6;
      r.fAborting = r.fAborting || r.bHideUI;
      break;
    }
    if (r.Progress) {
      if (r.Progress->fOnProgress)
        r.Progress->fOnProgress(r.Progress->Sender, int32_t((int64_t(mx.YOffset) + mx.Rows) * r.Progress->per1));
      if (!Multi && r.Progress->Aborting && *r.Progress->Aborting) {
        r.nState = 7;
        if (r.bHideUI) r.fAborting = true;
        break;
      }
    }
  }
  if (locked) GlobalUnlock(block);
  if (block) GlobalFree(block);
}

// A native or file transfer that did not end with TWRC_XFERDONE.
void TransferNotDone(tgrec& r, const std::string& Prefix) {
  if (r.rc == TWRC_CANCEL) {
    VXTW_Log("  " + Prefix + " : TWRC_CANCEL");
    r.breakmodalloop = true;
    r.nState = 7;
  } else {
    if (r.rc == TWRC_FAILURE) VXTW_Log("  " + Prefix + " : TWRC_FAILURE");
    r.nState = 6;
  }
  if (r.bHideUI && (r.rc == TWRC_CANCEL || r.rc == TWRC_FAILURE)) r.fAborting = true;
}

void NativeTransfer(tgrec& r, TW_IMAGEINFO& Info, bool Unknown, bool Multi, const std::string& Prefix,
                    std::string& Caption) {
  VXTW_Log("  " + Prefix + " : Native transfer mode");
  TW_HANDLE h = nullptr;
  VXTW_DS(r, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &h);
  switch (r.rc) {
    case TWRC_XFERDONE: {
      VXTW_Log("  " + Prefix + " : TWRC_XFERDONE");
      bool copy = true;
      if (Unknown) {
        bool still = false;
        copy = ImageInfo(r, Multi, Info, still) && !still;
      }
      if (Multi && !r.fBitmap) r.fBitmap = new TVXBitmap();
      // A DIB that cannot be read is no transfer.
      r.transferdone = copy && r.fBitmap && VXCopyDIBToBitmap(h, r.fBitmap) != 0;
      if (Multi && !VXTW_GetCapString(r, CAP_CAPTION, Caption)) Caption.clear();
      if (h) GlobalFree(h);
      r.nState = 7;
      break;
    }
    default:
      TransferNotDone(r, Prefix);
      break;
  }
}

void FileTransfer(tgrec& r, TW_IMAGEINFO& Info, bool Unknown, bool Multi, const std::string& Prefix,
                  std::string& Caption) {
  VXTW_Log("  " + Prefix + " : File transfer mode");
  TW_SETUPFILEXFER fx{};
  VXTW_DS(r, DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &fx);
  if (!VXTW_MakeTempFileName(fx.FileName)) {
    VXTW_AbortAllPendingXfers(r);
    r.fAborting = true;
    return;
  }
  const std::string name = fx.FileName;
  if (fx.Format != 0 && fx.Format != 2 && fx.Format != 4 && fx.Format != 7) fx.Format = 2;
  fx.VRefNum = 0;
  VXTW_DS(r, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &fx);
  VXTW_DS(r, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
  switch (r.rc) {
    case TWRC_XFERDONE:
      VXTW_Log("  " + Prefix + " : TWRC_XFERDONE");
      if (Unknown || !r.fBitmap) {
        bool still = false;
        if (Unknown) ImageInfo(r, Multi, Info, still);
        if (!r.fBitmap) r.fBitmap = new TVXBitmap();  // a batch page of unknown size
      }
      try {
        auto io = TVexlaneIO::CreateFromBitmap(r.fBitmap);
        r.transferdone = io->LoadFromFileFormat(name, VXFindFileFormat(name, false));
      } catch (const std::exception& e) {
        VXTW_Log("  " + Prefix + " : exception! " + e.what());
        r.transferdone = false;
      }
      if (Multi && !VXTW_GetCapString(r, CAP_CAPTION, Caption)) Caption.clear();
      r.nState = 7;
      break;
    default:
      TransferNotDone(r, Prefix);
      break;
  }
  ::unlink(name.c_str());
}

void Transfer(tgrec& r, TW_IMAGEINFO& Info, bool Unknown, bool Multi, const std::string& Prefix, std::string& Caption) {
  switch (r.TransferMode) {
    case tmBuffered: MemoryTransfer(r, Info, Unknown, Multi, Prefix, Caption); break;
    case tmFile: FileTransfer(r, Info, Unknown, Multi, Prefix, Caption); break;
    default: NativeTransfer(r, Info, Unknown, Multi, Prefix, Caption); break;
  }
}

// Ends what the source still holds from its true state, then disables it.
void EndPending(tgrec& r) {
  if (r.nState == 7 && VXTW_DS(r, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &r.pendingXfers))
    r.nState = r.pendingXfers.Count != 0 ? 6 : 5;
  if (r.nState == 6 && VXTW_DS(r, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &r.pendingXfers)) r.nState = 5;
  VXTW_DisableSource(r);
}

}  // namespace

bool ImageInfo(tgrec& r, bool Multi, TW_IMAGEINFO& Info, bool& Unknown) {
  const std::string prefix = Multi ? "VXTW_XferReadyMulti.ImageInfo" : "VXTW_XferReady.ImageInfo";
  VXTW_Log(prefix);
  Unknown = false;
  bool result = true;
  try {
    std::memset(&Info, 0, sizeof(Info));
    if (!VXTW_DS(r, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &Info)) {
      VXTW_AbortAllPendingXfers(r);
      VXTW_Log(prefix + " : not available!");
      return false;
    }
    if (r.TransferMode != tmFile && !PlainImage(Info)) r.TransferMode = tmNative;
    if (!Multi && r.IOParams) {
      TIOParamsVals* p = r.IOParams;
      PutDepth(p, Info, r.NativePixelFormat);
      p->SetDpiX(RoundDpi(Info.XResolution));
      p->SetDpiY(RoundDpi(Info.YResolution));
      p->SetWidth(Info.ImageWidth);
      p->SetOriginalWidth(Info.ImageWidth);
      p->SetHeight(Info.ImageLength);
      p->SetOriginalHeight(Info.ImageLength);
      p->FreeColorMap();
    }
    if (Info.ImageWidth < 0 || Info.ImageLength < 0) {
      Unknown = true;
      return true;
    }
    if (Info.ImageWidth == 0 || Info.ImageLength == 0) {
      VXTW_AbortAllPendingXfers(r);
      return false;
    }
    TVXPixelFormat fmt = vx24RGB;
    if (r.NativePixelFormat) {
      switch (Info.BitsPerPixel) {
        case 1: fmt = vx1g; break;
        case 8: fmt = vx8g; break;
        case 16: fmt = vx16g; break;
        case 48: fmt = vx48RGB; break;
        default: fmt = vx24RGB; break;
      }
    } else if (Info.BitsPerPixel == 1) {
      fmt = vx1g;
    }
    if (Multi) {
      delete r.fBitmap;
      r.fBitmap = new TVXBitmap();
      r.fBitmap->Allocate(Info.ImageWidth, Info.ImageLength, fmt);
    } else if (r.fBitmap && (r.fBitmap->Width() != Info.ImageWidth || r.fBitmap->Height() != Info.ImageLength ||
                             r.fBitmap->PixelFormat() != fmt)) {
      r.fBitmap->Allocate(Info.ImageWidth, Info.ImageLength, fmt);
    }
  } catch (const std::exception&) {
    VXTW_Log("  " + prefix + " : exception!");
    if (result) VXTW_AbortAllPendingXfers(r);
    result = false;
  }
  VXTW_Log("  " + prefix + " : end");
  return result;
}

void CopyBuffer(tgrec& r, TVXBitmap* Bitmap, const TW_IMAGEINFO& Info, bool IsHandle, const TW_IMAGEMEMXFER& Strip) {
  (void)r;
  VXTW_Log("CopyBuffer compression=" + std::to_string(Strip.Compression) + " BytesPerRow=" +
           std::to_string(Strip.BytesPerRow) + " Columns=" + std::to_string(Strip.Columns) +
           " Rows=" + std::to_string(Strip.Rows) + " XOffset=" + std::to_string(Strip.XOffset) +
           " YOffset=" + std::to_string(Strip.YOffset) + " BytesWritten=" + std::to_string(Strip.BytesWritten));
  if (!Bitmap || Bitmap->Width() <= 0) return;
  HGLOBAL h = IsHandle ? static_cast<HGLOBAL>(Strip.Memory.TheMem) : nullptr;
  const auto* src = static_cast<const uint8_t*>(IsHandle ? GlobalLock(h) : Strip.Memory.TheMem);
  if (!src) return;
  size_t avail = std::min<size_t>(Strip.BytesWritten, Strip.Memory.Length);
  if (IsHandle) avail = std::min(avail, GlobalSize(h));
  const int32_t bpp = Info.BitsPerPixel;
  const bool native = r.NativePixelFormat;
  const int64_t x0 = int32_t(Strip.XOffset);
  const int64_t width = Bitmap->Width();
  if (x0 >= 0 && x0 < width) {
    const int32_t cols = int32_t(std::min<int64_t>(Strip.Columns, width - x0));
    size_t need = 0;
    switch (bpp) {
      case 1: need = (size_t(cols) + 7) / 8; break;
      case 8: need = size_t(cols); break;
      case 16: need = size_t(cols) * 2; break;
      case 24: need = size_t(cols) * 3; break;
      case 48: need = size_t(cols) * 6; break;
      default: need = 0; break;
    }
    // The bitmap's own bytes per pixel for the depths it was made for.
    const TVXPixelFormat fmt = Bitmap->PixelFormat();
    const bool fits = bpp == 1   ? fmt == vx1g
                      : bpp == 8 ? (native ? fmt == vx8g : fmt == vx24RGB)
                      : bpp == 16 ? (native ? fmt == vx16g : fmt == vx24RGB)
                      : bpp == 24 ? fmt == vx24RGB
                      : bpp == 48 ? (native ? fmt == vx48RGB : fmt == vx24RGB)
                                  : false;
    for (uint32_t row = 0; need > 0 && fits && row < Strip.Rows; ++row) {
      const int64_t y = int64_t(int32_t(Strip.YOffset)) + row;
      if (y >= Bitmap->Height()) break;
      const size_t at = size_t(row) * Strip.BytesPerRow;
      if (at > avail || avail - at < need) break;
      if (y < 0) continue;
      const uint8_t* s = src + at;
      auto* d = static_cast<uint8_t*>(Bitmap->ScanLine(int32_t(y)));
      switch (bpp) {
        case 1:
          VXCopyBitRun(d, s, int32_t(x0), int32_t(need), cols, 0);
          break;
        case 8:
          if (native) {
            std::memcpy(d + x0, s, size_t(cols));
          } else {
            for (int32_t i = 0; i < cols; ++i) d[3 * (x0 + i)] = d[3 * (x0 + i) + 1] = d[3 * (x0 + i) + 2] = s[i];
          }
          break;
        case 16:
          if (native) {
            std::memcpy(d + 2 * x0, s, size_t(cols) * 2);
          } else {
            for (int32_t i = 0; i < cols; ++i)
              d[3 * (x0 + i)] = d[3 * (x0 + i) + 1] = d[3 * (x0 + i) + 2] = s[2 * i + 1];
          }
          break;
        case 24:
          VXCopySwapRBRow(d + 3 * x0, s, cols);
          break;
        default:  // 48
          if (native) {
            std::memcpy(d + 6 * x0, s, size_t(cols) * 6);
          } else {
            for (int32_t i = 0; i < cols; ++i) {
              d[3 * (x0 + i)] = s[6 * i + 5];
              d[3 * (x0 + i) + 1] = s[6 * i + 3];
              d[3 * (x0 + i) + 2] = s[6 * i + 1];
            }
          }
          break;
      }
    }
  }
  if (IsHandle) GlobalUnlock(h);
  VXTW_Log("CopyBuffer : Ok");
}

bool VXTW_MakeTempFileName(char (&FileName)[256]) {
  std::memset(FileName, 0, sizeof(FileName));
  auto take = [&](const std::string& name) {
    if (name.size() > 254) return false;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    std::memcpy(FileName, name.data(), name.size());
    return true;
  };
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string base;
    VXGetDefaultTempFileName(base);
    ::unlink(base.c_str());  // the name is what was wanted; the file gets the ".bmp" one
    if (base.size() + 4 > 254) break;
    if (take(base + ".bmp")) return true;
  }
  const std::string path = VXGetGlobalSettings()->DefTempPath();
  return take(path + "vexlanetwain03.bmp") || take("vexlanetwain03.bmp");
}

void VXTW_XferReady(tgrec& r) {
  VXTW_Log("VXTW_XferReady");
  TW_IMAGEINFO info{};
  bool unknown = false;
  if (!ImageInfo(r, false, info, unknown)) {
    r.fAborting = true;
    VXTW_Log("VXTW_XferReady : ABORTED, image info not available!");
    return;
  }
  std::string caption;
  Transfer(r, info, unknown, false, "VXTW_XferReady", caption);
  r.breakmodalloop = true;
  VXTW_AbortAllPendingXfers(r);
  VXTW_Log("  VXTW_XferReady : end");
}

void VXTW_XferReadyMulti(tgrec& r) {
  VXTW_Log("VXTW_XferReadyMulti");
  int32_t failed = 0;
  for (;;) {
    std::string caption;
    VXTW_Log("  VXTW_XferReadyMulti : getting another image");
    if (r.Progress && r.Progress->Aborting && *r.Progress->Aborting) {
      VXTW_Log("VXTW_XferReadyMulti, ending : Aborting = true!");
      EndPending(r);
      return;
    }
    TW_IMAGEINFO info{};
    bool unknown = false;
    if (!ImageInfo(r, true, info, unknown) || r.fAborting) {
      VXTW_Log("VXTW_XferReadyMulti, ending : ABORTED, image info not available!");
      r.fAborting = true;
      EndPending(r);
      return;
    }
    r.transferdone = false;
    Transfer(r, info, unknown, true, "VXTW_XferReadyMulti", caption);
    failed = r.transferdone ? 0 : failed + 1;
    if (r.fBitmap && r.fBitmap->PixelFormat() == vx1g && r.BWToInvert) VXInvertBitmapRows(r.fBitmap);
    const int32_t dpiX = RoundDpi(info.XResolution), dpiY = RoundDpi(info.YResolution);
    if (!r.fAborting && r.MultiCallBack && r.fBitmap) r.MultiCallBack(r.fBitmap, r.IOParams, dpiX, dpiY);
    delete r.fBitmap;
    r.fBitmap = nullptr;
    if (r.IOParams) {
      TIOParamsVals* p = r.IOParams;
      PutDepth(p, info, r.NativePixelFormat);
      p->SetDpiX(dpiX);
      p->SetDpiY(dpiY);
      p->SetWidth(info.ImageWidth);
      p->SetHeight(info.ImageLength);
      p->SetOriginalWidth(info.ImageWidth);
      p->SetOriginalHeight(info.ImageLength);
      p->FreeColorMap();
      p->SetFileName(caption);
    }
    if (r.nState == 7 && VXTW_DS(r, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &r.pendingXfers))
      r.nState = r.pendingXfers.Count != 0 ? 6 : 5;
    if (r.nState == 6 && failed < kFailedTransferLimit) continue;
    r.breakmodalloop = true;
    VXTW_AbortAllPendingXfers(r);
    VXTW_Log("  VXTW_XferReadyMulti : end");
    return;
  }
}

void VXTW_ModalEventLoop(tgrec& r) {
  VXTW_Log("VXTW_ModalEventLoop");
  r.breakmodalloop = false;
  bool quit = false;
  int quitCode = 0;
  MSG m;
  while (r.nState >= 5 && !r.transferdone && !r.breakmodalloop) {
    if (!GetMessageW(&m, nullptr, 0, 0)) {
      quit = true;
      quitCode = int(m.wParam);
      break;
    }
    char hex[8];
    std::snprintf(hex, sizeof(hex), "%04X", m.message & 0xFFFF);
    VXTW_Log(std::string("VXTW_ModalEventLoop : event.msg=$") + hex);
    if (!VXTW_MessageHook(r, m)) {
      try {
        TranslateMessage(&m);
        DispatchMessageW(&m);
      } catch (...) {
      }
    }
  }
  r.breakmodalloop = false;
  // The application's quit request is its own: it goes back into the queue.
  if (quit) PostQuitMessage(quitCode);
  VXTW_Log("VXTW_ModalEventLoop : end");
}

bool VXTW_Acquire(TVXBitmap* Bitmap, bool MultiPage, TVXTwainParams* Params, TVXMultiCallBack MultiCallBack,
                  TIOParamsVals* IOParams, TProgressRec* Progress, PVXTwainShared Shared, HWND Window,
                  bool NativePixelFormat) {
  if (!Params->CapabilitiesValid()) Params->GetFromScanner();
  tgrec r;
  TVXTwainOperation op(r, Shared, Window);
  if (!op.Entered()) return false;
  r.NativePixelFormat = NativePixelFormat;
  r.modal = true;
  r.transferdone = false;
  r.closedsok = false;
  r.bHideUI = !Params->VisibleDialog();
  r.uionly = Params->ShowSettingsOnly();
  r.gmulti = MultiPage;
  r.TWParams = Params;
  VXTW_Log("VXTW_Acquire");
  r.IOParams = IOParams;
  // A batch makes a bitmap per page; the caller's is the destination of a
  // single image only.
  r.fBitmap = MultiPage ? nullptr : Bitmap;
  if (Params->CompatibilityMode()) Params->SetFileTransfer(true);
  r.TransferMode = Params->FileTransfer() ? tmFile : Params->BufferedTransfer() ? tmBuffered : tmNative;
  r.MultiCallBack = std::move(MultiCallBack);
  r.Progress = Progress;
  VXTW_SetAppIdentity(r);
  VXTW_ClearErrorDetail(r);
  HWND proxy = CreateProxyWindow(r);
  r.proxywnd = proxy;
  bool ok = VXTW_LoadSourceManager(r);
  if (ok && !VXTW_OpenSourceManager(r, proxy)) {
    VXTW_UnloadSourceManager(r, ReleaseResources());
    ok = false;
  }
  if (ok && !VXTW_OpenSource(r)) {
    VXTW_CloseSourceManager(r, proxy);
    VXTW_UnloadSourceManager(r, ReleaseResources());
    ok = false;
  }
  if (ok) {
    VXTW_SetCapabilities(r);
    if (!VXTW_EnableSource(r, proxy)) {
      VXTW_CloseSource(r);
      VXTW_CloseSourceManager(r, proxy);
      VXTW_UnloadSourceManager(r, ReleaseResources());
      ok = false;
    }
  }
  if (!ok) {
    DestroyProxyWindow(r, proxy, ReleaseResources());
    if (MultiPage) {
      delete r.fBitmap;
      r.fBitmap = nullptr;
    }
    return false;
  }
  EnableWindow(proxy, FALSE);
  try {
    VXTW_ModalEventLoop(r);
  } catch (...) {
    EnableWindow(proxy, TRUE);
    throw;
  }
  EnableWindow(proxy, TRUE);
  VXTW_DisableSource(r);
  VXTW_CloseSource(r);
  VXTW_CloseSourceManager(r, proxy);
  VXTW_UnloadSourceManager(r, ReleaseResources());
  DestroyProxyWindow(r, proxy, ReleaseResources());
  if (MultiPage) {
    delete r.fBitmap;
    r.fBitmap = nullptr;
  } else if (Bitmap && Bitmap->PixelFormat() == vx1g && r.BWToInvert) {
    VXInvertBitmapRows(Bitmap);
  }
  VXTW_Log("  VXTW_Acquire : end");
  return r.transferdone || (r.closedsok && r.uionly);
}

// ---------------------------------------------------------------------------
// Modeless acquisition.

TVXProxyWin::TVXProxyWin(TComponent* AOwner, tgrec* xgrec) : TWinControl(AOwner), grec(xgrec) {}

TVXProxyWin::~TVXProxyWin() {
  if (grec) {
    tgrec* r = grec;
    grec = nullptr;
    r->ProxyWin = nullptr;
    VXTWAINAcquireCloseRecord(r);
  }
}

void TVXProxyWin::WndProc(TMessage& Message) {
  if (grec) {
    VXTW_Log("TVXProxyWin.WndProc. Msg=" + std::to_string(Message.Msg) +
             " grec=" + std::to_string(reinterpret_cast<uintptr_t>(grec)) + " state=" + std::to_string(grec->nState));
  } else {
    VXTW_Log("TVXProxyWin.WndProc. Msg=" + std::to_string(Message.Msg) + " grec=0 grec no assigned!");
  }
  if (grec && grec->nState >= 5) {
    MSG m{};
    m.hwnd = HandleAllocated() ? Handle() : nullptr;
    m.message = Message.Msg;
    m.wParam = Message.WParam;
    m.lParam = Message.LParam;
    // The hook may free this window (the source asked to close): nothing of
    // it is touched afterwards.
    if (VXTW_MessageHook(*grec, m)) return;
  }
  TWinControl::WndProc(Message);
}

tgrec* VXTWAINAcquireOpen(TVXTwainParams* Params, PVXTwainShared Shared, TIOParamsVals* IOParams,
                          bool NativePixelFormat, TWinControl* Owner, TVXMultiCallBack MultiCallBack,
                          TVXTWCloseCallBack CloseCallBack) {
  auto* r = new tgrec();
  VXTW_InitRecord(*r);
  r->transferdone = false;
  r->closedsok = false;
  r->bHideUI = !Params->VisibleDialog();
  r->TWParams = Params;
  r->NativePixelFormat = NativePixelFormat;
  r->PTwainShared = Shared;
  r->modal = false;
  r->IOParams = IOParams;
  r->TransferMode = Params->FileTransfer() ? tmFile : Params->BufferedTransfer() ? tmBuffered : tmNative;
  r->MultiCallBack = std::move(MultiCallBack);
  r->Progress = nullptr;
  r->gmulti = true;
  r->fclosecallback = std::move(CloseCallBack);
  VXTW_SetAppIdentity(*r);
  VXTW_ClearErrorDetail(*r);
  r->ProxyWin = new TVXProxyWin(Owner, r);
  if (Owner) r->ProxyWin->SetParent(Owner);
  HWND h = r->ProxyWin->Handle();
  bool ok = VXTW_LoadSourceManager(*r);
  if (ok && !VXTW_OpenSourceManager(*r, h)) {
    VXTW_UnloadSourceManager(*r, ReleaseResources());
    ok = false;
  }
  if (ok && !VXTW_OpenSource(*r)) {
    VXTW_CloseSourceManager(*r, h);
    VXTW_UnloadSourceManager(*r, ReleaseResources());
    ok = false;
  }
  if (ok) {
    VXTW_SetCapabilities(*r);
    if (!VXTW_EnableSource(*r, h)) {
      VXTW_CloseSource(*r);
      VXTW_CloseSourceManager(*r, h);
      VXTW_UnloadSourceManager(*r, ReleaseResources());
      ok = false;
    }
  }
  if (!ok) {
    TVXProxyWin* p = r->ProxyWin;
    r->ProxyWin = nullptr;
    delete p;  // closes what is left, frees the record, calls the close callback
    return nullptr;
  }
  VXTW_Log("VXTWAINAcquireOpen : result=  " + std::to_string(reinterpret_cast<uintptr_t>(r)));
  return r;
}

void VXTWAINAcquireClose(tgrec*& Record) {
  VXTW_Log("VXTWAINAcquireClose : begin");
  if (Record && Record->ProxyWin) {
    TVXProxyWin* p = Record->ProxyWin;
    Record->ProxyWin = nullptr;
    Record = nullptr;
    delete p;
  }
  VXTW_Log("VXTWAINAcquireClose : end");
}

void VXTWAINAcquireCloseRecord(tgrec*& Record) {
  VXTW_Log("_VXTWAINAcquireClose : begin");
  if (Record) {
    tgrec& r = *Record;
    VXTW_DisableSource(r);
    VXTW_CloseSource(r);
    VXTW_CloseSourceManager(r, r.hwndSM);
    VXTW_UnloadSourceManager(r, true);
    TVXTWCloseCallBack cb = std::move(r.fclosecallback);
    delete r.fBitmap;
    delete Record;
    Record = nullptr;
    if (cb) cb();
  }
  VXTW_Log("_VXTWAINAcquireClose : end");
}
