// The processing preview dialog's FFT page: the spectrum of a reduced copy of
// the source in a small viewer, where the user selects the frequencies to
// remove. The preview clears the selection on a copy of the stored transform
// and transforms it back into the result view; the final run transforms the
// full-size source, with the selection carried to its transform by frequency.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "dialogs/previews.h"
#include "dialogs/previews_controls.h"
#include "proc/dialogparams.h"
#include "proc/ftimage.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"
#include "words/words.h"

namespace {

constexpr int kFFTTag = 11;

// The reduced copy's size and the spectrum's for a Width x Height source.
void FFTSizes(int32_t Width, int32_t Height, int32_t& NewWidth, int32_t& NewHeight, int32_t& S) {
  TVXFtImage::CalcSuitableSourceSize(Width, Height, NewWidth, NewHeight);
  TVXFtImage::CalcFFTImageSize(NewWidth, NewHeight, S);
}

// Cells Lo..Hi (offsets from the centre c of the source grid) whose
// frequency band, scaled by K, overlaps target cell T (offset from the centre
// C of the target grid).
void SourceCells(int32_t T, int32_t C, int32_t c, double K, int32_t& Lo, int32_t& Hi) {
  Lo = int32_t(std::floor((double(T - C) - 0.5) / K - 0.5)) + 1 + c;
  Hi = int32_t(std::ceil((double(T - C) + 0.5) / K + 0.5)) - 1 + c;
}

// Loads a stored spectrum selection into View, whose spectrum is S x S. A
// selection stored for a spectrum of another size is scaled to this one, so
// that it stays around the centre (the zero frequency) as it was. False when
// nothing was loaded.
bool LoadStoredSelection(TVexlaneView* View, TMemoryStream* Stored, int32_t S) {
  uint8_t head[8] = {};
  Stored->SetPosition(0);
  if (Stored->Size() < 8 || Stored->Read(head, 8) != 8) return false;
  Stored->SetPosition(0);
  const auto le = [&head](int i) {
    return int32_t(uint32_t(head[i]) | uint32_t(head[i + 1]) << 8 | uint32_t(head[i + 2]) << 16 |
                   uint32_t(head[i + 3]) << 24);
  };
  const int32_t w = le(0), h = le(4);
  if (w == S && h == S) return View->LoadSelectionFromStream(Stored, vxrsMoveToAdapt);
  // The mask's rows must be in the stream (at least one bit per pixel)
  // before a bitmap of the stored size is made for it.
  if (w < 1 || h < 1 || (int64_t(w) + 31) / 32 * 4 * int64_t(h) > Stored->Size()) return false;
  TVexlaneView probe(nullptr);
  probe.SetSelectionBase(vxsbBitmap);
  if (!probe.GetVXBitmap()->Allocate(w, h, vx1g)) return false;
  if (!probe.LoadSelectionFromStream(Stored, vxrsNone) || !probe.Selected()) return false;
  TVXMask* mask = probe.SelectionMask();
  const std::unique_ptr<TVXMask> scaled = mask->CreateResampledMask(S, S);
  if (!probe.GetVXBitmap()->Allocate(S, S, vx1g)) return false;
  mask->Assign(scaled.get());
  mask->SyncRect();
  mask->SyncFull();
  probe.SelectCustom();
  TMemoryStream stream;
  probe.SaveSelectionToStream(&stream);
  stream.SetPosition(0);
  return View->LoadSelectionFromStream(&stream, vxrsMoveToAdapt);
}

}  // namespace

std::unique_ptr<TVXMask> VXCarryFFTSelection(TVXMask* Mask, int32_t S, int32_t CopyWidth, int32_t CopyHeight,
                                             int32_t N, int32_t SourceWidth, int32_t SourceHeight) {
  auto out = std::make_unique<TVXMask>();
  if (N < 1) return out;
  out->AllocateBits(N, N, 1);
  if (!Mask || Mask->IsEmpty() || S < 1 || CopyWidth < 1 || CopyHeight < 1 || SourceWidth < 1 || SourceHeight < 1)
    return out;
  const double kx = double(N) * CopyWidth / (double(S) * SourceWidth);
  const double ky = double(N) * CopyHeight / (double(S) * SourceHeight);
  const int32_t c = S / 2, C = N / 2;
  const int32_t mx1 = std::max(Mask->X1(), 0), my1 = std::max(Mask->Y1(), 0);
  const int32_t mx2 = std::min(Mask->X2(), Mask->Width() - 1), my2 = std::min(Mask->Y2(), Mask->Height() - 1);
  if (mx1 > mx2 || my1 > my2) return out;
  // The target cells that the selection's box can reach.
  const auto reach = [](int32_t s1, int32_t s2, int32_t c, int32_t C, double k, int32_t N, int32_t& t1,
                        int32_t& t2) {
    t1 = std::max(int32_t(std::floor((double(s1 - c) - 0.5) * k - 0.5)) + 1 + C, 0);
    t2 = std::min(int32_t(std::ceil((double(s2 - c) + 0.5) * k + 0.5)) - 1 + C, N - 1);
  };
  int32_t tx1 = 0, tx2 = 0, ty1 = 0, ty2 = 0;
  reach(mx1, mx2, c, C, kx, N, tx1, tx2);
  reach(my1, my2, c, C, ky, N, ty1, ty2);
  if (tx1 > tx2 || ty1 > ty2) return out;
  std::vector<int32_t> xlo(size_t(tx2 - tx1 + 1)), xhi(xlo.size());
  for (int32_t t = tx1; t <= tx2; ++t) {
    int32_t lo = 0, hi = 0;
    SourceCells(t, C, c, kx, lo, hi);
    xlo[size_t(t - tx1)] = std::max(lo, mx1);
    xhi[size_t(t - tx1)] = std::min(hi, mx2);
  }
  for (int32_t u = ty1; u <= ty2; ++u) {
    int32_t ylo = 0, yhi = 0;
    SourceCells(u, C, c, ky, ylo, yhi);
    ylo = std::max(ylo, my1);
    yhi = std::min(yhi, my2);
    for (int32_t t = tx1; t <= tx2; ++t) {
      bool selected = false;
      for (int32_t y = ylo; y <= yhi && !selected; ++y)
        for (int32_t x = xlo[size_t(t - tx1)]; x <= xhi[size_t(t - tx1)] && !selected; ++x)
          selected = Mask->GetPixel(x, y) > 0;
      if (selected) out->SetPixel(t, u, 1);
    }
  }
  return out;
}

void TfPreviews::CreateFFTPage() {
  tabFFT = VXPreviewPage(this, PageControl1, "tabFFT", "FFT");
  GroupBox8 = VXPreviewGroup(this, tabFFT, "GroupBox8", 8, 2, 228, 168);
  VexlaneView1 = new TVexlaneView(this);
  VexlaneView1->SetName("VexlaneView1");
  VexlaneView1->SetParent(GroupBox8);
  VexlaneView1->SetBounds(8, 16, 212, 135);
  VexlaneView1->SetBackground(clBtnFace);
  VexlaneView1->SetBorderStyle(bsNone);
  VexlaneView1->SetMouseInteract(TVXMouseInteract((1u << miZoom) | (1u << miSelect)));
  VexlaneView1->SetSelectionBase(vxsbBitmap);
  pbrFFT = VXPreviewControl<TProgressBar>(this, GroupBox8, "pbrFFT", 8, 153, 212, 10);
  pbrFFT->SetVisible(false);
  Clear = VXPreviewControl<TButton>(this, tabFFT, "Clear", 248, 16, 90, 25);
  Clear->OnClick = [this](void*) { ClearClick(); };
  Button7 = VXPreviewControl<TButton>(this, tabFFT, "Button7", 248, 48, 90, 25);
  Button7->OnClick = [this](void*) { Button7Click(); };
  CheckBox1 = VXPreviewControl<TCheckBox>(this, tabFFT, "CheckBox1", 248, 84, 150, 17);
  CheckBox1->SetChecked(true);
  CheckBox1->OnClick = [this](void*) { CheckBox1Click(); };
  VexlaneProc2->SetAttachedVexlane(VexlaneView1);
  VexlaneProc2->SetAutoUndo(false);
  VexlaneProc2->OnProgress = [this](void*, int32_t per) { VexlaneProc2Progress(per); };
}

void TfPreviews::UpdateFFTPageLanguage() {
  GroupBox8->SetCaption(" " + VXLocalizedMessage(84) + " ");
  Clear->SetCaption(VXLocalizedMessage(85));
  Button7->SetCaption(VXLocalizedMessage(86));
  CheckBox1->SetCaption(VXLocalizedMessage(41));
}

void TfPreviews::VexlaneProc2Progress(int32_t Percent) {
  pbrFFT->SetPosition(Percent + FFTProgressPos);
  pbrFFT->SetVisible(true);
}

// ---- loading and storing ----

void TfPreviews::LoadFFTPage(int Tag) {
  if (Tag != kFFTTag) return;
  TIPDialogParams* p = fIPDialogParams;
  CheckBox1->SetChecked(p->FFT_GrayScale);
  const TVXBitmap* src = Vexlane1->GetVXBitmap();
  FFTSizes(src ? src->Width() : 0, src ? src->Height() : 0, FFTNewWidth, FFTNewHeight, FFTSize);
  TVXBitmap* spectrum = VexlaneView1->GetVXBitmap();
  if (spectrum && spectrum->IsEmpty()) spectrum->Allocate(1, 1, vx24RGB);
  VexlaneProc2->ImageResize(FFTSize, FFTSize, vxhLeft, vxvTop, 255);
  bool restored = false;
  TMemoryStream* stored = p->FFT_Selection();
  if (stored && stored->Size() > 0) {
    try {
      restored = LoadStoredSelection(VexlaneView1, stored, FFTSize) && VexlaneView1->Selected();
    } catch (const EVXException&) {
      // A damaged stored selection: the rectangle stored beside it stands.
      restored = false;
    }
  }
  if (!restored && p->FFT_Left() >= 0)
    VexlaneView1->Select(p->FFT_Left(), p->FFT_Top(), p->FFT_Right(), p->FFT_Bottom(), vxspReplace);
  undos[kFFTTag] = "FFT";
}

void TfPreviews::StoreFFTPage(int Tag) {
  if (Tag != kFFTTag) return;
  TIPDialogParams* p = fIPDialogParams;
  if (p->FFT_Selection()) p->FFT_Selection()->Clear();
  if (VexlaneView1->Selected()) {
    p->SetFFT_Left(VexlaneView1->SelX1());
    p->SetFFT_Top(VexlaneView1->SelY1());
    p->SetFFT_Right(VexlaneView1->SelX2());
    p->SetFFT_Bottom(VexlaneView1->SelY2());
    if (p->FFT_Selection()) VexlaneView1->SaveSelectionToStream(p->FFT_Selection());
    VexlaneView1->DeSelect();
  } else {
    p->SetFFT_Left(-1);
    p->SetFFT_Top(-1);
    p->SetFFT_Right(-1);
    p->SetFFT_Bottom(-1);
  }
  p->FFT_GrayScale = CheckBox1->Checked();
}

// ---- the transform and the operation ----

void TfPreviews::RebuildFFT() {
  TVXBitmap* src = Vexlane1->GetVXBitmap();
  if (!src || src->IsEmpty() || !FTImage) return;
  FFTSizes(src->Width(), src->Height(), FFTNewWidth, FFTNewHeight, FFTSize);
  TVXBitmap copy;
  Vexlane1->Proc()->ResampleTo(&copy, FFTNewWidth, FFTNewHeight, VXGetGlobalSettings()->DefaultResampleFilter(),
                               false);
  FFTProgressPos = 0;
  FTImage->BuildFT(&copy, CheckBox1->Checked() ? vxitGrayscale : vxitRGB);
  pbrFFT->SetPosition(0);
  pbrFFT->SetVisible(false);
}

void TfPreviews::RunFFTPageOperation(int Tag, TVexlaneView* View, bool IsPreview) {
  if (Tag != kFFTTag || !FTImage) return;
  const bool gray = CheckBox1->Checked();
  TVXMask* selection = VexlaneView1->Selected() ? VexlaneView1->SelectionMask() : nullptr;
  const TVXMask none;
  const TVXMask* box = selection ? selection : &none;
  CurrentOp = std::string("FFT ") + (gray ? " GRAYSCALE " : " RGB ") + " (" + std::to_string(box->X1()) + "," +
              std::to_string(box->Y1()) + "," + std::to_string(box->X2()) + "," + std::to_string(box->Y2()) + ")";
  if (IsPreview) {
    // The stored transform stays as built: the selection is cleared on a
    // copy, so each preview starts again from the whole spectrum.
    FFTProgressPos = 0;
    TVXFtImage cleaned;
    cleaned.Assign(FTImage.get());
    if (selection) cleaned.ClearZone(selection, 0, 0);
    VexlaneView1->SaveSelection();
    VexlaneProc2->FTDisplayFrom(&cleaned);
    VexlaneView1->Fit();
    VexlaneView1->RestoreSelection(true, vxrsMoveToAdapt);
    FFTProgressPos = 0;
    View->Proc()->FTConvertFrom(&cleaned);
  } else {
    TVXBitmap* bmp = View->GetVXBitmap();
    if (!bmp || bmp->IsEmpty()) return;
    // The full transform is built apart, so that a failure leaves the
    // preview's transform as it was.
    FFTProgressPos = 0;
    TVXFtImage whole;
    whole.OnProgress = FTImage->OnProgress;
    whole.BuildFT(bmp, gray ? vxitGrayscale : vxitRGB);
    if (selection) {
      // The selection lies in the preview transform's grid; the full
      // transform holds the same frequencies at other distances from its
      // centre.
      int32_t copyWidth = 0, copyHeight = 0, s = 0;
      FFTSizes(bmp->Width(), bmp->Height(), copyWidth, copyHeight, s);
      const std::unique_ptr<TVXMask> full =
          VXCarryFFTSelection(selection, s, copyWidth, copyHeight, whole.FFTN(), bmp->Width(), bmp->Height());
      whole.ClearZone(full.get(), 0, 0);
    }
    FFTProgressPos = 0;
    View->Proc()->FTConvertFrom(&whole);
  }
  pbrFFT->SetPosition(0);
  pbrFFT->SetVisible(false);
}

// ---- handlers ----

void TfPreviews::ClearClick() {
  if (fDoChange) RequestPreview(true);
}

void TfPreviews::Button7Click() {
  VexlaneView1->DeSelect();
  UpdatePreview();
}

void TfPreviews::CheckBox1Click() {
  if (fActivated) UpdatePreview();
}
