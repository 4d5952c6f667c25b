#include "screening/AttachmentName.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

class AttachmentNameTest : public ::testing::Test {
 protected:
  MimeTypeTable types = MimeTypeTable::FromText("text/plain txt asc\napplication/pdf pdf\n");

  std::string NameOf(const TextLines& lines) const { return GetAttachmentName(lines, types); }
};

TEST_F(AttachmentNameTest, TakesTheQuotedNameParameter) {
  EXPECT_EQ(NameOf({"Content-Type: application/pdf; name=\"report 1.pdf\""}), "report 1.pdf");
}

TEST_F(AttachmentNameTest, ReplacesCharactersNotAllowedInFileNames) {
  EXPECT_EQ(NameOf({"Content-Type: application/pdf; name=\"a:b?.pdf\""}), "a_b_.pdf");
}

TEST_F(AttachmentNameTest, FallsBackInOrder) {
  EXPECT_EQ(NameOf({"Content-Type: text/plain", "Content-Disposition: attachment; filename=x.doc"}),
            "x.doc");
  EXPECT_EQ(NameOf({"Content-ID: <part1@host>"}), "_part1@host_");
  EXPECT_EQ(NameOf({"Content-Type: text/plain"}), "text_plain.txt");
  EXPECT_EQ(NameOf({"Content-Type: multipart/mixed; boundary=\"b\""}), "multipart_mixed");
  EXPECT_EQ(NameOf({"Subject: hi"}), "unknown");
}

TEST_F(AttachmentNameTest, DecodesTheNameAndAddsTheExtension) {
  EXPECT_EQ(NameOf({"Content-Type: application/pdf; name=\"=?iso-8859-1?Q?r=E9sum=E9?=\""}),
            "r\xE9sum\xE9.pdf");
  EXPECT_EQ(NameOf({"Content-Type: text/plain; name=readme"}), "readme.txt");
}

TEST(ExtensionForContentTypeTest, UnknownTypesGiveNothing) {
  MimeTypeTable types = MimeTypeTable::FromText("text/plain txt\n");
  EXPECT_EQ(ExtensionForContentType("TEXT/Plain", types), ".txt");
  EXPECT_EQ(ExtensionForContentType("application/x-unheard-of", types), "");
  EXPECT_EQ(ExtensionForContentType("", types), "");
}

TEST(SafeFileNameTest, TrimsCutsAndReplaces) {
  EXPECT_EQ(SafeFileName("  a\\b/c*d?e\"f<g>h|i'j:k  "), "a_b_c_d_e_f_g_h_i_j_k");
  EXPECT_EQ(SafeFileName(std::string("a\x01\x1f") + "b"), "a__b");
  EXPECT_EQ(SafeFileName("caf\xE9"), "caf\xE9") << "bytes above 127 are kept";
  EXPECT_EQ(SafeFileName(std::string(300, 'x')), std::string(254, 'x'));
}

}  // namespace
}  // namespace qb
