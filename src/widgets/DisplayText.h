// Texts between the program's byte strings and Qt's strings. Header texts
// keep the bytes of their charset, so a text that is valid UTF-8 shows as
// UTF-8 and any other as Latin-1, byte for character.
#pragma once

#include <QString>
#include <string>

namespace qb {

QString DisplayText(const std::string& bytes);
std::string WireText(const QString& text);  // UTF-8

}  // namespace qb
