// Message queues, sending and posting across threads, the message loop and
// timers.
#include <algorithm>
#include <chrono>

#include "platform/win_clock.h"
#include "winui/win_input.h"
#include "winui/win_paint.h"
#include "winui/win_state.h"

using namespace vxwin;

namespace vxwin {

static bool Matches(HWND msgWnd, UINT message, HWND filter, UINT mn, UINT mx) {
  if (filter == reinterpret_cast<HWND>(-1)) {
    if (msgWnd) return false;
  } else if (filter) {
    if (msgWnd != filter) {
      Window* w = Find(msgWnd);
      bool child = false;
      while (w && w->Parent) {
        if (w->Parent == filter) {
          child = true;
          break;
        }
        w = Find(w->Parent);
      }
      if (!child) return false;
    }
  }
  if (mn == 0 && mx == 0) return true;
  return message >= mn && message <= mx;
}

// Answers the messages that other threads sent to this thread's windows
// (lock held on entry and on return; released around each call).
static void ReceiveSent(Lock& l, Queue& q) {
  while (!q.Sent.empty()) {
    std::shared_ptr<SentMsg> m = q.Sent.front();
    q.Sent.pop_front();
    q.InSend++;
    l.unlock();
    LRESULT r = Call(m->Wnd, m->Msg, m->W, m->L);
    l.lock();
    q.InSend--;
    m->Result = r;
    m->Done = true;
    S().Wake.notify_all();
  }
}

static void UpdateKeyState(const MSG& m) {
  BYTE* k = S().Keys;
  auto set = [&](int vk, bool down) {
    if (down) {
      if (!(k[vk] & 0x80)) k[vk] ^= 1;  // toggled on each press
      k[vk] |= 0x80;
    } else {
      k[vk] &= BYTE(~0x80);
    }
  };
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      set(int(m.wParam & 0xFF), true);
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      set(int(m.wParam & 0xFF), false);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      set(VK_LBUTTON, true);
      break;
    case WM_LBUTTONUP:
      set(VK_LBUTTON, false);
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      set(VK_RBUTTON, true);
      break;
    case WM_RBUTTONUP:
      set(VK_RBUTTON, false);
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      set(VK_MBUTTON, true);
      break;
    case WM_MBUTTONUP:
      set(VK_MBUTTON, false);
      break;
  }
}

// The next message of this thread's queue in the platform's order: sent
// messages (answered here), posted messages, input, quit, paint, timers.
// False when there is none.
static bool NextMessage(Lock& l, MSG* out, HWND filter, UINT mn, UINT mx, bool remove) {
  Queue& q = QueueOf(ThisThread());
  ReceiveSent(l, q);
  for (auto it = q.Posted.begin(); it != q.Posted.end();) {
    if (it->hwnd && !Find(it->hwnd)) {
      it = q.Posted.erase(it);  // for a window that is gone
      continue;
    }
    if (Matches(it->hwnd, it->message, filter, mn, mx)) {
      *out = *it;
      if (remove) q.Posted.erase(it);
      q.MsgTime = out->time;
      return true;
    }
    ++it;
  }
  for (auto it = q.Input.begin(); it != q.Input.end();) {
    if (it->hwnd && !Find(it->hwnd)) {
      it = q.Input.erase(it);
      continue;
    }
    if (Matches(it->hwnd, it->message, filter, mn, mx)) {
      *out = *it;
      if (remove) {
        q.Input.erase(it);
        UpdateKeyState(*out);
      }
      q.MsgTime = out->time;
      return true;
    }
    ++it;
  }
  if (q.Quit && (!filter || filter == reinterpret_cast<HWND>(-1))) {
    *out = MSG{};
    out->message = WM_QUIT;
    out->wParam = WPARAM(q.QuitCode);
    out->time = GetTickCount();
    if (remove) q.Quit = false;
    return true;
  }
  for (auto& [k, w] : S().Windows) {
    if (w->Thread != q.Thread || !Visible(*w)) continue;
    if (w->Update.Empty() && !w->InternalPaint) continue;
    if (!Matches(w->H, WM_PAINT, filter, mn, mx)) continue;
    *out = MSG{};
    out->hwnd = w->H;
    out->message = WM_PAINT;
    out->time = GetTickCount();
    out->pt = S().Cursor;
    return true;
  }
  uint64_t now = GetTickCount64();
  Timer* due = nullptr;
  for (Timer& t : S().Timers) {
    if (t.Thread != q.Thread || t.Due > now) continue;
    if (!Matches(t.Wnd, WM_TIMER, filter, mn, mx)) continue;
    if (!due || t.Due < due->Due) due = &t;
  }
  if (due) {
    *out = MSG{};
    out->hwnd = due->Wnd;
    out->message = WM_TIMER;
    out->wParam = due->Id;
    out->lParam = reinterpret_cast<LPARAM>(due->Proc);
    out->time = uint32_t(now);
    out->pt = S().Cursor;
    // The next tick counts from now: late ticks are not made up.
    if (remove) due->Due = now + due->Interval;
    return true;
  }
  return false;
}

// After a mouse message is taken from the queue the window under the
// cursor may set its cursor.
static void AfterInput(const MSG& m) {
  if (m.message < WM_MOUSEFIRST || m.message > WM_MBUTTONDBLCLK) return;
  {
    Lock l(S().M);
    if (S().Capture) return;
  }
  SendMessageW(m.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(m.hwnd), MAKELPARAM(1 /* HTCLIENT */, m.message));
}

}  // namespace vxwin

DWORD GetCurrentThreadId() { return ThisThread(); }

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Lock l(S().M);
  Window* w = Find(hWnd);
  if (!w) return 0;
  DWORD me = ThisThread();
  if (w->Thread == me) {
    l.unlock();
    return Call(hWnd, Msg, wParam, lParam);
  }
  // Another thread's window: the message waits in that thread's queue and
  // is answered when that thread reads its queue. Meanwhile this thread
  // answers messages sent to it, so that two threads sending to each other
  // do not block.
  auto m = std::make_shared<SentMsg>();
  m->Wnd = hWnd;
  m->Msg = Msg;
  m->W = wParam;
  m->L = lParam;
  QueueOf(w->Thread).Sent.push_back(m);
  S().Wake.notify_all();
  Queue& mine = QueueOf(me);
  while (!m->Done) {
    ReceiveSent(l, mine);
    if (m->Done) break;
    if (!Find(hWnd)) return 0;  // the window went away unanswered
    S().Wake.wait_for(l, std::chrono::milliseconds(5));
  }
  return m->Result;
}

BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Lock l(S().M);
  DWORD thread;
  if (!hWnd) {
    thread = ThisThread();
  } else {
    Window* w = Find(hWnd);
    if (!w) return FALSE;
    thread = w->Thread;
  }
  MSG m;
  m.hwnd = hWnd;
  m.message = Msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = GetTickCount();
  m.pt = S().Cursor;
  QueueOf(thread).Posted.push_back(m);
  S().Wake.notify_all();
  return TRUE;
}

BOOL PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Lock l(S().M);
  auto it = S().Queues.find(idThread);
  if (it == S().Queues.end()) return FALSE;
  MSG m;
  m.message = Msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = GetTickCount();
  m.pt = S().Cursor;
  it->second->Posted.push_back(m);
  S().Wake.notify_all();
  return TRUE;
}

void PostQuitMessage(int nExitCode) {
  Lock l(S().M);
  Queue& q = QueueOf(ThisThread());
  q.Quit = true;
  q.QuitCode = nExitCode;
  S().Wake.notify_all();
}

BOOL PeekMessageW(MSG* lpMsg, HWND hWnd, UINT mn, UINT mx, UINT wRemoveMsg) {
  if (!lpMsg) return FALSE;
  Lock l(S().M);
  if (hWnd && hWnd != reinterpret_cast<HWND>(-1) && !Find(hWnd)) return FALSE;
  if (!NextMessage(l, lpMsg, hWnd, mn, mx, wRemoveMsg & PM_REMOVE)) return FALSE;
  l.unlock();
  if (wRemoveMsg & PM_REMOVE) AfterInput(*lpMsg);
  return TRUE;
}

BOOL GetMessageW(MSG* lpMsg, HWND hWnd, UINT mn, UINT mx) {
  if (!lpMsg) return -1;
  Lock l(S().M);
  if (hWnd && hWnd != reinterpret_cast<HWND>(-1) && !Find(hWnd)) return -1;
  while (!NextMessage(l, lpMsg, hWnd, mn, mx, true)) {
    // Wait for a message, a send, or the clock to move (a virtual clock
    // moves without notice, so the wait is short).
    S().Wake.wait_for(l, std::chrono::milliseconds(2));
    if (hWnd && hWnd != reinterpret_cast<HWND>(-1) && !Find(hWnd)) return -1;
  }
  l.unlock();
  AfterInput(*lpMsg);
  return lpMsg->message == WM_QUIT ? 0 : 1;
}

BOOL WaitMessage() {
  Lock l(S().M);
  MSG m;
  while (!NextMessage(l, &m, nullptr, 0, 0, false)) S().Wake.wait_for(l, std::chrono::milliseconds(2));
  return TRUE;
}

BOOL InSendMessage() {
  Lock l(S().M);
  return QueueOf(ThisThread()).InSend > 0;
}

DWORD GetMessageTime() {
  Lock l(S().M);
  return QueueOf(ThisThread()).MsgTime;
}

static int CharOfKey(int vk, bool shift, bool ctrl) {
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return vk - 'A' + 1;
    return shift ? vk : vk - 'A' + 'a';
  }
  if (ctrl) return 0;
  if (vk >= '0' && vk <= '9') {
    static const char shifted[] = ")!@#$%^&*(";
    return shift ? shifted[vk - '0'] : vk;
  }
  switch (vk) {
    case VK_SPACE:
      return ' ';
    case VK_RETURN:
      return '\r';
    case VK_BACK:
      return 8;
    case VK_TAB:
      return 9;
    case VK_ESCAPE:
      return 27;
  }
  return 0;
}

BOOL TranslateMessage(const MSG* m) {
  if (!m || (m->message != WM_KEYDOWN && m->message != WM_SYSKEYDOWN)) return FALSE;
  bool shift = GetKeyState(VK_SHIFT) & 0x8000, ctrl = GetKeyState(VK_CONTROL) & 0x8000;
  int ch = CharOfKey(int(m->wParam & 0xFF), shift, ctrl);
  if (!ch) return FALSE;
  // The character comes next, before anything posted later.
  Lock l(S().M);
  Window* w = Find(m->hwnd);
  if (!w) return FALSE;
  MSG c = *m;
  c.message = m->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  c.wParam = WPARAM(ch);
  QueueOf(w->Thread).Posted.push_front(c);
  return TRUE;
}

LRESULT DispatchMessageW(const MSG* m) {
  if (!m) return 0;
  if (m->message == WM_TIMER && m->lParam) {
    TIMERPROC proc = reinterpret_cast<TIMERPROC>(m->lParam);
    {
      // Only while the timer still exists.
      Lock l(S().M);
      bool found = false;
      for (const Timer& t : S().Timers)
        if (t.Wnd == m->hwnd && t.Id == m->wParam && t.Proc == proc) found = true;
      if (!found) return 0;
    }
    proc(m->hwnd, WM_TIMER, m->wParam, GetTickCount());
    return 0;
  }
  if (!m->hwnd) return 0;
  LRESULT r = Call(m->hwnd, m->message, m->wParam, m->lParam);
  if (m->message == WM_PAINT) {
    Lock l(S().M);
    if (Window* w = Find(m->hwnd)) w->InternalPaint = false;
  }
  return r;
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  Lock l(S().M);
  DWORD me = ThisThread();
  if (hWnd) {
    Window* w = Find(hWnd);
    if (!w || w->Thread != me) return 0;
  }
  UINT elapse = std::clamp<UINT>(uElapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  auto& timers = S().Timers;
  UINT_PTR id = nIDEvent;
  auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) {
    return t.Wnd == hWnd && t.Id == nIDEvent && (hWnd || t.Thread == me);
  });
  if (!hWnd && it == timers.end()) {
    // A thread timer gets an identifier of its own.
    do {
      id = ++S().NextTimerId;
    } while (std::any_of(timers.begin(), timers.end(), [&](const Timer& t) { return !t.Wnd && t.Id == id; }));
  }
  Timer t;
  t.Wnd = hWnd;
  t.Id = id;
  t.Interval = elapse;
  t.Due = GetTickCount64() + elapse;
  t.Proc = lpTimerFunc;
  t.Thread = me;
  if (it != timers.end())
    *it = t;
  else
    timers.push_back(t);
  S().Wake.notify_all();
  return hWnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  Lock l(S().M);
  auto& timers = S().Timers;
  auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.Wnd == hWnd && t.Id == uIDEvent; });
  if (it == timers.end()) return FALSE;
  timers.erase(it);
  return TRUE;
}
