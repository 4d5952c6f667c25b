#include "app/MainWindowTexts.h"

namespace qb {

std::string ReviewFiguresText(int ticked, int rows, std::optional<int> secondsLeft) {
  std::string text = std::to_string(ticked) + " of " + std::to_string(rows) +
                     (rows == 1 ? " message" : " messages") + " ticked";
  if (!secondsLeft) return text;
  if (*secondsLeft <= 0) return text + "; the mail client gets its answer now";
  return text + "; the mail client waits " + std::to_string(*secondsLeft) +
         (*secondsLeft == 1 ? " more second" : " more seconds");
}

std::string IdleStatusText(bool listening, int port) {
  if (!listening) return "Quillbright is not listening: no mail is screened.";
  return "Listening for mail clients on port " + std::to_string(port) + ".";
}

}  // namespace qb
