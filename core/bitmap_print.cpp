// Drawing a bitmap onto a device canvas (a printer's above all) through
// device-independent bitmaps, in strips small enough for printer drivers.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/bitmap.h"
#include "core/bitmap_print.h"
#include "core/dib.h"
#include "core/pixels.h"
#include "core/printlog.h"
#include "core/resample_hook.h"
#include "gui/graphics.h"
#include "platform/win_memory.h"
#include "winui/gdi.h"

namespace {

// The largest DIB a strip may make.
constexpr int64_t kMaxStripBytes = 41943040;

uint8_t GammaByte(int i, double Gamma) {
  const double v = std::nearbyint(255.0 * std::pow(i / 255.0, 1.0 / Gamma));
  return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace

void _DIBDrawTo(TCanvas* Canvas, HGLOBAL DIB, int32_t xSrc, int32_t ySrc, int32_t SrcWidth, int32_t SrcHeight,
                int32_t xDst, int32_t yDst, int32_t DestWidth, int32_t DestHeight) {
  if (!Canvas || !DIB) return;
  const size_t size = GlobalSize(DIB);
  auto* p = static_cast<const uint8_t*>(GlobalLock(DIB));
  if (!p) return;
  if (size >= sizeof(BITMAPINFOHEADER)) {
    const auto* info = reinterpret_cast<const BITMAPINFO*>(p);
    const BITMAPINFOHEADER& h = info->bmiHeader;
    size_t offset = h.biSize;
    if (h.biBitCount <= 8) offset += size_t(h.biClrUsed ? h.biClrUsed : (1u << h.biBitCount)) * 4;
    else if (h.biCompression == BI_BITFIELDS) offset += 12;
    if (h.biSize >= sizeof(BITMAPINFOHEADER) && offset < size) {
      HDC dc = Canvas->Handle();
      SetStretchBltMode(dc, COLORONCOLOR);
      StretchDIBits(dc, xDst, yDst, DestWidth, DestHeight, xSrc, ySrc, SrcWidth, SrcHeight, p + offset, info,
                    DIB_RGB_COLORS, SRCCOPY);
    }
  }
  GlobalUnlock(DIB);
}

bool PrintPict(TCanvas* Canvas, int32_t xDst, int32_t yDst, TVXBitmap* Bitmap, int32_t FirstCol, int32_t FirstRow,
               int32_t Width, int32_t Rows) {
  VXPrintLogLine("PrintPict: calling _CopyBitmaptoDIBEx");
  HGLOBAL dib = _CopyBitmaptoDIBEx(Bitmap, FirstCol, FirstRow, FirstCol + Width, FirstRow + Rows, 200, 200);
  if (!dib) {
    VXPrintLogLine("PrintPict: DIB not allocated");
    return false;
  }
  VXPrintLogLine("PrintPict: calling _DIBDrawTo");
  _DIBDrawTo(Canvas, dib, 0, 0, Width, Rows, xDst, yDst, Width, Rows);
  VXPrintLogLine("PrintPict: calling GlobalFree");
  GlobalFree(dib);
  return true;
}

bool TVXBitmap::RenderToCanvas(TCanvas* DestCanvas, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                               TResampleFilter Filter, double Gamma) {
  VXPrintLogLine("TVXBitmap.RenderToCanvas: begin");
  if (Width() == 0 || Height() == 0 || dxDst == 0 || dyDst == 0) return true;
  if (Filter == rfNone) {
    VXPrintLogLine("TVXBitmap.RenderToCanvas: filter=none, gamma=1, gamma=0");
    HGLOBAL dib = _CopyBitmaptoDIBEx(this, 0, 0, 0, 0, 200, 200);
    if (!dib) {
      VXPrintLogLine("TVXBitmap.RenderToCanvas: DIB not allocated");
      return false;
    }
    // A gamma of 1 is none, and so is one of 0 or below.
    if (Gamma != 1 && Gamma > 0) VXGammaCorrectDIB(dib, Gamma);
    VXPrintLogLine("TVXBitmap.RenderToCanvas: calling _DIBDrawTo");
    _DIBDrawTo(DestCanvas, dib, 0, 0, Width(), Height(), xDst, yDst, dxDst, dyDst);
    GlobalFree(dib);
    VXPrintLogLine("TVXBitmap.RenderToCanvas: end");
    return true;
  }
  if (dxDst < 0 || dyDst < 0) return false;

  const int64_t rowLen = std::max<int64_t>(1, VXBitmapRowLen(dxDst, 24, BitAlignment()));
  int64_t n = std::max<int64_t>(1, std::min<int64_t>(dyDst, (MinFileSize() / 4) / rowLen));
  while (n > 1 && rowLen * n > kMaxStripBytes) --n;
  VXPrintLogLine("TVXBitmap.RenderToCanvas: stripHeight=" + std::to_string(n));

  TVXBitmap temp;
  VXPrintLogLine("TVXBitmap.RenderToCanvas: allocating " + std::to_string(dxDst) + "x" + std::to_string(dyDst));
  const TVXPixelFormat format = PixelFormat();
  bool ok = true;
  if (format != vx1g && format != vx24RGB) {
    ok = temp.Allocate(dxDst, dyDst, format);
    VXPrintLogLine("TVXBitmap.RenderToCanvas: _VXBmpStretchEx");
    if (ok) VXHookStretchNearest(this, &temp);
  } else if (format == vx1g) {
    ok = temp.Allocate(dxDst, dyDst, (Filter == rfProjectBW || Filter == rfProjectWB) ? vx1g : vx24RGB);
    VXPrintLogLine("TVXBitmap.RenderToCanvas: _Resample1BitEx");
    if (ok) VXHookResample1Bit(this, &temp, Filter);
  } else {
    ok = temp.Allocate(dxDst, dyDst, vx24RGB);
    VXPrintLogLine("TVXBitmap.RenderToCanvas: _ResampleEx");
    if (ok) VXHookResampleBitmap(this, &temp, Filter);
  }
  if (!ok) {
    VXPrintLogLine("TVXBitmap.RenderToCanvas: DIB not allocated");
    return false;
  }
  if (DestCanvas) DestCanvas->SetCopyMode(cmSrcCopy);
  if (temp.PixelFormat() == vx24RGB && Gamma != 1 && Gamma > 0) {
    VXPrintLogLine("TVXBitmap.RenderToCanvas: gamma");
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = GammaByte(i, Gamma);
    const size_t bytes = size_t(temp.Width()) * 3;
    for (int32_t y = 0; y < temp.Height(); ++y) {
      auto* row = static_cast<uint8_t*>(temp.ScanLine(y));
      for (size_t i = 0; i < bytes; ++i) row[i] = table[row[i]];
    }
  }
  bool all = true;
  int32_t y = yDst;
  for (int32_t first = 0; first < dyDst;) {
    VXPrintLogLine("TVXBitmap.RenderToCanvas: PrintPict y=" + std::to_string(first));
    if (!PrintPict(DestCanvas, xDst, y, &temp, 0, first, temp.Width(), int32_t(n))) all = false;
    y += int32_t(n);
    first += int32_t(n);
    n = std::min<int64_t>(dyDst - first, n);
  }
  VXPrintLogLine("TVXBitmap.RenderToCanvas: end");
  return all;
}

void TVXBitmap::DrawToCanvas(TCanvas* DestCanvas, int32_t xDst, int32_t yDst) {
  RenderToCanvas(DestCanvas, xDst, yDst, Width(), Height(), rfNone, 0);
}
