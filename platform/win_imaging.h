// The platform's imaging component as the library calls it: class and format
// identifiers, its result codes, and the abstract interfaces of the factory and the objects it makes (decoders, frames,
// bitmap sources, encoders, option bags, converters, scalers, palettes and
// metadata readers).
//
// Nothing here decodes or encodes: the working factory is installed by a
// higher layer (VXSetImagingFactory) and CoCreateInstance hands it out
// (the COM run time is platform/win_com.h). With
// none installed, or with the component switched off
// (VXSetImagingComponentPresent(false)), creating the factory fails with
// REGDB_E_CLASSNOTREG, as on a system without the component.
//
// Objects are reference counted: a creating call hands out one reference,
// which the caller gives back with Release. Text arguments are UTF-8.
#pragma once

#include <cstdint>

#include "platform/win_com.h"

using WICColor = uint32_t;  // 0xAARRGGBB
using WICPixelFormatGUID = GUID;

// ---- result codes ----
constexpr HRESULT WINCODEC_ERR_WRONGSTATE = HRESULT(0x88982F04u);
constexpr HRESULT WINCODEC_ERR_VALUEOUTOFRANGE = HRESULT(0x88982F05u);
constexpr HRESULT WINCODEC_ERR_UNKNOWNIMAGEFORMAT = HRESULT(0x88982F07u);
constexpr HRESULT WINCODEC_ERR_NOTINITIALIZED = HRESULT(0x88982F0Cu);
constexpr HRESULT WINCODEC_ERR_PROPERTYNOTFOUND = HRESULT(0x88982F40u);
constexpr HRESULT WINCODEC_ERR_CODECNOTHUMBNAIL = HRESULT(0x88982F44u);
constexpr HRESULT WINCODEC_ERR_PALETTEUNAVAILABLE = HRESULT(0x88982F45u);
constexpr HRESULT WINCODEC_ERR_COMPONENTNOTFOUND = HRESULT(0x88982F50u);
constexpr HRESULT WINCODEC_ERR_BADIMAGE = HRESULT(0x88982F60u);
constexpr HRESULT WINCODEC_ERR_BADHEADER = HRESULT(0x88982F61u);
constexpr HRESULT WINCODEC_ERR_FRAMEMISSING = HRESULT(0x88982F62u);
constexpr HRESULT WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT = HRESULT(0x88982F80u);
constexpr HRESULT WINCODEC_ERR_UNSUPPORTEDOPERATION = HRESULT(0x88982F81u);

// ---- identifiers ----
constexpr GUID CLSID_WICImagingFactory{0xCACAF262, 0x9370, 0x4615, {0xA1, 0x3B, 0x9F, 0x55, 0x39, 0xDA, 0x4C, 0x0A}};
constexpr GUID IID_IWICImagingFactory{0xEC5EC8A9, 0xC395, 0x4314, {0x9C, 0x77, 0x54, 0xD7, 0xA9, 0x35, 0xFF, 0x70}};
constexpr GUID GUID_VendorMicrosoft{0xF0E749CA, 0xEDEF, 0x4589, {0xA7, 0x3A, 0xEE, 0x0E, 0x62, 0x6A, 0x2A, 0x2B}};

constexpr GUID CLSID_WICTiffDecoder{0xb54e85d9, 0xfe23, 0x499f, {0x8b, 0x88, 0x6a, 0xce, 0xa7, 0x13, 0x75, 0x2b}};
constexpr GUID CLSID_WICGifDecoder{0x381dda3c, 0x9ce9, 0x4834, {0xa2, 0x3e, 0x1f, 0x98, 0xf8, 0xfc, 0x52, 0xbe}};
constexpr GUID CLSID_WICJpegDecoder{0x9456a480, 0xe88b, 0x43ea, {0x9e, 0x73, 0x0b, 0x2d, 0x9b, 0x71, 0xb1, 0xca}};
constexpr GUID CLSID_WICBmpDecoder{0x6b462062, 0x7cbf, 0x400d, {0x9f, 0xdb, 0x81, 0x3d, 0xd1, 0x0f, 0x27, 0x78}};
constexpr GUID CLSID_WICIcoDecoder{0xc61bfcdf, 0x2e0f, 0x4aad, {0xa8, 0xd7, 0xe0, 0x6b, 0xaf, 0xeb, 0xcd, 0xfe}};
constexpr GUID CLSID_WICPngDecoder{0x389ea17b, 0x5078, 0x4cde, {0xb6, 0xef, 0x25, 0xc1, 0x51, 0x75, 0xc7, 0x51}};
constexpr GUID CLSID_WICWmpDecoder{0xa26cec36, 0x234c, 0x4950, {0xae, 0x16, 0xe3, 0x4a, 0xac, 0xe7, 0x1d, 0x0d}};

constexpr GUID GUID_ContainerFormatTiff{0x163bcc30, 0xe2e9, 0x4f0b, {0x96, 0x1d, 0xa3, 0xe9, 0xfd, 0xb7, 0x88, 0xa3}};
constexpr GUID GUID_ContainerFormatGif{0x1f8a5601, 0x7d4d, 0x4cbd, {0x9c, 0x82, 0x1b, 0xc8, 0xd4, 0xee, 0xb9, 0xa5}};
constexpr GUID GUID_ContainerFormatJpeg{0x19e4a5aa, 0x5662, 0x4fc5, {0xa0, 0xc0, 0x17, 0x58, 0x02, 0x8e, 0x10, 0x57}};
constexpr GUID GUID_ContainerFormatBmp{0x0af1d87e, 0xfcfe, 0x4188, {0xbd, 0xeb, 0xa7, 0x90, 0x64, 0x71, 0xcb, 0xe3}};
constexpr GUID GUID_ContainerFormatIco{0xa3a860c4, 0x338f, 0x4c17, {0x91, 0x9a, 0xfb, 0xa4, 0xb5, 0x62, 0x8f, 0x21}};
constexpr GUID GUID_ContainerFormatPng{0x1b7cfaf4, 0x713f, 0x473c, {0xbb, 0xcd, 0x61, 0x37, 0x42, 0x5f, 0xae, 0xaf}};
constexpr GUID GUID_ContainerFormatWmp{0x57a37caa, 0x367a, 0x4540, {0x91, 0x6b, 0xf1, 0x83, 0xc5, 0x09, 0x3a, 0x4b}};

// Pixel formats: {6fddc324-4e03-4bfe-b185-3d77768dc9nn}.
constexpr GUID VXWICPixelFormat(uint8_t n) {
  return GUID{0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, n}};
}
constexpr GUID GUID_WICPixelFormatDontCare = VXWICPixelFormat(0x00);
constexpr GUID GUID_WICPixelFormat1bppIndexed = VXWICPixelFormat(0x01);
constexpr GUID GUID_WICPixelFormat2bppIndexed = VXWICPixelFormat(0x02);
constexpr GUID GUID_WICPixelFormat4bppIndexed = VXWICPixelFormat(0x03);
constexpr GUID GUID_WICPixelFormat8bppIndexed = VXWICPixelFormat(0x04);
constexpr GUID GUID_WICPixelFormatBlackWhite = VXWICPixelFormat(0x05);
constexpr GUID GUID_WICPixelFormat8bppGray = VXWICPixelFormat(0x08);
constexpr GUID GUID_WICPixelFormat16bppGray = VXWICPixelFormat(0x0b);
constexpr GUID GUID_WICPixelFormat24bppBGR = VXWICPixelFormat(0x0c);
constexpr GUID GUID_WICPixelFormat24bppRGB = VXWICPixelFormat(0x0d);
constexpr GUID GUID_WICPixelFormat32bppBGR = VXWICPixelFormat(0x0e);
constexpr GUID GUID_WICPixelFormat32bppBGRA = VXWICPixelFormat(0x0f);
constexpr GUID GUID_WICPixelFormat48bppRGB = VXWICPixelFormat(0x15);
constexpr GUID GUID_WICPixelFormat32bppCMYK = VXWICPixelFormat(0x1c);

// ---- enumerations ----
enum WICDecodeOptions { WICDecodeMetadataCacheOnDemand = 0, WICDecodeMetadataCacheOnLoad = 1 };
enum WICBitmapEncoderCacheOption { WICBitmapEncoderCacheInMemory = 0, WICBitmapEncoderCacheTempFile = 1,
                                   WICBitmapEncoderNoCache = 2 };
enum WICBitmapDitherType {
  WICBitmapDitherTypeNone = 0,
  WICBitmapDitherTypeSolid = 0,
  WICBitmapDitherTypeOrdered4x4 = 1,
  WICBitmapDitherTypeOrdered8x8 = 2,
  WICBitmapDitherTypeOrdered16x16 = 3,
  WICBitmapDitherTypeSpiral4x4 = 4,
  WICBitmapDitherTypeSpiral8x8 = 5,
  WICBitmapDitherTypeDualSpiral4x4 = 6,
  WICBitmapDitherTypeDualSpiral8x8 = 7,
  WICBitmapDitherTypeErrorDiffusion = 8
};
enum WICBitmapPaletteType {
  WICBitmapPaletteTypeCustom = 0,
  WICBitmapPaletteTypeMedianCut = 1,
  WICBitmapPaletteTypeFixedBW = 2,
  WICBitmapPaletteTypeFixedHalftone8 = 3,
  WICBitmapPaletteTypeFixedHalftone27 = 4,
  WICBitmapPaletteTypeFixedHalftone64 = 5,
  WICBitmapPaletteTypeFixedHalftone125 = 6,
  WICBitmapPaletteTypeFixedHalftone216 = 7,
  WICBitmapPaletteTypeFixedHalftone252 = 8,
  WICBitmapPaletteTypeFixedHalftone256 = 9,
  WICBitmapPaletteTypeFixedGray4 = 10,
  WICBitmapPaletteTypeFixedGray16 = 11,
  WICBitmapPaletteTypeFixedGray256 = 12
};
enum WICBitmapInterpolationMode {
  WICBitmapInterpolationModeNearestNeighbor = 0,
  WICBitmapInterpolationModeLinear = 1,
  WICBitmapInterpolationModeCubic = 2,
  WICBitmapInterpolationModeFant = 3
};

struct WICRect {
  INT X = 0, Y = 0, Width = 0, Height = 0;
};

// ---- property values ----
// One named option of a property bag.
struct PROPBAG2 {
  DWORD dwType = 0;
  uint16_t vt = VT_EMPTY;
  const char* pstrName = nullptr;
};

// ---- interfaces ----
struct IWICBitmapSource;

struct IWICPalette : IUnknown {
  static constexpr GUID kIID{0x00000040, 0xa8f2, 0x4877, {0xba, 0x0a, 0xfd, 0x2b, 0x66, 0x45, 0xfb, 0x94}};
  using TVXBase = IUnknown;
  virtual HRESULT InitializePredefined(WICBitmapPaletteType ePaletteType, BOOL fAddTransparentColor) = 0;
  virtual HRESULT InitializeCustom(const WICColor* pColors, UINT cCount) = 0;
  virtual HRESULT InitializeFromBitmap(IWICBitmapSource* pISurface, UINT cCount, BOOL fAddTransparentColor) = 0;
  virtual HRESULT GetType(WICBitmapPaletteType* pePaletteType) = 0;
  virtual HRESULT GetColorCount(UINT* pcCount) = 0;
  virtual HRESULT GetColors(UINT cCount, WICColor* pColors, UINT* pcActualColors) = 0;
};

struct IWICBitmapSource : IUnknown {
  static constexpr GUID kIID{0x00000120, 0xa8f2, 0x4877, {0xba, 0x0a, 0xfd, 0x2b, 0x66, 0x45, 0xfb, 0x94}};
  using TVXBase = IUnknown;
  virtual HRESULT GetSize(UINT* puiWidth, UINT* puiHeight) = 0;
  virtual HRESULT GetPixelFormat(WICPixelFormatGUID* pPixelFormat) = 0;
  virtual HRESULT GetResolution(double* pDpiX, double* pDpiY) = 0;
  virtual HRESULT CopyPalette(IWICPalette* pIPalette) = 0;
  // Rows of the rectangle (the whole source when prc is null), cbStride bytes
  // apart in a buffer of cbBufferSize bytes.
  virtual HRESULT CopyPixels(const WICRect* prc, UINT cbStride, UINT cbBufferSize, BYTE* pbBuffer) = 0;
};

// Metadata by query text ("/app1/ifd/...").
struct IWICMetadataQueryReader : IUnknown {
  static constexpr GUID kIID{0x30989668, 0xe1c9, 0x4597, {0xb3, 0x95, 0x45, 0x8e, 0xed, 0xb8, 0x08, 0xdf}};
  using TVXBase = IUnknown;
  virtual HRESULT GetMetadataByName(const char* wzName, PROPVARIANT* pvarValue) = 0;
};

struct IWICBitmapFrameDecode : IWICBitmapSource {
  static constexpr GUID kIID{0x3b16811b, 0x6a43, 0x4ec9, {0xa8, 0x13, 0x3d, 0x93, 0x0c, 0x13, 0xb9, 0x40}};
  using TVXBase = IWICBitmapSource;
  virtual HRESULT GetMetadataQueryReader(IWICMetadataQueryReader** ppIMetadataQueryReader) = 0;
  virtual HRESULT GetThumbnail(IWICBitmapSource** ppIThumbnail) = 0;
};

struct IWICBitmapDecoder : IUnknown {
  static constexpr GUID kIID{0x9edde9e7, 0x8dee, 0x47ea, {0x99, 0xdf, 0xe6, 0xfa, 0xf2, 0xed, 0x44, 0xbf}};
  using TVXBase = IUnknown;
  virtual HRESULT GetContainerFormat(GUID* pguidContainerFormat) = 0;
  virtual HRESULT GetFrameCount(UINT* pCount) = 0;
  virtual HRESULT GetFrame(UINT index, IWICBitmapFrameDecode** ppIBitmapFrame) = 0;
};

struct IPropertyBag2 : IUnknown {
  static constexpr GUID kIID{0x22f55882, 0x280b, 0x11d0, {0xa8, 0xa9, 0x00, 0xa0, 0xc9, 0x0c, 0x20, 0x04}};
  using TVXBase = IUnknown;
  virtual HRESULT Write(ULONG cProperties, PROPBAG2* pPropBag, VARIANT* pvarValue) = 0;
  virtual HRESULT Read(ULONG cProperties, PROPBAG2* pPropBag, void* pErrLog, VARIANT* pvarValue,
                       HRESULT* phrError) = 0;
};

struct IWICBitmapFrameEncode : IUnknown {
  static constexpr GUID kIID{0x00000105, 0xa8f2, 0x4877, {0xba, 0x0a, 0xfd, 0x2b, 0x66, 0x45, 0xfb, 0x94}};
  using TVXBase = IUnknown;
  virtual HRESULT Initialize(IPropertyBag2* pIEncoderOptions) = 0;
  virtual HRESULT SetSize(UINT uiWidth, UINT uiHeight) = 0;
  virtual HRESULT SetResolution(double dpiX, double dpiY) = 0;
  // The format wanted in, the format the frame takes out.
  virtual HRESULT SetPixelFormat(WICPixelFormatGUID* pPixelFormat) = 0;
  virtual HRESULT WritePixels(UINT lineCount, UINT cbStride, UINT cbBufferSize, BYTE* pbPixels) = 0;
  virtual HRESULT Commit() = 0;
};

struct IWICBitmapEncoder : IUnknown {
  static constexpr GUID kIID{0x00000103, 0xa8f2, 0x4877, {0xba, 0x0a, 0xfd, 0x2b, 0x66, 0x45, 0xfb, 0x94}};
  using TVXBase = IUnknown;
  virtual HRESULT Initialize(IStream* pIStream, WICBitmapEncoderCacheOption cacheOption) = 0;
  virtual HRESULT GetContainerFormat(GUID* pguidContainerFormat) = 0;
  virtual HRESULT CreateNewFrame(IWICBitmapFrameEncode** ppIFrameEncode, IPropertyBag2** ppIEncoderOptions) = 0;
  virtual HRESULT Commit() = 0;
};

struct IWICFormatConverter : IWICBitmapSource {
  static constexpr GUID kIID{0x00000301, 0xa8f2, 0x4877, {0xba, 0x0a, 0xfd, 0x2b, 0x66, 0x45, 0xfb, 0x94}};
  using TVXBase = IWICBitmapSource;
  virtual HRESULT Initialize(IWICBitmapSource* pISource, REFGUID dstFormat, WICBitmapDitherType dither,
                             IWICPalette* pIPalette, double alphaThresholdPercent,
                             WICBitmapPaletteType paletteTranslate) = 0;
  virtual HRESULT CanConvert(REFGUID srcPixelFormat, REFGUID dstPixelFormat, BOOL* pfCanConvert) = 0;
};

struct IWICBitmapScaler : IWICBitmapSource {
  static constexpr GUID kIID{0x00000302, 0xa8f2, 0x4877, {0xba, 0x0a, 0xfd, 0x2b, 0x66, 0x45, 0xfb, 0x94}};
  using TVXBase = IWICBitmapSource;
  virtual HRESULT Initialize(IWICBitmapSource* pISource, UINT uiWidth, UINT uiHeight,
                             WICBitmapInterpolationMode mode) = 0;
};

struct IWICImagingFactory : IUnknown {
  static constexpr GUID kIID = IID_IWICImagingFactory;
  using TVXBase = IUnknown;
  // The decoder for the stream's content; pguidVendor names the preferred
  // decoder class (may be null).
  virtual HRESULT CreateDecoderFromStream(IStream* pIStream, const GUID* pguidVendor, WICDecodeOptions metadataOptions,
                                          IWICBitmapDecoder** ppIDecoder) = 0;
  virtual HRESULT CreateEncoder(REFGUID guidContainerFormat, const GUID* pguidVendor,
                                IWICBitmapEncoder** ppIEncoder) = 0;
  virtual HRESULT CreatePalette(IWICPalette** ppIPalette) = 0;
  virtual HRESULT CreateFormatConverter(IWICFormatConverter** ppIFormatConverter) = 0;
  virtual HRESULT CreateBitmapScaler(IWICBitmapScaler** ppIBitmapScaler) = 0;
};

// ---- the factory's class ----
// CLSID_WICImagingFactory is an entry of the COM class registry
// (platform/win_com.h): CoCreateInstance hands out the installed factory
// with one more reference, or REGDB_E_CLASSNOTREG.

// Installs the factory that CoCreateInstance hands out (nullptr: none). The
// platform keeps one reference of it until it is replaced.
void VXSetImagingFactory(IWICImagingFactory* Factory);
// Switches the component on or off (on by default); off, creating the factory
// fails as when none is installed.
void VXSetImagingComponentPresent(bool Present);
// Counts every change of the factory or its presence, so that callers that
// keep an answer about the component can tell when to ask again.
uint32_t VXImagingComponentGeneration();
