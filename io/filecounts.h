// The number of images in a multi-image file, through the counter of the
// codec that registered its type. A file that cannot be opened raises; a type
// whose codec has no counter raises EVXException naming the format.
#pragma once

#include <cstdint>
#include <string>

int32_t VXGetDCXFileImageCount(const std::string& FileName);
