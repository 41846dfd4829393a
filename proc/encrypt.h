#pragma once
// Reversible scrambling of pixel data with a 64-bit block cipher of the TEA
// family, keyed from a pass string or a 128-bit key.
//
// This scrambles an image so that it can be stored in a lossless format and
// restored later with the same key; it is not protection. The block mixing is
// not classic TEA, the tail of every row is only xored with key bytes, and
// vxeaTEA enciphers equal blocks alike. Images scrambled elsewhere depend on
// every detail below, so none of it may change.
//
// Rows are processed top first, each (width x bits per pixel + 7) div 8 bytes
// long (padding bits of the last byte included): full 8-byte blocks, read as
// two little-endian 32-bit words, are enciphered in place; a final block of
// n < 8 bytes has byte j xored with byte j of the 16-byte key.

#include <array>
#include <cstdint>
#include <string>

#include "core/vxdefs.h"

class TVXBitmap;

enum TVXEncryptionAlgorithm {
  vxeaTEA,   // every block enciphered with the key itself
  vxeaTEA2,  // every block with its own key drawn from xorshift128 seeded by the key
};

// k0 .. k3; as 16 bytes, k0 first and each word little-endian.
using TVXTEAKey = std::array<uint32_t, 4>;
// One block: the words y and z.
using TVXTEAData = std::array<uint32_t, 2>;

// k0 = k1 = k2 = k3 = 0, then for every byte c of Passkey (modulo 2^32):
// k0 = k0 x 8199 + c, k1 = k1 x 16399 + c, k2 = k2 x 32799 + c,
// k3 = k3 x 65599 + c. The empty pass string gives the all-zero key.
TVXTEAKey VXPasskeyToKey(const std::string& Passkey);
// The first 16 bytes of Bytes as a key (Bytes must hold 16).
TVXTEAKey VXBytesToTEAKey(const uint8_t* Bytes);

// 32 rounds with delta 9E3779B9; VXTEADecipher inverts VXTEAEncipher.
void VXTEAEncipher(const TVXTEAData& v, TVXTEAData& w, const TVXTEAKey& k);
void VXTEADecipher(const TVXTEAData& v, TVXTEAData& w, const TVXTEAKey& k);

// Scramble or restore every row of Bitmap in place (not its alpha channel);
// progress Trunc(row / height x 100) after each row.
void VXDoEncryptTEA(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress);
void VXDoDecryptTEA(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress);
// The same with a key per block: four NextDWORD values of a TVXRandomGenerator
// seeded with k0 .. k3, drawn for each full block in row order.
void VXDoEncryptTEA2(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress);
void VXDoDecryptTEA2(TVXBitmap* Bitmap, const TVXTEAKey& Key, void* Sender, const TVXProgressEvent& OnProgress);
