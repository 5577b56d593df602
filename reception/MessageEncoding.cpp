#include "reception/MessageEncoding.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstdint>
#include <memory>

#include "location/Exceptions.h"

namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

bool KeptAsIs(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '_';
}

CWin32Exception DigestFailure() {
  const unsigned long error = ERR_get_error();
  char text[256];
  ERR_error_string_n(error, text, sizeof text);
  return CWin32Exception(static_cast<uint32_t>(ERR_GET_REASON(error)), std::string("MD5: ") + text);
}

}  // namespace

std::string UrlEncode(std::string_view bytes) {
  std::string encoded;
  encoded.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ') {
      encoded.push_back('+');
    } else if (KeptAsIs(byte)) {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      encoded.push_back(kUpperHex[byte >> 4]);
      encoded.push_back(kUpperHex[byte & 0x0F]);
    }
  }
  return encoded;
}

std::string Md5Hex(std::string_view bytes) {
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        &EVP_MD_CTX_free);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &size) != 1) {
    throw DigestFailure();
  }
  std::string hex;
  hex.reserve(size * 2);
  for (unsigned int i = 0; i < size; ++i) {
    hex.push_back(kLowerHex[digest[i] >> 4]);
    hex.push_back(kLowerHex[digest[i] & 0x0F]);
  }
  return hex;
}
