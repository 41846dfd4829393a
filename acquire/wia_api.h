// The image-acquisition device manager's interfaces as the library's WIA
// client calls them, under their published names and identifiers, with the
// property identifiers, item-type flags, callback messages and formats the
// client and our own device manager use.
#pragma once
#include <cstdint>

#include "platform/win_com.h"
#include "winui/win_types.h"

using LONG = int32_t;
using PROPID = ULONG;

// ---- property names and storage ----
constexpr ULONG PRSPEC_LPWSTR = 0;
constexpr ULONG PRSPEC_PROPID = 1;
struct PROPSPEC {
  ULONG ulKind = PRSPEC_PROPID;
  union {
    PROPID propid = 0;
    LPWSTR lpwstr;
  };
};

// Property access flags.
constexpr ULONG WIA_PROP_READ = 0x1;
constexpr ULONG WIA_PROP_WRITE = 0x2;
constexpr ULONG WIA_PROP_RW = WIA_PROP_READ | WIA_PROP_WRITE;
constexpr ULONG WIA_PROP_SYNC_REQUIRED = 0x4;
constexpr ULONG WIA_PROP_NONE = 0x8;
constexpr ULONG WIA_PROP_RANGE = 0x10;
constexpr ULONG WIA_PROP_LIST = 0x20;
constexpr ULONG WIA_PROP_FLAG = 0x40;
constexpr ULONG WIA_PROP_CACHEABLE = 0x10000;
// Elements of a valid-values vector.
constexpr int WIA_RANGE_MIN = 0, WIA_RANGE_NOM = 1, WIA_RANGE_MAX = 2, WIA_RANGE_STEP = 3;
constexpr int WIA_LIST_COUNT = 0, WIA_LIST_NOM = 1, WIA_LIST_VALUES = 2;
constexpr int WIA_FLAG_NOM = 0, WIA_FLAG_VALUES = 1;

// Device information.
constexpr PROPID WIA_DIP_DEV_ID = 2;
constexpr PROPID WIA_DIP_VEND_DESC = 3;
constexpr PROPID WIA_DIP_DEV_DESC = 4;
constexpr PROPID WIA_DIP_DEV_TYPE = 5;
constexpr PROPID WIA_DIP_PORT_NAME = 6;
constexpr PROPID WIA_DIP_DEV_NAME = 7;
constexpr PROPID WIA_DIP_SERVER_NAME = 8;
constexpr PROPID WIA_DIP_DRIVER_VERSION = 15;
// Device types: the high 16 bits of WIA_DIP_DEV_TYPE.
constexpr LONG StiDeviceTypeDefault = 0;
constexpr LONG StiDeviceTypeScanner = 1;
constexpr LONG StiDeviceTypeDigitalCamera = 2;
constexpr LONG StiDeviceTypeStreamingVideo = 3;

// Scanner device properties.
constexpr PROPID WIA_DPS_HORIZONTAL_BED_SIZE = 3074;  // thousandths of an inch
constexpr PROPID WIA_DPS_VERTICAL_BED_SIZE = 3075;
constexpr PROPID WIA_DPS_DOCUMENT_HANDLING_CAPABILITIES = 3086;
constexpr PROPID WIA_DPS_DOCUMENT_HANDLING_STATUS = 3087;
constexpr PROPID WIA_DPS_DOCUMENT_HANDLING_SELECT = 3088;
constexpr PROPID WIA_DPS_PAGES = 3096;
constexpr LONG FEEDER = 0x1, FLATBED = 0x2, DUPLEX = 0x4, AUTO_ADVANCE = 0x200;
constexpr LONG FEED_READY = 0x1, FLAT_READY = 0x2;
constexpr LONG DETECT_FEED = 0x20, DETECT_DUP_AVAIL = 0x100;

// Item properties.
constexpr PROPID WIA_IPA_ITEM_NAME = 4098;
constexpr PROPID WIA_IPA_FULL_ITEM_NAME = 4099;
constexpr PROPID WIA_IPA_DATATYPE = 4103;
constexpr PROPID WIA_IPA_DEPTH = 4104;
constexpr PROPID WIA_IPA_FORMAT = 4106;
constexpr PROPID WIA_IPA_TYMED = 4108;
constexpr PROPID WIA_IPA_CHANNELS_PER_PIXEL = 4109;
constexpr PROPID WIA_IPA_BITS_PER_CHANNEL = 4110;
constexpr PROPID WIA_IPA_PIXELS_PER_LINE = 4112;
constexpr PROPID WIA_IPA_BYTES_PER_LINE = 4113;
constexpr PROPID WIA_IPA_NUMBER_OF_LINES = 4114;
constexpr PROPID WIA_IPA_ITEM_SIZE = 4116;
constexpr PROPID WIA_IPC_THUMBNAIL = 5122;
constexpr PROPID WIA_IPC_THUMB_WIDTH = 5123;
constexpr PROPID WIA_IPC_THUMB_HEIGHT = 5124;
constexpr PROPID WIA_IPS_XRES = 6147;
constexpr PROPID WIA_IPS_YRES = 6148;
constexpr PROPID WIA_IPS_XPOS = 6149;
constexpr PROPID WIA_IPS_YPOS = 6150;
constexpr PROPID WIA_IPS_XEXTENT = 6151;
constexpr PROPID WIA_IPS_YEXTENT = 6152;
constexpr PROPID WIA_IPS_BRIGHTNESS = 6154;
constexpr PROPID WIA_IPS_CONTRAST = 6155;
constexpr PROPID WIA_IPS_ORIENTATION = 6156;
constexpr PROPID WIA_IPS_ROTATION = 6157;
constexpr PROPID WIA_IPS_THRESHOLD = 6159;
// WIA_IPS_ORIENTATION and WIA_IPS_ROTATION.
constexpr LONG PORTRAIT = 0, LANSCAPE = 1, ROT180 = 2, ROT270 = 3;
constexpr LONG WIA_DATA_THRESHOLD = 0, WIA_DATA_DITHER = 1, WIA_DATA_GRAYSCALE = 2, WIA_DATA_COLOR = 3;
constexpr LONG TYMED_CALLBACK = 128;
constexpr LONG TYMED_MULTIPAGE_CALLBACK = 512;

// Item types.
constexpr LONG WiaItemTypeFree = 0x0;
constexpr LONG WiaItemTypeImage = 0x1;
constexpr LONG WiaItemTypeFile = 0x2;
constexpr LONG WiaItemTypeFolder = 0x4;
constexpr LONG WiaItemTypeRoot = 0x8;
constexpr LONG WiaItemTypeDevice = 0x40;
constexpr LONG WiaItemTypeDeleted = 0x80;
constexpr LONG WiaItemTypeProgrammableDataSource = 0x10000;

// Formats.
constexpr GUID WiaImgFmt_MEMORYBMP{0xb96b3caa, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
constexpr GUID WiaImgFmt_BMP{0xb96b3cab, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
constexpr GUID WiaImgFmt_JPEG{0xb96b3cae, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

// Banded transfers.
constexpr LONG IT_MSG_DATA_HEADER = 0x0001;
constexpr LONG IT_MSG_DATA = 0x0002;
constexpr LONG IT_MSG_STATUS = 0x0003;
constexpr LONG IT_MSG_TERMINATION = 0x0004;
constexpr LONG IT_MSG_NEW_PAGE = 0x0005;
constexpr LONG IT_STATUS_TRANSFER_FROM_DEVICE = 0x1;
constexpr LONG IT_STATUS_TRANSFER_TO_CLIENT = 0x4;

struct WIA_DATA_CALLBACK_HEADER {
  LONG lSize;
  GUID guidFormatID;
  LONG lBufferSize;
  LONG lPageCount;
};

struct WIA_DATA_TRANSFER_INFO {
  ULONG ulSize;
  ULONG ulSection;
  ULONG ulBufferSize;
  BOOL bDoubleBuffer;
  ULONG ulReserved1, ulReserved2, ulReserved3;
};

constexpr LONG WIA_DEVINFO_ENUM_LOCAL = 0x10;
constexpr LONG WIA_SELECT_DEVICE_NODEFAULT = 0x1;
constexpr LONG WIA_DEVICE_DIALOG_USE_COMMON_UI = 0x4;
constexpr HRESULT WIA_S_NO_DEVICE_AVAILABLE = HRESULT(0x80210015u);

// ---- interfaces ----
struct IWiaPropertyStorage : IUnknown {
  static constexpr GUID kIID{0x98B5E8A0, 0x29CC, 0x491a, {0xAA, 0xC0, 0xE6, 0xDB, 0x4F, 0xDC, 0xCE, 0xB6}};
  using TVXBase = IUnknown;
  virtual HRESULT ReadMultiple(ULONG cpspec, const PROPSPEC rgpspec[], PROPVARIANT rgpropvar[]) = 0;
  virtual HRESULT WriteMultiple(ULONG cpspec, const PROPSPEC rgpspec[], const PROPVARIANT rgpropvar[],
                                PROPID propidNameFirst) = 0;
  virtual HRESULT GetPropertyAttributes(ULONG cpspec, PROPSPEC rgpspec[], ULONG rgflags[], PROPVARIANT rgpropvar[]) = 0;
  virtual HRESULT GetCount(ULONG* pulNumProps) = 0;
};

struct IEnumWIA_DEV_INFO : IUnknown {
  static constexpr GUID kIID{0x5e38b83c, 0x8cf1, 0x11d1, {0xbf, 0x92, 0x00, 0x60, 0x08, 0x1e, 0xd8, 0x11}};
  using TVXBase = IUnknown;
  virtual HRESULT Next(ULONG celt, IWiaPropertyStorage** rgelt, ULONG* pceltFetched) = 0;
  virtual HRESULT Skip(ULONG celt) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT GetCount(ULONG* celt) = 0;
};

struct IWiaItem;

struct IEnumWiaItem : IUnknown {
  static constexpr GUID kIID{0x5e8383fc, 0x3391, 0x11d2, {0x9a, 0x33, 0x00, 0xc0, 0x4f, 0xa3, 0x61, 0x45}};
  using TVXBase = IUnknown;
  virtual HRESULT Next(ULONG celt, IWiaItem** ppIWiaItem, ULONG* pceltFetched) = 0;
  virtual HRESULT Skip(ULONG celt) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumWiaItem** ppIEnum) = 0;
  virtual HRESULT GetCount(ULONG* celt) = 0;
};

struct IWiaItem : IUnknown {
  static constexpr GUID kIID{0x4db1ad10, 0x3391, 0x11d2, {0x9a, 0x33, 0x00, 0xc0, 0x4f, 0xa3, 0x61, 0x45}};
  using TVXBase = IUnknown;
  virtual HRESULT GetItemType(LONG* pItemType) = 0;
  virtual HRESULT EnumChildItems(IEnumWiaItem** ppIEnumWiaItem) = 0;
  virtual HRESULT DeleteItem(LONG lFlags) = 0;
  virtual HRESULT GetRootItem(IWiaItem** ppIWiaItem) = 0;
  virtual HRESULT DeviceCommand(LONG lFlags, const GUID* pCmdGUID, IWiaItem** pIWiaItem) = 0;
  virtual HRESULT DeviceDlg(HWND hwndParent, LONG lFlags, LONG lIntent, LONG* plItemCount, IWiaItem*** ppIWiaItem) = 0;
};

struct IWiaDataCallback : IUnknown {
  static constexpr GUID kIID{0xa558a866, 0xa5b0, 0x11d2, {0xa0, 0x8f, 0x00, 0xc0, 0x4f, 0x72, 0xdc, 0x3c}};
  using TVXBase = IUnknown;
  virtual HRESULT BandedDataCallback(LONG lMessage, LONG lStatus, LONG lPercentComplete, LONG lOffset, LONG lLength,
                                     LONG lReserved, LONG lResLength, BYTE* pbBuffer) = 0;
};

struct IWiaDataTransfer : IUnknown {
  static constexpr GUID kIID{0xa6cef998, 0xa5b0, 0x11d2, {0xa0, 0x8f, 0x00, 0xc0, 0x4f, 0x72, 0xdc, 0x3c}};
  using TVXBase = IUnknown;
  virtual HRESULT idtGetBandedData(WIA_DATA_TRANSFER_INFO* pWiaDataTransInfo, IWiaDataCallback* pIWiaDataCallback) = 0;
};

struct IWiaEventCallback : IUnknown {
  static constexpr GUID kIID{0xae6287b0, 0x0084, 0x11d2, {0x97, 0x3b, 0x00, 0xa0, 0xc9, 0x06, 0x8f, 0x2e}};
  using TVXBase = IUnknown;
  virtual HRESULT ImageEventCallback(const GUID* pEventGUID, LPCWSTR bstrEventDescription, LPCWSTR bstrDeviceID,
                                     LPCWSTR bstrDeviceDescription, DWORD dwDeviceType, LPCWSTR bstrFullItemName,
                                     ULONG* pulEventType, ULONG ulReserved) = 0;
};

struct IWiaDevMgr : IUnknown {
  static constexpr GUID kIID{0x5eb2502a, 0x8cf1, 0x11d1, {0xbf, 0x92, 0x00, 0x60, 0x08, 0x1e, 0xd8, 0x11}};
  using TVXBase = IUnknown;
  virtual HRESULT EnumDeviceInfo(LONG lFlag, IEnumWIA_DEV_INFO** ppIEnum) = 0;
  virtual HRESULT CreateDevice(LPCWSTR bstrDeviceID, IWiaItem** ppWiaItemRoot) = 0;
  // The chosen device's ID (task memory) in *pbstrDeviceID; S_FALSE when the
  // user cancels.
  virtual HRESULT SelectDeviceDlgID(HWND hwndParent, LONG lDeviceType, LONG lFlags, LPWSTR* pbstrDeviceID) = 0;
  // Events of one kind from one device (null: all) go to the callback until
  // the registration object *pEventObject is released.
  virtual HRESULT RegisterEventCallbackInterface(LONG lFlags, LPCWSTR bstrDeviceID, const GUID* pEventGUID,
                                                 IWiaEventCallback* pIWiaEventCallback, IUnknown** pEventObject) = 0;
};

// Device commands and events.
constexpr GUID WIA_CMD_SYNCHRONIZE{0x9b26b7b2, 0xacad, 0x11d2, {0xa0, 0x93, 0x00, 0xc0, 0x4f, 0x72, 0xdc, 0x3c}};
constexpr GUID WIA_CMD_TAKE_PICTURE{0xaf933cac, 0xacad, 0x11d2, {0xa0, 0x93, 0x00, 0xc0, 0x4f, 0x72, 0xdc, 0x3c}};
constexpr GUID WIA_EVENT_ITEM_CREATED{0x4c8f4ef5, 0xe14f, 0x11d2, {0xb3, 0x26, 0x00, 0xc0, 0x4f, 0x68, 0xce, 0x61}};
constexpr GUID WIA_EVENT_ITEM_DELETED{0x1d22a559, 0xe14f, 0x11d2, {0xb3, 0x26, 0x00, 0xc0, 0x4f, 0x68, 0xce, 0x61}};
constexpr GUID WIA_EVENT_TREE_UPDATED{0xc9859b91, 0x4ab2, 0x4cd6, {0xa1, 0xfc, 0x58, 0x2e, 0xec, 0x55, 0xe5, 0x85}};
constexpr LONG WIA_REGISTER_EVENT_CALLBACK = 0x1;
constexpr ULONG WIA_NOTIFICATION_EVENT = 0x1;

constexpr GUID CLSID_WiaDevMgr{0xa1f4e726, 0x8cf1, 0x11d1, {0xbf, 0x92, 0x00, 0x60, 0x08, 0x1e, 0xd8, 0x11}};
