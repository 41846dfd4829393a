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

bool TOutputFile::CopyFrom(const std::string& Source) {
  if (FPath.empty()) return false;
  const int in = open(Source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  const int out = fstat(in, &st) == 0 && S_ISREG(st.st_mode) ? open(FPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC) : -1;
  bool ok = out >= 0;
  char buf[65536];
  while (ok) {
    const ssize_t n = read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = write(out, buf + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      ok = w > 0;
      done += w > 0 ? w : 0;
    }
  }
  if (out >= 0 && close(out) != 0) ok = false;
  close(in);
  return ok;
}
