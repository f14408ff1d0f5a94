// SCL and SDA as a value-change-dump file, the format logic analysers and wave
// viewers read. Time counts steps given by the caller (one per port write).
//
// The file is written through at every stop condition, and whenever a step has
// waited 100 ms of bus activity unwritten, each time followed by the timestamp
// of the next step: a decoder sees a change only once a later timestamp closes
// it, so the file read at any moment (or left by a killed process) holds every
// transaction up to the last one ended, its stop included. A write that fails is
// told once on standard error with the file's name; the trace then stops.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qelboard {

class VcdTrace {
 public:
  VcdTrace() = default;
  VcdTrace(const VcdTrace&) = delete;
  VcdTrace& operator=(const VcdTrace&) = delete;
  ~VcdTrace() { Close(); }

  // Starts a new file with the lines' present levels at time 0, written through;
  // false when it cannot be created or written (nothing is told then).
  bool Open(const std::string& path, bool scl, bool sda);
  // Writes out what is held and closes the file.
  void Close();
  bool is_open() const { return fd_ >= 0; }

  // One step: the time advances by one and the lines that moved are noted.
  void Step(bool scl, bool sda);
  // Writes out the steps held so far, closed by the next step's timestamp.
  void Flush();

 private:
  static constexpr std::size_t kBufferSize = 16384;
  static constexpr std::size_t kStepSize = 64;  // room for one step's lines

  void Put(const char* text, std::size_t size);
  void PutTime(std::uint64_t time);
  int WriteOut();

  int fd_ = -1;
  std::string path_;
  char buffer_[kBufferSize];
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;   // bytes of the file that are whole
  std::uint64_t time_ = 0;
  bool stamped_ = false;        // the file ends with the next step's timestamp
  std::int64_t held_since_ = 0; // when the oldest step still held was noted (ns)
  bool scl_ = true;
  bool sda_ = true;
};

}  // namespace qelboard
