// The platform's portable-device interfaces as the library calls them: the
// device manager, the device, its content, properties, resources and data
// streams, the value, key and variant collections, their class and
// interface identifiers, the property keys and the constants. Each interface
// has the platform's methods in the platform's order.
//
// The classes behind them (acquire/wpd_objects.cpp) stand over the library's
// own camera stores (acquire/camera_store.h) and are entries of the COM
// class registry from the library's start-up on.
#pragma once

#include "platform/win_com.h"

struct PROPERTYKEY {
  GUID fmtid;
  DWORD pid = 0;
};
using REFPROPERTYKEY = const PROPERTYKEY&;
inline bool VXSameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
  return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

// ---- result codes of the device layer ----
constexpr HRESULT E_WPD_DEVICE_NOT_OPEN = HRESULT(0x802A0002u);
constexpr HRESULT E_WPD_DEVICE_ALREADY_OPENED = HRESULT(0x802A0001u);
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD PORTABLE_DEVICE_DELETE_NO_RECURSION = 0;
constexpr DWORD PORTABLE_DEVICE_DELETE_WITH_RECURSION = 1;

// ---- classes ----
constexpr GUID CLSID_PortableDevice{0x728A21C5, 0x3D9E, 0x48D7, {0x98, 0x10, 0x86, 0x48, 0x48, 0xF0, 0xF4, 0x04}};
constexpr GUID CLSID_PortableDeviceManager{0x0AF10CEC, 0x2ECD, 0x4B92, {0x95, 0x81, 0x34, 0xF6, 0xAE, 0x06, 0x37, 0xF3}};
constexpr GUID CLSID_PortableDeviceValues{0x0C15D503, 0xD017, 0x47CE, {0x90, 0x16, 0x7B, 0x3F, 0x97, 0x87, 0x21, 0xCC}};
constexpr GUID CLSID_PortableDeviceKeyCollection{0xDE2D022D, 0x2480, 0x43BE,
                                                 {0x97, 0xF0, 0xD1, 0xFA, 0x2C, 0xF9, 0x8F, 0x4F}};
constexpr GUID CLSID_PortableDevicePropVariantCollection{0x08A99E2F, 0x6D6D, 0x4B80,
                                                         {0xAF, 0x5A, 0xBA, 0xF2, 0xBC, 0xBE, 0x4C, 0xB9}};

// ---- property keys ----
constexpr GUID WPD_CLIENT_INFORMATION_PROPERTIES_V1{0x204D9F0C, 0x2292, 0x4080,
                                                    {0x9F, 0x42, 0x40, 0x66, 0x4E, 0x70, 0xF8, 0x59}};
constexpr PROPERTYKEY WPD_CLIENT_NAME{WPD_CLIENT_INFORMATION_PROPERTIES_V1, 2};
constexpr PROPERTYKEY WPD_CLIENT_MAJOR_VERSION{WPD_CLIENT_INFORMATION_PROPERTIES_V1, 3};
constexpr PROPERTYKEY WPD_CLIENT_MINOR_VERSION{WPD_CLIENT_INFORMATION_PROPERTIES_V1, 4};
constexpr PROPERTYKEY WPD_CLIENT_REVISION{WPD_CLIENT_INFORMATION_PROPERTIES_V1, 5};
constexpr PROPERTYKEY WPD_CLIENT_DESIRED_ACCESS{WPD_CLIENT_INFORMATION_PROPERTIES_V1, 9};

constexpr GUID WPD_OBJECT_PROPERTIES_V1{0xEF6B490D, 0x5CD8, 0x437A, {0xAF, 0xFC, 0xDA, 0x8B, 0x60, 0xEE, 0x4A, 0x3C}};
constexpr PROPERTYKEY WPD_OBJECT_ID{WPD_OBJECT_PROPERTIES_V1, 2};
constexpr PROPERTYKEY WPD_OBJECT_PARENT_ID{WPD_OBJECT_PROPERTIES_V1, 3};
constexpr PROPERTYKEY WPD_OBJECT_NAME{WPD_OBJECT_PROPERTIES_V1, 4};
constexpr PROPERTYKEY WPD_OBJECT_PERSISTENT_UNIQUE_ID{WPD_OBJECT_PROPERTIES_V1, 5};
constexpr PROPERTYKEY WPD_OBJECT_FORMAT{WPD_OBJECT_PROPERTIES_V1, 6};
constexpr PROPERTYKEY WPD_OBJECT_CONTENT_TYPE{WPD_OBJECT_PROPERTIES_V1, 7};
constexpr PROPERTYKEY WPD_OBJECT_ISHIDDEN{WPD_OBJECT_PROPERTIES_V1, 9};
constexpr PROPERTYKEY WPD_OBJECT_ISSYSTEM{WPD_OBJECT_PROPERTIES_V1, 10};
constexpr PROPERTYKEY WPD_OBJECT_SIZE{WPD_OBJECT_PROPERTIES_V1, 11};
constexpr PROPERTYKEY WPD_OBJECT_ORIGINAL_FILE_NAME{WPD_OBJECT_PROPERTIES_V1, 12};
constexpr PROPERTYKEY WPD_OBJECT_DATE_CREATED{WPD_OBJECT_PROPERTIES_V1, 18};
constexpr PROPERTYKEY WPD_OBJECT_DATE_MODIFIED{WPD_OBJECT_PROPERTIES_V1, 19};

constexpr PROPERTYKEY WPD_RESOURCE_DEFAULT{{0xE81E79BE, 0x34F0, 0x41BF, {0xB5, 0x3F, 0xF1, 0xA0, 0x6A, 0xE8, 0x78, 0x42}},
                                           0};

// The two content types that make an object a folder.
constexpr GUID WPD_CONTENT_TYPE_FOLDER{0x27E2E392, 0xA111, 0x48E0, {0xAB, 0x0C, 0xE1, 0x77, 0x05, 0xA0, 0x5F, 0x85}};
constexpr GUID WPD_CONTENT_TYPE_FUNCTIONAL_OBJECT{0x99ED0160, 0x17FF, 0x4C44,
                                                  {0x9D, 0x98, 0x1D, 0x7A, 0x6F, 0x94, 0x19, 0x21}};

// The device's top-level object.
constexpr const char* WPD_DEVICE_OBJECT_ID = "DEVICE";

// ---- collections ----
struct IPortableDeviceKeyCollection : IUnknown {
  static constexpr GUID kIID{0xDADA2357, 0xE0AD, 0x492E, {0x98, 0xDB, 0xDD, 0x61, 0xC5, 0x3B, 0xA3, 0x53}};
  using TVXBase = IUnknown;
  virtual HRESULT GetCount(DWORD* pcElems) = 0;
  virtual HRESULT GetAt(DWORD dwIndex, PROPERTYKEY* pKey) = 0;
  virtual HRESULT Add(REFPROPERTYKEY Key) = 0;
  virtual HRESULT Clear() = 0;
  virtual HRESULT RemoveAt(DWORD dwIndex) = 0;
};

struct IPortableDevicePropVariantCollection : IUnknown {
  static constexpr GUID kIID{0x89B2E422, 0x4F1B, 0x4316, {0xBC, 0xEF, 0xA4, 0x4A, 0xFE, 0xA8, 0x3E, 0xB3}};
  using TVXBase = IUnknown;
  virtual HRESULT GetCount(DWORD* pcElems) = 0;
  // A copy of the entry (the caller clears it).
  virtual HRESULT GetAt(DWORD dwIndex, PROPVARIANT* pValue) = 0;
  virtual HRESULT Add(const PROPVARIANT* pValue) = 0;
  virtual HRESULT GetType(VARTYPE* pvt) = 0;
  virtual HRESULT ChangeType(VARTYPE vt) = 0;
  virtual HRESULT Clear() = 0;
  virtual HRESULT RemoveAt(DWORD dwIndex) = 0;
};

struct IPortableDeviceValuesCollection;
struct IPropertyStore;

struct IPortableDeviceValues : IUnknown {
  static constexpr GUID kIID{0x6848F6F2, 0x3155, 0x4F86, {0xB6, 0xF5, 0x26, 0x3E, 0xEE, 0xAB, 0x31, 0x43}};
  using TVXBase = IUnknown;
  virtual HRESULT GetCount(DWORD* pcelt) = 0;
  virtual HRESULT GetAt(DWORD index, PROPERTYKEY* pKey, PROPVARIANT* pValue) = 0;
  virtual HRESULT SetValue(REFPROPERTYKEY key, const PROPVARIANT* pValue) = 0;
  virtual HRESULT GetValue(REFPROPERTYKEY key, PROPVARIANT* pValue) = 0;
  virtual HRESULT SetStringValue(REFPROPERTYKEY key, LPCWSTR Value) = 0;
  // A GUID value reads as its braced text. The text is in task memory.
  virtual HRESULT GetStringValue(REFPROPERTYKEY key, LPWSTR* pValue) = 0;
  virtual HRESULT SetUnsignedIntegerValue(REFPROPERTYKEY key, ULONG Value) = 0;
  virtual HRESULT GetUnsignedIntegerValue(REFPROPERTYKEY key, ULONG* pValue) = 0;
  virtual HRESULT SetSignedIntegerValue(REFPROPERTYKEY key, int32_t Value) = 0;
  virtual HRESULT GetSignedIntegerValue(REFPROPERTYKEY key, int32_t* pValue) = 0;
  virtual HRESULT SetUnsignedLargeIntegerValue(REFPROPERTYKEY key, uint64_t Value) = 0;
  virtual HRESULT GetUnsignedLargeIntegerValue(REFPROPERTYKEY key, uint64_t* pValue) = 0;
  virtual HRESULT SetSignedLargeIntegerValue(REFPROPERTYKEY key, int64_t Value) = 0;
  virtual HRESULT GetSignedLargeIntegerValue(REFPROPERTYKEY key, int64_t* pValue) = 0;
  virtual HRESULT SetFloatValue(REFPROPERTYKEY key, float Value) = 0;
  virtual HRESULT GetFloatValue(REFPROPERTYKEY key, float* pValue) = 0;
  virtual HRESULT SetErrorValue(REFPROPERTYKEY key, HRESULT Value) = 0;
  virtual HRESULT GetErrorValue(REFPROPERTYKEY key, HRESULT* pValue) = 0;
  virtual HRESULT SetKeyValue(REFPROPERTYKEY key, REFPROPERTYKEY Value) = 0;
  virtual HRESULT GetKeyValue(REFPROPERTYKEY key, PROPERTYKEY* pValue) = 0;
  virtual HRESULT SetBoolValue(REFPROPERTYKEY key, BOOL Value) = 0;
  virtual HRESULT GetBoolValue(REFPROPERTYKEY key, BOOL* pValue) = 0;
  virtual HRESULT SetIUnknownValue(REFPROPERTYKEY key, IUnknown* pValue) = 0;
  virtual HRESULT GetIUnknownValue(REFPROPERTYKEY key, IUnknown** ppValue) = 0;
  virtual HRESULT SetGuidValue(REFPROPERTYKEY key, REFGUID Value) = 0;
  virtual HRESULT GetGuidValue(REFPROPERTYKEY key, GUID* pValue) = 0;
  virtual HRESULT SetBufferValue(REFPROPERTYKEY key, BYTE* pValue, DWORD cbValue) = 0;
  virtual HRESULT GetBufferValue(REFPROPERTYKEY key, BYTE** ppValue, DWORD* pcbValue) = 0;
  virtual HRESULT SetIPortableDeviceValuesValue(REFPROPERTYKEY key, IPortableDeviceValues* pValue) = 0;
  virtual HRESULT GetIPortableDeviceValuesValue(REFPROPERTYKEY key, IPortableDeviceValues** ppValue) = 0;
  virtual HRESULT SetIPortableDevicePropVariantCollectionValue(REFPROPERTYKEY key,
                                                               IPortableDevicePropVariantCollection* pValue) = 0;
  virtual HRESULT GetIPortableDevicePropVariantCollectionValue(REFPROPERTYKEY key,
                                                               IPortableDevicePropVariantCollection** ppValue) = 0;
  virtual HRESULT SetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY key, IPortableDeviceKeyCollection* pValue) = 0;
  virtual HRESULT GetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY key, IPortableDeviceKeyCollection** ppValue) = 0;
  virtual HRESULT SetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY key,
                                                          IPortableDeviceValuesCollection* pValue) = 0;
  virtual HRESULT GetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY key,
                                                          IPortableDeviceValuesCollection** ppValue) = 0;
  virtual HRESULT RemoveValue(REFPROPERTYKEY key) = 0;
  virtual HRESULT CopyValuesFromPropertyStore(IPropertyStore* pStore) = 0;
  virtual HRESULT CopyValuesToPropertyStore(IPropertyStore* pStore) = 0;
  virtual HRESULT Clear() = 0;
};

// ---- content ----
struct IEnumPortableDeviceObjectIDs : IUnknown {
  static constexpr GUID kIID{0x10ECE955, 0xCF41, 0x4728, {0xBF, 0xA0, 0x41, 0xEE, 0xDF, 0x1B, 0xBF, 0x19}};
  using TVXBase = IUnknown;
  // Up to cObjects IDs (task memory, freed by the caller); S_FALSE when
  // fewer came.
  virtual HRESULT Next(ULONG cObjects, LPWSTR* pObjIDs, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cObjects) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumPortableDeviceObjectIDs** ppEnum) = 0;
  virtual HRESULT Cancel() = 0;
};

struct IPortableDeviceProperties : IUnknown {
  static constexpr GUID kIID{0x7F6D695C, 0x03DF, 0x4439, {0xA8, 0x09, 0x59, 0x26, 0x6B, 0xEE, 0xE3, 0xA6}};
  using TVXBase = IUnknown;
  virtual HRESULT GetSupportedProperties(LPCWSTR pszObjectID, IPortableDeviceKeyCollection** ppKeys) = 0;
  virtual HRESULT GetPropertyAttributes(LPCWSTR pszObjectID, REFPROPERTYKEY Key,
                                        IPortableDeviceValues** ppAttributes) = 0;
  // The values of the keys asked for (all of them without pKeys).
  virtual HRESULT GetValues(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys,
                            IPortableDeviceValues** ppValues) = 0;
  virtual HRESULT SetValues(LPCWSTR pszObjectID, IPortableDeviceValues* pValues, IPortableDeviceValues** ppResults) = 0;
  virtual HRESULT Delete(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys) = 0;
  virtual HRESULT Cancel() = 0;
};

struct IPortableDeviceResources : IUnknown {
  static constexpr GUID kIID{0xFD8878AC, 0xD841, 0x4D17, {0x89, 0x1C, 0xE6, 0x82, 0x9C, 0xDB, 0x69, 0x34}};
  using TVXBase = IUnknown;
  virtual HRESULT GetSupportedResources(LPCWSTR pszObjectID, IPortableDeviceKeyCollection** ppKeys) = 0;
  virtual HRESULT GetResourceAttributes(LPCWSTR pszObjectID, REFPROPERTYKEY Key,
                                        IPortableDeviceValues** ppResourceAttributes) = 0;
  virtual HRESULT GetStream(LPCWSTR pszObjectID, REFPROPERTYKEY Key, DWORD dwMode, DWORD* pdwOptimalBufferSize,
                            IStream** ppStream) = 0;
  virtual HRESULT Delete(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys) = 0;
  virtual HRESULT Cancel() = 0;
  virtual HRESULT CreateResource(IPortableDeviceValues* pResourceAttributes, IStream** ppData,
                                 DWORD* pdwOptimalWriteBufferSize, LPWSTR* ppszCookie) = 0;
};

// The data stream of one object; after a successful Commit of a new
// object's stream, GetObjectID names the object made.
struct IPortableDeviceDataStream : IStream {
  static constexpr GUID kIID{0x88E04DB3, 0x1012, 0x4D64, {0x99, 0x96, 0xF7, 0x03, 0xA9, 0x50, 0xD3, 0xF4}};
  using TVXBase = IStream;
  virtual HRESULT GetObjectID(LPWSTR* ppszObjectID) = 0;
  virtual HRESULT Cancel() = 0;
};

struct IPortableDeviceContent : IUnknown {
  static constexpr GUID kIID{0x6A96ED84, 0x7C73, 0x4480, {0x99, 0x38, 0xBF, 0x5A, 0xF4, 0x77, 0xD4, 0x26}};
  using TVXBase = IUnknown;
  // The children of an object; an empty parent ID gives the top-level
  // object, "DEVICE".
  virtual HRESULT EnumObjects(DWORD dwFlags, LPCWSTR pszParentObjectID, IPortableDeviceValues* pFilter,
                              IEnumPortableDeviceObjectIDs** ppEnum) = 0;
  virtual HRESULT Properties(IPortableDeviceProperties** ppProperties) = 0;
  virtual HRESULT Transfer(IPortableDeviceResources** ppResources) = 0;
  virtual HRESULT CreateObjectWithPropertiesOnly(IPortableDeviceValues* pValues, LPWSTR* ppszObjectID) = 0;
  virtual HRESULT CreateObjectWithPropertiesAndData(IPortableDeviceValues* pValues, IStream** ppData,
                                                    DWORD* pdwOptimalWriteBufferSize, LPWSTR* ppszCookie) = 0;
  virtual HRESULT Delete(DWORD dwOptions, IPortableDevicePropVariantCollection* pObjectIDs,
                         IPortableDevicePropVariantCollection** ppResults) = 0;
  virtual HRESULT GetObjectIDsFromPersistentUniqueIDs(IPortableDevicePropVariantCollection* pPersistentUniqueIDs,
                                                      IPortableDevicePropVariantCollection** ppObjectIDs) = 0;
  virtual HRESULT Cancel() = 0;
  virtual HRESULT Move(IPortableDevicePropVariantCollection* pObjectIDs, LPCWSTR pszDestinationFolderObjectID,
                       IPortableDevicePropVariantCollection** ppResults) = 0;
  virtual HRESULT Copy(IPortableDevicePropVariantCollection* pObjectIDs, LPCWSTR pszDestinationFolderObjectID,
                       IPortableDevicePropVariantCollection** ppResults) = 0;
};

struct IPortableDeviceCapabilities;
struct IPortableDeviceEventCallback;

struct IPortableDevice : IUnknown {
  static constexpr GUID kIID{0x625E2DF8, 0x6392, 0x4CF0, {0x9A, 0xD1, 0x3C, 0xFA, 0x5F, 0x17, 0x77, 0x5C}};
  using TVXBase = IUnknown;
  virtual HRESULT Open(LPCWSTR pszPnPDeviceID, IPortableDeviceValues* pClientInfo) = 0;
  virtual HRESULT SendCommand(DWORD dwFlags, IPortableDeviceValues* pParameters,
                              IPortableDeviceValues** ppResults) = 0;
  virtual HRESULT Content(IPortableDeviceContent** ppContent) = 0;
  virtual HRESULT Capabilities(IPortableDeviceCapabilities** ppCapabilities) = 0;
  virtual HRESULT Cancel() = 0;
  virtual HRESULT Close() = 0;
  virtual HRESULT Advise(DWORD dwFlags, IPortableDeviceEventCallback* pCallback, IPortableDeviceValues* pParameters,
                         LPWSTR* ppszCookie) = 0;
  virtual HRESULT Unadvise(LPCWSTR pszCookie) = 0;
  virtual HRESULT GetPnPDeviceID(LPWSTR* ppszPnPDeviceID) = 0;
};

struct IPortableDeviceManager : IUnknown {
  static constexpr GUID kIID{0xA1567595, 0x4C2F, 0x4574, {0xA6, 0xFA, 0xEC, 0xEF, 0x91, 0x7B, 0x9A, 0x40}};
  using TVXBase = IUnknown;
  // Without pPnPDeviceIDs: the count into *pcPnPDeviceIDs. With it: up to
  // *pcPnPDeviceIDs IDs (task memory, freed by the caller), the count given
  // back.
  virtual HRESULT GetDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs) = 0;
  virtual HRESULT RefreshDeviceList() = 0;
  // Without a buffer (or with a count of 0): the length with the
  // terminating zero into *pcch; a buffer too small gives
  // HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER).
  virtual HRESULT GetDeviceFriendlyName(LPCWSTR pszPnPDeviceID, LPWSTR pDeviceFriendlyName,
                                        DWORD* pcchDeviceFriendlyName) = 0;
  virtual HRESULT GetDeviceDescription(LPCWSTR pszPnPDeviceID, LPWSTR pDeviceDescription,
                                       DWORD* pcchDeviceDescription) = 0;
  virtual HRESULT GetDeviceManufacturer(LPCWSTR pszPnPDeviceID, LPWSTR pDeviceManufacturer,
                                        DWORD* pcchDeviceManufacturer) = 0;
  virtual HRESULT GetDeviceProperty(LPCWSTR pszPnPDeviceID, LPCWSTR pszDevicePropertyName, BYTE* pData,
                                    DWORD* pcbData, DWORD* pdwType) = 0;
  virtual HRESULT GetPrivateDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs) = 0;
};

// Registers the classes above with the COM registry (the acquisition
// library's start-up) and takes them out again (its shut-down).
void VXRegisterPortableDeviceClasses();
void VXUnregisterPortableDeviceClasses();
