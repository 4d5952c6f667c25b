#include "net/LocalCertificate.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace qb {

namespace {

constexpr long kValidSeconds = 10L * 366 * 24 * 3600;
const char* const kNames = "DNS:localhost,IP:127.0.0.1,IP:::1";

struct FileClose {
  void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileClose>;
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using UniqueKey = std::unique_ptr<EVP_PKEY, KeyFree>;
using UniqueCertificate = std::unique_ptr<X509, CertificateFree>;

bool Exists(const std::string& file) {
  struct stat info {};
  return stat(file.c_str(), &info) == 0;
}

// Created for its owner only, whatever the umask; an older file is replaced.
UniqueFile OpenPrivate(const std::string& file, mode_t mode) {
  unlink(file.c_str());
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return nullptr;
  fchmod(fd, mode);
  FILE* stream = fdopen(fd, "w");
  if (stream == nullptr) close(fd);
  return UniqueFile(stream);
}

bool AddExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) return false;
  bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

UniqueCertificate MakeCertificate(EVP_PKEY* key) {
  UniqueCertificate certificate(X509_new());
  unsigned char serial[16];
  if (!certificate || RAND_bytes(serial, sizeof serial) != 1) return nullptr;
  serial[0] &= 0x7f;  // a positive serial number
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate.get()));
  BN_free(number);
  X509_set_version(certificate.get(), 2);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), kValidSeconds);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Quillbright gateway"), -1, -1,
                             0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(certificate.get(), name);
  X509_set_pubkey(certificate.get(), key);
  bool extended = AddExtension(certificate.get(), NID_subject_alt_name, kNames) &&
                  AddExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE") &&
                  AddExtension(certificate.get(), NID_ext_key_usage, "serverAuth");
  if (!extended || X509_sign(certificate.get(), key, EVP_sha256()) == 0) return nullptr;
  return certificate;
}

std::string MakeFiles(const std::string& certificateFile, const std::string& keyFile) {
  UniqueKey key(EVP_EC_gen("P-256"));
  if (!key) return "OpenSSL could not make a key";
  UniqueCertificate certificate = MakeCertificate(key.get());
  if (!certificate) return "OpenSSL could not make the certificate";
  UniqueFile keyOut = OpenPrivate(keyFile, 0600);
  if (!keyOut ||
      PEM_write_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    return "cannot write " + keyFile;
  }
  UniqueFile certificateOut = OpenPrivate(certificateFile, 0644);
  if (!certificateOut || PEM_write_X509(certificateOut.get(), certificate.get()) != 1) {
    return "cannot write " + certificateFile;
  }
  return "";
}

}  // namespace

std::string LocalCertificateFile(const std::string& folder) {
  return folder + "localhost.crt";
}

std::string LocalKeyFile(const std::string& folder) {
  return folder + "localhost.key";
}

TLocalCertificate PrepareLocalCertificate(const std::string& folder) {
  TLocalCertificate result;
  result.CertificateFile = LocalCertificateFile(folder);
  result.KeyFile = LocalKeyFile(folder);
  if (!Exists(result.CertificateFile) || !Exists(result.KeyFile)) {
    result.Error = MakeFiles(result.CertificateFile, result.KeyFile);
    if (!result.Ready()) return result;
  }
  result.Fingerprint = CertificateFingerprint(result.CertificateFile);
  result.FingerprintMd5 = CertificateFingerprint(result.CertificateFile, TFingerprintHash::fhMd5);
  if (result.Fingerprint.empty()) result.Error = "cannot read " + result.CertificateFile;
  return result;
}

std::string CertificateFingerprint(const std::string& certificateFile, TFingerprintHash hash) {
  UniqueFile in(std::fopen(certificateFile.c_str(), "r"));
  if (!in) return "";
  UniqueCertificate certificate(PEM_read_X509(in.get(), nullptr, nullptr, nullptr));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!certificate ||
      X509_digest(certificate.get(), hash == TFingerprintHash::fhMd5 ? EVP_md5() : EVP_sha256(),
                  digest, &length) != 1) {
    return "";
  }
  const char* const digits = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    if (i > 0) text += ':';
    text += digits[digest[i] >> 4];
    text += digits[digest[i] & 15];
  }
  return text;
}

}  // namespace qb
