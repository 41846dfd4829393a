// The thumbnail viewer's loading: synchronous loads by file name, frame of a
// multi-frame file, stream or URL, the substitute picture of an image that
// cannot be loaded, and saving an image with its parameters.
#include <sys/stat.h>

#include <memory>

#include "core/bitmap.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "gui/graphics.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/urlload.h"
#include "io/vexlaneio.h"
#include "mview/pictures_data.h"
#include "mview/vexlanemio.h"
#include "mview/vexlanemview.h"
#include "winui/win_types.h"

namespace {

// Whether an entry (file or folder) of that name exists.
bool PathExists(const std::string& Name) {
  struct stat st {};
  return !Name.empty() && ::stat(Name.c_str(), &st) == 0;
}

std::unique_ptr<TVXBitmap> LoadPicture(TVXMViewPictureId Id) {
  const TVXMViewPicture p = VXMViewPicture(Id);
  return std::make_unique<TVXBitmap>(p.Data, p.Size, 8);
}

// The file part of a "file::frame" name and the frame (0 when not a number).
void SplitFrameName(const std::string& Name, std::string& File, int32_t& Frame) {
  const size_t at = Name.find("::");
  File = Name.substr(0, at);
  Frame = 0;
  if (at == std::string::npos) return;
  const std::string num = Name.substr(at + 2);
  if (num.empty() || num.size() > 9) return;
  int32_t v = 0;
  for (char c : num) {
    if (c < '0' || c > '9') return;
    v = v * 10 + (c - '0');
  }
  Frame = v;
}

}  // namespace

void TVexlaneMView::ApplyLoadParams(TVexlaneIO* io) {
  TIOParamsVals& P = io->Params();
  const int32_t w = StoreBoxWidth(), h = StoreBoxHeight();
  if (fStoreType == vxtThumb || fStoreType == vxtFastThumb) {
    P.SetJPEG_Scale(ioJPEG_AUTOCALC);
    const bool exifThumbs = w <= 200 && h <= 200 && fEnableLoadEXIFThumbnails;
    P.SetJPEG_GetExifThumbnail(exifThumbs);
    P.SetRAW_GetExifThumbnail(exifThumbs);
    P.SetJPEG_DCTMethod(ioJPEG_IFAST);
    const int32_t mul = fStoreType == vxtFastThumb ? 3 : 1;
    P.SetWidth(MulDiv(w, fThumbnailClipping + 100, 100) * mul);
    P.SetHeight(MulDiv(h, fThumbnailClipping + 100, 100) * mul);
    P.SetRAW_HalfSize(!(w > 1800 || h > 1400));
  } else {
    P.SetJPEG_Scale(ioJPEG_FULLSIZE);
  }
  P.SetEnableAdjustOrientation(fEnableAdjustOrientation);
}

TVexlaneIO* TVexlaneMView::OnDemandIO(const std::string& File) {
  for (TVexlaneIO* io : fMultiOnDemands)
    if (io->Params().FileName() == File) return io;
  auto io = std::make_unique<TVexlaneIO>(nullptr);
  io->Params().SetFileName(File);
  fMultiOnDemands.push_back(io.get());
  return io.release();
}

void TVexlaneMView::StoreLoaded(int32_t idx, TVexlaneIO* io, TVXBitmap* bmp, TVXSourceType SourceType) {
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return;
  const TIOParamsVals& P = io->Params();
  if (TIOParamsVals* mp = GetMIO()->GetParams(idx)) mp->Assign(P);
  r->Background = io->Background();
  if (r->SourceType != vxstFolderIcon) r->SourceType = SourceType;
  SetVXBitmapEx(idx, bmp);
  if (r->image != nullptr) {
    const int32_t ow = P.OriginalWidth() > 0 ? P.OriginalWidth() : P.Width();
    const int32_t oh = P.OriginalHeight() > 0 ? P.OriginalHeight() : P.Height();
    if (ow > 0 && oh > 0) {
      SetImageOriginalWidth(idx, ow);
      SetImageOriginalHeight(idx, oh);
    }
  }
  if (P.EXIF_DateTimeOriginal2() > 0) r->CreateDate = P.EXIF_DateTimeOriginal2();
}

bool TVexlaneMView::CanReloadImage(const TVXImageInfo& info) const {
  return (info.ID >= 0 && (OnImageIDRequest || OnImageIDRequestEx)) || !info.Filename.empty();
}

bool TVexlaneMView::LoadImageNow(int32_t idx) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return false;
  TVXSourceType st = r->SourceType;
  if (r->ID >= 0 && OnImageIDRequest) {
    TBitmap* b = nullptr;
    OnImageIDRequest(this, idx, r->ID, b);
    if (b != nullptr) SetImageEx(idx, b);
    return true;
  }
  if (r->ID >= 0 && OnImageIDRequestEx) {
    TVXBitmap* b = nullptr;
    OnImageIDRequestEx(this, idx, r->ID, b);
    if (b != nullptr) SetVXBitmapEx(idx, b);
    return true;
  }
  if (r->Filename.empty()) return true;
  const std::string name = r->Filename;
  const bool frame = name.find("::") != std::string::npos;
  std::string file;
  int32_t n = 0;
  SplitFrameName(name, file, n);
  TVexlaneIO* io = frame ? OnDemandIO(file) : fVexlaneIO;
  auto bmp = std::make_unique<TVXBitmap>();
  io->SetAttachedVXBitmap(bmp.get());
  io->SetBackground(r->Background);
  io->OnProgress = OnIOProgress;
  ApplyLoadParams(io);
  if (fVexlaneMIO != nullptr) io->SetAutoAdjustDPI(fVexlaneMIO->AutoAdjustDPI());
  bool aborted = false;
  double delay = -1;
  try {
    const std::string ext = VXLowerFileExt(file, true);
    if (frame) {
      if (fVexlaneMIO != nullptr && fVexlaneMIO->Aborting()) {
        aborted = true;
      } else {
        int32_t type = 0;
        if (TVXFileFormatInfo* fi = VXFindFileFormatInfoByExtension(ext)) type = fi->FileType;
        if (type == 0) type = VXFindFileFormat(file, false);
        if (type == 0 || type == 15 || type == 22 || type == 23) {
          if (!io->IsOpenMediaFile()) io->OpenMediaFile(file);
          if (io->IsOpenMediaFile()) {
            io->SetAborting(false);
            io->LoadFromMediaFile(n);
            delay = io->Params().MEDIAFILE_FrameDelayTime() * 10;
          }
          aborted = !io->IsOpenMediaFile() || io->Aborting();
        } else {
          io->Params().SetImageIndex(n);
          aborted = !io->LoadFromFileAuto(file) || io->Aborting();
          delay = type == 2 ? double(io->Params().GIF_DelayTime()) * 10 : 0;
        }
      }
    } else if (ext == ".emf" || ext == ".wmf") {
      aborted = !io->ImportMetafile(file, StoreBoxWidth(), -1, true);
    } else {
      aborted = !io->LoadFromFileAuto(file) || io->Aborting() || (bmp->Width() < 2 && bmp->Height() < 2);
    }
  } catch (...) {
    aborted = true;
  }
  r = Rec(idx);
  if (r == nullptr) {
    io->SetAttachedVXBitmap(nullptr);
    return false;
  }
  if (!aborted && delay >= 0) r->DTime = delay;
  if (aborted) LoadSubstituteImage(bmp.get(), idx, st);
  StoreLoaded(idx, io, bmp.get(), st);
  io->SetAttachedVXBitmap(nullptr);
  return !aborted;
}

bool TVexlaneMView::LoadIntoEntry(int32_t idx, TStream* Stream, const std::string& FileName,
                                  int32_t SourceImageIndex) {
  if (Rec(idx) == nullptr) return false;
  {
    std::lock_guard<std::recursive_mutex> lock(fThreadCS);
    TVXImageInfo* r = Rec(idx);
    TVXSourceType st = r->SourceType;
    TVexlaneIO* io = fVexlaneIO;
    auto bmp = std::make_unique<TVXBitmap>();
    io->SetAttachedVXBitmap(bmp.get());
    io->SetBackground(r->Background);
    io->OnProgress = OnIOProgress;
    if (fVexlaneMIO != nullptr) io->SetAutoAdjustDPI(fVexlaneMIO->AutoAdjustDPI());
    io->Params().SetImageIndex(SourceImageIndex);
    ApplyLoadParams(io);
    bool aborted = false;
    try {
      const bool ok = Stream != nullptr ? io->LoadFromStream(Stream) : io->LoadFromFileAuto(FileName);
      aborted = !ok || io->Aborting();
    } catch (...) {
      io->SetAborting(true);
      aborted = true;
    }
    if (aborted) LoadSubstituteImage(bmp.get(), idx, st);
    StoreLoaded(idx, io, bmp.get(), st);
    io->SetAttachedVXBitmap(nullptr);
    ClearImageCache(idx);
    if (aborted) {
      UpdateEx(false, false);
      return false;
    }
  }
  UpdateEx(false, false);
  return true;
}

bool TVexlaneMView::SetImageFromFile(int32_t idx, const std::string& FileName, int32_t SourceImageIndex) {
  if (Rec(idx) == nullptr) return false;
  if (VXGetURLScheme(FileName) != 0) {
    TVexlaneMIO* mio = GetMIO();
    TMemoryStream ms;
    std::string kind;
    if (!VXDownloadURL(FileName, &ms, mio->ProxyAddress(), mio->ProxyUser(), mio->ProxyPassword(), nullptr, this,
                       nullptr, kind))
      return false;
    ms.SetPosition(0);
    return LoadIntoEntry(idx, &ms, std::string(), SourceImageIndex);
  }
  return LoadIntoEntry(idx, nullptr, FileName, SourceImageIndex);
}

bool TVexlaneMView::SetImageFromStream(int32_t idx, TStream* Stream, int32_t SourceImageIndex) {
  if (Stream == nullptr) return false;
  return LoadIntoEntry(idx, Stream, std::string(), SourceImageIndex);
}

void TVexlaneMView::GetImageToFile(int32_t idx, const std::string& FileName) {
  TVXBitmap* b = GetTVXBitmap(idx);
  if (b == nullptr) return;
  try {
    fVexlaneIO->SetAttachedVXBitmap(b);
    if (TIOParamsVals* p = GetMIO()->GetParams(idx)) fVexlaneIO->Params().Assign(*p);
    fVexlaneIO->SaveToFile(FileName, -1);
  } catch (...) {
    fVexlaneIO->SetAttachedVXBitmap(nullptr);
    ReleaseBitmap(idx, false);
    throw;
  }
  fVexlaneIO->SetAttachedVXBitmap(nullptr);
  ReleaseBitmap(idx, false);
}

void TVexlaneMView::GetImageToStream(int32_t idx, TStream* Stream, int32_t ImageFormat) {
  TVXBitmap* b = GetTVXBitmap(idx);
  if (b == nullptr) return;
  try {
    fVexlaneIO->SetAttachedVXBitmap(b);
    if (TIOParamsVals* p = GetMIO()->GetParams(idx)) fVexlaneIO->Params().Assign(*p);
    fVexlaneIO->SaveToStream(Stream, ImageFormat);
  } catch (...) {
    fVexlaneIO->SetAttachedVXBitmap(nullptr);
    ReleaseBitmap(idx, false);
    throw;
  }
  fVexlaneIO->SetAttachedVXBitmap(nullptr);
  ReleaseBitmap(idx, false);
}

// ---------------------------------------------------------------------------
// Substitute picture

void TVexlaneMView::DrawQuestionMark(TVXBitmap* bitmap, int32_t bw, int32_t bh) {
  if (bw < 1 || bh < 1) return;
  TBitmap pic(bw, bh, pf24bit);
  TCanvas* c = pic.Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(TColor(RGB(255, 255, 255)));
  c->FillRect(TRect{0, 0, bw, bh});
  c->Font()->SetName("Arial");
  c->Font()->SetStyle(VXFontStyleBit(fsBold));
  c->Font()->SetSize(ThumbHeight());
  c->Brush()->SetStyle(bsClear);
  const int32_t x = (bw - c->TextWidth("?")) / 2, y = (bh - c->TextHeight("?")) / 2;
  c->Font()->SetColor(TColor(RGB(128, 128, 128)));
  c->TextOut(x + 3, y + 3, "?");
  c->Font()->SetColor(TColor(RGB(0, 0, 255)));
  c->TextOut(x, y, "?");
  bitmap->CopyFromTBitmap(&pic);
}

void TVexlaneMView::LoadSubstituteImage(TVXBitmap* bitmap, int32_t idx, TVXSourceType& SourceType) {
  if (bitmap == nullptr) return;
  const int32_t tb = TextBlockWidth();
  const int32_t bh = (!fShowText || tb > 0) ? ThumbHeight() - fSetUpperGap - fSetBottomGap
                                            : ThumbHeight() - fUpperGap - fBottomGap;
  const int32_t bw = ThumbWidth() - 2 * fSideGap - tb;
  if (SourceType != vxstFolderIcon && OnWrongImage) {
    bitmap->Allocate(std::max(bw, 1), std::max(bh, 1), vx24RGB);
    bool handled = false;
    OnWrongImage(this, bitmap, idx, handled);
    if (handled) {
      SourceType = vxstCustomImage;
      return;
    }
  }
  if (SourceType != vxstFolderIcon) SourceType = vxstFileIcon;
  if (fThumbnailOptionsEx & VXThumbOpt(vxtxEnableInternalIcons)) {
    std::string file;
    int32_t frame = 0;
    if (const TVXImageInfo* r = Rec(idx)) SplitFrameName(r->Filename, file, frame);
    if (!(fThumbnailOptionsEx & VXThumbOpt(vxtxShowIconForUnknownFormat)) && PathExists(file)) {
      if (!fDefaultFileIcon || fDefaultFileIcon->Width() < bw || fDefaultFileIcon->Height() < bh)
        fDefaultFileIcon = LoadPicture(vxmpDefaultFileIcon);
      bitmap->Assign(fDefaultFileIcon.get());
    } else {
      if (!fMissingFileIcon) fMissingFileIcon = LoadPicture(vxmpMissingFileIcon);
      bitmap->Assign(fMissingFileIcon.get());
    }
    return;
  }
  DrawQuestionMark(bitmap, bw, bh);
}
