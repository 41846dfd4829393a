// Image lists.
#include "gui/imglist.h"

#include <algorithm>

namespace {

// The pixels of a bitmap as 0x00RRGGBB, top row first.
std::vector<uint32_t> Pixels(TBitmap* B) {
  TBitmap copy;
  copy.Assign(B);
  copy.SetPixelFormat(pf32bit);
  std::vector<uint32_t> out(size_t(copy.Width()) * size_t(copy.Height()));
  for (int y = 0; y < copy.Height(); ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(copy.ScanLine(y));
    for (int x = 0; x < copy.Width(); ++x)
      out[size_t(y) * size_t(copy.Width()) + size_t(x)] =
          uint32_t(row[4 * x]) | uint32_t(row[4 * x + 1]) << 8 | uint32_t(row[4 * x + 2]) << 16;
  }
  return out;
}

}  // namespace

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}

void TCustomImageList::SetWidth(int v) {
  if (v == fWidth) return;
  fWidth = std::max(1, v);
  Clear();
}

void TCustomImageList::SetHeight(int v) {
  if (v == fHeight) return;
  fHeight = std::max(1, v);
  Clear();
}

void TCustomImageList::Changed() {
  if (OnChange) OnChange(this);
}

int TCustomImageList::Add(TBitmap* Image, TBitmap* Mask) {
  if (!Image || Image->Empty()) throw EInvalidOperation("Invalid image");
  const std::vector<uint32_t> px = Pixels(Image);
  std::vector<uint32_t> mask;
  if (Mask && !Mask->Empty()) mask = Pixels(Mask);
  const int w = Image->Width(), h = Image->Height();
  const int pieces = std::max(1, w / fWidth);
  const int first = Count();
  for (int p = 0; p < pieces; ++p) {
    Picture pic;
    pic.Pixels.assign(size_t(fWidth) * size_t(fHeight), 0);
    pic.Opaque.assign(pic.Pixels.size(), 0);
    for (int y = 0; y < std::min(h, fHeight); ++y)
      for (int x = 0; x < fWidth; ++x) {
        const int sx = p * fWidth + x;
        if (sx >= w) continue;
        const size_t s = size_t(y) * size_t(w) + size_t(sx), d = size_t(y) * size_t(fWidth) + size_t(x);
        pic.Pixels[d] = px[s];
        const bool transparent =
            !mask.empty() && y < Mask->Height() && sx < Mask->Width() &&
            (mask[size_t(y) * size_t(Mask->Width()) + size_t(sx)] & 0xFFFFFF) == 0xFFFFFF;
        pic.Opaque[d] = transparent ? 0 : 1;
      }
    fImages.push_back(std::move(pic));
  }
  Changed();
  return first;
}

int TCustomImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  if (!Image || Image->Empty()) throw EInvalidOperation("Invalid image");
  const std::vector<uint32_t> px = Pixels(Image);
  uint32_t key;
  if (MaskColor == clDefault) {
    key = px[size_t(Image->Height() - 1) * size_t(Image->Width())];
  } else {
    const COLORREF c = VXColorToRGB(MaskColor);
    key = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  }
  TBitmap mask(Image->Width(), Image->Height(), pf24bit);
  for (int y = 0; y < Image->Height(); ++y) {
    uint8_t* row = static_cast<uint8_t*>(mask.ScanLine(y));
    for (int x = 0; x < Image->Width(); ++x) {
      const bool t = px[size_t(y) * size_t(Image->Width()) + size_t(x)] == key;
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = t ? 0xFF : 0;
    }
  }
  return Add(Image, &mask);
}

void TCustomImageList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) throw EInvalidOperation("Image index out of bounds");
  fImages.erase(fImages.begin() + Index);
  Changed();
}

void TCustomImageList::Clear() {
  if (fImages.empty()) return;
  fImages.clear();
  Changed();
}

void TCustomImageList::Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled) {
  if (!Canvas || Index < 0 || Index >= Count()) return;
  const Picture& pic = fImages[size_t(Index)];
  HDC dc = Canvas->Handle();
  for (int y = 0; y < fHeight; ++y)
    for (int x = 0; x < fWidth; ++x) {
      const size_t i = size_t(y) * size_t(fWidth) + size_t(x);
      if (!pic.Opaque[i]) continue;
      uint32_t p = pic.Pixels[i];
      uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (!Enabled) {
        // Greyed: the brightness, lightened towards the button face.
        const uint32_t l = (r * 77 + g * 150 + b * 29) >> 8;
        r = g = b = 128 + l / 2;
      }
      SetPixel(dc, X + x, Y + y, RGB(BYTE(r), BYTE(g), BYTE(b)));
    }
}

void TCustomImageList::GetBitmap(int Index, TBitmap* Image) {
  if (!Image) return;
  if (Index < 0 || Index >= Count()) throw EInvalidOperation("Image index out of bounds");
  Image->SetPixelFormat(pf24bit);
  Image->SetSize(fWidth, fHeight);
  Image->Canvas()->Brush()->SetColor(clBtnFace);
  Image->Canvas()->FillRect(TRect{0, 0, fWidth, fHeight});
  Draw(Image->Canvas(), 0, 0, Index, true);
}
