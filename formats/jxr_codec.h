// HD Photo (JPEG XR) coding over libjxr, from and to memory, one frame. This
// is the only file that sees libjxr's headers (they bring their own GUID and
// platform types); the imaging factory (formats/imaging_factory.cpp) puts its
// decoder and encoder behind the platform's imaging interfaces.
//
// A file is checked before libjxr sees it: the container header, its
// directory, every offset and count against the data, the image size against
// the library's limits, and the sizes the code stream declares against the
// container's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The pixel layouts this glue hands out and takes in. Files in other layouts
// are delivered converted by libjxr: 8-bit colour as jxf24BGR (jxf32BGRA
// with alpha), 16-bit colour as jxf48RGB, other grey as jxf8Gray.
enum TVXJxrPixelFormat {
  jxfNone,
  jxfBlackWhite,  // 1 bit, most significant bit first, 1 = white
  jxf8Gray,
  jxf16Gray,
  jxf24BGR,
  jxf32BGRA,
  jxf48RGB,
  jxf32CMYK
};

// Bits per pixel of a layout (0 for jxfNone).
int32_t VXJxrBitsPerPixel(TVXJxrPixelFormat Format);

// The container's check alone: true when Data holds an HD Photo header whose
// directory, image data and declared size are sound. Width and Height
// receive the declared size.
bool VXJxrCheckContainer(const uint8_t* Data, size_t Size, int32_t& Width, int32_t& Height);

class TVXJxrDecoder {
 public:
  TVXJxrDecoder() = default;
  ~TVXJxrDecoder();
  TVXJxrDecoder(const TVXJxrDecoder&) = delete;
  TVXJxrDecoder& operator=(const TVXJxrDecoder&) = delete;

  // Takes the file's bytes and reads its header; false (with Error set) when
  // the data is no sound HD Photo file or its pixel layout has no delivery.
  bool Open(std::vector<uint8_t> Data);
  int32_t Width() const { return fWidth; }
  int32_t Height() const { return fHeight; }
  double DpiX() const { return fDpiX; }
  double DpiY() const { return fDpiY; }
  TVXJxrPixelFormat Format() const { return fFormat; }
  // Row length in bytes of the delivered layout.
  size_t RowBytes() const;
  // Frames of the file (HD Photo files hold one).
  uint32_t FrameCount() const { return 1; }
  // Decodes the whole image on the first call, then copies Count rows from
  // row Y into Dest (Stride bytes apart, each RowBytes long). False when
  // decoding failed or the rows lie outside the image.
  bool CopyRows(int32_t Y, int32_t Count, uint8_t* Dest, size_t Stride);
  const std::string& Error() const { return fError; }

 private:
  bool Decode();
  std::vector<uint8_t> fData;
  std::vector<uint8_t> fPixels;
  struct TFormatId {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0, Data3 = 0;
    uint8_t Data4[8] = {};
  } fContainerFormat;  // the file's pixel format identifier
  int32_t fWidth = 0, fHeight = 0;
  double fDpiX = 0, fDpiY = 0;
  TVXJxrPixelFormat fFormat = jxfNone;
  bool fDecoded = false, fFailed = false;
  std::string fError;
};

// Coding choices of the encoder.
struct TVXJxrEncodeOptions {
  TVXJxrPixelFormat Format = jxf24BGR;  // BlackWhite, 8Gray, 16Gray, 24BGR, 48RGB or 32CMYK
  int32_t Width = 0, Height = 0;
  float DpiX = 96, DpiY = 96;
  uint8_t QP = 1;              // quantiser index: 1 lossless, up to 255
  uint8_t Overlap = 1;         // 0 none, 1 one level, 2 two levels
  uint8_t Subsampling = 3;     // colour: 0 Y only, 1 4:2:0, 2 4:2:2, 3 4:4:4
  uint16_t HorizontalTileSlices = 0;  // divisions of the image into tiles
  uint16_t VerticalTileSlices = 0;
  bool FrequencyOrder = true;  // false: spatial order
};

// Encodes Height rows of Pixels (Stride bytes apart, in Options.Format) into
// Out. False with Error set when libjxr refuses.
bool VXJxrEncode(const TVXJxrEncodeOptions& Options, const uint8_t* Pixels, size_t Stride, std::vector<uint8_t>& Out,
                 std::string& Error);
