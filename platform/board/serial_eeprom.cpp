#include "board/serial_eeprom.h"

#include <algorithm>

namespace qelboard {

SerialEeprom::SerialEeprom(std::uint8_t address, EepromGeometry geometry)
    : TwoWireTarget(address), geometry_(geometry), mask_(geometry.size - 1), memory_(geometry.size, 0xFF) {
  page_.reserve(geometry.page_size);
}

void SerialEeprom::Erase() { std::fill(memory_.begin(), memory_.end(), 0xFF); }

void SerialEeprom::PowerUp() {
  ResetInterface();
  counter_ = 0;
  writing_ = false;
  page_.clear();
}

void SerialEeprom::OnStart() {
  writing_ = false;
  page_.clear();
}

void SerialEeprom::OnAddressed(bool read) {
  writing_ = !read;
  address_bytes_seen_ = 0;
  data_bytes_seen_ = 0;
  pending_address_ = 0;
  page_.clear();
}

bool SerialEeprom::OnWrite(std::uint8_t byte) {
  if (address_bytes_seen_ < geometry_.address_bytes) {
    pending_address_ = pending_address_ << 8 | byte;
    if (++address_bytes_seen_ == geometry_.address_bytes) {
      counter_ = pending_address_ & mask_;
      page_start_ = counter_;
    }
    return true;
  }
  // The chip's page buffer holds one page: further bytes roll over and replace the first ones.
  const std::uint32_t slot = data_bytes_seen_++ & (geometry_.page_size - 1);
  if (slot < page_.size()) {
    page_[slot] = byte;
  } else {
    page_.push_back(byte);
  }
  return true;
}

std::uint8_t SerialEeprom::OnRead() {
  const std::uint8_t byte = memory_[counter_];
  counter_ = (counter_ + 1) & mask_;
  return byte;
}

void SerialEeprom::OnStop() {
  if (!writing_ || page_.empty()) {
    writing_ = false;
    return;
  }
  const std::uint32_t page_mask = geometry_.page_size - 1;
  const std::uint32_t page_base = page_start_ & ~page_mask;
  for (std::uint32_t i = 0; i < page_.size(); ++i) {
    memory_[page_base | ((page_start_ + i) & page_mask)] = page_[i];
  }
  counter_ = page_base | ((page_start_ + data_bytes_seen_) & page_mask);
  writing_ = false;
  page_.clear();
}

}  // namespace qelboard
