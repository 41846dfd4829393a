// Our video processor transform: one input and one output stream of
// uncompressed video. Frames of RGB24, RGB32, ARGB32, YUY2, I420 or NV12 come
// out as RGB32, ARGB32 or RGB24 at the output type's frame size, after these
// steps in this order:
//   1. the source rectangle is cut out (the whole frame without one);
//   2. with rotation "normal", the frame is turned clockwise by the input
//      type's MF_MT_VIDEO_ROTATION (0, 90, 180 or 270 degrees), which says
//      how far it was stored turned counter-clockwise;
//   3. the mirror flips it left to right (horizontal) or top to bottom
//      (vertical);
//   4. it is scaled (nearest pixel) into the destination rectangle (the whole
//      output frame without one); the rest of the frame is the border colour.
// Row order follows each type's MF_MT_DEFAULT_STRIDE (negative: bottom row
// first), or runs top down without it.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "acquire/mf_platform.h"
#include "core/bitmap.h"
#include "core/yuv.h"

namespace {

constexpr DWORD MFT_SET_TYPE_TEST_ONLY = 0x1;

bool SubTypeCode(VX_IMFMediaType* t, uint32_t& code) {
  GUID major{}, sub{};
  if (!t || FAILED(t->GetGUID(MF_MT_MAJOR_TYPE, &major)) || !IsEqualGUID(major, MFMediaType_Video) ||
      FAILED(t->GetGUID(MF_MT_SUBTYPE, &sub)) || !IsEqualGUID(VXMFSubTypeOf(sub.Data1), sub))
    return false;
  code = sub.Data1;
  return true;
}

bool FrameSize(VX_IMFMediaType* t, int32_t& w, int32_t& h) {
  uint64_t v = 0;
  if (!t || FAILED(t->GetUINT64(MF_MT_FRAME_SIZE, &v))) return false;
  const uint32_t fw = uint32_t(v >> 32), fh = uint32_t(v);
  if (fw == 0 || fh == 0 || fw > 65536 || fh > 65536) return false;
  w = int32_t(fw), h = int32_t(fh);
  return true;
}

// The type's row step: its default stride, else the platform's for the format.
int64_t StrideOf(VX_IMFMediaType* t, uint32_t code, int32_t w) {
  UINT s = 0;
  if (SUCCEEDED(t->GetUINT32(MF_MT_DEFAULT_STRIDE, &s)) && int32_t(s) != 0) return int32_t(s);
  LONG ls = 0;
  return SUCCEEDED(VXMFPlatGetStrideForBitmapInfoHeader(code, DWORD(w), &ls)) ? ls : 0;
}

bool IsRGBOut(uint32_t code) { return code == 20 || code == 21 || code == 22; }
bool IsInput(uint32_t code) {
  return IsRGBOut(code) || code == VXMFFourCC('Y', 'U', 'Y', '2') || code == VXMFFourCC('I', '4', '2', '0') ||
         code == VXMFFourCC('N', 'V', '1', '2');
}

// The input frame as a top-down vx24RGB bitmap; false for data that does not
// cover the frame.
bool DecodeInput(uint32_t code, int32_t w, int32_t h, int64_t stride, const uint8_t* data, uint64_t len,
                 TVXBitmap& bmp) {
  if (stride == 0 || !bmp.Allocate(w, h, vx24RGB)) return false;
  const bool topDown = stride > 0;
  const int64_t step = stride < 0 ? -stride : stride;
  if (code == VXMFFourCC('Y', 'U', 'Y', '2')) return VXDecodeYUY2(data, len, &bmp, topDown, int32_t(step));
  if (code == VXMFFourCC('I', '4', '2', '0')) return VXDecodeI420(data, len, &bmp, topDown, int32_t(step));
  if (code == VXMFFourCC('N', 'V', '1', '2')) return VXDecodeNV12(data, len, &bmp, topDown, int32_t(step));
  const int64_t bpp = code == 20 ? 3 : 4;
  if (step < w * bpp || uint64_t(step * (h - 1) + w * bpp) > len) return false;
  for (int32_t i = 0; i < h; ++i) {
    const uint8_t* s = data + step * i;
    auto* d = static_cast<TRGB*>(bmp.GetScanLine(topDown ? i : h - 1 - i));
    for (int32_t x = 0; x < w; ++x, s += bpp) d[x] = TRGB{s[0], s[1], s[2]};
  }
  return true;
}

class TVideoProcessor : public TVXComObject<VX_IMFTransform>, public VX_IMFVideoProcessorControl {
 public:
  ~TVideoProcessor() override {
    Drop(fIn), Drop(fOut), Drop(fPending);
    if (fAttributes) fAttributes->Release();
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, VX_IMFVideoProcessorControl::kIID)) {
      AddRef();
      *ppv = static_cast<VX_IMFVideoProcessorControl*>(this);
      return S_OK;
    }
    return TVXComObject<VX_IMFTransform>::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return TVXComObject<VX_IMFTransform>::AddRef(); }
  ULONG Release() override { return TVXComObject<VX_IMFTransform>::Release(); }

  // ---- the control ----
  HRESULT SetBorderColor(MFARGB* c) override {
    if (!c) return E_POINTER;
    fBorder = *c;
    return S_OK;
  }
  HRESULT SetSourceRectangle(RECT* r) override { return SetRect(r, fSrc, fHasSrc); }
  HRESULT SetDestinationRectangle(RECT* r) override { return SetRect(r, fDst, fHasDst); }
  HRESULT SetMirror(MF_VIDEO_PROCESSOR_MIRROR m) override {
    if (m > 2) return E_INVALIDARG;
    fMirror = m;
    return S_OK;
  }
  HRESULT SetRotation(MF_VIDEO_PROCESSOR_ROTATION r) override {
    if (r > 1) return E_INVALIDARG;
    fRotation = r;
    return S_OK;
  }
  // Frames are always made at the output type's size.
  HRESULT SetConstrictionSize(SIZE*) override { return S_OK; }

  // ---- the transform ----
  HRESULT GetStreamLimits(DWORD* inMin, DWORD* inMax, DWORD* outMin, DWORD* outMax) override {
    if (!inMin || !inMax || !outMin || !outMax) return E_POINTER;
    *inMin = *inMax = *outMin = *outMax = 1;
    return S_OK;
  }
  HRESULT GetStreamCount(DWORD* in, DWORD* out) override {
    if (!in || !out) return E_POINTER;
    *in = *out = 1;
    return S_OK;
  }
  // Fixed streams numbered from 0.
  HRESULT GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT GetInputStreamInfo(DWORD id, MFT_INPUT_STREAM_INFO* info) override {
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!info) return E_POINTER;
    *info = MFT_INPUT_STREAM_INFO{};
    uint32_t code;
    int32_t w, h;
    if (SubTypeCode(fIn, code) && FrameSize(fIn, w, h)) {
      const int64_t s = StrideOf(fIn, code, w);
      info->cbSize = DWORD(FrameBytes(code, w, h, s));
    }
    return S_OK;
  }
  HRESULT GetOutputStreamInfo(DWORD id, MFT_OUTPUT_STREAM_INFO* info) override {
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!info) return E_POINTER;
    *info = MFT_OUTPUT_STREAM_INFO{};
    uint32_t code;
    int32_t w, h;
    if (!SubTypeCode(fOut, code) || !FrameSize(fOut, w, h)) return MF_E_TRANSFORM_TYPE_NOT_SET;
    info->cbSize = DWORD(FrameBytes(code, w, h, StrideOf(fOut, code, w)));
    return S_OK;
  }
  HRESULT GetAttributes(VX_IMFAttributes** a) override {
    if (!a) return E_POINTER;
    if (!fAttributes) VXMFPlatCreateAttributes(&fAttributes, 0);
    fAttributes->AddRef();
    *a = fAttributes;
    return S_OK;
  }
  HRESULT GetInputStreamAttributes(DWORD, VX_IMFAttributes**) override { return E_NOTIMPL; }
  HRESULT GetOutputStreamAttributes(DWORD, VX_IMFAttributes**) override { return E_NOTIMPL; }
  HRESULT DeleteInputStream(DWORD) override { return E_NOTIMPL; }
  HRESULT AddInputStreams(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT GetInputAvailableType(DWORD id, DWORD index, VX_IMFMediaType** t) override {
    static constexpr uint32_t kCodes[] = {VXMFFourCC('N', 'V', '1', '2'), VXMFFourCC('Y', 'U', 'Y', '2'),
                                          VXMFFourCC('I', '4', '2', '0'), 22, 21, 20};
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!t) return E_POINTER;
    if (index >= std::size(kCodes)) return MF_E_NO_MORE_TYPES;
    VXMFPlatCreateMediaType(t);
    (*t)->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    (*t)->SetGUID(MF_MT_SUBTYPE, VXMFSubTypeOf(kCodes[index]));
    return S_OK;
  }
  // RGB32, then RGB24, at the size the input comes out turned.
  HRESULT GetOutputAvailableType(DWORD id, DWORD index, VX_IMFMediaType** t) override {
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!t) return E_POINTER;
    int32_t w, h;
    if (!FrameSize(fIn, w, h)) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (index > 1) return MF_E_NO_MORE_TYPES;
    if (Turns() % 180 == 90) std::swap(w, h);
    const uint32_t code = index == 0 ? 22 : 20;
    VXMFPlatCreateMediaType(t);
    (*t)->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    (*t)->SetGUID(MF_MT_SUBTYPE, VXMFSubTypeOf(code));
    (*t)->SetUINT64(MF_MT_FRAME_SIZE, uint64_t(w) << 32 | uint32_t(h));
    LONG s = 0;
    VXMFPlatGetStrideForBitmapInfoHeader(code, DWORD(w), &s);
    (*t)->SetUINT32(MF_MT_DEFAULT_STRIDE, UINT(s));
    (*t)->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
    return S_OK;
  }
  HRESULT SetInputType(DWORD id, VX_IMFMediaType* t, DWORD flags) override {
    return SetType(id, t, flags, fIn, [](uint32_t c) { return IsInput(c); });
  }
  HRESULT SetOutputType(DWORD id, VX_IMFMediaType* t, DWORD flags) override {
    return SetType(id, t, flags, fOut, [](uint32_t c) { return IsRGBOut(c); });
  }
  HRESULT GetInputCurrentType(DWORD id, VX_IMFMediaType** t) override { return CopyType(id, fIn, t); }
  HRESULT GetOutputCurrentType(DWORD id, VX_IMFMediaType** t) override { return CopyType(id, fOut, t); }
  HRESULT GetInputStatus(DWORD id, DWORD* flags) override {
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!flags) return E_POINTER;
    *flags = fPending ? 0 : MFT_INPUT_STATUS_ACCEPT_DATA;
    return S_OK;
  }
  HRESULT GetOutputStatus(DWORD* flags) override {
    if (!flags) return E_POINTER;
    *flags = fPending ? MFT_OUTPUT_STATUS_SAMPLE_READY : 0;
    return S_OK;
  }
  HRESULT SetOutputBounds(LONGLONG, LONGLONG) override { return E_NOTIMPL; }
  HRESULT ProcessEvent(DWORD, VX_IMFMediaEvent*) override { return E_NOTIMPL; }
  // A flush drops the frame waiting for output; the other messages (drain,
  // start and end of streaming) find nothing else held.
  HRESULT ProcessMessage(MFT_MESSAGE_TYPE m, ULONG_PTR) override {
    if (m == MFT_MESSAGE_COMMAND_FLUSH) Drop(fPending);
    return S_OK;
  }
  HRESULT ProcessInput(DWORD id, VX_IMFSample* s, DWORD) override {
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!s) return E_POINTER;
    if (!fIn || !fOut) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (fPending) return MF_E_NOTACCEPTING;
    s->AddRef();
    fPending = s;
    return S_OK;
  }
  HRESULT ProcessOutput(DWORD, DWORD count, MFT_OUTPUT_DATA_BUFFER* out, DWORD* status) override {
    if (!out || !status) return E_POINTER;
    if (count != 1) return E_INVALIDARG;
    *status = 0;
    out[0].dwStatus = 0;
    if (!fIn || !fOut) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (!fPending) return MF_E_TRANSFORM_NEED_MORE_INPUT;
    if (!out[0].pSample) return E_INVALIDARG;
    VX_IMFSample* in = fPending;
    fPending = nullptr;
    const HRESULT hr = Render(in, out[0].pSample);
    in->Release();
    return hr;
  }

 private:
  static void Drop(VX_IMFMediaType*& t) {
    if (t) t->Release();
    t = nullptr;
  }
  static void Drop(VX_IMFSample*& s) {
    if (s) s->Release();
    s = nullptr;
  }
  static HRESULT SetRect(RECT* r, RECT& into, bool& has) {
    if (!r) return E_POINTER;
    if (r->right < r->left || r->bottom < r->top) return E_INVALIDARG;
    into = *r;
    has = true;
    return S_OK;
  }
  static int64_t FrameBytes(uint32_t code, int32_t w, int32_t h, int64_t stride) {
    const int64_t s = stride < 0 ? -stride : stride;
    if (code == VXMFFourCC('I', '4', '2', '0')) return s * h + 2 * (s / 2) * (h / 2);
    if (code == VXMFFourCC('N', 'V', '1', '2')) return s * h + s * (h / 2);
    (void)w;
    return s * h;
  }
  // The clockwise turn the frames get, in degrees.
  int Turns() const {
    UINT r = 0;
    if (fRotation != 1 || !fIn || FAILED(fIn->GetUINT32(MF_MT_VIDEO_ROTATION, &r))) return 0;
    return r == 90 || r == 180 || r == 270 ? int(r) : 0;
  }
  template <class TAccept>
  HRESULT SetType(DWORD id, VX_IMFMediaType* t, DWORD flags, VX_IMFMediaType*& slot, TAccept accept) {
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!t) {
      if (!(flags & MFT_SET_TYPE_TEST_ONLY)) Drop(slot);
      return S_OK;
    }
    uint32_t code;
    int32_t w, h;
    if (!SubTypeCode(t, code) || !accept(code) || !FrameSize(t, w, h)) return MF_E_INVALIDMEDIATYPE;
    if (flags & MFT_SET_TYPE_TEST_ONLY) return S_OK;
    VX_IMFMediaType* copy = nullptr;
    VXMFPlatCreateMediaType(&copy);
    t->CopyAllItems(copy);
    Drop(slot);
    slot = copy;
    return S_OK;
  }
  static HRESULT CopyType(DWORD id, VX_IMFMediaType* from, VX_IMFMediaType** t) {
    if (id != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (!t) return E_POINTER;
    *t = nullptr;
    if (!from) return MF_E_TRANSFORM_TYPE_NOT_SET;
    VXMFPlatCreateMediaType(t);
    from->CopyAllItems(*t);
    return S_OK;
  }

  HRESULT Render(VX_IMFSample* in, VX_IMFSample* outSample) {
    uint32_t inCode = 0, outCode = 0;
    int32_t iw = 0, ih = 0, ow = 0, oh = 0;
    SubTypeCode(fIn, inCode), SubTypeCode(fOut, outCode);
    FrameSize(fIn, iw, ih), FrameSize(fOut, ow, oh);

    // 0. The input frame.
    TVXBitmap src;
    {
      VX_IMFMediaBuffer* buf = nullptr;
      if (FAILED(in->ConvertToContiguousBuffer(&buf))) return E_INVALIDARG;
      BYTE* data = nullptr;
      DWORD len = 0;
      bool ok = false;
      if (SUCCEEDED(buf->Lock(&data, nullptr, &len))) {
        ok = DecodeInput(inCode, iw, ih, StrideOf(fIn, inCode, iw), data, len, src);
        buf->Unlock();
      }
      buf->Release();
      if (!ok) return E_INVALIDARG;
    }
    // 1. The source rectangle, within the frame.
    int32_t sl = 0, st = 0, sr = iw, sb = ih;
    if (fHasSrc) {
      sl = std::clamp<int32_t>(fSrc.left, 0, iw), st = std::clamp<int32_t>(fSrc.top, 0, ih);
      sr = std::clamp<int32_t>(fSrc.right, sl, iw), sb = std::clamp<int32_t>(fSrc.bottom, st, ih);
    }
    const int32_t cw = sr - sl, ch = sb - st;
    // 2 and 3: the turned and mirrored picture, as a map from its pixels to
    // the source's.
    const int turns = Turns();
    const int32_t tw = turns % 180 == 90 ? ch : cw, th = turns % 180 == 90 ? cw : ch;
    auto sourceOf = [&](int32_t x, int32_t y, int32_t& sx, int32_t& sy) {
      if (fMirror == 1) x = tw - 1 - x;
      if (fMirror == 2) y = th - 1 - y;
      switch (turns) {
        case 90: sx = y, sy = ch - 1 - x; break;
        case 180: sx = cw - 1 - x, sy = ch - 1 - y; break;
        case 270: sx = cw - 1 - y, sy = x; break;
        default: sx = x, sy = y; break;
      }
      sx += sl, sy += st;
    };
    // 4. Into the destination rectangle of the output frame.
    int32_t dl = 0, dt = 0, dr = ow, db = oh;
    if (fHasDst) {
      dl = std::clamp<int32_t>(fDst.left, 0, ow), dt = std::clamp<int32_t>(fDst.top, 0, oh);
      dr = std::clamp<int32_t>(fDst.right, dl, ow), db = std::clamp<int32_t>(fDst.bottom, dt, oh);
    }
    const int64_t stride = StrideOf(fOut, outCode, ow);
    const int64_t step = stride < 0 ? -stride : stride;
    const int64_t bpp = outCode == 20 ? 3 : 4;
    if (step < ow * bpp) return MF_E_INVALIDMEDIATYPE;
    const DWORD need = DWORD(step * oh);

    VX_IMFMediaBuffer* buf = nullptr;
    if (FAILED(outSample->GetBufferByIndex(0, &buf))) return E_INVALIDARG;
    BYTE* data = nullptr;
    DWORD max = 0;
    HRESULT hr = buf->Lock(&data, &max, nullptr);
    if (SUCCEEDED(hr) && max < need) {
      buf->Unlock();
      hr = MF_E_BUFFERTOOSMALL;
    }
    if (FAILED(hr)) {
      buf->Release();
      return hr;
    }
    for (int32_t y = 0; y < oh; ++y) {
      uint8_t* row = data + step * (stride < 0 ? oh - 1 - y : y);
      for (int32_t x = 0; x < ow; ++x) {
        uint8_t* p = row + bpp * x;
        const bool inside = x >= dl && x < dr && y >= dt && y < db && tw > 0 && th > 0;
        if (inside) {
          const int32_t px = int32_t(int64_t(x - dl) * tw / (dr - dl));
          const int32_t py = int32_t(int64_t(y - dt) * th / (db - dt));
          int32_t sx, sy;
          sourceOf(px, py, sx, sy);
          const TRGB c = static_cast<const TRGB*>(src.GetScanLine(sy))[sx];
          p[0] = c.b, p[1] = c.g, p[2] = c.r;
          if (bpp == 4) p[3] = 255;
        } else {
          p[0] = fBorder.rgbBlue, p[1] = fBorder.rgbGreen, p[2] = fBorder.rgbRed;
          if (bpp == 4) p[3] = fBorder.rgbAlpha;
        }
      }
    }
    buf->Unlock();
    buf->SetCurrentLength(need);
    buf->Release();
    LONGLONG t = 0;
    if (SUCCEEDED(in->GetSampleTime(&t))) outSample->SetSampleTime(t);
    if (SUCCEEDED(in->GetSampleDuration(&t))) outSample->SetSampleDuration(t);
    return S_OK;
  }

  VX_IMFMediaType *fIn = nullptr, *fOut = nullptr;
  VX_IMFSample* fPending = nullptr;
  VX_IMFAttributes* fAttributes = nullptr;
  RECT fSrc, fDst;
  bool fHasSrc = false, fHasDst = false;
  MF_VIDEO_PROCESSOR_MIRROR fMirror = 0;
  MF_VIDEO_PROCESSOR_ROTATION fRotation = 0;
  MFARGB fBorder;
};

}  // namespace

HRESULT VXCreateVideoProcessorMFT(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  auto* p = new TVideoProcessor();
  const HRESULT hr = p->QueryInterface(riid, ppv);
  p->Release();
  return hr;
}
