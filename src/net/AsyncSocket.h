// TAsyncSocket: the socket class the program instantiates.
#pragma once

#include "net/CustomAsyncSocket.h"

namespace qb {

class TAsyncSocket : public TCustomAsyncSocket {};

}  // namespace qb
