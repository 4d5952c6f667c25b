// The list updates of the start-up: the virus list and the spam-source list
// are downloaded from the list server once per start, and each replaces its
// list file when its download is complete and reads as a list.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "http/HTTPDownload.h"

namespace qb {

// The built-in list server: a name under ".invalid", which never resolves
// (RFC 6761), so a program without a list server of its own asks nobody.
// The environment variable QUILLBRIGHT_UPDATE_URL names the real one.
inline constexpr std::string_view ListUpdateEndpoint = "http://lists.quillbright.invalid";

// ListUpdateEndpoint, or the environment's replacement, without a trailing "/".
std::string ListUpdateAddress();

// The host of an update address: after "scheme://" and any "user@", before
// any ":port" or "/", in lower case and without a trailing dot.
std::string ListServerHost(std::string_view address);
// Whether an update address names a server worth asking: it has a host, and
// the host is neither "invalid" nor a name under it.
bool IsListServerConfigured(std::string_view address);

inline constexpr std::string_view NoListServerText =
    "No list server is configured; the lists are not updated.";

struct TListDownload {
  std::string_view Path;          // on the list server
  std::string_view DownloadName;  // the downloaded copy in the program folder
  std::string_view ListName;      // the list it replaces
  bool FirstLineIsDnsName;        // the list names a DNS block-list zone
};

inline constexpr TListDownload VirusListDownload{"/quillbright/vlist.txt", "vlist1.txt",
                                                 "vlist.txt", false};
inline constexpr TListDownload DnsblListDownload{"/quillbright/dnsbl.txt", "dnsbl1.txt",
                                                 "dnsbl.txt", true};

inline constexpr std::string_view ListsUpdatedText = "Virus database has been updated.";

// Whether downloaded bytes read as a list: not empty, no NUL byte, not an
// HTML page, and for a zone list a first line that is a DNS name.
bool IsAcceptableList(std::string_view bytes, bool firstLineIsDnsName);
// Letters, digits and inner hyphens in labels of 1 to 63, at least two
// labels, 253 characters at most.
bool IsDnsName(std::string_view name);

// Puts the downloaded copy in the list's place by one rename over it, once
// it reads as a list. The old list stays whenever this returns false.
bool ReplaceListWithDownload(const TListDownload& list, const std::string& programFolder);

// Sets up a component for one list (GET, any media type, no cached answer,
// a Content-Length required, no waiting) and binds its OnDoneFile to the
// replacement; `setStatusText` is given ListsUpdatedText after a replacement.
void ConfigureListDownload(THTTPDownload& download, const TListDownload& list,
                           const std::string& programFolder,
                           std::function<void(const std::string&)> setStatusText);

// The start-up step: both downloads started, none waited for. Without a
// configured list server nothing is started; one line goes to `notices`
// and `setStatusText` is given NoListServerText.
void StartListUpdates(THTTPDownload& HTTPDownload1, THTTPDownload& HTTPDownload2,
                      const std::string& programFolder,
                      const std::function<void(const std::string&)>& setStatusText,
                      std::ostream& notices);

}  // namespace qb
