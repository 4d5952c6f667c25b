#include "screening/SessionSteps.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <iostream>

namespace qb {

namespace {

using enum TSessionStep;

using StepSet = std::uint16_t;

constexpr StepSet Steps(std::initializer_list<TSessionStep> steps) {
  StepSet set = 0;
  for (TSessionStep step : steps) set |= static_cast<StepSet>(1u << static_cast<unsigned>(step));
  return set;
}

struct StepRule {
  TSessionStep Step;
  const char* Name;
  const char* Marker;  // the LastCommand text; nullptr: the client's line
  bool ReadsWhole;
  StepSet Follows;  // the steps that may come next
};

constexpr StepSet kAfterClientCommand =
    Steps({ssIdle, ssRelay, ssRelayWhole, ssRetrieve, ssDeleteInstead, ssList, ssCopy});

constexpr std::array<StepRule, 12> kSteps = {{
    {ssIdle, "ssIdle", "-", false, kAfterClientCommand | Steps({ssRemove, ssCopy, ssKeepAlive})},
    {ssGreeting, "ssGreeting", "", true, Steps({ssIdle, ssRelay})},
    {ssRelay, "ssRelay", nullptr, false, kAfterClientCommand},
    {ssRelayWhole, "ssRelayWhole", nullptr, true, kAfterClientCommand},
    {ssRetrieve, "ssRetrieve", "RETR ", false, kAfterClientCommand},
    {ssDeleteInstead, "ssDeleteInstead", "*DELE ", false, kAfterClientCommand},
    {ssList, "ssList", nullptr, true, Steps({ssIdle, ssUidl})},
    {ssUidl, "ssUidl", "*UIDL", true, Steps({ssIdle, ssHeader, ssRemove, ssCopy})},
    {ssHeader, "ssHeader", "*LIST", true, Steps({ssIdle, ssHeader, ssRemove, ssCopy})},
    {ssRemove, "ssRemove", "*REMOVE ", true, Steps({ssIdle, ssRemove, ssCopy})},
    {ssCopy, "ssCopy", "*COPY ", true, kAfterClientCommand | Steps({ssRemove, ssCopy})},
    {ssKeepAlive, "ssKeepAlive", "*NOOP", true, Steps({ssIdle})},
}};

const StepRule& RuleOf(TSessionStep step) {
  return kSteps[static_cast<std::size_t>(step)];
}

static_assert(
    [] {
      for (std::size_t i = 0; i < kSteps.size(); ++i) {
        if (static_cast<std::size_t>(kSteps[i].Step) != i) return false;
      }
      return true;
    }(),
    "the rules are in the order of the steps");

}  // namespace

const char* StepName(TSessionStep step) {
  return RuleOf(step).Name;
}

#ifdef NDEBUG
void TraceStep(std::uint64_t, TSessionStep, TSessionStep) {}
#else
void TraceStep(std::uint64_t session, TSessionStep from, TSessionStep to) {
  static const bool tracing = std::getenv("QUILLBRIGHT_TRACE_STEPS") != nullptr;
  if (!tracing) return;
  std::clog << "session " << session << ": " << StepName(from) << " -> " << StepName(to) << '\n';
}
#endif

std::string LastCommandText(TSessionStep step, std::string_view clientLine, std::int64_t number) {
  const StepRule& rule = RuleOf(step);
  if (rule.Marker == nullptr) return std::string(clientLine);
  std::string text = rule.Marker;
  if (text.ends_with(' ')) text += std::to_string(number);
  return text;
}

bool StepMayFollow(TSessionStep current, TSessionStep next) {
  return (RuleOf(current).Follows & Steps({next})) != 0;
}

bool StepReadsWholeReply(TSessionStep step) {
  return RuleOf(step).ReadsWhole;
}

}  // namespace qb
