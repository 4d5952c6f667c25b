// What the scan makes of one TOP reply: the header and body split, the file
// names of the parts (nested, encoded, RFC 2231), and the File column.
#include "screening/MimeParts.h"

#include <gtest/gtest.h>

#include "screening/AttachmentName.h"
#include "screening/ListFile.h"
#include "screening/MimeParameters.h"
#include "screening/TopReply.h"

namespace qb {
namespace {

TextLines Lines(std::string_view text) {
  return ParseListText(text);
}

struct NamesCase {
  const char* What;
  const char* Header;
  const char* Body;
  TextLines Names;
};

const NamesCase kNamesCases[] = {
    {"a folded boundary, a filename and a name",
     "Content-Type: multipart/mixed;\r\n\tboundary=\"=_a\"",
     "preamble\r\n--=_a\r\nContent-Type: text/plain\r\n\r\nhi\r\n--=_a\r\n"
     "Content-Type: application/octet-stream; name=\"ignored.bin\"\r\n"
     "Content-Disposition: attachment;\r\n filename=\"invoice.pdf.exe\"\r\n\r\nTVqQ\r\n"
     "--=_a\r\nContent-Type: image/png; name=logo.png\r\n\r\niVBO\r\n--=_a--\r\n",
     {"invoice.pdf.exe", "logo.png"}},
    {"nested multiparts, closed in turn",
     "Content-Type: multipart/mixed; boundary=outer",
     "--outer\r\nContent-Type: multipart/alternative; boundary=inner\r\n\r\n"
     "--inner\r\nContent-Type: text/plain\r\n\r\nx\r\n--inner\r\nContent-Type: text/html\r\n\r\n"
     "<p>\r\n--inner--\r\n--outer\r\nContent-Type: application/zip; name=a.zip\r\n\r\nUEsD\r\n"
     "--outer  \r\nContent-Disposition: attachment; filename=b.scr\r\n\r\n--outer--\r\n"
     "--inner\r\nContent-Disposition: attachment; filename=after-the-end.exe\r\n\r\n",
     {"a.zip", "b.scr"}},
    {"encoded words, RFC 2231 values and continuations",
     "Content-Type: multipart/mixed; boundary=\"b\"",
     "--b\r\nContent-Disposition: attachment; filename=\"=?UTF-8?B?cmVjaW51LmV4ZQ==?=\"\r\n\r\n"
     "--b\r\nContent-Disposition: attachment; filename*=UTF-8''r%C3%A9sum%C3%A9.js\r\n\r\n"
     "--b\r\nContent-Type: application/x-msdownload;\r\n name*0*=us-ascii'en'very%20long;\r\n"
     " name*1=\"-name\"; name*2*=.ex%65\r\n\r\n"
     "--b\r\nContent-Disposition: attachment; FILENAME=\"quoted \\\"x\\\".txt\"\r\n\r\n",
     {"recinu.exe", "r\xC3\xA9sum\xC3\xA9.js", "very long-name.exe", "quoted \"x\".txt"}},
    {"an attached message's own parts",
     "Content-Type: multipart/mixed; boundary=m",
     "--m\r\nContent-Type: message/rfc822\r\n\r\nSubject: fwd\r\n"
     "Content-Type: multipart/mixed; boundary=n\r\n\r\n--n\r\n"
     "Content-Disposition: attachment; filename=inner.vbs\r\n\r\n--n--\r\n--m--\r\n",
     {"inner.vbs"}},
    {"a single part that is the file, and a uuencoded one",
     "Content-Type: application/octet-stream;\r\n name=\"setup.msi\"",
     "text\r\nbegin 644 old.pif\r\nM9&5M\r\nend\r\nbegin here, 644 times\r\n",
     {"setup.msi", "old.pif"}},
    {"a part header past the lines that came",
     "Content-Type: multipart/mixed; boundary=x",
     "--x\r\nContent-Type: text/plain\r\n\r\nline\r\nline\r\n",
     {}},
    {"a boundary that only begins the line is no delimiter",
     "Content-Type: multipart/mixed; boundary=ab",
     "--abc\r\nContent-Disposition: attachment; filename=no.exe\r\n\r\n",
     {}},
};

TEST(PartFileNamesTest, FindsTheNamesOfEveryPartTheLinesReach) {
  for (const NamesCase& each : kNamesCases) {
    EXPECT_EQ(PartFileNames(Lines(each.Header), Lines(each.Body)), each.Names) << each.What;
  }
}

TEST(MimeParameterTest, ReadsTokensQuotesAndExtendedValues) {
  TMimeField field = ParseMimeField(
      " Text/Plain ; Charset = \"utf-8\" trailing; a=1; A=2; b*=iso-8859-1'de'%E4%zz; c*0*=%41;"
      " c*2=gap; broken");
  EXPECT_EQ(field.Value, "text/plain");
  EXPECT_EQ(MimeParameter(field, "charset"), "utf-8");
  EXPECT_EQ(MimeParameter(field, "A"), "1") << "the first of a parameter given twice";
  EXPECT_EQ(MimeParameter(field, "b"), "\xE4%zz") << "a bad escape stays as it is";
  EXPECT_EQ(MimeParameter(field, "c"), "A") << "sections stop at the first missing one";
  EXPECT_EQ(MimeParameter(field, "broken"), "");
  EXPECT_EQ(MimeParameter(ParseMimeField(""), "name"), "");
}

TEST(AttachmentsTextTest, JoinsSafeNamesOrFallsBackToTheHeader) {
  MimeTypeTable types = MimeTypeTable::FromText("text/plain txt\n");
  TextLines multipart = Lines("Content-Type: multipart/mixed;\r\n boundary=b");
  EXPECT_EQ(AttachmentsText(multipart, {"a:b.exe", "c.png"}, types), "a_b.exe, c.png");
  EXPECT_EQ(AttachmentsText(multipart, {}, types), "multipart_mixed");
  EXPECT_EQ(AttachmentsText(Lines("Content-Type: text/plain;\r\n name=\"notes\""), {}, types),
            "notes.txt")
      << "a folded name of the top header";
  EXPECT_EQ(AttachmentsText(multipart, TextLines(100, std::string(20, 'x')), types).size(), 254u);
  EXPECT_TRUE(IsMultipart(multipart));
  EXPECT_FALSE(IsMultipart(Lines("Content-Type: text/plain")));
}

TEST(TopReplyTest, SplitsHeaderAndBodyAndUnstuffsDots) {
  TTopReply top = SplitTopReply("+OK\r\nSubject: a\r\n b\r\n\r\n..dot\r\nline\r\n\r\n.\r\n");
  EXPECT_EQ(top.Header, (TextLines{"Subject: a", " b"}));
  EXPECT_EQ(top.Body, (TextLines{".dot", "line", ""}));
  TTopReply headerOnly = SplitTopReply("+OK\r\nSubject: a\r\n.\r\n");
  EXPECT_EQ(headerOnly.Header, (TextLines{"Subject: a"}));
  EXPECT_TRUE(headerOnly.Body.empty());
}

TEST(TopReplyTest, AReplyCutByTheBoundLosesItsPartialLine) {
  std::string reply = "+OK\r\nSubject: kept\r\nX-Long: " + std::string(100, 'x') + "\r\n\r\n.\r\n";
  std::string kept;
  KeepReplyPiece(kept, std::string_view(reply).substr(0, 30), 40);
  KeepReplyPiece(kept, std::string_view(reply).substr(30), 40);
  EXPECT_EQ(kept, reply.substr(0, 40));
  EXPECT_EQ(SplitTopReply(kept).Header, (TextLines{"Subject: kept"}));
  EXPECT_TRUE(SplitTopReply("+OK no line end").Header.empty());
}

TEST(TopReplyTest, KeepsOnlyTheFirstBodyLinesWithinTheirBounds) {
  TextLines body(kScanBodyLines + 10, "0123456789");
  EXPECT_EQ(FirstBodyLines(body, 1u << 20).size(), static_cast<std::size_t>(kScanBodyLines));
  EXPECT_EQ(FirstBodyLines(body, 25), (TextLines{"0123456789", "0123456789"}));
}

}  // namespace
}  // namespace qb
