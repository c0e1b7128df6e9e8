#pragma once
// The TLS identity the simulator serves.
#include <string>
#include <vector>

namespace isim {

struct CertificatePair {
  std::string certificatePem;
  std::string privateKeyPem;
};

// A fresh self-signed certificate (ECDSA P-256, valid from a day ago for a year) whose
// subjectAltName names `address`: IP:<address> for an IP address, DNS:<address> for a name,
// plus DNS:localhost and IP:127.0.0.1 for loopback addresses and "localhost".
bool makeSelfSigned(const std::string& address, CertificatePair& out, std::string& error);
// The same for several addresses (a cluster's nodes); the first one is the common name.
bool makeSelfSigned(const std::vector<std::string>& addresses, CertificatePair& out, std::string& error);

// Reads a PEM certificate and key; checks that both parse and belong together.
bool loadCertificatePair(const std::string& certFile, const std::string& keyFile, CertificatePair& out,
                         std::string& error);

}  // namespace isim
