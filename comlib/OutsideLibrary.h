// Binding to the outside libraries Quorlink drives the hardware through
// (parport2k, QELSMBus). A library is opened by its file name through the ordinary
// search path at the first call of one of its routines, and each routine is looked
// up by name at its own first call; once found it stays bound. Until a lookup
// succeeds every call raises the missing-library (53) or missing-entry-point (453)
// error again, so a library that appears later is still found.
#pragma once

namespace quorlink {

class OutsideLibrary {
 public:
  // `fileName` must outlive the binding (a string literal).
  explicit constexpr OutsideLibrary(const char* fileName) : fileName_(fileName) {}
  OutsideLibrary(const OutsideLibrary&) = delete;
  OutsideLibrary& operator=(const OutsideLibrary&) = delete;

  const char* FileName() const { return fileName_; }

  // The address of the exported routine `entry`; raises 53 or 453.
  void* Lookup(const char* entry);
  // The same for an optional routine: raises 53, gives nullptr for a missing entry.
  void* Find(const char* entry);

 private:
  const char* fileName_;
  void* handle_ = nullptr;  // kept open for the life of the process
};

template <typename Signature>
class OutsideRoutine;

template <typename Result, typename... Args>
class OutsideRoutine<Result(Args...)> {
 public:
  using Function = Result (*)(Args...);

  constexpr OutsideRoutine(OutsideLibrary& library, const char* name) : library_(library), name_(name) {}

  Result operator()(Args... args) {
    if (function_ == nullptr) [[unlikely]]
      function_ = reinterpret_cast<Function>(library_.Lookup(name_));
    return function_(args...);
  }

 private:
  OutsideLibrary& library_;
  const char* name_;
  Function function_ = nullptr;
};

}  // namespace quorlink
