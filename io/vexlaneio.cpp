#include "io/vexlaneio.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "gui/extctrls.h"
#include "gui/graphics.h"
#include "io/codec_table.h"
#include "core/filewriter.h"
#include "io/params.h"
#include "io/printlog.h"
#include "resample/resample.h"
#include "winui/synchronize.h"

// Installs the services the parameters ask of their owning component.
void VXInstallIOParamsOwnerHooks();

TVexlaneIO::TVexlaneIO(TComponent* Owner) : TVXTargetComponent(Owner) {
  VXInstallIOParamsOwnerHooks();
  NewOwnBitmap();
  fParams = std::make_unique<TIOParamsVals>(this);
  fPreviewFont = std::make_unique<TFont>();
  fOnIntProgress = [this](void* Sender, int32_t per) { DoProgress(Sender, per); };
}

std::unique_ptr<TVexlaneIO> TVexlaneIO::CreateFromBitmap(TVXBitmap* Bitmap) {
  auto io = std::make_unique<TVexlaneIO>(nullptr);
  io->SetAttachedVXBitmap(Bitmap);
  return io;
}

std::unique_ptr<TVexlaneIO> TVexlaneIO::CreateFromBitmap(TBitmap* Bitmap) {
  auto io = std::make_unique<TVexlaneIO>(nullptr);
  io->SetAttachedBitmap(Bitmap);
  return io;
}

TVexlaneIO::~TVexlaneIO() {
  WaitThreads(false);
  ReapThreads();
  // A document left open is finished, so that its file is complete.
  try {
    ClosePSFile();
  } catch (...) {
  }
  try {
    ClosePDFFile();
  } catch (...) {
  }
  // An AVI file being written is finished.
  CloseMediaFile();
  CloseAVIFile();
  fThreadObjects.clear();
  UnregisterFromViewer();
  fVexlaneView = nullptr;
  if (fTImage) RemoveFreeNotification(fTImage);
  fTImage = nullptr;
  fBitmap = nullptr;
  fParams.reset();
  FreeOwnBitmap();
}

// ---------------------------------------------------------------------------
// Targets and the viewer

void TVexlaneIO::WaitBeforeTargetChange() {
  // A request thread changing its own component's target cannot wait for
  // itself.
  if (!IsInsideAsyncThreads()) WaitThreads(false);
}

void TVexlaneIO::SetAttachedVXBitmap(TVXBitmap* Value) {
  WaitBeforeTargetChange();
  UnregisterFromViewer();
  if (Value == nullptr && (fVexlaneView != nullptr || fTImage != nullptr)) return;
  SetVXBitmap(Value);
  if (Value != nullptr) {
    fVexlaneView = nullptr;
    if (fTImage) RemoveFreeNotification(fTImage);
    fTImage = nullptr;
  }
}

void TVexlaneIO::SetVXBitmap(TVXBitmap* Value) {
  fBitmap = nullptr;
  if (Value == fVXBitmap) return;
  FreeOwnBitmap();
  fVXBitmap = Value;
}

void TVexlaneIO::SetAttachedBitmap(TBitmap* Value) {
  WaitBeforeTargetChange();
  AttachPlatformBitmap(Value);
}

void TVexlaneIO::SetAttachedTImage(TImage* Value) {
  WaitBeforeTargetChange();
  AttachImageControl(Value);
}

TBitmap* TVexlaneIO::Bitmap() {
  if (fVXBitmap && fVXBitmap->Location() == vxTBitmap) return fVXBitmap->VclBitmap();
  return fBitmap;
}

void TVexlaneIO::SetBitmap(TBitmap* Value) {
  fBitmap = Value;
  if (Value) WrapBitmap();
}

std::string TVexlaneIO::PrintLogFile() const { return VXGetPrintLogFile(); }

void TVexlaneIO::SetPrintLogFile(const std::string& Value) { VXSetPrintLogFile(Value); }

void TVexlaneIO::SetAttachedVexlane(TVXViewHost* Value) {
  WaitBeforeTargetChange();
  AttachViewer(Value);
}

void TVexlaneIO::ViewerBitmapChanged(bool Destroying) {
  if (Destroying) {
    // The viewer's bitmap goes with it: the requests still writing into it
    // end first, then the component keeps a target of its own rather than a
    // pointer to freed memory.
    WaitBeforeTargetChange();
    fVexlaneView = nullptr;
    fVexlaneViewBitmapChangeHandle = nullptr;
    if (!fVXBitmapCreated) NewOwnBitmap();
    return;
  }
  if (fVexlaneView == nullptr) return;
  if (fVXBitmap != nullptr) {
    TVXBitmap* bitmap = fVexlaneView->VXBitmap();
    if (bitmap != fVXBitmap) {
      FreeOwnBitmap();
      fVXBitmap = bitmap;
    }
  }
  fParams->SetDpiX(fVexlaneView->DpiX());
  fParams->SetDpiY(fVexlaneView->DpiY());
}

void VXIOOwnerViewerDpi(TVexlaneIO* io, bool horizontal, int32_t dpi) {
  TVXViewHost* view = io != nullptr ? io->ImageView() : nullptr;
  if (view == nullptr) return;
  view->LockUpdate();
  if (horizontal)
    view->SetDpiX(dpi);
  else
    view->SetDpiY(dpi);
  view->UnLockUpdateEx();
}

TColor TVexlaneIO::Background() const { return fVexlaneView ? fVexlaneView->Background() : fBackground; }

void TVexlaneIO::SetBackground(TColor Value) {
  if (fVexlaneView == nullptr)
    fBackground = Value;
  else if (fChangeBackground && fVexlaneView->HostKind() != vxvhMView)
    fVexlaneView->SetBackground(Value);
}

bool TVexlaneIO::Aborting() const { return std::atomic_ref<bool>(const_cast<bool&>(fAborting)).load(); }

void TVexlaneIO::SetAborting(bool Value) { std::atomic_ref<bool>(fAborting).store(Value); }



void TVexlaneIO::SetDefaultDitherMethod(TVXDitherMethod Value) {
  if (fVXBitmap != nullptr) fVXBitmap->SetDefaultDitherMethod(Value);
  fDefaultDitherMethod = Value;
}

bool TVexlaneIO::NativePixelFormat() const { return fParams ? fParams->IsNativePixelFormat : false; }

void TVexlaneIO::SetNativePixelFormat(bool Value) {
  if (fParams) fParams->IsNativePixelFormat = Value;
}

// ---------------------------------------------------------------------------
// Request threads

bool TVexlaneIO::IsInsideAsyncThreadsLocked() const {
  const std::thread::id self = std::this_thread::get_id();
  for (const TVXIOThread* t : fAsyncThreads)
    if (t->fThreadID == self) return true;
  return false;
}

bool TVexlaneIO::IsInsideAsyncThreads() const {
  std::lock_guard<std::mutex> lock(fAsyncThreadsCS);
  return IsInsideAsyncThreadsLocked();
}

int32_t TVexlaneIO::ThreadsCount() const {
  std::lock_guard<std::mutex> lock(fAsyncThreadsCS);
  return int32_t(fAsyncThreads.size());
}

void TVexlaneIO::WaitThreads(bool Aborts) {
  {
    std::unique_lock<std::mutex> lock(fAsyncThreadsCS);
    for (;;) {
      if (Aborts && !fAsyncThreads.empty()) SetAborting(true);
      if (fAsyncThreads.empty()) break;
      // A request may itself wait for a call on the main thread (its
      // viewer's window being made): the main thread makes those calls
      // while it waits.
      lock.unlock();
      const bool ran = VXCheckSynchronize();
      lock.lock();
      if (!ran && !fAsyncThreads.empty()) fAsyncThreadsCV.wait_for(lock, std::chrono::milliseconds(2));
    }
  }
  ReapThreads();
}

void TVexlaneIO::ReapThreads() {
  std::vector<std::unique_ptr<TVXIOThread>> ended;
  {
    std::lock_guard<std::mutex> lock(fAsyncThreadsCS);
    const std::thread::id self = std::this_thread::get_id();
    for (auto& t : fThreadObjects)
      if (t->fFinished && t->fThreadID != self) ended.push_back(std::move(t));
    fThreadObjects.erase(std::remove(fThreadObjects.begin(), fThreadObjects.end(), nullptr), fThreadObjects.end());
  }
  ended.clear();  // joins
}

void TVexlaneIO::SuspendThreads() {
  std::unique_lock<std::mutex> lock(fAsyncThreadsCS);
  const std::vector<TVXIOThread*> running = fAsyncThreads;
  const std::thread::id self = std::this_thread::get_id();
  for (TVXIOThread* t : running) {
    if (t->fThreadID == self) continue;
    auto inList = [&] { return std::find(fAsyncThreads.begin(), fAsyncThreads.end(), t) != fAsyncThreads.end(); };
    if (!inList()) continue;
    t->fSuspendRequested = true;
    // A request still waiting for its turn pauses when it gets it; one
    // waiting for a call on the main thread gets it made meanwhile.
    while (inList() && !t->fSuspended && t->fRunning) {
      lock.unlock();
      const bool ran = VXCheckSynchronize();
      lock.lock();
      if (!ran && inList() && !t->fSuspended && t->fRunning)
        fAsyncThreadsCV.wait_for(lock, std::chrono::milliseconds(2));
    }
  }
}

void TVexlaneIO::ResumeThreads() {
  std::lock_guard<std::mutex> lock(fAsyncThreadsCS);
  for (TVXIOThread* t : fAsyncThreads) t->fSuspendRequested = false;
  fAsyncThreadsCV.notify_all();
}

void TVexlaneIO::PauseIfSuspended() {
  std::unique_lock<std::mutex> lock(fAsyncThreadsCS);
  const std::thread::id self = std::this_thread::get_id();
  for (TVXIOThread* t : fAsyncThreads)
    if (t->fThreadID == self) {
      if (!t->fSuspendRequested) return;
      t->fSuspended = true;
      fAsyncThreadsCV.notify_all();
      fAsyncThreadsCV.wait(lock, [&] { return !t->fSuspendRequested; });
      t->fSuspended = false;
      return;
    }
}

bool TVexlaneIO::AsyncStartWanted() const { return !fVXBitmapCreated && fAsyncMode && !IsInsideAsyncThreads(); }

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes Kind, bool (TVexlaneIO::*Method)(const std::string&),
                            const std::string& nf) {
  if (!AsyncStartWanted()) return false;
  auto call = [this, Method](const std::string& f) { return (this->*Method)(f); };
  if (Kind == vxLoadFromURLRetBool)
    TVXIOThread::CreateLoadFromURLRetBool(this, call, nf);
  else
    TVXIOThread::CreateLoadSaveFileRetBool(this, call, nf);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes, void (TVexlaneIO::*Method)(const std::string&), const std::string& nf) {
  if (!AsyncStartWanted()) return false;
  TVXIOThread::CreateLoadSaveFile(this, [this, Method](const std::string& f) { (this->*Method)(f); }, nf);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes, bool (TVexlaneIO::*Method)(TStream*), TStream* Stream) {
  if (!AsyncStartWanted()) return false;
  TVXIOThread::CreateLoadSaveStreamRetBool(this, [this, Method](TStream* s) { return (this->*Method)(s); }, Stream);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes, int32_t (TVexlaneIO::*Method)(const std::string&),
                            const std::string& nf) {
  if (!AsyncStartWanted()) return false;
  TVXIOThread::CreateLoadSaveFileRetInt(this, [this, Method](const std::string& f) { return (this->*Method)(f); },
                                        nf);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes, bool (TVexlaneIO::*Method)(int32_t), int32_t Index) {
  if (!AsyncStartWanted()) return false;
  TVXIOThread::CreateLoadSaveIndexRetBool(this, [this, Method](int32_t i) { return (this->*Method)(i); }, Index);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes, int32_t (TVexlaneIO::*Method)(TStream*), TStream* Stream) {
  if (!AsyncStartWanted()) return false;
  TVXIOThread::CreateLoadSaveStreamRetInt(this, [this, Method](TStream* s) { return (this->*Method)(s); }, Stream);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes, void (TVexlaneIO::*Method)(TStream*), TStream* Stream) {
  if (!AsyncStartWanted()) return false;
  TVXIOThread::CreateLoadSaveStream(this, [this, Method](TStream* s) { (this->*Method)(s); }, Stream);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes Kind, bool (TVexlaneIO::*Method)(const std::string&, int32_t),
                            const std::string& nf, int32_t Format) {
  if (!AsyncStartWanted()) return false;
  auto call = [this, Method](const std::string& f, int32_t t) { return (this->*Method)(f, t); };
  if (Kind == vxLoadSaveFileFFRetBool)
    TVXIOThread::CreateLoadSaveFileFFRetBool(this, call, nf, Format);
  else
    TVXIOThread::CreateLoadSaveFileIFRetBool(this, call, nf, Format);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes, void (TVexlaneIO::*Method)(const std::string&, int32_t),
                            const std::string& nf, int32_t Format) {
  if (!AsyncStartWanted()) return false;
  TVXIOThread::CreateLoadSaveFileIF(
      this, [this, Method](const std::string& f, int32_t t) { (this->*Method)(f, t); }, nf, Format);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes, bool (TVexlaneIO::*Method)(TStream*, int32_t), TStream* Stream,
                            int32_t Format) {
  if (!AsyncStartWanted()) return false;
  TVXIOThread::CreateLoadSaveStreamFTRetBool(
      this, [this, Method](TStream* s, int32_t t) { return (this->*Method)(s, t); }, Stream, Format);
  return true;
}

bool TVexlaneIO::AsyncStart(TVXIOMethodTypes, void (TVexlaneIO::*Method)(TStream*, int32_t), TStream* Stream,
                            int32_t Format) {
  if (!AsyncStartWanted()) return false;
  TVXIOThread::CreateLoadSaveStreamFF(
      this, [this, Method](TStream* s, int32_t t) { (this->*Method)(s, t); }, Stream, Format);
  return true;
}

bool TVexlaneIO::MakeConsistentBitmap(TVXPixelFormatSet AllowedFormats) {
  if (fVXBitmap == nullptr) return false;
  ReWrapBitmap();
  return fVXBitmap->CheckFormat(AllowedFormats, true);
}

// ---------------------------------------------------------------------------
// Events and the viewer's refresh

bool TVexlaneIO::PostToViewer(uint32_t Msg, uintptr_t WParam) {
  if (fVexlaneView == nullptr || !fVexlaneView->HasParent() || !IsInsideAsyncThreads()) return false;
  fVexlaneView->HandleNeededOnMainThread();
  fVexlaneView->PostMessage(Msg, WParam);
  return true;
}

void TVexlaneIO::DoProgress(void* Sender, int32_t per) {
  PauseIfSuspended();
  if (!OnProgress) return;
  if (!PostToViewer(8027, uintptr_t(per))) OnProgress(Sender, per);
}

void TVexlaneIO::DoFinishWork() {
  if (fOnIntProgress) fOnIntProgress(this, 100);
  if (OnFinishWork && !PostToViewer(8028, 0)) OnFinishWork(this);
}

void TVexlaneIO::ApplyDPIToView(int32_t DpiX, int32_t DpiY) {
  TVXViewHost* view = ImageView();
  if (view == nullptr) return;
  view->LockUpdate();
  view->SetDPI(DpiX, DpiY);
  view->UnLockUpdateEx();
}

void TVexlaneIO::Update() {
  // A platform bitmap holds no alpha channel.
  if (fBitmap && fVXBitmap) fVXBitmap->RemoveAlphaChannel(false, 0);
  if (fVexlaneView == nullptr) {
    if (fBitmap) fBitmap->SetModified(true);
    return;
  }
  if (!IsInsideAsyncThreads()) {
    fVexlaneView->Update();
  } else if (PostToViewer(8024, 0)) {
    // The viewer announces the change itself when it handles the update,
    // on its own thread.
    return;
  }
  fVexlaneView->ImageChange();
}

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
  if (stretchHeight)
    newH = int32_t(scaled);
  else
    newW = int32_t(scaled);
  // A side that would shrink to nothing leaves the image and its parameters as read.
  if (newW < 1 || newH < 1) return;
  if (stretchHeight) {
    P.SetDpiY(dx);
    P.SetHeight(newH);
  } else {
    P.SetDpiX(dy);
    P.SetWidth(newW);
  }
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

TVXBitmap* VXAdjustDPI(TVXBitmap* Bitmap, TIOParamsVals& Params, bool Filtered) {
  const int32_t dx = Params.DpiX(), dy = Params.DpiY();
  if (Bitmap == nullptr || dx == dy || dx <= 0 || dy <= 0 || Bitmap->IsEmpty()) return Bitmap;
  const bool stretchHeight = Params.Height() < Params.Width();
  const double scaled =
      stretchHeight ? double(Params.Height()) / dy * dx : double(Params.Width()) / dx * dy;
  if (!(scaled >= 1.0 && scaled < 2147483648.0)) return Bitmap;
  int32_t newW = Params.Width(), newH = Params.Height();
  if (stretchHeight)
    newH = int32_t(scaled);
  else
    newW = int32_t(scaled);
  if (newW < 1 || newH < 1) return Bitmap;
  auto result = std::make_unique<TVXBitmap>();
  if (Filtered) {
    TVXBitmap source(Bitmap);
    source.RemoveAlphaChannel(false, 0);
    source.SetPixelFormat(vx24RGB);
    if (!result->Allocate(newW, newH, vx24RGB)) throw EVXException("Not enough memory");
    VXResampleBitmap(&source, result.get(), VXGetGlobalSettings()->DefaultResampleFilter());
  } else {
    if (!result->Allocate(newW, newH, Bitmap->PixelFormat())) throw EVXException("Not enough memory");
    VXStretchNearest(Bitmap, result.get());
  }
  result->RemoveAlphaChannel(false, 0);
  if (stretchHeight) {
    Params.SetDpiY(dx);
    Params.SetHeight(newH);
  } else {
    Params.SetDpiX(dy);
    Params.SetWidth(newW);
  }
  return result.release();
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

bool TVexlaneIO::LoadPNGCore(TStream* Stream, bool FromFile, const TVXRowSink* Rows) {
  const TVXCodecOps& png = VXRequireCodecOps(kPNGFileType, vxcoLoad);
  TProgressRec progress = MakeProgress();
  if (FromFile) fParams->SetPNG_Background(VXColorToTRGB(Background()));
  fVXBitmap->RemoveAlphaChannel(false, 0);
  TVXCodecReadArgs args;
  args.Stream = Stream;
  args.Bitmap = fVXBitmap;
  args.Params = fParams.get();
  args.Progress = &progress;
  if (!fAutoAdjustDPI) args.Rows = Rows;
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
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFilePNG, FileName)) return true;
  return LoadPNGFile(FileName, nullptr);
}

bool TVexlaneIO::LoadFromFilePNGRows(const std::string& FileName, const TVXRowSink& Rows) {
  return LoadPNGFile(FileName, &Rows);
}

bool TVexlaneIO::LoadPNGFile(const std::string& FileName, const TVXRowSink* Rows) {
  return OperationPattern(true, [&] {
    fParams->ResetInfo();
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TVXBufferedReadStream buffered(&file, 65536, true);
    fAborting = false;
    LoadPNGCore(&buffered, true, Rows);
    fParams->SetFileName(FileName);
    return !fAborting;
  });
}

bool TVexlaneIO::LoadFromStreamPNG(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamPNG, Stream)) return true;
  return OperationPattern(false, [&] {
    fParams->ResetInfo();
    LoadPNGCore(Stream, false);
    fParams->SetFileName("");
    return !fAborting;
  });
}

void TVexlaneIO::SavePNGCore(TStream* Stream) { CodecWrite(Stream, kPNGFileType, true); }

void TVexlaneIO::SaveToFilePNG(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFilePNG, FileName)) return;
  SaveFilePattern(FileName, kPNGFileType, nullptr, [&](TStream* Stream) { SavePNGCore(Stream); });
}

void TVexlaneIO::SaveToStreamPNG(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamPNG, Stream)) return;
  SaveStreamPattern([&] { SavePNGCore(Stream); });
}
