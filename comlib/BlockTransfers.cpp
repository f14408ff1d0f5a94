// Block write and block read on the wire:
//   write: PS S (a&FE) A A0 A count A data... (A, or AH with BlockWriteWaitAck) [PEC AS] P
//   read:  S (a&FE) A A1 A PS S (a|1) A count MA data... MA/NA [PEC NA] P
// where a is the bus address byte of CommonGlobals.
#include "BlockTransfers.h"

#include <new>
#include <vector>

#include "BusOperation.h"
#include "ByteFrames.h"
#include "CommonGlobals.h"
#include "CommunicationsProcedures.h"
#include "com/error.h"

namespace quorlink {

namespace {

namespace cp = CommunicationsProcedures;

constexpr uint8_t kBlockWriteCommand = 0xA0;
constexpr uint8_t kBlockReadCommand = 0xA1;
constexpr uint8_t kBlockReadCount = 32;

// The block write's own copy of the caller's Data, taken before anything goes
// out, so that nothing the caller does with its array during the transfer's
// yields reaches the wire. Its faults surface where an element is first used
// (comrt::SafeArrayElement): a broken reference holds no array.
comrt::Variant CopyOf(const VARIANT& data) {
  comrt::Variant copy;
  const HRESULT hr = VariantCopyInd(&copy, &data);
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  // Type bits that name no type are refused before the port is touched.
  if (hr == DISP_E_BADVARTYPE) comrt::ThrowBadVarType();
  if (FAILED(hr)) VariantClear(&copy);
  return copy;
}

comrt::Variant ArrayOf38(const int16_t (&values)[38]) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, 38);
  if (array == nullptr) throw std::bad_alloc();
  comrt::Variant result;
  result.vt = VT_ARRAY | VT_I2;
  result.parray = array;
  void* data = nullptr;
  SafeArrayAccessData(array, &data);
  std::copy(std::begin(values), std::end(values), static_cast<int16_t*>(data));
  SafeArrayUnaccessData(array);
  return result;
}

}  // namespace

void BlockTransfers::BlockWrite(uint8_t ByteCount, const VARIANT& Data) {
  const comrt::Variant data = CopyOf(Data);
  OnBus(Claim::First, Close::ReleaseThenPause, [&] {
    cp::SendPreStart();
    cp::SendStartCondition();
    // The message as the packet error code covers it: the header, then each data
    // byte as the value that went out.
    std::vector<float> message = {static_cast<float>(WriteAddress()), kBlockWriteCommand, static_cast<float>(ByteCount)};
    for (const float byte : message) Write(static_cast<uint8_t>(byte));
    // Elements 0 to 2 of the copy carry the header, so they must exist.
    for (LONG index = 0; index < 3; ++index) comrt::SafeArrayWithElement(data, index);
    for (LONG index = 3; index <= ByteCount + 2; ++index) {
      const float value = comrt::ToSingle(comrt::SafeArrayElement(data, index));
      cp::SendDataByte(value);
      if (BlockWriteWaitAck) {
        cp::ClockAckWithHold();
      } else {
        cp::ClockSlaveAck();
      }
      message.push_back(value);
    }
    if (UsePEC) {
      cp::SendDataByte(CalculatePEC(message));
      if (const auto acknowledged = cp::ClockAckAndSample()) PECOK = *acknowledged;
    }
    cp::SendStopCondition();
  });
}

bool BlockTransfers::BlockRead(const std::function<void()>& reportWrongCount) {
  bool whole = true;
  OnBus(Claim::First, Close::ReleaseThenPause, [&] {
    BlockReadData[0] = ReadAddress();
    cp::SendStartCondition();
    Write(WriteAddress());
    Write(kBlockReadCommand);
    cp::SendPreStart();  // back to idle without a stop: a repeated start follows
    cp::SendStartCondition();
    Write(ReadAddress());
    ByteCountRead = static_cast<uint8_t>(cp::ReceiveDataByte());
    if (ByteCountRead != kBlockReadCount) {
      whole = false;
      if (reportWrongCount) {
        const EventHandlers handlers;
        reportWrongCount();
      }
      return false;
    }
    cp::SendMasterAck();
    for (BlockReadIndex = 2; BlockReadIndex <= 33; ++BlockReadIndex) {
      BlockReadData[BlockReadIndex] = static_cast<int16_t>(cp::ReceiveDataByte());
      if (BlockReadIndex == 33 && !UsePEC) {
        cp::SendMasterNAck();
      } else {
        cp::SendMasterAck();
      }
    }
    if (UsePEC) {
      ReceivedPEC = static_cast<uint8_t>(cp::ReceiveDataByte());
      cp::SendMasterNAck();
    }
    cp::SendStopCondition();
    if (UsePEC) {
      // The whole message from the first address byte to the last data byte.
      BlockReadData[0] = ReadAddress();
      BlockReadData[1] = ByteCountRead;
      std::vector<float> message = {static_cast<float>(WriteAddress()), kBlockReadCommand};
      for (int index = 0; index <= ByteCountRead + 1; ++index) message.push_back(BlockReadData[index]);
      PECOK = ToBoolean(ReceivedPEC == CalculatePEC(message));
    }
    return true;
  });
  return whole;
}

comrt::Variant BlockTransfers::GetBlockReadData() const { return ArrayOf38(BlockReadData); }

comrt::Variant BlockTransfers::GetPECData() { return ArrayOf38(cp::PECData); }

}  // namespace quorlink
