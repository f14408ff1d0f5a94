#include "board/vcd_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace qelboard {

namespace {

constexpr char kSclId = '!';
constexpr char kSdaId = '"';
constexpr std::int64_t kLongestHold = 100'000'000;  // ns of bus activity a step may stay unwritten

// A coarse clock is enough for a 100 ms bound and costs next to nothing per step.
std::int64_t Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

bool VcdTrace::Open(const std::string& path, bool scl, bool sda) {
  Close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  fd_ = fd;
  path_ = path;
  used_ = 0;
  written_ = 0;
  time_ = 0;
  stamped_ = false;
  scl_ = scl;
  sda_ = sda;
  char header[400];
  const int size = std::snprintf(header, sizeof header,
                                 "$version qelboard two-wire bus $end\n"
                                 "$timescale 1 us $end\n"
                                 "$scope module bus $end\n"
                                 "$var wire 1 %c SCL $end\n"
                                 "$var wire 1 %c SDA $end\n"
                                 "$upscope $end\n"
                                 "$enddefinitions $end\n"
                                 "#0\n$dumpvars\n%c%c\n%c%c\n$end\n",
                                 kSclId, kSdaId, scl ? '1' : '0', kSclId, sda ? '1' : '0', kSdaId);
  Put(header, static_cast<std::size_t>(size));
  PutTime(1);
  stamped_ = true;
  if (WriteOut() == 0) return true;
  ::close(fd_);
  fd_ = -1;
  return false;
}

void VcdTrace::Close() {
  if (fd_ < 0) return;
  Flush();
  if (fd_ < 0) return;  // the last write failed and closed the file
  ::close(fd_);
  fd_ = -1;
}

void VcdTrace::Put(const char* text, std::size_t size) {
  std::memcpy(buffer_ + used_, text, size);
  used_ += size;
}

void VcdTrace::PutTime(std::uint64_t time) {
  char* p = buffer_ + used_;
  *p++ = '#';
  p = std::to_chars(p, p + 24, time).ptr;
  *p++ = '\n';
  used_ = static_cast<std::size_t>(p - buffer_);
}

void VcdTrace::Step(bool scl, bool sda) {
  const std::int64_t now = Now();
  if (used_ == 0) held_since_ = now;
  ++time_;
  if (stamped_) {
    stamped_ = false;  // the file already ends with this step's timestamp
  } else {
    PutTime(time_);
  }
  const bool stop = scl && scl_ && sda && !sda_;
  char* p = buffer_ + used_;
  if (scl != scl_) {
    *p++ = scl ? '1' : '0';
    *p++ = kSclId;
    *p++ = '\n';
    scl_ = scl;
  }
  if (sda != sda_) {
    *p++ = sda ? '1' : '0';
    *p++ = kSdaId;
    *p++ = '\n';
    sda_ = sda;
  }
  used_ = static_cast<std::size_t>(p - buffer_);
  if (stop || now - held_since_ >= kLongestHold || used_ > kBufferSize - kStepSize) Flush();
}

void VcdTrace::Flush() {
  if (fd_ < 0 || used_ == 0) return;
  PutTime(time_ + 1);
  stamped_ = true;
  const int error = WriteOut();
  if (error == 0) return;
  std::fprintf(stderr, "VCD trace %s: cannot write (%s); the trace stops here\n", path_.c_str(),
               std::strerror(error));
  ::close(fd_);
  fd_ = -1;
}

// Writes the buffer out whole: 0, or the error of a write that failed, after
// which the file is cut back to its last whole state (a device such as /dev/full
// has no length to cut back to, so that may fail too, changing nothing).
int VcdTrace::WriteOut() {
  std::size_t done = 0;
  while (done < used_) {
    const ssize_t n = ::write(fd_, buffer_ + done, used_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      [[maybe_unused]] const int cut = ftruncate(fd_, static_cast<off_t>(written_));
      used_ = 0;
      return error;
    }
    done += static_cast<std::size_t>(n);
  }
  written_ += used_;
  used_ = 0;
  return 0;
}

}  // namespace qelboard
