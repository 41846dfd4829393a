#include "acquire/sane_frames.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int32_t kGray = 0, kRGB = 1, kRed = 2, kBlue = 4;

bool HostIsLittleEndian() {
  const uint16_t one = 1;
  uint8_t b;
  std::memcpy(&b, &one, 1);
  return b == 1;
}

// Bytes of one row's samples in a frame (without the line's padding).
size_t SampleBytes(const TVXSaneFrameParams& p) {
  const size_t channels = p.Format == kRGB ? 3 : 1;
  return (size_t(p.PixelsPerLine) * channels * size_t(p.Depth) + 7) / 8;
}

// Whole rows that arrived, never more than the frame's lines.
int64_t RowsOf(const TVXSaneFrameParams& p, size_t Bytes) {
  int64_t rows = int64_t(Bytes / size_t(p.BytesPerLine));
  if (p.Lines >= 0) rows = std::min<int64_t>(rows, p.Lines);
  return std::min<int64_t>(rows, INT32_MAX);
}

}  // namespace

bool TVXSanePageAssembler::BeginFrame(const TVXSaneFrameParams& P, std::string& Error) {
  if (fComplete) {
    Error = "the page is already complete";
    return false;
  }
  if (P.Format < kGray || P.Format > kBlue) {
    Error = "unknown frame format " + std::to_string(P.Format);
    return false;
  }
  if (P.Depth != 1 && P.Depth != 8 && P.Depth != 16) {
    Error = "unsupported depth " + std::to_string(P.Depth);
    return false;
  }
  if (P.Format == kRGB && P.Depth == 1) {
    Error = "1-bit colour frames are not supported";
    return false;
  }
  if (P.PixelsPerLine <= 0 || P.BytesPerLine <= 0 || P.Lines < -1 || SampleBytes(P) > size_t(P.BytesPerLine)) {
    Error = "bad frame geometry";
    return false;
  }
  const bool pass = P.Format >= kRed;
  if (!fFrames.empty()) {
    const TVXSaneFrameParams& f = fFrames.front().Params;
    if (!pass || f.Format < kRed || P.PixelsPerLine != f.PixelsPerLine || P.Depth != f.Depth) {
      Error = "a frame that does not match the page's first frame";
      return false;
    }
    for (const TFrame& o : fFrames)
      if (o.Params.Format == P.Format) {
        Error = "a colour frame arrived twice";
        return false;
      }
  } else {
    fFirst = P;
  }
  fFrames.push_back(TFrame{P, {}});
  fOpen = true;
  return true;
}

void TVXSanePageAssembler::Feed(const uint8_t* Data, size_t Size) {
  if (!fOpen || !Data || !Size) return;
  TFrame& f = fFrames.back();
  // Bytes past the frame's announced lines are dropped as they come.
  if (f.Params.Lines >= 0) {
    const size_t cap = size_t(f.Params.Lines) * size_t(f.Params.BytesPerLine);
    if (f.Bytes.size() >= cap) return;
    Size = std::min(Size, cap - f.Bytes.size());
  }
  f.Bytes.insert(f.Bytes.end(), Data, Data + Size);
}

void TVXSanePageAssembler::EndFrame() {
  if (!fOpen) return;
  fOpen = false;
  const TVXSaneFrameParams& p = fFrames.back().Params;
  // A three-pass page ends with its third colour, or earlier when the
  // scanner says so (Finish then names the missing colour).
  fComplete = p.Format <= kRGB || fFrames.size() == 3 || p.LastFrame;
}

bool TVXSanePageAssembler::Finish(TVXScanFrame& Page, std::string& Error) const {
  if (fFrames.empty()) {
    Error = "no frame";
    return false;
  }
  const TVXSaneFrameParams& p = fFrames.front().Params;
  const bool swap = !HostIsLittleEndian();
  Page = TVXScanFrame();
  Page.Width = p.PixelsPerLine;
  if (p.Format <= kRGB) {
    const int64_t rows = RowsOf(p, fFrames.front().Bytes.size());
    Page.BitsPerPixel = p.Depth * (p.Format == kRGB ? 3 : 1);
    Page.Height = int32_t(rows);
    const size_t rb = Page.RowBytes();
    Page.Pixels.resize(rb * size_t(rows));
    for (int64_t y = 0; y < rows; ++y)
      std::memcpy(Page.Pixels.data() + size_t(y) * rb, fFrames.front().Bytes.data() + size_t(y) * size_t(p.BytesPerLine),
                  rb);
    if (p.Depth == 1)
      for (uint8_t& b : Page.Pixels) b = uint8_t(~b);  // the scanner's 1 is black
    if (p.Depth == 16 && swap)
      for (size_t i = 0; i + 1 < Page.Pixels.size(); i += 2) std::swap(Page.Pixels[i], Page.Pixels[i + 1]);
    return true;
  }
  // Three passes: one frame per colour, interleaved into one page.
  const TFrame* planes[3] = {nullptr, nullptr, nullptr};
  for (const TFrame& f : fFrames) planes[f.Params.Format - kRed] = &f;
  if (!planes[0] || !planes[1] || !planes[2]) {
    Error = "a three-pass page lacks a colour";
    return false;
  }
  if (p.Depth == 1) {
    Error = "1-bit colour frames are not supported";
    return false;
  }
  int64_t rows = -1;
  for (const TFrame* f : planes) {
    const int64_t r = RowsOf(f->Params, f->Bytes.size());
    rows = rows < 0 ? r : std::min(rows, r);
  }
  const size_t bytes = size_t(p.Depth / 8);
  Page.BitsPerPixel = p.Depth * 3;
  Page.Height = int32_t(rows);
  const size_t rb = Page.RowBytes();
  Page.Pixels.resize(rb * size_t(rows));
  for (int c = 0; c < 3; ++c) {
    const TFrame& f = *planes[c];
    for (int64_t y = 0; y < rows; ++y) {
      const uint8_t* src = f.Bytes.data() + size_t(y) * size_t(f.Params.BytesPerLine);
      uint8_t* dst = Page.Pixels.data() + size_t(y) * rb + size_t(c) * bytes;
      for (int32_t x = 0; x < Page.Width; ++x)
        for (size_t k = 0; k < bytes; ++k) dst[size_t(x) * 3 * bytes + k] = src[size_t(x) * bytes + (swap ? bytes - 1 - k : k)];
    }
  }
  return true;
}
