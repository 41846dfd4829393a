// SANE scanners behind our TWAIN source manager, against SANE's own test
// scanner and its command-line front end as the oracle. Each test runs in a
// child process of this program (SANE is bound once per process and reads
// its configuration then), under a time limit, with SANE_CONFIG_DIR at a
// folder of the test tree; in this program's own process SANE stays unbound,
// so that the other tests see only their simulated sources.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "acquire/sane_binding.h"
#include "acquire/sane_device.h"
#include "acquire/sane_frames.h"
#include "acquire/twain_dsm.h"
#include "acquire/twain_engine.h"
#include "acquire/twain_params.h"
#include "acquire/twain_sim.h"
#include "acquire/vxwia.h"
#include "acquire/wia_api.h"
#include "acquire/wia_sim.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "io/params.h"
#include "platform/win_sysdir.h"
#include "tests/acquire/sane_child.h"
#include "tests/acquire/wia_bands.h"

namespace {

namespace fs = std::filesystem;

// This program's own process never binds SANE; a child binds the soname it
// is told, or the system's.
const bool kBinding = [] {
  if (!InChild())
    VXSaneSetSoname("libvx-no-such-sane.so.1");
  else if (const char* so = std::getenv("VX_SANE_TEST_SONAME"))
    VXSaneSetSoname(so);
  return true;
}();

enum TMode { kNative, kMemory, kFile };

// Parameters for test:0 with the options as source settings ("name=value"
// lines) and the mode of transfer.
void Prepare(TVXTwainParams& p, const std::string& Settings, TMode Mode) {
  ASSERT_TRUE(p.SelectSourceByName("frontend-tester (test:0)"));
  p.SetVisibleDialog(false);
  p.SetBufferedTransfer(Mode == kMemory);
  p.SetUseMemoryHandle(Mode == kMemory);
  p.SetFileTransfer(Mode == kFile);
  p.SourceSettings()->Clear();
  p.SourceSettings()->Write(Settings.data(), int64_t(Settings.size()));
}

bool Acquire(TVXTwainParams& p, TVXBitmap& b, bool Native) {
  TIOParamsVals io;
  return VXTW_Acquire(&b, false, &p, {}, &io, nullptr, &p.TwainShared, nullptr, Native);
}

class SaneScanner : public ::testing::Test {
protected:
  void SetUp() override {
    if (!InChild()) return;
    if (!HaveProgram("scanimage")) GTEST_SKIP() << "scanimage (sane-utils) is not installed";
    VXSetWindowsDirectory("");
    VXGetGlobalSettings()->SetReleaseTwainResources(false);
    fTemp = fs::temp_directory_path() /
            ("vxsane-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(fTemp);
  }
  void TearDown() override {
    std::error_code ec;
    if (!fTemp.empty()) fs::remove_all(fTemp, ec);
  }
  TVXLibraryGuard fLibrary;
  fs::path fTemp;
};

TEST_F(SaneScanner, PagesEqualTheFrontEndsInEveryTransfer) {
  if (RanInChild()) return;
  struct TCase {
    const char* Name;
    std::string Settings;    // ours, beside what the parameters set
    std::string Options;     // scanimage's
    int PixelType = -1;      // through the parameters when not -1
    int BitDepth = 8;
    double Dpi = 50;
    bool Frame = false;      // 10,10-60,40 mm through the parameters
    bool Native16 = false;   // 16-bit grey compared in the native pixel format
  };
  const TCase cases[] = {
      {"colour pattern, 75 dpi, framed", "test-picture=Color pattern\n",
       "--mode Color --test-picture 'Color pattern' -l 10 -t 10 -x 50 -y 30", TWPT_RGB, 8, 75, true},
      {"grid at 1 bit", "test-picture=Grid\n", "--mode Gray --depth 1 --test-picture Grid", TWPT_BW, 1},
      {"16-bit grey", "test-picture=Color pattern\n", "--mode Gray --depth 16 --test-picture 'Color pattern'",
       TWPT_GRAY, 16, 50, false, true},
      {"16-bit grey, high bytes", "test-picture=Color pattern\n",
       "--mode Gray --depth 16 --test-picture 'Color pattern'", TWPT_GRAY, 16},
      {"three passes GBR", "mode=Color\nthree-pass=1\nthree-pass-order=GBR\ntest-picture=Color pattern\n",
       "--mode Color --three-pass=yes --three-pass-order GBR --test-picture 'Color pattern'", TWPT_RGB},
      {"pixels lost per line", "ppl-loss=3\ntest-picture=Color pattern\n",
       "--mode Color --ppl-loss 3 --test-picture 'Color pattern'", TWPT_RGB},
      {"reads of 7 bytes", "read-limit=1\nread-limit-size=7\ntest-picture=Color pattern\n",
       "--mode Color --read-limit=yes --read-limit-size 7 --test-picture 'Color pattern'", TWPT_RGB},
      {"hand scanner", "hand-scanner=1\ntest-picture=Grid\n", "--mode Gray --hand-scanner=yes --test-picture Grid",
       TWPT_GRAY, 8},
  };
  int n = 0;
  for (const TCase& c : cases) {
    TPnm want;
    const std::string folder = (fTemp / std::to_string(n++)).string();
    const std::string dpi = " --resolution " + std::to_string(int(c.Dpi));
    ASSERT_TRUE(ReadPnm(Oracle(c.Options + dpi, folder)[0], want)) << c.Name;
    for (TMode mode : {kNative, kMemory, kFile}) {
      if (c.Native16 && mode != kMemory) continue;  // a DIB or a file holds 8 bits per sample
      SCOPED_TRACE(std::string(c.Name) + ", mode " + std::to_string(int(mode)));
      TVXTwainParams p(nullptr);
      // The scanner keeps its options from one opening to the next: each
      // case starts from scanimage's defaults for what the cases change.
      Prepare(p, "mode=Color\nthree-pass=0\nhand-scanner=0\nppl-loss=0\nread-limit=0\n" + c.Settings, mode);
      if (c.PixelType >= 0) p.PixelType()->SetCurrentValue(c.PixelType);
      p.BitDepth()->SetCurrentValue(c.BitDepth);
      p.XResolution()->SetCurrentValue(c.Dpi);
      p.YResolution()->SetCurrentValue(c.Dpi);
      // Depth and frame too (scanimage's default frame is 0,0-80,100 mm).
      p.SetAcquireFrameEnabled(true);
      p.SetAcquireFrameLeft(c.Frame ? 10 / 25.4 : 0);
      p.SetAcquireFrameTop(c.Frame ? 10 / 25.4 : 0);
      p.SetAcquireFrameRight((c.Frame ? 60 : 80) / 25.4);
      p.SetAcquireFrameBottom((c.Frame ? 40 : 100) / 25.4);
      TVXBitmap b;
      ASSERT_TRUE(Acquire(p, b, c.Native16)) << p.LastErrorStr;
      if (mode == kFile) {
        TVXBitmap same;  // a file holds what its writer keeps
        same.Assign(&b);
        same.SetPixelFormat(want.Magic == "P4" ? vx1g : vx24RGB);
        ExpectSame(want, same);
      } else {
        ExpectSame(want, b, c.Native16);
      }
    }
  }
}

TEST_F(SaneScanner, FeederGivesItsTenSheetsPerAcquisition) {
  if (RanInChild()) return;
  const std::vector<std::string> files =
      Oracle("--source 'Automatic Document Feeder' --test-picture 'Color pattern' --mode Color", fTemp.string(), true);
  ASSERT_EQ(files.size(), 10u);
  TPnm want;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    TVXTwainParams p(nullptr);
    Prepare(p, "test-picture=Color pattern\n", round == 0 ? kMemory : kNative);
    p.PixelType()->SetCurrentValue(TWPT_RGB);
    p.SetFeederEnabled(true);
    size_t calls = 0;
    TVXMultiCallBack cb = [&](TVXBitmap* bmp, TIOParamsVals*&, int32_t, int32_t) {
      ASSERT_LT(calls, files.size());
      ASSERT_TRUE(ReadPnm(files[calls++], want));
      ExpectSame(want, *bmp);
    };
    TVXBitmap b;
    TIOParamsVals io;
    EXPECT_TRUE(VXTW_Acquire(&b, true, &p, cb, &io, nullptr, &p.TwainShared, nullptr, false)) << p.LastErrorStr;
    EXPECT_EQ(calls, 10u);
  }
}

TEST_F(SaneScanner, CapabilitiesReadBackFromTheOptions) {
  if (RanInChild()) return;
  TVXTwainParams p(nullptr);
  ASSERT_TRUE(p.SelectSourceByName("frontend-tester (test:0)"));
  ASSERT_TRUE(p.GetFromScanner());
  EXPECT_EQ(p.XResolution()->RangeMin(), 1);
  EXPECT_EQ(p.XResolution()->RangeMax(), 1200);
  EXPECT_EQ(p.XResolution()->RangeStep(), 1);
  EXPECT_EQ(p.XResolution()->CurrentValue(), 50);
  EXPECT_NEAR(p.PhysicalWidth(), 200 / 25.4, 1e-4);
  EXPECT_NEAR(p.PhysicalHeight(), 200 / 25.4, 1e-4);
  EXPECT_FALSE(p.FeederEnabled());
  ASSERT_EQ(p.PixelType()->Count(), 3);  // grey at 1 bit stands for black and white
  EXPECT_EQ(p.PixelType()->CurrentValue(), TWPT_GRAY);
  EXPECT_EQ(p.BitDepth()->CurrentValue(), 8);
  // An inexact resolution is rounded by the scanner and read back so; the
  // feeder switch moves the source option.
  p.XResolution()->SetCurrentValue(75.4);
  p.SetFeederEnabled(true);
  ASSERT_TRUE(p.Update());
  EXPECT_EQ(p.XResolution()->CurrentValue(), 75);
  EXPECT_TRUE(p.FeederEnabled());
  // The options as source settings: the feeder is the source now.
  p.SetShowSettingsOnly(true);
  TVXBitmap b;
  EXPECT_TRUE(Acquire(p, b, false));
  const std::string settings(static_cast<const char*>(p.SourceSettings()->Memory()),
                             size_t(p.SourceSettings()->Size()));
  EXPECT_NE(settings.find("source=Automatic Document Feeder\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("test-picture=Solid black\n"), std::string::npos) << settings;
  p.SetFeederEnabled(false);
  ASSERT_TRUE(p.Update());
  EXPECT_FALSE(p.FeederEnabled());
}

TEST_F(SaneScanner, BrokenScansEndWithTheirCodesAndTheNextOneWorks) {
  if (RanInChild("with-test", "", 60)) return;
  struct TCase {
    const char* Status;
    int32_t Error;
    uint16_t Condition;
  } const cases[] = {
      {"SANE_STATUS_JAMMED", TWRC_FAILURE, TWCC_PAPERJAM},
      {"SANE_STATUS_IO_ERROR", TWRC_FAILURE, TWCC_BUMMER},
      {"SANE_STATUS_NO_MEM", TWRC_FAILURE, TWCC_LOWMEMORY},
      {"SANE_STATUS_COVER_OPEN", TWRC_FAILURE, TWCC_OPERATIONERROR},
      {"SANE_STATUS_CANCELLED", TWRC_CANCEL, TWCC_SUCCESS},
  };
  for (const TCase& c : cases)
    for (TMode mode : {kNative, kMemory}) {
      SCOPED_TRACE(std::string(c.Status) + ", mode " + std::to_string(int(mode)));
      TVXTwainParams p(nullptr);
      Prepare(p, std::string("read-return-value=") + c.Status + "\n", mode);
      TVXBitmap b;
      EXPECT_FALSE(Acquire(p, b, false));
      EXPECT_EQ(p.LastError, c.Error);
      EXPECT_EQ(p.LastErrorStr, VXTW_ConditionText(c.Condition));
      Prepare(p, "read-return-value=Default\n", mode);
      EXPECT_TRUE(Acquire(p, b, false)) << p.LastErrorStr;
      EXPECT_GT(b.Width(), 0);
      EXPECT_GT(b.Height(), 0);
    }
}

std::vector<std::string> SourceNames() {
  TVXTwainParams p(nullptr);
  std::vector<std::string> names;
  for (int32_t i = 0; i < p.SourceCount(); ++i) names.push_back(p.GetSourceName(i));
  return names;
}

TEST_F(SaneScanner, DeviceListFollowsTheSimulatedSources) {
  if (RanInChild()) return;
  VXTwainSim::Reset();
  VXTwainSim::AddSource(R"({"ProductName": "Simulated A"})");
  const std::vector<std::string> want = {"Simulated A", "frontend-tester (test:0)", "frontend-tester (test:1)"};
  EXPECT_EQ(SourceNames(), want);
  // Manufacturer and family of a SANE source.
  const auto devices = VXSaneScanDevices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[1]->ProductName(), "frontend-tester (test:1)");
  EXPECT_EQ(devices[1]->Manufacturer(), "Noname");
  EXPECT_EQ(devices[1]->ProductFamily(), "virtual device");
  VXTwainSim::Reset();
}

TEST_F(SaneScanner, NoTestBackEndListsOnlyTheSimulatedSources) {
  if (RanInChild("without-test")) return;
  VXTwainSim::Reset();
  VXTwainSim::AddSource(R"({"ProductName": "Simulated A"})");
  EXPECT_EQ(SourceNames(), std::vector<std::string>{"Simulated A"});
  VXTwainSim::Reset();
}

TEST_F(SaneScanner, MissingLibraryIsNoSaneAndNoError) {
  if (RanInChild("with-test", "VX_SANE_TEST_SONAME=libvx-missing-sane.so.1")) return;
  EXPECT_EQ(VXSaneApi(), nullptr);
  EXPECT_TRUE(VXSaneLocalDevices().empty());
  VXTwainSim::Reset();
  VXTwainSim::AddSource(R"({"ProductName": "Simulated A"})");
  TVXTwainParams p(nullptr);
  EXPECT_EQ(p.SourceCount(), 1);
  EXPECT_EQ(p.GetSourceName(0), "Simulated A");
  EXPECT_EQ(p.LastErrorStr, "");
  VXTwainSim::Reset();
  // Neither this program nor one linking the whole library needs libsane.
  if (!HaveProgram("readelf")) GTEST_SKIP() << "readelf (binutils) is not installed";
  for (const std::string& program : {SelfPath(), std::string(VX_BINARY_DIR) + "/tests/test_modules"}) {
    if (!fs::exists(program)) continue;
    const std::string cmd = "readelf -d '" + program + "' | grep -c 'NEEDED.*libsane'";
    FILE* f = ::popen(cmd.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[64] = {0};
    const size_t got = std::fread(buf, 1, sizeof(buf) - 1, f);
    ::pclose(f);
    EXPECT_EQ(std::string(buf, got), "0\n") << program;
  }
}

// The scanner through our image-acquisition device manager: resolution,
// data type and scan area set as properties, MEMORYBMP pages in bands of any
// size equal scanimage's page.
TEST_F(SaneScanner, DeviceManagerBandsEqualTheFrontEnds) {
  if (RanInChild("pattern")) return;
  TPnm want;
  ASSERT_TRUE(ReadPnm(Oracle("--mode Color --resolution 75 -l 10 -t 10 -x 50 -y 30", fTemp.string())[0], want));
  IWiaDevMgr* mgr = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IWiaDevMgr::kIID,
                             reinterpret_cast<void**>(&mgr)),
            S_OK);
  // Listed with its TWAIN name and the SANE name as its ID.
  IEnumWIA_DEV_INFO* e = nullptr;
  ASSERT_EQ(mgr->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, &e), S_OK);
  IWiaPropertyStorage* info = nullptr;
  ULONG got = 0;
  ASSERT_EQ(e->Next(1, &info, &got), S_OK);
  PROPSPEC prop[2];
  prop[0].propid = WIA_DIP_DEV_NAME;
  prop[1].propid = WIA_DIP_DEV_ID;
  PROPVARIANT v[2];
  ASSERT_EQ(info->ReadMultiple(2, prop, v), S_OK);
  EXPECT_EQ(VXStr(v[0].pwszVal), "frontend-tester (test:0)");
  EXPECT_EQ(VXStr(v[1].pwszVal), "sane:test:0");
  for (PROPVARIANT& p : v) PropVariantClear(&p);
  info->Release();
  e->Release();
  IWiaItem* root = nullptr;
  ASSERT_EQ(mgr->CreateDevice("sane:test:0", &root), S_OK);
  PROPVARIANT bed = ReadProp(root, WIA_DPS_HORIZONTAL_BED_SIZE);
  EXPECT_EQ(bed.lVal, 7874);  // 200 mm in thousandths of an inch
  std::vector<IWiaItem*> kids = Children(root);
  ASSERT_EQ(kids.size(), 2u);  // flatbed and feeder
  IWiaItem* flatbed = kids[0];
  EXPECT_EQ(WriteInt(flatbed, WIA_IPS_XRES, 75), S_OK);
  EXPECT_EQ(WriteInt(flatbed, WIA_IPS_YRES, 75), S_OK);
  EXPECT_EQ(WriteInt(flatbed, WIA_IPA_DATATYPE, WIA_DATA_COLOR), S_OK);
  EXPECT_EQ(ReadProp(flatbed, WIA_IPA_DEPTH).lVal, 24);
  // 10,10-60,40 mm at 75 dpi.
  EXPECT_EQ(WriteInt(flatbed, WIA_IPS_XPOS, 30), S_OK);
  EXPECT_EQ(WriteInt(flatbed, WIA_IPS_YPOS, 30), S_OK);
  EXPECT_EQ(WriteInt(flatbed, WIA_IPS_XEXTENT, 148), S_OK);
  EXPECT_EQ(WriteInt(flatbed, WIA_IPS_YEXTENT, 89), S_OK);
  for (int32_t band : {4096, 1, 7, 65537}) {
    SCOPED_TRACE(band);
    VXWiaSim::SetBandSize(band);
    TBands bands;
    ASSERT_EQ(Transfer(flatbed, bands), S_OK);
    ASSERT_EQ(bands.Pages.size(), 1u);
    const std::vector<uint8_t>& b = bands.Pages[0];
    ASSERT_GE(b.size(), 40u);
    int32_t w, h;
    std::memcpy(&w, b.data() + 4, 4);
    std::memcpy(&h, b.data() + 8, 4);
    ASSERT_EQ(w, want.W);
    ASSERT_EQ(h, want.H);
    ASSERT_EQ(b[14], 24);
    const size_t stride = (size_t(w) * 3 + 3) / 4 * 4;
    ASSERT_EQ(b.size(), 40 + stride * size_t(h));
    int bad = 0;
    for (int32_t y = 0; y < h && bad < 3; ++y)
      for (int32_t x = 0; x < w && bad < 3; ++x) {
        const uint8_t* s = want.Data.data() + size_t(y) * want.Stride + 3 * size_t(x);
        const uint8_t* d = b.data() + 40 + size_t(h - 1 - y) * stride + 3 * size_t(x);
        if (d[0] != s[2] || d[1] != s[1] || d[2] != s[0]) {
          ++bad;
          ADD_FAILURE() << "pixel " << x << "," << y;
        }
      }
    for (LONG len : bands.BandLengths) EXPECT_LE(len, band);
  }
  for (IWiaItem* k : kids) k->Release();
  root->Release();
  mgr->Release();
}

// The library's acquisition client over the device manager: the simulated
// scanner, SANE's test:0 and a folder camera listed together; test:0's
// resolution, mode and scan area set through item properties, with their
// valid values; pages in bands of any size equal scanimage's page.
TEST_F(SaneScanner, ClientTransfersEqualTheFrontEnds) {
  if (RanInChild("pattern")) return;
  TPnm want;
  ASSERT_TRUE(ReadPnm(Oracle("--mode Color --resolution 75 -l 10 -t 10 -x 50 -y 30", fTemp.string())[0], want));
  VXWiaSim::AddScanner(R"({"Name": "Simulated"})");
  fs::create_directories(fTemp / "card");
  VXWiaSim::AddCamera("Folder camera", (fTemp / "card").string());
  TVXWia wia;
  ASSERT_GE(wia.DevicesInfoCount(), 3);
  EXPECT_EQ(wia.ConnectedDeviceIndex(), 0);
  const int32_t sane = wia.SourceNameToIndex("frontend-tester (test:0)");
  const int32_t camera = wia.SourceNameToIndex("Folder camera");
  ASSERT_GE(sane, 1);
  ASSERT_GE(camera, 1);
  EXPECT_EQ(wia.GetDevicesInfo(0)->Name, "Simulated");
  EXPECT_EQ(wia.GetDevicesInfo(0)->DeviceType, vxwScanner);
  EXPECT_EQ(wia.GetDevicesInfo(sane)->ID, "sane:test:0");
  EXPECT_EQ(wia.GetDevicesInfo(sane)->DeviceType, vxwScanner);
  EXPECT_EQ(wia.GetDevicesInfo(camera)->DeviceType, vxwDigitalCamera);
  ASSERT_TRUE(wia.ConnectTo(camera));
  EXPECT_FALSE(wia.TakePicture());
  ASSERT_TRUE(wia.ConnectTo(sane));
  EXPECT_TRUE(wia.TakePicture());
  wia.SetTakePicture(false);

  EXPECT_EQ(wia.GetDeviceProperty(WIA_DPS_HORIZONTAL_BED_SIZE).AsInteger(), 7874);  // 200 mm
  // Device properties are written as integers, whatever the variant.
  EXPECT_TRUE(wia.SetDevicePropertyVariant(WIA_DPS_DOCUMENT_HANDLING_SELECT, TVXVariant("1")));
  EXPECT_EQ(wia.GetDeviceProperty(WIA_DPS_DOCUMENT_HANDLING_SELECT).AsInteger(), FEEDER);
  EXPECT_TRUE(wia.SetDeviceProperty(WIA_DPS_DOCUMENT_HANDLING_SELECT, FLATBED));
  TVXWiaAttrib attrib = 0;
  std::unique_ptr<TVXWiaValues> values;
  wia.GetItemPropertyAttrib(WIA_DPS_DOCUMENT_HANDLING_SELECT, wia.Device(), attrib, values);
  EXPECT_TRUE(VXWiaHas(attrib, vxwaFlag));
  EXPECT_EQ(values->normal.AsInteger(), FLATBED);

  // The flatbed, the first image item.
  EXPECT_EQ(wia.GetItemProperty(WIA_IPA_ITEM_NAME, nullptr).AsString(), "Flatbed");
  EXPECT_TRUE(wia.SetItemProperty(WIA_IPS_XRES, 75, nullptr));
  EXPECT_TRUE(wia.SetItemProperty(WIA_IPS_YRES, 75, nullptr));
  EXPECT_TRUE(wia.SetItemProperty(WIA_IPA_DATATYPE, WIA_DATA_COLOR, nullptr));
  EXPECT_EQ(wia.GetItemProperty(WIA_IPA_DEPTH, nullptr).AsInteger(), 24);
  // A range: minimum, nominal (the current value), maximum, step.
  wia.GetItemPropertyAttrib(WIA_IPS_XRES, nullptr, attrib, values);
  EXPECT_TRUE(VXWiaHas(attrib, vxwaRange));
  EXPECT_TRUE(VXWiaHas(attrib, vxwaWrite));
  EXPECT_EQ(values->min.AsInteger(), 1);
  EXPECT_EQ(values->normal.AsInteger(), 75);
  EXPECT_EQ(values->max.AsInteger(), 1200);
  EXPECT_EQ(values->step.AsInteger(), 1);
  EXPECT_EQ(values->count, 0);
  // A list: the modes, the current one nominal.
  wia.GetItemPropertyAttrib(WIA_IPA_DATATYPE, nullptr, attrib, values);
  EXPECT_TRUE(VXWiaHas(attrib, vxwaList));
  EXPECT_EQ(values->normal.AsInteger(), WIA_DATA_COLOR);
  std::vector<int32_t> modes;
  for (int32_t i = 0; i < values->count; ++i) modes.push_back(values->GetValues(i).AsInteger());
  EXPECT_EQ(modes, (std::vector<int32_t>{WIA_DATA_THRESHOLD, WIA_DATA_GRAYSCALE, WIA_DATA_COLOR}));
  // 10,10-60,40 mm at 75 dpi.
  EXPECT_TRUE(wia.SetItemProperty(WIA_IPS_XPOS, 30, nullptr));
  EXPECT_TRUE(wia.SetItemProperty(WIA_IPS_YPOS, 30, nullptr));
  EXPECT_TRUE(wia.SetItemProperty(WIA_IPS_XEXTENT, 148, nullptr));
  EXPECT_TRUE(wia.SetItemProperty(WIA_IPS_YEXTENT, 89, nullptr));
  for (int32_t band : {4096, 1, 7, 65537}) {
    SCOPED_TRACE(band);
    VXWiaSim::SetBandSize(band);
    TVXBitmap b;
    wia.ProcessingBitmap = &b;
    int pages = 0;
    wia.SetOnGetPage([&](TVXBitmap*, TIOParamsVals*&, int32_t dx, int32_t dy) {
      ++pages;
      EXPECT_EQ(dx, 75);
      EXPECT_EQ(dy, 75);
    });
    ASSERT_TRUE(wia.Transfer(nullptr, false));
    EXPECT_EQ(pages, 1);
    EXPECT_EQ(wia.TransferFormat(), vxtfRawBitmap);
    ExpectSame(want, b);
  }
}

// Product names keep both parts apart and fit a TWAIN identity.
TEST(SaneNames, ModelAndDeviceCutTo33Characters) {
  EXPECT_EQ(VXSaneProductName("frontend-tester", "test:0"), "frontend-tester (test:0)");
  EXPECT_EQ(VXSaneProductName("A very long scanner model name", "genesys:libusb:001:004"),
            "A very long scanner model name (g");
  EXPECT_EQ(VXSaneProductName("", "x"), " (x)");
}

// Page assembly from the scanner's frames, without a scanner.
TEST(SaneFrames, AssemblyOfFrames) {
  auto feed = [](TVXSanePageAssembler& a, const std::vector<uint8_t>& bytes, size_t chunk) {
    for (size_t i = 0; i < bytes.size(); i += chunk) a.Feed(bytes.data() + i, std::min(chunk, bytes.size() - i));
    a.EndFrame();
  };
  std::string err;
  {  // 1-bit grey with padding per line: 1 becomes white, the stride is skipped
    TVXSanePageAssembler a;
    ASSERT_TRUE(a.BeginFrame({0, true, 3, 10, 2, 1}, err)) << err;
    feed(a, {0xF0, 0x40, 0xEE, 0x0F, 0x80, 0xEE}, 1);
    TVXScanFrame f;
    ASSERT_TRUE(a.Finish(f, err)) << err;
    EXPECT_EQ(f.BitsPerPixel, 1);
    EXPECT_EQ(f.Pixels, (std::vector<uint8_t>{0x0F, 0xBF, 0xF0, 0x7F}));
  }
  {  // lines -1: whole rows only, a partial last row is dropped
    TVXSanePageAssembler a;
    ASSERT_TRUE(a.BeginFrame({0, true, 2, 2, -1, 8}, err));
    feed(a, {1, 2, 3, 4, 5}, 2);
    TVXScanFrame f;
    ASSERT_TRUE(a.Finish(f, err));
    EXPECT_EQ(f.Height, 2);
    EXPECT_EQ(f.Pixels, (std::vector<uint8_t>{1, 2, 3, 4}));
  }
  {  // three passes in the order blue, red, green; 16-bit samples
    TVXSanePageAssembler a;
    const int order[3] = {4, 2, 3};
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(a.BeginFrame({order[i], i == 2, 4, 1, 1, 16}, err)) << err;
      const uint8_t v = uint8_t(order[i]);
      feed(a, {v, uint8_t(v + 0x10), 0xAA, 0xAA}, 3);
    }
    ASSERT_TRUE(a.Complete());
    TVXScanFrame f;
    ASSERT_TRUE(a.Finish(f, err)) << err;
    EXPECT_EQ(f.BitsPerPixel, 48);
    EXPECT_EQ(f.Pixels, (std::vector<uint8_t>{2, 0x12, 3, 0x13, 4, 0x14}));
  }
  {  // more bytes than the lines announced are dropped
    TVXSanePageAssembler a;
    ASSERT_TRUE(a.BeginFrame({1, true, 3, 1, 1, 8}, err));
    feed(a, {1, 2, 3, 4, 5, 6}, 6);
    TVXScanFrame f;
    ASSERT_TRUE(a.Finish(f, err));
    EXPECT_EQ(f.Pixels, (std::vector<uint8_t>{1, 2, 3}));
  }
  // Parameters the page refuses.
  const TVXSaneFrameParams bad[] = {
      {0, true, 2, 3, 1, 8},    // a line shorter than its pixels
      {1, true, 30, 10, 1, 1},  // 1-bit colour
      {0, true, 8, 8, 1, 4},    // depth 4
      {7, true, 8, 8, 1, 8},    // unknown format
      {0, true, 0, 0, 1, 8},    // no pixels
      {0, true, 8, 8, -2, 8},   // negative lines other than -1
  };
  for (const TVXSaneFrameParams& p : bad) {
    TVXSanePageAssembler a;
    EXPECT_FALSE(a.BeginFrame(p, err)) << p.Format << " " << p.Depth;
  }
  {  // a three-pass page lacking a colour, a colour twice, a mismatching frame
    TVXSanePageAssembler a;
    ASSERT_TRUE(a.BeginFrame({2, false, 1, 1, 1, 8}, err));
    feed(a, {1}, 1);
    EXPECT_FALSE(a.BeginFrame({2, false, 1, 1, 1, 8}, err));
    EXPECT_FALSE(a.BeginFrame({3, false, 2, 2, 1, 8}, err));
    ASSERT_TRUE(a.BeginFrame({3, true, 1, 1, 1, 8}, err));
    feed(a, {2}, 1);
    TVXScanFrame f;
    EXPECT_FALSE(a.Finish(f, err));
  }
}

}  // namespace
