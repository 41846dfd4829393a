// vexlane-view FILE: shows an image in the viewer on the X11 desktop.
// Keys: + and - zoom in and out, 0 fits, 1 shows at 100 %, the arrows and
// the page keys scroll, Escape closes. Exit codes: 0 when the window was
// closed, 1 when FILE does not load, 2 without an X display.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "gui/forms.h"
#include "io/vexlaneio.h"
#include "view/vexlaneview.h"
#include "vexlane/vexlane.h"
#include "winui/display.h"
#include "winui/win_input.h"
#include "winui/win_scroll.h"
#include "x11/x11display.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vexlane-view FILE\n");
    return 1;
  }
  TVexlaneLibrary library;
  if (!VXCurrentDisplay() && !VXOpenX11Display("")) {
    const char* d = std::getenv("DISPLAY");
    std::fprintf(stderr, "vexlane-view: cannot open the X display \"%s\"\n", d ? d : "");
    return 2;
  }
  TForm* form = Application->CreateForm<TForm>();
  form->SetCaption(std::filesystem::path(argv[1]).filename().string() + " - vexlane-view");
  form->SetBounds(40, 40, 800, 600);
  auto* view = new TVexlaneView(form);
  view->SetParent(form);
  auto fill = [form, view] { view->SetBounds(0, 0, form->ClientWidth(), form->ClientHeight()); };
  fill();
  form->OnResize = [fill](void*) { fill(); };
  bool loaded = false;
  try {
    loaded = view->IO()->LoadFromFile(argv[1], true);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vexlane-view: %s\n", e.what());
  }
  if (!loaded || view->IsEmpty()) {
    std::fprintf(stderr, "vexlane-view: cannot load %s\n", argv[1]);
    VXCloseX11Display();
    return 1;
  }
  // The keys reach the viewer when it has the focus, the form otherwise.
  // The arrows and the page keys give the viewer the scroll bars' codes.
  const TKeyEvent keys = [form, view](void*, WORD& Key, TShiftState) {
    auto scroll = [view](UINT Msg, WPARAM Code) { SendMessageW(view->Handle(), Msg, Code, 0); };
    switch (Key) {
      case VK_ADD:
      case VK_OEM_PLUS: view->ZoomIn(); break;
      case VK_SUBTRACT:
      case VK_OEM_MINUS: view->ZoomOut(); break;
      case '0': view->Fit(); break;
      case '1': view->SetZoom(100); break;
      case VK_LEFT: scroll(WM_HSCROLL, SB_LINEUP); break;
      case VK_RIGHT: scroll(WM_HSCROLL, SB_LINEDOWN); break;
      case VK_UP: scroll(WM_VSCROLL, SB_LINEUP); break;
      case VK_DOWN: scroll(WM_VSCROLL, SB_LINEDOWN); break;
      case VK_PRIOR: scroll(WM_VSCROLL, SB_PAGEUP); break;
      case VK_NEXT: scroll(WM_VSCROLL, SB_PAGEDOWN); break;
      case VK_ESCAPE: form->Close(); break;
    }
  };
  view->OnKeyDown = keys;
  form->OnKeyDown = keys;
  form->Show();
  view->SetFocus();
  Application->Run();
  VXCloseX11Display();
  return 0;
}
