// Camera-folder acquisition and the portable devices' transfers, over
// simulated folder devices and libgphoto2's folder-as-camera: sources and
// their names, copies (checked with cmp), deletion, injected read, write
// and commit faults, decoding checked against djpeg, the message boxes, and
// the libgphoto2 binding with and without the library.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "acquire/gphoto2_store.h"
#include "acquire/vxxdcim.h"
#include "acquire/vxxwpd.h"
#include "acquire/wpd_sim.h"
#include "core/bitmap.h"
#include "core/startup.h"
#include "core/streams.h"
#include "io/params.h"
#include "winui/win_msgbox.h"

namespace fs = std::filesystem;

namespace {

std::string Shell(const std::string& cmd, int* status = nullptr) {
  std::string out;
  int rc = -1;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    rc = pclose(f);
  }
  if (status) *status = rc;
  return out;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool Have(const std::string& tool) { return Shell("command -v " + tool + " >/dev/null 2>&1 && echo yes") == "yes\n"; }

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

bool SameFiles(const fs::path& a, const fs::path& b) {
  int rc = -1;
  Shell("cmp -s " + Quote(a.string()) + " " + Quote(b.string()), &rc);
  return rc == 0;
}

// A w x h JPEG with a pattern of its own (Seed), made by cjpeg.
void MakeJpeg(const fs::path& p, int w, int h, int Seed) {
  std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ppm += char((x * 7 + Seed * 40) & 255);
      ppm += char((y * 11 + Seed * 90) & 255);
      ppm += char(((x ^ y) * 5 + Seed) & 255);
    }
  fs::create_directories(p.parent_path());
  const fs::path src = p.string() + ".ppm";
  WriteFile(src, ppm);
  Shell("cjpeg -quality 85 " + Quote(src.string()) + " > " + Quote(p.string()));
  fs::remove(src);
}

std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> out;
  if (!fs::exists(root)) return out;
  for (auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) out.push_back(fs::relative(e.path(), root).string());
  std::sort(out.begin(), out.end());
  return out;
}

class Dcim : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gLibrary = new TVXLibraryGuard; }
  static void TearDownTestSuite() {
    VXWPDSim::Reset();
    delete gLibrary;
  }
  void SetUp() override {
    const char* t = getenv("TMPDIR");
    std::string tmpl = std::string(t && *t ? t : "/tmp") + "/vxdcim-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    fRoot = tmpl;
    VXWPDSim::Reset();
    fOldHandler = SetMessageBoxHandler([this](HWND, const std::string& Text, const std::string&, UINT Type) {
      fBoxes.push_back(Text);
      fBoxTypes.push_back(Type);
      return IDOK;
    });
  }
  void TearDown() override {
    SetMessageBoxHandler(fOldHandler);
    VXWPDSim::Reset();
    std::error_code ec;
    fs::remove_all(fRoot, ec);
  }
  bool NeedJpegTools() {
    if (Have("cjpeg") && Have("djpeg") && Have("cmp")) return true;
    ADD_FAILURE() << "cjpeg, djpeg or cmp missing (bash scripts/setup --tests installs libjpeg-turbo-progs)";
    return false;
  }
  // A camera "Cam" with one storage whose DCIM holds three JPEGs (the last
  // two of the same name in different folders) and a text file.
  fs::path MakeCamera() {
    const fs::path dcim = fRoot / "cam" / "Internal" / "DCIM";
    MakeJpeg(dcim / "100CAM" / "IMG_0001.JPG", 24, 16, 1);
    MakeJpeg(dcim / "100CAM" / "IMG_0002.JPG", 17, 9, 2);
    MakeJpeg(dcim / "101CAM" / "IMG_0002.JPG", 8, 30, 3);
    WriteFile(dcim / "100CAM" / "notes.txt", "not an image");
    VXWPDSim::AddFolderDevice("CAM", "Cam", (fRoot / "cam").string(), false);
    return dcim;
  }

  static TVXLibraryGuard* gLibrary;
  fs::path fRoot;
  std::vector<std::string> fBoxes;
  std::vector<UINT> fBoxTypes;
  TMessageBoxHandler fOldHandler;
};
TVXLibraryGuard* Dcim::gLibrary = nullptr;

TEST_F(Dcim, SourcesAndTheirNames) {
  WriteFile(fRoot / "phone" / "Internal" / "DCIM" / "100AAAAA" / "a.jpg", "x");
  WriteFile(fRoot / "phone" / "Internal" / "Music" / "b.mp3", "x");
  // Two storages with a DCIM folder and one without: named by storage.
  fs::create_directories(fRoot / "two" / "Card" / "DCIM");
  fs::create_directories(fRoot / "two" / "Internal" / "DCIM");
  fs::create_directories(fRoot / "two" / "Other");
  fs::create_directories(fRoot / "drive" / "Volume" / "DCIM");
  fs::create_directories(fRoot / "nodcim" / "Internal" / "Pictures");
  VXWPDSim::AddFolderDevice("PHONE", "Pixel Phone", (fRoot / "phone").string(), false);
  VXWPDSim::AddFolderDevice("TWO", "Twin", (fRoot / "two").string(), false);
  VXWPDSim::AddFolderDevice("DRIVE", "E:\\", (fRoot / "drive").string(), false);
  VXWPDSim::AddFolderDevice("NODCIM", "Plain", (fRoot / "nodcim").string(), false);

  TVXDcimAcquire a;
  ASSERT_EQ(a.SourceCount(), 4);
  const struct {
    const char* Name;
    const char* Path;
    const char* DeviceID;
    const char* FolderID;
    bool IsDrive;
  } expected[] = {
      {"Pixel Phone", "Internal\\DCIM\\", "PHONE", "/Internal/DCIM", false},
      {"Twin Card", "Card\\DCIM\\", "TWO", "/Card/DCIM", false},
      {"Twin Internal", "Internal\\DCIM\\", "TWO", "/Internal/DCIM", false},
      {"E:\\", "Volume\\DCIM\\", "DRIVE", "/Volume/DCIM", true},
  };
  for (int i = 0; i < 4; ++i) {
    const TVXPortableDevicesSource s = a.GetSources(i);
    EXPECT_EQ(s.Name, expected[i].Name) << i;
    EXPECT_EQ(s.Path, expected[i].Path) << i;
    EXPECT_EQ(s.DeviceID, expected[i].DeviceID) << i;
    EXPECT_EQ(s.FolderID, expected[i].FolderID) << i;
    EXPECT_EQ(s.IsDrive, expected[i].IsDrive) << i;
  }
  EXPECT_EQ(a.GetSources(1).DeviceName, "Twin");
  EXPECT_EQ(a.GetSources(4).Name, "");
  EXPECT_EQ(a.GetSources(-1).DeviceID, "");

  const std::map<std::string, int> byName = {
      {"pixel PHONE", 0}, {"twin internal", 2}, {"TWIN", 1},  // the first source of the device
      {"E", 3},           {"e:", 3},             {"E:\\DCIM", 3}, {"e:\\DCIM\\100", 3},
      {"", -1},           {"Q", -1},             {"Pixel", -1},   {"EXT", -1},     {"ex", 3},
  };
  for (const auto& [name, index] : byName) EXPECT_EQ(a.SourceNameToIndex(name), index) << name;

  // Nothing selected: source 0; an index outside the list changes nothing.
  EXPECT_EQ(a.SelectedSource(), 0);
  a.SetSelectedSource(2);
  EXPECT_EQ(a.SelectedSource(), 2);
  a.SetSelectedSource(9);
  a.SetSelectedSource(-1);
  EXPECT_EQ(a.SelectedSource(), 2);
  // The selection survives a refresh; a source that went falls back to 0.
  EXPECT_TRUE(a.Refresh());
  EXPECT_EQ(a.SelectedSource(), 2);
  fs::remove_all(fRoot / "two" / "Internal" / "DCIM");
  EXPECT_TRUE(a.Refresh());
  EXPECT_EQ(a.SourceCount(), 3);
  EXPECT_EQ(a.GetSources(1).Name, "Twin Card");
  EXPECT_EQ(a.SelectedSource(), 0);

  VXWPDSim::Reset();
  TVXDcimAcquire none;
  EXPECT_EQ(none.SourceCount(), 0);
  EXPECT_EQ(none.SelectedSource(), -1);
}

TEST_F(Dcim, CopyImagesGivesTheDeviceBytesAndDeletesExactlyThoseCopied) {
  if (!NeedJpegTools()) return;
  for (bool deleting : {false, true}) {
    SCOPED_TRACE(deleting ? "with deletion" : "without deletion");
    VXWPDSim::Reset();
    fs::remove_all(fRoot);
    fs::create_directories(fRoot);
    const fs::path dcim = MakeCamera();
    const fs::path keep = fRoot / "original";
    fs::copy(dcim, keep, fs::copy_options::recursive);
    const fs::path dest = fRoot / "out";
    fs::create_directories(dest);

    TVXDcimAcquire a;
    std::vector<int> progress;
    EXPECT_TRUE(a.CopyImages(dest.string(), [&](void*, int32_t per) { progress.push_back(per); }, deleting));
    EXPECT_TRUE(fBoxes.empty()) << fBoxes.front();
    // 0 at the start, then before each image; never 100.
    EXPECT_EQ(progress, (std::vector<int>{0, 0, 33, 67}));
    if (deleting) {
      // Both IMG_0002.JPG survive; the text file was neither copied nor deleted.
      ASSERT_EQ(FilesBelow(dest), (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002 (2).JPG", "IMG_0002.JPG"}));
      EXPECT_EQ(FilesBelow(dcim), (std::vector<std::string>{"100CAM/notes.txt"}));
      EXPECT_TRUE(SameFiles(dest / "IMG_0001.JPG", keep / "100CAM" / "IMG_0001.JPG"));
      const bool firstFrom100 = SameFiles(dest / "IMG_0002.JPG", keep / "100CAM" / "IMG_0002.JPG");
      EXPECT_TRUE(firstFrom100 || SameFiles(dest / "IMG_0002.JPG", keep / "101CAM" / "IMG_0002.JPG"));
      EXPECT_TRUE(SameFiles(dest / "IMG_0002 (2).JPG", keep / (firstFrom100 ? "101CAM" : "100CAM") / "IMG_0002.JPG"));
    } else {
      // The later file of a name replaces the earlier; the device keeps all.
      ASSERT_EQ(FilesBelow(dest), (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002.JPG"}));
      EXPECT_EQ(FilesBelow(dcim), FilesBelow(keep));
      EXPECT_TRUE(SameFiles(dest / "IMG_0001.JPG", keep / "100CAM" / "IMG_0001.JPG"));
      EXPECT_TRUE(SameFiles(dest / "IMG_0002.JPG", keep / "100CAM" / "IMG_0002.JPG") ||
                  SameFiles(dest / "IMG_0002.JPG", keep / "101CAM" / "IMG_0002.JPG"));
    }
  }
}

TEST_F(Dcim, DestinationFolderEndings) {
  if (!NeedJpegTools()) return;
  MakeCamera();
  TVXDcimAcquire a;
  a.SetAcquireFormats("*.txt");
  // A trailing "/" is not doubled; other endings get one.
  for (const std::string& ending : {"", "/"}) {
    const fs::path dest = fRoot / ("out" + std::to_string(ending.size()));
    fs::create_directories(dest);
    EXPECT_TRUE(a.CopyImages(dest.string() + ending, nullptr, false));
    EXPECT_EQ(FilesBelow(dest), (std::vector<std::string>{"notes.txt"}));
  }
  // A folder that does not exist: the copy fails with the destination named.
  fBoxes.clear();
  EXPECT_FALSE(a.CopyImages((fRoot / "missing").string(), nullptr, true));
  ASSERT_EQ(fBoxes.size(), 1u);
  EXPECT_EQ(fBoxes[0].rfind("Error encountered retrieving your images: ", 0), 0u) << fBoxes[0];
  EXPECT_TRUE(fs::exists(fRoot / "cam" / "Internal" / "DCIM" / "100CAM" / "notes.txt"));
}

TEST_F(Dcim, ReadErrorInTheThirdFileStopsBeforeItsCopyAndDeletion) {
  if (!NeedJpegTools()) return;
  const fs::path dcim = fRoot / "cam" / "Internal" / "DCIM" / "100CAM";
  for (int i = 1; i <= 4; ++i) MakeJpeg(dcim / ("P" + std::to_string(i) + ".jpg"), 16, 16, i);
  VXWPDSim::AddFolderDevice("CAM", "Cam", (fRoot / "cam").string(), false);
  VXWPDSim::FailRead("P3.jpg", 100);
  const fs::path dest = fRoot / "out";
  fs::create_directories(dest);
  TVXDcimAcquire a;
  std::vector<std::string> log;
  a.SetOnLog([&](TVXPortableDevices*, const std::string& s) { log.push_back(s); });
  EXPECT_FALSE(a.CopyImages(dest.string(), nullptr, true));
  ASSERT_EQ(fBoxes.size(), 1u);
  EXPECT_EQ(fBoxes[0], "Error encountered retrieving your images: Unable to copy to: " + (dest / "P3.jpg").string());
  EXPECT_EQ(fBoxTypes[0] & MB_TYPEMASK, MB_OK);
  EXPECT_EQ(fBoxTypes[0] & MB_ICONMASK, MB_ICONERROR);
  // Nothing partial is left in the folder (no temporary file either).
  EXPECT_EQ(FilesBelow(dest), (std::vector<std::string>{"P1.jpg", "P2.jpg"}));
  EXPECT_EQ(FilesBelow(dcim), (std::vector<std::string>{"P3.jpg", "P4.jpg"}));
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& s) { return s.rfind("Read failure: ", 0) == 0; }),
            2);  // the decode's read and the copy's
}

TEST_F(Dcim, AcquisitionDeliversWhatDjpegDecodes) {
  if (!NeedJpegTools()) return;
  const fs::path dcim = MakeCamera();
  // What djpeg makes of each file, read back as bitmaps.
  auto reference = [&](const fs::path& jpg) {
    const fs::path ppm = fRoot / (jpg.filename().string() + jpg.parent_path().filename().string() + ".ppm");
    Shell("djpeg -pnm " + Quote(jpg.string()) + " > " + Quote(ppm.string()));
    TVXBitmap b;
    EXPECT_TRUE(b.Read(ppm.string()));
    return b.GetHash(CALG_SHA_256);
  };
  const std::string first = reference(dcim / "100CAM" / "IMG_0001.JPG");
  const std::vector<std::string> expected = {first, reference(dcim / "100CAM" / "IMG_0002.JPG"),
                                             reference(dcim / "101CAM" / "IMG_0002.JPG")};

  TVXDcimAcquire a;
  std::vector<std::string> got;
  std::vector<int> progress;
  EXPECT_TRUE(a.Acquire(
      [&](TVXBitmap* b, TIOParamsVals*&, int32_t, int32_t) {
        EXPECT_EQ(b->PixelFormat(), vx24RGB);
        got.push_back(b->GetHash(CALG_SHA_256));
      },
      [&](void* sender, int32_t per) {
        EXPECT_EQ(sender, &a);
        progress.push_back(per);
      }));
  EXPECT_EQ(progress, (std::vector<int>{0, 0, 33, 67}));
  ASSERT_EQ(got.size(), 3u);
  // Same-named files may come in either order.
  EXPECT_EQ(got[0], expected[0]);
  EXPECT_TRUE((got[1] == expected[1] && got[2] == expected[2]) || (got[1] == expected[2] && got[2] == expected[1]));

  // Into a bitmap: the first image only, its parameters assigned.
  TVXBitmap one;
  TIOParamsVals params;
  EXPECT_TRUE(a.Acquire(&one, &params));
  EXPECT_EQ(one.GetHash(CALG_SHA_256), first);
  EXPECT_EQ(params.Width(), 24);
  EXPECT_TRUE(fBoxes.empty());
}

TEST_F(Dcim, ImagesThatCannotBeReadOrDecodedAreNotHandedOver) {
  if (!NeedJpegTools()) return;
  const fs::path dcim = fRoot / "cam" / "Card" / "DCIM" / "100CAM";
  MakeJpeg(dcim / "A_good.jpg", 12, 10, 1);
  WriteFile(dcim / "B_broken.jpg", "this is no JPEG at all");
  MakeJpeg(dcim / "C_unreadable.jpg", 30, 20, 2);
  MakeJpeg(dcim / "D_good.jpg", 5, 7, 3);
  VXWPDSim::AddFolderDevice("CAM", "Cam", (fRoot / "cam").string(), false);
  VXWPDSim::FailRead("C_unreadable.jpg", 10);

  TVXDcimAcquire a;
  std::vector<int> widths;
  TIOParamsVals params;
  TIOParamsVals* target = &params;
  TVXBitmap bitmap;
  EXPECT_TRUE(a.AcquireEx(true, &bitmap, target,
                          [&](TVXBitmap* b, TIOParamsVals*& p, int32_t, int32_t) {
                            EXPECT_EQ(p, &params);
                            EXPECT_EQ(p->Width(), b->Width());
                            widths.push_back(b->Width());
                          },
                          "", false, nullptr));
  EXPECT_EQ(widths, (std::vector<int>{12, 5}));
  EXPECT_TRUE(fBoxes.empty());

  // The first object only, and it cannot be decoded: nothing delivered.
  a.SetAcquireFormats("*.jpg");
  fs::remove(dcim / "A_good.jpg");
  TVXBitmap none;
  EXPECT_FALSE(a.Acquire(&none, nullptr));
  EXPECT_TRUE(none.IsEmpty());
}

TEST_F(Dcim, Messages) {
  fs::create_directories(fRoot / "empty" / "Internal" / "DCIM" / "100CAM");
  WriteFile(fRoot / "empty" / "Internal" / "DCIM" / "100CAM" / "notes.txt", "x");
  const struct {
    bool Device;
    std::string Box;
  } cases[] = {
      {true, "No images were found on the specified device."},
      {false, "Error encountered retrieving your images: No device available"},
  };
  for (const auto& c : cases) {
    VXWPDSim::Reset();
    fBoxes.clear();
    if (c.Device) VXWPDSim::AddFolderDevice("EMPTY", "Empty", (fRoot / "empty").string(), false);
    TVXDcimAcquire a;
    int calls = 0;
    EXPECT_FALSE(a.Acquire([&](TVXBitmap*, TIOParamsVals*&, int32_t, int32_t) { ++calls; }, nullptr));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(fBoxes, (std::vector<std::string>{c.Box}));
  }
  // A DCIM folder that cannot be searched.
  VXWPDSim::Reset();
  fBoxes.clear();
  VXWPDSim::AddFolderDevice("EMPTY", "Empty", (fRoot / "empty").string(), false);
  TVXDcimAcquire a;
  ASSERT_EQ(a.SourceCount(), 1);
  VXWPDSim::SetOpenFailure("EMPTY", E_FAIL);
  EXPECT_FALSE(a.CopyImages((fRoot).string(), nullptr, false));
  EXPECT_EQ(fBoxes, (std::vector<std::string>{"Error encountered retrieving your images: Cannot access device"}));
}

TEST_F(Dcim, CopyFileToDevice) {
  fs::create_directories(fRoot / "dev" / "Card" / "DCIM");
  VXWPDSim::AddFolderDevice("DEV", "Dev", (fRoot / "dev").string(), false);
  std::string big(2500, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 31 + 7);
  WriteFile(fRoot / "src" / "big.bin", big);
  WriteFile(fRoot / "src" / "empty.bin", "");
  WriteFile(fRoot / "src" / "refused.bin", big);
  WriteFile(fRoot / "src" / "uncommitted.bin", "abc");
  VXWPDSim::FailWrite("refused.bin");
  VXWPDSim::FailCommit("uncommitted.bin");
  const struct {
    const char* Name;
    bool Result;
    std::vector<std::string> Chunks;  // the "Bytes read: " lines
    const char* Last;                 // the last line
  } cases[] = {
      {"big.bin", true, {"1024", "1024", "452", "0"}, "File copied"},
      {"empty.bin", true, {"0"}, "File copied"},
      // The first refused write ends the copy: nothing is committed.
      {"refused.bin", false, {"1024"}, nullptr},
      {"uncommitted.bin", false, {"3", "0"}, "Commit failure!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXPortableDevices p;
    std::vector<std::string> log;
    p.SetOnLog([&](TVXPortableDevices*, const std::string& s) { log.push_back(s); });
    const fs::path src = fRoot / "src" / c.Name;
    EXPECT_EQ(p.CopyFileToDevice("DEV", "/Card/DCIM", src.string()), c.Result);
    std::vector<std::string> chunks;
    for (const std::string& s : log)
      if (s.rfind("Bytes read: ", 0) == 0) chunks.push_back(s.substr(12));
    EXPECT_EQ(chunks, c.Chunks);
    EXPECT_NE(std::find(log.begin(), log.end(), "Copying " + src.string() + " to folder: /Card/DCIM"), log.end());
    if (c.Last) EXPECT_EQ(log.back(), c.Last);
    else EXPECT_EQ(log.back().rfind("Write failure: ", 0), 0u) << log.back();
    const fs::path made = fRoot / "dev" / "Card" / "DCIM" / c.Name;
    EXPECT_EQ(fs::exists(made), c.Result);
    if (c.Result) {
      EXPECT_TRUE(SameFiles(made, src));
      TVXWPDObjectAdvancedProps props;
      ASSERT_TRUE(p.GetObjectAdvancedProps("DEV", std::string("/Card/DCIM/") + c.Name, props));
      EXPECT_EQ(props.Filename, c.Name);
      EXPECT_EQ(props.SizeBytes, fs::file_size(src));
    }
  }
  // Nothing half-made is left in the device's folder.
  EXPECT_EQ(FilesBelow(fRoot / "dev"), (std::vector<std::string>{"Card/DCIM/big.bin", "Card/DCIM/empty.bin"}));
  // A name already there, and a folder that does not exist.
  TVXPortableDevices p;
  EXPECT_FALSE(p.CopyFileToDevice("DEV", "/Card/DCIM", (fRoot / "src" / "big.bin").string()));
  EXPECT_FALSE(p.CopyFileToDevice("DEV", "/Card/Nowhere", (fRoot / "src" / "big.bin").string()));
  // A source file that cannot be opened raises.
  EXPECT_THROW(p.CopyFileToDevice("DEV", "/Card/DCIM", (fRoot / "src" / "none.bin").string()), std::exception);
}

TEST_F(Dcim, CopyFromDevice) {
  WriteFile(fRoot / "dev" / "Card" / "DCIM" / "a.bin", std::string(3000, 'a') + "end");
  WriteFile(fRoot / "dev" / "Card" / "DCIM" / "bad.bin", std::string(3000, 'b'));
  VXWPDSim::AddFolderDevice("DEV", "Dev", (fRoot / "dev").string(), false);
  VXWPDSim::FailRead("bad.bin", 2048);
  TVXPortableDevices p;
  std::vector<std::string> log;
  p.SetOnLog([&](TVXPortableDevices*, const std::string& s) { log.push_back(s); });

  // A stream that holds data already: written at its position, left at 0.
  std::unique_ptr<TMemoryStream> stream = std::make_unique<TMemoryStream>();
  stream->WriteBuffer("head", 4);
  TMemoryStream* same = stream.get();
  EXPECT_TRUE(p.CopyStreamFromDevice("DEV", "/Card/DCIM/a.bin", stream));
  EXPECT_EQ(stream.get(), same);
  EXPECT_EQ(stream->Position(), 0);
  EXPECT_EQ(std::string(static_cast<const char*>(stream->Memory()), size_t(stream->Size())),
            "head" + std::string(3000, 'a') + "end");
  // An absent stream is made only when the object's data opened.
  std::unique_ptr<TMemoryStream> absent;
  EXPECT_FALSE(p.CopyStreamFromDevice("DEV", "/Card/DCIM/missing.bin", absent));
  EXPECT_EQ(absent, nullptr);
  EXPECT_TRUE(p.CopyStreamFromDevice("DEV", "/Card/DCIM/a.bin", absent));
  ASSERT_NE(absent, nullptr);
  EXPECT_EQ(absent->Size(), 3003);

  // Files: replaced when the copy is good; a failed read keeps the old one.
  const fs::path dest = fRoot / "out.bin";
  WriteFile(dest, "old");
  EXPECT_TRUE(p.CopyFileFromDevice("DEV", "/Card/DCIM/a.bin", dest.string()));
  EXPECT_TRUE(SameFiles(dest, fRoot / "dev" / "Card" / "DCIM" / "a.bin"));
  WriteFile(dest, "old");
  log.clear();
  EXPECT_FALSE(p.CopyFileFromDevice("DEV", "/Card/DCIM/bad.bin", dest.string()));
  EXPECT_EQ(ReadAll(dest), "old");
  EXPECT_EQ(p.LastError(), "Unable to read object (" + std::to_string(int32_t(STG_E_READFAULT)) + ")");
  EXPECT_EQ(log.back(), "Read failure: " + std::to_string(int32_t(STG_E_READFAULT)));
  std::unique_ptr<TMemoryStream> partial;
  EXPECT_FALSE(p.CopyStreamFromDevice("DEV", "/Card/DCIM/bad.bin", partial));
  // No stream for the object, no file made.
  EXPECT_FALSE(p.CopyFileFromDevice("DEV", "/Card/DCIM", (fRoot / "folder.bin").string()));
  EXPECT_FALSE(fs::exists(fRoot / "folder.bin"));
  EXPECT_FALSE(p.CopyFileFromDevice("", "/Card/DCIM/a.bin", (fRoot / "nodev.bin").string()));
  EXPECT_FALSE(p.LastError().empty());
  EXPECT_EQ(FilesBelow(fRoot).size(), 3u);  // the device's two files and out.bin
}

TEST_F(Dcim, DeleteFromDevice) {
  for (const char* f : {"a.jpg", "b.jpg", "c.jpg", "sub/d.jpg"}) WriteFile(fRoot / "dev" / "Card" / "DCIM" / f, "x");
  fs::create_directories(fRoot / "dev" / "Card" / "Empty");
  VXWPDSim::AddFolderDevice("DEV", "Dev", (fRoot / "dev").string(), false);
  TVXPortableDevices p;
  std::vector<std::string> log;
  p.SetOnLog([&](TVXPortableDevices*, const std::string& s) { log.push_back(s); });
  std::string text;
  EXPECT_EQ(p.DeleteFromDevice("DEV", std::vector<std::string>{"/Card/DCIM/a.jpg", "/Card/DCIM/b.jpg", "/Card/Empty"},
                               false, text),
            3);
  EXPECT_NE(std::find(log.begin(), log.end(), "Deleting file: "), log.end());
  EXPECT_EQ(text, SysErrorMessage(S_OK));
  EXPECT_EQ(log.back(), "Delete: " + text);
  // A folder with content only with its sub-objects.
  EXPECT_EQ(p.DeleteFromDevice("DEV", "/Card/DCIM/sub", false, text), -1);
  EXPECT_FALSE(text.empty());
  EXPECT_TRUE(fs::exists(fRoot / "dev" / "Card" / "DCIM" / "sub" / "d.jpg"));
  EXPECT_EQ(p.DeleteFromDevice("DEV", "/Card/DCIM/sub", true), 1);
  EXPECT_EQ(FilesBelow(fRoot / "dev"), (std::vector<std::string>{"Card/DCIM/c.jpg"}));
  EXPECT_FALSE(fs::exists(fRoot / "dev" / "Card" / "Empty"));
  // An empty device ID fails in the open.
  EXPECT_EQ(p.DeleteFromDevice("", "/Card/DCIM/c.jpg", true), -1);
  EXPECT_FALSE(p.LastError().empty());
}

// ---------------------------------------------------------------------------
// libgphoto2's folder-as-camera.

class GPhoto2 : public Dcim {
 protected:
  void SetUp() override {
    Dcim::SetUp();
    VXGPhoto2SetSoname("libgphoto2.so.6");
  }
  void TearDown() override {
    VXGPhoto2SetSoname("libgphoto2.so.6");
    Dcim::TearDown();
  }
  bool NeedGPhoto2() {
    if (VXGPhoto2Available() && Have("gphoto2")) return true;
    ADD_FAILURE() << "libgphoto2 or gphoto2 missing (bash scripts/setup --tests installs libgphoto2-6 and gphoto2)";
    return false;
  }
  std::string Cli(const fs::path& dir, const std::string& args) {
    return Shell("cd " + Quote(fRoot.string()) + " && gphoto2 --camera 'Directory Browse' --port " +
                 Quote("disk:" + dir.string()) + " " + args + " 2>/dev/null");
  }
};

// Walks the camera store as gphoto2 --list-files does: a folder's files,
// then its sub-folders.
void ListLikeTheCli(TVXPortableDevices& p, const std::string& Device, const std::string& Folder,
                    std::vector<std::string>& Out) {
  ASSERT_TRUE(p.NavigateToFolderID(Device, Folder, false, VXWPDTypes(vxwFile, vxwFolder)));
  std::vector<TVXWPDObject> objects;
  for (int i = 0; i < p.ObjectCount(); ++i) objects.push_back(p.GetObjects(i));
  for (const TVXWPDObject& o : objects)
    if (o.ObjectType == vxwFile) Out.push_back(o.ID);
  for (const TVXWPDObject& o : objects)
    if (o.ObjectType == vxwFolder) ListLikeTheCli(p, Device, o.ID, Out);
}

TEST_F(GPhoto2, FolderCameraEqualsTheCommandLine) {
  if (!NeedGPhoto2() || !NeedJpegTools()) return;
  const fs::path dir = fRoot / "card";
  MakeJpeg(dir / "DCIM" / "100CANON" / "IMG_0001.JPG", 20, 12, 1);
  MakeJpeg(dir / "DCIM" / "100CANON" / "IMG_0002.JPG", 9, 9, 2);
  MakeJpeg(dir / "DCIM" / "101CANON" / "IMG_0001.JPG", 30, 8, 3);
  MakeJpeg(dir / "DCIM" / "101CANON" / "Deep" / "x.jpg", 4, 4, 4);
  WriteFile(dir / "DCIM" / "100CANON" / "notes.txt", "not media");
  MakeJpeg(dir / "top.jpg", 6, 6, 5);

  const std::string id = VXWPDSim::AddGPhotoCamera("Directory Browse", "disk:" + dir.string());
  ASSERT_FALSE(id.empty());
  EXPECT_EQ(VXWPDSim::AddGPhotoCamera("Directory Browse", "disk:" + dir.string()), id);
  EXPECT_EQ(VXWPDSim::AddGPhotoCamera("No Such Camera Model 9000", "disk:" + dir.string()), "");

  TVXPortableDevices p;
  ASSERT_TRUE(p.RefreshDevices());
  ASSERT_GE(p.DeviceIDToIndex(id), 0);
  EXPECT_EQ(p.GetDevices(p.DeviceIDToIndex(id)).FriendlyName, "Directory Browse");
  // One storage, "Directory Driver".
  ASSERT_TRUE(p.NavigateToFolderID(id, "", false, VXWPDTypes(vxwFolder)));
  ASSERT_EQ(p.ObjectCount(), 1);
  EXPECT_EQ(p.GetObjects(0).FriendlyName, "Directory Driver");

  // The listing: every line "#n name" of gphoto2, in its order.
  std::vector<std::string> ours;
  ListLikeTheCli(p, id, p.GetObjects(0).ID, ours);
  std::vector<std::string> cli;
  std::string folder;
  const std::string listing = Cli(dir, "--list-files");
  for (size_t at = 0; at < listing.size();) {
    size_t end = listing.find('\n', at);
    if (end == std::string::npos) end = listing.size();
    const std::string line = listing.substr(at, end - at);
    at = end + 1;
    const size_t q1 = line.find("in folder '");
    if (q1 != std::string::npos) folder = line.substr(q1 + 11, line.rfind('\'') - q1 - 11);
    if (line.size() > 1 && line[0] == '#') {
      const size_t start = line.find_first_not_of(' ', line.find(' '));
      cli.push_back((folder == "/" ? "" : folder) + "/" + line.substr(start, line.find(' ', start) - start));
    }
  }
  ASSERT_EQ(cli.size(), 5u) << listing;
  EXPECT_EQ(ours, cli);

  // Copies equal gphoto2's --get-all-files, byte for byte.
  const fs::path got = fRoot / "cli";
  fs::create_directories(got);
  Shell("cd " + Quote(got.string()) + " && gphoto2 --camera 'Directory Browse' --port " +
        Quote("disk:" + dir.string()) + " --get-all-files --filename 'root/%F/%f.%C' >/dev/null 2>&1");
  ASSERT_EQ(FilesBelow(got).size(), 5u);
  for (size_t i = 0; i < ours.size(); ++i) {
    const fs::path mine = fRoot / ("mine-" + std::to_string(i));
    ASSERT_TRUE(p.CopyFileFromDevice(id, ours[i], mine.string())) << ours[i];
    EXPECT_TRUE(SameFiles(mine, got / ("root" + ours[i]))) << ours[i];
  }

  // The camera's DCIM folder is a source named after the camera.
  TVXDcimAcquire a;
  const int source = a.SourceNameToIndex("directory browse");
  ASSERT_GE(source, 0);
  EXPECT_EQ(a.GetSources(source).Path, "Directory Driver\\DCIM\\");
  EXPECT_EQ(a.GetSources(source).Name, "Directory Browse");
}

TEST_F(GPhoto2, CopyToCameraDeleteAndCapture) {
  if (!NeedGPhoto2() || !NeedJpegTools()) return;
  const fs::path dir = fRoot / "card";
  MakeJpeg(dir / "DCIM" / "100CANON" / "IMG_0001.JPG", 20, 12, 1);
  MakeJpeg(dir / "DCIM" / "100CANON" / "IMG_0002.JPG", 9, 9, 2);
  MakeJpeg(fRoot / "new.jpg", 7, 5, 9);
  const std::string id = VXWPDSim::AddGPhotoCamera("Directory Browse", "disk:" + dir.string());
  ASSERT_FALSE(id.empty());
  TVXPortableDevices p;
  EXPECT_TRUE(p.CopyFileToDevice(id, "/DCIM/100CANON", (fRoot / "new.jpg").string()));
  EXPECT_TRUE(SameFiles(dir / "DCIM" / "100CANON" / "new.jpg", fRoot / "new.jpg"));
  EXPECT_FALSE(p.CopyFileToDevice(id, "/DCIM/100CANON", (fRoot / "new.jpg").string()));  // exists

  // Acquisition with deletion empties the camera's DCIM of its images.
  const fs::path dest = fRoot / "out";
  fs::create_directories(dest);
  TVXDcimAcquire a;
  a.SetSelectedSource(a.SourceNameToIndex("Directory Browse"));
  EXPECT_TRUE(a.CopyImages(dest.string(), nullptr, true));
  EXPECT_EQ(FilesBelow(dest), (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002.JPG", "new.jpg"}));
  EXPECT_EQ(FilesBelow(dir), (std::vector<std::string>{}));
  EXPECT_EQ(p.DeleteFromDevice(id, "/DCIM/100CANON", false), 1);
  EXPECT_FALSE(fs::exists(dir / "DCIM" / "100CANON"));

  // The folder camera takes no pictures: an error, not a crash.
  std::string object;
  EXPECT_NE(VXGPhoto2Capture(id, object), S_OK);
  EXPECT_EQ(object, "");
  EXPECT_EQ(VXGPhoto2Capture("no such device", object), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
}

TEST_F(GPhoto2, WithoutTheLibrary) {
  fs::create_directories(fRoot / "folder" / "Internal" / "DCIM");
  VXWPDSim::AddFolderDevice("FOLDER", "Folder", (fRoot / "folder").string(), false);
  VXGPhoto2SetSoname("libgphoto2-not-installed.so.0");
  EXPECT_FALSE(VXGPhoto2Available());
  EXPECT_EQ(VXWPDSim::AddGPhotoCamera("Directory Browse", "disk:" + fRoot.string()), "");
  TVXPortableDevices p;
  ASSERT_TRUE(p.RefreshDevices());
  ASSERT_EQ(p.DeviceCount(), 1);
  EXPECT_EQ(p.GetDevices(0).ID, "FOLDER");
  TVXDcimAcquire a;
  EXPECT_EQ(a.SourceCount(), 1);
  std::string object;
  EXPECT_EQ(VXGPhoto2Capture("gphoto2:Directory Browse@disk:/", object), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));

  // This program links the acquisition library and needs no libgphoto2.
  if (!Have("readelf")) GTEST_SKIP() << "readelf missing";
  const std::string needed = Shell("readelf -d /proc/" + std::to_string(getpid()) + "/exe");
  EXPECT_NE(needed.find("NEEDED"), std::string::npos);
  EXPECT_EQ(needed.find("gphoto"), std::string::npos) << needed;
}

}  // namespace
