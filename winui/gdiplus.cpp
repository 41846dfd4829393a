#include "winui/gdiplus.h"

#include <mutex>
#include <set>

namespace {

std::mutex gLock;
std::set<ULONG_PTR> gSessions;
ULONG_PTR gNextToken = 1;
bool gStartupFails = false;
bool gRecording = false;
std::vector<std::string> gRecorded;

}  // namespace

GpStatus GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output) {
  if (!token || !input) return InvalidParameter;
  if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
  if (input->SuppressBackgroundThread && !output) return InvalidParameter;
  std::lock_guard<std::mutex> l(gLock);
  if (gStartupFails) return GenericError;
  // Drawing runs on the caller's thread; there is no background thread to
  // hook, so the hooks stay empty.
  if (output) *output = GdiplusStartupOutput{};
  *token = gNextToken++;
  gSessions.insert(*token);
  return Ok;
}

void GdiplusShutdown(ULONG_PTR token) {
  std::lock_guard<std::mutex> l(gLock);
  gSessions.erase(token);
}

namespace VXGdiPlus {

void SetStartupFails(bool Fails) {
  std::lock_guard<std::mutex> l(gLock);
  gStartupFails = Fails;
}

int32_t OpenSessions() {
  std::lock_guard<std::mutex> l(gLock);
  return int32_t(gSessions.size());
}

void SetRecording(bool On) {
  std::lock_guard<std::mutex> l(gLock);
  gRecording = On;
}

std::vector<std::string> Recorded() {
  std::lock_guard<std::mutex> l(gLock);
  std::vector<std::string> out;
  out.swap(gRecorded);
  return out;
}

}  // namespace VXGdiPlus
