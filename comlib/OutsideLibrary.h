// Binding to the outside libraries Quorlink drives the hardware through
// (parport2k, QELSMBus). A library is opened by its file name through the ordinary
// search path at the first call of one of its routines, and each routine is looked
// up by name at its own first call; once found it stays bound. Until a lookup
// succeeds every call raises the missing-library (53) or missing-entry-point (453)
// error again, so a library that appears later is still found.
//
// Both libraries report why a call failed the same way: a routine without
// arguments gives the error number of the calling thread's latest call, 0 for
// none. LastError turns that number into the library's error.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

namespace quorlink {

class OutsideLibrary {
 public:
  // `fileName` must outlive the binding (a string literal).
  explicit constexpr OutsideLibrary(const char* fileName) : fileName_(fileName) {}
  OutsideLibrary(const OutsideLibrary&) = delete;
  OutsideLibrary& operator=(const OutsideLibrary&) = delete;

  // The address of the exported routine `entry`; raises 53 or 453.
  void* Lookup(const char* entry);
  // The same for an optional routine: raises 53, gives nullptr for a missing entry.
  void* Find(const char* entry);

 private:
  const char* fileName_;
  std::mutex opening_;
  void* handle_ = nullptr;  // kept open for the life of the process
};

template <typename Signature>
class OutsideRoutine;

// Bound once; the bound address is read without a lock on every call.
template <typename Result, typename... Args>
class OutsideRoutine<Result(Args...)> {
 public:
  using Function = Result (*)(Args...);

  constexpr OutsideRoutine(OutsideLibrary& library, const char* name) : library_(library), name_(name) {}

  Result operator()(Args... args) {
    Function function = function_.load(std::memory_order_acquire);
    if (function == nullptr) [[unlikely]] {
      function = reinterpret_cast<Function>(library_.Lookup(name_));
      function_.store(function, std::memory_order_release);
    }
    return function(args...);
  }

 private:
  OutsideLibrary& library_;
  const char* name_;
  std::atomic<Function> function_ = nullptr;
};

// A library's error query. It is optional: a replacement library may offer only
// the routines its callers use, and then reports no errors.
class LastError {
 public:
  constexpr LastError(OutsideLibrary& library, const char* name) : library_(library), name_(name) {}

  // Raises the error of the calling thread's latest call of the library, if it
  // ended with one: 70 as "Permission denied", any other number as a device error.
  void Raise() {
    Function function = function_.load(std::memory_order_acquire);
    if (function == nullptr) [[unlikely]] function = Bind();
    if (const int32_t number = function(); number != 0) [[unlikely]] Throw(number);
  }

 private:
  using Function = int32_t (*)();

  Function Bind();
  [[noreturn]] static void Throw(int32_t number);

  OutsideLibrary& library_;
  const char* name_;
  std::atomic<Function> function_ = nullptr;  // null until looked up
};

}  // namespace quorlink
