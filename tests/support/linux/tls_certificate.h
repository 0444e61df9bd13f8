// A self-signed certificate for 127.0.0.1 and localhost, made at set-up for the TLS test servers.
// Its PEM file is what a test trusts (SetExtraCaFileForTesting); nothing outside the test uses it.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

namespace kestrin::testsupport {

class TestCertificate {
 public:
  // Makes a P-256 key and a certificate valid from yesterday for 30 days, and writes both as
  // PEM into a fresh folder under /tmp. Fails the calling test when OpenSSL refuses.
  TestCertificate();
  // Removes the files and the folder.
  ~TestCertificate();
  TestCertificate(const TestCertificate&) = delete;
  TestCertificate& operator=(const TestCertificate&) = delete;

  [[nodiscard]] const std::string& CertificateFile() const { return certificateFile_; }
  [[nodiscard]] const std::string& KeyFile() const { return keyFile_; }
  [[nodiscard]] X509* Certificate() const { return certificate_; }
  [[nodiscard]] EVP_PKEY* Key() const { return key_; }

 private:
  void Generate();

  EVP_PKEY* key_ = nullptr;
  X509* certificate_ = nullptr;
  std::string folder_;
  std::string certificateFile_;
  std::string keyFile_;
};

}  // namespace kestrin::testsupport
