#include "formats/magick_plugin.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "core/dictionary.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "core/streamutils.h"
#include "core/textutils.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "platform/win_library.h"

namespace {

// ---------------------------------------------------------------------------
// The format table

const std::array<TVXMiscPluginsImageMagick_Format, 25> kFormats = {{
    {8193, "Flexible Image Transport System", "FITS;FTS", "fits", true},
    {8194, "Photo CD", "PCD;PCDS", "pcd", true},
    {8195, "Printer Control Language", "PCL", "pcl", true},
    {8196, "Portable Document Format", "PDF;PDFA;EPDF", "pdf", true},
    {8197, "Joint Bi-level Image experts Group interchange format", "BIE", "bie", true},
    {8198, "Cineon Image File", "CIN", "cin", true},
    {8199, "Microsoft DirectDraw Surface", "DDS", "dds", true},
    {8200, "Multi-face font package", "DFONT", "dfont", false},
    {8201, "SMPTE 268M-2003 (DPX 2.0)", "DPX", "dpx", true},
    {8202, "Joint Bi-level Image experts Group interchange format", "JBIG;JBG", "jbig", true},
    {8203, "JPEG Network Graphics", "JNG", "jng", true},
    {8204, "MPEG Video Stream", "M2V;MOV;MPEG;MPG", "m2v", true},
    {8205, "MATLAB level 5 image format", "MAT", "mat", true},
    {8206, "Magick Image File Format", "MIFF", "miff", true},
    {8207, "Multiple-image Network Graphics", "MNG", "mng", true},
    {8208, "MPEG-4 Video", "MP4;M4V", "mp4", true},
    {8209, "ImageMagick's own SVG internal renderer", "MSVG", "msvg", true},
    {8210, "Embrid Embroidery Format", "PES", "pes", false},
    {8211, "PostScript", "PS;EPS;EPSF;EPSI;EPI;EPT", "ps", true},
    {8212, "Adobe Large Document Format", "PSB", "psb", true},
    {8213, "Pyramid encoded TIFF", "PTIF", "ptif", true},
    {8214, "Scalable Vector Graphics", "SVG;SVGZ", "svg", true},
    {8215, "Tagged Image File Format (64-bit)", "TIFF64", "tiff64", true},
    {8216, "GIMP image", "XCF", "xcf", false},
    {8217, "Microsoft XML Paper Specification", "XPS", "xps", false},
}};

const TVXMiscPluginsImageMagick_Format* FindFormat(int32_t FileType) {
  for (const auto& f : kFormats)
    if (f.typ == FileType) return &f;
  return nullptr;
}

// The coder that reads and writes a row's files: its first extension.
std::string CoderName(const TVXMiscPluginsImageMagick_Format& Format) {
  const std::string ext = Format.ext;
  return ext.substr(0, ext.find(';'));
}

// Built-in entries that the plug-in takes over when ImageMagick may write them.
constexpr int32_t kBuiltInPostScript = 17;
constexpr int32_t kBuiltInPDF = 18;

// MagickCore's policy values.
constexpr int32_t kCoderPolicyDomain = 1;
constexpr int32_t kWritePolicyRights = 2;

// ---------------------------------------------------------------------------
// Libraries and entry points

const char* const kDefaultNames[][2] = {
    {"libMagickWand-6.Q16.so.6", "libMagickCore-6.Q16.so.6"},
    {"libMagickWand-6.Q16HDRI.so.6", "libMagickCore-6.Q16HDRI.so.6"},
};

enum TLibrary { lbWand, lbCore };

#define VX_IMCK_ENTRIES(X)             \
  X(MagickWandGenesis, lbWand)         \
  X(MagickWandTerminus, lbWand)        \
  X(NewMagickWand, lbWand)             \
  X(DestroyMagickWand, lbWand)         \
  X(MagickReadImage, lbWand)           \
  X(MagickReadImageBlob, lbWand)       \
  X(MagickPingImageBlob, lbWand)       \
  X(MagickPingImage, lbWand)           \
  X(MagickResetIterator, lbWand)       \
  X(MagickNextImage, lbWand)           \
  X(MagickSetIteratorIndex, lbWand)    \
  X(MagickSetLastIterator, lbWand)     \
  X(MagickGetIteratorIndex, lbWand)    \
  X(MagickWriteImages, lbWand)         \
  X(MagickExportImagePixels, lbWand)   \
  X(MagickGetImageWidth, lbWand)       \
  X(MagickGetImageHeight, lbWand)      \
  X(MagickGetImageChannelDepth, lbWand) \
  X(MagickGetImageColorspace, lbWand)  \
  X(MagickSetImageColorspace, lbWand)  \
  X(MagickTransformImageColorspace, lbWand) \
  X(MagickGetImageDepth, lbWand)       \
  X(MagickGetImageResolution, lbWand)  \
  X(MagickGetImageUnits, lbWand)       \
  X(MagickGetImageFormat, lbWand)      \
  X(MagickGetType, lbWand)             \
  X(MagickSetProgressMonitor, lbWand)  \
  X(GetMagicInfo, lbCore)              \
  X(GetMagicName, lbCore)              \
  X(AcquireExceptionInfo, lbCore)      \
  X(DestroyExceptionInfo, lbCore)      \
  X(MagickSetImageProperty, lbWand)    \
  X(MagickSetOption, lbWand)           \
  X(MagickGetException, lbWand)        \
  X(MagickRelinquishMemory, lbWand)    \
  X(MagickSetColorspace, lbWand)       \
  X(MagickSetDepth, lbWand)            \
  X(MagickSetFormat, lbWand)           \
  X(MagickSetResolution, lbWand)       \
  X(MagickSetImageUnits, lbWand)       \
  X(MagickGetImageBlob, lbWand)        \
  X(MagickWriteImage, lbWand)          \
  X(MagickImportImagePixels, lbWand)   \
  X(MagickNewImage, lbWand)            \
  X(NewPixelWand, lbWand)              \
  X(DestroyPixelWand, lbWand)

enum TEntry : int {
#define VX_IMCK_INDEX(Name, Lib) ep##Name,
  VX_IMCK_ENTRIES(VX_IMCK_INDEX)
#undef VX_IMCK_INDEX
  epCount
};
static_assert(epCount == 46);

struct TEntryName {
  const char* Name;
  TLibrary Library;
};
const TEntryName kEntryNames[epCount] = {
#define VX_IMCK_NAME(Name, Lib) {#Name, Lib},
    VX_IMCK_ENTRIES(VX_IMCK_NAME)
#undef VX_IMCK_NAME
};

// The plug-in's lock guards loading and unloading; the handles and entry
// points are read without it by the codec calls.
std::recursive_mutex gLock;
std::atomic<HMODULE> gWandLib{nullptr};
std::atomic<HMODULE> gCoreLib{nullptr};
std::atomic<void*> gEntries[epCount];
std::atomic<void*> gIsRightsAuthorized{nullptr};
std::string gWandName;  // empty: the default names
std::string gCoreName;

template <class Fn>
Fn Bound(TEntry Entry) {
  return reinterpret_cast<Fn>(gEntries[Entry].load());
}

void ClearEntries() {
  for (auto& e : gEntries) e.store(nullptr);
  gIsRightsAuthorized.store(nullptr);
}

// By name; when that fails and the library runs inside a shared object of
// another program, from that object's own folder.
HMODULE LoadNamed(const std::string& Name) {
  HMODULE h = VXSharedLibrary::LoadLibraryW(Name);
  if (h == nullptr && Name.find('/') == std::string::npos && VXSharedLibrary::IsLibrary()) {
    const std::string folder = VXSharedLibrary::GetOwnModuleFolder();
    if (!folder.empty()) h = VXSharedLibrary::LoadLibraryW(folder + Name);
  }
  return h;
}

// Loads one pair of libraries and binds every entry point; all or nothing.
bool LoadPair(const std::string& WandName, const std::string& CoreName) {
  HMODULE wand = LoadNamed(WandName);
  if (wand == nullptr) return false;
  HMODULE core = LoadNamed(CoreName);
  if (core == nullptr) {
    VXSharedLibrary::FreeLibrary(wand);
    return false;
  }
  void* found[epCount];
  for (int i = 0; i < epCount; ++i) {
    const HMODULE lib = kEntryNames[i].Library == lbWand ? wand : core;
    found[i] = reinterpret_cast<void*>(VXSharedLibrary::GetProcAddress(lib, kEntryNames[i].Name));
    if (found[i] == nullptr) {
      VXSharedLibrary::FreeLibrary(core);
      VXSharedLibrary::FreeLibrary(wand);
      return false;
    }
  }
  for (int i = 0; i < epCount; ++i) gEntries[i].store(found[i]);
  gIsRightsAuthorized.store(reinterpret_cast<void*>(VXSharedLibrary::GetProcAddress(core, "IsRightsAuthorized")));
  gWandLib.store(wand);
  gCoreLib.store(core);
  return true;
}

// ---------------------------------------------------------------------------
// Helpers of the codec functions

void SetAborting(TProgressRec& Progress) {
  if (Progress.Aborting) *Progress.Aborting = true;
}

bool Aborted(const TProgressRec& Progress) { return Progress.Aborting != nullptr && *Progress.Aborting; }

// Releases a wand on every way out.
struct TWandHolder {
  PMagickWand Wand = nullptr;
  PPixelWand Pixel = nullptr;
  ~TWandHolder() {
    if (Pixel) TVXMiscPluginsImageMagick::DestroyPixelWand(Pixel);
    if (Wand) TVXMiscPluginsImageMagick::DestroyMagickWand(Wand);
  }
};

// A resolution from ImageMagick as whole dots per inch (0 when unusable).
int32_t DotsPerInch(double Value, TVXImageMagick_ResolutionType Units) {
  if (Units == imck_PixelsPerCentimeterResolution) Value /= 2.54;
  if (!(Value >= 1.0) || Value >= 2147483647.0) return 0;
  return static_cast<int32_t>(Value);
}

// The bytes of Stream from its position to its end.
bool ReadRest(TStream* Stream, std::vector<uint8_t>& Data) {
  const int64_t pos = Stream->Position();
  const int64_t size = Stream->Size();
  if (size <= pos || !VXStorageSizeAllowed(size - pos)) return false;
  Data.resize(size_t(size - pos));
  return Stream->Read(Data.data(), int64_t(Data.size())) == int64_t(Data.size());
}

}  // namespace

// ---------------------------------------------------------------------------
// Loading and unloading

const std::array<TVXMiscPluginsImageMagick_Format, 25>& TVXMiscPluginsImageMagick::Formats() { return kFormats; }

void TVXMiscPluginsImageMagick::SetLibraryNames(const std::string& Wand, const std::string& Core) {
  std::lock_guard<std::recursive_mutex> lock(gLock);
  gWandName = Wand;
  gCoreName = Core;
}

void TVXMiscPluginsImageMagick::Initialize(bool Reinitialize) {
  std::lock_guard<std::recursive_mutex> lock(gLock);
  if (Reinitialize) Finalize();
  if (gWandLib.load() != nullptr && gCoreLib.load() != nullptr) return;
  bool loaded = false;
  if (!gWandName.empty() || !gCoreName.empty()) {
    loaded = LoadPair(gWandName, gCoreName);
  } else {
    for (const auto& names : kDefaultNames)
      if ((loaded = LoadPair(names[0], names[1]))) break;
  }
  if (loaded) MagickWandGenesis();
}

void TVXMiscPluginsImageMagick::Finalize() {
  std::lock_guard<std::recursive_mutex> lock(gLock);
  // ImageMagick ends while both libraries are still there.
  if (gWandLib.load() != nullptr) MagickWandTerminus();
  ClearEntries();
  if (HMODULE core = gCoreLib.exchange(nullptr)) VXSharedLibrary::FreeLibrary(core);
  if (HMODULE wand = gWandLib.exchange(nullptr)) VXSharedLibrary::FreeLibrary(wand);
}

bool TVXMiscPluginsImageMagick::IsAvailable() {
  if (gWandLib.load() == nullptr || gCoreLib.load() == nullptr) Initialize(false);
  return gWandLib.load() != nullptr && gCoreLib.load() != nullptr;
}

bool TVXMiscPluginsImageMagick::IsCoderRightsAuthorized(int32_t Rights, const char* Pattern) {
  using Fn = int (*)(int32_t, int32_t, const char*);
  auto f = reinterpret_cast<Fn>(gIsRightsAuthorized.load());
  return f != nullptr && Pattern != nullptr && f(kCoderPolicyDomain, Rights, Pattern) != 0;
}

// ---------------------------------------------------------------------------
// Registration

void TVXMiscPluginsImageMagick::RegisterPlugin() {
  for (const auto& f : kFormats) {
    VXUnregisterFileFormat(f.typ);  // a second registration replaces the first
    VXRegisterFileFormat(new TVXFileFormatInfo(f.typ, f.des, f.ext, f.sue, false, 0, &ReadImageStream,
                                               f.wrt ? &WriteImageStream : nullptr, &TryImageStream));
  }
  // PDF and PostScript move to ImageMagick only where its policy lets it write
  // them; otherwise the built-in writers stay.
  if (IsAvailable()) {
    if (IsCoderRightsAuthorized(kWritePolicyRights, "PDF")) VXUnregisterFileFormat(kBuiltInPDF);
    if (IsCoderRightsAuthorized(kWritePolicyRights, "PS")) VXUnregisterFileFormat(kBuiltInPostScript);
  }
}

// ---------------------------------------------------------------------------
// Progress

int TVXMiscPluginsImageMagick::ProgressMonitor(const char* /*Text*/, int64_t Offset, uint64_t Span,
                                               void* ClientData) {
  auto* data = static_cast<TVXImageMagickProgress*>(ClientData);
  if (data == nullptr || data->Progress == nullptr) return 1;
  if (Span >= 100 && (Offset < 0 || uint64_t(Offset) != Span - 1) &&
      (Offset < 0 || uint64_t(Offset) % (Span / 100) != 0))
    return 1;
  TProgressRec& progress = *data->Progress;
  if (!progress.fOnProgress) return 1;
  if (std::this_thread::get_id() == VXMainThreadId() && Span > 0) {
    const double stages = data->Stages > 0 ? data->Stages : 1;
    const double percent = double(Offset) * 100.0 / double(Span) / stages + 100.0 / stages * data->Stage;
    progress.fOnProgress(progress.Sender, static_cast<int32_t>(std::trunc(percent)));
  }
  return Aborted(progress) ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Reading

void TVXMiscPluginsImageMagick::ReadImageStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                                                TProgressRec& Progress, bool Preview) {
  const TVXMiscPluginsImageMagick_Format* format = FindFormat(IOParams.FileType());
  if (format == nullptr || Stream == nullptr || (!Preview && Bitmap == nullptr) || !IsAvailable()) {
    SetAborting(Progress);
    return;
  }
  const std::string coder = CoderName(*format);
  TWandHolder holder;
  holder.Wand = NewMagickWand();
  if (holder.Wand == nullptr) {
    SetAborting(Progress);
    return;
  }
  PMagickWand wand = holder.Wand;
  TVXImageMagickProgress monitor;
  monitor.Progress = &Progress;
  monitor.Stage = 0;
  monitor.Stages = 2;
  if (Progress.fOnProgress) MagickSetProgressMonitor(wand, &ProgressMonitor, &monitor);

  // A file is named to ImageMagick by its absolute path behind the coder, so
  // that no file name can pick another coder, run a command or read a list;
  // the frame is chosen by ImageMagick's "[n]". Other streams go as a blob.
  const int32_t index = IOParams.ImageIndex() > 0 ? IOParams.ImageIndex() : 0;
  auto* file = dynamic_cast<TVXWideFileStream*>(Stream);
  std::string source;
  std::vector<uint8_t> blob;
  if (file != nullptr) {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(file->FileName(), ec);
    if (ec) {
      SetAborting(Progress);
      return;
    }
    source = coder + ":" + path.string() + "[" + std::to_string(index) + "]";
  } else if (!ReadRest(Stream, blob) || !MagickSetFormat(wand, coder.c_str())) {
    SetAborting(Progress);
    return;
  }

  if (IOParams.Dict().HasKey("PDF:Density", false))
    MagickSetOption(wand, "density", IOParams.Dict().GetString("PDF:Density", false).c_str());
  IOParams.SetImageCount(1);

  bool ok;
  if (file != nullptr)
    ok = Preview ? MagickPingImage(wand, source.c_str()) : MagickReadImage(wand, source.c_str());
  else
    ok = Preview ? MagickPingImageBlob(wand, blob.data(), blob.size())
                 : MagickReadImageBlob(wand, blob.data(), blob.size());
  if (ok && file == nullptr) {
    MagickResetIterator(wand);
    ok = MagickSetIteratorIndex(wand, index);
  } else if (ok) {
    // A frame beyond the last makes ImageMagick hand back every frame: only
    // the one asked for is an answer.
    MagickSetLastIterator(wand);
    ok = MagickGetIteratorIndex(wand) == 0;
  }
  if (!ok || Aborted(Progress)) {
    SetAborting(Progress);
    return;
  }

  double rx = 0, ry = 0;
  MagickGetImageResolution(wand, &rx, &ry);
  const TVXImageMagick_ResolutionType units = MagickGetImageUnits(wand);
  int32_t dpiX = DotsPerInch(rx, units), dpiY = DotsPerInch(ry, units);
  if (dpiX == 0) dpiX = VXGetGlobalSettings()->DefaultDPIX();
  if (dpiY == 0) dpiY = VXGetGlobalSettings()->DefaultDPIY();
  IOParams.SetDpiX(dpiX);
  IOParams.SetDpiY(dpiY);

  monitor.Stage = 1;
  TVXPixelFormat pf;
  const char* map;
  TVXImageMagick_StorageType storage;
  if (MagickGetImageColorspace(wand) == imck_GRAYColorspace) {
    const size_t depth = MagickGetImageDepth(wand);
    map = "I";
    if (depth == 1) {
      pf = vx1g;
      storage = imck_CharPixel;
      IOParams.SetBitsPerSample(1);
    } else if (depth == 16 && IOParams.IsNativePixelFormat) {
      pf = vx16g;
      storage = imck_ShortPixel;
      IOParams.SetBitsPerSample(16);
    } else {
      pf = vx8g;
      storage = imck_CharPixel;
      IOParams.SetBitsPerSample(8);
    }
    IOParams.SetSamplesPerPixel(1);
  } else {
    if (!MagickTransformImageColorspace(wand, imck_sRGBColorspace) || Aborted(Progress)) {
      SetAborting(Progress);
      return;
    }
    pf = vx24RGB;
    map = "BGR";
    storage = imck_CharPixel;
    IOParams.SetBitsPerSample(8);
    IOParams.SetSamplesPerPixel(3);
  }

  const size_t width = MagickGetImageWidth(wand);
  const size_t height = MagickGetImageHeight(wand);
  if (width == 0 || height == 0 || width > size_t(INT32_MAX) || height > size_t(INT32_MAX) ||
      !VXImageSizeAllowed(int64_t(width), int64_t(height), VXPixelFormatBitCount[pf])) {
    SetAborting(Progress);
    return;
  }
  const int32_t w = int32_t(width), h = int32_t(height);
  IOParams.SetWidth(w);
  IOParams.SetOriginalWidth(w);
  IOParams.SetHeight(h);
  IOParams.SetOriginalHeight(h);
  IOParams.FreeColorMap();
  if (Preview) return;

  if (!Bitmap->Allocate(w, h, pf)) {
    SetAborting(Progress);
    return;
  }
  std::vector<uint8_t> bytes(pf == vx1g ? width : 0);
  for (int32_t y = 0; y < h; ++y) {
    void* row = Bitmap->ScanLine(y);
    void* target = pf == vx1g ? static_cast<void*>(bytes.data()) : row;
    if (!MagickExportImagePixels(wand, 0, y, width, 1, map, storage, target)) {
      SetAborting(Progress);
      return;
    }
    if (pf == vx1g) {
      auto* bits = static_cast<uint8_t*>(row);
      std::memset(bits, 0, size_t(w + 7) / 8);
      for (int32_t x = 0; x < w; ++x)
        if (bytes[size_t(x)] != 0) bits[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
  }
}

// ---------------------------------------------------------------------------
// Writing

void TVXMiscPluginsImageMagick::WriteImageStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams,
                                                 TProgressRec& Progress) {
  std::string coder = VXGetFileFormatExtension(IOParams.FileType(), 0);
  for (char& c : coder) c = char(std::toupper(static_cast<unsigned char>(c)));
  if (Stream == nullptr || Bitmap == nullptr || Bitmap->IsEmpty() || coder.empty() || !IsAvailable()) {
    SetAborting(Progress);
    return;
  }
  // ImageMagick gets BGR rows: other formats are converted on a private copy.
  std::unique_ptr<TVXBitmap> copy;
  TVXBitmap* source = Bitmap;
  if (Bitmap->PixelFormat() != vx24RGB) {
    copy = std::make_unique<TVXBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(vx24RGB);
    source = copy.get();
  }
  const int32_t w = source->Width(), h = source->Height();

  TWandHolder holder;
  holder.Wand = NewMagickWand();
  holder.Pixel = NewPixelWand();
  PMagickWand wand = holder.Wand;
  // The wand's settings come first: the new image takes its depth and
  // resolution from them.
  if (wand == nullptr || holder.Pixel == nullptr || !MagickSetDepth(wand, 8) ||
      !MagickSetResolution(wand, IOParams.DpiX(), IOParams.DpiY()) ||
      !MagickSetColorspace(wand, imck_sRGBColorspace) || !MagickSetFormat(wand, coder.c_str()) ||
      !MagickNewImage(wand, size_t(w), size_t(h), holder.Pixel) ||
      !MagickSetImageUnits(wand, imck_PixelsPerInchResolution)) {
    SetAborting(Progress);
    return;
  }
  for (int32_t y = 0; y < h; ++y)
    if (!MagickImportImagePixels(wand, 0, y, size_t(w), 1, "BGR", imck_CharPixel, source->ScanLine(y))) {
      SetAborting(Progress);
      return;
    }
  size_t length = 0;
  uint8_t* data = MagickGetImageBlob(wand, &length);
  if (data == nullptr || length == 0) {
    if (data) MagickRelinquishMemory(data);
    SetAborting(Progress);
    return;
  }
  bool shortWrite = false;
  try {
    VXWriteChecked(Stream, shortWrite, data, int64_t(length));
  } catch (...) {
    MagickRelinquishMemory(data);
    throw;
  }
  MagickRelinquishMemory(data);
  if (shortWrite) SetAborting(Progress);
}

// ---------------------------------------------------------------------------
// Probing

bool TVXMiscPluginsImageMagick::TryImageStream(TStream* Stream, int32_t TryingFormat) {
  const TVXMiscPluginsImageMagick_Format* format = FindFormat(TryingFormat);
  if (Stream == nullptr || format == nullptr || !IsAvailable()) return false;
  constexpr size_t kMagicSize = 8192;
  std::vector<uint8_t> buffer(kMagicSize, 0);
  try {
    const int64_t pos = Stream->Position();
    const int64_t got = Stream->Read(buffer.data(), int64_t(kMagicSize));
    Stream->SetPosition(pos);
    if (got <= 0) return false;
  } catch (...) {
    return false;
  }
  std::string name;
  PExceptionInfo exception = AcquireExceptionInfo();
  if (exception == nullptr) return false;
  if (PMagicInfo info = GetMagicInfo(buffer.data(), kMagicSize, exception)) {
    if (const char* n = GetMagicName(info)) name = n;
  }
  DestroyExceptionInfo(exception);
  if (name.empty()) return false;
  return (";" + std::string(format->ext) + ";").find(";" + name + ";") != std::string::npos;
}

// ---------------------------------------------------------------------------
// The bound functions

namespace {
// ImageMagick's MagickBooleanType.
using MBool = int;
}  // namespace

void TVXMiscPluginsImageMagick::MagickWandGenesis() {
  if (auto f = Bound<void (*)()>(epMagickWandGenesis)) f();
}

void TVXMiscPluginsImageMagick::MagickWandTerminus() {
  if (auto f = Bound<void (*)()>(epMagickWandTerminus)) f();
}

PMagickWand TVXMiscPluginsImageMagick::NewMagickWand() {
  auto f = Bound<PMagickWand (*)()>(epNewMagickWand);
  return f ? f() : nullptr;
}

PMagickWand TVXMiscPluginsImageMagick::DestroyMagickWand(PMagickWand Wand) {
  auto f = Bound<PMagickWand (*)(PMagickWand)>(epDestroyMagickWand);
  return f && Wand ? f(Wand) : nullptr;
}

bool TVXMiscPluginsImageMagick::MagickReadImage(PMagickWand Wand, const char* FileName) {
  auto f = Bound<MBool (*)(PMagickWand, const char*)>(epMagickReadImage);
  return f && Wand && f(Wand, FileName) != 0;
}

bool TVXMiscPluginsImageMagick::MagickReadImageBlob(PMagickWand Wand, const void* Blob, size_t Length) {
  auto f = Bound<MBool (*)(PMagickWand, const void*, size_t)>(epMagickReadImageBlob);
  return f && Wand && f(Wand, Blob, Length) != 0;
}

bool TVXMiscPluginsImageMagick::MagickPingImageBlob(PMagickWand Wand, const void* Blob, size_t Length) {
  auto f = Bound<MBool (*)(PMagickWand, const void*, size_t)>(epMagickPingImageBlob);
  return f && Wand && f(Wand, Blob, Length) != 0;
}

bool TVXMiscPluginsImageMagick::MagickPingImage(PMagickWand Wand, const char* FileName) {
  auto f = Bound<MBool (*)(PMagickWand, const char*)>(epMagickPingImage);
  return f && Wand && f(Wand, FileName) != 0;
}

void TVXMiscPluginsImageMagick::MagickResetIterator(PMagickWand Wand) {
  auto f = Bound<void (*)(PMagickWand)>(epMagickResetIterator);
  if (f && Wand) f(Wand);
}

bool TVXMiscPluginsImageMagick::MagickNextImage(PMagickWand Wand) {
  auto f = Bound<MBool (*)(PMagickWand)>(epMagickNextImage);
  return f && Wand && f(Wand) != 0;
}

bool TVXMiscPluginsImageMagick::MagickSetIteratorIndex(PMagickWand Wand, int64_t Index) {
  auto f = Bound<MBool (*)(PMagickWand, int64_t)>(epMagickSetIteratorIndex);
  return f && Wand && f(Wand, Index) != 0;
}

void TVXMiscPluginsImageMagick::MagickSetLastIterator(PMagickWand Wand) {
  auto f = Bound<void (*)(PMagickWand)>(epMagickSetLastIterator);
  if (f && Wand) f(Wand);
}

int64_t TVXMiscPluginsImageMagick::MagickGetIteratorIndex(PMagickWand Wand) {
  auto f = Bound<int64_t (*)(PMagickWand)>(epMagickGetIteratorIndex);
  return f && Wand ? f(Wand) : 0;
}

bool TVXMiscPluginsImageMagick::MagickWriteImages(PMagickWand Wand, const char* FileName, bool Adjoin) {
  auto f = Bound<MBool (*)(PMagickWand, const char*, MBool)>(epMagickWriteImages);
  return f && Wand && f(Wand, FileName, Adjoin ? 1 : 0) != 0;
}

bool TVXMiscPluginsImageMagick::MagickExportImagePixels(PMagickWand Wand, int64_t X, int64_t Y, size_t Columns,
                                                        size_t Rows, const char* Map,
                                                        TVXImageMagick_StorageType Storage, void* Pixels) {
  auto f = Bound<MBool (*)(PMagickWand, int64_t, int64_t, size_t, size_t, const char*, int32_t, void*)>(
      epMagickExportImagePixels);
  return f && Wand && f(Wand, X, Y, Columns, Rows, Map, Storage, Pixels) != 0;
}

size_t TVXMiscPluginsImageMagick::MagickGetImageWidth(PMagickWand Wand) {
  auto f = Bound<size_t (*)(PMagickWand)>(epMagickGetImageWidth);
  return f && Wand ? f(Wand) : 0;
}

size_t TVXMiscPluginsImageMagick::MagickGetImageHeight(PMagickWand Wand) {
  auto f = Bound<size_t (*)(PMagickWand)>(epMagickGetImageHeight);
  return f && Wand ? f(Wand) : 0;
}

size_t TVXMiscPluginsImageMagick::MagickGetImageChannelDepth(PMagickWand Wand, int32_t Channel) {
  auto f = Bound<size_t (*)(PMagickWand, int32_t)>(epMagickGetImageChannelDepth);
  return f && Wand ? f(Wand, Channel) : 0;
}

TVXImageMagick_ColorspaceType TVXMiscPluginsImageMagick::MagickGetImageColorspace(PMagickWand Wand) {
  auto f = Bound<int32_t (*)(PMagickWand)>(epMagickGetImageColorspace);
  return f && Wand ? TVXImageMagick_ColorspaceType(f(Wand)) : imck_UndefinedColorspace;
}

bool TVXMiscPluginsImageMagick::MagickSetImageColorspace(PMagickWand Wand, TVXImageMagick_ColorspaceType Colorspace) {
  auto f = Bound<MBool (*)(PMagickWand, int32_t)>(epMagickSetImageColorspace);
  return f && Wand && f(Wand, Colorspace) != 0;
}

bool TVXMiscPluginsImageMagick::MagickTransformImageColorspace(PMagickWand Wand,
                                                               TVXImageMagick_ColorspaceType Colorspace) {
  auto f = Bound<MBool (*)(PMagickWand, int32_t)>(epMagickTransformImageColorspace);
  return f && Wand && f(Wand, Colorspace) != 0;
}

size_t TVXMiscPluginsImageMagick::MagickGetImageDepth(PMagickWand Wand) {
  auto f = Bound<size_t (*)(PMagickWand)>(epMagickGetImageDepth);
  return f && Wand ? f(Wand) : 0;
}

bool TVXMiscPluginsImageMagick::MagickGetImageResolution(PMagickWand Wand, double* X, double* Y) {
  auto f = Bound<MBool (*)(PMagickWand, double*, double*)>(epMagickGetImageResolution);
  return f && Wand && X && Y && f(Wand, X, Y) != 0;
}

TVXImageMagick_ResolutionType TVXMiscPluginsImageMagick::MagickGetImageUnits(PMagickWand Wand) {
  auto f = Bound<int32_t (*)(PMagickWand)>(epMagickGetImageUnits);
  return f && Wand ? TVXImageMagick_ResolutionType(f(Wand)) : imck_UndefinedResolution;
}

char* TVXMiscPluginsImageMagick::MagickGetImageFormat(PMagickWand Wand) {
  auto f = Bound<char* (*)(PMagickWand)>(epMagickGetImageFormat);
  return f && Wand ? f(Wand) : nullptr;
}

TVXImageMagick_ImageType TVXMiscPluginsImageMagick::MagickGetType(PMagickWand Wand) {
  auto f = Bound<int32_t (*)(PMagickWand)>(epMagickGetType);
  return f && Wand ? TVXImageMagick_ImageType(f(Wand)) : imck_UndefinedType;
}

TVXImageMagickProgressMonitor TVXMiscPluginsImageMagick::MagickSetProgressMonitor(
    PMagickWand Wand, TVXImageMagickProgressMonitor Monitor, void* ClientData) {
  auto f = Bound<TVXImageMagickProgressMonitor (*)(PMagickWand, TVXImageMagickProgressMonitor, void*)>(
      epMagickSetProgressMonitor);
  return f && Wand ? f(Wand, Monitor, ClientData) : nullptr;
}

PMagicInfo TVXMiscPluginsImageMagick::GetMagicInfo(const uint8_t* Magic, size_t Length, PExceptionInfo Exception) {
  auto f = Bound<PMagicInfo (*)(const uint8_t*, size_t, PExceptionInfo)>(epGetMagicInfo);
  return f && Exception ? f(Magic, Length, Exception) : nullptr;
}

const char* TVXMiscPluginsImageMagick::GetMagicName(PMagicInfo MagicInfo) {
  auto f = Bound<const char* (*)(PMagicInfo)>(epGetMagicName);
  return f && MagicInfo ? f(MagicInfo) : nullptr;
}

PExceptionInfo TVXMiscPluginsImageMagick::AcquireExceptionInfo() {
  auto f = Bound<PExceptionInfo (*)()>(epAcquireExceptionInfo);
  return f ? f() : nullptr;
}

PExceptionInfo TVXMiscPluginsImageMagick::DestroyExceptionInfo(PExceptionInfo Exception) {
  auto f = Bound<PExceptionInfo (*)(PExceptionInfo)>(epDestroyExceptionInfo);
  return f && Exception ? f(Exception) : nullptr;
}

bool TVXMiscPluginsImageMagick::MagickSetImageProperty(PMagickWand Wand, const char* Property, const char* Value) {
  auto f = Bound<MBool (*)(PMagickWand, const char*, const char*)>(epMagickSetImageProperty);
  return f && Wand && f(Wand, Property, Value) != 0;
}

bool TVXMiscPluginsImageMagick::MagickSetOption(PMagickWand Wand, const char* Key, const char* Value) {
  auto f = Bound<MBool (*)(PMagickWand, const char*, const char*)>(epMagickSetOption);
  return f && Wand && f(Wand, Key, Value) != 0;
}

char* TVXMiscPluginsImageMagick::MagickGetException(PMagickWand Wand, int32_t* Severity) {
  auto f = Bound<char* (*)(PMagickWand, int32_t*)>(epMagickGetException);
  return f && Wand && Severity ? f(Wand, Severity) : nullptr;
}

void* TVXMiscPluginsImageMagick::MagickRelinquishMemory(void* Resource) {
  auto f = Bound<void* (*)(void*)>(epMagickRelinquishMemory);
  return f && Resource ? f(Resource) : nullptr;
}

bool TVXMiscPluginsImageMagick::MagickSetColorspace(PMagickWand Wand, TVXImageMagick_ColorspaceType Colorspace) {
  auto f = Bound<MBool (*)(PMagickWand, int32_t)>(epMagickSetColorspace);
  return f && Wand && f(Wand, Colorspace) != 0;
}

bool TVXMiscPluginsImageMagick::MagickSetDepth(PMagickWand Wand, size_t Depth) {
  auto f = Bound<MBool (*)(PMagickWand, size_t)>(epMagickSetDepth);
  return f && Wand && f(Wand, Depth) != 0;
}

bool TVXMiscPluginsImageMagick::MagickSetFormat(PMagickWand Wand, const char* Format) {
  auto f = Bound<MBool (*)(PMagickWand, const char*)>(epMagickSetFormat);
  return f && Wand && f(Wand, Format) != 0;
}

bool TVXMiscPluginsImageMagick::MagickSetResolution(PMagickWand Wand, double X, double Y) {
  auto f = Bound<MBool (*)(PMagickWand, double, double)>(epMagickSetResolution);
  return f && Wand && f(Wand, X, Y) != 0;
}

bool TVXMiscPluginsImageMagick::MagickSetImageUnits(PMagickWand Wand, TVXImageMagick_ResolutionType Units) {
  auto f = Bound<MBool (*)(PMagickWand, int32_t)>(epMagickSetImageUnits);
  return f && Wand && f(Wand, Units) != 0;
}

uint8_t* TVXMiscPluginsImageMagick::MagickGetImageBlob(PMagickWand Wand, size_t* Length) {
  auto f = Bound<uint8_t* (*)(PMagickWand, size_t*)>(epMagickGetImageBlob);
  return f && Wand && Length ? f(Wand, Length) : nullptr;
}

bool TVXMiscPluginsImageMagick::MagickWriteImage(PMagickWand Wand, const char* FileName) {
  auto f = Bound<MBool (*)(PMagickWand, const char*)>(epMagickWriteImage);
  return f && Wand && f(Wand, FileName) != 0;
}

bool TVXMiscPluginsImageMagick::MagickImportImagePixels(PMagickWand Wand, int64_t X, int64_t Y, size_t Columns,
                                                        size_t Rows, const char* Map,
                                                        TVXImageMagick_StorageType Storage, const void* Pixels) {
  auto f = Bound<MBool (*)(PMagickWand, int64_t, int64_t, size_t, size_t, const char*, int32_t, const void*)>(
      epMagickImportImagePixels);
  return f && Wand && f(Wand, X, Y, Columns, Rows, Map, Storage, Pixels) != 0;
}

bool TVXMiscPluginsImageMagick::MagickNewImage(PMagickWand Wand, size_t Columns, size_t Rows, PPixelWand Background) {
  auto f = Bound<MBool (*)(PMagickWand, size_t, size_t, PPixelWand)>(epMagickNewImage);
  return f && Wand && Background && f(Wand, Columns, Rows, Background) != 0;
}

PPixelWand TVXMiscPluginsImageMagick::NewPixelWand() {
  auto f = Bound<PPixelWand (*)()>(epNewPixelWand);
  return f ? f() : nullptr;
}

PPixelWand TVXMiscPluginsImageMagick::DestroyPixelWand(PPixelWand Wand) {
  auto f = Bound<PPixelWand (*)(PPixelWand)>(epDestroyPixelWand);
  return f && Wand ? f(Wand) : nullptr;
}
