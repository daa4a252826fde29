// Windows side of hash.h: CryptoAPI.
#include "src/link/os/hash.h"

// <windows.h> first: the headers after it build on its types.
#include "src/link/os/windows/win32.h"

#include <wincrypt.h>

#include <algorithm>

namespace vl5::os {

namespace {

class CryptoContext {
 public:
  CryptoContext() = default;
  CryptoContext(const CryptoContext&) = delete;
  CryptoContext& operator=(const CryptoContext&) = delete;
  ~CryptoContext() {
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  bool Acquire() { return CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) != 0; }
  HCRYPTPROV get() const { return provider_; }

 private:
  HCRYPTPROV provider_ = 0;
};

class CryptoHash {
 public:
  CryptoHash() = default;
  CryptoHash(const CryptoHash&) = delete;
  CryptoHash& operator=(const CryptoHash&) = delete;
  ~CryptoHash() {
    if (hash_ != 0) CryptDestroyHash(hash_);
  }
  bool Create(const CryptoContext& context) { return CryptCreateHash(context.get(), CALG_SHA_256, 0, 0, &hash_) != 0; }
  HCRYPTHASH get() const { return hash_; }

 private:
  HCRYPTHASH hash_ = 0;
};

}  // namespace

bool Sha256(const void* data, std::size_t size, std::uint8_t digest[32]) {
  CryptoContext context;
  CryptoHash hash;
  if (!context.Acquire() || !hash.Create(context)) return false;
  const auto* p = static_cast<const BYTE*>(data);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!CryptHashData(hash.get(), p, chunk, 0)) return false;
    p += chunk;
    size -= chunk;
  }
  DWORD length = 32;
  return CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0) && length == 32;
}

std::u16string Sha256FailureNote() { return u""; }

}  // namespace vl5::os
