// The PostScript writer: bitmaps as the pages of a Level 2 document with
// DSC comments, each image fitted into the paper at its top-left corner and
// sent as ASCII85 text over RunLength, CCITT fax or DCT (JPEG) data. A
// document is opened, pages are appended one at a time (the page count of
// the header is rewritten in place) and the document is closed with its
// trailer. Lines end with CR LF; numbers and dates never follow the locale.
//
// Compression by PS_Compression: 1-bit images RunLength, Group 4 or Group 3
// two-dimensional (also when JPEG is asked for, which then becomes
// ioPS_G3FAX2D); colour images JPEG, or RunLength for each colour plane of
// each row. Bitmaps in other pixel formats than vx1g and vx24RGB are written
// from a vx24RGB copy.
#pragma once

#include <cstdint>

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;

// Where the page-count line stands and where the next page goes.
struct TVXPSDocument {
  int64_t PagesPos = 0;
  int64_t EndPos = 0;
};

// Writes the header (page count 0) at the stream's position.
TVXPSDocument* VXPSCreate(TStream* Stream, TIOParamsVals& IOParams);
// Appends Bitmap as the next page and counts it in the header. When
// Progress.Aborting is set by the end of the page's data, or an exception
// leaves, the document stays as it was before the call.
void VXPSAddPage(TVXPSDocument* Handle, TStream* Stream, TVXBitmap* Bitmap, TProgressRec& Progress,
                 TIOParamsVals& IOParams);
// Writes the trailer and frees the handle; nullptr does nothing.
void VXPSClose(TVXPSDocument* Handle, TStream* Stream);
// A one-page document: create, add Bitmap, close. Stream is only written to;
// a short write sets Aborting.
void VXWritePSStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);
