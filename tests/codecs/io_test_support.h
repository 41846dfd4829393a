#pragma once
// Helpers for the I/O component's request-thread and viewer tests: a viewer
// host that records every call with the calling thread, streams that hold a
// reader back or fail, and small PNG images.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "core/viewhost.h"
#include "io/vexlaneio.h"

namespace iotest {

// A PNG of Width x Height, 24-bit, made by the component's own writer.
inline std::vector<uint8_t> MakePNG(int32_t Width, int32_t Height) {
  TVXBitmap b;
  b.Allocate(Width, Height, vx24RGB);
  for (int32_t y = 0; y < Height; ++y) {
    auto* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < Width * 3; ++x) row[x] = uint8_t(x * 7 + y);
  }
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&b);
  TMemoryStream ms;
  io.SaveToStreamPNG(&ms);
  const auto* p = static_cast<const uint8_t*>(ms.Memory());
  return std::vector<uint8_t>(p, p + ms.Size());
}

// A read-only stream over bytes whose reads beyond HoldAt wait until Open()
// and then take DelayPerRead each; with Fail, those reads raise instead.
class THeldStream : public TStream {
 public:
  THeldStream(std::vector<uint8_t> Bytes, int64_t HoldAt) : data(std::move(Bytes)), holdAt(HoldAt) {}
  void Open() {
    std::lock_guard<std::mutex> l(m);
    open = true;
    cv.notify_all();
  }
  // True once a reader waits at the hold.
  bool WaitForReader(std::chrono::milliseconds Limit) {
    std::unique_lock<std::mutex> l(m);
    return cv.wait_for(l, Limit, [&] { return waiting; });
  }
  int64_t Read(void* Buffer, int64_t Count) override {
    if (pos + Count > holdAt) {
      std::unique_lock<std::mutex> l(m);
      waiting = true;
      cv.notify_all();
      cv.wait(l, [&] { return open; });
      if (Fail) throw EVXException("the medium went away");
      if (DelayPerRead.count()) std::this_thread::sleep_for(DelayPerRead);
    }
    const int64_t n = std::max<int64_t>(0, std::min<int64_t>(Count, int64_t(data.size()) - pos));
    if (n) std::memcpy(Buffer, data.data() + pos, size_t(n));
    pos += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    pos = Origin == soBeginning ? Offset : Origin == soCurrent ? pos + Offset : int64_t(data.size()) + Offset;
    return pos;
  }
  bool Fail = false;
  std::chrono::milliseconds DelayPerRead{0};

 private:
  std::vector<uint8_t> data;
  int64_t holdAt;
  int64_t pos = 0;
  std::mutex m;
  std::condition_variable cv;
  bool open = false, waiting = false;
};

// A viewer host recording its calls (name, argument, calling thread).
class TRecordingHost : public TVXViewHost {
 public:
  struct Call {
    std::string Name;
    int64_t Arg = 0;
    std::thread::id Thread;
  };
  explicit TRecordingHost(TVXViewHostKind Kind, bool Parent = true) : kind(Kind), parent(Parent) {
    bitmap = std::make_unique<TVXBitmap>();
  }
  std::vector<Call> Calls() const {
    std::lock_guard<std::mutex> l(m);
    return calls;
  }
  std::vector<Call> CallsNamed(const std::string& Name) const {
    std::vector<Call> out;
    for (const Call& c : Calls())
      if (c.Name == Name) out.push_back(c);
    return out;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const Call& c : Calls()) out.push_back(c.Name);
    return out;
  }
  void Clear() {
    std::lock_guard<std::mutex> l(m);
    calls.clear();
  }
  // Replaces the bitmap object (or announces destruction) as a viewer does.
  void ReplaceBitmap() {
    bitmap = std::make_unique<TVXBitmap>();
    for (auto& [h, reg] : Handlers()) reg.first(reg.second, false);
  }
  void AnnounceDestruction() {
    for (auto& [h, reg] : Handlers()) reg.first(reg.second, true);
  }
  size_t Registrations() const {
    std::lock_guard<std::mutex> l(m);
    return handlers.size();
  }

  TVXViewHostKind HostKind() const override { return kind; }
  TVXBitmap* VXBitmap() override { return bitmap.get(); }
  TColor Background() const override { return background; }
  void SetBackground(TColor Value) override { Note("SetBackground", Value), background = Value; }
  int32_t DpiX() const override { return 150; }
  int32_t DpiY() const override { return 120; }
  void Update() override { Note("Update"); }
  void ImageChange() override { Note("ImageChange"); }
  void* RegisterBitmapChangeEvent(TVXBitmapChangeEvent Handler, void* Owner) override {
    std::lock_guard<std::mutex> l(m);
    void* h = reinterpret_cast<void*>(++next);
    handlers.push_back({h, {std::move(Handler), Owner}});
    return h;
  }
  void RemoveBitmapChangeEvent(void* Handle) override {
    Note("Remove");
    std::lock_guard<std::mutex> l(m);
    std::erase_if(handlers, [&](const auto& e) { return e.first == Handle; });
  }
  bool HasParent() const override { return parent; }
  void HandleNeededOnMainThread() override { Note("HandleNeeded"); }
  void PostMessage(uint32_t Msg, uintptr_t WParam) override { Note("Post" + std::to_string(Msg), int64_t(WParam)); }
  void LockUpdate() override { Note("LockUpdate"); }
  void UnLockUpdateEx() override { Note("UnLockUpdateEx"); }
  void SetDPI(int32_t X, int32_t Y) override { Note("SetDPI", int64_t(X) * 10000 + Y); }
  void SetDpiX(int32_t Value) override { Note("SetDpiX", Value); }
  void SetDpiY(int32_t Value) override { Note("SetDpiY", Value); }
  void LayersSaveToFile(const std::string&, int32_t Compression) override { Note("LayersSaveToFile", Compression); }
  void SaveToFileAll(const std::string&, int32_t Compression) override { Note("SaveToFileAll", Compression); }

  std::unique_ptr<TVXBitmap> bitmap;
  TColor background = 0x123456;

 private:
  using Registration = std::pair<void*, std::pair<TVXBitmapChangeEvent, void*>>;
  std::vector<Registration> Handlers() {
    std::lock_guard<std::mutex> l(m);
    return handlers;
  }
  void Note(const std::string& Name, int64_t Arg = 0) const {
    std::lock_guard<std::mutex> l(m);
    calls.push_back({Name, Arg, std::this_thread::get_id()});
  }
  TVXViewHostKind kind;
  bool parent;
  mutable std::mutex m;
  mutable std::vector<Call> calls;
  std::vector<Registration> handlers;
  intptr_t next = 0;
};

// Values an event received and the threads it ran on.
struct TEventLog {
  std::mutex m;
  std::vector<int32_t> progress;
  std::vector<std::thread::id> threads;
  int finished = 0;
  void Attach(TVexlaneIO& io) {
    io.OnProgress = [this](void*, int32_t per) {
      std::lock_guard<std::mutex> l(m);
      progress.push_back(per);
      threads.push_back(std::this_thread::get_id());
    };
    io.OnFinishWork = [this](void*) {
      std::lock_guard<std::mutex> l(m);
      ++finished;
      threads.push_back(std::this_thread::get_id());
    };
  }
};

}  // namespace iotest
