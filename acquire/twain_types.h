// TWAIN 1.9: the published triplets, structures and codes that the engine
// and our source manager exchange through DSM_Entry. The structures are packed
// on 2-byte boundaries; handles are the platform's global memory handles (8
// bytes) and TW_IDENTITY takes 156 bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win_memory.h"

using TW_HANDLE = HGLOBAL;
using TW_MEMREF = void*;
using TW_BOOL = uint16_t;
using TW_STR32 = char[34];
using TW_STR255 = char[256];

// Data groups.
constexpr uint32_t DG_CONTROL = 0x0001;
constexpr uint32_t DG_IMAGE = 0x0002;
constexpr uint32_t DG_AUDIO = 0x0004;

// Data argument types.
constexpr uint16_t DAT_NULL = 0x0000;
constexpr uint16_t DAT_CAPABILITY = 0x0001;
constexpr uint16_t DAT_EVENT = 0x0002;
constexpr uint16_t DAT_IDENTITY = 0x0003;
constexpr uint16_t DAT_PARENT = 0x0004;
constexpr uint16_t DAT_PENDINGXFERS = 0x0005;
constexpr uint16_t DAT_SETUPMEMXFER = 0x0006;
constexpr uint16_t DAT_SETUPFILEXFER = 0x0007;
constexpr uint16_t DAT_STATUS = 0x0008;
constexpr uint16_t DAT_USERINTERFACE = 0x0009;
constexpr uint16_t DAT_XFERGROUP = 0x000a;
constexpr uint16_t DAT_CUSTOMDSDATA = 0x000c;
constexpr uint16_t DAT_IMAGEINFO = 0x0101;
constexpr uint16_t DAT_IMAGELAYOUT = 0x0102;
constexpr uint16_t DAT_IMAGEMEMXFER = 0x0103;
constexpr uint16_t DAT_IMAGENATIVEXFER = 0x0104;
constexpr uint16_t DAT_IMAGEFILEXFER = 0x0105;

// Messages.
constexpr uint16_t MSG_NULL = 0x0000;
constexpr uint16_t MSG_GET = 0x0001;
constexpr uint16_t MSG_GETCURRENT = 0x0002;
constexpr uint16_t MSG_GETDEFAULT = 0x0003;
constexpr uint16_t MSG_GETFIRST = 0x0004;
constexpr uint16_t MSG_GETNEXT = 0x0005;
constexpr uint16_t MSG_SET = 0x0006;
constexpr uint16_t MSG_RESET = 0x0007;
constexpr uint16_t MSG_QUERYSUPPORT = 0x0008;
constexpr uint16_t MSG_XFERREADY = 0x0101;
constexpr uint16_t MSG_CLOSEDSREQ = 0x0102;
constexpr uint16_t MSG_CLOSEDSOK = 0x0103;
constexpr uint16_t MSG_DEVICEEVENT = 0x0104;
constexpr uint16_t MSG_OPENDSM = 0x0301;
constexpr uint16_t MSG_CLOSEDSM = 0x0302;
constexpr uint16_t MSG_OPENDS = 0x0401;
constexpr uint16_t MSG_CLOSEDS = 0x0402;
constexpr uint16_t MSG_USERSELECT = 0x0403;
constexpr uint16_t MSG_DISABLEDS = 0x0501;
constexpr uint16_t MSG_ENABLEDS = 0x0502;
constexpr uint16_t MSG_ENABLEDSUIONLY = 0x0503;
constexpr uint16_t MSG_PROCESSEVENT = 0x0601;
constexpr uint16_t MSG_ENDXFER = 0x0701;
constexpr uint16_t MSG_STOPFEEDER = 0x0702;

// Return codes.
constexpr uint16_t TWRC_SUCCESS = 0;
constexpr uint16_t TWRC_FAILURE = 1;
constexpr uint16_t TWRC_CHECKSTATUS = 2;
constexpr uint16_t TWRC_CANCEL = 3;
constexpr uint16_t TWRC_DSEVENT = 4;
constexpr uint16_t TWRC_NOTDSEVENT = 5;
constexpr uint16_t TWRC_XFERDONE = 6;
constexpr uint16_t TWRC_ENDOFLIST = 7;

// Condition codes.
constexpr uint16_t TWCC_SUCCESS = 0;
constexpr uint16_t TWCC_BUMMER = 1;
constexpr uint16_t TWCC_LOWMEMORY = 2;
constexpr uint16_t TWCC_NODS = 3;
constexpr uint16_t TWCC_MAXCONNECTIONS = 4;
constexpr uint16_t TWCC_OPERATIONERROR = 5;
constexpr uint16_t TWCC_BADCAP = 6;
constexpr uint16_t TWCC_BADPROTOCOL = 9;
constexpr uint16_t TWCC_BADVALUE = 10;
constexpr uint16_t TWCC_SEQERROR = 11;
constexpr uint16_t TWCC_BADDEST = 12;
constexpr uint16_t TWCC_CAPUNSUPPORTED = 13;
constexpr uint16_t TWCC_CAPBADOPERATION = 14;
constexpr uint16_t TWCC_CAPSEQERROR = 15;
constexpr uint16_t TWCC_DENIED = 16;
constexpr uint16_t TWCC_PAPERJAM = 20;

// Container types.
constexpr uint16_t TWON_ARRAY = 3;
constexpr uint16_t TWON_ENUMERATION = 4;
constexpr uint16_t TWON_ONEVALUE = 5;
constexpr uint16_t TWON_RANGE = 6;
constexpr uint16_t TWON_DONTCARE16 = 0xFFFF;
constexpr uint32_t TWON_DONTCARE32 = 0xFFFFFFFF;

// Item types.
constexpr uint16_t TWTY_INT8 = 0;
constexpr uint16_t TWTY_INT16 = 1;
constexpr uint16_t TWTY_INT32 = 2;
constexpr uint16_t TWTY_UINT8 = 3;
constexpr uint16_t TWTY_UINT16 = 4;
constexpr uint16_t TWTY_UINT32 = 5;
constexpr uint16_t TWTY_BOOL = 6;
constexpr uint16_t TWTY_FIX32 = 7;
constexpr uint16_t TWTY_FRAME = 8;
constexpr uint16_t TWTY_STR32 = 9;
constexpr uint16_t TWTY_STR64 = 0x0a;
constexpr uint16_t TWTY_STR128 = 0x0b;
constexpr uint16_t TWTY_STR255 = 0x0c;

// Capabilities the engine exchanges.
constexpr uint16_t CAP_XFERCOUNT = 0x0001;
constexpr uint16_t ICAP_COMPRESSION = 0x0100;
constexpr uint16_t ICAP_PIXELTYPE = 0x0101;
constexpr uint16_t ICAP_UNITS = 0x0102;
constexpr uint16_t ICAP_XFERMECH = 0x0103;
constexpr uint16_t CAP_CAPTION = 0x1001;
constexpr uint16_t CAP_FEEDERENABLED = 0x1002;
constexpr uint16_t CAP_FEEDERLOADED = 0x1003;
constexpr uint16_t CAP_AUTOFEED = 0x1007;
constexpr uint16_t CAP_INDICATORS = 0x100B;
constexpr uint16_t CAP_PAPERDETECTABLE = 0x100D;
constexpr uint16_t CAP_DEVICEONLINE = 0x100F;
constexpr uint16_t CAP_AUTOSCAN = 0x1010;
constexpr uint16_t CAP_DUPLEX = 0x1012;
constexpr uint16_t CAP_DUPLEXENABLED = 0x1013;
constexpr uint16_t ICAP_AUTOBRIGHT = 0x1100;
constexpr uint16_t ICAP_BRIGHTNESS = 0x1101;
constexpr uint16_t ICAP_CONTRAST = 0x1103;
constexpr uint16_t ICAP_FILTER = 0x1106;
constexpr uint16_t ICAP_GAMMA = 0x1108;
constexpr uint16_t ICAP_HIGHLIGHT = 0x110A;
constexpr uint16_t ICAP_ORIENTATION = 0x1110;
constexpr uint16_t ICAP_PHYSICALWIDTH = 0x1111;
constexpr uint16_t ICAP_PHYSICALHEIGHT = 0x1112;
constexpr uint16_t ICAP_SHADOW = 0x1113;
constexpr uint16_t ICAP_XRESOLUTION = 0x1118;
constexpr uint16_t ICAP_YRESOLUTION = 0x1119;
constexpr uint16_t ICAP_PIXELFLAVOR = 0x111F;
constexpr uint16_t ICAP_PLANARCHUNKY = 0x1120;
constexpr uint16_t ICAP_ROTATION = 0x1121;
constexpr uint16_t ICAP_SUPPORTEDSIZES = 0x1122;
constexpr uint16_t ICAP_THRESHOLD = 0x1123;
constexpr uint16_t ICAP_XSCALING = 0x1124;
constexpr uint16_t ICAP_YSCALING = 0x1125;
constexpr uint16_t ICAP_BITDEPTH = 0x112B;
constexpr uint16_t ICAP_UNDEFINEDIMAGESIZE = 0x112D;
constexpr uint16_t ICAP_AUTODISCARDBLANKPAGES = 0x1134;
constexpr uint16_t ICAP_AUTOMATICBORDERDETECTION = 0x1150;
constexpr uint16_t ICAP_AUTOMATICDESKEW = 0x1151;
constexpr uint16_t ICAP_AUTOMATICROTATE = 0x1152;

// Capability values.
constexpr uint16_t TWPT_BW = 0;
constexpr uint16_t TWPT_GRAY = 1;
constexpr uint16_t TWPT_RGB = 2;
constexpr uint16_t TWPT_PALETTE = 3;
constexpr uint16_t TWUN_INCHES = 0;
constexpr uint16_t TWSX_NATIVE = 0;
constexpr uint16_t TWSX_FILE = 1;
constexpr uint16_t TWSX_MEMORY = 2;
constexpr uint16_t TWPF_CHOCOLATE = 0;
constexpr uint16_t TWPF_VANILLA = 1;
constexpr uint16_t TWPC_CHUNKY = 0;
constexpr uint16_t TWCP_NONE = 0;
constexpr uint16_t TWDX_NONE = 0;
constexpr uint16_t TWLG_USERLOCALE = 0xFFFF;
constexpr uint16_t TWCY_USA = 1;

#pragma pack(push, 2)

struct TW_FIX32 {
  int16_t Whole;
  uint16_t Frac;
};

struct TW_FRAME {
  TW_FIX32 Left, Top, Right, Bottom;
};

struct TW_VERSION {
  uint16_t MajorNum;
  uint16_t MinorNum;
  uint16_t Language;
  uint16_t Country;
  TW_STR32 Info;
};

struct TW_IDENTITY {
  uint32_t Id;
  TW_VERSION Version;
  uint16_t ProtocolMajor;
  uint16_t ProtocolMinor;
  uint32_t SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};

struct TW_STATUS {
  uint16_t ConditionCode;
  uint16_t Reserved;
};

struct TW_CAPABILITY {
  uint16_t Cap;
  uint16_t ConType;
  TW_HANDLE hContainer;
};

struct TW_IMAGELAYOUT {
  TW_FRAME Frame;
  uint32_t DocumentNumber;
  uint32_t PageNumber;
  uint32_t FrameNumber;
};

struct TW_PENDINGXFERS {
  uint16_t Count;
  uint32_t EOJ;
};

struct TW_CUSTOMDSDATA {
  uint32_t InfoLength;
  TW_HANDLE hData;
};

struct TW_EVENT {
  TW_MEMREF pEvent;
  uint16_t TWMessage;
};

struct TW_IMAGEINFO {
  TW_FIX32 XResolution;
  TW_FIX32 YResolution;
  int32_t ImageWidth;
  int32_t ImageLength;
  int16_t SamplesPerPixel;
  int16_t BitsPerSample[8];
  int16_t BitsPerPixel;
  TW_BOOL Planar;
  int16_t PixelType;
  uint16_t Compression;
};

struct TW_SETUPMEMXFER {
  uint32_t MinBufSize;
  uint32_t MaxBufSize;
  uint32_t Preferred;
};

struct TW_MEMORY {
  uint32_t Flags;
  uint32_t Length;
  TW_MEMREF TheMem;
};

struct TW_IMAGEMEMXFER {
  uint16_t Compression;
  uint32_t BytesPerRow;
  uint32_t Columns;
  uint32_t Rows;
  uint32_t XOffset;
  uint32_t YOffset;
  uint32_t BytesWritten;
  TW_MEMORY Memory;
};

struct TW_SETUPFILEXFER {
  TW_STR255 FileName;
  uint16_t Format;
  int16_t VRefNum;
};

#pragma pack(pop)

static_assert(sizeof(TW_IDENTITY) == 156, "TW_IDENTITY is 156 bytes");
static_assert(sizeof(TW_CAPABILITY) == 12, "TW_CAPABILITY packs on 2 bytes");
static_assert(sizeof(TW_USERINTERFACE) == 12, "TW_USERINTERFACE packs on 2 bytes");

// The source manager's entry.
using DSMENTRYPROC = uint16_t (*)(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, uint32_t DG, uint16_t DAT,
                                  uint16_t MSG, TW_MEMREF pData);

// The published names of a data group, data argument type and message
// ("DG_CONTROL", "DAT_IDENTITY", "MSG_GETFIRST"); a value without one is
// written in decimal.
std::string VXTWDGName(uint32_t DG);
std::string VXTWDATName(uint16_t DAT);
std::string VXTWMSGName(uint16_t MSG);
