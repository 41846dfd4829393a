// TVXDirectShow over the library's graph layer and its simulated devices:
// the graphs it builds, device lists, capture formats, device settings,
// control, DVD commands, property pages and capture into an AVI file.
#include "acquire/vxds.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "acquire/dshow_graph.h"
#include "acquire/dshow_sim.h"
#include "core/bitmap.h"
#include "core/startup.h"
#include "core/vxdefs.h"
#include "platform/win_clock.h"
#include "platform/win_com.h"
#include "winui/headless.h"
#include "winui/win_paint.h"
#include "winui/win_window.h"

namespace {

class VXDS : public ::testing::Test {
 protected:
  void SetUp() override { VXDShowSim::Reset(); }
  void TearDown() override {
    VXDShowSim::Reset();
    VXClockSetVirtual(false);
  }
  TVXLibraryGuard fLibrary;
};

const char* kCamera =
    R"({"Name": "Cam", "Caps": [{"SubType": "RGB24", "Width": 160, "Height": 120,
  "BitRate": 1000, "Standards": 49}, {"SubType": "YUY2", "Width": 320, "Height": 240, "BitRate": 2000}]})";

std::string Joined(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& x : v) s += x + "\n";
  return s;
}

int IndexOf(const std::vector<std::string>& v, const std::string& name) {
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] == name) return int(i);
  return -1;
}

}  // namespace

// For each branch of the build: the filters in the graph and the
// RenderStream calls in order.
TEST_F(VXDS, GraphBuildsHoldTheFiltersAndRenderStreamCalls) {
  struct Case {
    const char* Name;
    std::function<void(TVXDirectShow&)> Setup;
    std::vector<std::string> Filters;
    std::vector<std::string> Log;
  };
  const std::string tmp = ::testing::TempDir();
  const std::vector<Case> cases = {
      {"capture to a file with a preview",
       [&](TVXDirectShow& ds) {
         ds.SetVideoInput(0);
         ds.SetFileOutput(tmp + "/vxds-build.avi");
         ds.SetRenderVideo(true);
       },
       {"VideoCapture", "AVI Mux", "ColorConverter", "Video Mixing Renderer", "AVI Decompressor"},
       {"RenderStream(PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, VideoCapture, "
        "ColorConverter, AVI Mux)",
        "RenderStream(PIN_CATEGORY_PREVIEW, MEDIATYPE_Video, VideoCapture, "
        "none, Video Mixing Renderer)"}},
      {"video and audio to a file",
       [&](TVXDirectShow& ds) {
         ds.SetVideoInput(0);
         ds.SetAudioInput(0);
         ds.SetAudioCodec(0);
         ds.SetFileOutput(tmp + "/vxds-build.AVI");
       },
       {"VideoCapture", "AudioCapture", "AudioCodec", "AVI Mux", "ColorConverter", "AVI Decompressor"},
       {"RenderStream(PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, VideoCapture, ColorConverter, AVI Mux)",
        "RenderStream(PIN_CATEGORY_CAPTURE, MEDIATYPE_Audio, AudioCapture, AudioCodec, AVI Mux)"}},
      {"capture only",
       [](TVXDirectShow& ds) { ds.SetVideoInput(0); },
       {"VideoCapture", "ColorConverter", "NullRenderer", "AVI Decompressor"},
       {"RenderStream(PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, VideoCapture, "
        "ColorConverter, NullRenderer)"}},
      {"preview only",
       [](TVXDirectShow& ds) {
         ds.SetVideoInput(0);
         ds.SetCaptureMode(vxdscPreview);
         ds.SetRenderVideo(true);
       },
       {"VideoCapture", "ColorConverter", "Video Mixing Renderer", "AVI Decompressor"},
       {"RenderStream(PIN_CATEGORY_PREVIEW, MEDIATYPE_Video, VideoCapture, "
        "ColorConverter, Video Mixing "
        "Renderer)"}},
      {"a file output of another extension goes nowhere",
       [&](TVXDirectShow& ds) {
         ds.SetVideoInput(0);
         ds.SetFileOutput(tmp + "/vxds-build.mp4");
       },
       {"VideoCapture", "ColorConverter", "NullRenderer", "AVI Decompressor"},
       {"RenderStream(PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, VideoCapture, "
        "ColorConverter, NullRenderer)"}},
      {"sample grabber without a codec",
       [](TVXDirectShow& ds) {
         ds.SetFileInput("clip.avi");
         ds.SetEnableSampleGrabber(true);
       },
       {"FileFilter", "ColorConverter", "SampleGrabber", "NullRenderer", "AVI Decompressor"},
       {"RenderStream(none, none, FileFilter, AVI Decompressor, SampleGrabber)",
        "RenderStream(none, none, SampleGrabber, none, NullRenderer)",
        "RenderStream(none, none, FileFilter, SampleGrabber, NullRenderer)",
        "RenderStream(none, MEDIATYPE_Video, FileFilter, SampleGrabber, "
        "NullRenderer)"}},
      {"sample grabber with a codec adds none",
       [](TVXDirectShow& ds) {
         ds.SetVideoInput(0);
         ds.SetVideoCodec(0);
         ds.SetEnableSampleGrabber(true);
       },
       {"VideoCapture", "VideoCodec", "NullRenderer", "AVI Decompressor"},
       {"RenderStream(PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, VideoCapture, "
        "VideoCodec, NullRenderer)"}},
      {".mov",
       [](TVXDirectShow& ds) { ds.SetFileInput("clip.MOV"); },
       {"FileFilter", "ColorConverter", "NullRenderer", "AVI Decompressor"},
       {"RenderStream(none, none, FileFilter, ColorConverter, NullRenderer)",
        "RenderStream(none, MEDIATYPE_Video, FileFilter, ColorConverter, "
        "NullRenderer)"}},
      {".mpg",
       [](TVXDirectShow& ds) {
         ds.SetFileInput("clip.mpg");
         ds.SetEnableSampleGrabber(true);
       },
       {"FileFilter", "ColorConverter", "SampleGrabber", "NullRenderer", "AVI Decompressor", "MPEG-2 Demultiplexer",
        "MPEG-2 Decoder", "Color Converter DMO"},
       {"RenderStream(none, none, FileFilter, none, MPEG-2 Demultiplexer)",
        "RenderStream(none, MEDIATYPE_Video, MPEG-2 Demultiplexer, none, "
        "MPEG-2 Decoder)",
        "RenderStream(none, none, MPEG-2 Decoder, none, Color Converter DMO)",
        "RenderStream(none, none, Color Converter DMO, none, SampleGrabber)",
        "RenderStream(none, none, SampleGrabber, none, NullRenderer)"}},
  };
  VXDShowSim::AddVideoInput(kCamera);
  VXDShowSim::AddVideoCodec("Codec");
  for (const char* clip : {"clip.avi", "clip.MOV", "clip.mpg"}) VXDShowSim::AddClip(clip, 10, 32, 24, 25);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    VXDShowSim::Reset();
    VXDShowSim::AddVideoInput(kCamera);
    VXDShowSim::AddVideoCodec("Codec");
    VXDShowSim::AddAudioInput("Mic");
    VXDShowSim::AddAudioCodec("Sound");
    for (const char* clip : {"clip.avi", "clip.MOV", "clip.mpg"}) VXDShowSim::AddClip(clip, 10, 32, 24, 25);
    TVXDirectShow ds;
    c.Setup(ds);
    ds.Connect();
    ASSERT_TRUE(ds.Connected());
    EXPECT_EQ(Joined(VXDShowSim::GraphFilters()), Joined(c.Filters));
    EXPECT_EQ(Joined(VXDShowSim::Log()), Joined(c.Log));
    ds.Disconnect();
    EXPECT_FALSE(ds.Connected());
  }
}

// The file and MPEG-2 chains do carry frames: the grabber's graph renders
// every frame of the clip and ends with EC_COMPLETE.
TEST_F(VXDS, FileGraphsCarryEveryFrameToTheEnd) {
  for (const char* file : {"clip.avi", "clip.mpg"}) {
    SCOPED_TRACE(file);
    VXDShowSim::Reset();
    VXDShowSim::AddClip(file, 12, 16, 8, 25);
    TVXDirectShow ds;
    ds.SetFileInput(file);
    ds.SetEnableSampleGrabber(true);
    ds.Connect();
    EXPECT_EQ(ds.Run(), vxdsSuccess);
    bool complete = false;
    for (int i = 0; i < 500 && !complete; ++i) {
      int32_t code = 0;
      while (ds.GetEventCode(code)) complete |= code == EC_COMPLETE;
      if (!complete) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(complete);
    EXPECT_EQ(VXDShowSim::RenderedFrames(), 12);
    int32_t w = 0, h = 0;
    std::string f = "kept";
    ds.GetCurrentVideoFormat(w, h, f);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 8);
    EXPECT_EQ(f, "kept");  // the grabber path leaves the format name alone
    EXPECT_EQ(ds.GetAverageTimePerFrame(), 400000);
  }
}

TEST_F(VXDS, DVDGraphsAndCommands) {
  for (const std::string path : {"DeFault", "/media/dvd"}) {
    SCOPED_TRACE(path);
    VXDShowSim::Reset();
    TVXDirectShow ds;
    EXPECT_EQ(ds.DVDGetProperty("TITLE", ""), "");  // no navigator yet
    ds.SetDVDInputPath(path);
    ds.Connect();
    EXPECT_TRUE(ds.RenderVideo());
    EXPECT_EQ(Joined(VXDShowSim::GraphFilters()), Joined({"DVD Navigator", "Video Mixing Renderer", "Audio Renderer"}));
    const std::vector<std::string> want =
        path == "DeFault" ? std::vector<std::string>{} : std::vector<std::string>{"SetDVDDirectory(/media/dvd)"};
    EXPECT_EQ(Joined(VXDShowSim::DVDCalls()), Joined(want));
  }
  VXDShowSim::Reset();
  TVXDirectShow ds;
  ds.SetDVDInputPath("default");
  ds.Connect();
  ds.DVDShowMenu(vxdmROOT);
  ds.DVDShowMenu(vxdmCHAPTER);
  ds.DVDPlayAt(2, 3);
  ds.DVDPlayAt(1, 0x101, 2, 3, 4);  // the low byte of each argument
  ds.DVDPlayAdvanced(false, 2.5);
  ds.DVDSelectAt(10, 20);
  ds.DVDActivateButton();
  EXPECT_EQ(Joined(VXDShowSim::DVDCalls()),
            Joined({"ShowMenu(3)", "ShowMenu(7)", "PlayChapterInTitle(2, 3)", "PlayAtTimeInTitle(1, 1:2:3:4)",
                    "PlayBackwards(2.5)", "SelectAtPosition(10, 20)", "ActivateButton()"}));
  const struct {
    const char *Prop, *Sub, *Answer;
  } props[] = {{"time", "", "01: 05: 09: 00"},
               {"TotalTitleTime", "", "01: 45: 30: 00"},
               {"title", "", "1"},
               {"CHAPTER", "", "2"},
               {"NUMOFTITLES", "", "3"},
               {"numofvolumes", "", "1"},
               {"side", "", "1"},
               {"DISCID", "", "0123456789ABCDEF"},
               {"NUMOFCHAPTERS", "2", "4"},
               {"NUMOFCHAPTERS", "x", "12"},
               {"NUMOFCHAPTERS", "", "Invalid Property"},
               {"bogus", "", "Invalid Property"}};
  for (const auto& p : props) EXPECT_EQ(ds.DVDGetProperty(p.Prop, p.Sub), p.Answer) << p.Prop << " " << p.Sub;
  const std::vector<std::string> calls = VXDShowSim::DVDCalls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), "GetNumberOfChapters(1)");  // "x" asks for title 1
}

// Devices of one name are picked by instance index; an empty category is
// enumerated on every read, a filled one only once.
TEST_F(VXDS, DeviceListsAndInstanceIndex) {
  TVXDirectShow ds;
  EXPECT_TRUE(ds.VideoInputs().empty());
  VXDShowSim::AddVideoInput(R"({"Name": "Twin", "Caps": [{"SubType": "RGB24", "Width": 8, "Height": 8}]})");
  VXDShowSim::AddVideoInput(R"({"Name": "Twin", "Caps": [{"SubType": "YUY2", "Width": 16, "Height": 16}]})");
  EXPECT_EQ(Joined(ds.VideoInputs()), Joined({"Twin", "Twin"}));
  VXDShowSim::AddVideoInput(R"({"Name": "Late", "Caps": [{"SubType": "RGB24", "Width": 8, "Height": 8}]})");
  EXPECT_EQ(ds.VideoInputs().size(), 2u);  // kept once filled
  for (int instance : {0, 1}) {
    ds.SetVideoInput(1, instance);
    ds.Connect();
    int32_t w = 0, h = 0;
    std::string f;
    ds.GetCurrentVideoFormat(w, h, f);
    EXPECT_EQ(f, instance == 0 ? "RGB24" : "YUY2");
    ds.Disconnect();
  }
  ds.SetVideoInput(0, 2);  // no third "Twin"
  ds.Connect();
  EXPECT_EQ(IndexOf(VXDShowSim::GraphFilters(), "VideoCapture"), -1);
  ds.Disconnect();
  ds.SetVideoInput(5);  // beyond the list: nothing changes
  EXPECT_TRUE(ds.AudioCodecs().empty());
  VXDShowSim::AddAudioCodec("Sound");
  EXPECT_EQ(Joined(ds.AudioCodecs()), Joined({"Sound"}));
}

TEST_F(VXDS, CaptureFormatChoice) {
  const char* caps = R"({"Name": "Cam", "Caps": [
    {"SubType": "YUY2", "Width": 320, "Height": 240, "BitRate": 1000},
    {"SubType": "MJPG", "Width": 320, "Height": 240, "BitRate": 3000},
    {"SubType": "RGB24", "Width": 320, "Height": 240, "BitRate": 3000},
    {"SubType": "CLPL", "Width": 320, "Height": 240, "BitRate": 10},
    {"SubType": "RGB32", "Width": 640, "Height": 480, "BitRate": 0},
    {"SubType": "UYVY", "Width": 800, "Height": 600, "BitRate": 900}]})";
  const struct {
    int W, H;
    const char* Format;
    const char* Want;
    int WantW;
  } cases[] = {
      {320, 240, "", "MJPG", 320},  // highest bit rate, the lower index of equals
      {320, 240, "RGB24", "RGB24", 320}, {320, 240, "YUY2", "YUY2", 320},
      {320, 240, "H264", "CLPL", 320},                                   // a name not in the table matches CLPL only
      {640, 480, "", "YUY2", 320},                                       // bit rate 0 is never chosen: the format stays
      {800, 600, "", "UYVY", 800},       {0, 600, "UYVY", "YUY2", 320},  // no size: the device keeps its format
      {321, 240, "", "YUY2", 320},
  };
  VXDShowSim::AddVideoInput(caps);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H) + " " + c.Format);
    TVXDirectShow ds;
    ds.SetVideoInput(0, 0, c.W, c.H, c.Format);
    ds.Connect();
    int32_t w = 0, h = 0;
    std::string f;
    ds.GetCurrentVideoFormat(w, h, f);
    EXPECT_EQ(f, c.Want);
    EXPECT_EQ(w, c.WantW);
  }
}

TEST_F(VXDS, FormatsAndDeviceSettings) {
  VXDShowSim::AddVideoInput(
      R"({"Name": "TV", "Crossbar": true, "Tuner": true, "Caps": [
    {"SubType": "YUY2", "Width": 320, "Height": 240, "BitRate": 1000, "Standards": 49},
    {"SubType": "Plum", "Width": 64, "Height": 48, "BitRate": 5}]})");
  VXDShowSim::AddVideoInput(
      R"({"Name": "Plain", "Caps": [{"SubType": "RGB24", "Width": 8, "Height": 8,
    "Standards": 1}]})");
  TVXDirectShow ds;
  EXPECT_EQ(ds.VideoFormatsCount(), 0);
  EXPECT_EQ(ds.GetSupportedTVStandards(), 0u);
  ds.SetVideoInput(0);
  ds.Connect();
  ASSERT_EQ(ds.VideoFormatsCount(), 2);
  const TVXVideoFormat& f = ds.GetVideoFormats(0);
  EXPECT_EQ(f.Format, "YUY2");
  EXPECT_EQ(f.BitRate, 1000);
  EXPECT_EQ(f.VideoStandard, "NTSC_M PAL_B PAL_D");
  EXPECT_EQ(f.MinWidth, 320);
  EXPECT_EQ(f.MaxHeight, 240);
  EXPECT_EQ(f.GranularityX, 1);
  EXPECT_EQ(ds.GetVideoFormats(1).VideoStandard, "");
  EXPECT_EQ(ds.GetVideoFormats(1).Format, "Plum");
  EXPECT_THROW(ds.GetVideoFormats(2), EVXException);
  EXPECT_THROW(ds.GetVideoFormats(-1), EVXException);
  // The crossbar: its inputs, and the one routed to the video decoder.
  EXPECT_EQ(Joined(ds.VideoInputSources()),
            Joined({"Video Tuner In", "Video Composite In", "Video SVideo In", "Audio Tuner In", "Audio Line In"}));
  EXPECT_EQ(ds.VideoInputSource(), 0);
  ds.SetVideoInputSource(2);
  EXPECT_EQ(ds.VideoInputSource(), 2);
  ds.SetVideoInputSource(3);  // an audio input cannot feed the video decoder
  EXPECT_EQ(ds.VideoInputSource(), 2);
  // The tuner.
  ds.SetTunerChannel(40);
  EXPECT_EQ(ds.TunerChannel(), 40);
  EXPECT_TRUE(ds.TunerFindSignal());
  ds.SetTunerChannel(100);
  EXPECT_FALSE(ds.TunerFindSignal());
  EXPECT_EQ(ds.GetSupportedTVStandards(),
            VXTVStandardBit(vxvsNTSC_M) | VXTVStandardBit(vxvsPAL_B) | VXTVStandardBit(vxvsPAL_D));
  for (const char* name : {"Crossbar", "TV Tuner"}) EXPECT_GE(IndexOf(VXDShowSim::GraphFilters(), name), 0) << name;
  ds.Disconnect();
  EXPECT_EQ(ds.TunerChannel(), 0);
  EXPECT_EQ(ds.VideoFormatsCount(), 2);  // kept until the next build

  // A device without a crossbar: no sources, no decoder.
  ds.SetVideoInput(1);
  ds.Connect();
  EXPECT_TRUE(ds.VideoInputSources().empty());
  EXPECT_EQ(ds.VideoInputSource(), 0);
  EXPECT_EQ(ds.GetSupportedTVStandards(), 0u);
  EXPECT_FALSE(ds.TunerFindSignal());
}

// SetCurrentVideoFormat(0, 0, "") keeps size and subtype, clears the frame
// time and recomputes the sample size, in 64 bits.
TEST_F(VXDS, SetCurrentVideoFormat) {
  VXDShowSim::AddVideoInput(
      R"({"Name": "Cam", "Caps": [{"SubType": "YUY2", "Width": 320, "Height": 240},
    {"SubType": "RGB32", "Width": 64, "Height": 64}]})");
  TVXDirectShow ds;
  ds.SetVideoInput(0);
  ds.SetRenderVideo(true);
  ds.Connect();
  const struct {
    int W, H;
    const char* Format;
    const char* WantFormat;
    int WantW, WantH;
    uint32_t WantSize;
  } steps[] = {
      {0, 0, "", "YUY2", 320, 240, 320 * 240 * 2},
      {64, 0, "RGB32", "RGB32", 320, 240, 320 * 240 * 4},  // one side 0: the size stays
      {100000, 100000, "", "RGB32", 100000, 100000, 0},    // beyond 32 bits
      {32, 16, "YUY2", "YUY2", 32, 16, 32 * 16 * 2},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(std::to_string(s.W) + "x" + std::to_string(s.H) + " " + s.Format);
    ds.SetCurrentVideoFormat(s.W, s.H, s.Format);
    std::string sub;
    int w = 0, h = 0;
    uint32_t size = 1;
    ASSERT_TRUE(VXDShowSim::DeviceFormat("Cam", sub, w, h, size));
    EXPECT_EQ(sub, s.WantFormat);
    EXPECT_EQ(w, s.WantW);
    EXPECT_EQ(h, s.WantH);
    EXPECT_EQ(size, s.WantSize);
    // The renderer was replaced and the preview reaches the new one.
    EXPECT_EQ(IndexOf(VXDShowSim::GraphFilters(), "Video Mixing Renderer"), int(VXDShowSim::GraphFilters().size()) - 1);
  }
  // The frame time is now 0: GetAverageTimePerFrame measures a live graph
  // whose position never moves, and gives up after its limit.
  VXClockSetVirtual(true);
  const uint64_t before = GetTickCount64();
  EXPECT_EQ(ds.GetAverageTimePerFrame(), 0);
  EXPECT_GE(GetTickCount64() - before, TVXDirectShow::kAverageTimeLimit);
  EXPECT_EQ(ds.State(), gsPaused);
}

TEST_F(VXDS, RunStateAndPositions) {
  TVXDirectShow idle;
  EXPECT_EQ(idle.Run(), vxdsError);
  EXPECT_EQ(idle.State(), gsStopped);
  EXPECT_EQ(idle.TimeFormat(), tfNone);
  EXPECT_EQ(idle.ConvertTimeFormat(5, tfFrame, tfTime), 0);
  EXPECT_FALSE(idle.Step(1));

  VXDShowSim::AddVideoInput(
      R"({"Name": "Held", "Busy": true, "Caps": [{"SubType": "RGB24", "Width": 8,
    "Height": 8}]})");
  TVXDirectShow busy;
  busy.SetVideoInput(0);
  busy.Connect();
  EXPECT_EQ(busy.Run(), vxdsBusy);
  EXPECT_EQ(busy.State(), gsStopped);
  EXPECT_EQ(busy.TimeFormat(), tfNone);  // a capture graph does not seek

  VXDShowSim::AddClip("movie.avi", 50, 8, 8, 25);
  VXDShowSim::AddClip("stuck.avi", 50, 8, 8, 25, true);
  VXClockSetVirtual(true);
  TVXDirectShow file;
  file.SetFileInput("movie.avi");
  file.SetEnableSampleGrabber(true);
  file.Connect();
  file.Pause();
  EXPECT_EQ(file.State(), gsPaused);
  EXPECT_EQ(file.TimeFormat(), tfTime);
  EXPECT_EQ(file.Duration(), 50 * 400000);
  file.SetTimeFormat(tfFrame);
  EXPECT_EQ(file.TimeFormat(), tfFrame);
  EXPECT_EQ(file.Duration(), 50);
  file.SetTimeFormat(tfField);  // not offered: stays
  EXPECT_EQ(file.TimeFormat(), tfFrame);
  EXPECT_EQ(file.ConvertTimeFormat(3, tfFrame, tfTime), 1200000);
  uint64_t t0 = GetTickCount64();
  file.SetPosition(37);
  EXPECT_EQ(GetTickCount64() - t0, 0u);  // settled at once
  EXPECT_EQ(file.Position(), 37);
  EXPECT_TRUE(file.Step(2));
  EXPECT_EQ(file.Position(), 39);
  file.SetRate(2);
  EXPECT_EQ(file.Rate(), 2);

  TVXDirectShow stuck;
  stuck.SetFileInput("stuck.avi");
  stuck.Connect();
  stuck.Pause();
  t0 = GetTickCount64();
  stuck.SetPosition(400000);
  const uint64_t waited = GetTickCount64() - t0;
  EXPECT_GE(waited, 10000u);
  EXPECT_LE(waited, 10200u);
  stuck.Stop();
  EXPECT_EQ(stuck.State(), gsStopped);
}

TEST_F(VXDS, PropertyPages) {
  VXDShowSim::AddVideoInput(kCamera);
  VXDShowSim::AddVideoCodec("Codec");
  TVXDirectShow ds;
  ds.SetVideoInput(0);
  EXPECT_FALSE(ds.ShowPropertyPages(vxpTuner, vxtFilter, true));
  EXPECT_TRUE(ds.Connected());                                         // connected first
  EXPECT_FALSE(ds.ShowPropertyPages(vxpVideoCodec, vxtFilter, true));  // none selected
  EXPECT_TRUE(ds.ShowPropertyPages(vxpVideoInput, vxtFilter, true));
  EXPECT_TRUE(ds.ShowPropertyPages(vxpVideoInput, vxtOutput,
                                   true));                            // the capture pin's pages
  EXPECT_FALSE(ds.ShowPropertyPages(vxpVideoInput, vxtInput, true));  // no input pin
  EXPECT_EQ(VXPropertyFrameCalls(), 0);
  EXPECT_TRUE(ds.ShowPropertyPages(vxpVideoInput, vxtFilter, false));
  ULONG pages = 0;
  EXPECT_EQ(VXPropertyFrameCalls(nullptr, &pages), 1);
  EXPECT_EQ(pages, 1u);
  VXSetPropertyFrameAnswer(E_FAIL);
  EXPECT_FALSE(ds.ShowPropertyPages(vxpVideoInput, vxtFilter, false));
  ds.Disconnect();
  ds.SetVideoCodec(0);
  ds.Connect();
  EXPECT_TRUE(ds.ShowPropertyPages(vxpVideoCodec, vxtFilter, true));
  EXPECT_DOUBLE_EQ(ds.VideoCodecQuality(), 0.75);
  ds.SetVideoCodecQuality(0.5);
  EXPECT_DOUBLE_EQ(ds.VideoCodecQuality(), 0.5);
}

// 25 frames of a simulated camera captured into an ".AVI" file, counted by
// ffprobe.
TEST_F(VXDS, CaptureToAviFile) {
  const std::string file = ::testing::TempDir() + "/vxds-capture.AVI";
  std::remove(file.c_str());
  for (const char* subtype : {"YUY2", "RGB24"}) {
    SCOPED_TRACE(subtype);
    VXDShowSim::Reset();
    VXDShowSim::AddVideoInput(std::string(R"({"Name": "Cam", "Caps": [{"SubType": ")") + subtype +
                              R"(", "Width": 160, "Height": 120, "BitRate": 100}]})");
    {
      TVXDirectShow ds;
      ds.SetVideoInput(0);
      ds.SetFileOutput(file);
      ds.Connect();
      EXPECT_EQ(VXDShowSim::DeliverFrames("Cam", 3), 0);  // not running
      ASSERT_EQ(ds.Run(), vxdsSuccess);
      EXPECT_EQ(VXDShowSim::DeliverFrames("Cam", 25), 25);
      ds.Stop();
      ds.Disconnect();
    }
    ASSERT_TRUE(std::filesystem::exists(file));
    if (std::system("ffprobe -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ffprobe is not installed";
    const std::string cmd =
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames,width,height -of csv=p=0 '" +
        file + "'";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[128] = {};
    const size_t n = fread(buf, 1, sizeof buf - 1, p);
    pclose(p);
    EXPECT_EQ(std::string(buf, n), "160,120,25\n");
  }
}

// ---- frames, messages and the video window ----

namespace {

constexpr UINT kNewFrame = 8025, kGraphEvent = 8026;

struct TMessages {
  int Frames = 0, Events = 0;
};

// Takes the window's messages until EC_COMPLETE came through the event
// message and GetEventCode (or a real-time limit passes).
TMessages PumpUntilComplete(TVXDirectShow& ds, HWND Window) {
  TMessages got;
  bool complete = false;
  for (int i = 0; i < 2000 && !complete; ++i) {
    MSG m;
    while (PeekMessageW(&m, Window, 0, 0, PM_REMOVE)) {
      if (m.message == kNewFrame) {
        ++got.Frames;
        EXPECT_EQ(m.lParam, reinterpret_cast<LPARAM>(&ds));
      } else if (m.message == kGraphEvent) {
        ++got.Events;
        int32_t code = 0;
        while (ds.GetEventCode(code)) complete |= code == EC_COMPLETE;
      }
    }
    if (!complete) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(complete);
  return got;
}

}  // namespace

TEST_F(VXDS, NewFrameAndEventMessages) {
  VXDShowSim::AddClip("clip.avi", 6, 8, 6, 25);
  HWND w = CreateWindowExW(0, "STATIC", "", 0, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  const struct {
    const char* Name;
    bool Accept, WindowFirst;
    int Frames;
  } cases[] = {
      {"accepting", true, true, 6}, {"not accepting", false, true, 0}, {"window after Connect", true, false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXDirectShow ds;
    ds.SetFileInput("clip.avi");
    ds.SetEnableSampleGrabber(true);
    if (c.WindowFirst) ds.SetNotifyWindow(w, kNewFrame, kGraphEvent);
    ds.Connect();
    if (!c.WindowFirst) ds.SetNotifyWindow(w, kNewFrame, kGraphEvent);
    ds.SetAcceptNextFrame(c.Accept);
    ASSERT_EQ(ds.Run(), vxdsSuccess);
    const TMessages got = PumpUntilComplete(ds, w);
    EXPECT_EQ(got.Frames, c.Frames);
    EXPECT_GE(got.Events, 1);
    int32_t code = 0;
    EXPECT_FALSE(ds.GetEventCode(code));  // the queue is empty
    ds.Disconnect();
  }
  DestroyWindow(w);
}

TEST_F(VXDS, FramesIntoBitmaps) {
  VXDShowSim::AddClip("clip.avi", 50, 5, 4, 25);
  TVXDirectShow ds;
  TVXBitmap bmp;
  ds.GetSample(&bmp, true);  // not connected: nothing
  EXPECT_TRUE(bmp.IsEmpty());
  ds.SetFileInput("clip.avi");
  ds.SetEnableSampleGrabber(true);
  ds.Connect();
  ds.Pause();
  ds.SetTimeFormat(tfFrame);
  ds.SetPosition(37);
  const auto check = [](const TVXBitmap& b, int64_t index, int rows) {
    ASSERT_EQ(b.PixelFormat(), vx24RGB);
    ASSERT_EQ(b.Width(), 5);
    ASSERT_EQ(b.Height(), 4);
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < 5; ++x) {
        const uint8_t* p = static_cast<const uint8_t*>(b.Scanline(y)) + x * 3;
        EXPECT_EQ(p[0], index & 0xFF) << x << "," << y;
        EXPECT_EQ(p[2], (x + y) & 0xFF) << x << "," << y;
      }
  };
  // A bitmap of another format and size is made a 5 x 4 vx24RGB.
  bmp.Allocate(9, 9, vx8g);
  ds.GetSample(&bmp, true);
  check(bmp, 37, 4);
  // Upright into a top-left bitmap; an 8-bit alignment takes width x 3
  // bytes per row and nothing beyond.
  for (const bool topLeft : {false, true})
    for (const int align : {32, 8}) {
      SCOPED_TRACE(std::string(topLeft ? "top-left" : "bottom-left") + " " + std::to_string(align));
      TVXBitmap b;
      b.SetBitAlignment(align);
      b.Allocate(5, 4, vx24RGB);
      if (topLeft) b.SetOrigin(vxboTOPLEFT);
      ds.GetSample(&b, false);
      check(b, 37, 4);
      EXPECT_EQ(b.RowLen(), align == 8 ? 15 : 16);
      // A caller's buffer that holds only two rows fills the two bottom
      // rows; the others keep frame 37.
      std::vector<uint8_t> frame = VXDSDrawFrame(9, 5, 4);
      for (size_t row = 0; row < 4; ++row) frame[row * 16 + 15] = 0xEE;  // padding
      ds.BufferToTVXBitmap(frame.data(), 2 * 16, &b);
      check(b, 37, 2);
      for (int y = 2; y < 4; ++y) EXPECT_EQ(static_cast<const uint8_t*>(b.Scanline(y))[0], 9) << y;
    }
  // Frames in any order.
  for (const int64_t f : {0, 1, 49, 12, 1}) {
    ds.SetPosition(f);
    ds.GetSample(&bmp, true);
    check(bmp, f, 4);
  }
}

// The renderer draws the frame into the window at the rectangle set, and
// GetSample with resampling gives its image at the bitmap's earlier size.
TEST_F(VXDS, VideoWindow) {
  VXDShowSim::AddClip("clip.avi", 3, 8, 6, 25);
  HWND w = CreateWindowExW(0, "STATIC", "", WS_VISIBLE, 0, 0, 64, 48, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  TVXDirectShow ds;
  ds.SetNotifyWindow(w, kNewFrame, kGraphEvent);
  ds.SetFileInput("clip.avi");
  ds.SetRenderVideo(true);
  ds.Connect();
  int32_t nw = 0, nh = 0;
  ds.GetVideoRenderNativeSize(nw, nh);
  EXPECT_EQ(nw, 8);
  EXPECT_EQ(nh, 6);
  ds.Pause();
  ds.SetTimeFormat(tfFrame);
  ds.SetPosition(2);
  const RECT src{0, 0, 8, 6}, dst{4, 2, 20, 14};
  ds.SetVideoRenderRect(src, dst);
  RECT s2{}, d2{};
  ds.GetVideoRenderRect(s2, d2);
  EXPECT_EQ(d2.right, 20);
  HDC dc = GetDC(w);
  ds.RepaintVideo(w, dc);
  ReleaseDC(w, dc);
  int sw = 0, sh = 0;
  const std::vector<uint32_t> surface = VXHeadless::Surface(w, sw, sh);
  ASSERT_GE(sw, 20);
  for (int y = 2; y < 14; ++y)
    for (int x = 4; x < 20; ++x) {
      const int fx = (x - 4) / 2, fy = (y - 2) / 2;  // nearest neighbour at twice the size
      const uint32_t want = (uint32_t((fx + fy) & 0xFF) << 16) | 2u;
      ASSERT_EQ(surface[size_t(y) * sw + x] & 0xFFFFFF, want) << x << "," << y;
    }
  TVXBitmap bmp;
  bmp.Allocate(4, 3, vx24RGB);
  ds.GetSample(&bmp, true);
  EXPECT_EQ(bmp.Width(), 4);
  EXPECT_EQ(bmp.Height(), 3);
  TVXBitmap full;
  ds.GetSample(&full, false);
  EXPECT_EQ(full.Width(), 8);
  EXPECT_EQ(static_cast<const uint8_t*>(full.Scanline(5))[3 * 7 + 2], (7 + 5) & 0xFF);
  ds.Disconnect();
  DestroyWindow(w);
}
