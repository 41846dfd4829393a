// The view-state stream "VEXLANEVIEWSTATE": magic, version, the selection
// stream, zoom, origin and display options, then the layers stream (images
// deflated). Read from a file it is outside data: every field is read and
// checked (ordinals out of range keep the current value) before zoom, origin
// and options change; the embedded streams check themselves.
#include <cstring>

#include "core/bitmap.h"
#include "core/filewriter.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"

namespace {

constexpr char kStateMagic[16] = {'V', 'E', 'X', 'L', 'A', 'N', 'E', 'V', 'I', 'E', 'W', 'S', 'T', 'A', 'T', 'E'};
constexpr int32_t kStateVersion = 2;

void WriteAll(TStream* s, const void* p, int64_t n) {
  if (s->Write(p, n) != n) throw EVXException("Stream write error");
}
void WriteI32(TStream* s, int32_t v) {
  uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = uint8_t(uint32_t(v) >> (8 * i));
  WriteAll(s, b, 4);
}
void WriteU16(TStream* s, uint16_t v) {
  const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  WriteAll(s, b, 2);
}
void WriteU8(TStream* s, uint8_t v) { WriteAll(s, &v, 1); }
void WriteF64(TStream* s, double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = uint8_t(u >> (8 * i));
  WriteAll(s, b, 8);
}

void ReadAll(TStream* s, void* p, int64_t n) {
  if (s->Read(p, n) != n) throw EVXException("Stream read error");
}
int32_t ReadI32(TStream* s) {
  uint8_t b[4];
  ReadAll(s, b, 4);
  return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}
uint16_t ReadU16(TStream* s) {
  uint8_t b[2];
  ReadAll(s, b, 2);
  return uint16_t(b[0] | b[1] << 8);
}
uint8_t ReadU8(TStream* s) {
  uint8_t b;
  ReadAll(s, &b, 1);
  return b;
}
double ReadF64(TStream* s) {
  uint8_t b[8];
  ReadAll(s, b, 8);
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= uint64_t(b[i]) << (8 * i);
  double v;
  std::memcpy(&v, &u, 8);
  return v;
}

}  // namespace

void TVexlaneView::SaveState(TStream* Stream) {
  WriteAll(Stream, kStateMagic, 16);
  WriteI32(Stream, kStateVersion);
  SaveSelectionToStream(Stream);
  WriteF64(Stream, fZoomX);
  WriteF64(Stream, fZoomY);
  WriteI32(Stream, fViewX);
  WriteI32(Stream, fViewY);
  WriteU8(Stream, fLegacyBitmap);
  WriteU8(Stream, uint8_t(fImageHorizAlignment));
  WriteU8(Stream, uint8_t(fImageVertAlignment));
  WriteU8(Stream, uint8_t(fZoomFilter));
  WriteU8(Stream, uint8_t(fBackgroundStyle));
  WriteU8(Stream, fDisplayGrid);
  WriteU8(Stream, fAutoFit);
  WriteU8(Stream, fAutoStretch);
  WriteU8(Stream, fAutoShrink);
  WriteU16(Stream, fSelectionOptions);
  WriteU16(Stream, fMouseInteract);
  WriteU8(Stream, fScrollBarsAlwaysVisible);
  WriteU8(Stream, fEnableAlphaChannel);
  WriteU8(Stream, uint8_t(fScrollBars));
  WriteI32(Stream, ClientWidth());
  WriteI32(Stream, ClientHeight());
  WriteI32(Stream, Width());
  WriteI32(Stream, Height());
  // Writing the layers may change the current layer: the selection is kept
  // aside meanwhile.
  SaveSelection();
  try {
    LayersSaveToStream(Stream, -1);
  } catch (...) {
    RestoreSelection(true, vxrsMoveToAdapt);
    throw;
  }
  RestoreSelection(true, vxrsMoveToAdapt);
}

void TVexlaneView::SaveState(const std::string& FileName) {
  bool aborting = false;
  VXWriteFileSafely(FileName, aborting, [this](TStream* s) { SaveState(s); });
}

bool TVexlaneView::LoadState(TStream* Stream) {
  char magic[16];
  ReadAll(Stream, magic, 16);
  const int32_t version = ReadI32(Stream);
  if (std::memcmp(magic, kStateMagic, 16) != 0 || version <= 0) return false;
  // The selection goes on the saved-selection stack as it was written and
  // is applied once the layers are read: applied to the image the viewer
  // shows before, it would be cut to that image's size.
  fSavedSelection.push_back(CopySelectionStream(Stream));
  const size_t pushed = fSavedSelection.size();
  // Values out of range keep the viewer's own.
  TVXHAlign hAlign = fImageHorizAlignment;
  TVXVAlign vAlign = fImageVertAlignment;
  TResampleFilter zoomFilter = fZoomFilter;
  TVXBackgroundStyle bgStyle = fBackgroundStyle;
  TScrollStyle scrollBars = fScrollBars;
  double zx, zy;
  int32_t vx, vy;
  bool legacy, grid, autoFit, autoStretch, autoShrink, barsVisible, alpha;
  uint16_t selOptions, mouseInteract;
  try {
    zx = ReadF64(Stream);
    zy = ReadF64(Stream);
    vx = ReadI32(Stream);
    vy = ReadI32(Stream);
    legacy = ReadU8(Stream) != 0;
    if (version == 1) {
      if (ReadU8(Stream) != 0) {
        hAlign = vxhCenter;
        vAlign = vxvCenter;
      } else {
        hAlign = vxhLeft;
        vAlign = vxvTop;
      }
    } else {
      const uint8_t h = ReadU8(Stream), v = ReadU8(Stream);
      if (h <= vxhRight) hAlign = TVXHAlign(h);
      if (v <= vxvBottom) vAlign = TVXVAlign(v);
    }
    const uint8_t f = ReadU8(Stream), bs = ReadU8(Stream);
    if (f < VXResampleFilterCount) zoomFilter = TResampleFilter(f);
    if (bs <= vxbsPhotoLike) bgStyle = TVXBackgroundStyle(bs);
    grid = ReadU8(Stream) != 0;
    autoFit = ReadU8(Stream) != 0;
    autoStretch = ReadU8(Stream) != 0;
    autoShrink = ReadU8(Stream) != 0;
    selOptions = ReadU16(Stream);
    mouseInteract = ReadU16(Stream);
    barsVisible = ReadU8(Stream) != 0;
    alpha = ReadU8(Stream) != 0;
    const uint8_t sb = ReadU8(Stream);
    if (sb <= ssBoth) scrollBars = TScrollStyle(sb);
    for (int i = 0; i < 4; ++i) (void)ReadI32(Stream);  // the writer's sizes
    LayersLoadFromStream(Stream);
  } catch (...) {
    // The selection pushed above does not stay on the stack.
    if (fSavedSelection.size() == pushed) fSavedSelection.pop_back();
    throw;
  }
  LockPaint();
  try {
    SetLegacyBitmap(legacy);
    SetImageHorizAlignment(hAlign);
    SetImageVertAlignment(vAlign);
    SetZoomX(zx);
    SetZoomY(zy);
    SetViewX(vx);
    SetViewY(vy);
    SetZoomFilter(zoomFilter);
    SetBackgroundStyle(bgStyle);
    SetDisplayGrid(grid);
    fAutoFit = autoFit;
    fAutoStretch = autoStretch;
    fAutoShrink = autoShrink;
    SetSelectionOptions(selOptions);
    SetMouseInteract(mouseInteract);
    SetScrollBarsAlwaysVisible(barsVisible);
    SetEnableAlphaChannel(alpha);
    SetScrollBars(scrollBars);
    RestoreSelection(true, vxrsMoveToAdapt);
  } catch (...) {
    UnLockPaint();
    throw;
  }
  UnLockPaint();
  return true;
}

bool TVexlaneView::LoadState(const std::string& FileName) {
  TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadState(&f);
}

void TVexlaneView::ResetState() {
  // Playback stops with Playing off (nothing plays yet).
  fPlaying = false;
  DeSelect();
  LayersClear();
  Blank();
  IO()->Params().SetDefaultParams();
  SetZoom(100);
  SetViewX(0);
  SetViewY(0);
  SetImageHorizAlignment(vxhCenter);
  SetImageVertAlignment(vxvCenter);
  Proc()->ClearAllUndo();
  Proc()->ClearAllRedo();
  if (!fLegacyBitmap && fVXBitmap != nullptr) fVXBitmap->SetLocation(vxMemory);
  Update();
}
