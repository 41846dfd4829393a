// Loader of the optional computer-vision library.

#include "core/vision.h"

#include <dlfcn.h>

#include <mutex>

#include "core/startup.h"

namespace {

std::recursive_mutex g_visionLock;
void* g_visionModule = nullptr;
TVXVisionBase* g_visionIntf = nullptr;
TVXVisionLibraryCreate g_visionCreate = nullptr;
// A second library slot that nothing fills here; the shut-down releases it
// when it is set.
void* g_visionModule2 = nullptr;
TVXVisionBase* g_visionIntf2 = nullptr;

const char* const kVisionLibraryNames[] = {"vxvision.dll", "vxvision32.dll", "vxvision64.dll",
                                           "vxlib.dll",    "vxlib32.dll",    "vxlib64.dll"};

void UnloadLocked() {
  if (!g_visionModule) return;
  if (g_visionIntf) g_visionIntf->Release();
  g_visionIntf = nullptr;
  g_visionCreate = nullptr;
  dlclose(g_visionModule);
  g_visionModule = nullptr;
}

}  // namespace

void VXTryLoadVisionDll(const std::string& FileName) {
  std::lock_guard<std::recursive_mutex> g(g_visionLock);
  if (g_visionModule || FileName.empty()) return;
  // The library is part of a program, never itself a loadable module, so
  // there is no module folder to retry from.
  void* h = dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) return;
  auto create = reinterpret_cast<TVXVisionLibraryCreate>(dlsym(h, "vxv_Library_create"));
  if (!create) {
    dlclose(h);
    return;
  }
  g_visionModule = h;
  g_visionCreate = create;
  g_visionIntf = nullptr;
  create(&g_visionIntf);
}

void VXLoadVisionLibrary(const std::string& FileName, bool Reload) {
  std::lock_guard<std::recursive_mutex> g(g_visionLock);
  if (Reload) UnloadLocked();
  if (!FileName.empty()) {
    VXTryLoadVisionDll(FileName);
  } else {
    for (const char* name : kVisionLibraryNames) VXTryLoadVisionDll(name);
  }
}

TVXVisionBase* VXGetVisionLibrary() {
  std::lock_guard<std::recursive_mutex> g(g_visionLock);
  if (!g_visionModule || !g_visionIntf) VXLoadVisionLibrary(std::string(), false);
  if (g_visionIntf) g_visionIntf->AddRef();
  return g_visionIntf;
}

void VXUnloadVisionLibrary() {
  std::lock_guard<std::recursive_mutex> g(g_visionLock);
  UnloadLocked();
}

void VXReleaseSecondVisionLibrary() {
  std::lock_guard<std::recursive_mutex> g(g_visionLock);
  if (g_visionIntf2) g_visionIntf2->Release();
  g_visionIntf2 = nullptr;
  if (g_visionModule2) dlclose(g_visionModule2);
  g_visionModule2 = nullptr;
}

void VXPixelFormatToVisionType(TVXPixelFormat PixelFormat, uint32_t& Depth, int32_t& Channels) {
  switch (PixelFormat) {
    case vx1g: Depth = 0xA0000001u; Channels = 1; break;
    case vx8p:
    case vx8g: Depth = 0; Channels = 1; break;
    case vx16g: Depth = 2; Channels = 1; break;
    case vx24RGB:
    case vxCIELab: Depth = 0; Channels = 3; break;
    case vx32f: Depth = 5; Channels = 1; break;
    case vxCMYK:
    case vx32RGB: Depth = 0; Channels = 4; break;
    case vx48RGB: Depth = 2; Channels = 3; break;
    default: Depth = 0; Channels = 0; break;
  }
}

TVXPixelFormat VXVisionTypeToPixelFormat(uint32_t Depth, int32_t Channels) {
  if (Depth == 0xA0000001u && Channels == 1) return vx1g;
  if (Depth == 0) {
    if (Channels == 1) return vx8g;
    if (Channels == 3) return vx24RGB;
    if (Channels == 4) return vx32RGB;
  }
  if (Depth == 2) {
    if (Channels == 1) return vx16g;
    if (Channels == 3) return vx48RGB;
  }
  if (Depth == 5 && Channels == 1) return vx32f;
  return vxnull;
}


// The text-recognition languages of the vision library: ISO 639-2
// terminology codes with their English names, ordered by name.
const TVXVisionLanguages VXVisionLanguages[VXVisionLanguagesCount] = {
    {"afr", "Afrikaans"},
    {"sqi", "Albanian"},
    {"ara", "Arabic"},
    {"hye", "Armenian"},
    {"aze", "Azerbaijani"},
    {"eus", "Basque"},
    {"bel", "Belarusian"},
    {"ben", "Bengali"},
    {"bos", "Bosnian"},
    {"bul", "Bulgarian"},
    {"cat", "Catalan"},
    {"zho", "Chinese"},
    {"hrv", "Croatian"},
    {"ces", "Czech"},
    {"dan", "Danish"},
    {"nld", "Dutch"},
    {"eng", "English"},
    {"est", "Estonian"},
    {"fin", "Finnish"},
    {"fra", "French"},
    {"glg", "Galician"},
    {"kat", "Georgian"},
    {"deu", "German"},
    {"ell", "Greek"},
    {"guj", "Gujarati"},
    {"heb", "Hebrew"},
    {"hin", "Hindi"},
    {"hun", "Hungarian"},
    {"isl", "Icelandic"},
    {"ind", "Indonesian"},
    {"gle", "Irish"},
    {"ita", "Italian"},
    {"jpn", "Japanese"},
    {"kan", "Kannada"},
    {"kaz", "Kazakh"},
    {"kor", "Korean"},
    {"lav", "Latvian"},
    {"lit", "Lithuanian"},
    {"mkd", "Macedonian"},
    {"msa", "Malay"},
    {"mal", "Malayalam"},
    {"mlt", "Maltese"},
    {"mar", "Marathi"},
    {"nep", "Nepali"},
    {"nor", "Norwegian"},
    {"pan", "Panjabi"},
    {"fas", "Persian"},
    {"pol", "Polish"},
    {"por", "Portuguese"},
    {"ron", "Romanian"},
    {"rus", "Russian"},
    {"srp", "Serbian"},
    {"slk", "Slovak"},
    {"slv", "Slovenian"},
    {"spa", "Spanish"},
    {"swa", "Swahili"},
    {"swe", "Swedish"},
    {"tam", "Tamil"},
    {"tel", "Telugu"},
    {"tha", "Thai"},
    {"tur", "Turkish"},
    {"ukr", "Ukrainian"},
    {"urd", "Urdu"},
    {"vie", "Vietnamese"},
    {"cym", "Welsh"},
};
