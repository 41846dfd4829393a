// TVXBitmap: row access, storage order (origin) and virtual rows.

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/filebuffer.h"
#include "gui/graphics.h"

// Address of a stored row (after the origin has been applied) held in memory.
// One block holds the rows bottom-up, fragments hold them top-down.
uint8_t* TVXBitmap::StoredRowAddress(int32_t StoredRow) const {
  if (fFragmentsCount > 0) {
    const int32_t f = StoredRow / fRowsPerFragment;
    return fFragments[size_t(f)] + int64_t(StoredRow % fRowsPerFragment) * fRowLen;
  }
  return fMemory + int64_t(fHeight - 1 - StoredRow) * fRowLen;
}

void* TVXBitmap::VirtualRow(int32_t Row, int32_t Col, int32_t Width) const {
  if (fVirtualBitmapProvider)
    return fVirtualBitmapProvider->GetSegment(const_cast<TVXBitmap*>(this), Row, Col, Width);
  const size_t need = std::max<size_t>(size_t(std::max<int64_t>(fRowLen, 0)), size_t(std::max(Width, 0)) * sizeof(TRGB));
  if (fVirtualBitmapRowBuffer.size() < need) fVirtualBitmapRowBuffer.resize(need);
  TRGB* out = reinterpret_cast<TRGB*>(fVirtualBitmapRowBuffer.data());
  TVXBitmap* self = const_cast<TVXBitmap*>(this);
  for (int32_t i = 0; i < Width; ++i) OnRenderVirtualPixel(self, Col + i, Row, out[i]);
  return fVirtualBitmapRowBuffer.data();
}

void* TVXBitmap::GetScanLine(int32_t Row) const {
  // A platform bitmap changed behind the bitmap's back is read again first.
  if (fLocation == vxTBitmap && fBitmap &&
      (fBitmap->Width() != fWidth || fBitmap->Height() != fHeight || fBitmapScanlines.size() != size_t(fHeight)))
    const_cast<TVXBitmap*>(this)->UpdateFromTBitmap();
  if (fOrigin == vxboTOPLEFT) Row = fHeight - 1 - Row;
  if (IsVirtual()) return VirtualRow(Row, 0, fWidth);
  switch (fLocation) {
    case vxMemory:
      if (!fMemory && fFragmentsCount == 0) return nullptr;
      return StoredRowAddress(Row);
    case vxFile:
      if (fWorkingMap) {
        fmemmap->UnMap(fWorkingMap);
        fWorkingMap = nullptr;
      }
      fWorkingMap = fmemmap->Map(int64_t(Row) * fRowLen, fRowLen, fAccess);
      return fWorkingMap;
    case vxTBitmap:
      if (Row < 0 || size_t(Row) >= fBitmapScanlines.size()) return nullptr;
      return fBitmapScanlines[size_t(Row)];
  }
  return nullptr;
}

void* TVXBitmap::GetRow(int32_t Row) const {
  if (IsVirtual()) return GetScanLine(Row);
  if (fLocation != vxFile) return GetScanLine(Row);
  const int32_t stored = StorageRow(Row);
  if (fWorkingMap) {
    fmemmap->UnMap(fWorkingMap);
    fWorkingMap = nullptr;
  }
  void* p = fmemmap->Map(int64_t(stored) * fRowLen, fRowLen, fAccess);
  if (p) {
    fScanlinesToUnMapPtr.push_back(p);
    fScanlinesToUnMapRow.push_back(stored);
  }
  return p;
}

void TVXBitmap::FreeRow(int32_t Row) const {
  if (fLocation != vxFile || IsVirtual()) return;
  const int32_t stored = StorageRow(Row);
  auto it = std::find(fScanlinesToUnMapRow.begin(), fScanlinesToUnMapRow.end(), stored);
  if (it == fScanlinesToUnMapRow.end()) return;
  const size_t i = size_t(it - fScanlinesToUnMapRow.begin());
  fmemmap->UnMap(fScanlinesToUnMapPtr[i]);
  fScanlinesToUnMapPtr.erase(fScanlinesToUnMapPtr.begin() + std::ptrdiff_t(i));
  fScanlinesToUnMapRow.erase(it);
}

void* TVXBitmap::GetSegment(int32_t Row, int32_t Col, int32_t Width) const {
  if (IsVirtual()) return VirtualRow(Row, Col, Width);
  uint8_t* row = static_cast<uint8_t*>(GetScanLine(Row));
  if (!row) return nullptr;
  return row + int64_t(Col) * (fBitCount / 8);
}

void TVXBitmap::UnMapRows() const {
  if (fWorkingMap) {
    fmemmap->UnMap(fWorkingMap);
    fWorkingMap = nullptr;
  }
  while (!fScanlinesToUnMapPtr.empty()) {
    fmemmap->UnMap(fScanlinesToUnMapPtr.back());
    fScanlinesToUnMapPtr.pop_back();
  }
  fScanlinesToUnMapRow.clear();
}

void TVXBitmap::SetOrigin(TVXBitmapOrigin Value) {
  if (Value == fOrigin) return;
  // Flip the stored rows first, so that callers see the same image after the
  // change: row r shows the same pixels, only the storage order is reversed.
  if (!IsVirtual() && !IsEmpty()) {
    std::vector<uint8_t> tmp(static_cast<size_t>(fRowLen));
    for (int32_t i = 0, j = fHeight - 1; i < j; ++i, --j) {
      uint8_t* a = static_cast<uint8_t*>(GetRow(i));
      uint8_t* b = static_cast<uint8_t*>(GetRow(j));
      if (a && b) {
        std::memcpy(tmp.data(), a, tmp.size());
        std::memcpy(a, b, tmp.size());
        std::memcpy(b, tmp.data(), tmp.size());
      }
      FreeRow(i);
      FreeRow(j);
    }
  }
  fOrigin = Value;
  if (fBitmap) AdjustCanvasOrientation();
}

void TVXBitmap::SetVirtualBitmapProvider(TVXVirtualBitmapProvider* Value) {
  if (Value == fVirtualBitmapProvider.get()) return;
  fVirtualBitmapProvider.reset(Value);
}
