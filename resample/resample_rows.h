#pragma once
// Several kernel resamples of one vx24RGB source (with or without an alpha
// channel) whose rows arrive one at a time, in order, from a decoder: the
// source is never held whole. Each arriving block of rows goes through the
// horizontal pass of every target on the thread pool while the decoder goes
// on; once every row is in, each target is made by its vertical pass.
//
// A target made here holds the bytes that VXResampleToSize gives for
// the whole source with the same filter, as long as Streamable says yes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/vxdefs.h"

class TVXBitmap;

struct TVXResampleSize {
  int32_t Width = 0;
  int32_t Height = 0;
};

class TVXRowResampler {
public:
  // Whether a source of this size resampled to every one of Targets (the sizes
  // the size rule gives) goes through the kernel passes that this class
  // repeats: a kernel filter, a source larger than one pixel, targets of
  // other sizes than the source.
  static bool Streamable(int32_t SrcWidth, int32_t SrcHeight, const std::vector<TVXResampleSize>& Targets,
                         TResampleFilter Filter);
  // Bytes the intermediate rows of Targets take, about (the rows in flight besides).
  static int64_t MemoryFor(int32_t SrcWidth, int32_t SrcHeight, bool Alpha,
                           const std::vector<TVXResampleSize>& Targets);

  // Threads: those the vertical passes may use (as the whole-image resampler).
  // Rgb: the rows come as R G B bytes instead of B G R (the targets are the
  // same).
  TVXRowResampler(int32_t SrcWidth, int32_t SrcHeight, bool Alpha, std::vector<TVXResampleSize> Targets,
                  TResampleFilter Filter, int32_t Threads, bool Rgb = false);
  // Waits for horizontal work still running.
  ~TVXRowResampler();
  TVXRowResampler(const TVXRowResampler&) = delete;
  TVXRowResampler& operator=(const TVXRowResampler&) = delete;

  // Source row Y (rows 0 .. SrcHeight - 1 in order, from one thread): SrcWidth
  // pixels as B G R bytes (R G B when made so), and as many alpha bytes when
  // the source has alpha.
  void Row(int32_t Y, const uint8_t* Colour, const uint8_t* Alpha);
  // After the last row: waits for the horizontal passes (rethrows their
  // failure). True when every row came.
  bool Finish();

  int32_t SrcWidth() const { return FSrcWidth; }
  int32_t SrcHeight() const { return FSrcHeight; }
  bool HasAlpha() const { return FAlpha; }
  // Index of the target of this size, or -1.
  int32_t IndexOf(int32_t Width, int32_t Height) const;
  // Makes target Index into Target (allocated here, vx24RGB with an alpha
  // channel when the source has one). May run on several threads at once,
  // for the same target or others. Raises EVXException as ResampleTo does.
  void ResampleTo(int32_t Index, TVXBitmap* Target) const;

private:
  struct TImpl;
  int32_t FSrcWidth, FSrcHeight;
  bool FAlpha;
  std::unique_ptr<TImpl> FImpl;
};
