#include "winui/win_msgbox.h"

#include <mutex>
#include <utility>

#include "platform/utf.h"
#include "platform/win_codepage_tables.h"

namespace {

std::mutex gLock;
TMessageBoxHandler gHandler;

std::string FromCodePage1252(const char* s) {
  std::string out;
  if (!s) return out;
  for (; *s; ++s) {
    const unsigned char c = static_cast<unsigned char>(*s);
    VXAppendUTF8(out, c < 0x80 ? c : kCodePage1252High[c - 0x80]);
  }
  return out;
}

}  // namespace

std::vector<int> VXMessageBoxButtons(UINT uType) {
  switch (uType & MB_TYPEMASK) {
    case MB_OK:
      return {IDOK};
    case MB_OKCANCEL:
      return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
      return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
      return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
      return {IDYES, IDNO};
    case MB_RETRYCANCEL:
      return {IDRETRY, IDCANCEL};
    default:
      return {};
  }
}

int VXMessageBoxDefaultButton(UINT uType) {
  const std::vector<int> buttons = VXMessageBoxButtons(uType);
  if (buttons.empty()) return 0;
  const size_t n = (uType & MB_DEFMASK) >> 8;
  return n < buttons.size() ? buttons[n] : buttons[0];
}

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  const std::vector<int> buttons = VXMessageBoxButtons(uType);
  if (buttons.empty()) return 0;
  TMessageBoxHandler h;
  {
    std::lock_guard g(gLock);
    h = gHandler;
  }
  // The system's default caption is "Error".
  const std::string text = lpText ? lpText : "", caption = lpCaption ? lpCaption : "Error";
  if (!h) return VXMessageBoxDefaultButton(uType);
  const int answer = h(hWnd, text, caption, uType);
  for (int b : buttons)
    if (b == answer) return answer;
  // A box closed without one of its buttons (the close box) answers cancel
  // when it has one, else its only button.
  for (int b : buttons)
    if (b == IDCANCEL) return IDCANCEL;
  return buttons.size() == 1 ? buttons[0] : VXMessageBoxDefaultButton(uType);
}

int MessageBoxA(HWND hWnd, const char* lpText, const char* lpCaption, UINT uType) {
  const std::string text = FromCodePage1252(lpText), caption = FromCodePage1252(lpCaption);
  return MessageBoxW(hWnd, text.c_str(), lpCaption ? caption.c_str() : nullptr, uType);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler Handler) {
  std::lock_guard g(gLock);
  return std::exchange(gHandler, std::move(Handler));
}
