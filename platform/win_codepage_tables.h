// Upper halves of the single-byte code pages converted by win_codepage.cpp.
#pragma once

extern const char16_t kCodePage1250High[128];
extern const char16_t kCodePage1251High[128];
extern const char16_t kCodePage1252High[128];
extern const char16_t kCodePage1253High[128];
extern const char16_t kCodePage1254High[128];
extern const char16_t kCodePage1256High[128];
