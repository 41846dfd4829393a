// The number of images in a multi-image file, through the counter of the
// codec that registered its type. A file that cannot be opened raises; a type
// whose codec has no counter raises EVXException naming the format.
#pragma once

#include <cstdint>
#include <string>

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
