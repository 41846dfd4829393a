#include "winui/gdiplus.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <set>

#include "winui/gdiplus_internal.h"

namespace {

std::mutex gLock;
std::set<ULONG_PTR> gSessions;
ULONG_PTR gNextToken = 1;
bool gStartupFails = false;
bool gRecording = false;
std::vector<std::string> gRecorded;

std::map<const void*, vxgdiplus::Kind>& Objects() {
  static auto* m = new std::map<const void*, vxgdiplus::Kind>();
  return *m;
}

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
  if (!On) gRecorded.clear();
}

std::vector<std::string> Recorded() {
  std::lock_guard<std::mutex> l(gLock);
  std::vector<std::string> out;
  out.swap(gRecorded);
  return out;
}

int32_t LiveObjects() {
  std::lock_guard<std::recursive_mutex> l(vxgdiplus::Lock());
  return int32_t(Objects().size());
}

}  // namespace VXGdiPlus

namespace vxgdiplus {

std::recursive_mutex& Lock() {
  static auto* m = new std::recursive_mutex();
  return *m;
}

void Add(const void* Object, Kind K) { Objects()[Object] = K; }

bool Live(const void* Object, Kind K) {
  if (!Object) return false;
  auto it = Objects().find(Object);
  return it != Objects().end() && it->second == K;
}

void Remove(const void* Object) { Objects().erase(Object); }

bool Started() {
  std::lock_guard<std::mutex> l(gLock);
  return !gSessions.empty();
}

bool Recording() {
  std::lock_guard<std::mutex> l(gLock);
  return gRecording;
}

void Log(std::string Line) {
  std::lock_guard<std::mutex> l(gLock);
  if (gRecording) gRecorded.push_back(std::move(Line));
}

std::string Num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

std::string Hex(ARGB v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08X", unsigned(v));
  return b;
}

std::string Points(const GpPoint* p, INT count) {
  std::string s = "[";
  for (INT i = 0; p && i < count; ++i) {
    if (i) s += ',';
    s += '(' + std::to_string(p[i].X) + ',' + std::to_string(p[i].Y) + ')';
  }
  return s + ']';
}

}  // namespace vxgdiplus
