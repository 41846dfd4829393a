// Version resources in the VS_VERSIONINFO layout. An executable carries its block
// in the ELF section ".vxversion"; the three reader calls take it from a named file.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

constexpr uint32_t VS_FFI_SIGNATURE = 0xFEEF04BDu;
constexpr uint32_t VS_FFI_STRUCVERSION = 0x00010000u;
constexpr uint32_t VS_FF_DEBUG = 0x01;
constexpr uint32_t VS_FF_PRERELEASE = 0x02;
constexpr uint32_t VS_FF_PATCHED = 0x04;
constexpr uint32_t VS_FF_PRIVATEBUILD = 0x08;
constexpr uint32_t VS_FF_INFOINFERRED = 0x10;
constexpr uint32_t VS_FF_SPECIALBUILD = 0x20;
constexpr uint32_t VOS_NT_WINDOWS32 = 0x00040004u;
constexpr uint32_t VFT_APP = 1;

// Name of the ELF section that holds the block.
inline constexpr const char* kVersionSectionName = ".vxversion";

struct VS_FIXEDFILEINFO {
  uint32_t dwSignature = VS_FFI_SIGNATURE;
  uint32_t dwStrucVersion = VS_FFI_STRUCVERSION;
  uint32_t dwFileVersionMS = 0;
  uint32_t dwFileVersionLS = 0;
  uint32_t dwProductVersionMS = 0;
  uint32_t dwProductVersionLS = 0;
  uint32_t dwFileFlagsMask = 0x3F;
  uint32_t dwFileFlags = 0;
  uint32_t dwFileOS = VOS_NT_WINDOWS32;
  uint32_t dwFileType = VFT_APP;
  uint32_t dwFileSubtype = 0;
  uint32_t dwFileDateMS = 0;
  uint32_t dwFileDateLS = 0;
};

// Reads the 13 little-endian words of a fixed-info value (at least 52 bytes).
VS_FIXEDFILEINFO ReadFixedFileInfo(const void* Data);

// What a version block is made of.
struct TVersionBlockContents {
  VS_FIXEDFILEINFO Fixed;
  uint16_t Language = 0x0407;
  uint16_t CodePage = 1252;
  std::vector<std::pair<std::string, std::string>> Strings;  // key, value (UTF-8)
  bool WithTranslation = true;  // false leaves out VarFileInfo
};

// Builds the whole VS_VERSIONINFO block (little endian, 32-bit aligned).
std::vector<uint8_t> BuildVersionInfoBlock(const TVersionBlockContents& Contents);

// Size of the version block of the file, 0 when it has none. Handle is set to 0.
uint32_t GetFileVersionInfoSizeW(const std::string& FileName, uint32_t* Handle);
// Copies at most Len bytes of the block into Data.
bool GetFileVersionInfoW(const std::string& FileName, uint32_t Handle, uint32_t Len, void* Data);
// SubBlock "\" gives the fixed info (Len in bytes), "\VarFileInfo\Translation" the
// translation array (Len in bytes), "\StringFileInfo\<lang+cp>\<key>" the UTF-16LE value
// (Len in characters, terminating zero included). Keys are compared without case.
bool VerQueryValueW(const void* Block, const std::string& SubBlock, const void** Buffer, uint32_t* Len);

// Reads the contents of a named section of an ELF file; false when the file is no
// ELF file or has no such section.
bool ReadElfSection(const std::string& FileName, const std::string& Section, std::vector<uint8_t>& Out);

// UTF-16LE characters (Count of them, or up to the first zero) as UTF-8.
std::string Utf16LeToUtf8(const void* Data, size_t Count);
