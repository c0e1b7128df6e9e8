#include "host/Password.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "host/PlatformInfo.h"

// Enciphered text: base64( version 1 | 12-byte nonce | cipher text | 16-byte GCM tag ).
// Key file: the 32-byte key as 64 hexadecimal characters on one line.
namespace {

const unsigned char kVersion = 1;
const size_t kKeySize = 32;
const size_t kNonceSize = 12;
const size_t kTagSize = 16;

struct Key {
  unsigned char bytes[kKeySize];
  ~Key() { OPENSSL_cleanse(bytes, sizeof bytes); }
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool LoadKey(const std::string& path, Key& key) {
  std::ifstream in(path);
  std::string line;
  if (path.empty() || !in || !std::getline(in, line)) return false;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  bool ok = line.size() == 2 * kKeySize;
  for (size_t i = 0; ok && i < kKeySize; ++i) {
    const int hi = HexValue(line[2 * i]), lo = HexValue(line[2 * i + 1]);
    ok = hi >= 0 && lo >= 0;
    if (ok) key.bytes[i] = static_cast<unsigned char>(hi << 4 | lo);
  }
  OPENSSL_cleanse(&line[0], line.size());
  return ok;
}

std::string ConfiguredKeyFile() {
  std::string path;
  QuorPlatformInfo::getString("NAS", "sIsilonKeyFile", &path);
  return path;
}

std::string Base64(const std::vector<unsigned char>& data) {
  std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[0]), data.data(), static_cast<int>(data.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

bool Unbase64(const char* text, std::vector<unsigned char>& out) {
  const size_t length = std::strlen(text);
  if (length == 0 || length % 4 != 0 || length > 8192) return false;
  out.assign(3 * length / 4, 0);
  const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text), static_cast<int>(length));
  if (n < 0) return false;
  size_t size = static_cast<size_t>(n);
  // EVP_DecodeBlock counts the padding as data.
  if (text[length - 1] == '=') --size;
  if (text[length - 2] == '=') --size;
  out.resize(size);
  return true;
}

std::string Encrypt(const Key& key, const std::string& clear) {
  if (clear.size() >= QuorPassword::kBufferSize) return std::string();
  std::vector<unsigned char> out(1 + kNonceSize + clear.size() + kTagSize);
  out[0] = kVersion;
  unsigned char* nonce = &out[1];
  if (RAND_bytes(nonce, kNonceSize) != 1) return std::string();
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  bool ok = ctx != nullptr && EVP_EncryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, key.bytes, nonce) == 1 &&
            EVP_EncryptUpdate(ctx, &out[1 + kNonceSize], &n, reinterpret_cast<const unsigned char*>(clear.data()),
                              static_cast<int>(clear.size())) == 1 &&
            EVP_EncryptFinal_ex(ctx, &out[1 + kNonceSize + n], &n) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, kTagSize, &out[1 + kNonceSize + clear.size()]) == 1;
  EVP_CIPHER_CTX_free(ctx);
  return ok ? Base64(out) : std::string();
}

int Decrypt(const Key& key, const char* text, char* buffer, int* length) {
  if (text == nullptr || buffer == nullptr || length == nullptr || *length <= 0) return 0;
  const size_t capacity = static_cast<size_t>(*length);
  std::vector<unsigned char> data;
  if (!Unbase64(text, data) || data.size() < 1 + kNonceSize + kTagSize || data[0] != kVersion) return 0;
  const size_t clearSize = data.size() - 1 - kNonceSize - kTagSize;
  if (clearSize + 1 > capacity) return 0;

  // The clear text goes to a scratch buffer first, so the caller's buffer never holds a
  // clear text whose tag did not verify.
  std::vector<unsigned char> clear(clearSize + 1, 0);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0, tail = 0;
  bool ok = ctx != nullptr && EVP_DecryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, key.bytes, &data[1]) == 1 &&
            EVP_DecryptUpdate(ctx, clear.data(), &n, &data[1 + kNonceSize], static_cast<int>(clearSize)) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, kTagSize, &data[1 + kNonceSize + clearSize]) == 1 &&
            EVP_DecryptFinal_ex(ctx, clear.data() + n, &tail) == 1;
  EVP_CIPHER_CTX_free(ctx);
  // A clear text with a zero byte inside could not be handed back whole.
  ok = ok && std::memchr(clear.data(), 0, clearSize) == nullptr;
  if (ok) {
    std::memcpy(buffer, clear.data(), clearSize);
    buffer[clearSize] = '\0';
    *length = static_cast<int>(clearSize);
  }
  OPENSSL_cleanse(clear.data(), clear.size());
  return ok ? 1 : 0;
}

}  // namespace

int QuorPassword::decrypt(const char* cipherText, char* buffer, int* length) {
  return decryptWithKeyFile(ConfiguredKeyFile(), cipherText, buffer, length);
}

std::string QuorPassword::encrypt(const std::string& clearText) {
  return encryptWithKeyFile(ConfiguredKeyFile(), clearText);
}

int QuorPassword::decryptWithKeyFile(const std::string& keyFile, const char* cipherText, char* buffer, int* length) {
  Key key;
  if (!LoadKey(keyFile, key)) return 0;
  return Decrypt(key, cipherText, buffer, length);
}

std::string QuorPassword::encryptWithKeyFile(const std::string& keyFile, const std::string& clearText) {
  Key key;
  if (!LoadKey(keyFile, key)) return std::string();
  return Encrypt(key, clearText);
}

bool QuorPassword::createKeyFile(const std::string& path) {
  if (path.empty()) return false;
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) return true;  // an existing key is never replaced
  Key key;
  if (RAND_bytes(key.bytes, kKeySize) != 1) return false;
  char hex[2 * kKeySize + 2];
  for (size_t i = 0; i < kKeySize; ++i) std::snprintf(hex + 2 * i, 3, "%02x", key.bytes[i]);
  hex[2 * kKeySize] = '\n';
  hex[2 * kKeySize + 1] = '\0';
  // Written under a temporary name with mode 0600, then renamed: never a half-written key.
  const std::string temp = path + ".tmp" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  bool ok = fd >= 0;
  if (ok) {
    ok = ::write(fd, hex, 2 * kKeySize + 1) == static_cast<ssize_t>(2 * kKeySize + 1) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
  }
  OPENSSL_cleanse(hex, sizeof hex);
  return ok;
}
