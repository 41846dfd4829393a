// Image lists: pictures of one size, drawn by index with their transparent
// parts left out (and greyed for a disabled control).
#pragma once
#include <cstdint>
#include <vector>

#include "gui/component.h"
#include "gui/graphics.h"

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* AOwner = nullptr);
  int Width() const { return fWidth; }
  int Height() const { return fHeight; }
  // Changing the size empties the list.
  void SetWidth(int v);
  void SetHeight(int v);
  int Count() const { return int(fImages.size()); }
  // Adds the pictures of Image, cut into pieces of the list's width (a
  // narrower image adds one); Mask (may be null) marks transparent pixels
  // white. Answers the index of the first picture added.
  int Add(TBitmap* Image, TBitmap* Mask);
  // The same, with every pixel of MaskColor transparent (clDefault: the
  // colour of the bottom-left pixel).
  int AddMasked(TBitmap* Image, TColor MaskColor);
  void Delete(int Index);
  void Clear();
  // Draws picture Index with its top-left corner at X, Y; Enabled false
  // draws it greyed. An index outside the list draws nothing.
  void Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled = true);
  // Copies picture Index into Image (sized to the list, transparent pixels
  // in the background colour clBtnFace).
  void GetBitmap(int Index, TBitmap* Image);
  TNotifyEvent OnChange;

 private:
  struct Picture {
    std::vector<uint32_t> Pixels;  // 0x00RRGGBB
    std::vector<uint8_t> Opaque;   // 1 where drawn
  };
  void Changed();
  int fWidth = 16, fHeight = 16;
  std::vector<Picture> fImages;
};

class TImageList : public TCustomImageList {
 public:
  using TCustomImageList::TCustomImageList;
};
