// The viewer's painting: the back buffer rendered from the background and
// the layers, and brought to the window.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/canvas_tools.h"
#include "core/geometry.h"
#include "core/rotate.h"
#include "core/settings.h"
#include "view/vexlaneview.h"
#include "winui/drawdib.h"
#include "winui/gdi.h"
#include "winui/win_metrics.h"
#include "winui/win_paint.h"
#include "winui/win_window.h"

namespace {

int32_t Rnd(double v) { return std::isfinite(v) ? int32_t(std::nearbyint(v)) : 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Properties

TBitmap* TVexlaneView::BackBuffer() { return fTBitmap ? fTBitmap->VclBitmap() : nullptr; }

void TVexlaneView::SetGradientEndColor(TColor Value) {
  fGradientEndColor = Value;
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle) {
  fChessboardSize = Size;
  fChessboardBrushStyle = BrushStyle;
}

void TVexlaneView::SetWallPaper(TPicture* Value) {
  if (Value == nullptr) {
    fWallPaper = std::make_unique<TPicture>();
  } else {
    if (!fWallPaper) fWallPaper = std::make_unique<TPicture>();
    fWallPaper->Assign(Value);
  }
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::SetWallPaperStyle(TVXWallPaperStyle Value) {
  if (Value == fWallPaperStyle) return;
  fWallPaperStyle = Value;
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::SetDisplayGrid(bool Value) {
  fDisplayGrid = Value;
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::SetDisplayGridLyr(int32_t Value) {
  fDisplayGridLyr = Value;
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::SetSoftCrop(TVXSoftCropMode Value) {
  fSoftCrop = Value;
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::SetSoftCropValue(int32_t Value) {
  fSoftCropValue = Value;
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

// ---------------------------------------------------------------------------
// Paint and PaintRect

void TVexlaneView::Paint() {
  if (!HandleAllocated()) return;
  const int32_t cw = GetClientWidth(), ch = GetClientHeight();
  if ((!CanPaint() || cw == 0 || ch == 0) && !fOffscreenPaint) return;
  try {
    if (InState(csDesigning)) {
      VXRenderBackground(true, Canvas(), nullptr, fBackgroundStyle, fBackGround, 0, 0, Width(), Height(), 0, 0, 0, 0,
                         fChessboardSize, fChessboardBrushStyle, fGradientEndColor, fWallPaper.get(),
                         fWallPaperStyle);
    } else {
      if (fLockPaint == 0) {
        TRect r{0, 0, cw, ch};
        if (!fFullUpdateRequest) {
          RECT clip;
          if (GetClipBox(Canvas()->Handle(), &clip) != 0) r = TRect{clip.left, clip.top, clip.right, clip.bottom};
          if (r.Right - r.Left <= 0) r.Right = r.Left + cw;
          if (r.Bottom - r.Top <= 0) r.Bottom = r.Top + ch;
        }
        PaintRect(r);
        if (OnDrawCanvas) OnDrawCanvas(static_cast<TVXView*>(this), Canvas(), TRect{0, 0, cw, ch});
      }
      fFullUpdateRequest = false;
      if (!fRectMoving) DrawAnimPolygons(this);
      if (OnPaint) OnPaint(static_cast<TVXView*>(this));
    }
  } catch (const std::exception&) {
    // A failing handler must not break the window's painting.
  }
  if (fDrawVersion) {
    TCanvas* c = Canvas();
    c->Font()->SetName("Arial");
    c->Font()->SetHeight(13);
    c->Font()->SetColor(clBlack);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(clWhite);
    const std::string text = std::string("Vexlane Version ") + "6.0.0" + " - " + "9" + "/" + "3" + "/" + "2015";
    const TSize sz = c->TextExtent(text);
    c->TextOut(cw - sz.cx, ch - sz.cy, text);
  }
  try {
    DrawInteractionHint();
  } catch (const std::exception&) {
  }
  if (fAutoCursors && fFirstTimeSetCursor) {
    fFirstTimeSetCursor = false;
    TVXView::SetCursor(fCursor);
  }
  if (HandleAllocated()) ValidateRect(Handle(), nullptr);
}

void TVexlaneView::PaintRect(const TRect& Rect) {
  if (!CanPaint() && !fOffscreenPaint) return;
  const int32_t cw = GetClientWidth(), ch = GetClientHeight();
  if (!fTBitmap) {
    fTBitmap = std::make_unique<TVXBitmap>();
    fTBitmap->SetLocation(vxTBitmap);
  }
  if (fTBitmap->Width() != cw || fTBitmap->Height() != ch || fTBitmap->PixelFormat() != vx24RGB) {
    fTBitmap->Allocate(cw, ch, vx24RGB);
    fDBToDraw = true;
  }
  if (fDBToDraw) {
    PaintToEx(fTBitmap.get(), nullptr, &Rect, true, true);
    if (OnDrawBackBuffer) OnDrawBackBuffer(static_cast<TVXView*>(this));
    fDBToDraw = false;
  }
  Blit(Rect);
}

void TVexlaneView::Blit(const TRect& Rect) {
  if (!HandleAllocated() || !fTBitmap || fTBitmap->IsEmpty()) return;
  const int32_t cw = GetClientWidth(), ch = GetClientHeight();
  const int32_t x = std::max(Rect.Left, 0), y = std::max(Rect.Top, 0);
  const int32_t w = std::min(Rect.Right - Rect.Left, cw), h = std::min(Rect.Bottom - Rect.Top, ch);
  if (w <= 0 || h <= 0) return;
  // The screen as it is now (the settings keep what it was at start-up).
  const int bits = GetDeviceCaps(nullptr, BITSPIXEL);
  const bool remote = GetSystemMetrics(SM_REMOTESESSION) != 0;
  HDC dst = Canvas()->Handle();
  TBitmap* back = fTBitmap->VclBitmap();
  HDC src = back->Canvas()->Handle();
  if ((fUseDrawDibDraw || (bits > 0 && bits <= 8)) && !remote) {
    BITMAPINFOHEADER bi;
    bi.biSize = 40;
    bi.biWidth = cw;
    bi.biHeight = ch;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = 0;
    if (fHDrawDib == nullptr) fHDrawDib = DrawDibOpen();
    // DrawDib takes bottom-up rows, the last row of the buffer first: the
    // buffer's own rows when they lie so (a bottom-up DIB section), else a
    // top-down header over them, else a copy.
    const size_t rowBytes = size_t(back->RowBytes());
    auto* first = static_cast<uint8_t*>(back->ScanLine(0));
    auto* last = static_cast<uint8_t*>(back->ScanLine(ch - 1));
    const bool bottomUp = ch == 1 || static_cast<uint8_t*>(back->ScanLine(ch - 2)) == last + rowBytes;
    const bool topDown = !bottomUp && static_cast<uint8_t*>(back->ScanLine(1)) == first + rowBytes;
    if (bottomUp && (ch == 1 || first == last + rowBytes * size_t(ch - 1))) {
      DrawDibDraw(fHDrawDib, dst, x, y, w, h, &bi, last, x, ch - y - h, w, h, 0);
    } else if (topDown && last == first + rowBytes * size_t(ch - 1)) {
      bi.biHeight = -ch;
      DrawDibDraw(fHDrawDib, dst, x, y, w, h, &bi, first, x, y, w, h, 0);
    } else {
      std::vector<uint8_t> rows(rowBytes * size_t(ch));
      for (int32_t r = 0; r < ch; ++r) std::memcpy(&rows[size_t(ch - 1 - r) * rowBytes], back->ScanLine(r), rowBytes);
      DrawDibDraw(fHDrawDib, dst, x, y, w, h, &bi, rows.data(), x, ch - y - h, w, h, 0);
    }
  } else if (bits > 0 && bits <= 23 && !remote) {
    SetStretchBltMode(dst, HALFTONE);
    StretchBlt(dst, x, y, w, h, src, x, y, w, h, SRCCOPY);
  } else if (fIsNavigator && (fNavigatorOptions & (1u << vxnoMarkOuter)) != 0) {
    NavigatorBlit(x, y, w, h);
  } else {
    BitBlt(dst, x, y, w, h, src, x, y, SRCCOPY);
  }
}

void TVexlaneView::DrawTo(TCanvas* ACanvas) {
  if (!fTBitmap || fTBitmap->IsEmpty() || ACanvas == nullptr) return;
  BitBlt(ACanvas->Handle(), 0, 0, frx, fry, fTBitmap->VclBitmap()->Canvas()->Handle(), fOffX, fOffY, SRCCOPY);
}

void TVexlaneView::UpdateRect(const TRect& Rect) {
  fDBToDraw = true;
  if (!HandleAllocated()) return;
  RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  InvalidateRect(Handle(), &r, FALSE);
}

void TVexlaneView::DrawBackgroundToCanvas(TCanvas* ACanvas, int32_t Width_, int32_t Height_) {
  if (Width_ == -1 && Height_ == -1) {
    Width_ = Width();
    Height_ = Height();
  }
  VXRenderBackground(InState(csDesigning), ACanvas, nullptr, fBackgroundStyle, fBackGround, 0, 0, Width_, Height_, 0,
                     0, 0, 0, fChessboardSize, fChessboardBrushStyle, fGradientEndColor, fWallPaper.get(),
                     fWallPaperStyle);
}

// ---------------------------------------------------------------------------
// Rendering

void TVexlaneView::AfterDrawLayer(int32_t LayerIndex, TVXBitmap* Dest, const TRect* UpdRect) {
  (void)LayerIndex;
  (void)Dest;
  (void)UpdRect;
}

void TVexlaneView::PaintBackground(TVXBitmap* ABitmap, const TRect* UpdRect, const TVXLayer* First, bool CoverTest) {
  if (CoverTest && First != nullptr) {
    const TVXBitmap* b = First->Bitmap();
    const bool opaque = !fEnableAlphaChannel || !b->HasAlphaChannel() || b->AlphaChannelOpt()->Full();
    if (First->PosX() == 0 && First->PosY() == 0 && First->Rotate() == 0 && fOffX <= 0 && fOffY <= 0 &&
        frx >= ABitmap->Width() && fry >= ABitmap->Height() && opaque && First->Operation() == vxlNormal &&
        First->Transparency() >= 255 && First->Opacity() >= 1)
      return;
  }
  TBitmap* pb = ABitmap->VclBitmap();
  TCanvas* c = pb->Canvas();
  const TRect whole{0, 0, ABitmap->Width(), ABitmap->Height()};
  bool handled = false;
  if (OnDrawBackground) OnDrawBackground(static_cast<TVXView*>(this), c, whole, handled);
  if (handled) return;
  HRGN clip = nullptr;
  if (UpdRect != nullptr) {
    clip = CreateRectRgn(UpdRect->Left, UpdRect->Top, UpdRect->Right + 1, UpdRect->Bottom + 1);
    SelectClipRgn(c->Handle(), clip);
  }
  VXRenderBackground(InState(csDesigning), c, pb, fBackgroundStyle, fBackGround, 0, 0, whole.Right, whole.Bottom,
                     fOffX, fOffY, fOffX + frx, fOffY + fry, fChessboardSize, fChessboardBrushStyle,
                     fGradientEndColor, fWallPaper.get(), fWallPaperStyle);
  if (clip != nullptr) {
    SelectClipRgn(c->Handle(), nullptr);
    DeleteObject(clip);
  }
}

void TVexlaneView::ApplyLayerMask(TVXLayer* L, TVXLayer* M, std::unique_ptr<TVXBitmap>& SavedAlpha) {
  TVXBitmap* B = L->Bitmap();
  if (TVXBitmap* cached = L->CachedLayerMask()) {
    auto copy = std::make_unique<TVXBitmap>();
    copy->Assign(cached);
    SavedAlpha = B->SetAlphaChannel(std::move(copy));
    return;
  }
  TVXBitmap* mb = M->Bitmap();
  if (mb->PixelFormat() != vx8g) {
    mb->RemoveAlphaChannel(false, 0);
    mb->SetPixelFormat(vx8g);
  }
  const int32_t bw = B->Width(), bh = B->Height();
  auto A = std::make_unique<TVXBitmap>(bw, bh, vx8g);
  const bool hadAlpha = B->HasAlphaChannel();
  const int32_t Lw = L->Width(), Lh = L->Height(), Mw = M->Width(), Mh = M->Height();
  const int32_t MBw = mb->Width(), MBh = mb->Height();
  // A mask of no pixels covers nothing.
  const bool empty = MBw == 0 || MBh == 0 || bw == 0 || bh == 0;
  const double ex = empty ? 1 : double(Mw) / MBw, ey = empty ? 1 : double(Mh) / MBh;
  std::vector<int32_t> D(size_t(std::max(bw, 0)));
  for (int32_t j = 0; j < bw; ++j)
    D[size_t(j)] = empty ? -1 : Rnd(double(Lw) / bw * j / ex - M->PosX() / ex + L->PosX() / ex);
  const bool soft = fSoftCrop == vxsfAlphaBlend && !fLayers.empty();
  const int32_t w0 = soft ? fLayers[0]->Bitmap()->Width() : 0, h0 = soft ? fLayers[0]->Bitmap()->Height() : 0;
  for (int32_t r = 0; r < bh; ++r) {
    const int32_t mr = empty ? -1 : Rnd(double(Lh) / bh * r / ey - M->PosY() / ey + L->PosY() / ey);
    auto* out = static_cast<uint8_t*>(A->ScanLine(r));
    if (soft && !empty) {
      const int32_t y0 = Rnd(ey * mr) + L->PosY();
      if (y0 < 0 || y0 >= h0) {
        std::memset(out, uint8_t(std::clamp(fSoftCropValue, 0, 255)), size_t(bw));
        continue;
      }
    }
    const uint8_t* mrow = mr >= 0 && mr < MBh ? static_cast<const uint8_t*>(mb->ScanLine(mr)) : nullptr;
    const uint8_t* keep = hadAlpha ? static_cast<const uint8_t*>(B->AlphaChannelOpt()->ScanLine(r)) : nullptr;
    for (int32_t j = 0; j < bw; ++j) {
      const int32_t mc = D[size_t(j)];
      uint8_t m = mrow != nullptr && mc >= 0 && mc < MBw ? mrow[mc] : 0;
      if (soft && !empty) {
        const int32_t x0 = Rnd(ex * mc) + L->PosX();
        if (x0 < 0 || x0 >= w0) m = uint8_t(std::clamp(fSoftCropValue, 0, 255));
      }
      out[j] = std::min<uint8_t>(keep ? keep[j] : 255, m);
    }
  }
  auto cache = std::make_unique<TVXBitmap>();
  cache->Assign(A.get());
  SavedAlpha = B->SetAlphaChannel(std::move(A));
  L->SetCachedLayerMask(std::move(cache));
}

void TVexlaneView::DrawLayer(int32_t Index, TVXBitmap* ABitmap, uint8_t** Rows, const TRect* UpdRect, bool First) {
  TVXLayer* L = fLayers[size_t(Index)].get();
  TVXBitmap* B = L->Bitmap();
  TResampleFilter filter = fZoomFilter;
  if (fStable > 0 || (L->ResizedWidth() == 0 && L->ResizedHeight() == 0 && fZoomX == 100 && fZoomY == 100))
    filter = rfNone;
  else if (L->UseResampleFilter())
    filter = L->ResampleFilter();
  const bool alpha = fEnableAlphaChannel && B->HasAlphaChannel();
  const bool solid = fBackgroundStyle == vxbsSolid && First;
  const bool simple = fLayersSync || (fLayers.size() == 1 && L->ResizedWidth() == 0 && L->ResizedHeight() == 0 &&
                                      L->PosX() == 0 && L->PosY() == 0 && L->Rotate() == 0);
  if (L->AlphaEdgeFeathering() > 0 && B->HasAlphaChannel()) B->FeatherAlphaEdges(L->AlphaEdgeFeathering());
  TVXDrawingInfo& di = L->DrawingInfo();
  if (simple) {
    int32_t* xl = fXScr2BmpSize > 0 && size_t(fXScr2Bmp) < fGXScr2Bmp.size() ? &fGXScr2Bmp[size_t(fXScr2Bmp)] : nullptr;
    int32_t* yl = fYScr2BmpSize > 0 && size_t(fYScr2Bmp) < fGYScr2Bmp.size() ? &fGYScr2Bmp[size_t(fYScr2Bmp)] : nullptr;
    // The viewer's tables only when they cover the drawn area.
    if (xl && size_t(fXScr2Bmp) + size_t(frx) > fGXScr2Bmp.size()) xl = nullptr;
    if (yl && size_t(fYScr2Bmp) + size_t(fry) > fGYScr2Bmp.size()) yl = nullptr;
    if (!xl || !yl) xl = yl = nullptr;
    B->RenderToTVXBitmap(ABitmap, Rows, xl, yl, UpdRect, fOffX, fOffY, frx, fry, fo1x, fo1y, fo2x, fo2y, alpha, solid,
                         L->Transparency(), filter, true, L->Operation(), L->Opacity());
    L->SetClientAreaBox(TRect{fOffX, fOffY, fOffX + frx, fOffY + fry});
    di.XDst = fOffX;
    di.YDst = fOffY;
    di.WidthDst = frx;
    di.HeightDst = fry;
    di.XSrc = fo1x;
    di.YSrc = fo1y;
    di.WidthSrc = fo2x;
    di.HeightSrc = fo2y;
    return;
  }
  if (Index > 0 && L->Magnify().Enabled && L->Magnify().Rate >= 1) FillMagnifier(L, ABitmap, filter);
  // Rotated: drawn from a rotated copy at the display size, placed at the
  // rotated corners' bounding box; the layer's size and position are put
  // back afterwards.
  const int32_t savedRW = L->ResizedWidth(), savedRH = L->ResizedHeight();
  const int32_t savedX = L->PosX(), savedY = L->PosY();
  std::unique_ptr<TVXBitmap> rotated;
  TVXBitmap* src = B;
  if (L->Rotate() != 0) {
    rotated = RotatedLayerImage(L);
    src = rotated.get();
    const int32_t w = L->Width(), h = L->Height();
    std::vector<TPoint> corners{{0, 0}, {w, 0}, {w, h}, {0, h}};
    VXRotatePoints(corners, int32_t(std::trunc(w * L->RotateCenterX())), int32_t(std::trunc(h * L->RotateCenterY())),
                   L->Rotate());
    int32_t minX = corners[0].X, minY = corners[0].Y;
    for (int k = 0; k < 4; ++k) {
      minX = std::min(minX, corners[size_t(k)].X);
      minY = std::min(minY, corners[size_t(k)].Y);
      di.RotatedDest[k] = TPoint{int32_t(std::trunc((corners[size_t(k)].X + savedX) * fZoomD100X)) + fOffX - fViewX,
                                 int32_t(std::trunc((corners[size_t(k)].Y + savedY) * fZoomD100Y)) + fOffY - fViewY};
    }
    L->SetPosX(savedX + minX);
    L->SetPosY(savedY + minY);
    L->SetWidth(src->Width());
    L->SetHeight(src->Height());
  }
  DrawPlaced(L, src, ABitmap, Rows, UpdRect, fEnableAlphaChannel && src->HasAlphaChannel(), solid, filter);
  if (rotated) {
    L->SetWidth(savedRW);
    L->SetHeight(savedRH);
    L->SetPosX(savedX);
    L->SetPosY(savedY);
  }
}

void TVexlaneView::FillMagnifier(TVXLayer* L, TVXBitmap* ABitmap, TResampleFilter Filter) {
  TVXBitmap* B = L->Bitmap();
  const TVXLayerMagnification& m = L->Magnify();
  if (L->ResizedWidth() > 0 || L->ResizedHeight() > 0)
    B->Allocate(L->ResizedWidth() > 0 ? L->ResizedWidth() : B->Width(),
                L->ResizedHeight() > 0 ? L->ResizedHeight() : B->Height(), vx24RGB);
  const int32_t bw = B->Width(), bh = B->Height();
  if (bw <= 0 || bh <= 0) return;
  // The client rectangle under the lens, centred on the layer's centre.
  const int32_t cx = XBmp2Scr(L->PosX()) + int32_t(std::trunc(bw * fZoomD100X / 2));
  const int32_t cy = YBmp2Scr(L->PosY()) + int32_t(std::trunc(bh * fZoomD100Y / 2));
  const int32_t rw = int32_t(std::trunc(bw / (m.Rate / fZoomD100X)));
  const int32_t rh = int32_t(std::trunc(bh / (m.Rate / fZoomD100Y)));
  const int32_t rx = cx - rw / 2, ry = cy - rh / 2;
  if (m.Source == vxmCanvas) {
    if (B->PixelFormat() != vx24RGB) B->Allocate(bw, bh, vx24RGB);
    for (int32_t y = 0; y < bh; ++y) {
      const int32_t sy = std::clamp(ry + int32_t(int64_t(y) * rh / bh), 0, ABitmap->Height() - 1);
      for (int32_t x = 0; x < bw; ++x) {
        const int32_t sx = std::clamp(rx + int32_t(int64_t(x) * rw / bw), 0, ABitmap->Width() - 1);
        B->SetPixels(x, y, ABitmap->Pixels(sx, sy));
      }
    }
  } else {
    if (B->PixelFormat() != vx24RGB) B->SetPixelFormat(vx24RGB);
    const int32_t x1 = XScr2Bmp(rx), y1 = YScr2Bmp(ry);
    const int32_t w = XScr2Bmp(rx + rw) - x1 + 1, h = YScr2Bmp(ry + rh) - y1 + 1;
    TVXBitmap* b0 = fLayers[0]->Bitmap();
    if (x1 >= 0 && y1 >= 0 && x1 + w < b0->Width() && y1 + h < b0->Height() && w < b0->Width() && h < b0->Height()) {
      B->Fill(0);
      b0->RenderToTVXBitmapEx(B, 0, 0, bw, bh, x1, y1, w, h, false, 255, Filter, vxlNormal, 1.0);
    }
  }
  TVXBitmap* a = B->AlphaChannel();
  if (m.Style == vxmRectangle) {
    a->Fill(255);
  } else {
    // A filled ellipse from (0, 0) to (width - 1, height - 1).
    a->Fill(0);
    const double ex = (bw - 1) / 2.0, ey = (bh - 1) / 2.0;
    for (int32_t y = 0; y < bh; ++y)
      for (int32_t x = 0; x < bw; ++x) {
        const double dx = ex > 0 ? (x - ex) / ex : 0, dy = ey > 0 ? (y - ey) / ey : 0;
        if (dx * dx + dy * dy <= 1.0) a->SetPixels(x, y, TRGB{255, 255, 255});
      }
  }
}

std::unique_ptr<TVXBitmap> TVexlaneView::RotatedLayerImage(TVXLayer* L) {
  TVXBitmap* B = L->Bitmap();
  const int32_t w = L->Width(), h = L->Height();
  // The image at its display size (nearest pixel), alpha channel included.
  TVXBitmap disp(w, h, B->PixelFormat() == vx24RGB ? vx24RGB : vx24RGB);
  TVXBitmap alpha(w, h, vx8g);
  alpha.Fill(255);
  for (int32_t y = 0; y < h; ++y) {
    const int32_t sy = int32_t(int64_t(y) * B->Height() / std::max(h, 1));
    for (int32_t x = 0; x < w; ++x) {
      const int32_t sx = int32_t(int64_t(x) * B->Width() / std::max(w, 1));
      disp.SetPixels(x, y, B->Pixels(sx, sy));
      if (B->HasAlphaChannel()) alpha.SetPixels(x, y, TRGB{B->Alpha(sx, sy), B->Alpha(sx, sy), B->Alpha(sx, sy)});
    }
  }
  auto out = std::make_unique<TVXBitmap>();
  auto outAlpha = std::make_unique<TVXBitmap>();
  const bool antialias = fLayersRotationUseFilterOnPreview && fLayersRotationAntialias &&
                         (fLayersRotationFilter == vxrBilinear || fLayersRotationFilter == vxrBicubic) &&
                         !(fLayersRotationDelayFilterOnPreview && fStable > 0);
  if (antialias) {
    VXRotateAntialias24To(&disp, out.get(), clBlack, nullptr, {}, fLayersRotationFilter, L->Rotate());
    VXRotateAntialias8To(&alpha, outAlpha.get(), 0, fLayersRotationFilter, L->Rotate());
  } else {
    VXRotateNearestTo(&disp, out.get(), 0, nullptr, {}, L->Rotate());
    VXRotateNearestTo(&alpha, outAlpha.get(), 0, nullptr, {}, L->Rotate());
  }
  if (outAlpha->Width() == out->Width() && outAlpha->Height() == out->Height())
    (void)out->SetAlphaChannel(std::move(outAlpha));
  return out;
}

void TVexlaneView::DrawPlaced(TVXLayer* L, TVXBitmap* B, TVXBitmap* ABitmap, uint8_t** Rows, const TRect* UpdRect,
                              bool Alpha, bool Solid, TResampleFilter Filter) {
  TVXDrawingInfo& di = L->DrawingInfo();
  // Placed by its own position, one pixel toward the layer when the
  // conversion lands outside it.
  auto edge = [this](int32_t pos, bool horizontal) {
    int32_t v = horizontal ? XBmp2Scr(pos) : YBmp2Scr(pos);
    const int32_t back = horizontal ? XScr2Bmp(v) : YScr2Bmp(v);
    if (back < pos) ++v;
    else if (back > pos) --v;
    return v;
  };
  const int32_t w = L->ResizedWidth() != 0 ? L->ResizedWidth() : B->Width();
  const int32_t h = L->ResizedHeight() != 0 ? L->ResizedHeight() : B->Height();
  int32_t x1 = edge(L->PosX(), true), x2 = edge(L->PosX() + w, true);
  int32_t y1 = edge(L->PosY(), false), y2 = edge(L->PosY() + h, false);
  int32_t sx = 0, sy = 0, sw = B->Width(), sh = B->Height();
  L->SetClientAreaBox(TRect{x1, y1, x2, y2});
  if (L->Cropped() && !fLayers.empty()) {
    const int32_t boxW = x2 - x1, boxH = y2 - y1;
    const TVXBitmap* b0 = fLayers[0]->Bitmap();
    if (XScr2Bmp(x1) < 0) {
      x1 = XBmp2Scr(0);
      sx = w != 0 ? int32_t(-std::trunc(double(B->Width()) / w * L->PosX())) : 0;
    }
    if (YScr2Bmp(y1) < 0) {
      y1 = YBmp2Scr(0);
      sy = h != 0 ? int32_t(-std::trunc(double(B->Height()) / h * L->PosY())) : 0;
    }
    if (L->PosX() + w > b0->Width()) {
      x2 = XBmp2Scr(b0->Width());
      if (boxW != 0) sw = int32_t(std::trunc(double(B->Width()) / boxW * (x2 - x1)));
    } else {
      sw -= sx;
    }
    if (L->PosY() + h > b0->Height()) {
      y2 = YBmp2Scr(b0->Height());
      if (boxH != 0) sh = int32_t(std::trunc(double(B->Height()) / boxH * (y2 - y1)));
    } else {
      sh -= sy;
    }
  }
  int32_t* xl = nullptr;
  int32_t* yl = nullptr;
  B->RenderToTVXBitmap(ABitmap, Rows, xl, yl, UpdRect, x1, y1, x2 - x1, y2 - y1, sx, sy, sw, sh, Alpha, Solid,
                       L->Transparency(), Filter, true, L->Operation(), L->Opacity());
  di.XDst = x1;
  di.YDst = y1;
  di.WidthDst = x2 - x1;
  di.HeightDst = y2 - y1;
  di.XSrc = sx;
  di.YSrc = sy;
  di.WidthSrc = sw;
  di.HeightSrc = sh;
}

void TVexlaneView::PaintToEx(TVXBitmap* ABitmap, uint8_t** ABitmapScanline, const TRect* UpdRect, bool DrawBackground,
                             bool DrawGadgets) {
  SyncLayers();
  UpdateVisibleRects();
  UpdateCoordinateTables();
  if (InState(csDesigning) || fVXBitmap == nullptr || fVXBitmap->Width() == 0 || fVXBitmap->Height() == 0) return;
  if (TVXBitmap* a = fVXBitmap->AlphaChannelOpt())
    if (a->Width() != fVXBitmap->Width() || a->Height() != fVXBitmap->Height()) return;
  bool first = true;
  for (int32_t i = 0; i < LayersCount(); ++i) {
    TVXLayer* L = fLayers[size_t(i)].get();
    TVXBitmap* B = L->Bitmap();
    if (!L->Visible() || frx == 0 || fry == 0 || B == nullptr) continue;
    if (B->Width() < fMinBitmapSize && B->Height() < fMinBitmapSize) continue;
    if (L->IsMask()) continue;  // drawn through the layer below it
    TVXLayer* M = L->Rotate() == 0 ? LayerMask(i) : nullptr;
    std::unique_ptr<TVXLayer> softCropMask;
    if (M == nullptr && i > 0 && fSoftCrop == vxsfAlphaBlend && !B->IsEmpty()) {
      // Soft crop: an opaque mask over the layer, whose parts outside layer 0
      // take SoftCropValue.
      softCropMask = std::make_unique<TVXLayer>(this, nullptr, false);
      softCropMask->Bitmap()->Allocate(B->Width(), B->Height(), vx8g);
      softCropMask->Bitmap()->Fill(255);
      softCropMask->SetPosX(L->PosX());
      softCropMask->SetPosY(L->PosY());
      softCropMask->SetWidth(L->ResizedWidth());
      softCropMask->SetHeight(L->ResizedHeight());
      M = softCropMask.get();
    }
    std::unique_ptr<TVXBitmap> savedAlpha;
    if (M != nullptr) ApplyLayerMask(L, M, savedAlpha);
    if (first && DrawBackground) PaintBackground(ABitmap, UpdRect, L, true);
    DrawLayer(i, ABitmap, ABitmapScanline, UpdRect, first);
    AfterDrawLayer(i, ABitmap, UpdRect);
    if (DrawGadgets && L->DrawOuter() && i == fLayersCurrent) DrawLayerOuter(ABitmap, i);
    if (OnDrawLayer) OnDrawLayer(static_cast<TVXView*>(this), ABitmap, i);
    if (M != nullptr) (void)B->SetAlphaChannel(std::move(savedAlpha));
    first = false;
  }
  if ((fSoftCrop == vxsfGrid || fSoftCrop == vxsfAdd) && !fLayers.empty()) {
    const TVXDrawingInfo& d = fLayers[0]->DrawingInfo();
    const int32_t x1 = d.XDst, y1 = d.YDst, x2 = d.XDst + d.WidthDst, y2 = d.YDst + d.HeightDst;
    for (int32_t y = 0; y < ABitmap->Height(); ++y) {
      auto* p = static_cast<uint8_t*>(ABitmap->ScanLine(y));
      for (int32_t x = 0; x < ABitmap->Width(); ++x) {
        uint8_t* q = p + size_t(x) * 3;
        if (fSoftCrop == vxsfGrid) {
          if ((y < y1 || y > y2 || x < x1 || x > x2) && ((x + y) & 1) == 0) q[0] = q[1] = q[2] = 128;
        } else if (y < y1 || y >= y2 || x < x1 || x >= x2) {
          for (int k = 0; k < 3; ++k) q[k] = uint8_t(std::clamp(q[k] + fSoftCropValue, 0, 255));
        }
      }
    }
  }
  if (first && DrawBackground) PaintBackground(ABitmap, UpdRect, nullptr, false);
  if (DrawGadgets) {
    DrawLayerBoxes(ABitmap);
    DrawSelectionOverlay(ABitmap);
    DrawGrid(ABitmap);
  }
}

void TVexlaneView::DrawGrid(TVXBitmap* ABitmap) {
  if (!fDisplayGrid || fLayers.empty()) return;
  const int32_t li = fDisplayGridLyr == -1 ? fLayersCurrent : std::min(fDisplayGridLyr, LayersCount() - 1);
  if (li < 0) return;
  const TVXLayer* L = fLayers[size_t(li)].get();
  const int32_t minZoom = VXGetGlobalSettings()->MinZoomDisplayGrid();
  if (!L->Visible() || (fZoomX < minZoom && fZoomY < minZoom)) return;
  if (fMaxLayerWidth <= 1 && fMaxLayerHeight <= 1) return;
  const TVXDrawingInfo& d = L->DrawingInfo();
  // A layer drawn from no source pixels has no grid.
  if (d.WidthSrc == 0 || d.HeightSrc == 0) return;
  TVXPen* grid = VXGetGlobalSettings()->GridPen();
  TCanvas* c = ABitmap->VclBitmap()->Canvas();
  TPen* pen = c->Pen();
  if (grid != nullptr) {
    pen->SetColor(grid->Color());
    pen->SetMode(grid->Mode());
    pen->SetStyle(grid->Style());
    pen->SetWidth(std::max(1, int(grid->Width())));
  }
  for (int32_t i = 0; i <= d.WidthSrc; ++i) {
    const int32_t x = Rnd(double(i) * d.WidthDst / d.WidthSrc + d.XDst);
    c->MoveTo(x, d.YDst);
    c->LineTo(x, d.YDst + d.HeightDst);
  }
  for (int32_t i = 0; i <= d.HeightSrc; ++i) {
    const int32_t y = Rnd(double(i) * d.HeightDst / d.HeightSrc + d.YDst);
    c->MoveTo(d.XDst, y);
    c->LineTo(d.XDst + d.WidthDst, y);
  }
  pen->SetMode(pmCopy);
  DrawHighlightedPixel(ABitmap, L);
}
