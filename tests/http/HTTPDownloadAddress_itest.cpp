// The address of a download: its port, and https with the certificate
// checked, against http.server on 127.0.0.1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/DownloadTestFixture.h"
#include "support/TestCertificates.h"

namespace qb::testing {
namespace {

class DownloadAddressTest : public DownloadTest {
 protected:
  // Downloads list.txt of `server` by `scheme`; whether the file came.
  bool Download(const ServerProcess& server, const std::string& scheme) {
    WriteBytes(PathIn("www/list.txt"), "one entry\r\n");
    THTTPDownload download;
    download.URL = server.Url("/list.txt", scheme);
    download.FileName = PathIn("list.txt");
    EXPECT_TRUE(RunToEnd(download)) << download.URL;
    return events_.EndEvents() == std::vector<std::string>{"file"} &&
           ReadBytes(PathIn("list.txt")) == "one entry\r\n";
  }
  std::vector<std::string> Tls(const test::TestCertificate& certificate) {
    return {"--port", "0", "--cert", certificate.CertFile, "--key", certificate.KeyFile};
  }

  test::TestCertificates certificates;
  test::ScopedCaFile trusted{certificates.CaFile()};
};

TEST_F(DownloadAddressTest, APortInTheAddressIsTheOneAskedOnHttp) {
  auto server = ServeFiles({"--port", "0"});
  ASSERT_NE(server->Address().find(':'), std::string::npos);
  EXPECT_TRUE(Download(*server, "http"));
  EXPECT_EQ(Requests().size(), 1u);
}

TEST_F(DownloadAddressTest, HttpsWithACertificateOfATrustedAuthorityForTheHost) {
  auto server = ServeFiles(Tls(certificates.Issue()));
  EXPECT_TRUE(Download(*server, "https"));
}

TEST_F(DownloadAddressTest, HttpsRefusesAnUntrustedOrForeignCertificateAndPlainHttp) {
  struct Case {
    test::CertificateRequest request;
    std::string scheme;
  };
  const Case cases[] = {
      {{.UnknownAuthority = true}, "https"},
      {{.AltNames = "DNS:lists.example.org"}, "https"},
      {{.Expired = true}, "https"},
      {{}, "http"},  // never plain HTTP to a TLS server
  };
  for (const Case& c : cases) {
    auto server = ServeFiles(Tls(certificates.Issue(c.request)));
    events_ = {};
    std::filesystem::remove(PathIn("list.txt"));
    EXPECT_FALSE(Download(*server, c.scheme)) << c.request.AltNames;
    EXPECT_EQ(events_.EndEvents(), std::vector<std::string>{"error"});
    EXPECT_FALSE(std::filesystem::exists(PathIn("list.txt")));
  }
}

}  // namespace
}  // namespace qb::testing
