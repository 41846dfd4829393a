// Scrambling of pixel data with the TEA-family block cipher, and the
// component's Encrypt and Decrypt.

#include "proc/encrypt.h"

#include <span>

#include "core/bitmap.h"
#include "core/dictionary.h"
#include "proc/proc.h"

namespace {

constexpr uint32_t kDelta = 0x9E3779B9u;
constexpr uint32_t kDecipherSum = 0xC6EF3720u;  // 32 x kDelta, modulo 2^32

uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void StoreLE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

uint8_t KeyByte(const TVXTEAKey& Key, int32_t j) { return uint8_t(Key[size_t(j) / 4] >> (8 * (j % 4))); }

// Runs Block(8 bytes) on every full block of every row and xors the short
// tail with the key bytes.
template <typename BlockFn>
void ScrambleRows(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress,
                  BlockFn Block) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const int32_t height = Bitmap->Height();
  const int64_t rowBytes = (int64_t(Bitmap->Width()) * Bitmap->BitCount() + 7) / 8;
  for (int32_t row = 0; row < height; ++row) {
    uint8_t* p = static_cast<uint8_t*>(Bitmap->Scanline(row));
    if (p) {
      int64_t i = 0;
      for (; i + 8 <= rowBytes; i += 8) Block(p + i);
      for (int32_t j = 0; i < rowBytes; ++i, ++j) p[i] ^= KeyByte(Key, j);
    }
    if (OnProgress) OnProgress(Sender, int32_t(static_cast<long double>(row) / height * 100));
  }
}

template <bool Encipher>
void CipherBlock(uint8_t* p, const TVXTEAKey& Key) {
  const TVXTEAData in{LoadLE32(p), LoadLE32(p + 4)};
  TVXTEAData out;
  if constexpr (Encipher)
    VXTEAEncipher(in, out, Key);
  else
    VXTEADecipher(in, out, Key);
  StoreLE32(p, out[0]);
  StoreLE32(p + 4, out[1]);
}

template <bool Encipher>
void DoTEA(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress) {
  ScrambleRows(Bitmap, Key, Sender, OnProgress, [&](uint8_t* p) { CipherBlock<Encipher>(p, Key); });
}

template <bool Encipher>
void DoTEA2(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress) {
  TVXRandomGenerator random(Key[0], Key[1], Key[2], Key[3]);
  ScrambleRows(Bitmap, Key, Sender, OnProgress, [&](uint8_t* p) {
    TVXTEAKey blockKey;
    for (uint32_t& k : blockKey) k = random.NextDWORD();
    CipherBlock<Encipher>(p, blockKey);
  });
}

}  // namespace

TVXTEAKey VXPasskeyToKey(const std::string& Passkey) {
  TVXTEAKey k{0, 0, 0, 0};
  for (char ch : Passkey) {
    const uint32_t c = uint8_t(ch);
    k[0] = c + (k[0] << 3) + (k[0] << 13) - k[0];
    k[1] = c + (k[1] << 4) + (k[1] << 14) - k[1];
    k[2] = c + (k[2] << 5) + (k[2] << 15) - k[2];
    k[3] = c + (k[3] << 6) + (k[3] << 16) - k[3];
  }
  return k;
}

TVXTEAKey VXBytesToTEAKey(const uint8_t* Bytes) {
  return TVXTEAKey{LoadLE32(Bytes), LoadLE32(Bytes + 4), LoadLE32(Bytes + 8), LoadLE32(Bytes + 12)};
}

void VXTEAEncipher(const TVXTEAData& v, TVXTEAData& w, const TVXTEAKey& k) {
  uint32_t y = v[0], z = v[1], sum = 0;
  for (int n = 0; n < 32; ++n) {
    sum += kDelta;
    y += ((((z << 4) + k[0]) ^ z) + sum) ^ (z >> 5);
    y += k[1];
    z += ((((y << 4) + k[2]) ^ y) + sum) ^ (y >> 5);
    z += k[3];
  }
  w = {y, z};
}

void VXTEADecipher(const TVXTEAData& v, TVXTEAData& w, const TVXTEAKey& k) {
  uint32_t y = v[0], z = v[1], sum = kDecipherSum;
  for (int n = 0; n < 32; ++n) {
    z -= (((((y << 4) + k[2]) ^ y) + sum) ^ (y >> 5)) + k[3];
    y -= (((((z << 4) + k[0]) ^ z) + sum) ^ (z >> 5)) + k[1];
    sum -= kDelta;
  }
  w = {y, z};
}

void VXDoEncryptTEA(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress) {
  DoTEA<true>(Bitmap, Key, Sender, OnProgress);
}

void VXDoDecryptTEA(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress) {
  DoTEA<false>(Bitmap, Key, Sender, OnProgress);
}

void VXDoEncryptTEA2(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress) {
  DoTEA2<true>(Bitmap, Key, Sender, OnProgress);
}

void VXDoDecryptTEA2(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress) {
  DoTEA2<false>(Bitmap, Key, Sender, OnProgress);
}

// ---------------------------------------------------------------------------
// The component

void TVexlaneProc::Encrypt(const std::string& Passkey, TVXEncryptionAlgorithm Algorithm) {
  const TVXTEAKey key = VXPasskeyToKey(Passkey);
  uint8_t bytes[16];
  for (int32_t j = 0; j < 16; ++j) bytes[j] = KeyByte(key, j);
  Encrypt(std::span<const uint8_t>(bytes), Algorithm);
}

void TVexlaneProc::Decrypt(const std::string& Passkey, TVXEncryptionAlgorithm Algorithm) {
  const TVXTEAKey key = VXPasskeyToKey(Passkey);
  uint8_t bytes[16];
  for (int32_t j = 0; j < 16; ++j) bytes[j] = KeyByte(key, j);
  Decrypt(std::span<const uint8_t>(bytes), Algorithm);
}

void TVexlaneProc::Encrypt(std::span<const uint8_t> Key, TVXEncryptionAlgorithm Algorithm) {
  ScramblePixels(Key, Algorithm, true);
}

void TVexlaneProc::Decrypt(std::span<const uint8_t> Key, TVXEncryptionAlgorithm Algorithm) {
  ScramblePixels(Key, Algorithm, false);
}

void TVexlaneProc::ScramblePixels(std::span<const uint8_t> Key, TVXEncryptionAlgorithm Algorithm, bool Encipher) {
  // Checked before anything happens: a short key would leave the image
  // half scrambled with bytes from beyond the caller's array.
  if (Key.size() < 16) throw EVXException("The encryption key must be 16 bytes long");
  if (!BeginWholeImage(TVXPixelFormatSet(), Encipher ? "Encrypt" : "Decrypt")) return;
  const TVXTEAKey key = VXBytesToTEAKey(Key.data());
  auto run = [&](TVXBitmap* Bitmap) {
    if (Algorithm == vxeaTEA2) {
      if (Encipher)
        VXDoEncryptTEA2(Bitmap, key, this, OnProgress);
      else
        VXDoDecryptTEA2(Bitmap, key, this, OnProgress);
    } else {
      if (Encipher)
        VXDoEncryptTEA(Bitmap, key, this, OnProgress);
      else
        VXDoDecryptTEA(Bitmap, key, this, OnProgress);
    }
  };
  run(fVXBitmap);
  if (TVXBitmap* alpha = fVXBitmap->AlphaChannelOpt()) {
    run(alpha);
    alpha->SetFull(false);
  }
  EndWholeImage();
}
