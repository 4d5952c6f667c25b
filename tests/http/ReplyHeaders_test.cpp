#include "http/ReplyHeaders.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace qb {
namespace {

ReplyHeaders Collect(std::initializer_list<std::string> lines) {
  ReplyHeaders reply;
  for (const std::string& line : lines) reply.AddLine(line);
  return reply;
}

TEST(ReplyHeadersTest, ReadsStatusAndContentLengthUntilTheEmptyLine) {
  ReplyHeaders reply = Collect(
      {"HTTP/1.0 200 OK\r\n", "content-LENGTH:  1234 \r\n", "Content-Type: text/plain\r\n"});
  EXPECT_FALSE(reply.Complete());
  reply.AddLine("\r\n");
  EXPECT_TRUE(reply.Complete());
  EXPECT_EQ(reply.Status(), 200);
  EXPECT_TRUE(reply.IsSuccess());
  EXPECT_EQ(reply.ContentLength(), "1234");
}

TEST(ReplyHeadersTest, OnlyTwoHundredsAreSuccess) {
  for (auto [line, success] : {std::pair{"HTTP/1.0 204 No Content", true},
                               {"HTTP/1.1 299 Odd", true},
                               {"HTTP/1.0 301 Moved Permanently", false},
                               {"HTTP/1.0 404 Not Found", false},
                               {"HTTP/1.0 500 Internal Server Error", false},
                               {"HTTP/1.0 2000 Far Too Long", false},
                               {"HTTP/1.0 OK", false}}) {
    EXPECT_EQ(Collect({line, ""}).IsSuccess(), success) << line;
  }
  EXPECT_EQ(Collect({"HTTP/1.0 -12 Negative", ""}).Status(), 0) << "a sign is no status code";
}

TEST(ReplyHeadersTest, ANewStatusLineForgetsAnInterimReply) {
  ReplyHeaders reply = Collect(
      {"HTTP/1.1 100 Continue\r\n", "Content-Length: 5\r\n", "\r\n", "HTTP/1.1 200 OK\r\n"});
  EXPECT_FALSE(reply.Complete());
  EXPECT_FALSE(reply.ContentLength());
  reply.AddLine("\n");
  EXPECT_TRUE(reply.Complete());
  EXPECT_EQ(reply.Status(), 200);
}

TEST(ReplyHeadersTest, RepeatedLengthsMustAgree) {
  EXPECT_EQ(Collect({"HTTP/1.0 200 OK", "Content-Length: 7", "Content-Length: 7"}).ContentLength(),
            "7");
  auto conflicting = Collect({"HTTP/1.0 200 OK", "Content-Length: 7", "Content-Length: 8"});
  ASSERT_TRUE(conflicting.ContentLength());
  EXPECT_FALSE(ParseContentLength(*conflicting.ContentLength()));
}

TEST(ContentLengthTest, AcceptsOnlyPlainDecimalNumbers) {
  EXPECT_EQ(ParseContentLength("0"), 0);
  EXPECT_EQ(ParseContentLength(" 104857600 "), 104857600);
  EXPECT_EQ(ParseContentLength("9223372036854775807"), INT64_MAX);
  for (const char* bad :
       {"", " ", "ten", "12a", "-1", "+1", "1 2", "0x10", "1.5", "9223372036854775808"}) {
    EXPECT_FALSE(ParseContentLength(bad)) << bad;
  }
}

}  // namespace
}  // namespace qb
