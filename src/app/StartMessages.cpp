#include "app/StartMessages.h"

#include <filesystem>
#include <system_error>

#include "app/ListFiles.h"
#include "app/Version.h"
#include "platform/AsciiText.h"

namespace qb {

namespace {

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// The number of the socket layer's "Error <n> in function <f>" text; 0 for
// any other text.
int SocketErrorCode(const std::string& text) {
  constexpr std::string_view prefix = "Error ";
  if (!text.starts_with(prefix)) return 0;
  int code = 0;
  for (std::size_t i = prefix.size(); i < text.size() && IsAsciiDigit(text[i]); ++i) {
    code = code * 10 + (text[i] - '0');
    if (code > 99999) return 0;
  }
  return code;
}

std::string PortInWords(const std::string& port) {
  return port == "pop3" ? "110 (pop3)" : port;
}

constexpr const char* kOtherPortWay =
    "use a port of 1024 or above: start Quillbright with the variable "
    "QUILLBRIGHT_POP3_PORT=1110 (for the user service: systemctl --user edit quillbrightd, "
    "then Environment=QUILLBRIGHT_POP3_PORT=1110) and set your mail client's POP3 port to "
    "1110.";

}  // namespace

ListFilesPresence FindListFiles(const std::string& programFolder) {
  ListFilesPresence presence;
  for (const char* name : {kVirusListFile, kAttachmentListFile, kSubjectListFile, kSenderListFile,
                           kRecipientListFile, kDnsblListFile}) {
    std::error_code error;
    bool found = std::filesystem::is_regular_file(ProgramFile(programFolder, name), error);
    (found ? presence.Found : presence.Missing).push_back(name);
  }
  return presence;
}

std::string StartLogLine(const ChosenProgramFolder& folder, const std::string& shippedFolder,
                         const std::string& port, const ListFilesPresence& lists) {
  std::string line = std::string("Quillbright ") + kProgramVersion + ": program folder " +
                     folder.Folder + "; port " + PortInWords(port) +
                     "; list files found: " + (lists.Found.empty() ? "none" : Joined(lists.Found));
  if (!lists.Missing.empty()) line += "; missing: " + Joined(lists.Missing);
  if (!folder.Copied.empty()) {
    line += "; copied from the shipped lists in " + shippedFolder + ": " + Joined(folder.Copied);
  }
  return line;
}

std::string ProgramFolderFailureText(const ChosenProgramFolder& folder) {
  if (folder.Error.empty()) return "";
  return "Quillbright cannot prepare its program folder " + folder.Folder + ": " + folder.Error +
         ".\nLists, block lists and the markers of fetched mail may not be kept. Set "
         "QUILLBRIGHT_HOME to a folder you can write to, or fix the folder and start "
         "Quillbright again.";
}

std::string ListenFailureText(const std::string& gatewayError, const std::string& port,
                              const std::string& executable) {
  std::string where = "Quillbright cannot listen on port " + PortInWords(port) + ", ";
  switch (SocketErrorCode(gatewayError)) {
    case 10013:
      return where +
             "because only programs given the right may use a port below 1024 on Linux, and "
             "this one has not been given it.\nEither give it the right once (the Debian "
             "package does this when it is installed; a rebuilt or copied file loses it):\n"
             "    sudo setcap cap_net_bind_service=+ep " +
             executable + "\nor " + kOtherPortWay + "\n\n" + gatewayError;
    case 10048:
      return where +
             "because another program listens there already (perhaps another Quillbright, or "
             "the user service quillbrightd).\nEither end that program (systemctl --user stop "
             "quillbrightd for the service), or " +
             kOtherPortWay + "\n\n" + gatewayError;
    default:
      return gatewayError;
  }
}

std::string NotListeningText(const std::string& port) {
  return "Not screening: Quillbright cannot listen on port " + PortInWords(port) +
         " (Exit, free the port or choose another, and start it again).";
}

}  // namespace qb
