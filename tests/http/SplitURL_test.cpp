#include "http/SplitURL.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(SplitURLTest, SchemeHostPortAndPathOfTheAddress) {
  struct Case {
    std::string url, scheme, host, port, path;
  };
  const Case cases[] = {
      {"http://lists.example/quillbright/vlist.txt", "http", "lists.example", "",
       "/quillbright/vlist.txt"},
      {"HTTP://lists.example/a", "http", "lists.example", "", "/a"},
      {"hTtPs://lists.example/", "https", "lists.example", "", "/"},
      {"http://h/a/b?c=/d", "http", "h", "", "/a/b?c=/d"},
      {"http://lists.example:8080/vlist.txt", "http", "lists.example", "8080", "/vlist.txt"},
      {"https://127.0.0.1:8443/x:1", "https", "127.0.0.1", "8443", "/x:1"},
      {"http://[::1]:81/x", "http", "[::1]", "81", "/x"},
      {"http://[::1]/x", "http", "[::1]", "", "/x"},
      {"http://h:/x", "http", "h:", "", "/x"},
      {"http://h:8o/x", "http", "h:8o", "", "/x"},
      {"lists.example/vlist.txt", "http", "lists.example", "", "/vlist.txt"},
      {"ftp://lists.example/x", "http", "ftp:", "", "//lists.example/x"},
      // Without a slash the host is empty and the path is everything.
      {"http://lists.example:80", "http", "", "", "lists.example:80"},
      {"https://", "https", "", "", ""},
      {"", "http", "", "", ""},
  };
  for (const Case& c : cases) {
    TURLParts parts = SplitURL(c.url);
    EXPECT_EQ(parts.Scheme, c.scheme) << c.url;
    EXPECT_EQ(parts.Host, c.host) << c.url;
    EXPECT_EQ(parts.Port, c.port) << c.url;
    EXPECT_EQ(parts.Path, c.path) << c.url;
  }
}

}  // namespace
}  // namespace qb
