// Texts between the program's byte strings and Qt's strings. Header texts
// keep the bytes of their charset, so a text that is valid UTF-8 shows as
// UTF-8 and any other as Latin-1, byte for character.
#pragma once

#include <QString>
#include <string>

namespace qb {

QString DisplayText(const std::string& bytes);
std::string WireText(const QString& text);  // UTF-8

// A size in octets as people read it: "512 bytes", "2.4 KB", "2.4 MB",
// "245 MB" (powers of 1000, one decimal below 100 of a unit); a text
// that is not a size ("-") is shown as it is.
QString ReadableSize(const std::string& octets);
// The exact figure with thousands grouped: "2,412,071 bytes".
QString ExactSize(const std::string& octets);

}  // namespace qb
