#include "http/SplitURL.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

void ExpectSplit(const std::string& url, const std::string& host, const std::string& path) {
  TURLParts parts = SplitURL(url);
  EXPECT_EQ(parts.Host, host) << url;
  EXPECT_EQ(parts.Path, path) << url;
}

TEST(SplitURLTest, SplitsAtTheFirstSlashAfterThePrefixInAnyCase) {
  ExpectSplit("http://lists.example/quillbright/vlist.txt", "lists.example",
              "/quillbright/vlist.txt");
  ExpectSplit("HTTP://lists.example/a", "lists.example", "/a");
  ExpectSplit("hTtP://lists.example/", "lists.example", "/");
  ExpectSplit("http://h/a/b?c=/d", "h", "/a/b?c=/d");
}

TEST(SplitURLTest, WithoutAPrefixTheWholeTextIsSplit) {
  ExpectSplit("lists.example/vlist.txt", "lists.example", "/vlist.txt");
  ExpectSplit("https://lists.example/x", "https:", "//lists.example/x");
}

TEST(SplitURLTest, WithoutASlashTheHostIsEmptyAndThePathIsEverything) {
  ExpectSplit("http://lists.example", "", "lists.example");
  ExpectSplit("http://", "", "");
  ExpectSplit("", "", "");
}

TEST(SplitURLTest, APortStaysPartOfTheHostName) {
  ExpectSplit("http://lists.example:8080/vlist.txt", "lists.example:8080", "/vlist.txt");
}

}  // namespace
}  // namespace qb
