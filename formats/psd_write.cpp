// PSD and PSB writing: every length is written as a placeholder and patched
// once what it measures has been appended; every channel is PackBits packed.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/icc.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "formats/psd.h"
#include "io/iptc.h"
#include "io/params.h"
#include "proc/proc.h"

namespace {

enum TPSDMode : int32_t { pmBitmap = 0, pmGrayscale = 1, pmIndexed = 2, pmRGB = 3, pmCMYK = 4, pmLab = 9 };

// Mode, bits per channel and colour channels of a pixel format; false when
// the format is not writable.
bool ModeOf(TVXPixelFormat F, int32_t& Mode, int32_t& Depth, int32_t& Channels) {
  switch (F) {
    case vx1g: Mode = pmBitmap; Depth = 1; Channels = 1; return true;
    case vx8p: Mode = pmIndexed; Depth = 8; Channels = 1; return true;
    case vx8g: Mode = pmGrayscale; Depth = 8; Channels = 1; return true;
    case vx16g: Mode = pmGrayscale; Depth = 16; Channels = 1; return true;
    case vx24RGB: Mode = pmRGB; Depth = 8; Channels = 3; return true;
    // The fourth byte of vx32RGB is no colour: red, green and blue are
    // written as for vx24RGB.
    case vx32RGB: Mode = pmRGB; Depth = 8; Channels = 3; return true;
    case vx48RGB: Mode = pmRGB; Depth = 16; Channels = 3; return true;
    case vxCMYK: Mode = pmCMYK; Depth = 8; Channels = 4; return true;
    case vxCIELab: Mode = pmLab; Depth = 8; Channels = 3; return true;
    default: return false;
  }
}

// The format layers of a document get.
TVXPixelFormat LayerFormatOf(int32_t Mode, int32_t Depth) {
  switch (Mode) {
    case pmBitmap: return vx1g;
    case pmGrayscale: return Depth == 16 ? vx16g : vx8g;
    case pmIndexed: return vx8p;
    case pmRGB: return Depth == 16 ? vx48RGB : vx24RGB;
    case pmCMYK: return vxCMYK;
    case pmLab: return vxCIELab;
    default: return vxnull;
  }
}

class TPSDWriterContext {
 public:
  TPSDWriterContext(TStream* S, TIOParamsVals& P, TProgressRec& Progress, bool& Aborting, const TVXLayerList& L)
      : Stream(S), IOParams(P), XProgress(Progress), aborting(Aborting), Layers(L) {}

  void Run(TVXBitmap* Bitmap);

 private:
  bool psb() const { return IOParams.PSD_LargeDocumentFormat(); }
  void Put(const void* Data, int64_t Count) { VXWriteChecked(Stream, aborting, Data, Count); }
  void U8(uint8_t v) { Put(&v, 1); }
  void U16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    Put(b, 2);
  }
  void U32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    Put(b, 4);
  }
  void U64(uint64_t v) {
    U32(uint32_t(v >> 32));
    U32(uint32_t(v));
  }
  void Length(uint64_t v, bool Wide) { Wide ? U64(v) : U32(uint32_t(v)); }
  // A zero length field of 4 or 8 bytes; returns the position after it.
  int64_t Placeholder(bool Wide) {
    Length(0, Wide);
    return Stream->Position();
  }
  // Writes (current position - After) into the field that ends at After.
  void Patch(int64_t After, bool Wide) { PatchFrom(After, After, Wide); }
  // Writes (current position - Start) into the field that ends at After.
  void PatchFrom(int64_t After, int64_t Start, bool Wide) {
    const int64_t end = Stream->Position();
    Stream->SetPosition(After - (Wide ? 8 : 4));
    Length(uint64_t(end - Start), Wide);
    Stream->SetPosition(end);
  }
  // A PSD row count has 16 bits: a row that packs into more bytes cannot be
  // stored (PSB has 32), and the write stops as failed.
  bool RowCountFits(uint32_t Packed) {
    if (psb() || Packed <= 0xFFFF) return true;
    aborting = true;
    return false;
  }
  void PadToEven(uint8_t Value) {
    if ((Stream->Position() - base) & 1) U8(Value);
  }

  void NormaliseLayers(TVXBitmap* Bitmap);
  void WriteImageResources();
  void Resource(uint16_t Id, const void* Data, int64_t Size);
  void WriteLayersAndMasks();
  void WriteLayerRecord(TVXLayer& L, TVXLayer* Mask, std::vector<int64_t>& LengthFields);
  void WriteLayerChannels(TVXLayer& L, TVXLayer* Mask, const std::vector<int64_t>& LengthFields);
  void WriteMergedImage();
  // Row Y of channel M of B (-1: its alpha channel) as stored in the file.
  void ChannelRow(TVXBitmap* B, int32_t M, int32_t Y, std::vector<uint8_t>& Row);
  // One packed channel of a layer: compression, row counts, rows.
  void WritePackedChannel(TVXBitmap* B, int32_t M);

  TStream* Stream;
  TIOParamsVals& IOParams;
  TProgressRec& XProgress;
  bool& aborting;
  const TVXLayerList& Layers;
  TVXBitmap* MergedBitmap = nullptr;
  int32_t mode = 0, depth = 0, channels = 0;
  int64_t base = 0;
};

void TPSDWriterContext::NormaliseLayers(TVXBitmap* Bitmap) {
  TVXBitmap* model = Bitmap;
  if (!model && !Layers.empty() && Layers.front()) model = Layers.front()->Bitmap();
  if (!model) return;
  int32_t m, d, c;
  if (!ModeOf(model->PixelFormat(), m, d, c)) return;
  const TVXPixelFormat target = LayerFormatOf(m, d);
  for (const auto& layer : Layers) {
    if (!layer || !layer->Bitmap() || layer->Bitmap()->IsEmpty()) continue;
    TVXBitmap* b = layer->Bitmap();
    // Masks are 8-bit grey whatever the document.
    const TVXPixelFormat want = layer->IsMask() ? vx8g : target;
    if (b->PixelFormat() != want) b->SetPixelFormat(want);
    if (b->Width() != layer->Width() || b->Height() != layer->Height()) {
      auto proc = TVexlaneProc::CreateFromBitmap(b);
      proc->Resample(layer->Width(), layer->Height(), layer->UseResampleFilter() ? layer->ResampleFilter() : rfNone);
    }
    if (m != pmBitmap && !layer->IsMask()) b->AlphaChannel();
  }
}

void TPSDWriterContext::Run(TVXBitmap* Bitmap) {
  NormaliseLayers(Bitmap);
  if (!Bitmap || !ModeOf(Bitmap->PixelFormat(), mode, depth, channels) || Bitmap->IsEmpty()) {
    aborting = true;
    return;
  }
  MergedBitmap = Bitmap;
  base = Stream->Position();

  Put("8BPS", 4);
  U16(psb() ? 2 : 1);
  const uint8_t reserved[6] = {};
  Put(reserved, 6);
  U16(uint16_t(channels));
  U32(uint32_t(Bitmap->Height()));
  U32(uint32_t(Bitmap->Width()));
  U16(uint16_t(depth));
  U16(uint16_t(mode));

  // Colour mode data: the palette of an indexed image.
  if (Bitmap->PixelFormat() == vx8p) {
    U32(768);
    uint8_t pal[768];
    for (int32_t i = 0; i < 256; ++i) {
      const TRGB c = Bitmap->Palette(i);
      pal[i] = c.r;
      pal[256 + i] = c.g;
      pal[512 + i] = c.b;
    }
    Put(pal, 768);
  } else {
    U32(0);
  }
  if (aborting) return;
  WriteImageResources();
  if (aborting) return;
  WriteLayersAndMasks();
  if (aborting) return;
  WriteMergedImage();
}

void TPSDWriterContext::Resource(uint16_t Id, const void* Data, int64_t Size) {
  PadToEven(0);
  Put("8BIM", 4);
  U16(Id);
  U16(0);  // empty name
  U32(uint32_t(Size));
  Put(Data, Size);
}

void TPSDWriterContext::WriteImageResources() {
  TIOParamsVals& P = IOParams;
  const int64_t section = Placeholder(false);

  uint8_t res[16];
  auto be32 = [](uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
  };
  be32(res, uint32_t(P.DpiX()) * 65536u);
  res[4] = 0, res[5] = 1, res[6] = 0, res[7] = 1;
  be32(res + 8, uint32_t(P.DpiY()) * 65536u);
  res[12] = 0, res[13] = 1, res[14] = 0, res[15] = 1;
  Resource(1005, res, 16);

  if (MergedBitmap->PixelFormat() == vx8p) {
    // Index 255 reads back as transparent.
    const uint8_t index[2] = {0, 255};
    Resource(1047, index, 2);
  }
  const std::vector<uint8_t> iptc = P.IPTC_Info().SaveToStandardBuffer(false);
  if (!iptc.empty()) Resource(1028, iptc.data(), int64_t(iptc.size()));
  if (P.HasInputICCProfile() && P.InputICCProfile().Raw() && P.InputICCProfile().RawLength() > 0)
    Resource(1039, P.InputICCProfile().Raw(), P.InputICCProfile().RawLength());

  TVXBitmap* thumb = P.EXIF_Bitmap();
  if (thumb && !thumb->IsEmpty()) {
    TVXBitmap rgb;
    rgb.Assign(thumb);
    if (rgb.PixelFormat() != vx24RGB) rgb.SetPixelFormat(vx24RGB);
    TMemoryStream jpeg;
    TIOParamsVals tp;
    bool thumbAborting = false;
    TProgressRec tpr;
    tpr.Aborting = &thumbAborting;
    VXWriteJpegStream(&jpeg, &rgb, tp, tpr);
    if (!thumbAborting && jpeg.Size() > 0) {
      std::vector<uint8_t> data(size_t(28 + jpeg.Size()));
      const uint32_t w = uint32_t(rgb.Width()), h = uint32_t(rgb.Height());
      be32(data.data(), 1);
      be32(data.data() + 4, w);
      be32(data.data() + 8, h);
      be32(data.data() + 12, w * 3);
      be32(data.data() + 16, w * h * 3);
      be32(data.data() + 20, uint32_t(jpeg.Size()));
      data[24] = 0, data[25] = 24, data[26] = 0, data[27] = 1;
      std::memcpy(data.data() + 28, jpeg.Memory(), size_t(jpeg.Size()));
      Resource(1036, data.data(), int64_t(data.size()));
    }
  }
  if (!P.XMP_Info().empty()) Resource(1060, P.XMP_Info().data(), int64_t(P.XMP_Info().size()));
  PadToEven(0);
  Patch(section, false);
}

void TPSDWriterContext::WriteLayerRecord(TVXLayer& L, TVXLayer* Mask, std::vector<int64_t>& LengthFields) {
  TVXBitmap* b = L.Bitmap();
  U32(uint32_t(L.PosY()));
  U32(uint32_t(L.PosX()));
  U32(uint32_t(L.PosY() + b->Height()));
  U32(uint32_t(L.PosX() + b->Width()));
  int32_t m, d, colourChannels;
  if (!ModeOf(b->PixelFormat(), m, d, colourChannels)) colourChannels = 0;
  const bool alpha = b->HasAlphaChannel();
  U16(uint16_t(colourChannels + (alpha ? 1 : 0) + (Mask ? 1 : 0)));
  LengthFields.clear();
  auto entry = [&](int16_t id) {
    U16(uint16_t(id));
    LengthFields.push_back(Placeholder(psb()));
  };
  if (alpha) entry(-1);
  for (int16_t c = 0; c < colourChannels; ++c) entry(c);
  if (Mask) entry(-2);
  Put("8BIMnorm", 8);
  const double opacity = std::clamp(L.Opacity(), 0.0, 1.0);
  U8(uint8_t(opacity * 255));
  U8(0);                       // clipping: base
  U8(L.Visible() ? 0 : 2);     // flags
  U8(0);                       // filler
  const int64_t extra = Placeholder(false);
  if (Mask) {
    TVXBitmap* mb = Mask->Bitmap();
    U32(20);
    U32(uint32_t(Mask->PosY()));
    U32(uint32_t(Mask->PosX()));
    U32(uint32_t(Mask->PosY() + mb->Height()));
    U32(uint32_t(Mask->PosX() + mb->Width()));
    U8(0);  // default colour
    U8(0);  // flags
    U16(0);
  } else {
    U32(0);
  }
  U32(0);  // blending ranges
  // The length is one byte: longer names are cut to 255 bytes.
  const std::string& name = L.Name();
  const size_t n = std::min<size_t>(name.size(), 255);
  U8(uint8_t(n));
  Put(name.data(), int64_t(n));
  while ((Stream->Position() - extra) % 4 != 0) U8(1);
  Patch(extra, false);
}

void TPSDWriterContext::ChannelRow(TVXBitmap* B, int32_t M, int32_t Y, std::vector<uint8_t>& Row) {
  const int32_t w = B->Width();
  const TVXPixelFormat f = B->PixelFormat();
  if (M < 0) {
    // Alpha (or the grey of a mask), at the document's depth.
    const auto* a = static_cast<const uint8_t*>(B->ScanLine(Y));
    if (depth == 16) {
      Row.resize(size_t(w) * 2);
      for (int32_t x = 0; x < w; ++x) Row[2 * x] = Row[2 * x + 1] = a[x];
    } else {
      Row.assign(a, a + w);
    }
    return;
  }
  const auto* s = static_cast<const uint8_t*>(B->ScanLine(Y));
  switch (f) {
    case vx1g: {
      const int64_t n = (int64_t(w) + 7) / 8;
      Row.resize(size_t(n));
      for (int64_t i = 0; i < n; ++i) Row[i] = uint8_t(~s[i]);
      break;
    }
    case vx24RGB:
    case vx32RGB: {
      const int32_t stride = f == vx24RGB ? 3 : 4;
      Row.resize(size_t(w));
      for (int32_t x = 0; x < w; ++x) Row[x] = s[stride * x + 2 - M];
      break;
    }
    case vx16g:
    case vx48RGB: {
      const int32_t stride = f == vx16g ? 1 : 3;
      const auto* p = static_cast<const uint16_t*>(B->ScanLine(Y));
      Row.resize(size_t(w) * 2);
      for (int32_t x = 0; x < w; ++x) {
        const uint16_t v = p[stride * x + M];
        Row[2 * x] = uint8_t(v >> 8);
        Row[2 * x + 1] = uint8_t(v);
      }
      break;
    }
    default: {
      const int32_t stride = VXPixelFormatChannelCount[f];
      const uint8_t add = f == vxCIELab && M > 0 ? 128 : 0;
      Row.resize(size_t(w));
      for (int32_t x = 0; x < w; ++x) Row[x] = uint8_t(s[stride * x + M] + add);
      break;
    }
  }
}

void TPSDWriterContext::WritePackedChannel(TVXBitmap* B, int32_t M) {
  const int32_t h = B->Height();
  const int32_t countSize = psb() ? 4 : 2;
  U16(1);
  const int64_t table = Stream->Position();
  std::vector<uint8_t> counts(size_t(h) * countSize);
  Put(counts.data(), int64_t(counts.size()));
  std::vector<uint8_t> row;
  for (int32_t y = 0; y < h && !aborting; ++y) {
    ChannelRow(B, M, y, row);
    const std::vector<uint8_t> packed = VXPackBitsRow(row.data(), int64_t(row.size()));
    Put(packed.data(), int64_t(packed.size()));
    const uint32_t n = uint32_t(packed.size());
    if (!RowCountFits(n)) return;
    uint8_t* c = counts.data() + size_t(y) * countSize;
    if (countSize == 4) *c++ = uint8_t(n >> 24), *c++ = uint8_t(n >> 16);
    *c++ = uint8_t(n >> 8), *c = uint8_t(n);
  }
  const int64_t end = Stream->Position();
  Stream->SetPosition(table);
  Put(counts.data(), int64_t(counts.size()));
  Stream->SetPosition(end);
}

void TPSDWriterContext::WriteLayerChannels(TVXLayer& L, TVXLayer* Mask, const std::vector<int64_t>& LengthFields) {
  TVXBitmap* b = L.Bitmap();
  size_t field = 0;
  // A channel's length field in the record measures that channel's data.
  auto channel = [&](TVXBitmap* B, int32_t M) {
    const int64_t start = Stream->Position();
    WritePackedChannel(B, M);
    if (field < LengthFields.size()) PatchFrom(LengthFields[field++], start, psb());
  };
  if (b->HasAlphaChannel()) channel(b->AlphaChannel(), -1);
  int32_t m, d, colourChannels;
  if (!ModeOf(b->PixelFormat(), m, d, colourChannels)) colourChannels = 0;
  for (int32_t c = 0; c < colourChannels; ++c) channel(b, c);
  if (Mask) channel(Mask->Bitmap(), -2);
}

void TPSDWriterContext::WriteLayersAndMasks() {
  const int64_t section = Placeholder(psb());
  // Layers that can be written: a bitmap with pixels.
  std::vector<std::pair<TVXLayer*, TVXLayer*>> items;  // layer, its mask
  for (size_t i = 0; i < Layers.size(); ++i) {
    TVXLayer* l = Layers[i].get();
    if (!l || l->IsMask() || !l->Bitmap() || l->Bitmap()->IsEmpty()) continue;
    TVXLayer* mask = nullptr;
    if (i + 1 < Layers.size() && Layers[i + 1] && Layers[i + 1]->IsMask() && Layers[i + 1]->Bitmap() &&
        !Layers[i + 1]->Bitmap()->IsEmpty())
      mask = Layers[i + 1].get();
    items.emplace_back(l, mask);
  }
  if (items.empty()) return;

  const int64_t info = Placeholder(psb());
  if (items.front().first->Bitmap()->PixelFormat() != vx1g) {
    U16(uint16_t(int16_t(std::min<size_t>(items.size(), 32767))));
    if (items.size() > 32767) items.resize(32767);
    std::vector<std::vector<int64_t>> fields(items.size());
    for (size_t i = 0; i < items.size(); ++i) WriteLayerRecord(*items[i].first, items[i].second, fields[i]);
    const size_t total = Layers.size();
    size_t index = 0;
    int32_t last = -1;
    for (size_t i = 0; i < items.size() && !aborting; ++i) {
      WriteLayerChannels(*items[i].first, items[i].second, fields[i]);
      VXReportProgress(XProgress, int32_t(index * 100 / total), last);
      index += items[i].second ? 2 : 1;
    }
    // The layer information is kept to an even length.
    PadToEven(0);
    Patch(info, psb());
  }
  U32(0);  // global layer mask information
  Patch(section, psb());
}

void TPSDWriterContext::WriteMergedImage() {
  TVXBitmap* b = MergedBitmap;
  const int32_t h = b->Height();
  const int32_t countSize = psb() ? 4 : 2;
  const bool report = !Layers.empty();
  U16(1);
  const int64_t table = Stream->Position();
  std::vector<uint8_t> counts(size_t(h) * size_t(channels) * countSize);
  Put(counts.data(), int64_t(counts.size()));
  std::vector<uint8_t> row;
  int32_t last = -1;
  for (int32_t m = 0; m < channels && !aborting; ++m) {
    for (int32_t y = 0; y < h && !aborting; ++y) {
      ChannelRow(b, m, y, row);
      const std::vector<uint8_t> packed = VXPackBitsRow(row.data(), int64_t(row.size()));
      Put(packed.data(), int64_t(packed.size()));
      const uint32_t n = uint32_t(packed.size());
      if (!RowCountFits(n)) return;
      uint8_t* c = counts.data() + (size_t(m) * h + y) * countSize;
      if (countSize == 4) *c++ = uint8_t(n >> 24), *c++ = uint8_t(n >> 16);
      *c++ = uint8_t(n >> 8), *c = uint8_t(n);
    }
    if (report) VXReportProgress(XProgress, m * 100 / channels, last);
  }
  const int64_t end = Stream->Position();
  Stream->SetPosition(table);
  Put(counts.data(), int64_t(counts.size()));
  Stream->SetPosition(end);
}

}  // namespace

std::vector<uint8_t> VXPackBitsRow(const uint8_t* Row, int64_t Count) {
  std::vector<uint8_t> out;
  out.reserve(size_t(Count + Count / 128 + 2));
  int64_t pos = 0, literal = 0;
  auto flush = [&] {
    const int64_t k = pos - literal;
    if (k <= 0) return;
    out.push_back(uint8_t(k - 1));
    out.insert(out.end(), Row + literal, Row + pos);
  };
  while (pos < Count) {
    int64_t r = 1;
    while (r < 128 && pos + r < Count && Row[pos + r] == Row[pos]) ++r;
    if (r >= 4) {
      flush();
      out.push_back(uint8_t(257 - r));
      out.push_back(Row[pos]);
      pos += r;
      literal = pos;
    } else if (pos - literal == 128) {
      flush();
      literal = pos;
    } else {
      ++pos;
    }
  }
  flush();
  return out;
}

void VXWritePSDStream(TStream* Stream, TIOParamsVals& IOParams, TProgressRec& Progress, TVXBitmap* Bitmap,
                      const TVXLayerList& Layers) {
  bool localAborting = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAborting;
  if (!Stream) {
    aborting = true;
    return;
  }
  TPSDWriterContext context(Stream, IOParams, Progress, aborting, Layers);
  context.Run(Bitmap);
}
