#include "board/vcd_trace.h"

#include <charconv>

namespace qelboard {

namespace {
constexpr char kSclId = '!';
constexpr char kSdaId = '"';
}  // namespace

bool VcdTrace::Open(const std::string& path, bool scl, bool sda) {
  Close();
  file_ = std::fopen(path.c_str(), "w");
  if (file_ == nullptr) return false;
  time_ = 0;
  scl_ = scl;
  sda_ = sda;
  std::fprintf(file_,
               "$version qelboard two-wire bus $end\n"
               "$timescale 1 us $end\n"
               "$scope module bus $end\n"
               "$var wire 1 %c SCL $end\n"
               "$var wire 1 %c SDA $end\n"
               "$upscope $end\n"
               "$enddefinitions $end\n"
               "#0\n$dumpvars\n%c%c\n%c%c\n$end\n",
               kSclId, kSdaId, scl ? '1' : '0', kSclId, sda ? '1' : '0', kSdaId);
  return true;
}

void VcdTrace::Close() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
}

void VcdTrace::Step(bool scl, bool sda) {
  char line[40];
  char* p = line;
  *p++ = '#';
  p = std::to_chars(p, line + 24, ++time_).ptr;
  *p++ = '\n';
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
  std::fwrite(line, 1, static_cast<std::size_t>(p - line), file_);
}

}  // namespace qelboard
