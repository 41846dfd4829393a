// Object formats and content types, and the COM binding classes.
#include "acquire/wpd_records.h"

#include <unistd.h>

#include "core/vxdefs.h"

namespace {

// {XXXX0000-AE6C-4804-98BA-C57B46965FE7}: a format by its 16-bit code.
constexpr GUID FormatCode(uint16_t Code) {
  return GUID{uint32_t(Code) << 16, 0xAE6C, 0x4804, {0x98, 0xBA, 0xC5, 0x7B, 0x46, 0x96, 0x5F, 0xE7}};
}

constexpr GUID kFormats[kWPDObjectFormatCount] = {
    FormatCode(0xB984),  // 3GP
    FormatCode(0xB903),  // AAC
    FormatCode(0xBB81),  // ABSTRACT_CONTACT
    FormatCode(0xBA06),  // ABSTRACT_CONTACT_GROUP
    FormatCode(0xBA0B),  // ABSTRACT_MEDIA_CAST
    FormatCode(0x3007),  // AIFF
    GUID{0xC1F62EB2, 0x4BB3, 0x479C, {0x9C, 0xFA, 0x05, 0xB5, 0xF3, 0xA5, 0x7B, 0x22}},  // ALL
    FormatCode(0x300C),  // ASF
    FormatCode(0xBA13),  // ASXPLAYLIST
    FormatCode(0xB904),  // AUDIBLE
    FormatCode(0x300A),  // AVI
    FormatCode(0x3804),  // BMP
    FormatCode(0x3805),  // CIFF
    FormatCode(0x3006),  // DPOF
    FormatCode(0x3003),  // EXECUTABLE
    FormatCode(0x3801),  // EXIF
    FormatCode(0xB906),  // FLAC
    FormatCode(0x3803),  // FLASHPIX
    FormatCode(0x3807),  // GIF
    FormatCode(0x3005),  // HTML
    FormatCode(0xBE03),  // ICALENDAR
    GUID{0x077232ED, 0x102C, 0x4638, {0x9C, 0x22, 0x83, 0xF1, 0x42, 0xBF, 0xC8, 0x22}},  // ICON
    FormatCode(0x3808),  // JFIF
    FormatCode(0x380F),  // JP2
    FormatCode(0x3810),  // JPX
    FormatCode(0xBA11),  // M3UPLAYLIST
    GUID{0x30ABA7AC, 0x6FFD, 0x4C23, {0xA3, 0x59, 0x3E, 0x9B, 0x52, 0xF3, 0xF1, 0xC8}},  // M4A
    FormatCode(0xBA84),  // MHT_COMPILED_HTML
    FormatCode(0xBA85),  // MICROSOFT_EXCEL
    FormatCode(0xBA86),  // MICROSOFT_POWERPOINT
    FormatCode(0xB104),  // MICROSOFT_WFC
    FormatCode(0xBA83),  // MICROSOFT_WORD
    FormatCode(0xB983),  // MP2
    FormatCode(0x3009),  // MP3
    FormatCode(0xB982),  // MP4
    FormatCode(0x300B),  // MPEG
    FormatCode(0xBA12),  // MPLPLAYLIST
    FormatCode(0xB102),  // NETWORK_ASSOCIATION
    FormatCode(0xB902),  // OGG
    FormatCode(0x3809),  // PCD
    FormatCode(0x380A),  // PICT
    FormatCode(0xBA14),  // PLSPLAYLIST
    FormatCode(0x380B),  // PNG
    FormatCode(0x3001),  // PROPERTIES_ONLY
    FormatCode(0x3002),  // SCRIPT
    FormatCode(0x3004),  // TEXT
    FormatCode(0x380D),  // TIFF
    FormatCode(0x3802),  // TIFFEP
    FormatCode(0x380E),  // TIFFIT
    FormatCode(0x3000),  // UNSPECIFIED
    FormatCode(0xBE02),  // VCALENDAR1
    FormatCode(0xBB82),  // VCARD2
    FormatCode(0xBB83),  // VCARD3
    FormatCode(0x3008),  // WAVE
    FormatCode(0xB881),  // WINDOWSIMAGEFORMAT
    FormatCode(0xB901),  // WMA
    FormatCode(0xB981),  // WMV
    FormatCode(0xBA10),  // WPLPLAYLIST
    FormatCode(0xB103),  // X509V3CERTIFICATE
    FormatCode(0xBA82),  // XML
    GUID{},              // UNKNOWN
};

constexpr GUID kContentTypes[kWPDContentTypeCount] = {
    {0x80E170D2, 0x1055, 0x4A3E, {0xB9, 0x52, 0x82, 0xCC, 0x4F, 0x8A, 0x86, 0x89}},  // ALL
    {0x0FED060E, 0x8793, 0x4B1E, {0x90, 0xC9, 0x48, 0xAC, 0x38, 0x9A, 0xC6, 0x31}},  // APPOINTMENT
    {0x4AD2C85E, 0x5E2D, 0x45E5, {0x88, 0x64, 0x4F, 0x22, 0x9E, 0x3C, 0x6C, 0xF0}},  // AUDIO
    {0xAA18737E, 0x5009, 0x48FA, {0xAE, 0x21, 0x85, 0xF2, 0x43, 0x83, 0xB4, 0xE6}},  // AUDIO_ALBUM
    {0xA1FD5967, 0x6023, 0x49A0, {0x9D, 0xF1, 0xF8, 0x06, 0x0B, 0xE7, 0x51, 0xB0}},  // CALENDAR
    {0xDC3876E8, 0xA948, 0x4060, {0x90, 0x50, 0xCB, 0xD7, 0x7E, 0x8A, 0x3D, 0x87}},  // CERTIFICATE
    {0xEABA8313, 0x4525, 0x4707, {0x9F, 0x0E, 0x87, 0xC6, 0x80, 0x8E, 0x94, 0x35}},  // CONTACT
    {0x346B8932, 0x4C36, 0x40D8, {0x94, 0x15, 0x18, 0x28, 0x29, 0x1F, 0x9D, 0xE9}},  // CONTACT_GROUP
    {0x680ADF52, 0x950A, 0x4041, {0x9B, 0x41, 0x65, 0xE3, 0x93, 0x64, 0x81, 0x55}},  // DOCUMENT
    {0x8038044A, 0x7E51, 0x4F8F, {0x88, 0x3D, 0x1D, 0x06, 0x23, 0xD1, 0x45, 0x33}},  // EMAIL
    {0x99ED0160, 0x17FF, 0x4C44, {0x9D, 0x98, 0x1D, 0x7A, 0x6F, 0x94, 0x19, 0x21}},  // FUNCTIONAL_OBJECT
    {0x0085E0A6, 0x8D34, 0x45D7, {0xBC, 0x5C, 0x44, 0x7E, 0x59, 0xC7, 0x3D, 0x48}},  // GENERIC_FILE
    {0xE80EAAF8, 0xB2DB, 0x4133, {0xB6, 0x7E, 0x1B, 0xEF, 0x4B, 0x4A, 0x6E, 0x5F}},  // GENERIC_MESSAGE
    {0xEF2107D5, 0xA52A, 0x4243, {0xA2, 0x6B, 0x62, 0xD4, 0x17, 0x6D, 0x76, 0x03}},  // IMAGE
    {0x75793148, 0x15F5, 0x4A30, {0xA8, 0x13, 0x54, 0xED, 0x8A, 0x37, 0xE2, 0x26}},  // IMAGE_ALBUM
    {0x5E88B3CC, 0x3E65, 0x4E62, {0xBF, 0xFF, 0x22, 0x94, 0x95, 0x25, 0x3A, 0xB0}},  // MEDIA_CAST
    {0x9CD20ECF, 0x3B50, 0x414F, {0xA6, 0x41, 0xE4, 0x73, 0xFF, 0xE4, 0x57, 0x51}},  // MEMO
    {0x00F0C3AC, 0xA593, 0x49AC, {0x92, 0x19, 0x24, 0xAB, 0xCA, 0x5A, 0x25, 0x63}},  // MIXED_CONTENT_ALBUM
    {0x031DA7EE, 0x18C8, 0x4205, {0x84, 0x7E, 0x89, 0xA1, 0x12, 0x61, 0xD0, 0xF3}},  // NETWORK_ASSOCIATION
    {0x1A33F7E4, 0xAF13, 0x48F5, {0x99, 0x4E, 0x77, 0x36, 0x9D, 0xFE, 0x04, 0xA3}},  // PLAYLIST
    {0xD269F96A, 0x247C, 0x4BFF, {0x98, 0xFB, 0x97, 0xF3, 0xC4, 0x92, 0x20, 0xE6}},  // PROGRAM
    {0x821089F5, 0x1D91, 0x4DC9, {0xBE, 0x3C, 0xBB, 0xB1, 0xB3, 0x5B, 0x18, 0xCE}},  // SECTION
    {0x63252F2C, 0x887F, 0x4CB6, {0xB1, 0xAC, 0xD2, 0x98, 0x55, 0xDC, 0xEF, 0x6C}},  // TASK
    {0x60A169CF, 0xF2AE, 0x4E21, {0x93, 0x75, 0x96, 0x77, 0xF1, 0x1C, 0x1C, 0x6E}},  // TELEVISION
    {0x28D8D31E, 0x249C, 0x454E, {0xAA, 0xBC, 0x34, 0x88, 0x31, 0x68, 0xE6, 0x34}},  // UNSPECIFIED
    {0x9261B03C, 0x3D78, 0x4519, {0x85, 0xE3, 0x02, 0xC5, 0xE1, 0xF5, 0x0B, 0xB9}},  // VIDEO
    {0x012B0DB7, 0xD4C1, 0x45D6, {0xB0, 0x81, 0x94, 0xB8, 0x77, 0x79, 0x61, 0x4F}},  // VIDEO_ALBUM
    {0x0BAC070A, 0x9F5F, 0x4DA4, {0xA8, 0xF3, 0x3D, 0xE4, 0x4D, 0x68, 0xFD, 0x6C}},  // WIRELESS_PROFILE
    {0x27E2E392, 0xA111, 0x48E0, {0xAB, 0x0C, 0xE1, 0x77, 0x05, 0xA0, 0x5F, 0x85}},  // FOLDER
    GUID{},                                                                           // UNKNOWN
};

template <class E, int N>
E FromString(const std::string& Text, const GUID (&Table)[N]) {
  GUID g;
  if (!VXStringToGUID(Text, g)) return E(N - 1);
  for (int i = 0; i < N - 1; ++i)
    if (IsEqualGUID(g, Table[i])) return E(i);
  return E(N - 1);
}

constexpr HRESULT kServerUnavailable = HRESULT(0x800706BAu);

}  // namespace

const char* const kVXDefaultInterfaceNullText =
    "DefaultInterface is NULL. Component is not connected to Server. You must call \"Connect\" or \"ConnectTo\" "
    "before this operation";

const GUID& VXWPDObjectFormatGUID(TWPDObjectFormat Format) {
  return kFormats[Format < kWPDObjectFormatCount ? Format : _WPD_OBJECT_FORMAT_UNKNOWN];
}
const GUID& VXWPDContentTypeGUID(TWPDContentType ContentType) {
  return kContentTypes[ContentType < kWPDContentTypeCount ? ContentType : _WPD_CONTENT_TYPE_UNKNOWN];
}
TWPDObjectFormat WPDObjectFormatFromString(const std::string& Text) {
  return FromString<TWPDObjectFormat>(Text, kFormats);
}
TWPDContentType WPDContentTypeFromString(const std::string& Text) {
  return FromString<TWPDContentType>(Text, kContentTypes);
}

// ---------------------------------------------------------------------------

IUnknown* VXCreateComObject(REFCLSID Clsid, REFIID Iid) {
  IUnknown* unknown = nullptr;
  const HRESULT hr = CoCreateInstance(Clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                      reinterpret_cast<void**>(&unknown));
  if (FAILED(hr)) throw EVXException(SysErrorMessage(hr) + ", ClassID: " + VXGUIDToString(Clsid));
  void* wanted = nullptr;
  const HRESULT q = unknown->QueryInterface(Iid, &wanted);
  unknown->Release();
  if (FAILED(q) || !wanted) throw EVXException("Interface not supported");
  return static_cast<IUnknown*>(wanted);
}

IPortableDevice* CoPortableDevice::Create() { return VXCreateComObject<IPortableDevice>(CLSID_PortableDevice); }

IPortableDevice* CoPortableDevice::CreateRemote(const std::string& MachineName) {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  if (MachineName.empty() || MachineName == "localhost" || MachineName == host) return Create();
  throw EVXException(SysErrorMessage(kServerUnavailable) + ", ClassID: " + VXGUIDToString(CLSID_PortableDevice));
}

TPortableDeviceManager::TPortableDeviceManager(TComponent* AOwner) : TComponent(AOwner) {}

TPortableDeviceManager::~TPortableDeviceManager() { Disconnect(); }

void TPortableDeviceManager::Connect() {
  if (fIntf) return;
  IUnknown* running = nullptr;
  if (SUCCEEDED(GetActiveObject(CLSID_PortableDeviceManager, nullptr, &running)) && running) {
    void* p = nullptr;
    const HRESULT hr = running->QueryInterface(IPortableDeviceManager::kIID, &p);
    running->Release();
    if (SUCCEEDED(hr) && p) {
      fIntf = static_cast<IPortableDeviceManager*>(p);
      return;
    }
  }
  fIntf = VXCreateComObject<IPortableDeviceManager>(CLSID_PortableDeviceManager);
}

void TPortableDeviceManager::ConnectTo(IPortableDeviceManager* svrIntf) {
  Disconnect();
  fIntf = svrIntf;
  if (fIntf) fIntf->AddRef();
}

void TPortableDeviceManager::Disconnect() {
  if (fIntf) fIntf->Release();
  fIntf = nullptr;
}

IPortableDeviceManager* TPortableDeviceManager::DefaultInterface() {
  if (!fIntf) Connect();
  if (!fIntf) throw EVXException(kVXDefaultInterfaceNullText);
  return fIntf;
}

HRESULT TPortableDeviceManager::GetDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs) {
  return DefaultInterface()->GetDevices(pPnPDeviceIDs, pcPnPDeviceIDs);
}
HRESULT TPortableDeviceManager::RefreshDeviceList() { return DefaultInterface()->RefreshDeviceList(); }
HRESULT TPortableDeviceManager::GetDeviceFriendlyName(LPCWSTR id, LPWSTR buf, DWORD* cch) {
  return DefaultInterface()->GetDeviceFriendlyName(id, buf, cch);
}
HRESULT TPortableDeviceManager::GetDeviceDescription(LPCWSTR id, LPWSTR buf, DWORD* cch) {
  return DefaultInterface()->GetDeviceDescription(id, buf, cch);
}
HRESULT TPortableDeviceManager::GetDeviceManufacturer(LPCWSTR id, LPWSTR buf, DWORD* cch) {
  return DefaultInterface()->GetDeviceManufacturer(id, buf, cch);
}
HRESULT TPortableDeviceManager::GetDeviceProperty(LPCWSTR id, LPCWSTR name, BYTE* data, DWORD* cb, DWORD* type) {
  return DefaultInterface()->GetDeviceProperty(id, name, data, cb, type);
}
HRESULT TPortableDeviceManager::GetPrivateDevices(LPWSTR* ids, DWORD* count) {
  return DefaultInterface()->GetPrivateDevices(ids, count);
}
