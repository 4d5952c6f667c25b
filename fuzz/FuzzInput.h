// Turning a fuzzer's bytes into the inputs the decoders take, and stopping
// loudly when a result breaks what the decoder promises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "screening/ScreeningText.h"

namespace qb::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The bytes split at LF, as header lines arrive one per line.
inline TextLines AsLines(const std::uint8_t* data, std::size_t size) {
  TextLines lines(1);
  for (char c : AsText(data, size)) {
    if (c == '\n') {
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

// The bytes before the first LF and those after it.
inline std::pair<std::string_view, std::string_view> SplitAtFirstLine(std::string_view text) {
  std::size_t end = text.find('\n');
  if (end == std::string_view::npos) return {std::string_view(), text};
  return {text.substr(0, end), text.substr(end + 1)};
}

inline void Require(bool holds) {
  if (!holds) __builtin_trap();
}

}  // namespace qb::fuzz
