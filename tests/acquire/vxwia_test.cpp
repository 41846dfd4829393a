// The library's image-acquisition client over our device manager's
// simulated scanners and cameras: the device list and connections,
// properties and their valid values, banded multi-page transfers into
// bitmaps, pictures taken on cameras, the tree view and thumbnails.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquire/vxwia.h"
#include "acquire/wia_sim.h"
#include "core/bitmap.h"
#include "core/startup.h"
#include "gui/treenodes.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "platform/win_clock.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> FileBytes(const fs::path& P) {
  std::ifstream f(P, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), {});
}

class WiaClient : public ::testing::Test {
protected:
  void SetUp() override {
    VXWiaSim::Reset();
    fTemp = fs::temp_directory_path() / ("vxwiaclient-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(fTemp);
  }
  void TearDown() override {
    VXClockSetVirtual(false);
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
  std::string ThreePages() {
    return R"({"Name": "Scanner", "Pages": [")" + Page(5, 3, 1) + R"(", ")" + Page(6, 2, 2) + R"(", ")" +
           Page(7, 4, 3) + R"("]})";
  }
  TVXLibraryGuard fLibrary;
  fs::path fTemp;
};

// A page's grey pixel as Page() made it, read from a 24-bit bitmap.
void ExpectPage(const TVXBitmap& b, int W, int H, int Seed) {
  ASSERT_EQ(b.Width(), W);
  ASSERT_EQ(b.Height(), H);
  int bad = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const uint8_t want = uint8_t((x * 7 + y * 13 + Seed) & 0xFF);
      uint8_t got;
      if (b.PixelFormat() == vx24RGB)
        got = static_cast<const uint8_t*>(b.ScanLine(y))[3 * x];
      else
        got = static_cast<const uint8_t*>(b.ScanLine(y))[x];
      if (got != want && bad++ < 3) ADD_FAILURE() << "pixel " << x << "," << y << " of page " << Seed;
    }
}

TEST_F(WiaClient, DeviceListTypesAndConnections) {
  const fs::path card = fTemp / "card";
  fs::create_directories(card);
  VXWiaSim::AddScanner(R"({"Name": "Scanner"})");
  VXWiaSim::AddScanner(R"({"Name": "Odd", "Type": 458752})");    // 7 << 16
  VXWiaSim::AddScanner(R"({"Name": "Video", "Type": 196608})");  // 3 << 16
  VXWiaSim::AddCamera("Camera", card.string());
  TVXWia wia;
  EXPECT_EQ(wia.Device(), nullptr);
  // Counting the devices opens device 0.
  ASSERT_GE(wia.DevicesInfoCount(), 4);
  ASSERT_NE(wia.Device(), nullptr);
  EXPECT_EQ(wia.ConnectedDeviceIndex(), 0);
  EXPECT_TRUE(VXWiaHas(wia.Device()->ItemType, witRoot));
  struct {
    int Index;
    const char* Name;
    TVXWiaDeviceType Type;
    bool TakePicture;
  } cases[] = {{0, "Scanner", vxwScanner, true},
               {1, "Odd", vxwScanner, true},
               {2, "Video", vxwStreamingVideo, true},
               {3, "Camera", vxwDigitalCamera, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXWiaDeviceInfo* info = wia.GetDevicesInfo(c.Index);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Name, c.Name);
    EXPECT_EQ(info->ID, std::string("sim:") + c.Name);
    EXPECT_EQ(info->DeviceType, c.Type);
    EXPECT_EQ(info->ServerName, "local");
    wia.SetTakePicture(!c.TakePicture);
    // By name, ignoring case.
    std::string lower = c.Name;
    for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(wia.SourceNameToIndex(lower), c.Index);
    ASSERT_TRUE(wia.ConnectTo(lower));
    EXPECT_EQ(wia.ConnectedDeviceIndex(), c.Index);
    EXPECT_EQ(wia.TakePicture(), c.TakePicture);
  }
  EXPECT_EQ(wia.SourceNameToIndex("nothing"), -1);
  EXPECT_FALSE(wia.ConnectTo(""));
  EXPECT_EQ(wia.GetDevicesInfo(wia.DevicesInfoCount()), nullptr);
  EXPECT_THROW(wia.GetDevicesInfo(-1), EVXException);
  // An index past the list connects nothing.
  EXPECT_FALSE(wia.ConnectTo(wia.DevicesInfoCount() + 5));
  EXPECT_EQ(wia.Device(), nullptr);
  // The selection dialog: cancelled leaves nothing connected; answered
  // connects the chosen device.
  ASSERT_TRUE(wia.ConnectTo(0));
  EXPECT_FALSE(wia.ConnectToUsingDialog());
  EXPECT_EQ(wia.Device(), nullptr);
  VXWiaSim::SetDialogAnswer("sim:Video");
  EXPECT_TRUE(wia.ConnectToUsingDialog());
  EXPECT_EQ(wia.ConnectedDeviceIndex(), 2);
}

TEST_F(WiaClient, PropertiesAndTheirValidValues) {
  VXWiaSim::AddScanner(R"({"Name": "Scanner"})");
  TVXWia wia;
  // The format reads as lower-case GUID text and is written back as a GUID
  // (the scanner refuses it in any other form).
  const TVXVariant fmt = wia.GetItemProperty(WIA_IPA_FORMAT, nullptr);
  EXPECT_EQ(fmt.AsString(), "{b96b3caa-0728-11d3-9d7b-0000f81ef32e}");
  EXPECT_TRUE(wia.SetItemPropertyVariant(WIA_IPA_FORMAT, fmt, nullptr));
  EXPECT_TRUE(wia.SetItemPropertyVariant(WIA_IPA_FORMAT, TVXVariant(fmt.AsUString()), nullptr));
  EXPECT_FALSE(wia.SetItemPropertyVariant(WIA_IPA_FORMAT, TVXVariant("b96b3caa-0728-11d3-9d7b-0000f81ef32e"), nullptr));
  // Absent properties read empty, which is 0.
  const TVXVariant none = wia.GetItemProperty(12345, nullptr);
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_EQ(none.AsInteger(), 0);
  EXPECT_EQ(wia.GetItemProperty(WIA_IPA_ITEM_NAME, nullptr).AsString(), "Flatbed");
  EXPECT_EQ(wia.GetDeviceProperty(WIA_IPA_ITEM_NAME).AsString(), "Root");
  EXPECT_EQ(wia.GetDeviceProperty(WIA_DPS_DOCUMENT_HANDLING_SELECT).AsInteger(), FLATBED);
  EXPECT_FALSE(wia.SetDeviceProperty(WIA_DPS_HORIZONTAL_BED_SIZE, 5));  // read-only

  TVXWiaAttrib attrib = 0;
  std::unique_ptr<TVXWiaValues> values;
  // A list of GUIDs.
  wia.GetItemPropertyAttrib(WIA_IPA_FORMAT, nullptr, attrib, values);
  EXPECT_TRUE(VXWiaHas(attrib, vxwaRead));
  EXPECT_TRUE(VXWiaHas(attrib, vxwaWrite));
  EXPECT_TRUE(VXWiaHas(attrib, vxwaList));
  EXPECT_FALSE(VXWiaHas(attrib, vxwaRange));
  ASSERT_EQ(values->count, 2);
  EXPECT_EQ(values->GetValues(0).AsString(), "{b96b3caa-0728-11d3-9d7b-0000f81ef32e}");  // MEMORYBMP
  EXPECT_EQ(values->GetValues(1).AsString(), "{b96b3cae-0728-11d3-9d7b-0000f81ef32e}");  // JPEG
  EXPECT_EQ(values->normal.AsInteger(), 0);
  EXPECT_TRUE(values->GetValues(2).IsEmpty());
  // A list of integers: count, nominal, values.
  wia.GetItemPropertyAttrib(WIA_IPA_TYMED, nullptr, attrib, values);
  EXPECT_TRUE(VXWiaHas(attrib, vxwaList));
  ASSERT_EQ(values->count, 1);
  EXPECT_EQ(values->normal.AsInteger(), TYMED_CALLBACK);
  EXPECT_EQ(values->GetValues(0).AsInteger(), TYMED_CALLBACK);
  // Flags: the nominal value.
  wia.GetItemPropertyAttrib(WIA_DPS_DOCUMENT_HANDLING_SELECT, wia.Device(), attrib, values);
  EXPECT_TRUE(VXWiaHas(attrib, vxwaFlag));
  EXPECT_EQ(values->normal.AsInteger(), FLATBED);
  EXPECT_EQ(values->count, 0);
  // No such property: a new empty record, the access as it was.
  attrib = 1u << vxwaCacheable;
  wia.GetItemPropertyAttrib(12345, nullptr, attrib, values);
  EXPECT_EQ(attrib, 1u << vxwaCacheable);
  EXPECT_EQ(values->count, 0);
  EXPECT_EQ(values->max.AsInteger(), 0);
}

TEST_F(WiaClient, AttributeAndItemTypeFlags) {
  EXPECT_EQ(VXWiaAttribFromFlags(WIA_PROP_RW | WIA_PROP_RANGE | WIA_PROP_CACHEABLE),
            (1u << vxwaRead) | (1u << vxwaWrite) | (1u << vxwaRange) | (1u << vxwaCacheable));
  struct {
    uint32_t Flags;
    TVXWiaItemType Set;
  } cases[] = {{0, 0},
               {0x1, 1u << witImage | 1u << witMask},
               {0x4 | 0x8 | 0x40, 1u << witFolder | 1u << witRoot | 1u << witDevice | 1u << witMask},
               {0x20000, 1u << witTwainCapabilityPassThrough | 1u << witMask},
               {0x80000000u, 1u << witRemoved | 1u << witMask},
               {0x40000, 0}};  // outside the mask
  for (const auto& c : cases) EXPECT_EQ(VXWiaItemTypeFromFlags(LONG(c.Flags)), c.Set) << std::hex << c.Flags;
}

TEST_F(WiaClient, MultiPageTransfersGiveEveryPage) {
  for (bool after : {true, false}) {
    SCOPED_TRACE(after ? "NEW_PAGE after" : "NEW_PAGE before");
    VXWiaSim::Reset();  // the pages again
    VXWiaSim::AddScanner(ThreePages());
    VXWiaSim::SetNewPageAfter(after);
    VXWiaSim::SetBandSize(5);
    TVXWia wia;
    TVXBitmap dest;
    wia.ProcessingBitmap = &dest;
    std::vector<std::tuple<int, int, int>> seen;
    TIOParamsVals last;
    wia.SetOnGetPage([&](TVXBitmap* b, TIOParamsVals*& io, int32_t dx, int32_t dy) {
      EXPECT_EQ(b, &dest);
      seen.emplace_back(b->Width(), b->Height(), dx);
      EXPECT_EQ(dy, dx);
      const int seed = int(seen.size());
      ExpectPage(*b, b->Width(), b->Height(), seed);
      io = &last;
    });
    wia.SetTransferFormat(vxtfBitmap);
    // The feeder hands over every page; the medium the scanner refuses for
    // several pages falls back to one callback.
    ASSERT_TRUE(wia.Transfer(nullptr, true));
    EXPECT_EQ(wia.GetItemProperty(WIA_IPA_TYMED, nullptr).AsInteger(), TYMED_CALLBACK);
    EXPECT_EQ(seen, (std::vector<std::tuple<int, int, int>>{{5, 3, 300}, {6, 2, 300}, {7, 4, 300}}));
    EXPECT_EQ(wia.TransferFormat(), vxtfRawBitmap);
    EXPECT_EQ(wia.ProcessingInfo.DPIX, 300);
    EXPECT_EQ(last.Width(), 7);
    EXPECT_EQ(last.Height(), 4);
  }
}

TEST_F(WiaClient, ScannerPagesAsJpegOnRequest) {
  VXWiaSim::AddScanner(R"({"Name": "Scanner", "Pages": [")" + Page(40, 24, 1) + R"("]})");
  TVXWia wia;
  TVXBitmap b;
  wia.ProcessingBitmap = &b;
  wia.SetTransferFormat(vxtfJpeg);
  wia.SetSaveTransferBufferAs((fTemp / "scan.tif").string());
  ASSERT_TRUE(wia.Transfer(nullptr, false));
  EXPECT_EQ(wia.TransferFormat(), vxtfJpeg);
  EXPECT_EQ(wia.GetItemProperty(WIA_IPA_FORMAT, nullptr).AsString(), "{b96b3cae-0728-11d3-9d7b-0000f81ef32e}");
  const std::vector<uint8_t> saved = FileBytes(fTemp / "scan.jpg");
  ASSERT_GE(saved.size(), 2u);
  EXPECT_EQ(saved[0], 0xFF);
  EXPECT_EQ(saved[1], 0xD8);
  ASSERT_EQ(b.Width(), 40);
  ASSERT_EQ(b.Height(), 24);
  EXPECT_EQ(wia.ProcessingInfo.DPIX, 300);
  // Lossy, but the page's picture.
  double err = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 40; ++x) {
      const auto* row = static_cast<const uint8_t*>(b.ScanLine(y));
      const int got = b.PixelFormat() == vx24RGB ? row[3 * x + 1] : row[x];
      err += std::abs(got - ((x * 7 + y * 13 + 1) & 0xFF));
    }
  EXPECT_LT(err / (40 * 24), 16.0);
}

TEST_F(WiaClient, ProgressAnsweringFalseStopsAndKeepsEarlierPages) {
  VXWiaSim::AddScanner(ThreePages());
  TVXWia wia;
  int pages = 0;
  // No bitmap of the caller's: each page has one of its own.
  wia.SetOnGetPage([&](TVXBitmap* b, TIOParamsVals*&, int32_t, int32_t) {
    ASSERT_NE(b, nullptr);
    ExpectPage(*b, b->Width(), b->Height(), ++pages);
  });
  wia.SetOnProgress([&](int32_t) { return pages < 1; });
  EXPECT_FALSE(wia.Transfer(nullptr, false));
  EXPECT_EQ(pages, 1);
}

// The callback object alone, fed message sequences.
TEST_F(WiaClient, BandedMessagesMakePages) {
  const WIA_DATA_CALLBACK_HEADER h{28, WiaImgFmt_MEMORYBMP, 0, 0};
  BYTE header[28];
  std::memcpy(header, &h, sizeof header);
  BYTE bytes[4] = {1, 2, 3, 4};
  struct TMsg {
    LONG Msg, Length;
    HRESULT Want;
  };
  struct {
    const char* Name;
    std::vector<TMsg> Messages;
    std::vector<int> PageLengths;
  } cases[] = {
      {"termination without header", {{IT_MSG_DATA, 4, S_OK}, {IT_MSG_TERMINATION, 0, S_OK}}, {}},
      {"header, data, termination",
       {{IT_MSG_DATA_HEADER, 28, S_OK}, {IT_MSG_DATA, 4, S_OK}, {IT_MSG_DATA, 2, S_OK}, {IT_MSG_TERMINATION, 0, S_OK}},
       {6}},
      {"new page after each",
       {{IT_MSG_DATA_HEADER, 28, S_OK}, {IT_MSG_DATA, 4, S_OK}, {IT_MSG_NEW_PAGE, 0, S_OK},
        {IT_MSG_DATA_HEADER, 28, S_OK}, {IT_MSG_DATA, 3, S_OK}, {IT_MSG_NEW_PAGE, 0, S_OK},
        {IT_MSG_TERMINATION, 0, S_OK}},
       {4, 3}},
      {"new page before the second",
       {{IT_MSG_DATA_HEADER, 28, S_OK}, {IT_MSG_DATA, 4, S_OK}, {IT_MSG_NEW_PAGE, 0, S_OK},
        {IT_MSG_DATA_HEADER, 28, S_OK}, {IT_MSG_DATA, 1, S_OK}, {IT_MSG_TERMINATION, 0, S_OK}},
       {4, 1}},
      {"status is nothing", {{IT_MSG_STATUS, 0, S_OK}, {99, 0, S_OK}}, {}},
      {"negative band", {{IT_MSG_DATA_HEADER, 28, S_OK}, {IT_MSG_DATA, -4, S_FALSE}}, {}},
      {"band past the limits", {{IT_MSG_DATA_HEADER, 28, S_OK}, {IT_MSG_DATA, 4, S_OK}, {IT_MSG_DATA, INT32_MAX, S_FALSE}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto* cb = new TWiaDataCallBack();
    std::vector<int> lengths;
    cb->OnGetPage = [&](const WIA_DATA_CALLBACK_HEADER* hd, const uint8_t*, int32_t n) {
      EXPECT_TRUE(IsEqualGUID(hd->guidFormatID, WiaImgFmt_MEMORYBMP));
      lengths.push_back(n);
      return true;
    };
    std::vector<uint8_t> big(16);
    for (const TMsg& m : c.Messages) {
      BYTE* buf = m.Msg == IT_MSG_DATA_HEADER ? header : m.Msg == IT_MSG_DATA ? bytes : nullptr;
      // The over-long band points at too few bytes: it must be refused
      // before anything is read.
      EXPECT_EQ(cb->BandedDataCallback(m.Msg, 0, 0, 0, m.Length, 0, m.Length, buf), m.Want) << m.Msg;
    }
    EXPECT_EQ(lengths, c.PageLengths);
    cb->Release();
  }
  // A page refused by the handler answers S_FALSE; a progress handler's
  // answer alone decides.
  auto* cb = new TWiaDataCallBack();
  cb->OnGetPage = [](const WIA_DATA_CALLBACK_HEADER*, const uint8_t*, int32_t) { return false; };
  EXPECT_EQ(cb->BandedDataCallback(IT_MSG_DATA_HEADER, 0, 0, 0, 28, 0, 0, header), S_OK);
  EXPECT_EQ(cb->BandedDataCallback(IT_MSG_NEW_PAGE, 0, 0, 0, 0, 0, 0, nullptr), S_FALSE);
  cb->OnProgress = [](int32_t) { return true; };
  EXPECT_EQ(cb->BandedDataCallback(IT_MSG_NEW_PAGE, 0, 0, 0, 0, 0, 0, nullptr), S_OK);
  cb->OnProgress = [](int32_t p) { return p < 50; };
  EXPECT_EQ(cb->BandedDataCallback(IT_MSG_DATA, 0, 60, 0, 4, 0, 4, bytes), S_FALSE);
  cb->Release();
}

TEST_F(WiaClient, CameraTakesPicturesAndTransfersThem) {
  const fs::path card = fTemp / "card";
  fs::create_directories(card);
  VXWiaSim::AddCamera("Camera", card.string());
  VXWiaSim::AddScanner(ThreePages());
  TVexlaneIO owner;
  TVXWia wia(&owner);
  ASSERT_TRUE(wia.ConnectTo("Camera"));
  EXPECT_FALSE(wia.TakePicture());
  // Nothing to transfer yet and no picture to take.
  EXPECT_FALSE(wia.Transfer(nullptr, false));
  wia.SetTakePicture(true);
  int updates = 0;
  wia.SetOnItemsTreeUpdated([&](void* Sender) {
    EXPECT_EQ(Sender, &wia);
    ++updates;
  });
  TVXBitmap dest;
  wia.ProcessingBitmap = &dest;
  wia.SetTransferFormat(vxtfJpeg);
  wia.SetSaveTransferBufferAs((fTemp / "p.tif").string());
  owner.Params().SetJPEG_Smooth(77);  // a JPEG page replaces every parameter
  ASSERT_TRUE(wia.Transfer(nullptr, false));
  EXPECT_EQ(wia.LastEvent(), vxeItemCreated);
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(VXWiaSim::SynchronizeCount(), 1);  // the event came with the picture
  const fs::path first = card / "DCIM" / "100VXSIM" / "VX0001.jpg";
  ASSERT_TRUE(fs::exists(first));
  EXPECT_EQ(FileBytes(fTemp / "p.jpg"), FileBytes(first));
  EXPECT_FALSE(fs::exists(fTemp / "p.tif"));
  EXPECT_EQ(wia.TransferFormat(), vxtfJpeg);
  EXPECT_EQ(dest.Width(), 64);
  EXPECT_EQ(dest.Height(), 48);
  EXPECT_EQ(owner.Params().Width(), 64);
  EXPECT_EQ(owner.Params().JPEG_Smooth(), 0);
  // The tree holds the picture now.
  TTreeNodes nodes;
  wia.UpdateItems();
  wia.FillTreeView(&nodes, false);
  std::vector<std::string> texts;
  for (int32_t i = 0; i < nodes.Count(); ++i) texts.push_back(nodes.Item(i)->Text());
  EXPECT_EQ(texts, (std::vector<std::string>{"Root", "Memory card", "DCIM", "100VXSIM", "VX0001.jpg"}));
  // Deleting the taken picture after the transfer.
  wia.SetDeleteTakenPicture(true);
  ASSERT_TRUE(wia.Transfer(nullptr, false));
  EXPECT_FALSE(fs::exists(card / "DCIM" / "100VXSIM" / "VX0002.jpg"));
  EXPECT_TRUE(fs::exists(first));
  EXPECT_EQ(wia.LastEvent(), vxeItemDeleted);  // the deletion is reported as well

  // A bitmap page sets the resolution, sample layout and size only.
  ASSERT_TRUE(wia.ConnectTo("Scanner"));
  EXPECT_TRUE(wia.TakePicture());
  owner.Params().SetJPEG_Smooth(77);
  wia.SetTransferFormat(vxtfBitmap);  // asks for MEMORYBMP
  ASSERT_TRUE(wia.Transfer(nullptr, false));  // a scanner takes no picture, harmlessly
  EXPECT_EQ(wia.TransferFormat(), vxtfRawBitmap);
  EXPECT_EQ(owner.Params().JPEG_Smooth(), 77);
  EXPECT_EQ(owner.Params().Width(), 7);  // the last of its pages
  EXPECT_EQ(owner.Params().Height(), 4);
  EXPECT_EQ(owner.Params().DpiX(), 300);
  EXPECT_EQ(owner.Params().BitsPerSample(), 8);
}

TEST_F(WiaClient, CameraWithoutEventsIsSynchronisedFiftyTimes) {
  const fs::path card = fTemp / "card";
  fs::create_directories(card);
  VXWiaSim::AddCamera("Quiet", card.string(), false);
  TVXWia wia;
  ASSERT_TRUE(wia.ConnectTo("Quiet"));
  wia.SetTakePicture(true);
  VXClockSetVirtual(true);
  const uint64_t start = GetTickCount64();
  TVXBitmap dest;
  wia.ProcessingBitmap = &dest;
  ASSERT_TRUE(wia.Transfer(nullptr, false));
  EXPECT_EQ(GetTickCount64() - start, 5000u);
  EXPECT_EQ(VXWiaSim::SynchronizeCount(), 50);
  EXPECT_EQ(wia.LastEvent(), vxeNone);
  // The picture came from the rebuilt tree.
  EXPECT_EQ(dest.Width(), 64);
  EXPECT_TRUE(fs::exists(card / "DCIM" / "100VXSIM" / "VX0001.jpg"));
}

TEST_F(WiaClient, TreeViewWordsAndRepeats) {
  VXWiaSim::AddScanner(R"({"Name": "Scanner"})");
  TVXWia wia;
  TTreeNodes nodes;
  wia.FillTreeView(&nodes, true);
  ASSERT_EQ(nodes.TopCount(), 1);
  TTreeNode* root = nodes.Top(0);
  EXPECT_EQ(root->Text(), "Root (  Folder Root Device )");
  EXPECT_EQ(root->Data(), wia.Device());
  ASSERT_EQ(root->Count(), 1);
  // The scanner's items are programmable data sources (0x10000, the video bit).
  EXPECT_EQ(root->Item(0)->Text(), "Flatbed (  Image File Video )");
  EXPECT_EQ(root->Item(0)->Data(), wia.Device()->Children[0].get());
  wia.FillTreeView(&nodes, false);
  ASSERT_EQ(nodes.TopCount(), 2);
  EXPECT_EQ(nodes.Top(1)->Text(), "Root");
  EXPECT_EQ(nodes.Count(), 4);
}

// An item with a scripted thumbnail.
class TThumbItem : public TVXComObject<IWiaItem> {
public:
  std::vector<uint8_t> Thumb;
  LONG W = 0, H = 0;
  class TProps : public TVXComObject<IWiaPropertyStorage> {
  public:
    TThumbItem* Item = nullptr;
    HRESULT ReadMultiple(ULONG n, const PROPSPEC prop[], PROPVARIANT out[]) override {
      for (ULONG i = 0; i < n; ++i) {
        PropVariantInit(&out[i]);
        if (prop[i].propid == WIA_IPC_THUMBNAIL) {
          out[i].vt = VT_VECTOR | VT_UI1;
          out[i].caub.cElems = ULONG(Item->Thumb.size());
          out[i].caub.pElems = static_cast<uint8_t*>(CoTaskMemAlloc(Item->Thumb.size() + 1));
          std::copy(Item->Thumb.begin(), Item->Thumb.end(), out[i].caub.pElems);
        } else if (prop[i].propid == WIA_IPC_THUMB_WIDTH || prop[i].propid == WIA_IPC_THUMB_HEIGHT) {
          out[i].vt = VT_I4;
          out[i].lVal = prop[i].propid == WIA_IPC_THUMB_WIDTH ? Item->W : Item->H;
        }
      }
      return S_OK;
    }
    HRESULT WriteMultiple(ULONG, const PROPSPEC[], const PROPVARIANT[], PROPID) override { return E_ACCESSDENIED; }
    HRESULT GetPropertyAttributes(ULONG, PROPSPEC[], ULONG[], PROPVARIANT[]) override { return E_NOTIMPL; }
    HRESULT GetCount(ULONG*) override { return E_NOTIMPL; }
  };
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (VXInterfaceAnswers<IWiaPropertyStorage>(riid)) {
      auto* p = new TProps();
      p->Item = this;
      *ppv = static_cast<IWiaPropertyStorage*>(p);
      return S_OK;
    }
    return TVXComObject<IWiaItem>::QueryInterface(riid, ppv);
  }
  HRESULT GetItemType(LONG* t) override {
    *t = WiaItemTypeImage;
    return S_OK;
  }
  HRESULT EnumChildItems(IEnumWiaItem**) override { return E_NOTIMPL; }
  HRESULT DeleteItem(LONG) override { return E_NOTIMPL; }
  HRESULT GetRootItem(IWiaItem**) override { return E_NOTIMPL; }
  HRESULT DeviceCommand(LONG, const GUID*, IWiaItem**) override { return E_NOTIMPL; }
  HRESULT DeviceDlg(HWND, LONG, LONG, LONG*, IWiaItem***) override { return E_NOTIMPL; }
};

TEST_F(WiaClient, ThumbnailsCopyTheirRowsBottomUp) {
  TVXWia wia;
  TVXWiaItem item;
  auto* fake = new TThumbItem();
  item.This = fake;  // the node releases it
  // 3 x 2: rows of 12 bytes, 9 of them pixels, the padding 0xEE.
  fake->W = 3;
  fake->H = 2;
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 12; ++i) fake->Thumb.push_back(i < 9 ? uint8_t(y * 20 + i) : 0xEE);
  TVXBitmap b;
  ASSERT_TRUE(wia.GetItemThumbnail(&item, &b));
  ASSERT_EQ(b.Width(), 3);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(b.PixelFormat(), vx24RGB);
  for (int y = 0; y < 2; ++y) {
    const auto* row = static_cast<const uint8_t*>(b.ScanLine(1 - y));  // the first row goes last
    for (int i = 0; i < 9; ++i) EXPECT_EQ(row[i], uint8_t(y * 20 + i)) << y << " " << i;
  }
  // Refused: a side of 0 or below, an array shorter than its rows.
  struct {
    LONG W, H;
    size_t Bytes;
  } bad[] = {{0, 2, 24}, {3, 0, 24}, {-3, 2, 24}, {3, -2, 24}, {3, 2, 23}, {5, 2, 24}};
  for (const auto& c : bad) {
    fake->W = c.W;
    fake->H = c.H;
    fake->Thumb.assign(c.Bytes, 1);
    EXPECT_FALSE(wia.GetItemThumbnail(&item, &b)) << c.W << "x" << c.H << " in " << c.Bytes;
  }
}

}  // namespace
