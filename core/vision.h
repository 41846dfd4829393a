#pragma once
// Loader of the optional external computer-vision library: loaded by name on
// first demand, its root interface obtained through the factory entry point
// "vxv_Library_create" and kept until the library shut-down or a reload.
// When no library can be found the interface stays empty.

#include <cstdint>
#include <string>

#include "core/pixels.h"

// Root interface of the vision library, reference counted. The library's
// other operations are reached through it by the bitmap conversions.
class TVXVisionBase {
public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

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
