// TVexlaneProc: chroma key, transparent colour boxes and the dominant colour.

#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/containers.h"
#include "core/threshold.h"
#include "proc/chromakey.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

TRGB TVexlaneProc::GuessChromaKeyColor() {
  TRGB color{0, 0, 0};
  if (!CheckFormat(TVXPixelFormatSet())) return color;
  VXGuessChromaKeyColor(fVXBitmap, color);
  return color;
}

void TVexlaneProc::RemoveChromaKey(int32_t KeyPixelX, int32_t KeyPixelY, double Tolerance, int32_t Saturation,
                                   int32_t FeatherEdges, int32_t HueReduction, bool RemoveNoise) {
  const bool guess = KeyPixelX == -1 && KeyPixelY == -1;
  if (!guess) {
    // A key pixel outside the work bitmap (the selection's box or the image)
    // names no colour.
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    TVXMask* mask = nullptr;
    GetReSel(x1, y1, x2, y2, mask);
    if (KeyPixelX < 0 || KeyPixelY < 0 || KeyPixelX >= x2 - x1 || KeyPixelY >= y2 - y1) return;
  }
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, "RemoveChromaKey",
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 TRGB key;
                 if (guess)
                   VXGuessChromaKeyColor(work, key);
                 else
                   key = work->Pixels(KeyPixelX, KeyPixelY);
                 VXDoRemoveChromaKey(work, Saturation, FeatherEdges, this, OnProgress, RemoveNoise, HueReduction,
                                     Tolerance, VXPackRGB(key));
               });
}

void TVexlaneProc::RemoveChromaKey(TRGB KeyColorRGB, double Tolerance, int32_t Saturation, int32_t FeatherEdges,
                                   int32_t HueReduction, bool RemoveNoise) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, "RemoveChromaKey",
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoRemoveChromaKey(work, Saturation, FeatherEdges, this, OnProgress, RemoveNoise, HueReduction,
                                     Tolerance, VXPackRGB(KeyColorRGB));
               });
}

void TVexlaneProc::SetTransparentColors(TRGB MinColor, TRGB MaxColor, int32_t Alpha) {
  RunOperation(TVXPixelFormatSet{vx1g, vx24RGB}, "SetTransparentColors",
               [&](TVXBitmap* work, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoSetTransparentColors(work, x1, y1, x2, y2, this, OnProgress, Alpha, VXPackRGB(MaxColor),
                                          VXPackRGB(MinColor));
               });
}

double TVexlaneProc::GetDominantColor(TRGB& Color) {
  if (!CheckFormat(TVXPixelFormatSet())) return -1;
  TVXBitmap* b = fVXBitmap;
  const int64_t n = int64_t(b->Width()) * b->Height();
  if (b->IsEmpty() || n == 0) return -1;
  double result = -1;
  if (b->PixelFormat() == vx1g) {
    int32_t hist[256];
    VXCalcGrayHistogram(b, hist);
    const int64_t w1 = hist[1], w0 = hist[0];
    if (w1 < w0) {
      Color = TRGB{0, 0, 0};
      result = double(w0) / double(n) * 100;
    } else {
      Color = TRGB{255, 255, 255};
      result = double(w1) / double(n) * 100;
    }
  } else if (b->PixelFormat() == vx24RGB) {
    THash1 hash(13);
    std::vector<int64_t> counts;
    std::vector<int32_t> colors;
    for (int32_t y = 0; y < b->Height(); ++y) {
      const TRGB* p = static_cast<const TRGB*>(b->GetRow(y));
      for (int32_t x = 0; x < b->Width(); ++x) {
        const int32_t key = VXPackRGB(p[x]);
        int32_t slot;
        THash1Item* item;
        if (hash.Insert2(key, slot, item)) {
          hash.SetValue(slot, item, int32_t(counts.size()));
          counts.push_back(1);
          colors.push_back(key);
        } else {
          ++counts[size_t(hash.GetValue(slot, item))];
        }
      }
      b->FreeRow(y);
    }
    int64_t best = -1;
    int32_t winner = 0;
    for (bool more = hash.IterateBegin(); more; more = hash.IterateNext()) {
      const int32_t i = hash.IterateGetValue();
      if (counts[size_t(i)] > best) best = counts[size_t(i)], winner = colors[size_t(i)];
    }
    Color = VXUnpackRGB(winner);
    result = double(best) / double(n) * 100;
  }
  DoFinishWork();
  return result;
}
