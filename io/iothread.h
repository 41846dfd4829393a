// TVXIOThread: one call of an I/O component run on a background thread.
//
// A component in AsyncMode that works on a bitmap it does not own hands each
// load or save to a request thread and returns at once. The thread stores the
// call in one of sixteen shapes, runs it once (the operation sees that it is
// on one of its component's request threads and then runs synchronously),
// and leaves the component's thread list; the component learns the outcome
// from Aborting, Params and its target after WaitThreads.
//
// Requests of one component run one after the other (each waits for the
// one before it), since they share the component's target and parameters.
//
// The threads are joinable std::threads owned by the component: a finished
// thread is joined by the component (at the next request, in WaitThreads or
// in its destructor). An exception of the call never leaves the thread; it
// sets the component's Aborting.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class TVexlaneIO;
class TStream;

// What a screen capture copies.
enum TVXCSSource { vxcsScreen, vxcsPrimary, vxcsForegroundWindow, vxcsForegroundWindowClient };
// A cursor id of the platform.
using TCursor = int16_t;

// The call shapes of a request.
enum TVXIOMethodTypes {
  vxLoadSaveFile,
  vxLoadSaveFileIF,
  vxLoadSaveStream,
  vxLoadSaveFileRetInt,
  vxLoadSaveFileRetBool,
  vxLoadSaveFileIFRetBool,
  vxLoadSaveStreamRetInt,
  vxLoadSaveStreamRetBool,
  vxLoadSaveFileFFRetBool,
  vxLoadSaveStreamFF,
  vxLoadSaveStreamFTRetBool,
  vxCaptureFromScreen,
  vxLoadSaveIndexRetBool,
  vxImportMetaFileRetBool,
  vxLoadFromURLRetBool,
  vxAcquire
};

class TVXIOThread {
 public:
  using TMethod_LoadSaveFile = std::function<void(const std::string& nf)>;
  using TMethod_LoadSaveFileIF = std::function<void(const std::string& nf, int32_t ImageFormat)>;
  using TMethod_LoadSaveStream = std::function<void(TStream* Stream)>;
  using TMethod_LoadSaveFileRetInt = std::function<int32_t(const std::string& nf)>;
  using TMethod_LoadSaveFileRetBool = std::function<bool(const std::string& nf)>;
  using TMethod_LoadSaveFileIFRetBool = std::function<bool(const std::string& nf, int32_t ImageFormat)>;
  using TMethod_LoadSaveStreamRetInt = std::function<int32_t(TStream* Stream)>;
  using TMethod_LoadSaveStreamRetBool = std::function<bool(TStream* Stream)>;
  using TMethod_LoadSaveFileFFRetBool = std::function<bool(const std::string& nf, int32_t FileFormat)>;
  using TMethod_LoadSaveStreamFF = std::function<void(TStream* Stream, int32_t FileFormat)>;
  using TMethod_LoadSaveStreamFTRetBool = std::function<bool(TStream* Stream, int32_t FileFormat)>;
  using TMethod_CaptureFromScreen = std::function<void(TVXCSSource Source, TCursor MouseCursor)>;
  using TMethod_LoadSaveIndexRetBool = std::function<bool(int32_t Index)>;
  using TMethod_ImportMetaFileRetBool =
      std::function<bool(const std::string& nf, int32_t Width, int32_t Height, bool WithAlpha)>;
  using TMethod_LoadFromURLRetBool = std::function<bool(const std::string& URL)>;
  using TMethod_Acquire = std::function<bool(bool ResetParams)>;

  // Each constructor registers the request with Owner (appended to its
  // thread list, the finish signal cleared) and starts the thread. The
  // thread belongs to Owner; the returned pointer is valid until Owner joins
  // it. Streams stay the caller's and must outlive the request.
  static TVXIOThread* CreateLoadSaveFile(TVexlaneIO* Owner, TMethod_LoadSaveFile InMethod, const std::string& in_nf);
  static TVXIOThread* CreateLoadSaveFileIF(TVexlaneIO* Owner, TMethod_LoadSaveFileIF InMethod,
                                           const std::string& in_nf, int32_t ImageFormat);
  static TVXIOThread* CreateLoadSaveStream(TVexlaneIO* Owner, TMethod_LoadSaveStream InMethod, TStream* in_Stream);
  static TVXIOThread* CreateLoadSaveFileRetInt(TVexlaneIO* Owner, TMethod_LoadSaveFileRetInt InMethod,
                                               const std::string& in_nf);
  static TVXIOThread* CreateLoadSaveFileRetBool(TVexlaneIO* Owner, TMethod_LoadSaveFileRetBool InMethod,
                                                const std::string& in_nf);
  static TVXIOThread* CreateLoadSaveFileIFRetBool(TVexlaneIO* Owner, TMethod_LoadSaveFileIFRetBool InMethod,
                                                  const std::string& in_nf, int32_t ImageFormat);
  static TVXIOThread* CreateLoadSaveStreamRetInt(TVexlaneIO* Owner, TMethod_LoadSaveStreamRetInt InMethod,
                                                 TStream* in_Stream);
  static TVXIOThread* CreateLoadSaveStreamRetBool(TVexlaneIO* Owner, TMethod_LoadSaveStreamRetBool InMethod,
                                                  TStream* in_Stream);
  static TVXIOThread* CreateLoadSaveFileFFRetBool(TVexlaneIO* Owner, TMethod_LoadSaveFileFFRetBool InMethod,
                                                  const std::string& in_nf, int32_t in_fileformat);
  static TVXIOThread* CreateLoadSaveStreamFF(TVexlaneIO* Owner, TMethod_LoadSaveStreamFF InMethod, TStream* in_Stream,
                                             int32_t in_fileformat);
  static TVXIOThread* CreateLoadSaveStreamFTRetBool(TVexlaneIO* Owner, TMethod_LoadSaveStreamFTRetBool InMethod,
                                                    TStream* in_Stream, int32_t in_fileformat);
  static TVXIOThread* CreateCaptureFromScreen(TVexlaneIO* Owner, TMethod_CaptureFromScreen InMethod,
                                              TVXCSSource in_source, TCursor in_mouseCursor);
  static TVXIOThread* CreateLoadSaveIndexRetBool(TVexlaneIO* Owner, TMethod_LoadSaveIndexRetBool InMethod,
                                                 int32_t in_index);
  static TVXIOThread* CreateImportMetaFileRetBool(TVexlaneIO* Owner, TMethod_ImportMetaFileRetBool InMethod,
                                                  const std::string& in_nf, int32_t in_width, int32_t in_height,
                                                  bool in_withalpha);
  // dummy is not stored.
  static TVXIOThread* CreateLoadFromURLRetBool(TVexlaneIO* Owner, TMethod_LoadFromURLRetBool InMethod,
                                               const std::string& in_URL, double dummy = 0);
  static TVXIOThread* CreateAcquire(TVexlaneIO* Owner, TMethod_Acquire InMethod, bool bResetParams);

  ~TVXIOThread();
  TVXIOThread(const TVXIOThread&) = delete;
  TVXIOThread& operator=(const TVXIOThread&) = delete;

  TVXIOMethodTypes MethodType() const { return fMethodType; }
  // The thread's id once it runs (read under the owner's lock).
  std::thread::id ThreadID() const { return fThreadID; }

 private:
  friend class TVexlaneIO;
  TVXIOThread(TVexlaneIO* Owner, TVXIOMethodTypes MethodType) : fMethodType(MethodType), fOwner(Owner) {}
  // Registers with the owner and starts running.
  static TVXIOThread* Start(TVXIOThread* Thread);
  void Execute();
  void RunCall();

  TVXIOMethodTypes fMethodType;
  TMethod_LoadSaveFile fMethod_LoadSaveFile;
  TMethod_LoadSaveFileIF fMethod_LoadSaveFileIF;
  TMethod_LoadSaveStream fMethod_LoadSaveStream;
  TMethod_LoadSaveFileRetInt fMethod_LoadSaveFileRetInt;
  TMethod_LoadSaveFileRetBool fMethod_LoadSaveFileRetBool;
  TMethod_LoadSaveFileIFRetBool fMethod_LoadSaveFileIFRetBool;
  TMethod_LoadSaveStreamRetInt fMethod_LoadSaveStreamRetInt;
  TMethod_LoadSaveStreamRetBool fMethod_LoadSaveStreamRetBool;
  TMethod_LoadSaveFileFFRetBool fMethod_LoadSaveFileFFRetBool;
  TMethod_LoadSaveStreamFF fMethod_LoadSaveStreamFF;
  TMethod_LoadSaveStreamFTRetBool fMethod_LoadSaveStreamFTRetBool;
  TMethod_CaptureFromScreen fMethod_CaptureFromScreen;
  TMethod_LoadSaveIndexRetBool fMethod_LoadSaveIndexRetBool;
  TMethod_ImportMetaFileRetBool fMethod_ImportMetaFileRetBool;
  TMethod_LoadFromURLRetBool fMethod_LoadFromURLRetBool;
  TMethod_Acquire fMethod_Acquire;
  std::string p_nf;
  int32_t p_ImageFormat = 0;
  TStream* p_stream = nullptr;
  int32_t p_fileformat = 0;
  TVXCSSource p_source = vxcsScreen;
  int32_t p_index = 0;
  int32_t p_width = 0, p_height = 0;
  bool p_withalpha = false;
  TCursor p_mouseCursor = 0;
  std::string p_URL;
  bool p_ResetParams = false;
  std::thread::id fThreadID;
  TVexlaneIO* fOwner;
  std::thread fThread;
  // Guarded by the owner's lock.
  bool fFinished = false;         // left the owner's list
  bool fRunning = false;          // past its turn, running the call
  bool fSuspendRequested = false;  // pause at the next progress report
  bool fSuspended = false;         // pausing now
};
