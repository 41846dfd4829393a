// Our image-acquisition device manager over simulated scanners: the device
// list and its properties, the item tree, item properties with their valid
// values, and banded transfers of several pages.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquire/wia_api.h"
#include "acquire/wia_sim.h"
#include "core/startup.h"
#include "tests/acquire/wia_bands.h"

namespace {

namespace fs = std::filesystem;

class Wia : public ::testing::Test {
protected:
  void SetUp() override {
    VXWiaSim::Reset();
    fTemp = fs::temp_directory_path() /
            ("vxwia-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(fTemp);
    ASSERT_EQ(CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IWiaDevMgr::kIID,
                               reinterpret_cast<void**>(&fMgr)),
              S_OK);
  }
  void TearDown() override {
    if (fMgr) fMgr->Release();
    VXWiaSim::Reset();
    std::error_code ec;
    fs::remove_all(fTemp, ec);
  }
  // An 8-bit grey PNM page W x H whose pixel (x, y) is x * 7 + y * 13 + Seed.
  std::string Page(int W, int H, int Seed) {
    const std::string name = (fTemp / ("p" + std::to_string(Seed) + ".pnm")).string();
    std::ofstream f(name, std::ios::binary);
    f << "P5\n" << W << " " << H << "\n255\n";
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) f.put(char((x * 7 + y * 13 + Seed) & 0xFF));
    return name;
  }
  IWiaItem* Open(const std::string& Id) {
    IWiaItem* root = nullptr;
    EXPECT_EQ(fMgr->CreateDevice(Id.c_str(), &root), S_OK);
    return root;
  }
  TVXLibraryGuard fLibrary;
  IWiaDevMgr* fMgr = nullptr;
  fs::path fTemp;
};

// The MEMORYBMP bytes of an 8-bit page as Page() made it.
void ExpectGreyPage(const std::vector<uint8_t>& b, int W, int H, int Seed) {
  ASSERT_GE(b.size(), 40u + 1024u);
  auto i32 = [&](size_t at) { return int32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24); };
  EXPECT_EQ(i32(0), 40);
  EXPECT_EQ(i32(4), W);
  EXPECT_EQ(i32(8), H);
  EXPECT_EQ(b[14], 8);
  EXPECT_EQ(i32(32), 256);
  const size_t stride = (size_t(W) + 3) / 4 * 4;
  ASSERT_EQ(b.size(), 40u + 1024u + stride * size_t(H));
  int bad = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (b[40 + 1024 + size_t(H - 1 - y) * stride + size_t(x)] != uint8_t((x * 7 + y * 13 + Seed) & 0xFF) && bad++ < 3)
        ADD_FAILURE() << "pixel " << x << "," << y;
}

TEST_F(Wia, DevicesListWithTheirSevenProperties) {
  VXWiaSim::AddScanner(R"({"Name": "Scanner A"})");
  VXWiaSim::AddScanner(R"({"Name": "Odd device", "Type": 458753})");  // 0x00070001: a type unknown to clients
  IEnumWIA_DEV_INFO* e = nullptr;
  ASSERT_EQ(fMgr->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, &e), S_OK);
  ASSERT_EQ(e->Reset(), S_OK);
  ULONG n = 0;
  ASSERT_EQ(e->GetCount(&n), S_OK);
  EXPECT_EQ(n, 2u);
  struct TWant {
    std::string Id, Name;
    LONG Type;
  } const want[] = {{"sim:Scanner A", "Scanner A", StiDeviceTypeScanner << 16}, {"sim:Odd device", "Odd device", 0x00070001}};
  for (const TWant& w : want) {
    IWiaPropertyStorage* s = nullptr;
    ULONG got = 0;
    ASSERT_EQ(e->Next(1, &s, &got), S_OK);
    ASSERT_EQ(got, 1u);
    const PROPID ids[7] = {WIA_DIP_DEV_ID,        WIA_DIP_DEV_NAME,    WIA_DIP_DEV_TYPE, WIA_DIP_DRIVER_VERSION,
                           WIA_DIP_PORT_NAME,     WIA_DIP_SERVER_NAME, WIA_DIP_VEND_DESC};
    PROPSPEC prop[7];
    PROPVARIANT v[7];
    for (int i = 0; i < 7; ++i) prop[i].propid = ids[i];
    ASSERT_EQ(s->ReadMultiple(7, prop, v), S_OK);
    EXPECT_EQ(VXStr(v[0].pwszVal), w.Id);
    EXPECT_EQ(VXStr(v[1].pwszVal), w.Name);
    ASSERT_EQ(v[2].vt, VT_I4);
    EXPECT_EQ(v[2].lVal, w.Type);
    for (int i : {3, 4, 5, 6}) EXPECT_EQ(v[i].vt, VT_LPWSTR) << ids[i];
    for (PROPVARIANT& p : v) PropVariantClear(&p);
    s->Release();
  }
  IWiaPropertyStorage* s = nullptr;
  ULONG got = 7;
  EXPECT_EQ(e->Next(1, &s, &got), S_FALSE);
  EXPECT_EQ(got, 0u);
  e->Release();
  // The manager serves the local-server context only.
  IWiaDevMgr* inproc = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_INPROC_SERVER, IWiaDevMgr::kIID,
                             reinterpret_cast<void**>(&inproc)),
            REGDB_E_CLASSNOTREG);
}

TEST_F(Wia, ItemTreeAndProperties) {
  VXWiaSim::AddScanner(R"({"Name": "Scanner A"})");
  IWiaItem* none = nullptr;
  EXPECT_NE(fMgr->CreateDevice("sim:nobody", &none), S_OK);
  EXPECT_EQ(none, nullptr);
  IWiaItem* root = Open("sim:Scanner A");
  ASSERT_NE(root, nullptr);
  IWiaItem* again = nullptr;
  EXPECT_NE(fMgr->CreateDevice("sim:Scanner A", &again), S_OK);  // one client at a time
  LONG type = 0;
  ASSERT_EQ(root->GetItemType(&type), S_OK);
  EXPECT_EQ(type, WiaItemTypeRoot | WiaItemTypeDevice | WiaItemTypeFolder);
  std::vector<IWiaItem*> kids = Children(root);
  ASSERT_EQ(kids.size(), 1u);  // no feeder switch: a flatbed only
  IWiaItem* bed = kids[0];
  ASSERT_EQ(bed->GetItemType(&type), S_OK);
  EXPECT_TRUE(type & WiaItemTypeImage);
  PROPVARIANT name = ReadProp(bed, WIA_IPA_ITEM_NAME);
  EXPECT_EQ(VXStr(name.pwszVal), "Flatbed");
  PropVariantClear(&name);
  // The format: a GUID, written back as one; another format is refused.
  PROPVARIANT fmt = ReadProp(bed, WIA_IPA_FORMAT);
  ASSERT_EQ(fmt.vt, VT_CLSID);
  EXPECT_EQ(VXGUIDToString(*fmt.puuid), "{B96B3CAA-0728-11D3-9D7B-0000F81EF32E}");
  EXPECT_EQ(WriteProp(bed, WIA_IPA_FORMAT, fmt), S_OK);
  *fmt.puuid = WiaImgFmt_JPEG;  // pages as JPEG on request
  EXPECT_EQ(WriteProp(bed, WIA_IPA_FORMAT, fmt), S_OK);
  *fmt.puuid = WiaImgFmt_BMP;
  EXPECT_NE(WriteProp(bed, WIA_IPA_FORMAT, fmt), S_OK);
  *fmt.puuid = WiaImgFmt_MEMORYBMP;
  EXPECT_EQ(WriteProp(bed, WIA_IPA_FORMAT, fmt), S_OK);
  PropVariantClear(&fmt);
  // The medium: callbacks, not multi-page callbacks.
  EXPECT_NE(WriteInt(bed, WIA_IPA_TYMED, TYMED_MULTIPAGE_CALLBACK), S_OK);
  EXPECT_EQ(WriteInt(bed, WIA_IPA_TYMED, TYMED_CALLBACK), S_OK);
  IWiaPropertyStorage* st = nullptr;
  ASSERT_EQ(bed->QueryInterface(IWiaPropertyStorage::kIID, reinterpret_cast<void**>(&st)), S_OK);
  PROPSPEC prop;
  prop.propid = WIA_IPA_TYMED;
  ULONG flags = 0;
  PROPVARIANT valid;
  ASSERT_EQ(st->GetPropertyAttributes(1, &prop, &flags, &valid), S_OK);
  EXPECT_EQ(flags, WIA_PROP_RW | WIA_PROP_LIST);
  ASSERT_EQ(valid.vt, VT_VECTOR | VT_I4);
  EXPECT_EQ(std::vector<int32_t>(valid.cal.pElems, valid.cal.pElems + valid.cal.cElems),
            (std::vector<int32_t>{1, TYMED_CALLBACK, TYMED_CALLBACK}));
  PropVariantClear(&valid);
  // A property the scanner lacks reads empty; a read-only one refuses writes.
  PROPVARIANT res;
  prop.propid = WIA_IPS_XRES;
  EXPECT_EQ(st->ReadMultiple(1, &prop, &res), S_FALSE);
  EXPECT_EQ(res.vt, VT_EMPTY);
  EXPECT_NE(WriteInt(bed, WIA_IPA_ITEM_NAME, 3), S_OK);
  st->Release();
  // The root has no data; the flatbed's root is the root.
  IWiaDataTransfer* t = nullptr;
  EXPECT_EQ(root->QueryInterface(IWiaDataTransfer::kIID, reinterpret_cast<void**>(&t)), E_NOINTERFACE);
  IWiaItem* back = nullptr;
  ASSERT_EQ(bed->GetRootItem(&back), S_OK);
  EXPECT_EQ(back, root);
  back->Release();
  for (IWiaItem* k : kids) k->Release();
  root->Release();
  // Released, the device opens again.
  IWiaItem* reopened = Open("sim:Scanner A");
  ASSERT_NE(reopened, nullptr);
  reopened->Release();
}

TEST_F(Wia, PagesArriveInBandsWithNewPageBeforeOrAfter) {
  struct TCase {
    bool After;
    int32_t Band;
    std::vector<std::string> Order;
  } const cases[] = {
      {true, 0, {"header", "newpage", "header", "newpage", "header", "newpage", "end"}},
      {false, 7, {"header", "newpage", "header", "newpage", "header", "end"}},
      {true, 1, {"header", "newpage", "header", "newpage", "header", "newpage", "end"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.After) + " " + std::to_string(c.Band));
    VXWiaSim::Reset();
    VXWiaSim::SetNewPageAfter(c.After);
    VXWiaSim::SetBandSize(c.Band);
    VXWiaSim::AddScanner(R"({"Name": "Feeder", "Pages": [")" + Page(5, 3, 1) + "\", \"" + Page(9, 2, 2) + "\", \"" +
                         Page(4, 4, 3) + "\"]}");
    IWiaItem* root = Open("sim:Feeder");
    ASSERT_NE(root, nullptr);
    std::vector<IWiaItem*> kids = Children(root);
    ASSERT_EQ(kids.size(), 1u);
    TBands bands;
    EXPECT_EQ(Transfer(kids[0], bands), S_OK);
    EXPECT_EQ(bands.Order(), c.Order);
    ASSERT_EQ(bands.Pages.size(), 3u);
    ExpectGreyPage(bands.Pages[0], 5, 3, 1);
    ExpectGreyPage(bands.Pages[1], 9, 2, 2);
    ExpectGreyPage(bands.Pages[2], 4, 4, 3);
    ASSERT_EQ(bands.Headers.size(), 3u);
    EXPECT_EQ(bands.Headers[1].lBufferSize, LONG(bands.Pages[1].size()));
    EXPECT_TRUE(IsEqualGUID(bands.Headers[1].guidFormatID, WiaImgFmt_MEMORYBMP));
    for (LONG len : bands.BandLengths) EXPECT_LE(len, c.Band ? c.Band : 65536);
    // The feeder is empty now.
    TBands none;
    EXPECT_NE(Transfer(kids[0], none), S_OK);
    EXPECT_TRUE(none.Messages.empty());
    for (IWiaItem* k : kids) k->Release();
    root->Release();
  }
}

TEST_F(Wia, CallbackAnsweringFalseStopsTheTransfer) {
  VXWiaSim::SetBandSize(100);
  VXWiaSim::AddScanner(R"({"Name": "Feeder", "Pages": [")" + Page(40, 10, 1) + "\", \"" + Page(40, 10, 2) + "\"]}");
  IWiaItem* root = Open("sim:Feeder");
  ASSERT_NE(root, nullptr);
  std::vector<IWiaItem*> kids = Children(root);
  ASSERT_EQ(kids.size(), 1u);
  TBands bands;
  bands.StopAtData = 16;  // within the second page (14 bands per page)
  EXPECT_EQ(Transfer(kids[0], bands), S_FALSE);
  ASSERT_EQ(bands.Pages.size(), 1u);  // the first page was whole
  ExpectGreyPage(bands.Pages[0], 40, 10, 1);
  EXPECT_EQ(bands.Order().back(), "header");  // no termination after a stop
  for (IWiaItem* k : kids) k->Release();
  root->Release();
}

TEST_F(Wia, CameraItemsAreTheFoldersAndPicturesOfItsStore) {
  const fs::path card = fTemp / "card";
  fs::create_directories(card / "DCIM" / "100TEST");
  fs::copy_file(fs::path(VX_TEST_DATA_DIR) / "photo_48x30.jpg", card / "DCIM" / "100TEST" / "a.jpg");
  std::ofstream(card / "DCIM" / "100TEST" / "notes.txt") << "not a picture";
  VXWiaSim::AddCamera("Camera", card.string());
  IEnumWIA_DEV_INFO* e = nullptr;
  ASSERT_EQ(fMgr->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, &e), S_OK);
  IWiaPropertyStorage* info = nullptr;
  ULONG got = 0;
  ASSERT_EQ(e->Next(1, &info, &got), S_OK);
  PROPVARIANT type = ReadProp(info, WIA_DIP_DEV_TYPE);
  EXPECT_EQ(type.lVal >> 16, StiDeviceTypeDigitalCamera);
  info->Release();
  e->Release();
  IWiaItem* root = Open("sim:Camera");
  ASSERT_NE(root, nullptr);
  // Root, the card's storage, DCIM, 100TEST, then the files in name order.
  std::vector<IWiaItem*> level = Children(root);
  for (const char* folder : {"Memory card", "DCIM", "100TEST"}) {
    ASSERT_EQ(level.size(), 1u) << folder;
    PROPVARIANT n = ReadProp(level[0], WIA_IPA_ITEM_NAME);
    EXPECT_EQ(VXStr(n.pwszVal), folder);
    PropVariantClear(&n);
    LONG t = 0;
    level[0]->GetItemType(&t);
    EXPECT_EQ(t, WiaItemTypeFolder);
    std::vector<IWiaItem*> next = Children(level[0]);
    level[0]->Release();
    level = next;
  }
  ASSERT_EQ(level.size(), 2u);
  IWiaItem* photo = level[0];
  LONG t = 0;
  photo->GetItemType(&t);
  EXPECT_EQ(t, WiaItemTypeImage | WiaItemTypeFile);
  level[1]->GetItemType(&t);
  EXPECT_EQ(t, WiaItemTypeFile);  // the text file is no picture
  // The transfer gives the file's bytes, as JPEG.
  VXWiaSim::SetBandSize(1000);
  TBands bands;
  ASSERT_EQ(Transfer(photo, bands), S_OK);
  std::ifstream f(card / "DCIM" / "100TEST" / "a.jpg", std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(f)), {});
  ASSERT_EQ(bands.Pages.size(), 1u);
  EXPECT_EQ(bands.Pages[0], file);
  EXPECT_TRUE(IsEqualGUID(bands.Headers[0].guidFormatID, WiaImgFmt_JPEG));
  // The thumbnail: 48 x 30 into 80 x 80 keeps its shape, bottom-up 24-bit
  // rows of 240 bytes.
  PROPVARIANT w = ReadProp(photo, WIA_IPC_THUMB_WIDTH), h = ReadProp(photo, WIA_IPC_THUMB_HEIGHT);
  EXPECT_EQ(w.lVal, 80);
  EXPECT_EQ(h.lVal, 50);
  PROPVARIANT thumb = ReadProp(photo, WIA_IPC_THUMBNAIL);
  ASSERT_EQ(thumb.vt, VT_VECTOR | VT_UI1);
  EXPECT_EQ(thumb.caub.cElems, 240u * 50u);
  PropVariantClear(&thumb);
  // Deleting removes the file; the item then reads as deleted.
  EXPECT_EQ(photo->DeleteItem(0), S_OK);
  EXPECT_FALSE(fs::exists(card / "DCIM" / "100TEST" / "a.jpg"));
  photo->GetItemType(&t);
  EXPECT_EQ(t, WiaItemTypeDeleted);
  TBands none;
  EXPECT_NE(Transfer(photo, none), S_OK);
  for (IWiaItem* i : level) i->Release();
  root->Release();
}

// Records the events a client registered for.
class TEvents : public TVXComObject<IWiaEventCallback> {
public:
  std::vector<std::string> Seen;  // "created <full item name>", "deleted ..."
  HRESULT ImageEventCallback(const GUID* Event, LPCWSTR, LPCWSTR Device, LPCWSTR, DWORD, LPCWSTR Item, ULONG*,
                             ULONG) override {
    const std::string kind = IsEqualGUID(*Event, WIA_EVENT_ITEM_CREATED)   ? "created"
                             : IsEqualGUID(*Event, WIA_EVENT_ITEM_DELETED) ? "deleted"
                                                                            : "other";
    Seen.push_back(kind + " " + VXStr(Device) + " " + VXStr(Item));
    return S_OK;
  }
};

TEST_F(Wia, TakingAPictureAddsItAndTellsTheRegisteredClients) {
  const fs::path card = fTemp / "card";
  fs::create_directories(card);
  VXWiaSim::AddCamera("Camera", card.string());
  VXWiaSim::AddScanner(R"({"Name": "Scanner"})");
  TEvents created, deleted, other;
  IUnknown *regCreated = nullptr, *regDeleted = nullptr, *regOther = nullptr;
  ASSERT_EQ(fMgr->RegisterEventCallbackInterface(0, nullptr, &WIA_EVENT_ITEM_CREATED, &created, &regCreated), S_OK);
  ASSERT_EQ(fMgr->RegisterEventCallbackInterface(0, nullptr, &WIA_EVENT_ITEM_DELETED, &deleted, &regDeleted), S_OK);
  // A registration for another device hears nothing of this one.
  ASSERT_EQ(fMgr->RegisterEventCallbackInterface(0, "sim:Scanner", &WIA_EVENT_ITEM_CREATED, &other, &regOther), S_OK);
  IWiaItem* root = Open("sim:Camera");
  ASSERT_NE(root, nullptr);
  IWiaItem* made = nullptr;
  ASSERT_EQ(root->DeviceCommand(0, &WIA_CMD_TAKE_PICTURE, &made), S_OK);
  ASSERT_NE(made, nullptr);
  const fs::path file = card / "DCIM" / "100VXSIM" / "VX0001.jpg";
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(created.Seen, std::vector<std::string>{"created sim:Camera Camera\\Root\\DCIM\\100VXSIM\\VX0001.jpg"});
  EXPECT_TRUE(other.Seen.empty());
  // The new picture transfers byte for byte.
  TBands bands;
  ASSERT_EQ(Transfer(made, bands), S_OK);
  std::ifstream f(file, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
  ASSERT_EQ(bands.Pages.size(), 1u);
  EXPECT_EQ(bands.Pages[0], bytes);
  EXPECT_EQ(made->DeleteItem(0), S_OK);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(deleted.Seen.size(), 1u);
  made->Release();
  // A second picture takes the next free name; a released registration
  // hears nothing more. SYNCHRONIZE does nothing harmful.
  regCreated->Release();
  ASSERT_EQ(root->DeviceCommand(0, &WIA_CMD_TAKE_PICTURE, &made), S_OK);
  made->Release();
  EXPECT_EQ(created.Seen.size(), 1u);
  EXPECT_EQ(root->DeviceCommand(0, &WIA_CMD_SYNCHRONIZE, nullptr), S_OK);
  root->Release();
  // A scanner takes no picture, and nothing breaks.
  IWiaItem* scanner = Open("sim:Scanner");
  ASSERT_NE(scanner, nullptr);
  IWiaItem* none = nullptr;
  EXPECT_NE(scanner->DeviceCommand(0, &WIA_CMD_TAKE_PICTURE, &none), S_OK);
  EXPECT_EQ(none, nullptr);
  scanner->Release();
  regDeleted->Release();
  regOther->Release();
}

TEST_F(Wia, DialogsAnswerAsScriptedAndCancelOtherwise) {
  VXWiaSim::AddScanner(R"({"Name": "Scanner"})");
  LPWSTR id = nullptr;
  EXPECT_EQ(fMgr->SelectDeviceDlgID(nullptr, 0, WIA_SELECT_DEVICE_NODEFAULT, &id), S_FALSE);
  EXPECT_EQ(id, nullptr);
  VXWiaSim::SetDialogAnswer("sim:Scanner");
  ASSERT_EQ(fMgr->SelectDeviceDlgID(nullptr, 0, WIA_SELECT_DEVICE_NODEFAULT, &id), S_OK);
  EXPECT_EQ(VXStr(id), "sim:Scanner");
  CoTaskMemFree(id);
  IWiaItem* root = Open("sim:Scanner");
  ASSERT_NE(root, nullptr);
  LONG count = -1;
  IWiaItem** items = nullptr;
  EXPECT_EQ(root->DeviceDlg(nullptr, WIA_DEVICE_DIALOG_USE_COMMON_UI, 0, &count, &items), S_FALSE);
  EXPECT_EQ(count, 0);
  VXWiaSim::SetDialogAnswer("Flatbed");
  ASSERT_EQ(root->DeviceDlg(nullptr, 0, 0, &count, &items), S_OK);
  ASSERT_EQ(count, 1);
  PROPVARIANT name = ReadProp(items[0], WIA_IPA_ITEM_NAME);
  EXPECT_EQ(VXStr(name.pwszVal), "Flatbed");
  PropVariantClear(&name);
  items[0]->Release();
  CoTaskMemFree(items);
  root->Release();
}

}  // namespace
