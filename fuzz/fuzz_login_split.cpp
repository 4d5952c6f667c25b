// SplitLogin: any login line. A line that names a server gives the server a
// "USER account" line without the delimiter, and neither the server part nor
// the port holds the delimiter; a port that passes IsUsablePort is a service
// name or a number from 1 to 65535.
#include <algorithm>

#include "FuzzInput.h"
#include "gateway/LoginSplit.h"
#include "platform/AsciiText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string line(qb::fuzz::AsText(data, size));
  qb::TLoginTarget target = qb::SplitLogin(line, '#', "default.example", "pop3");
  bool named = target.LoginLine != line;
  if (named) {
    qb::fuzz::Require(target.LoginLine.ends_with("\r\n"));
    qb::fuzz::Require(target.LoginLine.find('#') == std::string::npos);
  }
  qb::fuzz::Require(target.Address.find('#') == std::string::npos);
  qb::fuzz::Require(target.Port.find('#') == std::string::npos);
  if (qb::IsUsablePort(target.Port) && !target.Port.empty() && qb::IsAsciiDigit(target.Port[0])) {
    long number = std::stol(target.Port);
    qb::fuzz::Require(number >= 1 && number <= 65535);
  }
  qb::TLoginTarget undivided = qb::SplitLogin(line, '\0', "default.example", "pop3");
  qb::fuzz::Require(undivided.LoginLine == line && undivided.Address == "default.example");
  return 0;
}
