// The I/O component's operations for PCX, DCX and Targa.
#include <cstring>
#include <string>

#include "core/bitmap.h"
#include "core/byteorder.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "core/filewriter.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kPCXFileType = 4, kTGAFileType = 11, kDCXFileType = 19;
constexpr int64_t kStreamHeaderSize = 12;

int32_t HeaderLength(const uint8_t* h) { return int32_t(VXGetLE32(h + 8)); }

}  // namespace

// ---- PCX ----

bool TVexlaneIO::LoadFromFilePCX(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFilePCX, FileName)) return true;
  return CodecLoadFile(FileName, kPCXFileType, TLoadSteps{});
}

bool TVexlaneIO::LoadFromStreamPCX(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamPCX, Stream)) return true;
  if (!fStreamHeaders) return CodecLoadStream(Stream, kPCXFileType, TLoadSteps{});
  return OperationPattern(false, [&] {
    bool result = false;
    const int64_t start = Stream->Position();
    uint8_t h[kStreamHeaderSize] = {};
    const int64_t got = Stream->Read(h, kStreamHeaderSize);
    if (got < 4 || std::memcmp(h, "PCX", 3) != 0) {
      fAborting = true;
    } else if (got == kStreamHeaderSize && std::memcmp(h, "PCX2", 5) == 0) {
      const int64_t length = HeaderLength(h);
      if (length < 0 || start + kStreamHeaderSize + length > Stream->Size()) {
        fAborting = true;
      } else {
        result = CodecLoadCore(Stream, kPCXFileType, TLoadSteps{}, length);
        Stream->SetPosition(start + kStreamHeaderSize + length);
      }
    } else {
      // The old header: "PCX" and one more byte, then the image to the end.
      Stream->SetPosition(start + 4);
      result = CodecLoadCore(Stream, kPCXFileType, TLoadSteps{});
    }
    fParams->SetFileName("");
    return result && !fAborting;
  });
}

void TVexlaneIO::SaveToFilePCX(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFilePCX, FileName)) return;
  CodecSaveFile(FileName, kPCXFileType, vxscTo24Bit);
}

void TVexlaneIO::SaveToStreamPCX(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamPCX, Stream)) return;
  if (!fStreamHeaders) {
    CodecSaveStream(Stream, kPCXFileType, vxscTo24Bit);
    return;
  }
  SaveStreamPattern([&] {
    if (fVXBitmap->PixelFormat() != vx24RGB && fVXBitmap->PixelFormat() != vx1g) fVXBitmap->SetPixelFormat(vx24RGB);
    const int64_t start = Stream->Position();
    const uint8_t placeholder[kStreamHeaderSize] = {};
    Stream->WriteBuffer(placeholder, kStreamHeaderSize);
    CodecWrite(Stream, kPCXFileType, false);
    if (!fAborting) {
      const int64_t end = Stream->Position();
      uint8_t h[kStreamHeaderSize] = {'P', 'C', 'X', '2', 0, 0, 0, 0};
      VXPutLE32(h + 8, uint32_t(end - start - kStreamHeaderSize));
      Stream->SetPosition(start);
      Stream->WriteBuffer(h, kStreamHeaderSize);
      Stream->SetPosition(end);
    }
  });
}

// ---- DCX ----

bool TVexlaneIO::LoadFromFileDCX(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileDCX, FileName)) return true;
  return CodecLoadFile(FileName, kDCXFileType, TLoadSteps{});
}

bool TVexlaneIO::LoadFromStreamDCX(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamDCX, Stream)) return true;
  return CodecLoadStream(Stream, kDCXFileType, TLoadSteps{});
}

void TVexlaneIO::SaveToFileDCX(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileDCX, FileName)) return;
  CodecSaveFile(FileName, kDCXFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamDCX(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamDCX, Stream)) return;
  if (Stream) {
    Stream->SetSize(0);
    Stream->SetPosition(0);
  }
  CodecSaveStream(Stream, kDCXFileType, vxscNone);
}

void TVexlaneIO::InsertToFileDCX(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::InsertToFileDCX, FileName)) return;
  OperationPattern(true, [&] {
    // The file is rebuilt in memory and replaces the old one only when the
    // page went in.
    TMemoryStream file;
    file.LoadFromFile(FileName);
    file.SetPosition(0);
    fAborting = false;
    CodecWrite(&file, kDCXFileType, false);
    if (!fAborting) {
      VXWriteFileSafely(FileName, fAborting, [&](TStream* Out) { Out->WriteBuffer(file.Memory(), file.Size()); });
    }
    return true;
  });
}

// ---- Targa ----

bool TVexlaneIO::LoadFromFileTGA(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileTGA, FileName)) return true;
  TLoadSteps steps;
  steps.MaskToAlpha = true;
  return CodecLoadFile(FileName, kTGAFileType, steps);
}

bool TVexlaneIO::LoadFromStreamTGA(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamTGA, Stream)) return true;
  TLoadSteps steps;
  steps.MaskToAlpha = true;
  steps.ApplyDPIToView = false;
  return CodecLoadStream(Stream, kTGAFileType, steps);
}

void TVexlaneIO::SaveToFileTGA(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileTGA, FileName)) return;
  CodecSaveFile(FileName, kTGAFileType, vxscTo24Bit, true);
}

void TVexlaneIO::SaveToStreamTGA(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamTGA, Stream)) return;
  CodecSaveStream(Stream, kTGAFileType, vxscTo24Bit, true);
}
