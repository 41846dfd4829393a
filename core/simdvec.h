#pragma once
// Unaligned loads and stores of the compiler's vector types (GCC vector
// extensions), for the arithmetic loops of the image filters.

#include <cstring>

template <typename V, typename T>
inline V VXLoadVec(const T* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename V, typename T>
inline void VXStoreVec(T* p, V v) {
  std::memcpy(p, &v, sizeof v);
}
