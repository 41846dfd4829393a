#pragma once
// Loader of the optional external computer-vision library: loaded by name on
// first demand, its root interface obtained through the factory entry point
// "vxv_Library_create" and kept until the library shut-down or a reload.
// When no library can be found the interface stays empty.

#include <cstdint>
#include <string>

#include "core/pixels.h"

// Result code of the vision library's calls: vxvOK on success, anything else
// is a failure the caller reports.
using TVXVisionResult = int32_t;
constexpr TVXVisionResult vxvOK = 0;

// An image of the vision library, reference counted. Rows lie top-down from
// row 0, RowLen bytes apart; samples are of the data type (the depth codes
// below) with Channels samples a pixel, bits most significant first for the
// one-bit type. An image may carry an alpha image of its size (one channel,
// 8 bits a sample).
class TVXVisionImage {
public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  virtual TVXVisionResult GetSize(int32_t* Width, int32_t* Height) = 0;
  virtual TVXVisionResult GetChannels(int32_t* Channels) = 0;
  virtual TVXVisionResult GetDataType(uint32_t* DataType) = 0;
  virtual TVXVisionResult GetRowLen(int64_t* RowLen) = 0;
  // Address of row Row (0 is the top one).
  virtual TVXVisionResult GetRow(int32_t Row, void** Address) = 0;
  virtual TVXVisionResult HasAlpha(bool* Present) = 0;
  // The alpha image with a reference for the caller (nullptr without one).
  virtual TVXVisionResult GetAlpha(TVXVisionImage** Alpha) = 0;
  // Attaches Alpha (the image takes its own reference; nullptr removes it).
  virtual TVXVisionResult SetAlpha(TVXVisionImage* Alpha) = 0;

protected:
  ~TVXVisionImage() = default;
};

// Root interface of the vision library, reference counted. The library's
// other operations are reached through it by the bitmap conversions.
class TVXVisionBase {
public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  // A new image of Width x Height pixels of the data type and channel count
  // whose Height rows lie RowLen bytes apart from Data (row 0 first). The
  // library may copy the rows or go on reading them, so the memory stays
  // unchanged while the image is in use. The image comes with a reference
  // for the caller.
  virtual TVXVisionResult CreateImage(int32_t Width, int32_t Height, uint32_t DataType, int32_t Channels,
                                      int64_t RowLen, const void* Data, TVXVisionImage** Image) = 0;

protected:
  ~TVXVisionBase() = default;
};

// The factory: stores the root interface at the address it is given.
using TVXVisionLibraryCreate = void (*)(TVXVisionBase** Intf);

// The library's interface, loading it first when needed (nullptr when no
// library can be found; the next call tries again). A non-null result
// carries a reference the caller gives back with Release.
TVXVisionBase* VXGetVisionLibrary();
// Under the loader's lock: with Reload, unloads first; then tries FileName
// alone, or without one "vxvision.dll", "vxvision32.dll", "vxvision64.dll",
// "vxlib.dll", "vxlib32.dll", "vxlib64.dll" in this order. Each try does
// nothing once a library is loaded.
void VXLoadVisionLibrary(const std::string& FileName, bool Reload);
// Loads FileName unless a library is loaded; a library without the factory
// entry point is freed again.
void VXTryLoadVisionDll(const std::string& FileName);
// Releases the interface and frees the library when loaded.
void VXUnloadVisionLibrary();
// Library shut-down: releases the second library slot when it is set.
void VXReleaseSecondVisionLibrary();

// Pixel format <-> (depth code, channel count) of the vision library's
// images. Depth codes: 0 unsigned 8 bits a channel, 2 unsigned 16 bits,
// 5 32-bit float, 0xA0000001 one bit.
void VXPixelFormatToVisionType(TVXPixelFormat PixelFormat, uint32_t& Depth, int32_t& Channels);
TVXPixelFormat VXVisionTypeToPixelFormat(uint32_t Depth, int32_t Channels);

// A text-recognition language of the vision library: its ISO 639-2
// terminology code ("eng") and English display name ("English").
struct TVXVisionLanguages {
  const char* Code;
  const char* DisplayName;
};
constexpr int32_t VXVisionLanguagesCount = 65;
// Ordered by display name.
extern const TVXVisionLanguages VXVisionLanguages[VXVisionLanguagesCount];
