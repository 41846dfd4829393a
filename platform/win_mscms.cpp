// "mscms.dll" over Little CMS 2 (see win_mscms.h).

#include "platform/win_mscms.h"

#include <lcms2.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

// The file name under which the system keeps its sRGB profile; Little CMS
// builds the same profile itself.
constexpr const char* kSystemSRGBName = "sRGB Color Space Profile.icm";
// Where profiles named without a folder are looked for.
constexpr const char* kColorDirectory = "/usr/share/color/icc/";

struct ProfileRef {
  cmsHPROFILE h = nullptr;
  explicit ProfileRef(cmsHPROFILE p) : h(p) {}
  ~ProfileRef() {
    if (h) cmsCloseProfile(h);
  }
  ProfileRef(const ProfileRef&) = delete;
  ProfileRef& operator=(const ProfileRef&) = delete;
};

// What an HPROFILE points at. A transform keeps its own references, so a
// profile may be closed while transforms made from it live on.
struct MscmsProfile {
  std::shared_ptr<ProfileRef> ref;
};

// What an HTRANSFORM points at: the chain of profiles and the Little CMS
// transforms made from it, one per pair of colour types asked for.
struct MscmsTransform {
  std::vector<std::shared_ptr<ProfileRef>> profiles;
  std::vector<cmsUInt32Number> intents;
  std::vector<cmsBool> bpc;
  std::vector<cmsFloat64Number> adaptation;
  cmsUInt32Number lcmsFlags = 0;
  std::mutex lock;
  std::map<std::pair<int32_t, int32_t>, cmsHTRANSFORM> xforms;
  ~MscmsTransform() {
    for (auto& kv : xforms)
      if (kv.second) cmsDeleteTransform(kv.second);
  }
};

std::atomic<bool> g_libraryPresent{true};
// Trivially destructible: profiles freed during exit may still bind.
char g_missingEntryPoint[64] = "";
std::mutex g_simLock;
std::atomic<uint32_t> g_transformsCreated{0};
std::atomic<int32_t> g_moduleUses{0};
int g_moduleTag = 0;  // its address is the module handle

bool EqualNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char ca = *a, cb = *b;
    if (ca >= 'A' && ca <= 'Z') ca = char(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = char(cb - 'A' + 'a');
    if (ca != cb) return false;
  }
  return *a == *b;
}

// Channels of a colour type, 0 for types this library does not translate.
int ChannelsOfType(int32_t ct) {
  switch (ct) {
    case COLOR_GRAY: return 1;
    case COLOR_RGB:
    case COLOR_Lab:
    case COLOR_3_CHANNEL: return 3;
    case COLOR_CMYK: return 4;
    default: return 0;
  }
}

// Little CMS layout of an array of COLOR entries of the given type.
cmsUInt32Number FormatOfType(int32_t ct) {
  switch (ct) {
    case COLOR_GRAY: return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(2) | EXTRA_SH(3);
    case COLOR_RGB: return COLORSPACE_SH(PT_RGB) | CHANNELS_SH(3) | BYTES_SH(2) | EXTRA_SH(1);
    case COLOR_3_CHANNEL: return COLORSPACE_SH(PT_ANY) | CHANNELS_SH(3) | BYTES_SH(2) | EXTRA_SH(1);
    case COLOR_CMYK: return COLORSPACE_SH(PT_CMYK) | CHANNELS_SH(4) | BYTES_SH(2);
    case COLOR_Lab: return TYPE_Lab_DBL;  // entries are converted to and from doubles
    default: return 0;
  }
}

// The colour type that matches a profile's colour space, 0 when none does.
int32_t TypeOfSpace(cmsColorSpaceSignature s) {
  switch (s) {
    case cmsSigGrayData: return COLOR_GRAY;
    case cmsSigRgbData: return COLOR_RGB;
    case cmsSigCmykData: return COLOR_CMYK;
    case cmsSigLabData: return COLOR_Lab;
    default: return cmsChannelsOf(s) == 3 ? COLOR_3_CHANNEL : 0;
  }
}

cmsHTRANSFORM GetXform(MscmsTransform* t, int32_t ctIn, int32_t ctOut) {
  std::lock_guard<std::mutex> g(t->lock);
  auto key = std::make_pair(ctIn, ctOut);
  auto it = t->xforms.find(key);
  if (it != t->xforms.end()) return it->second;
  cmsHTRANSFORM x = nullptr;
  cmsHPROFILE first = t->profiles.front()->h;
  cmsHPROFILE last = t->profiles.back()->h;
  int chIn = ChannelsOfType(ctIn), chOut = ChannelsOfType(ctOut);
  bool ok = chIn != 0 && chOut != 0;
  if (ok && ctIn == COLOR_Lab) ok = cmsGetColorSpace(first) == cmsSigLabData;
  if (ok && ctOut == COLOR_Lab) {
    cmsColorSpaceSignature outSpace =
        cmsGetDeviceClass(last) == cmsSigLinkClass ? cmsGetPCS(last) : cmsGetColorSpace(last);
    ok = outSpace == cmsSigLabData;
  }
  if (ok) ok = int(cmsChannelsOf(cmsGetColorSpace(first))) == chIn;
  if (ok) {
    std::vector<cmsHPROFILE> hs;
    for (auto& p : t->profiles) hs.push_back(p->h);
    // A precalculated table of a four-ink input interpolates the whole chain
    // (the profile's table, the output's steep tone curve near black, gamut
    // clipping) on a coarse 4-D grid and lands up to 30 levels off; such
    // inputs are evaluated stage by stage instead.
    const cmsUInt32Number flags = chIn >= 4 ? cmsUInt32Number(cmsFLAGS_NOOPTIMIZE) : t->lcmsFlags;
    x = cmsCreateExtendedTransform(nullptr, cmsUInt32Number(hs.size()), hs.data(), t->bpc.data(),
                                   t->intents.data(), t->adaptation.data(), nullptr, 0, FormatOfType(ctIn),
                                   FormatOfType(ctOut), flags);
  }
  t->xforms[key] = x;  // a failure is remembered too
  return x;
}

uint16_t Clamp16(double v) {
  if (!(v > 0)) return 0;
  if (v >= 65535.0) return 65535;
  return uint16_t(std::nearbyint(v));
}

// ---- the five entry points ----

HPROFILE OpenColorProfileA_(PROFILE* pProfile, uint32_t dwDesiredAccess, uint32_t /*dwShareMode*/,
                            uint32_t /*dwCreationMode*/) {
  if (!pProfile || !pProfile->pProfileData) return nullptr;
  if (dwDesiredAccess != PROFILE_READ && dwDesiredAccess != PROFILE_READWRITE) return nullptr;
  cmsHPROFILE h = nullptr;
  if (pProfile->dwType == PROFILE_MEMBUFFER) {
    if (pProfile->cbDataSize == 0) return nullptr;
    h = cmsOpenProfileFromMem(pProfile->pProfileData, pProfile->cbDataSize);
  } else if (pProfile->dwType == PROFILE_FILENAME) {
    const char* p = static_cast<const char*>(pProfile->pProfileData);
    std::string name(p, strnlen(p, pProfile->cbDataSize ? pProfile->cbDataSize : 4096));
    if (EqualNoCase(name.c_str(), kSystemSRGBName)) {
      // Every bitmap opens it: build it once and share it (profiles are
      // only read once built).
      static std::mutex srgbLock;
      static std::shared_ptr<ProfileRef> srgb;
      std::lock_guard<std::mutex> g(srgbLock);
      if (!srgb) {
        cmsHPROFILE p = cmsCreate_sRGBProfile();
        if (!p) return nullptr;
        srgb = std::make_shared<ProfileRef>(p);
      }
      auto* prof = new MscmsProfile;
      prof->ref = srgb;
      return prof;
    } else {
      std::string path = name.find('/') == std::string::npos ? kColorDirectory + name : name;
      h = cmsOpenProfileFromFile(path.c_str(), "r");
    }
  }
  if (!h) return nullptr;
  auto* prof = new MscmsProfile;
  prof->ref = std::make_shared<ProfileRef>(h);
  return prof;
}

int32_t CloseColorProfile_(HPROFILE hProfile) {
  if (!hProfile) return 0;
  delete static_cast<MscmsProfile*>(hProfile);
  return 1;
}

HTRANSFORM CreateMultiProfileTransform_(HPROFILE* pahProfiles, uint32_t nProfiles, uint32_t* padwIntent,
                                        uint32_t nIntents, uint32_t dwFlags, uint32_t /*indexPreferredCMM*/) {
  if (!pahProfiles || nProfiles < 1 || nProfiles > 255 || !padwIntent || nIntents < 1) return nullptr;
  auto t = std::make_unique<MscmsTransform>();
  for (uint32_t i = 0; i < nProfiles; ++i) {
    if (!pahProfiles[i]) return nullptr;
    t->profiles.push_back(static_cast<MscmsProfile*>(pahProfiles[i])->ref);
    uint32_t intent = padwIntent[std::min(i, nIntents - 1)];
    if (intent > 3) return nullptr;
    t->intents.push_back(intent);
    t->bpc.push_back(FALSE);
    t->adaptation.push_back(cmsSetAdaptationState(-1));
  }
  // Precision of the precalculated tables follows the mode. The
  // relative-colorimetric flag concerns the proofing step of the original
  // interface; no proof transform is made here.
  switch (dwFlags & 0xFFFF) {
    case BEST_MODE: t->lcmsFlags = cmsFLAGS_HIGHRESPRECALC; break;
    case PROOF_MODE: t->lcmsFlags = cmsFLAGS_LOWRESPRECALC; break;
    default: t->lcmsFlags = 0; break;
  }
  // Refuse chains that cannot be linked, as the system does when creating.
  cmsHPROFILE first = t->profiles.front()->h;
  cmsHPROFILE last = t->profiles.back()->h;
  int32_t ctIn = TypeOfSpace(cmsGetColorSpace(first));
  int32_t ctOut = TypeOfSpace(cmsGetDeviceClass(last) == cmsSigLinkClass ? cmsGetPCS(last)
                                                                         : cmsGetColorSpace(last));
  if (ctIn == 0 || ctOut == 0 || !GetXform(t.get(), ctIn, ctOut)) return nullptr;
  g_transformsCreated.fetch_add(1);
  return t.release();
}

int32_t DeleteColorTransform_(HTRANSFORM hColorTransform) {
  if (!hColorTransform) return 0;
  delete static_cast<MscmsTransform*>(hColorTransform);
  return 1;
}

int32_t TranslateColors_(HTRANSFORM hColorTransform, COLOR* paInputColors, uint32_t nColors, int32_t ctInput,
                         COLOR* paOutputColors, int32_t ctOutput) {
  if (!hColorTransform || (!paInputColors && nColors) || (!paOutputColors && nColors)) return 0;
  auto* t = static_cast<MscmsTransform*>(hColorTransform);
  cmsHTRANSFORM x = GetXform(t, ctInput, ctOutput);
  if (!x) return 0;
  if (nColors == 0) return 1;
  const void* in = paInputColors;
  std::vector<cmsCIELab> labIn, labOut;
  if (ctInput == COLOR_Lab) {
    labIn.resize(nColors);
    for (uint32_t i = 0; i < nColors; ++i) {
      const uint16_t* c = paInputColors[i].channel;
      labIn[i].L = c[0] * 100.0 / 65535.0;
      labIn[i].a = c[1] / 257.0 - 127.0;
      labIn[i].b = c[2] / 257.0 - 127.0;
    }
    in = labIn.data();
  }
  void* out = paOutputColors;
  if (ctOutput == COLOR_Lab) {
    labOut.resize(nColors);
    out = labOut.data();
  }
  cmsDoTransform(x, in, out, nColors);
  if (ctOutput == COLOR_Lab) {
    for (uint32_t i = 0; i < nColors; ++i) {
      uint16_t* c = paOutputColors[i].channel;
      c[0] = Clamp16(labOut[i].L * 65535.0 / 100.0);
      c[1] = Clamp16((labOut[i].a + 127.0) * 257.0);
      c[2] = Clamp16((labOut[i].b + 127.0) * 257.0);
    }
  }
  return 1;
}

}  // namespace

HMSCMSMODULE MscmsLoadLibrary(const char* Name) {
  if (!Name || !g_libraryPresent.load() || !EqualNoCase(Name, "mscms.dll")) return nullptr;
  g_moduleUses.fetch_add(1);
  return &g_moduleTag;
}

void* MscmsGetProcAddress(HMSCMSMODULE Module, const char* ProcName) {
  if (Module != &g_moduleTag || !ProcName) return nullptr;
  {
    std::lock_guard<std::mutex> g(g_simLock);
    if (g_missingEntryPoint[0] && std::strcmp(g_missingEntryPoint, ProcName) == 0) return nullptr;
  }
  if (std::strcmp(ProcName, "OpenColorProfileA") == 0)
    return reinterpret_cast<void*>(static_cast<TOpenColorProfileA>(OpenColorProfileA_));
  if (std::strcmp(ProcName, "CloseColorProfile") == 0)
    return reinterpret_cast<void*>(static_cast<TCloseColorProfile>(CloseColorProfile_));
  if (std::strcmp(ProcName, "CreateMultiProfileTransform") == 0)
    return reinterpret_cast<void*>(static_cast<TCreateMultiProfileTransform>(CreateMultiProfileTransform_));
  if (std::strcmp(ProcName, "DeleteColorTransform") == 0)
    return reinterpret_cast<void*>(static_cast<TDeleteColorTransform>(DeleteColorTransform_));
  if (std::strcmp(ProcName, "TranslateColors") == 0)
    return reinterpret_cast<void*>(static_cast<TTranslateColors>(TranslateColors_));
  return nullptr;
}

void MscmsFreeLibrary(HMSCMSMODULE Module) {
  if (Module == &g_moduleTag && g_moduleUses.load() > 0) g_moduleUses.fetch_sub(1);
}

void MscmsSimulate(bool LibraryPresent, const char* MissingEntryPoint) {
  g_libraryPresent.store(LibraryPresent);
  std::lock_guard<std::mutex> g(g_simLock);
  std::snprintf(g_missingEntryPoint, sizeof g_missingEntryPoint, "%s", MissingEntryPoint ? MissingEntryPoint : "");
}

uint32_t MscmsTransformsCreated() { return g_transformsCreated.load(); }
