// A program linked against the library as a whole and nothing else: every
// module must have put itself into the start-up, although the program names
// none of them. Exits 0 when each module's work is there after start-up and
// gone after shut-down, twice in a row.
#include <cstdio>

#include "core/resample_hook.h"
#include "core/settings.h"
#include "core/startup.h"
#include "io/codec_table.h"
#include "proc/previews_hooks.h"
#include "proc/proc.h"
#include "vect/extended.h"
#include "vect/vexlanevect.h"
#include "words/words.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  Check(VXLibraryHooks.IOStartup != nullptr && VXLibraryHooks.IOShutdown != nullptr, "I/O module slots filled");
  Check(VXLibraryHooks.ProcStartup != nullptr && VXLibraryHooks.ProcShutdown != nullptr,
        "processing module slots filled");
  Check(VXLibraryHooks.ResampleStartup != nullptr && VXLibraryHooks.ResampleShutdown != nullptr,
        "resampling module slots filled");
  Check(VXLibraryHooks.VisionUnload != nullptr, "vision library slot filled");
  Check(VXLibraryHooks.ViewStartup != nullptr && VXLibraryHooks.ViewShutdown != nullptr, "viewer module slots filled");
  Check(VXLibraryHooks.RegisterAllWordTables != nullptr, "word tables slot filled");
  Check(VXPreviewsHooks.CreatePreviewsDialog != nullptr, "processing preview dialog slot filled");
  Check(VXLibraryHooks.VectStartup != nullptr && VXLibraryHooks.TextControlStartup != nullptr,
        "vector-object and text-control slots filled");
  for (int round = 1; round <= 2; ++round) {
    {
      TVXLibraryGuard library;
      const TVXCodecOps* png = VXFindCodecOps(8);
      Check(png != nullptr && png->Read && png->Write && png->IsStream, "PNG codec registered");
      Check(VXRawClipboardFormat() != 0, "raw clipboard format registered");
      Check(VXResampleHooksReady(), "resamplers handed to the core");
      Check(VXVectClipboardFormat() != 0 && VXTextMemoClipboardFormat() != 0, "object clipboard formats registered");
      Check(VXExtendedObjectRegistryExists(), "extended-object registry made");
      const TVXCodecOps* vxv = VXFindCodecOps(25);
      Check(vxv != nullptr && vxv->IsStream == &VXIsVxvStream, "object stream probe registered");
      // The built-in entries and HD Photo, which the imaging component adds.
      Check(VXGetGlobalSettings()->FileFormats().size() == 26, "file-format registry built");
      Check(VXWordTable[msEnglish][4] == "Cancel" && VXWordTable[msNorwegian][4] == "Avbryt",
            "word tables filled");
    }
    Check(VXFindCodecOps(8) == nullptr, "codecs forgotten at shut-down");
    Check(VXResampleHooks.ResampleBitmap == nullptr, "resamplers taken back at shut-down");
    Check(!VXExtendedObjectRegistryExists(), "extended-object registry freed at shut-down");
  }
  if (failures == 0) std::printf("every module took part in the start-up\n");
  return failures == 0 ? 0 : 1;
}
