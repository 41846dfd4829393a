// The callback of multi-image acquisitions (scanners, camera folders).
#pragma once

#include <cstdint>
#include <functional>

class TVXBitmap;
class TIOParamsVals;

// Called once per finished image of a multi-image acquisition; the callee
// may point IOParams at the record that is to receive the image's values.
using TVXMultiCallBack = std::function<void(TVXBitmap* Bitmap, TIOParamsVals*& IOParams, int32_t ImDpiX, int32_t ImDpiY)>;
