// Metafile pictures: an enhanced metafile, or a Windows metafile (plain or
// behind a placeable header) taken in as one, drawn by playing its records.
#pragma once
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

#include "gui/graphics.h"
#include "winui/metafile.h"

class TMetafile : public TGraphic {
 public:
  TMetafile() = default;
  ~TMetafile() override;
  TMetafile(const TMetafile&) = delete;
  TMetafile& operator=(const TMetafile&) = delete;

  // The bytes a metafile beginning with Head (at least 40 bytes) says it
  // holds, its placeable header included; 0 when Head begins no metafile.
  // Some writers count a placeable header in the Windows header's size as
  // well: when Available bytes (from Head on) fall short of the size only
  // by that, the metafile ends there.
  static int64_t DeclaredSize(const uint8_t* Head, size_t Count, int64_t Available);

  // An enhanced metafile by its signature, else a placeable or plain
  // Windows metafile. Raise EInvalidGraphicOperation "Invalid metafile" for
  // anything else or a damaged one; the picture held before stays then.
  void LoadFromBuffer(const uint8_t* Data, size_t Count);
  void LoadFromFile(const std::string& FileName);
  // From the stream's position: the metafile's declared size is read.
  void LoadFromStream(std::istream& Stream);

  bool Enhanced() const { return fEnhanced; }
  // Size in pixels (the own size after a load; the setters change the size
  // it is drawn at).
  int Width() const override { return fWidth; }
  int Height() const override { return fHeight; }
  void SetWidth(int v) override;
  void SetHeight(int v) override;
  // Size in 0.01 mm.
  int MMWidth() const { return fMMWidth; }
  int MMHeight() const { return fMMHeight; }
  void SetMMWidth(int v);
  void SetMMHeight(int v);
  // Units per inch of a placeable Windows metafile (0 otherwise).
  int Inch() const { return fInch; }
  // The picture draws only what its records draw.
  bool Transparent() const { return true; }
  bool Empty() const override { return fHandle == nullptr; }
  HENHMETAFILE Handle() const { return fHandle; }
  // Takes the handle (null empties the picture); its own size comes from its
  // frame.
  void SetHandle(HENHMETAFILE Value);
  void Draw(TCanvas* Canvas, const TRect& Rect) override;

 private:
  void Clear();
  HENHMETAFILE fHandle = nullptr;
  bool fEnhanced = true;
  int fWidth = 0, fHeight = 0, fMMWidth = 0, fMMHeight = 0, fInch = 0;
};
