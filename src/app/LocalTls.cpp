#include "app/LocalTls.h"

#include <cstdlib>

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

std::string ClientTlsLines(const std::string& fingerprint, int pop3Port,
                           const std::string& tlsPort) {
  std::string port = std::to_string(pop3Port);
  return "  mpop (~/.mpoprc), STLS on port " + port + " or implicit TLS on " + tlsPort +
         " (add tls_starttls off):\n"
         "    tls on\n"
         "    tls_fingerprint " +
         fingerprint + "\n" + "  fetchmail (~/.fetchmailrc), STLS on " + port +
         " (sslproto tls1.2+) or implicit on " + tlsPort +
         " (ssl):\n"
         "    sslfingerprint \"" +
         fingerprint + "\"\n" + "  getmail (SimplePOP3SSLRetriever, port " + tlsPort +
         "):\n"
         "    ssl_fingerprints = (\"" +
         fingerprint + "\",)\n";
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
  return "TLS for mail clients: STLS, and implicit TLS on port " + gateway.TlsPort +
         "; certificate SHA-256 fingerprint " + certificate.Fingerprint;
}

}  // namespace qb
