// Runs a program, or the current test again, in a child process with a
// private mount namespace (`unshare -m`) in which /etc/resolv.conf,
// /etc/hosts and /etc/nsswitch.conf are private files bound over the real
// ones (`mount --bind`), so that the C library's resolver (getaddrinfo)
// reads only /etc/hosts and asks only the name server the test starts
// (TestDnsResponder.h). Needs root; otherwise the test is skipped.
//
//   TEST(Lookups, TimeOutAgainstASilentServer) {
//     if (!RunInPrivateResolver({.NameServer = "127.0.53.1"})) return;
//     // From here on the body runs in the child.
//     TestDnsResponder dns("127.0.53.1");
//     ...
//   }
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace qb::test {

struct PrivateResolverFiles {
  std::string NameServer = "127.0.53.1";
  // resolv.conf options: the C library's own wait for one query.
  std::string Options = "timeout:5 attempts:1";
  std::string Hosts = "127.0.0.1 localhost\n";
};

// True inside a child started by the functions below.
bool InPrivateResolver();

// Runs argv in the private namespace and waits for it.
ProcessResult RunWithPrivateResolver(const PrivateResolverFiles& files,
                                     const std::vector<std::string>& argv,
                                     std::chrono::milliseconds timeout);

// In the child: returns true, and the test body goes on. In the test
// process: runs this test in the child, reports its failure (or skip) as the
// test's own, and returns false.
bool RunInPrivateResolver(const PrivateResolverFiles& files,
                          std::chrono::milliseconds timeout = std::chrono::seconds(120));

}  // namespace qb::test
