#include "com/convert.h"

#include <cmath>

#include "com/error.h"

namespace comrt {

double RoundHalfEven(double value) {
  // nearbyint rounds in the current mode; the library never changes it from to-nearest-even.
  return std::nearbyint(value);
}

namespace {
double RoundInRange(double value, double low, double high) {
  if (std::isnan(value)) ThrowOverflow();
  const double rounded = RoundHalfEven(value);
  if (rounded < low || rounded > high) ThrowOverflow();
  return rounded;
}
}  // namespace

int32_t ToInt32(double value) { return static_cast<int32_t>(RoundInRange(value, -2147483648.0, 2147483647.0)); }
int16_t ToInt16(double value) { return static_cast<int16_t>(RoundInRange(value, -32768.0, 32767.0)); }
uint8_t ToUInt8(double value) { return static_cast<uint8_t>(RoundInRange(value, 0.0, 255.0)); }

}  // namespace comrt
