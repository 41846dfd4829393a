#pragma once
// Small helpers of the runtime tests: a scratch folder and shell commands.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TRuntimeScratchDir {
public:
  TRuntimeScratchDir() {
    const char* t = getenv("TMPDIR");
    std::string tmpl = std::string(t && *t ? t : "/tmp") + "/vxruntime-XXXXXX";
    char* p = mkdtemp(tmpl.data());
    if (p) fPath = std::string(p) + "/";
  }
  ~TRuntimeScratchDir() {
    std::error_code ec;
    if (!fPath.empty()) std::filesystem::remove_all(fPath, ec);
  }
  const std::string& Path() const { return fPath; }
  std::string File(const std::string& name) const { return fPath + name; }

private:
  std::string fPath;
};

inline std::string RuntimeReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void RuntimeWriteFile(const std::string& name, const std::string& data) {
  std::ofstream f(name, std::ios::binary | std::ios::trunc);
  f.write(data.data(), std::streamsize(data.size()));
}

// Standard output of a shell command; empty when it could not run.
inline std::string RuntimeShell(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

inline bool RuntimeHaveTool(const std::string& tool) {
  return !RuntimeShell("command -v " + tool + " 2>/dev/null").empty();
}
