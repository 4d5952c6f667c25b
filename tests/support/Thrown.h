// The message of the exception an action throws, for comparing error texts
// in one line. An exception of another type than `Exception` is not caught
// and fails the test.
//
//   EXPECT_EQ(Thrown([&] { socket.SetPort("99"); }), "Cannot change Port if not closed");
//   EXPECT_EQ(Thrown<ESocketException>([&] { socket.Connect(); }), "...");
#pragma once

#include <exception>
#include <string>

namespace qb::test {

template <typename Exception = std::exception, typename Action>
std::string Thrown(Action&& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

}  // namespace qb::test
