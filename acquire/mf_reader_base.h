// What every back end of our source reader shares: sample requests answered
// on the spot, or, with MF_SOURCE_READER_ASYNC_CALLBACK, by a worker of the
// reader, one request at a time and in order, through the callback's
// OnReadSample; the worker is joined when the reader goes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "acquire/mf_platform.h"

class TVXMFReaderBase : public TVXComObject<VX_IMFSourceReader> {
 public:
  ~TVXMFReaderBase() override;
  HRESULT ReadSample(DWORD index, DWORD, DWORD* actual, DWORD* flags, LONGLONG* time, VX_IMFSample** sample) final;

  // Stream indexes of the reader's calls.
  static constexpr DWORD kAnyStream = 0xFFFFFFFE, kFirstVideo = 0xFFFFFFFC, kFirstAudio = 0xFFFFFFFD,
                         kMediaSource = 0xFFFFFFFF, kAllStreams = 0xFFFFFFFE;

 protected:
  // Takes the callback and the video-processing flag from the attributes.
  void TakeAttributes(VX_IMFAttributes* Attributes);
  // Starts the worker when a callback was given.
  void StartWorker();
  // Ends and joins the worker; the back end's destructor calls it before
  // anything ReadOne uses goes.
  void StopWorker();
  // Whether ReadSample may name the stream (beside any stream).
  virtual bool ReadableStream(DWORD Index) = 0;
  // The next sample, called under fLock: its stream, flags, time stamp and
  // sample object (null at the end of a stream, on an error or at a gap).
  virtual void ReadOne(DWORD& Stream, DWORD& Flags, LONGLONG& Time, VX_IMFSample*& Sample) = 0;

  std::recursive_mutex fLock;
  bool fProcessing = false;

 private:
  void Work();
  VX_IMFSourceReaderCallback* fCallback = nullptr;
  std::thread fWorker;
  std::mutex fWorkLock;
  std::condition_variable fWake;
  int fRequests = 0;
  bool fQuit = false;
};

// A copy of the media type's attributes.
HRESULT VXMFCopyMediaType(VX_IMFMediaType* From, VX_IMFMediaType** To);
// A sample of one memory buffer of Size bytes (Data's, or zeros), its time
// and duration set; null when it cannot be made.
VX_IMFSample* VXMFNewMemorySample(const uint8_t* Data, size_t Size, int64_t Time, int64_t Duration);
