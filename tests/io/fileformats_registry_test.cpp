// The file-format registry: the built-in entries, lookups, filters,
// registration of further formats and the GIF entry's capabilities.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/settings.h"
#include "io/fileformats.h"
#include "io/vexlaneio.h"

namespace {

struct TExpectedEntry {
  int32_t FileType;
  const char* FullName;
  const char* Extensions;
  const char* Suitable;
  bool Read, Write;
  TPreviewParams Page;
};

const TExpectedEntry kBuiltIn[] = {
    {1, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", "tiff", true, true, 8},
    {2, "CompuServe Bitmap", "GIF", "gif", true, true, 16},
    {3, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", "jpeg", true, true, 4},
    {4, "PaintBrush", "PCX", "pcx", true, true, 64},
    {5, "Windows Bitmap", "BMP;DIB;RLE", "bmp", true, true, 32},
    {21, "Raw Bitmap", "", "", true, true, 0},
    {6, "Windows Icon", "ICO", "ico", true, true, 0},
    {7, "Windows Cursor", "CUR", "cur", true, false, 0},
    {8, "Portable Network Graphics", "PNG", "png", true, true, 128},
    {28, "DICOM Bitmap", "DCM;DIC;DICOM;V2", "dicom", true, true, 0},
    {9, "Windows Metafile", "WMF", "wmf", true, false, 0},
    {10, "Enhanced Windows Metafile", "EMF", "emf", true, false, 0},
    {11, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", "targa", true, true, 256},
    {12, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", "pxm", true, true, 0},
    {16, "Wireless Bitmap", "WBMP", "wbmp", true, true, 0},
    {13, "JPEG2000", "JP2", "jp2", true, true, 512},
    {14, "JPEG2000 Code Stream", "J2K;JPC;J2C", "j2k", true, true, 512},
    {17, "PostScript Level 2", "PS;EPS", "eps", false, true, 0},
    {18, "Adobe PDF", "PDF", "pdf", false, true, 0},
    {19, "Multipage PCX", "DCX", "dcx", true, true, 0},
    {20, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", "raw", true, false, 0},
    {24, "Photoshop PSD", "PSD;PSB", "psd", true, true, 0},
    {25, "Vectorial objects", "VXV", "vxv", true, true, 0},
    {26, "Layers", "LYR", "lyr", true, true, 0},
    {27, "Layers and objects", "ALL", "all", true, true, 0},
};

// Puts the built-in registry back after a test changed it.
class FileFormatRegistry : public ::testing::Test {
 protected:
  void SetUp() override { VXRegisterBuiltInFileFormats(); }
  void TearDown() override {
    VXGetGlobalSettings()->SetDefGIF_LZWDECOMPFUNC(nullptr);
    VXGetGlobalSettings()->SetDefGIF_LZWCOMPFUNC(nullptr);
    VXRegisterBuiltInFileFormats();
  }
};

void FakeDecoder(TStream*, int32_t, int32_t, bool, uint8_t*) {}
void FakeEncoder(TStream*, int32_t, int32_t, bool, uint8_t*, int32_t) {}

bool TryAlwaysFalse(TStream*, int32_t) { return false; }

TEST_F(FileFormatRegistry, TheStartUpBuildsTheBuiltInEntriesInOrderAndTheShutDownFreesThem) {
  // The library start-up of this program built the registry; rebuild it
  // through the I/O module's own start-up to see the module do it.
  VXShutDownIOUnit();
  EXPECT_TRUE(VXGetGlobalSettings()->FileFormats().empty());
  VXStartUpIOUnit();
  const auto& list = VXGetGlobalSettings()->FileFormats();
  ASSERT_EQ(list.size(), std::size(kBuiltIn));
  for (size_t i = 0; i < list.size(); ++i) {
    const TExpectedEntry& e = kBuiltIn[i];
    const TVXFileFormatInfo* info = list[i];
    SCOPED_TRACE(e.FullName);
    EXPECT_EQ(info->FileType, e.FileType);
    EXPECT_EQ(info->FullName, e.FullName);
    EXPECT_EQ(info->Extensions, e.Extensions);
    EXPECT_EQ(info->SuitableExtension, e.Suitable);
    EXPECT_TRUE(info->InternalFormat);
    EXPECT_EQ(info->DialogPage, e.Page);
    EXPECT_EQ(info->ReadFunction == &VXReadPlaceholder, e.Read);
    EXPECT_EQ(info->ReadFunction == nullptr, !e.Read);
    EXPECT_EQ(info->WriteFunction == &VXWritePlaceholder, e.Write);
    EXPECT_EQ(info->WriteFunction == nullptr, !e.Write);
    EXPECT_EQ(info->TryFunction, &VXTryPlaceholder);
    EXPECT_EQ(VXFindFileFormatInfo(e.FileType), info);
  }
}

TEST_F(FileFormatRegistry, LookupsByTypeAndExtension) {
  const TVXFileFormatInfo* png = VXFindFileFormatInfo(8);
  ASSERT_NE(png, nullptr);
  for (const char* ext : {".PNG", "png", "Png", ".png"}) EXPECT_EQ(VXFindFileFormatInfoByExtension(ext), png) << ext;
  EXPECT_EQ(VXFindFileFormatInfoByExtension("..png"), nullptr);
  EXPECT_EQ(VXFindFileFormatInfoByExtension(""), nullptr);
  EXPECT_EQ(VXFindFileFormatInfoByExtension("."), nullptr);
  EXPECT_EQ(VXFindFileFormatInfoByExtension("pn"), nullptr);  // whole extensions only
  EXPECT_EQ(VXFindFileFormatInfoByExtension("G3F")->FileType, 1);
  EXPECT_EQ(VXFindFileFormatInfoByExtension("sr2")->FileType, 20);
  for (int32_t missing : {0, 15, 22, 23, 29, 30, -1}) EXPECT_EQ(VXFindFileFormatInfo(missing), nullptr) << missing;

  EXPECT_EQ(VXGetFileFormatExtensionCount(1), 6);
  EXPECT_EQ(VXGetFileFormatExtensionCount(21), 0);
  EXPECT_EQ(VXGetFileFormatExtensionCount(15), 0);
  EXPECT_EQ(VXGetFileFormatExtension(1, 0), "TIF");
  EXPECT_EQ(VXGetFileFormatExtension(1, 5), "XIF");
  EXPECT_EQ(VXGetFileFormatExtension(1, 6), "");
  EXPECT_EQ(VXGetFileFormatExtension(1, -1), "");
  EXPECT_EQ(VXGetFileFormatExtension(15, 0), "");
  EXPECT_EQ(VXGetFileFormatFilter(3), "*.jpg;*.jpeg;*.jpe;*.jif");
  EXPECT_EQ(VXGetFileFormatFilter(21), "");
  EXPECT_EQ(VXGetFileFormatFilter(15), "");
}

TEST_F(FileFormatRegistry, UnregisteringAMissingTypeRemovesNothing) {
  VXUnregisterFileFormat(15);
  VXUnregisterFileFormat(0);
  EXPECT_EQ(VXGetGlobalSettings()->FileFormats().size(), std::size(kBuiltIn));
  VXUnregisterFileFormat(8);
  EXPECT_EQ(VXGetGlobalSettings()->FileFormats().size(), std::size(kBuiltIn) - 1);
  EXPECT_EQ(VXFindFileFormatInfo(8), nullptr);
  EXPECT_EQ(VXFindFileFormatInfoByExtension("png"), nullptr);
}

TEST_F(FileFormatRegistry, FiltersListOnlyWhatCanBeReadOrWritten) {
  const std::string reading = VXGetAllFileFormatsFilter(true, false, false);
  const std::string writing = VXGetAllFileFormatsFilter(false, true, false);
  for (const char* ext : {"*.ps;", "*.eps;", "*.pdf;"}) EXPECT_EQ((reading + ";").find(ext), std::string::npos) << ext;
  for (const char* ext : {"*.cur;", "*.wmf;", "*.emf;", "*.crw;", "*.sr2;"})
    EXPECT_EQ((writing + ";").find(ext), std::string::npos) << ext;
  EXPECT_NE(reading.find("*.cur;"), std::string::npos);
  EXPECT_NE(writing.find("*.pdf;"), std::string::npos);
  // The raw bitmap has no extension: no empty "*." part, no doubled separator.
  for (const std::string& f : {reading, writing, VXGetAllFileFormatsFilter(true, true, true)}) {
    EXPECT_EQ(f.find(";;"), std::string::npos);
    EXPECT_EQ(f.find("*.;"), std::string::npos);
    EXPECT_NE(f.back(), ';');
  }
  EXPECT_EQ(reading.substr(0, 30), "*.tif;*.tiff;*.fax;*.g3n;*.g3f");
  EXPECT_EQ(VXGetAllFileFormatsFilter(true, false, true),
            reading + ";*.avi;*.mpe;*.mpg;*.mpeg;*.wmv");
  EXPECT_EQ(VXGetAllFileFormatsFilter(false, true, true), writing + ";*.avi");
  EXPECT_EQ(VXGetAllFileFormatsFilter(false, false, false), "");
}

TEST_F(FileFormatRegistry, ReadableExtensions) {
  struct {
    const char* Name;
    bool AllowVideo, Expected;
  } cases[] = {
      {"a/b.PNG", false, true}, {"x.cur", false, true},  {"x.pdf", false, false}, {"x.eps", true, false},
      {"x.avi", false, false},  {"x.AVI", true, true},   {"x.wmv", true, true},   {"x.xyz", true, false},
      {"noext", true, false},   {"dir.png/x", true, false},
  };
  for (const auto& c : cases) EXPECT_EQ(VXIsReadableExtension(c.Name, c.AllowVideo), c.Expected) << c.Name;
}

TEST_F(FileFormatRegistry, RegisteredFormatsTakeTheirFirstExtensionAsSuitable) {
  VXRegisterFileFormat(new TVXFileFormatInfo(8196, "Plug-in PDF", "PDFX;PDFY", "", false, 0, &VXReadPlaceholder,
                                             nullptr, &TryAlwaysFalse));
  VXRegisterFileFormat(new TVXFileFormatInfo(8197, "One", "ONE", "", false, 0, nullptr, nullptr, nullptr));
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(8196);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->SuitableExtension, "PDFX");
  EXPECT_EQ(VXFindFileFormatInfo(8197)->SuitableExtension, "ONE");
  EXPECT_EQ(VXFindFileFormatInfoByExtension(".pdfy"), info);
  EXPECT_TRUE(VXIsReadableExtension("a.pdfx", false));
  EXPECT_FALSE(VXIsReadableExtension("a.one", false));
  EXPECT_EQ(VXGetGlobalSettings()->FileFormats().back()->FileType, 8197);
  VXUnregisterFileFormat(8196);
  EXPECT_EQ(VXFindFileFormatInfo(8196), nullptr);
  EXPECT_NE(VXFindFileFormatInfo(8197), nullptr);
}

TEST_F(FileFormatRegistry, TheGIFEntryFollowsTheLZWHooks) {
  TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  TVXFileFormatInfo* gif = VXFindFileFormatInfo(2);
  st->SetDefGIF_LZWDECOMPFUNC(nullptr);
  st->SetDefGIF_LZWCOMPFUNC(nullptr);
  VXUpdateGIFFileFormat();
  EXPECT_EQ(gif->ReadFunction, nullptr);
  EXPECT_EQ(gif->WriteFunction, nullptr);
  EXPECT_EQ(VXGetAllFileFormatsFilter(true, true, false).find("*.gif"), std::string::npos);
  st->SetDefGIF_LZWDECOMPFUNC(&FakeDecoder);
  VXUpdateGIFFileFormat();
  EXPECT_EQ(gif->ReadFunction, &VXReadPlaceholder);
  EXPECT_EQ(gif->WriteFunction, nullptr);
  st->SetDefGIF_LZWCOMPFUNC(&FakeEncoder);
  VXUpdateGIFFileFormat();
  EXPECT_EQ(gif->WriteFunction, &VXWritePlaceholder);
  // Without a GIF entry nothing happens.
  VXUnregisterFileFormat(2);
  VXUpdateGIFFileFormat();
  EXPECT_EQ(VXFindFileFormatInfo(2), nullptr);
}

}  // namespace
