// The list updates of the start-up: the virus list and the spam-source list
// are downloaded from the list server once per start, and each replaces its
// list file when its download is complete and reads as a list.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "http/HTTPDownload.h"

namespace qb {

// The list server. The environment variable QUILLBRIGHT_UPDATE_URL
// replaces it (tests, and users with a list server of their own).
inline constexpr std::string_view ListUpdateEndpoint = "http://lists.quillbright.invalid";

// ListUpdateEndpoint, or the environment's replacement, without a trailing "/".
std::string ListUpdateAddress();

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

// The start-up step: both downloads started, none waited for.
void StartListUpdates(THTTPDownload& HTTPDownload1, THTTPDownload& HTTPDownload2,
                      const std::string& programFolder,
                      const std::function<void(const std::string&)>& setStatusText);

}  // namespace qb
