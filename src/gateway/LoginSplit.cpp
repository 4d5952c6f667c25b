#include "gateway/LoginSplit.h"

#include <algorithm>

#include "platform/AsciiText.h"

namespace qb {

TLoginTarget SplitLogin(const std::string& line, char delimiter, const std::string& defaultServer,
                        const std::string& defaultPort) {
  TLoginTarget target{line, defaultServer, defaultPort};
  std::string rest = line.size() > 5 ? line.substr(5) : "";
  std::string server = delimiter != '\0' ? TrimBlanks(SplitField(rest, delimiter, 1)) : "";
  target.Tls = TakeSecuritySuffix(server);
  if (server.empty()) return target;
  std::size_t colon = server.find(':');
  bool hasPort = colon != std::string::npos && colon >= 2;
  target.Address = hasPort ? SplitField(server, ':', 0) : server;
  if (hasPort) target.Port = SplitField(server, ':', 1);
  target.LoginLine = TrimBlanks(SplitField(line, delimiter, 0)) + "\r\n";
  return target;
}

bool IsUsablePort(const std::string& port) {
  if (port.empty() || !IsAsciiDigit(port.front())) return !port.empty();
  if (port.size() > 5 || !std::all_of(port.begin(), port.end(), IsAsciiDigit)) return false;
  int number = std::stoi(port);
  return number >= 1 && number <= 65535;
}

}  // namespace qb
