#include "SMBusProtocall.h"

#include "BusOperation.h"
#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "Waits.h"

namespace cg = CommonGlobals;
namespace cp = CommunicationsProcedures;

namespace {

// The transactions open their bus operation themselves. The single line steps and
// raw port accesses called from here open one around the call, so that none of
// them runs inside an operation waiting in a yield; an operation's event handlers
// may call them.
template <class Step>
auto AsStep(Step step) {
  const quorlink::BusOperation operation(quorlink::Reach::Step);
  return step();
}

}  // namespace

SMBusProtocall::SMBusProtocall() {
  const quorlink::BusHold hold;
  cg::InvertedLineCodes();
  cp::Delay = 0;
  cg::BitsToStayHigh = 0;
  cp::ActAsMaster = quorlink::kFalse;
}

HRESULT SMBusProtocall::get_FinalPEC(short* retval) {
  return Call([&] { *comrt::Out(retval) = block_.FinalPEC; });
}
HRESULT SMBusProtocall::put_FinalPEC(short value) {
  return Call([&] { block_.FinalPEC = value; });
}
HRESULT SMBusProtocall::put_BlockWriteWaitAck(VARIANT_BOOL value) {
  return Call([&] { block_.BlockWriteWaitAck = value; });
}
HRESULT SMBusProtocall::get_BlockWriteWaitAck(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = block_.BlockWriteWaitAck; });
}
HRESULT SMBusProtocall::put_ActAsMaster(VARIANT_BOOL value) {
  return Call([&] { cp::ActAsMaster = value; });
}
HRESULT SMBusProtocall::get_ActAsMaster(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = cp::ActAsMaster; });
}
HRESULT SMBusProtocall::put_VideoSoftware(VARIANT_BOOL value) {
  return Call([&] { cp::VideoSoftware = value; });
}
HRESULT SMBusProtocall::get_VideoSoftware(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = cp::VideoSoftware; });
}

HRESULT SMBusProtocall::WriteWord(BYTE DeviceAddress, BYTE AddressPointer, float Value) {
  return Call([&] { cp::WriteWordTransaction(DeviceAddress, AddressPointer, Value); });
}
HRESULT SMBusProtocall::ReadWord(BYTE DeviceAddress, BYTE AddressPointer, float* retval) {
  return Call([&] {
    float* out = comrt::Out(retval);
    *out = cp::ReadWordTransaction(DeviceAddress, AddressPointer);
  });
}
HRESULT SMBusProtocall::ShortWrite(BYTE DeviceAddress, BYTE Data) {
  return Call([&] { cp::ShortWriteTransaction(DeviceAddress, Data); });
}
HRESULT SMBusProtocall::ShortRead(BYTE DeviceAddress, BYTE* retval) {
  return Call([&] {
    BYTE* out = comrt::Out(retval);
    *out = cp::ShortReadTransaction(DeviceAddress);
  });
}
HRESULT SMBusProtocall::WaitAck(BYTE Timeout, VARIANT_BOOL* retval) {
  return Call([&] {
    VARIANT_BOOL* out = comrt::Out(retval);
    *out = AsStep([Timeout] { return cg::WaitForAcknowledge(static_cast<int16_t>(Timeout)); });
  });
}

HRESULT SMBusProtocall::put_RelativeDelayOn(VARIANT_BOOL value) {
  return Call([&] { cp::RelativeDelayOn = value; });
}
HRESULT SMBusProtocall::get_RelativeDelayOn(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = cp::RelativeDelayOn; });
}
HRESULT SMBusProtocall::put_FrameDelay(float value) {
  return Call([&] { cp::FrameDelay = quorlink::ClampedFrameDelay(value); });
}
HRESULT SMBusProtocall::get_FrameDelay(float* retval) {
  return Call([&] { *comrt::Out(retval) = cp::FrameDelay; });
}
HRESULT SMBusProtocall::put_Delay(float value) {
  return Call([&] { cp::Delay = value; });
}
HRESULT SMBusProtocall::get_Delay(float* retval) {
  return Call([&] { *comrt::Out(retval) = cp::Delay; });
}
HRESULT SMBusProtocall::put_RepeatedStart(VARIANT_BOOL value) {
  return Call([&] { cp::RepeatedStart = value; });
}
HRESULT SMBusProtocall::get_RepeatedStart(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = cp::RepeatedStart; });
}

HRESULT SMBusProtocall::Portout(short CurrentPortAddress, BYTE Value) {
  return Call([&] { AsStep([&] { cp::PortOutByte(CurrentPortAddress, Value); }); });
}
HRESULT SMBusProtocall::Portin(short CurrentPortAddress, BYTE* retval) {
  return Call([&] {
    BYTE* out = comrt::Out(retval);
    *out = AsStep([&] { return cp::PortInByte(CurrentPortAddress); });
  });
}

HRESULT SMBusProtocall::put_AddressPointer(BYTE value) {
  return Call([&] { cp::AddressPointer = value; });
}
HRESULT SMBusProtocall::get_AddressPointer(BYTE* retval) {
  return Call([&] { *comrt::Out(retval) = cp::AddressPointer; });
}
HRESULT SMBusProtocall::put_BitsToStayHigh(BYTE value) {
  return Call([&] { cp::SetBitsToStayHigh(value); });
}
HRESULT SMBusProtocall::get_BitsToStayHigh(BYTE* retval) {
  return Call([&] { *comrt::Out(retval) = cg::BitsToStayHigh; });
}
HRESULT SMBusProtocall::put_ThereWasNoAck(VARIANT_BOOL value) {
  return Call([&] { cp::ThereWasNoAck = value; });
}
HRESULT SMBusProtocall::get_ThereWasNoAck(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = cp::ThereWasNoAck; });
}
HRESULT SMBusProtocall::put_PortAddress(short value) {
  return Call([&] { quorlink::OnBus([value] { cg::SelectPortByAddress(value); }); });
}
HRESULT SMBusProtocall::get_PortAddress(short* retval) {
  return Call([&] { *comrt::Out(retval) = cg::PortAddress; });
}
HRESULT SMBusProtocall::put_DeviceAddress(BYTE value) {
  return Call([&] { cg::DeviceAddress = value; });
}
HRESULT SMBusProtocall::get_DeviceAddress(BYTE* retval) {
  return Call([&] { *comrt::Out(retval) = cg::DeviceAddress; });
}
HRESULT SMBusProtocall::put_DataInverted(VARIANT_BOOL value) {
  return Call([&] { cp::SetDataInverted(value); });
}
HRESULT SMBusProtocall::get_DataInverted(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = quorlink::ToBoolean(cg::DataInverted != 0); });
}
HRESULT SMBusProtocall::put_CheckForAck(VARIANT_BOOL value) {
  return Call([&] { cp::CheckForAck = value; });
}
HRESULT SMBusProtocall::get_CheckForAck(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = cp::CheckForAck; });
}
HRESULT SMBusProtocall::put_OrBits(BYTE value) {
  return Call([&] { cp::OrBits = value; });
}
HRESULT SMBusProtocall::get_OrBits(BYTE* retval) {
  return Call([&] { *comrt::Out(retval) = cp::OrBits; });
}

HRESULT SMBusProtocall::Ack() {
  return Call([] { AsStep(cp::ClockSlaveAck); });
}
HRESULT SMBusProtocall::PortRead(BYTE DeviceAddress, BYTE AddressPointer, BYTE* retval) {
  return Call([&] {
    BYTE* out = comrt::Out(retval);
    *out = cp::PortReadTransaction(DeviceAddress, AddressPointer);
  });
}
HRESULT SMBusProtocall::NAck() {
  return Call([] { AsStep(cp::SendMasterNAck); });
}
HRESULT SMBusProtocall::MAck() {
  return Call([] { AsStep(cp::SendMasterAck); });
}
HRESULT SMBusProtocall::PortWrite(BYTE DeviceAddress, BYTE AddressPointer, BYTE Data) {
  return Call([&] { cp::PortWriteTransaction(DeviceAddress, AddressPointer, Data); });
}
HRESULT SMBusProtocall::PreStart() {
  return Call([] { AsStep(cp::SendPreStart); });
}
HRESULT SMBusProtocall::ReadData(float* retval) {
  return Call([&] {
    float* out = comrt::Out(retval);
    *out = AsStep(cp::ReceiveDataByte);
  });
}
HRESULT SMBusProtocall::StartBit() {
  return Call([] { AsStep(cp::SendStartCondition); });
}
HRESULT SMBusProtocall::StopBit() {
  return Call([] { AsStep(cp::SendStopCondition); });
}
// Data is passed by reference but only read.
HRESULT SMBusProtocall::WriteData(float* Data) {
  return Call([&] {
    const float value = *comrt::Out(Data);
    AsStep([value] { cp::SendDataByte(value); });
  });
}

HRESULT SMBusProtocall::Detect(short, short* retval) {
  return Call([&] { *comrt::Out(retval) = 0; });
}
HRESULT SMBusProtocall::put_TotalSpeed(short) {
  return Call([] {});
}
HRESULT SMBusProtocall::get_TotalSpeed(short* retval) {
  return Call([&] { *comrt::Out(retval) = 0; });
}

// The result stays empty; the data are fetched with GetBlockReadData. A wrong
// count byte is reported to the sinks while the transfer stands stopped, so that
// a handler may tidy up the bus with line steps.
HRESULT SMBusProtocall::BlockRead(BYTE, BYTE, VARIANT* retval) {
  return Call([&] {
    VARIANT* out = comrt::Out(retval);
    VariantInit(out);
    block_.BlockRead(
        [this] { Raise(__SMBusProtocall::dispid_SMBusProtocallError, short{1}, "The byte count read did not equal 32"); });
  });
}
HRESULT SMBusProtocall::BlockWrite(BYTE ByteCount, VARIANT Data) {
  return Call([&] { block_.BlockWrite(ByteCount, Data); });
}
HRESULT SMBusProtocall::put_PECOK(VARIANT_BOOL value) {
  return Call([&] { block_.PECOK = value; });
}
HRESULT SMBusProtocall::get_PECOK(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = block_.PECOK; });
}
HRESULT SMBusProtocall::GetBlockReadData(VARIANT* retval) {
  return Call([&] {
    VARIANT* out = comrt::Out(retval);
    block_.GetBlockReadData().Detach(out);
  });
}
HRESULT SMBusProtocall::put_UsePEC(VARIANT_BOOL value) {
  return Call([&] { block_.UsePEC = value; });
}
HRESULT SMBusProtocall::get_UsePEC(VARIANT_BOOL* retval) {
  return Call([&] { *comrt::Out(retval) = block_.UsePEC; });
}
HRESULT SMBusProtocall::GetPECData(VARIANT* retval) {
  return Call([&] {
    VARIANT* out = comrt::Out(retval);
    quorlink::BlockTransfers::GetPECData().Detach(out);
  });
}
