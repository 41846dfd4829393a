#include "acquire/wia_sim.h"

#include <deque>
#include <memory>

#include "acquire/twain_sim.h"
#include "acquire/twain_types.h"
#include "acquire/wia_devmgr.h"
#include "core/dictionary.h"
#include "core/vxdefs.h"

namespace {

// A scanner with pages and no settings.
class TSimScanner : public TVXScanDevice {
public:
  std::string Name;
  std::deque<TVXScanFrame> Pages;
  std::string ProductName() const override { return Name; }
  std::string Manufacturer() const override { return "Vexlane"; }
  std::string ProductFamily() const override { return "simulated scanner"; }
  uint16_t GetCapability(uint16_t, uint16_t&, std::vector<uint8_t>&) override { return TWCC_CAPUNSUPPORTED; }
  uint16_t SetCapability(uint16_t, uint16_t, const uint8_t*, size_t) override { return TWCC_CAPUNSUPPORTED; }
  uint16_t GetFrame(double[4]) override { return TWCC_BADPROTOCOL; }
  uint16_t SetFrame(const double[4]) override { return TWCC_BADPROTOCOL; }
  int32_t PagesWaiting() override { return int32_t(Pages.size()); }
  bool ScanPage(TVXScanFrame& Page) override {
    if (Pages.empty()) return false;
    Page = std::move(Pages.front());
    Pages.pop_front();
    return true;
  }
  void DropPages() override {}  // the pages stay in the feeder
};

}  // namespace

namespace VXWiaSim {

void Reset() { VXWiaDevices::Reset(); }
void SetBandSize(int32_t Bytes) { VXWiaDevices::SetBandSize(Bytes); }
void SetNewPageAfter(bool After) { VXWiaDevices::SetNewPageAfter(After); }
void SetDialogAnswer(const std::string& Answer) { VXWiaDevices::SetDialogAnswer(Answer); }

void AddScanner(const std::string& Json) {
  TVXDictionary d(103);
  if (!d.Parse(Json) || !d.HasKey("Name", false)) throw EVXException("Simulated WIA scanner: a \"Name\" is needed");
  const LONG type = d.HasKey("Type", false) ? LONG(d.GetInteger("Type", false)) : (StiDeviceTypeScanner << 16);
  if (d.HasKey("Caps", false) || d.HasKey("Layout", false)) {
    // A scanner with settings, described as a simulated TWAIN source is.
    const std::string name = d.GetString("Name", false);
    VXWiaDevices::AddScanner(name, "sim:" + name, type, VXTwainSim::MakeDevice(Json));
    return;
  }
  auto s = std::make_unique<TSimScanner>();
  s->Name = d.GetString("Name", false);
  if (TVXDictionaryList* pages = d.HasKey("Pages", false) ? d.GetList("Pages", false) : nullptr)
    for (int32_t i = 0; i < pages->Count(); ++i) {
      auto* name = dynamic_cast<TVXDictionaryValueWideString*>(pages->Items(i));
      if (!name) throw EVXException("Simulated WIA scanner: pages are PNM file names");
      TVXScanFrame p = VXReadPNMPage(name->value);
      p.XResolution = p.YResolution = 300;
      s->Pages.push_back(std::move(p));
    }
  const std::string name = s->Name;
  VXWiaDevices::AddScanner(name, "sim:" + name, type, std::move(s));
}

void AddCamera(const std::string& Name, const std::string& Folder, bool SendsEvents) {
  VXWiaDevices::AddCamera(Name, "sim:" + Name, VXCreateFolderTreeStore(Folder, false, Name, true, "Memory card"),
                          SendsEvents);
}

int32_t SynchronizeCount() { return VXWiaDevices::SynchronizeCount(); }
std::vector<std::string> DeviceWrites() { return VXWiaDevices::DeviceWrites(); }

}  // namespace VXWiaSim
