#include "notify/NotifyGeometry.h"

#include <cmath>
#include <cstdlib>

namespace qb {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long product = static_cast<long long>(a) * b;
  long long quotient = (std::llabs(product) + std::llabs(static_cast<long long>(c)) / 2) /
                       std::llabs(static_cast<long long>(c));
  bool negative = (product < 0) != (c < 0);
  return static_cast<int>(negative ? -quotient : quotient);
}

int RoundHalfEven(double x) {
  return static_cast<int>(std::nearbyint(x));
}

}  // namespace qb
