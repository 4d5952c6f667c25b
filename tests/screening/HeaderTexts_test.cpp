#include "screening/HeaderTexts.h"

#include <gtest/gtest.h>

#include "screening/Classification.h"

namespace qb {
namespace {

TEST(DecodedSubjectTest, ReadsTheSubjectWholeSoTheVirusLineMatches) {
  const std::pair<TextLines, std::string> cases[] = {
      {{"Subject: Here you have, ;o)"}, "Here you have, ;o)"},
      {{"From: a@x", "subject:  \"quoted\"; a=b ", "Subject: second"}, "\"quoted\"; a=b"},
      {{"Subject: Here you have,", " ;o)", "To: b@x"}, "Here you have, ;o)"},
      {{"Subject: =?utf-8?Q?Caf=C3=A9;_ouvert?="}, "Caf\xC3\xA9; ouvert"},
      {{"Subject:"}, ""},
      {{"X-Subject: no"}, ""},
  };
  for (const auto& [lines, subject] : cases) EXPECT_EQ(DecodedSubject(lines), subject) << subject;
  EXPECT_TRUE(PrefixMatches("Here you have, ;o)", DecodedSubject({"Subject: here YOU have, ;o)"})));
}

TEST(DisplayNamePartTest, TakesTheNameBeforeTheAddressOrInTheComment) {
  const std::pair<std::string, std::string> cases[] = {
      {"Lotto Claims <win@lotto.example>", "Lotto Claims"},
      {"\" Lotto Claims \" <win@lotto.example>", "Lotto Claims"},
      {"win@lotto.example (Lotto Claims)", "Lotto Claims"},
      {"<win@lotto.example>", ""},
      {"win@lotto.example", ""},
      {"win@lotto.example (unclosed", ""},
  };
  for (const auto& [text, name] : cases) EXPECT_EQ(DisplayNamePart(text), name) << text;
}

}  // namespace
}  // namespace qb
