// Load and save dispatch of the I/O component: the per-format operation is
// chosen from an explicit file type, the file name's extension or the
// content; formats that a plug-in registered are read and written through the
// registry entry's own functions.
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "io/codec_table.h"
#include "io/fileformats.h"
#include "io/iothread.h"
#include "core/filewriter.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

// The component's own operations of one file type.
struct TFormatMembers {
  int32_t FileType;
  bool (*LoadFile)(TVexlaneIO& IO, const std::string& FileName);
  bool (*LoadStream)(TVexlaneIO& IO, TStream* Stream);
  void (*SaveFile)(TVexlaneIO& IO, const std::string& FileName);
  void (*SaveStream)(TVexlaneIO& IO, TStream* Stream);
};

// One line per format whose operations are built; a missing line or member
// makes the dispatch raise, naming the format and the operation. Loaders that
// return a count give the dispatch the negation of Aborting.
const TFormatMembers kMembers[] = {
    {1, [](TVexlaneIO& io, const std::string& f) { io.LoadFromFileTIFF(f); return !io.Aborting(); },
     [](TVexlaneIO& io, TStream* s) { io.LoadFromStreamTIFF(s); return !io.Aborting(); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileTIFF(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamTIFF(s); }},
    {28, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileDICOM(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamDICOM(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileDICOM(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamDICOM(s); }},
    {29, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileHDP(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamHDP(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileHDP(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamHDP(s); }},
    {5, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileBMP(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamBMP(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileBMP(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamBMP(s); }},
    {6, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileICO(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamICO(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileICO(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamICO(s); }},
    {7, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileCUR(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamCUR(s); }, nullptr, nullptr},
    {2, [](TVexlaneIO& io, const std::string& f) { io.LoadFromFileGIF(f); return !io.Aborting(); },
     [](TVexlaneIO& io, TStream* s) { io.LoadFromStreamGIF(s); return !io.Aborting(); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileGIF(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamGIF(s); }},
    {4, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFilePCX(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamPCX(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFilePCX(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamPCX(s); }},
    {11, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileTGA(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamTGA(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileTGA(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamTGA(s); }},
    {19, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileDCX(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamDCX(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileDCX(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamDCX(s); }},
    {12, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFilePXM(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamPXM(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFilePXM(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamPXM(s); }},
    {13, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileJP2(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamJP2(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileJP2(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamJP2(s); }},
    {14, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileJ2K(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamJ2K(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileJ2K(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamJ2K(s); }},
    {16, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileWBMP(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamWBMP(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileWBMP(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamWBMP(s); }},
    {20, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileRAW(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamRAW(s); }, nullptr, nullptr},
    {21, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileBMPRAW(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamBMPRAW(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileBMPRAW(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamBMPRAW(s); }},
    {3, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFileJpeg(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamJpeg(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFileJpeg(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamJpeg(s); }},
    {8, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFilePNG(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamPNG(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFilePNG(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamPNG(s); }},
    {24, [](TVexlaneIO& io, const std::string& f) { return io.LoadFromFilePSD(f); },
     [](TVexlaneIO& io, TStream* s) { return io.LoadFromStreamPSD(s); },
     [](TVexlaneIO& io, const std::string& f) { io.SaveToFilePSD(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamPSD(s); }},
    {17, nullptr, nullptr, [](TVexlaneIO& io, const std::string& f) { io.SaveToFilePS(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamPS(s); }},
    {18, nullptr, nullptr, [](TVexlaneIO& io, const std::string& f) { io.SaveToFilePDF(f); },
     [](TVexlaneIO& io, TStream* s) { io.SaveToStreamPDF(s); }},
};

const TFormatMembers* FindMembers(int32_t FileType) {
  for (const TFormatMembers& m : kMembers)
    if (m.FileType == FileType) return &m;
  return nullptr;
}

// Raises for a type whose operation is not available: through the codec
// records when no codec has registered, else naming the missing operation.
[[noreturn]] void Unavailable(int32_t FileType, TVXCodecOperation Operation) {
  VXRequireCodecOps(FileType, Operation);
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(FileType);
  const std::string name = info ? info->FullName : "file type " + std::to_string(FileType);
  throw EVXException(std::string("Cannot ") + (Operation == vxcoSave ? "save " : "load ") + name +
                     ": the I/O component has no operation for it");
}

bool CallFileLoader(TVexlaneIO& IO, int32_t FileType, const std::string& FileName) {
  if (FileType == 9 || FileType == 10) return IO.ImportMetafile(FileName, -1, -1, true);
  const TFormatMembers* m = FindMembers(FileType);
  if (!m || !m->LoadFile) Unavailable(FileType, vxcoLoad);
  return m->LoadFile(IO, FileName);
}

bool CallStreamLoader(TVexlaneIO& IO, int32_t FileType, TStream* Stream) {
  if (FileType == 9 || FileType == 10) return IO.ImportMetafile(Stream, -1, -1, true);
  const TFormatMembers* m = FindMembers(FileType);
  if (!m || !m->LoadStream) Unavailable(FileType, vxcoLoad);
  return m->LoadStream(IO, Stream);
}

void CallFileSaver(TVexlaneIO& IO, int32_t FileType, const std::string& FileName) {
  const TFormatMembers* m = FindMembers(FileType);
  if (!m || !m->SaveFile) Unavailable(FileType, vxcoSave);
  m->SaveFile(IO, FileName);
}

void CallStreamSaver(TVexlaneIO& IO, int32_t FileType, TStream* Stream) {
  const TFormatMembers* m = FindMembers(FileType);
  if (!m || !m->SaveStream) Unavailable(FileType, vxcoSave);
  m->SaveStream(IO, Stream);
}

// Internal types that LoadFromFile hands to their file loader.
bool HasFileLoaderByName(int32_t t) {
  return (t >= 1 && t <= 14) || t == 16 || t == 19 || t == 20 || (t >= 24 && t <= 29);
}

// Internal types that LoadFromFileFormat hands to their file loader.
bool HasFileLoaderByType(int32_t t) { return HasFileLoaderByName(t) || t == 21; }

// Internal types that LoadFromStream hands to their stream loader.
bool HasStreamLoaderByContent(int32_t t) {
  return (t >= 1 && t <= 14) || t == 19 || t == 20 || (t >= 24 && t <= 29);
}

bool HasStreamLoaderByType(int32_t t) { return HasStreamLoaderByContent(t) || t == 16 || t == 21; }

// Types with a stream saver of their own.
bool HasStreamSaver(int32_t t) {
  switch (t) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 8: case 11: case 12: case 13: case 14: case 16:
    case 17: case 18: case 19: case 24: case 28: case 29:
      return true;
    default:
      return false;
  }
}

// Types whose parameters-only reader is the codec's.
bool HasCodecParamsReader(int32_t t) {
  return (t >= 1 && t <= 14) || t == 16 || t == 19 || t == 20 || t == 24 || t == 28 || t == 29;
}

// An entry that can really write: the built-in placeholder writes nothing.
bool CanWrite(const TVXFileFormatInfo* Info) {
  return Info != nullptr && Info->WriteFunction != nullptr && Info->WriteFunction != &VXWritePlaceholder;
}

// The lines of SaveToFile: the first whose type or extension matches decides.
struct TSaveLine {
  int32_t FileType;
  const char* Extensions;
};
const TSaveLine kSaveLines[] = {
    {3, ".jpg;.jpeg;.jpe;.jif;"},   {13, ".jp2;"},
    {14, ".j2k;.jpc;.j2c;"},        {4, ".pcx;"},
    {19, ".dcx;"},                  {2, ".gif;"},
    {1, ".tif;.tiff;.fax;.g3f;.g3n;"}, {8, ".png;"},
    {5, ".bmp;.dib;.rle;"},         {11, ".tga;.targa;.vda;.icb;.vst;.win;"},
    {12, ".pxm;.pbm;.pgm;.ppm;"},   {6, ".ico;"},
    {16, ".wbmp;"},                 {17, ".ps;.eps;"},
    {18, ".pdf;"},                  {24, ".psd;.psb;"},
    {29, ".hdp;.wdp;.jxr;"},        {28, ".dcm;.dic;.dicom;.v2;"},
};

bool ExtInLine(const std::string& Ext, const char* Extensions) {
  return !Ext.empty() && std::string(Extensions).find(Ext + ";") != std::string::npos;
}

constexpr const char* kMediaExtensions = ".mpe;.mpg;.mpeg;.wmv;";
constexpr int32_t kAVIFileType = 15;

}  // namespace

// ---------------------------------------------------------------------------
// Saving

void TVexlaneIO::SaveToFile(const std::string& FileName, int32_t ImageFormat) {
  if (FileName.empty()) return;
  const std::string ext = VXLowerFileExt(FileName, true);
  for (const TSaveLine& line : kSaveLines)
    if (ImageFormat == line.FileType || ExtInLine(ext, line.Extensions)) {
      CallFileSaver(*this, line.FileType, FileName);
      return;
    }
  // Layers (and objects) are the viewer's to write.
  if (fVexlaneView != nullptr && (ImageFormat == 27 || ext == ".all")) {
    if (fVexlaneView->HostKind() != vxvhVectView) throw EVXException("Invalid class typecast");
    fVexlaneView->SaveToFileAll(FileName, -1);
    return;
  }
  if (fVexlaneView != nullptr && (ImageFormat == 26 || ext == ".lyr")) {
    if (ImageView() == nullptr) throw EVXException("Invalid class typecast");
    fVexlaneView->LayersSaveToFile(FileName, -1);
    return;
  }
  const TVXFileFormatInfo* info =
      ImageFormat >= 0 ? VXFindFileFormatInfo(ImageFormat) : VXFindFileFormatInfoByExtension(ext);
  if (!CanWrite(info)) {
    fAborting = true;
    return;
  }
  if (AsyncStart(vxLoadSaveFileIF, &TVexlaneIO::SaveToFile, FileName, ImageFormat)) return;
  RegistrySave(info, nullptr, FileName);
}

void TVexlaneIO::SaveToStream(TStream* Stream, int32_t FileType) {
  if (HasStreamSaver(FileType)) {
    CallStreamSaver(*this, FileType, Stream);
    return;
  }
  if (AsyncStart(vxLoadSaveStreamFF, &TVexlaneIO::SaveToStream, Stream, FileType)) return;
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(FileType);
  if (!CanWrite(info)) {
    fAborting = true;
    return;
  }
  RegistrySave(info, Stream, "");
}

void TVexlaneIO::RegistrySave(const TVXFileFormatInfo* Info, TStream* Stream, const std::string& FileName) {
  auto write = [&](TStream* Target) {
    fAborting = false;
    TProgressRec progress = MakeProgress();
    if (Stream == nullptr) fParams->SetFileName(FileName);
    fParams->SetFileType(Info->FileType);
    Info->WriteFunction(Target, fVXBitmap, *fParams, progress);
  };
  OperationPattern(Stream == nullptr, [&] {
    if (fVXBitmap->PixelFormat() != vx24RGB && fVXBitmap->PixelFormat() != vx1g) fVXBitmap->SetPixelFormat(vx24RGB);
    if (Stream != nullptr) {
      write(Stream);
    } else {
      VXWriteFileSafely(FileName, fAborting, write);
      fParams->SetFileName(FileName);
      fParams->SetFileType(Info->FileType);
    }
    return true;
  });
}

// ---------------------------------------------------------------------------
// Loading from files

bool TVexlaneIO::RegistryRead(TStream* Stream, const TVXFileFormatInfo* Info, bool CatchReadErrors) {
  TProgressRec progress = MakeProgress();
  fParams->SetFileType(Info->FileType);
  try {
    Info->ReadFunction(Stream, fVXBitmap, *fParams, progress, false);
  } catch (...) {
    if (!CatchReadErrors) throw;
    fAborting = true;
  }
  if (!CatchReadErrors || !fAborting) {
    if (fAutoAdjustDPI) DoAutoAdjustDPI();
    ApplyDPIToView(fParams->DpiX(), fParams->DpiY());
  }
  const bool result = !fAborting;
  Update();
  return result;
}

bool TVexlaneIO::RegistryLoadFromFile(const std::string& FileName, const TVXFileFormatInfo* Info,
                                      bool CatchReadErrors) {
  return OperationPattern(true, [&] {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    fAborting = false;
    fParams->SetFileName(FileName);
    return RegistryRead(&file, Info, CatchReadErrors);
  });
}

bool TVexlaneIO::LoadFromFile(const std::string& FileName, int32_t ImageFormat) {
  if (fVXBitmap == nullptr) return false;
  if (FileName.empty()) {
    fAborting = true;
    DoFinishWork();
    return false;
  }
  if (VXGetURLScheme(FileName) != 0) return LoadFromURL(FileName);
  const std::string ext = VXLowerFileExt(FileName, true);
  if (ext == ".avi") return LoadAVIFileFrame(FileName);
  if (ImageFormat > 0) return LoadFromFileFormat(FileName, ImageFormat);

  const TVXFileFormatInfo* info = VXFindFileFormatInfoByExtension(ext);
  if (!info && ExtInLine(ext, kMediaExtensions)) {
    OpenMediaFile(FileName);
    if (fAborting) return false;
    LoadFromMediaFile(fParams->ImageIndex());
    CloseMediaFile();
    fParams->SetFileName(FileName);
    fParams->SetFileType(ext == ".wmv" ? 22 : 23);
    return true;
  }
  bool result = false;
  bool withoutReader = false;
  if (!info) {
    VXRequireLibraryStartup();
    fAborting = true;
    DoFinishWork();
  } else if (info->InternalFormat && HasFileLoaderByName(info->FileType)) {
    result = CallFileLoader(*this, info->FileType, FileName);
  } else {
    fParams->SetFileName("");
    fParams->SetFileType(0);
    fParams->ResetInfo();
    if (!info->ReadFunction)
      withoutReader = true;
    else if (AsyncStart(vxLoadSaveFileIFRetBool, &TVexlaneIO::LoadFromFile, FileName, ImageFormat))
      return true;
    else
      result = RegistryLoadFromFile(FileName, info, true);
  }
  if (!result && ImageFormat == -9) {
    // Content that nothing recognises leaves the failed load as it ended.
    const int32_t detected = VXFindFileFormat(FileName, false);
    if (detected != 0 && (!info || detected != info->FileType)) {
      fAborting = false;
      return LoadFromFileFormat(FileName, detected);
    }
  }
  if (withoutReader && !result) {
    fAborting = true;
    DoFinishWork();
  }
  return result;
}

bool TVexlaneIO::LoadFromFile(const std::string& FileName, bool /*bCheckUnknown*/) {
  return LoadFromFile(FileName, int32_t(-9));
}

bool TVexlaneIO::LoadFromFileAuto(const std::string& FileName) {
  const int32_t detected = VXFindFileFormat(FileName, false);
  return detected == 0 ? LoadFromFile(FileName, int32_t(-1)) : LoadFromFileFormat(FileName, detected);
}

bool TVexlaneIO::LoadAVIFileFrame(const std::string& FileName) {
  // The frame is read on this thread: the file closes right after it.
  OpenAVIFile(FileName);
  if (fAborting) return false;
  const bool loaded = LoadFromAVICore(fParams->ImageIndex());
  CloseAVIFile();
  fParams->SetFileName(FileName);
  fParams->SetFileType(kAVIFileType);
  return loaded;
}

bool TVexlaneIO::LoadFromFileFormat(const std::string& FileName, int32_t FileFormat) {
  // AVI files have no registry entry: their frames come through the AVI
  // file functions, whatever the file is named.
  if (FileFormat == kAVIFileType) return LoadAVIFileFrame(FileName);
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(FileFormat);
  if (!info) {
    VXRequireLibraryStartup();
    return false;
  }
  if (info->InternalFormat) {
    if (HasFileLoaderByType(FileFormat)) return CallFileLoader(*this, FileFormat, FileName);
    return LoadFromFile(FileName, int32_t(-1));
  }
  fParams->ResetInfo();
  fParams->SetFileName("");
  fParams->SetFileType(0);
  if (!info->ReadFunction) {
    fAborting = true;
    DoFinishWork();
    return false;
  }
  if (AsyncStart(vxLoadSaveFileFFRetBool, &TVexlaneIO::LoadFromFileFormat, FileName, FileFormat)) return true;
  return RegistryLoadFromFile(FileName, info, false);
}

// ---------------------------------------------------------------------------
// Loading from streams and buffers

bool TVexlaneIO::RegistryLoadFromStream(TStream* Stream, const TVXFileFormatInfo* Info) {
  fParams->ResetInfo();
  fParams->SetFileName("");
  fParams->SetFileType(0);
  if (!Info->ReadFunction) {
    fAborting = true;
    DoFinishWork();
    return false;
  }
  return OperationPattern(false, [&] { return RegistryRead(Stream, Info, false); });
}

bool TVexlaneIO::LoadFromStream(TStream* Stream) {
  const int64_t pos = Stream->Position();
  const int32_t type = VXFindStreamFormat(Stream);
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(type);
  if (!info) {
    VXRequireLibraryStartup();
    fAborting = true;
    return false;
  }
  Stream->SetPosition(pos);
  if (info->InternalFormat)
    return HasStreamLoaderByContent(type) ? CallStreamLoader(*this, type, Stream) : false;
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStream, Stream)) return true;
  return RegistryLoadFromStream(Stream, info);
}

bool TVexlaneIO::LoadFromStreamFormat(TStream* Stream, int32_t FileFormat) {
  if (FileFormat == 0) return LoadFromStream(Stream);
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(FileFormat);
  if (!info) return false;
  if (info->InternalFormat) {
    if (FileFormat == 9 || FileFormat == 10) return LoadFromStream(Stream);
    return HasStreamLoaderByType(FileFormat) ? CallStreamLoader(*this, FileFormat, Stream) : false;
  }
  if (AsyncStart(vxLoadSaveStreamFTRetBool, &TVexlaneIO::LoadFromStreamFormat, Stream, FileFormat)) return true;
  return RegistryLoadFromStream(Stream, info);
}

void TVexlaneIO::LoadFromBuffer(const void* Buffer, int32_t BufferSize, int32_t Format) {
  if (Buffer == nullptr || BufferSize <= 0) {
    fAborting = true;
    return;
  }
  if (AsyncStartWanted()) {
    // The request outlives this call, and the caller may free or reuse its
    // buffer as soon as it returns: the request reads a copy that it owns.
    struct TOwnedBuffer {
      std::vector<uint8_t> Bytes;
      TVXMemStream Stream;
      TOwnedBuffer(const void* Data, int32_t Size)
          : Bytes(static_cast<const uint8_t*>(Data), static_cast<const uint8_t*>(Data) + Size),
            Stream(Bytes.data(), int64_t(Bytes.size())) {}
    };
    auto owned = std::make_shared<TOwnedBuffer>(Buffer, BufferSize);
    TVXIOThread::CreateLoadSaveStreamFTRetBool(
        this,
        [this, owned](TStream* s, int32_t f) { return f != 0 ? LoadFromStreamFormat(s, f) : LoadFromStream(s); },
        &owned->Stream, Format);
    return;
  }
  TVXMemStream stream(Buffer, BufferSize);
  if (Format != 0)
    LoadFromStreamFormat(&stream, Format);
  else
    LoadFromStream(&stream);
}

// ---------------------------------------------------------------------------
// Parameters only

void TVexlaneIO::ReadParamsOf(int32_t FileType, TStream* Stream, TProgressRec& Progress) {
  if (FileType == 9 || FileType == 10) {
    ReadMetafileParams(Stream, Progress);
    return;
  }
  if (HasCodecParamsReader(FileType)) {
    const TVXCodecOps& ops = VXRequireCodecOps(FileType, vxcoReadParams);
    TVXCodecReadArgs args;
    args.Stream = Stream;
    args.Bitmap = fVXBitmap;
    args.Params = fParams.get();
    args.Progress = &Progress;
    args.Preview = true;
    args.Length = Stream->Size() - Stream->Position();
    (ops.ReadParams ? ops.ReadParams : ops.Read)(args);
    return;
  }
  const TVXFileFormatInfo* info = VXFindFileFormatInfo(FileType);
  if (info && info->ReadFunction) info->ReadFunction(Stream, fVXBitmap, *fParams, Progress, true);
}

void TVexlaneIO::ParamsFromBuffer(const void* Buffer, int32_t BufferSize, int32_t Format) {
  if (Buffer == nullptr || BufferSize <= 0) {
    fAborting = true;
    return;
  }
  TVXMemStream stream(Buffer, BufferSize);
  if (Format != 0)
    ParamsFromStreamFormat(&stream, Format);
  else
    ParamsFromStream(&stream);
}

void TVexlaneIO::ParamsFromFile(const std::string& FileName) {
  try {
    ParamsFromFileFormat(FileName, VXFindFileFormat(FileName, true));
  } catch (...) {
    fParams->SetFileType(0);
  }
}

void TVexlaneIO::ParamsFromFileFormat(const std::string& FileName, int32_t format) {
  fParams->SetFileType(format);
  fParams->ResetInfo();
  fAborting = true;
  TProgressRec progress;
  progress.Aborting = &fAborting;
  try {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TVXBufferedReadStream buffered(&file, 8192, VXGetGlobalSettings()->UseRelativeStreams());
    fAborting = false;
    ReadParamsOf(format, &buffered, progress);
  } catch (...) {
    fParams->SetFileType(0);
  }
  if (fAborting) fParams->SetFileType(0);
  fParams->SetFileName(FileName);
  DoFinishWork();
}

void TVexlaneIO::ParamsFromStream(TStream* Stream) {
  try {
    ParamsFromStreamFormat(Stream, VXFindStreamFormat(Stream));
  } catch (...) {
    fParams->SetFileType(0);
  }
}

void TVexlaneIO::ParamsFromStreamFormat(TStream* Stream, int32_t format) {
  {
    TVXBufferedReadStream buffered(Stream, 8192, VXGetGlobalSettings()->UseRelativeStreams());
    fParams->SetFileType(format);
    fParams->ResetInfo();
    fAborting = false;
    TProgressRec progress;
    progress.Aborting = &fAborting;
    try {
      ReadParamsOf(format, &buffered, progress);
    } catch (...) {
      fParams->SetFileType(0);
    }
    if (fAborting) fParams->SetFileType(0);
  }
  DoFinishWork();
}
