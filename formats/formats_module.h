// Start-up and shut-down of the document-format library (TIFF, PSD, JPEG 2000,
// the plug-ins, ...): each format fills the I/O component's operations of its
// file types (io/codec_table.h), after the codec library has filled its own.
#pragma once

void VXFormatsStartup();
void VXFormatsShutdown();
