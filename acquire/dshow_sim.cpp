// Test driver of the DirectShow graph layer.
#include "acquire/dshow_sim.h"

#include "acquire/capture_devices.h"
#include "acquire/dshow_graph.h"
#include "acquire/v4l2_devices.h"
#include "acquire/vxds_tables.h"
#include "core/dictionary.h"
#include "core/vxdefs.h"

namespace VXDShowSim {

namespace {

[[noreturn]] void Bad(const std::string& Why) { throw EVXException("VXDShowSim: " + Why); }

void AddDevice(TVXCaptureCategory Category, const std::string& Name, TVXFilterFactory Factory,
               const std::string& MediaUrl = {}) {
  TVXCaptureDevice d;
  d.MediaUrl = MediaUrl;
  d.Category = Category;
  d.FriendlyName = Name;
  d.Create = std::move(Factory);
  VXAddCaptureDevice(d);
}

}  // namespace

void Reset() {
  VXClearCaptureDevices();
  VXSetVideoDeviceFolder("");
  VXDSSimReset();
  VXDSClearRenderStreamLog();
  VXSetPropertyFrameAnswer(S_OK);
}

void AddVideoInput(const std::string& Json) {
  TVXDictionary d(31);
  if (!d.Parse(Json)) Bad("the description is not JSON");
  TVXDSSimVideoInput device;
  device.Name = d.GetString("Name", false);
  if (TVXDictionaryList* caps = d.HasKey("Caps", false) ? d.GetList("Caps", false) : nullptr)
    for (int32_t i = 0; i < caps->Count(); ++i) {
      auto* c = dynamic_cast<TVXDictionary*>(caps->Items(i));
      if (!c) Bad("capability " + std::to_string(i) + " is not an object");
      TVXDSSimCaps row;
      const std::string subtype = c->GetString("SubType", false);
      row.SubType = VXDSSubTypeFromName(subtype);
      if (VXDSSubTypeName(row.SubType) != subtype) Bad("\"" + subtype + "\" is not a video subtype");
      row.Width = c->GetInteger("Width", false);
      row.Height = c->GetInteger("Height", false);
      if (row.Width <= 0 || row.Height <= 0) Bad("a capability needs a positive size");
      row.BitRate = c->HasKey("BitRate", false) ? DWORD(c->GetInteger("BitRate", false)) : 0;
      row.Standards = c->HasKey("Standards", false) ? uint32_t(c->GetInteger("Standards", false)) : 0;
      device.Caps.push_back(row);
    }
  auto flag = [&](const char* key) { return d.HasKey(key, false) && d.GetBoolean(key, false); };
  device.Crossbar = flag("Crossbar");
  device.Tuner = flag("Tuner");
  device.Busy = flag("Busy");
  AddDevice(vxccVideoInput, device.Name, [device]() { return VXDSNewVideoInput(device); });
}

void AddLavfiVideoInput(const std::string& Name, const std::string& Graph) {
  const std::string url = "lavfi:" + Graph;
  AddDevice(
      vxccVideoInput, Name, [Name, url]() { return VXDSNewLiveVideoInput(Name, url); }, url);
}

void AddAudioInput(const std::string& Name) {
  AddDevice(vxccAudioInput, Name, [Name]() { return VXDSNewAudioInput(Name); });
}

void AddVideoCodec(const std::string& Name) {
  AddDevice(vxccVideoCompressor, Name, []() { return VXDSNewCompressor(true); });
}

void AddAudioCodec(const std::string& Name) {
  AddDevice(vxccAudioCompressor, Name, []() { return VXDSNewCompressor(false); });
}

void AddClip(const std::string& FileName, int Frames, int Width, int Height, double Rate, bool Stall) {
  if (Frames < 0 || Width <= 0 || Height <= 0 || Rate <= 0) Bad("a clip needs frames, a size and a rate");
  TVXDSSimClip c;
  c.FileName = FileName;
  c.Frames = Frames;
  c.Width = Width;
  c.Height = Height;
  c.Rate = Rate;
  c.Stall = Stall;
  VXDSSimAddClip(c);
}

int DeliverFrames(const std::string& Name, int Count) { return VXDSSimDeliverFrames(Name, Count); }
std::vector<std::string> Log() { return VXDSRenderStreamLog(); }
std::vector<std::string> DVDCalls() { return VXDSSimDVDCalls(); }
TVXDSSimDisc& Disc() { return VXDSSimDisc(); }
std::vector<std::string> GraphFilters() { return VXDSNewestGraphFilters(); }

bool DeviceFormat(const std::string& Name, std::string& SubType, int& Width, int& Height, uint32_t& SampleSize) {
  AM_MEDIA_TYPE mt;
  if (!VXDSSimDeviceFormat(Name, mt)) return false;
  SubType = VXDSSubTypeName(mt.subtype);
  const VIDEOINFOHEADER* vih = VXDSVideoInfo(mt);
  Width = vih ? vih->bmiHeader.biWidth : 0;
  Height = vih ? vih->bmiHeader.biHeight : 0;
  SampleSize = mt.lSampleSize;
  FreeMediaType(mt);
  return true;
}

int RenderedFrames() { return VXDSSimRenderedFrames(); }

}  // namespace VXDShowSim
