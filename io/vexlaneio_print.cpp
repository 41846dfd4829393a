// Printing the target: placed on the page by margins, size mode and
// alignment, and a preview of the printed page in a bitmap. Every step goes
// to the print log.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/bitmap.h"
#include "core/viewhost.h"
#include "core/vxdefs.h"
#include "gui/graphics.h"
#include "gui/printers.h"
#include "io/params.h"
#include "io/printlog.h"
#include "io/vexlaneio.h"
#include "winui/gdi_print.h"
#include "winui/win_metrics.h"

namespace {

// The default printer's failures as the library's.
template <typename F>
auto WithPrinter(F f) -> decltype(f()) {
  try {
    return f();
  } catch (const EPrinter& e) {
    throw EVXException(e.what());
  }
}

}  // namespace

void TVexlaneIO::PrintImagePosEx(TCanvas* PrtCanvas, int32_t dpix, int32_t dpiy, double x, double y, double Width,
                                 double Height, double GammaCorrection) {
  VXWritePrintLog("TVexlaneIO.PrintImagePosEx: begin");
  if (!MakeConsistentBitmap({})) return;
  TVXBitmap* bmp = VXBitmap();
  const int32_t left = int32_t(dpix * x), top = int32_t(dpiy * y);
  const int32_t width = int32_t(dpix * Width), height = int32_t(dpiy * Height);
  const double scale = bmp->Width() > 0 ? double(width) / bmp->Width() : 1;
  TResampleFilter filter = rfNone;
  if (PrintingFilterOnSubsampling() == rfNone || scale >= 1) {
    VXWritePrintLog("TVexlaneIO.PrintImagePosEx: calling RenderToCanvas without subsampling filter");
  } else {
    VXWritePrintLog("TVexlaneIO.PrintImagePosEx: calling RenderToCanvas with subsampling filter");
    filter = PrintingFilterOnSubsampling();
  }
  if (!bmp->RenderToCanvas(PrtCanvas, left, top, width, height, filter, GammaCorrection)) SetAborting(true);
  VXWritePrintLog("TVexlaneIO.PrintImagePosEx: end");
}

void TVexlaneIO::PrintImagePos(TCanvas* PrtCanvas, double x, double y, double Width, double Height,
                               double GammaCorrection) {
  HDC dc = PrtCanvas->Handle();
  PrintImagePosEx(PrtCanvas, GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY), x, y, Width, Height,
                  GammaCorrection);
}

void TVexlaneIO::PrintImageEx(TCanvas* PrtCanvas, int32_t dpix, int32_t dpiy, double PageWidth, double PageHeight,
                              double MarginLeft, double MarginTop, double MarginRight, double MarginBottom,
                              TVXVerticalPos VerticalPos, TVXHorizontalPos HorizontalPos, TVXSize Size,
                              double SpecWidth, double SpecHeight, double GammaCorrection) {
  VXWritePrintLog("TVexlaneIO.PrintImageEx: begin");
  if (!MakeConsistentBitmap({})) return;
  TVXBitmap* bmp = VXBitmap();
  int32_t imageDpiX, imageDpiY;
  if (TVXViewHost* view = AttachedVexlane()) {
    imageDpiX = view->DpiX();
    imageDpiY = view->DpiY();
  } else {
    imageDpiX = Params().DpiX();
    imageDpiY = Params().DpiY();
  }
  if (imageDpiX <= 1) imageDpiX = dpix;
  if (imageDpiY <= 1) imageDpiY = dpiy;
  VXWritePrintLog("TVexlaneIO.PrintImageEx: setting page sizes");
  const double aw = PageWidth - (MarginLeft + MarginRight), ah = PageHeight - (MarginTop + MarginBottom);
  double w = 0, h = 0;
  switch (Size) {
    case vxsNormal:
      w = double(bmp->Width()) / imageDpiX;
      h = double(bmp->Height()) / imageDpiY;
      break;
    case vxsFitToPage:
    case vxsFillPage: {
      const double iw = double(bmp->Width()) / dpix, ih = double(bmp->Height()) / dpiy;
      const double f = Size == vxsFitToPage ? std::min(aw / iw, ah / ih) : std::max(aw / iw, ah / ih);
      w = iw * f;
      h = ih * f;
      break;
    }
    case vxsFitToPageStretch:
      w = aw;
      h = ah;
      break;
    case vxsSpecifiedSize:
      w = SpecWidth;
      h = SpecHeight;
      break;
  }
  double x = 0, y = 0;
  switch (HorizontalPos) {
    case vxhpLeft: x = MarginLeft; break;
    case vxhpCenter: x = MarginLeft + (aw - w) / 2; break;
    case vxhpRight: x = MarginLeft + aw - w; break;
  }
  switch (VerticalPos) {
    case vxvpTop: y = MarginTop; break;
    case vxvpCenter: y = MarginTop + (ah - h) / 2; break;
    case vxvpBottom: y = MarginTop + ah - h; break;
  }
  PrintImagePosEx(PrtCanvas, dpix, dpiy, x, y, w, h, GammaCorrection);
  VXWritePrintLog("TVexlaneIO.PrintImageEx: end");
}

void TVexlaneIO::PrintImage(TCanvas* PrtCanvas, double MarginLeft, double MarginTop, double MarginRight,
                            double MarginBottom, TVXVerticalPos VerticalPos, TVXHorizontalPos HorizontalPos,
                            TVXSize Size, double SpecWidth, double SpecHeight, double GammaCorrection) {
  VXWritePrintLog("TVexlaneIO.PrintImage: begin");
  if (!PrtCanvas) PrtCanvas = WithPrinter([] { return Printer()->Canvas(); });
  HDC dc = PrtCanvas->Handle();
  const int32_t dpix = GetDeviceCaps(dc, LOGPIXELSX), dpiy = GetDeviceCaps(dc, LOGPIXELSY);
  const int32_t pw = GetDeviceCaps(dc, HORZRES), ph = GetDeviceCaps(dc, VERTRES);
  if (dpix > 0 && dpiy > 0)
    PrintImageEx(PrtCanvas, dpix, dpiy, double(pw) / dpix, double(ph) / dpiy, MarginLeft, MarginTop, MarginRight,
                 MarginBottom, VerticalPos, HorizontalPos, Size, SpecWidth, SpecHeight, GammaCorrection);
  VXWritePrintLog("TVexlaneIO.PrintImage: end");
}

void TVexlaneIO::PreviewPrintImage(TBitmap* DestBitmap, int32_t MaxBitmapWidth, int32_t MaxBitmapHeight,
                                   TPrinter* PrinterObj, double MarginLeft, double MarginTop, double MarginRight,
                                   double MarginBottom, TVXVerticalPos VerticalPos, TVXHorizontalPos HorizontalPos,
                                   TVXSize Size, double SpecWidth, double SpecHeight, double GammaCorrection) {
  if (!DestBitmap) return;
  int32_t pw = 0, ph = 0, dpix = 0, dpiy = 0;
  WithPrinter([&] {
    TPrinter* prn = PrinterObj ? PrinterObj : Printer();
    HDC dc = prn->Canvas()->Handle();
    pw = prn->PageWidth();
    ph = prn->PageHeight();
    dpix = GetDeviceCaps(dc, LOGPIXELSX);
    dpiy = GetDeviceCaps(dc, LOGPIXELSY);
    return 0;
  });
  // A page of no pixels, or no room for one, leaves the bitmap as it is.
  if (pw <= 0 || ph <= 0 || MaxBitmapWidth < 6 || MaxBitmapHeight < 6) return;
  const double zoom = std::min((MaxBitmapWidth - 5) / (pw / 100.0), (MaxBitmapHeight - 5) / (ph / 100.0));
  const double factor = zoom / 100;
  const int32_t sw = int32_t(pw * factor), sh = int32_t(ph * factor);
  const int32_t sdpix = int32_t(dpix * factor), sdpiy = int32_t(dpiy * factor);
  DestBitmap->SetPixelFormat(pf24bit);
  DestBitmap->SetSize(sw, sh);
  TCanvas* canvas = DestBitmap->Canvas();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(clWhite);
  canvas->FillRect(Rect(0, 0, sw, sh));
  if (sdpix < 1 || sdpiy < 1) return;
  PrintImageEx(canvas, sdpix, sdpiy, double(sw) / sdpix, double(sh) / sdpiy, MarginLeft, MarginTop, MarginRight,
               MarginBottom, VerticalPos, HorizontalPos, Size, SpecWidth, SpecHeight, GammaCorrection);
  canvas->Brush()->SetStyle(bsClear);
  canvas->Pen()->SetColor(clSilver);
  canvas->Pen()->SetStyle(psDot);
  canvas->Pen()->SetWidth(1);
  canvas->Rectangle(int32_t(MarginLeft * sdpix), int32_t(MarginTop * sdpiy), int32_t(sw - MarginRight * sdpix),
                    int32_t(sh - MarginBottom * sdpiy));
}
