// The COM run time: thread counts, the class registry, interface identity,
// property values, message texts, GUID texts and the streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "platform/win_com.h"

namespace {

const GUID kTestClass{0x11112222, 0x3333, 0x4444, {0x55, 0x55, 0x66, 0x66, 0x77, 0x77, 0x88, 0x88}};

struct ITestThing : IUnknown {
  static constexpr GUID kIID{0xAAAA0001, 0x0002, 0x0003, {4, 5, 6, 7, 8, 9, 10, 11}};
  using TVXBase = IUnknown;
  virtual int Value() = 0;
};
struct ITestMore : ITestThing {
  static constexpr GUID kIID{0xAAAA0002, 0x0002, 0x0003, {4, 5, 6, 7, 8, 9, 10, 11}};
  using TVXBase = ITestThing;
  virtual int More() = 0;
};

int gLiving = 0;
class TThing : public TVXComObject<ITestMore> {
 public:
  TThing() { ++gLiving; }
  ~TThing() override { --gLiving; }
  int Value() override { return 7; }
  int More() override { return 8; }
};

HRESULT CreateThing(REFIID riid, void** ppv) {
  auto* t = new TThing;
  const HRESULT hr = t->QueryInterface(riid, ppv);
  t->Release();
  return hr;
}

}  // namespace

// Start-up counts per thread: nested calls answer S_FALSE, the other
// apartment kind RPC_E_CHANGED_MODE without counting, and every successful
// call is balanced by one un-initialisation. OLE counts on top of COM.
TEST(PlatformCom, ThreadCountsNestAndBalance) {
  std::thread([] {
    EXPECT_EQ(VXComInitCount(), 0);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(VXComInitCount(), 2);
    EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
    EXPECT_EQ(VXOleInitCount(), 1);
    EXPECT_EQ(VXComInitCount(), 3);
    OleUninitialize();
    OleUninitialize();  // one too many: nothing
    EXPECT_EQ(VXOleInitCount(), 0);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(VXComInitCount(), 0);
    CoUninitialize();  // unbalanced: stays at 0
    EXPECT_EQ(VXComInitCount(), 0);
    // The thread's kind is free again once the count is back at 0.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(OleInitialize(nullptr), RPC_E_CHANGED_MODE);
    EXPECT_EQ(VXOleInitCount(), 0);
    CoUninitialize();
    EXPECT_EQ(OleInitialize(nullptr), S_OK);
    OleUninitialize();
    EXPECT_EQ(VXComInitCount(), 0);
  }).join();
  // Another thread has counts of its own.
  std::thread([] { EXPECT_EQ(VXComInitCount(), 0); }).join();
}

TEST(PlatformCom, CreateInstanceOverTheRegistry) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, ITestThing::kIID, &p), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, ITestThing::kIID, nullptr), E_POINTER);

  VXRegisterComClass(kTestClass, &CreateThing, CLSCTX_INPROC_SERVER);
  EXPECT_TRUE(VXIsComClassRegistered(kTestClass));
  // A context the class is not registered for.
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_LOCAL_SERVER, ITestThing::kIID, &p), REGDB_E_CLASSNOTREG);
  TThing outer;
  EXPECT_EQ(CoCreateInstance(kTestClass, &outer, CLSCTX_ALL, ITestThing::kIID, &p), CLASS_E_NOAGGREGATION);
  const GUID other{0xBBBB0001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, other, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(gLiving, 1);  // only `outer`: the refused object went

  // The object answers its interface, the one it extends and IUnknown, each
  // with a reference of its own.
  TVXComPtr<ITestMore> more;
  ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, ITestMore::kIID,
                             reinterpret_cast<void**>(&more)),
            S_OK);
  EXPECT_EQ(more->More(), 8);
  TVXComPtr<ITestThing> thing;
  ASSERT_EQ(more.As(thing), S_OK);
  EXPECT_EQ(thing->Value(), 7);
  TVXComPtr<IUnknown> unk;
  ASSERT_EQ(more.As(unk), S_OK);
  TVXComPtr<IStream> stream;
  EXPECT_EQ(more.As(stream), E_NOINTERFACE);
  EXPECT_EQ(more->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  more.Reset();
  thing.Reset();
  EXPECT_EQ(gLiving, 2);
  unk.Reset();
  EXPECT_EQ(gLiving, 1);

  VXUnregisterComClass(kTestClass);
  EXPECT_FALSE(VXIsComClassRegistered(kTestClass));
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, ITestThing::kIID, &p), REGDB_E_CLASSNOTREG);
}

TEST(PlatformCom, MessageTextsAndGuidTexts) {
  struct Case {
    HRESULT Code;
    const char* Text;
  };
  const Case cases[] = {{REGDB_E_CLASSNOTREG, "Class not registered"},
                        {E_ACCESSDENIED, "Access is denied"},
                        {HRESULT(5), "Access is denied"},  // the Win32 code itself
                        {E_INVALIDARG, "The parameter is incorrect"},
                        {RPC_E_CHANGED_MODE, "Cannot change thread mode after it is set"},
                        {E_FAIL, "Unspecified error"},
                        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified"},
                        {HRESULT(0x8123ABCDu), ""}};
  for (const Case& c : cases) EXPECT_EQ(SysErrorMessage(c.Code), c.Text) << c.Code;
  EXPECT_EQ(HRESULT_FROM_WIN32(5), E_ACCESSDENIED);
  EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);

  const GUID g{0x0C15D503, 0xD017, 0x47CE, {0x90, 0x16, 0x7B, 0x3F, 0x97, 0x87, 0x21, 0xCC}};
  EXPECT_EQ(VXGUIDToString(g), "{0C15D503-D017-47CE-9016-7B3F978721CC}");
  GUID back;
  ASSERT_TRUE(VXStringToGUID("{0c15d503-d017-47ce-9016-7b3f978721cc}", back));
  EXPECT_TRUE(IsEqualGUID(back, g));
  for (const char* bad : {"", "0C15D503-D017-47CE-9016-7B3F978721CC", "{0C15D503-D017-47CE-9016-7B3F978721C}",
                          "{0C15D503-D017-47CE-9016-7B3F978721CG}", "{0C15D503+D017-47CE-9016-7B3F978721CC}",
                          "{0C15D503-D017-47CE-9016-7B3F978721CC}x"}) {
    GUID keep = g;
    EXPECT_FALSE(VXStringToGUID(bad, keep)) << bad;
    EXPECT_TRUE(IsEqualGUID(keep, g));
  }
  char buf[39];
  EXPECT_EQ(StringFromGUID2(g, buf, 38), 0);
  ASSERT_EQ(StringFromGUID2(g, buf, 39), 39);
  EXPECT_STREQ(buf, "{0C15D503-D017-47CE-9016-7B3F978721CC}");
  CLSID c;
  EXPECT_EQ(CLSIDFromString(buf, &c), S_OK);
  EXPECT_TRUE(IsEqualGUID(c, g));
  EXPECT_EQ(CLSIDFromString("nonsense", &c), CO_E_CLASSSTRING);
}

// Every kind of the subset copies deeply and clears; a cleared value is empty.
TEST(PlatformCom, PropVariantsCopyAndClear) {
  std::vector<PROPVARIANT> values;
  auto add = [&](VARTYPE vt, auto set) {
    PROPVARIANT v;
    v.vt = vt;
    set(v);
    values.push_back(v);
  };
  add(VT_I2, [](PROPVARIANT& v) { v.iVal = -12; });
  add(VT_I4, [](PROPVARIANT& v) { v.lVal = -100000; });
  add(VT_UI4, [](PROPVARIANT& v) { v.ulVal = 4000000000u; });
  add(VT_I8, [](PROPVARIANT& v) { v.hVal = -(int64_t(1) << 40); });
  add(VT_UI8, [](PROPVARIANT& v) { v.uhVal = uint64_t(1) << 63; });
  add(VT_R8, [](PROPVARIANT& v) { v.dblVal = 2.5; });
  add(VT_BOOL, [](PROPVARIANT& v) { v.boolVal = VARIANT_TRUE; });
  add(VT_DATE, [](PROPVARIANT& v) { v.date = 45000.25; });
  add(VT_ERROR, [](PROPVARIANT& v) { v.scode = E_ACCESSDENIED; });
  PROPVARIANT s, g;
  ASSERT_EQ(InitPropVariantFromString("Grüße", &s), S_OK);
  values.push_back(s);
  ASSERT_EQ(InitPropVariantFromCLSID(kTestClass, &g), S_OK);
  values.push_back(g);
  add(VT_VECTOR | VT_UI1, [](PROPVARIANT& v) {
    v.caub.cElems = 3;
    v.caub.pElems = static_cast<uint8_t*>(CoTaskMemAlloc(3));
    std::memcpy(v.caub.pElems, "\x01\x02\x03", 3);
  });
  add(VT_VECTOR | VT_UI2, [](PROPVARIANT& v) {
    v.caui.cElems = 2;
    v.caui.pElems = static_cast<uint16_t*>(CoTaskMemAlloc(4));
    v.caui.pElems[0] = 500;
    v.caui.pElems[1] = 65535;
  });
  add(VT_VECTOR | VT_I4, [](PROPVARIANT& v) {
    v.cal.cElems = 1;
    v.cal.pElems = static_cast<int32_t*>(CoTaskMemAlloc(4));
    v.cal.pElems[0] = -7;
  });
  add(VT_VECTOR | VT_CLSID, [](PROPVARIANT& v) {
    v.cauuid.cElems = 1;
    v.cauuid.pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    v.cauuid.pElems[0] = kTestClass;
  });
  add(VT_VECTOR | VT_I4, [](PROPVARIANT& v) {  // an empty vector
    v.cal.cElems = 0;
    v.cal.pElems = nullptr;
  });

  for (PROPVARIANT& v : values) {
    SCOPED_TRACE(v.vt);
    PROPVARIANT c;
    ASSERT_EQ(PropVariantCopy(&c, &v), S_OK);
    EXPECT_EQ(c.vt, v.vt);
    switch (v.vt) {
      case VT_LPWSTR:
        EXPECT_NE(c.pwszVal, v.pwszVal);
        EXPECT_STREQ(c.pwszVal, "Grüße");
        break;
      case VT_CLSID:
        EXPECT_NE(c.puuid, v.puuid);
        EXPECT_TRUE(IsEqualGUID(*c.puuid, kTestClass));
        break;
      default:
        if (v.vt & VT_VECTOR) {
          EXPECT_EQ(c.caub.cElems, v.caub.cElems);
          if (v.caub.cElems) EXPECT_NE(c.caub.pElems, v.caub.pElems);
          const size_t size = v.vt == (VT_VECTOR | VT_UI1) ? 1 : v.vt == (VT_VECTOR | VT_UI2) ? 2
                              : v.vt == (VT_VECTOR | VT_I4)   ? 4
                                                              : sizeof(GUID);
          if (v.caub.cElems) EXPECT_EQ(std::memcmp(c.caub.pElems, v.caub.pElems, size * v.caub.cElems), 0);
        } else {
          EXPECT_EQ(std::memcmp(&c.vxRaw, &v.vxRaw, sizeof c.vxRaw), 0);
        }
    }
    // Clearing the original leaves the copy whole (the sanitizer build checks
    // that each is freed once).
    EXPECT_EQ(PropVariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(PropVariantClear(&c), S_OK);
  }
  PROPVARIANT odd;
  odd.vt = 0x0FFF;
  EXPECT_EQ(PropVariantClear(&odd), DISP_E_BADVARTYPE);
  PROPVARIANT out;
  EXPECT_EQ(PropVariantCopy(&out, &odd), DISP_E_BADVARTYPE);
}

TEST(PlatformCom, MemoryStreams) {
  TVXComPtr<IStream> s(SHCreateMemStream(reinterpret_cast<const BYTE*>("abcdef"), 6));
  char buf[8] = {};
  ULONG got = 0;
  EXPECT_EQ(s->Read(buf, 4, &got), S_OK);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(s->Read(buf, 4, &got), S_FALSE);  // short read at the end
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(std::string(buf, 2), "ef");
  uint64_t pos = 0;
  EXPECT_EQ(s->Seek(-10, STREAM_SEEK_END, &pos), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(s->Seek(8, STREAM_SEEK_SET, &pos), S_OK);  // past the end: a write fills the gap
  ULONG put = 0;
  EXPECT_EQ(s->Write("XY", 2, &put), S_OK);
  STATSTG st;
  ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize, 10u);
  EXPECT_EQ(st.type, STGTY_STREAM);
  // A clone shares the bytes with its own position.
  TVXComPtr<IStream> c;
  ASSERT_EQ(s->Clone(&c), S_OK);
  ASSERT_EQ(c->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
  char all[10];
  ASSERT_EQ(c->Read(all, 10, &got), S_OK);
  EXPECT_EQ(std::string(all, 10), std::string("abcdef\0\0XY", 10));
  // CopyTo moves what is there from the current position.
  TVXComPtr<IStream> dest(SHCreateMemStream(nullptr, 0));
  ASSERT_EQ(s->Seek(2, STREAM_SEEK_SET, nullptr), S_OK);
  uint64_t r = 0, w = 0;
  EXPECT_EQ(s->CopyTo(dest.Get(), 100, &r, &w), S_OK);
  EXPECT_EQ(r, 8u);
  EXPECT_EQ(w, 8u);
  EXPECT_EQ(s->SetSize(3), S_OK);
  ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize, 3u);
  EXPECT_EQ(s->LockRegion(0, 1, 0), STG_E_INVALIDFUNCTION);
}

TEST(PlatformCom, FileStreams) {
  const std::string dir = ::testing::TempDir();
  const std::string name = dir + "vx_com_stream.bin";
  std::remove(name.c_str());
  IStream* raw = nullptr;
  EXPECT_EQ(VXCreateStreamOnFile(name, STGM_READ, false, &raw), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(VXCreateStreamOnFile(dir, STGM_READ, false, &raw), E_ACCESSDENIED);  // a folder
  {
    TVXComPtr<IStream> w;
    ASSERT_EQ(SHCreateStreamOnFileEx(name.c_str(), STGM_WRITE | STGM_CREATE, 0, 1, nullptr, &w), S_OK);
    ULONG put = 0;
    EXPECT_EQ(w->Write("hello file", 10, &put), S_OK);
    EXPECT_EQ(put, 10u);
    EXPECT_EQ(w->Read(nullptr, 0, nullptr), STG_E_ACCESSDENIED);
    EXPECT_EQ(w->Commit(STGC_DEFAULT), S_OK);
  }
  TVXComPtr<IStream> r;
  ASSERT_EQ(VXCreateStreamOnFile(name, STGM_READ, false, &r), S_OK);
  STATSTG st;
  ASSERT_EQ(r->Stat(&st, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(st.cbSize, 10u);
  ASSERT_NE(st.pwcsName, nullptr);
  EXPECT_EQ(std::string(st.pwcsName), name);
  CoTaskMemFree(st.pwcsName);
  char buf[16];
  ULONG got = 0;
  ASSERT_EQ(r->Seek(6, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(r->Read(buf, 16, &got), S_FALSE);
  EXPECT_EQ(std::string(buf, got), "file");
  EXPECT_EQ(r->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
  r.Reset();
  std::remove(name.c_str());
}
