// The I/O component's operations for PBM/PGM/PPM, WBMP and raw pixel data.
#include <string>

#include "core/bitmap.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kPXMFileType = 12, kWBMPFileType = 16, kBMPRAWFileType = 21;

}  // namespace

// PXM: CheckDPI and the DPI adjustment; the view keeps its DPI.
bool TVexlaneIO::LoadFromFilePXM(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFilePXM, FileName)) return true;
  TLoadSteps steps;
  steps.ApplyDPIToView = false;
  return CodecLoadFile(FileName, kPXMFileType, steps);
}

bool TVexlaneIO::LoadFromStreamPXM(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamPXM, Stream)) return true;
  TLoadSteps steps;
  steps.ApplyDPIToView = false;
  return CodecLoadStream(Stream, kPXMFileType, steps);
}

void TVexlaneIO::SaveToFilePXM(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFilePXM, FileName)) return;
  if (fVXBitmap && !fVXBitmap->IsEmpty()) {
    const TVXPixelFormat pf = fVXBitmap->PixelFormat();
    if (pf != vx24RGB && pf != vx1g && pf != vx48RGB) fVXBitmap->SetPixelFormat(vx24RGB);
  }
  CodecSaveFile(FileName, kPXMFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamPXM(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamPXM, Stream)) return;
  CodecSaveStream(Stream, kPXMFileType, vxscTo24Bit);
}

// WBMP: CheckDPI only.
bool TVexlaneIO::LoadFromFileWBMP(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileWBMP, FileName)) return true;
  TLoadSteps steps;
  steps.AutoAdjustDPI = steps.ApplyDPIToView = false;
  return CodecLoadFile(FileName, kWBMPFileType, steps);
}

bool TVexlaneIO::LoadFromStreamWBMP(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamWBMP, Stream)) return true;
  TLoadSteps steps;
  steps.AutoAdjustDPI = steps.ApplyDPIToView = false;
  return CodecLoadStream(Stream, kWBMPFileType, steps);
}

void TVexlaneIO::SaveToFileWBMP(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileWBMP, FileName)) return;
  CodecSaveFile(FileName, kWBMPFileType, vxscTo24Bit);
}

void TVexlaneIO::SaveToStreamWBMP(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamWBMP, Stream)) return;
  CodecSaveStream(Stream, kWBMPFileType, vxscTo24Bit);
}

// Raw data: no DPI steps at all.
bool TVexlaneIO::LoadFromFileBMPRAW(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileBMPRAW, FileName)) return true;
  if (FileName.empty()) return false;
  TLoadSteps steps;
  steps.CheckDPI = steps.AutoAdjustDPI = steps.ApplyDPIToView = false;
  return CodecLoadFile(FileName, kBMPRAWFileType, steps);
}

bool TVexlaneIO::LoadFromStreamBMPRAW(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamBMPRAW, Stream)) return true;
  TLoadSteps steps;
  steps.CheckDPI = steps.AutoAdjustDPI = steps.ApplyDPIToView = false;
  return CodecLoadStream(Stream, kBMPRAWFileType, steps);
}

void TVexlaneIO::SaveToFileBMPRAW(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileBMPRAW, FileName)) return;
  if (FileName.empty()) return;
  CodecSaveFile(FileName, kBMPRAWFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamBMPRAW(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamBMPRAW, Stream)) return;
  CodecSaveStream(Stream, kBMPRAWFileType, vxscNone);
}
