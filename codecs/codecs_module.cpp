#include "codecs/codecs_module.h"

#include <algorithm>
#include <climits>

#include "codecs/bmp.h"
#include "codecs/bmpraw.h"
#include "codecs/ico.h"
#include "codecs/gif.h"
#include "codecs/jpeg.h"
#include "codecs/pcx.h"
#include "codecs/pdf.h"
#include "codecs/pdf_objects.h"
#include "codecs/pnm.h"
#include "codecs/ps.h"
#include "codecs/tga.h"
#include "codecs/wbmp.h"
#include "codecs/png.h"
#include "codecs/tifflzw.h"
#include "core/settings.h"
#include "io/params.h"
#include "io/codec_table.h"
#include "io/fileformats.h"
#include "core/settings.h"

namespace {

constexpr int32_t kPNGFileType = 8;
constexpr int32_t kJPEGFileType = 3;
constexpr int32_t kPXMFileType = 12, kWBMPFileType = 16, kBMPRAWFileType = 21;
constexpr int32_t kGIFFileType = 2;
constexpr int32_t kPCXFileType = 4, kTGAFileType = 11, kDCXFileType = 19;
constexpr int32_t kBMPFileType = 5, kICOFileType = 6, kCURFileType = 7;
constexpr int32_t kPSFileType = 17, kPDFFileType = 18;

void ReadPNG(TVXCodecReadArgs& a) {
  VXReadPNGStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.Preview, a.Rows);
}

void WritePNG(TVXCodecWriteArgs& a) { VXWritePNGStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.AlphaMask); }

// The component's standard JPEG options: the embedded profile read and
// applied, metadata taken, every row, the native pixel format on request.
void ReadJPEG(TVXCodecReadArgs& a) {
  VXReadJpegStream(a.Stream, nullptr, a.Bitmap, *a.Params, *a.Progress, a.Preview, false, true, false, true, true,
                   -1, a.Params->IsNativePixelFormat);
}

void ReadJPEGParams(TVXCodecReadArgs& a) {
  VXReadJpegStream(a.Stream, nullptr, a.Bitmap, *a.Params, *a.Progress, true, false, true, false, true, true, -1,
                   a.Params->IsNativePixelFormat);
}

void WriteJPEG(TVXCodecWriteArgs& a) { VXWriteJpegStream(a.Stream, a.Bitmap, *a.Params, *a.Progress); }

// JPEG files are one image: the streams only (the component reads and writes
// whole files itself).
bool InjectJPEGEXIF(TStream* Input, TStream* Output, const std::string&, const std::string&, int32_t,
                    TIOParamsVals& Params, TProgressRec& Progress) {
  return VXInjectJpegEXIF(Input, Output, Params, Progress);
}

void ReadPXM(TVXCodecReadArgs& a) { VXReadPXMStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.Preview); }
void WritePXM(TVXCodecWriteArgs& a) { VXWritePXMStream(a.Stream, a.Bitmap, *a.Params, *a.Progress); }
void ReadWBMP(TVXCodecReadArgs& a) { VXReadWBMPStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.Preview); }
void WriteWBMP(TVXCodecWriteArgs& a) { VXWriteWBMPStream(a.Stream, a.Bitmap, *a.Params, *a.Progress); }
// Raw data has no header: nothing to read without pixels.
void ReadBMPRAW(TVXCodecReadArgs& a) {
  if (!a.Preview) VXReadBMPRAWStream(a.Stream, a.Bitmap, *a.Params, *a.Progress);
}
void WriteBMPRAW(TVXCodecWriteArgs& a) { VXWriteBMPRAWStream(a.Stream, a.Bitmap, *a.Params, *a.Progress); }

void ReadPCX(TVXCodecReadArgs& a) { VXReadPCXStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.Preview, a.Length); }
void WritePCX(TVXCodecWriteArgs& a) { VXWritePCXStream(a.Stream, a.Bitmap, *a.Params, *a.Progress); }
void ReadDCX(TVXCodecReadArgs& a) {
  VXReadDCXStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.Preview);
  a.Count = a.Params->ImageCount();
}
void WriteDCX(TVXCodecWriteArgs& a) {
  VXWriteDCXStream(a.Stream, a.Bitmap, *a.Params, *a.Progress);
  a.Count = a.Params->ImageCount();
}
void ReadTGA(TVXCodecReadArgs& a) {
  VXReadTGAStream(a.Stream, a.Bitmap, *a.Params, false, a.AlphaMask, a.Preview, *a.Progress);
}
void WriteTGA(TVXCodecWriteArgs& a) { VXWriteTGAStream(a.Stream, a.Bitmap, *a.Params, a.AlphaMask, *a.Progress); }

// The BMP data size a read may use: the caller's length, or 0 (unknown).
int32_t BMPDataSize(const TVXCodecReadArgs& a) {
  return a.Length > 0 ? int32_t(std::min<int64_t>(a.Length, INT32_MAX)) : 0;
}

// Transparency of 32-bit files only when the parameters ask for it.
void ReadBMP(TVXCodecReadArgs& a) {
  VXReadBMPStream(a.Stream, a.Bitmap, BMPDataSize(a), *a.Params, *a.Progress, a.Preview, false, a.AlphaMask,
                  !a.Params->BMP_HandleTransparency());
}

void ReadBMPParams(TVXCodecReadArgs& a) {
  VXReadBMPStream(a.Stream, a.Bitmap, BMPDataSize(a), *a.Params, *a.Progress, true, false, a.AlphaMask, true);
}

void WriteBMP(TVXCodecWriteArgs& a) {
  VXWriteBMPStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.Params->BMP_HandleTransparency());
}

void ReadICO(TVXCodecReadArgs& a) {
  VXReadICOStream(a.Stream, a.Bitmap, *a.Params, a.Preview, *a.Progress, a.AlphaMask, false, false);
}

// One entry per leading size of the parameters whose width is positive.
void WriteICO(TVXCodecWriteArgs& a) {
  int32_t n = 0;
  while (n < 16 && a.Params->ICO_Sizes[n].cx > 0) ++n;
  VXWriteICOStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, std::span<const TIOIconSize>(a.Params->ICO_Sizes, size_t(n)),
                   std::span<const int32_t>(a.Params->ICO_BitCount, size_t(n)));
}

void ReadICOParams(TVXCodecReadArgs& a) {
  VXReadICOStream(a.Stream, a.Bitmap, *a.Params, true, *a.Progress, a.AlphaMask, true, false);
}

void ReadCUR(TVXCodecReadArgs& a) {
  VXReadCURStream(a.Stream, a.Bitmap, *a.Params, a.Preview, *a.Progress, a.AlphaMask, false);
}

void ReadCURParams(TVXCodecReadArgs& a) {
  VXReadCURStream(a.Stream, a.Bitmap, *a.Params, true, *a.Progress, a.AlphaMask, true);
}

void ReadGIF(TVXCodecReadArgs& a) {
  VXReadGIFStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.AlphaMask, a.Preview, false, a.Count, a.OnFrame);
}
void ReadGIFParams(TVXCodecReadArgs& a) {
  VXReadGIFStream(a.Stream, a.Bitmap, *a.Params, *a.Progress, a.AlphaMask, true, false, a.Count);
}
void WriteGIF(TVXCodecWriteArgs& a) {
  if (a.Insert) {
    a.Count = VXInsertGIFFrameToStream(a.Stream, a.Bitmap, *a.Params, *a.Progress);
    return;
  }
  VXWriteGIFStream(a.Stream, a.Bitmap, *a.Params, *a.Progress);
}
void WritePS(TVXCodecWriteArgs& a) { VXWritePSStream(a.Stream, a.Bitmap, *a.Params, *a.Progress); }
void* CreatePS(TStream* Stream, TIOParamsVals& Params) { return VXPSCreate(Stream, Params); }
void AddPSPage(void* Handle, TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  VXPSAddPage(static_cast<TVXPSDocument*>(Handle), Stream, Bitmap, Progress, Params);
}
void ClosePS(void* Handle, TStream* Stream, TIOParamsVals&) { VXPSClose(static_cast<TVXPSDocument*>(Handle), Stream); }

// A PDF document stays in memory until it is closed: the stream is written
// only then.
void WritePDF(TVXCodecWriteArgs& a) { VXWritePDFStream(a.Stream, a.Bitmap, *a.Params, *a.Progress); }
void* CreatePDF(TStream*, TIOParamsVals& Params) { return VXPDFCreate(Params); }
void AddPDFPage(void* Handle, TStream*, TVXBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
  VXPDFAddPage(static_cast<TVXPDFDocument*>(Handle), Bitmap, Params, Progress);
}
void ClosePDF(void* Handle, TStream* Stream, TIOParamsVals& Params) {
  VXPDFClose(static_cast<TVXPDFDocument*>(Handle), Stream, Params);
}

int32_t DeleteGIFFrame(const std::string& FileName, int32_t Index) { return VXRemoveGIFFrame(FileName, Index, true); }

}  // namespace

void VXCodecsStartup() {
  // The GIF LZW coder goes into the settings' hooks, where the GIF reader
  // and writers (and the GIF registry entry) look for it.
  VXGetGlobalSettings()->SetDefGIF_LZWDECOMPFUNC(&VXGIFLZWDecode);
  VXGetGlobalSettings()->SetDefGIF_LZWCOMPFUNC(&VXGIFLZWEncode);
  TVXCodecOps gif;
  gif.Read = &ReadGIF;
  gif.ReadParams = &ReadGIFParams;
  gif.Write = &WriteGIF;
  gif.ImageCount = &VXGetGIFStreamImageCount;
  gif.DeleteImage = &DeleteGIFFrame;
  gif.InsertImage = &VXInsertGIFFrameToFile;
  gif.UpdateHeader = &VXUpdateGIFFileHeader;
  VXSetCodecOps(kGIFFileType, gif);
  VXUpdateGIFFileFormat();

  TVXCodecOps png;
  png.Read = &ReadPNG;
  png.Write = &WritePNG;
  png.IsStream = &VXIsPNGStream;
  VXSetCodecOps(kPNGFileType, png);

  TVXCodecOps jpeg;
  jpeg.Read = &ReadJPEG;
  jpeg.ReadParams = &ReadJPEGParams;
  jpeg.Write = &WriteJPEG;
  jpeg.InjectIPTC = &VXInjectJpegIPTC;
  jpeg.InjectEXIF = &InjectJPEGEXIF;
  VXSetCodecOps(kJPEGFileType, jpeg);

  TVXCodecOps pxm;
  pxm.Read = &ReadPXM;
  pxm.Write = &WritePXM;
  VXSetCodecOps(kPXMFileType, pxm);
  TVXCodecOps wbmp;
  wbmp.Read = &ReadWBMP;
  wbmp.Write = &WriteWBMP;
  VXSetCodecOps(kWBMPFileType, wbmp);
  TVXCodecOps raw;
  raw.Read = &ReadBMPRAW;
  raw.Write = &WriteBMPRAW;
  VXSetCodecOps(kBMPRAWFileType, raw);

  TVXCodecOps pcx;
  pcx.Read = &ReadPCX;
  pcx.Write = &WritePCX;
  VXSetCodecOps(kPCXFileType, pcx);
  TVXCodecOps dcx;
  dcx.Read = &ReadDCX;
  dcx.Write = &WriteDCX;
  dcx.ImageCount = &VXGetDCXStreamImageCount;
  VXSetCodecOps(kDCXFileType, dcx);
  TVXCodecOps tga;
  tga.Read = &ReadTGA;
  tga.Write = &WriteTGA;
  VXSetCodecOps(kTGAFileType, tga);

  TVXCodecOps bmp;
  bmp.Read = &ReadBMP;
  bmp.ReadParams = &ReadBMPParams;
  bmp.Write = &WriteBMP;
  VXSetCodecOps(kBMPFileType, bmp);

  TVXCodecOps ico;
  ico.Read = &ReadICO;
  ico.ReadParams = &ReadICOParams;
  ico.Write = &WriteICO;
  ico.ImageCount = &VXGetICOStreamImageCount;
  VXSetCodecOps(kICOFileType, ico);

  TVXCodecOps cur;
  cur.Read = &ReadCUR;
  cur.ReadParams = &ReadCURParams;
  VXSetCodecOps(kCURFileType, cur);

  TVXCodecOps ps;
  ps.Write = &WritePS;
  ps.CreateDocument = &CreatePS;
  ps.AddPage = &AddPSPage;
  ps.CloseDocument = &ClosePS;
  VXSetCodecOps(kPSFileType, ps);
  TVXCodecOps pdf;
  pdf.Write = &WritePDF;
  pdf.ImageCount = &VXGetPDFPageCount;
  pdf.CreateDocument = &CreatePDF;
  pdf.AddPage = &AddPDFPage;
  pdf.CloseDocument = &ClosePDF;
  VXSetCodecOps(kPDFFileType, pdf);

  // The TIFF LZW coders behind the settings' hooks.
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  settings->SetDefTIFF_LZWDECOMPFUNC(&VXTIFFLZWDecode);
  settings->SetDefTIFF_LZWCOMPFUNC(&VXTIFFLZWEncode);
}

void VXCodecsShutdown() {}
