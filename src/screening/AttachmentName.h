// The attachment name of a message as the review list's "File" column shows
// it: the names its parts give, or what its top-level header says.
#pragma once

#include <string>
#include <string_view>

#include "platform/MimeTypes.h"
#include "screening/ScreeningText.h"

namespace qb {

// The extension registered for the content type, with its dot, or empty.
std::string ExtensionForContentType(std::string_view contentType,
                                    const IMimeTypes& types = CurrentMimeTypes());

// The trimmed text cut to 254 characters, with control characters and the
// characters : \ / * ? " < > | ' replaced by "_".
std::string SafeFileName(std::string_view text);

// The Content-Type name, else the Content-Disposition filename, else the
// Content-ID, else the content type with its extension, else "unknown";
// decoded, given the content type's extension when it has no ".", and made
// safe as a file name.
std::string GetAttachmentName(const TextLines& lines, const IMimeTypes& types = CurrentMimeTypes());

// The "File" column: the part names (PartFileNames) made safe and joined by
// ", ", cut as SafeFileName cuts; without any, GetAttachmentName of the
// header with its folded lines joined.
std::string AttachmentsText(const TextLines& header, const TextLines& partNames,
                            const IMimeTypes& types = CurrentMimeTypes());

}  // namespace qb
