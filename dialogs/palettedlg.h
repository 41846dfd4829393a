// TVexlanePaletteDialog: a modal grid of the entries of a palette, 32 cells
// of 15 x 15 pixels on a 16-pixel pitch per row; a click picks the colour
// of the cell the pointer was last over. Built in code.
#pragma once
#include <span>

#include "core/pixels.h"
#include "gui/forms.h"
#include "gui/stdctrls.h"

class TVexlanePaletteDialog : public TForm {
 public:
  explicit TVexlanePaletteDialog(TComponent* AOwner = nullptr);

  // The palette shown (referenced, not copied: it must live while the
  // dialog shows); at most as many cells as the span holds.
  void SetPalette(std::span<const TRGB> Palette, int32_t NumCol);
  // Shows the dialog modally: true when a cell was clicked (SelCol holds
  // its colour). Raises EVXException "Invalid Palette!" without a palette.
  bool Execute();
  // The cell the pointer was over last (-1: none yet).
  int32_t NumCol() const { return MouseCol; }
  // The rectangle of cell Index (right and bottom exclusive).
  static TRect CellRect(int32_t Index);

  int32_t MouseCol = -1;
  TButton* ButtonCancel;
  TColor SelCol = -1;

 protected:
  void PaintWindow(HDC DC) override;

 private:
  void PaintGrid(TCanvas* Canvas);
  const TRGB* fPalette = nullptr;
  int32_t fNumCol = 0;
};
