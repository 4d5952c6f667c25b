// Expects a process-wide counter of the program (faults it tolerated
// silently, such as exceptions a receive loop dropped) to stand where it stood
// when the guard was made, plus what the test said it would add. Keep one in
// a fixture and check it in TearDown:
//
//   test::UnchangedCounter dropped{"exceptions dropped by a receive loop",
//                                  &TCustomAsyncSocket::DroppedExceptions};
//   void TearDown() override { dropped.Check(); }
//   ... dropped.Expect(1);  // in a test whose handler throws on purpose
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace qb::test {

class UnchangedCounter {
 public:
  UnchangedCounter(std::string what, std::function<std::int64_t()> read)
      : what_(std::move(what)), read_(std::move(read)), start_(read_()) {}

  void Expect(std::int64_t more) { expected_ += more; }
  void Check() const { EXPECT_EQ(read_() - start_, expected_) << what_; }

 private:
  std::string what_;
  std::function<std::int64_t()> read_;
  std::int64_t start_;
  std::int64_t expected_ = 0;
};

}  // namespace qb::test
