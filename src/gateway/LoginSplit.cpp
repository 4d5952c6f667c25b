#include "gateway/LoginSplit.h"

#include <algorithm>

#include "platform/AsciiText.h"

namespace qb {

namespace {

// "host[:port]", "[v6 address][:port]", or a bare v6 address (more than one
// colon, so no port). The address is kept without its brackets: it is the
// name TLS checks and every per-server memory is kept under.
void SplitServerPart(const std::string& server, TLoginTarget& target) {
  std::size_t close = server.find(']');
  if (server.front() == '[' && close != std::string::npos) {
    target.Address = server.substr(1, close - 1);
    target.PortNamed = close + 1 < server.size() && server[close + 1] == ':';
    if (target.PortNamed) target.Port = server.substr(close + 2);
    return;
  }
  if (std::count(server.begin(), server.end(), ':') > 1) {
    target.Address = server;
    return;
  }
  std::size_t colon = server.find(':');
  bool hasPort = colon != std::string::npos && colon >= 2;
  target.Address = hasPort ? SplitField(server, ':', 0) : server;
  if (hasPort) target.Port = SplitField(server, ':', 1);
  target.PortNamed = hasPort;
}

}  // namespace

TLoginTarget SplitLogin(const std::string& line, char delimiter, const std::string& defaultServer,
                        const std::string& defaultPort) {
  TLoginTarget target{line, defaultServer, defaultPort};
  std::string rest = line.size() > 5 ? line.substr(5) : "";
  std::string server = delimiter != '\0' ? TrimBlanks(SplitField(rest, delimiter, 1)) : "";
  target.Tls = TakeSecuritySuffix(server);
  if (server.empty()) return target;
  SplitServerPart(server, target);
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
