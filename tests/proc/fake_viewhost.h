#pragma once
// A viewer host for the processing tests: a bitmap, a 1- or 8-bit selection
// mask with a polygon, layers with GUIDs, vector objects, and a log of the
// calls the component makes. After AnnounceDestruction every further call
// fails the test.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "core/viewhost.h"
#include "gui/component.h"

class TFakeViewHost : public TComponent, public TVXViewHost {
 public:
  struct Layer {
    std::unique_ptr<TVXBitmap> bitmap;
    TVXLayerGUID guid{};
    int32_t property = 0;  // stands for the layer's properties
  };

  explicit TFakeViewHost(TVXViewHostKind Kind = vxvhImageView) : kind(Kind) {
    layers.push_back(Layer{std::make_unique<TVXBitmap>(), MakeGUID(1), 0});
  }

  // The image is layer 0's bitmap.
  TVXBitmap* Image() { return layers[0].bitmap.get(); }

  // A selection of the image's size.
  TVXMask* NewMask(int32_t bpp) {
    mask = std::make_unique<TVXMask>();
    mask->AllocateBits(Image()->Width(), Image()->Height(), bpp);
    selected = true;
    return mask.get();
  }

  static TVXLayerGUID MakeGUID(uint8_t seed) {
    TVXLayerGUID g{};
    for (size_t i = 0; i < g.size(); ++i) g[i] = uint8_t(seed * 17 + i);
    return g;
  }

  // Calls every registered handler as a viewer being destroyed does.
  void AnnounceDestruction() {
    auto copy = handlers;
    for (auto& [h, reg] : copy) reg.first(reg.second, true);
    gone = true;
  }
  // Replaces layer 0's bitmap object and tells the registered components.
  void ReplaceBitmap(std::unique_ptr<TVXBitmap> b) {
    layers[0].bitmap = std::move(b);
    auto copy = handlers;
    for (auto& [h, reg] : copy) reg.first(reg.second, false);
  }
  int Count(const std::string& call) const {
    int n = 0;
    for (const auto& c : log) n += c == call;
    return n;
  }

  // ---- TVXViewHost ----
  TVXViewHostKind HostKind() const override { return kind; }
  TVXBitmap* VXBitmap() override { return Note("VXBitmap"), Image(); }
  TColor Background() const override { return Note("Background"), background; }
  void SetBackground(TColor Value) override { Note("SetBackground"), background = Value; }
  int32_t DpiX() const override { return Note("DpiX"), 150; }
  int32_t DpiY() const override { return Note("DpiY"), 120; }
  void Update() override { Note("Update"); }
  void ImageChange() override { Note("ImageChange"); }
  void* RegisterBitmapChangeEvent(TVXBitmapChangeEvent Handler, void* Owner) override {
    Note("Register");
    void* h = reinterpret_cast<void*>(++nextHandle);
    handlers[h] = {std::move(Handler), Owner};
    return h;
  }
  void RemoveBitmapChangeEvent(void* Handle) override {
    Note("Remove");
    handlers.erase(Handle);
  }
  void LockPaint() override { Note("LockPaint"), ++paintLock; }
  int32_t UnLockPaint() override {
    Note("UnLockPaint");
    if (paintLock > 0) --paintLock;
    return paintLock;
  }
  bool LegacyBitmap() const override { return Note("LegacyBitmap"), legacy; }
  void SetLegacyBitmap(bool Value) override { Note("SetLegacyBitmap"), legacy = Value; }
  // The screen is the bitmap zoomed by zoom per cent and moved by the offsets.
  int32_t XBmp2Scr(int32_t x) const override { return Note("XBmp2Scr"), scrOffsetX + int32_t(x * zoom / 100); }
  int32_t YBmp2Scr(int32_t y) const override { return Note("YBmp2Scr"), scrOffsetY + int32_t(y * zoom / 100); }
  int32_t XScr2Bmp(int32_t x) const override { return Note("XScr2Bmp"), int32_t((x - scrOffsetX) * 100 / zoom); }
  int32_t YScr2Bmp(int32_t y) const override { return Note("YScr2Bmp"), int32_t((y - scrOffsetY) * 100 / zoom); }
  TVXSelectionBase SelectionBase() const override { return Note("SelectionBase"), selectionBase; }
  double ZoomX() const override { return Note("ZoomX"), zoom; }
  void UpdateRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    Note("UpdateRect");
    updateRects.push_back(TRect{x1, y1, x2, y2});
  }
  TVXMask* SelectionMask() override { return Note("SelectionMask"), mask.get(); }
  bool Selected() const override { return Note("Selected"), selected; }
  const TPoint* PolySelPoints() const override { return poly.empty() ? nullptr : poly.data(); }
  int32_t PolySelCount() const override { return int32_t(poly.size()); }
  // The selection as width, height, depth and one value a pixel.
  void SaveSelectionToStream(TStream* Stream) override {
    Note("SaveSelection");
    int32_t head[3] = {mask ? mask->Width() : 0, mask ? mask->Height() : 0, mask ? mask->BitsPerPixel() : 0};
    Stream->WriteBuffer(head, sizeof head);
    for (int32_t y = 0; y < head[1]; ++y)
      for (int32_t x = 0; x < head[0]; ++x) {
        const uint8_t v = mask->GetPixel(x, y) ? (head[2] == 8 ? uint8_t(mask->GetPixel(x, y)) : 1) : 0;
        Stream->WriteBuffer(&v, 1);
      }
  }
  bool LoadSelectionFromStream(TStream* Stream, TVXResizeSelMode Mode) override {
    Note("LoadSelection");
    EXPECT_EQ(Mode, vxrsMoveToAdapt);
    int32_t head[3];
    Stream->ReadBuffer(head, sizeof head);
    mask = std::make_unique<TVXMask>();
    mask->AllocateBits(head[0], head[1], head[2]);
    for (int32_t y = 0; y < head[1]; ++y)
      for (int32_t x = 0; x < head[0]; ++x) {
        uint8_t v;
        Stream->ReadBuffer(&v, 1);
        if (v) mask->SetPixel(x, y, head[2] == 8 ? v : 1);
      }
    mask->SyncRect();
    return true;
  }
  int32_t LayersCurrent() const override { return Note("LayersCurrent"), current; }
  int32_t LayersCount() const override { return int32_t(layers.size()); }
  TVXBitmap* LayerBitmap(int32_t Index) override {
    Note("LayerBitmap");
    return Index >= 0 && Index < int32_t(layers.size()) ? layers[size_t(Index)].bitmap.get() : nullptr;
  }
  TVXLayerGUID LayerGUID(int32_t Index) const override { return layers.at(size_t(Index)).guid; }
  // Record: length, GUID, property, and with FullBitmap the bitmap's raw dump.
  void LayerSaveInfo(int32_t Index, TStream* Stream, bool FullBitmap) override {
    Note("LayerSaveInfo");
    const Layer& l = layers.at(size_t(Index));
    TMemoryStream body;
    body.WriteBuffer(l.guid.data(), 16);
    body.WriteBuffer(&l.property, 4);
    if (FullBitmap) l.bitmap->SaveRAWToBufferOrStream(nullptr, &body, false);
    const uint32_t length = uint32_t(body.Size() + 4);
    Stream->WriteBuffer(&length, 4);
    body.SetPosition(0);
    Stream->CopyFrom(&body, body.Size());
  }
  void LayerLoadInfo(int32_t Index, TStream* Stream) override {
    Note("LayerLoadInfo");
    Layer& l = layers.at(size_t(Index));
    const int64_t start = Stream->Position();
    uint32_t length;
    Stream->ReadBuffer(&length, 4);
    Stream->ReadBuffer(l.guid.data(), 16);
    Stream->ReadBuffer(&l.property, 4);
    if (length > 24) l.bitmap->LoadRAWFromBufferOrStream(nullptr, Stream);
    Stream->SetPosition(start + length);
  }
  void LayersSaveToStream(TStream* Stream, int32_t Mode) override {
    Note("LayersSaveToStream");
    EXPECT_EQ(Mode, -2);
    for (const Layer& l : layers) Stream->WriteBuffer(&l.property, 4);
  }
  bool LayersLoadFromStream(TStream* Stream) override {
    Note("LayersLoadFromStream");
    for (Layer& l : layers) Stream->ReadBuffer(&l.property, 4);
    return true;
  }
  void SaveToStreamVXV(TStream* Stream, int32_t ObjectIndex) override {
    Note("SaveToStreamVXV");
    EXPECT_EQ(ObjectIndex, -3);
    Stream->WriteBuffer(&objects, 4);
  }
  void LoadFromStreamVXV(TStream* Stream, int32_t ObjectIndex) override {
    Note("LoadFromStreamVXV");
    EXPECT_EQ(ObjectIndex, 0);
    Stream->ReadBuffer(&objects, 4);
  }
  void SaveToStreamAll(TStream* Stream, int32_t ObjectIndex) override {
    Note("SaveToStreamAll");
    EXPECT_EQ(ObjectIndex, -1);
    Stream->WriteBuffer(&objects, 4);
    for (const Layer& l : layers) Stream->WriteBuffer(&l.property, 4);
  }
  void LoadFromStreamAll(TStream* Stream) override {
    Note("LoadFromStreamAll");
    Stream->ReadBuffer(&objects, 4);
    for (Layer& l : layers) Stream->ReadBuffer(&l.property, 4);
  }

  TVXViewHostKind kind;
  std::vector<Layer> layers;
  int32_t current = 0;
  std::unique_ptr<TVXMask> mask;
  bool selected = false;
  std::vector<TPoint> poly;
  TColor background = 0;
  bool legacy = false;
  int32_t paintLock = 0;
  int32_t objects = 0;  // stands for the vector objects
  int32_t scrOffsetX = 0, scrOffsetY = 0;
  double zoom = 100;
  TVXSelectionBase selectionBase = vxsbBitmap;
  std::vector<TRect> updateRects;  // the rectangles asked to repaint
  mutable std::vector<std::string> log;
  std::map<void*, std::pair<TVXBitmapChangeEvent, void*>> handlers;
  bool gone = false;

 private:
  void Note(const char* call) const {
    if (gone) ADD_FAILURE() << "the component called " << call << " on a destroyed viewer";
    log.push_back(call);
  }
  intptr_t nextHandle = 0;
};
