#include "gateway/UpstreamSecurity.h"

#include <gtest/gtest.h>

#include "gateway/LoginSplit.h"
#include "platform/FileStore.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

TEST(TlsLoginSuffix, IsTakenOffTheServerPartAndSaysWhatItAsks) {
  struct Case {
    std::string Spec;
    std::string Server;
    TUpstreamTls Tls;
  };
  for (const Case& c : std::vector<Case>{
           {"pop.example.org:995/tls", "pop.example.org:995", TUpstreamTls::utImplicit},
           {"pop.example.org/TLS", "pop.example.org", TUpstreamTls::utImplicit},
           {"pop.example.org:110/starttls", "pop.example.org:110", TUpstreamTls::utStartTls},
           {"pop.example.org/Plain", "pop.example.org", TUpstreamTls::utPlain},
           {"pop.example.org:995", "pop.example.org:995", TUpstreamTls::utAuto},
           {"pop.example.org/ssl", "pop.example.org/ssl", TUpstreamTls::utAuto},
           {"/tls", "/tls", TUpstreamTls::utAuto},  // a suffix alone names no server
       }) {
    std::string spec = c.Spec;
    EXPECT_EQ(TakeSecuritySuffix(spec), c.Tls) << c.Spec;
    EXPECT_EQ(spec, c.Server) << c.Spec;
  }
}

TEST(TlsLoginSuffix, WithoutOnePort995MeansImplicitTls) {
  EXPECT_EQ(ResolveUpstreamTls(TUpstreamTls::utAuto, "995"), TUpstreamTls::utImplicit);
  EXPECT_EQ(ResolveUpstreamTls(TUpstreamTls::utAuto, "pop3s"), TUpstreamTls::utImplicit);
  EXPECT_EQ(ResolveUpstreamTls(TUpstreamTls::utAuto, "110"), TUpstreamTls::utAuto);
  EXPECT_EQ(ResolveUpstreamTls(TUpstreamTls::utAuto, "pop3"), TUpstreamTls::utAuto);
  EXPECT_EQ(ResolveUpstreamTls(TUpstreamTls::utAuto, "9950"), TUpstreamTls::utAuto);
  EXPECT_EQ(ResolveUpstreamTls(TUpstreamTls::utPlain, "995"), TUpstreamTls::utPlain);
  EXPECT_EQ(ResolveUpstreamTls(TUpstreamTls::utImplicit, "110"), TUpstreamTls::utImplicit);
}

// TLS first is for logins that leave the choice to the gateway, to servers
// that are not this machine; an IPv6 address is written in brackets when a
// port follows it, and kept without them (the name TLS checks).
TEST(TlsFirst, IsTriedForLoginsWithoutPortOrSuffixToOtherMachines) {
  struct Case {
    std::string Line, Address, Port;
    bool TlsFirst;
  };
  for (const Case& c : std::vector<Case>{
           {"USER a#pop.example.org\r\n", "pop.example.org", "pop3", true},
           {"USER a#pop.example.org:110\r\n", "pop.example.org", "110", false},
           {"USER a#pop.example.org/plain\r\n", "pop.example.org", "pop3", false},
           {"USER a#pop.example.org/starttls\r\n", "pop.example.org", "pop3", false},
           {"USER a#localhost\r\n", "localhost", "pop3", false},
           {"USER a#127.1.2.3\r\n", "127.1.2.3", "pop3", false},
           {"USER a#[2001:db8::1]:995\r\n", "2001:db8::1", "995", false},
           {"USER a#[2001:db8::1]\r\n", "2001:db8::1", "pop3", true},
           {"USER a#2001:db8::1\r\n", "2001:db8::1", "pop3", true},
           {"USER a#[::1]\r\n", "::1", "pop3", false},
       }) {
    TLoginTarget target = SplitLogin(c.Line, '#', "", "pop3");
    EXPECT_EQ(target.Address, c.Address) << c.Line;
    EXPECT_EQ(target.Port, c.Port) << c.Line;
    EXPECT_EQ(TriesTlsFirst(target.PortNamed, target.Tls, target.Address), c.TlsFirst) << c.Line;
  }
}

TEST(TlsStlsMemory, RemembersHostsIgnoringCaseInTheFileAndKeepsOtherEntries) {
  TempFolder folder;
  const std::string file = folder.File("stlsservers.txt");
  ASSERT_TRUE(WriteFileAtomically(file, "mail.example.net\n"));
  TUpstreamGuard guard;
  EXPECT_FALSE(guard.OffersStls(file, "pop.example.org"));
  guard.RememberStls(file, "POP.Example.org");
  guard.RememberStls(file, "pop.example.org");
  EXPECT_EQ(ReadWholeFile(file), "mail.example.net\r\npop.example.org\r\n");
  TUpstreamGuard later;
  EXPECT_TRUE(later.OffersStls(file, "pop.EXAMPLE.org"));
  EXPECT_TRUE(later.OffersStls(file, "mail.example.net"));

  TUpstreamGuard withoutFile;
  withoutFile.RememberStls("", "pop.example.org");
  EXPECT_TRUE(withoutFile.OffersStls("", "pop.example.org"));
  EXPECT_FALSE(TUpstreamGuard().OffersStls("", "pop.example.org"));
}

}  // namespace
}  // namespace qb::test
