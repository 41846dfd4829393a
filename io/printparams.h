// The print-preview settings: margins, placement and size of the printed
// image, gamma, the thumbnail layout of multi-image printing and the size the
// preview dialog had last. They persist as an 85-byte little-endian record
// (no header) in a stream or file and can be read and written by name.
#pragma once

#include <cstdint>
#include <string>

class TStream;

enum TIOPrintPreviewPosition {
  ppTopLeft, ppTop, ppTopRight, ppLeft, ppCenter, ppRight, ppBottomLeft, ppBottom, ppBottomRight
};
enum TIOPrintPreviewSize { psNormal, psFitToPage, psStretchToPage, psFillPage, psSpecifiedSize };
enum TIOPrintPreviewThumbnailStyle { ptFlat, ptSoftShadow, ptBorder };

class TIOPrintPreviewParams {
 public:
  // The size of the stored record.
  static constexpr int64_t kStreamSize = 85;

  double MarginTop() const { return fMarginTop; }
  void SetMarginTop(double v) { fMarginTop = v; }
  double MarginLeft() const { return fMarginLeft; }
  void SetMarginLeft(double v) { fMarginLeft = v; }
  double MarginRight() const { return fMarginRight; }
  void SetMarginRight(double v) { fMarginRight = v; }
  double MarginBottom() const { return fMarginBottom; }
  void SetMarginBottom(double v) { fMarginBottom = v; }
  TIOPrintPreviewPosition Position() const { return fPosition; }
  void SetPosition(TIOPrintPreviewPosition v) { fPosition = v; }
  TIOPrintPreviewSize Size() const { return fSize; }
  void SetSize(TIOPrintPreviewSize v) { fSize = v; }
  double Width() const { return fWidth; }
  void SetWidth(double v) { fWidth = v; }
  double Height() const { return fHeight; }
  void SetHeight(double v) { fHeight = v; }
  double Gamma() const { return fGamma; }
  void SetGamma(double v) { fGamma = v; }
  bool PrintThumbnails() const { return fPrintThumbnails; }
  void SetPrintThumbnails(bool v) { fPrintThumbnails = v; }
  int32_t ThumbnailColumns() const { return fThumbnailColumns; }
  void SetThumbnailColumns(int32_t v) { fThumbnailColumns = v; }
  int32_t ThumbnailRows() const { return fThumbnailRows; }
  void SetThumbnailRows(int32_t v) { fThumbnailRows = v; }
  double ThumbnailSpacing() const { return fThumbnailSpacing; }
  void SetThumbnailSpacing(double v) { fThumbnailSpacing = v; }
  TIOPrintPreviewThumbnailStyle ThumbnailStyle() const { return fThumbnailStyle; }
  void SetThumbnailStyle(TIOPrintPreviewThumbnailStyle v) { fThumbnailStyle = v; }
  bool ThumbnailShowText() const { return fThumbnailShowText; }
  void SetThumbnailShowText(bool v) { fThumbnailShowText = v; }
  int32_t DlgWidth() const { return fDlgWidth; }
  void SetDlgWidth(int32_t v) { fDlgWidth = v; }
  int32_t DlgHeight() const { return fDlgHeight; }
  void SetDlgHeight(int32_t v) { fDlgHeight = v; }

  // Writes the 85-byte record at the stream's position.
  void SaveToStream(TStream& Stream) const;
  // Reads the record at the stream's position. A field is set only when all
  // its bytes could be read, so a stream cut short leaves the cut field and
  // those after it as they were; an ordinal outside its enumeration leaves
  // its field as it was too.
  void LoadFromStream(TStream& Stream);
  // The file appears whole or not at all.
  void SaveToFile(const std::string& FileName) const;
  // Opened for shared reading; a file that cannot be opened raises.
  void LoadFromFile(const std::string& FileName);

  // By name ("MARGINTOP" ... "DLGHEIGHT"), compared without control
  // characters and in upper case. An unknown name gives "" and is ignored by
  // SetProperty; values that are not numbers set the name's fallback.
  std::string GetProperty(const std::string& Prop) const;
  void SetProperty(const std::string& Prop, const std::string& Value);

  bool operator==(const TIOPrintPreviewParams&) const = default;

 private:
  double fMarginTop = 1, fMarginLeft = 1, fMarginRight = 1, fMarginBottom = 1;
  TIOPrintPreviewPosition fPosition = ppCenter;
  TIOPrintPreviewSize fSize = psFitToPage;
  double fWidth = -1, fHeight = -1;
  double fGamma = 1;
  bool fPrintThumbnails = false;
  int32_t fThumbnailColumns = 4, fThumbnailRows = 5;
  double fThumbnailSpacing = 0.1;
  TIOPrintPreviewThumbnailStyle fThumbnailStyle = ptSoftShadow;
  bool fThumbnailShowText = true;
  int32_t fDlgWidth = 0, fDlgHeight = 0;
};
