#pragma once
// The separable two-pass kernel resampler on plain sample rows, shared by
// the 24-bit, 8-bit grey, 16-bit grey and 1-bit members of the resampler.
//
// Pass 1 (horizontal) turns every source row into a row of DstWidth pixels
// of an intermediate image (clamped to the sample range); pass 2 (vertical)
// builds every target row from the intermediate rows. Sums are integers,
// each output sample is the sum divided by the list's weight sum (truncating
// toward zero) and clamped.
//
// Two implementations compute the same bytes: VXKernelResampleReference, a
// plain scalar rendering of the rules, and VXKernelResample, the fast one
// (dense weight runs, SIMD multiply-accumulate where the processor has it,
// exact division, both passes in bands on the thread pool). The result never
// depends on the number of threads.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/vxdefs.h"

// The contributor tables of one resample (both axes), which depend only on
// the sizes and the filter: a colour image and its alpha channel share them.
struct TVXKernelTables;

struct TVXKernelJob {
  int32_t SrcWidth = 0;
  int32_t SrcHeight = 0;
  int32_t DstWidth = 0;
  int32_t DstHeight = 0;
  int32_t Channels = 1;   // samples per pixel, 1 or 3
  bool Wide = false;      // 16-bit samples (native byte order) instead of bytes
  TResampleFilter Filter = rfMitchell;  // rfTriangle .. rfLinear
  // What the horizontal pass does with a list whose weights sum to 0: divide
  // by 256 (true, the 24-bit member) or take the sum shifted right by 8 as an
  // unsigned 32-bit value (false). The vertical pass always shifts.
  bool HorizZeroSumDivides = false;
  // Source row y as SrcWidth * Channels samples. The function may fill
  // Scratch (room for that many samples) and return it, or return its own
  // row, which must stay valid until the next call on the same thread.
  std::function<const void*(int32_t y, void* Scratch)> SrcRow;
  // Receives target row y (DstWidth * Channels samples).
  std::function<void(int32_t y, const void* Row)> DstRow;
  bool ParallelSrc = true;  // SrcRow may be called from several threads at once
  bool ParallelDst = true;  // DstRow likewise
  int32_t Threads = 1;      // threads the fast path may use (below 1 counts as 1)
  // Percent reports of the 24-bit member; raised on one thread at a time
  // (the horizontal pass reports from its first band's thread).
  std::function<void(int32_t per)> Progress;
  // Tables built for these sizes and filter (nullptr: built by the call).
  std::shared_ptr<const TVXKernelTables> Tables;
};

// The tables of a job (sizes and filter as in the job). The tables of the
// latest sizes asked for are kept and shared.
std::shared_ptr<const TVXKernelTables> VXKernelBuildTables(const TVXKernelJob& Job);
// True when Tables were built for the sizes and filter of Job.
bool VXKernelTablesFit(const TVXKernelTables& Tables, const TVXKernelJob& Job);

void VXKernelResample(const TVXKernelJob& Job);
void VXKernelResampleReference(const TVXKernelJob& Job);

// Bytes past the end of a source row that a padded row must be readable for.
constexpr size_t kVXKernelRowSlack = 64;

// The two passes of one job taken apart, for a source that comes a row at a
// time (a decoder's rows) and need not be kept whole: Rows runs the
// horizontal pass on source rows as they come, Finish runs the vertical pass
// once every row is in. The bytes are those of VXKernelResample with the same
// job. 8-bit samples only (Wide is ignored); the job's SrcRow, DstRow,
// ParallelSrc, ParallelDst and Progress are not used. A job of no size or another filter does nothing.
class TVXKernelRows {
public:
  explicit TVXKernelRows(const TVXKernelJob& Job);
  ~TVXKernelRows();
  TVXKernelRows(const TVXKernelRows&) = delete;
  TVXKernelRows& operator=(const TVXKernelRows&) = delete;
  // Source rows First .. First + Count - 1 at Src, SrcStride bytes apart
  // (Padded: each readable kVXKernelRowSlack bytes past its end). Calls for
  // rows that do not overlap may run on several threads at once.
  void Rows(int32_t First, int32_t Count, const uint8_t* Src, size_t SrcStride, bool Padded);
  // The target rows to DstRow (on the job's Threads, several at once when
  // ParallelDst), from every source row given so far (rows never given read
  // as 0). May run on several threads at once.
  void Finish(const std::function<void(int32_t y, const void* Row)>& DstRow, bool ParallelDst) const;
  // For 3-channel rows summed channel plane by channel plane (strong
  // reductions): the bytes each plane must be readable for; 0 when the rows
  // are not summed that way. Several jobs on the same rows may then split
  // each row once (VXKernelSplitPlanes) and give it to each job's PlaneRow,
  // which makes the same intermediate row as Rows.
  size_t PlaneLength() const;
  // Source row Y as three planes of PlaneLen bytes each, one after another
  // (PlaneLen at least PlaneLength()). Calls for different rows may run on
  // several threads at once.
  void PlaneRow(int32_t Y, const uint8_t* Planes, size_t PlaneLen);
  // Frees the intermediate rows; the object does nothing more.
  void Release();
  // Bytes held for the intermediate rows.
  size_t Memory() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// Splits a row of Width 3-byte pixels into three planes of PlaneLen bytes
// each at Planes (the bytes past Width are not written). Only for jobs whose
// PlaneLength is not 0. The planes come in B, G, R order; Rgb: the row's
// pixels are R G B bytes (else B G R).
void VXKernelSplitPlanes(const uint8_t* Row, int32_t Width, uint8_t* Planes, size_t PlaneLen, bool Rgb = false);

// Whether each of Width 3-byte pixels holds three equal bytes (a grey
// picture stored as colour). The kernel passes treat each channel alone, so
// such a row resampled as one channel gives each channel of the 3-channel
// result.
bool VXKernelRowIsGrey(const uint8_t* Row, int32_t Width);
// The first byte of each of Width 3-byte pixels, to Grey.
void VXKernelGreyOfRow(const uint8_t* Row, int32_t Width, uint8_t* Grey);

namespace vxdetail {
// Keeps the fast path off the processor's vector extensions (its portable
// loops give the same bytes); for tests of those loops.
void VXResampleForceScalar(bool Value);
}  // namespace vxdetail
