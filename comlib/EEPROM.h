// The board's serial EEPROM on the two-wire bus: byte read and write at a two-byte
// memory address (high byte first), a command with such an address, and the set of
// the device's address pointer. Its bus address, timing mode and the delays that
// pace the transactions are the library's shared settings; the object's own Delay
// and FrameDelay are only stored. EEPROMError is offered and never raised. Made by
// PrinterPort (comrt::Make<EEPROM>()) or by a client through the class factory.
#pragma once
#include <cstdint>

#include "BusObject.h"
#include "quorlink/interfaces.h"

class EEPROM final : public quorlink::BusObject<EEPROM, _EEPROM, __EEPROM> {
 public:
  static constexpr const CLSID& kClsid = CLSID_EEPROM;
  static constexpr const char* kErrorSource = "QELCom.EEPROM";

  // Loads the inverted line codes; the DataInverted flag keeps its value.
  EEPROM();

  HRESULT put_FrameDelay(float value) override;
  HRESULT get_FrameDelay(float* retval) override;
  HRESULT put_Delay(short value) override;
  HRESULT get_Delay(short* retval) override;
  HRESULT put_RelativeDelayOn(VARIANT_BOOL value) override;
  HRESULT get_RelativeDelayOn(VARIANT_BOOL* retval) override;
  HRESULT SetAddress(BYTE HighByte, BYTE LowByte) override;
  HRESULT ReadByte(BYTE HighByte, BYTE LowByte, BYTE* retval) override;
  HRESULT WriteByte(BYTE HighByte, BYTE LowByte, BYTE Data) override;
  HRESULT PageErase(BYTE CommandByte, BYTE HighByte, BYTE LowByte, VARIANT_BOOL* retval) override;
  HRESULT put_DeviceAddress(BYTE value) override;
  HRESULT get_DeviceAddress(BYTE* retval) override;
  HRESULT SetEEPROMAddress(BYTE HighByte, BYTE LowByte) override;

 private:
  int16_t delay_ = 0;
  float frameDelay_ = 0;
};
