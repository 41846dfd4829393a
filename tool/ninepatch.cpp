#include "tool/ninepatch.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/bitmap.h"
#include "resample/resample.h"

namespace {

// White in every pixel format (a colour value for the colour formats).
double WhiteValue(TVXPixelFormat pf) {
  switch (pf) {
    case vx1g:
    case vx8g:
    case vx8p:
    case vx16g:
    case vx32f:
      return 4294967295.0;
    default:
      return 16777215.0;  // 0x00FFFFFF
  }
}

// Kinds of border pixel: black markers (stretch and content areas) and red marks
// (layout bounds); everything else is no marker.
enum class TMarkKind { None, Black, Red };

// The strip's ends are the image's corners, which are never markers. In a strip
// with alpha only opaque pixels mark; without alpha the colour alone decides.
TMarkKind MarkKind(TVXBitmap* Strip, bool HasAlpha, int32_t Length, int32_t Index, bool Horizontal) {
  if (Index == 0 || Index == Length - 1) return TMarkKind::None;
  const int32_t x = Horizontal ? Index : 0, y = Horizontal ? 0 : Index;
  if (HasAlpha && Strip->AlphaChannel()->Pixels_vx8(x, y) != 255) return TMarkKind::None;
  const TRGB c = Strip->Pixels(x, y);
  if (c.g != 0 || c.b != 0) return TMarkKind::None;
  if (c.r == 0) return TMarkKind::Black;
  if (c.r == 255) return TMarkKind::Red;
  return TMarkKind::None;
}

int32_t RoundIndex(double v) { return int32_t(std::nearbyint(v)); }

// Paints pixels [a, b] of a strip in the marker colour, opaque.
void Paint(TVXBitmap* Strip, bool Horizontal, int32_t a, int32_t b, TMarkKind Kind) {
  const double colour = Kind == TMarkKind::Red ? 255.0 : 0.0;  // red as a colour value, black
  if (Horizontal) {
    Strip->FillRect(a, 0, b, 0, colour);
    if (Strip->HasAlphaChannel()) Strip->AlphaChannel()->FillRect(a, 0, b, 0, 255);
  } else {
    Strip->FillRect(0, a, 0, b, colour);
    if (Strip->HasAlphaChannel()) Strip->AlphaChannel()->FillRect(0, a, 0, b, 255);
  }
}

// Paints the rescaled run black, held within the strip.
void Mark(TVXBitmap* Strip, bool Horizontal, int32_t RunStart, int32_t RunEnd, double Factor) {
  const int32_t n = Horizontal ? Strip->Width() : Strip->Height();
  if (n <= 0) return;
  int32_t a = RoundIndex(RunStart / Factor);
  int32_t b = RoundIndex(RunEnd / Factor);
  if (b < a) b = a;
  Paint(Strip, Horizontal, std::clamp(a, 0, n - 1), std::clamp(b, 0, n - 1), TMarkKind::Black);
}

void ScaleStrip(TVXBitmap* Strip, int32_t NewLength, bool Horizontal) {
  const int32_t len = Horizontal ? Strip->Width() : Strip->Height();
  if (len <= 0 || NewLength <= 0) return;
  const double factor = double(len) / double(NewLength);
  const bool hasAlpha = Strip->HasAlphaChannel();

  TVXBitmap fresh;
  const int32_t w = Horizontal ? NewLength : 1, h = Horizontal ? 1 : NewLength;
  if (!fresh.Allocate(w, h, Strip->PixelFormat())) throw EVXException("Not enough memory");
  fresh.Fill(WhiteValue(Strip->PixelFormat()));
  if (hasAlpha) fresh.AlphaChannel()->Fill(0);

  // Runs keep their relative position, with three exceptions that keep the border
  // valid: the corners stay free (strong shrinking would round a run onto them),
  // and a run that touches the first or the last inner pixel still touches it
  // (strong enlarging would move its ends inwards).
  const int32_t first = NewLength >= 3 ? 1 : 0, last = NewLength >= 3 ? NewLength - 2 : NewLength - 1;
  auto paint = [&](int32_t s, int32_t e, TMarkKind kind) {
    int32_t a = RoundIndex(s / factor);
    int32_t b = RoundIndex(e / factor);
    if (b < a) b = a;
    if (s == 1) a = first;
    if (e == len - 2) b = last;
    a = std::clamp(a, first, last);
    b = std::clamp(b, a, last);
    Paint(&fresh, Horizontal, a, b, kind);
  };
  int32_t start = -1;
  TMarkKind open = TMarkKind::None;
  for (int32_t i = 0; i <= len; ++i) {
    const TMarkKind kind = i < len ? MarkKind(Strip, hasAlpha, len, i, Horizontal) : TMarkKind::None;
    if (kind == open) continue;
    if (open != TMarkKind::None) paint(start, i - 1, open);
    open = kind;
    start = i;
  }
  Strip->Assign(&fresh);
}

void CopyPart(TVXBitmap* From, TVXBitmap* To, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t W,
              int32_t H, bool Alpha) {
  From->CopyRectTo(To, SrcX, SrcY, DstX, DstY, W, H);
  if (Alpha) From->AlphaChannel()->CopyRectTo(To->AlphaChannel(), SrcX, SrcY, DstX, DstY, W, H);
}

}  // namespace

void ScaleNinePatchRow(TVXBitmap* Strip, int32_t NewLength) { ScaleStrip(Strip, NewLength, true); }

void ScaleNinePatchColumn(TVXBitmap* Strip, int32_t NewLength) { ScaleStrip(Strip, NewLength, false); }

void MarkNinePatchRow(TVXBitmap* Strip, int32_t RunStart, int32_t RunEnd, double Factor) {
  Mark(Strip, true, RunStart, RunEnd, Factor);
}

void MarkNinePatchColumn(TVXBitmap* Strip, int32_t RunStart, int32_t RunEnd, double Factor) {
  Mark(Strip, false, RunStart, RunEnd, Factor);
}

TNinePatchSizes ResizeNinePatch(TVXBitmap* S, int32_t Size, bool LongSide) {
  const int32_t W = S->Width(), H = S->Height();
  if (W < 3 || H < 3) throw EVXException("A nine-patch image needs at least 3 x 3 pixels");
  const bool A = S->HasAlphaChannel();
  const TVXPixelFormat pf = S->PixelFormat();

  // 1-2. the five parts
  struct TPart {
    int32_t x, y, w, h;
  };
  const TPart layout[5] = {{1, 1, W - 2, H - 2}, {0, 0, 1, H}, {0, 0, W, 1}, {W - 1, 0, 1, H}, {0, H - 1, W, 1}};
  std::unique_ptr<TVXBitmap> parts[5];
  for (int i = 0; i < 5; ++i) {
    parts[i] = std::make_unique<TVXBitmap>();
    if (!parts[i]->Allocate(layout[i].w, layout[i].h, pf)) throw EVXException("Not enough memory");
    if (A) parts[i]->AlphaChannel()->Fill(0);
  }
  for (int i = 0; i < 5; ++i) CopyPart(S, parts[i].get(), layout[i].x, layout[i].y, 0, 0, layout[i].w, layout[i].h, A);
  TVXBitmap* inner = parts[0].get();

  // 3. the inner image
  TNinePatchSizes sizes;
  sizes.Width = inner->Width();
  sizes.Height = inner->Height();
  if (LongSide == (sizes.Width > sizes.Height))
    VXResampleToSizeInPlace(inner, Size, -1, rfMitchell, true);
  else
    VXResampleToSizeInPlace(inner, -1, Size, rfMitchell, true);
  sizes.NewWidth = inner->Width();
  sizes.NewHeight = inner->Height();
  const int32_t nw = sizes.NewWidth, nh = sizes.NewHeight;

  // 4. the strips
  ScaleNinePatchColumn(parts[1].get(), nh + 2);
  ScaleNinePatchRow(parts[2].get(), nw + 2);
  ScaleNinePatchColumn(parts[3].get(), nh + 2);
  ScaleNinePatchRow(parts[4].get(), nw + 2);

  // 5. the new image
  S->RemoveAlphaChannel(false, 0);
  if (!S->Allocate(nw + 2, nh + 2, inner->PixelFormat())) throw EVXException("Not enough memory");
  if (A) S->AlphaChannel()->Fill(0);

  // 6. parts back in place; later copies win the corners
  CopyPart(inner, S, 0, 0, 1, 1, nw, nh, A);
  CopyPart(parts[1].get(), S, 0, 0, 0, 0, 1, nh + 2, A);
  CopyPart(parts[2].get(), S, 0, 0, 0, 0, nw + 2, 1, A);
  CopyPart(parts[3].get(), S, 0, 0, nw + 1, 0, 1, nh + 2, A);
  CopyPart(parts[4].get(), S, 0, 0, 0, nh + 1, nw + 2, 1, A);
  if (A) S->AlphaChannel()->SyncFull();
  return sizes;
}
