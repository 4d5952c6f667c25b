#include "support/TestCertificates.h"

#include "platform/FileStore.h"
#include "support/ChildProcess.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace qb::test {

using namespace std::chrono_literals;

namespace {

// `openssl ca` is the one tool of OpenSSL 3.0 that sets explicit validity
// dates (an expired certificate); it wants a configuration and a database.
std::string AuthorityConfig(const std::string& folder) {
  return "[ca]\ndefault_ca = test_ca\n"
         "[test_ca]\n"
         "dir = " +
         folder +
         "\n"
         "database = $dir/index.txt\nserial = $dir/serial\nnew_certs_dir = $dir\n"
         "default_md = sha256\npolicy = anything\nunique_subject = no\n"
         "copy_extensions = none\n"
         "[anything]\ncommonName = supplied\n";
}

}  // namespace

TestCertificates::TestCertificates() : folder_("qb-certs") {
  MakeAuthority("ca");
  MakeAuthority("other-ca");
}

void TestCertificates::Run(const std::string& what, const std::vector<std::string>& argv) const {
  ProcessResult result = RunProcess(argv, 30s);
  if (result.ExitCode != 0) {
    throw std::runtime_error("TestCertificates: " + what + " failed: " + result.Errors);
  }
}

void TestCertificates::MakeAuthority(const std::string& name) {
  const std::string dir = folder_.MakeFolder(name + "-db");
  if (!WriteFileAtomically(dir + "/index.txt", "") ||
      !WriteFileAtomically(dir + "/serial", "1000\n") ||
      !WriteFileAtomically(dir + "/ca.cnf", AuthorityConfig(dir))) {
    throw std::runtime_error("TestCertificates: cannot write the authority's files");
  }
  Run("the authority " + name, {"openssl",
                                "req",
                                "-x509",
                                "-newkey",
                                "ec",
                                "-pkeyopt",
                                "ec_paramgen_curve:prime256v1",
                                "-nodes",
                                "-keyout",
                                folder_.File(name + ".key"),
                                "-out",
                                folder_.File(name + ".crt"),
                                "-days",
                                "3650",
                                "-subj",
                                "/CN=Quillbright Test " + name,
                                "-addext",
                                "basicConstraints=critical,CA:TRUE",
                                "-addext",
                                "keyUsage=critical,keyCertSign,cRLSign"});
}

TestCertificate TestCertificates::Issue(const CertificateRequest& request) {
  const std::string stem = folder_.File("server" + std::to_string(++issued_));
  const std::string authority = request.UnknownAuthority ? "other-ca" : "ca";
  const std::string dir = folder_.File(authority + "-db");
  if (!WriteFileAtomically(stem + ".ext", "subjectAltName = " + request.AltNames + "\n" +
                                              "extendedKeyUsage = serverAuth\n")) {
    throw std::runtime_error("TestCertificates: cannot write the extensions file");
  }
  Run("the request",
      {"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
       "-keyout", stem + ".key", "-out", stem + ".csr", "-subj", "/CN=quillbright test server"});
  std::vector<std::string> sign = {"openssl",  "ca",
                                   "-batch",   "-notext",
                                   "-config",  dir + "/ca.cnf",
                                   "-cert",    folder_.File(authority + ".crt"),
                                   "-keyfile", folder_.File(authority + ".key"),
                                   "-in",      stem + ".csr",
                                   "-out",     stem + ".crt",
                                   "-extfile", stem + ".ext"};
  if (request.Expired) {
    sign.insert(sign.end(), {"-startdate", "20200101000000Z", "-enddate", "20200201000000Z"});
  } else {
    sign.insert(sign.end(), {"-days", "30"});
  }
  Run("signing", sign);
  return {stem + ".crt", stem + ".key"};
}

}  // namespace qb::test
