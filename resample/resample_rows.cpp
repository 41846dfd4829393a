// Kernel resamples of a source that arrives a row at a time.

#include "resample/resample_rows.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/limits.h"
#include "core/threadpool.h"
#include "resample/resample_engine.h"
#include "resample/resample_filters.h"

namespace {

// Rows a block of the horizontal passes takes, and blocks that may wait for
// or run on the pool at once (beyond that the decoding thread does the block
// itself, so that rows never pile up).
constexpr int32_t kBlockRows = 32;
constexpr int32_t kBlocksInFlight = 4;

bool RowsShared(const TVXBitmap* b) { return b->Location() != vxFile && !b->IsVirtual(); }

}  // namespace

struct TVXRowResampler::TImpl {
  int32_t SW = 0, SH = 0;
  bool Alpha = false;
  bool Rgb = false;  // rows come as R G B
  std::vector<TVXResampleSize> Targets;
  std::vector<std::unique_ptr<TVXKernelRows>> Colour, AlphaRows;
  // Bytes between rows of a block: the colour rows as B G R pixels, or, when
  // every target sums planes, only their split into planes; the alpha rows.
  size_t ColourStride = 0, PlaneStride = 0, AlphaStride = 0;
  size_t PlaneLen = 0;  // of the colour rows split into planes (0: no target sums planes)

  // A block: kBlockRows colour rows (or rows of planes), then as many alpha
  // rows. Rows kept as planes are split as they arrive, on the decoding
  // thread, while they are still in its cache.
  struct TBlock {
    std::vector<uint8_t> Bytes;
    int32_t First = 0, Count = 0;
  };
  TBlock Current;
  int32_t NextRow = 0;
  std::mutex Lock;  // guards Spare and InFlight
  std::vector<std::vector<uint8_t>> Spare;
  int32_t InFlight = 0;
  TVXThreadPool Pool;  // last: its work ends before the members it uses go

  size_t BlockBytes() const { return (ColourStride + PlaneStride + AlphaStride) * kBlockRows; }
  size_t AlphaAt() const { return (ColourStride + PlaneStride) * kBlockRows; }

  void Run(const TBlock& B) {
    const uint8_t* colour = B.Bytes.data();
    const uint8_t* alpha = colour + AlphaAt();
    // The targets that sum channel planes share each row's split.
    if (PlaneLen > 0) {
      std::vector<uint8_t> split(ColourStride > 0 ? PlaneLen * 3 : 0, 0);
      for (int32_t r = 0; r < B.Count; ++r) {
        const uint8_t* planes = colour + size_t(r) * PlaneStride;
        if (ColourStride > 0) {
          VXKernelSplitPlanes(colour + size_t(r) * ColourStride, SW, split.data(), PlaneLen);
          planes = split.data();
        }
        for (size_t t = 0; t < Targets.size(); ++t)
          if (Colour[t]->PlaneLength() > 0) Colour[t]->PlaneRow(B.First + r, planes, PlaneLen);
      }
    }
    for (size_t t = 0; t < Targets.size(); ++t) {
      if (Colour[t]->PlaneLength() == 0) Colour[t]->Rows(B.First, B.Count, colour, ColourStride, true);
      if (Alpha) AlphaRows[t]->Rows(B.First, B.Count, alpha, AlphaStride, true);
    }
  }

  std::vector<uint8_t> TakeBuffer() {
    {
      std::lock_guard<std::mutex> lock(Lock);
      if (!Spare.empty()) {
        std::vector<uint8_t> b = std::move(Spare.back());
        Spare.pop_back();
        return b;
      }
    }
    return std::vector<uint8_t>(BlockBytes(), 0);
  }

  // Sends the current block on and starts the next one.
  void Dispatch() {
    if (Current.Count == 0) return;
    bool queue;
    {
      std::lock_guard<std::mutex> lock(Lock);
      queue = InFlight < kBlocksInFlight;
      if (queue) ++InFlight;
    }
    TBlock block = std::move(Current);
    Current = TBlock();
    if (queue) {
      auto shared = std::make_shared<TBlock>(std::move(block));
      Pool.Add([this, shared] {
        struct TDone {
          TImpl* Self;
          std::shared_ptr<TBlock> Block;
          ~TDone() {
            std::lock_guard<std::mutex> lock(Self->Lock);
            --Self->InFlight;
            Self->Spare.push_back(std::move(Block->Bytes));
          }
        } done{this, shared};
        Run(*shared);
      });
    } else {
      Run(block);
      Current.Bytes = std::move(block.Bytes);
    }
    if (Current.Bytes.empty()) Current.Bytes = TakeBuffer();
    Current.First = NextRow;
    Current.Count = 0;
  }
};

bool TVXRowResampler::Streamable(int32_t SrcWidth, int32_t SrcHeight, const std::vector<TVXResampleSize>& Targets,
                                 TResampleFilter Filter) {
  if (!VXIsKernelFilter(Filter) || SrcWidth < 1 || SrcHeight < 1 || (SrcWidth == 1 && SrcHeight == 1)) return false;
  for (const TVXResampleSize& t : Targets)
    if (t.Width < 1 || t.Height < 1 || (t.Width == SrcWidth && t.Height == SrcHeight)) return false;
  return true;
}

int64_t TVXRowResampler::MemoryFor(int32_t SrcWidth, int32_t SrcHeight, bool Alpha,
                                   const std::vector<TVXResampleSize>& Targets) {
  int64_t bytes = 0;
  for (const TVXResampleSize& t : Targets) {
    bytes += (int64_t(t.Width) * 3 + 32) * SrcHeight;
    if (Alpha) bytes += (int64_t(t.Width) + 32) * SrcHeight;
  }
  return bytes + int64_t(kBlocksInFlight + 2) * kBlockRows * (int64_t(SrcWidth) * (Alpha ? 4 : 3) + 128);
}

TVXRowResampler::TVXRowResampler(int32_t SrcWidth, int32_t SrcHeight, bool Alpha,
                                 std::vector<TVXResampleSize> Targets, TResampleFilter Filter, int32_t Threads,
                                 bool Rgb)
    : FSrcWidth(SrcWidth), FSrcHeight(SrcHeight), FAlpha(Alpha), FImpl(std::make_unique<TImpl>()) {
  TImpl& m = *FImpl;
  m.SW = SrcWidth;
  m.SH = SrcHeight;
  m.Alpha = Alpha;
  m.Rgb = Rgb;
  m.Targets = std::move(Targets);
  m.AlphaStride = Alpha ? size_t(SrcWidth) + kVXKernelRowSlack : 0;
  // The targets' tables and weight layouts side by side: the decoder waits
  // for them before its first block.
  m.Colour.resize(m.Targets.size());
  m.AlphaRows.resize(Alpha ? m.Targets.size() : 0);
  TVXThreadPool pool;
  for (size_t i = 0; i < m.Targets.size(); ++i) {
    pool.Add([&m, i, Filter, Threads] {
      // The colour image and its alpha channel share the tables, as in the
      // whole-image resampler.
      TVXKernelJob job;
      job.SrcWidth = m.SW;
      job.SrcHeight = m.SH;
      job.DstWidth = m.Targets[i].Width;
      job.DstHeight = m.Targets[i].Height;
      job.Filter = Filter;
      job.Threads = 1;
      job.Tables = VXKernelBuildTables(job);
      job.Threads = std::max(1, Threads);
      job.Channels = 3;
      job.HorizZeroSumDivides = true;
      m.Colour[i] = std::make_unique<TVXKernelRows>(job);
      if (m.Alpha) {
        job.Channels = 1;
        job.HorizZeroSumDivides = false;
        m.AlphaRows[i] = std::make_unique<TVXKernelRows>(job);
      }
    });
  }
  pool.Join();
  bool interleaved = false;
  for (const auto& c : m.Colour) {
    m.PlaneLen = std::max(m.PlaneLen, c->PlaneLength());
    if (c->PlaneLength() == 0) interleaved = true;
  }
  if (interleaved)
    m.ColourStride = size_t(SrcWidth) * 3 + kVXKernelRowSlack;
  else
    m.PlaneStride = m.PlaneLen * 3;
  m.Current.Bytes = m.TakeBuffer();
}

TVXRowResampler::~TVXRowResampler() = default;

void TVXRowResampler::Row(int32_t Y, const uint8_t* Colour, const uint8_t* Alpha) {
  TImpl& m = *FImpl;
  if (Y != m.NextRow || Y >= m.SH) return;
  const size_t k = size_t(Y - m.Current.First);
  uint8_t* block = m.Current.Bytes.data();
  if (m.ColourStride > 0) {
    if (m.Rgb)
      VXCopySwapRBRow(block + k * m.ColourStride, Colour, m.SW);
    else
      std::memcpy(block + k * m.ColourStride, Colour, size_t(m.SW) * 3);
  }
  if (m.PlaneStride > 0) VXKernelSplitPlanes(Colour, m.SW, block + k * m.PlaneStride, m.PlaneLen, m.Rgb);
  if (m.Alpha) std::memcpy(block + m.AlphaAt() + k * m.AlphaStride, Alpha, size_t(m.SW));
  ++m.Current.Count;
  ++m.NextRow;
  if (m.Current.Count == kBlockRows) m.Dispatch();
}

bool TVXRowResampler::Finish() {
  TImpl& m = *FImpl;
  m.Dispatch();
  m.Pool.Join();
  std::lock_guard<std::mutex> lock(m.Lock);
  m.Spare.clear();
  m.Current = TImpl::TBlock();
  return m.NextRow == m.SH;
}

int32_t TVXRowResampler::IndexOf(int32_t Width, int32_t Height) const {
  for (size_t i = 0; i < FImpl->Targets.size(); ++i)
    if (FImpl->Targets[i].Width == Width && FImpl->Targets[i].Height == Height) return int32_t(i);
  return -1;
}

void TVXRowResampler::ResampleTo(int32_t Index, TVXBitmap* Target) const {
  const TImpl& m = *FImpl;
  if (Target == nullptr || Index < 0 || size_t(Index) >= m.Targets.size()) return;
  const int32_t w = m.Targets[size_t(Index)].Width, h = m.Targets[size_t(Index)].Height;
  VXCheckImageSize(w, h, 24 + (m.Alpha ? 8 : 0));
  if (!Target->Allocate(w, h, vx24RGB)) throw EVXException("Not enough memory to resample the image");
  if (!m.Alpha && Target->HasAlphaChannel()) Target->RemoveAlphaChannel(false, 0);
  const bool shared = RowsShared(Target);
  const size_t rowBytes = size_t(w) * 3;
  m.Colour[size_t(Index)]->Finish(
      [Target, rowBytes](int32_t y, const void* row) { std::memcpy(Target->GetScanLine(y), row, rowBytes); }, shared);
  if (!m.Alpha) return;
  TVXBitmap* alpha = Target->AlphaChannel();
  if (alpha == nullptr) return;
  m.AlphaRows[size_t(Index)]->Finish(
      [alpha, w](int32_t y, const void* row) { std::memcpy(alpha->GetScanLine(y), row, size_t(w)); },
      RowsShared(alpha));
  // A decoder's alpha channel is never marked full.
  alpha->SetFull(false);
}
