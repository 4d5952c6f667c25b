// The exception class of the socket layer.
#pragma once

#include <stdexcept>
#include <string>

namespace qb {

class ESocketException : public std::runtime_error {
 public:
  explicit ESocketException(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qb
