// TAsyncSocket: the socket class the program instantiates (the core with
// line mode).
#pragma once

#include "net/LineSocket.h"

namespace qb {

class TAsyncSocket : public TCustomLineSocket {};

}  // namespace qb
