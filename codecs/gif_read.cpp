// GIF reading: the block walk over the whole stream (so that the frames are
// counted), the wanted frame decoded through the LZW hook.
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "codecs/gif.h"
#include "core/bitmap.h"
#include "core/byteorder.h"
#include "core/limits.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "io/params.h"

namespace {

// The most pixels one byte of LZW data can stand for: a 12-bit code names a
// string of at most 4096 pixels.
constexpr int64_t kGIFMaxExpansion = 4096 * 8 / 12;

// A colour table of 2^(Field + 1) entries, red, green, blue in the file.
bool ReadTable(TStream* Stream, int32_t Field, std::vector<TRGB>& Table) {
  const int32_t n = 1 << (Field + 1);
  uint8_t raw[3 * 256];
  if (Stream->Read(raw, 3 * n) != 3 * n) return false;
  Table.resize(size_t(n));
  for (int32_t i = 0; i < n; ++i) Table[size_t(i)] = TRGB{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]};
  return true;
}

// Seeks over data sub-blocks up to their terminator or the end of the stream.
void SkipSubBlocks(TStream* Stream, int64_t Size) {
  for (;;) {
    uint8_t n = 0;
    if (Stream->Read(&n, 1) != 1 || n == 0) return;
    const int64_t to = Stream->Position() + n;
    if (to >= Size) {
      Stream->SetPosition(Size);
      return;
    }
    Stream->SetPosition(to);
  }
}

TVXGIFAction ActionOf(uint8_t Packed) {
  const int32_t d = (Packed >> 2) & 7;
  return d <= 3 ? TVXGIFAction(d) : ioGIF_None;
}

}  // namespace

void VXReadGIFStream(TStream* Stream, TVXBitmap* Bitmap, TIOParamsVals& IOParams, TProgressRec& Progress,
                     std::unique_ptr<TVXMask>& AlphaMask, bool Preview, bool IgnoreTransparency,
                     int32_t& FrameCount, const std::function<bool()>& OnFrame) {
  bool localAbort = false;
  bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
  int32_t last = -1;
  TIOParamsVals& P = IOParams;
  VXReportProgress(Progress, 0, last);
  if (aborting) return;
  FrameCount = 0;
  AlphaMask.reset();
  try {
    const int64_t size = Stream->Size();
    uint8_t h[13];
    if (Stream->Read(h, 13) != 13 || std::memcmp(h, "GIF", 3) != 0) {
      aborting = true;
      return;
    }
    P.SetGIF_Version(std::string(reinterpret_cast<const char*>(h), 6));
    P.SetGIF_WinWidth(VXGetLE16(h + 6));
    P.SetGIF_WinHeight(VXGetLE16(h + 8));
    P.SetGIF_Ratio(h[12]);
    std::vector<TRGB> global;
    if ((h[10] & 0x80) && !ReadTable(Stream, h[10] & 7, global)) {
      aborting = true;
      return;
    }
    if (!global.empty()) P.SetGIF_Background(h[11] < global.size() ? global[h[11]] : TRGB{0, 0, 0});
    P.SetDpiX(VXGetGlobalSettings()->DefaultDPIX());
    P.SetDpiY(VXGetGlobalSettings()->DefaultDPIY());
    P.SetSamplesPerPixel(1);

    const int32_t wanted = P.GIF_ImageIndex();
    // With OnFrame every frame up to the wanted one (all of them for a
    // negative index) is decoded in turn; otherwise only the wanted one.
    const bool everyFrame = bool(OnFrame) && !Preview;
    auto decoded = [&](int32_t Frame) { return Frame == wanted || (everyFrame && (wanted < 0 || Frame < wanted)); };
    uint8_t gce[4] = {0, 0, 0, 0};
    TVXTextBudget budget;
    for (;;) {
      uint8_t b = 0;
      if (Stream->Read(&b, 1) != 1 || b == 0x3B) break;
      if (b == 0x21) {
        uint8_t label = 0;
        if (Stream->Read(&label, 1) != 1) break;
        if (label == 0xF9 && decoded(FrameCount)) {
          uint8_t n = 0;
          if (Stream->Read(&n, 1) != 1) break;
          uint8_t data[255] = {};
          Stream->Read(data, n);
          std::memcpy(gce, data, 4);
          if (n != 0) SkipSubBlocks(Stream, size);
        } else if (label == 0xFE) {
          for (;;) {
            uint8_t n = 0;
            if (Stream->Read(&n, 1) != 1 || n == 0) break;
            char text[256] = {};
            const int64_t got = Stream->Read(text, n);
            const std::string line(text, strnlen(text, size_t(std::max<int64_t>(got, 0))));
            if (!line.empty() && budget.Take(int64_t(line.size()))) P.GIF_Comments().push_back(VXAnsiToUTF8(line));
            if (got < n) break;
          }
        } else {
          SkipSubBlocks(Stream, size);
        }
        continue;
      }
      if (b != 0x2C) continue;  // stray bytes are passed over one at a time

      uint8_t d[9];
      if (Stream->Read(d, 9) != 9) break;
      std::vector<TRGB> local;
      if ((d[8] & 0x80) && !ReadTable(Stream, d[8] & 7, local)) break;
      if (!decoded(FrameCount)) {
        uint8_t codeSize = 0;
        if (Stream->Read(&codeSize, 1) != 1) break;
        SkipSubBlocks(Stream, size);
        ++FrameCount;
        continue;
      }
      ++FrameCount;

      VXReportProgress(Progress, 30, last);
      if (aborting) break;
      const int32_t W = VXGetLE16(d + 4), H = VXGetLE16(d + 6);
      const bool interlaced = (d[8] & 0x40) != 0;
      AlphaMask.reset();
      // A frame without a table of its own or a global one gets a black table
      // as large as the header's size field says.
      const std::vector<TRGB> table =
          !local.empty() ? local : !global.empty() ? global : std::vector<TRGB>(size_t(2) << (h[10] & 7), TRGB{0, 0, 0});
      const int32_t bits = !local.empty() ? (d[8] & 7) + 1 : (h[10] & 7) + 1;
      const int32_t count = int32_t(table.size());
      const bool transparent = (gce[0] & 1) != 0;
      const int32_t transpIndex = gce[3];
      P.SetGIF_XPos(VXGetLE16(d));
      P.SetGIF_YPos(VXGetLE16(d + 2));
      P.SetWidth(W);
      P.SetHeight(H);
      P.SetOriginalWidth(W);
      P.SetOriginalHeight(H);
      P.SetGIF_DelayTime(VXGetLE16(gce + 1));
      P.SetGIF_FlagTranspColor(transparent);
      P.SetGIF_TranspColor(transpIndex < count ? table[size_t(transpIndex)] : TRGB{0, 0, 0});
      P.SetGIF_Interlaced(interlaced);
      P.SetGIF_Action(ActionOf(gce[0]));
      P.SetBitsPerSample(bits);

      std::vector<uint8_t> indices;
      if (Preview) {
        uint8_t codeSize = 0;
        if (Stream->Read(&codeSize, 1) == 1) SkipSubBlocks(Stream, size);
      } else {
        // A frame of no pixels, beyond the pixel limit, or far larger than
        // the rest of the stream could code, is damage.
        if (!VXImageSizeAllowed(W, H, 8) ||
            !VXDeclaredDataPlausible(size - Stream->Position(), int64_t(W) * H, kGIFMaxExpansion)) {
          aborting = true;
          break;
        }
        TGIFLZWDecompFunc decode = P.GIF_LZWDecompFunc() ? P.GIF_LZWDecompFunc()
                                                         : VXGetGlobalSettings()->DefGIF_LZWDECOMPFUNC();
        if (!decode) {
          aborting = true;
          break;
        }
        indices.assign(size_t(W) * size_t(H), 0);
        const int64_t before = Stream->Position();
        decode(Stream, H, W, interlaced, indices.data());
        if (Stream->Position() == before) {
          aborting = true;
          break;
        }
        VXReportProgress(Progress, 70, last);
      }
      P.FreeColorMap();
      P.fColorMap = table;
      P.fColorMapCount = count;
      if (Preview) continue;

      TVXPixelFormat pf;
      if (count == 2 && table[0].r == 0 && table[0].g == 0 && table[0].b == 0 && table[1].r == 255 &&
          table[1].g == 255 && table[1].b == 255)
        pf = vx1g;
      else
        pf = P.IsNativePixelFormat ? vx8p : vx24RGB;
      if (pf != vx1g && (W > 65000 || H > 65000) && size - Stream->Position() < 2000) {
        aborting = true;
        break;
      }
      if (!Bitmap || !VXImageSizeAllowed(W, H, VXPixelFormatBitCount[pf] + (transparent ? 8 : 0)) ||
          !Bitmap->Allocate(W, H, pf)) {
        aborting = true;
        break;
      }
      uint8_t* maskBits = nullptr;
      if (!IgnoreTransparency && transparent) {
        AlphaMask = std::make_unique<TVXMask>();
        AlphaMask->AllocateBits(W, H, 8);
        AlphaMask->Fill(255);
      }
      if (pf == vx8p) {
        for (int32_t i = 0; i < 256; ++i) Bitmap->SetPalette(i, i < count ? table[size_t(i)] : TRGB{0, 0, 0});
        Bitmap->SetPaletteUsed(count);
      }
      bool anyTransparent = false;
      for (int32_t y = 0; y < H; ++y) {
        const uint8_t* src = indices.data() + size_t(y) * size_t(W);
        uint8_t* row = static_cast<uint8_t*>(Bitmap->GetScanLine(y));
        if (pf == vx1g) {
          std::memset(row, 0, (size_t(W) + 7) / 8);
          for (int32_t x = 0; x < W; ++x)
            if (src[x] == 1) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
        } else if (pf == vx8p) {
          std::memcpy(row, src, size_t(W));
        } else {
          for (int32_t x = 0; x < W; ++x) {
            const TRGB c = src[x] < count ? table[src[x]] : TRGB{0, 0, 0};
            std::memcpy(row + 3 * size_t(x), &c, 3);
          }
        }
        if (AlphaMask) {
          maskBits = AlphaMask->ScanLine(y);
          for (int32_t x = 0; x < W; ++x)
            if (src[x] == transpIndex) {
              maskBits[x] = 0;
              anyTransparent = true;
            }
        }
      }
      if (AlphaMask) {
        AlphaMask->SyncFull();
        if (!anyTransparent) AlphaMask.reset();
      }
      if (everyFrame) {
        if (!OnFrame()) break;
        // A graphic control block belongs to the one frame that follows it.
        std::memset(gce, 0, sizeof gce);
      }
    }
    // A stream without any frame holds no image.
    if (!aborting && FrameCount == 0 && !Preview) aborting = true;
    if (!aborting) {
      P.SetGIF_ImageCount(FrameCount);
      VXReportProgress(Progress, 100, last);
    }
  } catch (...) {
    aborting = true;
  }
}
