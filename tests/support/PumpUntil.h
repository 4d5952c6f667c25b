// Turns the program's message loop until a condition holds, for at most a
// given time (ten seconds unless told), or for a number of turns.
//
//   ASSERT_TRUE(PumpUntil([&] { return controller.Rows().size() == 3; }, 5s));
//   PumpFor(300ms);  // then expect that nothing more happened
#pragma once

#include <chrono>
#include <functional>

namespace qb::test {

// Calls MessageLoop::Instance().WaitAndDispatch in slices until `condition`
// is true or `timeout` has passed; returns the condition's last value.
bool PumpUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Turns the loop for `duration` or `turns` turns of at most `slice` each,
// whatever happens meanwhile: for checks that something does not happen.
void PumpFor(std::chrono::milliseconds duration);
void PumpTurns(int turns, std::chrono::milliseconds slice);

}  // namespace qb::test
