// One HTTP/1.0 request through libcurl, run on the calling thread, with the
// reply handed over line by line (head) and block by block (body).
#pragma once

#include <curl/curl.h>

#include <atomic>
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
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Sets up the request; false when the host is not a usable host name
  // (empty, or with a port or other characters a name cannot have).
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
  void SetHeaders(const THTTPDownloadRequest& request);
  void SetProxy(const InternetSettings& settings);
  void SetBody(const THTTPDownloadRequest& request);
  void SetCredentials(const THTTPDownloadRequest& request);
  void SetReceiver(Receiver& receiver);

  CURL* easy_ = nullptr;
  CURLM* multi_ = nullptr;
  CURLU* url_ = nullptr;
  curl_slist* headers_ = nullptr;
};

}  // namespace qb
