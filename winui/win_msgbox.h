// The message box in the shape of the system's: a text, a caption, a set of
// buttons and an icon; the answer is the button pressed. Headless there is
// nobody to press one: the default button answers, unless a handler (the
// forms test driver, or a display) is installed that shows the box.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "winui/win_types.h"

// Buttons.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_TYPEMASK = 0x0000000F;
// Icons.
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0x000000F0;
// Default button and modality.
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_DEFMASK = 0x00000F00;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// The answer (IDOK ...) of the button pressed; 0 when the box could not be
// shown (an unknown button set).
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
// The same with 8-bit texts (Windows-1252).
int MessageBoxA(HWND hWnd, const char* lpText, const char* lpCaption, UINT uType);

// The buttons of a button set (MB_OK ...) in their order on the box; empty
// for an unknown set.
std::vector<int> VXMessageBoxButtons(UINT uType);
// The answer of the default button of uType (the first button when the
// default names none).
int VXMessageBoxDefaultButton(UINT uType);

// Shows the box and answers the button pressed (one of its buttons).
using TMessageBoxHandler =
    std::function<int(HWND Owner, const std::string& Text, const std::string& Caption, UINT Type)>;
// Installs Handler (empty: back to the headless default button); returns the
// old one.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler Handler);
