// The palette dialog.
#include "dialogs/palettedlg.h"

#include <algorithm>

#include "core/vxdefs.h"

TVexlanePaletteDialog::TVexlanePaletteDialog(TComponent* AOwner) : TForm(AOwner) {
  SetBorderIcons(VXBorderIconBit(biSystemMenu));
  SetBorderStyle(bsDialog);
  SetCaption("Palette");
  SetBounds(Left(), Top(), 520, 199);
  SetPosition(poScreenCenter);
  ButtonCancel = new TButton(this);
  ButtonCancel->SetCaption("Cancel");
  ButtonCancel->SetModalResult(mrCancel);
  ButtonCancel->SetCancel(true);
  ButtonCancel->SetBounds(ClientWidth() - ButtonCancel->Width() - 8, 136, ButtonCancel->Width(),
                          ButtonCancel->Height());
  ButtonCancel->SetParent(this);
  OnMouseMove = [this](void*, TShiftState, int X, int Y) {
    const int32_t index = (X - 1) / 16 + ((Y - 1) / 16) * 32;
    if (index >= 0 && index < fNumCol && index != MouseCol) {
      MouseCol = index;
      Repaint();
    }
  };
  OnClick = [this](void*) {
    // Before the pointer was over a cell there is nothing to pick.
    if (MouseCol < 0 || MouseCol >= fNumCol) return;
    SelCol = VXTRGBToColor(fPalette[MouseCol]);
    SetModalResult(mrOk);
  };
}

void TVexlanePaletteDialog::SetPalette(std::span<const TRGB> Palette, int32_t NumCol) {
  fPalette = Palette.empty() ? nullptr : Palette.data();
  fNumCol = std::clamp<int64_t>(NumCol, 0, int64_t(Palette.size()));
}

bool TVexlanePaletteDialog::Execute() {
  if (!fPalette) throw EVXException("Invalid Palette!");
  return ShowModal() == mrOk;
}

TRect TVexlanePaletteDialog::CellRect(int32_t Index) {
  const int row = Index / 32, col = Index % 32;
  return TRect{col * 16 + 1, row * 16 + 1, col * 16 + 16, row * 16 + 16};
}

void TVexlanePaletteDialog::PaintGrid(TCanvas* C) {
  for (int32_t i = 0; i < fNumCol; ++i) {
    const TColor color = VXTRGBToColor(fPalette[i]);
    C->Brush()->SetColor(color);
    TColor pen = clWhite;
    if (i == MouseCol)
      pen = clBlack;
    else if (color == SelCol)
      pen = 0x555555;
    C->Pen()->SetColor(pen);
    C->Rectangle(CellRect(i));
  }
}

void TVexlanePaletteDialog::PaintWindow(HDC DC) {
  TCanvas c;
  c.SetHandle(DC);
  PaintGrid(&c);
  c.SetHandle(nullptr);
}
