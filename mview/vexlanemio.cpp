// The multi-frame I/O component: attachment, the parameter list kept in step
// with the viewer's images, progress and aborting.
#include "mview/vexlanemio.h"

#include <algorithm>

#include "core/bitmap.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "io/params.h"
#include "io/printparams.h"
#include "io/vexlaneio.h"
#include "mview/vexlanemview.h"

TVexlaneMIO::TVexlaneMIO(TComponent* Owner)
    : TComponent(Owner),
      fPreviewFont(std::make_unique<TFont>()),
      fPrintPreviewParams(std::make_unique<TIOPrintPreviewParams>()) {}

TVexlaneMIO::~TVexlaneMIO() {
  if (fVexlaneMView != nullptr) fVexlaneMView->RemoveBitmapChangeEvent(fVexlaneMViewBitmapChangeHandle);
  fVexlaneMView = nullptr;
  for (size_t i = fParams.size(); i-- > 0;) delete fParams[i];
  fParams.clear();
}

// ---------------------------------------------------------------------------
// Attachment

void TVexlaneMIO::Detach() {
  if (fVexlaneMView != nullptr) {
    fVexlaneMView->RemoveBitmapChangeEvent(fVexlaneMViewBitmapChangeHandle);
    fVexlaneMView->RemoveFreeNotification(this);
  }
  fVexlaneMView = nullptr;
  fVexlaneMViewBitmapChangeHandle = nullptr;
}

void TVexlaneMIO::SetAttachedMView(TVXView* Value) {
  TVexlaneMView* mv = nullptr;
  if (Value != nullptr) {
    mv = dynamic_cast<TVexlaneMView*>(Value);
    if (mv == nullptr) throw EVXException("Invalid class typecast");
  }
  Detach();
  fVexlaneMView = mv;
  if (mv == nullptr) return;
  mv->FreeNotification(this);
  fVexlaneMViewBitmapChangeHandle =
      mv->RegisterBitmapChangeEvent([this](void*, bool Destroying) { BitmapChange(Destroying); }, this);
  while (ParamsCount() < mv->ImageCount()) InsertParams(ParamsCount());
}

void TVexlaneMIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && fVexlaneMView != nullptr &&
      AComponent == static_cast<TComponent*>(fVexlaneMView)) {
    fVexlaneMView->RemoveBitmapChangeEvent(fVexlaneMViewBitmapChangeHandle);
    fVexlaneMView = nullptr;
    fVexlaneMViewBitmapChangeHandle = nullptr;
  }
}

// ---------------------------------------------------------------------------
// The parameter list

void TVexlaneMIO::InsertParams(int32_t idx) {
  auto p = std::make_unique<TIOParamsVals>();
  const int32_t n = ParamsCount();
  if (n > 0) p->AssignCompressionInfo(*fParams[size_t(idx < n ? idx : n - 1)]);
  if (idx >= 0 && idx < n)
    fParams.insert(fParams.begin() + idx, p.release());
  else
    fParams.push_back(p.release());
}

void TVexlaneMIO::BitmapChange(bool Destroying) {
  if (Destroying) {
    // The viewer goes: its registrations go with it.
    fVexlaneMView = nullptr;
    fVexlaneMViewBitmapChangeHandle = nullptr;
    return;
  }
  TVexlaneMView* mv = fVexlaneMView;
  if (mv == nullptr) return;
  const int32_t idx = mv->GetLastOpIdx(), p = mv->GetLastOpP1();
  const int32_t n = ParamsCount();
  switch (mv->GetLastOp()) {
    case 1:
      InsertParams(idx);
      break;
    case 2:
      if (idx >= 0 && idx < n) {
        delete fParams[size_t(idx)];
        fParams.erase(fParams.begin() + idx);
      }
      break;
    case 3: {
      if (idx < 0 || idx >= n || p < 0 || idx == p) break;
      TIOParamsVals* e = fParams[size_t(idx)];
      fParams.erase(fParams.begin() + idx);
      if (p < n)
        fParams.insert(fParams.begin() + p, e);
      else
        fParams.push_back(e);
      break;
    }
    case 4:
      if (idx >= 0 && idx < n && p >= 0 && p < n) std::swap(fParams[size_t(idx)], fParams[size_t(p)]);
      break;
    case 5: {
      const std::vector<int32_t> g = mv->GetLastOpGroup();
      const std::vector<TIOParamsVals*> copy = fParams;
      for (size_t k = 0; k < g.size(); ++k) {
        if (g[k] < 0 || g[k] >= int32_t(copy.size())) continue;
        TIOParamsVals* e = copy[size_t(g[k])];
        auto at = std::find(fParams.begin(), fParams.end(), e);
        if (at == fParams.end()) continue;
        *at = nullptr;
        const size_t pos = std::min(fParams.size(), size_t(std::max(0, p)) + k);
        fParams.insert(fParams.begin() + ptrdiff_t(pos), e);
      }
      for (size_t i = fParams.size(); i-- > 0;)
        if (fParams[i] == nullptr) fParams.erase(fParams.begin() + ptrdiff_t(i));
      break;
    }
    default:
      break;
  }
}

TIOParamsVals* TVexlaneMIO::GetParams(int32_t idx) const {
  return idx >= 0 && idx < ParamsCount() ? fParams[size_t(idx)] : nullptr;
}

void TVexlaneMIO::DuplicateCompressionInfo() {
  if (fParams.empty()) return;
  TIOParamsVals first;
  first.AssignCompressionInfo(*fParams[0]);
  for (size_t i = 1; i < fParams.size(); ++i) fParams[i]->AssignCompressionInfo(first);
}

void TVexlaneMIO::Update() {
  if (fVexlaneMView == nullptr) return;
  fVexlaneMView->Update();
  fVexlaneMView->ImageChange();
}

// ---------------------------------------------------------------------------
// Progress and aborting

void TVexlaneMIO::SetAborting(bool Value) {
  // The acquisition objects, once the acquisition layer gives them, take the
  // flag too.
  fAborting = Value;
}

void TVexlaneMIO::DoFinishWork() {
  if (OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

void TVexlaneMIO::DoAcquireBitmap(TVXBitmap* ABitmap, int32_t DpiX, int32_t DpiY, bool& Handled) {
  if (OnAcquireBitmap) OnAcquireBitmap(this, ABitmap, DpiX, DpiY, Handled);
}

void TVexlaneMIO::DoAcquireClose() {
  if (OnAcquireClose) OnAcquireClose(this);
}

void TVexlaneMIO::DoFrameProgress(int32_t i, int32_t n) {
  if (!OnProgress || n <= 0) return;
  OnProgress(this, int32_t(double(i) * (100.0 / double(n))));
}

int32_t TVexlaneMIO::InsertionIndex() const {
  if (fVexlaneMView == nullptr) return 0;
  const int32_t s = fVexlaneMView->SelectedImage();
  return s < 0 ? fVexlaneMView->ImageCount() : s;
}

void TVexlaneMIO::FixResolution(TIOParamsVals& Params) {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  if (Params.DpiX() < 2) Params.SetDpiX(s->DefaultDPIX());
  if (Params.DpiY() < 2) Params.SetDpiY(s->DefaultDPIY());
}

void TVexlaneMIO::AdjustSquarePixels(TVXBitmap* Bitmap, TIOParamsVals& Params) {
  if (!fAutoAdjustDPI || Bitmap == nullptr) return;
  std::unique_ptr<TVexlaneIO> io = TVexlaneIO::CreateFromBitmap(Bitmap);
  io->Params().Assign(Params);
  io->SetAutoAdjustDPI(true);
  io->SetFilteredAdjustDPI(fFilteredAdjustDPI);
  io->DoAutoAdjustDPI();
  Params.Assign(io->Params());
}

void TVexlaneMIO::BeginFileLoad(const std::string& FileName) { fLoadingFileName = FileName; }

void TVexlaneMIO::EndFileLoad() {
  fLastFilename = fLoadingFileName;
  fLoadingFileName.clear();
}
