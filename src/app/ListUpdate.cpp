#include "app/ListUpdate.h"

#include <cstdio>
#include <cstdlib>

#include "platform/AsciiText.h"
#include "platform/FileStore.h"

namespace qb {

namespace {

constexpr std::size_t kMaxDnsNameLength = 253;
constexpr std::size_t kMaxLabelLength = 63;

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsDnsLabel(std::string_view label) {
  if (label.empty() || label.size() > kMaxLabelLength) return false;
  if (label.front() == '-' || label.back() == '-') return false;
  for (char c : label) {
    if (!IsAsciiLetterOrDigit(c) && c != '-') return false;
  }
  return true;
}

// An error page rather than a list: after blanks (and a UTF-8 byte-order
// mark), markup begins.
bool BeginsLikeMarkup(std::string_view bytes) {
  constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
  if (bytes.substr(0, byteOrderMark.size()) == byteOrderMark) {
    bytes.remove_prefix(byteOrderMark.size());
  }
  std::size_t first = bytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && bytes[first] == '<';
}

// The first line of a list file, which ends at CR, LF or CR LF.
std::string_view FirstLine(std::string_view bytes) {
  return bytes.substr(0, bytes.find_first_of("\r\n"));
}

}  // namespace

std::string ListUpdateAddress() {
  const char* replacement = std::getenv("QUILLBRIGHT_UPDATE_URL");
  std::string address = (replacement != nullptr && *replacement != '\0')
                            ? std::string(replacement)
                            : std::string(ListUpdateEndpoint);
  while (!address.empty() && address.back() == '/') address.pop_back();
  return address;
}

std::string ListServerHost(std::string_view address) {
  if (std::size_t scheme = address.find("://"); scheme != std::string_view::npos) {
    address.remove_prefix(scheme + 3);
  }
  address = address.substr(0, address.find_first_of("/?#"));
  if (std::size_t user = address.rfind('@'); user != std::string_view::npos) {
    address.remove_prefix(user + 1);
  }
  address = address.substr(0, address.find(':'));
  if (address.ends_with('.')) address.remove_suffix(1);
  return LowerAscii(address);
}

bool IsListServerConfigured(std::string_view address) {
  std::string host = ListServerHost(address);
  return !host.empty() && host != "invalid" && !host.ends_with(".invalid");
}

bool IsDnsName(std::string_view name) {
  if (name.size() > kMaxDnsNameLength) return false;
  std::size_t labels = 0;
  while (true) {
    std::size_t dot = name.find('.');
    if (!IsDnsLabel(name.substr(0, dot))) return false;
    ++labels;
    if (dot == std::string_view::npos) break;
    name.remove_prefix(dot + 1);
  }
  return labels >= 2;
}

bool IsAcceptableList(std::string_view bytes, bool firstLineIsDnsName) {
  if (bytes.empty() || bytes.find('\0') != std::string_view::npos) return false;
  if (BeginsLikeMarkup(bytes)) return false;
  return !firstLineIsDnsName || IsDnsName(FirstLine(bytes));
}

bool ReplaceListWithDownload(const TListDownload& list, const std::string& programFolder) {
  std::string downloaded = programFolder + std::string(list.DownloadName);
  std::optional<std::string> bytes = ReadWholeFile(downloaded);
  if (!bytes || !IsAcceptableList(*bytes, list.FirstLineIsDnsName)) return false;
  std::string target = programFolder + std::string(list.ListName);
  return std::rename(downloaded.c_str(), target.c_str()) == 0;
}

void ConfigureListDownload(THTTPDownload& download, const TListDownload& list,
                           const std::string& programFolder,
                           std::function<void(const std::string&)> setStatusText) {
  download.URL = ListUpdateAddress() + std::string(list.Path);
  download.FileName = programFolder + std::string(list.DownloadName);
  download.AcceptTypes = "*/*";
  download.UseCache = false;
  download.BinaryData = true;
  download.WaitThread = false;
  download.OnDoneFile = [list, programFolder, setStatusText = std::move(setStatusText)](
                            THTTPDownload&, const std::string&, std::int64_t) {
    if (ReplaceListWithDownload(list, programFolder)) setStatusText(std::string(ListsUpdatedText));
  };
}

void StartListUpdates(THTTPDownload& HTTPDownload1, THTTPDownload& HTTPDownload2,
                      const std::string& programFolder,
                      const std::function<void(const std::string&)>& setStatusText,
                      std::ostream& notices) {
  if (!IsListServerConfigured(ListUpdateAddress())) {
    notices << "quillbright: " << NoListServerText << std::endl;
    setStatusText(std::string(NoListServerText));
    return;
  }
  ConfigureListDownload(HTTPDownload1, VirusListDownload, programFolder, setStatusText);
  ConfigureListDownload(HTTPDownload2, DnsblListDownload, programFolder, setStatusText);
  HTTPDownload1.DownloadFile();
  HTTPDownload2.DownloadFile();
}

}  // namespace qb
