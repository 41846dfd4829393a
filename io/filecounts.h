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
