#include "tool/tarvello_main.h"

#include "platform/signal_cleanup.h"
#include "platform/win_console.h"
#include "platform/win_errors.h"
#include "platform/win_files.h"
#include "platform/win_resource.h"
#include "tool/convertfiles.h"
#include "tool/convertimage.h"
#include "tool/infoversion.h"
#include "tool/zolib.h"

#include <cctype>
#include <sys/mman.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

const char* const kUsage[] = {
    "TARVELLO /out:dir /_dpi|all|copy /dip:n [/8] [/l] [/m] [/r] [/?] image1 [image2 ...]",
    "Resizes png images to given android density and dip size",
    "/out:       sets the output directory (will be created if not exist)",
    "            final drawable-... directory will be added based on the _dpi mode",
    "/_dpi:      set the target density (LDPI, MDPI, HDPI, XHDPI, XXHDPI or XXXHDPI)",
    "            LDPI    = density 0.75 / 120 dpi",
    "            MDPI    = density 1.0  / 160 dpi",
    "            HDPI    = density 1.5  / 240 dpi",
    "            XHDPI   = density 2.0  / 320 dpi",
    "            XXHDPI  = density 3.0  / 480 dpi",
    "            XXXHDPI = density 4.0  / 640 dpi",
    "            (multiple values can be set)",
    "/all        use all density modes (LDPI, MDPI, HDPI, XHDPI, XXHDPI and XXXHDPI)",
    "/copy       doesn't resize images, only copy to target directory",
    "            (normally used in combination with /8 parameter)",
    "/dip:       set the image size in dip (dip = pixel for MDPI)",
    "            (dip value between 5 and 500, short side on rectangular images)",
    "/8          reduce png to 8 bit palette (256 colors) but maintain alpha channel",
    "/l          dip value specifies long side on rectangular images (opt.)",
    "/m          convert only if source image is newer or no target exist (opt.)",
    "/r          scan recursive the source image directory (opt.)",
    "/?          show this help and exits",
    "image1      the first image file (may contain wildcards, extension not needed)",
    "            if a directory name is given, all images in this dir will processed",
    "image2      second image file or dir (opt.)",
    "...         additional image files or dirs (opt.)",
};

const char* const kQuantiserHome = "https://pngquant.org";

std::string LowerCase(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool TryStrToInt(const std::string& S, int32_t& Value) {
  if (S.empty()) return false;
  const char* b = S.c_str();
  if (*b != '+' && *b != '-' && (*b < '0' || *b > '9')) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(b, &end, 10);
  if (end == b || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  Value = static_cast<int32_t>(v);
  return true;
}

// An argument is a switch when it begins with '/' and its name part (before the first
// ':') holds no second '/': "/out:/tmp/x" is a switch, "/home/me/icons" an image path.
bool IsSwitch(const std::string& Arg) {
  if (Arg.empty() || Arg[0] != '/') return false;
  return TextBefore(Arg, ":").find('/', 1) == std::string::npos;
}

// Replaces the extension of the last path component by ".png" (appends it when none).
std::string WithPngExtension(const std::string& Pattern) {
  const auto slash = Pattern.rfind('/');
  const auto dot = Pattern.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Pattern + ".png";
  return Pattern.substr(0, dot) + ".png";
}

void PrintBanner() {
  TInfoVersion info;
  info.Execute();
  const std::string indent(18, ' ');
  ConsoleWriteLn(info.ProductName() + " V" + info.ShortFileVersion() + "    " + info.LegalCopyright());
  ConsoleWriteLn(indent + info.Mail() + " / " + info.Licence());
  ConsoleWriteLn(indent + "(make use of pngquant library - " + kQuantiserHome + ")");
  ConsoleWriteLn();
}

// The embedded quantiser as a program the run can start. Where the system allows
// it, it lives in memory only (memfd_create, started with fexecve through its
// descriptor), so nothing is left behind whatever ends the program; otherwise it
// is a temporary file, deleted on every way out, also when a signal ends the
// program.
class TTempQuantiser {
public:
  ~TTempQuantiser() {
    if (FDescriptor >= 0) close(FDescriptor);
    if (FDescriptor < 0 && !FPath.empty() && FileExists(FPath)) DeleteFileW(FPath);
    DisarmSignalCleanup();
  }
  void Create() {
    HRSRC res = FindResourceW(nullptr, "quant", RT_RCDATA);
    if (!res) throw EResNotFound("Resource quant not found");
    const void* data = LockResource(LoadResource(nullptr, res));
    const uint32_t size = SizeofResource(nullptr, res);
    if (CreateInMemory(data, size)) return;
    // Written to a new file of its own (created exclusively, executable by the
    // owner only).
    for (int tries = 0; tries < 100; ++tries) {
      const std::string path = MakeTempFileName("", "");
      bool taken = false;
      if (WriteNewFile(path, data, size, 0700, taken)) {
        FPath = path;
        ArmSignalCleanup(path);
        return;
      }
      if (!taken) throw EInOutError("Cannot create file \"" + path + "\"");
    }
    throw EInOutError("Cannot create a temporary file in " + GetTempDir());
  }
  const std::string& Path() const { return FPath; }

private:
  bool CreateInMemory(const void* Data, uint32_t Size) {
    const int fd = memfd_create("quant", MFD_CLOEXEC);
    if (fd < 0) return false;
    const auto* p = static_cast<const uint8_t*>(Data);
    size_t left = Size;
    while (left > 0) {
      const ssize_t n = write(fd, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        close(fd);
        return false;
      }
      p += n;
      left -= size_t(n);
    }
    FDescriptor = fd;
    FPath = "/proc/self/fd/" + std::to_string(fd);
    // No file to delete; the handlers still end a running quantiser and delete
    // the run's temporary outputs.
    ArmSignalCleanup("");
    return true;
  }

  std::string FPath;
  int FDescriptor = -1;
};

}  // namespace

std::span<const char* const> UsageLines() { return kUsage; }

void ShowUsage(bool Full) {
  const auto lines = UsageLines();
  for (const char* l : Full ? lines : lines.first(1)) ConsoleWriteLn(l);
  ConsoleWriteLn();
}

TArgsOutcome ReadArguments(const std::vector<std::string>& Args, TRunOptions& Options) {
  if (Args.empty()) {
    ShowUsage(false);
    return TArgsOutcome::Fail;
  }
  static const char* const kBuckets[] = {"/ldpi", "/mdpi", "/hdpi", "/xhdpi", "/xxhdpi", "/xxxhdpi"};
  for (const std::string& arg : Args) {
    if (!IsSwitch(arg)) {
      std::string pattern = ExpandFileName(arg);
      if (DirExists(pattern)) pattern = JoinPath(pattern, "*");
      Options.Patterns.push_back(pattern);
      continue;
    }
    const std::string name = LowerCase(TextBefore(arg, ":"));
    const std::string value = TextAfter(arg, ":");
    int bucket = -1;
    for (int b = 0; b < 6; ++b)
      if (name == kBuckets[b]) bucket = b;
    if (name == "/out") {
      if (!Options.OutDir.empty()) continue;
      Options.OutDir = ExpandFileName(value);
      if (!ForceDirectories(Options.OutDir)) {
        ConsoleWriteLn("Cannot create target directory.");
        return TArgsOutcome::Fail;
      }
    } else if (bucket >= 0) {
      Options.Buckets |= static_cast<uint8_t>(1u << bucket);
      Options.Copy = false;
    } else if (name == "/all") {
      Options.Buckets = 0x3F;
      Options.Copy = false;
    } else if (name == "/copy") {
      if (Options.Buckets == 0) Options.Copy = true;
    } else if (name == "/dip") {
      if (Options.Dip != 0) continue;
      int32_t dip = 0;
      if (!TryStrToInt(value, dip)) {
        ShowUsage(false);
        return TArgsOutcome::Fail;
      }
      if (dip < 5 || dip > 500) {
        ConsoleWriteLn("Dip value exceeds bounds (5 - 500).");
        return TArgsOutcome::Fail;
      }
      Options.Dip = dip;
    } else if (name == "/8") {
      Options.EightBit = true;
    } else if (name.rfind("/l", 0) == 0) {
      Options.LongSide = true;
    } else if (name.rfind("/m", 0) == 0) {
      Options.NewerOnly = true;
    } else if (name.rfind("/r", 0) == 0) {
      Options.Recursive = true;
    } else if (name == "/?") {
      ShowUsage(true);
      return TArgsOutcome::Help;
    } else {
      ShowUsage(false);
      return TArgsOutcome::Fail;
    }
  }
  if (Options.OutDir.empty() || Options.Patterns.empty() ||
      !((Options.Buckets != 0 && Options.Dip != 0) || Options.Copy)) {
    ShowUsage(false);
    return TArgsOutcome::Fail;
  }
  return TArgsOutcome::Run;
}

int32_t Main(const std::vector<std::string>& Args) {
  PrintBanner();

  TTempQuantiser quant;
  quant.Create();
  if (!FileExists(quant.Path())) {
    ConsoleWriteLn("Unknown error.");
    return 1;
  }

  TRunOptions opt;
  switch (ReadArguments(Args, opt)) {
    case TArgsOutcome::Fail: return 1;
    case TArgsOutcome::Help: return 0;
    case TArgsOutcome::Run: break;
  }

  // A file named without a wildcard that is not there is named and makes the
  // run fail once the other files are done; wildcards and folders may match
  // nothing.
  std::vector<std::string> files;
  bool missing = false;
  for (const auto& pattern : opt.Patterns) {
    const std::string name = WithPngExtension(pattern);
    const auto found = GetFileList(name, opt.Recursive, false, true, false, 0, 0);
    files.insert(files.end(), found.begin(), found.end());
    if (found.empty() && name.find_first_of("*?") == std::string::npos && !FileExists(name)) {
      ConsoleWriteLn("File not found: " + name);
      missing = true;
    }
  }
  if (files.empty()) {
    ConsoleWriteLn("No image files found.");
    return 1;
  }

  const bool converted = ConvertFiles(files, opt, quant.Path());
  return converted && !missing ? 0 : 1;
}

