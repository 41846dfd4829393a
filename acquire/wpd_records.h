// The portable devices' shared data: object kinds, object formats and
// content types with the platform GUIDs they stand for, the device, object
// and extended-property records, the log event, and the COM binding classes
// of the device manager (TPortableDeviceManager) and the device
// (CoPortableDevice). Texts are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "acquire/wpd_api.h"
#include "gui/component.h"

enum TVXWPDObjectType : uint8_t { vxwFile, vxwFolder };
// A set of object kinds, one bit per kind: [vxwFile] = 1, [vxwFolder] = 2.
using TVXWPDObjectTypes = uint8_t;
constexpr TVXWPDObjectTypes VXWPDTypes(TVXWPDObjectType t) { return TVXWPDObjectTypes(1u << unsigned(t)); }
constexpr TVXWPDObjectTypes VXWPDTypes(TVXWPDObjectType a, TVXWPDObjectType b) {
  return TVXWPDObjectTypes(VXWPDTypes(a) | VXWPDTypes(b));
}
constexpr bool VXWPDHasType(TVXWPDObjectTypes Set, TVXWPDObjectType t) { return (Set & VXWPDTypes(t)) != 0; }

enum TWPDObjectFormat : uint8_t {
  _WPD_OBJECT_FORMAT_3GP,
  _WPD_OBJECT_FORMAT_AAC,
  _WPD_OBJECT_FORMAT_ABSTRACT_CONTACT,
  _WPD_OBJECT_FORMAT_ABSTRACT_CONTACT_GROUP,
  _WPD_OBJECT_FORMAT_ABSTRACT_MEDIA_CAST,
  _WPD_OBJECT_FORMAT_AIFF,
  _WPD_OBJECT_FORMAT_ALL,
  _WPD_OBJECT_FORMAT_ASF,
  _WPD_OBJECT_FORMAT_ASXPLAYLIST,
  _WPD_OBJECT_FORMAT_AUDIBLE,
  _WPD_OBJECT_FORMAT_AVI,
  _WPD_OBJECT_FORMAT_BMP,
  _WPD_OBJECT_FORMAT_CIFF,
  _WPD_OBJECT_FORMAT_DPOF,
  _WPD_OBJECT_FORMAT_EXECUTABLE,
  _WPD_OBJECT_FORMAT_EXIF,
  _WPD_OBJECT_FORMAT_FLAC,
  _WPD_OBJECT_FORMAT_FLASHPIX,
  _WPD_OBJECT_FORMAT_GIF,
  _WPD_OBJECT_FORMAT_HTML,
  _WPD_OBJECT_FORMAT_ICALENDAR,
  _WPD_OBJECT_FORMAT_ICON,
  _WPD_OBJECT_FORMAT_JFIF,
  _WPD_OBJECT_FORMAT_JP2,
  _WPD_OBJECT_FORMAT_JPX,
  _WPD_OBJECT_FORMAT_M3UPLAYLIST,
  _WPD_OBJECT_FORMAT_M4A,
  _WPD_OBJECT_FORMAT_MHT_COMPILED_HTML,
  _WPD_OBJECT_FORMAT_MICROSOFT_EXCEL,
  _WPD_OBJECT_FORMAT_MICROSOFT_POWERPOINT,
  _WPD_OBJECT_FORMAT_MICROSOFT_WFC,
  _WPD_OBJECT_FORMAT_MICROSOFT_WORD,
  _WPD_OBJECT_FORMAT_MP2,
  _WPD_OBJECT_FORMAT_MP3,
  _WPD_OBJECT_FORMAT_MP4,
  _WPD_OBJECT_FORMAT_MPEG,
  _WPD_OBJECT_FORMAT_MPLPLAYLIST,
  _WPD_OBJECT_FORMAT_NETWORK_ASSOCIATION,
  _WPD_OBJECT_FORMAT_OGG,
  _WPD_OBJECT_FORMAT_PCD,
  _WPD_OBJECT_FORMAT_PICT,
  _WPD_OBJECT_FORMAT_PLSPLAYLIST,
  _WPD_OBJECT_FORMAT_PNG,
  _WPD_OBJECT_FORMAT_PROPERTIES_ONLY,
  _WPD_OBJECT_FORMAT_SCRIPT,
  _WPD_OBJECT_FORMAT_TEXT,
  _WPD_OBJECT_FORMAT_TIFF,
  _WPD_OBJECT_FORMAT_TIFFEP,
  _WPD_OBJECT_FORMAT_TIFFIT,
  _WPD_OBJECT_FORMAT_UNSPECIFIED,
  _WPD_OBJECT_FORMAT_VCALENDAR1,
  _WPD_OBJECT_FORMAT_VCARD2,
  _WPD_OBJECT_FORMAT_VCARD3,
  _WPD_OBJECT_FORMAT_WAVE,
  _WPD_OBJECT_FORMAT_WINDOWSIMAGEFORMAT,
  _WPD_OBJECT_FORMAT_WMA,
  _WPD_OBJECT_FORMAT_WMV,
  _WPD_OBJECT_FORMAT_WPLPLAYLIST,
  _WPD_OBJECT_FORMAT_X509V3CERTIFICATE,
  _WPD_OBJECT_FORMAT_XML,
  _WPD_OBJECT_FORMAT_UNKNOWN
};
constexpr int kWPDObjectFormatCount = 61;

enum TWPDContentType : uint8_t {
  _WPD_CONTENT_TYPE_ALL,
  _WPD_CONTENT_TYPE_APPOINTMENT,
  _WPD_CONTENT_TYPE_AUDIO,
  _WPD_CONTENT_TYPE_AUDIO_ALBUM,
  _WPD_CONTENT_TYPE_CALENDAR,
  _WPD_CONTENT_TYPE_CERTIFICATE,
  _WPD_CONTENT_TYPE_CONTACT,
  _WPD_CONTENT_TYPE_CONTACT_GROUP,
  _WPD_CONTENT_TYPE_DOCUMENT,
  _WPD_CONTENT_TYPE_EMAIL,
  _WPD_CONTENT_TYPE_FUNCTIONAL_OBJECT,
  _WPD_CONTENT_TYPE_GENERIC_FILE,
  _WPD_CONTENT_TYPE_GENERIC_MESSAGE,
  _WPD_CONTENT_TYPE_IMAGE,
  _WPD_CONTENT_TYPE_IMAGE_ALBUM,
  _WPD_CONTENT_TYPE_MEDIA_CAST,
  _WPD_CONTENT_TYPE_MEMO,
  _WPD_CONTENT_TYPE_MIXED_CONTENT_ALBUM,
  _WPD_CONTENT_TYPE_NETWORK_ASSOCIATION,
  _WPD_CONTENT_TYPE_PLAYLIST,
  _WPD_CONTENT_TYPE_PROGRAM,
  _WPD_CONTENT_TYPE_SECTION,
  _WPD_CONTENT_TYPE_TASK,
  _WPD_CONTENT_TYPE_TELEVISION,
  _WPD_CONTENT_TYPE_UNSPECIFIED,
  _WPD_CONTENT_TYPE_VIDEO,
  _WPD_CONTENT_TYPE_VIDEO_ALBUM,
  _WPD_CONTENT_TYPE_WIRELESS_PROFILE,
  _WPD_CONTENT_TYPE_FOLDER,
  _WPD_CONTENT_TYPE_UNKNOWN
};
constexpr int kWPDContentTypeCount = 30;

// The platform GUID of a value (the zero GUID for the UNKNOWN values).
const GUID& VXWPDObjectFormatGUID(TWPDObjectFormat Format);
const GUID& VXWPDContentTypeGUID(TWPDContentType ContentType);
// A braced GUID text to the first value of the table with that GUID; empty,
// malformed or unlisted text gives the UNKNOWN value.
TWPDObjectFormat WPDObjectFormatFromString(const std::string& Text);
TWPDContentType WPDContentTypeFromString(const std::string& Text);

// One device.
struct TVXPortableDevice {
  std::string ID;            // as the manager lists it, trimmed
  std::string FriendlyName;  // the ID when the manager gives none
  std::string Description;
  std::string Manufacturer;
  bool IsDrive = false;  // the friendly name holds ":\", or a mounted volume
};

// One object of the object list.
struct TVXWPDObject {
  std::string ID;
  std::string FriendlyName;  // WPD_OBJECT_NAME
  std::string Filename;      // WPD_OBJECT_ORIGINAL_FILE_NAME, the ID when that is empty or blank
  std::string Path;          // "\"-separated friendly names from the start of the listing
  TVXWPDObjectType ObjectType = vxwFile;
};

// The extended properties of one object.
struct TVXWPDObjectAdvancedProps {
  std::string ObjectID;
  std::string ParentID;
  std::string FriendlyName;
  std::string Filename;
  std::string PersistentUniqueID;
  TWPDObjectFormat ObjectFormat = _WPD_OBJECT_FORMAT_UNKNOWN;
  TWPDContentType ContentType = _WPD_CONTENT_TYPE_UNKNOWN;
  bool IsHidden = false;
  bool IsSystem = false;
  double DateCreated = 0;  // OLE automation dates
  double DateModified = 0;
  uint64_t SizeBytes = 0;
};

class TVXPortableDevices;
using TVXPortableDeviceLogEvent = std::function<void(TVXPortableDevices* Sender, const std::string& sMsg)>;

// Creates a platform object: CoCreateInstance (in-process and local
// servers) and the interface query. Raises EVXException "%s, ClassID: %s"
// (the platform's message for the result, the class in braces) when the
// class cannot be created, "Interface not supported" when the object lacks
// the interface.
IUnknown* VXCreateComObject(REFCLSID Clsid, REFIID Iid);
template <class I>
I* VXCreateComObject(REFCLSID Clsid) {
  return static_cast<I*>(VXCreateComObject(Clsid, I::kIID));
}

// The creator of the platform's device object.
class CoPortableDevice {
 public:
  // A new CLSID_PortableDevice object, one reference for the caller.
  static IPortableDevice* Create();
  // The same on the named machine: this machine only (its host name,
  // "localhost" or an empty name); any other raises the platform's message
  // for an unreachable server.
  static IPortableDevice* CreateRemote(const std::string& MachineName);
};

// A component wrapping the platform's device manager.
class TPortableDeviceManager : public TComponent {
 public:
  explicit TPortableDeviceManager(TComponent* AOwner = nullptr);
  ~TPortableDeviceManager() override;
  // Obtains the interface when none is held: a running manager object when
  // the platform offers one, else a new one.
  void Connect();
  // Disconnects and then holds svrIntf (with a reference of its own).
  void ConnectTo(IPortableDeviceManager* svrIntf);
  void Disconnect();
  // Connects on demand; raises EVXException with "DefaultInterface is NULL.
  // Component is not connected to Server. You must call "Connect" or
  // "ConnectTo" before this operation" when still not connected.
  IPortableDeviceManager* DefaultInterface();

  HRESULT GetDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs);
  HRESULT RefreshDeviceList();
  HRESULT GetDeviceFriendlyName(LPCWSTR pszPnPDeviceID, LPWSTR pDeviceFriendlyName, DWORD* pcchDeviceFriendlyName);
  HRESULT GetDeviceDescription(LPCWSTR pszPnPDeviceID, LPWSTR pDeviceDescription, DWORD* pcchDeviceDescription);
  HRESULT GetDeviceManufacturer(LPCWSTR pszPnPDeviceID, LPWSTR pDeviceManufacturer, DWORD* pcchDeviceManufacturer);
  HRESULT GetDeviceProperty(LPCWSTR pszPnPDeviceID, LPCWSTR pszDevicePropertyName, BYTE* pData, DWORD* pcbData,
                            DWORD* pdwType);
  HRESULT GetPrivateDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs);

 private:
  IPortableDeviceManager* fIntf = nullptr;
};

// The text of the assertion above.
extern const char* const kVXDefaultInterfaceNullText;
