// The main window's own texts, beside the ones the screening sets: the
// review's figures next to "Remove Checked" and the status bar's text when
// nothing else is to be said.
#pragma once

#include <optional>
#include <string>

namespace qb {

// "3 of 30 messages ticked", then while a mail client waits for the review
// "; the mail client waits 38 more seconds" (at 0: "gets its answer now").
std::string ReviewFiguresText(int ticked, int rows, std::optional<int> secondsLeft);

// "Listening for mail clients on port 1110." while the gateway listens,
// else that no mail is screened.
std::string IdleStatusText(bool listening, int port);

}  // namespace qb
