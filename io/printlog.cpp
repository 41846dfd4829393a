// The I/O module's print log.

#include "io/printlog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/textutils.h"
#include "platform/win_errors.h"

namespace {

std::mutex& LogLock() {
  static std::mutex m;
  return m;
}

std::string& LogName() {
  static std::string name;
  return name;
}

[[noreturn]] void Fail(const std::string& What, const std::string& Name, int Error) {
  throw EInOutError(What + " " + Name + ": " + std::strerror(Error));
}

}  // namespace

std::string VXGetPrintLogFile() {
  std::lock_guard<std::mutex> lock(LogLock());
  return LogName();
}

void VXSetPrintLogFile(const std::string& Name) {
  std::lock_guard<std::mutex> lock(LogLock());
  // The file is opened for each line and closed after it: nothing stays open.
  LogName() = Name;
  if (Name.empty()) return;
  FILE* f = std::fopen(Name.c_str(), "wb");
  if (!f) {
    const int e = errno;
    LogName().clear();
    Fail("Cannot create the print log", Name, e);
  }
  std::fclose(f);
}

void VXWritePrintLog(const std::string& Text) {
  std::lock_guard<std::mutex> lock(LogLock());
  const std::string& name = LogName();
  if (name.empty()) return;
  const double now = VXNow();
  const std::string line = VXDateToStr(now) + " " + VXTimeToStr(now) + " : " + Text + "\n";
  FILE* f = std::fopen(name.c_str(), "ab");
  if (!f) Fail("Cannot append to the print log", name, errno);
  const bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  const int e = errno;
  if (std::fclose(f) != 0 || !ok) Fail("Cannot write to the print log", name, ok ? errno : e);
}

void VXClosePrintLog() {
  std::lock_guard<std::mutex> lock(LogLock());
  LogName().clear();
}
