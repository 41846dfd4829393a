// YUV video frames named by a FourCC: every layout against the integer or
// floating formula computed with numpy over the same samples, frames made by
// ffmpeg against ffmpeg's own RGB, black and white levels, and short data.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/dib.h"
#include "core/yuv.h"
#include "dib_test_util.h"

using namespace dibtest;

namespace {

uint32_t FourCC(const std::string& s) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

// Decodes Frame as a FourCC DIB with the data given apart from the header.
Bytes DecodeFrame(const std::string& fcc, int32_t w, int32_t h, const Bytes& frame, int32_t* result = nullptr) {
  const Bytes head = Header(w, h, 16, FourCC(fcc));
  std::vector<uint8_t> data(frame);  // exact size for the sanitizer build
  TVXBitmap b;
  const int32_t r = VXCopyDIBToBitmap(head.data(), int64_t(head.size()), &b, data.data(), int64_t(data.size()));
  if (result) *result = r;
  return r ? RGBBytes(b) : Bytes{};
}

// The layouts of the frame formats, in numpy: expect(fourcc, width,
// biHeight, bytes) gives the picture (rows top first) that the decoder must
// produce; need() the bytes of a frame.
const char* kOracle = R"(
import numpy as np
def fl(Y, U, V):
    C = Y.astype(np.float64) - 16; D = U.astype(np.float64) - 128; E = V.astype(np.float64) - 128
    b = 1.164 * C + 2.018 * D; g = 1.164 * C - 0.813 * E - 0.391 * D; r = 1.164 * C + 1.596 * E
    return np.stack([np.clip(np.rint(x), 0, 255) for x in (r, g, b)], -1).astype(np.uint8)
def it(Y, U, V):
    C = Y.astype(np.int64) - 16; D = U.astype(np.int64) - 128; E = V.astype(np.int64) - 128
    q = lambda a: np.clip(np.sign(a) * (np.abs(a) // 256), 0, 255)
    return np.stack([q(298 * C + 409 * E + 128), q(298 * C - 100 * D - 208 * E + 128), q(298 * C + 516 * D + 128)], -1).astype(np.uint8)
# pixels, bytes, conversion, and the byte of Y, U, V of each pixel of a group
UYVY = (2, 4, 'f', [1, 3], [0, 0], [2, 2])
YUY2 = (2, 4, 'i', [0, 2], [1, 1], [3, 3])
PACKED = {'YUY2': YUY2, 'YUNV': YUY2, 'UYVY': UYVY, 'UYNV': UYVY, 'cyuv': UYVY,
          'YVYU': (2, 4, 'f', [0, 2], [3, 3], [1, 1]), 'IYU1': (4, 6, 'f', [1, 2, 4, 5], [0] * 4, [3] * 4),
          'IYU2': (1, 3, 'f', [1], [0], [2]), 'Y211': (4, 4, 'f', [0, 0, 2, 2], [1] * 4, [3] * 4),
          'Y41P': (8, 12, 'f', [1, 3, 5, 7, 8, 9, 10, 11], [0] * 4 + [4] * 4, [2] * 4 + [6] * 4),
          'CLJR': (4, 4, 'f', None, None, None)}
def planar(fcc, w, H):
    if fcc == 'NV12':
        ys = ((w * 8 + 31) // 32) * 4; cw = w // 2; ch = H // 2
        return 2, ys, cw, ch, ((cw * 16 + 31) // 32) * 4
    sub = 4 if fcc == 'YVU9' else 2
    return sub, w, w // sub, H // sub, w // sub
def need(fcc, w, h):
    H = abs(h)
    if fcc in PACKED:
        G, B = PACKED[fcc][:2]
        return (w * B + G - 1) // G * H
    sub, ys, cw, ch, cs = planar(fcc, w, H)
    return ys * H + cs * ch * (1 if fcc == 'NV12' else 2)
def expect(fcc, w, h, data):
    H = abs(h); out = np.zeros((H, w, 3), np.uint8); d = np.frombuffer(data, np.uint8)
    topdown = (h > 0) != (fcc in ('Y41P', 'cyuv'))
    rows = []
    if fcc in PACKED:
        G, B, conv, yi, ui, vi = PACKED[fcc]
        stride = (w * B + G - 1) // G; n = w // G
        for i in range(H):
            g = d[i * stride:i * stride + n * B].reshape(n, B).astype(np.int64)
            if fcc == 'CLJR':
                word = g[:, 0] | g[:, 1] << 8 | g[:, 2] << 16 | g[:, 3] << 24
                w5 = lambda v: (v << 3) | (v >> 2); w6 = lambda v: (v << 2) | (v >> 4)
                Y = np.stack([w5((word >> (12 + 5 * k)) & 31) for k in range(4)], 1)
                U = np.repeat(w6((word >> 6) & 63)[:, None], 4, 1); V = np.repeat(w6(word & 63)[:, None], 4, 1)
            else:
                Y = g[:, yi]; U = g[:, ui]; V = g[:, vi]
            rows.append((fl if conv == 'f' else it)(Y.reshape(-1), U.reshape(-1), V.reshape(-1)))
    else:
        sub, ys, cw, ch, cs = planar(fcc, w, H)
        Yp = d[:ys * H].reshape(H, ys); rest = d[ys * H:]
        if fcc == 'NV12':
            UV = rest[:cs * ch].reshape(ch, cs); Up = UV[:, 0:2 * cw:2]; Vp = UV[:, 1:2 * cw:2]; conv = it
        else:
            P1 = rest[:cw * ch].reshape(ch, cw); P2 = rest[cw * ch:2 * cw * ch].reshape(ch, cw); conv = fl
            Up, Vp = (P2, P1) if fcc in ('YV12', 'YVU9') else (P1, P2)
        for i in range(H):
            if i // sub >= ch:
                rows.append(np.zeros((0, 3), np.uint8)); continue
            n = cw * sub
            rows.append(conv(Yp[i, :n], np.repeat(Up[i // sub], sub)[:n], np.repeat(Vp[i // sub], sub)[:n]))
    for i, rgb in enumerate(rows):
        out[i if topdown else H - 1 - i, :len(rgb)] = rgb
    return out
)";

struct FrameCase {
  std::string fcc;
  int32_t w = 0, h = 0;
};

std::vector<FrameCase> ReadCases(const std::string& path) {
  std::vector<FrameCase> cases;
  std::ifstream f(path);
  FrameCase c;
  while (f >> c.fcc >> c.w >> c.h) cases.push_back(c);
  return cases;
}

TEST(YUVFrame, EveryLayoutMatchesTheFormulaOverTheSameSamples) {
  if (!HavePython({"numpy"})) GTEST_SKIP() << "python3-numpy is missing";
  TempFolder dir;
  ASSERT_FALSE(dir.Path().empty());
  // Random samples over the full byte range (clamping included); odd sizes
  // leave incomplete groups, negative heights flip the row order.
  ASSERT_TRUE(RunPython(dir, std::string(kOracle) + R"(
cases = [('I420', 9, 7), ('IYUV', 8, -4), ('YV12', 10, 5), ('YVU9', 13, 9), ('YVU9', 8, -4), ('YUY2', 7, 3),
         ('YUNV', 6, -2), ('UYVY', 5, 4), ('UYNV', 4, 2), ('cyuv', 6, 3), ('cyuv', 6, -3), ('YVYU', 7, 2),
         ('IYU1', 10, 3), ('IYU2', 5, 2), ('Y211', 9, 2), ('Y41P', 19, 3), ('Y41P', 16, -2), ('CLJR', 10, 2),
         ('CLJR', 8, -3), ('NV12', 11, 5), ('NV12', 6, -4), ('I420', 1, 1)]
rng = np.random.default_rng(17)
with open('cases.txt', 'w') as f:
    for k, (fcc, w, h) in enumerate(cases):
        data = rng.integers(0, 256, need(fcc, w, h), dtype=np.uint8).tobytes()
        open('%d.yuv' % k, 'wb').write(data)
        open('%d.rgb' % k, 'wb').write(expect(fcc, w, h, data).tobytes())
        f.write('%s %d %d\n' % (fcc, w, h))
)"));
  const std::vector<FrameCase> cases = ReadCases(dir / "cases.txt");
  ASSERT_FALSE(cases.empty());
  for (size_t k = 0; k < cases.size(); ++k) {
    const FrameCase& c = cases[k];
    SCOPED_TRACE(::testing::Message() << c.fcc << " " << c.w << "x" << c.h);
    const Bytes frame = ReadFile(dir / (std::to_string(k) + ".yuv"));
    int32_t r = 0;
    EXPECT_TRUE(DecodeFrame(c.fcc, c.w, c.h, frame, &r) == ReadFile(dir / (std::to_string(k) + ".rgb")));
    EXPECT_EQ(r, 16);
    // Without a data pointer the frame follows the header.
    Bytes whole = Header(c.w, c.h, 16, FourCC(c.fcc));
    Append(whole, frame);
    TVXBitmap b;
    EXPECT_EQ(VXCopyDIBToBitmap(whole.data(), int64_t(whole.size()), &b), 16);
    EXPECT_TRUE(RGBBytes(b) == ReadFile(dir / (std::to_string(k) + ".rgb")));
    // One byte short of the planes and rows: refused before anything is read.
    const Bytes cut(frame.begin(), frame.end() - 1);
    EXPECT_TRUE(DecodeFrame(c.fcc, c.w, c.h, cut, &r).empty());
    EXPECT_EQ(r, 0);
  }
}

TEST(YUVFrame, FfmpegFramesMatchTheFormulaAndFfmpegsRGB) {
  if (access("/usr/bin/ffmpeg", X_OK) != 0) GTEST_SKIP() << "ffmpeg (/usr/bin/ffmpeg) is missing";
  if (!HavePython({"numpy"})) GTEST_SKIP() << "python3-numpy is missing";
  TempFolder dir;
  ASSERT_FALSE(dir.Path().empty());
  // Colour bars in five pixel formats, each converted on to RGB by ffmpeg (one run).
  // Near a chroma edge ffmpeg interpolates chroma, so only pixels whose
  // chroma samples agree two samples around are held to ffmpeg's values.
  ASSERT_TRUE(RunPython(dir, std::string(kOracle) + R"(
import subprocess
W, H = 256, 192
def ff(*args): subprocess.run(['/usr/bin/ffmpeg', '-v', 'error', '-y'] + list(args), check=True, timeout=60)
fmts = ['yuyv422', 'uyvy422', 'yuv420p', 'nv12', 'yuv410p']
graph, outs = '[0]split=5' + ''.join('[i%s]' % f for f in fmts), []
for f in fmts:
    graph += ';[i{0}]format={0},split[{0}][c{0}];[c{0}]format=rgb24[r{0}]'.format(f)
    outs += ['-map', '[%s]' % f, '-frames:v', '1', '-f', 'rawvideo', '-pix_fmt', f, f + '.raw',
             '-map', '[r%s]' % f, '-frames:v', '1', '-f', 'rawvideo', '-pix_fmt', 'rgb24', f + '.rgb']
ff('-f', 'lavfi', '-i', 'smptebars=size=%dx%d' % (W, H), '-filter_complex', graph, *outs)
def flat(P):
    p = np.pad(P.astype(int), 2, mode='edge'); ok = np.ones(P.shape, bool)
    for dy in range(-2, 3):
        for dx in range(-2, 3): ok &= p[2 + dy:2 + dy + P.shape[0], 2 + dx:2 + dx + P.shape[1]] == P
    return ok
with open('cases.txt', 'w') as cf:
    for f, fcc in [('yuyv422', 'YUY2'), ('uyvy422', 'UYVY'), ('yuv420p', 'I420'), ('yuv420p', 'YV12'),
                   ('nv12', 'NV12'), ('yuv410p', 'YVU9')]:
        d = np.fromfile(f + '.raw', np.uint8)
        if f in ('yuyv422', 'uyvy422'):
            q = d.reshape(H, W // 2, 4); u, v = (1, 3) if f == 'yuyv422' else (0, 2)
            U, V, sy, sx = q[:, :, u], q[:, :, v], 1, 2
        elif f == 'nv12':
            UV = d[W * H:].reshape(H // 2, W); U, V, sy, sx = UV[:, 0::2], UV[:, 1::2], 2, 2
        else:
            s = 2 if f == 'yuv420p' else 4; n = (W // s) * (H // s)
            U = d[W * H:W * H + n].reshape(H // s, W // s); V = d[W * H + n:].reshape(H // s, W // s); sy = sx = s
            if fcc in ('YV12', 'YVU9'): d = np.concatenate([d[:W * H], d[W * H + n:], d[W * H:W * H + n]])
        mask = (flat(U) & flat(V)).repeat(sy, 0).repeat(sx, 1).astype(np.uint8)
        open(fcc + '.yuv', 'wb').write(d.tobytes())
        open(fcc + '.formula', 'wb').write(expect(fcc, W, H, d.tobytes()).tobytes())
        open(fcc + '.ffmpeg', 'wb').write(np.fromfile(f + '.rgb', np.uint8).tobytes())
        open(fcc + '.mask', 'wb').write(mask.tobytes())
        cf.write('%s %d %d\n' % (fcc, W, H))
)"));
  const std::vector<FrameCase> cases = ReadCases(dir / "cases.txt");
  ASSERT_EQ(cases.size(), 6u);
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.fcc);
    const Bytes got = DecodeFrame(c.fcc, c.w, c.h, ReadFile(dir / (c.fcc + ".yuv")));
    EXPECT_TRUE(got == ReadFile(dir / (c.fcc + ".formula")));
    const Bytes ff = ReadFile(dir / (c.fcc + ".ffmpeg")), mask = ReadFile(dir / (c.fcc + ".mask"));
    ASSERT_EQ(got.size(), ff.size());
    ASSERT_EQ(mask.size() * 3, ff.size());
    size_t held = 0, worst = 0;
    for (size_t p = 0; p < mask.size(); ++p) {
      if (!mask[p]) continue;
      ++held;
      for (size_t k = 0; k < 3; ++k) worst = std::max<size_t>(worst, size_t(std::abs(got[3 * p + k] - ff[3 * p + k])));
    }
    EXPECT_LE(worst, 3u);
    EXPECT_GT(held, mask.size() / 4);  // much of the bars is flat
  }
}

TEST(YUVFrame, VideoBlackAndWhite) {
  struct Case {
    const char* fcc;
    Bytes frame;  // 2 x 2 pixels
  };
  auto planar = [](uint8_t y) { return Bytes{y, y, y, y, 128, 128}; };
  for (uint8_t y : {uint8_t(16), uint8_t(235)}) {
    const uint8_t want = y == 16 ? 0 : 255;
    for (const Case& c : {Case{"YUY2", {y, 128, y, 128, y, 128, y, 128}}, Case{"UYVY", {128, y, 128, y, 128, y, 128, y}},
                          Case{"I420", planar(y)}, Case{"IYU2", {128, y, 128, 128, y, 128, 128, y, 128, 128, y, 128}}}) {
      SCOPED_TRACE(::testing::Message() << c.fcc << " Y=" << int(y));
      EXPECT_EQ(DecodeFrame(c.fcc, 2, 2, c.frame), Bytes(12, want));
    }
  }
  EXPECT_EQ(VXYUVToRGB(16, 128, 128), (TRGB{0, 0, 0}));
  EXPECT_EQ(VXYUVToRGBInt(235, 128, 128), (TRGB{255, 255, 255}));
  EXPECT_TRUE(VXIsYUVFourCC(FourCC("cyuv")));
  EXPECT_FALSE(VXIsYUVFourCC(FourCC("CYUV")));
}

}  // namespace
