// The TWAIN engine against our source manager and its simulated sources:
// the states and triplets of each operation, the log, the capability
// exchange and the TWAIN parameters.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "acquire/twain_caps.h"
#include "acquire/twain_dsm.h"
#include "acquire/twain_params.h"
#include "acquire/twain_sim.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "core/bitmap.h"
#include "core/vxdefs.h"
#include "io/params.h"
#include "platform/win_fpu.h"
#include "platform/win_sysdir.h"
#include "winui/win_module.h"

namespace {

namespace fs = std::filesystem;

// Every capability triplet that reaches the manager: message, capability,
// container type and, for MSG_SET, the container's bytes.
struct TCapCall {
  uint16_t DAT = 0;
  uint16_t MSG = 0;
  uint16_t Cap = 0;
  uint16_t ConType = 0;
  std::vector<uint8_t> Bytes;
};
std::vector<TCapCall> gCalls;

uint16_t Spy(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, uint32_t DG, uint16_t DAT, uint16_t MSG, TW_MEMREF pData) {
  if (DAT == DAT_CAPABILITY && pData) {
    auto* c = static_cast<TW_CAPABILITY*>(pData);
    TCapCall call{DAT, MSG, c->Cap, c->ConType, {}};
    if (MSG == MSG_SET && c->hContainer) {
      auto* p = static_cast<uint8_t*>(GlobalLock(c->hContainer));
      call.Bytes.assign(p, p + GlobalSize(c->hContainer));
      GlobalUnlock(c->hContainer);
    }
    gCalls.push_back(call);
  } else if (DAT == DAT_IMAGELAYOUT) {
    gCalls.push_back(TCapCall{DAT, MSG, 0, 0, {}});
  } else if (DAT == DAT_SETUPFILEXFER && MSG == MSG_SET && pData) {
    gCalls.push_back(TCapCall{DAT, MSG, 0, static_cast<TW_SETUPFILEXFER*>(pData)->Format, {}});
  }
  return VXTWDSMEntry(pOrigin, pDest, DG, DAT, MSG, pData);
}

std::vector<uint16_t> SetCaps() {
  std::vector<uint16_t> out;
  for (const TCapCall& c : gCalls)
    if (c.MSG == MSG_SET && (out.empty() || out.back() != c.Cap || c.DAT != DAT_CAPABILITY))
      out.push_back(c.DAT == DAT_CAPABILITY ? c.Cap : 0xFFFF);
  return out;
}

std::string OneCap(int Cap, const std::string& Get, const std::string& Set = "[\"ONEVALUE\"]") {
  return "\"" + std::to_string(Cap) + "\": {\"Get\": " + Get + ", \"Set\": " + Set + "}";
}

std::string Source(const std::string& Name, const std::vector<std::string>& Caps, const std::string& Extra = "") {
  std::string s = "{\"ProductName\": \"" + Name + "\", \"Manufacturer\": \"Vexlane Labs\", \"ProductFamily\": \"Sim\"";
  s += ", \"Caps\": {";
  for (size_t i = 0; i < Caps.size(); ++i) s += (i ? ", " : "") + Caps[i];
  s += "}" + Extra + "}";
  return s;
}

const std::string kBool1 = R"({"ConType": "ONEVALUE", "ItemType": "BOOL", "Value": 1})";
const std::string kBool0 = R"({"ConType": "ONEVALUE", "ItemType": "BOOL", "Value": 0})";

// A source that answers every capability the engine reads and takes every
// capability it sends.
std::string FullSource(const std::string& Name, const std::string& Extra = "") {
  const std::string all = R"(["ONEVALUE", "ENUMERATION", "RANGE"])";
  const std::string fixRange = R"({"ConType": "RANGE", "ItemType": "FIX32", "Min": -1000, "Max": 1000, "Step": 1, "Default": 0, "Current": 0})";
  std::vector<std::string> caps = {
      OneCap(ICAP_XRESOLUTION, R"({"ConType": "ENUMERATION", "ItemType": "FIX32", "Items": [100, 200, 300], "Current": 2, "Default": 2})", all),
      OneCap(ICAP_YRESOLUTION, R"({"ConType": "ENUMERATION", "ItemType": "FIX32", "Items": [100, 200, 300], "Current": 2, "Default": 2})", all),
      OneCap(ICAP_XSCALING, fixRange, all),
      OneCap(ICAP_YSCALING, fixRange, all),
      OneCap(ICAP_CONTRAST, fixRange, all),
      OneCap(ICAP_BRIGHTNESS, fixRange, all),
      OneCap(ICAP_THRESHOLD, fixRange, all),
      OneCap(ICAP_ROTATION, fixRange, all),
      OneCap(ICAP_PIXELTYPE, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [0, 1, 2], "Current": 2, "Default": 2})", all),
      OneCap(ICAP_BITDEPTH, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [1, 8, 24], "Current": 2, "Default": 2})", all),
      OneCap(ICAP_UNITS, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [0, 1, 2], "Current": 1, "Default": 0})", all),
      OneCap(ICAP_GAMMA, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 1.8})"),
      OneCap(ICAP_PHYSICALHEIGHT, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 11.5})"),
      OneCap(ICAP_PHYSICALWIDTH, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 8.5})"),
      OneCap(CAP_FEEDERENABLED, kBool0),
      OneCap(CAP_AUTOFEED, kBool0),
      OneCap(ICAP_AUTOMATICDESKEW, kBool0),
      OneCap(ICAP_AUTOMATICBORDERDETECTION, kBool0),
      OneCap(ICAP_AUTOBRIGHT, kBool0),
      OneCap(ICAP_AUTOMATICROTATE, kBool0),
      OneCap(ICAP_AUTODISCARDBLANKPAGES, R"({"ConType": "ONEVALUE", "ItemType": "INT32", "Value": -2})"),
      OneCap(ICAP_FILTER, R"({"ConType": "ONEVALUE", "ItemType": "UINT16", "Value": 2})"),
      OneCap(ICAP_HIGHLIGHT, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 255})"),
      OneCap(ICAP_SHADOW, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 0})"),
      OneCap(CAP_AUTOSCAN, kBool0),
      OneCap(CAP_DEVICEONLINE, kBool1),
      OneCap(CAP_XFERCOUNT, R"({"ConType": "ONEVALUE", "ItemType": "INT16", "Value": -1})"),
      OneCap(CAP_FEEDERLOADED, kBool1),
      OneCap(CAP_PAPERDETECTABLE, kBool1),
      OneCap(CAP_DUPLEXENABLED, kBool0),
      OneCap(CAP_DUPLEX, R"({"ConType": "ONEVALUE", "ItemType": "UINT16", "Value": 1})"),
      OneCap(ICAP_ORIENTATION, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [0, 1, 2, 3], "Current": 0, "Default": 0})", all),
      OneCap(ICAP_SUPPORTEDSIZES, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [0, 1, 2], "Current": 1, "Default": 1})", all),
      OneCap(CAP_INDICATORS, kBool1),
      OneCap(ICAP_PIXELFLAVOR, R"({"ConType": "ONEVALUE", "ItemType": "UINT16", "Value": 0})"),
      OneCap(ICAP_COMPRESSION, R"({"ConType": "ONEVALUE", "ItemType": "UINT16", "Value": 0})"),
      OneCap(ICAP_PLANARCHUNKY, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [0, 1], "Current": 1, "Default": 0})"),
      OneCap(ICAP_XFERMECH, R"({"ConType": "ENUMERATION", "ItemType": "UINT16", "Items": [0, 1, 2], "Current": 0, "Default": 0})"),
      OneCap(ICAP_UNDEFINEDIMAGESIZE, kBool0),
  };
  return Source(Name, caps, R"(, "Layout": [0, 0, 8.5, 11])" + Extra);
}

double FixedNow() { return double(VXDaysFromCivil(2015, 9, 3) + 25569) + (10 * 3600 + 20 * 60 + 30) / 86400.0; }
const std::string kStamp = "2015-09-03 10:20:30 : ";

std::vector<std::string> ReadLines(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  const std::string all = ss.str();
  std::vector<std::string> out;
  size_t at = 0;
  while (at < all.size()) {
    const size_t e = all.find("\r\n", at);
    if (e == std::string::npos) {
      out.push_back(all.substr(at) + "<no CR LF>");
      break;
    }
    out.push_back(all.substr(at, e - at));
    at = e + 2;
  }
  return out;
}

class Twain : public ::testing::Test {
protected:
  void SetUp() override {
    VXTwainSim::Reset();
    VXModules::Register("TWAIN_32.DLL", {{"DSM_Entry", reinterpret_cast<FARPROC>(&Spy)}});
    VXSetWindowsDirectory("");
    VXGetGlobalSettings()->SetReleaseTwainResources(false);
    VXGetGlobalSettings()->SetIsInsideTwain(false);
    VXTWSetLogFile("");
    VXFixNow(FixedNow());
    gCalls.clear();
    fTemp = fs::temp_directory_path() / ("vxtwain-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(fTemp);
  }
  void TearDown() override {
    VXTWSetLogFile("");
    VXUnfixNow();
    VXSetWindowsDirectory("");
    VXModules::Register("TWAIN_32.DLL", {{"DSM_Entry", reinterpret_cast<FARPROC>(&VXTWDSMEntry)}});
    VXTwainSim::Reset();
    std::error_code ec;
    fs::remove_all(fTemp, ec);
  }
  std::string Path(const std::string& Name) const { return (fTemp / Name).string(); }
  fs::path fTemp;
};

// The state record of an operation that a test drives step by step.
struct TRecord {
  tgrec r;
  TVXTwainShared shared;
  TRecord() {
    VXTW_InitRecord(r);
    r.PTwainShared = &shared;
  }
  ~TRecord() { VXTW_FreeSharedResources(&shared, nullptr); }
};

TEST_F(Twain, DefaultWindowsFolderHoldsTheSourceManager) {
  char dir[256];
  const uint32_t n = GetWindowsDirectoryA(dir, sizeof(dir));
  ASSERT_GT(n, 0u);
  EXPECT_TRUE(fs::exists(std::string(dir, n) + "/TWAIN_32.DLL"));
  EXPECT_EQ(GetWindowsDirectoryA(dir, 2), n + 1);  // too small: the size needed
}

TEST_F(Twain, NoSourceManagerAnswersFalseMinusOneOrEmpty) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  VXSetWindowsDirectory(fTemp.string());  // no TWAIN_32.DLL there
  TVXTwainParams p(nullptr);
  EXPECT_EQ(p.SourceCount(), 0);
  EXPECT_EQ(p.GetSourceName(0), "");
  EXPECT_EQ(p.GetDefaultSource(), -1);
  EXPECT_FALSE(p.SelectSourceByName("Scanner A"));
  EXPECT_FALSE(p.GetFromScanner());
  EXPECT_FALSE(p.Update());
  EXPECT_DOUBLE_EQ(p.Gamma(), 2.2);
  std::string name = "x";
  TVXTwainShared shared;
  EXPECT_FALSE(VXTW_SelectSource(name, &shared, nullptr));
  EXPECT_EQ(p.LastError, 0);
  EXPECT_EQ(p.LastErrorStr, "");
  EXPECT_TRUE(VXTwainSim::Triplets().empty());
  // A folder given with a closing colon takes the file name directly.
  VXSetWindowsDirectory(Path("win") + ":");
  std::ofstream(Path("win") + ":TWAIN_32.DLL").put('x');
  EXPECT_EQ(p.SourceCount(), 1);
}

TEST_F(Twain, ShortOperationsSendThePublishedTriplets) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  VXTwainSim::AddSource(FullSource("Scanner B"));
  TVXTwainShared shared;
  std::vector<std::unique_ptr<TW_IDENTITY>> list;
  ASSERT_TRUE(VXTW_FillSourceList(list, &shared, nullptr));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(VXTWProductName(*list[1]), "Scanner B");
  EXPECT_EQ(VXTwainSim::Triplets(),
            (std::vector<std::string>{"DG_CONTROL DAT_PARENT MSG_OPENDSM 0", "DG_CONTROL DAT_IDENTITY MSG_GETFIRST 0",
                                      "DG_CONTROL DAT_IDENTITY MSG_GETNEXT 0", "DG_CONTROL DAT_IDENTITY MSG_GETNEXT 7",
                                      "DG_CONTROL DAT_PARENT MSG_CLOSEDSM 0"}));
  VXTwainSim::ClearTriplets();
  std::string name;
  VXTW_GetDefaultSourceName(&shared, nullptr, name);
  EXPECT_EQ(name, "Scanner A");
  EXPECT_EQ(VXTwainSim::Triplets(),
            (std::vector<std::string>{"DG_CONTROL DAT_PARENT MSG_OPENDSM 0", "DG_CONTROL DAT_IDENTITY MSG_GETDEFAULT 0",
                                      "DG_CONTROL DAT_PARENT MSG_CLOSEDSM 0"}));
  // The manager's own dialog: the scripted pick, else cancel with the
  // default's name as the dialog left it.
  VXTwainSim::ClearTriplets();
  VXTwainSim::SetUserSelect("Scanner B");
  EXPECT_TRUE(VXTW_SelectSource(name, &shared, nullptr));
  EXPECT_EQ(name, "Scanner B");
  EXPECT_EQ(VXTwainSim::Triplets(),
            (std::vector<std::string>{"DG_CONTROL DAT_PARENT MSG_OPENDSM 0", "DG_CONTROL DAT_IDENTITY MSG_GETDEFAULT 0",
                                      "DG_CONTROL DAT_IDENTITY MSG_USERSELECT 0", "DG_CONTROL DAT_PARENT MSG_CLOSEDSM 0"}));
  VXTwainSim::SetUserSelect("");
  EXPECT_FALSE(VXTW_SelectSource(name, &shared, nullptr));
  EXPECT_EQ(name, "Scanner B");  // the choice became the default
  // A busy engine refuses at once.
  VXTwainSim::ClearTriplets();
  VXGetGlobalSettings()->SetIsInsideTwain(true);
  EXPECT_FALSE(VXTW_FillSourceList(list, &shared, nullptr));
  VXTW_GetDefaultSourceName(&shared, nullptr, name);
  EXPECT_EQ(name, "");
  VXGetGlobalSettings()->SetIsInsideTwain(false);
  EXPECT_TRUE(VXTwainSim::Triplets().empty());
  VXTW_FreeSharedResources(&shared, nullptr);
  EXPECT_EQ(shared.hDSMLib, nullptr);
  EXPECT_EQ(shared.hproxy, nullptr);
}

TEST_F(Twain, IdentityWalksEndAtAFailureAndAfterAThousand) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  VXTwainSim::AddSource(FullSource("Scanner B"));
  VXTwainSim::SetFault("DG_CONTROL DAT_IDENTITY MSG_GETNEXT", TWRC_FAILURE, TWCC_BUMMER);
  TVXTwainShared shared;
  std::vector<std::unique_ptr<TW_IDENTITY>> list;
  ASSERT_TRUE(VXTW_FillSourceList(list, &shared, nullptr));
  EXPECT_EQ(list.size(), 1u);
  VXTwainSim::Reset();
  for (int i = 0; i < 1005; ++i) VXTwainSim::AddSource(Source("S" + std::to_string(i), {}));
  ASSERT_TRUE(VXTW_FillSourceList(list, &shared, nullptr));
  EXPECT_EQ(list.size(), 1000u);
  VXTW_FreeSharedResources(&shared, nullptr);
}

TEST_F(Twain, ReadingCapabilitiesSendsThePublishedTriplets) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  VXTwainSim::AddSource(FullSource("Scanner B"));
  TVXTwainParams p(nullptr);
  ASSERT_EQ(p.SourceCount(), 2);
  p.SetAcquireFrameEnabled(true);
  for (bool send : {false, true}) {
    SCOPED_TRACE(send ? "Update" : "GetFromScanner");
    VXTwainSim::ClearTriplets();
    p.SetSelectedSource(1);  // reads the capabilities at once the first time
    VXTwainSim::ClearTriplets();
    ASSERT_TRUE(send ? p.Update() : p.GetFromScanner());
    std::vector<std::string> t = VXTwainSim::Triplets();
    ASSERT_GT(t.size(), 8u);
    const std::vector<std::string> head = {"DG_CONTROL DAT_PARENT MSG_OPENDSM 0", "DG_CONTROL DAT_IDENTITY MSG_GETFIRST 0",
                                           "DG_CONTROL DAT_IDENTITY MSG_GETNEXT 0", "DG_CONTROL DAT_IDENTITY MSG_OPENDS 0"};
    EXPECT_EQ(std::vector<std::string>(t.begin(), t.begin() + 4), head);
    EXPECT_EQ(t[t.size() - 3], "DG_IMAGE DAT_IMAGELAYOUT MSG_GET 0");
    EXPECT_EQ(t[t.size() - 2], "DG_CONTROL DAT_IDENTITY MSG_CLOSEDS 0");
    EXPECT_EQ(t.back(), "DG_CONTROL DAT_PARENT MSG_CLOSEDSM 0");
    bool sawSet = false;
    for (size_t i = 4; i + 3 < t.size(); ++i) {
      EXPECT_TRUE(t[i] == "DG_CONTROL DAT_CAPABILITY MSG_GET 0" || t[i] == "DG_CONTROL DAT_CAPABILITY MSG_SET 0" ||
                  t[i] == "DG_IMAGE DAT_IMAGELAYOUT MSG_SET 0")
          << t[i];
      sawSet |= t[i].find("MSG_SET") != std::string::npos;
    }
    EXPECT_EQ(sawSet, send);  // the first read already set the units to inches
    if (!send) {
      EXPECT_DOUBLE_EQ(p.AcquireFrameRight(), 8.5);
      EXPECT_DOUBLE_EQ(p.AcquireFrameBottom(), 11.0);
    }
  }
}

TEST_F(Twain, SelectedSourceNoLongerInstalledOpensTheDefault) {
  VXTwainSim::AddSource(Source("Scanner A", {OneCap(ICAP_GAMMA, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 1.5})")}));
  VXTwainSim::AddSource(Source("Scanner B", {OneCap(ICAP_GAMMA, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 2.5})")}));
  TVXTwainParams p(nullptr);
  ASSERT_TRUE(p.SelectSourceByName("SCANNER B"));
  EXPECT_DOUBLE_EQ(p.Gamma(), 2.5);
  VXTwainSim::Reset();
  VXTwainSim::AddSource(Source("Scanner A", {OneCap(ICAP_GAMMA, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 1.5})")}));
  VXTwainSim::AddSource(Source("scanner b", {OneCap(ICAP_GAMMA, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 3.5})")}));
  VXTwainSim::ClearTriplets();
  ASSERT_TRUE(p.GetFromScanner());
  EXPECT_DOUBLE_EQ(p.Gamma(), 1.5);  // the name differs in case: the default is opened
  const std::vector<std::string> t = VXTwainSim::Triplets();
  EXPECT_EQ(std::vector<std::string>(t.begin(), t.begin() + 5),
            (std::vector<std::string>{"DG_CONTROL DAT_PARENT MSG_OPENDSM 0", "DG_CONTROL DAT_IDENTITY MSG_GETFIRST 0",
                                      "DG_CONTROL DAT_IDENTITY MSG_GETNEXT 0", "DG_CONTROL DAT_IDENTITY MSG_GETNEXT 7",
                                      "DG_CONTROL DAT_STATUS MSG_GET 0"}));
  EXPECT_EQ(t[5], "DG_CONTROL DAT_IDENTITY MSG_OPENDS 0");
}

TEST_F(Twain, TwoOperationsLoadTheManagerOnce) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  VXTWSetLogFile(Path("twain.log"));
  TVXTwainShared shared;
  std::string name;
  VXTW_GetDefaultSourceName(&shared, nullptr, name);
  ASSERT_NE(shared.hDSMLib, nullptr);
  ASSERT_NE(shared.hproxy, nullptr);
  VXTW_GetDefaultSourceName(&shared, nullptr, name);
  EXPECT_EQ(name, "Scanner A");
  const std::vector<std::string> lines = ReadLines(Path("twain.log"));
  int loads = 0, reuses = 0, kept = 0;
  for (const std::string& l : lines) {
    loads += l == kStamp + "  VXTW_LoadSourceManager : Load OK";
    reuses += l == kStamp + "  VXTW_LoadSourceManager : already loaded";
    kept += l == kStamp + "  VXTW_UnloadSourceManager not Unloaded, for future uses";
  }
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(reuses, 1);
  EXPECT_EQ(kept, 2);
  // Released at the end of each operation when the settings say so.
  VXGetGlobalSettings()->SetReleaseTwainResources(true);
  VXTW_GetDefaultSourceName(&shared, nullptr, name);
  EXPECT_EQ(shared.hDSMLib, nullptr);
  EXPECT_EQ(shared.hproxy, nullptr);
}

TEST_F(Twain, SourceListRunLog) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  VXTWSetLogFile(Path("twain.log"));
  TVXTwainParams p(nullptr);
  EXPECT_EQ(p.SourceCount(), 1);
  std::vector<std::string> want = {"Twain log. Core version 6.0.0 9 3 2015"};
  for (const char* l : {"CreateProxyWindow", "  CreateProxyWindow : created", "VXTW_LoadSourceManager",
                        "  VXTW_LoadSourceManager : Load OK", "VXTW_OpenSourceManager", "  VXTW_OpenSourceManager : Ok",
                        "VXTW_CloseSourceManager", "VXTW_EmptyMessageQueue", "  VXTW_EmptyMessageQueue : end",
                        "  VXTW_CloseSourceManager : Ok", "VXTW_UnloadSourceManager",
                        "  VXTW_UnloadSourceManager not Unloaded, for future uses", "DestroyProxyWindow",
                        "  DestroyProxyWindow : not destroyed, for future uses"})
    want.push_back(kStamp + l);
  EXPECT_EQ(ReadLines(Path("twain.log")), want);
  // An empty name ends logging and closes the file.
  VXTWSetLogFile("");
  EXPECT_EQ(p.LogFile(), "");
  p.FreeResources();
  EXPECT_EQ(ReadLines(Path("twain.log")), want);
}

TEST_F(Twain, CapabilityRunLog) {
  // A source with a few capabilities: the rest are refused, each with its
  // error line.
  VXTwainSim::AddSource(Source(
      "Scanner A", {OneCap(ICAP_UNITS, R"({"ConType": "ONEVALUE", "ItemType": "UINT16", "Value": 0})"),
                    OneCap(ICAP_XRESOLUTION, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": -1})"),
                    OneCap(ICAP_GAMMA, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 2})"),
                    OneCap(CAP_INDICATORS, kBool0)}));
  TVXTwainParams p(nullptr);
  ASSERT_EQ(p.SourceCount(), 1);
  VXTWSetLogFile(Path("twain.log"));
  ASSERT_TRUE(p.GetFromScanner());
  EXPECT_EQ(p.XResolution()->Count(), 1);
  EXPECT_DOUBLE_EQ(p.XResolution()->GetItem(0), 300.0);  // a negative one-value resolution
  EXPECT_FALSE(p.ProgressIndicators());
  EXPECT_EQ(p.LastError, TWRC_FAILURE);
  EXPECT_EQ(p.LastErrorStr, "Capability not supported by Source.");

  std::vector<std::string> want = {"Twain log. Core version 6.0.0 9 3 2015"};
  auto add = [&](const std::string& l) { want.push_back(kStamp + l); };
  auto refused = [&](const char* hex) {
    add(std::string("GetCapability : $") + hex);
    add("VXTW_DS : Capability not supported by Source.");
    add("  GetCapability : FAILED!");
  };
  auto got = [&](const char* hex, const char* reader, const char* outcome) {
    add(std::string("GetCapability : $") + hex);
    add("  GetCapability : Ok");
    if (*reader) {
      add(reader);
      add(outcome);
    }
  };
  for (const char* l : {"CreateProxyWindow", "  CreateProxyWindow : already created", "VXTW_LoadSourceManager",
                        "  VXTW_LoadSourceManager : already loaded", "VXTW_OpenSourceManager",
                        "  VXTW_OpenSourceManager : Ok", "VXTW_OpenSource", "  VXTW_OpenSource : Ok"})
    add(l);
  got("0102", "GetUINT16asInteger", "  GetUINT16asInteger : ok");
  got("1118", "GetFix32asDouble", "  GetFix32asDouble : ok");
  refused("1119");
  for (const char* hex : {"1124", "1125", "1103", "1101", "1123", "1121", "0101", "112B"}) refused(hex);
  got("1108", "GetOnFIX32asDouble", "  GetOneFIX32asDouble : ok");
  refused("1112");
  refused("1111");
  for (const char* hex : {"1002", "1007", "1151", "1150", "1100", "1152", "1134", "1106", "110A", "1113", "1010",
                          "100F", "0001", "1003", "100D", "1013", "1012", "1110", "1122"})
    refused(hex);
  got("100B", "", "");
  for (const char* l : {"VXTW_CloseSource", "  VXTW_CloseSource : Ok", "VXTW_CloseSourceManager",
                        "VXTW_EmptyMessageQueue", "  VXTW_EmptyMessageQueue : end", "  VXTW_CloseSourceManager : Ok",
                        "VXTW_UnloadSourceManager", "  VXTW_UnloadSourceManager not Unloaded, for future uses",
                        "DestroyProxyWindow", "  DestroyProxyWindow : not destroyed, for future uses"})
    add(l);
  EXPECT_EQ(ReadLines(Path("twain.log")), want);
}

TEST_F(Twain, LogThatCannotBeWrittenStopsLoggingNotTheOperation) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  EXPECT_THROW(VXTWSetLogFile(Path("no/such/folder/twain.log")), EVXException);
  EXPECT_EQ(VXTWLogFileName(), "");
  VXTWSetLogFile(Path("twain.log"));
  fs::remove(Path("twain.log"));
  fs::create_directory(Path("twain.log"));  // appending now fails
  TVXTwainParams p(nullptr);
  VXTwainSim::ClearTriplets();
  EXPECT_TRUE(p.GetFromScanner());
  EXPECT_EQ(VXTWLogFileName(), "");
  const std::vector<std::string> t = VXTwainSim::Triplets();
  ASSERT_GE(t.size(), 2u);
  EXPECT_EQ(t[t.size() - 2], "DG_CONTROL DAT_IDENTITY MSG_CLOSEDS 0");
  EXPECT_EQ(t.back(), "DG_CONTROL DAT_PARENT MSG_CLOSEDSM 0");
}

TEST_F(Twain, EngineEdgeCases) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  TRecord t;
  tgrec& r = t.r;
  // Below state 3 the condition code is a sequence error, without a triplet.
  EXPECT_EQ(VXTW_GetConditionCode(r), TWCC_SEQERROR);
  ASSERT_TRUE(VXTW_LoadSourceManager(r));
  EXPECT_EQ(VXTW_GetConditionCode(r), TWCC_SEQERROR);
  EXPECT_TRUE(VXTwainSim::Triplets().empty());
  ASSERT_TRUE(VXTW_OpenSourceManager(r, nullptr));
  EXPECT_FALSE(VXTW_EnableSource(r, nullptr));  // not open yet

  // The first error detail of an operation is kept.
  VXTwainSim::SetFault("DG_CONTROL DAT_IDENTITY MSG_OPENDS", TWRC_FAILURE, TWCC_MAXCONNECTIONS, 1);
  EXPECT_FALSE(VXTW_OpenSource(r));
  EXPECT_EQ(r.nErrDetail, ED_DSM_FAILURE);
  EXPECT_EQ(r.nErrRC, TWRC_FAILURE);
  EXPECT_EQ(r.nErrCC, TWCC_MAXCONNECTIONS);
  ASSERT_TRUE(VXTW_OpenSource(r));
  VXTwainSim::SetFault("DG_CONTROL DAT_USERINTERFACE MSG_ENABLEDS", TWRC_CANCEL, TWCC_OPERATIONERROR, 1);
  EXPECT_FALSE(VXTW_EnableSource(r, nullptr));
  EXPECT_EQ(r.nErrDetail, ED_DSM_FAILURE);
  EXPECT_EQ(r.nErrCC, TWCC_MAXCONNECTIONS);
  VXTW_ClearErrorDetail(r);
  VXTwainSim::SetFault("DG_CONTROL DAT_USERINTERFACE MSG_ENABLEDS", TWRC_FAILURE, TWCC_BADVALUE, 1);
  EXPECT_FALSE(VXTW_EnableSource(r, nullptr));
  EXPECT_EQ(r.nErrDetail, ED_DS_FAILURE);
  EXPECT_EQ(r.nErrCC, TWCC_BADVALUE);

  // TWRC_CHECKSTATUS counts as enabled.
  VXTwainSim::SetEnableCheckStatus(true);
  EXPECT_TRUE(VXTW_EnableSource(r, nullptr));
  EXPECT_EQ(r.rc, TWRC_CHECKSTATUS);
  EXPECT_EQ(r.nState, 5);
  EXPECT_TRUE(VXTW_CloseSource(r));
  EXPECT_EQ(r.nState, 3);
  EXPECT_TRUE(VXTW_CloseSourceManager(r, nullptr));
  EXPECT_TRUE(VXTW_UnloadSourceManager(r, true));
}

TEST_F(Twain, MessageHookServesTheSourcesMessages) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  TRecord t;
  tgrec& r = t.r;
  r.modal = true;
  ASSERT_TRUE(VXTW_LoadSourceManager(r));
  ASSERT_TRUE(VXTW_OpenSourceManager(r, nullptr));
  ASSERT_TRUE(VXTW_OpenSource(r));
  ASSERT_TRUE(VXTW_EnableSource(r, nullptr));
  // A message of no concern to the source.
  MSG m{};
  m.message = WM_USER + 1;
  VXTwainSim::ClearTriplets();
  EXPECT_FALSE(VXTW_MessageHook(r, m));
  EXPECT_EQ(VXTwainSim::Triplets(), std::vector<std::string>{"DG_CONTROL DAT_EVENT MSG_PROCESSEVENT 5"});
  // A transfer offered with no page to give: no image information, the
  // pending transfers are reset and the source disabled.
  ASSERT_TRUE(VXTwainSim::PostEvent(MSG_XFERREADY));
  VXTwainSim::ClearTriplets();
  VXTW_EmptyMessageQueue(r);
  EXPECT_EQ(r.nState, 4);
  EXPECT_EQ(VXTwainSim::Triplets(),
            (std::vector<std::string>{"DG_CONTROL DAT_EVENT MSG_PROCESSEVENT 4", "DG_IMAGE DAT_IMAGEINFO MSG_GET 1",
                                      "DG_CONTROL DAT_PENDINGXFERS MSG_RESET 0",
                                      "DG_CONTROL DAT_USERINTERFACE MSG_DISABLEDS 0"}));
  ASSERT_TRUE(VXTW_EnableSource(r, nullptr));
  // The source's OK after its settings: disabled, and its settings kept.
  ASSERT_TRUE(VXTwainSim::PostEvent(MSG_CLOSEDSOK));
  VXTW_EmptyMessageQueue(r);
  EXPECT_TRUE(r.closedsok);
  EXPECT_EQ(r.nState, 4);
  // A close request disables it.
  ASSERT_TRUE(VXTW_EnableSource(r, nullptr));
  ASSERT_TRUE(VXTwainSim::PostEvent(MSG_CLOSEDSREQ));
  VXTW_EmptyMessageQueue(r);
  EXPECT_EQ(r.nState, 4);
  EXPECT_TRUE(VXTW_CloseSource(r));
  EXPECT_TRUE(VXTW_CloseSourceManager(r, nullptr));
  VXTW_UnloadSourceManager(r, true);
}

TEST_F(Twain, SourceSettingsGoToTheSourceAndBack) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  TVXTwainParams p(nullptr);
  p.SourceSettings()->Write("abc", 3);
  TRecord t;
  tgrec& r = t.r;
  r.TWParams = &p;
  ASSERT_TRUE(VXTW_LoadSourceManager(r));
  ASSERT_TRUE(VXTW_OpenSourceManager(r, nullptr));
  VXTwainSim::ClearTriplets();
  ASSERT_TRUE(VXTW_OpenSource(r));
  EXPECT_EQ(VXTwainSim::Triplets().back(), "DG_CONTROL DAT_CUSTOMDSDATA MSG_SET 0");
  p.SourceSettings()->Clear();
  VXTW_GetCustomDSData(r);
  ASSERT_EQ(p.SourceSettings()->Size(), 3);
  EXPECT_EQ(std::memcmp(p.SourceSettings()->Memory(), "abc", 3), 0);
  VXTW_CloseSource(r);
  VXTW_CloseSourceManager(r, nullptr);
  VXTW_UnloadSourceManager(r, true);
}

TEST_F(Twain, ManagerEnforcesTheStateTable) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  TW_IDENTITY app{}, src{};
  TW_STATUS st{};
  HWND parent = nullptr;
  EXPECT_EQ(VXTWDSMEntry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_FAILURE);
  VXTWDSMEntry(&app, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &st);
  EXPECT_EQ(st.ConditionCode, TWCC_SEQERROR);
  EXPECT_EQ(VXTWDSMEntry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &src), TWRC_FAILURE);
  ASSERT_EQ(VXTWDSMEntry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
  EXPECT_EQ(VXTWDSMEntry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_FAILURE);
  ASSERT_EQ(VXTWDSMEntry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &src), TWRC_SUCCESS);
  EXPECT_EQ(VXTWProductName(src), "Scanner A");
  // A source refuses triplets made without the control word it expects.
  TW_USERINTERFACE ui{0, 0, nullptr};
  const uint16_t saved = VXGet8087CW();
  VXSet8087CW(0x037F);
  EXPECT_EQ(VXTWDSMEntry(&app, &src, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_FAILURE);
  VXSet8087CW(0x133F);
  VXTWDSMEntry(&app, &src, DG_CONTROL, DAT_STATUS, MSG_GET, &st);
  EXPECT_EQ(st.ConditionCode, TWCC_BUMMER);
  EXPECT_EQ(VXTWDSMEntry(&app, &src, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_FAILURE);
  VXTWDSMEntry(&app, &src, DG_CONTROL, DAT_STATUS, MSG_GET, &st);
  EXPECT_EQ(st.ConditionCode, TWCC_SEQERROR);
  // The manager stays open while a source is.
  EXPECT_EQ(VXTWDSMEntry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_FAILURE);
  EXPECT_EQ(VXTWDSMEntry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &src), TWRC_SUCCESS);
  VXSet8087CW(saved);
  EXPECT_EQ(VXTWDSMEntry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent), TWRC_SUCCESS);
}

TEST_F(Twain, ConditionTexts) {
  EXPECT_EQ(VXTW_ConditionText(0), "Operation worked.");
  EXPECT_EQ(VXTW_ConditionText(11), "Illegal operation for current Source Manager Source state.");
  EXPECT_EQ(VXTW_ConditionText(21), "Transfer failed because of a feeder error");
  EXPECT_EQ(VXTW_ConditionText(7), "Unknown Condition 7");
}

// ---------------------------------------------------------------------------
// TVXTwainParams

TEST_F(Twain, SelectSourceByNameExactThenLongestPrefix) {
  for (const char* n : {"Scan", "Scanner Pro X", "Flatbed", "  Padded  "}) VXTwainSim::AddSource(Source(n, {}));
  TVXTwainParams p(nullptr);
  struct {
    const char* Given;
    bool Found;
    int32_t Index;
  } cases[] = {
      {"scanner pro x", true, 1},  // exact, ignoring case
      {"Scanner Pro", true, 1},    // "Scan" is shorter than the common part with "Scanner Pro X"
      {"Scanning", true, 0},       // "Scan" is its beginning
      {"PADDED", true, 3},         // installed names compare trimmed
      {" Flatbed", false, 3},      // a leading blank matches nothing
      {"Zebra", false, 3},
      {"", false, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Given);
    EXPECT_EQ(p.SelectSourceByName(c.Given), c.Found);
    EXPECT_EQ(p.SelectedSource(), c.Index);
  }
  EXPECT_EQ(p.SourceNameToIndex("FLATBED"), 2);
  EXPECT_EQ(p.SourceNameToIndex("Flat"), -1);
  EXPECT_EQ(p.GetSourceName(1), "Scanner Pro X");
  EXPECT_EQ(p.GetSourceName(9), "");
  EXPECT_THROW(p.GetSourceName(-1), EVXException);
}

TEST_F(Twain, GetDefaultSource) {
  TVXTwainParams empty(nullptr);
  EXPECT_EQ(empty.GetDefaultSource(), -1);
  VXTwainSim::AddSource(Source("Scanner A", {}));
  VXTwainSim::AddSource(Source("Scanner B", {}));
  TVXTwainParams p(nullptr);
  EXPECT_EQ(p.GetDefaultSource(), 0);
  VXTwainSim::SetUserSelect("Scanner B");
  std::string name;
  ASSERT_TRUE(VXTW_SelectSource(name, &p.TwainShared, nullptr));
  EXPECT_EQ(p.GetDefaultSource(), 1);
  // No default name to be had: the first source.
  VXTwainSim::SetFault("DG_CONTROL DAT_IDENTITY MSG_GETDEFAULT", TWRC_FAILURE, TWCC_NODS);
  EXPECT_EQ(p.GetDefaultSource(), 0);
}

TEST_F(Twain, IdentityAndGamma) {
  VXTwainSim::AddSource(Source("Scanner A", {}));
  VXTwainSim::AddSource(Source("Scanner B", {OneCap(ICAP_GAMMA, R"({"ConType": "ONEVALUE", "ItemType": "FIX32", "Value": 1.8})")}));
  TVXTwainParams p(nullptr);
  EXPECT_EQ(p.AppProductName(), "n/a");
  p.SetAppProductName(std::string(40, 'x') );
  EXPECT_EQ(p.AppProductName(), std::string(32, 'x'));
  EXPECT_EQ(p.SourceCount(), 2);
  VXTwainSim::ClearTriplets();
  EXPECT_DOUBLE_EQ(p.Gamma(), 2.2);  // the source has none
  EXPECT_FALSE(VXTwainSim::Triplets().empty());
  VXTwainSim::ClearTriplets();
  EXPECT_DOUBLE_EQ(p.Gamma(), 2.2);  // read once
  EXPECT_TRUE(VXTwainSim::Triplets().empty());
  p.SetSelectedSource(1);
  EXPECT_NEAR(p.Gamma(), 1.8, 1e-4);
  VXTwainSim::ClearTriplets();
  p.SetSelectedSource(1);  // the same source: nothing is read again
  EXPECT_TRUE(VXTwainSim::Triplets().empty());
  EXPECT_DOUBLE_EQ(p.AcquireFrame(4), 0.0);
}

TEST_F(Twain, AssignCopiesTheListedFields) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  VXTwainSim::AddSource(FullSource("Scanner B"));
  TVXTwainParams a(nullptr), b(nullptr);
  ASSERT_TRUE(a.SelectSourceByName("Scanner B"));  // fills the list and the cache
  ASSERT_TRUE(a.CapabilitiesValid());
  a.SetVisibleDialog(false);
  a.SetShowSettingsOnly(true);
  a.SetCompatibilityMode(true);
  a.SetLanguage(7);
  a.SetCountry(49);
  a.SourceSettings()->Write("xy", 2);
  a.XResolution()->SetCurrentValue(150);
  a.SetFeederEnabled(true);
  a.SetFilter(vxtwBlue);
  a.SetHighlight(200);
  a.SetAcceptedImages(3);
  a.SetAcquireFrameRight(4.25);
  a.SetBufferedTransfer(false);
  a.SetUseMemoryHandle(false);
  a.SetFileTransfer(true);
  a.SetUndefinedImageSize(true);
  a.SetAppManufacturer("Maker");
  a.LastError = 5;
  a.LastErrorStr = "bad";
  const bool feederLoaded = a.FeederLoaded();
  EXPECT_TRUE(feederLoaded);
  b.Assign(&a);
  EXPECT_FALSE(b.VisibleDialog());
  EXPECT_TRUE(b.ShowSettingsOnly());
  EXPECT_TRUE(b.CompatibilityMode());
  EXPECT_EQ(b.Language(), 7);
  EXPECT_EQ(b.Country(), 49);
  EXPECT_EQ(b.SelectedSource(), 1);
  EXPECT_EQ(b.SourceSettings()->Size(), 2);
  EXPECT_EQ(b.AppManufacturer(), "Maker");
  EXPECT_EQ(b.LastError, 0);  // not copied
  EXPECT_EQ(b.LastErrorStr, "");
  EXPECT_EQ(b.TwainShared.hDSMLib, nullptr);
  EXPECT_FALSE(b.CapabilitiesValid());
  // Reading b's cache would fill it from the source: keep the source out of
  // it to see what was copied.
  VXGetGlobalSettings()->SetIsInsideTwain(true);
  EXPECT_NE(b.XResolution(), a.XResolution());  // each keeps its own lists
  EXPECT_DOUBLE_EQ(b.XResolution()->CurrentValue(), 150.0);
  EXPECT_TRUE(b.XResolution()->Changed().Contains(vxlCurrentValue));
  EXPECT_EQ(b.XResolution()->Count(), 3);
  EXPECT_TRUE(b.FeederEnabled());
  EXPECT_EQ(b.Filter(), vxtwBlue);
  EXPECT_DOUBLE_EQ(b.Highlight(), 200);
  EXPECT_EQ(b.AcceptedImages(), 3);
  EXPECT_DOUBLE_EQ(b.AcquireFrameRight(), 4.25);
  EXPECT_NEAR(b.Gamma(), 1.8, 1e-4);
  EXPECT_FALSE(b.BufferedTransfer());
  EXPECT_FALSE(b.UseMemoryHandle());
  EXPECT_TRUE(b.FileTransfer());
  EXPECT_TRUE(b.UndefinedImageSize());
  EXPECT_FALSE(b.FeederLoaded());  // not copied
  EXPECT_FALSE(b.PaperDetectable());
  EXPECT_FALSE(b.DuplexSupported());
  VXGetGlobalSettings()->SetIsInsideTwain(false);
  EXPECT_EQ(b.GetSourceName(1), "Scanner B");  // the list came along
}

// ---------------------------------------------------------------------------
// Capabilities

TEST_F(Twain, Fix32) {
  struct {
    double Value;
    int16_t Whole;
    uint16_t Frac;
  } cases[] = {{1.5, 1, 32768},     {-1.5, -2, 32768},  {0, 0, 0},         {300, 300, 0},
               {-0.25, -1, 49152},  {1e10, 0, 0},       {-1e10, 0, 0},     {NAN, 0, 0},
               {32767.5, 32767, 32768}, {-32768, -32768, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Value);
    const TW_FIX32 f = FloatToFIX32(c.Value);
    EXPECT_EQ(f.Whole, c.Whole);
    EXPECT_EQ(f.Frac, c.Frac);
  }
  EXPECT_DOUBLE_EQ(FIX32ToFloat(FloatToFIX32(-1.5)), -1.5);
}

std::vector<uint8_t> Bytes(std::initializer_list<int> b) {
  std::vector<uint8_t> v;
  for (int x : b) v.push_back(uint8_t(x));
  return v;
}

TEST_F(Twain, ContainerReaders) {
  // ENUMERATION of FIX32 100, 200, -50 with (CurrentIndex, DefaultIndex).
  auto fixEnum = [](uint32_t cur, uint32_t def) {
    std::vector<uint8_t> b = Bytes({7, 0, 3, 0, 0, 0});
    for (uint32_t v : {cur, def})
      for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    for (int w : {100, 200, -50}) {
      b.push_back(uint8_t(w));
      b.push_back(uint8_t(w >> 8));
      b.push_back(0);
      b.push_back(0);
    }
    return b;
  };
  struct {
    const char* Name;
    uint16_t ConType;
    std::vector<uint8_t> Data;
    bool Ok;
    int32_t Count;
    double Current;
  } cases[] = {
      {"enumeration", TWON_ENUMERATION, fixEnum(1, 0), true, 3, 200},
      {"current past the end takes the default", TWON_ENUMERATION, fixEnum(3, 2), true, 3, -50},
      {"both past the end take item 0", TWON_ENUMERATION, fixEnum(0xFFFFFFFF, 9), true, 3, 100},
      {"count past the block", TWON_ENUMERATION, [&] { auto b = fixEnum(0, 0); b[2] = 4; return b; }(), false, 0, 0},
      {"empty enumeration", TWON_ENUMERATION, Bytes({7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), false, 0, 0},
      {"array keeps negatives", TWON_ARRAY, Bytes({7, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0, 0, 3, 0, 0, 0x80}), true, 2, 0},
      {"array count past the block", TWON_ARRAY, Bytes({7, 0, 3, 0, 0, 0, 1, 0, 0, 0}), false, 0, 0},
      {"negative one-value resolution", TWON_ONEVALUE, Bytes({7, 0, 0xFE, 0xFF, 0, 0}), true, 1, 300},
      {"short one value", TWON_ONEVALUE, Bytes({7, 0, 1, 0}), false, 0, 0},
      {"range", TWON_RANGE, Bytes({7, 0, 50, 0, 0, 0, 0x58, 2, 0, 0, 1, 0, 0, 0, 44, 1, 0, 0, 0x96, 0, 0, 0x80}), true, 0, 150.5},
      {"short range", TWON_RANGE, Bytes({7, 0, 50, 0, 0, 0}), false, 0, 0},
      {"unknown container", 9, Bytes({7, 0, 1, 0, 0, 0}), false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXDoubleList l;
    // An exact-size copy, so that the sanitizer build sees any read past it.
    std::unique_ptr<uint8_t[]> block(new uint8_t[c.Data.size()]);
    std::memcpy(block.get(), c.Data.data(), c.Data.size());
    EXPECT_EQ(VXTWReadFix32List(ICAP_XRESOLUTION, c.ConType, block.get(), c.Data.size(), &l), c.Ok);
    if (c.Ok) {
      EXPECT_EQ(l.Count(), c.Count);
      EXPECT_DOUBLE_EQ(l.CurrentValue(), c.Current);
    }
  }
  TVXDoubleList neg;
  const auto arr = Bytes({7, 0, 1, 0, 0, 0, 0xFE, 0xFF, 0, 0});
  ASSERT_TRUE(VXTWReadFix32List(ICAP_XRESOLUTION, TWON_ARRAY, arr.data(), arr.size(), &neg));
  EXPECT_DOUBLE_EQ(neg.GetItem(0), -2.0);  // only one values fall back to 300

  TVXIntegerList u;
  const auto emptyEnum = Bytes({4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_TRUE(VXTWReadUINT16List(TWON_ENUMERATION, emptyEnum.data(), emptyEnum.size(), &u));
  EXPECT_EQ(u.Count(), 0);
  const auto range = Bytes({4, 0, 0xFF, 0xFF, 9, 9, 2, 0, 7, 7, 1, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0xAA, 0xBB});
  EXPECT_TRUE(VXTWReadUINT16List(TWON_RANGE, range.data(), range.size(), &u));
  EXPECT_EQ(u.RangeMin(), 0xFFFF);
  EXPECT_EQ(u.RangeMax(), 2);
  EXPECT_EQ(u.CurrentValue(), 5);
  std::string text;
  const auto str = Bytes({9, 0, 'O', 'k', 0, 'x'});
  EXPECT_TRUE(VXTWReadString(str.data(), str.size(), text));
  EXPECT_EQ(text, "Ok");
  const auto unended = Bytes({9, 0, 'O', 'k'});
  EXPECT_FALSE(VXTWReadString(unended.data(), unended.size(), text));
}

TEST_F(Twain, ListSendsEnumerationOneValueAndRange) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  TVXTwainParams p(nullptr);
  TRecord t;
  tgrec& r = t.r;
  r.TWParams = &p;
  ASSERT_TRUE(VXTW_LoadSourceManager(r));
  ASSERT_TRUE(VXTW_OpenSourceManager(r, nullptr));
  ASSERT_TRUE(VXTW_OpenSource(r));
  TVXDoubleList l;
  l.Add(100);
  l.Add(200);
  l.SetCurrentValue(150);  // not one of the items
  l.SetRangeMin(50);
  l.SetRangeMax(600);
  l.SetRangeStep(1.5);
  gCalls.clear();
  SetDoubleAsFIX32Capability(r, ICAP_CONTRAST, &l);  // the source takes the list but not 150
  ASSERT_EQ(gCalls.size(), 4u);
  EXPECT_EQ(gCalls[0].MSG, MSG_GET);
  EXPECT_EQ(gCalls[1].ConType, TWON_ENUMERATION);
  EXPECT_EQ(gCalls[1].Bytes, Bytes({7, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 100, 0, 0, 0, 200, 0, 0, 0, 0, 0}));
  EXPECT_EQ(gCalls[2].ConType, TWON_ONEVALUE);
  EXPECT_EQ(gCalls[2].Bytes, Bytes({7, 0, 150, 0, 0, 0}));
  EXPECT_EQ(gCalls[3].ConType, TWON_RANGE);
  EXPECT_EQ(gCalls[3].Bytes, Bytes({7, 0, 50, 0, 0, 0, 0x58, 2, 0, 0, 1, 0, 0, 0x80, 0, 0, 0, 0, 150, 0, 0, 0}));
  // An integer list sends no range; a list without changes sends nothing.
  TVXIntegerList il;
  il.SetRangeMax(5);
  gCalls.clear();
  EXPECT_TRUE(SetIntegerAsUINT16Capability(r, ICAP_PIXELTYPE, &il));
  EXPECT_EQ(gCalls.size(), 1u);
  il.Add(0);
  il.Add(2);
  il.SetCurrentValue(2);
  gCalls.clear();
  EXPECT_TRUE(SetIntegerAsUINT16Capability(r, ICAP_PIXELTYPE, &il));
  ASSERT_EQ(gCalls.size(), 3u);
  EXPECT_EQ(gCalls[1].Bytes, Bytes({4, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(gCalls[2].Bytes, Bytes({4, 0, 2, 0, 0, 0}));
  // A refused read sends nothing.
  gCalls.clear();
  EXPECT_FALSE(SetOneUINT16Capability(r, 0x7777, 1));
  EXPECT_EQ(gCalls.size(), 1u);
  VXTW_CloseSource(r);
  VXTW_CloseSourceManager(r, nullptr);
  VXTW_UnloadSourceManager(r, true);
}

TEST_F(Twain, SetCapabilitiesInOrder) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  TVXTwainParams p(nullptr);
  ASSERT_TRUE(p.GetFromScanner());
  ASSERT_TRUE(p.DuplexSupported());
  p.PixelType()->SetCurrentValue(TWPT_PALETTE);  // sent as RGB
  p.BitDepth()->SetCurrentValue(8);
  p.SetAutoBright(true);
  p.Brightness()->SetCurrentValue(10);
  p.SetUndefinedImageSize(true);
  p.Contrast()->SetCurrentValue(20);
  p.SetFilter(vxtwGreen);
  p.Threshold()->SetCurrentValue(128);
  p.Rotation()->SetCurrentValue(90);
  p.XResolution()->SetCurrentValue(200);
  p.YResolution()->SetCurrentValue(200);
  p.XScaling()->SetCurrentValue(100);
  p.YScaling()->SetCurrentValue(100);
  p.SetAutoFeed(true);
  p.SetAutoDeskew(true);
  p.SetAutoBorderDetection(true);
  p.SetAutoRotate(true);
  p.SetAutoDiscardBlankPages(-1);
  p.SetHighlight(250);
  p.SetShadow(5);
  p.SetAcceptedImages(1);
  p.StandardSize()->SetCurrentValue(2);
  p.Orientation()->SetCurrentValue(1);
  p.SetAcquireFrameEnabled(true);
  p.SetAcquireFrame(2, 4);
  // A fresh source of the same name, whose units are not inches yet.
  VXTwainSim::Reset();
  VXTwainSim::AddSource(FullSource("Scanner A"));
  gCalls.clear();
  ASSERT_TRUE(p.Update());
  std::vector<uint16_t> want = {ICAP_PIXELTYPE, ICAP_BITDEPTH, ICAP_UNITS, ICAP_AUTOBRIGHT, ICAP_BRIGHTNESS,
                                ICAP_UNDEFINEDIMAGESIZE, ICAP_CONTRAST, ICAP_FILTER, ICAP_THRESHOLD, ICAP_ROTATION,
                                ICAP_PIXELFLAVOR, ICAP_COMPRESSION, ICAP_XRESOLUTION, ICAP_YRESOLUTION, ICAP_XSCALING,
                                ICAP_YSCALING, ICAP_PLANARCHUNKY, ICAP_XFERMECH, CAP_FEEDERENABLED, CAP_AUTOFEED,
                                ICAP_AUTOMATICDESKEW, ICAP_AUTOMATICBORDERDETECTION, ICAP_AUTOMATICROTATE,
                                ICAP_AUTODISCARDBLANKPAGES, ICAP_HIGHLIGHT, ICAP_SHADOW, CAP_AUTOSCAN, CAP_XFERCOUNT,
                                ICAP_SUPPORTEDSIZES, ICAP_ORIENTATION, CAP_INDICATORS, CAP_DUPLEXENABLED, 0xFFFF};
  EXPECT_EQ(SetCaps(), want);
  for (const TCapCall& c : gCalls) {
    if (c.MSG == MSG_SET && c.Cap == ICAP_PIXELTYPE) {
      EXPECT_EQ(c.Bytes, Bytes({4, 0, 2, 0, 0, 0}));
    }
  }
  // What the caller changed stays marked for the next send.
  EXPECT_TRUE(p.Contrast()->Changed().Contains(vxlCurrentValue));
  EXPECT_DOUBLE_EQ(p.XResolution()->CurrentValue(), 200);  // the source took it
  EXPECT_EQ(p.Filter(), vxtwGreen);
  // A plain read mirrors the source and clears the marks.
  ASSERT_TRUE(p.GetFromScanner());
  EXPECT_TRUE(p.Contrast()->Changed().Empty());
}

TEST_F(Twain, MemoryTransfersOnlyWhenOffered) {
  // A source that offers native transfers only.
  std::string src = FullSource("Scanner A");
  const std::string mech = "{\"ConType\": \"ENUMERATION\", \"ItemType\": \"UINT16\", \"Items\": [0, 1, 2], \"Current\": 0, \"Default\": 0}";
  src.replace(src.find(mech), mech.size(), R"({"ConType": "ONEVALUE", "ItemType": "UINT16", "Value": 0})");
  VXTwainSim::AddSource(src);
  VXTwainSim::AddSource(FullSource("Scanner B"));
  for (int32_t source : {0, 1}) {
    for (bool file : {false, true}) {
      SCOPED_TRACE(std::to_string(source) + (file ? " file" : " memory"));
      TVXTwainParams p(nullptr);
      ASSERT_EQ(p.SourceCount(), 2);
      p.SetSelectedSource(source);
      p.SetFileTransfer(file);
      TRecord t;
      tgrec& r = t.r;
      r.TWParams = &p;
      r.TransferMode = file ? tmFile : tmBuffered;
      ASSERT_TRUE(VXTW_LoadSourceManager(r));
      ASSERT_TRUE(VXTW_OpenSourceManager(r, nullptr));
      ASSERT_TRUE(VXTW_OpenSource(r));
      gCalls.clear();
      VXTW_SetCapabilities(r);
      bool setMech = false;
      for (const TCapCall& c : gCalls) setMech |= c.MSG == MSG_SET && c.Cap == ICAP_XFERMECH;
      EXPECT_EQ(setMech, source == 1 && !file);
      EXPECT_EQ(r.TransferMode, file ? tmFile : source == 1 ? tmBuffered : tmNative);
      VXTW_CloseSource(r);
      VXTW_CloseSourceManager(r, nullptr);
      VXTW_UnloadSourceManager(r, true);
    }
  }
}

TEST_F(Twain, CompatibilityModeSendsNothingAndReadsTheResolutions) {
  VXTwainSim::AddSource(FullSource("Scanner A"));
  TVXTwainParams p(nullptr);
  ASSERT_TRUE(p.GetFromScanner());
  p.SetCompatibilityMode(true);
  p.Contrast()->SetCurrentValue(3);
  gCalls.clear();
  ASSERT_TRUE(p.Update());
  ASSERT_EQ(gCalls.size(), 2u);
  EXPECT_EQ(gCalls[0].Cap, ICAP_XRESOLUTION);
  EXPECT_EQ(gCalls[1].Cap, ICAP_YRESOLUTION);
  EXPECT_EQ(gCalls[0].MSG, MSG_GET);
  EXPECT_TRUE(p.FileTransfer());
}

TEST_F(Twain, SimulatedSourceDescriptionsAreChecked) {
  EXPECT_THROW(VXTwainSim::AddSource("not json"), EVXException);
  EXPECT_THROW(VXTwainSim::AddSource(Source("X", {OneCap(1, R"({"ConType": "ONEVALUE", "ItemType": "FLOAT", "Value": 1})")})),
               EVXException);
  EXPECT_THROW(VXTwainSim::AddSource(Source("X", {OneCap(1, R"({"ConType": 5, "Raw": "0"})")})), EVXException);
  EXPECT_GT(VXTwainSim::AddSource(Source("X", {OneCap(1, R"({"ConType": 5, "Raw": "0400 0100"})")})), 0);
}

// ---------------------------------------------------------------------------
// Transfers

// A generated page of one depth, written as PNM.
struct TPage {
  int32_t Bits = 8;
  int32_t W = 37, H = 23;
  std::vector<uint8_t> Pnm;  // the PNM's pixel bytes, rows top first
  std::string File;
  size_t RowBytes() const { return Bits == 1 ? size_t(W + 7) / 8 : size_t(W) * size_t(Bits / 8); }
};

TPage MakePage(const std::string& Folder, int32_t Bits, int32_t Seed = 0, int32_t W = 37, int32_t H = 23) {
  TPage p;
  p.Bits = Bits;
  p.W = W;
  p.H = H;
  p.Pnm.resize(p.RowBytes() * size_t(H));
  for (size_t i = 0; i < p.Pnm.size(); ++i) p.Pnm[i] = uint8_t((i * 37 + size_t(Seed) * 11 + (i / 7) * 5) & 0xFF);
  if (Bits == 1 && W % 8)  // padding bits of a P4 row are 0
    for (int32_t y = 0; y < H; ++y) p.Pnm[size_t(y) * p.RowBytes() + p.RowBytes() - 1] &= uint8_t(0xFF << (8 - W % 8));
  const char* magic = Bits == 1 ? "P4" : (Bits == 8 || Bits == 16) ? "P5" : "P6";
  std::string head = std::string(magic) + "\n# page\n" + std::to_string(W) + " " + std::to_string(H) + "\n";
  if (Bits != 1) head += (Bits == 16 || Bits == 48) ? "65535\n" : "255\n";
  p.File = Folder + "/page" + std::to_string(Bits) + "_" + std::to_string(Seed) + ".pnm";
  std::ofstream f(p.File, std::ios::binary);
  f << head;
  f.write(reinterpret_cast<const char*>(p.Pnm.data()), std::streamsize(p.Pnm.size()));
  return p;
}

// The bitmap as CopyBuffer's table makes it from the page. Native: with
// NativePixelFormat. Dib: through a DIB (1-bit stays, the rest 24-bit).
void ExpectPage(const TPage& p, const TVXBitmap& b, bool Native, bool Dib) {
  ASSERT_EQ(b.Width(), p.W);
  ASSERT_EQ(b.Height(), p.H);
  const size_t rb = p.RowBytes();
  int bad = 0;
  for (int32_t y = 0; y < p.H && bad < 3; ++y) {
    const uint8_t* s = p.Pnm.data() + size_t(y) * rb;
    const auto* d = static_cast<const uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < p.W && bad < 3; ++x) {
      std::vector<uint8_t> want, got;
      if (p.Bits == 1 && b.PixelFormat() == vx24RGB) {  // a file's page at 8 bits
        const uint8_t v = ((s[x / 8] >> (7 - x % 8)) & 1) ? 0 : 255;
        want = {v, v, v};
        got = {d[3 * x], d[3 * x + 1], d[3 * x + 2]};
      } else if (p.Bits == 1) {
        ASSERT_EQ(b.PixelFormat(), vx1g);
        want = {uint8_t(((s[x / 8] >> (7 - x % 8)) & 1) ^ 1)};
        got = {uint8_t((d[x / 8] >> (7 - x % 8)) & 1)};
      } else if (Native && !Dib && p.Bits == 8) {
        ASSERT_EQ(b.PixelFormat(), vx8g);
        want = {s[x]};
        got = {d[x]};
      } else if (Native && !Dib && p.Bits == 16) {
        ASSERT_EQ(b.PixelFormat(), vx16g);
        const uint16_t v = uint16_t(s[2 * x] << 8 | s[2 * x + 1]);
        uint16_t g;
        std::memcpy(&g, d + 2 * x, 2);
        want = {uint8_t(v >> 8), uint8_t(v)};
        got = {uint8_t(g >> 8), uint8_t(g)};
      } else if (Native && !Dib && p.Bits == 48) {
        ASSERT_EQ(b.PixelFormat(), vx48RGB);
        for (int c = 0; c < 3; ++c) {
          uint16_t g;
          std::memcpy(&g, d + 6 * x + 2 * c, 2);
          want.push_back(s[6 * x + 2 * c]);
          want.push_back(s[6 * x + 2 * c + 1]);
          got.push_back(uint8_t(g >> 8));
          got.push_back(uint8_t(g));
        }
      } else {
        ASSERT_EQ(b.PixelFormat(), vx24RGB);
        if (p.Bits == 8) want = {s[x], s[x], s[x]};
        if (p.Bits == 16) want = {s[2 * x], s[2 * x], s[2 * x]};
        if (p.Bits == 24) want = {s[3 * x + 2], s[3 * x + 1], s[3 * x]};
        if (p.Bits == 48) want = {s[6 * x + 4], s[6 * x + 2], s[6 * x]};
        got = {d[3 * x], d[3 * x + 1], d[3 * x + 2]};
      }
      if (want != got) {
        ++bad;
        ADD_FAILURE() << "pixel " << x << "," << y << " differs";
      }
    }
  }
}

std::string PagesJson(const std::vector<TPage>& Pages) {
  std::string s = ", \"Pages\": [";
  for (size_t i = 0; i < Pages.size(); ++i) s += (i ? ", \"" : "\"") + Pages[i].File + "\"";
  return s + "]";
}

enum TMode { kNative, kMemHandle, kMemPointer, kFileBMP, kFilePNG };

void SetMode(TVXTwainParams& p, TMode m) {
  p.SetBufferedTransfer(m == kMemHandle || m == kMemPointer);
  p.SetUseMemoryHandle(m == kMemHandle);
  p.SetFileTransfer(m == kFileBMP || m == kFilePNG);
}

bool Acquire(TVXTwainParams& p, TVXBitmap& b, TIOParamsVals* io, bool Native, TProgressRec* progress = nullptr) {
  return VXTW_Acquire(&b, false, &p, {}, io, progress, &p.TwainShared, nullptr, Native);
}

bool Seen(const std::string& Line) {
  for (const std::string& t : VXTwainSim::Triplets())
    if (t == Line) return true;
  return false;
}

// File transfers write and read through the I/O component: the library runs.
class TTransfers : public Twain {
protected:
  TVXLibraryGuard fLibrary;
};

TEST_F(TTransfers, PagesArriveEqualToTheirFiles) {
  for (int32_t bits : {1, 8, 16, 24, 48}) {
    const TPage page = MakePage(fTemp.string(), bits);
    for (TMode mode : {kNative, kMemHandle, kMemPointer, kFileBMP, kFilePNG}) {
      for (bool native : {false, true}) {
        SCOPED_TRACE(std::to_string(bits) + " bits, mode " + std::to_string(int(mode)) + (native ? ", native" : ""));
        VXTwainSim::Reset();
        const std::string fmt = mode == kFilePNG ? ", \"FileFormat\": 7" : "";
        VXTwainSim::AddSource(FullSource("Scanner A", PagesJson({page}) + fmt + ", \"StripRows\": 5"));
        TVXTwainParams p(nullptr);
        p.SetVisibleDialog(false);
        SetMode(p, mode);
        TVXBitmap b;
        TIOParamsVals io;
        ASSERT_TRUE(Acquire(p, b, &io, native));
        const bool file = mode == kFileBMP || mode == kFilePNG;
        if (file) {
          // A file holds what its writer keeps: compare at 8 bits per sample.
          TVXBitmap rgb;
          rgb.Assign(&b);
          rgb.SetPixelFormat(vx24RGB);
          ExpectPage(page, rgb, false, true);
        } else {
          ExpectPage(page, b, native, mode == kNative);
        }
        EXPECT_EQ(io.Width(), page.W);
        EXPECT_EQ(io.Height(), page.H);
        EXPECT_EQ(Seen(mode == kNative  ? "DG_IMAGE DAT_IMAGENATIVEXFER MSG_GET 6"
                       : file           ? "DG_IMAGE DAT_IMAGEFILEXFER MSG_GET 6"
                                        : "DG_IMAGE DAT_IMAGEMEMXFER MSG_GET 6"),
                  true);
      }
    }
  }
}

TEST_F(Twain, VanillaPagesUnknownLengthsAndResolutions) {
  const TPage bw = MakePage(fTemp.string(), 1);
  const TPage grey = MakePage(fTemp.string(), 8);
  struct {
    const char* Name;
    std::string Extra;
    const TPage* Page;
    int32_t DpiX, DpiY;
  } cases[] = {
      {"vanilla", PagesJson({bw}) + ", \"PixelFlavor\": 1", &bw, 300, 300},
      {"unknown length", PagesJson({grey}) + ", \"UnknownLength\": 1, \"StripRows\": 4", &grey, 300, 300},
      {"resolutions", PagesJson({grey}) + ", \"XResolution\": 150.5, \"YResolution\": 151.5", &grey, 150, 152},
  };
  for (const auto& c : cases)
    for (TMode mode : {kNative, kMemHandle}) {
      SCOPED_TRACE(std::string(c.Name) + (mode == kNative ? " native" : " memory"));
      VXTwainSim::Reset();
      VXTwainSim::AddSource(FullSource("Scanner A", c.Extra));
      TVXTwainParams p(nullptr);
      p.SetVisibleDialog(false);
      SetMode(p, mode);
      TVXBitmap b;
      TIOParamsVals io;
      ASSERT_TRUE(Acquire(p, b, &io, false));
      ExpectPage(*c.Page, b, false, mode == kNative);
      EXPECT_EQ(io.DpiX(), c.DpiX);
      EXPECT_EQ(io.DpiY(), c.DpiY);
    }
}

TEST_F(TTransfers, UnusualPagesGoNativeAndFilesAreAskedAsBMP) {
  const TPage page = MakePage(fTemp.string(), 24);
  for (const char* force : {"compressed", "planar", "palette"}) {
    SCOPED_TRACE(force);
    VXTwainSim::Reset();
    VXTwainSim::AddSource(FullSource("Scanner A", PagesJson({page}) + ", \"Force\": \"" + force + "\""));
    TVXTwainParams p(nullptr);
    p.SetVisibleDialog(false);
    SetMode(p, kMemHandle);
    TVXBitmap b;
    ASSERT_TRUE(Acquire(p, b, nullptr, false));
    EXPECT_TRUE(Seen("DG_IMAGE DAT_IMAGENATIVEXFER MSG_GET 6"));
    EXPECT_FALSE(Seen("DG_IMAGE DAT_IMAGEMEMXFER MSG_GET 0"));
    ExpectPage(page, b, false, true);
  }
  for (int format : {9, 10}) {
    VXTwainSim::Reset();
    VXTwainSim::AddSource(FullSource("Scanner A", PagesJson({page}) + ", \"FileFormat\": " + std::to_string(format)));
    TVXTwainParams p(nullptr);
    p.SetVisibleDialog(false);
    SetMode(p, kFileBMP);
    TVXBitmap b;
    gCalls.clear();
    ASSERT_TRUE(Acquire(p, b, nullptr, false));
    bool asked = false;
    for (const TCapCall& c : gCalls) asked |= c.DAT == DAT_SETUPFILEXFER && c.ConType == 2;
    EXPECT_TRUE(asked) << format;
    ExpectPage(page, b, false, true);
  }
}

TEST_F(Twain, SingleImageTakesTheFirstPage) {
  const TPage a = MakePage(fTemp.string(), 8, 1), b2 = MakePage(fTemp.string(), 8, 2), c = MakePage(fTemp.string(), 8, 3);
  VXTwainSim::AddSource(FullSource("Scanner A", PagesJson({a, b2, c})));
  TVXTwainParams p(nullptr);
  p.SetVisibleDialog(false);
  SetMode(p, kMemPointer);
  TVXBitmap b;
  ASSERT_TRUE(Acquire(p, b, nullptr, true));
  ExpectPage(a, b, true, false);
  const std::vector<std::string> t = VXTwainSim::Triplets();
  auto at = [&](const std::string& l) { return std::find(t.begin(), t.end(), l) - t.begin(); };
  EXPECT_LT(at("DG_CONTROL DAT_PENDINGXFERS MSG_ENDXFER 0"), at("DG_CONTROL DAT_PENDINGXFERS MSG_RESET 0"));
  EXPECT_LT(at("DG_CONTROL DAT_PENDINGXFERS MSG_RESET 0"), ptrdiff_t(t.size()));
}

TEST_F(Twain, MultiImageCallsBackPerPage) {
  const TPage a = MakePage(fTemp.string(), 24, 1, 20, 30), b2 = MakePage(fTemp.string(), 8, 2, 11, 13);
  VXTwainSim::AddSource(FullSource("Scanner A", PagesJson({a, b2}) +
                                                    R"(, "Captions": ["first", "second"], "FirstYOffset": 5, "StripRows": 7, "XResolution": 200, "YResolution": 100)"));
  for (TMode mode : {kMemHandle, kNative}) {
    SCOPED_TRACE(int(mode));
    VXTwainSim::Reset();
    VXTwainSim::AddSource(FullSource("Scanner A", PagesJson({a, b2}) +
                                                      R"(, "Captions": ["first", "second"], "FirstYOffset": 5, "StripRows": 7, "XResolution": 200, "YResolution": 100)"));
    TVXTwainParams p(nullptr);
    p.SetVisibleDialog(false);
    SetMode(p, mode);
    TIOParamsVals first, second;
    std::vector<TIOParamsVals*> records = {&first, &second};
    int calls = 0;
    TVXMultiCallBack cb = [&](TVXBitmap* bmp, TIOParamsVals*& io, int32_t dx, int32_t dy) {
      ASSERT_LT(calls, 2);
      ExpectPage(calls == 0 ? a : b2, *bmp, false, mode == kNative);
      EXPECT_EQ(dx, 200);
      EXPECT_EQ(dy, 100);
      io = records[size_t(calls++)];
    };
    TIOParamsVals start;
    TVXBitmap untouched;  // a batch leaves the caller's bitmap alone
    untouched.Allocate(3, 2, vx8g);
    EXPECT_TRUE(VXTW_Acquire(&untouched, true, &p, cb, &start, nullptr, &p.TwainShared, nullptr, false));
    EXPECT_EQ(untouched.Width(), 3);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(first.FileName(), "first");
    EXPECT_EQ(second.FileName(), "second");
    EXPECT_EQ(second.Width(), 11);
    EXPECT_EQ(second.Height(), 13);
    EXPECT_EQ(second.DpiX(), 200);
  }
}

TEST_F(Twain, ModelessAcquisition) {
  const TPage a = MakePage(fTemp.string(), 8, 1), b2 = MakePage(fTemp.string(), 8, 2), c = MakePage(fTemp.string(), 8, 3);
  VXTwainSim::AddSource(FullSource("Scanner A", PagesJson({a}) + ", \"Batches\": [[\"" + b2.File + "\", \"" + c.File + "\"]]"));
  TVXTwainParams p(nullptr);
  p.SetVisibleDialog(false);
  SetMode(p, kMemHandle);
  int pages = 0, closes = 0;
  TIOParamsVals io;
  tgrec* rec = VXTWAINAcquireOpen(
      &p, &p.TwainShared, &io, false, nullptr,
      [&](TVXBitmap* bmp, TIOParamsVals*&, int32_t, int32_t) {
        ExpectPage(pages == 0 ? a : pages == 1 ? b2 : c, *bmp, false, false);
        ++pages;
      },
      [&] { ++closes; });
  ASSERT_NE(rec, nullptr);
  auto pump = [] {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  };
  pump();
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(rec->nState, 5);  // stays enabled between batches
  ASSERT_TRUE(VXTwainSim::NextBatch());
  pump();
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(closes, 0);
  ASSERT_TRUE(VXTwainSim::RequestClose());
  pump();
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(Seen("DG_CONTROL DAT_IDENTITY MSG_CLOSEDS 0"));
  // Closing by the caller.
  VXTwainSim::Reset();
  VXTwainSim::AddSource(FullSource("Scanner A"));
  rec = VXTWAINAcquireOpen(&p, &p.TwainShared, &io, false, nullptr, {}, [&] { ++closes; });
  ASSERT_NE(rec, nullptr);
  VXTWAINAcquireClose(rec);
  EXPECT_EQ(rec, nullptr);
  EXPECT_EQ(closes, 2);
  // A failing open answers nil after its close callback.
  VXTwainSim::SetFault("DG_CONTROL DAT_IDENTITY MSG_OPENDS", TWRC_FAILURE, TWCC_NODS);
  EXPECT_EQ(VXTWAINAcquireOpen(&p, &p.TwainShared, &io, false, nullptr, {}, [&] { ++closes; }), nullptr);
  EXPECT_EQ(closes, 3);
}

TEST_F(Twain, SettingsOnlyKeepsTheSourcesBytes) {
  VXTwainSim::AddSource(FullSource("Scanner A", R"(, "UI": "settingsok", "Settings": "0A0B0C")"));
  TVXTwainParams p(nullptr);
  p.SetShowSettingsOnly(true);
  TVXBitmap b;
  EXPECT_TRUE(Acquire(p, b, nullptr, false));
  ASSERT_EQ(p.SourceSettings()->Size(), 3);
  EXPECT_EQ(std::memcmp(p.SourceSettings()->Memory(), "\x0A\x0B\x0C", 3), 0);
  VXTwainSim::ClearTriplets();
  EXPECT_TRUE(p.GetFromScanner());
  EXPECT_TRUE(Seen("DG_CONTROL DAT_CUSTOMDSDATA MSG_SET 0"));
  // Cancelled: false.
  VXTwainSim::Reset();
  VXTwainSim::AddSource(FullSource("Scanner A", R"(, "UI": "cancel")"));
  EXPECT_FALSE(Acquire(p, b, nullptr, false));
}

TEST_F(Twain, LoopEnds) {
  const TPage page = MakePage(fTemp.string(), 8);
  // A quit request during the loop reaches the application afterwards.
  VXTwainSim::AddSource(FullSource("Scanner A", R"(, "UI": "ok")"));  // no page: the loop waits
  TVXTwainParams p(nullptr);
  TVXBitmap b;
  ASSERT_TRUE(p.GetFromScanner());
  // A timer of the application asks to quit while the source waits.
  SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostQuitMessage(3);
  });
  EXPECT_FALSE(Acquire(p, b, nullptr, false));
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  // A cancel with the dialog hidden disables the source.
  VXTwainSim::Reset();
  VXTwainSim::AddSource(FullSource("Scanner A", PagesJson({page}) + ", \"CancelAtStrip\": 1, \"StripRows\": 4"));
  p.SetVisibleDialog(false);
  SetMode(p, kMemHandle);
  EXPECT_FALSE(Acquire(p, b, nullptr, false));
  EXPECT_TRUE(Seen("DG_CONTROL DAT_USERINTERFACE MSG_DISABLEDS 0"));
  // A second MSG_XFERREADY during a transfer is ignored.
  VXTwainSim::Reset();
  VXTwainSim::AddSource(FullSource("Scanner A", PagesJson({page}) + ", \"StripRows\": 4"));
  TProgressRec progress;
  bool posted = false;
  progress.fOnProgress = [&](void*, int32_t) {
    if (!posted) posted = VXTwainSim::PostEvent(MSG_XFERREADY);
  };
  EXPECT_TRUE(Acquire(p, b, nullptr, false, &progress));
  EXPECT_TRUE(posted);
  int infos = 0;
  for (const std::string& t : VXTwainSim::Triplets()) infos += t == "DG_IMAGE DAT_IMAGEINFO MSG_GET 0";
  EXPECT_EQ(infos, 1);
  ExpectPage(page, b, false, false);
}

TEST_F(Twain, FaultyStripsStayInsideTheirBuffers) {
  TRecord t;
  tgrec& r = t.r;
  TVXBitmap b;
  b.Allocate(10, 6, vx24RGB);
  TW_IMAGEINFO info{};
  info.BitsPerPixel = 24;
  std::vector<uint8_t> data(90, 0x55);
  struct {
    const char* Name;
    uint32_t Columns, Rows, XOffset, YOffset, BytesPerRow, BytesWritten;
    int32_t Painted;  // rows that get pixels
  } cases[] = {
      {"too wide", 40, 2, 0, 0, 30, 60, 2},
      {"past the right edge", 10, 2, 8, 0, 30, 60, 2},
      {"negative offset", 10, 3, 0, uint32_t(-2), 30, 90, 1},
      {"below the bitmap", 10, 3, 0, 5, 30, 90, 1},
      {"too few bytes", 10, 3, 0, 0, 30, 40, 1},
      {"far right", 10, 3, 0x7FFFFFFF, 0, 30, 90, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    b.Fill(0);
    TW_IMAGEMEMXFER s{};
    s.BytesPerRow = c.BytesPerRow;
    s.Columns = c.Columns;
    s.Rows = c.Rows;
    s.XOffset = c.XOffset;
    s.YOffset = c.YOffset;
    s.BytesWritten = c.BytesWritten;
    s.Memory.Length = uint32_t(data.size());
    std::unique_ptr<uint8_t[]> exact(new uint8_t[c.BytesWritten]);
    std::memcpy(exact.get(), data.data(), c.BytesWritten);
    s.Memory.TheMem = exact.get();
    s.Memory.Length = c.BytesWritten;
    CopyBuffer(r, &b, info, false, s);
    int painted = 0;
    for (int32_t y = 0; y < b.Height(); ++y) painted += static_cast<const uint8_t*>(b.ScanLine(y))[3 * 9 + 1] == 0x55 ||
                                                        static_cast<const uint8_t*>(b.ScanLine(y))[3 * 8 + 1] == 0x55;
    EXPECT_EQ(painted, c.Painted);
  }
}

}  // namespace
