#pragma once
// Undo captions of the processing operations: a printf-style text formatted
// with the operation's arguments ("Resample %d, %d").

#include <cstdarg>
#include <cstdio>
#include <string>

namespace vxproc {

inline std::string FormatCaption(const char* Format, ...) {
  char text[128];
  va_list args;
  va_start(args, Format);
  std::vsnprintf(text, sizeof text, Format, args);
  va_end(args);
  return text;
}

}  // namespace vxproc
