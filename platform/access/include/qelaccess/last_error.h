// The error number of the calling thread's latest call into an access library,
// one per library: `Library` is a type of the library's own (its backend). It
// lives in the library's static TLS block, so that setting it at every call is
// one store instead of a lookup of the library's TLS block.
#pragma once
#include <cstdint>

namespace qelaccess {

template <typename Library>
class LastError {
 public:
  static std::int32_t Get() { return number_; }
  static void Set(std::int32_t number) { number_ = number; }

 private:
  [[gnu::tls_model("initial-exec")]] static inline thread_local std::int32_t number_ = 0;
};

}  // namespace qelaccess
