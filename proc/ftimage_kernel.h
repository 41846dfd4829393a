// The transform's inner loops, included by proc/ftimage.cpp once for the
// baseline instruction set and once for AVX2 (inside its own namespace each
// time, so no include guard). Every lane of a VF is one row or column; each
// lane sees exactly the single-precision operations of the one-row
// transform, whatever the instruction set.

// One block of butterflies: elements Base + k and Base + k + Power.
inline void Butterflies(VF* Re, VF* Im, int32_t Base, int32_t Power, float C, float S) {
  const VF c = VX_SPLAT(C), s = VX_SPLAT(S);
  VF* ur = Re + Base;
  VF* ui = Im + Base;
  VF* vr = Re + Base + Power;
  VF* vi = Im + Base + Power;
  for (int32_t k = 0; k < Power; ++k) {
    const VF xr = vr[k], xi = vi[k];
    const VF tr = xr * c - xi * s;
    const VF ti = xr * s + xi * c;
    const VF a = ur[k], b = ui[k];
    ur[k] = a + tr;
    ui[k] = b + ti;
    vr[k] = a - tr;
    vi[k] = b - ti;
  }
}

// Every stage from Depth on, over the block of 2 x (N >> Depth) elements
// from Index: depth first, like the recursive formulation, until a block is
// small enough to stay in the first-level cache, whose stages then run one
// after another.
void Stages(const TFFTPlan& P, VF* Re, VF* Im, int32_t Depth, int32_t Index) {
  int32_t power = P.N >> Depth;
  if (2 * power <= kSmallBlock) {
    const int32_t end = Index + 2 * power;
    for (int32_t d = Depth; d <= P.nn; ++d) {
      power = P.N >> d;
      for (int32_t base = Index; base < end; base += 2 * power) {
        const int32_t a = P.bittab[base / power];
        Butterflies(Re, Im, base, power, P.cosf[a], P.sinf[a]);
      }
    }
    return;
  }
  const int32_t a = P.bittab[Index / power];
  Butterflies(Re, Im, Index, power, P.cosf[a], P.sinf[a]);
  if (Depth < P.nn) {
    Stages(P, Re, Im, Depth + 1, Index);
    Stages(P, Re, Im, Depth + 1, Index + power);
  }
}

inline void AllStages(const TFFTPlan& P, VF* Re, VF* Im) {
  if (P.nn >= 1) Stages(P, Re, Im, 1, 0);
}

// Rows Src[0 .. Lanes - 1] (N real parts, then N imaginary parts) into
// Dst[0 .. Lanes - 1]: gathered into lanes, transformed, bit-reversed and
// scaled on the way back.
void RowGroup(const TFFTPlan& P, const float* const* Src, float* const* Dst, int32_t Lanes, VF* Re, VF* Im) {
  const int32_t N = P.N;
  float* re = reinterpret_cast<float*>(Re);
  float* im = reinterpret_cast<float*>(Im);
  if (Lanes == kLanes) {
    // 4 x 4 transposes between rows and lanes.
    for (int32_t x = 0; x < N; x += 4)
      for (int32_t part = 0; part < 2; ++part) {
        float* out = part == 0 ? re : im;
        const int32_t from = part == 0 ? x : N + x;
        for (int32_t half = 0; half < 2; ++half) {
          __m128 r0 = _mm_loadu_ps(Src[4 * half + 0] + from), r1 = _mm_loadu_ps(Src[4 * half + 1] + from);
          __m128 r2 = _mm_loadu_ps(Src[4 * half + 2] + from), r3 = _mm_loadu_ps(Src[4 * half + 3] + from);
          _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
          float* o = out + size_t(x) * kLanes + 4 * half;
          _mm_storeu_ps(o, r0);
          _mm_storeu_ps(o + kLanes, r1);
          _mm_storeu_ps(o + 2 * kLanes, r2);
          _mm_storeu_ps(o + 3 * kLanes, r3);
        }
      }
  } else {
    std::memset(static_cast<void*>(Re), 0, sizeof(VF) * size_t(N));
    std::memset(static_cast<void*>(Im), 0, sizeof(VF) * size_t(N));
    for (int32_t l = 0; l < Lanes; ++l)
      for (int32_t x = 0; x < N; ++x) {
        re[size_t(x) * kLanes + size_t(l)] = Src[l][x];
        im[size_t(x) * kLanes + size_t(l)] = Src[l][N + x];
      }
  }
  AllStages(P, Re, Im);
  const __m128 scale = _mm_set1_ps(P.scale);
  if (Lanes == kLanes) {
    for (int32_t x = 0; x < N; x += 4)
      for (int32_t part = 0; part < 2; ++part) {
        const float* in = part == 0 ? re : im;
        const int32_t to = part == 0 ? x : N + x;
        for (int32_t half = 0; half < 2; ++half) {
          __m128 r[4];
          for (int32_t i = 0; i < 4; ++i)
            r[i] = _mm_mul_ps(_mm_loadu_ps(in + size_t(P.bittab[x + i]) * kLanes + 4 * half), scale);
          _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
          for (int32_t i = 0; i < 4; ++i) _mm_storeu_ps(Dst[4 * half + i] + to, r[i]);
        }
      }
  } else {
    for (int32_t x = 0; x < N; ++x) {
      const size_t from = size_t(P.bittab[x]) * kLanes;
      for (int32_t l = 0; l < Lanes; ++l) {
        Dst[l][x] = re[from + size_t(l)] * P.scale;
        Dst[l][N + x] = im[from + size_t(l)] * P.scale;
      }
    }
  }
}

// Columns X0 .. X0 + Lanes - 1 of the rows, in place.
void ColumnGroup(const TFFTPlan& P, float* const* Rows, int32_t X0, int32_t Lanes, VF* Re, VF* Im) {
  const int32_t N = P.N;
  float* re = reinterpret_cast<float*>(Re);
  float* im = reinterpret_cast<float*>(Im);
  if (Lanes == kLanes) {
    for (int32_t y = 0; y < N; ++y) {
      std::memcpy(re + size_t(y) * kLanes, Rows[y] + X0, sizeof(VF));
      std::memcpy(im + size_t(y) * kLanes, Rows[y] + N + X0, sizeof(VF));
    }
  } else {
    std::memset(static_cast<void*>(Re), 0, sizeof(VF) * size_t(N));
    std::memset(static_cast<void*>(Im), 0, sizeof(VF) * size_t(N));
    for (int32_t y = 0; y < N; ++y)
      for (int32_t l = 0; l < Lanes; ++l) {
        re[size_t(y) * kLanes + size_t(l)] = Rows[y][X0 + l];
        im[size_t(y) * kLanes + size_t(l)] = Rows[y][N + X0 + l];
      }
  }
  AllStages(P, Re, Im);
  const VF scale = VX_SPLAT(P.scale);
  for (int32_t y = 0; y < N; ++y) {
    const int32_t from = P.bittab[y];
    const VF r = Re[from] * scale, i = Im[from] * scale;
    if (Lanes == kLanes) {
      std::memcpy(Rows[y] + X0, &r, sizeof(VF));
      std::memcpy(Rows[y] + N + X0, &i, sizeof(VF));
    } else {
      for (int32_t l = 0; l < Lanes; ++l) {
        Rows[y][X0 + l] = r[l];
        Rows[y][N + X0 + l] = i[l];
      }
    }
  }
}
