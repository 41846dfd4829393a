#include "core/filewriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "core/streams.h"
#include "core/vxdefs.h"
#include "platform/signal_cleanup.h"
#include "platform/win_files.h"

namespace {

// The message of a stream that cannot create FileName, with the system's text.
std::string CreateErrorText(const std::string& FileName, const std::string& SystemText) {
  std::string full = FileName;
  try {
    full = std::filesystem::absolute(std::filesystem::path(FileName)).lexically_normal().string();
  } catch (...) {
  }
  return "Cannot create file \"" + full + "\". " + SystemText;
}

// A name in the folder of Target that does not exist yet.
std::string TemporarySibling(const std::string& Target) {
  static std::mt19937 gen(std::random_device{}());
  const std::string dir = ExtractFilePath(Target);
  const std::string name = ExtractFileName(Target);
  for (;;) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", unsigned(gen()));
    const std::string candidate = dir + "." + name + "-" + hex + ".tmp";
    if (GetFileAttributesW(candidate) == INVALID_FILE_ATTRIBUTES) return candidate;
  }
}

// A target that exists and cannot be written refuses the save, as creating
// it would.
void CheckTargetWritable(const std::string& FileName) {
  struct stat st {};
  if (::stat(FileName.c_str(), &st) != 0) return;
  int err = 0;
  if (S_ISDIR(st.st_mode))
    err = EISDIR;
  else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    err = EACCES;
  else if (access(FileName.c_str(), W_OK) != 0)
    err = errno;
  if (err != 0) throw EFCreateError(CreateErrorText(FileName, std::strerror(err)));
}

}  // namespace

bool VXWriteFileSafely(const std::string& FileName, bool& Aborting,
                       const std::function<void(TStream* Stream)>& Writer) {
  CheckTargetWritable(FileName);
  std::string temp = TemporarySibling(FileName);
  // The temporary file is also removed when a signal ends the program mid-save.
  struct TGuard {
    std::string& Path;
    std::string Registered;
    ~TGuard() {
      if (!Registered.empty()) RemoveSignalCleanup(Registered);
      if (!Path.empty()) DeleteFileW(Path);
    }
  } guard{temp, ""};
  AddSignalCleanup(temp);
  guard.Registered = temp;
  {
    std::unique_ptr<TVXWideFileStream> created;
    try {
      created = std::make_unique<TVXWideFileStream>(temp, fmCreate);
    } catch (const EFCreateError& e) {
      // Report the target, not the temporary name.
      const std::string msg = e.what();
      const size_t cut = msg.rfind("\". ");
      throw EFCreateError(CreateErrorText(FileName, cut != std::string::npos ? msg.substr(cut + 3) : msg));
    }
    TVXBufferedWriteStream buffered(created.get(), 65536);
    Writer(&buffered);
    buffered.Flush();
  }
  if (Aborting) return false;  // the guard removes the temporary file
  if (std::rename(temp.c_str(), FileName.c_str()) != 0) {
    const int err = errno;
    throw EFCreateError(CreateErrorText(FileName, std::strerror(err)));
  }
  temp.clear();
  return true;
}
