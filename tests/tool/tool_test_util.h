// Helpers of the tool tests: private temporary folders, small files, running programs.
#pragma once
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tooltest {

// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
public:
  TempDir() {
    const char* t = std::getenv("TMPDIR");
    std::string base = (t && *t) ? t : "/tmp";
    std::string tmpl = base + "/tarvello-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    Path = mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
  }
  ~TempDir() {
    if (!Path.empty()) {
      std::string cmd = "chmod -R u+w '" + Path + "' 2>/dev/null; rm -rf '" + Path + "'";
      (void)!std::system(cmd.c_str());
    }
  }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
  std::string Path;
};

inline void WriteFile(const std::string& Path, const std::string& Data) {
  std::ofstream f(Path, std::ios::binary);
  f << Data;
}

inline std::string ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

inline bool Exists(const std::string& Path) {
  struct stat st{};
  return lstat(Path.c_str(), &st) == 0;
}

inline bool IsReadOnly(const std::string& Path) {
  struct stat st{};
  return stat(Path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

inline std::string ShellQuote(const std::string& S) {
  std::string out = "'";
  for (char c : S) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

struct RunResult {
  int ExitCode = -1;
  std::string Out, Err;
};

// Runs Program with Args in folder Cwd with TMPDIR=TmpDir (and extra "NAME=value"
// settings), capturing standard output and standard error.
inline RunResult RunProgram(const std::string& Program, const std::vector<std::string>& Args, const std::string& Cwd,
                            const std::string& TmpDir, const std::vector<std::string>& Env = {}) {
  const std::string outFile = TmpDir + "/.run_out", errFile = TmpDir + "/.run_err";
  std::string cmd = "cd " + ShellQuote(Cwd) + " && env TMPDIR=" + ShellQuote(TmpDir);
  for (const auto& e : Env) cmd += " " + ShellQuote(e);
  cmd += " " + ShellQuote(Program);
  for (const auto& a : Args) cmd += " " + ShellQuote(a);
  cmd += " >" + ShellQuote(outFile) + " 2>" + ShellQuote(errFile) + " </dev/null";
  const int status = std::system(cmd.c_str());
  RunResult r;
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.Out = ReadFile(outFile);
  r.Err = ReadFile(errFile);
  unlink(outFile.c_str());
  unlink(errFile.c_str());
  return r;
}

// Names in Folder that begin with Prefix.
inline std::vector<std::string> NamesWithPrefix(const std::string& Folder, const std::string& Prefix) {
  std::vector<std::string> out;
  const std::string cmd = "ls -A " + ShellQuote(Folder) + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char line[4096];
  while (fgets(line, sizeof line, p)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    if (s.rfind(Prefix, 0) == 0) out.push_back(s);
  }
  pclose(p);
  return out;
}

// Entries below Folder by relative name: file contents; with Details also the
// folders (as "d") and each file's mode bits before its contents ("292:...").
inline std::map<std::string, std::string> FileTree(const std::string& Folder, bool Details = false,
                                                   const std::string& Prefix = "") {
  std::map<std::string, std::string> out;
  DIR* d = opendir(Folder.c_str());
  if (d == nullptr) return out;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    const std::string path = Folder + "/" + n;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (Details) out[Prefix + n] = "d";
      for (auto& [k, v] : FileTree(path, Details, Prefix + n + "/")) out[k] = v;
    } else {
      out[Prefix + n] = (Details ? std::to_string(st.st_mode & 0777) + ":" : std::string()) + ReadFile(path);
    }
  }
  closedir(d);
  return out;
}

}  // namespace tooltest
