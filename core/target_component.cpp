#include "core/target_component.h"

#include "core/bitmap.h"
#include "core/viewhost.h"
#include "gui/extctrls.h"
#include "gui/graphics.h"

TVXTargetComponent::~TVXTargetComponent() { FreeOwnBitmap(); }

void TVXTargetComponent::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || AComponent == nullptr || AComponent != fTImage) return;
  fTImage = nullptr;
  fBitmap = nullptr;
  if (fVXBitmap && fVXBitmap->EncapsulatedFromTBitmap()) fVXBitmap->FreeImage(true);
}

void TVXTargetComponent::FreeOwnBitmap() {
  if (fVXBitmapCreated) delete fVXBitmap;
  fVXBitmap = nullptr;
  fVXBitmapCreated = false;
}

void TVXTargetComponent::NewOwnBitmap() {
  FreeOwnBitmap();
  fVXBitmap = new TVXBitmap();
  fVXBitmapCreated = true;
}

void TVXTargetComponent::WrapBitmap() {
  if (!fVXBitmapCreated) NewOwnBitmap();
  fVXBitmap->EncapsulateTBitmap(fBitmap, true);
}

void TVXTargetComponent::ReWrapBitmap() {
  if (fTImage) fBitmap = fTImage->Picture()->Bitmap();
  if (!fBitmap) return;
  if (!fVXBitmapCreated) NewOwnBitmap();
  fVXBitmap->EncapsulateTBitmap(fBitmap, false);
}

void TVXTargetComponent::UnregisterFromViewer() {
  if (fVexlaneView && fVexlaneViewBitmapChangeHandle) fVexlaneView->RemoveBitmapChangeEvent(fVexlaneViewBitmapChangeHandle);
  fVexlaneViewBitmapChangeHandle = nullptr;
}

bool TVXTargetComponent::AttachPlatformBitmap(TBitmap* Value) {
  UnregisterFromViewer();
  if (Value == nullptr && (fVexlaneView || fTImage)) return false;
  if (Value == nullptr) {
    fBitmap = nullptr;
    if (fVXBitmap) fVXBitmap->FreeImage(true);
    return false;
  }
  fBitmap = Value;
  WrapBitmap();
  fVexlaneView = nullptr;
  if (fTImage) RemoveFreeNotification(fTImage);
  fTImage = nullptr;
  return true;
}

bool TVXTargetComponent::AttachImageControl(TImage* Value) {
  UnregisterFromViewer();
  if (fTImage && fTImage != Value) RemoveFreeNotification(fTImage);
  fTImage = Value;
  if (Value == nullptr) {
    fBitmap = nullptr;
    if (fVXBitmap) fVXBitmap->FreeImage(true);
    return false;
  }
  fBitmap = Value->Picture()->Bitmap();
  WrapBitmap();
  Value->FreeNotification(this);
  fVexlaneView = nullptr;
  return true;
}

void TVXTargetComponent::AttachViewer(TVXViewHost* Value) {
  UnregisterFromViewer();
  if (Value && fTImage) {
    RemoveFreeNotification(fTImage);
    fTImage = nullptr;
  }
  fVexlaneView = Value;
  fBitmap = nullptr;
  if (Value == nullptr) {
    NewOwnBitmap();
    return;
  }
  if (TVXBitmap* bitmap = Value->VXBitmap()) {
    FreeOwnBitmap();
    fVXBitmap = bitmap;
  } else {
    NewOwnBitmap();
  }
  fVexlaneViewBitmapChangeHandle =
      Value->RegisterBitmapChangeEvent([this](void*, bool Destroying) { ViewerBitmapChanged(Destroying); }, this);
}

TVXViewHost* TVXTargetComponent::ImageView() const {
  if (fVexlaneView == nullptr) return nullptr;
  const TVXViewHostKind kind = fVexlaneView->HostKind();
  return kind == vxvhImageView || kind == vxvhVectView ? fVexlaneView : nullptr;
}
