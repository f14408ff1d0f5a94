// The bus master on the selected parallel port. Most members forward to the bus
// engine or read and write its process-wide settings, so a setting made through
// one object holds for every object; only the block-transfer state is the
// object's own. Made by PrinterPort (comrt::Make<SMBusProtocall>()) or by a
// client through the class factory.
#pragma once
#include "BlockTransfers.h"
#include "BusObject.h"
#include "quorlink/interfaces.h"

class SMBusProtocall final : public quorlink::BusObject<SMBusProtocall, _SMBusProtocall, __SMBusProtocall> {
 public:
  static constexpr const CLSID& kClsid = CLSID_SMBusProtocall;
  static constexpr const char* kErrorSource = "QELCom.SMBusProtocall";

  // Loads the inverted line codes (the DataInverted flag stays), and clears the
  // bit delay, the always-high bits (without a port write) and ActAsMaster.
  SMBusProtocall();

  HRESULT get_FinalPEC(short* retval) override;
  HRESULT put_FinalPEC(short value) override;
  HRESULT put_BlockWriteWaitAck(VARIANT_BOOL value) override;
  HRESULT get_BlockWriteWaitAck(VARIANT_BOOL* retval) override;
  HRESULT put_ActAsMaster(VARIANT_BOOL value) override;
  HRESULT get_ActAsMaster(VARIANT_BOOL* retval) override;
  HRESULT put_VideoSoftware(VARIANT_BOOL value) override;
  HRESULT get_VideoSoftware(VARIANT_BOOL* retval) override;
  HRESULT WriteWord(BYTE DeviceAddress, BYTE AddressPointer, float Value) override;
  HRESULT ReadWord(BYTE DeviceAddress, BYTE AddressPointer, float* retval) override;
  HRESULT ShortWrite(BYTE DeviceAddress, BYTE Data) override;
  HRESULT ShortRead(BYTE DeviceAddress, BYTE* retval) override;
  HRESULT WaitAck(BYTE Timeout, VARIANT_BOOL* retval) override;
  HRESULT put_RelativeDelayOn(VARIANT_BOOL value) override;
  HRESULT get_RelativeDelayOn(VARIANT_BOOL* retval) override;
  HRESULT put_FrameDelay(float value) override;
  HRESULT get_FrameDelay(float* retval) override;
  HRESULT put_Delay(float value) override;
  HRESULT get_Delay(float* retval) override;
  HRESULT put_RepeatedStart(VARIANT_BOOL value) override;
  HRESULT get_RepeatedStart(VARIANT_BOOL* retval) override;
  HRESULT Portout(short CurrentPortAddress, BYTE Value) override;
  HRESULT Portin(short CurrentPortAddress, BYTE* retval) override;
  HRESULT put_AddressPointer(BYTE value) override;
  HRESULT get_AddressPointer(BYTE* retval) override;
  HRESULT put_BitsToStayHigh(BYTE value) override;
  HRESULT get_BitsToStayHigh(BYTE* retval) override;
  HRESULT put_ThereWasNoAck(VARIANT_BOOL value) override;
  HRESULT get_ThereWasNoAck(VARIANT_BOOL* retval) override;
  HRESULT put_PortAddress(short value) override;
  HRESULT get_PortAddress(short* retval) override;
  HRESULT put_DeviceAddress(BYTE value) override;
  HRESULT get_DeviceAddress(BYTE* retval) override;
  HRESULT put_DataInverted(VARIANT_BOOL value) override;
  HRESULT get_DataInverted(VARIANT_BOOL* retval) override;
  HRESULT put_CheckForAck(VARIANT_BOOL value) override;
  HRESULT get_CheckForAck(VARIANT_BOOL* retval) override;
  HRESULT put_OrBits(BYTE value) override;
  HRESULT get_OrBits(BYTE* retval) override;
  HRESULT Ack() override;
  HRESULT PortRead(BYTE DeviceAddress, BYTE AddressPointer, BYTE* retval) override;
  HRESULT NAck() override;
  HRESULT MAck() override;
  HRESULT PortWrite(BYTE DeviceAddress, BYTE AddressPointer, BYTE Data) override;
  HRESULT PreStart() override;
  HRESULT ReadData(float* retval) override;
  HRESULT StartBit() override;
  HRESULT StopBit() override;
  HRESULT WriteData(float* Data) override;
  HRESULT Detect(short port, short* retval) override;
  HRESULT put_TotalSpeed(short value) override;
  HRESULT get_TotalSpeed(short* retval) override;
  HRESULT BlockRead(BYTE HighByte, BYTE LowByte, VARIANT* retval) override;
  HRESULT BlockWrite(BYTE ByteCount, VARIANT Data) override;
  HRESULT put_PECOK(VARIANT_BOOL value) override;
  HRESULT get_PECOK(VARIANT_BOOL* retval) override;
  HRESULT GetBlockReadData(VARIANT* retval) override;
  HRESULT put_UsePEC(VARIANT_BOOL value) override;
  HRESULT get_UsePEC(VARIANT_BOOL* retval) override;
  HRESULT GetPECData(VARIANT* retval) override;

 private:
  quorlink::BlockTransfers block_;
};
