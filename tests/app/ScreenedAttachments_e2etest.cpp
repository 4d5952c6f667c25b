// quillbrightd with the lists it ships, between fetchmail and a real
// Dovecot: a message whose attachment is a disguised program and one whose
// subject is a worm's (with its ";") are ticked and removed, the others
// arrive byte for byte, and the scan's TOP n k reached the server.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "platform/FileStore.h"
#include "screening/TopReply.h"
#include "support/DovecotServer.h"
#include "support/MailClients.h"
#include "support/QuillbrightdProcess.h"
#include "support/TempFolder.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

std::string Lines(const std::string& text, int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += text + std::to_string(i) + "\r\n";
  return lines;
}

std::string Plain(const std::string& subject) {
  return "From: Friend <friend@example.org>\r\nTo: alice@example.org\r\nSubject: " + subject +
         "\r\n\r\n" + Lines("a line of text ", 300);
}

// A friend's address, as worms forge it.
const std::string kWorm =
    "From: Friend <friend@example.org>\r\nTo: alice@example.org\r\nSubject: your invoice\r\n"
    "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"=_part\"\r\n\r\n"
    "--=_part\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nSee the invoice.\r\n"
    "--=_part\r\nContent-Type: application/octet-stream;\r\n name=\"invoice.pdf.exe\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment;\r\n filename=\"invoice.pdf.exe\"\r\n\r\n" +
    Lines("TVqQAAMAAAAEAAAA//8AALgAAAAAAAAAQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", 400) +
    "--=_part--\r\n";
const std::string kWormSubject =
    "From: someone@example.net\r\nSubject: Here you have, ;o)\r\n\r\n" +
    Lines("filler to pass the virus size ", 300);

TEST(ScreenedAttachments, ADisguisedProgramAndAWormSubjectAreRemovedTheRestArrivesWhole) {
  DovecotServer dovecot{{.RecordSessions = true}};
  const std::vector<std::string> good = {Plain("one"), Plain("two")};
  for (const std::string& message : {good[0], kWorm, kWormSubject, good[1]}) {
    dovecot.AddMessage("alice", message);
  }
  dovecot.Start();
  TempFolder home{"qb-e2e-attachments"};
  std::filesystem::path shipped = std::filesystem::path(QuillbrightdProgram()).parent_path();
  for (const char* name : {"vlist.txt", "attlist.txt"}) {
    std::optional<std::string> list = ReadWholeFile((shipped / name).string());
    ASSERT_TRUE(list) << "the shipped " << name << " beside the program";
    ASSERT_TRUE(WriteFileAtomically(home.File(name), *list));
  }
  ASSERT_TRUE(WriteFileAtomically(home.File("friends.txt"), "friend@example.org\r\n"));
  QuillbrightdProcess daemon(home.Path().string());
  ASSERT_TRUE(daemon.Listening()) << daemon.Stop().Errors;
  Fetchmail fetchmail({.User = "alice#127.0.0.1:" + std::to_string(dovecot.Port()),
                       .Password = "secret",
                       .Port = daemon.Port(),
                       .Keep = true});
  ProcessResult result = fetchmail.Run(90s);
  ProcessResult end = daemon.Stop(SIGTERM);
  EXPECT_EQ(result.ExitCode, 0) << result.Output << result.Errors << end.Errors;
  std::vector<std::string> delivered = fetchmail.Delivered();
  ASSERT_EQ(delivered.size(), good.size()) << result.Errors << end.Errors;
  for (std::size_t i = 0; i < good.size(); ++i) {
    EXPECT_TRUE(delivered[i].ends_with(good[i])) << "message " << i << " arrived changed";
  }
  EXPECT_EQ(dovecot.Messages("alice"), good);
  std::string log = ReadWholeFile(home.File("removed.log")).value_or("");
  EXPECT_NE(log.find("\t.pdf.exe\t"), std::string::npos) << log;
  EXPECT_NE(log.find("\tHere you have, ;o)\t"), std::string::npos) << log;
  EXPECT_NE(dovecot.RawLog("alice").find("TOP 2 " + std::to_string(kScanBodyLines)),
            std::string::npos);
}

}  // namespace
}  // namespace qb::test
