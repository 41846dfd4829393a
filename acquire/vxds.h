// TVXDirectShow: one filter graph for capture from a video and/or audio
// input (optionally compressed, written to an AVI file and previewed),
// reading a media file frame by frame through a sample grabber, or DVD
// playback; with running, seeking, capture formats, crossbar, tuner, TV
// standards, property pages and the DVD navigator's commands; new frames
// and graph events go to a notify window.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquire/vxds_tables.h"
#include "winui/win_types.h"

struct IVXBaseFilter;
struct IVXAMVideoCompression;
struct IVXGraphBuilder;
struct IVXCaptureGraphBuilder2;
struct IVXMediaControl;
struct IVXMediaSeeking;
struct IVXMediaEventEx;
struct IVXAMStreamConfig;
struct IVXAMCrossbar;
struct IVXAMTVTuner;
struct IVXVideoFrameStep;
struct IVXAMAnalogVideoDecoder;
struct IVXAMClockSlave;
struct IVXSampleGrabber;
struct IVXVMRFilterConfig;
struct IVXVMRWindowlessControl;
struct IVXPin;
struct IVXReferenceClock;
struct IVXDvdControl2;
struct IVXDvdInfo2;
class TVXSampleGrabberCB;
class TVXBitmap;

// Copies a bottom-up 24-bit frame (rows padded to 4 bytes, FrameLen bytes)
// into an allocated vx24RGB bitmap of its size, upright whatever the
// bitmap's origin; each row copies the smaller of the frame's stride and the
// bitmap's row length, and nothing is read beyond FrameLen (rows it does not
// cover keep their content).
void VXDSCopyFrameRows(const uint8_t* Frame, int64_t FrameLen, TVXBitmap* Bitmap);

// One capture capability of the connected video input.
class TVXVideoFormat {
 public:
  std::string Format;  // subtype name, empty when not in the table
  int32_t BitRate = 0;
  std::string VideoStandard;
  int32_t MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;
  int32_t GranularityX = 0, GranularityY = 0;
};

class TVXDirectShow {
 public:
  TVXDirectShow();
  ~TVXDirectShow();
  TVXDirectShow(const TVXDirectShow&) = delete;
  TVXDirectShow& operator=(const TVXDirectShow&) = delete;

  // ---- devices ----
  const std::vector<std::string>& VideoInputs();
  const std::vector<std::string>& AudioInputs();
  const std::vector<std::string>& VideoCodecs();
  const std::vector<std::string>& AudioCodecs();
  void SetVideoInput(int32_t idx, int32_t instanceIndex = 0, int32_t width = 0, int32_t height = 0,
                     const std::string& format = "");
  void SetAudioInput(int32_t idx, int32_t instanceIndex = 0);
  void SetVideoCodec(int32_t idx);
  void SetAudioCodec(int32_t idx);

  // ---- properties ----
  const std::string& FileInput() const { return fFileInput; }
  void SetFileInput(const std::string& v) { fFileInput = v; }
  const std::string& FileOutput() const { return fFileOutput; }
  void SetFileOutput(const std::string& v) { fFileOutput = v; }
  bool Connected() const { return fGraph != nullptr; }
  bool EnableSampleGrabber() const { return fEnableSampleGrabber; }
  void SetEnableSampleGrabber(bool v) { fEnableSampleGrabber = v; }
  bool RenderVideo() const { return fRenderVideo; }
  void SetRenderVideo(bool v) { fRenderVideo = v; }
  bool RenderAudio() const { return fRenderaudio; }
  void SetRenderAudio(bool v) { fRenderaudio = v; }
  TVXDSCapturemode CaptureMode() const { return fCaptureMode; }
  void SetCaptureMode(TVXDSCapturemode v) { fCaptureMode = v; }
  TVXReferenceClock ReferenceClock() const { return fReferenceClock; }
  void SetReferenceClock(TVXReferenceClock v) { fReferenceClock = v; }
  int32_t ClockErrorTolerance() const { return fClockErrorTolerance; }
  void SetClockErrorTolerance(int32_t v) { fClockErrorTolerance = v; }
  const std::string& DVDInputPath() const { return fDVDInputPath; }
  void SetDVDInputPath(const std::string& v) { fDVDInputPath = v; }
  HWND NotifyWindow() const { return fNotifyWindow; }
  bool AcceptNextFrame() const { return fAcceptNextFrame; }
  void SetAcceptNextFrame(bool v) { fAcceptNextFrame = v; }
  bool EndOfStream() const { return fEndOfStream; }
  void SetEndOfStream(bool v) { fEndOfStream = v; }

  // ---- graph ----
  void Connect();
  void Disconnect();

  // ---- control ----
  TVXDSRunResult Run();
  void Stop();
  void Pause();
  TVXDirectShowState State();
  double Rate();
  void SetRate(double v);
  int64_t Position();
  void SetPosition(int64_t v);
  int64_t Duration();
  TVXTimeFormat TimeFormat();
  void SetTimeFormat(TVXTimeFormat v);
  int64_t ConvertTimeFormat(int64_t source, TVXTimeFormat sourceFormat, TVXTimeFormat targetFormat);
  bool Step(int32_t frames);
  void SaveGraph(const std::string& filename);

  // ---- formats and device settings ----
  double VideoCodecQuality();
  void SetVideoCodecQuality(double v);
  int32_t VideoFormatsCount() const { return int32_t(fVideoFormats.size()); }
  // Raises EVXException for an index outside the list.
  const TVXVideoFormat& GetVideoFormats(int32_t i) const;
  void SetCurrentVideoFormat(int32_t width, int32_t height, const std::string& format);
  void GetCurrentVideoFormat(int32_t& width, int32_t& height, std::string& format);
  int64_t GetAverageTimePerFrame();
  const std::vector<std::string>& VideoInputSources() const { return fVideoInputSources; }
  int32_t VideoInputSource();
  void SetVideoInputSource(int32_t v);
  int32_t TunerChannel();
  void SetTunerChannel(int32_t v);
  bool TunerFindSignal();
  TVXTVStandards GetSupportedTVStandards();
  void SetTVStandard(TVXTVStandard Value);
  void SetVCRHorizontalLocking(bool Value);
  bool ShowPropertyPages(TVXPropertyPages proppages, TVXPropertyPagesType proptype, bool checkOnly);

  // ---- DVD ----
  void DVDSelectAt(int32_t x, int32_t y);
  void DVDActivateButton();
  void DVDPlayAt(int32_t Title, int32_t Chapter);
  void DVDPlayAt(int32_t Title, int32_t Hours, int32_t Minutes, int32_t Seconds, int32_t Frames);
  void DVDPlayAdvanced(bool PlayForward, double Speed);
  void DVDShowMenu(TVXDVDMenu Menu);
  std::string DVDGetProperty(const std::string& Prop, const std::string& SubProp);

  // ---- window notification ----
  void SetNotifyWindow(HWND WindowHandle, int32_t NewFrameMessage, int32_t EventMessage);
  bool GetEventCode(int32_t& Event);
  // The frame of a caller's buffer (len bytes), or of the grabber's current
  // buffer when buffer is null, into the bitmap as vx24RGB.
  void BufferToTVXBitmap(const uint8_t* buffer, int32_t len, TVXBitmap* DestBitmap);
  // The renderer's current image (resampled to the bitmap's earlier size
  // when resample is set), then the grabber's frame.
  void GetSample(TVXBitmap* DestBitmap, bool resample);
  // The video renderer's rectangles, native size and painting.
  void SetVideoRenderRect(const RECT& SrcRect, const RECT& DstRect);
  void GetVideoRenderRect(RECT& SrcRect, RECT& DstRect);
  void GetVideoRenderNativeSize(int32_t& Width, int32_t& Height);
  void RepaintVideo(HWND hwnd, HDC hdc);

  // The new-frame message of the grabber callback (read on the streaming
  // thread).
  int32_t NewFrameMessage() const { return fNewFrameMessage; }

  // How long GetAverageTimePerFrame polls a graph whose position does not
  // move before it answers 0 (milliseconds of the platform clock).
  static constexpr uint32_t kAverageTimeLimit = 5000;

 private:
  void BuildCaptureGraph();
  void BuildDVDGraph();
  void CreateVideoMixingRenderer();
  void RouteTunerAudio();
  void FillVideoFormats();
  void FillVideoInputSources();
  void ReleaseGraph();
  const std::vector<std::string>& Devices(std::vector<std::string>& List, int Category);
  // The crossbar's output pin feeding the video decoder, or -1.
  int32_t VideoDecoderPin();

  bool fOLEInitialized = false;
  std::vector<std::string> fAudioInputs, fVideoInputs, fVideoCodecs, fAudioCodecs;
  std::vector<TVXVideoFormat> fVideoFormats;
  std::vector<std::string> fVideoInputSources;
  IVXBaseFilter* fCurColor = nullptr;
  IVXBaseFilter* fCurAudioInput = nullptr;
  IVXBaseFilter* fCurVideoInput = nullptr;
  IVXBaseFilter* fCurFileInput = nullptr;
  std::string fFileInput;
  IVXBaseFilter* fCurVideoCodec = nullptr;
  IVXBaseFilter* fCurAudioCodec = nullptr;
  IVXAMVideoCompression* fIAMVideoCompression = nullptr;
  std::string fFileOutput;
  IVXGraphBuilder* fGraph = nullptr;
  IVXCaptureGraphBuilder2* fBuilder = nullptr;
  IVXMediaControl* fControl = nullptr;
  IVXMediaSeeking* fMediaSeeking = nullptr;
  IVXMediaEventEx* fMediaEvent = nullptr;
  IVXAMStreamConfig* fStreamConfig = nullptr;
  IVXBaseFilter* fCrossBarFilter = nullptr;
  IVXAMCrossbar* fCrossBar = nullptr;
  IVXAMTVTuner* fTuner = nullptr;
  IVXBaseFilter* fTunerFilter = nullptr;
  IVXVideoFrameStep* fVideoFrameStep = nullptr;
  IVXAMAnalogVideoDecoder* fAnalogVideoDecoder = nullptr;
  IVXAMClockSlave* fClockSlave = nullptr;
  IVXBaseFilter* fSampleGrabber = nullptr;
  IVXSampleGrabber* fSampleGrabberFilter = nullptr;
  bool fEnableSampleGrabber = false;
  TVXSampleGrabberCB* fSampleGrabberCB = nullptr;  // not counted
  IVXBaseFilter* fNullRenderer = nullptr;
  IVXBaseFilter* fAVIDecompressor = nullptr;
  IVXBaseFilter* fMPEG2Demultiplexer = nullptr;
  IVXBaseFilter* fMPEG2Decoder = nullptr;
  IVXBaseFilter* fColorConverterDMO = nullptr;
  bool fRenderVideo = false;
  IVXBaseFilter* fVideoMixingRenderer = nullptr;
  IVXVMRFilterConfig* fVMRFilterConfig = nullptr;
  IVXVMRWindowlessControl* fVMRWindowlessControl = nullptr;
  IVXPin* fVMRSavedPin1 = nullptr;
  IVXPin* fVMRSavedPin2 = nullptr;
  std::atomic<HWND> fNotifyWindow{nullptr};
  std::atomic<int32_t> fNewFrameMessage{0};
  int32_t fEventMessage = 0;
  std::atomic<bool> fAcceptNextFrame{true};
  bool fEndOfStream = false;
  bool fRenderaudio = false;
  TVXReferenceClock fReferenceClock = rcDefault;
  int32_t fClockErrorTolerance = -1;
  IVXReferenceClock* fSystemClock = nullptr;
  TVXDSCapturemode fCaptureMode = vxdscCapture;
  std::string fDVDInputPath;
  IVXDvdControl2* fDVDControl2 = nullptr;
  IVXDvdInfo2* fDVDInfo2 = nullptr;
};
