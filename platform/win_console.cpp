#include "platform/win_console.h"

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace {
thread_local std::string* gCapture = nullptr;
}

void ConsoleWrite(const std::string& Text) {
  if (gCapture != nullptr) {
    *gCapture += Text;
    return;
  }
  std::fwrite(Text.data(), 1, Text.size(), stdout);
  std::fflush(stdout);
}

void ConsoleWriteLn(const std::string& Text) {
  if (gCapture != nullptr) {
    *gCapture += Text;
    *gCapture += '\n';
    return;
  }
  std::fwrite(Text.data(), 1, Text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

TConsoleCapture::TConsoleCapture(std::string& Target) : FOuter(gCapture) { gCapture = &Target; }

TConsoleCapture::~TConsoleCapture() { gCapture = FOuter; }

std::string ExceptionClassName(const std::exception& E) {
  const char* mangled = typeid(E).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return (status == 0 && name) ? std::string(name.get()) : std::string(mangled);
}

int RunConsoleMain(const std::function<int()>& Body) {
  try {
    return Body();
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", ExceptionClassName(e).c_str(), e.what());
    std::fflush(stderr);
  } catch (...) {
    std::fflush(stdout);
    std::fprintf(stderr, "Unknown exception\n");
    std::fflush(stderr);
  }
  return 1;
}
