// The OpenSSL contexts of the program. The client context that every TLS
// connection to a mail server shares: TLS 1.2 at least, the peer's certificate verified against the
// system's trust store plus the certificates of the file named by
// QUILLBRIGHT_CA_FILE (for private servers with their own authority), and
// the texts that tell the user why a handshake failed. The server context of
// the local leg, one per certificate: TLS 1.2 at least, no client
// certificate asked.
//
// Used on the main thread only, like the sockets.
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

namespace qb {

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
using UniqueSsl = std::unique_ptr<SSL, SslFree>;

// A client session for `serverName` (sent as SNI unless it is an address,
// and checked against the certificate); the caller attaches its BIOs. On
// failure returns nullptr and puts the reason in `failure`.
UniqueSsl NewClientSession(const std::string& serverName, std::string& failure);

// A server session that shows the certificate of `certificateFile` and
// proves it with the key of `keyFile` (the local leg: the mail client's
// connection to the gateway). On failure returns nullptr with the reason.
UniqueSsl NewServerSession(const std::string& certificateFile, const std::string& keyFile,
                           std::string& failure);

// Why a handshake that OpenSSL ended with `result` failed, in words.
std::string DescribeHandshakeFailure(SSL* ssl, int result);

// Whether `host` is a numeric IPv4 or IPv6 address.
bool IsAddressLiteral(const std::string& host);

}  // namespace qb
