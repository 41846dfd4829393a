// JPEG decoding into a bitmap and the parameters.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/jpeg.h"
#include "codecs/jpeg_glue.h"
#include "core/bitmap.h"
#include "core/icc.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/orientation.h"
#include "io/annotations.h"
#include "io/exif.h"
#include "core/cmyk.h"
#include "io/iptc.h"
#include "io/probes.h"
#include "io/markers.h"
#include "io/params.h"
#include "io/xmp.h"

namespace {

// Everything the codec works on during one call. Only trivially destructible
// members: a codec error unwinds past the calls that use them by longjmp.
struct TReadState {
  jpeg_decompress_struct Info;
  vxjpeg::TErrorMgr Err;
  vxjpeg::TSourceMgr Src;
  bool Created = false;
};

TIOJPEGColorspace ColorSpaceOf(J_COLOR_SPACE c, TIOJPEGColorspace old) {
  switch (c) {
    case JCS_GRAYSCALE: return ioJPEG_GRAYLEV;
    case JCS_RGB: return ioJPEG_RGB;
    case JCS_YCbCr: return ioJPEG_YCbCr;
    case JCS_CMYK: return ioJPEG_CMYK;
    case JCS_YCCK: return ioJPEG_YCbCrK;
    default: return old;
  }
}

// The decoding scale denominator the parameters ask for.
int32_t ScaleDenominator(const TIOParamsVals& P, int32_t ImageWidth, int32_t ImageHeight) {
  switch (P.JPEG_Scale()) {
    case ioJPEG_FULLSIZE: return 1;
    case ioJPEG_HALF: return 2;
    case ioJPEG_QUARTER: return 4;
    case ioJPEG_EIGHTH: return 8;
    case ioJPEG_AUTOCALC: {
      const int32_t w = P.Width(), h = P.Height();
      if (w <= 0 || h <= 0) return 1;
      for (int s = 3; s >= 0; --s)
        if ((ImageWidth >> s) >= w && (ImageHeight >> s) >= h) return 1 << s;
      return 1;
    }
  }
  return 1;
}

// Returns true when an APP1 marker was accepted as EXIF data.
bool TakeMetadata(TIOParamsVals& P) {
  TVXMarkerList& markers = P.JPEG_MarkerList();
  bool iptc = false, xmp = false, annot = false, exif = false;
  for (int32_t i = 0; i < markers.Count(); ++i) {
    const uint8_t type = markers.MarkerType(i);
    const void* data = markers.MarkerData(i);
    const int64_t len = markers.MarkerSize(i);
    if (type == JPEG_APP0 + 13 && !iptc) {
      iptc = P.IPTC_Info().LoadFromStandardBuffer(data, len);
    } else if (type == JPEG_APP0 + 1) {
      if (!exif) exif = VXLoadEXIFFromBuffer(data, len, P);
      if (!xmp && VXFindXMPPacket(data, len) != nullptr) xmp = VXLoadXMPFromMarker(data, len, P);
      if (!annot && TVXVexlaneAnnot::BufferContainsVexlaneAnnot(data, len)) {
        P.VexlaneAnnot().LoadFromBuffer(data, len);
        annot = true;
      }
    }
  }
  return exif;
}

// The nearest dots per inch below a resolution, held at the integer range.
int32_t ToDpi(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return int32_t(v);
}

}  // namespace

int32_t VXReadJpegStream(TStream* Stream, TStream* TablesStream, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                         TProgressRec& Progress, bool ParamsOnly, bool RawColor, bool LoadMetadata, bool InvertCMYK,
                         bool ReleaseProfile, bool ReadICCProfile, int32_t MaxRows, bool NativeFormat) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  bool* abortFlag = &aborting;
  TIOParamsVals& P = IOParams;
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();

  if (Stream && P.JPEG_GetExifThumbnail()) {
    // The EXIF thumbnail in place of the image, when the file has one.
    if (P.EXIF_Bitmap()) P.EXIF_Bitmap()->FreeImage(true);
    const int32_t w = P.Width(), h = P.Height();
    const int64_t start = Stream->Position();
    P.SetJPEG_GetExifThumbnail(false);
    struct TFlag {
      TIOParamsVals& P;
      ~TFlag() { P.SetJPEG_GetExifThumbnail(true); }
    } flag{P};
    VXReadJpegStream(Stream, TablesStream, Bitmap, P, Progress, true, RawColor, true, InvertCMYK, ReleaseProfile,
                     false, -1, NativeFormat);
    Stream->SetPosition(start);
    if (P.EXIF_Bitmap() && !P.EXIF_Bitmap()->IsEmpty() && Bitmap) {
      Bitmap->Assign(P.EXIF_Bitmap());
      return 0;
    }
    aborting = false;
    P.SetWidth(w);
    P.SetHeight(h);
    P.SetOriginalWidth(w);
    P.SetOriginalHeight(h);
  }
  P.SetJPEG_WarningTot(0);
  P.SetJPEG_WarningCode(0);
  if (!Stream) {
    aborting = true;
    return 0;
  }
  const int64_t soi = VXFindJpegSOI(Stream, true);
  if (soi < 0) {
    aborting = true;
    return 0;
  }
  Stream->SetPosition(soi);
  if (ReadICCProfile) VXReadJpegICCProfile(Stream, P);

  auto st = std::make_unique<TReadState>();
  jpeg_decompress_struct* info = &st->Info;
  std::memset(info, 0, sizeof *info);
  vxjpeg::InitErrorMgr(st->Err, abortFlag);
  info->err = &st->Err.pub;
  int32_t rows = 0;
  bool useProfile = false;
  bool started = false;
  bool turnUpright = false;
  std::vector<uint8_t> scratch;

  // Everything after the structure exists ends here.
  bool cleaned = false;
  auto cleanUp = [&]() {
    if (cleaned) return;
    cleaned = true;
    if (ReleaseProfile && useProfile) {
      TVXICC& profile = P.InputICCProfile();
      if (profile.IsTransforming()) profile.FreeTransform();
      P.JPEG_MarkerList().DeleteMarkerInstances(JPEG_APP0 + 2);
      if (settings->EXIFInteroperabilityIndexUsage() == vxiiApplyAndReset) {
        P.SetEXIF_InteropIndex("");
        P.SetEXIF_InteropVersion("");
      }
    } else if (P.HasInputICCProfile() && P.InputICCProfile().IsValid() && Bitmap && Bitmap->ColorProfile()) {
      Bitmap->ColorProfile()->Assign(&P.InputICCProfile());
    }
    if (st->Created) {
      if (started && !aborting && !ParamsOnly) {
        st->Err.AbortFlag = nullptr;
        if (rows < int32_t(info->output_height)) {
          // Fewer rows than the image has, on purpose (MaxRows): end without
          // the codec's complaint about missing rows.
          jpeg_abort_decompress(info);
        } else if (!vxjpeg::JpegGuarded(st->Err, [&] { jpeg_finish_decompress(info); })) {
          aborting = true;
        }
      }
      if (st->Err.pub.num_warnings > 0) {
        P.SetJPEG_WarningTot(int32_t(st->Err.pub.num_warnings));
        P.SetJPEG_WarningCode(st->Err.LastWarning);
      }
      jpeg_destroy_decompress(info);
      st->Created = false;
    }
    // Turned upright by the EXIF orientation once pixels were decoded.
    if (turnUpright && rows > 0 && Bitmap && !Bitmap->IsEmpty()) {
      VXApplyEXIFOrientation(Bitmap, P.EXIF_Orientation());
      P.SetEXIF_Orientation(1);
    }
  };

  try {
    if (!vxjpeg::JpegGuarded(st->Err, [&] {
          jpeg_CreateDecompress(info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
        })) {
      aborting = true;
      return 0;
    }
    st->Created = true;
    if (aborting) {
      cleanUp();
      return 0;
    }
    if (TablesStream && TablesStream != Stream && !ParamsOnly) {
      vxjpeg::AttachSource(info, st->Src, TablesStream, abortFlag);
      if (!vxjpeg::JpegGuarded(st->Err, [&] { jpeg_read_header(info, FALSE); })) {
        cleanUp();
        return 0;
      }
    }
    vxjpeg::AttachSource(info, st->Src, Stream, abortFlag);
    if (aborting) {
      cleanUp();
      return 0;
    }
    jpeg_save_markers(info, JPEG_COM, 0xFFFF);
    for (int m = 0; m < 16; ++m) jpeg_save_markers(info, JPEG_APP0 + m, 0xFFFF);
    if (!vxjpeg::JpegGuarded(st->Err, [&] { jpeg_read_header(info, TRUE); }) || aborting) {
      aborting = true;
      cleanUp();
      return 0;
    }

    // Resolution from the JFIF header.
    const int32_t jfifX = info->X_density, jfifY = info->Y_density;
    switch (info->density_unit) {
      case 0:
      case 1:
        P.SetDpiX(jfifX);
        P.SetDpiY(jfifY);
        break;
      case 2:
        P.SetDpiX(int32_t(jfifX * 2.54));
        P.SetDpiY(int32_t(jfifY * 2.54));
        break;
      default:
        break;
    }
    // What the JFIF header gave (EXIF data changes the fields).
    const int32_t dpiX = P.DpiX(), dpiY = P.DpiY();

    // Every saved marker but the first APP0 (the JFIF header, which the
    // encoder writes itself).
    TVXMarkerList& markers = P.JPEG_MarkerList();
    markers.Clear();
    bool firstApp0 = true;
    for (jpeg_saved_marker_ptr m = info->marker_list; m != nullptr; m = m->next) {
      if (m->marker == JPEG_APP0 && firstApp0) {
        firstApp0 = false;
        continue;
      }
      markers.AddMarker(uint8_t(m->marker), m->data, uint16_t(m->data_length));
    }
    if (LoadMetadata && TakeMetadata(P)) {
      // A JFIF header without a real resolution (1 x 1) takes the EXIF one,
      // which the EXIF reader has already turned into dots per inch.
      if (jfifX == 1 && jfifY == 1) {
        P.SetDpiX(ToDpi(P.EXIF_XResolution()));
        P.SetDpiY(ToDpi(P.EXIF_YResolution()));
      } else {
        P.SetDpiX(dpiX);
        P.SetDpiY(dpiY);
      }
      turnUpright = P.JPEG_EnableAdjustOrientation();
    }

    if (P.EXIF_InteropIndex() == "R03" && !(P.HasInputICCProfile() && P.InputICCProfile().IsValid()) &&
        (settings->EXIFInteroperabilityIndexUsage() == vxiiApplyOnly ||
         settings->EXIFInteroperabilityIndexUsage() == vxiiApplyAndReset))
      P.InputICCProfile().Assign_AdobeRGB1998();
    useProfile = P.HasInputICCProfile() && P.InputICCProfile().IsValid() && settings->EnableCMS();
    if (aborting) {
      cleanUp();
      return 0;
    }

    P.SetImageCount(1);
    P.SetBitsPerSample(8);
    P.SetJPEG_ColorSpace(ColorSpaceOf(info->jpeg_color_space, P.JPEG_ColorSpace()));
    const bool grey = info->jpeg_color_space == JCS_GRAYSCALE;
    switch (info->jpeg_color_space) {
      case JCS_GRAYSCALE:
        P.SetSamplesPerPixel(1);
        // Grey into a 24-bit bitmap comes out of the codec as equal blue,
        // green and red.
        info->out_color_space = NativeFormat ? JCS_GRAYSCALE : JCS_EXT_BGR;
        break;
      case JCS_RGB:
        P.SetSamplesPerPixel(3);
        info->out_color_space = JCS_RGB;
        break;
      case JCS_YCbCr:
        P.SetSamplesPerPixel(3);
        info->out_color_space = RawColor ? JCS_YCbCr : JCS_EXT_BGR;
        break;
      case JCS_CMYK:
      case JCS_YCCK:
        P.SetSamplesPerPixel(4);
        info->out_color_space = JCS_CMYK;
        break;
      default:
        info->out_color_space = JCS_UNKNOWN;
        break;
    }
    switch (P.JPEG_DCTMethod()) {
      case ioJPEG_IFAST: info->dct_method = JDCT_IFAST; break;
      case ioJPEG_FLOAT: info->dct_method = JDCT_FLOAT; break;
      default: info->dct_method = JDCT_ISLOW; break;
    }
    P.FreeColorMap();
    P.SetJPEG_Progressive(info->progressive_mode != 0);
    P.SetOriginalWidth(int32_t(info->image_width));
    P.SetOriginalHeight(int32_t(info->image_height));
    const int32_t denom = ScaleDenominator(P, int32_t(info->image_width), int32_t(info->image_height));
    info->scale_num = 1;
    info->scale_denom = unsigned(denom);
    P.SetJPEG_Scale_Used(denom);

    if (ParamsOnly) {
      P.SetWidth(int32_t(info->image_width));
      P.SetHeight(int32_t(info->image_height));
      cleanUp();
      return 0;
    }
    if (info->out_color_space == JCS_UNKNOWN) {
      // A colour space the codec cannot name: nothing to decode into.
      aborting = true;
      cleanUp();
      return 0;
    }
    // The codec makes its buffers as it starts, for a progressive or
    // multi-scan image the coefficients of the whole frame. With Huffman
    // codes every 8 x 8 block of a component takes at least one bit, and a
    // component keeps at least a quarter of the frame's resolution in one
    // direction: a frame far larger than the stream could hold is damage,
    // refused first. Arithmetic coding has no such floor (a plain frame of
    // millions of blocks fits in a few hundred bytes), so there the
    // coefficients (16 bits a sample of each component) must only fit the
    // image limits.
    const int64_t frame = int64_t(info->image_width) * info->image_height;
    if (info->arith_code ? !VXImageSizeAllowed(info->image_width, info->image_height, 16 * int64_t(info->num_components))
                         : !VXDeclaredDataPlausible(Stream->Size(), frame, 64 * 4 * 8)) {
      aborting = true;
      cleanUp();
      return 0;
    }
    if (!vxjpeg::JpegGuarded(st->Err, [&] { jpeg_start_decompress(info); }) || aborting) {
      aborting = true;
      cleanUp();
      return 0;
    }
    started = true;
    const int32_t ow = int32_t(info->output_width), oh = int32_t(info->output_height);
    P.SetWidth(ow);
    P.SetHeight(oh);
    scratch.assign(size_t(ow) * 4, 0);

    TVXPixelFormat pf = vx24RGB;
    if (NativeFormat) {
      if (info->out_color_space == JCS_GRAYSCALE)
        pf = vx8g;
      else if (info->out_color_space == JCS_CMYK)
        pf = vxCMYK;
    }
    if (!Bitmap || !VXImageSizeAllowed(ow, oh, VXPixelFormatBitCount[pf]) || !Bitmap->Allocate(ow, oh, pf)) {
      aborting = true;
      cleanUp();
      return 0;
    }
    if (MaxRows < 0) MaxRows = Bitmap->Height();

    const double per1 = 100.0 / oh;
    int32_t lastPercent = -1;
    const TVXConvertColorFunction convert = settings->ConvertColorFunction();
    if (!convert) useProfile = false;
    const J_COLOR_SPACE out = info->out_color_space;
    const bool fileRGB = info->jpeg_color_space == JCS_RGB;
    try {
      while (int32_t(info->output_scanline) < oh && rows < MaxRows) {
        uint8_t* row = static_cast<uint8_t*>(Bitmap->GetScanLine(rows));
        if (!row) break;
        // Where the codec writes this row.
        JSAMPROW target = row;
        const bool viaScratch = (out == JCS_GRAYSCALE && pf != vx8g) || (out == JCS_RGB && useProfile) ||
                                (out == JCS_EXT_BGR && useProfile && !grey) || (out == JCS_CMYK && pf == vx24RGB);
        if (viaScratch) target = scratch.data();
        JDIMENSION got = 0;
        if (!vxjpeg::JpegGuarded(st->Err, [&] { got = jpeg_read_scanlines(info, &target, 1); })) {
          aborting = true;
          break;
        }
        if (got == 0) break;
        if (out == JCS_GRAYSCALE && pf != vx8g) {
          for (int32_t x = 0; x < ow; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = scratch[size_t(x)];
        } else if ((out == JCS_RGB || out == JCS_EXT_BGR) && viaScratch) {
          convert(scratch.data(), out == JCS_RGB ? vxcmsRGB : vxcmsBGR, row, vxcmsBGR, ow, &P);
        } else if (out == JCS_RGB && fileRGB && !RawColor) {
          for (int32_t x = 0; x < ow; ++x) std::swap(row[3 * x], row[3 * x + 2]);
        } else if (out == JCS_CMYK && pf == vx24RGB) {
          if (aborting) break;
          if (InvertCMYK)
            for (size_t i = 0; i < size_t(ow) * 4; ++i) scratch[i] = uint8_t(255 - scratch[i]);
          if (convert)
            convert(scratch.data(), vxcmsCMYK, row, vxcmsBGR, ow, &P);
          else
            VXCMYKRowToBGR(scratch.data(), row, ow, nullptr);
        }
        rows += int32_t(got);
        VXReportProgress(Progress, int32_t(rows * per1), lastPercent);
        if (aborting) break;
      }
    } catch (const EVXException&) {
      aborting = true;
    }
    if (rows < MaxRows) aborting = true;
    cleanUp();
  } catch (...) {
    cleanUp();
    throw;
  }
  return rows;
}
