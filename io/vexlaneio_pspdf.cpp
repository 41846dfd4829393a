// The I/O component's PostScript and PDF output: one-page documents like any
// other save, and documents of many pages built across calls.
#include <memory>
#include <string>

#include "core/bitmap.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kPSFileType = 17, kPDFFileType = 18;

}  // namespace

void TVexlaneIO::SaveToFilePS(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFilePS, FileName)) return;
  CodecSaveFile(FileName, kPSFileType, vxscTo24Bit);
}

void TVexlaneIO::SaveToStreamPS(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamPS, Stream)) return;
  CodecSaveStream(Stream, kPSFileType, vxscTo24Bit);
}

void TVexlaneIO::SaveToFilePDF(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFilePDF, FileName)) return;
  CodecSaveFile(FileName, kPDFFileType, vxscTo24Bit);
}

void TVexlaneIO::SaveToStreamPDF(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamPDF, Stream)) return;
  CodecSaveStream(Stream, kPDFFileType, vxscTo24Bit);
}

void TVexlaneIO::CreatePSFile(const std::string& FileName) {
  const TVXCodecOps& ops = VXRequireCodecOps(kPSFileType, vxcoDocument);
  ClosePSFile();
  fAborting = false;
  auto file = std::make_unique<TVXWideFileStream>(FileName, fmCreate);
  fPS_handle = ops.CreateDocument(file.get(), *fParams);
  fPS_stream = std::move(file);
}

void TVexlaneIO::SaveToPS() { AddDocumentPage(kPSFileType, fPS_handle, fPS_stream.get()); }

void TVexlaneIO::ClosePSFile() { CloseDocument(kPSFileType, fPS_handle, fPS_stream); }

void TVexlaneIO::CreatePDFFile(const std::string& FileName) {
  const TVXCodecOps& ops = VXRequireCodecOps(kPDFFileType, vxcoDocument);
  ClosePDFFile();
  fAborting = false;
  auto file = std::make_unique<TVXWideFileStream>(FileName, fmCreate);
  fPDF_handle = ops.CreateDocument(file.get(), *fParams);
  fPDF_stream = std::move(file);
}

void TVexlaneIO::SaveToPDF() { AddDocumentPage(kPDFFileType, fPDF_handle, fPDF_stream.get()); }

void TVexlaneIO::ClosePDFFile() { CloseDocument(kPDFFileType, fPDF_handle, fPDF_stream); }

void TVexlaneIO::AddDocumentPage(int32_t FileType, void* Handle, TStream* Stream) {
  if (Handle == nullptr) {
    fAborting = true;
    return;
  }
  const TVXCodecOps& ops = VXRequireCodecOps(FileType, vxcoDocument);
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) return;
  if (fVXBitmap->PixelFormat() != vx24RGB && fVXBitmap->PixelFormat() != vx1g) fVXBitmap->SetPixelFormat(vx24RGB);
  fAborting = false;
  TProgressRec progress = MakeProgress();
  try {
    ops.AddPage(Handle, Stream, fVXBitmap, *fParams, progress);
  } catch (...) {
    fAborting = true;
    throw;
  }
}

void TVexlaneIO::CloseDocument(int32_t FileType, void*& Handle, std::unique_ptr<TVXWideFileStream>& Stream) {
  void* handle = Handle;
  std::unique_ptr<TVXWideFileStream> file = std::move(Stream);
  Handle = nullptr;
  if (handle != nullptr) VXRequireCodecOps(FileType, vxcoDocument).CloseDocument(handle, file.get(), *fParams);
}
