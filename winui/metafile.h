// Enhanced metafiles (and Windows metafiles taken in as such): handles over
// the records' bytes, their header, and playing them onto a device context
// with the window layer's drawing.
//
// The bytes are untrusted: every record, count, offset and object index is
// checked before use. A damaged metafile gives no handle.
#pragma once
#include <cstdint>

#include "winui/gdi.h"

VX_DECLARE_HANDLE(HENHMETAFILE);

struct RECTL {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};
struct SIZEL {
  LONG cx = 0;
  LONG cy = 0;
};

// The header record's fields (EMR_HEADER).
struct ENHMETAHEADER {
  DWORD iType = 0;
  DWORD nSize = 0;
  RECTL rclBounds;
  RECTL rclFrame;  // 0.01 mm
  DWORD dSignature = 0;
  DWORD nVersion = 0;
  DWORD nBytes = 0;
  DWORD nRecords = 0;
  WORD nHandles = 0;
  WORD sReserved = 0;
  DWORD nDescription = 0;
  DWORD offDescription = 0;
  DWORD nPalEntries = 0;
  SIZEL szlDevice;       // reference device, pixels
  SIZEL szlMillimeters;  // reference device, millimetres
};

// Mapping modes.
constexpr int MM_TEXT = 1;
constexpr int MM_LOMETRIC = 2;
constexpr int MM_HIMETRIC = 3;
constexpr int MM_LOENGLISH = 4;
constexpr int MM_HIENGLISH = 5;
constexpr int MM_TWIPS = 6;
constexpr int MM_ISOTROPIC = 7;
constexpr int MM_ANISOTROPIC = 8;

// How a Windows metafile maps: mode and extents in 0.01 mm (MM_ISOTROPIC,
// MM_ANISOTROPIC; 0 or negative: not given).
struct METAFILEPICT {
  LONG mm = MM_ANISOTROPIC;
  LONG xExt = 0;
  LONG yExt = 0;
  void* hMF = nullptr;
};

constexpr DWORD ENHMETA_SIGNATURE = 0x464D4520;

// A handle over a copy of the bytes; null when they are not an enhanced
// metafile (header, record sizes, end record).
HENHMETAFILE SetEnhMetaFileBits(UINT nSize, const BYTE* pb);
// A Windows metafile (without placeable header) taken in as an enhanced
// one: its frame is the picture's extents in 0.01 mm when given, else its
// window extent at 96 pixels per inch. Null when the records do not hold.
HENHMETAFILE SetWinMetaFileBits(UINT nSize, const BYTE* lpMeta16Data, HDC hdcRef, const METAFILEPICT* lpMFP);
// The bytes of an enhanced metafile (the size when lpData is null); a
// handle made from a Windows metafile answers its Windows metafile bytes.
UINT GetEnhMetaFileBits(HENHMETAFILE hEMF, UINT nSize, BYTE* lpData);
// The header (size of the record when lpEnhMetaHeader is null).
UINT GetEnhMetaFileHeader(HENHMETAFILE hemf, UINT nSize, ENHMETAHEADER* lpEnhMetaHeader);
// Plays the records with the frame mapped onto lprect. The DC's own state
// comes back afterwards. False for a bad handle or DC.
BOOL PlayEnhMetaFile(HDC hdc, HENHMETAFILE hmf, const RECT* lprect);
BOOL DeleteEnhMetaFile(HENHMETAFILE hmf);
