#include "tests/support/linux/tls_certificate.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kestrin::testsupport {
namespace {

bool AddExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) return false;
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

bool WritePem(const std::string& path, X509* certificate, EVP_PKEY* key) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const bool written = certificate != nullptr ? PEM_write_X509(file, certificate) == 1
                                              : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  return std::fclose(file) == 0 && written;
}

}  // namespace

TestCertificate::TestCertificate() { Generate(); }

void TestCertificate::Generate() {
  key_ = EVP_EC_gen("P-256");
  certificate_ = X509_new();
  ASSERT_NE(key_, nullptr);
  ASSERT_NE(certificate_, nullptr);

  X509_set_version(certificate_, X509_VERSION_3);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate_), static_cast<long>(getpid()) + 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate_), -24L * 3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate_), 30L * 24 * 3600);
  X509_set_pubkey(certificate_, key_);
  X509_NAME* name = X509_get_subject_name(certificate_);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Kestrin test server"),
                             -1, -1, 0);
  X509_set_issuer_name(certificate_, name);
  // Its own trust anchor: a CA certificate whose names cover the loopback server.
  ASSERT_TRUE(AddExtension(certificate_, NID_basic_constraints, "critical,CA:TRUE"));
  ASSERT_TRUE(AddExtension(certificate_, NID_key_usage, "critical,digitalSignature,keyCertSign"));
  ASSERT_TRUE(AddExtension(certificate_, NID_ext_key_usage, "serverAuth"));
  ASSERT_TRUE(AddExtension(certificate_, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"));
  ASSERT_GT(X509_sign(certificate_, key_, EVP_sha256()), 0);

  std::string folder = "/tmp/kestrin-tls-XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  folder_ = folder;
  certificateFile_ = folder_ + "/certificate.pem";
  keyFile_ = folder_ + "/key.pem";
  ASSERT_TRUE(WritePem(certificateFile_, certificate_, nullptr));
  ASSERT_TRUE(WritePem(keyFile_, nullptr, key_));
}

TestCertificate::~TestCertificate() {
  if (!certificateFile_.empty()) std::remove(certificateFile_.c_str());
  if (!keyFile_.empty()) std::remove(keyFile_.c_str());
  if (!folder_.empty()) rmdir(folder_.c_str());
  X509_free(certificate_);
  EVP_PKEY_free(key_);
}

}  // namespace kestrin::testsupport
