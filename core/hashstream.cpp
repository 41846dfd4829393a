// The hash stream over the nettle digests (kept apart so that programs that
// never hash do not need the digest library).
#include <string>
#include <vector>

#include <nettle/nettle-meta.h>

#include "core/streams.h"

struct TVXHashStream::THashState {
  const nettle_hash* Algo = nullptr;
  std::vector<uint8_t> Ctx;
  void Init() {
    Ctx.assign(Algo->context_size, 0);
    Algo->init(Ctx.data());
  }
};

namespace {
const nettle_hash* HashAlgorithm(uint32_t AlgId) {
  switch (AlgId) {
    case CALG_MD2:
      return &nettle_md2;
    case CALG_MD4:
      return &nettle_md4;
    case CALG_MD5:
      return &nettle_md5;
    case CALG_SHA1:
      return &nettle_sha1;
    case CALG_SHA_256:
      return &nettle_sha256;
    case CALG_SHA_384:
      return &nettle_sha384;
    case CALG_SHA_512:
      return &nettle_sha512;
    default:
      return nullptr;
  }
}
}  // namespace

TVXHashStream::TVXHashStream(uint32_t AlgId, bool Buffered) {
  if (Buffered) m_MemStream = std::make_unique<TMemoryStream>();
  const nettle_hash* algo = HashAlgorithm(AlgId);
  if (!algo) throw EVXException("Unable to create Crypto Hash");
  m_CryptHash = std::make_unique<THashState>();
  m_CryptHash->Algo = algo;
  m_CryptHash->Init();
}

TVXHashStream::~TVXHashStream() = default;

int64_t TVXHashStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  if (m_MemStream) return m_MemStream->Write(Buffer, Count);
  m_CryptHash->Algo->update(m_CryptHash->Ctx.data(), size_t(Count), static_cast<const uint8_t*>(Buffer));
  return Count;
}

int64_t TVXHashStream::Read(void* Buffer, int64_t Count) {
  if (!m_MemStream) throw EVXException("Read error. Hash stream not Buffered, please create Buffered stream.");
  return m_MemStream->Read(Buffer, Count);
}

int64_t TVXHashStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (!m_MemStream) throw EVXException("Seek error. Hash stream not Buffered, please create Buffered stream.");
  return m_MemStream->Seek(Offset, Origin);
}

std::string TVXHashStream::GetHash() {
  const nettle_hash* algo = m_CryptHash->Algo;
  // The digest is taken from a copy, so more data may follow and the
  // digest may be asked for again.
  std::vector<uint8_t> ctx;
  if (m_MemStream) {
    ctx.assign(algo->context_size, 0);
    algo->init(ctx.data());
    if (m_MemStream->Size() > 0)
      algo->update(ctx.data(), size_t(m_MemStream->Size()), static_cast<const uint8_t*>(m_MemStream->Memory()));
  } else {
    ctx = m_CryptHash->Ctx;
  }
  std::vector<uint8_t> digest(algo->digest_size);
  algo->digest(ctx.data(), digest.size(), digest.data());
  static const char kHex[] = "0123456789abcdef";
  std::string s;
  s.reserve(digest.size() * 2);
  for (uint8_t b : digest) {
    s.push_back(kHex[b >> 4]);
    s.push_back(kHex[b & 15]);
  }
  return s;
}

void TVXHashStream::SaveToStream(TStream* Stream) {
  if (!m_MemStream)
    throw EVXException("SaveToStream error. Hash stream not Buffered, please create Buffered stream.");
  m_MemStream->SaveToStream(Stream);
}

void TVXHashStream::LoadFromStream(TStream* Stream) {
  if (!m_MemStream)
    throw EVXException("LoadFromStream error. Hash stream not Buffered, please create Buffered stream.");
  m_MemStream->LoadFromStream(Stream);
}

void TVXHashStream::SaveToFile(const std::string& FileName) {
  TVXWideFileStream f(FileName, fmCreate);
  SaveToStream(&f);
}

void TVXHashStream::LoadFromFile(const std::string& FileName) {
  TVXWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

