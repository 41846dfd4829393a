// The Windows colour-management library "mscms.dll" in the shape its callers
// bind it: loaded by name, five entry points looked up by name. Little CMS 2
// does the work behind the entry points.
//
// Colour entries are four 16-bit channels (8 bytes). RGB entries hold red,
// green, blue; CMYK entries the four ink amounts (0 = no ink); grey the level;
// Lab entries L in 0..0xFFFF for 0..100 and a, b as (value + 127) x 257,
// clamped to 0..0xFFFF.
#pragma once
#include <cstdint>

using HPROFILE = void*;
using HTRANSFORM = void*;
using HMSCMSMODULE = void*;

// PROFILE.dwType
constexpr uint32_t PROFILE_FILENAME = 1;
constexpr uint32_t PROFILE_MEMBUFFER = 2;
// dwDesiredAccess
constexpr uint32_t PROFILE_READ = 1;
constexpr uint32_t PROFILE_READWRITE = 2;

struct PROFILE {
  uint32_t dwType = 0;
  void* pProfileData = nullptr;  // the bytes, or a NUL-terminated file name
  uint32_t cbDataSize = 0;
};

// COLORTYPE
constexpr int32_t COLOR_GRAY = 1;
constexpr int32_t COLOR_RGB = 2;
constexpr int32_t COLOR_XYZ = 3;
constexpr int32_t COLOR_Yxy = 4;
constexpr int32_t COLOR_Lab = 5;
constexpr int32_t COLOR_3_CHANNEL = 6;
constexpr int32_t COLOR_CMYK = 7;

// Transform flags
constexpr uint32_t PROOF_MODE = 0x00000001;
constexpr uint32_t NORMAL_MODE = 0x00000002;
constexpr uint32_t BEST_MODE = 0x00000003;
constexpr uint32_t ENABLE_GAMUT_CHECKING = 0x00010000;
constexpr uint32_t USE_RELATIVE_COLORIMETRIC = 0x00020000;
constexpr uint32_t FAST_TRANSLATE = 0x00040000;

struct COLOR {
  uint16_t channel[4];
};
static_assert(sizeof(COLOR) == 8, "a colour entry is four 16-bit channels");

// Signatures of the five entry points.
using TOpenColorProfileA = HPROFILE (*)(PROFILE* pProfile, uint32_t dwDesiredAccess, uint32_t dwShareMode,
                                        uint32_t dwCreationMode);
using TCloseColorProfile = int32_t (*)(HPROFILE hProfile);
using TCreateMultiProfileTransform = HTRANSFORM (*)(HPROFILE* pahProfiles, uint32_t nProfiles,
                                                    uint32_t* padwIntent, uint32_t nIntents, uint32_t dwFlags,
                                                    uint32_t indexPreferredCMM);
using TDeleteColorTransform = int32_t (*)(HTRANSFORM hColorTransform);
using TTranslateColors = int32_t (*)(HTRANSFORM hColorTransform, COLOR* paInputColors, uint32_t nColors,
                                     int32_t ctInput, COLOR* paOutputColors, int32_t ctOutput);

// Loading the library by name: only "mscms.dll" (any letter case) is known.
// Returns nullptr when the name is unknown or the library is switched off.
HMSCMSMODULE MscmsLoadLibrary(const char* Name);
// The address of an entry point by name, nullptr when there is none.
void* MscmsGetProcAddress(HMSCMSMODULE Module, const char* ProcName);
void MscmsFreeLibrary(HMSCMSMODULE Module);

// For tests: pretend the library is missing, or that it lacks one entry
// point (nullptr: none missing).
void MscmsSimulate(bool LibraryPresent, const char* MissingEntryPoint = nullptr);
// Number of transforms created by CreateMultiProfileTransform so far.
uint32_t MscmsTransformsCreated();
