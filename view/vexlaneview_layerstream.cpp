// The layers stream "VEXLANELAYERS": a 25-byte header (magic, version,
// image compression, layer count), one property block a layer, then the
// images at the absolute positions the blocks record.
//
// The stream is outside data when it comes from a file. The reader first
// reads the header and every block and checks them against what the stream
// holds (counts, name and user-data lengths, image positions and byte
// counts); only a complete set of blocks replaces the viewer's layers. A
// compressed image is inflated no further than the size its raw dump
// declares, and that size passes the pixel limit first.
#include <algorithm>
#include <cstring>
#include <vector>
#include <zlib.h>

#include "core/bitmap.h"
#include "core/byteorder.h"
#include "core/limits.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "view/vexlaneview.h"

namespace {

constexpr char kMagic[13] = {'V', 'E', 'X', 'L', 'A', 'N', 'E', 'L', 'A', 'Y', 'E', 'R', 'S'};
constexpr int32_t kVersion = 8;

[[noreturn]] void Damaged() { throw EVXException("Damaged layers stream"); }

using TOut = TVXByteWriter;

// Reads from the stream, never past its end (Damaged otherwise).
class TIn {
 public:
  TIn(TStream* s, int64_t size) : fStream(s), fSize(size) {}
  int64_t Left() { return fSize - fStream->Position(); }
  void Bytes(void* p, int64_t n) {
    if (n < 0 || n > Left()) Damaged();
    if (n > 0 && fStream->Read(p, n) != n) Damaged();
  }
  uint8_t U8() {
    uint8_t v;
    Bytes(&v, 1);
    return v;
  }
  int32_t I32() {
    uint8_t b[4];
    Bytes(b, 4);
    return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  }
  double F64() {
    uint8_t b[8];
    Bytes(b, 8);
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = u << 8 | b[i];
    double v;
    std::memcpy(&v, &u, 8);
    return v;
  }

 private:
  TStream* fStream;
  int64_t fSize;
};

// One layer's block as read.
struct TBlock {
  bool Visible = true, VisibleBox = true;
  int32_t Transparency = 255;
  bool HasOpacity = false;
  double Opacity = 1;
  int32_t PosX = 0, PosY = 0;
  bool Cropped = false, Locked = false;
  TVXLayerMagnification Magnify;
  bool HasV3 = false, HasV4 = false, HasV6 = false, HasV8 = false;
  TVXRenderOperation Operation = vxlNormal;
  int32_t ResizedWidth = 0, ResizedHeight = 0;
  TResampleFilter ResampleFilter = rfNone;
  bool UseResampleFilter = false;
  std::string Name;
  std::vector<uint8_t> UserData;
  bool IsMask = false, Selectable = true, DrawOuter = false;
  int32_t AlphaEdgeFeathering = 0;
  int64_t ImagePos = 0;
};

// The size of a raw dump from its first bytes (magic, version, palette,
// size, format, ..., alignment), with and without an alpha channel; -1 while
// Head is too short. A size refused by the pixel limit or a bad header is
// damage.
int64_t DeclaredDumpSize(const std::vector<uint8_t>& Head) {
  auto i32 = [&](size_t at) {
    return int32_t(uint32_t(Head[at]) | uint32_t(Head[at + 1]) << 8 | uint32_t(Head[at + 2]) << 16 |
                   uint32_t(Head[at + 3]) << 24);
  };
  if (Head.size() < 20) return -1;
  if (std::memcmp(Head.data(), "TVXBITMAPRAW", 12) != 0) Damaged();
  const int32_t palLen = i32(16);
  if (palLen < 0 || palLen > 256) Damaged();
  const size_t base = 20 + 3 * size_t(palLen);
  if (Head.size() < base + 55) return -1;
  const int32_t w = i32(base), h = i32(base + 4), format = Head[base + 8], alignment = i32(base + 51);
  if (w < 0 || h < 0 || format >= VXPixelFormatCount || alignment < 8 || alignment % 8 != 0 || alignment > 4096)
    Damaged();
  int64_t rows = 0, alpha = 0;
  if (w > 0 && h > 0 && format != vxnull) {
    if (!VXImageSizeAllowed(w, h, VXPixelFormatBitCount[format] + 8)) Damaged();
    rows = VXBitmapRowLen(w, VXPixelFormatBitCount[format], alignment) * h;
    alpha = VXBitmapRowLen(w, 8, 32) * h;
  }
  return int64_t(base) + 55 + rows + 1 + alpha + 1;
}

// Inflates a zlib block, stopping at the size its dump declares.
std::vector<uint8_t> InflateDump(const std::vector<uint8_t>& In) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw EVXException("Not enough memory for the layers stream");
  std::vector<uint8_t> out;
  int64_t cap = 1024;  // until the dump's header is in
  z.next_in = const_cast<Bytef*>(In.data());
  z.avail_in = uInt(In.size());
  int rc = Z_OK;
  try {
    while (rc != Z_STREAM_END) {
      const size_t have = out.size();
      const size_t chunk = size_t(std::min<int64_t>(1 << 16, cap + 1 - int64_t(have)));
      if (chunk == 0) Damaged();  // more than the dump can hold
      out.resize(have + chunk);
      z.next_out = out.data() + have;
      z.avail_out = uInt(chunk);
      rc = inflate(&z, Z_NO_FLUSH);
      out.resize(have + chunk - z.avail_out);
      if (rc != Z_OK && rc != Z_STREAM_END) Damaged();
      if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) Damaged();  // cut short
      const int64_t declared = DeclaredDumpSize(out);
      if (declared >= 0) cap = declared;
      if (int64_t(out.size()) > cap) Damaged();
    }
  } catch (...) {
    inflateEnd(&z);
    throw;
  }
  inflateEnd(&z);
  return out;
}

}  // namespace

bool TVexlaneView::IsLayersStream(TStream* Stream) {
  if (Stream == nullptr) return false;
  const int64_t pos = Stream->Position();
  if (Stream->Size() - pos < 25) return false;
  uint8_t h[25];
  const bool read = Stream->Read(h, 25) == 25;
  Stream->SetPosition(pos);
  if (!read || std::memcmp(h, kMagic, 13) != 0) return false;
  const int32_t version = int32_t(uint32_t(h[13]) | uint32_t(h[14]) << 8 | uint32_t(h[15]) << 16 | uint32_t(h[16]) << 24);
  return version > 0;
}

// ---------------------------------------------------------------------------
// Writing

void TVexlaneView::LayersSaveToStream(TStream* Stream, int32_t CompressionFormat) {
  const int32_t current = fLayersCurrent;
  const bool constrains = fLayersSelectConstrains;
  fLayersSelectConstrains = false;
  if (CompressionFormat == 1) CompressionFormat = 8;
  try {
    StoreCurrentBitmap();
    const int32_t n = LayersCount();
    TOut h;
    h.Bytes(kMagic, 13);
    h.I32(kVersion);
    h.I32(CompressionFormat);
    h.I32(n);
    Stream->WriteBuffer(h.b.data(), int64_t(h.b.size()));
    std::vector<int64_t> slots(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      const TVXLayer* L = fLayers[size_t(i)].get();
      TOut o;
      o.U8(L->Visible());
      o.U8(L->VisibleBox());
      o.I32(L->Transparency());
      o.F64(L->Opacity());
      o.I32(L->PosX());
      o.I32(L->PosY());
      o.U8(L->Cropped());
      o.U8(L->Locked());
      o.U8(L->Magnify().Enabled);
      o.F64(L->Magnify().Rate);
      o.U8(uint8_t(L->Magnify().Style));
      o.U8(uint8_t(L->Magnify().Source));
      o.U8(uint8_t(L->Operation()));
      o.I32(L->ResizedWidth());
      o.I32(L->ResizedHeight());
      o.U8(uint8_t(L->ResampleFilter()));
      o.U8(L->UseResampleFilter());
      o.I32(int32_t(L->Name().size()));
      o.Bytes(L->Name().data(), L->Name().size());
      o.I32(L->UserDataLen());
      if (L->UserDataLen() > 0) o.Bytes(L->UserData().data(), L->UserData().size());
      o.U8(L->IsMask());
      o.U8(L->Selectable());
      o.U8(L->DrawOuter());
      o.I32(L->AlphaEdgeFeathering());
      Stream->WriteBuffer(o.b.data(), int64_t(o.b.size()));
      slots[size_t(i)] = Stream->Position();
      const uint8_t zero[8] = {};
      Stream->WriteBuffer(zero, 8);
    }
    for (int32_t i = 0; i < n; ++i) {
      const int64_t p = Stream->Position();
      Stream->SetPosition(slots[size_t(i)]);
      TOut pos;
      pos.I32(int32_t(uint32_t(uint64_t(p))));
      pos.I32(int32_t(uint32_t(uint64_t(p) >> 32)));
      Stream->WriteBuffer(pos.b.data(), 8);
      Stream->SetPosition(p);
      SetLayersCurrent(i);
      TVXBitmap* b = fVXBitmap;
      if (CompressionFormat == -1 || CompressionFormat == -2) {
        TMemoryStream raw;
        b->SaveRAWToBufferOrStream(nullptr, &raw, true);
        std::vector<uint8_t> data;
        if (CompressionFormat == -1) {
          uLongf len = compressBound(uLong(raw.Size()));
          data.resize(len);
          if (compress2(data.data(), &len, static_cast<const Bytef*>(raw.Memory()), uLong(raw.Size()),
                        Z_DEFAULT_COMPRESSION) != Z_OK)
            throw EVXException("Not enough memory for the layers stream");
          data.resize(len);
        } else {
          const auto* m = static_cast<const uint8_t*>(raw.Memory());
          data.assign(m, m + raw.Size());
        }
        if (data.size() > size_t(INT32_MAX)) throw EVXException("Image too large for the layers stream");
        TOut c;
        c.I32(int32_t(data.size()));
        Stream->WriteBuffer(c.b.data(), 4);
        if (!data.empty()) Stream->WriteBuffer(data.data(), int64_t(data.size()));
      } else {
        TIOParamsVals& prm = IO()->Params();
        if (b->PixelFormat() == vx1g) {
          prm.SetBitsPerSample(1);
          prm.SetSamplesPerPixel(1);
        } else {
          prm.SetBitsPerSample(8);
          const bool grey = b->PixelFormat() == vx8g;
          prm.SetSamplesPerPixel(grey ? 1 : 3);
          prm.SetJPEG_ColorSpace(grey ? ioJPEG_GRAYLEV : ioJPEG_YCbCr);
        }
        IO()->SaveToStream(Stream, CompressionFormat);
      }
      Stream->Seek(0, soEnd);
    }
  } catch (...) {
    SetLayersCurrent(current);
    fLayersSelectConstrains = constrains;
    throw;
  }
  SetLayersCurrent(current);
  fLayersSelectConstrains = constrains;
}

void TVexlaneView::LayersSaveToFile(const std::string& FileName, int32_t CompressionFormat) {
  TVXWideFileStream f(FileName, fmCreate);
  LayersSaveToStream(&f, CompressionFormat);
}

// ---------------------------------------------------------------------------
// Reading

bool TVexlaneView::LayersLoadFromStream(TStream* Stream) {
  const int64_t size = Stream->Size();
  TIn in(Stream, size);
  uint8_t head[25];
  if (in.Left() < 25) Damaged();
  in.Bytes(head, 25);
  if (std::memcmp(head, kMagic, 13) != 0) return false;
  auto i32 = [&](int at) {
    return int32_t(uint32_t(head[at]) | uint32_t(head[at + 1]) << 8 | uint32_t(head[at + 2]) << 16 |
                   uint32_t(head[at + 3]) << 24);
  };
  const int32_t version = i32(13), compression = i32(17), n = i32(21);
  if (version <= 0) {
    if (fVexlaneIO != nullptr && !fLayers.empty()) {
      TIOParamsVals& p = fVexlaneIO->Params();
      const TVXBitmap* b0 = fLayers[0]->Bitmap();
      p.SetWidth(b0->Width());
      p.SetHeight(b0->Height());
      p.SetOriginalWidth(b0->Width());
      p.SetOriginalHeight(b0->Height());
    }
    Update();
    return false;
  }
  // Every block needs its fixed bytes: the version-2 fields and the image
  // position (1+1+4+4+4+1+1+1+8+1+1+4+4+8 = 43).
  if (n < 1 || int64_t(n) * 43 > in.Left()) Damaged();

  // The blocks, checked before anything changes.
  std::vector<TBlock> blocks(static_cast<size_t>(n));
  for (TBlock& k : blocks) {
    k.Visible = in.U8() != 0;
    k.VisibleBox = in.U8() != 0;
    k.Transparency = in.I32();
    k.HasOpacity = version > 6;
    if (k.HasOpacity) k.Opacity = in.F64();
    k.PosX = in.I32();
    k.PosY = in.I32();
    k.Cropped = in.U8() != 0;
    k.Locked = in.U8() != 0;
    k.Magnify.Enabled = in.U8() != 0;
    k.Magnify.Rate = in.F64();
    const uint8_t style = in.U8();
    k.Magnify.Style = style <= uint8_t(vxmEllipse) ? TVXMagnifyStyle(style) : vxmRectangle;
    k.HasV3 = version > 2;
    if (k.HasV3) {
      const uint8_t source = in.U8();
      k.Magnify.Source = source <= uint8_t(vxmCanvas) ? TVXMagnifySource(source) : vxmCanvas;
    }
    const uint8_t op = in.U8();
    k.Operation = op < VXRenderOperationCount ? TVXRenderOperation(op) : vxlNormal;
    k.ResizedWidth = in.I32();
    k.ResizedHeight = in.I32();
    if (k.HasV3) {
      const uint8_t f = in.U8();
      k.ResampleFilter = f < VXResampleFilterCount ? TResampleFilter(f) : rfNone;
      k.UseResampleFilter = in.U8() != 0;
      const int32_t nameLen = in.I32();
      if (nameLen < 0 || nameLen > in.Left()) Damaged();
      k.Name.resize(size_t(nameLen));
      in.Bytes(k.Name.data(), nameLen);
      const int32_t userLen = in.I32();
      if (userLen < 0 || userLen > in.Left()) Damaged();
      k.UserData.resize(size_t(userLen));
      in.Bytes(k.UserData.data(), userLen);
      k.IsMask = in.U8() != 0;
    }
    k.HasV4 = version > 3;
    if (k.HasV4) k.Selectable = in.U8() != 0;
    k.HasV6 = version > 5;
    if (k.HasV6) k.DrawOuter = in.U8() != 0;
    k.HasV8 = version > 7;
    if (k.HasV8) k.AlphaEdgeFeathering = in.I32();
    const uint32_t lo = uint32_t(in.I32()), hi = uint32_t(in.I32());
    k.ImagePos = int64_t(uint64_t(hi) << 32 | lo);
    if (k.ImagePos < 0 || k.ImagePos >= size) Damaged();
  }
  // The images' byte counts of the raw forms.
  const int64_t afterBlocks = Stream->Position();
  if (compression == -1 || compression == -2) {
    for (const TBlock& k : blocks) {
      Stream->SetPosition(k.ImagePos);
      const int32_t c = in.I32();
      if (c < 0 || c > in.Left()) Damaged();
    }
  }
  Stream->SetPosition(afterBlocks);

  // A complete set of blocks: the layers are replaced.
  LockUpdate();
  try {
    while (LayersCount() > 1) LayersRemove(LayersCount() - 1);
    for (int32_t i = 0; i < n; ++i) {
      const TBlock& k = blocks[size_t(i)];
      if (i > 0) LayersAdd();
      SetLayersCurrent(i);
      TVXLayer* L = fLayers[size_t(i)].get();
      L->SetVisible(k.Visible);
      L->SetVisibleBox(k.VisibleBox);
      L->SetTransparency(k.Transparency);
      if (k.HasOpacity) L->SetOpacity(k.Opacity);
      L->SetPosX(k.PosX);
      L->SetPosY(k.PosY);
      L->SetCropped(k.Cropped);
      L->SetLocked(k.Locked);
      TVXMagnifySource source = L->Magnify().Source;
      L->Magnify() = k.Magnify;
      if (!k.HasV3) L->Magnify().Source = source;
      L->SetOperation(k.Operation);
      L->SetWidth(k.ResizedWidth);
      L->SetHeight(k.ResizedHeight);
      if (k.HasV3) {
        L->SetResampleFilter(k.ResampleFilter);
        L->SetUseResampleFilter(k.UseResampleFilter);
        L->SetName(k.Name);
        L->SetUserData(k.UserData.data(), int32_t(k.UserData.size()));
        L->SetIsMask(k.IsMask);
      }
      if (k.HasV4) L->SetSelectable(k.Selectable);
      if (k.HasV6) L->SetDrawOuter(k.DrawOuter);
      if (k.HasV8) L->SetAlphaEdgeFeathering(k.AlphaEdgeFeathering);
      L->SetClientAreaBox(TRect{0, 0, 0, 0});
      const int64_t back = Stream->Position();
      Stream->SetPosition(k.ImagePos);
      if (compression == -1 || compression == -2) {
        const int32_t c = in.I32();
        std::vector<uint8_t> data(static_cast<size_t>(c));
        in.Bytes(data.data(), c);
        if (compression == -1) data = InflateDump(data);
        if (!fVXBitmap->LoadRAWFromBufferOrStream(data.data(), nullptr, int64_t(data.size()))) Damaged();
      } else {
        const bool native = IO()->NativePixelFormat();
        if (L->IsMask()) IO()->SetNativePixelFormat(true);
        bool ok = false;
        try {
          ok = IO()->LoadFromStreamFormat(Stream, compression);
        } catch (...) {
          IO()->SetNativePixelFormat(native);
          throw;
        }
        IO()->SetNativePixelFormat(native);
        if (!ok) Damaged();
      }
      Stream->SetPosition(back);
    }
  } catch (...) {
    UnLockUpdateEx();
    throw;
  }
  if (fVexlaneIO != nullptr) {
    TIOParamsVals& p = fVexlaneIO->Params();
    const TVXBitmap* b0 = fLayers[0]->Bitmap();
    p.SetWidth(b0->Width());
    p.SetHeight(b0->Height());
    p.SetOriginalWidth(b0->Width());
    p.SetOriginalHeight(b0->Height());
  }
  UnLockUpdate();
  CallBitmapChangeEvents();
  return true;
}

bool TVexlaneView::LayersLoadFromFile(const std::string& FileName) {
  TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return LayersLoadFromStream(&f);
}
