// The mount-table reader: whatever the lines, every entry it gives has an
// absolute mount point, no field holds a zero byte, and an entry written back
// with the table's escapes reads as the same entry.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "acquire/mount_table.h"

namespace {

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

std::string Escape(const std::string& Field) {
  std::string out;
  for (unsigned char c : Field) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\\' || c < 32) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else {
      out += char(c);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const TVXMountEntry& e : VXReadMountTable(text)) {
    Check(!e.MountPoint.empty() && e.MountPoint[0] == '/');
    for (const std::string* f : {&e.Device, &e.MountPoint, &e.FSType, &e.Options})
      Check(f->find('\0') == std::string::npos);
    const bool removable = VXIsRemovableMountPoint(e.MountPoint);
    Check(!removable || e.MountPoint.rfind("/media/", 0) == 0 || e.MountPoint.rfind("/run/media/", 0) == 0 ||
          e.MountPoint.rfind("/mnt", 0) == 0);
    VXIsReadOnlyMount(e.Options);
    TVXMountEntry again;
    Check(VXParseMountLine(Escape(e.Device) + " " + Escape(e.MountPoint) + " " + Escape(e.FSType) + " " +
                               Escape(e.Options) + " 0 0",
                           again));
    Check(again.Device == e.Device && again.MountPoint == e.MountPoint && again.FSType == e.FSType &&
          again.Options == e.Options);
  }
  return 0;
}
