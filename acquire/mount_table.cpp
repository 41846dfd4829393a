// Mounted volumes as devices.
#include "acquire/mount_table.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

std::mutex gLock;
std::string gFile = "/proc/self/mounts";
std::string gRoot;

// Limits of what is read: a table larger than this is cut, so that a
// strange file cannot take the memory.
constexpr size_t kMaxTableBytes = 4u << 20;

int OctalDigit(char c) { return (c >= '0' && c <= '7') ? c - '0' : -1; }

// Undoes the table's escapes; false for a malformed escape.
bool Unescape(const std::string& Field, std::string& Out) {
  Out.clear();
  for (size_t i = 0; i < Field.size(); ++i) {
    if (Field[i] == '\0') return false;  // no path or name holds a zero byte
    if (Field[i] != '\\') {
      Out += Field[i];
      continue;
    }
    if (i + 3 >= Field.size()) return false;
    const int a = OctalDigit(Field[i + 1]), b = OctalDigit(Field[i + 2]), c = OctalDigit(Field[i + 3]);
    if (a < 0 || b < 0 || c < 0) return false;
    const int v = a * 64 + b * 8 + c;
    if (v == 0 || v > 255) return false;
    Out += char(v);
    i += 3;
  }
  return true;
}

// "\x20" escapes of /dev/disk/by-label names.
std::string UnescapeLabel(const std::string& Name) {
  std::string out;
  for (size_t i = 0; i < Name.size(); ++i) {
    if (Name[i] == '\\' && i + 3 < Name.size() && Name[i + 1] == 'x' && std::isxdigit(uint8_t(Name[i + 2])) &&
        std::isxdigit(uint8_t(Name[i + 3]))) {
      const int v = std::stoi(Name.substr(i + 2, 2), nullptr, 16);
      if (v != 0) {
        out += char(v);
        i += 3;
        continue;
      }
    }
    out += Name[i];
  }
  return out;
}

std::string BaseName(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool IsDir(const std::string& Path) {
  struct stat st {};
  return ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The volume's label from Root/dev/disk/by-label, or empty.
std::string LabelOf(const std::string& Root, const std::string& Device) {
  if (Device.empty() || Device[0] != '/') return {};
  const std::string dir = Root + "/dev/disk/by-label";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return {};
  std::string label;
  const std::string device = BaseName(Device);
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    char target[4096];
    const ssize_t n = ::readlink((dir + "/" + name).c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = 0;
    if (BaseName(target) == device) {
      label = UnescapeLabel(name);
      break;
    }
  }
  ::closedir(d);
  return label;
}

// The DCIM folder's name in that folder (any case), or empty.
bool HasDcimFolder(const std::string& Folder) {
  DIR* d = ::opendir(Folder.c_str());
  if (!d) return false;
  bool found = false;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.size() != 4) continue;
    for (char& c : name) c = char(std::toupper(uint8_t(c)));
    if (name == "DCIM" && IsDir(Folder + "/" + e->d_name)) {
      found = true;
      break;
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace

bool VXParseMountLine(const std::string& Line, TVXMountEntry& Entry) {
  std::vector<std::string> fields;
  size_t i = 0;
  while (i < Line.size() && fields.size() < 6) {
    while (i < Line.size() && (Line[i] == ' ' || Line[i] == '\t')) ++i;
    if (i >= Line.size()) break;
    const size_t start = i;
    while (i < Line.size() && Line[i] != ' ' && Line[i] != '\t') ++i;
    fields.push_back(Line.substr(start, i - start));
  }
  if (fields.size() < 4 || fields[0][0] == '#') return false;
  TVXMountEntry e;
  if (!Unescape(fields[0], e.Device) || !Unescape(fields[1], e.MountPoint) || !Unescape(fields[2], e.FSType) ||
      !Unescape(fields[3], e.Options))
    return false;
  if (e.MountPoint.empty() || e.MountPoint[0] != '/') return false;
  Entry = std::move(e);
  return true;
}

std::vector<TVXMountEntry> VXReadMountTable(const std::string& Text) {
  std::vector<TVXMountEntry> entries;
  size_t start = 0;
  while (start < Text.size()) {
    size_t end = Text.find('\n', start);
    if (end == std::string::npos) end = Text.size();
    TVXMountEntry e;
    if (VXParseMountLine(Text.substr(start, end - start), e)) entries.push_back(std::move(e));
    start = end + 1;
  }
  return entries;
}

bool VXIsRemovableMountPoint(const std::string& MountPoint) {
  if (MountPoint.empty() || MountPoint[0] != '/') return false;
  for (size_t s = 0; s < MountPoint.size();) {
    size_t n = MountPoint.find('/', s + 1);
    if (n == std::string::npos) n = MountPoint.size();
    const std::string name = MountPoint.substr(s + 1, n - s - 1);
    if (name == "." || name == "..") return false;
    s = n;
  }
  for (const char* prefix : {"/media/", "/run/media/", "/mnt/"}) {
    const std::string p = prefix;
    if (MountPoint.size() > p.size() && MountPoint.compare(0, p.size(), p) == 0) return true;
  }
  return MountPoint == "/mnt";
}

bool VXIsReadOnlyMount(const std::string& Options) {
  std::stringstream s(Options);
  std::string option;
  while (std::getline(s, option, ','))
    if (option == "ro") return true;
  return false;
}

void VXSetMountTableLocation(const std::string& File, const std::string& Root) {
  std::lock_guard<std::mutex> guard(gLock);
  gFile = File;
  gRoot = Root;
  while (!gRoot.empty() && gRoot.back() == '/') gRoot.pop_back();
}

void VXAddMountedVolumeDevices(std::vector<TVXStoreDevice>& Devices) {
  std::string file, root;
  {
    std::lock_guard<std::mutex> guard(gLock);
    file = gFile;
    root = gRoot;
  }
  if (file.empty()) return;
  std::ifstream in(file, std::ios::binary);
  if (!in) return;
  std::string text(kMaxTableBytes, '\0');
  in.read(text.data(), std::streamsize(text.size()));
  text.resize(size_t(in.gcount()));
  std::vector<TVXMountEntry> removable;
  for (TVXMountEntry& e : VXReadMountTable(text)) {
    if (!VXIsRemovableMountPoint(e.MountPoint)) continue;
    // A later mount on the same point hides the earlier one.
    for (size_t i = 0; i < removable.size(); ++i)
      if (removable[i].MountPoint == e.MountPoint) removable.erase(removable.begin() + std::ptrdiff_t(i));
    removable.push_back(std::move(e));
  }
  for (const TVXMountEntry& e : removable) {
    const std::string folder = root + e.MountPoint;
    if (!IsDir(folder) || !HasDcimFolder(folder)) continue;
    std::string label = LabelOf(root, e.Device);
    if (label.empty()) label = BaseName(e.MountPoint);
    TVXStoreDevice d;
    d.ID = "mount:" + e.MountPoint;
    d.FriendlyName = label + " (" + e.MountPoint + ")";
    d.Description = "Removable volume";
    d.IsDrive = true;
    d.Store = VXCreateFolderTreeStore(folder, VXIsReadOnlyMount(e.Options), d.FriendlyName, true, label);
    Devices.push_back(std::move(d));
  }
}
