// TIFF writing frame: the page description normalised for the bitmap, the
// header or the walk of an existing page chain, the tags and the sorted
// directory, and the relocation of a tags-only page's values.
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "core/icc.h"
#include "core/quantizer.h"
#include "core/rowops.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "formats/exif.h"
#include "formats/tiff_write.h"
#include "io/annotations.h"
#include "io/iptc.h"
#include "io/params.h"
#include "io/tagshandler.h"

TTIFFWriterContext::TTIFFWriterContext() = default;
TTIFFWriterContext::~TTIFFWriterContext() = default;

// ---------------------------------------------------------------------------
// Metadata tags

void VXWriteTIFFIPTC(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting) {
  const std::vector<uint8_t> buf = Params.IPTC_Info().SaveToStandardBuffer(false);
  if (buf.empty()) return;
  // Stored as LONGs: the count rounds up, the padding bytes are zero.
  std::vector<uint8_t> padded(buf);
  padded.resize((buf.size() + 3) / 4 * 4, 0);
  const int64_t pos = VXStreamPadToWord(Stream, Aborting);
  VXWriteChecked(Stream, Aborting, padded.data(), int64_t(padded.size()));
  Writer.AddTag(33723, 4, int32_t(padded.size() / 4), uint32_t(pos));
}

void VXWriteTIFFXMP(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting) {
  const std::string& x = Params.XMP_Info();
  if (x.empty()) return;
  Writer.WriteArrayOfByte(Stream, 700, 1, TVXArrayOfByte(x.begin(), x.end()), Aborting);
}

void VXWriteTIFFICC(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting) {
  if (!Params.HasInputICCProfile()) return;
  TVXICC& icc = Params.InputICCProfile();
  if (!icc.IsValid() || icc.IsApplied() || icc.RawLength() <= 0) return;
  const int64_t pos = VXStreamPadToWord(Stream, Aborting);
  icc.SaveToStream(Stream, true);
  if (Stream->Position() - pos != icc.RawLength()) Aborting = true;
  Writer.AddTag(34675, 7, icc.RawLength(), uint32_t(pos));
}

void VXWriteTIFFImagingAnnot(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting) {
  if (!Params.HasImagingAnnot()) return;
  const std::vector<uint8_t> buf = Params.ImagingAnnot().SaveToStandardBuffer();
  Writer.WriteArrayOfByte(Stream, 32932, 1, buf, Aborting);
}

void VXWriteTIFFObjectsTag(TVXTIFFIFDWriter& Writer, TStream* Stream, TIOParamsVals& Params, bool& Aborting) {
  const int32_t tag = VXGetGlobalSettings()->ObjectsTIFFTag();
  if (tag <= 0 || tag > 65535) return;
  const std::vector<uint8_t> buf = Params.VexlaneAnnot().SaveToBuffer();
  Writer.WriteArrayOfByte(Stream, uint16_t(tag), 1, buf, Aborting);
}

// ---------------------------------------------------------------------------
// Relocation

namespace {

void RelocateIFD(TStream* Stream, TStream* DataStream, bool LE, int64_t Delta, int64_t IFDPosition,
                 std::set<int64_t>& Seen) {
  const int64_t keep = Stream->Position();
  Stream->SetPosition(IFDPosition);
  uint8_t c[2];
  if (Stream->Read(c, 2) != 2) {
    Stream->SetPosition(keep);
    return;
  }
  const int32_t count = VXTIFFGet16(c, LE);
  std::vector<uint8_t> e(size_t(count) * 12);
  if (Stream->Read(e.data(), int64_t(e.size())) != int64_t(e.size())) {
    Stream->SetPosition(keep);
    return;
  }
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* p = &e[size_t(i) * 12];
    const uint16_t tag = VXTIFFGet16(p, LE), type = VXTIFFGet16(p + 2, LE);
    const int64_t n = VXTIFFGet32(p + 4, LE);
    const int64_t off = VXTIFFGet32(p + 8, LE);
    const bool inlineValue = n * VXTIFFTypeSize(type) <= 4;
    if (tag == 37500) {
      TVXTagsHandlerRelocator(DataStream, off, Delta, LE).Relocate();
    } else if (inlineValue) {
      if (tag != 34665 && tag != 34853 && tag != 40965) continue;
      // A sub-directory visited once, however often it is named.
      if (Seen.insert(off).second) RelocateIFD(DataStream, DataStream, LE, Delta, off, Seen);
    }
    VXTIFFPut32(p + 8, uint32_t(off + Delta), LE);
  }
  Stream->SetPosition(IFDPosition + 2);
  bool aborting = false;
  VXWriteChecked(Stream, aborting, e.data(), int64_t(e.size()));
  Stream->SetPosition(keep);
}

TIOTIFFPhotometInterpret PhotometOf(TIOTIFFPhotometInterpret p) {
  switch (p) {
    case ioTIFF_WHITEISZERO:
    case ioTIFF_BLACKISZERO: return ioTIFF_BLACKISZERO;
    case ioTIFF_RGBPALETTE:
    case ioTIFF_CMYK:
    case ioTIFF_CIELAB: return p;
    default: return ioTIFF_RGB;
  }
}

// A private copy of a bitmap in another pixel format.
std::unique_ptr<TVXBitmap> ConvertedCopy(TVXBitmap* Bitmap, TVXPixelFormat Format) {
  auto copy = std::make_unique<TVXBitmap>();
  copy->Assign(Bitmap);
  if (copy->PixelFormat() != Format) copy->SetPixelFormat(Format);
  return copy;
}

}  // namespace

void VXRelocateTIFFIFD(TStream* Stream, TStream* DataStream, bool LittleEndian, int64_t Delta, int64_t IFDPosition) {
  std::set<int64_t> seen;
  RelocateIFD(Stream, DataStream, LittleEndian, Delta, IFDPosition, seen);
}

// ---------------------------------------------------------------------------
// The writer

int32_t VXWriteTIFFStream(TStream* Stream, bool InsertMode, TVXBitmap* Bitmap, TProgressRec& Progress,
                          TIOParamsVals& IOParams) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TIOParamsVals& P = IOParams;
  TTIFFWriterContext C;
  C.RefParams = &P;
  TVXTIFFIFDWriter W;
  std::unique_ptr<TVXBitmap> own;
  TVXBitmap* bmp = Bitmap && !Bitmap->IsEmpty() ? Bitmap : nullptr;
  if (Bitmap && !bmp) {
    aborting = true;
    return 0;
  }
  auto replace = [&](std::unique_ptr<TVXBitmap> b) {
    own = std::move(b);
    bmp = own.get();
  };

  if (bmp) {
    // Formats no row builder takes, and one-sample formats asked for more
    // samples, are written from a 24-bit copy.
    const TVXPixelFormat pf0 = bmp->PixelFormat();
    const bool single = pf0 == vx8p || pf0 == vx8g || pf0 == vx16g;
    if (pf0 == vx32f || pf0 == vxCIELab || pf0 == vx32RGB || (single && P.SamplesPerPixel() != 1))
      replace(ConvertedCopy(bmp, vx24RGB));
    // JPEG pages hold 8-bit samples of a 24-bit image.
    if ((P.TIFF_Compression() == ioTIFF_JPEG || P.TIFF_Compression() == ioTIFF_OLDJPEG) &&
        bmp->PixelFormat() != vx24RGB) {
      replace(ConvertedCopy(bmp, vx24RGB));
      P.SetBitsPerSample(8);
    }
    const TVXPixelFormat pf = bmp->PixelFormat();
    // The rows of one-sample formats are their own samples.
    if (pf == vx8p || pf == vx8g) P.SetBitsPerSample(8);
    if (pf == vx16g) P.SetBitsPerSample(16);
    if (pf == vx24RGB && P.SamplesPerPixel() == 1 && P.BitsPerSample() > 8 && P.BitsPerSample() != 16)
      P.SetBitsPerSample(8);

    // 1. Bilevel pages.
    if ((pf == vx1g || pf == vx24RGB) && P.SamplesPerPixel() == 1 && P.BitsPerSample() == 1)
      P.SetTIFF_PhotometInterpret(ioTIFF_BLACKISZERO);
    // 2. One or two 8-bit samples of a 24-bit image.
    if (pf == vx24RGB && P.SamplesPerPixel() <= 2 && P.BitsPerSample() == 8) {
      if (!bmp->HasAlphaChannel()) {
        P.SetTIFF_PhotometInterpret(ioTIFF_RGBPALETTE);
        P.SetSamplesPerPixel(1);
      } else {
        P.SetTIFF_PhotometInterpret(ioTIFF_RGB);
        P.SetSamplesPerPixel(4);
        P.SetBitsPerSample(8);
        P.SetTIFF_Compression(ioTIFF_UNCOMPRESSED);
      }
    }
    // 3. The bitmap for a bilevel page, and only for one.
    const bool bilevel = P.BitsPerSample() == 1 && P.SamplesPerPixel() == 1 &&
                         (P.TIFF_PhotometInterpret() == ioTIFF_WHITEISZERO ||
                          P.TIFF_PhotometInterpret() == ioTIFF_BLACKISZERO);
    if (!bilevel && bmp->PixelFormat() == vx1g) {
      replace(ConvertedCopy(bmp, vx24RGB));
    } else if (bilevel && bmp->PixelFormat() != vx1g) {
      TRGB c1{}, c2{};
      std::unique_ptr<TVXBitmap> two = VXTwoColorsTo1Bit(bmp, c1, c2);
      if (!two) {
        two = std::make_unique<TVXBitmap>();
        two->Allocate(bmp->Width(), bmp->Height(), vx1g);
        two->CopyAndConvertFormat(bmp);
      }
      replace(std::move(two));
    }
    // 4. One sample of up to 8 or of 16 bits: palette or grey levels.
    const int32_t bps = P.BitsPerSample();
    if (P.SamplesPerPixel() == 1 && (bps <= 8 || bps == 16) &&
        (bps > 1 || P.TIFF_PhotometInterpret() == ioTIFF_RGBPALETTE) && bmp->PixelFormat() != vx1g) {
      C.Palette.assign(256, TRGB{});
      C.qt = std::make_unique<TVXQuantizer>(bmp, C.Palette.data(), 255, std::min(1 << std::min(bps, 16), 256));
      // A palette image keeps its palette: its indexes are no grey levels.
      if (C.qt->GrayScale() && bmp->PixelFormat() != vx8p) {
        P.SetTIFF_PhotometInterpret(ioTIFF_BLACKISZERO);
      } else {
        P.SetTIFF_PhotometInterpret(ioTIFF_RGBPALETTE);
        const TIOTIFFCompression c = P.TIFF_Compression();
        if (c != ioTIFF_LZW && c != ioTIFF_PACKBITS && c != ioTIFF_ZIP) P.SetTIFF_Compression(ioTIFF_UNCOMPRESSED);
        if (bps == 16) P.SetBitsPerSample(8);
      }
    }
    // 5. Samples and bits the pixel format fixes.
    const TVXPixelFormat pfw = bmp->PixelFormat();
    if (P.TIFF_PhotometInterpret() == ioTIFF_RGBPALETTE && P.SamplesPerPixel() > 1)
      P.SetTIFF_PhotometInterpret(ioTIFF_RGB);
    auto rgb48 = [&] {
      if (pfw != vx48RGB) return;
      P.SetSamplesPerPixel(3);
      P.SetBitsPerSample(16);
      P.SetTIFF_PhotometInterpret(ioTIFF_RGB);
    };
    rgb48();
    if (P.BitsPerSample() > 8 && P.SamplesPerPixel() != 1) {
      P.SetSamplesPerPixel(3);
      P.SetBitsPerSample(8);
      P.SetTIFF_PhotometInterpret(ioTIFF_RGB);
    }
    if ((P.TIFF_PhotometInterpret() == ioTIFF_WHITEISZERO || P.TIFF_PhotometInterpret() == ioTIFF_BLACKISZERO) &&
        P.BitsPerSample() == 8 && P.SamplesPerPixel() == 3)
      P.SetTIFF_PhotometInterpret(ioTIFF_RGB);
    if (P.TIFF_PhotometInterpret() == ioTIFF_RGB && P.SamplesPerPixel() == 1 && P.BitsPerSample() == 1)
      P.SetTIFF_PhotometInterpret(ioTIFF_BLACKISZERO);
    if (P.TIFF_PhotometInterpret() == ioTIFF_YCBCR && P.TIFF_Compression() != ioTIFF_JPEG)
      P.SetTIFF_PhotometInterpret(ioTIFF_RGB);
    if (P.TIFF_PhotometInterpret() == ioTIFF_RGB && P.SamplesPerPixel() > 3) P.SetSamplesPerPixel(3);
    rgb48();
    if (pfw == vxCMYK) {
      P.SetSamplesPerPixel(4);
      P.SetBitsPerSample(8);
      P.SetTIFF_PhotometInterpret(ioTIFF_CMYK);
    }
    // Colour pages of a 24-bit image hold 8-bit samples.
    if (pfw == vx24RGB && P.TIFF_PhotometInterpret() != ioTIFF_RGBPALETTE &&
        P.TIFF_PhotometInterpret() != ioTIFF_BLACKISZERO)
      P.SetBitsPerSample(8);
    // 6.
    C.Photomet = PhotometOf(P.TIFF_PhotometInterpret());
    if (C.Photomet == ioTIFF_CMYK) P.SetSamplesPerPixel(4);
    C.T4Options = 0;
    // A grey or palette page of a 24-bit image needs its quantiser.
    if (pfw == vx24RGB && (C.Photomet == ioTIFF_BLACKISZERO || C.Photomet == ioTIFF_RGBPALETTE) && !C.qt) {
      C.Palette.assign(256, TRGB{});
      C.qt = std::make_unique<TVXQuantizer>(bmp, C.Palette.data(), 255,
                                            std::min(1 << std::clamp(P.BitsPerSample(), 1, 16), 256));
    }
    // 7. Compression.
    const TIOTIFFPhotometInterpret photometBefore = C.Photomet;
    bool ccitt = false;
    switch (P.TIFF_Compression()) {
      case ioTIFF_CCITT1D: C.Compression = 2; ccitt = true; break;
      case ioTIFF_G3FAX1D: C.Compression = 3; ccitt = true; break;
      case ioTIFF_G3FAX2D: C.Compression = 3; C.T4Options = 1; ccitt = true; break;
      case ioTIFF_G4FAX: C.Compression = 4; ccitt = true; break;
      case ioTIFF_LZW:
        C.LZWCompFunc = P.TIFF_LZWCompFunc() ? P.TIFF_LZWCompFunc() : VXGetGlobalSettings()->DefTIFF_LZWCOMPFUNC();
        if (C.LZWCompFunc) {
          C.Compression = 5;
          C.Predictor = 2;
        } else {
          C.Compression = 1;
          C.Predictor = 1;
        }
        break;
      case ioTIFF_OLDJPEG:
      case ioTIFF_JPEG:
        C.Compression = P.TIFF_Compression() == ioTIFF_OLDJPEG ? 6 : 7;
        C.jpegquality = P.TIFF_JPEGQuality();
        C.jpegcolorspace = P.TIFF_JPEGColorSpace();
        switch (C.jpegcolorspace) {
          case ioJPEG_RGB: C.Photomet = ioTIFF_RGB; break;
          case ioJPEG_GRAYLEV: C.Photomet = ioTIFF_BLACKISZERO; break;
          case ioJPEG_CMYK: C.Photomet = ioTIFF_CMYK; break;
          case ioJPEG_YCbCrK:
            C.Photomet = ioTIFF_RGB;
            C.jpegcolorspace = ioJPEG_RGB;
            P.SetTIFF_JPEGColorSpace(ioJPEG_RGB);
            break;
          default: C.Photomet = ioTIFF_YCBCR; break;
        }
        break;
      case ioTIFF_PACKBITS: C.Compression = 32773; break;
      case ioTIFF_ZIP:
      case ioTIFF_DEFLATE: C.Compression = 32946; break;
      default: C.Compression = 1; break;
    }
    if (ccitt) C.Photomet = ioTIFF_WHITEISZERO;
    // 8.
    C.FillOrder = P.TIFF_FillOrder();
    if (ccitt && pfw != vx1g) {
      C.Compression = 1;
      C.Photomet = photometBefore;
      ccitt = false;
    }
    // 9.
    if (!(P.BitsPerSample() == 8 && (P.SamplesPerPixel() == 1 || P.SamplesPerPixel() == 3) &&
          C.Photomet != ioTIFF_RGBPALETTE && C.Photomet != ioTIFF_BLACKISZERO && !bmp->HasAlphaChannel() &&
          pfw == vx24RGB))
      C.Predictor = 1;
    // 10. CCITT codes black as 1.
    if (ccitt) {
      if (!own) replace(ConvertedCopy(bmp, vx1g));
      VXInvertBitmapRows(bmp);
    }
  }

  // 3. The start.
  const int64_t P0 = Stream->Position();
  int32_t result = 0;
  int64_t linkField = 0, insertEnd = -1;
  uint32_t linkValue = 0;
  std::unique_ptr<TMemoryStream> data;
  if (InsertMode) {
    const int32_t index = P.TIFF_ImageIndex();
    uint8_t h[8];
    const int64_t size = Stream->Size();
    if (index < 0 || Stream->Read(h, 8) != 8 || h[0] != 'I' || h[1] != 'I' || VXTIFFGet16(h + 2, true) != 42) {
      aborting = true;
      return 0;
    }
    int32_t walked = 0;
    int64_t field = P0 + 4;
    bool found = false;
    std::set<int64_t> seen;
    for (;;) {
      uint8_t b[4];
      Stream->SetPosition(field);
      if (Stream->Read(b, 4) != 4) {
        aborting = true;
        return 0;
      }
      const uint32_t link = VXTIFFGet32(b, true);
      if (walked == index) {
        linkField = field;
        linkValue = link;
        found = true;
      }
      if (link == 0) {
        if (!found) {
          linkField = field;
          linkValue = 0;
        }
        break;
      }
      // A link outside the stream, or back to a directory already seen,
      // is damage.
      if (int64_t(link) + 2 > size || !seen.insert(link).second) {
        aborting = true;
        return 0;
      }
      Stream->SetPosition(link);
      uint8_t c[2];
      if (Stream->Read(c, 2) != 2) {
        aborting = true;
        return 0;
      }
      field = int64_t(link) + 2 + 12 * int64_t(VXTIFFGet16(c, true));
      ++walked;
    }
    result = walked + 1;
    Stream->Seek(0, soEnd);
    insertEnd = Stream->Position();
  } else {
    const uint8_t zero[8] = {};
    VXWriteChecked(Stream, aborting, zero, 8);
    result = 1;
    if (!bmp) data = std::make_unique<TMemoryStream>();
  }
  TStream* values = data ? static_cast<TStream*>(data.get()) : Stream;

  // 4. The EXIF set, or the description and resolution. The EXIF image
  // size is the size of the page written.
  if (P.EXIF_HasEXIFData()) {
    if (bmp && P.EXIF_ExifImageWidth() != 0) P.SetEXIF_ExifImageWidth(bmp->Width());
    if (bmp && P.EXIF_ExifImageHeight() != 0) P.SetEXIF_ExifImageHeight(bmp->Height());
    VXWriteEXIFTags(W, values, P, aborting);
  } else {
    W.WriteText(values, 270, P.TIFF_ImageDescription(), aborting);
    W.WriteSingleRational(values, 282, double(P.DpiX()), aborting);
    W.WriteSingleRational(values, 283, double(P.DpiY()), aborting);
    W.WriteSingleShort(296, 2);
  }

  // 5. The image.
  if (bmp) {
    const TVXPixelFormat pf = bmp->PixelFormat();
    W.WriteSingleLong(256, uint32_t(bmp->Width()));
    W.WriteSingleLong(257, uint32_t(bmp->Height()));
    std::vector<uint16_t> bits;
    switch (pf) {
      case vx1g: bits = {1}; break;
      case vx8p:
      case vx8g: bits = {8}; break;
      case vx16g: bits = {16}; break;
      case vx24RGB:
        if (C.Photomet == ioTIFF_BLACKISZERO || C.Photomet == ioTIFF_RGBPALETTE)
          bits = {uint16_t(P.BitsPerSample())};
        else if (C.Photomet == ioTIFF_CMYK)
          bits = {8, 8, 8, 8};
        else
          bits = {8, 8, 8};
        break;
      case vxCMYK: bits = {8, 8, 8, 8}; break;
      case vx48RGB: bits = {16, 16, 16}; break;
      default: break;
    }
    W.WriteSingleShort(259, uint16_t(C.Compression));
    if (pf == vx1g) {
      if (C.Photomet == ioTIFF_WHITEISZERO || C.Photomet == ioTIFF_BLACKISZERO)
        W.WriteSingleShort(262, uint16_t(C.Photomet));
    } else {
      uint16_t pi = 2;
      switch (C.Photomet) {
        case ioTIFF_BLACKISZERO: pi = 1; break;
        case ioTIFF_RGBPALETTE: pi = 3; break;
        case ioTIFF_CMYK: pi = 5; break;
        case ioTIFF_YCBCR: pi = 6; break;
        case ioTIFF_CIELAB: pi = 8; break;
        default: break;
      }
      W.WriteSingleShort(262, pi);
    }
    W.WriteText(Stream, 269, P.TIFF_DocumentName(), aborting);
    if (C.Compression >= 2 && C.Compression <= 4) {
      W.WriteSingleShort(266, uint16_t(C.FillOrder));
      W.WriteSingleShort(284, 1);
      W.WriteSingleShort(327, 0);
    }
    C.BitsPerSample = P.BitsPerSample();
    const TVXDataAccess access = bmp->Access();
    bmp->SetAccess(vxdRead);
    if (C.Compression == 6)
      VXWriteTIFFOldJpeg(Stream, bmp, W, Progress, C);
    else
      VXWriteTIFFStrips(Stream, bmp, W, Progress, C);
    bmp->SetAccess(access);
    // An alpha sample has the bits of the colour samples.
    if (C.hasalpha) bits.push_back(bits.back());
    W.WriteMultiShort(Stream, 258, aborting, bits);
  }

  // 6. The page's other tags.
  if (!aborting && bmp) {
    const TVXPixelFormat pf = bmp->PixelFormat();
    uint16_t spp = 3;
    if (pf == vx1g || C.Photomet == ioTIFF_BLACKISZERO || C.Photomet == ioTIFF_RGBPALETTE)
      spp = 1;
    else if (C.Photomet == ioTIFF_CMYK || pf == vxCMYK)
      spp = 4;
    if (C.hasalpha) {
      ++spp;
      // Unassociated alpha: the colours are stored straight, not
      // premultiplied.
      W.WriteSingleShort(338, 2);
    }
    W.WriteSingleShort(277, spp);
    if (C.Predictor == 2) W.WriteSingleShort(317, 2);
    W.WriteText(Stream, 285, P.TIFF_PageName(), aborting);
    if (P.TIFF_XPos() != 0) W.WriteSingleRational(Stream, 286, double(P.TIFF_XPos()), aborting);
    if (P.TIFF_YPos() != 0) W.WriteSingleRational(Stream, 287, double(P.TIFF_YPos()), aborting);
    // T4Options belongs to Group 3 pages and T6Options to Group 4 pages
    // only: readers refuse either on the other.
    if (C.Compression == 3) W.WriteSingleLong(292, uint32_t(C.T4Options));
    if (C.Compression == 4) W.WriteSingleLong(293, 0);
    W.WriteSingleLong(254, uint32_t(P.TIFF_NewSubfileType()));
    if (P.TIFF_PageNumber() >= 0 || P.TIFF_PageCount() >= 0) {
      const uint16_t pn[2] = {uint16_t(std::max(P.TIFF_PageNumber(), 0)), uint16_t(std::max(P.TIFF_PageCount(), 0))};
      W.WriteMultiShort(Stream, 297, aborting, pn);
    }
    VXWriteTIFFIPTC(W, Stream, P, aborting);
    VXWriteTIFFXMP(W, Stream, P, aborting);
    VXWriteTIFFImagingAnnot(W, Stream, P, aborting);
    VXWriteTIFFObjectsTag(W, Stream, P, aborting);
    VXWriteTIFFICC(W, Stream, P, aborting);
    W.WriteArrayOfByte(Stream, 34377, 1, P.TIFF_PhotoshopImageResources(), aborting);
    W.WriteArrayOfByte(Stream, 37724, 7, P.TIFF_PhotoshopImageSourceData(), aborting);
    if (C.Photomet == ioTIFF_RGBPALETTE && C.qt) {
      const int32_t n = std::min(1 << std::clamp(C.BitsPerSample, 1, 16), 256);
      std::vector<uint16_t> map(size_t(n) * 3);
      for (int32_t i = 0; i < n; ++i) {
        map[size_t(i)] = uint16_t(C.Palette[size_t(i)].r * 257);
        map[size_t(n + i)] = uint16_t(C.Palette[size_t(i)].g * 257);
        map[size_t(2 * n + i)] = uint16_t(C.Palette[size_t(i)].b * 257);
      }
      W.WriteMultiShort(Stream, 320, aborting, map);
    }
  }

  // 7. The directory.
  if (!aborting) {
    const int64_t D = VXStreamPadToWord(Stream, aborting);
    uint8_t link[4];
    VXTIFFPut32(link, uint32_t(D), true);
    if (InsertMode) {
      Stream->SetPosition(linkField);
      VXWriteChecked(Stream, aborting, link, 4);
    } else {
      uint8_t h[8] = {'I', 'I', 42, 0};
      std::memcpy(h + 4, link, 4);
      Stream->SetPosition(P0);
      VXWriteChecked(Stream, aborting, h, 8);
    }
    Stream->SetPosition(D);
    W.ReorderTags();
    uint8_t cnt[2];
    VXTIFFPut16(cnt, uint16_t(W.Count()), true);
    VXWriteChecked(Stream, aborting, cnt, 2);
    for (const TTIFFTAG& t : W.Items) VXWriteTIFFTag(Stream, t, true, aborting);
    uint8_t next[4];
    VXTIFFPut32(next, InsertMode ? linkValue : 0, true);
    VXWriteChecked(Stream, aborting, next, 4);
    // 8. A tags-only page: its values follow the directory.
    if (data) {
      const int64_t delta = D + 2 + 12 * int64_t(W.Count()) + 4;
      VXRelocateTIFFIFD(Stream, data.get(), true, delta, D);
      Stream->SetPosition(delta);
      VXWriteChecked(Stream, aborting, data->Memory(), data->Size());
    }
  }
  // A page that could not go in leaves nothing after the old pages.
  if (aborting && insertEnd >= 0) {
    try {
      Stream->SetSize(insertEnd);
    } catch (const std::exception&) {
    }
  }
  return result;
}
