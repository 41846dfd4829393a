#pragma once
// Helpers of the PSD tests: a byte builder for hand-made documents, reads
// and writes through the codec, and the outside oracles (ImageMagick makes
// fixtures, Pillow and psd-tools read them).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/layer.h"
#include "core/streams.h"
#include "formats/psd.h"
#include "io/params.h"
#include "tests/core/runtime_test_util.h"

namespace psdtest {

using Bytes = std::vector<uint8_t>;

// Big-endian bytes with length fields patched after what they measure.
struct TBytes {
  Bytes b;
  TBytes& u8(uint32_t v) {
    b.push_back(uint8_t(v));
    return *this;
  }
  TBytes& u16(uint32_t v) { return u8(v >> 8).u8(v); }
  TBytes& u32(uint32_t v) { return u16(v >> 16).u16(v); }
  TBytes& u64(uint64_t v) { return u32(uint32_t(v >> 32)).u32(uint32_t(v)); }
  TBytes& str(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  TBytes& raw(const Bytes& v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  // A length field of Size bytes, then what Body appends, measured.
  TBytes& lengthed(int Size, const std::function<void(TBytes&)>& Body) {
    const size_t at = b.size();
    b.insert(b.end(), size_t(Size), 0);
    Body(*this);
    uint64_t n = b.size() - at - size_t(Size);
    for (int i = Size - 1; i >= 0; --i, n >>= 8) b[at + size_t(i)] = uint8_t(n);
    return *this;
  }
};

struct THeader {
  uint16_t Version = 1, Channels = 3;
  uint32_t Rows = 2, Columns = 3;
  uint16_t Depth = 8, Mode = 3;
};

inline void PutHeader(TBytes& o, const THeader& h) {
  o.str("8BPS").u16(h.Version).u32(0).u16(0).u16(h.Channels).u32(h.Rows).u32(h.Columns).u16(h.Depth).u16(h.Mode);
}

inline void PutResource(TBytes& o, uint16_t Id, const Bytes& Data) {
  o.str("8BIM").u16(Id).u16(0).u32(uint32_t(Data.size())).raw(Data);
  if (Data.size() & 1) o.u8(0);
}

// A layer record as the tests build it.
struct TLayerSpec {
  int32_t Top = 0, Left = 0, Bottom = 1, Right = 1;
  // id and the whole channel data (compression word first)
  std::vector<std::pair<int16_t, Bytes>> Channels;
  uint8_t Opacity = 255, Clipping = 0, Flags = 0;
  Bytes MaskBlock;  // the layer mask data after its size field
  std::string Name;
};

inline Bytes RawChannel(const Bytes& Pixels) {
  TBytes o;
  o.u16(0).raw(Pixels);
  return o.b;
}

// The layer and mask section (length field included) of a PSD.
inline void PutLayerSection(TBytes& o, const std::vector<TLayerSpec>& Layers, int16_t StoredCount, bool PSB = false) {
  const int lengthSize = PSB ? 8 : 4;
  o.lengthed(lengthSize, [&](TBytes& s) {
    s.lengthed(lengthSize, [&](TBytes& info) {
      info.u16(uint16_t(StoredCount));
      for (const TLayerSpec& l : Layers) {
        info.u32(uint32_t(l.Top)).u32(uint32_t(l.Left)).u32(uint32_t(l.Bottom)).u32(uint32_t(l.Right));
        info.u16(uint16_t(l.Channels.size()));
        for (const auto& [id, data] : l.Channels) {
          info.u16(uint16_t(id));
          PSB ? info.u64(data.size()) : info.u32(uint32_t(data.size()));
        }
        info.str("8BIMnorm").u8(l.Opacity).u8(l.Clipping).u8(l.Flags).u8(0);
        info.lengthed(4, [&](TBytes& extra) {
          const size_t start = extra.b.size();
          extra.u32(uint32_t(l.MaskBlock.size())).raw(l.MaskBlock);
          extra.u32(0);
          extra.u8(uint8_t(l.Name.size())).str(l.Name);
          while ((extra.b.size() - start) % 4 != 0) extra.u8(0);
        });
      }
      for (const TLayerSpec& l : Layers)
        for (const auto& [id, data] : l.Channels) info.raw(data);
    });
    s.u32(0);
  });
}

struct TRead {
  std::unique_ptr<TVXBitmap> Bitmap = std::make_unique<TVXBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>();
  TVXLayerList Layers;
  bool Aborting = false;
};

// Reads Data with the given options; Native sets IsNativePixelFormat.
inline std::unique_ptr<TRead> ReadPSD(const Bytes& Data, bool Native = true, bool LoadLayers = false,
                                      bool WithList = true, const std::string& Select = "") {
  auto r = std::make_unique<TRead>();
  r->Params->IsNativePixelFormat = Native;
  r->Params->SetPSD_SelectLayer(Select);
  TVXMemStream in(Data.data(), int64_t(Data.size()));
  TProgressRec p;
  p.Aborting = &r->Aborting;
  VXReadPSDStream(&in, r->Bitmap.get(), *r->Params, p, LoadLayers, WithList ? &r->Layers : nullptr);
  return r;
}

inline Bytes WritePSD(TVXBitmap* B, TIOParamsVals& P, const TVXLayerList& Layers, bool* Aborting = nullptr) {
  TMemoryStream out;
  bool aborting = false;
  TProgressRec p;
  p.Aborting = &aborting;
  VXWritePSDStream(&out, P, p, B, Layers);
  if (Aborting) *Aborting = aborting;
  const auto* m = static_cast<const uint8_t*>(out.Memory());
  return Bytes(m, m + out.Size());
}

inline bool HavePython(const std::string& Module) {
  return std::system(("/usr/bin/python3 -c 'import " + Module + "' 2>/dev/null").c_str()) == 0;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace psdtest
