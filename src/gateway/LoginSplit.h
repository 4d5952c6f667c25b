// The login line of a gateway session, split: "USER account#server[:port]"
// names the account for the server and the server to connect to, with an
// optional "/tls", "/starttls" or "/plain" after the server part.
#pragma once

#include <string>

#include "gateway/UpstreamSecurity.h"

namespace qb {

struct TLoginTarget {
  // The line the server gets: "USER account\r\n" when the login named a
  // server, else the client's line as it came.
  std::string LoginLine;
  std::string Address;  // the default server when the login names none
  std::string Port;     // the default port when the login names none
  bool PortNamed = false;
  TUpstreamTls Tls = TUpstreamTls::utAuto;
};

// Splits `line` (the client's whole line with its line end) at `delimiter`
// ('\0': none, every login goes to the defaults). A colon splits off the
// port only after at least two characters of server name; an IPv6 address
// is written in brackets when a port follows ("[2001:db8::1]:995").
TLoginTarget SplitLogin(const std::string& line, char delimiter, const std::string& defaultServer,
                        const std::string& defaultPort);

// A port a login may name: a service name, or a number from 1 to 65535 (a
// larger number would otherwise be cut to 16 bits and reach another port).
bool IsUsablePort(const std::string& port);

}  // namespace qb
