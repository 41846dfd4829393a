// TVXTargetComponent: what the image components (processing, I/O) share of
// their target. The target is a bitmap of the component's own, a caller's
// bitmap, a platform bitmap or image control's picture that the component
// wraps, or the bitmap of a viewer that it follows.
#pragma once
#include "gui/component.h"

class TBitmap;
class TImage;
class TVXBitmap;
class TVXViewHost;

class TVXTargetComponent : public TComponent {
 public:
  explicit TVXTargetComponent(TComponent* Owner) : TComponent(Owner) {}
  ~TVXTargetComponent() override;

  // An image control that goes takes its picture's rows along: the target
  // lets go of them rather than keep pointers into freed memory.
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  // Frees the bitmap of the component's own, if the target is one; the
  // target is none then.
  void FreeOwnBitmap();
  // A fresh, empty bitmap of the component's own becomes the target.
  void NewOwnBitmap();
  // The target wraps fBitmap (an own target, so that no caller's or
  // viewer's image is overwritten).
  void WrapBitmap();
  // The platform bitmap may have changed under the component (and the image
  // control's picture may hold another bitmap by now): it is wrapped again.
  void ReWrapBitmap();
  // Removes the bitmap-change registration at the attached viewer.
  void UnregisterFromViewer();
  // The attachments of a platform bitmap and of an image control. None
  // frees the target's pixels, or, with a viewer or an image control
  // attached, leaves the target as it is. True when Value is the target now.
  bool AttachPlatformBitmap(TBitmap* Value);
  bool AttachImageControl(TImage* Value);
  // Attaches the viewer and follows its bitmap (none: a fresh bitmap of the
  // component's own).
  void AttachViewer(TVXViewHost* Value);
  // The viewer's bitmap-change notification (Destroying: it goes away).
  virtual void ViewerBitmapChanged(bool Destroying) = 0;
  // The attached viewer when it is a single-image one (or a vector-object
  // one, which is a single-image viewer too), else nullptr.
  TVXViewHost* ImageView() const;

  TVXBitmap* fVXBitmap = nullptr;
  TBitmap* fBitmap = nullptr;
  TImage* fTImage = nullptr;
  bool fVXBitmapCreated = false;
  TVXViewHost* fVexlaneView = nullptr;
  void* fVexlaneViewBitmapChangeHandle = nullptr;
};
