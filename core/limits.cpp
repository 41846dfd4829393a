// Size limits of images, texts and metadata blocks.

#include "core/limits.h"

#include <sys/statvfs.h>

#include "core/settings.h"
#include "core/sysutils.h"
#include "core/textutils.h"
#include "core/vxdefs.h"

namespace {
constexpr int64_t kAlwaysAllowed = int64_t(64) << 20;

int64_t FreeDiskBytes(const std::string& Folder) {
  struct statvfs st {};
  if (Folder.empty() || ::statvfs(Folder.c_str(), &st) != 0) return 0;
  const unsigned __int128 bytes = (unsigned __int128)st.f_bavail * st.f_frsize;
  return bytes > (unsigned __int128)INT64_MAX ? INT64_MAX : int64_t(bytes);
}
}  // namespace

int64_t VXFreeStorage() {
  std::string folder = VXGetGlobalSettings()->DefTempPath();
  if (folder.empty()) folder = VXGetSystemTempPath();
  const int64_t mem = VXPhysicalMemory(true);
  const int64_t disk = FreeDiskBytes(folder);
  return mem > INT64_MAX - disk ? INT64_MAX : mem + disk;
}

bool VXStorageSizeAllowed(int64_t Bytes) {
  if (Bytes < 0) return false;
  if (Bytes <= kAlwaysAllowed) return true;
  if (Bytes <= VXFreeStorage()) return true;
  // The kept memory figure may be old: a refusal is decided on a fresh one.
  VXRefreshAvailableMemory();
  return Bytes <= VXFreeStorage();
}

bool VXImageSizeAllowed(int64_t Width, int64_t Height, int64_t BitsPerPixel) {
  if (Width < 1 || Height < 1 || BitsPerPixel < 1) return false;
  int64_t pixels = 0, bits = 0;
  if (__builtin_mul_overflow(Width, Height, &pixels)) return false;
  if (pixels > VXGetGlobalSettings()->MaxImagePixels()) return false;
  if (__builtin_mul_overflow(pixels, BitsPerPixel, &bits)) return false;
  return VXStorageSizeAllowed(bits / 8 + 1);
}

void VXCheckImageSize(int64_t Width, int64_t Height, int64_t BitsPerPixel) {
  if (!VXImageSizeAllowed(Width, Height, BitsPerPixel))
    throw EVXException("Image too large: " + std::to_string(Width) + " x " + std::to_string(Height) + " pixels");
}

bool VXMetadataSizeAllowed(int64_t Size) { return Size >= 0 && Size <= VXGetGlobalSettings()->MaxMetadataSize(); }

TVXTextBudget::TVXTextBudget() : fLeft(VXGetGlobalSettings()->MaxTextSize()) {}

bool VXDeclaredDataPlausible(int64_t Present, int64_t Needed, int64_t MaxExpansion) {
  if (Needed <= 0) return true;
  if (Present <= 0 || MaxExpansion <= 0) return false;
  // Present x MaxExpansion x 16 >= Needed, without overflow.
  const long double most = static_cast<long double>(Present) * static_cast<long double>(MaxExpansion) * 16.0L;
  return most >= static_cast<long double>(Needed);
}
