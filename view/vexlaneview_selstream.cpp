// The selection stream (little-endian, no magic): the mask size, the
// selection polygon and its box, the selection flag, the position of the
// layer it was saved in, the mask's depth, box, full flag and rows
// (bottom-up, 32-bit aligned). Also the stack of saved selections that
// carries the selection across layer switches.
//
// A stream read from a file is outside data: it is read whole into
// temporaries and checked (sizes, depth, the pixel limit, that the points
// and rows are present, that the boxes and points lie inside the mask)
// before the selection changes; a failed check raises "Damaged selection
// stream" with the selection left as it was.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/byteorder.h"
#include "core/limits.h"
#include "core/mask.h"
#include "view/vexlaneview.h"

struct TVexlaneView::TSelStreamData {
  int32_t w = 0, h = 0;
  std::vector<TPoint> points;
  int32_t px1 = 0, py1 = 0, px2 = 0, py2 = 0;
  bool selected = false;
  int32_t ox = 0, oy = 0;
  std::unique_ptr<TVXMask> mask;
};

namespace {

constexpr int32_t kBreak = TVXMask::PolygonSeparator;

[[noreturn]] void Damaged() { throw EVXException("Damaged selection stream"); }

// Reads what the stream still holds, in order, never past its end.
class TSelReader {
 public:
  explicit TSelReader(TStream* s) : fStream(s) {
    const int64_t size = s->Size(), pos = s->Position();
    fLeft = size > pos ? size - pos : 0;
  }
  int64_t Left() const { return fLeft; }
  void Bytes(void* p, int64_t n) {
    if (n < 0 || n > fLeft) Damaged();
    if (n > 0 && fStream->Read(p, n) != n) Damaged();
    fLeft -= n;
  }
  int32_t Int() {
    uint8_t b[4];
    Bytes(b, 4);
    return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  }
  bool Bool() {
    uint8_t b;
    Bytes(&b, 1);
    return b != 0;
  }

 private:
  TStream* fStream;
  int64_t fLeft;
};

void PutInt(std::vector<uint8_t>& out, int32_t v) {
  const uint32_t u = uint32_t(v);
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(u >> (8 * i)));
}

int64_t RowBytes(int32_t w, int32_t bpp) { return ((int64_t(w) * bpp + 31) / 32) * 4; }

}  // namespace

// ---------------------------------------------------------------------------
// Writing

void TVexlaneView::SaveSelectionToStream(TStream* Stream) {
  TVXMask* m = Mask();
  std::vector<uint8_t> out;
  const int32_t n = PolySelCount();
  out.reserve(size_t(12 + 8 * int64_t(n) + 46));
  PutInt(out, m->Width());
  PutInt(out, m->Height());
  PutInt(out, n);
  for (int32_t i = 0; i < n; ++i) {
    PutInt(out, fHPolySel->Points[size_t(i)].X);
    PutInt(out, fHPolySel->Points[size_t(i)].Y);
  }
  PutInt(out, fHPolySel ? fHPolySel->X1 : 0);
  PutInt(out, fHPolySel ? fHPolySel->Y1 : 0);
  PutInt(out, fHPolySel ? fHPolySel->X2 : 0);
  PutInt(out, fHPolySel ? fHPolySel->Y2 : 0);
  out.push_back(fSel ? 1 : 0);
  const TVXLayer* L = CurrentLayer();
  PutInt(out, L->PosX());
  PutInt(out, L->PosY());
  PutInt(out, m->BitsPerPixel());
  PutInt(out, m->X1());
  PutInt(out, m->Y1());
  PutInt(out, m->X2());
  PutInt(out, m->Y2());
  out.push_back(m->Full() ? 1 : 0);
  Stream->WriteBuffer(out.data(), int64_t(out.size()));
  const int64_t block = RowBytes(m->Width(), m->BitsPerPixel()) * m->Height();
  if (block > 0) {
    const uint8_t* bits = m->Bits();
    if (bits == nullptr) throw EVXException("Not enough memory for the selection");
    Stream->WriteBuffer(bits, block);
  }
}

void TVexlaneView::SaveSelectionToFile(const std::string& FileName) {
  TVXWideFileStream f(FileName, fmCreate);
  SaveSelectionToStream(&f);
}

// ---------------------------------------------------------------------------
// Reading

void TVexlaneView::ReadSelectionStream(TStream* Stream, TSelStreamData& d) {
  TSelReader r(Stream);
  d.w = r.Int();
  d.h = r.Int();
  const int32_t n = r.Int();
  if (d.w < 0 || d.h < 0 || n < 0) Damaged();
  // The fixed fields after the points: box 16, flag 1, position 8, depth 4,
  // mask box 16, full 1.
  if (int64_t(n) * 8 + 46 > r.Left()) Damaged();
  d.points.resize(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    TPoint p{r.Int(), r.Int()};
    const bool brk = p.X == kBreak && p.Y == kBreak;
    if (!brk && (p.X < 0 || p.Y < 0 || p.X > d.w || p.Y > d.h)) Damaged();
    d.points[size_t(i)] = p;
  }
  d.px1 = r.Int();
  d.py1 = r.Int();
  d.px2 = r.Int();
  d.py2 = r.Int();
  d.selected = r.Bool();
  d.ox = r.Int();
  d.oy = r.Int();
  const int32_t bpp = r.Int();
  if (bpp != 1 && bpp != 8) Damaged();
  const int32_t X1 = r.Int(), Y1 = r.Int(), X2 = r.Int(), Y2 = r.Int();
  const bool full = r.Bool();
  if (!VXImageSizeAllowed(std::max(d.w, 1), std::max(d.h, 1), bpp)) Damaged();
  const bool emptyBox = X1 == TVXMask::EmptyBox;
  if (!emptyBox && (X1 < 0 || Y1 < 0 || X1 > X2 || Y1 > Y2 || X2 >= d.w || Y2 >= d.h)) Damaged();
  const int64_t block = RowBytes(d.w, bpp) * d.h;
  if (block > r.Left()) Damaged();
  d.mask = std::make_unique<TVXMask>();
  d.mask->AllocateBits(d.w, d.h, bpp);
  if (block > 0) {
    uint8_t* bits = d.mask->Bits();
    if (bits == nullptr) throw EVXException("Not enough memory for the selection");
    r.Bytes(bits, block);
  }
  if (emptyBox) {
    d.mask->SetX1(TVXMask::EmptyBox);
    d.mask->SetY1(TVXMask::EmptyBox);
    d.mask->SetX2(0);
    d.mask->SetY2(0);
  } else {
    d.mask->SetX1(X1);
    d.mask->SetY1(Y1);
    d.mask->SetX2(X2);
    d.mask->SetY2(Y2);
  }
  d.mask->SetFull(full);
}

std::unique_ptr<TMemoryStream> TVexlaneView::CopySelectionStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  TSelStreamData d;
  ReadSelectionStream(Stream, d);
  const int64_t end = Stream->Position();
  auto copy = std::make_unique<TMemoryStream>();
  std::vector<uint8_t> bytes(size_t(end - start));
  Stream->SetPosition(start);
  if (!bytes.empty() && Stream->Read(bytes.data(), int64_t(bytes.size())) != int64_t(bytes.size()))
    throw EVXException("Damaged selection stream");
  if (!bytes.empty()) copy->Write(bytes.data(), int64_t(bytes.size()));
  copy->SetPosition(0);
  return copy;
}

bool TVexlaneView::LoadSelectionFromStream(TStream* Stream, TVXResizeSelMode Options) {
  TSelStreamData d;
  ReadSelectionStream(Stream, d);
  // The stream is whole: the selection takes it.
  if (fHPolySel) {
    fHPolySel->Points = d.points;
    fHPolySel->Count = int32_t(d.points.size());
    fHPolySel->X1 = d.px1;
    fHPolySel->Y1 = d.py1;
    fHPolySel->X2 = d.px2;
    fHPolySel->Y2 = d.py2;
  }
  fSel = d.selected;
  fSelectionMask = std::move(d.mask);
  LockUpdate();
  try {
    const int32_t W = fVXBitmap ? fVXBitmap->Width() : 0, H = fVXBitmap ? fVXBitmap->Height() : 0;
    TVXMask* m = fSelectionMask.get();
    if (Options == vxrsSyncLayers) {
      if (fHPolySel) PolyClear(fHPolySel);
      // Every pixel moves by the saved layer's position less the current
      // one's, straight into a mask of the current image's size (what lands
      // outside is dropped). Moving in one step keeps pixels that a first
      // move alone would push out and the second bring back.
      const TVXLayer* L = CurrentLayer();
      const int64_t dx = int64_t(d.ox) - L->PosX(), dy = int64_t(d.oy) - L->PosY();
      auto moved = std::make_unique<TVXMask>();
      moved->AllocateBits(W, H, m->BitsPerPixel());
      if (!m->IsEmpty()) {
        const int64_t ys = std::max<int64_t>(m->Y1(), -dy), ye = std::min<int64_t>(m->Y2(), H - 1 - dy);
        const int64_t xs = std::max<int64_t>(m->X1(), -dx), xe = std::min<int64_t>(m->X2(), W - 1 - dx);
        for (int64_t y = ys; y <= ye; ++y)
          for (int64_t x = xs; x <= xe; ++x) {
            const int32_t v = m->GetPixel(int32_t(x), int32_t(y));
            if (v != 0) moved->SetPixel(int32_t(x + dx), int32_t(y + dy), m->BitsPerPixel() == 1 ? 1 : v);
          }
      }
      fSelectionMask = std::move(moved);
      fSelectionMask->SyncFull();
      fSelectionMask->SyncRect();
    } else if (m->Width() != W || m->Height() != H) {
      if (m->IsEmpty()) {
        m->AllocateBits(W, H, m->BitsPerPixel());
      } else {
        if (Options == vxrsMoveToAdapt) {
          if (m->X2() >= W) MoveSelection(W - 1 - m->X2(), 0);
          if (m->Y2() >= H) MoveSelection(0, H - 1 - m->Y2());
        }
        m = fSelectionMask.get();
        m->Resize(W, H);
        m->SyncFull();
        m->SyncRect();
      }
    }
    if (fSelectionMask->IsEmpty())
      DeSelect();
    else
      fSel = true;
    fSelectionMaskDepth = fSelectionMask->BitsPerPixel();
    ShowSelectionOutline();
  } catch (...) {
    UnLockUpdateEx();
    throw;
  }
  UnLockUpdate();
  return true;
}

bool TVexlaneView::LoadSelectionFromFile(const std::string& FileName, TVXResizeSelMode Options) {
  TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadSelectionFromStream(&f, Options);
}

bool TVexlaneView::MergeSelectionFromStream(TStream* Stream) {
  TSelStreamData d;
  ReadSelectionStream(Stream, d);
  // The stored polygon replaces the viewer's, which is then cleared: the
  // merged selection is the mask's.
  if (fHPolySel) PolyClear(fHPolySel);
  fSel = d.selected;
  TVXMask* m = Mask();
  const TVXMask* t = d.mask.get();
  if (!t->IsEmpty()) {
    const bool tOne = t->BitsPerPixel() == 1, mOne = m->BitsPerPixel() == 1;
    const int32_t ye = std::min(t->Y2(), m->Height() - 1), xe = std::min(t->X2(), m->Width() - 1);
    for (int32_t y = t->Y1(); y <= ye; ++y)
      for (int32_t x = t->X1(); x <= xe; ++x) {
        int32_t tv = t->GetPixel(x, y), mv = m->GetPixel(x, y);
        if (tOne && tv != 0) tv = 255;
        if (mOne && mv != 0) mv = 255;
        const int32_t v = std::max(tv, mv);
        if (v != mv) m->SetPixel(x, y, mOne ? 1 : v);
      }
  }
  m->SetFull(m->Full() && t->Full());
  SelectCustom();
  return true;
}

bool TVexlaneView::MergeSelectionFromFile(const std::string& FileName) {
  TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return MergeSelectionFromStream(&f);
}

// ---------------------------------------------------------------------------
// The stack of saved selections

void TVexlaneView::SaveSelection() {
  auto s = std::make_unique<TMemoryStream>();
  SaveSelectionToStream(s.get());
  fSavedSelection.push_back(std::move(s));
}

bool TVexlaneView::RestoreSelection(bool Remove, TVXResizeSelMode Options) {
  if (fSavedSelection.empty()) return false;
  TMemoryStream* top = fSavedSelection.back().get();
  top->SetPosition(0);
  const bool r = LoadSelectionFromStream(top, Options);
  if (Remove) fSavedSelection.pop_back();
  return r;
}

bool TVexlaneView::DiscardSavedSelection() {
  if (fSavedSelection.empty()) return false;
  fSavedSelection.pop_back();
  return true;
}
