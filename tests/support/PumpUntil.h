// Turns the program's message loop until a condition holds, for at most a
// given time.
//
//   ASSERT_TRUE(PumpUntil([&] { return controller.Rows().size() == 3; }, 5s));
#pragma once

#include <chrono>
#include <functional>

namespace qb::test {

// Calls MessageLoop::Instance().WaitAndDispatch in slices until `condition`
// is true or `timeout` has passed; returns the condition's last value.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace qb::test
