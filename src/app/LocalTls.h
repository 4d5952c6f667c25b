// TLS between the mail client and the gateway (the local leg): the port of
// implicit TLS, the gateway's own certificate in the program folder, and the
// lines a user pastes into a mail client to pin its fingerprint. Plain
// functions, so that a settings dialog can show the same as --help.
#pragma once

#include <string>

namespace qb {

class TMailGateway;

// QUILLBRIGHT_POP3S_PORT when set and not empty, else "1995".
std::string LocalTlsPort();

// The SHA-256 fingerprint of the certificate in the program folder ("AB:CD:…"),
// "" while there is none (it is made at the first start).
std::string LocalCertificateFingerprint(const std::string& programFolder);

// The settings for mpop, fetchmail and getmail that pin `fingerprint`, for
// STLS on `pop3Port` and implicit TLS on `tlsPort`.
std::string ClientTlsLines(const std::string& fingerprint, int pop3Port,
                           const std::string& tlsPort);

// The --help section on TLS for mail clients, with the lines of the
// certificate in the program folder.
std::string LocalTlsHelp();

// What the user is told once when a server offers neither implicit TLS on
// 995 nor STLS, so the login goes on in plain.
std::string PlainUpstreamText(const std::string& server);

// Makes (first) and loads the certificate of `programFolder` into `gateway`
// and sets its TLS port; returns "" or the line that tells the user why there
// is no TLS on the local leg (--help shows the fingerprints).
std::string SetUpLocalTls(TMailGateway& gateway, const std::string& programFolder);

}  // namespace qb
