// The per-image worker of the program: one source PNG, one density bucket (or copy).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class TOutputFile;

// Mode 0 = copy into OutDir itself; 1..6 = drawable-ldpi .. drawable-xxxhdpi.
// Prints one progress line and its messages; true on success or skip.
bool ConvertImage(const std::string& Source, const std::string& OutDir, uint8_t Mode, int32_t Dip, bool Copy,
                  bool EightBit, bool NewerOnly, bool LongSide, const std::string& QuantPath);

// ConvertImage in two steps, so that a run can prepare several results at once
// and still put them in place in order. PrepareImage does all the work and
// leaves the finished result under its temporary name in Pending (empty when
// there is nothing to put in place: a skip, or a failure it has reported);
// FinishImage puts it in place and ends the progress line. The printed text and
// the outcome are those of ConvertImage.
struct TPendingImage {
  std::unique_ptr<TOutputFile> Output;
  bool TargetExisted = false;
  TPendingImage();
  TPendingImage(TPendingImage&&) noexcept;
  TPendingImage& operator=(TPendingImage&&) noexcept;
  ~TPendingImage();
};
bool PrepareImage(const std::string& Source, const std::string& OutDir, uint8_t Mode, int32_t Dip, bool Copy,
                  bool EightBit, bool NewerOnly, bool LongSide, const std::string& QuantPath, TPendingImage& Pending);
bool FinishImage(TPendingImage& Pending);

// Folder name and target size of a bucket (an empty name and size 0 for mode 0 and
// modes above 6).
struct TDensityTarget {
  std::string Folder;
  int32_t Size = 0;
};
TDensityTarget DensityTarget(uint8_t Mode, int32_t Dip);
