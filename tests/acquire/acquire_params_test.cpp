// The acquisition front end over simulated TWAIN sources, simulated WIA
// scanners, folder devices with camera folders and SANE's test scanner:
// the one source list and its order, raw device strings (against a Python
// version of the decoding rules), selection by string, name and location,
// the device parameters per interface, acquisitions, and the
// source-selection dialog driven headless.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "acquire/acquire_form.h"
#include "acquire/acquire_params.h"
#include "acquire/twain_dsm.h"
#include "acquire/twain_params.h"
#include "acquire/twain_sim.h"
#include "acquire/twain_types.h"
#include "acquire/vxwia.h"
#include "acquire/vxxdcim.h"
#include "acquire/wia_api.h"
#include "acquire/wia_sim.h"
#include "acquire/wpd_sim.h"
#include "core/bitmap.h"
#include "core/vxdefs.h"
#include "core/settings.h"
#include "core/startup.h"
#include "gui/classes.h"
#include "gui/formdriver.h"
#include "io/params.h"
#include "platform/win_sysdir.h"
#include "tests/acquire/sane_child.h"
#include "winui/headless.h"
#include "words/words.h"

namespace {

namespace D = VXFormDriver;

// An I/O component as the front end sees one: its parameters and the three
// interface objects, the WIA client made on first use.
class TTestOwner : public TComponent {
 public:
  TTestOwner() : Params(this), Twain(this), Dcim(this) {}
  ~TTestOwner() override { Wia.reset(); }
  TVXAcquireParams Params;
  TVXTwainParams Twain;
  TVXDcimAcquire Dcim;
  std::unique_ptr<TVXWia> Wia;
  int Attached = 0;
};

std::string OneCap(int Cap, const std::string& Get, const std::string& Set = R"(["ONEVALUE"])") {
  return "\"" + std::to_string(Cap) + "\": {\"Get\": " + Get + ", \"Set\": " + Set + "}";
}

const std::string kAll = R"(["ONEVALUE", "ENUMERATION", "RANGE"])";
const std::string kBool0 = R"({"ConType": "ONEVALUE", "ItemType": "BOOL", "Value": 0})";

// A scanner with the settings the device parameters reach: 100 dpi, colour
// at 8 bits, a bed of 8.5 x 11 inches, a feeder and duplex.
std::string ScannerJson(const std::string& NameKey, const std::string& Name, const std::string& Extra = "") {
  const std::string fix = R"({"ConType": "RANGE", "ItemType": "FIX32", "Min": -1000, "Max": 1000, "Step": 1, "Default": 0, "Current": 0})";
  const std::vector<std::string> caps = {
      OneCap(ICAP_XRESOLUTION, R"({"ConType": "RANGE", "ItemType": "FIX32", "Min": 50, "Max": 600, "Step": 1, "Default": 100, "Current": 100})", kAll),
      OneCap(ICAP_YRESOLUTION, R"({"ConType": "RANGE", "ItemType": "FIX32", "Min": 50, "Max": 600, "Step": 1, "Default": 100, "Current": 100})", kAll),
      OneCap(ICAP_PIXELTYPE, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [0, 1, 2], "Current": 2, "Default": 2})", kAll),
      OneCap(ICAP_BITDEPTH, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [1, 8, 16], "Current": 1, "Default": 1})", kAll),
      OneCap(ICAP_PHYSICALWIDTH, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 8.5})"),
      OneCap(ICAP_PHYSICALHEIGHT, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 11})"),
      OneCap(ICAP_ORIENTATION, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [0, 1, 2, 3], "Current": 0, "Default": 0})", kAll),
      OneCap(ICAP_ROTATION, fix, kAll),
      OneCap(ICAP_BRIGHTNESS, fix, kAll),
      OneCap(ICAP_CONTRAST, fix, kAll),
      OneCap(ICAP_THRESHOLD, fix, kAll),
      OneCap(CAP_FEEDERENABLED, kBool0, kAll),
      OneCap(CAP_DUPLEXENABLED, kBool0, kAll),
  };
  std::string s = "{\"" + NameKey + "\": \"" + Name + "\", \"Layout\": [0, 0, 8.5, 11], \"Caps\": {";
  for (size_t i = 0; i < caps.size(); ++i) s += (i ? ", " : "") + caps[i];
  return s + "}" + Extra + "}";
}

// A w x h colour page as PNM.
void WritePnm(const fs::path& File, int w, int h, int Seed) {
  std::ofstream f(File, std::ios::binary);
  f << "P6\n" << w << " " << h << "\n255\n";
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) f << char(x * 9 + Seed) << char(y * 7) << char((x ^ y) + Seed * 30);
}

std::vector<std::string> Lines(TStrings& s) {
  std::vector<std::string> out;
  for (int i = 0; i < s.Count(); ++i) out.push_back(s.Strings(i));
  return out;
}

class AcquireFrontEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    VXTwainSim::Reset();
    VXWiaSim::Reset();
    VXWPDSim::Reset();
    VXSetWindowsDirectory("");
    VXGetGlobalSettings()->SetReleaseTwainResources(false);
    VXGetGlobalSettings()->SetIsInsideTwain(false);
    D::Reset();
    fKey = VXAcquireOwnerHooks.Add([](TComponent* Owner, TVXAcquireOwner& Found) {
      auto* o = dynamic_cast<TTestOwner*>(Owner);
      if (!o) return false;
      Found.AcquireParams = &o->Params;
      Found.InitializeAcquireSource = [o](bool IncludeWIA) {
        ++o->Attached;
        o->Params.SetAttachedTwainParams(&o->Twain);
        o->Params.SetAttachedDCIMParams(&o->Dcim);
        if (IncludeWIA) {
          if (!o->Wia) o->Wia = std::make_unique<TVXWia>(o);
          o->Params.SetAttachedWIAParams(o->Wia.get());
        }
      };
      return true;
    });
    fTemp = fs::temp_directory_path() / ("vxacqfe-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(fTemp);
  }
  void TearDown() override {
    fOwner.reset();
    VXAcquireOwnerHooks.Remove(fKey);
    D::Reset();
    VXGetGlobalSettings()->SetMsgLanguage(msEnglish);
    VXGetGlobalSettings()->SetUseButtonGlyphsInDialogs(false);
    VXTwainSim::Reset();
    VXWiaSim::Reset();
    VXWPDSim::Reset();
    std::error_code ec;
    fs::remove_all(fTemp, ec);
  }
  // A folder device named Name whose storage holds a DCIM folder.
  void AddCameraFolder(const std::string& Name) {
    fs::create_directories(fTemp / Name / "Internal" / "DCIM" / "100CAM");
    VXWPDSim::AddFolderDevice(Name, Name, (fTemp / Name).string(), false);
  }
  TTestOwner& Owner() {
    if (!fOwner) fOwner = std::make_unique<TTestOwner>();
    return *fOwner;
  }
  TVXAcquireParams& P() { return Owner().Params; }

  TVXLibraryGuard fLibrary;
  int fKey = 0;
  fs::path fTemp;
  std::unique_ptr<TTestOwner> fOwner;
};

// ---- raw device strings ----

TEST(RawDeviceString, WrittenAndReadBack) {
  const struct {
    TVXAcquireSource Source;
    const char* Text;
  } cases[] = {
      {{}, "||-1||---||---"},
      {{vxaTwain, 0, "Flatbed Scanner", vxadScanner}, "Flatbed Scanner||0||TWN||SCN"},
      {{vxaWIA, 12, "Camera", vxadCamera}, "Camera||12||WIA||CAM"},
      {{vxaDCIM, 3, "E:\\", vxadDrive}, "E:\\||3||DCM||DRV"},
      {{vxaDCIM, -1, "", vxadDevice}, "||-1||DCM||DEV"},
      {{vxaWIA, 1, "Grey", vxadUnknown}, "Grey||1||WIA||---"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(AcquireSourceToRawString(c.Source), c.Text);
    EXPECT_TRUE(IsRawDeviceString(c.Text));
    EXPECT_EQ(RawStringToAcquireSource(c.Text), c.Source);
  }
  // Values outside the tables write "---"; tokens are read in any case.
  EXPECT_EQ(AcquireSourceToRawString({TVXAcquireApi(9), 2, "x", TVXAcquireDeviceType(7)}), "x||2||---||---");
  EXPECT_EQ(RawStringToAcquireSource("a||+5||twn||cam"), (TVXAcquireSource{vxaTwain, 5, "a", vxadCamera}));
  // A foreign interface token is the empty source, whatever the rest.
  EXPECT_EQ(RawStringToAcquireSource("Name||notanumber||XYZ||SCN"), TVXAcquireSource());
  EXPECT_EQ(RawStringToAcquireSource(""), TVXAcquireSource());
  // A name holding "||" splits at its first "||": the location is no number.
  const std::string twoBars = AcquireSourceToRawString({vxaTwain, 0, "A||B", vxadScanner});
  EXPECT_TRUE(IsRawDeviceString(twoBars));
  for (const std::string& bad : {twoBars, std::string("Plain name"), std::string("x||||TWN||SCN"),
                                 std::string("x||2147483648||WIA||SCN"), std::string("x|| 1||DCM||DEV")}) {
    SCOPED_TRACE(bad);
    try {
      RawStringToAcquireSource(bad);
      ADD_FAILURE() << "decoded";
    } catch (const EVXException& e) {
      EXPECT_STREQ(e.what(), "Invalid Raw Device String");
    }
  }
  for (const char* notRaw : {"", "||1||TWN||S", "abc||1||TWNx|SCN", "Scanner", "||1|TWN||SCN"})
    EXPECT_FALSE(IsRawDeviceString(notRaw)) << notRaw;
}

std::string FromHex(const std::string& h) {
  std::string out;
  if (h == "-") return out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out += char(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

TEST(RawDeviceString, RandomTextsDecodeAsThePythonRulesSay) {
  const std::string script = std::string(VX_SOURCE_DIR) + "/tests/acquire/raw_device_oracle.py";
  FILE* f = ::popen(("/usr/bin/python3 '" + script + "' 111 3000").c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  ASSERT_EQ(::pclose(f), 0);
  std::istringstream lines(out);
  std::string line;
  int count = 0, raised = 0, bad = 0;
  while (std::getline(lines, line) && bad < 5) {
    std::vector<std::string> cols;
    std::istringstream cs(line);
    std::string c;
    while (std::getline(cs, c, '\t')) cols.push_back(c);
    ASSERT_GE(cols.size(), 3u) << line;
    const std::string text = FromHex(cols[0]);
    ++count;
    if (IsRawDeviceString(text) != (cols[1] == "1")) {
      ++bad;
      ADD_FAILURE() << "shape of " << cols[0];
    }
    std::string got;
    try {
      const TVXAcquireSource s = RawStringToAcquireSource(text);
      std::string nameHex;
      for (unsigned char ch : s.Name) {
        char h[3];
        std::snprintf(h, sizeof h, "%02x", ch);
        nameHex += h;
      }
      got = std::to_string(int(s.Api)) + "\t" + std::to_string(s.Location) + "\t" +
            std::to_string(int(s.DeviceType)) + "\t" + (nameHex.empty() ? "-" : nameHex);
    } catch (const EVXException&) {
      got = "RAISE";
    }
    const std::string want = line.substr(cols[0].size() + cols[1].size() + 2);
    raised += want == "RAISE";
    if (got != want) {
      ++bad;
      ADD_FAILURE() << cols[0] << ": " << got << " instead of " << want;
    }
  }
  EXPECT_EQ(count, 3000);
  // Both outcomes are well represented.
  EXPECT_GT(raised, 300);
  EXPECT_LT(raised, 2700);
}

// ---- the source list ----

TEST_F(AcquireFrontEnd, OneListInInterfaceOrderOrSorted) {
  VXTwainSim::AddSource(R"({"ProductName": "Zeta Scanner"})");
  VXTwainSim::AddSource(R"({"ProductName": "alpha Cam"})");
  VXTwainSim::AddSource(R"({"ProductName": "Scan-o-Cam"})");
  VXWiaSim::AddScanner(R"({"Name": "Beta WIA"})");
  VXWiaSim::AddScanner(R"({"Name": "Apex WIA"})");
  AddCameraFolder("Gamma Phone");
  const TVXAcquireApis T = VXAcquireApiBit(vxaTwain), W = VXAcquireApiBit(vxaWIA), C = VXAcquireApiBit(vxaDCIM);
  const std::vector<std::string> twain = {"Zeta Scanner||0||TWN||SCN", "alpha Cam||1||TWN||CAM",
                                          "Scan-o-Cam||2||TWN||SCN"};
  TStringList sl;
  P().FillListWithSources(&sl, T, false);
  EXPECT_EQ(Lines(sl), twain);
  // The folder device also shows as a WIA camera, after the scanners.
  P().FillListWithSources(&sl, W, true);
  EXPECT_EQ(Lines(sl), (std::vector<std::string>{"Beta WIA", "Apex WIA", "Gamma Phone"}));
  P().FillListWithSources(&sl, W, false);
  EXPECT_EQ(sl.Strings(2), "Gamma Phone||2||WIA||CAM");
  P().FillListWithSources(&sl, C, false);
  EXPECT_EQ(Lines(sl), std::vector<std::string>{"Gamma Phone||0||DCM||DEV"});
  // A mixture sorts without case in a standalone list; the empty set is all.
  const std::vector<std::string> sortedNames = {"alpha Cam",   "Apex WIA",     "Beta WIA",    "Gamma Phone",
                                                "Gamma Phone", "Scan-o-Cam", "Zeta Scanner"};
  for (TVXAcquireApis apis : {TVXAcquireApis(0), TVXAcquireApis(T | W | C)}) {
    P().FillListWithSources(&sl, apis, true);
    EXPECT_EQ(Lines(sl), sortedNames);
  }
  P().FillListWithSources(&sl, T | C, true);
  EXPECT_EQ(Lines(sl), (std::vector<std::string>{"alpha Cam", "Gamma Phone", "Scan-o-Cam", "Zeta Scanner"}));
  // A list box's items keep TWAIN, WIA, camera folders.
  TListBox box(nullptr);
  P().FillListWithSources(box.Items(), 0, true);
  EXPECT_EQ(Lines(*box.Items()), (std::vector<std::string>{"Zeta Scanner", "alpha Cam", "Scan-o-Cam", "Beta WIA",
                                                           "Apex WIA", "Gamma Phone", "Gamma Phone"}));

  // Every listed source round-trips through its raw device string.
  P().FillListWithSources(&sl, 0, false);
  for (const std::string& raw : Lines(sl)) {
    SCOPED_TRACE(raw);
    EXPECT_TRUE(P().SetSourceByStr(raw));
    EXPECT_EQ(AcquireSourceToRawString(P().SelectedSource()), raw);
  }
}

TEST_F(AcquireFrontEnd, NamesAreFoundThroughTwainThenWiaThenCameraFolders) {
  VXTwainSim::AddSource(R"({"ProductName": "Twin"})");
  VXWiaSim::AddScanner(R"({"Name": "Twin"})");
  VXWiaSim::AddScanner(R"({"Name": "Only WIA"})");
  AddCameraFolder("Only Folder");
  EXPECT_EQ(P().FindSourceByName("Twin"), (TVXAcquireSource{vxaTwain, 0, "Twin", vxadUnknown}));
  EXPECT_EQ(P().FindSourceByName("only wia"), (TVXAcquireSource{vxaWIA, 1, "Only WIA", vxadScanner}));
  // The folder device is a WIA camera too; the WIA lookup comes first.
  EXPECT_EQ(P().FindSourceByName("Only Folder").Api, vxaWIA);
  EXPECT_EQ(P().FindSourceByName("Nobody"), TVXAcquireSource());
  EXPECT_EQ(P().FindSourceByName(""), TVXAcquireSource());
  EXPECT_EQ(P().FindSourceByName("X||4||DCM||DRV"), (TVXAcquireSource{vxaDCIM, 4, "X", vxadDrive}));

  // SetSourceByStr: a plain name, a raw string, a foreign token, a bad one.
  EXPECT_TRUE(P().SetSourceByStr("Only WIA"));
  EXPECT_EQ(P().SelectedSourceApi(), vxaWIA);
  EXPECT_EQ(P().SelectedSource().Name, "Only WIA");
  EXPECT_TRUE(P().SetSourceByStr("Only Folder||0||DCM||DEV"));
  EXPECT_EQ(P().SelectedSource(), (TVXAcquireSource{vxaDCIM, 0, "Only Folder", vxadDevice}));
  EXPECT_FALSE(P().SetSourceByStr("Twin||0||ABC||SCN"));
  EXPECT_EQ(P().SelectedSourceApi(), vxaNone);
  EXPECT_EQ(P().SelectedSource(), TVXAcquireSource());
  EXPECT_FALSE(P().SetSourceByStr("Nobody at all"));
  EXPECT_EQ(P().SelectedSourceApi(), vxaNone);
  EXPECT_THROW(P().SetSourceByStr("A||B||0||TWN||SCN"), EVXException);
}

TEST_F(AcquireFrontEnd, LocationsAndTheInterfacesOwnSelection) {
  VXTwainSim::AddSource(R"({"ProductName": "First"})");
  VXTwainSim::AddSource(R"({"ProductName": "Second"})");
  VXWiaSim::AddScanner(R"({"Name": "W0"})");
  VXWiaSim::AddScanner(R"({"Name": "W1"})");
  AddCameraFolder("F0");
  AddCameraFolder("F1");
  TVXAcquireParams& p = P();
  EXPECT_EQ(p.SelectedSourceApi(), vxaTwain);
  struct TCase {
    TVXAcquireApi Api;
    TVXVariant Location;
    bool Result;
    std::string Name;
  };
  const TCase cases[] = {
      {vxaTwain, TVXVariant(int32_t(1)), true, "Second"},
      {vxaTwain, TVXVariant("first"), true, "First"},
      {vxaTwain, TVXVariant(std::u16string(u"Second")), true, "Second"},
      {vxaTwain, TVXVariant(int16_t(1)), true, "First"},  // the default source
      {vxaTwain, TVXVariant(), true, "First"},
      {vxaTwain, TVXVariant(int32_t(-1)), false, "First"},
      {vxaWIA, TVXVariant(int32_t(1)), true, "W1"},
      {vxaWIA, TVXVariant::OleStr(u"W1"), true, "W0"},  // device 0
      {vxaWIA, TVXVariant("w1"), true, "W1"},
      {vxaWIA, TVXVariant("nobody"), false, ""},
      {vxaDCIM, TVXVariant(int32_t(1)), true, "F1"},
      {vxaDCIM, TVXVariant(2.5), true, "F0"},
      {vxaDCIM, TVXVariant("F1"), true, "F1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(int(c.Api)) + " " + c.Name);
    EXPECT_EQ(p.SetSource(c.Api, c.Location), c.Result);
    EXPECT_EQ(p.SelectedSourceApi(), c.Api);
    if (!c.Name.empty()) {
      EXPECT_EQ(p.SelectedSource().Name, c.Name);
    }
  }
  // A camera-folder name not found keeps the interface; vxaNone selects none.
  ASSERT_TRUE(p.SetSource(vxaWIA, TVXVariant(int32_t(0))));
  EXPECT_FALSE(p.SetSource(vxaDCIM, TVXVariant("nobody")));
  EXPECT_EQ(p.SelectedSourceApi(), vxaWIA);
  EXPECT_FALSE(p.SetSource(vxaNone, TVXVariant(int32_t(0))));
  EXPECT_EQ(p.SelectedSourceApi(), vxaNone);

  // The interface objects' own selection switches the owner's interface.
  Owner().Twain.SelectSourceByName("Second");
  EXPECT_EQ(p.SelectedSourceApi(), vxaTwain);
  ASSERT_TRUE(Owner().Wia->ConnectTo(int32_t(1)));
  EXPECT_EQ(p.SelectedSourceApi(), vxaWIA);
  Owner().Dcim.SetSelectedSource(0);
  EXPECT_EQ(p.SelectedSourceApi(), vxaDCIM);
  Owner().Twain.SetSelectedSource(0);
  EXPECT_EQ(p.SelectedSourceApi(), vxaTwain);

  // An owner that no lookup knows gets nothing attached.
  TComponent stranger;
  TVXAcquireParams foreign(&stranger);
  TStringList sl;
  foreign.FillListWithSources(&sl, 0, false);
  EXPECT_EQ(sl.Count(), 0);
  EXPECT_EQ(foreign.SelectedSource(), TVXAcquireSource());
  EXPECT_FALSE(foreign.SetSource(vxaTwain, TVXVariant(int32_t(0))));
  EXPECT_EQ(foreign.FindSourceByName("First"), TVXAcquireSource());
}

TEST_F(AcquireFrontEnd, CameraFoldersWithoutSourceGiveAnEmptyDeviceRecord) {
  ASSERT_TRUE(P().SetSource(vxaDCIM, TVXVariant(int32_t(0))));
  EXPECT_EQ(P().SelectedSource(), (TVXAcquireSource{vxaDCIM, -1, "", vxadDevice}));
  EXPECT_EQ(AcquireSourceToRawString(P().SelectedSource()), "||-1||DCM||DEV");
}

// ---- device parameters ----

TEST_F(AcquireFrontEnd, DeviceParametersOverTwain) {
  VXTwainSim::AddSource(ScannerJson("ProductName", "Sim Scanner"));
  TVXAcquireParams& p = P();
  ASSERT_TRUE(p.SetSourceByStr("Sim Scanner"));
  TVXTwainParams& t = Owner().Twain;
  EXPECT_EQ(p.XResolution(), 100);
  EXPECT_EQ(p.PhysicalWidth(), 8.5);
  EXPECT_EQ(p.PhysicalWidthPixels(), 850);
  EXPECT_EQ(p.PhysicalHeightPixels(), 1100);
  p.SetXResolution(150.9);
  EXPECT_DOUBLE_EQ(t.XResolution()->CurrentValue(), 150.9);
  // Orientation codes both ways.
  const int32_t orientation[] = {0, 3, 1, 2};
  for (int o = vxaoPortrait; o <= vxaoRotate180; ++o) {
    p.SetOrientation(TVXAcquireOrientation(o));
    EXPECT_EQ(t.Orientation()->CurrentValue(), orientation[o]);
    EXPECT_EQ(p.Orientation(), o);
  }
  t.Orientation()->SetCurrentValue(7);
  EXPECT_EQ(p.Orientation(), vxaoPortrait);
  // Rotation: written in degrees, read from any signed angle.
  for (int r = vxarNone; r <= vxar270CW; ++r) {
    p.SetRotation(TVXAcquireRotation(r));
    EXPECT_EQ(t.Rotation()->CurrentValue(), 90.0 * r);
    EXPECT_EQ(p.Rotation(), r);
  }
  const struct {
    double Degrees;
    TVXAcquireRotation Rotation;
  } angles[] = {{-270, vxar90CW}, {-90, vxar270CW}, {-180, vxar180CW}, {180.7, vxar180CW}, {45, vxarNone}};
  for (const auto& a : angles) {
    t.Rotation()->SetCurrentValue(a.Degrees);
    EXPECT_EQ(p.Rotation(), a.Rotation) << a.Degrees;
  }
  // Pixel-type pairs; monochrome keeps the depth.
  const struct {
    TVXAcquirePixelType Type;
    int32_t TwainType, Depth;
  } pairs[] = {{vxap8BitGrayScale, 1, 8}, {vxap16BitGrayScale, 1, 16}, {vxapFullColor, 2, 8},
               {vxapFullColor16, 2, 16}, {vxapMonochrome, 0, 16}};
  for (const auto& c : pairs) {
    p.SetPixelType(c.Type);
    EXPECT_EQ(t.PixelType()->CurrentValue(), c.TwainType) << int(c.Type);
    EXPECT_EQ(t.BitDepth()->CurrentValue(), c.Depth) << int(c.Type);
    EXPECT_EQ(p.PixelType(), c.Type);
  }
  t.PixelType()->SetCurrentValue(0);
  t.BitDepth()->SetCurrentValue(8);
  EXPECT_EQ(p.PixelType(), vxapMonochrome);
  t.PixelType()->SetCurrentValue(2);
  t.BitDepth()->SetCurrentValue(24);
  EXPECT_EQ(p.PixelType(), vxapOther);
  p.SetPixelType(vxapOther);
  EXPECT_EQ(t.PixelType()->CurrentValue(), 2);
  EXPECT_EQ(t.BitDepth()->CurrentValue(), 24);
  // Switches and frame go to the TWAIN parameters as they are.
  p.SetFeederEnabled(true);
  p.SetDuplexEnabled(true);
  p.SetAcquireFrameEnabled(true);
  p.SetAcquireFrameLeft(1.25);
  p.SetAcquireFrameBottom(4);
  p.SetVisibleDialog(false);
  p.SetBrightness(12);
  EXPECT_TRUE(t.FeederEnabled());
  EXPECT_TRUE(t.DuplexEnabled());
  EXPECT_TRUE(p.AcquireFrameEnabled());
  EXPECT_EQ(t.AcquireFrameLeft(), 1.25);
  EXPECT_EQ(p.AcquireFrameBottom(), 4);
  EXPECT_FALSE(t.VisibleDialog());
  EXPECT_EQ(t.Brightness()->CurrentValue(), 12);
}

TEST_F(AcquireFrontEnd, DeviceParametersOverWia) {
  VXWiaSim::AddScanner(ScannerJson("Name", "Sim WIA"));
  VXWiaSim::AddScanner(R"({"Name": "Plain"})");
  TVXAcquireParams& p = P();
  ASSERT_TRUE(p.SetSourceByStr("Sim WIA"));
  ASSERT_EQ(p.SelectedSourceApi(), vxaWIA);
  TVXWia& w = *Owner().Wia;
  auto item = [&](PROPID id) { return w.GetItemProperty(id, nullptr).AsInteger(); };
  auto select = [&] { return w.GetDeviceProperty(WIA_DPS_DOCUMENT_HANDLING_SELECT).AsInteger(); };
  EXPECT_EQ(p.XResolution(), 100);
  EXPECT_EQ(p.PhysicalWidth(), 8.5);
  EXPECT_EQ(p.PhysicalHeightPixels(), 1100);
  p.SetXResolution(150.9);
  EXPECT_EQ(item(WIA_IPS_XRES), 150);
  p.SetXResolution(100);
  // Orientation and rotation codes both ways.
  const int32_t orientation[] = {0, 1, 3, 2};
  for (int o = vxaoPortrait; o <= vxaoRotate180; ++o) {
    p.SetOrientation(TVXAcquireOrientation(o));
    EXPECT_EQ(item(WIA_IPS_ORIENTATION), orientation[o]);
    EXPECT_EQ(p.Orientation(), o);
  }
  const int32_t rotation[] = {0, 3, 2, 1};
  for (int r = vxarNone; r <= vxar270CW; ++r) {
    p.SetRotation(TVXAcquireRotation(r));
    EXPECT_EQ(item(WIA_IPS_ROTATION), rotation[r]);
    EXPECT_EQ(p.Rotation(), r);
  }
  // Pixel types as (bits per channel, channels per pixel).
  const struct {
    TVXAcquirePixelType Type;
    int32_t Bits, Channels, Depth;
  } pairs[] = {{vxapMonochrome, 1, 1, 1}, {vxap8BitGrayScale, 8, 1, 8}, {vxap16BitGrayScale, 16, 1, 16},
               {vxapFullColor, 8, 3, 24}, {vxapFullColor16, 16, 3, 48}};
  for (const auto& c : pairs) {
    p.SetPixelType(c.Type);
    EXPECT_EQ(item(WIA_IPA_BITS_PER_CHANNEL), c.Bits) << int(c.Type);
    EXPECT_EQ(item(WIA_IPA_CHANNELS_PER_PIXEL), c.Channels) << int(c.Type);
    EXPECT_EQ(p.BitDepth(), c.Depth) << int(c.Type);
    EXPECT_EQ(p.PixelType(), c.Type);
  }
  // The feeder flag switches the flatbed; duplex rides along.
  EXPECT_EQ(select(), FLATBED);
  const struct {
    bool Duplex, Feeder;
    const char* Written;
  } flags[] = {{false, true, "3088=1"}, {false, false, "3088=2"}, {true, true, "3088=5"}, {true, false, "3088=6"}};
  for (const auto& f : flags) {
    p.SetDuplexEnabled(f.Duplex);
    p.SetFeederEnabled(f.Feeder);
    EXPECT_EQ(VXWiaSim::DeviceWrites().back(), f.Written);
    EXPECT_EQ(p.FeederEnabled(), f.Feeder);
    EXPECT_EQ(p.DuplexEnabled(), f.Duplex);
  }
  EXPECT_TRUE(p.DuplexSupported());
  EXPECT_TRUE(p.FeederLoaded());
  EXPECT_FALSE(p.PaperDetectable());
  // The frame: offsets from the left and top, margins to the right and
  // bottom, in inches.
  p.SetAcquireFrameLeft(1);
  p.SetAcquireFrameTop(2);
  p.SetAcquireFrameRight(0.5);
  p.SetAcquireFrameBottom(3.25);
  EXPECT_EQ(item(WIA_IPS_XPOS), 100);
  EXPECT_EQ(item(WIA_IPS_YPOS), 200);
  EXPECT_EQ(item(WIA_IPS_XEXTENT), 700);
  EXPECT_EQ(item(WIA_IPS_YEXTENT), 575);
  EXPECT_EQ(p.AcquireFrameLeft(), 1);
  EXPECT_EQ(p.AcquireFrameTop(), 2);
  EXPECT_EQ(p.AcquireFrameRight(), 0.5);
  EXPECT_EQ(p.AcquireFrameBottom(), 3.25);
  // The frame cannot be switched off over WIA; tone controls pass through.
  p.SetAcquireFrameEnabled(false);
  EXPECT_TRUE(p.AcquireFrameEnabled());
  p.SetContrast(-20.7);
  EXPECT_EQ(item(WIA_IPS_CONTRAST), -20);
  EXPECT_EQ(p.Contrast(), -20);
  p.SetVisibleDialog(false);
  EXPECT_FALSE(p.VisibleDialog());
  EXPECT_TRUE(Owner().Twain.VisibleDialog());

  // A scanner without resolutions: every frame edge reads 0.
  ASSERT_TRUE(p.SetSourceByStr("Plain"));
  EXPECT_EQ(p.XResolution(), 0);
  EXPECT_EQ(p.AcquireFrameLeft(), 0);
  EXPECT_EQ(p.AcquireFrameTop(), 0);
  EXPECT_EQ(p.AcquireFrameRight(), 0);
  EXPECT_EQ(p.AcquireFrameBottom(), 0);
}

TEST_F(AcquireFrontEnd, CameraFoldersReadFixedValuesAndRememberOnlyDuplex) {
  VXWiaSim::AddScanner(ScannerJson("Name", "Sim WIA", R"(, "Pages": [])"));
  AddCameraFolder("Phone");
  TVXAcquireParams& p = P();
  ASSERT_TRUE(p.SetSource(vxaDCIM, TVXVariant(int32_t(0))));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_FALSE(p.VisibleDialog());
    EXPECT_EQ(p.XResolution(), 0);
    EXPECT_EQ(p.YResolution(), 0);
    EXPECT_EQ(p.PixelType(), vxapFullColor);
    EXPECT_EQ(p.BitDepth(), 8);
    EXPECT_EQ(p.PhysicalHeight(), 0);
    EXPECT_EQ(p.PhysicalWidth(), 0);
    EXPECT_EQ(p.PhysicalHeightPixels(), 0);
    EXPECT_EQ(p.PhysicalWidthPixels(), 0);
    EXPECT_FALSE(p.FeederEnabled());
    EXPECT_FALSE(p.AutoFeed());
    EXPECT_FALSE(p.FeederLoaded());
    EXPECT_FALSE(p.PaperDetectable());
    EXPECT_EQ(p.Orientation(), vxaoPortrait);
    EXPECT_EQ(p.AcquireFrameLeft(), 0);
    EXPECT_EQ(p.AcquireFrameTop(), 0);
    EXPECT_EQ(p.AcquireFrameRight(), 0);
    EXPECT_EQ(p.AcquireFrameBottom(), 0);
    EXPECT_FALSE(p.DuplexEnabled());
    EXPECT_FALSE(p.DuplexSupported());
    EXPECT_TRUE(p.AcquireFrameEnabled());
    EXPECT_EQ(p.Contrast(), 0);
    EXPECT_EQ(p.Brightness(), 0);
    EXPECT_EQ(p.Threshold(), 0);
    EXPECT_EQ(p.Rotation(), vxarNone);
    // Writes change nothing (the reads above run again).
    p.SetVisibleDialog(true);
    p.SetXResolution(300);
    p.SetYResolution(300);
    p.SetPixelType(vxapMonochrome);
    p.SetBitDepth(1);
    p.SetFeederEnabled(true);
    p.SetAutoFeed(true);
    p.SetOrientation(vxaoLandscape);
    p.SetAcquireFrameLeft(1);
    p.SetAcquireFrameTop(1);
    p.SetAcquireFrameRight(1);
    p.SetAcquireFrameBottom(1);
    p.SetDuplexEnabled(true);
    p.SetAcquireFrameEnabled(false);
    p.SetContrast(5);
    p.SetBrightness(5);
    p.SetThreshold(5);
    p.SetRotation(vxar90CW);
  }
  EXPECT_EQ(p.SelectedSourceApi(), vxaDCIM);
  // Duplex was remembered: the multi-image WIA acquisition asks for it.
  ASSERT_TRUE(p.SetSourceByStr("Sim WIA"));
  p.SetVisibleDialog(false);
  p.Acquire([](TVXBitmap*, TIOParamsVals*&, int32_t, int32_t) {}, {}, false);
  EXPECT_EQ(VXWiaSim::DeviceWrites(), (std::vector<std::string>{"3088=5", "3096=0"}));
}

// ---- acquisitions ----

TEST_F(AcquireFrontEnd, AcquiresThroughEachInterface) {
  std::vector<std::string> pages;
  for (int i = 0; i < 3; ++i) {
    pages.push_back((fTemp / ("p" + std::to_string(i) + ".ppm")).string());
    WritePnm(pages.back(), 10 + i, 6 + i, i);
  }
  const std::string list = "[\"" + pages[0] + "\", \"" + pages[1] + "\", \"" + pages[2] + "\"]";
  VXTwainSim::AddSource(R"({"ProductName": "Twain Sim", "Pages": )" + list + "}");
  VXWiaSim::AddScanner(R"({"Name": "Wia Sim", "Pages": )" + list + "}");
  TVXAcquireParams& p = P();

  // TWAIN, one image: the first page; a progress handler sees the owner.
  ASSERT_TRUE(p.SetSourceByStr("Twain Sim||0||TWN||---"));
  p.SetVisibleDialog(false);
  p.SetAborting(true);
  TVXBitmap b;
  TIOParamsVals io;
  EXPECT_TRUE(p.Acquire(&b, &io, {}, false)) << Owner().Twain.LastErrorStr;
  EXPECT_FALSE(p.Aborting());
  EXPECT_EQ(b.Width(), 10);
  EXPECT_EQ(b.Height(), 6);

  // WIA, many images: every page handed on.
  ASSERT_TRUE(p.SetSourceByStr("Wia Sim"));
  p.SetVisibleDialog(false);
  std::vector<int32_t> widths;
  const TVXMultiCallBack cb = [&](TVXBitmap* bmp, TIOParamsVals*&, int32_t, int32_t) { widths.push_back(bmp->Width()); };
  EXPECT_TRUE(p.Acquire(cb, {}, false));
  EXPECT_EQ(widths, (std::vector<int32_t>{10, 11, 12}));
  EXPECT_EQ(Owner().Wia->ProcessingBitmap, nullptr);  // the scratch bitmap is gone

  // The WIA dialog cancelled: nothing happens, the page handler stays.
  p.SetVisibleDialog(true);
  VXWiaSim::SetDialogAnswer("");
  TVXBitmap other;
  EXPECT_FALSE(p.Acquire(&other, &io, {}, false));
  EXPECT_EQ(Owner().Wia->ProcessingBitmap, nullptr);
  EXPECT_TRUE(bool(Owner().Wia->OnGetPage()));

  // No source: false.
  p.SetSource(vxaNone, TVXVariant());
  EXPECT_FALSE(p.Acquire(&other, &io, {}, false));
}

// ---- the dialog ----

TEST_F(AcquireFrontEnd, SelectSourceListsEverySourceAndSelectsThePick) {
  VXTwainSim::AddSource(R"({"ProductName": "Twain Scanner"})");
  VXWiaSim::AddScanner(R"({"Name": "Wia Scanner"})");
  AddCameraFolder("Phone");
  TVXAcquireParams& p = P();
  ASSERT_TRUE(p.SetSourceByStr("Wia Scanner"));
  VXGetGlobalSettings()->SetMsgLanguage(msGerman);
  std::vector<std::string> shown;
  D::OnModal<TvxxAcquireForm>([&](TvxxAcquireForm* F) {
    shown = Lines(*F->lbxSources->Items());
    // The form resource's captions, whatever the language.
    EXPECT_EQ(F->Caption(), "Select Acquire Device");
    EXPECT_EQ(F->lblCaption->Caption(), "Select an acquisition device:");
    // The current source is pre-selected and can be taken at once.
    EXPECT_EQ(F->SelectedSource(), "Wia Scanner||0||WIA||SCN");
    EXPECT_TRUE(F->btnOK->Enabled());
    D::Select(F->lbxSources, 0);
    D::Click(F->btnOK);
  });
  EXPECT_TRUE(p.SelectSource(0));
  // The list box keeps the interfaces' order.
  EXPECT_EQ(shown, (std::vector<std::string>{"Twain Scanner||0||TWN||SCN", "Wia Scanner||0||WIA||SCN",
                                             "Phone||1||WIA||CAM", "Phone||0||DCM||DEV"}));
  EXPECT_EQ(p.SelectedSource(), (TVXAcquireSource{vxaTwain, 0, "Twain Scanner", vxadScanner}));
  // Cancel keeps the selection.
  D::OnModal([](TCustomForm* F) { F->SetModalResult(mrCancel); });
  EXPECT_FALSE(p.SelectSource(VXAcquireApiBit(vxaWIA) | VXAcquireApiBit(vxaDCIM)));
  EXPECT_EQ(p.SelectedSourceApi(), vxaTwain);
}

TEST_F(AcquireFrontEnd, SelectSourceWithoutSourcesSaysSo) {
  TVXAcquireParams& p = P();
  EXPECT_FALSE(p.SelectSource(0));
  ASSERT_EQ(D::SystemDialogLog().size(), 1u);
  EXPECT_EQ(D::SystemDialogLog()[0].Kind, "MessageBox");
  EXPECT_EQ(D::SystemDialogLog()[0].Text, "No acquisition devices could be located on your computer.");
  EXPECT_EQ(D::PendingModalHandlers(), 0);
  EXPECT_EQ(p.SelectedSourceApi(), vxaTwain);
}

TEST_F(AcquireFrontEnd, SelectSourceOfOneInterfaceRunsItsOwnDialog) {
  VXTwainSim::AddSource(R"({"ProductName": "One"})");
  VXTwainSim::AddSource(R"({"ProductName": "Two"})");
  VXWiaSim::AddScanner(R"({"Name": "Wia Two"})");
  TVXAcquireParams& p = P();
  VXTwainSim::SetUserSelect("Two");
  EXPECT_TRUE(p.SelectSource(VXAcquireApiBit(vxaTwain)));
  EXPECT_EQ(p.SelectedSource().Name, "Two");
  VXWiaSim::SetDialogAnswer("sim:Wia Two");
  EXPECT_TRUE(p.SelectSource(VXAcquireApiBit(vxaWIA)));
  EXPECT_EQ(p.SelectedSource(), (TVXAcquireSource{vxaWIA, 0, "Wia Two", vxadScanner}));
  VXWiaSim::SetDialogAnswer("");
  EXPECT_FALSE(p.SelectSource(VXAcquireApiBit(vxaWIA)));
}

TEST_F(AcquireFrontEnd, DialogLayoutGlyphsLanguageAndSelection) {
  for (bool glyphs : {false, true}) {
    SCOPED_TRACE(glyphs);
    VXGetGlobalSettings()->SetUseButtonGlyphsInDialogs(glyphs);
    TvxxAcquireForm form;
    for (const char* s : {"Flat||0||TWN||SCN", "Cam||0||WIA||CAM", "Card||0||DCM||DRV"}) form.lbxSources->Items()->Add(s);
    form.SetSelectedSource("not||9||TWN||SCN");
    D::OnModal<TvxxAcquireForm>([&](TvxxAcquireForm* F) {
      // Not listed: nothing selected, OK waits for a click.
      EXPECT_EQ(F->SelectedSource(), "");
      EXPECT_FALSE(F->btnOK->Enabled());
      D::Click(F->btnOK);  // disabled: the dialog stays
      EXPECT_TRUE(F->ModalRunning());
      for (TBitBtn* b : {F->btnOK, F->btnCancel}) {
        EXPECT_EQ(b->Glyph() && !b->Glyph()->Empty(), glyphs);
      }
      for (const auto& size : {std::pair{500, 400}, std::pair{360, 300}}) {
        D::ResizeForm(F, size.first, size.second);
        EXPECT_EQ(F->pnlButtons->Left() + F->pnlButtons->Width(), F->ClientWidth());
        EXPECT_EQ(F->pnlButtons->Top() + F->pnlButtons->Height(), F->ClientHeight());
        EXPECT_EQ(F->lbxSources->Left(), 12);
        EXPECT_EQ(F->lbxSources->Width(), F->ClientWidth() - 24);
        EXPECT_EQ(F->lbxSources->Top() + F->lbxSources->Height(), F->pnlButtons->Top() - 5);
      }
      D::Select(F->lbxSources, 1);
      EXPECT_TRUE(F->btnOK->Enabled());
      D::Click(F->btnOK);
    });
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_EQ(form.SelectedSource(), "Cam||0||WIA||CAM");
    // Writing ignores case; empty selects nothing.
    form.SetSelectedSource("card||0||dcm||drv");
    EXPECT_EQ(form.lbxSources->ItemIndex(), 2);
    form.SetSelectedSource("");
    EXPECT_EQ(form.lbxSources->ItemIndex(), -1);
  }
  // The captions in German.
  VXGetGlobalSettings()->SetMsgLanguage(msGerman);
  TvxxAcquireForm form;
  form.UpdateLanguage();
  EXPECT_EQ(form.Caption(), VXWordTable[msGerman][151]);
  EXPECT_EQ(form.lblCaption->Caption(), VXWordTable[msGerman][152]);
  EXPECT_EQ(form.btnOK->Caption(), VXWordTable[msGerman][3]);
  EXPECT_EQ(form.btnCancel->Caption(), VXWordTable[msGerman][4]);
  EXPECT_NE(form.Caption(), "Select Acquire Device");
}

TEST_F(AcquireFrontEnd, DialogBackgroundFollowsTheLibrarySetting) {
  const uint8_t old = VXDialogBackgroundKind;
  for (uint8_t kind : {0, 1, 2}) {
    SCOPED_TRACE(int(kind));
    VXDialogBackgroundKind = kind;
    TvxxAcquireForm form;
    TBitmap* picture = form.Image1->Picture()->Bitmap();
    if (kind == 0) {
      EXPECT_TRUE(picture->Empty());
      continue;
    }
    // The picture fills the image, grey in either style.
    ASSERT_EQ(picture->Width(), form.Image1->Width());
    ASSERT_EQ(picture->Height(), form.Image1->Height());
    const TColor c = picture->Canvas()->Pixels(5, 5);
    EXPECT_EQ(c & 0xFF, (c >> 8) & 0xFF);
    EXPECT_EQ(c & 0xFF, (c >> 16) & 0xFF);
  }
  VXDialogBackgroundKind = old;
}

TEST_F(AcquireFrontEnd, DeviceLinesShowTheirTypesPicture) {
  TvxxAcquireForm form;
  for (const char* s : {"Flat||0||TWN||SCN", "Cam||0||WIA||CAM", "Card||0||DCM||DRV", "Phone||0||DCM||DEV",
                        "Odd||0||WIA||---", "no raw string"})
    form.lbxSources->Items()->Add(s);
  D::OnModal<TvxxAcquireForm>([&](TvxxAcquireForm* F) {
    D::Settle();
    int w = 0, h = 0;
    const std::vector<uint32_t> px = VXHeadless::Surface(F->lbxSources->Handle(), w, h);
    ASSERT_GT(w, 40);
    // The picture of each line: its pixels at the left of the line, compared
    // with the image list's picture.
    std::vector<std::vector<uint32_t>> seen;
    for (int line = 0; line < 6; ++line) {
      std::vector<uint32_t> cell;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) cell.push_back(px[size_t(2 + line * 18 + 1 + y) * size_t(w) + size_t(4 + x)]);
      seen.push_back(cell);
    }
    EXPECT_NE(seen[0], seen[1]);
    EXPECT_NE(seen[1], seen[2]);
    EXPECT_NE(seen[2], seen[3]);
    EXPECT_EQ(seen[4], seen[0]);  // an unknown type has the scanner's picture
    for (uint32_t c : seen[5]) EXPECT_EQ(c & 0xFFFFFF, seen[5][0] & 0xFFFFFF);  // no picture, no text
    F->SetModalResult(mrCancel);
  });
  form.ShowModal();
}

// ---- SANE's test scanner ----

class AcquireFrontEndSane : public AcquireFrontEnd {
 protected:
  void SetUp() override {
    if (!InChild()) return;
    if (!HaveProgram("scanimage")) GTEST_SKIP() << "scanimage (sane-utils) is not installed";
    AcquireFrontEnd::SetUp();
  }
  void TearDown() override {
    if (InChild()) AcquireFrontEnd::TearDown();
  }
};

TEST_F(AcquireFrontEndSane, OneListThroughEveryInterfaceAndAWiaScanEqualToScanimage) {
  if (RanInChild("pattern")) return;
  TPnm want;
  ASSERT_TRUE(ReadPnm(Oracle("--mode Color --resolution 75", fTemp.string())[0], want));
  VXTwainSim::AddSource(R"({"ProductName": "Simulated Scanner"})");
  AddCameraFolder("Phone");
  TVXAcquireParams& p = P();
  std::vector<std::string> shown;
  D::OnModal<TvxxAcquireForm>([&](TvxxAcquireForm* F) {
    shown = Lines(*F->lbxSources->Items());
    EXPECT_EQ(F->SelectedSource(), "Simulated Scanner||0||TWN||SCN");
    EXPECT_TRUE(F->btnOK->Enabled());
    for (int i = 0; i < F->lbxSources->Items()->Count(); ++i)
      if (F->lbxSources->Items()->Strings(i).find("(test:0)||") != std::string::npos &&
          F->lbxSources->Items()->Strings(i).find("||WIA||") != std::string::npos)
        D::Select(F->lbxSources, i);
    D::Click(F->btnOK);
  });
  ASSERT_TRUE(p.SelectSource(0));
  auto has = [&](const std::string& s) { return std::find(shown.begin(), shown.end(), s) != shown.end(); };
  EXPECT_TRUE(has("Simulated Scanner||0||TWN||SCN")) << ::testing::PrintToString(shown);
  EXPECT_TRUE(has("frontend-tester (test:0)||1||TWN||---"));
  EXPECT_TRUE(has("frontend-tester (test:0)||0||WIA||SCN"));
  EXPECT_TRUE(has("Phone||0||DCM||DEV"));
  ASSERT_EQ(p.SelectedSource(), (TVXAcquireSource{vxaWIA, 0, "frontend-tester (test:0)", vxadScanner}));
  p.SetVisibleDialog(false);
  p.SetPixelType(vxapFullColor);
  p.SetXResolution(75);
  p.SetYResolution(75);
  TVXBitmap b;
  TIOParamsVals io;
  ASSERT_TRUE(p.Acquire(&b, &io, {}, false));
  ExpectSame(want, b);
}

TEST_F(AcquireFrontEndSane, MultiImageOverWiaTakesTheTenFeederPages) {
  if (RanInChild("pattern")) return;
  const std::vector<std::string> files =
      Oracle("--source 'Automatic Document Feeder' --mode Color", fTemp.string(), true);
  ASSERT_EQ(files.size(), 10u);
  TVXAcquireParams& p = P();
  ASSERT_TRUE(p.SetSourceByStr("frontend-tester (test:0)||0||WIA||SCN"));
  p.SetVisibleDialog(false);
  p.SetPixelType(vxapFullColor);
  size_t calls = 0;
  TPnm want;
  const TVXMultiCallBack cb = [&](TVXBitmap* bmp, TIOParamsVals*&, int32_t, int32_t) {
    ASSERT_LT(calls, files.size());
    ASSERT_TRUE(ReadPnm(files[calls++], want));
    ExpectSame(want, *bmp);
  };
  EXPECT_TRUE(p.Acquire(cb, {}, false));
  EXPECT_EQ(calls, 10u);
  EXPECT_EQ(VXWiaSim::DeviceWrites(), (std::vector<std::string>{"3088=1", "3096=0"}));
}

}  // namespace
