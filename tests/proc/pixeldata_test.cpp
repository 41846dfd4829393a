// TVexlaneProc services on the raw pixel bytes: scrambling with the TEA-family
// cipher and data hidden in the low bits. Both formats are exchanged with
// images made elsewhere, so the results are held against references written
// from the formulas alone (numpy scripts).

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/encrypt.h"
#include "proc/proc.h"

namespace {

using procfixture::Noise;

// Random bytes in the alpha channel of b (created when missing).
void NoiseAlpha(TVXBitmap* b, uint32_t seed) {
  TVXBitmap* alpha = b->AlphaChannel();
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < alpha->Height(); ++y) {
    uint8_t* row = static_cast<uint8_t*>(alpha->ScanLine(y));
    for (int32_t x = 0; x < alpha->Width(); ++x) row[x] = uint8_t(rng());
  }
  alpha->SetFull(false);
}

std::string AlphaPixels(TVXBitmap* b) {
  return b->HasAlphaChannel() ? numpy_oracle::Pixels(b->AlphaChannelOpt()) : std::string();
}

std::vector<uint8_t> KeyBytes(const TVXTEAKey& k) {
  std::vector<uint8_t> out;
  for (uint32_t w : k)
    for (int s = 0; s < 32; s += 8) out.push_back(uint8_t(w >> s));
  return out;
}

uint8_t* Row(TVXBitmap* b, int32_t y) { return static_cast<uint8_t*>(b->ScanLine(y)); }

// ---------------------------------------------------------------------------
// Scrambling

TEST(ProcEncrypt, PasskeyHashesEachByteIntoFourWords) {
  EXPECT_EQ(VXPasskeyToKey(""), (TVXTEAKey{0, 0, 0, 0}));
  EXPECT_EQ(VXPasskeyToKey("abc"), (TVXTEAKey{0x84b615a2u, 0x12f05b62u, 0x4bf17862u, 0x3025f862u}));
  // Bytes above 127 count as unsigned.
  EXPECT_EQ(VXPasskeyToKey("\xff"), (TVXTEAKey{255, 255, 255, 255}));
}

TEST(ProcEncrypt, DecryptRestoresEveryByteOfImageAndAlpha) {
  struct Case {
    TVXPixelFormat fmt;
    int32_t w, h;
    bool alpha;
  };
  const Case cases[] = {{vx24RGB, 13, 7, true}, {vx8g, 10, 5, true}, {vx1g, 21, 6, false},
                        {vx48RGB, 9, 4, true},  {vx32f, 3, 3, false}, {vx24RGB, 1, 1, false}};
  for (TVXEncryptionAlgorithm algo : {vxeaTEA, vxeaTEA2})
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(int(c.fmt)) + " algorithm " + std::to_string(int(algo)));
      auto b = Noise(c.w, c.h, c.fmt, 3 + c.fmt);
      if (c.alpha) NoiseAlpha(b.get(), 9 + c.fmt);
      const std::string pixels = numpy_oracle::Pixels(b.get()), alpha = AlphaPixels(b.get());
      auto proc = TVexlaneProc::CreateFromBitmap(b.get());
      proc->Encrypt("pass word", algo);
      EXPECT_EQ(b->PixelFormat(), c.fmt);
      if (int64_t(c.w) * b->BitCount() >= 64) {
        EXPECT_NE(numpy_oracle::Pixels(b.get()), pixels);
      }
      if (c.alpha) {
        EXPECT_NE(AlphaPixels(b.get()), alpha);
      }
      proc->Decrypt("pass word", algo);
      EXPECT_EQ(numpy_oracle::Pixels(b.get()), pixels);
      EXPECT_EQ(AlphaPixels(b.get()), alpha);
    }
}

TEST(ProcEncrypt, FullBlocksAreEncipheredAndTheTailXored) {
  const TVXTEAKey key = VXPasskeyToKey("tail");
  const std::vector<uint8_t> kb = KeyBytes(key);
  // vx8g, 10 pixels: one block and two bytes xored with key bytes 0 and 1.
  auto grey = Noise(10, 3, vx8g, 5);
  TVXBitmap greyOriginal(grey.get());
  auto proc = TVexlaneProc::CreateFromBitmap(grey.get());
  proc->Encrypt("tail", vxeaTEA);
  for (int32_t y = 0; y < 3; ++y) {
    const uint8_t* before = Row(&greyOriginal, y);
    uint8_t* after = Row(grey.get(), y);
    EXPECT_EQ(after[8], before[8] ^ kb[0]);
    EXPECT_EQ(after[9], before[9] ^ kb[1]);
    TVXTEAData in, out;
    std::memcpy(in.data(), after, 8);  // little-endian words
    VXTEADecipher(in, out, key);
    EXPECT_EQ(std::memcmp(out.data(), before, 8), 0);
    EXPECT_NE(std::memcmp(after, before, 8), 0);
  }
  // vx1g, 12 pixels: rows of two bytes, only xored; twice restores.
  for (TVXEncryptionAlgorithm algo : {vxeaTEA, vxeaTEA2}) {
    auto bw = Noise(12, 4, vx1g, 6);
    const std::string original = numpy_oracle::Pixels(bw.get());
    auto p = TVexlaneProc::CreateFromBitmap(bw.get());
    p->Encrypt("tail", algo);
    for (int32_t y = 0; y < 4; ++y) {
      EXPECT_EQ(Row(bw.get(), y)[0], uint8_t(original[2 * y] ^ kb[0]));
      EXPECT_EQ(Row(bw.get(), y)[1], uint8_t(original[2 * y + 1] ^ kb[1]));
    }
    p->Encrypt("tail", algo);
    EXPECT_EQ(numpy_oracle::Pixels(bw.get()), original);
  }
}

TEST(ProcEncrypt, EqualBlocksStayEqualOnlyWithTheFixedKey) {
  for (TVXEncryptionAlgorithm algo : {vxeaTEA, vxeaTEA2}) {
    TVXBitmap b(16, 3, vx8g);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 16; ++x) Row(&b, y)[x] = uint8_t(x % 8 * 31);
    auto proc = TVexlaneProc::CreateFromBitmap(&b);
    proc->Encrypt("same", algo);
    int equal = 0;
    for (int32_t y = 0; y < 3; ++y)
      equal += (std::memcmp(Row(&b, y), Row(&b, 0), 8) == 0) + (std::memcmp(Row(&b, y) + 8, Row(&b, 0), 8) == 0);
    EXPECT_EQ(equal, algo == vxeaTEA ? 6 : 1) << "algorithm " << int(algo);
  }
}

TEST(ProcEncrypt, PassStringAndItsKeyScrambleAlike) {
  for (TVXEncryptionAlgorithm algo : {vxeaTEA, vxeaTEA2}) {
    auto a = Noise(11, 5, vx24RGB, 8);
    auto b = Noise(11, 5, vx24RGB, 8);
    auto pa = TVexlaneProc::CreateFromBitmap(a.get());
    auto pb = TVexlaneProc::CreateFromBitmap(b.get());
    pa->Encrypt("abc", algo);
    pb->Encrypt(KeyBytes(VXPasskeyToKey("abc")), algo);
    EXPECT_EQ(numpy_oracle::Pixels(a.get()), numpy_oracle::Pixels(b.get()));
    // Only the first 16 bytes of a longer key count.
    std::vector<uint8_t> longer = KeyBytes(VXPasskeyToKey("abc"));
    longer.insert(longer.end(), {1, 2, 3});
    pb->Decrypt(longer, algo);
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), numpy_oracle::Pixels(Noise(11, 5, vx24RGB, 8).get()));
  }
}

TEST(ProcEncrypt, ShortKeyRaisesAndChangesNothing) {
  auto b = Noise(9, 4, vx24RGB, 12);
  const std::string before = numpy_oracle::Pixels(b.get());
  TComponent owner;
  TVexlaneProc proc(&owner);  // AutoUndo on
  proc.SetAttachedVXBitmap(b.get());
  const std::vector<uint8_t> key(15, 7);
  EXPECT_THROW(proc.Encrypt(key, vxeaTEA), EVXException);
  EXPECT_THROW(proc.Decrypt(std::span<const uint8_t>(), vxeaTEA2), EVXException);
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
  EXPECT_EQ(proc.UndoCount(), 0);
  // A whole key saves the image under the operation's caption first.
  proc.Encrypt(std::vector<uint8_t>(16, 7), vxeaTEA);
  ASSERT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.GetUndoCaptions(0), "Encrypt");
  proc.Undo();
  EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
}

// The library's formulas again, in Python: the key hash, the cipher rounds, xorshift128
// and the row walk. a0 holds the pass string, a1 .. the images (rows without
// padding); ROWS lists (row bytes, rows) per image; ALGO is 0 or 1.
const char* kScrambleReference = R"PY(
M = 0xFFFFFFFF
p = load(0, np.uint8, (-1,)).tolist()
k = [0, 0, 0, 0]
for c in p:
    for i, s in enumerate((3, 4, 5, 6)):
        k[i] = (c + (k[i] << s) + (k[i] << (s + 10)) - k[i]) & M
kbytes = [(k[j // 4] >> (8 * (j % 4))) & 255 for j in range(16)]
def enc(y, z, q):
    s = 0
    for _ in range(32):
        s = (s + 0x9E3779B9) & M
        y = (y + (((((z << 4) + q[0]) ^ z) + s) ^ (z >> 5)) + q[1]) & M
        z = (z + (((((y << 4) + q[2]) ^ y) + s) ^ (y >> 5)) + q[3]) & M
    return y, z
out = bytearray()
for n, (rb, h) in enumerate(ROWS):
    data = bytearray(load(n + 1, np.uint8, (-1,)).tobytes())
    st = list(k)
    def nxt():
        t = (st[0] ^ (st[0] << 11)) & M
        st[0], st[1], st[2] = st[1], st[2], st[3]
        st[3] = (st[3] ^ (st[3] >> 19) ^ t ^ (t >> 8)) & M
        return st[3]
    for r in range(h):
        row = r * rb
        i = 0
        while i + 8 <= rb:
            q = [nxt() for _ in range(4)] if ALGO else k
            y = int.from_bytes(data[row + i:row + i + 4], 'little')
            z = int.from_bytes(data[row + i + 4:row + i + 8], 'little')
            y, z = enc(y, z, q)
            data[row + i:row + i + 8] = y.to_bytes(4, 'little') + z.to_bytes(4, 'little')
            i += 8
        j = 0
        while i < rb:
            data[row + i] ^= kbytes[j]
            i += 1
            j += 1
    out += data
save(np.frombuffer(bytes(out), np.uint8))
)PY";

TEST(ProcEncrypt, ScrambledBytesMatchAReferenceOfTheFormulas) {
  SKIP_WITHOUT_NUMPY();
  struct Case {
    TVXPixelFormat fmt;
    int32_t w, h;
  };
  const Case cases[] = {{vx24RGB, 17, 6}, {vx8g, 29, 5}, {vx1g, 75, 4}, {vx48RGB, 5, 3}};
  std::mt19937 rng(77);
  for (TVXEncryptionAlgorithm algo : {vxeaTEA, vxeaTEA2})
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(int(c.fmt)) + " algorithm " + std::to_string(int(algo)));
      auto b = Noise(c.w, c.h, c.fmt, rng());
      const bool withAlpha = c.fmt == vx24RGB;
      if (withAlpha) NoiseAlpha(b.get(), rng());
      std::string pass(1 + rng() % 20, ' ');
      for (char& ch : pass) ch = char(rng());
      const int64_t rowBytes = (int64_t(c.w) * b->BitCount() + 7) / 8;
      std::string rows = "ROWS = [(" + std::to_string(rowBytes) + ", " + std::to_string(c.h) + ")";
      std::vector<std::string> inputs{pass, numpy_oracle::Pixels(b.get())};
      if (withAlpha) {
        rows += ", (" + std::to_string(c.w) + ", " + std::to_string(c.h) + ")";
        inputs.push_back(AlphaPixels(b.get()));
      }
      const std::string want = numpy_oracle::Run(
          rows + "]\nALGO = " + std::to_string(int(algo)) + "\n" + kScrambleReference, inputs);
      auto proc = TVexlaneProc::CreateFromBitmap(b.get());
      proc->Encrypt(pass, algo);
      EXPECT_EQ(numpy_oracle::Pixels(b.get()) + AlphaPixels(b.get()), want);
    }
}

// ---------------------------------------------------------------------------
// Hidden data

TEST(ProcHiddenData, BytesAndTextsReadBack) {
  auto b = Noise(10, 6, vx24RGB, 21);
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(b.get());
  const uint8_t three[3] = {0x00, 0xA5, 0xFF};
  EXPECT_EQ(proc.WriteHiddenData(three, 3), 3);
  EXPECT_EQ(proc.GetUndoCaptions(0), "WriteHiddenData");
  uint8_t got[4] = {9, 9, 9, 9};
  EXPECT_EQ(proc.ReadHiddenData(got, 3), 3);
  EXPECT_EQ(std::vector<uint8_t>(got, got + 4), (std::vector<uint8_t>{0x00, 0xA5, 0xFF, 9}));
  // No buffer, or no room in it: the count only.
  uint8_t untouched[3] = {7, 7, 7};
  EXPECT_EQ(proc.ReadHiddenData(nullptr, 3), 3);
  EXPECT_EQ(proc.ReadHiddenData(untouched, 0), 3);
  EXPECT_EQ(proc.ReadHiddenData(untouched, -5), 3);
  EXPECT_EQ(untouched[0], 7);
  // A smaller buffer takes the first bytes.
  EXPECT_EQ(proc.ReadHiddenData(untouched, 2), 3);
  EXPECT_EQ(std::vector<uint8_t>(untouched, untouched + 3), (std::vector<uint8_t>{0x00, 0xA5, 7}));

  const std::string text("hidden\0text\xe9", 12);
  EXPECT_EQ(proc.WriteHiddenText(text), 12);
  EXPECT_EQ(proc.ReadHiddenText(), text);
  proc.ClearHiddenText();
  EXPECT_EQ(proc.ReadHiddenText(), "");
  EXPECT_EQ(proc.ReadHiddenData(nullptr, 0), 0);
}

TEST(ProcHiddenData, RoomFollowsTheImageSize) {
  struct Case {
    int32_t w, h, space;
  };
  const Case cases[] = {{2, 2, -7}, {3, 3, -5}, {4, 6, 1}, {8, 8, 16}, {1, 30, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    auto b = Noise(c.w, c.h, vx24RGB, 22);
    const std::string before = numpy_oracle::Pixels(b.get());
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    EXPECT_EQ(proc->GetHiddenDataSpace(), c.space);
    std::vector<uint8_t> data(40);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 37 + 1);
    const int32_t stored = proc->WriteHiddenData(data.data(), 40);
    EXPECT_EQ(stored, std::max(c.space, 0));
    if (c.space < 0) {
      EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);  // not even a header fits
      EXPECT_EQ(proc->WriteHiddenData(nullptr, -1), 0);
      EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
      continue;
    }
    std::vector<uint8_t> got(40, 0);
    EXPECT_EQ(proc->ReadHiddenData(got.data(), 40), stored);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + stored, got.begin()));
    EXPECT_EQ(proc->WriteHiddenData(data.data(), 0), 0);
    EXPECT_EQ(proc->ReadHiddenData(got.data(), 40), 0);
  }
}

TEST(ProcHiddenData, CarrierBytesMoveByAtMostOne) {
  // Every byte value, 0 and 255 many times, under random data.
  TVXBitmap b(64, 16, vx24RGB);
  std::mt19937 rng(23);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 192; ++x) Row(&b, y)[x] = y < 4 ? uint8_t(y * 192 + x) : (rng() & 1 ? 255 : 0);
  const std::string before = numpy_oracle::Pixels(&b);
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  std::vector<uint8_t> data(size_t(proc->GetHiddenDataSpace()));
  for (uint8_t& v : data) v = uint8_t(rng());
  ASSERT_EQ(proc->WriteHiddenData(data.data(), int32_t(data.size())), int32_t(data.size()));
  const std::string after = numpy_oracle::Pixels(&b);
  int toward254 = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    const int v = uint8_t(before[i]), w = uint8_t(after[i]);
    if (v == 255 && w == 254) {
      ++toward254;
    } else {
      EXPECT_TRUE(w == v || w == v + 1) << i << ": " << v << " -> " << w;
    }
  }
  EXPECT_GT(toward254, 100);
  std::vector<uint8_t> got(data.size());
  EXPECT_EQ(proc->ReadHiddenData(got.data(), int32_t(got.size())), int32_t(data.size()));
  EXPECT_EQ(got, data);
}

TEST(ProcHiddenData, InvalidHeadersAndRequestsReadAndWriteNothing) {
  auto fresh = [] {
    auto b = Noise(12, 10, vx24RGB, 24);
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    proc->WriteHiddenData(data, 5);
    return b;
  };
  // Carrier byte i of the header gets the bit value v.
  auto setBit = [](TVXBitmap* b, int32_t i, int v) {
    uint8_t& c = Row(b, i / 36)[i % 36];
    c = uint8_t((c & ~1) | v);
  };
  struct Case {
    const char* name;
    std::function<void(TVXBitmap*)> spoil;
  };
  const Case cases[] = {
      {"an odd carrier byte in the first four header bytes", [&](TVXBitmap* b) { setBit(b, 31, 1); }},
      {"a negative count", [&](TVXBitmap* b) { setBit(b, 63, 1); }},
      {"a count of W x H x 3",
       [&](TVXBitmap* b) {
         for (int32_t i = 0; i < 32; ++i) setBit(b, 32 + i, (360 >> i) & 1);
       }},
      {"count -1 written", [&](TVXBitmap* b) { TVexlaneProc::CreateFromBitmap(b)->WriteHiddenData(nullptr, -1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto b = fresh();
    c.spoil(b.get());
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    uint8_t got[5] = {};
    EXPECT_EQ(proc->ReadHiddenData(got, 5), 0);
    EXPECT_EQ(got[0], 0);
    EXPECT_EQ(proc->ReadHiddenText(), "");
  }
  // Count -1 touches the first seven header bytes only.
  {
    auto b = fresh();
    const std::string before = numpy_oracle::Pixels(b.get());
    EXPECT_EQ(TVexlaneProc::CreateFromBitmap(b.get())->WriteHiddenData(nullptr, -1), -1);
    const std::string after = numpy_oracle::Pixels(b.get());
    for (size_t i = 0; i < 56; ++i) EXPECT_EQ(after[i] & 1, 1) << i;
    EXPECT_EQ(after.substr(56), before.substr(56));
  }
  // Other negative counts and other formats change nothing.
  {
    auto b = fresh();
    const std::string before = numpy_oracle::Pixels(b.get());
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    const uint8_t data[2] = {1, 2};
    EXPECT_EQ(proc->WriteHiddenData(data, -2), 0);
    EXPECT_EQ(proc->WriteHiddenData(data, INT32_MIN), 0);
    EXPECT_EQ(numpy_oracle::Pixels(b.get()), before);
    EXPECT_EQ(proc->ReadHiddenData(nullptr, 0), 5);
  }
  {
    auto grey = Noise(30, 30, vx8g, 25);
    const std::string before = numpy_oracle::Pixels(grey.get());
    auto proc = TVexlaneProc::CreateFromBitmap(grey.get());
    proc->SetAutoConvertFormat(false);
    const uint8_t data[2] = {1, 2};
    EXPECT_EQ(proc->GetHiddenDataSpace(), 0);
    EXPECT_EQ(proc->WriteHiddenData(data, 2), 0);
    EXPECT_EQ(proc->ReadHiddenData(nullptr, 0), 0);
    EXPECT_EQ(numpy_oracle::Pixels(grey.get()), before);
  }
}

// Hiding by the library's rule, again in Python: the header records COUNT, the bits go
// into the carrier bytes until the stream or the image ends. a0 holds the
// pixels, a1 the data.
const char* kHideReference = R"PY(
px = bytearray(load(0, np.uint8, (-1,)).tobytes())
data = load(1, np.uint8, (-1,)).tobytes()
stream = bytes(4) + COUNT.to_bytes(4, 'little', signed=True) + data[:COUNT]
i = 0
for byte in stream:
    for bit in range(8):
        if i == len(px):
            break
        b = (byte >> bit) & 1
        if px[i] & 1 != b:
            px[i] = 254 if px[i] == 255 else px[i] + 1
        i += 1
save(np.frombuffer(bytes(px), np.uint8))
)PY";

TEST(ProcHiddenData, HiddenBitsMatchAReferenceOfTheRule) {
  SKIP_WITHOUT_NUMPY();
  std::mt19937 rng(26);
  struct Case {
    int32_t w, h, count;
  };
  // The last case overflows: the reference then records the full count while
  // only what fits is stored; reading gives back exactly that.
  const Case cases[] = {{7, 5, 0}, {13, 9, 31}, {16, 16, 88}, {5, 7, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + ", " + std::to_string(c.count));
    auto b = Noise(c.w, c.h, vx24RGB, rng());
    std::string data(size_t(c.count), '\0');
    for (char& ch : data) ch = char(rng());
    const int32_t space = int32_t(int64_t(c.w) * c.h * 3 / 8 - 8);
    const std::string want = numpy_oracle::Run("COUNT = " + std::to_string(c.count) + "\n" + kHideReference,
                                               {numpy_oracle::Pixels(b.get()), data});
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    if (c.count <= space) {
      EXPECT_EQ(proc->WriteHiddenText(data), c.count);
      EXPECT_EQ(numpy_oracle::Pixels(b.get()), want);
    } else {
      numpy_oracle::SetPixels(b.get(), want);
    }
    EXPECT_EQ(proc->ReadHiddenText(), data.substr(0, size_t(std::min(c.count, space))));
  }
}

}  // namespace
