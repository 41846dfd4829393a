// Banded image-acquisition transfers as a device may send them: any
// sequence of headers (MEMORYBMP, BMP, JPEG or another format), bands of any
// length (negative ones and ones longer than the bytes there are included)
// and any bytes, new pages, status messages and terminations, through the
// client's callback object and its page handler. Nothing is read outside a
// band, a refused band answers S_FALSE, and a page is handed over only when
// one is pending.
//
// Input: records. 'H' format: a header. 'D' length (signed 16-bit) and
// bytes: a band (its bytes are what follows, as many as there are). 'N': a
// new page. 'T': the termination. 'S': a status message.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "acquire/vxwia.h"
#include "core/bitmap.h"
#include "fuzz/fuzz_library.h"

namespace {

void Check(bool Condition) {
  if (!Condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true);
  static const GUID kFormats[4] = {WiaImgFmt_MEMORYBMP, WiaImgFmt_BMP, WiaImgFmt_JPEG, GUID{1, 2, 3, {4}}};
  TVXWia wia;
  TVXBitmap bitmap;
  if (size > 0 && (data[0] & 1)) wia.ProcessingBitmap = &bitmap;  // else a bitmap per page
  int32_t pages = 0, pending = 0;
  wia.SetOnGetPage([&](TVXBitmap* b, TIOParamsVals*&, int32_t, int32_t) {
    Check(b != nullptr);
    ++pages;
  });
  auto* cb = new TWiaDataCallBack();
  cb->OnGetPage = [&](const WIA_DATA_CALLBACK_HEADER* h, const uint8_t* d, int32_t n) {
    Check(n >= 0 && (n == 0 || d != nullptr));
    return wia.HandlePage(h, d, n);
  };
  size_t at = size > 0 ? 1 : 0;
  while (at < size) {
    const uint8_t kind = data[at++];
    if (kind == 'H' && at < size) {
      WIA_DATA_CALLBACK_HEADER h{28, kFormats[data[at++] & 3], 0, 0};
      std::vector<uint8_t> raw(sizeof(h));
      std::memcpy(raw.data(), &h, sizeof(h));
      Check(cb->BandedDataCallback(IT_MSG_DATA_HEADER, 0, 0, 0, 28, 0, 0, raw.data()) == S_OK);
      pending = 1;
    } else if (kind == 'D' && size - at >= 2) {
      const int16_t len = int16_t(data[at] | data[at + 1] << 8);
      at += 2;
      const size_t there = size - at;
      // A band longer than the bytes there are claims only those; a
      // negative one is refused.
      const LONG claimed = len < 0 ? len : LONG(std::min<size_t>(size_t(len), there));
      std::vector<uint8_t> band(data + at, data + at + (claimed > 0 ? size_t(claimed) : 0));
      const int32_t before = cb->datalen;
      const HRESULT hr = cb->BandedDataCallback(IT_MSG_DATA, 0, 0, 0, claimed, 0, claimed, band.data());
      if (claimed < 0) Check(hr == S_FALSE && cb->datalen == before);
      else Check(hr == S_OK && cb->datalen == before + claimed);
      at += claimed > 0 ? size_t(claimed) : 0;
    } else if (kind == 'N') {
      const int32_t was = pages;
      cb->BandedDataCallback(IT_MSG_NEW_PAGE, 0, 0, 0, 0, 0, 0, nullptr);
      Check(pages == was + 1 && cb->datalen == 0);
      pending = 0;
    } else if (kind == 'T') {
      const int32_t was = pages;
      cb->BandedDataCallback(IT_MSG_TERMINATION, 0, 100, 0, 0, 0, 0, nullptr);
      Check(pages == was + pending && cb->datalen == 0);
      pending = 0;
    } else if (kind == 'S') {
      Check(cb->BandedDataCallback(IT_MSG_STATUS, 0, 0, 0, 0, 0, 0, nullptr) == S_OK);
    } else {
      break;
    }
  }
  cb->Release();
  return 0;
}
