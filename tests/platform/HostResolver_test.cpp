#include "platform/HostResolver.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qb {
namespace {

// Only names the resolver answers without asking a name server: numeric
// addresses and the hosts file.
TEST(SystemHostResolverTest, ResolvesNumericAddressesAndLocalhost) {
  SystemHostResolver resolver;
  EXPECT_EQ(resolver.ResolveIPv4("127.0.0.2"), (std::vector<Ipv4Address>{{127, 0, 0, 2}}));
  std::vector<Ipv4Address> local = resolver.ResolveIPv4("localhost");
  EXPECT_NE(std::find(local.begin(), local.end(), Ipv4Address{127, 0, 0, 1}), local.end());
}

TEST(SystemHostResolverTest, ANameThatCannotResolveGivesNothing) {
  SystemHostResolver resolver;
  EXPECT_TRUE(resolver.ResolveIPv4("").empty());
  EXPECT_TRUE(resolver.ResolveIPv4(std::string("127.0.0.1\0evil", 14)).empty());
}

class NamedResolver : public IHostResolver {
 public:
  std::vector<Ipv4Address> ResolveIPv4(const std::string&) override { return {{10, 0, 0, 1}}; }
};

TEST(CurrentHostResolverTest, UsesTheInstalledResolverUntilItIsRemoved) {
  NamedResolver fake;
  IHostResolver* previous = InstallHostResolver(&fake);
  EXPECT_EQ(CurrentHostResolver().ResolveIPv4("anything"),
            (std::vector<Ipv4Address>{{10, 0, 0, 1}}));
  InstallHostResolver(previous);
  EXPECT_NE(&CurrentHostResolver(), static_cast<IHostResolver*>(&fake));
  EXPECT_TRUE(CurrentHostResolver().ResolveIPv4("").empty());
}

}  // namespace
}  // namespace qb
