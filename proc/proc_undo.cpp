// TVexlaneProc: the undo and redo histories.
//
// Each history is a list of entries, oldest first: the snapshot (a TVXBitmap
// for the image, a memory stream for the viewer's selection, layers or
// objects), its source, its caption and the multi-view index at the time it
// was saved. Restoring never removes an entry.

#include <algorithm>
#include <cstring>

#include "core/bitmap.h"
#include "core/streams.h"
#include "proc/proc.h"
#include "proc/undo_entry.h"


namespace {

// A layer record starts with its length (32-bit, little-endian, counted from
// the record start) and the layer's 16-byte GUID.
constexpr int64_t kLayerRecordHead = 20;

}  // namespace

bool TVexlaneProc::SaveEntry(TVXUndoList& List, TVXUndoSource Source, bool& Guarded) {
  Guarded = false;
  if (fUndoLimit <= 0) return false;
  auto entry = std::make_unique<TVXUndoEntry>();
  entry->Source = Source;
  TVXViewHost* view = ImageView();
  TVXViewHost* vect = VectView();
  auto newStream = [&] {
    entry->Stream = std::make_unique<TMemoryStream>();
    return entry->Stream.get();
  };
  switch (Source) {
    case vxuImage: {
      if (!CheckFormat(TVXPixelFormatSet())) return false;
      Guarded = true;
      if (fVXBitmap->Width() < 2 || fVXBitmap->Height() < 2) return false;
      entry->Image = std::make_unique<TVXBitmap>();
      entry->Image->SetMinFileSize(0);
      entry->Image->SetLocation(fUndoLocation == vxTBitmap ? vxMemory : fUndoLocation);
      entry->Image->Assign(fVXBitmap);
      entry->Image->SetUndoInfo(view ? view->LayersCurrent() : -1);
      break;
    }
    case vxuSelection:
      Guarded = true;
      if (!view) return false;
      view->SaveSelectionToStream(newStream());
      break;
    case vxuObject:
      Guarded = true;
      if (!vect) return false;
      vect->SaveToStreamVXV(newStream(), -3);
      break;
    case vxuLayer:
    case vxuFullLayer: {
      Guarded = true;
      if (!view) return false;
      TMemoryStream* stream = newStream();
      const int32_t current = view->LayersCurrent();
      for (int32_t i = 0; i < view->LayersCount(); ++i)
        view->LayerSaveInfo(i, stream, Source == vxuFullLayer && i == current);
      break;
    }
    case vxuObjectsAndLayers:
      Guarded = true;
      if (vect)
        vect->SaveToStreamAll(newStream(), -1);
      else if (view)
        view->LayersSaveToStream(newStream(), -2);
      else
        return false;
      break;
    default:
      Guarded = true;
      return false;
  }
  while (!List.empty() && int64_t(List.size()) >= fUndoLimit) List.erase(List.begin());
  entry->MViewIndex = fMViewIndex;
  List.push_back(std::move(entry));
  return true;
}

void TVexlaneProc::SaveUndo(TVXUndoSource Source) {
  bool guarded = false;
  SaveEntry(fUndoList, Source, guarded);
  if (guarded && OnSaveUndo) OnSaveUndo(this, Source);
}

void TVexlaneProc::SaveRedo(TVXUndoSource Source) {
  bool guarded = false;
  SaveEntry(fRedoList, Source, guarded);
}

void TVexlaneProc::SaveUndoCaptioned(const std::string& Caption, TVXUndoSource Source) {
  if (!CheckFormat(TVXPixelFormatSet())) return;
  if (fVXBitmap->Width() < 2 || fVXBitmap->Height() < 2) return;
  const size_t before = fUndoList.size();
  const TVXUndoEntry* newest = before ? fUndoList.back().get() : nullptr;
  SaveUndo(Source);
  // Only an entry this call made takes the caption.
  if (!fUndoList.empty() && (fUndoList.size() != before || fUndoList.back().get() != newest))
    fUndoList.back()->Caption = Caption;
}

void TVexlaneProc::SaveRedoCaptioned(const std::string& Caption, TVXUndoSource Source) {
  if (!CheckFormat(TVXPixelFormatSet())) return;
  if (fVXBitmap->Width() < 2 || fVXBitmap->Height() < 2) return;
  bool guarded = false;
  if (SaveEntry(fRedoList, Source, guarded)) fRedoList.back()->Caption = Caption;
}

void TVexlaneProc::Undo(bool AutoRedo) { UndoAt(0, AutoRedo); }

void TVexlaneProc::UndoAt(int32_t Position, bool AutoRedo) { RestoreEntry(fUndoList, Position, true, AutoRedo); }

void TVexlaneProc::Redo() { RedoAt(0); }

void TVexlaneProc::RedoAt(int32_t Position) { RestoreEntry(fRedoList, Position, false, false); }

void TVexlaneProc::RestoreEntry(TVXUndoList& List, int32_t Position, bool IsUndo, bool AutoRedo) {
  if (!CheckFormat(TVXPixelFormatSet())) return;
  if (List.empty() || Position < 0 || int64_t(Position) >= int64_t(List.size())) return;
  // The entry stays alive while the redo history changes (a different list).
  TVXUndoEntry* entry = List[List.size() - 1 - size_t(Position)].get();
  const TVXUndoSource source = entry->Source;
  const int32_t index = entry->MViewIndex;
  if (AutoRedo) {
    bool guarded = false;
    if (SaveEntry(fRedoList, source, guarded)) fRedoList.back()->MViewIndex = index;
  }
  if (OnUndoRedoEvent) {
    bool handled = false;
    OnUndoRedoEvent(this, IsUndo, source, entry->Object(), index, handled);
    if (handled) return;
  }
  TVXViewHost* view = ImageView();
  TVXViewHost* vect = VectView();
  switch (source) {
    case vxuImage: {
      if (!entry->Image) return;
      TVXBitmap* target = fVXBitmap;
      const intptr_t layer = entry->Image->UndoInfo();
      if (view && layer >= 0 && view->LayersCount() > 0) {
        const int32_t i = int32_t(std::min<intptr_t>(std::max<intptr_t>(layer, 0), view->LayersCount() - 1));
        if (TVXBitmap* b = view->LayerBitmap(i)) target = b;
      }
      target->Assign(entry->Image.get());
      Update();
      break;
    }
    case vxuSelection:
      if (view && entry->Stream) {
        entry->Stream->SetPosition(0);
        view->LoadSelectionFromStream(entry->Stream.get(), vxrsMoveToAdapt);
      }
      break;
    case vxuObject:
      if (vect && entry->Stream) {
        entry->Stream->SetPosition(0);
        vect->LoadFromStreamVXV(entry->Stream.get(), 0);
      }
      break;
    case vxuLayer:
    case vxuFullLayer:
      if (view && entry->Stream) {
        ReplayLayers(entry->Stream.get());
        view->Update();
      }
      break;
    case vxuObjectsAndLayers:
      if (!entry->Stream) return;
      entry->Stream->SetPosition(0);
      if (vect)
        vect->LoadFromStreamAll(entry->Stream.get());
      else if (view)
        view->LayersLoadFromStream(entry->Stream.get());
      break;
    default:
      break;
  }
}

void TVexlaneProc::ReplayLayers(TMemoryStream* Stream) {
  TVXViewHost* view = ImageView();
  const int64_t size = Stream->Size();
  int64_t start = 0;
  // A record shorter than its head, or one reaching past the stream, ends
  // the replay (a length of 0 would never advance).
  while (start + kLayerRecordHead <= size) {
    Stream->SetPosition(start);
    uint8_t head[kLayerRecordHead];
    if (Stream->Read(head, kLayerRecordHead) != kLayerRecordHead) break;
    const int64_t length = int64_t(uint32_t(head[0]) | (uint32_t(head[1]) << 8) | (uint32_t(head[2]) << 16) |
                                   (uint32_t(head[3]) << 24));
    if (length < kLayerRecordHead || length > size - start) break;
    TVXLayerGUID guid;
    std::memcpy(guid.data(), head + 4, guid.size());
    for (int32_t i = 0; i < view->LayersCount(); ++i) {
      if (view->LayerGUID(i) == guid) {
        Stream->SetPosition(start);
        view->LayerLoadInfo(i, Stream);
        break;
      }
    }
    start += length;
  }
}

void TVexlaneProc::UndoRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!CheckFormat(TVXPixelFormatSet())) return;
  if (fUndoList.empty() || fUndoList.back()->Source != vxuImage || !fUndoList.back()->Image) return;
  TVXBitmap* snapshot = fUndoList.back()->Image.get();
  VXOrderCorners(x1, y1, x2, y2);
  const int64_t w = int64_t(x2) - x1 + 1, h = int64_t(y2) - y1 + 1;
  if (w > 2147483647 || h > 2147483647) return;
  snapshot->CopyRectTo(fVXBitmap, x1, y1, x1, y1, int32_t(w), int32_t(h));
  if (TVXBitmap* alpha = snapshot->AlphaChannelOpt()) {
    TVXBitmap* own = fVXBitmap->AlphaChannel();
    if (own) {
      alpha->CopyRectTo(own, x1, y1, x1, y1, int32_t(w), int32_t(h));
      own->SetFull(false);
    }
  }
  Update();
}

TVXUndoSource TVexlaneProc::UndoPeekAt(int32_t Position) const {
  if (Position < 0 || int64_t(Position) >= int64_t(fUndoList.size())) return vxuUnknown;
  return fUndoList[size_t(Position)]->Source;
}

TVXUndoSource TVexlaneProc::RedoPeekAt(int32_t Position) const {
  if (Position < 0 || int64_t(Position) >= int64_t(fRedoList.size())) return vxuUnknown;
  return fRedoList[size_t(Position)]->Source;
}

void TVexlaneProc::ClearUndo() {
  if (!fUndoList.empty()) fUndoList.pop_back();
}

void TVexlaneProc::ClearRedo() {
  if (!fRedoList.empty()) fRedoList.pop_back();
}

void TVexlaneProc::ClearUndoAt(int32_t Position) {
  if (Position < 0 || int64_t(Position) >= int64_t(fUndoList.size())) return;
  fUndoList.erase(fUndoList.end() - 1 - Position);
}

void TVexlaneProc::ClearAllUndo() { fUndoList.clear(); }

void TVexlaneProc::ClearAllRedo() { fRedoList.clear(); }

std::string TVexlaneProc::GetUndoCaptions(int32_t index) const {
  if (index < 0 || int64_t(index) >= int64_t(fUndoList.size())) return std::string();
  return fUndoList[fUndoList.size() - 1 - size_t(index)]->Caption;
}

std::string TVexlaneProc::GetRedoCaptions(int32_t index) const {
  if (index < 0 || int64_t(index) >= int64_t(fRedoList.size())) return std::string();
  return fRedoList[fRedoList.size() - 1 - size_t(index)]->Caption;
}

void TVexlaneProc::SetUndoCaptions(int32_t index, const std::string& Value) {
  if (index < 0 || int64_t(index) >= int64_t(fUndoList.size())) return;
  fUndoList[fUndoList.size() - 1 - size_t(index)]->Caption = Value;
}
