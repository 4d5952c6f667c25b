// A private certificate authority for TLS tests, made with the openssl tool
// in a temporary folder: server certificates signed by it (valid, expired,
// for other names) and by a second authority that nothing trusts.
//
//   TestCertificates certificates;
//   TestCertificate good = certificates.Issue({.AltNames = "IP:127.0.0.1"});
//   DovecotServer dovecot({.Tls = good});
//   ScopedCaFile trusted(certificates.CaFile());
#pragma once

#include "support/ProgramEnvironment.h"
#include "support/TempFolder.h"

#include <string>
#include <vector>

namespace qb::test {

struct TestCertificate {
  std::string CertFile;
  std::string KeyFile;
};

struct CertificateRequest {
  std::string AltNames = "IP:127.0.0.1,DNS:localhost";  // subjectAltName
  bool Expired = false;                                 // valid only in 2020
  bool UnknownAuthority = false;                        // signed by the untrusted authority
};

class TestCertificates {
 public:
  // Makes both authorities; throws std::runtime_error with openssl's words.
  TestCertificates();

  // The trusted authority's certificate (for QUILLBRIGHT_CA_FILE).
  std::string CaFile() const { return folder_.File("ca.crt"); }
  TestCertificate Issue(const CertificateRequest& request = {});

 private:
  void MakeAuthority(const std::string& name);
  void Run(const std::string& what, const std::vector<std::string>& argv) const;

  TempFolder folder_;
  int issued_ = 0;
};

// Sets QUILLBRIGHT_CA_FILE while it lives, and puts the previous value back.
class ScopedCaFile : public ScopedVariable {
 public:
  explicit ScopedCaFile(const std::string& file) : ScopedVariable("QUILLBRIGHT_CA_FILE", file) {}
};

}  // namespace qb::test
