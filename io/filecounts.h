// The number of images in a multi-image file, through the counter of the
// codec that registered its type. A file that cannot be opened raises; a type
// whose codec has no counter raises EVXException naming the format.
#pragma once

#include <cstdint>
#include <string>

// Images or frames of any file, by its extension's registry entry: TIFF, GIF,
// ICO, DCX, PDF, DICOM and HD Photo through their counters, other registered
// types 1 without opening the file; AVI files their video frames (0 when the
// file cannot be read); other files through the media player (0 until it
// exists).
int32_t VXGetFileImageCount(const std::string& FileName);

int32_t VXGetDCXFileImageCount(const std::string& FileName);
int32_t VXGetICOFileImageCount(const std::string& FileName);
// Frames of a GIF file; 0 on any failure.
int32_t VXGetGIFFileImageCount(const std::string& FileName);
// Removes frame Index from a GIF file (replaced whole through a temporary
// file); returns the frames left.
int32_t VXDeleteGIFFileFrame(const std::string& FileName, int32_t Index);
// Pages of a TIFF file (0 when its header is refused).
int32_t VXGetTIFFFilePageCount(const std::string& FileName);
// Removes page Index from a TIFF file (replaced whole through a temporary
// file); returns the pages left, 0 with the file unchanged when it could not
// be rebuilt.
int32_t VXDeleteTIFFFilePage(const std::string& FileName, int32_t Index);
