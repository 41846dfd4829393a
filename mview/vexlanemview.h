// TVexlaneMView: the thumbnail viewer. It holds a list of images, one record
// (TVXImageInfo) per image in display order, whose pixels live in two image
// stores: "ILIST" keeps the images themselves, "ICACHE" the drawn cell bitmaps.
// Images are inserted, appended, split from a grid picture, deleted, selected
// and loaded by file name, stream or URL; the multi-frame I/O component
// (TVexlaneMIO) keeps one parameter set per image in step with the list
// through the bitmap-change callbacks and the last-operation report.
//
// Loads run synchronously on the calling thread (LoadImageNow), under the
// loader lock fThreadCS, a recursive mutex that every read of a record's store
// handles holds.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/softshadow.h"
#include "core/vxdefs.h"
#include "view/viewparams.h"
#include "view/vxview.h"

class TBitmap;
class TFont;
class TStream;
class TVXBitmap;
class TVXVirtualImageList;
class TVexlaneIO;
class TVexlaneProc;
class TVexlaneMIO;
class TVXCachedIconList;

// What a cell shows.
enum TVXSourceType : uint8_t { vxstDefault, vxstFileIcon, vxstFolderIcon, vxstCustomImage };
// How images enter "ILIST" (see SetVXBitmapEx).
enum TVXStoreType : uint8_t { vxtNormal, vxtThumb, vxtFastThumb };
// Cell styles.
enum TVXMStyle : uint8_t { vxmsFlat, vxmsACD, vxmsFlatAndWide };
enum TVXMDisplayMode : uint8_t { mdGrid, mdSingle };
// The default texts of a cell inserted by file name.
enum TVXVexlaneMViewDefaultText : uint8_t {
  vxdtNone,
  vxdtFilename,
  vxdtFilenameNoExt,
  vxdtFilePath,
  vxdtImageDimensions,
  vxdtImageDimAndSize,
  vxdtFileSize,
  vxdtFileCreateDate,
  vxdtFileCreateDateTime,
  vxdtFileCreateDateAndSize,
  vxdtFileEditDate,
  vxdtFileEditDateTime,
  vxdtFileEditDateAndSize,
  vxdtFileType
};
// Options of the thumbnails (bit 0 first).
enum TVXMThumbnailOptionsExItem : uint8_t {
  vxtxCenterThumbnailColumn,
  vxtxShowIconForUnknownFormat,
  vxtxShowIconWhileLoading,
  vxtxShowShadowForIcons,
  vxtxShowShadowForFolders,
  vxtxEnableInternalIcons,
  vxtxStretchSmallImages
};
using TVXMThumbnailOptionsEx = uint8_t;
constexpr TVXMThumbnailOptionsEx VXThumbOpt(TVXMThumbnailOptionsExItem i) { return TVXMThumbnailOptionsEx(1u << i); }
// What the mouse and the keys do (bit 0 first).
enum TVXMMouseInteractItems : uint8_t { mmiScroll, mmiSelect };
using TVXMMouseInteract = uint8_t;
enum TVXMKeyInteractItems : uint8_t { mkiMoveSelected };
using TVXMKeyInteract = uint8_t;
// Multi-selection options (bit 0 first).
enum TVXMMultiSelectionOption : uint8_t {
  vxmoRegion,
  vxmoSelectOnMouseUp,
  vxmoLeaveOneSelected,
  vxmoRegionOnShift,
  vxmoOptimizeForDragging,
  vxmoSelectOnRightClick
};
using TVXMMultiSelectionOptions = uint8_t;
constexpr TVXMMultiSelectionOptions VXMultiOpt(TVXMMultiSelectionOption o) {
  return TVXMMultiSelectionOptions(1u << o);
}

// The drives folder's entry name, shown under the drives folder's own name.
constexpr const char* VXF_DRIVES_FOLDER = "VXF_DRIVES_FOLDER";
// The drives folder's display name.
std::string VXDrivesFolderDisplayName();

// The part of Text after its last "/", "\" or ":"; with bStripLnk a final
// ".LNK" (any case) is removed; the drives folder's entry name becomes its
// display name; an empty result gives Text itself.
std::string VXGetDisplayName(const std::string& Text, bool bStripLnk);
// The macro text of a default-text choice ("" for vxdtNone).
std::string VXDefaultTextMacro(TVXVexlaneMViewDefaultText Choice);

class TVexlaneMView;

// One image of the viewer. Texts may hold macros, expanded when drawn.
struct TVXImageInfo {
  TVexlaneMView* parent = nullptr;
  void* image = nullptr;       // "ILIST" handle; nullptr while not loaded
  void* cacheImage = nullptr;  // "ICACHE" handle; nullptr when none
  int32_t X = 0, Y = 0;        // cell origin in grid coordinates (layout)
  int32_t row = 0, col = 0;
  TColor Background = 0;
  std::string Filename;        // "file::n" names frame n of a multi-frame file
  int32_t ID = -1;
  double DTime = 0;            // display time, ms
  std::string TopText, BottomText, InfoText;
  TRect internalrect{0, 0, 0, 0};
  int32_t tag = 0;
  void* userPointer = nullptr;
  TVXSourceType SourceType = vxstDefault;
  bool Checked = false;
  double CreateDate = 0, EditDate = 0;
  int64_t FileSize = 0;  // 0 not known, -1 looked up and not available
  int32_t FileTypeIndex = 0;
};

class TVexlaneMView : public TVXView {
 public:
  using TVXImageEvent = std::function<void(void* Sender, int32_t idx)>;
  using TVXImageIDRequestEvent = std::function<void(void* Sender, int32_t Index, int32_t ID, TBitmap*& Bitmap)>;
  using TVXImageIDRequestExEvent = std::function<void(void* Sender, int32_t Index, int32_t ID, TVXBitmap*& Bitmap)>;
  using TVXWrongImageEvent = std::function<void(void* Sender, TVXBitmap* OutBitmap, int32_t idx, bool& Handled)>;
  using TVXAcquireBitmapEvent =
      std::function<void(void* Sender, TVXBitmap* ABitmap, int32_t DpiX, int32_t DpiY, bool& Handled)>;
  using TVXSelectionChangingEvent = std::function<void(void* Sender, bool& bAllow)>;
  using TVXViewChangeEvent = std::function<void(void* Sender, int32_t Change)>;

  explicit TVexlaneMView(TComponent* Owner = nullptr);
  ~TVexlaneMView() override;

  TVXViewHostKind HostKind() const override { return vxvhMView; }

  // ---- base control ----
  void Assign(TVexlaneMView* Source) { (void)Source; }
  void SetBackground(TColor Value) override;
  // The selected image's bitmap, fetched once and held until the selection
  // moves; nullptr without a selection.
  TVXBitmap* GetVXBitmap() override;
  TBitmap* GetBitmap() override;
  // The viewer as a whole has no alpha channel.
  TVXBitmap* GetAlphaChannel() override { return nullptr; }
  bool GetHasAlphaChannel() override { return false; }
  void RemoveAlphaChannel(bool Merge) override { (void)Merge; }
  void LockPaint() override;
  int32_t UnLockPaint() override;
  int32_t NPUnLockPaint() override;
  // The base's callbacks, then the last operation goes back to 0.
  void CallBitmapChangeEvents() override;
  // An attached component reads the selected image (the viewer's own DPI).
  void Update() override;

  // ---- virtual slots ----
  virtual void SetOnFinishWork(TNotifyEvent Value);
  virtual TNotifyEvent GetOnFinishWork() const { return fOnFinishWork; }
  virtual void SetOnAcquireBitmap(TVXAcquireBitmapEvent Value);
  virtual TVXAcquireBitmapEvent GetOnAcquireBitmap() const { return fOnAcquireBitmap; }
  virtual TVexlaneMIO* GetMIO();
  virtual TVexlaneProc* GetProc();
  virtual void SetScrollBars(TScrollStyle Value);
  virtual void DoViewChange(int32_t Change);
  virtual void SetMouseInteract(TVXMMouseInteract Value) { fMouseInteract = Value; }
  virtual void SetKeyInteract(TVXMKeyInteract Value) { fKeyInteract = Value; }
  virtual void SetOnProgress(TVXProgressEvent Value);
  virtual TVXProgressEvent GetOnProgress() const { return fOnProgress; }
  // Nothing runs in the background yet: there is nothing to stop.
  virtual void StopBackgroundLoads() {}
  // Fills bitmap with the picture shown for an image that cannot be loaded.
  virtual void LoadSubstituteImage(TVXBitmap* bitmap, int32_t idx, TVXSourceType& SourceType);
  virtual void DoImageSelect(int32_t idx);
  virtual void DoImageDeselect(int32_t idx);
  void LockUpdate() override { ++fLockUpdate; }
  // Lowers the update lock (never below 0); at 0 the layout is updated with
  // the cell bitmaps dropped. The count left.
  virtual int32_t UnLockUpdate();
  void UnLockUpdateEx() override { UnLockUpdate(); }

  TVexlaneMIO* MIO() { return GetMIO(); }
  TVexlaneProc* Proc() { return GetProc(); }

  // ---- image access ----
  int32_t ImageCount() const { return int32_t(fImageInfo.size()); }
  int32_t GetImageWidth(int32_t idx);
  int32_t GetImageHeight(int32_t idx);
  int32_t GetImageOriginalWidth(int32_t idx);
  int32_t GetImageOriginalHeight(int32_t idx);
  void SetImageOriginalWidth(int32_t idx, int32_t Value);
  void SetImageOriginalHeight(int32_t idx, int32_t Value);
  int32_t GetImageBitCount(int32_t idx);
  int32_t GetImageX(int32_t idx) const;
  int32_t GetImageY(int32_t idx) const;
  int32_t GetImageRow(int32_t idx) const;
  int32_t GetImageCol(int32_t idx) const;
  // Loads the image when it is not loaded and copies it into bmp. Nothing
  // out of range or when nothing can be loaded.
  void CopyToVXBitmap(int32_t idx, TVXBitmap* bmp);
  // The store's bitmap of the image (loaded when needed), lent until
  // ReleaseBitmap; nullptr out of range or when it cannot be loaded.
  TVXBitmap* GetTVXBitmap(int32_t idx);
  TBitmap* GetBitmap(int32_t idx);
  // Hands the lent bitmap back (written back with saveChanges) and clears the
  // image's cell bitmap. Nothing out of range or when none is lent.
  void ReleaseBitmap(int32_t idx, bool saveChanges);
  void SetVXBitmapEx(int32_t idx, TVXBitmap* srcImage);
  void SetVXBitmap(int32_t idx, TVXBitmap* srcImage);
  void SetImageEx(int32_t idx, TBitmap* srcImage);
  void SetImage(int32_t idx, TBitmap* srcImage);
  void SetImage(int32_t idx, int32_t width, int32_t height, TVXPixelFormat PixelFormat);
  // The inclusive rectangle (clipped at the right and bottom edges).
  void SetImageRect(int32_t idx, TBitmap* srcImage, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void SetImageRect(int32_t idx, TVXBitmap* srcImage, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void UpdateEx(bool bUpdateCache, bool bRespositionSelection);
  void Clear();
  void ClearImageCache(int32_t idx);
  // Every cell bitmap dropped, and the icon cache emptied.
  void ClearCache();
  void PrepareSpaceFor(int32_t Width, int32_t Height, int32_t Bitcount, int32_t ImageCount);

  // ---- list operations ----
  int32_t InsertImage(int32_t Idx);
  int32_t InsertImage(int32_t Idx, TStream* Stream);
  int32_t InsertImage(int32_t Idx, TVXBitmap* Bitmap);
  int32_t InsertImage(int32_t Idx, TBitmap* Bitmap);
  int32_t InsertImage(int32_t Idx, int32_t Width, int32_t Height, TVXPixelFormat PixelFormat);
  int32_t InsertImage(int32_t Idx, const std::string& FileName);
  int32_t InsertImage(int32_t Idx, const std::string& FileName, bool LoadOnDemand,
                      TVXVexlaneMViewDefaultText DefaultTopText, TVXVexlaneMViewDefaultText DefaultInfoText,
                      TVXVexlaneMViewDefaultText DefaultBottomText, bool bSelectIt);
  // Inserts without touching the selection; the index the record got.
  int32_t InsertImageEx(int32_t idx);
  int32_t AppendImage();
  int32_t AppendImage(TStream* Stream);
  int32_t AppendImage(TVXBitmap* Bitmap);
  int32_t AppendImage(TBitmap* Bitmap);
  int32_t AppendImage(int32_t Width, int32_t Height, TVXPixelFormat PixelFormat);
  int32_t AppendImage2(int32_t Width, int32_t Height, TVXPixelFormat PixelFormat) {
    return AppendImage(Width, Height, PixelFormat);
  }
  int32_t AppendImage(const std::string& FileName);
  int32_t AppendImage(const std::string& FileName, bool LoadOnDemand, TVXVexlaneMViewDefaultText DefaultTopText,
                      TVXVexlaneMViewDefaultText DefaultInfoText, TVXVexlaneMViewDefaultText DefaultBottomText,
                      bool bSelectIt);
  // Cuts SourceGrid into cellWidth x cellHeight images, row by row; at most
  // maxCount when above 0. The number appended (0 for a cell side below 1).
  int32_t AppendSplit(TVXBitmap* SourceGrid, int32_t cellWidth, int32_t cellHeight, int32_t maxCount);
  // False when idx is out of range.
  bool DeleteImage(int32_t idx);
  void DeleteSelectedImages();

  // ---- per-image properties ----
  std::string ImageFileName(int32_t idx) const;
  void SetImageFileName(int32_t idx, const std::string& Value);
  int32_t ImageID(int32_t idx) const;
  void SetImageID(int32_t idx, int32_t Value);
  std::string ImageTopText(int32_t idx) const;
  void SetImageTopText(int32_t idx, const std::string& Value);
  std::string ImageBottomText(int32_t idx) const;
  void SetImageBottomText(int32_t idx, const std::string& Value);
  std::string ImageInfoText(int32_t idx) const;
  void SetImageInfoText(int32_t idx, const std::string& Value);
  TColor ImageBackground(int32_t idx) const;
  void SetImageBackground(int32_t idx, TColor Value);
  int32_t ImageTag(int32_t idx) const;
  void SetImageTag(int32_t idx, int32_t Value);
  void* ImageUserPointer(int32_t idx) const;
  void SetImageUserPointer(int32_t idx, void* Value);
  double ImageDelayTime(int32_t idx) const;
  void SetImageDelayTime(int32_t idx, double Value);
  double ImageCreateDate(int32_t idx);
  void SetImageCreateDate(int32_t idx, double Value);
  double ImageEditDate(int32_t idx);
  void SetImageEditDate(int32_t idx, double Value);
  int64_t ImageFileSize(int32_t idx) const;
  void SetImageFileSize(int32_t idx, int64_t Value);
  TVXSourceType ImageSourceType(int32_t idx) const;
  // The shell's type name of the image's file; empty out of range or
  // without a file name.
  std::string GetImageFileTypeName(int32_t idx) const;
  // 2 a folder, 0 a file a registered format reads, 1 anything else (and 0
  // out of range).
  int32_t GetImageKind(int32_t idx) const;
  // The record of idx (nullptr out of range).
  const TVXImageInfo* ImageInfo(int32_t idx) const;

  // ---- loading ----
  // Synchronous load of image idx; false when it failed (the image then
  // holds its substitute).
  bool LoadImageNow(int32_t idx);
  bool CanReloadImage(const TVXImageInfo& info) const;
  // Loads FileName (or an http, https or ftp address) into image idx;
  // SourceImageIndex picks the frame of a multi-frame file.
  bool SetImageFromFile(int32_t idx, const std::string& FileName, int32_t SourceImageIndex = 0);
  bool SetImageFromStream(int32_t idx, TStream* Stream, int32_t SourceImageIndex = 0);
  // Saves image idx with its parameters (file type from the extension).
  void GetImageToFile(int32_t idx, const std::string& FileName);
  void GetImageToStream(int32_t idx, TStream* Stream, int32_t ImageFormat);
  // The I/O components kept open for the frames of multi-frame files.
  int32_t MultiOnDemandsCount() const { return int32_t(fMultiOnDemands.size()); }

  // ---- selection ----
  int32_t SelectedImage() const { return fSelectedItem; }
  void SetSelectedImage(int32_t idx);
  void SelectImage(int32_t idx);
  void UnSelectImage(int32_t idx);
  void ToggleSelectImage(int32_t idx);
  void DeSelect();
  void BeginSelectImages();
  void EndSelectImages();
  bool IsSelected(int32_t idx) const;
  int32_t GetMultiSelectedImages(int32_t index) const;
  int32_t MultiSelectedImagesCount() const;
  std::vector<int32_t> MultiSelectedImagesList() const;
  void MultiSelectSortList();
  void SelectAll();
  void CopySelection(TVexlaneMView* SourceMView);
  bool EnableMultiSelect() const { return fEnableMultiSelect; }
  void SetEnableMultiSelect(bool Value) { fEnableMultiSelect = Value; }
  TVXMMultiSelectionOptions MultiSelectionOptions() const { return fMultiSelectionOptions; }
  void SetMultiSelectionOptions(TVXMMultiSelectionOptions Value) { fMultiSelectionOptions = Value; }
  // Selecting adds to the multi-selection (a Ctrl gesture) while set.
  void SetMultiSelecting(bool Value) { fMultiSelecting = Value; }
  bool MultiSelecting() const { return fMultiSelecting; }
  // Selection and deselection events fire only while a user action runs.
  void SetUserAction(bool Value) { fUserAction = Value; }

  // ---- last list operation (read by bitmap-change listeners) ----
  int32_t GetLastOp() const { return fLastImOp; }
  int32_t GetLastOpIdx() const { return fLastImIdx; }
  int32_t GetLastOpP1() const { return fLastImP1; }
  std::vector<int32_t> GetLastOpGroup() const { return fLastImGroup; }

  // ---- grid and view ----
  // Columns: GridWidth -1 as many as the client width holds (at least 1
  // with images), 0 every image in one row, n > 0 n columns.
  int32_t CalcGridWidth();
  // Rows (0 without images or columns).
  int32_t CalcGridHeight();
  int32_t MaximumViewX();
  int32_t MaximumViewY();
  int32_t ViewX() const { return fViewX; }
  int32_t ViewY() const { return fViewY; }
  // The view position, clamped to 0 .. MaximumViewX() and MaximumViewY();
  // the scroll bars follow. SetViewXY does nothing before the control has
  // a parent.
  void SetViewX(int32_t Value);
  void SetViewY(int32_t Value);
  void SetViewXY(int32_t x, int32_t y);
  void CenterSelected();
  void DisplayImageAt(int32_t idx, int32_t x, int32_t y);
  // The cell overlaps the control.
  bool IsVisible(int32_t idx);
  // 0 not visible, 1 partly, 2 wholly in the client area.
  int32_t GetImageVisibility(int32_t idx);
  int32_t VWidth() const { return fVWidth; }
  int32_t VHeight() const { return fVHeight; }
  double RXScroll() const { return fRXScroll; }
  double RYScroll() const { return fRYScroll; }
  void SetGridWidth(int32_t Value);
  void SetDisplayMode(TVXMDisplayMode Value);
  void SetStyle(TVXMStyle Value);
  bool ScrollBarsAlwaysVisible() const { return fScrollBarsAlwaysVisible; }
  void SetScrollBarsAlwaysVisible(bool Value);
  // Zooms the cells (per cent) keeping the columns and scaling the view; 0,
  // negative and non-finite values are ignored.
  void SetZoom(double Value);

  // ---- settings ----
  TVXStoreType StoreType() const { return fStoreType; }
  void SetStoreType(TVXStoreType Value);
  // The cell width (the text block included) and height at the current zoom.
  int32_t ThumbWidth() const;
  int32_t ThumbHeight() const;
  void SetThumbWidth(int32_t Value);
  void SetThumbHeight(int32_t Value);
  void SetThumbnailSize(int32_t width, int32_t height);
  double Zoom() const { return fZoom; }
  int32_t HorizBorder() const { return fHorizBorder; }
  void SetHorizBorder(int32_t Value);
  int32_t VertBorder() const { return fVertBorder; }
  void SetVertBorder(int32_t Value);
  TVXMStyle Style() const { return fStyle; }
  TVXMDisplayMode DisplayMode() const { return fDisplayMode; }
  int32_t GridWidth() const { return fGridWidth; }
  // The text block of vxmsFlatAndWide (0 in the other styles).
  int32_t TextBlockWidth() const;
  int32_t UpperGap() const { return fUpperGap; }
  int32_t BottomGap() const { return fBottomGap; }
  int32_t SideGap() const { return fSideGap; }
  int32_t TextMargin() const { return fTextMargin; }
  TFont* TopTextFont() const { return fTopTextFont.get(); }
  TFont* BottomTextFont() const { return fBottomTextFont.get(); }
  TFont* InfoTextFont() const { return fInfoTextFont.get(); }
  bool ShowText() const { return fShowText; }
  bool EnableResamplingOnMinor() const { return fEnableResamplingOnMinor; }
  void SetEnableResamplingOnMinor(bool Value) { fEnableResamplingOnMinor = Value; }
  int32_t ThumbnailClipping() const { return fThumbnailClipping; }
  void SetThumbnailClipping(int32_t Value) { fThumbnailClipping = Value; }
  TResampleFilter ThumbnailResampleFilter() const { return fThumbnailResampleFilter; }
  void SetThumbnailResampleFilter(TResampleFilter Value) { fThumbnailResampleFilter = Value; }
  TResampleFilter ThumbnailDisplayFilter() const { return fThumbnailDisplayFilter; }
  bool EnableImageCaching() const { return fEnableImageCaching; }
  void SetEnableImageCaching(bool Value) { fEnableImageCaching = Value; }
  int32_t ImageCacheSize() const { return fImageCacheSize; }
  void SetImageCacheSize(int32_t Value);
  bool ImageCacheUseDisk() const { return fImageCacheUseDisk; }
  void SetImageCacheUseDisk(bool Value);
  TVXMThumbnailOptionsEx ThumbnailOptionsEx() const { return fThumbnailOptionsEx; }
  void SetThumbnailOptionsEx(TVXMThumbnailOptionsEx Value) { fThumbnailOptionsEx = Value; }
  bool SelectedImageAlwaysVisible() const { return fSelectedImageAlwaysVisible; }
  void SetSelectedImageAlwaysVisible(bool Value) { fSelectedImageAlwaysVisible = Value; }
  bool EnableLoadEXIFThumbnails() const { return fEnableLoadEXIFThumbnails; }
  bool EnableAdjustOrientation() const { return fEnableAdjustOrientation; }
  void SetEnableAdjustOrientation(bool Value) { fEnableAdjustOrientation = Value; }
  TScrollStyle ScrollBars() const { return fScrollBars; }
  TVXMMouseInteract MouseInteract() const { return fMouseInteract; }
  TVXMKeyInteract KeyInteract() const { return fKeyInteract; }
  bool VisibleSelection() const { return fVisibleSelection; }
  int32_t SelectionWidth() const { return fSelectionWidth; }
  int32_t SelectionWidthNoFocus() const { return fSelectionWidthNoFocus; }
  bool SelectionAntialiased() const { return fSelectionAntialiased; }
  TColor SelectionColor() const { return fSelectionColor; }
  TColor ThumbnailsBackground() const { return fThumbnailsBackground; }
  TColor ThumbnailsBackgroundSelected() const { return fThumbnailsBackgroundSelected; }
  TColor ThumbnailsBorderColor() const { return fThumbnailsBorderColor; }
  int32_t ThumbnailsBorderWidth() const { return fThumbnailsBorderWidth; }
  TColor ThumbnailsInternalBorderColor() const { return fThumbnailsInternalBorderColor; }
  // The soft shadow behind images; the icon cache notices changes of its
  // enabling and radius at its next lookup.
  const TVXVSoftShadow& SoftShadow() const { return fSoftShadow; }
  TVXVSoftShadow& SoftShadow() { return fSoftShadow; }
  // The icon cache (capacity 50).
  TVXCachedIconList* IconList() const { return fIconList.get(); }
  TVXScrollBarParams& HScrollBarParams() { return fHScrollBarParams; }
  TVXScrollBarParams& VScrollBarParams() { return fVScrollBarParams; }
  TVXMouseWheelParams& MouseWheelParams() { return fMouseWheelParams; }
  int32_t ThreadPoolSize() const { return fThreadPoolSize; }
  int32_t MaintainInvisibleImages() const { return fMaintainInvisibleImages; }
  int32_t LookAhead() const { return fLookAhead; }
  int32_t TransitionDuration() const { return fTransitionDuration; }
  int32_t IconCacheCapacity() const { return fIconCacheCapacity; }
  int32_t CheckedCountValue() const { return fCheckedCount; }
  std::string VexlaneVersion() const { return "6.0.0"; }
  void SetVexlaneVersion(const std::string&) {}
  // The paint and update lock counts.
  int32_t PaintLocked() const { return fLockPaint; }
  int32_t UpdateLocked() const { return fLockUpdate; }
  // Layout updates that ran to their end (locks and state permitting).
  int32_t UpdateCount() const { return fUpdateCount; }
  // The stores.
  TVXVirtualImageList* ImageList() const { return fImageList.get(); }
  TVXVirtualImageList* CacheList() const { return fCacheList.get(); }

  // ---- events ----
  TVXImageEvent OnCreateImage;
  TVXImageEvent OnDestroyImage;
  TVXImageEvent OnImageSelect;
  TVXImageEvent OnImageDeselect;
  TVXSelectionChangingEvent OnSelectionChanging;
  TVXImageIDRequestEvent OnImageIDRequest;
  TVXImageIDRequestExEvent OnImageIDRequestEx;
  TVXWrongImageEvent OnWrongImage;
  TVXProgressEvent OnIOProgress;
  TVXViewChangeEvent OnViewChange;

 protected:
  void WMSize(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMHScroll(TMessage& Message) override;
  void WMVScroll(TMessage& Message) override;
  void WMMouseWheel(TMessage& Message) override;
  // Records the last list operation (1 insert, 2 delete, 3 move, 4 swap, 5
  // group move), resets the checked count and calls the bitmap-change
  // callbacks, after which the operation reads 0 again.
  void ReportOp(int32_t Op, int32_t Idx, int32_t P1, std::vector<int32_t> Group = {});

 private:
  TVXImageInfo* Rec(int32_t idx) const {
    return idx >= 0 && idx < ImageCount() ? fImageInfo[size_t(idx)].get() : nullptr;
  }
  // Algorithm A of the insertion: the record's index.
  int32_t InsertRecord(int32_t idx, bool select);
  std::unique_ptr<TVXImageInfo> NewRecord();
  bool DeleteOne(int32_t idx, bool keepSelection);
  void DeleteAllImages();
  void SelectCore(int32_t idx);
  void ClearSelection();
  void ReleaseSelectedBitmap();
  void ForgetSelectedBitmap();
  void FileDetails(TVXImageInfo& r);
  void RaiseGap(int32_t& Gap, TFont* Font, const std::string& Text, int32_t Extra);
  // The cell's image area for storing and loading.
  int32_t StoreBoxWidth() const { return ThumbWidth() - TextBlockWidth(); }
  int32_t StoreBoxHeight() const { return ThumbHeight(); }
  void ApplyLoadParams(TVexlaneIO* io);
  TVexlaneIO* OnDemandIO(const std::string& File);
  // Stores a loaded bitmap with what the loader learned (steps 6 of D and 4
  // of the file load).
  void StoreLoaded(int32_t idx, TVexlaneIO* io, TVXBitmap* bmp, TVXSourceType SourceType);
  bool LoadIntoEntry(int32_t idx, TStream* Stream, const std::string& FileName, int32_t SourceImageIndex);
  void CreateStores();
  // Cell coordinates and the grid extent.
  void CalcCoords();
  void SetupScrollBars();
  // Coordinates, view clamping and bars until the client size settles.
  void LayoutPasses();
  void BarPosition(bool Horizontal);
  void ScrollMessage(TMessage& Message, bool Horizontal);
  void DrawQuestionMark(TVXBitmap* bitmap, int32_t bw, int32_t bh);
  bool Alive() const { return !fDestroying; }

  std::vector<std::unique_ptr<TVXImageInfo>> fImageInfo;
  std::unique_ptr<TVXVirtualImageList> fImageList;
  std::unique_ptr<TVXVirtualImageList> fCacheList;
  std::unique_ptr<TVXCachedIconList> fIconList;
  mutable std::recursive_mutex fThreadCS;
  TVexlaneIO* fVexlaneIO = nullptr;     // owned
  TVexlaneProc* fVexlaneProc = nullptr;  // owned, made on first use
  TVexlaneMIO* fVexlaneMIO = nullptr;    // owned, made on first use
  std::vector<TVexlaneIO*> fMultiOnDemands;  // owned
  std::unique_ptr<TFont> fTopTextFont, fBottomTextFont, fInfoTextFont;
  std::unique_ptr<TVXBitmap> fDefaultFileIcon, fMissingFileIcon;

  // selection
  int32_t fSelectedItem = -1;
  std::vector<int32_t> fMultiSelectedImages;
  bool fEnableMultiSelect = false;
  TVXMMultiSelectionOptions fMultiSelectionOptions = 0;
  bool fMultiSelecting = false;
  bool fSelectInclusive = false;
  bool fSelectImages = false;
  bool fChangedSel = false;
  TVXBitmap* fSelectedBitmap = nullptr;  // lent by "ILIST"
  int32_t fSelectedBitmapIdx = -1;
  int32_t fPriorHSIDX = 0;
  bool fUserAction = false;

  // last operation
  int32_t fLastImOp = 0, fLastImIdx = 0, fLastImP1 = 0;
  std::vector<int32_t> fLastImGroup;
  int32_t fCheckedCount = -1;

  // state
  bool fDestroying = false;
  bool fUpdating = false;
  int32_t fLockPaint = 0;
  int32_t fLockUpdate = 0;
  int32_t fUpdateCount = 0;

  // settings
  TScrollStyle fScrollBars = ssBoth;
  double fRXScroll = 1.0, fRYScroll = 1.0;
  TVXStoreType fStoreType = vxtNormal;
  int32_t fThumbWidth = 100, fThumbHeight = 100;
  double fZoom = 100.0;
  int32_t fHorizBorder = 4, fVertBorder = 4;
  bool fVisibleSelection = true;
  int32_t fSelectionWidth = 2, fSelectionWidthNoFocus = 1;
  bool fSelectionAntialiased = true;
  TColor fSelectionColor = 0;
  int32_t fUpperGap = 0, fBottomGap = 0, fSideGap = 0, fTextMargin = 0, fTextBlockWidth = -1;
  int32_t fSetUpperGap = 0, fSetBottomGap = 0;
  TVXMMouseInteract fMouseInteract = 0;
  TVXMKeyInteract fKeyInteract = 0;
  TVXMDisplayMode fDisplayMode = mdGrid;
  int32_t fGridWidth = 0;
  int32_t fCurrentGridWidth = 0;
  int32_t fVWidth = 0, fVHeight = 0;
  int32_t fViewX = 0, fViewY = 0;
  bool fScrollBarsAlwaysVisible = false;
  bool fPlayLoop = true;
  TResampleFilter fThumbnailResampleFilter = rfFastLinear;
  TResampleFilter fThumbnailDisplayFilter = rfNone;
  int32_t fThumbnailClipping = 0;
  TVXMouseWheelParams fMouseWheelParams{vxmwVScroll};
  TVXScrollBarParams fHScrollBarParams, fVScrollBarParams;
  int32_t fImageCacheSize = 10;
  bool fImageCacheUseDisk = true;
  int32_t fIconCacheCapacity = 50;
  int32_t fTransitionDuration = 1000;
  TVXMStyle fStyle = vxmsACD;
  TColor fThumbnailsBackground = 0, fThumbnailsBackgroundSelected = 0, fThumbnailsBorderColor = 0;
  int32_t fThumbnailsBorderWidth = 0;
  TColor fThumbnailsInternalBorderColor = 0;
  int32_t fThreadPoolSize = 5;
  bool fEnableImageCaching = true;
  TVXVSoftShadow fSoftShadow;
  bool fEnableAlphaChannel = true;
  bool fFillThumbnail = true;
  bool fShowText = true;
  int32_t fMaintainInvisibleImages = 15, fLookAhead = 0;
  bool fEnableLoadEXIFThumbnails = true, fEnableAdjustOrientation = false;
  bool fEnableResamplingOnMinor = false;
  bool fSelectedImageAlwaysVisible = true;
  TVXMThumbnailOptionsEx fThumbnailOptionsEx = 0;

  TVXProgressEvent fOnProgress;
  TNotifyEvent fOnFinishWork;
  TVXAcquireBitmapEvent fOnAcquireBitmap;
};
