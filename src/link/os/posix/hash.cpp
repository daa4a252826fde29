// POSIX side of hash.h: the system's libcrypto.
#include "src/link/os/hash.h"

#include <dlfcn.h>

namespace vl5::os {

namespace {

// libcrypto is loaded at first use rather than linked, so building needs no
// OpenSSL headers; every Linux ships the library itself.
struct Crypto {
  using Md = const void* (*)();
  using Digest = int (*)(const void*, std::size_t, unsigned char*, unsigned int*, const void*, void*);
  Md sha256 = nullptr;
  Digest digest = nullptr;

  Crypto() {
    for (const char* name : {"libcrypto.so.3", "libcrypto.so.1.1", "libcrypto.so"}) {
      if (void* lib = dlopen(name, RTLD_NOW | RTLD_LOCAL)) {
        sha256 = reinterpret_cast<Md>(dlsym(lib, "EVP_sha256"));
        digest = reinterpret_cast<Digest>(dlsym(lib, "EVP_Digest"));
        if (sha256 != nullptr && digest != nullptr) return;
        dlclose(lib);
      }
    }
    sha256 = nullptr;
    digest = nullptr;
  }
};

const Crypto& LoadedCrypto() {
  static const Crypto crypto;
  return crypto;
}

}  // namespace

bool Sha256(const void* data, std::size_t size, std::uint8_t digest[32]) {
  const Crypto& crypto = LoadedCrypto();
  if (crypto.digest == nullptr) return false;
  unsigned int length = 0;
  return crypto.digest(data, size, digest, &length, crypto.sha256(), nullptr) == 1 && length == 32;
}

std::u16string Sha256FailureNote() {
  return LoadedCrypto().digest == nullptr ? u" (no libcrypto: install OpenSSL's libssl3 or libssl1.1)" : u"";
}

}  // namespace vl5::os
