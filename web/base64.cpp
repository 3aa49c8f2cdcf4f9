#include "web/base64.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstddef>

namespace qv {
namespace {

// Input taken per EVP_EncodeBlock call: a multiple of 3, so only the last
// chunk can be padded, and small enough for the int length it takes.
constexpr std::size_t kChunk = 3 * 4096;

}  // namespace

Text Base64Encode(ByteView bytes) {
  Text out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  unsigned char buf[kChunk / 3 * 4 + 1];  // +1 for the zero EVP_EncodeBlock adds
  for (std::size_t pos = 0; pos < bytes.size(); pos += kChunk) {
    const std::size_t n = std::min(kChunk, bytes.size() - pos);
    const int written = EVP_EncodeBlock(buf, bytes.data() + pos, static_cast<int>(n));
    out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(written));
  }
  return out;
}

}  // namespace qv
