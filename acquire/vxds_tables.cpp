// The DirectShow unit's tables.
#include "acquire/vxds_tables.h"

namespace {

constexpr GUID FourCC(const char (&c)[5]) {
  return GUID{uint32_t(uint8_t(c[0])) | uint32_t(uint8_t(c[1])) << 8 | uint32_t(uint8_t(c[2])) << 16 |
                  uint32_t(uint8_t(c[3])) << 24,
              0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr GUID RGBType(uint32_t First) {
  return GUID{First, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}

const TVXDSVideoSubType kSubTypes[kVXDSVideoSubTypeCount] = {
    {"CLPL", FourCC("CLPL"), 12},
    {"YUYV", FourCC("YUYV"), 16},
    {"IYUV", FourCC("IYUV"), 12},
    {"YVU9", FourCC("YVU9"), 9},
    {"Y411", FourCC("Y411"), 12},
    {"Y41P", FourCC("Y41P"), 12},
    {"YUY2", FourCC("YUY2"), 16},
    {"YVYU", FourCC("YVYU"), 16},
    {"UYVY", FourCC("UYVY"), 16},
    {"Y211", FourCC("Y211"), 8},
    {"YV12", FourCC("YV12"), 12},
    {"CLJR", FourCC("CLJR"), 8},
    {"IF09", FourCC("IF09"), 9},
    {"CPLA", FourCC("CPLA"), 0},
    {"MJPG", FourCC("MJPG"), 0},
    {"TVMJ", FourCC("TVMJ"), 0},
    {"WAKE", FourCC("WAKE"), 0},
    {"CFCC", FourCC("CFCC"), 0},
    {"IJPG", FourCC("IJPG"), 0},
    {"Plum", FourCC("Plum"), 0},
    {"DVCS", FourCC("DVCS"), 0},
    {"DVSD", FourCC("DVSD"), 0},
    {"MDVF", FourCC("MDVF"), 0},
    {"RGB1", RGBType(0xE436EB78), 1},
    {"RGB4", RGBType(0xE436EB79), 4},
    {"RGB8", RGBType(0xE436EB7A), 8},
    {"RGB565", RGBType(0xE436EB7B), 16},
    {"RGB555", RGBType(0xE436EB7C), 16},
    {"RGB24", RGBType(0xE436EB7D), 24},
    {"RGB32", RGBType(0xE436EB7E), 32},
    {"ARGB1555", {0x297C55AF, 0xE209, 0x4CB3, {0xB7, 0x57, 0xC7, 0x6D, 0x6B, 0x9C, 0x88, 0xA8}}, 16},
    {"ARGB4444", {0x6E6415E6, 0x5C24, 0x425F, {0x93, 0xCD, 0x80, 0x10, 0x2B, 0x3D, 0x1C, 0xCA}}, 16},
    {"ARGB32", {0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}}, 32},
    {"AYUV", FourCC("AYUV"), 16},
    {"AI44", FourCC("AI44"), 0},
    {"IA44", FourCC("IA44"), 0},
};

const GUID kTimeFormats[] = {TIME_FORMAT_NONE,  TIME_FORMAT_FRAME, TIME_FORMAT_SAMPLE,
                             TIME_FORMAT_FIELD, TIME_FORMAT_BYTE,  TIME_FORMAT_MEDIA_TIME};

struct TStandard {
  uint32_t Flag;
  const char* Name;
};
constexpr TStandard kStandards[kVXTVStandardCount] = {
    {0, "None"},          {0x1, "NTSC_M"},      {0x2, "NTSC_M_J"},    {0x4, "NTSC_433"},  {0x10, "PAL_B"},
    {0x20, "PAL_D"},      {0x80, "PAL_H"},      {0x100, "PAL_I"},     {0x200, "PAL_M"},   {0x400, "PAL_N"},
    {0x800, "PAL_60"},    {0x1000, "SECAM_B"},  {0x2000, "SECAM_D"},  {0x4000, "SECAM_G"}, {0x8000, "SECAM_H"},
    {0x10000, "SECAM_K"}, {0x20000, "SECAM_K1"}, {0x40000, "SECAM_L"}, {0x80000, "SECAM_L1"},
    {0x100000, "PAL_N_COMBO"}};

}  // namespace

const TVXDSVideoSubType& VXDSVideoSubType(int Row) {
  return kSubTypes[(Row >= 0 && Row < kVXDSVideoSubTypeCount) ? Row : 0];
}

GUID VXDSSubTypeFromName(const std::string& Name) {
  for (const TVXDSVideoSubType& t : kSubTypes)
    if (Name == t.Name) return t.SubType;
  return kSubTypes[0].SubType;
}

std::string VXDSSubTypeName(const GUID& SubType) {
  for (const TVXDSVideoSubType& t : kSubTypes)
    if (IsEqualGUID(SubType, t.SubType)) return t.Name;
  return {};
}

int VXDSSubTypeBitCount(const GUID& SubType) {
  for (const TVXDSVideoSubType& t : kSubTypes)
    if (IsEqualGUID(SubType, t.SubType)) return t.Bits;
  return 0;
}

GUID VXDSFourCCSubType(const char FourCCText[4]) {
  const char c[5] = {FourCCText[0], FourCCText[1], FourCCText[2], FourCCText[3], 0};
  return FourCC(c);
}

const GUID& VXDSTimeFormatGUID(TVXTimeFormat Format) { return kTimeFormats[Format <= tfTime ? Format : tfNone]; }

TVXTimeFormat VXDSTimeFormatOf(const GUID& Format) {
  for (int i = 0; i <= tfTime; ++i)
    if (IsEqualGUID(Format, kTimeFormats[i])) return TVXTimeFormat(i);
  return tfNone;
}

uint32_t VXDSTVStandardFlag(TVXTVStandard Standard) {
  return Standard < kVXTVStandardCount ? kStandards[Standard].Flag : 0;
}

const char* VXDSTVStandardName(TVXTVStandard Standard) {
  return Standard < kVXTVStandardCount ? kStandards[Standard].Name : "";
}

std::string VXDSStandardsString(uint32_t Mask) {
  std::string s;
  for (const TStandard& st : kStandards)
    if (st.Flag & Mask) s += std::string(st.Name) + " ";
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

TVXTVStandards VXDSStandardsOf(uint32_t Mask) {
  TVXTVStandards set = 0;
  for (int i = 0; i < kVXTVStandardCount; ++i)
    if (kStandards[i].Flag & Mask) set |= VXTVStandardBit(TVXTVStandard(i));
  return set;
}
