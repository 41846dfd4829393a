// The TWAIN engine: the library's one client of the TWAIN source manager
// ("TWAIN_32.DLL", entry "DSM_Entry"). Every TWAIN operation is short: load
// the manager, open it with a parent window, open a source, maybe enable it,
// and walk back down. One state record (tgrec) holds an operation's state;
// the routines take it first. Each step writes a line to the process-wide
// TWAIN log when one is set, and failed triplets land in the caller's
// TVXTwainParams (LastError, LastErrorStr).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquire/multicallback.h"
#include "acquire/twain_types.h"
#include "winui/win_types.h"
#include "winui/win_window.h"

// The library version the TWAIN log header quotes (the components' VexlaneVersion).
inline constexpr const char* kVXTwainCoreVersion = "6.0.0";

class TVXTwainParams;
class TVXBitmap;
class TIOParamsVals;
struct TProgressRec;

// The source manager library and proxy window that consecutive operations of
// one TVXTwainParams share.
struct TVXTwainShared {
  HMODULE hDSMLib = nullptr;
  DSMENTRYPROC DSM_Entry = nullptr;
  HWND hproxy = nullptr;
};
using PVXTwainShared = TVXTwainShared*;

enum ErrorDetail : uint8_t {
  ED_NONE,
  ED_START_TRIPLET_ERRS,
  ED_CAP_GET,
  ED_CAP_SET,
  ED_DSM_FAILURE,
  ED_DS_FAILURE,
  ED_END_TRIPLET_ERRS,
  ED_NOT_STATE_4,
  ED_NULL_HCON,
  ED_BAD_HCON,
  ED_BAD_CONTYPE,
  ED_BAD_ITEMTYPE,
  ED_CAP_GET_EMPTY,
  ED_CAP_SET_EMPTY
};

enum TVXTWTransferMode : uint8_t { tmNative, tmBuffered, tmFile };

// Called once when a modeless acquisition has been closed.
using TVXTWCloseCallBack = std::function<void()>;

class TVXProxyWin;

// The state of one operation.
struct tgrec {
  int32_t nState = 1;
  HMODULE hDSMLib = nullptr;
  DSMENTRYPROC DSM_Entry = nullptr;
  HWND hwndSM = nullptr;
  uint16_t rc = TWRC_SUCCESS;
  TW_IDENTITY AppId{};
  TW_IDENTITY SourceId{};
  TW_USERINTERFACE twUI{};
  ErrorDetail nErrDetail = ED_NONE;
  uint16_t nErrRC = 0;
  uint16_t nErrCC = 0;
  bool bHideUI = false;
  TW_PENDINGXFERS pendingXfers{};
  bool gmulti = false;
  TVXMultiCallBack MultiCallBack;
  bool fAborting = false;
  TVXTwainParams* TWParams = nullptr;
  TIOParamsVals* IOParams = nullptr;
  bool NativePixelFormat = false;
  TVXTWTransferMode TransferMode = tmNative;
  bool transferdone = false;
  bool closedsok = false;
  bool breakmodalloop = false;
  TVXBitmap* fBitmap = nullptr;
  TProgressRec* Progress = nullptr;
  PVXTwainShared PTwainShared = nullptr;
  HWND actwnd = nullptr;
  HWND callwnd = nullptr;
  HWND proxywnd = nullptr;
  bool BWToInvert = false;
  bool uionly = false;
  TVXProxyWin* ProxyWin = nullptr;
  bool modal = false;
  bool sending = false;
  TVXTWCloseCallBack fclosecallback;
  std::vector<HWND> fWindowList;  // windows disabled while the source is enabled
};

// ---------------------------------------------------------------------------
// The log: one process-wide file.

// The log's name ("" when logging is off).
std::string VXTWLogFileName();
// Closes the open log; with a name, creates or empties the file and writes
// its first line. A file that cannot be made or written raises EVXException
// ("I/O error " and the system's error number); logging is then off.
void VXTWSetLogFile(const std::string& Name);
// Appends "<short date> <long time> : Text" with CR LF. A write that fails
// closes the log and turns logging off; the operation goes on.
void VXTW_Log(const std::string& Text);

// The text of a TWAIN condition code.
std::string VXTW_ConditionText(uint16_t ConditionCode);

// ---------------------------------------------------------------------------
// State record and triplets.

void VXTW_InitRecord(tgrec& r);
// Copies the application identity of r.TWParams into r.AppId.
void VXTW_SetAppIdentity(tgrec& r);

bool VXTW_Mgr(tgrec& r, uint32_t DG, uint16_t DAT, uint16_t MSG, TW_MEMREF pData);
bool VXTW_DS(tgrec& r, uint32_t DG, uint16_t DAT, uint16_t MSG, TW_MEMREF pData);

bool VXTW_LoadSourceManager(tgrec& r);
bool VXTW_UnloadSourceManager(tgrec& r, bool Release);
HWND CreateProxyWindow(tgrec& r);
void DestroyProxyWindow(tgrec& r, HWND Window, bool Release);
bool VXTW_OpenSourceManager(tgrec& r, HWND Parent);
bool VXTW_CloseSourceManager(tgrec& r, HWND Parent);
bool VXTW_OpenSource(tgrec& r);
bool VXTW_EnableSource(tgrec& r, HWND Parent);
bool VXTW_DisableSource(tgrec& r);
bool VXTW_CloseSource(tgrec& r);
bool VXTW_AbortAllPendingXfers(tgrec& r);

void VXTW_ClearErrorDetail(tgrec& r);
void VXTW_SetErrorDetail(tgrec& r, ErrorDetail Detail);
uint16_t VXTW_GetConditionCode(tgrec& r);
void VXTW_GetCustomDSData(tgrec& r);
void VXTW_SetCustomDSData(tgrec& r);

// The message hook (true when the source took the message) and the drain of
// the thread's queue through it.
bool VXTW_MessageHook(tgrec& r, const MSG& Message);
void VXTW_EmptyMessageQueue(tgrec& r);

// Operation frame: refuses while another operation runs (IsInsideTwain);
// otherwise sets the guard and starts the record (VXTW_InitRecord, the
// caller's window and shared state). At the end it makes actwnd active again
// and clears the guard.
class TVXTwainOperation {
public:
  TVXTwainOperation(tgrec& Record, PVXTwainShared Shared, HWND Window);
  ~TVXTwainOperation();
  TVXTwainOperation(const TVXTwainOperation&) = delete;
  TVXTwainOperation& operator=(const TVXTwainOperation&) = delete;
  bool Entered() const { return fEntered; }

private:
  bool fEntered = false;
  tgrec& fRecord;
};

// ---------------------------------------------------------------------------
// Transfers.

// Reads the image information (Multi: the form of a batch), prepares the
// bitmap; Unknown is set for an image whose size is not known yet.
bool ImageInfo(tgrec& r, bool Multi, TW_IMAGEINFO& Info, bool& Unknown);
// Copies one memory strip into Bitmap by the image's depth. Columns are
// clipped to the bitmap, rows outside it are skipped, and the strip is never
// read past BytesWritten or its memory's length.
void CopyBuffer(tgrec& r, TVXBitmap* Bitmap, const TW_IMAGEINFO& Info, bool IsHandle, const TW_IMAGEMEMXFER& Strip);
void VXTW_XferReady(tgrec& r);
void VXTW_XferReadyMulti(tgrec& r);
// A new temporary ".bmp" file, created empty so that nobody else takes the
// name; false when none could be made.
bool VXTW_MakeTempFileName(char (&FileName)[256]);
void VXTW_ModalEventLoop(tgrec& r);

// One image (or, with MultiPage, a batch through MultiCallBack), modally.
bool VXTW_Acquire(TVXBitmap* Bitmap, bool MultiPage, TVXTwainParams* Params, TVXMultiCallBack MultiCallBack,
                  TIOParamsVals* IOParams, TProgressRec* Progress, PVXTwainShared Shared, HWND Window,
                  bool NativePixelFormat);

class TWinControl;
// A modeless acquisition: the source stays enabled and its batches arrive
// through the proxy window until it asks to close or VXTWAINAcquireClose.
// The record, or nullptr when it could not be started (the close callback
// has run then).
tgrec* VXTWAINAcquireOpen(TVXTwainParams* Params, PVXTwainShared Shared, TIOParamsVals* IOParams,
                          bool NativePixelFormat, TWinControl* Owner, TVXMultiCallBack MultiCallBack,
                          TVXTWCloseCallBack CloseCallBack);
void VXTWAINAcquireClose(tgrec*& Record);
// Closes everything of a modeless acquisition, frees the record and calls its
// close callback (the proxy window's destructor runs it).
void VXTWAINAcquireCloseRecord(tgrec*& Record);

// ---------------------------------------------------------------------------
// Short operations.

bool VXTW_SelectSource(std::string& Name, PVXTwainShared Shared, HWND Window);
bool VXTW_FillSourceList(std::vector<std::unique_ptr<TW_IDENTITY>>& List, PVXTwainShared Shared, HWND Window);
void VXTW_GetDefaultSourceName(PVXTwainShared Shared, HWND Window, std::string& Name);
void VXTW_FreeSharedResources(PVXTwainShared Shared, HWND Window);

// The ProductName of an identity (at most 34 characters, up to its NUL).
std::string VXTWProductName(const TW_IDENTITY& Id);
