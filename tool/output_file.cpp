#include "tool/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/signal_cleanup.h"
#include "platform/win_files.h"

namespace {

std::atomic<uint32_t> gSerial{0};

// The quantiser writes its result to this name first and renames it over its input.
std::string QuantiserTemporary(const std::string& Path) { return Path + ".tmp"; }

}  // namespace

TOutputFile::~TOutputFile() { Discard(); }

void TOutputFile::Discard() {
  if (FPath.empty()) return;
  if (!FCommitted) {
    unlink(FPath.c_str());
    unlink(QuantiserTemporary(FPath).c_str());
  }
  RemoveSignalCleanup(FPath);
  RemoveSignalCleanup(QuantiserTemporary(FPath));
  FPath.clear();
}

bool TOutputFile::Create(const std::string& Target) {
  Discard();
  FTarget = Target;
  FCommitted = false;
  const std::string base = ExtractFilePath(Target) + "." + ExtractFileName(Target) + "-" + std::to_string(getpid());
  for (int tries = 0; tries < 100; ++tries) {
    const std::string candidate = base + "-" + std::to_string(gSerial.fetch_add(1)) + ".png";
    // Registered before it exists, and a signal waits until both are done.
    TSignalCleanupStart creating;
    if (!creating.Allowed()) return false;
    AddSignalCleanup(candidate);
    AddSignalCleanup(QuantiserTemporary(candidate));
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      FPath = candidate;
      return true;
    }
    const int err = errno;
    RemoveSignalCleanup(candidate);
    RemoveSignalCleanup(QuantiserTemporary(candidate));
    if (err != EEXIST) return false;
  }
  return false;
}

bool TOutputFile::Commit() {
  if (FPath.empty() || FCommitted) return false;
  if (std::rename(FPath.c_str(), FTarget.c_str()) != 0) return false;
  FCommitted = true;
  Discard();
  return true;
}
