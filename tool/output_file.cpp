#include "tool/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/signal_cleanup.h"
#include "platform/win_files.h"

namespace {

std::atomic<uint32_t> gSerial{0};

// The quantiser writes its result to this name first and renames it over its input.
std::string QuantiserTemporary(const std::string& Path) { return Path + ".tmp"; }

// This process's number, part of every temporary name.
const std::string& ProcessNumber() {
  static const std::string number = std::to_string(getpid());
  return number;
}

}  // namespace

TOutputFile::~TOutputFile() { Discard(); }

bool TOutputFile::Close() {
  if (FHandle < 0) return true;
  // The descriptor is released whatever close reports; an interrupted close
  // has still closed it.
  const bool ok = close(FHandle) == 0 || errno == EINTR;
  FHandle = -1;
  return ok;
}

void TOutputFile::Discard() {
  Close();
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
  const std::string base = ExtractFilePath(Target) + "." + ExtractFileName(Target) + "-" + ProcessNumber();
  for (int tries = 0; tries < 100; ++tries) {
    const std::string candidate = base + "-" + std::to_string(gSerial.fetch_add(1)) + ".png";
    // Registered before it exists, and a signal waits until both are done.
    TSignalCleanupStart creating;
    if (!creating.Allowed()) return false;
    AddSignalCleanup(candidate);
    AddSignalCleanup(QuantiserTemporary(candidate));
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      FHandle = fd;
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

bool TOutputFile::Exists() const {
  if (FPath.empty()) return false;
  if (FHandle < 0) return FileExists(FPath);
  // The open file itself: deleted under its name, it has no link left.
  struct stat st {};
  return fstat(FHandle, &st) == 0 && st.st_nlink > 0;
}

bool TOutputFile::MakeReadOnly() {
  if (FPath.empty()) return false;
  if (FHandle < 0) return SetFileAttributesW(FPath, FILE_ATTRIBUTE_READONLY);
  struct stat st {};
  if (fstat(FHandle, &st) != 0) return false;
  const mode_t mode = st.st_mode & 07777 & ~mode_t(0222);
  return mode == (st.st_mode & 07777) || fchmod(FHandle, mode) == 0;
}

bool TOutputFile::Commit() {
  if (FPath.empty() || FCommitted) return false;
  if (!Close()) return false;
  if (std::rename(FPath.c_str(), FTarget.c_str()) != 0) return false;
  FCommitted = true;
  Discard();
  return true;
}

bool TOutputFile::CopyFrom(const std::string& Source) {
  if (FHandle < 0) return false;
  const int in = open(Source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  bool ok = fstat(in, &st) == 0 && S_ISREG(st.st_mode);
  char buf[65536];
  while (ok) {
    const ssize_t n = read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = write(FHandle, buf + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      ok = w > 0;
      done += w > 0 ? w : 0;
    }
  }
  close(in);
  return ok;
}
