// The I/O component's GIF operations: frames loaded raw or composed as a
// player shows them, one-frame files written, frames inserted and replaced.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/limits.h"
#include "core/mask.h"
#include "core/pixels.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "io/filecounts.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kGIFFileType = 2;
// The most pixels one byte of LZW data can stand for (a 12-bit code names at
// most 4096): a screen far beyond that for the whole file is damage.
constexpr int64_t kGIFMaxExpansion = 4096 * 8 / 12;

// Draws Frame on the vx24RGB Canvas at (X, Y), clipped: the pixels its alpha
// channel leaves transparent keep the canvas. A GIF frame's alpha is 0 or
// 255, so the opaque pixels are copied exactly (a weighted blend would move
// them only 255/256 of the way).
void DrawFrame(TVXBitmap* Frame, TVXBitmap* Canvas, int32_t X, int32_t Y) {
  TVXBitmap rgb;
  TVXBitmap* src = Frame;
  if (Frame->PixelFormat() != vx24RGB) {
    rgb.Allocate(Frame->Width(), Frame->Height(), vx24RGB);
    rgb.CopyAndConvertFormat(Frame);
    src = &rgb;
  }
  TVXBitmap* alpha = Frame->AlphaChannelOpt();
  const int32_t x0 = std::max(0, -X), y0 = std::max(0, -Y);
  const int32_t x1 = std::min(Frame->Width(), Canvas->Width() - X);
  const int32_t y1 = std::min(Frame->Height(), Canvas->Height() - Y);
  for (int32_t y = y0; y < y1; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(src->GetScanLine(y));
    const uint8_t* a = alpha ? static_cast<const uint8_t*>(alpha->GetScanLine(y)) : nullptr;
    uint8_t* d = static_cast<uint8_t*>(Canvas->GetScanLine(Y + y));
    for (int32_t x = x0; x < x1; ++x)
      if (!a || a[x] >= 128) std::memcpy(d + 3 * size_t(X + x), s + 3 * size_t(x), 3);
  }
}

// What "restore previous" returns to: the part of the canvas that the frame
// will cover, or the whole canvas when the frame is going to enlarge it (the
// canvas then returns to its old size as well).
class TSavedArea {
 public:
  void Save(TVXBitmap* Canvas, int32_t X, int32_t Y, int32_t W, int32_t H, bool Whole) {
    fWhole = Whole;
    fValid = true;
    if (Whole) {
      fFull.Assign(Canvas);
      return;
    }
    fX = std::max(0, X);
    fY = std::max(0, Y);
    fW = std::max(0, std::min(Canvas->Width(), X + W) - fX);
    fH = std::max(0, std::min(Canvas->Height(), Y + H) - fY);
    // A frame wholly off the canvas covers nothing to keep.
    if (fW == 0 || fH == 0) fW = fH = 0;
    fRGB.resize(size_t(fW) * 3 * size_t(fH));
    fAlpha.resize(size_t(fW) * size_t(fH));
    TVXBitmap* alpha = Canvas->AlphaChannel();
    for (int32_t y = 0; y < fH; ++y) {
      std::memcpy(&fRGB[size_t(y) * fW * 3], static_cast<const uint8_t*>(Canvas->GetScanLine(fY + y)) + 3 * size_t(fX),
                  size_t(fW) * 3);
      std::memcpy(&fAlpha[size_t(y) * fW], static_cast<const uint8_t*>(alpha->GetScanLine(fY + y)) + fX, size_t(fW));
    }
  }
  void Restore(TVXBitmap* Canvas) {
    if (!fValid) return;
    if (fWhole) {
      Canvas->Assign(&fFull);
      return;
    }
    TVXBitmap* alpha = Canvas->AlphaChannel();
    for (int32_t y = 0; y < fH; ++y) {
      std::memcpy(static_cast<uint8_t*>(Canvas->GetScanLine(fY + y)) + 3 * size_t(fX), &fRGB[size_t(y) * fW * 3],
                  size_t(fW) * 3);
      std::memcpy(static_cast<uint8_t*>(alpha->GetScanLine(fY + y)) + fX, &fAlpha[size_t(y) * fW], size_t(fW));
    }
  }

 private:
  bool fValid = false, fWhole = false;
  TVXBitmap fFull;
  int32_t fX = 0, fY = 0, fW = 0, fH = 0;
  std::vector<uint8_t> fRGB, fAlpha;
};

}  // namespace

int32_t TVexlaneIO::LoadGIFCore(TStream* Stream) {
  const TVXCodecOps& ops = VXRequireCodecOps(kGIFFileType, vxcoLoad);
  fParams->ResetInfo();
  TProgressRec progress = MakeProgress();
  fVXBitmap->RemoveAlphaChannel(false, 0);
  TIOParamsVals& P = *fParams;
  int32_t count = 0;

  if (P.GIF_RAWLoad()) {
    TVXCodecReadArgs args;
    args.Stream = Stream;
    args.Bitmap = fVXBitmap;
    args.Params = fParams.get();
    args.Progress = &progress;
    ops.Read(args);
    count = args.Count;
    CheckDPI();
    if (args.AlphaMask && !fAborting) fVXBitmap->AlphaChannel()->CopyFromTVXMask(args.AlphaMask.get());
  } else {
    // Frames 0 .. N drawn in turn on a canvas of the logical screen, each
    // frame's disposal applied before the next is drawn. One walk over the
    // stream decodes the frames in order; the canvas and the copy that
    // "restore previous" returns to are kept as it goes, and the target is
    // filled once at the end. A file of one frame gives that frame as it is.
    const int32_t wanted = P.GIF_ImageIndex();
    TVXBitmap frame;
    TVXBitmap canvas;
    TSavedArea saved;
    TVXGIFAction disposal = ioGIF_None;
    int32_t rx = 0, ry = 0, rw = 0, rh = 0;
    // The first frame waits until a second one shows that the file is an
    // animation (or the walk ends with a count of two or more).
    struct TPlaced {
      int32_t X = 0, Y = 0, WinWidth = 0, WinHeight = 0;
      TVXGIFAction Action = ioGIF_None;
    };
    TVXBitmap first;
    TPlaced firstAt;
    int32_t decoded = 0;
    TVXPixelFormat pf = vxnull;
    TProgressRec silent;
    silent.Aborting = &fAborting;
    TProgressRec& frameProgress = wanted <= 0 ? progress : silent;
    const int64_t streamSize = Stream->Size();

    auto place = [&](TVXBitmap* Frame, const TPlaced& At) -> bool {
      const int32_t W = std::max(At.WinWidth, Frame->Width());
      const int32_t H = std::max(At.WinHeight, Frame->Height());
      const double background = VXTRGBToColor(P.GIF_Background());
      // The state to come back to is taken after the previous frame's
      // disposal, so that a cleared area stays cleared.
      if (disposal == ioGIF_RestorePrev) saved.Restore(&canvas);
      if (disposal == ioGIF_DrawBackground && !canvas.IsEmpty()) {
        canvas.FillRect(rx, ry, rx + rw - 1, ry + rh - 1, background);
        canvas.AlphaChannel()->FillRect(rx, ry, rx + rw - 1, ry + rh - 1, 0);
      }
      if (At.Action == ioGIF_RestorePrev && !canvas.IsEmpty())
        saved.Save(&canvas, At.X, At.Y, Frame->Width(), Frame->Height(), canvas.Width() < W || canvas.Height() < H);
      if (canvas.IsEmpty()) {
        // A canvas the memory or the pixel limit cannot hold ends the load
        // as damage does.
        if (!VXDeclaredDataPlausible(streamSize, int64_t(W) * H, kGIFMaxExpansion) || !canvas.Allocate(W, H, vx24RGB))
          return false;
        canvas.Fill(background);
        canvas.AlphaChannel()->Fill(0);
        if (At.Action == ioGIF_RestorePrev) saved.Save(&canvas, At.X, At.Y, Frame->Width(), Frame->Height(), false);
      }
      if (canvas.Width() < W || canvas.Height() < H)
        canvas.Resize(std::max(W, canvas.Width()), std::max(H, canvas.Height()), background, 255, vxhLeft, vxvTop);
      DrawFrame(Frame, &canvas, At.X, At.Y);
      Frame->MergeAlphaRectTo(&canvas, 0, 0, At.X, At.Y, Frame->Width(), Frame->Height());
      canvas.AlphaChannel()->SetFull(false);
      rx = At.X;
      ry = At.Y;
      rw = Frame->Width();
      rh = Frame->Height();
      disposal = At.Action;
      return true;
    };

    TVXCodecReadArgs args;
    args.Stream = Stream;
    args.Bitmap = &frame;
    args.Params = fParams.get();
    args.Progress = &frameProgress;
    args.OnFrame = [&]() -> bool {
      frame.RemoveAlphaChannel(false, 0);
      if (args.AlphaMask) frame.AlphaChannel()->CopyFromTVXMask(args.AlphaMask.get());
      pf = frame.PixelFormat();
      TPlaced at;
      at.X = P.GIF_XPos();
      at.Y = P.GIF_YPos();
      at.WinWidth = P.GIF_WinWidth();
      at.WinHeight = P.GIF_WinHeight();
      at.Action = P.GIF_Action();
      ++decoded;
      bool ok = true;
      if (decoded == 1) {
        first.Assign(&frame);
        firstAt = at;
      } else {
        if (decoded == 2) ok = place(&first, firstAt);
        ok = ok && place(&frame, at);
        if (!ok) fAborting = true;
      }
      if (OnProgress && streamSize > 0) DoProgress(this, int32_t(Stream->Position() * 100.0 / streamSize));
      return ok && !fAborting;
    };
    try {
      ops.Read(args);
    } catch (const EVXException&) {
      fAborting = true;
    }
    count = args.Count;
    CheckDPI();
    try {
      // Only the first frame was composed (it was the one wanted, or the
      // next one was damaged) and the file has more: it is shown on the
      // canvas as in any animation.
      if (decoded == 1 && count >= 2 && canvas.IsEmpty() && !place(&first, firstAt)) fAborting = true;
    } catch (const EVXException&) {
      fAborting = true;
    }
    if (decoded >= 1) {
      if (!canvas.IsEmpty() && count >= 2) {
        P.SetGIF_Action(ioGIF_DrawBackground);
        P.SetGIF_XPos(0);
        P.SetGIF_YPos(0);
        fVXBitmap->Assign(&canvas);
        if (fVXBitmap->PixelFormat() != pf) fVXBitmap->SetPixelFormat(pf);
      } else if (decoded == 1 && count < 2) {
        fVXBitmap->Assign(&first);
      }
    }
    P.SetImageIndex(wanted);
  }
  if (fAutoAdjustDPI) DoAutoAdjustDPI();
  SetBackground(VXTRGBToColor(P.GIF_FlagTranspColor() ? P.GIF_TranspColor() : P.GIF_Background()));
  P.SetFileType(kGIFFileType);
  P.SetFileName("");
  Update();
  return count;
}

int32_t TVexlaneIO::CountOperation(const std::function<int32_t()>& Body) {
  int32_t count = 0;
  OperationPattern(false, [&] {
    count = Body();
    return true;
  });
  return count;
}

int32_t TVexlaneIO::LoadFromFileGIF(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetInt, &TVexlaneIO::LoadFromFileGIF, FileName)) return -1;
  const int32_t result = CountOperation([&] {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TVXBufferedReadStream buffered(&file, 65536, true);
    const int32_t count = LoadGIFCore(&buffered);
    fParams->SetFileName(FileName);
    return count;
  });
  return fAborting ? -1 : result;
}

int32_t TVexlaneIO::LoadFromStreamGIF(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetInt, &TVexlaneIO::LoadFromStreamGIF, Stream)) return -1;
  const int32_t result = CountOperation([&] { return LoadGIFCore(Stream); });
  return fAborting ? -1 : result;
}

void TVexlaneIO::SaveToFileGIF(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileGIF, FileName)) return;
  CodecSaveFile(FileName, kGIFFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamGIF(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamGIF, Stream)) return;
  CodecSaveStream(Stream, kGIFFileType, vxscNone);
}

int32_t TVexlaneIO::InsertToFileGIF(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetInt, &TVexlaneIO::InsertToFileGIF, FileName)) return -1;
  return CountOperation([&] {
    const TVXCodecOps& ops = VXRequireCodecOps(kGIFFileType, vxcoInsert);
    TIOParamsVals& P = *fParams;
    if (P.GIF_WinWidth() < fVXBitmap->Width() + P.GIF_XPos()) P.SetGIF_WinWidth(fVXBitmap->Width() + P.GIF_XPos());
    if (P.GIF_WinHeight() < fVXBitmap->Height() + P.GIF_YPos())
      P.SetGIF_WinHeight(fVXBitmap->Height() + P.GIF_YPos());
    TProgressRec progress = MakeProgress();
    const int32_t count = ops.InsertImage(FileName, fVXBitmap, P, progress);
    if (!fAborting)
      VXRequireCodecOps(kGIFFileType, vxcoUpdateHeader).UpdateHeader(FileName, 0, P.GIF_WinWidth(), P.GIF_WinHeight());
    return count;
  });
}

int32_t TVexlaneIO::ReplaceFileGIF(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetInt, &TVexlaneIO::ReplaceFileGIF, FileName)) return -1;
  // The old frame goes only when the new one can be written: without an
  // encoder or an image the file stays as it is.
  const bool encoder = fParams->GIF_LZWCompFunc() || VXGetGlobalSettings()->DefGIF_LZWCOMPFUNC();
  if (!encoder || !fVXBitmap || fVXBitmap->IsEmpty()) {
    fAborting = true;
    DoFinishWork();
    return 0;
  }
  VXDeleteGIFFileFrame(FileName, fParams->GIF_ImageIndex());
  return InsertToFileGIF(FileName);
}
