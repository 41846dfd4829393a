// Portable devices over simulated folder devices, a test mount table and a
// cyclic store: the device list, navigation and search (checked against a
// Python oracle that lists the folder by the same rules), paths, opening,
// extended properties, the platform identifiers and the device layer's
// objects.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "acquire/camera_store.h"
#include "acquire/mount_table.h"
#include "acquire/vxxwpd.h"
#include "acquire/wpd_sim.h"
#include "core/startup.h"
#include "core/vxdefs.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string Shell(const std::string& cmd) {
  std::string out;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
  }
  return out;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Debian's python3 (another one on the PATH may start slowly through shims).
std::string Python() { return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }

bool PythonAvailable() {
  static const bool ok = Shell(Python() + " -c 'print(1)' 2>/dev/null") == "1\n";
  return ok;
}

const std::string kDevice = "SIM-CAMERA";

// The generated camera: storages "Internal" and "Card", DCIM/100CAM and
// 101CAM, Misc folders, and 5,100 files in Card/DCIM/100CAM.
class WPD : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gLibrary = new TVXLibraryGuard;
    const char* t = getenv("TMPDIR");
    std::string tmpl = std::string(t && *t ? t : "/tmp") + "/vxwpd-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    gRoot = tmpl;
    const fs::path dev = gRoot / "camera";
    const fs::path internal = dev / "Internal";
    for (const char* f : {"IMG_0001.JPG", "IMG_0002.jpg", "img_0003.png", "Photo001.PNG", "readme.txt", "a_file.JPG",
                          "Zeta.jpg", "_under.jpg", "apple.jpg", ".hidden.jpg", "noext", "data.xyz"})
      WriteFile(internal / "DCIM" / "100CAM" / f, std::string("data of ") + f);
    WriteFile(internal / "DCIM" / "101CAM" / "IMG_1001.JPG", "x");
    WriteFile(internal / "DCIM" / "101CAM" / "clip.avi", "avi");
    WriteFile(internal / "DCIM" / "101CAM" / "Nested" / "IMG_0010.jpg", "nested");
    WriteFile(internal / "Misc" / "notes.txt", "notes");
    WriteFile(internal / "Misc" / "IMG_misc.gif", "gif");
    fs::create_directories(internal / "Misc" / "IMGfolder");
    fs::create_directories(internal / "Misc" / "Empty");
    // Not part of the device: a file at the top level, a symbolic link to a
    // folder and a named pipe.
    WriteFile(dev / "toplevel.jpg", "top");
    fs::create_directory_symlink(internal / "DCIM", internal / "Misc" / "LinkedDCIM");
    ASSERT_EQ(mkfifo((internal / "Misc" / "pipe.jpg").c_str(), 0600), 0);
    fs::create_directories(dev / "Card" / "DCIM" / "100CAM");
    fs::create_directories(dev / "Card" / "Misc");
  }
  // The 5,100 files of Card/DCIM/100CAM, made by the test that lists them
  // (each test runs in a process of its own under ctest).
  static void MakeBigFolder() {
    const fs::path big = gRoot / "camera" / "Card" / "DCIM" / "100CAM";
    for (int i = 1; i <= 5100; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, i % 10 == 0 ? "img_%04d.png" : (i % 17 == 0 ? "IMG_%04d.txt" : "img_%04d.jpg"),
                    i);
      std::ofstream(big / name) << i;
    }
  }
  static void TearDownTestSuite() {
    VXWPDSim::Reset();
    std::error_code ec;
    fs::remove_all(gRoot, ec);
    delete gLibrary;
  }
  void SetUp() override {
    VXWPDSim::Reset();
    VXWPDSim::AddFolderDevice(kDevice, "Test Camera", (gRoot / "camera").string(), false);
  }

  static std::string Dev() { return (gRoot / "camera").string(); }

  // The browser's list as oracle lines.
  static std::string Listed(TVXPortableDevices& p) {
    std::string out;
    for (int i = 0; i < p.ObjectCount(); ++i) {
      const TVXWPDObject o = p.GetObjects(i);
      out += std::string(o.ObjectType == vxwFolder ? "d" : "f") + "\t" + o.Filename + "\t" + o.Path + "\n";
    }
    return out;
  }
  static std::string Oracle(const std::string& start, const std::string& types, const std::string& exts,
                            const std::string& search, int maxDepth, bool sorted) {
    const std::string script = std::string(VX_SOURCE_DIR) + "/tests/acquire/wpd_oracle.py";
    return Shell(Python() + " " + Quote(script) + " " + Quote(Dev()) + " " + Quote(start) + " " + Quote(types) + " " +
                 Quote(exts) + " " + Quote(search) + " " + std::to_string(maxDepth) + " " + (sorted ? "1" : "0"));
  }

  static inline TVXLibraryGuard* gLibrary = nullptr;
  static inline fs::path gRoot;
};

}  // namespace

TEST_F(WPD, StartUpSetsTheClientAndOle) {
  EXPECT_EQ(VXWPDClientName, "MyClient");
  EXPECT_GE(VXOleInitCount(), 1);
  // The device classes are in the registry.
  TVXComPtr<IPortableDevice> device(CoPortableDevice::Create());
  EXPECT_TRUE(device);
  EXPECT_THROW(CoPortableDevice::CreateRemote("far-away-machine"), EVXException);
}

// Every listing equals the oracle's: flat listings sorted (folders first,
// then A to Z without case), sub-folder listings in the store's order,
// searches at depths 0, 1 and -1, and searches of 5,000 objects or more
// unsorted.
TEST_F(WPD, ListingsEqualTheOracle) {
  if (!PythonAvailable()) GTEST_SKIP() << "python3 is missing: bash scripts/setup --tests installs it";
  MakeBigFolder();
  struct Case {
    const char* Name;
    const char* Start;
    int Kind;  // 0 navigate, 1 files of type, 2 by name
    bool SubFolders;
    const char* Types;  // oracle form
    const char* Exts;
    const char* Search;
    int Depth;
  };
  const Case cases[] = {
      {"top level", "", 0, false, "fd", "", "", 0},
      {"storage", "/Internal", 0, false, "fd", "", "", 0},
      {"folder sorted", "/Internal/DCIM/100CAM", 0, false, "fd", "", "", 0},
      {"folders only", "/Internal/Misc", 0, false, "d", "", "", 0},
      {"with sub-folders", "/Internal", 0, true, "fd", "", "", -1},
      {"whole device", "", 0, true, "fd", "", "", -1},
      {"types depth 0", "/Internal/DCIM/100CAM", 1, false, "f", "*.jpg;*.png", "", 0},
      {"types depth 1", "/Internal/DCIM", 1, false, "f", "*.jpg;*.png", "", 1},
      {"types all", "", 1, false, "f", "*.jpg;*.png", "", -1},
      {"types empty list", "/Internal", 1, false, "f", "", "", -1},
      {"name prefix", "/Internal", 2, false, "fd", "", "IMG*", -1},
      {"name contains", "", 2, false, "fd", "", "*001*", -1},
      {"name whole", "", 2, false, "fd", "", "img_0001.jpg", -1},
      {"name lone star", "/Internal", 2, false, "fd", "", "*", 1},
      {"folders by name", "", 2, false, "d", "", "img*", -1},
      {"5100 files by type", "/Card", 1, false, "f", "*.jpg;*.png", "", -1},
      {"5100 by name", "/Card/DCIM", 2, false, "f", "", "img*", 2},
      {"4999 or fewer sorted", "/Card/DCIM/100CAM", 1, false, "f", "*.png", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXPortableDevices p;
    const TVXWPDObjectTypes types = TVXWPDObjectTypes((std::string(c.Types).find('f') != std::string::npos ? 1 : 0) |
                                                      (std::string(c.Types).find('d') != std::string::npos ? 2 : 0));
    bool ok = false;
    bool sorted = true;
    switch (c.Kind) {
      case 0:
        ok = p.NavigateToFolderID(kDevice, c.Start, c.SubFolders, types);
        sorted = !c.SubFolders;
        break;
      case 1:
        ok = p.FindFilesOfType(kDevice, c.Start, c.Exts, c.Depth);
        break;
      case 2:
        ok = p.FindFilesByName(kDevice, c.Start, c.Search, types, c.Depth);
        break;
    }
    ASSERT_TRUE(ok) << p.LastError();
    const std::string got = Listed(p);
    if (c.Kind != 0) sorted = std::count(got.begin(), got.end(), '\n') < 5000;
    const std::string want = Oracle(c.Start, c.Types, c.Exts, c.Search, c.Kind == 0 ? (c.SubFolders ? -1 : 0) : c.Depth,
                                    sorted);
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(got, want);
  }
}

TEST_F(WPD, ListingDetails) {
  TVXPortableDevices p;
  ASSERT_TRUE(p.NavigateToFolderID(kDevice, "/Internal/DCIM/100CAM", false, VXWPDTypes(vxwFile, vxwFolder)));
  // Folders of a flat listing first, then A to Z without case ("_" after
  // the letters).
  std::vector<std::string> names;
  for (int i = 0; i < p.ObjectCount(); ++i) names.push_back(p.GetObjects(i).FriendlyName);
  // ("A_FILE" after "APPLE": "_" comes after the letters.)
  const std::vector<std::string> want = {".hidden.jpg", "apple.jpg",    "a_file.JPG",   "data.xyz",
                                         "IMG_0001.JPG", "IMG_0002.jpg", "img_0003.png", "noext",
                                         "Photo001.PNG", "readme.txt",   "Zeta.jpg",     "_under.jpg"};
  EXPECT_EQ(names, want);
  const TVXWPDObject first = p.GetObjects(2);
  EXPECT_EQ(first.ID, "/Internal/DCIM/100CAM/a_file.JPG");
  EXPECT_EQ(first.Path, "/Internal/DCIM/100CAM\\a_file.JPG");
  EXPECT_EQ(p.ObjectIDToIndex(first.ID), 2);
  EXPECT_EQ(p.ObjectIDToIndex("nothing"), -1);
  EXPECT_FALSE(p.ObjectIsFolder(first.ID));
  EXPECT_EQ(p.GetObjects(99).ID, "");
  EXPECT_EQ(p.GetObjects(-1).ObjectType, vxwFile);

  // The top level lists the storages as folders with bare paths.
  ASSERT_TRUE(p.NavigateToFolderID(kDevice, "", false, VXWPDTypes(vxwFile, vxwFolder)));
  ASSERT_EQ(p.ObjectCount(), 2);
  EXPECT_EQ(p.GetObjects(0).Path, "Card");
  EXPECT_EQ(p.GetObjects(1).Path, "Internal");
  EXPECT_TRUE(p.ObjectIsFolder(0));

  // Unsorted when switched off: the store's byte order.
  p.SetSorted(false);
  ASSERT_TRUE(p.NavigateToFolderID("/Internal/DCIM/100CAM", false, VXWPDTypes(vxwFile)));
  EXPECT_EQ(p.GetObjects(0).FriendlyName, ".hidden.jpg");
  EXPECT_EQ(p.GetObjects(1).FriendlyName, "IMG_0001.JPG");

  // The searches need a device.
  TVXPortableDevices none;
  EXPECT_FALSE(none.FindFilesOfType("", "*.jpg", -1));
  EXPECT_FALSE(none.FindFilesByName("", "*", VXWPDTypes(vxwFile), -1));
  EXPECT_FALSE(none.NavigateToFolderID("", false, VXWPDTypes(vxwFile)));
  EXPECT_EQ(none.LastError(), "Unable to open device (-2147024809)");  // E_INVALIDARG for no ID
}

TEST_F(WPD, ActiveDeviceAndFolder) {
  TVXPortableDevices p;
  ASSERT_TRUE(p.NavigateToFolderID(kDevice, "/Internal/Misc", false, VXWPDTypes(vxwFile, vxwFolder)));
  const int count = p.ObjectCount();
  EXPECT_EQ(count, 4);  // Empty, IMGfolder, IMG_misc.gif, notes.txt
  p.SetActiveDeviceID(kDevice);  // the same: keeps folder and list
  EXPECT_EQ(p.ActiveFolderID(), "/Internal/Misc");
  EXPECT_EQ(p.ObjectCount(), count);
  // A new folder marks the list stale; the next read lists it again.
  p.SetActiveFolderID("/Internal/DCIM");
  EXPECT_EQ(p.ObjectCount(), 2);
  EXPECT_EQ(p.GetObjects(0).FriendlyName, "100CAM");
  p.SetActiveDeviceID("other");
  EXPECT_EQ(p.ActiveFolderID(), "");
  EXPECT_EQ(p.ObjectCount(), 0);  // the open fails
  EXPECT_EQ(p.LastError(), "Unable to open device (-2147024894)");  // not found
}

TEST_F(WPD, PathsAndParents) {
  TVXPortableDevices p;
  std::vector<std::string> log;
  p.SetOnLog([&](TVXPortableDevices* sender, const std::string& m) {
    EXPECT_EQ(sender, &p);
    log.push_back(m);
  });
  for (const char* path : {"card\\dcim\\100cam", "Card\\DCIM\\100CAM\\", "CARD\\Dcim\\100Cam"})
    EXPECT_EQ(p.PathToFolderID(kDevice, path), "/Card/DCIM/100CAM") << path;
  EXPECT_EQ(p.PathToFolderID("internal\\dcim\\101cam\\nested"), "/Internal/DCIM/101CAM/Nested");
  EXPECT_EQ(p.PathToFolderID("Internal"), "/Internal");
  // A file never resolves; nor does a link to a folder.
  EXPECT_EQ(p.PathToFolderID("Internal\\DCIM\\100CAM\\IMG_0001.JPG"), "");
  EXPECT_EQ(p.LastError(), "Unable to locate path: Internal\\DCIM\\100CAM\\IMG_0001.JPG");
  EXPECT_EQ(p.PathToFolderID("Internal\\Misc\\LinkedDCIM"), "");
  EXPECT_EQ(p.PathToFolderID(""), "");
  EXPECT_NE(std::find(log.begin(), log.end(), "Process sub-folder..."), log.end());

  ASSERT_TRUE(p.NavigateToFolderPath("Card\\DCIM", false, VXWPDTypes(vxwFolder)));
  EXPECT_EQ(p.ActiveFolderID(), "/Card/DCIM");
  ASSERT_EQ(p.ObjectCount(), 1);
  EXPECT_EQ(p.GetObjects(0).Path, "/Card/DCIM\\100CAM");
  EXPECT_FALSE(p.NavigateToFolderPath("Card\\Nowhere", false, VXWPDTypes(vxwFolder)));
  EXPECT_EQ(p.LastError(), "Unable to locate path: Card\\Nowhere");

  // Up from a folder, a storage, and the top level.
  ASSERT_TRUE(p.NavigateToFolderID(kDevice, "/Card/DCIM", false, VXWPDTypes(vxwFile, vxwFolder)));
  EXPECT_TRUE(p.CanNavigateToParent());
  ASSERT_TRUE(p.NavigateToParent());
  EXPECT_EQ(p.ActiveFolderID(), "/Card");
  ASSERT_TRUE(p.NavigateToParent());
  EXPECT_EQ(p.ActiveFolderID(), "DEVICE");
  EXPECT_FALSE(p.CanNavigateToParent());
  EXPECT_EQ(p.ObjectCount(), 2);  // the storages
  p.SetActiveFolderID("");
  EXPECT_FALSE(p.CanNavigateToParent());
  EXPECT_FALSE(p.NavigateToParent());
}

TEST_F(WPD, Opening) {
  const std::string ro = "READ-ONLY";
  VXWPDSim::AddFolderDevice(ro, "Locked", Dev(), true);
  TVXPortableDevices p;
  std::vector<std::string> log;
  p.SetOnLog([&](TVXPortableDevices*, const std::string& m) { log.push_back(m); });
  ASSERT_TRUE(p.NavigateToFolderID(ro, "/Internal", false, VXWPDTypes(vxwFolder)));
  EXPECT_EQ(VXWPDSim::OpenCalls(ro), 2);  // refused for writing, then read-only
  EXPECT_EQ(p.ObjectCount(), 2);
  const std::vector<std::string> begin = {"Connecting to: READ-ONLY", "DeviceValues: Valid", "Connected to: READ-ONLY"};
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 3), begin);

  // The same refusal made by the driver on a writable device.
  VXWPDSim::SetDenyUnlessReadAccess(kDevice, true);
  EXPECT_EQ(p.PathToFolderID(kDevice, "Internal"), "/Internal");
  EXPECT_EQ(VXWPDSim::OpenCalls(kDevice), 2);

  // A failing open: its log line and LastError.
  VXWPDSim::SetOpenFailure(kDevice, E_FAIL);
  log.clear();
  EXPECT_FALSE(p.NavigateToFolderID(kDevice, "", false, VXWPDTypes(vxwFolder)));
  EXPECT_EQ(p.LastError(), "Unable to open device (-2147467259)");
  EXPECT_NE(std::find(log.begin(), log.end(), "PortableDev.Open Failure: -2147467259"), log.end());
  // GetObjectAdvancedProps does not clear LastError but a failed open sets it.
  TVXWPDObjectAdvancedProps props;
  EXPECT_FALSE(p.GetObjectAdvancedProps(kDevice, "/Internal", props));
  EXPECT_FALSE(p.GetObjectAdvancedProps("", "/Internal", props));
}

TEST_F(WPD, ExtendedProperties) {
  const fs::path jpeg = gRoot / "camera" / "Internal" / "DCIM" / "100CAM" / "IMG_0001.JPG";
  // A known change time: 2021-06-15 12:30:00 UTC.
  struct timespec times[2] = {{1623760200, 0}, {1623760200, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, jpeg.c_str(), times, 0), 0);
  struct tm local {};
  const time_t t = 1623760200;
  localtime_r(&t, &local);
  const double wantModified = (double(t) + double(local.tm_gmtoff)) / 86400.0 + 25569.0;

  TVXPortableDevices p;
  TVXWPDObjectAdvancedProps a;
  ASSERT_TRUE(p.GetObjectAdvancedProps(kDevice, "/Internal/DCIM/100CAM/IMG_0001.JPG", a));
  EXPECT_EQ(a.ObjectID, "/Internal/DCIM/100CAM/IMG_0001.JPG");
  EXPECT_EQ(a.ParentID, "/Internal/DCIM/100CAM");
  EXPECT_EQ(a.FriendlyName, "IMG_0001.JPG");
  EXPECT_EQ(a.Filename, "IMG_0001.JPG");
  EXPECT_EQ(a.PersistentUniqueID, a.ObjectID);
  EXPECT_EQ(a.ObjectFormat, _WPD_OBJECT_FORMAT_EXIF);
  EXPECT_EQ(a.ContentType, _WPD_CONTENT_TYPE_IMAGE);
  EXPECT_FALSE(a.IsHidden);
  EXPECT_FALSE(a.IsSystem);
  EXPECT_EQ(a.SizeBytes, std::string("data of IMG_0001.JPG").size());
  EXPECT_NEAR(a.DateModified, wantModified, 1e-9);
  EXPECT_GT(a.DateCreated, 40000.0);  // the creation (or change) time, as an OLE date

  struct Case {
    const char* ID;
    TWPDObjectFormat Format;
    TWPDContentType Content;
    bool Hidden;
  };
  const Case cases[] = {
      {"/Internal/DCIM/100CAM/data.xyz", _WPD_OBJECT_FORMAT_UNKNOWN, _WPD_CONTENT_TYPE_GENERIC_FILE, false},
      {"/Internal/DCIM/100CAM/noext", _WPD_OBJECT_FORMAT_UNKNOWN, _WPD_CONTENT_TYPE_GENERIC_FILE, false},
      {"/Internal/DCIM/100CAM/img_0003.png", _WPD_OBJECT_FORMAT_PNG, _WPD_CONTENT_TYPE_IMAGE, false},
      {"/Internal/DCIM/100CAM/.hidden.jpg", _WPD_OBJECT_FORMAT_EXIF, _WPD_CONTENT_TYPE_IMAGE, true},
      {"/Internal/DCIM/101CAM/clip.avi", _WPD_OBJECT_FORMAT_AVI, _WPD_CONTENT_TYPE_VIDEO, false},
      {"/Internal/Misc/notes.txt", _WPD_OBJECT_FORMAT_TEXT, _WPD_CONTENT_TYPE_DOCUMENT, false},
      {"/Internal/DCIM", _WPD_OBJECT_FORMAT_PROPERTIES_ONLY, _WPD_CONTENT_TYPE_FOLDER, false},
      {"/Internal", _WPD_OBJECT_FORMAT_PROPERTIES_ONLY, _WPD_CONTENT_TYPE_FUNCTIONAL_OBJECT, false},
      {"DEVICE", _WPD_OBJECT_FORMAT_PROPERTIES_ONLY, _WPD_CONTENT_TYPE_FUNCTIONAL_OBJECT, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ID);
    ASSERT_TRUE(p.GetObjectAdvancedProps(kDevice, c.ID, a));
    EXPECT_EQ(a.ObjectFormat, c.Format);
    EXPECT_EQ(a.ContentType, c.Content);
    EXPECT_EQ(a.IsHidden, c.Hidden);
  }
  EXPECT_EQ(a.ParentID, "");
  EXPECT_EQ(a.FriendlyName, "Test Camera");
  EXPECT_EQ(a.Filename, "");  // the device object has no file name
  // Objects that do not exist, or that lie outside the device folder.
  for (const char* bad : {"/Internal/none.jpg", "/../camera", "/Internal/../Card", "relative", "/Internal/Misc/pipe.jpg",
                          "/toplevel.jpg"})
    EXPECT_FALSE(p.GetObjectAdvancedProps(kDevice, bad, a)) << bad;
  // By index and on the active device.
  ASSERT_TRUE(p.NavigateToFolderID(kDevice, "/Internal/Misc", false, VXWPDTypes(vxwFile)));
  ASSERT_TRUE(p.GetObjectAdvancedProps(0, a));
  EXPECT_EQ(a.Filename, "IMG_misc.gif");
  EXPECT_EQ(a.ObjectFormat, _WPD_OBJECT_FORMAT_GIF);
  EXPECT_FALSE(p.GetObjectAdvancedProps(7, a));
  ASSERT_TRUE(p.GetObjectAdvancedProps("/Internal/Misc/notes.txt", a));
  EXPECT_EQ(a.SizeBytes, 5u);
  EXPECT_EQ(p.LookupObjectFriendlyName("/Internal/Misc/notes.txt"), "notes.txt");
  EXPECT_EQ(p.LookupObjectFriendlyName(kDevice, "/Internal"), "Internal");
  EXPECT_EQ(p.LookupObjectFriendlyName("/nothing"), "");
}

TEST_F(WPD, DeviceList) {
  const fs::path empty = gRoot / "empty-device";
  fs::create_directories(empty);
  WriteFile(empty / "only-a-file.jpg", "x");  // files at the top level are not part of a device
  VXWPDSim::AddFolderDevice("  PADDED  ", "", Dev(), false);
  VXWPDSim::AddFolderDevice("DRIVE", "E:\\", Dev(), false);
  VXWPDSim::AddFolderDevice("EMPTY", "Empty one", empty.string(), false);
  VXWPDSim::AddFolderDevice("BROKEN", "Broken", Dev(), false);
  VXWPDSim::SetOpenFailure("BROKEN", E_ACCESSDENIED);
  TVXPortableDevices p;
  std::vector<std::string> log;
  p.SetOnLog([&](TVXPortableDevices*, const std::string& m) { log.push_back(m); });
  ASSERT_EQ(p.DeviceCount(), 5);  // all of them while not hiding
  EXPECT_EQ(p.GetDevices(0).FriendlyName, "Test Camera");
  EXPECT_EQ(p.GetDevices(0).Description, "Folder device");
  EXPECT_FALSE(p.GetDevices(0).IsDrive);
  EXPECT_EQ(p.GetDevices(1).ID, "PADDED");  // trimmed
  EXPECT_EQ(p.GetDevices(1).FriendlyName, "PADDED");  // no friendly name: the ID
  EXPECT_TRUE(p.GetDevices(2).IsDrive);
  EXPECT_EQ(p.DeviceIDToIndex("EMPTY"), 3);
  EXPECT_EQ(p.DeviceIDToIndex("empty"), -1);
  EXPECT_EQ(p.LookupDeviceFriendlyName("DRIVE"), "E:\\");
  EXPECT_EQ(p.LookupDeviceFriendlyName("nope"), "");
  EXPECT_EQ(p.GetDevices(9).ID, "");
  EXPECT_EQ(log[0], "Device count: 5");
  EXPECT_EQ(log[1], "Enumerate devices");

  // Hidden: the empty device and the one that cannot be opened (the padded
  // ID too: its trimmed ID names no device).
  p.SetHideEmptyDevices(true);
  ASSERT_TRUE(p.RefreshDevices());
  ASSERT_EQ(p.DeviceCount(), 2);
  EXPECT_EQ(p.GetDevices(1).ID, "DRIVE");
  EXPECT_EQ(p.LastError(), "Unable to open device (-2147024891)");
  EXPECT_NE(std::find(log.begin(), log.end(), "PortableDev.Open Failure: -2147024891"), log.end());

  // With no device each read asks the platform again.
  VXWPDSim::Reset();
  TVXPortableDevices q;
  int counts = 0;
  q.SetOnLog([&](TVXPortableDevices*, const std::string& m) { counts += m == "Device count: 0"; });
  EXPECT_EQ(q.DeviceCount(), 0);
  EXPECT_EQ(q.DeviceCount(), 0);
  EXPECT_EQ(counts, 2);
  VXWPDSim::AddFolderDevice(kDevice, "Test Camera", Dev(), false);
  EXPECT_EQ(q.DeviceCount(), 1);

  // The manager object cannot be created: the refresh fails with the
  // platform's message.
  VXUnregisterComClass(CLSID_PortableDeviceManager);
  EXPECT_FALSE(q.RefreshDevices());
  EXPECT_EQ(q.LastError(), "Class not registered, ClassID: {0AF10CEC-2ECD-4B92-9581-34F6AE0637F3}");
  TPortableDeviceManager manager;
  EXPECT_THROW(manager.DefaultInterface(), EVXException);
  VXRegisterPortableDeviceClasses();
  EXPECT_NE(manager.DefaultInterface(), nullptr);
  DWORD n = 0;
  EXPECT_EQ(manager.GetDevices(nullptr, &n), S_OK);
  EXPECT_EQ(n, 1u);
  char small[4];
  DWORD cch = sizeof small;
  EXPECT_EQ(manager.GetDeviceFriendlyName(kDevice.c_str(), small, &cch),
            HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(cch, 12u);
}

TEST_F(WPD, FormatAndContentGuids) {
  struct Case {
    TWPDObjectFormat Format;
    const char* Text;
  };
  const Case cases[] = {{_WPD_OBJECT_FORMAT_BMP, "{38040000-AE6C-4804-98BA-C57B46965FE7}"},
                        {_WPD_OBJECT_FORMAT_EXIF, "{38010000-AE6C-4804-98BA-C57B46965FE7}"},
                        {_WPD_OBJECT_FORMAT_3GP, "{B9840000-AE6C-4804-98BA-C57B46965FE7}"},
                        {_WPD_OBJECT_FORMAT_XML, "{BA820000-AE6C-4804-98BA-C57B46965FE7}"},
                        {_WPD_OBJECT_FORMAT_ALL, "{C1F62EB2-4BB3-479C-9CFA-05B5F3A57B22}"},
                        {_WPD_OBJECT_FORMAT_ICON, "{077232ED-102C-4638-9C22-83F142BFC822}"},
                        {_WPD_OBJECT_FORMAT_M4A, "{30ABA7AC-6FFD-4C23-A359-3E9B52F3F1C8}"}};
  for (const Case& c : cases) {
    EXPECT_EQ(VXGUIDToString(VXWPDObjectFormatGUID(c.Format)), c.Text);
    EXPECT_EQ(WPDObjectFormatFromString(c.Text), c.Format);
  }
  // Every format but the three has the pattern; every value reads back.
  for (int i = 0; i < kWPDObjectFormatCount - 1; ++i) {
    const auto f = TWPDObjectFormat(i);
    const GUID& g = VXWPDObjectFormatGUID(f);
    const bool special = f == _WPD_OBJECT_FORMAT_ALL || f == _WPD_OBJECT_FORMAT_ICON || f == _WPD_OBJECT_FORMAT_M4A;
    EXPECT_EQ(VXGUIDToString(g).substr(5), special ? VXGUIDToString(g).substr(5) : "0000-AE6C-4804-98BA-C57B46965FE7}")
        << i;
    EXPECT_EQ(WPDObjectFormatFromString(VXGUIDToString(g)), f) << i;
  }
  for (int i = 0; i < kWPDContentTypeCount - 1; ++i)
    EXPECT_EQ(WPDContentTypeFromString(VXGUIDToString(VXWPDContentTypeGUID(TWPDContentType(i)))), TWPDContentType(i))
        << i;
  EXPECT_EQ(VXGUIDToString(VXWPDContentTypeGUID(_WPD_CONTENT_TYPE_FOLDER)), "{27E2E392-A111-48E0-AB0C-E17705A05F85}");
  EXPECT_EQ(VXGUIDToString(VXWPDContentTypeGUID(_WPD_CONTENT_TYPE_FUNCTIONAL_OBJECT)),
            "{99ED0160-17FF-4C44-9D98-1D7A6F941921}");
  for (const char* bad : {"", "not a guid", "{00000000-0000-0000-0000-000000000000}",
                          "{38040000-AE6C-4804-98BA-C57B46965FE8}"}) {
    EXPECT_EQ(WPDObjectFormatFromString(bad), _WPD_OBJECT_FORMAT_UNKNOWN) << bad;
    EXPECT_EQ(WPDContentTypeFromString(bad), _WPD_CONTENT_TYPE_UNKNOWN) << bad;
  }
}

TEST(WPDMatch, Patterns) {
  struct Case {
    const char* Pattern;
    const char* Name;
    bool Match;
  };
  const Case cases[] = {
      {"IMG*", "img_0001.jpg", true},     {"IMG*", "my_img.jpg", false},  {"*001*", "IMG_0001.JPG", true},
      {"*001*", "IMG_0002.JPG", false},   {"*jpg", "a.jpg.txt", true},    // a leading "*" tests containment
      {"img_0001.jpg", "IMG_0001.JPG", true}, {"img_0001.jpg", "IMG_00011.JPG", false},
      {"*", "anything", true},            {"*", "", false},               {"", "x", false},
      {"**", "x", true},                  {"I*G", "IXG", false},          {"?MG*", "IMG", false},
      {"grüße*", "GRÜSSE.jpg", false},    {"grüße*", "GRÜßE.jpg", true},
  };
  for (const Case& c : cases) EXPECT_EQ(WPDMatchSearchText(c.Pattern, c.Name), c.Match) << c.Pattern << " " << c.Name;
  TVXWPDObject folder, a, b;
  folder.ObjectType = vxwFolder;
  folder.FriendlyName = "zzz";
  a.FriendlyName = "apple";
  b.FriendlyName = "Banana";
  EXPECT_LT(WPDCompareObjects(folder, a), 0);
  EXPECT_LT(WPDCompareObjects(a, b), 0);
  b.FriendlyName = "APPLE";
  EXPECT_EQ(WPDCompareObjects(a, b), 0);
}

TEST_F(WPD, MountedVolume) {
  const fs::path root = gRoot / "sysroot";
  WriteFile(root / "media" / "user" / "CARD X" / "DCIM" / "100CAM" / "P1.JPG", "card");
  fs::create_directories(root / "media" / "user" / "NODCIM" / "Photos");
  fs::create_directories(root / "home" / "user" / "DCIM");
  WriteFile(root / "mnt" / "ro" / "dcim" / "x.jpg", "ro");
  fs::create_directories(root / "dev" / "disk" / "by-label");
  fs::create_symlink("../../sdz1", root / "dev" / "disk" / "by-label" / "MY\\x20CARD");
  const fs::path table = root / "mounts";
  WriteFile(table,
            "proc /proc proc rw 0 0\n"
            "/dev/sdz1 /media/user/CARD\\040X vfat rw,nosuid 0 0\n"
            "/dev/sdz2 /media/user/NODCIM vfat rw 0 0\n"
            "/dev/sda3 /home/user ext4 rw 0 0\n"
            "/dev/sdz3 /mnt/ro vfat ro 0 0\n"
            "garbage\n");
  VXWPDSim::SetMountTable(table.string());
  TVXPortableDevices p;
  ASSERT_EQ(p.DeviceCount(), 3);  // the camera and two volumes
  const TVXPortableDevice card = p.GetDevices(1);
  EXPECT_EQ(card.FriendlyName, "MY CARD (/media/user/CARD X)");
  EXPECT_EQ(card.Description, "Removable volume");
  EXPECT_TRUE(card.IsDrive);
  EXPECT_EQ(p.GetDevices(2).FriendlyName, "ro (/mnt/ro)");  // no label: the mount point's name
  // One storage, the volume's root, named by the label.
  ASSERT_TRUE(p.NavigateToFolderID(card.ID, "", false, VXWPDTypes(vxwFolder)));
  ASSERT_EQ(p.ObjectCount(), 1);
  EXPECT_EQ(p.GetObjects(0).FriendlyName, "MY CARD");
  const std::string dcim = p.PathToFolderID(card.ID, "my card\\dcim");
  EXPECT_EQ(dcim, "/DCIM");
  ASSERT_TRUE(p.FindFilesOfType(card.ID, dcim, "*.jpg", -1));
  ASSERT_EQ(p.ObjectCount(), 1);
  EXPECT_EQ(p.GetObjects(0).Path, "/DCIM\\100CAM\\P1.JPG");
  // The read-only volume opens for reading only.
  const std::string ro = p.GetDevices(2).ID;
  EXPECT_EQ(p.PathToFolderID(ro, "ro\\dcim"), "/dcim");
  EXPECT_EQ(VXWPDSim::OpenCalls(ro), 2);
}

TEST(MountTable, Lines) {
  struct Case {
    const char* Line;
    bool Ok;
    const char* MountPoint;
  };
  const Case cases[] = {{"/dev/sdb1 /media/a vfat rw 0 0", true, "/media/a"},
                        {"/dev/sdb1\t/media/a\\040b\tvfat\trw", true, "/media/a b"},
                        {"/dev/sdb1 /media/a\\134b vfat rw", true, "/media/a\\b"},
                        {"# comment /media/a vfat rw", false, ""},
                        {"/dev/sdb1 /media/a vfat", false, ""},
                        {"/dev/sdb1 relative vfat rw", false, ""},
                        {"/dev/sdb1 /media/a\\04 vfat rw", false, ""},
                        {"/dev/sdb1 /media/a\\000 vfat rw", false, ""},
                        {"/dev/sdb1 /media/a\\999 vfat rw", false, ""},
                        {"", false, ""},
                        {"   ", false, ""}};
  for (const Case& c : cases) {
    TVXMountEntry e;
    EXPECT_EQ(VXParseMountLine(c.Line, e), c.Ok) << c.Line;
    if (c.Ok) EXPECT_EQ(e.MountPoint, c.MountPoint);
  }
  EXPECT_EQ(VXReadMountTable("a /media/x vfat rw\nbad\nb /mnt/y ext4 ro,noatime").size(), 2u);
  for (const auto& [path, removable] : std::vector<std::pair<std::string, bool>>{
           {"/media/u/CARD", true}, {"/run/media/u/CARD", true}, {"/mnt/card", true}, {"/mnt", true},
           {"/media", false}, {"/home/u", false}, {"/media/../etc", false}, {"/mediax/a", false}, {"", false}})
    EXPECT_EQ(VXIsRemovableMountPoint(path), removable) << path;
  EXPECT_TRUE(VXIsReadOnlyMount("ro,nosuid"));
  EXPECT_FALSE(VXIsReadOnlyMount("rw,errors=remount-ro"));
}

namespace {

// A device whose folder "Loop" lists itself and the storage above it.
class TCyclicStore : public TVXCameraStore {
 public:
  bool ReadOnly() const override { return true; }
  HRESULT Children(const std::string& ID, std::vector<std::string>& IDs) override {
    if (ID == "DEVICE") IDs = {"S"};
    else if (ID == "S") IDs = {"Loop", "f.jpg"};
    else if (ID == "Loop") IDs = {"Loop", "S", "g.jpg"};
    else IDs.clear();
    return S_OK;
  }
  HRESULT Entry(const std::string& ID, TVXStoreEntry& E) override {
    E = TVXStoreEntry{};
    E.ID = ID;
    E.Name = ID;
    if (ID == "DEVICE") E.Kind = vxskDevice;
    else if (ID == "S") E.Kind = vxskStorage, E.ParentID = "DEVICE";
    else if (ID == "Loop") E.Kind = vxskFolder, E.ParentID = "S";
    else if (ID == "f.jpg") E.ParentID = "S";
    else if (ID == "g.jpg") E.ParentID = "Loop";
    else return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    return S_OK;
  }
  HRESULT OpenRead(const std::string&, IStream** s) override {
    *s = SHCreateMemStream(nullptr, 0);
    return S_OK;
  }
  HRESULT CreateFile(const std::string&, const std::string&, IStream**, std::string&) override {
    return E_ACCESSDENIED;
  }
  HRESULT CreateFolder(const std::string&, const std::string&, std::string&) override { return E_ACCESSDENIED; }
  HRESULT Delete(const std::string&, bool) override { return E_ACCESSDENIED; }
};

}  // namespace

TEST_F(WPD, CyclicDeviceEndsItsWalks) {
  TVXStoreDevice d;
  d.ID = "CYCLE";
  d.FriendlyName = "Cycle";
  d.Store = std::make_shared<TCyclicStore>();
  VXWPDSim::AddStoreDevice(d);
  TVXPortableDevices p;
  ASSERT_TRUE(p.NavigateToFolderID("CYCLE", "", true, VXWPDTypes(vxwFile, vxwFolder)));
  std::vector<std::string> paths;
  for (int i = 0; i < p.ObjectCount(); ++i) paths.push_back(p.GetObjects(i).Path);
  EXPECT_EQ(paths, (std::vector<std::string>{"S", "S\\Loop", "S\\Loop\\g.jpg", "S\\f.jpg"}));
  ASSERT_TRUE(p.FindFilesByName("CYCLE", "", "*", VXWPDTypes(vxwFile), -1));
  EXPECT_EQ(p.ObjectCount(), 2);
  EXPECT_EQ(p.PathToFolderID("CYCLE", "S\\Loop\\Nowhere"), "");
  EXPECT_EQ(p.PathToFolderID("CYCLE", "S\\Loop\\Loop"), "");  // met before: not again
  EXPECT_EQ(p.PathToFolderID("CYCLE", "s\\loop"), "Loop");
  // Flat listings are not walks: the folder lists itself.
  ASSERT_TRUE(p.NavigateToFolderID("CYCLE", "Loop", false, VXWPDTypes(vxwFolder)));
  EXPECT_EQ(p.ObjectCount(), 2);
}

TEST_F(WPD, EnumerationFailures) {
  TVXPortableDevices p;
  std::vector<std::string> log;
  p.SetOnLog([&](TVXPortableDevices*, const std::string& m) { log.push_back(m); });
  // Below the start of the walk: logged, the walk goes on and succeeds.
  VXWPDSim::SetEnumFailure(kDevice, 3, E_FAIL);
  ASSERT_TRUE(p.NavigateToFolderID(kDevice, "/Internal", true, VXWPDTypes(vxwFile, vxwFolder)));
  // DCIM and Misc with what they hold; nothing from the level that fails.
  EXPECT_EQ(p.ObjectCount(), 8);
  EXPECT_EQ(p.LastError(), "Unable to enumerate objects (-2147467259)");
  EXPECT_NE(std::find(log.begin(), log.end(), "EnumObjects Failure: -2147467259"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Process sub-folder at depth 1"), log.end());
  // At the start: the listing fails.
  VXWPDSim::SetEnumFailure(kDevice, 1, E_FAIL);
  EXPECT_FALSE(p.NavigateToFolderID(kDevice, "/Card", false, VXWPDTypes(vxwFile, vxwFolder)));
  EXPECT_EQ(p.ObjectCount(), 0);
  // A path search that meets it does not find the path.
  EXPECT_EQ(p.PathToFolderID(kDevice, "Card\\DCIM"), "");
}

// The device layer's objects met directly: data streams with their faults,
// new objects, deletion, and the refusals of a read-only connection.
TEST_F(WPD, DeviceObjects) {
  const fs::path scratch = gRoot / "scratch";
  WriteFile(scratch / "Store" / "old" / "deep" / "x.jpg", "xx");
  WriteFile(scratch / "Store" / "keep.jpg", std::string(3000, 'k'));
  VXWPDSim::AddFolderDevice("RW", "Writable", scratch.string(), false);
  auto open = [](const char* id, DWORD access, TVXComPtr<IPortableDevice>& device) {
    *&device = CoPortableDevice::Create();
    TVXComPtr<IPortableDeviceValues> client(VXCreateComObject<IPortableDeviceValues>(CLSID_PortableDeviceValues));
    if (access) client->SetUnsignedIntegerValue(WPD_CLIENT_DESIRED_ACCESS, access);
    return device->Open(id, client.Get());
  };
  TVXComPtr<IPortableDevice> device;
  ASSERT_EQ(open("RW", 0, device), S_OK);
  EXPECT_EQ(device->Open("RW", nullptr), E_WPD_DEVICE_ALREADY_OPENED);
  TVXComPtr<IPortableDeviceContent> content;
  ASSERT_EQ(device->Content(&content), S_OK);
  TVXComPtr<IPortableDeviceResources> resources;
  ASSERT_EQ(content->Transfer(&resources), S_OK);

  // Reading, and a read error after 1,500 bytes.
  VXWPDSim::SetReadErrorAfter("RW", 1500);
  TVXComPtr<IPortableDevice> faulty;
  ASSERT_EQ(open("RW", 0, faulty), S_OK);
  TVXComPtr<IPortableDeviceContent> faultyContent;
  ASSERT_EQ(faulty->Content(&faultyContent), S_OK);
  TVXComPtr<IPortableDeviceResources> faultyResources;
  ASSERT_EQ(faultyContent->Transfer(&faultyResources), S_OK);
  for (IPortableDeviceResources* r : {resources.Get(), faultyResources.Get()}) {
    TVXComPtr<IStream> s;
    DWORD optimal = 0;
    ASSERT_EQ(r->GetStream("/Store/keep.jpg", WPD_RESOURCE_DEFAULT, STGM_READ, &optimal, &s), S_OK);
    EXPECT_GT(optimal, 0u);
    TVXComPtr<IPortableDeviceDataStream> data;
    EXPECT_EQ(s.As(data), S_OK);
    char buf[1024];
    uint64_t total = 0;
    HRESULT hr;
    ULONG got;
    while ((hr = s->Read(buf, sizeof buf, &got)) == S_OK || (hr == S_FALSE && got > 0)) total += got;
    if (r == resources.Get()) {
      EXPECT_EQ(total, 3000u);
    } else {
      EXPECT_EQ(total, 1500u);
      EXPECT_EQ(hr, STG_E_READFAULT);
    }
  }
  TVXComPtr<IStream> none;
  EXPECT_TRUE(FAILED(resources->GetStream("/Store/old", WPD_RESOURCE_DEFAULT, STGM_READ, nullptr, &none)));
  EXPECT_TRUE(FAILED(resources->GetStream("/Store/keep.jpg", WPD_RESOURCE_DEFAULT, STGM_WRITE, nullptr, &none)));

  // A new object appears on Commit, whole; one released without a commit
  // leaves nothing; write and commit failures.
  auto create = [&](const char* name, const std::string& bytes, HRESULT& written) -> HRESULT {
    TVXComPtr<IPortableDeviceValues> v(VXCreateComObject<IPortableDeviceValues>(CLSID_PortableDeviceValues));
    v->SetStringValue(WPD_OBJECT_PARENT_ID, "/Store");
    v->SetStringValue(WPD_OBJECT_NAME, name);
    v->SetUnsignedLargeIntegerValue(WPD_OBJECT_SIZE, bytes.size());
    TVXComPtr<IStream> s;
    HRESULT hr = content->CreateObjectWithPropertiesAndData(v.Get(), &s, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    written = s->Write(bytes.data(), ULONG(bytes.size()), nullptr);
    return s->Commit(STGC_DEFAULT);
  };
  HRESULT written = S_OK;
  EXPECT_EQ(create("new.jpg", "fresh", written), S_OK);
  EXPECT_EQ(written, S_OK);
  std::ifstream in(scratch / "Store" / "new.jpg");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "fresh");
  EXPECT_EQ(create("new.jpg", "again", written), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
  {
    TVXComPtr<IPortableDeviceValues> v(VXCreateComObject<IPortableDeviceValues>(CLSID_PortableDeviceValues));
    v->SetStringValue(WPD_OBJECT_PARENT_ID, "/Store");
    v->SetStringValue(WPD_OBJECT_ORIGINAL_FILE_NAME, "abandoned.jpg");
    TVXComPtr<IStream> s;
    ASSERT_EQ(content->CreateObjectWithPropertiesAndData(v.Get(), &s, nullptr, nullptr), S_OK);
    s->Write("x", 1, nullptr);
    // Not yet listed while written.
    TVXComPtr<IEnumPortableDeviceObjectIDs> ids;
    ASSERT_EQ(content->EnumObjects(0, "/Store", nullptr, &ids), S_OK);
    LPWSTR id[8];
    ULONG n = 0;
    ids->Next(8, id, &n);
    EXPECT_EQ(n, 3u);  // keep.jpg, new.jpg, old
    for (ULONG i = 0; i < n; ++i) CoTaskMemFree(id[i]);
  }
  EXPECT_FALSE(fs::exists(scratch / "Store" / "abandoned.jpg"));
  VXWPDSim::SetWriteFailure("RW", STG_E_MEDIUMFULL);
  VXWPDSim::SetCommitFailure("RW", E_FAIL);
  TVXComPtr<IPortableDevice> failing;
  ASSERT_EQ(open("RW", 0, failing), S_OK);
  TVXComPtr<IPortableDeviceContent> failingContent;
  ASSERT_EQ(failing->Content(&failingContent), S_OK);
  content.Reset();
  *&content = failingContent.Detach();
  EXPECT_EQ(create("failed.jpg", "x", written), E_FAIL);
  EXPECT_EQ(written, STG_E_MEDIUMFULL);
  EXPECT_FALSE(fs::exists(scratch / "Store" / "failed.jpg"));

  // Deletion: a folder that is not empty only with recursion; results per
  // ID.
  auto remove = [&](IPortableDeviceContent* c, std::vector<std::string> ids, DWORD options, DWORD& count) {
    TVXComPtr<IPortableDevicePropVariantCollection> in(
        VXCreateComObject<IPortableDevicePropVariantCollection>(CLSID_PortableDevicePropVariantCollection));
    for (const std::string& id : ids) {
      PROPVARIANT v;
      InitPropVariantFromString(id.c_str(), &v);
      in->Add(&v);
      PropVariantClear(&v);
    }
    TVXComPtr<IPortableDevicePropVariantCollection> results;
    const HRESULT hr = c->Delete(options, in.Get(), &results);
    count = 0;
    if (results) results->GetCount(&count);
    return hr;
  };
  DWORD count = 0;
  EXPECT_EQ(remove(content.Get(), {"/Store/old"}, PORTABLE_DEVICE_DELETE_NO_RECURSION, count),
            HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(remove(content.Get(), {"/Store/old", "/Store/missing"}, PORTABLE_DEVICE_DELETE_WITH_RECURSION, count),
            S_FALSE);
  EXPECT_EQ(count, 2u);
  EXPECT_FALSE(fs::exists(scratch / "Store" / "old"));
  EXPECT_EQ(remove(content.Get(), {"/Store"}, PORTABLE_DEVICE_DELETE_WITH_RECURSION, count), E_ACCESSDENIED);

  // A read-only connection reads but neither writes nor deletes.
  TVXComPtr<IPortableDevice> reader;
  ASSERT_EQ(open("RW", GENERIC_READ, reader), S_OK);
  TVXComPtr<IPortableDeviceContent> readerContent;
  ASSERT_EQ(reader->Content(&readerContent), S_OK);
  EXPECT_EQ(remove(readerContent.Get(), {"/Store/new.jpg"}, 0, count), E_ACCESSDENIED);
  EXPECT_TRUE(fs::exists(scratch / "Store" / "new.jpg"));
  // After Close what the connection handed out stops working.
  reader->Close();
  TVXComPtr<IEnumPortableDeviceObjectIDs> ids;
  EXPECT_EQ(readerContent->EnumObjects(0, "", nullptr, &ids), E_WPD_DEVICE_NOT_OPEN);
  EXPECT_EQ(reader->Content(&readerContent), E_WPD_DEVICE_NOT_OPEN);
}

// The values object keeps the kinds it is given and converts a GUID to its
// text; the collections copy their entries.
TEST_F(WPD, ValuesAndCollections) {
  TVXComPtr<IPortableDeviceValues> v(VXCreateComObject<IPortableDeviceValues>(CLSID_PortableDeviceValues));
  v->SetStringValue(WPD_OBJECT_NAME, "name");
  v->SetStringValue(WPD_OBJECT_NAME, "renamed");  // replaces
  v->SetGuidValue(WPD_OBJECT_FORMAT, VXWPDObjectFormatGUID(_WPD_OBJECT_FORMAT_PNG));
  v->SetUnsignedLargeIntegerValue(WPD_OBJECT_SIZE, uint64_t(1) << 40);
  v->SetBoolValue(WPD_OBJECT_ISHIDDEN, 1);
  v->SetErrorValue(WPD_OBJECT_ID, E_ACCESSDENIED);
  DWORD n = 0;
  v->GetCount(&n);
  EXPECT_EQ(n, 5u);
  LPWSTR s = nullptr;
  ASSERT_EQ(v->GetStringValue(WPD_OBJECT_FORMAT, &s), S_OK);
  EXPECT_STREQ(s, "{380B0000-AE6C-4804-98BA-C57B46965FE7}");
  CoTaskMemFree(s);
  ASSERT_EQ(v->GetStringValue(WPD_OBJECT_NAME, &s), S_OK);
  EXPECT_STREQ(s, "renamed");
  CoTaskMemFree(s);
  EXPECT_EQ(v->GetStringValue(WPD_OBJECT_SIZE, &s), HRESULT(0x80020005u));
  EXPECT_EQ(v->GetStringValue(WPD_OBJECT_PARENT_ID, &s), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_EQ(v->GetStringValue(WPD_OBJECT_ID, &s), E_ACCESSDENIED);  // an error value answers its error
  uint64_t big = 0;
  EXPECT_EQ(v->GetUnsignedLargeIntegerValue(WPD_OBJECT_SIZE, &big), S_OK);
  EXPECT_EQ(big, uint64_t(1) << 40);
  BOOL b = 0;
  EXPECT_EQ(v->GetBoolValue(WPD_OBJECT_ISHIDDEN, &b), S_OK);
  EXPECT_GT(b, 0);
  BYTE raw[3] = {1, 2, 3};
  EXPECT_EQ(v->SetBufferValue(WPD_OBJECT_ISSYSTEM, raw, 3), S_OK);
  BYTE* back = nullptr;
  DWORD size = 0;
  ASSERT_EQ(v->GetBufferValue(WPD_OBJECT_ISSYSTEM, &back, &size), S_OK);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(back[2], 3);
  CoTaskMemFree(back);
  EXPECT_EQ(v->RemoveValue(WPD_OBJECT_ISSYSTEM), S_OK);
  EXPECT_EQ(v->RemoveValue(WPD_OBJECT_ISSYSTEM), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_EQ(v->Clear(), S_OK);
  v->GetCount(&n);
  EXPECT_EQ(n, 0u);

  TVXComPtr<IPortableDeviceKeyCollection> keys(
      VXCreateComObject<IPortableDeviceKeyCollection>(CLSID_PortableDeviceKeyCollection));
  keys->Add(WPD_OBJECT_NAME);
  keys->Add(WPD_OBJECT_SIZE);
  PROPERTYKEY k;
  EXPECT_EQ(keys->GetAt(2, &k), E_INVALIDARG);
  ASSERT_EQ(keys->GetAt(1, &k), S_OK);
  EXPECT_TRUE(VXSameKey(k, WPD_OBJECT_SIZE));
  EXPECT_EQ(keys->RemoveAt(0), S_OK);
  keys->GetCount(&n);
  EXPECT_EQ(n, 1u);
  EXPECT_THROW(VXCreateComObject<IPortableDeviceKeyCollection>(CLSID_PortableDeviceValues), EVXException);
}
