#include "net/SocketRuntime.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "platform/SocketError.h"
#include "platform/SocketLibrary.h"
#include "support/Thrown.h"

namespace qb {
namespace {

using test::Thrown;

TEST(SocketResolvePort, ReadsServiceNamesAndLeadingDigits) {
  EXPECT_EQ(ntohs(SocketResolvePort("pop3", "tcp")), 110);
  EXPECT_EQ(ntohs(SocketResolvePort("110", "tcp")), 110);
  EXPECT_EQ(ntohs(SocketResolvePort("0110", "tcp")), 110);
  EXPECT_EQ(ntohs(SocketResolvePort("995x", "tcp")), 995);
}

TEST(SocketResolvePort, RefusesOverlongAndUnknownPorts) {
  EXPECT_EQ(Thrown([] { SocketResolvePort(std::string(32, '1'), "tcp"); }),
            "SocketResolvePort: Invalid Port.");
  EXPECT_EQ(ntohs(SocketResolvePort(std::string(31, '0'), "tcp")), 0);
  EXPECT_EQ(Thrown([] { SocketResolvePort("", "tcp"); }), "SocketResolvePort: Invalid Port.");
  EXPECT_EQ(Thrown([] { SocketResolvePort("110", ""); }), "SocketResolvePort: Invalid Proto.");
  EXPECT_EQ(Thrown([] {
              SocketResolvePort("nosuchservice", "tcp");
            }).rfind("SocketResolvePort: Cannot convert port 'nosuchservice', Error #", 0),
            0u);
}

TEST(SocketResolveProto, ReadsNamesInAnyCaseAndNumbers) {
  EXPECT_EQ(SocketResolveProto(" TCP "), 6);
  EXPECT_EQ(SocketResolveProto("17"), 17);
  EXPECT_EQ(SocketResolveProto("udp"), 17);
  EXPECT_EQ(SocketResolveProto("raw"), 255);
  EXPECT_EQ(SocketResolveProto("icmp"), 1);  // through the protocols database
  EXPECT_EQ(Thrown([] { SocketResolveProto(""); }), "SocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(Thrown([] { SocketResolveProto(std::string(32, 'x')); }),
            "SocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(Thrown([] {
              SocketResolveProto("nosuchproto");
            }).rfind("SocketResolveProto: Cannot convert protocol 'nosuchproto', Error #", 0),
            0u);
}

TEST(SocketResolveHost, ConvertsDottedAddressesDirectly) {
  EXPECT_EQ(SocketResolveHost("127.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(SocketResolveHost(" 10.1.2.3 "), htonl(0x0A010203));
  EXPECT_EQ(SocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
}

// A resolver that knows only "localhost" and writes down every name it is
// asked, so that no name here reaches the system's name server.
std::vector<std::string> askedNames;
hostent* LocalhostOnly(const char* name) {
  askedNames.emplace_back(name);
  static in_addr local{htonl(INADDR_LOOPBACK)};
  static char* addresses[] = {reinterpret_cast<char*>(&local), nullptr};
  static char localhost[] = "localhost";
  static hostent entry{localhost, nullptr, AF_INET, 4, addresses};
  if (askedNames.back() == localhost) return &entry;
  h_errno = HOST_NOT_FOUND;
  return nullptr;
}

TEST(SocketResolveHost, SendsOtherTextsToTheResolver) {
  SocketFunctionTable localhostOnly = winsock::SystemSocketFunctions();
  localhostOnly.gethostbyname = LocalhostOnly;
  winsock::InstallSocketFunctions(&localhostOnly);
  askedNames.clear();
  EXPECT_EQ(SocketResolveHost("localhost"), htonl(0x7F000001));
  // Three dotted numbers and a part above 255 are no dotted address; the
  // resolver gets them and, having no such host, fails.
  for (std::string host : {"1.2.3.256", ".1.2.3", "no.such.host.invalid"}) {
    EXPECT_EQ(Thrown([&] {
                SocketResolveHost(host);
              }).rfind("SocketResolveHost: Cannot convert host address '" + host + "', Error #", 0),
              0u)
        << host;
  }
  winsock::InstallSocketFunctions(nullptr);
  EXPECT_EQ(askedNames,
            (std::vector<std::string>{"localhost", "1.2.3.256", ".1.2.3", "no.such.host.invalid"}));
}

TEST(SocketResolveHost, RefusesEmptyAndOverlongNames) {
  std::string longName(257, 'a');
  EXPECT_EQ(Thrown([&] { SocketResolveHost(longName); }),
            "SocketResolveHost: '" + longName + "' Invalid Hostname.");
  EXPECT_EQ(Thrown([] { SocketResolveHost(""); }), "SocketResolveHost: '' Invalid Hostname.");
}

TEST(WSocketErrorDesc, DescribesKnownAndUnknownCodes) {
  EXPECT_EQ(WSocketErrorDesc(10060), "Connection timed out");
  EXPECT_EQ(WSocketErrorDesc(0), "No Error");
  EXPECT_EQ(WSocketErrorDesc(11004), "No Data");
  EXPECT_EQ(WSocketErrorDesc(12345), "Not a WinSock error");
  EXPECT_EQ(SocketErrorMessage(10048, "Bind"),
            "Error 10048 in function Bind\r\nAddress already in use");
}

TEST(SocketLibrary, IsLoadedOnceForTwoLiveSocketsAndUnloadedAfterTheLast) {
  ASSERT_EQ(winsock::LiveSocketObjects(), 0);
  { TAsyncSocket unloads; }  // resolution without any socket object may have loaded it
  ASSERT_FALSE(winsock::IsLoaded());
  int loadsBefore = winsock::LoadCount();
  {
    TAsyncSocket first;
    EXPECT_FALSE(winsock::IsLoaded()) << "loading waits for the first call";
    first.SetAddr("127.0.0.1");
    first.SetPort("1");
    first.OnError = [](TCustomAsyncSocket*) {};
    first.Connect();
    EXPECT_TRUE(winsock::IsLoaded());
    {
      TAsyncSocket second;
      second.OnError = [](TCustomAsyncSocket*) {};
      second.Send("x", 1);
      EXPECT_EQ(winsock::LiveSocketObjects(), 2);
    }
    EXPECT_TRUE(winsock::IsLoaded()) << "one socket is still alive";
    EXPECT_EQ(winsock::LoadCount(), loadsBefore + 1);
    EXPECT_TRUE(SocketWindowClassRegistered());
  }
  EXPECT_FALSE(winsock::IsLoaded());
  EXPECT_FALSE(SocketWindowClassRegistered());
  EXPECT_EQ(winsock::LiveSocketObjects(), 0);
}

TEST(SocketLibrary, RefusesAVersionChangeOnceLoaded) {
  TAsyncSocket socket;
  socket.SetReqVerLow(1);  // not loaded yet: accepted
  socket.SetAddr("127.0.0.1");
  socket.SetPort("1");
  socket.OnError = [](TCustomAsyncSocket*) {};
  socket.Connect();
  socket.OnError = nullptr;
  EXPECT_NE(Thrown([&] {
              socket.SetReqVerHigh(2);
            }).find(" in function SetReqVerHigh: WinSock version can't be changed now\r\n"),
            std::string::npos);
  EXPECT_EQ(socket.ReqVerHigh(), 1);
}

}  // namespace
}  // namespace qb
