// One HTTP/1.0 request (http or https) through libcurl, run on the calling thread, with the
// reply handed over line by line (head) and block by block (body).
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <string_view>

#include "http/HTTPDownloadRequest.h"
#include "http/SplitURL.h"
#include "platform/InternetSettings.h"

namespace qb {

// Largest body block handed over at a time.
constexpr long kDownloadBlockSize = 1025;

class CurlTransfer {
 public:
  // Takes the reply. Returning false from either call ends the transfer.
  class Receiver {
   public:
    virtual ~Receiver() = default;
    virtual bool OnHeaderLine(std::string_view line) = 0;
    virtual bool OnBodyBlock(std::string_view block) = 0;
  };

  CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Sets up the request; false when the host is not a usable host name
  // (empty, or with characters a name cannot have).
  bool Configure(const THTTPDownloadRequest& request, const TURLParts& target,
                 const InternetSettings& settings, Receiver& receiver);
  // Runs the request until it ends, fails or `stop` is set. What arrived
  // has gone to the receiver; how the transfer ended is the receiver's to
  // judge. It is bounded by the connect and idle timeouts.
  void Perform(const std::atomic<bool>& stop);
  // Makes a running Perform look at its stop flag at once. Safe from any thread.
  void Wakeup();

 private:
  bool SetTarget(const TURLParts& target);
  void SetTrust();
  void SetHeaders(const THTTPDownloadRequest& request);
  void AppendHeader(const char* line);
  void SetProxy(const InternetSettings& settings);
  void SetBody(const THTTPDownloadRequest& request);
  void SetCredentials(const THTTPDownloadRequest& request);
  void SetReceiver(Receiver& receiver);

  // Each handle owned, and freed in the order curl needs: the multi handle
  // before the easy handle it held.
  template <auto Free>
  struct Freer {
    void operator()(auto* handle) const { Free(handle); }
  };
  std::unique_ptr<curl_slist, Freer<curl_slist_free_all>> headers_;
  std::unique_ptr<CURLU, Freer<curl_url_cleanup>> url_;
  std::unique_ptr<CURL, Freer<curl_easy_cleanup>> easy_;
  std::unique_ptr<CURLM, Freer<curl_multi_cleanup>> multi_;
};

}  // namespace qb
