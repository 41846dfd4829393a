// Per-image I/O parameters: defaults, reset before a load, linked fields, copying.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "core/bitmap.h"
#include "core/streams.h"
#include "core/dictionary.h"
#include "core/icc.h"
#include "io/annotations.h"
#include "io/dicomtags.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/params.h"

namespace {

const uint8_t kExifPayload[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M'};

// Fills every kind of metadata that ResetInfo is meant to clear.
void FillMetadata(TIOParamsVals& p) {
  p.IPTC_Info().AddStringItem(2, 120, "caption");
  p.ImagingAnnot().AddObject(std::make_unique<TVXImagingObject>());
  uint8_t d[3] = {1, 2, 3};
  p.VexlaneAnnot().Data().WriteBuffer(d, 3);
  p.JPEG_MarkerList().AddMarker(0xFE, "comment", 7);
  p.JPEG_MarkerList().AddMarker(0xE1, kExifPayload, sizeof kExifPayload);
  p.SetEXIF_Make("Maker");
  p.SetEXIF_ExposureTime(0.01);
  p.fEXIF_HasEXIFData = true;
  p.GIF_Comments().push_back("gif");
  p.DICOM_Tags().SetTagString(0x0010, 0x0010, "Doe^John");
  p.fDICOM_RescaleIntercept = -1024;
  p.fDICOM_RescaleSlope = 2;
  p.PNG_TextKeys().push_back("Title");
  p.PNG_TextValues().push_back("Icon");
  p.fTIFF_DocumentName = "doc";
  p.fTIFF_ImageDescription = "desc";
  p.fTIFF_PageName = "page";
  p.fTGA_Descriptor = "tga";
  p.fTGA_Author = "author";
  p.fTGA_ImageName = "name";
  p.PXM_Comments().push_back("pxm");
  p.SetXMP_Info("<x a=\"1\">text</x>");
  p.InputICCProfile();
}

}  // namespace

TEST(ParamsDefaults, FreshParametersWithoutOwner) {
  TIOParamsVals p;
  EXPECT_EQ(p.VexlaneIO(), nullptr);
  EXPECT_EQ(p.Width(), 0);
  EXPECT_EQ(p.Height(), 0);
  EXPECT_EQ(p.DpiX(), 0);
  EXPECT_EQ(p.DpiY(), 0);
  EXPECT_EQ(p.FileType(), 0);
  EXPECT_EQ(p.BitsPerSample(), 8);
  EXPECT_EQ(p.SamplesPerPixel(), 3);
  EXPECT_EQ(p.TIFF_Orientation(), 1);
  EXPECT_EQ(p.EXIF_Orientation(), 0);
  EXPECT_EQ(p.TIFF_SubIndex(), -1);
  EXPECT_EQ(p.GIF_Version(), "GIF89a");
  EXPECT_EQ(p.GIF_Action(), ioGIF_DrawBackground);
  EXPECT_EQ(p.JPEG_Quality(), 80);
  EXPECT_EQ(p.JPEG_CromaSubsampling(), ioJPEG_HIGH);
  EXPECT_EQ(p.JPEG_Scale(), ioJPEG_FULLSIZE);
  EXPECT_DOUBLE_EQ(p.J2000_Rate(), 0.07);
  EXPECT_EQ(p.BMP_Version(), ioBMP_BM3);
  EXPECT_EQ(p.PCX_Version(), 5);
  EXPECT_FALSE(p.PNG_Interlaced());
  EXPECT_EQ(p.PNG_Filter(), ioPNG_FILTER_NONE);
  EXPECT_EQ(p.PNG_Compression(), 5);
  EXPECT_EQ(p.PNG_Background(), (TRGB{0, 0, 0}));
  EXPECT_EQ(p.ICO_Background(), (TRGB{255, 255, 255}));
  EXPECT_EQ(p.CUR_Background(), (TRGB{255, 255, 255}));
  EXPECT_EQ(p.GIF_Background(), (TRGB{0, 0, 0}));
  EXPECT_EQ(p.ICO_Sizes[0].cx, 64);
  EXPECT_EQ(p.ICO_Sizes[0].cy, 64);
  EXPECT_EQ(p.ICO_BitCount[0], 8);
  EXPECT_EQ(p.ICO_Sizes[1].cx, 0);
  EXPECT_TRUE(p.TGA_Compressed());
  EXPECT_DOUBLE_EQ(p.TGA_Gamma(), 2.2);
  EXPECT_EQ(p.PS_Title(), "No Title");
  EXPECT_EQ(p.PS_PaperWidth(), 595);
  EXPECT_EQ(p.PS_PaperHeight(), 842);
  EXPECT_EQ(p.PDF_PaperWidth(), 595);
  EXPECT_EQ(p.PDF_PaperHeight(), 842);
  EXPECT_EQ(p.PS_PaperSize(), vxpA4);
  EXPECT_EQ(p.PDF_PaperSize(), vxpA4);
  EXPECT_DOUBLE_EQ(p.RAW_Gamma(), 0.6);
  EXPECT_TRUE(p.RAW_QuickInterpolate());
  EXPECT_TRUE(p.PSD_ReplaceLayers());
  EXPECT_FALSE(p.PSD_LoadLayers());
  EXPECT_DOUBLE_EQ(p.HDP_ImageQuality(), 0.9);
  EXPECT_EQ(p.BMPRAW_RowAlign(), 8);
  EXPECT_EQ(p.ColorMap(), nullptr);
  EXPECT_FALSE(p.HasImagingAnnot());
  EXPECT_FALSE(p.HasInputICCProfile());

  // Today's date without a time part.
  double today = p.TGA_Date();
  EXPECT_EQ(today, std::trunc(today));
  double now = double(std::time(nullptr)) / 86400.0 + 25569.0;
  EXPECT_NEAR(today, now, 1.5);

  // The DICOM tag list holds exactly the transfer syntax, padded with a NUL.
  ASSERT_EQ(p.DICOM_Tags().Count(), 1);
  TVXDicomTag* t = p.DICOM_Tags().GetTag(0);
  EXPECT_EQ(t->Group, 0x0002);
  EXPECT_EQ(t->Element, 0x0010);
  ASSERT_EQ(t->DataLen, 20);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t->Data.data()), 20), std::string("1.2.840.10008.1.2.1\0", 20));
  EXPECT_EQ(p.DICOM_Compression(), vxdcUncompressed);
}

TEST(ParamsDefaults, SetDefaultParamsRestoresOptionsButKeepsSizeWithoutOwner) {
  TIOParamsVals p;
  p.SetWidth(640);
  p.SetHeight(480);
  p.SetDpi(96);
  p.SetFileType(8);
  p.SetFileName("a.png");
  p.SetCUR_XHotSpot(5);
  p.SetCUR_YHotSpot(7);
  p.SetPNG_Interlaced(true);
  p.SetPNG_Compression(9);
  p.SetImageIndex(4);
  p.SetImageCount(9);
  p.SetEXIF_Orientation(6);
  p.SetJPEG_WarningTot(3);
  p.SetJPEG_WarningCode(17);
  p.SetMEDIAFILE_FrameDelayTime(40.5);
  p.fColorMap.assign(2, TRGB{1, 2, 3});
  p.fColorMapCount = 2;
  p.fTIFF_PhotoshopImageResources = {1, 2};
  p.OutputICCProfile();
  p.Dict().Insert("k", int32_t(1));

  p.SetDefaultParams();

  EXPECT_EQ(p.Width(), 640);
  EXPECT_EQ(p.Height(), 480);
  EXPECT_EQ(p.DpiX(), 96);
  EXPECT_EQ(p.DpiY(), 96);
  EXPECT_EQ(p.FileType(), 0);
  EXPECT_EQ(p.FileName(), "");
  EXPECT_EQ(p.CUR_XHotSpot(), 0);
  EXPECT_EQ(p.CUR_YHotSpot(), 0);
  EXPECT_FALSE(p.PNG_Interlaced());
  EXPECT_EQ(p.PNG_Compression(), 5);
  EXPECT_EQ(p.ImageIndex(), 0);
  EXPECT_EQ(p.GIF_ImageIndex(), 0);
  EXPECT_EQ(p.ImageCount(), 0);
  EXPECT_EQ(p.TIFF_Orientation(), 1);
  EXPECT_EQ(p.EXIF_Orientation(), 0);
  EXPECT_EQ(p.ColorMap(), nullptr);
  EXPECT_EQ(p.ColorMapCount(), 0);
  EXPECT_TRUE(p.TIFF_PhotoshopImageResources().empty());
  EXPECT_TRUE(p.Dict().IsEmpty());
  EXPECT_EQ(p.fOutputICC, nullptr);
  // Not touched by the defaults.
  EXPECT_EQ(p.JPEG_WarningTot(), 3);
  EXPECT_EQ(p.JPEG_WarningCode(), 17);
  EXPECT_DOUBLE_EQ(p.MEDIAFILE_FrameDelayTime(), 40.5);
}

TEST(ParamsResetInfo, ClearsOnlyTheMetadata) {
  TIOParamsVals p;
  // What a PNG load leaves behind.
  p.SetFileType(8);
  p.SetFileName("icon.png");
  p.SetWidth(48);
  p.SetHeight(32);
  p.SetBitsPerSample(16);
  p.SetSamplesPerPixel(4);
  p.SetDpi(72);
  p.SetImageIndex(2);
  p.SetImageCount(3);
  p.SetPNG_Interlaced(true);
  p.SetPNG_Filter(ioPNG_FILTER_PAETH);
  p.SetPNG_Compression(9);
  p.SetPNG_Background(TRGB{10, 20, 30});
  p.SetJPEG_Quality(55);
  p.fColorMap.assign(4, TRGB{9, 9, 9});
  p.fColorMapCount = 4;
  p.OutputICCProfile();
  p.DefaultICCProfile();
  FillMetadata(p);
  ASSERT_TRUE(p.Dict().HasKey("XMP", false));

  p.ResetInfo();

  // Metadata gone.
  EXPECT_EQ(p.IPTC_Info().Count(), 0);
  EXPECT_FALSE(p.HasImagingAnnot());
  EXPECT_TRUE(p.VexlaneAnnot().IsEmpty());
  EXPECT_EQ(p.JPEG_MarkerList().Count(), 0);
  EXPECT_EQ(p.EXIF_Make(), "");
  EXPECT_DOUBLE_EQ(p.EXIF_ExposureTime(), -1);
  EXPECT_TRUE(p.EXIF_Tags().empty());
  EXPECT_FALSE(p.EXIF_HasEXIFData());
  EXPECT_TRUE(p.GIF_Comments().empty());
  EXPECT_EQ(p.DICOM_Tags().Count(), 0);
  EXPECT_DOUBLE_EQ(p.DICOM_RescaleIntercept(), 0);
  EXPECT_DOUBLE_EQ(p.DICOM_RescaleSlope(), 1);
  EXPECT_TRUE(p.PNG_TextKeys().empty());
  EXPECT_TRUE(p.PNG_TextValues().empty());
  EXPECT_EQ(p.TIFF_DocumentName(), "");
  EXPECT_EQ(p.TIFF_ImageDescription(), "");
  EXPECT_EQ(p.TIFF_PageName(), "");
  EXPECT_EQ(p.TGA_Descriptor(), "");
  EXPECT_EQ(p.TGA_Author(), "");
  EXPECT_EQ(p.TGA_ImageName(), "");
  EXPECT_TRUE(p.PXM_Comments().empty());
  EXPECT_EQ(p.XMP_Info(), "");
  EXPECT_FALSE(p.HasInputICCProfile());

  // Everything else survives.
  EXPECT_EQ(p.FileType(), 8);
  EXPECT_EQ(p.FileName(), "icon.png");
  EXPECT_EQ(p.Width(), 48);
  EXPECT_EQ(p.Height(), 32);
  EXPECT_EQ(p.BitsPerSample(), 16);
  EXPECT_EQ(p.SamplesPerPixel(), 4);
  EXPECT_EQ(p.DpiX(), 72);
  EXPECT_EQ(p.DpiY(), 72);
  EXPECT_EQ(p.ImageIndex(), 2);
  EXPECT_EQ(p.ImageCount(), 3);
  EXPECT_TRUE(p.PNG_Interlaced());
  EXPECT_EQ(p.PNG_Filter(), ioPNG_FILTER_PAETH);
  EXPECT_EQ(p.PNG_Compression(), 9);
  EXPECT_EQ(p.PNG_Background(), (TRGB{10, 20, 30}));
  EXPECT_EQ(p.JPEG_Quality(), 55);
  EXPECT_EQ(p.ColorMapCount(), 4);
  EXPECT_NE(p.fOutputICC, nullptr);
  EXPECT_NE(p.fDefaultICC, nullptr);
  // An XMP entry an earlier load put into the dictionary stays.
  EXPECT_TRUE(p.Dict().HasKey("XMP", false));
}

TEST(ParamsLinked, ImageIndexSettersMoveAllSix) {
  using Setter = void (TIOParamsVals::*)(int32_t);
  const Setter setters[] = {&TIOParamsVals::SetImageIndex, &TIOParamsVals::SetTIFF_ImageIndex,
                            &TIOParamsVals::SetDCX_ImageIndex, &TIOParamsVals::SetGIF_ImageIndex,
                            &TIOParamsVals::SetICO_ImageIndex, &TIOParamsVals::SetCUR_ImageIndex};
  int32_t value = 1;
  for (Setter s : setters) {
    TIOParamsVals p;
    (p.*s)(value);
    EXPECT_EQ(p.ImageIndex(), value);
    EXPECT_EQ(p.TIFF_ImageIndex(), value);
    EXPECT_EQ(p.DCX_ImageIndex(), value);
    EXPECT_EQ(p.GIF_ImageIndex(), value);
    EXPECT_EQ(p.ICO_ImageIndex(), value);
    EXPECT_EQ(p.CUR_ImageIndex(), value);
    ++value;
  }
}

TEST(ParamsLinked, ImageCountSettersMoveAllFive) {
  using Setter = void (TIOParamsVals::*)(int32_t);
  const Setter setters[] = {&TIOParamsVals::SetImageCount, &TIOParamsVals::SetTIFF_ImageCount,
                            &TIOParamsVals::SetAVI_FrameCount, &TIOParamsVals::SetGIF_ImageCount,
                            &TIOParamsVals::SetMEDIAFILE_FrameCount};
  int32_t value = 10;
  for (Setter s : setters) {
    TIOParamsVals p;
    (p.*s)(value);
    EXPECT_EQ(p.ImageCount(), value);
    EXPECT_EQ(p.TIFF_ImageCount(), value);
    EXPECT_EQ(p.AVI_FrameCount(), value);
    EXPECT_EQ(p.GIF_ImageCount(), value);
    EXPECT_EQ(p.MEDIAFILE_FrameCount(), value);
    ++value;
  }
}

TEST(ParamsLinked, OrientationResolutionAndFlags) {
  TIOParamsVals p;
  p.SetTIFF_Orientation(6);
  EXPECT_EQ(p.EXIF_Orientation(), 6);
  p.SetEXIF_Orientation(3);
  EXPECT_EQ(p.TIFF_Orientation(), 3);

  p.SetEXIF_XResolution(72.9);
  EXPECT_EQ(p.DpiX(), 72);
  EXPECT_DOUBLE_EQ(p.EXIF_XResolution(), 72.9);
  p.SetEXIF_YResolution(150.5);
  EXPECT_EQ(p.DpiY(), 150);
  EXPECT_DOUBLE_EQ(p.EXIF_YResolution(), 150.5);
  p.SetDpiX(300);
  EXPECT_DOUBLE_EQ(p.EXIF_XResolution(), 300.0);
  // A resolution outside the 32-bit range keeps the exact value and holds
  // the dots per inch at the limit.
  p.SetEXIF_XResolution(1e12);
  EXPECT_EQ(p.DpiX(), INT32_MAX);
  EXPECT_DOUBLE_EQ(p.EXIF_XResolution(), 1e12);
  p.SetEXIF_XResolution(-72.9);
  EXPECT_EQ(p.DpiX(), -72);
  p.SetDpiX(300);
  p.SetDpi(96);
  EXPECT_EQ(p.DpiX(), 96);
  EXPECT_EQ(p.DpiY(), 96);
  EXPECT_DOUBLE_EQ(p.EXIF_YResolution(), 96.0);

  p.SetEnableAdjustOrientation(true);
  EXPECT_TRUE(p.TIFF_EnableAdjustOrientation());
  EXPECT_TRUE(p.JPEG_EnableAdjustOrientation());

  p.SetGetThumbnail(true);
  EXPECT_TRUE(p.JPEG_GetExifThumbnail());
  EXPECT_TRUE(p.RAW_GetExifThumbnail());
  p.SetJPEG_GetExifThumbnail(false);
  EXPECT_FALSE(p.GetThumbnail());
  EXPECT_TRUE(p.RAW_GetExifThumbnail());
  p.SetRAW_GetExifThumbnail(false);
  p.SetJPEG_GetExifThumbnail(true);
  EXPECT_TRUE(p.GetThumbnail());
  EXPECT_FALSE(p.RAW_GetExifThumbnail());
}

TEST(ParamsAssign, CopiesFieldsAndContainersByTheirRules) {
  TIOParamsVals src, dst;
  FillMetadata(src);
  src.SetWidth(100);
  src.SetHeight(50);
  src.SetDpi(200);
  src.SetPNG_Compression(8);
  // A reader wrote some index fields directly.
  src.fTIFF_ImageIndex = 1;
  src.fGIF_ImageIndex = 2;
  src.fCUR_ImageIndex = 5;
  src.fAVI_FrameCount = 7;
  src.fImageCount = 3;
  src.fJPEG_GetExifThumbnail = true;
  src.fGetThumbnail = false;
  src.SetTIFF_Orientation(8);
  src.SetJPEG_WarningTot(4);
  src.SetMEDIAFILE_FrameDelayTime(12);
  src.fColorMap.assign(3, TRGB{1, 2, 3});
  src.fColorMapCount = 3;
  src.SetEXIF_Bitmap(new TVXBitmap(4, 3, vx24RGB));
  dst.SetJPEG_WarningTot(9);
  dst.SetJPEG_WarningCode(8);
  dst.SetMEDIAFILE_FrameDelayTime(33);

  dst.Assign(src);

  EXPECT_EQ(dst.Width(), 100);
  EXPECT_EQ(dst.DpiX(), 200);
  EXPECT_EQ(dst.PNG_Compression(), 8);
  for (int32_t v : {dst.ImageIndex(), dst.TIFF_ImageIndex(), dst.DCX_ImageIndex(), dst.GIF_ImageIndex(),
                    dst.ICO_ImageIndex(), dst.CUR_ImageIndex()})
    EXPECT_EQ(v, 5);
  EXPECT_EQ(dst.ImageCount(), 7);
  EXPECT_TRUE(dst.GetThumbnail());
  EXPECT_EQ(dst.TIFF_Orientation(), 8);
  EXPECT_EQ(dst.EXIF_Orientation(), 8);
  EXPECT_EQ(dst.JPEG_WarningTot(), 9);
  EXPECT_EQ(dst.JPEG_WarningCode(), 8);
  EXPECT_DOUBLE_EQ(dst.MEDIAFILE_FrameDelayTime(), 33);
  EXPECT_EQ(dst.VexlaneIO(), nullptr);
  ASSERT_EQ(dst.ColorMapCount(), 3);
  EXPECT_NE(dst.ColorMap(), src.ColorMap());
  EXPECT_EQ(dst.ColorMap()[2], (TRGB{1, 2, 3}));

  // Containers are copies, not shared objects.
  EXPECT_EQ(dst.IPTC_Info().GetStrings(0), "caption");
  ASSERT_EQ(dst.JPEG_MarkerList().Count(), 2);
  src.JPEG_MarkerList().Clear();
  EXPECT_EQ(dst.JPEG_MarkerList().Count(), 2);
  EXPECT_EQ(dst.DICOM_Tags().GetTagString(0x0010, 0x0010), "Doe^John");
  EXPECT_EQ(dst.PNG_TextKeys(), std::vector<std::string>{"Title"});
  EXPECT_EQ(dst.VexlaneAnnot().Data().Size(), 3);
  ASSERT_TRUE(dst.HasImagingAnnot());
  EXPECT_EQ(dst.ImagingAnnot().ObjectsCount(), 1);
  EXPECT_TRUE(dst.HasInputICCProfile());
  EXPECT_TRUE(dst.Dict().HasKey("XMP", false));
  EXPECT_EQ(dst.EXIF_Make(), "Maker");
  EXPECT_EQ(dst.EXIF_Tags(), src.EXIF_Tags());
  ASSERT_NE(dst.EXIF_Bitmap(), nullptr);
  EXPECT_NE(dst.EXIF_Bitmap(), src.EXIF_Bitmap());
  EXPECT_EQ(dst.EXIF_Bitmap()->Width(), 4);
  // EXIF resolution comes with the EXIF values, the resolution fields with their setters.
  EXPECT_DOUBLE_EQ(dst.EXIF_XResolution(), src.EXIF_XResolution());

  // Absent optional objects are freed in the copy.
  TIOParamsVals empty;
  dst.Assign(empty);
  EXPECT_FALSE(dst.HasImagingAnnot());
  EXPECT_FALSE(dst.HasInputICCProfile());
  EXPECT_EQ(dst.EXIF_Bitmap(), nullptr);
}

TEST(ParamsAssign, UnknownTransferSyntaxBecomesUncompressed) {
  TIOParamsVals src, dst;
  src.DICOM_Tags().SetTagString(0x0002, 0x0010, "1.2.3.4");
  src.DICOM_Tags().SetTagString(0x0010, 0x0020, "ID7");
  dst.Assign(src);
  EXPECT_EQ(dst.DICOM_Tags().GetTagString(0x0010, 0x0020), "ID7 ");  // LO padded to even length
  EXPECT_EQ(dst.DICOM_Tags().GetTagString(0x0002, 0x0010), "1.2.840.10008.1.2.1");
  EXPECT_EQ(dst.DICOM_Tags().Count(), 2);
}

TEST(ParamsAssign, CompressionInfoCopiesOnlyCompressionFields) {
  TIOParamsVals src, dst;
  src.SetBitsPerSample(1);
  src.SetSamplesPerPixel(1);
  src.SetTIFF_Compression(ioTIFF_G4FAX);
  src.SetTIFF_Orientation(5);
  src.SetJPEG_Quality(33);
  src.SetPNG_Interlaced(true);
  src.SetPNG_Filter(ioPNG_FILTER_ALL);
  src.SetPNG_Compression(9);
  src.SetDICOM_Compression(vxdcJPEG2000);
  src.SetWidth(77);
  src.SetPNG_Background(TRGB{1, 1, 1});
  dst.AssignCompressionInfo(src);
  EXPECT_EQ(dst.BitsPerSample(), 1);
  EXPECT_EQ(dst.SamplesPerPixel(), 1);
  EXPECT_EQ(dst.TIFF_Compression(), ioTIFF_G4FAX);
  EXPECT_EQ(dst.TIFF_Orientation(), 5);
  EXPECT_EQ(dst.EXIF_Orientation(), 5);
  EXPECT_EQ(dst.JPEG_Quality(), 33);
  EXPECT_TRUE(dst.PNG_Interlaced());
  EXPECT_EQ(dst.PNG_Filter(), ioPNG_FILTER_ALL);
  EXPECT_EQ(dst.PNG_Compression(), 9);
  EXPECT_EQ(dst.DICOM_Compression(), vxdcJPEG2000);
  EXPECT_EQ(dst.Width(), 0);
  EXPECT_EQ(dst.PNG_Background(), (TRGB{0, 0, 0}));
}

namespace {

struct HookState {
  TVXBitmap* bitmap = nullptr;
  bool throwOnAsk = false;
  int viewerCalls = 0;
  int32_t lastDpiX = -1, lastDpiY = -1;
};
HookState gHook;

// Installs owner hooks for one test and takes them out again.
struct ScopedOwnerHooks {
  TIOParamsOwnerHooks saved;
  ScopedOwnerHooks() {
    saved = VXIOParamsOwnerHooks();
    gHook = HookState();
    VXIOParamsOwnerHooks().GetBitmap = [](TVexlaneIO*) -> TVXBitmap* {
      if (gHook.throwOnAsk) throw EVXException("no image");
      return gHook.bitmap;
    };
    VXIOParamsOwnerHooks().SetViewerDpi = [](TVexlaneIO*, bool horizontal, int32_t dpi) {
      ++gHook.viewerCalls;
      (horizontal ? gHook.lastDpiX : gHook.lastDpiY) = dpi;
    };
  }
  ~ScopedOwnerHooks() { VXIOParamsOwnerHooks() = saved; }
};

TVexlaneIO* FakeOwner() { return reinterpret_cast<TVexlaneIO*>(uintptr_t(0x1000)); }

}  // namespace

TEST(ParamsOwner, DefaultsTakeTheOwnersImageSizeAndDefaultResolution) {
  ScopedOwnerHooks hooks;
  TVXBitmap bmp(30, 20, vx24RGB);
  gHook.bitmap = &bmp;
  TIOParamsVals p(FakeOwner());
  EXPECT_EQ(p.Width(), 30);
  EXPECT_EQ(p.Height(), 20);
  EXPECT_EQ(p.DpiX(), 300);
  EXPECT_EQ(p.DpiY(), 300);
  EXPECT_EQ(gHook.lastDpiX, 300);
  EXPECT_EQ(gHook.lastDpiY, 300);

  // Without an image the size stays; a failing owner gives 0 x 0.
  gHook.bitmap = nullptr;
  p.SetDefaultParams();
  EXPECT_EQ(p.Width(), 30);
  gHook.throwOnAsk = true;
  p.SetDefaultParams();
  EXPECT_EQ(p.Width(), 0);
  EXPECT_EQ(p.Height(), 0);

  // The viewer follows resolution changes.
  int calls = gHook.viewerCalls;
  p.SetEXIF_XResolution(72.5);
  EXPECT_EQ(gHook.lastDpiX, 72);
  EXPECT_EQ(gHook.viewerCalls, calls + 1);
}

TEST(ParamsOwner, UpdateEXIFThumbnailResamplesTheOwnersImage) {
  TIOParamsVals alone;
  alone.UpdateEXIFThumbnail(8, 8, rfTriangle);
  EXPECT_EQ(alone.EXIF_Bitmap(), nullptr);

  ScopedOwnerHooks hooks;
  TVXBitmap bmp(40, 20, vx24RGB);
  for (int32_t y = 0; y < 20; ++y) {
    uint8_t* row = static_cast<uint8_t*>(bmp.GetScanLine(y));
    for (int32_t i = 0; i < 120; ++i) row[i] = 200;
  }
  gHook.bitmap = &bmp;
  TIOParamsVals p(FakeOwner());
  p.UpdateEXIFThumbnail(10, 10, rfTriangle);  // aspect ratio not kept
  ASSERT_NE(p.EXIF_Bitmap(), nullptr);
  EXPECT_EQ(p.EXIF_Bitmap()->Width(), 10);
  EXPECT_EQ(p.EXIF_Bitmap()->Height(), 10);
  EXPECT_EQ(static_cast<uint8_t*>(p.EXIF_Bitmap()->GetScanLine(5))[15], 200);
  EXPECT_EQ(bmp.Width(), 40);
}
