#include "io/vexlaneio.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "io/params.h"
#include "platform/signal_cleanup.h"
#include "platform/win_files.h"
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

// The PNG codec's operations; raises when the codec library has not started.
const TVXCodecOps& PNGCodec() {
  const TVXCodecOps* ops = VXFindCodecOps(kPNGFileType);
  if (!ops || !ops->ReadStream || !ops->WriteStream)
    throw EVXException("No codec is registered for Portable Network Graphics (PNG)");
  return *ops;
}

}  // namespace

bool TVexlaneIO::LoadPNGCore(TStream* Stream, bool FromFile) {
  TProgressRec progress;
  progress.fOnProgress = fOnIntProgress;
  progress.Sender = this;
  progress.Aborting = &fAborting;
  if (FromFile) fParams->SetPNG_Background(VXColorToTRGB(Background()));
  fVXBitmap->RemoveAlphaChannel(false, 0);
  PNGCodec().ReadStream(Stream, fVXBitmap, *fParams, progress, false);
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
  TProgressRec progress;
  progress.fOnProgress = fOnIntProgress;
  progress.Sender = this;
  progress.Aborting = &fAborting;
  std::unique_ptr<TVXMask> mask;
  if (fVXBitmap->HasAlphaChannel()) {
    mask = std::make_unique<TVXMask>();
    fVXBitmap->AlphaChannel()->CopyToTVXMask(mask.get());
  }
  PNGCodec().WriteStream(Stream, fVXBitmap, *fParams, progress, mask.get());
}

namespace {

// The message of a stream that cannot create FileName, with the system's text.
std::string CreateErrorText(const std::string& FileName, const std::string& SystemText) {
  std::string full = FileName;
  try {
    full = std::filesystem::absolute(std::filesystem::path(FileName)).lexically_normal().string();
  } catch (...) {
  }
  return "Cannot create file \"" + full + "\". " + SystemText;
}

// A name in the folder of Target that does not exist yet.
std::string TemporarySibling(const std::string& Target) {
  static std::mt19937 gen(std::random_device{}());
  const std::string dir = ExtractFilePath(Target);
  const std::string name = ExtractFileName(Target);
  for (;;) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", unsigned(gen()));
    const std::string candidate = dir + "." + name + "-" + hex + ".tmp";
    if (GetFileAttributesW(candidate) == INVALID_FILE_ATTRIBUTES) return candidate;
  }
}

}  // namespace

void TVexlaneIO::SaveToFilePNG(const std::string& FileName) {
  fAborting = true;
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) {
    DoFinishWork();
    return;
  }
  std::string temp;
  // The temporary file is also removed when a signal ends the program mid-save.
  struct TSignalGuard {
    std::string Path;
    ~TSignalGuard() {
      if (!Path.empty()) RemoveSignalCleanup(Path);
    }
  } signalGuard;
  try {
    // A target that exists and cannot be written (a folder, a read-only file)
    // refuses the save, as creating it would.
    struct stat st {};
    if (::stat(FileName.c_str(), &st) == 0) {
      int err = 0;
      if (S_ISDIR(st.st_mode))
        err = EISDIR;
      else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        err = EACCES;
      else if (access(FileName.c_str(), W_OK) != 0)
        err = errno;
      if (err != 0) throw EFCreateError(CreateErrorText(FileName, std::strerror(err)));
    }
    temp = TemporarySibling(FileName);
    signalGuard.Path = temp;
    AddSignalCleanup(temp);
    {
      std::unique_ptr<TVXWideFileStream> created;
      try {
        created = std::make_unique<TVXWideFileStream>(temp, fmCreate);
      } catch (const EFCreateError& e) {
        // Report the target, not the temporary name.
        temp.clear();
        const std::string msg = e.what();
        const size_t cut = msg.rfind("\". ");
        throw EFCreateError(CreateErrorText(FileName, cut != std::string::npos ? msg.substr(cut + 3) : msg));
      }
      TVXWideFileStream& file = *created;
      TVXBufferedWriteStream buffered(&file, 65536);
      fAborting = false;
      SavePNGCore(&buffered);
      buffered.Flush();
    }
    if (fAborting) {
      DeleteFileW(temp);
    } else if (std::rename(temp.c_str(), FileName.c_str()) != 0) {
      const int err = errno;
      throw EFCreateError(CreateErrorText(FileName, std::strerror(err)));
    }
    temp.clear();
    fParams->SetFileName(FileName);
    fParams->SetFileType(kPNGFileType);
  } catch (...) {
    if (!temp.empty()) DeleteFileW(temp);
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
