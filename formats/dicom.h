// DICOM reading: the data set of a medical image file into the parameters'
// tag list, and one frame of its pixel data (native, RLE, JPEG, lossless JPEG
// or JPEG 2000) into a bitmap, rescaled and windowed as DICOM_Range says.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TVXBufferedReadStream;
class TVXDicomTags;
class TIOParamsVals;

// Transfer syntaxes known by name.
namespace vxdicom {
inline constexpr const char* kImplicitLittleEndian = "1.2.840.10008.1.2";
inline constexpr const char* kExplicitLittleEndian = "1.2.840.10008.1.2.1";
inline constexpr const char* kExplicitBigEndian = "1.2.840.10008.1.2.2";
inline constexpr const char* kRLE = "1.2.840.10008.1.2.5";
inline constexpr const char* kJpegBaseline = "1.2.840.10008.1.2.4.50";
inline constexpr const char* kJpegExtended = "1.2.840.10008.1.2.4.51";
inline constexpr const char* kJpegLossless = "1.2.840.10008.1.2.4.57";
inline constexpr const char* kJpegLosslessSV1 = "1.2.840.10008.1.2.4.70";
inline constexpr const char* kJpeg2000LosslessOnly = "1.2.840.10008.1.2.4.90";
inline constexpr const char* kJpeg2000 = "1.2.840.10008.1.2.4.91";
inline constexpr const char* kMpeg2Main = "1.2.840.10008.1.2.4.100";
inline constexpr const char* kMpeg2High = "1.2.840.10008.1.2.4.101";
inline constexpr const char* kMpeg4 = "1.2.840.10008.1.2.4.102";
inline constexpr const char* kMpeg4BD = "1.2.840.10008.1.2.4.103";
// The value that marks a window centre or width as not given.
inline constexpr double kNotGiven = 10000000.0;
// Deepest sequence nesting that is read; deeper data end the reading.
inline constexpr int kMaxNesting = 64;
// A decimal text up to its first backslash, without surrounding spaces;
// Default when it is not a number.
double DecimalValue(const std::string& Text, double Default);
// Bytes of one number of a value representation whose values follow the
// byte order (2 for US, SS, OW, AT; 4 for UL, SL, FL, OF; 8 for FD); 0 for
// bytes and text. The tag list keeps such numbers little-endian.
int NumberUnit(uint8_t VR);
}  // namespace vxdicom

// What reading the data set learns for decoding the image.
class TDicomReadContext {
 public:
  // Reads from the stream's position, through a read-ahead buffer of its
  // own. Progress is copied; its Aborting pointer is shared.
  TDicomReadContext(TStream* Stream, const TProgressRec& Progress);
  ~TDicomReadContext();
  TDicomReadContext(const TDicomReadContext&) = delete;
  TDicomReadContext& operator=(const TDicomReadContext&) = delete;

  // With "DICM" 128 bytes on, the meta header follows it; otherwise the data
  // set starts at the first byte and may be implicit throughout.
  void ReadHeader();
  // Rescale defaults from the parameters, then every element into
  // DICOM_Tags up to the main data set's pixel data (or the end).
  void ReadTags(TIOParamsVals& Params);
  // Fills the parameters and, unless Preview or DstBitmap is null, decodes
  // frame ImageIndex (the last frame for a larger index).
  void GetImage(TVXBitmap* DstBitmap, TIOParamsVals& Params, bool Preview);

  TIOParamsVals* IOParams = nullptr;
  TVXBitmap* Bitmap = nullptr;
  TProgressRec Progress;
  std::unique_ptr<TVXBufferedReadStream> Stream;
  int64_t StreamSize = 0;
  bool Implicit = false;
  bool LittleEndian = true;
  std::string TransferSyntax;
  int64_t ThumbPos = -1, ImagePos = -1;
  int32_t SamplesPerPixel = 1;
  std::string PhotometricInterpretation;
  int32_t PlanarConfiguration = 0;
  int32_t FrameCount = 1;
  int32_t PixelRepresentation = 0;
  int32_t Width = 0, Height = 0;
  int32_t BitsAllocated = 0, BitsStored = 0, BytesPerChannel = 0;
  std::vector<uint16_t> RMap, GMap, BMap;
  double WindowCenter = vxdicom::kNotGiven, WindowWidth = vxdicom::kNotGiven;
  double RescaleIntercept = 0, RescaleSlope = 1;

 private:
  friend class TDicomFrameDecoder;
  bool& Aborting();
  // One element into List; false at the end of the data (or at the main
  // data set's pixel data). Limit is the end of the enclosing item or
  // sequence (the stream's size for the main data set): nothing inside is
  // read past it, so that every byte is parsed once whatever the nesting.
  bool ReadElement(TVXDicomTags& List, bool Main, int Depth, int64_t Limit);
  void ReadSequence(int64_t ValueStart, int64_t Length, int Depth, int64_t Limit,
                    std::vector<std::unique_ptr<TVXDicomTags>>& Items);
  bool ReadItemElements(TVXDicomTags& List, int64_t End, bool Undefined, int Depth);
  void SetContext(uint16_t Group, uint16_t Element, const std::vector<uint8_t>& Data, int32_t Length,
                  bool HaveNumber, uint32_t Number);
  uint16_t Rd16(const uint8_t* p, bool Little) const;
  uint32_t Rd32(const uint8_t* p, bool Little) const;
  bool ReadTag(uint16_t& Group, uint16_t& Element);
  bool fStopped = false;  // the main data set's pixel data was reached
  bool fLocalAbort = false;
};

// Reads the data set at the stream's position into Params (DICOM_Tags and
// the image fields) and, unless Preview or DstBitmap is null, frame
// ImageIndex into DstBitmap. Damaged data set *Progress.Aborting.
void VXReadDicomStream(TStream* Stream, TIOParamsVals& Params, TVXBitmap* DstBitmap, bool Preview,
                       TProgressRec& Progress);
// Frames of the file at the stream's position: 0 for a file without pixel
// data or a damaged one; the position is restored.
int32_t VXGetDicomStreamImageCount(TStream* Stream);
int32_t VXGetDicomFileImageCount(const std::string& FileName);

// ---- writing ----

struct TVXDicomWriteContext;

// Starts a DICOM file of ImagesCount frames on the stream: preamble, "DICM"
// and the elements of the parameters' tag list, prepared from the image
// fields (samples, bits, size, frame count, SOP class; the window, rescale
// and palette elements removed). The transfer syntax is that of (0002,0010):
// explicit little- or big-endian, RLE, JPEG baseline or JPEG 2000; any other
// becomes explicit little-endian. Raises EVXException "DICOM saving:
// unsupported SamplesPerPixel and/or BitsPerSample" for layouts other than
// 1 x 1, 1 x 8, 1 x 16 and 3 x 8 bits, and "DICOM_Range = vxdrSetBlackWhite
// not supported for saving".
TVXDicomWriteContext* VXDicomWriteBegin(TStream* Stream, TIOParamsVals& Params, int32_t ImagesCount,
                                        TProgressRec& Progress);
// Appends one frame (vx1g, vx8g, vx16g or vx24RGB; EVXException "DICOM
// saving: unsupported pixel format" otherwise, and for 1-bit RLE); frames
// beyond the announced count are dropped.
void VXDicomWriteAddImage(TVXDicomWriteContext* Context, TVXBitmap* Bitmap);
// Closes the pixel data, flushes and frees the context (nullptr: nothing).
void VXDicomWriteEnd(TVXDicomWriteContext* Context);

namespace vxdicom {
// PackBits of one row as the DICOM RLE segments hold it.
void PackBitsEncode(const uint8_t* Data, int64_t Length, std::vector<uint8_t>& Out);
}  // namespace vxdicom
