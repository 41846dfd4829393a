// The PDF writer: bitmaps as the pages of a PDF 1.4 document, each page one
// image XObject fitted into the paper and placed at its top-left corner.
// A document lives in memory as objects (codecs/pdf_objects.h); each page's
// image data goes to a temporary file as soon as the page is added, and
// closing writes the whole file.
//
// Compression by PDF_Compression: 1-bit images uncompressed, RunLength,
// CCITT Group 4, Group 3 two-dimensional (also when JPEG is asked for, which
// then becomes ioPDF_G3FAX2D) or LZW; colour images LZW, JPEG or
// uncompressed (also for RunLength and the fax values). Bitmaps in other
// pixel formats than vx1g and vx24RGB are written from a vx24RGB copy.
#pragma once

#include "core/vxdefs.h"

class TStream;
class TVXBitmap;
class TIOParamsVals;
struct TVXPDFDocument;

// An empty document with its catalog and shared resources.
TVXPDFDocument* VXPDFCreate(TIOParamsVals& IOParams);
// Adds Bitmap as the next page. Progress.Aborting goes to the fax encoders;
// when it is set by the end (a progress handler stopped the work), no page
// is added. An exception leaves the document as it was before the call.
void VXPDFAddPage(TVXPDFDocument* Handle, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);
// Builds the page tree and the information dictionary (the non-empty PDF_
// texts and the creation date), writes the whole file at the stream's
// position and frees the document, also when writing fails. nullptr does
// nothing.
void VXPDFClose(TVXPDFDocument* Handle, TStream* Stream, TIOParamsVals& IOParams);
// A one-page document: create, add Bitmap, close.
void VXWritePDFStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress);
