#include "support/PumpUntil.h"

#include "platform/MessageLoop.h"

#include <algorithm>

namespace qb::test {

namespace {

// The longest single wait, so that a condition changed by another thread
// without any message is still noticed soon.
constexpr std::chrono::milliseconds kSlice(20);

}  // namespace

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  MessageLoop& loop = MessageLoop::Instance();
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    loop.WaitAndDispatch(
        std::min(std::chrono::ceil<std::chrono::milliseconds>(deadline - now), kSlice));
  }
  return true;
}

void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

void PumpTurns(int turns, std::chrono::milliseconds slice) {
  for (int turn = 0; turn < turns; ++turn) MessageLoop::Instance().WaitAndDispatch(slice);
}

}  // namespace qb::test
