// The certificate of the local leg: the gateway offers TLS to mail clients
// (STLS and an implicit-TLS port) with a certificate of its own for
// "localhost", 127.0.0.1 and ::1, made with OpenSSL at the first start and
// kept in the program folder (the key readable by its owner only). Clients
// cannot check it against an authority; they pin its SHA-256 fingerprint.
#pragma once

#include <cstdint>
#include <string>

namespace qb {

struct TLocalCertificate {
  std::string CertificateFile;
  std::string KeyFile;
  std::string Fingerprint;     // SHA-256, "AB:CD:…"; "" when there is none
  std::string FingerprintMd5;  // what fetchmail 6.4's sslfingerprint compares
  std::string Error;           // why there is none, in words
  bool Ready() const { return Error.empty(); }
};

// The files' names in `folder` (ending in '/').
std::string LocalCertificateFile(const std::string& folder);
std::string LocalKeyFile(const std::string& folder);

// The certificate in `folder`, made first when it or its key is missing.
TLocalCertificate PrepareLocalCertificate(const std::string& folder);

enum class TFingerprintHash : std::uint8_t { fhSha256, fhMd5 };

// The fingerprint of the certificate in `certificateFile` (SHA-256 unless
// asked otherwise), as colon-separated upper-case hex; "" when it cannot be
// read.
std::string CertificateFingerprint(const std::string& certificateFile,
                                   TFingerprintHash hash = TFingerprintHash::fhSha256);

}  // namespace qb
