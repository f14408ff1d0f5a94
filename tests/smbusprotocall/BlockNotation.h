// Block frames in bus notation, block data arrays as clients build them, and a
// reference CRC-8 to check packet error codes of long messages against.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Notation.h"
#include "com/variant.h"

namespace bustest {

inline const std::string kPreStart = "LL D HL HL D HH";
inline const std::string kSampledAck = "HL HH in D HL LL";

// The SMBus packet error code, straight from its definition.
inline uint8_t Crc8(const std::vector<uint8_t>& bytes) {
  uint8_t crc = 0;
  for (uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
  }
  return crc;
}

// A one-dimensional array of `vt` with indices from `lbound`, each value converted
// to the element type, in a VARIANT of VT_ARRAY | vt.
inline comrt::Variant ArrayOf(VARTYPE vt, LONG lbound, const std::vector<comrt::Variant>& values) {
  SAFEARRAY* array = SafeArrayCreateVector(vt, lbound, static_cast<ULONG>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) {
    LONG index = lbound + static_cast<LONG>(i);
    comrt::Variant element;
    comrt::ChangeType(element, values[i], vt);
    void* at = vt == VT_VARIANT ? static_cast<void*>(&element)
               : vt == VT_BSTR  ? static_cast<void*>(element.bstrVal)
                                : static_cast<void*>(&element.llVal);
    SafeArrayPutElement(array, &index, at);
  }
  comrt::Variant v;
  v.vt = VT_ARRAY | vt;
  v.parray = array;
  return v;
}

// Block data with elements 0 to 2 (not used) followed by the data bytes.
inline comrt::Variant BlockData(VARTYPE vt, const std::vector<comrt::Variant>& data) {
  std::vector<comrt::Variant> values{comrt::Variant(SHORT{7}), comrt::Variant(SHORT{7}), comrt::Variant(SHORT{7})};
  values.insert(values.end(), data.begin(), data.end());
  return ArrayOf(vt, 0, values);
}

inline std::vector<comrt::Variant> Bytes(std::initializer_list<uint8_t> bytes) {
  std::vector<comrt::Variant> values;
  for (uint8_t b : bytes) values.emplace_back(SHORT{b});
  return values;
}

inline std::vector<int16_t> ElementsOf(const VARIANT& v) {
  std::vector<int16_t> values;
  LONG low = 0, high = -1;
  SafeArrayGetLBound(v.parray, 1, &low);
  SafeArrayGetUBound(v.parray, 1, &high);
  for (LONG i = low; i <= high; ++i) {
    int16_t value = 0;
    SafeArrayGetElement(v.parray, &i, &value);
    values.push_back(value);
  }
  return values;
}

// The header of a block write to `address` with `count` data bytes.
inline std::string BlockWriteHead(uint8_t address, uint8_t count) {
  return Join({kPreStart, kStart, Written(address), Written(0xA0), Written(count)});
}

// A block read's frame up to the count byte read.
inline std::string BlockReadHead(uint8_t address) {
  return Join({kStart, Written(address & 0xFE), Written(0xA1), kPreStart, kStart, Written(address | 1), Received()});
}

}  // namespace bustest
