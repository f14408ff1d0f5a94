// SCL and SDA as a value-change-dump file, the format logic analysers and wave
// viewers read. Time counts steps given by the caller (one per port write).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace qelboard {

class VcdTrace {
 public:
  VcdTrace() = default;
  VcdTrace(const VcdTrace&) = delete;
  VcdTrace& operator=(const VcdTrace&) = delete;
  ~VcdTrace() { Close(); }

  // Starts a new file with the lines' present levels at time 0; false when it cannot be created.
  bool Open(const std::string& path, bool scl, bool sda);
  void Close();
  bool is_open() const { return file_ != nullptr; }

  // One step: the time advances by one and the lines that moved are written.
  void Step(bool scl, bool sda);

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t time_ = 0;
  bool scl_ = true;
  bool sda_ = true;
};

}  // namespace qelboard
