// Enumerations of the per-format option fields of the I/O parameters, the
// paper-size table of PostScript and PDF output and the DICOM transfer syntaxes.
// Every enumeration occupies one byte; ordinals start at 0 in declaration order.
#pragma once

#include <cstdint>

enum TIOTIFFCompression : uint8_t {
  ioTIFF_UNCOMPRESSED, ioTIFF_CCITT1D, ioTIFF_G3FAX1D, ioTIFF_G3FAX2D, ioTIFF_G4FAX,
  ioTIFF_LZW, ioTIFF_OLDJPEG, ioTIFF_JPEG, ioTIFF_PACKBITS, ioTIFF_ZIP, ioTIFF_DEFLATE,
  ioTIFF_UNKNOWN
};

enum TIOTIFFPhotometInterpret : uint8_t {
  ioTIFF_WHITEISZERO, ioTIFF_BLACKISZERO, ioTIFF_RGB, ioTIFF_RGBPALETTE,
  ioTIFF_TRANSPMASK, ioTIFF_CMYK, ioTIFF_YCBCR, ioTIFF_CIELAB
};

enum TIOJPEGColorspace : uint8_t { ioJPEG_RGB, ioJPEG_GRAYLEV, ioJPEG_YCbCr, ioJPEG_CMYK, ioJPEG_YCbCrK };
enum TIOJPEGDctMethod : uint8_t { ioJPEG_ISLOW, ioJPEG_IFAST, ioJPEG_FLOAT };
enum TIOJPEGCromaSubsampling : uint8_t { ioJPEG_MEDIUM, ioJPEG_HIGH, ioJPEG_NONE };
enum TIOJPEGScale : uint8_t { ioJPEG_AUTOCALC, ioJPEG_FULLSIZE, ioJPEG_HALF, ioJPEG_QUARTER, ioJPEG_EIGHTH };
enum TIOJ2000ColorSpace : uint8_t { ioJ2000_GRAYLEV, ioJ2000_RGB, ioJ2000_YCbCr };
enum TIOJ2000ScalableBy : uint8_t { ioJ2000_Rate, ioJ2000_Resolution };
enum TIOBMPVersion : uint8_t { ioBMP_BM, ioBMP_BM3, ioBMP_BMOS2V1, ioBMP_BMOS2V2 };
enum TIOBMPCompression : uint8_t { ioBMP_UNCOMPRESSED, ioBMP_RLE };
enum TIOPCXCompression : uint8_t { ioPCX_UNCOMPRESSED, ioPCX_RLE };
enum TIOPNGFilter : uint8_t {
  ioPNG_FILTER_NONE, ioPNG_FILTER_SUB, ioPNG_FILTER_PAETH, ioPNG_FILTER_UP, ioPNG_FILTER_AVG,
  ioPNG_FILTER_ALL
};
enum TVXGIFAction : uint8_t { ioGIF_None, ioGIF_DontRemove, ioGIF_DrawBackground, ioGIF_RestorePrev };
enum TIOByteOrder : uint8_t { ioBigEndian, ioLittleEndian };
enum TVXDicomRange : uint8_t { vxdrAdjust, vxdrSetBlackWhite };
enum TVXDicomCompression : uint8_t {
  vxdcUncompressed_Implicit, vxdcUncompressed, vxdcUncompressed_BE, vxdcRLE, vxdcLSJPEG1,
  vxdcLSJPEG2, vxdcJPEG, vxdcJPEG12Bit, vxdcJPEG2000, vxdcMPEG
};
enum TIOPSCompression : uint8_t { ioPS_RLE, ioPS_G4FAX, ioPS_G3FAX2D, ioPS_JPEG };
enum TIOPDFCompression : uint8_t {
  ioPDF_UNCOMPRESSED, ioPDF_RLE, ioPDF_G4FAX, ioPDF_G3FAX2D, ioPDF_JPEG, ioPDF_LZW
};
enum TIOBMPRAWChannelOrder : uint8_t { coRGB, coBGR };
enum TIOBMPRAWPlanes : uint8_t { plInterleaved, plPlanar };
enum TIOBMPRAWDataFormat : uint8_t { dfBinary, dfTextDecimal, dfTextHex };

// Named paper sizes of PostScript and PDF output (sizes in points of 1/72 inch).
enum TIOPDFPaperSize : uint8_t {
  vxpA0, vxpA1, vxpA2, vxpA3, vxpA4, vxpA5, vxpA6, vxpB5, vxpLetter, vxpLegal, vxpLedger,
  vxpTabloid, vxpAuto, vxpUnknown
};

struct TIOPDFPaperSizeRec {
  TIOPDFPaperSize Size;
  const char* Name;
  int32_t Width;
  int32_t Height;
};

// The 13 rows of the paper-size table, vxpA0 .. vxpAuto (vxpUnknown has no row).
constexpr int VXPaperSizeCount = 13;
extern const TIOPDFPaperSizeRec VXPaperSizes[VXPaperSizeCount];

// Transfer-syntax UID text of a DICOM compression value; nullptr outside the table.
const char* VXDicomTransferSyntaxUID(TVXDicomCompression value);
