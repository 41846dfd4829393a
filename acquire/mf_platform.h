// Our Media Foundation: the platform part that the video units bind by name.
// "Mfplat.dll" (start-up, attribute stores, media types, samples, memory
// buffers, file byte streams, strides, the clock), "Mf.dll" (the video and
// audio capture devices of the capture-device registry as activation
// objects) and "Mfreadwrite.dll" are built-in modules of the window layer;
// the video processor transform is a class of the COM registry.
//
// Everything runs in this process and in software. Objects are safe to use
// from one thread at a time, except attribute stores, which lock.
#pragma once

#include "acquire/mf_api.h"

// The modules, registered with the window layer's module table (static
// start-up of the acquisition library), and the transform's class (the
// library's start-up; taken out again at its shut-down).
void VXRegisterMediaFoundationModules();
void VXRegisterMediaFoundationClasses();
void VXUnregisterMediaFoundationClasses();

// The platform functions themselves (the modules' entries).
HRESULT VXMFPlatStartup(ULONG Version, DWORD dwFlags);
HRESULT VXMFPlatShutdown();
HRESULT VXMFPlatCreateAttributes(VX_IMFAttributes** ppMFAttributes, UINT cInitialSize);
HRESULT VXMFPlatCreateMediaType(VX_IMFMediaType** ppMFType);
// Row length of a frame: width x 2 for the packed 4:2:2 forms, width for the
// planar 4:2:0 ones with three planes, width padded to 4 bytes for NV12,
// width x 3 padded to 4 for RGB24, width x 4 for RGB32 and ARGB32, width x 2
// padded to 4 for RGB565 and RGB555, width padded to 4 for RGB8;
// MF_E_INVALIDMEDIATYPE for other formats.
HRESULT VXMFPlatGetStrideForBitmapInfoHeader(DWORD format, DWORD dwWidth, LONG* pStride);
HRESULT VXMFPlatCreateFile(MF_FILE_ACCESSMODE AccessMode, MF_FILE_OPENMODE OpenMode, MF_FILE_FLAGS fFlags,
                           LPCWSTR pwszFileURL, VX_IMFByteStream** ppIByteStream);
// The platform clock in 100-ns units.
MFTIME VXMFPlatGetSystemTime();
HRESULT VXMFPlatCreateSample(VX_IMFSample** ppIMFSample);
HRESULT VXMFPlatCreateMemoryBuffer(DWORD cbMaxLength, VX_IMFMediaBuffer** ppBuffer);
// The capture devices of the source type the attributes name (video or
// audio capture), in registry order, in an array of task memory.
HRESULT VXMFPlatEnumDeviceSources(VX_IMFAttributes* pAttributes, VX_IMFActivate*** pppSourceActivate,
                                  UINT* pcSourceActivate);

// "Mfreadwrite.dll" (mf_reader.cpp): readers of the video stream (and, as
// stream 1, the audio stream, in its decoder's sample format) of a file's
// byte stream or of a URL ("format:device" names an FFmpeg input device)
// over FFmpeg; E_FAIL when FFmpeg is missing or the input cannot be opened
// or holds no video. MF_SOURCE_READER_ASYNC_CALLBACK makes the reader
// answer ReadSample on a worker; MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING
// lets the current type be any of YUY2, NV12, I420, RGB24 and RGB32.
HRESULT VXMFReadCreateSourceReaderFromByteStream(VX_IMFByteStream* pByteStream, VX_IMFAttributes* pAttributes,
                                                 VX_IMFSourceReader** ppSourceReader);
// The media source of a device reading the FFmpeg input; E_FAIL for none.
HRESULT VXMFNewDeviceMediaSource(LPCWSTR Url, VX_IMFMediaSource** ppSource);
HRESULT VXMFReadCreateSourceReaderFromMediaSource(VX_IMFMediaSource* pMediaSource, VX_IMFAttributes* pAttributes,
                                                  VX_IMFSourceReader** ppSourceReader);
HRESULT VXMFReadCreateSourceReaderFromURL(LPCWSTR pwszURL, VX_IMFAttributes* pAttributes,
                                          VX_IMFSourceReader** ppSourceReader);

// Test driver: how many MFStartup calls are not yet balanced by MFShutdown.
int VXMFPlatStartupCount();

// The transform's own parts (mf_videoproc.cpp).
HRESULT VXCreateVideoProcessorMFT(REFIID riid, void** ppv);

constexpr GUID MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID{
    0x14DD9A1C, 0x7CFF, 0x41BE, {0xB1, 0xB9, 0xBA, 0x1A, 0xC6, 0xEC, 0xB5, 0x71}};
