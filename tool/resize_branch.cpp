#include "tool/resize_branch.h"

#include <sys/stat.h>

#include <memory>
#include <mutex>
#include <string>

#include "core/bitmap.h"
#include "core/resample_hook.h"
#include "core/streams.h"
#include "core/threadpool.h"
#include "io/codec_table.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "platform/win_console.h"
#include "platform/win_files.h"
#include "resample/resample.h"
#include "tool/ninepatch.h"
#include "tool/ninepatch_palette.h"
#include "tool/output_file.h"
#include "tool/zolib.h"

namespace {

// Bytes of an encoded image written at once.
constexpr int32_t kOutputBuffer = 1 << 20;

// The one-pixel border of a resized nine-patch as RGBA, in the order of
// TNinePatchBorder.
TNinePatchBorder BorderOf(TVXBitmap* B) {
  TNinePatchBorder border;
  border.Width = B->Width();
  border.Height = B->Height();
  const bool alpha = B->HasAlphaChannel();
  auto add = [&](int32_t x, int32_t y) {
    const TRGB c = B->Pixels(x, y);
    const uint8_t a = alpha ? B->Alpha(x, y) : 255;
    border.Pixels.push_back(uint32_t(c.r) | uint32_t(c.g) << 8 | uint32_t(c.b) << 16 | uint32_t(a) << 24);
  };
  const int32_t W = border.Width, H = border.Height;
  for (int32_t y = 0; y < H; ++y) {
    if (y == 0 || y == H - 1) {
      for (int32_t x = 0; x < W; ++x) add(x, y);
    } else {
      add(0, y);
      if (W > 1) add(W - 1, y);
    }
  }
  return border;
}

// The last decoded source. ConvertImage is called for every bucket of one file in
// a row; decoding the file once serves all of them. A kept image is used only
// while the file's identity, size and modification time are those it was decoded
// from, so it gives exactly what a fresh load gives. Bitmap and parameters are
// shared with the calls using them: a call that finds the file changed decodes
// it again without pulling the pixels from under another call.
struct TDecodedSource {
  std::string Path;
  uint64_t Device = 0, Inode = 0;
  int64_t Size = -1;
  int64_t MTimeSec = 0, MTimeNsec = 0;
  std::shared_ptr<TVXBitmap> Bitmap;
  // Or, for a source resampled as it was decoded, the rows of every planned size.
  std::shared_ptr<const TVXRowResampler> Rows;
  std::shared_ptr<TIOParamsVals> Params;

  bool SameFile(const TDecodedSource& o) const {
    return Path == o.Path && Device == o.Device && Inode == o.Inode && Size == o.Size && MTimeSec == o.MTimeSec &&
           MTimeNsec == o.MTimeNsec;
  }
  void Clear() {
    Path.clear();
    Size = -1;
    Bitmap.reset();
    Rows.reset();
    Params.reset();
  }
};

// One per thread: files converted one after another on a thread keep their own.
TDecodedSource& DecodedSource() {
  thread_local TDecodedSource cache;
  return cache;
}

// The shared source this thread's calls use, if any.
thread_local TSharedSource* gSharedSource = nullptr;

bool Identify(const std::string& Path, TDecodedSource& Key) {
  struct stat st;
  if (stat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  Key.Path = Path;
  Key.Device = uint64_t(st.st_dev);
  Key.Inode = uint64_t(st.st_ino);
  Key.Size = int64_t(st.st_size);
  Key.MTimeSec = int64_t(st.st_mtim.tv_sec);
  Key.MTimeNsec = int64_t(st.st_mtim.tv_nsec);
  return true;
}

}  // namespace

struct TSharedSource::TImpl {
  std::mutex Lock;  // held while the source is looked up or decoded
  TDecodedSource Source;
  bool Tried = false;
  std::vector<int32_t> Sizes;  // planned
  bool LongSide = false;
};

struct TSharedSourceAccess {
  static TSharedSource::TImpl& Impl(TSharedSource& S) { return *S.FImpl; }
};

TSharedSource::TSharedSource() : FImpl(std::make_unique<TImpl>()) {}
TSharedSource::~TSharedSource() = default;

void TSharedSource::Clear() {
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  FImpl->Source.Clear();
}

void TSharedSource::PlanSizes(std::vector<int32_t> Sizes, bool LongSide) {
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  FImpl->Sizes = std::move(Sizes);
  FImpl->LongSide = LongSide;
}

std::vector<TVXResampleSize> ResizeTargets(int32_t Width, int32_t Height, const std::vector<int32_t>& Sizes,
                                           bool LongSide) {
  std::vector<TVXResampleSize> targets;
  for (int32_t size : Sizes) {
    // As the resize asks: the measured side set, the other one following.
    int32_t w = -1, h = -1;
    if (LongSide == (Width > Height))
      w = size;
    else
      h = size;
    VXCalcResampleSize(w, h, Width, Height, true);
    targets.push_back({w, h});
  }
  return targets;
}

bool RowsResampled(int32_t Width, int32_t Height, bool Alpha, const std::vector<int32_t>& Sizes, bool LongSide,
                   int64_t* Memory) {
  if (Sizes.empty()) return false;
  const std::vector<TVXResampleSize> targets = ResizeTargets(Width, Height, Sizes, LongSide);
  if (!TVXRowResampler::Streamable(Width, Height, targets, rfMitchell)) return false;
  const int64_t memory = TVXRowResampler::MemoryFor(Width, Height, Alpha, targets);
  if (memory >= int64_t(Width) * Height * (Alpha ? 4 : 3)) return false;
  if (Memory != nullptr) *Memory = memory;
  return true;
}

TSharedSourceScope::TSharedSourceScope(TSharedSource* Source) : FPrevious(gSharedSource) { gSharedSource = Source; }
TSharedSourceScope::~TSharedSourceScope() { gSharedSource = FPrevious; }

namespace {

// A decoded source: the whole image, or the rows of every planned size.
struct TSourceView {
  std::shared_ptr<TVXBitmap> Bitmap;
  std::shared_ptr<const TVXRowResampler> Rows;
  bool Loaded() const { return Bitmap || Rows; }
};

// The decoded source with its parameters copied into IO; nothing when the
// file cannot be read as PNG. A source that changed while it was read is not
// kept: only the caller holds it. Pixels that are not plain memory (rows
// mapped from a file one at a time) cannot be read by several threads at
// once: Hold then keeps the shared source locked until the caller is done
// with them. Whole: decoded whole for this call alone, whatever is kept.
TSourceView DecodeSource(const std::string& Source, TVexlaneIO& IO, std::unique_lock<std::mutex>& Hold, bool Whole) {
  TSharedSource* shared = gSharedSource;
  std::unique_lock<std::mutex> lock;
  if (shared != nullptr) lock = std::unique_lock<std::mutex>(TSharedSourceAccess::Impl(*shared).Lock);
  TDecodedSource mine;
  TDecodedSource& cache = Whole ? mine : shared != nullptr ? TSharedSourceAccess::Impl(*shared).Source : DecodedSource();
  TDecodedSource key;
  const bool known = Identify(Source, key);
  auto keep = [&](const std::shared_ptr<TVXBitmap>& B) {
    if (shared != nullptr && B && (B->Location() != vxMemory || B->IsVirtual())) Hold = std::move(lock);
    return TSourceView{B, nullptr};
  };
  if (known && (cache.Bitmap || cache.Rows) && cache.SameFile(key)) {
    IO.AssignParams(cache.Params.get());
    if (cache.Rows) return TSourceView{nullptr, cache.Rows};
    return keep(cache.Bitmap);
  }
  cache.Clear();
  auto bitmap = std::make_shared<TVXBitmap>();
  IO.SetAttachedVXBitmap(bitmap.get());
  // With the sizes of the file's calls known, the rows of every size are made
  // while the source is decoded (when its kind and size allow).
  const bool plan = !Whole && shared != nullptr && !TSharedSourceAccess::Impl(*shared).Sizes.empty() &&
                    !EndsWithText(Source, ".9.png", true);
  std::shared_ptr<TVXRowResampler> rows;
  bool loaded;
  if (plan) {
    const std::vector<int32_t>& sizes = TSharedSourceAccess::Impl(*shared).Sizes;
    const bool longSide = TSharedSourceAccess::Impl(*shared).LongSide;
    TVXRowSink sink;
    sink.Start = [&](int32_t W, int32_t H, bool Alpha) {
      if (!RowsResampled(W, H, Alpha, sizes, longSide, nullptr)) return false; 
      rows = std::make_shared<TVXRowResampler>(W, H, Alpha, ResizeTargets(W, H, sizes, longSide), rfMitchell,
                                               std::max<int32_t>(1, VXProcessorCount()), true);
      return true;
    };
    sink.Rgb = true;
    sink.Row = [&](int32_t Y, const uint8_t* Colour, const uint8_t* Alpha) { rows->Row(Y, Colour, Alpha); };
    loaded = IO.LoadFromFilePNGRows(Source, sink);
  } else {
    loaded = IO.LoadFromFilePNG(Source);
  }
  IO.SetAttachedVXBitmap(nullptr);
  if (shared != nullptr && !TSharedSourceAccess::Impl(*shared).Tried) {
    TSharedSourceAccess::Impl(*shared).Tried = true;
    if (shared->OnDecoded) shared->OnDecoded();
  }
  // The last rows' horizontal passes (their failure reaches the caller).
  if (rows && !rows->Finish()) loaded = false;
  if (!loaded) return {};
  if (rows) bitmap.reset();
  TDecodedSource after;
  if (!Whole && known && Identify(Source, after) && after.SameFile(key)) {
    key.Bitmap = bitmap;
    key.Rows = rows;
    key.Params = std::make_shared<TIOParamsVals>(nullptr);
    key.Params->Assign(IO.Params());
    cache = std::move(key);
  }
  if (rows) return TSourceView{nullptr, rows};
  return keep(bitmap);
}

}  // namespace

bool ResizeImageFile(const std::string& Source, TOutputFile& Target, int32_t Size, bool LongSide) {
  auto io = std::make_unique<TVexlaneIO>(nullptr);
  auto bitmap = std::make_unique<TVXBitmap>();

  std::unique_lock<std::mutex> hold;
  TSourceView decoded = DecodeSource(Source, *io, hold, false);
  // A size the rows were not made for (not planned) takes the whole image.
  int32_t rowsIndex = -1;
  if (decoded.Rows) {
    const TVXRowResampler& rows = *decoded.Rows;
    const TVXResampleSize t = ResizeTargets(rows.SrcWidth(), rows.SrcHeight(), {Size}, LongSide)[0];
    rowsIndex = rows.IndexOf(t.Width, t.Height);
    if (rowsIndex < 0) decoded = DecodeSource(Source, *io, hold, true);
  }
  if (!decoded.Loaded()) {
    ConsoleWriteLn();
    ConsoleWriteLn("Cannot load image file.");
    return false;
  }
  TVXBitmap* source = decoded.Bitmap.get();
  io->SetAttachedVXBitmap(bitmap.get());

  TNinePatchBorder border;
  const bool ninePatch = EndsWithText(Source, ".9.png", true);
  if (decoded.Rows) {
    const TVXRowResampler& rows = *decoded.Rows;
    rows.ResampleTo(rowsIndex, bitmap.get());
    ConsoleWrite(": " + std::to_string(rows.SrcWidth()) + "," + std::to_string(rows.SrcHeight()) + " -> " +
                 std::to_string(bitmap->Width()) + "," + std::to_string(bitmap->Height()));
  } else if (ninePatch) {
    bitmap->Assign(source);
    const TNinePatchSizes s = ResizeNinePatch(bitmap.get(), Size, LongSide);
    border = BorderOf(bitmap.get());
    ConsoleWrite(": " + std::to_string(s.Width) + "," + std::to_string(s.Height) + " -> " +
                 std::to_string(s.NewWidth) + "," + std::to_string(s.NewHeight) + " (9patch)");
  } else {
    const int32_t W = source->Width(), H = source->Height();
    // The resampled copy goes to the bitmap that is saved; the decoded source stays
    // as it was for the next bucket.
    if (LongSide == (W > H))
      VXResampleToSize(source, bitmap.get(), Size, -1, rfMitchell, true);
    else
      VXResampleToSize(source, bitmap.get(), -1, Size, rfMitchell, true);
    ConsoleWrite(": " + std::to_string(W) + "," + std::to_string(H) + " -> " + std::to_string(bitmap->Width()) + "," +
                 std::to_string(bitmap->Height()));
  }
  if (hold.owns_lock()) hold.unlock();

  // Target is an empty temporary file that only this call uses: written in
  // place, it needs no temporary of its own. It was opened when it was
  // created and is never created again: once a signal has removed it, it must
  // not come back. The encoded image is gathered in memory and written with
  // one call (or one per MiB of a larger image).
  {
    THandleStream file(Target.Handle());
    TVXBufferedWriteStream buffered(&file, kOutputBuffer);
    io->SaveToStreamPNG(&buffered);
    buffered.Flush();
  }
  // The writer may reduce colours to the source's palette depth (a 1-bit
  // palette source gives a palette of two colours and transparency), which
  // would blend the markers into the image's colours: the border is put back
  // exactly, with palette entries of its own.
  if (io->Aborting() || !Target.Exists() || (ninePatch && !RestoreNinePatchBorder(Target.Path(), border))) {
    ConsoleWriteLn();
    ConsoleWriteLn("Cannot save image file.");
    return false;
  }
  return true;
}

void ForgetDecodedSource() { DecodedSource().Clear(); }
