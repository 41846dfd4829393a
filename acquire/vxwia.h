// TVXWia: the library's client of the image-acquisition device manager
// (CLSID_WiaDevMgr). It lists the devices, connects to one and mirrors its
// item tree (scanner beds and feeders, a camera's folders and pictures),
// reads and writes item and device properties with their valid values,
// shows the device dialogs, fills a tree view, reads thumbnails, deletes
// items, and transfers pages and pictures in bands (TWiaDataCallBack), each
// page decoded into ProcessingBitmap and offered to OnGetPage. Item events
// of every device arrive through TWiaEventCallBack on the creating thread
// during its calls into the manager.
//
// Wherever an operation takes an item, nullptr means the first image item
// of the connected device; an operation that needs a device connects device
// 0 when none is connected. Failures are quiet: false, an empty variant, or
// no change.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquire/multicallback.h"
#include "acquire/wia_api.h"
#include "core/variant.h"
#include "gui/component.h"
#include "gui/graphics.h"  // TNotifyEvent

class TVXBitmap;
class TIOParamsVals;
class TTreeNodes;

enum TVXWiaDeviceType { vxwScanner, vxwDigitalCamera, vxwStreamingVideo };

struct TVXWiaDeviceInfo {
  std::string Name;
  std::string ID;
  TVXWiaDeviceType DeviceType = vxwScanner;
  std::string DriverVersion;
  std::string PortName;
  std::string ServerName;
  std::string Vendor;
};

// Members of an item's type; TVXWiaItemType holds bit (1 << member).
enum TVXWiaItemTypeMember {
  witFree, witImage, witFile, witFolder, witRoot, witAnalyze, witAudio, witDevice, witDeleted, witDisconnected,
  witHPanorama, witVPanorama, witBurst, witStorage, witTransfer, witGenerated, witHasAttachments, witVideo,
  witTwainCapabilityPassThrough, witRemoved, witMask
};
using TVXWiaItemType = uint32_t;
constexpr bool VXWiaHas(TVXWiaItemType Set, TVXWiaItemTypeMember M) { return (Set >> M) & 1; }
// The members for the device's item-type flags.
TVXWiaItemType VXWiaItemTypeFromFlags(LONG Flags);

// Members of a property's access; TVXWiaAttrib holds bit (1 << member).
enum TVXWiaAttribMember { vxwaRead, vxwaWrite, vxwaSyncRequired, vxwaNone, vxwaRange, vxwaList, vxwaFlag, vxwaCacheable };
using TVXWiaAttrib = uint32_t;
constexpr bool VXWiaHas(TVXWiaAttrib Set, TVXWiaAttribMember M) { return (Set >> M) & 1; }
TVXWiaAttrib VXWiaAttribFromFlags(ULONG Flags);

// One node of the item tree; destroying it destroys its children first and
// releases This.
class TVXWiaItem {
 public:
  TVXWiaItem() = default;
  ~TVXWiaItem();
  TVXWiaItem(const TVXWiaItem&) = delete;
  TVXWiaItem& operator=(const TVXWiaItem&) = delete;
  IWiaItem* This = nullptr;
  std::vector<std::unique_ptr<TVXWiaItem>> Children;
  TVXWiaItemType ItemType = 0;
};

// The valid values of a property.
class TVXWiaValues {
 public:
  std::vector<TVXVariant> fValues;
  TVXVariant max = TVXVariant(int32_t(0));
  TVXVariant min = TVXVariant(int32_t(0));
  int32_t count = 0;
  TVXVariant normal = TVXVariant(int32_t(0));
  TVXVariant step = TVXVariant(int32_t(0));
  // Entry idx, 0 to count - 1 (empty outside).
  TVXVariant GetValues(int32_t idx) const;
};

enum TVXTransferFormat { vxtfDefault, vxtfBitmap, vxtfJpeg, vxtfRawBitmap };
enum TVXWiaEvent { vxeNone, vxeTreeUpdated, vxeItemCreated, vxeItemDeleted };

// Progress of a transfer in percent; false asks to stop.
using TVXWiaOnProgress = std::function<bool(int32_t percentage)>;
// One page of a transfer: its header, bytes and length; false refuses it.
using TVXWGetPage = std::function<bool(const WIA_DATA_CALLBACK_HEADER* header, const uint8_t* data, int32_t datalen)>;

struct TVXWProcessingInfo {
  int32_t DPIX = 0;
  int32_t DPIY = 0;
};

class TVXWia;

// Cuts a banded transfer into pages: IT_MSG_DATA_HEADER starts a page,
// IT_MSG_DATA appends a band, IT_MSG_NEW_PAGE hands over what was gathered
// since the last page, IT_MSG_TERMINATION hands over the rest when a header
// came since. A negative band, a band without bytes, or one that takes the
// page past the library's storage limits answers S_FALSE.
class TWiaDataCallBack : public TVXComObject<IWiaDataCallback> {
 public:
  HRESULT BandedDataCallback(LONG lMessage, LONG lStatus, LONG lPercentComplete, LONG lOffset, LONG lLength,
                             LONG lReserved, LONG lResLength, BYTE* pbBuffer) override;
  WIA_DATA_CALLBACK_HEADER header{};
  std::vector<uint8_t> data;
  int32_t datalen = 0;
  TVXWGetPage OnGetPage;
  TVXWiaOnProgress OnProgress;
  bool WaitingData = false;

 private:
  HRESULT Deliver(LONG Percent);
};

// Reports the manager's item events to its TVXWia.
class TWiaEventCallBack : public TVXComObject<IWiaEventCallback> {
 public:
  explicit TWiaEventCallBack(TVXWia* AWia) : WIA(AWia) {}
  HRESULT ImageEventCallback(const GUID* pEventGUID, LPCWSTR bstrEventDescription, LPCWSTR bstrDeviceID,
                             LPCWSTR bstrDeviceDescription, DWORD dwDeviceType, LPCWSTR bstrFullItemName,
                             ULONG* pulEventType, ULONG ulReserved) override;
  TVXWia* WIA;
};

class TVXWia {
 public:
  explicit TVXWia(TComponent* Owner = nullptr);
  ~TVXWia();
  TVXWia(const TVXWia&) = delete;
  TVXWia& operator=(const TVXWia&) = delete;

  // ---- devices ----
  int32_t DevicesInfoCount();
  // nullptr at or above the count; EVXException "List index out of bounds"
  // for a negative index.
  TVXWiaDeviceInfo* GetDevicesInfo(int32_t idx);
  int32_t SourceNameToIndex(const std::string& sName);
  bool ConnectTo(int32_t Idx);
  bool ConnectTo(const std::string& sName);
  bool ConnectToUsingDialog();
  int32_t ConnectedDeviceIndex() const { return fCurrentIndex; }
  TVXWiaItem* Device() const { return fRoot.get(); }
  void UpdateItems();
  bool ShowAcquireDialog(bool SystemDialog);

  // ---- properties ----
  TVXVariant GetItemProperty(PROPID PropId, TVXWiaItem* item);
  bool SetItemProperty(PROPID PropId, int32_t val, TVXWiaItem* item);
  bool SetItemPropertyVariant(PROPID PropId, const TVXVariant& val, TVXWiaItem* item);
  TVXVariant GetDeviceProperty(PROPID PropId);
  bool SetDeviceProperty(PROPID PropId, int32_t val);
  bool SetDevicePropertyVariant(PROPID PropId, const TVXVariant& val);
  // values always receives a new TVXWiaValues; attrib keeps its value when
  // there is no item or property storage.
  void GetItemPropertyAttrib(PROPID PropId, TVXWiaItem* item, TVXWiaAttrib& attrib,
                             std::unique_ptr<TVXWiaValues>& values);

  // ---- tree, thumbnails, deletion ----
  void FillTreeView(TTreeNodes* Items, bool IncludeDescription);
  bool GetItemThumbnail(TVXWiaItem* item, TVXBitmap* destBitmap);
  void DeleteItem(TVXWiaItem* item);
  bool IsItemDeleted(TVXWiaItem* item);

  // ---- transfers and events ----
  bool Transfer(TVXWiaItem* item, bool MultiPage);
  bool TakePicture() const { return fTakePicture; }
  void SetTakePicture(bool v) { fTakePicture = v; }
  bool DeleteTakenPicture() const { return fDeleteTakenPicture; }
  void SetDeleteTakenPicture(bool v) { fDeleteTakenPicture = v; }
  const TVXWiaOnProgress& OnProgress() const { return fOnProgress; }
  void SetOnProgress(TVXWiaOnProgress v) { fOnProgress = std::move(v); }
  const TVXMultiCallBack& OnGetPage() const { return fMultiCallBack; }
  void SetOnGetPage(TVXMultiCallBack v) { fMultiCallBack = std::move(v); }
  const TNotifyEvent& OnItemsTreeUpdated() const { return fItemsTreeUpdated; }
  void SetOnItemsTreeUpdated(TNotifyEvent v) { fItemsTreeUpdated = std::move(v); }
  TVXWiaEvent LastEvent() const { return fLastEvent; }
  const std::string& SaveTransferBufferAs() const { return fSaveTransferBufferAs; }
  void SetSaveTransferBufferAs(const std::string& v) { fSaveTransferBufferAs = v; }
  TVXTransferFormat TransferFormat() const { return fTransferFormat; }
  void SetTransferFormat(TVXTransferFormat v) { fTransferFormat = v; }

  // The page handler that Transfer gives its callback object: decodes the
  // page by its format into ProcessingBitmap, saves its bytes when
  // SaveTransferBufferAs is set, offers it to OnGetPage and hands its
  // parameters on. Always true.
  bool HandlePage(const WIA_DATA_CALLBACK_HEADER* Header, const uint8_t* Data, int32_t DataLen);

  // Destination of the transferred pages (not owned); without one each
  // page is decoded into a bitmap that lives until the page was handled.
  TVXBitmap* ProcessingBitmap = nullptr;
  TVXWProcessingInfo ProcessingInfo;

 private:
  friend class TWiaEventCallBack;
  void FillDevicesInfo();
  bool EnsureConnected();
  bool InternalConnect(int32_t Idx, bool SetApi);
  void FillItemChildren(TVXWiaItem* Item);
  TVXWiaItem* ResolveItem(TVXWiaItem* Item, bool Forward);
  void FillNode(TTreeNodes* Items, void* Parent, TVXWiaItem* Item, bool IncludeDescription);

  bool fOLEInitialized = false;
  IWiaDevMgr* fIWiaDevMgr = nullptr;
  std::vector<std::unique_ptr<TVXWiaDeviceInfo>> fDevicesInfo;
  std::unique_ptr<TVXWiaItem> fRoot;
  TComponent* fOwner;
  TVXMultiCallBack fMultiCallBack;
  IUnknown* fEventCallBack1 = nullptr;
  IUnknown* fEventCallBack2 = nullptr;
  IUnknown* fEventCallBack3 = nullptr;
  TVXWiaOnProgress fOnProgress;
  bool fTakePicture = true;
  bool fDeleteTakenPicture = false;
  std::string fSaveTransferBufferAs;
  TVXTransferFormat fTransferFormat = vxtfDefault;
  int32_t fCurrentIndex = 0;
  TNotifyEvent fItemsTreeUpdated;
  TVXWiaEvent fLastEvent = vxeNone;
};
