#include "app/LocalTls.h"

#include <cstdlib>

#include "app/ProgramFolder.h"
#include "app/StartUp.h"
#include "gateway/MailGW.h"
#include "net/LocalCertificate.h"

namespace qb {

std::string LocalTlsPort() {
  const char* port = std::getenv("QUILLBRIGHT_POP3S_PORT");
  return port && *port ? std::string(port) : std::string("1995");
}

std::string LocalCertificateFingerprint(const std::string& programFolder) {
  return CertificateFingerprint(LocalCertificateFile(programFolder));
}

std::string ClientTlsLines(const std::string& programFolder, int pop3Port,
                           const std::string& tlsPort) {
  std::string file = LocalCertificateFile(programFolder);
  std::string sha256 = CertificateFingerprint(file);
  if (sha256.empty()) return "  (the certificate is made at the first start, in " + file + ")\n";
  std::string md5 = CertificateFingerprint(file, TFingerprintHash::fhMd5);
  std::string port = std::to_string(pop3Port);
  return "  mpop (~/.mpoprc; STLS on port " + port + ", or port " + tlsPort +
         " with tls_starttls off):\n"
         "    tls on\n"
         "    tls_fingerprint " +
         sha256 + "\n" + "  fetchmail (~/.fetchmailrc, host localhost; sslproto tls1.2+ on port " +
         port + ", or ssl on port " + tlsPort +
         "; fetchmail 6.4 compares MD5):\n"
         "    sslfingerprint \"" +
         md5 + "\" no sslcertck\n" + "  getmail (SimplePOP3SSLRetriever, port " + tlsPort +
         "):\n"
         "    ssl_fingerprints = (\"" +
         sha256 + "\",)\n";
}

std::string LocalTlsHelp() {
  return "\nTLS for mail clients: the gateway offers STLS on its port and implicit TLS on\n"
         "QUILLBRIGHT_POP3S_PORT (default 1995), with a certificate of its own for\n"
         "localhost, 127.0.0.1 and ::1. Pin it in your mail client:\n" +
         ClientTlsLines(ProgramFolder(), ListeningPortNumber(), LocalTlsPort());
}

std::string PlainUpstreamText(const std::string& server) {
  return "The mail server " + server +
         " offers no TLS (neither on port 995 nor STLS): your password goes to it unencrypted. "
         "Write " +
         server + "/plain in the user name to say you mean it, or ask your provider.";
}

std::string SetUpLocalTls(TMailGateway& gateway, const std::string& programFolder) {
  TLocalCertificate certificate = PrepareLocalCertificate(programFolder);
  if (!certificate.Ready()) {
    return "No TLS for mail clients: " + certificate.Error + " (plain POP3 still works)";
  }
  gateway.CertificateFile = certificate.CertificateFile;
  gateway.KeyFile = certificate.KeyFile;
  gateway.TlsPort = LocalTlsPort();
  return "";
}

}  // namespace qb
