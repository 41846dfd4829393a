#include "winui/synchronize.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "winui/win_window.h"

namespace {

struct TSyncCall {
  std::function<void()> Call;
  std::exception_ptr Error;
  bool Done = false;
};

struct TSyncState {
  std::mutex M;
  std::condition_variable Done;
  std::deque<std::shared_ptr<TSyncCall>> Queue;
  std::atomic<std::thread::id> Thread{};
  std::atomic<DWORD> ThreadId{0};
};

TSyncState& State() {
  static TSyncState* s = new TSyncState;  // outlives every thread's last call
  return *s;
}

}  // namespace

void VXSetSynchronizeThread() {
  TSyncState& s = State();
  s.Thread.store(std::this_thread::get_id());
  s.ThreadId.store(GetCurrentThreadId());
}

bool VXIsSynchronizeThread() {
  const std::thread::id t = State().Thread.load();
  return t == std::thread::id() || t == std::this_thread::get_id();
}

void VXSynchronize(const std::function<void()>& Call) {
  if (!Call) return;
  if (VXIsSynchronizeThread()) {
    Call();
    return;
  }
  TSyncState& s = State();
  auto c = std::make_shared<TSyncCall>();
  c->Call = Call;
  {
    std::lock_guard<std::mutex> lock(s.M);
    s.Queue.push_back(c);
  }
  // Wakes a main thread that waits for its next message.
  PostThreadMessageW(s.ThreadId.load(), WM_NULL, 0, 0);
  std::unique_lock<std::mutex> lock(s.M);
  s.Done.wait(lock, [&] { return c->Done; });
  if (c->Error) std::rethrow_exception(c->Error);
}

bool VXCheckSynchronize() {
  TSyncState& s = State();
  if (s.Thread.load() != std::this_thread::get_id()) return false;
  bool ran = false;
  for (;;) {
    std::shared_ptr<TSyncCall> c;
    {
      std::lock_guard<std::mutex> lock(s.M);
      if (s.Queue.empty()) break;
      c = s.Queue.front();
      s.Queue.pop_front();
    }
    try {
      c->Call();
    } catch (...) {
      c->Error = std::current_exception();
    }
    ran = true;
    {
      std::lock_guard<std::mutex> lock(s.M);
      c->Done = true;
    }
    s.Done.notify_all();
  }
  return ran;
}
