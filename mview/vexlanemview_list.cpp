// The thumbnail viewer's list: inserting, appending, splitting and deleting
// images, the per-image properties and texts, and the selection.
#include <algorithm>
#include <cctype>

#include "core/bitmap.h"
#include "core/textutils.h"
#include "core/virtualimagelist.h"
#include "gui/graphics.h"
#include "io/fileformats.h"
#include "mview/vexlanemview.h"

// ---------------------------------------------------------------------------
// Texts

std::string VXDrivesFolderDisplayName() { return "This PC"; }

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string VXGetDisplayName(const std::string& Text, bool bStripLnk) {
  const size_t cut = Text.find_last_of("/\\:");
  std::string r = cut == std::string::npos ? Text : Text.substr(cut + 1);
  if (bStripLnk && r.size() >= 4 && Upper(r.substr(r.size() - 4)) == ".LNK") r.resize(r.size() - 4);
  if (Upper(r) == VXF_DRIVES_FOLDER) r = VXDrivesFolderDisplayName();
  if (r.empty()) r = Text;
  return r;
}

std::string VXDefaultTextMacro(TVXVexlaneMViewDefaultText Choice) {
  switch (Choice) {
    case vxdtNone:
      return "";
    case vxdtFilename:
      return "$VXM_FILENAME$";
    case vxdtFilenameNoExt:
      return "$VXM_FILENAMENOEXT$";
    case vxdtFilePath:
      return "$VXM_FILEPATH$";
    case vxdtImageDimensions:
      return "$VXM_IMAGE_DIMENSIONS$";
    case vxdtImageDimAndSize:
      return "$VXM_IMAGE_DIM_AND_SIZE$";
    case vxdtFileSize:
      return "$VXM_FILESIZE$";
    case vxdtFileCreateDate:
      return "$VXM_FILECREATEDATE$";
    case vxdtFileCreateDateTime:
      return "$VXM_FILECREATEDATETIME$";
    case vxdtFileCreateDateAndSize:
      return "$VXM_FILECREATEDATE_AND_SIZE$";
    case vxdtFileEditDate:
      return "$VXM_FILEEDITDATE$";
    case vxdtFileEditDateTime:
      return "$VXM_FILEEDITDATETIME$";
    case vxdtFileEditDateAndSize:
      return "$VXM_FILEEDITDATE_AND_SIZE$";
    case vxdtFileType:
      return "$VXM_FILETYPE$";
  }
  return "";
}

// ---------------------------------------------------------------------------
// Insertion

std::unique_ptr<TVXImageInfo> TVexlaneMView::NewRecord() {
  auto r = std::make_unique<TVXImageInfo>();
  r->parent = this;
  r->Background = fBackGround;
  r->ID = -1;
  return r;
}

void TVexlaneMView::ReportOp(int32_t Op, int32_t Idx, int32_t P1, std::vector<int32_t> Group) {
  fLastImOp = Op;
  fLastImIdx = Idx;
  fLastImP1 = P1;
  fLastImGroup = std::move(Group);
  fCheckedCount = -1;
  CallBitmapChangeEvents();
}

int32_t TVexlaneMView::InsertRecord(int32_t idx, bool select) {
  {
    std::lock_guard<std::recursive_mutex> lock(fThreadCS);
    if (idx < 0) idx = 0;
    if (idx < ImageCount()) {
      fImageInfo.insert(fImageInfo.begin() + idx, NewRecord());
    } else {
      fImageInfo.push_back(NewRecord());
      idx = ImageCount() - 1;
    }
  }
  const bool appended = idx == ImageCount() - 1;
  if (select || fSelectedItem < 0) SelectCore(idx);
  if (appended) fPriorHSIDX = fSelectedItem;
  if (OnCreateImage) OnCreateImage(this, idx);
  ReportOp(1, idx, 0);
  UpdateEx(false, fSelectedImageAlwaysVisible);
  return idx;
}

int32_t TVexlaneMView::InsertImageEx(int32_t idx) {
  {
    std::lock_guard<std::recursive_mutex> lock(fThreadCS);
    if (idx < 0) idx = 0;
    if (idx < ImageCount()) {
      fImageInfo.insert(fImageInfo.begin() + idx, NewRecord());
    } else {
      // The index the record got, so that listeners copy from a real entry.
      fImageInfo.push_back(NewRecord());
      idx = ImageCount() - 1;
    }
  }
  if (OnCreateImage) OnCreateImage(this, idx);
  ReportOp(1, idx, 0);
  UpdateEx(false, false);
  return idx;
}

int32_t TVexlaneMView::InsertImage(int32_t Idx) { return InsertRecord(Idx, true); }

int32_t TVexlaneMView::InsertImage(int32_t Idx, TStream* Stream) {
  const int32_t i = InsertRecord(Idx, true);
  SetImageFromStream(i, Stream, 0);
  return i;
}

int32_t TVexlaneMView::InsertImage(int32_t Idx, TVXBitmap* Bitmap) {
  const int32_t i = InsertRecord(Idx, true);
  SetVXBitmap(i, Bitmap);
  return i;
}

int32_t TVexlaneMView::InsertImage(int32_t Idx, TBitmap* Bitmap) {
  const int32_t i = InsertRecord(Idx, true);
  SetImage(i, Bitmap);
  return i;
}

int32_t TVexlaneMView::InsertImage(int32_t Idx, int32_t Width, int32_t Height, TVXPixelFormat PixelFormat) {
  const int32_t i = InsertRecord(Idx, true);
  SetImage(i, Width, Height, PixelFormat);
  return i;
}

int32_t TVexlaneMView::InsertImage(int32_t Idx, const std::string& FileName) {
  const int32_t i = InsertRecord(Idx, true);
  fImageInfo[size_t(i)]->Filename = FileName;
  if (FileName.find("::") == std::string::npos) SetImageFromFile(i, FileName, 0);
  return i;
}

int32_t TVexlaneMView::InsertImage(int32_t Idx, const std::string& FileName, bool LoadOnDemand,
                                   TVXVexlaneMViewDefaultText DefaultTopText,
                                   TVXVexlaneMViewDefaultText DefaultInfoText,
                                   TVXVexlaneMViewDefaultText DefaultBottomText, bool bSelectIt) {
  const int32_t i = InsertRecord(Idx, bSelectIt);
  fImageInfo[size_t(i)]->Filename = FileName;
  if (!LoadOnDemand) SetImageFromFile(i, FileName, 0);
  auto text = [&](TVXVexlaneMViewDefaultText c) {
    return c == vxdtFilename ? VXGetDisplayName(FileName, true) : VXDefaultTextMacro(c);
  };
  SetImageTopText(i, text(DefaultTopText));
  SetImageInfoText(i, text(DefaultInfoText));
  SetImageBottomText(i, text(DefaultBottomText));
  return i;
}

int32_t TVexlaneMView::AppendImage() { return InsertImage(ImageCount()); }
int32_t TVexlaneMView::AppendImage(TStream* Stream) { return InsertImage(ImageCount(), Stream); }
int32_t TVexlaneMView::AppendImage(TVXBitmap* Bitmap) { return InsertImage(ImageCount(), Bitmap); }
int32_t TVexlaneMView::AppendImage(TBitmap* Bitmap) { return InsertImage(ImageCount(), Bitmap); }
int32_t TVexlaneMView::AppendImage(int32_t Width, int32_t Height, TVXPixelFormat PixelFormat) {
  return InsertImage(ImageCount(), Width, Height, PixelFormat);
}
int32_t TVexlaneMView::AppendImage(const std::string& FileName) { return InsertImage(ImageCount(), FileName); }
int32_t TVexlaneMView::AppendImage(const std::string& FileName, bool LoadOnDemand,
                                   TVXVexlaneMViewDefaultText DefaultTopText,
                                   TVXVexlaneMViewDefaultText DefaultInfoText,
                                   TVXVexlaneMViewDefaultText DefaultBottomText, bool bSelectIt) {
  return InsertImage(ImageCount(), FileName, LoadOnDemand, DefaultTopText, DefaultInfoText, DefaultBottomText,
                     bSelectIt);
}

int32_t TVexlaneMView::AppendSplit(TVXBitmap* SourceGrid, int32_t cellWidth, int32_t cellHeight, int32_t maxCount) {
  // A cell side below 1 would never leave the grid.
  if (SourceGrid == nullptr || cellWidth < 1 || cellHeight < 1) return 0;
  int32_t count = 0;
  for (int32_t y = 0; y < SourceGrid->Height(); y += cellHeight) {
    for (int32_t x = 0; x < SourceGrid->Width(); x += cellWidth) {
      const int32_t i = AppendImage();
      SetImageRect(i, SourceGrid, x, y, x + cellWidth - 1, y + cellHeight - 1);
      ++count;
      if (maxCount > 0 && count >= maxCount) return count;
    }
  }
  return count;
}

// ---------------------------------------------------------------------------
// Deletion

bool TVexlaneMView::DeleteOne(int32_t idx, bool keepSelection) {
  if (Rec(idx) == nullptr) return false;
  const int32_t s = fSelectedItem;
  const int32_t countBefore = ImageCount();
  if (!keepSelection) ClearSelection();
  if (OnDestroyImage) OnDestroyImage(this, idx);
  {
    std::lock_guard<std::recursive_mutex> lock(fThreadCS);
    TVXImageInfo* r = Rec(idx);
    if (r == nullptr) return false;
    if (r->image != nullptr) fImageList->Delete(r->image);
    if (r->cacheImage != nullptr) fCacheList->Delete(r->cacheImage);
    fImageInfo.erase(fImageInfo.begin() + idx);
  }
  if (!keepSelection) {
    int32_t ns;
    if (idx == s && idx == countBefore - 1)
      ns = ImageCount() - 1;
    else
      ns = idx < s ? s - 1 : s;
    if (ns >= 0) SelectCore(ns);
  }
  ReportOp(2, idx, 0);
  return true;
}

bool TVexlaneMView::DeleteImage(int32_t idx) {
  if (!DeleteOne(idx, false)) return false;
  UpdateEx(false, fSelectedImageAlwaysVisible);
  return true;
}

void TVexlaneMView::DeleteSelectedImages() {
  if (fDisplayMode == mdSingle || !fEnableMultiSelect) {
    if (fSelectedItem >= 0) DeleteOne(fSelectedItem, false);
  } else {
    std::vector<int32_t> sel = fMultiSelectedImages;
    std::sort(sel.begin(), sel.end());
    for (size_t i = sel.size(); i-- > 0;) DeleteOne(sel[i], false);
  }
  UpdateEx(false, fSelectedImageAlwaysVisible);
}

void TVexlaneMView::DeleteAllImages() {
  ClearSelection();
  for (int32_t i = ImageCount() - 1; i >= 0; --i) DeleteOne(i, true);
  fPriorHSIDX = 0;
}

// ---------------------------------------------------------------------------
// Per-image properties

const TVXImageInfo* TVexlaneMView::ImageInfo(int32_t idx) const { return Rec(idx); }

std::string TVexlaneMView::ImageFileName(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->Filename : std::string();
}

void TVexlaneMView::SetImageFileName(int32_t idx, const std::string& Value) {
  if (TVXImageInfo* r = Rec(idx)) {
    r->Filename = Value;
    r->ID = -1;
  }
}

int32_t TVexlaneMView::ImageID(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->ID : -1;
}

void TVexlaneMView::SetImageID(int32_t idx, int32_t Value) {
  if (TVXImageInfo* r = Rec(idx)) {
    r->ID = Value;
    r->Filename.clear();
  }
}

void TVexlaneMView::RaiseGap(int32_t& Gap, TFont* Font, const std::string& Text, int32_t Extra) {
  TBitmap measure(1, 1);
  measure.Canvas()->Font()->Assign(Font);
  const int32_t th = measure.Canvas()->TextHeight(Text);
  if (Gap < th + 2) Gap = th + fTextMargin + Extra;
}

std::string TVexlaneMView::ImageTopText(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->TopText : std::string();
}

void TVexlaneMView::SetImageTopText(int32_t idx, const std::string& Value) {
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return;
  r->TopText = Value;
  RaiseGap(fUpperGap, fTopTextFont.get(), Value, 2);
}

std::string TVexlaneMView::ImageBottomText(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->BottomText : std::string();
}

void TVexlaneMView::SetImageBottomText(int32_t idx, const std::string& Value) {
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return;
  r->BottomText = Value;
  RaiseGap(fBottomGap, fBottomTextFont.get(), Value, fStyle == vxmsACD ? 4 : 2);
}

std::string TVexlaneMView::ImageInfoText(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->InfoText : std::string();
}

void TVexlaneMView::SetImageInfoText(int32_t idx, const std::string& Value) {
  if (TVXImageInfo* r = Rec(idx)) r->InfoText = Value;
}

TColor TVexlaneMView::ImageBackground(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->Background : TColor(0);
}

void TVexlaneMView::SetImageBackground(int32_t idx, TColor Value) {
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return;
  r->Background = Value;
  ClearImageCache(idx);
  UpdateEx(false, false);
}

int32_t TVexlaneMView::ImageTag(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->tag : -1;
}

void TVexlaneMView::SetImageTag(int32_t idx, int32_t Value) {
  if (TVXImageInfo* r = Rec(idx)) r->tag = Value;
}

void* TVexlaneMView::ImageUserPointer(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->userPointer : nullptr;
}

void TVexlaneMView::SetImageUserPointer(int32_t idx, void* Value) {
  if (TVXImageInfo* r = Rec(idx)) r->userPointer = Value;
}

double TVexlaneMView::ImageDelayTime(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->DTime : 0;
}

void TVexlaneMView::SetImageDelayTime(int32_t idx, double Value) {
  if (TVXImageInfo* r = Rec(idx)) r->DTime = Value;
}

void TVexlaneMView::FileDetails(TVXImageInfo& r) {
  if (r.FileSize == -1) return;
  int64_t size = 0;
  double c = 0, e = 0;
  if (!r.Filename.empty() && VXGetFileDetails(r.Filename, size, c, e)) {
    r.FileSize = size;
    r.CreateDate = c;
    r.EditDate = e;
  } else {
    r.FileSize = -1;
    r.CreateDate = 0;
    r.EditDate = 0;
  }
}

double TVexlaneMView::ImageCreateDate(int32_t idx) {
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return 0;
  if (r->CreateDate == 0) FileDetails(*r);
  return r->CreateDate;
}

void TVexlaneMView::SetImageCreateDate(int32_t idx, double Value) {
  if (TVXImageInfo* r = Rec(idx)) r->CreateDate = Value;
}

double TVexlaneMView::ImageEditDate(int32_t idx) {
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return 0;
  if (r->EditDate == 0) FileDetails(*r);
  return r->EditDate;
}

void TVexlaneMView::SetImageEditDate(int32_t idx, double Value) {
  if (TVXImageInfo* r = Rec(idx)) r->EditDate = Value;
}

int64_t TVexlaneMView::ImageFileSize(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->FileSize : -1;
}

void TVexlaneMView::SetImageFileSize(int32_t idx, int64_t Value) {
  if (TVXImageInfo* r = Rec(idx)) r->FileSize = Value;
}

TVXSourceType TVexlaneMView::ImageSourceType(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->SourceType : vxstDefault;
}

std::string TVexlaneMView::GetImageFileTypeName(int32_t idx) const {
  // The shell's type names come with the shell port; until then none is known.
  (void)idx;
  return std::string();
}

int32_t TVexlaneMView::GetImageKind(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return 0;
  if (r->SourceType == vxstFolderIcon) return 2;
  return VXIsReadableExtension(r->Filename, false) ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Selection

void TVexlaneMView::SelectCore(int32_t idx) {
  fChangedSel = false;
  if (Rec(idx) == nullptr) return;
  if (fSelectedItem >= 0) ReleaseSelectedBitmap();
  bool listed = false;
  if (fEnableMultiSelect) {
    if (!fMultiSelecting) {
      for (int32_t i : fMultiSelectedImages) DoImageDeselect(i);
      fMultiSelectedImages.clear();
    } else if (!fSelectImages) {
      auto at = std::find(fMultiSelectedImages.begin(), fMultiSelectedImages.end(), idx);
      if (at != fMultiSelectedImages.end()) {
        const bool mayRemove = (fMultiSelectionOptions & VXMultiOpt(vxmoLeaveOneSelected)) == 0 ||
                               fMultiSelectedImages.size() > 1;
        if (mayRemove) {
          DoImageDeselect(idx);
          fMultiSelectedImages.erase(at);
          if (!fSelectInclusive) {
            fSelectedItem = -1;
            fChangedSel = true;
            return;
          }
        } else {
          listed = true;
        }
      }
    }
    if (!listed) fMultiSelectedImages.push_back(idx);
    fChangedSel = true;
  }
  if (fSelectImages) {
    fSelectedItem = -1;
  } else {
    fSelectedItem = idx;
    ForgetSelectedBitmap();
    CallBitmapChangeEvents();
    DoImageSelect(idx);
  }
  fChangedSel = true;
}

void TVexlaneMView::ClearSelection() {
  ReleaseSelectedBitmap();
  if (fEnableMultiSelect) {
    for (int32_t i : fMultiSelectedImages) DoImageDeselect(i);
    fMultiSelectedImages.clear();
  } else if (fSelectedItem >= 0) {
    DoImageDeselect(fSelectedItem);
  }
  fMultiSelectedImages.clear();
  fSelectedItem = -1;
}

void TVexlaneMView::SetSelectedImage(int32_t idx) {
  if (Rec(idx) == nullptr) return;
  if (idx == fSelectedItem && !fMultiSelecting) return;
  SelectCore(idx);
  fPriorHSIDX = idx;
  if (!fSelectImages) UpdateEx(false, fSelectedImageAlwaysVisible);
}

void TVexlaneMView::SelectImage(int32_t idx) {
  if (Rec(idx) != nullptr && !IsSelected(idx)) {
    const bool oldBatch = fSelectImages, oldMulti = fMultiSelecting;
    fSelectImages = true;
    fMultiSelecting = true;
    SetSelectedImage(idx);
    fSelectImages = oldBatch;
    fMultiSelecting = oldMulti;
    fSelectedItem = idx;
    ForgetSelectedBitmap();
    CallBitmapChangeEvents();
  }
  UpdateEx(false, false);
}

void TVexlaneMView::UnSelectImage(int32_t idx) {
  if (Rec(idx) != nullptr && IsSelected(idx)) {
    if (idx == fSelectedItem) {
      ReleaseSelectedBitmap();
      ClearImageCache(idx);
      fSelectedItem = -1;
    }
    fMultiSelectedImages.erase(std::remove(fMultiSelectedImages.begin(), fMultiSelectedImages.end(), idx),
                               fMultiSelectedImages.end());
    DoImageDeselect(idx);
  }
  UpdateEx(false, false);
}

void TVexlaneMView::ToggleSelectImage(int32_t idx) {
  if (Rec(idx) == nullptr) return;
  if (IsSelected(idx))
    UnSelectImage(idx);
  else
    SelectImage(idx);
}

void TVexlaneMView::DeSelect() {
  ClearSelection();
  UpdateEx(false, false);
}

void TVexlaneMView::BeginSelectImages() {
  ClearSelection();
  fSelectImages = true;
  fMultiSelecting = true;
}

void TVexlaneMView::EndSelectImages() {
  fSelectImages = false;
  fMultiSelecting = false;
  if (!fMultiSelectedImages.empty()) {
    fSelectedItem = fMultiSelectedImages.back();
    ForgetSelectedBitmap();
  }
  CallBitmapChangeEvents();
  UpdateEx(false, false);
}

bool TVexlaneMView::IsSelected(int32_t idx) const {
  if (idx < 0) return false;
  return idx == fSelectedItem ||
         std::find(fMultiSelectedImages.begin(), fMultiSelectedImages.end(), idx) != fMultiSelectedImages.end();
}

int32_t TVexlaneMView::GetMultiSelectedImages(int32_t index) const {
  if (fEnableMultiSelect) {
    return index >= 0 && index < int32_t(fMultiSelectedImages.size()) ? fMultiSelectedImages[size_t(index)] : -1;
  }
  return index == 0 && fSelectedItem >= 0 ? fSelectedItem : -1;
}

int32_t TVexlaneMView::MultiSelectedImagesCount() const {
  if (fEnableMultiSelect) return int32_t(fMultiSelectedImages.size());
  return fSelectedItem >= 0 ? 1 : 0;
}

std::vector<int32_t> TVexlaneMView::MultiSelectedImagesList() const {
  std::vector<int32_t> r;
  for (int32_t i = 0; i < MultiSelectedImagesCount(); ++i) r.push_back(GetMultiSelectedImages(i));
  return r;
}

void TVexlaneMView::MultiSelectSortList() { std::sort(fMultiSelectedImages.begin(), fMultiSelectedImages.end()); }

void TVexlaneMView::SelectAll() {
  if (!fEnableMultiSelect) return;
  ClearSelection();
  const bool old = fMultiSelecting;
  fMultiSelecting = true;
  for (int32_t i = 0; i < ImageCount(); ++i) SelectCore(i);
  fMultiSelecting = old;
  UpdateEx(false, false);
}

void TVexlaneMView::CopySelection(TVexlaneMView* SourceMView) {
  if (SourceMView == nullptr || SourceMView->ImageCount() != ImageCount() || !fEnableMultiSelect) return;
  ClearSelection();
  const bool old = fMultiSelecting;
  fMultiSelecting = true;
  for (int32_t i = 0; i < ImageCount(); ++i)
    if (SourceMView->IsSelected(i)) SelectCore(i);
  fMultiSelecting = old;
  UpdateEx(false, false);
}
