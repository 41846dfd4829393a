// Which file types the library saves with several frames in one file.
#pragma once
#include <cstdint>

// True for 1 TIFF, 2 GIF, 6 ICO, 15 AVI, 17 PostScript, 18 PDF, 19 DCX and
// 28 DICOM.
bool VXIsMultiFrameSaveFileType(int32_t FileType);
