#include "io/iothread.h"

#include <algorithm>
#include <memory>

#include "io/vexlaneio.h"

TVXIOThread::~TVXIOThread() {
  if (fThread.joinable()) fThread.join();
}

TVXIOThread* TVXIOThread::Start(TVXIOThread* Thread) {
  std::unique_ptr<TVXIOThread> owned(Thread);
  TVexlaneIO* owner = Thread->fOwner;
  owner->ReapThreads();
  {
    std::lock_guard<std::mutex> lock(owner->fAsyncThreadsCS);
    owner->fAsyncThreads.push_back(Thread);
    owner->fThreadObjects.push_back(std::move(owned));
  }
  try {
    Thread->fThread = std::thread([Thread] { Thread->Execute(); });
  } catch (...) {
    // No thread could be made: the request did not run.
    std::lock_guard<std::mutex> lock(owner->fAsyncThreadsCS);
    auto& list = owner->fAsyncThreads;
    list.erase(std::remove(list.begin(), list.end(), Thread), list.end());
    Thread->fFinished = true;
    owner->fAsyncThreadsCV.notify_all();
    throw;
  }
  return Thread;
}

void TVXIOThread::Execute() {
  {
    std::lock_guard<std::mutex> lock(fOwner->fAsyncThreadsCS);
    fThreadID = std::this_thread::get_id();
  }
  try {
    // One request of a component at a time: they share its target and
    // parameters.
    std::lock_guard<std::mutex> run(fOwner->fAsyncRunLock);
    {
      std::lock_guard<std::mutex> lock(fOwner->fAsyncThreadsCS);
      fRunning = true;
    }
    fOwner->PauseIfSuspended();
    RunCall();
  } catch (...) {
    fOwner->SetAborting(true);
  }
  std::lock_guard<std::mutex> lock(fOwner->fAsyncThreadsCS);
  auto& list = fOwner->fAsyncThreads;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  fFinished = true;
  fOwner->fAsyncThreadsCV.notify_all();
}

void TVXIOThread::RunCall() {
  switch (fMethodType) {
    case vxLoadSaveFile: fMethod_LoadSaveFile(p_nf); break;
    case vxLoadSaveFileIF: fMethod_LoadSaveFileIF(p_nf, p_ImageFormat); break;
    case vxLoadSaveStream: fMethod_LoadSaveStream(p_stream); break;
    case vxLoadSaveFileRetInt: fMethod_LoadSaveFileRetInt(p_nf); break;
    case vxLoadSaveFileRetBool: fMethod_LoadSaveFileRetBool(p_nf); break;
    case vxLoadSaveFileIFRetBool: fMethod_LoadSaveFileIFRetBool(p_nf, p_ImageFormat); break;
    case vxLoadSaveStreamRetInt: fMethod_LoadSaveStreamRetInt(p_stream); break;
    case vxLoadSaveStreamRetBool: fMethod_LoadSaveStreamRetBool(p_stream); break;
    case vxLoadSaveFileFFRetBool: fMethod_LoadSaveFileFFRetBool(p_nf, p_fileformat); break;
    case vxLoadSaveStreamFF: fMethod_LoadSaveStreamFF(p_stream, p_fileformat); break;
    case vxLoadSaveStreamFTRetBool: fMethod_LoadSaveStreamFTRetBool(p_stream, p_fileformat); break;
    case vxCaptureFromScreen: fMethod_CaptureFromScreen(p_source, p_mouseCursor); break;
    case vxLoadSaveIndexRetBool: fMethod_LoadSaveIndexRetBool(p_index); break;
    case vxImportMetaFileRetBool: fMethod_ImportMetaFileRetBool(p_nf, p_width, p_height, p_withalpha); break;
    case vxLoadFromURLRetBool: fMethod_LoadFromURLRetBool(p_URL); break;
    case vxAcquire: fMethod_Acquire(p_ResetParams); break;
  }
}

TVXIOThread* TVXIOThread::CreateLoadSaveFile(TVexlaneIO* Owner, TMethod_LoadSaveFile InMethod,
                                             const std::string& in_nf) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveFile);
  t->fMethod_LoadSaveFile = std::move(InMethod);
  t->p_nf = in_nf;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveFileIF(TVexlaneIO* Owner, TMethod_LoadSaveFileIF InMethod,
                                               const std::string& in_nf, int32_t ImageFormat) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveFileIF);
  t->fMethod_LoadSaveFileIF = std::move(InMethod);
  t->p_nf = in_nf;
  t->p_ImageFormat = ImageFormat;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveStream(TVexlaneIO* Owner, TMethod_LoadSaveStream InMethod,
                                               TStream* in_Stream) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveStream);
  t->fMethod_LoadSaveStream = std::move(InMethod);
  t->p_stream = in_Stream;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveFileRetInt(TVexlaneIO* Owner, TMethod_LoadSaveFileRetInt InMethod,
                                                   const std::string& in_nf) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveFileRetInt);
  t->fMethod_LoadSaveFileRetInt = std::move(InMethod);
  t->p_nf = in_nf;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveFileRetBool(TVexlaneIO* Owner, TMethod_LoadSaveFileRetBool InMethod,
                                                    const std::string& in_nf) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveFileRetBool);
  t->fMethod_LoadSaveFileRetBool = std::move(InMethod);
  t->p_nf = in_nf;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveFileIFRetBool(TVexlaneIO* Owner, TMethod_LoadSaveFileIFRetBool InMethod,
                                                      const std::string& in_nf, int32_t ImageFormat) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveFileIFRetBool);
  t->fMethod_LoadSaveFileIFRetBool = std::move(InMethod);
  t->p_nf = in_nf;
  t->p_ImageFormat = ImageFormat;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveStreamRetInt(TVexlaneIO* Owner, TMethod_LoadSaveStreamRetInt InMethod,
                                                     TStream* in_Stream) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveStreamRetInt);
  t->fMethod_LoadSaveStreamRetInt = std::move(InMethod);
  t->p_stream = in_Stream;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveStreamRetBool(TVexlaneIO* Owner, TMethod_LoadSaveStreamRetBool InMethod,
                                                      TStream* in_Stream) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveStreamRetBool);
  t->fMethod_LoadSaveStreamRetBool = std::move(InMethod);
  t->p_stream = in_Stream;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveFileFFRetBool(TVexlaneIO* Owner, TMethod_LoadSaveFileFFRetBool InMethod,
                                                      const std::string& in_nf, int32_t in_fileformat) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveFileFFRetBool);
  t->fMethod_LoadSaveFileFFRetBool = std::move(InMethod);
  t->p_nf = in_nf;
  t->p_fileformat = in_fileformat;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveStreamFF(TVexlaneIO* Owner, TMethod_LoadSaveStreamFF InMethod,
                                                 TStream* in_Stream, int32_t in_fileformat) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveStreamFF);
  t->fMethod_LoadSaveStreamFF = std::move(InMethod);
  t->p_stream = in_Stream;
  t->p_fileformat = in_fileformat;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveStreamFTRetBool(TVexlaneIO* Owner, TMethod_LoadSaveStreamFTRetBool InMethod,
                                                        TStream* in_Stream, int32_t in_fileformat) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveStreamFTRetBool);
  t->fMethod_LoadSaveStreamFTRetBool = std::move(InMethod);
  t->p_stream = in_Stream;
  t->p_fileformat = in_fileformat;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateCaptureFromScreen(TVexlaneIO* Owner, TMethod_CaptureFromScreen InMethod,
                                                  TVXCSSource in_source, TCursor in_mouseCursor) {
  auto* t = new TVXIOThread(Owner, vxCaptureFromScreen);
  t->fMethod_CaptureFromScreen = std::move(InMethod);
  t->p_source = in_source;
  t->p_mouseCursor = in_mouseCursor;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadSaveIndexRetBool(TVexlaneIO* Owner, TMethod_LoadSaveIndexRetBool InMethod,
                                                     int32_t in_index) {
  auto* t = new TVXIOThread(Owner, vxLoadSaveIndexRetBool);
  t->fMethod_LoadSaveIndexRetBool = std::move(InMethod);
  t->p_index = in_index;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateImportMetaFileRetBool(TVexlaneIO* Owner, TMethod_ImportMetaFileRetBool InMethod,
                                                      const std::string& in_nf, int32_t in_width, int32_t in_height,
                                                      bool in_withalpha) {
  auto* t = new TVXIOThread(Owner, vxImportMetaFileRetBool);
  t->fMethod_ImportMetaFileRetBool = std::move(InMethod);
  t->p_nf = in_nf;
  t->p_width = in_width;
  t->p_height = in_height;
  t->p_withalpha = in_withalpha;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateLoadFromURLRetBool(TVexlaneIO* Owner, TMethod_LoadFromURLRetBool InMethod,
                                                   const std::string& in_URL, double /*dummy*/) {
  auto* t = new TVXIOThread(Owner, vxLoadFromURLRetBool);
  t->fMethod_LoadFromURLRetBool = std::move(InMethod);
  t->p_URL = in_URL;
  return Start(t);
}

TVXIOThread* TVXIOThread::CreateAcquire(TVexlaneIO* Owner, TMethod_Acquire InMethod, bool bResetParams) {
  auto* t = new TVXIOThread(Owner, vxAcquire);
  t->fMethod_Acquire = std::move(InMethod);
  t->p_ResetParams = bResetParams;
  return Start(t);
}
