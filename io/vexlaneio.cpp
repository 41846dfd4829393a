#include "io/vexlaneio.h"

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "io/filewriter.h"
#include "io/params.h"
#include "proc/proc.h"
#include "proc/resample.h"

// Installs the services the parameters ask of their owning component.
void VXInstallIOParamsOwnerHooks();

TVexlaneIO::TVexlaneIO(void* /*Owner*/) {
  VXInstallIOParamsOwnerHooks();
  fVXBitmap = new TVXBitmap();
  fVXBitmapCreated = true;
  fParams = std::make_unique<TIOParamsVals>(this);
  fOnIntProgress = [this](void* Sender, int32_t per) { DoProgress(Sender, per); };
}

std::unique_ptr<TVexlaneIO> TVexlaneIO::CreateFromBitmap(TVXBitmap* Bitmap) {
  auto io = std::make_unique<TVexlaneIO>(nullptr);
  io->SetAttachedVXBitmap(Bitmap);
  return io;
}

TVexlaneIO::~TVexlaneIO() {
  WaitThreads(false);
  fParams.reset();
  FreeOwnBitmap();
}

void TVexlaneIO::FreeOwnBitmap() {
  if (fVXBitmapCreated) delete fVXBitmap;
  fVXBitmap = nullptr;
  fVXBitmapCreated = false;
}

void TVexlaneIO::SetAttachedVXBitmap(TVXBitmap* Value) { SetVXBitmap(Value); }

void TVexlaneIO::SetVXBitmap(TVXBitmap* Value) {
  if (Value == fVXBitmap) return;
  FreeOwnBitmap();
  fVXBitmap = Value;
}

void TVexlaneIO::SetAttachedVexlane(TVXView* Value) {
  if (Value != nullptr) throw EVXException("Viewers are not available");
  FreeOwnBitmap();
  fVXBitmap = new TVXBitmap();
  fVXBitmapCreated = true;
}

void TVexlaneIO::SetAttachedBitmap(TBitmap* Value) {
  if (Value != nullptr) throw EVXException("Platform bitmaps are not available");
}

void TVexlaneIO::SetAttachedTImage(TImage* Value) {
  if (Value != nullptr) throw EVXException("Picture controls are not available");
}

void TVexlaneIO::SetDefaultDitherMethod(TVXDitherMethod Value) {
  if (fVXBitmap != nullptr) fVXBitmap->SetDefaultDitherMethod(Value);
  fDefaultDitherMethod = Value;
}

bool TVexlaneIO::NativePixelFormat() const { return fParams ? fParams->IsNativePixelFormat : false; }

void TVexlaneIO::SetNativePixelFormat(bool Value) {
  if (fParams) fParams->IsNativePixelFormat = Value;
}

void TVexlaneIO::WaitThreads(bool Aborts) {
  // No request threads run; an abort request still marks the component.
  if (Aborts && ThreadsCount() > 0) fAborting = true;
}

bool TVexlaneIO::MakeConsistentBitmap(TVXPixelFormatSet AllowedFormats) {
  if (fVXBitmap == nullptr) return false;
  return fVXBitmap->CheckFormat(AllowedFormats, true);
}

void TVexlaneIO::DoProgress(void* Sender, int32_t per) {
  if (OnProgress) OnProgress(Sender, per);
}

void TVexlaneIO::DoFinishWork() {
  if (fOnIntProgress) fOnIntProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

void TVexlaneIO::ApplyDPIToView(int32_t /*DpiX*/, int32_t /*DpiY*/) {}

void TVexlaneIO::Update() {}

void TVexlaneIO::AssignParams(TVexlaneIO* Source) {
  if (Source != nullptr && Source != this) fParams->Assign(Source->Params());
}

void TVexlaneIO::AssignParams(const TIOParamsVals* Source) {
  if (Source != nullptr && Source != fParams.get()) fParams->Assign(*Source);
}

void TVexlaneIO::CheckDPI() {
  const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  if (fParams->DpiX() < 2) fParams->SetDpiX(st->DefaultDPIX());
  if (fParams->DpiY() < 2) fParams->SetDpiY(st->DefaultDPIY());
}

void TVexlaneIO::DoAutoAdjustDPI() {
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) return;
  TIOParamsVals& P = *fParams;
  const int32_t dx = P.DpiX(), dy = P.DpiY();
  if (dx == dy || dx <= 0 || dy <= 0) return;
  if (fVXBitmap->Width() == 0 || fVXBitmap->Height() == 0 || P.Width() == 0 || P.Height() == 0) return;
  int32_t newW = P.Width(), newH = P.Height();
  const bool stretchHeight = P.Height() < P.Width();
  const double scaled = stretchHeight ? double(P.Height()) / dy * dx : double(P.Width()) / dx * dy;
  // A resolution ratio that no bitmap size can express leaves the image as read.
  if (!(scaled > -1.0 && scaled < 2147483648.0)) return;
  if (stretchHeight) {
    newH = int32_t(scaled);
    P.SetDpiY(dx);
    P.SetHeight(newH);
  } else {
    newW = int32_t(scaled);
    P.SetDpiX(dy);
    P.SetWidth(newW);
  }
  if (newW < 1 || newH < 1) return;
  std::unique_ptr<TVXBitmap> alpha;
  if (fVXBitmap->HasAlphaChannel()) alpha = std::make_unique<TVXBitmap>(fVXBitmap->AlphaChannel());
  TVXBitmap resized;
  if (fFilteredAdjustDPI) {
    fVXBitmap->RemoveAlphaChannel(false, 0);
    fVXBitmap->SetPixelFormat(vx24RGB);
    if (!resized.Allocate(newW, newH, vx24RGB)) throw EVXException("Not enough memory");
    VXResampleBitmap(fVXBitmap, &resized, VXGetGlobalSettings()->DefaultResampleFilter());
  } else {
    if (!resized.Allocate(newW, newH, fVXBitmap->PixelFormat())) throw EVXException("Not enough memory");
    VXStretchNearest(fVXBitmap, &resized);
  }
  resized.RemoveAlphaChannel(false, 0);
  fVXBitmap->RemoveAlphaChannel(false, 0);
  fVXBitmap->AssignImage(&resized);
  if (alpha) {
    TVXBitmap* target = fVXBitmap->AlphaChannel();
    VXStretchNearest(alpha.get(), target);
    target->SyncFull();
  }
}

// ---------------------------------------------------------------------------
// PNG

namespace {
constexpr int32_t kPNGFileType = 8;
}  // namespace

TProgressRec TVexlaneIO::MakeProgress() {
  TProgressRec progress;
  progress.fOnProgress = fOnIntProgress;
  progress.Sender = this;
  progress.Aborting = &fAborting;
  return progress;
}

bool TVexlaneIO::LoadPNGCore(TStream* Stream, bool FromFile) {
  const TVXCodecOps& png = VXRequireCodecOps(kPNGFileType, vxcoLoad);
  TProgressRec progress = MakeProgress();
  if (FromFile) fParams->SetPNG_Background(VXColorToTRGB(Background()));
  fVXBitmap->RemoveAlphaChannel(false, 0);
  TVXCodecReadArgs args;
  args.Stream = Stream;
  args.Bitmap = fVXBitmap;
  args.Params = fParams.get();
  args.Progress = &progress;
  png.Read(args);
  CheckDPI();
  if (fAutoAdjustDPI) DoAutoAdjustDPI();
  fParams->SetFileType(kPNGFileType);
  ApplyDPIToView(fParams->DpiX(), fParams->DpiY());
  SetBackground(VXTRGBToColor(fParams->PNG_Background()));
  Update();
  return !fAborting;
}

bool TVexlaneIO::LoadFromFilePNG(const std::string& FileName) {
  fAborting = true;
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) {
    DoFinishWork();
    return false;
  }
  fParams->ResetInfo();
  try {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TVXBufferedReadStream buffered(&file, 65536, true);
    fAborting = false;
    LoadPNGCore(&buffered, true);
    fParams->SetFileName(FileName);
  } catch (...) {
    DoFinishWork();
    throw;
  }
  const bool result = !fAborting;
  DoFinishWork();
  return result;
}

bool TVexlaneIO::LoadFromStreamPNG(TStream* Stream) {
  fAborting = false;
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) {
    fAborting = true;
    DoFinishWork();
    return false;
  }
  fParams->ResetInfo();
  try {
    LoadPNGCore(Stream, false);
    fParams->SetFileName("");
  } catch (...) {
    DoFinishWork();
    throw;
  }
  const bool result = !fAborting;
  DoFinishWork();
  return result;
}

void TVexlaneIO::SavePNGCore(TStream* Stream) {
  const TVXCodecOps& png = VXRequireCodecOps(kPNGFileType, vxcoSave);
  TProgressRec progress = MakeProgress();
  std::unique_ptr<TVXMask> mask;
  if (fVXBitmap->HasAlphaChannel()) {
    mask = std::make_unique<TVXMask>();
    fVXBitmap->AlphaChannel()->CopyToTVXMask(mask.get());
  }
  TVXCodecWriteArgs args;
  args.Stream = Stream;
  args.Bitmap = fVXBitmap;
  args.Params = fParams.get();
  args.Progress = &progress;
  args.AlphaMask = mask.get();
  png.Write(args);
}

void TVexlaneIO::SaveToFilePNG(const std::string& FileName) {
  fAborting = true;
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) {
    DoFinishWork();
    return;
  }
  try {
    VXWriteFileSafely(FileName, fAborting, [&](TStream* Stream) {
      fAborting = false;
      SavePNGCore(Stream);
    });
    fParams->SetFileName(FileName);
    fParams->SetFileType(kPNGFileType);
  } catch (...) {
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}

void TVexlaneIO::SaveToStreamPNG(TStream* Stream) {
  fAborting = false;
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) {
    DoFinishWork();
    return;
  }
  try {
    SavePNGCore(Stream);
  } catch (...) {
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}
