// The TWAIN engine against our source manager and its simulated sources:
// the states and triplets of each operation, the log, the capability
// exchange and the TWAIN parameters.
#include <gtest/gtest.h>

#include <unistd.h>

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
#include "core/streams.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
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
std::string FullSource(const std::string& Name) {
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
  return Source(Name, caps, R"(, "Layout": [0, 0, 8.5, 11])");
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
  // A transfer offered before transfers exist is declined; the source stays enabled.
  ASSERT_TRUE(VXTwainSim::PostEvent(MSG_XFERREADY));
  VXTwainSim::ClearTriplets();
  VXTW_EmptyMessageQueue(r);
  EXPECT_EQ(r.nState, 5);
  EXPECT_EQ(VXTwainSim::Triplets(), (std::vector<std::string>{"DG_CONTROL DAT_EVENT MSG_PROCESSEVENT 4",
                                                              "DG_CONTROL DAT_PENDINGXFERS MSG_RESET 0"}));
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

}  // namespace
