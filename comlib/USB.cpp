#include "USB.h"

HRESULT USB::OpenUSBPort() {
  return Call([] {});
}

HRESULT USB::CloseUSBPort() {
  return Call([] {});
}
