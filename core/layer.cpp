#include "core/layer.h"

#include "core/byteorder.h"

#include <cmath>
#include <cstring>
#include <random>

#include "core/bitmap.h"
#include "core/streams.h"

TVXLayerGUID VXNewLayerGUID() {
  thread_local std::mt19937_64 gen{std::random_device{}()};
  TVXLayerGUID g;
  for (size_t i = 0; i < g.size(); i += 8) {
    const uint64_t r = gen();
    for (size_t k = 0; k < 8; ++k) g[i + k] = uint8_t(r >> (8 * k));
  }
  // Version 4 (random) in the platform's byte order.
  g[7] = uint8_t((g[7] & 0x0F) | 0x40);
  g[8] = uint8_t((g[8] & 0x3F) | 0x80);
  return g;
}

TVXLayer::TVXLayer() : fBitmap(new TVXBitmap()), fGUID(VXNewLayerGUID()) {}

TVXLayer::TVXLayer(TVXBitmap* Bitmap) : fBitmap(Bitmap), fGUID(VXNewLayerGUID()) {}

TVXLayer::TVXLayer(TVXViewHost* Owner, TVXBitmap* TemplateBitmap, bool JustAssign)
    : fOwner(Owner), fGUID(VXNewLayerGUID()) {
  if (JustAssign) {
    fBitmap = TemplateBitmap;
  } else {
    fBitmap = new TVXBitmap();
    if (TemplateBitmap != nullptr && !TemplateBitmap->IsEmpty()) {
      fBitmap->SetLocation(TemplateBitmap->Location());
      fBitmap->Allocate(TemplateBitmap->Width(), TemplateBitmap->Height(), TemplateBitmap->PixelFormat());
    }
  }
}

TVXLayer::~TVXLayer() {
  if (fFreeBitmapOnDestroy) delete fBitmap;
}

void TVXLayer::SetBitmap(TVXBitmap* Value) {
  if (Value == fBitmap) return;
  if (fFreeBitmapOnDestroy) delete fBitmap;
  fBitmap = Value;
}

void TVXLayer::SetUserData(const void* Data, int32_t Length) {
  if (Data == nullptr || Length <= 0) {
    fUserData.clear();
    return;
  }
  const auto* p = static_cast<const uint8_t*>(Data);
  fUserData.assign(p, p + Length);
}

void TVXLayer::SetCachedLayerMask(std::unique_ptr<TVXBitmap> Value) { fCachedLayerMask = std::move(Value); }

void TVXLayer::SetRotate(double Value) {
  if (std::isfinite(Value) && Value == std::trunc(Value) && std::fmod(Value, 360.0) == 0)
    fRotate = 0;
  else
    fRotate = Value;
}

int32_t TVXLayer::Width() const {
  if (fResizedWidth != 0) return fResizedWidth;
  return fBitmap ? fBitmap->Width() : 0;
}

int32_t TVXLayer::Height() const {
  if (fResizedHeight != 0) return fResizedHeight;
  return fBitmap ? fBitmap->Height() : 0;
}

void TVXLayer::SetDefaults() {
  fResizedWidth = fResizedHeight = 0;
  fRotate = 0;
  fCachedLayerMask.reset();
  fVisible = true;
  fVisibleBox = true;
  fTransparency = 255;
  fOpacity = 1.0;
  fPosX = fPosY = 0;
  fClientAreaBox = TRect{0, 0, 0, 0};
  fCropped = false;
  fLocked = false;
  fSelectable = true;
  fMagnify = TVXLayerMagnification{};
  fOperation = vxlNormal;
  fUserData.clear();
  fFreeBitmapOnDestroy = true;
  fIsMask = false;
  fDrawingInfo = TVXDrawingInfo{};
  fDrawOuter = false;
  fRotateCenterX = fRotateCenterY = 0.5;
}

void TVXLayer::Assign(const TVXLayer& Source) {
  if (&Source == this) return;
  fResizedWidth = Source.fResizedWidth;
  fResizedHeight = Source.fResizedHeight;
  if (fBitmap != nullptr && Source.fBitmap != nullptr) fBitmap->Assign(Source.fBitmap);
  fVisible = Source.fVisible;
  fVisibleBox = Source.fVisibleBox;
  fSelectable = Source.fSelectable;
  fTransparency = Source.fTransparency;
  fOpacity = Source.fOpacity;
  fPosX = Source.fPosX;
  fPosY = Source.fPosY;
  fClientAreaBox = Source.fClientAreaBox;
  fCropped = Source.fCropped;
  fLocked = Source.fLocked;
  fMagnify = Source.fMagnify;
  fOperation = Source.fOperation;
  fUserData = Source.fUserData;
  fResampleFilter = Source.fResampleFilter;
  fUseResampleFilter = Source.fUseResampleFilter;
  fName = Source.fName;
  fIsMask = Source.fIsMask;
  fDrawOuter = Source.fDrawOuter;
  fAlphaEdgeFeathering = Source.fAlphaEdgeFeathering;
}

void TVXLayer::Swap(TVXLayer& Other) {
  if (&Other == this) return;
  if (fBitmap != nullptr && Other.fBitmap != nullptr) {
    fBitmap->Assign(Other.fBitmap);
    Other.fBitmap->FreeImage(true);
  }
  std::swap(fResizedWidth, Other.fResizedWidth);
  std::swap(fResizedHeight, Other.fResizedHeight);
  std::swap(fVisible, Other.fVisible);
  std::swap(fVisibleBox, Other.fVisibleBox);
  std::swap(fSelectable, Other.fSelectable);
  std::swap(fTransparency, Other.fTransparency);
  std::swap(fOpacity, Other.fOpacity);
  std::swap(fPosX, Other.fPosX);
  std::swap(fPosY, Other.fPosY);
  std::swap(fCropped, Other.fCropped);
  std::swap(fLocked, Other.fLocked);
  std::swap(fMagnify, Other.fMagnify);
  std::swap(fOperation, Other.fOperation);
  std::swap(fUserData, Other.fUserData);
  std::swap(fResampleFilter, Other.fResampleFilter);
  std::swap(fUseResampleFilter, Other.fUseResampleFilter);
  std::swap(fName, Other.fName);
  std::swap(fIsMask, Other.fIsMask);
  std::swap(fDrawOuter, Other.fDrawOuter);
  std::swap(fFreeBitmapOnDestroy, Other.fFreeBitmapOnDestroy);
  std::swap(fGUID, Other.fGUID);
  std::swap(fAlphaEdgeFeathering, Other.fAlphaEdgeFeathering);
  // The image now lives in this layer's bitmap: an owner that showed the
  // other one's follows it.
  if (fOwner != nullptr) fOwner->LayerImageMoved(&Other, this);
  if (Other.fOwner != nullptr && Other.fOwner != fOwner) Other.fOwner->LayerImageMoved(&Other, this);
}

// ---------------------------------------------------------------------------
// The layer record

namespace {

using TRecordWriter = TVXByteWriter;

class TRecordReader {
 public:
  TRecordReader(const uint8_t* p, size_t n) : fP(p), fLeft(n) {}
  const uint8_t* Take(size_t n) {
    if (n > fLeft) throw EVXException("Damaged layer record");
    const uint8_t* p = fP;
    fP += n;
    fLeft -= n;
    return p;
  }
  uint8_t U8() { return *Take(1); }
  bool Bool() { return U8() != 0; }
  int32_t I32() {
    const uint8_t* p = Take(4);
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
  }
  double F64() {
    const uint8_t* p = Take(8);
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= uint64_t(p[i]) << (8 * i);
    double v;
    std::memcpy(&v, &u, 8);
    return v;
  }
  size_t Left() const { return fLeft; }
  const uint8_t* Here() const { return fP; }

 private:
  const uint8_t* fP;
  size_t fLeft;
};

}  // namespace

void TVXLayer::SaveInfo(TStream* Stream, bool SaveBitmap) {
  TRecordWriter w;
  w.I32(0);  // length, patched below
  w.Bytes(fGUID.data(), fGUID.size());
  w.I32(fResizedWidth);
  w.I32(fResizedHeight);
  w.U8(fVisible);
  w.U8(fVisibleBox);
  w.U8(fSelectable);
  w.I32(fTransparency);
  w.F64(fOpacity);
  w.I32(fPosX);
  w.I32(fPosY);
  w.I32(fClientAreaBox.Left);
  w.I32(fClientAreaBox.Top);
  w.I32(fClientAreaBox.Right);
  w.I32(fClientAreaBox.Bottom);
  w.U8(fCropped);
  w.U8(fLocked);
  w.U8(fMagnify.Enabled);
  w.Zeros(7);
  w.F64(fMagnify.Rate);
  w.U8(uint8_t(fMagnify.Style));
  w.U8(uint8_t(fMagnify.Source));
  w.Zeros(6);
  w.U8(uint8_t(fOperation));
  // A layer without user data writes 0, so that the record matches its
  // length field.
  w.I32(int32_t(fUserData.size()));
  if (!fUserData.empty()) w.Bytes(fUserData.data(), fUserData.size());
  w.U8(uint8_t(fResampleFilter));
  w.U8(fUseResampleFilter);
  w.I32(int32_t(fName.size()));
  w.Bytes(fName.data(), fName.size());
  w.U8(fIsMask);
  w.U8(fDrawOuter);
  w.F64(fRotate);
  w.F64(fRotateCenterX);
  w.F64(fRotateCenterY);
  w.I32(fAlphaEdgeFeathering);
  const bool withImage = SaveBitmap && fBitmap != nullptr;
  w.U8(withImage);
  const int64_t start = Stream->Position();
  Stream->WriteBuffer(w.b.data(), int64_t(w.b.size()));
  if (withImage) fBitmap->SaveRAWToBufferOrStream(nullptr, Stream, false);
  const int64_t end = Stream->Position();
  const int64_t length = end - start;
  if (length > INT32_MAX) throw EVXException("The layer is too large for its record");
  uint8_t len[4];
  for (int i = 0; i < 4; ++i) len[i] = uint8_t(uint32_t(length) >> (8 * i));
  Stream->SetPosition(start);
  Stream->WriteBuffer(len, 4);
  Stream->SetPosition(end);
}

void TVXLayer::LoadInfo(TStream* Stream) {
  const int64_t start = Stream->Position();
  const int64_t available = Stream->Size() - start;
  uint8_t head[4];
  if (available < 4 || Stream->Read(head, 4) != 4) throw EVXException("Damaged layer record");
  const int64_t length =
      int64_t(uint32_t(head[0]) | (uint32_t(head[1]) << 8) | (uint32_t(head[2]) << 16) | (uint32_t(head[3]) << 24));
  if (length < 4 || length > available) throw EVXException("Damaged layer record");
  std::vector<uint8_t> rec(size_t(length - 4));
  Stream->ReadBuffer(rec.data(), int64_t(rec.size()));
  TRecordReader r(rec.data(), rec.size());

  TVXLayerGUID guid;
  std::memcpy(guid.data(), r.Take(guid.size()), guid.size());
  const int32_t rw = r.I32(), rh = r.I32();
  const bool visible = r.Bool(), visibleBox = r.Bool(), selectable = r.Bool();
  const int32_t transparency = r.I32();
  const double opacity = r.F64();
  const int32_t px = r.I32(), py = r.I32();
  TRect box;
  box.Left = r.I32();
  box.Top = r.I32();
  box.Right = r.I32();
  box.Bottom = r.I32();
  const bool cropped = r.Bool(), locked = r.Bool();
  TVXLayerMagnification mag;
  mag.Enabled = r.Bool();
  r.Take(7);
  mag.Rate = r.F64();
  const uint8_t style = r.U8(), source = r.U8();
  mag.Style = style <= uint8_t(vxmEllipse) ? TVXMagnifyStyle(style) : vxmRectangle;
  mag.Source = source <= uint8_t(vxmCanvas) ? TVXMagnifySource(source) : vxmCanvas;
  r.Take(6);
  const uint8_t op = r.U8();
  const int32_t userLen = r.I32();
  if (userLen < 0 || size_t(userLen) > r.Left()) throw EVXException("Damaged layer record");
  const uint8_t* user = r.Take(size_t(userLen));
  std::vector<uint8_t> userData(user, user + userLen);
  const uint8_t filter = r.U8();
  const bool useFilter = r.Bool();
  const int32_t nameLen = r.I32();
  if (nameLen < 0 || size_t(nameLen) > r.Left()) throw EVXException("Damaged layer record");
  const uint8_t* name = r.Take(size_t(nameLen));
  const bool isMask = r.Bool(), drawOuter = r.Bool();
  const double rotate = r.F64(), rcx = r.F64(), rcy = r.F64();
  const int32_t feather = r.I32();
  const bool withImage = r.Bool();

  // Everything read: the layer takes it.
  fGUID = guid;
  fResizedWidth = rw;
  fResizedHeight = rh;
  fVisible = visible;
  fVisibleBox = visibleBox;
  fSelectable = selectable;
  fTransparency = transparency;
  fOpacity = opacity;
  fPosX = px;
  fPosY = py;
  fClientAreaBox = box;
  fCropped = cropped;
  fLocked = locked;
  fMagnify = mag;
  fOperation = op < VXRenderOperationCount ? TVXRenderOperation(op) : vxlNormal;
  fUserData = std::move(userData);
  fResampleFilter = filter < VXResampleFilterCount ? TResampleFilter(filter) : rfNone;
  fUseResampleFilter = useFilter;
  fName.assign(reinterpret_cast<const char*>(name), size_t(nameLen));
  fIsMask = isMask;
  fDrawOuter = drawOuter;
  fRotate = rotate;
  fRotateCenterX = rcx;
  fRotateCenterY = rcy;
  fAlphaEdgeFeathering = feather;
  if (withImage && fBitmap != nullptr) {
    if (!fBitmap->LoadRAWFromBufferOrStream(r.Here(), nullptr, int64_t(r.Left())))
      throw EVXException("Damaged layer record");
  }
  Stream->SetPosition(start + length);
}
