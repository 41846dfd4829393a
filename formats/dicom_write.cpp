// DICOM writing: preamble, the prepared tag list, then the pixel data, native
// or encapsulated (RLE, JPEG baseline, JPEG 2000) with its offset table. The
// file is written in three calls so that frames can come one by one.
#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/dicom.h"
#include "formats/jpeg2000.h"
#include "io/dicomtags.h"
#include "io/params.h"

using namespace vxdicom;

struct TVXDicomWriteContext {
  std::unique_ptr<TVXBufferedWriteStream> Stream;
  TProgressRec Progress;
  int32_t LProgress = -1;
  TIOParamsVals* Params = nullptr;
  int32_t ImagesCount = 0;
  int32_t AddedImages = 0;
  bool LittleEndian = true;
  std::string TransferSyntax;
  bool IsCompressed = false;
  int64_t ImageTagLengthPos = 0, FrameIndexPos = 0, FirstImagePos = 0, GroupLengthPos = 0;
  bool LocalAbort = false;
};

namespace {

const char kUnsupportedFormat[] = "DICOM saving: unsupported pixel format";

void Put16(std::vector<uint8_t>& d, uint32_t v, bool Little) {
  if (Little) d.insert(d.end(), {uint8_t(v), uint8_t(v >> 8)});
  else d.insert(d.end(), {uint8_t(v >> 8), uint8_t(v)});
}
void Put32(std::vector<uint8_t>& d, uint32_t v, bool Little) {
  if (Little) { Put16(d, v & 0xFFFF, true); Put16(d, v >> 16, true); }
  else { Put16(d, v >> 16, false); Put16(d, v & 0xFFFF, false); }
}

class TWriter {
 public:
  explicit TWriter(TVXDicomWriteContext& Context) : c(Context), s(*Context.Stream) {}

  void Bytes(const void* Data, int64_t Count) {
    if (Count > 0 && s.Write(Data, Count) < Count) *c.Progress.Aborting = true;
  }
  void Bytes(const std::vector<uint8_t>& d) { Bytes(d.data(), int64_t(d.size())); }
  void U32At(int64_t Position, uint32_t Value, bool Little) {
    const int64_t here = s.Position();
    std::vector<uint8_t> d;
    Put32(d, Value, Little);
    s.SetPosition(Position);
    Bytes(d);
    s.SetPosition(here);
  }
  void Tag(uint16_t g, uint16_t e, bool Little) {
    std::vector<uint8_t> d;
    Put16(d, g, Little);
    Put16(d, e, Little);
    Bytes(d);
  }

  void Elements(const TVXDicomTags& List);

 private:
  TVXDicomWriteContext& c;
  TVXBufferedWriteStream& s;
  void Element(const TVXDicomTag& T);
};

bool LongForm(TVXDicomTagType VR) {
  return VR == dvOB || VR == dvOF || VR == dvOW || VR == dvSQ || VR == dvUN || VR == dvUT || VR == dvUR;
}

bool TextVR(TVXDicomTagType VR) {
  switch (VR) {
    case dvAE: case dvAS: case dvCS: case dvDA: case dvDS: case dvDT: case dvIS: case dvLO: case dvLT:
    case dvPN: case dvSH: case dvST: case dvTM: case dvUR: case dvUT: return true;
    default: return false;
  }
}

void TWriter::Elements(const TVXDicomTags& List) {
  for (int32_t i = 0; i < List.Count(); ++i) Element(*List.GetTag(i));
}

void TWriter::Element(const TVXDicomTag& T) {
  const bool meta = T.Group == 2;
  const bool little = meta || c.LittleEndian;
  if (!meta && c.GroupLengthPos) {
    U32At(c.GroupLengthPos, uint32_t(s.Position() - (c.GroupLengthPos + 4)), true);
    c.GroupLengthPos = 0;
  }
  // Types without a two-letter code of their own are written as the codes
  // that carry them: US for "US or SS" (the writer stores unsigned samples),
  // UN for unknown.
  TVXDicomTagType vr = T.DataType;
  if (vr == dvUSorSS) vr = dvUS;
  if (vr == dvUnknown) vr = dvUN;
  std::vector<uint8_t> value;
  if (!T.Children && T.DataLen > 0) value.assign(T.Data.begin(), T.Data.begin() + T.DataLen);
  // Even lengths, as the standard requires.
  if (value.size() % 2) value.push_back(TextVR(vr) ? ' ' : 0);
  if (!LongForm(vr) && value.size() > 0xFFFF) vr = dvUN;  // too long for a 16-bit length
  // Numbers are kept little-endian; a big-endian data set turns them over.
  const int unit = vxdicom::NumberUnit(T.DataType);
  if (!little && unit > 1)
    for (size_t i = 0; i + size_t(unit) <= value.size(); i += size_t(unit))
      std::reverse(value.begin() + long(i), value.begin() + long(i) + unit);

  std::vector<uint8_t> head;
  Put16(head, T.Group, little);
  Put16(head, T.Element, little);
  const std::string code = VXDicomVRToString(vr);
  head.insert(head.end(), code.begin(), code.end());
  const bool sequence = T.Children != nullptr;
  if (LongForm(vr) || sequence) {
    Put16(head, 0, little);
    Put32(head, uint32_t(value.size()), little);
  } else {
    Put16(head, uint32_t(value.size()), little);
  }
  Bytes(head);
  const int64_t lengthPos = s.Position() - 4;
  if (meta && T.Element == 0x0000) c.GroupLengthPos = s.Position();
  if (!sequence) {
    Bytes(value);
    return;
  }
  const int64_t start = s.Position();
  for (const auto& item : *T.Children) {
    Tag(0xFFFE, 0xE000, little);
    std::vector<uint8_t> l;
    Put32(l, 0, little);
    Bytes(l);
    const int64_t itemStart = s.Position();
    Elements(*item);
    U32At(itemStart - 4, uint32_t(s.Position() - itemStart), little);
  }
  U32At(lengthPos, uint32_t(s.Position() - start), little);
}

// Reports row Row of Rows within segment Segment of Segments.
void RowProgress(TVXDicomWriteContext& c, int64_t Row, int64_t Rows, int Segment, int Segments) {
  const int32_t base = Segments == 2 ? Segment * 50 : Segments == 3 ? Segment * 33 : 0;
  const int32_t percent = int32_t(double(Row) / double(Rows) * 100.0) / Segments + base;
  VXReportProgress(c.Progress, percent, c.LProgress);
}

// The frame's bytes as one sample plane of bytes or of 16-bit samples.
void NativeFrame(TVXDicomWriteContext& c, TWriter& w, TVXBitmap* b) {
  const int32_t W = b->Width(), H = b->Height();
  std::vector<uint8_t> row;
  switch (b->PixelFormat()) {
    case vx1g: {
      // The standard's layout: all rows in one run of bits, the first pixel
      // in the least significant bit, 1 white.
      std::vector<uint8_t> bits(size_t((int64_t(W) * H + 7) / 8), 0);
      int64_t n = 0;
      for (int32_t y = 0; y < H; ++y) {
        const uint8_t* r = static_cast<const uint8_t*>(b->ScanLine(y));
        for (int32_t x = 0; x < W; ++x, ++n)
          if ((r[x >> 3] >> (7 - (x & 7))) & 1) bits[size_t(n >> 3)] |= uint8_t(1u << (n & 7));
        RowProgress(c, y + 1, H, 0, 1);
      }
      w.Bytes(bits);
      return;
    }
    case vx8g:
      for (int32_t y = 0; y < H; ++y) {
        w.Bytes(b->ScanLine(y), W);
        RowProgress(c, y + 1, H, 0, 1);
      }
      return;
    case vx16g:
      for (int32_t y = 0; y < H; ++y) {
        const uint16_t* r = static_cast<const uint16_t*>(b->ScanLine(y));
        row.clear();
        for (int32_t x = 0; x < W; ++x) Put16(row, r[x], c.LittleEndian);
        w.Bytes(row);
        RowProgress(c, y + 1, H, 0, 1);
      }
      return;
    case vx24RGB:
      for (int32_t y = 0; y < H; ++y) {
        const TRGB* r = static_cast<const TRGB*>(b->ScanLine(y));
        row.resize(size_t(W) * 3);
        for (int32_t x = 0; x < W; ++x) {
          row[size_t(x) * 3] = r[x].r;
          row[size_t(x) * 3 + 1] = r[x].g;
          row[size_t(x) * 3 + 2] = r[x].b;
        }
        w.Bytes(row);
        RowProgress(c, y + 1, H, 0, 1);
      }
      return;
    default:
      throw EVXException(kUnsupportedFormat);
  }
}

void RLEFrame(TVXDicomWriteContext& c, TWriter& w, TVXBitmap* b, TVXBufferedWriteStream& s) {
  const int32_t W = b->Width(), H = b->Height();
  int segments;
  switch (b->PixelFormat()) {
    case vx8g: segments = 1; break;
    case vx16g: segments = 2; break;
    case vx24RGB: segments = 3; break;
    default: throw EVXException(kUnsupportedFormat);  // RLE works on whole bytes of a sample
  }
  const int64_t frameStart = s.Position();
  std::vector<uint8_t> header;
  Put32(header, uint32_t(segments), true);
  for (int i = 0; i < 15; ++i) Put32(header, 0, true);
  w.Bytes(header);
  std::vector<uint8_t> plane(static_cast<size_t>(W)), packed;
  for (int seg = 0; seg < segments; ++seg) {
    w.U32At(frameStart + 4 + 4 * seg, uint32_t(s.Position() - frameStart), true);
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* r = static_cast<const uint8_t*>(b->ScanLine(y));
      for (int32_t x = 0; x < W; ++x) {
        if (segments == 1) plane[size_t(x)] = r[x];
        else if (segments == 2) {
          const uint16_t v = reinterpret_cast<const uint16_t*>(r)[x];
          plane[size_t(x)] = seg == 0 ? uint8_t(v >> 8) : uint8_t(v);
        } else {
          plane[size_t(x)] = r[x * 3 + (2 - seg)];  // red, green, blue planes
        }
      }
      packed.clear();
      PackBitsEncode(plane.data(), W, packed);
      w.Bytes(packed);
      RowProgress(c, y + 1, H, seg, segments);
    }
  }
}

void JpegFrame(TVXDicomWriteContext& c, TVXBitmap* b) {
  TIOParamsVals params(nullptr);
  params.SetJPEG_Quality(c.Params->DICOM_JPEGQuality());
  if (b->PixelFormat() == vx8g) {
    params.SetBitsPerSample(8);
    params.SetSamplesPerPixel(1);
    params.SetJPEG_ColorSpace(ioJPEG_GRAYLEV);
  } else if (b->PixelFormat() != vx24RGB) {
    throw EVXException(kUnsupportedFormat);
  }
  VXWriteJpegStream(c.Stream.get(), b, params, c.Progress);
}

void Jpeg2000Frame(TVXDicomWriteContext& c, TVXBitmap* b) {
  TIOParamsVals params(nullptr);
  params.SetJ2000_Rate(c.Params->DICOM_J2000Rate());
  if (b->PixelFormat() == vx8g || b->PixelFormat() == vx16g) {
    params.SetBitsPerSample(b->PixelFormat() == vx8g ? 8 : 16);
    params.SetSamplesPerPixel(1);
    params.SetJ2000_ColorSpace(ioJ2000_GRAYLEV);
  } else if (b->PixelFormat() != vx24RGB) {
    throw EVXException(kUnsupportedFormat);
  }
  VXWriteJpeg2000Stream(c.Stream.get(), b, params, c.Progress, 1);
}

}  // namespace

void vxdicom::PackBitsEncode(const uint8_t* d, int64_t n, std::vector<uint8_t>& Out) {
  if (n <= 0) return;
  enum { kNone, kRun, kLiteral } state = kNone;
  int64_t start = 0;
  const auto emit = [&](int64_t End) {  // start .. End - 1
    const int64_t k = End - start;
    if (k <= 0) return;
    if (state == kRun && k > 2) {
      Out.push_back(uint8_t(int8_t(1 - k)));
      Out.push_back(d[start]);
    } else {
      Out.push_back(uint8_t(k - 1));
      Out.insert(Out.end(), d + start, d + End);
    }
  };
  for (int64_t i = 1; i < n; ++i) {
    if (state == kNone) {
      state = d[i] == d[start] ? kRun : kLiteral;
    } else if (state == kRun) {
      if (d[i] != d[start] && i - start < 3) {
        state = kLiteral;
      } else if (d[i] != d[start] || i - start == 128) {
        emit(i);
        state = kNone;
        start = i;
      }
    } else {
      if (i > 2 && i - 2 >= start && d[i] == d[i - 1] && d[i - 1] == d[i - 2]) {
        i -= 2;
        emit(i);
        start = i;
        state = kNone;
      } else if (i - start == 128) {
        emit(i);
        start = i;
        state = kNone;
      }
    }
  }
  emit(n);
}

TVXDicomWriteContext* VXDicomWriteBegin(TStream* Stream, TIOParamsVals& Params, int32_t ImagesCount,
                                        TProgressRec& Progress) {
  auto c = std::make_unique<TVXDicomWriteContext>();
  c->Progress = Progress;
  if (!c->Progress.Aborting) c->Progress.Aborting = &c->LocalAbort;
  c->Params = &Params;
  c->ImagesCount = ImagesCount;
  TVXDicomTags& tags = Params.DICOM_Tags();

  // The tag list, prepared from the image fields.
  tags.SetTagNumeric(0x0002, 0x0000, 0);
  const uint8_t version[2] = {0, 1};
  tags.SetTagByteBuffer(0x0002, 0x0001, version, 2);
  std::string syntax = tags.GetTagString(0x0002, 0x0010);
  while (!syntax.empty() && (syntax.back() == ' ' || syntax.back() == '\0')) syntax.pop_back();
  const std::string accepted[] = {kExplicitLittleEndian, kExplicitBigEndian, kJpegBaseline, kJpeg2000, kRLE};
  if (std::find(std::begin(accepted), std::end(accepted), syntax) == std::end(accepted)) {
    syntax = kExplicitLittleEndian;
    tags.SetTagString(0x0002, 0x0010, syntax);
  }
  c->TransferSyntax = syntax;
  const bool lossy = syntax == kJpegBaseline || syntax == kJpeg2000;
  tags.SetTagString(0x0028, 0x2110, lossy ? "01" : "00");
  const int32_t spp = Params.SamplesPerPixel(), bps = Params.BitsPerSample();
  tags.SetTagNumeric(0x0028, 0x0002, spp);
  int32_t planar = 0;
  if (spp == 3 && bps == 8) {
    // A baseline JPEG frame holds YCbCr with subsampled colour, which the
    // photometric interpretation has to say.
    tags.SetTagString(0x0028, 0x0004, syntax == kJpegBaseline ? "YBR_FULL_422" : "RGB");
    planar = syntax == kRLE ? 1 : 0;
  } else if (spp == 1 && (bps == 1 || bps == 8 || bps == 16)) {
    tags.SetTagString(0x0028, 0x0004, "MONOCHROME2");
  } else {
    throw EVXException("DICOM saving: unsupported SamplesPerPixel and/or BitsPerSample");
  }
  tags.SetTagNumeric(0x0028, 0x0100, bps);
  tags.SetTagNumeric(0x0028, 0x0101, bps);
  tags.SetTagNumeric(0x0028, 0x0102, bps - 1);  // high bit, which decoders need
  // Planar configuration belongs to colour images only.
  if (spp == 3) tags.SetTagNumeric(0x0028, 0x0006, planar);
  else tags.DeleteTag(0x0028, 0x0006, true);
  tags.SetTagString(0x0028, 0x0008, std::to_string(ImagesCount));
  tags.SetTagNumeric(0x0028, 0x0011, Params.Width());
  tags.SetTagNumeric(0x0028, 0x0010, Params.Height());
  tags.SetTagNumeric(0x0028, 0x0103, 0);
  if (Params.DICOM_Range() != vxdrAdjust) throw EVXException("DICOM_Range = vxdrSetBlackWhite not supported for saving");
  for (const uint32_t t : {0x00281050u, 0x00281051u, 0x00281052u, 0x00281053u, 0x00281201u, 0x00281202u, 0x00281203u,
                           0x7FE00010u, 0xFFFEE000u, 0xFFFEE00Du, 0xFFFEE0DDu})
    tags.DeleteTag(uint16_t(t >> 16), uint16_t(t & 0xFFFF), true);
  c->LittleEndian = syntax != kExplicitBigEndian;
  c->IsCompressed = syntax != kImplicitLittleEndian && syntax != kExplicitLittleEndian && syntax != kExplicitBigEndian;
  if (tags.IndexOf(0x0008, 0x0016) < 0) tags.SetTagString(0x0008, 0x0016, "1.2.840.10008.5.1.4.1.1.7");

  c->Stream = std::make_unique<TVXBufferedWriteStream>(Stream, 8192);
  TWriter w(*c);
  const std::vector<uint8_t> preamble(128, 0);
  w.Bytes(preamble);
  w.Bytes("DICM", 4);
  w.Elements(tags);
  return c.release();
}

void VXDicomWriteAddImage(TVXDicomWriteContext* c, TVXBitmap* Bitmap) {
  if (!c || !Bitmap || c->AddedImages >= c->ImagesCount) return;
  ++c->AddedImages;
  TWriter w(*c);
  TVXBufferedWriteStream& s = *c->Stream;
  const bool little = c->LittleEndian;
  if (c->AddedImages == 1) {
    if (c->GroupLengthPos) {  // a data set of the meta group only
      w.U32At(c->GroupLengthPos, uint32_t(s.Position() - (c->GroupLengthPos + 4)), true);
      c->GroupLengthPos = 0;
    }
    std::vector<uint8_t> head;
    Put16(head, 0x7FE0, little);
    Put16(head, 0x0010, little);
    // Native samples of 16 bits are words; everything else bytes.
    const bool words = !c->IsCompressed && Bitmap->PixelFormat() == vx16g;
    head.insert(head.end(), {uint8_t('O'), uint8_t(words ? 'W' : 'B'), 0, 0});
    Put32(head, 0, little);
    w.Bytes(head);
    c->ImageTagLengthPos = s.Position() - 4;
    if (c->IsCompressed) {
      w.Tag(0xFFFE, 0xE000, true);
      std::vector<uint8_t> table;
      Put32(table, uint32_t(4 * c->ImagesCount), true);
      w.Bytes(table);
      c->FrameIndexPos = s.Position();
      w.Bytes(std::vector<uint8_t>(size_t(4) * size_t(c->ImagesCount), 0));
    }
    c->FirstImagePos = s.Position();
  }
  int64_t itemLengthPos = 0;
  if (c->IsCompressed) {
    w.U32At(c->FrameIndexPos + 4 * (c->AddedImages - 1), uint32_t(s.Position() - c->FirstImagePos), true);
    w.Tag(0xFFFE, 0xE000, true);
    w.Bytes(std::vector<uint8_t>(4, 0));
    itemLengthPos = s.Position() - 4;
  }
  const std::string& ts = c->TransferSyntax;
  if (ts == kJpegBaseline) JpegFrame(*c, Bitmap);
  else if (ts == kJpeg2000) Jpeg2000Frame(*c, Bitmap);
  else if (ts == kRLE) RLEFrame(*c, w, Bitmap, s);
  else NativeFrame(*c, w, Bitmap);
  if (c->IsCompressed) {
    int64_t length = s.Position() - (itemLengthPos + 4);
    if (length % 2) {
      const uint8_t zero = 0;
      w.Bytes(&zero, 1);
      ++length;
    }
    w.U32At(itemLengthPos, uint32_t(length), true);
  }
}

void VXDicomWriteEnd(TVXDicomWriteContext* Context) {
  if (!Context) return;
  std::unique_ptr<TVXDicomWriteContext> c(Context);
  TWriter w(*c);
  TVXBufferedWriteStream& s = *c->Stream;
  if (c->GroupLengthPos) {  // nothing followed the meta group
    w.U32At(c->GroupLengthPos, uint32_t(s.Position() - (c->GroupLengthPos + 4)), true);
    c->GroupLengthPos = 0;
  }
  if (c->AddedImages > 0) {
    if (c->IsCompressed) {
      w.Tag(0xFFFE, 0xE0DD, true);
      w.Bytes(std::vector<uint8_t>(4, 0));
      w.U32At(c->ImageTagLengthPos, 0xFFFFFFFF, c->LittleEndian);
    } else {
      int64_t length = s.Position() - (c->ImageTagLengthPos + 4);
      if (length % 2) {  // values have even lengths
        const uint8_t zero = 0;
        w.Bytes(&zero, 1);
        ++length;
      }
      w.U32At(c->ImageTagLengthPos, uint32_t(length), c->LittleEndian);
    }
  }
  s.Flush();
}
