// Process entry of the program: registers the embedded resources, runs the library
// start-up, the main routine and the shut-down, and reports an escaping exception.
#include "core/startup.h"
#include "platform/win_console.h"
#include "platform/win_resource.h"
#include "tool/tarvello_main.h"

#include <malloc.h>

#include <string>
#include <vector>

// Bytes of the quantiser, placed by the build (build_support/resources.S.in).
extern "C" const unsigned char tarvello_res_quant_begin[];
extern "C" const unsigned char tarvello_res_quant_end[];

int main(int argc, char** argv) {
  // Every image's codec and resampler buffers are freed and taken again for
  // the next one, on every worker thread. With the allocator's defaults each
  // free of them hands the pages back to the system (a system call and, on
  // the next image, a page fault per page). Memory up to these sizes stays
  // with the process instead; larger blocks (the rows of large photos) still
  // come from and go back to the system directly.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 8 << 20);
  RegisterResource(RT_RCDATA, "quant", tarvello_res_quant_begin,
                   static_cast<size_t>(tarvello_res_quant_end - tarvello_res_quant_begin));
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return RunConsoleMain([&] {
    TVXLibraryGuard library;
    return Main(args);
  });
}
