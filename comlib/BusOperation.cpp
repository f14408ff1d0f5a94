#include "BusOperation.h"

#include "com/error.h"

namespace quorlink {

void ThrowBusBusy() {
  throw comrt::Error(kBusBusy, "A bus operation is already in progress; the nested call was refused.");
}

}  // namespace quorlink
