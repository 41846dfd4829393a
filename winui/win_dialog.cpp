// Dialog windows from DLGTEMPLATE resources and their dialog procedures.
#include "winui/win_dialog.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/utf.h"
#include "platform/win_resource.h"
#include "winui/gdi.h"
#include "winui/gdi_font.h"
#include "winui/gdi_text.h"
#include "winui/win_metrics.h"

namespace {

// The dialog procedures by window.
std::mutex gLock;
std::map<HWND, DLGPROC>& Procs() {
  static auto* m = new std::map<HWND, DLGPROC>();
  return *m;
}

DLGPROC ProcOf(HWND h) {
  std::lock_guard<std::mutex> l(gLock);
  auto it = Procs().find(h);
  return it == Procs().end() ? nullptr : it->second;
}

LRESULT CALLBACK_DialogWndProc(HWND h, UINT Msg, WPARAM w, LPARAM l) { return DefDlgProcW(h, Msg, w, l); }

const char* const kDialogClass = "#32770";

void RegisterDialogClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSEXW wc;
    wc.lpfnWndProc = CALLBACK_DialogWndProc;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.lpszClassName = kDialogClass;
    RegisterClassExW(&wc);
  });
}

// Reads a template's little-endian fields, refusing to run past its end.
struct Reader {
  const uint8_t* p;
  size_t n, pos = 0;
  bool ok = true;
  uint16_t Word() {
    if (pos + 2 > n) {
      ok = false;
      return 0;
    }
    const uint16_t v = uint16_t(p[pos] | (p[pos + 1] << 8));
    pos += 2;
    return v;
  }
  uint32_t DWord() {
    const uint32_t lo = Word();
    return lo | (uint32_t(Word()) << 16);
  }
  int16_t Short() { return int16_t(Word()); }
  // A NUL-ended UTF-16 text.
  std::string Text() {
    std::u16string s;
    for (uint16_t c; ok && (c = Word()) != 0;) s += char16_t(c);
    return VXUTF16ToUTF8(s);
  }
  // A text or an ordinal (0xFFFF then the number); Ordinal -1 for a text.
  std::string TextOrOrdinal(int& Ordinal) {
    Ordinal = -1;
    if (pos + 2 <= n && p[pos] == 0xFF && p[pos + 1] == 0xFF) {
      pos += 2;
      Ordinal = Word();
      return std::string();
    }
    return Text();
  }
  void AlignDWord() { pos = (pos + 3) & ~size_t(3); }
};

struct Item {
  DWORD Style = 0, ExStyle = 0;
  int X = 0, Y = 0, Cx = 0, Cy = 0, Id = 0;
  std::string Class, Title;
};

struct Template {
  DWORD Style = 0, ExStyle = 0;
  int X = 0, Y = 0, Cx = 0, Cy = 0;
  std::string Title, Face;
  int PointSize = 0;
  std::vector<Item> Items;
};

// The predefined control classes by their atoms.
std::string ClassOfAtom(int Atom) {
  switch (Atom) {
    case 0x0080: return "BUTTON";
    case 0x0081: return "EDIT";
    case 0x0082: return "STATIC";
    case 0x0083: return "LISTBOX";
    case 0x0084: return "SCROLLBAR";
    case 0x0085: return "COMBOBOX";
    default: return std::string();
  }
}

bool Parse(const uint8_t* Data, size_t Size, Template& T) {
  Reader r{Data, Size};
  T.Style = r.DWord();
  T.ExStyle = r.DWord();
  const int count = r.Word();
  T.X = r.Short();
  T.Y = r.Short();
  T.Cx = r.Short();
  T.Cy = r.Short();
  int ordinal;
  r.TextOrOrdinal(ordinal);  // menu (none here)
  r.TextOrOrdinal(ordinal);  // window class: the dialog class
  T.Title = r.Text();
  if (T.Style & DS_SETFONT) {
    T.PointSize = r.Word();
    T.Face = r.Text();
  }
  for (int i = 0; i < count && r.ok; ++i) {
    r.AlignDWord();
    Item it;
    it.Style = r.DWord();
    it.ExStyle = r.DWord();
    it.X = r.Short();
    it.Y = r.Short();
    it.Cx = r.Short();
    it.Cy = r.Short();
    it.Id = r.Word();
    it.Class = r.TextOrOrdinal(ordinal);
    if (ordinal >= 0) it.Class = ClassOfAtom(ordinal);
    it.Title = r.TextOrOrdinal(ordinal);
    if (ordinal >= 0) it.Title = "#" + std::to_string(ordinal);
    const uint16_t extra = r.Word();
    r.pos += extra;
    if (r.pos > Size) r.ok = false;
    T.Items.push_back(it);
  }
  return r.ok;
}

}  // namespace

void VXDialogBaseUnits(const char* Face, int PointSize, int& BaseX, int& BaseY) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ font = nullptr;
  if (Face) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(PointSize, GetDeviceCaps(nullptr, LOGPIXELSY), 72);
    const std::u16string face = VXUTF8ToUTF16(Face);
    for (size_t i = 0; i < face.size() && i + 1 < LF_FACESIZE; ++i) lf.lfFaceName[i] = face[i];
    font = CreateFontIndirectW(&lf);
  } else {
    font = GetStockObject(SYSTEM_FONT);
  }
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm;
  if (!GetTextMetricsW(dc, &tm)) tm = TEXTMETRICW{};
  SelectObject(dc, old);
  if (Face) DeleteObject(font);
  DeleteDC(dc);
  BaseX = tm.tmAveCharWidth > 0 ? int(tm.tmAveCharWidth) : 8;
  BaseY = tm.tmHeight > 0 ? int(tm.tmHeight) : 16;
}

HWND CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
  if (!lpTemplateName) return nullptr;
  const TResName name = IS_INTRESOURCE(lpTemplateName) ? TResName(int(reinterpret_cast<uintptr_t>(lpTemplateName)))
                                                       : TResName::Named(lpTemplateName);
  HRSRC res = FindResourceW(nullptr, name, RT_DIALOG);
  if (!res) return nullptr;
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, res)));
  Template t;
  if (!data || !Parse(data, SizeofResource(nullptr, res), t)) return nullptr;
  int bx = 0, by = 0;
  VXDialogBaseUnits((t.Style & DS_SETFONT) ? t.Face.c_str() : nullptr, t.PointSize, bx, by);
  auto px = [&](int v) { return MulDiv(v, bx, 4); };
  auto py = [&](int v) { return MulDiv(v, by, 8); };
  RegisterDialogClass();
  const DWORD style = t.Style & ~DWORD(WS_VISIBLE);
  HWND dlg = CreateWindowExW(t.ExStyle, kDialogClass, t.Title.c_str(), style, px(t.X), py(t.Y), px(t.Cx), py(t.Cy),
                             hWndParent, nullptr, hInstance, nullptr);
  if (!dlg) return nullptr;
  {
    std::lock_guard<std::mutex> l(gLock);
    Procs()[dlg] = lpDialogFunc;
  }
  // The template's size is the client area's.
  RECT wr, cr;
  GetWindowRect(dlg, &wr);
  GetClientRect(dlg, &cr);
  const int growX = px(t.Cx) - cr.right, growY = py(t.Cy) - cr.bottom;
  if (growX || growY)
    SetWindowPos(dlg, nullptr, 0, 0, wr.right - wr.left + growX, wr.bottom - wr.top + growY,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const Item& it : t.Items) {
    HWND c = CreateWindowExW(it.ExStyle, it.Class.c_str(), it.Title.c_str(), it.Style | WS_CHILD, px(it.X), py(it.Y),
                             px(it.Cx), py(it.Cy), dlg, reinterpret_cast<HMENU>(uintptr_t(it.Id)), hInstance, nullptr);
    if (!c) {
      DestroyWindow(dlg);
      return nullptr;
    }
  }
  HWND first = GetWindow(dlg, GW_CHILD);
  SendMessageW(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), dwInitParam);
  if (t.Style & WS_VISIBLE) ShowWindow(dlg, SW_SHOWNA);
  return dlg;
}

LRESULT DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  LONG_PTR handled = 0;
  if (DLGPROC proc = ProcOf(hDlg)) {
    if (Msg != WM_INITDIALOG) SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, 0);
    handled = proc(hDlg, Msg, wParam, lParam);
  }
  if (Msg == WM_NCDESTROY) {
    std::lock_guard<std::mutex> l(gLock);
    Procs().erase(hDlg);
  }
  if (Msg == WM_INITDIALOG) return handled;
  if (handled) return GetWindowLongPtrW(hDlg, DWLP_MSGRESULT);
  return DefWindowProcW(hDlg, Msg, wParam, lParam);
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
  for (HWND c = GetWindow(hDlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (GetWindowLongPtrW(c, GWLP_ID) == nIDDlgItem) return c;
  return nullptr;
}

int GetDlgCtrlID(HWND hWnd) { return int(GetWindowLongPtrW(hWnd, GWLP_ID)); }

UINT GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
  if (!lpString || cchMax <= 0) return 0;
  lpString[0] = 0;
  HWND c = GetDlgItem(hDlg, nIDDlgItem);
  return c ? UINT(GetWindowTextW(c, lpString, cchMax)) : 0;
}

BOOL SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
  HWND c = GetDlgItem(hDlg, nIDDlgItem);
  return c ? SetWindowTextW(c, lpString) : FALSE;
}
