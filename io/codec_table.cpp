#include "io/codec_table.h"

#include "core/settings.h"
#include "io/fileformats.h"

#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct TCodecState {
  std::mutex Lock;
  std::map<int32_t, TVXCodecOps> Ops;
  std::vector<std::pair<TVXHookProc, TVXHookProc>> Modules;
};

// Built on first use: codec modules add themselves from static initializers,
// whose order against this file's is not fixed.
TCodecState& State() {
  static TCodecState state;
  return state;
}

}  // namespace

void VXSetCodecOps(int32_t FileType, const TVXCodecOps& Ops) {
  TCodecState& s = State();
  std::lock_guard lock(s.Lock);
  s.Ops[FileType] = Ops;
}

const TVXCodecOps* VXFindCodecOps(int32_t FileType) {
  TCodecState& s = State();
  std::lock_guard lock(s.Lock);
  const auto it = s.Ops.find(FileType);
  return it == s.Ops.end() ? nullptr : &it->second;
}

const TVXCodecOps& VXRequireCodecOps(int32_t FileType, TVXCodecOperation Operation) {
  const TVXCodecOps* ops = VXFindCodecOps(FileType);
  bool has = false;
  if (ops != nullptr) switch (Operation) {
      case vxcoLoad: has = ops->Read != nullptr; break;
      case vxcoSave: has = ops->Write != nullptr; break;
      case vxcoReadParams: has = ops->ReadParams != nullptr || ops->Read != nullptr; break;
      case vxcoCount: has = ops->ImageCount != nullptr; break;
      case vxcoDelete: has = ops->DeleteImage != nullptr || ops->DeleteStreamImage != nullptr; break;
      case vxcoInsert: has = ops->InsertImage != nullptr; break;
      case vxcoInjectIPTC: has = ops->InjectIPTC != nullptr; break;
      case vxcoInjectEXIF: has = ops->InjectEXIF != nullptr; break;
      case vxcoUpdateHeader: has = ops->UpdateHeader != nullptr; break;
      case vxcoDocument:
        has = ops->CreateDocument != nullptr && ops->AddPage != nullptr && ops->CloseDocument != nullptr;
        break;
    }
  if (has) return *ops;
  if (ops == nullptr) VXRequireLibraryStartup();
  static const char* const kVerbs[] = {"load", "save", "read the parameters of", "count the images of",
                                       "delete an image of", "insert an image into",
                                       "inject IPTC records into", "update the header of",
                                       "write a document of", "inject EXIF into"};
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(FileType);
  const std::string name = info ? info->FullName : "file type " + std::to_string(FileType);
  throw EVXException(std::string("Cannot ") + kVerbs[Operation] + " " + name + ": no codec is registered for it");
}

void VXClearCodecOps() {
  TCodecState& s = State();
  std::lock_guard lock(s.Lock);
  s.Ops.clear();
}

void VXAddCodecModule(TVXHookProc Startup, TVXHookProc Shutdown) {
  TCodecState& s = State();
  std::lock_guard lock(s.Lock);
  for (const auto& m : s.Modules)
    if (m.first == Startup && m.second == Shutdown) return;
  s.Modules.emplace_back(Startup, Shutdown);
}

bool VXCodecModulesAdded() {
  TCodecState& s = State();
  std::lock_guard lock(s.Lock);
  return !s.Modules.empty();
}

void VXRequireLibraryStartup() {
  if (!VXCodecModulesAdded())
    throw EVXException(
        "No codec module is linked into this program (the codecs library's start-up object is missing): link "
        "the library through find_package(Vexlane) or pkg-config (vexlane), or start it with a TVexlaneLibrary "
        "(vexlane/vexlane.h)");
  if (VXGetGlobalSettings()->FileFormats().empty())
    throw EVXException(
        "The library has not been started: hold a TVexlaneLibrary (vexlane/vexlane.h) or a TVXLibraryGuard "
        "(core/startup.h) for the life of main");
}

void VXStartCodecModules() {
  std::vector<std::pair<TVXHookProc, TVXHookProc>> modules;
  {
    TCodecState& s = State();
    std::lock_guard lock(s.Lock);
    modules = s.Modules;
  }
  for (const auto& m : modules)
    if (m.first) m.first();
}

void VXStopCodecModules() {
  std::vector<std::pair<TVXHookProc, TVXHookProc>> modules;
  {
    TCodecState& s = State();
    std::lock_guard lock(s.Lock);
    modules = s.Modules;
  }
  for (auto it = modules.rbegin(); it != modules.rend(); ++it)
    if (it->second) it->second();
}
