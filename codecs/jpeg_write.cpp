// JPEG encoding of a bitmap with the options of the parameters.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/jpeg.h"
#include "codecs/jpeg_glue.h"
#include "core/bitmap.h"
#include "core/cmyk.h"
#include "core/icc.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/markers.h"
#include "io/params.h"

namespace {

// What the codec works on during one call; trivially destructible (a codec
// error unwinds past the calls that use it by longjmp).
struct TWriteState {
  jpeg_compress_struct Info;
  vxjpeg::TErrorMgr Err;
  vxjpeg::TDestMgr Dest;
  bool Created = false;
};

}  // namespace

void VXWriteJpegStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  TIOParamsVals& P = IOParams;
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  if (!Stream || !Bitmap) {
    aborting = true;
    return;
  }

  // Working bitmap: the bitmap itself when it is 24-bit, else a converted copy.
  std::unique_ptr<TVXBitmap> copy;
  TVXBitmap* work = Bitmap;
  if (Bitmap->PixelFormat() != vx24RGB && !Bitmap->IsEmpty()) {
    copy = std::make_unique<TVXBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(vx24RGB);
    work = copy.get();
  }
  const int32_t w = work->Width(), h = work->Height();
  if (w <= 0 || h <= 0 || work->IsEmpty()) {
    aborting = true;
    return;
  }

  auto st = std::make_unique<TWriteState>();
  jpeg_compress_struct* info = &st->Info;
  std::memset(info, 0, sizeof *info);
  vxjpeg::InitErrorMgr(st->Err, &aborting);
  info->err = &st->Err.pub;
  auto fail = [&]() {
    const std::string text = VXJpegMessageText(st->Err.LastError);
    if (st->Created) jpeg_destroy_compress(info);
    st->Created = false;
    throw EVXJpegException(text);
  };
  if (!vxjpeg::JpegGuarded(st->Err, [&] { jpeg_CreateCompress(info, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct)); }))
    fail();
  st->Created = true;
  struct TDestroy {
    TWriteState* s;
    ~TDestroy() {
      if (s->Created) jpeg_destroy_compress(&s->Info);
    }
  } destroy{st.get()};
  vxjpeg::AttachDest(info, st->Dest, Stream, &aborting);
  if (aborting) return;

  // Rows handed to the codec, and the colour space it stores.
  const TIOJPEGColorspace cs = P.JPEG_ColorSpace();
  J_COLOR_SPACE stored = JCS_YCbCr;
  info->image_width = JDIMENSION(w);
  info->image_height = JDIMENSION(h);
  switch (cs) {
    case ioJPEG_RGB:
      info->input_components = 3;
      info->in_color_space = JCS_RGB;
      stored = JCS_RGB;
      break;
    case ioJPEG_GRAYLEV:
      info->input_components = 3;
      info->in_color_space = JCS_EXT_BGR;
      stored = JCS_GRAYSCALE;
      break;
    case ioJPEG_CMYK:
    case ioJPEG_YCbCrK:
      info->input_components = 4;
      info->in_color_space = JCS_CMYK;
      stored = cs == ioJPEG_CMYK ? JCS_CMYK : JCS_YCCK;
      break;
    default:
      info->input_components = 3;
      info->in_color_space = JCS_EXT_BGR;
      stored = JCS_YCbCr;
      break;
  }
  if (!vxjpeg::JpegGuarded(st->Err, [&] {
        jpeg_set_defaults(info);
        jpeg_set_colorspace(info, stored);
      }))
    fail();
  info->density_unit = 1;
  // JFIF densities are 16-bit: a larger resolution is stored as the largest one, not wrapped.
  auto density = [](int32_t Dpi) { return uint16_t(std::clamp<int32_t>(Dpi, 0, 65535)); };
  info->X_density = density(P.DpiX() != 0 ? P.DpiX() : settings->DefaultDPIX());
  info->Y_density = density(P.DpiY() != 0 ? P.DpiY() : settings->DefaultDPIY());
  switch (P.JPEG_DCTMethod()) {
    case ioJPEG_IFAST: info->dct_method = JDCT_IFAST; break;
    case ioJPEG_FLOAT: info->dct_method = JDCT_FLOAT; break;
    default: info->dct_method = JDCT_ISLOW; break;
  }
  info->optimize_coding = P.JPEG_OptimalHuffman() ? TRUE : FALSE;
  info->smoothing_factor = std::clamp(P.JPEG_Smooth(), 0, 100);
  const int quality = P.JPEG_Quality();
  if (!vxjpeg::JpegGuarded(st->Err, [&] { jpeg_set_quality(info, quality, TRUE); })) fail();
  if (cs == ioJPEG_YCbCr) {
    int hs = 2, vs = 2;
    if (P.JPEG_CromaSubsampling() == ioJPEG_MEDIUM) vs = 1;
    if (P.JPEG_CromaSubsampling() == ioJPEG_NONE) hs = vs = 1;
    info->comp_info[0].h_samp_factor = hs;
    info->comp_info[0].v_samp_factor = vs;
    for (int c = 1; c < 3; ++c) info->comp_info[c].h_samp_factor = info->comp_info[c].v_samp_factor = 1;
  } else if (cs == ioJPEG_CMYK) {
    info->write_Adobe_marker = TRUE;
  }
  if (P.JPEG_Progressive() && !vxjpeg::JpegGuarded(st->Err, [&] { jpeg_simple_progression(info); })) fail();
  if (!vxjpeg::JpegGuarded(st->Err, [&] { jpeg_start_compress(info, TRUE); })) fail();

  // The embedded profile, then the kept markers in writing order.
  if (P.HasInputICCProfile() && P.InputICCProfile().IsValid() && !P.InputICCProfile().IsApplied())
    VXBuildJpegICCMarkers(P);
  TVXMarkerList& markers = P.JPEG_MarkerList();
  markers.Sort();
  for (int32_t i = 0; i < markers.Count(); ++i) {
    const uint8_t type = markers.MarkerType(i);
    if (type == JPEG_APP0 + 14) continue;
    const JOCTET* data = reinterpret_cast<const JOCTET*>(markers.MarkerData(i));
    const unsigned len = unsigned(std::min<int64_t>(markers.MarkerSize(i), 65533));
    if (!vxjpeg::JpegGuarded(st->Err, [&] { jpeg_write_marker(info, type, data, len); })) fail();
  }

  // Rows.
  const double per1 = 100.0 / h;
  int32_t lastPercent = -1;
  const bool cmyk = cs == ioJPEG_CMYK || cs == ioJPEG_YCbCrK;
  std::vector<uint8_t> buffer;
  if (cmyk)
    buffer.resize(size_t(w) * 4);
  else if (cs == ioJPEG_RGB)
    buffer.resize(size_t(w) * 3);
  const TVXConvertColorFunction convert = settings->ConvertColorFunction();
  int32_t row = 0;
  while (int32_t(info->next_scanline) < h) {
    uint8_t* src = static_cast<uint8_t*>(work->GetScanLine(row));
    JSAMPROW line = src;
    if (cmyk) {
      if (convert)
        convert(src, vxcmsBGR, buffer.data(), vxcmsCMYK, w, nullptr);
      else
        VXBGRRowToCMYK(src, buffer.data(), w);
      line = buffer.data();
    } else if (cs == ioJPEG_RGB) {
      for (int32_t x = 0; x < w; ++x) {
        buffer[3 * size_t(x)] = src[3 * size_t(x) + 2];
        buffer[3 * size_t(x) + 1] = src[3 * size_t(x) + 1];
        buffer[3 * size_t(x) + 2] = src[3 * size_t(x)];
      }
      line = buffer.data();
    }
    JDIMENSION put = 0;
    if (!vxjpeg::JpegGuarded(st->Err, [&] { put = jpeg_write_scanlines(info, &line, 1); })) fail();
    row += int32_t(put);
    if (put == 0) {
      aborting = true;
      break;
    }
    VXReportProgress(Progress, int32_t(row * per1), lastPercent);
    if (aborting) break;
  }
  if (!aborting && !vxjpeg::JpegGuarded(st->Err, [&] { jpeg_finish_compress(info); })) fail();
}
