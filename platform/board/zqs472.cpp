#include "board/zqs472.h"

namespace qelboard {

void Zqs472::PowerUp() {
  ResetInterface();
  switches_ = 0;
}

bool Zqs472::OnWrite(std::uint8_t byte) {
  switches_ = byte;
  return true;
}

}  // namespace qelboard
