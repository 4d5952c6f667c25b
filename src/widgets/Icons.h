// The program's icons, painted in code: the program icon (an envelope with
// a quill), the seven category icons of the review list, and the logo. Each
// icon is a coloured shape with a dark outline and a white sign, so it
// reads at 16 pixels on light and on dark themes alike.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "screening/MessageRow.h"

namespace qb {

QIcon ProgramIcon();
QIcon CategoryIcon(MessageCategory category);
QPixmap LogoPixmap(int height);

}  // namespace qb
