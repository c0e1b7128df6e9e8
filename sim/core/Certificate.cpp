#include "sim/core/Certificate.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

namespace isim {

namespace {
template <class T, void (*F)(T*)>
struct Deleter {
  void operator()(T* p) const { F(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

bool isIpAddress(const std::string& text) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 || inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

bool isLoopback(const std::string& address) {
  return address == "localhost" || address.rfind("127.", 0) == 0 || address == "::1";
}

bool addExtension(X509* cert, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) return false;
  bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

std::string bioText(BIO* bio) {
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}
}  // namespace

bool makeSelfSigned(const std::string& address, CertificatePair& out, std::string& error) {
  return makeSelfSigned(std::vector<std::string>{address}, out, error);
}

bool makeSelfSigned(const std::vector<std::string>& addresses, CertificatePair& out, std::string& error) {
  const std::string address = addresses.empty() ? std::string() : addresses.front();
  KeyPtr key(EVP_EC_gen("P-256"));
  CertPtr cert(X509_new());
  if (!key || !cert) {
    error = "cannot create a key or certificate";
    return false;
  }
  unsigned char serial[16];
  if (RAND_bytes(serial, sizeof serial) != 1) {
    error = "no random bytes for the serial number";
    return false;
  }
  serial[0] &= 0x7F;  // positive
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  bool ok = bn && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get())) != nullptr;
  BN_free(bn);
  ok = ok && X509_set_version(cert.get(), 2) == 1;
  ok = ok && X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600) != nullptr;
  ok = ok && X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600) != nullptr;
  ok = ok && X509_set_pubkey(cert.get(), key.get()) == 1;
  X509_NAME* name = X509_get_subject_name(cert.get());
  std::string cn = address.empty() ? std::string("isilon-sim") : address.substr(0, 64);
  ok = ok && X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("isilon-sim"),
                                        -1, -1, 0) == 1;
  ok = ok && X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()),
                                        -1, -1, 0) == 1;
  ok = ok && X509_set_issuer_name(cert.get(), name) == 1;

  std::vector<std::string> names;
  auto add = [&names](const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  };
  bool loopback = false;
  for (const auto& a : addresses) {
    if (a.empty()) continue;
    add((isIpAddress(a) ? "IP:" : "DNS:") + a);
    loopback = loopback || isLoopback(a);
  }
  if (loopback) {
    add("DNS:localhost");
    add("IP:127.0.0.1");
  }
  if (names.empty()) names.push_back("DNS:localhost");
  std::string san;
  for (const auto& n : names) san += (san.empty() ? "" : ",") + n;
  // Self-signed and trusted directly as its own authority (libcurl CAINFO).
  ok = ok && addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
  ok = ok && addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
  ok = ok && addExtension(cert.get(), NID_ext_key_usage, "serverAuth");
  ok = ok && addExtension(cert.get(), NID_subject_key_identifier, "hash");
  ok = ok && addExtension(cert.get(), NID_subject_alt_name, san);
  ok = ok && X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
  if (!ok) {
    error = "cannot build the certificate for " + address;
    return false;
  }
  BioPtr certBio(BIO_new(BIO_s_mem())), keyBio(BIO_new(BIO_s_mem()));
  if (!certBio || !keyBio || PEM_write_bio_X509(certBio.get(), cert.get()) != 1 ||
      PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    error = "cannot write the certificate";
    return false;
  }
  out.certificatePem = bioText(certBio.get());
  out.privateKeyPem = bioText(keyBio.get());
  return true;
}

bool loadCertificatePair(const std::string& certFile, const std::string& keyFile, CertificatePair& out,
                         std::string& error) {
  CertificatePair pair;
  if (!readFile(certFile, pair.certificatePem)) {
    error = "cannot read certificate file " + certFile;
    return false;
  }
  if (!readFile(keyFile, pair.privateKeyPem)) {
    error = "cannot read key file " + keyFile;
    return false;
  }
  BioPtr cb(BIO_new_mem_buf(pair.certificatePem.data(), static_cast<int>(pair.certificatePem.size())));
  BioPtr kb(BIO_new_mem_buf(pair.privateKeyPem.data(), static_cast<int>(pair.privateKeyPem.size())));
  CertPtr cert(cb ? PEM_read_bio_X509(cb.get(), nullptr, nullptr, nullptr) : nullptr);
  KeyPtr key(kb ? PEM_read_bio_PrivateKey(kb.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!cert) {
    error = "no PEM certificate in " + certFile;
    return false;
  }
  if (!key) {
    error = "no PEM private key in " + keyFile;
    return false;
  }
  if (X509_check_private_key(cert.get(), key.get()) != 1) {
    error = "the key in " + keyFile + " does not belong to the certificate in " + certFile;
    return false;
  }
  out = std::move(pair);
  return true;
}

}  // namespace isim
