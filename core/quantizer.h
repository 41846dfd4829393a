// Colour quantiser: reduces the colours of a bitmap to a palette and maps any
// colour to its palette index. An exact palette is used when the image has few
// enough colours; otherwise a histogram (box-splitting) quantiser on a 5-bit
// colour cube or a neural-network quantiser (NeuQuant), as the settings'
// ColorReductionAlgorithm chooses.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/pixels.h"

class TVXBitmap;

class TVXQuantizer {
 public:
  // Builds a palette of at most NCol colours into ColorMap[0 .. ColorMapHigh]
  // (ColorMapHigh is the last valid index of the caller's buffer, 255 for a
  // 256-entry palette) and the state that GetRGBIndex needs. The source bitmap
  // is borrowed and must stay unchanged while the quantiser is used.
  TVXQuantizer(TVXBitmap* SrcBitmap, TRGB* ColorMap, int32_t ColorMapHigh, int32_t NCol);
  ~TVXQuantizer();
  TVXQuantizer(const TVXQuantizer&) = delete;
  TVXQuantizer& operator=(const TVXQuantizer&) = delete;

  // The palette index for a colour; 0 for a colour that has no entry. The
  // neural quantiser keeps what its searches learn about the colour cube, so
  // one quantiser answers one thread at a time.
  int32_t GetRGBIndex(TRGB cl) const;
  // The indices of Count colours, each as GetRGBIndex gives it.
  void GetRGBIndices(const TRGB* Colours, int32_t Count, int32_t* Indices) const;

  // 0 = neural quantiser, 1 = histogram quantiser (meaningful when a
  // quantiser was built, see HasQuantizer).
  int32_t Method() const { return fMethod; }
  bool HasQuantizer() const { return fQT != nullptr; }
  bool HasExactPalette() const { return fSQ != nullptr; }
  // Number of colours of the exact palette (0 when none was built).
  int32_t ExactColorCount() const { return fSQ ? int32_t(fSQ->size()) : 0; }
  bool GrayScale() const { return fGrayScale; }

  class Impl;  // the state of the histogram or neural quantiser

 private:
  int32_t fMethod = 0;
  std::unique_ptr<Impl> fQT;
  bool fGrayScale = false;
  std::unique_ptr<std::vector<TRGB>> fSQ;
  std::unordered_map<uint32_t, int32_t> fSQIndex;
  int32_t fNCol = 0;
  TVXBitmap* fSrcBmp = nullptr;
};

namespace vxdetail {
// Tests: the neural quantiser's searches run without their eight-at-a-time
// form while Value is true (both give the same palettes and indices).
void VXQuantizerForceScalar(bool Value);
}  // namespace vxdetail
