// Start-up and shut-down of the I/O module, run by the library start-up in its
// fixed order. The module builds the file-format registry and the (empty) list
// of I/O plug-ins, and makes the Internet library ready for loading by URL.
// The LZW coders belong to the codecs, which install their hooks when they
// start. The codec libraries above start from here, after the module's own work,
// through the modules they added (io/codec_table.h).
#include "core/bitmap.h"
#include "core/clipboard_hooks.h"
#include "core/cmyk.h"
#include "core/settings.h"
#include "io/codec_table.h"
#include "io/fileformats.h"
#include "io/ioplugins.h"
#include "io/params.h"
#include "io/printlog.h"
#include "core/printlog.h"
#include "io/urlload.h"
#include "io/vexlaneio.h"

namespace {

TVXBitmap* OwnerBitmap(TVexlaneIO* io) { return io != nullptr ? io->VXBitmap() : nullptr; }

// The clipboard's paste of PNG bytes (file type 8) and of metafiles.
bool ClipboardLoadPNG(const void* Data, int32_t Size, TVXBitmap* Target) {
  auto io = TVexlaneIO::CreateFromBitmap(Target);
  io->LoadFromBuffer(Data, Size, 8);
  return !io->Aborting();
}

bool ClipboardImportMetaFile(TMetafile* Meta, TVXBitmap* Target) {
  auto io = TVexlaneIO::CreateFromBitmap(Target);
  return io->ImportMetaFile(Meta, -1, -1, true) && !io->Aborting();
}

}  // namespace

// Sets one resolution of the single-image viewer the component is bound to.
void VXIOOwnerViewerDpi(TVexlaneIO* io, bool horizontal, int32_t dpi);

void VXInstallIOParamsOwnerHooks() {
  // Every component checks them as it is made, on whatever thread: they are
  // written only when missing (the library's start-up has installed them
  // before any thread of the caller runs).
  TIOParamsOwnerHooks& hooks = VXIOParamsOwnerHooks();
  if (hooks.GetBitmap != &OwnerBitmap) hooks.GetBitmap = &OwnerBitmap;
  if (hooks.SetViewerDpi != &VXIOOwnerViewerDpi) hooks.SetViewerDpi = &VXIOOwnerViewerDpi;
}

void VXStartUpIOUnit() {
  TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  // The codecs with LZW coders install them when they start (below).
  st->SetDefGIF_LZWDECOMPFUNC(nullptr);
  st->SetDefGIF_LZWCOMPFUNC(nullptr);
  st->SetDefTIFF_LZWDECOMPFUNC(nullptr);
  st->SetDefTIFF_LZWCOMPFUNC(nullptr);
  VXRegisterBuiltInFileFormats();
  VXResetAVILibraryFlag();
  VXCreateIOPlugins();
  // The shared CMYK and sRGB profiles are made again on first use.
  VXFreeCMYKTransforms();
  VXInstallIOParamsOwnerHooks();
  VXClipboardHooks.LoadPNG = &ClipboardLoadPNG;
  VXClipboardHooks.ImportMetaFile = &ClipboardImportMetaFile;
  // Printing and rendering announce their steps in the module's print log.
  VXPrintLogHook = [](const std::string& Text) { VXWritePrintLog(Text); };
  VXLoadWinINet();
  VXStartCodecModules();
}

void VXShutDownIOUnit() {
  VXStopCodecModules();
  VXPrintLogHook = nullptr;
  VXClosePrintLog();
  VXFreeCMYKTransforms();
  VXFreeIOPlugins();
  VXFreeFileFormats();
  VXEndAVILibrary();
  VXFreeWinINet();
  VXClearCodecOps();
  VXIOParamsOwnerHooks() = TIOParamsOwnerHooks{};
  VXClipboardHooks = TVXClipboardHooks{};
}
