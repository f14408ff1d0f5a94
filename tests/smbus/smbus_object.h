// An SMBus object created through its class factory under a chosen Windows version
// code, and called through _SMBus as a client calls it. A failing HRESULT comes back
// as the comrt::Error it carries: number and error-info description.
#pragma once
#include <gtest/gtest.h>

#include "SMBus.h"
#include "com/factory.h"
#include "com/variant.h"
#include "version_record.h"

inline void Check(HRESULT result) {
  if (result < 0) throw comrt::ErrorFromStatus(result);
}

class SMBusObject {
 public:
  explicit SMBusObject(int16_t code) {
    PresentVersion(code);
    Check(comrt::ClassFactory<SMBus>::Instance()->CreateInstance(nullptr, IID__SMBus, reinterpret_cast<void**>(object_.put())));
  }

  int32_t DeviceID() const { return Get<LONG>(&_SMBus::get_DeviceID); }
  void SetDeviceID(int32_t value) { Check(object_->put_DeviceID(value)); }
  int32_t BaseAddress() const { return Get<LONG>(&_SMBus::get_SMBusBaseAddress); }
  void SetBaseAddress(int32_t value) { Check(object_->put_SMBusBaseAddress(value)); }
  float FrameDelay() const { return Get<float>(&_SMBus::get_FrameDelay); }
  void SetFrameDelay(float value) { Check(object_->put_FrameDelay(value)); }

  bool DevicePresent(uint8_t address) {
    VARIANT_BOOL present = 1;  // neither True nor False: the member must set it
    Check(object_->DevicePresent(address, &present));
    EXPECT_TRUE(present == VARIANT_TRUE || present == VARIANT_FALSE) << present;
    return present == VARIANT_TRUE;
  }
  void PortWrite(uint8_t address, uint8_t pointer, uint8_t data) { Check(object_->PortWrite(address, pointer, data)); }
  uint8_t PortRead(uint8_t address, uint8_t pointer) {
    BYTE data = 0xEE;
    Check(object_->PortRead(address, pointer, &data));
    return data;
  }

  _SMBus* get() const { return object_.get(); }

 private:
  template <class T>
  T Get(HRESULT (_SMBus::*getter)(T*)) const {
    T value{};
    Check((object_.get()->*getter)(&value));
    return value;
  }

  comrt::ComPtr<_SMBus> object_;
};
