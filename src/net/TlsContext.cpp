#include "net/TlsContext.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstdlib>

namespace qb {

namespace {

struct SslCtxFree {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
using UniqueSslCtx = std::unique_ptr<SSL_CTX, SslCtxFree>;

const char* CaFileSetting() {
  const char* file = std::getenv("QUILLBRIGHT_CA_FILE");
  return file && *file ? file : nullptr;
}

UniqueSslCtx MakeContext(const char* caFile, std::string& failure) {
  UniqueSslCtx ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx) {
    failure = "cannot set up TLS";
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
  // POP3 ends its replies itself; a server that closes without a TLS
  // close_notify after QUIT is common and harmless.
  SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_default_verify_paths(ctx.get());
  if (caFile && SSL_CTX_load_verify_locations(ctx.get(), caFile, nullptr) != 1) {
    ERR_clear_error();
    failure = std::string("cannot read the certificates of QUILLBRIGHT_CA_FILE (") + caFile + ")";
    return nullptr;
  }
  return ctx;
}

// One context per value of QUILLBRIGHT_CA_FILE: the trust store is loaded
// once, not for every connection. Sessions keep their context alive.
SSL_CTX* SharedContext(std::string& failure) {
  static UniqueSslCtx context;
  static std::string contextCaFile;
  const char* caFile = CaFileSetting();
  std::string wanted = caFile ? caFile : "";
  if (!context || wanted != contextCaFile) {
    context = MakeContext(caFile, failure);
    contextCaFile = wanted;
  }
  return context.get();
}

UniqueSslCtx MakeServerContext(const std::string& certificateFile, const std::string& keyFile,
                               std::string& failure) {
  UniqueSslCtx ctx(SSL_CTX_new(TLS_server_method()));
  if (!ctx) {
    failure = "cannot set up TLS";
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (SSL_CTX_use_certificate_chain_file(ctx.get(), certificateFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx.get()) != 1) {
    ERR_clear_error();
    failure = "cannot read the local certificate " + certificateFile + " or its key";
    return nullptr;
  }
  return ctx;
}

// The certificate is read once per file pair, not for every client.
SSL_CTX* SharedServerContext(const std::string& certificateFile, const std::string& keyFile,
                             std::string& failure) {
  static UniqueSslCtx context;
  static std::string contextFiles;
  std::string wanted = certificateFile + '\n' + keyFile;
  if (!context || wanted != contextFiles) {
    context = MakeServerContext(certificateFile, keyFile, failure);
    contextFiles = context ? wanted : "";
  }
  return context.get();
}

bool UntrustedIssuer(long code) {
  return code == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY ||
         code == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT ||
         code == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT ||
         code == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN ||
         code == X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE;
}

std::string DescribeVerifyFailure(long code) {
  if (code == X509_V_ERR_CERT_HAS_EXPIRED) return "certificate has expired";
  if (code == X509_V_ERR_CERT_NOT_YET_VALID) return "certificate is not valid yet";
  if (code == X509_V_ERR_HOSTNAME_MISMATCH || code == X509_V_ERR_IP_ADDRESS_MISMATCH) {
    return "certificate is for another host name";
  }
  std::string text = X509_verify_cert_error_string(code);
  if (UntrustedIssuer(code)) return "certificate is not from a trusted authority (" + text + ")";
  return "certificate rejected (" + text + ")";
}

}  // namespace

bool IsAddressLiteral(const std::string& host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

UniqueSsl NewClientSession(const std::string& serverName, std::string& failure) {
  SSL_CTX* ctx = SharedContext(failure);
  if (!ctx) return nullptr;
  UniqueSsl ssl(SSL_new(ctx));
  if (!ssl) {
    failure = "cannot set up TLS";
    return nullptr;
  }
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  bool checked = IsAddressLiteral(serverName)
                     ? X509_VERIFY_PARAM_set1_ip_asc(param, serverName.c_str()) == 1
                     : SSL_set_tlsext_host_name(ssl.get(), serverName.c_str()) == 1 &&
                           SSL_set1_host(ssl.get(), serverName.c_str()) == 1;
  if (!checked) {
    ERR_clear_error();
    failure = "cannot check a certificate for this server name";
    return nullptr;
  }
  SSL_set_connect_state(ssl.get());
  return ssl;
}

UniqueSsl NewServerSession(const std::string& certificateFile, const std::string& keyFile,
                           std::string& failure) {
  SSL_CTX* ctx = SharedServerContext(certificateFile, keyFile, failure);
  if (!ctx) return nullptr;
  UniqueSsl ssl(SSL_new(ctx));
  if (!ssl) {
    failure = "cannot set up TLS";
    return nullptr;
  }
  SSL_set_accept_state(ssl.get());
  return ssl;
}

std::string DescribeHandshakeFailure(SSL* ssl, int result) {
  long verified = SSL_get_verify_result(ssl);
  unsigned long error = ERR_peek_last_error();
  ERR_clear_error();
  if (verified != X509_V_OK) return DescribeVerifyFailure(verified);
  if (error != 0) {
    const char* reason = ERR_reason_error_string(error);
    return std::string("handshake failed (") + (reason ? reason : "unknown reason") + ")";
  }
  return "handshake failed (error " + std::to_string(SSL_get_error(ssl, result)) + ")";
}

}  // namespace qb
