// The DirectShow unit's tables, the capture-device registry and the system
// device enumerator over it, and the unit's device lookups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquire/capture_devices.h"
#include "acquire/vxds_devices.h"
#include "acquire/vxds_tables.h"
#include "core/startup.h"

namespace {

// A filter stand-in that remembers which device made it.
struct ITestFilter : IUnknown {
  static constexpr GUID kIID{0xABCD0001, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  using TVXBase = IUnknown;
  virtual int Serial() = 0;
};
class TTestFilter : public TVXComObject<ITestFilter> {
 public:
  explicit TTestFilter(int S) : fSerial(S) {}
  int Serial() override { return fSerial; }

 private:
  int fSerial;
};

TVXCaptureDevice Device(TVXCaptureCategory c, const std::string& name, int serial) {
  TVXCaptureDevice d;
  d.Category = c;
  d.FriendlyName = name;
  d.Create = [serial]() -> IUnknown* { return new TTestFilter(serial); };
  return d;
}

}  // namespace

TEST(VXDSTables, SubTypes) {
  EXPECT_EQ(VXGUIDToString(VXDSSubTypeFromName("YUY2")), "{32595559-0000-0010-8000-00AA00389B71}");
  EXPECT_EQ(VXGUIDToString(VXDSSubTypeFromName("RGB24")), "{E436EB7D-524F-11CE-9F53-0020AF0BA770}");
  // Case-sensitive; anything else is CLPL.
  for (const char* other : {"yuy2", "", "H264"})
    EXPECT_TRUE(IsEqualGUID(VXDSSubTypeFromName(other), VXDSSubTypeFromName("CLPL"))) << other;
  for (int i = 0; i < kVXDSVideoSubTypeCount; ++i) {
    const TVXDSVideoSubType& t = VXDSVideoSubType(i);
    EXPECT_EQ(VXDSSubTypeName(t.SubType), t.Name) << i;
    EXPECT_EQ(VXDSSubTypeBitCount(t.SubType), t.Bits) << i;
  }
  EXPECT_EQ(VXDSSubTypeBitCount(VXDSSubTypeFromName("Plum")), 0);
  EXPECT_EQ(VXDSSubTypeBitCount(VXDSSubTypeFromName("IYUV")), 12);
  EXPECT_EQ(VXDSSubTypeName(MEDIATYPE_Video), "");
  EXPECT_EQ(VXDSSubTypeBitCount(MEDIATYPE_Video), 0);
  EXPECT_EQ(VXGUIDToString(VXDSFourCCSubType("MJPG")), "{47504A4D-0000-0010-8000-00AA00389B71}");
}

TEST(VXDSTables, TimeFormatsAndStandards) {
  for (int i = 0; i <= tfTime; ++i) EXPECT_EQ(VXDSTimeFormatOf(VXDSTimeFormatGUID(TVXTimeFormat(i))), i);
  EXPECT_EQ(VXDSTimeFormatOf(MEDIATYPE_Audio), tfNone);
  EXPECT_EQ(VXGUIDToString(VXDSTimeFormatGUID(tfTime)), "{7B785574-8C82-11CF-BC0C-00AA00AC74F6}");
  EXPECT_EQ(VXDSStandardsString(0x31), "NTSC_M PAL_B PAL_D");
  EXPECT_EQ(VXDSStandardsString(0), "");
  EXPECT_EQ(VXDSStandardsString(0x40), "");  // PAL_G has no row
  EXPECT_EQ(VXDSStandardsString(0x100000 | 0x1000), "SECAM_B PAL_N_COMBO");
  EXPECT_EQ(VXDSStandardsOf(0x1), VXTVStandardBit(vxvsNTSC_M));
  EXPECT_EQ(VXDSStandardsOf(0x31), VXTVStandardBit(vxvsNTSC_M) | VXTVStandardBit(vxvsPAL_B) | VXTVStandardBit(vxvsPAL_D));
  EXPECT_EQ(VXDSTVStandardFlag(vxvsNONE), 0u);
  EXPECT_EQ(VXDSTVStandardFlag(vxvsSECAM_L1), 0x80000u);
  EXPECT_STREQ(VXDSTVStandardName(vxvsPAL_60), "PAL_60");
}

// The registry through the system device enumerator: names in order with
// duplicates, devices of one name picked by instance index, empty
// categories answered S_FALSE.
TEST(VXDSDevices, EnumeratorAndLookups) {
  TVXLibraryGuard library;
  VXClearCaptureDevices();
  std::vector<std::string> names = {"stale"};
  VXDSEnumDeviceNames(CLSID_VideoInputDeviceCategory, names);
  EXPECT_TRUE(names.empty());
  TVXComPtr<ICreateDevEnum> devEnum;
  ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, 3, ICreateDevEnum::kIID,
                             reinterpret_cast<void**>(&devEnum)),
            S_OK);
  TVXComPtr<IEnumMoniker> none;
  EXPECT_EQ(devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &none, 0), S_FALSE);
  EXPECT_FALSE(none);

  VXAddCaptureDevice(Device(vxccVideoInput, "Cam", 1));
  VXAddCaptureDevice(Device(vxccVideoInput, "Other", 2));
  VXAddCaptureDevice(Device(vxccVideoInput, "Cam", 3));
  VXAddCaptureDevice(Device(vxccVideoCompressor, "Codec", 4));
  VXDSEnumDeviceNames(CLSID_VideoInputDeviceCategory, names);
  EXPECT_EQ(names, (std::vector<std::string>{"Cam", "Other", "Cam"}));
  VXDSEnumDeviceNames(CLSID_VideoCompressorCategory, names);
  EXPECT_EQ(names, (std::vector<std::string>{"Codec"}));
  VXDSEnumDeviceNames(CLSID_AudioInputDeviceCategory, names);
  EXPECT_TRUE(names.empty());

  for (const auto& [name, instance, serial] :
       std::vector<std::tuple<std::string, int, int>>{{"Cam", 0, 1}, {"Cam", 1, 3}, {"Other", 0, 2}, {"Cam", 2, 0},
                                                      {"cam", 0, 0}, {"Codec", 0, 0}}) {
    IUnknown* f = VXDSFindDevice(CLSID_VideoInputDeviceCategory, name, instance, ITestFilter::kIID);
    if (serial == 0) {
      EXPECT_EQ(f, nullptr) << name << instance;
      continue;
    }
    ASSERT_NE(f, nullptr) << name << instance;
    EXPECT_EQ(static_cast<ITestFilter*>(f)->Serial(), serial);
    f->Release();
  }
  EXPECT_EQ(VXDSFindDevice(CLSID_VideoInputDeviceCategory, "Cam", 0, IStream::kIID), nullptr);

  // A moniker: its property bag, display name, equality and reduction.
  TVXComPtr<IEnumMoniker> monikers;
  ASSERT_EQ(devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0), S_OK);
  IMoniker* m[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(monikers->Next(4, m, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 3u);
  TVXComPtr<IMoniker> first(m[0]), second(m[1]), third(m[2]);
  TVXComPtr<IPropertyBag> bag;
  ASSERT_EQ(second->BindToStorage(nullptr, nullptr, IPropertyBag::kIID, reinterpret_cast<void**>(&bag)), S_OK);
  PROPVARIANT v;
  ASSERT_EQ(bag->Read("FriendlyName", &v, nullptr), S_OK);
  EXPECT_EQ(v.vt, VT_LPWSTR);
  EXPECT_STREQ(v.pwszVal, "Other");
  PropVariantClear(&v);
  EXPECT_EQ(bag->Read("DevicePath", &v, nullptr), E_INVALIDARG);
  EXPECT_EQ(first->IsEqual(third.Get()), S_FALSE);
  EXPECT_EQ(first->IsEqual(first.Get()), S_OK);
  LPWSTR display = nullptr;
  ASSERT_EQ(third->GetDisplayName(nullptr, nullptr, &display), S_OK);
  EXPECT_STREQ(display, "@device:sw:0\\2\\Cam");
  CoTaskMemFree(display);
  TVXComPtr<IPersist> persist;
  ASSERT_EQ(first.As(persist), S_OK);
  CLSID cls;
  EXPECT_EQ(persist->GetClassID(&cls), S_OK);
  EXPECT_TRUE(IsEqualGUID(cls, CLSID_CDeviceMoniker));
  EXPECT_EQ(monikers->Reset(), S_OK);
  EXPECT_EQ(monikers->Skip(5), S_FALSE);
  VXClearCaptureDevices();
}
