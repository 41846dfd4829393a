// The resize path of ConvertImage: load Source, resample it (nine-patch images keep
// their marker border), report the sizes on the progress line and save it to
// Target, a new empty file of this call's own that is written in place through
// its open handle.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resample/resample_rows.h"

class TOutputFile;

// Size: pixels of the measured side (short side, or long side with LongSide).
// On failure it ends the progress line, prints its message and returns false.
bool ResizeImageFile(const std::string& Source, TOutputFile& Target, int32_t Size, bool LongSide);

// Frees the decoded source this thread keeps for the next bucket of the same file.
void ForgetDecodedSource();

// The decoded source of one file shared by the calls of its buckets, which may
// run side by side on several threads: the first call that needs it decodes
// it, the others wait for that and read the same pixels.
class TSharedSource {
public:
  TSharedSource();
  TSharedSource(const TSharedSource&) = delete;
  TSharedSource& operator=(const TSharedSource&) = delete;
  ~TSharedSource();
  // Called once, on the decoding thread, when the first decode of the file has
  // been tried (whether it succeeded or not).
  std::function<void()> OnDecoded;
  // Frees the pixels (calls still using them keep them until they end).
  void Clear();
  // The sizes the calls of this file ask for (pixels of the measured side).
  // With them, a source whose rows can be resampled as they are decoded is
  // never held whole: the first call makes the intermediate rows of every
  // size while it decodes, and each call then finishes its own size.
  void PlanSizes(std::vector<int32_t> Sizes, bool LongSide);

private:
  friend class TSharedSourceScope;
  friend struct TSharedSourceAccess;
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// The sizes of the resampled images of a Width x Height source for the
// measured side's Sizes, as the resize makes them.
std::vector<TVXResampleSize> ResizeTargets(int32_t Width, int32_t Height, const std::vector<int32_t>& Sizes,
                                           bool LongSide);

// Whether the resized images of such a source are made from its rows as they
// are decoded (a source that takes more memory than its whole image is
// decoded whole), and the memory that takes.
bool RowsResampled(int32_t Width, int32_t Height, bool Alpha, const std::vector<int32_t>& Sizes, bool LongSide,
                   int64_t* Memory);

// While it lives, ResizeImageFile on this thread takes its source from Source
// in place of the thread's own cache.
class TSharedSourceScope {
public:
  explicit TSharedSourceScope(TSharedSource* Source);
  TSharedSourceScope(const TSharedSourceScope&) = delete;
  TSharedSourceScope& operator=(const TSharedSourceScope&) = delete;
  ~TSharedSourceScope();

private:
  TSharedSource* FPrevious;
};
