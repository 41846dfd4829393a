// GIF writing: one-frame files, frames inserted into existing files, frames
// removed, and the animation header.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/gif.h"
#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "core/quantizer.h"
#include "core/rowdepth.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "core/filewriter.h"
#include "io/params.h"

namespace {

void Put16(std::vector<uint8_t>& Out, uint32_t v) {
  Out.push_back(uint8_t(v));
  Out.push_back(uint8_t(v >> 8));
}

// A stream that appends to a byte vector (what the encoder hook writes into).
class TVectorStream : public TStream {
 public:
  explicit TVectorStream(std::vector<uint8_t>& Out) : fOut(Out) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* Buffer, int64_t Count) override {
    const uint8_t* p = static_cast<const uint8_t*>(Buffer);
    fOut.insert(fOut.end(), p, p + Count);
    return Count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return int64_t(fOut.size()); }

 private:
  std::vector<uint8_t>& fOut;
};

// The frame as indices with its palette, ready for the encoder.
struct TPreparedFrame {
  int32_t Width = 0, Height = 0;
  int32_t Bits = 8;
  std::vector<uint8_t> Indices;
  std::vector<TRGB> Palette;  // 2^Bits entries
  bool Transparent = false;   // the transparency flag written
  int32_t TranspIndex = 0;
  int32_t BackgroundIndex = 0;
};

// Pixels and palette of Bitmap at the parameters' depth. ForInsert keeps a
// bitmap of more than two colours asked at 1 bit and stores it at 8 bits.
bool PrepareFrame(TVXBitmap* Bitmap, TIOParamsVals& P, bool ForInsert, TPreparedFrame& F) {
  int32_t bits = P.BitsPerSample();
  if (bits < 1 || bits > 8) bits = 8;
  const bool alpha = Bitmap->HasAlphaChannel();
  TVXBitmap* alphaSource = Bitmap;
  std::unique_ptr<TVXBitmap> owned;
  TVXBitmap* src = Bitmap;
  auto private24 = [&](TVXBitmap* from) {
    auto copy = std::make_unique<TVXBitmap>();
    copy->Allocate(from->Width(), from->Height(), vx24RGB);
    copy->CopyAndConvertFormat(from);
    return copy;
  };
  if (bits == 1) {
    if (Bitmap->PixelFormat() != vx1g) {
      std::unique_ptr<TVXBitmap> rgb;
      TVXBitmap* rgbSrc = Bitmap;
      if (Bitmap->PixelFormat() != vx24RGB) {
        rgb = private24(Bitmap);
        rgbSrc = rgb.get();
      }
      TRGB c1{}, c2{};
      owned = VXTwoColorsTo1Bit(rgbSrc, c1, c2);
      if (owned) {
        src = owned.get();
      } else if (ForInsert) {
        bits = 8;
        owned = std::move(rgb);
        src = owned ? owned.get() : Bitmap;
      } else {
        owned = std::make_unique<TVXBitmap>();
        owned->Allocate(Bitmap->Width(), Bitmap->Height(), vx1g);
        owned->CopyAndConvertFormat(Bitmap);
        src = owned.get();
      }
    }
  } else if (Bitmap->PixelFormat() != vx8p && Bitmap->PixelFormat() != vx24RGB) {
    owned = private24(Bitmap);
    src = owned.get();
  }
  F.Width = src->Width();
  F.Height = src->Height();
  if (F.Width <= 0 || F.Height <= 0 || F.Width > 65535 || F.Height > 65535) return false;
  // A 1-bit frame with transparency needs a third entry: black, white, transparent.
  if (src->PixelFormat() == vx1g && alpha) bits = 2;
  F.Bits = bits;
  const int32_t entries = 1 << bits;
  int32_t colours = entries - (alpha ? 1 : 0);
  F.Palette.assign(size_t(entries), TRGB{0, 0, 0});
  F.Indices.assign(size_t(F.Width) * size_t(F.Height), 0);
  std::unique_ptr<TVXQuantizer> quantizer;
  if (src->PixelFormat() == vx1g) {
    F.Palette[1] = TRGB{255, 255, 255};
    colours = 2;
    for (int32_t y = 0; y < F.Height; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(src->GetScanLine(y));
      uint8_t* out = F.Indices.data() + size_t(y) * size_t(F.Width);
      for (int32_t x = 0; x < F.Width; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
  } else {
    quantizer = std::make_unique<TVXQuantizer>(src, F.Palette.data(), colours - 1, colours);
    for (int32_t y = 0; y < F.Height; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(src->GetScanLine(y));
      uint8_t* out = F.Indices.data() + size_t(y) * size_t(F.Width);
      if (src->PixelFormat() == vx8p) {
        for (int32_t x = 0; x < F.Width; ++x) out[x] = uint8_t(std::min<int32_t>(row[x], colours - 1));
      } else {
        for (int32_t x = 0; x < F.Width; ++x)
          out[x] = uint8_t(quantizer->GetRGBIndex(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]}));
      }
    }
  }
  auto indexOf = [&](TRGB c) {
    if (quantizer && src->PixelFormat() == vx24RGB) return quantizer->GetRGBIndex(c);
    return VXNearestPaletteIndex(F.Palette.data(), colours, c);
  };
  if (alpha) {
    F.Transparent = true;
    F.TranspIndex = colours;
    P.SetGIF_FlagTranspColor(true);
    TVXBitmap* a = alphaSource->AlphaChannel();
    for (int32_t y = 0; y < F.Height; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(a->GetScanLine(y));
      uint8_t* out = F.Indices.data() + size_t(y) * size_t(F.Width);
      for (int32_t x = 0; x < F.Width; ++x)
        if (row[x] < 255) out[x] = uint8_t(colours);
    }
  } else {
    F.Transparent = P.GIF_FlagTranspColor();
    F.TranspIndex = F.Transparent ? indexOf(P.GIF_TranspColor()) : 0;
  }
  F.BackgroundIndex = indexOf(P.GIF_Background());
  return true;
}

TGIFLZWCompFunc Encoder(TIOParamsVals& P) {
  return P.GIF_LZWCompFunc() ? P.GIF_LZWCompFunc() : VXGetGlobalSettings()->DefGIF_LZWCOMPFUNC();
}

void PutTable(std::vector<uint8_t>& Out, const std::vector<TRGB>& Table) {
  for (const TRGB& c : Table) {
    Out.push_back(c.r);
    Out.push_back(c.g);
    Out.push_back(c.b);
  }
}

void PutGraphicControl(std::vector<uint8_t>& Out, TIOParamsVals& P, const TPreparedFrame& F) {
  const uint8_t head[3] = {0x21, 0xF9, 0x04};
  Out.insert(Out.end(), head, head + 3);
  Out.push_back(uint8_t((F.Transparent ? 1 : 0) | ((int32_t(P.GIF_Action()) & 7) << 2)));
  Put16(Out, uint32_t(P.GIF_DelayTime()));
  Out.push_back(uint8_t(F.TranspIndex));
  Out.push_back(0);
}

// Image descriptor and data; a local table when Local.
void PutImage(std::vector<uint8_t>& Out, TIOParamsVals& P, TPreparedFrame& F, bool Local, TGIFLZWCompFunc Encode) {
  Out.push_back(0x2C);
  Put16(Out, uint32_t(P.GIF_XPos()));
  Put16(Out, uint32_t(P.GIF_YPos()));
  Put16(Out, uint32_t(F.Width));
  Put16(Out, uint32_t(F.Height));
  uint8_t packed = uint8_t(P.GIF_Interlaced() ? 0x40 : 0);
  if (Local) packed |= uint8_t(0x80 | (F.Bits - 1));
  Out.push_back(packed);
  if (Local) PutTable(Out, F.Palette);
  TVectorStream s(Out);
  Encode(&s, F.Height, F.Width, P.GIF_Interlaced(), F.Indices.data(), F.Bits);
}

uint8_t ReadByte(TStream* Stream, bool& Ok) {
  uint8_t b = 0;
  Ok = Stream->Read(&b, 1) == 1;
  return b;
}

// Copies data sub-blocks up to and with their terminator. False when one
// runs past the end of the stream (what is there is copied).
bool CopySubBlocks(TStream* In, std::vector<uint8_t>* Out) {
  for (;;) {
    bool ok = false;
    const uint8_t n = ReadByte(In, ok);
    if (!ok) return false;
    if (Out) Out->push_back(n);
    if (n == 0) return true;
    uint8_t buf[255];
    const int64_t got = std::max<int64_t>(0, In->Read(buf, n));
    if (Out) Out->insert(Out->end(), buf, buf + got);
    if (got < n) return false;
  }
}

enum class THeaderCopy { NotGIF, Copied, TableCut };

// The 13-byte header with its version changed to "89a" and the global table.
// A table shorter than the header says is TableCut: a copy would declare a
// table the file does not hold.
THeaderCopy CopyHeader(TStream* In, std::vector<uint8_t>& Out, uint8_t* Header) {
  if (In->Read(Header, 13) != 13 || std::memcmp(Header, "GIF", 3) != 0) return THeaderCopy::NotGIF;
  std::memcpy(Header + 3, "89a", 3);
  Out.insert(Out.end(), Header, Header + 13);
  if (Header[10] & 0x80) {
    const int64_t n = int64_t(3) << ((Header[10] & 7) + 1);
    uint8_t table[768];
    const int64_t got = std::max<int64_t>(0, In->Read(table, n));
    if (got < n) return THeaderCopy::TableCut;
    Out.insert(Out.end(), table, table + got);
  }
  return THeaderCopy::Copied;
}

// Copies (or, with Out nullptr, walks) the blocks of a GIF without frame
// Index; returns the frames copied.
int32_t CopyWithoutFrame(TStream* In, std::vector<uint8_t>* Out, int32_t Index) {
  int32_t frame = 0, copied = 0;
  std::vector<uint8_t> scratch;
  std::vector<uint8_t>& out = Out ? *Out : scratch;
  for (;;) {
    bool ok = false;
    const uint8_t b = ReadByte(In, ok);
    if (!ok || b == 0x3B) break;
    if (b == 0x21) {
      const uint8_t label = ReadByte(In, ok);
      if (!ok) break;
      const bool skip = label == 0xF9 && frame == Index;
      if (!skip && Out) {
        out.push_back(b);
        out.push_back(label);
      }
      CopySubBlocks(In, skip ? nullptr : Out);
      continue;
    }
    if (b != 0x2C) continue;
    uint8_t d[9];
    const int64_t got = In->Read(d, 9);
    const bool skip = frame == Index;
    // The frame's bytes, kept only when they are copied.
    std::vector<uint8_t> image;
    if (Out) {
      image.push_back(b);
      image.insert(image.end(), d, d + std::max<int64_t>(got, 0));
    }
    if (got != 9) {
      if (!skip && Out) out.insert(out.end(), image.begin(), image.end());
      return copied;
    }
    if (d[8] & 0x80) {
      const int64_t n = int64_t(3) << ((d[8] & 7) + 1);
      uint8_t table[768];
      const int64_t t = std::max<int64_t>(0, In->Read(table, n));
      if (Out) image.insert(image.end(), table, table + t);
      if (t != n) {
        if (!skip && Out) out.insert(out.end(), image.begin(), image.end());
        return copied;
      }
    }
    const uint8_t codeSize = ReadByte(In, ok);
    if (ok && Out) image.push_back(codeSize);
    const bool whole = ok && CopySubBlocks(In, skip || !Out ? nullptr : &image);
    ++frame;
    if (skip) {
      if (!whole) return copied;
      continue;
    }
    if (Out) out.insert(out.end(), image.begin(), image.end());
    if (!whole) return copied;  // a damaged image ends the copy without a trailer
    ++copied;
  }
  out.push_back(0x3B);
  return copied;
}

void WriteAll(TStream* Stream, const std::vector<uint8_t>& Data, bool& Aborting) {
  if (Stream->Write(Data.data(), int64_t(Data.size())) != int64_t(Data.size())) Aborting = true;
}

}  // namespace

void VXWriteGIFStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  int32_t last = -1;
  TIOParamsVals& P = IOParams;
  VXReportProgress(Progress, 0, last);
  if (aborting) return;
  try {
    TPreparedFrame F;
    if (!Stream || !Bitmap || Bitmap->IsEmpty() || !PrepareFrame(Bitmap, P, false, F)) {
      aborting = true;
      return;
    }
    VXReportProgress(Progress, 30, last);
    std::vector<uint8_t> out;
    std::string version = P.GIF_Version();
    if (version.size() < 6 || version.compare(0, 3, "GIF") != 0) version = "GIF89a";
    out.insert(out.end(), version.begin(), version.begin() + 6);
    Put16(out, uint32_t(F.Width));
    Put16(out, uint32_t(F.Height));
    out.push_back(uint8_t(0x80 | ((F.Bits - 1) << 4) | (F.Bits - 1)));
    out.push_back(uint8_t(F.BackgroundIndex));
    out.push_back(0);
    PutTable(out, F.Palette);
    PutGraphicControl(out, P, F);
    VXReportProgress(Progress, 70, last);
    const TGIFLZWCompFunc encode = Encoder(P);
    if (!encode) {
      aborting = true;
      return;
    }
    PutImage(out, P, F, false, encode);
    // The comments, each line in sub-blocks of up to 255 bytes.
    out.push_back(0x21);
    out.push_back(0xFE);
    for (const std::string& utf8 : P.GIF_Comments()) {
      const std::string line = VXUTF8ToAnsi(utf8);
      for (size_t at = 0; at < line.size(); at += 255) {
        const size_t n = std::min<size_t>(255, line.size() - at);
        out.push_back(uint8_t(n));
        out.insert(out.end(), line.begin() + int64_t(at), line.begin() + int64_t(at + n));
      }
    }
    out.push_back(0);
    out.push_back(0x3B);
    WriteAll(Stream, out, aborting);
    if (!aborting) VXReportProgress(Progress, 100, last);
  } catch (...) {
    aborting = true;
  }
}

int32_t VXInsertGIFFrameToStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                                 TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  int32_t last = -1;
  TIOParamsVals& P = IOParams;
  VXReportProgress(Progress, 0, last);
  if (aborting) return 0;
  try {
    const int64_t start = Stream->Position();
    std::vector<uint8_t> out;
    uint8_t h[13];
    const THeaderCopy head = CopyHeader(Stream, out, h);
    if (head != THeaderCopy::Copied) {
      Stream->SetPosition(start);
      aborting = head == THeaderCopy::TableCut;
      return 0;
    }
    const TGIFLZWCompFunc encode = Encoder(P);
    TPreparedFrame F;
    if (!encode || !Bitmap || Bitmap->IsEmpty() || !PrepareFrame(Bitmap, P, true, F)) {
      Stream->SetPosition(start);
      aborting = true;
      return 0;
    }
    VXReportProgress(Progress, 30, last);
    const int32_t at = P.GIF_ImageIndex();
    bool inserted = false;
    auto insert = [&] {
      PutGraphicControl(out, P, F);
      PutImage(out, P, F, true, encode);
      inserted = true;
    };
    int32_t frames = 0;
    for (;;) {
      bool ok = false;
      const uint8_t b = ReadByte(Stream, ok);
      if (!ok || b == 0x3B) break;
      if (b == 0x21) {
        const uint8_t label = ReadByte(Stream, ok);
        if (!ok) break;
        if (label == 0xF9 && frames == 0 && at == 0 && !inserted) insert();
        out.push_back(b);
        out.push_back(label);
        CopySubBlocks(Stream, &out);
        continue;
      }
      if (b != 0x2C) continue;
      if (frames == 0 && at == 0 && !inserted) insert();
      out.push_back(b);
      uint8_t d[9];
      if (Stream->Read(d, 9) != 9) {
        aborting = true;
        break;
      }
      out.insert(out.end(), d, d + 9);
      if (d[8] & 0x80) {
        const int64_t n = int64_t(3) << ((d[8] & 7) + 1);
        uint8_t table[768];
        if (Stream->Read(table, n) != n) {
          aborting = true;
          break;
        }
        out.insert(out.end(), table, table + n);
      }
      const uint8_t codeSize = ReadByte(Stream, ok);
      if (!ok) {
        aborting = true;
        break;
      }
      out.push_back(codeSize);
      if (!CopySubBlocks(Stream, &out)) {
        aborting = true;
        break;
      }
      ++frames;
      if (at >= 1 && frames == at && !inserted) {
        VXReportProgress(Progress, 70, last);
        insert();
      }
    }
    if (aborting) {
      Stream->SetPosition(start);
      return 0;
    }
    if (at == 0 && !inserted) insert();
    out.push_back(0x3B);
    Stream->SetPosition(start);
    WriteAll(Stream, out, aborting);
    Stream->SetSize(start + int64_t(out.size()));
    VXReportProgress(Progress, 100, last);
    return frames + (inserted ? 1 : 0);
  } catch (...) {
    aborting = true;
    return 0;
  }
}

int32_t VXInsertGIFFrameToFile(const std::string& FileName, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                               TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TMemoryStream file;
  file.LoadFromFile(FileName);
  file.SetPosition(0);
  const int32_t result = VXInsertGIFFrameToStream(&file, Bitmap, IOParams, Progress);
  if (result > 0 && !aborting)
    VXWriteFileSafely(FileName, aborting,
                      [&](TStream* Out) { Out->WriteBuffer(file.Memory(), file.Size()); });
  return result;
}

int32_t VXRemoveGIFFrame(const std::string& FileName, int32_t Index, bool Save) {
  std::vector<uint8_t> out;
  int32_t copied = 0;
  {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TVXBufferedReadStream in(&file, 65536, true);
    uint8_t h[13];
    if (CopyHeader(&in, out, h) != THeaderCopy::Copied) return 0;
    copied = CopyWithoutFrame(&in, Save ? &out : nullptr, Index);
  }
  if (Save) {
    bool aborting = false;
    VXWriteFileSafely(FileName, aborting,
                      [&](TStream* Out) { Out->WriteBuffer(out.data(), int64_t(out.size())); });
  }
  return copied;
}

int32_t VXGetGIFStreamImageCount(TStream* Stream) {
  const int64_t start = Stream->Position();
  int32_t count = 0;
  try {
    std::vector<uint8_t> head;
    uint8_t h[13];
    if (CopyHeader(Stream, head, h) == THeaderCopy::Copied) count = CopyWithoutFrame(Stream, nullptr, -1);
  } catch (...) {
    count = 0;
  }
  Stream->SetPosition(start);
  return count;
}

bool VXUpdateGIFFileHeader(const std::string& FileName, uint16_t LoopCount, int32_t MinWidth, int32_t MinHeight) {
  TMemoryStream file;
  file.LoadFromFile(FileName);
  file.SetPosition(0);
  std::vector<uint8_t> out;
  uint8_t h[13];
  if (CopyHeader(&file, out, h) != THeaderCopy::Copied) return false;
  const uint16_t w = uint16_t(std::clamp<int32_t>(std::max<int32_t>(h[6] | (h[7] << 8), MinWidth), 0, 65535));
  const uint16_t hh = uint16_t(std::clamp<int32_t>(std::max<int32_t>(h[8] | (h[9] << 8), MinHeight), 0, 65535));
  out[6] = uint8_t(w);
  out[7] = uint8_t(w >> 8);
  out[8] = uint8_t(hh);
  out[9] = uint8_t(hh >> 8);
  // A looping extension right after the header is replaced (dropped whole,
  // with all its sub-blocks).
  const int64_t rest = file.Position();
  uint8_t ext[14];
  if (file.Read(ext, 14) == 14 && ext[0] == 0x21 && ext[1] == 0xFF && ext[2] == 11 &&
      std::memcmp(ext + 3, "NETSCAPE2.0", 11) == 0) {
    CopySubBlocks(&file, nullptr);
  } else {
    file.SetPosition(rest);
  }
  const uint8_t loop[19] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                            0x03, 0x01, uint8_t(LoopCount), uint8_t(LoopCount >> 8), 0x00};
  out.insert(out.end(), loop, loop + 19);
  const int64_t from = file.Position();
  const uint8_t* mem = static_cast<const uint8_t*>(file.Memory());
  out.insert(out.end(), mem + from, mem + file.Size());
  bool aborting = false;
  VXWriteFileSafely(FileName, aborting, [&](TStream* Out) { Out->WriteBuffer(out.data(), int64_t(out.size())); });
  return !aborting;
}
