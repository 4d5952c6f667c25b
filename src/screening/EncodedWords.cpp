#include "screening/EncodedWords.h"

#include "screening/ScreeningText.h"
#include "screening/TransferDecoding.h"

namespace qb {

namespace {

constexpr auto npos = std::string::npos;

// Where one encoded word lies: `start` at its "=?", `charsetEnd` at the
// "?" after the charset, `end` at the "?" of its closing "?=".
struct EncodedWordSpan {
  std::size_t start;
  std::size_t charsetEnd;
  std::size_t end;
};

// The closing "?=", moved to the next "?" when that one is followed by "=",
// so that a Q-encoded text may begin with "=".
std::size_t FindWordEnd(const std::string& text, std::size_t charsetEnd) {
  std::size_t end = text.find("?=", charsetEnd + 1);
  if (end == npos) return npos;
  std::size_t next = text.find('?', end + 1);
  if (next != npos && next + 1 < text.size() && text[next + 1] == '=') end = next;
  return end;
}

std::optional<EncodedWordSpan> FindEncodedWord(const std::string& text, std::size_t from) {
  std::size_t start = text.find("=?", from);
  if (start == npos) return std::nullopt;
  std::size_t charsetEnd = text.find('?', start + 2);
  if (charsetEnd == npos) return std::nullopt;
  std::size_t end = FindWordEnd(text, charsetEnd);
  if (end == npos || end <= charsetEnd) return std::nullopt;
  return EncodedWordSpan{start, charsetEnd, end};
}

char EncodingLetter(std::string_view encodingAndText) {
  if (encodingAndText.size() >= 2 && encodingAndText[1] == '?') {
    char letter = UpperAsciiChar(encodingAndText[0]);
    if (letter == 'B' || letter == 'U') return letter;
  }
  return 'Q';
}

std::string UpToFirstZeroByte(std::string bytes) {
  std::size_t zero = bytes.find('\0');
  if (zero != npos) bytes.resize(zero);
  return bytes;
}

std::string DecodeWordText(char encoding, std::string_view encoded) {
  if (encoded.empty()) return std::string();
  if (encoding == 'B') return UpToFirstZeroByte(DecodeBase64(encoded));
  if (encoding == 'U') return UpToFirstZeroByte(DecodeUULine(encoded));
  std::string withBlanks(encoded);
  for (char& c : withBlanks) {
    if (c == '_') c = ' ';
  }
  return DecodeQuotedPrintable(withBlanks);
}

}  // namespace

std::string DecodeEncodedWords(std::string_view text) {
  std::string result(TrimBlanks(text));
  std::size_t searchFrom = 0;
  while (std::optional<EncodedWordSpan> word = FindEncodedWord(result, searchFrom)) {
    std::string_view middle =
        std::string_view(result).substr(word->charsetEnd + 1, word->end - word->charsetEnd - 1);
    char encoding = EncodingLetter(middle);
    std::string decoded =
        DecodeWordText(encoding, middle.substr(middle.size() < 2 ? middle.size() : 2));
    result.replace(word->start, word->end + 2 - word->start, decoded);
    // The decoded bytes are searched again; nothing before the word's start
    // can begin a new "=?" except its last character.
    searchFrom = word->start == 0 ? 0 : word->start - 1;
  }
  return result;
}

}  // namespace qb
