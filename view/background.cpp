#include "view/background.h"

#include <algorithm>

#include "core/decorate.h"
#include "core/settings.h"
#include "core/sysutils.h"
#include "winui/gdi.h"

namespace {

// The colour value (red in the low byte) of C, system colours resolved.
uint32_t RGBOf(TColor C) { return uint32_t(VXColorToRGB(C)) & 0xFFFFFF; }

void FillSolid(TCanvas* Canvas, TColor C, const TRect& R) {
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(C);
  Canvas->FillRect(R);
}

// Cells of S x S from (X, Y): the corner cell First, its neighbours Second.
void Chessboard(TCanvas* Canvas, TBitmap* Bitmap, TColor C, int32_t X, int32_t Y, int32_t W, int32_t H, int32_t S,
                TBrushStyle BrushStyle) {
  if (S <= 0 || W <= 0 || H <= 0) return;
  const uint32_t c = RGBOf(C), nc = ~c & 0xFFFFFF;
  if (Bitmap != nullptr && Bitmap->PixelFormat() == pf24bit && BrushStyle == bsSolid && Bitmap->Width() > 0 &&
      Bitmap->Height() > 0) {
    // Straight into the rows: the corner cell has C.
    const int32_t x1 = std::max(X, 0), x2 = std::min(X + W, Bitmap->Width());
    for (int32_t y = Y; y < Y + H; ++y) {
      const int32_t row = std::clamp(y, 0, Bitmap->Height() - 1);
      auto* p = static_cast<uint8_t*>(Bitmap->ScanLine(row));
      const int32_t cy = (y - Y) / S;
      for (int32_t x = x1; x < x2; ++x) {
        const uint32_t v = (((x - X) / S + cy) & 1) == 0 ? c : nc;
        p[x * 3] = uint8_t(v >> 16);
        p[x * 3 + 1] = uint8_t(v >> 8);
        p[x * 3 + 2] = uint8_t(v);
      }
    }
    return;
  }
  // On the canvas: the corner cell in the complement of C.
  Canvas->Brush()->SetStyle(BrushStyle);
  for (int32_t cy = 0; cy * S < H; ++cy)
    for (int32_t cx = 0; cx * S < W; ++cx) {
      Canvas->Brush()->SetColor(TColor(((cx + cy) & 1) == 0 ? nc : c));
      Canvas->Brush()->SetStyle(BrushStyle);
      Canvas->FillRect(TRect{X + cx * S, Y + cy * S, std::min(X + (cx + 1) * S, X + W), std::min(Y + (cy + 1) * S, Y + H)});
    }
}

void WallPaperStep(TCanvas* Canvas, TPicture* WallPaper, TVXWallPaperStyle Style, int32_t W, int32_t H) {
  if (WallPaper == nullptr || WallPaper->Graphic() == nullptr) return;
  TGraphic* g = WallPaper->Graphic();
  switch (Style) {
    case vxwoNormal: Canvas->Draw(0, 0, g); break;
    case vxwoStretch: Canvas->StretchDraw(TRect{0, 0, W, H}, g); break;
    case vxwoTile: {
      const int32_t gw = g->Width(), gh = g->Height();
      if (gw <= 0 || gh <= 0) break;
      for (int32_t y = 0; y < H; y += gh)
        for (int32_t x = 0; x < W; x += gw) Canvas->Draw(x, y, g);
      break;
    }
  }
}

}  // namespace

void VXRenderBackground(bool Designing, TCanvas* Canvas, TBitmap* Bitmap, TVXBackgroundStyle Style, TColor C,
                        int32_t X, int32_t Y, int32_t W, int32_t H, int32_t ix1, int32_t iy1, int32_t ix2,
                        int32_t iy2, int32_t ChessboardSize, TBrushStyle ChessboardBrushStyle, TColor GradientEnd,
                        TPicture* WallPaper, TVXWallPaperStyle WallPaperStyle) {
  if (Canvas == nullptr) return;
  const TRect target{X, Y, X + W, Y + H};
  const bool imageAtLeast2 = ix2 - ix1 >= 2 && iy2 - iy1 >= 2;
  if (Designing && (Style == vxbsCropped || Style == vxbsCropShadow || Style == vxbsSoftShadow)) Style = vxbsSolid;
  switch (Style) {
    case vxbsSolid:
    case vxbsHorizontal:
    case vxbsVertical:
    case vxbsFDiagonal:
    case vxbsBDiagonal:
    case vxbsCross:
    case vxbsDiagCross: {
      static const TBrushStyle brushes[] = {bsSolid, bsHorizontal, bsVertical, bsFDiagonal,
                                            bsBDiagonal, bsCross, bsDiagCross};
      Canvas->Brush()->SetColor(C);
      Canvas->Brush()->SetStyle(brushes[int(Style)]);
      Canvas->FillRect(target);
      break;
    }
    case vxbsChessboard:
      Chessboard(Canvas, Bitmap, C, X, Y, W, H, ChessboardSize, ChessboardBrushStyle);
      break;
    case vxbsDiagonals: {
      FillSolid(Canvas, C, target);
      TPen* pen = Canvas->Pen();
      pen->SetStyle(psSolid);
      pen->SetMode(pmCopy);
      pen->SetWidth(1);
      pen->SetColor(TColor(~RGBOf(C) & 0xFFFFFF));
      Canvas->MoveTo(X, Y);
      Canvas->LineTo(X + W, Y + H);
      Canvas->MoveTo(X + W, Y);
      Canvas->LineTo(X, Y + H);
      break;
    }
    case vxbsCropped: {
      FillSolid(Canvas, clBtnFace, target);
      if (imageAtLeast2) {
        TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
        RECT r{ix1 - s->EdgeX(), iy1 - s->EdgeY(), ix2 + s->EdgeX(), iy2 + s->EdgeY()};
        DrawEdge(Canvas->Handle(), &r, EDGE_SUNKEN, BF_RECT);
      }
      break;
    }
    case vxbsCropShadow:
      FillSolid(Canvas, C, target);
      if (imageAtLeast2) {
        Canvas->Brush()->SetColor(C);
        VXDrawShadowRight(Canvas, Bitmap, ix2, iy1, ix2 + 5, iy2 + 3, 2);
        VXDrawShadowBottom(Canvas, Bitmap, ix1, iy2, ix2 + 4, iy2 + 5, 2);
      }
      break;
    case vxbsGradient: {
      const RECT r{target.Left, target.Top, target.Right, target.Bottom};
      if (!VXGradientFillRect(r, Canvas->Handle(), C, true, GradientEnd)) FillSolid(Canvas, C, target);
      break;
    }
    case vxbsSoftShadow:
      if (Bitmap == nullptr) return;
      FillSolid(Canvas, C, target);
      if (imageAtLeast2) VXDrawSoftShadow(Bitmap, ix1, iy1, ix2, iy2);
      break;
    case vxbsPhotoLike: {
      VXRenderBackground(Designing, Canvas, Bitmap, vxbsSolid, TColor(0xB0B0B0), X, Y, W, H, ix1, iy1, ix2, iy2,
                         ChessboardSize, ChessboardBrushStyle, GradientEnd, WallPaper, WallPaperStyle);
      TPen* pen = Canvas->Pen();
      pen->SetStyle(psSolid);
      pen->SetMode(pmCopy);
      pen->SetWidth(1);
      pen->SetColor(clBlack);
      Canvas->Brush()->SetStyle(bsClear);
      Canvas->Rectangle(ix1 - 1, iy1 - 1, ix2 + 1, iy2 + 1);
      Chessboard(Canvas, Bitmap, C, ix1, iy1, ix2 - ix1, iy2 - iy1, ChessboardSize, ChessboardBrushStyle);
      W = ix2 - ix1;
      H = iy2 - iy1;
      break;
    }
  }
  WallPaperStep(Canvas, WallPaper, WallPaperStyle, W, H);
}
