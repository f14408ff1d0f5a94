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

// A routine of an outside library. Until its first call binds it, its place holds
// `firstCall`, a stand-in that binds the routine and makes the call:
//   constinit OutsideRoutine<decltype(::OutByte)> OutByte(library, "OutByte",
//                                                  [](auto... args) { return OutByte.Bind()(args...); });
// so that every call is one read of the bound address and the call itself.
template <typename Result, typename... Args>
class OutsideRoutine<Result(Args...)> {
 public:
  using Function = Result (*)(Args...);

  constexpr OutsideRoutine(OutsideLibrary& library, const char* name, Function firstCall)
      : library_(library), name_(name), function_(firstCall) {}

  Result operator()(Args... args) { return function_.load(std::memory_order_acquire)(args...); }

  // Looks the routine up, raising 53 or 453 while it cannot be found, and keeps it.
  Function Bind() {
    const auto function = reinterpret_cast<Function>(library_.Lookup(name_));
    function_.store(function, std::memory_order_release);
    return function;
  }

 private:
  OutsideLibrary& library_;
  const char* name_;
  std::atomic<Function> function_;
};

// A library's error query, bound like a routine (its stand-in calls Bind). It is
// optional: a replacement library may offer only the routines its callers use, and
// then reports no errors.
class LastError {
 public:
  using Function = int32_t (*)();

  constexpr LastError(OutsideLibrary& library, const char* name, Function firstCall)
      : library_(library), name_(name), function_(firstCall) {}

  // Raises the error of the calling thread's latest call of the library, if it
  // ended with one: 70 as "Permission denied", any other number as a device error.
  void Raise() {
    if (const int32_t number = function_.load(std::memory_order_acquire)(); number != 0) [[unlikely]] Throw(number);
  }

  // Looks the query up (a missing one answers 0) and keeps it.
  Function Bind();

 private:
  [[noreturn]] static void Throw(int32_t number);

  OutsideLibrary& library_;
  const char* name_;
  std::atomic<Function> function_;
};

}  // namespace quorlink
