// The error model at the COM boundary. Inside, errors are C++ exceptions; a member
// that COM clients call wraps its body in comrt::Boundary (objects use their
// Object::Call, which adds the thread check), which never lets an exception out:
//   comrt::Error          -> 0x800A0000 + number, error info (description, source)
//   std::bad_alloc        -> E_OUTOFMEMORY, error info "Out of memory"
//   null out parameter    -> E_POINTER (see comrt::Out)
//   anything else         -> E_FAIL, error info with the exception's text
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "com/error.h"
#include "com/interfaces.h"

namespace comrt {

// Thrown by Out() for a null out parameter; becomes E_POINTER.
struct NullOutPointer {};

// Demands a non-null out parameter: `*comrt::Out(retval) = value;`. Check out
// parameters before doing anything, so that a null one changes nothing.
template <class T>
T* Out(T* p) {
  if (p == nullptr) throw NullOutPointer{};
  return p;
}

inline HRESULT HresultOf(const Error& e) { return kErrorHresultBase + e.number(); }

// Makes an error object with `description` and `source` (iid: the interface that
// reports it) and sets it as the calling thread's error information.
void SetErrorInfoFor(std::string_view source, std::string_view description, const GUID& iid = GUID_NULL);

// Inside a catch block: the HRESULT for the exception being handled, with the
// thread's error information set as above.
HRESULT TranslateException(std::string_view source, const GUID& iid = GUID_NULL) noexcept;

// Takes the calling thread's error information (its slot is empty afterwards) and
// gives its description; nothing when there is none.
std::optional<std::string> TakeErrorDescription();

// The other side of the boundary: the error a failing HRESULT stands for.
// 0x800A0000 + n is error n, any other status is its own number; the description
// is the thread's error information, or empty.
Error ErrorFromStatus(HRESULT status);

// Runs `body` (returning void or an HRESULT) and converts what it throws.
template <class F>
HRESULT Boundary(std::string_view source, const GUID& iid, F&& body) noexcept {
  try {
    if constexpr (std::is_same_v<std::invoke_result_t<F>, void>) {
      body();
      return S_OK;
    } else {
      return body();
    }
  } catch (...) {
    return TranslateException(source, iid);
  }
}

}  // namespace comrt
