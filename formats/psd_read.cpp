// PSD and PSB reading: header, colour mode data, image resources, layer
// records with their channel data, and the merged image.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/icc.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/psd.h"
#include "io/iptc.h"
#include "io/params.h"

namespace {

// Bounded big-endian reads: bytes beyond the end of the stream read as 0 and
// set Short.
class TPSDInput {
 public:
  explicit TPSDInput(TStream* S) : fS(S), fEnd(S->Size()) {}
  int64_t Pos() { return fS->Position(); }
  int64_t End() const { return fEnd; }
  int64_t Left() { return std::max<int64_t>(0, fEnd - Pos()); }
  void Seek(int64_t Abs) { fS->SetPosition(std::min(std::max<int64_t>(Abs, 0), fEnd)); }
  void Skip(int64_t n) { Seek(Pos() + std::max<int64_t>(n, 0)); }
  // Reads n bytes into Buf; what is missing is zeroed. False when short.
  bool Bytes(void* Buf, int64_t n) {
    if (n <= 0) return true;
    const int64_t got = std::max<int64_t>(0, fS->Read(Buf, n));
    if (got < n) {
      std::memset(static_cast<uint8_t*>(Buf) + got, 0, size_t(n - got));
      Short = true;
      return false;
    }
    return true;
  }
  uint8_t U8() {
    uint8_t b = 0;
    Bytes(&b, 1);
    return b;
  }
  uint16_t U16() {
    uint8_t b[2];
    Bytes(b, 2);
    return uint16_t(b[0] << 8 | b[1]);
  }
  uint32_t U32() {
    uint8_t b[4];
    Bytes(b, 4);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
  }
  uint64_t U64() {
    const uint64_t hi = U32();
    return hi << 32 | U32();
  }
  bool Short = false;

 private:
  TStream* fS;
  int64_t fEnd;
};

uint16_t BE16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t BE32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A length in the file, clamped to what a stream can hold.
int64_t ClampLength(uint64_t v) { return v > uint64_t(INT64_MAX / 4) ? INT64_MAX / 4 : int64_t(v); }

struct TPSDHeader {
  uint8_t Signature[4] = {};
  uint16_t Version = 0;
  uint16_t Channels = 0;
  uint32_t Rows = 0;
  uint32_t Columns = 0;
  uint16_t Depth = 0;
  uint16_t Mode = 0;
};

bool HeaderValid(const TPSDHeader& h) {
  return std::memcmp(h.Signature, "8BPS", 4) == 0 && (h.Version == 1 || h.Version == 2) && h.Channels >= 1 &&
         h.Channels <= 24 && h.Depth >= 1 && h.Depth <= 16 && h.Mode < 10;
}

// The pixel format of a depth and colour mode; vxnull where no pixels are made.
TVXPixelFormat FormatOf(int32_t Depth, int32_t Mode) {
  if (Depth == 1) return Mode == 0 ? vx1g : vxnull;
  if (Depth == 8) {
    switch (Mode) {
      case 1: case 7: case 8: return vx8g;
      case 2: return vx8p;
      case 3: return vx24RGB;
      case 4: return vxCMYK;
      case 9: return vxCIELab;
      default: return vxnull;
    }
  }
  if (Depth == 16) {
    switch (Mode) {
      case 1: case 8: return vx16g;
      case 3: return vx48RGB;
      case 4: return vxCMYK;
      case 9: return vxCIELab;
      default: return vxnull;
    }
  }
  return vxnull;
}

int32_t ColourChannels(TVXPixelFormat F) {
  switch (F) {
    case vx24RGB: case vx48RGB: case vxCIELab: return 3;
    case vxCMYK: return 4;
    default: return 1;
  }
}

// What a channel (index of the merged image or id of a layer channel) is
// for a format: a colour channel 0.., the alpha channel, or nothing read.
constexpr int32_t kAlpha = -1, kSkip = -2;

int32_t RoleOf(int32_t Channel, TVXPixelFormat F) {
  if (F == vxnull) return kSkip;
  const int32_t n = ColourChannels(F);
  if (Channel >= 0 && Channel < n) return Channel;
  if ((Channel == n || Channel == -1) && F != vx1g && F != vx8p) return kAlpha;
  return kSkip;
}

struct TLayerRecord {
  int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
  std::vector<std::pair<int16_t, int64_t>> Channels;  // id, data length
  uint8_t Opacity = 255, Clipping = 0, Flags = 0;
  bool HasMask = false;
  int32_t MaskTop = 0, MaskLeft = 0, MaskBottom = 0, MaskRight = 0;
  std::string Name;
  std::unique_ptr<TVXLayer> Layer;
  std::unique_ptr<TVXLayer> Mask;
  int64_t Width() const { return int64_t(Right) - Left; }
  int64_t Height() const { return int64_t(Bottom) - Top; }
  int64_t MaskWidth() const { return int64_t(MaskRight) - MaskLeft; }
  int64_t MaskHeight() const { return int64_t(MaskBottom) - MaskTop; }
};

class TPSDReaderContext {
 public:
  TPSDReaderContext(TStream* S, TIOParamsVals& P, TProgressRec& Progress, bool& Aborting)
      : in(S), IOParams(P), XProgress(Progress), aborting(Aborting) {}

  void Run(TVXBitmap* Bitmap, bool ALoadLayers, TVXLayerList* ALayers);

 private:
  bool psb() const { return header.Version == 2; }
  uint64_t ReadLength() { return psb() ? in.U64() : in.U32(); }
  int32_t RowCountSize() const { return psb() ? 4 : 2; }

  void ReadColorModeData();
  void ReadImageResources();
  void HandleResource(uint16_t Id, const uint8_t* Data, int64_t Size);
  void ReadLayersAndMasks();
  bool ReadLayerRecord(TLayerRecord& R, int64_t Limit);
  void ReadLayerChannel(TLayerRecord& R, int16_t Id, int64_t Length);
  void ReadMergedImage();
  void ConvertColours(TVXBitmap* B);

  // Rows of one channel into B (or nowhere for kSkip) from the position up
  // to End: compression already read; Counts holds the RLE row byte counts
  // (nullptr: raw rows). Depth and format give the layout of a row.
  void LoadChannel(TVXBitmap* B, int64_t Width, int64_t Height, TVXPixelFormat Format, int32_t Depth,
                   int32_t Role, bool RLE, const uint32_t* Counts, int64_t End);
  void PutRow(TVXBitmap* B, int32_t y, TVXPixelFormat Format, int32_t Depth, int32_t Role, const uint8_t* Row,
              int64_t Width);
  // Gives B the size and format, its rows zeroed, unless Keep and it has
  // them already (each channel of a layer fills its own part). False when
  // the image is beyond the limits or far larger than the data present.
  bool Prepare(TVXBitmap* B, int64_t Width, int64_t Height, TVXPixelFormat Format, int64_t Present, bool RLE,
               int32_t Depth, bool Keep);
  void SetPalette(TVXBitmap* B);
  void CountRow();

  TPSDInput in;
  TIOParamsVals& IOParams;
  TProgressRec& XProgress;
  bool& aborting;
  TPSDHeader header;
  int64_t base = 0;                 // position of the header
  std::vector<uint8_t> colormap;    // 768 bytes of an indexed image, or empty
  int32_t transpindex = -1;
  TVXLayerList* layers = nullptr;
  bool LoadLayers = false;
  TVXBitmap* MergedBitmap = nullptr;
  bool thumbnailLoaded = false;
  bool hasICC = false;
  int64_t rowsDone = 0, rowsTotal = 0;
  int32_t lastPercent = 0;
};

void TPSDReaderContext::Run(TVXBitmap* Bitmap, bool ALoadLayers, TVXLayerList* ALayers) {
  layers = ALayers;
  LoadLayers = ALoadLayers;
  MergedBitmap = Bitmap;
  if (XProgress.fOnProgress) XProgress.fOnProgress(XProgress.Sender, 0);

  base = in.Pos();
  uint8_t h[26];
  if (!in.Bytes(h, 26)) {
    aborting = true;
    return;
  }
  std::memcpy(header.Signature, h, 4);
  header.Version = BE16(h + 4);
  header.Channels = BE16(h + 12);
  header.Rows = BE32(h + 14);
  header.Columns = BE32(h + 18);
  header.Depth = BE16(h + 22);
  header.Mode = BE16(h + 24);
  if (!HeaderValid(header) || header.Rows > uint32_t(INT32_MAX) || header.Columns > uint32_t(INT32_MAX)) {
    aborting = true;
    return;
  }

  TIOParamsVals& P = IOParams;
  P.SetImageCount(1);
  P.SetWidth(int32_t(header.Columns));
  P.SetOriginalWidth(int32_t(header.Columns));
  P.SetHeight(int32_t(header.Rows));
  P.SetOriginalHeight(int32_t(header.Rows));
  P.SetBitsPerSample(header.Depth);
  P.SetSamplesPerPixel(header.Channels);
  P.SetDpiX(96);
  P.SetDpiY(96);

  // A section that claims more bytes than the file holds means a damaged or
  // cut document: it is refused rather than read as a black image.
  ReadColorModeData();
  transpindex = -1;
  if (!aborting) ReadImageResources();
  if (!aborting) ReadLayersAndMasks();
  if (aborting) return;

  const bool noLayers = !LoadLayers || layers == nullptr || layers->empty();
  if (noLayers && MergedBitmap != nullptr && !(P.GetThumbnail() && thumbnailLoaded) && P.PSD_SelectLayer().empty())
    ReadMergedImage();

  if (layers)
    for (auto& l : *layers)
      if (!l->IsMask() && l->Bitmap() && l->Bitmap()->PixelFormat() != vx1g) ConvertColours(l->Bitmap());
  if (MergedBitmap && !thumbnailLoaded && MergedBitmap->PixelFormat() != vx1g) ConvertColours(MergedBitmap);
}

void TPSDReaderContext::ReadColorModeData() {
  const int64_t length = ClampLength(in.U32());
  const int64_t start = in.Pos();
  if (in.Short || length > in.End() - start) {
    aborting = true;
    return;
  }
  if (length == 768) {
    colormap.resize(768);
    if (!in.Bytes(colormap.data(), 768)) colormap.clear();
  }
  in.Seek(start + length);
}

void TPSDReaderContext::ReadImageResources() {
  const int64_t length = ClampLength(in.U32());
  const int64_t start = in.Pos();
  if (in.Short || length > in.End() - start) {
    aborting = true;
    return;
  }
  const int64_t end = start + length;
  std::vector<uint8_t> data;
  while (in.Pos() < end) {
    if ((in.Pos() - base) & 1) in.Skip(1);
    if (end - in.Pos() < 12) break;
    uint8_t sig[4];
    in.Bytes(sig, 4);
    if (std::memcmp(sig, "8BIM", 4) != 0) break;
    const uint16_t id = in.U16();
    const uint8_t nameLen = in.U8();
    // The name with its length byte takes an even number of bytes.
    in.Skip(nameLen + ((nameLen + 1) & 1));
    const int64_t size = in.U32();
    if (in.Short || size > end - in.Pos()) break;
    const int64_t dataStart = in.Pos();
    // A resource of size 0 holds nothing; the walk goes on.
    const bool wanted = id == 1005 || id == 1028 || id == 1036 || id == 1039 || id == 1047 || id == 1060;
    if (size > 0 && wanted && VXMetadataSizeAllowed(size)) {
      data.resize(size_t(size));
      if (in.Bytes(data.data(), size)) HandleResource(id, data.data(), size);
    }
    in.Seek(dataStart + size);
  }
  in.Seek(start + length);
}

void TPSDReaderContext::HandleResource(uint16_t Id, const uint8_t* Data, int64_t Size) {
  TIOParamsVals& P = IOParams;
  switch (Id) {
    case 1005:
      if (Size >= 16) {
        P.SetDpiX(int32_t(BE32(Data) / 65536));
        P.SetDpiY(int32_t(BE32(Data + 8) / 65536));
      }
      break;
    case 1028:
      P.IPTC_Info().LoadFromStandardBuffer(Data, Size);
      break;
    case 1036: {
      // Format 1 is a JPEG after the 28-byte header; raw thumbnails are left.
      if (Size < 28 || BE32(Data) != 1) break;
      auto thumb = std::make_unique<TVXBitmap>();
      TIOParamsVals tp;
      bool thumbAborting = false;
      TProgressRec tpr;
      tpr.Aborting = &thumbAborting;
      TVXMemStream ms(Data + 28, Size - 28);
      try {
        VXReadJpegStream(&ms, nullptr, thumb.get(), tp, tpr, false, false, false, false, true, false, -1, false);
      } catch (const std::exception&) {
        thumbAborting = true;
      }
      if (thumbAborting || thumb->IsEmpty()) break;
      P.SetEXIF_Bitmap(thumb.release());
      if (P.GetThumbnail() && MergedBitmap) {
        LoadLayers = false;
        MergedBitmap->Assign(P.EXIF_Bitmap());
        thumbnailLoaded = true;
      }
      break;
    }
    case 1039:
      P.InputICCProfile().LoadFromBuffer(Data, int32_t(Size));
      hasICC = true;
      break;
    case 1047:
      if (Size >= 2) transpindex = BE16(Data);
      break;
    case 1060:
      P.SetXMP_Info(std::string(reinterpret_cast<const char*>(Data), size_t(Size)));
      break;
    default:
      break;
  }
}

bool TPSDReaderContext::ReadLayerRecord(TLayerRecord& R, int64_t Limit) {
  if (Limit - in.Pos() < 18) return false;
  R.Top = int32_t(in.U32());
  R.Left = int32_t(in.U32());
  R.Bottom = int32_t(in.U32());
  R.Right = int32_t(in.U32());
  const uint16_t channels = in.U16();
  const int64_t entry = 2 + (psb() ? 8 : 4);
  if (int64_t(channels) * entry > Limit - in.Pos()) return false;
  R.Channels.reserve(channels);
  for (uint16_t c = 0; c < channels; ++c) {
    const int16_t id = int16_t(in.U16());
    R.Channels.emplace_back(id, ClampLength(ReadLength()));
  }
  if (Limit - in.Pos() < 16) return false;
  in.Skip(4);  // "8BIM"
  in.Skip(4);  // blend mode key
  R.Opacity = in.U8();
  R.Clipping = in.U8();
  R.Flags = in.U8();
  in.U8();  // filler
  const int64_t extra = in.U32();
  const int64_t extraStart = in.Pos();
  if (in.Short || extra > Limit - extraStart) return false;
  const int64_t recordEnd = extraStart + extra;
  auto left = [&] { return recordEnd - in.Pos(); };

  // Layer mask data: the rectangle when the block holds it; a block shorter
  // than its fields is read for its own length only.
  if (left() >= 4) {
    const int64_t size = in.U32();
    const int64_t blockStart = in.Pos();
    if (size > left()) {
      in.Seek(recordEnd);
      return true;
    }
    if (size >= 16) {
      R.MaskTop = int32_t(in.U32());
      R.MaskLeft = int32_t(in.U32());
      R.MaskBottom = int32_t(in.U32());
      R.MaskRight = int32_t(in.U32());
      R.HasMask = true;
    }
    in.Seek(blockStart + size);
  }
  // Blending ranges.
  if (left() >= 4) {
    const int64_t size = in.U32();
    in.Seek(in.Pos() + std::min(size, left()));
  }
  // The name, then padding while what is left is not a multiple of 4.
  if (left() >= 1) {
    const int64_t n = std::min<int64_t>(in.U8(), left());
    R.Name.resize(size_t(n));
    in.Bytes(R.Name.data(), n);
    while (left() > 0 && left() % 4 != 0) in.Skip(1);
  }
  // Additional layer information: signature, key, length, data; not kept.
  while (left() >= 12) {
    in.Skip(8);
    const int64_t size = in.U32();
    if (size > left()) break;
    in.Skip(size);
  }
  in.Seek(recordEnd);
  return !in.Short;
}

void TPSDReaderContext::ReadLayersAndMasks() {
  const int64_t sectionLength = ClampLength(ReadLength());
  const int64_t sectionStart = in.Pos();
  if (in.Short || sectionLength > in.End() - sectionStart) {
    aborting = true;
    return;
  }
  if (sectionLength == 0) return;
  const int64_t sectionEnd = sectionStart + sectionLength;
  struct TSectionEnd {
    TPSDInput& In;
    int64_t End;
    ~TSectionEnd() { In.Seek(End); }
  } atEnd{in, sectionStart + sectionLength};

  if (sectionEnd - in.Pos() < (psb() ? 8 : 4)) return;
  const int64_t infoLength = ClampLength(ReadLength());
  if (infoLength > in.End() - in.Pos()) {
    aborting = true;
    return;
  }
  const int64_t infoEnd = std::min(in.Pos() + infoLength, sectionEnd);
  if (infoLength < 2) return;
  const int16_t stored = int16_t(in.U16());
  const int32_t count = stored < 0 ? -int32_t(stored) : stored;
  if ((count > 1 && !LoadLayers) || layers == nullptr || count == 0) return;

  std::vector<TLayerRecord> records;
  records.reserve(size_t(std::min<int64_t>(count, (infoEnd - in.Pos()) / 18 + 1)));
  for (int32_t i = 0; i < count; ++i) {
    TLayerRecord r;
    if (!ReadLayerRecord(r, infoEnd)) break;
    r.Layer = std::make_unique<TVXLayer>();
    r.Layer->SetPosX(r.Left);
    r.Layer->SetPosY(r.Top);
    r.Layer->SetOpacity(r.Opacity / 255.0);
    r.Layer->SetName(r.Name);
    r.Layer->SetVisible((r.Flags & 2) == 0);
    r.Layer->SetCropped(r.Clipping == 0);
    records.push_back(std::move(r));
  }

  const std::string& select = IOParams.PSD_SelectLayer();
  rowsDone = 0;
  rowsTotal = 0;
  for (const TLayerRecord& r : records)
    rowsTotal += std::max<int64_t>(0, std::max(r.Height(), r.HasMask ? r.MaskHeight() : 0)) *
                 int64_t(r.Channels.size());
  for (TLayerRecord& r : records) {
    const bool selected = select.empty() || select == r.Name;
    if (!select.empty() && selected)
      rowsTotal = std::max<int64_t>(0, std::max(r.Height(), r.HasMask ? r.MaskHeight() : 0)) *
                  int64_t(r.Channels.size());
    for (const auto& [id, length] : r.Channels) {
      const int64_t start = in.Pos();
      if (length > in.End() - start) {
        aborting = true;
        return;
      }
      if (selected && !aborting) ReadLayerChannel(r, id, length);
      // The next channel starts where this one's recorded length ends,
      // whether it was read, skipped or left undecoded.
      in.Seek(start + length);
    }
  }

  // Layers that received no pixels go, and a mask goes with its layer.
  for (TLayerRecord& r : records) {
    if (!r.Layer->Bitmap() || r.Layer->Bitmap()->IsEmpty()) continue;
    layers->push_back(std::move(r.Layer));
    if (r.Mask && r.Mask->Bitmap() && !r.Mask->Bitmap()->IsEmpty()) layers->push_back(std::move(r.Mask));
  }
}

void TPSDReaderContext::ReadLayerChannel(TLayerRecord& R, int16_t Id, int64_t Length) {
  const int64_t end = in.Pos() + Length;
  if (Length < 2) return;
  const uint16_t compression = in.U16();
  const bool rle = compression == 1;
  const int32_t depth = header.Depth;

  int64_t width, height;
  TVXBitmap* target;
  TVXPixelFormat format;
  int32_t role;
  int32_t rowDepth = depth;
  if (Id == -2) {
    if (!R.HasMask || R.MaskWidth() <= 0 || R.MaskHeight() <= 0) return;
    if (depth != 8 && depth != 16) return;
    width = R.MaskWidth();
    height = R.MaskHeight();
    if (!R.Mask) {
      R.Mask = std::make_unique<TVXLayer>();
      R.Mask->SetPosX(R.MaskLeft);
      R.Mask->SetPosY(R.MaskTop);
      R.Mask->SetIsMask(true);
      R.Mask->SetVisible(false);
    }
    target = R.Mask->Bitmap();
    format = vx8g;
    role = 0;
  } else {
    format = FormatOf(depth, header.Mode);
    role = RoleOf(Id, format);
    if (role == kSkip || R.Width() <= 0 || R.Height() <= 0) return;
    width = R.Width();
    height = R.Height();
    target = R.Layer->Bitmap();
  }
  if (compression > 1) {
    // ZIP data is not decoded: the channel's rows stay zero.
    if (role != kAlpha) Prepare(target, width, height, format, end - in.Pos(), true, rowDepth, true);
    return;
  }
  std::vector<uint32_t> counts;
  if (rle) {
    if (height * RowCountSize() > end - in.Pos()) return;
    counts.resize(size_t(height));
    for (auto& c : counts) c = psb() ? in.U32() : in.U16();
  }
  if (!Prepare(target, width, height, format, end - in.Pos(), rle, rowDepth, true)) return;
  LoadChannel(target, width, height, format, rowDepth, role, rle, rle ? counts.data() : nullptr, end);
}

bool TPSDReaderContext::Prepare(TVXBitmap* B, int64_t Width, int64_t Height, TVXPixelFormat Format,
                                int64_t Present, bool RLE, int32_t Depth, bool Keep) {
  if (Keep && B->Width() == Width && B->Height() == Height && B->PixelFormat() == Format && !B->IsEmpty())
    return true;
  if (Width <= 0 || Height <= 0 || Width > INT32_MAX || Height > INT32_MAX) return false;
  const int64_t rowLen = (Width * Depth + 7) / 8;
  const int32_t bits = VXPixelFormatBitCount[Format] + (Format == vx1g || Format == vx8p ? 0 : 8);
  // A file that holds far less than the image it declares is not given the
  // memory for it (PackBits expands at most 64 times).
  if (!VXImageSizeAllowed(Width, Height, bits) || !VXDeclaredDataPlausible(Present, rowLen * Height, RLE ? 64 : 1))
    return false;
  B->RemoveAlphaChannel(false, 0);
  if (!B->Allocate(int32_t(Width), int32_t(Height), Format)) return false;
  for (int32_t y = 0; y < B->Height(); ++y) std::memset(B->ScanLine(y), 0, size_t(B->RowLen()));
  if (Format == vx8p) SetPalette(B);
  return true;
}

void TPSDReaderContext::SetPalette(TVXBitmap* B) {
  for (int32_t i = 0; i < 256; ++i) {
    TRGB c;
    if (colormap.size() == 768) {
      c.r = colormap[i];
      c.g = colormap[256 + i];
      c.b = colormap[512 + i];
    } else {
      // No palette in the file: a grey ramp.
      c.r = c.g = c.b = uint8_t(i);
    }
    B->SetPalette(i, c);
  }
}

void TPSDReaderContext::CountRow() {
  if (rowsTotal > 0) {
    const int32_t percent = int32_t(std::min<int64_t>(rowsDone * 100 / rowsTotal, 100));
    VXReportProgress(XProgress, percent, lastPercent);
  }
  ++rowsDone;
}

void TPSDReaderContext::LoadChannel(TVXBitmap* B, int64_t Width, int64_t Height, TVXPixelFormat Format,
                                    int32_t Depth, int32_t Role, bool RLE, const uint32_t* Counts, int64_t End) {
  const int64_t rowLen = (Width * Depth + 7) / 8;
  std::vector<uint8_t> row(static_cast<size_t>(rowLen));
  std::vector<uint8_t> packed;
  for (int64_t y = 0; y < Height; ++y) {
    const int64_t avail = std::max<int64_t>(0, End - in.Pos());
    if (RLE) {
      const int64_t n = std::min<int64_t>(Counts[y], avail);
      packed.resize(size_t(n));
      in.Bytes(packed.data(), n);
      // PackBits; a run never goes past the row, and what the row misses is 0.
      int64_t o = 0, i = 0;
      while (i < n && o < rowLen) {
        const uint8_t h = packed[size_t(i++)];
        if (h < 128) {
          const int64_t k = std::min<int64_t>({int64_t(h) + 1, n - i, rowLen - o});
          std::memcpy(row.data() + o, packed.data() + i, size_t(k));
          o += k;
          i += int64_t(h) + 1;
        } else if (h > 128) {
          if (i >= n) break;
          const int64_t k = std::min<int64_t>(257 - h, rowLen - o);
          std::memset(row.data() + o, packed[size_t(i++)], size_t(k));
          o += k;
        }
      }
      if (o < rowLen) std::memset(row.data() + o, 0, size_t(rowLen - o));
    } else {
      const int64_t n = std::min(rowLen, avail);
      in.Bytes(row.data(), n);
      if (n < rowLen) std::memset(row.data() + n, 0, size_t(rowLen - n));
    }
    if (B && Role != kSkip && y < B->Height()) PutRow(B, int32_t(y), Format, Depth, Role, row.data(), Width);
    CountRow();
  }
  if (B && Role == kAlpha && B->HasAlphaChannel()) B->AlphaChannel()->SetFull(false);
}

void TPSDReaderContext::PutRow(TVXBitmap* B, int32_t y, TVXPixelFormat Format, int32_t Depth, int32_t Role,
                               const uint8_t* Row, int64_t Width) {
  const int32_t w = int32_t(std::min<int64_t>(Width, B->Width()));
  const bool wide = Depth == 16;
  auto sample8 = [&](int32_t x) { return wide ? Row[2 * x] : Row[x]; };
  if (Role == kAlpha) {
    TVXBitmap* a = B->AlphaChannel();
    if (!a) return;
    auto* d = static_cast<uint8_t*>(a->ScanLine(y));
    for (int32_t x = 0; x < w; ++x) d[x] = sample8(x);
    return;
  }
  void* line = B->ScanLine(y);
  auto* d = static_cast<uint8_t*>(line);
  switch (Format) {
    case vx1g: {
      const int64_t n = std::min<int64_t>((int64_t(w) + 7) / 8, B->RowLen());
      for (int64_t i = 0; i < n; ++i) d[i] = uint8_t(~Row[i]);
      break;
    }
    case vx8g:
      for (int32_t x = 0; x < w; ++x) d[x] = sample8(x);
      break;
    case vx8p:
      std::memcpy(d, Row, size_t(w));
      if (transpindex >= 0) {
        TVXBitmap* a = B->AlphaChannel();
        if (a) {
          auto* ad = static_cast<uint8_t*>(a->ScanLine(y));
          for (int32_t x = 0; x < w; ++x) ad[x] = d[x] == transpindex ? 0 : 255;
          a->SetFull(false);
        }
      }
      break;
    case vx24RGB:
      for (int32_t x = 0; x < w; ++x) d[3 * x + 2 - Role] = Row[x];
      break;
    case vxCMYK:
      for (int32_t x = 0; x < w; ++x) d[4 * x + Role] = sample8(x);
      break;
    case vxCIELab:
      for (int32_t x = 0; x < w; ++x) d[3 * x + Role] = uint8_t(Role == 0 ? sample8(x) : sample8(x) - 128);
      break;
    case vx16g: {
      auto* p = static_cast<uint16_t*>(line);
      for (int32_t x = 0; x < w; ++x) p[x] = uint16_t(Row[2 * x] << 8 | Row[2 * x + 1]);
      break;
    }
    case vx48RGB: {
      auto* p = static_cast<uint16_t*>(line);
      for (int32_t x = 0; x < w; ++x) p[3 * x + Role] = uint16_t(Row[2 * x] << 8 | Row[2 * x + 1]);
      break;
    }
    default:
      break;
  }
}

void TPSDReaderContext::ReadMergedImage() {
  const int64_t channels = header.Channels, rows = header.Rows, cols = header.Columns;
  const int32_t depth = header.Depth;
  const TVXPixelFormat format = FormatOf(depth, header.Mode);
  const int64_t rowLen = (cols * depth + 7) / 8;
  // A merged image that is missing, empty, or of a depth and mode that give
  // no pixels fails the read instead of leaving the target as it was.
  if (in.Left() < 2 || format == vxnull || rows == 0 || cols == 0) {
    aborting = true;
    return;
  }
  const uint16_t compression = in.U16();
  if (compression > 1) {
    // ZIP data is not decoded: the image is there, its rows stay zero.
    if (!Prepare(MergedBitmap, cols, rows, format, in.Left(), true, depth, false)) aborting = true;
    return;
  }
  const bool rle = compression == 1;
  std::vector<uint32_t> counts;
  if (rle) {
    if (channels * rows * RowCountSize() > in.Left()) {
      aborting = true;
      return;
    }
    counts.resize(size_t(channels * rows));
    for (auto& c : counts) c = psb() ? in.U32() : in.U16();
  }
  // Rows whose data lies beyond the end of the file: a cut document.
  bool cut = false;
  if (rle) {
    int64_t stored = 0;
    for (size_t i = 0; i < counts.size() && !cut; ++i) cut = (stored += counts[i]) > in.Left();
  } else {
    cut = rows > in.Left() / rowLen || channels * (rows * rowLen) > in.Left();
  }
  if (cut) {
    aborting = true;
    return;
  }
  if (!Prepare(MergedBitmap, cols, rows, format, in.Left(), rle, depth, false)) {
    aborting = true;
    return;
  }
  rowsDone = 0;
  rowsTotal = channels * rows;
  for (int64_t c = 0; c < channels; ++c) {
    const int32_t role = RoleOf(int32_t(c), format);
    if (role == kSkip) {
      // Spot channels are stepped over.
      int64_t bytes = 0;
      if (rle)
        for (int64_t y = 0; y < rows; ++y) bytes += counts[size_t(c * rows + y)];
      else
        bytes = rowLen * rows;
      in.Skip(bytes);
      rowsDone += rows;
      continue;
    }
    LoadChannel(MergedBitmap, cols, rows, format, depth, role, rle, rle ? counts.data() + c * rows : nullptr,
                in.End());
  }
  if (in.Short) aborting = true;
}

void TPSDReaderContext::ConvertColours(TVXBitmap* B) {
  if (B->IsEmpty()) return;
  TIOParamsVals& P = IOParams;
  if (!P.IsNativePixelFormat) {
    bool converted = false;
    if (hasICC && VXGetGlobalSettings()->EnableCMS() && P.InputICCProfile().IsValid() &&
        !P.InputICCProfile().IsApplied() && P.OutputICCProfile().IsValid())
      converted = P.InputICCProfile().ConvertBitmap(B, vx24RGB, &P.OutputICCProfile());
    if (!converted && B->PixelFormat() != vx24RGB) B->SetPixelFormat(vx24RGB);
  } else if (hasICC && B->ColorProfile()) {
    B->ColorProfile()->Assign(&P.InputICCProfile());
  }
}

}  // namespace

void VXReadPSDStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     bool LoadLayers, TVXLayerList* Layers) {
  bool localAborting = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAborting;
  if (!Stream) {
    aborting = true;
    return;
  }
  TPSDReaderContext context(Stream, IOParams, Progress, aborting);
  context.Run(Bitmap, LoadLayers, Layers);
}
