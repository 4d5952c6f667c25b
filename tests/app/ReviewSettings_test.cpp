#include "app/ReviewSettings.h"

#include <gtest/gtest.h>

#include "support/ProgramEnvironment.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

TEST(ReviewSettings, TheHoldIsWholeSecondsUpToTheLongestHoldOrElseTheDefault) {
  struct Case {
    std::optional<std::string> Value;
    std::chrono::milliseconds Hold;
  } cases[] = {
      {"5", 5s}, {"540", 540s}, {"541", 45s}, {"0", 45s},          {"-3", 45s},
      {"", 45s}, {"ten", 45s},  {"5s", 45s},  {std::nullopt, 45s},
  };
  for (const Case& each : cases) {
    ScopedVariable variable("QUILLBRIGHT_REVIEW_HOLD", each.Value);
    EXPECT_EQ(ReviewHoldSetting(45s), each.Hold) << each.Value.value_or("(unset)");
  }
}

TEST(CheckAheadSetting, IsOffUnlessTheUserTurnsItOn) {
  struct Case {
    std::optional<std::string> Value;
    std::optional<std::chrono::minutes> Every;
  } cases[] = {
      {std::nullopt, std::nullopt}, {"", std::nullopt}, {"off", std::nullopt}, {"0", std::nullopt},
      {"1441", std::nullopt},       {"on", 10min},      {"3", 3min},           {"1440", 1440min},
  };
  for (const Case& each : cases) {
    ScopedVariable variable("QUILLBRIGHT_CHECK_AHEAD", each.Value);
    EXPECT_EQ(CheckAheadSetting(), each.Every) << each.Value.value_or("(unset)");
  }
}

}  // namespace
}  // namespace qb::test
