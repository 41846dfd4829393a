// The camera raw decoder over LibRaw (thread-safe build): identification,
// unpacking and LibRaw's own processing up to the colour conversion. Gamma,
// brightness, the pixel aspect and the diagonal rotation stay with the glue.
#include <libraw/libraw.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/limits.h"
#include "formats/camera_raw.h"

namespace {

// LibRaw reports damage through this; the glue looks at the return codes
// (nothing of LibRaw's goes to stderr).
void QuietDataError(void*, const char*, const int) {}

// LibRaw 0.20 (the packaged one) fills its 6 x 6 pattern table from a TIFF
// CFAPattern (tag 33422) of 36 values in a loop its build never ends: it
// writes on past the table, through its own stream object, and the process
// dies. Data holding such a directory entry, in either byte order, is kept
// from it. The eight bytes of the entry's tag, type and count are what is
// looked for, anywhere in the data, since LibRaw walks directories inside
// many containers.
bool FeedsLibRawPatternOverrun(const uint8_t* Data, size_t Size) {
  if (LibRaw::versionNumber() >= LIBRAW_MAKE_VERSION(0, 21, 0)) return false;
  for (size_t i = 0; i + 8 <= Size; ++i) {
    const uint8_t* p = Data + i;
    if (p[0] == 0x8E && p[1] == 0x82 && p[4] == 36 && p[5] == 0 && p[6] == 0 && p[7] == 0) return true;
    if (p[0] == 0x82 && p[1] == 0x8E && p[4] == 0 && p[5] == 0 && p[6] == 0 && p[7] == 36) return true;
  }
  return false;
}

// The file's bytes as LibRaw reads them, noting every read that asks for
// bytes beyond the end: LibRaw's decoders take what is missing as zeros, so
// a file cut short anywhere in its raw data (in any strip or tile) would
// load as a blank image, or one blank from the cut on.
class TCheckedBufferStream : public LibRaw_buffer_datastream {
 public:
  TCheckedBufferStream(uint8_t* Data, size_t Size) : LibRaw_buffer_datastream(Data, Size) {}
  int read(void* Ptr, size_t Size, size_t Count) override {
    const INT64 end = tell() + INT64(Size) * INT64(Count);
    if (end > size()) fShort = true;
    return LibRaw_buffer_datastream::read(Ptr, Size, Count);
  }
  int get_char() override {
    const int c = LibRaw_buffer_datastream::get_char();
    if (c < 0) fShort = true;
    return c;
  }
  bool fShort = false;
};

// A LibRaw object is large and zeroed whole when made: each thread keeps the
// ones it made, recycled, for its next decoders.
thread_local std::vector<std::unique_ptr<LibRaw>> tSpareLibRaw;

std::unique_ptr<LibRaw> TakeLibRaw() {
  if (!tSpareLibRaw.empty()) {
    std::unique_ptr<LibRaw> raw = std::move(tSpareLibRaw.back());
    tSpareLibRaw.pop_back();
    return raw;
  }
  auto raw = std::make_unique<LibRaw>(LIBRAW_OPIONS_NO_MEMERR_CALLBACK | LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
  raw->set_dataerror_handler(&QuietDataError, nullptr);
  return raw;
}

class TLibRawDecoder : public TVXRawDecoder {
 public:
  TLibRawDecoder() : fRaw(TakeLibRaw()) {}
  ~TLibRawDecoder() override {
    fRaw->recycle();
    fStream.reset();
    if (tSpareLibRaw.size() < 2) tSpareLibRaw.push_back(std::move(fRaw));
  }

  bool Identify(const uint8_t* Data, size_t Size) override {
    fRaw->recycle();
    fStream.reset();
    fIdentity = TVXRawIdentity();
    if (!Data || Size == 0 || FeedsLibRawPatternOverrun(Data, Size)) return false;
    try {
      fStream = std::make_unique<TCheckedBufferStream>(const_cast<uint8_t*>(Data), Size);
      if (fRaw->open_datastream(fStream.get()) != LIBRAW_SUCCESS) return false;
    } catch (...) {
      return false;
    }
    // A file cut short: LibRaw's decoders read what is missing as zeros
    // and answer with a blank image, or one blank from the cut on. The
    // raw data LibRaw found (its first strip or tile where there are
    // several) must lie within the file.
    const auto& unpacker = fRaw->get_internal_data_pointer()->unpacker_data;
    const int64_t size = int64_t(Size), offset = unpacker.data_offset, length = unpacker.data_size;
    if (offset < 0 || offset >= size || length > size - offset) return false;
    const libraw_data_t& d = fRaw->imgdata;
    fIdentity.Make = Text(d.idata.make, sizeof d.idata.make);
    fIdentity.Model = Text(d.idata.model, sizeof d.idata.model);
    fIdentity.Model2 = Text(d.color.model2, sizeof d.color.model2);
    fIdentity.Width = d.sizes.width;
    fIdentity.Height = d.sizes.height;
    fIdentity.RawWidth = d.sizes.raw_width;
    fIdentity.RawHeight = d.sizes.raw_height;
    fIdentity.Filters = d.idata.filters;
    fIdentity.Diagonal = fRaw->is_fuji_rotated() != 0;
    fIdentity.PixelAspect = d.sizes.pixel_aspect;
    return true;
  }

  const TVXRawIdentity& Identity() const override { return fIdentity; }

  bool Process(const TVXRawOptions& Options, const std::function<bool(TVXRawStage)>& OnStage) override {
    libraw_output_params_t& o = fRaw->imgdata.params;
    o.half_size = Options.HalfSize ? 1 : 0;
    o.four_color_rgb = Options.FourColorRGB ? 1 : 0;
    o.use_auto_wb = Options.UseAutoWB ? 1 : 0;
    o.use_camera_wb = Options.UseCameraWB ? 1 : 0;
    o.user_qual = Options.QuickInterpolate ? 0 : 3;
    o.use_fuji_rotate = 0;
    if (Options.RedScale != 1.0 || Options.BlueScale != 1.0) {
      const float* pre = fRaw->imgdata.color.pre_mul;
      o.user_mul[0] = float(pre[0] * Options.RedScale);
      o.user_mul[1] = pre[1];
      o.user_mul[2] = float(pre[2] * Options.BlueScale);
      o.user_mul[3] = pre[3];
    } else {
      for (float& m : o.user_mul) m = 0;  // a recycled object keeps its last ones
    }
    fOnStage = &OnStage;
    fReported[0] = fReported[1] = false;
    fRaw->set_progress_handler(&TLibRawDecoder::ProgressHandler, this);
    bool ok = false;
    try {
      // Reads past the end while identifying are the parsers looking; one
      // while unpacking is raw data the file lacks.
      if (fStream) fStream->fShort = false;
      ok = fRaw->unpack() == LIBRAW_SUCCESS && !(fStream && fStream->fShort) &&
           fRaw->dcraw_process() == LIBRAW_SUCCESS;
    } catch (...) {
      ok = false;
    }
    fRaw->set_progress_handler(nullptr, nullptr);
    fOnStage = nullptr;
    return ok && fRaw->imgdata.image != nullptr;
  }

  uint16_t* Image() override { return fRaw->imgdata.image ? &fRaw->imgdata.image[0][0] : nullptr; }
  int32_t ImageWidth() const override { return fRaw->imgdata.sizes.iwidth; }
  int32_t ImageHeight() const override { return fRaw->imgdata.sizes.iheight; }
  void Recycle() override {
    fRaw->recycle();
    fStream.reset();
    fIdentity = TVXRawIdentity();
  }

 private:
  static std::string Text(const char* s, size_t n) { return std::string(s, strnlen(s, n)); }

  // The white balance and the colour conversion are reported once each, as
  // LibRaw reaches them; a true answer cancels.
  static int ProgressHandler(void* Data, LibRaw_progress Stage, int, int) {
    auto* self = static_cast<TLibRawDecoder*>(Data);
    if (!self->fOnStage || !*self->fOnStage) return 0;
    int index = -1;
    if (Stage == LIBRAW_PROGRESS_SCALE_COLORS) index = 0;
    if (Stage == LIBRAW_PROGRESS_CONVERT_RGB) index = 1;
    if (index < 0 || self->fReported[index]) return 0;
    self->fReported[index] = true;
    return (*self->fOnStage)(index == 0 ? vxrsWhiteBalance : vxrsColorConversion) ? 1 : 0;
  }

  std::unique_ptr<LibRaw> fRaw;
  std::unique_ptr<TCheckedBufferStream> fStream;  // the data LibRaw reads, while it is open
  TVXRawIdentity fIdentity;
  const std::function<bool(TVXRawStage)>* fOnStage = nullptr;
  bool fReported[2] = {false, false};
};

}  // namespace

std::unique_ptr<TVXRawDecoder> VXCreateLibRawDecoder() { return std::make_unique<TLibRawDecoder>(); }
