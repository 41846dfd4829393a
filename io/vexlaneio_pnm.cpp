// The I/O component's operations for PBM/PGM/PPM, WBMP and raw pixel data.
#include <string>

#include "core/bitmap.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kPXMFileType = 12, kWBMPFileType = 16, kBMPRAWFileType = 21;

}  // namespace

// PXM: CheckDPI and the DPI adjustment; the view keeps its DPI.
bool TVexlaneIO::LoadFromFilePXM(const std::string& FileName) {
  TLoadSteps steps;
  steps.ApplyDPIToView = false;
  return CodecLoadFile(FileName, kPXMFileType, steps);
}

bool TVexlaneIO::LoadFromStreamPXM(TStream* Stream) {
  TLoadSteps steps;
  steps.ApplyDPIToView = false;
  return CodecLoadStream(Stream, kPXMFileType, steps);
}

void TVexlaneIO::SaveToFilePXM(const std::string& FileName) {
  if (fVXBitmap && !fVXBitmap->IsEmpty()) {
    const TVXPixelFormat pf = fVXBitmap->PixelFormat();
    if (pf != vx24RGB && pf != vx1g && pf != vx48RGB) fVXBitmap->SetPixelFormat(vx24RGB);
  }
  CodecSaveFile(FileName, kPXMFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamPXM(TStream* Stream) { CodecSaveStream(Stream, kPXMFileType, vxscTo24Bit); }

// WBMP: CheckDPI only.
bool TVexlaneIO::LoadFromFileWBMP(const std::string& FileName) {
  TLoadSteps steps;
  steps.AutoAdjustDPI = steps.ApplyDPIToView = false;
  return CodecLoadFile(FileName, kWBMPFileType, steps);
}

bool TVexlaneIO::LoadFromStreamWBMP(TStream* Stream) {
  TLoadSteps steps;
  steps.AutoAdjustDPI = steps.ApplyDPIToView = false;
  return CodecLoadStream(Stream, kWBMPFileType, steps);
}

void TVexlaneIO::SaveToFileWBMP(const std::string& FileName) { CodecSaveFile(FileName, kWBMPFileType, vxscTo24Bit); }

void TVexlaneIO::SaveToStreamWBMP(TStream* Stream) { CodecSaveStream(Stream, kWBMPFileType, vxscTo24Bit); }

// Raw data: no DPI steps at all.
bool TVexlaneIO::LoadFromFileBMPRAW(const std::string& FileName) {
  if (FileName.empty()) return false;
  TLoadSteps steps;
  steps.CheckDPI = steps.AutoAdjustDPI = steps.ApplyDPIToView = false;
  return CodecLoadFile(FileName, kBMPRAWFileType, steps);
}

bool TVexlaneIO::LoadFromStreamBMPRAW(TStream* Stream) {
  TLoadSteps steps;
  steps.CheckDPI = steps.AutoAdjustDPI = steps.ApplyDPIToView = false;
  return CodecLoadStream(Stream, kBMPRAWFileType, steps);
}

void TVexlaneIO::SaveToFileBMPRAW(const std::string& FileName) {
  if (FileName.empty()) return;
  CodecSaveFile(FileName, kBMPRAWFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamBMPRAW(TStream* Stream) { CodecSaveStream(Stream, kBMPRAWFileType, vxscNone); }
