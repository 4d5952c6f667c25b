#include "http/CurlTransfer.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <string>

namespace qb {

namespace {

constexpr long kConnectTimeoutSeconds = 60;
// A reply that sends nothing for this long is given up, like a receive timeout.
constexpr long kIdleTimeoutSeconds = 60;
constexpr int kPollMilliseconds = 1000;

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::size_t HeaderCallback(char* data, std::size_t size, std::size_t count, void* receiver) {
  std::size_t length = size * count;
  bool goOn = static_cast<CurlTransfer::Receiver*>(receiver)->OnHeaderLine({data, length});
  return goOn ? length : 0;
}

std::size_t BodyCallback(char* data, std::size_t size, std::size_t count, void* receiver) {
  std::size_t length = size * count;
  bool goOn = static_cast<CurlTransfer::Receiver*>(receiver)->OnBodyBlock({data, length});
  return goOn ? length : 0;
}

}  // namespace

CurlTransfer::CurlTransfer() {
  InitialiseCurlOnce();
  url_.reset(curl_url());
  easy_.reset(curl_easy_init());
  multi_.reset(curl_multi_init());
  if (easy_ == nullptr || multi_ == nullptr || url_ == nullptr) throw std::bad_alloc();
}

bool CurlTransfer::Configure(const THTTPDownloadRequest& request, const TURLParts& target,
                             const InternetSettings& settings, Receiver& receiver) {
  if (!SetTarget(target)) return false;
  // Only the address's own scheme, so nothing falls back to plain HTTP.
  curl_easy_setopt(easy_.get(), CURLOPT_PROTOCOLS_STR, target.Scheme.c_str());
  SetTrust();
  curl_easy_setopt(easy_.get(), CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(easy_.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy_.get(), CURLOPT_BUFFERSIZE, kDownloadBlockSize);
  // The body is read until the server closes the connection, so a reply
  // longer than its Content-Length is seen as such, not cut to fit.
  curl_easy_setopt(easy_.get(), CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  curl_easy_setopt(easy_.get(), CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(easy_.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy_.get(), CURLOPT_LOW_SPEED_TIME, kIdleTimeoutSeconds);
  SetHeaders(request);
  SetProxy(settings);
  SetBody(request);
  SetCredentials(request);
  SetReceiver(receiver);
  return true;
}

// The connection goes to the address's port, or the scheme's own (80,
// 443); the host must be a plain host name (curl refuses one with a blank
// or another character a name cannot have).
bool CurlTransfer::SetTarget(const TURLParts& target) {
  if (target.Host.empty()) return false;
  const bool secure = target.Scheme == "https";
  const std::string port = !target.Port.empty() ? target.Port : secure ? "443" : "80";
  if (curl_url_set(url_.get(), CURLUPART_SCHEME, target.Scheme.c_str(), 0) != CURLUE_OK) {
    return false;
  }
  if (curl_url_set(url_.get(), CURLUPART_HOST, target.Host.c_str(), 0) != CURLUE_OK) return false;
  if (curl_url_set(url_.get(), CURLUPART_PORT, port.c_str(), 0) != CURLUE_OK) return false;
  std::string path = target.Path;
  std::string query;
  if (std::size_t mark = path.find('?'); mark != std::string::npos) {
    query = path.substr(mark + 1);
    path.resize(mark);
  }
  if (curl_url_set(url_.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK) return false;
  if (!query.empty() && curl_url_set(url_.get(), CURLUPART_QUERY, query.c_str(), 0) != CURLUE_OK) {
    return false;
  }
  return curl_easy_setopt(easy_.get(), CURLOPT_CURLU, url_.get()) == CURLE_OK;
}

// An https address is checked as curl does by default (the certificate
// chain to a trusted authority, the host name); QUILLBRIGHT_CA_FILE names
// the authority of a private server, as for TLS to the mail server, and
// the system's certificate folder stays trusted beside it.
void CurlTransfer::SetTrust() {
  curl_easy_setopt(easy_.get(), CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy_.get(), CURLOPT_SSL_VERIFYHOST, 2L);
  const char* caFile = std::getenv("QUILLBRIGHT_CA_FILE");
  if (caFile && *caFile) curl_easy_setopt(easy_.get(), CURLOPT_CAINFO, caFile);
}

// The list's new head owns the entries before it; out of memory, the list
// stays as it was and the header is left out.
void CurlTransfer::AppendHeader(const char* line) {
  curl_slist* list = curl_slist_append(headers_.get(), line);
  if (list == nullptr) return;
  static_cast<void>(headers_.release());
  headers_.reset(list);
}

void CurlTransfer::SetHeaders(const THTTPDownloadRequest& request) {
  // "Accept:" with nothing after it tells curl to send no Accept header.
  std::string accept = "Accept:";
  if (!request.AcceptTypes.empty()) accept += " " + request.AcceptTypes;
  AppendHeader(accept.c_str());
  if (!request.UseCache) {
    AppendHeader("Pragma: no-cache");
    AppendHeader("Cache-Control: no-cache");
  }
  if (!request.PostQuery.empty()) {
    AppendHeader("Content-Type: application/x-www-form-urlencoded");
  }
  curl_easy_setopt(easy_.get(), CURLOPT_HTTPHEADER, headers_.get());
  if (!request.Referer.empty())
    curl_easy_setopt(easy_.get(), CURLOPT_REFERER, request.Referer.c_str());
  if (!request.Agent.empty())
    curl_easy_setopt(easy_.get(), CURLOPT_USERAGENT, request.Agent.c_str());
}

// An enabled proxy is used for every host (no bypass list); otherwise the
// connection is direct, whatever else the environment says.
void CurlTransfer::SetProxy(const InternetSettings& settings) {
  bool useProxy = settings.ProxyEnable != 0;
  curl_easy_setopt(easy_.get(), CURLOPT_PROXY, useProxy ? settings.ProxyServer.c_str() : "");
  curl_easy_setopt(easy_.get(), CURLOPT_NOPROXY, "");
}

void CurlTransfer::SetBody(const THTTPDownloadRequest& request) {
  if (request.PostQuery.empty()) return;
  curl_easy_setopt(easy_.get(), CURLOPT_POSTFIELDSIZE_LARGE,
                   static_cast<curl_off_t>(request.PostQuery.size()));
  curl_easy_setopt(easy_.get(), CURLOPT_COPYPOSTFIELDS, request.PostQuery.data());
}

void CurlTransfer::SetCredentials(const THTTPDownloadRequest& request) {
  if (request.UserName.empty()) return;
  curl_easy_setopt(easy_.get(), CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
  curl_easy_setopt(easy_.get(), CURLOPT_USERNAME, request.UserName.c_str());
  curl_easy_setopt(easy_.get(), CURLOPT_PASSWORD, request.Password.c_str());
}

void CurlTransfer::SetReceiver(Receiver& receiver) {
  curl_easy_setopt(easy_.get(), CURLOPT_HEADERFUNCTION, HeaderCallback);
  curl_easy_setopt(easy_.get(), CURLOPT_HEADERDATA, &receiver);
  curl_easy_setopt(easy_.get(), CURLOPT_WRITEFUNCTION, BodyCallback);
  curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, &receiver);
}

void CurlTransfer::Perform(const std::atomic<bool>& stop) {
  if (curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK) return;
  int running = 1;
  bool broken = false;
  while (running > 0 && !stop && !broken) {
    broken = curl_multi_perform(multi_.get(), &running) != CURLM_OK;
    if (running > 0 && !broken) {
      broken = curl_multi_poll(multi_.get(), nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK;
    }
  }
  curl_multi_remove_handle(multi_.get(), easy_.get());
}

void CurlTransfer::Wakeup() {
  curl_multi_wakeup(multi_.get());
}

}  // namespace qb
