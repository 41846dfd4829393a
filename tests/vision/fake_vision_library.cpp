// A stand-in for the optional vision library, built as a loadable module for
// the core tests: its images copy the rows they are created from. Probes
// (extern "C") let a test count references and live images, make a call fail
// and create images that declare a size without holding rows.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/vision.h"

namespace {

int g_refs = 0;
int g_created = 0;
int g_liveImages = 0;
std::string g_failCall;

TVXVisionResult Result(const char* Call) { return g_failCall == Call ? -7 : vxvOK; }

class FakeImage final : public TVXVisionImage {
 public:
  FakeImage(int32_t w, int32_t h, uint32_t type, int32_t ch, int64_t rowLen, bool holdRows)
      : w_(w), h_(h), type_(type), ch_(ch), rowLen_(rowLen), holdRows_(holdRows) {
    ++g_liveImages;
    if (holdRows_) data_.resize(size_t(rowLen) * size_t(h));
  }
  ~FakeImage() {
    if (alpha_) alpha_->Release();
    --g_liveImages;
  }
  uint32_t AddRef() override { return uint32_t(++refs_); }
  uint32_t Release() override {
    const int r = --refs_;
    if (r == 0) delete this;
    return uint32_t(r);
  }
  TVXVisionResult GetSize(int32_t* Width, int32_t* Height) override {
    *Width = w_;
    *Height = h_;
    return Result("GetSize");
  }
  TVXVisionResult GetChannels(int32_t* Channels) override {
    *Channels = ch_;
    return Result("GetChannels");
  }
  TVXVisionResult GetDataType(uint32_t* DataType) override {
    *DataType = type_;
    return Result("GetDataType");
  }
  TVXVisionResult GetRowLen(int64_t* RowLen) override {
    *RowLen = rowLen_;
    return Result("GetRowLen");
  }
  TVXVisionResult GetRow(int32_t Row, void** Address) override {
    *Address = (holdRows_ && Row >= 0 && Row < h_) ? data_.data() + size_t(Row) * size_t(rowLen_) : nullptr;
    return Result("GetRow");
  }
  TVXVisionResult HasAlpha(bool* Present) override {
    *Present = alpha_ != nullptr;
    return Result("HasAlpha");
  }
  TVXVisionResult GetAlpha(TVXVisionImage** Alpha) override {
    if (alpha_) alpha_->AddRef();
    *Alpha = alpha_;
    return Result("GetAlpha");
  }
  TVXVisionResult SetAlpha(TVXVisionImage* Alpha) override {
    if (Alpha) Alpha->AddRef();
    if (alpha_) alpha_->Release();
    alpha_ = Alpha;
    return Result("SetAlpha");
  }
  std::vector<uint8_t> data_;

 private:
  int refs_ = 1;
  int32_t w_, h_;
  uint32_t type_;
  int32_t ch_;
  int64_t rowLen_;
  bool holdRows_;
  TVXVisionImage* alpha_ = nullptr;
};

class FakeBase : public TVXVisionBase {
 public:
  uint32_t AddRef() override { return uint32_t(++g_refs); }
  uint32_t Release() override { return uint32_t(--g_refs); }
  TVXVisionResult CreateImage(int32_t Width, int32_t Height, uint32_t DataType, int32_t Channels, int64_t RowLen,
                              const void* Data, TVXVisionImage** Image) override {
    *Image = nullptr;
    if (g_failCall == "CreateImage") return -7;
    auto* img = new FakeImage(Width, Height, DataType, Channels, RowLen, true);
    if (Data && !img->data_.empty()) std::memcpy(img->data_.data(), Data, img->data_.size());
    *Image = img;
    return vxvOK;
  }
};

FakeBase g_base;

}  // namespace

extern "C" __attribute__((visibility("default"))) void vxv_Library_create(TVXVisionBase** Intf) {
  ++g_created;
  g_refs = 1;
  *Intf = &g_base;
}
extern "C" __attribute__((visibility("default"))) int vx_test_refs() { return g_refs; }
extern "C" __attribute__((visibility("default"))) int vx_test_created() { return g_created; }
extern "C" __attribute__((visibility("default"))) int vx_test_live_images() { return g_liveImages; }
extern "C" __attribute__((visibility("default"))) void vx_test_fail_call(const char* Call) {
  g_failCall = Call ? Call : "";
}
// An image that declares its size but has no rows (every row address is null).
extern "C" __attribute__((visibility("default"))) TVXVisionImage* vx_test_make_hollow_image(
    int32_t Width, int32_t Height, uint32_t DataType, int32_t Channels, int64_t RowLen) {
  return new FakeImage(Width, Height, DataType, Channels, RowLen, false);
}
